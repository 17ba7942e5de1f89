#include "tla_records.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "krn/krn_file_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "krn/krn_string.h"
#include "tla_data_set_tokens.h"
#include "tla_formatter.h"
#include "tla_status_codes.h"

namespace tla {

namespace {

constexpr unsigned char TAB = 0x09;
constexpr unsigned char LF = 0x0A;
constexpr unsigned char CR = 0x0D;
constexpr unsigned char BOM_1 = 0xEF;
constexpr unsigned char BOM_2 = 0xBB;
constexpr unsigned char BOM_3 = 0xBF;

bool is_key_position(const std::vector<std::uint64_t>& key_positions, std::size_t position) {
  return std::find(key_positions.begin(), key_positions.end(), position) != key_positions.end();
}

}  // namespace

// ---- Block writer ------------------------------------------------------------

Tla_block_writer::Tla_block_writer(krn::Krn_ostream& out) : m_out(out) { m_pending.reserve(BLOCK_SIZE * 2); }

void Tla_block_writer::flush_if_full(krn::Krn_status& status) {
  if (m_pending.size() >= BLOCK_SIZE) flush(status);
}

void Tla_block_writer::flush(krn::Krn_status& status) {
  status.clear();
  if (m_pending.empty()) return;
  m_out.write(m_pending.size(), m_pending.data(), status);
  m_pending.clear();
}

// ---- Encoding ----------------------------------------------------------------

Tla_record_encoder::Tla_record_encoder() = default;

Tla_record_encoder::~Tla_record_encoder() = default;

void Tla_record_encoder::write_field_tokens(const krn::Wstring& formatted_value, const krn::Wstring& field_name,
                                            std::uint64_t line, std::string& out, krn::Krn_status& status) {
  m_cutter.cut(formatted_value, m_crcs, status);
  if (!status.ok()) {
    status.push(TLA_E_RECORD_NOT_STORED, krn::Krn_uint_status_arg(line));
    return;
  }
  append_tokens(field_name, line, out, status);
}

void Tla_record_encoder::append_tokens(const krn::Wstring& field_name, std::uint64_t line, std::string& out,
                                       krn::Krn_status& status) {
  // Cutting the list would store a value that no search finds again.
  if (m_crcs.size() > TLA_MAX_TOKENS_PER_FIELD) {
    status.assign(TLA_E_TOO_MANY_TOKENS, krn::Krn_wstring_status_arg(field_name), krn::Krn_uint_status_arg(line));
    return;
  }
  tla_append_field_tokens(out, m_crcs);
}

void Tla_record_encoder::encode_record(const std::vector<krn::Wstring>& values, const Tla_schema& schema,
                                       const std::vector<std::uint64_t>& key_positions, std::uint64_t line,
                                       std::string& out, krn::Krn_status& status) {
  status.clear();
  if (values.size() != schema.size() || values.empty()) return;
  const std::size_t record_start = out.size();
  for (std::size_t i = 0; i < values.size() && !status.is_error(); ++i) {
    m_cutter.cut_value(schema[i].formatter_type, values[i], m_crcs, status);
    if (!status.ok()) {
      status.push(TLA_E_RECORD_NOT_STORED, krn::Krn_uint_status_arg(line));
      break;
    }
    if (m_crcs.empty() && is_key_position(key_positions, i)) {
      krn::Wstring trimmed = values[i];
      krn::krn_trim(trimmed);
      status.assign(trimmed.empty() ? TLA_E_EMPTY_KEY : TLA_E_KEY_WITHOUT_TOKENS,
                    krn::Krn_wstring_status_arg(schema[i].name), krn::Krn_uint_status_arg(line));
      break;
    }
    append_tokens(schema[i].name, line, out, status);
  }
  if (status.is_error()) {
    out.resize(record_start);
    return;
  }
  out.push_back(static_cast<char>(TLA_RECORD_TERMINATOR));
}

// ---- The intermediate file ---------------------------------------------------

Tla_record_file::Tla_record_file(const Tla_schema& schema, std::vector<std::uint64_t> key_positions)
    : m_schema(schema), m_key_positions(std::move(key_positions)) {}

Tla_record_file::~Tla_record_file() {
  // The streams go before the file they write to.
  m_writer.reset();
  m_out.reset();
  m_buffer.close();
}

void Tla_record_file::create(const krn::Wstring& folder, krn::Krn_status& status) {
  m_file.create_unnamed(folder, true, status);
  if (status.ok()) m_buffer.attach(m_file, status);
  if (status.ok()) m_out = std::make_unique<krn::Krn_ostream>(m_buffer, status, krn::KRN_EOL_CRLF);
  if (!status.ok()) {
    status.push(TLA_E_INTERMEDIATE_FILE, krn::Krn_wstring_status_arg(folder.empty() ? krn::Wstring(u".") : folder));
    return;
  }
  m_writer = std::make_unique<Tla_block_writer>(*m_out);
}

void Tla_record_file::add(const std::vector<krn::Wstring>& values, std::uint64_t line, krn::Krn_status& status) {
  status.clear();
  if (m_records >= TLA_MAX_RECORDS) {
    status = TLA_E_TOO_MANY_RECORDS;
    return;
  }
  m_encoder.encode_record(values, m_schema, m_key_positions, line, m_writer->pending(), status);
  if (status.ok()) m_writer->flush_if_full(status);
  if (status.ok()) ++m_records;
}

void Tla_record_file::finish(krn::Krn_status& status) { m_writer->flush(status); }

// ---- UTF-8 -------------------------------------------------------------------

bool is_valid_utf8(const char* bytes, std::size_t length) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  const unsigned char* const end = p + length;
  while (p < end) {
    const unsigned char lead = *p;
    if (lead < 0x80) {
      ++p;
      continue;
    }
    std::size_t size = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    // The ranges of the second byte rule out overlong forms, surrogates and
    // code points above U+10FFFF.
    if (lead >= 0xC2 && lead <= 0xDF) {
      size = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      size = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      size = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (static_cast<std::size_t>(end - p) < size) return false;
    if (p[1] < low || p[1] > high) return false;
    for (std::size_t i = 2; i < size; ++i) {
      if (p[i] < 0x80 || p[i] > 0xBF) return false;
    }
    p += size;
  }
  return true;
}

// ---- Reading -----------------------------------------------------------------

namespace {

// The record being read: the raw bytes of its fields so far. The strings
// keep their capacity from record to record.
class Record_builder {
 public:
  Record_builder() : m_fields(1) {}

