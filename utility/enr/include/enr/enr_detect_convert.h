#ifndef ENR_DETECT_CONVERT_H
#define ENR_DETECT_CONVERT_H

// Conversion of text whose encoding is detected or named by the caller, and
// the noise it tolerates in each case.

#include <cstdint>

#include "enr/enr_encoding.h"
#include "enr/enr_export.h"
#include "krn/krn_types.h"

namespace krn {
class Krn_buffer;
class Krn_status;
}  // namespace krn

namespace enr {

// The noise tolerances of a caller, in percent. Each object may set its own;
// -1 defers: the detected-text tolerance to half the process-wide one
// (rounded down, but at least 1 unless it is 0), the named-text tolerance to
// half the detected-text one in the same way. The process-wide named-text
// setting is kept for callers to read; no object derives from it.
class ENR_API Enr_detect_convert {
 public:
  static constexpr std::int16_t USE_GLOBAL = -1;

  Enr_detect_convert() = default;

  // The tolerance for text whose encoding was detected.
  std::int16_t get_noise() const;
  // The tolerance for text whose encoding the caller named.
  std::int16_t get_specified_noise() const;
  // Values below -1 are ignored.
  void set_noise(std::int16_t noise);
  void set_specified_noise(std::int16_t noise);

  static std::int16_t get_global_noise();
  static std::int16_t get_specified_global_noise();
  // Negative values are ignored.
  static void set_global_noise(std::int16_t noise);
  static void set_specified_global_noise(std::int16_t noise);

  // Detection (built with the encoding detector). Flags: bit 0 UTF-16, bit 1
  // little-endian (meaningful with bit 0), bit 2 a byte-order mark.
  Enr_encoding detect_character_encoding(const krn::Krn_buffer* buffer, unsigned char& flags,
                                         krn::Krn_status& status);
  // The buffer's text as UTF-16 in a new buffer the caller owns, with name
  // set to the encoding found; null for UTF-16 text, which the caller reads
  // as it is, and for text that could not be converted (name empty).
  krn::Krn_buffer* detect_and_convert_text(const krn::Krn_buffer* buffer, krn::Wstring& name, unsigned char& flags,
                                           krn::Krn_status& status);
  // As detect_and_convert_text, trying the encoding that name holds first.
  krn::Krn_buffer* detect_and_convert_text_with_hint(const krn::Krn_buffer* buffer, krn::Wstring& name,
                                                     unsigned char& flags, krn::Krn_status& status);
  // Replaces a known name by its encoding's display name ("UNICODE" for
  // UTF-16); an unknown or empty name stays and gives ENR_UNKNOWN_ENCODING.
  Enr_encoding normalise_encoding_name(krn::Wstring& name);

 private:
  std::int16_t m_noise = USE_GLOBAL;
  std::int16_t m_specified_noise = USE_GLOBAL;
};

}  // namespace enr

#endif
