// Key entries sorted within a memory budget: however small the budget, and
// however many runs go to the spill file, the index comes out as one sort
// of all entries would give it; and the limits of the format and the disk
// are met before anything is written.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "data_set_test_file.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "tla/tla_formatter.h"
#include "tla/tla_key_entries.h"
#include "tla/tla_status_codes.h"
#include "tla/tla_writer.h"

namespace {

using namespace tla;

TEST(TlaKeyEntries, MemorySettings) {
  struct Case {
    const char* text;
    bool ok;
    std::uint64_t bytes;
  };
  for (const Case& c : {Case{"64K", true, 65536}, Case{"256M", true, 256ull << 20}, Case{"2G", true, 2ull << 30},
                        Case{"4096", true, 4096}, Case{"1t", true, 1ull << 40}, Case{"", false, 0},
                        Case{"0", false, 0}, Case{"64KB", false, 0}, Case{"-1M", false, 0}, Case{"M", false, 0},
                        Case{"99999999999999999999", false, 0}, Case{"20000000T", false, 0}}) {
    std::uint64_t bytes = 0;
    EXPECT_EQ(tla_parse_memory(c.text, bytes), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(bytes, c.bytes) << c.text;
    }
  }
}

// Entries as a build makes them: offsets rising, hashes from a small set,
// so that equal hashes meet within runs and across them.
TEST(TlaKeyEntries, MergedRunsGiveTheOrderOfOneSort) {
  std::mt19937_64 random(23);
  data_set_test::Temp_folder folder;
  krn::Wstring spill_folder;
  krn::krn_utf8_to_utf16(folder.path().string(), spill_folder);
  for (const std::uint64_t budget : {std::uint64_t{64} << 10, std::uint64_t{1} << 20, TLA_DEFAULT_MEMORY}) {
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{5000}, std::size_t{100000}}) {
      SCOPED_TRACE(std::to_string(budget) + " bytes, " + std::to_string(count) + " entries");
      Tla_entry_space space(budget, 2, spill_folder);
      Tla_key_entries entries(space);
      Tla_key_entries other(space);  // a second key shares the budget
      std::vector<Tla_index_entry> expected;
      krn::Krn_status status;
      for (std::size_t i = 0; i < count && status.ok(); ++i) {
        const Tla_index_entry entry{random() % 997 * 0x9E3779B97F4A7C15ull, 64 + i * 11};
        expected.push_back(entry);
        entries.add(entry.hash, entry.offset, status);
        if (status.ok()) other.add(~entry.hash, entry.offset, status);
      }
      ASSERT_TRUE(status.ok());
      std::stable_sort(expected.begin(), expected.end(),
                       [](const Tla_index_entry& a, const Tla_index_entry& b) { return a.hash < b.hash; });
      entries.close(status);
      ASSERT_TRUE(status.ok()) << status.value();
      std::vector<Tla_index_entry> merged;
      for (Tla_index_entry entry{}; entries.next(entry, status);) merged.push_back(entry);
      ASSERT_TRUE(status.ok());
      ASSERT_EQ(merged.size(), expected.size());
      for (std::size_t i = 0; i < merged.size(); ++i) {
        ASSERT_EQ(merged[i].hash, expected[i].hash) << i;
        ASSERT_EQ(merged[i].offset, expected[i].offset) << i;
      }
      // The smallest budget did spill, the default did not.
      if (budget == TLA_DEFAULT_MEMORY) {
        EXPECT_EQ(space.spilled(), 0u);
      } else if (budget < (1u << 20) && count >= 5000) {
        EXPECT_GT(space.spilled(), 0u);
      }
    }
  }
}

TEST(TlaKeyEntries, ABudgetTooSmallToMergeSaysSo) {
  Tla_entry_space space(4096, 1, krn::Wstring());
  Tla_key_entries entries(space);
  krn::Krn_status status;
  for (std::uint64_t i = 0; i < 20000 && status.ok(); ++i) entries.add(i * 0x9E3779B97F4A7C15ull, i, status);
  ASSERT_TRUE(status.ok());
  entries.close(status);
  EXPECT_EQ(status, TLA_E_MEMORY_TOO_SMALL);
}

