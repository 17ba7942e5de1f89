// Whatever goes wrong, a run ends with the user's files exactly as they were
// or with one new, whole output: failed runs of every kind, outputs whose
// names are taken by anything, runs stopped by signals at any point, and
// runs that race for one output name.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "cli_test_support.h"
#include "data_set_test_file.h"
#include "tla/tla_data_set_format.h"

namespace {

namespace fs = std::filesystem;
using cli_test::FAILED;
using cli_test::Folder;
using cli_test::Result;
using cli_test::SCHEMA;

// Every name under the folder with what it holds: the bytes of a file, the
// target of a link, the kind of anything else, and the inode, so that a
// file replaced by an equal copy shows too.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> found;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path& path = it->path();
    struct stat st {};
    ::lstat(path.c_str(), &st);
    std::string what = std::to_string(st.st_ino) + " " + std::to_string(st.st_mode) + " ";
    if (S_ISLNK(st.st_mode)) {
      what += "-> " + fs::read_symlink(path).string();
    } else if (S_ISREG(st.st_mode)) {
      what += test_support::read_file(path);
    }
    found[fs::relative(path, root).string()] = what;
  }
  return found;
}

std::string v1_file(const data_set_test::Plan& base, const std::function<void(data_set_test::Built&)>& bend = {}) {
  data_set_test::Plan plan = base;
  plan.version = 1;
  std::copy(std::begin(tla::TLA_V1_SCRAMBLE_KEY), std::end(tla::TLA_V1_SCRAMBLE_KEY), plan.scramble_key);
  data_set_test::Built built = data_set_test::build(plan);
  if (bend) {
    bend(built);
    data_set_test::seal(built.bytes);
  }
  return built.bytes;
}

// A folder with every kind of thing a careless command line may name.
class CliSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.write("in.tsv", cli_test::sample_records());
    folder.write("cr.tsv", "Anne\tSmith\t4111\rBob\tDoe\t5500\n");
    folder.write("fields.tsv", "Anne\tSmith\t4111\nBob\tDoe\n");
    folder.write("not_utf8.tsv", "Anne\tSm\xFFith\t4111\n");
    folder.write("no_key.tsv", "Anne\tSmith\t4111\nBob\tDoe\t- -\n");
    folder.write("empty.tsv", "");
    folder.write("theirs.kds", "yesterday's data set");
    folder.write("target.kds", "the file a link leads to");
    fs::create_symlink("target.kds", folder / "link.kds");
    fs::create_hard_link(folder / "theirs.kds", folder / "hard.kds");
    fs::create_symlink("nowhere.kds", folder / "dangling.kds");
    fs::create_directory(folder / "dir.kds");
    ::mkfifo((folder / "fifo.kds").c_str(), 0600);

    ASSERT_EQ(folder.kestrel({"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o", "current.kds"}).exit_code, 0);
    const std::string current = folder.read("current.kds");
    for (unsigned version : {0u, 3u, 65535u}) {
      std::string bytes = current;
      data_set_test::set_le(bytes, tla::TLA_VERSION_OFFSET, version, 2);
      data_set_test::seal(bytes);
      folder.write("v" + std::to_string(version) + ".kds", bytes);
    }
    data_set_test::Plan old;
    old.fields = {{"Name", "Simple"}, {"City", "SimpleNC"}};
    old.keys = {"Name"};
    old.texts = {{"Anne", "Paris"}, {"Bob", "Lyon"}, {"Carl", "Nice"}};
    folder.write("old.kds", v1_file(old));
    // The first index names the first record twice and so misses another:
    // an upgrade that trusted it would double one record and lose one.
    folder.write("twice.kds", v1_file(old, [](data_set_test::Built& built) {
      const std::uint64_t first = data_set_test::get_le(built.bytes, built.entries_start[0] + 8, 8);
      data_set_test::set_le(built.bytes, built.entries_start[0] + 16 + 8, first, 8);
    }));
    data_set_test::Plan bad_text = old;
    bad_text.texts[1][1] = "Ly\xC3on";
    folder.write("bad_text.kds", v1_file(bad_text));
  }

  Folder folder;
};

