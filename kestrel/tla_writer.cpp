#include "tla_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "krn/krn_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "tla_schema.h"
#include "tla_status_codes.h"

namespace tla {

namespace {

// Reads and writes of whole blocks: the copy of the records and the key
// index entries go out in pieces of this size, not an entry at a time.
constexpr std::size_t COPY_BLOCK_SIZE = 65536;

// One record of the intermediate file, read whole. Reads go through
// read_at, so the input's own position never moves and no seek is paid
// for skipping a field.
class Record_scanner {
 public:
  Record_scanner(const krn::Krn_buffered_istream& input, std::size_t field_count)
      : m_input(input), m_field_starts(field_count) {}

  // Reads the record at position. A record that is cut short or does not
  // end with its terminator is TLA_E_RECORD_DAMAGED; a failure of the file
  // is reported as it came.
  bool read(krn::int64 position, krn::Krn_status& status) {
    status.clear();
    m_bytes.clear();
    for (std::size_t& start : m_field_starts) {
      start = m_bytes.size();
      if (!take(position, TLA_TOKEN_COUNT_SIZE, status)) return false;
      const std::size_t count = tla_get_be16(&m_bytes[start]);
      if (!take(position, count * TLA_TOKEN_CRC_SIZE, status)) return false;
    }
    if (!take(position, 1, status)) return false;
    if (m_bytes.back() != TLA_RECORD_TERMINATOR) {
      status = TLA_E_RECORD_DAMAGED;
      return false;
    }
    return true;
  }

  std::size_t length() const { return m_bytes.size(); }
  const std::vector<unsigned char>& bytes() const { return m_bytes; }
  // The CRC bytes of a field, as they stand (without the count).
  const unsigned char* crcs(std::size_t field) const { return &m_bytes[m_field_starts[field] + TLA_TOKEN_COUNT_SIZE]; }
  std::size_t crc_bytes(std::size_t field) const {
    return tla_get_be16(&m_bytes[m_field_starts[field]]) * TLA_TOKEN_CRC_SIZE;
  }

 private:
  bool take(krn::int64& position, std::size_t count, krn::Krn_status& status) {
    const std::size_t at = m_bytes.size();
    m_bytes.resize(at + count);
    std::size_t done = 0;
    while (done < count) {
      const krn::uint64 got = m_input.read_at(position, count - done, &m_bytes[at + done], status);
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
      position += static_cast<krn::int64>(got);
    }
    if (done == count) return true;
    if (status.ok() || status == krn::KRN_E_END_OF_DATA) status = TLA_E_RECORD_DAMAGED;
    return false;
  }

