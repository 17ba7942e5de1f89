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

// ---- Sorting -------------------------------------------------------------------

void tla_sort_index_entries(std::vector<Tla_index_entry>& entries) {
  const auto less = [](const Tla_index_entry& a, const Tla_index_entry& b) {
    return a.hash != b.hash ? a.hash < b.hash : a.offset < b.offset;
  };
  if (entries.size() < 4096) {
    std::sort(entries.begin(), entries.end(), less);
    return;
  }
  // Key hashes are spread evenly, so the top 16 bits part the entries into
  // buckets of a few each. The buckets are formed in place (each entry is
  // swapped straight to its bucket), so no second array of entries is
  // needed: memory stays at 16 bytes an entry.
  constexpr int BITS = 16;
  constexpr std::size_t BUCKETS = std::size_t{1} << BITS;
  const auto bucket = [](const Tla_index_entry& e) { return static_cast<std::size_t>(e.hash >> (64 - BITS)); };
  std::vector<std::size_t> next(BUCKETS + 1, 0);
  for (const Tla_index_entry& e : entries) ++next[bucket(e) + 1];
  for (std::size_t b = 1; b <= BUCKETS; ++b) next[b] += next[b - 1];
  std::vector<std::size_t> end(next.begin() + 1, next.end());
  for (std::size_t b = 0; b < BUCKETS; ++b) {
    while (next[b] < end[b]) {
      Tla_index_entry& e = entries[next[b]];
      const std::size_t home = bucket(e);
      if (home == b) {
        ++next[b];
      } else {
        std::swap(e, entries[next[home]++]);
      }
    }
  }
  std::size_t begin = 0;
  for (std::size_t b = 0; b < BUCKETS; ++b) {
    std::sort(entries.begin() + static_cast<std::ptrdiff_t>(begin), entries.begin() + static_cast<std::ptrdiff_t>(end[b]),
              less);
    begin = end[b];
  }
}

// ---- Writer --------------------------------------------------------------------

// A key's entries as they come, in blocks: a vector grown by doubling would
// need the old and the new array at once, half as much again at its peak.
struct Tla_data_set_writer::Entries {
  static constexpr std::size_t BLOCK = 65536;
  std::vector<std::unique_ptr<Tla_index_entry[]>> blocks;
  std::size_t size = 0;

  void add(std::uint64_t hash, std::uint64_t offset) {
    if (size % BLOCK == 0) blocks.push_back(std::make_unique<Tla_index_entry[]>(BLOCK));
    blocks.back()[size % BLOCK] = Tla_index_entry{hash, offset};
    ++size;
  }
  // All of them in one array; each block is freed once copied.
  std::vector<Tla_index_entry> take() {
    std::vector<Tla_index_entry> all(size);
    for (std::size_t b = 0; b < blocks.size(); ++b) {
      const std::size_t first = b * BLOCK;
      std::copy_n(blocks[b].get(), std::min(BLOCK, size - first), all.begin() + static_cast<std::ptrdiff_t>(first));
      blocks[b].reset();
    }
    blocks.clear();
    size = 0;
    return all;
  }
};

Tla_data_set_writer::Tla_data_set_writer(krn::Krn_buffer& output, const std::vector<krn::Wstring>& key_names,
                                         const Tla_schema& schema, const std::vector<std::uint64_t>& key_positions)
    : m_output(output), m_key_names(key_names), m_schema(schema), m_key_positions(key_positions) {
  for (std::size_t k = 0; k < key_names.size(); ++k) m_entries.push_back(std::make_unique<Entries>());
}

Tla_data_set_writer::~Tla_data_set_writer() = default;

void Tla_data_set_writer::write(const void* data, std::size_t size, krn::Krn_status& status) {
  status.clear();
  if (size > 0) m_output.write(m_position, size, data, status);
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
  std::string bytes;
  tla_append_header(bytes, header);
  tla_append_field_descriptors(bytes, m_schema);
  bytes.resize(static_cast<std::size_t>(tla_align_to_eight(bytes.size())), '\0');
  m_position = 0;
  write(bytes.data(), bytes.size(), status);
  m_data_start = bytes.size();
}

void Tla_data_set_writer::append(const std::string& records, const std::vector<std::uint32_t>& record_starts,
                                 const std::vector<std::uint64_t>& key_hashes, krn::Krn_status& status) {
  status.clear();
  if (m_record_count + record_starts.size() > TLA_MAX_RECORDS) {
    status = TLA_E_TOO_MANY_RECORDS;
    return;
  }
  const std::uint64_t base = static_cast<std::uint64_t>(m_position);
  const std::size_t keys = m_entries.size();
  for (std::size_t r = 0; r < record_starts.size(); ++r) {
    for (std::size_t k = 0; k < keys; ++k) m_entries[k]->add(key_hashes[r * keys + k], base + record_starts[r]);
  }
  m_record_count += record_starts.size();
  write(records.data(), records.size(), status);
}

