#ifndef KRN_UNICODE_CATEGORY_H
#define KRN_UNICODE_CATEGORY_H

// The general-category-to-type mapping, shared by the library (for code
// points above the table) and the table generator (below it), so that the
// two cannot drift apart. Header-only: the generator cannot link krnbase,
// whose sources include its output.

#include <unicode/uchar.h>

// By path: the table generator is built without the library's include
// directories.
#include "krn/krn_unicode.h"

namespace krn::impl {

inline unsigned krn_type_of_category(int category) {
  switch (category) {
    case U_UPPERCASE_LETTER:
    case U_LOWERCASE_LETTER:
    case U_TITLECASE_LETTER:
    case U_MODIFIER_LETTER:
    case U_ENCLOSING_MARK:
    case U_PRIVATE_USE_CHAR:
    case U_SURROGATE:
      return KRN_CP_LETTER;
    case U_OTHER_LETTER:
      return KRN_CP_IDEOGRAPH;
    case U_NON_SPACING_MARK:
    case U_COMBINING_SPACING_MARK:
    case U_MODIFIER_SYMBOL:
      return KRN_CP_MARK;
    case U_DECIMAL_DIGIT_NUMBER:
    case U_LETTER_NUMBER:
    case U_OTHER_NUMBER:
      return KRN_CP_NUMBER;
    case U_DASH_PUNCTUATION:
    case U_START_PUNCTUATION:
    case U_END_PUNCTUATION:
    case U_CONNECTOR_PUNCTUATION:
    case U_OTHER_PUNCTUATION:
    case U_MATH_SYMBOL:
    case U_CURRENCY_SYMBOL:
    case U_INITIAL_PUNCTUATION:
    case U_FINAL_PUNCTUATION:
      return KRN_CP_PUNCTUATION;
    case U_OTHER_SYMBOL:
      return KRN_CP_SYMBOL;
    default:  // Cn, Zs, Zl, Zp, Cc, Cf
      return KRN_CP_SPACE;
  }
}

}  // namespace krn::impl

#endif
