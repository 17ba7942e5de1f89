#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "krn/krn_buffer.h"
#include "krn/krn_crc.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"

using krn::int64;
using krn::Krn_buffered_istream;
using krn::Krn_crc32;
using krn::Krn_crc64;
using krn::Krn_istream;
using krn::Krn_raw_memory_buffer;
using krn::Krn_status;
using krn::Krn_unbuffered_istream;
using krn::uint64;

namespace {

const char DIGITS[] = "123456789";

// The byte-at-a-time update is the plain table loop; the block forms may take
// a faster route and must land on the same register.
template <typename Crc>
typename Crc::value_type byte_loop(const unsigned char* p, std::size_t n, typename Crc::value_type initial) {
  Crc crc(initial);
  for (std::size_t i = 0; i < n; ++i) crc.update(p[i]);
  return crc.result(false);
}

std::vector<unsigned char> random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<unsigned char> bytes(n);
  for (auto& b : bytes) b = static_cast<unsigned char>(rng());
  return bytes;
}

// Memory that refuses to be read through a stream.
class Unreadable_buffer : public Krn_raw_memory_buffer {
 public:
  using Krn_raw_memory_buffer::Krn_raw_memory_buffer;
  void connect_unbuffered_istream(Krn_status& status) const override { status = krn::KRN_E_NO_MEMORY; }
};

// Memory whose reads fail from a given position on, as a device might.
class Failing_buffer : public Krn_raw_memory_buffer {
 public:
  Failing_buffer(int64 length, const unsigned char* data, int64 fail_from)
      : Krn_raw_memory_buffer(length, data, NO_DELETE), m_fail_from(fail_from) {}
  uint64 read(bool wait, int64& position, uint64 count, void* data, Krn_status& status) const override {
    if (position >= m_fail_from) {
      status = krn::KRN_E_READ;
      return 0;
    }
    return Krn_raw_memory_buffer::read(wait, position, count, data, status);
  }

 private:
  int64 m_fail_from;
};

}  // namespace

TEST(KrnCrc, CheckValues) {
  EXPECT_EQ(Krn_crc32::calculate(DIGITS, 9, 0xFFFFFFFFu), 0xCBF43926u);
  EXPECT_EQ(Krn_crc32::calculate(DIGITS, 9), 0xCBF43926u);
  EXPECT_EQ(Krn_crc64::calculate(DIGITS, 9, 0xFFFFFFFFFFFFFFFFull), 0x62EC59E3F1A4F00Aull);
  EXPECT_EQ(Krn_crc64::calculate(DIGITS, 9), 0x62EC59E3F1A4F00Aull);

  Krn_crc64 crc;
  crc.update(DIGITS, 9);
  EXPECT_EQ(crc.result(false), 0x9D13A61C0E5B0FF5ull);
  EXPECT_EQ(crc.result(true), 0x62EC59E3F1A4F00Aull);

  Krn_crc32 crc32;
  for (int i = 0; i < 9; ++i) crc32.update(static_cast<unsigned char>(DIGITS[i]));
  EXPECT_EQ(crc32.result(true), 0xCBF43926u);
  EXPECT_EQ(crc32.result(false), ~0xCBF43926u);

  // Other initial values, as computed bit by bit elsewhere.
  EXPECT_EQ(Krn_crc32::calculate(DIGITS, 9, 0), 0xD202D277u);
  EXPECT_EQ(Krn_crc64::calculate(DIGITS, 9, 0), 0x93BF20A0F4B68CB8ull);
}

TEST(KrnCrc, TextKeysAndEmptyBlocks) {
  // Token texts are keyed by the CRC-64 of their UTF-16LE units from 42.
  const unsigned char word[] = {'W', 0, 'o', 0, 'r', 0, 'd', 0};
  EXPECT_EQ(Krn_crc64::calculate(word, sizeof word, 42), 0x7BADE4250B35C4D0ull);
  Krn_crc64 from42(42);
  from42.update(word, sizeof word);
  EXPECT_EQ(from42.result(true), 0x7BADE4250B35C4D0ull);

  EXPECT_EQ(Krn_crc64::calculate(nullptr, 0, 42), 0xFFFFFFFFFFFFFFD5ull);
  EXPECT_EQ(Krn_crc64::calculate(word, 0), 0u);
  EXPECT_EQ(Krn_crc32::calculate(nullptr, 0), 0u);
  EXPECT_EQ(Krn_crc32::calculate(word, 0, 7), ~7u);

  Krn_crc64 untouched(5);
  untouched.update(nullptr, 0);
  EXPECT_EQ(untouched.result(false), 5u);
}

