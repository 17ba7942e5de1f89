#ifndef TLA_MATCH_INDEX_H
#define TLA_MATCH_INDEX_H

// What a matcher keeps of its data set once it is open: per field how its
// values are cut, per key index the entries in memory with a table over
// their hashes, a filter over the first token of every key value, and the
// records that a single key may place alone. Nothing here changes after
// open, which is what lets sessions on several threads share it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "krn/krn_file_buffer.h"
#include "krn/krn_types.h"
#include "tla/tla_data_set_format.h"
#include "tla/tla_matcher.h"
#include "tla/tla_value_shortcut.h"

namespace tla {

// The ways a field cuts its values, one slot of token CRCs per way in a
// session: Simple, SimpleNC, CCNUMBER, and no formatter.
inline constexpr std::size_t MATCH_SLOTS = 4;

inline std::size_t match_slot(Tla_value_format format) { return static_cast<std::size_t>(format); }

struct Match_field {
  krn::GUID formatter_type{};
  Tla_value_format format = Tla_value_format::other;
  // The most tokens the field holds in any record.
  std::uint32_t max_tokens = 0;
  // The card number formatter drops spaces and hyphens, so one of its
  // tokens may span several tokens of the text.
  bool joins_groups() const { return format == Tla_value_format::ccnumber; }
};

// A filter over 64-bit token CRCs: two bits of one word per CRC, so that a
// lookup touches one word. Sized at 16 bits per CRC it lets through about
// one CRC in fifty it was not given.
class Match_crc_filter {
 public:
  void size_for(std::uint64_t count);
  void add(std::uint64_t crc) { m_words[crc >> m_shift] |= bits(crc); }
  bool may_hold(std::uint64_t crc) const {
    const std::uint64_t want = bits(crc);
    return (m_words[crc >> m_shift] & want) == want;
  }

 private:
  static std::uint64_t bits(std::uint64_t crc) { return (1ull << (crc & 63)) | (1ull << ((crc >> 6) & 63)); }
  std::vector<std::uint64_t> m_words;
  unsigned m_shift = 63;
};

struct Match_key {
  std::size_t field = 0;  // schema position of the key field
  // The index entries, sorted by hash.
  std::vector<std::uint64_t> hashes;
  std::vector<std::uint64_t> offsets;
  // directory[b] is the first entry whose hash >> directory_shift is b or more.
  std::vector<std::uint32_t> directory;
  unsigned directory_shift = 63;
  Match_crc_filter first_tokens;
  // (hash, offset) of the records that this key may place without any other
  // key of theirs next to it, sorted; all_solo when that is most records.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> solo;
  bool all_solo = false;

  // The entries [first, last) of the hash.
  std::pair<std::size_t, std::size_t> run(std::uint64_t hash) const;
};

class Tla_match_index {
 public:
  void open(const krn::Wstring& file_name, const Tla_match_options& options, krn::Krn_status& status);

  // The token CRCs of every field of the record at offset, in schema order.
  void load_record(std::uint64_t offset, std::vector<std::vector<std::uint64_t>>& fields,
                   krn::Krn_status& status) const;

  // Where some key places records alone, every record of a common value
  // would be read at each of its places. A fingerprint of each field's first
  // token (0 for an empty field) tells most of them apart without reading.
  bool has_fingerprints() const { return !m_fingerprints.empty(); }
  const std::uint16_t* fingerprints(std::uint64_t offset) const;
  static std::uint16_t fingerprint(std::uint64_t crc) {
    const auto print = static_cast<std::uint16_t>(crc >> 48);
    return print == 0 ? 1 : print;
  }

  krn::Wstring file_name;
  Tla_schema schema;
  std::vector<krn::Wstring> key_names;
  Tla_match_options options;
  std::vector<Match_field> fields;
  std::vector<Match_key> keys;
  // Which slots some field uses.
  bool slot_used[MATCH_SLOTS] = {};
  // The most tokens of the text a run of one field may take.
  std::size_t longest_run = 1;

 private:
  void read_records(krn::Krn_status& status);
  void read_key_index(Match_key& key, std::uint64_t entries_start, krn::Krn_status& status);
  void damaged(const krn::Krn_status& cause, krn::Krn_status& status) const;

  std::unique_ptr<krn::Krn_file_buffer> m_file;
  std::uint16_t m_version = 0;
  std::uint32_t m_record_count = 0;
  std::uint64_t m_data_start = 0;
  std::uint64_t m_data_end = 0;
  // One bit per byte of the data area: where a record starts; kept with the
  // fingerprints, as what numbers the records.
  std::vector<std::uint64_t> m_record_starts;
  // The records starting before each word of m_record_starts.
  std::vector<std::uint32_t> m_records_before;
  std::vector<std::uint16_t> m_fingerprints;  // record number * fields + field
};

// The most tokens of the text that a run of a field of max_tokens tokens may
// take: a few more than its tokens (a token of the text may cut to none),
// and for card numbers room for groups and the hyphens between them.
std::size_t match_run_tokens(const Match_field& field, std::uint32_t max_tokens);

}  // namespace tla

#endif
