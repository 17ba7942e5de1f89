#ifndef KRN_PORT_SYSTEM_H
#define KRN_PORT_SYSTEM_H

// What the lock and the system object need from the operating system. No
// system header is visible here, so the classes above stay free of them.

#include <cstddef>
#include <cstdint>

namespace krn::port {

// A recursive mutex kept in caller-provided storage of at least this size.
inline constexpr std::size_t MUTEX_STORAGE_SIZE = 64;
inline constexpr std::size_t MUTEX_STORAGE_ALIGN = 16;

// Each returns 0 or the system's error number.
int mutex_create_recursive(void* storage);
int mutex_destroy(void* storage);
int mutex_lock(void* storage);
int mutex_unlock(void* storage);
// 0 when taken; the system's "busy" error number when another thread holds it.
int mutex_try_lock(void* storage);
bool mutex_is_busy_error(int error);

enum class Cpu_feature {
  three_dnow,
  compare_exchange_8,
  floating_point_unit,
  mmx,
  no_execute,
  physical_address_extension,
  sse,
  sse2,
  sse3,
};

bool cpu_has(Cpu_feature feature);

// Whether standard error is a terminal.
bool error_stream_is_terminal();

struct Processor_info {
  std::uint16_t count = 0;
  std::uint16_t level = 0;     // the family
  std::uint16_t model = 0;
  std::uint16_t stepping = 0;
};

Processor_info processor_info();

}  // namespace krn::port

#endif
