#include "krn/krn_status_args.h"

#include "krn/krn_string.h"

namespace krn {

const GUID Krn_int_status_arg::IDENTITY = {0xCFA02F50, 0x2DB3, 0x11D0, {0x8F, 0x18, 0x00, 0x00, 0xC0, 0x1C, 0x6C, 0xDE}};
const GUID Krn_uint_status_arg::IDENTITY = {0x756DF300, 0x2DB7, 0x11D0, {0x8F, 0x18, 0x00, 0x00, 0xC0, 0x1C, 0x6C, 0xDE}};
const GUID Krn_bool_status_arg::IDENTITY = {0x3FDA7139, 0xC3F9, 0x11D1, {0xA5, 0xAB, 0x00, 0xA0, 0xC9, 0xAA, 0xB3, 0xEB}};
const GUID Krn_wstring_status_arg::IDENTITY = {0x6785ECA0, 0x2DBA, 0x11D0, {0x8F, 0x18, 0x00, 0x00, 0xC0, 0x1C, 0x6C, 0xDE}};
const GUID Krn_null_status_arg::IDENTITY = {0xE8325200, 0x2D7D, 0x11D0, {0x8F, 0x18, 0x00, 0x00, 0xC0, 0x1C, 0x6C, 0xDE}};
const Krn_null_status_arg Krn_null_status_arg::NULL_ARGUMENT;

Krn_status_arg::~Krn_status_arg() = default;

void Krn_status_arg::destroy() { delete this; }

void Krn_int_status_arg::to_string(Wstring& text) const { krn_itow(m_value, text, 10, m_format); }
void Krn_int_status_arg::to_xml_value(Wstring& text) const { krn_itow(m_value, text, 10, false); }
Krn_status_arg* Krn_int_status_arg::clone(void*) const { return new Krn_int_status_arg(*this); }
bool Krn_int_status_arg::operator==(const Krn_status_arg& other) const {
  const auto* o = same_kind(*this, other);
  return o && o->m_value == m_value;
}

void Krn_uint_status_arg::to_string(Wstring& text) const { krn_itow(m_value, text, 10, m_format); }
void Krn_uint_status_arg::to_xml_value(Wstring& text) const { krn_itow(m_value, text, 10, false); }
Krn_status_arg* Krn_uint_status_arg::clone(void*) const { return new Krn_uint_status_arg(*this); }
bool Krn_uint_status_arg::operator==(const Krn_status_arg& other) const {
  const auto* o = same_kind(*this, other);
  return o && o->m_value == m_value;
}

void Krn_bool_status_arg::to_string(Wstring& text) const { text = m_value ? u"true" : u"false"; }
Krn_status_arg* Krn_bool_status_arg::clone(void*) const { return new Krn_bool_status_arg(*this); }
bool Krn_bool_status_arg::operator==(const Krn_status_arg& other) const {
  const auto* o = same_kind(*this, other);
  return o && o->m_value == m_value;
}

Krn_wstring_status_arg::Krn_wstring_status_arg(const std::string& value) { krn_stow(value, m_value); }
void Krn_wstring_status_arg::to_xml_value(Wstring& text) const { krn_wstring_to_xml(m_value, text, true); }
Krn_status_arg* Krn_wstring_status_arg::clone(void*) const { return new Krn_wstring_status_arg(*this); }
bool Krn_wstring_status_arg::operator==(const Krn_status_arg& other) const {
  const auto* o = same_kind(*this, other);
  return o && o->m_value == m_value;
}

Krn_status_arg* Krn_null_status_arg::clone(void*) const { return new Krn_null_status_arg(*this); }
bool Krn_null_status_arg::operator==(const Krn_status_arg& other) const {
  return same_kind(*this, other) != nullptr;
}

}  // namespace krn
