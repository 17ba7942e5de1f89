#include "tla/tla_data_set_connector.h"

#include <algorithm>
#include <exception>
#include <new>

#include "krn/krn_file_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_input.h"
#include "tla/tla_data_set_tokens.h"
#include "tla/tla_formatter.h"
#include "tla/tla_status_codes.h"

namespace tla {

namespace {

// Names and descriptors are read a byte at a time, block hashes 8 bytes at a
// time far apart, and whole blocks of entries directly.
constexpr std::size_t INPUT_CHUNK = 512;

// The fewest bytes a record can take: a version-1 record is its separators
// and terminator, a version-2 record a count per field and its terminator.
std::uint64_t smallest_record(std::uint16_t version, std::size_t fields) {
  if (version == TLA_DATA_SET_VERSION_1) return fields;
  return std::uint64_t{fields} * TLA_TOKEN_COUNT_SIZE + 1;
}

}  // namespace

Tla_data_set_connector_base::~Tla_data_set_connector_base() = default;

Tla_data_set_connector_file::Tla_data_set_connector_file() = default;

Tla_data_set_connector_file::~Tla_data_set_connector_file() { close(); }

void Tla_data_set_connector_file::refresh() {}

void Tla_data_set_connector_file::set_property(const std::string& name, const krn::Wstring& value,
                                               krn::Krn_status& status) {
  status.clear();
  if (krn::krn_utf8_compare_nc(name.c_str(), "DataFileName") == 0) m_data_file_name = value;
}

void Tla_data_set_connector_file::open(krn::Krn_status& status) {
  status.clear();
  if (m_opened) return;
  auto file = std::make_unique<krn::Krn_file_buffer>();
  file->open(m_data_file_name, krn::KRN_FILE_OPEN_EXISTING, krn::KRN_FILE_ACCESS_READ, 0, krn::KRN_FILE_SHARE_READ,
             status);
  if (!status.ok()) {
    file->close();
    status.push(TLA_E_DATA_SET_NOT_OPEN);
    return;
  }
  m_file = std::move(file);
  m_opened = true;
}

void Tla_data_set_connector_file::forget_content() {
  m_index_offset = 0;
  m_data_start = 0;
  m_key_count = 0;
  m_record_count = 0;
  m_fields.clear();
  m_version = 0;
  m_checksum = 0;
  m_block_size = 0;
  // A later load on another file must not find this file's tables.
  m_key_tables.clear();
  m_record_offsets.clear();
  m_loaded = false;
}

void Tla_data_set_connector_file::close() {
  forget_content();
  m_data_file_name.clear();
  m_opened = false;
  if (m_file) {
    m_file->close();
    m_file.reset();
  }
}

bool Tla_data_set_connector_file::ready() const { return m_opened && m_file && m_loaded; }

void Tla_data_set_connector_file::report_damaged(const krn::Krn_status& cause, krn::Krn_status& status) const {
  tla_report_damaged(m_data_file_name, cause, status);
}

// ---- load ----------------------------------------------------------------------

void Tla_data_set_connector_file::load(krn::Krn_status& status, bool accept_older) {
  status.clear();
  if (m_loaded) return;
  if (!m_opened || !m_file) {
    status = TLA_E_DATA_SET_NOT_OPEN;
    return;
  }
  try {
    load_file(status, accept_older);
  } catch (const std::bad_alloc&) {
    status = krn::KRN_E_NO_MEMORY;
  } catch (const std::exception&) {
    report_damaged(krn::Krn_status(), status);
  }
  if (status.ok()) {
    m_loaded = true;
  } else {
    forget_content();
  }
}

void Tla_data_set_connector_file::load_file(krn::Krn_status& status, bool accept_older) {
  krn::Krn_status file_status;
  const krn::int64 size = m_file->size(false, file_status);
  if (!file_status.ok()) {
    report_damaged(file_status, status);
    return;
  }
  const std::uint64_t file_size = static_cast<std::uint64_t>(std::max<krn::int64>(size, 0));
  Tla_data_set_input input(*m_file, INPUT_CHUNK, file_status);
  if (!file_status.ok()) {
    report_damaged(file_status, status);
    return;
  }

  // Header. Each part is checked as soon as the bytes for it are known to
  // be there, so that a short file fails where it ends.
  unsigned char header[TLA_HEADER_SIZE] = {};
  const std::size_t header_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(file_size, TLA_HEADER_SIZE));
  input.start(0, file_size);
  if (!input.read(header, header_bytes) || !tla_has_magic(header, header_bytes) ||
      header_bytes < TLA_VERSION_OFFSET + 2) {
    report_damaged(input.file_status(), status);
    return;
  }
  const Tla_data_set_header fields = tla_decode_header(header);
  if (!accept_older && fields.version != TLA_DATA_SET_VERSION) {
    status.assign(TLA_E_VERSION, krn::Krn_wstring_status_arg(m_data_file_name));
    return;
  }
  // Only versions 1 and 2 were ever written: any other number is a damaged
  // header, and reading on would take its records for version-2 ones.
  if (fields.version != TLA_DATA_SET_VERSION && fields.version != TLA_DATA_SET_VERSION_1) {
    report_damaged(krn::Krn_status(TLA_E_UNKNOWN_VERSION, krn::Krn_uint_status_arg(fields.version),
                                   krn::Krn_uint_status_arg(TLA_VERSION_OFFSET)),
                   status);
    return;
  }
  if (header_bytes < TLA_HEADER_SIZE || fields.index_offset > file_size) {
    report_damaged(krn::Krn_status(), status);
    return;
  }
  m_checksum = fields.checksum;
  m_index_offset = fields.index_offset;
  m_version = fields.version;
  m_key_count = fields.key_count;
  m_record_count = fields.record_count;

