// The data set reader on files built by the test writer, valid and bent.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "data_set_test_file.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_connector.h"
#include "tla/tla_data_set_tokens.h"
#include "tla/tla_formatter.h"
#include "tla/tla_status_codes.h"

namespace {

using namespace tla;
namespace dt = data_set_test;
using krn::Krn_status;
using krn::Wstring;

Wstring wide(const std::string& utf8) {
  Wstring out;
  krn::krn_utf8_to_utf16(utf8, out);
  return out;
}

// The CRCs a field of the formatter stores for the value.
std::vector<std::uint64_t> crcs_of(const krn::GUID& type, const std::string& value) {
  std::vector<std::uint64_t> crcs;
  Krn_status status;
  value_token_crcs(type, wide(value), crcs, status);
  return crcs;
}

Wstring first_arg(const Krn_status& status) {
  Wstring text;
  if (status.num_args() > 0) (*status.begin())->to_string(text);
  return text;
}

class TlaDataSetReader : public ::testing::Test {
 protected:
  // Writes the bytes and runs set_property, open and load.
  void load(const std::string& bytes, bool accept_older = false) {
    m_path = m_folder.write("file" + std::to_string(m_files++) + ".dat", bytes);
    m_reader.close();
    m_reader.set_property("datafilename", wide(m_path), m_status);
    m_reader.open(m_status);
    ASSERT_TRUE(m_status.ok());
    m_reader.load(m_status, accept_older);
  }

  void expect_status(unsigned value, bool names_file) {
    EXPECT_EQ(m_status.value(), value);
    if (names_file) {
      EXPECT_EQ(first_arg(m_status), wide(m_path));
    }
  }

  Tla_entry_list find(const std::string& text, const std::string& key, std::uint64_t hash = 0) {
    Tla_entry_list found;
    Tla_search_value value;
    value.text = wide(text);
    value.key_hash = hash;
    m_reader.find(value, wide(key), found, m_status);
    return found;
  }

  std::vector<krn::int64> offsets_of(const Tla_entry_list& entries) {
    std::vector<krn::int64> offsets;
    for (const auto& entry : entries) {
      offsets.push_back(static_cast<const Tla_data_set_entry_file&>(*entry).record_offset());
    }
    return offsets;
  }

  dt::Temp_folder m_folder;
  std::string m_path;
  int m_files = 0;
  Tla_data_set_connector_file m_reader;
  Krn_status m_status;
};

// A small valid file: surname (SimpleNC, the key) and card (CCNUMBER).
dt::Plan people() {
  dt::Plan plan;
  plan.fields = {{"Surname", "SimpleNC"}, {"Card", "CCNUMBER"}};
  plan.keys = {"Surname"};
  for (const auto& [surname, card] : std::vector<std::pair<std::string, std::string>>{
           {"Miller", "4111 1111"}, {"van Dam", "5500-0000"}, {"Miller", "3400 0000"}}) {
    plan.records.push_back({crcs_of(TLA_SIMPLENC_FORMATTER_ID, surname), crcs_of(TLA_CCNUM_FORMATTER_ID, card)});
  }
  return plan;
}

TEST_F(TlaDataSetReader, LoadsAValidFileAndFindsByKey) {
  const dt::Built built = dt::build(people());
  load(built.bytes);
  ASSERT_TRUE(m_status.ok());
  EXPECT_EQ(m_reader.version(), 2);
  EXPECT_EQ(m_reader.record_count(), 3u);
  EXPECT_EQ(m_reader.data_start(), built.data_start);
  EXPECT_EQ(m_reader.index_offset(), built.index_offset);
  ASSERT_EQ(m_reader.schema()->size(), 2u);
  EXPECT_EQ((*m_reader.schema())[1].name, u"Card");
  EXPECT_EQ((*m_reader.schema())[1].formatter_type, TLA_CCNUM_FORMATTER_ID);
  ASSERT_EQ(m_reader.key_tables().size(), 1u);
  EXPECT_EQ(m_reader.key_tables()[0].name, u"Surname");

  // The key field's formatter applies to the search value: case is ignored.
  auto found = offsets_of(find("MILLER", "Surname"));
  ASSERT_TRUE(m_status.ok());
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<krn::int64>{krn::int64(built.record_offsets[0]), krn::int64(built.record_offsets[2])}));
  EXPECT_EQ(offsets_of(find("VAN DAM", "Surname")), std::vector<krn::int64>{krn::int64(built.record_offsets[1])});
  EXPECT_TRUE(find("Smith", "Surname").empty());
  EXPECT_TRUE(m_status.ok());
  // No index of that name (names match exactly): nothing, and no failure.
  EXPECT_TRUE(find("Miller", "surname").empty());
  EXPECT_TRUE(m_status.ok());
  EXPECT_TRUE(find("", "Surname").empty());
  EXPECT_EQ(m_status.value(), TLA_E_NO_SEARCH_TOKENS);

  // Load runs once; record_offsets gives the same list on every call.
  m_reader.load(m_status, false);
  EXPECT_TRUE(m_status.ok());
  std::vector<std::uint64_t> first = m_reader.record_offsets(m_status);
  const std::vector<std::uint64_t>& second = m_reader.record_offsets(m_status);
  EXPECT_TRUE(m_status.ok());
  EXPECT_EQ(first, second);
  std::sort(first.begin(), first.end());
  EXPECT_EQ(first, built.record_offsets);
}

