#include "tla_upgrade.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "krn/krn_file_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_stream.h"
#include "krn/krn_string.h"
#include "tla_data_set_connector.h"
#include "tla_records.h"
#include "tla_status_codes.h"
#include "tla_writer.h"

namespace tla {

namespace {

constexpr char DATA_FILE_NAME_PROPERTY[] = "DataFileName";

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

void encode_records(Tla_data_set_connector_file& connector, const Tla_schema& schema, krn::Krn_buffer& intermediate,
                    krn::Krn_status& status) {
  std::vector<std::uint64_t> offsets = connector.record_offsets(status);
  if (status.is_error()) return;
  // Offsets come from the first key index; without one the records cannot
  // be found, and an upgrade that silently dropped them would lose data.
  if (offsets.size() != connector.record_count()) {
    status.assign(TLA_E_FILE_DAMAGED, krn::Krn_wstring_status_arg(connector.data_file_name()));
    return;
  }
  std::sort(offsets.begin(), offsets.end());

  krn::Krn_ostream out(intermediate, status, krn::KRN_EOL_CRLF);
  if (status.is_error()) return;
  Tla_block_writer writer(out);
  const std::vector<std::uint64_t> no_key_positions;
  std::vector<krn::Wstring> values;
  Tla_record_encoder encoder;
  std::uint64_t number = 0;
  for (const std::uint64_t offset : offsets) {
    ++number;
    std::unique_ptr<Tla_data_set_entry_base> entry;
    connector.create_entry(entry, static_cast<krn::int64>(offset), status);
    if (status.is_error()) break;
    if (!entry) {
      status.assign(TLA_E_FILE_DAMAGED, krn::Krn_wstring_status_arg(connector.data_file_name()));
      break;
    }
    if (!record_values(*entry, schema, values, status)) break;
    encoder.encode_record(values, schema, no_key_positions, number, writer.pending(), status);
    if (status.ok()) writer.flush_if_full(status);
    if (status.is_error()) break;
  }
  if (!status.is_error()) writer.flush(status);
}

}  // namespace

void upgrade_data_set(const std::string& old_file_name, krn::Krn_file_buffer& output, krn::Krn_status& status) {
  status.clear();
  Tla_data_set_connector_file connector;
  krn::Wstring name;
  krn::krn_utf8_to_utf16(old_file_name, name);
  connector.set_property(DATA_FILE_NAME_PROPERTY, name, status);
  if (!status.is_error()) connector.open(status);
  if (!status.is_error()) connector.load(status, true);
  if (status.is_error()) return;
  if (connector.version() >= TLA_DATA_SET_VERSION) return;

  const Tla_schema schema = *connector.schema();
  std::vector<krn::Wstring> key_names;
  for (const Tla_key_table& table : connector.key_tables()) key_names.push_back(table.name);

  krn::Krn_file_buffer intermediate;
  create_intermediate_file(intermediate, status);
  if (status.is_error()) return;
  encode_records(connector, schema, intermediate, status);
  if (!status.is_error()) build_data_set(key_names, schema, intermediate, output, status);
  connector.close();
  intermediate.close();
}

}  // namespace tla
