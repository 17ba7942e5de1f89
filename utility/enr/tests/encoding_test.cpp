// Encoding names, aliases, code pages, caller-supplied aliases, the charset
// property, domain names and the check made when the library loads.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "enr/enr_encoding.h"
#include "enr/enr_reader.h"
#include "enr/enr_status_codes.h"
#include "enr_library_init.h"
#include "enr_test_support.h"
#include "krn/krn_status_codes.h"
#include "utk/utk_property.h"

using namespace enr;
using krn::Krn_status;
using krn::Wstring;

namespace {

Enr_encoding lookup(const Wstring& name) {
  Krn_status status;
  return enr_display_name(name, status);
}

}  // namespace

TEST(EnrEncodingNames, EveryBuiltInNameAndAliasResolves) {
  std::vector<Wstring> names;
  enr_get_encodings(names);
  ASSERT_GT(names.size(), static_cast<std::size_t>(ENR_BUILT_IN_COUNT)) << "ICU's converters were not registered";
  for (std::int32_t value = 0; value < ENR_BUILT_IN_COUNT; ++value) {
    const auto encoding = static_cast<Enr_encoding>(value);
    Krn_status status;
    const Wstring name = enr_display_name(encoding, status);
    ASSERT_TRUE(status.ok());
    EXPECT_EQ(name, names[value]);
    EXPECT_EQ(enr_display_name(name, status), encoding) << std::string(name.begin(), name.end());
    std::vector<Wstring> aliases;
    enr_get_encoding_aliases(name, aliases, status);
    ASSERT_TRUE(status.ok());
    EXPECT_NE(std::find(aliases.begin(), aliases.end(), name), aliases.end());
    for (const Wstring& alias : aliases) EXPECT_EQ(lookup(alias), encoding);
  }
  EXPECT_EQ(lookup(u"UTF-8"), ENR_UTF_8);
  EXPECT_EQ(lookup(u"utf_8"), ENR_UTF_8);
  EXPECT_EQ(lookup(u"utf 8"), ENR_UTF_8);
  EXPECT_EQ(lookup(u"csShiftJIS"), ENR_SHIFT_JIS);
  EXPECT_EQ(lookup(u"cp1251"), ENR_WINDOWS_1251);
  EXPECT_EQ(lookup(u"GBK"), ENR_WINDOWS_936);
}

TEST(EnrEncodingNames, IcusFurtherEncodingsFindThemselvesAgain) {
  std::vector<Wstring> names;
  enr_get_encodings(names);
  for (std::size_t i = ENR_BUILT_IN_COUNT; i < names.size(); ++i) {
    const auto expected = static_cast<Enr_encoding>(-static_cast<std::int32_t>(i - ENR_BUILT_IN_COUNT + 1));
    EXPECT_EQ(lookup(names[i]), expected) << std::string(names[i].begin(), names[i].end());
  }
  EXPECT_LT(lookup(u"UTF-16LE"), 0);
  EXPECT_NE(lookup(u"UTF-16LE"), lookup(u"UTF-16BE"));
  EXPECT_EQ(lookup(u"utf16le"), lookup(u"UTF_16LE"));
  Krn_status status;
  EXPECT_EQ(enr_display_name(lookup(u"cp1253"), status), u"windows-1253");
}

TEST(EnrEncodingNames, UnknownNamesAndValues) {
  Krn_status status;
  EXPECT_EQ(enr_display_name(Wstring(u"klingon-8"), status), ENR_UNKNOWN_ENCODING);
  EXPECT_EQ(status, ENR_E_UNKNOWN_ENCODING);
  EXPECT_EQ(enr_test::arg_text(status), u"klingon-8");

  for (const Enr_encoding value : {static_cast<Enr_encoding>(29), ENR_UNKNOWN_ENCODING,
                                   static_cast<Enr_encoding>(-1000000)}) {
    Wstring name = u"stale";
    enr_display_name(value, name, status);
    EXPECT_EQ(status, ENR_E_UNKNOWN_ENCODING);
    EXPECT_TRUE(name.empty());
  }
  EXPECT_EQ(enr_test::arg_text(status), u"-1000000");

  std::vector<Wstring> aliases{u"stale"};
  enr_get_encoding_aliases(u"klingon-8", aliases, status);
  EXPECT_EQ(status, ENR_E_UNKNOWN_ENCODING);
  EXPECT_TRUE(aliases.empty());
}

TEST(EnrEncodingNames, WindowsCodePages) {
  Krn_status status;
  for (const unsigned code_page : {0u, 1252u, 20127u}) {
    EXPECT_EQ(enr_windows_lookup_cpg(code_page, status), ENR_WINDOWS_1252);
  }
  EXPECT_EQ(enr_windows_lookup_cpg(1251, status), ENR_WINDOWS_1251);
  EXPECT_EQ(enr_windows_lookup_cpg(932, status), ENR_WINDOWS_932);
  EXPECT_EQ(enr_windows_lookup_cpg(936, status), ENR_WINDOWS_936);
  EXPECT_EQ(enr_windows_lookup_cpg(10000, status), ENR_WINDOWS_10000);
  EXPECT_EQ(enr_windows_lookup_cpg(65001, status), ENR_UTF_8);
  EXPECT_EQ(enr_windows_lookup_cpg(950, status), lookup(u"Big5"));
  EXPECT_EQ(enr_windows_lookup_cpg(1256, status), lookup(u"windows-1256"));
  EXPECT_TRUE(status.ok());
  for (unsigned code_page = 57002; code_page <= 57011; ++code_page) {
    EXPECT_LT(enr_windows_lookup_cpg(code_page, status), 0) << code_page;
  }
  EXPECT_LT(enr_windows_lookup_cpg(437, status), 0);

  EXPECT_EQ(enr_windows_lookup_cpg(12345, status), ENR_UNKNOWN_ENCODING);
  EXPECT_EQ(status, ENR_E_UNKNOWN_ENCODING);
  EXPECT_EQ(enr_test::arg_text(status), u"12345");
  // Listed, but this ICU has no converter for it.
  EXPECT_EQ(enr_windows_lookup_cpg(1361, status), ENR_UNKNOWN_ENCODING);
  EXPECT_EQ(status, ENR_E_UNKNOWN_ENCODING);
}

