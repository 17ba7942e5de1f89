#ifndef TLA_DATA_SET_FORMAT_H
#define TLA_DATA_SET_FORMAT_H

// The data set file: what the writer produces and the reader accepts.
//
//   header (32 bytes, little-endian)
//   field descriptors: name (UTF-8) 0x0A formatter name 0x00, ..., then 0x00
//   zero bytes up to a multiple of 8: the data start
//   data area: the records, unpadded, in input order
//   key indexes, the first at the index offset: key name (UTF-8) 0x00, zero
//     bytes up to a multiple of 8, then one entry per record (key hash, record
//     offset; 16 bytes little-endian), sorted by key hash
//
// A version-2 record holds, per field, a 16-bit big-endian token count and
// that many 64-bit big-endian token CRCs, then 0x00. A version-1 record holds
// the field texts in UTF-8 separated by 0x0A and ended by 0x00, every byte
// XORed with the scrambling key. All offsets count from the start of the file.
//
// The byte layout is fixed by the files already written: nothing here may
// change without a new version number.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tla/tla_export.h"
#include "krn/krn_types.h"

namespace krn {
class Krn_buffer;
class Krn_status;
}  // namespace krn

namespace tla {

// One schema field: its name as the schema wrote it and its formatter type
// (all zeros for none). A schema is the ordered list of them.
struct Tla_field_descriptor {
  krn::Wstring name;
  krn::GUID formatter_type{};
};
using Tla_schema = std::vector<Tla_field_descriptor>;

// ---- Constants ---------------------------------------------------------------

inline constexpr char TLA_DATA_SET_MAGIC[8] = {'Q', 'R', 'F', 'F', 'D', 'a', 'S', 'e'};
inline constexpr std::uint16_t TLA_DATA_SET_VERSION = 2;
inline constexpr std::uint16_t TLA_DATA_SET_VERSION_1 = 1;

inline constexpr std::size_t TLA_HEADER_SIZE = 32;
inline constexpr std::size_t TLA_MAGIC_OFFSET = 0;
inline constexpr std::size_t TLA_CHECKSUM_OFFSET = 8;
inline constexpr std::size_t TLA_INDEX_OFFSET_OFFSET = 16;
inline constexpr std::size_t TLA_VERSION_OFFSET = 24;
inline constexpr std::size_t TLA_KEY_COUNT_OFFSET = 26;
inline constexpr std::size_t TLA_RECORD_COUNT_OFFSET = 28;
// The checksum covers everything from here to the end of the file: the
// magic and the checksum itself stay outside it.
inline constexpr std::size_t TLA_CHECKSUM_START = TLA_INDEX_OFFSET_OFFSET;

inline constexpr unsigned char TLA_NAME_SEPARATOR = 0x0A;     // field name | formatter name; v1 field texts
inline constexpr unsigned char TLA_DESCRIPTOR_END = 0x00;     // ends a descriptor, and the list when doubled
inline constexpr unsigned char TLA_KEY_NAME_END = 0x00;
inline constexpr unsigned char TLA_RECORD_TERMINATOR = 0x00;

inline constexpr std::size_t TLA_TOKEN_COUNT_SIZE = 2;
inline constexpr std::size_t TLA_TOKEN_CRC_SIZE = 8;
inline constexpr std::size_t TLA_INDEX_ENTRY_SIZE = 16;

// What the field widths allow.
inline constexpr std::uint64_t TLA_MAX_TOKENS_PER_FIELD = 0xFFFF;
inline constexpr std::uint64_t TLA_MAX_KEYS = 0xFFFF;
inline constexpr std::uint64_t TLA_MAX_RECORDS = 0xFFFFFFFF;

// The scrambling key of version-1 records. Files of that version can only be
// read with the key they were written with: never change it.
inline constexpr unsigned char TLA_V1_SCRAMBLE_KEY[8] = {0x5A, 0xC3, 0x96, 0x2D, 0xE1, 0x78, 0x3F, 0xB4};

// ---- Little- and big-endian fields in memory -------------------------------

TLA_API std::uint16_t tla_get_le16(const unsigned char* bytes);
TLA_API std::uint32_t tla_get_le32(const unsigned char* bytes);
TLA_API std::uint64_t tla_get_le64(const unsigned char* bytes);
TLA_API std::uint16_t tla_get_be16(const unsigned char* bytes);
TLA_API std::uint64_t tla_get_be64(const unsigned char* bytes);
TLA_API void tla_append_le16(std::string& out, std::uint16_t value);
TLA_API void tla_append_le32(std::string& out, std::uint32_t value);
TLA_API void tla_append_le64(std::string& out, std::uint64_t value);
TLA_API void tla_append_be16(std::string& out, std::uint16_t value);
TLA_API void tla_append_be64(std::string& out, std::uint64_t value);

// ---- Layout ------------------------------------------------------------------

// The next multiple of 8 at or after position.
constexpr std::uint64_t tla_align_to_eight(std::uint64_t position) {
  return position % 8 == 0 ? position : position + 8 - position % 8;
}

struct Tla_data_set_header {
  std::uint64_t checksum = 0;
  std::uint64_t index_offset = 0;
  std::uint16_t version = TLA_DATA_SET_VERSION;
  std::uint16_t key_count = 0;
  std::uint32_t record_count = 0;
};

// Appends the 32 header bytes, magic included.
TLA_API void tla_append_header(std::string& out, const Tla_data_set_header& header);
// Reads the fields after the magic from 32 bytes; the magic is not checked.
TLA_API Tla_data_set_header tla_decode_header(const unsigned char* bytes);
TLA_API bool tla_has_magic(const unsigned char* bytes, std::size_t length);

// Appends one descriptor: the name in UTF-8, 0x0A, the canonical name of the
// formatter (empty for none), 0x00.
TLA_API void tla_append_field_descriptor(std::string& out, const Tla_field_descriptor& field);
// Every descriptor, then the byte that ends the list. No padding.
TLA_API void tla_append_field_descriptors(std::string& out, const Tla_schema& schema);

// Splits the descriptor list as its bytes come in.
class TLA_API Tla_field_descriptor_parser {
 public:
  enum Step { MORE, DONE, BAD };

