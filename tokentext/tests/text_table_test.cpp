#include "tkn/tkn_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using krn::Wstring;
using namespace tkn;

Wstring str(const Tkn_string_entry* e) { return Wstring(e->second.text, e->second.size); }

TEST(TknTextTable, InterningReturnsTheSameTextAndForms) {
  Tkn_text_table table;
  const Tkn_text* hello = table.insert_text(TKN_TOKEN_WORD, u"Hello");
  EXPECT_EQ(table.insert_text(TKN_TOKEN_WORD, u"Hello"), hello);
  EXPECT_EQ(table.size(), 1u);

  // Nothing to normalise: forms 0 and 1 are one entry; form 2 is lower case.
  EXPECT_EQ(hello->crc_text(TKN_FORM_SOURCE), hello->crc_text(TKN_FORM_NORMALISED));
  EXPECT_EQ(hello->crc_text(TKN_FORM_SAFE), hello->crc_text(TKN_FORM_NORMALISED));
  EXPECT_EQ(str(hello->crc_text(TKN_FORM_LOWER)), u"hello");
  EXPECT_EQ(hello->crc(TKN_FORM_LOWER), tkn_string_key(u"hello"));
  EXPECT_EQ(hello->crc(TKN_FORM_SOURCE), tkn_string_key(u"Hello"));
  EXPECT_EQ(hello->length(TKN_FORM_SOURCE), 5u);
  // Out-of-range forms read the source.
  EXPECT_EQ(hello->crc_text(17), hello->key());

  const Tkn_text* plain = table.insert_text(TKN_TOKEN_WORD, u"hello");
  EXPECT_NE(plain, hello);
  EXPECT_EQ(plain->crc_text(TKN_FORM_SOURCE), plain->crc_text(TKN_FORM_LOWER));
  EXPECT_EQ(plain->crc_text(TKN_FORM_SOURCE), hello->crc_text(TKN_FORM_LOWER));
  EXPECT_TRUE(plain->match(TKN_FORM_NORMALISED, plain->key()));
}

TEST(TknTextTable, FullWidthLettersShareTheAsciiNormalisedKey) {
  Tkn_text_table table;
  const Tkn_text* wide = table.insert_text(TKN_TOKEN_WORD, u"\uFF21\uFF22\uFF23");
  EXPECT_EQ(str(wide->crc_text(TKN_FORM_SOURCE)), u"\uFF21\uFF22\uFF23");
  EXPECT_EQ(wide->crc(TKN_FORM_NORMALISED), tkn_string_key(u"ABC"));
  EXPECT_EQ(wide->crc(TKN_FORM_LOWER), tkn_string_key(u"abc"));
  // The ASCII spelling interns to the very same entry.
  const Tkn_text* ascii = table.insert_text(TKN_TOKEN_WORD, u"ABC");
  EXPECT_EQ(ascii->crc_text(TKN_FORM_SOURCE), wide->crc_text(TKN_FORM_NORMALISED));

  // Numbers keep no lower-case form of their own.
  const Tkn_text* two = table.insert_text(TKN_TOKEN_NUMBER, u"\uFF12");
  EXPECT_EQ(str(two->crc_text(TKN_FORM_NORMALISED)), u"2");
  EXPECT_EQ(two->crc_text(TKN_FORM_LOWER), two->crc_text(TKN_FORM_NORMALISED));
}

