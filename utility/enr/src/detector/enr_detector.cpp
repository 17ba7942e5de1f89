#include "enr/enr_detector.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_group.h>

#include <cstring>
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
  Enr_encoding hz;
};

Enr_encoding lookup(const char16_t* name) {
  krn::Krn_status status;
  return enr_display_name(krn::Wstring(name), status);
}

const Known_encodings& known_encodings() {
  static const Known_encodings known{lookup(u"UTF-16"), lookup(u"UTF-16BE"), lookup(u"UTF-16LE"),
                                     lookup(u"hz-gb-2312")};
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
// text does too. So the order comes from zero bytes, the high halves of
// Latin characters, where there are enough of them; otherwise a big-endian
// verdict of the test is a real one, and a little-endian one may be its
// default, which leaves the classifier's order. Positive for big-endian
// (zeros at even offsets), negative for little-endian, 0 for no evidence.
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
  if (status.ok()) classify_text(text, label, status);
}

void Enr_encoding_detector::classify_text(const Enr_input_text& text, std::string& label, krn::Krn_status& status) {
  Generators generators;
  load_feature_generators(generators.list, status);
  if (!status.ok()) return;
  std::uint16_t values[ENR_FEATURE_COUNT] = {};
  determine_feature_values(text, generators.list, values, status);
  if (!status.ok()) return;
  label = determine_charset(values, status);
}

Enr_encoding Enr_encoding_detector::detect(const krn::Krn_buffer& buffer, Bom_type& bom, krn::Krn_status& status) {
  bom = BOM_NONE;
  status.clear();
  Enr_input_text text(buffer, status);
  if (!status.ok()) return ENR_UNKNOWN_ENCODING;
  std::string label;
  classify_text(text, label, status);
  if (!status.ok()) return ENR_UNKNOWN_ENCODING;

  krn::Wstring wide_label;
  krn::krn_utf8_to_utf16(label, wide_label);
  Enr_encoding result = label.empty() ? ENR_UNKNOWN_ENCODING : enr_display_name(wide_label, status);
  if (status == ENR_E_UNKNOWN_ENCODING) status.clear();
  if (!status.ok()) return ENR_UNKNOWN_ENCODING;

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
        result = ENR_UNKNOWN_ENCODING;
      } else if (!(marked && result == known.utf16)) {
        const int zeros = zero_byte_order(text);
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
