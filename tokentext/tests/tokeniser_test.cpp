#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "krn/krn_string.h"
#include "tkn/tkn_text_view.h"
#include "tkn/tkn_token.h"
#include "tkn/tkn_tokeniser.h"
#include "tkn/tkn_types.h"

namespace {

using krn::Wstring;
using tkn::Tkn_parse_operation;
using tkn::Tkn_tokeniser;

// Reads the text one code point at a time, as a caller must: a pair is one
// code point, a lone surrogate is passed on as it is.
unsigned read_code_point(const Wstring& text, size_t& pos) {
  const unsigned unit = text[pos++];
  if (unit >= 0xD800 && unit <= 0xDBFF && pos < text.size() && text[pos] >= 0xDC00 && text[pos] <= 0xDFFF)
    return 0x10000 + ((unit - 0xD800) << 10) + (text[pos++] - 0xDC00);
  return unit;
}

// Obeys every operation exactly as the tool's codec does, handing finished
// tokens and trailers to the sink. Fails the test instead of looping when
// the tokeniser stops making progress.
template <class Sink>
void drive(const Wstring& text, Sink& sink) {
  Tkn_tokeniser tokeniser;
  Wstring buffer;
  unsigned type = tkn::TKN_TOKEN_WHITESPACE;
  Wstring saved_buffer;
  unsigned saved_type = tkn::TKN_TOKEN_WHITESPACE;
  size_t saved_pos = 0;
  bool checkpointed = false;
  size_t token_start = 0;
  size_t pos = 0;
  size_t steps_left = 8 * (text.size() + 2);

  auto rollback = [&] {
    if (!checkpointed) throw std::logic_error("driver: rollback without a checkpoint");
    buffer = saved_buffer;
    type = saved_type;
    pos = saved_pos;
    checkpointed = false;
  };
  auto emitted = [&](size_t resume) {
    pos = resume;
    checkpointed = false;
    token_start = 0;
  };

  for (;;) {
    if (steps_left-- == 0) throw std::logic_error("driver: no progress");
    Tkn_parse_operation op;
    if (pos < text.size()) {
      const size_t here = pos;
      tokeniser.process(read_code_point(text, pos), buffer, type, op);
      switch (op) {
        case tkn::TKN_PARSE_START:
          checkpointed = false;
          token_start = here;
          break;
        case tkn::TKN_PARSE_CONTINUE:
        case tkn::TKN_PARSE_SKIP:
          break;
        case tkn::TKN_PARSE_CHECKPOINT:
          saved_buffer = buffer;
          saved_type = type;
          saved_pos = here;
          checkpointed = true;
          pos = here;
          break;
        case tkn::TKN_PARSE_ROLLBACK:
          rollback();
          break;
        case tkn::TKN_PARSE_EMIT_TOKEN:
          sink.token(type, buffer, token_start);
          emitted(here);
          break;
        case tkn::TKN_PARSE_EMIT_TRAILER:
          sink.trailer(buffer, token_start);
          emitted(here);
          break;
        default:
          throw std::logic_error("driver: unknown operation");
      }
      continue;
    }
    tokeniser.breakpoint(buffer, type, op);
    switch (op) {
      case tkn::TKN_PARSE_ROLLBACK:
        rollback();
        continue;
      case tkn::TKN_PARSE_EMIT_TOKEN:
        sink.token(type, buffer, token_start);
        return;
      case tkn::TKN_PARSE_EMIT_TRAILER:
        sink.trailer(buffer, token_start);
        return;
      case tkn::TKN_PARSE_SKIP:
        return;
      default:
        throw std::logic_error("driver: unexpected operation at the end");
    }
  }
}

void append_utf8(std::string& out, const Wstring& text) {
  std::string utf8;
  krn::krn_utf16_to_utf8(text, utf8);
  out += utf8;
}

const char* type_name(unsigned type) {
  switch (type) {
    case tkn::TKN_TOKEN_WHITESPACE: return "ws";
    case tkn::TKN_TOKEN_WORD: return "word";
    case tkn::TKN_TOKEN_NUMBER: return "num";
    case tkn::TKN_TOKEN_PUNCTUATION: return "punct";
    case tkn::TKN_TOKEN_SYMBOL: return "sym";
    default: return "?";
  }
}

// Collects the tokens as text: "word[dogs]< >@0" is a word starting at unit
// 0 followed by one space. The offsets show that rollbacks moved the input
// back to the right place.
struct Listing_sink {
  struct Token {
    unsigned type;
    Wstring text;
    Wstring trailer;
    size_t start;
  };
  std::vector<Token> tokens;

