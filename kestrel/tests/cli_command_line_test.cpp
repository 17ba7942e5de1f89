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

// A message of the failure table and the reason under it (a status message)
// on standard error, each a line; on standard output a newline for each and
// the usage.
void expect_report(const Result& result, const std::string& message, const std::string& reason = "") {
  EXPECT_EQ(result.exit_code, FAILED);
  EXPECT_EQ(result.err, message + "\n" + (reason.empty() ? "" : reason + "\n"));
  EXPECT_EQ(result.out, (reason.empty() ? "\n" : "\n\n") + usage_text());
}

// "Failed to generate file." and the status message; no usage.
void expect_failed_build(const Result& result, const std::string& reason) {
  EXPECT_EQ(result.exit_code, FAILED);
  EXPECT_EQ(result.err, "Failed to generate file.\n" + reason + "\n");
  EXPECT_EQ(result.out, "\n\n");
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
  // Help after valid options still ends the run, before any file is made.
  Result late = folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o", "out.kds", "-h"});
  EXPECT_EQ(late.exit_code, FAILED);
  EXPECT_EQ(late.out, "\n" + usage_text());
  EXPECT_FALSE(folder.exists("out.kds"));
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
  // Nothing is made before the command line is known to be whole.
  EXPECT_FALSE(folder.exists("out.kds"));
  EXPECT_FALSE(folder.exists("up.kds"));
}

TEST_F(CliCommandLine, InputFilenameInvalidSaysWhy) {
  std::filesystem::create_directory(folder / "dir");
  const std::string open_failed = "The file \"%\" could not be opened.\n";
  auto reason = [&](const std::string& name, const std::string& why) {
    std::string text = open_failed;
    text.replace(text.find('%'), 1, name);
    return text + why;
  };
  struct Case {
    std::string name;
    std::string reason;
  };
  for (const Case& c : {Case{"missing.tsv", reason("missing.tsv", "The file \"missing.tsv\" does not exist.")},
                        Case{"dir", reason("dir", "\"dir\" is not a plain file.")},
                        Case{"", reason("", "No file name was given.")}}) {
    expect_report(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", c.name, "-o", "out.kds"}),
                  "Input Filename Invalid.", c.reason);
  }
  expect_report(folder.kestrel({"-i", "in.tsv", "-i", "in.tsv"}), "Input Filename Invalid.",
                "The option -i is given twice.");
  // A name that is not UTF-8 is refused even when the file exists: read as
  // UTF-8 it would name another file, in\uFFFD.tsv.
  folder.write("in\xE9.tsv", cli_test::sample_records());
  folder.write("in\xEF\xBF\xBD.tsv", cli_test::sample_records());
  expect_report(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "in\xE9.tsv", "-o", "out.kds"}),
                "Input Filename Invalid.", "The file name is not valid UTF-8 text.");
  EXPECT_FALSE(folder.exists("out.kds"));
}

TEST_F(CliCommandLine, OutputFilenameInvalidSaysWhyAndLeavesEveryFileAsItWas) {
  std::filesystem::create_directory(folder / "dir");
  folder.write("old.kds", "old content");
  folder.write("old\xEF\xBF\xBD.kds", "old content");
  const std::string exists = " already exists; kestrel never replaces a file. Remove it or name another output.";
  struct Case {
    std::vector<std::string> args;
    std::string reason;
  };
  const std::vector<std::string> build = {"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o"};
  auto with = [&](const std::string& output) {
    std::vector<std::string> args = build;
    args.push_back(output);
    return args;
  };
  for (const Case& c : {Case{with("missing/out.kds"),
                             "No new file could be made in the folder \"missing\".\nNo such file or directory"},
                        Case{with("dir"), "The output name \"dir\" is a folder, not a file name."},
                        Case{with("dir/"), "The output name \"dir/\" is a folder, not a file name."},
                        Case{with(""), "No file name was given."},
                        Case{with("old.kds"), "The output file \"old.kds\"" + exists},
                        Case{with("in.tsv"), "The output file \"in.tsv\"" + exists},
                        Case{{"-o", "old.kds", "-o", "other.kds"}, "The option -o is given twice."},
                        // Not UTF-8: converted, the name would be that of old\uFFFD.kds.
                        Case{with("old\xFF.kds"), "The file name is not valid UTF-8 text."}}) {
    expect_report(folder.kestrel(c.args), "Output Filename Invalid.", c.reason);
  }
  EXPECT_EQ(folder.read("in.tsv"), cli_test::sample_records());
  EXPECT_EQ(folder.read("old.kds"), "old content");
  EXPECT_EQ(folder.read("old\xEF\xBF\xBD.kds"), "old content");
  EXPECT_FALSE(folder.exists("old\xFF.kds"));
  EXPECT_FALSE(folder.exists("missing"));
  EXPECT_FALSE(folder.exists("other.kds"));
}

