#ifndef UTK_PROPERTY_H
#define UTK_PROPERTY_H

// Named, typed values and ordered lists of them. Property names live in one
// process-wide pool, so that equal names are one string and a case-sensitive
// lookup compares addresses.
//
// Each property also has a persistent text form: "$", a type letter (S, I, B,
// D, T) and the value text. Dates and times are written in ISO 8601 with the
// zone's offset and name, "$D2024-03-05T14:07:09.5+01:00[CET]"; periods as
// ISO 8601 durations in days, hours, minutes and seconds, "$T-P1DT2H0.25S".

#include <concepts>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <variant>
#include <vector>

#include <xercesc/util/XercesDefs.hpp>

#include "krn/krn_critical.h"
#include "krn/krn_date.h"
#include "krn/krn_time.h"
#include "krn/krn_types.h"
#include "utk/utk_export.h"

XERCES_CPP_NAMESPACE_BEGIN
class DOMElement;
class DOMNode;
XERCES_CPP_NAMESPACE_END

namespace krn {
class Krn_status;
}

namespace utk {

using krn::int64;

// Interned narrow strings that live as long as the process: the pool only
// grows, so references to its strings stay valid. Safe to share between
// threads.
class UTK_API Utk_string_pool {
 public:
  Utk_string_pool() = default;
  Utk_string_pool(const Utk_string_pool&) = delete;
  Utk_string_pool& operator=(const Utk_string_pool&) = delete;

  // The pooled copy of text, added when missing.
  const std::string& add(const std::string& text);
  // The pooled copy, or null when text was never added.
  const std::string* find(const std::string& text) const;
  std::size_t size() const;

 private:
  mutable krn::Krn_critical m_lock;
  std::unordered_set<std::string> m_strings;
};

// A property name in any of the forms callers hold: narrow text is UTF-8,
// UTF-16 text is converted to it. A null pointer is the empty name.
class UTK_API Utk_property_name {
 public:
  Utk_property_name(const char* name);
  Utk_property_name(const std::string& name);
  Utk_property_name(const krn::Char16* name);
  Utk_property_name(const krn::Wstring& name);

  const std::string& text() const { return m_text; }

 private:
  std::string m_text;
};

class UTK_API Utk_property {
 public:
  enum Type : std::uint32_t { STRING = 0, INTEGER = 1, BOOLEAN = 2, DATE_AND_TIME = 3, TIME_PERIOD = 4 };

  // The empty name and an empty string.
  Utk_property();
  Utk_property(const Utk_property_name& name, int64 value);
  Utk_property(const Utk_property_name& name, bool value);
  // Narrow text is UTF-8.
  Utk_property(const Utk_property_name& name, const char* value);
  Utk_property(const Utk_property_name& name, const std::string& value);
  Utk_property(const Utk_property_name& name, const krn::Char16* value);
  Utk_property(const Utk_property_name& name, const krn::Wstring& value);
  Utk_property(const Utk_property_name& name, const krn::Krn_date_and_time& value);
  Utk_property(const Utk_property_name& name, const krn::Krn_time_period& value);
  // Any other integer is an INTEGER too (int would otherwise be ambiguous
  // between int64 and bool).
  template <std::integral T>
    requires(!std::same_as<T, bool>)
  Utk_property(const Utk_property_name& name, T value) : Utk_property(name, static_cast<int64>(value)) {}
  Utk_property(const Utk_property&) = default;
  Utk_property& operator=(const Utk_property&) = default;
  ~Utk_property();

  // The class-wide pool of property names.
  static Utk_string_pool& name_pool();

  const std::string& name() const { return *m_name; }
  void name(const Utk_property_name& name);
  Type type() const { return static_cast<Type>(m_value.index()); }

  // Each throws std::runtime_error when the property holds another type.
  const krn::Wstring& string_value() const;
  int64 int_value() const;
  bool bool_value() const;
  const krn::Krn_date_and_time& date_and_time_value() const;
  const krn::Krn_time_period& time_period_value() const;

  // Each replaces type and value.
  void value(int64 value);
  void value(bool value);
  void value(const char* value);
  void value(const std::string& value);
  void value(const krn::Char16* value);
  void value(const krn::Wstring& value);
  void value(const krn::Krn_date_and_time& value);
  void value(const krn::Krn_time_period& value);
  template <std::integral T>
    requires(!std::same_as<T, bool>)
  void value(T value) {
    this->value(static_cast<int64>(value));
  }

  // "$", the type letter and the value text; the output is replaced.
  void get_persistent_string(krn::Wstring& text) const;
  // Turns a STRING property holding a persistent form into the value it
  // describes and returns the new type. Throws std::runtime_error, leaving
  // the property as it was, when it is not a STRING or the text is not a
  // valid persistent form.
  Type convert_from_persistent_string();
  // The value as a person reads it; the output is replaced. Dates are
  // "2024-03-05 14:07:09 +01:00 CET", periods ISO 8601 durations.
  void get_display_string(krn::Wstring& text) const;

  // True when the property has that type; otherwise false and the status
  // holds UTK_E_PROPERTY_TYPE.
  bool is_type(Type type, krn::Krn_status& status) const;

