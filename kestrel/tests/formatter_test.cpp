#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "tla/tla_formatter.h"

namespace {

using krn::GUID;
using krn::Wstring;

std::unique_ptr<tla::Tla_formatter_base> make(const GUID& type) {
  return std::unique_ptr<tla::Tla_formatter_base>(tla::create_formatter(type));
}

Wstring format(const GUID& type, const Wstring& input, bool raw = false) {
  auto formatter = make(type);
  EXPECT_NE(formatter, nullptr);
  Wstring output = u"left over";
  if (formatter) formatter->format(input, output, raw);
  return output;
}

struct Known_formatter {
  const char* name;
  GUID type;
  std::array<std::uint8_t, 16> stored;
};

// The byte column is what data set files hold; it must agree with the
// identifiers the code uses.
const Known_formatter KNOWN[] = {
    {"Simple", tla::TLA_SIMPLE_FORMATTER_ID,
     {0xe8, 0x99, 0xd1, 0x6e, 0xd4, 0x3f, 0x7a, 0x40, 0x88, 0x58, 0x32, 0xb9, 0xf7, 0xfd, 0x3f, 0xa6}},
    {"SimpleNC", tla::TLA_SIMPLENC_FORMATTER_ID,
     {0x28, 0xba, 0x05, 0x15, 0xfa, 0x5a, 0x88, 0x42, 0x8b, 0xd6, 0x21, 0x7a, 0x28, 0xef, 0x26, 0x7f}},
    {"CCNUMBER", tla::TLA_CCNUM_FORMATTER_ID,
     {0x8f, 0xb0, 0xf1, 0x84, 0x7f, 0x0a, 0x0d, 0x41, 0xaa, 0xcd, 0x26, 0x44, 0x11, 0xc1, 0xca, 0x5f}},
};

TEST(TlaFormatterTable, IdentifiersNamesAndObjectsAgree) {
  for (const Known_formatter& known : KNOWN) {
    SCOPED_TRACE(known.name);
    static_assert(sizeof(GUID) == 16);
    std::array<std::uint8_t, 16> bytes{};
    std::memcpy(bytes.data(), &known.type, sizeof known.type);
    EXPECT_EQ(bytes, known.stored);

    EXPECT_EQ(tla::formatter_type_from_name(known.name), known.type);
    std::string name = "stale";
    tla::formatter_name_from_type(known.type, name);
    EXPECT_EQ(name, known.name);

    auto formatter = make(known.type);
    ASSERT_NE(formatter, nullptr);
    EXPECT_EQ(formatter->type_id(), known.type);
    EXPECT_EQ(formatter->name(), known.name);

    const tla::Tla_formatter_base* shared = tla::shared_formatter(known.type);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->type_id(), known.type);
    EXPECT_EQ(shared, tla::shared_formatter(known.type));
  }
}

TEST(TlaFormatterTable, UnknownIdentifiersGiveNoFormatterAndNoName) {
  GUID altered = tla::TLA_CCNUM_FORMATTER_ID;
  altered.data4[7] ^= 1;
  for (const GUID& type : {tla::TLA_NO_FORMATTER_ID, altered}) {
    EXPECT_EQ(make(type), nullptr);
    EXPECT_EQ(tla::shared_formatter(type), nullptr);
    std::string name = "stale";
    tla::formatter_name_from_type(type, name);
    EXPECT_EQ(name, "");
  }
}

TEST(TlaFormatterTable, NameLookupIgnoresCaseButNotLength) {
  EXPECT_EQ(tla::formatter_type_from_name("ccnumber"), tla::TLA_CCNUM_FORMATTER_ID);
  EXPECT_EQ(tla::formatter_type_from_name("SIMPLE"), tla::TLA_SIMPLE_FORMATTER_ID);
  EXPECT_EQ(tla::formatter_type_from_name("simpleNc"), tla::TLA_SIMPLENC_FORMATTER_ID);

  for (const std::string& name : {std::string("Simple "), std::string(" Simple"), std::string("Simpl"),
                                  std::string("SimpleNCX"), std::string(""), std::string("Simple\0", 7),
                                  std::string("SimpleN\0", 8)}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(tla::formatter_type_from_name(name), tla::TLA_NO_FORMATTER_ID);
  }
}

