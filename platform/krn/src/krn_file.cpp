#include "krn/krn_file.h"

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_string.h"
#include "port/port_file.h"

namespace krn {

namespace {

constexpr size_t MAX_SINGLE_TRANSFER = 0xFFFFFFFFu;
constexpr size_t COPY_CHUNK = 64 * 1024;

std::string to_utf8(const Wstring& text) {
  std::string out;
  krn_utf16_to_utf8(text, out);
  return out;
}

Wstring to_utf16(const std::string& text) {
  Wstring out;
  krn_utf8_to_utf16(text, out);
  return out;
}

Wstring decimal(std::uint64_t value) {
  std::string digits = std::to_string(value);
  return Wstring(digits.begin(), digits.end());
}

// The system's error number becomes the status, so that it ends up as the
// child of the library's value pushed on top.
void set_system_error(Krn_status& status, int error) { status = static_cast<unsigned>(error); }

Wstring join(const Wstring& directory, const Wstring& name) {
  if (directory.empty() || directory.back() == u'/') return directory + name;
  return directory + u'/' + name;
}

}  // namespace

Krn_file::Krn_file() = default;

Krn_file::Krn_file(const Wstring& name, Krn_file_access access, Krn_status& status, Krn_security* security) {
  open(name, access, status, security);
}

Krn_file::Krn_file(const Wstring& name, Krn_file_open open_mode, Krn_file_access access, unsigned flags,
                   unsigned share, Krn_status& status, Krn_security* security) {
  open(name, open_mode, access, flags, share, status, security);
}

Krn_file::~Krn_file() { close(); }

void Krn_file::open(const Wstring& name, Krn_file_access access, Krn_status& status, Krn_security* security) {
  switch (access) {
    case KRN_FILE_ACCESS_READ:
      open(name, KRN_FILE_OPEN_EXISTING, access, 0, KRN_FILE_SHARE_READ, status, security);
      return;
    case KRN_FILE_ACCESS_WRITE:
      open(name, KRN_FILE_CREATE_ALWAYS, access, 0, KRN_FILE_SHARE_NONE, status, security);
      return;
    case KRN_FILE_ACCESS_READ_WRITE:
    case KRN_FILE_ACCESS_ALL:
      open(name, KRN_FILE_OPEN_EXISTING, access, 0, KRN_FILE_SHARE_NONE, status, security);
      return;
  }
  throw std::logic_error("Krn_file::open - Unknown file access mode");
}

// This platform has no security descriptions, so security is not used.
void Krn_file::open(const Wstring& name, Krn_file_open open_mode, Krn_file_access access, unsigned flags,
                    unsigned share, Krn_status& status, Krn_security* /*security*/) {
  status.clear();
  if (is_open()) {
    status.assign(KRN_E_ALREADY_OPEN, Krn_wstring_status_arg(m_name));
    return;
  }
  if (open_mode > KRN_FILE_CREATE_NEW) throw std::logic_error("Krn_file::open - Unknown file open mode");
  if (access > KRN_FILE_ACCESS_ALL) throw std::logic_error("Krn_file::open - Unknown file access mode");

  const Krn_wstring_status_arg name_arg(name);
  if (name.empty()) {
    status.assign(KRN_E_EMPTY_FILE_NAME, name_arg);
  } else if (name.find(u'\0') != Wstring::npos) {
    // The system would see only the part before it: another file.
    set_system_error(status, port::ERROR_INVALID_ARGUMENT);
  } else {
    const std::string path = to_utf8(name);
    const port::Path_kind kind = port::path_kind(path);
    if (kind == port::Path_kind::other) {
      status.assign(KRN_E_NOT_A_FILE, name_arg);
    } else if (open_mode == KRN_FILE_OPEN_EXISTING && kind == port::Path_kind::missing) {
      status.assign(KRN_E_FILE_NOT_FOUND, name_arg);
    } else if (open_mode == KRN_FILE_CREATE_ALWAYS && access == KRN_FILE_ACCESS_READ) {
      status = KRN_E_CREATE_NEEDS_WRITE;
    } else {
      int handle = KRN_INVALID_FILE_HANDLE;
      const int error = port::file_open(path, port::Open_request{open_mode, access, flags, share}, handle);
      if (error == 0) {
        m_handle = handle;
        m_name = name;
        return;
      }
      // The checks above looked before the open; the open has the last word.
      if (error == port::NOT_A_FILE) {
        status.assign(KRN_E_NOT_A_FILE, name_arg);
      } else if (error == port::ERROR_NOT_FOUND && open_mode == KRN_FILE_OPEN_EXISTING) {
        status.assign(KRN_E_FILE_NOT_FOUND, name_arg);
      } else {
        set_system_error(status, error);
      }
    }
  }
  status.push(KRN_E_OPEN, name_arg);
}

void Krn_file::create_unnamed(const Wstring& directory, bool scratch, Krn_status& status) {
  status.clear();
  if (is_open()) {
    status.assign(KRN_E_ALREADY_OPEN, Krn_wstring_status_arg(m_name));
    return;
  }
  const std::string folder = to_utf8(directory);
  int handle = KRN_INVALID_FILE_HANDLE;
  const int error = directory.find(u'\0') != Wstring::npos ? port::ERROR_INVALID_ARGUMENT
                                                            : port::unnamed_create(folder, handle, m_stand_in);
  if (error != 0) {
    set_system_error(status, error);
    status.push(KRN_E_CREATE_IN_FOLDER, Krn_wstring_status_arg(directory.empty() ? Wstring(u".") : directory));
    return;
  }
  m_handle = handle;
  if (scratch) {
    port::unnamed_forget(m_handle, m_stand_in);
    m_stand_in.clear();
  }
}

void Krn_file::link(const Wstring& name, Krn_status& status) {
  status.clear();
  if (!is_open()) {
    status = KRN_E_FILE_NOT_OPEN;
    return;
  }
  const int error = name.empty() || name.find(u'\0') != Wstring::npos
                        ? port::ERROR_INVALID_ARGUMENT
                        : port::unnamed_link(m_handle, m_stand_in, to_utf8(name));
  if (error != 0) {
    set_system_error(status, error);
    status.push(KRN_E_FILE_LINK, Krn_wstring_status_arg(name));
    return;
  }
  m_stand_in.clear();
  m_name = name;
}

void Krn_file::close() {
  if (!is_open()) return;
  // Closing the handle drops its region locks.
  release_regions();
  port::unnamed_forget(m_handle, m_stand_in);
  m_stand_in.clear();
  port::file_close(m_handle);
  m_handle = KRN_INVALID_FILE_HANDLE;
  m_name.clear();
}

size_t Krn_file::read(void* data, size_t count, Krn_status& status) {
  status.clear();
  if (!is_open()) {
    status = KRN_E_FILE_NOT_OPEN;
    return 0;
  }
  if (count > MAX_SINGLE_TRANSFER) {
    status = KRN_E_READ;
    return 0;
  }
  size_t done = 0;
  const int error = port::file_read(m_handle, data, count, done);
  if (error != 0) {
    set_system_error(status, error);
    status.push(KRN_E_READ);
  } else if (done == 0 && count != 0) {
    status = KRN_E_END_OF_DATA;
  }
  return done;
}

size_t Krn_file::write(const void* data, size_t count, Krn_status& status) {
  status.clear();
  size_t done = 0;
  if (!is_open()) {
    status = KRN_E_FILE_NOT_OPEN;
  } else if (count > MAX_SINGLE_TRANSFER) {
    status = KRN_E_READ;
  } else {
    const int error = port::file_write(m_handle, data, count, done);
    if (error == 0) return done;
    set_system_error(status, error);
  }
  status.push(KRN_E_WRITE);
  return done;
}

void Krn_file::seek(Krn_seek_mode mode, int64 offset, Krn_status& status) {
  status.clear();
  if (!is_open()) {
    status = KRN_E_FILE_NOT_OPEN;
  } else {
    int64 position = 0;
    const int origin = static_cast<int>(mode);
    const int error = (origin < 0 || origin > 2) ? port::ERROR_INVALID_ARGUMENT
                                                 : port::file_seek(m_handle, offset, origin, position);
    if (error == 0) return;
    set_system_error(status, error);
  }
  status.push(KRN_E_SEEK);
}

void Krn_file::seek(int64 position, Krn_status& status) { seek(KRN_SEEK_START, position, status); }

int64 Krn_file::tell() const {
  int64 position = 0;
  if (!is_open() || port::file_seek(m_handle, 0, KRN_SEEK_CURRENT, position) != 0) return 0;
  return position;
}

int64 Krn_file::length() const {
  int64 size = 0;
  if (!is_open() || port::file_size(m_handle, size) != 0) return 0;
  return size;
}

void Krn_file::flush(Krn_status& status) {
  status.clear();
  if (!is_open()) {
    status = KRN_E_FILE_NOT_OPEN;
  } else {
    const int error = port::file_flush(m_handle);
    if (error == 0) return;
    set_system_error(status, error);
  }
  status.push(KRN_E_WRITE);
}

void Krn_file::truncate(Krn_status& status) {
  status.clear();
  if (!is_open()) {
    status = KRN_E_FILE_NOT_OPEN;
  } else {
    int64 position = 0;
    int error = port::file_seek(m_handle, 0, KRN_SEEK_CURRENT, position);
    if (error == 0) error = port::file_truncate(m_handle, position);
    if (error == 0) return;
    set_system_error(status, error);
  }
  status.push(KRN_E_TRUNCATE);
}

void Krn_file::lock(Krn_file_lock mode, int64 start, int64 length, unsigned flags, Krn_status& status) {
  status.clear();
  if (!is_open()) {
    status = KRN_E_FILE_NOT_OPEN;
    return;
  }
  int error = 0;
  if (start < 0 || length <= 0 || length > std::numeric_limits<int64>::max() - start) {
    error = port::ERROR_INVALID_ARGUMENT;
  } else {
    // The region is entered before the system call so that the list lock is
    // not held while waiting for another process to let go.
    Krn_lock_guard guard(m_regions_lock);
    for (const Region& held : m_regions) {
      if (start < held.start + held.length && held.start < start + length) error = port::ERROR_REGION_HELD;
    }
    if (error == 0) m_regions.push_back(Region{start, length, mode});
  }
  if (error == 0) {
    error = port::file_lock_region(m_handle, mode == KRN_FILE_LOCK_EXCLUSIVE, start, length,
                                   (flags & KRN_FILE_LOCK_FAIL_IMMEDIATELY) == 0);
    if (error == 0) return;
    Krn_lock_guard guard(m_regions_lock);
    for (auto it = m_regions.begin(); it != m_regions.end(); ++it) {
      if (it->start == start && it->length == length) {
        m_regions.erase(it);
        break;
      }
    }
  }
  set_system_error(status, error);
  status.push(KRN_E_FILE_LOCK, Krn_wstring_status_arg(m_name));
}

void Krn_file::unlock(int64 start, int64 length, Krn_status& status) {
  status.clear();
  if (!is_open()) {
    status = KRN_E_FILE_NOT_OPEN;
    return;
  }
  int error = port::ERROR_REGION_NOT_HELD;
  {
    Krn_lock_guard guard(m_regions_lock);
    for (auto it = m_regions.begin(); it != m_regions.end(); ++it) {
      if (it->start == start && it->length == length) {
        error = port::file_unlock_region(m_handle, start, length);
        if (error == 0) m_regions.erase(it);
        break;
      }
    }
  }
  if (error == 0) return;
  set_system_error(status, error);
  status.push(KRN_E_FILE_LOCK, Krn_wstring_status_arg(m_name));
}

void Krn_file::release_regions() {
  Krn_lock_guard guard(m_regions_lock);
  m_regions.clear();
}

void Krn_file::size_limit_fails_writes() { port::ignore_file_size_signal(); }

void Krn_file::remove_unnamed_on_signals() { port::remove_temporary_names_on_signals(); }

uint64 Krn_file::free_space(const Wstring& folder, Krn_status& status) {
  status.clear();
  uint64 bytes = 0;
  const int error = port::free_space(folder.empty() ? std::string(".") : to_utf8(folder), bytes);
  if (error == 0) return bytes;
  set_system_error(status, error);
  status.push(KRN_E_FREE_SPACE, Krn_wstring_status_arg(folder));
  return 0;
}

Krn_file::Name_kind Krn_file::name_kind(const Wstring& name) {
  switch (port::name_kind(to_utf8(name))) {
    case port::Name_kind::free: return Name_kind::free;
    case port::Name_kind::file: return Name_kind::file;
    case port::Name_kind::folder: return Name_kind::folder;
    case port::Name_kind::other: return Name_kind::other;
    case port::Name_kind::unknown: break;
  }
  return Name_kind::unknown;
}

Wstring Krn_file::temp_name(const Wstring& extension) { return temp_name(Wstring(), extension); }

Wstring Krn_file::temp_name(const Wstring& directory, const Wstring& extension) {
  static Krn_critical names_lock;
  static bool counter_started = false;
  static std::uint64_t counter = 0;

  const Wstring folder = directory.empty() ? to_utf16(port::temp_directory()) : directory;
  const Wstring prefix = join(folder, u"pid" + decimal(port::process_id()) + u"_");

  Krn_lock_guard guard(names_lock);
  if (!counter_started) {
    counter = static_cast<std::uint64_t>(port::current_time() % 100000) * 100;
    counter_started = true;
  }
  // The name is only a candidate: whoever creates the file must still do so
  // exclusively, since another process may take it in the meantime.
  for (;;) {
    Wstring candidate = prefix + decimal(counter % 10000000) + u'.' + extension;
    ++counter;
    if (!port::path_exists(to_utf8(candidate))) return candidate;
  }
}

void Krn_file::create_empty_file(const Wstring& name, Krn_status& status, bool write_through) {
  const unsigned flags = write_through ? KRN_FILE_FLAG_WRITE_THROUGH | KRN_FILE_FLAG_NO_BUFFERING : 0;
  Krn_file file(name, KRN_FILE_CREATE_ALWAYS, KRN_FILE_ACCESS_WRITE, flags, KRN_FILE_SHARE_NONE, status);
}

int64 Krn_file::length(const Wstring& name) {
  int64 size = 0;
  if (port::path_size(to_utf8(name), size) != 0) return 0;
  return size;
}

void Krn_file::copy(const Wstring& source, const Wstring& target, bool overwrite, Krn_status& status) {
  status.clear();
  Krn_file in(source, KRN_FILE_OPEN_EXISTING, KRN_FILE_ACCESS_READ, KRN_FILE_FLAG_SEQUENTIAL_SCAN, KRN_FILE_SHARE_READ,
              status);
  if (status.ok()) {
    // Without sharing, so that copying a file onto itself fails before the
    // target (the source) is emptied.
    Krn_file out(target, overwrite ? KRN_FILE_CREATE_ALWAYS : KRN_FILE_CREATE_NEW, KRN_FILE_ACCESS_WRITE,
                 KRN_FILE_FLAG_SEQUENTIAL_SCAN, KRN_FILE_SHARE_NONE, status);
    if (status.ok()) {
      std::string chunk(COPY_CHUNK, '\0');
      for (;;) {
        const size_t got = in.read(chunk.data(), chunk.size(), status);
        if (status == KRN_E_END_OF_DATA) {
          status.clear();
          break;
        }
        if (!status.ok()) break;
        out.write(chunk.data(), got, status);
        if (!status.ok()) break;
      }
      if (!status.ok()) {
        // A half-written copy is worse than none.
        out.close();
        port::path_remove(to_utf8(target));
      }
    }
  }
  if (!status.ok()) status.push(KRN_E_FILE_COPY, Krn_wstring_status_arg(source), Krn_wstring_status_arg(target));
}

void Krn_file::copy_files(const Wstring& source_directory, const Wstring& target_directory, bool overwrite,
                          Krn_status& status) {
  status.clear();
  std::vector<std::string> names;
  const int error = port::list_files(to_utf8(source_directory), names);
  if (error != 0) {
    set_system_error(status, error);
    status.push(KRN_E_FILE_COPY, Krn_wstring_status_arg(source_directory), Krn_wstring_status_arg(target_directory));
    return;
  }
  for (const std::string& name : names) {
    const Wstring wide = to_utf16(name);
    copy(join(source_directory, wide), join(target_directory, wide), overwrite, status);
    if (!status.ok()) return;
  }
}

void Krn_file::move(const Wstring& source, const Wstring& target, Krn_status& status) {
  status.clear();
  const int error = port::path_rename(to_utf8(source), to_utf8(target));
  if (error == 0) return;
  if (error == port::ERROR_CROSS_DEVICE) {
    copy(source, target, true, status);
    if (status.ok()) remove(source, status);
    if (!status.ok()) status.push(KRN_E_FILE_MOVE, Krn_wstring_status_arg(source), Krn_wstring_status_arg(target));
    return;
  }
  set_system_error(status, error);
  status.push(KRN_E_FILE_MOVE, Krn_wstring_status_arg(source), Krn_wstring_status_arg(target));
}

void Krn_file::remove(const Wstring& name, Krn_status& status) {
  status.clear();
  const int error = port::path_remove(to_utf8(name));
  if (error == 0) return;
  set_system_error(status, error);
  status.push(KRN_E_FILE_REMOVE, Krn_wstring_status_arg(name));
}

void Krn_file::retry_remove(const Wstring& name, unsigned attempts, unsigned wait_ms, Krn_status& status) {
  const std::string path = to_utf8(name);
  int error = 0;
  for (unsigned attempt = 0;; ++attempt) {
    error = port::path_remove(path);
    // A missing file will not come back by waiting.
    if (error == 0 || error == port::ERROR_NOT_FOUND || attempt + 1 >= attempts) break;
    port::sleep_ms(wait_ms);
  }
  status.clear();
  if (error == 0) return;
  set_system_error(status, error);
  status.push(KRN_E_FILE_REMOVE, Krn_wstring_status_arg(name));
}

namespace {

int64 file_time(const Wstring& name, int64 port::File_times::*which, Krn_status& status) {
  status.clear();
  port::File_times times;
  const int error = port::path_times(to_utf8(name), times);
  if (error == 0) return times.*which;
  set_system_error(status, error);
  status.push(KRN_E_FILE_INFO, Krn_wstring_status_arg(name));
  return 0;
}

}  // namespace

int64 Krn_file::creation_time(const Wstring& name, Krn_status& status) {
  return file_time(name, &port::File_times::created, status);
}

int64 Krn_file::last_accessed_time(const Wstring& name, Krn_status& status) {
  return file_time(name, &port::File_times::accessed, status);
}

int64 Krn_file::last_modified_time(const Wstring& name, Krn_status& status) {
  return file_time(name, &port::File_times::modified, status);
}

}  // namespace krn
