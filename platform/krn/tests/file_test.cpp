#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

#include "krn/krn_file.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_string.h"

using namespace krn;
namespace fs = std::filesystem;

namespace {

// A fresh folder under the system's temporary folder, removed afterwards.
class KrnFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    m_dir = fs::temp_directory_path() / ("krn_file_test_" + std::to_string(random()));
    fs::create_directories(m_dir);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }

  fs::path path(const char* name) const { return m_dir / name; }
  static Wstring wide(const fs::path& p) {
    Wstring out;
    krn_utf8_to_utf16(p.string(), out);
    return out;
  }
  Wstring wpath(const char* name) const { return wide(path(name)); }

  static void put(const fs::path& p, const std::string& content) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << content;
  }
  static std::string get(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path m_dir;
};

Wstring first_arg(const Krn_status& status) {
  if (status.num_args() == 0) return u"<none>";
  const auto* arg = dynamic_cast<const Krn_wstring_status_arg*>(*status.begin());
  return arg ? arg->value() : u"<not a string>";
}

// The head is the library's value and its child an operating-system error.
void expect_system_error_under(const Krn_status& status, unsigned head) {
  EXPECT_EQ(status, Krn_status(head));
  ASSERT_TRUE(status.has_child());
  EXPECT_EQ(status.child()->facility(), 0u);
  EXPECT_TRUE(status.child()->is_error());
}

}  // namespace

TEST_F(KrnFileTest, OpeningFailuresNameTheFileUnderTheOpenFailure) {
  Krn_status status;
  const Wstring missing = wpath("missing.txt");
  Krn_file file(missing, KRN_FILE_ACCESS_READ, status);
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(status, Krn_status(KRN_E_OPEN));
  EXPECT_EQ(first_arg(status), missing);
  ASSERT_TRUE(status.has_child());
  EXPECT_EQ(*status.child(), Krn_status(KRN_E_FILE_NOT_FOUND));
  EXPECT_EQ(first_arg(*status.child()), missing);

  file.open(u"", KRN_FILE_OPEN_ALWAYS, KRN_FILE_ACCESS_WRITE, 0, 0, status);
  EXPECT_EQ(status, Krn_status(KRN_E_OPEN));
  ASSERT_TRUE(status.has_child());
  EXPECT_EQ(*status.child(), Krn_status(KRN_E_EMPTY_FILE_NAME));

  file.open(wide(m_dir), KRN_FILE_OPEN_EXISTING, KRN_FILE_ACCESS_READ, 0, KRN_FILE_SHARE_READ, status);
  EXPECT_EQ(status, Krn_status(KRN_E_OPEN));
  ASSERT_TRUE(status.has_child());
  EXPECT_EQ(*status.child(), Krn_status(KRN_E_NOT_A_FILE));
  EXPECT_EQ(first_arg(*status.child()), wide(m_dir));

  // A missing folder on the way is the system's error, whatever the mode.
  file.open(wpath("no/such.txt"), KRN_FILE_OPEN_ALWAYS, KRN_FILE_ACCESS_WRITE, 0, 0, status);
  expect_system_error_under(status, KRN_E_OPEN);

  put(path("exists.txt"), "x");
  file.open(wpath("exists.txt"), KRN_FILE_CREATE_NEW, KRN_FILE_ACCESS_WRITE, 0, 0, status);
  expect_system_error_under(status, KRN_E_OPEN);
  EXPECT_EQ(get(path("exists.txt")), "x");

  // The system sees a name only up to a NUL: that would be another file.
  Wstring cut = wpath("exists.txt");
  cut += u'\0';
  cut += u"more";
  file.open(cut, KRN_FILE_OPEN_ALWAYS, KRN_FILE_ACCESS_WRITE, 0, 0, status);
  expect_system_error_under(status, KRN_E_OPEN);
  EXPECT_FALSE(file.is_open());
}

