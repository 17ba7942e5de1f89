#ifndef KRN_FILE_H
#define KRN_FILE_H

// A handle on one operating-system file. Every operation reports through its
// Krn_status: the system's error number first, the library's own value pushed
// on top naming the file.

#include <cstddef>
#include <string>
#include <vector>

#include "krn/krn_critical.h"
#include "krn/krn_export.h"
#include "krn/krn_types.h"

namespace krn {

class Krn_status;
// Security descriptions of the system; this platform has none, so any given
// one is ignored. Callers pass null.
class Krn_security;

// What to do about an existing or a missing file.
enum Krn_file_open : unsigned {
  KRN_FILE_OPEN_EXISTING = 0,   // a missing file is an error
  KRN_FILE_OPEN_ALWAYS = 1,     // create the file when it is missing
  KRN_FILE_CREATE_ALWAYS = 2,   // create, or cut an existing file to length 0; needs write access
  KRN_FILE_CREATE_NEW = 3,      // an existing file is an error
};

enum Krn_file_access : unsigned {
  KRN_FILE_ACCESS_READ = 0,
  KRN_FILE_ACCESS_WRITE = 1,
  KRN_FILE_ACCESS_READ_WRITE = 2,
  KRN_FILE_ACCESS_ALL = 3,
};

// Flag bits.
inline constexpr unsigned KRN_FILE_FLAG_WRITE_THROUGH = 0x01;
inline constexpr unsigned KRN_FILE_FLAG_NO_BUFFERING = 0x02;
inline constexpr unsigned KRN_FILE_FLAG_RANDOM_ACCESS = 0x04;
inline constexpr unsigned KRN_FILE_FLAG_SEQUENTIAL_SCAN = 0x08;
inline constexpr unsigned KRN_FILE_FLAG_DELETE_ON_CLOSE = 0x10;
inline constexpr unsigned KRN_FILE_FLAG_BACKUP_SEMANTICS = 0x20;

// Share bits: what other openers may do while this handle is open.
inline constexpr unsigned KRN_FILE_SHARE_NONE = 0x00;
inline constexpr unsigned KRN_FILE_SHARE_READ = 0x01;
inline constexpr unsigned KRN_FILE_SHARE_WRITE = 0x02;
inline constexpr unsigned KRN_FILE_SHARE_DELETE = 0x04;

// Region lock modes.
enum Krn_file_lock : unsigned {
  KRN_FILE_LOCK_SHARED = 0,     // many holders may read the region
  KRN_FILE_LOCK_EXCLUSIVE = 1,  // one holder
};

// Region lock flag bits: without this bit lock() waits for a conflicting lock
// of another opener to go away.
inline constexpr unsigned KRN_FILE_LOCK_FAIL_IMMEDIATELY = 0x01;

// The system's file handle.
using Krn_file_handle = int;
inline constexpr Krn_file_handle KRN_INVALID_FILE_HANDLE = -1;

class KRN_API Krn_file {
 public:
  Krn_file();
  Krn_file(const Wstring& name, Krn_file_access access, Krn_status& status, Krn_security* security = nullptr);
  Krn_file(const Wstring& name, Krn_file_open open_mode, Krn_file_access access, unsigned flags, unsigned share,
           Krn_status& status, Krn_security* security = nullptr);
  ~Krn_file();

  Krn_file(const Krn_file&) = delete;
  Krn_file& operator=(const Krn_file&) = delete;

  // The short form: read opens an existing file shared for reading; write
  // creates or truncates without sharing; read-write and all open an
  // existing file without sharing. Any other access throws std::logic_error.
  void open(const Wstring& name, Krn_file_access access, Krn_status& status, Krn_security* security = nullptr);
  void open(const Wstring& name, Krn_file_open open_mode, Krn_file_access access, unsigned flags, unsigned share,
            Krn_status& status, Krn_security* security = nullptr);
  // Creates a file without a name in directory ("" for the current folder),
  // for reading and writing, mode 0666 less the umask. Nobody else can open
  // it; it gets a name only through link(), and closed before that it is
  // gone, also when the process is killed. Where the file system has no such
  // files, a hidden name in the folder stands in for the time being (see
  // remove_unnamed_on_signals). With scratch set the file is never to be
  // linked, and even a stand-in name goes at once.
  void create_unnamed(const Wstring& directory, bool scratch, Krn_status& status);
  // Flushes an unnamed file to the disk and gives it the name, in the same
  // folder. An existing name is never replaced: it fails with EEXIST under
  // KRN_E_FILE_LINK. Afterwards the file is an ordinary named one.
  void link(const Wstring& name, Krn_status& status);
  // Releases every region lock still held; a delete-on-close file, and an
  // unnamed one not linked, is gone afterwards.
  void close();

