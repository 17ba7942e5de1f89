#include "enr/enr_detect_char_length.h"

#include <unicode/ucnv.h>

#include <map>
#include <mutex>
#include <stdexcept>
#include <string>

#include "krn/krn_status.h"

namespace enr {

namespace {

Enr_encoding lookup(const char* name) {
  krn::Wstring wide;
  for (const char* c = name; *c; ++c) wide += static_cast<char16_t>(*c);
  krn::Krn_status status;
  return enr_display_name(wide, status);
}

}  // namespace

Enr_charcter_length_processor::~Enr_charcter_length_processor() = default;

const unsigned char* Enr_charcter_length_processor::at(const unsigned char* begin, const unsigned char* end,
                                                       std::streamoff position) {
  if (position < 0) throw std::overflow_error("streampos too negative for size_t");
  if (begin == nullptr || position >= end - begin) return nullptr;
  return begin + position;
}

Enr_single_length_base::Enr_single_length_base(const char* name) : m_encoding(lookup(name)) {
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(name, &error);
  if (U_FAILURE(error)) return;
  error = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  bool in_range = false;
  for (unsigned b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    UChar unit[4];
    error = U_ZERO_ERROR;
    ucnv_reset(converter);
    const int32_t length = ucnv_toUChars(converter, unit, 4, &byte, 1, &error);
    // ICU passes the holes of the Windows code pages through as C1 controls.
    const bool assigned = U_SUCCESS(error) && length == 1 && unit[0] != 0xFFFD && unit[0] != 0x1A &&
                          !(unit[0] >= 0x80 && unit[0] <= 0x9F);
    if (assigned && in_range) {
      m_ranges.back().second = static_cast<unsigned char>(b);
    } else if (assigned) {
      m_ranges.emplace_back(static_cast<unsigned char>(b), static_cast<unsigned char>(b));
    }
    in_range = assigned;
  }
  ucnv_close(converter);
}

std::size_t Enr_single_length_base::char_length(const unsigned char* begin, const unsigned char* end,
                                                std::streamoff position) const {
  const unsigned char* byte = at(begin, end, position);
  if (byte == nullptr) return 0;
  for (const auto& [first, last] : m_ranges) {
    if (*byte >= first && *byte <= last) return 1;
  }
  return 0;
}

Enr_double_length_base::Enr_double_length_base(const char* name, bool (*is_lead)(unsigned char),
                                               bool (*is_trail)(unsigned char), bool (*is_single)(unsigned char))
    : m_encoding(lookup(name)), m_is_lead(is_lead), m_is_trail(is_trail), m_is_single(is_single) {}

std::size_t Enr_double_length_base::char_length(const unsigned char* begin, const unsigned char* end,
                                                std::streamoff position) const {
  const unsigned char* byte = at(begin, end, position);
  if (byte == nullptr) return 0;
  if (m_is_single(*byte)) return 1;
  if (!m_is_lead(*byte) || byte + 1 >= end || !m_is_trail(byte[1])) return 0;
  return 2;
}

namespace {

bool ascii(unsigned char b) { return b < 0x80; }

}  // namespace

// Unified Hangul Code: lead 81..FE; trail letters and 81..FE.
Enr_cp1363_length_processor::Enr_cp1363_length_processor()
    : Enr_double_length_base(
          "ibm-1363", [](unsigned char b) { return b >= 0x81 && b <= 0xFE; },
          [](unsigned char b) { return (b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) || (b >= 0x81 && b <= 0xFE); },
          ascii) {}

Enr_BIG5_length_processor::Enr_BIG5_length_processor()
    : Enr_double_length_base(
          "Big5", [](unsigned char b) { return b >= 0x81 && b <= 0xFE; },
          [](unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE); }, ascii) {}

// EUC-CN: both bytes A1..FE.
Enr_GB2312_length_processor::Enr_GB2312_length_processor()
    : Enr_double_length_base(
          "GB2312", [](unsigned char b) { return b >= 0xA1 && b <= 0xFE; },
          [](unsigned char b) { return b >= 0xA1 && b <= 0xFE; }, ascii) {}

