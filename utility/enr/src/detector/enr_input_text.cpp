#include "enr/enr_input_text.h"

#include <cstring>
#include <exception>

#include "enr/enr_detector_status.h"
#include "krn/krn_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"

namespace enr {

Enr_input_text::Enr_input_text(const krn::Krn_buffer& buffer, krn::Krn_status& status)
    : m_data(new unsigned char[CAPACITY]) {
  status.clear();
  try {
    krn::Krn_buffered_istream in(buffer, false, status);
    if (status.ok()) {
      const krn::uint64 got = in.read(CAPACITY, m_data.get(), status);
      m_length = static_cast<std::uint32_t>(got);
    }
    if (status == krn::KRN_E_END_OF_DATA) status.clear();
  } catch (const std::exception& e) {
    m_length = 0;
    status.assign(ENR_E_INPUT_TEXT, krn::Krn_wstring_status_arg(std::string(e.what())));
  } catch (...) {
    m_length = 0;
    status.assign(ENR_E_INPUT_TEXT, krn::Krn_wstring_status_arg(std::string("unknown exception")));
  }
}

Enr_input_text::Enr_input_text(const void* data, std::uint32_t length)
    : m_data(new unsigned char[CAPACITY]), m_length(length < CAPACITY ? length : CAPACITY) {
  if (m_length > 0) std::memcpy(m_data.get(), data, m_length);
}

bool Enr_input_text::has_bom(bool& little_endian) const {
  const unsigned char* d = m_data.get();
  if (m_length >= 3 && d[0] == 0xEF && d[1] == 0xBB && d[2] == 0xBF) {
    little_endian = true;
    return true;
  }
  if (m_length >= 2 && d[0] == 0xFE && d[1] == 0xFF) {
    little_endian = false;
    return true;
  }
  if (m_length >= 2 && d[0] == 0xFF && d[1] == 0xFE) {
    little_endian = true;
    return true;
  }
  if (m_length >= 4 && d[0] == 0 && d[1] == 0 && d[2] == 0xFE && d[3] == 0xFF) {
    little_endian = false;
    return true;
  }
  return false;
}

}  // namespace enr
