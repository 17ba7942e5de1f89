#ifndef ENR_LIBRARY_INIT_H
#define ENR_LIBRARY_INIT_H

// The check the library makes when it is loaded, kept apart so that its
// failure can be tried without a broken ICU.

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace enr::detail {

inline std::string missing_data_message(const std::string& data_name, const std::string& folder) {
  return "Character encoding recognition convertion library error: Data file " + data_name +
         " not found in folder '" + folder + "'";
}

// Without converters nothing in the library can work, and loading it must
// fail where the cause can still be named.
inline void check_converters(std::int32_t converter_count, const std::string& data_name, const std::string& folder) {
  if (converter_count > 0) return;
  const std::string message = missing_data_message(data_name, folder);
  std::fprintf(stderr, "%s\n", message.c_str());
  throw std::runtime_error(message);
}

}  // namespace enr::detail

#endif
