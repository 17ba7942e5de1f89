#include "enr/enr_detector.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_group.h>

#include <unicode/ucnv.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <exception>
#include <memory>
#include <new>

#include "enr/enr_classifier.h"
#include "enr/enr_detector_status.h"
#include "enr/enr_feature.h"
#include "enr/enr_input_text.h"
#include "enr/enr_status_codes.h"
#include "krn/krn_buffer.h"
#include "krn/krn_critical.h"
#include "krn/krn_file.h"
#include "krn/krn_file_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "krn/krn_string.h"
#include "krn/krn_system.h"

namespace enr {

namespace {

// The share of unassigned code points the UTF-16 check forgives (one unit in
// twenty): enough for stray characters of a newer Unicode version or one cut
// off at the end of a short text, too little for eight-bit text read as pairs.
constexpr unsigned short UTF16_TOLERANCE_PERCENT = 5;
constexpr std::uint32_t CHECK_BLOCK = 4096;

struct Known_encodings {
  Enr_encoding utf16;
  Enr_encoding utf16be;
  Enr_encoding utf16le;
  Enr_encoding utf32be;
  Enr_encoding utf32le;
  Enr_encoding hz;
};

Enr_encoding lookup(const char16_t* name) {
  krn::Krn_status status;
  return enr_display_name(krn::Wstring(name), status);
}

const Known_encodings& known_encodings() {
  static const Known_encodings known{lookup(u"UTF-16"),   lookup(u"UTF-16BE"), lookup(u"UTF-16LE"),
                                     lookup(u"UTF-32BE"), lookup(u"UTF-32LE"), lookup(u"hz-gb-2312")};
  return known;
}

bool is_utf16(Enr_encoding encoding) {
  const Known_encodings& known = known_encodings();
  return encoding != ENR_UNKNOWN_ENCODING &&
         (encoding == known.utf16 || encoding == known.utf16be || encoding == known.utf16le);
}

struct Generators {
  std::vector<Enr_feature*> list;
  ~Generators() {
    for (Enr_feature* feature : list) delete feature;
  }
};

// The platform's UTF-16 test prefers the host's (little-endian) order
// whenever both orders read as assigned characters, as Latin text does
// either way (00 41 read the wrong way is the ideograph U+4100) and much CJK
// text does too. So the order comes from the high halves of the code units
// where they show: zero bytes, the high halves of Latin characters, or else
// one byte value that fills most of one column (04 for Cyrillic, 05 for
// Hebrew, 30 for kana) while the other column varies. Positive for
// big-endian (the high halves at even offsets), negative for little-endian,
// 0 for no evidence.
int zero_byte_order(const Enr_input_text& text) {
  std::uint32_t even = 0, odd = 0;
  const unsigned char* data = text.data();
  for (std::uint32_t i = 0; i + 1 < text.length(); i += 2) {
    even += data[i] == 0;
    odd += data[i + 1] == 0;
  }
  // Only a clear majority counts; CJK text has few zeros either way.
  if (even > 2 * odd + 2) return 1;
  if (odd > 2 * even + 2) return -1;
  return 0;
}

int high_half_order(const Enr_input_text& text) {
  if (const int zeros = zero_byte_order(text); zeros != 0) return zeros;
  const unsigned char* data = text.data();
  const std::uint32_t units = text.length() / 2;
  if (units < 4) return 0;
  std::uint32_t columns[2][256] = {};
  for (std::uint32_t i = 0; i + 1 < text.length(); i += 2) {
    ++columns[0][data[i]];
    ++columns[1][data[i + 1]];
  }
  // Zero bytes in both columns say nothing of the order.
  if (columns[0][0] + columns[1][0] > 0) return 0;
  const std::uint32_t top_even = *std::max_element(columns[0], columns[0] + 256);
  const std::uint32_t top_odd = *std::max_element(columns[1], columns[1] + 256);
  if (2 * top_even >= units && top_even > 2 * top_odd) return 1;
  if (2 * top_odd >= units && top_odd > 2 * top_even) return -1;
  return 0;
}

// True when some quarter of the code units, read in either order, are
// characters of an alphabet or syllabary, or punctuation and forms that
// text in any script uses: what real UTF-16 text of some length holds.
// Ideographs do not count: every double-byte encoding reads as ideographs
// when taken in pairs.
bool common_utf16_units(const Enr_input_text& text) {
  auto common = [](std::uint32_t unit) {
    const std::uint32_t block = unit >> 8;
    return block <= 0x0E || block == 0x20 || block == 0x30 || (block >= 0xAC && block <= 0xD7) || block == 0xFF;
  };
  const unsigned char* data = text.data();
  std::uint32_t big = 0, little = 0, units = 0;
  for (std::uint32_t i = 0; i + 1 < text.length(); i += 2, ++units) {
    big += common((std::uint32_t{data[i]} << 8) | data[i + 1]);
    little += common((std::uint32_t{data[i + 1]} << 8) | data[i]);
  }
  return 4 * std::max(big, little) >= units && units > 0;
}

// How a double-byte encoding reads a text: wholly (a character cut off by
// the end aside), with some character of two bytes and, when mostly is set,
// with at most a quarter of the bytes in characters of one byte.
bool reads_as_double_byte(const char* encoding, const Enr_input_text& text, bool mostly = true) {
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(encoding, &error);
  if (U_FAILURE(error)) return false;
  ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  const char* source = reinterpret_cast<const char*>(text.data());
  const char* const limit = source + text.length();
  std::vector<UChar> out(text.length() + 1);
  UChar* target = out.data();
  // Not flushed: the bytes left in the converter are a character cut off by
  // the end.
  ucnv_toUnicode(converter, &target, out.data() + out.size(), &source, limit, nullptr, false, &error);
  const bool whole = U_SUCCESS(error);
  ucnv_close(converter);
  if (!whole) return false;
  const auto units = static_cast<std::uint32_t>(target - out.data());
  std::uint32_t single = 0;
  for (std::uint32_t i = 0; i < units; ++i) single += out[i] < 0x80 || (out[i] >= 0xFF61 && out[i] <= 0xFF9F);
  return units > single && (!mostly || 4 * single <= text.length());
}

// Short double-byte text that the trees took for UTF-16: the encoding whose
// common characters the text holds most of, among those that read it.
std::string double_byte_reading(const Enr_input_text& text, const std::uint16_t* values) {
  struct Candidate {
    const char* label;
    const char* converter;
    Enr_feature_array_offset common;
  };
  static constexpr Candidate CANDIDATES[] = {{"shift_jis", "Shift_JIS", ENR_F_SJIS},
                                             {"euc-jp", "EUC-JP", ENR_F_EUC_JP},
                                             {"euc-kr", "EUC-KR", ENR_F_EUC_KR},
                                             {"big5", "Big5", ENR_F_BIG5},
                                             {"gb18030", "GB18030", ENR_F_GB18030}};
  const Candidate* best = nullptr;
  for (const Candidate& candidate : CANDIDATES) {
    if ((best == nullptr || values[candidate.common] > values[best->common]) &&
        reads_as_double_byte(candidate.converter, text)) {
      best = &candidate;
    }
  }
  return best ? best->label : std::string();
}

// True when Shift_JIS reads the whole text, and at least two of its
// double-byte characters, and a quarter of them, are among the commonest of
// Japanese (kana, punctuation and frequent kanji). Single-byte text read in
// pairs gives rare kanji; short Japanese is often half ASCII.
bool common_shift_jis(const Enr_input_text& text) {
  if (!reads_as_double_byte("Shift_JIS", text, false)) return false;
  const Enr_common_table& table = enr_trained_models().common[ENR_COMMON_SJIS];
  if (table.codes == nullptr) return false;
  Enr_mb_iterator_sjis characters(text.data(), text.length());
  std::uint32_t double_byte = 0, common = 0;
  while (characters.next_char()) {
    if (characters.is_invalid() || characters.get_char() <= 0xFF) continue;
    ++double_byte;
    common += std::binary_search(table.codes, table.codes + table.count, characters.get_char());
  }
  return common >= 2 && 4 * common >= double_byte;
}

// Labels of text that may be double-byte Japanese read as something else.
bool single_byte_or_utf16(const std::string& label) {
  static constexpr const char* OTHERS[] = {"utf-8",  "utf-32", "shift_jis", "euc-jp",     "euc-kr", "big5",
                                           "gb2312", "gb18030", "hz-gb-2312", "iso-2022", "binary"};
  return std::none_of(std::begin(OTHERS), std::end(OTHERS),
                      [&](const char* other) { return label.rfind(other, 0) == 0; });
}

// Greek capital alpha with tonos, which starts many Greek words, is 0xA2 in
// windows-1253 and 0xB6 in ISO-8859-7, where the other code page has an
// apostrophe and a pilcrow. At the start of a word and before a Greek
// letter it says which of the two the text is in.
std::string greek_alpha_tonos(const std::string& label, const Enr_input_text& text, const std::uint16_t* values) {
  const bool iso = label == "iso-8859-7";
  if (!iso && label != "windows-1253") return label;
  const unsigned char* data = text.data();
  std::uint32_t windows = 0, iso_alpha = 0;
  for (std::uint32_t i = 0; i + 1 < text.length(); ++i) {
    if (data[i] != 0xA2 && data[i] != 0xB6) continue;
    const bool word_start = i == 0 || (data[i - 1] < 0x80 && !std::isalnum(data[i - 1]));
    const bool greek_next = data[i + 1] >= 0xC1 && data[i + 1] <= 0xFE;
    if (word_start && greek_next) (data[i] == 0xA2 ? windows : iso_alpha) += 1;
  }
  const char* other = iso ? "windows-1253" : "ISO-8859-7";
  const bool switch_over = iso ? windows > iso_alpha : iso_alpha > windows;
  if (switch_over && values[ENR_F_UNDEFINED + enr_single_byte_page(other)] == 0) {
    return iso ? "windows-1253" : "iso-8859-7";
  }
  return label;
}

// An ISO-8859 answer for text that holds bytes the part leaves undefined
// (0x80 to 0x9F above all, controls in every part, which the Windows code
// pages use for quotes, dashes and letters) becomes the part's Windows
// sibling when that defines every byte of the text.
std::string windows_sibling(const std::string& label, const std::uint16_t* values) {
  static constexpr const char* SIBLINGS[][3] = {{"iso-8859-1", "ISO-8859-1", "windows-1252"},
                                                {"iso-8859-2", "ISO-8859-2", "windows-1250"},
                                                {"iso-8859-7", "ISO-8859-7", "windows-1253"},
                                                {"iso-8859-8", "ISO-8859-8", "windows-1255"},
                                                {"iso-8859-9", "ISO-8859-9", "windows-1254"}};
  for (const auto& sibling : SIBLINGS) {
    if (label != sibling[0]) continue;
    const unsigned iso = enr_single_byte_page(sibling[1]);
    const unsigned windows = enr_single_byte_page(sibling[2]);
    if (values[ENR_F_UNDEFINED + iso] > 0 && values[ENR_F_UNDEFINED + windows] == 0) return sibling[2];
  }
  return label;
}

// "utf-32be" or "utf-32le" for text of whole UTF-32 units that reads as
// UTF-32 in that order only; empty otherwise.
std::string utf32_order(const Enr_input_text& text, const std::uint16_t* values) {
  const bool big = values[ENR_F_UTF32 + 1] == 100, little = values[ENR_F_UTF32 + 2] == 100;
  if (big == little || text.length() < 8 || text.length() % 4 != 0) return {};
  return big ? "utf-32be" : "utf-32le";
}

// Texts up to this length that the trees call UTF-16 are checked for a
// double-byte reading, and up to the second, when the trees call them a
// single-byte encoding, for a reading as common Japanese.
constexpr std::uint32_t SHORT_TEXT = 256;
constexpr std::uint32_t SHORT_SHIFT_JIS = 64;

std::string exception_text(const std::exception* e) { return e ? e->what() : "unknown exception"; }

// Reads the whole buffer block by block and hands each block to visit,
// which returns false to stop early. Status errors end the walk.
template <typename Visit>
void for_each_block(const krn::Krn_buffer& buffer, krn::Krn_status& status, Visit visit) {
  krn::Krn_unbuffered_istream in(buffer, false, status);
  if (!status.ok()) return;
  unsigned char block[CHECK_BLOCK];
  for (;;) {
    const krn::uint64 got = in.read(CHECK_BLOCK, block, status);
    if (got > 0 && !visit(block, static_cast<std::uint32_t>(got))) break;
    if (!status.ok() || got < CHECK_BLOCK) break;
  }
  if (status == krn::KRN_E_END_OF_DATA) status.clear();
}

}  // namespace

bool enr_is_plain_ascii(const krn::Krn_buffer& buffer, krn::Krn_status& status) {
  status.clear();
  bool plain = true;
  for_each_block(buffer, status, [&plain](const unsigned char* data, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i) {
      const unsigned char byte = data[i];
      if (!((byte >= 0x20 && byte <= 0x7E) || (byte >= 9 && byte <= 13))) {
        plain = false;
        return false;
      }
    }
    return true;
  });
  return plain && status.ok();
}

