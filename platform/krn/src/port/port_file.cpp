#include "port/port_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

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

// ---- Files without a name ------------------------------------------------------

namespace {

// The stand-in names a signal handler must remove. The handler may only
// read memory that is never reallocated and flags that are lock-free, so
// the names live in fixed slots. A name too long for a slot, or one beyond
// the last slot, is still removed on every other path.
constexpr int NAME_SLOTS = 16;
constexpr std::size_t NAME_SLOT_SIZE = 4096;
char g_names[NAME_SLOTS][NAME_SLOT_SIZE];
std::atomic<bool> g_claimed[NAME_SLOTS];
std::atomic<bool> g_ready[NAME_SLOTS];
static_assert(std::atomic<bool>::is_always_lock_free);

void register_name(const std::string& path) {
  if (path.size() >= NAME_SLOT_SIZE) return;
  for (int i = 0; i < NAME_SLOTS; ++i) {
    bool expected = false;
    if (!g_claimed[i].compare_exchange_strong(expected, true)) continue;
    std::memcpy(g_names[i], path.c_str(), path.size() + 1);
    g_ready[i].store(true);
    return;
  }
}

void unregister_name(const std::string& path) {
  for (int i = 0; i < NAME_SLOTS; ++i) {
    if (g_ready[i].load() && path == g_names[i]) {
      g_ready[i].store(false);
      g_claimed[i].store(false);
      return;
    }
  }
}

extern "C" void remove_names_and_end(int signal_number) {
  const int saved = errno;
  for (int i = 0; i < NAME_SLOTS; ++i) {
    if (g_ready[i].load()) ::unlink(g_names[i]);
  }
  errno = saved;
  // Ended by the signal itself, so that whoever waits for the process sees
  // why it stopped.
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

bool temporary_names_forced() {
  const char* forced = std::getenv("KRN_TEMPORARY_NAMES");
  return forced != nullptr && *forced != '\0';
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

int flush_folder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  // Some file systems cannot flush a folder; the file itself is on the disk.
  return error == EINVAL ? 0 : error;
}

int create_with_temporary_name(const std::string& directory, int& handle, std::string& temp_path) {
  static std::atomic<unsigned> counter{0};
  const std::string prefix = (directory.empty() ? std::string(".") : directory) + "/.pid" +
                             std::to_string(::getpid()) + "_";
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string candidate = prefix + std::to_string(counter.fetch_add(1)) + ".part";
    // Registered before it exists, so that a signal between the two finds it.
    register_name(candidate);
    const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      handle = fd;
      temp_path = candidate;
      return 0;
    }
    const int error = errno;
    unregister_name(candidate);
    if (error != EEXIST) return error;
  }
  return EEXIST;
}

}  // namespace

int unnamed_create(const std::string& directory, int& handle, std::string& temp_path) {
  temp_path.clear();
  if (!temporary_names_forced()) {
    const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) {
      handle = fd;
      return 0;
    }
    // Only a file system without such files falls back; every other failure
    // (no folder, no permission) is the answer.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
  }
  return create_with_temporary_name(directory, handle, temp_path);
}

int unnamed_link(int handle, const std::string& temp_path, const std::string& name) {
  if (::fsync(handle) != 0) return errno;
  if (!temp_path.empty()) {
    // link never replaces an existing name, unlike rename.
    if (::link(temp_path.c_str(), name.c_str()) != 0) return errno;
    unnamed_forget(handle, temp_path);
  } else {
    const std::string self = "/proc/self/fd/" + std::to_string(handle);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      const int error = errno;
      // Without /proc, the descriptor itself (which needs privileges).
      if (error != ENOENT || ::linkat(handle, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) != 0) return error;
    }
  }
  return flush_folder(folder_of(name));
}

void unnamed_forget(int handle, const std::string& temp_path) {
  if (temp_path.empty()) return;
  struct stat opened;
  if (::fstat(handle, &opened) == 0) unlink_if_same(temp_path, opened);
  unregister_name(temp_path);
}

void remove_temporary_names_on_signals() {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = remove_names_and_end;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
  }
}

Name_kind name_kind(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? Name_kind::free : Name_kind::unknown;
  if (S_ISREG(st.st_mode)) return Name_kind::file;
  if (S_ISDIR(st.st_mode)) return Name_kind::folder;
  return Name_kind::other;
}

int free_space(const std::string& folder, uint64& bytes) {
  struct statvfs st;
  if (::statvfs(folder.c_str(), &st) != 0) return errno;
  bytes = static_cast<uint64>(st.f_bavail) * static_cast<uint64>(st.f_frsize);
  return 0;
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