TEST_F(TlaDataSetReader, EntriesHandOutTokensAndVersionOneTexts) {
  const dt::Plan plan = people();
  const dt::Built built = dt::build(plan);
  load(built.bytes);
  ASSERT_TRUE(m_status.ok());
  std::unique_ptr<Tla_data_set_entry_base> entry;
  m_reader.create_entry(entry, static_cast<krn::int64>(built.record_offsets[1]), m_status);
  ASSERT_TRUE(m_status.ok());
  ASSERT_NE(entry, nullptr);
  std::vector<std::uint64_t> crcs;
  krn::GUID type{};
  ASSERT_TRUE(entry->tokens(u"Card", crcs, type));
  EXPECT_EQ(crcs, plan.records[1][1]);
  EXPECT_EQ(type, TLA_CCNUM_FORMATTER_ID);
  EXPECT_FALSE(entry->tokens(u"card", crcs, type));
  Wstring text;
  EXPECT_FALSE(entry->text(u"Card", text, type));  // version 2 keeps no text

  dt::Plan old;
  old.version = 1;
  std::copy(std::begin(TLA_V1_SCRAMBLE_KEY), std::end(TLA_V1_SCRAMBLE_KEY), old.scramble_key);
  old.fields = {{"Name", "Simple"}, {"Note", ""}};
  old.keys = {"Name"};
  old.texts = {{"Anna Berg", "x"}, {"Old text", ""}, {"J\xC3\xBCrgen", "a\tb"}};
  old.hash = [](std::size_t r, std::size_t) { return 100 + r; };
  const dt::Built old_built = dt::build(old);
  load(old_built.bytes);
  EXPECT_EQ(m_status.value(), TLA_E_VERSION);
  EXPECT_EQ(first_arg(m_status), wide(m_path));
  load(old_built.bytes, true);
  ASSERT_TRUE(m_status.ok());
  EXPECT_EQ(m_reader.version(), 1);
  m_reader.create_entry(entry, static_cast<krn::int64>(old_built.record_offsets[2]), m_status);
  ASSERT_TRUE(m_status.ok());
  ASSERT_TRUE(entry->text(u"Name", text, type));
  EXPECT_EQ(text, u"J\u00fcrgen");
  EXPECT_EQ(type, TLA_SIMPLE_FORMATTER_ID);
  ASSERT_TRUE(entry->text(u"Note", text, type));
  EXPECT_EQ(text, u"a\tb");
  EXPECT_EQ(type, TLA_NO_FORMATTER_ID);
  ASSERT_TRUE(entry->tokens(u"Name", crcs, type));
  std::vector<std::uint64_t> expected;
  text_token_crcs(u"J\u00fcrgen", expected, m_status);
  EXPECT_EQ(crcs, expected);

  // Version-1 keys are found by the hash the caller brings.
  EXPECT_EQ(offsets_of(find("Old text", "Name", 101)), std::vector<krn::int64>{krn::int64(old_built.record_offsets[1])});
  EXPECT_TRUE(find("Old text", "Name", 102).empty());
}

