#include "tla/tla_text_encoding.h"

#include <cctype>
#include <string_view>

#include "enr/enr_detect_convert.h"
#include "enr/enr_encoding.h"
#include "krn/krn_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"

namespace tla {

namespace {

Tla_input_encoding known(const char16_t* name) {
  Tla_input_encoding encoding;
  krn::Krn_status lookup;
  encoding.encoding = enr::enr_display_name(krn::Wstring(name), lookup);
  enr::enr_display_name(encoding.encoding, encoding.name, lookup);
  return encoding;
}

}  // namespace

bool tla_byte_order_mark(const char* bytes, std::size_t size, Tla_input_encoding& encoding,
                         std::size_t& mark_length) {
  struct Mark {
    const char* bytes;
    std::size_t length;
    const char16_t* encoding;
  };
  // The UTF-32 marks first: FF FE 00 00 starts with the UTF-16LE one.
  static constexpr Mark MARKS[] = {{"\xFF\xFE\0\0", 4, u"UTF-32LE"},
                                   {"\0\0\xFE\xFF", 4, u"UTF-32BE"},
                                   {"\xFF\xFE", 2, u"UTF-16LE"},
                                   {"\xFE\xFF", 2, u"UTF-16BE"},
                                   {"\xEF\xBB\xBF", 3, u"UTF-8"}};
  const std::string_view start(bytes, size);
  for (const Mark& mark : MARKS) {
    if (start.substr(0, mark.length) != std::string_view(mark.bytes, mark.length)) continue;
    encoding = known(mark.encoding);
    mark_length = mark.length;
    return true;
  }
  return false;
}

bool tla_detect_encoding(const char* bytes, std::size_t size, Tla_input_encoding& encoding, std::size_t& mark_length,
                         krn::Krn_status& status) {
  mark_length = 0;
  krn::Krn_raw_memory_buffer buffer(static_cast<krn::int64>(size), reinterpret_cast<const unsigned char*>(bytes),
                                    krn::Krn_raw_memory_buffer::NO_DELETE);
  enr::Enr_detect_convert detector;
  unsigned char flags = 0;
  enr::Enr_encoding found = detector.detect_character_encoding(&buffer, flags, status);
  if (!status.ok() || found == enr::ENR_UNKNOWN_ENCODING) return false;
  if ((flags & 1) != 0) {
    encoding = known((flags & 2) != 0 ? u"UTF-16LE" : u"UTF-16BE");
    if ((flags & 4) != 0) mark_length = 2;
    return true;
  }
  // Plain ASCII is UTF-8, read as UTF-8 always is.
  if (found == enr::ENR_US_ASCII) found = enr::ENR_UTF_8;
  encoding.encoding = found;
  krn::Krn_status lookup;
  enr::enr_display_name(found, encoding.name, lookup);
  return true;
}

bool tla_named_encoding(const std::string& name, Tla_input_encoding& encoding) {
  krn::Wstring wide;
  krn::krn_utf8_to_utf16(name, wide);
  krn::Krn_status lookup;
  const enr::Enr_encoding found = enr::enr_display_name(wide, lookup);
  if (found == enr::ENR_UNKNOWN_ENCODING) return false;
  encoding.encoding = found;
  enr::enr_display_name(found, encoding.name, lookup);
  return true;
}

std::string tla_encoding_label(const Tla_input_encoding& encoding) {
  std::string text;
  krn::krn_utf16_to_utf8(encoding.name, text);
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace tla
