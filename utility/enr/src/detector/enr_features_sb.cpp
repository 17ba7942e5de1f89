// The single-byte language models: letter trigrams and letter pairs.

#include <algorithm>

#include "enr/enr_feature.h"
#include "enr/enr_input_text.h"

namespace enr {

namespace {

// Keys are 24 bits; a stored value that is not can never match, and the
// all-ones value marks a free slot.
constexpr std::uint32_t EMPTY = 0xFFFFFFFF;

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
  // Written without branches on the text: this loop runs 23 times over up
  // to a mebibyte for every detection.
  for (std::uint32_t i = 0; i < text.length(); ++i) {
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

Enr_sb_bigram_feature::Enr_sb_bigram_feature(std::uint16_t slot, const Enr_bigram_model& model)
    : Enr_feature(slot), m_model(model) {}

void Enr_sb_bigram_feature::generate(const Enr_input_text& text, std::uint16_t* values) {
  const unsigned char* data = text.data();
  std::uint32_t characters = 0, frequent = 0, sequences = 0, positive = 0;
  unsigned previous = 255;
  if (m_model.order_map && m_model.matrix) {
    for (std::uint32_t i = 0; i < text.length(); ++i) {
      const unsigned rank = m_model.order_map[data[i]];
      if (rank < 250) ++characters;
      if (rank < ENR_BIGRAM_SIZE) {
        ++frequent;
        if (previous < ENR_BIGRAM_SIZE) {
          ++sequences;
          const unsigned cell = m_model.reversed ? rank * ENR_BIGRAM_SIZE + previous : previous * ENR_BIGRAM_SIZE + rank;
          if (m_model.matrix[cell] == 3) ++positive;
        }
      }
      previous = rank;
    }
  }
  double confidence = 0.01f;
  if (sequences > 0 && m_model.typical_ratio > 0) {
    confidence = static_cast<double>(positive) / sequences / m_model.typical_ratio * frequent / characters;
    if (confidence >= 1.0) confidence = 0.99f;
  }
  values[m_slot] = static_cast<std::uint16_t>(confidence * 100);
}

}  // namespace enr
