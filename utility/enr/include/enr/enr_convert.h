#ifndef ENR_CONVERT_H
#define ENR_CONVERT_H

// Conversion between an encoding and UTF-16 through ICU.
//
// Bytes that do not convert (unassigned, illegal or irregular sequences) are
// substituted and counted as "noise". The forms that take a noise argument N
// (percent) fail with ENR_E_NOISE_LIMIT once the noise exceeds N percent of
// the input's size (rounded up), and write nothing after that point; they
// also inspect the UTF-16 they produce: U+0091 and U+0092 become U+2018 and
// U+2019 (the curly quotes of Windows text read as Latin-1), and every other
// ISO control except TAB to CR counts as noise, U+0000 too unless allowed.
// The forms without a noise argument tolerate any noise and leave the output
// as ICU produced it.
//
// UTF-16 is written and read in the host's byte order (little-endian).
// Streams are read from their position to their end.

#include <cstddef>
#include <cstdint>
#include <string>

#include "enr/enr_encoding.h"
#include "enr/enr_export.h"
#include "krn/krn_types.h"

namespace krn {
class Krn_istream;
class Krn_ostream;
class Krn_status;
}  // namespace krn

namespace enr {

ENR_API bool enr_encoding_to_utf16(Enr_encoding encoding, krn::Krn_istream& in, krn::Krn_ostream& out,
                                   krn::Krn_status& status);
ENR_API bool enr_encoding_to_utf16(Enr_encoding encoding, krn::Krn_istream& in, krn::Krn_ostream& out,
                                   std::int16_t noise, krn::Krn_status& status);
ENR_API bool enr_encoding_to_utf16(Enr_encoding encoding, krn::Krn_istream& in, krn::Krn_ostream& out,
                                   std::int16_t noise, bool allow_nul, krn::Krn_status& status);
// With raw_output the output is not inspected and the limit is checked once
// the whole input is consumed, against the bytes consumed: for inputs whose
// size is not known in advance. The output written by then stays written.
ENR_API bool enr_encoding_to_utf16(Enr_encoding encoding, krn::Krn_istream& in, krn::Krn_ostream& out,
                                   std::int16_t noise, bool raw_output, bool allow_nul, krn::Krn_status& status);
// The output string is replaced.
ENR_API bool enr_encoding_to_utf16(Enr_encoding encoding, const std::string& in, krn::Wstring& out,
                                   krn::Krn_status& status);
ENR_API bool enr_encoding_to_utf16(Enr_encoding encoding, const std::string& in, krn::Wstring& out,
                                   std::int16_t noise, krn::Krn_status& status);

// Characters the encoding cannot represent become "?" (or the encoding's own
// substitute) and the conversion goes on. An odd last byte of a UTF-16
// stream is dropped as a broken unit.
ENR_API bool enr_utf16_to_encoding(Enr_encoding encoding, krn::Krn_istream& in, krn::Krn_ostream& out,
                                   krn::Krn_status& status);
// The output string is replaced.
ENR_API bool enr_utf16_to_encoding(Enr_encoding encoding, const krn::Wstring& in, std::string& out,
                                   krn::Krn_status& status);

// True when the input converts within the noise tolerance; the UTF-16 is
// discarded.
ENR_API bool enr_encoding_is_valid(Enr_encoding encoding, krn::Krn_istream& in, std::int16_t noise,
                                   krn::Krn_status& status);
ENR_API bool enr_encoding_is_valid(Enr_encoding encoding, const std::string& in, std::int16_t noise,
                                   krn::Krn_status& status);

// 0 when every character of the text converts to the encoding, 100
// otherwise (and when the conversion fails, with the status saying why).
ENR_API std::uint16_t enr_utf16_is_in_encoding(Enr_encoding encoding, const krn::Wstring& text,
                                               krn::Krn_status& status);
ENR_API std::uint16_t enr_utf16_is_in_encoding(Enr_encoding encoding, krn::Krn_istream& text,
                                               krn::Krn_status& status);
// True when not one character of the text converts to the encoding (an empty
// text included).
ENR_API bool enr_utf16_is_not_in_encoding(Enr_encoding encoding, const krn::Wstring& text, krn::Krn_status& status);

// Text in one encoding to UTF-8, piece by piece, for reading a file of any
// size in order. By default it refuses what the encoding cannot read; a
// substituting decoder writes U+FFFD for each such sequence instead and goes
// on, for readers that must take any text as it comes.
class ENR_API Enr_utf8_decoder {
 public:
  // ENR_E_UNKNOWN_ENCODING when no converter reads the encoding.
  Enr_utf8_decoder(Enr_encoding encoding, krn::Krn_status& status);
  Enr_utf8_decoder(Enr_encoding encoding, bool substitute, krn::Krn_status& status);
  ~Enr_utf8_decoder();
  Enr_utf8_decoder(const Enr_utf8_decoder&) = delete;
  Enr_utf8_decoder& operator=(const Enr_utf8_decoder&) = delete;

  // Appends the UTF-8 of the next size bytes of the input to out; last says
  // that they end it. False at the first sequence the encoding cannot read
  // (an illegal or unassigned one, or one cut off by the end), with the text
  // before it appended; the decoder is then spent.
  // A substituting decoder never fails once made.
  bool decode(const char* bytes, std::size_t size, bool last, std::string& out);
  // How many sequences a substituting decoder has replaced so far.
  std::uint64_t substituted() const { return m_substituted; }

 private:
  void* m_converter = nullptr;
  char16_t m_lead = 0;  // a lead surrogate whose trail comes with the next bytes
  bool m_failed = false;
  std::uint64_t m_substituted = 0;
};

}  // namespace enr

#endif