  const krn::Krn_buffered_istream& m_input;
  std::vector<std::size_t> m_field_starts;
  std::vector<unsigned char> m_bytes;
};

struct Index_entry {
  std::uint64_t hash;
  std::uint64_t offset;
};

// Equal hashes are ordered by offset, so that the same records always give
// the same file, whatever the sort does with ties.
bool entry_less(const Index_entry& a, const Index_entry& b) {
  return a.hash != b.hash ? a.hash < b.hash : a.offset < b.offset;
}

void write_bytes(krn::Krn_ostream& out, const std::string& bytes, krn::Krn_status& status) {
  status.clear();
  if (!bytes.empty()) out.write(bytes.size(), bytes.data(), status);
}

// The index offset and the checksum, written last because the checksum
// covers the offset.
void seal(krn::Krn_buffer& output, krn::Krn_ostream& out, std::uint64_t index_offset, krn::Krn_status& status) {
  status.clear();
  const krn::int64 end = out.tell();
  out.set_size(end, status);
  if (status.ok()) out.seek(krn::KRN_SEEK_START, static_cast<krn::int64>(TLA_INDEX_OFFSET_OFFSET), status);
  if (status.ok()) out.write_le(index_offset, status);
  std::uint64_t checksum = 0;
  if (status.ok()) checksum = tla_data_set_checksum(output, end, status);
  if (status.ok()) out.seek(krn::KRN_SEEK_START, static_cast<krn::int64>(TLA_CHECKSUM_OFFSET), status);
  if (status.ok()) out.write_le(checksum, status);
}

}  // namespace

void copy_bytes(const krn::Krn_buffer& from, krn::int64 size, krn::Krn_ostream& out, krn::Krn_status& status) {
  status.clear();
  krn::Krn_unbuffered_istream input(from, false, status);
  if (!status.ok()) return;
  const auto block = std::make_unique<unsigned char[]>(COPY_BLOCK_SIZE);
  krn::int64 position = 0;
  while (position < size && !status.is_error()) {
    const krn::uint64 got = input.read_at(position, COPY_BLOCK_SIZE, block.get(), status);
    if (got == 0) {
      if (status.ok() || status == krn::KRN_E_END_OF_DATA) status = TLA_E_RECORD_DAMAGED;
      break;
    }
    position += static_cast<krn::int64>(got);
    out.write(got, block.get(), status);
  }
}

std::uint32_t count_records(std::size_t field_count, const krn::Krn_buffered_istream& input, krn::Krn_status& status) {
  status.clear();
  const krn::int64 size = input.size(status);
  if (!status.ok()) return 0;
  Record_scanner scanner(input, field_count);
  std::uint64_t count = 0;
  for (krn::int64 position = 0; position < size; position += static_cast<krn::int64>(scanner.length())) {
    if (!scanner.read(position, status)) return 0;
    if (++count > TLA_MAX_RECORDS) {
      status = TLA_E_TOO_MANY_RECORDS;
      return 0;
    }
  }
  return static_cast<std::uint32_t>(count);
}

void write_header(const std::vector<krn::Wstring>& key_names, const Tla_schema& schema, std::uint32_t record_count,
                  krn::Krn_ostream& out, krn::Krn_status& status) {
  Tla_data_set_header header;
  header.key_count = static_cast<std::uint16_t>(key_names.size());
  header.record_count = record_count;
  std::string bytes;
  tla_append_header(bytes, header);
  tla_append_field_descriptors(bytes, schema);
  write_bytes(out, bytes, status);
  if (status.ok()) pad_to_eight(out, status);
}

void pad_to_eight(krn::Krn_ostream& out, krn::Krn_status& status) {
  const std::uint64_t position = static_cast<std::uint64_t>(out.tell());
  write_bytes(out, std::string(static_cast<std::size_t>(tla_align_to_eight(position) - position), '\0'), status);
}

void write_key_index(const krn::Wstring& key_name, const Tla_schema& schema, std::uint32_t record_count,
                     std::uint64_t data_start, const krn::Krn_buffered_istream& input, krn::Krn_ostream& out,
                     krn::Krn_status& status) {
  // The run status may hold the warnings of earlier indexes: they stay, and
  // this index's findings go on top of them.
  krn::Krn_status local;
  std::vector<std::uint64_t> key_field;
  resolve_keys(schema, {key_name}, key_field, local);
  if (!local.ok()) {
    status.push(local);
    return;
  }
  std::string bytes;
  tla_append_key_index_head(bytes, key_name, static_cast<std::uint64_t>(out.tell()));
  write_bytes(out, bytes, local);

  std::vector<Index_entry> entries;
  entries.reserve(record_count);
  Record_scanner scanner(input, schema.size());
  krn::int64 position = 0;
  for (std::uint32_t record = 0; record < record_count && local.ok(); ++record) {
    if (!scanner.read(position, local)) break;
    entries.push_back({tla_key_hash(scanner.crcs(key_field[0]), scanner.crc_bytes(key_field[0])),
                       data_start + static_cast<std::uint64_t>(position)});
    position += static_cast<krn::int64>(scanner.length());
  }
  if (!local.ok()) {
    status.push(local);
    return;
  }
  std::sort(entries.begin(), entries.end(), entry_less);

  // Only neighbours of equal hash are compared: the records of one key
  // value lie together after the sort, and exact repeats among them are
  // reported, though every record keeps its entry. One warning per index
  // says it all; one per repeat would grow the status, and the console
  // report, with the input.
  Record_scanner scanners[2] = {Record_scanner(input, schema.size()), Record_scanner(input, schema.size())};
  std::size_t previous = 0;
  std::uint64_t previous_offset = 0;
  bool previous_loaded = false;
  bool repeat_seen = false;
  bytes.clear();
  bytes.reserve(COPY_BLOCK_SIZE + TLA_INDEX_ENTRY_SIZE);
  for (std::size_t i = 0; i < entries.size() && local.ok(); ++i) {
    const Index_entry& entry = entries[i];
    // Once a repeat is known, no further comparison can change the report.
    if (!repeat_seen && i > 0 && entry.hash == entries[i - 1].hash) {
      const std::uint64_t before = entries[i - 1].offset;
      if (!previous_loaded || previous_offset != before) {
        previous_loaded = scanners[previous].read(static_cast<krn::int64>(before - data_start), local);
        previous_offset = before;
      }
      Record_scanner& current = scanners[1 - previous];
      if (previous_loaded && current.read(static_cast<krn::int64>(entry.offset - data_start), local)) {
        if (current.bytes() == scanners[previous].bytes()) repeat_seen = true;
        previous = 1 - previous;
        previous_offset = entry.offset;
      }
      if (!local.ok()) break;
    }
    tla_append_index_entry(bytes, entry.hash, entry.offset);
    if (bytes.size() >= COPY_BLOCK_SIZE) {
      write_bytes(out, bytes, local);
      bytes.clear();
    }
  }
  if (local.ok()) write_bytes(out, bytes, local);
  if (!local.ok()) {
    status.push(local);
    return;
  }
  if (repeat_seen) status.push(TLA_W_DUPLICATE_RECORD, krn::Krn_wstring_status_arg(key_name));
}

void build_data_set(const std::vector<krn::Wstring>& key_names, const Tla_schema& schema,
                    const krn::Krn_buffer& intermediate, krn::Krn_buffer& output, krn::Krn_status& status) {
  status.clear();
  krn::Krn_buffered_istream input(intermediate, false, status, krn::KRN_EOL_CRLF);
  if (!status.ok()) return;
  // Both are checked before the run reads its input; here they keep a
  // caller that did not from writing half a file.
  check_field_names(schema, status);
  std::vector<std::uint64_t> key_positions;
  if (status.ok()) resolve_keys(schema, key_names, key_positions, status);
  if (!status.ok()) return;
  const std::uint32_t record_count = count_records(schema.size(), input, status);
  if (status.is_error()) return;
  const krn::int64 intermediate_size = input.size(status);
  if (status.is_error()) return;
  // A file whose index a reader cannot hold would be written for no one.
  if (key_names.size() > TLA_MAX_KEYS ||
      index_block_size(record_count, static_cast<std::uint16_t>(key_names.size())) == 0) {
    status = TLA_E_DATA_SET_TOO_LARGE;
    return;
  }

  krn::Krn_ostream out(output, status, krn::KRN_EOL_CRLF);
  if (status.is_error()) return;
  write_header(key_names, schema, record_count, out, status);
  if (status.is_error()) return;
  const std::uint64_t data_start = static_cast<std::uint64_t>(out.tell());
  copy_bytes(intermediate, intermediate_size, out, status);
  if (status.is_error()) return;
  const std::uint64_t index_offset = data_start + static_cast<std::uint64_t>(intermediate_size);

  for (const krn::Wstring& key_name : key_names) {
    write_key_index(key_name, schema, record_count, data_start, input, out, status);
    if (status.is_error()) return;
  }
  krn::Krn_status local;
  seal(output, out, index_offset, local);
  if (!local.ok()) status.push(local);
}

}  // namespace tla
