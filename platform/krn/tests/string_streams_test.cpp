#include <gtest/gtest.h>

#include <string>

#include "krn/krn_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "krn/krn_string.h"

namespace krn {
namespace {

// The recognisers and converters read in blocks of this many bytes; tests
// put sequences across the boundary.
constexpr size_t BLOCK = 16384;

Wstring utf8_to_utf16_over_streams(std::string input, Krn_status& status) {
  Wstring output;
  Krn_string_buffer in_buffer(input, true);
  Krn_wstring_buffer out_buffer(output);
  Krn_status setup;
  Krn_unbuffered_istream in(in_buffer, false, setup);
  Krn_ostream out(out_buffer, setup);
  EXPECT_TRUE(setup.ok());
  krn_utf8_to_utf16(in, out, status);
  out.detach();
  return output;
}

std::string utf16_to_utf8_over_streams(Wstring input, Krn_status& status) {
  std::string output;
  Krn_wstring_buffer in_buffer(input);
  Krn_string_buffer out_buffer(output, true);
  Krn_status setup;
  Krn_unbuffered_istream in(in_buffer, false, setup);
  Krn_ostream out(out_buffer, setup);
  EXPECT_TRUE(setup.ok());
  krn_utf16_to_utf8(in, out, status);
  out.detach();
  return output;
}

TEST(KrnStringStreams, Utf8ToUtf16AcrossBlocks) {
  Krn_status status(KRN_E_READ);
  // The two bytes of U+00E9 lie on either side of the first block's end.
  const std::string input = std::string(BLOCK - 1, 'a') + "\xC3\xA9" + "z";
  const Wstring output = utf8_to_utf16_over_streams(input, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(output, Wstring(BLOCK - 1, u'a') + u"\u00E9z");

  EXPECT_EQ(utf8_to_utf16_over_streams(std::string("x\0\xC3\x28\xE2\x82", 6), status), Wstring(u"x\0\uFFFD(\uFFFD", 5));
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(utf8_to_utf16_over_streams("", status), u"");
  EXPECT_TRUE(status.ok());
}

TEST(KrnStringStreams, Utf16ToUtf8AcrossBlocks) {
  Krn_status status;
  // The surrogate pair lies on either side of the first block's end.
  const Wstring input = Wstring(BLOCK / 2 - 1, u'a') + u"\U0001F600b";
  const std::string output = utf16_to_utf8_over_streams(input, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(output, std::string(BLOCK / 2 - 1, 'a') + "\xF0\x9F\x98\x80" "b");

  // A high surrogate at the very end has no partner.
  const Wstring lone = {u'a', static_cast<wchar16>(0xD800)};
  EXPECT_EQ(utf16_to_utf8_over_streams(lone, status), "a\xEF\xBF\xBD");
  EXPECT_TRUE(status.ok());
}

TEST(KrnStringStreams, OddLastByteIsMalformed) {
  std::string input("a\0b", 3);
  std::string output;
  Krn_string_buffer in_buffer(input, true);
  Krn_string_buffer out_buffer(output, true);
  Krn_status status;
  Krn_unbuffered_istream in(in_buffer, false, status);
  Krn_ostream out(out_buffer, status);
  krn_utf16_to_utf8(in, out, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(output, "a\xEF\xBF\xBD");
}

TEST(KrnStringStreams, ReadFailureIsReported) {
  std::string output;
  Krn_string_buffer out_buffer(output, true);
  Krn_status status;
  Krn_ostream out(out_buffer, status);
  Krn_istream detached;
  krn_utf8_to_utf16(detached, out, status);
  EXPECT_EQ(status.value(), KRN_E_NOT_ATTACHED);
  krn_utf16_to_utf8(detached, out, status);
  EXPECT_EQ(status.value(), KRN_E_NOT_ATTACHED);
  EXPECT_EQ(output, "");
}

unsigned char utf16_flags(const std::string& bytes, unsigned short tolerance, bool& result) {
  std::string copy = bytes;
  Krn_string_buffer buffer(copy, true);
  unsigned char flags = 0xFF;
  Krn_status status(KRN_E_READ);
  result = krn_is_utf16(&buffer, tolerance, flags, status);
  EXPECT_TRUE(status.ok());
  return flags;
}

std::string le_bytes(const Wstring& text) { return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2); }

std::string be_bytes(const Wstring& text) {
  std::string bytes = le_bytes(text);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
  return bytes;
}

TEST(KrnStringRecognise, Utf16ByteOrders) {
  bool result = false;
  EXPECT_EQ(utf16_flags(le_bytes(u"\uFEFFHello, w\u00F6rld"), 0, result), 0x07);
  EXPECT_TRUE(result);
  EXPECT_EQ(utf16_flags(be_bytes(u"\uFEFFHello, w\u00F6rld"), 0, result), 0x05);
  EXPECT_TRUE(result);
  EXPECT_EQ(utf16_flags(le_bytes(u"Hello, world"), 0, result), 0x03);
  EXPECT_TRUE(result);
  // U+0100 read in the wrong order is the control U+0001.
  EXPECT_EQ(utf16_flags(be_bytes(u"Hello, \u0100"), 0, result), 0x01);
  EXPECT_TRUE(result);
  // A surrogate pair split across the first block's end still decodes.
  EXPECT_EQ(utf16_flags(le_bytes(Wstring(BLOCK / 2 - 1, u'x') + u"\U0001F600"), 0, result), 0x03);
  EXPECT_TRUE(result);
}

TEST(KrnStringRecognise, Utf16Rejections) {
  bool result = true;
  // Narrow text: the byte pairs would make valid CJK code points.
  utf16_flags("plain narrow text", 0, result);
  EXPECT_FALSE(result);
  utf16_flags("odd", 0, result);
  EXPECT_FALSE(result);
  utf16_flags("\xEF\xBB\xBF" "A", 100, result);
  EXPECT_FALSE(result);

  // U+FFFF is unassigned whichever way its bytes are read; the letters are
  // fine in host order and CJK ideographs swapped.
  const Wstring unassigned(10, static_cast<wchar16>(0xFFFF));
  utf16_flags(le_bytes(u"abcdefghij" + unassigned), 10, result);
  EXPECT_FALSE(result);
  utf16_flags(le_bytes(u"abcdefghij" + unassigned), 50, result);
  EXPECT_TRUE(result);
  // With a mark only the marked order is judged: valid little-endian text
  // marked big-endian fails.
  utf16_flags(le_bytes(Wstring(1, static_cast<wchar16>(0xFFFE)) + u"\u0100\u0101\u0102"), 0, result);
  EXPECT_FALSE(result);

  unsigned char flags = 0xFF;
  Krn_status status;
  EXPECT_FALSE(krn_is_utf16(nullptr, 0, flags, status));
  EXPECT_EQ(flags, 0);
  std::string empty;
  Krn_string_buffer empty_buffer(empty, true);
  EXPECT_FALSE(krn_is_utf16(&empty_buffer, 0, flags, status));
  EXPECT_TRUE(status.ok());
}

TEST(KrnStringRecognise, Utf8) {
  const auto check = [](std::string bytes, bool expected, unsigned char expected_flags, bool expected_ascii) {
    Krn_string_buffer buffer(bytes, true);
    unsigned char flags = 0xFF;
    bool ascii = !expected_ascii;
    Krn_status status(KRN_E_READ);
    EXPECT_EQ(krn_is_utf8(&buffer, flags, ascii, status), expected) << bytes;
    EXPECT_TRUE(status.ok());
    EXPECT_EQ(flags, expected_flags) << bytes;
    EXPECT_EQ(ascii, expected_ascii) << bytes;
  };
  check("plain", true, 0x01, true);
  check("\xEF\xBB\xBF" "caf\xC3\xA9", true, 0x05, false);
  check(std::string(BLOCK - 1, 'a') + "\xE2\x82\xAC", true, 0x01, false);  // across blocks
  check("\xF4\x8F\xBF\xBF", true, 0x01, false);
  check("\xC1\x81", false, 0x00, false);          // overlong
  check("\xED\xA0\x80", false, 0x00, false);      // surrogate
  check("\xF4\x90\x80\x80", false, 0x00, false);  // above U+10FFFF
  check("\xF8\x88\x80\x80\x80", false, 0x00, false);
  check(std::string("a\0b\0", 4), false, 0x00, false);  // UTF-16 of ASCII
  check("ab\xC3", false, 0x00, false);             // cut off
  check("\xC3(", false, 0x00, false);
  check("", false, 0x00, false);

  unsigned char flags = 0xFF;
  bool ascii = true;
  Krn_status status;
  EXPECT_FALSE(krn_is_utf8(nullptr, flags, ascii, status));
  EXPECT_EQ(flags, 0);
  EXPECT_FALSE(ascii);
}

}  // namespace
}  // namespace krn