bool enr_has_hz_escape(const krn::Krn_buffer& buffer, krn::Krn_status& status) {
  status.clear();
  bool pending_tilde = false;
  bool decided = false;
  bool escape = false;
  for_each_block(buffer, status, [&](const unsigned char* data, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i) {
      if (pending_tilde) {
        const unsigned char next = data[i];
        escape = next == '\n' || next == '!' || next == '-' || next == 'z' || next == '{' || next == '|' ||
                 next == '}' || next == '~';
        decided = true;
        return false;
      }
      if (data[i] == '~') pending_tilde = true;
    }
    return true;
  });
  return decided && escape;
}

Enr_encoding_detector* Enr_encoding_detector::m_instance = nullptr;
krn::Krn_critical Enr_encoding_detector::m_crit_sect;

Enr_encoding_detector* Enr_encoding_detector::instance() {
  krn::Krn_lock_guard guard(m_crit_sect);
  if (m_instance == nullptr) {
    try {
      m_instance = new Enr_encoding_detector();
    } catch (const std::bad_alloc&) {
      m_instance = nullptr;
    }
  }
  return m_instance;
}

Enr_encoding_detector::Enr_encoding_detector() {
  const Enr_tree_set& trees = enr_trained_trees();
  std::vector<Enr_classifier*> classifiers;
  try {
    for (unsigned i = 0; i < Enr_tree_set::TREES; ++i) {
      classifiers.push_back(new Enr_c45tree(trees.nodes[i], trees.counts[i]));
    }
  } catch (...) {
    for (Enr_classifier* classifier : classifiers) delete classifier;
    throw;
  }
  set_classifier(new Enr_adaboost(Enr_adaboost::MAJORITY, std::move(classifiers), trees.weights));
  krn::Krn_system* system = krn::Krn_system::instance();
  m_parallel = system != nullptr && system->processor_has_capability(krn::KRN_CPU_SSE2);
#if defined(__SANITIZE_THREAD__)
  // oneTBB hands work between threads through synchronisation that
  // ThreadSanitizer cannot see (the library is not instrumented), so every
  // handover would read as a race. Such builds detect on the caller's thread
  // and check what matters to callers: concurrent detections.
  m_parallel = false;
#endif
}

