#ifndef PTL_ALLOCATOR_H
#define PTL_ALLOCATOR_H

// A fixed-block pool of slots for objects of one type. The first block lives
// inside the pool object, so a pool that is created, used for a handful of
// objects and destroyed (the tool does this once per field value) costs no
// allocation beyond the pool itself. Further blocks are taken on demand, up
// to max_blocks in all; past that, allocate() answers null instead of
// throwing, because running out is an ordinary outcome for the callers (they
// turn it into their own error). Freed slots go on a free list that is used
// before fresh ones.
//
// Slots hold raw storage: the pool never constructs, zeroes or destroys
// objects on its own. construct()/destroy() are the typed conveniences; an
// object still alive when the pool goes away is not destroyed, its memory is
// simply released with its block, which is what the token owners rely on
// (they drop thousands of tokens at once without running their destructors).
//
// Not synchronised: a pool belongs to one thread at a time.

#include <cstddef>
#include <new>
#include <utility>

namespace ptl {

template <class T, std::size_t block_size, std::size_t max_blocks>
class Ptl_allocator {
  static_assert(block_size > 0, "a block holds at least one slot");
  static_assert(max_blocks > 0, "the first block is part of the pool");

 public:
  using value_type = T;
  static constexpr std::size_t BLOCK_SIZE = block_size;
  static constexpr std::size_t MAX_BLOCKS = max_blocks;
  static constexpr std::size_t CAPACITY = block_size * max_blocks;

  // User-provided on purpose: `new Ptl_allocator()` must not value-initialise
  // (zero) the inline block of a pool that may hold a thousand large objects.
  Ptl_allocator() noexcept : m_free(nullptr), m_next(m_first), m_end(m_first + block_size), m_blocks(nullptr), m_block_count(1), m_in_use(0) {}

  ~Ptl_allocator() { release(); }

  Ptl_allocator(const Ptl_allocator&) = delete;
  Ptl_allocator& operator=(const Ptl_allocator&) = delete;

  // Uninitialised storage for one T, or null when all max_blocks blocks are
  // in use (or memory for a further block cannot be had).
  T* allocate() noexcept {
    Slot* slot = m_free;
    if (slot != nullptr) {
      m_free = slot->next;
    } else {
      if (m_next == m_end && !add_block()) return nullptr;
      slot = m_next++;
    }
    ++m_in_use;
    return reinterpret_cast<T*>(slot->storage);
  }

  // Gives a slot back for reuse; p must come from this pool's allocate().
  // The object in it must already be destroyed (or never have been built).
  void deallocate(T* p) noexcept {
    if (p == nullptr) return;
    Slot* slot = reinterpret_cast<Slot*>(p);
    slot->next = m_free;
    m_free = slot;
    --m_in_use;
  }

  // allocate() and construct in place; null when the pool is exhausted. If
  // the constructor throws, the slot is given back and the exception passes.
  template <class... Args>
  T* construct(Args&&... args) {
    T* p = allocate();
    if (p == nullptr) return nullptr;
    try {
      return ::new (static_cast<void*>(p)) T(std::forward<Args>(args)...);
    } catch (...) {
      deallocate(p);
      throw;
    }
  }

  // Destroys the object and gives its slot back.
  void destroy(T* p) {
    if (p == nullptr) return;
    p->~T();
    deallocate(p);
  }

  // Slots handed out and not given back.
  std::size_t in_use() const noexcept { return m_in_use; }
  // Blocks held, the inline one included.
  std::size_t block_count() const noexcept { return m_block_count; }

 private:
  union Slot {
    Slot* next;
    alignas(T) unsigned char storage[sizeof(T)];
  };

  struct Block {
    Block* next;
    Slot slots[block_size];
  };

  bool add_block() noexcept {
    if (m_block_count >= max_blocks) return false;
    // Plain new-expression without an initialiser: the slots stay untouched.
    Block* block = new (std::nothrow) Block;
    if (block == nullptr) return false;
    block->next = m_blocks;
    m_blocks = block;
    m_next = block->slots;
    m_end = block->slots + block_size;
    ++m_block_count;
    return true;
  }

  void release() noexcept {
    while (m_blocks != nullptr) {
      Block* next = m_blocks->next;
      delete m_blocks;
      m_blocks = next;
    }
  }

  Slot* m_free;
  Slot* m_next;
  Slot* m_end;
  Block* m_blocks;
  std::size_t m_block_count;
  std::size_t m_in_use;
  Slot m_first[block_size];
};

}  // namespace ptl

#endif
