// The bytes kestrel writes, checked against a file laid out in the test
// from the format's rules: the CRC of every expected token, the key hashes,
// the sorted indexes and the checksum. Every file is then read back with the
// data set reader, and every record found by its key values written as a
// user might search for them.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "data_set_test_file.h"
#include "krn/krn_crc.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_connector.h"
#include "tla/tla_data_set_entry.h"

namespace {

using cli_test::Folder;
using cli_test::Result;

// The form-0 CRC of a token: CRC-64 of its UTF-16 units, little-endian,
// from the initial value 42.
std::uint64_t token_crc(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return krn::Krn_crc64::calculate(bytes.data(), bytes.size(), 42);
}

std::vector<std::uint64_t> crcs(const std::vector<std::u16string>& tokens) {
  std::vector<std::uint64_t> result;
  for (const auto& token : tokens) result.push_back(token_crc(token));
  return result;
}

// One input record: the line as written, the tokens each field must store,
// and for each key a search text that is written differently but must find
// the record.
struct Record {
  std::string line;
  std::vector<std::vector<std::u16string>> tokens;
  std::vector<std::string> searches;
};

const std::vector<data_set_test::Field> FIELDS = {{"FirstName", "Simple"}, {"Surname", "SimpleNC"},
                                                  {"CardNum", "CCNUMBER"}};
const std::string SCHEMA = "FirstName,Simple;Surname,SimpleNC;CardNum,CCNUMBER";

// Byte order marks, CR LF and LF, a last line without its end, accents
// composed and decomposed, full-width forms, apostrophes and numbers.
std::vector<Record> records() {
  return {
      // A byte order mark starts the file; a decomposed e with diaeresis is
      // composed by the normalisation.
      {"\xEF\xBB\xBF" "Zoe\xCC\x88\tO'Neil\t4111 1111-1111 1111\r\n",
       {{u"Zo\u00EB"}, {u"o'neil"}, {u"4111111111111111"}},
       {"O'NEIL", "4111-1111-1111-1111"}},
      // Full-width letters and digits, an ideographic space in the card.
      {"\xEF\xBC\xAA\xEF\xBC\xAF\xEF\xBC\xA8\xEF\xBC\xAE\tSmith-Jones\t\xEF\xBC\x95\xEF\xBC\x95\xE3\x80\x80" "00 0000\n",
       {{u"JOHN"}, {u"smith", u"-", u"jones"}, {u"55000000"}},
       {"SMITH-JONES", "5500 0000"}},
      // Spaces around a value are trimmed, in the file and in a search;
      // inside, they end tokens.
      {"  Anne Marie  \t dogs'\t1990's\r\n",
       {{u"Anne", u"Marie"}, {u"dogs", u"'"}, {u"1990's"}},
       {"\xE3\x80\x80 Dogs'", " 1990's\xC2\xA0"}},
      // An empty field stores no tokens.
      {"\t3.14\tA-B\n", {{}, {u"3", u".", u"14"}, {u"AB"}}, {"3.14", "A B"}},
      // An exact repeat of the first record.
      {"\xEF\xBB\xBF" "Zoe\xCC\x88\tO'Neil\t4111 1111-1111 1111\n",
       {{u"Zo\u00EB"}, {u"o'neil"}, {u"4111111111111111"}},
       {"o'neil", "4111111111111111"}},
      // A byte order mark inside a value is dropped; no line end at the end.
      {"Ma\xEF\xBB\xBFry\tDupont\t\xC3\xA9t\xC3\xA9",
       {{u"Mary"}, {u"dupont"}, {u"\u00E9t\u00E9"}},
       {"DUPONT", "\xC3\xA9t\xC3\xA9"}},
  };
}

data_set_test::Plan expected_plan(const std::vector<Record>& input, const std::vector<std::string>& keys) {
  data_set_test::Plan plan;
  plan.fields = FIELDS;
  plan.keys = keys;
  for (const Record& record : input) {
    std::vector<std::vector<std::uint64_t>> fields;
    for (const auto& tokens : record.tokens) fields.push_back(crcs(tokens));
    plan.records.push_back(fields);
  }
  return plan;
}

// The first offset at which two files differ, for a readable failure.
std::string first_difference(const std::string& actual, const std::string& expected) {
  std::size_t i = 0;
  while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
  return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
         ", first difference at offset " + std::to_string(i);
}

std::unique_ptr<tla::Tla_data_set_connector_file> open_data_set(const Folder& folder, const std::string& name) {
  auto connector = std::make_unique<tla::Tla_data_set_connector_file>();
  krn::Krn_status status;
  krn::Wstring wide;
  krn::krn_utf8_to_utf16((folder / name).string(), wide);
  connector->set_property("DataFileName", wide, status);
  connector->open(status);
  EXPECT_TRUE(status.ok());
  connector->load(status, false);
  EXPECT_TRUE(status.ok());
  return connector;
}

std::vector<std::int64_t> find_offsets(tla::Tla_data_set_connector_file& connector, const std::string& key,
                                       const std::string& text) {
  tla::Tla_search_value value;
  krn::krn_utf8_to_utf16(text, value.text);
  krn::Wstring key_name;
  krn::krn_utf8_to_utf16(key, key_name);
  tla::Tla_entry_list found;
  krn::Krn_status status;
  connector.find(value, key_name, found, status);
  EXPECT_TRUE(status.ok()) << key << " " << text;
  std::vector<std::int64_t> offsets;
  for (const auto& entry : found) {
    const auto* record = dynamic_cast<const tla::Tla_data_set_entry_file*>(entry.get());
    if (record != nullptr) offsets.push_back(record->record_offset());
  }
  return offsets;
}

std::string input_file(const std::vector<Record>& input) {
  std::string text;
  for (const Record& record : input) text += record.line;
  return text;
}

TEST(BuildFile, EveryByteFollowsTheFormatAndEveryRecordIsFoundAgain) {
  Folder folder;
  const std::vector<Record> input = records();
  folder.write("in.tsv", input_file(input));
  Result result = folder.kestrel({"-k", "Surname", "-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o", "out.kds"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  // The repeated record is reported once for each key index.
  EXPECT_EQ(result.err.rfind("Warnings:", 0), 0u);

  const data_set_test::Built expected = data_set_test::build(expected_plan(input, {"Surname", "CardNum"}));
  const std::string actual = folder.read("out.kds");
  ASSERT_EQ(actual, expected.bytes) << first_difference(actual, expected.bytes);

  auto connector = open_data_set(folder, "out.kds");
  EXPECT_EQ(connector->record_count(), input.size());
  for (std::size_t r = 0; r < input.size(); ++r) {
    const std::string keys[] = {"Surname", "CardNum"};
    for (std::size_t k = 0; k < 2; ++k) {
      const auto offsets = find_offsets(*connector, keys[k], input[r].searches[k]);
      EXPECT_NE(std::find(offsets.begin(), offsets.end(), static_cast<std::int64_t>(expected.record_offsets[r])),
                offsets.end())
          << "record " << r << " by " << keys[k] << " \"" << input[r].searches[k] << "\"";
    }
  }
  // The repeated record and its original are both found.
  EXPECT_EQ(find_offsets(*connector, "CardNum", "4111 1111 1111 1111").size(), 2u);
  EXPECT_TRUE(find_offsets(*connector, "CardNum", "4111 1111 1111 1112").empty());
}

TEST(BuildFile, AKeyGivenTwiceGivesTwoIdenticalIndexes) {
  Folder folder;
  const std::vector<Record> input = records();
  folder.write("in.tsv", input_file(input));
  Result result = folder.kestrel({"-k", "CardNum", "-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o", "out.kds"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const data_set_test::Built expected = data_set_test::build(expected_plan(input, {"CardNum", "CardNum"}));
  const std::string actual = folder.read("out.kds");
  EXPECT_EQ(actual, expected.bytes) << first_difference(actual, expected.bytes);
}

// Field names with spaces and of every length, so that the descriptors end
// at every offset modulo 8, and key names whose terminator does and does
// not end on a multiple of 8.
TEST(BuildFile, PaddingAfterDescriptorsAndKeyNames) {
  Folder folder;
  folder.write("in.tsv", "a\tb\n");
  for (const std::string first : {"F", "Fi", "Fie", "Fiel", "Field", "Field ", " Field7", "Field 89"}) {
    const std::string schema = first + ",Simple;Second,SimpleNC";
    Result result = folder.kestrel({"-k", first, "-k", "Second", "-s", schema, "-i", "in.tsv", "-o", "out.kds"});
    ASSERT_EQ(result.exit_code, 0) << first << ": " << result.err;
    data_set_test::Plan plan;
    plan.fields = {{first, "Simple"}, {"Second", "SimpleNC"}};
    plan.keys = {first, "Second"};
    plan.records = {{crcs({u"a"}), crcs({u"b"})}};
    const data_set_test::Built expected = data_set_test::build(plan);
    const std::string actual = folder.read("out.kds");
    EXPECT_EQ(actual, expected.bytes) << first << ": " << first_difference(actual, expected.bytes);
    std::filesystem::remove(folder / "out.kds");
  }
}

// Many records whose key hashes collide in runs (one surname for many
// records), across more than one block of the reader's index.
TEST(BuildFile, LargeIndexesSortAndFindAcrossBlocks) {
  Folder folder;
  std::string text;
  data_set_test::Plan plan;
  plan.fields = FIELDS;
  plan.keys = {"Surname", "CardNum"};
  const std::u16string surnames[] = {u"smith", u"jones", u"brown"};
  const int count = 9000;
  for (int i = 0; i < count; ++i) {
    const std::string number = std::to_string(1000000 + i * 37);
    text += "N" + std::to_string(i) + "\t" + (i % 3 == 0 ? "Smith" : i % 3 == 1 ? "JONES" : "brown") + "\t" +
            number.substr(0, 3) + " " + number.substr(3) + "\n";
    std::u16string n16;
    std::u16string card;
    for (char c : "N" + std::to_string(i)) n16.push_back(static_cast<char16_t>(c));
    for (char c : number) card.push_back(static_cast<char16_t>(c));
    plan.records.push_back({crcs({n16}), crcs({surnames[i % 3]}), crcs({card})});
  }
  folder.write("in.tsv", text);
  Result result = folder.kestrel({"-k", "Surname", "-k", "CardNum", "-s", SCHEMA, "-i", "in.tsv", "-o", "out.kds"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const data_set_test::Built expected = data_set_test::build(plan);
  const std::string actual = folder.read("out.kds");
  ASSERT_EQ(actual, expected.bytes) << first_difference(actual, expected.bytes);

  auto connector = open_data_set(folder, "out.kds");
  EXPECT_EQ(find_offsets(*connector, "Surname", "SMITH").size(), static_cast<std::size_t>(count / 3));
  for (int i = 0; i < count; i += 101) {
    const auto offsets = find_offsets(*connector, "CardNum", std::to_string(1000000 + i * 37));
    ASSERT_EQ(offsets.size(), 1u) << i;
    EXPECT_EQ(offsets[0], static_cast<std::int64_t>(expected.record_offsets[i]));
  }
}

}  // namespace
