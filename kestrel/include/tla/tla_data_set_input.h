#ifndef TLA_DATA_SET_INPUT_H
#define TLA_DATA_SET_INPUT_H

// Reads a data set file without ever passing a limit the caller has checked
// against the file's size. The file comes from outside: every read says
// whether all the bytes it asked for were there, and a failure of the file
// itself is kept so that it can be reported under the damage it caused.
//
// Small reads are served from a chunk read ahead, no further than the limit;
// the chunk is sized by the caller, since one record needs far less than a
// stream's window and an upgrade loads every record once.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tla/tla_export.h"
#include "krn/krn_status.h"
#include "krn/krn_stream.h"

namespace tla {

class TLA_API Tla_data_set_input {
 public:
  // The status reports a failure to attach to the file.
  Tla_data_set_input(const krn::Krn_buffer& file, std::size_t chunk_size, krn::Krn_status& status);

  // Places the input at position; reads stop at limit (exclusive).
  void start(std::uint64_t position, std::uint64_t limit);
  std::uint64_t position() const { return m_position; }
  std::uint64_t remaining() const { return m_limit > m_position ? m_limit - m_position : 0; }

  // All true only when every byte was read; false leaves the position
  // undefined and the value alone.
  bool read(void* data, std::size_t count);
  bool read_byte(unsigned char& byte);
  bool read_le64(std::uint64_t& value);
  bool read_be16(std::uint16_t& value);

  // An error of the file seen by the last failed read; clear otherwise.
  const krn::Krn_status& file_status() const { return m_file_status; }

 private:
  // Reads exactly count bytes at position, bypassing the chunk.
  bool read_at(std::uint64_t position, void* data, std::size_t count);
  bool fill_chunk();

  krn::Krn_unbuffered_istream m_stream;
  krn::Krn_status m_file_status;
  std::vector<unsigned char> m_chunk;
  std::uint64_t m_chunk_start = 0;
  std::size_t m_chunk_valid = 0;
  std::uint64_t m_position = 0;
  std::uint64_t m_limit = 0;
};

// Sets status to TLA_E_FILE_DAMAGED naming the file, on top of the file's
// own failure when there was one.
TLA_API void tla_report_damaged(const krn::Wstring& file_name, const krn::Krn_status& cause, krn::Krn_status& status);

}  // namespace tla

#endif
