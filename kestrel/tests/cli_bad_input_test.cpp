// Inputs and surroundings that must never crash kestrel nor leave a partial
// output, an intermediate file or a swap file behind: each gives its message
// and exit code -1.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_test_support.h"

namespace {

using cli_test::FAILED;
using cli_test::Folder;
using cli_test::Result;
using cli_test::SCHEMA;

class CliBadInput : public ::testing::Test {
 protected:
  Result build(const std::string& input) const {
    return folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", input, "-o", "out.kds"});
  }

  // The failed build left nothing behind but its input.
  // reason: the status message that follows "Failed to generate file.".
  void expect_clean_failure(const Result& result, const std::string& reason) const {
    EXPECT_EQ(result.exit_code, FAILED);
    EXPECT_EQ(result.err, "Failed to generate file.\n" + reason + "\n");
    EXPECT_FALSE(folder.exists("out.kds"));
    EXPECT_FALSE(folder.exists("mid_buf"));
    EXPECT_TRUE(folder.temporary_folder_empty());
  }

  Folder folder;
};

std::string repeat(const std::string& piece, std::size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

TEST_F(CliBadInput, EmptyInputHoldsNoRecords) {
  folder.write("empty.tsv", "");
  expect_clean_failure(build("empty.tsv"), "The input file \"empty.tsv\" holds no records.");
  // A byte order mark alone is no record either.
  folder.write("bom.tsv", "\xEF\xBB\xBF");
  expect_clean_failure(build("bom.tsv"), "The input file \"bom.tsv\" holds no records.");
}

TEST_F(CliBadInput, BytesThatAreNotUtf8OrAreNul) {
  const std::vector<std::string> not_utf8 = {"\xFF", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                             "ab\xE2\x82"};
  for (const std::string& bytes : not_utf8) {
    folder.write("bad.tsv", "Anne\tSmith\t4111\nJohn\tDo" + bytes + "e\t5500\n");
    expect_clean_failure(build("bad.tsv"), "The field \"Surname\" of the record on line 2 "
                                           "is not valid UTF-8 text.");
  }
  folder.write("nul.tsv", std::string("Anne\tSmith\t4111\nJohn\tDoe\t55") + '\0' + "00\n");
  expect_clean_failure(build("nul.tsv"), "The field \"CardNum\" of the record on line 2 "
                                         "holds a NUL byte: the input is not a text file.");
  // A lone 0xEF that starts no byte order mark is kept as a byte, and the
  // field it leaves is not UTF-8.
  folder.write("ef.tsv", "Anne\tSm\xEFith\t4111\n");
  expect_clean_failure(build("ef.tsv"), "The field \"Surname\" of the record on line 1 "
                                        "is not valid UTF-8 text.");
}

TEST_F(CliBadInput, FieldsOfTooManyTokens) {
  // Exactly as many tokens as a field can count is fine.
  folder.write("max.tsv", "Anne\t" + repeat("a ", 65535) + "\t4111\n");
  Result max = build("max.tsv");
  EXPECT_EQ(max.exit_code, 0) << max.err;
  EXPECT_TRUE(folder.exists("out.kds"));
  std::filesystem::remove(folder / "out.kds");

  folder.write("over.tsv", "Anne\tSmith\t4111\nJohn\tDoe\t4111\nBob\t" + repeat("b ", 70000) + "\t5500\n");
  expect_clean_failure(build("over.tsv"), "The field \"Surname\" of the record on line 3 "
                                          "holds more than 65535 tokens, more than a data set can store.");
}

TEST_F(CliBadInput, TenMegabyteLines) {
  // One long word is one token and builds.
  folder.write("long_word.tsv", "Anne\t" + std::string(10 * 1024 * 1024, 'x') + "\t4111\n");
  Result word = build("long_word.tsv");
  EXPECT_EQ(word.exit_code, 0) << word.err;
  std::filesystem::remove(folder / "out.kds");
  // A long line of many words is too many tokens for its field.
  folder.write("long_words.tsv", "Anne\t" + repeat("xy ", 10 * 1024 * 1024 / 3) + "\t4111\n");
  expect_clean_failure(build("long_words.tsv"), "The field \"Surname\" of the record on "
                                                "line 1 holds more than 65535 tokens, more than a data set can "
                                                "store.");
  // A long line without its fields is refused as such.
  folder.write("no_tabs.tsv", std::string(10 * 1024 * 1024, 'y') + "\n");
  Result no_tabs = build("no_tabs.tsv");
  EXPECT_EQ(no_tabs.exit_code, FAILED);
  EXPECT_EQ(no_tabs.err,
            "Field count does not match the schema.\n"
            "Line 1 of the input file \"no_tabs.tsv\": 1 values, where the schema has 3 fields.\n");
  EXPECT_FALSE(folder.exists("mid_buf"));
}

TEST_F(CliBadInput, ADiskThatFillsUpDuringTheBuild) {
  std::string records;
  for (int i = 0; i < 10000; ++i) {
    records += "Name" + std::to_string(i) + "\tSurname " + std::to_string(i % 97) + "\t4111 " + std::to_string(i) +
               "\n";
  }
  folder.write("big.tsv", records);
  const std::string command = cli_test::quote(cli_test::KESTREL) + " -k CardNum -s " + cli_test::quote(SCHEMA) +
                              " -i big.tsv -o out.kds";
  ASSERT_EQ(folder.shell(command).exit_code, 0);
  const auto full_size = std::filesystem::file_size(folder / "out.kds");
  std::filesystem::remove(folder / "out.kds");

  // A limit the intermediate file reaches, and one that only the output
  // reaches (it is the larger by its index). kestrel turns the limit's signal
  // into a failed write, as a full disk would give.
  for (const std::uintmax_t limit : {full_size / 8, full_size - 512}) {
    const std::string limited = "ulimit -f " + std::to_string(limit / 512) + "; " + command;
    Result result = folder.shell(limited);
    EXPECT_EQ(result.exit_code, FAILED) << limit;
    EXPECT_EQ(result.err.rfind("Failed to generate file.", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("File too large"), std::string::npos) << result.err;
    EXPECT_FALSE(folder.exists("out.kds"));
    EXPECT_FALSE(folder.exists("mid_buf"));
    EXPECT_TRUE(folder.temporary_folder_empty());
  }
  EXPECT_EQ(folder.read("big.tsv"), records);
}

TEST_F(CliBadInput, TheInputCannotBeItsOwnOutput) {
  folder.write("in.tsv", cli_test::sample_records());
  Result result = folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o", "./in.tsv"});
  EXPECT_EQ(result.exit_code, FAILED);
  EXPECT_EQ(result.err,
            "Output Filename Invalid.\nThe output file \"./in.tsv\" already exists; kestrel never replaces a file. "
            "Remove it or name another output.\n");
  EXPECT_EQ(folder.read("in.tsv"), cli_test::sample_records());
  Result upgrade = folder.kestrel({"-u", "-i", "in.tsv", "-o", "in.tsv"});
  EXPECT_EQ(upgrade.err.rfind("Output Filename Invalid.\nThe output file \"in.tsv\" already exists", 0), 0u);
  EXPECT_EQ(folder.read("in.tsv"), cli_test::sample_records());
}

// Runs that overlap in one folder: each ends with a correct file or with its
// message, and no output is ever corrupt or replaced.
TEST_F(CliBadInput, TwoBuildsAtOnceInOneFolder) {
  std::string records;
  for (int i = 0; i < 2000; ++i) records += "N" + std::to_string(i) + "\tS\t" + std::to_string(i * 7919) + "\n";
  folder.write("in.tsv", records);
  const std::string run = cli_test::quote(cli_test::KESTREL) + " -k CardNum -s " + cli_test::quote(SCHEMA) +
                          " -i in.tsv -o ";
  ASSERT_EQ(folder.shell(run + "reference.kds").exit_code, 0);
  const std::string reference = folder.read("reference.kds");

  for (int round = 0; round < 3; ++round) {
    for (const bool same_output : {false, true}) {
      const std::string first = "a.kds";
      const std::string second = same_output ? "a.kds" : "b.kds";
      Result both = folder.shell("(" + run + first + " 2>err1; echo $? >rc1) & (" + run + second +
                                 " 2>err2; echo $? >rc2) & wait");
      ASSERT_EQ(both.exit_code, 0);
      int succeeded = 0;
      for (const std::string n : {"1", "2"}) {
        const std::string code = folder.read("rc" + n);
        const std::string err = folder.read("err" + n);
        if (code == "0\n") {
          ++succeeded;
          EXPECT_EQ(err, "");
        } else {
          EXPECT_EQ(code, "255\n");
          EXPECT_FALSE(err.empty());
        }
      }
      // With one output, one run wins whole and the other is refused:
      // neither replaces the other's file.
      EXPECT_EQ(succeeded, same_output ? 1 : 2);
      EXPECT_EQ(folder.read(first), reference);
      if (!same_output && folder.read("rc2") == "0\n") {
        EXPECT_EQ(folder.read(second), reference);
      }
      std::filesystem::remove(folder / "a.kds");
      std::filesystem::remove(folder / "b.kds");
      EXPECT_FALSE(folder.exists("mid_buf"));
    }
  }
}

}  // namespace
