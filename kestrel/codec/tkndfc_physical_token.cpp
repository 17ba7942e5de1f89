#include "codec/tkndfc_format_codec.h"
#include "krn/krn_unicode.h"
#include "tkn/tkn_types.h"

namespace tkndfc {

namespace {

using krn::Char16;
using krn::int64;

bool is_high_surrogate(unsigned unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(unsigned unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The code point at unit offset at (a pair combined, a lone surrogate as it
// is) and the units it takes.
unsigned code_point_at(const Char16* text, std::size_t length, std::size_t at, std::size_t& units) {
  const unsigned unit = text[at];
  if (is_high_surrogate(unit) && at + 1 < length && is_low_surrogate(text[at + 1])) {
    units = 2;
    return 0x10000 + ((unit - 0xD800) << 10) + (text[at + 1] - 0xDC00u);
  }
  units = 1;
  return unit;
}

bool is_mark(unsigned code_point) { return krn::impl::krn_unicode_char_type(code_point) == krn::KRN_CP_MARK; }

// Moves at over count characters, passing the marks among them; counted
// tells how many there were before the text ended.
std::size_t skip_characters(const Char16* text, std::size_t length, std::size_t at, std::size_t count,
                            std::size_t& counted) {
  counted = 0;
  while (at < length && counted < count) {
    std::size_t units;
    if (!is_mark(code_point_at(text, length, at, units))) ++counted;
    at += units;
  }
  return at;
}

// Marks belong to the character before them: a boundary never separates
// them from it, or a redaction would leave part of the character readable.
std::size_t skip_marks(const Char16* text, std::size_t length, std::size_t at) {
  while (at < length) {
    std::size_t units;
    if (!is_mark(code_point_at(text, length, at, units))) break;
    at += units;
  }
  return at;
}

krn::Wstring repeated(unsigned code_point, std::size_t times) {
  krn::Wstring one;
  if (code_point > 0xFFFF) {
    one += static_cast<Char16>(0xD800 + ((code_point - 0x10000) >> 10));
    one += static_cast<Char16>(0xDC00 + ((code_point - 0x10000) & 0x3FF));
  } else {
    one += static_cast<Char16>(code_point);
  }
  krn::Wstring out;
  out.reserve(one.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += one;
  return out;
}

}  // namespace

Tkndfc_physical_token::Tkndfc_physical_token(unsigned type, const krn::Wstring& text, Tkndfc_text_view* view,
                                             krn::uint64 content_offset)
    : tkn::Tkn_physical_token(type, text, view), m_content_offset(content_offset) {}

Tkndfc_format_codec& Tkndfc_physical_token::codec() const {
  // Only a codec's view makes these tokens.
  return *static_cast<Tkndfc_text_view*>(view())->codec();
}

bool Tkndfc_physical_token::remove() {
  Tkndfc_format_codec& owner = codec();
  if (!owner.editable()) return false;
  return owner.m_patcher.add_delete(static_cast<int64>(m_content_offset),
                                    length(tkn::TKN_FORM_SOURCE) * sizeof(Char16));
}

bool Tkndfc_physical_token::modify(const krn::Wstring& replacement, const krn::Wstring& before,
                                   const krn::Wstring& after) {
  Tkndfc_format_codec& owner = codec();
  if (!owner.editable()) return false;
  if (replacement.empty() && before.empty() && after.empty()) return false;
  const int64 offset = static_cast<int64>(m_content_offset);
  const krn::uint64 bytes = length(tkn::TKN_FORM_SOURCE) * sizeof(Char16);
  bool result = true;
  if (!before.empty()) result = owner.m_patcher.add_insert(offset, before);
  if (result && !replacement.empty()) result = owner.m_patcher.add_edit(offset, bytes, replacement);
  if (result && !after.empty()) result = owner.m_patcher.add_insert(offset + static_cast<int64>(bytes), after);
  return result;
}

bool Tkndfc_physical_token::redact(std::size_t start, std::size_t count) {
  Tkndfc_format_codec& owner = codec();
  if (!owner.editable()) return false;
  const Char16* text = this->text(tkn::TKN_FORM_SOURCE);
  const std::size_t length = this->length(tkn::TKN_FORM_SOURCE);

  std::size_t counted;
  const std::size_t from = skip_marks(text, length, skip_characters(text, length, 0, start, counted));
  if (from >= length) return true;
  // Count 0 reaches to the end of the text, however many characters it has.
  const std::size_t wanted = count == 0 ? length : count;
  const std::size_t to = skip_marks(text, length, skip_characters(text, length, from, wanted, counted));
  if (to == from) return true;

  const krn::Wstring mask = repeated(view()->get_redaction_character(), counted);
  return owner.m_patcher.add_edit(static_cast<int64>(m_content_offset + from * sizeof(Char16)),
                                  (to - from) * sizeof(Char16), mask);
}

}  // namespace tkndfc
