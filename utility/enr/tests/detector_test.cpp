// The detector's corrections of the classifier's answer, the flags of the
// detection calls, conversion after detection and the property-list entry
// point. A stub classifier fixes the label where a correction is tested, so
// that the test does not depend on the trained trees.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "enr/enr_classifier.h"
#include "enr/enr_detect_convert.h"
#include "enr/enr_detector.h"
#include "enr/enr_detector_status.h"
#include "enr/enr_encoding.h"
#include "enr/enr_feature.h"
#include "enr/enr_input_text.h"
#include "enr_test_support.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_stream.h"
#include "utk/utk_property.h"

using namespace enr;
using enr_test::Bytes;
using krn::Krn_status;
using krn::Wstring;

namespace {

class Fixed_label : public Enr_classifier {
 public:
  explicit Fixed_label(std::string label) : m_label(std::move(label)) {}
  std::string classify(const std::uint16_t*) const override {
    if (m_label == "throw") throw std::logic_error("Invalid classifier tree. Left child index out of range.");
    return m_label;
  }

 private:
  std::string m_label;
};

// A detector whose classifier always gives one label.
class Stub_detector : public Enr_encoding_detector {
 public:
  explicit Stub_detector(const std::string& label) { set_classifier(new Fixed_label(label)); }
};

Enr_encoding lookup(const char16_t* name) {
  Krn_status status;
  return enr_display_name(Wstring(name), status);
}

Enr_encoding detect_as(const std::string& label, const std::string& bytes, Enr_encoding_detector::Bom_type& bom,
                       Krn_status& status) {
  Stub_detector detector(label);
  Bytes input(bytes);
  return detector.detect(input.buffer, bom, status);
}

Enr_encoding detect_as(const std::string& label, const std::string& bytes) {
  Enr_encoding_detector::Bom_type bom;
  Krn_status status;
  const Enr_encoding result = detect_as(label, bytes, bom, status);
  EXPECT_TRUE(status.ok());
  return result;
}

std::string utf16le(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::string utf16be(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit >> 8);
    bytes += static_cast<char>(unit & 0xFF);
  }
  return bytes;
}

Wstring buffer_text(const krn::Krn_buffer& buffer) {
  Krn_status status;
  krn::Krn_unbuffered_istream in(buffer, false, status);
  Wstring text;
  char16_t unit;
  while (in.read(sizeof unit, &unit, status) == sizeof unit) text += unit;
  return text;
}

const std::u16string GERMAN = u"Gr\u00FC\u00DFe aus M\u00FCnchen, wo die Stra\u00DFen sch\u00F6n sind.\n";
const std::string GERMAN_LATIN1 = "Gr\xFC\xDF" "e aus M\xFCnchen, wo die Stra\xDF" "en sch\xF6n sind.\n";

}  // namespace

TEST(EnrDetectorCorrections, PrintableAsciiBecomesUsAscii) {
  EXPECT_EQ(ENR_US_ASCII, detect_as("iso-8859-1", "Plain text,\twith tabs\r\nand lines.\n"));
  EXPECT_EQ(ENR_ISO_8859_1, detect_as("iso-8859-1", "Caf\xE9"));
  // A control character other than TAB to CR is not plain text.
  EXPECT_EQ(ENR_ISO_8859_1, detect_as("iso-8859-1", "bell\x07"));
}

TEST(EnrDetectorCorrections, HzNeedsAnEscape) {
  const Enr_encoding hz = lookup(u"hz-gb-2312");
  ASSERT_NE(ENR_UNKNOWN_ENCODING, hz);
  EXPECT_EQ(ENR_US_ASCII, detect_as("hz-gb-2312", "No tilde at all."));
  EXPECT_EQ(hz, detect_as("hz-gb-2312", "Hi ~{<:Ky2;~} there"));
  // The first tilde decides; a path before the escape hides it.
  EXPECT_EQ(ENR_US_ASCII, detect_as("hz-gb-2312", "see ~/notes, ~{<:~}"));
  // HZ text is never turned into us-ascii by the plain-text check.
  EXPECT_EQ(hz, detect_as("hz-gb-2312", "line~\nnext"));
}

