#ifndef KRN_STATUS_DATE_XML_H
#define KRN_STATUS_DATE_XML_H

#include <string>

#include "krn/krn_status_args.h"

namespace krn {

// Reads a date, time or date-and-time argument of the status XML form.
// Returns false when the type is none of "date", "time" and "datetime";
// otherwise sets out to the new argument, or to null when the value does
// not match its type's form.
bool krn_date_arg_from_xml(const std::string& type, const Wstring& value, Krn_status_arg*& out);

}  // namespace krn

#endif
