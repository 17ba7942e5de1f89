#ifndef TLA_RECORDS_H
#define TLA_RECORDS_H

// The input records of a build: the bytes of the input file cut into lines
// and fields, each value trimmed, formatted and cut into tokens, and the
// token CRCs written to the intermediate file in the record layout of the
// data set's data area.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "krn/krn_types.h"
#include "tla_data_set_format.h"
#include "tla_data_set_tokens.h"

namespace krn {
class Krn_buffered_istream;
class Krn_file_buffer;
class Krn_ostream;
class Krn_status;
}  // namespace krn

namespace tla {

// The intermediate file, in the current folder. It has no name once open
// (see create_intermediate_file), so nothing of it outlives the run.
inline constexpr char16_t TLA_INTERMEDIATE_FILE_NAME[] = u"mid_buf";

// Creates the intermediate file for reading and writing, shared with no
// one, gone when closed. A file of that name already there is not taken
// over: TLA_E_INTERMEDIATE_FILE on top of the file's failure.
void create_intermediate_file(krn::Krn_file_buffer& file, krn::Krn_status& status);

// Collects encoded records and hands them to the output stream in blocks:
// one write per record would cost a system call for every few bytes.
class Tla_block_writer {
 public:
  static constexpr std::size_t BLOCK_SIZE = 65536;

  explicit Tla_block_writer(krn::Krn_ostream& out);
  Tla_block_writer(const Tla_block_writer&) = delete;
  Tla_block_writer& operator=(const Tla_block_writer&) = delete;

  // Appends go here; what is appended is written by the next flush.
  std::string& pending() { return m_pending; }
  // Writes once a block has gathered.
  void flush_if_full(krn::Krn_status& status);
  void flush(krn::Krn_status& status);

 private:
  krn::Krn_ostream& m_out;
  std::string m_pending;
};

// Encodes records in the layout of the data set's data area, with one
// token cutter for all the values it encodes.
class Tla_record_encoder {
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
  // formatter and stored by write_field_tokens, then the terminator 0x00. A
  // value that is empty after trimming in a key position fails with
  // TLA_E_EMPTY_KEY. On failure nothing of the record is appended. A record
  // whose value count differs from the schema's field count, or is zero,
  // appends nothing. line names the record in failures.
  void encode_record(const std::vector<krn::Wstring>& values, const Tla_schema& schema,
                     const std::vector<std::uint64_t>& key_positions, std::uint64_t line, std::string& out,
                     krn::Krn_status& status);

 private:
  Tla_token_cutter m_cutter;
  std::vector<std::uint64_t> m_crcs;
  krn::Wstring m_value;
  krn::Wstring m_formatted;
};

enum class Tla_read_outcome {
  DONE,           // every record was encoded (status ok)
  BAD_LINE_END,   // a CR not followed by LF
  FIELD_COUNT,    // a line whose field count differs from the schema's
  FAILED,         // the status holds the failure
};

// Reads the input from its start to its end, one byte at a time: TAB ends
// a field, LF or CR LF a record, a UTF-8 byte order mark is dropped
// wherever it stands, and a last line without a line end is a record too.
// Each record is checked (UTF-8, no NUL bytes), encoded and handed to out.
// records receives the number of records encoded.
Tla_read_outcome read_records(krn::Krn_buffered_istream& input, Tla_block_writer& out, const Tla_schema& schema,
                              const std::vector<std::uint64_t>& key_positions, std::uint64_t& records,
                              krn::Krn_status& status);

// True when the bytes are well-formed UTF-8: no overlong forms, no
// surrogates, nothing above U+10FFFF, no sequence cut short.
bool is_valid_utf8(const char* bytes, std::size_t length);

}  // namespace tla

#endif
