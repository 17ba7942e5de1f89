#ifndef TKN_TOKEN_CHARACTER_ITERATOR_H
#define TKN_TOKEN_CHARACTER_ITERATOR_H

// Walks the UTF-16 units of a run of tokens in one text form: each token's
// text, then its trailer, then on to the next token. Tokens whose text and
// trailer are both empty hold no unit and are stepped over.

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "krn/krn_types.h"
#include "tkn/tkn_export.h"
#include "tkn/tkn_types.h"

namespace tkn {

class TKN_API Tkn_token_character_iterator {
 public:
  using iterator_category = std::bidirectional_iterator_tag;
  using value_type = krn::Char16;
  using difference_type = std::int64_t;
  using pointer = const krn::Char16*;
  using reference = const krn::Char16&;

  // The empty iterator: no token, index 0.
  explicit Tkn_token_character_iterator(Tkn_text_form form = TKN_FORM_NORMALISED) noexcept;
  // On the token's first unit, or (at_front false) one past its last unit.
  // Null token: std::invalid_argument.
  Tkn_token_character_iterator(Tkn_token* token, Tkn_text_form form, bool at_front);
  // At the index within the token's text plus trailer.
  Tkn_token_character_iterator(Tkn_token* token, std::size_t index, Tkn_text_form form);

  // The unit at the index; std::range_error outside text plus trailer.
  reference operator*() const;
  pointer operator->() const { return &**this; }

  // std::range_error when stepping past the end or before the beginning.
  Tkn_token_character_iterator& operator++();
  Tkn_token_character_iterator operator++(int);
  Tkn_token_character_iterator& operator--();
  Tkn_token_character_iterator operator--(int);

  bool operator==(const Tkn_token_character_iterator& other) const noexcept {
    return m_token == other.m_token && m_form == other.m_form && m_index == other.m_index;
  }
  bool operator!=(const Tkn_token_character_iterator& other) const noexcept { return !(*this == other); }

  Tkn_text_form form() const noexcept { return m_form; }
  // The index within the current token's text plus trailer.
  std::size_t position() const noexcept { return m_index; }
  Tkn_token* token() const noexcept { return m_token; }
  // Units of the current token's text (without the trailer).
  std::size_t text_size() const noexcept { return m_text_size; }
  // Units of text plus trailer.
  std::size_t total_size() const noexcept { return m_total; }

 private:
  void load(Tkn_token* token);

  Tkn_token* m_token;
  const krn::Char16* m_text;
  const krn::Char16* m_trailer;
  Tkn_text_form m_form;
  std::size_t m_text_size;
  std::size_t m_total;
  std::size_t m_index;
};

}  // namespace tkn

#endif