  // BAD for an empty list and for a name ended by 0x00 instead of 0x0A;
  // DONE once the list end is seen. Bytes after DONE or BAD are not taken.
  Step feed(unsigned char byte);
  Step step() const { return m_step; }
  // The descriptors complete so far, formatter names mapped to types.
  const Tla_schema& schema() const { return m_schema; }
  Tla_schema& schema() { return m_schema; }

 private:
  enum Part { NAME, FORMATTER };

  Tla_schema m_schema;
  std::string m_name;
  std::string m_formatter;
  Part m_part = NAME;
  Step m_step = MORE;
};

// ---- Version-2 records and key hashes --------------------------------------

// Appends a field's stored form: the count, then the CRCs, big-endian. More
// than TLA_MAX_TOKENS_PER_FIELD CRCs throw std::length_error: the count could
// not say how many follow.
TLA_API void tla_append_field_tokens(std::string& out, const std::vector<std::uint64_t>& crcs);

// The key hash over a key field's CRC bytes as the record stores them (the
// CRCs without the count); 0 for no CRCs.
TLA_API std::uint64_t tla_key_hash(const unsigned char* crc_bytes, std::size_t length);
TLA_API std::uint64_t tla_key_hash(const std::vector<std::uint64_t>& crcs);

// ---- Key indexes -------------------------------------------------------------

// Appends the key name in UTF-8, its terminator and the padding that brings
// the entries to a multiple of 8, for an index that begins at position.
TLA_API void tla_append_key_index_head(std::string& out, const krn::Wstring& key_name, std::uint64_t position);
TLA_API void tla_append_index_entry(std::string& out, std::uint64_t key_hash, std::uint64_t record_offset);

// The entries of one key index for the key counts of this many records are
// grouped in blocks of this size, of which the reader keeps the first hash.
// 0 when records times keys are more than the block table allows.
TLA_API std::uint32_t index_block_size(std::uint32_t record_count, std::uint16_t key_count);

// ---- Version-1 records -------------------------------------------------------

// Scrambling and unscrambling are the same XOR; offset_in_data is the byte's
// file offset minus the data start.
inline unsigned char tla_v1_scramble(unsigned char byte, std::uint64_t offset_in_data) {
  return static_cast<unsigned char>(byte ^ TLA_V1_SCRAMBLE_KEY[offset_in_data % 8]);
}

// Appends a version-1 record whose first byte lies offset_in_data bytes after
// the data start: the texts joined by 0x0A, then 0x00, all scrambled.
TLA_API void tla_append_record_v1(std::string& out, const std::vector<std::string>& texts, std::uint64_t offset_in_data);

// ---- Checksum ----------------------------------------------------------------

// The checksum of a whole file in memory (length above TLA_CHECKSUM_START).
TLA_API std::uint64_t tla_data_set_checksum(const unsigned char* file, std::size_t length);
// The same over a file's buffer, up to its current end.
TLA_API std::uint64_t tla_data_set_checksum(const krn::Krn_buffer& file, std::int64_t size, krn::Krn_status& status);

}  // namespace tla

#endif
