// Character length processors: where characters start and how long they
// are in single-byte, double-byte and Unicode encodings.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "enr/enr_detect_char_length.h"
#include "krn/krn_status.h"

using namespace enr;

namespace {

std::size_t length_at(const Enr_charcter_length_processor& processor, const std::string& bytes, std::streamoff at) {
  const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
  return processor.char_length(begin, begin + bytes.size(), at);
}

Enr_encoding lookup(const char16_t* name) {
  krn::Krn_status status;
  return enr_display_name(krn::Wstring(name), status);
}

}  // namespace

TEST(EnrCharLength, SingleByteCodePagesKnowTheirGaps) {
  const Enr_windows_1252_length_processor cp1252;
  EXPECT_EQ(ENR_WINDOWS_1252, cp1252.encoding());
  EXPECT_EQ(1u, length_at(cp1252, "a\x80\x81\xE9", 0));
  EXPECT_EQ(1u, length_at(cp1252, "a\x80\x81\xE9", 1));  // the euro sign
  EXPECT_EQ(0u, length_at(cp1252, "a\x80\x81\xE9", 2));  // unassigned
  EXPECT_EQ(0u, length_at(cp1252, "a", 1));              // past the end
  EXPECT_THROW(length_at(cp1252, "a", -1), std::overflow_error);
}

TEST(EnrCharLength, DoubleByteLeadAndTrailBytes) {
  const Enr_Shift_jis_length_processor sjis;
  EXPECT_EQ(2u, length_at(sjis, "\x82\xA0", 0));
  EXPECT_EQ(1u, length_at(sjis, "\xB1", 0));     // half-width katakana
  EXPECT_EQ(0u, length_at(sjis, "\x82", 0));     // cut off
  EXPECT_EQ(0u, length_at(sjis, "\x82\x20", 0)); // no trail byte
  const Enr_BIG5_length_processor big5;
  EXPECT_EQ(2u, length_at(big5, "\xA4\x40", 0));
  EXPECT_EQ(0u, length_at(big5, "\xA4\x7F", 0));
  const Enr_GB2312_length_processor gb;
  EXPECT_EQ(2u, length_at(gb, "a\xB0\xA1", 1));
  EXPECT_EQ(0u, length_at(gb, "\x81\x40", 0));
}

TEST(EnrCharLength, UnicodeForms) {
  const Enr_UTF8_length_processor utf8;
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xFC";
  EXPECT_EQ(1u, length_at(utf8, text, 0));
  EXPECT_EQ(2u, length_at(utf8, text, 1));
  EXPECT_EQ(0u, length_at(utf8, text, 2));
  EXPECT_EQ(3u, length_at(utf8, text, 3));
  EXPECT_EQ(4u, length_at(utf8, text, 6));
  EXPECT_EQ(6u, length_at(utf8, text, 10));
  const Enr_UTF16_length_processor utf16;
  EXPECT_EQ(2u, length_at(utf16, std::string("A\0", 2), 0));
  EXPECT_EQ(4u, length_at(utf16, std::string("\x3D\xD8\x00\xDE", 4), 0));
  EXPECT_EQ(0u, length_at(utf16, std::string("\x00\xDE", 2), 0));
  EXPECT_EQ(0u, length_at(utf16, "\x3D\xD8", 0));
}

TEST(EnrCharLength, FactoryKnowsItsEncodings) {
  const auto cp1251 = Enr_char_length_processor_factory::get_processor(ENR_WINDOWS_1251);
  ASSERT_NE(nullptr, cp1251);
  EXPECT_EQ(ENR_WINDOWS_1251, cp1251->encoding());
  const auto utf8 = Enr_char_length_processor_factory::get_processor(ENR_UTF_8);
  ASSERT_NE(nullptr, utf8);
  EXPECT_EQ(ENR_UTF_8, utf8->encoding());
  EXPECT_NE(nullptr, Enr_char_length_processor_factory::get_processor(lookup(u"Big5")));
  EXPECT_EQ(nullptr, Enr_char_length_processor_factory::get_processor(ENR_ISO_2022_JP));
  EXPECT_EQ(nullptr, Enr_char_length_processor_factory::get_processor(ENR_UNKNOWN_ENCODING));
}
