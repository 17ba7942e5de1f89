// The shared layout code against an independent spelling of the layout
// (data_set_test_file.h): what the writer will produce must be what the
// reader accepts.

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "data_set_test_file.h"
#include "krn/krn_crc.h"
#include "tla/tla_data_set_format.h"
#include "tla/tla_formatter.h"

namespace {

using namespace tla;
namespace dt = data_set_test;

const unsigned char* bytes_of(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// A literal with its zero bytes, without the terminator.
template <std::size_t N>
std::string raw(const char (&text)[N]) {
  return std::string(text, N - 1);
}

TEST(TlaDataSetFormat, EncodersProduceTheFileTheTestWriterSpellsOut) {
  dt::Plan plan;
  plan.fields = {{"Surname", "SimpleNC"}, {"Card", "CCNUMBER"}, {"Other", ""}};
  plan.keys = {"Card", "Surname"};
  plan.records = {{{1, 2}, {0x1122334455667788ull}, {}}, {{3}, {}, {9, 9, 9}}};
  const dt::Built expected = dt::build(plan);

  Tla_schema schema = {{u"Surname", TLA_SIMPLENC_FORMATTER_ID},
                       {u"Card", TLA_CCNUM_FORMATTER_ID},
                       {u"Other", TLA_NO_FORMATTER_ID}};
  std::string file;
  tla_append_header(file, Tla_data_set_header{});
  tla_append_field_descriptors(file, schema);
  file.append(tla_align_to_eight(file.size()) - file.size(), '\0');
  ASSERT_EQ(file.size(), expected.data_start);
  std::vector<std::uint64_t> offsets;
  for (const auto& record : plan.records) {
    offsets.push_back(file.size());
    for (const auto& crcs : record) tla_append_field_tokens(file, crcs);
    file.push_back(static_cast<char>(TLA_RECORD_TERMINATOR));
  }
  const std::uint64_t index_offset = file.size();
  for (const std::u16string key : {u"Card", u"Surname"}) {
    tla_append_key_index_head(file, key, file.size());
    const std::size_t field = key == u"Card" ? 1 : 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> entries;
    for (std::size_t r = 0; r < plan.records.size(); ++r) entries.emplace_back(tla_key_hash(plan.records[r][field]), offsets[r]);
    std::stable_sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.first < b.first; });
    for (auto [hash, offset] : entries) tla_append_index_entry(file, hash, offset);
  }
  Tla_data_set_header header;
  header.index_offset = index_offset;
  header.key_count = 2;
  header.record_count = 2;
  std::string head;
  tla_append_header(head, header);
  file.replace(0, head.size(), head);
  const std::uint64_t checksum = tla_data_set_checksum(bytes_of(file), file.size());
  dt::set_le(file, TLA_CHECKSUM_OFFSET, checksum, 8);

  EXPECT_EQ(file, expected.bytes);
  const Tla_data_set_header decoded = tla_decode_header(bytes_of(file));
  EXPECT_TRUE(tla_has_magic(bytes_of(file), file.size()));
  EXPECT_EQ(decoded.checksum, checksum);
  EXPECT_EQ(decoded.index_offset, index_offset);
  EXPECT_EQ(decoded.version, 2);
  EXPECT_EQ(decoded.key_count, 2);
  EXPECT_EQ(decoded.record_count, 2u);
}

TEST(TlaDataSetFormat, AlignmentOfDescriptorsAndKeyIndexes) {
  // Seven name bytes and "Simple" make a 15-byte descriptor: with the list
  // end the header part ends at 48, already aligned.
  std::string file(TLA_HEADER_SIZE, '\0');
  tla_append_field_descriptors(file, {{u"Surname", TLA_SIMPLE_FORMATTER_ID}});
  EXPECT_EQ(file.size(), 48u);
  EXPECT_EQ(tla_align_to_eight(48), 48u);
  EXPECT_EQ(tla_align_to_eight(49), 56u);
  EXPECT_EQ(tla_align_to_eight(0), 0u);

  std::string head;
  tla_append_key_index_head(head, u"Surname", 64);  // 7 + terminator: no padding
  EXPECT_EQ(head, raw("Surname\0"));
  head.clear();
  tla_append_key_index_head(head, u"Card", 66);  // ends at 71: one zero byte
  EXPECT_EQ(head, raw("Card\0\0"));
  head.clear();
  tla_append_key_index_head(head, u"K\u00e9", 0);  // UTF-8, three bytes
  EXPECT_EQ(head, raw("K\xC3\xA9\0\0\0\0\0"));
}

