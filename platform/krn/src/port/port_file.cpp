#include "port/port_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "krn/krn_file.h"

namespace krn::port {

const int ERROR_NOT_FOUND = ENOENT;
// A sharing violation has no number of its own here; "busy" says what happened.
const int ERROR_SHARING = EBUSY;
const int ERROR_INVALID_ARGUMENT = EINVAL;
// A second lock on a region this handle holds would wait for itself.
const int ERROR_REGION_HELD = EDEADLK;
const int ERROR_REGION_NOT_HELD = ENOLCK;
const int ERROR_CROSS_DEVICE = EXDEV;

namespace {

// Closes the descriptor unless it is released to the caller.
class Fd_guard {
 public:
  explicit Fd_guard(int fd) : m_fd(fd) {}
  ~Fd_guard() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd_guard(const Fd_guard&) = delete;
  Fd_guard& operator=(const Fd_guard&) = delete;
  int release() {
    int fd = m_fd;
    m_fd = -1;
    return fd;
  }

 private:
  int m_fd;
};

bool writes(unsigned access) { return access != KRN_FILE_ACCESS_READ; }

// Share modes do not exist here; they are emulated with whole-file flock
// locks, which every handle of this library takes. A handle that lets others
// read takes a shared lock, so readers meet; one that lets nobody read, or
// writes without letting others write, takes the exclusive lock, so that two
// writers never meet and a reader never sees a file cut under it. A writer
// that shares writing and reading takes the shared lock: it admits other
// sharers and still keeps out anyone who wants the file to itself. Sharing
// of deletion has no counterpart: a name can always be unlinked here.
bool needs_exclusive_lock(unsigned access, unsigned share) {
  if ((share & KRN_FILE_SHARE_READ) == 0) return true;
  return writes(access) && (share & KRN_FILE_SHARE_WRITE) == 0;
}

int take_share_lock(int fd, bool exclusive) {
  for (;;) {
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return 0;
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? ERROR_SHARING : errno;
  }
}

int open_flags(const Open_request& request, bool temporary) {
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  switch (request.access) {
    case KRN_FILE_ACCESS_READ: flags |= O_RDONLY; break;
    case KRN_FILE_ACCESS_WRITE: flags |= O_WRONLY; break;
    default: flags |= O_RDWR; break;
  }
  switch (request.open_mode) {
    case KRN_FILE_OPEN_EXISTING: break;
    case KRN_FILE_CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    // Never O_TRUNC: the file is cut only once the sharing lock is held.
    default: flags |= O_CREAT; break;
  }
  // A file that is deleted when closed is private scratch space: it is always
  // made new, never reached through a link planted under its name.
  if (temporary && request.open_mode != KRN_FILE_OPEN_EXISTING) flags |= O_CREAT | O_EXCL | O_NOFOLLOW;
  // Without system buffering there is no O_DIRECT here: it fails on some file
  // systems (tmpfs) and demands aligned buffers. Both flags ask that written
  // data reach the disk, which O_DSYNC gives.
  if ((request.flags & (KRN_FILE_FLAG_WRITE_THROUGH | KRN_FILE_FLAG_NO_BUFFERING)) != 0) flags |= O_DSYNC;
  return flags;
}

// Removes the name only while it still names the file behind fd, so that a
// file put in its place meanwhile survives.
int unlink_if_same(const std::string& path, const struct stat& opened) {
  struct stat now;
  if (::lstat(path.c_str(), &now) != 0) return errno;
  if (now.st_dev != opened.st_dev || now.st_ino != opened.st_ino) return 0;
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

}  // namespace

Path_kind path_kind(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? Path_kind::missing : Path_kind::unknown;
  return S_ISREG(st.st_mode) ? Path_kind::file : Path_kind::other;
}

bool path_exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

int file_open(const std::string& path, const Open_request& request, int& handle) {
  bool temporary = (request.flags & KRN_FILE_FLAG_DELETE_ON_CLOSE) != 0;
  int flags = open_flags(request, temporary);
  int fd = ::open(path.c_str(), flags, temporary ? 0600 : 0666);
  if (fd < 0) return errno;
  Fd_guard guard(fd);
  bool created_here = (flags & O_EXCL) != 0;

  int error = 0;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    error = NOT_A_FILE;
  } else {
    // Only there to keep the open from waiting on a fifo or device.
    int status_flags = ::fcntl(fd, F_GETFL);
    if (status_flags < 0 || ::fcntl(fd, F_SETFL, status_flags & ~O_NONBLOCK) != 0) error = errno;
  }
  if (error == 0) error = take_share_lock(fd, needs_exclusive_lock(request.access, request.share));
  if (error == 0 && request.open_mode == KRN_FILE_CREATE_ALWAYS && ::ftruncate(fd, 0) != 0)
    error = errno;
  // Delete-on-close: the name goes as soon as the file is open. The handle
  // keeps the data alive until it is closed, and a crash leaves nothing behind.
  if (error == 0 && temporary) error = unlink_if_same(path, st);

