// The schema text and the key names, as parse_schema and find_key_positions
// read them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tla_formatter.h"
#include "tla_schema.h"

namespace {

struct Parsed {
  bool ok = false;
  tla::Tla_schema schema;
  std::vector<krn::GUID> types;
};

Parsed parse(const std::string& text) {
  Parsed parsed;
  parsed.ok = tla::parse_schema(text, parsed.schema, parsed.types);
  return parsed;
}

TEST(TlaSchema, ItemsPartsAndSpaces) {
  Parsed parsed = parse("FirstName,Simple;Surname,simplenc; CardNum,CCNUMBER");
  ASSERT_TRUE(parsed.ok);
  ASSERT_EQ(parsed.schema.size(), 3u);
  EXPECT_EQ(parsed.schema[2].name, u" CardNum");
  EXPECT_EQ(parsed.schema[1].formatter_type, tla::TLA_SIMPLENC_FORMATTER_ID);
  EXPECT_EQ(parsed.types, (std::vector<krn::GUID>{tla::TLA_SIMPLE_FORMATTER_ID, tla::TLA_SIMPLENC_FORMATTER_ID,
                                                  tla::TLA_CCNUM_FORMATTER_ID}));

  // Empty items are dropped; pairs after the first are ignored.
  EXPECT_EQ(parse("a,Simple;;b,SimpleNC;").schema.size(), 2u);
  parsed = parse("a,Simple,b,SimpleNC");
  ASSERT_TRUE(parsed.ok);
  ASSERT_EQ(parsed.schema.size(), 1u);
  EXPECT_EQ(parsed.schema[0].name, u"a");
  // Names are UTF-8.
  parsed = parse("Pr\xC3\xA9nom,Simple");
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.schema[0].name, u"Pr\u00E9nom");

  parsed = parse("");
  EXPECT_TRUE(parsed.ok);
  EXPECT_TRUE(parsed.schema.empty());
}

TEST(TlaSchema, OddPartsAndUnknownFormattersAreRefused) {
  for (const char* text : {"a,Simple,b", "a", "a,Simple;b", "a,Simple;b,Simpler", "a, Simple", "a,", ",", "a,Simple;,,"}) {
    EXPECT_FALSE(parse(text).ok) << text;
  }
}

TEST(TlaSchema, KeyPositionsIgnoreCaseButNotLength) {
  const tla::Tla_schema schema = parse("Name,Simple;CardNum,CCNUMBER; City,Simple;cardnum,Simple").schema;
  std::vector<std::uint64_t> positions;
  tla::find_key_positions(schema, {u"CARDNUM", u"City", u" city", u"Nobody", u"name", u"Name"}, positions);
  EXPECT_EQ(positions, (std::vector<std::uint64_t>{1, 2, 0, 0}));
}

}  // namespace
