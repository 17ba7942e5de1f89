// The command line of kestrel as a user meets it: every message of its
// failure table with the streams it goes to, the usage, the ways options
// may be written, the choice between a build and an upgrade, and what
// becomes of the output file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_test_support.h"

namespace {

using cli_test::FAILED;
using cli_test::Folder;
using cli_test::Result;
using cli_test::SCHEMA;
using cli_test::usage_text;

// A message of the failure table: the text on standard error without a line
// end, then a newline and the usage on standard output.
void expect_report(const Result& result, const std::string& message) {
  EXPECT_EQ(result.exit_code, FAILED);
  EXPECT_EQ(result.err, message);
  EXPECT_EQ(result.out, "\n" + usage_text());
}

class CliCommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.write("in.tsv", cli_test::sample_records());
  }

  // A complete build command with one option replaced or added.
  std::vector<std::string> build_args() const {
    return {"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o", "out.kds"};
  }

  Folder folder;
};

TEST_F(CliCommandLine, UsageAloneWithoutArgumentsAndWithHelpAnywhere) {
  Result none = folder.kestrel({});
  EXPECT_EQ(none.exit_code, FAILED);
  EXPECT_EQ(none.out, usage_text());
  EXPECT_EQ(none.err, "");

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-h"}, {"/h"}, {"-k", "CardNum", "-h", "-s", SCHEMA}, {"-uh"}}) {
    Result help = folder.kestrel(args);
    EXPECT_EQ(help.exit_code, FAILED);
    EXPECT_EQ(help.out, "\n" + usage_text());
    EXPECT_EQ(help.err, "");
  }
  // Help after valid options still ends the run; the output opened before
  // it stays as created.
  Result late = folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o", "out.kds", "-h"});
  EXPECT_EQ(late.exit_code, FAILED);
  EXPECT_EQ(late.out, "\n" + usage_text());
  EXPECT_TRUE(folder.exists("out.kds"));
  EXPECT_EQ(folder.read("out.kds"), "");
}

TEST_F(CliCommandLine, OptionsWrittenJoinedWithSlashesOrSeparatelyBuildTheSameFile) {
  ASSERT_EQ(folder.kestrel(build_args()).exit_code, 0);
  const std::string reference = folder.read("out.kds");
  ASSERT_FALSE(reference.empty());

  const std::vector<std::vector<std::string>> spellings = {
      {"-kCardNum", "-s" + SCHEMA, "-iin.tsv", "-oout2.kds"},
      {"/k", "CardNum", "/s", SCHEMA, "/i", "in.tsv", "/o", "out2.kds"},
      {"-u", "-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o", "out2.kds"},
      {"-ui", "in.tsv", "-k", "CardNum", "-s", SCHEMA, "-o", "out2.kds"},
      {"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o", "out2.kds", "--", "-x"},
      {"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o", "out2.kds", "rest", "-x"},
  };
  for (const auto& args : spellings) {
    Result result = folder.kestrel(args);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(folder.read("out2.kds"), reference);
    std::filesystem::remove(folder / "out2.kds");
  }
}

TEST_F(CliCommandLine, CommandLineInvalid) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-k"},
                                               {"-k", "CardNum", "-x"},
                                               {"-:"},
                                               {"?"},
                                               {"-k", "CardNum", "?k"},
                                               {"-uk"},
                                               {"-K", "CardNum"}}) {
    expect_report(folder.kestrel(args), "Commmand line invalid.");
  }
}

TEST_F(CliCommandLine, OptionsAfterTheFirstNonOptionOrADoubleDashAreIgnored) {
  expect_report(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "file", "-o", "out.kds"}),
                "Invalid number of arguments.");
  expect_report(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "--", "-o", "out.kds"}),
                "Invalid number of arguments.");
  expect_report(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-", "-o", "out.kds"}),
                "Invalid number of arguments.");
  EXPECT_FALSE(folder.exists("out.kds"));
}

TEST_F(CliCommandLine, InvalidNumberOfArguments) {
  expect_report(folder.kestrel({"-s", SCHEMA, "-i", "in.tsv", "-o", "out.kds"}), "Invalid number of arguments.");
  expect_report(folder.kestrel({"-k", "CardNum", "-i", "in.tsv", "-o", "out.kds"}), "Invalid number of arguments.");
  expect_report(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-o", "out.kds"}), "Invalid number of arguments.");
  expect_report(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv"}), "Invalid number of arguments.");
  // An upgrade takes no schema; a schema without keys is no build either.
  expect_report(folder.kestrel({"-u", "-s", SCHEMA, "-i", "in.tsv", "-o", "up.kds"}), "Invalid number of arguments.");
  expect_report(folder.kestrel({"-u", "-i", "in.tsv"}), "Invalid number of arguments.");
  // The output was opened before the check and stays as it was created.
  EXPECT_EQ(folder.read("out.kds"), "");
  EXPECT_EQ(folder.read("up.kds"), "");
}

TEST_F(CliCommandLine, InputFilenameInvalid) {
  std::filesystem::create_directory(folder / "dir");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-i", "missing.tsv"}, {"-i", "dir"}, {"-i", ""}, {"-i", "in.tsv", "-i", "in.tsv"}}) {
    expect_report(folder.kestrel(args), "Input Filename Invalid.");
  }
  // A name that is not UTF-8 is refused even when the file exists: read as
  // UTF-8 it would name another file, in\uFFFD.tsv.
  folder.write("in\xE9.tsv", cli_test::sample_records());
  folder.write("in\xEF\xBF\xBD.tsv", cli_test::sample_records());
  expect_report(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "in\xE9.tsv", "-o", "out.kds"}),
                "Input Filename Invalid.");
}

