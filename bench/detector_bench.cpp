// Time to detect the encoding of a buffer: the whole detection (features of
// the first mebibyte, the trees, and the plain checks over the buffer).
// Targets: a 1 MiB buffer in at most 30 ms, a 4 KiB one in at most 1 ms
// (medians, hence the repetitions).

#include <benchmark/benchmark.h>

#include <string>

#include "enr/enr_detect_convert.h"
#include "krn/krn_buffer.h"
#include "krn/krn_status.h"

namespace {

// Prose in the shape of real text: Latin-1 letters among ASCII, lines and
// punctuation, repeated to the size asked for.
std::string latin1_text(std::size_t size) {
  const std::string line =
      "Die Stra\xDF" "en von M\xFCnchen sind sch\xF6n; man gr\xFC\xDFt sich, tr\xE4gt Taschen und f\xE4hrt Rad.\n"
      "L'\xE9t\xE9 \xE0 Montr\xE9" "al est court, mais les caf\xE9s sont pleins et la f\xEAte continue.\n";
  std::string text;
  while (text.size() < size) text += line;
  text.resize(size);
  return text;
}

// Japanese in UTF-8, where the multi-byte generators do the most work.
std::string utf8_text(std::size_t size) {
  const std::string line =
      "\xE3\x81\x93\xE3\x82\x8C\xE3\x81\xAF\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x96\x87\xE7\xAB\xA0"
      "\xE3\x81\xA7\xE3\x81\x99\xE3\x80\x82 Debian \xE3\x82\x92\xE3\x82\xA4\xE3\x83\xB3\xE3\x82\xB9\xE3\x83\x88\n";
  std::string text;
  while (text.size() < size) text += line;
  text.resize(size);
  return text;
}

void detect(benchmark::State& state, std::string text) {
  krn::Krn_string_buffer buffer(text, true);
  enr::Enr_detect_convert detector;
  for (auto _ : state) {
    krn::Krn_status status;
    unsigned char flags = 0;
    benchmark::DoNotOptimize(detector.detect_character_encoding(&buffer, flags, status));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void detect_latin1(benchmark::State& state) { detect(state, latin1_text(static_cast<std::size_t>(state.range(0)))); }
void detect_utf8(benchmark::State& state) { detect(state, utf8_text(static_cast<std::size_t>(state.range(0)))); }

BENCHMARK(detect_latin1)->Arg(4 * 1024)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond)->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK(detect_utf8)->Arg(4 * 1024)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond)->Repetitions(9)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
