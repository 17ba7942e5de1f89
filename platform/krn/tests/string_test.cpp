#include "krn/krn_string.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <stdexcept>
#include <string>

#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn_string_grouping.h"

namespace krn {
namespace {

// ---- Conversions -----------------------------------------------------------

TEST(KrnStringConvert, Latin1WidensAndNarrowsByteForByte) {
  Wstring wide = u"stale";
  krn_stow(std::string("a\xE9\x00z", 4), wide);
  EXPECT_EQ(wide, Wstring(u"a\u00E9\0z", 4));

  std::string narrow = "stale";
  krn_wtos(Wstring(u"a\u00E9\u20AC\uFFFD", 4), narrow);
  EXPECT_EQ(narrow, "a\xE9??");
  krn_wtos(u"\u00FF\uFFFD", narrow, true);
  EXPECT_EQ(narrow, "\xFF?");
}

TEST(KrnStringConvert, StrictNarrowingThrowsAndKeepsTheOutput) {
  std::string narrow = "kept";
  try {
    krn_wtos(u"a\u20AC", narrow, true);
    FAIL() << "no exception";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "Failed to convert wide string to narrow string.");
  }
  EXPECT_EQ(narrow, "kept");
}

TEST(KrnStringConvert, Utf16ToUtf8EncodesEveryLength) {
  std::string out = "stale";
  krn_utf16_to_utf8(u"A\u00E9\u20AC\U0001F600", out);
  EXPECT_EQ(out, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  krn_utf16_to_utf8(static_cast<const wchar16*>(nullptr), out);
  EXPECT_EQ(out, "");
}

TEST(KrnStringConvert, Utf16MalformedUnitsBecomeReplacementCharacters) {
  // A lone high surrogate at the end: the terminator after it is not read as
  // a low surrogate, and nothing beyond it is read.
  const wchar16 lone_high_at_end[] = {u'x', 0xD800, 0, 0xDC00};
  std::string out;
  krn_utf16_to_utf8(lone_high_at_end, out);
  EXPECT_EQ(out, "x\xEF\xBF\xBD");

  const wchar16 high_then_letter[] = {0xD800, u'A', 0};
  krn_utf16_to_utf8(high_then_letter, out);
  EXPECT_EQ(out, "\xEF\xBF\xBD" "A");

  const wchar16 lone_low[] = {0xDC00, u'b', 0};
  krn_utf16_to_utf8(lone_low, out);
  EXPECT_EQ(out, "\xEF\xBF\xBD" "b");

  // The string form covers the whole length, zero units included.
  krn_utf16_to_utf8(Wstring(u"a\0b", 3), out);
  EXPECT_EQ(out, std::string("a\0b", 3));
}

TEST(KrnStringConvert, Utf8MalformedSequencesBecomeReplacementCharacters) {
  Wstring out;
  krn_utf8_to_utf16("\xC3\x28", out);
  EXPECT_EQ(out, u"\uFFFD(");
  krn_utf8_to_utf16("\xE2\x82", out);  // truncated by the terminator
  EXPECT_EQ(out, u"\uFFFD");
  krn_utf8_to_utf16("\x80" "a\xFE" "b\xFF", out);
  EXPECT_EQ(out, u"\uFFFDa\uFFFDb\uFFFD");
  // Beyond U+10FFFF: no encoder could write it back, so it is replaced whole.
  krn_utf8_to_utf16("\xF8\x88\x80\x80\x80" "c", out);
  EXPECT_EQ(out, u"\uFFFDc");
  krn_utf8_to_utf16("\xF4\x90\x80\x80" "d", out);
  EXPECT_EQ(out, u"\uFFFDd");
  // Overlong forms and encoded surrogates are read as they are.
  krn_utf8_to_utf16("\xC1\x81", out);
  EXPECT_EQ(out, u"A");
  krn_utf8_to_utf16("\xED\xA0\x80", out);
  EXPECT_EQ(out, Wstring(1, static_cast<wchar16>(0xD800)));
}

TEST(KrnStringConvert, Utf8ToUtf16LengthFormsAndNull) {
  Wstring out = u"stale";
  krn_utf8_to_utf16("\xF0\x9F\x98\x80z", out);
  EXPECT_EQ(out, u"\U0001F600z");
  krn_utf8_to_utf16("abc", 2, out);
  EXPECT_EQ(out, u"ab");
  krn_utf8_to_utf16("a\0b", 3, out);
  EXPECT_EQ(out, Wstring(u"a\0b", 3));
  // A length that cuts a sequence leaves it malformed.
  krn_utf8_to_utf16("\xC3\xA9", 1, out);
  EXPECT_EQ(out, u"\uFFFD");
  krn_utf8_to_utf16(std::string("x\xC3\xA9"), out);
  EXPECT_EQ(out, u"x\u00E9");
  krn_utf8_to_utf16(static_cast<const char*>(nullptr), out);
  EXPECT_EQ(out, u"");
}

TEST(KrnStringConvert, Utf32Conversions) {
  std::u32string wide;
  krn_utf16_to_utf32(u"a\U0001F600", wide);
  EXPECT_EQ(wide, U"a\U0001F600");
  krn_utf8_to_utf32("\xC3\xA9\xC3", wide);
  EXPECT_EQ(wide, U"\u00E9\uFFFD");

  const char32_t too_large[] = {U'a', 0x110000, 0};
  Wstring utf16;
  krn_utf32_to_utf16(too_large, utf16);
  EXPECT_EQ(utf16, u"a\uFFFD");
  std::string utf8_text;
  krn_utf32_to_utf8(too_large, utf8_text);
  EXPECT_EQ(utf8_text, "a\xEF\xBF\xBD");
  krn_utf32_to_utf8(U"\U0010FFFF", utf8_text);
  EXPECT_EQ(utf8_text, "\xF4\x8F\xBF\xBF");
  krn_utf32_to_utf16(nullptr, utf16);
  EXPECT_EQ(utf16, u"");
}

TEST(KrnStringConvert, AppendingConversions) {
  Wstring wide = u"x";
  krn_string_append(wide, "\xC3\xA9y");
  krn_string_append(wide, static_cast<const char*>(nullptr));
  krn_string_append(wide, "zzz", 1);
  EXPECT_EQ(wide, u"x\u00E9yz");

  std::string narrow = "x";
  krn_string_append(narrow, u"\u00E9");
  krn_string_append(narrow, static_cast<const wchar16*>(nullptr));
  EXPECT_EQ(narrow, "x\xC3\xA9");

  std::string cps;
  for (unsigned cp : {0x41u, 0x7FFu, 0xFFFFu, 0x10000u, 0x110000u}) krn_string_append(cps, cp);
  EXPECT_EQ(cps, "A\xDF\xBF\xEF\xBF\xBF\xF0\x90\x80\x80\xEF\xBF\xBD");
}

TEST(KrnStringConvert, CodePointIteration) {
  const wchar16 text[] = {u'a', 0xD83D, 0xDE00, 0xDC00, 0};
  size_t index = 0;
  EXPECT_EQ(krn_utf16_to_utf32_char(text, index), 0x61u);
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(krn_utf16_to_utf32_char(text, index), 0x1F600u);
  EXPECT_EQ(index, 3u);
  EXPECT_EQ(krn_utf16_to_utf32_char(text, index), 0xFFFDu);
  EXPECT_EQ(index, 4u);
  EXPECT_EQ(krn_utf16_to_utf32_char(text, index), 0u);
  EXPECT_EQ(index, KRN_NPOS);
  // Calling on past the end stays at the end instead of reading anywhere.
  EXPECT_EQ(krn_utf16_to_utf32_char(text, index), 0u);
  EXPECT_EQ(index, KRN_NPOS);
  index = 0;
  EXPECT_EQ(krn_utf16_to_utf32_char(nullptr, index), 0u);
  EXPECT_EQ(index, KRN_NPOS);

  index = 0;
  EXPECT_EQ(krn_utf8_to_utf32_char("\xE2\x82\xAC!", index), 0x20ACu);
  EXPECT_EQ(index, 3u);
  EXPECT_EQ(krn_utf8_to_utf32_char("\xE2\x82\xAC!", index), u'!');
  EXPECT_EQ(krn_utf8_to_utf32_char("\xE2\x82\xAC!", index), 0u);
  EXPECT_EQ(index, KRN_NPOS);

  EXPECT_EQ(krn_utf_8_character_length(0x41), 1u);
  EXPECT_EQ(krn_utf_8_character_length(0x80), 1u);
  EXPECT_EQ(krn_utf_8_character_length(0xC3), 2u);
  EXPECT_EQ(krn_utf_8_character_length(0xE2), 3u);
  EXPECT_EQ(krn_utf_8_character_length(0xF0), 4u);
  EXPECT_EQ(krn_utf_8_character_length(0xF8), 5u);
  EXPECT_EQ(krn_utf_8_character_length(0xFC), 6u);
  EXPECT_EQ(krn_utf_8_character_length(0xFF), 1u);
}

// ---- Comparisons -----------------------------------------------------------

TEST(KrnStringCompare, ComparesCodePointByCodePoint) {
  EXPECT_EQ(krn_utf16_compare(u"abc", u"abc"), 0);
  EXPECT_LT(krn_utf16_compare(u"ab", u"abc"), 0);
  EXPECT_EQ(krn_utf16_compare(u"b", u"a"), 1);
  // By code point, not by unit: U+1F600 is above U+FFFD although its lead
  // unit is below.
  EXPECT_GT(krn_utf16_compare(u"\U0001F600", u"\uFFFD"), 0);
  EXPECT_EQ(krn_utf16_compare(nullptr, u""), 0);
  EXPECT_LT(krn_utf16_compare(nullptr, u"a"), 0);
  EXPECT_EQ(krn_utf8_compare("\xC3\xA9", "\xC3\xA9"), 0);
  EXPECT_EQ(krn_utf16_utf8_compare(u"\u00E9x", "\xC3\xA9x"), 0);
  EXPECT_EQ(krn_utf8_utf16_compare("\xF0\x9F\x98\x80", u"\U0001F600"), 0);
  EXPECT_NE(krn_utf8_utf16_compare("a", u"A"), 0);
}

TEST(KrnStringCompare, IgnoringCaseFoldsBothSides) {
  EXPECT_EQ(krn_utf16_compare_nc(u"ABC", u"abc"), 0);
  EXPECT_LT(krn_utf16_compare_nc(u"a", u"b"), 0);
  EXPECT_LT(krn_utf16_compare_nc(u"A", u"b"), 0);
  EXPECT_EQ(krn_utf16_compare_nc(u"\u00C9T\u00C9", u"\u00E9t\u00E9"), 0);
  EXPECT_EQ(krn_utf16_compare_nc(u"\U00010400", u"\U00010428"), 0);  // Deseret
  EXPECT_EQ(krn_utf8_compare_nc("SimpleNC", "simplenc"), 0);
  EXPECT_NE(krn_utf8_compare_nc("Simple ", "simple"), 0);
  EXPECT_EQ(krn_utf16_utf8_compare_nc(u"\u00C9", "\xC3\xA9"), 0);
  EXPECT_EQ(krn_utf8_utf16_compare_nc("\xC3\x89", u"\u00E9"), 0);
}

TEST(KrnStringCompare, EqualityIsByUnit) {
  EXPECT_TRUE(krn_string_equal(u"abc", u"abc"));
  EXPECT_FALSE(krn_string_equal(u"abc", u"ABC"));
  EXPECT_FALSE(krn_string_equal(u"ab", u"abc"));
  EXPECT_TRUE(krn_string_equal(nullptr, u""));
  // Two different unpaired surrogates both read as U+FFFD but are not equal.
  const wchar16 high[] = {0xD800, 0};
  const wchar16 low[] = {0xDC00, 0};
  EXPECT_FALSE(krn_string_equal(high, low));
}

TEST(KrnStringCompare, FindIgnoringCase) {
  EXPECT_EQ(krn_string_find_nc(u"Hello World", u"WORLD"), 6u);
  EXPECT_EQ(krn_string_find_nc(u"abcABC", u"abc", 1), 3u);
  EXPECT_EQ(krn_string_find_nc(u"abc", u"x"), KRN_NPOS);
  EXPECT_EQ(krn_string_find_nc(u"abc", u"", 2), 2u);
  EXPECT_EQ(krn_string_find_nc(u"abc", u"a", 4), KRN_NPOS);
  // A match may differ in length from what is sought: KELVIN SIGN folds to k.
  EXPECT_EQ(krn_string_find_nc(std::string("x\xE2\x84\xAAy"), std::string("KY")), 1u);
  EXPECT_EQ(krn_string_find_nc(std::string("ab"), std::string("abc")), KRN_NPOS);

  const wchar16* text = u"one TWO";
  EXPECT_EQ(krn_stristr(text, u"two"), text + 4);
  EXPECT_EQ(krn_stristr(text, u"three"), nullptr);
  EXPECT_EQ(krn_stristr(static_cast<const wchar16*>(nullptr), u"x"), nullptr);
  const char* narrow = "one TWO";
  EXPECT_EQ(krn_stristr(narrow, "Two"), narrow + 4);
}

TEST(KrnStringCompare, WildcardMatch) {
  EXPECT_TRUE(krn_string_match(u"report.txt", u"*.txt"));
  EXPECT_TRUE(krn_string_match(u"report.txt", u"r?port.*"));
  EXPECT_TRUE(krn_string_match(u"", u"*"));
  EXPECT_TRUE(krn_string_match(u"abcbc", u"a*bc"));
  EXPECT_FALSE(krn_string_match(u"report.txt", u"*.doc"));
  EXPECT_FALSE(krn_string_match(u"Report.txt", u"report.txt"));
  EXPECT_FALSE(krn_string_match(u"ab", u"a?b"));
  EXPECT_TRUE(krn_string_match(u"\U0001F600x", u"?x"));  // ? is one code point
  EXPECT_TRUE(krn_string_match_nc(u"Report.TXT", u"report.*"));
  EXPECT_TRUE(krn_string_match(std::string("\xC3\xA9t\xC3\xA9"), std::string("?t?")));
  EXPECT_TRUE(krn_string_match_nc(std::string("ABC"), std::string("a*")));
  // Many stars on a long text stay fast (no exponential backtracking).
  EXPECT_FALSE(krn_string_match(Wstring(2000, u'a'), u"*a*a*a*a*a*a*a*a*b"));
}

// ---- Case and normalisation ------------------------------------------------

TEST(KrnStringCase, CodePointMapping) {
  EXPECT_EQ(krn_lower(u'A'), static_cast<unsigned>(u'a'));
  EXPECT_EQ(krn_lower(u'a'), static_cast<unsigned>(u'a'));
  EXPECT_EQ(krn_lower(u'['), static_cast<unsigned>(u'['));
  EXPECT_EQ(krn_lower(0xC9u), 0xE9u);
  EXPECT_EQ(krn_lower(0x130u), 0x69u);      // capital I with dot: simple mapping
  EXPECT_EQ(krn_lower(0x2160u), 0x2170u);   // roman numeral one (a number with case)
  EXPECT_EQ(krn_lower(0x1C5u), 0x1C6u);     // title-case digraph
  EXPECT_EQ(krn_upper(0x1C5u), 0x1C4u);
  EXPECT_EQ(krn_lower(0x10400u), 0x10428u);
  EXPECT_EQ(krn_lower(0x30000u), 0x30000u);
  EXPECT_EQ(krn_lower(0x110000u), 0x110000u);
  EXPECT_EQ(krn_upper(u'z'), static_cast<unsigned>(u'Z'));
  EXPECT_EQ(krn_upper(0xE9u), 0xC9u);
  EXPECT_EQ(krn_upper(0xDFu), 0xDFu);  // sharp s has no simple upper case
}

TEST(KrnStringCase, StringsMapInPlace) {
  Wstring text = u"AbC \u00C9\U00010400";
  krn_lower(text);
  EXPECT_EQ(text, u"abc \u00E9\U00010428");
  krn_upper(text);
  EXPECT_EQ(text, u"ABC \u00C9\U00010400");

  // An unpaired surrogate is not a letter and stays as it is.
  Wstring broken = {u'A', static_cast<wchar16>(0xD800), u'B'};
  krn_lower(broken);
  EXPECT_EQ(broken, Wstring({u'a', static_cast<wchar16>(0xD800), u'b'}));

  // The whole string, past a zero unit.
  Wstring with_zero(u"A\0B", 3);
  krn_lower(with_zero);
  EXPECT_EQ(with_zero, Wstring(u"a\0b", 3));

  Wstring out;
  krn_lower(Wstring(u"XY"), out);
  EXPECT_EQ(out, u"xy");
  krn_upper(out, out);
  EXPECT_EQ(out, u"XY");

  std::string narrow = "MiXeD";
  krn_lower(narrow);
  EXPECT_EQ(narrow, "mixed");
  std::string upper;
  krn_upper(narrow, upper);
  EXPECT_EQ(upper, "MIXED");
}

TEST(KrnStringCase, CaseTests) {
  EXPECT_TRUE(krn_is_lower(u"abc 123 \u00E9"));
  EXPECT_FALSE(krn_is_lower(u"abC"));
  EXPECT_FALSE(krn_is_lower(u"123"));
  EXPECT_TRUE(krn_is_upper(u"ABC-\u00C9"));
  EXPECT_FALSE(krn_is_upper(u"ABc"));
  EXPECT_FALSE(krn_is_upper(u""));
  // A title-case digraph holds both cases.
  EXPECT_FALSE(krn_is_lower(u"\u01C5"));
  EXPECT_FALSE(krn_is_upper(u"\u01C5"));
  EXPECT_TRUE(krn_is_upper(u"\U00010400"));
}

TEST(KrnStringNormalize, CompatibilityComposition) {
  Krn_status status(KRN_E_READ);
  Wstring out = u"stale";
  krn_normalize(u"\uFF21\u3000e\u0301\uFB01", out, status);
  EXPECT_TRUE(status.is_clear());
  EXPECT_EQ(out, u"A \u00E9fi");

  // Output beyond the first 4096-unit area: U+FDFA expands to 18 units.
  const Wstring expanding(300, u'\uFDFA');
  krn_normalize(expanding, out, status);
  EXPECT_TRUE(status.ok());
  ASSERT_EQ(out.size(), 300u * 18u);
  Wstring one;
  krn_normalize(Wstring(1, u'\uFDFA'), one, status);
  EXPECT_EQ(out.substr(out.size() - 18), one);

  // In place, in both paths.
  Wstring same = u"\uFF41\uFF42";
  krn_normalize(same, same, status);
  EXPECT_EQ(same, u"ab");
  same = expanding;
  krn_normalize(same, same, status);
  EXPECT_EQ(same.size(), 300u * 18u);

  // Malformed text is not an error.
  const Wstring broken = {static_cast<wchar16>(0xD800), u'\uFF21'};
  krn_normalize(broken, out, status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(out, Wstring({static_cast<wchar16>(0xD800), u'A'}));
}

TEST(KrnStringNormalize, CanNormalizeFollowsTheTable) {
  EXPECT_FALSE(krn_can_normalize(u""));
  EXPECT_FALSE(krn_can_normalize(u"plain ascii, \u00E9t\u00E9"));
  EXPECT_TRUE(krn_can_normalize(u"\uFF21"));
  EXPECT_TRUE(krn_can_normalize(u"e\u0301"));       // composes
  EXPECT_TRUE(krn_can_normalize(u"\U0002F800"));    // CJK compatibility ideograph
  EXPECT_TRUE(krn_can_normalize(Wstring(u"a\0\u3000", 3)));
  // Whatever it says no to, NFKC leaves alone.
  Krn_status status;
  for (const Wstring& text : {Wstring(u"Caf\u00E9 123"), Wstring(u"\u4E00\u00DF")}) {
    ASSERT_FALSE(krn_can_normalize(text));
    Wstring out;
    krn_normalize(text, out, status);
    EXPECT_EQ(out, text);
  }
}

TEST(KrnStringNormalize, IcuErrorsTranslate) {
  Krn_status status(KRN_E_READ);
  krn_translate_icu_error(0, status);
  EXPECT_TRUE(status.is_clear());

  const std::pair<int, unsigned> fixed[] = {{10, KRN_E_ICU_INVALID_CHAR},
                                            {11, KRN_E_ICU_TRUNCATED_CHAR},
                                            {12, KRN_E_ICU_ILLEGAL_CHAR},
                                            {18, KRN_E_ICU_ILLEGAL_ESCAPE},
                                            {19, KRN_E_ICU_UNSUPPORTED_ESCAPE}};
  for (const auto& [code, value] : fixed) {
    krn_translate_icu_error(code, status);
    EXPECT_EQ(status.value(), value) << code;
    EXPECT_EQ(status.num_args(), 0u) << code;
  }

  krn_translate_icu_error(7, status);  // U_MEMORY_ALLOCATION_ERROR
  EXPECT_EQ(status.value(), KRN_E_ICU_ERROR);
  ASSERT_EQ(status.num_args(), 1u);
  const auto* arg = dynamic_cast<const Krn_int_status_arg*>(*status.begin());
  ASSERT_NE(arg, nullptr);
  EXPECT_EQ(arg->value(), 7);
  EXPECT_TRUE(arg->format());
}

// ---- Classification, trimming and quoting ----------------------------------

TEST(KrnStringTrim, SpaceUnits) {
  for (wchar16 unit : {u'\t', u'\n', u'\v', u'\f', u'\r', u' ', u'\u00A0', u'\u3000', u'\u2003'}) {
    EXPECT_TRUE(krn_is_space(unit)) << static_cast<unsigned>(unit);
  }
  for (wchar16 unit : {u'\0', u'a', u'\u0085', u'\u00FF', u'\u200B'}) {
    EXPECT_FALSE(krn_is_space(unit)) << static_cast<unsigned>(unit);
  }
  EXPECT_TRUE(krn_is_space(' '));
  EXPECT_FALSE(krn_is_space('x'));
  EXPECT_TRUE(krn_is_blank(u""));
  EXPECT_TRUE(krn_is_blank(u" \u00A0\t"));
  EXPECT_FALSE(krn_is_blank(u" x "));
  EXPECT_TRUE(krn_is_blank(std::string(" \n")));
  EXPECT_FALSE(krn_is_blank(std::string(".")));
}

TEST(KrnStringTrim, TrimsWideText) {
  Wstring text = u"\u00A0x\u3000";
  krn_trim(text);
  EXPECT_EQ(text, u"x");
  text = u" \t";
  krn_trim(text);
  EXPECT_EQ(text, u"");

  text = u"  a b  ";
  krn_trim_leading(text);
  EXPECT_EQ(text, u"a b  ");
  krn_trim_trailing(text);
  EXPECT_EQ(text, u"a b");

  text = u"--a-b--";
  krn_trim_leading_chars(text, u'-');
  EXPECT_EQ(text, u"a-b--");
  krn_trim_trailing_chars(text, u'-');
  EXPECT_EQ(text, u"a-b");

  text = u" a\tb \u00A0c ";
  krn_trim_all(text);
  EXPECT_EQ(text, u"abc");
  text = u"a\x01" u"b\x7F\u0085c\n";
  krn_trim_all_ctrl(text);
  EXPECT_EQ(text, u"abc");
  text = u"\uFEFF\uFEFFa\uFEFF";
  krn_trim_unicode_leading(text);
  EXPECT_EQ(text, u"a\uFEFF");
}

TEST(KrnStringTrim, TrimsNarrowText) {
  std::string text = " \tab c\n";
  krn_trim(text);
  EXPECT_EQ(text, "ab c");
  text = "xxaxx";
  krn_trim_leading_chars(text, 'x');
  krn_trim_trailing_chars(text, 'x');
  EXPECT_EQ(text, "a");
  text = " a b ";
  krn_trim_all(text);
  EXPECT_EQ(text, "ab");
  // Bytes 0x80-0x9F belong to UTF-8 sequences and stay.
  text = "a\x01\xC2\x85" "b\x7F";
  krn_trim_all_ctrl(text);
  EXPECT_EQ(text, "a\xC2\x85" "b");
  text = "\xEF\xBB\xBFx";
  krn_trim_unicode_leading(text);
  EXPECT_EQ(text, "x");
  text = "  ";
  krn_trim_leading(text);
  EXPECT_EQ(text, "");
  text = "a  ";
  krn_trim_trailing(text);
  EXPECT_EQ(text, "a");
}

TEST(KrnStringTrim, IsAlpha) {
  EXPECT_TRUE(krn_is_alpha(u"  abc\u00E9"));
  EXPECT_TRUE(krn_is_alpha(u"e\u0301\u4E00"));  // marks and other letters count
  EXPECT_FALSE(krn_is_alpha(u"ab1"));
  EXPECT_FALSE(krn_is_alpha(u"ab "));
  EXPECT_FALSE(krn_is_alpha(u"   "));
  EXPECT_TRUE(krn_is_alpha(std::string(" \xC3\xA9t\xC3\xA9")));
  EXPECT_FALSE(krn_is_alpha(std::string("a-b")));
}

TEST(KrnStringQuotes, StripUnmatchedQuotes) {
  Wstring out = u"stale";
  EXPECT_TRUE(krn_strip_unmatched_quotes(u"x\"", out));
  EXPECT_EQ(out, u"x");
  EXPECT_TRUE(krn_strip_unmatched_quotes(u"\"x", out));
  EXPECT_EQ(out, u"x");
  for (const Wstring in : {u"\"x\"", u"x", u"", u"\""}) {
    out = u"stale";
    EXPECT_FALSE(krn_strip_unmatched_quotes(in, out));
    EXPECT_EQ(out, u"");
  }
  Wstring same = u"ab\"";
  EXPECT_TRUE(krn_strip_unmatched_quotes(same, same));
  EXPECT_EQ(same, u"ab");

  std::string narrow;
  EXPECT_TRUE(krn_strip_unmatched_quotes(std::string("\"n"), narrow));
  EXPECT_EQ(narrow, "n");
}

TEST(KrnStringQuotes, QuoteAndUnquote) {
  Wstring text = u"a b";
  krn_quote(text);
  EXPECT_EQ(text, u"\"a b\"");
  EXPECT_TRUE(krn_unquote(text));
  EXPECT_EQ(text, u"a b");
  EXPECT_FALSE(krn_unquote(text));
  text = u"\"";
  EXPECT_FALSE(krn_unquote(text));
  EXPECT_EQ(text, u"\"");

  Wstring out;
  krn_quote(u"", out);
  EXPECT_EQ(out, u"\"\"");

  text = u"\"\"a\"b\"";
  krn_strip_quotes(text);
  EXPECT_EQ(text, u"a\"b");
  std::string narrow = "\"n\"";
  EXPECT_TRUE(krn_unquote(narrow));
  EXPECT_EQ(narrow, "n");
  narrow = "\"m";
  krn_strip_quotes(narrow);
  EXPECT_EQ(narrow, "m");
}

// ---- XML attribute escaping ------------------------------------------------

TEST(KrnStringXml, EscapesControlsAndBackslashes) {
  Wstring out;
  krn_wstring_to_xml(Wstring(u"\\\x01"), out, true);
  EXPECT_EQ(out, u"\\\\\\a");
  krn_wstring_to_xml(Wstring(u"\\\n\x1F"), out, false);
  EXPECT_EQ(out, u"\\\\j\\_");

  Wstring in_place(u"a\0b", 3);
  krn_wstring_to_xml(in_place, true);
  EXPECT_EQ(in_place, u"a\\`b");
}

TEST(KrnStringXml, RoundTripsEveryControlUnit) {
  Wstring original = u"x\\y\u00E9";
  for (wchar16 unit = 0; unit < 0x20; ++unit) original.push_back(unit);
  Wstring escaped;
  krn_wstring_to_xml(original, escaped, true);
  for (wchar16 unit : escaped) EXPECT_GE(unit, 0x20) << "control left in the escaped text";
  Wstring restored;
  krn_wstring_from_xml(escaped, restored);
  EXPECT_EQ(restored, original);

  std::string narrow_original = "p\\q\xC3\xA9\x01\x1F";
  std::string narrow_escaped, narrow_restored;
  krn_string_to_xml(narrow_original, narrow_escaped, true);
  EXPECT_EQ(narrow_escaped, "p\\\\q\xC3\xA9\\a\\_");
  krn_string_from_xml(narrow_escaped, narrow_restored);
  EXPECT_EQ(narrow_restored, narrow_original);
}

TEST(KrnStringXml, UnescapesForeignInputSafely) {
  Wstring out;
  // A trailing backslash is dropped.
  krn_wstring_from_xml(u"ab\\", out);
  EXPECT_EQ(out, u"ab");
  // Escapes no writer produces stay literal instead of wrapping below zero:
  // an unescaped Windows path survives.
  krn_wstring_from_xml(u"C:\\Users\\\u00E9", out);
  EXPECT_EQ(out, u"C:\\Users\\\u00E9");
  std::string narrow;
  krn_string_from_xml("\\A\\\\", narrow);
  EXPECT_EQ(narrow, "\\A\\");
}

// ---- Numbers ---------------------------------------------------------------

// Sets the C locale for one test and restores it.
class Scoped_c_locale {
 public:
  explicit Scoped_c_locale(const char* name) : m_previous(std::setlocale(LC_ALL, nullptr)) {
    m_ok = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~Scoped_c_locale() { std::setlocale(LC_ALL, m_previous.c_str()); }
  bool ok() const { return m_ok; }

 private:
  std::string m_previous;
  bool m_ok = false;
};

TEST(KrnStringNumber, PrintsInEveryRadix) {
  Wstring out = u"stale";
  krn_itow(int64{-1234567}, out);
  EXPECT_EQ(out, u"-1234567");
  krn_itow(int64{0}, out);
  EXPECT_EQ(out, u"0");
  krn_itow(INT64_MIN, out);
  EXPECT_EQ(out, u"-9223372036854775808");
  krn_itow(UINT64_MAX, out, 16);
  EXPECT_EQ(out, u"ffffffffffffffff");
  krn_itow(int64{-255}, out, 16);
  EXPECT_EQ(out, u"-ff");
  krn_itow(5u, out, 2);
  EXPECT_EQ(out, u"101");
  krn_itow(-7, out, 8);
  EXPECT_EQ(out, u"-7");

  std::string narrow;
  krn_itos(int64{-42}, narrow);
  EXPECT_EQ(narrow, "-42");
  krn_itos(uint64{0xABC}, narrow, 16);
  EXPECT_EQ(narrow, "abc");
}

TEST(KrnStringNumber, RejectsRadixOutsideTheDigits) {
  Wstring out = u"kept";
  EXPECT_THROW(krn_itow(int64{1}, out, 0), std::invalid_argument);
  EXPECT_THROW(krn_itow(uint64{1}, out, 1), std::invalid_argument);
  EXPECT_THROW(krn_itow(int64{1}, out, 17), std::invalid_argument);
  std::string narrow;
  EXPECT_THROW(krn_itos(int64{1}, narrow, 37), std::invalid_argument);
  EXPECT_EQ(out, u"kept");
}

TEST(KrnStringNumber, GroupsDigitsFromTheRight) {
  const Wstring comma = u",";
  Wstring digits = u"-1234567";
  impl::group_digits(digits, 1, 3, comma);
  EXPECT_EQ(digits, u"-1,234,567");
  digits = u"123";
  impl::group_digits(digits, 0, 3, comma);
  EXPECT_EQ(digits, u"123");
  digits = u"1234";
  impl::group_digits(digits, 0, 2, Wstring(u"\u202F"));
  EXPECT_EQ(digits, u"12\u202F34");
  digits = u"1234";
  impl::group_digits(digits, 0, 0, comma);
  EXPECT_EQ(digits, u"1234");
}

TEST(KrnStringNumber, FormattingFollowsTheCLocale) {
  {
    // The C locale does not group.
    Scoped_c_locale c_locale("C");
    ASSERT_TRUE(c_locale.ok());
    Wstring out;
    krn_itow(int64{-1234567}, out, 10, true);
    EXPECT_EQ(out, u"-1234567");
  }
  for (const char* name : {"en_US.UTF-8", "en_US.utf8", "en_GB.UTF-8", "en_US"}) {
    Scoped_c_locale locale(name);
    if (!locale.ok()) continue;
    const std::lconv* conventions = std::localeconv();
    if (conventions->grouping[0] != 3 || std::string(conventions->thousands_sep) != ",") continue;
    Wstring wide;
    krn_itow(int64{-1234567}, wide, 10, true);
    EXPECT_EQ(wide, u"-1,234,567");
    krn_itow(int64{-1234567}, wide, 10, false);
    EXPECT_EQ(wide, u"-1234567");
    std::string narrow;
    krn_itos(uint64{1234567}, narrow, 10, true);
    EXPECT_EQ(narrow, "1,234,567");
    krn_itos(uint64{1234567}, narrow, 16, true);  // grouping is for radix 10 only
    EXPECT_EQ(narrow, "12d687");
    return;
  }
  GTEST_SKIP() << "no installed locale groups digits by 3 with a comma";
}

TEST(KrnStringNumber, ParsesLikeTheCLibrary) {
  EXPECT_EQ(krn_wtoi64(u"  -42abc"), -42);
  EXPECT_EQ(krn_wtoi64(u"+7"), 7);
  EXPECT_EQ(krn_wtoi64(u"x1"), 0);
  EXPECT_EQ(krn_wtoi64(u""), 0);
  EXPECT_EQ(krn_wtoi64(u"99999999999999999999"), INT64_MAX);
  EXPECT_EQ(krn_wtoi64(u"\u00A0\u300012"), 12);  // the space krn_is_number skips
  EXPECT_EQ(krn_stoi64(" 123 "), 123);

  EXPECT_EQ(krn_wtoi32(u" -2147483648"), INT32_MIN);
  EXPECT_EQ(krn_wtoi32(u"2147483647"), INT32_MAX);
  EXPECT_EQ(krn_wtoi32(u"\u3000+5"), 5);
  for (const Wstring bad : {u"2147483648", u"12x", u"", u"1 "}) {
    try {
      krn_wtoi32(bad);
      ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), "krn::krn_wtoi32 number is invalid");
    }
  }
}

TEST(KrnStringNumber, RecognisesNumbers) {
  EXPECT_TRUE(krn_is_number(u" +12"));
  EXPECT_TRUE(krn_is_number(u"-0"));
  EXPECT_FALSE(krn_is_number(u"12 "));
  EXPECT_FALSE(krn_is_number(u"  "));
  EXPECT_FALSE(krn_is_number(u"+"));
  EXPECT_FALSE(krn_is_number(u"1a"));
  EXPECT_FALSE(krn_is_number(u"+-1"));
  EXPECT_TRUE(krn_is_number(u"0x1F", 16));
  EXPECT_TRUE(krn_is_number(u"abCD", 16));
  EXPECT_FALSE(krn_is_number(u"0x", 16));
  EXPECT_FALSE(krn_is_number(u"-1f", 16));
  EXPECT_FALSE(krn_is_number(u"1g", 16));
  EXPECT_TRUE(krn_is_number(std::string("\t99")));
  EXPECT_FALSE(krn_is_number(std::string("9 9")));

  EXPECT_TRUE(krn_is_int32(u"-2147483648"));
  EXPECT_FALSE(krn_is_int32(u"-2147483649"));
  EXPECT_FALSE(krn_is_int32(u"99999999999999999999999"));
  EXPECT_TRUE(krn_is_int32(std::string("2147483647")));
  EXPECT_FALSE(krn_is_int32(std::string("2147483648")));
}

// ---- Other -----------------------------------------------------------------

TEST(KrnStringOther, HashOverCodePoints) {
  EXPECT_EQ(krn_string_hash(""), 5381u);
  EXPECT_EQ(krn_string_hash(u""), 5381u);
  EXPECT_EQ(krn_string_hash(static_cast<const char*>(nullptr)), 5381u);
  EXPECT_EQ(krn_string_hash("a"), 5381u * 33u + 97u);
  // The same code points hash alike in either encoding.
  EXPECT_EQ(krn_string_hash("\xC3\xA9\xF0\x9F\x98\x80"), krn_string_hash(u"\u00E9\U0001F600"));
  EXPECT_EQ(krn_string_hash_nc("ABC"), krn_string_hash("abc"));
  EXPECT_EQ(krn_string_hash_nc(u"\u00C9"), krn_string_hash(u"\u00E9"));
  EXPECT_NE(krn_string_hash("ABC"), krn_string_hash("abc"));
  // "abcdef" hashes to 0xF148CB7A, negative as a signed 32-bit number.
  EXPECT_EQ(krn_string_hash("abcdef"), 0x100000000u - 0xF148CB7Au);
  EXPECT_EQ(krn_string_hash("kestrel"), 0x245299DFu);
}

TEST(KrnStringOther, LengthInCodePoints) {
  EXPECT_EQ(krn_string_length(static_cast<const char*>(nullptr)), 0u);
  EXPECT_EQ(krn_string_length(static_cast<const wchar16*>(nullptr)), 0u);
  EXPECT_EQ(krn_string_length("a\xC3\xA9\xF0\x9F\x98\x80"), 3u);
  EXPECT_EQ(krn_string_length(u"a\u00E9\U0001F600"), 3u);
  EXPECT_EQ(krn_string_length("\xC3"), 1u);  // one malformed code point
}

TEST(KrnStringOther, UuidByteOrder) {
  const GUID in = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
  GUID out{};
  krn_extract_uuid_le(out, in);
  EXPECT_EQ(out, in);
  krn_extract_uuid_be(out, in);
  const GUID swapped = {0x04030201, 0x0605, 0x0807, {9, 10, 11, 12, 13, 14, 15, 16}};
  EXPECT_EQ(out, swapped);
  GUID same = in;
  krn_extract_uuid_be(same, same);
  EXPECT_EQ(same, swapped);
}

TEST(KrnStringConstants, NamedConstantsHoldTheirText) {
  EXPECT_EQ(W_COMMA, u",");
  EXPECT_EQ(W_EMPTY, u"");
  EXPECT_EQ(W_BACKSLASH, u"\\");
  EXPECT_EQ(W_QUOTE, u"\"");
  EXPECT_EQ(W_CRLF, u"\r\n");
  EXPECT_EQ(W_CDATA, u"![CDATA[");
  EXPECT_EQ(WU_LATIN1, u"ISO-8859-1");
  EXPECT_EQ(WL_UNICODE, u"unicode");
  const Wstring& as_string = W_SEMICOLON;
  EXPECT_EQ(as_string, u";");
  EXPECT_EQ(krn_utf16_compare(W_TRUE.c_str(), u"true"), 0);
  EXPECT_EQ(Krn_cwstring("\xC3\xA9"), u"\u00E9");
}

}  // namespace
}  // namespace krn
