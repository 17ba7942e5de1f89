#ifndef TLA_UPGRADE_H
#define TLA_UPGRADE_H

// Rewrites a data set file of the previous format version (field texts) in
// the current one (token CRCs), with the same fields and key indexes.

#include <string>

namespace krn {
class Krn_file_buffer;
class Krn_status;
}  // namespace krn

namespace tla {

// Reads the old file through the data set reader, encodes its records in
// file order into a fresh intermediate file and writes output from it, as
// a build would from the same records. A file of the current version or
// newer is left alone: the status stays clear and nothing is written.
void upgrade_data_set(const std::string& old_file_name, krn::Krn_file_buffer& output, krn::Krn_status& status);

}  // namespace tla

#endif
