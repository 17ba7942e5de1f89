#include "krn_status_date_xml.h"

namespace krn {

bool krn_date_arg_from_xml(const std::string&, const Wstring&, Krn_status_arg*& out) {
  out = nullptr;
  return false;
}

}  // namespace krn
