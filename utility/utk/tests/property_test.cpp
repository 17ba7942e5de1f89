#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include "krn/krn_date.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_string.h"
#include "krn/krn_time.h"
#include "krn/krn_time_zone.h"
#include "utk/utk_property.h"
#include "utk/utk_status_codes.h"

using namespace krn;
using namespace utk;

namespace {

Krn_date_and_time at(int day, int month, int year, int h, int m, int s, int us, Krn_time_zone::Identifiers zone) {
  return Krn_date_and_time(Krn_date(day, month, year), Krn_time(h, m, s, us), Krn_time_zone::find(zone));
}

Wstring persistent(const Utk_property& property) {
  Wstring text;
  property.get_persistent_string(text);
  return text;
}

Wstring display(const Utk_property& property) {
  Wstring text;
  property.get_display_string(text);
  return text;
}

// The property that a persistent form converts to.
Utk_property from_persistent(const Wstring& text) {
  Utk_property property("p", text);
  property.convert_from_persistent_string();
  return property;
}

std::string message_of(const Wstring& text) {
  try {
    from_persistent(text);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no exception)";
}

std::string names(const Utk_property_list& list) {
  std::string out;
  for (const Utk_property* property : list) out += property->name() + ";";
  return out;
}

}  // namespace

TEST(UtkProperty, NamesArePooledWhateverTheirForm) {
  Utk_property a("Charset", int64{1});
  Utk_property b(u"Charset", true);
  Utk_property c(std::string("Charset"), "x");
  Utk_property d(Wstring(u"Charset"), u"y");
  EXPECT_EQ(&a.name(), &b.name());
  EXPECT_EQ(&a.name(), &c.name());
  EXPECT_EQ(&a.name(), &d.name());
  Utk_property wide(u"Gr\u00fc\u00dfe", 1);
  EXPECT_EQ(wide.name(), "Gr\xc3\xbc\xc3\x9f" "e");
  EXPECT_EQ(Utk_property().name(), "");
  EXPECT_EQ(Utk_property().type(), Utk_property::STRING);
  EXPECT_NE(Utk_property::name_pool().find("Charset"), nullptr);
  EXPECT_EQ(Utk_property::name_pool().find("never used as a name"), nullptr);
}

