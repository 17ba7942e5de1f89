#include "krn/krn_unicode.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>

#include <string>

#include "krn/krn_string.h"

namespace krn {
namespace {

using impl::KRN_UNICODE_BIT_TABLE;

unsigned type_of(unsigned cp) { return KRN_UNICODE_BIT_TABLE[cp] & KRN_UNICODE_TYPE_MASK; }

TEST(KrnUnicodeTable, DocumentedRows) {
  EXPECT_EQ(KRN_UNICODE_BIT_TABLE[0x0020], 0x81);
  EXPECT_EQ(KRN_UNICODE_BIT_TABLE[0x0030], 0x82);
  EXPECT_EQ(KRN_UNICODE_BIT_TABLE[0x0041], 0x96);
  EXPECT_EQ(KRN_UNICODE_BIT_TABLE[0x0061], 0x8E);
  EXPECT_EQ(KRN_UNICODE_BIT_TABLE[0x00E9], 0x8E);
  EXPECT_EQ(KRN_UNICODE_BIT_TABLE[0x3000], 0xA1);
  EXPECT_EQ(KRN_UNICODE_BIT_TABLE[0xFF21], 0xB6);
}

TEST(KrnUnicodeTable, AsciiClasses) {
  for (unsigned cp = 0x21; cp < 0x7F; ++cp) {
    const bool letter = (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z');
    const bool digit = cp >= '0' && cp <= '9';
    const unsigned expected = letter ? KRN_CP_LETTER : digit ? KRN_CP_NUMBER : cp == '^' ? KRN_CP_SYMBOL : KRN_CP_PUNCTUATION;
    EXPECT_EQ(type_of(cp), expected) << "U+" << std::hex << cp;
  }
  for (unsigned cp : {0x09u, 0x0Au, 0x0Du, 0x20u}) EXPECT_EQ(type_of(cp), KRN_CP_SPACE) << cp;
}

TEST(KrnUnicodeTable, TypesOfSampleCharacters) {
  const std::pair<unsigned, unsigned> samples[] = {
      {0x00A0, KRN_CP_SPACE},       {0x3000, KRN_CP_SPACE},       {0x200B, KRN_CP_SPACE},
      {0x00B2, KRN_CP_NUMBER},      {0x2160, KRN_CP_NUMBER},      {0x0663, KRN_CP_NUMBER},
      {0x2019, KRN_CP_PUNCTUATION}, {0x20AC, KRN_CP_PUNCTUATION}, {0x00A9, KRN_CP_SYMBOL},
      {0xFFFD, KRN_CP_SYMBOL},      {0x0300, KRN_CP_MARK},        {0x02C6, KRN_CP_LETTER},
      {0xFF21, KRN_CP_LETTER},      {0xE000, KRN_CP_LETTER},      {0x4E00, KRN_CP_IDEOGRAPH},
      {0x20000, KRN_CP_IDEOGRAPH},
  };
  for (const auto& [cp, type] : samples) EXPECT_EQ(type_of(cp), type) << "U+" << std::hex << cp;
}

TEST(KrnUnicodeTable, UnassignedCodePointsAreZero) {
  for (unsigned cp : {0x0378u, 0xFFFEu, 0xFFFFu, 0x2FFFFu}) EXPECT_EQ(KRN_UNICODE_BIT_TABLE[cp], 0) << cp;
  EXPECT_EQ(impl::krn_unicode_char_type(0x0378), KRN_CP_IGNORED);
}

// The table against ICU, code point by code point: what the library's case
// mapping and normalisation shortcuts rely on.
TEST(KrnUnicodeTable, BitsAgreeWithIcu) {
  UErrorCode error = U_ZERO_ERROR;
  const UNormalizer2* nfkc = unorm2_getNFKCInstance(&error);
  ASSERT_TRUE(U_SUCCESS(error));
  unsigned failures = 0;
  for (UChar32 cp = 0; cp < static_cast<UChar32>(KRN_UNICODE_BIT_TABLE_LEN) && failures < 10; ++cp) {
    const unsigned char byte = KRN_UNICODE_BIT_TABLE[cp];
    const bool assigned = u_charType(cp) != U_UNASSIGNED;
    bool ok = ((byte & KRN_UNICODE_ASSIGNED) != 0) == assigned && (byte & 0x40) == 0;
    if (!assigned) ok = ok && byte == 0;
    // Every code point with a simple case mapping carries the bit that
    // krn_lower or krn_upper consult before asking ICU.
    if (u_tolower(cp) != cp) ok = ok && (byte & KRN_UNICODE_UPPER);
    if (u_toupper(cp) != cp) ok = ok && (byte & KRN_UNICODE_LOWER);
    if (u_isULowercase(cp)) ok = ok && (byte & KRN_UNICODE_LOWER);
    if (u_isUUppercase(cp)) ok = ok && (byte & KRN_UNICODE_UPPER);
    // Without bit 5, NFKC leaves the character alone.
    if (!(byte & KRN_UNICODE_NFKC) && !(cp >= 0xD800 && cp <= 0xDFFF)) {
      UChar one[2];
      int32_t length = 0;
      U16_APPEND_UNSAFE(one, length, cp);
      ok = ok && unorm2_isNormalized(nfkc, one, length, &error);
    }
    if (!ok) {
      ++failures;
      ADD_FAILURE() << "U+" << std::hex << cp << " has byte 0x" << static_cast<unsigned>(byte);
    }
  }
  EXPECT_TRUE(U_SUCCESS(error));
}

TEST(KrnUnicodeTable, NormalisationBitMarksWhatNfkcChanges) {
  for (unsigned cp : {0x00A0u, 0x00B2u, 0x0301u, 0x1161u, 0x2160u, 0xFB01u, 0xFF21u, 0x2F800u}) {
    EXPECT_TRUE(KRN_UNICODE_BIT_TABLE[cp] & KRN_UNICODE_NFKC) << "U+" << std::hex << cp;
  }
  for (unsigned cp : {0x0041u, 0x00E9u, 0x00DFu, 0x4E00u, 0xFFFDu}) {
    EXPECT_FALSE(KRN_UNICODE_BIT_TABLE[cp] & KRN_UNICODE_NFKC) << "U+" << std::hex << cp;
  }
}

TEST(KrnUnicodeClassifier, AboveTheTableByGeneralCategory) {
  EXPECT_EQ(impl::krn_unicode_char_type(0), KRN_CP_IGNORED);
  EXPECT_EQ(impl::krn_unicode_char_type(u'x'), KRN_CP_LETTER);
  EXPECT_EQ(impl::krn_unicode_char_type(u'^'), KRN_CP_SYMBOL);
  EXPECT_EQ(impl::krn_unicode_char_type(0x30000), KRN_CP_IDEOGRAPH);   // Lo
  EXPECT_EQ(impl::krn_unicode_char_type(0xE0001), KRN_CP_SPACE);       // Cf
  EXPECT_EQ(impl::krn_unicode_char_type(0xE0100), KRN_CP_MARK);        // Mn
  EXPECT_EQ(impl::krn_unicode_char_type(0xF0000), KRN_CP_LETTER);      // Co
  EXPECT_EQ(impl::krn_unicode_char_type(0x50000), KRN_CP_SPACE);       // Cn
  EXPECT_EQ(impl::krn_unicode_char_type(0x110000), KRN_CP_SPACE);
  // The category mapping alone, below the table, where the table differs.
  EXPECT_EQ(impl::krn_get_icu_char_type(u'^'), KRN_CP_MARK);
  EXPECT_EQ(impl::krn_get_icu_char_type(u'`'), KRN_CP_MARK);
  EXPECT_EQ(impl::krn_get_icu_char_type(0xD800), KRN_CP_LETTER);       // Cs
  EXPECT_EQ(impl::krn_get_icu_char_type(0x20DD), KRN_CP_LETTER);       // Me
  EXPECT_EQ(impl::krn_get_icu_char_type(0x2028), KRN_CP_SPACE);        // Zl
  EXPECT_EQ(impl::krn_get_icu_char_type(0x00AB), KRN_CP_PUNCTUATION);  // Pi
  EXPECT_EQ(impl::krn_get_icu_char_type(0x0378), KRN_CP_SPACE);        // Cn
}

}  // namespace
}  // namespace krn
