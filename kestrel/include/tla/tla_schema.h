#ifndef TLA_SCHEMA_H
#define TLA_SCHEMA_H

// The schema a build runs with: the -s text turned into field descriptors,
// and the -k names turned into positions of fields in it.

#include <cstdint>
#include <string>
#include <vector>

#include "tla/tla_export.h"
#include "krn/krn_types.h"
#include "tla/tla_data_set_format.h"

namespace krn {
class Krn_status;
}

namespace tla {

// Fills schema and formatter_types (parallel lists) from text such as
// "FirstName,Simple;Surname,SimpleNC; CardNum,CCNUMBER". Items are split at
// ";" and empty items dropped; each item is split at ",", its first part is
// the field name (spaces kept), its second the formatter name (case
// ignored), further pairs are ignored. False for an item with an odd number
// of parts (TLA_E_SCHEMA_ITEM naming it) or an unknown formatter name
// (TLA_E_UNKNOWN_FORMATTER naming it and its field); the lists then hold the
// fields parsed before it. No items at all is true with an empty schema.
TLA_API bool parse_schema(const std::string& text, Tla_schema& schema, std::vector<krn::GUID>& formatter_types,
                  krn::Krn_status& status);

// TLA_E_FIELD_LIST when two fields have the same name (the same UTF-16
// units): their records could not be told apart by a reader.
TLA_API void check_field_names(const Tla_schema& schema, krn::Krn_status& status);

// For each key name in order, the position of the field whose name is the
// same, unit for unit: " CardNum" is not "CardNum", nor is "cardnum".
// TLA_E_KEY_NOT_IN_SCHEMA naming the first key that matches no field; the
// positions are then incomplete.
TLA_API void resolve_keys(const Tla_schema& schema, const std::vector<krn::Wstring>& key_names,
                  std::vector<std::uint64_t>& key_positions, krn::Krn_status& status);

}  // namespace tla

#endif