  void add(unsigned char byte) { m_fields[m_used].push_back(static_cast<char>(byte)); }
  void end_field() {
    ++m_used;
    if (m_used == m_fields.size()) m_fields.emplace_back();
    m_fields[m_used].clear();
  }
  // Anything read since the last record ended.
  bool started() const { return m_used > 0 || !m_fields[0].empty(); }
  std::size_t field_count() const { return m_used + 1; }
  const std::string& field(std::size_t i) const { return m_fields[i]; }
  void clear() {
    m_used = 0;
    m_fields[0].clear();
  }

 private:
  std::vector<std::string> m_fields;
  std::size_t m_used = 0;
};

class Record_reader {
 public:
  Record_reader(const krn::Wstring& input_name, Tla_record_file& out, const Tla_schema& schema)
      : m_input_name(input_name), m_out(out), m_schema(schema), m_values(schema.size()) {}

  // Ends the current record; false when the reading must stop.
  bool end_record(Tla_read_outcome& outcome, krn::Krn_status& status) {
    if (m_record.field_count() != m_schema.size()) {
      status.assign(TLA_E_FIELD_COUNT_AT, krn::Krn_wstring_status_arg(m_input_name), krn::Krn_uint_status_arg(m_line),
                    krn::Krn_uint_status_arg(m_record.field_count()), krn::Krn_uint_status_arg(m_schema.size()));
      outcome = Tla_read_outcome::FIELD_COUNT;
      return false;
    }
    for (std::size_t i = 0; i < m_schema.size(); ++i) {
      const std::string& bytes = m_record.field(i);
      const unsigned code = std::memchr(bytes.data(), 0, bytes.size()) != nullptr ? TLA_E_NUL_BYTE
                            : !is_valid_utf8(bytes.data(), bytes.size())      ? TLA_E_NOT_UTF8
                                                                              : 0;
      if (code != 0) {
        status.assign(code, krn::Krn_wstring_status_arg(m_schema[i].name), krn::Krn_uint_status_arg(m_line));
        outcome = Tla_read_outcome::FAILED;
        return false;
      }
      m_values[i].clear();
      krn::krn_string_append(m_values[i], bytes.data(), bytes.size());
    }
    m_out.add(m_values, m_line, status);
    if (!status.ok()) {
      outcome = Tla_read_outcome::FAILED;
      return false;
    }
    ++m_line;
    m_record.clear();
    return true;
  }

