#include "enr_name_table.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <unordered_map>

#include "krn/krn_string.h"

namespace enr::detail {

using krn::Wstring;

namespace {

constexpr const char* BUILT_IN_NAMES[ENR_BUILT_IN_COUNT] = {
    "us-ascii",       "iso-8859-1",   "iso-8859-2",    "iso-8859-5",   "iso-8859-7",    "iso-8859-8",
    "iso-8859-9",     "windows-932",  "windows-936",   "windows-1250", "windows-1251",  "windows-1252",
    "windows-10000",  "utf-7",        "utf-8",         "Shift_JIS",    "JIS_X0201",     "JIS/Roman",
    "JIS/Katakana",   "iso-ir-42",    "iso-ir-87",     "JIS_X0208-1990", "iso-ir-159",  "GB2312",
    "iso-ir-149",     "iso-2022-jp",  "iso-2022-jp-1", "iso-2022-jp-2", "EUC-JP",
};

constexpr const char* STANDARDS[] = {"MIME", "IANA", "WINDOWS"};

Wstring widen(const char* name) {
  Wstring wide;
  krn::krn_utf8_to_utf16(name, wide);
  return wide;
}

// The converter ICU opens for a name, or null when it knows none.
const char* icu_converter_of(const char* name) {
  UErrorCode error = U_ZERO_ERROR;
  const char* converter = ucnv_getAlias(name, 0, &error);
  return U_FAILURE(error) ? nullptr : converter;
}

bool resolves_to(const char* name, const std::string& converter) {
  const char* resolved = icu_converter_of(name);
  return resolved != nullptr && converter == resolved;
}

// Every name of a converter that ICU itself would resolve to it: an alias
// that ICU gives to several converters belongs to the one ICU opens for it.
std::vector<std::string> names_of(const char* converter) {
  std::vector<std::string> names{converter};
  UErrorCode error = U_ZERO_ERROR;
  const uint16_t count = ucnv_countAliases(converter, &error);
  for (uint16_t i = 0; U_SUCCESS(error) && i < count; ++i) {
    const char* alias = ucnv_getAlias(converter, i, &error);
    if (U_SUCCESS(error) && alias != nullptr) names.emplace_back(alias);
  }
  for (const char* standard : STANDARDS) {
    error = U_ZERO_ERROR;
    const char* name = ucnv_getStandardName(converter, standard, &error);
    if (U_SUCCESS(error) && name != nullptr) names.emplace_back(name);
  }
  std::vector<std::string> owned;
  for (const std::string& name : names) {
    if (resolves_to(name.c_str(), converter)) owned.push_back(name);
  }
  return owned;
}

// A converter's display name: its MIME, IANA or Windows name where ICU maps
// that name back to it (people know "windows-1253", not
// "ibm-5349_P100-1998", and "windows-874", not "windows-874-2000"),
// otherwise the converter's own name. Registry names are written in lower
// case, as the built-in names mostly are ("koi8-r", "utf-16be"), so that
// answers read alike.
std::string display_name_of(const char* converter) {
  for (const char* standard : {"MIME", "IANA", "WINDOWS"}) {
    UErrorCode error = U_ZERO_ERROR;
    const char* name = ucnv_getStandardName(converter, standard, &error);
    if (U_SUCCESS(error) && name != nullptr && resolves_to(name, converter)) {
      std::string lower = name;
      std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
      return lower;
    }
  }
  return converter;
}

}  // namespace

Name_table& Name_table::instance() {
  static Name_table table;
  return table;
}

void Name_table::rebuild() {
  std::unique_lock lock(m_lock);
  m_names.clear();
  m_added.clear();

  // The built-in names come first, so that no ICU alias can take them. Of
  // built-in encodings that ICU converts alike (windows-932 and Shift_JIS),
  // the one the converter's MIME name names gets its aliases.
  std::unordered_map<std::string, Enr_encoding> built_in_converters;
  for (std::int32_t value = 0; value < ENR_BUILT_IN_COUNT; ++value) {
    const auto encoding = static_cast<Enr_encoding>(value);
    const Wstring name = widen(BUILT_IN_NAMES[value]);
    add_locked(name, encoding);
    const char* converter = icu_converter_of(BUILT_IN_NAMES[value]);
    if (converter == nullptr) continue;
    UErrorCode error = U_ZERO_ERROR;
    const char* mime = ucnv_getStandardName(converter, "MIME", &error);
    const bool named_by_mime =
        U_SUCCESS(error) && mime != nullptr && enr_normalise_name(widen(mime)) == enr_normalise_name(name);
    if (named_by_mime) {
      built_in_converters.insert_or_assign(converter, encoding);
    } else {
      built_in_converters.emplace(converter, encoding);
    }
  }

  const std::int32_t count = ucnv_countAvailable();
  for (std::int32_t i = 0; i < count; ++i) {
    const char* converter = ucnv_getAvailableName(i);
    if (converter == nullptr) continue;
    Enr_encoding encoding;
    if (const auto found = built_in_converters.find(converter); found != built_in_converters.end()) {
      encoding = found->second;
    } else {
      Wstring display = widen(display_name_of(converter).c_str());
      // A display name must find its own encoding again.
      if (const auto taken = m_names.find(enr_normalise_name(display)); taken != m_names.end()) {
        display = widen(converter);
      }
      m_added.push_back(display);
      encoding = static_cast<Enr_encoding>(-static_cast<std::int32_t>(m_added.size()));
      add_locked(display, encoding);
    }
    for (const std::string& name : names_of(converter)) add_locked(widen(name.c_str()), encoding);
  }
}

Name_table::Add_result Name_table::add_locked(const Wstring& name, Enr_encoding encoding) {
  const auto [position, inserted] = m_names.try_emplace(enr_normalise_name(name), Entry{encoding, name});
  if (inserted) return ADDED;
  return position->second.encoding == encoding ? ALREADY_THERE : TAKEN;
}

Name_table::Add_result Name_table::add(const Wstring& name, Enr_encoding encoding) {
  std::unique_lock lock(m_lock);
  return add_locked(name, encoding);
}

Enr_encoding Name_table::lookup(const Wstring& name) const {
  std::shared_lock lock(m_lock);
  const auto found = m_names.find(enr_normalise_name(name));
  return found == m_names.end() ? ENR_UNKNOWN_ENCODING : found->second.encoding;
}

bool Name_table::known(Enr_encoding encoding) const {
  const std::int32_t value = encoding;
  if (value >= 0) return value < ENR_BUILT_IN_COUNT;
  return static_cast<std::size_t>(-static_cast<std::int64_t>(value)) <= m_added.size();
}

bool Name_table::display_name(Enr_encoding encoding, Wstring& name) const {
  std::shared_lock lock(m_lock);
  if (!known(encoding)) return false;
  const std::int32_t value = encoding;
  name = value >= 0 ? widen(BUILT_IN_NAMES[value]) : m_added[static_cast<std::size_t>(-(value + 1))];
  return true;
}

void Name_table::display_names(std::vector<Wstring>& names) const {
  std::shared_lock lock(m_lock);
  names.clear();
  for (const char* name : BUILT_IN_NAMES) names.push_back(widen(name));
  names.insert(names.end(), m_added.begin(), m_added.end());
}

void Name_table::aliases(Enr_encoding encoding, std::vector<Wstring>& names) const {
  std::shared_lock lock(m_lock);
  names.clear();
  for (const auto& [key, entry] : m_names) {
    if (entry.encoding == encoding) names.push_back(entry.spelling);
  }
}

std::string converter_name(Enr_encoding encoding) {
  // GBK is a superset of GB2312, and text labelled GB2312 routinely uses it.
  if (encoding == ENR_GB2312) return "GBK";
  Wstring name;
  if (!Name_table::instance().display_name(encoding, name)) return {};
  std::string narrow;
  krn::krn_utf16_to_utf8(name, narrow);
  return narrow;
}

}  // namespace enr::detail
