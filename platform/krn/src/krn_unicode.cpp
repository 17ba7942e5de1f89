#include "krn/krn_unicode.h"

#include <unicode/uchar.h>

#include "krn_unicode_category.h"

namespace krn::impl {

unsigned krn_get_icu_char_type(unsigned code_point) {
  return krn_type_of_category(u_charType(static_cast<UChar32>(code_point)));
}

}  // namespace krn::impl
