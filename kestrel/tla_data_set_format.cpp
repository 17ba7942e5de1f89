#include "tla/tla_data_set_format.h"

#include <cstring>
#include <memory>
#include <stdexcept>

#include "krn/krn_buffer.h"
#include "krn/krn_crc.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "tla/tla_formatter.h"

namespace tla {

// ---- Little- and big-endian fields -------------------------------------------

namespace {

template <typename T>
T get_le(const unsigned char* bytes) {
  T value = 0;
  for (std::size_t i = sizeof(T); i > 0; --i) value = static_cast<T>((value << 8) | bytes[i - 1]);
  return value;
}

template <typename T>
T get_be(const unsigned char* bytes) {
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) value = static_cast<T>((value << 8) | bytes[i]);
  return value;
}

// Whole values at once: these run for every CRC and index entry written.
template <typename T>
void append_le(std::string& out, T value) {
  char bytes[sizeof(T)];
  for (std::size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  out.append(bytes, sizeof(T));
}

template <typename T>
void append_be(std::string& out, T value) {
  char bytes[sizeof(T)];
  for (std::size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<char>((value >> (8 * (sizeof(T) - 1 - i))) & 0xFF);
  out.append(bytes, sizeof(T));
}

}  // namespace

std::uint16_t tla_get_le16(const unsigned char* bytes) { return get_le<std::uint16_t>(bytes); }
std::uint32_t tla_get_le32(const unsigned char* bytes) { return get_le<std::uint32_t>(bytes); }
std::uint64_t tla_get_le64(const unsigned char* bytes) { return get_le<std::uint64_t>(bytes); }
std::uint16_t tla_get_be16(const unsigned char* bytes) { return get_be<std::uint16_t>(bytes); }
std::uint64_t tla_get_be64(const unsigned char* bytes) { return get_be<std::uint64_t>(bytes); }
void tla_append_le16(std::string& out, std::uint16_t value) { append_le(out, value); }
void tla_append_le32(std::string& out, std::uint32_t value) { append_le(out, value); }
void tla_append_le64(std::string& out, std::uint64_t value) { append_le(out, value); }
void tla_append_be16(std::string& out, std::uint16_t value) { append_be(out, value); }
void tla_append_be64(std::string& out, std::uint64_t value) { append_be(out, value); }

// ---- Header and descriptors --------------------------------------------------

void tla_append_header(std::string& out, const Tla_data_set_header& header) {
  out.append(TLA_DATA_SET_MAGIC, sizeof TLA_DATA_SET_MAGIC);
  tla_append_le64(out, header.checksum);
  tla_append_le64(out, header.index_offset);
  tla_append_le16(out, header.version);
  tla_append_le16(out, header.key_count);
  tla_append_le32(out, header.record_count);
}

Tla_data_set_header tla_decode_header(const unsigned char* bytes) {
  Tla_data_set_header header;
  header.checksum = tla_get_le64(bytes + TLA_CHECKSUM_OFFSET);
  header.index_offset = tla_get_le64(bytes + TLA_INDEX_OFFSET_OFFSET);
  header.version = tla_get_le16(bytes + TLA_VERSION_OFFSET);
  header.key_count = tla_get_le16(bytes + TLA_KEY_COUNT_OFFSET);
  header.record_count = tla_get_le32(bytes + TLA_RECORD_COUNT_OFFSET);
  return header;
}

bool tla_has_magic(const unsigned char* bytes, std::size_t length) {
  return length >= sizeof TLA_DATA_SET_MAGIC && std::memcmp(bytes, TLA_DATA_SET_MAGIC, sizeof TLA_DATA_SET_MAGIC) == 0;
}

void tla_append_field_descriptor(std::string& out, const Tla_field_descriptor& field) {
  std::string name;
  krn::krn_utf16_to_utf8(field.name, name);
  out += name;
  out.push_back(static_cast<char>(TLA_NAME_SEPARATOR));
  std::string formatter;
  formatter_name_from_type(field.formatter_type, formatter);
  out += formatter;
  out.push_back(static_cast<char>(TLA_DESCRIPTOR_END));
}

void tla_append_field_descriptors(std::string& out, const Tla_schema& schema) {
  for (const Tla_field_descriptor& field : schema) tla_append_field_descriptor(out, field);
  out.push_back(static_cast<char>(TLA_DESCRIPTOR_END));
}

Tla_field_descriptor_parser::Step Tla_field_descriptor_parser::feed(unsigned char byte) {
  if (m_step != MORE) return m_step;
  if (m_part == NAME) {
    if (byte == TLA_NAME_SEPARATOR) {
      m_part = FORMATTER;
    } else if (byte == TLA_DESCRIPTOR_END) {
      // A second 0x00 ends the list, but only after at least one descriptor
      // and not inside a name.
      m_step = (m_name.empty() && !m_schema.empty()) ? DONE : BAD;
    } else {
      m_name.push_back(static_cast<char>(byte));
    }
    return m_step;
  }
  if (byte != TLA_DESCRIPTOR_END) {
    m_formatter.push_back(static_cast<char>(byte));
    return m_step;
  }
  Tla_field_descriptor field;
  krn::krn_utf8_to_utf16(m_name, field.name);
  field.formatter_type = formatter_type_from_name(m_formatter);
  m_schema.push_back(std::move(field));
  m_name.clear();
  m_formatter.clear();
  m_part = NAME;
  return m_step;
}

// ---- Records and hashes ------------------------------------------------------

void tla_append_field_tokens(std::string& out, const std::vector<std::uint64_t>& crcs) {
  if (crcs.size() > TLA_MAX_TOKENS_PER_FIELD) {
    throw std::length_error("tla_append_field_tokens() - more tokens than a field can hold");
  }
  const std::size_t start = out.size();
  out.resize(start + TLA_TOKEN_COUNT_SIZE + crcs.size() * TLA_TOKEN_CRC_SIZE);
  char* at = out.data() + start;
  at[0] = static_cast<char>(crcs.size() >> 8);
  at[1] = static_cast<char>(crcs.size() & 0xFF);
  at += TLA_TOKEN_COUNT_SIZE;
  for (const std::uint64_t crc : crcs) {
    for (std::size_t i = 0; i < 8; ++i) at[i] = static_cast<char>((crc >> (8 * (7 - i))) & 0xFF);
    at += TLA_TOKEN_CRC_SIZE;
  }
}

std::uint64_t tla_key_hash(const unsigned char* crc_bytes, std::size_t length) {
  // The register starts all ones and calculate() complements it at the end,
  // so no bytes at all give 0.
  return krn::Krn_crc64::calculate(crc_bytes, length, krn::Krn_crc64::ALL_ONES);
}

std::uint64_t tla_key_hash(const std::vector<std::uint64_t>& crcs) {
  std::string bytes;
  bytes.reserve(crcs.size() * TLA_TOKEN_CRC_SIZE);
  for (std::uint64_t crc : crcs) tla_append_be64(bytes, crc);
  return tla_key_hash(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// ---- Key indexes -------------------------------------------------------------

void tla_append_key_index_head(std::string& out, const krn::Wstring& key_name, std::uint64_t position) {
  std::string name;
  krn::krn_utf16_to_utf8(key_name, name);
  out += name;
  out.push_back(static_cast<char>(TLA_KEY_NAME_END));
  const std::uint64_t end = position + name.size() + 1;
  out.append(static_cast<std::size_t>(tla_align_to_eight(end) - end), '\0');
}

void tla_append_index_entry(std::string& out, std::uint64_t key_hash, std::uint64_t record_offset) {
  char bytes[TLA_INDEX_ENTRY_SIZE];
  for (std::size_t i = 0; i < 8; ++i) {
    bytes[i] = static_cast<char>((key_hash >> (8 * i)) & 0xFF);
    bytes[8 + i] = static_cast<char>((record_offset >> (8 * i)) & 0xFF);
  }
  out.append(bytes, sizeof bytes);
}

std::uint32_t index_block_size(std::uint32_t record_count, std::uint16_t key_count) {
  // Both factors are far below 2^32, so the product fits 64 bits whatever
  // they are; a 32-bit product would wrap and pick a block size too small.
  const std::uint64_t product = std::uint64_t{record_count} * key_count;
  if (product / 4096 <= 16384) return 4096;
  if (product / 8192 <= 16384) return 8192;
  if (product / 12288 <= 16384) return 12288;
  if (product / 16384 <= 32768) return 16384;
  return 0;
}

// ---- Version-1 records -------------------------------------------------------

void tla_append_record_v1(std::string& out, const std::vector<std::string>& texts, std::uint64_t offset_in_data) {
  std::string plain;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) plain.push_back(static_cast<char>(TLA_NAME_SEPARATOR));
    plain += texts[i];
  }
  plain.push_back(static_cast<char>(TLA_RECORD_TERMINATOR));
  for (std::size_t i = 0; i < plain.size(); ++i) {
    out.push_back(static_cast<char>(tla_v1_scramble(static_cast<unsigned char>(plain[i]), offset_in_data + i)));
  }
}

// ---- Checksum ----------------------------------------------------------------

std::uint64_t tla_data_set_checksum(const unsigned char* file, std::size_t length) {
  krn::Krn_crc64 crc(krn::Krn_crc64::ALL_ONES);
  if (length > TLA_CHECKSUM_START) crc.update(file + TLA_CHECKSUM_START, length - TLA_CHECKSUM_START);
  return crc.result(false);
}

std::uint64_t tla_data_set_checksum(const krn::Krn_buffer& file, std::int64_t size, krn::Krn_status& status) {
  status.clear();
  krn::Krn_crc64 crc(krn::Krn_crc64::ALL_ONES);
  if (size > static_cast<std::int64_t>(TLA_CHECKSUM_START)) {
    const krn::Krn_sub_buffer covered(file, TLA_CHECKSUM_START, size);
    crc.update(covered, status);
  }
  return crc.result(false);
}

}  // namespace tla