Enr_encoding_detector::~Enr_encoding_detector() = default;

void Enr_encoding_detector::set_classifier(Enr_classifier* classifier) { m_classifier.reset(classifier); }

void Enr_encoding_detector::load_feature_generators(std::vector<Enr_feature*>& generators, krn::Krn_status& status) {
  status.clear();
  try {
    enr_create_feature_generators(enr_trained_models(), generators);
  } catch (const std::exception& e) {
    status.assign(ENR_E_LOAD_FEATURES, krn::Krn_wstring_status_arg(exception_text(&e)));
  } catch (...) {
    status.assign(ENR_E_LOAD_FEATURES, krn::Krn_wstring_status_arg(exception_text(nullptr)));
  }
}

void Enr_encoding_detector::determine_feature_values(const Enr_input_text& text,
                                                     const std::vector<Enr_feature*>& generators,
                                                     std::uint16_t* values, krn::Krn_status& status) {
  status.clear();
  try {
    if (m_parallel) {
      tbb::task_group_context context;
      tbb::parallel_for(
          tbb::blocked_range<std::size_t>(0, generators.size(), 2),
          [&](const tbb::blocked_range<std::size_t>& range) {
            for (std::size_t i = range.begin(); i != range.end(); ++i) generators[i]->generate(text, values);
          },
          tbb::auto_partitioner(), context);
    } else {
      for (Enr_feature* generator : generators) generator->generate(text, values);
    }
  } catch (const std::exception& e) {
    status.assign(ENR_E_FEATURE_VALUES, krn::Krn_wstring_status_arg(exception_text(&e)));
  } catch (...) {
    status.assign(ENR_E_FEATURE_VALUES, krn::Krn_wstring_status_arg(exception_text(nullptr)));
  }
}

