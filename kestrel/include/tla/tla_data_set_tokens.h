#ifndef TLA_DATA_SET_TOKENS_H
#define TLA_DATA_SET_TOKENS_H

// The one step where the data set classes cut text into tokens. Stored
// records and searched values must be cut the same way, or a search finds
// nothing, so both go through here.

#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "tla/tla_export.h"
#include "krn/krn_types.h"

namespace krn {
class Krn_status;
}

namespace tla {

// Keeps one text format codec, and the buffer it reads from, for all the
// texts it cuts: making both afresh for each of millions of field values
// would cost more than cutting the values does.
class TLA_API Tla_token_cutter {
 public:
  Tla_token_cutter();
  ~Tla_token_cutter();
  Tla_token_cutter(const Tla_token_cutter&) = delete;
  Tla_token_cutter& operator=(const Tla_token_cutter&) = delete;

  // As text_token_crcs below.
  bool cut(const krn::Wstring& text, std::vector<std::uint64_t>& crcs, krn::Krn_status& status);
  // As value_token_crcs below: the one way a field value becomes its
  // tokens, for the records written and the values searched alike.
  bool cut_value(const krn::GUID& formatter_type, const krn::Wstring& value, std::vector<std::uint64_t>& crcs,
                 krn::Krn_status& status);
  // The same for a value as UTF-8 bytes (valid UTF-8).
  bool cut_value(const krn::GUID& formatter_type, const char* utf8, std::size_t length,
                 std::vector<std::uint64_t>& crcs, krn::Krn_status& status);

 private:
  struct Codec;

  // Trims m_trimmed, formats it into the codec's content, and cuts that.
  bool cut_trimmed(const krn::GUID& formatter_type, std::vector<std::uint64_t>& crcs, krn::Krn_status& status);
  // Cuts the codec's content as it stands.
  bool cut_content(std::vector<std::uint64_t>& crcs, krn::Krn_status& status);

  std::unique_ptr<Codec> m_codec;
  krn::Wstring m_trimmed;
};

// Replaces crcs by the form-0 CRCs of the text's tokens, in order. Returns
// false, with crcs empty, when the text yields no token view at all (an empty
// text does not); the status reports failures of the tokeniser.
TLA_API bool text_token_crcs(const krn::Wstring& text, std::vector<std::uint64_t>& crcs, krn::Krn_status& status);

// The same for a value as a field of the formatter type stores it: trimmed
// of white space at both ends, as the writer trims every value, then
// formatted (normalisation on). A type that names no formatter leaves the
// trimmed text as it is.
TLA_API bool value_token_crcs(const krn::GUID& formatter_type, const krn::Wstring& text, std::vector<std::uint64_t>& crcs,
                      krn::Krn_status& status);

// KRN_E_NO_MEMORY for std::bad_alloc, else KRN_E_STD_EXCEPTION with the
// exception's text.
TLA_API void tla_report_exception(const std::exception& error, krn::Krn_status& status);

}  // namespace tla

#endif