TEST_F(CliSafety, EveryFailureLeavesTheFolderAsItWas) {
  const std::vector<std::string> build = {"-k", "CardNum", "-s", SCHEMA, "-i"};
  auto run = [&](const std::string& input, const std::string& output) {
    std::vector<std::string> args = build;
    args.insert(args.end(), {input, "-o", output});
    return args;
  };
  struct Case {
    std::vector<std::string> args;
    std::string first_line;
  };
  const std::string damaged = "The data set file ";
  const std::vector<Case> cases = {
      {{"-k", "Nope", "-s", SCHEMA, "-i", "in.tsv", "-o", "new.kds"}, "Failed to generate file."},
      {{"-k", "a", "-s", "a,Simple;a,SimpleNC", "-i", "in.tsv", "-o", "new.kds"}, "Failed to generate file."},
      {{"-k", "CardNum", "-s", ";;;", "-i", "in.tsv", "-o", "new.kds"}, "Invalid number of arguments."},
      {{"-k", "CardNum", "-s", "a,Nope", "-i", "in.tsv", "-o", "new.kds"}, "Invalid schema format, see usage."},
      {{"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv"}, "Invalid number of arguments."},
      {{"-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o", "new.kds", "-x"}, "Commmand line invalid."},
      {run("missing.tsv", "new.kds"), "Input Filename Invalid."},
      {run("cr.tsv", "new.kds"), "Invalid line ending in input file."},
      {run("fields.tsv", "new.kds"), "Field count does not match the schema."},
      {run("not_utf8.tsv", "new.kds"), "Failed to generate file."},
      {run("no_key.tsv", "new.kds"), "Failed to generate file."},
      {run("empty.tsv", "new.kds"), "Failed to generate file."},
      {run("in.tsv", "sub/new.kds"), "Output Filename Invalid."},
      {{"-u", "-i", "v0.kds", "-o", "new.kds"}, damaged + "\"v0.kds\""},
      {{"-u", "-i", "v3.kds", "-o", "new.kds"}, damaged + "\"v3.kds\""},
      {{"-u", "-i", "v65535.kds", "-o", "new.kds"}, damaged + "\"v65535.kds\""},
      {{"-u", "-i", "twice.kds", "-o", "new.kds"}, damaged + "\"twice.kds\""},
      {{"-u", "-i", "bad_text.kds", "-o", "new.kds"}, damaged + "\"bad_text.kds\""},
      {{"-u", "-i", "in.tsv", "-o", "new.kds"}, damaged + "\"in.tsv\""},
  };
  std::vector<Case> all = cases;
  // An output whose name is taken by anything at all is refused untouched,
  // by a build and by an upgrade.
  for (const char* taken : {"theirs.kds", "link.kds", "hard.kds", "dangling.kds", "dir.kds", "fifo.kds", "in.tsv"}) {
    all.push_back({run("in.tsv", taken), "Output Filename Invalid."});
    all.push_back({{"-u", "-i", "old.kds", "-o", taken}, "Output Filename Invalid."});
  }
  const auto before = snapshot(folder.path());
  for (const Case& c : all) {
    std::string line;
    for (const std::string& arg : c.args) line += arg + " ";
    SCOPED_TRACE(line);
    const Result result = folder.kestrel(c.args);
    EXPECT_EQ(result.exit_code, FAILED);
    EXPECT_EQ(result.err.substr(0, c.first_line.size()), c.first_line) << result.err;
    // Every message is a line of its own.
    EXPECT_EQ(result.err.back(), '\n');
    EXPECT_EQ(snapshot(folder.path()), before);
  }
}

