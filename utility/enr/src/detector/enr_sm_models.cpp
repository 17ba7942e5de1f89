// The byte automata of the multi-byte and escape encodings, written from the
// encodings' own definitions. Each model is stated as a byte-class function
// and a transition table over named states, and packed four bits per entry
// at compile time; state 0 is the start, 1 the error, 2 "certainly this
// encoding", and the error and certain rows lead back to themselves.

#include <array>
#include <cstdint>

#include "enr/enr_feature_models.h"

namespace enr {
namespace {

constexpr std::uint32_t S = ENR_SM_START;
constexpr std::uint32_t E = ENR_SM_ERROR;
constexpr std::uint32_t M = ENR_SM_ITS_ME;

template <std::size_t N>
constexpr std::array<std::uint32_t, (N + 7) / 8> pack4(const std::array<std::uint8_t, N>& entries) {
  std::array<std::uint32_t, (N + 7) / 8> words{};
  for (std::size_t i = 0; i < N; ++i) words[i / 8] |= std::uint32_t{entries[i]} << ((i % 8) * 4);
  return words;
}

template <typename Class_of>
constexpr std::array<std::uint8_t, 256> classes_of(Class_of class_of) {
  std::array<std::uint8_t, 256> classes{};
  for (unsigned b = 0; b < 256; ++b) classes[b] = static_cast<std::uint8_t>(class_of(static_cast<unsigned char>(b)));
  return classes;
}

// rows: one row of class_count next states per state; the error and certain
// rows are filled in here.
template <std::size_t STATES, std::size_t CLASSES>
constexpr std::array<std::uint8_t, STATES * CLASSES> states_of(
    const std::array<std::array<std::uint8_t, CLASSES>, STATES>& rows) {
  std::array<std::uint8_t, STATES * CLASSES> table{};
  for (std::size_t s = 0; s < STATES; ++s) {
    for (std::size_t c = 0; c < CLASSES; ++c) {
      std::uint8_t next = rows[s][c];
      if (s == E) next = E;
      if (s == M) next = M;
      table[s * CLASSES + c] = next;
    }
  }
  return table;
}

constexpr Sm_packed_table packed(const std::uint32_t* words) { return Sm_packed_table{3, 7, 2, 0xF, words}; }

// UTF-8 as RFC 3629 restricts it: shortest forms only, no surrogates,
// nothing above U+10FFFF.
constexpr unsigned utf8_class(unsigned char b) {
  if (b < 0x80) return 0;
  if (b < 0x90) return 1;
  if (b < 0xA0) return 2;
  if (b < 0xC0) return 3;
  if (b < 0xC2) return 4;
  if (b < 0xE0) return 5;
  if (b == 0xE0) return 6;
  if (b == 0xED) return 8;
  if (b < 0xF0) return 7;
  if (b == 0xF0) return 9;
  if (b < 0xF4) return 10;
  if (b == 0xF4) return 11;
  return 12;
}
// 3: one continuation left; 4: two left; 5: after E0 (A0..BF, then one);
// 6: after ED (80..9F, then one); 7: three left; 8: after F0 (90..BF, then
// two); 9: after F4 (80..8F, then two).
constexpr std::array<std::array<std::uint8_t, 13>, 10> UTF8_ROWS = {{
    {S, E, E, E, E, 3, 5, 4, 6, 8, 7, 9, E},
    {},
    {},
    {E, S, S, S, E, E, E, E, E, E, E, E, E},
    {E, 3, 3, 3, E, E, E, E, E, E, E, E, E},
    {E, E, E, 3, E, E, E, E, E, E, E, E, E},
    {E, 3, 3, E, E, E, E, E, E, E, E, E, E},
    {E, 4, 4, 4, E, E, E, E, E, E, E, E, E},
    {E, E, 4, 4, E, E, E, E, E, E, E, E, E},
    {E, 4, E, E, E, E, E, E, E, E, E, E, E},
}};
constexpr auto UTF8_CLASSES = pack4(classes_of(utf8_class));
constexpr auto UTF8_STATES = pack4(states_of(UTF8_ROWS));
constexpr std::uint32_t UTF8_LENGTHS[13] = {1, 0, 0, 0, 0, 2, 3, 3, 3, 4, 4, 4, 0};

// UTF-16: surrogates must pair up, and a line end (U+000A or U+000D) at a
// unit boundary, a byte pattern eight-bit text never has, is taken as proof.
// A zero unit and the C0 controls other than TAB, LF, VT, FF and CR are no
// text, as the platform's UTF-16 test holds too: they are what words of
// binary data and UTF-32 text read as, so they count as errors.
constexpr unsigned utf16_class(unsigned char b) {
  if (b == 0x00) return 0;
  if (b == 0x0A || b == 0x0D) return 1;
  if (b >= 0xD8 && b <= 0xDB) return 2;
  if (b >= 0xDC && b <= 0xDF) return 3;
  if ((b >= 0x01 && b <= 0x08) || (b >= 0x0E && b <= 0x1F)) return 4;
  return 5;
}
// Big-endian. 3: high byte 00 read; 4: other high byte read; 5: high byte
// of a high surrogate read; 6: high surrogate complete, a low one must follow.
constexpr std::array<std::array<std::uint8_t, 6>, 7> UTF16BE_ROWS = {{
    {3, 4, 5, E, 4, 4},
    {},
    {},
    {E, M, S, S, E, S},
    {S, S, S, S, S, S},
    {6, 6, 6, 6, 6, 6},
    {E, E, E, 4, E, E},
}};
// Little-endian. 3: low byte 0A/0D read; 4: other low byte read; 5: high
// surrogate complete; 6: low byte of the unit after it read; 7: low byte 00
// or of a control read.
constexpr std::array<std::array<std::uint8_t, 6>, 8> UTF16LE_ROWS = {{
    {7, 3, 4, 4, 7, 4},
    {},
    {},
    {M, S, 5, E, S, S},
    {S, S, 5, E, S, S},
    {6, 6, 6, 6, 6, 6},
    {E, E, E, S, E, E},
    {E, S, 5, E, S, S},
}};
constexpr auto UTF16_CLASSES = pack4(classes_of(utf16_class));
constexpr auto UTF16BE_STATES = pack4(states_of(UTF16BE_ROWS));
constexpr auto UTF16LE_STATES = pack4(states_of(UTF16LE_ROWS));
constexpr std::uint32_t UTF16_LENGTHS[6] = {2, 2, 2, 2, 2, 2};

// Big5: lead bytes 81..FE, trail bytes 40..7E and A1..FE.
constexpr unsigned big5_class(unsigned char b) {
  if (b < 0x40) return 0;
  if (b < 0x7F) return 1;
  if (b == 0x7F) return 2;
  if (b == 0x80) return 3;
  if (b < 0xA1) return 4;
  if (b < 0xFF) return 5;
  return 3;
}
constexpr std::array<std::array<std::uint8_t, 6>, 4> BIG5_ROWS = {{
    {S, S, S, E, 3, 3},
    {},
    {},
    {E, S, E, E, E, S},
}};
constexpr auto BIG5_CLASSES = pack4(classes_of(big5_class));
constexpr auto BIG5_STATES = pack4(states_of(BIG5_ROWS));
constexpr std::uint32_t BIG5_LENGTHS[6] = {1, 1, 1, 0, 2, 2};

// EUC-JP: ASCII; 8E and a half-width katakana A1..DF; 8F and two bytes
// A1..FE (JIS X 0212); two bytes A1..FE (JIS X 0208).
constexpr unsigned euc_jp_class(unsigned char b) {
  if (b < 0x80) return 0;
  if (b == 0x8E) return 1;
  if (b == 0x8F) return 2;
  if (b >= 0xA1 && b <= 0xDF) return 3;
  if (b >= 0xE0 && b <= 0xFE) return 4;
  return 5;
}
// 3: katakana byte due; 4: two bytes of JIS X 0212 due; 5: one trail due.
constexpr std::array<std::array<std::uint8_t, 6>, 6> EUC_JP_ROWS = {{
    {S, 3, 4, 5, 5, E},
    {},
    {},
    {E, E, E, S, E, E},
    {E, E, E, 5, 5, E},
    {E, E, E, S, S, E},
}};
constexpr auto EUC_JP_CLASSES = pack4(classes_of(euc_jp_class));
constexpr auto EUC_JP_STATES = pack4(states_of(EUC_JP_ROWS));
constexpr std::uint32_t EUC_JP_LENGTHS[6] = {1, 2, 3, 2, 2, 0};

// EUC-KR: ASCII and two bytes A1..FE (KS X 1001).
constexpr unsigned euc_kr_class(unsigned char b) {
  if (b < 0x80) return 0;
  if (b >= 0xA1 && b <= 0xFE) return 1;
  return 2;
}
constexpr std::array<std::array<std::uint8_t, 3>, 4> EUC_KR_ROWS = {{
    {S, 3, E},
    {},
    {},
    {E, S, E},
}};
constexpr auto EUC_KR_CLASSES = pack4(classes_of(euc_kr_class));
constexpr auto EUC_KR_STATES = pack4(states_of(EUC_KR_ROWS));
constexpr std::uint32_t EUC_KR_LENGTHS[3] = {1, 2, 0};

// GB 18030: ASCII; lead 81..FE with trail 40..7E or 80..FE; or lead 81..FE,
// digit, 81..FE, digit.
constexpr unsigned gb18030_class(unsigned char b) {
  if (b >= '0' && b <= '9') return 1;
  if (b < 0x40) return 0;
  if (b < 0x7F) return 2;
  if (b == 0x7F) return 3;
  if (b == 0x80) return 4;
  if (b < 0xFF) return 5;
  return 6;
}
// 3: after a lead byte; 4: after lead and digit; 5: after the third byte.
constexpr std::array<std::array<std::uint8_t, 7>, 6> GB18030_ROWS = {{
    {S, S, S, S, E, 3, E},
    {},
    {},
    {E, 4, S, E, S, S, E},
    {E, E, E, E, E, 5, E},
    {E, S, E, E, E, E, E},
}};
constexpr auto GB18030_CLASSES = pack4(classes_of(gb18030_class));
constexpr auto GB18030_STATES = pack4(states_of(GB18030_ROWS));
constexpr std::uint32_t GB18030_LENGTHS[7] = {1, 1, 1, 1, 0, 2, 0};

// HZ (RFC 1843): "~{" shifts to GB 2312 pairs of 21..7E, "~}" back; "~~" is
// a tilde and "~" before a line end joins lines. A complete shifted run with
// at least one pair is proof.
constexpr unsigned hz_class(unsigned char b) {
  if (b == '~') return 0;
  if (b == '{') return 1;
  if (b == '}') return 2;
  if (b == '\n') return 3;
  if (b > 0x20 && b < 0x7F) return 4;
  if (b >= 0x80) return 5;
  return 6;
}
// 3: "~" in ASCII; 4: shifted, no pair yet; 5: "~" shifted, no pair yet;
// 6: first byte of a first pair; 7: shifted after a pair; 8: "~" after a
// pair; 9: first byte of a later pair.
constexpr std::array<std::array<std::uint8_t, 7>, 10> HZ_ROWS = {{
    {3, S, S, S, S, E, S},
    {},
    {},
    {S, 4, S, S, E, E, E},
    {5, 6, 6, S, 6, E, E},
    {E, E, S, E, E, E, E},
    {7, 7, 7, E, 7, E, E},
    {8, 9, 9, S, 9, E, E},
    {E, E, M, E, E, E, E},
    {7, 7, 7, E, 7, E, E},
}};
constexpr auto HZ_CLASSES = pack4(classes_of(hz_class));
constexpr auto HZ_STATES = pack4(states_of(HZ_ROWS));
constexpr std::uint32_t HZ_LENGTHS[7] = {1, 1, 1, 1, 1, 0, 1};

// ISO-2022-JP (RFC 1468, with JIS X 0212 and katakana designations of its
// extensions): seven-bit text where a complete designation is proof.
constexpr unsigned iso2022jp_class(unsigned char b) {
  switch (b) {
    case 0x1B: return 0;
    case '(': return 1;
    case '$': return 2;
    case 'B': return 3;
    case 'J':
    case 'I': return 4;
    case '@': return 5;
    case 'D': return 6;
    default: return b >= 0x80 ? 7 : 8;
  }
}
// 3: ESC; 4: ESC "("; 5: ESC "$"; 6: ESC "$" "(".
constexpr std::array<std::array<std::uint8_t, 9>, 7> ISO2022JP_ROWS = {{
    {3, S, S, S, S, S, S, E, S},
    {},
    {},
    {E, 4, 5, E, E, E, E, E, E},
    {E, E, E, M, M, E, E, E, E},
    {E, 6, E, M, E, M, E, E, E},
    {E, E, E, E, E, E, M, E, E},
}};
constexpr auto ISO2022JP_CLASSES = pack4(classes_of(iso2022jp_class));
constexpr auto ISO2022JP_STATES = pack4(states_of(ISO2022JP_ROWS));
constexpr std::uint32_t ISO2022JP_LENGTHS[9] = {1, 1, 1, 1, 1, 1, 1, 0, 1};

// ISO-2022-KR (RFC 1557): ESC "$" ")" "C" designates KS X 1001 for SO.
constexpr unsigned iso2022kr_class(unsigned char b) {
  switch (b) {
    case 0x1B: return 0;
    case '$': return 1;
    case ')': return 2;
    case 'C': return 3;
    default: return b >= 0x80 ? 4 : 5;
  }
}
constexpr std::array<std::array<std::uint8_t, 6>, 6> ISO2022KR_ROWS = {{
    {3, S, S, S, E, S},
    {},
    {},
    {E, 4, E, E, E, E},
    {E, E, 5, E, E, E},
    {E, E, E, M, E, E},
}};
constexpr auto ISO2022KR_CLASSES = pack4(classes_of(iso2022kr_class));
constexpr auto ISO2022KR_STATES = pack4(states_of(ISO2022KR_ROWS));
constexpr std::uint32_t ISO2022KR_LENGTHS[6] = {1, 1, 1, 1, 0, 1};

#define ENR_SM_MODEL(NAME, CLASS_COUNT) \
  Sm_model { packed(NAME##_CLASSES.data()), CLASS_COUNT, packed(NAME##_STATES.data()), NAME##_LENGTHS }

const Sm_model UTF8_MODEL = ENR_SM_MODEL(UTF8, 13);
const Sm_model UTF16BE_MODEL{packed(UTF16_CLASSES.data()), 6, packed(UTF16BE_STATES.data()), UTF16_LENGTHS};
const Sm_model UTF16LE_MODEL{packed(UTF16_CLASSES.data()), 6, packed(UTF16LE_STATES.data()), UTF16_LENGTHS};
const Sm_model BIG5_MODEL = ENR_SM_MODEL(BIG5, 6);
const Sm_model EUC_JP_MODEL = ENR_SM_MODEL(EUC_JP, 6);
const Sm_model EUC_KR_MODEL = ENR_SM_MODEL(EUC_KR, 3);
const Sm_model GB18030_MODEL = ENR_SM_MODEL(GB18030, 7);
const Sm_model HZ_MODEL = ENR_SM_MODEL(HZ, 7);
const Sm_model ISO2022JP_MODEL = ENR_SM_MODEL(ISO2022JP, 9);
const Sm_model ISO2022KR_MODEL = ENR_SM_MODEL(ISO2022KR, 6);

#undef ENR_SM_MODEL

}  // namespace

const Sm_model& enr_sm_model(Enr_sm_kind kind) {
  switch (kind) {
    case ENR_SM_UTF8: return UTF8_MODEL;
    case ENR_SM_UTF16BE: return UTF16BE_MODEL;
    case ENR_SM_UTF16LE: return UTF16LE_MODEL;
    case ENR_SM_BIG5: return BIG5_MODEL;
    case ENR_SM_EUC_JP: return EUC_JP_MODEL;
    case ENR_SM_EUC_KR: return EUC_KR_MODEL;
    case ENR_SM_GB18030: return GB18030_MODEL;
    case ENR_SM_HZ: return HZ_MODEL;
    case ENR_SM_ISO2022JP: return ISO2022JP_MODEL;
    case ENR_SM_ISO2022KR: break;
  }
  return ISO2022KR_MODEL;
}

}  // namespace enr
