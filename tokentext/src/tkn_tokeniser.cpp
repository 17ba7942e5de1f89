#include "tkn/tkn_tokeniser.h"

#include <stdexcept>

#include "krn/krn_unicode.h"
#include "tkn/tkn_types.h"
#include "tkn_utf16.h"

namespace tkn {

namespace {

// The numbers are the stored state values; the names say what the machine
// has seen. The look-ahead states (8 to 19) hold a guess that a rollback
// may still undo.
enum State : std::uint32_t {
  TEXT_START = 0,
  IN_WHITESPACE = 1,
  IN_NUMBER = 2,
  IN_PUNCTUATION = 3,
  IN_SYMBOL = 4,
  IN_WORD = 5,
  IN_IDEOGRAPH = 6,
  AFTER_TOKEN = 7,
  WORD_APOSTROPHE_SAVED = 8,   // word checkpointed before an apostrophe
  WORD_APOSTROPHE = 9,         // word + apostrophe; a letter must follow
  EMIT_BEFORE_APOSTROPHE = 10, // rolled back: the token ends before the apostrophe
  LONE_APOSTROPHE = 11,        // an apostrophe starting a token
  APOSTROPHE_DIGIT_SAVED = 12, // apostrophe checkpointed before a digit
  APOSTROPHE_ONE_DIGIT = 13,   // '9
  APOSTROPHE_TWO_DIGITS = 14,  // '90
  APOSTROPHE_DIGITS_S = 15,    // '90s; no letter may follow
  EMIT_APOSTROPHE = 16,        // rolled back: the apostrophe is a token of its own
  NUMBER_APOSTROPHE_SAVED = 17,// number checkpointed before an apostrophe
  NUMBER_APOSTROPHE = 18,      // 1990'; the letter s must follow
  NUMBER_APOSTROPHE_S = 19,    // 1990's; whitespace, punctuation or the end must follow
};

constexpr unsigned REPLACEMENT_CHARACTER = 0xFFFD;

bool is_apostrophe(unsigned cls, unsigned cp) {
  return cls == krn::KRN_CP_PUNCTUATION && (cp == 0x0027 || cp == 0x2019);
}

// The plural and possessive s, also in its full-width forms.
bool is_letter_s(unsigned cls, unsigned cp) {
  return cls == krn::KRN_CP_LETTER && (cp == 0x0073 || cp == 0x0053 || cp == 0xFF53 || cp == 0xFF33);
}

void fresh(krn::Wstring& token, unsigned cp) {
  token.clear();
  tkn_append_code_point(token, cp);
}

[[noreturn]] void apostrophe_expected() {
  throw std::logic_error("Tkn_tokeniser::process - character should be an apostrophe");
}

[[noreturn]] void number_expected() {
  throw std::logic_error("Tkn_tokeniser::process - character should be a number");
}

}  // namespace

void Tkn_tokeniser::process(unsigned cp, krn::Wstring& token, unsigned& type, Tkn_parse_operation& operation) {
  const unsigned cls = krn::impl::krn_unicode_char_type(cp);

  switch (m_state) {
    case TEXT_START:
    case AFTER_TOKEN:
      switch (cls) {
        case krn::KRN_CP_IGNORED:
          if (m_state == AFTER_TOKEN) token.clear();
          operation = TKN_PARSE_SKIP;
          return;
        case krn::KRN_CP_SPACE:
          // After a token the run only becomes a trailer, so its type is moot;
          // at the start it becomes the empty leading whitespace token.
          if (m_state == TEXT_START) type = TKN_TOKEN_WHITESPACE;
          fresh(token, cp);
          m_state = IN_WHITESPACE;
          break;
        case krn::KRN_CP_NUMBER:
          fresh(token, cp);
          type = TKN_TOKEN_NUMBER;
          m_state = IN_NUMBER;
          break;
        case krn::KRN_CP_PUNCTUATION:
          fresh(token, cp);
          type = TKN_TOKEN_PUNCTUATION;
          m_state = is_apostrophe(cls, cp) ? LONE_APOSTROPHE : IN_PUNCTUATION;
          break;
        case krn::KRN_CP_SYMBOL:
          fresh(token, cp);
          type = TKN_TOKEN_SYMBOL;
          m_state = IN_SYMBOL;
          break;
        case krn::KRN_CP_MARK:
          // A mark with no base character to carry it is dropped.
          token.clear();
          type = TKN_TOKEN_WHITESPACE;
          operation = TKN_PARSE_SKIP;
          return;
        case krn::KRN_CP_LETTER:
          fresh(token, cp);
          type = TKN_TOKEN_WORD;
          m_state = IN_WORD;
          break;
        default:  // ideograph: each one is a word of its own
          fresh(token, cp);
          type = TKN_TOKEN_WORD;
          m_state = IN_IDEOGRAPH;
          break;
      }
      operation = TKN_PARSE_START;
      return;

    case IN_WHITESPACE:
      if (cls == krn::KRN_CP_SPACE) {
        tkn_append_code_point(token, cp);
        operation = TKN_PARSE_CONTINUE;
      } else {
        operation = TKN_PARSE_EMIT_TRAILER;
        m_state = AFTER_TOKEN;
      }
      return;

    case IN_NUMBER:
      if (cls == krn::KRN_CP_NUMBER || cls == krn::KRN_CP_MARK) {
        tkn_append_code_point(token, cp);
        operation = TKN_PARSE_CONTINUE;
      } else if (is_apostrophe(cls, cp)) {
        operation = TKN_PARSE_CHECKPOINT;
        m_state = NUMBER_APOSTROPHE_SAVED;
      } else {
        operation = TKN_PARSE_EMIT_TOKEN;
        m_state = AFTER_TOKEN;
      }
      return;

    case IN_PUNCTUATION:
    case IN_SYMBOL:
    case IN_IDEOGRAPH:
      if (cls == krn::KRN_CP_MARK) {
        tkn_append_code_point(token, cp);
        operation = TKN_PARSE_CONTINUE;
      } else {
        operation = TKN_PARSE_EMIT_TOKEN;
        m_state = AFTER_TOKEN;
      }
      return;

    case IN_WORD:
      if (cls == krn::KRN_CP_NUMBER || cls == krn::KRN_CP_MARK || cls == krn::KRN_CP_LETTER ||
          (cls == krn::KRN_CP_SYMBOL && cp == REPLACEMENT_CHARACTER)) {
        // U+FFFD stands for a unit the reader could not decode; keeping it
        // inside the word keeps the damaged word one token.
        tkn_append_code_point(token, cp);
        operation = TKN_PARSE_CONTINUE;
      } else if (is_apostrophe(cls, cp)) {
        operation = TKN_PARSE_CHECKPOINT;
        m_state = WORD_APOSTROPHE_SAVED;
      } else {
        operation = TKN_PARSE_EMIT_TOKEN;
        m_state = AFTER_TOKEN;
      }
      return;

    case WORD_APOSTROPHE_SAVED:
      if (!is_apostrophe(cls, cp)) apostrophe_expected();
      tkn_append_code_point(token, cp);
      operation = TKN_PARSE_CONTINUE;
      m_state = WORD_APOSTROPHE;
      return;

    case WORD_APOSTROPHE:
      if (cls == krn::KRN_CP_LETTER) {
        tkn_append_code_point(token, cp);
        operation = TKN_PARSE_CONTINUE;
        m_state = IN_WORD;
      } else {
        operation = TKN_PARSE_ROLLBACK;
        m_state = EMIT_BEFORE_APOSTROPHE;
      }
      return;

    case EMIT_BEFORE_APOSTROPHE:
      if (!is_apostrophe(cls, cp)) apostrophe_expected();
      operation = TKN_PARSE_EMIT_TOKEN;
      m_state = AFTER_TOKEN;
      return;

    case LONE_APOSTROPHE:
      if (cls == krn::KRN_CP_NUMBER) {
        operation = TKN_PARSE_CHECKPOINT;
        m_state = APOSTROPHE_DIGIT_SAVED;
      } else {
        operation = TKN_PARSE_EMIT_TOKEN;
        m_state = AFTER_TOKEN;
      }
      return;

    case APOSTROPHE_DIGIT_SAVED:
      if (cls != krn::KRN_CP_NUMBER) number_expected();
      tkn_append_code_point(token, cp);
      type = TKN_TOKEN_WORD;
      operation = TKN_PARSE_CONTINUE;
      m_state = APOSTROPHE_ONE_DIGIT;
      return;

    case APOSTROPHE_ONE_DIGIT:
      if (cls == krn::KRN_CP_NUMBER) {
        tkn_append_code_point(token, cp);
        operation = TKN_PARSE_CONTINUE;
        m_state = APOSTROPHE_TWO_DIGITS;
      } else {
        operation = TKN_PARSE_ROLLBACK;
        m_state = EMIT_APOSTROPHE;
      }
      return;

    case APOSTROPHE_TWO_DIGITS:
      if (is_letter_s(cls, cp)) {
        tkn_append_code_point(token, cp);
        operation = TKN_PARSE_CONTINUE;
        m_state = APOSTROPHE_DIGITS_S;
      } else {
        operation = TKN_PARSE_ROLLBACK;
        m_state = EMIT_APOSTROPHE;
      }
      return;

    case APOSTROPHE_DIGITS_S:
      if (cls == krn::KRN_CP_LETTER) {
        operation = TKN_PARSE_ROLLBACK;
        m_state = EMIT_APOSTROPHE;
      } else {
        operation = TKN_PARSE_EMIT_TOKEN;
        m_state = AFTER_TOKEN;
      }
      return;

    case EMIT_APOSTROPHE:
      operation = TKN_PARSE_EMIT_TOKEN;
      m_state = AFTER_TOKEN;
      return;

    case NUMBER_APOSTROPHE_SAVED:
      if (!is_apostrophe(cls, cp)) apostrophe_expected();
      tkn_append_code_point(token, cp);
      type = TKN_TOKEN_WORD;
      operation = TKN_PARSE_CONTINUE;
      m_state = NUMBER_APOSTROPHE;
      return;

    case NUMBER_APOSTROPHE:
      if (is_letter_s(cls, cp)) {
        tkn_append_code_point(token, cp);
        operation = TKN_PARSE_CONTINUE;
        m_state = NUMBER_APOSTROPHE_S;
      } else {
        operation = TKN_PARSE_ROLLBACK;
        m_state = EMIT_BEFORE_APOSTROPHE;
      }
      return;

    case NUMBER_APOSTROPHE_S:
      if (cls == krn::KRN_CP_SPACE || cls == krn::KRN_CP_PUNCTUATION) {
        operation = TKN_PARSE_EMIT_TOKEN;
        m_state = AFTER_TOKEN;
      } else {
        operation = TKN_PARSE_ROLLBACK;
        m_state = EMIT_BEFORE_APOSTROPHE;
      }
      return;

    default:
      return;
  }
}

void Tkn_tokeniser::breakpoint(krn::Wstring&, unsigned& type, Tkn_parse_operation& operation) {
  switch (m_state) {
    case TEXT_START:
      type = TKN_TOKEN_WHITESPACE;
      operation = TKN_PARSE_SKIP;
      return;
    case IN_WHITESPACE:
      operation = TKN_PARSE_EMIT_TRAILER;
      m_state = AFTER_TOKEN;
      return;
    case IN_NUMBER:
    case IN_PUNCTUATION:
    case IN_SYMBOL:
    case IN_WORD:
    case IN_IDEOGRAPH:
    case LONE_APOSTROPHE:
    case APOSTROPHE_DIGITS_S:
    case NUMBER_APOSTROPHE_S:
      operation = TKN_PARSE_EMIT_TOKEN;
      m_state = AFTER_TOKEN;
      return;
    case AFTER_TOKEN:
      operation = TKN_PARSE_SKIP;
      return;
    case WORD_APOSTROPHE:
    case NUMBER_APOSTROPHE:
      operation = TKN_PARSE_ROLLBACK;
      m_state = EMIT_BEFORE_APOSTROPHE;
      return;
    case APOSTROPHE_DIGIT_SAVED:
    case APOSTROPHE_ONE_DIGIT:
    case APOSTROPHE_TWO_DIGITS:
      operation = TKN_PARSE_ROLLBACK;
      m_state = EMIT_APOSTROPHE;
      return;
    case WORD_APOSTROPHE_SAVED:
    case EMIT_BEFORE_APOSTROPHE:
    case NUMBER_APOSTROPHE_SAVED:
      throw std::logic_error("Tkn_tokeniser::breakpoint - apostrophe has been lost");
    case EMIT_APOSTROPHE:
      throw std::logic_error("Tkn_tokeniser::breakpoint - number has been lost");
    default:
      return;
  }
}

}  // namespace tkn
