#ifndef KRN_FILE_BUFFER_H
#define KRN_FILE_BUFFER_H

// A buffer over a file. The file has a single position, so reads are as
// exclusive as writes.

#include "krn/krn_buffer.h"
#include "krn/krn_file.h"

namespace krn {

class KRN_API Krn_file_buffer : public Krn_buffer {
 public:
  Krn_file_buffer();
  // Attaches a file the caller keeps.
  Krn_file_buffer(Krn_file& file, Krn_status& status);
  // Opens a file of its own (see Krn_file::open).
  Krn_file_buffer(const Wstring& name, Krn_file_access access, Krn_status& status);
  Krn_file_buffer(const Wstring& name, Krn_file_open open_mode, Krn_file_access access, unsigned flags,
                  unsigned share, Krn_status& status);
  ~Krn_file_buffer() override;

  uint64 read(bool wait, int64& position, uint64 count, void* data, Krn_status& status) const override;
  void write(int64& position, uint64 count, const void* data, Krn_status& status) override;
  void seek(Krn_seek_mode mode, int64 offset, int64& position, Krn_status& status) const override;
  void truncate(int64 size, Krn_status& status) override;
  void read_lock() const override;
  void read_unlock() const override;

  // KRN_E_HAS_FILE when a file is attached already.
  void attach(Krn_file& file, Krn_status& status);
  void open(const Wstring& name, Krn_file_access access, Krn_status& status);
  void open(const Wstring& name, Krn_file_open open_mode, Krn_file_access access, unsigned flags, unsigned share,
            Krn_status& status);
  // Closes the file (an attached one too) and forgets it.
  void close();

  bool is_open() const;
  Krn_file* file() const { return m_file; }

 private:
  Krn_file* m_file = nullptr;
  bool m_owned = false;
};

}  // namespace krn

#endif
