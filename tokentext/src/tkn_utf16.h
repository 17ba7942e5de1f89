#ifndef TKN_UTF16_H
#define TKN_UTF16_H

// Code point arithmetic over UTF-16 units. Offsets inside token texts are
// counted in code points, so that a surrogate pair is one character whatever
// form (source, normalised, lower-case, redacted) is being read.

#include <cstddef>

#include "krn/krn_types.h"

namespace tkn {

inline bool tkn_is_high_surrogate(krn::Char16 unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool tkn_is_low_surrogate(krn::Char16 unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The number of code points in units[0, size); a lone surrogate counts once.
inline std::size_t tkn_code_points(const krn::Char16* units, std::size_t size) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (tkn_is_high_surrogate(units[i]) && i + 1 < size && tkn_is_low_surrogate(units[i + 1])) ++i;
    ++count;
  }
  return count;
}

// The unit index at which code point number `points` starts (size when the
// text has fewer).
inline std::size_t tkn_unit_offset(const krn::Char16* units, std::size_t size, std::size_t points) {
  std::size_t i = 0;
  while (points > 0 && i < size) {
    if (tkn_is_high_surrogate(units[i]) && i + 1 < size && tkn_is_low_surrogate(units[i + 1])) ++i;
    ++i;
    --points;
  }
  return i;
}

// Appends a code point as one unit or a surrogate pair; a value beyond
// Unicode becomes U+FFFD rather than a cut-off unit.
inline void tkn_append_code_point(krn::Wstring& out, unsigned code_point) {
  if (code_point > 0x10FFFF) code_point = 0xFFFD;
  if (code_point > 0xFFFF) {
    code_point -= 0x10000;
    out.push_back(static_cast<krn::Char16>(0xD800 + (code_point >> 10)));
    out.push_back(static_cast<krn::Char16>(0xDC00 + (code_point & 0x3FF)));
  } else {
    out.push_back(static_cast<krn::Char16>(code_point));
  }
}

}  // namespace tkn

#endif
