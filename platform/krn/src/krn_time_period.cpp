#include <cstdio>
#include <limits>
#include <stdexcept>

#include "krn/krn_time.h"
#include "krn_date_format.h"
#include "port/port_time.h"

namespace krn {

namespace {

// Arithmetic runs on the whole period in microseconds, which needs more than
// 64 bits at the ends of the second range.
using Wide = __int128;
constexpr Wide MICRO = 1000000;

const char* const INVALID_PERIOD = "Invalid time period given to Krn_time_period::assign()";

Wide total(const Krn_time_period& period) { return Wide(period.seconds()) * MICRO + period.microseconds(); }

// Truncating division leaves both parts with the sign of the total, which is
// the normal form.
Krn_time_period from_total(Wide total) {
  const Wide seconds = total / MICRO;
  if (seconds > std::numeric_limits<int64>::max() || seconds < std::numeric_limits<int64>::min())
    throw std::overflow_error("Krn_time_period - the period does not fit 64-bit seconds");
  return Krn_time_period(static_cast<int64>(seconds), static_cast<std::int32_t>(total % MICRO));
}

bool opposite_signs(int64 a, int64 b) { return (a < 0 && b > 0) || (a > 0 && b < 0); }

void require_divisor(int divisor) {
  if (divisor == 0) throw std::invalid_argument("Krn_time_period - division by zero");
}

}  // namespace

Krn_time_period::Krn_time_period(int64 seconds, std::int32_t microseconds) { assign(seconds, microseconds); }

Krn_time_period::Krn_time_period(std::int32_t days, std::int32_t hours, std::int32_t minutes, int64 seconds,
                                 std::int32_t microseconds) {
  assign(days, hours, minutes, seconds, microseconds);
}

Krn_time_period::Krn_time_period(const timeval& tv) { assign(tv); }

void Krn_time_period::assign(int64 seconds, std::int32_t microseconds) {
  if (seconds != 0 && opposite_signs(seconds, microseconds)) throw std::invalid_argument(INVALID_PERIOD);
  const Wide value = Wide(seconds) * MICRO + microseconds;
  const Wide whole = value / MICRO;
  if (whole > std::numeric_limits<int64>::max() || whole < std::numeric_limits<int64>::min())
    throw std::overflow_error("Krn_time_period - the period does not fit 64-bit seconds");
  m_seconds = static_cast<int64>(whole);
  m_microseconds = static_cast<std::int32_t>(value % MICRO);
}

void Krn_time_period::assign(std::int32_t days, std::int32_t hours, std::int32_t minutes, int64 seconds,
                             std::int32_t microseconds) {
  const bool all_up = days >= 0 && hours >= 0 && minutes >= 0 && seconds >= 0 && microseconds >= 0;
  const bool all_down = days <= 0 && hours <= 0 && minutes <= 0 && seconds <= 0 && microseconds <= 0;
  if (!all_up && !all_down) throw std::invalid_argument(INVALID_PERIOD);
  const Wide whole_seconds = ((Wide(days) * 24 + hours) * 60 + minutes) * 60 + seconds;
  *this = from_total(whole_seconds * MICRO + microseconds);
}

void Krn_time_period::assign(const timeval& tv) {
  int64 seconds = 0, microseconds = 0;
  port::from_timeval(tv, seconds, microseconds);
  *this = from_total(Wide(seconds) * MICRO + microseconds);
}

void Krn_time_period::to_timeval(timeval& tv) const { port::to_timeval(m_seconds, m_microseconds, tv); }

void Krn_time_period::value(std::int32_t& days, std::int32_t& hours, std::int32_t& minutes, std::int32_t& seconds,
                            std::int32_t& microseconds) const {
  const int64 whole_days = m_seconds / 86400;
  if (whole_days < std::numeric_limits<std::int32_t>::min()) throw std::overflow_error("i64 too negative for i32");
  if (whole_days > std::numeric_limits<std::int32_t>::max()) throw std::overflow_error("i64 too positive for i32");
  days = static_cast<std::int32_t>(whole_days);
  hours = static_cast<std::int32_t>(m_seconds / 3600 % 24);
  minutes = static_cast<std::int32_t>(m_seconds / 60 % 60);
  seconds = static_cast<std::int32_t>(m_seconds % 60);
  microseconds = m_microseconds;
}

Krn_time_period Krn_time_period::operator+(const Krn_time_period& other) const {
  return from_total(total(*this) + total(other));
}

Krn_time_period Krn_time_period::operator-(const Krn_time_period& other) const {
  return from_total(total(*this) - total(other));
}

Krn_time_period Krn_time_period::operator-() const { return from_total(-total(*this)); }

Krn_time_period Krn_time_period::operator*(int factor) const { return from_total(total(*this) * factor); }

Krn_time_period Krn_time_period::operator/(int divisor) const {
  require_divisor(divisor);
  return from_total(total(*this) / divisor);
}

Krn_time_period Krn_time_period::operator%(int divisor) const {
  require_divisor(divisor);
  return from_total(total(*this) % divisor);
}

bool Krn_time_period::is_format_token(Char16 unit) {
  switch (unit) {
    case u'%': case u'-': case u'D': case u'H': case u'M': case u'S': case u'f':
      return true;
    default:
      return false;
  }
}

void Krn_time_period::to_string(const Wstring& format, Wstring& text) const {
  // Magnitudes of the parts, so that a sign is printed once, where %- says.
  const Wide magnitude = total(*this) < 0 ? -total(*this) : total(*this);
  const Wide whole = magnitude / MICRO;
  auto append = [](Wstring& out, const char* form, long long value) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, form, value);
    for (const char* p = buffer; *p; ++p) out += static_cast<Char16>(*p);
  };
  date_format::format(format, text, "Krn_time_period::to_string - invalid format token.",
                      [&](Char16 token, Wstring& out) {
                        switch (token) {
                          case u'-': if (total(*this) < 0) out += u'-'; return true;
                          case u'D': append(out, "%lld", static_cast<long long>(whole / 86400)); return true;
                          case u'H': append(out, "%02lld", static_cast<long long>(whole / 3600 % 24)); return true;
                          case u'M': append(out, "%02lld", static_cast<long long>(whole / 60 % 60)); return true;
                          case u'S': append(out, "%02lld", static_cast<long long>(whole % 60)); return true;
                          case u'f': append(out, "%06lld", static_cast<long long>(magnitude % MICRO)); return true;
                          default: return false;
                        }
                      });
}

}  // namespace krn
