#include "krn/krn_crc.h"

#include <array>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <string>

namespace krn {

namespace {

// Slicing by eight: table k gives the effect of a byte followed by k zero
// bytes, so eight bytes are folded with eight independent look-ups instead of
// a chain of eight dependent ones. Table 0 is the classic byte table, and
// the result is bit for bit that of the byte loop (the tests hold both to it).
constexpr int SLICES = 8;

template <typename T>
using Crc_tables = std::array<std::array<T, 256>, SLICES>;

constexpr Crc_tables<std::uint32_t> make_crc32_tables() {
  constexpr std::uint32_t REFLECTED_POLY = 0xEDB88320u;
  Crc_tables<std::uint32_t> t{};
  for (std::uint32_t b = 0; b < 256; ++b) {
    std::uint32_t r = b;
    for (int bit = 0; bit < 8; ++bit) r = (r & 1u) ? (r >> 1) ^ REFLECTED_POLY : r >> 1;
    t[0][b] = r;
  }
  for (int k = 1; k < SLICES; ++k)
    for (int b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFFu];
  return t;
}

constexpr Crc_tables<std::uint64_t> make_crc64_tables() {
  constexpr std::uint64_t POLY = 0x42F0E1EBA9EA3693ull;
  Crc_tables<std::uint64_t> t{};
  for (std::uint64_t b = 0; b < 256; ++b) {
    std::uint64_t r = b << 56;
    for (int bit = 0; bit < 8; ++bit) r = (r >> 63) ? (r << 1) ^ POLY : r << 1;
    t[0][b] = r;
  }
  for (int k = 1; k < SLICES; ++k)
    for (int b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] << 8) ^ t[0][t[k - 1][b] >> 56];
  return t;
}

// Built by the compiler: the tables are constant data of the library.
constexpr Crc_tables<std::uint32_t> CRC32_TABLES = make_crc32_tables();
constexpr Crc_tables<std::uint64_t> CRC64_TABLES = make_crc64_tables();

static_assert(CRC32_TABLES[0][1] == 0x77073096u);
static_assert(CRC64_TABLES[0][1] == 0x42F0E1EBA9EA3693ull);

inline std::uint32_t crc32_byte(std::uint32_t running, unsigned char byte) {
  return CRC32_TABLES[0][(running ^ byte) & 0xFFu] ^ (running >> 8);
}

inline std::uint64_t crc64_byte(std::uint64_t running, unsigned char byte) {
  return CRC64_TABLES[0][(running >> 56) ^ byte] ^ (running << 8);
}

// Loads that do not care about alignment or the host's byte order.
inline std::uint32_t load_le32(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

inline std::uint64_t load_be64(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

std::uint32_t crc32_run(std::uint32_t running, const unsigned char* p, std::size_t length) {
  const auto& t = CRC32_TABLES;
  for (; length >= 8; p += 8, length -= 8) {
    const std::uint32_t r = running ^ load_le32(p);
    running = t[7][r & 0xFFu] ^ t[6][(r >> 8) & 0xFFu] ^ t[5][(r >> 16) & 0xFFu] ^ t[4][r >> 24] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
  }
  for (; length > 0; --length) running = crc32_byte(running, *p++);
  return running;
}

std::uint64_t crc64_run(std::uint64_t running, const unsigned char* p, std::size_t length) {
  const auto& t = CRC64_TABLES;
  for (; length >= 8; p += 8, length -= 8) {
    const std::uint64_t r = running ^ load_be64(p);
    running = t[7][r >> 56] ^ t[6][(r >> 48) & 0xFFu] ^ t[5][(r >> 40) & 0xFFu] ^ t[4][(r >> 32) & 0xFFu] ^
              t[3][(r >> 24) & 0xFFu] ^ t[2][(r >> 16) & 0xFFu] ^ t[1][(r >> 8) & 0xFFu] ^ t[0][r & 0xFFu];
  }
  for (; length > 0; --length) running = crc64_byte(running, *p++);
  return running;
}

const unsigned char* checked_bytes(const void* data, std::size_t length, const char* where) {
  if (data == nullptr && length != 0) throw std::invalid_argument(std::string(where) + " - null data");
  return static_cast<const unsigned char*>(data);
}

}  // namespace

Krn_crc32::value_type Krn_crc32::calculate(const void* data, std::size_t length, value_type initial) {
  return ~crc32_run(initial, checked_bytes(data, length, "Krn_crc32::calculate()"), length);
}

void Krn_crc32::update(unsigned char byte) { m_running = crc32_byte(m_running, byte); }

void Krn_crc32::update(const void* data, std::size_t length) {
  m_running = crc32_run(m_running, checked_bytes(data, length, "Krn_crc32::update()"), length);
}

Krn_crc64::value_type Krn_crc64::calculate(const void* data, std::size_t length, value_type initial) {
  return ~crc64_run(initial, checked_bytes(data, length, "Krn_crc64::calculate()"), length);
}

void Krn_crc64::update(unsigned char byte) { m_running = crc64_byte(m_running, byte); }

namespace {

// The register is a polynomial over GF(2), bit 63 the highest term. Each
// byte run multiplies it by x^8 modulo the polynomial and adds the byte's
// part, so a register carried over n zero bytes is multiplied by x^(8n).
std::uint64_t crc64_multiply(std::uint64_t a, std::uint64_t b) {
  constexpr std::uint64_t POLY = 0x42F0E1EBA9EA3693ull;
  std::uint64_t product = 0;
  for (int bit = 63; bit >= 0; --bit) {
    product = (product >> 63) ? (product << 1) ^ POLY : product << 1;
    if ((b >> bit) & 1u) product ^= a;
  }
  return product;
}

// x^(8 * bytes) modulo the polynomial, by squaring.
std::uint64_t crc64_zero_bytes(std::uint64_t bytes) {
  std::uint64_t result = 1;   // x^0
  std::uint64_t power = 0x100; // x^8: one byte
  for (; bytes != 0; bytes >>= 1) {
    if (bytes & 1u) result = crc64_multiply(result, power);
    power = crc64_multiply(power, power);
  }
  return result;
}

}  // namespace

Krn_crc64::value_type Krn_crc64::combine(value_type first, value_type second, std::uint64_t second_length) {
  return crc64_multiply(first, crc64_zero_bytes(second_length)) ^ second;
}

void Krn_crc64::update(const void* data, std::size_t length) {
  m_running = crc64_run(m_running, checked_bytes(data, length, "Krn_crc64::update()"), length);
}

}  // namespace krn
