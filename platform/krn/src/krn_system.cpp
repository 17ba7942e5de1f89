#include "krn/krn_system.h"

#include <new>

#include "krn/krn_critical.h"
#include "port/port_module.h"
#include "port/port_system.h"

namespace krn {

namespace {

Krn_critical& instance_lock() {
  static Krn_critical lock;
  return lock;
}

Krn_system* g_instance = nullptr;

}  // namespace

Krn_system::Krn_system() {
  port::Processor_info info = port::processor_info();
  m_processor_count = info.count;
  m_processor_level = info.level;
  m_processor_model = info.model;
  m_processor_stepping = info.stepping;
}

Krn_system* Krn_system::instance() {
  Krn_lock_guard guard(instance_lock());
  // Lives until the process ends: libraries may still ask while static
  // objects of other libraries are destroyed.
  if (g_instance == nullptr) g_instance = new (std::nothrow) Krn_system;
  return g_instance;
}

bool Krn_system::processor_has_capability(Krn_processor_capability capability) {
  static constexpr port::Cpu_feature FEATURES[CAPABILITY_COUNT] = {
      port::Cpu_feature::three_dnow, port::Cpu_feature::compare_exchange_8,
      port::Cpu_feature::floating_point_unit, port::Cpu_feature::mmx,
      port::Cpu_feature::no_execute, port::Cpu_feature::physical_address_extension,
      port::Cpu_feature::sse, port::Cpu_feature::sse2, port::Cpu_feature::sse3};

  auto index = static_cast<unsigned>(capability);
  if (index >= CAPABILITY_COUNT) return false;
  std::uint8_t cached = m_capabilities[index].load(std::memory_order_acquire);
  if (cached != 0) return cached == 2;
  bool answer = port::cpu_has(FEATURES[index]);
  m_capabilities[index].store(answer ? 2 : 1, std::memory_order_release);
  return answer;
}

std::string krn_module_folder(const void* address) { return port::module_folder(address); }

bool krn_error_stream_is_terminal() { return port::error_stream_is_terminal(); }

}  // namespace krn