  if (error != 0) {
    if (created_here && error != NOT_A_FILE) unlink_if_same(path, st);
    return error;
  }
  if ((request.flags & KRN_FILE_FLAG_RANDOM_ACCESS) != 0) ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  if ((request.flags & KRN_FILE_FLAG_SEQUENTIAL_SCAN) != 0) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  handle = guard.release();
  return 0;
}

int file_close(int handle) { return ::close(handle) == 0 ? 0 : errno; }

int file_read(int handle, void* data, std::size_t count, std::size_t& done) {
  done = 0;
  auto* bytes = static_cast<unsigned char*>(data);
  while (done < count) {
    ssize_t n = ::read(handle, bytes + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

int file_write(int handle, const void* data, std::size_t count, std::size_t& done) {
  done = 0;
  const auto* bytes = static_cast<const unsigned char*>(data);
  // A short write is not the end: the next call reports why (a full disk).
  while (done < count) {
    ssize_t n = ::write(handle, bytes + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

int file_seek(int handle, int64 offset, int origin, int64& position) {
  int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
  off_t result = ::lseek(handle, static_cast<off_t>(offset), whence);
  if (result < 0) return errno;
  position = static_cast<int64>(result);
  return 0;
}

int file_size(int handle, int64& size) {
  struct stat st;
  if (::fstat(handle, &st) != 0) return errno;
  size = static_cast<int64>(st.st_size);
  return 0;
}

int file_truncate(int handle, int64 length) {
  if (length < 0) return EINVAL;
  for (;;) {
    if (::ftruncate(handle, static_cast<off_t>(length)) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

int file_flush(int handle) { return ::fsync(handle) == 0 ? 0 : errno; }

int file_lock_region(int handle, bool exclusive, int64 start, int64 length, bool wait) {
  // A length of 0 would mean "to the end, however far it grows" here.
  if (start < 0 || length <= 0) return EINVAL;
  struct flock region {};
  region.l_type = exclusive ? F_WRLCK : F_RDLCK;
  region.l_whence = SEEK_SET;
  region.l_start = static_cast<off_t>(start);
  region.l_len = static_cast<off_t>(length);
  for (;;) {
    if (::fcntl(handle, wait ? F_OFD_SETLKW : F_OFD_SETLK, &region) == 0) return 0;
    if (errno == EINTR) continue;
    return (errno == EAGAIN || errno == EACCES) ? ERROR_SHARING : errno;
  }
}

int file_unlock_region(int handle, int64 start, int64 length) {
  if (start < 0 || length <= 0) return EINVAL;
  struct flock region {};
  region.l_type = F_UNLCK;
  region.l_whence = SEEK_SET;
  region.l_start = static_cast<off_t>(start);
  region.l_len = static_cast<off_t>(length);
  return ::fcntl(handle, F_OFD_SETLK, &region) == 0 ? 0 : errno;
}

int path_size(const std::string& path, int64& size) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return errno;
  size = static_cast<int64>(st.st_size);
  return 0;
}

int path_remove(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

int path_rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int path_times(const std::string& path, File_times& times) {
  struct statx sx;
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return errno;
  times.created = (sx.stx_mask & STATX_BTIME) != 0 ? sx.stx_btime.tv_sec : sx.stx_ctime.tv_sec;
  times.accessed = sx.stx_atime.tv_sec;
  times.modified = sx.stx_mtime.tv_sec;
  return 0;
}

int list_files(const std::string& directory, std::vector<std::string>& names) {
  names.clear();
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return errno;
  int error = 0;
  for (;;) {
    errno = 0;
    struct dirent* entry = ::readdir(dir);
    if (entry == nullptr) {
      error = errno;
      break;
    }
    struct stat st;
    if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  return error;
}

void ignore_file_size_signal() { signal(SIGXFSZ, SIG_IGN); }

std::string temp_directory() {
  const char* env = std::getenv("TMPDIR");
  std::string dir = (env != nullptr && *env != '\0') ? env : "/tmp";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

unsigned long process_id() { return static_cast<unsigned long>(::getpid()); }

int64 current_time() { return static_cast<int64>(std::time(nullptr)); }

void sleep_ms(unsigned milliseconds) {
  struct timespec rest {
    static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L
  };
  while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

}  // namespace krn::port
