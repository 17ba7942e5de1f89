#include "krn/krn_stream.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn_stream_support.h"

namespace krn {

unsigned krn_eol_length(Krn_eol eol) {
  switch (eol) {
    case KRN_EOL_CR:
    case KRN_EOL_LF:
      return 1;
    case KRN_EOL_CRLF:
      return 2;
    case KRN_EOL_NONE:
      break;
  }
  return 0;
}

// ---- Krn_istream -----------------------------------------------------------

Krn_istream::Krn_istream() = default;

Krn_istream::Krn_istream(const Krn_buffer& buffer, bool wait, Krn_status& status, Krn_eol eol) {
  Krn_istream::init(buffer, wait, status, eol);
}

Krn_istream::~Krn_istream() { Krn_istream::detach(); }

void Krn_istream::attach_buffer(const Krn_buffer& buffer, bool buffered, bool wait, Krn_status& status, Krn_eol eol) {
  status.clear();
  if (buffered) {
    buffer.connect_buffered_istream(status);
  } else {
    buffer.connect_unbuffered_istream(status);
  }
  m_position = 0;
  m_wait = wait;
  m_eol = eol;
  if (status.ok()) m_buffer = &buffer;
}

void Krn_istream::detach_buffer(bool buffered) {
  if (m_buffer == nullptr) return;
  if (buffered) {
    m_buffer->disconnect_buffered_istream();
  } else {
    m_buffer->disconnect_unbuffered_istream();
  }
  m_buffer = nullptr;
}

void Krn_istream::init(const Krn_buffer& buffer, bool wait, Krn_status& status, Krn_eol eol) {
  // A stream moved to another buffer must not stay counted by the first.
  detach();
  attach_buffer(buffer, false, wait, status, eol);
}

void Krn_istream::detach() { detach_buffer(false); }

const Krn_buffer* Krn_istream::buffer() const { return m_buffer; }

uint64 Krn_istream::read(uint64 count, void* data, Krn_status& status) {
  status.clear();
  if (m_buffer == nullptr) {
    status = KRN_E_NOT_ATTACHED;
    return 0;
  }
  if (count == 0) return 0;
  return m_buffer->read(m_wait, m_position, count, data, status);
}

uint64 Krn_istream::read_at(int64 position, uint64 count, void* data, Krn_status& status) const {
  status.clear();
  if (m_buffer == nullptr) {
    status = KRN_E_NOT_ATTACHED;
    return 0;
  }
  if (count == 0) return 0;
  return m_buffer->read(m_wait, position, count, data, status);
}

#define KRN_ISTREAM_READ_INTEGER(Class, T)                                                                   \
  void Class::read_le(T& value, Krn_status& status) {                                                       \
    detail::read_integer([this](uint64 c, void* d, Krn_status& s) { return read(c, d, s); }, value, false, \
                         status);                                                                            \
  }                                                                                                          \
  void Class::read_be(T& value, Krn_status& status) {                                                       \
    detail::read_integer([this](uint64 c, void* d, Krn_status& s) { return read(c, d, s); }, value, true,  \
                         status);                                                                            \
  }

KRN_ISTREAM_READ_INTEGER(Krn_istream, std::int16_t)
KRN_ISTREAM_READ_INTEGER(Krn_istream, std::uint16_t)
KRN_ISTREAM_READ_INTEGER(Krn_istream, std::int32_t)
KRN_ISTREAM_READ_INTEGER(Krn_istream, std::uint32_t)
KRN_ISTREAM_READ_INTEGER(Krn_istream, std::int64_t)
KRN_ISTREAM_READ_INTEGER(Krn_istream, std::uint64_t)

template <typename Unit>
Krn_eol Krn_istream::read_line(int64 position, bool advance, bool swap, uint64 max_length,
                               std::basic_string<Unit>& line, Krn_status& status) {
  if (m_buffer == nullptr) {
    status.clear();
    status = KRN_E_NOT_ATTACHED;
    line.clear();
    return KRN_EOL_NONE;
  }
  const detail::Line_result result = detail::read_line<Unit>(
      [this](int64 p, uint64 c, void* d, Krn_status& s) { return read_at(p, c, d, s); }, position, max_length,
      m_eol, swap, m_line_scratch, line, status);
  if (advance) m_position += static_cast<int64>(result.consumed * sizeof(Unit));
  return result.eol;
}

Krn_eol Krn_istream::readln(uint64 max_length, std::string& line, Krn_status& status) {
  return read_line<char>(m_position, true, false, max_length, line, status);
}
Krn_eol Krn_istream::wreadln(uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(m_position, true, false, max_length, line, status);
}
Krn_eol Krn_istream::wreadln_le(uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(m_position, true, false, max_length, line, status);
}
Krn_eol Krn_istream::wreadln_be(uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(m_position, true, true, max_length, line, status);
}
Krn_eol Krn_istream::xreadln(uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(m_position, true, false, max_length, line, status);
}
Krn_eol Krn_istream::xreadln_le(uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(m_position, true, false, max_length, line, status);
}
Krn_eol Krn_istream::xreadln_be(uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(m_position, true, true, max_length, line, status);
}
Krn_eol Krn_istream::readln_at(int64 position, uint64 max_length, std::string& line, Krn_status& status) {
  return read_line<char>(position, false, false, max_length, line, status);
}
Krn_eol Krn_istream::wreadln_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(position, false, false, max_length, line, status);
}
Krn_eol Krn_istream::wreadln_le_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(position, false, false, max_length, line, status);
}
Krn_eol Krn_istream::wreadln_be_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(position, false, true, max_length, line, status);
}
Krn_eol Krn_istream::xreadln_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(position, false, false, max_length, line, status);
}
Krn_eol Krn_istream::xreadln_le_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(position, false, false, max_length, line, status);
}
Krn_eol Krn_istream::xreadln_be_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(position, false, true, max_length, line, status);
}

