#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec/dfc_format_codec.h"
#include "codec/dff_facets.h"
#include "codec/tkndfc_format_codec.h"
#include "krn/krn_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "tkn/tkn_text_view.h"
#include "tkn/tkn_token.h"
#include "tkn/tkn_types.h"

namespace {

using krn::Krn_status;
using krn::Wstring;
using tkndfc::Tkndfc_format_codec;
using tkndfc::Tkndfc_physical_token;

// What the tool needs of a token, plus where it starts in the content.
struct Token {
  unsigned type;
  Wstring text;
  Wstring trailer;
  std::uint64_t offset;
  std::uint64_t crc;
};

std::vector<Token> tokens_of(tkn::Tkn_text_view* view) {
  std::vector<Token> out;
  for (tkn::Tkn_physical_token* token = view->cfront(); token != nullptr;
       token = static_cast<tkn::Tkn_physical_token*>(token->next())) {
    auto* own = dynamic_cast<Tkndfc_physical_token*>(token);
    EXPECT_NE(own, nullptr);
    out.push_back({token->type(), token->text(tkn::TKN_FORM_SOURCE), token->trailer_text(tkn::TKN_FORM_SOURCE),
                   own ? own->content_offset() : ~0ull, token->crc(tkn::TKN_FORM_SOURCE)});
  }
  return out;
}

tkn::Tkn_text_view* first_view(Tkndfc_format_codec& codec) {
  unsigned cookie = 0;
  tkn::Tkn_text_view* view = codec.view(0, cookie);
  EXPECT_EQ(cookie, dff::DFF_NO_MORE_VIEWS);
  return view;
}

// A codec over a string, set up as the tool sets it up unless told otherwise.
struct Text_codec {
  Wstring text;
  krn::Krn_wstring_buffer buffer{text};
  dfc::Dfc_facet_set facets{dff::DFF_TEXT_FACET_ID};
  Tkndfc_format_codec codec;
  Krn_status status;

