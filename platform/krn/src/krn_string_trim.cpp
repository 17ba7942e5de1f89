#include <unicode/uchar.h>

#include <algorithm>
#include <cctype>
#include <type_traits>

#include "krn/krn_string.h"
#include "krn_string_utf.h"

namespace krn {

using namespace impl;

namespace {

constexpr wchar16 BYTE_ORDER_MARK = 0xFEFF;
constexpr char UTF8_BYTE_ORDER_MARK[] = "\xEF\xBB\xBF";

bool is_wide_space(wchar16 unit) { return krn_is_space(unit); }
bool is_narrow_space(char c) { return krn_is_space(c); }

bool is_control(unsigned unit) { return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F); }

template <class String, class Pred>
void trim_leading_if(String& text, Pred pred) {
  const auto first = std::find_if_not(text.begin(), text.end(), pred);
  text.erase(text.begin(), first);
}

template <class String, class Pred>
void trim_trailing_if(String& text, Pred pred) {
  const auto last = std::find_if_not(text.rbegin(), text.rend(), pred);
  text.erase(last.base(), text.end());
}

template <class String, class Pred>
void remove_all_if(String& text, Pred pred) {
  text.erase(std::remove_if(text.begin(), text.end(), pred), text.end());
}

template <class String>
bool strip_unmatched_quotes(const String& in, String& out) {
  using Char = typename String::value_type;
  const Char quote = '"';
  const bool opens = !in.empty() && in.front() == quote;
  const bool closes = !in.empty() && in.back() == quote;
  if (opens == closes) {
    out.clear();
    return false;
  }
  // Built aside: in and out may be the same string.
  String rest = closes ? in.substr(0, in.size() - 1) : in.substr(1);
  out.swap(rest);
  return true;
}

template <class String>
bool unquote(String& text) {
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') return false;
  text.pop_back();
  text.erase(0, 1);
  return true;
}

template <class String>
void strip_quotes(String& text) {
  using Char = typename String::value_type;
  const auto is_quote = [](Char c) { return c == '"'; };
  trim_leading_if(text, is_quote);
  trim_trailing_if(text, is_quote);
}

template <class String>
void to_xml(const String& in, String& out, bool escape_backslash) {
  using Char = typename String::value_type;
  const Char escape = '\\';
  String result;
  result.reserve(in.size());
  for (const Char c : in) {
    const auto unit = static_cast<std::make_unsigned_t<Char>>(c);
    if (c == escape) {
      result.push_back(c);
      if (escape_backslash) result.push_back(c);
    } else if (unit < 0x1F) {
      result.push_back(escape);
      result.push_back(static_cast<Char>(unit + 96));
    } else if (unit == 0x1F) {
      result.push_back(escape);
      result.push_back('_');
    } else {
      result.push_back(c);
    }
  }
  out.swap(result);
}

// An escape the writer never produces (a backslash before anything but a
// backslash, "_" or one of "`a".."~") is kept literally: subtracting 96 from
// such a unit would wrap around and corrupt the text.
template <class String>
void from_xml(const String& in, String& out) {
  using Char = typename String::value_type;
  const Char escape = '\\';
  String result;
  result.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const Char c = in[i];
    if (c != escape) {
      result.push_back(c);
      continue;
    }
    if (i + 1 == in.size()) break;
    const Char next = in[++i];
    const auto unit = static_cast<std::make_unsigned_t<Char>>(next);
    if (next == escape) {
      result.push_back(next);
    } else if (next == '_') {
      result.push_back(0x1F);
    } else if (unit >= 0x60 && unit < 0x7F) {
      result.push_back(static_cast<Char>(unit - 96));
    } else {
      result.push_back(c);
      result.push_back(next);
    }
  }
  out.swap(result);
}

// True for a letter or a mark: the types that make up words.
bool is_alpha_type(unsigned cp) {
  const unsigned type = krn_unicode_char_type(cp);
  return type == KRN_CP_MARK || type == KRN_CP_LETTER || type == KRN_CP_IDEOGRAPH;
}

}  // namespace

bool krn_is_space(wchar16 unit) {
  if (unit < 255) return (unit >= 0x09 && unit <= 0x0D) || unit == 0x20 || unit == 0xA0;
  return u_isspace(unit);
}

