#ifndef KRN_STREAM_H
#define KRN_STREAM_H

// Streams: cursors through which buffers are read and written. Each keeps
// its own position, so many input streams can read one buffer independently
// while one output stream writes to it. A stream belongs to one thread.
//
// Line reads return the line end actually found (KRN_EOL_CR, _LF, _CRLF) or
// KRN_EOL_NONE when the line ended without one. In the stream's mode
// KRN_EOL_NONE any of CR, LF and CR LF ends a line. A line longer than
// max_length, or one that the data ends without a line end, comes with
// KRN_E_LINE_CUT; reading once more at the end gives KRN_E_END_OF_DATA.
//
// Integer reads take exactly the integer's width; fewer bytes give
// KRN_E_SHORT_INTEGER. The "be" forms reverse the byte order, the "le" forms
// keep it (the host is little-endian). The 16-bit line forms read and write
// UTF-16 units in host order, except the "be" forms, which swap each unit.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "krn/krn_buffer.h"
#include "krn/krn_export.h"
#include "krn/krn_types.h"

namespace krn {

class Krn_status;

// 1 for CR or LF, 2 for CR LF, else 0.
KRN_API unsigned krn_eol_length(Krn_eol eol);

// The base of the input streams; on its own it reads the buffer directly,
// as Krn_unbuffered_istream does.
class KRN_API Krn_istream {
 public:
  Krn_istream();
  Krn_istream(const Krn_buffer& buffer, bool wait, Krn_status& status, Krn_eol eol = KRN_EOL_NONE);
  Krn_istream(const Krn_istream&) = delete;
  Krn_istream& operator=(const Krn_istream&) = delete;

  // The virtual operations keep this order: derived classes in other
  // libraries depend on it.
  virtual ~Krn_istream();
  // With wait set, reads at the end wait while a writer is connected.
  virtual void init(const Krn_buffer& buffer, bool wait, Krn_status& status, Krn_eol eol = KRN_EOL_NONE);
  virtual void detach();
  virtual const Krn_buffer* buffer() const;
  virtual uint64 read(uint64 count, void* data, Krn_status& status);
  // Leaves the stream's position alone.
  virtual uint64 read_at(int64 position, uint64 count, void* data, Krn_status& status) const;

  void read_le(std::int16_t& value, Krn_status& status);
  void read_le(std::uint16_t& value, Krn_status& status);
  void read_le(std::int32_t& value, Krn_status& status);
  void read_le(std::uint32_t& value, Krn_status& status);
  void read_le(std::int64_t& value, Krn_status& status);
  void read_le(std::uint64_t& value, Krn_status& status);
  void read_be(std::int16_t& value, Krn_status& status);
  void read_be(std::uint16_t& value, Krn_status& status);
  void read_be(std::int32_t& value, Krn_status& status);
  void read_be(std::uint32_t& value, Krn_status& status);
  void read_be(std::int64_t& value, Krn_status& status);
  void read_be(std::uint64_t& value, Krn_status& status);

  Krn_eol readln(uint64 max_length, std::string& line, Krn_status& status);
  Krn_eol wreadln(uint64 max_length, Wstring& line, Krn_status& status);
  Krn_eol wreadln_le(uint64 max_length, Wstring& line, Krn_status& status);
  Krn_eol wreadln_be(uint64 max_length, Wstring& line, Krn_status& status);
  Krn_eol xreadln(uint64 max_length, Wstring& line, Krn_status& status);
  Krn_eol xreadln_le(uint64 max_length, Wstring& line, Krn_status& status);
  Krn_eol xreadln_be(uint64 max_length, Wstring& line, Krn_status& status);
  // The same at a position; the stream's position stays where it is.
  Krn_eol readln_at(int64 position, uint64 max_length, std::string& line, Krn_status& status);
  Krn_eol wreadln_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status);
  Krn_eol wreadln_le_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status);
  Krn_eol wreadln_be_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status);
  Krn_eol xreadln_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status);
  Krn_eol xreadln_le_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status);
  Krn_eol xreadln_be_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status);

  void seek(Krn_seek_mode mode, int64 offset, Krn_status& status);
  int64 tell() const { return m_position; }
  // Waits for the writer to leave when the stream waits.
  int64 size(Krn_status& status) const;
  // True when there is a byte at position n.
  bool size_greater_than(int64 n) const;
  Krn_eol get_eol() const { return m_eol; }

 protected:
  // What init and detach do beyond connecting: the buffered stream resets
  // its window here.
  void attach_buffer(const Krn_buffer& buffer, bool buffered, bool wait, Krn_status& status, Krn_eol eol);
  void detach_buffer(bool buffered);

  const Krn_buffer* m_buffer = nullptr;
  int64 m_position = 0;
  bool m_wait = false;
  Krn_eol m_eol = KRN_EOL_NONE;

 private:
  template <typename Unit>
  Krn_eol read_line(int64 position, bool advance, bool swap, uint64 max_length, std::basic_string<Unit>& line,
                    Krn_status& status);

  // Reused by every line read; grows, never shrinks.
  std::vector<unsigned char> m_line_scratch;
};

