#ifndef ENR_FEATURE_H
#define ENR_FEATURE_H

// The feature generators of the encoding detector. Each reads the input text
// from its start and writes scores into its own slots of the 152-value
// vector: mostly 0 (ruled out) to 100 (certain), with 10 for no evidence.
// Slots 0 to 151 keep their first layout; the slots after them were added
// for the Windows and DOS code pages.
//
// A generator keeps running state (keys, counters, automaton states) that is
// never reset: create one per input and throw it away afterwards.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "enr/enr_export.h"
#include "enr/enr_feature_models.h"

namespace enr {

class Enr_input_text;

enum Enr_feature_array_offset : std::uint16_t {
  ENR_F_UTF8 = 0,
  ENR_F_UTF8_MOZ = 1,
  ENR_F_UTF16 = 2,  // then big-endian, little-endian
  ENR_F_UTF32 = 5,  // then big-endian, little-endian
  ENR_F_TRIGRAM = 8,  // ENR_TRIGRAM_MODELS slots
  ENR_F_BIGRAM = 31,  // ENR_BIGRAM_MODELS slots
  ENR_F_BIG5_MOZ = 41,
  ENR_F_EUC_JP_MOZ = 42,
  ENR_F_EUC_KR_MOZ = 43,
  ENR_F_GB18030_MOZ = 44,
  ENR_F_SJIS = 45,
  ENR_F_BIG5 = 46,
  ENR_F_EUC_JP = 47,
  ENR_F_EUC_KR = 48,
  ENR_F_GB18030 = 49,
  ENR_F_HZ = 50,
  ENR_F_ISO_2022_JP_MOZ = 51,
  ENR_F_ISO_2022_KR_MOZ = 52,
  ENR_F_ISO_2022_JP_ICU = 53,
  ENR_F_ISO_2022_KR_ICU = 54,
  ENR_F_ISO_2022_CN_ICU = 55,
  ENR_F_BYTE = 56,  // 96 slots, bytes 0xA0 to 0xFF
  ENR_F_TRIGRAM_MORE = 152,  // trigram models 23 and up
  ENR_F_C1_COUNT = 164,  // how many bytes 0x80 to 0x9F the text holds
  ENR_F_UNDEFINED = 165,  // ENR_SINGLE_BYTE_PAGES slots
  ENR_F_C1_BYTE = 185,  // 32 slots, bytes 0x80 to 0x9F
  ENR_FEATURE_COUNT = 217,
};

// The slot of trigram model i.
constexpr std::uint16_t enr_trigram_slot(unsigned model) {
  return static_cast<std::uint16_t>(model < ENR_FIRST_TRIGRAM_MODELS ? ENR_F_TRIGRAM + model
                                                                     : ENR_F_TRIGRAM_MORE + model - ENR_FIRST_TRIGRAM_MODELS);
}
static_assert(enr_trigram_slot(ENR_TRIGRAM_MODELS - 1) < ENR_F_C1_COUNT, "trigram slots overlap the next feature");

// The single-byte code pages whose undefined bytes the detector counts, in
// slot order. A byte is defined when the code page reads it as one
// character that is neither a control (NEL, 0x85 in the ISO-8859 parts,
// included) nor unassigned.
inline constexpr unsigned ENR_SINGLE_BYTE_PAGES = 20;
ENR_API const char* const* enr_single_byte_pages();
// Bit b & 31 of word b >> 5 is set when the code page defines byte b.
struct Enr_defined_bytes {
  std::uint32_t words[8];
  bool defines(unsigned char byte) const { return (words[byte >> 5] >> (byte & 31)) & 1u; }
};
// The defined bytes of page i of enr_single_byte_pages(), read from the
// converters once.
ENR_API const Enr_defined_bytes& enr_defined_bytes(unsigned page);
// The page of that name (compared exactly), or ENR_SINGLE_BYTE_PAGES.
ENR_API unsigned enr_single_byte_page(const char* name);

// "utf-8", ..., "byte_feature_95", indexed by slot.
ENR_API const std::vector<std::string>& enr_feature_names();

class ENR_API Enr_feature {
 public:
  explicit Enr_feature(std::uint16_t slot) : m_slot(slot) {}
  Enr_feature(const Enr_feature&) = delete;
  Enr_feature& operator=(const Enr_feature&) = delete;
  // The virtual operations keep this order.
  virtual ~Enr_feature();
  virtual void generate(const Enr_input_text& text, std::uint16_t* values) = 0;

  std::uint16_t slot() const { return m_slot; }

