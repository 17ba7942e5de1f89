#ifndef KRN_DATE_H
#define KRN_DATE_H

// Calendar dates as Julian day numbers in the proleptic Gregorian calendar,
// and absolute date-times with a zone. Years count ... -2, -1, 1, 2 ...: there
// is no year 0, and year -1 is leap as the Gregorian rule gives for 1 BC.

#include <compare>
#include <cstdint>
#include <ctime>

#include "krn/krn_time.h"
#include "krn/krn_time_zone.h"
#include "krn/krn_types.h"

namespace krn {

// Which occurrence of a weekday in a month; LAST is the fourth or the fifth.
enum Krn_ordinal { KRN_FIRST = 1, KRN_SECOND = 2, KRN_THIRD = 3, KRN_FOURTH = 4, KRN_LAST = 5 };

class KRN_API Krn_date {
 public:
  // Weekdays as weekday() numbers them.
  enum Weekday { SUNDAY = 1, MONDAY, TUESDAY, WEDNESDAY, THURSDAY, FRIDAY, SATURDAY };

  // 1 January 1970, the start of the C library's clock.
  Krn_date() = default;
  Krn_date(int day, int month, int year);
  // The ordinal occurrence of a weekday (1 Sunday to 7 Saturday) in a month.
  Krn_date(Krn_ordinal ordinal, int weekday, int month, int year);
  // Throws std::invalid_argument ("Invalid Julian day.") outside the limits.
  explicit Krn_date(std::int32_t julian_day);
  // tm_mday, tm_mon and tm_year; tm_year counts astronomically as the C
  // library does, so tm_year -1900 is year -1.
  explicit Krn_date(const std::tm& tm);

  // The local calendar date.
  static Krn_date today();
  static Krn_date min_date();
  static Krn_date max_date();

  int day() const;
  int month() const;
  int year() const;
  // 1 Sunday to 7 Saturday.
  int weekday() const { return static_cast<int>((m_julian_day + 1) % 7) + 1; }
  // 1 for 1 January.
  int day_of_year() const;
  std::int32_t julian_day() const { return m_julian_day; }

  bool is_leap_year() const { return is_leap_year(year()); }
  bool is_ad() const { return m_julian_day >= JD_1_JANUARY_1; }
  bool is_bc() const { return m_julian_day < JD_1_JANUARY_1; }

  // The first later and the latest earlier date with that weekday: never
  // the date itself.
  Krn_date next(int weekday) const;
  Krn_date previous(int weekday) const;

  Krn_date& operator++();
  Krn_date operator++(int);
  Krn_date& operator--();
  Krn_date operator--(int);
  // Whole days of the period, truncated towards zero.
  Krn_date& operator+=(const Krn_time_period& period);
  Krn_date& operator-=(const Krn_time_period& period);
  Krn_date operator+(const Krn_time_period& period) const { return Krn_date(*this) += period; }
  Krn_date operator-(const Krn_time_period& period) const { return Krn_date(*this) -= period; }
  Krn_time_period operator-(const Krn_date& other) const;

  bool operator==(const Krn_date&) const = default;
  auto operator<=>(const Krn_date&) const = default;

  // Sets tm_mday, tm_mon, tm_year, tm_wday and tm_yday; the other fields are
  // left as they are.
  void to_tm(std::tm& tm) const;

  // Throws std::invalid_argument for a date that is_day_in_month rejects.
  static std::int32_t calc_julian_day(int day, int month, int year);
  // Throws std::invalid_argument for a day outside the limits.
  static void calc_calendar_date(std::int32_t julian_day, int& day, int& month, int& year);
  // Both throw std::invalid_argument for month outside 1-12 or year 0.
  static int days_in_month(int month, int year);
  static int days_in_year(int year);
  static bool is_leap_year(int year);
  static bool is_day_in_month(int day, int month, int year);
  static bool is_julian_day(int64 julian_day) { return julian_day >= MIN_JULIAN_DAY && julian_day <= MAX_JULIAN_DAY; }
  static bool is_month(int month) { return month >= 1 && month <= 12; }
  static bool is_year(int year) { return year >= MIN_YEAR && year <= MAX_YEAR && year != 0; }
  static bool is_weekday(int weekday) { return weekday >= 1 && weekday <= 7; }
  // Two-digit years: 0-50 are 2000-2050, 51-99 are 1951-1999.
  static int infer_year(int year);

  // Appends the date formatted by %%, %A, %B, %U, %Y, %a, %b, %d, %j, %m,
  // %w and %x; another character after "%" throws. %Y has four digits, five
  // with the sign before year 1; %w is 1 (Sunday) to 7; %x follows the
  // user's short date order and separator, or "%d/%m/%Y" when they cannot
  // be read. The names are the C library's strftime texts.
  void to_string(const Wstring& format, Wstring& text) const;
  static bool is_format_token(Char16 unit);

