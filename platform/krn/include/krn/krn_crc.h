#ifndef KRN_CRC_H
#define KRN_CRC_H

// Table-driven cyclic redundancy checks. Krn_crc32 is the reflected CRC-32 of
// IEEE 802.3 (the zip/Ethernet check); Krn_crc64 is the most-significant-bit-
// first CRC-64 of ECMA-182 and doubles as the hash of token texts, key values
// and data set files, so its values are stored on disk and must never change.
//
// Either is computed in one call over memory (calculate), or accumulated over
// bytes, blocks, a whole stream or a whole buffer. The register starts at the
// initial value; calculate() and result(true) return it complemented.

#include <cstddef>
#include <cstdint>

#include "krn/krn_export.h"

namespace krn {

class Krn_buffer;
class Krn_istream;
class Krn_status;

class KRN_API Krn_crc32 {
 public:
  using value_type = std::uint32_t;
  static constexpr value_type ALL_ONES = 0xFFFFFFFFu;

  Krn_crc32() : m_initial(ALL_ONES), m_running(ALL_ONES) {}
  explicit Krn_crc32(value_type initial) : m_initial(initial), m_running(initial) {}

  // The complement of the register after running the bytes from initial.
  // A null data pointer with a non-zero length throws std::invalid_argument.
  static value_type calculate(const void* data, std::size_t length, value_type initial = ALL_ONES);

  void update(unsigned char byte);
  void update(const void* data, std::size_t length);
  // Checks the stream's whole content from its start, wherever it stands;
  // the stream is left at its end. The end of the data is not an error.
  void update(Krn_istream& stream, Krn_status& status);
  // A null stream throws std::invalid_argument.
  void update(Krn_istream* stream, Krn_status& status);
  // Checks the whole buffer through a stream of its own, waiting for a
  // connected writer to finish.
  void update(const Krn_buffer& buffer, Krn_status& status);

  void reset() { m_running = m_initial; }
  value_type result(bool complement) const { return complement ? ~m_running : m_running; }

 private:
  value_type m_initial;
  value_type m_running;
};

class KRN_API Krn_crc64 {
 public:
  using value_type = std::uint64_t;
  static constexpr value_type ALL_ONES = 0xFFFFFFFFFFFFFFFFull;

  Krn_crc64() : m_initial(ALL_ONES), m_running(ALL_ONES) {}
  explicit Krn_crc64(value_type initial) : m_initial(initial), m_running(initial) {}

  static value_type calculate(const void* data, std::size_t length, value_type initial = ALL_ONES);

  void update(unsigned char byte);
  void update(const void* data, std::size_t length);
  void update(Krn_istream& stream, Krn_status& status);
  void update(Krn_istream* stream, Krn_status& status);
  void update(const Krn_buffer& buffer, Krn_status& status);

  void reset() { m_running = m_initial; }
  value_type result(bool complement) const { return complement ? ~m_running : m_running; }

  // The register after a run of first bytes (from any initial value) and
  // then second_length more bytes, given second: the register those bytes
  // give from an initial value of 0. So pieces of data may be run apart,
  // on several threads, and joined in order without reading them again.
  static value_type combine(value_type first, value_type second, std::uint64_t second_length);

 private:
  value_type m_initial;
  value_type m_running;
};

}  // namespace krn

#endif