void Krn_istream::seek(Krn_seek_mode mode, int64 offset, Krn_status& status) {
  status.clear();
  if (m_buffer == nullptr) {
    status = KRN_E_NOT_ATTACHED;
    return;
  }
  m_buffer->seek(mode, offset, m_position, status);
}

int64 Krn_istream::size(Krn_status& status) const {
  status.clear();
  if (m_buffer == nullptr) {
    status = KRN_E_NOT_ATTACHED;
    return 0;
  }
  return m_buffer->size(m_wait, status);
}

bool Krn_istream::size_greater_than(int64 n) const {
  unsigned char byte;
  Krn_status status;
  return read_at(n, 1, &byte, status) == 1;
}

// ---- Krn_buffered_istream --------------------------------------------------

Krn_buffered_istream::Krn_buffered_istream() : m_window(new unsigned char[WINDOW_SIZE]) {}

Krn_buffered_istream::Krn_buffered_istream(const Krn_buffer& buffer, bool wait, Krn_status& status, Krn_eol eol)
    : Krn_buffered_istream() {
  Krn_buffered_istream::init(buffer, wait, status, eol);
}

Krn_buffered_istream::~Krn_buffered_istream() { Krn_buffered_istream::detach(); }

void Krn_buffered_istream::init(const Krn_buffer& buffer, bool wait, Krn_status& status, Krn_eol eol) {
  detach();
  attach_buffer(buffer, true, wait, status, eol);
}

void Krn_buffered_istream::detach() {
  detach_buffer(true);
  m_window_start = 0;
  m_window_valid = 0;
}

uint64 Krn_buffered_istream::fill_window(int64 position, Krn_status& status) const {
  m_window_start = position;
  m_window_valid = 0;
  int64 at = position;
  m_window_valid = m_buffer->read(m_wait, at, WINDOW_SIZE, m_window.get(), status);
  if (m_window_valid == 0 && status.ok()) status = KRN_E_END_OF_DATA;
  return m_window_valid;
}

