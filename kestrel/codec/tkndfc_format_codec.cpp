#include "codec/tkndfc_format_codec.h"

#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "enr/enr_reader.h"
#include "krn/krn_buffer.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "krn/krn_string.h"

namespace tkndfc {

namespace {

using krn::Char16;
using krn::int64;
using krn::uint64;

constexpr Char16 CR = 0x000D;
constexpr Char16 LF = 0x000A;
constexpr Char16 BYTE_ORDER_MARK = 0xFEFF;

// The backward search for the last line break reads this much at a time, so
// that a long text ending in a short last line costs one small read.
constexpr uint64 LINE_SCAN_CHUNK = 512;

bool read_exactly(const krn::Krn_unbuffered_istream& input, uint64 position, uint64 count, void* data,
                  krn::Krn_status& status) {
  const uint64 got = input.read_at(static_cast<int64>(position), count, data, status);
  if (status.is_error()) return false;
  if (got != count) {
    // The content is shorter than its size said: it changed under us.
    status = krn::KRN_E_END_OF_DATA;
    return false;
  }
  return true;
}

// The text's line breaks become the given one; a lone CR is kept, as it
// breaks no line, except at the very end, where the closing break replaces
// it. The result always ends with a line break, so that it forms whole lines.
void append_as_lines(const Char16* data, std::size_t units, const krn::Wstring& line_break, krn::Wstring& out) {
  const std::size_t begin = out.size();
  out.reserve(begin + units + line_break.size());
  for (std::size_t i = 0; i < units; ++i) {
    const Char16 unit = data[i];
    if (unit == CR) {
      if (i + 1 == units) break;
      if (data[i + 1] == LF) {
        out += line_break;
        ++i;
      } else {
        out += CR;
      }
    } else if (unit == LF) {
      out += line_break;
    } else {
      out += unit;
    }
  }
  const std::size_t added = out.size() - begin;
  if (added < line_break.size() || out.compare(out.size() - line_break.size(), line_break.size(), line_break) != 0)
    out += line_break;
}

}  // namespace

Tkndfc_format_codec::Tkndfc_format_codec(const dfc::Dfc_facet_set* facets, tkn::Tkn_text_table* table,
                                         Tkndfc_token_pool* pool, bool tokenise_empty)
    : m_table(table),
      m_pool(pool),
      m_text_facet_enabled(facets == nullptr || facets->count(dff::DFF_TEXT_FACET_ID) != 0),
      m_annotation_facet_enabled(facets == nullptr || facets->count(dff::DFF_ANNOTATION_FACET_ID) != 0),
      m_tokenise_empty(tokenise_empty) {}

Tkndfc_format_codec::~Tkndfc_format_codec() { drop_view(); }

dfc::Dfc_format_facet* Tkndfc_format_codec::query_facet(const krn::GUID& facet) {
  if (m_text_facet_enabled && facet == dff::DFF_TEXT_FACET_ID) {
    dff::Dff_text_facet* text = this;
    return text;
  }
  if (m_annotation_facet_enabled && facet == dff::DFF_ANNOTATION_FACET_ID) {
    dff::Dff_annotation_facet* annotation = this;
    return annotation;
  }
  return nullptr;
}

void Tkndfc_format_codec::drop_view() {
  delete m_view;
  m_view = nullptr;
  // The tokens belonged to that view alone. Releasing an own pool with it
  // keeps a codec that is attached again and again from piling up tokens
  // nobody can reach.
  if (m_owns_pool) {
    delete m_pool;
    m_pool = nullptr;
    m_owns_pool = false;
  }
}

void Tkndfc_format_codec::reset_analysis() {
  m_line_break_kind = TKNDFC_LINE_BREAK_CRLF;
  m_ends_with_line_break = false;
  m_content_start = 0;
  m_content_end = 0;
}

void Tkndfc_format_codec::attach(krn::Krn_buffer* content, krn::Krn_status& status) {
  status.clear();
  try {
    if (m_in_transaction) abort();
    m_patcher.clear();
    drop_view();
    m_content = content;
    reset_analysis();
    if (m_content == nullptr || (!m_text_facet_enabled && !m_annotation_facet_enabled)) return;
    analyse_content(status);
  } catch (const std::bad_alloc&) {
    status = krn::KRN_E_NO_MEMORY;
  } catch (const std::exception& error) {
    krn::Wstring text;
    krn::krn_utf8_to_utf16(error.what(), text);
    status.assign(krn::KRN_E_STD_EXCEPTION, krn::Krn_wstring_status_arg(text));
  } catch (...) {
    status = krn::KRN_E_UNKNOWN_EXCEPTION;
  }
  // Half-analysed content must not be cut into tokens.
  if (status.is_error()) reset_analysis();
}

void Tkndfc_format_codec::analyse_content(krn::Krn_status& status) {
  enr::Enr_utf16_reader reader;
  reader.attach(*m_content, status, false);
  if (status.is_error()) return;
  const int64 size = m_content->size(false, status);
  if (status.is_error()) return;
  uint64 start = 0;
  // A byte-order mark takes two bytes; reading at the very end would cost
  // the reader an exception, once per empty field value.
  if (size >= 2 && reader.read() == BYTE_ORDER_MARK) start = static_cast<uint64>(reader.tell());
  reader.detach();
  m_content_start = start;
  m_content_end = static_cast<uint64>(size);

  if (!m_annotation_facet_enabled) return;
  find_last_line_break(status);
  if (status.is_error()) return;
  if (m_content_start == m_content_end) m_ends_with_line_break = true;
}

void Tkndfc_format_codec::find_last_line_break(krn::Krn_status& status) {
  krn::Krn_unbuffered_istream input(*m_content, false, status);
  if (status.is_error()) return;
  // Units sit at even offsets; an odd last byte is no unit.
  const uint64 units_end = m_content_end & ~uint64{1};
  unsigned char chunk[LINE_SCAN_CHUNK];
  bool at_last_unit = true;
  uint64 chunk_end = units_end;
  while (chunk_end > 0) {
    const uint64 chunk_start = chunk_end > LINE_SCAN_CHUNK ? chunk_end - LINE_SCAN_CHUNK : 0;
    const uint64 size = chunk_end - chunk_start;
    if (!read_exactly(input, chunk_start, size, chunk, status)) return;
    for (uint64 at = size; at >= sizeof(Char16); at -= sizeof(Char16)) {
      Char16 unit;
      std::memcpy(&unit, chunk + at - sizeof(Char16), sizeof unit);
      if (at_last_unit) {
        m_ends_with_line_break = unit == LF;
        at_last_unit = false;
      }
      if (unit != LF) continue;
      Char16 before = 0;
      if (at >= 2 * sizeof(Char16)) {
        std::memcpy(&before, chunk + at - 2 * sizeof(Char16), sizeof before);
      } else if (chunk_start > 0) {
        if (!read_exactly(input, chunk_start - sizeof(Char16), sizeof before, &before, status)) return;
      }
      m_line_break_kind = before == CR ? TKNDFC_LINE_BREAK_CRLF : TKNDFC_LINE_BREAK_LF;
      return;
    }
    chunk_end = chunk_start;
  }
  // Text without any LF is written with CR LF breaks.
}

void Tkndfc_format_codec::start() {
  m_patcher.start();
  m_in_transaction = true;
}

void Tkndfc_format_codec::commit() {
  m_patcher.commit();
  m_in_transaction = false;
}

void Tkndfc_format_codec::abort() {
  m_patcher.abort();
  m_in_transaction = false;
}

bool Tkndfc_format_codec::in_transaction() const { return m_in_transaction; }

bool Tkndfc_format_codec::committed() const { return m_patcher.committed(); }

krn::Krn_buffer* Tkndfc_format_codec::compose(krn::Krn_status& status) {
  if (m_content == nullptr) throw std::logic_error("Tkndfc_format_codec::compose() - no content attached");
  if (m_in_transaction) throw std::logic_error("Tkndfc_format_codec::compose() - transaction in progress");
  status.clear();
  if (!m_patcher.committed()) return nullptr;
  auto composed = std::make_unique<krn::Krn_heap_buffer>();
  m_patcher.compose(*m_content, *composed, status);
  if (status.is_error()) return nullptr;
  return composed.release();
}

tkn::Tkn_text_view* Tkndfc_format_codec::view(unsigned index, unsigned& cookie) {
  const bool first_view = index == 0 && cookie == 0;
  cookie = dff::DFF_NO_MORE_VIEWS;
  if (!first_view) return nullptr;
  if (m_view == nullptr) {
    // Without content create_text_view() reports the misuse.
    if (m_content != nullptr && m_content_start == m_content_end && !m_tokenise_empty) return nullptr;
    m_view = create_text_view();
  }
  return m_view;
}

krn::Wstring Tkndfc_format_codec::line_break() const {
  return m_line_break_kind == TKNDFC_LINE_BREAK_LF ? krn::Wstring(1, LF) : krn::Wstring{CR, LF};
}

bool Tkndfc_format_codec::insert_lines(const char* operation, const krn::Char16* data, std::size_t byte_length,
                                       bool at_back) {
  const std::string where = std::string("Tkndfc_format_codec::") + operation;
  if (byte_length % sizeof(Char16) != 0) throw std::invalid_argument(where + " - length not multiple of Char16");
  if (m_content == nullptr) throw std::logic_error(where + " - no content attached");
  if (!editable() || byte_length == 0) return false;
  if (data == nullptr) throw std::invalid_argument(where + " - data is null");

  const krn::Wstring line_end = line_break();
  krn::Wstring lines;
  if (at_back && !m_ends_with_line_break) lines = line_end;
  append_as_lines(data, byte_length / sizeof(Char16), line_end, lines);
  return m_patcher.add_insert(static_cast<int64>(at_back ? m_content_end : m_content_start), lines);
}

bool Tkndfc_format_codec::insert_content_front(const krn::Wstring& text) {
  return insert_content_front(text.data(), text.size() * sizeof(Char16));
}

bool Tkndfc_format_codec::insert_content_back(const krn::Wstring& text) {
  return insert_content_back(text.data(), text.size() * sizeof(Char16));
}

bool Tkndfc_format_codec::insert_content_front(const krn::Char16* data, std::size_t byte_length) {
  return insert_lines("insert_content_front()", data, byte_length, false);
}

bool Tkndfc_format_codec::insert_content_back(const krn::Char16* data, std::size_t byte_length) {
  return insert_lines("insert_content_back()", data, byte_length, true);
}

}  // namespace tkndfc