 protected:
  std::uint16_t m_slot;
};

// Relative frequency of each byte 0xA0..0xFF, scaled to 0..65535.
class ENR_API Enr_byte_feature : public Enr_feature {
 public:
  using Enr_feature::Enr_feature;
  void generate(const Enr_input_text& text, std::uint16_t* values) override;
};

// The bytes 0x80..0x9F, controls in every ISO-8859 part but quotes, dashes
// and letters in the Windows code pages and in the DOS and KOI8 Cyrillic
// ones: in ENR_F_C1_COUNT how many there are (at most 32767), in
// ENR_F_C1_BYTE on the frequency of each (as the byte feature), and in
// ENR_F_UNDEFINED on, per code page, how many of the text's bytes 0x80 and up
// the page leaves undefined (at most 32767). Writes only those slots; its
// own slot is ENR_F_C1_COUNT.
class ENR_API Enr_high_byte_feature : public Enr_feature {
 public:
  Enr_high_byte_feature() : Enr_feature(ENR_F_C1_COUNT) {}
  void generate(const Enr_input_text& text, std::uint16_t* values) override;
};

// Counts well-formed and broken UTF-8 sequences.
class ENR_API Enr_utf8_feature : public Enr_feature {
 public:
  using Enr_feature::Enr_feature;
  void generate(const Enr_input_text& text, std::uint16_t* values) override;
};

// The byte automaton over one model, starting in ENR_SM_START.
class ENR_API Enr_state_machine {
 public:
  explicit Enr_state_machine(const Sm_model& model);
  Sm_state next_state(unsigned char byte) {
    if (m_state == ENR_SM_ERROR || m_state == ENR_SM_ITS_ME) return static_cast<Sm_state>(m_state);
    const std::uint32_t byte_class = m_classes[byte];
    if (m_state == ENR_SM_START) {
      m_bytes_into_char = 0;
      m_charlen = m_model.char_lengths[byte_class];
    }
    ++m_bytes_into_char;
    m_state = m_states[m_state * m_model.class_count + byte_class];
    return static_cast<Sm_state>(m_state);
  }
  // The length of the character that the last byte belonged to, as its
  // first byte announced it.
  std::uint32_t get_current_charlen() const { return m_charlen; }
  // Back to the start state, to read on after an error.
  void reset() {
    m_state = ENR_SM_START;
    m_charlen = 0;
    m_bytes_into_char = 0;
  }

 private:
  const Sm_model& m_model;
  // The packed tables unpacked, one byte an entry: the automata run over
  // every byte of up to a mebibyte of input.
  unsigned char m_classes[256];
  std::vector<unsigned char> m_states;
  std::uint32_t m_state = ENR_SM_START;
  std::uint32_t m_charlen = 0;
  std::uint32_t m_bytes_into_char = 0;
};

// Counts multi-byte characters that the UTF-8 automaton accepts.
class ENR_API Enr_utf8_feature_sm : public Enr_feature {
 public:
  using Enr_feature::Enr_feature;
  void generate(const Enr_input_text& text, std::uint16_t* values) override;
};

class ENR_API Enr_utf16_feature : public Enr_feature {
 public:
  using Enr_feature::Enr_feature;
  void generate(const Enr_input_text& text, std::uint16_t* values) override;
};

class ENR_API Enr_utf32_feature : public Enr_feature {
 public:
  using Enr_feature::Enr_feature;
  void generate(const Enr_input_text& text, std::uint16_t* values) override;
};

// Share of the letter trigrams of the text (its first 256 KiB) found among a
// language's most common ones. With utf7 set it also judges the shape of
// UTF-7 in the next slot.
class ENR_API Enr_sb_trigram_feature : public Enr_feature {
 public:
  Enr_sb_trigram_feature(std::uint16_t slot, const std::int32_t* trigrams, std::uint32_t count,
                         const unsigned char* char_map, bool utf7 = false);
  void generate(const Enr_input_text& text, std::uint16_t* values) override;

 private:
  // Inline: a call through the library's symbol table per character would
  // cost more than the lookup.
  std::uint32_t hash(std::uint32_t key) const { return (key * m_multiplier) >> m_shift; }
  bool contains(std::uint32_t key) const { return m_set[hash(key)] == key; }

  const std::int32_t* m_trigrams;
  std::uint32_t m_count;
  const unsigned char* m_char_map;
  bool m_utf7;
  // The table's trigrams hashed without collisions: a binary search per
  // input character cost more than all the other generators together.
  std::vector<std::uint32_t> m_set;
  std::uint32_t m_multiplier = 0;
  std::uint32_t m_shift = 24;
};

// The trigram share of several languages whose character maps are the same:
// the map alone decides which keys the text yields, so one walk over the
// text serves all of them (ten languages share the Latin-1 map). Each model
// gets the value a single-language generator would give it.
class ENR_API Enr_sb_trigram_group_feature : public Enr_feature {
 public:
  struct Model {
    std::uint16_t slot;
    const std::int32_t* trigrams;
    std::uint32_t count;
  };
  // At most 32 models; char_map may be null (every byte skipped).
  Enr_sb_trigram_group_feature(const unsigned char* char_map, const std::vector<Model>& models);
  void generate(const Enr_input_text& text, std::uint16_t* values) override;

