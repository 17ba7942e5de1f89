#ifndef TLA_TEXT_RULES_H
#define TLA_TEXT_RULES_H

// Rules of text that the build's value shortcut, the input reader and the
// matcher share, so that they cannot drift apart: what well-formed UTF-8 is,
// and which characters a token's CRC can be taken from directly.

#include "krn/krn_string.h"
#include "krn/krn_unicode.h"

namespace tla {

// The length of the well-formed UTF-8 sequence at p (p < end): no overlong
// forms, no surrogates, nothing above U+10FFFF. 0 for a bad sequence, and
// -1 for one that end cuts off where more bytes could complete it.
inline int utf8_sequence_length(const unsigned char* p, const unsigned char* end) {
  const unsigned lead = *p;
  if (lead < 0x80) return 1;
  int size = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  // The ranges of the second byte rule out the overlong forms, the
  // surrogates and the code points above U+10FFFF.
  if (lead >= 0xC2 && lead <= 0xDF) {
    size = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    size = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    size = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (int i = 1; i < size; ++i) {
    if (p + i == end) return -1;
    const unsigned byte = p[i];
    if (byte < (i == 1 ? low : 0x80u) || byte > (i == 1 ? high : 0xBFu)) return 0;
  }
  return size;
}

// A character whose token the tokeniser cuts by its type alone: a number,
// punctuation, a symbol, a letter or an ideograph of the Basic Multilingual
// Plane, or U+0020, which only ends a token. Marks, controls, U+FFFD and
// the rest are left to the codec.
inline bool is_cuttable_char(unsigned cp) {
  if (cp == 0x20) return true;
  if (cp == 0 || cp >= 0x10000 || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFD) return false;
  switch (krn::impl::KRN_UNICODE_BIT_TABLE[cp] & krn::KRN_UNICODE_TYPE_MASK) {
    case krn::KRN_CP_NUMBER:
    case krn::KRN_CP_PUNCTUATION:
    case krn::KRN_CP_SYMBOL:
    case krn::KRN_CP_LETTER:
    case krn::KRN_CP_IDEOGRAPH:
      return true;
    default:
      return false;
  }
}

// The lower case that the case-insensitive formatter gives the character.
inline unsigned lower_char(unsigned cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + ('a' - 'A');
  if (cp < 0x80) return cp;
  return krn::krn_lower(cp);
}

}  // namespace tla

#endif