TEST_F(CliCommandLine, OutputFilenameInvalidLeavesEveryFileAsItWas) {
  std::filesystem::create_directory(folder / "dir");
  folder.write("old.kds", "old content");
  folder.write("old\xEF\xBF\xBD.kds", "old content");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-o", "missing/out.kds"},
        {"-o", "dir"},
        {"-o", ""},
        {"-o", "old.kds", "-o", "other.kds"},
        // The input as its own output: its reader holds it.
        {"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o", "in.tsv"},
        // Not UTF-8: converted, the name would be that of old\uFFFD.kds.
        {"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o", "old\xFF.kds"}}) {
    expect_report(folder.kestrel(args), "Output Filename Invalid.");
  }
  EXPECT_EQ(folder.read("in.tsv"), cli_test::sample_records());
  EXPECT_EQ(folder.read("old.kds"), "old content");
  EXPECT_EQ(folder.read("old\xEF\xBF\xBD.kds"), "old content");
  EXPECT_FALSE(folder.exists("old\xFF.kds"));
  EXPECT_FALSE(folder.exists("missing"));
  EXPECT_FALSE(folder.exists("other.kds"));
  // The output named first holds the file, so the input cannot read it.
  expect_report(folder.kestrel({"-o", "in.tsv", "-i", "in.tsv"}), "Input Filename Invalid.");
  EXPECT_EQ(folder.read("in.tsv"), cli_test::sample_records());
}

TEST_F(CliCommandLine, SchemaMessages) {
  expect_report(folder.kestrel({"-s", SCHEMA, "-s", SCHEMA}), "Multiple schemas detected.");
  for (const char* schema : {"a,Simple,b", "a", "a,Simple;b", "a,Simple;b,NoSuchFormatter", "a,Simple "}) {
    expect_report(folder.kestrel({"-s", schema}), "Invalid schema format, see usage.");
  }
  // An empty schema is no schema: a second -s is then accepted, and without
  // any fields the build lacks its schema.
  expect_report(folder.kestrel({"-k", "a", "-s", ";;", "-i", "in.tsv", "-o", "out.kds"}),
                "Invalid number of arguments.");
}

TEST_F(CliCommandLine, RejectedInputLinesLeaveTheOutputAsItWas) {
  folder.write("out.kds", "previous content");
  folder.write("cr.tsv", "Anne\tSmith\t4111\rJohn\tDoe\t5500\n");
  expect_report(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "cr.tsv", "-o", "out.kds"}),
                "Invalid line ending in input file.");
  folder.write("cr_end.tsv", "Anne\tSmith\t4111\r");
  expect_report(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "cr_end.tsv", "-o", "out.kds"}),
                "Invalid line ending in input file.");
  folder.write("fields.tsv", "Anne\tSmith\t4111\nJohn\tDoe\n");
  expect_report(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "fields.tsv", "-o", "out.kds"}),
                "Field count does not match the schema.");
  folder.write("empty_line.tsv", "Anne\tSmith\t4111\n\nJohn\tDoe\t5500\n");
  expect_report(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "empty_line.tsv", "-o", "out.kds"}),
                "Field count does not match the schema.");
  EXPECT_EQ(folder.read("out.kds"), "previous content");
  EXPECT_FALSE(folder.exists("mid_buf"));
}

TEST_F(CliCommandLine, FailedBuildPrintsTheStatusAndDeletesTheOutput) {
  folder.write("out.kds", "previous content");
  folder.write("empty_key.tsv", "Anne\tSmith\t4111\nJohn\tDoe\t   \n");
  Result result = folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "empty_key.tsv", "-o", "out.kds"});
  EXPECT_EQ(result.exit_code, FAILED);
  EXPECT_EQ(result.err, "Failed to generate file.The key field \"CardNum\" is empty in the record on line 2 of the "
                        "input file.");
  EXPECT_EQ(result.out, "\n\n");
  EXPECT_FALSE(folder.exists("out.kds"));

  // Keys are found in the schema ignoring case for the empty-key check, but
  // the index needs the exact name.
  result = folder.kestrel({"-k", "cardnum", "-s", SCHEMA, "-i", "in.tsv", "-o", "out.kds"});
  EXPECT_EQ(result.exit_code, FAILED);
  EXPECT_EQ(result.err, "Failed to generate file.The key field \"cardnum\" is not a field of the schema.");
  EXPECT_FALSE(folder.exists("out.kds"));

  result = folder.kestrel({"-k", "a", "-s", "a,Simple;b,Simple;a,SimpleNC", "-i", "in.tsv", "-o", "out.kds"});
  EXPECT_EQ(result.exit_code, FAILED);
  EXPECT_EQ(result.err, "Failed to generate file.The field list is invalid: a field name is given twice, or the "
                        "list is empty or damaged.");
  EXPECT_FALSE(folder.exists("out.kds"));
  EXPECT_TRUE(folder.temporary_folder_empty());
  EXPECT_FALSE(folder.exists("mid_buf"));
}