TEST(TlaFormatters, SimpleNormalisesAndKeepsCase) {
  EXPECT_EQ(format(tla::TLA_SIMPLE_FORMATTER_ID, u"AbC"), u"AbC");
  // Full-width letters, a ligature and a no-break space have plain forms.
  EXPECT_EQ(format(tla::TLA_SIMPLE_FORMATTER_ID, u"\uFF21b\uFF23 \uFB01\u00A0x"), u"AbC fi x");
  // Raw leaves the value as it is.
  EXPECT_EQ(format(tla::TLA_SIMPLE_FORMATTER_ID, u"\uFF21b\u00A0", true), u"\uFF21b\u00A0");
}

TEST(TlaFormatters, SimpleNcNormalisesThenLowers) {
  EXPECT_EQ(format(tla::TLA_SIMPLENC_FORMATTER_ID, u"AbC"), u"abc");
  EXPECT_EQ(format(tla::TLA_SIMPLENC_FORMATTER_ID, u"\uFF21b\uFF23 \u00C9"), u"abc \u00E9");
  // Lower case still applies to a raw value, but its full-width letters stay
  // full-width.
  EXPECT_EQ(format(tla::TLA_SIMPLENC_FORMATTER_ID, u"\uFF21bC", true), u"\uFF41bc");
}

TEST(TlaFormatters, CcnumberRemovesOnlySpacesAndHyphens) {
  EXPECT_EQ(format(tla::TLA_CCNUM_FORMATTER_ID, u"12-34 56"), u"123456");
  EXPECT_EQ(format(tla::TLA_CCNUM_FORMATTER_ID, u"abc"), u"abc");
  EXPECT_EQ(format(tla::TLA_CCNUM_FORMATTER_ID, u"12\t34"), u"12\t34");
  EXPECT_EQ(format(tla::TLA_CCNUM_FORMATTER_ID, u" - -- "), u"");
  // A no-break space and a full-width hyphen-minus become a space and a
  // hyphen first, so they go too; an en dash has no such form and stays.
  EXPECT_EQ(format(tla::TLA_CCNUM_FORMATTER_ID, u"\uFF11\uFF12\u00A034\uFF0D56\u201378"), u"123456\u201378");
  // Raw: no normalisation, but the separators still go.
  EXPECT_EQ(format(tla::TLA_CCNUM_FORMATTER_ID, u"\uFF11-2 3\u00A0", true), u"\uFF1123\u00A0");
}

TEST(TlaFormatters, EmptyInputGivesEmptyOutput) {
  for (const Known_formatter& known : KNOWN) {
    SCOPED_TRACE(known.name);
    EXPECT_EQ(format(known.type, u""), u"");
    EXPECT_EQ(format(known.type, u"", true), u"");
  }
}

TEST(TlaFormatters, InputMayBeTheOutput) {
  struct Case {
    GUID type;
    Wstring expected;
  };
  const Case cases[] = {
      {tla::TLA_SIMPLE_FORMATTER_ID, u"A-1 2"},
      {tla::TLA_SIMPLENC_FORMATTER_ID, u"a-1 2"},
      {tla::TLA_CCNUM_FORMATTER_ID, u"A12"},
  };
  for (const Case& c : cases) {
    for (const Wstring& input : {Wstring(u"\uFF21-1 2"), Wstring(u"A-1 2")}) {
      Wstring value = input;
      make(c.type)->format(value, value, false);
      EXPECT_EQ(value, c.expected);
    }
  }
}

}  // namespace
