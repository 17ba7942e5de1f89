#ifndef KRN_STATUS_XML_H
#define KRN_STATUS_XML_H

// The XML form of a status, kept apart from krn_status.h so that only the
// code that reads or writes XML sees Xerces-C. Whoever includes this header
// links Xerces-C itself and initialises it before the first call.
//
// The form: attributes "value" (the canonical value) and "origvalue" (the
// value as given), one "Arg" element per argument with the attributes "type"
// and "value", and a "ChildStatus" element, of the same form, for the child.

#include <xercesc/util/XercesDefs.hpp>

#include "krn/krn_status.h"

XERCES_CPP_NAMESPACE_BEGIN
class DOMElement;
XERCES_CPP_NAMESPACE_END

namespace krn {

// Writes the status into an element the caller created, with its chain of
// children or only the head.
KRN_API void krn_status_to_xml(const Krn_status& status, XERCES_CPP_NAMESPACE::DOMElement* element,
                               bool with_children);

// Replaces the status by the one the element holds. The stored values are
// taken as they stand, not canonicalised again. Reading stops at a ninth
// argument and at any element that is neither "Arg" nor "ChildStatus"; an
// argument of an unknown type or with a malformed value throws
// std::runtime_error and leaves the status as it was.
KRN_API void krn_status_from_xml(Krn_status& status, const XERCES_CPP_NAMESPACE::DOMElement* element);

}  // namespace krn

#endif