TEST(UtkStringPoolThreads, ThreadsNamingPropertiesAtOnceShareOneString) {
  constexpr int THREADS = 4;
  constexpr int NAMES = 200;
  std::vector<std::vector<const std::string*>> seen(THREADS);
  std::vector<std::thread> threads;
  for (int t = 0; t < THREADS; ++t) {
    threads.emplace_back([t, &seen] {
      for (int i = 0; i < NAMES; ++i) {
        Utk_property property("threaded name " + std::to_string(i), i);
        seen[t].push_back(&property.name());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 1; t < THREADS; ++t) EXPECT_EQ(seen[t], seen[0]);
}

TEST(UtkProperty, ValuesAndTheirTypes) {
  Utk_property p("p", 5);
  EXPECT_EQ(p.type(), Utk_property::INTEGER);
  EXPECT_EQ(p.int_value(), 5);
  p.value("t\xc3\xa9");  // narrow text is UTF-8
  EXPECT_EQ(p.string_value(), u"t\u00e9");
  p.value(false);
  EXPECT_FALSE(p.bool_value());
  p.value(Krn_time_period(90));
  EXPECT_EQ(p.time_period_value(), Krn_time_period(90));
  p.value(at(1, 2, 2003, 4, 5, 6, 0, Krn_time_zone::EST));
  EXPECT_TRUE(p.date_and_time_value().is_same_as(at(1, 2, 2003, 4, 5, 6, 0, Krn_time_zone::EST)));
  p.value(std::uint16_t{7});
  EXPECT_EQ(p.int_value(), 7);

  EXPECT_THROW(
      {
        try {
          p.string_value();
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "Utk_property::string_value() called when type not STRING");
          throw;
        }
      },
      std::runtime_error);
  EXPECT_THROW(p.bool_value(), std::runtime_error);
  EXPECT_THROW(p.date_and_time_value(), std::runtime_error);
  EXPECT_THROW(p.time_period_value(), std::runtime_error);
  p.value(true);
  EXPECT_THROW(p.int_value(), std::runtime_error);
}

TEST(UtkProperty, IsTypeReportsTheMismatch) {
  Utk_property p("Level", 3);
  Krn_status status(KRN_E_READ);
  EXPECT_TRUE(p.is_type(Utk_property::INTEGER, status));
  EXPECT_TRUE(status.is_clear());
  EXPECT_FALSE(p.is_type(Utk_property::STRING, status));
  EXPECT_EQ(status, UTK_E_PROPERTY_TYPE);
  ASSERT_EQ(status.num_args(), 3u);
  Wstring text;
  (*status.begin())->to_string(text);
  EXPECT_EQ(text, u"Level");
}

TEST(UtkProperty, EveryTypeSurvivesItsPersistentForm) {
  const std::vector<Utk_property> values = {
      Utk_property("s", u""),
      Utk_property("s", u"$Btrue and \u20ac \U0001F600 \n"),
      Utk_property("i", int64{0}),
      Utk_property("i", int64{INT64_MIN}),
      Utk_property("i", int64{INT64_MAX}),
      Utk_property("b", true),
      Utk_property("b", false),
      Utk_property("d", at(5, 3, 2024, 14, 7, 9, 500000, Krn_time_zone::CET)),
      // Zones that share an offset must stay apart.
      Utk_property("d", at(5, 3, 2024, 14, 7, 9, 0, Krn_time_zone::BST)),
      Utk_property("d", at(5, 3, 2024, 14, 7, 9, 0, Krn_time_zone::WDT)),
      Utk_property("d", at(5, 3, 2024, 14, 7, 9, 1, Krn_time_zone::NPT)),
      Utk_property("d", at(31, 12, -1, 23, 59, 59, 999999, Krn_time_zone::CHADT)),
      Utk_property("d", at(1, 1, -4713, 0, 0, 0, 0, Krn_time_zone::GMT)),
      Utk_property("d", at(31, 12, 32766, 23, 59, 59, 999999, Krn_time_zone::IDLW)),
      Utk_property("t", Krn_time_period()),
      Utk_property("t", Krn_time_period(0, -1)),
      Utk_property("t", Krn_time_period(-93784, -500000)),
      Utk_property("t", Krn_time_period(86400 * 3)),
      Utk_property("t", Krn_time_period(INT64_MAX, 999999)),
      Utk_property("t", Krn_time_period(INT64_MIN)),
  };
  for (const Utk_property& original : values) {
    const Wstring text = persistent(original);
    Utk_property read("x", text);
    EXPECT_EQ(read.convert_from_persistent_string(), original.type());
    EXPECT_TRUE(read.value_equal(original)) << std::string(text.begin(), text.end());
    EXPECT_EQ(persistent(read), text);
  }
}

TEST(UtkProperty, PersistentFormsAreIso8601) {
  EXPECT_EQ(persistent(Utk_property("d", at(5, 3, 2024, 14, 7, 9, 500000, Krn_time_zone::CET))),
            u"$D2024-03-05T14:07:09.5+01:00[CET]");
  EXPECT_EQ(persistent(Utk_property("d", at(1, 1, 2000, 0, 0, 0, 0, Krn_time_zone::EST))),
            u"$D2000-01-01T00:00:00-05:00[EST]");
  // 1 BC is the year 0 of ISO 8601, 2 BC its year -1.
  EXPECT_EQ(persistent(Utk_property("d", at(1, 1, -1, 0, 0, 0, 0, Krn_time_zone::NPT))),
            u"$D0000-01-01T00:00:00+05:45[NPT]");
  EXPECT_EQ(persistent(Utk_property("d", at(1, 1, -2, 0, 0, 0, 0, Krn_time_zone::GMT))),
            u"$D-0001-01-01T00:00:00+00:00[GMT]");
  EXPECT_EQ(persistent(Utk_property("d", at(2, 1, 12345, 0, 0, 0, 0, Krn_time_zone::GMT))),
            u"$D+12345-01-02T00:00:00+00:00[GMT]");
  EXPECT_EQ(persistent(Utk_property("t", Krn_time_period(93784, 500000))), u"$TP1DT2H3M4.5S");
  EXPECT_EQ(persistent(Utk_property("t", Krn_time_period(0, -250000))), u"$T-PT0.25S");
  EXPECT_EQ(persistent(Utk_property("t", Krn_time_period())), u"$TPT0S");
  EXPECT_EQ(persistent(Utk_property("t", Krn_time_period(3 * 86400))), u"$TP3D");
  EXPECT_EQ(persistent(Utk_property("t", Krn_time_period(3600))), u"$TPT1H");
  EXPECT_EQ(persistent(Utk_property("i", -42)), u"$I-42");
  EXPECT_EQ(persistent(Utk_property("b", true)), u"$Btrue");
  EXPECT_EQ(persistent(Utk_property("s", "a$b")), u"$Sa$b");
}

TEST(UtkProperty, ConversionAcceptsTheOtherIsoSpellings) {
  EXPECT_TRUE(from_persistent(u"$D2024-03-05T14:07:09Z").date_and_time_value().is_same_as(
      at(5, 3, 2024, 14, 7, 9, 0, Krn_time_zone::GMT)));
  EXPECT_TRUE(from_persistent(u"$D2024-03-05T14:07:09,25+01:00").date_and_time_value().is_same_as(
      at(5, 3, 2024, 14, 7, 9, 250000, Krn_time_zone::CET)));
  EXPECT_TRUE(from_persistent(u"$D2024-03-05T14:07:09+00:00[utc]").date_and_time_value().is_same_as(
      at(5, 3, 2024, 14, 7, 9, 0, Krn_time_zone::GMT)));
  EXPECT_EQ(from_persistent(u"$TP2W").time_period_value(), Krn_time_period(14 * 86400));
  EXPECT_EQ(from_persistent(u"$T+PT1M0,5S").time_period_value(), Krn_time_period(60, 500000));
  EXPECT_EQ(from_persistent(u"$TPT90M").time_period_value(), Krn_time_period(5400));
  EXPECT_TRUE(from_persistent(u"$BFALSE").type() == Utk_property::BOOLEAN);
  EXPECT_FALSE(from_persistent(u"$BFALSE").bool_value());
  EXPECT_TRUE(from_persistent(u"$Btrue").bool_value());
  EXPECT_EQ(from_persistent(u"$I +12").int_value(), 12);
  EXPECT_EQ(from_persistent(u"$S").string_value(), u"");
}

TEST(UtkProperty, ConversionRefusesWhatIsNotAPersistentForm) {
  EXPECT_EQ(message_of(u"$Xabc"), "Not a valid type descriptor");
  EXPECT_EQ(message_of(u"$"), "Not a valid property value");
  EXPECT_EQ(message_of(u"abc"), "Not a valid property value");
  for (const char16_t* bad : {
           u"$Byes", u"$B", u"$I", u"$I12 ", u"$I1.5", u"$I9223372036854775808", u"$I-9223372036854775809",
           u"$D2024-02-30T00:00:00Z", u"$D2024-03-05T24:00:00Z", u"$D2024-03-05T14:07:09",
           u"$D2024-03-05 14:07:09Z", u"$D24-03-05T14:07:09Z", u"$D2024-03-05T14:07:09.1234567Z",
           u"$D2024-03-05T14:07:09+02:00[CET]", u"$D2024-03-05T14:07:09+01:00[XYZ]", u"$D2024-03-05T14:07:09+01:00[CET",
           u"$D2024-03-05T14:07:09+01:23", u"$D2024-03-05T14:07:09Zjunk", u"$D-4714-01-01T00:00:00Z",
           u"$D\uff12024-03-05T14:07:09Z", u"$TP", u"$TPT", u"$TP1Y", u"$TP1M", u"$TP1.5D", u"$TPT1H2H",
           u"$TPT1S2M", u"$TP1", u"$TPT9223372036854775808S", u"$T--PT1S", u"$T1S",
       }) {
    EXPECT_EQ(message_of(bad), "Not a valid property value") << std::string(bad, bad + 20).c_str();
  }

  Utk_property number("n", 5);
  EXPECT_THROW(
      {
        try {
          number.convert_from_persistent_string();
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "Cannot convert from type other than string");
          throw;
        }
      },
      std::runtime_error);
  Utk_property text("n", u"$Iabc");
  EXPECT_THROW(text.convert_from_persistent_string(), std::runtime_error);
  EXPECT_EQ(text.string_value(), u"$Iabc");
}

TEST(UtkProperty, DisplayStrings) {
  EXPECT_EQ(display(Utk_property("s", u"plain")), u"plain");
  EXPECT_EQ(display(Utk_property("i", -7)), u"-7");
  EXPECT_EQ(display(Utk_property("b", false)), u"false");
  EXPECT_EQ(display(Utk_property("d", at(5, 3, 2024, 14, 7, 9, 500000, Krn_time_zone::CET))),
            u"2024-03-05 14:07:09.5 +01:00 CET");
  EXPECT_EQ(display(Utk_property("t", Krn_time_period(-3600))), u"-PT1H");
}

TEST(UtkProperty, ComparisonsAndChecksums) {
  const Utk_property a("a", 1);
  EXPECT_TRUE(a == Utk_property("a", 1));
  EXPECT_FALSE(a == Utk_property("A", 1));
  EXPECT_FALSE(a == Utk_property("a", true));
  EXPECT_TRUE(a.value_equal(Utk_property("other", 1)));
  EXPECT_TRUE(a < Utk_property("b", 0));
  EXPECT_TRUE(a < Utk_property("a", 2));
  EXPECT_TRUE(Utk_property("a", 2) > a);
  EXPECT_FALSE(a < a);

  // The same instant in two zones: distinct values, ordered consistently.
  const Utk_property utc("d", at(1, 1, 2000, 12, 0, 0, 0, Krn_time_zone::GMT));
  const Utk_property cet("d", at(1, 1, 2000, 13, 0, 0, 0, Krn_time_zone::CET));
  EXPECT_FALSE(utc.value_equal(cet));
  EXPECT_NE(utc < cet, cet < utc);

  EXPECT_EQ(a.crc(), Utk_property("a", 1).crc());
  EXPECT_NE(a.crc(), Utk_property("a", 2).crc());
  EXPECT_NE(a.crc(), Utk_property("b", 1).crc());
  EXPECT_NE(a.crc(), Utk_property("a", u"1").crc());
  EXPECT_NE(utc.crc(), cet.crc());
}

TEST(UtkPropertyList, WithoutDuplicatesAnAddUnderAnotherCaseReplacesTheValue) {
  Utk_property_list list;
  list.add("charset", "utf-8");
  list.add("Charset", 42);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name(), "charset");
  EXPECT_EQ(list[0].int_value(), 42);

  // A whole property replaces the found one, name and all.
  list.add(Utk_property("CHARSET", true));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name(), "CHARSET");
  list.update("charset", u"latin1");
  EXPECT_EQ(list[0].string_value(), u"latin1");
  EXPECT_EQ(list[0].name(), "CHARSET");
  list.update("Other", 1);
  EXPECT_EQ(names(list), "CHARSET;Other;");
}

