// The deep check of data set files: every kind of damage that load() lets
// through, each with a correct checksum, is found where it is; every file
// the build writes, and every version-1 file laid out right, passes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "data_set_test_file.h"
#include "krn/krn_file_buffer.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_connector.h"
#include "tla/tla_data_set_entry.h"
#include "tla/tla_data_set_tokens.h"
#include "tla/tla_formatter.h"
#include "tla/tla_records.h"
#include "tla/tla_status_codes.h"
#include "tla/tla_writer.h"

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

std::vector<std::uint64_t> crcs_of(const krn::GUID& type, const std::string& value) {
  std::vector<std::uint64_t> crcs;
  Krn_status status;
  value_token_crcs(type, wide(value), crcs, status);
  return crcs;
}

// The status's argument as text, empty when there is none.
std::string arg(const Krn_status& status, unsigned index) {
  if (index >= status.num_args()) return {};
  Wstring text;
  status.begin()[index]->to_string(text);
  std::string narrow;
  krn::krn_utf16_to_utf8(text, narrow);
  return narrow;
}

// Opens the file and verifies it.
Krn_status verify_file(const std::string& path) {
  Tla_data_set_connector_file connector;
  Krn_status status;
  connector.set_property("DataFileName", wide(path), status);
  connector.open(status);
  if (status.ok()) connector.verify(status);
  return status;
}

// Surname (the key, with a repeat), card (the second key) and a note.
dt::Plan people() {
  dt::Plan plan;
  plan.fields = {{"Surname", "SimpleNC"}, {"Card", "CCNUMBER"}, {"Note", "Simple"}};
  plan.keys = {"Surname", "Card"};
  const std::vector<std::vector<std::string>> rows = {{"Miller", "4111 1111", "first"},
                                                      {"van Dam", "5500-0000", ""},
                                                      {"Miller", "3400 0000", "a b c"},
                                                      {"Zo\xC3\xAB", "4111 2222", "x"},
                                                      {"van Dam", "5500-0000", ""}};
  for (const auto& row : rows) {
    plan.records.push_back({crcs_of(TLA_SIMPLENC_FORMATTER_ID, row[0]), crcs_of(TLA_CCNUM_FORMATTER_ID, row[1]),
                            crcs_of(TLA_SIMPLE_FORMATTER_ID, row[2])});
  }
  return plan;
}

dt::Plan old_people() {
  dt::Plan plan;
  plan.version = 1;
  std::copy(std::begin(TLA_V1_SCRAMBLE_KEY), std::end(TLA_V1_SCRAMBLE_KEY), plan.scramble_key);
  plan.fields = {{"Name", "Simple"}, {"City", "SimpleNC"}};
  plan.keys = {"Name", "City"};
  plan.texts = {{"Anna Berg", "Oslo"}, {"J\xC3\xBCrgen", ""}, {"Anna Berg", "Oslo"}, {"\xF0\x9F\x98\x80", "a\tb"}};
  plan.hash = [](std::size_t r, std::size_t k) { return 1000 * k + 7 * r; };
  return plan;
}

std::uint64_t get_le64(const std::string& bytes, std::size_t at) {
  std::uint64_t value = 0;
  for (int b = 7; b >= 0; --b) value = value << 8 | static_cast<unsigned char>(bytes[at + b]);
  return value;
}

std::uint64_t entry_position(const dt::Built& built, std::size_t key, std::size_t entry) {
  return built.entries_start[key] + entry * TLA_INDEX_ENTRY_SIZE;
}

// The number of the first entry of the key index that names the record.
std::size_t entry_of(const dt::Built& built, std::size_t key, std::uint64_t record_offset) {
  std::size_t i = 0;
  while (i < built.record_offsets.size() && get_le64(built.bytes, entry_position(built, key, i) + 8) != record_offset) ++i;
  return i;
}

// One kind of damage: the file, the status under TLA_E_FILE_DAMAGED, and
// which of its arguments holds which offset.
struct Damage {
  const char* what;
  std::function<dt::Built()> make;
  unsigned problem;
  unsigned offset_arg;
  std::function<std::uint64_t(const dt::Built&)> offset;
};

// Builds the plan changed by change.
std::function<dt::Built()> planned(dt::Plan (*base)(), std::function<void(dt::Plan&)> change) {
  return [=] {
    dt::Plan plan = base();
    change(plan);
    return dt::build(plan);
  };
}

