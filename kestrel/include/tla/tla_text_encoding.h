#ifndef TLA_TEXT_ENCODING_H
#define TLA_TEXT_ENCODING_H

// How a program of the tool tells the encoding of a text it is given: by a
// byte order mark at its start, or by what the encoding detector makes of
// its first bytes.

#include <cstddef>
#include <string>

#include "tla/tla_export.h"
#include "tla/tla_records.h"

namespace krn {
class Krn_status;
}

namespace tla {

// The encoding whose byte order mark starts the bytes (UTF-32LE, UTF-32BE,
// UTF-16LE, UTF-16BE, UTF-8) and the mark's length; false when none does.
TLA_API bool tla_byte_order_mark(const char* bytes, std::size_t size, Tla_input_encoding& encoding,
                                 std::size_t& mark_length);

// What the detector finds in the bytes (give it the text's first mebibyte):
// UTF-16 in the byte order found, its mark's length when it has one; plain
// ASCII as UTF-8. False, with the status clear, when it cannot tell.
TLA_API bool tla_detect_encoding(const char* bytes, std::size_t size, Tla_input_encoding& encoding,
                                 std::size_t& mark_length, krn::Krn_status& status);

// The encoding named, as -e takes it; false for a name no converter knows.
TLA_API bool tla_named_encoding(const std::string& name, Tla_input_encoding& encoding);

// The encoding's name in lower case, as people write it ("windows-1252").
TLA_API std::string tla_encoding_label(const Tla_input_encoding& encoding);

}  // namespace tla

#endif
