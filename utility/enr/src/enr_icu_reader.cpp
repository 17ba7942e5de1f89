#include <memory>

#include "enr/enr_convert.h"
#include "enr/enr_reader.h"
#include "enr/enr_status_codes.h"
#include "enr_reader_units.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_status.h"

namespace enr {

using krn::int64;
using krn::Krn_status;

namespace {

// Text that is mostly noise is not text in the encoding at all.
constexpr std::int16_t ICU_READER_NOISE = 90;

void not_attached(Krn_status& status) {
  status.assign(ENR_E_READER_NOT_ATTACHED, krn::Krn_wstring_status_arg(u"ICU"));
}

// Attaching again to the buffer the reader owns (to change the strict mode,
// say) must not free it in the detach that every attachment starts with; it
// is taken out of the reader's hands until the new attachment is made.
std::unique_ptr<const krn::Krn_buffer> take_if_same(const krn::Krn_buffer*& owned, bool& owns,
                                                    const krn::Krn_buffer& buffer) {
  if (!owns || owned != &buffer) return nullptr;
  owns = false;
  return std::unique_ptr<const krn::Krn_buffer>(owned);
}

}  // namespace

Enr_icu_reader::Enr_icu_reader(Enr_encoding encoding) : m_encoding(encoding) {}

Enr_icu_reader::~Enr_icu_reader() { Enr_icu_reader::detach(); }

void Enr_icu_reader::attach(const krn::Krn_buffer& buffer, Krn_status& status, bool strict) {
  const auto previous = take_if_same(m_buffer, m_owns_data, buffer);
  detach();
  m_strict = strict;
  auto converted = std::make_unique<krn::Krn_heap_buffer>();
  {
    krn::Krn_unbuffered_istream in(buffer, false, status);
    if (status.is_error()) return;
    krn::Krn_ostream out(*converted, status);
    if (status.is_error()) return;
    if (!enr_encoding_to_utf16(m_encoding, in, out, ICU_READER_NOISE, status)) return;
  }
  m_stream.init(*converted, false, status, krn::KRN_EOL_CRLF);
  if (status.is_error()) return;
  m_buffer = converted.release();
  m_owns_data = true;
  m_attached = true;
}

void Enr_icu_reader::attach_utf16(const krn::Krn_buffer& buffer, Krn_status& status, bool strict, bool owns_data) {
  // Freed on failure: the reader owned it and nobody else does.
  auto previous = take_if_same(m_buffer, m_owns_data, buffer);
  detach();
  m_strict = strict;
  m_stream.init(buffer, false, status, krn::KRN_EOL_CRLF);
  if (status.is_error()) return;
  static_cast<void>(previous.release());
  m_buffer = &buffer;
  m_owns_data = owns_data;
  m_attached = true;
}

void Enr_icu_reader::detach() {
  m_stream.detach();
  if (m_owns_data) delete m_buffer;
  m_buffer = nullptr;
  m_owns_data = true;
  m_strict = false;
  m_attached = false;
}

int64 Enr_icu_reader::tell() { return m_attached ? m_stream.tell() : 0; }

int64 Enr_icu_reader::size(Krn_status& status) {
  status.clear();
  if (!m_attached) {
    not_attached(status);
    return 0;
  }
  return m_stream.size(status);
}

void Enr_icu_reader::seek(int64 position, Krn_status& status) {
  status.clear();
  if (!m_attached) {
    not_attached(status);
    return;
  }
  m_stream.seek(krn::KRN_SEEK_START, position, status);
}

std::uint32_t Enr_icu_reader::read() {
  if (!m_attached) return END_OF_DATA;
  const detail::Decoded decoded = detail::decode_utf16(m_stream, false);
  return decoded.invalid ? detail::invalid_at(m_stream.tell(), m_strict) : decoded.value;
}

std::uint32_t Enr_icu_reader::peek() {
  if (!m_attached) return END_OF_DATA;
  return detail::peek_with(m_stream, [this] { return read(); });
}

}  // namespace enr