TEST_F(CliCommandLine, SchemaMessagesNameWhatIsWrong) {
  expect_report(folder.kestrel({"-s", SCHEMA, "-s", SCHEMA}), "Multiple schemas detected.");
  const std::string not_a_pair = "\" is not a field name and a formatter name separated by a comma.";
  struct Case {
    const char* schema;
    std::string reason;
  };
  for (const Case& c :
       {Case{"a,Simple,b", "The schema item \"a,Simple,b" + not_a_pair}, Case{"a", "The schema item \"a" + not_a_pair},
        Case{"a,Simple;b", "The schema item \"b" + not_a_pair},
        Case{"a,Simple;b,NoSuchFormatter", "The formatter \"NoSuchFormatter\" of the field \"b\" is not known; the "
                                           "formatters are Simple, SimpleNC and CCNUMBER."},
        Case{"a,Simple ", "The formatter \"Simple \" of the field \"a\" is not known; the formatters are Simple, "
                          "SimpleNC and CCNUMBER."}}) {
    expect_report(folder.kestrel({"-s", c.schema}), "Invalid schema format, see usage.", c.reason);
  }
  // An empty schema is no schema: a second -s is then accepted, and without
  // any fields the build lacks its schema.
  expect_report(folder.kestrel({"-k", "a", "-s", ";;", "-i", "in.tsv", "-o", "out.kds"}),
                "Invalid number of arguments.");
}

TEST_F(CliCommandLine, RejectedInputLinesAreNamedAndLeaveNoOutput) {
  struct Case {
    const char* name;
    const char* bytes;
    const char* message;
    const char* reason;
  };
  const Case cases[] = {
      {"cr.tsv", "Anne\tSmith\t4111\rJohn\tDoe\t5500\n", "Invalid line ending in input file.",
       "Line 1 of the input file \"cr.tsv\" holds a CR that is not followed by LF."},
      {"cr_end.tsv", "Anne\tSmith\t4111\nJohn\tDoe\t5500\r", "Invalid line ending in input file.",
       "Line 2 of the input file \"cr_end.tsv\" holds a CR that is not followed by LF."},
      {"fields.tsv", "Anne\tSmith\t4111\nJohn\tDoe\n", "Field count does not match the schema.",
       "Line 2 of the input file \"fields.tsv\": 2 values, where the schema has 3 fields."},
      {"empty_line.tsv", "Anne\tSmith\t4111\n\nJohn\tDoe\t5500\n", "Field count does not match the schema.",
       "Line 2 of the input file \"empty_line.tsv\": 1 values, where the schema has 3 fields."},
  };
  for (const Case& c : cases) {
    folder.write(c.name, c.bytes);
    expect_report(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", c.name, "-o", "out.kds"}), c.message,
                  c.reason);
    EXPECT_FALSE(folder.exists("out.kds"));
  }
}

