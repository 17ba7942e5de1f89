#include "tla/tla_matcher.h"

#include <algorithm>
#include <bit>
#include <exception>

#include "krn/krn_crc.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "tla/tla_data_set_connector.h"
#include "tla/tla_data_set_entry.h"
#include "tla/tla_data_set_input.h"
#include "tla/tla_data_set_tokens.h"
#include "tla/tla_status_codes.h"
#include "tla_match_index.h"

namespace tla {

using krn::Krn_status;
using krn::Krn_uint_status_arg;

namespace {

// Entries of a key are read and records walked in pieces of this size.
constexpr std::size_t READ_CHUNK = std::size_t{1} << 20;

// The groups of a card number a run may join, hyphens included: 19 digits
// one by one with a hyphen between each would be 37; real numbers come in
// at most a handful of groups.
constexpr std::size_t CARD_GROUP_TOKENS = 24;

// A key value of more tokens than this is not looked for in texts: every
// token of a text would start that many lookups.
constexpr std::uint32_t LONGEST_KEY = 1024;

unsigned log2_floor(std::uint64_t value) { return value == 0 ? 0 : 63 - static_cast<unsigned>(std::countl_zero(value)); }

}  // namespace

std::size_t match_run_tokens(const Match_field& field, std::uint32_t max_tokens) {
  if (field.joins_groups()) return static_cast<std::size_t>(max_tokens) * (CARD_GROUP_TOKENS + 1);
  return static_cast<std::size_t>(max_tokens) + 4;
}

void Match_crc_filter::size_for(std::uint64_t count) {
  // 16 bits per CRC, in a power of two of words, at least two.
  const unsigned word_bits = std::clamp(log2_floor(count * 16 / 64) + 1, 1u, 26u);
  m_words.assign(std::size_t{1} << word_bits, 0);
  m_shift = 64 - word_bits;
}

std::pair<std::size_t, std::size_t> Match_key::run(std::uint64_t hash) const {
  const std::uint64_t bucket = hash >> directory_shift;
  const auto first = hashes.begin() + directory[bucket];
  const auto last = hashes.begin() + directory[bucket + 1];
  const auto range = std::equal_range(first, last, hash);
  return {static_cast<std::size_t>(range.first - hashes.begin()),
          static_cast<std::size_t>(range.second - hashes.begin())};
}

void Tla_match_index::damaged(const Krn_status& cause, Krn_status& status) const {
  tla_report_damaged(file_name, cause, status);
}

void Tla_match_index::open(const krn::Wstring& name, const Tla_match_options& wanted, Krn_status& status) {
  status.clear();
  file_name = name;
  options = wanted;
  options.window = std::min(options.window, TLA_MAX_MATCH_WINDOW);

  // The reader checks the header, the checksum and the layout of the
  // indexes; what it leaves to readers of single records is checked below.
  Tla_data_set_connector_file connector;
  connector.set_property("DataFileName", name, status);
  if (status.ok()) connector.open(status);
  if (status.ok()) connector.load(status, false);
  if (!status.ok()) return;
  schema = *connector.schema();
  m_version = connector.version();
  m_record_count = connector.record_count();
  m_data_start = connector.data_start();
  m_data_end = connector.index_offset();

  fields.resize(schema.size());
  for (std::size_t i = 0; i < schema.size(); ++i) {
    fields[i].formatter_type = schema[i].formatter_type;
    fields[i].format = tla_value_format(schema[i].formatter_type);
    slot_used[match_slot(fields[i].format)] = true;
  }
  keys.resize(connector.key_tables().size());
  for (std::size_t k = 0; k < keys.size(); ++k) {
    const Tla_key_table& table = connector.key_tables()[k];
    key_names.push_back(table.name);
    std::size_t field = 0;
    while (field < schema.size() && schema[field].name != table.name) ++field;
    if (field == schema.size()) {
      return damaged(Krn_status(TLA_E_INDEX_NAME, krn::Krn_wstring_status_arg(table.name),
                                Krn_uint_status_arg(table.entries_start)),
                     status);
    }
    keys[k].field = field;
    keys[k].first_tokens.size_for(m_record_count);
  }

  m_file = std::make_unique<krn::Krn_file_buffer>(name, krn::KRN_FILE_ACCESS_READ, status);
  if (!status.ok()) return damaged(Krn_status(status), status);
  read_records(status);
  for (std::size_t k = 0; k < keys.size() && status.ok(); ++k) {
    read_key_index(keys[k], connector.key_tables()[k].entries_start, status);
  }
  if (!status.ok()) return;
  if (m_fingerprints.empty()) {
    std::vector<std::uint64_t>().swap(m_record_starts);
  } else {
    m_records_before.resize(m_record_starts.size());
    std::uint32_t before = 0;
    for (std::size_t word = 0; word < m_record_starts.size(); ++word) {
      m_records_before[word] = before;
      before += static_cast<std::uint32_t>(std::popcount(m_record_starts[word]));
    }
  }

  for (const Match_key& key : keys) {
    Match_field& field = fields[key.field];
    field.max_tokens = std::min(field.max_tokens, LONGEST_KEY);
  }
  for (const Match_field& field : fields) {
    // A field longer than the window on both sides of a key cannot lie in it.
    const std::uint32_t fits = std::min<std::uint64_t>(field.max_tokens, 2ull * options.window + LONGEST_KEY);
    longest_run = std::max(longest_run, match_run_tokens(field, fits));
  }
}

// Walks every record once: the token counts of each field, the first token
// of each key value for the filters, and the records a key may place alone.
void Tla_match_index::read_records(Krn_status& status) {
  Tla_data_set_input input(*m_file, READ_CHUNK, status);
  if (!status.ok()) return damaged(Krn_status(status), status);
  input.start(m_data_start, m_data_end);
  m_record_starts.assign((m_data_end - m_data_start) / 64 + 1, 0);

  std::vector<bool> is_key(schema.size(), false);
  std::size_t key_fields = 0;
  for (const Match_key& key : keys) {
    if (!is_key[key.field]) ++key_fields;
    is_key[key.field] = true;
  }
  std::vector<unsigned char> crcs;
  std::vector<std::uint64_t> key_hash(keys.size());
  std::vector<std::uint16_t> counts(schema.size());
  std::vector<std::vector<std::pair<std::uint64_t, std::uint64_t>>> solo(keys.size());
  std::vector<std::uint16_t> prints(schema.size());
  m_fingerprints.reserve(std::size_t{m_record_count} * schema.size());
  for (std::uint32_t record = 0; record < m_record_count; ++record) {
    const std::uint64_t start = input.position();
    if (start >= m_data_end) {
      return damaged(Krn_status(TLA_E_RECORD_COUNT_DIFFERS, Krn_uint_status_arg(m_record_count),
                                Krn_uint_status_arg(start)),
                     status);
    }
    const std::uint64_t bit = start - m_data_start;
    m_record_starts[bit / 64] |= 1ull << (bit % 64);
    std::size_t filled = 0;
    std::size_t filled_keys = 0;
    for (std::size_t f = 0; f < schema.size(); ++f) {
      std::uint16_t count = 0;
      crcs.resize(0);
      bool read = input.read_be16(count);
      if (read) {
        crcs.resize(std::size_t{count} * TLA_TOKEN_CRC_SIZE);
        read = count == 0 || input.read(crcs.data(), crcs.size());
      }
      if (!read) {
        return damaged(Krn_status(TLA_E_RECORD_OUTSIDE_DATA, Krn_uint_status_arg(start)), status);
      }
      counts[f] = count;
      fields[f].max_tokens = std::max<std::uint32_t>(fields[f].max_tokens, count);
      prints[f] = count == 0 ? 0 : fingerprint(tla_get_be64(crcs.data()));
      if (count == 0) continue;
      ++filled;
      if (is_key[f]) ++filled_keys;
      for (std::size_t k = 0; k < keys.size(); ++k) {
        if (keys[k].field != f) continue;
        key_hash[k] = tla_key_hash(crcs.data(), crcs.size());
        keys[k].first_tokens.add(tla_get_be64(crcs.data()));
      }
    }
    unsigned char terminator = 0;
    if (!input.read_byte(terminator)) {
      return damaged(Krn_status(TLA_E_RECORD_OUTSIDE_DATA, Krn_uint_status_arg(start)), status);
    }
    if (terminator != TLA_RECORD_TERMINATOR) {
      return damaged(Krn_status(TLA_E_RECORD_TERMINATOR, Krn_uint_status_arg(start),
                                Krn_uint_status_arg(input.position() - 1)),
                     status);
    }
    m_fingerprints.insert(m_fingerprints.end(), prints.begin(), prints.end());
    // One key alone places the record when the fields it needs can be met
    // without a second key: the filled fields that are not keys, and itself.
    const std::size_t needed = options.fields == 0 ? filled : std::min<std::size_t>(options.fields, filled);
    if (needed > filled - filled_keys + 1) continue;
    for (std::size_t k = 0; k < keys.size(); ++k) {
      if (counts[keys[k].field] == 0 || keys[k].all_solo) continue;
      solo[k].emplace_back(key_hash[k], start);
      // Most records: every hit reads its records anyway.
      if (solo[k].size() > std::max<std::size_t>(1024, m_record_count / 4)) {
        keys[k].all_solo = true;
        std::vector<std::pair<std::uint64_t, std::uint64_t>>().swap(solo[k]);
      }
    }
  }
  if (input.position() != m_data_end) {
    return damaged(Krn_status(TLA_E_RECORD_COUNT_DIFFERS, Krn_uint_status_arg(m_record_count),
                              Krn_uint_status_arg(input.position())),
                   status);
  }
  bool any_all_solo = false;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    std::sort(solo[k].begin(), solo[k].end());
    keys[k].solo = std::move(solo[k]);
    any_all_solo = any_all_solo || keys[k].all_solo;
  }
  if (!any_all_solo) std::vector<std::uint16_t>().swap(m_fingerprints);
}

