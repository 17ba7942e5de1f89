#include "krn_date_format.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

#include "krn/krn_string.h"
#include "port/port_time.h"

namespace krn::date_format {

namespace {

void append_ascii(Wstring& text, const char* ascii) {
  while (*ascii) text += static_cast<Char16>(*ascii++);
}

void append_number(Wstring& text, const char* format, long long value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, value);
  append_ascii(text, buffer);
}

// The C library's text for one conversion, widened from UTF-8 (names of
// months and days may be non-ASCII in the process's locale).
void append_strftime(Wstring& text, char conversion, const std::tm& tm) {
  const char format[3] = {'%', conversion, '\0'};
  char buffer[256];
  const size_t length = std::strftime(buffer, sizeof buffer, format, &tm);
  krn_string_append(text, buffer, length);
}

void append_year(Wstring& text, int year) { append_number(text, year < 1 ? "%05lld" : "%04lld", year); }

void append_short_date(Wstring& text, const Krn_date& date) {
  port::Date_order order = port::Date_order::day_month_year;
  std::string separator_utf8(1, '/');
  if (!port::user_date_order(order, separator_utf8)) {
    order = port::Date_order::day_month_year;
    separator_utf8.assign(1, '/');
  }
  Wstring separator;
  krn_utf8_to_utf16(separator_utf8, separator);
  int day = 0, month = 0, year = 0;
  Krn_date::calc_calendar_date(date.julian_day(), day, month, year);
  Wstring day_text, month_text, year_text;
  append_number(day_text, "%02lld", day);
  append_number(month_text, "%02lld", month);
  append_year(year_text, year);
  const Wstring* parts[3] = {&day_text, &month_text, &year_text};
  if (order == port::Date_order::month_day_year) std::swap(parts[0], parts[1]);
  if (order == port::Date_order::year_month_day) std::swap(parts[0], parts[2]);
  text += *parts[0];
  text += separator;
  text += *parts[1];
  text += separator;
  text += *parts[2];
}

}  // namespace

void throw_invalid_token(const char* text) { throw std::invalid_argument(text); }

std::tm broken_down(const Krn_date& date, const Krn_time& time) {
  std::tm tm{};
  date.to_tm(tm);
  time.to_tm(tm);
  tm.tm_isdst = -1;
  return tm;
}

bool is_date_token(Char16 token) { return token < 0x80 && std::strchr("ABUYabdjmwx", static_cast<char>(token)) && token; }
bool is_time_token(Char16 token) { return token < 0x80 && std::strchr("HIMSXp", static_cast<char>(token)) && token; }

bool append_date_token(Char16 token, const Krn_date& date, const std::tm& tm, Wstring& text) {
  switch (token) {
    case u'A': case u'B': case u'U': case u'a': case u'b': case u'd': case u'j': case u'm':
      append_strftime(text, static_cast<char>(token), tm);
      return true;
    case u'Y':
      append_year(text, date.year());
      return true;
    case u'w':
      append_number(text, "%lld", date.weekday());
      return true;
    case u'x':
      append_short_date(text, date);
      return true;
    default:
      return false;
  }
}

bool append_time_token(Char16 token, const std::tm& tm, Wstring& text) {
  switch (token) {
    case u'H': case u'I': case u'M': case u'S': case u'X': case u'p':
      append_strftime(text, static_cast<char>(token), tm);
      return true;
    default:
      return false;
  }
}

}  // namespace krn::date_format
