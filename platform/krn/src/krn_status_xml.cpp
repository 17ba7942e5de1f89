// The XML form of a status (see krn_status_xml.h).

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>

#include "krn/krn_status_xml.h"
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

// One status of the chain, without its child.
void write_level(const Krn_status& status, DOMElement* element) {
  Wstring text;
  krn_itow(static_cast<uint64>(status.canonical_value()), text);
  element->setAttribute(u"value", text.c_str());
  krn_itow(static_cast<uint64>(status.value()), text);
  element->setAttribute(u"origvalue", text.c_str());
  auto* document = element->getOwnerDocument();
  Wstring type;
  for (const Krn_status_arg* arg : status) {
    DOMElement* node = document->createElement(ARG);
    krn_stow(arg->xml_type(), type);
    node->setAttribute(u"type", type.c_str());
    arg->to_xml_value(text);
    node->setAttribute(u"value", text.c_str());
    element->appendChild(node);
  }
}

}  // namespace

// Both directions walk the chain in a loop, as the status itself releases it,
// so that a long chain cannot exhaust the stack.

void krn_status_to_xml(const Krn_status& status, DOMElement* element, bool with_children) {
  // Each element is filled while it has no parent, and hung on its parent
  // before that parent is hung on its own: the DOM checks every insertion
  // against all ancestors of the new parent, which would make a long chain
  // cost the square of its length.
  std::vector<DOMElement*> levels{element};
  write_level(status, element);
  for (const Krn_status* level = with_children ? status.child() : nullptr; level; level = level->child()) {
    levels.push_back(element->getOwnerDocument()->createElement(CHILD_STATUS));
    write_level(*level, levels.back());
  }
  for (std::size_t i = levels.size() - 1; i > 0; --i) levels[i - 1]->appendChild(levels[i]);
}

class Krn_status_xml_reader {
 public:
  static void read(Krn_status& status, const DOMElement* element) {
    // Built aside and owned by result throughout, so that a bad argument
    // anywhere in the chain leaves the caller's status as it was.
    Krn_status result;
    Krn_status* level = &result;
    while (element) {
      element = read_level(*level, element);
      if (element) {
        level->m_child = new Krn_status::Child_node;
        level = &level->m_child->status;
      }
    }
    status = result;
  }

 private:
  // Reads one status of the chain; returns its ChildStatus element, if any.
  static const DOMElement* read_level(Krn_status& status, const DOMElement* element) {
    int64 number = 0;
    status.m_value = parse_int64(attribute(element, u"value"), number) ? static_cast<unsigned>(number) : 0;
    status.m_given_value = parse_int64(attribute(element, u"origvalue"), number) ? static_cast<unsigned>(number) : 0;

    const DOMElement* node = element->getFirstElementChild();
    for (; node; node = node->getNextElementSibling()) {
      if (Wstring(node->getTagName()) != ARG || status.num_args() >= Krn_status::MAX_ARGS) break;
      std::unique_ptr<Krn_status_arg, void (*)(Krn_status_arg*)> arg(arg_from_xml(node),
                                                                     [](Krn_status_arg* a) { a->destroy(); });
      status.add_arg(*arg);
    }
    return node && Wstring(node->getTagName()) == CHILD_STATUS ? node : nullptr;
  }
};

void krn_status_from_xml(Krn_status& status, const DOMElement* element) { Krn_status_xml_reader::read(status, element); }

}  // namespace krn