TEST_F(TlaDataSetReader, DamagedRecordsFailTheirEntry) {
  dt::Plan plan = people();
  dt::Built built = dt::build(plan);
  std::unique_ptr<Tla_data_set_entry_base> entry;

  // A terminator other than 0x00.
  std::string bytes = built.bytes;
  bytes[built.record_offsets[1] - 1] = 0x01;
  dt::seal(bytes);
  load(bytes);
  ASSERT_TRUE(m_status.ok());
  m_reader.create_entry(entry, static_cast<krn::int64>(built.record_offsets[0]), m_status);
  EXPECT_EQ(m_status.value(), TLA_E_RECORD_DAMAGED);
  EXPECT_EQ(entry, nullptr);
  // find reports it too, and hands out nothing.
  EXPECT_TRUE(find("Miller", "Surname").empty());
  EXPECT_EQ(m_status.value(), TLA_E_RECORD_DAMAGED);

  // A token count that runs past the data area into the index.
  bytes = built.bytes;
  const std::size_t last = built.record_offsets[2];
  dt::set_le(bytes, last, 0x00FF, 2);  // 0xFF00 big-endian
  dt::seal(bytes);
  load(bytes);
  ASSERT_TRUE(m_status.ok());
  m_reader.create_entry(entry, static_cast<krn::int64>(last), m_status);
  expect_status(TLA_E_FILE_DAMAGED, true);
  EXPECT_EQ(entry, nullptr);

  // Offsets outside the data area, from a caller or from the index.
  for (krn::int64 offset : {krn::int64(-1), krn::int64(built.data_start) - 1, krn::int64(built.index_offset)}) {
    m_reader.create_entry(entry, offset, m_status);
    expect_status(TLA_E_FILE_DAMAGED, true);
  }
  bytes = built.bytes;
  dt::set_le(bytes, built.entries_start[0] + 8, built.index_offset + 8, 8);
  dt::seal(bytes);
  load(bytes);
  ASSERT_TRUE(m_status.ok());
  EXPECT_TRUE(m_reader.record_offsets(m_status).empty());
  expect_status(TLA_E_FILE_DAMAGED, true);

  // A version-1 record with a value too many.
  dt::Plan old;
  old.version = 1;
  std::copy(std::begin(TLA_V1_SCRAMBLE_KEY), std::end(TLA_V1_SCRAMBLE_KEY), old.scramble_key);
  old.fields = {{"Name", "Simple"}};
  old.keys = {"Name"};
  old.texts = {{"a", "b"}, {"c"}};
  built = dt::build(old);
  load(built.bytes, true);
  ASSERT_TRUE(m_status.ok());
  m_reader.create_entry(entry, static_cast<krn::int64>(built.record_offsets[0]), m_status);
  EXPECT_EQ(m_status.value(), TLA_E_RECORD_FIELD_COUNT);
  m_reader.create_entry(entry, static_cast<krn::int64>(built.record_offsets[1]), m_status);
  EXPECT_TRUE(m_status.ok());
}

struct Bent_file {
  const char* what;
  std::function<std::string()> make;
  unsigned status;
  bool names_file;
};

