// The XML form of a status: attributes "value" and "origvalue", an "Arg"
// element per argument and a "ChildStatus" element for the child.

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>

#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "krn_status_date_xml.h"

namespace krn {

using XERCES_CPP_NAMESPACE::DOMElement;

namespace {

const char16_t* const ARG = u"Arg";
const char16_t* const CHILD_STATUS = u"ChildStatus";

[[noreturn]] void invalid() { throw std::runtime_error("Krn_status::from_xml() - Invalid XML format"); }

std::string attribute(const DOMElement* element, const char16_t* name) {
  std::string text;
  krn_utf16_to_utf8(element->getAttribute(name), text);
  return text;
}

// A signed 64-bit decimal; null when the text is not one.
bool parse_int64(const std::string& text, int64& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

// An unsigned 64-bit decimal: the upper half of the range does not fit the
// signed reading, and the writer puts every value there.
bool parse_uint64(const std::string& text, uint64& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoull(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

Krn_status_arg* arg_from_xml(const DOMElement* element) {
  const std::string type = attribute(element, u"type");
  const char16_t* raw = element->getAttribute(u"value");
  const Wstring value_text = raw ? Wstring(raw) : Wstring();
  std::string value;
  krn_utf16_to_utf8(value_text.c_str(), value);
  int64 number = 0;
  if (type == "int") {
    if (!parse_int64(value, number)) invalid();
    return new Krn_int_status_arg(number, true);
  }
  if (type == "uint") {
    uint64 unsigned_number = 0;
    if (!parse_uint64(value, unsigned_number)) invalid();
    return new Krn_uint_status_arg(unsigned_number, true);
  }
  if (type == "bool") {
    if (value == "true") return new Krn_bool_status_arg(true);
    if (value == "false") return new Krn_bool_status_arg(false);
    invalid();
  }
  if (type == "string") {
    Wstring text;
    krn_wstring_from_xml(value_text, text);
    return new Krn_wstring_status_arg(text);
  }
  Krn_status_arg* arg = nullptr;
  if (!krn_date_arg_from_xml(type, value_text, arg) || !arg) invalid();
  return arg;
}

}  // namespace

void Krn_status::to_xml(DOMElement* element, bool with_children) const {
  Wstring text;
  krn_itow(static_cast<uint64>(m_value), text);
  element->setAttribute(u"value", text.c_str());
  krn_itow(static_cast<uint64>(m_given_value), text);
  element->setAttribute(u"origvalue", text.c_str());

  auto* document = element->getOwnerDocument();
  for (const Krn_status_arg* arg : *this) {
    DOMElement* node = document->createElement(ARG);
    Wstring type;
    krn_stow(arg->xml_type(), type);
    node->setAttribute(u"type", type.c_str());
    arg->to_xml_value(text);
    node->setAttribute(u"value", text.c_str());
    element->appendChild(node);
  }
  if (m_child && with_children) {
    DOMElement* node = document->createElement(CHILD_STATUS);
    element->appendChild(node);
    m_child->status.to_xml(node, true);
  }
}

void Krn_status::from_xml(const DOMElement* element) {
  Krn_status result;
  int64 number = 0;
  result.m_value = parse_int64(attribute(element, u"value"), number) ? static_cast<unsigned>(number) : 0;
  result.m_given_value = parse_int64(attribute(element, u"origvalue"), number) ? static_cast<unsigned>(number) : 0;

  const DOMElement* node = element->getFirstElementChild();
  for (; node; node = node->getNextElementSibling()) {
    if (Wstring(node->getTagName()) != ARG || result.num_args() >= MAX_ARGS) break;
    std::unique_ptr<Krn_status_arg, void (*)(Krn_status_arg*)> arg(arg_from_xml(node),
                                                                   [](Krn_status_arg* a) { a->destroy(); });
    result.add_arg(*arg);
  }
  if (node && Wstring(node->getTagName()) == CHILD_STATUS) {
    auto* child = new Child_node;
    result.m_child = child;
    child->status.from_xml(node);
  }
  *this = result;
}

}  // namespace krn
