// The deep check of a data set file. load() reads only what a search needs
// (header, checksum, the layout of the key indexes); verify() reads every
// byte once more and checks that the records and the indexes agree, because
// a file can carry a correct checksum over wrong content, and a search in an
// index that is not sorted finds nothing without saying so.
//
// Files hold millions of records, so the data area and the indexes are read
// in large blocks, front to back, and nothing is kept per record but its
// offset (8 bytes) and, per key index, a bit saying whether an entry named
// it already.

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "krn/krn_buffer.h"
#include "krn/krn_file_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_connector.h"
#include "tla/tla_data_set_input.h"
#include "tla/tla_formatter.h"
#include "tla/tla_records.h"
#include "tla/tla_status_codes.h"

namespace tla {

namespace {

using krn::Krn_status;
using krn::Krn_uint_status_arg;

// Large enough for the longest version-2 field, so that a field's CRCs can
// always be hashed in one piece.
constexpr std::size_t BLOCK_SIZE = std::size_t{1} << 20;
static_assert(BLOCK_SIZE >= TLA_TOKEN_COUNT_SIZE + TLA_MAX_TOKENS_PER_FIELD * TLA_TOKEN_CRC_SIZE);

// Formatter names longer than this are unknown anyway; the message shows
// their start.
constexpr std::size_t SHOWN_FORMATTER_BYTES = 64;

// A version-1 value is checked for UTF-8 in pieces of about this size, so
// that a value without an end costs no more memory than a block.
constexpr std::size_t UTF8_PIECE = 1 << 16;

// Reads a stretch of the file in blocks and hands out runs of bytes that
// lie wholly in memory.
class Block_reader {
 public:
  Block_reader(const krn::Krn_buffer& file, Krn_status& status) : m_input(file, 1, status), m_block(BLOCK_SIZE) {}

  void start(std::uint64_t position, std::uint64_t limit) {
    m_input.start(position, limit);
    m_begin = 0;
    m_end = 0;
    m_position = position;
    m_failed = false;
  }

  std::uint64_t position() const { return m_position; }

  // The next count bytes (at most BLOCK_SIZE), or null when fewer remain
  // before the limit or the file failed (see failed()).
  const unsigned char* peek(std::size_t count) {
    if (m_end - m_begin >= count) return m_block.data() + m_begin;
    if (count > m_block.size() || !refill()) return nullptr;
    return m_end - m_begin >= count ? m_block.data() + m_begin : nullptr;
  }

  // What is in memory from the position on, refilled when nothing is;
  // available is 0 at the limit.
  const unsigned char* run(std::size_t& available) {
    if (m_begin == m_end) refill();
    available = m_end - m_begin;
    return m_block.data() + m_begin;
  }

  void skip(std::size_t count) {
    m_begin += count;
    m_position += count;
  }

  // The file ended or failed before the limit: load() checked the layout
  // against its size, so the file changed under the reader.
  bool failed() const { return m_failed; }
  const Krn_status& file_status() const { return m_input.file_status(); }

 private:
  bool refill() {
    std::memmove(m_block.data(), m_block.data() + m_begin, m_end - m_begin);
    m_end -= m_begin;
    m_begin = 0;
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(m_block.size() - m_end, m_input.remaining()));
    if (wanted == 0) return false;
    if (!m_input.read(m_block.data() + m_end, wanted)) {
      m_failed = true;
      return false;
    }
    m_end += wanted;
    return true;
  }

  Tla_data_set_input m_input;
  std::vector<unsigned char> m_block;
  std::size_t m_begin = 0;
  std::size_t m_end = 0;
  std::uint64_t m_position = 0;
  bool m_failed = false;
};

// A fingerprint of a set of (record offset, key hash) pairs that does not
// depend on their order: the records give theirs in file order, an index in
// hash order. Two sums of a strong mix of each pair; when the offsets of
// both sets are known to be the same, a wrong hash changes them but for a
// chance of one in 2^128.
class Pair_fingerprint {
 public:
  void add(std::uint64_t offset, std::uint64_t hash) {
    m_first += mix(mix(offset ^ 0x9E3779B97F4A7C15ull) ^ hash);
    m_second += mix(mix(offset + 0xC2B2AE3D27D4EB4Full) + hash * 0xFF51AFD7ED558CCDull);
  }
  bool operator==(const Pair_fingerprint& other) const {
    return m_first == other.m_first && m_second == other.m_second;
  }