uint64 Krn_buffered_istream::read_through_window(int64& position, uint64 count, void* data,
                                                 Krn_status& status) const {
  status.clear();
  if (m_buffer == nullptr) {
    status = KRN_E_NOT_ATTACHED;
    return 0;
  }
  if (position < 0) {
    status = KRN_E_SEEK_RANGE;
    return 0;
  }
  unsigned char* out = static_cast<unsigned char*>(data);
  uint64 delivered = 0;
  while (delivered < count && status.ok()) {
    // Both positions are never negative, so the distance cannot overflow; a
    // position before the window shows as a huge offset and refills it.
    uint64 offset = static_cast<uint64>(position - m_window_start);
    if (offset >= m_window_valid) {
      if (fill_window(position, status) == 0) break;
      offset = 0;
    }
    const uint64 piece = std::min(count - delivered, m_window_valid - offset);
    std::memcpy(out + delivered, m_window.get() + offset, piece);
    delivered += piece;
    position += static_cast<int64>(piece);
  }
  if (!status.ok() && delivered > 0) status.clear();
  return delivered;
}

uint64 Krn_buffered_istream::read(uint64 count, void* data, Krn_status& status) {
  return read_through_window(m_position, count, data, status);
}

uint64 Krn_buffered_istream::read_at(int64 position, uint64 count, void* data, Krn_status& status) const {
  return read_through_window(position, count, data, status);
}

static const char* const READ_CHAR_ERROR = "Krn_buffered_istream::read_char - Error reading data";

unsigned char Krn_buffered_istream::read_char_slow() {
  Krn_status status;
  uint64 filled = 0;
  try {
    if (m_buffer != nullptr && m_position >= 0) filled = fill_window(m_position, status);
  } catch (...) {
    filled = 0;
  }
  if (filled == 0) throw std::runtime_error(READ_CHAR_ERROR);
  ++m_position;
  return m_window[0];
}

wchar16 Krn_buffered_istream::read_wchar_slow() {
  const int64 start = m_position;
  Krn_status status;
  wchar16 unit = 0;
  uint64 got = 0;
  try {
    got = read(sizeof(unit), &unit, status);
  } catch (...) {
    got = 0;
  }
  if (got != sizeof(unit)) {
    m_position = start;
    throw std::runtime_error(READ_CHAR_ERROR);
  }
  return unit;
}

// ---- Krn_unbuffered_istream ------------------------------------------------

Krn_unbuffered_istream::Krn_unbuffered_istream() = default;

Krn_unbuffered_istream::Krn_unbuffered_istream(const Krn_buffer& buffer, bool wait, Krn_status& status,
                                               Krn_eol eol)
    : Krn_istream(buffer, wait, status, eol) {}

Krn_unbuffered_istream::~Krn_unbuffered_istream() = default;

uint64 Krn_unbuffered_istream::read_at_no_blocking(int64 position, uint64 count, void* data,
                                                   Krn_status& status) const {
  status.clear();
  if (m_buffer == nullptr) {
    status = KRN_E_NOT_ATTACHED;
    return 0;
  }
  if (count == 0) return 0;
  return m_buffer->read(false, position, count, data, status);
}

// ---- Krn_ostream -----------------------------------------------------------

Krn_ostream::Krn_ostream() = default;

Krn_ostream::Krn_ostream(Krn_buffer& buffer, Krn_status& status, Krn_eol eol) { init(buffer, status, eol); }

Krn_ostream::~Krn_ostream() { detach(); }

void Krn_ostream::init(Krn_buffer& buffer, Krn_status& status, Krn_eol eol) {
  detach();
  status.clear();
  buffer.connect_ostream(status);
  m_position = 0;
  m_eol = eol;
  if (status.ok()) m_buffer = &buffer;
}

void Krn_ostream::detach() {
  if (m_buffer == nullptr) return;
  m_buffer->disconnect_ostream();
  m_buffer = nullptr;
}

Krn_buffer* Krn_ostream::buffer() const { return m_buffer; }

void Krn_ostream::write(uint64 count, const void* data, Krn_status& status) {
  status.clear();
  if (m_buffer == nullptr) {
    status = KRN_E_NOT_ATTACHED;
    return;
  }
  m_buffer->write(m_position, count, data, status);
}

void Krn_ostream::write_at(int64 position, uint64 count, const void* data, Krn_status& status) const {
  status.clear();
  if (m_buffer == nullptr) {
    status = KRN_E_NOT_ATTACHED;
    return;
  }
  m_buffer->write(position, count, data, status);
}

