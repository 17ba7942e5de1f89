#include "krn/krn_cwstring.h"

#include "krn/krn_string.h"

namespace krn {

Krn_cwstring::Krn_cwstring(const char* narrow) { krn_utf8_to_utf16(narrow, *this); }

const Krn_cwstring W_EMPTY("");
const Krn_cwstring W_SPACE(" ");
const Krn_cwstring W_UNDERSCORE("_");
const Krn_cwstring W_HYPHEN("-");
const Krn_cwstring W_EQUALS("=");
const Krn_cwstring W_COLON(":");
const Krn_cwstring W_SEMICOLON(";");
const Krn_cwstring W_BANG("!");
const Krn_cwstring W_PERCENT("%");
const Krn_cwstring W_DOLLAR("$");
const Krn_cwstring W_AMPERSAND("&");
const Krn_cwstring W_COMMA(",");
const Krn_cwstring W_SLASH("/");
const Krn_cwstring W_BACKSLASH("\\");
const Krn_cwstring W_STAR("*");
const Krn_cwstring W_OPARA("(");
const Krn_cwstring W_CPARA(")");
const Krn_cwstring W_STARDOTSTAR("*.*");
const Krn_cwstring W_DOT(".");
const Krn_cwstring W_DOTDOT("..");
const Krn_cwstring W_QUOTE("\"");
const Krn_cwstring W_TAB("\t");
const Krn_cwstring W_CR("\r");
const Krn_cwstring W_LF("\n");
const Krn_cwstring W_CRLF("\r\n");
const Krn_cwstring W_TRUE("true");
const Krn_cwstring W_FALSE("false");
const Krn_cwstring W_LT("lt");
const Krn_cwstring W_GT("gt");
const Krn_cwstring W_AMP("amp");
const Krn_cwstring W_APOS("apos");
const Krn_cwstring W_WORD_QUOTE("quot");
const Krn_cwstring W_NBSP("nbsp");
const Krn_cwstring W_DOCTYPE("!DOCTYPE");
const Krn_cwstring W_CDATA("![CDATA[");
const Krn_cwstring W_HTTP_EQUIV("HTTP-EQUIV");
const Krn_cwstring W_CONTENT("CONTENT");
const Krn_cwstring W_META("META");
const Krn_cwstring W_COMMENT("!--");
const Krn_cwstring WU_UTF8("UTF-8");
const Krn_cwstring WL_UTF8("utf-8");
const Krn_cwstring WU_UTF16("UTF-16");
const Krn_cwstring WL_UTF16("utf-16");
const Krn_cwstring WU_UTF32("UTF-32");
const Krn_cwstring WL_UTF32("utf-32");
const Krn_cwstring WU_UNICODE("UNICODE");
const Krn_cwstring WL_UNICODE("unicode");
const Krn_cwstring WU_LATIN1("ISO-8859-1");
const Krn_cwstring WL_LATIN1("iso-8859-1");

}  // namespace krn
