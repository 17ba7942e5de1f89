#ifndef TLA_SCHEMA_H
#define TLA_SCHEMA_H

// The schema a build runs with: the -s text turned into field descriptors,
// and the -k names turned into positions of fields in it.

#include <cstdint>
#include <string>
#include <vector>

#include "krn/krn_types.h"
#include "tla_data_set_format.h"

namespace tla {

// Fills schema and formatter_types (parallel lists) from text such as
// "FirstName,Simple;Surname,SimpleNC; CardNum,CCNUMBER". Items are split at
// ";" and empty items dropped; each item is split at ",", its first part is
// the field name (spaces kept), its second the formatter name (case
// ignored), further pairs are ignored. False for an item with an odd number
// of parts or an unknown formatter name; the lists then hold the fields
// parsed before it. No items at all is true with an empty schema.
bool parse_schema(const std::string& text, Tla_schema& schema, std::vector<krn::GUID>& formatter_types);

// For each key name in order, the position of the first field whose name
// has the same length and is equal ignoring case; a name that matches no
// field adds nothing.
void find_key_positions(const Tla_schema& schema, const std::vector<krn::Wstring>& key_names,
                        std::vector<std::uint64_t>& key_positions);

}  // namespace tla

#endif