TEST(TknTextTable, TheFirstInsertionDecidesTheForms) {
  Tkn_text_table table;
  const Tkn_text* as_number = table.insert_text(TKN_TOKEN_NUMBER, u"IV");
  const Tkn_text* as_word = table.insert_text(TKN_TOKEN_WORD, u"IV");
  EXPECT_EQ(as_word, as_number);
  EXPECT_EQ(as_word->crc_text(TKN_FORM_LOWER), as_word->crc_text(TKN_FORM_NORMALISED));

  const Tkn_text* word = table.insert_text(TKN_TOKEN_WORD, u"Ok");
  const Tkn_text* symbol = table.insert_text(TKN_TOKEN_SYMBOL, u"Ok");
  EXPECT_EQ(symbol, word);
  EXPECT_EQ(str(symbol->crc_text(TKN_FORM_LOWER)), u"ok");

  // Whitespace keeps its case too.
  const Tkn_text* space = table.insert_whitespace(u"\u00A0X");
  EXPECT_EQ(space->crc_text(TKN_FORM_LOWER), space->crc_text(TKN_FORM_NORMALISED));
  EXPECT_EQ(str(space->crc_text(TKN_FORM_NORMALISED)), u" X");
}

TEST(TknTextTable, EmptyAndWhitespaceTextsAreTheSharedEmptyText) {
  EXPECT_EQ(Tkn_text::EMPTY_STRING.first, 0xFFFFFFFFFFFFFFD5ull);
  EXPECT_EQ(tkn_string_key(Wstring()), 0xFFFFFFFFFFFFFFD5ull);
  EXPECT_EQ(Tkn_text::EMPTY.crc(TKN_FORM_LOWER), 0xFFFFFFFFFFFFFFD5ull);

  Tkn_text_table table;
  EXPECT_EQ(table.insert_text(TKN_TOKEN_WHITESPACE, u"   "), &Tkn_text::EMPTY);
  EXPECT_EQ(table.insert_text(TKN_TOKEN_WORD, Wstring()), &Tkn_text::EMPTY);
  EXPECT_EQ(table.insert_text(TKN_TOKEN_PUNCTUATION, Wstring()), &Tkn_text::EMPTY);
  EXPECT_EQ(table.insert_whitespace(Wstring()), &Tkn_text::EMPTY);
  EXPECT_EQ(table.lookup_text(123, Wstring()), &Tkn_text::EMPTY_STRING);
  EXPECT_EQ(table.size(), 0u);
  EXPECT_EQ(table.empty_text(), &Tkn_text::EMPTY);
}

TEST(TknTextTable, RefusesUnknownTokenTypes) {
  Tkn_text_table table;
  for (unsigned type : {0u, 0x01000013u, 0x01000010u, 0x02000002u}) {
    try {
      table.insert_text(type, u"x");
      ADD_FAILURE() << std::hex << type;
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), "Tkn_text_table::insert_text - invalid token type");
    }
  }
  EXPECT_EQ(table.size(), 0u);
}

TEST(TknStringTable, KeepsDifferentStringsUnderOneKey) {
  Tkn_string_table table;
  EXPECT_EQ(table.bucket_count(), 1031u);
  const Tkn_string_entry* a = table.insert(7, u"alpha");
  const Tkn_string_entry* b = table.insert(7, u"beta");
  EXPECT_NE(a, b);
  EXPECT_EQ(table.insert(7, u"beta"), b);
  EXPECT_EQ(table.size(), 2u);
  EXPECT_EQ(table.find(7, u"alpha"), a);
  EXPECT_EQ(table.find(7, u"beta"), b);
  EXPECT_EQ(table.find(7, u"gamma"), nullptr);
  EXPECT_EQ(table.find(8), nullptr);
  const Tkn_string_entry* any = table.find(7);
  EXPECT_TRUE(any == a || any == b);
  auto range = table.find_all(7);
  EXPECT_EQ(std::distance(range.first, range.second), 2);
  // The prefix of a stored string is a different string.
  EXPECT_EQ(table.find(7, u"alph"), nullptr);
}

