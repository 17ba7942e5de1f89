// kestrel -u turns a version-1 file (field texts, scrambled) into exactly the
// file that a build of the same records, schema and keys writes.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "data_set_test_file.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_format.h"

namespace {

using cli_test::FAILED;
using cli_test::Folder;
using cli_test::Result;

struct Case {
  std::vector<data_set_test::Field> fields;
  std::vector<std::string> keys;
  std::vector<std::vector<std::string>> texts;
};

std::string schema_text(const std::vector<data_set_test::Field>& fields) {
  std::string text;
  for (const auto& field : fields) text += (text.empty() ? "" : ";") + field.name + "," + field.formatter;
  return text;
}

std::string version_1_file(const Case& c) {
  data_set_test::Plan plan;
  plan.version = 1;
  plan.fields = c.fields;
  plan.keys = c.keys;
  plan.texts = c.texts;
  std::copy(std::begin(tla::TLA_V1_SCRAMBLE_KEY), std::end(tla::TLA_V1_SCRAMBLE_KEY), plan.scramble_key);
  return data_set_test::build(plan).bytes;
}

// Builds the records directly and upgrades their version-1 file; both
// outputs must be the same bytes.
void expect_upgrade_equals_build(const Case& c) {
  Folder folder;
  std::string input;
  for (const auto& record : c.texts) {
    for (std::size_t f = 0; f < record.size(); ++f) input += (f > 0 ? "\t" : "") + record[f];
    input += "\n";
  }
  folder.write("in.tsv", input);
  std::vector<std::string> args;
  for (const std::string& key : c.keys) {
    args.push_back("-k");
    args.push_back(key);
  }
  args.insert(args.end(), {"-s", schema_text(c.fields), "-i", "in.tsv", "-o", "built.kds"});
  Result built = folder.kestrel(args);
  ASSERT_EQ(built.exit_code, 0) << built.err;

  folder.write("old.kds", version_1_file(c));
  Result upgraded = folder.kestrel({"-u", "-i", "old.kds", "-o", "upgraded.kds"});
  ASSERT_EQ(upgraded.exit_code, 0) << upgraded.err;
  EXPECT_EQ(upgraded.err, "");
  EXPECT_EQ(upgraded.out, "");
  EXPECT_EQ(folder.read("upgraded.kds"), folder.read("built.kds"));
  EXPECT_FALSE(folder.exists("mid_buf"));
}

TEST(BuildUpgrade, AVersionOneFileBecomesTheFileABuildWrites) {
  expect_upgrade_equals_build({{{"FirstName", "Simple"}, {"Surname", "SimpleNC"}, {"CardNum", "CCNUMBER"}},
                               {"CardNum"},
                               {{"Anne", "O'Neil", "4111 1111-1111 1111"},
                                {"Zo\xC3\xAB", "Bront\xC3\xAB", "3400-000000-00009"},
                                {"\xEF\xBC\xAA\xEF\xBC\xAF", "Smith-Jones", "5500 0000 0000 0004"},
                                {"  ", " dogs' ", "1990's"}}});
}

TEST(BuildUpgrade, RepeatedRecordsAndSeveralKeys) {
  expect_upgrade_equals_build({{{"Name", "SimpleNC"}, {"City", "Simple"}, {"Card", "CCNUMBER"}},
                               {"Card", "Name", "Card"},
                               {{"Anne", "Paris", "4111"},
                                {"Bob", "Lyon", "4222"},
                                {"Anne", "Paris", "4111"},
                                {"ANNE", "Nice", "4 1 1 1"},
                                {"Carl", "", "4333"}}});
}

std::string utf8(std::uint32_t c) {
  const char32_t text[] = {static_cast<char32_t>(c), 0};
  std::string out;
  krn::krn_utf32_to_utf8(text, out);
  return out;
}

// Records drawn from many scripts, with combining marks, compatibility
// forms, odd spaces, apostrophes and repeats: whatever path a value takes
// (a line of the input, or a stored text of an old file), it must end as
// the same tokens.
TEST(BuildUpgrade, RandomRecordsUpgradeToTheFileABuildWrites) {
  static const std::uint32_t RANGES[][2] = {
      {0x41, 0x5A},     {0x61, 0x7A},     {0x30, 0x39},     {0x21, 0x2F},     {0xC0, 0x17F},   {0x300, 0x36F},
      {0x391, 0x3C9},   {0x410, 0x44F},   {0x5D0, 0x5EA},   {0x620, 0x652},   {0xE01, 0xE4E},  {0x3041, 0x30FF},
      {0x4E00, 0x9FFF}, {0xAC00, 0xD7A3}, {0xFF01, 0xFF5E}, {0x2018, 0x201F}, {0x2000, 0x200A}, {0xFB00, 0xFB06},
      {0x1D400, 0x1D7FF}, {0x1F600, 0x1F64F}, {0x2460, 0x24FF}};
  static const char* const PIECES[] = {"'", " ", "-", "'s", "'90s", "\xC2\xA0"};
  static const char* const FORMATTERS[] = {"Simple", "SimpleNC", "CCNUMBER"};
  std::mt19937 random(20261209);
  auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  for (int round = 0; round < 8; ++round) {
    Case c;
    const std::size_t fields = 1 + below(3);
    for (std::size_t f = 0; f < fields; ++f) c.fields.push_back({"F" + std::to_string(f), FORMATTERS[below(3)]});
    for (std::size_t k = 1 + below(fields); k > 0; --k) c.keys.push_back(c.fields[below(fields)].name);
    for (std::size_t r = 1 + below(30); r > 0; --r) {
      std::vector<std::string> record;
      for (std::size_t f = 0; f < fields; ++f) {
        if (!c.texts.empty() && below(8) == 0) {
          record.push_back(c.texts[below(c.texts.size())][f]);
          continue;
        }
        // A letter first, so that no key is empty.
        std::string value = utf8(0x61 + static_cast<std::uint32_t>(below(26)));
        for (std::size_t i = below(10); i > 0; --i) {
          if (below(7) == 0) {
            value += PIECES[below(std::size(PIECES))];
          } else {
            const auto& range = RANGES[below(std::size(RANGES))];
            value += utf8(range[0] + static_cast<std::uint32_t>(below(range[1] - range[0] + 1)));
          }
        }
        record.push_back(value);
      }
      c.texts.push_back(record);
    }
    SCOPED_TRACE("round " + std::to_string(round));
    expect_upgrade_equals_build(c);
  }
}

TEST(BuildUpgrade, AnEmptyVersionOneFileGivesAnEmptyDataSet) {
  Folder folder;
  folder.write("old.kds", version_1_file({{{"Name", "Simple"}}, {"Name"}, {}}));
  Result upgraded = folder.kestrel({"-u", "-i", "old.kds", "-o", "new.kds"});
  ASSERT_EQ(upgraded.exit_code, 0) << upgraded.err;
  data_set_test::Plan plan;
  plan.fields = {{"Name", "Simple"}};
  plan.keys = {"Name"};
  EXPECT_EQ(folder.read("new.kds"), data_set_test::build(plan).bytes);
}

TEST(BuildUpgrade, ACurrentFileIsCheckedAndCopiedAsItStands) {
  Folder folder;
  folder.write("in.tsv", cli_test::sample_records());
  ASSERT_EQ(folder.kestrel({"-k", "CardNum", "-s", cli_test::SCHEMA, "-i", "in.tsv", "-o", "current.kds"}).exit_code,
            0);
  Result result = folder.kestrel({"-u", "-i", "current.kds", "-o", "new.kds"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(folder.read("new.kds"), folder.read("current.kds"));
}

TEST(BuildUpgrade, AFailedUpgradePrintsTheStatusAloneAndWritesNothing) {
  Folder folder;
  std::string damaged = version_1_file({{{"Name", "Simple"}}, {"Name"}, {{"Anne"}, {"Bob"}}});
  damaged[damaged.size() - 1] ^= 0x01;
  folder.write("old.kds", damaged);
  Result result = folder.kestrel({"-u", "-i", "old.kds", "-o", "out.kds"});
  EXPECT_EQ(result.exit_code, FAILED);
  EXPECT_EQ(result.err, "The data set file is damaged: its checksum does not match its contents.\n");
  EXPECT_EQ(result.out, "\n");
  EXPECT_FALSE(folder.exists("out.kds"));

  // A record that lacks a field of the schema.
  folder.write("short.kds", version_1_file({{{"Name", "Simple"}, {"City", "Simple"}}, {"Name"}, {{"Anne"}}}));
  result = folder.kestrel({"-u", "-i", "short.kds", "-o", "out.kds"});
  EXPECT_EQ(result.exit_code, FAILED);
  EXPECT_EQ(result.err,
            "The data set file \"short.kds\" is damaged or is not a data set file.\n"
            "The record at offset 64 does not hold one value for each of the 2 fields.\n");
  EXPECT_FALSE(folder.exists("out.kds"));
}

}  // namespace
