#include "tla_data_set_tokens.h"

#include <exception>
#include <memory>
#include <new>

#include "codec/dff_facets.h"
#include "codec/tkndfc_format_codec.h"
#include "krn/krn_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "tkn/tkn_text_view.h"
#include "tkn/tkn_token.h"
#include "tkn/tkn_types.h"
#include "tla_formatter.h"

namespace tla {

bool text_token_crcs(const krn::Wstring& text, std::vector<std::uint64_t>& crcs, krn::Krn_status& status) {
  status.clear();
  crcs.clear();
  // The buffer may be written through, so it gets a copy of its own.
  krn::Wstring content = text;
  krn::Krn_wstring_buffer buffer(content);
  const dfc::Dfc_facet_set facets{dff::DFF_TEXT_FACET_ID};
  tkndfc::Tkndfc_format_codec codec(&facets, nullptr, nullptr, false);
  codec.attach(&buffer, status);
  if (!status.ok()) return false;
  try {
    unsigned cookie = 0;
    const tkn::Tkn_text_view* view = codec.view(0, cookie);
    if (view == nullptr) return false;
    for (const tkn::Tkn_token* token = view->cfront(); token != nullptr; token = token->next()) {
      crcs.push_back(token->crc(tkn::TKN_FORM_SOURCE));
    }
  } catch (const std::bad_alloc&) {
    crcs.clear();
    status = krn::KRN_E_NO_MEMORY;
    return false;
  } catch (const std::exception& error) {
    // The tokeniser failed, or the value needs more tokens than a codec
    // can make.
    crcs.clear();
    status.assign(krn::KRN_E_STD_EXCEPTION, krn::Krn_wstring_status_arg(std::string(error.what())));
    return false;
  }
  return true;
}

bool value_token_crcs(const krn::GUID& formatter_type, const krn::Wstring& text, std::vector<std::uint64_t>& crcs,
                      krn::Krn_status& status) {
  const std::unique_ptr<Tla_formatter_base> formatter(create_formatter(formatter_type));
  if (!formatter) return text_token_crcs(text, crcs, status);
  krn::Wstring formatted;
  formatter->format(text, formatted, false);
  return text_token_crcs(formatted, crcs, status);
}

}  // namespace tla
