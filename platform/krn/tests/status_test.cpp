#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <stdexcept>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include "krn/krn_exception.h"
#include "krn/krn_messages.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_status_xml.h"

using namespace krn;

namespace {

Wstring text_of(const Krn_status_arg& arg) {
  Wstring text;
  arg.to_string(text);
  return text;
}

// A chain of the given values, newest first.
Krn_status chain(std::initializer_list<unsigned> newest_first) {
  Krn_status status;
  std::vector<unsigned> values(newest_first);
  for (auto it = values.rbegin(); it != values.rend(); ++it) status.push(*it);
  return status;
}

std::vector<unsigned> values_of(const Krn_status& status) {
  std::vector<unsigned> values;
  for (const Krn_status* s = &status; s; s = s->child()) values.push_back(s->value());
  return values;
}

// Runs the work on a thread with a stack of 512 KiB.
void on_small_stack(std::function<void()> work) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 512 * 1024);
  pthread_t thread;
  const auto run = [](void* argument) -> void* {
    (*static_cast<std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, &work), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

}  // namespace

TEST(KrnStatus, CanonicalisesOperatingSystemAndPlatformValues) {
  Krn_status status(5);
  EXPECT_EQ(status.value(), 5u);
  EXPECT_EQ(status.canonical_value(), 0xC0000005u);
  EXPECT_TRUE(status.is_error());
  EXPECT_FALSE(status.ok());
  EXPECT_TRUE(status == 5u);
  EXPECT_TRUE(status == 0xC0000005u);

  status = 0x80070002u;
  EXPECT_TRUE(status.is_error());
  EXPECT_EQ(status.canonical_value(), 0xC0070002u);
  EXPECT_EQ(status.value(), 0x80070002u);

  status = 0x00070002u;
  EXPECT_TRUE(status.ok());
  EXPECT_TRUE(status.is_success());
  EXPECT_EQ(status.canonical_value(), 0x00070002u);

  status = 0xC2000002u;
  EXPECT_EQ(status.canonical_value(), 0xC2000002u);
  EXPECT_EQ(status.facility(), 0x02000000u);

  status = 0x82000003u;
  EXPECT_TRUE(status.is_warning());
  EXPECT_TRUE(status.ok());
  EXPECT_FALSE(status.is_success());

  status = 0u;
  EXPECT_TRUE(status.is_clear());
  EXPECT_TRUE(status.is_success());
}

TEST(KrnStatus, HresultFoldsFacilityAndSeverity) {
  EXPECT_EQ(Krn_status(0xC2000002u).hresult(), 0x82000002u);
  EXPECT_EQ(Krn_status(0x4C000007u).hresult(), 0x07FF0007u);
  EXPECT_EQ(Krn_status(5u).hresult(), 0x80000005u);
}

TEST(KrnStatus, PushKeepsOlderStatusesAsChildrenAndPopRestoresThem) {
  Krn_status status;
  status.push(KRN_E_OPEN, Krn_wstring_status_arg(u"a.tsv"));
  EXPECT_FALSE(status.has_child()) << "a push on a clear status is an assignment";
  EXPECT_EQ(status.num_args(), 1u);

  status = 2u;
  status.push(KRN_E_OPEN, Krn_wstring_status_arg(u"a.tsv"));
  ASSERT_TRUE(status.has_child());
  EXPECT_EQ(status.value(), KRN_E_OPEN);
  EXPECT_EQ(status.child()->value(), 2u);
  EXPECT_EQ(status.child()->canonical_value(), 0xC0000002u);
  EXPECT_EQ(status.child()->num_args(), 0u);
  EXPECT_EQ(text_of(**status.begin()), u"a.tsv");

  status.pop();
  EXPECT_EQ(status.value(), 2u);
  EXPECT_EQ(status.num_args(), 0u);
  EXPECT_FALSE(status.has_child());
  status.pop();
  EXPECT_TRUE(status.is_clear());
}

