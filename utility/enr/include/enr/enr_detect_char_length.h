#ifndef ENR_DETECT_CHAR_LENGTH_H
#define ENR_DETECT_CHAR_LENGTH_H

// Character length processors: for a byte range in one encoding, how many
// bytes the character at a position takes, so that text can be cut between
// characters. One processor per supported encoding, made by the factory.

#include <cstddef>
#include <cstdint>
#include <ios>
#include <memory>
#include <utility>
#include <vector>

#include "enr/enr_encoding.h"
#include "enr/enr_export.h"

namespace enr {

class ENR_API Enr_charcter_length_processor {
 public:
  Enr_charcter_length_processor() = default;
  Enr_charcter_length_processor(const Enr_charcter_length_processor&) = delete;
  Enr_charcter_length_processor& operator=(const Enr_charcter_length_processor&) = delete;
  virtual ~Enr_charcter_length_processor();

  // The length in bytes of the character that starts at begin + position;
  // 0 when that byte cannot start one, or the character does not fit before
  // end. A negative position throws std::overflow_error.
  virtual std::size_t char_length(const unsigned char* begin, const unsigned char* end,
                                  std::streamoff position) const = 0;
  virtual Enr_encoding encoding() const = 0;

 protected:
  // The byte at the position, or null past the end.
  static const unsigned char* at(const unsigned char* begin, const unsigned char* end, std::streamoff position);
};

// A single-byte code page: 1 for a byte the code page assigns, else 0.
class ENR_API Enr_single_length_base : public Enr_charcter_length_processor {
 public:
  std::size_t char_length(const unsigned char* begin, const unsigned char* end,
                          std::streamoff position) const override;
  Enr_encoding encoding() const override { return m_encoding; }
  // Inclusive ranges of assigned bytes.
  const std::vector<std::pair<unsigned char, unsigned char>>& ranges() const { return m_ranges; }

 protected:
  // Learns the assigned bytes from the code page's converter.
  explicit Enr_single_length_base(const char* name);

 private:
  Enr_encoding m_encoding;
  std::vector<std::pair<unsigned char, unsigned char>> m_ranges;
};

#define ENR_SINGLE_LENGTH_PROCESSOR(CLASS, NAME) \
  class ENR_API CLASS : public Enr_single_length_base { \
   public: \
    CLASS() : Enr_single_length_base(NAME) {} \
  };

ENR_SINGLE_LENGTH_PROCESSOR(Enr_windows_874_length_processor, "windows-874")
ENR_SINGLE_LENGTH_PROCESSOR(Enr_windows_1250_length_processor, "windows-1250")
ENR_SINGLE_LENGTH_PROCESSOR(Enr_windows_1251_length_processor, "windows-1251")
ENR_SINGLE_LENGTH_PROCESSOR(Enr_windows_1252_length_processor, "windows-1252")
ENR_SINGLE_LENGTH_PROCESSOR(Enr_windows_1253_length_processor, "windows-1253")
ENR_SINGLE_LENGTH_PROCESSOR(Enr_windows_1254_length_processor, "windows-1254")
ENR_SINGLE_LENGTH_PROCESSOR(Enr_windows_1255_length_processor, "windows-1255")
ENR_SINGLE_LENGTH_PROCESSOR(Enr_windows_1256_length_processor, "windows-1256")
ENR_SINGLE_LENGTH_PROCESSOR(Enr_windows_1257_length_processor, "windows-1257")
ENR_SINGLE_LENGTH_PROCESSOR(Enr_windows_1258_length_processor, "windows-1258")
ENR_SINGLE_LENGTH_PROCESSOR(Enr_windows_10000_length_processor, "windows-10000")
ENR_SINGLE_LENGTH_PROCESSOR(Windows_10003_length_processor, "windows-10003")

#undef ENR_SINGLE_LENGTH_PROCESSOR

// Double-byte code pages: lead bytes announce a second byte.
class ENR_API Enr_double_length_base : public Enr_charcter_length_processor {
 public:
  std::size_t char_length(const unsigned char* begin, const unsigned char* end,
                          std::streamoff position) const override;
  Enr_encoding encoding() const override { return m_encoding; }

 protected:
  Enr_double_length_base(const char* name, bool (*is_lead)(unsigned char), bool (*is_trail)(unsigned char),
                         bool (*is_single)(unsigned char));

 private:
  Enr_encoding m_encoding;
  bool (*m_is_lead)(unsigned char);
  bool (*m_is_trail)(unsigned char);
  bool (*m_is_single)(unsigned char);
};

class ENR_API Enr_cp1363_length_processor : public Enr_double_length_base {
 public:
  Enr_cp1363_length_processor();
};

class ENR_API Enr_BIG5_length_processor : public Enr_double_length_base {
 public:
  Enr_BIG5_length_processor();
};

class ENR_API Enr_GB2312_length_processor : public Enr_double_length_base {
 public:
  Enr_GB2312_length_processor();
};

class ENR_API Enr_Shift_jis_length_processor : public Enr_double_length_base {
 public:
  Enr_Shift_jis_length_processor();
};

// By the count of leading one bits: none 1, one 0 (a continuation byte),
// two to six that many bytes.
class ENR_API Enr_UTF8_length_processor : public Enr_charcter_length_processor {
 public:
  std::size_t char_length(const unsigned char* begin, const unsigned char* end,
                          std::streamoff position) const override;
  Enr_encoding encoding() const override { return ENR_UTF_8; }
};

// Little-endian units: 2, or 4 for a high surrogate followed by a low one.
class ENR_API Enr_UTF16_length_processor : public Enr_charcter_length_processor {
 public:
  std::size_t char_length(const unsigned char* begin, const unsigned char* end,
                          std::streamoff position) const override;
  Enr_encoding encoding() const override;
};

class ENR_API Enr_char_length_processor_factory {
 public:
  using Creator = std::unique_ptr<Enr_charcter_length_processor> (*)();

  // Fills the table once; get_processor calls it as needed.
  static void initialise();
  // A new processor for the encoding, or null when there is none.
  static std::unique_ptr<Enr_charcter_length_processor> get_processor(Enr_encoding encoding);

 private:
  static void load();
};

}  // namespace enr

#endif
