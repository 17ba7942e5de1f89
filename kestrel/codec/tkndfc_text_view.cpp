#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "codec/tkndfc_format_codec.h"
#include "enr/enr_reader.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "tkn/tkn_tokeniser.h"
#include "tkn/tkn_types.h"

namespace tkndfc {

namespace {

using krn::int64;
using krn::uint64;

const char* const NO_CONTENT = "Tkndfc_format_codec::create_text_view() - no content attached";
const char* const NOT_CHECKPOINTED = "Tkndfc_format_codec::create_text_view() - haven't been checkpointed";
const char* const UNEXPECTED_OPERATION = "Tkndfc_format_codec::create_text_view() - unexpected operation";
const char* const TOKENISATION_FAILED = "Tkndfc_format_codec::create_text_view() - tokenisation failed";

}  // namespace

Tkndfc_text_view::Tkndfc_text_view(Tkndfc_format_codec* codec, tkn::Tkn_text_table* table)
    : tkn::Tkn_text_view(0, table), m_codec(codec) {}

Tkndfc_text_view::~Tkndfc_text_view() = default;

Tkndfc_text_view* Tkndfc_format_codec::create_text_view() {
  if (m_content == nullptr) throw std::logic_error(NO_CONTENT);
  krn::Krn_status status;
  enr::Enr_utf16_reader reader;
  // Not strict: malformed units read as U+FFFD and become part of a token.
  reader.attach(*m_content, status, false);
  if (!status.is_error() && m_content_start != 0) reader.seek(static_cast<int64>(m_content_start), status);
  std::unique_ptr<Tkndfc_text_view> view;
  if (!status.is_error()) {
    view = std::make_unique<Tkndfc_text_view>(this, m_table);
    tokenise(reader, *view, status);
  }
  if (status.is_error()) throw std::runtime_error(TOKENISATION_FAILED);
  view->end_content();
  return view.release();
}

void Tkndfc_format_codec::tokenise(enr::Enr_utf16_reader& reader, Tkndfc_text_view& view, krn::Krn_status& status) {
  // The text is what attach measured: edits recorded against the content
  // address exactly these bytes.
  const int64 end = static_cast<int64>(m_content_end);
  tkn::Tkn_tokeniser tokeniser;
  krn::Wstring buffer;
  unsigned type = tkn::TKN_TOKEN_WHITESPACE;
  krn::Wstring checkpoint_buffer;
  unsigned checkpoint_type = tkn::TKN_TOKEN_WHITESPACE;
  int64 checkpoint_position = 0;
  bool checkpointed = false;
  int64 token_start = 0;
  view.start_content();

  auto rollback = [&] {
    if (!checkpointed) throw std::logic_error(NOT_CHECKPOINTED);
    buffer = checkpoint_buffer;
    type = checkpoint_type;
    reader.seek(checkpoint_position, status);
    checkpointed = false;
  };
  auto emit_token = [&] { add_token(view, type, buffer, static_cast<uint64>(token_start)); };
  auto emit_trailer = [&] {
    // Whitespace before the first token hangs on an empty token of its own.
    if (view.cback() == nullptr) add_token(view, tkn::TKN_TOKEN_WHITESPACE, krn::Wstring(), static_cast<uint64>(token_start));
    view.cback()->trailer_text(buffer);
  };
  // After an emit the tokeniser wants the code point at pos again.
  auto resume_at = [&](int64 pos) {
    reader.seek(pos, status);
    checkpointed = false;
    token_start = 0;
  };

  for (;;) {
    tkn::Tkn_parse_operation operation;
    const int64 pos = reader.tell();
    // The end is known, so the reader is never asked past it (which would
    // cost it an exception); an end it reports before then is a failed read.
    if (pos < end) {
      const std::uint32_t code_point = reader.read();
      if (code_point == enr::Enr_reader_base::END_OF_DATA) {
        status = krn::KRN_E_READ;
        return;
      }
      tokeniser.process(code_point, buffer, type, operation);
      switch (operation) {
        case tkn::TKN_PARSE_START:
          checkpointed = false;
          token_start = pos;
          break;
        case tkn::TKN_PARSE_CONTINUE:
        case tkn::TKN_PARSE_SKIP:
          break;
        case tkn::TKN_PARSE_CHECKPOINT:
          checkpoint_buffer = buffer;
          checkpoint_position = pos;
          checkpoint_type = type;
          checkpointed = true;
          reader.seek(pos, status);
          break;
        case tkn::TKN_PARSE_ROLLBACK:
          rollback();
          break;
        case tkn::TKN_PARSE_EMIT_TOKEN:
          emit_token();
          resume_at(pos);
          break;
        case tkn::TKN_PARSE_EMIT_TRAILER:
          emit_trailer();
          resume_at(pos);
          break;
        default:
          throw std::logic_error(UNEXPECTED_OPERATION);
      }
      if (status.is_error()) return;
      continue;
    }

    tokeniser.breakpoint(buffer, type, operation);
    switch (operation) {
      case tkn::TKN_PARSE_ROLLBACK:
        rollback();
        if (status.is_error()) return;
        continue;
      case tkn::TKN_PARSE_EMIT_TOKEN:
        emit_token();
        return;
      case tkn::TKN_PARSE_EMIT_TRAILER:
        emit_trailer();
        return;
      case tkn::TKN_PARSE_SKIP:
        return;
      default:
        throw std::logic_error(UNEXPECTED_OPERATION);
    }
  }
}

void Tkndfc_format_codec::add_token(Tkndfc_text_view& view, unsigned type, const krn::Wstring& text, krn::uint64 offset) {
  if (m_pool == nullptr) {
    m_pool = new Tkndfc_token_pool;
    m_owns_pool = true;
  }
  Tkndfc_physical_token* token = m_pool->construct(type, text, &view, offset);
  if (token == nullptr) {
    char message[128];
    std::snprintf(message, sizeof message,
                  "Too many tokens are required to tokenise the text (over %lu).  Tokenisation has failed.",
                  static_cast<unsigned long>(Tkndfc_token_pool::CAPACITY));
    throw std::runtime_error(message);
  }
  view.add_content(token);
}

}  // namespace tkndfc