TEST(EnrDetectorCorrections, HzEscapeScanner) {
  Krn_status status;
  Bytes trailing("ends with ~");
  EXPECT_FALSE(enr_has_hz_escape(trailing.buffer, status));
  Bytes escape("a~~b");
  EXPECT_TRUE(enr_has_hz_escape(escape.buffer, status));
  // The decision may fall across the scanner's read blocks.
  Bytes across(std::string(4095, 'a') + "~}");
  EXPECT_TRUE(enr_has_hz_escape(across.buffer, status));
  Bytes late(std::string(10000, 'a') + "\xB0");
  EXPECT_FALSE(enr_is_plain_ascii(late.buffer, status));
  EXPECT_TRUE(status.ok());
}

TEST(EnrDetectorCorrections, Utf16CheckDecidesValidityAndOrder) {
  const Enr_encoding utf16le_encoding = lookup(u"UTF-16LE");
  const Enr_encoding utf16be_encoding = lookup(u"UTF-16BE");
  const std::u16string text = u"Hello, this is text.\n";
  EXPECT_EQ(utf16le_encoding, detect_as("utf-16le", utf16le(text)));
  // The platform test, backed by where the zero bytes are, turns the order.
  EXPECT_EQ(utf16le_encoding, detect_as("utf-16be", utf16le(text)));
  EXPECT_EQ(utf16be_encoding, detect_as("utf-16le", utf16be(text)));
  EXPECT_EQ(utf16be_encoding, detect_as("utf-16be", utf16be(text)));
  // An odd number of bytes cannot be UTF-16.
  EXPECT_EQ(ENR_UNKNOWN_ENCODING, detect_as("utf-16le", utf16le(text) + "x"));
}

TEST(EnrDetectorCorrections, LabelsThatNameNoEncoding) {
  EXPECT_EQ(ENR_UNKNOWN_ENCODING, detect_as("binary", "\x01\x02\x03\xFF"));
  EXPECT_EQ(ENR_UNKNOWN_ENCODING, detect_as("", "\x01\x02\x03\xFF"));
}

TEST(EnrDetectorCorrections, ClassifierFailureIsReported) {
  Enr_encoding_detector::Bom_type bom;
  Krn_status status;
  EXPECT_EQ(ENR_UNKNOWN_ENCODING, detect_as("throw", "text", bom, status));
  EXPECT_TRUE(status == ENR_E_CLASSIFIER);
  EXPECT_EQ(u"Invalid classifier tree. Left child index out of range.", enr_test::arg_text(status));
}

namespace {

class Throwing_feature : public Enr_feature {
 public:
  Throwing_feature() : Enr_feature(0) {}
  void generate(const Enr_input_text&, std::uint16_t*) override { throw std::runtime_error("generator failed"); }
};

// Fails where the test says: making the generators or running them.
class Failing_detector : public Enr_encoding_detector {
 public:
  explicit Failing_detector(bool fail_loading) : m_fail_loading(fail_loading) {
    set_classifier(new Fixed_label("utf-8"));
  }
  void load_feature_generators(std::vector<Enr_feature*>& generators, Krn_status& status) override {
    status.clear();
    if (m_fail_loading) {
      status.assign(ENR_E_LOAD_FEATURES, krn::Krn_wstring_status_arg(std::string("no tables")));
      return;
    }
    generators.push_back(new Throwing_feature());
  }

 private:
  bool m_fail_loading;
};

}  // namespace

TEST(EnrDetectorCorrections, GeneratorFailuresAreReported) {
  Bytes input("text");
  Enr_encoding_detector::Bom_type bom;
  Krn_status status;
  EXPECT_EQ(ENR_UNKNOWN_ENCODING, Failing_detector(false).detect(input.buffer, bom, status));
  EXPECT_TRUE(status == ENR_E_FEATURE_VALUES);
  EXPECT_EQ(u"generator failed", enr_test::arg_text(status));
  EXPECT_EQ(ENR_UNKNOWN_ENCODING, Failing_detector(true).detect(input.buffer, bom, status));
  EXPECT_TRUE(status == ENR_E_LOAD_FEATURES);
}

