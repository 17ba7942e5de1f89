// kestrel-inspect on sound, damaged and foreign files, and its lookups.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cli_test_support.h"
#include "data_set_test_file.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_connector.h"

namespace {

using cli_test::Folder;
using cli_test::INSPECT;
using cli_test::Result;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CliInspect : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.write("in.tsv", cli_test::sample_records());
    ASSERT_EQ(folder.kestrel({"-k", "Surname", "-k", "CardNum", "-s", cli_test::SCHEMA, "-i", "in.tsv", "-o",
                              "out.kds"})
                  .exit_code,
              0);
  }

  Folder folder;
};

TEST_F(CliInspect, ASoundFileAndItsLookups) {
  Result shown = folder.run(INSPECT, {"out.kds"});
  EXPECT_EQ(shown.exit_code, 0);
  EXPECT_EQ(shown.err, "");
  for (const char* line : {"Version: 2\n", "Records: 3\n", "Key indexes: 2\n", "  Surname\tSimpleNC\n",
                           "  CardNum\tCCNUMBER\n", "(holds)\n", "Key index names:\n  Surname\n  CardNum\n",
                           "Sound: yes\n"}) {
    EXPECT_TRUE(contains(shown.out, line)) << line << "\n" << shown.out;
  }
  // Written in other letter case, other grouping of the card.
  Result found = folder.run(INSPECT, {"out.kds", "-k", "Surname", "-v", "BRONT\xC3\x8B"});
  EXPECT_EQ(found.exit_code, 0);
  EXPECT_TRUE(contains(found.out, "matches \"BRONT\xC3\x8B\": 1\n  record at offset ")) << found.out;
  found = folder.run(INSPECT, {"out.kds", "-k", "CardNum", "-v", "41111111 11111111"});
  EXPECT_EQ(found.exit_code, 0);
  EXPECT_TRUE(contains(found.out, "FirstName=1 Surname=1 CardNum=1 tokens")) << found.out;

  Result missing = folder.run(INSPECT, {"out.kds", "-k", "Surname", "-v", "Nobody"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_TRUE(contains(missing.out, "matches \"Nobody\": 0")) << missing.out;
}

TEST_F(CliInspect, DamagedAndForeignFilesAreNotSound) {
  std::string bytes = folder.read("out.kds");
  bytes[bytes.size() - 3] ^= 0x40;
  folder.write("damaged.kds", bytes);
  Result damaged = folder.run(INSPECT, {"damaged.kds"});
  EXPECT_EQ(damaged.exit_code, 1);
  EXPECT_TRUE(contains(damaged.out, "(does NOT hold)")) << damaged.out;
  EXPECT_TRUE(contains(damaged.out, "Sound: no")) << damaged.out;
  EXPECT_EQ(damaged.err, "The data set file is damaged: its checksum does not match its contents.\n");

  Result foreign = folder.run(INSPECT, {"in.tsv"});
  EXPECT_EQ(foreign.exit_code, 1);
  EXPECT_TRUE(contains(foreign.out, "Not a data set file")) << foreign.out;
  EXPECT_TRUE(contains(foreign.err, "is damaged or is not a data set file")) << foreign.err;
}

// Damage behind a checksum that holds: the header and checksum alone would
// pass it.
TEST_F(CliInspect, DamageUnderAChecksumThatHoldsIsNotSound) {
  const std::string good = folder.read("out.kds");
  for (unsigned version : {0u, 3u, 65535u}) {
    SCOPED_TRACE(version);
    std::string bytes = good;
    data_set_test::set_le(bytes, 24, version, 2);
    data_set_test::seal(bytes);
    folder.write("version.kds", bytes);
    Result shown = folder.run(INSPECT, {"version.kds"});
    EXPECT_EQ(shown.exit_code, 1);
    EXPECT_TRUE(contains(shown.out, "Version: " + std::to_string(version) + "\n")) << shown.out;
    EXPECT_TRUE(contains(shown.out, "(holds)\nSound: no\n")) << shown.out;
    EXPECT_TRUE(contains(shown.err, "is damaged or is not a data set file.")) << shown.err;
    EXPECT_TRUE(contains(shown.err, "format version " + std::to_string(version) + " (at offset 24)")) << shown.err;
  }

  // The first and last entries of the first key index change places.
  tla::Tla_data_set_connector_file connector;
  krn::Krn_status status;
  krn::Wstring name;
  krn::krn_utf8_to_utf16((folder / "out.kds").string(), name);
  connector.set_property("DataFileName", name, status);
  connector.open(status);
  connector.load(status, false);
  ASSERT_TRUE(status.ok());
  const std::size_t first = connector.key_tables()[0].entries_start;
  const std::size_t last = first + 2 * 16;
  connector.close();
  std::string bytes = good;
  std::swap_ranges(bytes.begin() + first, bytes.begin() + first + 16, bytes.begin() + last);
  data_set_test::seal(bytes);
  folder.write("unsorted.kds", bytes);
  Result shown = folder.run(INSPECT, {"unsorted.kds", "-k", "Surname", "-v", "Picard"});
  EXPECT_EQ(shown.exit_code, 1);
  EXPECT_TRUE(contains(shown.out, "Sound: no\n")) << shown.out;
  EXPECT_FALSE(contains(shown.out, "matches")) << shown.out;
  EXPECT_TRUE(contains(shown.err, "\nThe key index entry at offset " + std::to_string(first + 16) +
                                      " has a smaller key hash than the entry before it."))
      << shown.err;
}

TEST_F(CliInspect, ALookupUnderAKeyTheFileDoesNotIndex) {
  for (const char* key : {"Nobody", "surname", "FirstName"}) {
    Result result = folder.run(INSPECT, {"out.kds", "-k", key, "-v", "Picard"});
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_TRUE(contains(result.out, "Sound: yes\n")) << result.out;
    EXPECT_FALSE(contains(result.out, "matches")) << result.out;
    EXPECT_EQ(result.err, std::string("kestrel-inspect: the data set has no key index named \"") + key +
                              "\"; its key indexes are \"Surname\", \"CardNum\".\n");
  }
}

TEST_F(CliInspect, AWrongCommandLine) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"out.kds", "-k", "Surname"}, {"out.kds", "-v", "x"}, {"out.kds", "-x"}}) {
    Result result = folder.run(INSPECT, args);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.err, "Usage: kestrel-inspect FILE [-k KEY -v VALUE]");
  }
  // Read as UTF-8 the name would be out\uFFFD.kds, a file that exists.
  folder.write("out\xEF\xBF\xBD.kds", folder.read("out.kds"));
  Result result = folder.run(INSPECT, {"out\xFF.kds"});
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_EQ(result.err, "kestrel-inspect: the file name is not UTF-8.");
}

}  // namespace
