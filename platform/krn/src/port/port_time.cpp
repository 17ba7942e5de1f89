#include "port/port_time.h"

#include <langinfo.h>
#include <locale.h>
#include <sys/time.h>
#include <time.h>

#include <cstring>

namespace krn::port {

namespace {

// Seconds east of UTC for a moment, or false when the C library cannot break
// the moment down.
bool local_broken_down(time_t when, long& east_of_utc, bool& dst) {
  tzset();
  struct tm local;
  if (!localtime_r(&when, &local)) return false;
  east_of_utc = local.tm_gmtoff;
  dst = local.tm_isdst > 0;
  return true;
}

}  // namespace

void local_now(std::int64_t& local_seconds, std::int32_t& microseconds) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  long east = 0;
  bool dst = false;
  if (!local_broken_down(now.tv_sec, east, dst)) east = -timezone;
  local_seconds = static_cast<std::int64_t>(now.tv_sec) + east;
  microseconds = static_cast<std::int32_t>(now.tv_nsec / 1000);
}

void local_zone(std::int64_t& offset, bool& dst) {
  long east = 0;
  if (local_broken_down(time(nullptr), east, dst)) {
    offset = -static_cast<std::int64_t>(east);
    return;
  }
  offset = timezone;
  dst = false;
}

namespace {

enum Field { none, day, month, year };

Field field_of(char conversion) {
  switch (conversion) {
    case 'd': case 'e': return day;
    case 'm': case 'b': case 'B': case 'h': return month;
    case 'y': case 'Y': case 'C': case 'G': return year;
    default: return none;
  }
}

// Reads the order of the first three date fields and the text between the
// first two from a strftime date format such as "%d.%m.%Y".
bool parse_date_format(const char* format, Date_order& order, std::string& separator) {
  if (std::strcmp(format, "%D") == 0) format = "%m/%d/%y";
  if (std::strcmp(format, "%F") == 0) format = "%Y-%m-%d";
  Field fields[3];
  int count = 0;
  std::string between;
  for (const char* p = format; *p && count < 3; ++p) {
    if (*p != '%') {
      if (count == 1) between += *p;
      continue;
    }
    ++p;
    while (*p == 'E' || *p == 'O' || *p == '-' || *p == '_' || *p == '0' || *p == '^' || *p == '#') ++p;
    if (!*p) break;
    const Field field = field_of(*p);
    if (field == none) return false;
    for (int i = 0; i < count; ++i)
      if (fields[i] == field) return false;
    fields[count++] = field;
  }
  if (count != 3 || between.empty()) return false;
  if (fields[0] == month && fields[1] == day) order = Date_order::month_day_year;
  else if (fields[0] == day && fields[1] == month) order = Date_order::day_month_year;
  else if (fields[0] == year && fields[1] == month) order = Date_order::year_month_day;
  else return false;
  separator = between;
  return true;
}

}  // namespace

bool user_date_order(Date_order& order, std::string& separator) {
  // The empty name takes the user's setting from the environment, whatever
  // locale the process itself runs in.
  locale_t user = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0)) return false;
  const char* format = nl_langinfo_l(D_FMT, user);
  const bool ok = format && parse_date_format(format, order, separator);
  freelocale(user);
  return ok;
}

void from_timeval(const timeval& tv, std::int64_t& seconds, std::int64_t& microseconds) {
  seconds = tv.tv_sec;
  microseconds = tv.tv_usec;
}

void to_timeval(std::int64_t seconds, std::int64_t microseconds, timeval& tv) {
  if (microseconds < 0) {
    seconds -= 1;
    microseconds += 1000000;
  }
  tv.tv_sec = static_cast<time_t>(seconds);
  tv.tv_usec = static_cast<suseconds_t>(microseconds);
}

}  // namespace krn::port
