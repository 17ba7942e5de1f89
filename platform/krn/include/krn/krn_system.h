#ifndef KRN_SYSTEM_H
#define KRN_SYSTEM_H

// The process-wide system object: what the processor is and what it can do.
// The capability answer for SSE2 decides whether views and the encoding
// detector run their work in parallel.

#include <atomic>
#include <cstdint>
#include <string>

#include "krn/krn_export.h"

namespace krn {

enum Krn_processor_capability : unsigned {
  KRN_CPU_3DNOW = 0,
  KRN_CPU_COMPARE_EXCHANGE_DOUBLE = 1,
  KRN_CPU_FLOATING_POINT_HARDWARE = 2,  // true when floating point is not emulated
  KRN_CPU_MMX = 3,
  KRN_CPU_NO_EXECUTE = 4,
  KRN_CPU_PHYSICAL_ADDRESS_EXTENSION = 5,
  KRN_CPU_SSE = 6,
  KRN_CPU_SSE2 = 7,
  KRN_CPU_SSE3 = 8,
};

class KRN_API Krn_system {
 public:
  // The single instance; null only when it could not be allocated, in which
  // case the next call tries again.
  static Krn_system* instance();

  // Any value outside the enumeration is answered false.
  bool processor_has_capability(Krn_processor_capability capability);

  std::uint16_t processor_count() const { return m_processor_count; }
  std::uint16_t processor_level() const { return m_processor_level; }
  std::uint16_t processor_model() const { return m_processor_model; }
  std::uint16_t processor_stepping() const { return m_processor_stepping; }

  Krn_system(const Krn_system&) = delete;
  Krn_system& operator=(const Krn_system&) = delete;

 private:
  Krn_system();
  ~Krn_system() = default;

  static constexpr unsigned CAPABILITY_COUNT = 9;

  // Per capability: 0 not asked yet, 1 false, 2 true. Answers never change
  // once known, so concurrent first queries may both ask and store the same.
  std::atomic<std::uint8_t> m_capabilities[CAPABILITY_COUNT] = {};

  std::uint16_t m_processor_count = 0;
  std::uint16_t m_processor_level = 0;
  std::uint16_t m_processor_model = 0;
  std::uint16_t m_processor_stepping = 0;
};

// True when the process's standard error goes to a terminal, where a line
// may be rewritten in place; false for a file or a pipe.
KRN_API bool krn_error_stream_is_terminal();

// The folder, with its trailing '/', of the loaded library or program that
// holds the address. A library passes the address of one of its own objects
// to find the files installed beside it. Empty when the address lies in no
// loaded file, or for a program started by a bare name.
KRN_API std::string krn_module_folder(const void* address);

}  // namespace krn

#endif
