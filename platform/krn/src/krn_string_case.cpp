#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/utypes.h>

#include <cctype>
#include <cstdint>

#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_string.h"
#include "krn_string_utf.h"

namespace krn {

using namespace impl;

namespace {

// Most values fit the first attempt; larger ones are normalised once more
// with the exact size ICU reports.
constexpr int32_t NORMALIZE_AREA_UNITS = 4096;

// Maps each code point of text in place. A code point the mapping leaves
// alone keeps its units, so an unpaired surrogate is not replaced by U+FFFD.
void map_in_place(Wstring& text, unsigned (*map)(unsigned)) {
  for (size_t i = 0; i < text.size();) {
    const size_t start = i;
    const unsigned cp = utf16_decode(text.data(), text.size(), i);
    const unsigned mapped = map(cp);
    if (mapped == cp) continue;
    wchar16 units[2];
    const unsigned count = utf16_encode(mapped, units);
    text.replace(start, i - start, units, count);
    i = start + count;
  }
}

// Case bits of a code point: the table below its end, ICU above, by the
// same rule the table generator applies.
unsigned char case_bits(unsigned cp) {
  if (cp < KRN_UNICODE_BIT_TABLE_LEN) return KRN_UNICODE_BIT_TABLE[cp] & (KRN_UNICODE_LOWER | KRN_UNICODE_UPPER);
  const auto c = static_cast<UChar32>(cp);
  const bool title = u_charType(c) == U_TITLECASE_LETTER;
  unsigned char bits = 0;
  if (u_isULowercase(c) || title) bits |= KRN_UNICODE_LOWER;
  if (u_isUUppercase(c) || title) bits |= KRN_UNICODE_UPPER;
  return bits;
}

// True when text has a code point with `wanted` and none with `unwanted`.
bool has_only_case(const Wstring& text, unsigned char wanted, unsigned char unwanted) {
  bool found = false;
  for (size_t i = 0; i < text.size();) {
    const unsigned char bits = case_bits(utf16_decode(text.data(), text.size(), i));
    if (bits & unwanted) return false;
    if (bits & wanted) found = true;
  }
  return found;
}

unsigned lower_cp(unsigned cp) { return krn_lower(cp); }
unsigned upper_cp(unsigned cp) { return krn_upper(cp); }

}  // namespace

unsigned krn_lower(unsigned code_point) {
  if (code_point >= 'A' && code_point <= 'Z') return code_point + 32;
  if (code_point < 128 || code_point > MAX_CODE_POINT) return code_point;
  if (code_point < KRN_UNICODE_BIT_TABLE_LEN && !(KRN_UNICODE_BIT_TABLE[code_point] & KRN_UNICODE_UPPER)) {
    return code_point;
  }
  return static_cast<unsigned>(u_tolower(static_cast<UChar32>(code_point)));
}

unsigned krn_upper(unsigned code_point) {
  if (code_point >= 'a' && code_point <= 'z') return code_point - 32;
  if (code_point < 128 || code_point > MAX_CODE_POINT) return code_point;
  if (code_point < KRN_UNICODE_BIT_TABLE_LEN && !(KRN_UNICODE_BIT_TABLE[code_point] & KRN_UNICODE_LOWER)) {
    return code_point;
  }
  return static_cast<unsigned>(u_toupper(static_cast<UChar32>(code_point)));
}

void krn_lower(Wstring& text) { map_in_place(text, lower_cp); }
void krn_upper(Wstring& text) { map_in_place(text, upper_cp); }

void krn_lower(const Wstring& in, Wstring& out) {
  if (&in != &out) out = in;
  krn_lower(out);
}

void krn_upper(const Wstring& in, Wstring& out) {
  if (&in != &out) out = in;
  krn_upper(out);
}

void krn_lower(std::string& text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

void krn_upper(std::string& text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

void krn_lower(const std::string& in, std::string& out) {
  if (&in != &out) out = in;
  krn_lower(out);
}

void krn_upper(const std::string& in, std::string& out) {
  if (&in != &out) out = in;
  krn_upper(out);
}

bool krn_is_lower(const Wstring& text) { return has_only_case(text, KRN_UNICODE_LOWER, KRN_UNICODE_UPPER); }
bool krn_is_upper(const Wstring& text) { return has_only_case(text, KRN_UNICODE_UPPER, KRN_UNICODE_LOWER); }

void krn_normalize(const Wstring& in, Wstring& out, Krn_status& status) {
  status.clear();
  UErrorCode error = U_ZERO_ERROR;
  const UNormalizer2* nfkc = unorm2_getNFKCInstance(&error);
  if (U_SUCCESS(error) && in.size() > static_cast<size_t>(INT32_MAX)) error = U_INDEX_OUTOFBOUNDS_ERROR;
  if (U_FAILURE(error)) {
    out.clear();
    krn_translate_icu_error(error, status);
    return;
  }

  const auto length = static_cast<int32_t>(in.size());
  wchar16 area[NORMALIZE_AREA_UNITS];
  int32_t produced = unorm2_normalize(nfkc, in.data(), length, area, NORMALIZE_AREA_UNITS, &error);
  if (error != U_BUFFER_OVERFLOW_ERROR) {
    if (U_FAILURE(error)) {
      out.clear();
      krn_translate_icu_error(error, status);
      return;
    }
    out.assign(area, static_cast<size_t>(produced));
    return;
  }

  // A fresh string, so that in and out may be the same object.
  Wstring result(static_cast<size_t>(produced) + 1, u'\0');
  error = U_ZERO_ERROR;
  produced = unorm2_normalize(nfkc, in.data(), length, result.data(), static_cast<int32_t>(result.size()), &error);
  if (U_FAILURE(error)) {
    out.clear();
    krn_translate_icu_error(error, status);
    return;
  }
  result.resize(static_cast<size_t>(produced));
  out.swap(result);
}

bool krn_can_normalize(const Wstring& text) {
  for (size_t i = 0; i < text.size();) {
    const unsigned cp = utf16_decode(text.data(), text.size(), i);
    if (cp < KRN_UNICODE_BIT_TABLE_LEN && (KRN_UNICODE_BIT_TABLE[cp] & KRN_UNICODE_NFKC)) return true;
  }
  return false;
}

void krn_translate_icu_error(int code, Krn_status& status) {
  switch (code) {
    case U_ZERO_ERROR:
      status.clear();
      return;
    case U_INVALID_CHAR_FOUND:
      status = KRN_E_ICU_INVALID_CHAR;
      return;
    case U_TRUNCATED_CHAR_FOUND:
      status = KRN_E_ICU_TRUNCATED_CHAR;
      return;
    case U_ILLEGAL_CHAR_FOUND:
      status = KRN_E_ICU_ILLEGAL_CHAR;
      return;
    case U_ILLEGAL_ESCAPE_SEQUENCE:
      status = KRN_E_ICU_ILLEGAL_ESCAPE;
      return;
    case U_UNSUPPORTED_ESCAPE_SEQUENCE:
      status = KRN_E_ICU_UNSUPPORTED_ESCAPE;
      return;
    default:
      status.assign(KRN_E_ICU_ERROR, Krn_int_status_arg(code, true));
      return;
  }
}

}  // namespace krn