const std::uint16_t* Tla_match_index::fingerprints(std::uint64_t offset) const {
  const std::uint64_t bit = offset - m_data_start;
  const std::uint64_t word = m_record_starts[bit / 64];
  const std::uint64_t record =
      m_records_before[bit / 64] + static_cast<std::uint64_t>(std::popcount(word & ((1ull << (bit % 64)) - 1)));
  return m_fingerprints.data() + record * schema.size();
}

void Tla_match_index::read_key_index(Match_key& key, std::uint64_t entries_start, Krn_status& status) {
  Tla_data_set_input input(*m_file, READ_CHUNK, status);
  if (!status.ok()) return damaged(Krn_status(status), status);
  input.start(entries_start, entries_start + std::uint64_t{m_record_count} * TLA_INDEX_ENTRY_SIZE);
  key.hashes.resize(m_record_count);
  key.offsets.resize(m_record_count);
  std::vector<unsigned char> bytes;
  for (std::uint32_t entry = 0; entry < m_record_count;) {
    const std::uint32_t now = std::min<std::uint32_t>(m_record_count - entry, READ_CHUNK / TLA_INDEX_ENTRY_SIZE);
    bytes.resize(std::size_t{now} * TLA_INDEX_ENTRY_SIZE);
    const std::uint64_t chunk_start = input.position();
    if (!input.read(bytes.data(), bytes.size())) return damaged(Krn_status(input.file_status()), status);
    for (std::uint32_t i = 0; i < now; ++i, ++entry) {
      const std::uint64_t position = chunk_start + std::uint64_t{i} * TLA_INDEX_ENTRY_SIZE;
      const std::uint64_t hash = tla_get_le64(bytes.data() + std::size_t{i} * TLA_INDEX_ENTRY_SIZE);
      const std::uint64_t offset = tla_get_le64(bytes.data() + std::size_t{i} * TLA_INDEX_ENTRY_SIZE + 8);
      if (entry > 0 && hash < key.hashes[entry - 1]) {
        return damaged(Krn_status(TLA_E_INDEX_NOT_SORTED, Krn_uint_status_arg(position)), status);
      }
      const std::uint64_t bit = offset - m_data_start;
      if (offset < m_data_start || offset >= m_data_end || (m_record_starts[bit / 64] & (1ull << (bit % 64))) == 0) {
        return damaged(
            Krn_status(TLA_E_INDEX_NOT_A_RECORD, Krn_uint_status_arg(position), Krn_uint_status_arg(offset)), status);
      }
      key.hashes[entry] = hash;
      key.offsets[entry] = offset;
    }
  }
  // Four to eight entries per bucket: a lookup searches a few entries of
  // one cache line or two, and the table takes a sixteenth of the index.
  const unsigned bits = std::clamp(log2_floor(m_record_count / 4), 1u, 24u);
  key.directory_shift = 64 - bits;
  key.directory.assign((std::size_t{1} << bits) + 1, 0);
  std::size_t entry = 0;
  for (std::size_t bucket = 0; bucket < key.directory.size(); ++bucket) {
    while (entry < key.hashes.size() && (key.hashes[entry] >> key.directory_shift) < bucket) ++entry;
    key.directory[bucket] = static_cast<std::uint32_t>(entry);
  }
}

