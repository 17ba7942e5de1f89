#ifndef ENR_FEATURE_MODELS_H
#define ENR_FEATURE_MODELS_H

// The shapes of the tables the feature generators work with. The automaton
// models are written from the encodings' definitions; every other table is
// trained from text (the build compiles the trained tables in, and training
// builds generators over tables it has just made).

#include <cstdint>

#include "enr/enr_export.h"

namespace enr {

enum Sm_state : std::uint32_t { ENR_SM_START = 0, ENR_SM_ERROR = 1, ENR_SM_ITS_ME = 2 };

// Entry i of a packed table is
// (words[i >> index_shift] >> ((i & shift_mask) << bit_shift)) & unit_mask.
struct Sm_packed_table {
  std::uint32_t index_shift;
  std::uint32_t shift_mask;
  std::uint32_t bit_shift;
  std::uint32_t unit_mask;
  const std::uint32_t* words;

  std::uint32_t entry(std::uint32_t i) const {
    return (words[i >> index_shift] >> ((i & shift_mask) << bit_shift)) & unit_mask;
  }
};

// The class of byte b is classes.entry(b); the state after a byte of class c
// in state s is states.entry(s * class_count + c). The error and certain
// states are absorbing.
struct Sm_model {
  Sm_packed_table classes;
  std::uint32_t class_count;
  Sm_packed_table states;
  const std::uint32_t* char_lengths;  // per class; 0 for bytes that start no character
};

enum Enr_sm_kind : std::uint8_t {
  ENR_SM_UTF8,
  ENR_SM_UTF16BE,
  ENR_SM_UTF16LE,
  ENR_SM_BIG5,
  ENR_SM_EUC_JP,
  ENR_SM_EUC_KR,
  ENR_SM_GB18030,
  ENR_SM_HZ,
  ENR_SM_ISO2022JP,
  ENR_SM_ISO2022KR,
};

ENR_API const Sm_model& enr_sm_model(Enr_sm_kind kind);

// The first 23 trigram models fill slots 8 to 30; the later ones (the
// Windows and DOS code pages and their languages) fill slots from 152 on.
inline constexpr unsigned ENR_TRIGRAM_MODELS = 35;
inline constexpr unsigned ENR_FIRST_TRIGRAM_MODELS = 23;
inline constexpr unsigned ENR_TRIGRAMS_PER_MODEL = 64;
inline constexpr unsigned ENR_BIGRAM_MODELS = 10;
inline constexpr unsigned ENR_BIGRAM_SIZE = 64;

struct Enr_trigram_model {
  const std::int32_t* trigrams;  // sorted ascending
  std::uint32_t count;
  const unsigned char* char_map;  // 256 entries; 0 skips the byte
};

struct Enr_bigram_model {
  const unsigned char* order_map;  // 256 ranks; below 64 frequent letters, 250 and up symbols
  const unsigned char* matrix;     // 64 x 64 pair classes; 3 is a typical pair
  double typical_ratio;
  bool reversed;  // for text stored in visual order
};

struct Enr_frequency_table {
  const std::uint16_t* ranks;  // frequency rank per character order
};

struct Enr_common_table {
  const std::uint32_t* codes;  // sorted character codes, bytes joined big-endian
  std::uint32_t count;
};

// Indexes of the distribution and common-character tables.
enum Enr_mb_language : std::uint8_t { ENR_MB_BIG5, ENR_MB_EUC_JP, ENR_MB_EUC_KR, ENR_MB_GB18030 };
enum Enr_common_language : std::uint8_t {
  ENR_COMMON_SJIS,
  ENR_COMMON_BIG5,
  ENR_COMMON_EUC_JP,
  ENR_COMMON_EUC_KR,
  ENR_COMMON_GB18030,
};

struct Enr_model_set {
  Enr_trigram_model trigrams[ENR_TRIGRAM_MODELS];
  Enr_bigram_model bigrams[ENR_BIGRAM_MODELS];
  Enr_frequency_table frequencies[4];
  Enr_common_table common[5];
};

// The tables compiled into the library.
ENR_API const Enr_model_set& enr_trained_models();

}  // namespace enr

#endif