std::string Enr_encoding_detector::determine_charset(const std::uint16_t* values, krn::Krn_status& status) {
  status.clear();
  try {
    return m_classifier->classify(values);
  } catch (const std::exception& e) {
    status.assign(ENR_E_CLASSIFIER, krn::Krn_wstring_status_arg(exception_text(&e)));
  } catch (...) {
    status.assign(ENR_E_CLASSIFIER, krn::Krn_wstring_status_arg(exception_text(nullptr)));
  }
  return std::string();
}

void Enr_encoding_detector::detect(const krn::Krn_buffer& buffer, std::string& label, krn::Krn_status& status) {
  label.clear();
  status.clear();
  Enr_input_text text(buffer, status);
  std::uint16_t values[ENR_FEATURE_COUNT] = {};
  if (status.ok()) classify_text(text, label, values, status);
}

void Enr_encoding_detector::classify_text(const Enr_input_text& text, std::string& label, std::uint16_t* values,
                                          krn::Krn_status& status) {
  Generators generators;
  load_feature_generators(generators.list, status);
  if (!status.ok()) return;
  determine_feature_values(text, generators.list, values, status);
  if (!status.ok()) return;
  label = determine_charset(values, status);
  if (!status.ok()) return;
  label = greek_alpha_tonos(windows_sibling(label, values), text, values);
  if (label == "binary" && !utf32_order(text, values).empty()) label = utf32_order(text, values);
  if (text.length() > SHORT_TEXT || !single_byte_or_utf16(label)) return;
  bool little = false;
  if (text.has_bom(little)) return;
  if (label.rfind("utf-16", 0) == 0) {
    if (zero_byte_order(text) != 0) return;
    if (common_shift_jis(text)) {
      label = "shift_jis";
      return;
    }
    if (common_utf16_units(text)) return;
    const std::string reading = double_byte_reading(text, values);
    if (!reading.empty()) label = reading;
  } else if (text.length() <= SHORT_SHIFT_JIS && common_shift_jis(text)) {
    label = "shift_jis";
  }
}

