// The matcher as a library: a long text with records planted at random
// places, written in random ways, is matched the same whole, in pieces of
// any size (across the segments the session cuts it into), and on several
// threads at once.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "cli_test_support.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_connector.h"
#include "tla/tla_matcher.h"

namespace {

using cli_test::Folder;

struct Record {
  std::string first, surname, card;
  std::uint64_t offset = 0;
};

using Place = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>;  // line, column, record

void open_reader(tla::Tla_data_set_connector_file& reader, const krn::Wstring& name) {
  krn::Krn_status status;
  reader.set_property("DataFileName", name, status);
  reader.open(status);
  reader.load(status, false);
  ASSERT_TRUE(status.ok());
}

// Upper case, lower case or as written, for the ASCII letters.
std::string recased(const std::string& text, int how) {
  std::string out = text;
  for (char& c : out) {
    if (how == 1 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (how == 2 && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

// The digits regrouped: in fours with spaces or hyphens, or unbroken.
std::string regrouped(const std::string& card, int how) {
  std::string digits;
  for (char c : card) {
    if (c >= '0' && c <= '9') digits += c;
  }
  if (how == 0) return digits;
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && i % 4 == 0) out += how == 1 ? " " : " - ";
    out += digits[i];
  }
  return out;
}

std::size_t characters(const std::string& utf8) {
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

class MatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto built = m_folder.kestrel({"-k", "Surname", "-k", "CardNum", "-s", cli_test::SCHEMA, "-i",
                                         KESTREL_SOURCE_DIR "/examples/customers.tsv", "-o", "c.kds"});
    ASSERT_EQ(built.exit_code, 0) << built.err;
    krn::krn_utf8_to_utf16((m_folder / "c.kds").string(), m_name);
    tla::Tla_data_set_connector_file reader;
    open_reader(reader, m_name);
    krn::Krn_status status;
    std::istringstream lines(cli_test::read_file(KESTREL_SOURCE_DIR "/examples/customers.tsv"));
    for (std::string line; std::getline(lines, line);) {
      Record record;
      std::istringstream fields(line);
      std::getline(fields, record.first, '\t');
      std::getline(fields, record.surname, '\t');
      std::getline(fields, record.card, '\t');
      // Records that repeat another one are found with it.
      tla::Tla_search_value value;
      krn::krn_utf8_to_utf16(record.card, value.text);
      tla::Tla_entry_list found;
      reader.find(value, u"CardNum", found, status);
      for (const auto& entry : found) {
        record.offset = static_cast<std::uint64_t>(static_cast<const tla::Tla_data_set_entry_file&>(*entry).record_offset());
        if (std::none_of(m_records.begin(), m_records.end(), [&](const Record& r) { return r.offset == record.offset; })) {
          m_records.push_back(record);
        }
      }
    }
  }

  // About `bytes` of filler, with a record planted on every line that the
  // random draw picks; the places every plant must be found at.
  std::string text(std::size_t bytes, unsigned seed, std::vector<Place>& places) const {
    std::mt19937 random(seed);
    static const char* const FILLER[] = {"lorem", "ipsum", "dolor", "sit", "amet,", "card", "order", "the", "of",
                                         "1234", "-", "paid", "name:", "2024-05-01"};
    std::string out;
    for (std::uint64_t line = 1; out.size() < bytes; ++line) {
      std::string text;
      const int before = static_cast<int>(random() % 8);
      for (int i = 0; i < before; ++i) text += std::string(FILLER[random() % std::size(FILLER)]) + " ";
      if (random() % 5 == 0) {
        const Record& record = m_records[random() % m_records.size()];
        text += record.first + (random() % 2 ? "   " : " ");
        const std::size_t column = characters(text) + 1;
        text += recased(record.surname, static_cast<int>(random() % 3)) + ", card " +
                regrouped(record.card, static_cast<int>(random() % 3));
        for (const Record& same : m_records) {
          if (same.first == record.first && same.surname == record.surname && same.card == record.card) {
            places.emplace_back(line, column, same.offset);
          }
        }
      }
      // Far enough from the next line's plant to keep the records apart.
      for (int i = 0; i < 60; ++i) text += std::string(" ") + FILLER[random() % std::size(FILLER)];
      out += text + "\n";
    }
    return out;
  }

  static std::vector<Place> places_of(const std::vector<tla::Tla_match>& matches) {
    std::vector<Place> places;
    for (const auto& match : matches) places.emplace_back(match.line, match.column, match.record_offset);
    std::sort(places.begin(), places.end());
    return places;
  }

  Folder m_folder;
  krn::Wstring m_name;
  std::vector<Record> m_records;
};

TEST_F(MatcherTest, PlantedRecordsAreFoundOnceWholeAndInPiecesOfAnySize) {
  tla::Tla_matcher matcher;
  krn::Krn_status status;
  matcher.open(m_name, {}, status);
  ASSERT_TRUE(status.ok());
  std::vector<Place> planted;
  // Three megabytes: several segments.
  const std::string whole = text(3 << 20, 7, planted);
  std::sort(planted.begin(), planted.end());
  ASSERT_GT(planted.size(), 1000u);

  std::vector<tla::Tla_match> matches;
  matcher.match(whole, matches, status);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(places_of(matches), planted);

  std::mt19937 random(11);
  for (std::size_t most : {std::size_t{1}, std::size_t{7}, std::size_t{100000}}) {
    tla::Tla_match_session session(matcher);
    std::vector<tla::Tla_match> pieces;
    for (std::size_t at = 0; at < whole.size() && status.ok();) {
      const std::size_t size = std::min(whole.size() - at, 1 + random() % most);
      session.feed(whole.data() + at, size, pieces, status);
      at += size;
    }
    session.finish(pieces, status);
    ASSERT_TRUE(status.ok());
    EXPECT_EQ(places_of(pieces), planted) << "pieces of at most " << most;
    // The byte offsets point where the key starts.
    for (const auto& match : pieces) EXPECT_LT(match.byte_offset, whole.size());
  }
}

TEST_F(MatcherTest, BadUtf8IsReadAsReplacementCharacters) {
  tla::Tla_matcher matcher;
  krn::Krn_status status;
  matcher.open(m_name, {}, status);
  ASSERT_TRUE(status.ok());
  std::vector<tla::Tla_match> matches;
  // A lone continuation byte, a cut-off sequence and an overlong form: each
  // byte that is not part of a well-formed sequence is one character.
  matcher.match("\x80\xE2\x82 \xC0\xAF Luca Rossi 4493 4072 2470 4558", matches, status);
  ASSERT_TRUE(status.ok());
  ASSERT_EQ(matches.size(), 1u);
  EXPECT_EQ(matches[0].column, 13u);
}

// Sixty Smiths: a surname too common to read all its records at each
// place. A record is still found by its card next to it, or, where two
// fields are enough, by its first name.
TEST(MatcherCommonKey, RecordsOfACommonKeyValueAreFoundByWhatIsNearIt) {
  Folder folder;
  const char* const FIRST[] = {"Anne", "Bob", "Carl"};
  std::string records;
  std::vector<std::string> cards;
  for (int i = 0; i < 60; ++i) {
    cards.push_back("4000 0000 0000 " + std::to_string(1000 + i));
    records += std::string(FIRST[i % 3]) + "\tSmith\t" + cards.back() + "\n";
  }
  folder.write("smiths.tsv", records);
  ASSERT_EQ(folder.kestrel({"-k", "Surname", "-k", "CardNum", "-s", cli_test::SCHEMA, "-i", "smiths.tsv", "-o",
                            "s.kds"}).exit_code, 0);
  krn::Wstring name;
  krn::krn_utf8_to_utf16((folder / "s.kds").string(), name);
  tla::Tla_data_set_connector_file reader;
  open_reader(reader, name);
  const std::uint64_t data_start = reader.data_start();
  struct Case {
    std::string text;
    unsigned fields;
    std::size_t matches;  // all at the surname
    std::string first;    // the first name of every record matched
  };
  const std::vector<Case> cases = {
      {"Bob SMITH, card " + cards[7], 0, 1, "Bob"},
      {"Mr. Smith called.", 0, 0, ""},
      {"Ann smith, card " + cards[7], 0, 0, ""},  // Bob's card
      {"Carl Smith called.", 2, 20, "Carl"},
      {"Carl Smith called.", 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    tla::Tla_matcher matcher;
    krn::Krn_status status;
    tla::Tla_match_options options;
    options.fields = c.fields;
    matcher.open(name, options, status);
    ASSERT_TRUE(status.ok());
    std::vector<tla::Tla_match> matches;
    matcher.match(c.text, matches, status);
    ASSERT_TRUE(status.ok());
    ASSERT_EQ(matches.size(), c.matches);
    for (const auto& match : matches) {
      EXPECT_EQ(match.column, c.first.size() + 2);
      // The records are stored in input order, each of three one-token
      // fields: the offset tells which record it is.
      const std::uint64_t record = (match.record_offset - data_start) / 31;
      EXPECT_EQ(FIRST[record % 3], c.first);
      if (c.text.find(cards[7]) != std::string::npos) {
        EXPECT_EQ(record, 7u);
      }
    }
  }
}

TEST(Threads, OneMatcherServesSessionsOnSeveralThreads) {
  Folder folder;
  ASSERT_EQ(folder.kestrel({"-k", "Surname", "-k", "CardNum", "-s", cli_test::SCHEMA, "-i",
                            KESTREL_SOURCE_DIR "/examples/customers.tsv", "-o", "c.kds"})
                .exit_code,
            0);
  krn::Wstring name;
  krn::krn_utf8_to_utf16((folder / "c.kds").string(), name);
  tla::Tla_matcher matcher;
  krn::Krn_status status;
  matcher.open(name, {}, status);
  ASSERT_TRUE(status.ok());
  std::string text;
  for (int i = 0; i < 500; ++i) text += "Mr Luca ROSSI paid with 4493-4072-2470-4558 and Mei Chen with 3372 651676 12220.\n";
  std::vector<std::vector<tla::Tla_match>> found(4);
  std::vector<std::thread> threads;
  for (auto& matches : found) {
    threads.emplace_back([&matcher, &text, &matches] {
      krn::Krn_status mine;
      matcher.match(text, matches, mine);
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& matches : found) {
    ASSERT_EQ(matches.size(), 1000u);
    for (std::size_t i = 0; i < matches.size(); ++i) {
      EXPECT_EQ(matches[i].line, i / 2 + 1);
      EXPECT_EQ(matches[i].record_offset, found[0][i].record_offset);
    }
  }
}

}  // namespace
