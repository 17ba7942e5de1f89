#include "tla/tla_upgrade.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "krn/krn_file_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_stream.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_connector.h"
#include "tla/tla_records.h"
#include "tla/tla_schema.h"
#include "tla/tla_status_codes.h"
#include "tla/tla_writer.h"

namespace tla {

namespace {

constexpr char DATA_FILE_NAME_PROPERTY[] = "DataFileName";

std::vector<krn::Wstring> key_names_of(const Tla_data_set_connector_file& connector) {
  std::vector<krn::Wstring> names;
  for (const Tla_key_table& table : connector.key_tables()) names.push_back(table.name);
  return names;
}

// The values of one old record, in schema order; false, with the status
// naming the field, when the record lacks one.
bool record_values(const Tla_data_set_entry_base& entry, const Tla_schema& schema, std::vector<krn::Wstring>& values,
                   krn::Krn_status& status) {
  values.resize(schema.size());
  for (std::size_t i = 0; i < schema.size(); ++i) {
    krn::GUID type{};
    if (!entry.text(schema[i].name, values[i], type)) {
      status.assign(TLA_E_FIELD_MISSING, krn::Krn_wstring_status_arg(schema[i].name));
      return false;
    }
  }
  return true;
}

void encode_records(Tla_data_set_connector_file& connector, const Tla_schema& schema,
                    const std::vector<std::uint64_t>& key_positions, Tla_data_set_writer& writer,
                    krn::Krn_status& status) {
  std::vector<std::uint64_t> offsets = connector.record_offsets(status);
  if (status.is_error()) return;
  std::sort(offsets.begin(), offsets.end());
  std::vector<krn::Wstring> values;
  Tla_record_encoder encoder;
  const std::vector<std::uint64_t> no_key_checks;
  std::string records;
  std::vector<std::uint32_t> starts;
  std::vector<std::uint64_t> hashes;
  std::uint64_t number = 0;
  for (const std::uint64_t offset : offsets) {
    ++number;
    std::unique_ptr<Tla_data_set_entry_base> entry;
    connector.create_entry(entry, static_cast<krn::int64>(offset), status);
    if (status.is_error()) return;
    if (!entry) {
      status.assign(TLA_E_FILE_DAMAGED, krn::Krn_wstring_status_arg(connector.data_file_name()));
      return;
    }
    if (!record_values(*entry, schema, values, status)) return;
    const std::size_t start = records.size();
    // Old records are taken as they are: an empty key stays empty.
    encoder.encode_record(values, schema, no_key_checks, number, records, status);
    if (status.is_error()) return;
    starts.push_back(static_cast<std::uint32_t>(start));
    for (const std::uint64_t field : key_positions) {
      const auto* stored = reinterpret_cast<const unsigned char*>(records.data()) + start;
      for (std::size_t f = 0; f < field; ++f) stored += TLA_TOKEN_COUNT_SIZE + tla_get_be16(stored) * TLA_TOKEN_CRC_SIZE;
      hashes.push_back(tla_key_hash(stored + TLA_TOKEN_COUNT_SIZE, tla_get_be16(stored) * TLA_TOKEN_CRC_SIZE));
    }
    if (records.size() >= 65536 || number == offsets.size()) {
      writer.append(records, starts, hashes, status);
      if (status.is_error()) return;
      records.clear();
      starts.clear();
      hashes.clear();
    }
  }
}

// The bytes of a file of the current version, as they stand.
void copy_file(const krn::Wstring& name, krn::Krn_buffer& output, krn::Krn_status& status) {
  krn::Krn_file_buffer input(name, krn::KRN_FILE_ACCESS_READ, status);
  if (!status.ok()) return;
  const krn::int64 size = input.size(false, status);
  if (!status.ok()) return;
  krn::Krn_ostream out(output, status, krn::KRN_EOL_CRLF);
  if (status.ok()) copy_bytes(input, size, out, status);
}

}  // namespace

void upgrade_data_set(const std::string& old_file_name, krn::Krn_buffer& output, krn::Krn_status& status) {
  status.clear();
  Tla_data_set_connector_file connector;
  krn::Wstring name;
  krn::krn_utf8_to_utf16(old_file_name, name);
  connector.set_property(DATA_FILE_NAME_PROPERTY, name, status);
  if (!status.is_error()) connector.open(status);
  if (!status.is_error()) connector.verify(status);
  if (status.is_error()) return;
  if (connector.version() == TLA_DATA_SET_VERSION) {
    copy_file(name, output, status);
    return;
  }

  const Tla_schema schema = *connector.schema();
  const std::vector<krn::Wstring> key_names = key_names_of(connector);
  std::vector<std::uint64_t> key_positions;
  resolve_keys(schema, key_names, key_positions, status);
  if (status.is_error()) return;
  Tla_data_set_writer writer(output, key_names, schema, key_positions);
  writer.begin(status);
  if (!status.is_error()) encode_records(connector, schema, key_positions, writer, status);
  if (!status.is_error()) writer.finish(status);
  connector.close();
}

}  // namespace tla