  // A CR without its LF, on the line being read.
  Tla_read_outcome bad_line_end(krn::Krn_status& status) const {
    status.assign(TLA_E_LINE_END_AT, krn::Krn_wstring_status_arg(m_input_name), krn::Krn_uint_status_arg(m_line));
    return Tla_read_outcome::BAD_LINE_END;
  }

  Record_builder& record() { return m_record; }

 private:
  const krn::Wstring& m_input_name;
  Tla_record_file& m_out;
  const Tla_schema& m_schema;
  Record_builder m_record;
  std::vector<krn::Wstring> m_values;
  std::uint64_t m_line = 1;
};

Tla_read_outcome read_all(krn::Krn_buffered_istream& input, krn::int64 size, Record_reader& reader,
                          krn::Krn_status& status) {
  Tla_read_outcome outcome = Tla_read_outcome::DONE;
  Record_builder& record = reader.record();
  while (input.tell() < size) {
    const unsigned char byte = input.read_char();
    switch (byte) {
      case TAB:
        record.end_field();
        break;
      case LF:
        if (!reader.end_record(outcome, status)) return outcome;
        break;
      case CR:
        // Nothing is read past the end: a CR there has no LF after it.
        if (input.tell() >= size || input.read_char() != LF) return reader.bad_line_end(status);
        if (!reader.end_record(outcome, status)) return outcome;
        break;
      case BOM_1: {
        // Looked at without moving, so that a lone 0xEF costs no seek.
        unsigned char next[2] = {};
        krn::Krn_status peek;
        if (size - input.tell() >= 2 && input.read_at(input.tell(), 2, next, peek) == 2 && next[0] == BOM_2 &&
            next[1] == BOM_3) {
          input.read_char();
          input.read_char();
        } else {
          record.add(byte);
        }
        break;
      }
      default:
        record.add(byte);
        break;
    }
  }
  if (record.started()) reader.end_record(outcome, status);
  return outcome;
}

}  // namespace

Tla_read_outcome read_records(krn::Krn_buffered_istream& input, const krn::Wstring& input_name, Tla_record_file& out,
                              const Tla_schema& schema, krn::Krn_status& status) {
  status.clear();
  const krn::int64 size = input.size(status);
  if (!status.ok()) return Tla_read_outcome::FAILED;
  Record_reader reader(input_name, out, schema);
  Tla_read_outcome outcome = Tla_read_outcome::FAILED;
  try {
    outcome = read_all(input, size, reader, status);
  } catch (const std::exception& error) {
    // read_char throws when a byte the size promised is not there.
    tla_report_exception(error, status);
    status.push(krn::KRN_E_READ);
    outcome = Tla_read_outcome::FAILED;
  }
  if (outcome != Tla_read_outcome::DONE) return outcome;
  out.finish(status);
  return status.is_error() ? Tla_read_outcome::FAILED : outcome;
}

}  // namespace tla
