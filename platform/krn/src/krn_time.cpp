#include <stdexcept>

#include "krn/krn_date.h"
#include "krn/krn_time.h"
#include "krn_date_format.h"
#include "port/port_time.h"

namespace krn {

Krn_time::Krn_time(int hours, int minutes, int seconds, int microseconds) { set(hours, minutes, seconds, microseconds); }

Krn_time::Krn_time(int64 seconds) : m_time(seconds % 86400) { wrap(); }

Krn_time::Krn_time(const std::tm& tm, int microseconds) { set(tm.tm_hour, tm.tm_min, tm.tm_sec, microseconds); }

Krn_time::Krn_time(const Krn_time_period& period) : m_time(period) { wrap(); }

void Krn_time::set(int hours, int minutes, int seconds, int microseconds) {
  if (!valid_hour(hours) || !valid_minute(minutes) || !valid_second(seconds) || !valid_microsecond(microseconds))
    throw std::invalid_argument("Invalid argument to Krn_time::set()");
  m_time = Krn_time_period(0, hours, minutes, seconds, microseconds);
}

Krn_time Krn_time::now() {
  int64 local_seconds = 0;
  std::int32_t microseconds = 0;
  port::local_now(local_seconds, microseconds);
  return Krn_time(Krn_time_period(local_seconds % 86400, microseconds / 1000 * 1000));
}

// Whole days go first, so that the remainder cannot overflow whatever the
// period; a negative remainder counts back from midnight.
void Krn_time::wrap() {
  const int64 days = m_time.days();
  if (days != 0) m_time -= Krn_time_period(days * 86400);
  if (m_time < Krn_time_period::ZERO) m_time += Krn_time_period(86400);
}

Krn_time& Krn_time::operator+=(const Krn_time_period& period) {
  m_time += Krn_time_period(period.seconds() % 86400, period.microseconds());
  wrap();
  return *this;
}

Krn_time& Krn_time::operator-=(const Krn_time_period& period) {
  m_time -= Krn_time_period(period.seconds() % 86400, period.microseconds());
  wrap();
  return *this;
}

void Krn_time::to_tm(std::tm& tm) const {
  tm.tm_hour = hours();
  tm.tm_min = minutes();
  tm.tm_sec = seconds();
}

bool Krn_time::is_format_token(Char16 unit) {
  return unit == u'%' || date_format::is_time_token(unit);
}

void Krn_time::to_string(const Wstring& format, Wstring& text) const {
  const std::tm tm = date_format::broken_down(Krn_date(), *this);
  date_format::format(format, text, "Krn_time::to_string - invalid format token.",
                      [&](Char16 token, Wstring& out) { return date_format::append_time_token(token, tm, out); });
}

}  // namespace krn
