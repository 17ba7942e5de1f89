#ifndef KRN_STRING_GROUPING_H
#define KRN_STRING_GROUPING_H

// Digit grouping for formatted numbers, apart from the locale that supplies
// its parameters so that it can be tested under any locale.

#include <cstddef>

namespace krn::impl {

// Inserts separator into digits[first..] every group_size digits, counted
// from the right. A group size of 0 leaves the digits alone.
template <class String>
void group_digits(String& digits, std::size_t first, std::size_t group_size, const String& separator) {
  if (group_size == 0 || separator.empty() || digits.size() <= first) return;
  std::size_t count = digits.size() - first;
  while (count > group_size) {
    count -= group_size;
    digits.insert(first + count, separator);
  }
}

}  // namespace krn::impl

#endif