Enr_encoding Enr_encoding_detector::detect(const krn::Krn_buffer& buffer, Bom_type& bom, krn::Krn_status& status) {
  bom = BOM_NONE;
  status.clear();
  Enr_input_text text(buffer, status);
  if (!status.ok()) return ENR_UNKNOWN_ENCODING;
  std::string label;
  std::uint16_t values[ENR_FEATURE_COUNT] = {};
  classify_text(text, label, values, status);
  if (!status.ok()) return ENR_UNKNOWN_ENCODING;

  krn::Wstring wide_label;
  krn::krn_utf8_to_utf16(label, wide_label);
  Enr_encoding result = label.empty() ? ENR_UNKNOWN_ENCODING : enr_display_name(wide_label, status);
  if (status == ENR_E_UNKNOWN_ENCODING) status.clear();
  if (!status.ok()) return ENR_UNKNOWN_ENCODING;

  // A UTF-16 byte order mark before text that reads as UTF-16 says more than
  // the trees, which have seen little text of characters beyond U+FFFF.
  bool marked_little = false;
  if (!is_utf16(result) && text.has_bom(marked_little) && text.length() >= 2 && text.data()[0] != 0xEF &&
      (text.length() < 4 || text.data()[2] != 0 || text.data()[3] != 0)) {
    unsigned char flags = 0;
    krn::Krn_status check;
    if (krn::krn_is_utf16(&buffer, UTF16_TOLERANCE_PERCENT, flags, check)) result = known_encodings().utf16;
  }
  if (result != ENR_UNKNOWN_ENCODING) {
    const Known_encodings& known = known_encodings();
    krn::Krn_status check;
    if (result != known.hz && enr_is_plain_ascii(buffer, check)) {
      result = ENR_US_ASCII;
    } else if (result == known.hz) {
      if (!enr_has_hz_escape(buffer, check)) result = ENR_US_ASCII;
    } else if (is_utf16(result)) {
      unsigned char flags = 0;
      bool marked_little = false;
      const bool marked = text.has_bom(marked_little);
      if (!krn::krn_is_utf16(&buffer, UTF16_TOLERANCE_PERCENT, flags, check)) {
        // UTF-32 text has zero units as UTF-16, which the check refuses.
        const std::string utf32 = utf32_order(text, values);
        result = utf32.empty() ? ENR_UNKNOWN_ENCODING : utf32 == "utf-32be" ? known.utf32be : known.utf32le;
      } else if (!(marked && result == known.utf16)) {
        const int zeros = high_half_order(text);
        const bool big = zeros > 0 || (zeros == 0 && (flags & 2) == 0);
        const bool little = zeros < 0;
        if (big) result = known.utf16be;
        if (little) result = known.utf16le;
      }
    }
  }

  bool little_endian = false;
  if (text.has_bom(little_endian)) bom = little_endian ? BOM_LITTLE_ENDIAN : BOM_BIG_ENDIAN;
  return result;
}