// Reads ahead in a window of WINDOW_SIZE bytes and serves read_char,
// read_wchar and small reads from it without locking the buffer. Bytes a
// writer changes inside the window after it was filled are not seen again.
class KRN_API Krn_buffered_istream : public Krn_istream {
 public:
  static constexpr uint64 WINDOW_SIZE = 16384;

  Krn_buffered_istream();
  Krn_buffered_istream(const Krn_buffer& buffer, bool wait, Krn_status& status, Krn_eol eol = KRN_EOL_NONE);
  ~Krn_buffered_istream() override;

  void init(const Krn_buffer& buffer, bool wait, Krn_status& status, Krn_eol eol = KRN_EOL_NONE) override;
  void detach() override;
  // A read that delivers some bytes before an error succeeds with them.
  uint64 read(uint64 count, void* data, Krn_status& status) override;
  uint64 read_at(int64 position, uint64 count, void* data, Krn_status& status) const override;

  // The next byte, and the next 16-bit unit in host order. Both throw
  // std::runtime_error when there is none.
  unsigned char read_char() {
    const uint64 offset = static_cast<uint64>(m_position - m_window_start);
    if (offset < m_window_valid) {
      ++m_position;
      return m_window[offset];
    }
    return read_char_slow();
  }

  wchar16 read_wchar() {
    const uint64 offset = static_cast<uint64>(m_position - m_window_start);
    if (offset < m_window_valid && m_window_valid - offset >= sizeof(wchar16)) {
      wchar16 unit;
      __builtin_memcpy(&unit, m_window.get() + offset, sizeof(unit));
      m_position += sizeof(unit);
      return unit;
    }
    return read_wchar_slow();
  }

 private:
  unsigned char read_char_slow();
  wchar16 read_wchar_slow();
  // Moves the window to position and fills it with one buffer read.
  uint64 fill_window(int64 position, Krn_status& status) const;
  uint64 read_through_window(int64& position, uint64 count, void* data, Krn_status& status) const;

  std::unique_ptr<unsigned char[]> m_window;
  mutable int64 m_window_start = 0;
  mutable uint64 m_window_valid = 0;
};

class KRN_API Krn_unbuffered_istream : public Krn_istream {
 public:
  Krn_unbuffered_istream();
  Krn_unbuffered_istream(const Krn_buffer& buffer, bool wait, Krn_status& status, Krn_eol eol = KRN_EOL_NONE);
  ~Krn_unbuffered_istream() override;

  // As read_at, but never waits for a writer.
  virtual uint64 read_at_no_blocking(int64 position, uint64 count, void* data, Krn_status& status) const;
};

// The buffer's single writer while attached.
class KRN_API Krn_ostream {
 public:
  Krn_ostream();
  // KRN_E_OUTPUT_STREAM when the buffer has a writer already or takes none.
  Krn_ostream(Krn_buffer& buffer, Krn_status& status, Krn_eol eol = KRN_EOL_NONE);
  Krn_ostream(const Krn_ostream&) = delete;
  Krn_ostream& operator=(const Krn_ostream&) = delete;

  // The virtual operations keep this order.
  virtual ~Krn_ostream();
  virtual Krn_buffer* buffer() const;
  virtual void write(uint64 count, const void* data, Krn_status& status);
  // Leaves the stream's position alone.
  virtual void write_at(int64 position, uint64 count, const void* data, Krn_status& status) const;

  void init(Krn_buffer& buffer, Krn_status& status, Krn_eol eol = KRN_EOL_NONE);
  // Lets readers waiting at the end go on.
  void detach();

  void write_le(std::int16_t value, Krn_status& status);
  void write_le(std::uint16_t value, Krn_status& status);
  void write_le(std::int32_t value, Krn_status& status);
  void write_le(std::uint32_t value, Krn_status& status);
  void write_le(std::int64_t value, Krn_status& status);
  void write_le(std::uint64_t value, Krn_status& status);
  void write_be(std::int16_t value, Krn_status& status);
  void write_be(std::uint16_t value, Krn_status& status);
  void write_be(std::int32_t value, Krn_status& status);
  void write_be(std::uint32_t value, Krn_status& status);
  void write_be(std::int64_t value, Krn_status& status);
  void write_be(std::uint64_t value, Krn_status& status);

  // The text, then the line end of the stream's mode (none in mode
  // KRN_EOL_NONE).
  void writeln(const std::string& line, Krn_status& status);
  void wwriteln(const Wstring& line, Krn_status& status);
  void wwriteln_le(const Wstring& line, Krn_status& status);
  void wwriteln_be(const Wstring& line, Krn_status& status);
  void xwriteln(const Wstring& line, Krn_status& status);
  void xwriteln_le(const Wstring& line, Krn_status& status);
  void xwriteln_be(const Wstring& line, Krn_status& status);

