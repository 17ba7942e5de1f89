#include "tla/tla_value_shortcut.h"

#include <cstdint>

#include "krn/krn_crc.h"
#include "krn/krn_string.h"
#include "krn/krn_unicode.h"
#include "tla/tla_data_set_format.h"
#include "tla/tla_formatter.h"
#include "tla_text_rules.h"

// Why the result equals the codec's, step by step of value_token_crcs:
//
// Trim. krn_trim removes krn_is_space units at both ends. Of the characters
// accepted below only U+0020 is such a unit: every other one is of a
// character type that is neither white space nor a control (see
// is_cuttable), and krn_is_space holds only for TAB..CR, U+00A0 and what
// u_isspace calls space (separators and a few controls).
//
// Normalise. Every accepted character has the table's NFKC bit clear, so
// krn_can_normalize is false for the value and the formatter copies it
// unchanged.
//
// Lower case (SimpleNC). krn_lower maps code point by code point through
// krn_lower(unsigned); the reader below applies the same function.
// Card numbers (CCNUMBER): the reader drops U+0020 and U+002D, as the
// formatter does.
//
// Cut. The scanner below follows the tokeniser's states for the character
// types that remain (number, punctuation, symbol, letter, ideograph and the
// inner U+0020); its rules are written next to the functions. Marks, which
// extend most kinds of token, ignored code points and U+FFFD, which joins
// words, are never accepted, and a formatted value never starts with a
// space, so no empty leading whitespace token arises either.
//
// Keys. A token's CRC is tkn_string_key of its UTF-16 units: Krn_crc64 from
// 42 over the units in little-endian order, computed here in pieces from a
// small buffer.