TEST(TlaDataSetFormat, KeyHashIsTheCrcOfTheStoredCrcBytes) {
  EXPECT_EQ(tla_key_hash(std::vector<std::uint64_t>{}), 0u);
  const std::vector<std::uint64_t> crcs = {0x0102030405060708ull, 0xFFFFFFFFFFFFFFD5ull};
  const unsigned char stored[] = {1, 2, 3, 4, 5, 6, 7, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xD5};
  EXPECT_EQ(tla_key_hash(crcs), krn::Krn_crc64::calculate(stored, sizeof stored));
  EXPECT_EQ(tla_key_hash(crcs), dt::key_hash(crcs));
  EXPECT_NE(tla_key_hash(crcs), tla_key_hash(std::vector<std::uint64_t>{crcs[1], crcs[0]}));

  std::string field;
  tla_append_field_tokens(field, crcs);
  EXPECT_EQ(field.substr(0, 2), raw("\0\2"));
  EXPECT_EQ(field.substr(2), std::string(reinterpret_cast<const char*>(stored), sizeof stored));
  EXPECT_THROW(tla_append_field_tokens(field, std::vector<std::uint64_t>(65536)), std::length_error);
}

TEST(TlaDataSetFormat, ChecksumCoversEverythingFromOffsetSixteen) {
  dt::Plan plan;
  plan.fields = {{"a", "Simple"}};
  plan.keys = {"a"};
  plan.records = {{{7}}};
  const std::string file = dt::build(plan).bytes;
  const std::uint64_t sum = tla_data_set_checksum(bytes_of(file), file.size());
  EXPECT_EQ(sum, tla_get_le64(bytes_of(file) + TLA_CHECKSUM_OFFSET));
  for (std::size_t i = 0; i < file.size(); ++i) {
    std::string changed = file;
    changed[i] = static_cast<char>(changed[i] ^ 0x01);
    if (i < TLA_CHECKSUM_START) {
      EXPECT_EQ(tla_data_set_checksum(bytes_of(changed), changed.size()), sum) << "byte " << i;
    } else {
      EXPECT_NE(tla_data_set_checksum(bytes_of(changed), changed.size()), sum) << "byte " << i;
    }
  }
}

TEST(TlaDataSetFormat, BlockSizeGrowsWithRecordsTimesKeysAndNeverWraps) {
  EXPECT_EQ(index_block_size(0, 0), 4096u);
  EXPECT_EQ(index_block_size(4096 * 16385 - 1, 1), 4096u);
  EXPECT_EQ(index_block_size(4096 * 16385, 1), 8192u);
  EXPECT_EQ(index_block_size(8192 * 16385, 1), 12288u);
  EXPECT_EQ(index_block_size(12288 * 16385, 1), 16384u);
  EXPECT_EQ(index_block_size(16384u * 32769u - 1, 1), 16384u);
  EXPECT_EQ(index_block_size(16384u * 32769u, 1), 0u);
  // 2^20 records times 4096 keys is 2^32: a 32-bit product would be 0 and
  // choose the smallest block.
  EXPECT_EQ(index_block_size(1u << 20, 4096), 0u);
  EXPECT_EQ(index_block_size(0xFFFFFFFFu, 0xFFFF), 0u);
  EXPECT_EQ(index_block_size(0xFFFFFFFFu, 0), 4096u);
}

TEST(TlaDataSetFormat, DescriptorParserSplitsAndRejects) {
  auto parse = [](const std::string& bytes) {
    Tla_field_descriptor_parser parser;
    for (char c : bytes) parser.feed(static_cast<unsigned char>(c));
    return parser;
  };
  const auto good = parse(raw("First Name\nsimplenc\0Card\nCCNUMBER\0x\n\0\0"));
  ASSERT_EQ(good.step(), Tla_field_descriptor_parser::DONE);
  ASSERT_EQ(good.schema().size(), 3u);
  EXPECT_EQ(good.schema()[0].name, u"First Name");
  EXPECT_EQ(good.schema()[0].formatter_type, TLA_SIMPLENC_FORMATTER_ID);
  EXPECT_EQ(good.schema()[1].formatter_type, TLA_CCNUM_FORMATTER_ID);
  EXPECT_EQ(good.schema()[2].name, u"x");
  EXPECT_EQ(good.schema()[2].formatter_type, TLA_NO_FORMATTER_ID);

  EXPECT_EQ(parse(raw("\0")).step(), Tla_field_descriptor_parser::BAD);              // empty list
  EXPECT_EQ(parse(raw("a\nSimple\0b\0")).step(), Tla_field_descriptor_parser::BAD);  // name ends in 0x00
  EXPECT_EQ(parse(raw("a\nSimple\0")).step(), Tla_field_descriptor_parser::MORE);     // cut short
}

TEST(TlaDataSetFormat, VersionOneRecordsAreScrambledByDataOffset) {
  std::string at0;
  std::string at3;
  tla_append_record_v1(at0, {"ab", ""}, 0);
  tla_append_record_v1(at3, {"ab", ""}, 3);
  ASSERT_EQ(at0.size(), 4u);
  EXPECT_NE(at0, at3);
  const std::string plain = raw("ab\n\0");
  for (std::size_t i = 0; i < plain.size(); ++i) {
    EXPECT_EQ(static_cast<unsigned char>(at3[i]), static_cast<unsigned char>(plain[i]) ^ TLA_V1_SCRAMBLE_KEY[(3 + i) % 8]);
    EXPECT_EQ(tla_v1_scramble(static_cast<unsigned char>(at0[i]), i), static_cast<unsigned char>(plain[i]));
  }
}

}  // namespace
