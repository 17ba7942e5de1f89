#include "tla/tla_schema.h"

#include "krn/krn_cwstring.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_string.h"
#include "krn/krn_tokeniser.h"
#include "tla/tla_formatter.h"
#include "tla/tla_status_codes.h"

namespace tla {

bool parse_schema(const std::string& text, Tla_schema& schema, std::vector<krn::GUID>& formatter_types,
                  krn::Krn_status& status) {
  status.clear();
  krn::Wstring wide;
  krn::krn_utf8_to_utf16(text, wide);

  // Only the separators change: the other settings (empty items dropped,
  // spaces kept) are what makes " CardNum" a name of its own.
  krn::Krn_tokeniser items;
  items.separators(krn::W_SEMICOLON);
  krn::Krn_tokeniser parts;
  parts.separators(krn::W_COMMA);

  std::vector<krn::Wstring> item_list;
  items.tokenise(wide, item_list);
  std::vector<krn::Wstring> part_list;
  for (const krn::Wstring& item : item_list) {
    parts.tokenise(item, part_list);
    // An item of commas alone has no parts at all, so no name to take.
    if (part_list.empty() || part_list.size() % 2 != 0) {
      status.assign(TLA_E_SCHEMA_ITEM, krn::Krn_wstring_status_arg(item));
      return false;
    }
    std::string formatter_name;
    krn::krn_wtos(part_list[1], formatter_name);
    const krn::GUID type = formatter_type_from_name(formatter_name);
    // A field without a formatter would store nothing for its values, and
    // its records would no longer match the schema.
    if (type == TLA_NO_FORMATTER_ID) {
      status.assign(TLA_E_UNKNOWN_FORMATTER, krn::Krn_wstring_status_arg(part_list[1]),
                    krn::Krn_wstring_status_arg(part_list[0]));
      return false;
    }
    formatter_types.push_back(type);
    schema.push_back(Tla_field_descriptor{part_list[0], type});
  }
  return true;
}

void check_field_names(const Tla_schema& schema, krn::Krn_status& status) {
  status.clear();
  for (std::size_t i = 0; i < schema.size(); ++i) {
    for (std::size_t j = i + 1; j < schema.size(); ++j) {
      if (schema[i].name == schema[j].name) {
        status = TLA_E_FIELD_LIST;
        return;
      }
    }
  }
}

void resolve_keys(const Tla_schema& schema, const std::vector<krn::Wstring>& key_names,
                  std::vector<std::uint64_t>& key_positions, krn::Krn_status& status) {
  status.clear();
  key_positions.clear();
  for (const krn::Wstring& key : key_names) {
    std::size_t position = 0;
    while (position < schema.size() && schema[position].name != key) ++position;
    if (position == schema.size()) {
      status.assign(TLA_E_KEY_NOT_IN_SCHEMA, krn::Krn_wstring_status_arg(key));
      return;
    }
    key_positions.push_back(position);
  }
}

}  // namespace tla
