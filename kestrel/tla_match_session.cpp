// Matching a text: it is cut into tokens, each token's CRC is taken once per
// way a field cuts values, and runs of tokens are hashed as key values and
// looked up. The text is read in segments; each keeps the tokens the
// matches near its start and end need from the segments around it.

#include <algorithm>
#include <cstdint>
#include <exception>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "krn/krn_crc.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "krn/krn_unicode.h"
#include "tla/tla_data_set_tokens.h"
#include "tla/tla_formatter.h"
#include "tla/tla_status_codes.h"
#include "tla/tla_matcher.h"
#include "tla/tla_value_shortcut.h"
#include "tla_match_index.h"
#include "tla_text_rules.h"

namespace tla {

using krn::Krn_status;

namespace {

using krn::impl::KRN_UNICODE_BIT_TABLE;

// Text taken before a segment is matched; a segment also keeps what the
// matches at its edges need of the segments around it. A quarter mebibyte
// keeps a session's tokens and their CRCs near 3 MB.
constexpr std::size_t SEGMENT_BYTES = std::size_t{1} << 18;
// A word longer than this is cut into pieces: no key value is that long,
// and a segment must end somewhere.
constexpr std::size_t LONGEST_TOKEN = 4096;
// A key hash of more records than this is common (a surname); its records
// are read only where something tells them apart (see candidates()).
constexpr std::size_t COMMON_RUN = 16;
constexpr std::uint64_t TOKEN_KEY_SEED = 42;
constexpr unsigned END_OF_TEXT = 0xFFFFFFFFu;
// The type of END_OF_TEXT; no character has it.
constexpr unsigned END_TYPE = 8;
constexpr unsigned REPLACEMENT = 0xFFFD;
constexpr char REPLACEMENT_UTF8[] = "\xEF\xBF\xBD";

// ---- Characters -------------------------------------------------------------

// Decodes well-formed UTF-8.
unsigned decode(const unsigned char* p, std::size_t& length) {
  const unsigned lead = p[0];
  if (lead < 0x80) {
    length = 1;
    return lead;
  }
  if (lead < 0xE0) {
    length = 2;
    return ((lead & 0x1Fu) << 6) | (p[1] & 0x3Fu);
  }
  if (lead < 0xF0) {
    length = 3;
    return ((lead & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
  }
  length = 4;
  return ((lead & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
}

// The tokeniser's type; U+FFFD joins words as a letter does.
unsigned char_type(unsigned cp) {
  if (cp == END_OF_TEXT) return END_TYPE;
  if (cp == REPLACEMENT) return krn::KRN_CP_LETTER;
  return krn::impl::krn_unicode_char_type(cp);
}

bool is_apostrophe(unsigned cp) { return cp == 0x0027 || cp == 0x2019; }

bool is_letter_s(unsigned cp) { return cp == 0x0073 || cp == 0x0053 || cp == 0xFF53 || cp == 0xFF33; }

// White space that normalisation turns into U+0020, which the card number
// formatter drops: groups of digits with only these between them join.
bool is_dropped_space(unsigned cp) {
  return cp == 0x20 || cp == 0xA0 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x202F || cp == 0x205F ||
         cp == 0x3000;
}

unsigned lower(unsigned cp) { return lower_char(cp); }

// A character whose token CRC the session takes itself, as the value
// shortcut does: one the formatters leave as it is and the tokeniser cuts
// by its type alone.
bool is_cuttable(unsigned cp) { return cp != 0x20 && is_cuttable_char(cp); }

// Full-width digits, which normalisation makes ASCII ones: Japanese text
// writes card numbers with them.
bool is_wide_digit(unsigned cp) { return cp >= 0xFF10 && cp <= 0xFF19; }

unsigned narrow_digit(unsigned cp) { return is_wide_digit(cp) ? cp - 0xFF10 + '0' : cp; }

// Digits, at least one of them full-width.
bool are_wide_digits(const unsigned char* p, const unsigned char* end) {
  bool wide = false;
  while (p < end) {
    std::size_t length;
    const unsigned cp = decode(p, length);
    p += length;
    if (is_wide_digit(cp)) {
      wide = true;
    } else if (cp < '0' || cp > '9') {
      return false;
    }
  }
  return wide;
}

// U+002D alone, or a character that normalisation makes one (the small and
// the full-width hyphen-minus).
bool is_hyphen_minus(const unsigned char* p, const unsigned char* end) {
  if (end - p == 1) return *p == '-';
  std::size_t length;
  const unsigned cp = decode(p, length);
  return static_cast<std::ptrdiff_t>(length) == end - p && (cp == 0xFE63 || cp == 0xFF0D);
}

bool is_ascii_alnum(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// ---- Tokens of the text -------------------------------------------------------

enum Token_flag : unsigned char {
  TAKEN = 1,        // every character is cuttable and left alone by normalisation
  TAKEN_LOWER = 2,  // and so is its lower case
  PLAIN = 4,        // letters and numbers only
  DIGITS = 8,       // numbers only
  HYPHEN = 16,      // a hyphen-minus alone, which the card number formatter drops
  WIDE_DIGITS = 64, // digits, some of them full-width: normalised, ASCII digits
  JOINS = 32,       // only dropped spaces, or nothing, since the token before
};

struct Text_token {
  std::uint32_t begin = 0;
  std::uint32_t end = 0;
  unsigned char flags = 0;
};

// The token CRCs of every token in one way of cutting: token i has
// crcs[start[i]] to crcs[start[i + 1]], usually one.
struct Token_crcs {
  std::vector<std::uint64_t> crcs;
  std::vector<std::uint32_t> start;

  std::size_t count(std::size_t token) const { return start[token + 1] - start[token]; }
  const std::uint64_t* of(std::size_t token) const { return crcs.data() + start[token]; }
};

const krn::GUID& slot_formatter(std::size_t slot) {
  static const krn::GUID types[MATCH_SLOTS] = {TLA_SIMPLE_FORMATTER_ID, TLA_SIMPLENC_FORMATTER_ID,
                                               TLA_CCNUM_FORMATTER_ID, TLA_NO_FORMATTER_ID};
  return types[slot];
}

class Text_scanner {
 public:
  explicit Text_scanner(const std::string& text)
      : m_text(reinterpret_cast<const unsigned char*>(text.data())), m_size(text.size()) {}

  unsigned at(std::size_t position, std::size_t& length) const {
    if (position >= m_size) {
      length = 0;
      return END_OF_TEXT;
    }
    return decode(m_text + position, length);
  }
  unsigned type_at(std::size_t position) const {
    std::size_t length;
    return char_type(at(position, length));
  }

  // Cuts the whole text, with the tokeniser's rules for the character types.
  void cut(std::vector<Text_token>& tokens) const {
    tokens.clear();
    bool joins = true;
    std::size_t position = 0;
    while (position < m_size) {
      std::size_t length;
      const unsigned cp = at(position, length);
      const unsigned type = char_type(cp);
      if (type == krn::KRN_CP_SPACE || type == krn::KRN_CP_IGNORED) {
        if (!is_dropped_space(cp)) joins = false;
        position += length;
        continue;
      }
      // Marks extend every kind of token.
      std::size_t end = token_end(cp, type, position + length);
      while (end < position + LONGEST_TOKEN) {
        const unsigned next = at(end, length);
        if (char_type(next) != krn::KRN_CP_MARK) break;
        end += length;
      }
      end = std::min(end, position + LONGEST_TOKEN);
      // A cut inside a character would leave bytes no token owns.
      while (end < m_size && (m_text[end] & 0xC0) == 0x80) ++end;
      Text_token token;
      token.begin = static_cast<std::uint32_t>(position);
      token.end = static_cast<std::uint32_t>(end);
      token.flags = joins ? JOINS : 0;
      tokens.push_back(token);
      joins = true;
      position = end;
    }
  }

 private:
  // A word: a letter, then letters, numbers and marks; an apostrophe joins
  // it when a letter follows (O'Neil). A number: numbers, then "'s" when the
  // end, a space or punctuation follows (1990's). An apostrophe alone,
  // unless it starts '90s. Anything else is a token of one character.
  std::size_t token_end(unsigned cp, unsigned type, std::size_t after) const {
    std::size_t length;
    if (type == krn::KRN_CP_LETTER) {
      for (;;) {
        // Most words are ASCII letters and digits.
        while (after < m_size && is_ascii_alnum(m_text[after])) ++after;
        const unsigned next = at(after, length);
        const unsigned next_type = char_type(next);
        if (next_type == krn::KRN_CP_LETTER || next_type == krn::KRN_CP_NUMBER || next_type == krn::KRN_CP_MARK) {
          after += length;
        } else if (is_apostrophe(next) && type_at(after + length) == krn::KRN_CP_LETTER) {
          after += length;
        } else {
          return after;
        }
      }
    }
    if (type == krn::KRN_CP_NUMBER) {
      for (;;) {
        while (after < m_size && m_text[after] >= '0' && m_text[after] <= '9') ++after;
        const unsigned next_type = type_at(after);
        if (next_type != krn::KRN_CP_NUMBER && next_type != krn::KRN_CP_MARK) break;
        at(after, length);
        after += length;
      }
      if (!is_apostrophe(at(after, length))) return after;
      const std::size_t at_s = after + length;
      if (!is_letter_s(at(at_s, length))) return after;
      const std::size_t with_s = at_s + length;
      const unsigned following = type_at(with_s);
      return following == END_TYPE || following == krn::KRN_CP_SPACE || following == krn::KRN_CP_PUNCTUATION ? with_s
                                                                                                       : after;
    }
    if (type == krn::KRN_CP_PUNCTUATION && is_apostrophe(cp)) {
      std::size_t p = after;
      for (int digit = 0; digit < 2; ++digit) {
        if (char_type(at(p, length)) != krn::KRN_CP_NUMBER) return after;
        p += length;
      }
      if (!is_letter_s(at(p, length))) return after;
      p += length;
      return type_at(p) == krn::KRN_CP_LETTER ? after : p;
    }
    return after;
  }

  const unsigned char* m_text;
  std::size_t m_size;
};

// The UTF-16 units of the characters, in the order a token's CRC reads
// them (characters of the Basic Multilingual Plane only), full-width digits
// as their normal form.
void append_units(const unsigned char* p, const unsigned char* end, std::vector<unsigned char>& units) {
  units.clear();
  while (p < end) {
    std::size_t length;
    const unsigned cp = narrow_digit(decode(p, length));
    p += length;
    units.push_back(static_cast<unsigned char>(cp & 0xFF));
    units.push_back(static_cast<unsigned char>(cp >> 8));
  }
}

std::uint64_t units_crc(const unsigned char* units, std::size_t size) {
  krn::Krn_crc64 crc(TOKEN_KEY_SEED);
  crc.update(units, size);
  return crc.result(true);
}

void append_be64(unsigned char* out, std::uint64_t value) {
  for (int i = 7; i >= 0; --i) {
    out[i] = static_cast<unsigned char>(value & 0xFF);
    value >>= 8;
  }
}

// A key hash built token by token.
class Key_hash {
 public:
  void add(std::uint64_t crc) {
    unsigned char bytes[8];
    append_be64(bytes, crc);
    m_crc.update(bytes, 8);
  }
  std::uint64_t value() const { return m_crc.result(true); }

 private:
  krn::Krn_crc64 m_crc{krn::Krn_crc64::ALL_ONES};
};

struct Hit {
  std::size_t key = 0;
  std::size_t first = 0;  // tokens of the segment
  std::size_t last = 0;
  std::uint64_t hash = 0;
  std::size_t entries_begin = 0;
  std::size_t entries_end = 0;
};

// Where a match found its record: the key's occurrence and each field's,
// in token numbers of the whole text.
struct Placed {
  std::uint64_t record = 0;
  std::uint64_t anchor = 0;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> runs;  // the key's first
};

struct Found {
  Tla_match match;
  Placed placed;
  std::size_t begin = 0;  // the key's first byte in the segment
  std::uint64_t spread = 0;  // tokens from the first run to the last
};

}  // namespace

// ---- The session --------------------------------------------------------------

class Tla_match_session::State {
 public:
  explicit State(const Tla_match_index& index) : m_index(index) {
    const Tla_match_options& options = index.options;
    m_reach = options.window + index.longest_run + 8;
  }

  // A large piece is taken a segment at a time, so that the text held stays
  // near a segment whatever the caller hands over.
  void feed(const char* data, std::size_t size, std::vector<Tla_match>& matches, Krn_status& status) {
    status.clear();
    for (std::size_t at = 0; at < size && status.ok();) {
      const std::size_t now = std::min(size - at, SEGMENT_BYTES);
      append_checked(data + at, now);
      at += now;
      if (m_text.size() >= m_next_segment) run_segment(false, matches, status);
    }
  }

  void finish(std::vector<Tla_match>& matches, Krn_status& status) {
    if (!m_pending.empty()) {
      m_pending.clear();
      m_text += REPLACEMENT_UTF8;
    }
    run_segment(true, matches, status);
    reset();
  }

  void reset() {
    m_pending.clear();
    m_text.clear();
    m_base_token = m_base_byte = m_processed = 0;
    m_base_line = 1;
    m_base_column = 0;
    m_next_segment = SEGMENT_BYTES;
    m_placed.clear();
  }

 private:
  // Appends the piece as well-formed UTF-8: each bad byte becomes U+FFFD,
  // and a character cut off at the end waits for the next piece.
  void append_checked(const char* data, std::size_t size) {
    std::string joined;
    if (!m_pending.empty()) {
      joined = m_pending + std::string(data, size);
      m_pending.clear();
      data = joined.data();
      size = joined.size();
    }
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const unsigned char* const end = p + size;
    const unsigned char* clean = p;
    while (p < end) {
      if (*p < 0x80) {
        ++p;
        continue;
      }
      const int length = utf8_sequence_length(p, end);
      if (length > 0) {
        p += length;
        continue;
      }
      m_text.append(reinterpret_cast<const char*>(clean), static_cast<std::size_t>(p - clean));
      if (length < 0) {
        m_pending.assign(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p));
        return;
      }
      m_text += REPLACEMENT_UTF8;
      clean = ++p;
    }
    m_text.append(reinterpret_cast<const char*>(clean), static_cast<std::size_t>(end - clean));
  }

  // ---- Segments --------------------------------------------------------------

  void run_segment(bool last, std::vector<Tla_match>& matches, Krn_status& status) {
    status.clear();
    try {
      match_segment(last, matches, status);
    } catch (const std::exception& error) {
      tla_report_exception(error, status);
    }
  }

  void match_segment(bool last, std::vector<Tla_match>& matches, Krn_status& status) {
    Text_scanner(m_text).cut(m_tokens);
    const std::size_t count = m_tokens.size();
    const std::size_t done = static_cast<std::size_t>(m_processed - m_base_token);
    // Matches placed in the last stretch wait for the text after it.
    std::size_t end = last ? count : (count > 2 * m_reach ? count - 2 * m_reach : 0);
    if (end > done) {
      take_crcs(status);
      if (!status.ok()) return;
      find_hits(done > m_reach ? done - m_reach : 0, std::min(count, end + m_reach));
      m_found.clear();
      for (const Hit& hit : m_hits) {
        if (hit.first < done || hit.first >= end) continue;
        confirm(hit, status);
        if (!status.ok()) return;
      }
      report(matches);
      m_processed = m_base_token + end;
    } else {
      end = done;
    }
    if (last) return;
    // Keep what the next segment needs from this one.
    const std::size_t keep = end > m_reach ? end - m_reach : 0;
    const std::size_t keep_byte = keep < count ? m_tokens[keep].begin : m_text.size();
    Cursor base{0, m_base_line, m_base_column};
    advance(base, keep_byte);
    m_base_line = base.line;
    m_base_column = base.column;
    m_base_byte += keep_byte;
    m_base_token += keep;
    m_text.erase(0, keep_byte);
    m_next_segment = m_text.size() + SEGMENT_BYTES;
    const std::uint64_t forget = m_processed > 2 * m_reach ? m_processed - 2 * m_reach : 0;
    std::erase_if(m_placed, [forget](const Placed& placed) { return placed.anchor < forget; });
  }

  // ---- Token CRCs ------------------------------------------------------------

  void take_crcs(Krn_status& status) {
    const auto* text = reinterpret_cast<const unsigned char*>(m_text.data());
    for (std::size_t slot = 0; slot < MATCH_SLOTS; ++slot) {
      if (!m_index.slot_used[slot]) continue;
      m_crcs[slot].crcs.clear();
      m_crcs[slot].crcs.reserve(m_tokens.size());
      m_crcs[slot].start.reserve(m_tokens.size() + 1);
      m_crcs[slot].start.assign(1, 0);
    }
    std::vector<std::uint64_t> cut;
    for (Text_token& token : m_tokens) {
      const unsigned char* const begin = text + token.begin;
      const unsigned char* const end = text + token.end;
      std::uint64_t raw = 0;
      std::uint64_t lowered = 0;
      describe(token, begin, end, raw, lowered);
      for (std::size_t slot = 0; slot < MATCH_SLOTS; ++slot) {
        if (!m_index.slot_used[slot]) continue;
        Token_crcs& crcs = m_crcs[slot];
        const auto format = static_cast<Tla_value_format>(slot);
        if (format == Tla_value_format::simplenc ? (token.flags & TAKEN_LOWER) : (token.flags & TAKEN)) {
          if (!(format == Tla_value_format::ccnumber && (token.flags & HYPHEN))) {
            crcs.crcs.push_back(format == Tla_value_format::simplenc ? lowered : raw);
          }
        } else {
          // Characters the formatters change or the tokeniser treats apart:
          // the token is cut as a value of its own.
          Krn_status ignored;
          if (m_cutter.cut_value(slot_formatter(slot), reinterpret_cast<const char*>(begin),
                                 static_cast<std::size_t>(end - begin), cut, ignored)) {
            crcs.crcs.insert(crcs.crcs.end(), cut.begin(), cut.end());
          }
        }
        crcs.start.push_back(static_cast<std::uint32_t>(crcs.crcs.size()));
      }
    }
    status.clear();
  }

  // The token's flags, and the CRCs of its characters as they stand and in
  // lower case when the flags say they can be taken here.
  void describe(Text_token& token, const unsigned char* p, const unsigned char* end, std::uint64_t& raw,
                std::uint64_t& lowered) {
    unsigned char flags = TAKEN | TAKEN_LOWER | PLAIN | DIGITS;
    if (is_hyphen_minus(p, end)) flags |= HYPHEN;
    if (are_wide_digits(p, end)) token.flags |= WIDE_DIGITS;
    m_units.resize(2 * static_cast<std::size_t>(end - p));
    m_lower_units.resize(m_units.size());
    std::size_t used = 0;
    bool cased = false;
    while (p < end) {
      if (is_ascii_alnum(*p)) {
        const unsigned cp = *p++;
        const unsigned small = cp <= 'Z' && cp >= 'A' ? cp + ('a' - 'A') : cp;
        cased = cased || small != cp;
        if (cp > '9') flags &= static_cast<unsigned char>(~DIGITS);
        m_units[used] = static_cast<unsigned char>(cp);
        m_units[used + 1] = 0;
        m_lower_units[used] = static_cast<unsigned char>(small);
        m_lower_units[used + 1] = 0;
        used += 2;
        continue;
      }
      std::size_t length;
      const unsigned cp = decode(p, length);
      p += length;
      if (!is_cuttable(cp) || (KRN_UNICODE_BIT_TABLE[cp] & krn::KRN_UNICODE_NFKC)) {
        token.flags = static_cast<unsigned char>(token.flags | (flags & HYPHEN));
        return;
      }
      const unsigned small = lower(cp);
      if (small != cp) {
        cased = true;
        if (!is_cuttable(small)) flags &= static_cast<unsigned char>(~TAKEN_LOWER);
      }
      const unsigned type = KRN_UNICODE_BIT_TABLE[cp] & krn::KRN_UNICODE_TYPE_MASK;
      if (type != krn::KRN_CP_NUMBER) flags &= static_cast<unsigned char>(~DIGITS);
      if (type != krn::KRN_CP_NUMBER && type != krn::KRN_CP_LETTER) flags &= static_cast<unsigned char>(~PLAIN);
      m_units[used] = static_cast<unsigned char>(cp & 0xFF);
      m_units[used + 1] = static_cast<unsigned char>(cp >> 8);
      m_lower_units[used] = static_cast<unsigned char>(small & 0xFF);
      m_lower_units[used + 1] = static_cast<unsigned char>(small >> 8);
      used += 2;
    }
    token.flags = static_cast<unsigned char>(token.flags | flags);
    raw = units_crc(m_units.data(), used);
    lowered = cased ? units_crc(m_lower_units.data(), used) : raw;
  }

  // ---- Runs of tokens --------------------------------------------------------

  // Calls visit(last, hash, first_crc) for each run of the field's tokens of
  // at most max_tokens CRCs that starts at token `first` and ends before
  // `limit`, shortest first, while it returns true; hash is the key hash of
  // the run's CRCs, first_crc the CRC of its first. With a filter, only runs
  // whose first token it may hold.
  template <typename Visit>
  void walk_runs(const Match_field& field, std::uint32_t max_tokens, std::size_t first, std::size_t limit,
                 const Match_crc_filter* filter, Visit visit) const {
    const Token_crcs& crcs = m_crcs[match_slot(field.format)];
    if (max_tokens == 0 || crcs.count(first) == 0) return;
    limit = std::min(limit, first + match_run_tokens(field, max_tokens));
    if (field.joins_groups()) return walk_card_runs(crcs, max_tokens, first, limit, filter, visit);
    const std::uint64_t first_crc = crcs.of(first)[0];
    if (filter && !filter->may_hold(first_crc)) return;
    Key_hash hash;
    std::uint32_t taken = 0;
    for (std::size_t last = first; last < limit; ++last) {
      const std::size_t count = crcs.count(last);
      if (count == 0) continue;
      if (taken + count > max_tokens) return;
      for (std::size_t i = 0; i < count; ++i) hash.add(crcs.of(last)[i]);
      taken += static_cast<std::uint32_t>(count);
      if (!visit(last, hash.value(), first_crc) || taken == max_tokens) return;
    }
  }

  // Card numbers: the formatter drops spaces and hyphens, so digits written
  // in groups are one token. A run's open token takes in the groups of
  // digits that follow it with only such characters between.
  template <typename Visit>
  void walk_card_runs(const Token_crcs& crcs, std::uint32_t max_tokens, std::size_t first, std::size_t limit,
                      const Match_crc_filter* filter, Visit visit) const {
    if (m_tokens[first].flags & HYPHEN) return;
    Key_hash closed;
    std::uint32_t closed_count = 0;
    std::uint64_t first_closed = 0;
    bool open = false;
    bool open_plain = false;
    std::uint64_t open_register = 0;  // the CRC register, not yet complemented

    const auto close = [&](std::uint64_t crc) {
      if (closed_count++ == 0) first_closed = crc;
      closed.add(crc);
    };
    const auto start_token = [&](std::size_t token) {
      if (open) close(~open_register);
      open = false;
      const std::size_t count = crcs.count(token);
      if (count == 1 && (m_tokens[token].flags & (TAKEN | WIDE_DIGITS))) {
        open = true;
        open_plain = (m_tokens[token].flags & (PLAIN | WIDE_DIGITS)) != 0;
        open_register = ~crcs.of(token)[0];
        return;
      }
      for (std::size_t i = 0; i < count; ++i) close(crcs.of(token)[i]);
    };
    const auto report = [&](std::size_t last) {
      if (closed_count + (open ? 1 : 0) > max_tokens) return false;
      // While the first token is open, digits yet to come may change it.
      const bool fixed = closed_count > 0;
      const std::uint64_t first_crc = fixed ? first_closed : ~open_register;
      if (filter && !filter->may_hold(first_crc)) return !fixed;
      Key_hash hash = closed;
      if (open) hash.add(~open_register);
      return visit(last, hash.value(), first_crc);
    };

    start_token(first);
    if (!report(first)) return;
    bool broken = false;
    for (std::size_t last = first + 1; last < limit; ++last) {
      const Text_token& token = m_tokens[last];
      if (!(token.flags & JOINS)) broken = true;
      if (token.flags & HYPHEN) continue;
      if (!broken && open && open_plain && (token.flags & (DIGITS | WIDE_DIGITS))) {
        const auto* text = reinterpret_cast<const unsigned char*>(m_text.data());
        append_units(text + token.begin, text + token.end, m_units);
        krn::Krn_crc64 crc(open_register);
        crc.update(m_units.data(), m_units.size());
        open_register = crc.result(false);
      } else {
        if (max_tokens == 1) return;
        start_token(last);
      }
      broken = false;
      if (!report(last)) return;
    }
  }

  void find_hits(std::size_t begin, std::size_t end) {
    m_hits.clear();
    for (std::size_t k = 0; k < m_index.keys.size(); ++k) {
      const Match_key& key = m_index.keys[k];
      const Match_field& field = m_index.fields[key.field];
      const Token_crcs& crcs = m_crcs[match_slot(field.format)];
      for (std::size_t first = begin; first < end; ++first) {
        if (crcs.count(first) == 0) continue;
        walk_runs(field, field.max_tokens, first, m_tokens.size(), &key.first_tokens,
                  [&](std::size_t last, std::uint64_t hash, std::uint64_t) {
                    const auto [begin_entry, end_entry] = key.run(hash);
                    if (begin_entry != end_entry) m_hits.push_back({k, first, last, hash, begin_entry, end_entry});
                    return true;
                  });
      }
    }
    std::sort(m_hits.begin(), m_hits.end(), [](const Hit& a, const Hit& b) {
      return a.first != b.first ? a.first < b.first : (a.last != b.last ? a.last < b.last : a.key < b.key);
    });
  }

  // The CRCs of the run as the field's formatter and the token cutter make
  // them of its text: what the records hold is compared with these.
  void exact_crcs(const Match_field& field, std::size_t first, std::size_t last, std::vector<std::uint64_t>& crcs,
                  Krn_status& status) {
    const char* text = m_text.data() + m_tokens[first].begin;
    const std::size_t length = m_tokens[last].end - m_tokens[first].begin;
    std::string bytes;
    std::size_t count = 0;
    crcs.clear();
    if (tla_shortcut_field_tokens(field.format, text, length, bytes, count)) {
      for (std::size_t i = 0; i < count; ++i) {
        crcs.push_back(tla_get_be64(reinterpret_cast<const unsigned char*>(bytes.data()) + 2 + 8 * i));
      }
      return;
    }
    if (!m_cutter.cut_value(field.formatter_type, text, length, crcs, status)) crcs.clear();
  }

  // ---- Confirmation ----------------------------------------------------------

  bool in_window(const Hit& key, std::size_t first, std::size_t last) const {
    const std::size_t window = m_index.options.window;
    const bool apart = last < key.first || first > key.last;
    return apart && first + window >= key.first && last <= key.last + window;
  }

  // The records a hit may place. A common key value (a surname) is shared
  // by too many records to read them all at each of its places; a record
  // that needs a second key of its own there is read when that key occurs
  // close by, and only the records one key may place alone are read for it.
  void candidates(const Hit& hit, std::vector<std::uint64_t>& records) {
    const Match_key& key = m_index.keys[hit.key];
    const auto entries = [](const Match_key& k, const Hit& h) {
      return std::vector<std::uint64_t>(k.offsets.begin() + static_cast<std::ptrdiff_t>(h.entries_begin),
                                        k.offsets.begin() + static_cast<std::ptrdiff_t>(h.entries_end));
    };
    records.clear();
    if (hit.entries_end - hit.entries_begin <= COMMON_RUN) {
      records = entries(key, hit);
      return;
    }
    if (key.all_solo) return sifted(hit, records);
    const auto solo = std::equal_range(key.solo.begin(), key.solo.end(), std::make_pair(hit.hash, std::uint64_t{0}),
                                       [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto it = solo.first; it != solo.second; ++it) records.push_back(it->second);
    std::vector<std::uint64_t> mine;
    const std::size_t window = m_index.options.window;
    auto other = std::lower_bound(m_hits.begin(), m_hits.end(), hit.first > window ? hit.first - window : 0,
                                  [](const Hit& h, std::size_t first) { return h.first < first; });
    for (; other != m_hits.end() && other->first <= hit.last + window; ++other) {
      if (other->key == hit.key || !in_window(hit, other->first, other->last)) continue;
      std::vector<std::uint64_t> theirs = entries(m_index.keys[other->key], *other);
      if (theirs.size() > COMMON_RUN) {
        if (mine.empty()) {
          mine = entries(key, hit);
          std::sort(mine.begin(), mine.end());
        }
        std::sort(theirs.begin(), theirs.end());
        std::vector<std::uint64_t> both;
        std::set_intersection(mine.begin(), mine.end(), theirs.begin(), theirs.end(), std::back_inserter(both));
        theirs.swap(both);
      }
      records.insert(records.end(), theirs.begin(), theirs.end());
    }
  }

  // The records of a common key value whose fields' first tokens may occur
  // in the hit's window often enough, by their fingerprints.
  void sifted(const Hit& hit, std::vector<std::uint64_t>& records) {
    const Match_key& key = m_index.keys[hit.key];
    const auto all = key.offsets.begin();
    if (!m_index.has_fingerprints()) {
      records.assign(all + static_cast<std::ptrdiff_t>(hit.entries_begin), all + static_cast<std::ptrdiff_t>(hit.entries_end));
      return;
    }
    const std::size_t window = m_index.options.window;
    const std::size_t begin = hit.first > window ? hit.first - window : 0;
    const std::size_t end = std::min(m_tokens.size(), hit.last + window + 1);
    for (std::size_t slot = 0; slot < MATCH_SLOTS; ++slot) {
      if (!m_index.slot_used[slot]) continue;
      m_prints[slot].assign(std::size_t{1} << 10, 0);
      Match_field field;
      field.format = static_cast<Tla_value_format>(slot);
      for (std::size_t first = begin; first < end; ++first) {
        if (first >= hit.first && first <= hit.last) continue;
        walk_runs(field, 1, first, first < hit.first ? hit.first : end, nullptr,
                  [&](std::size_t, std::uint64_t, std::uint64_t first_crc) {
                    const std::uint16_t print = Tla_match_index::fingerprint(first_crc);
                    m_prints[slot][print / 64] |= 1ull << (print % 64);
                    return true;
                  });
      }
    }
    const std::size_t wanted = m_index.options.fields;
    for (std::size_t entry = hit.entries_begin; entry < hit.entries_end; ++entry) {
      const std::uint16_t* prints = m_index.fingerprints(key.offsets[entry]);
      std::size_t filled = 0;
      std::size_t present = 1;
      for (std::size_t f = 0; f < m_index.fields.size(); ++f) {
        if (prints[f] == 0) continue;
        ++filled;
        const auto& seen = m_prints[match_slot(m_index.fields[f].format)];
        if (f != key.field && (seen[prints[f] / 64] >> (prints[f] % 64)) & 1u) ++present;
      }
      if (present >= (wanted == 0 ? filled : std::min(wanted, filled))) records.push_back(key.offsets[entry]);
    }
  }

  void confirm(const Hit& hit, Krn_status& status) {
    const Match_key& key = m_index.keys[hit.key];
    const Match_field& key_field = m_index.fields[key.field];
    std::vector<std::uint64_t> records;
    candidates(hit, records);
    if (records.empty()) return;
    std::sort(records.begin(), records.end());
    records.erase(std::unique(records.begin(), records.end()), records.end());
    std::vector<std::uint64_t> key_crcs;
    exact_crcs(key_field, hit.first, hit.last, key_crcs, status);
    if (!status.ok()) return;

    for (std::uint64_t record : records) {
      m_index.load_record(record, m_values, status);
      if (!status.ok()) return;
      if (m_values[key.field] != key_crcs) continue;
      Placed placed{record, m_base_token + hit.first, {{m_base_token + hit.first, m_base_token + hit.last}}};
      std::vector<std::size_t> found{key.field};
      std::size_t filled = 0;
      for (std::size_t f = 0; f < m_values.size(); ++f) {
        if (m_values[f].empty()) continue;
        ++filled;
        if (f == key.field) continue;
        std::size_t first = 0;
        std::size_t last = 0;
        if (!find_field(hit, m_index.fields[f], m_values[f], first, last, status)) continue;
        found.push_back(f);
        placed.runs.emplace_back(m_base_token + first, m_base_token + last);
      }
      if (!status.ok()) return;
      const std::size_t wanted = m_index.options.fields;
      const std::size_t needed = wanted == 0 ? filled : std::min(wanted, filled);
      if (found.size() < needed || placed_before(placed)) continue;
      std::sort(found.begin(), found.end());
      Found match;
      match.match.record_offset = record;
      match.match.key = hit.key;
      match.match.fields = std::move(found);
      match.begin = m_tokens[hit.first].begin;
      match.spread = spread(placed.runs);
      match.placed = std::move(placed);
      m_found.push_back(std::move(match));
    }
  }

  static std::uint64_t spread(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& runs) {
    std::uint64_t first = runs.front().first;
    std::uint64_t last = runs.front().second;
    for (const auto& run : runs) {
      first = std::min(first, run.first);
      last = std::max(last, run.second);
    }
    return last - first;
  }

  // A record is reported once for each place it occurs. Matches of one
  // record that share an occurrence of a field are one place: found by two
  // of its keys, or by a key the text repeats near the same fields. The
  // place is reported at the first of those keys in the text that no place
  // reported before it uses.
  void report(std::vector<Tla_match>& matches) {
    std::vector<std::size_t> group(m_found.size());
    for (std::size_t i = 0; i < group.size(); ++i) group[i] = i;
    const auto root = [&group](std::size_t i) {
      while (group[i] != i) i = group[i] = group[group[i]];
      return i;
    };
    std::vector<std::size_t> by_record(m_found.size());
    for (std::size_t i = 0; i < by_record.size(); ++i) by_record[i] = i;
    std::sort(by_record.begin(), by_record.end(), [this](std::size_t a, std::size_t b) {
      return m_found[a].placed.record != m_found[b].placed.record ? m_found[a].placed.record < m_found[b].placed.record
                                                                  : a < b;
    });
    for (std::size_t x = 0; x < by_record.size(); ++x) {
      const std::size_t i = by_record[x];
      for (std::size_t y = x + 1; y < by_record.size(); ++y) {
        const std::size_t j = by_record[y];
        if (m_found[j].placed.record != m_found[i].placed.record) break;
        if (shares_run(m_found[i].placed, m_found[j].placed)) group[root(j)] = root(i);
      }
    }
    // The matches of each place, by the order of their keys in the text,
    // the one whose fields lie closest first where two keys are one.
    std::vector<std::vector<std::size_t>> places(m_found.size());
    for (std::size_t i = 0; i < m_found.size(); ++i) places[root(i)].push_back(i);
    std::erase_if(places, [](const std::vector<std::size_t>& place) { return place.empty(); });
    const auto before = [this](std::size_t a, std::size_t b) {
      return m_found[a].begin != m_found[b].begin ? m_found[a].begin < m_found[b].begin
                                                  : m_found[a].spread < m_found[b].spread;
    };
    for (auto& place : places) std::sort(place.begin(), place.end(), before);
    std::sort(places.begin(), places.end(), [&before](const auto& a, const auto& b) { return before(a[0], b[0]); });
    // An occurrence belongs to the record reported first that uses it: where
    // two records of one surname are written together, the second is
    // reported at the first key of its own.
    std::vector<std::uint64_t> claimed;
    std::vector<std::size_t> order;
    for (const auto& place : places) {
      std::size_t chosen = place[0];
      for (std::size_t i : place) {
        if (std::find(claimed.begin(), claimed.end(), m_found[i].placed.anchor) == claimed.end()) {
          chosen = i;
          break;
        }
      }
      for (const auto& run : m_found[chosen].placed.runs) claimed.push_back(run.first);
      // Later matches of the place are that place too.
      Placed& kept = m_found[chosen].placed;
      for (std::size_t i : place) {
        if (i != chosen) kept.runs.insert(kept.runs.end(), m_found[i].placed.runs.begin(), m_found[i].placed.runs.end());
      }
      order.push_back(chosen);
    }
    std::sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) { return m_found[a].begin < m_found[b].begin; });
    Cursor cursor{0, m_base_line, m_base_column};
    for (std::size_t i : order) {
      Found& found = m_found[i];
      advance(cursor, found.begin);
      found.match.line = cursor.line;
      found.match.column = cursor.column + 1;
      found.match.byte_offset = m_base_byte + found.begin;
      matches.push_back(std::move(found.match));
      m_placed.push_back(std::move(found.placed));
    }
  }

  // Whether the field's whole token sequence occurs in the hit's window;
  // the occurrence nearest the key is taken, so that of two copies of a
  // record written one after the other each key finds its own fields.
  bool find_field(const Hit& hit, const Match_field& field, const std::vector<std::uint64_t>& crcs,
                  std::size_t& found_first, std::size_t& found_last, Krn_status& status) {
    const std::size_t window = m_index.options.window;
    if (crcs.size() > 2 * window) return false;
    const std::uint64_t wanted = tla_key_hash(crcs);
    const std::size_t end = std::min(m_tokens.size(), hit.last + window + 1);
    const Token_crcs& mine = m_crcs[match_slot(field.format)];
    std::vector<std::uint64_t> exact;
    // A run starting at first, wholly before the key or after it.
    const auto found_at = [&](std::size_t first) {
      if (mine.count(first) == 0) return false;
      if (!field.joins_groups() && mine.of(first)[0] != crcs[0]) return false;
      bool found = false;
      walk_runs(field, static_cast<std::uint32_t>(crcs.size()), first, first < hit.first ? hit.first : end, nullptr,
                [&](std::size_t last, std::uint64_t hash, std::uint64_t) {
                  if (hash != wanted) return true;
                  exact_crcs(field, first, last, exact, status);
                  if (exact != crcs) return status.ok();
                  found = true;
                  found_first = first;
                  found_last = last;
                  return false;
                });
      return found;
    };
    for (std::size_t distance = 1; distance <= window && status.ok(); ++distance) {
      if (hit.last + distance < end && found_at(hit.last + distance)) return true;
      if (distance <= hit.first && found_at(hit.first - distance)) return true;
    }
    return false;
  }

  static bool shares_run(const Placed& a, const Placed& b) {
    if (a.anchor == b.anchor) return true;
    for (const auto& run : a.runs) {
      if (std::find(b.runs.begin(), b.runs.end(), run) != b.runs.end()) return true;
    }
    return false;
  }

  // Whether a segment before this one reported the place.
  bool placed_before(const Placed& placed) const {
    for (const Placed& earlier : m_placed) {
      if (earlier.record == placed.record && shares_run(earlier, placed)) return true;
    }
    return false;
  }

  // ---- Lines and columns -----------------------------------------------------

  struct Cursor {
    std::size_t byte = 0;
    std::uint64_t line = 1;
    std::uint64_t column = 0;  // characters since the line's start
  };

  // LF, CR LF and a CR alone each end a line.
  void advance(Cursor& cursor, std::size_t to) const {
    const char* text = m_text.data();
    for (; cursor.byte < to; ++cursor.byte) {
      const char c = text[cursor.byte];
      if (c == '\n' || (c == '\r' && (cursor.byte + 1 >= m_text.size() || text[cursor.byte + 1] != '\n'))) {
        ++cursor.line;
        cursor.column = 0;
      } else if (c != '\r' && (static_cast<unsigned char>(c) & 0xC0) != 0x80) {
        ++cursor.column;
      }
    }
  }

  const Tla_match_index& m_index;
  std::size_t m_reach = 0;
  std::string m_text;
  std::string m_pending;
  std::size_t m_next_segment = SEGMENT_BYTES;
  std::uint64_t m_base_token = 0;
  std::uint64_t m_base_byte = 0;
  std::uint64_t m_base_line = 1;
  std::uint64_t m_base_column = 0;
  std::uint64_t m_processed = 0;
  std::vector<Found> m_found;
  std::vector<std::uint64_t> m_prints[MATCH_SLOTS];  // fingerprints seen in a window, a bit each
  std::vector<Text_token> m_tokens;
  Token_crcs m_crcs[MATCH_SLOTS];
  std::vector<Hit> m_hits;
  std::vector<Placed> m_placed;
  std::vector<std::vector<std::uint64_t>> m_values;
  mutable std::vector<unsigned char> m_units;
  std::vector<unsigned char> m_lower_units;
  Tla_token_cutter m_cutter;
};

Tla_match_session::Tla_match_session(const Tla_matcher& matcher)
    : m_state(matcher.m_index ? std::make_unique<State>(*matcher.m_index) : nullptr) {}

Tla_match_session::~Tla_match_session() = default;

void Tla_match_session::feed(const char* utf8, std::size_t size, std::vector<Tla_match>& matches,
                             Krn_status& status) {
  status.clear();
  if (!m_state) {
    status = TLA_E_DATA_SET_NOT_OPEN;
    return;
  }
  m_state->feed(utf8, size, matches, status);
}

void Tla_match_session::reset() {
  if (m_state) m_state->reset();
}

void Tla_match_session::finish(std::vector<Tla_match>& matches, Krn_status& status) {
  status.clear();
  if (!m_state) {
    status = TLA_E_DATA_SET_NOT_OPEN;
    return;
  }
  m_state->finish(matches, status);
}

}  // namespace tla
