#ifndef KRN_BUFFER_H
#define KRN_BUFFER_H

// Buffers: randomly addressable stores of bytes with 64-bit positions. Any
// number of input streams may read a buffer while at most one output stream
// writes to it; a reader that reaches the end while the writer is connected
// may wait for more. A buffer has no position of its own: every stream keeps
// one and hands it in by reference.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "krn/krn_export.h"
#include "krn/krn_types.h"

namespace krn {

class Krn_status;

// The largest position or byte count a buffer deals in.
inline constexpr int64 KRN_MAX_POSITION = 0x7FFFFFFFFFFFFFFFll;

// position + offset; throws std::overflow_error ("Stream position too
// large.") above KRN_MAX_POSITION and std::underflow_error ("Stream position
// going negative.") below 0.
KRN_API int64 krn_advance(int64 position, int64 offset);

class KRN_API Krn_buffer {
 public:
  Krn_buffer();
  Krn_buffer(const Krn_buffer&) = delete;
  Krn_buffer& operator=(const Krn_buffer&) = delete;

  // The virtual operations keep this order: derived classes in other
  // libraries depend on it.
  virtual ~Krn_buffer();
  virtual void connect_unbuffered_istream(Krn_status& status) const;
  virtual void connect_buffered_istream(Krn_status& status) const;
  // A second writer gets KRN_E_OUTPUT_STREAM.
  virtual void connect_ostream(Krn_status& status);
  virtual void disconnect_unbuffered_istream() const;
  virtual void disconnect_buffered_istream() const;
  // Wakes the readers waiting at the end, so that they see there is no more.
  virtual void disconnect_ostream();
  // With wait_for_writer the size is taken only once no writer is connected.
  virtual int64 size(bool wait_for_writer, Krn_status& status) const;
  // Both move the position on by the bytes moved. A read at or beyond the end
  // waits (with wait set) as long as a writer is connected.
  virtual uint64 read(bool wait, int64& position, uint64 count, void* data, Krn_status& status) const = 0;
  virtual void write(int64& position, uint64 count, const void* data, Krn_status& status) = 0;
  virtual void seek(Krn_seek_mode mode, int64 offset, int64& position, Krn_status& status) const = 0;
  virtual void truncate(int64 size, Krn_status& status) = 0;
  // Readers share; a writer excludes readers and other writers. The lock the
  // readers hold together is released by whichever leaves last, on any
  // thread. The thread holding the write lock may take either lock again.
  virtual void read_lock() const;
  virtual void write_lock() const;
  virtual void read_unlock() const;
  virtual void write_unlock() const;
  // Called with the read lock held: gives it up until the next signal().
  virtual void wait() const;
  // Wakes every thread that entered wait() before this call.
  virtual void signal() const;

  // Unique in the process, never 0.
  unsigned id() const { return m_id; }
  unsigned num_unbuffered_istream() const { return m_unbuffered_istreams.load(); }
  unsigned num_buffered_istream() const { return m_buffered_istreams.load(); }
  unsigned num_ostream() const { return m_ostream.load(); }

 protected:
  // Checks shared by the derived classes' read and write.
  static bool check_position(int64 position, Krn_status& status);

 private:
  static std::atomic<unsigned> m_id_generator;

  mutable std::atomic<unsigned> m_unbuffered_istreams{0};
  mutable std::atomic<unsigned> m_buffered_istreams{0};
  std::atomic<unsigned> m_ostream{0};

  // The reader-writer lock. A std::shared_mutex will not do: its shared side
  // must be released by the thread that took it.
  mutable std::mutex m_lock_state;
  mutable std::condition_variable m_lock_free;
  mutable unsigned m_readers = 0;
  mutable unsigned m_writer_depth = 0;
  mutable std::thread::id m_writer;

  // Readers waiting for content sleep until the count of signals moves on.
  mutable std::condition_variable m_content_changed;
  mutable uint64 m_signals = 0;

  unsigned m_id;
};

// Holds a buffer's read or write lock for the lifetime of a scope.
class Krn_buffer_read_guard {
 public:
  explicit Krn_buffer_read_guard(const Krn_buffer& buffer) : m_buffer(buffer) { m_buffer.read_lock(); }
  ~Krn_buffer_read_guard() { m_buffer.read_unlock(); }
  Krn_buffer_read_guard(const Krn_buffer_read_guard&) = delete;
  Krn_buffer_read_guard& operator=(const Krn_buffer_read_guard&) = delete;

