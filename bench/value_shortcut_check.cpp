// Holds the shortcut path of a field value's tokens against the codec path
// over millions of values, and times both.
//
//   value_shortcut_check [values] [seed]
//
// Three samples, each value in the formats that matter for it:
//   every character of the Basic Multilingual Plane in seven contexts, in
//     all three formats;
//   values shaped like the example's records (given name Simple, surname
//     SimpleNC, card number CCNUMBER), the bulk of a real build;
//   generated values of every script and shape (value_shortcut_samples.h),
//     in all three formats.
// For each sample it prints how many values the shortcut answered, how many
// of those disagree with the codec path, and the time per value of the
// shortcut, of the codec path (UTF-8 to UTF-16, trim, format, codec), and of
// the two together as a build would run them (shortcut, else codec). Exits
// with 1 when anything disagrees.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_format.h"
#include "tla/tla_data_set_tokens.h"
#include "tla/tla_value_shortcut.h"
#include "value_shortcut_samples.h"

namespace {

using value_shortcut_samples::Format_case;
using value_shortcut_samples::FORMATS;
using value_shortcut_samples::Sequence;

using Clock = std::chrono::steady_clock;

struct Sample_value {
  std::string bytes;
  const Format_case* format;
};

struct Totals {
  std::uint64_t values = 0;
  std::uint64_t answered = 0;
  std::uint64_t mismatches = 0;
  std::uint64_t refused_by_codec = 0;
  double shortcut_seconds = 0;
  double codec_seconds = 0;
  double combined_seconds = 0;
};

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The codec path as the record encoder runs it, one cutter for all values.
class Codec_path {
 public:
  bool append(const Sample_value& value, std::string& out) {
    krn::krn_utf8_to_utf16(value.bytes, m_wide);
    krn::Krn_status status;
    m_cutter.cut_value(value.format->type, m_wide, m_crcs, status);
    if (!status.ok() || m_crcs.size() > tla::TLA_MAX_TOKENS_PER_FIELD) return false;
    tla::tla_append_field_tokens(out, m_crcs);
    return true;
  }

