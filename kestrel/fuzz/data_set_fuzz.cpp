// Feeds mutated data set files to the reader, and version-1 files that load
// to the upgrade, for a bounded time. Any crash, sanitizer report, escaped
// exception, hang, upgrade that reports success but writes a file the
// reader or its deep check refuses, or file the deep check passes but whose
// records do not all load, fails the run.
//
// A plain mutation loop, so that it builds and runs with the project's own
// compiler and sanitizers. Inputs that make the reader behave in a way not
// seen before (a new outcome of one of its operations) join the pool and are mutated
// further; with --save they are also written out, which is how the corpus in
// corpus/ was grown.
//
//   data_set_fuzz [--corpus DIR] [--seconds N] [--seed N] [--save DIR]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "data_set_test_file.h"
#include "krn/krn_crc.h"
#include "krn/krn_file_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_connector.h"
#include "tla/tla_data_set_format.h"
#include "tla/tla_data_set_tokens.h"
#include "tla/tla_formatter.h"
#include "tla/tla_upgrade.h"

namespace {

namespace dt = data_set_test;
namespace fs = std::filesystem;

constexpr std::size_t INPUT_LIMIT = 1 << 20;
constexpr std::size_t POOL_LIMIT = 4096;
constexpr std::size_t ENTRIES_PER_RUN = 64;
constexpr auto HANG_LIMIT = std::chrono::seconds(20);

// The values the seeds store, and so the values worth searching for.
const char* const VALUES[] = {"Miller", "van Dam", "4111 1111 1111 1111", "J\xC3\xBCrgen", " lead", "a b c", "x", ""};

krn::Wstring wide(const std::string& utf8) {
  krn::Wstring out;
  krn::krn_utf8_to_utf16(utf8, out);
  return out;
}

std::vector<std::uint64_t> crcs_of(const krn::GUID& type, const std::string& value) {
  std::vector<std::uint64_t> crcs;
  krn::Krn_status status;
  tla::value_token_crcs(type, wide(value), crcs, status);
  return crcs;
}

// Valid files of both versions, small and block-sized, with collisions.
std::vector<std::string> built_seeds() {
  std::vector<std::string> seeds;
  dt::Plan people;
  people.fields = {{"Surname", "SimpleNC"}, {"Card", "CCNUMBER"}, {"Note", "Simple"}};
  people.keys = {"Surname", "Card"};
  for (std::size_t i = 0; i < 12; ++i) {
    const std::string a = VALUES[i % 8];
    const std::string b = VALUES[(i * 3) % 8];
    people.records.push_back({crcs_of(tla::TLA_SIMPLENC_FORMATTER_ID, a), crcs_of(tla::TLA_CCNUM_FORMATTER_ID, b),
                              crcs_of(tla::TLA_SIMPLE_FORMATTER_ID, a + b)});
  }
  seeds.push_back(dt::build(people).bytes);

  dt::Plan collisions = people;
  collisions.keys = {"Surname"};
  collisions.hash = [](std::size_t r, std::size_t) { return r < 6 ? 0x8000000000000000ull : 0x9000000000000000ull; };
  seeds.push_back(dt::build(collisions).bytes);

  dt::Plan empty = people;
  empty.records.clear();
  seeds.push_back(dt::build(empty).bytes);

  dt::Plan old;
  old.version = 1;
  std::copy(std::begin(tla::TLA_V1_SCRAMBLE_KEY), std::end(tla::TLA_V1_SCRAMBLE_KEY), old.scramble_key);
  old.fields = {{"Name", "Simple"}, {"City", "SimpleNC"}};
  old.keys = {"Name", "City"};
  for (std::size_t i = 0; i < 8; ++i) old.texts.push_back({VALUES[i], VALUES[7 - i]});
  old.hash = [](std::size_t r, std::size_t k) { return (r + k) / 2; };
  seeds.push_back(dt::build(old).bytes);

  // Just over one block, so that runs cross a block boundary.
  dt::Plan many;
  many.fields = {{"Id", "Simple"}};
  many.keys = {"Id"};
  const std::vector<std::uint64_t> value = crcs_of(tla::TLA_SIMPLE_FORMATTER_ID, "Miller");
  for (std::uint64_t r = 0; r < 4100; ++r) many.records.push_back({r % 7 == 0 ? value : std::vector<std::uint64_t>{r}});
  many.hash = [&](std::size_t r, std::size_t) -> std::uint64_t {
    return r >= 4090 ? dt::key_hash(value) : static_cast<std::uint64_t>(r);
  };
  seeds.push_back(dt::build(many).bytes);
  return seeds;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class Mutator {
 public:
  explicit Mutator(std::uint64_t seed) : m_random(seed) {}

  std::size_t below(std::size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random); }
  bool chance(unsigned percent) { return below(100) < percent; }

  std::uint64_t interesting(const std::string& file) {
    const std::uint64_t values[] = {0,
                                    1,
                                    2,
                                    7,
                                    8,
                                    16,
                                    32,
                                    0x7F,
                                    0xFF,
                                    0xFFFF,
                                    0x10000,
                                    0x7FFFFFFF,
                                    0xFFFFFFFF,
                                    0x100000000ull,
                                    0x7FFFFFFFFFFFFFFFull,
                                    0x8000000000000000ull,
                                    ~std::uint64_t{0},
                                    file.size(),
                                    file.size() - 1,
                                    file.size() + 1,
                                    file.size() / 2,
                                    m_random()};
    return values[below(std::size(values))];
  }

  void mutate(std::string& file, const std::vector<std::string>& pool) {
    const std::size_t steps = 1 + below(6);
    for (std::size_t step = 0; step < steps; ++step) {
      switch (below(9)) {
        case 0:  // a bit
          if (!file.empty()) file[below(file.size())] ^= static_cast<char>(1u << below(8));
          break;
        case 1: {  // a byte
          const char bytes[] = {0, 0x0A, 0x01, 0x7F, static_cast<char>(0x80), static_cast<char>(0xFF)};
          if (!file.empty()) file[below(file.size())] = chance(50) ? bytes[below(6)] : static_cast<char>(m_random());
          break;
        }
        case 2: {  // a header field
          const std::size_t fields[][2] = {{16, 8}, {24, 2}, {26, 2}, {28, 4}};
          const auto& field = fields[below(4)];
          if (file.size() >= field[0] + field[1]) dt::set_le(file, field[0], interesting(file), static_cast<int>(field[1]));
          break;
        }
        case 3:  // an aligned word: index hashes and offsets
          if (file.size() >= 16) dt::set_le(file, (below(file.size() / 8 - 1) * 8), interesting(file), 8);
          break;
        case 4:  // a big-endian token count
          if (file.size() >= 2) {
            const std::size_t at = below(file.size() - 1);
            file[at] = static_cast<char>(m_random());
            file[at + 1] = static_cast<char>(m_random());
          }
          break;
        case 5: {  // insert
          std::string bytes(1 + below(16), '\0');
          for (char& c : bytes) c = static_cast<char>(chance(50) ? 0 : m_random());
          file.insert(below(file.size() + 1), bytes);
          break;
        }
        case 6:  // erase
          if (!file.empty()) {
            const std::size_t at = below(file.size());
            file.erase(at, 1 + below(std::min<std::size_t>(32, file.size() - at)));
          }
          break;
        case 7:  // truncate
          file.resize(below(file.size() + 1));
          break;
        default: {  // copy a 16-byte stretch from here or another input
          const std::string& from = pool[below(pool.size())];
          if (from.size() >= 16 && file.size() >= 16) {
            file.replace(below(file.size() - 15), 16, from, below(from.size() - 15), 16);
          }
          break;
        }
      }
    }
    if (file.size() > INPUT_LIMIT) file.resize(INPUT_LIMIT);
    // Most files get a valid checksum, or the reader would stop at it.
    if (chance(85)) dt::seal(file);
  }

  std::mt19937_64& random() { return m_random; }

 private:
  std::mt19937_64 m_random;
};

// What an input made the reader do: one feature per kind of outcome of each
// operation. An input that shows a feature not seen before is kept.
using Features = std::set<std::uint64_t>;

enum Operation : std::uint64_t { LOAD = 1, SHAPE, OFFSETS, ENTRY, TOKENS, TEXT, STRAY, FIND, FOUND, UPGRADE, VERIFY };

void note(Features& features, Operation operation, std::uint64_t outcome) {
  features.insert(operation << 40 | (outcome & 0xFFFFFFFFFFull));
}

std::uint64_t bucket(std::uint64_t n) { return n < 3 ? n : n < 4096 ? 3 : n == 4096 ? 4 : 5; }

// Upgrades a version-1 file into upgraded_path. A success must leave a
// current file that the reader loads with the same number of records.
void upgrade(const std::string& path, std::uint32_t records, const std::string& upgraded_path, Features& features) {
  krn::Krn_status status;
  {
    krn::Krn_file_buffer output(wide(upgraded_path), krn::KRN_FILE_CREATE_ALWAYS, krn::KRN_FILE_ACCESS_READ_WRITE, 0,
                                krn::KRN_FILE_SHARE_NONE, status);
    if (!status.ok()) throw std::runtime_error("the upgrade's output could not be created");
    tla::upgrade_data_set(path, output, status);
  }
  note(features, UPGRADE, status.value());
  // Repeated records are a warning, and the file is written all the same.
  if (status.is_error()) return;
  status.clear();
  tla::Tla_data_set_connector_file upgraded;
  upgraded.set_property("DataFileName", wide(upgraded_path), status);
  upgraded.open(status);
  upgraded.load(status, false);
  if (status.ok()) upgraded.verify(status);
  if (!status.ok() || upgraded.version() != tla::TLA_DATA_SET_VERSION || upgraded.record_count() != records) {
    throw std::runtime_error("an upgrade that succeeded wrote a file the reader refuses");
  }
}

// Runs every reader operation on the file, and the upgrade on a loaded
// version-1 file.
Features exercise(const std::string& path, bool accept_older, const std::string& upgraded_path,
                  std::mt19937_64& random) {
  Features features;
  tla::Tla_data_set_connector_file reader;
  krn::Krn_status status;
  reader.set_property("DataFileName", wide(path), status);
  reader.open(status);
  if (!status.ok()) throw std::runtime_error("the fuzz input could not be opened");
  reader.load(status, accept_older);
  note(features, LOAD, std::uint64_t{status.value()} << 1 | accept_older);
  if (!status.ok()) return features;
  // The deep check must agree with what the reader hands out: every record
  // of a file it passes is listed once and loads.
  reader.verify(status);
  const bool sound = status.ok();
  note(features, VERIFY, status.has_child() ? status.child()->value() : status.value());
  const std::uint64_t version_1 = reader.version() == 1;
  note(features, SHAPE,
       version_1 | bucket(reader.record_count()) << 1 | bucket(reader.key_count()) << 4 |
           bucket(reader.schema()->size()) << 7 | std::uint64_t{reader.index_offset() == reader.data_start()} << 10);

  const std::vector<std::uint64_t> offsets = reader.record_offsets(status);
  note(features, OFFSETS, std::uint64_t{status.value()} << 3 | bucket(offsets.size()));
  if (sound && !reader.key_tables().empty() && (!status.ok() || offsets.size() != reader.record_count())) {
    throw std::runtime_error("a file the deep check passes does not list its records");
  }
  for (std::size_t i = 0; i < offsets.size() && i < ENTRIES_PER_RUN; ++i) {
    std::unique_ptr<tla::Tla_data_set_entry_base> entry;
    reader.create_entry(entry, static_cast<krn::int64>(offsets[i]), status);
    note(features, ENTRY, std::uint64_t{status.value()} << 1 | version_1);
    if (sound && !status.ok()) throw std::runtime_error("a file the deep check passes holds a record that fails");
    if (!entry) continue;
    for (const tla::Tla_field_descriptor& field : *reader.schema()) {
      std::vector<std::uint64_t> crcs;
      krn::Wstring text;
      krn::GUID type{};
      const bool has_tokens = entry->tokens(field.name, crcs, type);
      note(features, TOKENS, has_tokens | bucket(crcs.size()) << 1 | version_1 << 4);
      const bool has_text = entry->text(field.name, text, type);
      note(features, TEXT, has_text | bucket(text.size()) << 1);
    }
  }
  // Offsets nobody listed: the reader must refuse or read them safely.
  std::unique_ptr<tla::Tla_data_set_entry_base> stray;
  reader.create_entry(stray, static_cast<krn::int64>(random() % (reader.index_offset() + 16)), status);
  note(features, STRAY, status.value());

  std::vector<krn::Wstring> keys;
  for (const tla::Tla_key_table& table : reader.key_tables()) {
    if (keys.size() < 4) keys.push_back(table.name);
  }
  keys.push_back(u"no such key");
  for (const krn::Wstring& key : keys) {
    const std::uint64_t known = key != keys.back();
    for (const char* value : VALUES) {
      tla::Tla_entry_list found;
      tla::Tla_search_value search;
      search.text = wide(value);
      search.key_hash = random() % 8;
      reader.find(search, key, found, status);
      note(features, FIND, std::uint64_t{status.value()} << 2 | known << 1 | version_1);
      note(features, FOUND, bucket(found.size()) << 2 | known << 1 | version_1);
    }
  }
  if (version_1) {
    const std::uint32_t records = reader.record_count();
    reader.close();
    upgrade(path, records, upgraded_path, features);
  }
  return features;
}

// Aborts the process when one input takes too long: a hang is a failure too.
class Watchdog {
 public:
  Watchdog() : m_thread([this] { watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
  }
  void start(const std::string& input_path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_input = input_path;
    m_started = std::chrono::steady_clock::now();
    m_busy = true;
  }
  void done() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_busy = false;
  }

