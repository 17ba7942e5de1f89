#ifndef TKN_TEXT_H
#define TKN_TEXT_H

// Interned token texts. Every distinct string is stored once under its
// CRC-64 key in a string table; every distinct token text is one Tkn_text
// holding pointers to the entries of its three forms (as read, NFKC, NFKC
// lower-cased). Tokens keep only those pointers, so equal texts are equal
// pointers and a token's hash is a field read.
//
// Tables only grow and are not synchronised: one thread uses a table at a
// time, and a table given to views must outlive them.

#include <cstddef>
#include <functional>
#include <utility>

#include <boost/functional/hash.hpp>
#include <boost/unordered_map.hpp>

#include "krn/krn_types.h"
#include "tkn/tkn_arena.h"
#include "tkn/tkn_export.h"
#include "tkn/tkn_types.h"

namespace tkn {

// One token text: the string-table entries of its source, normalised and
// lower-case forms. Plain value; a table never changes one it handed out.
class TKN_API Tkn_text {
 public:
  using entry = Tkn_string_entry;

  constexpr Tkn_text() noexcept : m_entries{nullptr, nullptr, nullptr} {}
  constexpr Tkn_text(const entry* source, const entry* normalised, const entry* lower) noexcept
      : m_entries{source, normalised, lower} {}

  void assign(const entry* source, const entry* normalised, const entry* lower) noexcept {
    m_entries[0] = source;
    m_entries[1] = normalised;
    m_entries[2] = lower;
  }

  // The source entry: what a text table maps from.
  const entry* key() const noexcept { return m_entries[0]; }

  const entry* crc_text(Tkn_text_form form) const noexcept { return m_entries[tkn_form_index(form)]; }
  krn::uint64 crc(Tkn_text_form form) const noexcept { return crc_text(form)->first; }
  const krn::Char16* text(Tkn_text_form form) const noexcept { return crc_text(form)->second.text; }
  std::size_t length(Tkn_text_form form) const noexcept { return crc_text(form)->second.length; }
  // Pointer identity: entries are interned, so this is text equality.
  bool match(Tkn_text_form form, const entry* other) const noexcept { return crc_text(form) == other; }

  // The entry of the empty string (key 0xFFFFFFFFFFFFFFD5) and the text
  // whose three forms are all that entry; shared by every table.
  static const entry EMPTY_STRING;
  static const Tkn_text EMPTY;

 private:
  const entry* m_entries[3];
};

// Strings by CRC-64 key. Two different strings with one key are both kept.
class TKN_API Tkn_string_table {
 public:
  using key_type = krn::uint64;
  using entry = Tkn_string_entry;
  using map_type = boost::unordered_multimap<key_type, Tkn_string, boost::hash<key_type>, std::equal_to<key_type>,
                                             Tkn_arena_allocator<entry>>;
  using const_iterator = map_type::const_iterator;

  // 1031 buckets (the first of the bucket primes not below 997), load
  // factor at most 1. No memory is taken until the first insertion.
  static constexpr std::size_t INITIAL_BUCKETS = 997;

  Tkn_string_table();
  Tkn_string_table(const Tkn_string_table& other);
  Tkn_string_table& operator=(const Tkn_string_table& other);
  virtual ~Tkn_string_table();

  // The entry with this key and these units, made (with a copy of the text)
  // when there is none. std::bad_alloc when memory runs out.
  const entry* insert(key_type key, const krn::Wstring& text);
  const entry* insert(key_type key, const krn::Char16* units, std::size_t size);

  // The entry with this key and text, or null.
  const entry* find(key_type key, const krn::Wstring& text) const;
  // Some entry with this key, or null.
  const entry* find(key_type key) const;
  // Every entry with this key.
  std::pair<const_iterator, const_iterator> find_all(key_type key) const { return m_map.equal_range(key); }

  const_iterator begin() const { return m_map.begin(); }
  const_iterator end() const { return m_map.end(); }
  std::size_t size() const { return m_map.size(); }
  bool empty() const { return m_map.empty(); }
  std::size_t bucket_count() const { return m_map.bucket_count(); }

 protected:
  // The arena that the derived table also takes its nodes from.
  Tkn_arena& arena() { return m_arena; }

 private:
  void copy_from(const Tkn_string_table& other);

  Tkn_arena m_arena;
  Tkn_string_allocator m_strings;
  map_type m_map;
};

// Token texts over a string table. The map is keyed by the source entry
// alone, so the first insertion of a text decides its other forms.
class TKN_API Tkn_text_table : public Tkn_string_table {
 public:
  Tkn_text_table();
  ~Tkn_text_table() override;

  // Texts point into this table's storage; a copy would point into the
  // other one.
  Tkn_text_table(const Tkn_text_table&) = delete;
  Tkn_text_table& operator=(const Tkn_text_table&) = delete;

  // WHITESPACE: the empty text whatever the string. WORD: the three forms.
  // NUMBER, PUNCTUATION, SYMBOL: source and normalised, the lower-case form
  // being the normalised one. An empty string gives the empty text. Any
  // other type: std::invalid_argument. A failed normalisation:
  // std::runtime_error (the source entry stays).
  const Tkn_text* insert_text(unsigned type, const krn::Wstring& text);
  // Case-keeping insertion; the empty text for an empty string.
  const Tkn_text* insert_whitespace(const krn::Wstring& text);

  // The empty string's entry for an empty text, else find(key, text).
  const entry* lookup_text(key_type key, const krn::Wstring& text) const;
  const entry* lookup_text(key_type key) const { return find(key); }
  // Interns a string that belongs to no text (a redacted form).
  const entry* create_string(const krn::Wstring& text);

  const Tkn_text* empty_text() const { return &Tkn_text::EMPTY; }
  // The number of texts (not strings).
  std::size_t size() const { return m_texts.size(); }

 private:
  using text_map = boost::unordered_map<const entry*, const Tkn_text*, boost::hash<const entry*>, std::equal_to<const entry*>,
                                        Tkn_arena_allocator<std::pair<const entry* const, const Tkn_text*>>>;

  const Tkn_text* insert_cs(const krn::Wstring& text);
  const Tkn_text* insert_nc(const krn::Wstring& text);
  const Tkn_text* insert_forms(const krn::Wstring& text, bool lower);

  text_map m_texts;
};

}  // namespace tkn

#endif