void Enr_encoding_detector::set_feature_names(std::vector<std::string>& names) const { names = enr_feature_names(); }

void Enr_encoding_detector::write_feature_names(std::string& text) const {
  std::vector<std::string> names;
  set_feature_names(names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += '\t';
    text += names[i];
  }
  text += '\n';
}

void Enr_encoding_detector::write_feature_values(const std::uint16_t* values, std::string& text) const {
  for (unsigned i = 0; i < ENR_FEATURE_COUNT; ++i) {
    if (i > 0) text += '\t';
    text += std::to_string(values[i]);
  }
  text += '\n';
}

void Enr_encoding_detector::write_all(const krn::Krn_buffer& buffer, std::string& text, krn::Krn_status& status) {
  Enr_input_text input(buffer, status);
  if (!status.ok()) return;
  Generators generators;
  load_feature_generators(generators.list, status);
  if (!status.ok()) return;
  std::uint16_t values[ENR_FEATURE_COUNT] = {};
  determine_feature_values(input, generators.list, values, status);
  if (!status.ok()) return;
  write_feature_names(text);
  write_feature_values(values, text);
}

void Enr_encoding_detector::generate_features(const krn::Krn_buffer& buffer, krn::Krn_status& status,
                                              const std::string& file_name) {
  status.clear();
  std::string text;
  write_all(buffer, text, status);
  if (!status.ok()) return;
  krn::Wstring wide_name;
  krn::krn_utf8_to_utf16(file_name, wide_name);
  krn::Krn_file_buffer file(wide_name, krn::KRN_FILE_CREATE_ALWAYS, krn::KRN_FILE_ACCESS_WRITE, 0,
                            krn::KRN_FILE_SHARE_NONE, status);
  if (!status.ok()) return;
  krn::int64 position = 0;
  file.write(position, text.size(), text.data(), status);
}

}  // namespace enr
