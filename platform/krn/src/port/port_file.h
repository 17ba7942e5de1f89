#ifndef KRN_PORT_FILE_H
#define KRN_PORT_FILE_H

// What Krn_file needs from the operating system. Paths are UTF-8. Functions
// that can fail return 0 or the system's error number, which the caller
// assigns to its status. No system header is visible here.

#include <cstddef>
#include <string>
#include <vector>

#include "krn/krn_types.h"

namespace krn::port {

// Returned by file_open when the name leads to something that is not a
// plain file; not a system error number.
inline constexpr int NOT_A_FILE = -1;

// The error numbers the classes raise themselves.
extern const int ERROR_NOT_FOUND;         // the file does not exist
extern const int ERROR_SHARING;           // another opener's sharing or region lock forbids it
extern const int ERROR_INVALID_ARGUMENT;  // a negative position or length, and the like
extern const int ERROR_REGION_HELD;       // the region overlaps one this handle already locked
extern const int ERROR_REGION_NOT_HELD;   // unlocking a region that is not locked
extern const int ERROR_CROSS_DEVICE;      // a rename between file systems

enum class Path_kind { missing, file, other, unknown };
// What opening the path would reach (links followed).
Path_kind path_kind(const std::string& path);
// True when anything, even a dangling link, has the name. A name that cannot
// be looked at counts as free: opening it will report why.
bool path_exists(const std::string& path);

struct Open_request {
  unsigned open_mode;  // Krn_file_open
  unsigned access;     // Krn_file_access
  unsigned flags;      // KRN_FILE_FLAG_...
  unsigned share;      // KRN_FILE_SHARE_...
};

// Opens with the sharing of the request in force before anything is changed:
// a file that another handle's sharing forbids is neither truncated nor
// removed. Returns 0 with the handle set, an error number, or NOT_A_FILE.
int file_open(const std::string& path, const Open_request& request, int& handle);
int file_close(int handle);

// Both move as many bytes as they can and report them in done, also on an
// error; a read stops early only at the end of the file.
int file_read(int handle, void* data, std::size_t count, std::size_t& done);
int file_write(int handle, const void* data, std::size_t count, std::size_t& done);

// origin: 0 start, 1 current position, 2 end.
int file_seek(int handle, int64 offset, int origin, int64& position);
int file_size(int handle, int64& size);
int file_truncate(int handle, int64 length);
int file_flush(int handle);

// Locks held per handle: they do not interfere with the sharing locks and
// go away when the handle is closed.
int file_lock_region(int handle, bool exclusive, int64 start, int64 length, bool wait);
int file_unlock_region(int handle, int64 start, int64 length);

// Creates a file without a name in directory, for reading and writing, with
// mode 0666 less the umask. Where the file system cannot make one (or the
// environment variable KRN_TEMPORARY_NAMES is set, for tests), a new hidden
// name in the folder stands in, made with O_EXCL and O_NOFOLLOW: temp_path
// receives it, and until unnamed_forget it is removed by the handler of
// remove_temporary_names_on_signals. temp_path stays empty otherwise.
int unnamed_create(const std::string& directory, int& handle, std::string& temp_path);
// Flushes the file to the disk and gives it the name, which is never
// replaced: an existing name fails with EEXIST. The folder is flushed too.
int unnamed_link(int handle, const std::string& temp_path, const std::string& name);
// Removes the stand-in name, if it still names the file, and forgets it.
void unnamed_forget(int handle, const std::string& temp_path);
// SIGINT, SIGTERM and SIGHUP (unless ignored) remove the stand-in names still
// registered, then end the process by the same signal.
void remove_temporary_names_on_signals();

enum class Name_kind { free, file, folder, other, unknown };
// What a name holds, links not followed: a link is other.
Name_kind name_kind(const std::string& path);

// The bytes an unprivileged writer may still use on the folder's file system.
int free_space(const std::string& folder, uint64& bytes);

int path_size(const std::string& path, int64& size);
int path_remove(const std::string& path);
int path_rename(const std::string& from, const std::string& to);

struct File_times {
  int64 created = 0;  // birth time where the file system keeps one, else the last status change
  int64 accessed = 0;
  int64 modified = 0;
};
int path_times(const std::string& path, File_times& times);

// The names (not paths) of the plain files in a folder.
int list_files(const std::string& directory, std::vector<std::string>& names);

// $TMPDIR when set and not empty, else /tmp; without a trailing slash.
// Writes beyond the file size limit fail instead of raising SIGXFSZ.
void ignore_file_size_signal();

std::string temp_directory();
unsigned long process_id();
// Seconds since 1970-01-01 UTC.
int64 current_time();
void sleep_ms(unsigned milliseconds);

}  // namespace krn::port

#endif
