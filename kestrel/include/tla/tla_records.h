#ifndef TLA_RECORDS_H
#define TLA_RECORDS_H

// The input records of a build: the bytes of the input file cut into lines
// and fields, each value trimmed, formatted and cut into tokens, and the
// token CRCs handed to the writer in the record layout of the data area.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tla/tla_export.h"
#include "enr/enr_encoding.h"
#include "krn/krn_types.h"
#include "tla/tla_data_set_format.h"
#include "tla/tla_data_set_tokens.h"

namespace krn {
class Krn_file;
class Krn_status;
}  // namespace krn

namespace tla {

class Tla_data_set_writer;

// Encodes records in the layout of the data set's data area, with one
// token cutter, and one cache of recent values, for all it encodes.
class TLA_API Tla_record_encoder {
 public:
  Tla_record_encoder();
  ~Tla_record_encoder();
  Tla_record_encoder(const Tla_record_encoder&) = delete;
  Tla_record_encoder& operator=(const Tla_record_encoder&) = delete;

  // Appends the stored form of one formatted value: its token count (16
  // bits) and the form-0 CRC of each token of the codec's text view (64
  // bits), big-endian. A value without a view stores a count of 0. More
  // tokens than the count can say fail with TLA_E_TOO_MANY_TOKENS naming the
  // field and line, and append nothing; a failure of the codec is reported
  // under TLA_E_RECORD_NOT_STORED.
  void write_field_tokens(const krn::Wstring& formatted_value, const krn::Wstring& field_name, std::uint64_t line,
                          std::string& out, krn::Krn_status& status);

  // Appends one record: every value trimmed, formatted by its field's
  // formatter and stored as write_field_tokens stores it, then the
  // terminator 0x00. A value in a key position fails with TLA_E_EMPTY_KEY
  // when it is empty after trimming, and with TLA_E_KEY_WITHOUT_TOKENS when
  // it has no tokens once formatted: all such records would share one key
  // hash, that of nothing. On failure nothing of the record is appended. A
  // record whose value count differs from the schema's field count, or is
  // zero, appends nothing. line names the record in failures.
  void encode_record(const std::vector<krn::Wstring>& values, const Tla_schema& schema,
                     const std::vector<std::uint64_t>& key_positions, std::uint64_t line, std::string& out,
                     krn::Krn_status& status);

  // The same for values as UTF-8 bytes (valid UTF-8, checked by the caller),
  // one per schema field; the key hash of each key position is appended to
  // key_hashes. Common values take a shorter way than the codec, and values
  // seen lately are not cut again; the bytes are those encode_record writes.
  void encode_record(const std::string_view* values, const Tla_schema& schema,
                     const std::vector<std::uint64_t>& key_positions, std::uint64_t line, std::string& out,
                     std::vector<std::uint64_t>& key_hashes, krn::Krn_status& status);

 private:
  struct Cache;

  // Appends m_crcs as a field's stored form.
  void append_tokens(const krn::Wstring& field_name, std::uint64_t line, std::string& out, krn::Krn_status& status);
  // The failure of a key field without tokens.
  static void no_key_tokens(const krn::Wstring& value, const krn::Wstring& field_name, std::uint64_t line,
                            krn::Krn_status& status);

  Tla_token_cutter m_cutter;
  std::vector<std::uint64_t> m_crcs;
  krn::Wstring m_wide;
  std::unique_ptr<Cache> m_cache;
};

enum class Tla_read_outcome {
  DONE,           // every record was encoded (status ok)
  BAD_LINE_END,   // a CR not followed by LF: TLA_E_LINE_END_AT
  FIELD_COUNT,    // a line whose field count differs from the schema's: TLA_E_FIELD_COUNT_AT
  FAILED,         // the status holds the failure
};

// Told how far the reading has come, now and then, from the thread that
// writes.
class TLA_API Tla_read_progress {
 public:
  virtual ~Tla_read_progress();
  virtual void update(std::uint64_t records, std::uint64_t bytes_read) = 0;
};

// How the input's bytes are read: as UTF-8, or converted from another
// encoding (strictly: a sequence the encoding cannot read fails the run
// with TLA_E_INPUT_ENCODING_AT naming its line).
struct Tla_input_encoding {
  enr::Enr_encoding encoding = enr::ENR_UTF_8;
  krn::Wstring name;  // as messages give it
};

// Reads the input from its position to its end: TAB ends a field, LF or CR
// LF a record, a UTF-8 byte order mark is dropped wherever it stands, and a
// last line without a line end is a record too. Each record is checked
// (UTF-8, no NUL bytes, the schema's field count), encoded, and handed to
// the writer in input order; lines are encoded on every core at once.
// input_name names the input in the status. On the first failure, in input
// order, the reading stops.
TLA_API Tla_read_outcome read_records(krn::Krn_file& input, const krn::Wstring& input_name, const Tla_input_encoding& encoding,
                              const Tla_schema& schema, const std::vector<std::uint64_t>& key_positions,
                              Tla_data_set_writer& writer, Tla_read_progress* progress, krn::Krn_status& status);

// True when the bytes are well-formed UTF-8: no overlong forms, no
// surrogates, nothing above U+10FFFF, no sequence cut short.
TLA_API bool is_valid_utf8(const char* bytes, std::size_t length);

}  // namespace tla

#endif