 private:
  // The finaliser of SplitMix64.
  static std::uint64_t mix(std::uint64_t x) {
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
  }

  std::uint64_t m_first = 0;
  std::uint64_t m_second = 0;
};

// The part of a version-1 value that can be checked for UTF-8 now: all but
// a multi-byte character that may go on in the next piece.
std::size_t complete_utf8_prefix(const std::string& bytes) {
  const std::size_t size = bytes.size();
  for (std::size_t back = 1; back <= 4 && back <= size; ++back) {
    const unsigned char byte = static_cast<unsigned char>(bytes[size - back]);
    if ((byte & 0xC0) == 0x80) continue;
    // A lead byte keeps its character for the next piece; four trailing
    // bytes in a row are wrong wherever the cut falls.
    return byte >= 0xC0 ? size - back : size;
  }
  return size;
}

class Verifier {
 public:
  Verifier(const Tla_data_set_connector_file& connector, const krn::Krn_buffer& file, Krn_status& status)
      : m_connector(connector), m_file(file), m_reader(file, status) {}

  void run(Krn_status& status);

 private:
  bool fail(const Krn_status& cause, Krn_status& status) const {
    tla_report_damaged(m_connector.data_file_name(), cause, status);
    return false;
  }
  bool file_failed(Krn_status& status) const { return fail(m_reader.file_status(), status); }

  bool check_descriptors(Krn_status& status);
  bool check_key_names(Krn_status& status);
  bool walk_records(Krn_status& status);
  bool walk_records_v1(Krn_status& status);
  bool walk_records_v2(Krn_status& status);
  bool add_record(std::uint64_t start, Krn_status& status);
  bool check_index(std::size_t key, Krn_status& status);
  bool find_wrong_hash(std::size_t key, Krn_status& status);
  // The key hash of the record's key field, read directly.
  bool record_key_hash(Tla_data_set_input& input, std::uint64_t record, std::size_t field, std::uint64_t& hash) const;
  std::uint64_t index_start(std::size_t key) const;

