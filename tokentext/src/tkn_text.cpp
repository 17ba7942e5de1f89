#include "tkn/tkn_text.h"

#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>

#include "krn/krn_crc.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "krn/krn_unicode.h"

namespace tkn {

// Keys are stored in data set files: the bytes hashed are the units in
// little-endian order, which is the host's order here.
static_assert(std::endian::native == std::endian::little, "token keys hash UTF-16 units as little-endian bytes");

krn::uint64 tkn_string_key(const krn::Char16* units, std::size_t size) {
  return krn::Krn_crc64::calculate(units, size * sizeof(krn::Char16), 42);
}

const Tkn_string_entry Tkn_text::EMPTY_STRING{TKN_EMPTY_STRING_KEY, Tkn_string{u"", 0, 0}};
const Tkn_text Tkn_text::EMPTY{&Tkn_text::EMPTY_STRING, &Tkn_text::EMPTY_STRING, &Tkn_text::EMPTY_STRING};

// ---- Tkn_string_table --------------------------------------------------------

Tkn_string_table::Tkn_string_table()
    : m_map(INITIAL_BUCKETS, boost::hash<key_type>(), std::equal_to<key_type>(), Tkn_arena_allocator<entry>(&m_arena)) {}

Tkn_string_table::Tkn_string_table(const Tkn_string_table& other) : Tkn_string_table() { copy_from(other); }

Tkn_string_table& Tkn_string_table::operator=(const Tkn_string_table& other) {
  if (this == &other) return *this;
  Tkn_string_table copy(other);
  // The nodes travel with the arena that holds them; each map keeps its
  // allocator, which points at its own (now swapped) arena.
  m_map.swap(copy.m_map);
  m_arena.swap(copy.m_arena);
  m_strings.swap(copy.m_strings);
  return *this;
}

Tkn_string_table::~Tkn_string_table() = default;

void Tkn_string_table::copy_from(const Tkn_string_table& other) {
  for (const entry& e : other.m_map) insert(e.first, e.second.text, e.second.size);
}

const Tkn_string_table::entry* Tkn_string_table::insert(key_type key, const krn::Wstring& text) {
  return insert(key, text.data(), text.size());
}

const Tkn_string_table::entry* Tkn_string_table::insert(key_type key, const krn::Char16* units, std::size_t size) {
  auto range = m_map.equal_range(key);
  for (auto it = range.first; it != range.second; ++it) {
    const Tkn_string& s = it->second;
    if (s.size == size && (size == 0 || std::memcmp(s.text, units, size * sizeof(krn::Char16)) == 0)) return &*it;
  }
  const krn::Char16* copy = m_strings.store(units, size);
  std::size_t length = 0;
  while (length < size && copy[length] != 0) ++length;
  return &*m_map.emplace(key, Tkn_string{copy, size, length});
}

const Tkn_string_table::entry* Tkn_string_table::find(key_type key, const krn::Wstring& text) const {
  auto range = m_map.equal_range(key);
  for (auto it = range.first; it != range.second; ++it) {
    const Tkn_string& s = it->second;
    if (s.size == text.size() && (s.size == 0 || std::memcmp(s.text, text.data(), s.size * sizeof(krn::Char16)) == 0)) {
      return &*it;
    }
  }
  return nullptr;
}

const Tkn_string_table::entry* Tkn_string_table::find(key_type key) const {
  auto it = m_map.find(key);
  return it == m_map.end() ? nullptr : &*it;
}

// ---- Tkn_text_table ----------------------------------------------------------

namespace {

// True when the simple lower-case mapping certainly leaves the text as it
// is, which spares a copy for the many words that are already lower case.
bool surely_lower(const krn::Wstring& text) {
  for (krn::Char16 unit : text) {
    if (unit >= 0xD800 && unit <= 0xDFFF) return false;
    if (krn::impl::KRN_UNICODE_BIT_TABLE[unit] & krn::KRN_UNICODE_UPPER) return false;
  }
  return true;
}

}  // namespace

Tkn_text_table::Tkn_text_table()
    : m_texts(0, boost::hash<const entry*>(), std::equal_to<const entry*>(),
              Tkn_arena_allocator<std::pair<const entry* const, const Tkn_text*>>(&arena())) {}

Tkn_text_table::~Tkn_text_table() = default;

const Tkn_text* Tkn_text_table::insert_text(unsigned type, const krn::Wstring& text) {
  switch (type) {
    case TKN_TOKEN_WHITESPACE:
      return &Tkn_text::EMPTY;
    case TKN_TOKEN_WORD:
      return text.empty() ? &Tkn_text::EMPTY : insert_cs(text);
    case TKN_TOKEN_NUMBER:
    case TKN_TOKEN_PUNCTUATION:
    case TKN_TOKEN_SYMBOL:
      return text.empty() ? &Tkn_text::EMPTY : insert_nc(text);
    default:
      throw std::invalid_argument("Tkn_text_table::insert_text - invalid token type");
  }
}

const Tkn_text* Tkn_text_table::insert_whitespace(const krn::Wstring& text) {
  return text.empty() ? &Tkn_text::EMPTY : insert_nc(text);
}

const Tkn_text_table::entry* Tkn_text_table::lookup_text(key_type key, const krn::Wstring& text) const {
  return text.empty() ? &Tkn_text::EMPTY_STRING : find(key, text);
}

const Tkn_text_table::entry* Tkn_text_table::create_string(const krn::Wstring& text) {
  return insert(tkn_string_key(text), text);
}

const Tkn_text* Tkn_text_table::insert_cs(const krn::Wstring& text) { return insert_forms(text, true); }

const Tkn_text* Tkn_text_table::insert_nc(const krn::Wstring& text) { return insert_forms(text, false); }

const Tkn_text* Tkn_text_table::insert_forms(const krn::Wstring& text, bool lower) {
  const entry* source = insert(tkn_string_key(text), text);
  auto found = m_texts.find(source);
  if (found != m_texts.end()) return found->second;

  const entry* normalised = source;
  krn::Wstring normal_text;
  if (krn::krn_can_normalize(text)) {
    krn::Krn_status status;
    krn::krn_normalize(text, normal_text, status);
    if (!status.ok()) throw std::runtime_error("Failed to normalise string");
    if (normal_text != text) normalised = insert(tkn_string_key(normal_text), normal_text);
  }
  const krn::Wstring& base = normalised == source ? text : normal_text;

  const entry* lowered = normalised;
  if (lower && !surely_lower(base)) {
    krn::Wstring lower_text;
    krn::krn_lower(base, lower_text);
    if (lower_text != base) lowered = insert(tkn_string_key(lower_text), lower_text);
  }

  void* slot = arena().allocate(sizeof(Tkn_text), alignof(Tkn_text));
  const Tkn_text* result = ::new (slot) Tkn_text(source, normalised, lowered);
  m_texts.emplace(source, result);
  return result;
}

}  // namespace tkn
