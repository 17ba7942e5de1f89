#ifndef KRN_UNICODE_H
#define KRN_UNICODE_H

// The per-code-point character table. Tokenisers in other libraries read its
// low three bits directly, so the layout below is part of the interface.

// Included by its sibling path: the table generator is built without the
// library's include directories.
#include "krn/krn_export.h"

namespace krn {

// Bits 0-2 of a table byte.
enum Krn_unicode_code_point_type : unsigned {
  KRN_CP_IGNORED = 0,      // code point 0, and unassigned code points in the table
  KRN_CP_SPACE = 1,        // white space, separators, controls, format characters
  KRN_CP_NUMBER = 2,       // digits and other numbers
  KRN_CP_PUNCTUATION = 3,  // punctuation, mathematical and currency symbols
  KRN_CP_SYMBOL = 4,       // other symbols
  KRN_CP_MARK = 5,         // combining marks and modifier symbols
  KRN_CP_LETTER = 6,       // cased and modifier letters, enclosing marks, private use, surrogates
  KRN_CP_IDEOGRAPH = 7,    // other letters (ideographs, syllabaries)
};

inline constexpr unsigned char KRN_UNICODE_TYPE_MASK = 0x07;
inline constexpr unsigned char KRN_UNICODE_LOWER = 0x08;     // has a lower-case part
inline constexpr unsigned char KRN_UNICODE_UPPER = 0x10;     // has an upper-case part
inline constexpr unsigned char KRN_UNICODE_NFKC = 0x20;      // NFKC may change a string holding it
inline constexpr unsigned char KRN_UNICODE_ASSIGNED = 0x80;  // the code point is assigned

inline constexpr unsigned KRN_UNICODE_BIT_TABLE_LEN = 0x30000;

namespace impl {

using krn::KRN_UNICODE_BIT_TABLE_LEN;

// One byte per code point U+0000..U+2FFFF, generated at build time from the
// ICU that the library links.
extern KRN_API const unsigned char KRN_UNICODE_BIT_TABLE[KRN_UNICODE_BIT_TABLE_LEN];

// The type of any code point by its ICU general category alone. Below the
// table this can differ from the table's type (unassigned code points and
// ASCII punctuation), which is why the classifier consults the table first.
KRN_API unsigned krn_get_icu_char_type(unsigned code_point);

// The type the tokenisers use: 0 for code point 0, the table below
// KRN_UNICODE_BIT_TABLE_LEN, the general category above it.
inline unsigned krn_unicode_char_type(unsigned code_point) {
  if (code_point == 0) return KRN_CP_IGNORED;
  if (code_point < KRN_UNICODE_BIT_TABLE_LEN) return KRN_UNICODE_BIT_TABLE[code_point] & KRN_UNICODE_TYPE_MASK;
  return krn_get_icu_char_type(code_point);
}

}  // namespace impl
}  // namespace krn

#endif
