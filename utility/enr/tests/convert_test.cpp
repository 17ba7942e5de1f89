// Conversion through ICU: round trips, the noise tolerance and its limit,
// output inspection, the UTF-16 membership tests and the noise settings.

#include <gtest/gtest.h>

#include "enr/enr_convert.h"
#include "enr/enr_detect_convert.h"
#include "enr/enr_status_codes.h"
#include "enr_test_support.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"

using namespace enr;
using enr_test::Bytes;
using krn::Krn_status;
using krn::Wstring;

namespace {

Enr_encoding lookup(const Wstring& name) {
  Krn_status status;
  return enr_display_name(name, status);
}

// The UTF-16 in a buffer, in host order.
Wstring buffer_text(const krn::Krn_buffer& buffer) {
  Krn_status status;
  krn::Krn_unbuffered_istream in(buffer, false, status);
  Wstring text;
  krn::krn_stream_to_string(in, text, status);
  return text;
}

}  // namespace

TEST(EnrConvert, RoundTripsThroughLegacyEncodings) {
  struct Case {
    Enr_encoding encoding;
    Wstring text;
    std::string bytes;
  };
  const Case cases[] = {
      {ENR_WINDOWS_1251, u"Привет, мир", "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0"},
      {ENR_SHIFT_JIS, u"日本語 text", "\x93\xFA\x96\x7B\x8C\xEA text"},
      {ENR_EUC_JP, u"日本", "\xC6\xFC\xCB\xDC"},
      {ENR_GB2312, u"中文", "\xD6\xD0\xCE\xC4"},
      {lookup(u"Big5"), u"中文", "\xA4\xA4\xA4\xE5"},
      {ENR_ISO_2022_JP, u"日本", "\x1B$BF|K\\\x1B(B"},
      {ENR_UTF_8, u"😀é", "\xF0\x9F\x98\x80\xC3\xA9"},
  };
  for (const Case& c : cases) {
    Krn_status status;
    std::string bytes;
    ASSERT_TRUE(enr_utf16_to_encoding(c.encoding, c.text, bytes, status)) << c.encoding;
    EXPECT_EQ(bytes, c.bytes) << c.encoding;
    Wstring text;
    EXPECT_TRUE(enr_encoding_to_utf16(c.encoding, bytes, text, status));
    EXPECT_EQ(text, c.text) << c.encoding;
    EXPECT_TRUE(enr_encoding_to_utf16(c.encoding, bytes, text, 0, status));
    EXPECT_EQ(text, c.text) << c.encoding;
    EXPECT_EQ(enr_utf16_is_in_encoding(c.encoding, c.text, status), 0) << c.encoding;
  }
  // GB2312 text is read with GBK, which it is usually written in.
  Krn_status status;
  Wstring text;
  EXPECT_TRUE(enr_encoding_to_utf16(ENR_GB2312, "\x82\x83", text, 0, status));
  EXPECT_EQ(text, u"們");
}

TEST(EnrConvert, StreamsInBlocks) {
  // Larger than a block, with a two-byte character across the boundary.
  std::string bytes(16383, 'a');
  bytes += "\x93\xFA";
  bytes += std::string(20000, 'b');
  Bytes input(bytes);
  Krn_status status;
  krn::Krn_unbuffered_istream in(input.buffer, false, status);
  krn::Krn_heap_buffer output;
  {
    krn::Krn_ostream out(output, status);
    ASSERT_TRUE(enr_encoding_to_utf16(lookup(u"Shift_JIS"), in, out, 0, status));
  }
  const Wstring text = buffer_text(output);
  ASSERT_EQ(text.size(), 16383u + 1 + 20000);
  EXPECT_EQ(text[16383], u'日');
  EXPECT_EQ(text.back(), u'b');

  // From the stream's position on, and back again.
  krn::Krn_unbuffered_istream utf16(output, false, status);
  utf16.seek(krn::KRN_SEEK_START, 2 * 16383, status);
  krn::Krn_heap_buffer encoded;
  {
    krn::Krn_ostream out(encoded, status);
    ASSERT_TRUE(enr_utf16_to_encoding(ENR_SHIFT_JIS, utf16, out, status));
  }
  krn::Krn_unbuffered_istream check(encoded, false, status);
  std::string round_trip;
  krn::krn_stream_to_string(check, round_trip, status);
  EXPECT_EQ(round_trip, bytes.substr(16383));
}

