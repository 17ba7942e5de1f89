#ifndef KRN_BUFFER_SUPPORT_H
#define KRN_BUFFER_SUPPORT_H

// Helpers shared by the buffer and stream sources.

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

#include "krn/krn_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"

namespace krn::detail {

// Call only inside a catch block: puts the exception being handled on the
// status, a standard one with its message.
inline void report_exception(Krn_status& status) {
  try {
    throw;
  } catch (const std::exception& e) {
    status.push(KRN_E_STD_EXCEPTION, Krn_wstring_status_arg(std::string(e.what())));
  } catch (...) {
    status.push(KRN_E_UNKNOWN_EXCEPTION);
  }
}

// The base a seek counts from; false for a mode that is none of the three.
inline bool seek_base(Krn_seek_mode mode, int64 position, int64 end, int64& base) {
  switch (mode) {
    case KRN_SEEK_START: base = 0; return true;
    case KRN_SEEK_CURRENT: base = position; return true;
    case KRN_SEEK_END: base = end; return true;
  }
  return false;
}

// base + offset into target when it lies in 0..KRN_MAX_POSITION; otherwise
// KRN_E_SEEK_RANGE, target unchanged and false.
inline bool advance_in_range(int64 base, int64 offset, int64& target, Krn_status& status) {
  try {
    target = krn_advance(base, offset);
    return true;
  } catch (const std::exception&) {
    status = KRN_E_SEEK_RANGE;
    return false;
  }
}

// The seek every in-memory buffer shares: the position moves only when the
// target lies in 0..KRN_MAX_POSITION.
inline void seek_in_range(Krn_seek_mode mode, int64 offset, int64 end, int64& position, Krn_status& status) {
  status.clear();
  int64 base = 0;
  if (!seek_base(mode, position, end, base)) {
    status = KRN_E_SEEK_RANGE;
    return;
  }
  advance_in_range(base, offset, position, status);
}

inline void check_write_count(uint64 count) {
  if (count > static_cast<uint64>(KRN_MAX_POSITION)) throw std::out_of_range("writing too many bytes to the buffer.");
}

}  // namespace krn::detail

#endif
