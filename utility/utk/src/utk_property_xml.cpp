// The XML forms: a property is an element with the attributes "name", "type"
// and "value"; a list is an element with the attribute "duplicates" and one
// "Property" child element per property.

#include <stdexcept>
#include <string_view>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include "krn/krn_string.h"
#include "utk/utk_property.h"

namespace utk {

using krn::Wstring;
using XERCES_CPP_NAMESPACE::DOMElement;
using XERCES_CPP_NAMESPACE::DOMNode;

namespace {

const char16_t* const PROPERTY = u"Property";
const char16_t* const NAME = u"name";
const char16_t* const TYPE = u"type";
const char16_t* const VALUE = u"value";
const char16_t* const DUPLICATES = u"duplicates";
// Indexed by Utk_property::Type; the persistent form's letters in the same order.
const char16_t* const TYPE_NAMES[] = {u"string", u"integer", u"boolean", u"dateandtime", u"timeperiod"};
const char16_t TYPE_LETTERS[] = u"SIBDT";

[[noreturn]] void invalid(const char* operation) {
  throw std::runtime_error(std::string(operation) + " - Invalid XML format");
}

const DOMElement* as_element(const DOMNode* node, const char* operation) {
  if (!node || node->getNodeType() != DOMNode::ELEMENT_NODE) invalid(operation);
  return static_cast<const DOMElement*>(node);
}

// The attribute's text; a missing attribute is malformed stored data.
std::u16string_view required(const DOMElement* element, const char16_t* name, const char* operation) {
  if (!element->hasAttribute(name)) invalid(operation);
  const char16_t* text = element->getAttribute(name);
  return text ? std::u16string_view(text) : std::u16string_view();
}

// Names and values alike: a parser turns line breaks and tabs in an attribute
// into spaces, and other control characters cannot be written at all, so
// either would come back changed or not at all.
Wstring escaped(const Wstring& text) {
  Wstring out;
  krn::krn_wstring_to_xml(text, out, true);
  return out;
}

Wstring unescaped(std::u16string_view text) {
  Wstring out;
  krn::krn_wstring_from_xml(Wstring(text), out);
  return out;
}

}  // namespace

void Utk_property::to_xml(DOMElement* element) const {
  Wstring text;
  krn::krn_utf8_to_utf16(name(), text);
  element->setAttribute(NAME, escaped(text).c_str());
  element->setAttribute(TYPE, TYPE_NAMES[type()]);
  get_persistent_string(text);
  element->setAttribute(VALUE, escaped(text.substr(2)).c_str());
}

void Utk_property::from_xml(const DOMNode* node) {
  static const char* const OPERATION = "Utk_property::from_xml()";
  const DOMElement* element = as_element(node, OPERATION);
  const std::u16string_view name_text = required(element, NAME, OPERATION);
  const std::u16string_view type_text = required(element, TYPE, OPERATION);
  const std::u16string_view value_text = required(element, VALUE, OPERATION);

  std::size_t type_index = 0;
  while (type_index < std::size(TYPE_NAMES) && type_text != TYPE_NAMES[type_index]) ++type_index;
  if (type_index == std::size(TYPE_NAMES)) invalid(OPERATION);

  Wstring persistent = u"$";
  persistent += TYPE_LETTERS[type_index];
  persistent += unescaped(value_text);
  // Built aside, so that a bad value leaves this property as it was.
  Utk_property read(unescaped(name_text), persistent);
  try {
    read.convert_from_persistent_string();
  } catch (const std::runtime_error&) {
    invalid(OPERATION);
  }
  *this = read;
}

void Utk_property_list::to_xml(DOMElement* element) const {
  element->setAttribute(DUPLICATES, m_allows_duplicates ? krn::W_TRUE.c_str() : krn::W_FALSE.c_str());
  for (const Utk_property* property : m_properties) {
    DOMElement* child = element->getOwnerDocument()->createElement(PROPERTY);
    property->to_xml(child);
    element->appendChild(child);
  }
}

void Utk_property_list::from_xml(const DOMNode* node) {
  static const char* const OPERATION = "Utk_property_list::from_xml()";
  const DOMElement* element = as_element(node, OPERATION);
  const std::u16string_view duplicates = required(element, DUPLICATES, OPERATION);
  if (duplicates != krn::W_TRUE && duplicates != krn::W_FALSE) invalid(OPERATION);

  Utk_property_list read(duplicates == krn::W_TRUE);
  for (const DOMElement* child = element->getFirstElementChild(); child; child = child->getNextElementSibling()) {
    if (std::u16string_view(child->getTagName()) != PROPERTY) invalid(OPERATION);
    Utk_property property;
    try {
      property.from_xml(child);
    } catch (const std::runtime_error&) {
      invalid(OPERATION);
    }
    read.add(property);
  }
  *this = read;
}

}  // namespace utk
