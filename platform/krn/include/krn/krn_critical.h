#ifndef KRN_CRITICAL_H
#define KRN_CRITICAL_H

// The library's basic lock. It is recursive because the classes that hold it
// call one another while they change shared state (a buffer's lock is taken
// again by the file it swaps to, for instance); every lock() needs its unlock().

#include <cstddef>

#include "krn/krn_export.h"

namespace krn {

class KRN_API Krn_critical {
 public:
  // With locked true the constructing thread holds the lock on return.
  // Throws Krn_sys_call_fail when the system cannot create the lock.
  explicit Krn_critical(bool locked = false);
  ~Krn_critical();

  Krn_critical(const Krn_critical&) = delete;
  Krn_critical& operator=(const Krn_critical&) = delete;

  void lock();
  void unlock();
  // Takes the lock when it is free or already held by the caller; never waits.
  bool try_lock();

  // Room for the system's mutex, so that a lock costs no allocation; the
  // platform layer checks at compile time that it fits.
  static constexpr std::size_t STORAGE_SIZE = 64;

 private:
  alignas(16) unsigned char m_storage[STORAGE_SIZE];
};

// Holds a Krn_critical for the lifetime of a scope.
class Krn_lock_guard {
 public:
  explicit Krn_lock_guard(Krn_critical& critical) : m_critical(critical) { m_critical.lock(); }
  ~Krn_lock_guard() { m_critical.unlock(); }

  Krn_lock_guard(const Krn_lock_guard&) = delete;
  Krn_lock_guard& operator=(const Krn_lock_guard&) = delete;

 private:
  Krn_critical& m_critical;
};

}  // namespace krn

#endif