TEST(TknStringTable, StoresStringsAcrossBlocksAndBeyondABlock) {
  Tkn_string_table table;
  std::vector<Wstring> texts;
  std::vector<const Tkn_string_entry*> entries;
  // About three storage blocks of 65536 units, and one string longer than a
  // block in between.
  for (int i = 0; i < 1500; ++i) {
    Wstring text(127 + i % 5, static_cast<char16_t>(u'a' + i % 26));
    text += std::u16string(u"#") + static_cast<char16_t>(u'0' + i % 10) + static_cast<char16_t>(0x4E00 + i);
    if (i == 700) text = Wstring(70000, u'z');
    texts.push_back(text);
    entries.push_back(table.insert(tkn_string_key(text), text));
  }
  for (std::size_t i = 0; i < texts.size(); ++i) {
    ASSERT_EQ(str(entries[i]), texts[i]) << i;
    ASSERT_EQ(entries[i]->second.text[texts[i].size()], 0) << i;
    ASSERT_EQ(table.find(tkn_string_key(texts[i]), texts[i]), entries[i]) << i;
  }
  EXPECT_EQ(table.size(), texts.size());
  EXPECT_GE(table.bucket_count(), table.size());
}

TEST(TknStringTable, LengthStopsAtTheFirstNul) {
  Tkn_string_table table;
  const Wstring text(u"ab\0cd", 5);
  const Tkn_string_entry* e = table.insert(tkn_string_key(text), text);
  EXPECT_EQ(e->second.size, 5u);
  EXPECT_EQ(e->second.length, 2u);
  EXPECT_EQ(str(e), text);
}

TEST(TknStringTable, CopiesOwnTheirStrings) {
  auto original = std::make_unique<Tkn_string_table>();
  original->insert(1, u"one");
  original->insert(1, u"uno");
  original->insert(2, u"two");

  Tkn_string_table copy(*original);
  Tkn_string_table assigned;
  assigned.insert(9, u"nine");
  assigned = *original;
  original.reset();

  for (const Tkn_string_table* t : {&copy, &assigned}) {
    EXPECT_EQ(t->size(), 3u);
    ASSERT_NE(t->find(1, u"uno"), nullptr);
    EXPECT_EQ(str(t->find(1, u"uno")), u"uno");
    EXPECT_EQ(str(t->find(2)), u"two");
    EXPECT_EQ(t->find(9), nullptr);
  }
  // An assigned table goes on growing from its new storage.
  const Tkn_string_entry* more = assigned.insert(3, u"three");
  EXPECT_EQ(str(assigned.find(3)), u"three");
  EXPECT_EQ(assigned.find(3), more);
}

TEST(TknTextTable, CreateStringAndLookups) {
  Tkn_text_table table;
  const Tkn_string_entry* safe = table.create_string(u"***");
  EXPECT_EQ(safe->first, tkn_string_key(u"***"));
  EXPECT_EQ(table.lookup_text(safe->first), safe);
  EXPECT_EQ(table.lookup_text(safe->first, u"***"), safe);
  EXPECT_EQ(table.lookup_text(safe->first, u"**"), nullptr);
  // A string is not a text until a token interns it.
  EXPECT_EQ(table.size(), 0u);
  EXPECT_EQ(table.insert_text(TKN_TOKEN_PUNCTUATION, u"***")->key(), safe);
}

TEST(TknArena, LargeRequestsLeaveTheCurrentChunkInUse) {
  Tkn_arena arena;
  // A large first request must not become the chunk that small ones carve.
  auto* first_big = static_cast<unsigned char*>(arena.allocate(Tkn_arena::CHUNK_SIZE, 16));
  std::memset(first_big, 1, Tkn_arena::CHUNK_SIZE);
  auto* a = static_cast<unsigned char*>(arena.allocate(64, 16));
  auto* big = static_cast<unsigned char*>(arena.allocate(2 * Tkn_arena::CHUNK_SIZE, 64));
  auto* b = static_cast<unsigned char*>(arena.allocate(64, 16));
  EXPECT_EQ(b, a + 64);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(big) % 64, 0u);
  std::memset(big, 2, 2 * Tkn_arena::CHUNK_SIZE);
  std::memset(a, 3, 128);
  EXPECT_EQ(first_big[Tkn_arena::CHUNK_SIZE - 1], 1);
  EXPECT_EQ(big[0], 2);
}

}  // namespace