  void token(unsigned type, const Wstring& text, size_t start) { tokens.push_back({type, text, u"", start}); }
  void trailer(const Wstring& whitespace, size_t start) {
    if (tokens.empty()) tokens.push_back({tkn::TKN_TOKEN_WHITESPACE, u"", u"", start});
    tokens.back().trailer = whitespace;
  }

  std::string str() const {
    std::string out;
    for (const Token& t : tokens) {
      if (!out.empty()) out += ' ';
      out += type_name(t.type);
      out += '[';
      append_utf8(out, t.text);
      out += ']';
      if (!t.trailer.empty()) {
        out += '<';
        append_utf8(out, t.trailer);
        out += '>';
      }
      out += '@' + std::to_string(t.start);
    }
    return out;
  }
};

std::string tokens_of(const Wstring& text) {
  Listing_sink sink;
  drive(text, sink);
  return sink.str();
}

template <class F>
void expect_logic_error(F&& f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no exception; expected: " << message;
  } catch (const std::logic_error& e) {
    EXPECT_EQ(e.what(), message);
  }
}

TEST(TknTokeniser, EmptyTextGivesNoTokens) {
  EXPECT_EQ(tokens_of(u""), "");

  Tkn_tokeniser tokeniser;
  Wstring buffer = u"x";
  unsigned type = 0;
  Tkn_parse_operation op = tkn::TKN_PARSE_START;
  tokeniser.breakpoint(buffer, type, op);
  EXPECT_EQ(op, tkn::TKN_PARSE_SKIP);
  EXPECT_EQ(type, tkn::TKN_TOKEN_WHITESPACE);
}

TEST(TknTokeniser, WhitespaceBecomesTheTrailerOfTheTokenBefore) {
  EXPECT_EQ(tokens_of(u"   "), "ws[]<   >@0");
  EXPECT_EQ(tokens_of(u" \t\u00A0ab"), "ws[]< \t\u00A0>@0 word[ab]@3");
  EXPECT_EQ(tokens_of(u"ab \r\ncd "), "word[ab]< \r\n>@0 word[cd]< >@5");
  // Code point 0 belongs to nothing and is dropped.
  EXPECT_EQ(tokens_of(Wstring(u"a\0b", 3)), "word[a]@0 word[b]@2");
  EXPECT_EQ(tokens_of(Wstring(u"\0\0a", 3)), "word[a]@2");
}

TEST(TknTokeniser, TokenClasses) {
  EXPECT_EQ(tokens_of(u"A-B"), "word[A]@0 punct[-]@1 word[B]@2");
  EXPECT_EQ(tokens_of(u"3.14"), "num[3]@0 punct[.]@1 num[14]@2");
  EXPECT_EQ(tokens_of(u"a^b"), "word[a]@0 sym[^]@1 word[b]@2");
  // Digits continue a word, letters end a number.
  EXPECT_EQ(tokens_of(u"x2y 42abc"), "word[x2y]< >@0 num[42]@4 word[abc]@6");
  EXPECT_EQ(tokens_of(u"\u20AC5\u00A9"), "punct[\u20AC]@0 num[5]@1 sym[\u00A9]@2");
  // Each ideograph is a word of its own.
  EXPECT_EQ(tokens_of(u"\u4E2D\u6587a"), "word[\u4E2D]@0 word[\u6587]@1 word[a]@2");
  // A replacement character stays inside a word but is a symbol elsewhere.
  EXPECT_EQ(tokens_of(u"ab\uFFFDc \uFFFD"), "word[ab\uFFFDc]< >@0 sym[\uFFFD]@5");
  // Punctuation is one character at a time.
  EXPECT_EQ(tokens_of(u"--"), "punct[-]@0 punct[-]@1");
}