  static constexpr std::uint32_t BUCKET = 4;

 private:
  std::uint32_t bucket(std::uint32_t key) const { return (key * m_multiplier) >> m_shift; }

  const unsigned char* m_char_map;
  std::vector<Model> m_models;
  // The keys of all models in buckets of BUCKET entries, no bucket
  // overflowing, so that a lookup is a fixed number of comparisons without
  // a branch; m_members holds, per entry, a bit for each model with the key.
  std::vector<std::uint32_t> m_keys;
  std::vector<std::uint32_t> m_members;
  std::uint32_t m_multiplier = 0;
  std::uint32_t m_shift = 28;
};

// Share of typical pairs among the pairs of a language's frequent letters.
class ENR_API Enr_sb_bigram_feature : public Enr_feature {
 public:
  Enr_sb_bigram_feature(std::uint16_t slot, const Enr_bigram_model& model);
  void generate(const Enr_input_text& text, std::uint16_t* values) override;

 private:
  const Enr_bigram_model& m_model;
};

// The pair shares of several languages at once. Each value depends only on
// how often each byte and each pair of neighbouring bytes occurs, so a long
// text is counted once into a pair table and every language is scored from
// it; a short one is walked per language, which is cheaper than the table.
class ENR_API Enr_sb_bigram_group_feature : public Enr_feature {
 public:
  struct Model {
    std::uint16_t slot;
    const Enr_bigram_model* model;
  };
  explicit Enr_sb_bigram_group_feature(const std::vector<Model>& models);
  void generate(const Enr_input_text& text, std::uint16_t* values) override;

  // Texts from this length on are counted into the pair table.
  static constexpr std::uint32_t PAIR_TABLE_FROM = 16384;

 private:
  std::vector<Model> m_models;
};

// How far two-byte characters follow the frequency of a language.
class ENR_API Enr_distanalyser {
 public:
  Enr_distanalyser(const std::uint16_t* table, std::uint32_t table_size, double ratio)
      : m_table(table), m_table_size(table_size), m_ratio(ratio) {}
  Enr_distanalyser(const Enr_distanalyser&) = delete;
  Enr_distanalyser& operator=(const Enr_distanalyser&) = delete;
  virtual ~Enr_distanalyser();
  // The order of the character made of bytes[0], bytes[1]; -1 for none.
  virtual int get_order(const unsigned char* bytes) const = 0;

  // Inline: called for every character of the input.
  void handle_one_char(const unsigned char* bytes, std::uint32_t char_length) {
    if (char_length != 2) return;
    const int order = get_order(bytes);
    if (order < 0) return;
    ++m_total_chars;
    if (m_table && static_cast<std::uint32_t>(order) < m_table_size && m_table[order] < 512) ++m_freq_chars;
  }
  double get_confidence() const;

 protected:
  std::uint32_t m_total_chars = 0;
  std::uint32_t m_freq_chars = 0;
  const std::uint16_t* m_table;
  std::uint32_t m_table_size;
  double m_ratio;
};

class ENR_API Enr_distanalyser_big5 : public Enr_distanalyser {
 public:
  static constexpr std::uint32_t TABLE_SIZE = 5376;
  explicit Enr_distanalyser_big5(const std::uint16_t* table) : Enr_distanalyser(table, TABLE_SIZE, 0.75) {}
  int get_order(const unsigned char* bytes) const override;
};

class ENR_API Enr_distanalyser_euc_jp : public Enr_distanalyser {
 public:
  static constexpr std::uint32_t TABLE_SIZE = 4368;
  explicit Enr_distanalyser_euc_jp(const std::uint16_t* table) : Enr_distanalyser(table, TABLE_SIZE, 3.0) {}
  int get_order(const unsigned char* bytes) const override;
};

class ENR_API Enr_distanalyser_euc_kr : public Enr_distanalyser {
 public:
  static constexpr std::uint32_t TABLE_SIZE = 2352;
  explicit Enr_distanalyser_euc_kr(const std::uint16_t* table) : Enr_distanalyser(table, TABLE_SIZE, 6.0) {}
  int get_order(const unsigned char* bytes) const override;
};

class ENR_API Enr_distanalyser_gb18030 : public Enr_distanalyser {
 public:
  static constexpr std::uint32_t TABLE_SIZE = 3760;
  explicit Enr_distanalyser_gb18030(const std::uint16_t* table) : Enr_distanalyser(table, TABLE_SIZE, 0.9) {}
  int get_order(const unsigned char* bytes) const override;
};

// A multi-byte encoding's automaton together with its distribution analyser.
class ENR_API Enr_mb_feature : public Enr_feature {
 public:
  // Takes ownership of the analyser.
  Enr_mb_feature(std::uint16_t slot, const Sm_model& model, Enr_distanalyser* analyser);
  void generate(const Enr_input_text& text, std::uint16_t* values) override;

