#ifndef TKN_TOKEN_H
#define TKN_TOKEN_H

// Tokens of a text view. Physical tokens form the view's doubly linked chain
// in text order, each with its interned text and the whitespace after it
// (its trailer, at most TKN_MAX_TRAILER units). Virtual tokens span runs of
// physical tokens and are tied to them through the view's associations.
//
// The tool derives its own classes from these across the library boundary,
// so the order in which virtual operations are declared below is part of the
// library's binary interface: append, never insert or reorder.

#include <cstddef>
#include <vector>

#include "krn/krn_types.h"
#include "tkn/tkn_export.h"
#include "tkn/tkn_text.h"
#include "tkn/tkn_token_character_iterator.h"
#include "tkn/tkn_types.h"

namespace tkn {

// The longest trailer a token keeps, in UTF-16 units.
inline constexpr std::size_t TKN_MAX_TRAILER = 10;

// The identifier of the Simple formatter: with it, formatted_text gives the
// normalised form; with any other identifier, the lower-case form.
inline constexpr krn::GUID TKN_SIMPLE_FORMAT_ID = {0x6ED199E8, 0x3FD4, 0x407A, {0x88, 0x58, 0x32, 0xB9, 0xF7, 0xFD, 0x3F, 0xA6}};

class TKN_API Tkn_token {
 public:
  using entry = Tkn_string_entry;

  // Unlinks the token: its neighbours are joined to each other.
  virtual ~Tkn_token();

  virtual unsigned type() const;
  virtual Tkn_token* previous() const;
  virtual Tkn_token* next() const;
  // Inserts the chain that starts at other right after this token.
  // Null: std::invalid_argument.
  virtual void link(Tkn_token* other);
  // Joins the neighbours to each other and clears both links.
  virtual void unlink();
  virtual Tkn_text_view* view() const;
  // 1-based number in the view; 0 until the view numbers its tokens.
  virtual unsigned position() const = 0;

  // Ordering of extents, each a (front, back) pair of (position, offset).
  // Null: std::invalid_argument.
  virtual bool is_before(const Tkn_token* other, bool by_front) const;
  virtual bool is_after(const Tkn_token* other, bool by_front) const;
  virtual bool contains(const Tkn_token* other) const;
  // Partly overlapping extents, or nested ones sharing their front or back.
  virtual bool overlaps(const Tkn_token* other) const;

  virtual krn::uint64 crc(Tkn_text_form form) const = 0;
  virtual const krn::Char16* text(Tkn_text_form form) const = 0;
  virtual const entry* text_entry(Tkn_text_form form) const = 0;
  virtual const krn::Char16* trailer_text(Tkn_text_form form) const = 0;
  virtual const entry* trailer_entry(Tkn_text_form form) const = 0;
  virtual std::size_t length(Tkn_text_form form) const = 0;
  virtual std::size_t trailer_length(Tkn_text_form form) const = 0;
  virtual bool is_text(Tkn_text_form form, const entry* text) const = 0;
  virtual bool is_trailer(Tkn_text_form form, const entry* text) const = 0;
  // Asks the token's owner to blank characters out of the source.
  virtual bool redact(std::size_t start, std::size_t count) = 0;
  virtual const entry* formatted_text(const krn::GUID& format) = 0;
  virtual std::size_t formatted_text_length(const krn::GUID& format) = 0;
  // Replaces count characters from start of the safe text (form 3) by the
  // view's redaction character; count 0 means to the end.
  virtual void make_safe(std::size_t start, std::size_t count) = 0;
  virtual bool modify(const krn::Wstring& replacement, const krn::Wstring& before, const krn::Wstring& after) = 0;

 protected:
  virtual void front(unsigned& position, std::size_t& offset) const = 0;
  virtual void back(unsigned& position, std::size_t& offset) const = 0;

 public:
  Tkn_token(const Tkn_token& other);
  Tkn_token& operator=(const Tkn_token& other);

 protected:
  // Null view: std::invalid_argument.
  Tkn_token(unsigned type, Tkn_text_view* view);

  // Sets or forgets the links without touching the neighbours: virtual
  // tokens only borrow theirs.
  void borrow_links(Tkn_token* previous, Tkn_token* next) noexcept {
    m_previous = previous;
    m_next = next;
  }