 private:
  void watch() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
      m_wake.wait_for(lock, std::chrono::seconds(1));
      if (m_busy && std::chrono::steady_clock::now() - m_started > HANG_LIMIT) {
        std::cerr << "data_set_fuzz: the reader hangs on " << m_input << std::endl;
        std::abort();
      }
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stop = false;
  bool m_busy = false;
  std::string m_input;
  std::chrono::steady_clock::time_point m_started;
  std::thread m_thread;
};

}  // namespace

int main(int argc, char** argv) {
  fs::path corpus;
  fs::path save;
  double seconds = 25;
  std::uint64_t seed = std::random_device{}();
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--corpus") corpus = argv[i + 1];
    else if (option == "--save") save = argv[i + 1];
    else if (option == "--seconds") seconds = std::atof(argv[i + 1]);
    else if (option == "--seed") seed = std::strtoull(argv[i + 1], nullptr, 10);
  }
  std::cout << "data_set_fuzz: seed " << seed << std::endl;

  std::vector<std::string> pool = built_seeds();
  if (!corpus.empty() && fs::is_directory(corpus)) {
    for (const auto& entry : fs::directory_iterator(corpus)) {
      if (entry.is_regular_file()) pool.push_back(read_file(entry.path()));
    }
  }
  dt::Temp_folder folder;
  if (folder.path().empty()) {
    std::cerr << "data_set_fuzz: no temporary folder" << std::endl;
    return 1;
  }
  if (!save.empty()) fs::create_directories(save);
  // A crash leaves the input that caused it here.
  std::cout << "data_set_fuzz: inputs go to " << (folder.path() / "input.dat").string() << std::endl;

  Mutator mutator(seed);
  Watchdog watchdog;
  Features seen;
  const fs::path input = folder.path() / "input.dat";
  const fs::path upgraded = folder.path() / "upgraded.dat";
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  std::uint64_t runs = 0;
  std::size_t initial = pool.size();
  try {
    while (std::chrono::steady_clock::now() < end) {
      // The pool itself first, unchanged; then mutations of it.
      std::string file = runs < initial ? pool[runs] : pool[mutator.below(pool.size())];
      if (runs >= initial) mutator.mutate(file, pool);
      write_file(input, file);
      const bool accept_older = mutator.chance(50);
      watchdog.start(input.string());
      const Features features = exercise(input.string(), accept_older, upgraded.string(), mutator.random());
      watchdog.done();
      ++runs;
      bool fresh = false;
      for (std::uint64_t feature : features) fresh = seen.insert(feature).second || fresh;
      if (fresh && runs > initial) {
        if (pool.size() < POOL_LIMIT) pool.push_back(file);
        if (!save.empty()) {
          std::ostringstream name;
          name << std::hex << std::setw(16) << std::setfill('0') << krn::Krn_crc64::calculate(file.data(), file.size());
          write_file(save / name.str(), file);
        }
      }
    }
  } catch (const std::exception& error) {
    const fs::path kept = fs::temp_directory_path() / "data_set_fuzz_failure.dat";
    fs::copy_file(input, kept, fs::copy_options::overwrite_existing);
    std::cerr << "data_set_fuzz: exception \"" << error.what() << "\" from the reader; input kept in " << kept
              << std::endl;
    return 1;
  }
  std::cout << "data_set_fuzz: " << runs << " inputs, " << seen.size() << " features, pool " << pool.size()
            << std::endl;
  return 0;
}
