#ifndef KRN_STRING_UTF_H
#define KRN_STRING_UTF_H

// The decoders and encoders every string function shares, so that malformed
// input is treated the same way everywhere: it never fails, it becomes
// U+FFFD.

#include <cstddef>
#include <string>

#include "krn/krn_types.h"

namespace krn::impl {

inline constexpr unsigned REPLACEMENT_CHAR = 0xFFFD;
inline constexpr unsigned MAX_CODE_POINT = 0x10FFFF;

inline bool is_high_surrogate(unsigned unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool is_low_surrogate(unsigned unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The code point at s[i] (i < length); i moves past it. An unpaired surrogate
// is U+FFFD and decoding resumes with the next unit.
inline unsigned utf16_decode(const wchar16* s, std::size_t length, std::size_t& i) {
  const unsigned unit = s[i++];
  if (unit < 0xD800 || unit > 0xDFFF) return unit;
  if (is_high_surrogate(unit) && i < length && is_low_surrogate(s[i])) {
    return 0x10000 + ((unit - 0xD800) << 10) + (s[i++] - 0xDC00u);
  }
  return REPLACEMENT_CHAR;
}

// The number of continuation bytes a lead byte announces; 0 also for bytes
// that cannot start a sequence.
inline unsigned utf8_continuation_count(unsigned char lead) {
  if (lead < 0xC0 || lead >= 0xFE) return 0;
  if (lead < 0xE0) return 1;
  if (lead < 0xF0) return 2;
  if (lead < 0xF8) return 3;
  if (lead < 0xFC) return 4;
  return 5;
}

// The code point at s[i] (i < length); i moves past it. A missing or
// malformed continuation byte makes the sequence U+FFFD and decoding resumes
// at that byte. Overlong forms and encoded surrogates are accepted; a value
// beyond U+10FFFF (five- and six-byte forms) is U+FFFD, because no encoder
// could write it back without corrupting it.
inline unsigned utf8_decode(const unsigned char* s, std::size_t length, std::size_t& i) {
  const unsigned char lead = s[i++];
  if (lead < 0x80) return lead;
  const unsigned count = utf8_continuation_count(lead);
  if (count == 0) return REPLACEMENT_CHAR;
  unsigned cp = lead & ((1u << (6 - count)) - 1);
  for (unsigned k = 0; k < count; ++k) {
    if (i >= length || (s[i] & 0xC0) != 0x80) return REPLACEMENT_CHAR;
    cp = (cp << 6) | (s[i++] & 0x3Fu);
  }
  return cp > MAX_CODE_POINT ? REPLACEMENT_CHAR : cp;
}

inline void utf8_append(std::string& out, unsigned cp) {
  if (cp > MAX_CODE_POINT) cp = REPLACEMENT_CHAR;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Writes the UTF-16 form of cp into units[0..1]; returns how many were used.
inline unsigned utf16_encode(unsigned cp, wchar16* units) {
  if (cp > MAX_CODE_POINT) cp = REPLACEMENT_CHAR;
  if (cp < 0x10000) {
    units[0] = static_cast<wchar16>(cp);
    return 1;
  }
  cp -= 0x10000;
  units[0] = static_cast<wchar16>(0xD800 | ((cp >> 10) & 0x3FF));
  units[1] = static_cast<wchar16>(0xDC00 | (cp & 0x3FF));
  return 2;
}

inline void utf16_append(Wstring& out, unsigned cp) {
  wchar16 units[2];
  out.append(units, utf16_encode(cp, units));
}

inline std::size_t length_of(const wchar16* s) { return s ? std::char_traits<wchar16>::length(s) : 0; }
inline std::size_t length_of(const char* s) { return s ? std::char_traits<char>::length(s) : 0; }

inline const unsigned char* bytes(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

}  // namespace krn::impl

#endif