  // Field descriptors: they end before the data area does.
  Tla_field_descriptor_parser parser;
  input.start(TLA_HEADER_SIZE, m_index_offset);
  while (parser.step() == Tla_field_descriptor_parser::MORE) {
    unsigned char byte = 0;
    if (!input.read_byte(byte)) {
      report_damaged(input.file_status(), status);
      return;
    }
    parser.feed(byte);
  }
  if (parser.step() == Tla_field_descriptor_parser::BAD) {
    status = TLA_E_FIELD_LIST;
    return;
  }
  m_fields = std::move(parser.schema());
  m_data_start = tla_align_to_eight(input.position());
  if (m_data_start > m_index_offset) {
    report_damaged(krn::Krn_status(), status);
    return;
  }

  const std::uint64_t checksum = tla_data_set_checksum(*m_file, size, file_status);
  if (!file_status.ok()) {
    report_damaged(file_status, status);
    return;
  }
  if (checksum != m_checksum) {
    status = TLA_E_CHECKSUM;
    return;
  }

  m_block_size = index_block_size(m_record_count, m_key_count);
  if (m_block_size == 0) {
    status = TLA_E_DATA_SET_TOO_LARGE;
    return;
  }
  // A record count the data area cannot hold would send readers past it.
  if (m_record_count > (m_index_offset - m_data_start) / smallest_record(m_version, m_fields.size())) {
    report_damaged(krn::Krn_status(), status);
    return;
  }
  load_key_tables(input, file_size, status);
}

