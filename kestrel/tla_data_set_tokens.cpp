#include "tla/tla_data_set_tokens.h"

#include <exception>
#include <memory>
#include <new>

#include "codec/dff_facets.h"
#include "codec/tkndfc_format_codec.h"
#include "krn/krn_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_string.h"
#include "tkn/tkn_text_view.h"
#include "tkn/tkn_token.h"
#include "tkn/tkn_types.h"
#include "tla/tla_formatter.h"

namespace tla {

// The content string is refilled for each text; the buffer over it stays,
// and attaching it again drops everything the codec knew of the last text.
struct Tla_token_cutter::Codec {
  Codec() : buffer(content), codec(&facets, nullptr, nullptr, false) {}

  const dfc::Dfc_facet_set facets{dff::DFF_TEXT_FACET_ID};
  krn::Wstring content;
  krn::Krn_wstring_buffer buffer;
  tkndfc::Tkndfc_format_codec codec;
};

Tla_token_cutter::Tla_token_cutter() : m_codec(std::make_unique<Codec>()) {}

Tla_token_cutter::~Tla_token_cutter() = default;

namespace {

// Scratch strings keep their room from value to value, except the room a
// rare huge value took.
constexpr std::size_t KEPT_UNITS = 1 << 20;

void let_go_if_huge(krn::Wstring& text) {
  if (text.capacity() > KEPT_UNITS) krn::Wstring().swap(text);
}

}  // namespace

bool Tla_token_cutter::cut(const krn::Wstring& text, std::vector<std::uint64_t>& crcs, krn::Krn_status& status) {
  m_codec->content = text;
  return cut_content(crcs, status);
}

bool Tla_token_cutter::cut_content(std::vector<std::uint64_t>& crcs, krn::Krn_status& status) {
  status.clear();
  crcs.clear();
  try {
    m_codec->codec.attach(&m_codec->buffer, status);
    if (!status.ok()) return false;
    unsigned cookie = 0;
    const tkn::Tkn_text_view* view = m_codec->codec.view(0, cookie);
    if (view == nullptr) return false;
    for (const tkn::Tkn_token* token = view->cfront(); token != nullptr; token = token->next()) {
      crcs.push_back(token->crc(tkn::TKN_FORM_SOURCE));
    }
  } catch (const std::exception& error) {
    // The tokeniser failed, or the text needs more tokens than a codec can
    // make.
    crcs.clear();
    tla_report_exception(error, status);
    return false;
  }
  return true;
}

bool text_token_crcs(const krn::Wstring& text, std::vector<std::uint64_t>& crcs, krn::Krn_status& status) {
  Tla_token_cutter cutter;
  return cutter.cut(text, crcs, status);
}

bool Tla_token_cutter::cut_value(const krn::GUID& formatter_type, const krn::Wstring& value,
                                 std::vector<std::uint64_t>& crcs, krn::Krn_status& status) {
  m_trimmed = value;
  return cut_trimmed(formatter_type, crcs, status);
}

bool Tla_token_cutter::cut_value(const krn::GUID& formatter_type, const char* utf8, std::size_t length,
                                 std::vector<std::uint64_t>& crcs, krn::Krn_status& status) {
  m_trimmed.clear();
  krn::krn_string_append(m_trimmed, utf8, length);
  return cut_trimmed(formatter_type, crcs, status);
}

bool Tla_token_cutter::cut_trimmed(const krn::GUID& formatter_type, std::vector<std::uint64_t>& crcs,
                                   krn::Krn_status& status) {
  // Without the trim a search for " Smith" would miss the record whose
  // field held " Smith": the writer stores the tokens of "Smith".
  krn::krn_trim(m_trimmed);
  // A field of an old data set may name a formatter this program does not
  // know. Its tokens are then those of the value as it stands.
  const Tla_formatter_base* formatter = shared_formatter(formatter_type);
  if (formatter) {
    formatter->format(m_trimmed, m_codec->content, false);
  } else {
    m_codec->content.swap(m_trimmed);
  }
  // Each step's text goes as soon as the next one has it: a value of tens of
  // megabytes is held about twice at a time, not four times.
  let_go_if_huge(m_trimmed);
  const bool cut = cut_content(crcs, status);
  let_go_if_huge(m_codec->content);
  return cut;
}

bool value_token_crcs(const krn::GUID& formatter_type, const krn::Wstring& text, std::vector<std::uint64_t>& crcs,
                      krn::Krn_status& status) {
  Tla_token_cutter cutter;
  return cutter.cut_value(formatter_type, text, crcs, status);
}

void tla_report_exception(const std::exception& error, krn::Krn_status& status) {
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
    status = krn::KRN_E_NO_MEMORY;
    return;
  }
  krn::Wstring text;
  krn::krn_utf8_to_utf16(error.what(), text);
  status.assign(krn::KRN_E_STD_EXCEPTION, krn::Krn_wstring_status_arg(text));
}

}  // namespace tla