  explicit Text_codec(Wstring value, bool all_facets = false, bool tokenise_empty = false)
      : text(std::move(value)), codec(all_facets ? nullptr : &facets, nullptr, nullptr, tokenise_empty) {
    codec.attach(&buffer, status);
  }
  std::vector<Token> tokens() {
    tkn::Tkn_text_view* view = first_view(codec);
    return view ? tokens_of(view) : std::vector<Token>{};
  }
  Tkndfc_physical_token* token(std::size_t index) {
    tkn::Tkn_token* token = first_view(codec)->cfront();
    for (std::size_t i = 0; i < index && token != nullptr; ++i) token = token->next();
    return static_cast<Tkndfc_physical_token*>(token);
  }
};

Wstring read_all(const krn::Krn_buffer& buffer) {
  Krn_status status;
  krn::Krn_unbuffered_istream input(buffer, false, status);
  const auto size = input.size(status);
  Wstring out(static_cast<std::size_t>(size) / 2, u'\0');
  input.read_at(0, out.size() * 2, out.data(), status);
  EXPECT_TRUE(status.ok());
  return out;
}

// Composes, or fails the test; the codec stays usable.
Wstring composed(Tkndfc_format_codec& codec) {
  Krn_status status;
  std::unique_ptr<krn::Krn_buffer> out(codec.compose(status));
  EXPECT_TRUE(status.ok());
  if (!out) {
    ADD_FAILURE() << "nothing composed";
    return Wstring();
  }
  return read_all(*out);
}

template <class F>
std::string error_text(F&& call) {
  try {
    call();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "no exception";
}

TEST(TkndfcCodecView, EmptyContentGivesNoViewUnlessAskedTo) {
  for (const Wstring& value : {Wstring(), Wstring(u"\uFEFF")}) {
    Text_codec empty(value);
    EXPECT_TRUE(empty.status.ok());
    EXPECT_EQ(first_view(empty.codec), nullptr);

    Text_codec tokenised(value, false, true);
    tkn::Tkn_text_view* view = first_view(tokenised.codec);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->cfront(), nullptr);
  }
}

TEST(TkndfcCodecView, LeadingWhitespaceHangsOnAnEmptyToken) {
  Text_codec value(u"  ab");
  const std::vector<Token> tokens = value.tokens();
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_EQ(tokens[0].type, tkn::TKN_TOKEN_WHITESPACE);
  EXPECT_EQ(tokens[0].text, u"");
  EXPECT_EQ(tokens[0].crc, 0xFFFFFFFFFFFFFFD5ull);
  EXPECT_EQ(tokens[0].trailer, u"  ");
  EXPECT_EQ(tokens[1].text, u"ab");
  EXPECT_EQ(tokens[1].offset, 4u);
  EXPECT_EQ(tokens[1].crc, tkn::tkn_string_key(u"ab"));

  Text_codec spaces(u"   ");
  const std::vector<Token> only = spaces.tokens();
  ASSERT_EQ(only.size(), 1u);
  EXPECT_EQ(only[0].type, tkn::TKN_TOKEN_WHITESPACE);
  EXPECT_EQ(only[0].trailer, u"   ");
}

TEST(TkndfcCodecView, ApostrophesAndOffsetsAfterRollback) {
  Text_codec dont(u"don't");
  ASSERT_EQ(dont.tokens().size(), 1u);
  EXPECT_EQ(dont.tokens()[0].text, u"don't");

  // The byte-order mark is skipped, but offsets still count its bytes.
  Text_codec dogs(u"\uFEFFdogs' 1990's x");
  const std::vector<Token> tokens = dogs.tokens();
  ASSERT_EQ(tokens.size(), 4u);
  EXPECT_EQ(tokens[0].text, u"dogs");
  EXPECT_EQ(tokens[0].offset, 2u);
  EXPECT_EQ(tokens[1].text, u"'");
  EXPECT_EQ(tokens[1].type, tkn::TKN_TOKEN_PUNCTUATION);
  EXPECT_EQ(tokens[1].offset, 10u);
  EXPECT_EQ(tokens[1].trailer, u" ");
  EXPECT_EQ(tokens[2].text, u"1990's");
  EXPECT_EQ(tokens[2].type, tkn::TKN_TOKEN_WORD);
  EXPECT_EQ(tokens[2].offset, 14u);
  EXPECT_EQ(tokens[3].offset, 28u);
}

TEST(TkndfcCodecView, ViewAccessRules) {
  Text_codec value(u"a b");
  unsigned cookie = 1;
  EXPECT_EQ(value.codec.view(0, cookie), nullptr);
  EXPECT_EQ(cookie, dff::DFF_NO_MORE_VIEWS);
  cookie = 0;
  EXPECT_EQ(value.codec.view(1, cookie), nullptr);
  EXPECT_EQ(cookie, dff::DFF_NO_MORE_VIEWS);

  tkn::Tkn_text_view* view = first_view(value.codec);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(first_view(value.codec), view);
  // Numbered, as the ordering of tokens needs.
  EXPECT_EQ(view->cback()->position(), 2u);

  // Attaching again tokenises the new content.
  Wstring other = u"c";
  krn::Krn_wstring_buffer other_buffer(other);
  value.codec.attach(&other_buffer, value.status);
  ASSERT_TRUE(value.status.ok());
  ASSERT_EQ(value.tokens().size(), 1u);
  EXPECT_EQ(value.tokens()[0].text, u"c");
}

TEST(TkndfcCodecView, CallerPoolIsUsedAndItsLimitReported) {
  auto pool = std::make_unique<tkndfc::Tkndfc_token_pool>();
  Wstring text = u"a b";
  krn::Krn_wstring_buffer buffer(text);
  {
    Tkndfc_format_codec codec(nullptr, nullptr, pool.get(), false);
    Krn_status status;
    codec.attach(&buffer, status);
    ASSERT_NE(first_view(codec), nullptr);
    EXPECT_EQ(pool->in_use(), 2u);
  }
  // Full up: the next token has no slot.
  while (pool->allocate() != nullptr) {
  }
  Tkndfc_format_codec codec(nullptr, nullptr, pool.get(), false);
  Krn_status status;
  codec.attach(&buffer, status);
  EXPECT_EQ(error_text([&] { first_view(codec); }),
            "Too many tokens are required to tokenise the text (over 15000000).  Tokenisation has failed.");
}

// Content whose reads and size can be made to fail.
class Faulty_buffer : public krn::Krn_raw_memory_buffer {
 public:
  enum Fault { NONE, CONNECT, SIZE_BAD_ALLOC, SIZE_STD, SIZE_OTHER, SHORT_READ };