template <typename T>
void Krn_ostream::write_integer(T value, bool big_endian, Krn_status& status) {
  const T stored = big_endian ? detail::swap_bytes(value) : value;
  write(sizeof(stored), &stored, status);
}

#define KRN_OSTREAM_WRITE_INTEGER(T)                                                                          \
  void Krn_ostream::write_le(T value, Krn_status& status) { write_integer(value, false, status); }            \
  void Krn_ostream::write_be(T value, Krn_status& status) { write_integer(value, true, status); }

KRN_OSTREAM_WRITE_INTEGER(std::int16_t)
KRN_OSTREAM_WRITE_INTEGER(std::uint16_t)
KRN_OSTREAM_WRITE_INTEGER(std::int32_t)
KRN_OSTREAM_WRITE_INTEGER(std::uint32_t)
KRN_OSTREAM_WRITE_INTEGER(std::int64_t)
KRN_OSTREAM_WRITE_INTEGER(std::uint64_t)

template <typename Unit>
void Krn_ostream::write_line(const Unit* text, uint64 length, bool swap, Krn_status& status) {
  status.clear();
  if (m_buffer == nullptr) {
    status = KRN_E_NOT_ATTACHED;
    return;
  }
  Unit terminator[2];
  unsigned terminator_length = 0;
  if (m_eol == KRN_EOL_CR || m_eol == KRN_EOL_CRLF) terminator[terminator_length++] = 0x0D;
  if (m_eol == KRN_EOL_LF || m_eol == KRN_EOL_CRLF) terminator[terminator_length++] = 0x0A;
  if (swap) {
    std::basic_string<Unit> swapped(text, static_cast<size_t>(length));
    for (Unit& unit : swapped) unit = detail::swap_bytes(unit);
    for (unsigned i = 0; i < terminator_length; ++i) terminator[i] = detail::swap_bytes(terminator[i]);
    write(length * sizeof(Unit), swapped.data(), status);
  } else {
    write(length * sizeof(Unit), text, status);
  }
  if (status.ok() && terminator_length != 0) write(terminator_length * sizeof(Unit), terminator, status);
}

void Krn_ostream::writeln(const std::string& line, Krn_status& status) {
  write_line(line.data(), line.size(), false, status);
}
void Krn_ostream::wwriteln(const Wstring& line, Krn_status& status) {
  write_line(line.data(), line.size(), false, status);
}
void Krn_ostream::wwriteln_le(const Wstring& line, Krn_status& status) {
  write_line(line.data(), line.size(), false, status);
}
void Krn_ostream::wwriteln_be(const Wstring& line, Krn_status& status) {
  write_line(line.data(), line.size(), true, status);
}
void Krn_ostream::xwriteln(const Wstring& line, Krn_status& status) {
  write_line(line.data(), line.size(), false, status);
}
void Krn_ostream::xwriteln_le(const Wstring& line, Krn_status& status) {
  write_line(line.data(), line.size(), false, status);
}
void Krn_ostream::xwriteln_be(const Wstring& line, Krn_status& status) {
  write_line(line.data(), line.size(), true, status);
}

void Krn_ostream::seek(Krn_seek_mode mode, int64 offset, Krn_status& status) {
  status.clear();
  if (m_buffer == nullptr) {
    status = KRN_E_NOT_ATTACHED;
    return;
  }
  m_buffer->seek(mode, offset, m_position, status);
}

int64 Krn_ostream::size(Krn_status& status) const {
  status.clear();
  if (m_buffer == nullptr) {
    status = KRN_E_NOT_ATTACHED;
    return 0;
  }
  // Never waits: the writer would wait for itself.
  return m_buffer->size(false, status);
}

void Krn_ostream::set_size(int64 size, Krn_status& status) {
  const int64 current = this->size(status);
  if (!status.ok()) return;
  if (size < 0) {
    status = KRN_E_SEEK_RANGE;
    return;
  }
  if (size <= current) {
    m_buffer->truncate(size, status);
    return;
  }
  const unsigned char zero = 0;
  write_at(size - 1, 1, &zero, status);
}

}  // namespace krn
