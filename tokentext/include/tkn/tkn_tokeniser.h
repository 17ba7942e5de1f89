#ifndef TKN_TOKENISER_H
#define TKN_TOKENISER_H

// The state machine that cuts text into tokens. It never reads the text: the
// caller feeds it one code point at a time and does what each returned
// operation says. Look-ahead for apostrophes (don't, dogs', 1990's, '90s) is
// done by asking the caller to save a checkpoint in its input and, when the
// guess fails, to go back to it; that keeps the tokeniser free of buffers.

#include <cstdint>

#include "krn/krn_types.h"
#include "tkn/tkn_export.h"

namespace tkn {

// What the caller must do after a step. Values are part of the interface.
enum Tkn_parse_operation : std::uint32_t {
  // The code point was put into a fresh token buffer: the token starts here.
  // Remember this input position as its start and forget any checkpoint.
  TKN_PARSE_START = 0,
  // The code point was appended to the token buffer.
  TKN_PARSE_CONTINUE = 1,
  // Save buffer, type and the position of this code point, then feed the
  // same code point again.
  TKN_PARSE_CHECKPOINT = 2,
  // Restore buffer and type from the checkpoint, move the input back to it
  // and feed from there. Without a checkpoint the caller has broken the
  // protocol.
  TKN_PARSE_ROLLBACK = 3,
  // The buffer holds a complete token of the current type ending just before
  // this code point: emit it, then feed this code point again.
  TKN_PARSE_EMIT_TOKEN = 4,
  // The buffer holds a whitespace run ending just before this code point:
  // make it the trailer of the last token (or of an empty whitespace-typed
  // token when there is none yet), then feed this code point again.
  TKN_PARSE_EMIT_TRAILER = 5,
  // Ignore this code point.
  TKN_PARSE_SKIP = 6,
};

class TKN_API Tkn_tokeniser {
 public:
  Tkn_tokeniser() = default;
  Tkn_tokeniser(const Tkn_tokeniser&) = default;
  Tkn_tokeniser& operator=(const Tkn_tokeniser&) = default;

  // Back to the start of a text.
  void reset() { m_state = 0; }

  // One step with the next code point. Writes operation on every normal
  // return and type only where a token's type is decided. Throws
  // std::logic_error when the caller did not feed the checkpointed code
  // point again after a CHECKPOINT or ROLLBACK.
  void process(unsigned code_point, krn::Wstring& token, unsigned& type, Tkn_parse_operation& operation);

  // The input has ended. Called each time the caller's reader reports the
  // end, also again after a ROLLBACK that led back to it; the text is done
  // once this returns EMIT_TOKEN, EMIT_TRAILER or SKIP.
  void breakpoint(krn::Wstring& token, unsigned& type, Tkn_parse_operation& operation);

 private:
  std::uint32_t m_state = 0;
};

}  // namespace tkn

#endif