TEST(EnrConvert, NoiseLimit) {
  Krn_status status;
  Wstring text;
  const std::string one_bad_byte = "abcdefghi\xFF";
  EXPECT_FALSE(enr_encoding_to_utf16(ENR_US_ASCII, one_bad_byte, text, 0, status));
  EXPECT_EQ(status, ENR_E_NOISE_LIMIT);
  EXPECT_EQ(enr_test::arg_text(status), u"0");
  EXPECT_TRUE(text.empty());
  EXPECT_TRUE(enr_encoding_to_utf16(ENR_US_ASCII, one_bad_byte, text, 10, status));
  EXPECT_EQ(text.size(), 10u);
  EXPECT_TRUE(enr_encoding_to_utf16(ENR_UTF_8, one_bad_byte, text, 10, status));
  EXPECT_FALSE(enr_encoding_is_valid(ENR_UTF_8, one_bad_byte, 0, status));
  EXPECT_EQ(status, ENR_E_NOISE_LIMIT);
  EXPECT_TRUE(enr_encoding_is_valid(ENR_UTF_8, one_bad_byte, 10, status));

  // 10 percent of 5 bytes rounds up to one; of 4 bytes it is none.
  EXPECT_TRUE(enr_encoding_is_valid(ENR_US_ASCII, "ab\xFF" "cd", 10, status));
  EXPECT_FALSE(enr_encoding_is_valid(ENR_US_ASCII, "ab\xFF" "c", 10, status));

  // Without a tolerance anything converts.
  EXPECT_TRUE(enr_encoding_to_utf16(ENR_US_ASCII, "\xFF\xFF", text, status));
  EXPECT_EQ(text.size(), 2u);

  // A bad single byte in Shift_JIS is one unit of noise and reads as U+FFFD,
  // not as ICU's U+001A, a control that would count again.
  EXPECT_TRUE(enr_encoding_to_utf16(ENR_SHIFT_JIS, "\xA0" "bcdefghij", text, 10, status));
  EXPECT_EQ(text, u"\uFFFDbcdefghij");
  EXPECT_TRUE(enr_encoding_to_utf16(ENR_EUC_JP, "\xA0", text, status));
  EXPECT_EQ(text, u"\uFFFD");
}

TEST(EnrConvert, NothingIsWrittenOnceTheLimitIsExceeded) {
  Bytes input(std::string(16384, 'a') + std::string(1000, '\xFF'));
  Krn_status status;
  krn::Krn_unbuffered_istream in(input.buffer, false, status);
  krn::Krn_heap_buffer output;
  krn::Krn_ostream out(output, status);
  EXPECT_FALSE(enr_encoding_to_utf16(ENR_US_ASCII, in, out, 1, status));
  EXPECT_EQ(status, ENR_E_NOISE_LIMIT);
  EXPECT_EQ(output.length(), 2 * 16384);
}

TEST(EnrConvert, OutputInspection) {
  Krn_status status;
  Wstring text;
  // Windows' curly quotes arriving as C1 controls.
  EXPECT_TRUE(enr_encoding_to_utf16(ENR_ISO_8859_1, "\x91quoted\x92", text, 0, status));
  EXPECT_EQ(text, u"\u2018quoted\u2019");
  EXPECT_TRUE(enr_encoding_to_utf16(ENR_ISO_8859_1, "\x91" "a\xE9", text, status));
  EXPECT_EQ(text, u"\u0091a\u00E9");

  // Controls are noise, except the line and page breaks; NUL only when not
  // allowed.
  EXPECT_TRUE(enr_encoding_to_utf16(ENR_UTF_8, "a\tb\r\nc\f", text, 0, status));
  EXPECT_FALSE(enr_encoding_to_utf16(ENR_UTF_8, "ab\x01", text, 0, status));
  const std::string with_nul("ab\0c", 4);
  Bytes input(with_nul);
  for (const bool allow_nul : {false, true}) {
    krn::Krn_unbuffered_istream in(input.buffer, false, status);
    krn::Krn_heap_buffer output;
    krn::Krn_ostream out(output, status);
    EXPECT_EQ(enr_encoding_to_utf16(ENR_UTF_8, in, out, 0, allow_nul, status), allow_nul);
  }
  // Raw output is not inspected.
  Bytes controls("ab\x01\x02\x91");
  krn::Krn_unbuffered_istream in(controls.buffer, false, status);
  krn::Krn_heap_buffer output;
  {
    krn::Krn_ostream out(output, status);
    EXPECT_TRUE(enr_encoding_to_utf16(ENR_WINDOWS_1252, in, out, 0, true, false, status));
  }
  EXPECT_EQ(buffer_text(output), u"ab\u0001\u0002\u2018");

  // ... but its noise is still counted, against what was consumed.
  Bytes bad("ab\xFF\xFF");
  krn::Krn_unbuffered_istream bad_in(bad.buffer, false, status);
  krn::Krn_heap_buffer bad_output;
  krn::Krn_ostream bad_out(bad_output, status);
  EXPECT_FALSE(enr_encoding_to_utf16(ENR_US_ASCII, bad_in, bad_out, 25, true, false, status));
  EXPECT_EQ(status, ENR_E_NOISE_LIMIT);
}