// Builds the plan, then bends its bytes and seals them again.
std::function<dt::Built()> bent(dt::Plan (*base)(), std::function<void(dt::Built&)> change) {
  return [=] {
    dt::Built built = dt::build(base());
    change(built);
    dt::seal(built.bytes);
    return built;
  };
}

std::vector<Damage> damages() {
  const auto descriptor_end = [](const std::vector<dt::Field>& fields, std::size_t count) {
    std::uint64_t at = TLA_HEADER_SIZE;
    for (std::size_t i = 0; i < count; ++i) at += fields[i].name.size() + fields[i].formatter.size() + 2;
    return at;
  };
  return {
      {"version 0", bent(people, [](dt::Built& b) { dt::set_le(b.bytes, 24, 0, 2); }), TLA_E_UNKNOWN_VERSION, 1,
       [](const dt::Built&) { return TLA_VERSION_OFFSET; }},
      {"version 3", bent(people, [](dt::Built& b) { dt::set_le(b.bytes, 24, 3, 2); }), TLA_E_UNKNOWN_VERSION, 1,
       [](const dt::Built&) { return TLA_VERSION_OFFSET; }},
      {"version 65535", bent(old_people, [](dt::Built& b) { dt::set_le(b.bytes, 24, 0xFFFF, 2); }),
       TLA_E_UNKNOWN_VERSION, 1, [](const dt::Built&) { return TLA_VERSION_OFFSET; }},
      {"a formatter no one knows", planned(people, [](dt::Plan& p) { p.fields[1].formatter = "Phone"; }),
       TLA_E_FIELD_FORMATTER_UNKNOWN, 1, [=](const dt::Built&) { return descriptor_end(people().fields, 1); }},
      {"a version-1 formatter no one knows", planned(old_people, [](dt::Plan& p) { p.fields[1].formatter = "Zip"; }),
       TLA_E_FIELD_FORMATTER_UNKNOWN, 1, [=](const dt::Built&) { return descriptor_end(old_people().fields, 1); }},
      {"a field name twice", planned(people, [](dt::Plan& p) { p.fields[2].name = "Surname"; }),
       TLA_E_REPEATED_FIELD_NAME, 1, [=](const dt::Built&) { return descriptor_end(people().fields, 2); }},
      {"a terminator other than 0x00",
       bent(people, [](dt::Built& b) { b.bytes[b.record_offsets[2] - 1] = 0x01; }), TLA_E_RECORD_TERMINATOR, 1,
       [](const dt::Built& b) { return b.record_offsets[2] - 1; }},
      {"a token count that runs past the data area",
       bent(people, [](dt::Built& b) { b.bytes[b.record_offsets[4] + 1] += 1; }), TLA_E_RECORD_OUTSIDE_DATA, 0,
       [](const dt::Built& b) { return b.record_offsets[4]; }},
      {"a token count one too few, so that a CRC byte ends the record",
       bent(people, [](dt::Built& b) { b.bytes[b.record_offsets[1] - 10] = 0; }), TLA_E_RECORD_TERMINATOR, 1,
       [](const dt::Built& b) { return b.record_offsets[1] - 9; }},
      {"a byte after the last record",
       planned(people, [](dt::Plan& p) { p.bend_data = [](std::string& f, const auto&) { f.push_back('\0'); }; }),
       TLA_E_RECORD_COUNT_DIFFERS, 1, [](const dt::Built& b) { return b.index_offset - 1; }},
      {"a record more than the header counts", planned(people, [](dt::Plan& p) {
         p.record_count = 4;
         p.keep_entry = [](std::size_t r, std::size_t) { return r != 1; };
       }),
       TLA_E_RECORD_COUNT_DIFFERS, 1, [](const dt::Built& b) { return b.record_offsets[4]; }},
      {"a record fewer than the header counts", planned(people, [](dt::Plan& p) {
         p.bend_data = [](std::string& f, const std::vector<std::uint64_t>& offsets) { f.resize(offsets.back()); };
       }),
       TLA_E_RECORD_COUNT_DIFFERS, 1, [](const dt::Built& b) { return b.index_offset; }},
      {"a version-1 value too many", planned(old_people, [](dt::Plan& p) { p.texts[2].push_back("x"); }),
       TLA_E_RECORD_VALUE_COUNT, 0, [](const dt::Built& b) { return b.record_offsets[2]; }},
      {"a version-1 value too few", planned(old_people, [](dt::Plan& p) { p.texts[3].pop_back(); }),
       TLA_E_RECORD_VALUE_COUNT, 0, [](const dt::Built& b) { return b.record_offsets[3]; }},
      {"a version-1 value that is not UTF-8", planned(old_people, [](dt::Plan& p) { p.texts[1][1] = "K\xF6ln"; }),
       TLA_E_RECORD_TEXT_NOT_UTF8, 0, [](const dt::Built& b) { return b.record_offsets[1]; }},
      {"a version-1 value cut in a character", planned(old_people, [](dt::Plan& p) { p.texts[3][0].pop_back(); }),
       TLA_E_RECORD_TEXT_NOT_UTF8, 0, [](const dt::Built& b) { return b.record_offsets[3]; }},
      {"a version-1 record without its end", planned(old_people, [](dt::Plan& p) {
         p.bend_data = [](std::string& f, const auto&) { f.back() ^= 0x20; };
       }),
       TLA_E_RECORD_OUTSIDE_DATA, 0, [](const dt::Built& b) { return b.record_offsets[3]; }},
      {"an index named after no field", planned(people, [](dt::Plan& p) { p.keys[1] = "Phone"; }), TLA_E_INDEX_NAME, 1,
       [](const dt::Built& b) { return b.entries_start[0] + 5 * TLA_INDEX_ENTRY_SIZE; }},
      {"an index named in other letter case", planned(people, [](dt::Plan& p) { p.keys[0] = "surname"; }),
       TLA_E_INDEX_NAME, 1, [](const dt::Built& b) { return b.index_offset; }},
      {"an unsorted index", bent(people, [](dt::Built& b) {
         // The first and last entries change places: the second is then
         // below the first.
         const std::size_t first = b.entries_start[1];
         const std::size_t last = first + 4 * TLA_INDEX_ENTRY_SIZE;
         std::swap_ranges(b.bytes.begin() + first, b.bytes.begin() + first + 16, b.bytes.begin() + last);
       }),
       TLA_E_INDEX_NOT_SORTED, 0, [](const dt::Built& b) { return entry_position(b, 1, 1); }},
      {"an unsorted version-1 index", bent(old_people, [](dt::Built& b) {
         dt::set_le(b.bytes, b.entries_start[0] + 2 * TLA_INDEX_ENTRY_SIZE, 1, 8);
       }),
       TLA_E_INDEX_NOT_SORTED, 0, [](const dt::Built& b) { return entry_position(b, 0, 2); }},
      {"an entry inside a record", bent(people, [](dt::Built& b) {
         dt::set_le(b.bytes, entry_position(b, 0, 3) + 8, b.record_offsets[2] + 2, 8);
       }),
       TLA_E_INDEX_NOT_A_RECORD, 0, [](const dt::Built& b) { return entry_position(b, 0, 3); }},
      {"an entry past the data area", bent(people, [](dt::Built& b) {
         dt::set_le(b.bytes, entry_position(b, 1, 0) + 8, b.index_offset, 8);
       }),
       TLA_E_INDEX_NOT_A_RECORD, 0, [](const dt::Built& b) { return entry_position(b, 1, 0); }},
      {"an entry that names a record again", bent(people, [](dt::Built& b) {
         dt::set_le(b.bytes, entry_position(b, 1, 3) + 8, get_le64(b.bytes, entry_position(b, 1, 1) + 8), 8);
       }),
       TLA_E_INDEX_REPEATS_RECORD, 0, [](const dt::Built& b) { return entry_position(b, 1, 3); }},
      {"a version-1 entry that names a record again", bent(old_people, [](dt::Built& b) {
         dt::set_le(b.bytes, entry_position(b, 1, 0) + 8, b.record_offsets[3], 8);
       }),
       TLA_E_INDEX_REPEATS_RECORD, 0, [](const dt::Built& b) { return entry_position(b, 1, 3); }},
      {"an entry with another hash", bent(people, [](dt::Built& b) {
         dt::set_le(b.bytes, entry_position(b, 1, 0), 0, 8);
       }),
       TLA_E_INDEX_KEY_HASH, 0, [](const dt::Built& b) { return entry_position(b, 1, 0); }},
      {"two entries whose records changed places", bent(people, [](dt::Built& b) {
         // Miller's first record and Zoe's keep their hashes, each now
         // beside the other's record.
         const std::size_t miller = entry_of(b, 0, b.record_offsets[0]);
         const std::size_t zoe = entry_of(b, 0, b.record_offsets[3]);
         dt::set_le(b.bytes, entry_position(b, 0, miller) + 8, b.record_offsets[3], 8);
         dt::set_le(b.bytes, entry_position(b, 0, zoe) + 8, b.record_offsets[0], 8);
       }),
       TLA_E_INDEX_KEY_HASH, 0, [](const dt::Built& b) {
         const dt::Built sound = dt::build(people());
         return entry_position(b, 0, std::min(entry_of(sound, 0, b.record_offsets[0]), entry_of(sound, 0, b.record_offsets[3])));
       }},
  };
}

