#include <algorithm>
#include <stdexcept>
#include <vector>

#include "krn/krn_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "utk/utk_patcher.h"

namespace utk {

namespace {

// Copies exactly count input bytes; the input ending early means the buffer
// changed under us, which must not pass as a complete copy.
void copy_exactly(krn::Krn_istream& input, krn::Krn_ostream& output, uint64 count, krn::Krn_status& status) {
  if (count == 0) return;
  const uint64 copied = krn::krn_copy_stream(input, output, count, status);
  if (!status.is_error() && copied < count) status = krn::KRN_E_END_OF_DATA;
}

}  // namespace

void Utk_buffer_patcher::compose_only(const krn::Krn_buffer& in, krn::Krn_buffer& out, krn::Krn_status& status) const {
  if (m_pending)
    throw std::invalid_argument("compose_only() called when a current transaction is in progress");
  status.clear();
  krn::Krn_buffered_istream input(in, false, status, krn::KRN_EOL_CRLF);
  if (status.is_error()) return;
  krn::Krn_ostream output(out, status, krn::KRN_EOL_CRLF);
  if (status.is_error()) return;
  const int64 size = input.size(status);
  if (status.is_error()) return;

  if (m_committed) {
    for (const auto& patch : *m_committed) {
      // The end matters as much as the start: a range reaching past the input
      // would otherwise "delete" bytes that were never there.
      if (patch->offset() > size || patch->end_offset() > size) {
        status = krn::KRN_E_END_OF_DATA;
        return;
      }
      copy_exactly(input, output, static_cast<uint64>(patch->offset() - input.tell()), status);
      if (status.is_error()) return;
      if (patch->patch_size() > 0) output.write(patch->patch_size(), patch->data(), status);
      if (status.is_error()) return;
      if (patch->edit_size() > 0) input.seek(krn::KRN_SEEK_CURRENT, static_cast<int64>(patch->edit_size()), status);
      if (status.is_error()) return;
    }
  }
  copy_exactly(input, output, static_cast<uint64>(size - input.tell()), status);
}

bool utk_patcher_replace_in_chunks(Utk_buffer_patcher& patcher, const krn::Krn_buffer& source, int64 offset,
                                   uint64 length) {
  krn::Krn_status status;
  krn::Krn_unbuffered_istream reader(source, false, status);
  if (status.is_error() || length == 0) return false;
  const int64 source_size = reader.size(status);
  if (status.is_error() || source_size <= 0) return false;

  // About 1024 source bytes per edit, with the replaced range shared evenly
  // among the edits; a range shorter than that count gets one byte per edit
  // and correspondingly larger chunks.
  const uint64 total = static_cast<uint64>(source_size);
  uint64 chunk = 1024;
  uint64 count = (total + chunk - 1) / chunk;
  uint64 step;
  if (length < count) {
    count = length;
    step = 1;
    chunk = (total + length - 1) / length;
  } else {
    step = (length + count - 1) / count;
  }

  std::vector<unsigned char> data(chunk);
  uint64 source_left = total;
  uint64 range_left = length;
  int64 position = offset;
  bool result = true;

  auto read_chunk = [&](uint64& got) {
    const uint64 wanted = std::min(chunk, source_left);
    got = reader.read(wanted, data.data(), status);
    if (status == krn::KRN_E_END_OF_DATA) status.clear();
    source_left -= got;
    return got == wanted && !status.is_error();
  };

  while (result && range_left > 0 && source_left > 0) {
    uint64 got = 0;
    if (!read_chunk(got)) {
      result = false;
      break;
    }
    const uint64 consumed = std::min(step, range_left);
    result = patcher.add_edit(position, consumed, data.data(), got);
    position += static_cast<int64>(consumed);
    range_left -= consumed;
  }
  // With many more range bytes than chunks, the chunks can run out first;
  // the rest of the range is still replaced (by nothing), not kept.
  if (result && range_left > 0) result = patcher.add_delete(position, range_left);
  while (result && source_left > 0) {
    uint64 got = 0;
    if (!read_chunk(got)) {
      result = false;
      break;
    }
    result = patcher.add_insert(position, data.data(), got);
  }
  return result && !status.is_error();
}

}  // namespace utk
