#include "krn/krn_tokeniser.h"

namespace krn {

namespace {

// Most tokens are short; reserving once lets the running token grow in place,
// and clear() keeps the room for the next one.
constexpr std::size_t TOKEN_RESERVE = 1024;

template <typename String>
bool contains(const String& set, typename String::value_type c) {
  return set.find(c) != String::npos;
}

template <typename String>
void add_token(String& token, bool allow_empty, std::vector<String>& tokens) {
  if (!token.empty() || allow_empty) tokens.push_back(token);
  token.clear();
}

// One body for both widths, so the two tokenisers cannot drift apart.
template <typename String>
void tokenise_text(const String& text, const String& separators, const String& ignore,
                   const String& terminators, const String& terminals, bool include_separators,
                   bool allow_empty, std::vector<String>& tokens) {
  using Unit = typename String::value_type;
  constexpr Unit QUOTE = static_cast<Unit>('"');
  constexpr Unit BACKSLASH = static_cast<Unit>('\\');

  tokens.clear();
  if (text.empty()) return;

  String token;
  token.reserve(TOKEN_RESERVE);
  bool in_quotes = false;
  const std::size_t length = text.size();
  for (std::size_t i = 0; i < length; ++i) {
    const Unit c = text[i];
    if (c == QUOTE) {
      in_quotes = !in_quotes;
      token.push_back(c);
    } else if (in_quotes) {
      token.push_back(c);
      // The escaped unit is taken as it is, so an escaped quote cannot close
      // the stretch.
      if (c == BACKSLASH && i + 1 < length) token.push_back(text[++i]);
    } else if (contains(terminators, c)) {
      break;
    } else if (contains(ignore, c)) {
      continue;
    } else if (contains(terminals, c)) {
      add_token(token, allow_empty, tokens);
      token.push_back(c);
      add_token(token, allow_empty, tokens);
    } else if (contains(separators, c)) {
      if (include_separators) token.push_back(c);
      add_token(token, allow_empty, tokens);
    } else {
      token.push_back(c);
    }
  }
  add_token(token, allow_empty, tokens);
}

}  // namespace

Krn_tokeniser::Krn_tokeniser()
    : m_separators(u" \t"), m_terminators(u"\n"), m_include_separators(false), m_allow_empty_tokens(false) {}

Krn_tokeniser::Krn_tokeniser(const Wstring& separators, const Wstring& ignore, const Wstring& terminators,
                             const Wstring& terminals, bool include_separators, bool allow_empty_tokens)
    : m_separators(separators),
      m_ignore(ignore),
      m_terminators(terminators),
      m_terminals(terminals),
      m_include_separators(include_separators),
      m_allow_empty_tokens(allow_empty_tokens) {}

void Krn_tokeniser::tokenise(const Wstring& text, std::vector<Wstring>& tokens) const {
  tokenise_text(text, m_separators, m_ignore, m_terminators, m_terminals, m_include_separators,
                m_allow_empty_tokens, tokens);
}

Krn_narrow_tokeniser::Krn_narrow_tokeniser()
    : m_separators(" \t"), m_terminators("\n"), m_include_separators(false), m_allow_empty_tokens(false) {}

Krn_narrow_tokeniser::Krn_narrow_tokeniser(const std::string& separators, const std::string& ignore,
                                           const std::string& terminators, const std::string& terminals,
                                           bool include_separators, bool allow_empty_tokens)
    : m_separators(separators),
      m_ignore(ignore),
      m_terminators(terminators),
      m_terminals(terminals),
      m_include_separators(include_separators),
      m_allow_empty_tokens(allow_empty_tokens) {}

void Krn_narrow_tokeniser::tokenise(const std::string& text, std::vector<std::string>& tokens) const {
  tokenise_text(text, m_separators, m_ignore, m_terminators, m_terminals, m_include_separators,
                m_allow_empty_tokens, tokens);
}

}  // namespace krn