  // The text must outlive the buffer.
  Faulty_buffer(const Wstring& text, Fault fault)
      : krn::Krn_raw_memory_buffer(static_cast<krn::int64>(text.size() * 2),
                                   reinterpret_cast<const unsigned char*>(text.data()), NO_DELETE),
        m_fault(fault) {}

  void connect_buffered_istream(Krn_status& status) const override {
    krn::Krn_raw_memory_buffer::connect_buffered_istream(status);
    if (m_fault == CONNECT) status = krn::KRN_E_READ;
  }
  krn::int64 size(bool wait, Krn_status& status) const override {
    if (m_fault == SIZE_BAD_ALLOC) throw std::bad_alloc();
    if (m_fault == SIZE_STD) throw std::runtime_error("size unknown");
    if (m_fault == SIZE_OTHER) throw 7;
    return krn::Krn_raw_memory_buffer::size(wait, status);
  }
  // Delivers the first four bytes only.
  krn::uint64 read(bool wait, krn::int64& position, krn::uint64 count, void* data, Krn_status& status) const override {
    if (m_fault == SHORT_READ) {
      if (position >= 4) {
        status = krn::KRN_E_READ;
        return 0;
      }
      count = std::min<krn::uint64>(count, static_cast<krn::uint64>(4 - position));
    }
    return krn::Krn_raw_memory_buffer::read(wait, position, count, data, status);
  }