 private:
  tla::Tla_token_cutter m_cutter;
  krn::Wstring m_wide;
  std::vector<std::uint64_t> m_crcs;
};

// Runs one batch through both paths, each timed on its own, then compares.
void run_batch(const std::vector<Sample_value>& batch, Codec_path& codec, Totals& totals) {
  std::vector<std::string> shortcut_out(batch.size());
  std::vector<char> answered(batch.size());
  auto start = Clock::now();
  for (std::size_t i = 0; i < batch.size(); ++i) {
    std::size_t count = 0;
    const Sample_value& value = batch[i];
    answered[i] = tla::tla_shortcut_field_tokens(value.format->format, value.bytes.data(), value.bytes.size(),
                                                  shortcut_out[i], count);
  }
  totals.shortcut_seconds += seconds_since(start);

  std::vector<std::string> codec_out(batch.size());
  std::vector<char> stored(batch.size());
  start = Clock::now();
  for (std::size_t i = 0; i < batch.size(); ++i) stored[i] = codec.append(batch[i], codec_out[i]);
  totals.codec_seconds += seconds_since(start);

  // What a build pays: the shortcut, and the codec for the values it declines.
  std::string out;
  start = Clock::now();
  for (const Sample_value& value : batch) {
    out.clear();
    std::size_t count = 0;
    if (!tla::tla_shortcut_field_tokens(value.format->format, value.bytes.data(), value.bytes.size(), out, count)) {
      codec.append(value, out);
    }
  }
  totals.combined_seconds += seconds_since(start);

  for (std::size_t i = 0; i < batch.size(); ++i) {
    ++totals.values;
    if (!stored[i]) ++totals.refused_by_codec;
    if (!answered[i]) continue;
    ++totals.answered;
    if (stored[i] && shortcut_out[i] == codec_out[i]) continue;
    if (++totals.mismatches <= 20) {
      std::printf("  MISMATCH %s \"%s\"\n", batch[i].format->name,
                  value_shortcut_samples::escaped(batch[i].bytes).c_str());
    }
  }
}

void report(const char* sample, const Totals& totals) {
  const double n = static_cast<double>(totals.values);
  std::printf("%-28s %10llu values  answered %5.1f%%  mismatches %llu  codec refused %llu\n", sample,
              static_cast<unsigned long long>(totals.values), 100.0 * static_cast<double>(totals.answered) / n,
              static_cast<unsigned long long>(totals.mismatches),
              static_cast<unsigned long long>(totals.refused_by_codec));
  std::printf("%-28s shortcut %8.1f ns/value  codec %8.1f ns/value  shortcut else codec %8.1f ns/value\n", "",
              1e9 * totals.shortcut_seconds / n, 1e9 * totals.codec_seconds / n, 1e9 * totals.combined_seconds / n);
}

constexpr std::size_t BATCH = 50000;

Totals basic_plane_sample(Codec_path& codec) {
  const char* const CONTEXTS[][2] = {
      {"", ""}, {"a", "b"}, {"9", "'s"}, {"1990'", " x"}, {"'1", "s"}, {"O'", "'s"}, {" ", " z"},
  };
  Totals totals;
  std::vector<Sample_value> batch;
  for (unsigned cp = 1; cp < 0x10000; ++cp) {
    if (!value_shortcut_samples::is_input_character(cp)) continue;
    for (const auto& context : CONTEXTS) {
      std::string value = context[0];
      value_shortcut_samples::append_utf8(value, cp);
      value += context[1];
      for (const Format_case& format : FORMATS) batch.push_back({value, &format});
    }
    if (batch.size() >= BATCH) {
      run_batch(batch, codec, totals);
      batch.clear();
    }
  }
  run_batch(batch, codec, totals);
  return totals;
}

// The shapes bench/records_gen writes.
const char* const GIVEN[] = {"Anne", "Jean-Luc", "Zo\u00eb", "J\u00fcrgen", "Lars", "Jos\u00e9", "Anton\u00edn",
                             "Siobhan", "Pieter", "Iain", "Claire", "Luc\u00eda", "Bj\u00f6rn", "Fran\u00e7ois",
                             "Agnieszka", "S\u00f8ren", "Ngozi", "Mei", "Hiroshi", "Fatima", "Dmitri",
                             "\u00c9lodie", "\u00d3lafur", "Maria", "Connor", "Ingrid", "Yusuf", "Chlo\u00e9",
                             "Rafael", "Kasia", "Aoife", "Tom\u00e1s"};
const char* const SURNAMES[] = {"O'Neil", "Picard", "Bront\u00eb", "M\u00dcLLER", "\u00c5str\u00f6m",
                                "N\u00fa\u00f1ez", "Dvo\u0159\u00e1k", "o'brien", "van der Berg", "McDonald",
                                "DUPONT", "Garc\u00eda", "\u00d8rsted", "Lef\u00e8vre", "Wi\u015bniewska",
                                "Kierkeg\u00e5rd", "Okonkwo", "Chen", "Tanaka", "El-Amin", "Ivanov", "d'Arcy",
                                "J\u00f3nsson", "da Silva", "MacLeod", "Bergstr\u00f6m", "\u00d6zt\u00fcrk",
                                "Beno\u00eet", "Gon\u00e7alves", "Nowak", "smith", "Smith-Jones"};

std::string card_number(Sequence& random) {
  std::string digits;
  for (int i = 0; i < 16; ++i) digits += static_cast<char>('0' + random.below(10));
  const auto group = [&](int i) { return digits.substr(static_cast<std::size_t>(i) * 4, 4); };
  switch (random.below(4)) {
    case 0: return group(0) + " " + group(1) + " " + group(2) + " " + group(3);
    case 1: return group(0) + "-" + group(1) + "-" + group(2) + "-" + group(3);
    case 2: return group(0) + " " + group(1) + "-" + group(2) + " " + group(3);
    default: return digits;
  }
}

Totals record_sample(Codec_path& codec, std::uint64_t records, std::uint64_t seed) {
  Sequence random(seed);
  Totals totals;
  std::vector<Sample_value> batch;
  for (std::uint64_t i = 0; i < records; ++i) {
    batch.push_back({value_shortcut_samples::pick(GIVEN, random), &FORMATS[0]});
    batch.push_back({value_shortcut_samples::pick(SURNAMES, random), &FORMATS[1]});
    batch.push_back({card_number(random), &FORMATS[2]});
    if (batch.size() >= BATCH) {
      run_batch(batch, codec, totals);
      batch.clear();
    }
  }
  run_batch(batch, codec, totals);
  return totals;
}

Totals generated_sample(Codec_path& codec, std::uint64_t values, std::uint64_t seed) {
  Sequence random(seed);
  Totals totals;
  std::vector<Sample_value> batch;
  for (std::uint64_t i = 0; i < values; ++i) {
    const std::string value = value_shortcut_samples::make_value(random);
    for (const Format_case& format : FORMATS) batch.push_back({value, &format});
    if (batch.size() >= BATCH) {
      run_batch(batch, codec, totals);
      batch.clear();
    }
  }
  run_batch(batch, codec, totals);
  return totals;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t values = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2000000;
  const std::uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 2208;
  Codec_path codec;

  const Totals plane = basic_plane_sample(codec);
  report("Basic Plane x 7 contexts", plane);
  const Totals records = record_sample(codec, values / 3, seed);
  report("record-shaped values", records);
  const Totals generated = generated_sample(codec, values / 3, seed + 1);
  report("generated values x 3", generated);

  const std::uint64_t mismatches = plane.mismatches + records.mismatches + generated.mismatches;
  std::printf("total mismatches: %llu\n", static_cast<unsigned long long>(mismatches));
  return mismatches == 0 ? 0 : 1;
}