TEST(UtkPropertyList, WithDuplicatesUpdateIsAmbiguous) {
  Utk_property_list list(true);
  list.add("charset", "a");
  list.add("Charset", "b");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_THROW(list.update("charset", "c"), std::invalid_argument);
  EXPECT_THROW(list.update("CHARSET", "c"), std::invalid_argument);
  EXPECT_EQ(list[0].string_value(), u"a");
  EXPECT_EQ(list[1].string_value(), u"b");
}

TEST(UtkPropertyList, FindsWithAndWithoutCase) {
  Utk_property_list list(true);
  list.add("charset", 1);
  list.add("Charset", 2);
  list.add("charset", 3);
  ASSERT_NE(list.find_cs("Charset"), nullptr);
  EXPECT_EQ(list.find_cs("Charset")->int_value(), 2);
  EXPECT_EQ(list.find_cs(u"CHARSET"), nullptr);
  EXPECT_EQ(list.find_nc(u"CHARSET")->int_value(), 1);

  std::vector<int64> found;
  auto position = list.begin();
  while (Utk_property* p = list.find_cs("charset", position)) found.push_back(p->int_value());
  EXPECT_EQ(found, (std::vector<int64>{1, 3}));
  EXPECT_TRUE(position == list.end());

  const Utk_property_list& constant = list;
  auto start = constant.begin();
  ASSERT_NE(constant.find_nc("CHARSET", start), nullptr);
  EXPECT_EQ(constant.find_nc("CHARSET", start)->int_value(), 2);
  EXPECT_EQ(start - constant.begin(), 2);

  auto missing = constant.begin();
  EXPECT_EQ(constant.find_cs("a name nobody ever pooled", missing), nullptr);
  EXPECT_TRUE(missing == constant.end());
  EXPECT_EQ(constant.find_nc("absent"), nullptr);
}

