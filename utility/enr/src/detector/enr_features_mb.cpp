// The multi-byte encodings: automata with character distributions, character
// iterators with common-character tables, and the escape encodings.

#include <algorithm>
#include <cmath>
#include <vector>

#include "enr/enr_feature.h"
#include "enr/enr_input_text.h"

namespace enr {

Enr_distanalyser::~Enr_distanalyser() = default;

double Enr_distanalyser::get_confidence() const {
  if (m_total_chars == 0) return 0.01f;
  if (m_freq_chars == m_total_chars) return 0.99f;
  const double ratio = m_freq_chars / ((m_total_chars - m_freq_chars) * m_ratio);
  return std::min(ratio, static_cast<double>(0.99f));
}

int Enr_distanalyser_big5::get_order(const unsigned char* bytes) const {
  if (bytes[0] < 0xA4) return -1;
  const int second = bytes[1] >= 0xA1 ? bytes[1] - 0xA1 + 63 : bytes[1] - 0x40;
  return 157 * (bytes[0] - 0xA4) + second;
}

int Enr_distanalyser_euc_jp::get_order(const unsigned char* bytes) const {
  if (bytes[0] < 0xA0) return -1;
  return 94 * (bytes[0] - 0xA1) + (bytes[1] - 0xA1);
}

int Enr_distanalyser_euc_kr::get_order(const unsigned char* bytes) const {
  if (bytes[0] < 0xB0) return -1;
  return 94 * (bytes[0] - 0xB0) + (bytes[1] - 0xA1);
}

int Enr_distanalyser_gb18030::get_order(const unsigned char* bytes) const {
  if (bytes[0] < 0xB0 || bytes[1] < 0xA1) return -1;
  return 94 * (bytes[0] - 0xB0) + (bytes[1] - 0xA1);
}

Enr_mb_feature::Enr_mb_feature(std::uint16_t slot, const Sm_model& model, Enr_distanalyser* analyser)
    : Enr_feature(slot), m_machine(model), m_analyser(analyser) {}

void Enr_mb_feature::generate(const Enr_input_text& text, std::uint16_t* values) {
  const unsigned char* data = text.data();
  for (std::uint32_t i = 0; i < text.length(); ++i) {
    const Sm_state state = m_machine.next_state(data[i]);
    if (state == ENR_SM_ITS_ME) {
      values[m_slot] = 100;
      return;
    }
    if (state == ENR_SM_START) {
      const unsigned char bytes[2] = {i == 0 ? static_cast<unsigned char>(0) : data[i - 1], data[i]};
      m_analyser->handle_one_char(bytes, m_machine.get_current_charlen());
    }
  }
  values[m_slot] = static_cast<std::uint16_t>(m_analyser->get_confidence() * 100);
}

Enr_mb_iterator::~Enr_mb_iterator() = default;

namespace {

// The iterators' steps as plain functions over plain state: the library's
// exported functions cannot be inlined, and the common-character walk takes
// a step per character of up to a mebibyte.
struct Cursor {
  const unsigned char* data;
  std::uint32_t length;
  std::uint32_t position;
  std::uint32_t ch;
  bool invalid;
  bool ended;
};

inline int next_byte(Cursor& cursor) {
  if (cursor.position >= cursor.length) {
    cursor.ended = true;
    return -1;
  }
  return cursor.data[cursor.position++];
}

// A character cut off by the end of the text is dropped rather than called
// invalid: samples are often cut in the middle of one.

bool next_sjis(Cursor& cursor) {
  cursor.invalid = false;
  const int lead = next_byte(cursor);
  if (lead < 0) return false;
  if (lead < 0x80 || (lead > 0xA0 && lead < 0xE0)) {
    cursor.ch = static_cast<std::uint32_t>(lead);
    return true;
  }
  const int trail = next_byte(cursor);
  if (trail < 0) return false;
  cursor.ch = (static_cast<std::uint32_t>(lead) << 8) | static_cast<std::uint32_t>(trail);
  cursor.invalid = trail < 0x40 || trail > 0xFE;
  return true;
}

bool next_big5(Cursor& cursor) {
  cursor.invalid = false;
  const int lead = next_byte(cursor);
  if (lead < 0) return false;
  if (lead < 0x80 || lead == 0xFF) {
    cursor.ch = static_cast<std::uint32_t>(lead);
    return true;
  }
  const int trail = next_byte(cursor);
  if (trail < 0) return false;
  cursor.ch = (static_cast<std::uint32_t>(lead) << 8) | static_cast<std::uint32_t>(trail);
  cursor.invalid = !(trail >= 0x40 && trail != 0x7F && trail != 0xFF);
  return true;
}

bool next_euc(Cursor& cursor) {
  cursor.invalid = false;
  const int lead = next_byte(cursor);
  if (lead < 0) return false;
  if (lead <= 0x8D) {
    cursor.ch = static_cast<std::uint32_t>(lead);
    return true;
  }
  int last = next_byte(cursor);
  if (last < 0) return false;
  cursor.ch = (static_cast<std::uint32_t>(lead) << 8) | static_cast<std::uint32_t>(last);
  if (lead == 0x8F) {
    last = next_byte(cursor);
    if (last < 0) return false;
    cursor.ch = (cursor.ch << 8) | static_cast<std::uint32_t>(last);
  }
  const bool checked = (lead >= 0xA1 && lead <= 0xFE) || lead == 0x8E || lead == 0x8F;
  cursor.invalid = checked && last < 0xA1;
  return true;
}

bool next_gb18030(Cursor& cursor) {
  cursor.invalid = false;
  const int lead = next_byte(cursor);
  if (lead < 0) return false;
  if (lead <= 0x80) {
    cursor.ch = static_cast<std::uint32_t>(lead);
    return true;
  }
  const int second = next_byte(cursor);
  if (second < 0) return false;
  cursor.ch = (static_cast<std::uint32_t>(lead) << 8) | static_cast<std::uint32_t>(second);
  if (lead == 0xFF || (second >= 0x40 && second <= 0xFE)) return true;
  // Only the four-byte form may have a second byte outside 0x40..0xFE.
  if (second < '0' || second > '9') {
    cursor.invalid = true;
    return true;
  }
  const int third = next_byte(cursor);
  if (third < 0) return false;
  cursor.ch = (cursor.ch << 8) | static_cast<std::uint32_t>(third);
  if (third < 0x81 || third > 0xFE) {
    cursor.invalid = true;
    return true;
  }
  const int fourth = next_byte(cursor);
  if (fourth < 0) return false;
  cursor.ch = (cursor.ch << 8) | static_cast<std::uint32_t>(fourth);
  cursor.invalid = fourth < '0' || fourth > '9';
  return true;
}

// One step of a walk on an iterator's own state; the walks work on a local
// cursor so that the feature loops can inline them.
bool step(const unsigned char* data, std::uint32_t length, std::uint32_t& position, std::uint32_t& ch, bool& invalid,
          bool& ended, bool (*walk)(Cursor&)) {
  Cursor cursor{data, length, position, ch, invalid, ended};
  const bool more = walk(cursor);
  position = cursor.position;
  ch = cursor.ch;
  invalid = cursor.invalid;
  ended = cursor.ended;
  return more;
}

}  // namespace

bool Enr_mb_iterator_sjis::next_char() {
  return step(m_data, m_length, m_position, m_char, m_invalid, m_ended, next_sjis);
}

bool Enr_mb_iterator_big5::next_char() {
  return step(m_data, m_length, m_position, m_char, m_invalid, m_ended, next_big5);
}

bool Enr_mb_iterator_euc::next_char() {
  return step(m_data, m_length, m_position, m_char, m_invalid, m_ended, next_euc);
}

bool Enr_mb_iterator_gb18030::next_char() {
  return step(m_data, m_length, m_position, m_char, m_invalid, m_ended, next_gb18030);
}

Enr_mb_feature_common::Enr_mb_feature_common(std::uint16_t slot, const std::uint32_t* codes, std::uint32_t count,
                                             Enr_iterator_kind kind)
    : Enr_feature(slot), m_codes(codes), m_count(count), m_kind(kind) {}

namespace {

// The walk over one iterator kind with its step inlined.
template <bool (*Next)(Cursor&)>
std::uint16_t common_value(const Enr_input_text& text, const std::uint32_t* codes, std::uint32_t count) {
  Cursor cursor{text.data(), text.length(), 0, 0, false, false};
  if (!Next(cursor)) return 10;
  // Two-byte codes are looked up in a bitmap: a search per character of a
  // multi-byte text costs more than the rest of the walk. The codes are
  // sorted, so the longer ones follow and are searched as before.
  std::vector<std::uint64_t> two_byte(codes ? 0x10000 / 64 : 0, 0);
  const std::uint32_t* longer = codes ? std::upper_bound(codes, codes + count, 0xFFFFu) : nullptr;
  for (const std::uint32_t* code = codes; code != longer; ++code) {
    two_byte[*code >> 6] |= std::uint64_t{1} << (*code & 63);
  }
  std::uint32_t invalid = 0, multi_byte = 0, common = 0;
  do {
    if (cursor.invalid) {
      ++invalid;
    } else if (cursor.ch > 0xFF) {
      ++multi_byte;
      if (codes) {
        const bool known = cursor.ch <= 0xFFFF ? ((two_byte[cursor.ch >> 6] >> (cursor.ch & 63)) & 1) != 0
                                               : std::binary_search(longer, codes + count, cursor.ch);
        common += known;
      }
    }
    if (invalid >= 2 && 5 * invalid >= multi_byte) return 0;
  } while (Next(cursor));
  std::int64_t value;
  if (multi_byte < 11 && invalid == 0) {
    value = 10;
  } else if (multi_byte < 20 * invalid) {
    value = 0;
  } else if (codes) {
    const double score = 90 / std::log10(multi_byte * 0.25) * std::log10(common + 1.0) + 10;
    value = static_cast<std::int64_t>(std::min(100.0, score));
  } else {
    value = std::min<std::int64_t>(100, static_cast<std::int64_t>(multi_byte) - 20 * invalid + 30);
  }
  return static_cast<std::uint16_t>(std::max<std::int64_t>(0, value));
}

}  // namespace

void Enr_mb_feature_common::generate(const Enr_input_text& text, std::uint16_t* values) {
  switch (m_kind) {
    case ENR_ITER_SJIS:
      values[m_slot] = common_value<next_sjis>(text, m_codes, m_count);
      return;
    case ENR_ITER_BIG5:
      values[m_slot] = common_value<next_big5>(text, m_codes, m_count);
      return;
    case ENR_ITER_EUC:
      values[m_slot] = common_value<next_euc>(text, m_codes, m_count);
      return;
    case ENR_ITER_GB18030:
      break;
  }
  values[m_slot] = common_value<next_gb18030>(text, m_codes, m_count);
}

void Enr_esc_feature_sm::generate(const Enr_input_text& text, std::uint16_t* values) {
  const unsigned char* data = text.data();
  for (std::uint32_t i = 0; i < text.length(); ++i) {
    const Sm_state state = m_machine.next_state(data[i]);
    if (state == ENR_SM_ITS_ME) {
      values[m_slot] = 100;
      return;
    }
    if (state == ENR_SM_ERROR) break;
  }
  values[m_slot] = 0;
}

void Enr_esc_feature_seq::generate(const Enr_input_text& text, std::uint16_t* values) {
  const unsigned char* data = text.data();
  const std::uint32_t length = text.length();
  std::int64_t good = 0, bad = 0, shifts = 0;
  std::uint32_t i = 0;
  while (i < length) {
    const unsigned char byte = data[i];
    if (byte == 0x0E || byte == 0x0F) ++shifts;
    if (byte != 0x1B) {
      ++i;
      continue;
    }
    std::uint32_t matched = 0;
    bool cut_off = false;
    for (std::uint32_t s = 0; s < m_count && matched == 0; ++s) {
      const Enr_escape_sequence& sequence = m_sequences[s];
      const std::uint32_t available = std::min<std::uint32_t>(sequence.length, length - i);
      bool same = true;
      for (std::uint32_t k = 1; k < available && same; ++k) same = data[i + k] == sequence.bytes[k];
      if (!same) continue;
      if (available == sequence.length) {
        matched = sequence.length;
      } else {
        cut_off = true;
      }
    }
    if (matched > 0) {
      ++good;
      i += matched;
    } else if (cut_off) {
      // The input ends inside what may be a known sequence: a buffer cut at
      // a line start of ISO-2022 text ends so. That is no evidence against
      // the encoding, so it counts neither way.
      break;
    } else {
      ++bad;
      ++i;
    }
  }
  std::int64_t value = 0;
  if (good > 0) {
    const std::int64_t percent = (good - bad) * 100 / (good + bad);
    value = good + shifts >= 5 ? percent : percent + 10 * (good + shifts - 5);
  }
  values[m_slot] = static_cast<std::uint16_t>(std::clamp<std::int64_t>(value, 0, 100));
}

}  // namespace enr
