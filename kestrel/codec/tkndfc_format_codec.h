#ifndef TKNDFC_FORMAT_CODEC_H
#define TKNDFC_FORMAT_CODEC_H

// The codec for plain UTF-16 text. Its text facet cuts the content into a
// token view with the token library's tokeniser; its annotation facet and the
// view's tokens record edits of the content (lines added at either end,
// redactions, replacements, removals) in a buffer patcher, for compose() to
// apply to a copy. The content itself is never changed.
//
// The tool makes one codec per field value and reads only the view, so the
// per-value costs matter: tokens come from a block pool that is released in
// one piece with the codec, and texts are interned in the view's table.

#include <cstddef>

#include "codec/dfc_format_codec.h"
#include "codec/dff_facets.h"
#include "krn/krn_types.h"
#include "ptl/ptl_allocator.h"
#include "tkn/tkn_text_view.h"
#include "tkn/tkn_token.h"
#include "utk/utk_patcher.h"

namespace enr {
class Enr_utf16_reader;
}

namespace tkn {
class Tkn_text_table;
}

namespace tkndfc {

class Tkndfc_format_codec;
class Tkndfc_physical_token;

// 1000 tokens a block, at most 15000 blocks.
using Tkndfc_token_pool = ptl::Ptl_allocator<Tkndfc_physical_token, 1000, 15000>;

// Line-break kinds, as krn::Krn_eol counts them.
inline constexpr unsigned TKNDFC_LINE_BREAK_LF = 2;
inline constexpr unsigned TKNDFC_LINE_BREAK_CRLF = 3;

// The view of a codec's content; the codec owns it.
class Tkndfc_text_view : public tkn::Tkn_text_view {
 public:
  // View type 0; a null table makes the view keep a table of its own.
  Tkndfc_text_view(Tkndfc_format_codec* codec, tkn::Tkn_text_table* table);
  ~Tkndfc_text_view() override;

  Tkndfc_format_codec* codec() const { return m_codec; }

 private:
  Tkndfc_format_codec* m_codec;
};

// A token of a codec's view that knows where its text starts in the content,
// so that edits of it can be recorded against the content. Edits are
// recorded only while the codec is editable (else they answer false) and
// must fall inside a transaction of the codec.
class Tkndfc_physical_token : public tkn::Tkn_physical_token {
 public:
  Tkndfc_physical_token(unsigned type, const krn::Wstring& text, Tkndfc_text_view* view, krn::uint64 content_offset);

  // Replaces count characters from start (combining marks go with the
  // character before them; count 0: to the end) by the view's redaction
  // character, once per character.
  bool redact(std::size_t start, std::size_t count) override;
  // Puts before in front of the token's text, replacement in its place and
  // after behind it; empty parts are left out, all three empty is false.
  bool modify(const krn::Wstring& replacement, const krn::Wstring& before, const krn::Wstring& after) override;
  // Takes the token's text out of the content; its trailer stays.
  bool remove() override;

  // Byte offset of the token's first character in the content.
  krn::uint64 content_offset() const { return m_content_offset; }

 private:
  Tkndfc_format_codec& codec() const;

  krn::uint64 m_content_offset;
};

class Tkndfc_format_codec : public dfc::Dfc_format_codec, public dff::Dff_text_facet, public dff::Dff_annotation_facet {
 public:
  // With a facet set, only the facets it names are offered; without one,
  // both. The table (may be null) and the pool (null: the codec makes and
  // owns one when it needs it) are borrowed and must outlive the codec.
  // tokenise_empty makes empty content give an empty view instead of none.
  Tkndfc_format_codec(const dfc::Dfc_facet_set* facets, tkn::Tkn_text_table* table, Tkndfc_token_pool* pool,
                      bool tokenise_empty);
  ~Tkndfc_format_codec() override;

  dfc::Dfc_format_facet* query_facet(const krn::GUID& facet) override;
  // Drops the view and every recorded edit, then takes the new content (null
  // leaves the codec without content). A byte-order mark at the start is
  // not content.
  void attach(krn::Krn_buffer* content, krn::Krn_status& status) override;
  void start() override;
  void commit() override;
  void abort() override;
  bool in_transaction() const override;
  bool committed() const override;
  krn::Krn_buffer* compose(krn::Krn_status& status) override;

  // Index 0 with cookie 0 gives the view, made on the first request; null
  // for empty content (unless tokenise_empty) and for any other index or
  // cookie. A read failure while the view is made: std::runtime_error.
  tkn::Tkn_text_view* view(unsigned index, unsigned& cookie) override;

  // The text is taken as lines: its line breaks become the content's kind
  // and it always ends with one. An odd byte length is
  // std::invalid_argument, no content attached std::logic_error; not
  // editable, or nothing to insert: false.
  bool insert_content_front(const krn::Wstring& text) override;
  bool insert_content_back(const krn::Wstring& text) override;
  bool insert_content_front(const krn::Char16* data, std::size_t byte_length) override;
  bool insert_content_back(const krn::Char16* data, std::size_t byte_length) override;

 private:
  friend class Tkndfc_physical_token;

  // Where the text starts and ends, and how its lines end.
  void analyse_content(krn::Krn_status& status);
  void find_last_line_break(krn::Krn_status& status);
  Tkndfc_text_view* create_text_view();
  // Feeds the content from start to end through the tokeniser into view.
  void tokenise(enr::Enr_utf16_reader& reader, Tkndfc_text_view& view, krn::Krn_status& status);
  void add_token(Tkndfc_text_view& view, unsigned type, const krn::Wstring& text, krn::uint64 offset);
  // Deletes the view, and with an owned pool every token made for it.
  void drop_view();
  void reset_analysis();
  bool insert_lines(const char* operation, const krn::Char16* data, std::size_t byte_length, bool at_back);
  krn::Wstring line_break() const;

  tkn::Tkn_text_table* m_table;
  Tkndfc_token_pool* m_pool;
  krn::Krn_buffer* m_content = nullptr;
  unsigned m_line_break_kind = TKNDFC_LINE_BREAK_CRLF;
  bool m_owns_pool = false;
  bool m_ends_with_line_break = false;
  bool m_text_facet_enabled;
  bool m_annotation_facet_enabled;
  krn::uint64 m_content_start = 0;
  krn::uint64 m_content_end = 0;
  Tkndfc_text_view* m_view = nullptr;
  utk::Utk_buffer_patcher m_patcher;
  bool m_in_transaction = false;
  bool m_tokenise_empty;
};

}  // namespace tkndfc

#endif
