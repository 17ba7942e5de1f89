#include <stdexcept>

#include "krn/krn_date.h"
#include "krn_date_format.h"
#include "port/port_time.h"

namespace krn {

namespace {

const char* const INVALID_JULIAN_DAY = "Invalid Julian day.";

// Years as the arithmetic counts them: 1 BC is year 0, 2 BC year -1.
int astronomical(int year) { return year < 0 ? year + 1 : year; }

void require_year(int year) {
  if (year == 0) throw std::invalid_argument("Year 0 never existed.");
}

std::int32_t checked_julian_day(int64 julian_day) {
  if (!Krn_date::is_julian_day(julian_day)) throw std::invalid_argument(INVALID_JULIAN_DAY);
  return static_cast<std::int32_t>(julian_day);
}

void require_weekday(int weekday, const char* text) {
  if (!Krn_date::is_weekday(weekday)) throw std::invalid_argument(text);
}

}  // namespace

Krn_date::Krn_date(int day, int month, int year) : m_julian_day(calc_julian_day(day, month, year)) {}

Krn_date::Krn_date(Krn_ordinal ordinal, int weekday, int month, int year) {
  if (ordinal < KRN_FIRST || ordinal > KRN_LAST || !is_weekday(weekday) || !is_month(month) || !is_year(year))
    throw std::invalid_argument("Krn_date::Krn_date - invalid ordinal, weekday, month, year.");
  const Krn_date first(1, month, year);
  int day = 1 + (weekday - first.weekday() + 7) % 7;
  // Every weekday occurs at least four times in a month; the last is the
  // fifth when the month is long enough for one.
  const int occurrence = ordinal == KRN_LAST ? 5 : static_cast<int>(ordinal);
  day += 7 * (occurrence - 1);
  if (day > days_in_month(month, year)) day -= 7;
  m_julian_day = first.m_julian_day + day - 1;
}

Krn_date::Krn_date(std::int32_t julian_day) : m_julian_day(checked_julian_day(julian_day)) {}

Krn_date::Krn_date(const std::tm& tm) {
  const int64 year = static_cast<int64>(tm.tm_year) + 1900;
  const int64 calendar_year = year <= 0 ? year - 1 : year;
  const int64 month = static_cast<int64>(tm.tm_mon) + 1;
  if (calendar_year < MIN_YEAR || calendar_year > MAX_YEAR || month < 1 || month > 12)
    throw std::invalid_argument("Krn_date::calc_julian_day - invalid day, month, year.");
  m_julian_day = calc_julian_day(tm.tm_mday, static_cast<int>(month), static_cast<int>(calendar_year));
}

Krn_date Krn_date::today() {
  int64 local_seconds = 0;
  std::int32_t microseconds = 0;
  port::local_now(local_seconds, microseconds);
  int64 days = local_seconds / 86400;
  if (local_seconds % 86400 < 0) --days;
  return Krn_date(checked_julian_day(JD_1_JANUARY_1970 + days));
}

Krn_date Krn_date::min_date() { return Krn_date(MIN_JULIAN_DAY); }
Krn_date Krn_date::max_date() { return Krn_date(MAX_JULIAN_DAY); }

int Krn_date::day() const {
  int day = 0, month = 0, year = 0;
  calc_calendar_date(m_julian_day, day, month, year);
  return day;
}

int Krn_date::month() const {
  int day = 0, month = 0, year = 0;
  calc_calendar_date(m_julian_day, day, month, year);
  return month;
}

int Krn_date::year() const {
  int day = 0, month = 0, year = 0;
  calc_calendar_date(m_julian_day, day, month, year);
  return year;
}

int Krn_date::day_of_year() const { return m_julian_day - calc_julian_day(1, 1, year()) + 1; }

Krn_date Krn_date::next(int weekday) const {
  require_weekday(weekday, "Krn_date::next - invalid weekday.");
  const int ahead = (weekday - this->weekday() + 7) % 7;
  return Krn_date(checked_julian_day(int64(m_julian_day) + (ahead == 0 ? 7 : ahead)));
}

Krn_date Krn_date::previous(int weekday) const {
  require_weekday(weekday, "Krn_date::previous - invalid weekday.");
  const int back = (this->weekday() - weekday + 7) % 7;
  return Krn_date(checked_julian_day(int64(m_julian_day) - (back == 0 ? 7 : back)));
}

Krn_date& Krn_date::operator++() {
  m_julian_day = checked_julian_day(int64(m_julian_day) + 1);
  return *this;
}

Krn_date Krn_date::operator++(int) {
  const Krn_date before = *this;
  ++*this;
  return before;
}

Krn_date& Krn_date::operator--() {
  m_julian_day = checked_julian_day(int64(m_julian_day) - 1);
  return *this;
}

Krn_date Krn_date::operator--(int) {
  const Krn_date before = *this;
  --*this;
  return before;
}

// The day count of any representable period is far inside 64 bits, and the
// range check comes before the narrowing.
Krn_date& Krn_date::operator+=(const Krn_time_period& period) {
  const int64 days = period.days();
  if (days > MAX_JULIAN_DAY || days < -MAX_JULIAN_DAY) throw std::invalid_argument(INVALID_JULIAN_DAY);
  m_julian_day = checked_julian_day(m_julian_day + days);
  return *this;
}

Krn_date& Krn_date::operator-=(const Krn_time_period& period) {
  const int64 days = period.days();
  if (days > MAX_JULIAN_DAY || days < -MAX_JULIAN_DAY) throw std::invalid_argument(INVALID_JULIAN_DAY);
  m_julian_day = checked_julian_day(m_julian_day - days);
  return *this;
}

Krn_time_period Krn_date::operator-(const Krn_date& other) const {
  return Krn_time_period((int64(m_julian_day) - other.m_julian_day) * 86400);
}

void Krn_date::to_tm(std::tm& tm) const {
  int day = 0, month = 0, year = 0;
  calc_calendar_date(m_julian_day, day, month, year);
  tm.tm_mday = day;
  tm.tm_mon = month - 1;
  tm.tm_year = astronomical(year) - 1900;
  tm.tm_wday = weekday() - 1;
  tm.tm_yday = m_julian_day - calc_julian_day(1, 1, year);
}

// The count runs from March, so that the leap day ends the counted year, in
// astronomical years from -4799 (a multiple of 400 years before any year
// that is accepted); 32045 brings 1 January 2000 to 2451545.
std::int32_t Krn_date::calc_julian_day(int day, int month, int year) {
  if (!is_day_in_month(day, month, year))
    throw std::invalid_argument("Krn_date::calc_julian_day - invalid day, month, year.");
  int64 y = astronomical(year) + 4800;
  int64 m = month;
  if (m < 3) {
    y -= 1;
    m += 12;
  }
  const int64 jd = day + (153 * (m - 3) + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
  return static_cast<std::int32_t>(jd);
}

// The inverse: whole 400-year cycles (146097 days), centuries (36524),
// four-year cycles (1461) and years of a March-based calendar.
void Krn_date::calc_calendar_date(std::int32_t julian_day, int& day, int& month, int& year) {
  if (!is_julian_day(julian_day)) throw std::invalid_argument(INVALID_JULIAN_DAY);
  const int64 a = int64(julian_day) + 32044;
  const int64 cycles = (4 * a + 3) / 146097;
  const int64 in_cycle = a - 146097 * cycles / 4;
  const int64 quads = (4 * in_cycle + 3) / 1461;
  const int64 in_quad = in_cycle - 1461 * quads / 4;
  const int64 m = (5 * in_quad + 2) / 153;
  day = static_cast<int>(in_quad - (153 * m + 2) / 5 + 1);
  month = static_cast<int>(m + 3 - 12 * (m / 10));
  const int astronomical_year = static_cast<int>(100 * cycles + quads - 4800 + m / 10);
  year = astronomical_year <= 0 ? astronomical_year - 1 : astronomical_year;
}

int Krn_date::days_in_month(int month, int year) {
  static const int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (!is_month(month)) throw std::invalid_argument("Not a valid month.");
  require_year(year);
  return month == 2 && is_leap_year(year) ? 29 : DAYS[month - 1];
}

int Krn_date::days_in_year(int year) {
  require_year(year);
  return is_leap_year(year) ? 366 : 365;
}

bool Krn_date::is_leap_year(int year) {
  require_year(year);
  const int a = astronomical(year);
  return a % 4 == 0 && (a % 100 != 0 || a % 400 == 0);
}

bool Krn_date::is_day_in_month(int day, int month, int year) {
  return is_month(month) && is_year(year) && day >= 1 && day <= days_in_month(month, year);
}

int Krn_date::infer_year(int year) {
  if (year < 0 || year > 99) return year;
  return year <= 50 ? 2000 + year : 1900 + year;
}

bool Krn_date::is_format_token(Char16 unit) { return unit == u'%' || date_format::is_date_token(unit); }

void Krn_date::to_string(const Wstring& format, Wstring& text) const {
  const std::tm tm = date_format::broken_down(*this, Krn_time());
  date_format::format(format, text, "Krn_date::to_string - invalid format token.", [&](Char16 token, Wstring& out) {
    return date_format::append_date_token(token, *this, tm, out);
  });
}

}  // namespace krn
