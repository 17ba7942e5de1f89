#ifndef TLA_UPGRADE_H
#define TLA_UPGRADE_H

// Rewrites a data set file of the previous format version (field texts) in
// the current one (token CRCs), with the same fields and key indexes.

#include <string>

#include "tla/tla_export.h"

namespace krn {
class Krn_buffer;
class Krn_status;
}  // namespace krn

namespace tla {

// Checks the old file in full first (see Tla_data_set_connector_file::verify):
// its records are trusted only once every index entry is known to name a
// distinct record and every record to be named. A file of the current
// version is then copied to output as it stands. A version-1 file has its
// records encoded in file order and output written as a build would write
// it from the same records. Any other version fails with TLA_E_FILE_DAMAGED
// naming the file.
TLA_API void upgrade_data_set(const std::string& old_file_name, krn::Krn_buffer& output, krn::Krn_status& status);

}  // namespace tla

#endif
