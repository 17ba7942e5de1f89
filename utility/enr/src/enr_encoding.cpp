#include "enr/enr_encoding.h"

#include "enr/enr_status_codes.h"
#include "enr_name_table.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "utk/utk_property.h"

namespace enr {

using krn::Krn_int_status_arg;
using krn::Krn_status;
using krn::Krn_wstring_status_arg;
using krn::Wstring;

Wstring enr_normalise_name(const Wstring& name) {
  Wstring normalised;
  normalised.reserve(name.size());
  for (const char16_t unit : name) {
    if (unit == u' ' || unit == u'-' || unit == u'_') continue;
    normalised.push_back(unit);
  }
  krn::krn_lower(normalised);
  return normalised;
}

void enr_display_name(Enr_encoding encoding, Wstring& name, Krn_status& status) {
  status.clear();
  if (!detail::Name_table::instance().display_name(encoding, name)) {
    name.clear();
    status.assign(ENR_E_UNKNOWN_ENCODING, Krn_int_status_arg(encoding));
  }
}

Wstring enr_display_name(Enr_encoding encoding, Krn_status& status) {
  Wstring name;
  enr_display_name(encoding, name, status);
  return name;
}

Enr_encoding enr_display_name(const Wstring& name, Krn_status& status) {
  status.clear();
  const Enr_encoding encoding = detail::Name_table::instance().lookup(name);
  if (encoding == ENR_UNKNOWN_ENCODING) status.assign(ENR_E_UNKNOWN_ENCODING, Krn_wstring_status_arg(name));
  return encoding;
}

void enr_get_encodings(std::vector<Wstring>& names) { detail::Name_table::instance().display_names(names); }

void enr_get_encoding_aliases(const Wstring& name, std::vector<Wstring>& aliases, Krn_status& status) {
  aliases.clear();
  const Enr_encoding encoding = enr_display_name(name, status);
  if (!status.ok()) return;
  detail::Name_table::instance().aliases(encoding, aliases);
}

void enr_initialise(const std::vector<std::pair<Wstring, Wstring>>& aliases, Krn_status& status, bool keep) {
  status.clear();
  detail::Name_table& table = detail::Name_table::instance();
  if (!keep) table.rebuild();
  Krn_status lookup;
  for (const auto& [alias, encoding_name] : aliases) {
    const Enr_encoding encoding = enr_display_name(encoding_name, lookup);
    if (!lookup.ok()) {
      status = lookup;
      return;
    }
    if (table.add(alias, encoding) == detail::Name_table::TAKEN) {
      status.assign(ENR_E_ALIAS_TAKEN, Krn_wstring_status_arg(alias));
    }
  }
}

namespace {

// The names Windows code pages go by; code pages absent here have none.
const char* code_page_name(unsigned code_page) {
  switch (code_page) {
    case 0:
    case 1252:
    case 20127:
      return "windows-1252";
    case 437:
      return "windows-437";
    case 720:
      return "windows-720";
    case 850:
      return "windows-850";
    case 864:
      return "windows-864";
    case 874:
      return "windows-874";
    case 932:
      return "windows-932";
    case 936:
      return "GBK";
    case 949:
      return "windows-949";
    case 950:
      return "BIG5";
    case 1250:
      return "windows-1250";
    case 1251:
      return "windows-1251";
    case 1253:
      return "windows-1253";
    case 1254:
      return "windows-1254";
    case 1255:
      return "windows-1255";
    case 1256:
      return "windows-1256";
    case 1257:
      return "windows-1257";
    case 1258:
      return "windows-1258";
    case 1361:
      return "windows-1361";
    case 10000:
      return "windows-10000";
    case 10001:
      return "windows-10001";
    case 10003:
      return "windows-10003";
    case 10006:
      return "windows-10006";
    case 10007:
      return "windows-10007";
    case 10029:
      return "windows-10029";
    case 10081:
      return "windows-10081";
    case 57002:
      return "windows-57002";
    case 57003:
      return "windows-57003";
    case 57004:
      return "windows-57004";
    case 57005:
      return "windows-57005";
    case 57006:
      return "windows-57006";
    case 57007:
      return "windows-57007";
    case 57008:
      return "windows-57008";
    case 57009:
      return "windows-57009";
    case 57010:
      return "windows-57010";
    case 57011:
      return "windows-57011";
    case 65001:
      return "utf-8";
    default:
      return nullptr;
  }
}

}  // namespace

Enr_encoding enr_windows_lookup_cpg(unsigned code_page, Krn_status& status) {
  status.clear();
  const char* name = code_page_name(code_page);
  if (name == nullptr) {
    status.assign(ENR_E_UNKNOWN_ENCODING, Krn_int_status_arg(static_cast<krn::int64>(code_page)));
    return ENR_UNKNOWN_ENCODING;
  }
  Wstring wide;
  krn::krn_utf8_to_utf16(name, wide);
  return enr_display_name(wide, status);
}

bool enr_extract_charset(const utk::Utk_property_list& properties, Wstring& value) {
  const utk::Utk_property* charset = properties.find_cs("ItemCharset");
  if (charset == nullptr || charset->type() != utk::Utk_property::STRING) return false;
  value = charset->string_value();
  return true;
}

}  // namespace enr
