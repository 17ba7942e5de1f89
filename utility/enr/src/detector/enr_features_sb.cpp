// The single-byte language models: letter trigrams and letter pairs.

#include <algorithm>
#include <utility>
#include <vector>

#include "enr/enr_feature.h"
#include "enr/enr_input_text.h"

namespace enr {

namespace {

// Keys are 24 bits; a stored value that is not can never match, and the
// all-ones value marks a free slot.
constexpr std::uint32_t EMPTY = 0xFFFFFFFF;

// The trigram share is read from at most this much of the text's start:
// sixteen times the longest text the trees were trained on, where the share
// has long stopped changing. The walks are most of the detector's work, and
// over a whole mebibyte they no longer fit its time.
constexpr std::uint32_t TRIGRAM_TEXT = 256 * 1024;

}  // namespace

Enr_sb_trigram_feature::Enr_sb_trigram_feature(std::uint16_t slot, const std::int32_t* trigrams, std::uint32_t count,
                                               const unsigned char* char_map, bool utf7)
    : Enr_feature(slot), m_trigrams(trigrams), m_count(trigrams ? count : 0), m_char_map(char_map), m_utf7(utf7) {
  // A collision-free placement makes every lookup one comparison without a
  // branch. Tables are small (64 keys), so a few tries find one.
  std::vector<std::uint32_t> keys;
  for (std::uint32_t i = 0; i < m_count; ++i) {
    const auto key = static_cast<std::uint32_t>(m_trigrams[i]);
    if (key <= 0xFFFFFF) keys.push_back(key);
  }
  std::uint32_t bits = 8;
  while ((1u << bits) < 4 * keys.size()) ++bits;
  for (;; ++bits) {
    for (std::uint32_t attempt = 0; attempt < 64; ++attempt) {
      m_multiplier = 2654435761u + 2 * attempt * 0x9E3779B9u;
      m_shift = 32 - bits;
      m_set.assign(std::size_t{1} << bits, EMPTY);
      bool placed = true;
      for (std::uint32_t key : keys) {
        std::uint32_t& entry = m_set[hash(key)];
        if (entry != EMPTY && entry != key) {
          placed = false;
          break;
        }
        entry = key;
      }
      if (placed) return;
    }
  }
}

namespace {

bool is_base64(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
         byte == '+' || byte == '/';
}

// UTF-7 is plausible when every shifted run ("+", base64 letters, "-") is
// closed and no byte outside 7-bit text appears.
bool utf7_shape(const unsigned char* data, std::uint32_t length) {
  bool in_run = false;
  std::uint32_t runs = 0;
  for (std::uint32_t i = 0; i < length; ++i) {
    const unsigned char byte = data[i];
    if (byte >= 0x80) return false;
    if (!in_run) {
      if (byte == '+') in_run = true;
      continue;
    }
    if (byte == '-') {
      in_run = false;
      ++runs;
    } else if (!is_base64(byte)) {
      in_run = false;
    }
  }
  return runs > 0;
}

}  // namespace

void Enr_sb_trigram_feature::generate(const Enr_input_text& text, std::uint16_t* values) {
  const unsigned char* data = text.data();
  std::uint32_t key = 0;
  std::uint32_t lookups = 0;
  std::uint32_t hits = 0;
  unsigned char last = 0;
  static const unsigned char NO_MAP[256] = {};
  const unsigned char* map = m_char_map ? m_char_map : NO_MAP;
  // Written without branches on the text: this loop runs once per character
  // map for every detection.
  const std::uint32_t length = std::min(text.length(), TRIGRAM_TEXT);
  for (std::uint32_t i = 0; i < length; ++i) {
    const unsigned char mapped = map[data[i]];
    const bool skip = (mapped == 0) | ((mapped == ' ') & (last == ' '));
    const std::uint32_t next = ((key << 8) + mapped) & 0xFFFFFF;
    key = skip ? key : next;
    last = skip ? last : mapped;
    lookups += !skip;
    hits += !skip & contains(next);
  }
  std::uint32_t value = 0;
  if (lookups > 0) {
    const double ratio = static_cast<double>(hits) / lookups;
    value = ratio > 0.33 ? 98 : static_cast<std::uint32_t>(ratio * 300);
  }
  if (m_utf7) {
    values[m_slot] = static_cast<std::uint16_t>(std::min<std::uint32_t>(value * 1000, 0xFFFF));
    values[m_slot + 1] = utf7_shape(data, text.length()) ? 90 : 0;
  } else {
    values[m_slot] = static_cast<std::uint16_t>(value);
  }
}

Enr_sb_trigram_group_feature::Enr_sb_trigram_group_feature(const unsigned char* char_map,
                                                           const std::vector<Model>& models)
    : Enr_feature(models.empty() ? std::uint16_t{ENR_F_TRIGRAM} : models.front().slot), m_char_map(char_map), m_models(models) {
  // Every key once, with the models that hold it.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> keys;
  for (std::size_t m = 0; m < m_models.size() && m < 32; ++m) {
    const Model& model = m_models[m];
    for (std::uint32_t i = 0; model.trigrams && i < model.count; ++i) {
      const auto key = static_cast<std::uint32_t>(model.trigrams[i]);
      if (key <= 0xFFFFFF) keys.emplace_back(key, 1u << m);
    }
  }
  std::sort(keys.begin(), keys.end());
  std::vector<std::pair<std::uint32_t, std::uint32_t>> merged;
  for (const auto& entry : keys) {
    if (!merged.empty() && merged.back().first == entry.first) {
      merged.back().second |= entry.second;
    } else {
      merged.push_back(entry);
    }
  }
  // A load of about 0.6 keys a bucket lets a few tries find a placement.
  std::uint32_t bits = 4;
  while ((1u << bits) * 6 < merged.size() * 10) ++bits;
  for (;; ++bits) {
    for (std::uint32_t attempt = 0; attempt < 64; ++attempt) {
      m_multiplier = 2654435761u + 2 * attempt * 0x9E3779B9u;
      m_shift = 32 - bits;
      m_keys.assign((std::size_t{1} << bits) * BUCKET, EMPTY);
      m_members.assign(m_keys.size(), 0);
      bool placed = true;
      for (const auto& [key, members] : merged) {
        const std::size_t first = std::size_t{bucket(key)} * BUCKET;
        std::size_t free = first;
        while (free < first + BUCKET && m_keys[free] != EMPTY) ++free;
        if (free == first + BUCKET) {
          placed = false;
          break;
        }
        m_keys[free] = key;
        m_members[free] = members;
      }
      if (placed) return;
    }
  }
}

void Enr_sb_trigram_group_feature::generate(const Enr_input_text& text, std::uint16_t* values) {
  const unsigned char* data = text.data();
  static const unsigned char NO_MAP[256] = {};
  const unsigned char* map = m_char_map ? m_char_map : NO_MAP;
  // Hits are counted per table entry and summed per model afterwards, which
  // keeps the loop the same however many models share the walk.
  static_assert(BUCKET == 4, "the lookup below compares four entries");
  std::vector<std::uint32_t> counts(m_keys.size(), 0);
  const std::uint32_t* table = m_keys.data();
  std::uint32_t* hits_at = counts.data();
  std::uint32_t key = 0;
  std::uint32_t lookups = 0;
  unsigned char last = 0;
  const std::uint32_t length = std::min(text.length(), TRIGRAM_TEXT);
  for (std::uint32_t i = 0; i < length; ++i) {
    const unsigned char mapped = map[data[i]];
    const bool skip = (mapped == 0) | ((mapped == ' ') & (last == ' '));
    const std::uint32_t next = ((key << 8) + mapped) & 0xFFFFFF;
    key = skip ? key : next;
    last = skip ? last : mapped;
    lookups += !skip;
    const std::uint32_t first = bucket(next) * BUCKET;
    const std::uint32_t* entries = table + first;
    const std::uint32_t at1 = entries[1] == next;
    const std::uint32_t at2 = entries[2] == next;
    const std::uint32_t at3 = entries[3] == next;
    const std::uint32_t found = (entries[0] == next) | at1 | at2 | at3;
    hits_at[first + at1 + 2 * at2 + 3 * at3] += found & static_cast<std::uint32_t>(!skip);
  }
  for (std::size_t m = 0; m < m_models.size() && m < 32; ++m) {
    std::uint32_t hits = 0;
    for (std::size_t e = 0; e < counts.size(); ++e) {
      if ((m_members[e] >> m) & 1u) hits += counts[e];
    }
    std::uint32_t value = 0;
    if (lookups > 0) {
      const double ratio = static_cast<double>(hits) / lookups;
      value = ratio > 0.33 ? 98 : static_cast<std::uint32_t>(ratio * 300);
    }
    values[m_models[m].slot] = static_cast<std::uint16_t>(value);
  }
}

Enr_sb_bigram_feature::Enr_sb_bigram_feature(std::uint16_t slot, const Enr_bigram_model& model)
    : Enr_feature(slot), m_model(model) {}

namespace {

struct Bigram_counts {
  std::uint32_t characters = 0, frequent = 0, sequences = 0, positive = 0;
};

// Without branches on the text (letters and symbols alternate
// unpredictably), ten times over up to a mebibyte per detection. A cell
// outside a pair of frequent letters is read masked into the matrix and
// not counted.
template <bool REVERSED>
Bigram_counts count_bigrams(const unsigned char* data, std::uint32_t length, const unsigned char* order_map,
                            const unsigned char* matrix) {
  constexpr unsigned CELLS = ENR_BIGRAM_SIZE * ENR_BIGRAM_SIZE;
  static_assert((CELLS & (CELLS - 1)) == 0, "the mask needs a power of two");
  Bigram_counts counts;
  unsigned previous = 255;
  for (std::uint32_t i = 0; i < length; ++i) {
    const unsigned rank = order_map[data[i]];
    const unsigned frequent = rank < ENR_BIGRAM_SIZE;
    const unsigned pair = frequent & (previous < ENR_BIGRAM_SIZE);
    const unsigned cell = REVERSED ? rank * ENR_BIGRAM_SIZE + previous : previous * ENR_BIGRAM_SIZE + rank;
    counts.characters += rank < 250;
    counts.frequent += frequent;
    counts.sequences += pair;
    counts.positive += pair & (matrix[cell & (CELLS - 1)] == 3);
    previous = rank;
  }
  return counts;
}

}  // namespace

namespace {

std::uint16_t bigram_value(const Bigram_counts& counts, const Enr_bigram_model& model) {
  const std::uint32_t characters = counts.characters, frequent = counts.frequent, sequences = counts.sequences,
                      positive = counts.positive;
  double confidence = 0.01f;
  if (sequences > 0 && model.typical_ratio > 0) {
    confidence = static_cast<double>(positive) / sequences / model.typical_ratio * frequent / characters;
    if (confidence >= 1.0) confidence = 0.99f;
  }
  return static_cast<std::uint16_t>(confidence * 100);
}

Bigram_counts walk_bigrams(const Enr_input_text& text, const Enr_bigram_model& model) {
  if (!model.order_map || !model.matrix) return Bigram_counts{};
  return model.reversed ? count_bigrams<true>(text.data(), text.length(), model.order_map, model.matrix)
                        : count_bigrams<false>(text.data(), text.length(), model.order_map, model.matrix);
}

// The same counts as count_bigrams, from the byte and neighbour-pair counts.
Bigram_counts table_bigrams(const std::uint32_t* bytes, const std::uint32_t* pairs, const Enr_bigram_model& model) {
  Bigram_counts counts;
  if (!model.order_map || !model.matrix) return counts;
  unsigned char frequent_bytes[256];
  unsigned frequent_count = 0;
  for (unsigned b = 0; b < 256; ++b) {
    const unsigned rank = model.order_map[b];
    if (rank < 250) counts.characters += bytes[b];
    if (rank < ENR_BIGRAM_SIZE) {
      counts.frequent += bytes[b];
      frequent_bytes[frequent_count++] = static_cast<unsigned char>(b);
    }
  }
  for (unsigned i = 0; i < frequent_count; ++i) {
    const unsigned first = frequent_bytes[i];
    const unsigned first_rank = model.order_map[first];
    for (unsigned j = 0; j < frequent_count; ++j) {
      const unsigned second = frequent_bytes[j];
      const std::uint32_t seen = pairs[first * 256 + second];
      if (seen == 0) continue;
      const unsigned second_rank = model.order_map[second];
      const unsigned cell = model.reversed ? second_rank * ENR_BIGRAM_SIZE + first_rank
                                           : first_rank * ENR_BIGRAM_SIZE + second_rank;
      counts.sequences += seen;
      if (model.matrix[cell] == 3) counts.positive += seen;
    }
  }
  return counts;
}

}  // namespace

void Enr_sb_bigram_feature::generate(const Enr_input_text& text, std::uint16_t* values) {
  values[m_slot] = bigram_value(walk_bigrams(text, m_model), m_model);
}

Enr_sb_bigram_group_feature::Enr_sb_bigram_group_feature(const std::vector<Model>& models)
    : Enr_feature(models.empty() ? std::uint16_t{ENR_F_BIGRAM} : models.front().slot), m_models(models) {}

void Enr_sb_bigram_group_feature::generate(const Enr_input_text& text, std::uint16_t* values) {
  if (text.length() < PAIR_TABLE_FROM) {
    for (const Model& model : m_models) values[model.slot] = bigram_value(walk_bigrams(text, *model.model), *model.model);
    return;
  }
  std::vector<std::uint32_t> bytes(256, 0);
  std::vector<std::uint32_t> pairs(256 * 256, 0);
  const unsigned char* data = text.data();
  ++bytes[data[0]];
  for (std::uint32_t i = 1; i < text.length(); ++i) {
    ++bytes[data[i]];
    ++pairs[data[i - 1] * 256u + data[i]];
  }
  for (const Model& model : m_models) {
    values[model.slot] = bigram_value(table_bigrams(bytes.data(), pairs.data(), *model.model), *model.model);
  }
}

}  // namespace enr
