// Detection entry points: detect, then convert to UTF-16 with the caller's
// noise tolerance, optionally trying a named encoding first.

#include <memory>

#include "enr/enr_convert.h"
#include "enr/enr_detect_convert.h"
#include "enr/enr_detector.h"
#include "enr/enr_detector_status.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_stream.h"
#include "krn/krn_string.h"
#include "utk/utk_property.h"

namespace enr {

namespace {

constexpr unsigned char FLAG_UTF16 = 1;
constexpr unsigned char FLAG_LITTLE_ENDIAN = 2;
constexpr unsigned char FLAG_BOM = 4;
// As the detector's own UTF-16 check.
constexpr unsigned short UTF16_TOLERANCE_PERCENT = 5;

struct Utf16_encodings {
  Enr_encoding utf16;
  Enr_encoding utf16le;
  Enr_encoding utf16be;

  bool contains(Enr_encoding encoding) const {
    return encoding != ENR_UNKNOWN_ENCODING && (encoding == utf16 || encoding == utf16le || encoding == utf16be);
  }
};

const Utf16_encodings& utf16_encodings() {
  static const Utf16_encodings encodings = [] {
    krn::Krn_status status;
    Utf16_encodings found{};
    found.utf16 = enr_display_name(krn::Wstring(u"UTF-16"), status);
    found.utf16le = enr_display_name(krn::Wstring(u"UTF-16le"), status);
    found.utf16be = enr_display_name(krn::Wstring(u"UTF-16be"), status);
    return found;
  }();
  return encodings;
}

// The whole buffer as UTF-16 in a new heap buffer; null when the
// conversion failed (the status says why).
krn::Krn_buffer* convert(const krn::Krn_buffer& buffer, Enr_encoding encoding, std::int16_t noise,
                         krn::Krn_status& status) {
  auto converted = std::make_unique<krn::Krn_heap_buffer>();
  krn::Krn_unbuffered_istream in(buffer, false, status);
  if (!status.ok()) return nullptr;
  krn::Krn_ostream out(*converted, status);
  if (!status.ok()) return nullptr;
  const bool done = enr_encoding_to_utf16(encoding, in, out, noise, status);
  out.detach();
  in.detach();
  if (!done || !status.ok()) return nullptr;
  return converted.release();
}

}  // namespace

Enr_encoding Enr_detect_convert::detect_character_encoding(const krn::Krn_buffer* buffer, unsigned char& flags,
                                                           krn::Krn_status& status) {
  status.clear();
  const Utf16_encodings& utf16 = utf16_encodings();
  flags = FLAG_LITTLE_ENDIAN;
  if (buffer == nullptr) {
    status.assign(ENR_E_INPUT_TEXT, krn::Krn_wstring_status_arg(std::string("no buffer")));
    return ENR_UNKNOWN_ENCODING;
  }
  Enr_encoding_detector* detector = Enr_encoding_detector::instance();
  if (detector == nullptr) {
    status = ENR_E_NO_DETECTOR;
    return ENR_UNKNOWN_ENCODING;
  }
  Enr_encoding_detector::Bom_type bom = Enr_encoding_detector::BOM_NONE;
  const Enr_encoding result = detector->detect(*buffer, bom, status);
  if (!status.ok()) return result;
  flags = FLAG_LITTLE_ENDIAN;
  if (bom != Enr_encoding_detector::BOM_NONE) flags |= FLAG_BOM;
  if (utf16.contains(result)) {
    flags |= FLAG_UTF16;
    if ((result == utf16.utf16 && bom == Enr_encoding_detector::BOM_BIG_ENDIAN) || result == utf16.utf16be) {
      flags &= static_cast<unsigned char>(~FLAG_LITTLE_ENDIAN);
    }
  }
  return result;
}

krn::Krn_buffer* Enr_detect_convert::detect_and_convert_text(const krn::Krn_buffer* buffer, krn::Wstring& name,
                                                             unsigned char& flags, krn::Krn_status& status) {
  const Enr_encoding encoding = detect_character_encoding(buffer, flags, status);
  if (encoding == ENR_UNKNOWN_ENCODING || !status.ok()) return nullptr;
  if ((flags & FLAG_UTF16) != 0) {
    // The caller reads UTF-16 in place.
    name = (flags & FLAG_LITTLE_ENDIAN) != 0 ? krn::Wstring(u"UNICODE") : krn::Wstring(u"UTF-16be");
    return nullptr;
  }
  enr_display_name(encoding, name, status);
  if (!status.ok()) return nullptr;
  krn::Krn_buffer* converted = convert(*buffer, encoding, get_noise(), status);
  if (converted == nullptr) {
    status.clear();
    name.clear();
  }
  return converted;
}

krn::Krn_buffer* Enr_detect_convert::detect_and_convert_text_with_hint(const krn::Krn_buffer* buffer,
                                                                       krn::Wstring& name, unsigned char& flags,
                                                                       krn::Krn_status& status) {
  status.clear();
  flags = FLAG_LITTLE_ENDIAN;
  const Enr_encoding hinted = name.empty() ? ENR_UNKNOWN_ENCODING : enr_display_name(name, status);
  status.clear();
  if (hinted != ENR_UNKNOWN_ENCODING && buffer != nullptr) {
    if (utf16_encodings().contains(hinted)) {
      unsigned char test_flags = 0;
      const bool fits = krn::krn_is_utf16(buffer, UTF16_TOLERANCE_PERCENT, test_flags, status);
      status.clear();
      if (fits) {
        flags = static_cast<unsigned char>(FLAG_UTF16 | (test_flags & FLAG_LITTLE_ENDIAN) | (test_flags & FLAG_BOM));
        return nullptr;
      }
    } else {
      krn::Krn_buffer* converted = convert(*buffer, hinted, get_specified_noise(), status);
      status.clear();
      if (converted != nullptr) return converted;
    }
  }
  name.clear();
  return detect_and_convert_text(buffer, name, flags, status);
}

Enr_encoding Enr_detect_convert::normalise_encoding_name(krn::Wstring& name) {
  if (name.empty()) return ENR_UNKNOWN_ENCODING;
  krn::Krn_status status;
  const Enr_encoding encoding = enr_display_name(name, status);
  if (encoding == ENR_UNKNOWN_ENCODING || !status.ok()) return ENR_UNKNOWN_ENCODING;
  krn::Wstring display;
  enr_display_name(encoding, display, status);
  if (!status.ok()) return ENR_UNKNOWN_ENCODING;
  name = krn::krn_utf16_compare_nc(display.c_str(), u"UTF-16") == 0 ? krn::Wstring(u"UNICODE") : display;
  return encoding;
}

krn::Krn_buffer* enr_detect_and_convert_text_with_props(const krn::Krn_buffer* buffer,
                                                        utk::Utk_property_list& properties, bool& is_utf16,
                                                        bool& little_endian, bool& has_bom,
                                                        krn::Krn_status& status) {
  Enr_detect_convert converter;
  krn::Wstring hint;
  krn::Wstring name;
  unsigned char flags = FLAG_LITTLE_ENDIAN;
  krn::Krn_buffer* result;
  if (enr_extract_charset(properties, hint)) {
    converter.normalise_encoding_name(hint);
    name = hint;
    result = converter.detect_and_convert_text_with_hint(buffer, name, flags, status);
  } else {
    result = converter.detect_and_convert_text(buffer, name, flags, status);
  }
  if (status.ok()) {
    is_utf16 = (flags & FLAG_UTF16) != 0;
    little_endian = (flags & FLAG_LITTLE_ENDIAN) != 0;
    has_bom = (flags & FLAG_BOM) != 0;
  }
  converter.normalise_encoding_name(name);
  if (!name.empty() && krn::krn_utf16_compare_nc(name.c_str(), hint.c_str()) != 0) {
    properties.update("ItemCharset", name);
    properties.update("DetectedItemCharset", true);
  }
  return result;
}

}  // namespace enr
