#include "tla_schema.h"

#include "krn/krn_cwstring.h"
#include "krn/krn_string.h"
#include "krn/krn_tokeniser.h"
#include "tla_formatter.h"

namespace tla {

namespace {

bool is_no_formatter(const krn::GUID& type) { return type == TLA_NO_FORMATTER_ID; }

}  // namespace

bool parse_schema(const std::string& text, Tla_schema& schema, std::vector<krn::GUID>& formatter_types) {
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
    if (part_list.empty() || part_list.size() % 2 != 0) return false;
    std::string formatter_name;
    krn::krn_wtos(part_list[1], formatter_name);
    const krn::GUID type = formatter_type_from_name(formatter_name);
    // A field without a formatter would store nothing for its values, and
    // its records would no longer match the schema.
    if (is_no_formatter(type)) return false;
    formatter_types.push_back(type);
    schema.push_back(Tla_field_descriptor{part_list[0], type});
  }
  return true;
}

void find_key_positions(const Tla_schema& schema, const std::vector<krn::Wstring>& key_names,
                        std::vector<std::uint64_t>& key_positions) {
  for (const krn::Wstring& key : key_names) {
    for (std::size_t i = 0; i < schema.size(); ++i) {
      const krn::Wstring& name = schema[i].name;
      if (name.size() == key.size() && krn::krn_utf16_compare_nc(name.c_str(), key.c_str()) == 0) {
        key_positions.push_back(i);
        break;
      }
    }
  }
}

}  // namespace tla
