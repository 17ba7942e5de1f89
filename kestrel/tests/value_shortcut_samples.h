#ifndef VALUE_SHORTCUT_SAMPLES_H
#define VALUE_SHORTCUT_SAMPLES_H

// Generated field values for holding the shortcut path of a value's tokens
// against the codec path: the scripts and shapes field values hold, and the
// characters that decide how text is cut (apostrophes, the letter s, digits
// next to letters, marks, spaces of every kind). Shared by the unit test and
// the long check in bench/.

#include <cstddef>
#include <cstdint>
#include <string>

#include <vector>

#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "krn/krn_types.h"
#include "tla/tla_data_set_format.h"
#include "tla/tla_data_set_tokens.h"
#include "tla/tla_formatter.h"
#include "tla/tla_value_shortcut.h"

namespace value_shortcut_samples {

struct Format_case {
  const char* name;
  tla::Tla_value_format format;
  krn::GUID type;
};

inline const Format_case FORMATS[] = {
    {"Simple", tla::Tla_value_format::simple, tla::TLA_SIMPLE_FORMATTER_ID},
    {"SimpleNC", tla::Tla_value_format::simplenc, tla::TLA_SIMPLENC_FORMATTER_ID},
    {"CCNUMBER", tla::Tla_value_format::ccnumber, tla::TLA_CCNUM_FORMATTER_ID},
};

// splitmix64: the same values on every run and host.
class Sequence {
 public:
  explicit Sequence(std::uint64_t seed) : m_state(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
  bool one_in(std::size_t n) { return below(n) == 0; }

 private:
  std::uint64_t m_state;
};

// Input values never hold NUL, TAB or LF, nor surrogates (they are UTF-8).
inline bool is_input_character(unsigned cp) {
  return cp != 0 && cp != 0x09 && cp != 0x0A && !(cp >= 0xD800 && cp <= 0xDFFF) && cp <= 0x10FFFF;
}

inline void append_utf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Words and fragments as field values hold them.
inline const char* const PIECES[] = {
    // ASCII names, words and the apostrophe's every role
    "Anne", "smith", "SMITH", "McDonald", "O'Neil", "o'brien", "d'Arcy", "rock'n'roll", "don't", "dogs'", "'tis",
    "1990's", "1990'S", "1990's'", "90's9", "'90s", "'90S", "'90sx", "'9", "'905", "x'1", "a''b", "ab'", "'", "''",
    "Jean-Luc", "Smith-Jones", "van der Berg", "abc123", "123abc", "4s", "s4", "A1B2", "s", "S",
    // numbers written with separators
    "4111", "4111 1111-1111 1111", "1,000.50", "12/05/2024", "+44 20 7946 0958", "555-1234", "No. 7", "3.14",
    // lone punctuation and symbols
    "-", ".", ",", "^", "`", "~", "!", "\"", "(", ")", "_", "@", "#", "$", "%", "&", "*", "+", "/", "<", "=",
    "?", "[", "\\", "]", "{", "|", "}", ";", ":",
    // accented Latin, precomposed and decomposed
    "Jos\u00e9", "Zo\u00eb", "J\u00fcrgen", "M\u00dcLLER", "\u00c5str\u00f6m", "Dvo\u0159\u00e1k",
    "Wi\u015bniewska", "\u00d8rsted", "Lef\u00e8vre", "Gon\u00e7alves", "\u00c9lodie", "Stra\u00dfe",
    "\u1e9e", "Jose\u0301", "Zoe\u0308", "A\u030a", "\u01c5", "\u01c4", "\u0130stanbul", "\u0131",
    // full-width and other compatibility forms
    "\uff21\uff4e\uff4e\uff45", "\uff11\uff12\uff13", "\uff53", "\uff33", "\uff07", "\u2122", "\u00bd",
    "\ufb01", "\u212a", "\u212b", "\u2460", "\uff76\uff80\uff76\uff85", "\u00aa", "\u00b2",
    // CJK, kana, Hangul
    "\u738b\u5c0f\u660e", "\u6771\u4eac", "\u30ab\u30bf\u30ab\u30ca", "\u3072\u3089\u304c\u306a",
    "\uc11c\uc6b8", "\u1100\u1161",
    // Arabic, Hebrew, Thai, Devanagari
    "\u0645\u062d\u0645\u062f", "\u0645\u064f\u062d\u064e\u0645\u0651\u064e\u062f", "\u0661\u0662\u0663",
    "\u05e9\u05dc\u05d5\u05dd", "\u05e9\u05b8\u05c1\u05dc\u05d5\u05b9\u05dd", "\u0e2a\u0e27\u0e31\u0e2a\u0e14\u0e35",
    "\u0928\u092e\u0938\u094d\u0924\u0947",
    // Cyrillic and Greek
    "\u0418\u0432\u0430\u043d\u043e\u0432", "\u0418\u0412\u0410\u041d\u041e\u0412",
    "\u03a3\u03c9\u03ba\u03c1\u03ac\u03c4\u03b7\u03c2", "\u039f\u0394\u03a5\u03a3\u03a3\u0395\u03a5\u03a3",
    // apostrophes and dashes beyond ASCII
    "d\u2019Arcy", "don\u2019t", "1990\u2019s", "\u201990s", "\u2013", "\u2014", "\u2010", "\u2212",
    // symbols, emoji, characters above U+FFFF
    "\u00a9", "\u00ae", "\u20ac", "\u00b0", "\u2764", "\u2764\ufe0f", "\U0001F600", "\U0001F44D\U0001F3FD",
    "\U00020000", "\U0001D400", "\U00010400", "\ue000", "\ufffd", "\ufeff",
    // marks with nothing to carry them
    "\u0301", "\u0308a",
};

// Spaces, controls and format characters, between and around pieces.
inline const char* const SPACES[] = {
    " ", "  ", "\u00a0", "\u3000", "\u2009", "\u200b", "\u2028", "\u0085", "\x0b", "\x0c", "\r", "\x7f", "\x1f",
};

template <class T, std::size_t N>
const T& pick(const T (&list)[N], Sequence& random) {
  return list[random.below(N)];
}

inline const char* const JOINS[] = {"", " ", " ", " ", "-", "'", "\u2019", "  ", ", ", "."};

// Blocks that random code points come from.
struct Range {
  unsigned first;
  unsigned last;
};

inline const Range RANGES[] = {
    {0x20, 0x7E},       {0x80, 0xFF},       {0x100, 0x24F},     {0x250, 0x2FF},     {0x300, 0x36F},
    {0x370, 0x3FF},     {0x400, 0x4FF},     {0x590, 0x5FF},     {0x600, 0x6FF},     {0x900, 0x97F},
    {0xE00, 0xE7F},     {0x1E00, 0x1EFF},   {0x2000, 0x206F},   {0x2070, 0x218F},   {0x2190, 0x2BFF},
    {0x3000, 0x30FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xAC00, 0xD7A3},   {0xE000, 0xF8FF},
    {0xF900, 0xFAFF},   {0xFB00, 0xFDFF},   {0xFE00, 0xFE6F},   {0xFF00, 0xFFEF},   {0xFFF0, 0xFFFF},
    {0x10000, 0x1FFFF}, {0x20000, 0x2FFFF}, {0x30000, 0x10FFFF},
};

// Printable ASCII weighted towards what decides how text is cut.
inline char ascii_character(Sequence& random) {
  static const char FAVOURED[] = "aAsSzZ09'''   -^`.";
  if (random.one_in(2)) return FAVOURED[random.below(sizeof FAVOURED - 1)];
  return static_cast<char>(0x20 + random.below(0x5F));
}

inline unsigned random_code_point(Sequence& random) {
  for (;;) {
    const Range& range = pick(RANGES, random);
    const unsigned cp = range.first + static_cast<unsigned>(random.below(range.last - range.first + 1));
    if (is_input_character(cp)) return cp;
  }
}

inline void append_pieces(std::string& value, Sequence& random) {
  const std::size_t pieces = 1 + random.below(4);
  for (std::size_t i = 0; i < pieces; ++i) {
    if (i > 0) value += random.one_in(8) ? pick(SPACES, random) : pick(JOINS, random);
    value += pick(PIECES, random);
  }
}

inline void append_card_number(std::string& value, Sequence& random) {
  static const char* const GROUP_SEPARATORS[] = {" ", "-", " - ", "", ".", "/", "\u2013", "\u00a0", "  "};
  const char* separator = pick(GROUP_SEPARATORS, random);
  for (int group = 0; group < 4; ++group) {
    if (group > 0) value += random.one_in(4) ? GROUP_SEPARATORS[random.below(3)] : separator;
    for (int digit = 0; digit < 4; ++digit) {
      if (random.one_in(200)) {
        append_utf8(value, 0xFF10 + static_cast<unsigned>(random.below(10)));  // a full-width digit
      } else {
        value += static_cast<char>('0' + random.below(10));
      }
    }
  }
}

// ASCII spaces, or one space, control or format character of another kind.
inline void append_spaces(std::string& value, Sequence& random) {
  if (random.one_in(2)) {
    value.append(random.below(3) + 1, ' ');
  } else {
    value += pick(SPACES, random);
  }
}

// One value: printable ASCII, pieces of names and words, a card number, or
// random code points among ASCII letters, digits and apostrophes; sometimes
// with spaces of any kind around it.
inline std::string make_value(Sequence& random) {
  std::string value;
  if (random.one_in(6)) append_spaces(value, random);
  switch (random.below(4)) {
    case 0: {
      const std::size_t length = random.below(24);
      for (std::size_t i = 0; i < length; ++i) value += ascii_character(random);
      break;
    }
    case 1:
      append_pieces(value, random);
      break;
    case 2:
      append_card_number(value, random);
      break;
    default: {
      const std::size_t length = 1 + random.below(8);
      for (std::size_t i = 0; i < length; ++i) {
        if (random.one_in(2)) {
          value += ascii_character(random);
        } else {
          append_utf8(value, random_code_point(random));
        }
      }
      break;
    }
  }
  if (random.one_in(6)) append_spaces(value, random);
  return value;
}

// True when every byte is printable ASCII (0x20..0x7E).
inline bool is_printable_ascii(const std::string& value) {
  for (char c : value) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// The codec path's bytes for a value, as the record encoder stores them.
class Reference {
 public:
  // False when a field cannot store the value: the codec failed, or the
  // value has more tokens than a field holds.
  bool bytes(const krn::GUID& type, const std::string& value, std::string& out, std::size_t& token_count) {
    krn::krn_utf8_to_utf16(value, m_wide);
    krn::Krn_status status;
    m_cutter.cut_value(type, m_wide, m_crcs, status);
    if (!status.ok() || m_crcs.size() > tla::TLA_MAX_TOKENS_PER_FIELD) return false;
    out.clear();
    tla::tla_append_field_tokens(out, m_crcs);
    token_count = m_crcs.size();
    return true;
  }

 private:
  tla::Tla_token_cutter m_cutter;
  krn::Wstring m_wide;
  std::vector<std::uint64_t> m_crcs;
};

// The value with every byte outside printable ASCII as \xNN.
inline std::string escaped(const std::string& value) {
  static const char HEX[] = "0123456789ABCDEF";
  std::string out;
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      out += c;
    } else {
      out += "\\x";
      out += HEX[byte >> 4];
      out += HEX[byte & 0xF];
    }
  }
  return out;
}

// Runs the shortcut on the value after a prefix the shortcut must keep.
// answered says whether it gave the tokens; the result is empty when it
// agrees with the codec path (or rightly declined), else what differs.
inline std::string check_value(Reference& reference, const Format_case& format, const std::string& value,
                               bool& answered) {
  static const std::string PREFIX = "kept";
  constexpr std::size_t UNSET = 0xC0FFEE;
  std::string out = PREFIX;
  std::size_t count = UNSET;
  answered = tla::tla_shortcut_field_tokens(format.format, value.data(), value.size(), out, count);
  const std::string where = std::string(format.name) + " \"" + escaped(value) + "\": ";
  if (!answered) {
    if (out != PREFIX || count != UNSET) return where + "declined but changed its outputs";
    return {};
  }
  std::string expected;
  std::size_t expected_count = 0;
  if (!reference.bytes(format.type, value, expected, expected_count)) {
    return where + "answered for a value the codec path cannot store";
  }
  if (out.compare(0, PREFIX.size(), PREFIX) != 0) return where + "changed what out held";
  if (out.compare(PREFIX.size(), std::string::npos, expected) != 0) return where + "other bytes than the codec path";
  if (count != expected_count) return where + "another token count than the codec path";
  return {};
}

}  // namespace value_shortcut_samples

#endif
