#ifndef ENR_TEST_SUPPORT_H
#define ENR_TEST_SUPPORT_H

#include <memory>
#include <string>

#include "krn/krn_buffer.h"
#include "krn/krn_status.h"

namespace enr_test {

// A buffer over bytes the test names; it keeps its own copy.
struct Bytes {
  explicit Bytes(std::string bytes) : text(std::move(bytes)), buffer(text, true) {}
  std::string text;
  krn::Krn_string_buffer buffer;
};

inline krn::Wstring arg_text(const krn::Krn_status& status, unsigned index = 0) {
  krn::Wstring text;
  if (index < status.num_args()) status.begin()[index]->to_string(text);
  return text;
}

}  // namespace enr_test

#endif
