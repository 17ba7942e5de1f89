// The stream and buffer forms of the checksums. They live apart from the
// memory forms so that the tables and loops stay free of buffer machinery.

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "krn/krn_buffer.h"
#include "krn/krn_crc.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"

namespace krn {

namespace {

constexpr std::size_t BLOCK_SIZE = 65536;

// Runs the whole content of the stream, from its start, through the check.
template <typename Crc>
void update_from_stream(Crc& crc, Krn_istream& stream, Krn_status& status) {
  status.clear();
  // On the heap: a 64 KiB array would be a large bite of a worker thread's stack.
  const auto block = std::make_unique<unsigned char[]>(BLOCK_SIZE);
  stream.seek(KRN_SEEK_START, 0, status);
  while (status.ok()) {
    const uint64 got = stream.read(BLOCK_SIZE, block.get(), status);
    if (got == 0) break;
    // Bytes delivered count even when the same read also reports a failure;
    // a stream claiming more than it was asked for is not trusted past the block.
    crc.update(block.get(), static_cast<std::size_t>(std::min<uint64>(got, BLOCK_SIZE)));
  }
  if (status == KRN_E_END_OF_DATA) status.clear();
}

template <typename Crc>
void update_from_buffer(Crc& crc, const Krn_buffer& buffer, Krn_status& status) {
  status.clear();
  Krn_unbuffered_istream stream(buffer, true, status, KRN_EOL_CRLF);
  if (!status.ok()) return;
  update_from_stream(crc, stream, status);
}

}  // namespace

void Krn_crc32::update(Krn_istream& stream, Krn_status& status) { update_from_stream(*this, stream, status); }

void Krn_crc32::update(Krn_istream* stream, Krn_status& status) {
  if (stream == nullptr) throw std::invalid_argument("Krn_crc32::update() - null stream");
  update_from_stream(*this, *stream, status);
}

void Krn_crc32::update(const Krn_buffer& buffer, Krn_status& status) { update_from_buffer(*this, buffer, status); }

void Krn_crc64::update(Krn_istream& stream, Krn_status& status) { update_from_stream(*this, stream, status); }

void Krn_crc64::update(Krn_istream* stream, Krn_status& status) {
  if (stream == nullptr) throw std::invalid_argument("Krn_crc64::update() - null stream");
  update_from_stream(*this, *stream, status);
}

void Krn_crc64::update(const Krn_buffer& buffer, Krn_status& status) { update_from_buffer(*this, buffer, status); }

}  // namespace krn
