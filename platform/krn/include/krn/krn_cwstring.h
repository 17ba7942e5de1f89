#ifndef KRN_CWSTRING_H
#define KRN_CWSTRING_H

// Named UTF-16 string constants. A Krn_cwstring is a UTF-16 string built once
// from narrow (UTF-8) text; it is a Wstring, so it passes wherever a
// const Wstring& is expected and compares and concatenates like one.

#include "krn/krn_types.h"

namespace krn {

class KRN_API Krn_cwstring : public Wstring {
 public:
  Krn_cwstring() = default;
  explicit Krn_cwstring(const char* narrow);
  explicit Krn_cwstring(const Wstring& text) : Wstring(text) {}
};

KRN_API extern const Krn_cwstring W_EMPTY;
KRN_API extern const Krn_cwstring W_SPACE;
KRN_API extern const Krn_cwstring W_UNDERSCORE;
KRN_API extern const Krn_cwstring W_HYPHEN;
KRN_API extern const Krn_cwstring W_EQUALS;
KRN_API extern const Krn_cwstring W_COLON;
KRN_API extern const Krn_cwstring W_SEMICOLON;
KRN_API extern const Krn_cwstring W_BANG;
KRN_API extern const Krn_cwstring W_PERCENT;
KRN_API extern const Krn_cwstring W_DOLLAR;
KRN_API extern const Krn_cwstring W_AMPERSAND;
KRN_API extern const Krn_cwstring W_COMMA;
KRN_API extern const Krn_cwstring W_SLASH;
KRN_API extern const Krn_cwstring W_BACKSLASH;
KRN_API extern const Krn_cwstring W_STAR;
KRN_API extern const Krn_cwstring W_OPARA;
KRN_API extern const Krn_cwstring W_CPARA;
KRN_API extern const Krn_cwstring W_STARDOTSTAR;
KRN_API extern const Krn_cwstring W_DOT;
KRN_API extern const Krn_cwstring W_DOTDOT;
KRN_API extern const Krn_cwstring W_QUOTE;
KRN_API extern const Krn_cwstring W_TAB;
KRN_API extern const Krn_cwstring W_CR;
KRN_API extern const Krn_cwstring W_LF;
KRN_API extern const Krn_cwstring W_CRLF;
KRN_API extern const Krn_cwstring W_TRUE;
KRN_API extern const Krn_cwstring W_FALSE;
KRN_API extern const Krn_cwstring W_LT;
KRN_API extern const Krn_cwstring W_GT;
KRN_API extern const Krn_cwstring W_AMP;
KRN_API extern const Krn_cwstring W_APOS;
KRN_API extern const Krn_cwstring W_WORD_QUOTE;
KRN_API extern const Krn_cwstring W_NBSP;
KRN_API extern const Krn_cwstring W_DOCTYPE;
KRN_API extern const Krn_cwstring W_CDATA;
KRN_API extern const Krn_cwstring W_HTTP_EQUIV;
KRN_API extern const Krn_cwstring W_CONTENT;
KRN_API extern const Krn_cwstring W_META;
KRN_API extern const Krn_cwstring W_COMMENT;
KRN_API extern const Krn_cwstring WU_UTF8;
KRN_API extern const Krn_cwstring WL_UTF8;
KRN_API extern const Krn_cwstring WU_UTF16;
KRN_API extern const Krn_cwstring WL_UTF16;
KRN_API extern const Krn_cwstring WU_UTF32;
KRN_API extern const Krn_cwstring WL_UTF32;
KRN_API extern const Krn_cwstring WU_UNICODE;
KRN_API extern const Krn_cwstring WL_UNICODE;
KRN_API extern const Krn_cwstring WU_LATIN1;
KRN_API extern const Krn_cwstring WL_LATIN1;

}  // namespace krn

#endif
