#include <unicode/uidna.h>

#include <memory>

#include "enr/enr_encoding.h"
#include "enr/enr_status_codes.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"

namespace enr {

using krn::Krn_status;
using krn::Wstring;

namespace {

struct Idna_closer {
  void operator()(UIDNA* idna) const { uidna_close(idna); }
};

// Nontransitional processing, as current browsers and registries use: "ß"
// and the joiners stay themselves instead of being mapped away.
const UIDNA* idna(UErrorCode& error) {
  static UErrorCode open_error = U_ZERO_ERROR;
  static const std::unique_ptr<UIDNA, Idna_closer> instance(
      uidna_openUTS46(UIDNA_NONTRANSITIONAL_TO_ASCII | UIDNA_NONTRANSITIONAL_TO_UNICODE, &open_error));
  error = open_error;
  return instance.get();
}

using Idna_function = int32_t (*)(const UIDNA*, const UChar*, int32_t, UChar*, int32_t, UIDNAInfo*, UErrorCode*);

bool convert(Idna_function function, const Wstring& name, Wstring& result, Krn_status& status) {
  status.clear();
  result.clear();
  UErrorCode error = U_ZERO_ERROR;
  const UIDNA* converter = idna(error);
  if (U_FAILURE(error)) {
    krn::krn_translate_icu_error(error, status);
    return false;
  }
  UIDNAInfo info = UIDNA_INFO_INITIALIZER;
  const auto length = static_cast<int32_t>(name.size());
  Wstring output(name.size() * 4 + 16, u'\0');
  int32_t produced =
      function(converter, name.data(), length, output.data(), static_cast<int32_t>(output.size()), &info, &error);
  if (error == U_BUFFER_OVERFLOW_ERROR) {
    error = U_ZERO_ERROR;
    info = UIDNA_INFO_INITIALIZER;
    output.assign(static_cast<std::size_t>(produced), u'\0');
    produced = function(converter, name.data(), length, output.data(), produced, &info, &error);
  }
  if (U_FAILURE(error)) {
    krn::krn_translate_icu_error(error, status);
    return false;
  }
  if (info.errors != 0) {
    status.assign(ENR_E_DOMAIN_NAME, krn::Krn_wstring_status_arg(name));
    return false;
  }
  output.resize(static_cast<std::size_t>(produced));
  result.swap(output);
  return true;
}

}  // namespace

bool enr_idn_encode(const Wstring& name, Wstring& result, Krn_status& status) {
  return convert(uidna_nameToASCII, name, result, status);
}

bool enr_idn_decode(const Wstring& name, Wstring& result, Krn_status& status) {
  return convert(uidna_nameToUnicode, name, result, status);
}

}  // namespace enr