TEST(KrnStatus, PushOfAWholeStatusPutsItsChainOnTop) {
  Krn_status status = chain({0xC2000026u, 2u});
  Krn_status other = chain({0xC2012521u, 0xC2000019u});
  status.push(other);
  EXPECT_EQ(values_of(status), (std::vector<unsigned>{0xC2012521u, 0xC2000019u, 0xC2000026u, 2u}));
  // The pushed status keeps its own chain.
  EXPECT_EQ(values_of(other), (std::vector<unsigned>{0xC2012521u, 0xC2000019u}));

  Krn_status clear;
  clear.push(other);
  EXPECT_TRUE(clear.compare(other, true, true));

  Krn_status self = chain({1u, 2u});
  self.push(self);
  EXPECT_EQ(values_of(self), (std::vector<unsigned>{1u, 2u, 1u, 2u}));
}

TEST(KrnStatus, ArgumentsAreLimitedToEightAndNullArgumentsAreSkipped) {
  Krn_status status(KRN_E_OPEN, Krn_int_status_arg(1), Krn_null_status_arg::NULL_ARGUMENT, Krn_int_status_arg(3));
  EXPECT_EQ(status.num_args(), 2u);
  for (int i = 0; i < 6; ++i) status.add_arg(Krn_int_status_arg(i));
  EXPECT_EQ(status.num_args(), 8u);
  try {
    status.add_arg(Krn_bool_status_arg(true));
    FAIL() << "a ninth argument was accepted";
  } catch (const std::overflow_error& e) {
    EXPECT_STREQ(e.what(), "Krn_status::Arg_list::add - too many arguments.");
  }
  EXPECT_EQ(status.num_args(), 8u);
}

TEST(KrnStatus, CopiesShareArgumentsUntilOneChanges) {
  Krn_status original(KRN_E_OPEN, Krn_wstring_status_arg(u"x"));
  Krn_status copy(original);
  copy.add_arg(Krn_int_status_arg(7));
  EXPECT_EQ(original.num_args(), 1u);
  EXPECT_EQ(copy.num_args(), 2u);
  EXPECT_TRUE(original.compare(Krn_status(KRN_E_OPEN, Krn_wstring_status_arg(u"x")), true, true));

  Krn_status assigned;
  assigned = copy;
  assigned.assign(KRN_E_READ, Krn_bool_status_arg(false));
  EXPECT_EQ(copy.num_args(), 2u);
  EXPECT_EQ(copy.value(), KRN_E_OPEN);
}

TEST(KrnStatus, CompareLooksAtArgumentsAndChildrenOnlyWhenAsked) {
  Krn_status a(KRN_E_OPEN, Krn_wstring_status_arg(u"a"));
  Krn_status b(KRN_E_OPEN, Krn_wstring_status_arg(u"b"));
  EXPECT_TRUE(a == b);
  EXPECT_TRUE(a.compare(b, false, false));
  EXPECT_FALSE(a.compare(b, true, false));
  EXPECT_FALSE(Krn_status(0xC2000001u, Krn_int_status_arg(1)).compare(Krn_status(0xC2000001u, Krn_uint_status_arg(1)), true, false))
      << "arguments of different types differ";

  Krn_status with_child = a;
  with_child.push(KRN_E_READ);
  Krn_status other_child = a;
  other_child.push(KRN_E_READ);
  EXPECT_TRUE(with_child.compare(other_child, true, true));
  Krn_status deeper = chain({KRN_E_READ, KRN_E_OPEN, 2u});
  EXPECT_TRUE(with_child.compare(deeper, false, false));
  EXPECT_FALSE(with_child.compare(deeper, false, true));
}

TEST(KrnStatus, ContainsValueSearchesTheWholeChain) {
  Krn_status status = chain({0xC2012521u, 0xC200001Bu, 0xC2000019u, 5u});
  EXPECT_TRUE(status.contains_value(5u));
  EXPECT_TRUE(status.contains_value(0xC0000005u));
  EXPECT_TRUE(status.contains_value(0xC2000019u));
  EXPECT_FALSE(status.contains_value(0xC2000026u));
}

