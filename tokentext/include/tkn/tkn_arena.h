#ifndef TKN_ARENA_H
#define TKN_ARENA_H

// Grow-only storage for the tables. A table never removes anything until it
// is destroyed, so its strings, hash nodes, bucket arrays and texts are
// carved from a few large chunks and released all at once. The tool builds
// and drops a table for every field value; chunks therefore go back to a
// small per-thread cache on release and are handed out again to the next
// table on that thread, so that steady state costs no system allocation.
// Nothing is taken before the first request: an unused table costs nothing.

#include <cstddef>
#include <new>
#include <type_traits>

#include "krn/krn_types.h"
#include "tkn/tkn_export.h"

namespace tkn {

// Memory the arena hands out in one piece: a cached chunk when one of the
// size is at hand on this thread, else a fresh allocation (std::bad_alloc
// when there is none). Chunks of other sizes are simply freed.
TKN_API void* tkn_take_chunk(std::size_t bytes);
TKN_API void tkn_give_chunk(void* chunk, std::size_t bytes) noexcept;

// Bump allocation from chunks of CHUNK_SIZE bytes (a request larger than
// half a chunk gets a chunk of its own size).
class TKN_API Tkn_arena {
 public:
  static constexpr std::size_t CHUNK_SIZE = 32768;

  Tkn_arena() noexcept = default;
  ~Tkn_arena() { release(); }

  Tkn_arena(const Tkn_arena&) = delete;
  Tkn_arena& operator=(const Tkn_arena&) = delete;

  void* allocate(std::size_t bytes, std::size_t alignment);
  void release() noexcept;
  void swap(Tkn_arena& other) noexcept;

 private:
  struct Chunk {
    Chunk* next;
    std::size_t size;
  };

  Chunk* m_chunks = nullptr;
  char* m_next = nullptr;
  char* m_end = nullptr;
};

// A standard allocator over an arena, for the tables' hash containers.
// Deallocation is a no-op (the arena frees everything at once). All
// instances compare equal, and the allocator does not travel on swap: a table
// swaps its containers' contents together with its arena's chunks, so every
// container keeps allocating from the arena that now holds its nodes.
template <class T>
class Tkn_arena_allocator {
 public:
  using value_type = T;
  using propagate_on_container_copy_assignment = std::false_type;
  using propagate_on_container_move_assignment = std::false_type;
  using propagate_on_container_swap = std::false_type;

  explicit Tkn_arena_allocator(Tkn_arena* arena) noexcept : m_arena(arena) {}
  template <class U>
  Tkn_arena_allocator(const Tkn_arena_allocator<U>& other) noexcept : m_arena(other.arena()) {}

  T* allocate(std::size_t n) { return static_cast<T*>(m_arena->allocate(n * sizeof(T), alignof(T))); }
  void deallocate(T*, std::size_t) noexcept {}

  Tkn_arena* arena() const noexcept { return m_arena; }

  template <class U>
  bool operator==(const Tkn_arena_allocator<U>&) const noexcept {
    return true;
  }
  template <class U>
  bool operator!=(const Tkn_arena_allocator<U>&) const noexcept {
    return false;
  }

 private:
  Tkn_arena* m_arena;
};

// Storage for interned UTF-16 strings: blocks of BLOCK_UNITS units. A string
// of n units takes n + 1 rounded up to an even count, carved from the
// current block; when the block has too little left a new one is started
// and the rest of the old one abandoned. A longer string gets an allocation
// of its own. Every string is NUL-terminated.
class TKN_API Tkn_string_allocator {
 public:
  static constexpr std::size_t BLOCK_UNITS = 65536;

  Tkn_string_allocator() noexcept = default;
  ~Tkn_string_allocator() { release(); }

  Tkn_string_allocator(const Tkn_string_allocator&) = delete;
  Tkn_string_allocator& operator=(const Tkn_string_allocator&) = delete;

  // A NUL-terminated copy of the units.
  const krn::Char16* store(const krn::Char16* units, std::size_t size);
  void release() noexcept;
  void swap(Tkn_string_allocator& other) noexcept;

 private:
  struct Block {
    Block* next;
    std::size_t units;
  };

  krn::Char16* take(std::size_t units);

  Block* m_blocks = nullptr;
  krn::Char16* m_next = nullptr;
  std::size_t m_free = 0;
};

}  // namespace tkn

#endif