TEST(UtkPropertyList, RemovesByNameReferenceIndexAndIterator) {
  Utk_property_list list(true);
  for (const char* name : {"a", "B", "b", "c", "d"}) list.add(name, 0);
  EXPECT_EQ(list.remove("b"), 2u);
  EXPECT_EQ(names(list), "a;c;d;");
  EXPECT_TRUE(list.remove(list[1]));
  EXPECT_FALSE(list.remove(Utk_property("a", 0)));  // equal, but not in the list
  EXPECT_EQ(names(list), "a;d;");
  EXPECT_THROW(list.remove(list.size()), std::invalid_argument);
  EXPECT_THROW(list[list.size()], std::invalid_argument);
  list.remove(std::size_t{0});
  EXPECT_EQ(names(list), "d;");
  const auto next = list.remove(list.begin());
  EXPECT_TRUE(next == list.end());
  EXPECT_TRUE(list.empty());
}

TEST(UtkPropertyList, RenameKeepsNamesUnique) {
  Utk_property_list list;
  list.add("charset", 1);
  list.add("other", 2);
  list.rename("CHARSET", "Charset");
  EXPECT_EQ(names(list), "Charset;other;");
  EXPECT_THROW(list.rename("charset", "OTHER"), std::invalid_argument);
  EXPECT_EQ(names(list), "Charset;other;");
  list.rename("absent", "other");
  EXPECT_EQ(names(list), "Charset;other;");

  Utk_property_list duplicates(true);
  duplicates.add("a", 1);
  duplicates.add("b", 2);
  duplicates.add("A", 3);
  duplicates.rename("a", "b");
  EXPECT_EQ(names(duplicates), "b;b;b;");
}