 private:
  Tkn_text_view* m_view;
  Tkn_token* m_previous;
  Tkn_token* m_next;
  unsigned m_type;
};

// A token of the view's own chain.
class TKN_API Tkn_physical_token : public Tkn_token {
 public:
  // Interns text through the view. A null view, or a type with bits outside
  // TKN_TOKEN_TYPE_BITS: std::invalid_argument.
  Tkn_physical_token(unsigned type, const krn::Wstring& text, Tkn_text_view* view);
  Tkn_physical_token(const Tkn_physical_token& other);
  Tkn_physical_token& operator=(const Tkn_physical_token& other);
  // Removes the token's associations from the view first.
  ~Tkn_physical_token() override;

  unsigned position() const override;

  krn::uint64 crc(Tkn_text_form form) const override;
  const krn::Char16* text(Tkn_text_form form) const override;
  const entry* text_entry(Tkn_text_form form) const override;
  const krn::Char16* trailer_text(Tkn_text_form form) const override;
  const entry* trailer_entry(Tkn_text_form form) const override;
  std::size_t length(Tkn_text_form form) const override;
  std::size_t trailer_length(Tkn_text_form form) const override;
  bool is_text(Tkn_text_form form, const entry* text) const override;
  bool is_trailer(Tkn_text_form form, const entry* text) const override;
  // A plain token has no source to change: false.
  bool redact(std::size_t start, std::size_t count) override;
  const entry* formatted_text(const krn::GUID& format) override;
  std::size_t formatted_text_length(const krn::GUID& format) override;

 protected:
  void make_safe(std::size_t start, std::size_t count) override;

 public:
  bool modify(const krn::Wstring& replacement, const krn::Wstring& before, const krn::Wstring& after) override;

 protected:
  void front(unsigned& position, std::size_t& offset) const override;
  void back(unsigned& position, std::size_t& offset) const override;

 public:
  // 0: std::invalid_argument.
  virtual void position(unsigned position);
  // The first TKN_MAX_TRAILER units of the whitespace (one fewer when the
  // cut would split a surrogate pair); empty gives the empty text.
  virtual void trailer_text(const krn::Wstring& whitespace);
  virtual bool is_text(const krn::GUID& format, const entry* text) const;
  virtual std::vector<Tkn_virtual_token*> vtokens() const;
  // A plain token has no source to change: false.
  virtual bool remove();

  // The interned text and trailer (never null).
  const Tkn_text* token_text() const { return m_text; }
  const Tkn_text* trailer() const { return m_trailer; }

 private:
  unsigned m_position;
  const Tkn_text* m_text;
  const entry* m_safe;
  const Tkn_text* m_trailer;
};

// A token of a container view standing for a token of another view: texts,
// lengths, redaction and safe text are the wrapped token's; the trailer is
// its own once set (the container puts separators there), else the wrapped
// token's.
class TKN_API Tkn_wrapping_token : public Tkn_physical_token {
 public:
  Tkn_wrapping_token(Tkn_physical_token& wrapped, Tkn_text_view& view);

  using Tkn_physical_token::is_text;
  using Tkn_physical_token::trailer_text;

  krn::uint64 crc(Tkn_text_form form) const override;
  const krn::Char16* text(Tkn_text_form form) const override;
  const entry* text_entry(Tkn_text_form form) const override;
  const krn::Char16* trailer_text(Tkn_text_form form) const override;
  const entry* trailer_entry(Tkn_text_form form) const override;
  std::size_t length(Tkn_text_form form) const override;
  std::size_t trailer_length(Tkn_text_form form) const override;
  bool is_text(Tkn_text_form form, const entry* text) const override;
  bool is_trailer(Tkn_text_form form, const entry* text) const override;
  bool redact(std::size_t start, std::size_t count) override;
  const entry* formatted_text(const krn::GUID& format) override;
  std::size_t formatted_text_length(const krn::GUID& format) override;
  bool is_text(const krn::GUID& format, const entry* text) const override;

  Tkn_physical_token* wrapped() const { return m_wrapped; }

 protected:
  void make_safe(std::size_t start, std::size_t count) override;
  void back(unsigned& position, std::size_t& offset) const override;

 private:
  // The own trailer counts once set; until then the wrapped token's does.
  bool has_own_trailer() const { return trailer() != &Tkn_text::EMPTY; }

  Tkn_physical_token* m_wrapped;
};

// A token spanning the physical tokens first..last of one view. It is not a
// member of the chain: it borrows first's previous and last's next as its
// links and leaves them alone when destroyed. Owned by the view once given
// to add_virtual_token.
class TKN_API Tkn_virtual_token : public Tkn_token {
 public:
  // Its text (the source texts and trailers of first..last, without last's
  // trailer) is interned as a word; associations with first..last are added
  // to the view. Null arguments: std::invalid_argument.
  Tkn_virtual_token(unsigned type, Tkn_text_view* view, Tkn_physical_token* first, Tkn_physical_token* last);
  ~Tkn_virtual_token() override;

