// Character readers: decoding, malformed input in both modes, positions,
// and the factory.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "enr/enr_reader.h"
#include "enr/enr_status_codes.h"
#include "enr_test_support.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_stream.h"

using namespace enr;
using enr_test::Bytes;
using krn::int64;
using krn::Krn_status;

namespace {

constexpr std::uint32_t END = Enr_reader_base::END_OF_DATA;
constexpr std::uint32_t BAD = 0xFFFD;

// Every code point up to the end, as a lenient reader sees them.
std::vector<std::uint32_t> read_all(Enr_reader_base& reader, const std::string& bytes) {
  Bytes input(bytes);
  Krn_status status;
  reader.attach(input.buffer, status);
  EXPECT_TRUE(status.ok());
  std::vector<std::uint32_t> result;
  for (std::uint32_t c = reader.read(); c != END; c = reader.read()) {
    result.push_back(c);
    if (result.size() > bytes.size()) break;
  }
  reader.detach();
  return result;
}

// The position a strict reader reports for the first malformed character.
int64 strict_failure(Enr_reader_base& reader, const Bytes& input) {
  Krn_status status;
  reader.attach(input.buffer, status, true);
  int64 position = -1;
  try {
    while (reader.read() != END) {
    }
  } catch (const Enr_reader_base::Enr_invalid_char& e) {
    position = e.position();
  }
  reader.detach();
  return position;
}

using Code_points = std::vector<std::uint32_t>;

}  // namespace

