#include "enr/enr_reader.h"
#include "enr/enr_status_codes.h"
#include "enr_reader_units.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"

namespace enr {

using krn::int64;
using krn::Krn_status;

Enr_reader_base::Enr_invalid_char::~Enr_invalid_char() = default;

Enr_reader_base::~Enr_reader_base() = default;

// ---- Enr_alg_reader_base ---------------------------------------------------

Enr_alg_reader_base::Enr_alg_reader_base() = default;

Enr_alg_reader_base::~Enr_alg_reader_base() { Enr_alg_reader_base::detach(); }

void Enr_alg_reader_base::attach(const krn::Krn_buffer& buffer, Krn_status& status, bool strict) {
  detach();
  m_strict = strict;
  m_stream.init(buffer, false, status, krn::KRN_EOL_CRLF);
  m_attached = !status.is_error();
}

void Enr_alg_reader_base::detach() {
  m_strict = false;
  m_stream.detach();
  m_attached = false;
}

int64 Enr_alg_reader_base::tell() { return m_attached ? m_stream.tell() : 0; }

int64 Enr_alg_reader_base::size(Krn_status& status) {
  status.clear();
  if (!m_attached) {
    status.assign(ENR_E_READER_NOT_ATTACHED, krn::Krn_wstring_status_arg(std::string(encoding_name())));
    return 0;
  }
  return m_stream.size(status);
}

void Enr_alg_reader_base::seek(int64 position, Krn_status& status) {
  status.clear();
  if (!m_attached) {
    status.assign(ENR_E_READER_NOT_ATTACHED, krn::Krn_wstring_status_arg(std::string(encoding_name())));
    return;
  }
  m_stream.seek(krn::KRN_SEEK_START, position, status);
}

std::uint32_t Enr_alg_reader_base::peek() {
  if (!m_attached) return END_OF_DATA;
  return detail::peek_with(m_stream, [this] { return read(); });
}

std::uint32_t Enr_alg_reader_base::invalid() const { return detail::invalid_at(m_stream.tell(), m_strict); }

bool Enr_alg_reader_base::next_byte(unsigned char& byte) { return detail::read_byte(m_stream, byte); }

// ---- Enr_utf16_reader ------------------------------------------------------

Enr_utf16_reader::Enr_utf16_reader() : m_big_endian(false) {}

Enr_utf16_reader::Enr_utf16_reader(bool big_endian) : m_big_endian(big_endian) {}

Enr_utf16_reader::~Enr_utf16_reader() = default;

std::uint32_t Enr_utf16_reader::read() {
  if (!m_attached) return END_OF_DATA;
  const detail::Decoded decoded = detail::decode_utf16(m_stream, m_big_endian);
  return decoded.invalid ? invalid() : decoded.value;
}

const char* Enr_utf16_reader::encoding_name() const { return "UTF-16"; }

// ---- Enr_utf8_reader -------------------------------------------------------

Enr_utf8_reader::Enr_utf8_reader() = default;

Enr_utf8_reader::~Enr_utf8_reader() = default;

std::uint32_t Enr_utf8_reader::read() {
  if (!m_attached) return END_OF_DATA;
  unsigned char lead;
  if (!next_byte(lead)) return END_OF_DATA;
  if (lead < 0x80) return lead;
  // Lengths up to six bytes: the old five- and six-byte forms still decode.
  const unsigned count = krn::krn_utf_8_character_length(lead) - 1;
  if (count == 0) return invalid();
  std::uint32_t value = lead & ((1u << (6 - count)) - 1);
  for (unsigned i = 0; i < count; ++i) {
    const int64 before = m_stream.tell();
    unsigned char next;
    if (!next_byte(next)) return invalid();
    if ((next & 0xC0) != 0x80) {
      // It may well start the next character.
      detail::back_to(m_stream, before);
      return invalid();
    }
    value = (value << 6) | (next & 0x3Fu);
  }
  return value;
}

const char* Enr_utf8_reader::encoding_name() const { return "UTF-8"; }

// ---- Enr_utf32_reader ------------------------------------------------------

Enr_utf32_reader::Enr_utf32_reader() = default;

Enr_utf32_reader::~Enr_utf32_reader() = default;

std::uint32_t Enr_utf32_reader::read() {
  if (!m_attached) return END_OF_DATA;
  unsigned char bytes[4];
  if (!next_byte(bytes[0])) return END_OF_DATA;
  for (int i = 1; i < 4; ++i) {
    if (!next_byte(bytes[i])) return invalid();
  }
  const std::uint32_t value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (std::uint32_t{bytes[3]} << 24);
  // The other readers never go beyond 31 bits either, and END_OF_DATA is
  // among the values above.
  if (value > 0x7FFFFFFF) return invalid();
  return value;
}

const char* Enr_utf32_reader::encoding_name() const { return "UTF-32"; }

// ---- Enr_latin1_reader and Enr_ascii_reader --------------------------------

Enr_latin1_reader::Enr_latin1_reader() : m_invalid_bits(0xFFFFFF00) {}

Enr_latin1_reader::Enr_latin1_reader(std::uint32_t invalid_bits) : m_invalid_bits(invalid_bits) {}

Enr_latin1_reader::~Enr_latin1_reader() = default;

std::uint32_t Enr_latin1_reader::read() {
  if (!m_attached) return END_OF_DATA;
  unsigned char byte;
  if (!next_byte(byte)) return END_OF_DATA;
  if ((byte & m_invalid_bits) != 0) return invalid();
  return byte;
}

const char* Enr_latin1_reader::encoding_name() const { return "ISO-8859-1"; }

Enr_ascii_reader::Enr_ascii_reader() : Enr_latin1_reader(0xFFFFFF80) {}

Enr_ascii_reader::~Enr_ascii_reader() = default;

const char* Enr_ascii_reader::encoding_name() const { return "US-ASCII"; }

}  // namespace enr
