#ifndef BENCH_RANDOM_H
#define BENCH_RANDOM_H

// The generators' random numbers: splitmix64, small, fast and the same
// everywhere, so that a seed names the same inputs on every machine.

#include <cstddef>
#include <cstdint>
#include <vector>

class Sequence {
 public:
  explicit Sequence(std::uint64_t seed) : m_state(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
  std::size_t between(std::size_t low, std::size_t high) { return low + below(high - low + 1); }
  bool chance(double p) { return static_cast<double>(next() >> 11) * 0x1.0p-53 < p; }
  template <class T>
  const T& pick(const std::vector<T>& list) { return list[below(list.size())]; }

 private:
  std::uint64_t m_state;
};

#endif