 private:
  const Krn_buffer& m_buffer;
};

class Krn_buffer_write_guard {
 public:
  explicit Krn_buffer_write_guard(const Krn_buffer& buffer) : m_buffer(buffer) { m_buffer.write_lock(); }
  ~Krn_buffer_write_guard() { m_buffer.write_unlock(); }
  Krn_buffer_write_guard(const Krn_buffer_write_guard&) = delete;
  Krn_buffer_write_guard& operator=(const Krn_buffer_write_guard&) = delete;

 private:
  const Krn_buffer& m_buffer;
};

// A read-only window [start, end) onto another buffer; an end of
// KRN_MAX_POSITION follows the parent's end as it grows.
class KRN_API Krn_sub_buffer : public Krn_buffer {
 public:
  // Throws std::invalid_argument when end < start or start < 0.
  Krn_sub_buffer(const Krn_buffer& parent, int64 start, int64 end = KRN_MAX_POSITION);
  ~Krn_sub_buffer() override;

  void connect_ostream(Krn_status& status) override;
  uint64 read(bool wait, int64& position, uint64 count, void* data, Krn_status& status) const override;
  void write(int64& position, uint64 count, const void* data, Krn_status& status) override;
  void seek(Krn_seek_mode mode, int64 offset, int64& position, Krn_status& status) const override;
  void truncate(int64 size, Krn_status& status) override;
  // Only while no stream of any kind is connected.
  virtual void set_end(int64 end, Krn_status& status);

  int64 start() const { return m_start; }
  int64 end() const { return m_end; }

 private:
  const Krn_buffer& m_parent;
  int64 m_start;
  int64 m_end;
};

// A view of a caller's UTF-16 string: byte position p addresses unit p / 2.
// Positions and counts must be even.
class KRN_API Krn_wstring_buffer : public Krn_buffer {
 public:
  explicit Krn_wstring_buffer(Wstring& text);
  ~Krn_wstring_buffer() override;

  uint64 read(bool wait, int64& position, uint64 count, void* data, Krn_status& status) const override;
  // Writing beyond the end pads the string with spaces up to the position.
  void write(int64& position, uint64 count, const void* data, Krn_status& status) override;
  void seek(Krn_seek_mode mode, int64 offset, int64& position, Krn_status& status) const override;
  // The size is in bytes, as everywhere else in this class.
  void truncate(int64 size, Krn_status& status) override;

 private:
  Wstring& m_text;
};

// A view of a caller's narrow string. Unless unlimited, it refuses to grow
// beyond KRN_STRING_BUFFER_LIMIT bytes.
class KRN_API Krn_string_buffer : public Krn_buffer {
 public:
  static constexpr int64 KRN_STRING_BUFFER_LIMIT = 0xA0000;

  Krn_string_buffer(std::string& text, bool unlimited);
  ~Krn_string_buffer() override;

  uint64 read(bool wait, int64& position, uint64 count, void* data, Krn_status& status) const override;
  void write(int64& position, uint64 count, const void* data, Krn_status& status) override;
  void seek(Krn_seek_mode mode, int64 offset, int64& position, Krn_status& status) const override;
  void truncate(int64 size, Krn_status& status) override;

 private:
  std::string& m_text;
  bool m_unlimited;
};

// Read-only bytes in memory, released by the buffer when it was told to.
class KRN_API Krn_raw_memory_buffer : public Krn_buffer {
 public:
  enum Delete_method {
    NO_DELETE = 0,     // the caller keeps the memory
    DELETE_ARRAY = 1,  // allocated with new[]
    FREE = 2,          // allocated with malloc
  };

  Krn_raw_memory_buffer(int64 length, const unsigned char* data, Delete_method method);
  ~Krn_raw_memory_buffer() override;

  void connect_ostream(Krn_status& status) override;
  uint64 read(bool wait, int64& position, uint64 count, void* data, Krn_status& status) const override;
  void write(int64& position, uint64 count, const void* data, Krn_status& status) override;
  void seek(Krn_seek_mode mode, int64 offset, int64& position, Krn_status& status) const override;
  void truncate(int64 size, Krn_status& status) override;

 private:
  int64 m_length;
  const unsigned char* m_data;
  Delete_method m_delete_method;
};

}  // namespace krn

#endif