TEST_F(CliSafety, GoodRunsAddOneWholeFileAndTouchNothingElse) {
  auto expected = snapshot(folder.path());
  ASSERT_EQ(folder.kestrel({"-u", "-i", "current.kds", "-o", "copy.kds"}).exit_code, 0);
  ASSERT_EQ(folder.kestrel({"-u", "-i", "old.kds", "-o", "new.kds"}).exit_code, 0);
  EXPECT_EQ(folder.read("copy.kds"), folder.read("current.kds"));
  EXPECT_EQ(folder.run(cli_test::INSPECT, {"new.kds"}).exit_code, 0);
  auto after = snapshot(folder.path());
  after.erase("copy.kds");
  after.erase("new.kds");
  EXPECT_EQ(after, expected);
  // New files are made as any other program makes them: 0666 less the umask.
  EXPECT_EQ(fs::status(folder / "new.kds").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

TEST_F(CliSafety, WithoutItsMessageFilesAFailureStillGivesItsStatusValues) {
  // The program and its libraries, without the message modules beside them.
  const fs::path alone = folder / "alone";
  fs::create_directory(alone);
  for (const auto& entry : fs::directory_iterator(fs::path(cli_test::KESTREL).parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name == "kestrel" || (name.rfind("lib", 0) == 0 && name.find(".so") != std::string::npos)) {
      fs::copy_file(entry.path(), alone / name);
    }
  }
  const Result result =
      folder.run((alone / "kestrel").string(), {"-k", "Nope", "-s", SCHEMA, "-i", "in.tsv", "-o", "new.kds"});
  EXPECT_EQ(result.exit_code, FAILED);
  EXPECT_EQ(result.err, "Failed to generate file.\nThe message files (platres2208.so, utilres2208.so) were not found "
                        "beside the libraries; the status values are:\n0xC2012511\n");
  EXPECT_FALSE(folder.exists("new.kds"));
}

// Runs kestrel in the folder and stops it with the signal after the delay;
// returns how it ended, as waitpid says.
int stopped_run(const Folder& folder, const std::vector<std::string>& args, int signal_number,
                std::chrono::milliseconds delay, bool stand_in_names) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(folder.path().c_str()) != 0) ::_exit(126);
    ::setenv("TMPDIR", (folder / "tmp").c_str(), 1);
    if (stand_in_names) ::setenv("KRN_TEMPORARY_NAMES", "1", 1);
    if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)) ::_exit(126);
    std::vector<char*> argv{const_cast<char*>(cli_test::KESTREL.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  std::this_thread::sleep_for(delay);
  ::kill(child, signal_number);
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

TEST_F(CliSafety, ARunStoppedBySignalsLeavesNothingOrTheWholeFile) {
  Folder big;
  std::string records;
  for (int i = 0; i < 12000; ++i) {
    records += "Given" + std::to_string(i) + "\tSurname " + std::to_string(i % 997) + "\t4111 " +
               std::to_string(1000000 + i * 7) + "\n";
  }
  big.write("in.tsv", records);
  const std::vector<std::string> args = {"-k", "CardNum", "-k", "Surname", "-s", SCHEMA, "-i", "in.tsv", "-o",
                                         "out.kds"};
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(big.kestrel(args).exit_code, 0);
  const auto whole_run = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  const std::string reference = big.read("out.kds");
  fs::remove(big / "out.kds");

  struct Case {
    int signal_number;
    bool stand_in_names;
  };
  // SIGKILL leaves no chance to remove a stand-in name, so it is tried only
  // with nameless files.
  const Case cases[] = {{SIGINT, false}, {SIGTERM, false}, {SIGKILL, false},
                        {SIGINT, true},  {SIGTERM, true},  {SIGHUP, true}};
  int stopped = 0;
  for (const Case& c : cases) {
    for (const double fraction : {0.05, 0.5, 0.9}) {
      const auto delay = std::chrono::milliseconds(static_cast<long>(whole_run.count() * fraction));
      SCOPED_TRACE("signal " + std::to_string(c.signal_number) + " after " + std::to_string(delay.count()) +
                   " ms, stand-in names " + std::to_string(c.stand_in_names));
      const int status = stopped_run(big, args, c.signal_number, delay, c.stand_in_names);
      if (WIFSIGNALED(status)) {
        // Ended by the signal itself, after cleaning up.
        EXPECT_EQ(WTERMSIG(status), c.signal_number);
        ++stopped;
      } else {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      }
      std::vector<std::string> names = big.names();
      std::sort(names.begin(), names.end());
      if (big.exists("out.kds")) {
        EXPECT_EQ(big.read("out.kds"), reference);
        EXPECT_EQ(names, (std::vector<std::string>{"in.tsv", "out.kds"}));
        fs::remove(big / "out.kds");
      } else {
        EXPECT_EQ(names, (std::vector<std::string>{"in.tsv"}));
      }
      EXPECT_TRUE(big.temporary_folder_empty());
    }
  }
  // Most runs were stopped half-way; otherwise the test tried nothing.
  EXPECT_GE(stopped, 9);
}

}  // namespace