TEST(KrnStatusArgs, TextsAndEquality) {
  EXPECT_EQ(text_of(Krn_int_status_arg(-42)), u"-42");
  EXPECT_EQ(text_of(Krn_uint_status_arg(18446744073709551615ull)), u"18446744073709551615");
  EXPECT_EQ(text_of(Krn_bool_status_arg(true)), u"true");
  EXPECT_EQ(text_of(Krn_wstring_status_arg(std::string("caf\xE9"))), u"caf\u00E9");
  EXPECT_EQ(text_of(Krn_null_status_arg::NULL_ARGUMENT), u"");
  // Arguments are compared as the status holds them, through the base.
  EXPECT_TRUE(static_cast<const Krn_status_arg&>(Krn_int_status_arg(3)) == Krn_int_status_arg(3, true));
  EXPECT_FALSE(static_cast<const Krn_status_arg&>(Krn_int_status_arg(3)) == Krn_int_status_arg(4));
  EXPECT_FALSE(static_cast<const Krn_status_arg&>(Krn_wstring_status_arg(u"3")) == Krn_int_status_arg(3));
}

TEST(KrnMessages, FallbackTextWhenNoFileKnowsTheValue) {
  Krn_messages_list empty;
  Wstring text;
  empty.format_message(Krn_status(KRN_E_MESSAGE_FILE_LOAD, Krn_wstring_status_arg(u"x.dll")), text);
  EXPECT_EQ(text, u"Error 0xc2000002, x.dll");
  empty.format_message(Krn_status(0x82000003u), text);
  EXPECT_EQ(text, u"Warning 0x82000003");
  empty.format_message(Krn_status(), text);
  EXPECT_EQ(text, u"Success 0");
}

TEST(KrnMessages, ModuleTextsFillPlaceholdersAndChainsGiveOneLineEach) {
  Krn_messages_list list;
  Krn_status status;
  list.add(u"platres2208.so", status);
  ASSERT_TRUE(status.ok());
  list.add(u"PLATRES2208.SO", status);
  EXPECT_EQ(status.value(), KRN_W_MESSAGE_FILE_LOADED) << "names are compared without case";

  Krn_status failure(2u);
  failure.push(KRN_E_FILE_NOT_FOUND, Krn_wstring_status_arg(u"in.tsv"));
  Wstring text;
  list.format_message_tree(failure, text, 0);
  EXPECT_EQ(text, u"The file \"in.tsv\" does not exist.\nNo such file or directory");
  list.format_message_tree(failure, text, 1);
  EXPECT_EQ(text, u"The file \"in.tsv\" does not exist.");

  list.remove(u"platres2208.SO");
  EXPECT_EQ(list.begin(), list.end());
  list.format_message(Krn_status(KRN_E_FILE_NOT_FOUND, Krn_wstring_status_arg(u"in.tsv")), text);
  EXPECT_EQ(text, u"Error 0xc200001e, in.tsv");
}

TEST(KrnMessages, AMissingFileIsReportedWithItsName) {
  Krn_messages_list list;
  Krn_status status;
  list.add(u"nosuchres2208.so", status);
  EXPECT_EQ(status.value(), KRN_E_MESSAGE_FILE_LOAD);
  ASSERT_TRUE(status.has_child());
  EXPECT_TRUE(status.child()->is_error());
  EXPECT_EQ(text_of(**status.begin()), u"nosuchres2208.so");
  EXPECT_EQ(list.begin(), list.end());

  list.add(std::vector<Wstring>{u"nosuchres2208.so", u"platres2208.so"}, status);
  EXPECT_TRUE(status.is_error());
  EXPECT_EQ(list.begin(), list.end()) << "loading stops at the first failure";
}

