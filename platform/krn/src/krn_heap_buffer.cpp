#include "krn/krn_heap_buffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "krn/krn_file.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn_buffer_support.h"

namespace krn {

// ---- Krn_heap_allocator ----------------------------------------------------

Krn_heap_allocator::Krn_heap_allocator(unsigned pages) : m_count(pages) {}

Krn_heap_allocator::~Krn_heap_allocator() = default;

void* Krn_heap_allocator::allocate_page() {
  Krn_lock_guard guard(m_lock);
  if (m_count == 0) return nullptr;
  // Zeroed, so that a gap a write leaves never shows what the memory held
  // before.
  void* page = std::calloc(1, Krn_heap_buffer::PAGE_SIZE);
  if (page != nullptr) --m_count;
  return page;
}

void Krn_heap_allocator::free_page(void* page) {
  if (page == nullptr) return;
  Krn_lock_guard guard(m_lock);
  ++m_count;
  std::free(page);
}

void Krn_heap_allocator::set_count(unsigned pages) {
  Krn_lock_guard guard(m_lock);
  m_count = pages;
}

unsigned Krn_heap_allocator::count() {
  Krn_lock_guard guard(m_lock);
  return m_count;
}

// ---- process-wide settings -------------------------------------------------

uint64 Krn_heap_buffer::m_swap_threshold = 256;
uint64 Krn_heap_buffer::m_swap_limit = 0;

namespace {

// Made on first use, so that buffers built during static initialisation
// elsewhere find it.
std::unique_ptr<Krn_heap_allocator>& allocator_slot() {
  static std::unique_ptr<Krn_heap_allocator> slot(new Krn_heap_allocator(Krn_heap_allocator::DEFAULT_PAGES));
  return slot;
}

Wstring& swap_location_slot() {
  static Wstring location;
  return location;
}

}  // namespace

void Krn_heap_buffer::set_swap_threshold(unsigned pages) { m_swap_threshold = pages; }
uint64 Krn_heap_buffer::swap_threshold() { return m_swap_threshold; }
void Krn_heap_buffer::set_swap_limit(unsigned pages) { m_swap_limit = pages; }
uint64 Krn_heap_buffer::swap_limit() { return m_swap_limit; }
void Krn_heap_buffer::set_swap_location(const Wstring& directory) { swap_location_slot() = directory; }
const Wstring& Krn_heap_buffer::swap_location() { return swap_location_slot(); }
void Krn_heap_buffer::allocator(Krn_heap_allocator* allocator) { allocator_slot().reset(allocator); }
Krn_heap_allocator* Krn_heap_buffer::allocator() { return allocator_slot().get(); }

void Krn_heap_buffer::set_process_swap_threshold(unsigned pages) {
  if (Krn_heap_allocator* current = allocator()) current->set_count(pages);
}

// ---- Krn_heap_buffer -------------------------------------------------------

namespace {

constexpr unsigned PAGE_SHIFT = 16;
constexpr unsigned BLOCK_SHIFT = 24;
constexpr uint64 PAGE_OFFSET_MASK = 0xFFFF;
constexpr unsigned PAGE_INDEX_MASK = 0xFF;

// Gives a page back to the budget it came from.
void return_page(void* page) {
  if (Krn_heap_allocator* pages = Krn_heap_buffer::allocator()) {
    pages->free_page(page);
  } else {
    std::free(page);
  }
}

}  // namespace

Krn_heap_buffer::Krn_heap_buffer() = default;

Krn_heap_buffer::~Krn_heap_buffer() {
  Krn_buffer_write_guard guard(*this);
  for (auto& block : m_blocks) {
    for (unsigned i = 0; i < PAGES_PER_BLOCK; ++i) {
      const Page_entry& entry = block.second[i];
      if (entry.kind == PAGE_MEMORY) return_page(reinterpret_cast<void*>(static_cast<std::uintptr_t>(entry.value)));
    }
  }
  m_blocks.clear();
  // Closing the swap file deletes it.
  m_swap_file.reset();
}

int64 Krn_heap_buffer::length() const {
  Krn_buffer_read_guard guard(*this);
  return m_length;
}

uint64 Krn_heap_buffer::pages_in_memory() const {
  Krn_buffer_read_guard guard(*this);
  return m_memory_pages;
}

uint64 Krn_heap_buffer::pages_in_swap() const {
  Krn_buffer_read_guard guard(*this);
  return m_swap_next / PAGE_SIZE;
}

void Krn_heap_buffer::open_swap_file(Krn_status& status) {
  const Wstring name = Krn_file::temp_name(swap_location(), u"hbp");
  // A new file only: a name someone planted in a shared folder is refused,
  // never written through.
  auto file = std::make_unique<Krn_file>(name, KRN_FILE_CREATE_NEW, KRN_FILE_ACCESS_READ_WRITE,
                                         KRN_FILE_FLAG_RANDOM_ACCESS | KRN_FILE_FLAG_DELETE_ON_CLOSE,
                                         KRN_FILE_SHARE_NONE, status);
  if (status.ok()) m_swap_file = std::move(file);
}

void Krn_heap_buffer::init_missing_pages(Page_entry* table, unsigned last, Krn_status& status) {
  // From the top down: pages below an existing one always exist, so the fill
  // stops at the first page it finds.
  const uint64 memory_before = m_memory_pages;
  const uint64 swap_before = m_swap_next;
  int index = static_cast<int>(last);
  for (; index >= 0 && status.ok(); --index) {
    Page_entry& entry = table[index];
    if (entry.kind != PAGE_NONE) break;
    void* page = nullptr;
    if (m_memory_pages < m_swap_threshold) {
      if (Krn_heap_allocator* pages = allocator()) page = pages->allocate_page();
    }
    if (page != nullptr) {
      entry.kind = PAGE_MEMORY;
      entry.value = reinterpret_cast<std::uintptr_t>(page);
      ++m_memory_pages;
      continue;
    }
    if (m_swap_limit != 0 && m_swap_next / PAGE_SIZE >= m_swap_limit) {
      status = KRN_E_SWAP_LIMIT;
      break;
    }
    if (!m_swap_file) {
      open_swap_file(status);
      if (!status.ok()) break;
    }
    entry.kind = PAGE_SWAP;
    entry.value = m_swap_next;
    m_swap_next += PAGE_SIZE;
  }
  if (status.ok()) return;
  // A fill that stopped part way is undone: the pages it made would sit above
  // a hole, where every later fill stops before reaching the hole and no read
  // can cross it. Undone, they also go back to the budget.
  for (unsigned i = static_cast<unsigned>(index + 1); i <= last; ++i) {
    Page_entry& entry = table[i];
    if (entry.kind == PAGE_MEMORY) return_page(reinterpret_cast<void*>(static_cast<std::uintptr_t>(entry.value)));
    entry = Page_entry{};
  }
  m_memory_pages = memory_before;
  m_swap_next = swap_before;
}

void Krn_heap_buffer::create_position(uint64 position, Krn_status& status) {
  status.clear();
  const uint64 block = position >> BLOCK_SHIFT;
  const unsigned index = static_cast<unsigned>(position >> PAGE_SHIFT) & PAGE_INDEX_MASK;
  const uint64 blocks = m_blocks.size();
  if (block < blocks) {
    init_missing_pages(m_blocks[block].get(), index, status);
    return;
  }
  // Blocks are numbered 0 to blocks - 1 without gaps: complete the last one,
  // then add whole blocks up to the one the position lies in.
  if (blocks > 0) {
    init_missing_pages(m_blocks[blocks - 1].get(), PAGES_PER_BLOCK - 1, status);
    if (!status.ok()) return;
  }
  for (uint64 number = blocks; number <= block && status.ok(); ++number) {
    Page_table table(new Page_entry[PAGES_PER_BLOCK]());
    init_missing_pages(table.get(), number == block ? index : PAGES_PER_BLOCK - 1, status);
    // A failed fill has already given its pages back.
    if (!status.ok()) return;
    m_blocks.emplace(number, std::move(table));
  }
}

void Krn_heap_buffer::swap_io(uint64 offset, unsigned char* data, uint64 count, bool to_file,
                              Krn_status& status) const {
  std::lock_guard<std::mutex> guard(m_swap_io);
  m_swap_file->seek(static_cast<int64>(offset), status);
  if (!status.ok()) return;
  if (to_file) {
    m_swap_file->write(data, count, status);
    return;
  }
  const size_t done = m_swap_file->read(data, count, status);
  // Pages that were handed out but never written lie wholly or partly beyond
  // the end of the file: their bytes are zero.
  if (done < count && (status.ok() || status == KRN_E_END_OF_DATA)) {
    std::memset(data + done, 0, count - done);
    status.clear();
  }
}

uint64 Krn_heap_buffer::copy_pages(uint64 position, uint64 count, unsigned char* data, bool to_pages,
                                   Krn_status& status) const {
  uint64 done = 0;
  while (done < count) {
    const uint64 at = position + done;
    const uint64 offset = at & PAGE_OFFSET_MASK;
    const uint64 piece = std::min(count - done, PAGE_SIZE - offset);
    auto block = m_blocks.find(at >> BLOCK_SHIFT);
    if (block == m_blocks.end()) {
      status = KRN_E_NO_MEMORY;
      break;
    }
    const Page_entry& entry = block->second[(at >> PAGE_SHIFT) & PAGE_INDEX_MASK];
    if (entry.kind == PAGE_MEMORY) {
      unsigned char* page = reinterpret_cast<unsigned char*>(static_cast<std::uintptr_t>(entry.value));
      if (to_pages) {
        std::memcpy(page + offset, data + done, piece);
      } else {
        std::memcpy(data + done, page + offset, piece);
      }
    } else if (entry.kind == PAGE_SWAP) {
      swap_io(entry.value + offset, data + done, piece, to_pages, status);
      if (!status.ok()) break;
    } else {
      status = KRN_E_NO_MEMORY;
      break;
    }
    done += piece;
  }
  return done;
}

void Krn_heap_buffer::zero_pages(uint64 position, uint64 count, Krn_status& status) {
  static const unsigned char zeros[PAGE_SIZE] = {};
  while (count != 0 && status.ok()) {
    const uint64 piece = std::min(count, PAGE_SIZE - (position & PAGE_OFFSET_MASK));
    copy_pages(position, piece, const_cast<unsigned char*>(zeros), true, status);
    position += piece;
    count -= piece;
  }
}

uint64 Krn_heap_buffer::read(bool wait, int64& position, uint64 count, void* data, Krn_status& status) const {
  status.clear();
  if (!check_position(position, status)) return 0;
  Krn_buffer_read_guard guard(*this);
  while (position >= m_length) {
    if (!wait || num_ostream() == 0) {
      status = KRN_E_END_OF_DATA;
      return 0;
    }
    Krn_buffer::wait();
  }
  count = std::min(count, static_cast<uint64>(m_length - position));
  const uint64 done = copy_pages(static_cast<uint64>(position), count, static_cast<unsigned char*>(data), false, status);
  position += static_cast<int64>(done);
  return done;
}

void Krn_heap_buffer::write(int64& position, uint64 count, const void* data, Krn_status& status) {
  detail::check_write_count(count);
  status.clear();
  if (!check_position(position, status) || count > static_cast<uint64>(KRN_MAX_POSITION - position)) {
    status = KRN_E_SEEK_RANGE;
    status.push(KRN_E_WRITE);
    return;
  }
  if (count == 0) return;
  Krn_buffer_write_guard guard(*this);
  try {
    const uint64 start = static_cast<uint64>(position);
    // Pages for the bytes written, and no more: a write that exactly fills
    // the swap limit must succeed.
    create_position(start + count - 1, status);
    // Content a truncation cut away must not come back in the gap.
    const uint64 length = static_cast<uint64>(m_length);
    if (status.ok() && start > length && m_written_end > length) {
      zero_pages(length, std::min(start, m_written_end) - length, status);
    }
    if (status.ok()) {
      m_written_end = std::max(m_written_end, start + count);
      copy_pages(start, count, const_cast<unsigned char*>(static_cast<const unsigned char*>(data)), true, status);
    }
    if (status.ok()) {
      position += static_cast<int64>(count);
      m_length = std::max(m_length, position);
    }
  } catch (...) {
    detail::report_exception(status);
  }
  if (!status.ok()) status.push(KRN_E_WRITE);
  signal();
}

void Krn_heap_buffer::seek(Krn_seek_mode mode, int64 offset, int64& position, Krn_status& status) const {
  Krn_buffer_read_guard guard(*this);
  detail::seek_in_range(mode, offset, m_length, position, status);
}

void Krn_heap_buffer::truncate(int64 size, Krn_status& status) {
  status.clear();
  if (!check_position(size, status)) return;
  Krn_buffer_write_guard guard(*this);
  if (size > m_length) {
    status = KRN_E_END_OF_DATA;
    return;
  }
  m_length = size;
}

}  // namespace krn
