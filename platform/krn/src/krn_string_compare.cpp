#include <unicode/uchar.h>

#include <vector>

#include "krn/krn_string.h"
#include "krn_string_utf.h"

namespace krn {

using namespace impl;

namespace {

// Case folding for comparisons: ASCII inline, ICU's simple lower-case mapping
// above it.
unsigned fold(unsigned cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + 32;
  if (cp < 128) return cp;
  return static_cast<unsigned>(u_tolower(static_cast<UChar32>(cp)));
}

unsigned no_fold(unsigned cp) { return cp; }

// A sequential reader over a UTF-16 or UTF-8 string of known length; next()
// gives 0 at the end.
struct Utf16_source {
  const wchar16* s;
  size_t length;
  size_t i = 0;
  Utf16_source(const wchar16* text, size_t len) : s(text), length(len) {}
  explicit Utf16_source(const wchar16* text) : s(text), length(length_of(text)) {}
  bool at_end() const { return i >= length; }
  unsigned next() { return at_end() ? 0 : utf16_decode(s, length, i); }
};

struct Utf8_source {
  const unsigned char* s;
  size_t length;
  size_t i = 0;
  Utf8_source(const char* text, size_t len) : s(bytes(text)), length(len) {}
  explicit Utf8_source(const char* text) : s(bytes(text)), length(length_of(text)) {}
  bool at_end() const { return i >= length; }
  unsigned next() { return at_end() ? 0 : utf8_decode(s, length, i); }
};

template <class A, class B, class Fold>
int compare(A a, B b, Fold f) {
  for (;;) {
    const bool end_a = a.at_end();
    const bool end_b = b.at_end();
    if (end_a && end_b) return 0;
    const unsigned ca = f(a.next());
    const unsigned cb = f(b.next());
    if (ca != cb) return static_cast<int>(ca) - static_cast<int>(cb);
  }
}

// Does what follow in text, ignoring case? The two may differ in length
// (U+212A KELVIN SIGN folds to k).
template <class Source>
bool matches_at(Source text, Source what) {
  while (!what.at_end()) {
    if (text.at_end() || fold(text.next()) != fold(what.next())) return false;
  }
  return true;
}

// Candidate positions are code point boundaries from start on.
template <class Source, class Char>
size_t find_nc(const Char* text, size_t length, const Char* what, size_t what_length, size_t start) {
  if (start > length) return KRN_NPOS;
  if (what_length == 0) return start;
  Source t(text, length);
  t.i = start;
  while (!t.at_end()) {
    if (matches_at(t, Source(what, what_length))) return t.i;
    t.next();
  }
  return KRN_NPOS;
}

template <class Source, class Char>
std::u32string decode(const Char* s, size_t length) {
  std::u32string out;
  for (Source src(s, length); !src.at_end();) out.push_back(src.next());
  return out;
}

// Wildcard match with one-star backtracking: on a mismatch, let the most
// recent star swallow one more code point. Linear in practice, quadratic at
// worst, never exponential.
bool wildcard_match(const std::u32string& text, const std::u32string& pattern, unsigned (*f)(unsigned)) {
  size_t t = 0;
  size_t p = 0;
  size_t star = KRN_NPOS;
  size_t star_text = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == U'*') {
      star = p++;
      star_text = t;
    } else if (p < pattern.size() && (pattern[p] == U'?' || f(pattern[p]) == f(text[t]))) {
      ++p;
      ++t;
    } else if (star != KRN_NPOS) {
      p = star + 1;
      t = ++star_text;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == U'*') ++p;
  return p == pattern.size();
}

template <class Source>
unsigned hash(Source src, unsigned (*f)(unsigned)) {
  unsigned h = 5381;
  while (!src.at_end()) h = h * 33 + f(src.next());
  // The magnitude of h as a signed 32-bit number; 0x80000000 stays as it is.
  return (h & 0x80000000u) ? 0u - h : h;
}

}  // namespace

