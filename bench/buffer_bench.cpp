// Buffer and stream throughput: the byte-by-byte read that the tool's input
// reader does, and sequential writes into a heap buffer.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "krn/krn_file_buffer.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_stream.h"

using namespace krn;

namespace {

constexpr int64 FILE_SIZE = 64ll * 1024 * 1024;

// One 64 MiB file for every run, deleted when the program ends.
class Bench_file {
 public:
  Bench_file() {
    std::random_device random;
    m_path = std::filesystem::temp_directory_path() / ("krn_buffer_bench_" + std::to_string(random()) + ".bin");
    Krn_status status;
    Krn_file_buffer buffer(m_path.u16string(), KRN_FILE_CREATE_NEW, KRN_FILE_ACCESS_READ_WRITE, 0,
                           KRN_FILE_SHARE_NONE, status);
    Krn_ostream out(buffer, status);
    std::vector<unsigned char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 13);
    for (int64 written = 0; written < FILE_SIZE && status.ok(); written += static_cast<int64>(block.size())) {
      out.write(block.size(), block.data(), status);
    }
    if (!status.ok()) std::abort();
  }
  ~Bench_file() {
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
  }
  Wstring name() const { return m_path.u16string(); }

 private:
  std::filesystem::path m_path;
};

Bench_file& bench_file() {
  static Bench_file file;
  return file;
}

void BM_buffered_istream_read_char_file(benchmark::State& state) {
  Krn_status status;
  Krn_file_buffer buffer(bench_file().name(), KRN_FILE_ACCESS_READ, status);
  if (!status.ok()) {
    state.SkipWithError("cannot open the file");
    return;
  }
  for (auto _ : state) {
    Krn_buffered_istream in(buffer, false, status);
    unsigned sum = 0;
    for (int64 i = 0; i < FILE_SIZE; ++i) sum += in.read_char();
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * FILE_SIZE);
}
BENCHMARK(BM_buffered_istream_read_char_file)->Unit(benchmark::kMillisecond);

// 16 MiB, the most one heap buffer keeps in memory by default, in pieces of
// the given size into a fresh buffer.
void BM_heap_buffer_sequential_write(benchmark::State& state) {
  constexpr int64 TOTAL = 16ll * 1024 * 1024;
  const auto piece = static_cast<uint64>(state.range(0));
  std::vector<unsigned char> data(piece, 0x5A);
  Krn_status status;
  for (auto _ : state) {
    Krn_heap_buffer buffer;
    int64 position = 0;
    while (position < TOTAL) buffer.write(position, piece, data.data(), status);
    benchmark::DoNotOptimize(position);
  }
  state.SetBytesProcessed(state.iterations() * TOTAL);
}
BENCHMARK(BM_heap_buffer_sequential_write)->Arg(64)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
