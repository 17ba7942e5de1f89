#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "krn/krn_buffer.h"
#include "krn/krn_file.h"
#include "krn/krn_file_buffer.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"

using namespace krn;

namespace {

// A fresh folder under the system's temporary folder, removed with its
// content.
class Scratch_dir {
 public:
  Scratch_dir() {
    std::random_device random;
    for (;;) {
      m_path = std::filesystem::temp_directory_path() / ("krn_buffer_test_" + std::to_string(random()));
      if (std::filesystem::create_directory(m_path)) break;
    }
  }
  ~Scratch_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  const std::filesystem::path& path() const { return m_path; }
  Wstring wide() const { return m_path.u16string(); }
  Wstring file(const char* name) const { return (m_path / name).u16string(); }
  bool empty() const { return std::filesystem::is_empty(m_path); }

 private:
  std::filesystem::path m_path;
};

std::vector<unsigned char> pattern(size_t length, unsigned seed) {
  std::vector<unsigned char> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>((i * 131 + seed) % 251);
  return bytes;
}

std::vector<unsigned char> read_all_at(const Krn_buffer& buffer, int64 position, uint64 count, Krn_status& status) {
  std::vector<unsigned char> bytes(count);
  const uint64 got = buffer.read(false, position, count, bytes.data(), status);
  bytes.resize(got);
  return bytes;
}

// The heap buffer's settings are process-wide: every test gets the defaults
// back, and swap files land in a folder of the test's own.
class KrnHeapBuffer : public ::testing::Test {
 protected:
  void SetUp() override { Krn_heap_buffer::set_swap_location(m_swap.wide()); }
  void TearDown() override {
    Krn_heap_buffer::set_swap_threshold(256);
    Krn_heap_buffer::set_swap_limit(0);
    Krn_heap_buffer::set_swap_location(Wstring());
  }
  Scratch_dir m_swap;
};

}  // namespace

TEST(KrnAdvance, AddsWithinRangeAndThrowsOutside) {
  EXPECT_EQ(krn_advance(10, -10), 0);
  EXPECT_EQ(krn_advance(KRN_MAX_POSITION - 1, 1), KRN_MAX_POSITION);
  try {
    krn_advance(KRN_MAX_POSITION, 1);
    FAIL() << "no overflow";
  } catch (const std::overflow_error& e) {
    EXPECT_STREQ(e.what(), "Stream position too large.");
  }
  try {
    krn_advance(0, -1);
    FAIL() << "no underflow";
  } catch (const std::underflow_error& e) {
    EXPECT_STREQ(e.what(), "Stream position going negative.");
  }
  EXPECT_THROW(krn_advance(-5, INT64_MIN), std::underflow_error);
}

