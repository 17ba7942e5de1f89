#ifndef TLA_VALUE_SHORTCUT_H
#define TLA_VALUE_SHORTCUT_H

// The stored tokens of a field value without the text format codec. Most
// values of a build (names, card numbers) hold only characters whose tokens
// can be told from the characters themselves, and reading them costs a
// small part of what a codec costs. The codec path (value_token_crcs) stays
// the one definition of a value's tokens: this one answers only for the
// values where it gives the same bytes, and says "no" for all others.

#include <cstddef>
#include <string>

#include "tla/tla_export.h"
#include "krn/krn_types.h"

namespace tla {

// The formatter of a field, as the shortcut needs it. Map the formatter's
// type once per field, not once per value.
enum class Tla_value_format { simple, simplenc, ccnumber, other };

// simple, simplenc or ccnumber for the three formatters' types; other for
// every other type, the all-zero one included.
TLA_API Tla_value_format tla_value_format(const krn::GUID& formatter_type);

// bytes: one field value as it stands in the input (UTF-8, not trimmed).
//
// When the value's tokens can be found without the codec, appends to out
// exactly what tla_append_field_tokens(out, crcs) appends for the crcs that
// value_token_crcs(formatter_type, <the value as UTF-16>) gives (a
// big-endian 16-bit count, then each CRC as a big-endian 64-bit number),
// sets token_count to the number of tokens and returns true. An empty or
// all-space value gives a count of 0 and no CRCs.
//
// Otherwise appends nothing, leaves token_count as it was and returns
// false; the caller then takes the codec path. That happens for the format
// other, for bytes that are not well-formed UTF-8, for a value that holds a
// character outside the Basic Multilingual Plane, a control or format
// character, a space other than U+0020, a combining mark, U+FFFD, or any
// character that normalisation may change, and for a value of more tokens
// than a field holds.
//
// Holds no state and allocates nothing itself (out may grow): any number of
// threads may call it at once.
TLA_API bool tla_shortcut_field_tokens(Tla_value_format format, const char* bytes, std::size_t length, std::string& out,
                               std::size_t& token_count);

}  // namespace tla

#endif
