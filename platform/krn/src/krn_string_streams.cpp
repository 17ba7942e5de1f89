// Conversions over streams and the UTF-16 / UTF-8 recognisers over buffers.

#include <unicode/uchar.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "krn/krn_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "krn/krn_string.h"
#include "krn_string_utf.h"

namespace krn {

using namespace impl;

namespace {

constexpr uint64 BLOCK_BYTES = 16384;

constexpr wchar16 BYTE_ORDER_MARK = 0xFEFF;
constexpr wchar16 SWAPPED_BYTE_ORDER_MARK = 0xFFFE;

// result_flags bits of krn_is_utf16 and krn_is_utf8.
constexpr unsigned char FLAG_RESULT = 0x01;
constexpr unsigned char FLAG_LITTLE_ENDIAN = 0x02;
constexpr unsigned char FLAG_BYTE_ORDER_MARK = 0x04;

// Reads the input block by block into `pending` (after what is left there)
// and hands it to take(pending, final), which consumes what it can from the
// front. At the end take runs once more with final set. The end of the input
// is not an error.
template <class Take>
void for_each_block(Krn_istream& in, Krn_status& status, Take&& take) {
  status.clear();
  std::vector<unsigned char> pending;
  unsigned char block[BLOCK_BYTES];
  for (;;) {
    const uint64 got = in.read(BLOCK_BYTES, block, status);
    if (got == 0 || !status.ok()) break;
    pending.insert(pending.end(), block, block + got);
    take(pending, false, status);
    if (!status.ok()) return;
  }
  if (status == KRN_E_END_OF_DATA) status.clear();
  if (status.ok()) take(pending, true, status);
}

wchar16 unit_at(const unsigned char* p) {
  wchar16 unit;
  std::memcpy(&unit, p, sizeof(unit));
  return unit;
}

wchar16 swap_unit(wchar16 unit) { return static_cast<wchar16>((unit << 8) | (unit >> 8)); }

// Would more bytes complete the UTF-8 sequence at p[0..length)? True when
// the lead byte asks for more than is there and what is there is valid so far.
bool utf8_incomplete(const unsigned char* p, size_t length) {
  const unsigned count = utf8_continuation_count(p[0]);
  if (length > count) return false;
  for (size_t k = 1; k < length; ++k) {
    if ((p[k] & 0xC0) != 0x80) return false;
  }
  return count > 0;
}

}  // namespace

void krn_utf16_to_utf8(Krn_istream& in, Krn_ostream& out, Krn_status& status) {
  std::string text;
  for_each_block(in, status, [&](std::vector<unsigned char>& pending, bool final, Krn_status& s) {
    std::vector<wchar16> units(pending.size() / 2);
    for (size_t k = 0; k < units.size(); ++k) units[k] = unit_at(pending.data() + 2 * k);
    size_t used = units.size();
    // A high surrogate at the end may be completed by the next block.
    if (!final && used > 0 && is_high_surrogate(units[used - 1])) --used;
    text.clear();
    for (size_t i = 0; i < used;) utf8_append(text, utf16_decode(units.data(), used, i));
    size_t consumed = used * 2;
    if (final && consumed < pending.size()) {
      // An odd last byte is half a unit: malformed.
      utf8_append(text, REPLACEMENT_CHAR);
      consumed = pending.size();
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(consumed));
    if (!text.empty()) out.write(text.size(), text.data(), s);
  });
}

void krn_utf8_to_utf16(Krn_istream& in, Krn_ostream& out, Krn_status& status) {
  Wstring text;
  for_each_block(in, status, [&](std::vector<unsigned char>& pending, bool final, Krn_status& s) {
    const unsigned char* p = pending.data();
    const size_t length = pending.size();
    text.clear();
    size_t i = 0;
    while (i < length) {
      if (!final && utf8_incomplete(p + i, length - i)) break;
      utf16_append(text, utf8_decode(p, length, i));
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(i));
    if (!text.empty()) out.write(text.size() * sizeof(wchar16), text.data(), s);
  });
}

namespace {

// Counts the code points that speak against reading the units in one byte
// order: unassigned code points, unpaired surrogates and control characters
// that text does not hold (anything below U+0020 but TAB, LF, VT, FF and CR,
// and U+007F..U+009F).
class Utf16_order_judge {
 public:
  explicit Utf16_order_judge(bool swap) : m_swap(swap) {}

