#include "krn/krn_date_status_args.h"

#include <string>

#include "krn_status_date_xml.h"

namespace krn {

const GUID Krn_date_status_arg::IDENTITY = {0x1637FA71, 0xAB07, 0x11D2, {0x99, 0x25, 0x00, 0xA0, 0xC9, 0xB7, 0xDA, 0xA8}};
const GUID Krn_time_status_arg::IDENTITY = {0xE48B8170, 0xAAF0, 0x11D2, {0x99, 0x25, 0x00, 0xA0, 0xC9, 0xB7, 0xDA, 0xA8}};
const GUID Krn_date_and_time_status_arg::IDENTITY = {0x1637FA72, 0xAB07, 0x11D2, {0x99, 0x25, 0x00, 0xA0, 0xC9, 0xB7, 0xDA, 0xA8}};

void Krn_date_status_arg::to_string(Wstring& text) const {
  text.clear();
  m_value.to_string(u"%x", text);
}

void Krn_date_status_arg::to_xml_value(Wstring& text) const {
  text.clear();
  m_value.to_string(u"%Y-%m-%d", text);
}

Krn_status_arg* Krn_date_status_arg::clone(void*) const { return new Krn_date_status_arg(*this); }

bool Krn_date_status_arg::operator==(const Krn_status_arg& other) const {
  const auto* o = same_kind(*this, other);
  return o && o->m_value == m_value;
}

void Krn_time_status_arg::to_string(Wstring& text) const {
  text.clear();
  m_value.to_string(u"%X", text);
}

void Krn_time_status_arg::to_xml_value(Wstring& text) const {
  text.clear();
  m_value.to_string(u"%H-%M-%S", text);
}

Krn_status_arg* Krn_time_status_arg::clone(void*) const { return new Krn_time_status_arg(*this); }

bool Krn_time_status_arg::operator==(const Krn_status_arg& other) const {
  const auto* o = same_kind(*this, other);
  return o && o->m_value == m_value;
}

void Krn_date_and_time_status_arg::to_string(Wstring& text) const {
  text.clear();
  m_value.to_string(u"%c", text);
}

void Krn_date_and_time_status_arg::to_xml_value(Wstring& text) const {
  text.clear();
  m_value.utc().to_string(u"%Y-%m-%dT%H-%M-%SZ", text);
}

Krn_status_arg* Krn_date_and_time_status_arg::clone(void*) const { return new Krn_date_and_time_status_arg(*this); }

bool Krn_date_and_time_status_arg::operator==(const Krn_status_arg& other) const {
  const auto* o = same_kind(*this, other);
  return o && o->m_value == m_value;
}

namespace {

// A reader of the XML value texts in the manner of sscanf: white space may
// precede a number and text after the last field is ignored. Years take a
// sign and up to five digits, because that is how "%Y" writes the years
// before 1 and after 9999.
class Value_reader {
 public:
  explicit Value_reader(const Wstring& text) : m_text(text) {}

  bool number(int max_digits, bool sign_allowed, int& value) {
    while (m_at < m_text.size() && is_space(m_text[m_at])) ++m_at;
    bool negative = false;
    if (sign_allowed && m_at < m_text.size() && (m_text[m_at] == u'-' || m_text[m_at] == u'+'))
      negative = m_text[m_at++] == u'-';
    int digits = 0;
    value = 0;
    while (digits < max_digits && m_at < m_text.size() && m_text[m_at] >= u'0' && m_text[m_at] <= u'9') {
      value = value * 10 + (m_text[m_at++] - u'0');
      ++digits;
    }
    if (negative) value = -value;
    return digits > 0;
  }

  bool literal(Char16 unit) {
    if (m_at >= m_text.size() || m_text[m_at] != unit) return false;
    ++m_at;
    return true;
  }

 private:
  static bool is_space(Char16 unit) { return unit == u' ' || (unit >= u'\t' && unit <= u'\r'); }

  const Wstring& m_text;
  size_t m_at = 0;
};

bool read_date(Value_reader& reader, int& year, int& month, int& day) {
  return reader.number(5, true, year) && reader.literal(u'-') && reader.number(2, false, month) &&
         reader.literal(u'-') && reader.number(2, false, day) && Krn_date::is_day_in_month(day, month, year);
}

bool read_time(Value_reader& reader, int& hour, int& minute, int& second) {
  return reader.number(2, false, hour) && reader.literal(u'-') && reader.number(2, false, minute) &&
         reader.literal(u'-') && reader.number(2, false, second) && Krn_time::valid_hour(hour) &&
         Krn_time::valid_minute(minute) && Krn_time::valid_second(second);
}

}  // namespace

namespace {

Krn_status_arg* date_arg_from_xml(const std::string& type, const Wstring& value) {
  Value_reader reader(value);
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (type == "date") {
    if (!read_date(reader, year, month, day)) return nullptr;
    return new Krn_date_status_arg(Krn_date(day, month, year));
  }
  if (type == "time") {
    if (!read_time(reader, hour, minute, second)) return nullptr;
    return new Krn_time_status_arg(Krn_time(hour, minute, second));
  }
  if (!read_date(reader, year, month, day) || !reader.literal(u'T') || !read_time(reader, hour, minute, second) ||
      !reader.literal(u'Z'))
    return nullptr;
  return new Krn_date_and_time_status_arg(
      Krn_date_and_time(Krn_date(day, month, year), Krn_time(hour, minute, second), Krn_time_zone::UTC));
}

}  // namespace

bool krn_date_arg_from_xml(const std::string& type, const Wstring& value, Krn_status_arg*& out) {
  out = nullptr;
  if (type != "date" && type != "time" && type != "datetime") return false;
  out = date_arg_from_xml(type, value);
  return true;
}

}  // namespace krn