TEST_F(CliCommandLine, DuplicateRecordsEndWithWarningsAndACompleteFile) {
  folder.write("dup.tsv", "Anne\tSmith\t4111\nJohn\tDoe\t5500\nAnne\tSmith\t4111\n");
  Result result =
      folder.kestrel({"-k", "CardNum", "-k", "Surname", "-s", SCHEMA, "-i", "dup.tsv", "-o", "out.kds"});
  EXPECT_EQ(result.exit_code, 0);
  const std::string warning = "A record repeats another record of the data set exactly; both are stored and "
                              "indexed under the key ";
  EXPECT_EQ(result.err, "Warnings:" + warning + "\"Surname\".\n" + warning + "\"CardNum\".");
  EXPECT_EQ(result.out, "\n\n");
  Result inspected = folder.run(cli_test::INSPECT, {"out.kds", "-k", "Surname", "-v", "SMITH"});
  EXPECT_EQ(inspected.exit_code, 0) << inspected.err;
  EXPECT_NE(inspected.out.find("Records: 3"), std::string::npos);
  EXPECT_NE(inspected.out.find("matches \"SMITH\": 2"), std::string::npos);
}

TEST_F(CliCommandLine, ManyRepeatsStillGiveOneWarningPerIndex) {
  std::string input;
  for (int i = 0; i < 5; ++i) input += "Anne\tSmith\t4111\nJohn\tDoe\t5500\n";
  folder.write("dup.tsv", input);
  Result result = folder.kestrel({"-k", "Surname", "-s", SCHEMA, "-i", "dup.tsv", "-o", "out.kds"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "Warnings:A record repeats another record of the data set exactly; both are stored and "
                        "indexed under the key \"Surname\".");
  Result inspected = folder.run(cli_test::INSPECT, {"out.kds", "-k", "Surname", "-v", "smith"});
  EXPECT_NE(inspected.out.find("matches \"smith\": 5"), std::string::npos) << inspected.out;
}

TEST_F(CliCommandLine, AnExistingLongerOutputIsReplacedExactly) {
  ASSERT_EQ(folder.kestrel(build_args()).exit_code, 0);
  const std::string fresh = folder.read("out.kds");
  folder.write("out.kds", std::string(fresh.size() * 3, 'x'));
  ASSERT_EQ(folder.kestrel(build_args()).exit_code, 0);
  EXPECT_EQ(folder.read("out.kds"), fresh);
}

TEST_F(CliCommandLine, AnIntermediateFileInTheWayFailsTheBuild) {
  folder.write("mid_buf", "someone else's");
  Result result = folder.kestrel(build_args());
  EXPECT_EQ(result.exit_code, FAILED);
  EXPECT_EQ(result.err.rfind("Failed to generate file.The intermediate file \"mid_buf\" could not be created", 0), 0u)
      << result.err;
  EXPECT_EQ(folder.read("mid_buf"), "someone else's");
  EXPECT_FALSE(folder.exists("out.kds"));
}

TEST_F(CliCommandLine, UpgradeOrBuildIsChosenByTheOptionsGiven) {
  ASSERT_EQ(folder.kestrel(build_args()).exit_code, 0);
  // -u, -i and -o alone upgrade; a current file is left alone and the output
  // stays as it was opened.
  folder.write("up.kds", "untouched");
  Result upgrade = folder.kestrel({"-u", "-i", "out.kds", "-o", "up.kds"});
  EXPECT_EQ(upgrade.exit_code, 0) << upgrade.err;
  EXPECT_EQ(upgrade.out, "");
  EXPECT_EQ(upgrade.err, "");
  EXPECT_EQ(folder.read("up.kds"), "untouched");

  // An upgrade of something that is no data set prints the status alone
  // and deletes the output.
  Result bad = folder.kestrel({"-u", "-i", "in.tsv", "-o", "up.kds"});
  EXPECT_EQ(bad.exit_code, FAILED);
  EXPECT_EQ(bad.err, "The data set file \"in.tsv\" is damaged or is not a data set file.");
  EXPECT_EQ(bad.out, "\n");
  EXPECT_FALSE(folder.exists("up.kds"));
}

}  // namespace
