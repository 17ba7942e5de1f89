#ifndef ENR_ENCODING_H
#define ENR_ENCODING_H

// Character encodings and their names. The built-in encodings have fixed
// values; every further converter that ICU offers is registered at load time
// under a negative value, so those values depend on the ICU data in use and
// must never be stored.
//
// Names are looked up normalised: lower case, without spaces, hyphens and
// underscores, so that "UTF-8", "utf_8" and "utf 8" are one name.

#include <cstdint>
#include <utility>
#include <vector>

#include "enr/enr_export.h"
#include "krn/krn_types.h"

namespace krn {
class Krn_status;
}

namespace utk {
class Utk_property_list;
}

namespace enr {

enum Enr_encoding : std::int32_t {
  ENR_US_ASCII = 0,
  ENR_ISO_8859_1 = 1,
  ENR_ISO_8859_2 = 2,
  ENR_ISO_8859_5 = 3,
  ENR_ISO_8859_7 = 4,
  ENR_ISO_8859_8 = 5,
  ENR_ISO_8859_9 = 6,
  ENR_WINDOWS_932 = 7,
  ENR_WINDOWS_936 = 8,
  ENR_WINDOWS_1250 = 9,
  ENR_WINDOWS_1251 = 10,
  ENR_WINDOWS_1252 = 11,
  ENR_WINDOWS_10000 = 12,
  ENR_UTF_7 = 13,
  ENR_UTF_8 = 14,
  ENR_SHIFT_JIS = 15,
  ENR_JIS_X0201 = 16,
  ENR_JIS_ROMAN = 17,
  ENR_JIS_KATAKANA = 18,
  ENR_ISO_IR_42 = 19,
  ENR_ISO_IR_87 = 20,
  ENR_JIS_X0208_1990 = 21,
  ENR_ISO_IR_159 = 22,
  ENR_GB2312 = 23,
  ENR_ISO_IR_149 = 24,
  ENR_ISO_2022_JP = 25,
  ENR_ISO_2022_JP_1 = 26,
  ENR_ISO_2022_JP_2 = 27,
  ENR_EUC_JP = 28,
  // The answer of every failed lookup.
  ENR_UNKNOWN_ENCODING = 30,
};

// The number of built-in encodings (values 0 to ENR_BUILT_IN_COUNT - 1).
inline constexpr std::int32_t ENR_BUILT_IN_COUNT = 29;

// The display name of an encoding; ENR_E_UNKNOWN_ENCODING (the value as an
// integer) and an empty name for a value that names none.
ENR_API krn::Wstring enr_display_name(Enr_encoding encoding, krn::Krn_status& status);
ENR_API void enr_display_name(Enr_encoding encoding, krn::Wstring& name, krn::Krn_status& status);
// The encoding of a name, alias or standard name; ENR_UNKNOWN_ENCODING and
// ENR_E_UNKNOWN_ENCODING (the name) when there is none.
ENR_API Enr_encoding enr_display_name(const krn::Wstring& name, krn::Krn_status& status);

// The form in which names are compared.
ENR_API krn::Wstring enr_normalise_name(const krn::Wstring& name);

// The display names of every known encoding, built-in ones first; the output
// is replaced.
ENR_API void enr_get_encodings(std::vector<krn::Wstring>& names);
// Every name registered for the encoding that name denotes (itself
// included), as first spelt; the output is replaced.
ENR_API void enr_get_encoding_aliases(const krn::Wstring& name, std::vector<krn::Wstring>& aliases,
                                      krn::Krn_status& status);

// Registers (alias, encoding name) pairs in order. Unless keep is set the
// name table is first rebuilt from ICU, dropping earlier registrations. An
// unknown encoding name ends the registration with ENR_E_UNKNOWN_ENCODING; an
// alias that names another encoding already is skipped with
// ENR_E_ALIAS_TAKEN. Must not run while other threads look names up.
ENR_API void enr_initialise(const std::vector<std::pair<krn::Wstring, krn::Wstring>>& aliases,
                            krn::Krn_status& status, bool keep = false);

// The encoding of a Windows code page; ENR_UNKNOWN_ENCODING and
// ENR_E_UNKNOWN_ENCODING for a code page without one.
ENR_API Enr_encoding enr_windows_lookup_cpg(unsigned code_page, krn::Krn_status& status);

// True, and value set, when the list holds a string property "ItemCharset"
// (the name compared case-sensitively).
ENR_API bool enr_extract_charset(const utk::Utk_property_list& properties, krn::Wstring& value);

// Internationalised domain names (UTS #46, nontransitional) to their ASCII
// form and back. False with ENR_E_DOMAIN_NAME when IDNA refuses the name;
// result is then empty.
ENR_API bool enr_idn_encode(const krn::Wstring& name, krn::Wstring& result, krn::Krn_status& status);
ENR_API bool enr_idn_decode(const krn::Wstring& name, krn::Wstring& result, krn::Krn_status& status);

}  // namespace enr

#endif
