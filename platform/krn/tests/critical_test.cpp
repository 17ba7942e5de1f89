#include <gtest/gtest.h>

#include <thread>

#include "krn/krn_critical.h"
#include "krn/krn_status.h"

using krn::Krn_critical;
using krn::Krn_lock_guard;

namespace {

// Whether another thread can take the lock at this moment; it gives the lock
// back at once when it could.
bool free_for_other_thread(Krn_critical& critical) {
  bool taken = false;
  std::thread other([&] {
    taken = critical.try_lock();
    if (taken) critical.unlock();
  });
  other.join();
  return taken;
}

}  // namespace

TEST(KrnCriticalThreads, RecursiveLockIsFreeOnlyAfterEveryUnlock) {
  Krn_critical critical;
  EXPECT_TRUE(free_for_other_thread(critical));

  critical.lock();
  critical.lock();
  EXPECT_TRUE(critical.try_lock());
  EXPECT_FALSE(free_for_other_thread(critical));
  critical.unlock();
  critical.unlock();
  EXPECT_FALSE(free_for_other_thread(critical));
  critical.unlock();
  EXPECT_TRUE(free_for_other_thread(critical));
}

TEST(KrnCriticalThreads, ConstructedLockedIsHeldByTheConstructingThread) {
  Krn_critical critical(true);
  EXPECT_FALSE(free_for_other_thread(critical));
  critical.unlock();
  EXPECT_TRUE(free_for_other_thread(critical));
}

TEST(KrnCriticalThreads, GuardKeepsOtherThreadsOut) {
  Krn_critical critical;
  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      Krn_lock_guard guard(critical);
      Krn_lock_guard again(critical);
      ++counter;
    }
  };
  std::thread a(work);
  std::thread b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 40000);
  EXPECT_TRUE(free_for_other_thread(critical));
}

TEST(KrnCritical, UnlockWithoutLockThrowsTheSystemCall) {
  Krn_critical critical;
  try {
    critical.unlock();
    FAIL() << "unlock of a lock not held returned";
  } catch (const krn::Krn_sys_call_fail& e) {
    EXPECT_STREQ(e.what(), "::pthread_mutex_unlock");
  }
}
