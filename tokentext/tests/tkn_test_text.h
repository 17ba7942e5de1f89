#ifndef TKN_TEST_TEXT_H
#define TKN_TEST_TEXT_H

// A view filled from a text the simple way: every run of non-spaces is a
// word token and the spaces after it its trailer (leading spaces go to an
// empty whitespace-typed token, as the codec does).

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "tkn/tkn_text_view.h"

namespace tkn_test {

struct Test_text {
  explicit Test_text(const krn::Wstring& text, tkn::Tkn_text_table* table = nullptr) : view(0, table) {
    view.start_content();
    std::size_t i = 0;
    while (i < text.size()) {
      std::size_t start = i;
      while (i < text.size() && text[i] != u' ') ++i;
      std::size_t spaces = i;
      while (i < text.size() && text[i] == u' ') ++i;
      const unsigned type = start == spaces ? tkn::TKN_TOKEN_WHITESPACE : tkn::TKN_TOKEN_WORD;
      auto token = std::make_unique<tkn::Tkn_physical_token>(type, text.substr(start, spaces - start), &view);
      token->trailer_text(text.substr(spaces, i - spaces));
      view.add_content(token.get());
      tokens.push_back(std::move(token));
    }
    view.end_content();
  }

  // Virtual tokens walk the physical ones when they go, so they go first.
  ~Test_text() { view.purge(0xFFFFFFFFu); }

  tkn::Tkn_physical_token& operator[](std::size_t i) { return *tokens.at(i); }

  tkn::Tkn_text_view view;
  std::vector<std::unique_ptr<tkn::Tkn_physical_token>> tokens;
};

inline krn::Wstring text_of(const tkn::Tkn_token& token, tkn::Tkn_text_form form) {
  return krn::Wstring(token.text(form), token.length(form));
}

// The text of what f throws, so that a test can hold it against the
// documented message.
template <class F>
std::string thrown_message(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

}  // namespace tkn_test

#endif
