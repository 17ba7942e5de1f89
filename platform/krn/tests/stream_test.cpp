#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "krn/krn_buffer.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"

using namespace krn;

namespace {

struct Line {
  std::string text;
  Krn_eol eol;
  unsigned status;
};

std::vector<Line> read_lines(const std::string& content, Krn_eol mode, uint64 max_length = 100) {
  std::string text = content;
  Krn_string_buffer buffer(text, true);
  Krn_status status;
  Krn_buffered_istream in(buffer, false, status, mode);
  std::vector<Line> lines;
  for (;;) {
    std::string line;
    const Krn_eol eol = in.readln(max_length, line, status);
    lines.push_back({line, eol, status.value()});
    if (status.value() == KRN_E_END_OF_DATA || lines.size() > 20) break;
  }
  return lines;
}

void expect_line(const Line& line, const std::string& text, Krn_eol eol, unsigned status) {
  EXPECT_EQ(line.text, text);
  EXPECT_EQ(line.eol, eol) << "line " << text;
  EXPECT_EQ(line.status, status) << "line " << text;
}

std::string bytes_of(const Wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

}  // namespace

TEST(KrnStreamLines, AnyLineEndDecidedLineByLine) {
  const auto lines = read_lines("a\rb\nc\r\nd", KRN_EOL_NONE);
  ASSERT_EQ(lines.size(), 5u);
  expect_line(lines[0], "a", KRN_EOL_CR, 0);
  expect_line(lines[1], "b", KRN_EOL_LF, 0);
  expect_line(lines[2], "c", KRN_EOL_CRLF, 0);
  expect_line(lines[3], "d", KRN_EOL_NONE, KRN_E_LINE_CUT);
  expect_line(lines[4], "", KRN_EOL_NONE, KRN_E_END_OF_DATA);

  const auto doubled = read_lines("x\r\ry\r", KRN_EOL_NONE);
  ASSERT_EQ(doubled.size(), 4u);
  expect_line(doubled[0], "x", KRN_EOL_CR, 0);
  expect_line(doubled[1], "", KRN_EOL_CR, 0);
  // A CR as the last byte of the data ends the line.
  expect_line(doubled[2], "y", KRN_EOL_CR, 0);
}

TEST(KrnStreamLines, FixedLineEndsTakeTheOtherControlsAsText) {
  const auto lf = read_lines("a\r\nb", KRN_EOL_LF);
  expect_line(lf[0], "a\r", KRN_EOL_LF, 0);
  expect_line(lf[1], "b", KRN_EOL_NONE, KRN_E_LINE_CUT);

  const auto cr = read_lines("a\nb\rc", KRN_EOL_CR);
  expect_line(cr[0], "a\nb", KRN_EOL_CR, 0);

  const auto crlf = read_lines("a\nb\r\rc\r\nd\r", KRN_EOL_CRLF);
  ASSERT_GE(crlf.size(), 3u);
  expect_line(crlf[0], "a\nb\r\rc", KRN_EOL_CRLF, 0);
  expect_line(crlf[1], "d\r", KRN_EOL_NONE, KRN_E_LINE_CUT);
}

TEST(KrnStreamLines, LongLinesAreCutAtTheMaximum) {
  std::string text = "0123456789\nnext\n";
  Krn_string_buffer buffer(text, true);
  Krn_status status;
  Krn_unbuffered_istream in(buffer, false, status, KRN_EOL_LF);
  std::string line;
  EXPECT_EQ(in.readln(4, line, status), KRN_EOL_NONE);
  EXPECT_EQ(line, "0123");
  EXPECT_EQ(status.value(), KRN_E_LINE_CUT);
  EXPECT_EQ(in.tell(), 4);
  // A line one longer than the maximum is cut even though its end was seen.
  EXPECT_EQ(in.readln(5, line, status), KRN_EOL_NONE);
  EXPECT_EQ(line, "45678");
  EXPECT_EQ(in.readln(5, line, status), KRN_EOL_LF);
  EXPECT_EQ(line, "9");
  EXPECT_TRUE(status.ok());
  // A line of exactly the maximum keeps its end.
  EXPECT_EQ(in.readln(4, line, status), KRN_EOL_LF);
  EXPECT_EQ(line, "next");
  EXPECT_TRUE(status.ok());
  // Lines longer than one read piece.
  std::string longer(500, 'w');
  longer += "\r\n";
  Krn_string_buffer long_buffer(longer, true);
  Krn_buffered_istream long_in(long_buffer, false, status);
  EXPECT_EQ(long_in.readln(1000, line, status), KRN_EOL_CRLF);
  EXPECT_EQ(line.size(), 500u);
  EXPECT_EQ(long_in.tell(), 502);
}

TEST(KrnStreamLines, AtFormsLeaveThePositionAlone) {
  std::string text = "one\ntwo\n";
  Krn_string_buffer buffer(text, true);
  Krn_status status;
  Krn_buffered_istream in(buffer, false, status);
  std::string line;
  EXPECT_EQ(in.readln_at(4, 10, line, status), KRN_EOL_LF);
  EXPECT_EQ(line, "two");
  EXPECT_EQ(in.tell(), 0);
  in.readln(10, line, status);
  EXPECT_EQ(line, "one");
  EXPECT_EQ(in.tell(), 4);
}

TEST(KrnStreamLines, SixteenBitLinesInBothByteOrders) {
  Wstring wide = u"h\u00e9\r\nz";
  Krn_wstring_buffer buffer(wide);
  Krn_status status;
  Krn_buffered_istream in(buffer, false, status, KRN_EOL_CRLF);
  Wstring line;
  EXPECT_EQ(in.wreadln(10, line, status), KRN_EOL_CRLF);
  EXPECT_EQ(line, u"h\u00e9");
  EXPECT_EQ(in.tell(), 8);
  EXPECT_EQ(in.xreadln_le(10, line, status), KRN_EOL_NONE);
  EXPECT_EQ(line, u"z");
  EXPECT_EQ(status.value(), KRN_E_LINE_CUT);

  // The same text stored big-endian.
  std::string big;
  for (Char16 unit : Wstring(u"h\u00e9\r\nz")) {
    big += static_cast<char>(unit >> 8);
    big += static_cast<char>(unit & 0xFF);
  }
  Krn_string_buffer big_buffer(big, true);
  Krn_unbuffered_istream big_in(big_buffer, false, status, KRN_EOL_CRLF);
  EXPECT_EQ(big_in.wreadln_be(10, line, status), KRN_EOL_CRLF);
  EXPECT_EQ(line, u"h\u00e9");
  EXPECT_EQ(big_in.xreadln_be_at(8, 10, line, status), KRN_EOL_NONE);
  EXPECT_EQ(line, u"z");

  // An odd byte at the end is no unit.
  std::string odd = bytes_of(u"ab") + "x";
  Krn_string_buffer odd_buffer(odd, true);
  Krn_unbuffered_istream odd_in(odd_buffer, false, status, KRN_EOL_NONE);
  odd_in.wreadln(10, line, status);
  EXPECT_EQ(line, u"ab");
  EXPECT_EQ(status.value(), KRN_E_LINE_CUT);
  odd_in.wreadln(10, line, status);
  EXPECT_EQ(line, u"");
  EXPECT_EQ(status.value(), KRN_E_END_OF_DATA);
}

TEST(KrnStreamIntegers, ByteOrdersAndShortData) {
  std::string text = "\x12\x34";
  Krn_string_buffer buffer(text, true);
  Krn_status status;
  Krn_unbuffered_istream in(buffer, false, status);
  std::uint16_t value = 0;
  in.read_be(value, status);
  EXPECT_EQ(value, 0x1234);
  in.seek(KRN_SEEK_START, 0, status);
  in.read_le(value, status);
  EXPECT_EQ(value, 0x3412);

  in.seek(KRN_SEEK_START, 1, status);
  value = 7;
  in.read_be(value, status);
  EXPECT_EQ(status.value(), KRN_E_SHORT_INTEGER);
  EXPECT_EQ(value, 7);
  // At the very end the end of the data stays visible underneath.
  in.read_le(value, status);
  EXPECT_EQ(status.value(), KRN_E_SHORT_INTEGER);
  EXPECT_TRUE(status.contains_value(KRN_E_END_OF_DATA));
}

TEST(KrnStreamIntegers, EveryWidthRoundTrips) {
  Krn_heap_buffer buffer;
  Krn_status status;
  Krn_ostream out(buffer, status);
  out.write_be(static_cast<std::int16_t>(-2), status);
  out.write_le(static_cast<std::uint16_t>(0xBEEF), status);
  out.write_be(static_cast<std::int32_t>(-70000), status);
  out.write_le(0xCAFEBABEu, status);
  out.write_be(static_cast<std::int64_t>(-5000000000ll), status);
  out.write_be(static_cast<std::uint64_t>(0x0102030405060708ull), status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(out.tell(), 28);

  Krn_buffered_istream in(buffer, false, status);
  std::int16_t s16;
  std::uint16_t u16;
  std::int32_t s32;
  std::uint32_t u32;
  std::int64_t s64;
  std::uint64_t u64;
  in.read_be(s16, status);
  in.read_le(u16, status);
  in.read_be(s32, status);
  in.read_le(u32, status);
  in.read_be(s64, status);
  EXPECT_EQ(s16, -2);
  EXPECT_EQ(u16, 0xBEEF);
  EXPECT_EQ(s32, -70000);
  EXPECT_EQ(u32, 0xCAFEBABEu);
  EXPECT_EQ(s64, -5000000000ll);
  unsigned char raw[8];
  in.read(8, raw, status);
  EXPECT_EQ(raw[0], 1);
  EXPECT_EQ(raw[7], 8);
  in.seek(KRN_SEEK_CURRENT, -8, status);
  in.read_le(u64, status);
  EXPECT_EQ(u64, 0x0807060504030201ull);
}

TEST(KrnOstream, LineEndsFollowTheMode) {
  std::string text;
  Krn_string_buffer buffer(text, true);
  Krn_status status;
  {
    Krn_ostream out(buffer, status, KRN_EOL_NONE);
    out.writeln("a", status);
  }
  EXPECT_EQ(text, "a");
  {
    Krn_ostream out(buffer, status, KRN_EOL_CRLF);
    out.seek(KRN_SEEK_END, 0, status);
    out.writeln("b", status);
    EXPECT_EQ(out.tell(), 4);
  }
  {
    Krn_ostream out(buffer, status, KRN_EOL_CR);
    out.seek(KRN_SEEK_END, 0, status);
    out.writeln("c", status);
  }
  {
    Krn_ostream out(buffer, status, KRN_EOL_LF);
    out.seek(KRN_SEEK_END, 0, status);
    out.writeln("", status);
  }
  EXPECT_EQ(text, "ab\r\nc\r\n");

  Wstring wide;
  Krn_wstring_buffer wide_buffer(wide);
  Krn_ostream wide_out(wide_buffer, status, KRN_EOL_LF);
  wide_out.wwriteln(u"x", status);
  wide_out.xwriteln_be(u"y", status);
  EXPECT_EQ(wide, Wstring(u"x\n") + Char16(0x7900) + Char16(0x0A00));
}

TEST(KrnOstream, SetSizeShortensOrExtendsWithZeros) {
  Krn_heap_buffer buffer;
  Krn_status status;
  Krn_ostream out(buffer, status);
  out.write(5, "hello", status);
  out.set_size(2, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(out.size(status), 2);
  out.set_size(6, status);
  EXPECT_EQ(out.size(status), 6);
  EXPECT_EQ(out.tell(), 5);
  out.set_size(-1, status);
  EXPECT_EQ(status.value(), KRN_E_SEEK_RANGE);
  std::string content;
  Krn_unbuffered_istream in(buffer, false, status);
  krn_stream_to_string(in, content, status);
  EXPECT_EQ(content, std::string("he\0\0\0\0", 6));
}

TEST(KrnOstream, DetachedStreamsReportIt) {
  Krn_status status;
  Krn_ostream out;
  out.write(1, "x", status);
  EXPECT_EQ(status.value(), KRN_E_NOT_ATTACHED);
  out.writeln("x", status);
  EXPECT_EQ(status.value(), KRN_E_NOT_ATTACHED);
  Krn_buffered_istream in;
  char byte;
  in.read(1, &byte, status);
  EXPECT_EQ(status.value(), KRN_E_NOT_ATTACHED);
  std::string line;
  in.readln(10, line, status);
  EXPECT_EQ(status.value(), KRN_E_NOT_ATTACHED);
  in.seek(KRN_SEEK_START, 0, status);
  EXPECT_EQ(status.value(), KRN_E_NOT_ATTACHED);
  EXPECT_FALSE(in.size_greater_than(0));
}

TEST(KrnBufferedIstream, ReadCharAtTheEndThrows) {
  std::string text = "ab";
  Krn_string_buffer buffer(text, true);
  Krn_status status;
  Krn_buffered_istream in(buffer, false, status);
  EXPECT_EQ(in.read_char(), 'a');
  EXPECT_EQ(in.read_char(), 'b');
  try {
    in.read_char();
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Krn_buffered_istream::read_char - Error reading data");
  }
  EXPECT_EQ(in.tell(), 2);
  in.seek(KRN_SEEK_START, 1, status);
  // One byte is no 16-bit unit; the position stays.
  EXPECT_THROW(in.read_wchar(), std::runtime_error);
  EXPECT_EQ(in.tell(), 1);
  Krn_buffered_istream detached;
  EXPECT_THROW(detached.read_char(), std::runtime_error);
}

TEST(KrnBufferedIstream, WindowReadsAndSeeksOverManyWindows) {
  Krn_heap_buffer buffer;
  Krn_status status;
  std::vector<unsigned char> data(3 * Krn_buffered_istream::WINDOW_SIZE + 100);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7 + i / 256);
  {
    Krn_ostream out(buffer, status);
    out.write(data.size(), data.data(), status);
  }
  Krn_buffered_istream in(buffer, false, status);
  for (size_t i = 0; i < data.size(); ++i) {
    ASSERT_EQ(in.read_char(), data[i]) << i;
  }
  EXPECT_THROW(in.read_char(), std::runtime_error);

  // Back before the current window, then a read spanning two windows.
  in.seek(KRN_SEEK_START, 100, status);
  std::vector<unsigned char> span(Krn_buffered_istream::WINDOW_SIZE + 50);
  EXPECT_EQ(in.read(span.size(), span.data(), status), span.size());
  EXPECT_TRUE(std::equal(span.begin(), span.end(), data.begin() + 100));
  // read_at before the window, far after it and at the end.
  unsigned char bytes[4];
  EXPECT_EQ(in.read_at(3, 4, bytes, status), 4u);
  EXPECT_EQ(bytes[0], data[3]);
  EXPECT_EQ(in.read_at(static_cast<int64>(data.size()) - 2, 4, bytes, status), 2u);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(bytes[1], data.back());
  EXPECT_EQ(in.read_at(static_cast<int64>(data.size()), 4, bytes, status), 0u);
  EXPECT_EQ(status.value(), KRN_E_END_OF_DATA);
  EXPECT_EQ(in.read_at(-1, 4, bytes, status), 0u);
  EXPECT_EQ(status.value(), KRN_E_SEEK_RANGE);
  EXPECT_EQ(in.tell(), static_cast<int64>(100 + span.size()));

  EXPECT_TRUE(in.size_greater_than(static_cast<int64>(data.size()) - 1));
  EXPECT_FALSE(in.size_greater_than(static_cast<int64>(data.size())));
  EXPECT_EQ(in.size(status), static_cast<int64>(data.size()));
}

TEST(KrnBufferedIstream, ReadWcharReadsUnitsAcrossWindows) {
  Wstring text(Krn_buffered_istream::WINDOW_SIZE / 2 + 3, u'\u20ac');
  text.back() = u'z';
  Krn_wstring_buffer buffer(text);
  Krn_status status;
  Krn_buffered_istream in(buffer, false, status);
  for (size_t i = 0; i + 1 < text.size(); ++i) ASSERT_EQ(in.read_wchar(), u'\u20ac');
  EXPECT_EQ(in.read_wchar(), u'z');
  EXPECT_THROW(in.read_wchar(), std::runtime_error);
}

TEST(KrnIbyteStream, ReadsSeeksAndLines) {
  const unsigned char data[] = {'a', 'b', '\n', 0x12, 0x34, 'c'};
  Krn_status status;
  Krn_ibyte_stream in(data, sizeof(data), status);
  std::string line;
  EXPECT_EQ(in.readln(10, line, status), KRN_EOL_LF);
  EXPECT_EQ(line, "ab");
  std::uint16_t value;
  in.read_be(value, status);
  EXPECT_EQ(value, 0x1234);
  in.seek(KRN_SEEK_START, -1, status);
  EXPECT_EQ(status.value(), KRN_E_SEEK_RANGE);
  EXPECT_EQ(in.tell(), 5);
  in.read_le(value, status);
  EXPECT_EQ(status.value(), KRN_E_SHORT_INTEGER);
  unsigned char byte;
  EXPECT_EQ(in.read(1, &byte, status), 0u);
  EXPECT_EQ(status.value(), KRN_E_END_OF_DATA);
  EXPECT_TRUE(in.size_greater_than(5));
  EXPECT_FALSE(in.size_greater_than(6));
  in.detach();
  EXPECT_EQ(in.size(), 0u);
  EXPECT_EQ(in.read_at(0, 1, &byte, status), 0u);
  EXPECT_EQ(status.value(), KRN_E_END_OF_DATA);
}

TEST(KrnStreamFunctions, CopyAndToStringHonourTheLimit) {
  std::string source(200000, '\0');
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>(i % 253);
  Krn_string_buffer in_buffer(source, true);
  Krn_heap_buffer out_buffer;
  Krn_status status;
  Krn_buffered_istream in(in_buffer, false, status);
  Krn_ostream out(out_buffer, status);
  EXPECT_EQ(krn_copy_stream(in, out, 70000, status), 70000u);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(krn_copy_stream(in, out, status), 130000u);
  EXPECT_TRUE(status.ok());

  Krn_unbuffered_istream back(out_buffer, false, status);
  std::string copied;
  krn_stream_to_string(back, copied, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(copied, source);
  back.seek(KRN_SEEK_START, 0, status);
  krn_stream_to_string(back, copied, 3, status);
  EXPECT_EQ(copied, source.substr(0, 3));

  Wstring wide;
  back.seek(KRN_SEEK_START, 0, status);
  krn_stream_to_string(back, wide, 5, status);
  ASSERT_EQ(wide.size(), 2u);
  EXPECT_EQ(wide[1], static_cast<Char16>(0x0302));
}

TEST(KrnStreamFunctions, CountAndSkipLines) {
  std::string text = std::string(5000, 'l') + "\nshort\n\nlast";
  Krn_string_buffer buffer(text, true);
  Krn_status status;
  Krn_buffered_istream in(buffer, false, status);
  EXPECT_EQ(krn_count_lines(in, status), 4u);
  EXPECT_TRUE(status.ok());
  in.seek(KRN_SEEK_START, 0, status);
  EXPECT_EQ(krn_skip_lines(in, 2, status), 2u);
  EXPECT_EQ(in.tell(), 5007);
  EXPECT_EQ(krn_skip_lines(in, 10, status), 2u);
  EXPECT_TRUE(status.ok());
}

TEST(KrnStreamFunctions, SwapStreamExchangesTheBytesOfEveryUnit) {
  std::string source(65537 + 2, 'a');
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>(i % 199);
  Krn_string_buffer in_buffer(source, true);
  std::string result;
  Krn_string_buffer out_buffer(result, true);
  Krn_status status;
  Krn_buffered_istream in(in_buffer, false, status);
  Krn_ostream out(out_buffer, status);
  krn_swap_stream(in, out, status);
  EXPECT_TRUE(status.ok());
  ASSERT_EQ(result.size(), source.size());
  for (size_t i = 0; i + 1 < source.size(); i += 2) {
    ASSERT_EQ(result[i], source[i + 1]) << i;
    ASSERT_EQ(result[i + 1], source[i]) << i;
  }
  EXPECT_EQ(result.back(), source.back());
}