  static constexpr int MIN_YEAR = -4713;
  static constexpr int MAX_YEAR = 32766;
  // 1 January -4713 and 31 December 32766: the years is_year accepts.
  static constexpr std::int32_t MIN_JULIAN_DAY = 38;
  static constexpr std::int32_t MAX_JULIAN_DAY = 13688960;
  static constexpr std::int32_t JD_1_JANUARY_1 = 1721426;
  static constexpr std::int32_t JD_1_JANUARY_1970 = 2440588;

 private:
  std::int32_t m_julian_day = JD_1_JANUARY_1970;
};

// An instant: a period counted from the start of Julian day 0 in the time of
// a zone, and the zone. Equality and ordering compare the instants, so the
// same moment in two zones is equal; is_same_as also compares the zones.
class KRN_API Krn_date_and_time {
 public:
  // 1 January 1970 00:00:00 UTC.
  Krn_date_and_time();
  Krn_date_and_time(const Krn_date& date, const Krn_time& time, const Krn_time_zone& zone = Krn_time_zone::UTC);
  // The date and time fields of a broken-down time (tm_isdst is not read).
  Krn_date_and_time(const std::tm& tm, const Krn_time_zone& zone);
  // Throws std::invalid_argument when the period's day is outside the limits.
  Krn_date_and_time(const Krn_time_period& period, const Krn_time_zone& zone);

  // The local clock in the local zone.
  static Krn_date_and_time now();
  // Julian day 38 at 00:00:00 and the last day at 23:59:59.999999, both in
  // the local zone.
  static Krn_date_and_time min_date_and_time();
  static Krn_date_and_time max_date_and_time();

  Krn_date date() const { return Krn_date(static_cast<std::int32_t>(m_time.seconds() / 86400)); }
  // Whole days are removed from the period, which is never negative.
  Krn_time time() const { return Krn_time(m_time); }
  void set_date(const Krn_date& date);
  void set_time(const Krn_time& time);
  const Krn_time_zone& zone() const { return m_zone; }
  // Relabels the zone; the period is kept.
  void set_zone(const Krn_time_zone& zone) { m_zone = zone; }

  // Adds the zone's offset and takes UTC as the zone: in place, or as a copy.
  // Throws std::invalid_argument when the result leaves the date limits.
  Krn_date_and_time& utc();
  Krn_date_and_time utc() const;

  bool is_dst() const { return m_zone.is_dst(); }
  bool is_std() const { return m_zone.is_std(); }
  bool is_same_as(const Krn_date_and_time& other) const { return m_time == other.m_time && m_zone == other.m_zone; }

  // Keeps the zone; throws std::invalid_argument outside the date limits.
  Krn_date_and_time& operator=(const Krn_time_period& period);
  Krn_date_and_time& operator+=(const Krn_time_period& period) { return *this = m_time + period; }
  Krn_date_and_time& operator-=(const Krn_time_period& period) { return *this = m_time - period; }
  Krn_date_and_time operator+(const Krn_time_period& period) const { return Krn_date_and_time(*this) += period; }
  Krn_date_and_time operator-(const Krn_time_period& period) const { return Krn_date_and_time(*this) -= period; }
  // The time between two instants, whatever their zones.
  Krn_time_period operator-(const Krn_date_and_time& other) const { return instant() - other.instant(); }

  bool operator==(const Krn_date_and_time& other) const { return instant() == other.instant(); }
  std::strong_ordering operator<=>(const Krn_date_and_time& other) const { return instant() <=> other.instant(); }

  // Sets the date and time fields and tm_isdst from the zone.
  void to_tm(std::tm& tm) const;
  const Krn_time_period& period() const { return m_time; }

  // Appends the date-and-time formatted by the date and the time tokens and
  // %c (the time by "%X", a space, the date by "%x"), %z (the zone's name,
  // nothing for an unknown zone) and %o ("+" or "-" by the sign of the
  // zone's offset, then its hours). Another character after "%" throws.
  void to_string(const Wstring& format, Wstring& text) const;
  static bool is_format_token(Char16 unit);

 private:
  struct Min_t {};
  struct Max_t {};
  struct Now_t {};
  explicit Krn_date_and_time(Min_t);
  explicit Krn_date_and_time(Max_t);
  explicit Krn_date_and_time(Now_t);

  // The period in UTC, not checked against the date limits.
  Krn_time_period instant() const { return m_time + m_zone.offset(); }

  Krn_time_period m_time;
  Krn_time_zone m_zone;
};

}  // namespace krn

#endif