TEST(EnrDetectorCorrections, ByteOrderMarkType) {
  struct Case {
    std::string bytes;
    Enr_encoding_detector::Bom_type bom;
  } cases[] = {
      {"\xEF\xBB\xBFtext", Enr_encoding_detector::BOM_LITTLE_ENDIAN},
      {"\xFF\xFEt\0", Enr_encoding_detector::BOM_LITTLE_ENDIAN},
      {std::string("\xFE\xFF\0t", 4), Enr_encoding_detector::BOM_BIG_ENDIAN},
      {"text", Enr_encoding_detector::BOM_NONE},
  };
  for (const Case& c : cases) {
    Enr_encoding_detector::Bom_type bom = Enr_encoding_detector::BOM_NONE;
    Krn_status status;
    detect_as("utf-8", c.bytes, bom, status);
    EXPECT_EQ(c.bom, bom) << c.bytes;
  }
}

TEST(EnrDetectConvert, MarkedUtf16GivesFlagsSeven) {
  Enr_detect_convert converter;
  Bytes input("\xFF\xFE" + utf16le(u"Byte order marks make this certain.\n"));
  unsigned char flags = 0;
  Krn_status status;
  const Enr_encoding result = converter.detect_character_encoding(&input.buffer, flags, status);
  ASSERT_TRUE(status.ok());
  EXPECT_TRUE(result == lookup(u"UTF-16") || result == lookup(u"UTF-16LE"));
  EXPECT_EQ(7, flags);

  Bytes big("\xFE\xFF" + utf16be(u"Byte order marks make this certain.\n"));
  converter.detect_character_encoding(&big.buffer, flags, status);
  EXPECT_EQ(5, flags);
}

TEST(EnrDetectConvert, NoBufferIsReported) {
  Enr_detect_convert converter;
  unsigned char flags = 0;
  Krn_status status;
  EXPECT_EQ(ENR_UNKNOWN_ENCODING, converter.detect_character_encoding(nullptr, flags, status));
  EXPECT_TRUE(status == ENR_E_INPUT_TEXT);
}

TEST(EnrDetectConvert, ConvertsDetectedTextButNotUtf16) {
  Enr_detect_convert converter;
  Bytes latin1(GERMAN_LATIN1 + GERMAN_LATIN1);
  Wstring name;
  unsigned char flags = 0;
  Krn_status status;
  std::unique_ptr<krn::Krn_buffer> converted(converter.detect_and_convert_text(&latin1.buffer, name, flags, status));
  ASSERT_TRUE(status.ok());
  ASSERT_NE(nullptr, converted);
  EXPECT_EQ(GERMAN + GERMAN, buffer_text(*converted));
  EXPECT_FALSE(name.empty());

  Bytes wide("\xFF\xFE" + utf16le(GERMAN));
  std::unique_ptr<krn::Krn_buffer> none(converter.detect_and_convert_text(&wide.buffer, name, flags, status));
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(u"UNICODE", name);
}

TEST(EnrDetectConvert, NormaliseEncodingName) {
  Enr_detect_convert converter;
  Wstring name = u"utf_8";
  EXPECT_EQ(ENR_UTF_8, converter.normalise_encoding_name(name));
  EXPECT_EQ(u"utf-8", name);
  name = u"UTF16";
  EXPECT_EQ(lookup(u"UTF-16"), converter.normalise_encoding_name(name));
  EXPECT_EQ(u"UNICODE", name);
  name = u"no such encoding";
  EXPECT_EQ(ENR_UNKNOWN_ENCODING, converter.normalise_encoding_name(name));
  EXPECT_EQ(u"no such encoding", name);
  name.clear();
  EXPECT_EQ(ENR_UNKNOWN_ENCODING, converter.normalise_encoding_name(name));
}

TEST(EnrDetectConvertProps, GoodHintLeavesPropertiesAlone) {
  utk::Utk_property_list properties;
  properties.add("ItemCharset", Wstring(u"ISO_8859-1"));
  Bytes input(GERMAN_LATIN1);
  bool is_utf16 = true, little_endian = false, has_bom = true;
  Krn_status status;
  std::unique_ptr<krn::Krn_buffer> converted(
      enr_detect_and_convert_text_with_props(&input.buffer, properties, is_utf16, little_endian, has_bom, status));
  ASSERT_TRUE(status.ok());
  ASSERT_NE(nullptr, converted);
  EXPECT_EQ(GERMAN, buffer_text(*converted));
  EXPECT_FALSE(is_utf16);
  EXPECT_FALSE(has_bom);
  EXPECT_EQ(u"ISO_8859-1", properties.find_cs("ItemCharset")->string_value());
  EXPECT_EQ(nullptr, properties.find_cs("DetectedItemCharset"));
}

