// The build reads its input in batches and encodes them on every core, with
// shortcuts and a cache of recent values; whatever the batches, threads and
// values, the file must be the one the plain record-by-record path writes.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "data_set_test_file.h"
#include "krn/krn_file.h"
#include "krn/krn_file_buffer.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "tla/tla_formatter.h"
#include "tla/tla_records.h"
#include "tla/tla_schema.h"
#include "tla/tla_status_codes.h"
#include "tla/tla_writer.h"

namespace {

using namespace tla;

const Tla_schema SCHEMA = {{u"Given", TLA_SIMPLE_FORMATTER_ID},
                           {u"Surname", TLA_SIMPLENC_FORMATTER_ID},
                           {u"Card", TLA_CCNUM_FORMATTER_ID}};

// Values of many shapes: the shortcut's, the cache's and the codec's.
std::string value(std::mt19937& random, std::size_t field, std::size_t record) {
  static const char* const WORDS[] = {"Anne", "Zo\xC3\xAB", "O'Neil", "van der Berg", "M\xC3\x9CLLER", "d'Arcy",
                                      "\xE5\xB1\xB1\xE7\x94\xB0", "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD", "  Smith ",
                                      "Jean-Luc", "'90s", "x", "\xEF\xBC\xA1\xEF\xBC\xA2", "e\xCC\x81t\xC3\xA9"};
  if (field == 2) {
    std::string digits = std::to_string(4000000000000000ull + record * 7919);
    switch (random() % 4) {
      case 0: return digits;
      case 1: return digits.substr(0, 4) + " " + digits.substr(4, 4) + "-" + digits.substr(8);
      case 2: return " " + digits + " ";
      default: return digits.substr(0, 8) + "\xEF\xBC\x8D" + digits.substr(8);  // a full-width hyphen
    }
  }
  std::string text = WORDS[random() % std::size(WORDS)];
  if (random() % 3 == 0) text += std::to_string(record % 50);
  return text;
}

void read_back(const krn::Krn_heap_buffer& output, std::string& bytes) {
  krn::Krn_status status;
  bytes.resize(static_cast<std::size_t>(output.size(false, status)));
  krn::int64 position = 0;
  output.read(false, position, bytes.size(), bytes.data(), status);
}

struct Built {
  std::string bytes;
  krn::Krn_status status;
};

// Through the batches and threads of a build.
Built build_in_batches(const std::string& input, const std::vector<krn::Wstring>& keys) {
  Built built;
  data_set_test::Temp_folder folder;
  const std::string path = folder.write("in.tsv", input);
  krn::Wstring wide;
  krn::krn_utf8_to_utf16(path, wide);
  krn::Krn_file file(wide, krn::KRN_FILE_ACCESS_READ, built.status);
  std::vector<std::uint64_t> positions;
  if (built.status.ok()) resolve_keys(SCHEMA, keys, positions, built.status);
  krn::Krn_heap_buffer output;
  Tla_data_set_writer writer(output, keys, SCHEMA, positions);
  if (built.status.ok()) writer.begin(built.status);
  if (built.status.ok() &&
      read_records(file, u"in.tsv", Tla_input_encoding(), SCHEMA, positions, writer, nullptr, built.status) == Tla_read_outcome::DONE) {
    writer.finish(built.status);
  }
  read_back(output, built.bytes);
  return built;
}

// Record by record through the codec, with no shortcut and no cache.
Built build_one_by_one(const std::vector<std::vector<std::string>>& records, const std::vector<krn::Wstring>& keys) {
  Built built;
  std::vector<std::uint64_t> positions;
  resolve_keys(SCHEMA, keys, positions, built.status);
  Tla_record_encoder encoder;
  std::string encoded;
  std::vector<krn::Wstring> values(SCHEMA.size());
  for (std::size_t r = 0; r < records.size() && built.status.ok(); ++r) {
    for (std::size_t f = 0; f < values.size(); ++f) {
      values[f].clear();
      krn::krn_string_append(values[f], records[r][f].data(), records[r][f].size());
    }
    encoder.encode_record(values, SCHEMA, positions, r + 1, encoded, built.status);
  }
  krn::Krn_heap_buffer intermediate;
  krn::int64 position = 0;
  if (built.status.ok()) intermediate.write(position, encoded.size(), encoded.data(), built.status);
  krn::Krn_heap_buffer output;
  if (built.status.ok()) build_data_set(keys, SCHEMA, intermediate, output, built.status);
  read_back(output, built.bytes);
  return built;
}

TEST(TlaBuildThreads, BatchesOnEveryCoreWriteTheFileOfTheRecordByRecordPath) {
  std::mt19937 random(2208);
  // Several batches, lines of every length, CR LF and LF, byte order marks,
  // a last line without its LF, repeats.
  for (const std::size_t count : {1u, 7u, 40000u}) {
    std::vector<std::vector<std::string>> records;
    std::string input = "\xEF\xBB\xBF";
    for (std::size_t r = 0; r < count; ++r) {
      std::vector<std::string> record;
      for (std::size_t f = 0; f < SCHEMA.size(); ++f) record.push_back(value(random, f, r));
      if (r % 1000 == 999) record = records[random() % records.size()];
      records.push_back(record);
      input += record[0] + "\t" + record[1] + "\t" + record[2];
      if (r + 1 < count || random() % 2 == 0) input += random() % 5 == 0 ? "\r\n" : "\n";
    }
    for (const std::vector<krn::Wstring>& keys :
         {std::vector<krn::Wstring>{u"Card"}, {u"Surname", u"Given", u"Card"}}) {
      SCOPED_TRACE(std::to_string(count) + " records, " + std::to_string(keys.size()) + " keys");
      const Built batched = build_in_batches(input, keys);
      const Built plain = build_one_by_one(records, keys);
      ASSERT_FALSE(batched.status.is_error()) << batched.status.value();
      ASSERT_FALSE(plain.status.is_error());
      // Repeats warn alike on both paths.
      EXPECT_EQ(batched.status.value(), plain.status.value());
      EXPECT_EQ(batched.bytes, plain.bytes);
    }
  }
}

TEST(TlaBuildThreads, TheFirstRefusedLineInInputOrderStopsTheRun) {
  std::string input;
  for (int r = 1; r <= 30000; ++r) {
    const std::string card = r == 21000 ? " - " : std::to_string(4000000 + r);
    input += "Given\tName" + std::to_string(r) + (r == 25000 ? "" : "\t" + card) + "\n";
  }
  const Built built = build_in_batches(input, {u"Card"});
  EXPECT_EQ(built.status, TLA_E_KEY_WITHOUT_TOKENS);
  ASSERT_EQ(built.status.num_args(), 2u);
  EXPECT_EQ(static_cast<const krn::Krn_uint_status_arg*>(*(built.status.begin() + 1))->value(), 21000u);
}

}  // namespace
