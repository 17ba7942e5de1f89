#ifndef KRN_TOKENISER_H
#define KRN_TOKENISER_H

// Splits a line of text into tokens by small sets of characters: separators
// end a token, ignored characters vanish, a terminator ends the whole text and
// a terminal is a token of its own. Double-quoted stretches are kept together,
// quotes included, so that a caller can tell quoted from bare values.
//
// Krn_tokeniser works on UTF-16 units, Krn_narrow_tokeniser on bytes; a set
// member of the narrow form is therefore a single byte, never a UTF-8 sequence.

#include <string>
#include <vector>

#include "krn/krn_export.h"
#include "krn/krn_types.h"

namespace krn {

class KRN_API Krn_tokeniser {
 public:
  // Space and TAB separate, LF ends the text; nothing is ignored, no terminals.
  Krn_tokeniser();
  Krn_tokeniser(const Wstring& separators, const Wstring& ignore, const Wstring& terminators,
                const Wstring& terminals, bool include_separators, bool allow_empty_tokens);

  void separators(const Wstring& value) { m_separators = value; }
  const Wstring& separators() const { return m_separators; }
  void ignore(const Wstring& value) { m_ignore = value; }
  const Wstring& ignore() const { return m_ignore; }
  void terminators(const Wstring& value) { m_terminators = value; }
  const Wstring& terminators() const { return m_terminators; }
  void terminals(const Wstring& value) { m_terminals = value; }
  const Wstring& terminals() const { return m_terminals; }
  // When set, the separator that ends a token stays at the token's end.
  void include_separators(bool value) { m_include_separators = value; }
  bool include_separators() const { return m_include_separators; }
  // When set, two adjacent separators deliver an empty token between them.
  void allow_empty_tokens(bool value) { m_allow_empty_tokens = value; }
  bool allow_empty_tokens() const { return m_allow_empty_tokens; }

  // Replaces the contents of tokens with the tokens of text.
  void tokenise(const Wstring& text, std::vector<Wstring>& tokens) const;

 private:
  Wstring m_separators;
  Wstring m_ignore;
  Wstring m_terminators;
  Wstring m_terminals;
  bool m_include_separators;
  bool m_allow_empty_tokens;
};

class KRN_API Krn_narrow_tokeniser {
 public:
  Krn_narrow_tokeniser();
  Krn_narrow_tokeniser(const std::string& separators, const std::string& ignore, const std::string& terminators,
                       const std::string& terminals, bool include_separators, bool allow_empty_tokens);

  void separators(const std::string& value) { m_separators = value; }
  const std::string& separators() const { return m_separators; }
  void ignore(const std::string& value) { m_ignore = value; }
  const std::string& ignore() const { return m_ignore; }
  void terminators(const std::string& value) { m_terminators = value; }
  const std::string& terminators() const { return m_terminators; }
  void terminals(const std::string& value) { m_terminals = value; }
  const std::string& terminals() const { return m_terminals; }
  void include_separators(bool value) { m_include_separators = value; }
  bool include_separators() const { return m_include_separators; }
  void allow_empty_tokens(bool value) { m_allow_empty_tokens = value; }
  bool allow_empty_tokens() const { return m_allow_empty_tokens; }

  void tokenise(const std::string& text, std::vector<std::string>& tokens) const;

 private:
  std::string m_separators;
  std::string m_ignore;
  std::string m_terminators;
  std::string m_terminals;
  bool m_include_separators;
  bool m_allow_empty_tokens;
};

}  // namespace krn

#endif