  Tkn_virtual_token(const Tkn_virtual_token&) = delete;
  Tkn_virtual_token& operator=(const Tkn_virtual_token&) = delete;

  unsigned position() const override;

  krn::uint64 crc(Tkn_text_form form) const override;
  // Form 3: the safe texts and trailers of first..last.
  const krn::Char16* text(Tkn_text_form form) const override;
  const entry* text_entry(Tkn_text_form form) const override;
  const krn::Char16* trailer_text(Tkn_text_form form) const override;
  const entry* trailer_entry(Tkn_text_form form) const override;
  std::size_t length(Tkn_text_form form) const override;
  std::size_t trailer_length(Tkn_text_form form) const override;
  bool is_text(Tkn_text_form form, const entry* text) const override;
  bool is_trailer(Tkn_text_form form, const entry* text) const override;
  // Spread over the physical tokens; offsets refer to the span's safe text.
  bool redact(std::size_t start, std::size_t count) override;
  const entry* formatted_text(const krn::GUID& format) override;
  std::size_t formatted_text_length(const krn::GUID& format) override;
  void make_safe(std::size_t start, std::size_t count) override;
  bool modify(const krn::Wstring& replacement, const krn::Wstring& before, const krn::Wstring& after) override;

 protected:
  void front(unsigned& position, std::size_t& offset) const override;
  void back(unsigned& position, std::size_t& offset) const override;

 public:
  virtual bool is_sensitive() const;
  virtual bool is_regular() const;
  virtual Tkn_physical_token* pfront() const;
  virtual Tkn_physical_token* pback() const;

  const Tkn_text* token_text() const { return m_text; }

 protected:
  // For derived spans that work out their own text.
  Tkn_virtual_token(unsigned type, Tkn_text_view* view, Tkn_physical_token* first, Tkn_physical_token* last, const krn::Wstring& text);

  // Applies make_safe (redact false) or redact to the span's safe text from
  // start for count characters (count 0: to the end of the span).
  bool spread(std::size_t start, std::size_t count, bool redacting);
  // Keeps the built safe text; rebuilt when the tokens' safe texts change.
  const krn::Char16* keep_safe_text(krn::Wstring&& built) const;

 private:
  void associate();

  const Tkn_text* m_text;
  Tkn_physical_token* m_first;
  Tkn_physical_token* m_last;
  mutable krn::Wstring* m_safe;
};

// A virtual token that starts and ends at arbitrary characters of its first
// and last tokens. Offsets are counted in code points of text plus trailer.
class TKN_API Tkn_irregular_virtual_token : public Tkn_virtual_token {
 public:
  // Both iterators must be over one form, 1 or 2, and on physical tokens of
  // the view; otherwise std::invalid_argument.
  Tkn_irregular_virtual_token(unsigned type, Tkn_text_view* view, Tkn_token_character_iterator first,
                              Tkn_token_character_iterator last);

  const krn::Char16* text(Tkn_text_form form) const override;
  const krn::Char16* trailer_text(Tkn_text_form form) const override;
  const entry* trailer_entry(Tkn_text_form form) const override;
  std::size_t trailer_length(Tkn_text_form form) const override;
  bool is_trailer(Tkn_text_form form, const entry* text) const override;
  bool redact(std::size_t start, std::size_t count) override;
  void make_safe(std::size_t start, std::size_t count) override;
  bool modify(const krn::Wstring& replacement, const krn::Wstring& before, const krn::Wstring& after) override;

 protected:
  void front(unsigned& position, std::size_t& offset) const override;
  void back(unsigned& position, std::size_t& offset) const override;

 public:
  bool is_regular() const override;
  // The first token's characters (text, then trailer) before the start.
  virtual void preamble(Tkn_text_form form, krn::Wstring& out) const;
  // The last token's characters (text, then trailer) after the end.
  virtual void postamble(Tkn_text_form form, krn::Wstring& out) const;

  std::size_t start_offset() const { return m_start; }
  std::size_t end_offset() const { return m_end; }

 private:
  std::size_t m_start;
  std::size_t m_end;
  const Tkn_text* m_trailer;
};

}  // namespace tkn

#endif
