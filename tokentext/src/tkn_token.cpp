#include "tkn/tkn_token.h"

#include <stdexcept>

#include "tkn/tkn_text_view.h"
#include "tkn_utf16.h"

namespace tkn {
namespace {

// (position, offset) pairs order by position first.
struct Extent_point {
  unsigned position;
  std::size_t offset;

  friend bool operator<(const Extent_point& a, const Extent_point& b) {
    return a.position != b.position ? a.position < b.position : a.offset < b.offset;
  }
  friend bool operator<=(const Extent_point& a, const Extent_point& b) { return !(b < a); }
};

void require_other(const Tkn_token* other, const char* message) {
  if (other == nullptr) throw std::invalid_argument(message);
}

// The last offset of a text of this many units; an empty text has its only
// offset at 0.
std::size_t last_offset(std::size_t length) { return length == 0 ? 0 : length - 1; }

}  // namespace

// ---- Tkn_token ------------------------------------------------------------------

Tkn_token::Tkn_token(unsigned type, Tkn_text_view* view) : m_view(view), m_previous(nullptr), m_next(nullptr), m_type(type) {
  if (view == nullptr) throw std::invalid_argument("Tkn_token::Tkn_token - view_p is null");
}

Tkn_token::Tkn_token(const Tkn_token& other) : m_view(other.m_view), m_previous(nullptr), m_next(nullptr), m_type(other.m_type) {}

Tkn_token& Tkn_token::operator=(const Tkn_token& other) {
  m_view = other.m_view;
  m_type = other.m_type;
  return *this;
}

Tkn_token::~Tkn_token() { Tkn_token::unlink(); }

unsigned Tkn_token::type() const { return m_type; }

Tkn_token* Tkn_token::previous() const { return m_previous; }

Tkn_token* Tkn_token::next() const { return m_next; }

void Tkn_token::link(Tkn_token* other) {
  if (other == nullptr) throw std::invalid_argument("Tkn_token::join - other_p is null");
  Tkn_token* tail = other;
  for (;;) {
    // Linking a chain that holds this token would close a cycle.
    if (tail == this) throw std::invalid_argument("Tkn_token::join - other_p leads back to this token");
    if (tail->m_next == nullptr) break;
    tail = tail->m_next;
  }
  // The inserted chain leaves wherever it was, so that no token keeps
  // pointing into it.
  if (other->m_previous != nullptr) other->m_previous->m_next = nullptr;
  tail->m_next = m_next;
  if (m_next != nullptr) m_next->m_previous = tail;
  m_next = other;
  other->m_previous = this;
}

void Tkn_token::unlink() {
  if (m_previous != nullptr) m_previous->m_next = m_next;
  if (m_next != nullptr) m_next->m_previous = m_previous;
  m_previous = m_next = nullptr;
}

Tkn_text_view* Tkn_token::view() const { return m_view; }

bool Tkn_token::is_before(const Tkn_token* other, bool by_front) const {
  require_other(other, "Tkn_token::is_before - other_p is null");
  Extent_point mine{};
  Extent_point theirs{};
  if (by_front) {
    front(mine.position, mine.offset);
  } else {
    back(mine.position, mine.offset);
  }
  other->front(theirs.position, theirs.offset);
  return mine < theirs;
}

bool Tkn_token::is_after(const Tkn_token* other, bool by_front) const {
  require_other(other, "Tkn_token::is_after - other_p is null");
  Extent_point mine{};
  Extent_point theirs{};
  front(mine.position, mine.offset);
  if (by_front) {
    other->front(theirs.position, theirs.offset);
  } else {
    other->back(theirs.position, theirs.offset);
  }
  return theirs < mine;
}

bool Tkn_token::contains(const Tkn_token* other) const {
  require_other(other, "Tkn_token::contains - other_p is null");
  Extent_point f1{}, b1{}, f2{}, b2{};
  front(f1.position, f1.offset);
  back(b1.position, b1.offset);
  other->front(f2.position, f2.offset);
  other->back(b2.position, b2.offset);
  return f1 <= f2 && f2 <= b1 && f1 <= b2 && b2 <= b1;
}

bool Tkn_token::overlaps(const Tkn_token* other) const {
  require_other(other, "Tkn_token::overlaps - other_p is null");
  Extent_point f1{}, b1{}, f2{}, b2{};
  front(f1.position, f1.offset);
  back(b1.position, b1.offset);
  other->front(f2.position, f2.offset);
  other->back(b2.position, b2.offset);
  return (f1 <= f2 && f2 <= b1 && b1 < b2) || (f2 < f1 && f1 <= b2 && b2 <= b1) || (f2 <= f1 && f1 <= b2 && b2 < b1) ||
         (f1 < f2 && f2 <= b1 && b1 <= b2);
}

// ---- Tkn_physical_token ---------------------------------------------------------

Tkn_physical_token::Tkn_physical_token(unsigned type, const krn::Wstring& text, Tkn_text_view* view)
    : Tkn_token(type, view), m_position(0), m_text(&Tkn_text::EMPTY), m_safe(nullptr), m_trailer(&Tkn_text::EMPTY) {
  if ((type & ~TKN_TOKEN_TYPE_BITS) != 0) {
    throw std::invalid_argument("Tkn_physical_token::Tkn_physical_token - invalid token type");
  }
  m_text = view->insert_text(type, text);
}

Tkn_physical_token::Tkn_physical_token(const Tkn_physical_token& other)
    : Tkn_token(other), m_position(other.m_position), m_text(other.m_text), m_safe(other.m_safe), m_trailer(other.m_trailer) {}

Tkn_physical_token& Tkn_physical_token::operator=(const Tkn_physical_token& other) {
  Tkn_token::operator=(other);
  m_position = other.m_position;
  m_text = other.m_text;
  m_safe = other.m_safe;
  m_trailer = other.m_trailer;
  return *this;
}

Tkn_physical_token::~Tkn_physical_token() {
  Tkn_text_view* owner = Tkn_token::view();
  owner->remove_associations(this);
  owner->forget_token(this);
}

unsigned Tkn_physical_token::position() const { return m_position; }

void Tkn_physical_token::position(unsigned position) {
  if (position == 0) throw std::invalid_argument("Tkn_physical_token::position - position is invalid");
  m_position = position;
}

krn::uint64 Tkn_physical_token::crc(Tkn_text_form form) const { return text_entry(form)->first; }

const krn::Char16* Tkn_physical_token::text(Tkn_text_form form) const { return text_entry(form)->second.text; }

const Tkn_string_entry* Tkn_physical_token::text_entry(Tkn_text_form form) const {
  return form == TKN_FORM_SAFE && m_safe != nullptr ? m_safe : m_text->crc_text(form);
}

std::size_t Tkn_physical_token::length(Tkn_text_form form) const { return text_entry(form)->second.length; }

const krn::Char16* Tkn_physical_token::trailer_text(Tkn_text_form form) const { return m_trailer->text(form); }

const Tkn_string_entry* Tkn_physical_token::trailer_entry(Tkn_text_form form) const { return m_trailer->crc_text(form); }

std::size_t Tkn_physical_token::trailer_length(Tkn_text_form form) const { return m_trailer->length(form); }

bool Tkn_physical_token::is_text(Tkn_text_form form, const entry* text) const { return m_text->match(form, text); }

bool Tkn_physical_token::is_trailer(Tkn_text_form form, const entry* text) const { return m_trailer->match(form, text); }

bool Tkn_physical_token::redact(std::size_t, std::size_t) { return false; }

const Tkn_string_entry* Tkn_physical_token::formatted_text(const krn::GUID& format) {
  return m_text->crc_text(format == TKN_SIMPLE_FORMAT_ID ? TKN_FORM_NORMALISED : TKN_FORM_LOWER);
}

std::size_t Tkn_physical_token::formatted_text_length(const krn::GUID& format) { return formatted_text(format)->second.length; }

bool Tkn_physical_token::is_text(const krn::GUID& format, const entry* text) const {
  return const_cast<Tkn_physical_token*>(this)->formatted_text(format) == text;
}

void Tkn_physical_token::make_safe(std::size_t start, std::size_t count) {
  const krn::Char16* current = text(TKN_FORM_SAFE);
  const std::size_t size = length(TKN_FORM_SAFE);
  // Characters, not units: a surrogate pair is blanked as one character.
  const std::size_t characters = tkn_code_points(current, size);
  if (start >= characters) return;
  if (count == 0 || count > characters - start) count = characters - start;

  const std::size_t head = tkn_unit_offset(current, size, start);
  const std::size_t tail = head + tkn_unit_offset(current + head, size - head, count);
  krn::Wstring result(current, head);
  const unsigned redaction = Tkn_token::view()->get_redaction_character();
  for (std::size_t i = 0; i < count; ++i) tkn_append_code_point(result, redaction);
  result.append(current + tail, size - tail);
  if (!result.empty()) m_safe = Tkn_token::view()->create_string(result);
}

bool Tkn_physical_token::modify(const krn::Wstring&, const krn::Wstring&, const krn::Wstring&) { return false; }

void Tkn_physical_token::front(unsigned& position, std::size_t& offset) const {
  position = this->position();
  offset = 0;
}

void Tkn_physical_token::back(unsigned& position, std::size_t& offset) const {
  position = this->position();
  offset = last_offset(length(TKN_FORM_SOURCE));
}

void Tkn_physical_token::trailer_text(const krn::Wstring& whitespace) {
  if (whitespace.size() <= TKN_MAX_TRAILER) {
    m_trailer = Tkn_token::view()->insert_whitespace(whitespace);
    return;
  }
  std::size_t cut = TKN_MAX_TRAILER;
  // Never keep half of a surrogate pair.
  if (tkn_is_high_surrogate(whitespace[cut - 1]) && tkn_is_low_surrogate(whitespace[cut])) --cut;
  m_trailer = Tkn_token::view()->insert_whitespace(whitespace.substr(0, cut));
}

std::vector<Tkn_virtual_token*> Tkn_physical_token::vtokens() const { return Tkn_token::view()->find_associations(this); }

bool Tkn_physical_token::remove() { return false; }

// ---- Tkn_wrapping_token ---------------------------------------------------------

Tkn_wrapping_token::Tkn_wrapping_token(Tkn_physical_token& wrapped, Tkn_text_view& view)
    : Tkn_physical_token(wrapped.type(), krn::Wstring(), &view), m_wrapped(&wrapped) {}

krn::uint64 Tkn_wrapping_token::crc(Tkn_text_form form) const { return m_wrapped->crc(form); }

const krn::Char16* Tkn_wrapping_token::text(Tkn_text_form form) const { return m_wrapped->text(form); }

const Tkn_string_entry* Tkn_wrapping_token::text_entry(Tkn_text_form form) const { return m_wrapped->text_entry(form); }

std::size_t Tkn_wrapping_token::length(Tkn_text_form form) const { return m_wrapped->length(form); }

const krn::Char16* Tkn_wrapping_token::trailer_text(Tkn_text_form form) const {
  return has_own_trailer() ? Tkn_physical_token::trailer_text(form) : m_wrapped->trailer_text(form);
}

const Tkn_string_entry* Tkn_wrapping_token::trailer_entry(Tkn_text_form form) const {
  return has_own_trailer() ? Tkn_physical_token::trailer_entry(form) : m_wrapped->trailer_entry(form);
}

std::size_t Tkn_wrapping_token::trailer_length(Tkn_text_form form) const {
  return has_own_trailer() ? Tkn_physical_token::trailer_length(form) : m_wrapped->trailer_length(form);
}

bool Tkn_wrapping_token::is_text(Tkn_text_form form, const entry* text) const { return m_wrapped->is_text(form, text); }

bool Tkn_wrapping_token::is_trailer(Tkn_text_form form, const entry* text) const {
  return has_own_trailer() ? Tkn_physical_token::is_trailer(form, text) : m_wrapped->is_trailer(form, text);
}

bool Tkn_wrapping_token::redact(std::size_t start, std::size_t count) { return m_wrapped->redact(start, count); }

const Tkn_string_entry* Tkn_wrapping_token::formatted_text(const krn::GUID& format) { return m_wrapped->formatted_text(format); }

std::size_t Tkn_wrapping_token::formatted_text_length(const krn::GUID& format) { return m_wrapped->formatted_text_length(format); }

bool Tkn_wrapping_token::is_text(const krn::GUID& format, const entry* text) const { return m_wrapped->is_text(format, text); }

void Tkn_wrapping_token::make_safe(std::size_t start, std::size_t count) {
  static_cast<Tkn_token*>(m_wrapped)->make_safe(start, count);
}

void Tkn_wrapping_token::back(unsigned& position, std::size_t& offset) const {
  position = this->position();
  offset = last_offset(length(TKN_FORM_SOURCE));
}

}  // namespace tkn