// Half-width katakana A1..DF are single bytes.
Enr_Shift_jis_length_processor::Enr_Shift_jis_length_processor()
    : Enr_double_length_base(
          "Shift_JIS", [](unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); },
          [](unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; },
          [](unsigned char b) { return b < 0x80 || (b >= 0xA1 && b <= 0xDF); }) {}

std::size_t Enr_UTF8_length_processor::char_length(const unsigned char* begin, const unsigned char* end,
                                                   std::streamoff position) const {
  const unsigned char* byte = at(begin, end, position);
  if (byte == nullptr) return 0;
  std::size_t ones = 0;
  for (unsigned mask = 0x80; mask != 0 && (*byte & mask) != 0; mask >>= 1) ++ones;
  if (ones == 0) return 1;
  if (ones == 1 || ones > 6) return 0;
  return ones;
}

std::size_t Enr_UTF16_length_processor::char_length(const unsigned char* begin, const unsigned char* end,
                                                    std::streamoff position) const {
  const unsigned char* byte = at(begin, end, position);
  if (byte == nullptr || byte + 1 >= end) return 0;
  const unsigned unit = byte[0] | (byte[1] << 8);
  if (unit >= 0xDC00 && unit <= 0xDFFF) return 0;
  if (unit < 0xD800 || unit > 0xDBFF) return 2;
  if (byte + 3 >= end) return 0;
  const unsigned next = byte[2] | (byte[3] << 8);
  return next >= 0xDC00 && next <= 0xDFFF ? 4 : 0;
}

Enr_encoding Enr_UTF16_length_processor::encoding() const {
  static const Enr_encoding utf16 = lookup("UTF-16LE");
  return utf16;
}

namespace {

std::map<Enr_encoding, Enr_char_length_processor_factory::Creator> s_char_length_table;
std::once_flag s_loaded;

template <typename Processor>
std::unique_ptr<Enr_charcter_length_processor> create() {
  return std::make_unique<Processor>();
}

}  // namespace

void Enr_char_length_processor_factory::load() {
  const std::pair<const char*, Creator> creators[] = {
      {"windows-874", create<Enr_windows_874_length_processor>},
      {"windows-1250", create<Enr_windows_1250_length_processor>},
      {"windows-1251", create<Enr_windows_1251_length_processor>},
      {"windows-1252", create<Enr_windows_1252_length_processor>},
      {"windows-1253", create<Enr_windows_1253_length_processor>},
      {"windows-1254", create<Enr_windows_1254_length_processor>},
      {"windows-1255", create<Enr_windows_1255_length_processor>},
      {"windows-1256", create<Enr_windows_1256_length_processor>},
      {"windows-1257", create<Enr_windows_1257_length_processor>},
      {"windows-1258", create<Enr_windows_1258_length_processor>},
      {"windows-10000", create<Enr_windows_10000_length_processor>},
      {"windows-10003", create<Windows_10003_length_processor>},
      {"ibm-1363", create<Enr_cp1363_length_processor>},
      {"Big5", create<Enr_BIG5_length_processor>},
      {"GB2312", create<Enr_GB2312_length_processor>},
      {"Shift_JIS", create<Enr_Shift_jis_length_processor>},
      {"utf-8", create<Enr_UTF8_length_processor>},
      {"UTF-16LE", create<Enr_UTF16_length_processor>},
      {"UTF-16", create<Enr_UTF16_length_processor>},
  };
  for (const auto& [name, creator] : creators) {
    const Enr_encoding encoding = lookup(name);
    if (encoding != ENR_UNKNOWN_ENCODING) s_char_length_table.emplace(encoding, creator);
  }
}

void Enr_char_length_processor_factory::initialise() { std::call_once(s_loaded, load); }

std::unique_ptr<Enr_charcter_length_processor> Enr_char_length_processor_factory::get_processor(
    Enr_encoding encoding) {
  initialise();
  const auto found = s_char_length_table.find(encoding);
  if (found == s_char_length_table.end()) return nullptr;
  return found->second();
}

}  // namespace enr