TEST(UtkPropertyList, CopyingMergingAndMoving) {
  Utk_property_list first;
  first.add("a", 1);
  first.add("b", 2);
  Utk_property_list second(true);
  second.add("B", 20);
  second.add("c", 30);
  second.add("c", 31);

  Utk_property_list merged(first);
  merged += second;
  EXPECT_EQ(names(merged), "a;B;c;");
  EXPECT_EQ(merged.find_nc("b")->int_value(), 20);
  EXPECT_EQ(merged.find_nc("c")->int_value(), 31);
  merged += merged;
  EXPECT_EQ(merged.size(), 3u);

  Utk_property_list assigned;
  assigned = second;
  EXPECT_TRUE(assigned.allows_duplicates());
  EXPECT_EQ(assigned.size(), 3u);
  assigned[0].value(0);
  EXPECT_EQ(second[0].int_value(), 20);

  first.transfer(second);
  EXPECT_TRUE(second.empty());
  EXPECT_EQ(names(first), "a;B;c;");
  EXPECT_EQ(first.find_nc("c")->int_value(), 31);

  first.clear(true);
  EXPECT_TRUE(first.empty());
  EXPECT_TRUE(first.allows_duplicates());
}

TEST(UtkPropertyList, ExtractMovesTheNamedProperties) {
  Utk_property_list source(true);
  source.add("ItemCharset", u"utf-8");
  source.add("Size", 10);
  source.add("itemcharset", u"latin1");
  source.add("Keep", true);
  Utk_property_list destination;
  destination.add("Size", 1);
  utk_extract_list(source, destination, {"ITEMCHARSET", "size", "absent"});
  EXPECT_EQ(names(source), "Keep;");
  // Moved as add places a property: the later one replaces the earlier whole.
  EXPECT_EQ(names(destination), "Size;itemcharset;");
  EXPECT_EQ(destination.find_nc("itemcharset")->string_value(), u"latin1");
  EXPECT_EQ(destination.find_nc("size")->int_value(), 10);
  utk_extract_list(destination, destination, {"size"});
  EXPECT_EQ(destination.size(), 2u);
}

TEST(UtkPropertyList, ChecksumFollowsContentAndOrder) {
  Utk_property_list a;
  a.add("x", 1);
  a.add("y", u"text");
  Utk_property_list b(a);
  EXPECT_EQ(a.crc(), b.crc());
  b.update("y", u"texT");
  EXPECT_NE(a.crc(), b.crc());
  Utk_property_list reversed;
  reversed.add("y", u"text");
  reversed.add("x", 1);
  EXPECT_NE(a.crc(), reversed.crc());
  EXPECT_NE(Utk_property_list().crc(), a.crc());
}

