// The generators that need no trained table: byte frequencies, the bytes
// the single-byte code pages leave undefined, and the Unicode
// transformation formats.

#include <unicode/uchar.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "enr/enr_feature.h"
#include "enr/enr_input_text.h"

namespace enr {

Enr_feature::~Enr_feature() = default;

Enr_state_machine::Enr_state_machine(const Sm_model& model) : m_model(model) {
  for (std::uint32_t b = 0; b < 256; ++b) m_classes[b] = static_cast<unsigned char>(model.classes.entry(b));
  // The model does not say how many states it has: unpack the rows of the
  // states reachable from the start, which are all a well-formed table holds.
  std::vector<bool> seen{true};
  std::vector<std::uint32_t> pending{ENR_SM_START};
  while (!pending.empty()) {
    const std::uint32_t state = pending.back();
    pending.pop_back();
    if (m_states.size() < (state + 1) * model.class_count) m_states.resize((state + 1) * model.class_count);
    for (std::uint32_t c = 0; c < model.class_count; ++c) {
      const std::uint32_t next = model.states.entry(state * model.class_count + c);
      m_states[state * model.class_count + c] = static_cast<unsigned char>(next);
      if (next >= seen.size()) seen.resize(next + 1, false);
      if (!seen[next]) {
        seen[next] = true;
        pending.push_back(next);
      }
    }
  }
}

void Enr_byte_feature::generate(const Enr_input_text& text, std::uint16_t* values) {
  const std::uint32_t length = text.length();
  if (length == 0) return;
  std::uint32_t counts[96] = {};
  const unsigned char* data = text.data();
  for (std::uint32_t i = 0; i < length; ++i) {
    if (data[i] >= 0xA0) ++counts[data[i] - 0xA0];
  }
  for (unsigned j = 0; j < 96; ++j) {
    values[m_slot + j] = static_cast<std::uint16_t>(static_cast<std::uint64_t>(counts[j]) * 65535 / length);
  }
}

namespace {

constexpr const char* SINGLE_BYTE_PAGES[ENR_SINGLE_BYTE_PAGES] = {
    "ISO-8859-1",   "ISO-8859-2",   "ISO-8859-5",   "ISO-8859-6",   "ISO-8859-7",   "ISO-8859-8",   "ISO-8859-9",
    "ISO-8859-15",  "windows-1250", "windows-1251", "windows-1252", "windows-1253", "windows-1254", "windows-1255",
    "windows-1256", "windows-1257", "KOI8-R",       "KOI8-U",       "IBM866",       "TIS-620"};

// A page ICU cannot open defines nothing, which the counts then say.
Enr_defined_bytes read_defined_bytes(const char* page) {
  Enr_defined_bytes defined{};
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(page, &error);
  if (U_FAILURE(error)) return defined;
  for (unsigned b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    UChar decoded[4];
    error = U_ZERO_ERROR;
    ucnv_reset(converter);
    const int32_t length = ucnv_toUChars(converter, decoded, 4, &byte, 1, &error);
    if (U_FAILURE(error) || length != 1 || decoded[0] == 0xFFFD || decoded[0] == 0x1A) continue;
    const std::int8_t type = u_charType(decoded[0]);
    if (type == U_UNASSIGNED || type == U_CONTROL_CHAR) continue;
    defined.words[b >> 5] |= 1u << (b & 31);
  }
  ucnv_close(converter);
  return defined;
}

}  // namespace

const char* const* enr_single_byte_pages() { return SINGLE_BYTE_PAGES; }

const Enr_defined_bytes& enr_defined_bytes(unsigned page) {
  static const std::array<Enr_defined_bytes, ENR_SINGLE_BYTE_PAGES> pages = [] {
    std::array<Enr_defined_bytes, ENR_SINGLE_BYTE_PAGES> read{};
    for (unsigned i = 0; i < ENR_SINGLE_BYTE_PAGES; ++i) read[i] = read_defined_bytes(SINGLE_BYTE_PAGES[i]);
    return read;
  }();
  return pages.at(page);
}

unsigned enr_single_byte_page(const char* name) {
  for (unsigned i = 0; i < ENR_SINGLE_BYTE_PAGES; ++i) {
    if (std::strcmp(SINGLE_BYTE_PAGES[i], name) == 0) return i;
  }
  return ENR_SINGLE_BYTE_PAGES;
}

void Enr_high_byte_feature::generate(const Enr_input_text& text, std::uint16_t* values) {
  const std::uint32_t length = text.length();
  std::uint32_t counts[256] = {};
  const unsigned char* data = text.data();
  for (std::uint32_t i = 0; i < length; ++i) ++counts[data[i]];
  auto capped = [](std::uint32_t n) { return static_cast<std::uint16_t>(std::min<std::uint32_t>(n, 32767)); };
  std::uint32_t c1 = 0;
  for (unsigned b = 0x80; b < 0xA0; ++b) {
    c1 += counts[b];
    values[ENR_F_C1_BYTE + b - 0x80] =
        length ? static_cast<std::uint16_t>(static_cast<std::uint64_t>(counts[b]) * 65535 / length) : 0;
  }
  values[ENR_F_C1_COUNT] = capped(c1);
  for (unsigned page = 0; page < ENR_SINGLE_BYTE_PAGES; ++page) {
    const Enr_defined_bytes& defined = enr_defined_bytes(page);
    std::uint32_t undefined = 0;
    for (unsigned b = 0x80; b < 0x100; ++b) {
      if (!defined.defines(static_cast<unsigned char>(b))) undefined += counts[b];
    }
    values[ENR_F_UNDEFINED + page] = capped(undefined);
  }
}

namespace {

// Continuation bytes a lead byte announces; 0 for bytes that lead nothing.
unsigned utf8_needed(unsigned char byte) {
  if ((byte & 0xE0) == 0xC0) return 1;
  if ((byte & 0xF0) == 0xE0) return 2;
  if ((byte & 0xF8) == 0xF0) return 3;
  return 0;
}

}  // namespace

void Enr_utf8_feature::generate(const Enr_input_text& text, std::uint16_t* values) {
  const unsigned char* data = text.data();
  const std::uint32_t length = text.length();
  const bool mark = length >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
  std::uint32_t valid = 0;
  std::uint32_t invalid = 0;
  std::uint32_t i = 0;
  while (i < length && invalid <= 5) {
    const unsigned char byte = data[i++];
    if (byte < 0x80) continue;
    const unsigned needed = utf8_needed(byte);
    if (needed == 0) {
      ++invalid;
      continue;
    }
    if (i >= length) break;
    unsigned got = 0;
    while (got < needed && i < length && (data[i] & 0xC0) == 0x80) {
      ++got;
      ++i;
    }
    if (got == needed) {
      ++valid;
    } else if (i < length) {
      // The byte that broke the run is taken as part of the broken character.
      ++invalid;
      ++i;
    }
  }
  std::uint16_t value;
  if (mark && invalid == 0) {
    value = 100;
  } else if (mark && valid > 10 * invalid) {
    value = 80;
  } else if (valid >= 4 && invalid == 0) {
    value = 100;
  } else if (valid > 0 && invalid == 0) {
    value = 80;
  } else if (valid == 0 && invalid == 0) {
    value = 10;
  } else if (valid > 10 * invalid) {
    value = 25;
  } else {
    value = 0;
  }
  values[m_slot] = value;
}

void Enr_utf8_feature_sm::generate(const Enr_input_text& text, std::uint16_t* values) {
  Enr_state_machine machine(enr_sm_model(ENR_SM_UTF8));
  const unsigned char* data = text.data();
  std::uint32_t multi_byte = 0;
  for (std::uint32_t i = 0; i < text.length(); ++i) {
    const Sm_state state = machine.next_state(data[i]);
    if (state == ENR_SM_ITS_ME) {
      values[m_slot] = 100;
      return;
    }
    if (state == ENR_SM_START && machine.get_current_charlen() >= 2) ++multi_byte;
  }
  double confidence = 0.99f;
  if (multi_byte < 6) {
    double unlikely = 0.99f;
    for (std::uint32_t i = 0; i < multi_byte; ++i) unlikely *= 0.5;
    confidence = 1.0 - unlikely;
  }
  values[m_slot] = static_cast<std::uint16_t>(confidence * 100);
}

void Enr_utf16_feature::generate(const Enr_input_text& text, std::uint16_t* values) {
  const unsigned char* data = text.data();
  const std::uint32_t length = text.length();
  if (length >= 2 && ((data[0] == 0xFE && data[1] == 0xFF) || (data[0] == 0xFF && data[1] == 0xFE))) {
    values[m_slot] = 100;
    values[m_slot + 1] = 0;
    values[m_slot + 2] = 0;
    return;
  }
  values[m_slot] = 0;
  std::uint16_t big = 10;
  std::uint16_t little = 10;
  bool big_decided = false;
  bool little_decided = false;
  Enr_state_machine big_machine(enr_sm_model(ENR_SM_UTF16BE));
  Enr_state_machine little_machine(enr_sm_model(ENR_SM_UTF16LE));
  for (std::uint32_t i = 0; i < length && !(big_decided && little_decided); ++i) {
    if (!big_decided) {
      const Sm_state state = big_machine.next_state(data[i]);
      if (state == ENR_SM_ITS_ME || state == ENR_SM_ERROR) {
        big = state == ENR_SM_ITS_ME ? 100 : 0;
        big_decided = true;
      }
    }
    if (!little_decided) {
      const Sm_state state = little_machine.next_state(data[i]);
      if (state == ENR_SM_ITS_ME || state == ENR_SM_ERROR) {
        little = state == ENR_SM_ITS_ME ? 100 : 0;
        little_decided = true;
      }
    }
  }
  values[m_slot + 1] = big;
  values[m_slot + 2] = little;
}

namespace {

bool utf32_valid(std::uint32_t value) { return value <= 0xD7FF || (value >= 0xE000 && value <= 0x111FFE); }

std::uint16_t utf32_score(std::uint32_t valid, std::uint32_t invalid) {
  if (invalid == 0) return 100;
  if (valid > 10 * invalid) return 80;
  return 0;
}

}  // namespace

void Enr_utf32_feature::generate(const Enr_input_text& text, std::uint16_t* values) {
  const unsigned char* data = text.data();
  const std::uint32_t length = text.length() & ~3u;
  if (length >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 0xFE && data[3] == 0xFF) {
    values[m_slot] = 100;
    values[m_slot + 1] = 0;
    values[m_slot + 2] = 0;
    return;
  }
  std::uint32_t big_valid = 0, big_invalid = 0, little_valid = 0, little_invalid = 0;
  for (std::uint32_t i = 0; i < length; i += 4) {
    const std::uint32_t big = (std::uint32_t{data[i]} << 24) | (std::uint32_t{data[i + 1]} << 16) |
                              (std::uint32_t{data[i + 2]} << 8) | data[i + 3];
    const std::uint32_t little = (std::uint32_t{data[i + 3]} << 24) | (std::uint32_t{data[i + 2]} << 16) |
                                 (std::uint32_t{data[i + 1]} << 8) | data[i];
    ++(utf32_valid(big) ? big_valid : big_invalid);
    ++(utf32_valid(little) ? little_valid : little_invalid);
  }
  values[m_slot] = 0;
  values[m_slot + 1] = utf32_score(big_valid, big_invalid);
  values[m_slot + 2] = utf32_score(little_valid, little_invalid);
}

}  // namespace enr
