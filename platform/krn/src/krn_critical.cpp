#include "krn/krn_critical.h"

#include "krn/krn_status.h"
#include "port/port_system.h"

namespace krn {

static_assert(Krn_critical::STORAGE_SIZE >= port::MUTEX_STORAGE_SIZE, "lock storage too small");
static_assert(alignof(Krn_critical) >= port::MUTEX_STORAGE_ALIGN, "lock storage under-aligned");

Krn_critical::Krn_critical(bool locked) {
  if (port::mutex_create_recursive(m_storage) != 0) throw Krn_sys_call_fail("pthread_mutex_init");
  if (locked) lock();
}

Krn_critical::~Krn_critical() { port::mutex_destroy(m_storage); }

// A lock that cannot be taken or given back means the program is broken (a
// recursion too deep, an unlock by a thread that does not hold it); going on
// unprotected would corrupt whatever the lock guards.
void Krn_critical::lock() {
  if (port::mutex_lock(m_storage) != 0) throw Krn_sys_call_fail("pthread_mutex_lock");
}

void Krn_critical::unlock() {
  if (port::mutex_unlock(m_storage) != 0) throw Krn_sys_call_fail("pthread_mutex_unlock");
}

bool Krn_critical::try_lock() {
  int error = port::mutex_try_lock(m_storage);
  if (error == 0) return true;
  if (port::mutex_is_busy_error(error)) return false;
  throw Krn_sys_call_fail("pthread_mutex_trylock");
}

}  // namespace krn