bool krn_is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool krn_is_blank(const Wstring& text) { return std::all_of(text.begin(), text.end(), is_wide_space); }
bool krn_is_blank(const std::string& text) { return std::all_of(text.begin(), text.end(), is_narrow_space); }

bool krn_is_alpha(const Wstring& text) {
  size_t i = 0;
  while (i < text.size() && krn_is_space(text[i])) ++i;
  if (i == text.size()) return false;
  while (i < text.size()) {
    if (!is_alpha_type(utf16_decode(text.data(), text.size(), i))) return false;
  }
  return true;
}

bool krn_is_alpha(const std::string& utf8) {
  size_t i = 0;
  while (i < utf8.size() && krn_is_space(utf8[i])) ++i;
  if (i == utf8.size()) return false;
  while (i < utf8.size()) {
    if (!is_alpha_type(utf8_decode(bytes(utf8.data()), utf8.size(), i))) return false;
  }
  return true;
}

void krn_trim(Wstring& text) {
  trim_trailing_if(text, is_wide_space);
  trim_leading_if(text, is_wide_space);
}

void krn_trim_leading(Wstring& text) { trim_leading_if(text, is_wide_space); }
void krn_trim_trailing(Wstring& text) { trim_trailing_if(text, is_wide_space); }
void krn_trim_leading_chars(Wstring& text, wchar16 unit) {
  trim_leading_if(text, [unit](wchar16 c) { return c == unit; });
}
void krn_trim_trailing_chars(Wstring& text, wchar16 unit) {
  trim_trailing_if(text, [unit](wchar16 c) { return c == unit; });
}
void krn_trim_all(Wstring& text) { remove_all_if(text, is_wide_space); }
void krn_trim_all_ctrl(Wstring& text) {
  remove_all_if(text, [](wchar16 c) { return is_control(c); });
}
void krn_trim_unicode_leading(Wstring& text) {
  trim_leading_if(text, [](wchar16 c) { return c == BYTE_ORDER_MARK; });
}

void krn_trim(std::string& text) {
  trim_trailing_if(text, is_narrow_space);
  trim_leading_if(text, is_narrow_space);
}

void krn_trim_leading(std::string& text) { trim_leading_if(text, is_narrow_space); }
void krn_trim_trailing(std::string& text) { trim_trailing_if(text, is_narrow_space); }
void krn_trim_leading_chars(std::string& text, char c) {
  trim_leading_if(text, [c](char x) { return x == c; });
}
void krn_trim_trailing_chars(std::string& text, char c) {
  trim_trailing_if(text, [c](char x) { return x == c; });
}
void krn_trim_all(std::string& text) { remove_all_if(text, is_narrow_space); }
void krn_trim_all_ctrl(std::string& text) {
  // Only single-byte controls: bytes 0x80-0x9F are parts of UTF-8 sequences.
  remove_all_if(text, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}
void krn_trim_unicode_leading(std::string& text) {
  while (text.compare(0, 3, UTF8_BYTE_ORDER_MARK) == 0) text.erase(0, 3);
}

bool krn_strip_unmatched_quotes(const Wstring& in, Wstring& out) { return strip_unmatched_quotes(in, out); }
bool krn_strip_unmatched_quotes(const std::string& in, std::string& out) { return strip_unmatched_quotes(in, out); }

void krn_quote(const Wstring& in, Wstring& out) {
  Wstring result;
  result.reserve(in.size() + 2);
  result.push_back(u'"');
  result.append(in);
  result.push_back(u'"');
  out.swap(result);
}

void krn_quote(Wstring& text) { krn_quote(text, text); }
bool krn_unquote(Wstring& text) { return unquote(text); }
bool krn_unquote(std::string& text) { return unquote(text); }
void krn_strip_quotes(Wstring& text) { strip_quotes(text); }
void krn_strip_quotes(std::string& text) { strip_quotes(text); }

void krn_wstring_to_xml(const Wstring& in, Wstring& out, bool escape_backslash) { to_xml(in, out, escape_backslash); }
void krn_wstring_to_xml(Wstring& text, bool escape_backslash) { to_xml(text, text, escape_backslash); }
void krn_wstring_from_xml(const Wstring& in, Wstring& out) { from_xml(in, out); }
void krn_string_to_xml(const std::string& in, std::string& out, bool escape_backslash) {
  to_xml(in, out, escape_backslash);
}
void krn_string_from_xml(const std::string& in, std::string& out) { from_xml(in, out); }

}  // namespace krn
