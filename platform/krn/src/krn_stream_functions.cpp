// Whole-stream operations built on the streams' reads and writes.

#include <algorithm>
#include <cstring>
#include <memory>

#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "krn_stream_support.h"

namespace krn {

namespace {

constexpr uint64 COPY_BLOCK = 65536;
// Lines are read in pieces of this many bytes; longer ones are read on.
constexpr uint64 LINE_PIECE = 2048;

// Reads blocks of the input until the limit or the end and hands each to
// take(data, count, status); the end of the input is not an error.
template <typename Take>
uint64 for_each_block(Krn_istream& in, uint64 limit, Krn_status& status, Take&& take) {
  status.clear();
  std::unique_ptr<unsigned char[]> block(new unsigned char[COPY_BLOCK]);
  uint64 total = 0;
  while (total < limit && status.ok()) {
    const uint64 got = in.read(std::min(COPY_BLOCK, limit - total), block.get(), status);
    if (got == 0) break;
    if (!status.ok()) break;
    take(block.get(), got, status);
    total += got;
  }
  if (status == KRN_E_END_OF_DATA) status.clear();
  return total;
}

// Reads lines until count of them are complete or the input ends; returns
// the lines passed. A line cut at the piece length is read on and counts once.
uint64 pass_lines(Krn_istream& in, uint64 count, Krn_status& status) {
  status.clear();
  std::string line;
  uint64 lines = 0;
  bool in_line = false;
  while (lines < count) {
    in.readln(LINE_PIECE, line, status);
    if (status == KRN_E_LINE_CUT) {
      in_line = true;
      status.clear();
      continue;
    }
    if (status == KRN_E_END_OF_DATA) {
      if (in_line) ++lines;
      status.clear();
      break;
    }
    if (!status.ok()) break;
    ++lines;
    in_line = false;
  }
  return lines;
}

}  // namespace

uint64 krn_copy_stream(Krn_istream& in, Krn_ostream& out, Krn_status& status) {
  return krn_copy_stream(in, out, KRN_NPOS, status);
}

uint64 krn_copy_stream(Krn_istream& in, Krn_ostream& out, uint64 limit, Krn_status& status) {
  return for_each_block(in, limit, status, [&out](const unsigned char* data, uint64 count, Krn_status& s) {
    out.write(count, data, s);
  });
}

uint64 krn_count_lines(Krn_istream& in, Krn_status& status) { return pass_lines(in, KRN_NPOS, status); }

unsigned krn_skip_lines(Krn_istream& in, unsigned count, Krn_status& status) {
  return static_cast<unsigned>(pass_lines(in, count, status));
}

void krn_stream_to_string(Krn_istream& in, std::string& text, Krn_status& status) {
  krn_stream_to_string(in, text, KRN_NPOS, status);
}

void krn_stream_to_string(Krn_istream& in, std::string& text, uint64 limit, Krn_status& status) {
  text.clear();
  for_each_block(in, limit, status, [&text](const unsigned char* data, uint64 count, Krn_status&) {
    text.append(reinterpret_cast<const char*>(data), static_cast<size_t>(count));
  });
}

void krn_stream_to_string(Krn_istream& in, Wstring& text, Krn_status& status) {
  krn_stream_to_string(in, text, KRN_NPOS, status);
}

void krn_stream_to_string(Krn_istream& in, Wstring& text, uint64 limit, Krn_status& status) {
  std::string bytes;
  krn_stream_to_string(in, bytes, limit, status);
  text.resize(bytes.size() / sizeof(Char16));
  if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(Char16));
}

void krn_swap_stream(Krn_istream& in, Krn_ostream& out, Krn_status& status) {
  // A unit may be split between two blocks: its first byte waits here.
  bool carried = false;
  unsigned char carried_byte = 0;
  std::unique_ptr<unsigned char[]> swapped(new unsigned char[COPY_BLOCK + 1]);
  for_each_block(in, KRN_NPOS, status, [&](const unsigned char* data, uint64 count, Krn_status& s) {
    uint64 length = 0;
    if (carried) swapped[length++] = carried_byte;
    std::memcpy(swapped.get() + length, data, count);
    length += count;
    carried = length % 2 != 0;
    if (carried) carried_byte = swapped[--length];
    for (uint64 i = 0; i < length; i += 2) std::swap(swapped[i], swapped[i + 1]);
    if (length != 0) out.write(length, swapped.get(), s);
  });
  if (carried && status.ok()) out.write(1, &carried_byte, status);
}

}  // namespace krn
