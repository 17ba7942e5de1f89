#include "tkn/tkn_token_character_iterator.h"

#include <stdexcept>

#include "tkn/tkn_token.h"

namespace tkn {
namespace {

std::size_t total_units(const Tkn_token* token, Tkn_text_form form) {
  return token->length(form) + token->trailer_length(form);
}

Tkn_token* require_token(Tkn_token* token) {
  if (token == nullptr) {
    throw std::invalid_argument("Tkn_token_character_iterator::Tkn_token_character_iterator - token_p is null");
  }
  return token;
}

}  // namespace

Tkn_token_character_iterator::Tkn_token_character_iterator(Tkn_text_form form) noexcept
    : m_token(nullptr), m_text(nullptr), m_trailer(nullptr), m_form(form), m_text_size(0), m_total(0), m_index(0) {}

Tkn_token_character_iterator::Tkn_token_character_iterator(Tkn_token* token, Tkn_text_form form, bool at_front)
    : Tkn_token_character_iterator(form) {
  load(require_token(token));
  m_index = at_front ? 0 : m_total;
}

Tkn_token_character_iterator::Tkn_token_character_iterator(Tkn_token* token, std::size_t index, Tkn_text_form form)
    : Tkn_token_character_iterator(form) {
  load(require_token(token));
  m_index = index;
}

void Tkn_token_character_iterator::load(Tkn_token* token) {
  m_token = token;
  m_text = token->text(m_form);
  m_text_size = token->length(m_form);
  m_trailer = token->trailer_text(m_form);
  m_total = m_text_size + token->trailer_length(m_form);
}

Tkn_token_character_iterator::reference Tkn_token_character_iterator::operator*() const {
  if (m_index < m_text_size) return m_text[m_index];
  if (m_index < m_total) return m_trailer[m_index - m_text_size];
  throw std::range_error("Tkn_token_character_iterator::operator* - invalid iterator");
}

Tkn_token_character_iterator& Tkn_token_character_iterator::operator++() {
  if (m_token == nullptr || m_index >= m_total) {
    throw std::range_error("Tkn_token_character_iterator::operator++ - dinrementing beyond end()");
  }
  if (m_index + 1 == m_total) {
    Tkn_token* next = m_token->next();
    // A token without units has no place to stop at, unless it is the last
    // one, whose end is where every walk ends.
    while (next != nullptr && next->next() != nullptr && total_units(next, m_form) == 0) next = next->next();
    if (next != nullptr) {
      load(next);
      m_index = 0;
      return *this;
    }
  }
  ++m_index;
  return *this;
}

Tkn_token_character_iterator Tkn_token_character_iterator::operator++(int) {
  Tkn_token_character_iterator old = *this;
  ++*this;
  return old;
}

Tkn_token_character_iterator& Tkn_token_character_iterator::operator--() {
  if (m_token != nullptr && m_index > 0) {
    --m_index;
    return *this;
  }
  Tkn_token* previous = m_token == nullptr ? nullptr : m_token->previous();
  while (previous != nullptr && total_units(previous, m_form) == 0) previous = previous->previous();
  if (previous == nullptr) {
    throw std::range_error("Tkn_token_character_iterator::operator-- - decrementing beyond begin()");
  }
  load(previous);
  m_index = m_total - 1;
  return *this;
}

Tkn_token_character_iterator Tkn_token_character_iterator::operator--(int) {
  Tkn_token_character_iterator old = *this;
  --*this;
  return old;
}

}  // namespace tkn
