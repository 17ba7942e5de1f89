#ifndef ENR_READER_UNITS_H
#define ENR_READER_UNITS_H

// The byte and UTF-16 decoding that the readers share. The platform stream
// throws when it has no more data; here that becomes an answer.

#include <cstdint>
#include <stdexcept>

#include "enr/enr_reader.h"
#include "krn/krn_status.h"
#include "krn/krn_stream.h"

namespace enr::detail {

inline bool read_byte(krn::Krn_buffered_istream& stream, unsigned char& byte) {
  try {
    byte = stream.read_char();
    return true;
  } catch (const std::runtime_error&) {
    return false;
  }
}

inline void back_to(krn::Krn_buffered_istream& stream, krn::int64 position) {
  krn::Krn_status ignored;
  stream.seek(krn::KRN_SEEK_START, position, ignored);
}

enum class Unit_result { UNIT, END, PARTIAL };

// PARTIAL when the data ends one byte into the unit; that byte is consumed.
inline Unit_result read_unit(krn::Krn_buffered_istream& stream, bool big_endian, std::uint16_t& unit) {
  try {
    unit = stream.read_wchar();
    if (big_endian) unit = static_cast<std::uint16_t>((unit >> 8) | (unit << 8));
    return Unit_result::UNIT;
  } catch (const std::runtime_error&) {
  }
  unsigned char odd;
  return read_byte(stream, odd) ? Unit_result::PARTIAL : Unit_result::END;
}

struct Decoded {
  std::uint32_t value;
  bool invalid;
};

inline Decoded decode_utf16(krn::Krn_buffered_istream& stream, bool big_endian) {
  std::uint16_t first;
  switch (read_unit(stream, big_endian, first)) {
    case Unit_result::END:
      return {Enr_reader_base::END_OF_DATA, false};
    case Unit_result::PARTIAL:
      return {0, true};
    case Unit_result::UNIT:
      break;
  }
  if (first < 0xD800 || first > 0xDFFF) return {first, false};
  if (first >= 0xDC00) return {0, true};

  const krn::int64 after_high = stream.tell();
  std::uint16_t second;
  const Unit_result result = read_unit(stream, big_endian, second);
  if (result == Unit_result::UNIT && second >= 0xDC00 && second <= 0xDFFF) {
    return {0x10000u + ((first - 0xD800u) << 10) + (second - 0xDC00u), false};
  }
  // Whatever follows a lone high surrogate is a character of its own.
  if (result != Unit_result::END) back_to(stream, after_high);
  return {0, true};
}

// U+FFFD, or Enr_invalid_char at the position after the bytes consumed.
inline std::uint32_t invalid_at(krn::int64 position, bool strict) {
  if (strict) throw Enr_reader_base::Enr_invalid_char(position);
  return Enr_reader_base::REPLACEMENT_CHARACTER;
}

// Reads and goes back; a malformed character is reported where it starts.
template <typename Read>
std::uint32_t peek_with(krn::Krn_buffered_istream& stream, Read&& read) {
  const krn::int64 start = stream.tell();
  std::uint32_t value;
  try {
    value = read();
  } catch (const Enr_reader_base::Enr_invalid_char&) {
    back_to(stream, start);
    throw Enr_reader_base::Enr_invalid_char(start);
  }
  back_to(stream, start);
  return value;
}

}  // namespace enr::detail

#endif