TEST(KrnCrc, ResetAndCopyKeepTheInitialValue) {
  Krn_crc64 crc(42);
  crc.update("noise", 5);
  Krn_crc64 copy = crc;
  crc.reset();
  crc.update(DIGITS, 9);
  Krn_crc64 fresh(42);
  fresh.update(DIGITS, 9);
  EXPECT_EQ(crc.result(true), fresh.result(true));
  EXPECT_EQ(crc.result(true), Krn_crc64::calculate(DIGITS, 9, 42));

  // The copy carries both the running and the initial value.
  copy.update(DIGITS, 9);
  Krn_crc64 expected(42);
  expected.update("noise123456789", 14);
  EXPECT_EQ(copy.result(false), expected.result(false));
  copy.reset();
  EXPECT_EQ(copy.result(false), 42u);

  Krn_crc32 crc32(3);
  crc32.update(DIGITS, 9);
  crc32.reset();
  EXPECT_EQ(crc32.result(false), 3u);
}

TEST(KrnCrc, BlockFormsAgreeWithTheByteLoop) {
  std::mt19937_64 rng(20240611);
  std::vector<unsigned char> data(4096 + 16);
  for (auto& b : data) b = static_cast<unsigned char>(rng());

  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 80; ++n) lengths.push_back(n);
  for (std::size_t n : {127u, 128u, 129u, 1000u, 1023u, 4095u, 4096u}) lengths.push_back(n);

  for (std::size_t offset = 0; offset < 16; ++offset) {
    for (std::size_t n : lengths) {
      const unsigned char* p = data.data() + offset;
      const std::uint64_t init64 = rng();
      const std::uint32_t init32 = static_cast<std::uint32_t>(rng());
      SCOPED_TRACE("offset " + std::to_string(offset) + " length " + std::to_string(n));

      const std::uint64_t want64 = byte_loop<Krn_crc64>(p, n, init64);
      EXPECT_EQ(Krn_crc64::calculate(p, n, init64), ~want64);
      Krn_crc64 c64(init64);
      // Split unevenly, so blocks start at every phase of the 8-byte stride.
      const std::size_t cut = n / 3;
      c64.update(p, cut);
      c64.update(p + cut, n - cut);
      EXPECT_EQ(c64.result(false), want64);

      const std::uint32_t want32 = byte_loop<Krn_crc32>(p, n, init32);
      EXPECT_EQ(Krn_crc32::calculate(p, n, init32), static_cast<std::uint32_t>(~want32));
      Krn_crc32 c32(init32);
      c32.update(p, cut);
      c32.update(p + cut, n - cut);
      EXPECT_EQ(c32.result(false), want32);
    }
  }
}

// Pieces run apart and joined give the register of the whole, for every
// cut, every initial value and pieces far longer than the bytes at hand.
TEST(KrnCrc, PiecesRunApartJoinToTheWhole) {
  std::mt19937_64 random(2208);
  std::string data(5000, '\0');
  for (char& c : data) c = static_cast<char>(random());
  for (const std::uint64_t initial : {Krn_crc64::ALL_ONES, std::uint64_t{0}, std::uint64_t{0x123456789ABCDEF0ull}}) {
    for (const std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{1000},
                                  std::size_t{4999}, std::size_t{5000}}) {
      Krn_crc64 whole(initial);
      whole.update(data.data(), data.size());
      Krn_crc64 first(initial);
      first.update(data.data(), cut);
      Krn_crc64 second(0);
      second.update(data.data() + cut, data.size() - cut);
      EXPECT_EQ(Krn_crc64::combine(first.result(false), second.result(false), data.size() - cut), whole.result(false))
          << cut;
    }
  }
  // A long run of zeros, joined by its length alone.
  const std::string zeros(3 * 1000 * 1000, '\0');
  Krn_crc64 run(Krn_crc64::ALL_ONES);
  run.update(zeros.data(), zeros.size());
  EXPECT_EQ(Krn_crc64::combine(Krn_crc64::ALL_ONES, 0, zeros.size()), run.result(false));
}

