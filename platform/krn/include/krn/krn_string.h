#ifndef KRN_STRING_H
#define KRN_STRING_H

// String conversions, comparisons, case, trimming, XML escaping and numbers.
//
// System text is UTF-16 (Wstring); narrow text is UTF-8 unless a function
// says Latin-1. Malformed input never fails: an unpaired surrogate or a bad
// UTF-8 sequence reads as U+FFFD. Functions taking a pointer stop at its
// terminating zero; functions taking a string object cover its whole length.

#include <string>

#include "krn/krn_cwstring.h"
#include "krn/krn_types.h"
#include "krn/krn_unicode.h"

namespace krn {

class Krn_buffer;
class Krn_istream;
class Krn_ostream;
class Krn_status;

// ---- Conversions -----------------------------------------------------------

// Latin-1 widening: each byte becomes the unit of the same value.
KRN_API void krn_stow(const std::string& in, Wstring& out);
// Latin-1 narrowing: units below 256 become that byte, every other unit "?";
// with strict, a unit other than U+FFFD that does not fit throws
// std::logic_error and out is left as it was.
KRN_API void krn_wtos(const Wstring& in, std::string& out, bool strict = false);

// The output is replaced; a null input gives an empty output.
KRN_API void krn_utf16_to_utf8(const wchar16* in, std::string& out);
KRN_API void krn_utf16_to_utf8(const Wstring& in, std::string& out);
KRN_API void krn_utf8_to_utf16(const char* in, Wstring& out);
KRN_API void krn_utf8_to_utf16(const char* in, size_t length, Wstring& out);
KRN_API void krn_utf8_to_utf16(const std::string& in, Wstring& out);

KRN_API void krn_utf16_to_utf32(const wchar16* in, std::u32string& out);
KRN_API void krn_utf8_to_utf32(const char* in, std::u32string& out);
// Values above U+10FFFF are written as U+FFFD.
KRN_API void krn_utf32_to_utf16(const char32_t* in, Wstring& out);
KRN_API void krn_utf32_to_utf8(const char32_t* in, std::string& out);

// Appending conversions; a null input appends nothing.
KRN_API void krn_string_append(Wstring& out, const char* utf8);
KRN_API void krn_string_append(Wstring& out, const char* utf8, size_t length);
KRN_API void krn_string_append(std::string& out, const wchar16* utf16);
// Appends 1 to 4 bytes; a value above U+10FFFF appends U+FFFD.
KRN_API void krn_string_append(std::string& out, unsigned code_point);

// The same over streams: the rest of the input is converted, zero units
// included; UTF-16 is in host byte order. An odd last byte reads as U+FFFD.
KRN_API void krn_utf16_to_utf8(Krn_istream& in, Krn_ostream& out, Krn_status& status);
KRN_API void krn_utf8_to_utf16(Krn_istream& in, Krn_ostream& out, Krn_status& status);

// The code point at index; index moves past it (1 or 2 units, 1 to 4 bytes).
// At the terminator, for a null s, or with index already KRN_NPOS, returns 0
// and sets index to KRN_NPOS.
KRN_API unsigned krn_utf16_to_utf32_char(const wchar16* s, size_t& index);
KRN_API unsigned krn_utf8_to_utf32_char(const char* s, size_t& index);

// The byte length of the sequence the lead byte starts (1 for a byte that
// cannot start one, which reads as U+FFFD on its own).
KRN_API unsigned krn_utf_8_character_length(unsigned char lead);

// ---- Comparisons -----------------------------------------------------------

// The signed difference of the first differing code points, 0 when equal. A
// null pointer compares as an empty string. The _nc forms fold each code point
// to lower case first.
KRN_API int krn_utf16_compare(const wchar16* a, const wchar16* b);
KRN_API int krn_utf8_compare(const char* a, const char* b);
KRN_API int krn_utf16_utf8_compare(const wchar16* a, const char* b);
KRN_API int krn_utf8_utf16_compare(const char* a, const wchar16* b);
KRN_API int krn_utf16_compare_nc(const wchar16* a, const wchar16* b);
KRN_API int krn_utf8_compare_nc(const char* a, const char* b);
KRN_API int krn_utf16_utf8_compare_nc(const wchar16* a, const char* b);
KRN_API int krn_utf8_utf16_compare_nc(const char* a, const wchar16* b);

// Unit by unit; a null pointer equals an empty string.
KRN_API bool krn_string_equal(const wchar16* a, const wchar16* b);

// The index (in units or bytes) of the first match at or after start, ignoring
// case; KRN_NPOS when there is none.
KRN_API size_t krn_string_find_nc(const Wstring& text, const Wstring& what, size_t start = 0);
KRN_API size_t krn_string_find_nc(const std::string& text, const std::string& what, size_t start = 0);
// strstr ignoring case: a pointer into text, or null.
KRN_API const wchar16* krn_stristr(const wchar16* text, const wchar16* what);
KRN_API const char* krn_stristr(const char* text, const char* what);

// Wildcard match of the whole text: '*' matches any run of code points, '?'
// exactly one.
KRN_API bool krn_string_match(const Wstring& text, const Wstring& pattern);
KRN_API bool krn_string_match(const std::string& text, const std::string& pattern);
KRN_API bool krn_string_match_nc(const Wstring& text, const Wstring& pattern);
KRN_API bool krn_string_match_nc(const std::string& text, const std::string& pattern);

// ---- Case and normalisation ------------------------------------------------

KRN_API unsigned krn_lower(unsigned code_point);
KRN_API unsigned krn_upper(unsigned code_point);
// In place, code point by code point; the string grows or shrinks where a
// mapping needs a different number of units.
KRN_API void krn_lower(Wstring& text);
KRN_API void krn_upper(Wstring& text);
KRN_API void krn_lower(const Wstring& in, Wstring& out);
KRN_API void krn_upper(const Wstring& in, Wstring& out);
// Narrow forms: byte by byte, by the C library.
KRN_API void krn_lower(std::string& text);
KRN_API void krn_upper(std::string& text);
KRN_API void krn_lower(const std::string& in, std::string& out);
KRN_API void krn_upper(const std::string& in, std::string& out);

// True when the text has at least one letter of the case and none of the
// other.
KRN_API bool krn_is_lower(const Wstring& text);
KRN_API bool krn_is_upper(const Wstring& text);

// Unicode compatibility composition (NFKC). On failure out is empty and the
// status holds the translated ICU error.
KRN_API void krn_normalize(const Wstring& in, Wstring& out, Krn_status& status);
// True if NFKC may change the text; false means it certainly does not (code
// points above U+2FFFF are not examined).
KRN_API bool krn_can_normalize(const Wstring& text);

// Maps an ICU error code (UErrorCode) to a status; 0 clears the status.
KRN_API void krn_translate_icu_error(int code, Krn_status& status);

// ---- Classification, trimming and quoting ----------------------------------

KRN_API bool krn_is_space(wchar16 unit);
KRN_API bool krn_is_space(char c);

// Empty, or space only.
KRN_API bool krn_is_blank(const Wstring& text);
KRN_API bool krn_is_blank(const std::string& text);
// After leading space, at least one character and nothing but letters and
// marks.
KRN_API bool krn_is_alpha(const Wstring& text);
KRN_API bool krn_is_alpha(const std::string& utf8);

KRN_API void krn_trim(Wstring& text);
KRN_API void krn_trim_leading(Wstring& text);
KRN_API void krn_trim_trailing(Wstring& text);
KRN_API void krn_trim_leading_chars(Wstring& text, wchar16 unit);
KRN_API void krn_trim_trailing_chars(Wstring& text, wchar16 unit);
// Removes every space unit, wherever it is.
KRN_API void krn_trim_all(Wstring& text);
// Removes every control unit (U+0000..U+001F, U+007F..U+009F).
KRN_API void krn_trim_all_ctrl(Wstring& text);
// Removes leading byte-order marks (U+FEFF).
KRN_API void krn_trim_unicode_leading(Wstring& text);

KRN_API void krn_trim(std::string& text);
KRN_API void krn_trim_leading(std::string& text);
KRN_API void krn_trim_trailing(std::string& text);
KRN_API void krn_trim_leading_chars(std::string& text, char c);
KRN_API void krn_trim_trailing_chars(std::string& text, char c);
KRN_API void krn_trim_all(std::string& text);
KRN_API void krn_trim_all_ctrl(std::string& text);
// Removes leading UTF-8 byte-order marks (EF BB BF).
KRN_API void krn_trim_unicode_leading(std::string& text);

// Drops a double quote that has no partner at the other end: true, and out
// holds the rest; otherwise out is empty and the result false.
KRN_API bool krn_strip_unmatched_quotes(const Wstring& in, Wstring& out);
KRN_API bool krn_strip_unmatched_quotes(const std::string& in, std::string& out);
// Encloses in double quotes.
KRN_API void krn_quote(const Wstring& in, Wstring& out);
KRN_API void krn_quote(Wstring& text);
// Removes one pair of enclosing double quotes; false (text unchanged) when
// the text is not enclosed.
KRN_API bool krn_unquote(Wstring& text);
KRN_API bool krn_unquote(std::string& text);
// Removes every double quote at either end.
KRN_API void krn_strip_quotes(Wstring& text);
KRN_API void krn_strip_quotes(std::string& text);

// ---- XML attribute escaping ------------------------------------------------

// Control units below 0x1F become a backslash and the unit plus 96, 0x1F a
// backslash and "_"; with escape_backslash a backslash is doubled.
KRN_API void krn_wstring_to_xml(const Wstring& in, Wstring& out, bool escape_backslash);
KRN_API void krn_wstring_to_xml(Wstring& text, bool escape_backslash);
// The inverse. A backslash followed by something that no escape produces is
// kept as it is; one at the very end is dropped.
KRN_API void krn_wstring_from_xml(const Wstring& in, Wstring& out);
KRN_API void krn_string_to_xml(const std::string& in, std::string& out, bool escape_backslash);
KRN_API void krn_string_from_xml(const std::string& in, std::string& out);

// ---- Numbers ---------------------------------------------------------------

// Digits "0123456789abcdef"; radix 2 to 16 (others throw
// std::invalid_argument). With format and radix 10 the digits are grouped as
// the C locale's LC_NUMERIC says. The output is replaced.
KRN_API void krn_itow(int64 value, Wstring& out, unsigned short radix = 10, bool format = false);
KRN_API void krn_itow(uint64 value, Wstring& out, unsigned short radix = 10, bool format = false);
KRN_API void krn_itos(int64 value, std::string& out, unsigned short radix = 10, bool format = false);
KRN_API void krn_itos(uint64 value, std::string& out, unsigned short radix = 10, bool format = false);
// Plain int and unsigned would be ambiguous between the two overloads.
inline void krn_itow(int value, Wstring& out, unsigned short radix = 10, bool format = false) {
  krn_itow(static_cast<int64>(value), out, radix, format);
}
inline void krn_itow(unsigned value, Wstring& out, unsigned short radix = 10, bool format = false) {
  krn_itow(static_cast<uint64>(value), out, radix, format);
}
inline void krn_itos(int value, std::string& out, unsigned short radix = 10, bool format = false) {
  krn_itos(static_cast<int64>(value), out, radix, format);
}
inline void krn_itos(unsigned value, std::string& out, unsigned short radix = 10, bool format = false) {
  krn_itos(static_cast<uint64>(value), out, radix, format);
}

// strtoll in base 10: leading white space, optional sign, digits up to the
// first non-digit; 0 when there are none; clamped at the int64 limits.
KRN_API int64 krn_wtoi64(const Wstring& text);
KRN_API int64 krn_stoi64(const std::string& text);
// Throws std::invalid_argument unless krn_is_int32 accepts the text.
KRN_API int krn_wtoi32(const Wstring& text);

// Leading space, then for radix 16 an optional "0x", otherwise an optional
// sign, then one or more digits (a-f and A-F too for radix 16); nothing after.
KRN_API bool krn_is_number(const Wstring& text, unsigned short radix = 10);
KRN_API bool krn_is_number(const std::string& text, unsigned short radix = 10);
// A decimal number that fits in 32 bits (signed).
KRN_API bool krn_is_int32(const Wstring& text);
KRN_API bool krn_is_int32(const std::string& text);

// ---- Encoding recognition --------------------------------------------------

// result_flags: bit 0 the result, bit 1 little-endian, bit 2 a byte-order
// mark was found. Both wait for a writer to finish and give false for a null
// or empty buffer.
//
// UTF-16: the size must be even. Code points that text does not hold
// (unassigned, unpaired surrogates, controls other than TAB, LF, VT, FF and
// CR) count against each byte order; an order fits while its count stays
// within tolerance_percent of the units. A byte-order mark decides the order
// and is the only order judged. Without one, bytes that are all ASCII text
// (which pair up into valid CJK code points) are not taken for UTF-16, nor is
// anything starting with the UTF-8 mark.
KRN_API bool krn_is_utf16(const Krn_buffer* buffer, unsigned short tolerance_percent, unsigned char& result_flags,
                          Krn_status& status);
// UTF-8: strictly well-formed (shortest forms, no surrogates, nothing above
// U+10FFFF, not cut off at the end) and without zero bytes. ascii_only is
// set when the content is also plain ASCII.
KRN_API bool krn_is_utf8(const Krn_buffer* buffer, unsigned char& result_flags, bool& ascii_only, Krn_status& status);

// ---- Other -----------------------------------------------------------------

// h = h * 33 + c over the code points from 5381, in 32 bits; the magnitude of
// h read as a signed 32-bit number.
KRN_API unsigned krn_string_hash(const char* utf8);
KRN_API unsigned krn_string_hash(const wchar16* text);
KRN_API unsigned krn_string_hash_nc(const char* utf8);
KRN_API unsigned krn_string_hash_nc(const wchar16* text);

// The number of code points; 0 for a null pointer.
KRN_API size_t krn_string_length(const char* utf8);
KRN_API size_t krn_string_length(const wchar16* text);

KRN_API void krn_extract_uuid_le(GUID& out, const GUID& in);
// Reverses the byte order of the first three groups.
KRN_API void krn_extract_uuid_be(GUID& out, const GUID& in);

}  // namespace krn

#endif
