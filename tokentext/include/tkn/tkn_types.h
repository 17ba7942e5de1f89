#ifndef TKN_TYPES_H
#define TKN_TYPES_H

// The values every part of the token library agrees on: token types, text
// forms, and the string-table entry that tokens point at.

#include <cstddef>
#include <cstdint>
#include <utility>

#include "krn/krn_types.h"
#include "tkn/tkn_export.h"

namespace tkn {

// Token types. A physical token accepts any value inside
// TKN_TOKEN_TYPE_BITS; the tokeniser and the text table use exactly these
// five. Virtual tokens use free bit masks of their creator's choosing.
inline constexpr unsigned TKN_TOKEN_WHITESPACE = 0x01000001;
inline constexpr unsigned TKN_TOKEN_WORD = 0x01000002;
inline constexpr unsigned TKN_TOKEN_NUMBER = 0x01000004;
inline constexpr unsigned TKN_TOKEN_PUNCTUATION = 0x01000008;
inline constexpr unsigned TKN_TOKEN_SYMBOL = 0x01000012;
inline constexpr unsigned TKN_TOKEN_TYPE_BITS = 0x0100001F;

// Text forms. Form 2 selects the lower-case entry, forms 1 and 3 the
// normalised one, anything else the source; only a few token operations give
// form 3 (the redacted text) a meaning of its own.
using Tkn_text_form = unsigned;
inline constexpr Tkn_text_form TKN_FORM_SOURCE = 0;
inline constexpr Tkn_text_form TKN_FORM_NORMALISED = 1;
inline constexpr Tkn_text_form TKN_FORM_LOWER = 2;
inline constexpr Tkn_text_form TKN_FORM_SAFE = 3;

// Which of a text's three stored entries a form reads.
constexpr unsigned tkn_form_index(Tkn_text_form form) {
  return form == TKN_FORM_LOWER ? 2u : (form == TKN_FORM_NORMALISED || form == TKN_FORM_SAFE) ? 1u : 0u;
}

using Tkn_view_type = unsigned;

// An interned string: NUL-terminated UTF-16 in table storage. length is the
// number of units before the first NUL (equal to size unless the text holds
// a NUL); it is worked out when the string is stored, so that readers on
// several threads never write to a shared entry.
struct Tkn_string {
  const krn::Char16* text;
  std::size_t size;
  std::size_t length;
};

// A string-table entry: the string's 64-bit CRC key and the string. Entries
// never move while their table lives, so tokens keep pointers to them and
// compare texts by comparing those pointers.
using Tkn_string_entry = std::pair<const krn::uint64, Tkn_string>;

// The CRC-64 key of a string: its UTF-16 units as little-endian bytes,
// without terminator, from initial value 42.
TKN_API krn::uint64 tkn_string_key(const krn::Char16* units, std::size_t size);
inline krn::uint64 tkn_string_key(const krn::Wstring& text) { return tkn_string_key(text.data(), text.size()); }

// The key of the empty string (the complement of 42).
inline constexpr krn::uint64 TKN_EMPTY_STRING_KEY = 0xFFFFFFFFFFFFFFD5ull;

class Tkn_text;
class Tkn_string_table;
class Tkn_text_table;
class Tkn_token;
class Tkn_physical_token;
class Tkn_wrapping_token;
class Tkn_virtual_token;
class Tkn_irregular_virtual_token;
class Tkn_token_character_iterator;
class Tkn_text_view;
class Tkn_container_text_view;
class Tkn_view_processor;

}  // namespace tkn

#endif
