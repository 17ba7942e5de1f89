// Each feature generator on small crafted inputs whose values are worked
// out by hand, the automata, iterators and distribution analysers.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "enr/enr_feature.h"
#include "enr/enr_input_text.h"

using namespace enr;

namespace {

constexpr std::uint16_t UNTOUCHED = 0xBEEF;

struct Values {
  std::array<std::uint16_t, ENR_FEATURE_COUNT> v;
  Values() { v.fill(UNTOUCHED); }
  std::uint16_t operator[](unsigned i) const { return v[i]; }
};

Values run(Enr_feature&& feature, const std::string& bytes) {
  Values values;
  const Enr_input_text text(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  feature.generate(text, values.v.data());
  return values;
}

std::string repeat(const std::string& part, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

}  // namespace

TEST(EnrInputText, RecognisesByteOrderMarks) {
  struct Case {
    std::string bytes;
    bool mark;
    bool little;
  } cases[] = {
      {"\xEF\xBB\xBFx", true, true},       {"\xFE\xFFx", true, false},
      {std::string("\xFF\xFE\0\0", 4), true, true}, {std::string("\0\0\xFE\xFF", 4), true, false},
      {"\xFFx", false, false},              {"", false, false},
  };
  for (const Case& c : cases) {
    const Enr_input_text text(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()));
    bool little = !c.little;
    EXPECT_EQ(c.mark, text.has_bom(little)) << c.bytes.size();
    if (c.mark) {
      EXPECT_EQ(c.little, little);
    }
  }
}

TEST(EnrInputText, KeepsOnlyTheFirstMebibyte) {
  const std::string big(Enr_input_text::CAPACITY + 10, 'a');
  const Enr_input_text text(big.data(), static_cast<std::uint32_t>(big.size()));
  EXPECT_EQ(Enr_input_text::CAPACITY, text.length());
}

TEST(EnrUtf8Feature, ScoresValidAndBrokenSequences) {
  EXPECT_EQ(10, run(Enr_utf8_feature(ENR_F_UTF8), "plain ascii")[ENR_F_UTF8]);
  // A mark and nothing invalid is certain, however short.
  EXPECT_EQ(100, run(Enr_utf8_feature(ENR_F_UTF8), "\xEF\xBB\xBFok")[ENR_F_UTF8]);
  EXPECT_EQ(80, run(Enr_utf8_feature(ENR_F_UTF8), "caf\xC3\xA9 caf\xC3\xA9")[ENR_F_UTF8]);
  // The mark itself counts as one valid character here.
  EXPECT_EQ(100, run(Enr_utf8_feature(ENR_F_UTF8), repeat("\xC3\xA9", 4))[ENR_F_UTF8]);
  // 22 valid, one invalid: more than ten times as many.
  EXPECT_EQ(25, run(Enr_utf8_feature(ENR_F_UTF8), repeat("\xC3\xA9", 22) + "\xE9 ")[ENR_F_UTF8]);
  EXPECT_EQ(0, run(Enr_utf8_feature(ENR_F_UTF8), "caf\xE9 na\xEFve")[ENR_F_UTF8]);
  // A lead byte whose run is broken: the breaking byte goes with it.
  EXPECT_EQ(0, run(Enr_utf8_feature(ENR_F_UTF8), "\xC3\x41")[ENR_F_UTF8]);
  // A lead byte at the very end counts nothing.
  EXPECT_EQ(80, run(Enr_utf8_feature(ENR_F_UTF8), "\xC3\xA9\xC3")[ENR_F_UTF8]);
}

TEST(EnrUtf8FeatureSm, CountsMultiByteCharacters) {
  EXPECT_EQ(0, run(Enr_utf8_feature_sm(ENR_F_UTF8_MOZ), "plain ascii")[ENR_F_UTF8_MOZ]);
  EXPECT_EQ(50, run(Enr_utf8_feature_sm(ENR_F_UTF8_MOZ), "caf\xC3\xA9")[ENR_F_UTF8_MOZ]);
  EXPECT_EQ(87, run(Enr_utf8_feature_sm(ENR_F_UTF8_MOZ), "\xE2\x82\xAC\xF0\x9F\x98\x80\xC3\xA9")[ENR_F_UTF8_MOZ]);
  EXPECT_EQ(99, run(Enr_utf8_feature_sm(ENR_F_UTF8_MOZ), repeat("\xC3\xA9", 6))[ENR_F_UTF8_MOZ]);
  // Surrogates and overlong forms put the automaton in its error state.
  EXPECT_EQ(0, run(Enr_utf8_feature_sm(ENR_F_UTF8_MOZ), "\xED\xA0\x80\xC3\xA9")[ENR_F_UTF8_MOZ]);
  EXPECT_EQ(0, run(Enr_utf8_feature_sm(ENR_F_UTF8_MOZ), "\xC0\x80\xC3\xA9")[ENR_F_UTF8_MOZ]);
}

TEST(EnrUtf16Feature, MarksAndAutomata) {
  Values marked = run(Enr_utf16_feature(ENR_F_UTF16), "\xFF\xFE" "A");
  EXPECT_EQ(100, marked[ENR_F_UTF16]);
  EXPECT_EQ(0, marked[ENR_F_UTF16 + 1]);
  EXPECT_EQ(0, marked[ENR_F_UTF16 + 2]);
  // A line end at a unit boundary proves the order it is in.
  Values little = run(Enr_utf16_feature(ENR_F_UTF16), std::string("A\0\n\0", 4));
  EXPECT_EQ(0, little[ENR_F_UTF16]);
  EXPECT_EQ(10, little[ENR_F_UTF16 + 1]);
  EXPECT_EQ(100, little[ENR_F_UTF16 + 2]);
  Values big = run(Enr_utf16_feature(ENR_F_UTF16), std::string("\0A\0\n", 4));
  EXPECT_EQ(100, big[ENR_F_UTF16 + 1]);
  // A low surrogate first rules big-endian out; a pair is fine.
  Values lone = run(Enr_utf16_feature(ENR_F_UTF16), "\xDC\x01\xD8\x3D\xDE\x00");
  EXPECT_EQ(0, lone[ENR_F_UTF16 + 1]);
  Values pair = run(Enr_utf16_feature(ENR_F_UTF16), "\xD8\x3D\xDE\x00");
  EXPECT_EQ(10, pair[ENR_F_UTF16 + 1]);
  EXPECT_EQ(10, pair[ENR_F_UTF16 + 2]);
  Values lone_little = run(Enr_utf16_feature(ENR_F_UTF16), "\x01\xDC" "a\0");
  EXPECT_EQ(0, lone_little[ENR_F_UTF16 + 2]);

  // A zero unit or a C0 control other than TAB to CR is no text in either
  // order; the same bytes as the high half of a unit are letters.
  struct Case {
    std::string bytes;
    std::uint16_t big, little;
  };
  const Case cases[] = {
      {std::string("a\0\0\0b\0\0\0", 8), 0, 0},  // UTF-32LE text
      {std::string("\0\x04\0\x01", 4), 0, 10},    // 0x0004 and 0x0001, or 0x0400 and 0x0100
      {std::string("\x04\x30\x04\x31", 4), 10, 10},
      {std::string("\x1B\0" "A\0", 4), 10, 0},    // ESC little-endian
      {std::string("\0\x1F", 2), 0, 10},
      {std::string("\t\0\f\0\v\0A\0", 8), 10, 10},
      {std::string("\x0D\0" "A\0\0\0", 6), 0, 100},  // the line end proves it before the zero unit
  };
  for (const Case& c : cases) {
    Values values = run(Enr_utf16_feature(ENR_F_UTF16), c.bytes);
    EXPECT_EQ(c.big, values[ENR_F_UTF16 + 1]) << testing::PrintToString(c.bytes);
    EXPECT_EQ(c.little, values[ENR_F_UTF16 + 2]) << testing::PrintToString(c.bytes);
  }
}

TEST(EnrUtf32Feature, MarksAndRanges) {
  Values marked = run(Enr_utf32_feature(ENR_F_UTF32), std::string("\0\0\xFE\xFF", 4));
  EXPECT_EQ(100, marked[ENR_F_UTF32]);
  EXPECT_EQ(0, marked[ENR_F_UTF32 + 1]);
  // The little-endian mark is not taken as a mark here.
  Values little_mark = run(Enr_utf32_feature(ENR_F_UTF32), std::string("\xFF\xFE\0\0A\0\0\0", 8));
  EXPECT_EQ(0, little_mark[ENR_F_UTF32]);
  EXPECT_EQ(0, little_mark[ENR_F_UTF32 + 1]);
  EXPECT_EQ(100, little_mark[ENR_F_UTF32 + 2]);
  // A trailing partial group is ignored.
  Values little = run(Enr_utf32_feature(ENR_F_UTF32), std::string("A\0\0\0B\0\0\0xy", 10));
  EXPECT_EQ(0, little[ENR_F_UTF32 + 1]);
  EXPECT_EQ(100, little[ENR_F_UTF32 + 2]);
  // 0x111FFE is still accepted, 0x111FFF is not.
  EXPECT_EQ(100, run(Enr_utf32_feature(ENR_F_UTF32), std::string("\0\x11\x1F\xFE", 4))[ENR_F_UTF32 + 1]);
  EXPECT_EQ(0, run(Enr_utf32_feature(ENR_F_UTF32), std::string("\0\x11\x1F\xFF", 4))[ENR_F_UTF32 + 1]);
  // Eleven valid readings against one invalid.
  std::string mostly(44, '\0');
  mostly += std::string("\0\0\xD8\0", 4);
  EXPECT_EQ(80, run(Enr_utf32_feature(ENR_F_UTF32), mostly)[ENR_F_UTF32 + 1]);
}

TEST(EnrByteFeature, RelativeFrequenciesOfHighBytes) {
  Values values = run(Enr_byte_feature(ENR_F_BYTE), "\xA0\xA0\xFF" "A");
  EXPECT_EQ(32767, values[ENR_F_BYTE]);
  EXPECT_EQ(16383, values[ENR_F_BYTE + 95]);
  EXPECT_EQ(0, values[ENR_F_BYTE + 1]);
  EXPECT_EQ(UNTOUCHED, values[ENR_F_BYTE - 1]);
  EXPECT_EQ(UNTOUCHED, run(Enr_byte_feature(ENR_F_BYTE), "")[ENR_F_BYTE]);
}

// What each code page defines is read from the converters; a name they do
// not know would leave every byte undefined without a word.
TEST(EnrHighByteFeature, CountsTheBytesEachCodePageLeavesUndefined) {
  struct Page_case {
    const char* page;
    std::vector<unsigned char> undefined;  // of the bytes 0x80 and up
  };
  const Page_case cases[] = {
      {"windows-1252", {0x81, 0x8D, 0x8F, 0x90, 0x9D}},
      {"windows-1250", {0x81, 0x83, 0x88, 0x90, 0x98}},
      {"windows-1255", {0x81, 0x8A, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x9A, 0x9C, 0x9D, 0x9E, 0x9F, 0xCA, 0xD9, 0xDA,
                        0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xFB, 0xFC, 0xFF}},
      {"KOI8-U", {}},
      {"IBM866", {}},
  };
  for (const Page_case& c : cases) {
    SCOPED_TRACE(c.page);
    const unsigned page = enr_single_byte_page(c.page);
    ASSERT_LT(page, ENR_SINGLE_BYTE_PAGES);
    for (unsigned b = 0x80; b < 0x100; ++b) {
      const bool undefined = std::find(c.undefined.begin(), c.undefined.end(), b) != c.undefined.end();
      EXPECT_EQ(!undefined, enr_defined_bytes(page).defines(static_cast<unsigned char>(b))) << b;
    }
  }
  // Every ISO-8859 part leaves the C1 controls undefined.
  for (unsigned page = 0; page < ENR_SINGLE_BYTE_PAGES; ++page) {
    if (std::string(enr_single_byte_pages()[page]).rfind("ISO-8859", 0) != 0) continue;
    for (unsigned b = 0x80; b < 0xA0; ++b) EXPECT_FALSE(enr_defined_bytes(page).defines(static_cast<unsigned char>(b)));
  }

  // A right quote (0x92), a euro sign (0x80), an undefined 0x81 and an e acute.
  const Values values = run(Enr_high_byte_feature(), "l\x92\x80 \x81\xE9");
  EXPECT_EQ(3, values[ENR_F_C1_COUNT]);
  EXPECT_EQ(65535 / 6, values[ENR_F_C1_BYTE + 0x12]);
  EXPECT_EQ(0, values[ENR_F_C1_BYTE + 0x13]);
  EXPECT_EQ(3, values[ENR_F_UNDEFINED + enr_single_byte_page("ISO-8859-1")]);
  EXPECT_EQ(1, values[ENR_F_UNDEFINED + enr_single_byte_page("windows-1252")]);
  EXPECT_EQ(0, values[ENR_F_UNDEFINED + enr_single_byte_page("KOI8-R")]);
  EXPECT_EQ(UNTOUCHED, values[ENR_F_BYTE]);
}

namespace {

// Letters a..z as themselves, everything else printable as a space.
std::array<unsigned char, 256> letter_map() {
  std::array<unsigned char, 256> map{};
  for (unsigned b = 0x20; b < 0x7F; ++b) map[b] = ' ';
  for (unsigned b = 'a'; b <= 'z'; ++b) map[b] = static_cast<unsigned char>(b);
  return map;
}

constexpr std::int32_t key(char a, char b, char c) { return (a << 16) | (b << 8) | c; }

}  // namespace

TEST(EnrSbTrigramFeature, ShareOfKnownTrigrams) {
  const auto map = letter_map();
  const std::int32_t trigrams[] = {key(' ', 'a', 'b'), key('a', 'b', 'c'), key('x', 'y', 'z')};
  auto value = [&](const std::string& text) {
    return run(Enr_sb_trigram_feature(ENR_F_TRIGRAM, trigrams, 3, map.data()), text)[ENR_F_TRIGRAM];
  };
  // Six lookups, hits at the two "abc": 1/3 exceeds 0.33.
  EXPECT_EQ(98, value("abcabc"));
  // One hit in six lookups: 0.1666 * 300.
  EXPECT_EQ(50, value("abcdef"));
  // Spaces collapse: "a", " ", "b" are three lookups without a hit.
  EXPECT_EQ(0, value("a  b"));
  // Bytes mapped to 0 are skipped: "\x01" does not break "abc".
  EXPECT_EQ(98, value("a\x01" "bc"));
  EXPECT_EQ(0, value(""));
}

TEST(EnrSbTrigramFeature, Utf7ShapeInTheNextSlot) {
  const auto map = letter_map();
  const std::int32_t trigrams[] = {key('a', 'b', 'c')};
  Values shaped = run(Enr_sb_trigram_feature(ENR_F_TRIGRAM, trigrams, 1, map.data(), true), "Hi +AGEAYgBj- there");
  EXPECT_EQ(90, shaped[ENR_F_TRIGRAM + 1]);
  Values not_shaped = run(Enr_sb_trigram_feature(ENR_F_TRIGRAM, trigrams, 1, map.data(), true), "abc \xE9");
  EXPECT_EQ(0, not_shaped[ENR_F_TRIGRAM + 1]);
  EXPECT_EQ(65535, not_shaped[ENR_F_TRIGRAM]);  // 98 scaled by 1000, held at the limit
}

TEST(EnrSbTrigramFeature, GroupGivesEachLanguageItsOwnValue) {
  const auto map = letter_map();
  const std::int32_t first[] = {key(' ', 'a', 'b'), key('a', 'b', 'c'), key('x', 'y', 'z')};
  // Shares "abc" with the first, holds a key too wide to ever match, and
  // one that only a skipped second space would form.
  const std::int32_t second[] = {key('a', 'b', 'c'), key('b', 'c', 'd'), 0x1000000, key('b', ' ', ' ')};
  const std::vector<Enr_sb_trigram_group_feature::Model> models = {
      {ENR_F_TRIGRAM, first, 3}, {ENR_F_TRIGRAM + 1, second, 4}, {ENR_F_TRIGRAM + 2, nullptr, 0}};
  for (const std::string text : {"abcabc", "abcdef", "a  b", "a\x01" "bc", "", "xyz bcd  abcd\xE9z", "ab  cab  c"}) {
    const Values group = run(Enr_sb_trigram_group_feature(map.data(), models), text);
    EXPECT_EQ(run(Enr_sb_trigram_feature(ENR_F_TRIGRAM, first, 3, map.data()), text)[ENR_F_TRIGRAM],
              group[ENR_F_TRIGRAM]) << text;
    EXPECT_EQ(run(Enr_sb_trigram_feature(ENR_F_TRIGRAM, second, 4, map.data()), text)[ENR_F_TRIGRAM],
              group[ENR_F_TRIGRAM + 1]) << text;
    EXPECT_EQ(0, group[ENR_F_TRIGRAM + 2]) << text;
    EXPECT_EQ(UNTOUCHED, group[ENR_F_TRIGRAM + 3]) << text;
  }
  // Without a map every byte is skipped: no lookups, no share.
  EXPECT_EQ(0, run(Enr_sb_trigram_group_feature(nullptr, models), "abcabc")[ENR_F_TRIGRAM]);
}

TEST(EnrSbBigramFeature, ShareOfTypicalPairs) {
  std::array<unsigned char, 256> order{};
  order.fill(253);
  order['a'] = 0;
  order['b'] = 1;
  order['c'] = 100;  // a letter, but not a frequent one
  std::vector<unsigned char> matrix(64 * 64, 0);
  matrix[0 * 64 + 1] = 3;  // "ab" is typical
  const Enr_bigram_model forward{order.data(), matrix.data(), 1.0, false};
  const Enr_bigram_model reversed{order.data(), matrix.data(), 1.0, true};
  // Pairs ab, ba, ab: two typical of three; four frequent of four letters.
  EXPECT_EQ(66, run(Enr_sb_bigram_feature(ENR_F_BIGRAM, forward), "abab")[ENR_F_BIGRAM]);
  EXPECT_EQ(33, run(Enr_sb_bigram_feature(ENR_F_BIGRAM, reversed), "abab")[ENR_F_BIGRAM]);
  // "c" counts as a character but not as frequent: 2/3 * 4/6.
  EXPECT_EQ(44, run(Enr_sb_bigram_feature(ENR_F_BIGRAM, forward), "ababcc")[ENR_F_BIGRAM]);
  // Every pair typical is capped at 0.99.
  EXPECT_EQ(99, run(Enr_sb_bigram_feature(ENR_F_BIGRAM, forward), "ab")[ENR_F_BIGRAM]);
  // No pair at all: 0.01, which truncates to 0.
  EXPECT_EQ(0, run(Enr_sb_bigram_feature(ENR_F_BIGRAM, forward), "a b")[ENR_F_BIGRAM]);
}

TEST(EnrDistanalyser, OrdersOfTwoByteCharacters) {
  const Enr_distanalyser_big5 big5(nullptr);
  const Enr_distanalyser_euc_jp euc_jp(nullptr);
  const Enr_distanalyser_euc_kr euc_kr(nullptr);
  const Enr_distanalyser_gb18030 gb18030(nullptr);
  auto order = [](const Enr_distanalyser& analyser, unsigned char b0, unsigned char b1) {
    const unsigned char bytes[2] = {b0, b1};
    return analyser.get_order(bytes);
  };
  EXPECT_EQ(0, order(big5, 0xA4, 0x40));
  EXPECT_EQ(63, order(big5, 0xA4, 0xA1));
  EXPECT_EQ(157 + 64, order(big5, 0xA5, 0xA2));
  EXPECT_EQ(-1, order(big5, 0xA3, 0xA1));
  EXPECT_EQ(95, order(euc_jp, 0xA2, 0xA2));
  EXPECT_EQ(-1, order(euc_jp, 0x8E, 0xA2));
  EXPECT_EQ(0, order(euc_kr, 0xB0, 0xA1));
  EXPECT_EQ(-1, order(euc_kr, 0xAF, 0xA1));
  EXPECT_EQ(94, order(gb18030, 0xB1, 0xA1));
  EXPECT_EQ(-1, order(gb18030, 0xB1, 0x80));
}

TEST(EnrDistanalyser, ConfidenceFromFrequentCharacters) {
  std::vector<std::uint16_t> ranks(Enr_distanalyser_euc_kr::TABLE_SIZE, 600);
  ranks[0] = 5;
  Enr_distanalyser_euc_kr analyser(ranks.data());
  EXPECT_DOUBLE_EQ(static_cast<double>(0.01f), analyser.get_confidence());
  const unsigned char frequent[2] = {0xB0, 0xA1};
  const unsigned char rare[2] = {0xB0, 0xA2};
  analyser.handle_one_char(frequent, 2);
  EXPECT_DOUBLE_EQ(static_cast<double>(0.99f), analyser.get_confidence());
  analyser.handle_one_char(rare, 2);
  analyser.handle_one_char(frequent, 1);  // only two-byte characters count
  EXPECT_DOUBLE_EQ(1.0 / 6.0, analyser.get_confidence());
}

TEST(EnrMbFeature, AutomatonFeedsTheAnalyser) {
  std::vector<std::uint16_t> ranks(Enr_distanalyser_euc_kr::TABLE_SIZE, 600);
  ranks[0] = 5;
  auto value = [&](const std::string& text) {
    return run(Enr_mb_feature(ENR_F_EUC_KR_MOZ, enr_sm_model(ENR_SM_EUC_KR), new Enr_distanalyser_euc_kr(ranks.data())),
               text)[ENR_F_EUC_KR_MOZ];
  };
  EXPECT_EQ(99, value("a\xB0\xA1 \xB0\xA1"));
  EXPECT_EQ(16, value("\xB0\xA1\xB0\xA2"));
  // No two-byte character: 0.01, truncated to 0.
  EXPECT_EQ(0, value("ascii only"));
}

TEST(EnrStateMachine, MultiByteModelsFollowTheirEncodings) {
  auto final_state = [](Enr_sm_kind kind, const std::string& bytes) {
    Enr_state_machine machine(enr_sm_model(kind));
    Sm_state state = ENR_SM_START;
    for (unsigned char b : bytes) state = machine.next_state(b);
    return state;
  };
  EXPECT_EQ(ENR_SM_START, final_state(ENR_SM_BIG5, "\xA4\x40\xA4\xA1"));
  EXPECT_EQ(ENR_SM_ERROR, final_state(ENR_SM_BIG5, "\xA4\x7F"));
  EXPECT_EQ(ENR_SM_START, final_state(ENR_SM_EUC_JP, "\x8E\xB1\x8F\xA1\xA1\xA4\xA2"));
  EXPECT_EQ(ENR_SM_ERROR, final_state(ENR_SM_EUC_JP, "\x8E\xE0"));
  EXPECT_EQ(ENR_SM_ERROR, final_state(ENR_SM_EUC_KR, "\xB0\x41"));
  EXPECT_EQ(ENR_SM_START, final_state(ENR_SM_GB18030, "\x81\x30\x81\x30\xB0\xA1\x81\x40"));
  EXPECT_EQ(ENR_SM_ERROR, final_state(ENR_SM_GB18030, "\x81\x30\x41"));
  // The error state is absorbing.
  EXPECT_EQ(ENR_SM_ERROR, final_state(ENR_SM_GB18030, "\x80" "abc"));
  Enr_state_machine machine(enr_sm_model(ENR_SM_UTF8));
  machine.next_state(0xE2);
  EXPECT_EQ(3u, machine.get_current_charlen());
}

TEST(EnrMbIterator, SplitsCharactersAndFlagsInvalidOnes) {
  struct Step {
    std::uint32_t code;
    bool invalid;
  };
  auto walk = [](Enr_mb_iterator&& iterator) {
    std::vector<Step> steps;
    while (iterator.next_char()) steps.push_back({iterator.get_char(), iterator.is_invalid()});
    EXPECT_TRUE(iterator.is_ended());
    return steps;
  };
  const std::string sjis = "a\x82\xA0\xB1\x82\x20";
  auto s = walk(Enr_mb_iterator_sjis(reinterpret_cast<const unsigned char*>(sjis.data()), 6));
  ASSERT_EQ(4u, s.size());
  EXPECT_EQ(0x82A0u, s[1].code);
  EXPECT_EQ(0xB1u, s[2].code);
  EXPECT_TRUE(s[3].invalid);
  const std::string big5 = "\xA4\x7F\xFF\xA4\x40";
  auto b = walk(Enr_mb_iterator_big5(reinterpret_cast<const unsigned char*>(big5.data()), 5));
  ASSERT_EQ(3u, b.size());
  EXPECT_TRUE(b[0].invalid);
  EXPECT_EQ(0xFFu, b[1].code);
  EXPECT_FALSE(b[2].invalid);
  const std::string euc = "\x8F\xA1\xA1\xA1\x41\x90\x20";
  auto e = walk(Enr_mb_iterator_euc(reinterpret_cast<const unsigned char*>(euc.data()), 7));
  ASSERT_EQ(3u, e.size());
  EXPECT_EQ(0x8FA1A1u, e[0].code);
  EXPECT_TRUE(e[1].invalid);
  EXPECT_FALSE(e[2].invalid);  // lead bytes outside the checked ranges pass
  const std::string gb = "\x81\x30\x81\x30\x81\x30\x20\xB0\xA1";
  auto g = walk(Enr_mb_iterator_gb18030(reinterpret_cast<const unsigned char*>(gb.data()), 9));
  ASSERT_EQ(3u, g.size());
  EXPECT_EQ(0x81308130u, g[0].code);
  EXPECT_TRUE(g[1].invalid);
  EXPECT_EQ(0xB0A1u, g[2].code);
  // A character cut off by the end is dropped, not called invalid.
  const std::string cut = "\xB0";
  EXPECT_TRUE(walk(Enr_mb_iterator_gb18030(reinterpret_cast<const unsigned char*>(cut.data()), 1)).empty());
}

TEST(EnrMbFeatureCommon, ScoresCommonCharacters) {
  const std::uint32_t common[] = {0xB0A1};
  auto value = [&](const std::string& text, const std::uint32_t* table) {
    return run(Enr_mb_feature_common(ENR_F_EUC_KR, table, table ? 1 : 0, ENR_ITER_EUC), text)[ENR_F_EUC_KR];
  };
  EXPECT_EQ(10, value("", common));
  EXPECT_EQ(10, value(repeat("\xB0\xA2", 10), common));
  // 12 multi-byte, 1 common: 90 / log10(3) * log10(2) + 10.
  EXPECT_EQ(66, value("\xB0\xA1" + repeat("\xB0\xA2", 11), common));
  EXPECT_EQ(100, value(repeat("\xB0\xA1", 12), common));
  EXPECT_EQ(42, value(repeat("\xB0\xA2", 12), nullptr));
  // Two invalid characters against few multi-byte ones stop the scan.
  EXPECT_EQ(0, value("\xA1\x41\xA1\x41" + repeat("\xB0\xA1", 30), common));
  // 25 multi-byte against one invalid: below 20 per invalid gives 0.
  EXPECT_EQ(0, value("\xA1\x41" + repeat("\xB0\xA2", 15), common));
}

TEST(EnrMbFeatureCommon, FindsTwoAndFourByteCodes) {
  const std::uint32_t common[] = {0xB0A1, 0x81308130};
  auto value = [&](const std::string& text) {
    return run(Enr_mb_feature_common(ENR_F_GB18030, common, 2, ENR_ITER_GB18030), text)[ENR_F_GB18030];
  };
  // 12 multi-byte, 1 common: 90 / log10(3) * log10(2) + 10, from either kind of code.
  EXPECT_EQ(66, value("\x81\x30\x81\x30" + repeat("\xB0\xA2", 11)));
  EXPECT_EQ(66, value("\xB0\xA1" + repeat("\x81\x30\x81\x31", 11)));
  EXPECT_EQ(100, value(repeat("\x81\x30\x81\x30", 6) + repeat("\xB0\xA1", 6)));
  // Neighbours of the codes are not common: log10(1) leaves the floor.
  EXPECT_EQ(10, value(repeat("\x81\x30\x81\x31", 6) + repeat("\xB0\xA2", 6)));
}

TEST(EnrEscFeatureSm, CompleteEscapesAreProof) {
  auto value = [](Enr_sm_kind kind, const std::string& text) {
    return run(Enr_esc_feature_sm(ENR_F_HZ, enr_sm_model(kind)), text)[ENR_F_HZ];
  };
  EXPECT_EQ(100, value(ENR_SM_HZ, "hi ~{<:Ky2;~} there"));
  EXPECT_EQ(0, value(ENR_SM_HZ, "hi ~{~} there"));
  EXPECT_EQ(0, value(ENR_SM_HZ, "home is ~/ here ~{<:~}"));
  EXPECT_EQ(100, value(ENR_SM_ISO2022JP, "a\x1B$B$3\x1B(B"));
  EXPECT_EQ(100, value(ENR_SM_ISO2022JP, "\x1B$(D"));
  EXPECT_EQ(0, value(ENR_SM_ISO2022JP, "\xA4\x1B$B"));
  EXPECT_EQ(100, value(ENR_SM_ISO2022KR, "\x1B$)C\x0E!!\x0F"));
  EXPECT_EQ(0, value(ENR_SM_ISO2022KR, "\x1B$)D"));
}

TEST(EnrEscFeatureSeq, GoodAndBadEscapes) {
  std::uint32_t count = 0;
  const Enr_escape_sequence* jp = enr_iso2022_sequences(ENR_F_ISO_2022_JP_ICU, count);
  ASSERT_EQ(12u, count);
  auto value = [&](const std::string& text) {
    return run(Enr_esc_feature_seq(ENR_F_ISO_2022_JP_ICU, jp, count), text)[ENR_F_ISO_2022_JP_ICU];
  };
  EXPECT_EQ(0, value("\x1B"));
  // One good escape and no shifts: 100 + 10 * (1 - 5).
  EXPECT_EQ(60, value("\x1B$B"));
  // One good, one bad: 0 + 10 * (1 - 5) is negative.
  EXPECT_EQ(0, value("\x1B$B\x1Bx"));
  EXPECT_EQ(0, value("\x1B$B\x1B$x"));
  // An escape cut off by the end of the input counts neither way, however
  // much of a known sequence is there.
  EXPECT_EQ(60, value("\x1B$B\x1B"));
  EXPECT_EQ(60, value("\x1B$B\x1B$"));
  EXPECT_EQ(60, value("\x1B$B\x1B$("));
  EXPECT_EQ(0, value("\x1B$("));
  EXPECT_EQ(100, value(repeat("\x1B$Bxx\x1B(B", 3)));
  // Three good, one bad, and two shifts: (3 - 1) * 100 / 4 with 5 counted.
  EXPECT_EQ(50, value("\x1B$B\x1B(B\x1B$@\x1Bx\x0E\x0F"));
  std::uint32_t cn_count = 0;
  enr_iso2022_sequences(ENR_F_ISO_2022_CN_ICU, cn_count);
  EXPECT_EQ(11u, cn_count);
}

TEST(EnrSbBigramFeature, PairTableGivesTheValuesOfTheWalk) {
  std::array<unsigned char, 256> order{};
  order.fill(253);
  for (unsigned b = 'a'; b <= 'z'; ++b) order[b] = static_cast<unsigned char>(b - 'a');
  order[' '] = 254;
  order[0xE9] = 70;  // a letter, not a frequent one
  std::vector<unsigned char> matrix(64 * 64, 0);
  for (unsigned i = 0; i < 64 * 64; i += 7) matrix[i] = 3;
  const Enr_bigram_model forward{order.data(), matrix.data(), 0.9, false};
  const Enr_bigram_model reversed{order.data(), matrix.data(), 0.9, true};
  const Enr_bigram_model missing{nullptr, nullptr, 0.9, false};
  const std::vector<Enr_sb_bigram_group_feature::Model> models = {
      {ENR_F_BIGRAM, &forward}, {ENR_F_BIGRAM + 1, &reversed}, {ENR_F_BIGRAM + 2, &missing}};
  // Either side of the length where the pair table takes over.
  const std::string part = "the quick brown fox \xE9t\xE9 jumps, over lazy dogs. ";
  for (std::uint32_t length : {0u, 1u, 2u, 100u, Enr_sb_bigram_group_feature::PAIR_TABLE_FROM - 1,
                               Enr_sb_bigram_group_feature::PAIR_TABLE_FROM, 70001u}) {
    std::string text = repeat(part, static_cast<int>(length / part.size() + 1));
    text.resize(length);
    const Values group = run(Enr_sb_bigram_group_feature(models), text);
    EXPECT_EQ(run(Enr_sb_bigram_feature(ENR_F_BIGRAM, forward), text)[ENR_F_BIGRAM], group[ENR_F_BIGRAM]) << length;
    EXPECT_EQ(run(Enr_sb_bigram_feature(ENR_F_BIGRAM, reversed), text)[ENR_F_BIGRAM], group[ENR_F_BIGRAM + 1])
        << length;
    EXPECT_EQ(run(Enr_sb_bigram_feature(ENR_F_BIGRAM, missing), text)[ENR_F_BIGRAM], group[ENR_F_BIGRAM + 2])
        << length;
  }
}

// The shared walks must give every trained language exactly the value of a
// walk of its own, on texts of many kinds and lengths.
TEST(EnrFeatureSet, SharedWalksMatchOneGeneratorPerModel) {
  const Enr_model_set& models = enr_trained_models();
  std::vector<Enr_feature*> alone;
  for (unsigned i = 0; i < ENR_TRIGRAM_MODELS; ++i) {
    alone.push_back(new Enr_sb_trigram_feature(enr_trigram_slot(i),
                                               models.trigrams[i].trigrams, models.trigrams[i].count,
                                               models.trigrams[i].char_map));
  }
  for (unsigned i = 0; i < ENR_BIGRAM_MODELS; ++i) {
    alone.push_back(new Enr_sb_bigram_feature(static_cast<std::uint16_t>(ENR_F_BIGRAM + i), models.bigrams[i]));
  }
  std::vector<Enr_feature*> shared;
  enr_create_feature_generators(models, shared);
  const std::string parts[] = {
      "Die Stra\xDF" "en von M\xFCnchen sind sch\xF6n. ", "\xCF\xF0\xE8\xE2\xE5\xF2, \xEA\xE0\xEA \xE4\xE5\xEB\xE0? ",
      "\xE0\xE1\xE2 \xF9\xEC\xE5\xED ", "\xC1\xE8\xE2\xE1 \xE5\xDF\xED\xE1\xE9 ", "\xC7\xE1\xDA\xD1\xC8\xED\xC9 ",
      "\xE3\x81\x93\xE3\x82\x8C\xE6\x97\xA5 ", "\xF0\xD2\xC9\xD7\xC5\xD4 \xCD\xC9\xD2 ", "Za\xBF\xF3\xB3\xE6 g\xEA\x9C"};
  std::uint32_t seed = 7;
  for (std::uint32_t length : {0u, 3u, 500u, 20000u, 300000u}) {
    for (const std::string& part : parts) {
      std::string text;
      while (text.size() < length) {
        seed = seed * 1103515245u + 12345u;
        text += (seed >> 16) % 5 == 0 ? parts[(seed >> 20) % std::size(parts)] : part;
      }
      text.resize(length);
      const Enr_input_text input(text.data(), length);
      Values expected, actual;
      for (Enr_feature* generator : alone) generator->generate(input, expected.v.data());
      for (Enr_feature* generator : shared) generator->generate(input, actual.v.data());
      for (unsigned i = 0; i < ENR_TRIGRAM_MODELS; ++i) {
        EXPECT_EQ(expected[enr_trigram_slot(i)], actual[enr_trigram_slot(i)])
            << enr_feature_names()[enr_trigram_slot(i)] << " at " << length;
      }
      for (unsigned i = ENR_F_BIGRAM; i < ENR_F_BIG5_MOZ; ++i) {
        EXPECT_EQ(expected[i], actual[i]) << enr_feature_names()[i] << " at " << length;
      }
    }
  }
  for (Enr_feature* generator : alone) delete generator;
  for (Enr_feature* generator : shared) delete generator;
}

TEST(EnrFeatureSet, GeneratorsFillEverySlotOnce) {
  const std::vector<std::string>& names = enr_feature_names();
  ASSERT_EQ(static_cast<std::size_t>(ENR_FEATURE_COUNT), names.size());
  EXPECT_EQ("utf-8", names[0]);
  EXPECT_EQ("koi8-r-ru", names[30]);
  EXPECT_EQ("koi8-r-ru-moz", names[31]);
  EXPECT_EQ("gb18030", names[49]);
  EXPECT_EQ("iso-2022-cn-icu", names[55]);
  EXPECT_EQ("byte_feature_95", names[151]);
  EXPECT_EQ("windows-1250-cs", names[152]);
  EXPECT_EQ("koi8-u-uk", names[ENR_F_C1_COUNT - 1]);
  EXPECT_EQ("c1-bytes", names[ENR_F_C1_COUNT]);
  EXPECT_EQ("undefined-iso-8859-1", names[ENR_F_UNDEFINED]);
  EXPECT_EQ("c1_byte_feature_31", names.back());

  std::vector<Enr_feature*> generators;
  enr_create_feature_generators(enr_trained_models(), generators);
  // Languages sharing a character map share one trigram walk, and the pair
  // models share one count of the text.
  EXPECT_EQ(37u, generators.size());
  const std::string text = "Some text \xC3\xA9 with \xE9 bytes";
  const Enr_input_text input(text.data(), static_cast<std::uint32_t>(text.size()));
  Values values;
  for (Enr_feature* generator : generators) {
    generator->generate(input, values.v.data());
    delete generator;
  }
  for (unsigned i = 0; i < ENR_FEATURE_COUNT; ++i) EXPECT_NE(UNTOUCHED, values[i]) << names[i];
}
