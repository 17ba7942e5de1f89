#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "krn_buffer_support.h"
#include "krn_stream_support.h"

namespace krn {

Krn_ibyte_stream::Krn_ibyte_stream() = default;

Krn_ibyte_stream::Krn_ibyte_stream(const unsigned char* data, unsigned length, Krn_status& status) {
  Krn_ibyte_stream::init(data, length, status);
}

Krn_ibyte_stream::~Krn_ibyte_stream() = default;

void Krn_ibyte_stream::init(const unsigned char* data, unsigned length, Krn_status& status) {
  status.clear();
  m_data = data;
  m_length = data != nullptr ? length : 0;
  m_position = 0;
}

void Krn_ibyte_stream::detach() {
  m_data = nullptr;
  m_length = 0;
  m_position = 0;
}

uint64 Krn_ibyte_stream::read(uint64 count, void* data, Krn_status& status) {
  const uint64 done = read_at(m_position, count, data, status);
  m_position += static_cast<int64>(done);
  return done;
}

uint64 Krn_ibyte_stream::read_at(int64 position, uint64 count, void* data, Krn_status& status) const {
  status.clear();
  if (position < 0) {
    status = KRN_E_SEEK_RANGE;
    return 0;
  }
  if (position >= static_cast<int64>(m_length)) {
    status = KRN_E_END_OF_DATA;
    return 0;
  }
  const uint64 done = std::min<uint64>(count, m_length - static_cast<uint64>(position));
  if (done != 0) std::memcpy(data, m_data + position, done);
  return done;
}

uint64 Krn_ibyte_stream::size() const { return m_length; }

#define KRN_IBYTE_READ_INTEGER(T)                                                                           \
  void Krn_ibyte_stream::read_le(T& value, Krn_status& status) {                                           \
    detail::read_integer([this](uint64 c, void* d, Krn_status& s) { return read(c, d, s); }, value, false, \
                         status);                                                                           \
  }                                                                                                         \
  void Krn_ibyte_stream::read_be(T& value, Krn_status& status) {                                           \
    detail::read_integer([this](uint64 c, void* d, Krn_status& s) { return read(c, d, s); }, value, true,  \
                         status);                                                                           \
  }

KRN_IBYTE_READ_INTEGER(std::int16_t)
KRN_IBYTE_READ_INTEGER(std::uint16_t)
KRN_IBYTE_READ_INTEGER(std::int32_t)
KRN_IBYTE_READ_INTEGER(std::uint32_t)
KRN_IBYTE_READ_INTEGER(std::int64_t)
KRN_IBYTE_READ_INTEGER(std::uint64_t)

template <typename Unit>
Krn_eol Krn_ibyte_stream::read_line(int64 position, bool advance, bool swap, uint64 max_length,
                                    std::basic_string<Unit>& line, Krn_status& status) {
  const detail::Line_result result = detail::read_line<Unit>(
      [this](int64 p, uint64 c, void* d, Krn_status& s) { return read_at(p, c, d, s); }, position, max_length,
      KRN_EOL_NONE, swap, m_line_scratch, line, status);
  if (advance) m_position += static_cast<int64>(result.consumed * sizeof(Unit));
  return result.eol;
}

Krn_eol Krn_ibyte_stream::readln(uint64 max_length, std::string& line, Krn_status& status) {
  return read_line<char>(m_position, true, false, max_length, line, status);
}
Krn_eol Krn_ibyte_stream::wreadln(uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(m_position, true, false, max_length, line, status);
}
Krn_eol Krn_ibyte_stream::wreadln_be(uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(m_position, true, true, max_length, line, status);
}
Krn_eol Krn_ibyte_stream::readln_at(int64 position, uint64 max_length, std::string& line, Krn_status& status) {
  return read_line<char>(position, false, false, max_length, line, status);
}
Krn_eol Krn_ibyte_stream::wreadln_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(position, false, false, max_length, line, status);
}
Krn_eol Krn_ibyte_stream::wreadln_be_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status) {
  return read_line<Char16>(position, false, true, max_length, line, status);
}

void Krn_ibyte_stream::seek(Krn_seek_mode mode, int64 offset, Krn_status& status) {
  detail::seek_in_range(mode, offset, static_cast<int64>(m_length), m_position, status);
}

}  // namespace krn