TEST_F(CliCommandLine, FailedBuildPrintsTheStatusAndLeavesNoOutput) {
  folder.write("empty_key.tsv", "Anne\tSmith\t4111\nJohn\tDoe\t   \n");
  expect_failed_build(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "empty_key.tsv", "-o", "out.kds"}),
                      "The key field \"CardNum\" is empty in the record on line 2 of the input file.");
  // A card number without digits or letters formats to nothing: every such
  // record would share the key hash of nothing.
  folder.write("no_tokens.tsv", "Anne\tSmith\t4111\nJohn\tDoe\t - -- \n");
  expect_failed_build(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "no_tokens.tsv", "-o", "out.kds"}),
                      "The key field \"CardNum\" of the record on line 2 holds nothing that is kept once it is "
                      "formatted, so the record could not be found by that key.");
  EXPECT_FALSE(folder.exists("out.kds"));

  // Keys name their fields exactly, and are checked before the input is read
  // (a missing input does not get in first).
  expect_failed_build(folder.kestrel({"-k", "cardnum", "-s", SCHEMA, "-i", "missing.tsv", "-o", "out.kds"}),
                      "The key field \"cardnum\" is not a field of the schema.");
  expect_failed_build(
      folder.kestrel({"-k", "a", "-s", "a,Simple;b,Simple;a,SimpleNC", "-i", "missing.tsv", "-o", "out.kds"}),
      "The field list is invalid: a field name is given twice, or the list is empty or damaged.");
  EXPECT_FALSE(folder.exists("out.kds"));
  EXPECT_TRUE(folder.temporary_folder_empty());
}

TEST_F(CliCommandLine, DuplicateRecordsEndWithWarningsAndACompleteFile) {
  folder.write("dup.tsv", "Anne\tSmith\t4111\nJohn\tDoe\t5500\nAnne\tSmith\t4111\n");
  Result result =
      folder.kestrel({"-k", "CardNum", "-k", "Surname", "-s", SCHEMA, "-i", "dup.tsv", "-o", "out.kds"});
  EXPECT_EQ(result.exit_code, 0);
  const std::string warning = "A record repeats another record of the data set exactly; both are stored and "
                              "indexed under the key ";
  EXPECT_EQ(result.err, "Warnings:\n" + warning + "\"Surname\".\n" + warning + "\"CardNum\".\n");
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
  EXPECT_EQ(result.err, "Warnings:\nA record repeats another record of the data set exactly; both are stored and "
                        "indexed under the key \"Surname\".\n");
  Result inspected = folder.run(cli_test::INSPECT, {"out.kds", "-k", "Surname", "-v", "smith"});
  EXPECT_NE(inspected.out.find("matches \"smith\": 5"), std::string::npos) << inspected.out;
}

TEST_F(CliCommandLine, AnExistingOutputIsRefusedAndKept) {
  ASSERT_EQ(folder.kestrel(build_args()).exit_code, 0);
  const std::string fresh = folder.read("out.kds");
  folder.write("in.tsv", "Other\tRecords\t5500\n");
  expect_report(folder.kestrel(build_args()), "Output Filename Invalid.",
                "The output file \"out.kds\" already exists; kestrel never replaces a file. Remove it or name another "
                "output.");
  EXPECT_EQ(folder.read("out.kds"), fresh);
}

TEST_F(CliCommandLine, AFileOfTheUsersCalledMidBufIsNeverTouched) {
  folder.write("mid_buf", "someone else's");
  Result result = folder.kestrel(build_args());
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(folder.read("mid_buf"), "someone else's");
  EXPECT_TRUE(folder.exists("out.kds"));
}

TEST_F(CliCommandLine, UpgradeOrBuildIsChosenByTheOptionsGiven) {
  ASSERT_EQ(folder.kestrel(build_args()).exit_code, 0);
  // -u, -i and -o alone upgrade; a current file is checked and copied.
  Result upgrade = folder.kestrel({"-u", "-i", "out.kds", "-o", "up.kds"});
  EXPECT_EQ(upgrade.exit_code, 0) << upgrade.err;
  EXPECT_EQ(upgrade.out, "");
  EXPECT_EQ(upgrade.err, "");
  EXPECT_EQ(folder.read("up.kds"), folder.read("out.kds"));

  // An upgrade of something that is no data set prints the status alone
  // and writes nothing.
  Result bad = folder.kestrel({"-u", "-i", "in.tsv", "-o", "bad.kds"});
  EXPECT_EQ(bad.exit_code, FAILED);
  EXPECT_EQ(bad.err, "The data set file \"in.tsv\" is damaged or is not a data set file.\n");
  EXPECT_EQ(bad.out, "\n");
  EXPECT_FALSE(folder.exists("bad.kds"));
}

}  // namespace