 private:
  Enr_state_machine m_machine;
  std::unique_ptr<Enr_distanalyser> m_analyser;
};

// Walks the text one character of a multi-byte encoding at a time; the
// character's bytes are joined big-endian into its code.
class ENR_API Enr_mb_iterator {
 public:
  Enr_mb_iterator(const unsigned char* data, std::uint32_t length) : m_data(data), m_length(length) {}
  Enr_mb_iterator(const Enr_mb_iterator&) = delete;
  Enr_mb_iterator& operator=(const Enr_mb_iterator&) = delete;
  virtual ~Enr_mb_iterator();
  // False at the end of the text.
  virtual bool next_char() = 0;

  std::uint32_t get_char() const { return m_char; }
  bool is_invalid() const { return m_invalid; }
  bool is_ended() const { return m_ended; }

 protected:
  const unsigned char* m_data;
  std::uint32_t m_length;
  std::uint32_t m_char = 0;
  bool m_invalid = false;
  bool m_ended = false;
  std::uint32_t m_position = 0;
};

class ENR_API Enr_mb_iterator_sjis : public Enr_mb_iterator {
 public:
  using Enr_mb_iterator::Enr_mb_iterator;
  bool next_char() override;
};

class ENR_API Enr_mb_iterator_big5 : public Enr_mb_iterator {
 public:
  using Enr_mb_iterator::Enr_mb_iterator;
  bool next_char() override;
};

class ENR_API Enr_mb_iterator_euc : public Enr_mb_iterator {
 public:
  using Enr_mb_iterator::Enr_mb_iterator;
  bool next_char() override;
};

class ENR_API Enr_mb_iterator_gb18030 : public Enr_mb_iterator {
 public:
  using Enr_mb_iterator::Enr_mb_iterator;
  bool next_char() override;
};

enum Enr_iterator_kind : std::uint8_t { ENR_ITER_SJIS, ENR_ITER_BIG5, ENR_ITER_EUC, ENR_ITER_GB18030 };

// Share of a language's most common characters among the multi-byte ones.
class ENR_API Enr_mb_feature_common : public Enr_feature {
 public:
  // codes: sorted; null for none.
  Enr_mb_feature_common(std::uint16_t slot, const std::uint32_t* codes, std::uint32_t count, Enr_iterator_kind kind);
  void generate(const Enr_input_text& text, std::uint16_t* values) override;

 private:
  const std::uint32_t* m_codes;
  std::uint32_t m_count;
  Enr_iterator_kind m_kind;
};

// 100 once an escape-encoding automaton is certain, else 0.
class ENR_API Enr_esc_feature_sm : public Enr_feature {
 public:
  Enr_esc_feature_sm(std::uint16_t slot, const Sm_model& model) : Enr_feature(slot), m_machine(model) {}
  void generate(const Enr_input_text& text, std::uint16_t* values) override;

 private:
  Enr_state_machine m_machine;
};

// An escape sequence of an ISO-2022 encoding: ESC and up to four more bytes.
struct Enr_escape_sequence {
  unsigned char bytes[5];
  std::uint8_t length;
};

// Share of known escape sequences among the ESC bytes of the text.
class ENR_API Enr_esc_feature_seq : public Enr_feature {
 public:
  Enr_esc_feature_seq(std::uint16_t slot, const Enr_escape_sequence* sequences, std::uint32_t count)
      : Enr_feature(slot), m_sequences(sequences), m_count(count) {}
  void generate(const Enr_input_text& text, std::uint16_t* values) override;

 private:
  const Enr_escape_sequence* m_sequences;
  std::uint32_t m_count;
};

// The escape sequences of ISO-2022-JP, -KR and -CN.
ENR_API const Enr_escape_sequence* enr_iso2022_sequences(Enr_feature_array_offset slot, std::uint32_t& count);

// The generators that fill every slot, over the given models; the caller
// owns them. Training builds them over models it has just made.
ENR_API void enr_create_feature_generators(const Enr_model_set& models, std::vector<Enr_feature*>& generators);

}  // namespace enr

#endif