TEST_F(KrnFileTest, CreateOrTruncateNeedsWriteAccessAndLeavesTheFileAlone) {
  put(path("keep.txt"), "keep me");
  Krn_status status;
  Krn_file file(wpath("keep.txt"), KRN_FILE_CREATE_ALWAYS, KRN_FILE_ACCESS_READ, 0, 0, status);
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(status, Krn_status(KRN_E_OPEN));
  ASSERT_TRUE(status.has_child());
  EXPECT_EQ(*status.child(), Krn_status(KRN_E_CREATE_NEEDS_WRITE));
  EXPECT_EQ(get(path("keep.txt")), "keep me");

  file.open(wpath("keep.txt"), KRN_FILE_CREATE_ALWAYS, KRN_FILE_ACCESS_WRITE, 0, 0, status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(file.length(), 0);
}

TEST_F(KrnFileTest, ShortFormChoosesModeAndSharing) {
  Krn_status status;
  Krn_file writer(wpath("a.txt"), KRN_FILE_ACCESS_WRITE, status);  // creates
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(writer.write("abc", 3, status), 3u);
  writer.close();

  Krn_file reader1(wpath("a.txt"), KRN_FILE_ACCESS_READ, status);
  ASSERT_TRUE(status.ok());
  Krn_file reader2(wpath("a.txt"), KRN_FILE_ACCESS_READ, status);
  EXPECT_TRUE(status.ok()) << "readers share";
  Krn_file updater(wpath("a.txt"), KRN_FILE_ACCESS_READ_WRITE, status);
  expect_system_error_under(status, KRN_E_OPEN);

  EXPECT_THROW(
      {
        try {
          Krn_file bad(wpath("a.txt"), static_cast<Krn_file_access>(4), status);
        } catch (const std::logic_error& e) {
          EXPECT_STREQ(e.what(), "Krn_file::open - Unknown file access mode");
          throw;
        }
      },
      std::logic_error);
}

TEST_F(KrnFileTest, OpeningAnOpenFileFailsAndKeepsItOpen) {
  Krn_status status;
  Krn_file file(wpath("a.txt"), KRN_FILE_OPEN_ALWAYS, KRN_FILE_ACCESS_READ_WRITE, 0, 0, status);
  ASSERT_TRUE(status.ok());
  file.open(wpath("b.txt"), KRN_FILE_OPEN_ALWAYS, KRN_FILE_ACCESS_READ_WRITE, 0, 0, status);
  EXPECT_EQ(status, Krn_status(KRN_E_ALREADY_OPEN));
  EXPECT_FALSE(status.has_child());
  EXPECT_TRUE(file.is_open());
  EXPECT_EQ(file.name(), wpath("a.txt"));
  EXPECT_FALSE(fs::exists(path("b.txt")));
}

TEST_F(KrnFileTest, ReadWriteSeekTruncate) {
  Krn_status status;
  Krn_file file(wpath("data.bin"), KRN_FILE_CREATE_ALWAYS, KRN_FILE_ACCESS_READ_WRITE, 0, 0, status);
  ASSERT_TRUE(status.ok());
  const std::string text = "0123456789abcdefghij";
  EXPECT_EQ(file.write(text.data(), text.size(), status), text.size());
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(file.length(), 20);
  EXPECT_EQ(file.tell(), 20);

  char buffer[32] = {};
  // At the end: nothing read, end of file, nothing pushed on it.
  EXPECT_EQ(file.read(buffer, sizeof buffer, status), 0u);
  EXPECT_EQ(status, Krn_status(KRN_E_END_OF_DATA));
  EXPECT_FALSE(status.has_child());

  file.seek(KRN_SEEK_END, -5, status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(file.read(buffer, sizeof buffer, status), 5u);
  EXPECT_TRUE(status.ok()) << "a short read before the end is no failure";
  EXPECT_EQ(std::string(buffer, 5), "fghij");

  file.seek(KRN_SEEK_START, 2, status);
  file.seek(KRN_SEEK_CURRENT, 3, status);
  EXPECT_EQ(file.tell(), 5);
  EXPECT_EQ(file.read(buffer, 0, status), 0u);
  EXPECT_TRUE(status.ok()) << "reading nothing is not the end";

  file.seek(-1, status);
  expect_system_error_under(status, KRN_E_SEEK);

  file.seek(10, status);
  file.truncate(status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(file.length(), 10);
  file.flush(status);
  EXPECT_TRUE(status.ok());
  file.close();
  EXPECT_EQ(get(path("data.bin")), "0123456789");
  EXPECT_EQ(Krn_file::length(wpath("data.bin")), 10);
  EXPECT_EQ(Krn_file::length(wpath("missing")), 0);
}

TEST_F(KrnFileTest, ClosedFileAndOversizedCounts) {
  Krn_status status;
  Krn_file file;
  char byte = 0;
  EXPECT_EQ(file.read(&byte, 1, status), 0u);
  EXPECT_EQ(status, Krn_status(KRN_E_FILE_NOT_OPEN));
  EXPECT_FALSE(status.has_child());

  EXPECT_EQ(file.write(&byte, 1, status), 0u);
  EXPECT_EQ(status, Krn_status(KRN_E_WRITE));
  ASSERT_TRUE(status.has_child());
  EXPECT_EQ(*status.child(), Krn_status(KRN_E_FILE_NOT_OPEN));

  file.seek(0, status);
  EXPECT_EQ(status, Krn_status(KRN_E_SEEK));
  ASSERT_TRUE(status.has_child());
  EXPECT_EQ(*status.child(), Krn_status(KRN_E_FILE_NOT_OPEN));

  file.flush(status);
  EXPECT_EQ(status, Krn_status(KRN_E_WRITE));
  file.truncate(status);
  EXPECT_EQ(status, Krn_status(KRN_E_TRUNCATE));
  file.lock(KRN_FILE_LOCK_SHARED, 0, 1, 0, status);
  EXPECT_EQ(status, Krn_status(KRN_E_FILE_NOT_OPEN));
  EXPECT_EQ(file.tell(), 0);
  EXPECT_EQ(file.length(), 0);

  file.open(wpath("f"), KRN_FILE_CREATE_ALWAYS, KRN_FILE_ACCESS_READ_WRITE, 0, 0, status);
  ASSERT_TRUE(status.ok());
  const size_t too_large = size_t{0xFFFFFFFFu} + 1;
  EXPECT_EQ(file.read(&byte, too_large, status), 0u);
  EXPECT_EQ(status, Krn_status(KRN_E_READ));
  EXPECT_FALSE(status.has_child());
  EXPECT_EQ(file.write(&byte, too_large, status), 0u);
  EXPECT_EQ(status, Krn_status(KRN_E_WRITE));
  ASSERT_TRUE(status.has_child());
  EXPECT_EQ(*status.child(), Krn_status(KRN_E_READ));
  EXPECT_EQ(file.length(), 0);
}

TEST_F(KrnFileTest, WritingToAReadOnlyHandleFailsWithTheSystemError) {
  put(path("r.txt"), "abc");
  Krn_status status;
  Krn_file file(wpath("r.txt"), KRN_FILE_ACCESS_READ, status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(file.write("x", 1, status), 0u);
  expect_system_error_under(status, KRN_E_WRITE);
  Krn_file writer(wpath("w.txt"), KRN_FILE_ACCESS_WRITE, status);
  char byte = 0;
  writer.read(&byte, 1, status);
  expect_system_error_under(status, KRN_E_READ);
  EXPECT_EQ(get(path("r.txt")), "abc");
}

// The input and the output of one run name the same file: the output's open
// must fail before it empties the input.
TEST_F(KrnFileTest, FileHeldWithoutSharingIsNotOpenedOrEmptiedAgain) {
  put(path("a.tsv"), "record\n");
  Krn_status status;
  Krn_file input(wpath("a.tsv"), KRN_FILE_OPEN_EXISTING, KRN_FILE_ACCESS_READ, 0, KRN_FILE_SHARE_READ, status);
  ASSERT_TRUE(status.ok());
  for (Krn_file_open mode : {KRN_FILE_OPEN_ALWAYS, KRN_FILE_CREATE_ALWAYS}) {
    Krn_file output(wpath("a.tsv"), mode, KRN_FILE_ACCESS_READ_WRITE, 0, KRN_FILE_SHARE_NONE, status);
    EXPECT_FALSE(output.is_open());
    expect_system_error_under(status, KRN_E_OPEN);
    EXPECT_EQ(first_arg(status), wpath("a.tsv"));
  }
  EXPECT_EQ(get(path("a.tsv")), "record\n");
  input.close();

  // Two runs writing one output: the second is refused.
  Krn_file first(wpath("out.dat"), KRN_FILE_OPEN_ALWAYS, KRN_FILE_ACCESS_READ_WRITE, 0, KRN_FILE_SHARE_NONE, status);
  ASSERT_TRUE(status.ok());
  first.write("data", 4, status);
  Krn_file second(wpath("out.dat"), KRN_FILE_CREATE_ALWAYS, KRN_FILE_ACCESS_WRITE, 0, KRN_FILE_SHARE_NONE, status);
  expect_system_error_under(status, KRN_E_OPEN);
  Krn_file reader(wpath("out.dat"), KRN_FILE_OPEN_EXISTING, KRN_FILE_ACCESS_READ, 0, KRN_FILE_SHARE_READ, status);
  expect_system_error_under(status, KRN_E_OPEN);
  EXPECT_EQ(first.length(), 4);

  // Once the holder closes, the file is free again.
  first.close();
  second.open(wpath("out.dat"), KRN_FILE_CREATE_ALWAYS, KRN_FILE_ACCESS_WRITE, 0, KRN_FILE_SHARE_NONE, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(second.length(), 0);
}

TEST_F(KrnFileTest, SharingWritersAdmitEachOtherButNotAnExclusiveOpener) {
  const unsigned all = KRN_FILE_SHARE_READ | KRN_FILE_SHARE_WRITE;
  Krn_status status;
  Krn_file a(wpath("log"), KRN_FILE_OPEN_ALWAYS, KRN_FILE_ACCESS_WRITE, 0, all, status);
  ASSERT_TRUE(status.ok());
  Krn_file b(wpath("log"), KRN_FILE_OPEN_ALWAYS, KRN_FILE_ACCESS_WRITE, 0, all, status);
  EXPECT_TRUE(status.ok());
  Krn_file c(wpath("log"), KRN_FILE_OPEN_EXISTING, KRN_FILE_ACCESS_READ, 0, KRN_FILE_SHARE_NONE, status);
  expect_system_error_under(status, KRN_E_OPEN);
  // A writer that lets others only read keeps other writers out.
  a.close();
  b.close();
  Krn_file d(wpath("log"), KRN_FILE_OPEN_ALWAYS, KRN_FILE_ACCESS_WRITE, 0, KRN_FILE_SHARE_READ, status);
  ASSERT_TRUE(status.ok());
  Krn_file e(wpath("log"), KRN_FILE_OPEN_ALWAYS, KRN_FILE_ACCESS_WRITE, 0, KRN_FILE_SHARE_READ, status);
  expect_system_error_under(status, KRN_E_OPEN);
}

TEST_F(KrnFileTest, DeleteOnCloseFileIsPrivateAndGoneAfterClose) {
  Krn_status status;
  const Wstring name = wpath("mid_buf");
  {
    Krn_file file(name, KRN_FILE_OPEN_ALWAYS, KRN_FILE_ACCESS_READ_WRITE, KRN_FILE_FLAG_DELETE_ON_CLOSE,
                  KRN_FILE_SHARE_NONE, status);
    ASSERT_TRUE(status.ok());
    EXPECT_EQ(file.write("abcdef", 6, status), 6u);
    file.seek(0, status);
    char buffer[6] = {};
    EXPECT_EQ(file.read(buffer, 6, status), 6u);
    EXPECT_EQ(std::string(buffer, 6), "abcdef");
    const fs::path open_file = "/proc/self/fd/" + std::to_string(file.handle());
    EXPECT_EQ(fs::status(open_file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(file.name(), name);
  }
  EXPECT_FALSE(fs::exists(path("mid_buf")));

  // An existing file of the name is not taken over (and so not deleted).
  put(path("mid_buf"), "someone's file");
  Krn_file file(name, KRN_FILE_OPEN_ALWAYS, KRN_FILE_ACCESS_READ_WRITE, KRN_FILE_FLAG_DELETE_ON_CLOSE,
                KRN_FILE_SHARE_NONE, status);
  expect_system_error_under(status, KRN_E_OPEN);
  file.close();
  EXPECT_EQ(get(path("mid_buf")), "someone's file");
}

TEST_F(KrnFileTest, SwapFileIsNeverOpenedThroughAPlantedLink) {
  put(path("victim"), "precious");
  const Wstring name = Krn_file::temp_name(wide(m_dir), u"hbp");
  std::string utf8;
  krn_utf16_to_utf8(name, utf8);
  fs::create_symlink(path("victim"), utf8);

  const unsigned flags = KRN_FILE_FLAG_RANDOM_ACCESS | KRN_FILE_FLAG_DELETE_ON_CLOSE;
  Krn_status status;
  Krn_file file(name, KRN_FILE_CREATE_ALWAYS, KRN_FILE_ACCESS_READ_WRITE, flags, KRN_FILE_SHARE_NONE, status);
  EXPECT_FALSE(file.is_open());
  expect_system_error_under(status, KRN_E_OPEN);
  EXPECT_EQ(get(path("victim")), "precious");
  EXPECT_TRUE(fs::is_symlink(utf8));

  // A dangling link is refused as well, and nothing is created at its target.
  fs::remove(utf8);
  fs::create_symlink(path("would_be_created"), utf8);
  file.open(name, KRN_FILE_CREATE_ALWAYS, KRN_FILE_ACCESS_READ_WRITE, flags, KRN_FILE_SHARE_NONE, status);
  expect_system_error_under(status, KRN_E_OPEN);
  EXPECT_FALSE(fs::exists(path("would_be_created")));
}

TEST_F(KrnFileTest, TempNamesAreFreshAndShareTheProcessPrefix) {
  const Wstring first = Krn_file::temp_name(wide(m_dir), u"hbp");
  const Wstring second = Krn_file::temp_name(wide(m_dir), u"hbp");
  EXPECT_NE(first, second);
  const Wstring folder = wide(m_dir) + u"/pid";
  ASSERT_EQ(first.compare(0, folder.size(), folder), 0);
  const auto underscore = first.find(u'_', folder.size());
  ASSERT_NE(underscore, Wstring::npos);
  EXPECT_GT(underscore, folder.size());
  EXPECT_EQ(first.substr(0, underscore + 1), second.substr(0, underscore + 1));
  EXPECT_EQ(first.substr(first.size() - 4), u".hbp");

  // A name already in use is skipped.
  std::string taken;
  krn_utf16_to_utf8(Krn_file::temp_name(wide(m_dir), u"tmp"), taken);
  put(taken, "");
  for (int i = 0; i < 5; ++i) EXPECT_NE(Krn_file::temp_name(wide(m_dir), u"tmp"), wide(taken));

  const Wstring system = Krn_file::temp_name(u"swp");
  std::string system_utf8;
  krn_utf16_to_utf8(system, system_utf8);
  EXPECT_EQ(fs::path(system_utf8).filename().string().rfind("pid", 0), 0u);
  EXPECT_FALSE(fs::exists(system_utf8));
}

TEST_F(KrnFileTest, CreateEmptyFileEmptiesAnExistingFile) {
  put(path("e.txt"), "content");
  Krn_status status;
  Krn_file::create_empty_file(wpath("e.txt"), status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(fs::file_size(path("e.txt")), 0u);
  Krn_file::create_empty_file(wpath("new.txt"), status, true);
  EXPECT_TRUE(status.ok());
  EXPECT_TRUE(fs::exists(path("new.txt")));
  Krn_file::create_empty_file(wide(m_dir), status);
  EXPECT_EQ(status, Krn_status(KRN_E_OPEN));
}

TEST_F(KrnFileTest, RegionLocksExcludeOtherHandles) {
  put(path("r.bin"), std::string(100, 'x'));
  const unsigned share = KRN_FILE_SHARE_READ | KRN_FILE_SHARE_WRITE;
  Krn_status status;
  Krn_file a(wpath("r.bin"), KRN_FILE_OPEN_EXISTING, KRN_FILE_ACCESS_READ_WRITE, 0, share, status);
  Krn_file b(wpath("r.bin"), KRN_FILE_OPEN_EXISTING, KRN_FILE_ACCESS_READ_WRITE, 0, share, status);
  ASSERT_TRUE(a.is_open() && b.is_open());

  a.lock(KRN_FILE_LOCK_EXCLUSIVE, 0, 10, KRN_FILE_LOCK_FAIL_IMMEDIATELY, status);
  ASSERT_TRUE(status.ok());
  b.lock(KRN_FILE_LOCK_SHARED, 5, 10, KRN_FILE_LOCK_FAIL_IMMEDIATELY, status);
  expect_system_error_under(status, KRN_E_FILE_LOCK);
  EXPECT_EQ(first_arg(status), wpath("r.bin"));
  b.lock(KRN_FILE_LOCK_EXCLUSIVE, 10, 10, KRN_FILE_LOCK_FAIL_IMMEDIATELY, status);
  EXPECT_TRUE(status.ok()) << "adjacent regions do not overlap";

  // A handle's own regions: no overlap, and only what is held can be unlocked.
  a.lock(KRN_FILE_LOCK_SHARED, 9, 2, 0, status);
  expect_system_error_under(status, KRN_E_FILE_LOCK);
  a.unlock(0, 5, status);
  expect_system_error_under(status, KRN_E_FILE_LOCK);
  a.lock(KRN_FILE_LOCK_SHARED, -1, 2, 0, status);
  expect_system_error_under(status, KRN_E_FILE_LOCK);
  a.lock(KRN_FILE_LOCK_SHARED, 50, 0, 0, status);
  expect_system_error_under(status, KRN_E_FILE_LOCK);

  a.unlock(0, 10, status);
  EXPECT_TRUE(status.ok());
  b.lock(KRN_FILE_LOCK_SHARED, 0, 5, KRN_FILE_LOCK_FAIL_IMMEDIATELY, status);
  EXPECT_TRUE(status.ok());
  a.lock(KRN_FILE_LOCK_SHARED, 0, 5, KRN_FILE_LOCK_FAIL_IMMEDIATELY, status);
  EXPECT_TRUE(status.ok()) << "shared regions admit each other";

  // Closing releases every region still held.
  b.close();
  a.lock(KRN_FILE_LOCK_EXCLUSIVE, 10, 10, KRN_FILE_LOCK_FAIL_IMMEDIATELY, status);
  EXPECT_TRUE(status.ok());
}

TEST_F(KrnFileTest, CopyMoveAndRemove) {
  put(path("src"), std::string(200000, 'q'));
  Krn_status status;
  Krn_file::copy(wpath("src"), wpath("dst"), false, status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(get(path("dst")), get(path("src")));

  put(path("dst"), "older");
  Krn_file::copy(wpath("src"), wpath("dst"), false, status);
  EXPECT_EQ(status, Krn_status(KRN_E_FILE_COPY));
  ASSERT_TRUE(status.has_child());
  expect_system_error_under(*status.child(), KRN_E_OPEN);
  EXPECT_EQ(first_arg(*status.child()), wpath("dst"));
  EXPECT_EQ(get(path("dst")), "older");

  // Onto itself: refused before the source is emptied.
  Krn_file::copy(wpath("src"), wpath("src"), true, status);
  EXPECT_EQ(status, Krn_status(KRN_E_FILE_COPY));
  EXPECT_EQ(fs::file_size(path("src")), 200000u);

  Krn_file::copy(wpath("none"), wpath("dst2"), true, status);
  EXPECT_EQ(status, Krn_status(KRN_E_FILE_COPY));
  EXPECT_FALSE(fs::exists(path("dst2")));

  fs::create_directory(path("sub"));
  fs::create_directory(path("copies"));
  put(path("sub") / "one", "1");
  put(path("sub") / "two", "22");
  fs::create_directory(path("sub") / "skipped");
  Krn_file::copy_files(wpath("sub"), wpath("copies"), false, status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(get(path("copies") / "one"), "1");
  EXPECT_EQ(get(path("copies") / "two"), "22");
  EXPECT_FALSE(fs::exists(path("copies") / "skipped"));
  Krn_file::copy_files(wpath("nowhere"), wpath("copies"), false, status);
  expect_system_error_under(status, KRN_E_FILE_COPY);

  Krn_file::move(wpath("dst"), wpath("moved"), status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(get(path("moved")), "older");
  EXPECT_FALSE(fs::exists(path("dst")));
  Krn_file::move(wpath("dst"), wpath("moved"), status);
  expect_system_error_under(status, KRN_E_FILE_MOVE);

  Krn_file::remove(wpath("moved"), status);
  EXPECT_TRUE(status.ok());
  EXPECT_FALSE(fs::exists(path("moved")));
  Krn_file::remove(wpath("moved"), status);
  expect_system_error_under(status, KRN_E_FILE_REMOVE);
  EXPECT_EQ(first_arg(status), wpath("moved"));

  Krn_file::retry_remove(wpath("src"), 3, 1, status);
  EXPECT_TRUE(status.ok());
  EXPECT_FALSE(fs::exists(path("src")));
  Krn_file::retry_remove(wpath("sub"), 2, 1, status);
  expect_system_error_under(status, KRN_E_FILE_REMOVE);
  EXPECT_TRUE(fs::exists(path("sub")));
}

TEST_F(KrnFileTest, FileTimesAreSecondsSinceTheEpoch) {
  put(path("t"), "t");
  const auto now = static_cast<int64>(std::time(nullptr));
  Krn_status status;
  const int64 modified = Krn_file::last_modified_time(wpath("t"), status);
  EXPECT_TRUE(status.ok());
  EXPECT_LE(std::abs(modified - now), 5);
  const int64 accessed = Krn_file::last_accessed_time(wpath("t"), status);
  EXPECT_LE(std::abs(accessed - now), 5);
  const int64 created = Krn_file::creation_time(wpath("t"), status);
  EXPECT_LE(std::abs(created - now), 5);

  EXPECT_EQ(Krn_file::last_modified_time(wpath("missing"), status), 0);
  expect_system_error_under(status, KRN_E_FILE_INFO);
  EXPECT_EQ(first_arg(status), wpath("missing"));
}

// Both ways of making a nameless file: the file system's own, and the hidden
// stand-in name used where it has none.
class KrnUnnamedFileTest : public KrnFileTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    KrnFileTest::SetUp();
    if (GetParam()) ::setenv("KRN_TEMPORARY_NAMES", "1", 1);
  }
  void TearDown() override {
    ::unsetenv("KRN_TEMPORARY_NAMES");
    KrnFileTest::TearDown();
  }
  std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_dir), {})); }
};

TEST_P(KrnUnnamedFileTest, NamedOnlyWhenLinkedAndNeverOverAnything) {
  Krn_status status;
  const mode_t mask = ::umask(027);
  {
    Krn_file file;
    file.create_unnamed(wide(m_dir), false, status);
    ASSERT_TRUE(status.ok());
    EXPECT_EQ(entries(), GetParam() ? 1u : 0u);
    EXPECT_EQ(file.write("whole", 5, status), 5u);
    file.link(wpath("out"), status);
    ASSERT_TRUE(status.ok());
    EXPECT_EQ(file.name(), wpath("out"));
    // Still the same open file, now under its name.
    EXPECT_EQ(file.write("!", 1, status), 1u);
  }
  ::umask(mask);
  EXPECT_EQ(get(path("out")), "whole!");
  EXPECT_EQ(fs::status(path("out")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(entries(), 1u);

  // Whatever holds the name stays as it was: a file, a link, a dangling link.
  put(path("target"), "theirs");
  fs::create_symlink(path("target"), path("link"));
  fs::create_symlink(path("nowhere"), path("dangling"));
  for (const char* taken : {"out", "link", "dangling"}) {
    Krn_file file;
    file.create_unnamed(wide(m_dir), false, status);
    ASSERT_TRUE(status.ok());
    file.write("mine", 4, status);
    file.link(wpath(taken), status);
    expect_system_error_under(status, KRN_E_FILE_LINK);
    EXPECT_EQ(first_arg(status), wpath(taken));
  }
  EXPECT_EQ(get(path("out")), "whole!");
  EXPECT_EQ(get(path("target")), "theirs");
  EXPECT_FALSE(fs::exists(path("nowhere")));
  EXPECT_EQ(entries(), 4u);

  // Closed without a link, or made as scratch space, nothing is left.
  {
    Krn_file scratch;
    scratch.create_unnamed(wide(m_dir), true, status);
    ASSERT_TRUE(status.ok());
    EXPECT_EQ(entries(), 4u);
  }
  EXPECT_EQ(entries(), 4u);

  Krn_file nowhere;
  nowhere.create_unnamed(wpath("missing"), false, status);
  expect_system_error_under(status, KRN_E_CREATE_IN_FOLDER);
  EXPECT_FALSE(nowhere.is_open());
  EXPECT_EQ(Krn_file::name_kind(wpath("out")), Krn_file::Name_kind::file);
  EXPECT_EQ(Krn_file::name_kind(wpath("dangling")), Krn_file::Name_kind::other);
  EXPECT_EQ(Krn_file::name_kind(wide(m_dir)), Krn_file::Name_kind::folder);
  EXPECT_EQ(Krn_file::name_kind(wpath("missing")), Krn_file::Name_kind::free);
}

INSTANTIATE_TEST_SUITE_P(NamelessAndStandIn, KrnUnnamedFileTest, ::testing::Bool());
