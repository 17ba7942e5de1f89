#include "tkn/tkn_token.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "tkn/tkn_text_view.h"
#include "tkn_test_text.h"

namespace {

using krn::Wstring;
using namespace tkn;
using tkn_test::Test_text;
using tkn_test::text_of;
using tkn_test::thrown_message;
using It = Tkn_token_character_iterator;

TEST(TknPhysicalToken, ChecksItsArguments) {
  Tkn_text_view view(0, nullptr);
  EXPECT_EQ(thrown_message([&] { Tkn_physical_token t(0x01000020, u"x", &view); }),
            "Tkn_physical_token::Tkn_physical_token - invalid token type");
  EXPECT_EQ(thrown_message([&] { Tkn_physical_token t(TKN_TOKEN_WORD, u"x", nullptr); }), "Tkn_token::Tkn_token - view_p is null");
  // The token accepts 0x01000013; the text table does not.
  EXPECT_EQ(thrown_message([&] { Tkn_physical_token t(0x01000013, u"x", &view); }),
            "Tkn_text_table::insert_text - invalid token type");

  Tkn_physical_token token(TKN_TOKEN_NUMBER, u"42", &view);
  EXPECT_EQ(token.position(), 0u);
  EXPECT_EQ(thrown_message([&] { token.position(0); }), "Tkn_physical_token::position - position is invalid");
  token.position(3);
  EXPECT_EQ(token.position(), 3u);
}

TEST(TknPhysicalToken, ReadsTheFormsOfItsInternedText) {
  Test_text text(u"  Ｗｏｒｌｄ! ");
  Tkn_physical_token& lead = text[0];
  Tkn_physical_token& word = text[1];
  EXPECT_EQ(lead.type(), TKN_TOKEN_WHITESPACE);
  EXPECT_EQ(lead.crc(TKN_FORM_SOURCE), 0xFFFFFFFFFFFFFFD5ull);
  EXPECT_EQ(Wstring(lead.trailer_text(TKN_FORM_SOURCE)), u"  ");

  EXPECT_EQ(text_of(word, TKN_FORM_SOURCE), u"Ｗｏｒｌｄ!");
  EXPECT_EQ(text_of(word, TKN_FORM_NORMALISED), u"World!");
  EXPECT_EQ(text_of(word, TKN_FORM_LOWER), u"world!");
  EXPECT_EQ(word.crc(TKN_FORM_LOWER), tkn_string_key(u"world!"));
  // Without a safe text, form 3 is form 1.
  EXPECT_EQ(word.text_entry(TKN_FORM_SAFE), word.text_entry(TKN_FORM_NORMALISED));
  EXPECT_TRUE(word.is_text(TKN_FORM_LOWER, word.text_entry(TKN_FORM_LOWER)));
  EXPECT_FALSE(word.is_text(TKN_FORM_SOURCE, word.text_entry(TKN_FORM_LOWER)));

  EXPECT_EQ(word.formatted_text(TKN_SIMPLE_FORMAT_ID), word.text_entry(TKN_FORM_NORMALISED));
  const krn::GUID other{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(word.formatted_text(other), word.text_entry(TKN_FORM_LOWER));
  EXPECT_EQ(word.formatted_text_length(other), 6u);
  EXPECT_TRUE(word.is_text(other, word.text_entry(TKN_FORM_LOWER)));
  EXPECT_FALSE(word.is_text(TKN_SIMPLE_FORMAT_ID, word.text_entry(TKN_FORM_LOWER)));

  EXPECT_EQ(Wstring(word.trailer_text(TKN_FORM_SOURCE)), u" ");
  EXPECT_TRUE(word.is_trailer(TKN_FORM_SAFE, word.trailer_entry(TKN_FORM_NORMALISED)));
  // Plain tokens have no source to edit.
  EXPECT_FALSE(word.redact(0, 1));
  EXPECT_FALSE(word.modify(u"x", u"", u""));
  EXPECT_FALSE(word.remove());
}

TEST(TknPhysicalToken, TrailersKeepAtMostTenUnits) {
  Tkn_text_view view(0, nullptr);
  Tkn_physical_token token(TKN_TOKEN_WORD, u"a", &view);
  token.trailer_text(u"123456789012");
  EXPECT_EQ(Wstring(token.trailer_text(TKN_FORM_SOURCE)), u"1234567890");
  EXPECT_EQ(token.trailer_length(TKN_FORM_SOURCE), 10u);
  // A cut through a surrogate pair keeps the pair out entirely.
  token.trailer_text(u"         \U000E0020 ");
  EXPECT_EQ(Wstring(token.trailer_text(TKN_FORM_SOURCE)), u"         ");
  token.trailer_text(Wstring());
  EXPECT_EQ(token.trailer_entry(TKN_FORM_SOURCE), &Tkn_text::EMPTY_STRING);
}

TEST(TknPhysicalToken, MakeSafeBlanksCharacters) {
  Test_text text(u"abc abc abc abc a\U0001F600c");
  Tkn_token& all = text[0];
  Tkn_token& middle = text[1];
  Tkn_token& beyond = text[2];
  Tkn_token& twice = text[3];
  Tkn_token& wide = text[4];

  all.make_safe(0, 0);
  EXPECT_EQ(text_of(all, TKN_FORM_SAFE), u"***");
  EXPECT_EQ(all.crc(TKN_FORM_SAFE), tkn_string_key(u"***"));
  EXPECT_EQ(text_of(all, TKN_FORM_SOURCE), u"abc");
  middle.make_safe(1, 1);
  EXPECT_EQ(text_of(middle, TKN_FORM_SAFE), u"a*c");
  beyond.make_safe(5, 1);
  EXPECT_EQ(text_of(beyond, TKN_FORM_SAFE), u"abc");
  // Calls compose; a count past the end stops at the end.
  twice.make_safe(2, 0);
  twice.make_safe(0, 1);
  EXPECT_EQ(text_of(twice, TKN_FORM_SAFE), u"*b*");
  text.view.set_redaction_character(0x1F512);
  wide.make_safe(1, 9);
  EXPECT_EQ(text_of(wide, TKN_FORM_SAFE), u"a\U0001F512\U0001F512");
}

TEST(TknToken, LinkInsertsAChainAndUnlinkJoinsTheNeighbours) {
  Tkn_text_view view(0, nullptr);
  Tkn_physical_token a(TKN_TOKEN_WORD, u"a", &view), b(TKN_TOKEN_WORD, u"b", &view), c(TKN_TOKEN_WORD, u"c", &view),
      d(TKN_TOKEN_WORD, u"d", &view);
  a.link(&d);
  b.link(&c);
  a.link(&b);  // a b c d
  EXPECT_EQ(a.next(), &b);
  EXPECT_EQ(c.next(), &d);
  EXPECT_EQ(d.previous(), &c);
  EXPECT_EQ(b.previous(), &a);

  EXPECT_EQ(thrown_message([&] { a.link(nullptr); }), "Tkn_token::join - other_p is null");
  EXPECT_THROW(c.link(&a), std::invalid_argument);  // would close a cycle
  EXPECT_EQ(d.next(), nullptr);

  b.unlink();
  EXPECT_EQ(a.next(), &c);
  EXPECT_EQ(c.previous(), &a);
  EXPECT_EQ(b.next(), nullptr);
  EXPECT_EQ(b.previous(), nullptr);

  Tkn_physical_token copy(c);
  EXPECT_EQ(copy.next(), nullptr);
  EXPECT_EQ(copy.previous(), nullptr);
  EXPECT_EQ(copy.token_text(), c.token_text());
  EXPECT_EQ(copy.view(), &view);
  {
    Tkn_physical_token doomed(TKN_TOKEN_WORD, u"x", &view);
    c.link(&doomed);
  }
  // Destruction unlinked it again.
  EXPECT_EQ(c.next(), &d);
  EXPECT_EQ(d.previous(), &c);
}

TEST(TknToken, OverlapsAndOrderingOfExtentsInOneToken) {
  Test_text text(u"abcdef");
  Tkn_physical_token& token = text[0];
  auto span = [&](std::size_t front, std::size_t back) {
    return std::make_unique<Tkn_irregular_virtual_token>(0x10, &text.view, It(&token, front, TKN_FORM_NORMALISED),
                                                         It(&token, back, TKN_FORM_NORMALISED));
  };
  auto base = span(0, 3);
  struct Case {
    std::size_t front, back;
    bool overlaps;
  } cases[] = {{0, 3, false}, {1, 2, false}, {1, 3, true}, {0, 2, true}, {2, 5, true}, {4, 5, false}};
  for (const Case& c : cases) {
    auto other = span(c.front, c.back);
    EXPECT_EQ(base->overlaps(other.get()), c.overlaps) << c.front << "," << c.back;
  }

  auto inner = span(1, 2);
  auto later = span(4, 5);
  EXPECT_TRUE(base->contains(inner.get()));
  EXPECT_FALSE(inner->contains(base.get()));
  EXPECT_TRUE(base->is_before(later.get(), false));
  EXPECT_FALSE(base->is_before(inner.get(), false));
  EXPECT_TRUE(base->is_before(inner.get(), true));
  EXPECT_TRUE(later->is_after(base.get(), false));
  EXPECT_TRUE(inner->is_after(base.get(), true));
  // The physical token ends on its last unit.
  EXPECT_TRUE(token.contains(later.get()));

  EXPECT_EQ(thrown_message([&] { base->overlaps(nullptr); }), "Tkn_token::overlaps - other_p is null");
  EXPECT_EQ(thrown_message([&] { base->contains(nullptr); }), "Tkn_token::contains - other_p is null");
  EXPECT_EQ(thrown_message([&] { base->is_before(nullptr, true); }), "Tkn_token::is_before - other_p is null");
  EXPECT_EQ(thrown_message([&] { base->is_after(nullptr, true); }), "Tkn_token::is_after - other_p is null");
}

TEST(TknVirtualToken, SpansTokensAndIsAssociatedWithThem) {
  Test_text text(u"The Cat  sat");
  auto* v = new Tkn_virtual_token(0x100, &text.view, &text[0], &text[1]);
  text.view.add_virtual_token(v);
  EXPECT_EQ(text_of(*v, TKN_FORM_SOURCE), u"The Cat");
  EXPECT_EQ(text_of(*v, TKN_FORM_LOWER), u"the cat");
  EXPECT_EQ(Wstring(v->trailer_text(TKN_FORM_SOURCE)), u"  ");
  EXPECT_EQ(v->position(), 1u);
  EXPECT_EQ(v->previous(), nullptr);
  EXPECT_EQ(v->next(), &text[2]);
  EXPECT_TRUE(v->is_regular());
  EXPECT_FALSE(v->is_sensitive());
  EXPECT_EQ(v->pfront(), &text[0]);
  EXPECT_EQ(v->pback(), &text[1]);
  EXPECT_TRUE(v->contains(&text[1]));
  EXPECT_FALSE(v->contains(&text[2]));

  EXPECT_EQ(text[0].vtokens(), std::vector<Tkn_virtual_token*>{v});
  EXPECT_EQ(text[1].vtokens(), std::vector<Tkn_virtual_token*>{v});
  EXPECT_TRUE(text[2].vtokens().empty());

  text.view.purge(0x100);
  EXPECT_TRUE(text[0].vtokens().empty());
  EXPECT_TRUE(text[1].vtokens().empty());
  // The chain is as it was.
  EXPECT_EQ(text[0].next(), &text[1]);
  EXPECT_EQ(text[2].previous(), &text[1]);

  EXPECT_EQ(thrown_message([&] { Tkn_virtual_token t(1, nullptr, &text[0], &text[1]); }), "Tkn_token::Tkn_token - view_p is null");
  EXPECT_EQ(thrown_message([&] { Tkn_virtual_token t(1, &text.view, nullptr, &text[1]); }), "Tkn_token::Tkn_token - first_p is null");
  EXPECT_EQ(thrown_message([&] { Tkn_virtual_token t(1, &text.view, &text[0], nullptr); }), "Tkn_token::Tkn_token - last_p is null");
  EXPECT_THROW(Tkn_virtual_token(1, &text.view, &text[2], &text[0]), std::invalid_argument);
  EXPECT_TRUE(text[0].vtokens().empty());
}

TEST(TknVirtualToken, MakeSafeSpreadsOverTheSpan) {
  struct Case {
    std::size_t start, count;
    const char16_t* expected;
    bool touches_a_token;
  } cases[] = {
      {0, 0, u"** ** ** gh", true},   // every token, trailers untouched
      {1, 5, u"a* ** ef gh", true},   // runs through a trailer into the next token
      {2, 3, u"ab ** ef gh", true},   // starts in a trailer
      {3, 1, u"ab *d ef gh", true},   // inside one token
      {4, 0, u"ab c* ** gh", true},   // count 0: to the end of the span
      {2, 1, u"ab cd ef gh", false},  // only a trailer
      {7, 9, u"ab cd e* gh", true},   // cut at the end of the span
  };
  for (const Case& c : cases) {
    Test_text text(u"ab cd ef gh");
    auto* v = new Tkn_virtual_token(1, &text.view, &text[0], &text[2]);
    text.view.add_virtual_token(v);
    EXPECT_EQ(Wstring(v->text(TKN_FORM_SAFE)), u"ab cd ef");
    v->make_safe(c.start, c.count);
    Wstring all;
    for (auto& token : text.tokens) all += text_of(*token, TKN_FORM_SAFE) + token->trailer_text(TKN_FORM_SAFE);
    EXPECT_EQ(all, c.expected) << c.start << "," << c.count;
    // The span's safe text follows its tokens.
    EXPECT_EQ(Wstring(v->text(TKN_FORM_SAFE)), all.substr(0, 8));
    // Plain physical tokens refuse redaction, and so does the span as soon
    // as it asks one of them.
    EXPECT_EQ(v->redact(c.start, c.count), !c.touches_a_token);
  }
}

TEST(TknVirtualToken, ModifyNeedsTokensThatCanBeEdited) {
  Test_text text(u"ab cd");
  auto* v = new Tkn_virtual_token(1, &text.view, &text[0], &text[1]);
  text.view.add_virtual_token(v);
  EXPECT_FALSE(v->modify(u"", u"", u""));
  EXPECT_FALSE(v->modify(u"x", u"", u""));
  EXPECT_FALSE(v->modify(u"", u"<", u""));
}

TEST(TknIrregularVirtualToken, CutsItsTextFromCharacterOffsets) {
  Test_text text(u"Hello big World  ");
  auto* v = new Tkn_irregular_virtual_token(2, &text.view, It(&text[0], 3, TKN_FORM_LOWER), It(&text[2], 2, TKN_FORM_LOWER));
  text.view.add_virtual_token(v);
  EXPECT_EQ(text_of(*v, TKN_FORM_SOURCE), u"lo big Wor");
  EXPECT_EQ(text_of(*v, TKN_FORM_LOWER), u"lo big wor");
  EXPECT_FALSE(v->is_regular());
  EXPECT_EQ(v->trailer_length(TKN_FORM_SOURCE), 0u);
  Wstring out;
  v->preamble(TKN_FORM_SOURCE, out);
  EXPECT_EQ(out, u"Hel");
  v->postamble(TKN_FORM_SOURCE, out);
  EXPECT_EQ(out, u"ld  ");
  EXPECT_FALSE(v->modify(u"x", u"", u""));

  v->make_safe(1, 4);
  EXPECT_EQ(text_of(text[0], TKN_FORM_SAFE), u"Hell*");
  EXPECT_EQ(text_of(text[1], TKN_FORM_SAFE), u"**g");
  EXPECT_EQ(Wstring(v->text(TKN_FORM_SAFE)), u"l* **g Wor");
  // A start past the span does nothing.
  v->make_safe(10, 1);
  EXPECT_EQ(Wstring(v->text(TKN_FORM_SAFE)), u"l* **g Wor");
  EXPECT_FALSE(v->redact(10, 1));

  // Ending on the last character of a token takes over its trailer.
  auto* whole = new Tkn_irregular_virtual_token(2, &text.view, It(&text[1], 1, TKN_FORM_NORMALISED),
                                                It(&text[2], 4, TKN_FORM_NORMALISED));
  text.view.add_virtual_token(whole);
  EXPECT_EQ(text_of(*whole, TKN_FORM_SOURCE), u"ig World");
  EXPECT_EQ(Wstring(whole->trailer_text(TKN_FORM_SOURCE)), u"  ");

  EXPECT_EQ(thrown_message([&] {
              Tkn_irregular_virtual_token t(2, &text.view, It(&text[0], 0, TKN_FORM_SOURCE), It(&text[0], 1, TKN_FORM_SOURCE));
            }),
            "Tkn_irregular_virtual_token::Tkn_irregular_virtual_token - not normalised text");
  EXPECT_THROW(Tkn_irregular_virtual_token(2, &text.view, It(&text[0], 0, TKN_FORM_NORMALISED), It(&text[0], 1, TKN_FORM_LOWER)),
               std::invalid_argument);
}

TEST(TknWrappingToken, StandsForTheWrappedToken) {
  Test_text source(u"Word tail");
  Tkn_text_view container(0, nullptr);
  Tkn_wrapping_token wrapper(source[0], container);
  EXPECT_EQ(wrapper.type(), TKN_TOKEN_WORD);
  EXPECT_EQ(wrapper.view(), &container);
  EXPECT_EQ(wrapper.wrapped(), &source[0]);
  EXPECT_EQ(wrapper.text_entry(TKN_FORM_LOWER), source[0].text_entry(TKN_FORM_LOWER));
  EXPECT_EQ(wrapper.crc(TKN_FORM_SOURCE), source[0].crc(TKN_FORM_SOURCE));
  EXPECT_EQ(wrapper.length(TKN_FORM_SOURCE), 4u);
  EXPECT_EQ(Wstring(wrapper.trailer_text(TKN_FORM_SOURCE)), u" ");

  wrapper.trailer_text(u"; ");
  EXPECT_EQ(Wstring(wrapper.trailer_text(TKN_FORM_SOURCE)), u"; ");
  EXPECT_EQ(Wstring(source[0].trailer_text(TKN_FORM_SOURCE)), u" ");

  static_cast<Tkn_token&>(wrapper).make_safe(0, 2);
  EXPECT_EQ(text_of(source[0], TKN_FORM_SAFE), u"**rd");
  EXPECT_EQ(text_of(wrapper, TKN_FORM_SAFE), u"**rd");

  wrapper.position(5);
  Test_text four(u"abcd");
  auto later = std::make_unique<Tkn_irregular_virtual_token>(1, &four.view, It(&four[0], 3, TKN_FORM_NORMALISED),
                                                             It(&four[0], 3, TKN_FORM_NORMALISED));
  // Extent (5,0)..(5,3) against (1,3)..(1,3).
  EXPECT_TRUE(wrapper.is_after(later.get(), false));
}

}  // namespace