namespace tla {

namespace {

using krn::impl::KRN_UNICODE_BIT_TABLE;

// The code point after the end of the formatted value.
constexpr unsigned END_OF_VALUE = 0xFFFFFFFFu;
// The type reported for END_OF_VALUE; no table type has this value.
constexpr unsigned END_TYPE = 8;

// The initial value of tkn_string_key.
constexpr std::uint64_t TOKEN_KEY_SEED = 42;

constexpr unsigned SPACE = 0x20;
constexpr unsigned HYPHEN = 0x2D;

// The tokeniser's type of a code point of the Basic Multilingual Plane
// other than 0 (krn_unicode_char_type), or END_TYPE.
unsigned type_of(unsigned cp) {
  if (cp == END_OF_VALUE) return END_TYPE;
  return KRN_UNICODE_BIT_TABLE[cp] & krn::KRN_UNICODE_TYPE_MASK;
}

bool is_surrogate(unsigned cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

// A character the scanner cuts as the tokeniser does. U+0020 is the only
// white space taken: it is what the trim and the card number formatter
// remove, and inside a value it only ends a token.
bool is_cuttable(unsigned cp) { return is_cuttable_char(cp); }

unsigned lower(unsigned cp) { return lower_char(cp); }

// A character of the value as it stands that the shortcut can take, for
// the format.
bool is_accepted(Tla_value_format format, unsigned cp) {
  if (!is_cuttable(cp)) return false;
  if (KRN_UNICODE_BIT_TABLE[cp] & krn::KRN_UNICODE_NFKC) return false;
  return format != Tla_value_format::simplenc || is_cuttable(lower(cp));
}

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// One character of at most three bytes, strictly: no overlong forms, no
// surrogates. Anything else, every character above U+FFFF included, is
// false.
bool decode_checked(const unsigned char*& at, const unsigned char* end, unsigned& cp) {
  const unsigned lead = at[0];
  if (lead < 0x80) {
    cp = lead;
    at += 1;
    return true;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    if (end - at < 2 || !is_continuation(at[1])) return false;
    cp = ((lead & 0x1Fu) << 6) | (at[1] & 0x3Fu);
    at += 2;
    return true;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (end - at < 3 || !is_continuation(at[1]) || !is_continuation(at[2])) return false;
    cp = ((lead & 0x0Fu) << 12) | ((at[1] & 0x3Fu) << 6) | (at[2] & 0x3Fu);
    if (cp < 0x800 || is_surrogate(cp)) return false;
    at += 3;
    return true;
  }
  return false;
}

bool all_accepted(Tla_value_format format, const unsigned char* at, const unsigned char* end) {
  while (at != end) {
    unsigned cp;
    if (!decode_checked(at, end, cp) || !is_accepted(format, cp)) return false;
  }
  return true;
}

// The formatted value, read from byte positions in the value as it stands:
// a position stands for the formatted text that the bytes from it on
// become. Only for bytes all_accepted has passed.
class Formatted_reader {
 public:
  Formatted_reader(Tla_value_format format, const unsigned char* end) : m_format(format), m_end(end) {}

  // The code point at `at`, which moves past it; END_OF_VALUE at the end.
  unsigned next(const unsigned char*& at) const {
    for (;;) {
      if (at == m_end) return END_OF_VALUE;
      const unsigned cp = decode(at);
      switch (m_format) {
        case Tla_value_format::simplenc:
          return lower(cp);
        case Tla_value_format::ccnumber:
          if (cp == SPACE || cp == HYPHEN) continue;
          return cp;
        default:
          return cp;
      }
    }
  }

 private:
  static unsigned decode(const unsigned char*& at) {
    const unsigned lead = at[0];
    if (lead < 0x80) {
      at += 1;
      return lead;
    }
    if (lead < 0xE0) {
      const unsigned cp = ((lead & 0x1Fu) << 6) | (at[1] & 0x3Fu);
      at += 2;
      return cp;
    }
    const unsigned cp = ((lead & 0x0Fu) << 12) | ((at[1] & 0x3Fu) << 6) | (at[2] & 0x3Fu);
    at += 3;
    return cp;
  }

  Tla_value_format m_format;
  const unsigned char* m_end;
};

bool is_apostrophe(unsigned cp) { return type_of(cp) == krn::KRN_CP_PUNCTUATION && (cp == 0x0027 || cp == 0x2019); }

bool is_letter_s(unsigned cp) {
  return type_of(cp) == krn::KRN_CP_LETTER && (cp == 0x0073 || cp == 0x0053 || cp == 0xFF53 || cp == 0xFF33);
}

// A word: a letter, then letters and numbers; an apostrophe joins it only
// when a letter follows (don't, O'Neil). Otherwise the tokeniser rolls back
// to the apostrophe, which starts the next token.
const unsigned char* word_end(const Formatted_reader& reader, const unsigned char* end) {
  for (;;) {
    const unsigned char* at = end;
    const unsigned cp = reader.next(at);
    const unsigned type = type_of(cp);
    if (type == krn::KRN_CP_LETTER || type == krn::KRN_CP_NUMBER) {
      end = at;
      continue;
    }
    if (is_apostrophe(cp) && type_of(reader.next(at)) == krn::KRN_CP_LETTER) {
      end = at;
      continue;
    }
    return end;
  }
}

// A number: numbers only (a letter starts a word of its own). An
// apostrophe and the letter s join it when the end, a space or punctuation
// follows (1990's); otherwise the tokeniser rolls back to the apostrophe.
const unsigned char* number_end(const Formatted_reader& reader, const unsigned char* end) {
  const unsigned char* at = end;
  unsigned cp = reader.next(at);
  while (type_of(cp) == krn::KRN_CP_NUMBER) {
    end = at;
    cp = reader.next(at);
  }
  if (!is_apostrophe(cp) || !is_letter_s(reader.next(at))) return end;
  const unsigned char* with_s = at;
  const unsigned after = type_of(reader.next(at));
  return after == END_TYPE || after == krn::KRN_CP_SPACE || after == krn::KRN_CP_PUNCTUATION ? with_s : end;
}

// An apostrophe that starts a token stands alone, unless two numbers and
// the letter s follow it and no letter comes after them ('90s).
const unsigned char* apostrophe_end(const Formatted_reader& reader, const unsigned char* end) {
  const unsigned char* at = end;
  if (type_of(reader.next(at)) != krn::KRN_CP_NUMBER) return end;
  if (type_of(reader.next(at)) != krn::KRN_CP_NUMBER) return end;
  if (!is_letter_s(reader.next(at))) return end;
  const unsigned char* with_s = at;
  return type_of(reader.next(at)) == krn::KRN_CP_LETTER ? end : with_s;
}

// Where the token whose first code point is cp, read up to after, ends;
// null for a code point the scanner does not cut. Punctuation, symbols and
// ideographs are tokens of one code point: only marks would extend them.
const unsigned char* token_end(const Formatted_reader& reader, unsigned cp, const unsigned char* after) {
  switch (type_of(cp)) {
    case krn::KRN_CP_LETTER:
      return word_end(reader, after);
    case krn::KRN_CP_NUMBER:
      return number_end(reader, after);
    case krn::KRN_CP_PUNCTUATION:
      return is_apostrophe(cp) ? apostrophe_end(reader, after) : after;
    case krn::KRN_CP_SYMBOL:
    case krn::KRN_CP_IDEOGRAPH:
      return after;
    default:
      return nullptr;
  }
}

std::uint64_t token_key(const Formatted_reader& reader, const unsigned char* at, const unsigned char* end) {
  krn::Krn_crc64 crc(TOKEN_KEY_SEED);
  unsigned char units[128];
  std::size_t used = 0;
  while (at != end) {
    const unsigned cp = reader.next(at);
    units[used++] = static_cast<unsigned char>(cp & 0xFFu);
    units[used++] = static_cast<unsigned char>(cp >> 8);
    if (used == sizeof units) {
      crc.update(units, used);
      used = 0;
    }
  }
  crc.update(units, used);
  return crc.result(true);
}

void put_be16(std::string& out, std::size_t at, std::size_t value) {
  out[at] = static_cast<char>((value >> 8) & 0xFFu);
  out[at + 1] = static_cast<char>(value & 0xFFu);
}

}  // namespace

Tla_value_format tla_value_format(const krn::GUID& formatter_type) {
  if (formatter_type == TLA_SIMPLE_FORMATTER_ID) return Tla_value_format::simple;
  if (formatter_type == TLA_SIMPLENC_FORMATTER_ID) return Tla_value_format::simplenc;
  if (formatter_type == TLA_CCNUM_FORMATTER_ID) return Tla_value_format::ccnumber;
  return Tla_value_format::other;
}

bool tla_shortcut_field_tokens(Tla_value_format format, const char* bytes, std::size_t length, std::string& out,
                               std::size_t& token_count) {
  // A type without a formatter of this program stores the value as it
  // stands; such fields are rare enough to leave to the codec.
  if (format == Tla_value_format::other) return false;
  const auto* begin = reinterpret_cast<const unsigned char*>(bytes);
  const unsigned char* end = begin + length;
  while (begin != end && *begin == SPACE) ++begin;
  while (end != begin && end[-1] == SPACE) --end;
  if (!all_accepted(format, begin, end)) return false;

  const Formatted_reader reader(format, end);
  const std::size_t count_at = out.size();
  out.append(2, '\0');
  std::size_t count = 0;
  const unsigned char* at = begin;
  for (;;) {
    const unsigned char* start = at;
    const unsigned cp = reader.next(at);
    if (cp == END_OF_VALUE) break;
    // A space before the first token would hang on an empty token of its
    // own; the trim leaves none. Spaces after a token make no token.
    const bool leading_space = type_of(cp) == krn::KRN_CP_SPACE && count == 0;
    if (type_of(cp) == krn::KRN_CP_SPACE && !leading_space) continue;
    const unsigned char* stop = leading_space ? nullptr : token_end(reader, cp, at);
    // More tokens than a field holds are the codec path's to report.
    if (stop == nullptr || ++count > TLA_MAX_TOKENS_PER_FIELD) {
      out.resize(count_at);
      return false;
    }
    tla_append_be64(out, token_key(reader, start, stop));
    at = stop;
  }
  put_be16(out, count_at, count);
  token_count = count;
  return true;
}

}  // namespace tla
