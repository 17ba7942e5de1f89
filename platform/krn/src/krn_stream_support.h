#ifndef KRN_STREAM_SUPPORT_H
#define KRN_STREAM_SUPPORT_H

// The reading logic that the buffer streams and the byte stream share.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_types.h"

namespace krn::detail {

template <typename T>
T swap_bytes(T value) {
  if constexpr (sizeof(T) == 1) {
    return value;
  } else if constexpr (sizeof(T) == 2) {
    return static_cast<T>(__builtin_bswap16(static_cast<std::uint16_t>(value)));
  } else if constexpr (sizeof(T) == 4) {
    return static_cast<T>(__builtin_bswap32(static_cast<std::uint32_t>(value)));
  } else {
    return static_cast<T>(__builtin_bswap64(static_cast<std::uint64_t>(value)));
  }
}

// Reads exactly sizeof(T) bytes with read(count, data, status), which may
// deliver fewer than asked.
template <typename T, typename Read>
void read_integer(Read&& read, T& value, bool big_endian, Krn_status& status) {
  status.clear();
  unsigned char bytes[sizeof(T)];
  uint64 got = 0;
  while (got < sizeof(T) && status.ok()) {
    const uint64 n = read(sizeof(T) - got, bytes + got, status);
    if (n == 0) break;
    got += n;
  }
  if (got < sizeof(T)) {
    status.push(KRN_E_SHORT_INTEGER);
    return;
  }
  status.clear();
  T result;
  std::memcpy(&result, bytes, sizeof(T));
  value = big_endian ? swap_bytes(result) : result;
}

// The outcome of one line read, in units.
struct Line_result {
  Krn_eol eol = KRN_EOL_NONE;
  uint64 consumed = 0;  // text and line end
};

// Reads one line of Unit-sized units from byte position start with
// read_at(position, count, data, status), in pieces of at most 78 units, so
// that the reader's own position never moves. scratch keeps the examined
// units between calls.
template <typename Unit, typename Read_at>
Line_result read_line(Read_at&& read_at, int64 start, uint64 max_length, Krn_eol mode, bool swap,
                      std::vector<unsigned char>& scratch, std::basic_string<Unit>& line, Krn_status& status) {
  constexpr uint64 PIECE_UNITS = 78;
  constexpr uint64 UNIT = sizeof(Unit);
  // A reader that keeps delivering nothing without an error would hold the
  // loop forever; after this many such reads the data counts as ended.
  constexpr unsigned MAX_EMPTY_READS = 64;
  constexpr Unit CR = 0x0D;
  constexpr Unit LF = 0x0A;

  status.clear();
  line.clear();
  Line_result result;

  // The most units examined: the text and a two-unit line end.
  const uint64 limit = max_length > KRN_NPOS - 2 ? KRN_NPOS : max_length + 2;
  enum class State { normal, after_cr, done } state = State::normal;
  uint64 examined = 0;
  uint64 text_length = 0;
  uint64 eol_length = 0;
  unsigned char piece[PIECE_UNITS * UNIT];
  uint64 carried = 0;  // bytes of an incomplete unit at the start of piece
  int64 next = start;
  unsigned empty_reads = 0;
  scratch.clear();

  auto finish = [&](Krn_eol eol, uint64 terminator, uint64 text) {
    state = State::done;
    result.eol = eol;
    eol_length = terminator;
    text_length = text;
  };

  while (state != State::done && examined < limit && status.ok()) {
    const uint64 want = std::min(PIECE_UNITS, limit - examined) * UNIT - carried;
    const uint64 got = read_at(next, want, piece + carried, status);
    if (got == 0) {
      if (status.ok() && ++empty_reads >= MAX_EMPTY_READS) status = KRN_E_END_OF_DATA;
      continue;
    }
    empty_reads = 0;
    next += static_cast<int64>(got);
    const uint64 bytes = got + carried;
    const uint64 units = bytes / UNIT;
    for (uint64 i = 0; i < units && state != State::done; ++i) {
      Unit unit;
      std::memcpy(&unit, piece + i * UNIT, UNIT);
      if (swap) unit = swap_bytes(unit);
      const unsigned char* raw = reinterpret_cast<const unsigned char*>(&unit);
      scratch.insert(scratch.end(), raw, raw + UNIT);
      ++examined;
      switch (mode) {
        case KRN_EOL_NONE:
          if (state == State::after_cr) {
            if (unit == LF) {
              finish(KRN_EOL_CRLF, 2, examined - 2);
            } else {
              // The unit after the CR belongs to the next line.
              finish(KRN_EOL_CR, 1, examined - 2);
            }
          } else if (unit == LF) {
            finish(KRN_EOL_LF, 1, examined - 1);
          } else if (unit == CR) {
            state = State::after_cr;
          }
          break;
        case KRN_EOL_CR:
          if (unit == CR) finish(KRN_EOL_CR, 1, examined - 1);
          break;
        case KRN_EOL_LF:
          if (unit == LF) finish(KRN_EOL_LF, 1, examined - 1);
          break;
        case KRN_EOL_CRLF:
          if (state == State::after_cr && unit == LF) {
            finish(KRN_EOL_CRLF, 2, examined - 2);
          } else {
            state = unit == CR ? State::after_cr : State::normal;
          }
          break;
      }
    }
    carried = bytes % UNIT;
    if (carried != 0) std::memmove(piece, piece + units * UNIT, carried);
  }

  // A CR that is the last unit of the data ends the line.
  if (mode == KRN_EOL_NONE && state == State::after_cr && status == KRN_E_END_OF_DATA) {
    finish(KRN_EOL_CR, 1, examined - 1);
  }
  if (state != State::done) text_length = examined;
  bool done = state == State::done;
  if (text_length > max_length) {
    // Cut: the rest of the line, and its end, stay for the next read.
    text_length = max_length;
    eol_length = 0;
    result.eol = KRN_EOL_NONE;
    done = false;
  }
  line.resize(static_cast<size_t>(text_length));
  if (text_length != 0) std::memcpy(line.data(), scratch.data(), text_length * UNIT);
  if (examined > 0 && status == KRN_E_END_OF_DATA) status.clear();
  if (!done && status.ok()) status.push(KRN_E_LINE_CUT);
  result.consumed = text_length + eol_length;
  return result;
}

}  // namespace krn::detail

#endif