TEST(TknTokeniser, CombiningMarksJoinTheCharacterBeforeOrAreDropped) {
  EXPECT_EQ(tokens_of(u"e\u0301t\u0301"), "word[e\u0301t\u0301]@0");
  EXPECT_EQ(tokens_of(u"\u0301e"), "word[e]@1");
  EXPECT_EQ(tokens_of(u"a \u0301b"), "word[a]< >@0 word[b]@3");
  EXPECT_EQ(tokens_of(u" \u0301"), "ws[]< >@0");
  EXPECT_EQ(tokens_of(u"-\u0301\u0302x"), "punct[-\u0301\u0302]@0 word[x]@3");
  EXPECT_EQ(tokens_of(u"1\u0301^\u0301\u4E2D\u0301"), "num[1\u0301]@0 sym[^\u0301]@2 word[\u4E2D\u0301]@4");
}

TEST(TknTokeniser, ApostropheStaysInAWordOnlyBeforeALetter) {
  EXPECT_EQ(tokens_of(u"don't"), "word[don't]@0");
  EXPECT_EQ(tokens_of(u"O'Neil's"), "word[O'Neil's]@0");
  EXPECT_EQ(tokens_of(u"dogs'"), "word[dogs]@0 punct[']@4");
  EXPECT_EQ(tokens_of(u"dogs' tails"), "word[dogs]@0 punct[']< >@4 word[tails]@6");
  EXPECT_EQ(tokens_of(u"dogs'x"), "word[dogs'x]@0");
  EXPECT_EQ(tokens_of(u"dogs'9"), "word[dogs]@0 punct[']@4 num[9]@5");
  EXPECT_EQ(tokens_of(u"don''t"), "word[don]@0 punct[']@3 punct[']@4 word[t]@5");
}

TEST(TknTokeniser, ApostropheSAfterANumberMakesOneWord) {
  EXPECT_EQ(tokens_of(u"1990's "), "word[1990's]< >@0");
  EXPECT_EQ(tokens_of(u"1990's"), "word[1990's]@0");
  EXPECT_EQ(tokens_of(u"1990's,"), "word[1990's]@0 punct[,]@6");
  EXPECT_EQ(tokens_of(u"1990'sx"), "num[1990]@0 punct[']@4 word[sx]@5");
  EXPECT_EQ(tokens_of(u"1990's5"), "num[1990]@0 punct[']@4 word[s5]@5");
  EXPECT_EQ(tokens_of(u"1990'"), "num[1990]@0 punct[']@4");
  EXPECT_EQ(tokens_of(u"1990't"), "num[1990]@0 punct[']@4 word[t]@5");
}

TEST(TknTokeniser, ApostropheTwoDigitsSMakesOneWord) {
  EXPECT_EQ(tokens_of(u"'90s"), "word['90s]@0");
  EXPECT_EQ(tokens_of(u"'90s."), "word['90s]@0 punct[.]@4");
  EXPECT_EQ(tokens_of(u"the '90s "), "word[the]< >@0 word['90s]< >@4");
  EXPECT_EQ(tokens_of(u"'90"), "punct[']@0 num[90]@1");
  EXPECT_EQ(tokens_of(u"'90st"), "punct[']@0 num[90]@1 word[st]@3");
  EXPECT_EQ(tokens_of(u"'9"), "punct[']@0 num[9]@1");
  EXPECT_EQ(tokens_of(u"'9s"), "punct[']@0 num[9]@1 word[s]@2");
  EXPECT_EQ(tokens_of(u"'900s"), "punct[']@0 num[900]@1 word[s]@4");
  EXPECT_EQ(tokens_of(u"'x"), "punct[']@0 word[x]@1");
}

// The rules above, with U+2019 for the apostrophe and every form of s.
TEST(TknTokeniser, ApostropheRulesHoldForTheRightQuoteAndAnyS) {
  struct Case {
    const char16_t* text;
    const char* expected;
  };
  // '#' stands for the apostrophe, '$' for the s.
  const Case cases[] = {
      {u"don#t", "word[don#t]@0"},
      {u"dogs#", "word[dogs]@0 punct[#]@4"},
      {u"1990#$ ", "word[1990#$]< >@0"},
      {u"1990#$x", "num[1990]@0 punct[#]@4 word[$x]@5"},
      {u"1990#", "num[1990]@0 punct[#]@4"},
      {u"#90$", "word[#90$]@0"},
      {u"#90$t", "punct[#]@0 num[90]@1 word[$t]@3"},
      {u"#9", "punct[#]@0 num[9]@1"},
  };
  const Wstring apostrophes[] = {u"'", u"\u2019"};
  const Wstring esses[] = {u"s", u"S", u"\uFF53", u"\uFF33"};
  for (const Wstring& apostrophe : apostrophes) {
    for (const Wstring& s : esses) {
      std::string apostrophe8, s8;
      append_utf8(apostrophe8, apostrophe);
      append_utf8(s8, s);
      for (const Case& c : cases) {
        Wstring text = c.text;
        for (auto& unit : text) {
          if (unit == u'#') unit = apostrophe[0];
          if (unit == u'$') unit = s[0];
        }
        std::string expected;
        for (const char* p = c.expected; *p; ++p) {
          if (*p == '#') expected += apostrophe8;
          else if (*p == '$') expected += s8;
          else expected += *p;
        }
        SCOPED_TRACE(expected);
        EXPECT_EQ(tokens_of(text), expected);
      }
    }
  }
  // A different letter does not do.
  EXPECT_EQ(tokens_of(u"1990't "), "num[1990]@0 punct[']@4 word[t]< >@5");
  EXPECT_EQ(tokens_of(u"'90\u015B"), "punct[']@0 num[90]@1 word[\u015B]@3");
}

