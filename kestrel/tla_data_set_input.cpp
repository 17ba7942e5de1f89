#include "tla/tla_data_set_input.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>

#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "tla/tla_data_set_format.h"
#include "tla/tla_status_codes.h"

namespace tla {

namespace {

// Positions above the largest signed one cannot be in any file.
constexpr std::uint64_t LAST_POSITION = static_cast<std::uint64_t>(std::numeric_limits<krn::int64>::max());

}  // namespace

Tla_data_set_input::Tla_data_set_input(const krn::Krn_buffer& file, std::size_t chunk_size, krn::Krn_status& status)
    : m_stream(file, false, status, krn::KRN_EOL_CRLF), m_chunk(std::max<std::size_t>(chunk_size, 1)) {}

void Tla_data_set_input::start(std::uint64_t position, std::uint64_t limit) {
  m_position = position;
  m_limit = limit;
}

bool Tla_data_set_input::read_at(std::uint64_t position, void* data, std::size_t count) {
  unsigned char* out = static_cast<unsigned char*>(data);
  std::size_t done = 0;
  try {
    while (done < count) {
      if (position + done > LAST_POSITION) return false;
      const krn::uint64 got =
          m_stream.read_at(static_cast<krn::int64>(position + done), count - done, out + done, m_file_status);
      if (got == 0 || got > count - done) {
        if (m_file_status == krn::KRN_E_END_OF_DATA) m_file_status.clear();
        return false;
      }
      done += static_cast<std::size_t>(got);
    }
  } catch (const std::exception&) {
    // A file that shrank or failed under the reader: the bytes are not there.
    return false;
  }
  return true;
}

bool Tla_data_set_input::fill_chunk() {
  const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(m_chunk.size(), remaining()));
  m_chunk_valid = 0;
  if (!read_at(m_position, m_chunk.data(), count)) return false;
  m_chunk_start = m_position;
  m_chunk_valid = count;
  return true;
}

bool Tla_data_set_input::read(void* data, std::size_t count) {
  m_file_status.clear();
  if (count > remaining()) return false;
  unsigned char* out = static_cast<unsigned char*>(data);
  while (count > 0) {
    if (m_position >= m_chunk_start && m_position - m_chunk_start < m_chunk_valid) {
      const std::size_t offset = static_cast<std::size_t>(m_position - m_chunk_start);
      const std::size_t piece = std::min(count, m_chunk_valid - offset);
      std::memcpy(out, m_chunk.data() + offset, piece);
      out += piece;
      count -= piece;
      m_position += piece;
    } else if (count >= m_chunk.size()) {
      if (!read_at(m_position, out, count)) return false;
      m_position += count;
      count = 0;
    } else if (!fill_chunk()) {
      return false;
    }
  }
  return true;
}

bool Tla_data_set_input::read_byte(unsigned char& byte) { return read(&byte, 1); }

bool Tla_data_set_input::read_le64(std::uint64_t& value) {
  unsigned char bytes[8];
  if (!read(bytes, sizeof bytes)) return false;
  value = tla_get_le64(bytes);
  return true;
}

bool Tla_data_set_input::read_be16(std::uint16_t& value) {
  unsigned char bytes[2];
  if (!read(bytes, sizeof bytes)) return false;
  value = tla_get_be16(bytes);
  return true;
}

void tla_report_damaged(const krn::Wstring& file_name, const krn::Krn_status& cause, krn::Krn_status& status) {
  if (cause.ok()) {
    status.assign(TLA_E_FILE_DAMAGED, krn::Krn_wstring_status_arg(file_name));
  } else {
    status = cause;
    status.push(TLA_E_FILE_DAMAGED, krn::Krn_wstring_status_arg(file_name));
  }
}

}  // namespace tla