  const Tla_data_set_connector_file& m_connector;
  const krn::Krn_buffer& m_file;
  Block_reader m_reader;
  // Per key index, the position of the field it is named after.
  std::vector<std::size_t> m_key_fields;
  // Per field, whether an index keys on it and the fingerprint of its
  // records' (offset, key hash) pairs.
  std::vector<bool> m_is_key_field;
  std::vector<Pair_fingerprint> m_record_prints;
  // Every record's offset, rising.
  std::vector<std::uint64_t> m_record_starts;
};

void Verifier::run(Krn_status& status) {
  status.clear();
  const std::uint16_t version = m_connector.version();
  if (version != TLA_DATA_SET_VERSION && version != TLA_DATA_SET_VERSION_1) {
    fail(Krn_status(TLA_E_UNKNOWN_VERSION, Krn_uint_status_arg(version), Krn_uint_status_arg(TLA_VERSION_OFFSET)),
         status);
    return;
  }
  if (!check_descriptors(status) || !check_key_names(status) || !walk_records(status)) return;
  for (std::size_t key = 0; key < m_connector.key_tables().size(); ++key) {
    if (!check_index(key, status)) return;
  }
}

// ---- Field descriptors -----------------------------------------------------------

bool Verifier::check_descriptors(Krn_status& status) {
  const Tla_schema& fields = *m_connector.schema();
  std::set<krn::Wstring> names;
  // load() parsed the list; its bytes are read again only for the offsets
  // and the formatter names as written.
  m_reader.start(TLA_HEADER_SIZE, m_connector.data_start());
  for (const Tla_field_descriptor& field : fields) {
    const std::uint64_t start = m_reader.position();
    std::string formatter;
    bool in_name = true;
    for (bool done = false; !done;) {
      std::size_t available = 0;
      const unsigned char* bytes = m_reader.run(available);
      if (available == 0) return file_failed(status);
      std::size_t used = 0;
      while (used < available && !done) {
        const unsigned char byte = bytes[used++];
        if (in_name) {
          in_name = byte != TLA_NAME_SEPARATOR;
        } else if (byte == TLA_DESCRIPTOR_END) {
          done = true;
        } else if (formatter.size() < SHOWN_FORMATTER_BYTES) {
          formatter.push_back(static_cast<char>(byte));
        }
      }
      m_reader.skip(used);
    }
    // An empty name is what the writer stores for a field without a
    // formatter, as an upgraded file has for a formatter it did not know.
    if (field.formatter_type == TLA_NO_FORMATTER_ID && !formatter.empty()) {
      return fail(Krn_status(TLA_E_FIELD_FORMATTER_UNKNOWN, krn::Krn_wstring_status_arg(field.name),
                             Krn_uint_status_arg(start), krn::Krn_wstring_status_arg(formatter)),
                  status);
    }
    if (!names.insert(field.name).second) {
      return fail(Krn_status(TLA_E_REPEATED_FIELD_NAME, krn::Krn_wstring_status_arg(field.name),
                             Krn_uint_status_arg(start)),
                  status);
    }
  }
  return true;
}

// ---- Key index names -------------------------------------------------------------

std::uint64_t Verifier::index_start(std::size_t key) const {
  if (key == 0) return m_connector.index_offset();
  return m_connector.key_tables()[key - 1].entries_start +
         std::uint64_t{m_connector.record_count()} * TLA_INDEX_ENTRY_SIZE;
}

bool Verifier::check_key_names(Krn_status& status) {
  const Tla_schema& fields = *m_connector.schema();
  m_is_key_field.assign(fields.size(), false);
  m_record_prints.assign(fields.size(), Pair_fingerprint());
  const std::vector<Tla_key_table>& tables = m_connector.key_tables();
  for (std::size_t key = 0; key < tables.size(); ++key) {
    std::size_t field = 0;
    while (field < fields.size() && fields[field].name != tables[key].name) ++field;
    if (field == fields.size()) {
      return fail(Krn_status(TLA_E_INDEX_NAME, krn::Krn_wstring_status_arg(tables[key].name),
                             Krn_uint_status_arg(index_start(key))),
                  status);
    }
    m_key_fields.push_back(field);
    m_is_key_field[field] = true;
  }
  return true;
}

// ---- Records -----------------------------------------------------------------------

bool Verifier::walk_records(Krn_status& status) {
  // Never more than the header counts: a record beyond them is a failure.
  m_record_starts.reserve(m_connector.record_count());
  m_reader.start(m_connector.data_start(), m_connector.index_offset());
  const bool walked =
      m_connector.version() == TLA_DATA_SET_VERSION_1 ? walk_records_v1(status) : walk_records_v2(status);
  if (!walked) return false;
  if (m_record_starts.size() != m_connector.record_count()) {
    return fail(Krn_status(TLA_E_RECORD_COUNT_DIFFERS, Krn_uint_status_arg(m_connector.record_count()),
                           Krn_uint_status_arg(m_connector.index_offset())),
                status);
  }
  return true;
}

bool Verifier::add_record(std::uint64_t start, Krn_status& status) {
  if (m_record_starts.size() == m_connector.record_count()) {
    return fail(Krn_status(TLA_E_RECORD_COUNT_DIFFERS, Krn_uint_status_arg(m_connector.record_count()),
                           Krn_uint_status_arg(start)),
                status);
  }
  m_record_starts.push_back(start);
  return true;
}

bool Verifier::walk_records_v2(Krn_status& status) {
  const std::size_t field_count = m_connector.schema()->size();
  std::vector<std::uint64_t> hashes(field_count);
  while (m_reader.position() < m_connector.index_offset()) {
    const std::uint64_t start = m_reader.position();
    if (!add_record(start, status)) return false;
    // Null once the record runs past the data area.
    const unsigned char* terminator = nullptr;
    std::size_t field = 0;
    for (; field < field_count; ++field) {
      const unsigned char* count_bytes = m_reader.peek(TLA_TOKEN_COUNT_SIZE);
      if (count_bytes == nullptr) break;
      const std::size_t crc_bytes = std::size_t{tla_get_be16(count_bytes)} * TLA_TOKEN_CRC_SIZE;
      const unsigned char* bytes = m_reader.peek(TLA_TOKEN_COUNT_SIZE + crc_bytes);
      if (bytes == nullptr) break;
      if (m_is_key_field[field]) hashes[field] = tla_key_hash(bytes + TLA_TOKEN_COUNT_SIZE, crc_bytes);
      m_reader.skip(TLA_TOKEN_COUNT_SIZE + crc_bytes);
    }
    if (field == field_count) terminator = m_reader.peek(1);
    if (terminator == nullptr) {
      if (m_reader.failed()) return file_failed(status);
      return fail(Krn_status(TLA_E_RECORD_OUTSIDE_DATA, Krn_uint_status_arg(start)), status);
    }
    if (*terminator != TLA_RECORD_TERMINATOR) {
      return fail(Krn_status(TLA_E_RECORD_TERMINATOR, Krn_uint_status_arg(start),
                             Krn_uint_status_arg(m_reader.position())),
                  status);
    }
    m_reader.skip(1);
    for (std::size_t field = 0; field < field_count; ++field) {
      if (m_is_key_field[field]) m_record_prints[field].add(start, hashes[field]);
    }
  }
  return true;
}

bool Verifier::walk_records_v1(Krn_status& status) {
  const std::size_t field_count = m_connector.schema()->size();
  const std::uint64_t data_start = m_connector.data_start();
  const auto field_count_wrong = [&](std::uint64_t start) {
    return fail(Krn_status(TLA_E_RECORD_VALUE_COUNT, Krn_uint_status_arg(start), Krn_uint_status_arg(field_count)),
                status);
  };
  const auto not_utf8 = [&](std::uint64_t start) {
    return fail(Krn_status(TLA_E_RECORD_TEXT_NOT_UTF8, Krn_uint_status_arg(start)), status);
  };
  std::uint64_t start = data_start;
  std::size_t values = 0;
  bool in_record = false;
  // The value read so far and not yet checked.
  std::string piece;
  for (;;) {
    std::size_t available = 0;
    const unsigned char* bytes = m_reader.run(available);
    if (available == 0) break;
    std::uint64_t position = m_reader.position();
    for (std::size_t i = 0; i < available; ++i, ++position) {
      if (!in_record) {
        start = position;
        in_record = true;
        if (!add_record(start, status)) return false;
      }
      const unsigned char byte = tla_v1_scramble(bytes[i], position - data_start);
      if (byte != TLA_NAME_SEPARATOR && byte != TLA_RECORD_TERMINATOR) {
        piece.push_back(static_cast<char>(byte));
        if (piece.size() >= UTF8_PIECE) {
          const std::size_t complete = complete_utf8_prefix(piece);
          if (!is_valid_utf8(piece.data(), complete)) return not_utf8(start);
          piece.erase(0, complete);
        }
        continue;
      }
      if (!is_valid_utf8(piece.data(), piece.size())) return not_utf8(start);
      piece.clear();
      if (++values > field_count) return field_count_wrong(start);
      if (byte == TLA_RECORD_TERMINATOR) {
        if (values != field_count) return field_count_wrong(start);
        values = 0;
        in_record = false;
      }
    }
    m_reader.skip(available);
  }
  if (m_reader.failed()) return file_failed(status);
  if (in_record) return fail(Krn_status(TLA_E_RECORD_OUTSIDE_DATA, Krn_uint_status_arg(start)), status);
  return true;
}

// ---- Key indexes -------------------------------------------------------------------

bool Verifier::check_index(std::size_t key, Krn_status& status) {
  const Tla_key_table& table = m_connector.key_tables()[key];
  const std::uint64_t count = m_connector.record_count();
  const bool check_hashes = m_connector.version() != TLA_DATA_SET_VERSION_1;
  // Each record named once: as many entries as records, none named twice,
  // is every record named.
  std::vector<std::uint64_t> named((count + 63) / 64);
  Pair_fingerprint index_print;
  std::uint64_t previous_hash = 0;
  m_reader.start(table.entries_start, table.entries_start + count * TLA_INDEX_ENTRY_SIZE);
  for (std::uint64_t entry = 0; entry < count; ++entry) {
    const std::uint64_t position = m_reader.position();
    const unsigned char* bytes = m_reader.peek(TLA_INDEX_ENTRY_SIZE);
    if (bytes == nullptr) return file_failed(status);
    const std::uint64_t hash = tla_get_le64(bytes);
    const std::uint64_t offset = tla_get_le64(bytes + 8);
    m_reader.skip(TLA_INDEX_ENTRY_SIZE);

    const auto found = std::lower_bound(m_record_starts.begin(), m_record_starts.end(), offset);
    if (found == m_record_starts.end() || *found != offset) {
      return fail(Krn_status(TLA_E_INDEX_NOT_A_RECORD, Krn_uint_status_arg(position), Krn_uint_status_arg(offset)),
                  status);
    }
    const std::size_t record = static_cast<std::size_t>(found - m_record_starts.begin());
    const std::uint64_t bit = std::uint64_t{1} << (record % 64);
    if ((named[record / 64] & bit) != 0) {
      return fail(Krn_status(TLA_E_INDEX_REPEATS_RECORD, Krn_uint_status_arg(position), Krn_uint_status_arg(offset)),
                  status);
    }
    named[record / 64] |= bit;
    if (entry > 0 && hash < previous_hash) {
      return fail(Krn_status(TLA_E_INDEX_NOT_SORTED, Krn_uint_status_arg(position)), status);
    }
    previous_hash = hash;
    if (check_hashes) index_print.add(offset, hash);
  }
  // Version-1 hashes were made from the texts in a way no longer known.
  if (!check_hashes || index_print == m_record_prints[m_key_fields[key]]) return true;
  return find_wrong_hash(key, status);
}

bool Verifier::record_key_hash(Tla_data_set_input& input, std::uint64_t record, std::size_t field,
                               std::uint64_t& hash) const {
  // The walk over the records checked this one: its counts lie inside it.
  input.start(record, m_connector.index_offset());
  std::vector<unsigned char> bytes;
  for (std::size_t i = 0;; ++i) {
    std::uint16_t count = 0;
    if (!input.read_be16(count)) return false;
    bytes.resize(std::size_t{count} * TLA_TOKEN_CRC_SIZE);
    if (!input.read(bytes.data(), bytes.size())) return false;
    if (i == field) break;
  }
  hash = tla_key_hash(bytes.data(), bytes.size());
  return true;
}

// The fingerprints differ: some entry has a wrong hash. Rare, and only in a
// damaged file, so the records are read one by one to find the first.
bool Verifier::find_wrong_hash(std::size_t key, Krn_status& status) {
  const Tla_key_table& table = m_connector.key_tables()[key];
  Krn_status input_status;
  Tla_data_set_input records(m_file, 512, input_status);
  if (!input_status.ok()) return fail(input_status, status);
  const std::uint64_t count = m_connector.record_count();
  m_reader.start(table.entries_start, table.entries_start + count * TLA_INDEX_ENTRY_SIZE);
  for (std::uint64_t entry = 0; entry < count; ++entry) {
    const std::uint64_t position = m_reader.position();
    const unsigned char* bytes = m_reader.peek(TLA_INDEX_ENTRY_SIZE);
    if (bytes == nullptr) return file_failed(status);
    const std::uint64_t hash = tla_get_le64(bytes);
    const std::uint64_t offset = tla_get_le64(bytes + 8);
    m_reader.skip(TLA_INDEX_ENTRY_SIZE);
    std::uint64_t stored = 0;
    if (!record_key_hash(records, offset, m_key_fields[key], stored)) return fail(records.file_status(), status);
    if (stored != hash) {
      return fail(Krn_status(TLA_E_INDEX_KEY_HASH, Krn_uint_status_arg(position), Krn_uint_status_arg(offset)),
                  status);
    }
  }
  // Every entry holds its record's hash after all: the file changed between
  // the two reads.
  return fail(Krn_status(), status);
}

}  // namespace

void Tla_data_set_connector_file::verify(krn::Krn_status& status) {
  status.clear();
  if (!m_opened || !m_file) {
    status = TLA_E_DATA_SET_NOT_OPEN;
    return;
  }
  if (!m_loaded) {
    load(status, true);
    if (!status.ok()) return;
  }
  try {
    krn::Krn_status input_status;
    Verifier verifier(*this, *m_file, input_status);
    if (!input_status.ok()) {
      report_damaged(input_status, status);
      return;
    }
    verifier.run(status);
  } catch (const std::bad_alloc&) {
    status = krn::KRN_E_NO_MEMORY;
  } catch (const std::exception&) {
    report_damaged(krn::Krn_status(), status);
  }
}

}  // namespace tla