TEST(EnrConvert, EncodingsWithoutAConverter) {
  Krn_status status;
  Wstring text = u"stale";
  EXPECT_FALSE(enr_encoding_to_utf16(static_cast<Enr_encoding>(29), "abc", text, status));
  EXPECT_EQ(status, ENR_E_UNKNOWN_ENCODING);
  EXPECT_EQ(enr_test::arg_text(status), u"29");
  EXPECT_TRUE(text.empty());

  // A built-in encoding this ICU cannot convert names itself, over ICU's
  // reason.
  EXPECT_FALSE(enr_encoding_to_utf16(ENR_JIS_ROMAN, "abc", text, 0, status));
  EXPECT_EQ(status, ENR_E_UNKNOWN_ENCODING);
  EXPECT_EQ(enr_test::arg_text(status), u"JIS/Roman");
  ASSERT_TRUE(status.has_child());
  EXPECT_EQ(status.child()->value(), krn::KRN_E_ICU_ERROR);

  std::string bytes = "stale";
  EXPECT_FALSE(enr_utf16_to_encoding(ENR_JIS_ROMAN, u"abc", bytes, status));
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(enr_utf16_is_in_encoding(ENR_JIS_ROMAN, u"abc", status), 100);
  EXPECT_EQ(status, ENR_E_UNKNOWN_ENCODING);
}

TEST(EnrConvert, Utf16Membership) {
  Krn_status status;
  std::string bytes;
  EXPECT_TRUE(enr_utf16_to_encoding(ENR_US_ASCII, u"aПb", bytes, status));
  EXPECT_EQ(bytes, "a?b");
  EXPECT_EQ(enr_utf16_is_in_encoding(ENR_US_ASCII, u"aПb", status), 100);
  EXPECT_TRUE(status.ok());

  EXPECT_TRUE(enr_utf16_is_not_in_encoding(ENR_US_ASCII, u"Привет", status));
  EXPECT_FALSE(enr_utf16_is_not_in_encoding(ENR_US_ASCII, u"Пa", status));
  // Characters of two units each are counted as characters.
  EXPECT_TRUE(enr_utf16_is_not_in_encoding(ENR_WINDOWS_1251, u"😀😀", status));
  EXPECT_FALSE(enr_utf16_is_not_in_encoding(ENR_UTF_8, u"😀😀", status));

  // The stream form; an odd last byte is a broken unit.
  Bytes whole(std::string("a\0b\0", 4));
  krn::Krn_unbuffered_istream in(whole.buffer, false, status);
  EXPECT_EQ(enr_utf16_is_in_encoding(ENR_US_ASCII, in, status), 0);
  EXPECT_TRUE(status.ok());
  Bytes odd(std::string("a\0b", 3));
  krn::Krn_unbuffered_istream odd_in(odd.buffer, false, status);
  EXPECT_EQ(enr_utf16_is_in_encoding(ENR_US_ASCII, odd_in, status), 100);
}

TEST(EnrDetectConvert, NoiseSettings) {
  Enr_detect_convert settings;
  EXPECT_EQ(settings.get_noise(), 0);
  EXPECT_EQ(settings.get_specified_noise(), 0);

  Enr_detect_convert::set_global_noise(10);
  EXPECT_EQ(settings.get_noise(), 5);
  EXPECT_EQ(settings.get_specified_noise(), 2);
  Enr_detect_convert::set_global_noise(1);
  EXPECT_EQ(settings.get_noise(), 1);
  EXPECT_EQ(settings.get_specified_noise(), 1);
  Enr_detect_convert::set_global_noise(-4);
  EXPECT_EQ(Enr_detect_convert::get_global_noise(), 1);

  settings.set_noise(7);
  settings.set_noise(-2);
  EXPECT_EQ(settings.get_noise(), 7);
  EXPECT_EQ(settings.get_specified_noise(), 3);
  settings.set_specified_noise(0);
  EXPECT_EQ(settings.get_specified_noise(), 0);
  settings.set_noise(Enr_detect_convert::USE_GLOBAL);
  EXPECT_EQ(settings.get_noise(), 1);

  EXPECT_EQ(Enr_detect_convert::get_specified_global_noise(), -1);
  Enr_detect_convert::set_specified_global_noise(-3);
  EXPECT_EQ(Enr_detect_convert::get_specified_global_noise(), -1);
  Enr_detect_convert::set_specified_global_noise(4);
  EXPECT_EQ(Enr_detect_convert::get_specified_global_noise(), 4);

  Enr_detect_convert::set_global_noise(0);
}
