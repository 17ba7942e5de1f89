#include "krn/krn_buffer.h"

#include <stdexcept>

#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn_buffer_support.h"

namespace krn {

int64 krn_advance(int64 position, int64 offset) {
  int64 result = 0;
  if (__builtin_add_overflow(position, offset, &result)) {
    if (offset > 0) throw std::overflow_error("Stream position too large.");
    throw std::underflow_error("Stream position going negative.");
  }
  if (result < 0) throw std::underflow_error("Stream position going negative.");
  return result;
}

std::atomic<unsigned> Krn_buffer::m_id_generator{0};

Krn_buffer::Krn_buffer() {
  // After the counter wraps, 0 would mean "no buffer" to callers; skip it.
  do {
    m_id = ++m_id_generator;
  } while (m_id == 0);
}

Krn_buffer::~Krn_buffer() = default;

bool Krn_buffer::check_position(int64 position, Krn_status& status) {
  if (position >= 0) return true;
  status = KRN_E_SEEK_RANGE;
  return false;
}

void Krn_buffer::connect_unbuffered_istream(Krn_status& status) const {
  status.clear();
  ++m_unbuffered_istreams;
}

void Krn_buffer::connect_buffered_istream(Krn_status& status) const {
  status.clear();
  ++m_buffered_istreams;
}

void Krn_buffer::connect_ostream(Krn_status& status) {
  status.clear();
  if (m_ostream.exchange(1) != 0) status = KRN_E_OUTPUT_STREAM;
}

static void decrement_if_positive(std::atomic<unsigned>& count) {
  unsigned current = count.load();
  while (current != 0 && !count.compare_exchange_weak(current, current - 1)) {
  }
}

void Krn_buffer::disconnect_unbuffered_istream() const { decrement_if_positive(m_unbuffered_istreams); }

void Krn_buffer::disconnect_buffered_istream() const { decrement_if_positive(m_buffered_istreams); }

void Krn_buffer::disconnect_ostream() {
  if (m_ostream.exchange(0) == 0) return;
  // Taking the write lock orders the wake-up after every reader that saw the
  // writer connected has gone to sleep.
  Krn_buffer_write_guard guard(*this);
  signal();
}

int64 Krn_buffer::size(bool wait_for_writer, Krn_status& status) const {
  status.clear();
  int64 end = 0;
  Krn_buffer_read_guard guard(*this);
  if (wait_for_writer) {
    while (num_ostream() != 0) wait();
  }
  try {
    seek(KRN_SEEK_END, 0, end, status);
  } catch (...) {
    status = KRN_E_SEEK;
  }
  return status.ok() ? end : 0;
}

void Krn_buffer::read_lock() const {
  std::unique_lock<std::mutex> state(m_lock_state);
  // The writer may read what it holds; anyone else waits for it to finish.
  if (m_writer_depth == 0 || m_writer != std::this_thread::get_id()) {
    m_lock_free.wait(state, [this] { return m_writer_depth == 0; });
  }
  ++m_readers;
}

void Krn_buffer::read_unlock() const {
  std::unique_lock<std::mutex> state(m_lock_state);
  if (m_readers == 0) return;
  if (--m_readers == 0) {
    state.unlock();
    m_lock_free.notify_all();
  }
}

void Krn_buffer::write_lock() const {
  std::unique_lock<std::mutex> state(m_lock_state);
  const std::thread::id me = std::this_thread::get_id();
  if (m_writer_depth > 0 && m_writer == me) {
    ++m_writer_depth;
    return;
  }
  m_lock_free.wait(state, [this] { return m_writer_depth == 0 && m_readers == 0; });
  m_writer = me;
  m_writer_depth = 1;
}

void Krn_buffer::write_unlock() const {
  std::unique_lock<std::mutex> state(m_lock_state);
  if (m_writer_depth == 0) return;
  if (--m_writer_depth == 0) {
    m_writer = std::thread::id();
    state.unlock();
    m_lock_free.notify_all();
  }
}

void Krn_buffer::wait() const {
  // The signal count is read while the read lock still keeps writers out, so
  // a write that follows the caller's look at the content always counts as a
  // later signal: no wake-up can be lost between the look and the sleep.
  uint64 seen = 0;
  {
    std::lock_guard<std::mutex> state(m_lock_state);
    seen = m_signals;
  }
  read_unlock();
  {
    std::unique_lock<std::mutex> state(m_lock_state);
    m_content_changed.wait(state, [this, seen] { return m_signals != seen; });
  }
  read_lock();
}

void Krn_buffer::signal() const {
  {
    std::lock_guard<std::mutex> state(m_lock_state);
    ++m_signals;
  }
  m_content_changed.notify_all();
}

}  // namespace krn