void Tla_match_index::load_record(std::uint64_t offset, std::vector<std::vector<std::uint64_t>>& values,
                                  Krn_status& status) const {
  Tla_data_set_entry_file entry(*m_file, schema, m_version, m_data_start, m_data_end,
                                static_cast<krn::int64>(offset));
  entry.load(status);
  if (!status.ok()) return;
  values.resize(schema.size());
  for (std::size_t f = 0; f < schema.size(); ++f) {
    krn::GUID type{};
    if (!entry.tokens(schema[f].name, values[f], type)) values[f].clear();
  }
}

// ---- The matcher --------------------------------------------------------------

Tla_matcher::Tla_matcher() = default;
Tla_matcher::~Tla_matcher() = default;

void Tla_matcher::open(const krn::Wstring& file_name, const Tla_match_options& options, Krn_status& status) {
  m_index.reset();
  auto index = std::make_unique<Tla_match_index>();
  try {
    index->open(file_name, options, status);
  } catch (const std::exception& error) {
    tla_report_exception(error, status);
  }
  if (status.ok()) m_index = std::move(index);
}

bool Tla_matcher::is_open() const { return m_index != nullptr; }

const Tla_schema& Tla_matcher::schema() const {
  static const Tla_schema none;
  return m_index ? m_index->schema : none;
}

const std::vector<krn::Wstring>& Tla_matcher::key_names() const {
  static const std::vector<krn::Wstring> none;
  return m_index ? m_index->key_names : none;
}

const Tla_match_options& Tla_matcher::options() const {
  static const Tla_match_options none;
  return m_index ? m_index->options : none;
}

void Tla_matcher::match(const std::string& text, std::vector<Tla_match>& matches, Krn_status& status) const {
  Tla_match_session session(*this);
  session.feed(text.data(), text.size(), matches, status);
  if (status.ok()) session.finish(matches, status);
}

}  // namespace tla
