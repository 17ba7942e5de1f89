#include <algorithm>
#include <stdexcept>

#include "krn/krn_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn_buffer_support.h"

namespace krn {

Krn_sub_buffer::Krn_sub_buffer(const Krn_buffer& parent, int64 start, int64 end)
    : m_parent(parent), m_start(start), m_end(end) {
  if (end < start) throw std::invalid_argument("Krn_sub_buffer::Krn_sub_buffer - end value is less than start value");
  if (start < 0) throw std::invalid_argument("Krn_sub_buffer::Krn_sub_buffer - start value is negative");
}

Krn_sub_buffer::~Krn_sub_buffer() = default;

void Krn_sub_buffer::connect_ostream(Krn_status& status) {
  status.clear();
  status = KRN_E_OUTPUT_STREAM;
}

uint64 Krn_sub_buffer::read(bool wait, int64& position, uint64 count, void* data, Krn_status& status) const {
  status.clear();
  if (!check_position(position, status)) return 0;
  // A position so far out that start + position overflows lies beyond any end.
  if (position > KRN_MAX_POSITION - m_start) {
    status = KRN_E_END_OF_DATA;
    return 0;
  }
  int64 parent_position = m_start + position;
  if (m_end != KRN_MAX_POSITION) {
    if (parent_position >= m_end) {
      status = KRN_E_END_OF_DATA;
      return 0;
    }
    count = std::min<uint64>(count, static_cast<uint64>(m_end - parent_position));
  }
  uint64 done = 0;
  try {
    done = m_parent.read(wait, parent_position, count, data, status);
  } catch (...) {
    detail::report_exception(status);
    status.push(KRN_E_READ);
    return 0;
  }
  if (status.ok()) position += static_cast<int64>(done);
  return done;
}

void Krn_sub_buffer::write(int64&, uint64, const void*, Krn_status& status) {
  status.clear();
  status = KRN_E_WRITE;
}

void Krn_sub_buffer::seek(Krn_seek_mode mode, int64 offset, int64& position, Krn_status& status) const {
  status.clear();
  int64 base = 0;
  switch (mode) {
    case KRN_SEEK_START:
      base = m_start;
      break;
    case KRN_SEEK_CURRENT:
      if (position > KRN_MAX_POSITION - m_start) {
        status = KRN_E_SEEK_RANGE;
        return;
      }
      base = m_start + position;
      break;
    case KRN_SEEK_END:
      base = m_end;
      if (m_end == KRN_MAX_POSITION) {
        m_parent.seek(KRN_SEEK_END, 0, base, status);
        if (!status.ok()) return;
      }
      break;
    default:
      status = KRN_E_SEEK_RANGE;
      return;
  }
  int64 target = 0;
  if (!detail::advance_in_range(base, offset, target, status)) return;
  if (target < m_start) {
    status = KRN_E_SEEK_RANGE;
    return;
  }
  position = target - m_start;
}

void Krn_sub_buffer::truncate(int64, Krn_status& status) {
  status.clear();
  status = KRN_E_OUTPUT_STREAM;
}

void Krn_sub_buffer::set_end(int64 end, Krn_status& status) {
  status.clear();
  if (num_unbuffered_istream() != 0 || num_buffered_istream() != 0 || num_ostream() != 0) {
    status.push(KRN_E_WINDOW_END_CONNECTED);
    return;
  }
  if (end < m_start) {
    status.push(KRN_E_WINDOW_END_BEFORE_START);
    return;
  }
  m_end = end;
}

}  // namespace krn