TEST_F(TlaDataSetReader, RejectsDamagedHeadersAndLayouts) {
  const dt::Built good = dt::build(people());
  auto bent = [&](std::function<void(std::string&)> change, bool reseal = true) {
    return [=] {
      std::string bytes = good.bytes;
      change(bytes);
      if (reseal) dt::seal(bytes);
      return bytes;
    };
  };
  auto planned_file = [](std::function<void(dt::Plan&)> change) {
    return [=] {
      dt::Plan plan = people();
      change(plan);
      return dt::build(plan).bytes;
    };
  };
  const std::vector<Bent_file> cases = {
      {"shorter than the magic", [] { return std::string("QRFFDa"); }, TLA_E_FILE_DAMAGED, true},
      {"empty", [] { return std::string(); }, TLA_E_FILE_DAMAGED, true},
      {"wrong magic", bent([](std::string& b) { b[3] = 'X'; }), TLA_E_FILE_DAMAGED, true},
      {"no version bytes", [] { return std::string("QRFFDaSe\0\0\0\0\0\0\0\0", 16); }, TLA_E_FILE_DAMAGED, true},
      {"header cut after the version", bent([](std::string& b) { b.resize(27); }, false), TLA_E_FILE_DAMAGED, true},
      {"other version", bent([](std::string& b) { b[24] = 3; }), TLA_E_VERSION, true},
      {"checksum", bent([](std::string& b) { b[b.size() - 1] ^= 1; }, false), TLA_E_CHECKSUM, false},
      {"index offset past the end", bent([&](std::string& b) { dt::set_le(b, 16, b.size() + 1, 8); }),
       TLA_E_FILE_DAMAGED, true},
      {"index offset inside the descriptors", bent([](std::string& b) { dt::set_le(b, 16, 40, 8); }),
       TLA_E_FILE_DAMAGED, true},
      {"empty descriptor list", planned_file([](dt::Plan& s) { s.fields.clear(); s.records.assign(3, {}); }),
       TLA_E_FIELD_LIST, false},
      {"name ended by 0x00", bent([](std::string& b) { b[32 + 7] = '\0'; }), TLA_E_FIELD_LIST, false},
      {"too many for the block table", planned_file([](dt::Plan& s) { s.record_count = 0xFFFFFFFF; s.key_count = 0xFFFF; }),
       TLA_E_DATA_SET_TOO_LARGE, false},
      {"more records than the data area holds", planned_file([](dt::Plan& s) { s.record_count = 20000; s.keys.clear(); }),
       TLA_E_FILE_DAMAGED, true},
      {"more keys than the index area holds", planned_file([](dt::Plan& s) { s.key_count = 9; }), TLA_E_FILE_DAMAGED, true},
      {"more records than each index holds", planned_file([](dt::Plan& s) { s.record_count = 4; }), TLA_E_FILE_DAMAGED,
       true},
      {"an index that left out a duplicate", planned_file([](dt::Plan& s) {
         s.keys = {"Surname", "Card"};
         s.keep_entry = [](std::size_t r, std::size_t k) { return !(k == 0 && r == 2); };
       }),
       TLA_E_FILE_DAMAGED, true},
      {"bytes after the last index", bent([](std::string& b) { b.append(8, '\0'); }), TLA_E_FILE_DAMAGED, true},
      {"key name without its end", bent([&](std::string& b) { b.resize(good.index_offset + 3); }), TLA_E_FILE_DAMAGED,
       true},
  };
  for (const Bent_file& test : cases) {
    SCOPED_TRACE(test.what);
    load(test.make());
    expect_status(test.status, test.names_file);
    // Nothing of a failed load stays behind.
    EXPECT_TRUE(m_reader.key_tables().empty());
    EXPECT_TRUE(find("Miller", "Surname").empty());
    EXPECT_EQ(m_status.value(), TLA_E_DATA_SET_NOT_OPEN);
  }
}

TEST_F(TlaDataSetReader, NeedsAnOpenLoadedFile) {
  std::unique_ptr<Tla_data_set_entry_base> entry;
  m_reader.load(m_status, false);
  EXPECT_EQ(m_status.value(), TLA_E_DATA_SET_NOT_OPEN);
  m_reader.record_offsets(m_status);
  EXPECT_EQ(m_status.value(), TLA_E_DATA_SET_NOT_OPEN);
  m_reader.create_entry(entry, 48, m_status);
  EXPECT_EQ(m_status.value(), TLA_E_DATA_SET_NOT_OPEN);

  m_reader.set_property("DataFileName", wide((m_folder.path() / "missing.dat").string()), m_status);
  m_reader.open(m_status);
  EXPECT_EQ(m_status.value(), TLA_E_DATA_SET_NOT_OPEN);
  ASSERT_TRUE(m_status.has_child());  // the file's own failure
  EXPECT_FALSE(m_status.child()->ok());

  // Reused after close on another file, nothing of the first remains.
  dt::Plan two_keys = people();
  two_keys.keys = {"Surname", "Card"};
  load(dt::build(two_keys).bytes);
  ASSERT_TRUE(m_status.ok());
  EXPECT_EQ(m_reader.key_tables().size(), 2u);
  load(dt::build(people()).bytes);
  ASSERT_TRUE(m_status.ok());
  EXPECT_EQ(m_reader.key_tables().size(), 1u);
  EXPECT_TRUE(find("4111-1111", "Card").empty());
  EXPECT_TRUE(m_status.ok());
}

