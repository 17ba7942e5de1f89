#ifndef KRN_DATE_FORMAT_H
#define KRN_DATE_FORMAT_H

// The "%" token printers shared by the date, time and date-and-time classes,
// so that a date-and-time prints its parts exactly as the parts do.

#include <ctime>

#include "krn/krn_date.h"
#include "krn/krn_time.h"

namespace krn::date_format {

// A tm with every field that strftime may read set, for the given date and
// time (the C library's own conventions: months from 0, years from 1900).
std::tm broken_down(const Krn_date& date, const Krn_time& time);

// Each appends the text of one token and returns true, or returns false when
// the character is not one of the class's tokens ("%%" is left to the caller).
bool is_date_token(Char16 token);
bool is_time_token(Char16 token);
bool append_date_token(Char16 token, const Krn_date& date, const std::tm& tm, Wstring& text);
bool append_time_token(Char16 token, const std::tm& tm, Wstring& text);

[[noreturn]] void throw_invalid_token(const char* text);

// Walks a format: copies plain characters, turns "%%" into "%" and hands
// every other token to printer(token, out), which returns false for one it
// does not know. An unknown token, or a "%" at the end, throws
// std::invalid_argument with the given text and leaves text as it was.
template <class Printer>
void format(const Wstring& format, Wstring& text, const char* invalid_token, Printer printer) {
  Wstring out;
  for (size_t i = 0; i < format.size(); ++i) {
    const Char16 unit = format[i];
    if (unit != u'%') {
      out += unit;
      continue;
    }
    if (++i == format.size()) throw_invalid_token(invalid_token);
    if (format[i] == u'%') {
      out += u'%';
      continue;
    }
    if (!printer(format[i], out)) throw_invalid_token(invalid_token);
  }
  text += out;
}

}  // namespace krn::date_format

#endif