TEST(KrnCrc, NullDataWithALengthIsRejected) {
  EXPECT_THROW(Krn_crc64::calculate(nullptr, 1), std::invalid_argument);
  EXPECT_THROW(Krn_crc32::calculate(nullptr, 1), std::invalid_argument);
  Krn_crc64 crc64;
  EXPECT_THROW(crc64.update(nullptr, 8), std::invalid_argument);
  Krn_crc32 crc32;
  EXPECT_THROW(crc32.update(nullptr, 8), std::invalid_argument);
  EXPECT_EQ(crc64.result(false), Krn_crc64::ALL_ONES);
}

// Streams are read in 64 KiB blocks; the sizes below cover several blocks, an
// exact multiple and a short tail.
TEST(KrnCrcStreams, BuffersAndStreamsAreCheckedWhole) {
  for (std::size_t n : {1u, 65536u, 3u * 65536u + 17u}) {
    SCOPED_TRACE("size " + std::to_string(n));
    const auto bytes = random_bytes(n, static_cast<unsigned>(n));
    Krn_raw_memory_buffer buffer(static_cast<int64>(n), bytes.data(), Krn_raw_memory_buffer::NO_DELETE);
    Krn_status status(krn::KRN_E_READ);

    Krn_crc64 from_buffer;
    from_buffer.update(buffer, status);
    EXPECT_TRUE(status.is_success()) << std::hex << status.value();
    EXPECT_EQ(from_buffer.result(true), Krn_crc64::calculate(bytes.data(), n));

    Krn_crc32 crc32;
    crc32.update(buffer, status);
    EXPECT_TRUE(status.is_success());
    EXPECT_EQ(crc32.result(true), Krn_crc32::calculate(bytes.data(), n));

    // A stream already part-way through, or at its end, is rewound first.
    Krn_buffered_istream buffered(buffer, false, status);
    ASSERT_TRUE(status.ok());
    std::vector<unsigned char> skip(n / 2 + 1);
    buffered.read(skip.size(), skip.data(), status);
    ASSERT_TRUE(status.ok());
    ASSERT_GT(buffered.tell(), 0);
    Krn_crc64 from_middle;
    from_middle.update(buffered, status);
    EXPECT_TRUE(status.is_success());
    EXPECT_EQ(from_middle.result(true), Krn_crc64::calculate(bytes.data(), n));

    Krn_unbuffered_istream unbuffered(buffer, false, status);
    unbuffered.seek(krn::KRN_SEEK_END, 0, status);
    ASSERT_TRUE(status.ok());
    Krn_crc32 from_end;
    from_end.update(static_cast<Krn_istream*>(&unbuffered), status);
    EXPECT_TRUE(status.is_success());
    EXPECT_EQ(from_end.result(true), Krn_crc32::calculate(bytes.data(), n));
  }
}

TEST(KrnCrcStreams, EmptyBufferLeavesTheRegisterAlone) {
  const unsigned char none[1] = {0};
  Krn_raw_memory_buffer empty(0, none, Krn_raw_memory_buffer::NO_DELETE);
  Krn_status status;
  Krn_crc64 crc(42);
  crc.update(empty, status);
  EXPECT_TRUE(status.is_success()) << std::hex << status.value();
  EXPECT_EQ(crc.result(false), 42u);
}

TEST(KrnCrcStreams, FailuresAreReported) {
  const auto bytes = random_bytes(3 * 65536, 5);
  Krn_status status;

  Unreadable_buffer unreadable(static_cast<int64>(bytes.size()), bytes.data(), Krn_raw_memory_buffer::NO_DELETE);
  Krn_crc64 crc;
  crc.update(unreadable, status);
  EXPECT_TRUE(status == krn::KRN_E_NO_MEMORY) << std::hex << status.value();
  EXPECT_EQ(crc.result(false), Krn_crc64::ALL_ONES);

  // A read failure after the first block is not mistaken for the end.
  Failing_buffer failing(static_cast<int64>(bytes.size()), bytes.data(), 65536);
  Krn_crc32 crc32;
  crc32.update(failing, status);
  EXPECT_TRUE(status == krn::KRN_E_READ) << std::hex << status.value();

  Krn_unbuffered_istream detached;
  Krn_crc64 untouched;
  untouched.update(detached, status);
  EXPECT_TRUE(status.is_error());
  EXPECT_EQ(untouched.result(false), Krn_crc64::ALL_ONES);

  EXPECT_THROW(untouched.update(static_cast<Krn_istream*>(nullptr), status), std::invalid_argument);
  EXPECT_THROW(crc32.update(static_cast<Krn_istream*>(nullptr), status), std::invalid_argument);
}
