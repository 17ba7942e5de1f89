#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "krn/krn_tokeniser.h"

using krn::Krn_narrow_tokeniser;
using krn::Krn_tokeniser;
using krn::Wstring;

namespace {

std::vector<Wstring> split(const Krn_tokeniser& t, const Wstring& text) {
  std::vector<Wstring> tokens{u"stale"};
  t.tokenise(text, tokens);
  return tokens;
}

std::vector<std::string> split(const Krn_narrow_tokeniser& t, const std::string& text) {
  std::vector<std::string> tokens{"stale"};
  t.tokenise(text, tokens);
  return tokens;
}

using W = std::vector<Wstring>;
using N = std::vector<std::string>;

}  // namespace

TEST(KrnTokeniser, DefaultsSplitOnBlanksAndDropEmptyTokens) {
  Krn_tokeniser t;
  EXPECT_EQ(split(t, u"a  b"), (W{u"a", u"b"}));
  EXPECT_EQ(split(t, u"\ta b\t"), (W{u"a", u"b"}));
  EXPECT_EQ(split(t, u""), W{});
  EXPECT_EQ(split(t, u"   "), W{});

  t.allow_empty_tokens(true);
  EXPECT_EQ(split(t, u"a  b"), (W{u"a", u"", u"b"}));
  // A trailing separator ends the last token and leaves an empty one behind,
  // but an empty text still gives nothing at all.
  EXPECT_EQ(split(t, u"a "), (W{u"a", u""}));
  EXPECT_EQ(split(t, u""), W{});
}

TEST(KrnTokeniser, TerminalsAreTokensOfTheirOwn) {
  Krn_tokeniser t(u",", u"", u"", u";", false, false);
  EXPECT_EQ(split(t, u"x;y"), (W{u"x", u";", u"y"}));
  EXPECT_EQ(split(t, u";;"), (W{u";", u";"}));
  t.allow_empty_tokens(true);
  EXPECT_EQ(split(t, u"x;y"), (W{u"x", u";", u"y"}));
  EXPECT_EQ(split(t, u";x"), (W{u"", u";", u"x"}));
}

TEST(KrnTokeniser, QuotedStretchesStayTogetherWithTheirQuotes) {
  Krn_tokeniser t;
  EXPECT_EQ(split(t, u"\"a b\" c"), (W{u"\"a b\"", u"c"}));
  // An escaped quote neither closes the stretch nor loses its backslash.
  EXPECT_EQ(split(t, u"\"a\\\" b\" c"), (W{u"\"a\\\" b\"", u"c"}));
  // Outside quotes a backslash is ordinary and escapes nothing.
  EXPECT_EQ(split(t, u"a\\ b"), (W{u"a\\", u"b"}));
  // An unterminated quote runs to the end, separators and terminators included.
  EXPECT_EQ(split(t, u"x \"a b\nc d"), (W{u"x", u"\"a b\nc d"}));
  // A backslash as the very last unit inside quotes has nothing to escape.
  EXPECT_EQ(split(t, u"\"a\\"), (W{u"\"a\\"}));
  // Quotes open and close inside a token, too.
  EXPECT_EQ(split(t, u"k=\"v w\"x y"), (W{u"k=\"v w\"x", u"y"}));
}

TEST(KrnTokeniser, TerminatorEndsTheTextOutsideQuotesOnly) {
  Krn_tokeniser t;
  EXPECT_EQ(split(t, u"a b\nc d"), (W{u"a", u"b"}));
  EXPECT_EQ(split(t, u"\"a\nb\" c\nd"), (W{u"\"a\nb\"", u"c"}));
  EXPECT_EQ(split(t, u"\nabc"), W{});
  t.allow_empty_tokens(true);
  // The token in progress at the terminator is delivered, even when empty.
  EXPECT_EQ(split(t, u"\nabc"), W{u""});
}

TEST(KrnTokeniser, SetPrecedenceAndIncludedSeparators) {
  // A character in several sets is taken by the first test that names it:
  // terminator, then ignore, then terminal, then separator.
  Krn_tokeniser t(u",;", u";", u"", u",", false, false);
  EXPECT_EQ(split(t, u"a;b,c"), (W{u"ab", u",", u"c"}));
  t.terminators(u";");
  EXPECT_EQ(split(t, u"a,b;c"), (W{u"a", u",", u"b"}));

  Krn_tokeniser with(u" ", u"-", u"\n", u"", true, false);
  EXPECT_EQ(split(with, u"a b"), (W{u"a ", u"b"}));
  EXPECT_EQ(split(with, u"a-1  b"), (W{u"a1 ", u" ", u"b"}));
  EXPECT_EQ(split(with, u"\"x-y\""), (W{u"\"x-y\""}));
}

TEST(KrnTokeniser, CopiesCarryEverySetting) {
  Krn_tokeniser t;
  t.separators(u";");
  t.ignore(u"#");
  t.terminators(u"!");
  t.terminals(u"=");
  t.include_separators(true);
  t.allow_empty_tokens(true);
  Krn_tokeniser copy = t;
  Krn_tokeniser assigned;
  assigned = t;
  for (const Krn_tokeniser* c : {&t, &copy, &assigned}) {
    EXPECT_EQ(split(*c, u"a#;k=v!x"), (W{u"a;", u"k", u"=", u"v"}));
    EXPECT_EQ(split(*c, u";"), (W{u";", u""}));
  }
}

TEST(KrnNarrowTokeniser, BehavesLikeTheWideOneByteByByte) {
  Krn_narrow_tokeniser t;
  EXPECT_EQ(split(t, "a  b"), (N{"a", "b"}));
  EXPECT_EQ(split(t, "\"a\\\" b\" c\nd"), (N{"\"a\\\" b\"", "c"}));
  EXPECT_EQ(split(t, ""), N{});

  // The schema form: fields by ";" then name and formatter by ",".
  Krn_narrow_tokeniser fields(";", " ", "", "", false, false);
  EXPECT_EQ(split(fields, "FirstName,Simple;Surname,SimpleNC; CardNum,CCNUMBER"),
            (N{"FirstName,Simple", "Surname,SimpleNC", "CardNum,CCNUMBER"}));

  // UTF-8 text passes through intact when no set holds its bytes.
  EXPECT_EQ(split(t, "\xC3\xA9t\xC3\xA9 caf\xC3\xA9"), (N{"\xC3\xA9t\xC3\xA9", "caf\xC3\xA9"}));

  Krn_narrow_tokeniser all(",", "", "", ";", true, true);
  EXPECT_EQ(split(all, "a,,b;"), (N{"a,", ",", "b", ";", ""}));
}
