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

void encode_records(Tla_data_set_connector_file& connector, const Tla_schema& schema, Tla_record_file& records,
                    krn::Krn_status& status) {
  std::vector<std::uint64_t> offsets = connector.record_offsets(status);
  if (status.is_error()) return;
  std::sort(offsets.begin(), offsets.end());
  std::vector<krn::Wstring> values;
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
    records.add(values, number, status);
    if (status.is_error()) return;
  }
  records.finish(status);
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

void upgrade_data_set(const std::string& old_file_name, const krn::Wstring& work_folder, krn::Krn_buffer& output,
                      krn::Krn_status& status) {
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
  std::vector<krn::Wstring> key_names;
  for (const Tla_key_table& table : connector.key_tables()) key_names.push_back(table.name);

  Tla_record_file records(schema, {});
  records.create(work_folder, status);
  if (!status.is_error()) encode_records(connector, schema, records, status);
  if (!status.is_error()) build_data_set(key_names, schema, records.buffer(), output, status);
  connector.close();
}

}  // namespace tla
