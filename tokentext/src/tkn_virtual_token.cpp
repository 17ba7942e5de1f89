#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <utility>

#include "tkn/tkn_text_view.h"
#include "tkn/tkn_token.h"
#include "tkn_utf16.h"

namespace tkn {
namespace {

// Physical tokens are the only members of a view's chain.
Tkn_physical_token* next_physical(const Tkn_physical_token* token) { return static_cast<Tkn_physical_token*>(token->next()); }

void check_span(const Tkn_text_view* view, const Tkn_physical_token* first, const Tkn_physical_token* last) {
  if (view == nullptr) throw std::invalid_argument("Tkn_token::Tkn_token - view_p is null");
  if (first == nullptr) throw std::invalid_argument("Tkn_token::Tkn_token - first_p is null");
  if (last == nullptr) throw std::invalid_argument("Tkn_token::Tkn_token - last_p is null");
  for (const Tkn_physical_token* p = first; p != last; p = next_physical(p)) {
    if (p == nullptr) throw std::invalid_argument("Tkn_token::Tkn_token - last_p does not follow first_p");
  }
}

// Source texts and trailers of first..last, without last's trailer.
krn::Wstring span_text(Tkn_text_view* view, Tkn_physical_token* first, Tkn_physical_token* last) {
  check_span(view, first, last);
  krn::Wstring text;
  for (Tkn_physical_token* p = first;; p = next_physical(p)) {
    text.append(p->text(TKN_FORM_SOURCE), p->length(TKN_FORM_SOURCE));
    if (p == last) break;
    text.append(p->trailer_text(TKN_FORM_SOURCE), p->trailer_length(TKN_FORM_SOURCE));
  }
  return text;
}

// A token's text followed by its trailer, in one form.
krn::Wstring text_and_trailer(const Tkn_token* token, Tkn_text_form form) {
  krn::Wstring units(token->text(form), token->length(form));
  units.append(token->trailer_text(form), token->trailer_length(form));
  return units;
}

std::size_t characters(const krn::Char16* units, std::size_t size) { return tkn_code_points(units, size); }

// The code points [from, to) of units, clamped to what there is.
krn::Wstring slice(const krn::Wstring& units, std::size_t from, std::size_t to) {
  if (to <= from) return krn::Wstring();
  std::size_t begin = tkn_unit_offset(units.data(), units.size(), from);
  std::size_t end = begin + tkn_unit_offset(units.data() + begin, units.size() - begin, to - from);
  return units.substr(begin, end - begin);
}

const char IRREGULAR_FORM[] = "Tkn_irregular_virtual_token::Tkn_irregular_virtual_token - not normalised text";
const char IRREGULAR_TOKEN[] = "Tkn_irregular_virtual_token::Tkn_irregular_virtual_token - iterator is not on a physical token";

Tkn_physical_token* physical_of(const Tkn_token_character_iterator& it) {
  auto* token = dynamic_cast<Tkn_physical_token*>(it.token());
  if (token == nullptr) throw std::invalid_argument(IRREGULAR_TOKEN);
  return token;
}

void check_iterators(const Tkn_token_character_iterator& first, const Tkn_token_character_iterator& last) {
  if (first.form() != last.form() || (first.form() != TKN_FORM_NORMALISED && first.form() != TKN_FORM_LOWER)) {
    throw std::invalid_argument(IRREGULAR_FORM);
  }
  physical_of(first);
  physical_of(last);
}

// The code point offset of an iterator within its token's text plus trailer.
std::size_t offset_of(const Tkn_token_character_iterator& it) {
  krn::Wstring units = text_and_trailer(it.token(), it.form());
  return characters(units.data(), std::min(it.position(), units.size()));
}

// The normalised units from the start offset in the first token up to and
// including the end offset in the last.
krn::Wstring irregular_text(Tkn_text_view* view, const Tkn_token_character_iterator& first,
                            const Tkn_token_character_iterator& last) {
  check_iterators(first, last);
  Tkn_physical_token* p_first = physical_of(first);
  Tkn_physical_token* p_last = physical_of(last);
  check_span(view, p_first, p_last);
  const std::size_t start = offset_of(first);
  const std::size_t end = offset_of(last);
  if (p_first == p_last) return slice(text_and_trailer(p_first, TKN_FORM_NORMALISED), start, end + 1);
  krn::Wstring text = slice(text_and_trailer(p_first, TKN_FORM_NORMALISED), start, SIZE_MAX);
  for (Tkn_physical_token* p = next_physical(p_first); p != p_last; p = next_physical(p)) {
    text += text_and_trailer(p, TKN_FORM_NORMALISED);
  }
  text += slice(text_and_trailer(p_last, TKN_FORM_NORMALISED), 0, end + 1);
  return text;
}

}  // namespace

// ---- Tkn_virtual_token ----------------------------------------------------------

Tkn_virtual_token::Tkn_virtual_token(unsigned type, Tkn_text_view* view, Tkn_physical_token* first, Tkn_physical_token* last)
    : Tkn_virtual_token(type, view, first, last, span_text(view, first, last)) {}

Tkn_virtual_token::Tkn_virtual_token(unsigned type, Tkn_text_view* view, Tkn_physical_token* first, Tkn_physical_token* last,
                                     const krn::Wstring& text)
    : Tkn_token(type, view), m_text(&Tkn_text::EMPTY), m_first(first), m_last(last), m_safe(nullptr) {
  check_span(view, first, last);
  m_text = view->insert_text(TKN_TOKEN_WORD, text);
  borrow_links(first->previous(), last->next());
  associate();
}

Tkn_virtual_token::~Tkn_virtual_token() {
  Tkn_text_view* owner = Tkn_token::view();
  for (Tkn_physical_token* p = m_first;; p = next_physical(p)) {
    owner->remove_association(this, p);
    if (p == m_last) break;
  }
  // The links were borrowed from the chain: leave the neighbours alone.
  borrow_links(nullptr, nullptr);
  delete m_safe;
}

void Tkn_virtual_token::associate() {
  Tkn_text_view* owner = Tkn_token::view();
  try {
    for (Tkn_physical_token* p = m_first;; p = next_physical(p)) {
      owner->add_association(this, p);
      if (p == m_last) break;
    }
  } catch (...) {
    // No association may outlive a token that was never made.
    for (Tkn_physical_token* p = m_first;; p = next_physical(p)) {
      owner->remove_association(this, p);
      if (p == m_last) break;
    }
    borrow_links(nullptr, nullptr);
    throw;
  }
}

unsigned Tkn_virtual_token::position() const { return m_first->position(); }

krn::uint64 Tkn_virtual_token::crc(Tkn_text_form form) const { return m_text->crc(form); }

const krn::Char16* Tkn_virtual_token::text(Tkn_text_form form) const {
  if (form != TKN_FORM_SAFE) return m_text->text(form);
  krn::Wstring built;
  for (Tkn_physical_token* p = m_first;; p = next_physical(p)) {
    built.append(p->text(TKN_FORM_SAFE), p->length(TKN_FORM_SAFE));
    if (p == m_last) break;
    built.append(p->trailer_text(TKN_FORM_SAFE), p->trailer_length(TKN_FORM_SAFE));
  }
  return keep_safe_text(std::move(built));
}

const krn::Char16* Tkn_virtual_token::keep_safe_text(krn::Wstring&& built) const {
  if (m_safe == nullptr) {
    m_safe = new krn::Wstring(std::move(built));
  } else if (*m_safe != built) {
    // The tokens were made safer since the text was last built; an
    // unchanged text keeps its storage, so earlier pointers stay valid.
    *m_safe = std::move(built);
  }
  return m_safe->c_str();
}

const Tkn_string_entry* Tkn_virtual_token::text_entry(Tkn_text_form form) const { return m_text->crc_text(form); }

const krn::Char16* Tkn_virtual_token::trailer_text(Tkn_text_form form) const { return m_last->trailer_text(form); }

const Tkn_string_entry* Tkn_virtual_token::trailer_entry(Tkn_text_form form) const { return m_last->trailer_entry(form); }

std::size_t Tkn_virtual_token::length(Tkn_text_form form) const { return m_text->length(form); }

std::size_t Tkn_virtual_token::trailer_length(Tkn_text_form form) const { return m_last->trailer_length(form); }

bool Tkn_virtual_token::is_text(Tkn_text_form form, const entry* text) const { return m_text->match(form, text); }

bool Tkn_virtual_token::is_trailer(Tkn_text_form form, const entry* text) const { return m_last->is_trailer(form, text); }

bool Tkn_virtual_token::redact(std::size_t start, std::size_t count) { return spread(start, count, true); }

const Tkn_string_entry* Tkn_virtual_token::formatted_text(const krn::GUID& format) {
  return m_text->crc_text(format == TKN_SIMPLE_FORMAT_ID ? TKN_FORM_NORMALISED : TKN_FORM_LOWER);
}

std::size_t Tkn_virtual_token::formatted_text_length(const krn::GUID& format) { return formatted_text(format)->second.length; }

void Tkn_virtual_token::make_safe(std::size_t start, std::size_t count) { spread(start, count, false); }

bool Tkn_virtual_token::spread(std::size_t start, std::size_t count, bool redacting) {
  auto apply = [redacting](Tkn_physical_token* token, std::size_t from, std::size_t n) {
    if (redacting) return token->redact(from, n);
    static_cast<Tkn_token*>(token)->make_safe(from, n);
    return true;
  };
  auto safe_length = [](const Tkn_physical_token* token) {
    return characters(token->text(TKN_FORM_SAFE), token->length(TKN_FORM_SAFE));
  };
  auto trailer_characters = [](const Tkn_physical_token* token) {
    return characters(token->trailer_text(TKN_FORM_SAFE), token->trailer_length(TKN_FORM_SAFE));
  };

  if (start == 0 && count == 0) {
    for (Tkn_physical_token* p = m_first;; p = next_physical(p)) {
      if (!apply(p, 0, 0)) return false;
      if (p == m_last) return true;
    }
  }
  if (count == 0) count = characters(m_text->text(TKN_FORM_NORMALISED), m_text->length(TKN_FORM_NORMALISED));
  if (count == 0) return true;

  // Skip the tokens that lie wholly before start.
  Tkn_physical_token* p = m_first;
  for (;;) {
    const std::size_t length = safe_length(p);
    if (start < length) break;
    start -= length;
    const std::size_t trailer = trailer_characters(p);
    if (start < trailer) {
      // The range begins in the trailer, which is nothing to blank.
      const std::size_t dropped = trailer - start;
      if (dropped >= count) return true;
      count -= dropped;
      start = 0;
    } else {
      start -= trailer;
    }
    if (p == m_last) return true;
    p = next_physical(p);
  }

  // Blank whole token ends while the range runs past them.
  for (;;) {
    const std::size_t length = safe_length(p);
    if (start + count <= length) break;
    if (!apply(p, start, 0)) return false;
    count -= length - start;
    const std::size_t trailer = trailer_characters(p);
    if (count <= trailer || p == m_last) return true;
    count -= trailer;
    p = next_physical(p);
    start = 0;
  }
  return apply(p, start, count);
}

bool Tkn_virtual_token::modify(const krn::Wstring& replacement, const krn::Wstring& before, const krn::Wstring& after) {
  if (replacement.empty() && before.empty() && after.empty()) return false;
  if (!replacement.empty()) {
    bool result = m_first->modify(replacement, before, after);
    for (Tkn_physical_token* p = m_first; result && p != m_last;) {
      p = next_physical(p);
      result = p->remove();
    }
    return result;
  }
  bool result = true;
  if (!before.empty()) result = m_first->modify(krn::Wstring(), before, krn::Wstring());
  if (result && !after.empty()) result = m_last->modify(krn::Wstring(), krn::Wstring(), after);
  return result;
}

void Tkn_virtual_token::front(unsigned& position, std::size_t& offset) const {
  position = m_first->position();
  offset = 0;
}

void Tkn_virtual_token::back(unsigned& position, std::size_t& offset) const {
  position = m_last->position();
  const std::size_t length = m_last->length(TKN_FORM_SOURCE);
  offset = length == 0 ? 0 : length - 1;
}

bool Tkn_virtual_token::is_sensitive() const { return false; }

bool Tkn_virtual_token::is_regular() const { return true; }

Tkn_physical_token* Tkn_virtual_token::pfront() const { return m_first; }

Tkn_physical_token* Tkn_virtual_token::pback() const { return m_last; }

// ---- Tkn_irregular_virtual_token ------------------------------------------------

Tkn_irregular_virtual_token::Tkn_irregular_virtual_token(unsigned type, Tkn_text_view* view, Tkn_token_character_iterator first,
                                                         Tkn_token_character_iterator last)
    : Tkn_virtual_token(type, view, physical_of(first), physical_of(last), irregular_text(view, first, last)),
      m_start(offset_of(first)),
      m_end(offset_of(last)),
      m_trailer(&Tkn_text::EMPTY) {
  const Tkn_physical_token* tail = pback();
  const std::size_t last_characters = characters(tail->text(last.form()), tail->length(last.form()));
  if (last_characters > 0 && m_end == last_characters - 1) {
    m_trailer = view->insert_whitespace(krn::Wstring(tail->trailer_text(TKN_FORM_SOURCE), tail->trailer_length(TKN_FORM_SOURCE)));
  }
}

const krn::Char16* Tkn_irregular_virtual_token::text(Tkn_text_form form) const {
  if (form != TKN_FORM_SAFE) return Tkn_virtual_token::text(form);
  Tkn_physical_token* first = pfront();
  Tkn_physical_token* last = pback();
  if (first == last) return keep_safe_text(slice(text_and_trailer(first, TKN_FORM_SAFE), m_start, m_end + 1));
  krn::Wstring built = slice(text_and_trailer(first, TKN_FORM_SAFE), m_start, SIZE_MAX);
  for (Tkn_physical_token* p = next_physical(first); p != last; p = next_physical(p)) built += text_and_trailer(p, TKN_FORM_SAFE);
  built += slice(text_and_trailer(last, TKN_FORM_SAFE), 0, m_end + 1);
  return keep_safe_text(std::move(built));
}

const krn::Char16* Tkn_irregular_virtual_token::trailer_text(Tkn_text_form form) const { return m_trailer->text(form); }

const Tkn_string_entry* Tkn_irregular_virtual_token::trailer_entry(Tkn_text_form form) const { return m_trailer->crc_text(form); }

std::size_t Tkn_irregular_virtual_token::trailer_length(Tkn_text_form form) const { return m_trailer->length(form); }

bool Tkn_irregular_virtual_token::is_trailer(Tkn_text_form form, const entry* text) const { return m_trailer->match(form, text); }

bool Tkn_irregular_virtual_token::redact(std::size_t start, std::size_t count) {
  const std::size_t own = characters(Tkn_virtual_token::text(TKN_FORM_NORMALISED), length(TKN_FORM_NORMALISED));
  if (start >= own) return false;
  count = count == 0 ? own - start : std::min(count, own - start);
  return spread(start + m_start, count, true);
}

void Tkn_irregular_virtual_token::make_safe(std::size_t start, std::size_t count) {
  const std::size_t own = characters(Tkn_virtual_token::text(TKN_FORM_NORMALISED), length(TKN_FORM_NORMALISED));
  if (start >= own) return;
  count = count == 0 ? own - start : std::min(count, own - start);
  spread(start + m_start, count, false);
}

bool Tkn_irregular_virtual_token::modify(const krn::Wstring&, const krn::Wstring&, const krn::Wstring&) { return false; }

void Tkn_irregular_virtual_token::front(unsigned& position, std::size_t& offset) const {
  position = pfront()->position();
  offset = m_start;
}

void Tkn_irregular_virtual_token::back(unsigned& position, std::size_t& offset) const {
  position = pback()->position();
  offset = m_end;
}

bool Tkn_irregular_virtual_token::is_regular() const { return false; }

void Tkn_irregular_virtual_token::preamble(Tkn_text_form form, krn::Wstring& out) const {
  out = slice(text_and_trailer(pfront(), form), 0, m_start);
}

void Tkn_irregular_virtual_token::postamble(Tkn_text_form form, krn::Wstring& out) const {
  out = slice(text_and_trailer(pback(), form), m_end + 1, SIZE_MAX);
}

}  // namespace tkn
