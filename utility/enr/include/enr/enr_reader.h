#ifndef ENR_READER_H
#define ENR_READER_H

// Character readers: attached to a buffer of text in one encoding, each read
// hands out one code point. Positions (tell, seek, size) are byte offsets in
// the buffer the reader reads; for Enr_icu_reader that is its UTF-16 copy.
//
// A malformed character reads as U+FFFD, or, in strict mode, throws
// Enr_invalid_char with the position after the bytes it consumed. Bytes that
// could start the next character are never swallowed by a malformed one.
// The end of the data reads as END_OF_DATA.

#include <cstdint>

#include "enr/enr_encoding.h"
#include "enr/enr_export.h"
#include "krn/krn_stream.h"
#include "krn/krn_types.h"

namespace krn {
class Krn_buffer;
class Krn_status;
}  // namespace krn

namespace enr {

class ENR_API Enr_reader_base {
 public:
  static constexpr std::uint32_t END_OF_DATA = 0xFFFFFFFF;
  static constexpr std::uint32_t REPLACEMENT_CHARACTER = 0xFFFD;

  // Thrown in strict mode. Deliberately not a std::exception: callers that
  // catch those must not mistake bad text for a failure of the program.
  class ENR_API Enr_invalid_char {
   public:
    explicit Enr_invalid_char(krn::int64 position) : m_position(position) {}
    virtual ~Enr_invalid_char();

    krn::int64 position() const { return m_position; }

   private:
    krn::int64 m_position;
  };

  Enr_reader_base() = default;
  Enr_reader_base(const Enr_reader_base&) = delete;
  Enr_reader_base& operator=(const Enr_reader_base&) = delete;

  // The virtual operations keep this order: readers derived in other
  // libraries depend on it.
  virtual ~Enr_reader_base();
  // Detaches first. The buffer must outlive the attachment.
  virtual void attach(const krn::Krn_buffer& buffer, krn::Krn_status& status, bool strict = false) = 0;
  virtual void detach() = 0;
  // 0 when not attached.
  virtual krn::int64 tell() = 0;
  // Unattached: 0 and ENR_E_READER_NOT_ATTACHED.
  virtual krn::int64 size(krn::Krn_status& status) = 0;
  // From the start. Unattached: ENR_E_READER_NOT_ATTACHED.
  virtual void seek(krn::int64 position, krn::Krn_status& status) = 0;
  // A code point, U+FFFD or END_OF_DATA (also when not attached).
  virtual std::uint32_t read() = 0;
  // As read, but the position stays; in strict mode Enr_invalid_char carries
  // the position where the malformed character starts.
  virtual std::uint32_t peek() = 0;
};

// A reader that decodes the attached buffer itself.
class ENR_API Enr_alg_reader_base : public Enr_reader_base {
 public:
  Enr_alg_reader_base();
  ~Enr_alg_reader_base() override;

  void attach(const krn::Krn_buffer& buffer, krn::Krn_status& status, bool strict = false) override;
  void detach() override;
  krn::int64 tell() override;
  krn::int64 size(krn::Krn_status& status) override;
  void seek(krn::int64 position, krn::Krn_status& status) override;
  std::uint32_t peek() override;

 protected:
  // The encoding's name, for status arguments.
  virtual const char* encoding_name() const = 0;

  // U+FFFD, or in strict mode Enr_invalid_char at the current position.
  std::uint32_t invalid() const;
  // False at the end of the data.
  bool next_byte(unsigned char& byte);

  krn::Krn_buffered_istream m_stream;
  bool m_strict = false;
  bool m_attached = false;
};

class ENR_API Enr_utf16_reader : public Enr_alg_reader_base {
 public:
  Enr_utf16_reader();
  explicit Enr_utf16_reader(bool big_endian);
  ~Enr_utf16_reader() override;

  // A byte-order mark is not interpreted: U+FEFF reads like any character.
  std::uint32_t read() override;

 protected:
  const char* encoding_name() const override;

 private:
  bool m_big_endian;
};

// Overlong forms, surrogates and values above U+10FFFF (up to 31 bits with
// the old five- and six-byte forms) are returned as they decode.
class ENR_API Enr_utf8_reader : public Enr_alg_reader_base {
 public:
  Enr_utf8_reader();
  ~Enr_utf8_reader() override;

  std::uint32_t read() override;

 protected:
  const char* encoding_name() const override;
};

// Little-endian. Values are returned unchecked up to 31 bits; larger ones
// (which END_OF_DATA would otherwise hide among) and a truncated last value
// are malformed.
class ENR_API Enr_utf32_reader : public Enr_alg_reader_base {
 public:
  Enr_utf32_reader();
  ~Enr_utf32_reader() override;

  std::uint32_t read() override;

 protected:
  const char* encoding_name() const override;
};

// Each byte is its code point unless it has a bit of the invalid-bits mask.
class ENR_API Enr_latin1_reader : public Enr_alg_reader_base {
 public:
  Enr_latin1_reader();
  ~Enr_latin1_reader() override;

  std::uint32_t read() override;

 protected:
  explicit Enr_latin1_reader(std::uint32_t invalid_bits);
  const char* encoding_name() const override;

 private:
  std::uint32_t m_invalid_bits;
};

// Every byte from 0x80 up is malformed.
class ENR_API Enr_ascii_reader : public Enr_latin1_reader {
 public:
  Enr_ascii_reader();
  ~Enr_ascii_reader() override;

 protected:
  const char* encoding_name() const override;
};

// Any encoding ICU converts: the whole buffer is converted to UTF-16 when it
// is attached (bytes that do not convert read as U+FFFD; more than 90 percent
// of them fail the attachment) and the copy is read.
class ENR_API Enr_icu_reader : public Enr_reader_base {
 public:
  explicit Enr_icu_reader(Enr_encoding encoding);
  ~Enr_icu_reader() override;

  void attach(const krn::Krn_buffer& buffer, krn::Krn_status& status, bool strict = false) override;
  void detach() override;
  krn::int64 tell() override;
  krn::int64 size(krn::Krn_status& status) override;
  void seek(krn::int64 position, krn::Krn_status& status) override;
  std::uint32_t read() override;
  std::uint32_t peek() override;
  // Reads a buffer that holds UTF-16 (little-endian) already. With owns_data
  // the reader deletes it on detach; a failed attachment never takes it.
  virtual void attach_utf16(const krn::Krn_buffer& buffer, krn::Krn_status& status, bool strict, bool owns_data);

  // The buffer being read: the converted copy, or the one given to
  // attach_utf16. Null when not attached.
  const krn::Krn_buffer* get_buffer() const { return m_buffer; }
  // Set false to keep the buffer beyond detach; the caller then deletes it.
  void owns_data(bool owns) { m_owns_data = owns; }
  Enr_encoding encoding() const { return m_encoding; }

 private:
  const krn::Krn_buffer* m_buffer = nullptr;
  krn::Krn_buffered_istream m_stream;
  bool m_strict = false;
  Enr_encoding m_encoding;
  bool m_owns_data = true;
  bool m_attached = false;
};

class ENR_API Enr_reader_factory {
 public:
  // A new reader, owned by the caller, for the encoding of the name ("UNICODE"
  // meaning little-endian UTF-16); null for an unknown name.
  static Enr_reader_base* create_reader(const krn::Wstring& name);
  static Enr_reader_base* create_reader(const Enr_encoding& encoding);
};

}  // namespace enr

#endif
