#ifndef TLA_WRITER_H
#define TLA_WRITER_H

// Writes a data set file of the current version: the header and field
// descriptors, the records as they come, one sorted key index per key, then
// the record count, the index offset and the checksum.

#include <cstdint>
#include <memory>
#include <vector>

#include "tla/tla_export.h"
#include "krn/krn_types.h"
#include "tla/tla_data_set_format.h"
#include "tla/tla_key_entries.h"

namespace krn {
class Krn_buffer;
class Krn_buffered_istream;
class Krn_ostream;
class Krn_status;
}  // namespace krn

namespace tla {

// The records go straight to their place in the output, and the (key hash,
// record offset) entries of every key are collected on the way, so that no
// record is read again except to compare the few whose key hashes are
// equal. Used by one thread at a time.
class TLA_API Tla_data_set_writer {
 public:
  // The schema and the key positions (see resolve_keys) must outlive the
  // writer. memory: the budget of the run, within which the key entries are
  // sorted; beyond it sorted runs go to a nameless file in work_folder (""
  // for the current folder).
  Tla_data_set_writer(krn::Krn_buffer& output, const std::vector<krn::Wstring>& key_names, const Tla_schema& schema,
                      const std::vector<std::uint64_t>& key_positions, std::uint64_t memory = TLA_DEFAULT_MEMORY,
                      const krn::Wstring& work_folder = krn::Wstring());
  ~Tla_data_set_writer();
  Tla_data_set_writer(const Tla_data_set_writer&) = delete;
  Tla_data_set_writer& operator=(const Tla_data_set_writer&) = delete;

  // Writes the header and descriptors; records follow them. TLA_E_FIELD_LIST
  // when two fields have the same name; TLA_E_DATA_SET_TOO_LARGE for more
  // key indexes than the header can count.
  void begin(krn::Krn_status& status);
  // TLA_E_DISK_SPACE when the work folder's file system has less room than
  // a data set of about data_bytes of records and this many records needs,
  // with its indexes and any runs spilled on the way.
  void check_space(std::uint64_t data_bytes, std::uint64_t records, krn::Krn_status& status);
  // Appends encoded records (as Tla_record_encoder writes them).
  // record_starts: where each begins in records; key_hashes: per record, the
  // hash of each key in key order. Before anything is written:
  // TLA_E_TOO_MANY_RECORDS past what the header can count, and
  // TLA_E_DATA_SET_TOO_LARGE past what a reader's block table can index.
  void append(const std::string& records, const std::vector<std::uint32_t>& record_starts,
              const std::vector<std::uint64_t>& key_hashes, krn::Krn_status& status);
  // The same with records_crc = tla_body_crc(records), worked out by the
  // caller (on another thread, say).
  void append(const std::string& records, const std::vector<std::uint32_t>& record_starts,
              const std::vector<std::uint64_t>& key_hashes, std::uint64_t records_crc, krn::Krn_status& status);
  // Writes the key indexes, each sorted by hash and, among equal hashes, by
  // record offset, then the header's counts and the checksum. A record that
  // repeats another exactly is stored and indexed like any other, with the
  // warning TLA_W_DUPLICATE_RECORD once for each key index that shows it.
  // TLA_E_DATA_SET_TOO_LARGE when the records and keys are more than a
  // reader can index.
  void finish(krn::Krn_status& status);

  std::uint64_t record_count() const { return m_record_count; }
  // Counts as though that many records had come already: the limits of the
  // format lie billions of records away, so their tests start near them.
  void count_from(std::uint64_t records) { m_record_count = records; }

 private:
  void write(const void* data, std::size_t size, krn::Krn_status& status);
  // Writes bytes after the head; crc: their tla_body_crc.
  void write_body(const void* data, std::size_t size, std::uint64_t crc, krn::Krn_status& status);
  void write_key_index(std::size_t key, krn::Krn_status& status);

  krn::Krn_buffer& m_output;
  const std::vector<krn::Wstring>& m_key_names;
  const Tla_schema& m_schema;
  const std::vector<std::uint64_t>& m_key_positions;
  krn::Wstring m_work_folder;
  std::unique_ptr<Tla_entry_space> m_space;
  std::vector<std::unique_ptr<Tla_key_entries>> m_entries;  // one per key
  krn::int64 m_position = 0;
  // The header and descriptors up to the data start.
  std::string m_head;
  std::uint64_t m_data_start = 0;
  // The checksum register over everything after the head, from 0.
  std::uint64_t m_body_crc = 0;
  std::uint64_t m_body_size = 0;
  std::uint64_t m_record_count = 0;
};

// The checksum register of bytes run from 0: what the writer joins to the
// head's register for the checksum.
TLA_API std::uint64_t tla_body_crc(const char* data, std::size_t size);

// Writes a data set to output from an intermediate buffer of encoded
// records (as Tla_record_encoder writes them), the way a build does.
// TLA_E_FIELD_LIST when two fields have the same name; TLA_E_KEY_NOT_IN_SCHEMA
// for a key name that is no field's exact name; TLA_E_RECORD_DAMAGED for a
// record that is cut short or not ended by 0x00.
TLA_API void build_data_set(const std::vector<krn::Wstring>& key_names, const Tla_schema& schema,
                    const krn::Krn_buffer& intermediate, krn::Krn_buffer& output, krn::Krn_status& status);

// Copies the first size bytes of from to out, a block at a time.
// TLA_E_RECORD_DAMAGED when from ends before size.
TLA_API void copy_bytes(const krn::Krn_buffer& from, krn::int64 size, krn::Krn_ostream& out, krn::Krn_status& status);

}  // namespace tla

#endif