  // Same type and equal value. Date-and-times are equal only as the same
  // local time in the same zone, as their persistent forms are.
  bool value_equal(const Utk_property& other) const;
  // Same name (case-sensitive) and equal values.
  bool operator==(const Utk_property& other) const;
  // Ordered by name (byte order), then type, then value.
  bool operator<(const Utk_property& other) const;
  bool operator>(const Utk_property& other) const { return other < *this; }

  // CRC-32 of the name and the persistent form.
  std::uint32_t crc() const;

  // Attributes "name", "type" and "value" (the persistent value text without
  // its prefix) on an element the caller created; from_xml reads them back
  // and throws std::runtime_error for a node that is not such an element.
  void to_xml(XERCES_CPP_NAMESPACE::DOMElement* element) const;
  void from_xml(const XERCES_CPP_NAMESPACE::DOMNode* node);

 private:
  using Value = std::variant<krn::Wstring, int64, bool, krn::Krn_date_and_time, krn::Krn_time_period>;

  static const std::string* pooled(const Utk_property_name& name);

  const std::string* m_name;
  Value m_value;
};

class UTK_API Utk_property_list {
 public:
  using container = std::vector<Utk_property*>;
  using iterator = container::iterator;
  using const_iterator = container::const_iterator;

  explicit Utk_property_list(bool allows_duplicates = false);
  Utk_property_list(const Utk_property_list& other);
  ~Utk_property_list();
  // Copies the properties and the duplicates flag.
  Utk_property_list& operator=(const Utk_property_list& other);
  // Adds a copy of each of the other list's properties, as add does.
  Utk_property_list& operator+=(const Utk_property_list& other);
  // Moves the other list's properties here, as add would place them; the
  // other list is left empty.
  void transfer(Utk_property_list& other);

  // Without duplicates, a property whose name matches ignoring case takes
  // the copy in its place; otherwise the copy is appended.
  void add(const Utk_property& property);
  // Without duplicates, a property whose name matches ignoring case takes
  // the value and keeps its name as first written; otherwise a new property
  // is appended.
  template <typename V>
  void add(const Utk_property_name& name, const V& value) {
    add_value(Utk_property(name, value));
  }
  // Replaces the value of the property of that name, or adds one. Throws
  // std::invalid_argument (list unchanged) when two properties have the name.
  template <typename V>
  void update(const Utk_property_name& name, const V& value) {
    update_value(Utk_property(name, value));
  }

  // Case-sensitive; null when absent. The forms with a start iterator begin
  // there and leave it just past the match, or at the end.
  Utk_property* find_cs(const Utk_property_name& name);
  const Utk_property* find_cs(const Utk_property_name& name) const;
  Utk_property* find_cs(const Utk_property_name& name, iterator& start);
  const Utk_property* find_cs(const Utk_property_name& name, const_iterator& start) const;
  // The same, ignoring case.
  Utk_property* find_nc(const Utk_property_name& name);
  const Utk_property* find_nc(const Utk_property_name& name) const;
  Utk_property* find_nc(const Utk_property_name& name, iterator& start);
  const Utk_property* find_nc(const Utk_property_name& name, const_iterator& start) const;

  // Every property of that name, ignoring case; returns how many went.
  std::size_t remove(const Utk_property_name& name);
  // That very property, if it is in this list.
  bool remove(const Utk_property& property);
  // Throws std::invalid_argument for an index not below size().
  void remove(std::size_t index);
  // Returns the iterator to the property after it.
  iterator remove(iterator position);

  // Every property matching old_name ignoring case takes new_name. Without
  // duplicates, a new name that another property already has throws
  // std::invalid_argument, leaving the list unchanged.
  void rename(const Utk_property_name& old_name, const Utk_property_name& new_name);

  void clear();
  void clear(bool allows_duplicates);
  std::size_t size() const { return m_properties.size(); }
  bool empty() const { return m_properties.empty(); }
  // Throws std::invalid_argument for an index not below size().
  Utk_property& operator[](std::size_t index);
  const Utk_property& operator[](std::size_t index) const;
  iterator begin() { return m_properties.begin(); }
  iterator end() { return m_properties.end(); }
  const_iterator begin() const { return m_properties.begin(); }
  const_iterator end() const { return m_properties.end(); }
  bool allows_duplicates() const { return m_allows_duplicates; }

  // CRC-32 of the properties' names and persistent forms, in order.
  std::uint32_t crc() const;

  // Attribute "duplicates" and one "Property" child element per property;
  // from_xml replaces the list's content and throws std::runtime_error for a
  // node that is not such an element.
  void to_xml(XERCES_CPP_NAMESPACE::DOMElement* element) const;
  void from_xml(const XERCES_CPP_NAMESPACE::DOMNode* node);

 private:
  void add_value(const Utk_property& property);
  void update_value(const Utk_property& property);

  container m_properties;
  bool m_allows_duplicates;
};

// Moves every property named in names (ignoring case) from source to
// destination, placing each as destination.add would.
UTK_API void utk_extract_list(Utk_property_list& source, Utk_property_list& destination,
                              const std::vector<std::string>& names);

}  // namespace utk

#endif
