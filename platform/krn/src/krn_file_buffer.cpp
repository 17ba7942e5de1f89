#include "krn/krn_file_buffer.h"

#include <algorithm>

#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn_buffer_support.h"

namespace krn {

namespace {

// Krn_file moves at most this much in one call; buffer reads may return
// less than asked, and writes go in pieces.
constexpr uint64 MAX_FILE_IO = 0x40000000;

}  // namespace

Krn_file_buffer::Krn_file_buffer() = default;

Krn_file_buffer::Krn_file_buffer(Krn_file& file, Krn_status& status) { attach(file, status); }

Krn_file_buffer::Krn_file_buffer(const Wstring& name, Krn_file_access access, Krn_status& status) {
  open(name, access, status);
}

Krn_file_buffer::Krn_file_buffer(const Wstring& name, Krn_file_open open_mode, Krn_file_access access,
                                 unsigned flags, unsigned share, Krn_status& status) {
  open(name, open_mode, access, flags, share, status);
}

Krn_file_buffer::~Krn_file_buffer() { close(); }

void Krn_file_buffer::read_lock() const { write_lock(); }

void Krn_file_buffer::read_unlock() const { write_unlock(); }

void Krn_file_buffer::attach(Krn_file& file, Krn_status& status) {
  status.clear();
  Krn_buffer_write_guard guard(*this);
  if (m_file != nullptr) {
    status = KRN_E_HAS_FILE;
    return;
  }
  m_file = &file;
  m_owned = false;
}

void Krn_file_buffer::open(const Wstring& name, Krn_file_access access, Krn_status& status) {
  status.clear();
  {
    Krn_buffer_write_guard guard(*this);
    if (m_file != nullptr) {
      status = KRN_E_HAS_FILE;
      return;
    }
    m_file = new Krn_file(name, access, status);
    m_owned = true;
  }
  if (!status.ok()) close();
}

void Krn_file_buffer::open(const Wstring& name, Krn_file_open open_mode, Krn_file_access access, unsigned flags,
                           unsigned share, Krn_status& status) {
  status.clear();
  {
    Krn_buffer_write_guard guard(*this);
    if (m_file != nullptr) {
      status = KRN_E_HAS_FILE;
      return;
    }
    m_file = new Krn_file(name, open_mode, access, flags, share, status);
    m_owned = true;
  }
  if (!status.ok()) close();
}

void Krn_file_buffer::close() {
  Krn_buffer_write_guard guard(*this);
  if (m_file == nullptr) return;
  m_file->close();
  if (m_owned) delete m_file;
  m_file = nullptr;
  m_owned = false;
}

bool Krn_file_buffer::is_open() const {
  Krn_buffer_read_guard guard(*this);
  return m_file != nullptr && m_file->is_open();
}

uint64 Krn_file_buffer::read(bool wait, int64& position, uint64 count, void* data, Krn_status& status) const {
  status.clear();
  Krn_buffer_read_guard guard(*this);
  if (m_file == nullptr) {
    status = KRN_E_NO_FILE;
    return 0;
  }
  if (!check_position(position, status) || count == 0) return 0;
  count = std::min(count, MAX_FILE_IO);
  for (;;) {
    try {
      if (m_file->tell() != position) m_file->seek(position, status);
      if (status.ok()) {
        const size_t done = m_file->read(data, count, status);
        if (done > 0) {
          // A short read ends at the end of the file: what came is the result.
          status.clear();
          position += static_cast<int64>(done);
          return done;
        }
      }
    } catch (...) {
      detail::report_exception(status);
      status.push(KRN_E_READ);
      return 0;
    }
    const bool at_end = status.ok() || status == KRN_E_END_OF_DATA;
    if (!at_end) return 0;
    if (wait && num_ostream() != 0) {
      status.clear();
      Krn_buffer::wait();
      continue;
    }
    status = KRN_E_END_OF_DATA;
    return 0;
  }
}

void Krn_file_buffer::write(int64& position, uint64 count, const void* data, Krn_status& status) {
  status.clear();
  detail::check_write_count(count);
  Krn_buffer_write_guard guard(*this);
  if (m_file == nullptr) {
    status = KRN_E_NO_FILE;
    return;
  }
  if (!check_position(position, status)) {
    status.push(KRN_E_WRITE);
    return;
  }
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  try {
    uint64 done = 0;
    while (done < count && status.ok()) {
      if (m_file->tell() != position) m_file->seek(position, status);
      if (!status.ok()) break;
      const size_t written = m_file->write(bytes + done, std::min(count - done, MAX_FILE_IO), status);
      position += static_cast<int64>(written);
      done += written;
      if (written == 0) break;
    }
  } catch (...) {
    detail::report_exception(status);
    status.push(KRN_E_WRITE);
  }
  signal();
}

void Krn_file_buffer::seek(Krn_seek_mode mode, int64 offset, int64& position, Krn_status& status) const {
  status.clear();
  Krn_buffer_read_guard guard(*this);
  if (m_file == nullptr) {
    status = KRN_E_NO_FILE;
    return;
  }
  try {
    if (mode == KRN_SEEK_END) {
      m_file->seek(KRN_SEEK_END, offset, status);
    } else {
      int64 base = 0;
      if (!detail::seek_base(mode, position, 0, base)) {
        status = KRN_E_SEEK_RANGE;
        return;
      }
      int64 target = 0;
      if (!detail::advance_in_range(base, offset, target, status)) return;
      m_file->seek(target, status);
    }
    if (status.ok()) position = m_file->tell();
  } catch (...) {
    status = KRN_E_SEEK;
  }
}

void Krn_file_buffer::truncate(int64 size, Krn_status& status) {
  status.clear();
  Krn_buffer_write_guard guard(*this);
  if (m_file == nullptr) {
    status = KRN_E_NO_FILE;
    return;
  }
  if (!check_position(size, status)) return;
  m_file->seek(size, status);
  if (status.ok()) m_file->truncate(status);
}

}  // namespace krn
