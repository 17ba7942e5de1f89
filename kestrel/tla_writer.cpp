#include "tla_writer.h"

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

namespace {

// Key hashes are spread evenly, so their top bits part entries into buckets
// of a few each, and a bucket is sorted in the cache.
constexpr int BUCKET_BITS = 16;

std::size_t bucket_of(const Tla_index_entry& entry) {
  return static_cast<std::size_t>(entry.hash >> (64 - BUCKET_BITS));
}

// Sorts from into to (both count long) by hash; entries of equal hash keep
// the order they had.
void sort_by_hash(const Tla_index_entry* from, Tla_index_entry* to, std::size_t count) {
  std::vector<std::size_t> next(std::size_t{1} << BUCKET_BITS, 0);
  for (std::size_t i = 0; i < count; ++i) ++next[bucket_of(from[i])];
  std::size_t total = 0;
  for (std::size_t& start : next) {
    const std::size_t size = start;
    start = total;
    total += size;
  }
  for (std::size_t i = 0; i < count; ++i) to[next[bucket_of(from[i])]++] = from[i];
  // next[b] is now where bucket b ends; a stable insertion sort in each.
  std::size_t begin = 0;
  for (const std::size_t end : next) {
    for (std::size_t i = begin + 1; i < end; ++i) {
      const Tla_index_entry entry = to[i];
      std::size_t j = i;
      for (; j > begin && to[j - 1].hash > entry.hash; --j) to[j] = to[j - 1];
      to[j] = entry;
    }
    begin = end;
  }
}

bool entry_less(const Tla_index_entry& a, const Tla_index_entry& b) {
  return a.hash != b.hash ? a.hash < b.hash : a.offset < b.offset;
}

}  // namespace

// ---- Writer --------------------------------------------------------------------

// A key's entries as they come, in sorted runs: each run is sorted once it
// is full (records come in offset order, so a stable sort by hash leaves
// equal hashes in offset order), and the runs are merged as the index is
// written. No array of all entries is ever made: memory stays at 16 bytes an
// entry and one run's scratch space.
struct Tla_data_set_writer::Entries {
  static constexpr std::size_t RUN = std::size_t{1} << 20;

  struct Run {
    std::unique_ptr<Tla_index_entry[]> entries;
    std::size_t size = 0;
  };
  std::vector<Run> runs;
  std::unique_ptr<Tla_index_entry[]> scratch;

  void add(std::uint64_t hash, std::uint64_t offset) {
    if (runs.empty() || runs.back().size == RUN) {
      if (!runs.empty()) sort_run(runs.back());
      runs.push_back(Run{std::make_unique_for_overwrite<Tla_index_entry[]>(RUN), 0});
    }
    Run& run = runs.back();
    run.entries[run.size++] = Tla_index_entry{hash, offset};
  }

  void sort_run(Run& run) {
    if (!scratch) scratch = std::make_unique_for_overwrite<Tla_index_entry[]>(RUN);
    sort_by_hash(run.entries.get(), scratch.get(), run.size);
    run.entries.swap(scratch);
  }

  // Sorts the last run and lets go of the scratch space.
  void close() {
    if (!runs.empty()) sort_run(runs.back());
    scratch.reset();
  }
};

namespace {

// Hands out the entries of sorted runs in order: by hash, then by offset.
// There are few runs (one per million entries), so the smallest head is
// found by looking at each.
class Run_merger {
 public:
  using Run = Tla_data_set_writer::Entries::Run;

  explicit Run_merger(const std::vector<Run>& runs) : m_runs(runs), m_at(runs.size(), 0) {}

  bool next(Tla_index_entry& entry) {
    std::size_t best = m_runs.size();
    for (std::size_t r = 0; r < m_runs.size(); ++r) {
      if (m_at[r] == m_runs[r].size) continue;
      if (best == m_runs.size() || entry_less(m_runs[r].entries[m_at[r]], m_runs[best].entries[m_at[best]])) best = r;
    }
    if (best == m_runs.size()) return false;
    entry = m_runs[best].entries[m_at[best]++];
    return true;
  }

 private:
  const std::vector<Run>& m_runs;
  std::vector<std::size_t> m_at;
};

}  // namespace

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
  write_body(records.data(), records.size(), records_crc, status);
}

void Tla_data_set_writer::write_key_index(std::size_t key, krn::Krn_status& status) {
  Entries& entries = *m_entries[key];
  entries.close();
  krn::Krn_status local;
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
  Run_merger merger(entries.runs);
  Tla_index_entry entry{};
  while (merger.next(entry)) {
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
  entries.runs.clear();
  if (local.ok()) write_body(bytes.data(), bytes.size(), tla_body_crc(bytes.data(), bytes.size()), local);
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