TEST_F(KrnHeapBuffer, WriteAfterAGapExtendsTheLengthAndTheGapReadsZero) {
  Krn_heap_buffer buffer;
  Krn_status status;
  const auto data = pattern(10, 1);
  int64 position = 70000;
  buffer.write(position, data.size(), data.data(), status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(position, 70010);
  EXPECT_EQ(buffer.length(), 70010);

  const auto all = read_all_at(buffer, 0, 100000, status);
  ASSERT_TRUE(status.ok());
  ASSERT_EQ(all.size(), 70010u);
  EXPECT_EQ(std::vector<unsigned char>(all.begin(), all.begin() + 70000), std::vector<unsigned char>(70000, 0));
  EXPECT_EQ(std::vector<unsigned char>(all.begin() + 70000, all.end()), data);
}

TEST_F(KrnHeapBuffer, WritesAcrossPageAndBlockBoundariesReadBackIntact) {
  Krn_heap_buffer buffer;
  Krn_status status;
  const auto first = pattern(12, 3);
  const auto second = pattern(12, 7);
  int64 position = 65530;
  buffer.write(position, first.size(), first.data(), status);
  ASSERT_TRUE(status.ok());
  position = 16777210;
  buffer.write(position, second.size(), second.data(), status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(buffer.length(), 16777222);

  EXPECT_EQ(read_all_at(buffer, 65530, 12, status), first);
  EXPECT_EQ(read_all_at(buffer, 16777210, 12, status), second);
  // The default threshold keeps 256 pages in memory; the first page of the
  // second block lives in the swap file, so the boundary was crossed there.
  EXPECT_EQ(buffer.pages_in_memory(), 256u);
  EXPECT_EQ(buffer.pages_in_swap(), 1u);
}

TEST_F(KrnHeapBuffer, ThresholdOneKeepsOnePageInMemoryAndTheRestInAnUnlinkedSwapFile) {
  Krn_heap_buffer::set_swap_threshold(1);
  const auto data = pattern(3 * 65536, 11);
  {
    Krn_heap_buffer buffer;
    Krn_status status;
    int64 position = 0;
    buffer.write(position, data.size(), data.data(), status);
    ASSERT_TRUE(status.ok());
    EXPECT_EQ(buffer.pages_in_memory(), 1u);
    EXPECT_EQ(buffer.pages_in_swap(), 2u);
    ASSERT_NE(buffer.swap_file(), nullptr);
    EXPECT_TRUE(buffer.swap_file()->is_open());
    // The name is gone while the buffer still uses the file, so not even a
    // killed process leaves it behind.
    EXPECT_TRUE(m_swap.empty());
    EXPECT_EQ(read_all_at(buffer, 0, data.size(), status), data);
  }
  EXPECT_TRUE(m_swap.empty());
}

TEST_F(KrnHeapBuffer, SwapPagesNeverWrittenReadAsZeros) {
  Krn_heap_buffer::set_swap_threshold(0);
  Krn_heap_buffer buffer;
  Krn_status status;
  // Page 1 is made first and lies at the start of the swap file; page 0
  // lies beyond the file's end.
  const auto data = pattern(10, 5);
  int64 position = 70000;
  buffer.write(position, data.size(), data.data(), status);
  ASSERT_TRUE(status.ok());
  const auto all = read_all_at(buffer, 0, 70010, status);
  ASSERT_TRUE(status.ok()) << std::hex << status.value();
  ASSERT_EQ(all.size(), 70010u);
  EXPECT_EQ(std::vector<unsigned char>(all.begin(), all.begin() + 70000), std::vector<unsigned char>(70000, 0));
}

TEST_F(KrnHeapBuffer, SwapLimitStopsTheWriteThatNeedsOneMorePage) {
  Krn_heap_buffer::set_swap_threshold(0);
  Krn_heap_buffer::set_swap_limit(1);
  Krn_heap_buffer buffer;
  Krn_status status;
  const auto page = pattern(65536, 9);
  int64 position = 0;
  // Exactly one page fits.
  buffer.write(position, page.size(), page.data(), status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(buffer.pages_in_swap(), 1u);

  const unsigned char more[2] = {1, 2};
  for (int attempt = 0; attempt < 2; ++attempt) {
    position = 65535;
    buffer.write(position, sizeof(more), more, status);
    EXPECT_EQ(status.value(), KRN_E_WRITE);
    ASSERT_TRUE(status.has_child());
    EXPECT_EQ(status.child()->value(), KRN_E_SWAP_LIMIT);
    EXPECT_EQ(position, 65535);
    EXPECT_EQ(buffer.length(), 65536);
    EXPECT_EQ(buffer.pages_in_swap(), 1u);
  }
  EXPECT_EQ(read_all_at(buffer, 0, 65536, status), page);
}

TEST_F(KrnHeapBuffer, AWriteStoppedPartWayLeavesNoHoleForLaterWrites) {
  Krn_heap_buffer::set_swap_threshold(0);
  Krn_heap_buffer::set_swap_limit(2);
  Krn_heap_buffer buffer;
  Krn_status status;
  const unsigned char byte = 7;
  int64 position = 0;
  buffer.write(position, 1, &byte, status);
  ASSERT_TRUE(status.ok());
  // Pages 1 to 3 are needed, one fits: the write fails.
  position = 3 * 65536;
  buffer.write(position, 1, &byte, status);
  ASSERT_FALSE(status.ok());

  // Once room is made, the same write must leave every page below it readable.
  Krn_heap_buffer::set_swap_limit(0);
  position = 3 * 65536;
  buffer.write(position, 1, &byte, status);
  ASSERT_TRUE(status.ok());
  const auto all = read_all_at(buffer, 0, 3 * 65536 + 1, status);
  ASSERT_TRUE(status.ok()) << std::hex << status.value();
  ASSERT_EQ(all.size(), 3u * 65536 + 1);
  EXPECT_EQ(all.front(), byte);
  EXPECT_EQ(all.back(), byte);
  EXPECT_EQ(std::count(all.begin() + 1, all.end() - 1, 0), 3 * 65536 - 1);
}

TEST_F(KrnHeapBuffer, PagesBeyondTheProcessBudgetGoToSwapAndReturnOnDestruction) {
  auto* budget = new Krn_heap_allocator(2);
  Krn_heap_buffer::allocator(budget);
  {
    Krn_heap_buffer buffer;
    Krn_status status;
    const auto data = pattern(3 * 65536, 2);
    int64 position = 0;
    buffer.write(position, data.size(), data.data(), status);
    ASSERT_TRUE(status.ok());
    EXPECT_EQ(buffer.pages_in_memory(), 2u);
    EXPECT_EQ(buffer.pages_in_swap(), 1u);
    EXPECT_EQ(budget->count(), 0u);
    EXPECT_EQ(read_all_at(buffer, 0, data.size(), status), data);
  }
  EXPECT_EQ(budget->count(), 2u);
  Krn_heap_buffer::allocator(new Krn_heap_allocator());
}

TEST_F(KrnHeapBuffer, SeekTruncateAndReadAtTheEnd) {
  Krn_heap_buffer buffer;
  Krn_status status;
  const auto data = pattern(100, 4);
  int64 position = 0;
  buffer.write(position, data.size(), data.data(), status);

  position = 50;
  buffer.seek(KRN_SEEK_START, -1, position, status);
  EXPECT_EQ(status.value(), KRN_E_SEEK_RANGE);
  EXPECT_EQ(position, 50);
  buffer.seek(KRN_SEEK_END, KRN_MAX_POSITION, position, status);
  EXPECT_EQ(status.value(), KRN_E_SEEK_RANGE);
  EXPECT_EQ(position, 50);
  buffer.seek(KRN_SEEK_CURRENT, -10, position, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(position, 40);
  buffer.seek(KRN_SEEK_END, 5, position, status);
  EXPECT_EQ(position, 105);

  unsigned char byte = 0;
  EXPECT_EQ(buffer.read(false, position, 1, &byte, status), 0u);
  EXPECT_EQ(status.value(), KRN_E_END_OF_DATA);
  position = -1;
  EXPECT_EQ(buffer.read(false, position, 1, &byte, status), 0u);
  EXPECT_EQ(status.value(), KRN_E_SEEK_RANGE);

  buffer.truncate(101, status);
  EXPECT_EQ(status.value(), KRN_E_END_OF_DATA);
  buffer.truncate(60, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(buffer.size(false, status), 60);
}

TEST_F(KrnHeapBuffer, HugeCountsAreRefused) {
  Krn_heap_buffer buffer;
  Krn_status status;
  int64 position = 0;
  unsigned char byte = 0;
  try {
    buffer.write(position, 0x8000000000000000ull, &byte, status);
    FAIL() << "no exception";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "writing too many bytes to the buffer.");
  }
  position = KRN_MAX_POSITION;
  buffer.write(position, 1, &byte, status);
  EXPECT_EQ(status.value(), KRN_E_WRITE);
  EXPECT_EQ(buffer.length(), 0);
}

TEST(KrnBuffer, IdsAreUniqueAndNeverZero) {
  Krn_heap_buffer a;
  Krn_heap_buffer b;
  EXPECT_NE(a.id(), 0u);
  EXPECT_NE(a.id(), b.id());
}

TEST(KrnBuffer, OnlyOneOutputStreamAtATime) {
  Krn_heap_buffer buffer;
  Krn_status status;
  Krn_ostream first(buffer, status);
  ASSERT_TRUE(status.ok());
  Krn_ostream second(buffer, status);
  EXPECT_EQ(status.value(), KRN_E_OUTPUT_STREAM);
  EXPECT_EQ(second.buffer(), nullptr);
  EXPECT_EQ(buffer.num_ostream(), 1u);
  first.detach();
  EXPECT_EQ(buffer.num_ostream(), 0u);
  second.init(buffer, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(second.buffer(), &buffer);
}

TEST(KrnBuffer, StreamsAreCountedWhileAttached) {
  Krn_heap_buffer buffer;
  Krn_status status;
  {
    Krn_buffered_istream buffered(buffer, false, status);
    Krn_unbuffered_istream unbuffered(buffer, false, status);
    EXPECT_EQ(buffer.num_buffered_istream(), 1u);
    EXPECT_EQ(buffer.num_unbuffered_istream(), 1u);
    // Moving a stream to another buffer releases the first.
    Krn_heap_buffer other;
    buffered.init(other, false, status);
    EXPECT_EQ(buffer.num_buffered_istream(), 0u);
    buffered.detach();
  }
  EXPECT_EQ(buffer.num_unbuffered_istream(), 0u);
  buffer.disconnect_buffered_istream();
  EXPECT_EQ(buffer.num_buffered_istream(), 0u);
}

TEST(KrnSubBuffer, ReadsStopAtTheWindowEnd) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += static_cast<char>(i);
  Krn_string_buffer parent(text, true);
  Krn_sub_buffer window(parent, 10, 20);
  Krn_status status;
  unsigned char bytes[50] = {};
  int64 position = 5;
  EXPECT_EQ(window.read(false, position, 50, bytes, status), 5u);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(position, 10);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(bytes[i], 15 + i);
  EXPECT_EQ(window.read(false, position, 50, bytes, status), 0u);
  EXPECT_EQ(status.value(), KRN_E_END_OF_DATA);
  EXPECT_EQ(window.size(false, status), 10);
}

TEST(KrnSubBuffer, SeeksBeforeTheStartAreRefused) {
  std::string text(100, 'x');
  Krn_string_buffer parent(text, true);
  Krn_sub_buffer window(parent, 10, 20);
  Krn_status status;
  int64 position = 0;
  window.seek(KRN_SEEK_CURRENT, -11, position, status);
  EXPECT_EQ(status.value(), KRN_E_SEEK_RANGE);
  window.seek(KRN_SEEK_CURRENT, -1, position, status);
  EXPECT_EQ(status.value(), KRN_E_SEEK_RANGE);
  EXPECT_EQ(position, 0);
  window.seek(KRN_SEEK_END, -3, position, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(position, 7);
  // No upper bound.
  window.seek(KRN_SEEK_START, 500, position, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(position, 500);
}

TEST(KrnSubBuffer, AnUnboundedWindowFollowsItsParent) {
  std::string text = "0123456789";
  Krn_string_buffer parent(text, true);
  Krn_sub_buffer window(parent, 4);
  Krn_status status;
  EXPECT_EQ(window.size(false, status), 6);
  text += "abc";
  EXPECT_EQ(window.size(false, status), 9);
  char bytes[16] = {};
  int64 position = 6;
  EXPECT_EQ(window.read(false, position, sizeof(bytes), bytes, status), 3u);
  EXPECT_EQ(std::string(bytes, 3), "abc");
}

TEST(KrnSubBuffer, IsReadOnlyAndItsEndMovesOnlyWithoutStreams) {
  std::string text(100, 'x');
  Krn_string_buffer parent(text, true);
  EXPECT_THROW(Krn_sub_buffer(parent, 20, 10), std::invalid_argument);
  Krn_sub_buffer window(parent, 10, 20);
  Krn_status status;
  int64 position = 0;
  window.write(position, 1, "y", status);
  EXPECT_EQ(status.value(), KRN_E_WRITE);
  window.truncate(0, status);
  EXPECT_EQ(status.value(), KRN_E_OUTPUT_STREAM);
  Krn_ostream out(window, status);
  EXPECT_EQ(status.value(), KRN_E_OUTPUT_STREAM);

  window.set_end(5, status);
  EXPECT_EQ(status.value(), KRN_E_WINDOW_END_BEFORE_START);
  EXPECT_EQ(window.end(), 20);
  {
    Krn_unbuffered_istream in(window, false, status);
    window.set_end(30, status);
    EXPECT_EQ(status.value(), KRN_E_WINDOW_END_CONNECTED);
    EXPECT_EQ(window.end(), 20);
  }
  window.set_end(30, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(window.end(), 30);
}

TEST(KrnSubBuffer, AnExceptionFromTheParentBecomesAReadFailure) {
  Wstring text = u"abcd";
  Krn_wstring_buffer parent(text);
  // An odd start puts every parent read at an odd byte, which the parent
  // refuses by throwing.
  Krn_sub_buffer window(parent, 1);
  Krn_status status;
  unsigned char bytes[4];
  int64 position = 0;
  EXPECT_EQ(window.read(false, position, 4, bytes, status), 0u);
  EXPECT_EQ(status.value(), KRN_E_READ);
  ASSERT_TRUE(status.has_child());
  EXPECT_EQ(status.child()->value(), KRN_E_STD_EXCEPTION);
  EXPECT_EQ(position, 0);
}

TEST(KrnWstringBuffer, WritingBeyondTheEndPadsWithSpaces) {
  Wstring text;
  Krn_wstring_buffer buffer(text);
  Krn_status status;
  const Char16 units[2] = {u'a', u'b'};
  int64 position = 4;
  buffer.write(position, 4, units, status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(text, u"  ab");
  EXPECT_EQ(position, 8);
  position = 2;
  buffer.write(position, 2, units, status);
  EXPECT_EQ(text, u" aab");
  EXPECT_EQ(buffer.size(false, status), 8);
}

TEST(KrnWstringBuffer, PositionsAreInBytesAndMustBeEven) {
  Wstring text = u"hello";
  Krn_wstring_buffer buffer(text);
  Krn_status status;
  Char16 units[8] = {};
  int64 position = 2;
  EXPECT_EQ(buffer.read(false, position, 6, units, status), 6u);
  EXPECT_EQ(Wstring(units, 3), u"ell");
  EXPECT_EQ(position, 8);
  position = 10;
  EXPECT_EQ(buffer.read(false, position, 2, units, status), 0u);
  EXPECT_EQ(status.value(), KRN_E_END_OF_DATA);

  position = 1;
  EXPECT_THROW(buffer.read(false, position, 2, units, status), std::invalid_argument);
  position = 0;
  EXPECT_THROW(buffer.write(position, 3, units, status), std::invalid_argument);
  EXPECT_THROW(buffer.seek(KRN_SEEK_START, 3, position, status), std::invalid_argument);
  position = 3;
  EXPECT_THROW(buffer.seek(KRN_SEEK_CURRENT, 2, position, status), std::invalid_argument);
  position = 4;
  buffer.seek(KRN_SEEK_CURRENT, -6, position, status);
  EXPECT_EQ(status.value(), KRN_E_SEEK_RANGE);
  EXPECT_EQ(position, 4);

  // The size is in bytes here, as for every other buffer.
  buffer.truncate(12, status);
  EXPECT_EQ(status.value(), KRN_E_END_OF_DATA);
  buffer.truncate(4, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(text, u"he");
}

TEST(KrnStringBuffer, ALimitedBufferRefusesToGrowBeyondItsLimit) {
  std::string text;
  Krn_string_buffer limited(text, false);
  Krn_status status;
  const std::string chunk(1000, 'q');
  int64 position = Krn_string_buffer::KRN_STRING_BUFFER_LIMIT - 1000;
  limited.write(position, chunk.size(), chunk.data(), status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(text.size(), 0xA0000u);
  EXPECT_EQ(text.front(), ' ');
  limited.write(position, 1, "z", status);
  EXPECT_EQ(status.value(), KRN_E_WRITE);
  ASSERT_TRUE(status.has_child());
  EXPECT_EQ(status.child()->value(), KRN_E_STRING_BUFFER_LIMIT);
  EXPECT_EQ(text.size(), 0xA0000u);

  std::string open_text;
  Krn_string_buffer unlimited(open_text, true);
  position = Krn_string_buffer::KRN_STRING_BUFFER_LIMIT;
  unlimited.write(position, 1, "z", status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(open_text.size(), 0xA0001u);
}

TEST(KrnRawMemoryBuffer, ReadsAndRefusesWrites) {
  auto* bytes = new unsigned char[4]{1, 2, 3, 4};
  Krn_raw_memory_buffer buffer(4, bytes, Krn_raw_memory_buffer::DELETE_ARRAY);
  Krn_status status;
  unsigned char out[8] = {};
  int64 position = 1;
  EXPECT_EQ(buffer.read(false, position, 8, out, status), 3u);
  EXPECT_EQ(out[0], 2);
  EXPECT_EQ(buffer.read(true, position, 8, out, status), 0u);
  EXPECT_EQ(status.value(), KRN_E_END_OF_DATA);
  buffer.write(position, 1, out, status);
  EXPECT_EQ(status.value(), KRN_E_WRITE);
  buffer.truncate(0, status);
  EXPECT_EQ(status.value(), KRN_E_OUTPUT_STREAM);
  buffer.connect_ostream(status);
  EXPECT_EQ(status.value(), KRN_E_OUTPUT_STREAM);

  // The sanitizers catch a release that does not match the allocation.
  auto* allocated = static_cast<unsigned char*>(std::malloc(2));
  Krn_raw_memory_buffer freed(2, allocated, Krn_raw_memory_buffer::FREE);
  const unsigned char kept[1] = {9};
  Krn_raw_memory_buffer borrowed(1, kept, Krn_raw_memory_buffer::NO_DELETE);
  EXPECT_EQ(borrowed.size(false, status), 1);
}

TEST(KrnFileBuffer, WritesAndReadsBackThroughStreams) {
  Scratch_dir dir;
  Krn_status status;
  Krn_file_buffer buffer(dir.file("data.bin"), KRN_FILE_OPEN_ALWAYS, KRN_FILE_ACCESS_READ_WRITE, 0,
                         KRN_FILE_SHARE_NONE, status);
  ASSERT_TRUE(status.ok());
  const auto data = pattern(50000, 6);
  {
    Krn_ostream out(buffer, status);
    out.write(data.size(), data.data(), status);
    ASSERT_TRUE(status.ok());
  }
  EXPECT_EQ(buffer.size(false, status), 50000);
  Krn_buffered_istream in(buffer, false, status);
  std::vector<unsigned char> back(data.size());
  EXPECT_EQ(in.read(back.size(), back.data(), status), data.size());
  EXPECT_EQ(back, data);
  in.seek(KRN_SEEK_START, -1, status);
  EXPECT_EQ(status.value(), KRN_E_SEEK_RANGE);
  EXPECT_EQ(in.tell(), 50000);

  buffer.truncate(10, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(buffer.size(false, status), 10);
  int64 position = 10;
  unsigned char byte;
  EXPECT_EQ(buffer.read(false, position, 1, &byte, status), 0u);
  EXPECT_EQ(status.value(), KRN_E_END_OF_DATA);
}

TEST(KrnFileBuffer, WithoutAFileOrWithTwoItFails) {
  Scratch_dir dir;
  Krn_status status;
  Krn_file_buffer buffer;
  unsigned char byte = 0;
  int64 position = 0;
  EXPECT_EQ(buffer.read(false, position, 1, &byte, status), 0u);
  EXPECT_EQ(status.value(), KRN_E_NO_FILE);
  buffer.write(position, 1, &byte, status);
  EXPECT_EQ(status.value(), KRN_E_NO_FILE);
  buffer.seek(KRN_SEEK_START, 0, position, status);
  EXPECT_EQ(status.value(), KRN_E_NO_FILE);
  buffer.truncate(0, status);
  EXPECT_EQ(status.value(), KRN_E_NO_FILE);

  // A failed open leaves the buffer without a file, ready for another.
  buffer.open(dir.file("missing"), KRN_FILE_ACCESS_READ, status);
  EXPECT_FALSE(status.ok());
  EXPECT_FALSE(buffer.is_open());
  EXPECT_EQ(buffer.file(), nullptr);

  Krn_file file(dir.file("kept"), KRN_FILE_CREATE_ALWAYS, KRN_FILE_ACCESS_READ_WRITE, 0, KRN_FILE_SHARE_NONE, status);
  ASSERT_TRUE(status.ok());
  buffer.attach(file, status);
  EXPECT_TRUE(status.ok());
  buffer.attach(file, status);
  EXPECT_EQ(status.value(), KRN_E_HAS_FILE);
  buffer.open(dir.file("other"), KRN_FILE_ACCESS_WRITE, status);
  EXPECT_EQ(status.value(), KRN_E_HAS_FILE);
  buffer.close();
  EXPECT_FALSE(buffer.is_open());
  EXPECT_FALSE(file.is_open());
}
