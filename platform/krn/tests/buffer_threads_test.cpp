#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "krn/krn_buffer.h"
#include "krn/krn_file_buffer.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"

using namespace krn;
using namespace std::chrono_literals;

namespace {

// A hang is what these tests look for: rather than let the test program
// wait for the suite's time-out, stop it with the name of the test.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit) : m_thread([this, limit] { watch(limit); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      m_done = true;
    }
    m_done_changed.notify_all();
    m_thread.join();
  }

 private:
  void watch(std::chrono::seconds limit) {
    std::unique_lock<std::mutex> guard(m_mutex);
    if (!m_done_changed.wait_for(guard, limit, [this] { return m_done; })) {
      std::fprintf(stderr, "Deadlock or lost wake-up in %s\n",
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
      std::abort();
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_done_changed;
  bool m_done = false;
  std::thread m_thread;
};

class Scratch_dir {
 public:
  Scratch_dir() {
    std::random_device random;
    for (;;) {
      m_path = std::filesystem::temp_directory_path() / ("krn_buffer_threads_" + std::to_string(random()));
      if (std::filesystem::create_directory(m_path)) break;
    }
  }
  ~Scratch_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  Wstring file(const char* name) const { return (m_path / name).u16string(); }

 private:
  std::filesystem::path m_path;
};

unsigned char byte_at(uint64 i) { return static_cast<unsigned char>((i * 31 + i / 4093) % 256); }

// A reader at the end waits; a write or the writer's detach must wake it,
// whatever the order in which the two threads get there.
void check_wake_ups(const std::function<std::unique_ptr<Krn_buffer>()>& make, int rounds) {
  Watchdog watchdog(120s);
  for (int round = 0; round < rounds; ++round) {
    auto buffer = make();
    Krn_status status;
    Krn_ostream out(*buffer, status);
    ASSERT_TRUE(status.ok());
    const bool end_by_detach = round % 2 == 1;
    std::atomic<uint64> got{KRN_NPOS};
    std::atomic<unsigned> reader_status{0};
    std::thread reader([&] {
      Krn_status read_status;
      Krn_unbuffered_istream in(*buffer, true, read_status);
      unsigned char byte = 0;
      got = in.read(1, &byte, read_status);
      reader_status = read_status.value();
    });
    if (round % 4 < 2) std::this_thread::yield();
    if (end_by_detach) {
      out.detach();
    } else {
      out.write(1, "x", status);
    }
    reader.join();
    if (end_by_detach) {
      ASSERT_EQ(got.load(), 0u) << "round " << round;
      ASSERT_EQ(reader_status.load(), KRN_E_END_OF_DATA) << "round " << round;
    } else {
      ASSERT_EQ(got.load(), 1u) << "round " << round;
    }
  }
}

// Several readers follow one writer to the end; every reader must see every
// byte in order.
void stress(Krn_buffer& buffer, uint64 total) {
  Watchdog watchdog(300s);
  Krn_status status;
  Krn_ostream out(buffer, status);
  ASSERT_TRUE(status.ok());

  constexpr int READERS = 4;
  std::atomic<uint64> errors{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < READERS; ++r) {
    readers.emplace_back([&, r] {
      Krn_status read_status;
      uint64 position = 0;
      if (r % 2 == 0) {
        // Byte by byte through the window, to the end.
        Krn_buffered_istream in(buffer, true, read_status);
        try {
          for (;; ++position) {
            if (in.read_char() != byte_at(position)) ++errors;
          }
        } catch (const std::runtime_error&) {
        }
      } else {
        Krn_unbuffered_istream in(buffer, true, read_status);
        std::vector<unsigned char> block(1000 + 777 * r);
        for (;;) {
          const uint64 got = in.read(block.size(), block.data(), read_status);
          if (got == 0) break;
          for (uint64 i = 0; i < got; ++i) {
            if (block[i] != byte_at(position + i)) ++errors;
          }
          position += got;
        }
        if (read_status.value() != KRN_E_END_OF_DATA) ++errors;
      }
      if (position != total) ++errors;
    });
  }

  std::mt19937 random(12345);
  std::vector<unsigned char> chunk;
  for (uint64 written = 0; written < total;) {
    const uint64 size = std::min<uint64>(total - written, 1 + random() % 20000);
    chunk.resize(size);
    for (uint64 i = 0; i < size; ++i) chunk[i] = byte_at(written + i);
    out.write(size, chunk.data(), status);
    if (!status.ok()) {
      ADD_FAILURE() << "write failed: " << std::hex << status.value();
      break;
    }
    written += size;
  }
  out.detach();
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(errors.load(), 0u);
}

}  // namespace

TEST(KrnBufferThreads, TheLastReaderReleasesTheLockOnAnyThread) {
  Watchdog watchdog(60s);
  Krn_heap_buffer buffer;
  // The first reader takes the lock for all and leaves first, on its own
  // thread; the second leaves last, on another.
  std::thread first([&] { buffer.read_lock(); });
  first.join();
  std::thread second([&] {
    buffer.read_lock();
  });
  second.join();
  std::thread([&] { buffer.read_unlock(); }).join();
  std::thread([&] { buffer.read_unlock(); }).join();
  buffer.write_lock();
  buffer.write_unlock();
}

TEST(KrnBufferThreads, AWriterExcludesReadersAndMayReadItself) {
  Watchdog watchdog(60s);
  Krn_heap_buffer buffer;
  std::atomic<bool> reading{false};
  buffer.write_lock();
  // The writer's own reads and nested writes do not block it.
  buffer.read_lock();
  buffer.write_lock();
  buffer.write_unlock();
  buffer.read_unlock();
  std::thread reader([&] {
    buffer.read_lock();
    reading = true;
    buffer.read_unlock();
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(reading.load());
  buffer.write_unlock();
  reader.join();
  EXPECT_TRUE(reading.load());
}

TEST(KrnBufferThreads, AReaderAtTheEndIsWokenByWriteAndByDetach) {
  check_wake_ups([] { return std::make_unique<Krn_heap_buffer>(); }, 2000);
}

TEST(KrnBufferThreads, AFileBufferReaderIsWokenByWriteAndByDetach) {
  Scratch_dir dir;
  int serial = 0;
  check_wake_ups(
      [&] {
        Krn_status status;
        auto buffer = std::make_unique<Krn_file_buffer>(
            dir.file(("wake" + std::to_string(serial++)).c_str()), KRN_FILE_CREATE_NEW, KRN_FILE_ACCESS_READ_WRITE,
            KRN_FILE_FLAG_DELETE_ON_CLOSE, KRN_FILE_SHARE_NONE, status);
        if (!status.ok()) throw std::runtime_error("cannot create the test file");
        return buffer;
      },
      300);
}

TEST(KrnBufferThreads, AStringBufferReaderIsWokenByWrite) {
  std::vector<std::unique_ptr<std::string>> texts;
  check_wake_ups(
      [&] {
        texts.push_back(std::make_unique<std::string>());
        return std::make_unique<Krn_string_buffer>(*texts.back(), true);
      },
      500);
}

TEST(KrnBufferThreads, SizeWaitsForTheWriterToLeave) {
  Watchdog watchdog(60s);
  Krn_heap_buffer buffer;
  Krn_status status;
  Krn_ostream out(buffer, status);
  std::atomic<int64> size{-1};
  std::thread reader([&] {
    Krn_status reader_status;
    Krn_buffered_istream in(buffer, true, reader_status);
    size = in.size(reader_status);
  });
  out.write(3, "abc", status);
  std::this_thread::sleep_for(20ms);
  out.write(2, "de", status);
  out.detach();
  reader.join();
  EXPECT_EQ(size.load(), 5);
}

TEST(KrnBufferThreads, ManyReadersFollowOneWriterOnAHeapBuffer) {
  Krn_heap_buffer buffer;
  stress(buffer, 3 * 1024 * 1024);
}

TEST(KrnBufferThreads, ManyReadersFollowOneWriterOnASwappingHeapBuffer) {
  Scratch_dir dir;
  Krn_heap_buffer::set_swap_threshold(4);
  Krn_heap_buffer::set_swap_location(dir.file(""));
  {
    Krn_heap_buffer buffer;
    stress(buffer, 1024 * 1024);
    EXPECT_GT(buffer.pages_in_swap(), 0u);
  }
  Krn_heap_buffer::set_swap_threshold(256);
  Krn_heap_buffer::set_swap_location(Wstring());
}

TEST(KrnBufferThreads, ManyReadersFollowOneWriterOnAFileBuffer) {
  Scratch_dir dir;
  Krn_status status;
  Krn_file_buffer buffer(dir.file("stress.bin"), KRN_FILE_CREATE_NEW, KRN_FILE_ACCESS_READ_WRITE,
                         KRN_FILE_FLAG_DELETE_ON_CLOSE, KRN_FILE_SHARE_NONE, status);
  ASSERT_TRUE(status.ok());
  stress(buffer, 2 * 1024 * 1024);
}