class DataSetVerify : public ::testing::Test {
 protected:
  Krn_status verify(const std::string& bytes) {
    m_path = m_folder.write("file" + std::to_string(m_files++) + ".kds", bytes);
    return verify_file(m_path);
  }

  dt::Temp_folder m_folder;
  std::string m_path;
  int m_files = 0;
};

TEST_F(DataSetVerify, FindsEachKindOfDamageWhereItIs) {
  ASSERT_TRUE(verify(dt::build(people()).bytes).ok());
  ASSERT_TRUE(verify(dt::build(old_people()).bytes).ok());
  for (const Damage& damage : damages()) {
    SCOPED_TRACE(damage.what);
    const dt::Built built = damage.make();
    const Krn_status status = verify(built.bytes);
    EXPECT_EQ(status.value(), TLA_E_FILE_DAMAGED);
    EXPECT_EQ(arg(status, 0), m_path);
    ASSERT_TRUE(status.has_child());
    EXPECT_EQ(status.child()->value(), damage.problem);
    EXPECT_EQ(arg(*status.child(), damage.offset_arg), std::to_string(damage.offset(built)));
  }
}

TEST_F(DataSetVerify, ChangesThatLeaveTheFileSound) {
  // Records of one hash may stand in any order in the index.
  dt::Built built = dt::build(people());
  const std::size_t a = entry_of(built, 0, built.record_offsets[1]);
  const std::size_t b = entry_of(built, 0, built.record_offsets[4]);
  dt::set_le(built.bytes, entry_position(built, 0, a) + 8, built.record_offsets[4], 8);
  dt::set_le(built.bytes, entry_position(built, 0, b) + 8, built.record_offsets[1], 8);
  dt::seal(built.bytes);
  EXPECT_TRUE(verify(built.bytes).ok());

  // A field without a formatter, as an upgrade writes for one it did not
  // know; a key given twice; no records at all.
  dt::Plan plan = people();
  plan.fields[2].formatter = "";
  plan.keys = {"Card", "Surname", "Card"};
  EXPECT_TRUE(verify(dt::build(plan).bytes).ok());
  plan.records.clear();
  EXPECT_TRUE(verify(dt::build(plan).bytes).ok());
  plan.keys.clear();
  EXPECT_TRUE(verify(dt::build(plan).bytes).ok());

  // Version-1 hashes are not recomputed; formatter names in any case.
  dt::Plan old = old_people();
  old.fields[0].formatter = "simplenc";
  old.hash = [](std::size_t r, std::size_t) { return r % 2; };
  EXPECT_TRUE(verify(dt::build(old).bytes).ok());
}

