#ifndef UTK_PROPERTY_TEXT_H
#define UTK_PROPERTY_TEXT_H

// The ISO 8601 text forms of date-and-time and period property values.

#include <string>

#include "krn/krn_date.h"
#include "krn/krn_time.h"
#include "krn/krn_types.h"

namespace utk {
class Utk_property;
}

namespace utk::impl {

// The bytes a property's CRC covers: its name and its persistent form, each
// followed by a zero byte.
void append_checked_bytes(const Utk_property& property, std::string& bytes);

// Persistent: "2024-03-05T14:07:09.5+01:00[CET]", the local date and time,
// the offset from UTC and the zone's name, so that zones sharing an offset
// stay apart. Display: "2024-03-05 14:07:09.5 +01:00 CET". Years before 1
// are written astronomically as ISO 8601 does (1 BC is 0000, 2 BC -0001).
void format_date_and_time(const krn::Krn_date_and_time& value, bool display, krn::Wstring& text);
// Reads the persistent form. The zone's name may be left out, the offset
// (or "Z") then chooses the zone; a name whose offset differs from the one
// written is refused. False for anything else, value unchanged.
bool parse_date_and_time(const krn::Wstring& text, krn::Krn_date_and_time& value);

// "P1DT2H3M4.5S", "-PT0.25S", "PT0S": days of 86400 seconds, then hours,
// minutes and seconds, leaving out the parts that are 0.
void format_time_period(const krn::Krn_time_period& value, krn::Wstring& text);
// Also accepts a "+" sign, weeks ("P2W") and a comma before the fraction;
// years and months, whose lengths vary, are refused.
bool parse_time_period(const krn::Wstring& text, krn::Krn_time_period& value);

}  // namespace utk::impl

#endif
