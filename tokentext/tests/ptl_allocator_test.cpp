#include "ptl/ptl_allocator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

namespace {

struct Counted {
  static inline int constructed = 0;
  static inline int destroyed = 0;
  explicit Counted(int v) : value(v) {
    if (v < 0) throw std::runtime_error("refused");
    ++constructed;
  }
  Counted() : Counted(0) {}
  ~Counted() { ++destroyed; }
  int value;
  char padding[60];
};

void reset_counts() { Counted::constructed = Counted::destroyed = 0; }

bool inside(const void* p, const void* object, std::size_t size) {
  auto a = reinterpret_cast<std::uintptr_t>(p);
  auto b = reinterpret_cast<std::uintptr_t>(object);
  return a >= b && a < b + size;
}

TEST(PtlAllocator, PoolTouchesNoObjectUntilAsked) {
  reset_counts();
  using Pool = ptl::Ptl_allocator<Counted, 1000, 15000>;
  auto pool = std::make_unique<Pool>();  // value-initialised, as the tool creates its pools
  EXPECT_EQ(Counted::constructed, 0);
  Counted* raw = pool->allocate();
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(Counted::constructed, 0);
  pool->deallocate(raw);
  pool.reset();
  EXPECT_EQ(Counted::destroyed, 0);
}

TEST(PtlAllocator, FirstBlockLivesInThePoolAndFurtherBlocksComeOnDemand) {
  using Pool = ptl::Ptl_allocator<std::uint64_t, 8, 3>;
  Pool pool;
  std::set<std::uint64_t*> seen;
  for (int i = 0; i < 8; ++i) {
    std::uint64_t* p = pool.allocate();
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(inside(p, &pool, sizeof(pool)));
    *p = i;
    seen.insert(p);
  }
  EXPECT_EQ(pool.block_count(), 1u);
  std::uint64_t* ninth = pool.allocate();
  ASSERT_NE(ninth, nullptr);
  EXPECT_FALSE(inside(ninth, &pool, sizeof(pool)));
  EXPECT_EQ(pool.block_count(), 2u);
  seen.insert(ninth);
  EXPECT_EQ(seen.size(), 9u);
  EXPECT_EQ(pool.in_use(), 9u);
}

TEST(PtlAllocator, AnswersNullBeyondTheLimitAndReusesFreedSlotsFirst) {
  ptl::Ptl_allocator<int, 4, 3> pool;
  std::vector<int*> slots;
  for (std::size_t i = 0; i < decltype(pool)::CAPACITY; ++i) {
    int* p = pool.allocate();
    ASSERT_NE(p, nullptr) << i;
    slots.push_back(p);
  }
  EXPECT_EQ(pool.allocate(), nullptr);
  EXPECT_EQ(pool.block_count(), 3u);

  pool.deallocate(slots[5]);
  pool.deallocate(slots[2]);
  EXPECT_EQ(pool.allocate(), slots[2]);
  EXPECT_EQ(pool.allocate(), slots[5]);
  EXPECT_EQ(pool.allocate(), nullptr);
}

TEST(PtlAllocator, ConstructAndDestroyRunTheObjectsLifetime) {
  reset_counts();
  ptl::Ptl_allocator<Counted, 2, 1> pool;
  Counted* a = pool.construct(7);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->value, 7);
  EXPECT_EQ(Counted::constructed, 1);

  // A throwing constructor gives its slot back.
  EXPECT_THROW(pool.construct(-1), std::runtime_error);
  EXPECT_EQ(pool.in_use(), 1u);
  Counted* b = pool.construct(8);
  Counted* c = pool.construct(9);
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(c, nullptr);

  pool.destroy(a);
  EXPECT_EQ(Counted::destroyed, 1);
  EXPECT_EQ(pool.construct(10), a);
}

}  // namespace
