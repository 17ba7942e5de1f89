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

#include "krn/krn_file.h"
#include "krn/krn_file_buffer.h"
#include "krn/krn_types.h"
#include "tla_data_set_format.h"
#include "tla_data_set_tokens.h"

namespace krn {
class Krn_buffered_istream;
class Krn_ostream;
class Krn_status;
}  // namespace krn

namespace tla {

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
  // value in a key position fails with TLA_E_EMPTY_KEY when it is empty after
  // trimming, and with TLA_E_KEY_WITHOUT_TOKENS when it has no tokens once
  // formatted: all such records would share one key hash, that of nothing.
  // On failure nothing of the record is appended. A record whose value count
  // differs from the schema's field count, or is zero, appends nothing. line
  // names the record in failures.
  void encode_record(const std::vector<krn::Wstring>& values, const Tla_schema& schema,
                     const std::vector<std::uint64_t>& key_positions, std::uint64_t line, std::string& out,
                     krn::Krn_status& status);

 private:
  // Appends m_crcs as a field's stored form.
  void append_tokens(const krn::Wstring& field_name, std::uint64_t line, std::string& out, krn::Krn_status& status);

  Tla_token_cutter m_cutter;
  std::vector<std::uint64_t> m_crcs;
};

// The intermediate file of a build or an upgrade: the records encoded in the
// layout of the data area, in a file without a name, so that two runs in one
// folder never meet, no file of the user's is touched, and nothing of it
// outlives the run however it ends.
class Tla_record_file {
 public:
  // key_positions: the schema positions whose values must give tokens.
  Tla_record_file(const Tla_schema& schema, std::vector<std::uint64_t> key_positions);
  ~Tla_record_file();
  Tla_record_file(const Tla_record_file&) = delete;
  Tla_record_file& operator=(const Tla_record_file&) = delete;

  // Creates the file in folder ("" for the current one): the output's
  // folder, which has room for the output anyway. TLA_E_INTERMEDIATE_FILE on
  // top of the system's failure.
  void create(const krn::Wstring& folder, krn::Krn_status& status);
  // Encodes one record (see Tla_record_encoder::encode_record) and appends
  // it; line names it in failures. TLA_E_TOO_MANY_RECORDS past what a data
  // set can count.
  void add(const std::vector<krn::Wstring>& values, std::uint64_t line, krn::Krn_status& status);
  // Writes what is still held back; the file is then complete.
  void finish(krn::Krn_status& status);

  std::uint64_t records() const { return m_records; }
  const krn::Krn_buffer& buffer() const { return m_buffer; }

 private:
  const Tla_schema& m_schema;
  const std::vector<std::uint64_t> m_key_positions;
  krn::Krn_file m_file;
  krn::Krn_file_buffer m_buffer;
  std::unique_ptr<krn::Krn_ostream> m_out;
  std::unique_ptr<Tla_block_writer> m_writer;
  Tla_record_encoder m_encoder;
  std::uint64_t m_records = 0;
};

enum class Tla_read_outcome {
  DONE,           // every record was encoded (status ok)
  BAD_LINE_END,   // a CR not followed by LF: TLA_E_LINE_END_AT
  FIELD_COUNT,    // a line whose field count differs from the schema's: TLA_E_FIELD_COUNT_AT
  FAILED,         // the status holds the failure
};

// Reads the input from its start to its end, one byte at a time: TAB ends
// a field, LF or CR LF a record, a UTF-8 byte order mark is dropped
// wherever it stands, and a last line without a line end is a record too.
// Each record is checked (UTF-8, no NUL bytes) and added to out, whose
// schema it is read by. input_name names the input in the status.
Tla_read_outcome read_records(krn::Krn_buffered_istream& input, const krn::Wstring& input_name, Tla_record_file& out,
                              const Tla_schema& schema, krn::Krn_status& status);

// True when the bytes are well-formed UTF-8: no overlong forms, no
// surrogates, nothing above U+10FFFF, no sequence cut short.
bool is_valid_utf8(const char* bytes, std::size_t length);

}  // namespace tla

#endif