TEST(EnrUtf16Reader, DecodesPairsAndTracksBytePositions) {
  Bytes input(std::string("\x41\x00\x3D\xD8\x00\xDE", 6));
  Enr_utf16_reader reader;
  Krn_status status;
  reader.attach(input.buffer, status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(reader.tell(), 0);
  EXPECT_EQ(reader.read(), 0x41u);
  EXPECT_EQ(reader.tell(), 2);
  EXPECT_EQ(reader.read(), 0x1F600u);
  EXPECT_EQ(reader.tell(), 6);
  EXPECT_EQ(reader.read(), END);
  EXPECT_EQ(reader.size(status), 6);

  reader.seek(2, status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(reader.read(), 0x1F600u);
}

TEST(EnrUtf16Reader, MalformedUnitsReadAsReplacementWithoutLosingTheNextCharacter) {
  Enr_utf16_reader reader;
  EXPECT_EQ(read_all(reader, std::string("\x3D\xD8\x41\x00", 4)), (Code_points{BAD, 0x41}));
  EXPECT_EQ(read_all(reader, std::string("\x41\x00\x3D\xD8", 4)), (Code_points{0x41, BAD}));
  EXPECT_EQ(read_all(reader, std::string("\x00\xDE\x42\x00", 4)), (Code_points{BAD, 0x42}));
  // An odd last byte is half a character, not nothing.
  EXPECT_EQ(read_all(reader, std::string("\x41\x00\x42", 3)), (Code_points{0x41, BAD}));
  // A byte-order mark is the caller's business.
  EXPECT_EQ(read_all(reader, std::string("\xFF\xFE\x41\x00", 4)), (Code_points{0xFEFF, 0x41}));
}

TEST(EnrUtf16Reader, StrictModeThrowsWithThePositionAfterTheBadUnits) {
  Enr_utf16_reader reader;
  EXPECT_EQ(strict_failure(reader, Bytes(std::string("\x41\x00\x3D\xD8\x41\x00", 6))), 4);
  EXPECT_EQ(strict_failure(reader, Bytes(std::string("\x3D\xD8", 2))), 2);
  EXPECT_EQ(strict_failure(reader, Bytes(std::string("\x00\xDE\x41\x00", 4))), 2);
  EXPECT_EQ(strict_failure(reader, Bytes(std::string("\x41\x00\x42", 3))), 3);
  EXPECT_EQ(strict_failure(reader, Bytes(std::string("\x41\x00\x3D\xD8\x00\xDE", 6))), -1);

  // Reading goes on after the throw, with the character that followed.
  Bytes input(std::string("\x3D\xD8\x41\x00", 4));
  Krn_status status;
  reader.attach(input.buffer, status, true);
  EXPECT_THROW(reader.read(), Enr_reader_base::Enr_invalid_char);
  EXPECT_EQ(reader.read(), 0x41u);
  reader.detach();
}

TEST(EnrUtf16Reader, BigEndian) {
  Enr_utf16_reader reader(true);
  EXPECT_EQ(read_all(reader, std::string("\x00\x41\xD8\x3D\xDE\x00", 6)), (Code_points{0x41, 0x1F600}));
}

TEST(EnrUtf8Reader, DecodesAndReportsBrokenSequences) {
  Enr_utf8_reader reader;
  EXPECT_EQ(read_all(reader, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), (Code_points{0x41, 0xE9, 0x20AC, 0x1F600}));
  // Overlong forms and the old five- and six-byte forms decode as they are.
  EXPECT_EQ(read_all(reader, std::string("\xC0\x80", 2)), (Code_points{0}));
  EXPECT_EQ(read_all(reader, "\xFC\x84\x80\x80\x80\x80"), (Code_points{0x4000000}));
  EXPECT_EQ(read_all(reader, "\xFD\xBF\xBF\xBF\xBF\xBF"), (Code_points{0x7FFFFFFF}));
  EXPECT_EQ(read_all(reader, "\x80" "A"), (Code_points{BAD, 0x41}));
  EXPECT_EQ(read_all(reader, "\xFE\xFF"), (Code_points{BAD, BAD}));
  // The byte that breaks a sequence starts the next character.
  EXPECT_EQ(read_all(reader, "\xE2\x41"), (Code_points{BAD, 0x41}));
  EXPECT_EQ(read_all(reader, "\xE2\x82"), (Code_points{BAD}));

  EXPECT_EQ(strict_failure(reader, Bytes("A\xE2\x41")), 2);
  EXPECT_EQ(strict_failure(reader, Bytes("A\xE2\x82")), 3);
  EXPECT_EQ(strict_failure(reader, Bytes("AB\x80")), 3);
}

TEST(EnrUtf32Reader, ReadsLittleEndianValues) {
  Enr_utf32_reader reader;
  EXPECT_EQ(read_all(reader, std::string("\x41\x00\x00\x00\x00\xF6\x01\x00", 8)), (Code_points{0x41, 0x1F600}));
  // Neither a value that END_OF_DATA would hide among nor a cut-off one is
  // dropped silently.
  EXPECT_EQ(read_all(reader, std::string("\xFF\xFF\xFF\xFF\x41\x00\x00\x00", 8)), (Code_points{BAD, 0x41}));
  EXPECT_EQ(read_all(reader, std::string("\x41\x00\x00\x00\x42\x00", 6)), (Code_points{0x41, BAD}));
  EXPECT_EQ(strict_failure(reader, Bytes(std::string("\x41\x00\x00\x00\x42\x00", 6))), 6);
}

TEST(EnrLatin1Reader, AsciiRefusesEveryByteFromEighty) {
  Enr_latin1_reader latin1;
  Enr_ascii_reader ascii;
  EXPECT_EQ(read_all(latin1, "A\xE9\xFF"), (Code_points{0x41, 0xE9, 0xFF}));
  EXPECT_EQ(read_all(ascii, "A\xE9\x7F\x80"), (Code_points{0x41, BAD, 0x7F, BAD}));
  EXPECT_EQ(strict_failure(ascii, Bytes("AB\xE9")), 3);
  EXPECT_EQ(strict_failure(latin1, Bytes("AB\xE9")), -1);
}

TEST(EnrReaders, PeekLeavesThePositionAlone) {
  Bytes input(std::string("\xC3\xA9\xE2\x41", 4));
  Enr_utf8_reader reader;
  Krn_status status;
  reader.attach(input.buffer, status, true);
  EXPECT_EQ(reader.peek(), 0xE9u);
  EXPECT_EQ(reader.tell(), 0);
  EXPECT_EQ(reader.read(), 0xE9u);
  EXPECT_EQ(reader.tell(), 2);
  // A malformed character is reported where it starts, and stays there.
  try {
    reader.peek();
    FAIL() << "peek accepted a broken sequence";
  } catch (const Enr_reader_base::Enr_invalid_char& e) {
    EXPECT_EQ(e.position(), 2);
  }
  EXPECT_EQ(reader.tell(), 2);
  EXPECT_THROW(reader.read(), Enr_reader_base::Enr_invalid_char);
  EXPECT_EQ(reader.peek(), 0x41u);
  EXPECT_EQ(reader.read(), 0x41u);
  EXPECT_EQ(reader.peek(), END);
}

TEST(EnrReaders, UnattachedReadersReportTheirEncoding) {
  Enr_utf8_reader utf8;
  Enr_ascii_reader ascii;
  Enr_icu_reader icu(ENR_WINDOWS_1251);
  for (auto [reader, name] : {std::pair<Enr_reader_base*, const char16_t*>{&utf8, u"UTF-8"},
                              {&ascii, u"US-ASCII"}, {&icu, u"ICU"}}) {
    Krn_status status;
    EXPECT_EQ(reader->read(), END);
    EXPECT_EQ(reader->peek(), END);
    EXPECT_EQ(reader->tell(), 0);
    EXPECT_EQ(reader->size(status), 0);
    EXPECT_EQ(status, ENR_E_READER_NOT_ATTACHED);
    EXPECT_EQ(enr_test::arg_text(status), name);
    status.clear();
    reader->seek(1, status);
    EXPECT_EQ(status, ENR_E_READER_NOT_ATTACHED);
  }

  Bytes input("AB");
  Krn_status status;
  utf8.attach(input.buffer, status);
  EXPECT_EQ(utf8.read(), 0x41u);
  utf8.detach();
  EXPECT_EQ(utf8.read(), END);
  EXPECT_EQ(utf8.tell(), 0);
}

TEST(EnrIcuReader, ReadsALegacyEncodingCodePointByCodePoint) {
  // "Привет" in windows-1251; positions count bytes of the UTF-16 copy.
  Bytes input("\xCF\xF0\xE8\xE2\xE5\xF2");
  Enr_icu_reader reader(ENR_WINDOWS_1251);
  Krn_status status;
  reader.attach(input.buffer, status);
  ASSERT_TRUE(status.ok());
  ASSERT_NE(reader.get_buffer(), nullptr);
  EXPECT_EQ(reader.size(status), 12);
  Code_points read;
  for (std::uint32_t c = reader.read(); c != END; c = reader.read()) read.push_back(c);
  EXPECT_EQ(read, (Code_points{0x41F, 0x440, 0x438, 0x432, 0x435, 0x442}));
  EXPECT_EQ(reader.tell(), 12);
  reader.seek(10, status);
  EXPECT_EQ(reader.peek(), 0x442u);
  EXPECT_EQ(reader.tell(), 10);

  // Shift_JIS, two bytes a character but one for ASCII: "日本A".
  Bytes japanese("\x93\xFA\x96\x7B" "A");
  Enr_icu_reader sjis(ENR_SHIFT_JIS);
  sjis.attach(japanese.buffer, status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(sjis.read(), 0x65E5u);
  EXPECT_EQ(sjis.read(), 0x672Cu);
  EXPECT_EQ(sjis.read(), 0x41u);
  EXPECT_EQ(sjis.read(), END);
}

TEST(EnrIcuReader, TextThatIsMostlyNoiseIsNotAttached) {
  Bytes input(std::string(20, '\x01'));
  Enr_icu_reader reader(ENR_WINDOWS_1251);
  Krn_status status;
  reader.attach(input.buffer, status);
  EXPECT_EQ(status, ENR_E_NOISE_LIMIT);
  EXPECT_EQ(reader.get_buffer(), nullptr);
  EXPECT_EQ(reader.read(), END);

  Enr_icu_reader missing(ENR_JIS_ROMAN);
  missing.attach(Bytes("A").buffer, status);
  EXPECT_EQ(status, ENR_E_UNKNOWN_ENCODING);
  EXPECT_EQ(missing.read(), END);
}

TEST(EnrIcuReader, OwnershipOfTheBufferItReads) {
  // A buffer handed over with attach_utf16 goes with the reader (the leak
  // checker watches); one released with owns_data(false) stays the caller's.
  auto* owned = new krn::Krn_heap_buffer;
  Krn_status status;
  {
    krn::Krn_ostream out(*owned, status);
    out.write(4, "\x3D\xD8\x41\x00", status);
  }
  Enr_icu_reader reader(ENR_UTF_8);
  reader.attach_utf16(*owned, status, true, true);
  ASSERT_TRUE(status.ok());
  EXPECT_THROW(reader.read(), Enr_reader_base::Enr_invalid_char);
  EXPECT_EQ(reader.read(), 0x41u);

  reader.attach(Bytes("xy").buffer, status);
  ASSERT_TRUE(status.ok());
  std::unique_ptr<const krn::Krn_buffer> kept(reader.get_buffer());
  reader.owns_data(false);
  reader.detach();
  EXPECT_EQ(reader.get_buffer(), nullptr);
  krn::Krn_unbuffered_istream in(*kept, false, status);
  std::u16string text(2, u'\0');
  EXPECT_EQ(in.read(4, text.data(), status), 4u);
  EXPECT_EQ(text, u"xy");
}

TEST(EnrIcuReader, AttachingAgainToTheBufferItOwnsKeepsTheBuffer) {
  // Switching to strict mode on the copy the reader made; the copy must not
  // be freed by the detach that every attachment starts with.
  Enr_icu_reader reader(ENR_WINDOWS_1251);
  Krn_status status;
  reader.attach(Bytes("\xCF\xF0").buffer, status);
  ASSERT_TRUE(status.ok());
  const krn::Krn_buffer* copy = reader.get_buffer();
  reader.attach_utf16(*copy, status, true, true);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(reader.get_buffer(), copy);
  EXPECT_EQ(reader.read(), 0x41Fu);
  EXPECT_EQ(reader.read(), 0x440u);

  // Converting the copy itself once more reads its bytes, not freed memory.
  reader.attach(*copy, status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(reader.size(status), 8);
  EXPECT_EQ(reader.read(), 0x1Fu);
}

TEST(EnrReaderFactory, ChoosesTheReaderByName) {
  const auto make = [](const char16_t* name) { return std::unique_ptr<Enr_reader_base>(Enr_reader_factory::create_reader(name)); };
  EXPECT_NE(dynamic_cast<Enr_utf16_reader*>(make(u"unicode").get()), nullptr);
  EXPECT_NE(dynamic_cast<Enr_utf16_reader*>(make(u"UTF-16LE").get()), nullptr);
  EXPECT_NE(dynamic_cast<Enr_utf8_reader*>(make(u"utf_8").get()), nullptr);
  EXPECT_NE(dynamic_cast<Enr_utf32_reader*>(make(u"UTF-32").get()), nullptr);
  EXPECT_NE(dynamic_cast<Enr_ascii_reader*>(make(u"US-ASCII").get()), nullptr);
  const auto latin1 = make(u"latin1");
  EXPECT_NE(dynamic_cast<Enr_latin1_reader*>(latin1.get()), nullptr);
  EXPECT_EQ(dynamic_cast<Enr_ascii_reader*>(latin1.get()), nullptr);
  const auto cyrillic = make(u"cp1251");
  ASSERT_NE(dynamic_cast<Enr_icu_reader*>(cyrillic.get()), nullptr);
  EXPECT_EQ(dynamic_cast<Enr_icu_reader*>(cyrillic.get())->encoding(), ENR_WINDOWS_1251);
  EXPECT_EQ(make(u"no such encoding"), nullptr);

  const std::unique_ptr<Enr_reader_base> by_value(Enr_reader_factory::create_reader(ENR_UTF_8));
  EXPECT_NE(dynamic_cast<Enr_utf8_reader*>(by_value.get()), nullptr);
  EXPECT_EQ(Enr_reader_factory::create_reader(static_cast<Enr_encoding>(29)), nullptr);
}