TEST(EnrDetectConvertProps, FailingHintFallsBackToDetection) {
  utk::Utk_property_list properties;
  properties.add("ItemCharset", Wstring(u"utf-8"));
  // Latin-1 umlauts are not UTF-8, and a named encoding tolerates no noise.
  Bytes input(GERMAN_LATIN1 + GERMAN_LATIN1);
  bool is_utf16 = true, little_endian = false, has_bom = true;
  Krn_status status;
  std::unique_ptr<krn::Krn_buffer> converted(
      enr_detect_and_convert_text_with_props(&input.buffer, properties, is_utf16, little_endian, has_bom, status));
  ASSERT_TRUE(status.ok());
  ASSERT_NE(nullptr, converted);
  EXPECT_EQ(GERMAN + GERMAN, buffer_text(*converted));
  const utk::Utk_property* charset = properties.find_cs("ItemCharset");
  ASSERT_NE(nullptr, charset);
  EXPECT_NE(u"utf-8", charset->string_value());
  const utk::Utk_property* detected = properties.find_cs("DetectedItemCharset");
  ASSERT_NE(nullptr, detected);
  EXPECT_TRUE(detected->bool_value());
}

TEST(EnrDetectConvertProps, Utf16HintIsCheckedNotConverted) {
  utk::Utk_property_list properties;
  properties.add("ItemCharset", Wstring(u"UNICODE"));
  Bytes input(utf16le(u"Some wide text.\n"));
  bool is_utf16 = false, little_endian = false, has_bom = true;
  Krn_status status;
  krn::Krn_buffer* converted =
      enr_detect_and_convert_text_with_props(&input.buffer, properties, is_utf16, little_endian, has_bom, status);
  EXPECT_EQ(nullptr, converted);
  EXPECT_TRUE(is_utf16);
  EXPECT_TRUE(little_endian);
  EXPECT_FALSE(has_bom);
  EXPECT_EQ(nullptr, properties.find_cs("DetectedItemCharset"));
}

TEST(EnrDetector, WritesFeatureNamesAndValues) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("enr_detector_test_" + std::to_string(std::random_device()()));
  fs::create_directory(dir);
  const std::string file = (dir / "features.tsv").string();
  Bytes input("Feature text \xE9");
  Krn_status status;
  Enr_encoding_detector::instance()->generate_features(input.buffer, status, file);
  EXPECT_TRUE(status.ok());
  std::ifstream in(file);
  std::string names, values;
  std::getline(in, names);
  std::getline(in, values);
  in.close();
  fs::remove_all(dir);
  EXPECT_EQ(0u, names.find("utf-8\tutf-8-moz\t"));
  EXPECT_EQ(ENR_FEATURE_COUNT - 1, std::count(names.begin(), names.end(), '\t'));
  EXPECT_EQ(ENR_FEATURE_COUNT - 1, std::count(values.begin(), values.end(), '\t'));

  Enr_encoding_detector::instance()->generate_features(input.buffer, status, (dir / "missing" / "f").string());
  EXPECT_FALSE(status.ok());
}

TEST(EnrDetectorThreads, ConcurrentDetectionsAgree) {
  Enr_encoding_detector* detector = Enr_encoding_detector::instance();
  ASSERT_NE(nullptr, detector);
  Bytes input(GERMAN_LATIN1 + GERMAN_LATIN1 + GERMAN_LATIN1);
  Krn_status status;
  Enr_encoding_detector::Bom_type bom;
  const Enr_encoding expected = detector->detect(input.buffer, bom, status);
  std::vector<Enr_encoding> results(4, ENR_UNKNOWN_ENCODING);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&, i] {
      Krn_status own;
      Enr_encoding_detector::Bom_type own_bom;
      results[i] = Enr_encoding_detector::instance()->detect(input.buffer, own_bom, own);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (Enr_encoding result : results) EXPECT_EQ(expected, result);
}
