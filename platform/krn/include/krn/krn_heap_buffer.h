#ifndef KRN_HEAP_BUFFER_H
#define KRN_HEAP_BUFFER_H

// A buffer in memory pages of 64 KiB, grouped in blocks of 256 pages
// (16 MiB). Pages come from a process-wide budget; once a buffer holds its
// share in memory, further pages go to a swap file of its own, which no one
// else can open and which is gone when the buffer is destroyed (or the
// process dies).

#include <map>
#include <memory>
#include <mutex>

#include "krn/krn_buffer.h"
#include "krn/krn_critical.h"

namespace krn {

class Krn_file;

// Hands out pages of KRN_HEAP_PAGE_SIZE zeroed bytes while its budget lasts.
class KRN_API Krn_heap_allocator {
 public:
  static constexpr unsigned DEFAULT_PAGES = 4096;

  explicit Krn_heap_allocator(unsigned pages = DEFAULT_PAGES);
  Krn_heap_allocator(const Krn_heap_allocator&) = delete;
  Krn_heap_allocator& operator=(const Krn_heap_allocator&) = delete;

  virtual ~Krn_heap_allocator();
  // Null when the budget is spent or memory is short.
  virtual void* allocate_page();
  // Null is ignored.
  virtual void free_page(void* page);
  virtual void set_count(unsigned pages);

  // The pages still available.
  unsigned count();

 private:
  Krn_critical m_lock;
  unsigned m_count;
};

class KRN_API Krn_heap_buffer : public Krn_buffer {
 public:
  static constexpr uint64 PAGE_SIZE = 0x10000;
  static constexpr unsigned PAGES_PER_BLOCK = 256;

  Krn_heap_buffer();
  ~Krn_heap_buffer() override;

  uint64 read(bool wait, int64& position, uint64 count, void* data, Krn_status& status) const override;
  // Writing beyond the end leaves a gap of zeros, also where a truncation
  // cut content away before.
  void write(int64& position, uint64 count, const void* data, Krn_status& status) override;
  void seek(Krn_seek_mode mode, int64 offset, int64& position, Krn_status& status) const override;
  // Only shortens; the pages stay with the buffer.
  void truncate(int64 size, Krn_status& status) override;

  int64 length() const;
  uint64 pages_in_memory() const;
  uint64 pages_in_swap() const;
  // Null until the first page goes to the swap file.
  const Krn_file* swap_file() const { return m_swap_file.get(); }

  // Process-wide settings, meant to be made before buffers are in use.
  // The most pages one buffer keeps in memory (default 256).
  static void set_swap_threshold(unsigned pages);
  static uint64 swap_threshold();
  // The most pages one buffer may put in its swap file; 0 means no limit.
  static void set_swap_limit(unsigned pages);
  static uint64 swap_limit();
  // The folder for swap files; empty means the system's temporary folder.
  static void set_swap_location(const Wstring& directory);
  static const Wstring& swap_location();
  // Replaces the process's page allocator, deleting the previous one.
  static void allocator(Krn_heap_allocator* allocator);
  static Krn_heap_allocator* allocator();
  // Sets the budget of the current allocator.
  static void set_process_swap_threshold(unsigned pages);

 private:
  enum Page_kind : unsigned { PAGE_NONE = 0, PAGE_MEMORY = 1, PAGE_SWAP = 2 };
  struct Page_entry {
    unsigned kind;
    uint64 value;  // the page's address, or its offset in the swap file
  };
  using Page_table = std::unique_ptr<Page_entry[]>;

  void create_position(uint64 position, Krn_status& status);
  void init_missing_pages(Page_entry* table, unsigned last, Krn_status& status);
  void open_swap_file(Krn_status& status);
  // Moves bytes between data and the pages; returns the bytes moved.
  uint64 copy_pages(uint64 position, uint64 count, unsigned char* data, bool to_pages, Krn_status& status) const;
  void swap_io(uint64 offset, unsigned char* data, uint64 count, bool to_file, Krn_status& status) const;
  void zero_pages(uint64 position, uint64 count, Krn_status& status);

  std::map<uint64, Page_table> m_blocks;
  std::unique_ptr<Krn_file> m_swap_file;
  // Readers share the read lock, but the swap file has one position.
  mutable std::mutex m_swap_io;
  uint64 m_swap_next = 0;
  int64 m_length = 0;
  // The end of everything ever written: pages beyond it are still zero.
  uint64 m_written_end = 0;
  uint64 m_memory_pages = 0;

  static uint64 m_swap_threshold;
  static uint64 m_swap_limit;
};

}  // namespace krn

#endif
