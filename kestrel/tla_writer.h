#ifndef TLA_WRITER_H
#define TLA_WRITER_H

// Turns the intermediate file, filled with encoded records, into a data set
// file of the current version: header and field descriptors, the records as
// they stand, one sorted key index per key, then the index offset and the
// checksum.

#include <cstdint>
#include <vector>

#include "krn/krn_types.h"
#include "tla_data_set_format.h"

namespace krn {
class Krn_buffer;
class Krn_buffered_istream;
class Krn_ostream;
class Krn_status;
}  // namespace krn

namespace tla {

// Writes the data set to output from its start and cuts output to the data
// set's length, so that an older, longer file leaves nothing behind.
// TLA_E_FIELD_LIST when two fields have the same name; TLA_E_KEY_NOT_IN_SCHEMA
// for a key name that is no field's exact name; TLA_E_DATA_SET_TOO_LARGE when
// the records and keys are more than a reader can index. A record that
// repeats another exactly is stored and indexed like any other, with the
// warning TLA_W_DUPLICATE_RECORD once for each key index.
void build_data_set(const std::vector<krn::Wstring>& key_names, const Tla_schema& schema,
                    const krn::Krn_buffer& intermediate, krn::Krn_buffer& output, krn::Krn_status& status);

// The number of records in the intermediate file, each checked against the
// field count. TLA_E_RECORD_DAMAGED for a record that does not end with its
// terminator or is cut short; TLA_E_TOO_MANY_RECORDS past what the header
// can count.
std::uint32_t count_records(std::size_t field_count, const krn::Krn_buffered_istream& input, krn::Krn_status& status);

// The header with the checksum and index offset still zero, the field
// descriptors and the padding up to the data start.
void write_header(const std::vector<krn::Wstring>& key_names, const Tla_schema& schema, std::uint32_t record_count,
                  krn::Krn_ostream& out, krn::Krn_status& status);

// Copies the first size bytes of from to out, a block at a time.
// TLA_E_RECORD_DAMAGED when from ends before size.
void copy_bytes(const krn::Krn_buffer& from, krn::int64 size, krn::Krn_ostream& out, krn::Krn_status& status);

// Zero bytes up to the next multiple of 8 of the output position.
void pad_to_eight(krn::Krn_ostream& out, krn::Krn_status& status);

// One key index: the key name and its padding, then an entry (key hash,
// record offset) for every record, sorted by key hash and, among equal
// hashes, by record offset. data_start is where the first record of the
// intermediate file lies in the output.
void write_key_index(const krn::Wstring& key_name, const Tla_schema& schema, std::uint32_t record_count,
                     std::uint64_t data_start, const krn::Krn_buffered_istream& input, krn::Krn_ostream& out,
                     krn::Krn_status& status);

}  // namespace tla

#endif
