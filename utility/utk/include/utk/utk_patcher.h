#ifndef UTK_PATCHER_H
#define UTK_PATCHER_H

// The buffer patcher records byte edits against an input buffer without
// touching it and later writes a patched copy into another buffer. Edits are
// grouped in transactions; edits that agree where they overlap are merged,
// edits that contradict each other are refused.
//
// Offsets and sizes count bytes of the input. Text given as UTF-16 is taken
// as its code units in memory order, two bytes each, without a terminator.

#include <cstdint>
#include <list>
#include <memory>

#include "krn/krn_types.h"
#include "utk/utk_export.h"

namespace krn {
class Krn_buffer;
class Krn_status;
}  // namespace krn

namespace utk {

using krn::int64;
using krn::uint64;

// One edit of the input.
class UTK_API Utk_patch {
 public:
  enum Type : std::uint32_t {
    patch_insert = 0,  // the data goes before the byte at the offset
    patch_edit = 1,    // the data replaces edit_size bytes at the offset
    patch_delete = 2,  // edit_size bytes at the offset go; no data
    patch_extend = 3,  // the part of an edit's data beyond its range
  };

  // A type outside the enumeration throws std::invalid_argument, and so does
  // a range that starts before 0 or ends beyond the largest position. A
  // delete ignores the data; the others copy it.
  Utk_patch(Type type, int64 offset, const krn::Wstring& data, uint64 edit_size);
  Utk_patch(Type type, int64 offset, const unsigned char* data, uint64 data_size, uint64 edit_size);
  Utk_patch(const Utk_patch& other);
  Utk_patch& operator=(const Utk_patch& other);
  ~Utk_patch();

  int64 offset() const { return m_offset; }
  int64 end_offset() const { return m_offset + static_cast<int64>(m_edit_size); }
  const unsigned char* data() const { return m_patch_p; }
  uint64 patch_size() const { return m_patch_size; }
  uint64 edit_size() const { return m_edit_size; }
  // Throws std::invalid_argument when the range would end beyond the largest
  // position.
  void edit_size(uint64 size);
  Type type() const { return m_type; }

  // Whether other (which must not start before this patch) touches bytes
  // that this patch changes. Ranges that only meet do not overlap; at one
  // offset an insert overlaps nothing, and an edit's tail only another tail.
  bool overlapping(const Utk_patch& other) const;

 private:
  void copy_patch(const unsigned char* data, uint64 size);

  Type m_type;
  int64 m_offset;
  unsigned char* m_patch_p = nullptr;
  uint64 m_patch_size = 0;
  uint64 m_edit_size;
  uint64 m_capacity = 0;
};

// Ordered by offset; the table owns its patches.
using Utk_patch_table = std::list<std::unique_ptr<Utk_patch>>;

class UTK_API Utk_buffer_patcher {
 public:
  Utk_buffer_patcher();
  Utk_buffer_patcher(const Utk_buffer_patcher& other);

  // The virtual operations keep this order: derived classes in other
  // libraries depend on it.
  virtual ~Utk_buffer_patcher();
  virtual Utk_buffer_patcher& operator=(const Utk_buffer_patcher& other);
  // Replaces edit_size bytes at offset by data_size bytes of data. New data
  // longer than the range continues as an extension at its end; shorter data
  // leaves the rest of the range deleted. When the edit is accepted but that
  // second part conflicts, the edit stays and the result is false.
  virtual bool add_edit(int64 offset, uint64 edit_size, const unsigned char* data, uint64 data_size);
  // Begins a transaction on a copy of the committed edits.
  virtual void start();
  virtual void commit();
  virtual void abort();
  // In a transaction drops the pending edits, otherwise the committed ones.
  virtual void clear();
  // compose_only(), then clear() on success.
  virtual void compose(const krn::Krn_buffer& in, krn::Krn_buffer& out, krn::Krn_status& status);
  // Writes the input with the committed edits applied to out. An edit that
  // addresses bytes beyond the input's end fails with KRN_E_END_OF_DATA; out
  // then holds what was written before it.
  virtual void compose_only(const krn::Krn_buffer& in, krn::Krn_buffer& out, krn::Krn_status& status) const;

 protected:
  // Places the patch in the pending table, merged with the patches it
  // overlaps; false (table unchanged) when it conflicts with one of them.
  // Takes ownership of the patch in every case.
  virtual bool add_entry(Utk_patch* patch);

 public:
  // All of these return true when the edit was placed, false when it
  // conflicts with a pending one.
  bool add_insert(int64 offset, const unsigned char* data, uint64 size);
  bool add_insert(int64 offset, const krn::Wstring& text);
  bool add_delete(int64 offset, uint64 size);
  bool add_edit(int64 offset, uint64 edit_size, const krn::Wstring& text);

  bool pending() const { return m_pending && !m_pending->empty(); }
  bool committed() const { return m_committed && !m_committed->empty(); }
  bool in_transaction() const { return m_pending != nullptr; }
  // The committed edits (null when nothing was ever committed).
  const Utk_patch_table* patch_table() const;

 protected:
  // For derived patchers that keep their own log of what they accepted.
  Utk_patch_table* pending_table() { return m_pending.get(); }
  // commit() without the ordering by offset.
  void commit_unsorted();

 private:
  bool place(std::unique_ptr<Utk_patch> patch);
  static std::unique_ptr<Utk_patch_table> copy_table(const Utk_patch_table* table);

  std::unique_ptr<Utk_patch_table> m_pending;
  std::unique_ptr<Utk_patch_table> m_committed;
};

// Checks edits as a patcher would but keeps them unmerged, in arrival order,
// and composes nothing: a log of what was accepted.
class UTK_API Utk_buffer_dummy_patcher : public Utk_buffer_patcher {
 public:
  Utk_buffer_dummy_patcher();
  Utk_buffer_dummy_patcher(const Utk_buffer_dummy_patcher& other);
  ~Utk_buffer_dummy_patcher() override;

  Utk_buffer_dummy_patcher& operator=(const Utk_buffer_patcher& other) override;
  Utk_buffer_dummy_patcher& operator=(const Utk_buffer_dummy_patcher& other);
  // Logs the edit as one patch; the validating patcher splits it.
  bool add_edit(int64 offset, uint64 edit_size, const unsigned char* data, uint64 data_size) override;
  void start() override;
  void commit() override;
  void abort() override;
  void clear() override;
  void compose(const krn::Krn_buffer& in, krn::Krn_buffer& out, krn::Krn_status& status) override;
  void compose_only(const krn::Krn_buffer& in, krn::Krn_buffer& out, krn::Krn_status& status) const override;

  using Utk_buffer_patcher::add_edit;

 protected:
  bool add_entry(Utk_patch* patch) override;

 private:
  Utk_buffer_patcher m_validator;
};

// Records, in the patcher's transaction, the replacement of length input
// bytes at offset by the whole content of source, in edits of about 1024
// source bytes each (more when the range has fewer bytes than that makes
// edits). False when the source is empty or cannot be read, when
// length is 0, or when an edit conflicts.
UTK_API bool utk_patcher_replace_in_chunks(Utk_buffer_patcher& patcher, const krn::Krn_buffer& source, int64 offset,
                                           uint64 length);

}  // namespace utk

#endif