TEST(EnrEncodingNames, CallerAliases) {
  Krn_status status;
  enr_initialise({{u"Cyrillic Windows", u"cp1251"}, {u"web-text", u"utf-8"}}, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(lookup(u"cyrillic_windows"), ENR_WINDOWS_1251);
  EXPECT_EQ(lookup(u"WebText"), ENR_UTF_8);

  // An alias of another encoding is refused; one of the same is no change.
  enr_initialise({{u"utf8", u"windows-1251"}, {u"u8", u"utf-8"}, {u"utf8", u"utf-8"}}, status, true);
  EXPECT_EQ(status, ENR_E_ALIAS_TAKEN);
  EXPECT_EQ(enr_test::arg_text(status), u"utf8");
  EXPECT_EQ(lookup(u"utf8"), ENR_UTF_8);
  EXPECT_EQ(lookup(u"u8"), ENR_UTF_8);
  EXPECT_EQ(lookup(u"web-text"), ENR_UTF_8);

  // An unknown encoding ends the registration.
  enr_initialise({{u"first", u"utf-8"}, {u"second", u"klingon-8"}, {u"third", u"utf-8"}}, status, true);
  EXPECT_EQ(status, ENR_E_UNKNOWN_ENCODING);
  EXPECT_EQ(lookup(u"first"), ENR_UTF_8);
  EXPECT_EQ(lookup(u"third"), ENR_UNKNOWN_ENCODING);

  // Without keep the table starts again from ICU.
  const Enr_encoding utf16le = lookup(u"UTF-16LE");
  enr_initialise({}, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(lookup(u"web-text"), ENR_UNKNOWN_ENCODING);
  EXPECT_EQ(lookup(u"UTF-16LE"), utf16le);
}

TEST(EnrEncodingNames, CharsetProperty) {
  utk::Utk_property_list properties;
  Wstring charset;
  EXPECT_FALSE(enr_extract_charset(properties, charset));
  properties.add("itemcharset", u"koi8-r");
  EXPECT_FALSE(enr_extract_charset(properties, charset));
  properties.clear();
  properties.add("ItemCharset", 5);
  EXPECT_FALSE(enr_extract_charset(properties, charset));
  properties.clear();
  properties.add("ItemCharset", u"koi8-r");
  EXPECT_TRUE(enr_extract_charset(properties, charset));
  EXPECT_EQ(charset, u"koi8-r");
}

TEST(EnrDomainNames, ConvertBothWays) {
  Krn_status status;
  Wstring ascii;
  EXPECT_TRUE(enr_idn_encode(u"Bücher.example", ascii, status));
  EXPECT_EQ(ascii, u"xn--bcher-kva.example");
  // Nontransitional: the sharp s stays itself.
  EXPECT_TRUE(enr_idn_encode(u"faß.de", ascii, status));
  EXPECT_EQ(ascii, u"xn--fa-hia.de");
  Wstring unicode;
  EXPECT_TRUE(enr_idn_decode(u"xn--bcher-kva.example", unicode, status));
  EXPECT_EQ(unicode, u"bücher.example");
  EXPECT_TRUE(status.ok());

  EXPECT_FALSE(enr_idn_encode(u"-bad-.example", ascii, status));
  EXPECT_EQ(status, ENR_E_DOMAIN_NAME);
  EXPECT_EQ(enr_test::arg_text(status), u"-bad-.example");
  EXPECT_TRUE(ascii.empty());
  EXPECT_FALSE(enr_idn_decode(u"xn--a.example", unicode, status));
  EXPECT_EQ(status, ENR_E_DOMAIN_NAME);
}

TEST(EnrLibrary, LoadingFailsWithoutConverters) {
  EXPECT_NO_THROW(detail::check_converters(1, "icudt72l", "/opt/kestrel/"));
  try {
    testing::internal::CaptureStderr();
    detail::check_converters(0, "icudt72l", "/opt/kestrel/");
    testing::internal::GetCapturedStderr();
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    const std::string printed = testing::internal::GetCapturedStderr();
    const std::string expected =
        "Character encoding recognition convertion library error: Data file icudt72l not found in folder "
        "'/opt/kestrel/'";
    EXPECT_EQ(std::string(e.what()), expected);
    EXPECT_EQ(printed, expected + "\n");
  }
}

TEST(EnrEncodingNamesThreads, LookupsWhileAliasesAreAdded) {
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&wrong] {
      for (int i = 0; i < 200; ++i) {
        if (lookup(u"cp1251") != ENR_WINDOWS_1251) ++wrong;
        std::unique_ptr<Enr_reader_base> reader(Enr_reader_factory::create_reader(u"utf-8"));
        if (!reader) ++wrong;
      }
    });
  }
  threads.emplace_back([] {
    Krn_status status;
    for (int i = 0; i < 200; ++i) {
      enr_initialise({{u"alias-" + Wstring(1, static_cast<char16_t>(u'A' + i % 26)), u"utf-8"}}, status, true);
    }
  });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(lookup(u"alias-Z"), ENR_UTF_8);
  Krn_status status;
  enr_initialise({}, status);
}
