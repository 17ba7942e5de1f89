#ifndef KRN_PORT_TIME_H
#define KRN_PORT_TIME_H

// What the date and time classes need from the operating system: the clock,
// the local zone and the user's date order. No system header is visible here.

#include <cstdint>
#include <string>

struct timeval;

namespace krn::port {

// The wall clock read once: seconds since 1 January 1970 counted in local
// time (so that whole days of it are local calendar days) and microseconds.
void local_now(std::int64_t& local_seconds, std::int32_t& microseconds);

// The zone in effect now: the seconds to add to local time to obtain UTC, and
// whether daylight saving is in effect. When the clock cannot be broken down,
// the C library's standard offset and dst false.
void local_zone(std::int64_t& offset, bool& dst);

// The order of the fields in the user's short date form.
enum class Date_order { month_day_year = 0, day_month_year = 1, year_month_day = 2 };

// The user's short date order and date separator (UTF-8), from the time
// category of the user's locale. False when it cannot be read or understood.
bool user_date_order(Date_order& order, std::string& separator);

// timeval exists only as a system type; these keep its header out of the
// classes. A negative value has tv_sec rounded down and 0 <= tv_usec < 10^6.
void from_timeval(const timeval& tv, std::int64_t& seconds, std::int64_t& microseconds);
void to_timeval(std::int64_t seconds, std::int64_t microseconds, timeval& tv);

}  // namespace krn::port

#endif
