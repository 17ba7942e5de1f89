#include "utk_property_text.h"

#include <cstdio>
#include <stdexcept>
#include <string>

#include "krn/krn_string.h"
#include "krn/krn_time_zone.h"

namespace utk::impl {

using krn::int64;
using krn::uint64;

namespace {

constexpr uint64 SIGN_LIMIT = 0x8000000000000000ull;  // the magnitude of the most negative int64

// The forms are plain ASCII; anything else cannot be one.
bool to_ascii(const krn::Wstring& text, std::string& out) {
  out.clear();
  for (char16_t unit : text) {
    if (unit > 0x7F) return false;
    out += static_cast<char>(unit);
  }
  return true;
}

void append_ascii(krn::Wstring& text, const std::string& ascii) { text.append(ascii.begin(), ascii.end()); }

std::string two_digits(int value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

// ".5" for 500000 microseconds: as many digits as the value needs.
std::string fraction(std::int32_t microseconds) {
  if (microseconds == 0) return {};
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%06d", static_cast<int>(microseconds));
  std::string digits(buffer);
  digits.erase(digits.find_last_not_of('0') + 1);
  return "." + digits;
}

class Cursor {
 public:
  explicit Cursor(const std::string& text) : m_text(text) {}

  bool at_end() const { return m_index == m_text.size(); }
  char peek() const { return at_end() ? '\0' : m_text[m_index]; }
  bool take(char c) {
    if (at_end() || m_text[m_index] != c) return false;
    ++m_index;
    return true;
  }
  // One or more digits; false on none or on overflow.
  bool number(uint64& value, std::size_t& count) {
    value = 0;
    count = 0;
    while (!at_end() && m_text[m_index] >= '0' && m_text[m_index] <= '9') {
      const uint64 digit = static_cast<uint64>(m_text[m_index] - '0');
      if (__builtin_mul_overflow(value, 10u, &value) || __builtin_add_overflow(value, digit, &value)) return false;
      ++m_index;
      ++count;
    }
    return count > 0;
  }
  bool digits(std::size_t width, int& value) {
    uint64 number_value = 0;
    std::size_t count = 0;
    if (!number(number_value, count) || count != width) return false;
    value = static_cast<int>(number_value);
    return true;
  }
  // 1 to 6 digits after the point, as microseconds.
  bool microseconds(std::int32_t& value) {
    uint64 digits_value = 0;
    std::size_t count = 0;
    if (!number(digits_value, count) || count > 6) return false;
    for (std::size_t i = count; i < 6; ++i) digits_value *= 10;
    value = static_cast<std::int32_t>(digits_value);
    return true;
  }
  std::string rest_until(char end) {
    const std::size_t stop = m_text.find(end, m_index);
    if (stop == std::string::npos) return {};
    std::string part = m_text.substr(m_index, stop - m_index);
    m_index = stop;
    return part;
  }

 private:
  const std::string& m_text;
  std::size_t m_index = 0;
};

std::string zone_name(const krn::Krn_time_zone& zone) {
  std::string name;
  for (const char16_t* unit = zone.name(); *unit; ++unit) name += static_cast<char>(*unit);
  return name;
}

bool parse_year(Cursor& cursor, int& year) {
  const bool negative = cursor.take('-');
  const bool expanded = negative || cursor.take('+');
  uint64 value = 0;
  std::size_t count = 0;
  if (!cursor.number(value, count)) return false;
  // Without a sign ISO 8601 allows exactly four digits.
  if (expanded ? count < 4 : count != 4) return false;
  if (value > 100000) return false;
  const int iso_year = negative ? -static_cast<int>(value) : static_cast<int>(value);
  year = iso_year > 0 ? iso_year : iso_year - 1;
  return true;
}

// Seconds east of Greenwich, as ISO 8601 writes them ("Z" is 0).
bool parse_offset(Cursor& cursor, int& seconds) {
  if (cursor.take('Z')) {
    seconds = 0;
    return true;
  }
  const bool negative = cursor.take('-');
  if (!negative && !cursor.take('+')) return false;
  int hours = 0;
  int minutes = 0;
  if (!cursor.digits(2, hours) || !cursor.take(':') || !cursor.digits(2, minutes)) return false;
  if (hours > 23 || minutes > 59) return false;
  seconds = (hours * 3600 + minutes * 60) * (negative ? -1 : 1);
  return true;
}

bool find_zone(Cursor& cursor, int east_seconds, krn::Krn_time_zone& zone) {
  // The table's offsets count the other way: added to local time to give UTC.
  const krn::Krn_time_period offset(-east_seconds);
  if (cursor.take('[')) {
    const std::string name = cursor.rest_until(']');
    if (name.empty() || !cursor.take(']')) return false;
    krn::Wstring wide_name;
    append_ascii(wide_name, name);
    zone = krn::Krn_time_zone::find(wide_name);
    if (zone.identifier() == krn::Krn_time_zone::UNKNOWN && zone_name(zone) != name) return false;
    return zone.offset() == offset;
  }
  zone = krn::Krn_time_zone::find(offset, false);
  if (zone.identifier() == krn::Krn_time_zone::UNKNOWN) zone = krn::Krn_time_zone::find(offset, true);
  return zone.identifier() != krn::Krn_time_zone::UNKNOWN;
}

}  // namespace

void format_date_and_time(const krn::Krn_date_and_time& value, bool display, krn::Wstring& text) {
  const krn::Krn_date date = value.date();
  const krn::Krn_time time = value.time();
  const int iso_year = date.year() > 0 ? date.year() : date.year() + 1;

  char year[16];
  if (iso_year >= 0 && iso_year <= 9999)
    std::snprintf(year, sizeof year, "%04d", iso_year);
  else
    std::snprintf(year, sizeof year, "%c%04d", iso_year < 0 ? '-' : '+', iso_year < 0 ? -iso_year : iso_year);

  const int east = static_cast<int>(-value.zone().offset().seconds());
  const int east_magnitude = east < 0 ? -east : east;
  const std::string offset =
      std::string(1, east < 0 ? '-' : '+') + two_digits(east_magnitude / 3600) + ":" + two_digits(east_magnitude / 60 % 60);

  std::string out = std::string(year) + "-" + two_digits(date.month()) + "-" + two_digits(date.day()) +
                    (display ? " " : "T") + two_digits(time.hours()) + ":" + two_digits(time.minutes()) + ":" +
                    two_digits(time.seconds()) + fraction(time.microseconds());
  if (display) {
    out += " " + offset;
    if (value.zone().identifier() != krn::Krn_time_zone::UNKNOWN) out += " " + zone_name(value.zone());
  } else {
    out += offset + "[" + zone_name(value.zone()) + "]";
  }
  text.clear();
  append_ascii(text, out);
}

bool parse_date_and_time(const krn::Wstring& text, krn::Krn_date_and_time& value) {
  std::string ascii;
  if (!to_ascii(text, ascii)) return false;
  Cursor cursor(ascii);
  int year = 0;
  int month = 0;
  int day = 0;
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
  std::int32_t microseconds = 0;
  int east = 0;
  if (!parse_year(cursor, year) || !cursor.take('-') || !cursor.digits(2, month) || !cursor.take('-') ||
      !cursor.digits(2, day) || !cursor.take('T') || !cursor.digits(2, hours) || !cursor.take(':') ||
      !cursor.digits(2, minutes) || !cursor.take(':') || !cursor.digits(2, seconds))
    return false;
  if ((cursor.take('.') || cursor.take(',')) && !cursor.microseconds(microseconds)) return false;
  krn::Krn_time_zone zone;
  if (!parse_offset(cursor, east) || !find_zone(cursor, east, zone) || !cursor.at_end()) return false;

  if (!krn::Krn_date::is_year(year) || !krn::Krn_date::is_day_in_month(day, month, year)) return false;
  if (!krn::Krn_time::valid_hour(hours) || !krn::Krn_time::valid_minute(minutes) ||
      !krn::Krn_time::valid_second(seconds))
    return false;
  try {
    value = krn::Krn_date_and_time(krn::Krn_date(day, month, year), krn::Krn_time(hours, minutes, seconds, microseconds),
                                   zone);
  } catch (const std::invalid_argument&) {
    return false;
  }
  return true;
}

void format_time_period(const krn::Krn_time_period& value, krn::Wstring& text) {
  const bool negative = value.seconds() < 0 || value.microseconds() < 0;
  const uint64 magnitude = value.seconds() < 0 ? 0 - static_cast<uint64>(value.seconds()) : static_cast<uint64>(value.seconds());
  const std::int32_t microseconds = value.microseconds() < 0 ? -value.microseconds() : value.microseconds();
  const uint64 days = magnitude / 86400;
  const uint64 hours = magnitude / 3600 % 24;
  const uint64 minutes = magnitude / 60 % 60;
  const uint64 seconds = magnitude % 60;

  std::string out = negative ? "-P" : "P";
  if (days > 0) out += std::to_string(days) + "D";
  const bool has_time = hours > 0 || minutes > 0 || seconds > 0 || microseconds > 0;
  if (has_time || days == 0) {
    out += "T";
    if (hours > 0) out += std::to_string(hours) + "H";
    if (minutes > 0) out += std::to_string(minutes) + "M";
    if (seconds > 0 || microseconds > 0 || !has_time) out += std::to_string(seconds) + fraction(microseconds) + "S";
  }
  text.clear();
  append_ascii(text, out);
}

bool parse_time_period(const krn::Wstring& text, krn::Krn_time_period& value) {
  std::string ascii;
  if (!to_ascii(text, ascii)) return false;
  Cursor cursor(ascii);
  const bool negative = cursor.take('-');
  if (!negative) cursor.take('+');
  if (!cursor.take('P')) return false;

  uint64 total = 0;
  std::int32_t microseconds = 0;
  bool any = false;
  // Each designator may appear once, in this order: weeks and days before
  // "T", hours, minutes and seconds after it.
  auto add = [&](uint64 amount, uint64 unit) {
    uint64 seconds = 0;
    any = true;
    return !__builtin_mul_overflow(amount, unit, &seconds) && !__builtin_add_overflow(total, seconds, &total);
  };
  static constexpr struct {
    char designator;
    uint64 seconds;
    bool after_t;
  } UNITS[] = {{'W', 7 * 86400, false}, {'D', 86400, false}, {'H', 3600, true}, {'M', 60, true}, {'S', 1, true}};

  bool in_time = false;
  bool time_has_part = false;
  std::size_t next_unit = 0;
  while (!cursor.at_end()) {
    if (!in_time && cursor.take('T')) {
      in_time = true;
      while (next_unit < std::size(UNITS) && !UNITS[next_unit].after_t) ++next_unit;
      continue;
    }
    uint64 amount = 0;
    std::size_t count = 0;
    if (!cursor.number(amount, count)) return false;
    std::int32_t fraction_value = 0;
    const bool has_fraction = cursor.take('.') || cursor.take(',');
    if (has_fraction && !cursor.microseconds(fraction_value)) return false;
    const char designator = cursor.peek();
    while (next_unit < std::size(UNITS) && UNITS[next_unit].designator != designator) ++next_unit;
    if (next_unit == std::size(UNITS) || UNITS[next_unit].after_t != in_time) return false;
    // Only seconds may have a fraction: finer parts of larger units would
    // need rounding.
    if (has_fraction && designator != 'S') return false;
    cursor.take(designator);
    if (!add(amount, UNITS[next_unit].seconds)) return false;
    if (has_fraction) microseconds = fraction_value;
    time_has_part = time_has_part || in_time;
    ++next_unit;
  }
  if (!any || (in_time && !time_has_part)) return false;
  if (total > (negative ? SIGN_LIMIT : SIGN_LIMIT - 1)) return false;

  try {
    if (negative)
      value = krn::Krn_time_period(static_cast<int64>(0 - total), -microseconds);
    else
      value = krn::Krn_time_period(static_cast<int64>(total), microseconds);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace utk::impl
