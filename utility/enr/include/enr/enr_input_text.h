#ifndef ENR_INPUT_TEXT_H
#define ENR_INPUT_TEXT_H

// The bytes the feature generators see: the start of a buffer, at most one
// mebibyte of it, which is enough to tell an encoding and keeps detection of
// large buffers cheap.

#include <cstdint>
#include <memory>

#include "enr/enr_export.h"

namespace krn {
class Krn_buffer;
class Krn_status;
}  // namespace krn

namespace enr {

class ENR_API Enr_input_text {
 public:
  static constexpr std::uint32_t CAPACITY = 0x100000;

  // Reads the start of the buffer; a failure leaves ENR_E_INPUT_TEXT with the
  // reason and an empty text. The end of the data is no failure.
  Enr_input_text(const krn::Krn_buffer& buffer, krn::Krn_status& status);
  // Over bytes the caller holds (copied, cut at CAPACITY).
  Enr_input_text(const void* data, std::uint32_t length);
  Enr_input_text(const Enr_input_text&) = delete;
  Enr_input_text& operator=(const Enr_input_text&) = delete;

  const unsigned char* data() const { return m_data.get(); }
  std::uint32_t length() const { return m_length; }

  // True for a byte-order mark at the start: EF BB BF and FF FE (also the
  // start of FF FE 00 00) set little_endian, FE FF and 00 00 FE FF clear it.
  bool has_bom(bool& little_endian) const;

 private:
  std::unique_ptr<unsigned char[]> m_data;
  std::uint32_t m_length = 0;
};

}  // namespace enr

#endif