void Tla_data_set_connector_file::load_key_tables(Tla_data_set_input& input, std::uint64_t file_size,
                                                  krn::Krn_status& status) {
  // Every key index takes at least 8 bytes (a terminator and its padding):
  // check the count before making room for it.
  const std::uint64_t index_area = file_size - m_index_offset;
  if (m_key_count > index_area / 8) {
    report_damaged(krn::Krn_status(), status);
    return;
  }
  m_key_tables.reserve(m_key_count);
  // Every index holds one entry per record; a shorter one would make the
  // reader take the next index's name for entries.
  const std::uint64_t entry_bytes = std::uint64_t{m_record_count} * TLA_INDEX_ENTRY_SIZE;
  std::uint64_t position = m_index_offset;
  for (unsigned key = 0; key < m_key_count; ++key) {
    Tla_key_table& table = m_key_tables.emplace_back();
    std::string name;
    input.start(position, file_size);
    for (;;) {
      unsigned char byte = 0;
      if (!input.read_byte(byte)) {
        report_damaged(input.file_status(), status);
        return;
      }
      if (byte == TLA_KEY_NAME_END) break;
      name.push_back(static_cast<char>(byte));
    }
    krn::krn_utf8_to_utf16(name, table.name);
    table.entries_start = tla_align_to_eight(input.position());
    if (table.entries_start > file_size || entry_bytes > file_size - table.entries_start) {
      report_damaged(krn::Krn_status(), status);
      return;
    }
    table.blocks.reserve((m_record_count + m_block_size - 1) / m_block_size);
    for (std::uint64_t first = 0; first < m_record_count; first += m_block_size) {
      Tla_index_block block;
      block.position = table.entries_start + first * TLA_INDEX_ENTRY_SIZE;
      input.start(block.position, file_size);
      if (!input.read_le64(block.first_hash)) {
        report_damaged(input.file_status(), status);
        return;
      }
      // The search picks a block by these hashes: they must rise as the
      // entries do.
      if (!table.blocks.empty() && block.first_hash < table.blocks.back().first_hash) {
        report_damaged(krn::Krn_status(), status);
        return;
      }
      table.blocks.push_back(block);
    }
    position = table.entries_start + entry_bytes;
  }
  // Nothing follows the last index: anything else is a count that does not
  // describe the file.
  if (position != file_size) report_damaged(krn::Krn_status(), status);
}

// ---- Entries -------------------------------------------------------------------

bool Tla_data_set_connector_file::read_entries(Tla_data_set_input& input, std::uint64_t position,
                                               std::uint64_t count, std::vector<unsigned char>& bytes,
                                               krn::Krn_status& status) const {
  bytes.resize(static_cast<std::size_t>(count * TLA_INDEX_ENTRY_SIZE));
  // The index layout was checked against the file's size when it was loaded.
  input.start(position, position + bytes.size());
  if (input.read(bytes.data(), bytes.size())) return true;
  report_damaged(input.file_status(), status);
  return false;
}

std::vector<std::uint64_t>& Tla_data_set_connector_file::record_offsets(krn::Krn_status& status) {
  status.clear();
  m_record_offsets.clear();
  if (!ready()) {
    status = TLA_E_DATA_SET_NOT_OPEN;
    return m_record_offsets;
  }
  if (m_key_tables.empty()) return m_record_offsets;
  Tla_data_set_input input(*m_file, INPUT_CHUNK, status);
  if (!status.ok()) return m_record_offsets;
  const Tla_key_table& table = m_key_tables.front();
  m_record_offsets.reserve(m_record_count);
  std::vector<unsigned char> bytes;
  for (std::uint64_t first = 0; first < m_record_count; first += m_block_size) {
    const std::uint64_t count = std::min<std::uint64_t>(m_block_size, m_record_count - first);
    if (!read_entries(input, table.entries_start + first * TLA_INDEX_ENTRY_SIZE, count, bytes, status)) break;
    for (std::size_t i = 0; i < bytes.size(); i += TLA_INDEX_ENTRY_SIZE) {
      const std::uint64_t offset = tla_get_le64(&bytes[i + 8]);
      if (offset < m_data_start || offset >= m_index_offset) {
        report_damaged(krn::Krn_status(), status);
        break;
      }
      m_record_offsets.push_back(offset);
    }
    if (!status.ok()) break;
  }
  if (!status.ok()) m_record_offsets.clear();
  return m_record_offsets;
}

