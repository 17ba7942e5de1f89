#ifndef KRN_TYPES_H
#define KRN_TYPES_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "krn/krn_export.h"

namespace krn {

// System text is UTF-16 in 16-bit units everywhere; wchar_t is 32 bits on
// this platform and is never used for it.
using Char16 = char16_t;
using wchar16 = char16_t;
using Wstring = std::u16string;

using int64 = std::int64_t;
using uint64 = std::uint64_t;

// A 16-byte identifier; the first three groups are stored little-endian.
struct GUID {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];

  friend bool operator==(const GUID&, const GUID&) = default;
};

// The largest unsigned 64-bit value: "no position".
inline constexpr std::uint64_t KRN_NPOS = 0xFFFFFFFFFFFFFFFFull;

enum Krn_seek_mode { KRN_SEEK_START = 0, KRN_SEEK_CURRENT = 1, KRN_SEEK_END = 2 };

enum Krn_eol { KRN_EOL_NONE = 0, KRN_EOL_CR = 1, KRN_EOL_LF = 2, KRN_EOL_CRLF = 3 };

}  // namespace krn

#endif