// The limits lie billions of records away: the writer is told it has
// counted almost that many already.
TEST(TlaKeyEntries, LimitsAndDiskSpaceAreMetBeforeAnythingIsWritten) {
  const Tla_schema schema = {{u"Card", TLA_CCNUM_FORMATTER_ID}};
  const std::vector<krn::Wstring> keys = {u"Card"};
  const std::vector<std::uint64_t> positions = {0};
  const std::string record("\x00\x00\x00", 3);
  const std::vector<std::uint32_t> starts = {0};
  struct Case {
    std::vector<krn::Wstring> keys;
    std::vector<std::uint64_t> positions;
    std::uint64_t counted;
    unsigned expected;
  };
  // A reader's block table ends below 16384 * 32769 entries over all keys:
  // with one key that comes before the header's count does.
  for (const Case& c : {Case{keys, positions, 0xFFFFFFFFull, TLA_E_TOO_MANY_RECORDS},
                        Case{keys, positions, 536887294ull, 0},
                        Case{keys, positions, 536887295ull, TLA_E_DATA_SET_TOO_LARGE},
                        Case{{u"Card", u"Card", u"Card"}, {0, 0, 0}, 178962431ull, TLA_E_DATA_SET_TOO_LARGE}}) {
    krn::Krn_heap_buffer output;
    Tla_data_set_writer writer(output, c.keys, schema, c.positions);
    krn::Krn_status status;
    writer.begin(status);
    ASSERT_TRUE(status.ok());
    const krn::int64 size = output.size(false, status);
    writer.count_from(c.counted);
    writer.append(record, starts, std::vector<std::uint64_t>(c.keys.size(), 0), status);
    if (c.expected == 0) {
      EXPECT_TRUE(status.ok());
      continue;
    }
    EXPECT_EQ(status, c.expected);
    krn::Krn_status sized;
    EXPECT_EQ(output.size(false, sized), size);
  }

  krn::Krn_heap_buffer output;
  Tla_data_set_writer writer(output, keys, schema, positions);
  krn::Krn_status status;
  writer.check_space(1000, 10, status);
  EXPECT_TRUE(status.ok());
  writer.check_space(std::uint64_t{1} << 62, 10, status);
  EXPECT_EQ(status, TLA_E_DISK_SPACE);
}

TEST(TlaKeyEntries, ABuildInATinyBudgetWritesTheSameFile) {
  cli_test::Folder folder;
  std::string input;
  for (int i = 0; i < 30000; ++i) {
    input += "Given" + std::to_string(i % 300) + "\tName " + std::to_string(i % 70) + "\t" +
             std::to_string(4000000000000000ull + static_cast<std::uint64_t>(i) * 7919) + "\n";
  }
  folder.write("in.tsv", input);
  const std::vector<std::string> args = {"-k", "CardNum", "-k", "Surname", "-s", cli_test::SCHEMA, "-i", "in.tsv", "-o"};
  auto build = [&](const std::string& memory, const std::string& output) {
    std::string command = "KESTREL_MEMORY=" + cli_test::quote(memory) + " " + cli_test::quote(cli_test::KESTREL);
    for (const std::string& arg : args) command += " " + cli_test::quote(arg);
    return folder.shell(command + " " + output);
  };
  ASSERT_EQ(build("", "plain.kds").exit_code, 0);
  const cli_test::Result tiny = build("32K", "tiny.kds");
  ASSERT_EQ(tiny.exit_code, 0) << tiny.err;
  EXPECT_EQ(folder.read("tiny.kds"), folder.read("plain.kds"));

  for (const std::string& memory : {std::string("2K"), std::string("lots")}) {
    const cli_test::Result refused = build(memory, "refused.kds");
    EXPECT_EQ(refused.exit_code, cli_test::FAILED);
    EXPECT_NE(refused.err.find("KESTREL_MEMORY"), std::string::npos) << refused.err;
    EXPECT_FALSE(folder.exists("refused.kds"));
  }
  EXPECT_TRUE(folder.temporary_folder_empty());
}

}  // namespace