int krn_utf16_compare(const wchar16* a, const wchar16* b) { return compare(Utf16_source(a), Utf16_source(b), no_fold); }
int krn_utf8_compare(const char* a, const char* b) { return compare(Utf8_source(a), Utf8_source(b), no_fold); }
int krn_utf16_utf8_compare(const wchar16* a, const char* b) { return compare(Utf16_source(a), Utf8_source(b), no_fold); }
int krn_utf8_utf16_compare(const char* a, const wchar16* b) { return compare(Utf8_source(a), Utf16_source(b), no_fold); }
int krn_utf16_compare_nc(const wchar16* a, const wchar16* b) { return compare(Utf16_source(a), Utf16_source(b), fold); }
int krn_utf8_compare_nc(const char* a, const char* b) { return compare(Utf8_source(a), Utf8_source(b), fold); }
int krn_utf16_utf8_compare_nc(const wchar16* a, const char* b) { return compare(Utf16_source(a), Utf8_source(b), fold); }
int krn_utf8_utf16_compare_nc(const char* a, const wchar16* b) { return compare(Utf8_source(a), Utf16_source(b), fold); }

bool krn_string_equal(const wchar16* a, const wchar16* b) {
  const size_t length = length_of(a);
  return length == length_of(b) && std::char_traits<wchar16>::compare(a ? a : u"", b ? b : u"", length) == 0;
}

size_t krn_string_find_nc(const Wstring& text, const Wstring& what, size_t start) {
  return find_nc<Utf16_source>(text.data(), text.size(), what.data(), what.size(), start);
}

size_t krn_string_find_nc(const std::string& text, const std::string& what, size_t start) {
  return find_nc<Utf8_source>(text.data(), text.size(), what.data(), what.size(), start);
}

const wchar16* krn_stristr(const wchar16* text, const wchar16* what) {
  if (!text) return nullptr;
  const size_t at = find_nc<Utf16_source>(text, length_of(text), what ? what : u"", length_of(what), 0);
  return at == KRN_NPOS ? nullptr : text + at;
}

const char* krn_stristr(const char* text, const char* what) {
  if (!text) return nullptr;
  const size_t at = find_nc<Utf8_source>(text, length_of(text), what ? what : "", length_of(what), 0);
  return at == KRN_NPOS ? nullptr : text + at;
}

bool krn_string_match(const Wstring& text, const Wstring& pattern) {
  return wildcard_match(decode<Utf16_source>(text.data(), text.size()),
                        decode<Utf16_source>(pattern.data(), pattern.size()), no_fold);
}

bool krn_string_match(const std::string& text, const std::string& pattern) {
  return wildcard_match(decode<Utf8_source>(text.data(), text.size()),
                        decode<Utf8_source>(pattern.data(), pattern.size()), no_fold);
}

bool krn_string_match_nc(const Wstring& text, const Wstring& pattern) {
  return wildcard_match(decode<Utf16_source>(text.data(), text.size()),
                        decode<Utf16_source>(pattern.data(), pattern.size()), fold);
}

bool krn_string_match_nc(const std::string& text, const std::string& pattern) {
  return wildcard_match(decode<Utf8_source>(text.data(), text.size()),
                        decode<Utf8_source>(pattern.data(), pattern.size()), fold);
}

unsigned krn_string_hash(const char* utf8) { return hash(Utf8_source(utf8), no_fold); }
unsigned krn_string_hash(const wchar16* text) { return hash(Utf16_source(text), no_fold); }
unsigned krn_string_hash_nc(const char* utf8) { return hash(Utf8_source(utf8), fold); }
unsigned krn_string_hash_nc(const wchar16* text) { return hash(Utf16_source(text), fold); }

size_t krn_string_length(const char* utf8) {
  size_t count = 0;
  for (Utf8_source src(utf8); !src.at_end(); src.next()) ++count;
  return count;
}

size_t krn_string_length(const wchar16* text) {
  size_t count = 0;
  for (Utf16_source src(text); !src.at_end(); src.next()) ++count;
  return count;
}

}  // namespace krn