  void take(wchar16 raw) {
    const unsigned unit = m_swap ? swap_unit(raw) : raw;
    if (m_high != 0) {
      const unsigned high = m_high;
      m_high = 0;
      if (is_low_surrogate(unit)) {
        judge(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
        return;
      }
      ++m_bad;  // the high surrogate had no partner
    }
    if (is_high_surrogate(unit)) {
      m_high = unit;
    } else if (is_low_surrogate(unit)) {
      ++m_bad;
    } else {
      judge(unit);
    }
  }

  void finish() {
    if (m_high != 0) ++m_bad;
    m_high = 0;
  }

  uint64 bad() const { return m_bad; }

 private:
  void judge(unsigned cp) {
    const bool control = (cp < 0x20 && !(cp >= 0x09 && cp <= 0x0D)) || (cp >= 0x7F && cp <= 0x9F);
    bool assigned;
    if (cp < KRN_UNICODE_BIT_TABLE_LEN) {
      assigned = (KRN_UNICODE_BIT_TABLE[cp] & KRN_UNICODE_ASSIGNED) != 0;
    } else {
      assigned = u_charType(static_cast<UChar32>(cp)) != U_UNASSIGNED;
    }
    if (control || !assigned) ++m_bad;
  }

  bool m_swap;
  unsigned m_high = 0;
  uint64 m_bad = 0;
};

bool is_ascii_text_byte(unsigned char b) { return (b >= 0x20 && b < 0x7F) || b == 0x09 || b == 0x0A || b == 0x0D; }

// Opens an unbuffered stream on the buffer once any writer has finished;
// false when the buffer is empty, cannot be sized or read, or fails `accept`.
template <class Accept>
bool open_whole_buffer(const Krn_buffer* buffer, Krn_unbuffered_istream& in, int64& size, Accept accept,
                       Krn_status& status) {
  size = buffer->size(true, status);
  if (!status.ok() || size == 0 || !accept(size)) return false;
  in.init(*buffer, false, status);
  return status.ok();
}

}  // namespace

bool krn_is_utf16(const Krn_buffer* buffer, unsigned short tolerance_percent, unsigned char& result_flags,
                  Krn_status& status) {
  status.clear();
  result_flags = 0;
  if (!buffer) return false;
  Krn_unbuffered_istream in;
  int64 size = 0;
  if (!open_whole_buffer(buffer, in, size, [](int64 n) { return n % 2 == 0; }, status)) return false;

  const uint64 units = static_cast<uint64>(size) / 2;
  const uint64 allowance = std::min<uint64>(tolerance_percent, 100) * units / 100;

  Utf16_order_judge host(false);
  Utf16_order_judge swapped(true);
  bool first_block = true;
  bool has_mark = false;
  bool mark_little_endian = false;
  bool utf8_mark = false;
  // Text with a zero byte or a byte outside ASCII somewhere; bytes that are
  // all ASCII text pair up into valid CJK code points and would pass for
  // UTF-16 otherwise.
  bool beyond_ascii_bytes = false;

  // Room for a byte left over from a short read, so that units stay aligned.
  unsigned char block[BLOCK_BYTES + 1];
  size_t carried = 0;
  while (host.bad() <= allowance || swapped.bad() <= allowance) {
    const uint64 got = in.read(BLOCK_BYTES, block + carried, status);
    if (got == 0 || !status.ok()) break;
    const size_t length = carried + static_cast<size_t>(got);
    size_t start = 0;
    if (first_block) {
      first_block = false;
      utf8_mark = length >= 3 && block[0] == 0xEF && block[1] == 0xBB && block[2] == 0xBF;
      const wchar16 first = length >= 2 ? unit_at(block) : 0;
      if (first == BYTE_ORDER_MARK || first == SWAPPED_BYTE_ORDER_MARK) {
        has_mark = true;
        mark_little_endian = first == BYTE_ORDER_MARK;  // the host is little-endian
        start = 2;
      }
    }
    size_t k = start;
    for (; k + 1 < length; k += 2) {
      const wchar16 unit = unit_at(block + k);
      host.take(unit);
      swapped.take(unit);
      if (!is_ascii_text_byte(block[k]) || !is_ascii_text_byte(block[k + 1])) beyond_ascii_bytes = true;
    }
    carried = length - k;
    if (carried != 0) block[0] = block[k];
  }
  if (status == KRN_E_END_OF_DATA) status.clear();
  if (!status.ok()) return false;
  host.finish();
  swapped.finish();

  if (has_mark) result_flags |= FLAG_BYTE_ORDER_MARK;
  const bool little_endian = has_mark ? mark_little_endian : host.bad() <= swapped.bad();
  if (little_endian) result_flags |= FLAG_LITTLE_ENDIAN;

  // With a mark only the order it names is judged.
  const bool order_fits = has_mark ? (mark_little_endian ? host : swapped).bad() <= allowance
                                   : std::min(host.bad(), swapped.bad()) <= allowance;
  const bool plausible = !utf8_mark && (has_mark || beyond_ascii_bytes);
  if (order_fits && plausible) result_flags |= FLAG_RESULT;
  return (result_flags & FLAG_RESULT) != 0;
}

bool krn_is_utf8(const Krn_buffer* buffer, unsigned char& result_flags, bool& ascii_only, Krn_status& status) {
  status.clear();
  result_flags = 0;
  ascii_only = false;
  if (!buffer) return false;
  Krn_unbuffered_istream in;
  int64 size = 0;
  if (!open_whole_buffer(buffer, in, size, [](int64) { return true; }, status)) return false;

  // Strict UTF-8: shortest forms only, no surrogates, nothing above
  // U+10FFFF, no zero bytes (UTF-16 text of ASCII characters is full of
  // them and would otherwise pass). A sequence may span two blocks.
  bool valid = true;
  bool ascii = true;
  bool first_block = true;
  unsigned char sequence[4];
  unsigned have = 0;
  unsigned need = 0;
  unsigned char block[BLOCK_BYTES];
  while (valid) {
    const uint64 got = in.read(BLOCK_BYTES, block, status);
    if (got == 0 || !status.ok()) break;
    size_t k = 0;
    if (first_block) {
      first_block = false;
      if (got >= 3 && block[0] == 0xEF && block[1] == 0xBB && block[2] == 0xBF) {
        result_flags |= FLAG_BYTE_ORDER_MARK;
        k = 3;
      }
    }
    for (; k < got && valid; ++k) {
      const unsigned char b = block[k];
      if (need == 0) {
        if (b == 0) {
          valid = false;
        } else if (b >= 0x80) {
          ascii = false;
          const unsigned count = utf8_continuation_count(b);
          if (count == 0 || count > 3) {
            valid = false;
          } else {
            sequence[0] = b;
            have = 1;
            need = count;
          }
        }
        continue;
      }
      if ((b & 0xC0) != 0x80) {
        valid = false;
        continue;
      }
      sequence[have++] = b;
      if (--need == 0) {
        size_t i = 0;
        const unsigned cp = utf8_decode(sequence, have, i);
        const unsigned shortest = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        if (cp == REPLACEMENT_CHAR && have != 3) valid = false;  // beyond U+10FFFF
        if (shortest != have || (cp >= 0xD800 && cp <= 0xDFFF)) valid = false;
      }
    }
  }
  if (status == KRN_E_END_OF_DATA) status.clear();
  if (!status.ok()) return false;
  if (need != 0) valid = false;  // cut off by the end

  ascii_only = valid && ascii;
  if (valid) result_flags |= FLAG_RESULT;
  return valid;
}

}  // namespace krn