TEST_F(DataSetVerify, LoadFailuresArePassedOn) {
  dt::Built built = dt::build(people());
  built.bytes.back() ^= 1;
  EXPECT_EQ(verify(built.bytes).value(), TLA_E_CHECKSUM);
  Tla_data_set_connector_file connector;
  Krn_status status;
  connector.verify(status);
  EXPECT_EQ(status.value(), TLA_E_DATA_SET_NOT_OPEN);
  // Without older versions accepted, an unknown one stays a version problem.
  dt::set_le(built.bytes, 24, 3, 2);
  dt::seal(built.bytes);
  connector.set_property("DataFileName", wide(m_folder.write("v3.kds", built.bytes)), status);
  connector.open(status);
  connector.load(status, false);
  EXPECT_EQ(status.value(), TLA_E_VERSION);
}

// ---- Files the build writes ------------------------------------------------------

// Writes records through the library's own encoder and writer.
void build_with_library(const std::string& path, const Tla_schema& schema, const std::vector<Wstring>& keys,
                        const std::vector<std::vector<Wstring>>& records, Krn_status& status) {
  std::vector<std::uint64_t> key_positions;
  for (const Wstring& key : keys) {
    for (std::size_t i = 0; i < schema.size(); ++i) {
      if (schema[i].name == key) key_positions.push_back(i);
    }
  }
  Tla_record_encoder encoder;
  std::string encoded;
  for (std::size_t r = 0; r < records.size() && status.ok(); ++r) {
    encoder.encode_record(records[r], schema, key_positions, r + 1, encoded, status);
  }
  krn::Krn_heap_buffer intermediate;
  krn::int64 position = 0;
  if (status.ok()) intermediate.write(position, encoded.size(), encoded.data(), status);
  if (!status.ok()) return;
  krn::Krn_file_buffer output(wide(path), krn::KRN_FILE_CREATE_ALWAYS, krn::KRN_FILE_ACCESS_READ_WRITE, 0,
                              krn::KRN_FILE_SHARE_NONE, status);
  if (status.ok()) build_data_set(keys, schema, intermediate, output, status);
}