  void seek(Krn_seek_mode mode, int64 offset, Krn_status& status);
  int64 tell() const { return m_position; }
  // The buffer's end.
  int64 size(Krn_status& status) const;
  // Shortens the buffer, or extends it with zero bytes.
  void set_size(int64 size, Krn_status& status);
  Krn_eol get_eol() const { return m_eol; }

 private:
  template <typename Unit>
  void write_line(const Unit* text, uint64 length, bool swap, Krn_status& status);
  template <typename T>
  void write_integer(T value, bool big_endian, Krn_status& status);

  Krn_buffer* m_buffer = nullptr;
  int64 m_position = 0;
  Krn_eol m_eol = KRN_EOL_NONE;
};

// The reading operations of the input streams over a block of memory the
// caller keeps. Its lines may end with CR, LF or CR LF.
class KRN_API Krn_ibyte_stream {
 public:
  Krn_ibyte_stream();
  Krn_ibyte_stream(const unsigned char* data, unsigned length, Krn_status& status);
  Krn_ibyte_stream(const Krn_ibyte_stream&) = delete;
  Krn_ibyte_stream& operator=(const Krn_ibyte_stream&) = delete;

  // The virtual operations keep this order.
  virtual ~Krn_ibyte_stream();
  virtual void init(const unsigned char* data, unsigned length, Krn_status& status);
  // Forgets the data, its length and the position.
  virtual void detach();
  virtual uint64 read(uint64 count, void* data, Krn_status& status);
  virtual uint64 read_at(int64 position, uint64 count, void* data, Krn_status& status) const;
  virtual uint64 size() const;

  void read_le(std::int16_t& value, Krn_status& status);
  void read_le(std::uint16_t& value, Krn_status& status);
  void read_le(std::int32_t& value, Krn_status& status);
  void read_le(std::uint32_t& value, Krn_status& status);
  void read_le(std::int64_t& value, Krn_status& status);
  void read_le(std::uint64_t& value, Krn_status& status);
  void read_be(std::int16_t& value, Krn_status& status);
  void read_be(std::uint16_t& value, Krn_status& status);
  void read_be(std::int32_t& value, Krn_status& status);
  void read_be(std::uint32_t& value, Krn_status& status);
  void read_be(std::int64_t& value, Krn_status& status);
  void read_be(std::uint64_t& value, Krn_status& status);

  Krn_eol readln(uint64 max_length, std::string& line, Krn_status& status);
  Krn_eol wreadln(uint64 max_length, Wstring& line, Krn_status& status);
  Krn_eol wreadln_be(uint64 max_length, Wstring& line, Krn_status& status);
  Krn_eol readln_at(int64 position, uint64 max_length, std::string& line, Krn_status& status);
  Krn_eol wreadln_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status);
  Krn_eol wreadln_be_at(int64 position, uint64 max_length, Wstring& line, Krn_status& status);

  // KRN_E_SEEK_RANGE, and the position kept, for a target outside the
  // addressable range.
  void seek(Krn_seek_mode mode, int64 offset, Krn_status& status);
  // Unchecked.
  void seek(int64 position) { m_position = position; }
  int64 tell() const { return m_position; }
  bool size_greater_than(int64 n) const { return n < static_cast<int64>(m_length); }

 private:
  template <typename Unit>
  Krn_eol read_line(int64 position, bool advance, bool swap, uint64 max_length, std::basic_string<Unit>& line,
                    Krn_status& status);

  const unsigned char* m_data = nullptr;
  unsigned m_length = 0;
  int64 m_position = 0;
  std::vector<unsigned char> m_line_scratch;
};

// Copies the rest of the input (at most limit bytes) to the output; the end
// of the input is not an error. Returns the bytes copied.
KRN_API uint64 krn_copy_stream(Krn_istream& in, Krn_ostream& out, Krn_status& status);
KRN_API uint64 krn_copy_stream(Krn_istream& in, Krn_ostream& out, uint64 limit, Krn_status& status);
// The lines from the position to the end; a last line without a line end
// counts.
KRN_API uint64 krn_count_lines(Krn_istream& in, Krn_status& status);
// Moves past up to count lines; returns the lines skipped.
KRN_API unsigned krn_skip_lines(Krn_istream& in, unsigned count, Krn_status& status);
// The rest of the input (at most limit bytes) as text; the 16-bit form takes
// units in host order and drops an odd last byte.
KRN_API void krn_stream_to_string(Krn_istream& in, std::string& text, Krn_status& status);
KRN_API void krn_stream_to_string(Krn_istream& in, std::string& text, uint64 limit, Krn_status& status);
KRN_API void krn_stream_to_string(Krn_istream& in, Wstring& text, Krn_status& status);
KRN_API void krn_stream_to_string(Krn_istream& in, Wstring& text, uint64 limit, Krn_status& status);
// Copies the rest of the input with the two bytes of every 16-bit unit
// exchanged (UTF-16 of one byte order to the other); an odd last byte is
// copied as it is.
KRN_API void krn_swap_stream(Krn_istream& in, Krn_ostream& out, Krn_status& status);

}  // namespace krn

#endif