TEST(TknTokeniser, CodePointsBeyondTheTable) {
  // A supplementary letter is one code point but two units.
  EXPECT_EQ(tokens_of(u"\U0001D400b"), "word[\U0001D400b]@0");
  // Above U+2FFFF the classes come from the general category: a variation
  // selector is a mark, an ideograph of extension G a word of its own.
  EXPECT_EQ(tokens_of(u"a\U000E0100"), "word[a\U000E0100]@0");
  EXPECT_EQ(tokens_of(u"\U00030000\U00030001"), "word[\U00030000]@0 word[\U00030001]@2");
  // A lone surrogate counts as a letter (it is listed as U+FFFD here).
  EXPECT_EQ(tokens_of(Wstring(u"a") + char16_t(0xDC00) + u"b"), "word[a\uFFFDb]@0");
}

TEST(TknTokeniser, CodePointBeyondUnicodeIsStoredAsReplacementCharacter) {
  Tkn_tokeniser tokeniser;
  Wstring buffer;
  unsigned type = 0;
  Tkn_parse_operation op;
  tokeniser.process('a', buffer, type, op);
  tokeniser.process(0x20, buffer, type, op);
  ASSERT_EQ(op, tkn::TKN_PARSE_EMIT_TOKEN);
  // Unassigned, so whitespace; a surrogate pair computed from it would not
  // be UTF-16.
  tokeniser.process(0x110000, buffer, type, op);
  EXPECT_EQ(op, tkn::TKN_PARSE_START);
  EXPECT_EQ(buffer, u"\uFFFD");
}

TEST(TknTokeniser, ProtocolViolationsAreLogicErrors) {
  const std::string not_apostrophe = "Tkn_tokeniser::process - character should be an apostrophe";
  const std::string apostrophe_lost = "Tkn_tokeniser::breakpoint - apostrophe has been lost";
  Wstring buffer;
  unsigned type = 0;
  Tkn_parse_operation op;

  // Feeding a different code point after a checkpoint, or ending the input
  // there, each time the checkpoint came after a word or after a number.
  for (const char16_t first : {u'a', u'1'}) {
    Tkn_tokeniser tokeniser;
    tokeniser.process(first, buffer, type, op);
    tokeniser.process('\'', buffer, type, op);
    ASSERT_EQ(op, tkn::TKN_PARSE_CHECKPOINT);
    Tkn_tokeniser at_checkpoint = tokeniser;
    expect_logic_error([&] { tokeniser.process('x', buffer, type, op); }, not_apostrophe);
    expect_logic_error([&] { at_checkpoint.breakpoint(buffer, type, op); }, apostrophe_lost);
  }

  // A rollback to the apostrophe not obeyed.
  {
    Tkn_tokeniser tokeniser;
    tokeniser.process('a', buffer, type, op);
    tokeniser.process('\'', buffer, type, op);  // checkpoint
    tokeniser.process('\'', buffer, type, op);  // fed again
    tokeniser.process('-', buffer, type, op);
    ASSERT_EQ(op, tkn::TKN_PARSE_ROLLBACK);
    Tkn_tokeniser after_rollback = tokeniser;
    expect_logic_error([&] { tokeniser.process('-', buffer, type, op); }, not_apostrophe);
    expect_logic_error([&] { after_rollback.breakpoint(buffer, type, op); }, apostrophe_lost);
  }

  // After an apostrophe: a digit checkpointed but not fed again, and a
  // rollback to the digit not obeyed.
  {
    Tkn_tokeniser tokeniser;
    tokeniser.process('\'', buffer, type, op);
    tokeniser.process('9', buffer, type, op);
    ASSERT_EQ(op, tkn::TKN_PARSE_CHECKPOINT);
    expect_logic_error([&] { tokeniser.process('x', buffer, type, op); },
                       "Tkn_tokeniser::process - character should be a number");
  }
  {
    Tkn_tokeniser tokeniser;
    tokeniser.process('\'', buffer, type, op);
    tokeniser.process('9', buffer, type, op);  // checkpoint
    tokeniser.process('9', buffer, type, op);  // fed again
    tokeniser.breakpoint(buffer, type, op);
    ASSERT_EQ(op, tkn::TKN_PARSE_ROLLBACK);
    expect_logic_error([&] { tokeniser.breakpoint(buffer, type, op); },
                       "Tkn_tokeniser::breakpoint - number has been lost");
  }
}