TEST_F(DataSetVerify, EveryFileTheBuildWritesIsSound) {
  const Tla_schema schema = {{u"Name", TLA_SIMPLE_FORMATTER_ID},
                             {u"Surname", TLA_SIMPLENC_FORMATTER_ID},
                             {u"Card", TLA_CCNUM_FORMATTER_ID}};
  const std::vector<std::string> names = {"Anne", "Jean-Luc", "Zo\xC3\xAB", "\xE6\x9D\x8E \xE5\xB0\x8F", "", "a b c"};
  const std::vector<std::string> surnames = {"Miller", "MILLER", "van Dam", "Bront\xC3\xAB", "O'Neil", "x-y"};
  std::mt19937 random(20240607);
  for (std::size_t size : {1u, 2u, 9u, 300u, 1200u}) {
    std::vector<std::vector<Wstring>> records;
    for (std::size_t r = 0; r < size; ++r) {
      // Few distinct values, so that keys and whole records repeat.
      records.push_back({wide(names[random() % names.size()]), wide(surnames[random() % surnames.size()]),
                         wide(std::to_string(4000 + random() % (size / 3 + 2)) + " 1111")});
    }
    for (const std::vector<Wstring>& keys : std::vector<std::vector<Wstring>>{{u"Surname"}, {u"Card", u"Surname"}}) {
      SCOPED_TRACE(std::to_string(size) + " records, " + std::to_string(keys.size()) + " keys");
      const std::string path = (m_folder.path() / ("built" + std::to_string(m_files++) + ".kds")).string();
      Krn_status status;
      build_with_library(path, schema, keys, records, status);
      ASSERT_FALSE(status.is_error());
      Tla_data_set_connector_file connector;
      connector.set_property("DataFileName", wide(path), status);
      connector.open(status);
      connector.verify(status);
      EXPECT_TRUE(status.ok());
      EXPECT_EQ(connector.record_count(), size);
      // The index every search relies on: every record named once.
      std::vector<std::uint64_t> offsets = connector.record_offsets(status);
      std::sort(offsets.begin(), offsets.end());
      EXPECT_EQ(std::adjacent_find(offsets.begin(), offsets.end()), offsets.end());
      EXPECT_EQ(offsets.size(), size);
    }
  }
}

