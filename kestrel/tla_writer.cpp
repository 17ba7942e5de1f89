#include "tla/tla_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "krn/krn_buffer.h"
#include "krn/krn_crc.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "tla/tla_schema.h"
#include "tla/tla_status_codes.h"

namespace tla {

namespace {

// Reads and writes of whole blocks: copies and key index entries go out in
// pieces of this size, not an entry at a time.
constexpr std::size_t COPY_BLOCK_SIZE = 65536;

// One record read whole from a buffer, at any position. Reads go through
// read_at, so the stream's own position never moves.
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

  const std::vector<unsigned char>& bytes() const { return m_bytes; }
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

}  // namespace

// ---- Writer --------------------------------------------------------------------

Tla_data_set_writer::Tla_data_set_writer(krn::Krn_buffer& output, const std::vector<krn::Wstring>& key_names,
                                         const Tla_schema& schema, const std::vector<std::uint64_t>& key_positions,
                                         std::uint64_t memory, const krn::Wstring& work_folder)
    : m_output(output),
      m_key_names(key_names),
      m_schema(schema),
      m_key_positions(key_positions),
      m_work_folder(work_folder),
      m_space(std::make_unique<Tla_entry_space>(memory, key_names.size(), work_folder)) {
  for (std::size_t k = 0; k < key_names.size(); ++k) m_entries.push_back(std::make_unique<Tla_key_entries>(*m_space));
}

void Tla_data_set_writer::check_space(std::uint64_t data_bytes, std::uint64_t records, krn::Krn_status& status) {
  status.clear();
  const std::uint64_t entries = records * m_key_names.size() * sizeof(Tla_index_entry);
  // The indexes, and the runs spilled on the way when the entries are more
  // than the memory holds.
  const std::uint64_t needed = data_bytes + entries + (entries > m_space->budget() / 2 ? entries : 0);
  const std::uint64_t free = krn::Krn_file::free_space(m_work_folder, status);
  if (!status.ok()) {
    // A file system that cannot say is not refused.
    status.clear();
    return;
  }
  if (needed > free) {
    status.assign(TLA_E_DISK_SPACE, krn::Krn_wstring_status_arg(m_work_folder.empty() ? krn::Wstring(u".") : m_work_folder),
                  krn::Krn_uint_status_arg(needed >> 20), krn::Krn_uint_status_arg(free >> 20));
  }
}

Tla_data_set_writer::~Tla_data_set_writer() = default;

void Tla_data_set_writer::write(const void* data, std::size_t size, krn::Krn_status& status) {
  status.clear();
  if (size > 0) m_output.write(m_position, size, data, status);
}

void Tla_data_set_writer::write_body(const void* data, std::size_t size, std::uint64_t crc, krn::Krn_status& status) {
  write(data, size, status);
  m_body_crc = krn::Krn_crc64::combine(m_body_crc, crc, size);
  m_body_size += size;
}

void Tla_data_set_writer::begin(krn::Krn_status& status) {
  check_field_names(m_schema, status);
  if (!status.ok()) return;
  if (m_key_names.size() > TLA_MAX_KEYS) {
    status = TLA_E_DATA_SET_TOO_LARGE;
    return;
  }
  Tla_data_set_header header;
  header.key_count = static_cast<std::uint16_t>(m_key_names.size());
  m_head.clear();
  tla_append_header(m_head, header);
  tla_append_field_descriptors(m_head, m_schema);
  m_head.resize(static_cast<std::size_t>(tla_align_to_eight(m_head.size())), '\0');
  m_position = 0;
  write(m_head.data(), m_head.size(), status);
  m_data_start = m_head.size();
}

void Tla_data_set_writer::append(const std::string& records, const std::vector<std::uint32_t>& record_starts,
                                 const std::vector<std::uint64_t>& key_hashes, krn::Krn_status& status) {
  append(records, record_starts, key_hashes, tla_body_crc(records.data(), records.size()), status);
}

void Tla_data_set_writer::append(const std::string& records, const std::vector<std::uint32_t>& record_starts,
                                 const std::vector<std::uint64_t>& key_hashes, std::uint64_t records_crc,
                                 krn::Krn_status& status) {
  status.clear();
  // The limits are checked before the records are written: a file that
  // could not count them, or whose index no reader can hold, is not made.
  const std::uint64_t count = m_record_count + record_starts.size();
  if (count > TLA_MAX_RECORDS) {
    status = TLA_E_TOO_MANY_RECORDS;
    return;
  }
  if (index_block_size(static_cast<std::uint32_t>(count), static_cast<std::uint16_t>(m_key_names.size())) == 0) {
    status = TLA_E_DATA_SET_TOO_LARGE;
    return;
  }
  const std::uint64_t base = static_cast<std::uint64_t>(m_position);
  const std::size_t keys = m_entries.size();
  for (std::size_t r = 0; r < record_starts.size() && status.ok(); ++r) {
    for (std::size_t k = 0; k < keys && status.ok(); ++k) {
      m_entries[k]->add(key_hashes[r * keys + k], base + record_starts[r], status);
    }
  }
  if (!status.ok()) return;
  m_record_count = count;
  write_body(records.data(), records.size(), records_crc, status);
}

void Tla_data_set_writer::write_key_index(std::size_t key, krn::Krn_status& status) {
  Tla_key_entries& entries = *m_entries[key];
  krn::Krn_status local;
  entries.close(local);
  if (!local.ok()) {
    status.push(local);
    return;
  }
  krn::Krn_buffered_istream input(m_output, false, local, krn::KRN_EOL_CRLF);
  if (!local.ok()) {
    status.push(local);
    return;
  }
  // Only neighbours of equal hash are compared: the records of one key value
  // lie together, and exact repeats among them are reported, though every
  // record keeps its entry. One warning per index says it all, so the
  // comparing stops at the first repeat.
  Record_scanner scanners[2] = {Record_scanner(input, m_schema.size()), Record_scanner(input, m_schema.size())};
  std::size_t previous = 0;
  bool previous_loaded = false;
  bool repeat = false;
  bool first = true;
  Tla_index_entry last{};

  std::string bytes;
  tla_append_key_index_head(bytes, m_key_names[key], static_cast<std::uint64_t>(m_position));
  bytes.reserve(COPY_BLOCK_SIZE + TLA_INDEX_ENTRY_SIZE);
  Tla_index_entry entry{};
  while (entries.next(entry, local)) {
    if (!repeat && !first && entry.hash == last.hash) {
      if (!previous_loaded) previous_loaded = scanners[previous].read(static_cast<krn::int64>(last.offset), local);
      Record_scanner& current = scanners[1 - previous];
      if (local.ok() && current.read(static_cast<krn::int64>(entry.offset), local)) {
        repeat = current.bytes() == scanners[previous].bytes();
        previous = 1 - previous;
      }
      if (!local.ok()) break;
    } else {
      previous_loaded = false;
    }
    last = entry;
    first = false;
    tla_append_index_entry(bytes, entry.hash, entry.offset);
    if (bytes.size() >= COPY_BLOCK_SIZE) {
      write_body(bytes.data(), bytes.size(), tla_body_crc(bytes.data(), bytes.size()), local);
      if (!local.ok()) break;
      bytes.clear();
    }
  }
  m_entries[key].reset();
  if (local.ok()) write_body(bytes.data(), bytes.size(), tla_body_crc(bytes.data(), bytes.size()), local);
  if (!local.ok()) {
    status.push(local);
    return;
  }
  if (repeat) status.push(TLA_W_DUPLICATE_RECORD, krn::Krn_wstring_status_arg(m_key_names[key]));
}

void Tla_data_set_writer::finish(krn::Krn_status& status) {
  status.clear();
  const std::uint64_t index_offset = static_cast<std::uint64_t>(m_position);
  // The run status gathers the warnings of every index.
  for (std::size_t key = 0; key < m_key_names.size(); ++key) {
    write_key_index(key, status);
    if (status.is_error()) return;
  }
  const krn::int64 end = m_position;
  krn::Krn_status local;
  m_output.truncate(end, local);
  if (!local.ok()) {
    status.push(local);
    return;
  }
  // The head gets its counts, and the checksum joins the head's register to
  // the one kept over everything written after it: nothing is read again.
  Tla_data_set_header header;
  header.index_offset = index_offset;
  header.key_count = static_cast<std::uint16_t>(m_key_names.size());
  header.record_count = static_cast<std::uint32_t>(m_record_count);
  std::string fields;
  tla_append_header(fields, header);
  m_head.replace(0, fields.size(), fields);
  krn::Krn_crc64 head(krn::Krn_crc64::ALL_ONES);
  head.update(m_head.data() + TLA_CHECKSUM_START, m_head.size() - TLA_CHECKSUM_START);
  header.checksum = krn::Krn_crc64::combine(head.result(false), m_body_crc, m_body_size);
  fields.clear();
  tla_append_header(fields, header);
  m_head.replace(0, fields.size(), fields);
  m_position = 0;
  write(m_head.data(), TLA_HEADER_SIZE, local);
  m_position = end;
  if (!local.ok()) status.push(local);
}

std::uint64_t tla_body_crc(const char* data, std::size_t size) {
  krn::Krn_crc64 crc(0);
  crc.update(data, size);
  return crc.result(false);
}

// ---- From an intermediate buffer -------------------------------------------------

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

void build_data_set(const std::vector<krn::Wstring>& key_names, const Tla_schema& schema,
                    const krn::Krn_buffer& intermediate, krn::Krn_buffer& output, krn::Krn_status& status) {
  status.clear();
  std::vector<std::uint64_t> key_positions;
  resolve_keys(schema, key_names, key_positions, status);
  if (!status.ok()) return;
  Tla_data_set_writer writer(output, key_names, schema, key_positions);
  writer.begin(status);
  if (!status.ok()) return;
  krn::Krn_buffered_istream input(intermediate, false, status, krn::KRN_EOL_CRLF);
  if (!status.ok()) return;
  const krn::int64 size = input.size(status);
  if (!status.ok()) return;
  Record_scanner scanner(input, schema.size());
  std::string records;
  std::vector<std::uint32_t> starts;
  std::vector<std::uint64_t> hashes;
  for (krn::int64 position = 0; position < size;) {
    if (!scanner.read(position, status)) return;
    starts.push_back(static_cast<std::uint32_t>(records.size()));
    for (const std::uint64_t field : key_positions) {
      hashes.push_back(tla_key_hash(scanner.crcs(field), scanner.crc_bytes(field)));
    }
    records.append(scanner.bytes().begin(), scanner.bytes().end());
    position += static_cast<krn::int64>(scanner.bytes().size());
    if (records.size() >= COPY_BLOCK_SIZE || position >= size) {
      writer.append(records, starts, hashes, status);
      if (!status.ok()) return;
      records.clear();
      starts.clear();
      hashes.clear();
    }
  }
  writer.finish(status);
}

}  // namespace tla
