// Writes N invented records of the example's shape (given name, surname in
// mixed case and with accents, card number written in groups) to standard
// output, the same N records on every run. One record in a thousand repeats
// an earlier one, as real exports do.
//
//   records_gen N [seed] > records.tsv

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_random.h"

namespace {

const char* const GIVEN[] = {"Anne", "Jean-Luc", "Zoë", "Jürgen", "Lars", "José", "Antonín", "Siobhan",
                             "Pieter", "Iain", "Claire", "Lucía", "Björn", "François", "Agnieszka", "Søren",
                             "Ngozi", "Mei", "Hiroshi", "Fatima", "Dmitri", "Élodie", "Ólafur", "Maria",
                             "Connor", "Ingrid", "Yusuf", "Chloé", "Rafael", "Kasia", "Aoife", "Tomás"};
const char* const SURNAMES[] = {"O'Neil", "Picard", "Brontë", "MÜLLER", "Åström", "Núñez", "Dvořák",
                                "o'brien", "van der Berg", "McDonald", "DUPONT", "García", "Ørsted",
                                "Lefèvre", "Wiśniewska", "Kierkegård", "Okonkwo", "Chen", "Tanaka",
                                "El-Amin", "Ivanov", "d'Arcy", "Jónsson", "da Silva", "MacLeod",
                                "Bergström", "Öztürk", "Benoît", "Gonçalves", "Nowak", "smith", "Smith-Jones"};

template <std::size_t N>
const char* pick(const char* const (&list)[N], Sequence& random) {
  return list[random.below(N)];
}

// A 16-digit number unique to the record, in one of the ways people write
// them.
std::string card_number(std::uint64_t index, Sequence& random) {
  // The multiplier shares only one factor 5 with 10^16, so a number comes
  // back only 2 * 10^15 records later: never in any run that fits a data set.
  const std::uint64_t modulus = 10000000000000000ull;
  const unsigned __int128 mixed = static_cast<unsigned __int128>(index) * 6364136223846793005ull % modulus;
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llu", static_cast<unsigned long long>(mixed));
  const std::string d(digits);
  switch (random.below(4)) {
    case 0: return d.substr(0, 4) + " " + d.substr(4, 4) + " " + d.substr(8, 4) + " " + d.substr(12, 4);
    case 1: return d.substr(0, 4) + "-" + d.substr(4, 4) + "-" + d.substr(8, 4) + "-" + d.substr(12, 4);
    case 2: return d.substr(0, 4) + " " + d.substr(4, 4) + "-" + d.substr(8, 4) + " " + d.substr(12, 4);
    default: return d;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: records_gen N [seed]\n");
    return 2;
  }
  const std::uint64_t count = std::strtoull(argv[1], nullptr, 10);
  Sequence random(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 2208);
  std::vector<std::string> recent;
  std::string line;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (i % 1000 == 999 && !recent.empty()) {
      line = recent[random.below(recent.size())];
    } else {
      line = std::string(pick(GIVEN, random)) + "\t" + pick(SURNAMES, random) + "\t" + card_number(i, random) + "\n";
      if (recent.size() < 64) {
        recent.push_back(line);
      } else {
        recent[random.below(recent.size())] = line;
      }
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
