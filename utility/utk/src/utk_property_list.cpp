#include <algorithm>
#include <memory>
#include <stdexcept>

#include "krn/krn_crc.h"
#include "krn/krn_string.h"
#include "utk/utk_property.h"
#include "utk_property_text.h"

namespace utk {

namespace {

bool same_name_nc(const Utk_property& property, const std::string& name) {
  return krn::krn_utf8_compare_nc(property.name().c_str(), name.c_str()) == 0;
}

template <typename Iterator>
Utk_property* find_from(Iterator& start, Iterator end, const std::string& name, bool case_sensitive) {
  const std::string* pooled = nullptr;
  if (case_sensitive) {
    // A name that was never pooled belongs to no property at all.
    pooled = Utk_property::name_pool().find(name);
    if (!pooled) {
      start = end;
      return nullptr;
    }
  }
  for (; start != end; ++start) {
    Utk_property* property = *start;
    if (case_sensitive ? &property->name() == pooled : same_name_nc(*property, name)) {
      ++start;
      return property;
    }
  }
  return nullptr;
}

[[noreturn]] void bad_position(const char* operation) {
  throw std::invalid_argument(std::string("Invalid position given to Utk_property_list::") + operation + "()");
}

}  // namespace

Utk_property_list::Utk_property_list(bool allows_duplicates) : m_allows_duplicates(allows_duplicates) {}

Utk_property_list::Utk_property_list(const Utk_property_list& other) : m_allows_duplicates(other.m_allows_duplicates) {
  *this += other;
}

Utk_property_list::~Utk_property_list() { clear(); }

Utk_property_list& Utk_property_list::operator=(const Utk_property_list& other) {
  if (this == &other) return *this;
  Utk_property_list copy(other);
  clear(other.m_allows_duplicates);
  m_properties.swap(copy.m_properties);
  return *this;
}

Utk_property_list& Utk_property_list::operator+=(const Utk_property_list& other) {
  // Copy first: other may be this list.
  std::vector<Utk_property> copies;
  copies.reserve(other.size());
  for (const Utk_property* property : other) copies.push_back(*property);
  for (const Utk_property& property : copies) add(property);
  return *this;
}

void Utk_property_list::transfer(Utk_property_list& other) {
  if (this == &other) return;
  container moving;
  moving.swap(other.m_properties);
  for (std::size_t i = 0; i < moving.size(); ++i) {
    std::unique_ptr<Utk_property> property(moving[i]);
    moving[i] = nullptr;
    Utk_property* found = m_allows_duplicates ? nullptr : find_nc(property->name());
    if (found) {
      *found = *property;
    } else {
      m_properties.push_back(property.get());
      property.release();
    }
  }
}

void Utk_property_list::add(const Utk_property& property) {
  Utk_property* found = m_allows_duplicates ? nullptr : find_nc(property.name());
  if (found)
    *found = property;
  else
    m_properties.push_back(new Utk_property(property));
}

void Utk_property_list::add_value(const Utk_property& property) {
  Utk_property* found = m_allows_duplicates ? nullptr : find_nc(property.name());
  if (!found) {
    m_properties.push_back(new Utk_property(property));
    return;
  }
  const std::string& name = found->name();
  *found = property;
  found->name(name);
}

void Utk_property_list::update_value(const Utk_property& property) {
  iterator position = begin();
  Utk_property* found = find_nc(property.name(), position);
  if (!found) {
    add_value(property);
    return;
  }
  if (find_nc(property.name(), position))
    throw std::invalid_argument("No unique property found in Utk_property_list::update()");
  const std::string& name = found->name();
  *found = property;
  found->name(name);
}

Utk_property* Utk_property_list::find_cs(const Utk_property_name& name) {
  iterator start = begin();
  return find_cs(name, start);
}

const Utk_property* Utk_property_list::find_cs(const Utk_property_name& name) const {
  const_iterator start = begin();
  return find_cs(name, start);
}

Utk_property* Utk_property_list::find_cs(const Utk_property_name& name, iterator& start) {
  return find_from(start, end(), name.text(), true);
}

const Utk_property* Utk_property_list::find_cs(const Utk_property_name& name, const_iterator& start) const {
  return find_from(start, end(), name.text(), true);
}

Utk_property* Utk_property_list::find_nc(const Utk_property_name& name) {
  iterator start = begin();
  return find_nc(name, start);
}

const Utk_property* Utk_property_list::find_nc(const Utk_property_name& name) const {
  const_iterator start = begin();
  return find_nc(name, start);
}

Utk_property* Utk_property_list::find_nc(const Utk_property_name& name, iterator& start) {
  return find_from(start, end(), name.text(), false);
}

const Utk_property* Utk_property_list::find_nc(const Utk_property_name& name, const_iterator& start) const {
  return find_from(start, end(), name.text(), false);
}

std::size_t Utk_property_list::remove(const Utk_property_name& name) {
  std::size_t removed = 0;
  for (iterator it = begin(); it != end();) {
    if (same_name_nc(**it, name.text())) {
      it = remove(it);
      ++removed;
    } else {
      ++it;
    }
  }
  return removed;
}

bool Utk_property_list::remove(const Utk_property& property) {
  iterator found = std::find(begin(), end(), &property);
  if (found == end()) return false;
  remove(found);
  return true;
}

void Utk_property_list::remove(std::size_t index) {
  if (index >= size()) bad_position("remove");
  remove(begin() + static_cast<std::ptrdiff_t>(index));
}

Utk_property_list::iterator Utk_property_list::remove(iterator position) {
  delete *position;
  return m_properties.erase(position);
}

void Utk_property_list::rename(const Utk_property_name& old_name, const Utk_property_name& new_name) {
  const bool same_name = krn::krn_utf8_compare_nc(old_name.text().c_str(), new_name.text().c_str()) == 0;
  if (!m_allows_duplicates && !same_name && find_nc(old_name) && find_nc(new_name))
    throw std::invalid_argument("Utk_property_list::rename() - a property of the new name exists already");
  for (Utk_property* property : m_properties)
    if (same_name_nc(*property, old_name.text())) property->name(new_name);
}

void Utk_property_list::clear() {
  for (Utk_property* property : m_properties) delete property;
  m_properties.clear();
}

void Utk_property_list::clear(bool allows_duplicates) {
  clear();
  m_allows_duplicates = allows_duplicates;
}

Utk_property& Utk_property_list::operator[](std::size_t index) {
  if (index >= size()) bad_position("operator[]");
  return *m_properties[index];
}

const Utk_property& Utk_property_list::operator[](std::size_t index) const {
  if (index >= size()) bad_position("operator[]");
  return *m_properties[index];
}

std::uint32_t Utk_property_list::crc() const {
  std::string bytes;
  for (const Utk_property* property : m_properties) impl::append_checked_bytes(*property, bytes);
  return krn::Krn_crc32::calculate(bytes.data(), bytes.size());
}

void utk_extract_list(Utk_property_list& source, Utk_property_list& destination, const std::vector<std::string>& names) {
  if (&source == &destination) return;
  for (const std::string& name : names) {
    auto position = source.begin();
    while (Utk_property* property = source.find_nc(name, position)) {
      destination.add(*property);
      // find_nc left the iterator past the match; step back onto it.
      position = source.remove(position - 1);
    }
  }
}

}  // namespace utk