class UtkPropertyXml : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { XERCES_CPP_NAMESPACE::XMLPlatformUtils::Initialize(); }
  static void TearDownTestSuite() { XERCES_CPP_NAMESPACE::XMLPlatformUtils::Terminate(); }
  void SetUp() override {
    auto* impl = XERCES_CPP_NAMESPACE::DOMImplementationRegistry::getDOMImplementation(u"Core");
    m_document = impl->createDocument(nullptr, u"Properties", nullptr);
  }
  void TearDown() override { m_document->release(); }
  XERCES_CPP_NAMESPACE::DOMElement* element(const char16_t* name) { return m_document->createElement(name); }

  XERCES_CPP_NAMESPACE::DOMDocument* m_document = nullptr;
};

TEST_F(UtkPropertyXml, ListsRoundTrip) {
  Utk_property_list list(true);
  list.add(u"na\u00efve", u"line\nbreak\\ and \x01");
  list.add("n", int64{-5});
  list.add("n", true);
  list.add("when", at(29, 2, 2000, 1, 2, 3, 4, Krn_time_zone::MEST));
  list.add("how long", Krn_time_period(-1, -5));
  auto* root = m_document->getDocumentElement();
  list.to_xml(root);
  EXPECT_EQ(Wstring(root->getAttribute(u"duplicates")), u"true");
  auto* first = root->getFirstElementChild();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Wstring(first->getTagName()), u"Property");
  EXPECT_EQ(Wstring(first->getAttribute(u"type")), u"string");
  EXPECT_EQ(Wstring(first->getAttribute(u"value")).find(u'\n'), Wstring::npos);

  Utk_property_list read;
  read.from_xml(root);
  EXPECT_TRUE(read.allows_duplicates());
  ASSERT_EQ(read.size(), list.size());
  for (std::size_t i = 0; i < list.size(); ++i) EXPECT_TRUE(read[i] == list[i]) << i;
  EXPECT_EQ(read.crc(), list.crc());
}

TEST_F(UtkPropertyXml, MalformedElementsAreRefusedAndChangeNothing) {
  Utk_property_list list;
  list.add("kept", 1);
  const Utk_property_list before(list);

  auto* no_flag = element(u"List");
  EXPECT_THROW(list.from_xml(no_flag), std::runtime_error);

  auto* bad_child = element(u"List");
  bad_child->setAttribute(u"duplicates", u"false");
  auto* child = element(u"Property");
  child->setAttribute(u"name", u"n");
  child->setAttribute(u"type", u"integer");
  child->setAttribute(u"value", u"twelve");
  bad_child->appendChild(child);
  EXPECT_THROW(list.from_xml(bad_child), std::runtime_error);

  auto* stranger = element(u"List");
  stranger->setAttribute(u"duplicates", u"false");
  stranger->appendChild(element(u"Other"));
  EXPECT_THROW(list.from_xml(stranger), std::runtime_error);
  EXPECT_THROW(list.from_xml(m_document->createTextNode(u"text")), std::runtime_error);
  EXPECT_THROW(list.from_xml(nullptr), std::runtime_error);

  ASSERT_EQ(list.size(), 1u);
  EXPECT_TRUE(list[0] == before[0]);

  Utk_property property("p", 1);
  auto* unknown_type = element(u"Property");
  unknown_type->setAttribute(u"name", u"p");
  unknown_type->setAttribute(u"type", u"float");
  unknown_type->setAttribute(u"value", u"1.5");
  EXPECT_THROW(property.from_xml(unknown_type), std::runtime_error);
  unknown_type->removeAttribute(u"type");
  EXPECT_THROW(property.from_xml(unknown_type), std::runtime_error);
  EXPECT_EQ(property.int_value(), 1);
}

TEST_F(UtkPropertyXml, NamesWithControlCharactersRoundTrip) {
  // An attribute parser turns a raw line break or tab into a space, and
  // U+0001 cannot be written at all: the name must be escaped like the value.
  const Wstring name = u"two\nlines\tand \x01 a\\b";
  Utk_property property(name, 7);
  auto* node = element(u"Property");
  property.to_xml(node);
  const Wstring written(node->getAttribute(u"name"));
  for (char16_t unit : written) EXPECT_GE(unit, 0x20) << "control unit in the name attribute";

  Utk_property read;
  read.from_xml(node);
  EXPECT_TRUE(read == property);
  Wstring read_name;
  krn_utf8_to_utf16(read.name(), read_name);
  EXPECT_EQ(read_name, name);
}
