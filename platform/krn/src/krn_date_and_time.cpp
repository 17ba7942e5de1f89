#include <stdexcept>

#include "krn/krn_date.h"
#include "krn_date_format.h"
#include "port/port_time.h"

namespace krn {

namespace {

constexpr int64 SECONDS_PER_DAY = 86400;

// The period must fall on a day that Krn_date accepts.
const Krn_time_period& checked(const Krn_time_period& period, const char* text) {
  if (period < Krn_time_period::ZERO || !Krn_date::is_julian_day(period.seconds() / SECONDS_PER_DAY))
    throw std::invalid_argument(text);
  return period;
}

const char* const INVALID_CONSTRUCTION =
    "Krn_date_and_time::Krn_date_and_time() - time period is not a valid julian day.";
const char* const INVALID_ASSIGNMENT = "Krn_date_and_time::operator=() - time period is not a valid julian day.";

Krn_time_period start_of(const Krn_date& date) { return Krn_time_period(date.julian_day() * SECONDS_PER_DAY); }

}  // namespace

Krn_date_and_time::Krn_date_and_time() : m_time(start_of(Krn_date())) {}

Krn_date_and_time::Krn_date_and_time(const Krn_date& date, const Krn_time& time, const Krn_time_zone& zone)
    : m_time(start_of(date) + time.period()), m_zone(zone) {}

Krn_date_and_time::Krn_date_and_time(const std::tm& tm, const Krn_time_zone& zone)
    : Krn_date_and_time(Krn_date(tm), Krn_time(tm), zone) {}

Krn_date_and_time::Krn_date_and_time(const Krn_time_period& period, const Krn_time_zone& zone)
    : m_time(checked(period, INVALID_CONSTRUCTION)), m_zone(zone) {}

Krn_date_and_time::Krn_date_and_time(Min_t)
    : m_time(start_of(Krn_date::min_date())), m_zone(Krn_time_zone::local(true)) {}

Krn_date_and_time::Krn_date_and_time(Max_t)
    : m_time(start_of(Krn_date::max_date()) + Krn_time::max_time().period()), m_zone(Krn_time_zone::local(true)) {}

Krn_date_and_time::Krn_date_and_time(Now_t) : m_zone(Krn_time_zone::local(true)) {
  int64 local_seconds = 0;
  std::int32_t microseconds = 0;
  port::local_now(local_seconds, microseconds);
  const Krn_time_period since_1970(local_seconds, 0);
  m_time = checked(start_of(Krn_date()) + since_1970 + Krn_time_period(0, microseconds / 1000 * 1000),
                   INVALID_CONSTRUCTION);
}

Krn_date_and_time Krn_date_and_time::now() { return Krn_date_and_time(Now_t{}); }
Krn_date_and_time Krn_date_and_time::min_date_and_time() { return Krn_date_and_time(Min_t{}); }
Krn_date_and_time Krn_date_and_time::max_date_and_time() { return Krn_date_and_time(Max_t{}); }

void Krn_date_and_time::set_date(const Krn_date& date) { m_time = start_of(date) + time().period(); }

void Krn_date_and_time::set_time(const Krn_time& time) { m_time = start_of(date()) + time.period(); }

Krn_date_and_time& Krn_date_and_time::utc() {
  m_time = checked(m_time + m_zone.offset(), "Krn_date_and_time::utc() - time period is not a valid julian day.");
  m_zone = Krn_time_zone::UTC;
  return *this;
}

Krn_date_and_time Krn_date_and_time::utc() const {
  Krn_date_and_time copy(*this);
  copy.utc();
  return copy;
}

Krn_date_and_time& Krn_date_and_time::operator=(const Krn_time_period& period) {
  m_time = checked(period, INVALID_ASSIGNMENT);
  return *this;
}

void Krn_date_and_time::to_tm(std::tm& tm) const {
  date().to_tm(tm);
  time().to_tm(tm);
  tm.tm_isdst = m_zone.is_dst() ? 1 : 0;
}

bool Krn_date_and_time::is_format_token(Char16 unit) {
  return unit == u'%' || unit == u'c' || unit == u'z' || unit == u'o' || date_format::is_date_token(unit) ||
         date_format::is_time_token(unit);
}

void Krn_date_and_time::to_string(const Wstring& format, Wstring& text) const {
  const Krn_date day = date();
  const Krn_time time_of_day = time();
  const std::tm tm = date_format::broken_down(day, time_of_day);
  date_format::format(format, text, "Krn_date_and_time::to_string - invalid format token.",
                      [&](Char16 token, Wstring& out) {
                        switch (token) {
                          case u'c':
                            time_of_day.to_string(u"%X", out);
                            out += u' ';
                            day.to_string(u"%x", out);
                            return true;
                          case u'z':
                            if (m_zone.identifier() != Krn_time_zone::UNKNOWN) out += m_zone.name();
                            return true;
                          case u'o': {
                            const Krn_time_period offset = m_zone.offset();
                            out += offset < Krn_time_period::ZERO ? u'-' : u'+';
                            offset.to_string(u"%H", out);
                            return true;
                          }
                          default:
                            return date_format::append_date_token(token, day, tm, out) ||
                                   date_format::append_time_token(token, tm, out);
                        }
                      });
}

}  // namespace krn
