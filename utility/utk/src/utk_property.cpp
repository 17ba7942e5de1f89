#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "krn/krn_crc.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "utk/utk_property.h"
#include "utk/utk_status_codes.h"
#include "utk_property_text.h"

namespace utk {

using krn::Wstring;

// ---- The name pool ---------------------------------------------------------

const std::string& Utk_string_pool::add(const std::string& text) {
  krn::Krn_lock_guard guard(m_lock);
  return *m_strings.insert(text).first;
}

const std::string* Utk_string_pool::find(const std::string& text) const {
  krn::Krn_lock_guard guard(m_lock);
  auto found = m_strings.find(text);
  return found == m_strings.end() ? nullptr : &*found;
}

std::size_t Utk_string_pool::size() const {
  krn::Krn_lock_guard guard(m_lock);
  return m_strings.size();
}

// ---- Names -----------------------------------------------------------------

Utk_property_name::Utk_property_name(const char* name) : m_text(name ? name : "") {}

Utk_property_name::Utk_property_name(const std::string& name) : m_text(name) {}

Utk_property_name::Utk_property_name(const krn::Char16* name) { krn::krn_utf16_to_utf8(name, m_text); }

Utk_property_name::Utk_property_name(const Wstring& name) { krn::krn_utf16_to_utf8(name, m_text); }

// ---- Properties ------------------------------------------------------------

namespace {

const char TYPE_LETTERS[] = {'S', 'I', 'B', 'D', 'T'};
const char* const TYPE_NAMES[] = {"STRING", "INTEGER", "BOOLEAN", "DATE_AND_TIME", "TIME_PERIOD"};

Wstring widen(const char* utf8) {
  Wstring text;
  krn::krn_utf8_to_utf16(utf8, text);
  return text;
}

[[noreturn]] void wrong_type(const char* getter, const char* type) {
  throw std::runtime_error(std::string("Utk_property::") + getter + "() called when type not " + type);
}

// A decimal that fits in 64 bits; the platform's conversion would clamp a
// larger one silently.
bool parse_integer(const Wstring& text, int64& value) {
  if (!krn::krn_is_number(text, 10)) return false;
  Wstring trimmed = text;
  krn::krn_trim_leading(trimmed);
  std::string digits;
  krn::krn_utf16_to_utf8(trimmed, digits);
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(digits.c_str(), &end, 10);
  if (errno == ERANGE || *end != '\0') return false;
  value = parsed;
  return true;
}

}  // namespace

Utk_string_pool& Utk_property::name_pool() {
  // Built on first use, so that properties made while other libraries start
  // up find it ready; never destroyed, since names outlive everything.
  static Utk_string_pool* pool = new Utk_string_pool;
  return *pool;
}

const std::string* Utk_property::pooled(const Utk_property_name& name) { return &name_pool().add(name.text()); }

Utk_property::Utk_property() : m_name(pooled("")), m_value(Wstring()) {}

Utk_property::Utk_property(const Utk_property_name& name, int64 value) : m_name(pooled(name)), m_value(value) {}

Utk_property::Utk_property(const Utk_property_name& name, bool value) : m_name(pooled(name)), m_value(value) {}

Utk_property::Utk_property(const Utk_property_name& name, const char* value)
    : m_name(pooled(name)), m_value(widen(value)) {}

Utk_property::Utk_property(const Utk_property_name& name, const std::string& value)
    : m_name(pooled(name)), m_value(widen(value.c_str())) {}

Utk_property::Utk_property(const Utk_property_name& name, const krn::Char16* value)
    : m_name(pooled(name)), m_value(Wstring(value ? value : u"")) {}

Utk_property::Utk_property(const Utk_property_name& name, const Wstring& value) : m_name(pooled(name)), m_value(value) {}

Utk_property::Utk_property(const Utk_property_name& name, const krn::Krn_date_and_time& value)
    : m_name(pooled(name)), m_value(value) {}

Utk_property::Utk_property(const Utk_property_name& name, const krn::Krn_time_period& value)
    : m_name(pooled(name)), m_value(value) {}

Utk_property::~Utk_property() = default;

void Utk_property::name(const Utk_property_name& name) { m_name = pooled(name); }

const Wstring& Utk_property::string_value() const {
  if (type() != STRING) wrong_type("string_value", "STRING");
  return std::get<Wstring>(m_value);
}

int64 Utk_property::int_value() const {
  if (type() != INTEGER) wrong_type("int_value", "INTEGER");
  return std::get<int64>(m_value);
}

bool Utk_property::bool_value() const {
  if (type() != BOOLEAN) wrong_type("bool_value", "BOOLEAN");
  return std::get<bool>(m_value);
}

const krn::Krn_date_and_time& Utk_property::date_and_time_value() const {
  if (type() != DATE_AND_TIME) wrong_type("date_and_time_value", "DATE_AND_TIME");
  return std::get<krn::Krn_date_and_time>(m_value);
}

const krn::Krn_time_period& Utk_property::time_period_value() const {
  if (type() != TIME_PERIOD) wrong_type("time_period_value", "TIME_PERIOD");
  return std::get<krn::Krn_time_period>(m_value);
}

void Utk_property::value(int64 value) { m_value = value; }
void Utk_property::value(bool value) { m_value = value; }
void Utk_property::value(const char* value) { m_value = widen(value); }
void Utk_property::value(const std::string& value) { m_value = widen(value.c_str()); }
void Utk_property::value(const krn::Char16* value) { m_value = Wstring(value ? value : u""); }
void Utk_property::value(const Wstring& value) { m_value = value; }
void Utk_property::value(const krn::Krn_date_and_time& value) { m_value = value; }
void Utk_property::value(const krn::Krn_time_period& value) { m_value = value; }

void Utk_property::get_persistent_string(Wstring& text) const {
  Wstring value_text;
  switch (type()) {
    case STRING:
      value_text = std::get<Wstring>(m_value);
      break;
    case INTEGER:
      krn::krn_itow(std::get<int64>(m_value), value_text);
      break;
    case BOOLEAN:
      value_text = std::get<bool>(m_value) ? krn::W_TRUE : krn::W_FALSE;
      break;
    case DATE_AND_TIME:
      impl::format_date_and_time(std::get<krn::Krn_date_and_time>(m_value), false, value_text);
      break;
    case TIME_PERIOD:
      impl::format_time_period(std::get<krn::Krn_time_period>(m_value), value_text);
      break;
  }
  text = u"$";
  text += static_cast<char16_t>(TYPE_LETTERS[type()]);
  text += value_text;
}

Utk_property::Type Utk_property::convert_from_persistent_string() {
  if (type() != STRING) throw std::runtime_error("Cannot convert from type other than string");
  const Wstring& text = std::get<Wstring>(m_value);
  if (text.size() < 2 || text[0] != u'$') throw std::runtime_error("Not a valid property value");
  const Wstring rest = text.substr(2);
  switch (text[1]) {
    case u'S': {
      m_value = rest;
      return STRING;
    }
    case u'I': {
      int64 number = 0;
      if (!parse_integer(rest, number)) break;
      m_value = number;
      return INTEGER;
    }
    case u'B': {
      if (krn::krn_utf16_compare_nc(rest.c_str(), krn::W_TRUE.c_str()) == 0)
        m_value = true;
      else if (krn::krn_utf16_compare_nc(rest.c_str(), krn::W_FALSE.c_str()) == 0)
        m_value = false;
      else
        break;
      return BOOLEAN;
    }
    case u'D': {
      krn::Krn_date_and_time date_and_time;
      if (!impl::parse_date_and_time(rest, date_and_time)) break;
      m_value = date_and_time;
      return DATE_AND_TIME;
    }
    case u'T': {
      krn::Krn_time_period period;
      if (!impl::parse_time_period(rest, period)) break;
      m_value = period;
      return TIME_PERIOD;
    }
    default:
      throw std::runtime_error("Not a valid type descriptor");
  }
  throw std::runtime_error("Not a valid property value");
}

void Utk_property::get_display_string(Wstring& text) const {
  switch (type()) {
    case STRING:
      text = std::get<Wstring>(m_value);
      return;
    case DATE_AND_TIME:
      impl::format_date_and_time(std::get<krn::Krn_date_and_time>(m_value), true, text);
      return;
    default:
      get_persistent_string(text);
      text.erase(0, 2);
      return;
  }
}

bool Utk_property::is_type(Type expected, krn::Krn_status& status) const {
  status.clear();
  if (type() == expected) return true;
  Wstring name_text;
  krn::krn_utf8_to_utf16(name(), name_text);
  status.assign(UTK_E_PROPERTY_TYPE, krn::Krn_wstring_status_arg(name_text),
                krn::Krn_wstring_status_arg(widen(TYPE_NAMES[type()])),
                krn::Krn_wstring_status_arg(widen(TYPE_NAMES[expected])));
  return false;
}

bool Utk_property::value_equal(const Utk_property& other) const {
  if (type() != other.type()) return false;
  if (type() == DATE_AND_TIME)
    return std::get<krn::Krn_date_and_time>(m_value).is_same_as(std::get<krn::Krn_date_and_time>(other.m_value));
  return m_value == other.m_value;
}

bool Utk_property::operator==(const Utk_property& other) const { return m_name == other.m_name && value_equal(other); }

bool Utk_property::operator<(const Utk_property& other) const {
  if (m_name != other.m_name) return *m_name < *other.m_name;
  if (type() != other.type()) return type() < other.type();
  if (type() == DATE_AND_TIME) {
    // The instant first, then the zone, so that the order agrees with
    // value_equal: the same instant in two zones is two values.
    const auto& a = std::get<krn::Krn_date_and_time>(m_value);
    const auto& b = std::get<krn::Krn_date_and_time>(other.m_value);
    if (a != b) return a < b;
    return a.zone().identifier() < b.zone().identifier();
  }
  return m_value < other.m_value;
}

std::uint32_t Utk_property::crc() const {
  std::string bytes;
  impl::append_checked_bytes(*this, bytes);
  return krn::Krn_crc32::calculate(bytes.data(), bytes.size());
}

void impl::append_checked_bytes(const Utk_property& property, std::string& bytes) {
  Wstring persistent;
  property.get_persistent_string(persistent);
  std::string persistent_utf8;
  krn::krn_utf16_to_utf8(persistent, persistent_utf8);
  // The terminators keep "ab" + "c" apart from "a" + "bc".
  bytes += property.name();
  bytes += '\0';
  bytes += persistent_utf8;
  bytes += '\0';
}

}  // namespace utk