void Tla_data_set_connector_file::create_entry(std::unique_ptr<Tla_data_set_entry_base>& entry,
                                               krn::int64 record_offset, krn::Krn_status& status) {
  status.clear();
  entry.reset();
  if (!ready()) {
    status = TLA_E_DATA_SET_NOT_OPEN;
    return;
  }
  auto made = std::make_unique<Tla_data_set_entry_file>(*m_file, m_fields, m_version, m_data_start, m_index_offset,
                                                        record_offset);
  made->load(status);
  if (status.ok()) entry = std::move(made);
}

// ---- find ----------------------------------------------------------------------

void Tla_data_set_connector_file::find(const Tla_search_value& value, const krn::Wstring& key_name,
                                       Tla_entry_list& results, krn::Krn_status& status) {
  status.clear();
  if (!ready()) {
    status = TLA_E_DATA_SET_NOT_OPEN;
    return;
  }
  const auto table = std::find_if(m_key_tables.begin(), m_key_tables.end(),
                                  [&](const Tla_key_table& candidate) { return candidate.name == key_name; });
  if (table == m_key_tables.end()) return;

  krn::GUID formatter_type = TLA_SIMPLE_FORMATTER_ID;
  for (const Tla_field_descriptor& field : m_fields) {
    if (field.name == key_name) {
      formatter_type = field.formatter_type;
      break;
    }
  }
  std::vector<std::uint64_t> crcs;
  const bool has_tokens = value_token_crcs(formatter_type, value.text, crcs, status);
  if (!status.ok()) return;
  if (!has_tokens) {
    status = TLA_E_NO_SEARCH_TOKENS;
    return;
  }
  const std::uint64_t hash = m_version == TLA_DATA_SET_VERSION_1 ? value.key_hash : tla_key_hash(crcs);

  const std::vector<Tla_index_block>& blocks = table->blocks;
  if (blocks.empty()) return;
  // The first block whose first hash is not below the searched one. Entries
  // of that hash may also end the block before it, so the scan begins there.
  const auto above = std::lower_bound(blocks.begin(), blocks.end(), hash,
                                      [](const Tla_index_block& block, std::uint64_t h) { return block.first_hash < h; });
  if (above == blocks.begin() && above->first_hash > hash) return;
  const std::uint64_t start_block = above == blocks.begin() ? 0 : static_cast<std::uint64_t>(above - blocks.begin()) - 1;

  Tla_entry_list found;
  scan_run(*table, start_block * m_block_size, hash, key_name, crcs, found, status);
  if (!status.ok()) return;
  for (auto& entry : found) results.push_back(std::move(entry));
}

void Tla_data_set_connector_file::scan_run(const Tla_key_table& table, std::uint64_t first, std::uint64_t hash,
                                           const krn::Wstring& key_name, const std::vector<std::uint64_t>& crcs,
                                           Tla_entry_list& found, krn::Krn_status& status) {
  Tla_data_set_input input(*m_file, INPUT_CHUNK, status);
  if (!status.ok()) return;
  std::vector<unsigned char> bytes;
  std::vector<std::uint64_t> stored;
  // The run of the hash may reach into any number of later blocks; it ends
  // at the first greater hash or at the end of the index.
  while (first < m_record_count) {
    const std::uint64_t count = std::min<std::uint64_t>(m_block_size, m_record_count - first);
    if (!read_entries(input, table.entries_start + first * TLA_INDEX_ENTRY_SIZE, count, bytes, status)) return;
    for (std::size_t i = 0; i < bytes.size(); i += TLA_INDEX_ENTRY_SIZE) {
      const std::uint64_t entry_hash = tla_get_le64(&bytes[i]);
      if (entry_hash < hash) continue;
      if (entry_hash > hash) return;
      std::unique_ptr<Tla_data_set_entry_base> entry;
      create_entry(entry, static_cast<krn::int64>(tla_get_le64(&bytes[i + 8])), status);
      if (!status.ok()) return;
      krn::GUID type{};
      if (entry->tokens(key_name, stored, type) && stored == crcs) found.push_back(std::move(entry));
    }
    first += count;
  }
}

}  // namespace tla
