#ifndef TLA_KEY_ENTRIES_H
#define TLA_KEY_ENTRIES_H

// The (key hash, record offset) entries of the key indexes while a data set
// is written: gathered in sorted runs within a memory budget, runs beyond
// the budget kept in a nameless file beside the output, and all of a key's
// runs merged into index order as the index is written.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tla/tla_export.h"
#include "krn/krn_file.h"
#include "krn/krn_types.h"

namespace krn {
class Krn_status;
}

namespace tla {

// One entry of a key index: the key hash of a record and where it lies.
struct Tla_index_entry {
  std::uint64_t hash;
  std::uint64_t offset;
};

// What KESTREL_MEMORY says when it is not set.
inline constexpr std::uint64_t TLA_DEFAULT_MEMORY = std::uint64_t{256} << 20;

// Reads a size such as "256M", "2G", "64K" or "1048576" (bytes). False for
// anything else, and for 0.
TLA_API bool tla_parse_memory(const std::string& text, std::uint64_t& bytes);

// The memory all keys' entries share, and the file their runs spill to.
class TLA_API Tla_entry_space {
 public:
  // budget: for the whole run, of which the entries get the part that the
  // rest of the run (batches in flight, caches) leaves. folder: where the
  // spill file is made, when one is needed.
  Tla_entry_space(std::uint64_t budget, std::size_t keys, const krn::Wstring& folder);
  ~Tla_entry_space();
  Tla_entry_space(const Tla_entry_space&) = delete;
  Tla_entry_space& operator=(const Tla_entry_space&) = delete;

  std::uint64_t budget() const { return m_budget; }
  // Entries in a run.
  std::size_t run_size() const { return m_run_size; }
  // Whether a sorted run of this many bytes may stay in memory; if so it is
  // counted until released.
  bool keep(std::uint64_t bytes);
  void release(std::uint64_t bytes) { m_kept -= bytes; }
  // Bytes the merge of one key may use for reading spilled runs.
  std::uint64_t merge_bytes() const { return m_merge_bytes; }

  // Writes entries to the spill file; returns where they went.
  std::uint64_t spill(const Tla_index_entry* entries, std::size_t count, krn::Krn_status& status);
  // Reads count entries back from position.
  void load(std::uint64_t position, Tla_index_entry* entries, std::size_t count, krn::Krn_status& status);
  // Bytes written to the spill file so far.
  std::uint64_t spilled() const { return m_end; }

 private:
  std::uint64_t m_budget;
  std::size_t m_run_size;
  std::uint64_t m_keep_limit;
  std::uint64_t m_merge_bytes;
  std::uint64_t m_kept = 0;
  krn::Wstring m_folder;
  krn::Krn_file m_file;
  std::uint64_t m_end = 0;
};

// One key's entries. Records come in offset order, so a run sorted stably
// by hash holds equal hashes in offset order, and the merge keeps that order
// across runs by taking the earlier run first among equal hashes.
class TLA_API Tla_key_entries {
 public:
  explicit Tla_key_entries(Tla_entry_space& space);
  ~Tla_key_entries();
  Tla_key_entries(const Tla_key_entries&) = delete;
  Tla_key_entries& operator=(const Tla_key_entries&) = delete;

  // Adds an entry; a full run is sorted and kept or spilled (a failure of
  // the spill file lands in status).
  void add(std::uint64_t hash, std::uint64_t offset, krn::Krn_status& status);
  // Sorts the last run and makes ready to hand the entries out in order.
  // TLA_E_MEMORY_TOO_SMALL when the budget cannot hold a read buffer for
  // every spilled run.
  void close(krn::Krn_status& status);
  // The next entry in index order; false at the end or on a failure.
  bool next(Tla_index_entry& entry, krn::Krn_status& status);

  std::uint64_t size() const { return m_size; }

 private:
  struct Run;
  struct Merge;

  void finish_run(krn::Krn_status& status);
  // The next entry of one run, its window refilled from the spill file.
  bool next_of(std::size_t run, Tla_index_entry& entry, krn::Krn_status& status);

  Tla_entry_space& m_space;
  std::vector<std::unique_ptr<Run>> m_runs;
  std::unique_ptr<Tla_index_entry[]> m_filling;
  std::size_t m_filled = 0;
  std::unique_ptr<Tla_index_entry[]> m_scratch;
  std::unique_ptr<Merge> m_merge;
  std::uint64_t m_size = 0;
};

}  // namespace tla

#endif
