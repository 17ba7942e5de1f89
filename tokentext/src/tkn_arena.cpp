#include "tkn/tkn_arena.h"

#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <utility>

namespace tkn {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// Recycled chunks would hide use-after-free from the sanitizers.
constexpr bool CACHE_CHUNKS = false;
#else
constexpr bool CACHE_CHUNKS = true;
#endif

constexpr std::size_t round_up(std::size_t value, std::size_t alignment) {
  return (value + alignment - 1) & ~(alignment - 1);
}

constexpr std::size_t ARENA_HEADER = round_up(2 * sizeof(void*), alignof(std::max_align_t));
constexpr std::size_t STRING_BLOCK_BYTES =
    ARENA_HEADER + Tkn_string_allocator::BLOCK_UNITS * sizeof(krn::Char16);

// Spares of the two sizes every table takes: an arena chunk and a string
// block. Anything else is freed at once.
struct Chunk_cache {
  static constexpr std::size_t SLOTS = 4;

  struct Shelf {
    void* chunks[SLOTS] = {};
    std::size_t count = 0;
  };

  Shelf arena_chunks;
  Shelf string_blocks;

  ~Chunk_cache() {
    for (Shelf* shelf : {&arena_chunks, &string_blocks}) {
      while (shelf->count > 0) std::free(shelf->chunks[--shelf->count]);
    }
  }

  Shelf* shelf_for(std::size_t bytes) {
    if (bytes == Tkn_arena::CHUNK_SIZE) return &arena_chunks;
    if (bytes == STRING_BLOCK_BYTES) return &string_blocks;
    return nullptr;
  }
};

// Puts a piece of its own size second in the list, so that carving goes on
// in the head, which is the piece still being filled.
template <class Piece>
void link_behind_head(Piece*& head, Piece* piece) noexcept {
  if (head == nullptr) {
    piece->next = nullptr;
    head = piece;
  } else {
    piece->next = head->next;
    head->next = piece;
  }
}

// The library is loaded with the program, never opened later, so the
// thread's cache can sit in static TLS and be reached without a call.
thread_local Chunk_cache cache_instance __attribute__((tls_model("initial-exec")));

Chunk_cache& cache() { return cache_instance; }

}  // namespace

void* tkn_take_chunk(std::size_t bytes) {
  if (CACHE_CHUNKS) {
    Chunk_cache::Shelf* shelf = cache().shelf_for(bytes);
    if (shelf != nullptr && shelf->count > 0) return shelf->chunks[--shelf->count];
  }
  void* chunk = std::malloc(bytes);
  if (chunk == nullptr) throw std::bad_alloc();
  return chunk;
}

void tkn_give_chunk(void* chunk, std::size_t bytes) noexcept {
  if (chunk == nullptr) return;
  if (CACHE_CHUNKS) {
    Chunk_cache::Shelf* shelf = cache().shelf_for(bytes);
    if (shelf != nullptr && shelf->count < Chunk_cache::SLOTS) {
      shelf->chunks[shelf->count++] = chunk;
      return;
    }
  }
  std::free(chunk);
}

void* Tkn_arena::allocate(std::size_t bytes, std::size_t alignment) {
  if (alignment < alignof(std::max_align_t)) alignment = alignof(std::max_align_t);
  if (m_next != nullptr) {
    char* start = reinterpret_cast<char*>(round_up(reinterpret_cast<std::uintptr_t>(m_next), alignment));
    if (start <= m_end && static_cast<std::size_t>(m_end - start) >= bytes) {
      m_next = start + bytes;
      return start;
    }
  }
  constexpr std::size_t header = ARENA_HEADER;
  static_assert(sizeof(Chunk) <= ARENA_HEADER);
  // A large request takes a chunk of its own, so that the current chunk's
  // remainder is not lost to it.
  if (bytes > CHUNK_SIZE / 2) {
    std::size_t size = header + round_up(bytes, alignment) + alignment;
    Chunk* chunk = static_cast<Chunk*>(tkn_take_chunk(size));
    chunk->size = size;
    link_behind_head(m_chunks, chunk);
    char* start = reinterpret_cast<char*>(round_up(reinterpret_cast<std::uintptr_t>(chunk) + header, alignment));
    return start;
  }
  Chunk* chunk = static_cast<Chunk*>(tkn_take_chunk(CHUNK_SIZE));
  chunk->size = CHUNK_SIZE;
  chunk->next = m_chunks;
  m_chunks = chunk;
  char* start = reinterpret_cast<char*>(round_up(reinterpret_cast<std::uintptr_t>(chunk) + header, alignment));
  m_next = start + bytes;
  m_end = reinterpret_cast<char*>(chunk) + CHUNK_SIZE;
  return start;
}

void Tkn_arena::release() noexcept {
  while (m_chunks != nullptr) {
    Chunk* next = m_chunks->next;
    tkn_give_chunk(m_chunks, m_chunks->size);
    m_chunks = next;
  }
  m_next = m_end = nullptr;
}

void Tkn_arena::swap(Tkn_arena& other) noexcept {
  std::swap(m_chunks, other.m_chunks);
  std::swap(m_next, other.m_next);
  std::swap(m_end, other.m_end);
}

const krn::Char16* Tkn_string_allocator::store(const krn::Char16* units, std::size_t size) {
  krn::Char16* copy = take(size + 1);
  if (size > 0) std::memcpy(copy, units, size * sizeof(krn::Char16));
  copy[size] = 0;
  return copy;
}

krn::Char16* Tkn_string_allocator::take(std::size_t units) {
  units = (units + 1) & ~std::size_t(1);
  constexpr std::size_t header = ARENA_HEADER;
  static_assert(sizeof(Block) <= ARENA_HEADER);
  if (units > BLOCK_UNITS) {
    // Kept behind the current block so that carving goes on there.
    Block* block = static_cast<Block*>(tkn_take_chunk(header + units * sizeof(krn::Char16)));
    block->units = units;
    link_behind_head(m_blocks, block);
    return reinterpret_cast<krn::Char16*>(reinterpret_cast<char*>(block) + header);
  }
  if (m_free < units) {
    Block* block = static_cast<Block*>(tkn_take_chunk(header + BLOCK_UNITS * sizeof(krn::Char16)));
    block->units = BLOCK_UNITS;
    block->next = m_blocks;
    m_blocks = block;
    m_next = reinterpret_cast<krn::Char16*>(reinterpret_cast<char*>(block) + header);
    m_free = BLOCK_UNITS;
  }
  krn::Char16* start = m_next;
  m_next += units;
  m_free -= units;
  return start;
}

void Tkn_string_allocator::release() noexcept {
  constexpr std::size_t header = ARENA_HEADER;
  while (m_blocks != nullptr) {
    Block* next = m_blocks->next;
    tkn_give_chunk(m_blocks, header + m_blocks->units * sizeof(krn::Char16));
    m_blocks = next;
  }
  m_next = nullptr;
  m_free = 0;
}

void Tkn_string_allocator::swap(Tkn_string_allocator& other) noexcept {
  std::swap(m_blocks, other.m_blocks);
  std::swap(m_next, other.m_next);
  std::swap(m_free, other.m_free);
}

}  // namespace tkn
