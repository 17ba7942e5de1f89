// kestrel -u turns a version-1 file (field texts, scrambled) into exactly the
// file that a build of the same records, schema and keys writes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_test_support.h"
#include "data_set_test_file.h"
#include "tla_data_set_format.h"

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
  // A longer file in the output's place must not show through.
  folder.write("upgraded.kds", std::string(4096, 'x'));
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

TEST(BuildUpgrade, ACurrentFileLeavesTheOutputAsOpened) {
  Folder folder;
  folder.write("in.tsv", cli_test::sample_records());
  ASSERT_EQ(folder.kestrel({"-k", "CardNum", "-s", cli_test::SCHEMA, "-i", "in.tsv", "-o", "current.kds"}).exit_code,
            0);
  folder.write("out.kds", "what was there");
  Result result = folder.kestrel({"-u", "-i", "current.kds", "-o", "out.kds"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(folder.read("out.kds"), "what was there");
  result = folder.kestrel({"-u", "-i", "current.kds", "-o", "new.kds"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(folder.read("new.kds"), "");
}

TEST(BuildUpgrade, AFailedUpgradePrintsTheStatusAloneAndDeletesTheOutput) {
  Folder folder;
  std::string damaged = version_1_file({{{"Name", "Simple"}}, {"Name"}, {{"Anne"}, {"Bob"}}});
  damaged[damaged.size() - 1] ^= 0x01;
  folder.write("old.kds", damaged);
  folder.write("out.kds", "what was there");
  Result result = folder.kestrel({"-u", "-i", "old.kds", "-o", "out.kds"});
  EXPECT_EQ(result.exit_code, FAILED);
  EXPECT_EQ(result.err, "The data set file is damaged: its checksum does not match its contents.");
  EXPECT_EQ(result.out, "\n");
  EXPECT_FALSE(folder.exists("out.kds"));

  // A record that lacks a field of the schema.
  folder.write("short.kds", version_1_file({{{"Name", "Simple"}, {"City", "Simple"}}, {"Name"}, {{"Anne"}}}));
  result = folder.kestrel({"-u", "-i", "short.kds", "-o", "out.kds"});
  EXPECT_EQ(result.exit_code, FAILED);
  EXPECT_EQ(result.err, "A record of the data set has a different number of values than the data set has fields.");
  EXPECT_FALSE(folder.exists("out.kds"));
}

}  // namespace
