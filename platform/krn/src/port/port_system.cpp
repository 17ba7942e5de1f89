#include "port/port_system.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define KRN_PORT_X86 1
#else
#define KRN_PORT_X86 0
#endif

namespace krn::port {

static_assert(sizeof(pthread_mutex_t) <= MUTEX_STORAGE_SIZE, "mutex storage too small");
static_assert(alignof(pthread_mutex_t) <= MUTEX_STORAGE_ALIGN, "mutex storage under-aligned");

namespace {

pthread_mutex_t* as_mutex(void* storage) { return static_cast<pthread_mutex_t*>(storage); }

}  // namespace

int mutex_create_recursive(void* storage) {
  pthread_mutexattr_t attributes;
  int error = pthread_mutexattr_init(&attributes);
  if (error != 0) return error;
  error = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  if (error == 0) error = pthread_mutex_init(new (storage) pthread_mutex_t, &attributes);
  pthread_mutexattr_destroy(&attributes);
  return error;
}

int mutex_destroy(void* storage) { return pthread_mutex_destroy(as_mutex(storage)); }
int mutex_lock(void* storage) { return pthread_mutex_lock(as_mutex(storage)); }
int mutex_unlock(void* storage) { return pthread_mutex_unlock(as_mutex(storage)); }
int mutex_try_lock(void* storage) { return pthread_mutex_trylock(as_mutex(storage)); }
bool mutex_is_busy_error(int error) { return error == EBUSY; }

#if KRN_PORT_X86

namespace {

struct Cpuid {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  bool valid = false;
};

Cpuid cpuid(unsigned leaf) {
  Cpuid r;
  r.valid = __get_cpuid(leaf, &r.eax, &r.ebx, &r.ecx, &r.edx) != 0;
  return r;
}

bool edx_bit(unsigned leaf, unsigned bit) {
  Cpuid r = cpuid(leaf);
  return r.valid && ((r.edx >> bit) & 1u) != 0;
}

}  // namespace

bool cpu_has(Cpu_feature feature) {
  __builtin_cpu_init();
  switch (feature) {
    // From the extended leaf: clang does not know "3dnow" as a feature name.
    case Cpu_feature::three_dnow: return edx_bit(0x80000001u, 31);
    case Cpu_feature::compare_exchange_8: return edx_bit(1, 8);
    case Cpu_feature::floating_point_unit: return edx_bit(1, 0);
    case Cpu_feature::mmx: return __builtin_cpu_supports("mmx") != 0;
    // The processor's support: Linux turns no-execute on wherever the processor has it.
    case Cpu_feature::no_execute: return edx_bit(0x80000001u, 20);
#if defined(__x86_64__)
    // Long mode cannot run without physical address extension enabled.
    case Cpu_feature::physical_address_extension: return true;
#else
    case Cpu_feature::physical_address_extension: return edx_bit(1, 6);
#endif
    case Cpu_feature::sse: return __builtin_cpu_supports("sse") != 0;
    case Cpu_feature::sse2: return __builtin_cpu_supports("sse2") != 0;
    case Cpu_feature::sse3: return __builtin_cpu_supports("sse3") != 0;
  }
  return false;
}

Processor_info processor_info() {
  Processor_info info;
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  info.count = static_cast<std::uint16_t>(online > 0 ? (online > 0xFFFF ? 0xFFFF : online) : 1);
  Cpuid r = cpuid(1);
  if (r.valid) {
    unsigned family = (r.eax >> 8) & 0xFu;
    unsigned model = (r.eax >> 4) & 0xFu;
    // The extended fields count only for the families that define them.
    if (family == 0xF) family += (r.eax >> 20) & 0xFFu;
    if (family == 0x6 || family >= 0xF) model |= ((r.eax >> 16) & 0xFu) << 4;
    info.level = static_cast<std::uint16_t>(family);
    info.model = static_cast<std::uint16_t>(model);
    info.stepping = static_cast<std::uint16_t>(r.eax & 0xFu);
  }
  return info;
}

#else

// Other processors report none of these x86 features; floating point is
// in hardware on every processor this library builds for.
bool cpu_has(Cpu_feature feature) { return feature == Cpu_feature::floating_point_unit; }

Processor_info processor_info() {
  Processor_info info;
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  info.count = static_cast<std::uint16_t>(online > 0 ? (online > 0xFFFF ? 0xFFFF : online) : 1);
  return info;
}

#endif

}  // namespace krn::port

namespace krn::port {

bool error_stream_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace krn::port