bool Tla_data_set_writer::has_repeat(const std::vector<Tla_index_entry>& entries, krn::Krn_status& status) const {
  // Only neighbours of equal hash are compared: the records of one key value
  // lie together after the sort, and exact repeats among them are reported,
  // though every record keeps its entry. One warning per index says it all.
  krn::Krn_buffered_istream input(m_output, false, status, krn::KRN_EOL_CRLF);
  if (!status.ok()) return false;
  Record_scanner scanners[2] = {Record_scanner(input, m_schema.size()), Record_scanner(input, m_schema.size())};
  std::size_t previous = 0;
  std::uint64_t previous_offset = 0;
  bool previous_loaded = false;
  for (std::size_t i = 1; i < entries.size(); ++i) {
    if (entries[i].hash != entries[i - 1].hash) continue;
    const std::uint64_t before = entries[i - 1].offset;
    if (!previous_loaded || previous_offset != before) {
      previous_loaded = scanners[previous].read(static_cast<krn::int64>(before), status);
      previous_offset = before;
      if (!status.ok()) return false;
    }
    Record_scanner& current = scanners[1 - previous];
    if (!current.read(static_cast<krn::int64>(entries[i].offset), status)) return false;
    if (current.bytes() == scanners[previous].bytes()) return true;
    previous = 1 - previous;
    previous_offset = entries[i].offset;
  }
  return false;
}

void Tla_data_set_writer::write_key_index(std::size_t key, krn::Krn_status& status) {
  std::vector<Tla_index_entry> entries = m_entries[key]->take();
  tla_sort_index_entries(entries);
  krn::Krn_status local;
  const bool repeat = has_repeat(entries, local);
  if (!local.ok()) {
    status.push(local);
    return;
  }
  std::string bytes;
  tla_append_key_index_head(bytes, m_key_names[key], static_cast<std::uint64_t>(m_position));
  bytes.reserve(COPY_BLOCK_SIZE + TLA_INDEX_ENTRY_SIZE);
  for (const Tla_index_entry& entry : entries) {
    tla_append_index_entry(bytes, entry.hash, entry.offset);
    if (bytes.size() >= COPY_BLOCK_SIZE) {
      write(bytes.data(), bytes.size(), local);
      if (!local.ok()) break;
      bytes.clear();
    }
  }
  if (local.ok()) write(bytes.data(), bytes.size(), local);
  if (!local.ok()) {
    status.push(local);
    return;
  }
  if (repeat) status.push(TLA_W_DUPLICATE_RECORD, krn::Krn_wstring_status_arg(m_key_names[key]));
}

void Tla_data_set_writer::finish(krn::Krn_status& status) {
  status.clear();
  // A file whose index a reader cannot hold would be written for no one.
  if (index_block_size(static_cast<std::uint32_t>(m_record_count), static_cast<std::uint16_t>(m_key_names.size())) ==
      0) {
    status = TLA_E_DATA_SET_TOO_LARGE;
    return;
  }
  const std::uint64_t index_offset = static_cast<std::uint64_t>(m_position);
  // The run status gathers the warnings of every index.
  for (std::size_t key = 0; key < m_key_names.size(); ++key) {
    write_key_index(key, status);
    if (status.is_error()) return;
  }
  const krn::int64 end = m_position;
  krn::Krn_status local;
  m_output.truncate(end, local);
  std::string field;
  if (local.ok()) {
    tla_append_le32(field, static_cast<std::uint32_t>(m_record_count));
    m_position = static_cast<krn::int64>(TLA_RECORD_COUNT_OFFSET);
    write(field.data(), field.size(), local);
  }
  if (local.ok()) {
    field.clear();
    tla_append_le64(field, index_offset);
    m_position = static_cast<krn::int64>(TLA_INDEX_OFFSET_OFFSET);
    write(field.data(), field.size(), local);
  }
  // The checksum covers the counts just written, so it comes last.
  std::uint64_t checksum = 0;
  if (local.ok()) checksum = tla_data_set_checksum(m_output, end, local);
  if (local.ok()) {
    field.clear();
    tla_append_le64(field, checksum);
    m_position = static_cast<krn::int64>(TLA_CHECKSUM_OFFSET);
    write(field.data(), field.size(), local);
  }
  m_position = end;
  if (!local.ok()) status.push(local);
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