TEST(KrnStatusLookupDeathTest, AMissingFirstFileStopsTheLoadingOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        bool first = Krn_status_lookup::initialise_message_list({"nosuch", "plat"});
        bool loaded = Krn_messages_list::m_global_messages.begin() != Krn_messages_list::m_global_messages.end();
        bool second = Krn_status_lookup::initialise_message_list({"plat"});
        std::exit(!first && !loaded && second ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(KrnStatusLookup, ToStringUsesTheDefaultFilesAndTrims) {
  Krn_status status(0xC2012511u, Krn_wstring_status_arg(u"Surname"));
  status.push(KRN_E_OPEN, Krn_wstring_status_arg(u"out.dat"));
  Wstring text;
  Krn_status_lookup::to_string(status, text);
  EXPECT_EQ(text, u"The file \"out.dat\" could not be opened.\nThe key field \"Surname\" is not a field of the schema.");
}

class KrnStatusXml : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { XERCES_CPP_NAMESPACE::XMLPlatformUtils::Initialize(); }
  static void TearDownTestSuite() { XERCES_CPP_NAMESPACE::XMLPlatformUtils::Terminate(); }

  void SetUp() override {
    auto* impl = XERCES_CPP_NAMESPACE::DOMImplementationRegistry::getDOMImplementation(u"Core");
    m_document = impl->createDocument(nullptr, u"Status", nullptr);
  }
  void TearDown() override { m_document->release(); }

  XERCES_CPP_NAMESPACE::DOMElement* root() { return m_document->getDocumentElement(); }
  XERCES_CPP_NAMESPACE::DOMElement* add_arg(const char16_t* type, const char16_t* value) {
    auto* arg = m_document->createElement(u"Arg");
    arg->setAttribute(u"type", type);
    arg->setAttribute(u"value", value);
    root()->appendChild(arg);
    return arg;
  }

  XERCES_CPP_NAMESPACE::DOMDocument* m_document = nullptr;
};

TEST_F(KrnStatusXml, RoundTripKeepsValuesArgumentsAndChildren) {
  Krn_status status(0x80070002u);
  status.push(KRN_E_OPEN, Krn_wstring_status_arg(u"back\\slash\x01 \"q\""), Krn_int_status_arg(-7, true),
              Krn_uint_status_arg(9), Krn_bool_status_arg(false), Krn_bool_status_arg(true));
  status.push(0xC2012521u, Krn_null_status_arg::NULL_ARGUMENT);
  status.add_arg(Krn_null_status_arg());
  krn_status_to_xml(status, root(), true);

  EXPECT_EQ(Wstring(root()->getAttribute(u"value")), u"3254854945");
  Krn_status back;
  krn_status_from_xml(back, root());
  EXPECT_EQ(values_of(back), values_of(status));
  EXPECT_EQ(back.child()->child()->canonical_value(), 0xC0070002u);
  // The null argument comes back as an empty string.
  EXPECT_EQ(back.num_args(), 1u);
  EXPECT_EQ(text_of(**back.begin()), u"");
  EXPECT_TRUE(back.child()->compare(*status.child(), true, true));
}

TEST_F(KrnStatusXml, IntegerArgumentsKeepTheirWholeRange) {
  Krn_status status(KRN_E_OPEN, Krn_uint_status_arg(18446744073709551615ull),
                    Krn_int_status_arg(-9223372036854775807ll - 1), Krn_uint_status_arg(9223372036854775808ull));
  krn_status_to_xml(status, root(), true);
  Krn_status back;
  krn_status_from_xml(back, root());
  EXPECT_TRUE(back.compare(status, true, true));
}

TEST_F(KrnStatusXml, WithoutChildrenOnlyTheHeadIsWritten) {
  Krn_status status = chain({KRN_E_OPEN, 2u});
  krn_status_to_xml(status, root(), false);
  Krn_status back;
  krn_status_from_xml(back, root());
  EXPECT_FALSE(back.has_child());
  EXPECT_EQ(back.value(), KRN_E_OPEN);
}

TEST_F(KrnStatusXml, ReadingStopsAtTheNinthArgumentAndAtForeignElements) {
  root()->setAttribute(u"value", u"3254779905");
  root()->setAttribute(u"origvalue", u"5");
  for (int i = 0; i < 9; ++i) add_arg(u"int", u"1");
  auto* child = m_document->createElement(u"ChildStatus");
  child->setAttribute(u"value", u"2");
  root()->appendChild(child);
  Krn_status status;
  krn_status_from_xml(status, root());
  EXPECT_EQ(status.num_args(), 8u);
  EXPECT_EQ(status.canonical_value(), 0xC2000001u) << "stored values are not canonicalised again";
  EXPECT_EQ(status.value(), 5u);
  EXPECT_FALSE(status.has_child()) << "the ninth Arg ends the argument run";
}

TEST_F(KrnStatusXml, InvalidArgumentsThrow) {
  for (auto [type, value] : std::vector<std::pair<const char16_t*, const char16_t*>>{
           {u"bool", u"yes"}, {u"int", u"12x"}, {u"colour", u"red"}}) {
    while (root()->getFirstChild()) root()->removeChild(root()->getFirstChild())->release();
    add_arg(type, value);
    Krn_status status;
    try {
      krn_status_from_xml(status, root());
      ADD_FAILURE() << "accepted an invalid argument";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Krn_status::from_xml() - Invalid XML format");
    }
  }
}

TEST_F(KrnStatusXml, LongChainsAreWrittenAndReadWithoutDeepRecursion) {
  // On a small stack, one frame per level would overflow long before the end.
  constexpr unsigned DEPTH = 20000;
  on_small_stack([&] {
    Krn_status status;
    for (unsigned i = 0; i < DEPTH; ++i) status.push(KRN_E_OPEN, Krn_uint_status_arg(i));
    krn_status_to_xml(status, root(), true);
    Krn_status back;
    krn_status_from_xml(back, root());
    EXPECT_TRUE(back.compare(status, true, true));
    EXPECT_EQ(values_of(back).size(), DEPTH);
  });
}

TEST_F(KrnStatusXml, ABadArgumentDeepInTheChainLeavesTheStatusAsItWas) {
  krn_status_to_xml(chain({KRN_E_OPEN, KRN_E_READ, 2u}), root(), true);
  auto* bottom = root()->getLastElementChild()->getLastElementChild();
  auto* arg = m_document->createElement(u"Arg");
  arg->setAttribute(u"type", u"uint");
  arg->setAttribute(u"value", u"-");
  bottom->appendChild(arg);

  Krn_status status(KRN_E_WRITE, Krn_wstring_status_arg(u"kept"));
  EXPECT_THROW(krn_status_from_xml(status, root()), std::runtime_error);
  EXPECT_EQ(values_of(status), std::vector<unsigned>{KRN_E_WRITE});
  ASSERT_EQ(status.num_args(), 1u);
  EXPECT_EQ(text_of(**status.begin()), u"kept");
}

TEST(KrnExceptions, DescriptionsNameTheCodeAndAddress) {
  Krn_exception_record previous;
  previous.code = 0x12345678;
  Krn_exception_record record;
  record.code = 0xC0000005;
  record.num_parameters = 2;
  record.parameters[1] = 0x10;
  record.previous = &previous;
  Krn_system_exception e(record);
  EXPECT_EQ(e.code(), 0xC0000005u);
  const std::string text = e.what();
  EXPECT_NE(text.find("The memory address accessed is 0x00000010.\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nPrevious exception...\r\nAn unknown Microsoft structured exception has occurred.\r\n"
                      "Exception code is 0x12345678.\r\n"),
            std::string::npos);
  EXPECT_EQ(Krn_system_exception().code(), 0u);
  EXPECT_STREQ(Krn_system_exception().what(), "");

  EXPECT_THROW(krn_exception_translator(1726, nullptr), Krn_rpc_exception);
  try {
    krn_exception_translator(1729, nullptr);
  } catch (const Krn_rpc_exception&) {
    ADD_FAILURE() << "1729 is not a remote-call code";
  } catch (const Krn_system_exception& x) {
    EXPECT_EQ(x.code(), 1729u);
  }
  EXPECT_EQ(krn_install_exception_translator(), nullptr);
  EXPECT_STREQ(Krn_sys_call_fail("pthread_mutex_init").what(), "::pthread_mutex_init");
}
