#ifndef KRN_TIME_H
#define KRN_TIME_H

// Durations and times of day. Both are plain values; invalid arguments are
// programming errors and throw std::invalid_argument.

#include <compare>
#include <cstdint>
#include <ctime>

#include "krn/krn_types.h"

struct timeval;

namespace krn {

// A signed duration in seconds and microseconds. The two fields never have
// opposite signs and the microseconds stay below one second in magnitude, so
// every duration has exactly one representation and compares field by field.
class KRN_API Krn_time_period {
 public:
  static const Krn_time_period ZERO;
  static const Krn_time_period NOON;

  constexpr Krn_time_period() = default;
  // Seconds and microseconds of opposite signs are refused unless the
  // seconds are 0 (-0.5 s is (0, -500000)); microseconds beyond a second carry.
  explicit Krn_time_period(int64 seconds, std::int32_t microseconds = 0);
  // All five non-negative or all non-positive.
  Krn_time_period(std::int32_t days, std::int32_t hours, std::int32_t minutes, int64 seconds,
                  std::int32_t microseconds);
  // A timeval keeps its microseconds non-negative even for negative values,
  // so its fields are added rather than checked for sign.
  explicit Krn_time_period(const timeval& tv);

  void assign(int64 seconds, std::int32_t microseconds = 0);
  void assign(std::int32_t days, std::int32_t hours, std::int32_t minutes, int64 seconds, std::int32_t microseconds);
  void assign(const timeval& tv);
  void to_timeval(timeval& tv) const;

  // The whole period in each unit, truncated towards zero.
  int64 days() const { return m_seconds / 86400; }
  int64 hours() const { return m_seconds / 3600; }
  int64 minutes() const { return m_seconds / 60; }
  int64 seconds() const { return m_seconds; }
  // The microsecond field: the part below one second, with the period's sign.
  std::int32_t microseconds() const { return m_microseconds; }

  // Splits into days and the parts of the last day, all with the period's
  // sign. Throws std::overflow_error when the days do not fit 32 bits.
  void value(std::int32_t& days, std::int32_t& hours, std::int32_t& minutes, std::int32_t& seconds,
             std::int32_t& microseconds) const;

  // Arithmetic is exact; a result beyond the 64-bit second range throws
  // std::overflow_error, a division by zero std::invalid_argument.
  Krn_time_period operator+(const Krn_time_period& other) const;
  Krn_time_period operator-(const Krn_time_period& other) const;
  Krn_time_period operator-() const;
  Krn_time_period operator*(int factor) const;
  // Truncates towards zero; % gives what / leaves, so (p / n) * n + p % n == p.
  Krn_time_period operator/(int divisor) const;
  Krn_time_period operator%(int divisor) const;
  Krn_time_period& operator+=(const Krn_time_period& other) { return *this = *this + other; }
  Krn_time_period& operator-=(const Krn_time_period& other) { return *this = *this - other; }
  Krn_time_period& operator*=(int factor) { return *this = *this * factor; }
  Krn_time_period& operator/=(int divisor) { return *this = *this / divisor; }
  Krn_time_period& operator%=(int divisor) { return *this = *this % divisor; }

  bool operator==(const Krn_time_period&) const = default;
  auto operator<=>(const Krn_time_period&) const = default;

  // Appends the period formatted by the tokens %% and:
  //   %-  "-" when the period is negative, nothing otherwise
  //   %D  whole days; %H, %M, %S hours, minutes, seconds of the last day
  //       (two digits); %f microseconds (six digits)
  // All print magnitudes. Another character after "%" throws.
  void to_string(const Wstring& format, Wstring& text) const;
  static bool is_format_token(Char16 unit);

 private:
  struct Raw {};
  constexpr Krn_time_period(int64 seconds, std::int32_t microseconds, Raw)
      : m_seconds(seconds), m_microseconds(microseconds) {}

  int64 m_seconds = 0;
  std::int32_t m_microseconds = 0;
};

inline constexpr Krn_time_period Krn_time_period::ZERO{};
inline constexpr Krn_time_period Krn_time_period::NOON{12 * 3600, 0, Raw{}};

// A time of day: a period of at least 0 and less than 24 hours. Adding or
// subtracting wraps around midnight.
class KRN_API Krn_time {
 public:
  Krn_time() = default;
  // Hours below 24, minutes and seconds below 60, microseconds up to 999999.
  Krn_time(int hours, int minutes, int seconds = 0, int microseconds = 0);
  // Whole days are removed; a negative count is taken back from midnight.
  explicit Krn_time(int64 seconds);
  // The time fields of a broken-down time.
  explicit Krn_time(const std::tm& tm, int microseconds = 0);
  explicit Krn_time(const Krn_time_period& period);

  void set(int hours, int minutes, int seconds = 0, int microseconds = 0);

  // The local clock, to the millisecond.
  static Krn_time now();

  int hours() const { return static_cast<int>(m_time.seconds() / 3600); }
  int minutes() const { return static_cast<int>(m_time.seconds() / 60 % 60); }
  int seconds() const { return static_cast<int>(m_time.seconds() % 60); }
  int microseconds() const { return m_time.microseconds(); }

  bool is_am() const { return m_time < Krn_time_period::NOON; }
  bool is_pm() const { return !is_am(); }

  static Krn_time min_time() { return Krn_time(); }
  static Krn_time max_time() { return Krn_time(23, 59, 59, 999999); }

  static bool valid_hour(int hours) { return hours >= 0 && hours < 24; }
  static bool valid_minute(int minutes) { return minutes >= 0 && minutes < 60; }
  static bool valid_second(int seconds) { return seconds >= 0 && seconds < 60; }
  static bool valid_microsecond(int microseconds) { return microseconds >= 0 && microseconds <= 999999; }

  Krn_time& operator+=(const Krn_time_period& period);
  Krn_time& operator-=(const Krn_time_period& period);
  Krn_time operator+(const Krn_time_period& period) const { return Krn_time(*this) += period; }
  Krn_time operator-(const Krn_time_period& period) const { return Krn_time(*this) -= period; }
  // Signed: 01:00 - 23:00 is minus 22 hours.
  Krn_time_period operator-(const Krn_time& other) const { return m_time - other.m_time; }

  // Sets tm_hour, tm_min and tm_sec; the other fields are left as they are.
  void to_tm(std::tm& tm) const;
  const Krn_time_period& period() const { return m_time; }

  bool operator==(const Krn_time&) const = default;
  auto operator<=>(const Krn_time&) const = default;

  // Appends the time formatted by %%, %H, %I, %M, %S, %X and %p, as the C
  // library's strftime prints them. Another character after "%" throws.
  void to_string(const Wstring& format, Wstring& text) const;
  static bool is_format_token(Char16 unit);

 private:
  void wrap();

  Krn_time_period m_time;
};

}  // namespace krn

#endif
