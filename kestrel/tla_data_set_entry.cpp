#include "tla/tla_data_set_entry.h"

#include "krn/krn_file_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_input.h"
#include "tla/tla_data_set_tokens.h"
#include "tla/tla_status_codes.h"

namespace tla {

Tla_data_set_entry_base::~Tla_data_set_entry_base() = default;

Tla_data_set_entry_file::Tla_data_set_entry_file(const krn::Krn_file_buffer& file, const Tla_schema& fields,
                                                 std::uint16_t version, std::uint64_t data_start,
                                                 std::uint64_t data_end, krn::int64 record_offset)
    : m_file(file),
      m_fields(fields),
      m_record_offset(record_offset),
      m_data_start(data_start),
      m_data_end(data_end),
      m_version(version) {}

Tla_data_set_entry_file::~Tla_data_set_entry_file() = default;

std::size_t Tla_data_set_entry_file::field_index(const krn::Wstring& field_name) const {
  std::size_t i = 0;
  while (i < m_fields.size() && m_fields[i].name != field_name) ++i;
  return i;
}

bool Tla_data_set_entry_file::tokens(const krn::Wstring& field_name, std::vector<std::uint64_t>& crcs,
                                     krn::GUID& formatter_type) const {
  const std::size_t i = field_index(field_name);
  if (i >= m_fields.size() || i >= m_tokens.size()) return false;
  formatter_type = m_fields[i].formatter_type;
  crcs = m_tokens[i];
  return true;
}

bool Tla_data_set_entry_file::text(const krn::Wstring& field_name, krn::Wstring& text,
                                   krn::GUID& formatter_type) const {
  if (m_version != TLA_DATA_SET_VERSION_1) return false;
  const std::size_t i = field_index(field_name);
  if (i >= m_fields.size() || i >= m_texts.size()) return false;
  formatter_type = m_fields[i].formatter_type;
  krn::krn_utf8_to_utf16(m_texts[i], text);
  return true;
}

void Tla_data_set_entry_file::report_damaged(const krn::Krn_status& cause, krn::Krn_status& status) const {
  const krn::Krn_file* file = m_file.file();
  tla_report_damaged(file != nullptr ? file->name() : krn::Wstring(), cause, status);
}

void Tla_data_set_entry_file::load(krn::Krn_status& status) {
  status.clear();
  m_texts.clear();
  m_tokens.clear();
  // The offset came out of the file: it is trusted no more than the rest.
  if (m_record_offset < 0 || static_cast<std::uint64_t>(m_record_offset) < m_data_start ||
      static_cast<std::uint64_t>(m_record_offset) >= m_data_end) {
    report_damaged(krn::Krn_status(), status);
    return;
  }
  // Most records are far shorter than this; longer ones take a few reads.
  Tla_data_set_input input(m_file, 512, status);
  if (!status.ok()) return;
  input.start(static_cast<std::uint64_t>(m_record_offset), m_data_end);
  if (m_version == TLA_DATA_SET_VERSION_1) {
    load_text(input, status);
  } else {
    load_tokens(input, status);
  }
  if (!status.ok()) {
    m_texts.clear();
    m_tokens.clear();
  }
}

void Tla_data_set_entry_file::load_tokens(Tla_data_set_input& input, krn::Krn_status& status) {
  m_tokens.reserve(m_fields.size());
  std::vector<unsigned char> bytes;
  for (std::size_t field = 0; field < m_fields.size(); ++field) {
    std::uint16_t count = 0;
    if (!input.read_be16(count) || std::uint64_t{count} * TLA_TOKEN_CRC_SIZE > input.remaining()) {
      report_damaged(input.file_status(), status);
      return;
    }
    bytes.resize(std::size_t{count} * TLA_TOKEN_CRC_SIZE);
    if (!input.read(bytes.data(), bytes.size())) {
      report_damaged(input.file_status(), status);
      return;
    }
    std::vector<std::uint64_t>& crcs = m_tokens.emplace_back();
    crcs.reserve(count);
    for (std::size_t i = 0; i < bytes.size(); i += TLA_TOKEN_CRC_SIZE) crcs.push_back(tla_get_be64(&bytes[i]));
  }
  unsigned char terminator = 0;
  if (!input.read_byte(terminator)) {
    report_damaged(input.file_status(), status);
  } else if (terminator != TLA_RECORD_TERMINATOR) {
    status = TLA_E_RECORD_DAMAGED;
  }
}

void Tla_data_set_entry_file::load_text(Tla_data_set_input& input, krn::Krn_status& status) {
  std::string current;
  for (;;) {
    const std::uint64_t position = input.position();
    unsigned char byte = 0;
    if (!input.read_byte(byte)) {
      report_damaged(input.file_status(), status);
      return;
    }
    byte = tla_v1_scramble(byte, position - m_data_start);
    if (byte == TLA_NAME_SEPARATOR || byte == TLA_RECORD_TERMINATOR) {
      // More values than fields settle the outcome; collecting them would
      // only let a damaged record cost memory.
      if (m_texts.size() == m_fields.size()) {
        status = TLA_E_RECORD_FIELD_COUNT;
        return;
      }
      m_texts.push_back(std::move(current));
      current.clear();
      if (byte == TLA_RECORD_TERMINATOR) break;
    } else {
      current.push_back(static_cast<char>(byte));
    }
  }
  if (m_texts.size() != m_fields.size()) {
    status = TLA_E_RECORD_FIELD_COUNT;
    return;
  }
  m_tokens.reserve(m_texts.size());
  Tla_token_cutter cutter;
  krn::Wstring wide;
  for (const std::string& text : m_texts) {
    krn::krn_utf8_to_utf16(text, wide);
    std::vector<std::uint64_t>& crcs = m_tokens.emplace_back();
    cutter.cut(wide, crcs, status);
    if (!status.ok()) return;
  }
}

}  // namespace tla