 private:
  Fault m_fault;
};

TEST(TkndfcCodecFailures, AttachReportsThroughStatus) {
  const Wstring text = u"abc def";
  struct Case {
    Faulty_buffer::Fault fault;
    unsigned value;
  };
  for (const Case& c : {Case{Faulty_buffer::CONNECT, krn::KRN_E_READ}, Case{Faulty_buffer::SIZE_BAD_ALLOC, krn::KRN_E_NO_MEMORY},
                        Case{Faulty_buffer::SIZE_STD, krn::KRN_E_STD_EXCEPTION},
                        Case{Faulty_buffer::SIZE_OTHER, krn::KRN_E_UNKNOWN_EXCEPTION}}) {
    SCOPED_TRACE(c.fault);
    Faulty_buffer buffer(text, c.fault);
    Tkndfc_format_codec codec(nullptr, nullptr, nullptr, false);
    Krn_status status;
    EXPECT_NO_THROW(codec.attach(&buffer, status));
    EXPECT_EQ(status, c.value);
    if (c.fault == Faulty_buffer::SIZE_STD) {
      ASSERT_EQ(status.num_args(), 1u);
      EXPECT_EQ(static_cast<const krn::Krn_wstring_status_arg*>(*status.begin())->value(), u"size unknown");
    }
    // Nothing of the content is tokenised after a failed attach.
    EXPECT_EQ(first_view(codec), nullptr);
  }
}

TEST(TkndfcCodecFailures, ReadFailureWhileTokenisingGivesNoView) {
  const Wstring text = u"abc def";
  Faulty_buffer buffer(text, Faulty_buffer::SHORT_READ);
  const dfc::Dfc_facet_set text_only{dff::DFF_TEXT_FACET_ID};
  Tkndfc_format_codec codec(&text_only, nullptr, nullptr, false);
  Krn_status status;
  codec.attach(&buffer, status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(error_text([&] { first_view(codec); }),
            "Tkndfc_format_codec::create_text_view() - tokenisation failed");
}

TEST(TkndfcCodecFailures, MisuseIsAProgrammingError) {
  Tkndfc_format_codec codec(nullptr, nullptr, nullptr, false);
  codec.set_editable(true);
  // The odd length is found before the missing content.
  EXPECT_EQ(error_text([&] { codec.insert_content_front(u"abc", 3); }),
            "Tkndfc_format_codec::insert_content_front() - length not multiple of Char16");
  EXPECT_EQ(error_text([&] { codec.insert_content_back(u"abc", 5); }),
            "Tkndfc_format_codec::insert_content_back() - length not multiple of Char16");
  EXPECT_EQ(error_text([&] { codec.insert_content_front(u"ab"); }),
            "Tkndfc_format_codec::insert_content_front() - no content attached");
  Krn_status status;
  EXPECT_EQ(error_text([&] { codec.compose(status); }), "Tkndfc_format_codec::compose() - no content attached");
  EXPECT_EQ(error_text([&] { first_view(codec); }),
            "Tkndfc_format_codec::create_text_view() - no content attached");

  Text_codec value(u"a", true);
  value.codec.set_editable(true);
  value.codec.start();
  EXPECT_EQ(error_text([&] { value.codec.compose(status); }),
            "Tkndfc_format_codec::compose() - transaction in progress");
}

TEST(TkndfcCodecFacets, FacetsOfferedAsAsked) {
  Text_codec tool(u"x");
  auto* text = tool.codec.query_facet(dff::DFF_TEXT_FACET_ID);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(*text->facet_identifier(), dff::DFF_TEXT_FACET_ID);
  EXPECT_EQ(tool.codec.query_facet(dff::DFF_ANNOTATION_FACET_ID), nullptr);
  auto* text_facet = dynamic_cast<dff::Dff_text_facet*>(text);
  ASSERT_NE(text_facet, nullptr);
  unsigned cookie = 0;
  EXPECT_EQ(text_facet->view(0, cookie), first_view(tool.codec));

  Tkndfc_format_codec both(nullptr, nullptr, nullptr, false);
  auto* annotation = both.query_facet(dff::DFF_ANNOTATION_FACET_ID);
  ASSERT_NE(annotation, nullptr);
  EXPECT_EQ(*annotation->facet_identifier(), dff::DFF_ANNOTATION_FACET_ID);
  EXPECT_NE(dynamic_cast<dff::Dff_annotation_facet*>(annotation), nullptr);
  EXPECT_EQ(both.query_facet(krn::GUID{}), nullptr);

  // Stored as bytes, {00000100-...} comes before {00000001-...}.
  const krn::GUID low = {0x00000100, 0, 0, {}};
  const krn::GUID high = {0x00000001, 0, 0, {}};
  EXPECT_TRUE(dfc::Dfc_guid_less()(low, high));
  EXPECT_FALSE(dfc::Dfc_guid_less()(high, low));
}

TEST(TkndfcCodecEdits, NothingIsRecordedUnlessEditable) {
  Text_codec value(u"one two", true);
  value.codec.start();
  Tkndfc_physical_token* one = value.token(0);
  EXPECT_FALSE(one->redact(0, 0));
  EXPECT_FALSE(one->modify(u"1", u"", u""));
  EXPECT_FALSE(one->remove());
  EXPECT_FALSE(value.codec.insert_content_front(u"x"));
  EXPECT_FALSE(value.codec.insert_content_back(u"x"));
  value.codec.commit();
  EXPECT_FALSE(value.codec.committed());
  Krn_status status;
  EXPECT_EQ(value.codec.compose(status), nullptr);
}

TEST(TkndfcCodecEdits, ComposeAppliesTokenEditsAndLines) {
  Text_codec value(u"Hello big world\r\n", true);
  value.codec.set_editable(true);
  value.codec.start();
  EXPECT_TRUE(value.codec.in_transaction());
  EXPECT_TRUE(value.token(0)->redact(1, 2));
  EXPECT_TRUE(value.token(1)->remove());
  EXPECT_TRUE(value.token(2)->modify(u"earth", u"[", u"]"));
  EXPECT_FALSE(value.token(2)->modify(u"", u"", u""));
  EXPECT_TRUE(value.codec.insert_content_front(u"first\nline"));
  EXPECT_TRUE(value.codec.insert_content_back(u"last"));
  value.codec.commit();
  EXPECT_FALSE(value.codec.in_transaction());
  EXPECT_EQ(composed(value.codec), u"first\r\nline\r\nH**lo  [earth]\r\nlast\r\n");
  // The content itself is untouched.
  EXPECT_EQ(value.text, u"Hello big world\r\n");
}

TEST(TkndfcCodecEdits, RedactionCoversWholeCharacters) {
  // e with two combining marks, a surrogate pair, then x.
  Text_codec value(u"e\u0301\u0323\U0001D400x bc", true);
  value.codec.set_editable(true);
  first_view(value.codec)->set_redaction_character(0x1F600);
  value.codec.start();
  EXPECT_TRUE(value.token(0)->redact(0, 1));
  EXPECT_TRUE(value.token(0)->redact(2, 1));
  EXPECT_TRUE(value.token(1)->redact(1, 0));
  EXPECT_TRUE(value.token(1)->redact(5, 1));
  value.codec.commit();
  EXPECT_EQ(composed(value.codec), u"\U0001F600\U0001D400\U0001F600 b\U0001F600");
}

TEST(TkndfcCodecEdits, AttachDropsEditsAndTransaction) {
  Text_codec value(u"a b", true);
  value.codec.set_editable(true);
  value.codec.start();
  EXPECT_TRUE(value.codec.insert_content_front(u"x"));
  value.codec.commit();
  value.codec.start();
  value.codec.attach(&value.buffer, value.status);
  EXPECT_FALSE(value.codec.in_transaction());
  EXPECT_FALSE(value.codec.committed());
  Krn_status status;
  EXPECT_EQ(value.codec.compose(status), nullptr);
}

// The line break of inserted lines is the one the content ends its lines
// with, found by reading back from its end.
Wstring with_line_added(const Wstring& content, const Wstring& line) {
  Text_codec value(content, true);
  value.codec.set_editable(true);
  value.codec.start();
  EXPECT_TRUE(value.codec.insert_content_back(line));
  value.codec.commit();
  return composed(value.codec);
}

TEST(TkndfcCodecLines, BreakKindFoundAtTheBack) {
  EXPECT_EQ(with_line_added(u"a\r\nb\r\n", u"x\ny"), u"a\r\nb\r\nx\r\ny\r\n");
  EXPECT_EQ(with_line_added(u"a\nb", u"x\r\ny"), u"a\nb\nx\ny\n");
  EXPECT_EQ(with_line_added(u"abc", u"z"), u"abc\r\nz\r\n");
  EXPECT_EQ(with_line_added(u"", u"z"), u"z\r\n");
  // A lone CR stays; one at the very end gives way to the closing break.
  EXPECT_EQ(with_line_added(u"a\n", u"x\ry\r"), u"a\nx\ry\n");

  // The last LF is first in the last 512-byte chunk: what precedes it is in
  // the chunk before.
  const Wstring tail(255, u'y');
  EXPECT_EQ(with_line_added(u"a\r\n" + tail, u"z"), u"a\r\n" + tail + u"\r\nz\r\n");
  EXPECT_EQ(with_line_added(u"ab\n" + tail, u"z"), u"ab\n" + tail + u"\nz\n");
}

TEST(TkndfcCodecLines, OddLengthContentIsScannedByWholeUnits) {
  // "a\nb" and one stray byte.
  const unsigned char bytes[] = {'a', 0, '\n', 0, 'b', 0, 0x41};
  krn::Krn_raw_memory_buffer buffer(sizeof bytes, bytes, krn::Krn_raw_memory_buffer::NO_DELETE);
  Tkndfc_format_codec codec(nullptr, nullptr, nullptr, false);
  Krn_status status;
  codec.attach(&buffer, status);
  ASSERT_TRUE(status.ok());
  codec.set_editable(true);
  codec.start();
  EXPECT_TRUE(codec.insert_content_front(u"z"));
  codec.commit();
  EXPECT_EQ(composed(codec).substr(0, 2), u"z\n");
}

}  // namespace
