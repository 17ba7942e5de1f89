// Throughput of the CRC-64 that hashes every token text and checks every
// data set file: small blocks (the size of short token texts) and large ones
// (file checksums). Bytes per second are reported by Google Benchmark.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <random>
#include <vector>

#include "krn/krn_crc.h"

namespace {

std::vector<unsigned char> random_block(std::size_t size) {
  std::mt19937 rng(7);
  std::vector<unsigned char> block(size);
  for (auto& b : block) b = static_cast<unsigned char>(rng());
  return block;
}

void crc64_calculate(benchmark::State& state) {
  const auto block = random_block(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(krn::Krn_crc64::calculate(block.data(), block.size(), 42));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(crc64_calculate)->Arg(16)->Arg(64 * 1024);

// The plain table loop, one byte per call, for comparison with the block form.
void crc64_byte_update(benchmark::State& state) {
  const auto block = random_block(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    krn::Krn_crc64 crc;
    for (unsigned char b : block) crc.update(b);
    benchmark::DoNotOptimize(crc.result(true));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(crc64_byte_update)->Arg(64 * 1024);

void crc32_calculate(benchmark::State& state) {
  const auto block = random_block(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(krn::Krn_crc32::calculate(block.data(), block.size()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(crc32_calculate)->Arg(64 * 1024);

}  // namespace

BENCHMARK_MAIN();
