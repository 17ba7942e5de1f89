// The buffers over memory the caller provides: a UTF-16 string, a narrow
// string and a read-only block of bytes.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "krn/krn_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn_buffer_support.h"

namespace krn {

namespace {

// Reads from a string view of content, waiting at the end while a writer
// is connected. Unit is the string's character type.
template <typename Text>
uint64 read_text(const Krn_buffer& buffer, const Text& text, bool wait, int64& position, uint64 count, void* data,
                 Krn_status& status) {
  using Unit = typename Text::value_type;
  constexpr uint64 unit = sizeof(Unit);
  Krn_buffer_read_guard guard(buffer);
  const uint64 index = static_cast<uint64>(position) / unit;
  while (index >= text.size()) {
    if (!wait || buffer.num_ostream() == 0) {
      status = KRN_E_END_OF_DATA;
      return 0;
    }
    buffer.wait();
  }
  const uint64 units = std::min<uint64>(count / unit, text.size() - index);
  if (units != 0) std::memcpy(data, text.data() + index, units * unit);
  position += static_cast<int64>(units * unit);
  return units * unit;
}

// Replaces count bytes at position, padding with spaces from the end up to
// the position first.
template <typename Text>
void write_text(Text& text, int64& position, uint64 count, const void* data) {
  using Unit = typename Text::value_type;
  constexpr uint64 unit = sizeof(Unit);
  const uint64 index = static_cast<uint64>(position) / unit;
  const uint64 units = count / unit;
  if (index > text.size()) text.append(index - text.size(), static_cast<Unit>(' '));
  if (index + units > text.size()) text.resize(index + units);
  std::memcpy(text.data() + index, data, units * unit);
  position += static_cast<int64>(count);
}

}  // namespace

// ---- Krn_wstring_buffer ----------------------------------------------------

Krn_wstring_buffer::Krn_wstring_buffer(Wstring& text) : m_text(text) {}

Krn_wstring_buffer::~Krn_wstring_buffer() = default;

uint64 Krn_wstring_buffer::read(bool wait, int64& position, uint64 count, void* data, Krn_status& status) const {
  if (position % 2 != 0) {
    throw std::invalid_argument("Krn_wstring_buffer::read - position must be divisible by sizeof(Wchar)");
  }
  status.clear();
  if (!check_position(position, status)) return 0;
  return read_text(*this, m_text, wait, position, count, data, status);
}

void Krn_wstring_buffer::write(int64& position, uint64 count, const void* data, Krn_status& status) {
  if (position % 2 != 0 || count % 2 != 0) {
    throw std::invalid_argument(
        "Krn_wstring_buffer::write - position and number of bytes to write must be divisible by sizeof(Wchar)");
  }
  detail::check_write_count(count);
  status.clear();
  if (!check_position(position, status)) {
    status.push(KRN_E_WRITE);
    return;
  }
  if (count == 0) return;
  Krn_buffer_write_guard guard(*this);
  try {
    write_text(m_text, position, count, data);
  } catch (...) {
    detail::report_exception(status);
  }
  if (!status.ok()) status.push(KRN_E_WRITE);
  signal();
}

void Krn_wstring_buffer::seek(Krn_seek_mode mode, int64 offset, int64& position, Krn_status& status) const {
  if (offset % 2 != 0 || (mode == KRN_SEEK_CURRENT && position % 2 != 0)) {
    throw std::invalid_argument("Krn_wstring_buffer::seek - position and offset must be divisible by sizeof(Wchar)");
  }
  Krn_buffer_read_guard guard(*this);
  detail::seek_in_range(mode, offset, static_cast<int64>(m_text.size() * 2), position, status);
}

void Krn_wstring_buffer::truncate(int64 size, Krn_status& status) {
  if (size % 2 != 0) {
    throw std::invalid_argument("Krn_wstring_buffer::truncate - size must be divisible by sizeof(Wchar)");
  }
  status.clear();
  if (!check_position(size, status)) return;
  Krn_buffer_write_guard guard(*this);
  const uint64 units = static_cast<uint64>(size) / 2;
  if (units > m_text.size()) {
    status = KRN_E_END_OF_DATA;
    return;
  }
  m_text.resize(units);
}

// ---- Krn_string_buffer -----------------------------------------------------

Krn_string_buffer::Krn_string_buffer(std::string& text, bool unlimited) : m_text(text), m_unlimited(unlimited) {}

Krn_string_buffer::~Krn_string_buffer() = default;

uint64 Krn_string_buffer::read(bool wait, int64& position, uint64 count, void* data, Krn_status& status) const {
  status.clear();
  if (!check_position(position, status)) return 0;
  return read_text(*this, m_text, wait, position, count, data, status);
}

void Krn_string_buffer::write(int64& position, uint64 count, const void* data, Krn_status& status) {
  detail::check_write_count(count);
  status.clear();
  if (!check_position(position, status)) {
    status.push(KRN_E_WRITE);
    return;
  }
  if (count == 0) return;
  Krn_buffer_write_guard guard(*this);
  if (!m_unlimited && count > static_cast<uint64>(KRN_STRING_BUFFER_LIMIT - std::min(position, KRN_STRING_BUFFER_LIMIT))) {
    status = KRN_E_STRING_BUFFER_LIMIT;
  } else {
    try {
      write_text(m_text, position, count, data);
    } catch (...) {
      detail::report_exception(status);
    }
  }
  if (!status.ok()) status.push(KRN_E_WRITE);
  signal();
}

void Krn_string_buffer::seek(Krn_seek_mode mode, int64 offset, int64& position, Krn_status& status) const {
  Krn_buffer_read_guard guard(*this);
  detail::seek_in_range(mode, offset, static_cast<int64>(m_text.size()), position, status);
}

void Krn_string_buffer::truncate(int64 size, Krn_status& status) {
  status.clear();
  if (!check_position(size, status)) return;
  Krn_buffer_write_guard guard(*this);
  if (static_cast<uint64>(size) > m_text.size()) {
    status = KRN_E_END_OF_DATA;
    return;
  }
  m_text.resize(static_cast<size_t>(size));
}

// ---- Krn_raw_memory_buffer -------------------------------------------------

Krn_raw_memory_buffer::Krn_raw_memory_buffer(int64 length, const unsigned char* data, Delete_method method)
    : m_length(length < 0 ? 0 : length), m_data(data), m_delete_method(method) {}

Krn_raw_memory_buffer::~Krn_raw_memory_buffer() {
  switch (m_delete_method) {
    case DELETE_ARRAY:
      delete[] m_data;
      break;
    case FREE:
      std::free(const_cast<unsigned char*>(m_data));
      break;
    case NO_DELETE:
      break;
  }
}

void Krn_raw_memory_buffer::connect_ostream(Krn_status& status) {
  status.clear();
  status = KRN_E_OUTPUT_STREAM;
}

// The content never changes, so reads need no lock.
uint64 Krn_raw_memory_buffer::read(bool, int64& position, uint64 count, void* data, Krn_status& status) const {
  status.clear();
  if (!check_position(position, status)) return 0;
  if (position >= m_length) {
    status = KRN_E_END_OF_DATA;
    return 0;
  }
  const uint64 done = std::min<uint64>(count, static_cast<uint64>(m_length - position));
  std::memcpy(data, m_data + position, done);
  position += static_cast<int64>(done);
  return done;
}

void Krn_raw_memory_buffer::write(int64&, uint64, const void*, Krn_status& status) {
  status.clear();
  status = KRN_E_WRITE;
}

void Krn_raw_memory_buffer::seek(Krn_seek_mode mode, int64 offset, int64& position, Krn_status& status) const {
  detail::seek_in_range(mode, offset, m_length, position, status);
}

void Krn_raw_memory_buffer::truncate(int64, Krn_status& status) {
  status.clear();
  status = KRN_E_OUTPUT_STREAM;
}

}  // namespace krn
