#include <stdexcept>

#include "krn/krn_string.h"
#include "krn_string_utf.h"

namespace krn {

using namespace impl;

namespace {

// Room reserved before an appending conversion, so that short appends to a
// growing string do not reallocate on every call.
constexpr size_t APPEND_RESERVE_UNITS = 64;
constexpr size_t APPEND_RESERVE_BYTES = 128;

void append_utf8_as_utf16(Wstring& out, const char* in, size_t length) {
  const unsigned char* s = bytes(in);
  for (size_t i = 0; i < length;) utf16_append(out, utf8_decode(s, length, i));
}

void append_utf16_as_utf8(std::string& out, const wchar16* in, size_t length) {
  for (size_t i = 0; i < length;) utf8_append(out, utf16_decode(in, length, i));
}

}  // namespace

void krn_stow(const std::string& in, Wstring& out) {
  out.resize(in.size());
  for (size_t i = 0; i < in.size(); ++i) out[i] = static_cast<unsigned char>(in[i]);
}

void krn_wtos(const Wstring& in, std::string& out, bool strict) {
  std::string narrow(in.size(), '?');
  for (size_t i = 0; i < in.size(); ++i) {
    const wchar16 unit = in[i];
    if (unit < 256) {
      narrow[i] = static_cast<char>(unit);
    } else if (strict && unit != REPLACEMENT_CHAR) {
      throw std::logic_error("Failed to convert wide string to narrow string.");
    }
  }
  out.swap(narrow);
}

void krn_utf16_to_utf8(const wchar16* in, std::string& out) {
  out.clear();
  append_utf16_as_utf8(out, in, length_of(in));
}

void krn_utf16_to_utf8(const Wstring& in, std::string& out) {
  std::string result;
  append_utf16_as_utf8(result, in.data(), in.size());
  out.swap(result);
}

void krn_utf8_to_utf16(const char* in, Wstring& out) { krn_utf8_to_utf16(in, length_of(in), out); }

void krn_utf8_to_utf16(const char* in, size_t length, Wstring& out) {
  Wstring result;
  if (in) append_utf8_as_utf16(result, in, length);
  out.swap(result);
}

void krn_utf8_to_utf16(const std::string& in, Wstring& out) { krn_utf8_to_utf16(in.data(), in.size(), out); }

void krn_utf16_to_utf32(const wchar16* in, std::u32string& out) {
  std::u32string result;
  const size_t length = length_of(in);
  for (size_t i = 0; i < length;) result.push_back(utf16_decode(in, length, i));
  out.swap(result);
}

void krn_utf8_to_utf32(const char* in, std::u32string& out) {
  std::u32string result;
  const size_t length = length_of(in);
  for (size_t i = 0; i < length;) result.push_back(utf8_decode(bytes(in), length, i));
  out.swap(result);
}

void krn_utf32_to_utf16(const char32_t* in, Wstring& out) {
  Wstring result;
  for (const char32_t* p = in; p && *p; ++p) utf16_append(result, *p);
  out.swap(result);
}

void krn_utf32_to_utf8(const char32_t* in, std::string& out) {
  std::string result;
  for (const char32_t* p = in; p && *p; ++p) utf8_append(result, *p);
  out.swap(result);
}

void krn_string_append(Wstring& out, const char* utf8) {
  if (utf8) krn_string_append(out, utf8, length_of(utf8));
}

void krn_string_append(Wstring& out, const char* utf8, size_t length) {
  if (!utf8) return;
  out.reserve(out.size() + APPEND_RESERVE_UNITS);
  append_utf8_as_utf16(out, utf8, length);
}

void krn_string_append(std::string& out, const wchar16* utf16) {
  if (!utf16) return;
  out.reserve(out.size() + APPEND_RESERVE_BYTES);
  append_utf16_as_utf8(out, utf16, length_of(utf16));
}

void krn_string_append(std::string& out, unsigned code_point) { utf8_append(out, code_point); }

unsigned krn_utf16_to_utf32_char(const wchar16* s, size_t& index) {
  if (!s || index == KRN_NPOS || s[index] == 0) {
    index = KRN_NPOS;
    return 0;
  }
  // The terminator is never a low surrogate, so the pair test cannot read
  // past it.
  return utf16_decode(s, KRN_NPOS, index);
}

unsigned krn_utf8_to_utf32_char(const char* s, size_t& index) {
  if (!s || index == KRN_NPOS || s[index] == 0) {
    index = KRN_NPOS;
    return 0;
  }
  // The terminator is never a continuation byte, so decoding stops at it.
  return utf8_decode(bytes(s), KRN_NPOS, index);
}

unsigned krn_utf_8_character_length(unsigned char lead) { return 1 + utf8_continuation_count(lead); }

void krn_extract_uuid_le(GUID& out, const GUID& in) { out = in; }

void krn_extract_uuid_be(GUID& out, const GUID& in) {
  const GUID copy = in;
  out.data1 = __builtin_bswap32(copy.data1);
  out.data2 = __builtin_bswap16(copy.data2);
  out.data3 = __builtin_bswap16(copy.data3);
  for (int i = 0; i < 8; ++i) out.data4[i] = copy.data4[i];
}

}  // namespace krn