TEST(TknTokeniser, CopyCarriesTheStateAndResetDropsIt) {
  Tkn_tokeniser tokeniser;
  Wstring buffer;
  unsigned type = 0;
  Tkn_parse_operation op;
  tokeniser.process('a', buffer, type, op);

  Tkn_tokeniser copy;
  copy = tokeniser;
  copy.breakpoint(buffer, type, op);
  EXPECT_EQ(op, tkn::TKN_PARSE_EMIT_TOKEN);

  tokeniser.reset();
  tokeniser.breakpoint(buffer, type, op);
  EXPECT_EQ(op, tkn::TKN_PARSE_SKIP);
}

// The same driving, building a real view of physical tokens as the tool
// does, so that the tokeniser's output is checked where it is consumed.
struct View_sink {
  tkn::Tkn_text_view view{0, nullptr};
  // Declared after the view: tokens must go while their view lives.
  std::vector<std::unique_ptr<tkn::Tkn_physical_token>> tokens;

  View_sink() { view.start_content(); }

  void token(unsigned type, const Wstring& text, size_t) {
    tokens.push_back(std::make_unique<tkn::Tkn_physical_token>(type, text, &view));
    view.add_content(tokens.back().get());
  }
  void trailer(const Wstring& whitespace, size_t) {
    if (view.cback() == nullptr) token(tkn::TKN_TOKEN_WHITESPACE, u"", 0);
    view.cback()->trailer_text(whitespace);
  }
};

TEST(TknTokeniserView, OnlySpacesGiveOneWhitespaceTokenWithACappedTrailer) {
  View_sink sink;
  drive(u"            ", sink);  // twelve spaces
  sink.view.end_content();

  const tkn::Tkn_physical_token* token = sink.view.cfront();
  ASSERT_NE(token, nullptr);
  EXPECT_EQ(token, sink.view.cback());
  EXPECT_EQ(token->type(), tkn::TKN_TOKEN_WHITESPACE);
  EXPECT_EQ(token->crc(tkn::TKN_FORM_SOURCE), tkn::TKN_EMPTY_STRING_KEY);
  EXPECT_EQ(Wstring(token->trailer_text(tkn::TKN_FORM_SOURCE)), u"          ");
}

TEST(TknTokeniserView, TokenCrcsAreThoseOfTheTokenTexts) {
  View_sink sink;
  drive(u"  don't 1990's \u2019\uFF19\uFF10\uFF53!", sink);
  sink.view.end_content();

  std::vector<krn::uint64> crcs;
  for (const tkn::Tkn_token* t = sink.view.cfront(); t != nullptr; t = t->next())
    crcs.push_back(t->crc(tkn::TKN_FORM_SOURCE));
  const std::vector<krn::uint64> expected = {
      tkn::TKN_EMPTY_STRING_KEY,
      tkn::tkn_string_key(u"don't"),
      tkn::tkn_string_key(u"1990's"),
      tkn::tkn_string_key(u"\u2019\uFF19\uFF10\uFF53"),
      tkn::tkn_string_key(u"!"),
  };
  EXPECT_EQ(crcs, expected);
  EXPECT_EQ(sink.view.word_token_count(), 3u);
  EXPECT_EQ(sink.view.punctuation_token_count(), 1u);
}

}  // namespace
