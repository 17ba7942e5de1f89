#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <stdexcept>

#include "krn/krn_string.h"
#include "krn_string_grouping.h"
#include "krn_string_utf.h"

namespace krn {

using namespace impl;

namespace {

constexpr char DIGITS[] = "0123456789abcdef";

// The C locale's first group size and its thousands separator as code
// points; a group size of 0 when the locale does not group, or when its
// separator is empty or a control character (it would corrupt the text).
struct Grouping {
  std::size_t size = 0;
  std::u32string separator;
};

Grouping locale_grouping() {
  Grouping result;
  const std::lconv* conventions = std::localeconv();
  if (!conventions || !conventions->grouping || !conventions->thousands_sep) return result;
  const char first = conventions->grouping[0];
  if (first <= 0 || first == CHAR_MAX) return result;

  // The separator is in the locale's multibyte encoding, not necessarily
  // UTF-8 (a Latin-1 locale may use 0xA0).
  const char* sep = conventions->thousands_sep;
  std::size_t remaining = std::strlen(sep);
  std::mbstate_t state{};
  while (remaining > 0) {
    wchar_t wide = 0;
    const std::size_t used = std::mbrtowc(&wide, sep, remaining, &state);
    if (used == 0 || used > remaining) return result;  // (size_t)-1 and -2 are both above remaining
    result.separator.push_back(static_cast<char32_t>(wide));
    sep += used;
    remaining -= used;
  }
  if (result.separator.empty()) return result;
  const char32_t lead = result.separator[0];
  if (lead < 0x20 || (lead >= 0x7F && lead <= 0x9F) || lead > MAX_CODE_POINT) return result;
  result.size = static_cast<unsigned char>(first);
  return result;
}

void check_radix(unsigned short radix, const char* function) {
  if (radix < 2 || radix > 16) throw std::invalid_argument(std::string(function) + "() - radix must be from 2 to 16");
}

// The sign and digits of a number in ASCII, grouped when asked to.
template <class String>
void format_number(bool negative, uint64 magnitude, unsigned short radix, bool format, String& out,
                   void (*append)(String&, unsigned), const char* function) {
  check_radix(radix, function);
  char reversed[64];
  std::size_t count = 0;
  do {
    reversed[count++] = DIGITS[magnitude % radix];
    magnitude /= radix;
  } while (magnitude != 0);

  String result;
  if (negative) result.push_back('-');
  while (count > 0) result.push_back(reversed[--count]);

  if (format && radix == 10) {
    const Grouping grouping = locale_grouping();
    String separator;
    for (const char32_t cp : grouping.separator) append(separator, cp);
    group_digits(result, negative ? 1 : 0, grouping.size, separator);
  }
  out.swap(result);
}

uint64 magnitude_of(int64 value) {
  // Negating in unsigned arithmetic keeps INT64_MIN defined.
  return value < 0 ? 0 - static_cast<uint64>(value) : static_cast<uint64>(value);
}

template <class String, class Space>
bool is_number(const String& text, unsigned short radix, Space is_space) {
  std::size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  if (i == text.size()) return false;
  if (radix == 16) {
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) i += 2;
  } else if (text[i] == '+' || text[i] == '-') {
    ++i;
  }
  if (i == text.size()) return false;
  for (; i < text.size(); ++i) {
    const auto c = text[i];
    const bool decimal = c >= '0' && c <= '9';
    const bool hex = radix == 16 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
    if (!decimal && !hex) return false;
  }
  return true;
}

bool fits_int32(int64 value) { return value >= INT32_MIN && value <= INT32_MAX; }

}  // namespace

void krn_itow(int64 value, Wstring& out, unsigned short radix, bool format) {
  format_number(value < 0, magnitude_of(value), radix, format, out, utf16_append, "krn::krn_itow");
}

void krn_itow(uint64 value, Wstring& out, unsigned short radix, bool format) {
  format_number(false, value, radix, format, out, utf16_append, "krn::krn_itow");
}

void krn_itos(int64 value, std::string& out, unsigned short radix, bool format) {
  format_number(value < 0, magnitude_of(value), radix, format, out, utf8_append, "krn::krn_itos");
}

void krn_itos(uint64 value, std::string& out, unsigned short radix, bool format) {
  format_number(false, value, radix, format, out, utf8_append, "krn::krn_itos");
}

int64 krn_stoi64(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

int64 krn_wtoi64(const Wstring& text) {
  // Leading space is skipped by krn_is_space, as krn_is_number does, so that
  // every text krn_is_int32 accepts converts to its number (the C library
  // would stop at U+00A0 or U+3000).
  std::size_t first = 0;
  while (first < text.size() && krn_is_space(text[first])) ++first;
  std::string narrow;
  krn_wtos(text.substr(first), narrow);
  return krn_stoi64(narrow);
}

int krn_wtoi32(const Wstring& text) {
  if (!krn_is_int32(text)) throw std::invalid_argument("krn::krn_wtoi32 number is invalid");
  return static_cast<int>(krn_wtoi64(text));
}

bool krn_is_number(const Wstring& text, unsigned short radix) {
  return is_number(text, radix, [](wchar16 c) { return krn_is_space(c); });
}

bool krn_is_number(const std::string& text, unsigned short radix) {
  return is_number(text, radix, [](char c) { return krn_is_space(c); });
}

bool krn_is_int32(const Wstring& text) { return krn_is_number(text, 10) && fits_int32(krn_wtoi64(text)); }
bool krn_is_int32(const std::string& text) { return krn_is_number(text, 10) && fits_int32(krn_stoi64(text)); }

}  // namespace krn