TEST_F(TlaDataSetReader, EmptyAndBlockSizedIndexes) {
  dt::Plan plan = people();
  plan.records.clear();
  load(dt::build(plan).bytes);
  ASSERT_TRUE(m_status.ok());
  ASSERT_EQ(m_reader.key_tables().size(), 1u);
  EXPECT_TRUE(m_reader.key_tables()[0].blocks.empty());
  EXPECT_TRUE(find("Miller", "Surname").empty());
  EXPECT_TRUE(m_status.ok());
  EXPECT_TRUE(m_reader.record_offsets(m_status).empty());
  EXPECT_TRUE(m_status.ok());

  // Two whole blocks, then one entry more.
  for (std::uint32_t records : {8192u, 8193u}) {
    SCOPED_TRACE(records);
    dt::Plan many;
    many.fields = {{"Id", "Simple"}};
    many.keys = {"Id"};
    for (std::uint32_t r = 0; r < records; ++r) many.records.push_back({{r}});
    const dt::Built built = dt::build(many);
    load(built.bytes);
    ASSERT_TRUE(m_status.ok());
    EXPECT_EQ(m_reader.block_size(), 4096u);
    EXPECT_EQ(m_reader.key_tables()[0].blocks.size(), (records + 4095) / 4096);
    std::vector<std::uint64_t> offsets = m_reader.record_offsets(m_status);
    ASSERT_TRUE(m_status.ok());
    std::sort(offsets.begin(), offsets.end());
    EXPECT_EQ(offsets, built.record_offsets);
  }

  // Records whose hashes are out of order across blocks are refused.
  dt::Plan unsorted;
  unsorted.fields = {{"Id", "Simple"}};
  unsorted.keys = {"Id"};
  for (std::uint32_t r = 0; r < 4097; ++r) unsorted.records.push_back({{r}});
  const dt::Built layout = dt::build(unsorted);
  std::string bytes = layout.bytes;
  dt::set_le(bytes, layout.entries_start[0] + 4096 * 16, 0, 8);  // block 1 starts below block 0
  dt::seal(bytes);
  load(bytes);
  expect_status(TLA_E_FILE_DAMAGED, true);
}

// A run of entries with one hash, some of them collisions whose records hold
// other values, placed across the boundary of the first two blocks.
struct Hash_run {
  std::size_t first;
  std::size_t last;  // inclusive
  std::set<std::size_t> matches;
};

void PrintTo(const Hash_run& run, std::ostream* out) {
  *out << "run " << run.first << ".." << run.last << ", " << run.matches.size() << " matching";
}

class TlaDataSetReaderRuns : public TlaDataSetReader, public ::testing::WithParamInterface<Hash_run> {};

TEST_P(TlaDataSetReaderRuns, FindReturnsEveryMatchOfTheRun) {
  const Hash_run run = GetParam();
  const std::vector<std::uint64_t> target = crcs_of(TLA_SIMPLE_FORMATTER_ID, "target value");
  const std::vector<std::uint64_t> decoy = crcs_of(TLA_SIMPLE_FORMATTER_ID, "decoy");
  const std::uint64_t hash = dt::key_hash(target);
  // The other entries must sort around the run: below it before, above after.
  ASSERT_GT(hash, 1u << 20);
  ASSERT_LT(hash, ~std::uint64_t{0} - (1u << 20));

  dt::Plan plan;
  plan.fields = {{"Other", "Simple"}, {"Key", "Simple"}};
  plan.keys = {"Key"};
  const std::size_t records = 3 * 4096 + 5;
  for (std::size_t r = 0; r < records; ++r) {
    const bool in_run = r >= run.first && r <= run.last;
    const std::vector<std::uint64_t> key = in_run ? (run.matches.count(r) ? target : decoy) : std::vector<std::uint64_t>{r};
    plan.records.push_back({std::vector<std::uint64_t>{r}, key});
  }
  plan.hash = [&](std::size_t r, std::size_t) -> std::uint64_t {
    if (r < run.first) return r;
    if (r <= run.last) return hash;
    return ~std::uint64_t{0} - (records - r);
  };
  const dt::Built built = dt::build(plan);
  load(built.bytes);
  ASSERT_TRUE(m_status.ok());
  ASSERT_EQ(m_reader.key_tables()[0].blocks.size(), 4u);

  std::vector<krn::int64> expected;
  for (std::size_t r : run.matches) expected.push_back(static_cast<krn::int64>(built.record_offsets[r]));
  EXPECT_EQ(offsets_of(find("target value", "Key")), expected);
  EXPECT_TRUE(m_status.ok());
  EXPECT_TRUE(find("no such value", "Key").empty());
  EXPECT_TRUE(m_status.ok());
}

INSTANTIATE_TEST_SUITE_P(
    Runs, TlaDataSetReaderRuns,
    ::testing::Values(Hash_run{4090, 4105, {4091, 4096, 4100}},  // across the boundary, decoys on both sides of it
                      Hash_run{4096, 4100, {4096, 4099}},        // begins with the block, which itself matches
                      Hash_run{4093, 4097, {4093, 4094}},        // matches only before the chosen block
                      Hash_run{4090, 4095, {4095}},              // ends with the block
                      Hash_run{0, 4, {0, 4}},                    // at the start of the index
                      Hash_run{4000, 8200, {4001, 8199}},        // over a whole block
                      Hash_run{12290, 12292, {12292}}));         // in the short last block

}  // namespace