  bool is_open() const { return m_handle != KRN_INVALID_FILE_HANDLE; }
  Krn_file_handle handle() const { return m_handle; }
  // The name the file was opened with; empty when closed.
  const Wstring& name() const { return m_name; }

  // Both return the bytes moved, also when they fail part way.
  size_t read(void* data, size_t count, Krn_status& status);
  size_t write(const void* data, size_t count, Krn_status& status);

  void seek(Krn_seek_mode mode, int64 offset, Krn_status& status);
  void seek(int64 position, Krn_status& status);
  // 0 when closed or on failure.
  int64 tell() const;
  int64 length() const;
  void flush(Krn_status& status);
  // Cuts the file at the current position.
  void truncate(Krn_status& status);

  // Locks a region against other openers. A region that overlaps one this
  // file already holds is refused, as is unlocking a region not held exactly.
  void lock(Krn_file_lock mode, int64 start, int64 length, unsigned flags, Krn_status& status);
  void unlock(int64 start, int64 length, Krn_status& status);

  // A full path in the system's temporary folder (or in directory) that did
  // not exist when it was made: "pid<pid>_<n>.<extension>".
  // Makes a write beyond the process's file size limit fail with an error
  // status (EFBIG) instead of ending the process; for programs whose writes
  // must never leave a half-written file behind. Affects the whole process.
  static void size_limit_fails_writes();

  // SIGINT, SIGTERM and SIGHUP (those not ignored) remove the stand-in
  // names of unnamed files, then end the process by that signal. Affects the
  // whole process.
  static void remove_unnamed_on_signals();

  // What a name holds; links are not followed (a link is other, whatever it
  // leads to). unknown when it cannot be looked at.
  enum class Name_kind { free, file, folder, other, unknown };
  static Name_kind name_kind(const Wstring& name);
  // The bytes an unprivileged writer may still put on the file system of
  // the folder ("" for the current one); 0 with the status set when the
  // system cannot say.
  static uint64 free_space(const Wstring& folder, Krn_status& status);

  static Wstring temp_name(const Wstring& extension);
  static Wstring temp_name(const Wstring& directory, const Wstring& extension);

  // Creates or empties the file, then closes it.
  static void create_empty_file(const Wstring& name, Krn_status& status, bool write_through = false);
  // The length of a named file; 0 when it cannot be asked.
  static int64 length(const Wstring& name);

  // Copies one file; an existing target is replaced only when overwrite is set.
  static void copy(const Wstring& source, const Wstring& target, bool overwrite, Krn_status& status);
  // Copies every plain file of a folder into another existing folder.
  static void copy_files(const Wstring& source_directory, const Wstring& target_directory, bool overwrite,
                         Krn_status& status);
  // Renames a file; an existing target is replaced.
  static void move(const Wstring& source, const Wstring& target, Krn_status& status);
  static void remove(const Wstring& name, Krn_status& status);
  // Tries remove up to attempts times, waiting wait_ms between tries, for
  // files that another process lets go of shortly.
  static void retry_remove(const Wstring& name, unsigned attempts, unsigned wait_ms, Krn_status& status);

  // File times in seconds since 1970-01-01 UTC; 0 with the status set on
  // failure. The creation time is the birth time where the file system keeps
  // one, else the time of the last status change.
  static int64 creation_time(const Wstring& name, Krn_status& status);
  static int64 last_accessed_time(const Wstring& name, Krn_status& status);
  static int64 last_modified_time(const Wstring& name, Krn_status& status);

 private:
  struct Region {
    int64 start;
    int64 length;
    Krn_file_lock mode;
  };

  void release_regions();

  Krn_critical m_regions_lock;
  std::vector<Region> m_regions;
  Wstring m_name;
  // The stand-in name of an unnamed file not linked yet (UTF-8).
  std::string m_stand_in;
  Krn_file_handle m_handle = KRN_INVALID_FILE_HANDLE;
};

}  // namespace krn

#endif
