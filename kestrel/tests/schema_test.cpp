// The schema text and the key names, as parse_schema and resolve_keys read
// them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "krn/krn_status.h"
#include "tla/tla_formatter.h"
#include "tla/tla_schema.h"
#include "tla/tla_status_codes.h"

namespace {

krn::Wstring first_arg(const krn::Krn_status& status) {
  krn::Wstring text;
  if (status.num_args() > 0) (*status.begin())->to_string(text);
  return text;
}

struct Parsed {
  bool ok = false;
  tla::Tla_schema schema;
  std::vector<krn::GUID> types;
  krn::Krn_status status;
};

Parsed parse(const std::string& text) {
  Parsed parsed;
  parsed.ok = tla::parse_schema(text, parsed.schema, parsed.types, parsed.status);
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

TEST(TlaSchema, OddPartsAndUnknownFormattersAreRefusedWithTheReason) {
  struct Case {
    const char* text;
    unsigned reason;
  };
  const Case cases[] = {
      {"a,Simple,b", tla::TLA_E_SCHEMA_ITEM},      {"a", tla::TLA_E_SCHEMA_ITEM},
      {"a,Simple;b", tla::TLA_E_SCHEMA_ITEM},      {"a,", tla::TLA_E_SCHEMA_ITEM},
      {",", tla::TLA_E_SCHEMA_ITEM},               {"a,Simple;,,", tla::TLA_E_SCHEMA_ITEM},
      {"a,Simple;b,Simpler", tla::TLA_E_UNKNOWN_FORMATTER}, {"a, Simple", tla::TLA_E_UNKNOWN_FORMATTER},
  };
  for (const Case& c : cases) {
    const Parsed parsed = parse(c.text);
    EXPECT_FALSE(parsed.ok) << c.text;
    EXPECT_EQ(parsed.status, c.reason) << c.text;
  }
  // The unknown formatter is named, and so is its field.
  const Parsed parsed = parse("a,Simple;Card,CCNUM");
  ASSERT_EQ(parsed.status.num_args(), 2u);
  EXPECT_EQ(first_arg(parsed.status), u"CCNUM");
}

TEST(TlaSchema, KeysAndFieldNamesMatchUnitForUnit) {
  const tla::Tla_schema schema = parse("Name,Simple;CardNum,CCNUMBER; City,Simple;cardnum,Simple").schema;
  std::vector<std::uint64_t> positions;
  krn::Krn_status status;
  tla::resolve_keys(schema, {u"cardnum", u" City", u"Name", u"CardNum"}, positions, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(positions, (std::vector<std::uint64_t>{3, 2, 0, 1}));
  // Another case or no leading space is another name.
  for (const char16_t* key : {u"CARDNUM", u"City", u"name", u"Nobody"}) {
    tla::resolve_keys(schema, {u"Name", key}, positions, status);
    EXPECT_EQ(status, tla::TLA_E_KEY_NOT_IN_SCHEMA);
    EXPECT_EQ(first_arg(status), key);
  }

  tla::check_field_names(schema, status);
  EXPECT_TRUE(status.ok());
  tla::check_field_names(parse("a,Simple;b,Simple;a,SimpleNC").schema, status);
  EXPECT_EQ(status, tla::TLA_E_FIELD_LIST);
}

}  // namespace