// Version-1 files of random texts, and version-2 files whose records cross
// the blocks the check reads.
TEST_F(DataSetVerify, LargeAndRandomFilesAreSoundUntilAnEntryRepeats) {
  std::mt19937 random(77);
  const std::vector<std::string> pieces = {"a", " ", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\t", "Z"};
  const auto text = [&](std::size_t length) {
    std::string out;
    while (out.size() < length) out += pieces[random() % pieces.size()];
    return out;
  };
  std::vector<dt::Plan> plans;
  for (std::size_t size : {1u, 40u, 2000u}) {
    dt::Plan old = old_people();
    old.texts.clear();
    for (std::size_t r = 0; r < size; ++r) old.texts.push_back({text(random() % 12), text(random() % 30)});
    old.hash = [](std::size_t r, std::size_t k) { return (r * 2654435761u + k) % 97; };
    plans.push_back(old);
  }
  // Values longer than the pieces the UTF-8 check takes, with characters of
  // 3 and 4 bytes across every cut.
  dt::Plan long_values = old_people();
  long_values.texts = {{"", "a"}, {"a", "\xF0\x9F\x98\x80"}};
  for (int i = 0; i < 70000; ++i) long_values.texts[0][0] += "\xE2\x82\xAC";
  for (int i = 0; i < 40000; ++i) long_values.texts[1][0] += "\xF0\x9F\x98\x80";
  plans.push_back(long_values);

  dt::Plan wide_fields;
  wide_fields.fields = {{"Id", "Simple"}, {"Tokens", "Simple"}};
  wide_fields.keys = {"Tokens", "Id"};
  for (std::uint64_t r = 0; r < 40; ++r) {
    const std::size_t count = r % 13 == 0 ? 65535 : random() % 9000;
    std::vector<std::uint64_t> crcs(count);
    for (auto& crc : crcs) crc = (std::uint64_t{random()} << 32) | random();
    wide_fields.records.push_back({{r % 5}, crcs});
  }
  plans.push_back(wide_fields);

  for (std::size_t p = 0; p < plans.size(); ++p) {
    SCOPED_TRACE("plan " + std::to_string(p));
    const dt::Built built = dt::build(plans[p]);
    ASSERT_TRUE(verify(built.bytes).ok());
    // One entry made to name another's record: the index then misses one,
    // which is what an upgrade must never copy.
    for (int trial = 0; trial < 3; ++trial) {
      const std::size_t count = built.record_offsets.size();
      if (count < 2) break;
      const std::size_t key = random() % built.entries_start.size();
      const std::size_t from = random() % count;
      std::size_t to = random() % count;
      if (to == from) to = (to + 1) % count;
      std::string bytes = built.bytes;
      dt::set_le(bytes, entry_position(built, key, to) + 8, get_le64(bytes, entry_position(built, key, from) + 8), 8);
      dt::seal(bytes);
      const Krn_status status = verify(bytes);
      ASSERT_TRUE(status.has_child());
      EXPECT_EQ(status.child()->value(), TLA_E_INDEX_REPEATS_RECORD);
      EXPECT_EQ(arg(*status.child(), 0), std::to_string(entry_position(built, key, std::max(from, to))));
    }
  }
}

// ---- The fuzz corpus ---------------------------------------------------------------

// The corpus holds files the fuzz loop bent. None may crash the check; one
// that load() refuses fails it the same way; one it passes must read back
// whole: every record listed once, and every one loadable.
TEST(DataSetVerifyCorpus, NoFileCrashesAndSoundOnesReadBackWhole) {
  const std::filesystem::path corpus = std::filesystem::path(KESTREL_SOURCE_DIR) / "kestrel/fuzz/corpus";
  ASSERT_TRUE(std::filesystem::is_directory(corpus));
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    SCOPED_TRACE(entry.path().filename().string());
    ++files;
    Tla_data_set_connector_file connector;
    Krn_status status;
    connector.set_property("DataFileName", wide(entry.path().string()), status);
    connector.open(status);
    ASSERT_TRUE(status.ok());
    connector.load(status, true);
    const Krn_status loaded = status;
    connector.close();
    connector.set_property("DataFileName", wide(entry.path().string()), status);
    connector.open(status);
    connector.verify(status);
    if (!loaded.ok()) {
      EXPECT_TRUE(status.compare(loaded, true, true));
    }
    if (!status.ok()) {
      EXPECT_TRUE(status.is_error());
      continue;
    }
    std::vector<std::uint64_t> offsets = connector.record_offsets(status);
    ASSERT_TRUE(status.ok());
    EXPECT_EQ(offsets.size(), connector.record_count());
    for (std::uint64_t offset : offsets) {
      std::unique_ptr<Tla_data_set_entry_base> record;
      connector.create_entry(record, static_cast<krn::int64>(offset), status);
      EXPECT_TRUE(status.ok()) << offset;
    }
  }
  EXPECT_GT(files, 0u);
}

}  // namespace
