// Writes documents for kestrel-match to search: prose in several languages
// and encodings with records planted in it the ways people write them (other
// case, other card groupings, extra spaces, fields on neighbouring lines and
// in any order, export tables), and decoys that resemble records but are not
// whole ones. The same seed writes the same files.
//
//   match_docs_gen eval DIR [seed]
//     DIR/records.tsv  the records to build the data set from
//     DIR/docs/*.txt   the documents, each in the encoding its name gives
//     DIR/utf8/*.txt   the same documents in UTF-8, to read failures in
//     DIR/truth.tsv    one line per planted record: file, line, column (of
//                      the earlier of its surname and card, counted in
//                      characters from 1), card digits, kind, encoding, the
//                      fields a match names, surname and card as written
//     DIR/decoys.tsv   one line per decoy: file, line, column, kind, what was
//                      written
//
//   match_docs_gen bulk RECORDS DIR MEGABYTES FILES [seed] [bytes-per-block]
//     DIR/doc-N.txt    UTF-8 prose, MEGABYTES in all, with a record of
//                      RECORDS (records_gen's output) or a decoy about every
//                      bytes-per-block bytes (default 4096)
//     DIR/summary      "planted N" and "decoys N"
//
// Distances are counted in tokens as the tokeniser cuts text (words, numbers,
// each punctuation character and each ideograph one token), so that a planted
// record lies well inside kestrel-match's default window of 50 tokens and a
// decoy's parts well outside it.

#include <iconv.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench_random.h"

namespace {

namespace fs = std::filesystem;
using Text = std::u32string;

// A planted record's fields all lie within this many tokens: the window is
// 50, and our count of tokens may be off by a few where the tokeniser's
// character classes differ from ours.
constexpr std::size_t NEAR = 40;
// A decoy's parts lie at least this far apart, and blocks at least this far
// from each other.
constexpr std::size_t FAR = 95;
constexpr std::size_t APART = 130;

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "match_docs_gen: %s\n", message.c_str());
  std::exit(2);
}

// ---- text -------------------------------------------------------------------

// Our own literals only, so no validation.
Text decode(const std::string& s) {
  Text out;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? b : b & (0x7F >> length);
    for (int k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out += c;
    i += length;
  }
  return out;
}

std::string encode(const Text& t) {
  std::string out;
  for (const char32_t c : t) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

Text upper(Text t) {
  for (auto& c : t) c = static_cast<char32_t>(std::towupper(static_cast<wint_t>(c)));
  return t;
}

Text lower(Text t) {
  for (auto& c : t) c = static_cast<char32_t>(std::towlower(static_cast<wint_t>(c)));
  return t;
}

// Capital after anything that is not a letter: o'brien gives O'Brien.
Text title(Text t) {
  bool start = true;
  for (auto& c : t) {
    const auto w = static_cast<wint_t>(c);
    c = static_cast<char32_t>(start ? std::towupper(w) : std::towlower(w));
    start = !std::iswalpha(w);
  }
  return t;
}

// ASCII letters, digits and spaces as the full-width forms Japanese text
// uses; compatibility normalisation takes them back. Hyphens stay: the
// converters map the full-width one differently.
Text full_width(const Text& t) {
  Text out;
  for (const char32_t c : t) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    out += c == ' ' ? U'\u3000' : alnum ? c + 0xFEE0 : c;
  }
  return out;
}

// ---- tokens -----------------------------------------------------------------

enum Class { SPACE, DIGIT, LETTER, IDEOGRAPH, MARK, PUNCTUATION };

Class class_of(char32_t c) {
  if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0xA0 || c == 0x3000) return SPACE;
  if ((c >= '0' && c <= '9') || (c >= 0xFF10 && c <= 0xFF19)) return DIGIT;
  if (c >= 0x300 && c < 0x370) return MARK;
  if ((c >= 0x3041 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF)) return IDEOGRAPH;
  return std::iswalpha(static_cast<wint_t>(c)) ? LETTER : PUNCTUATION;
}

bool is_apostrophe(char32_t c) { return c == '\'' || c == U'\u2019'; }

// The tokens the tokeniser makes of a piece of our text: a word is a letter
// and the letters, digits and marks after it, joined over an apostrophe that
// a letter follows; a number is digits; anything else is a token per
// character.
std::size_t count_tokens(const Text& t) {
  enum { NONE, NUMBER, WORD } state = NONE;
  std::size_t count = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    switch (class_of(t[i])) {
      case SPACE: state = NONE; break;
      case MARK: break;
      case DIGIT:
        if (state == NONE) ++count, state = NUMBER;
        break;
      case LETTER:
        if (state != WORD) ++count, state = WORD;
        break;
      case IDEOGRAPH: ++count, state = NONE; break;
      case PUNCTUATION:
        if (state == WORD && is_apostrophe(t[i]) && i + 1 < t.size() && class_of(t[i + 1]) == LETTER) break;
        ++count, state = NONE;
        break;
    }
  }
  return count;
}

// The lower-case word tokens of a name, to tell whether prose could spell it.
std::vector<Text> word_tokens(const Text& t) {
  std::vector<Text> out;
  Text word;
  for (std::size_t i = 0; i <= t.size(); ++i) {
    const bool inside = i < t.size() && (class_of(t[i]) == LETTER || class_of(t[i]) == DIGIT ||
                                         (is_apostrophe(t[i]) && !word.empty()));
    if (inside) {
      word += static_cast<char32_t>(std::towlower(static_cast<wint_t>(t[i])));
    } else if (!word.empty()) {
      out.push_back(word);
      word.clear();
    }
  }
  return out;
}

// ---- encodings --------------------------------------------------------------

struct Encoding {
  const char* name;   // as kestrel-match names it, and in the file names
  const char* iconv;  // glibc's name
  const char* bom;
  const char* eol;
};

const Encoding UTF8{"utf-8", "UTF-8", "", "\n"};
const Encoding UTF8_BOM{"utf-8", "UTF-8", "\xEF\xBB\xBF", "\n"};
const Encoding UTF16LE{"utf-16le", "UTF-16LE", "\xFF\xFE", "\r\n"};
const Encoding CP1252{"windows-1252", "CP1252", "", "\r\n"};
const Encoding LATIN9{"iso-8859-15", "ISO-8859-15", "", "\n"};
const Encoding CP1250{"windows-1250", "CP1250", "", "\r\n"};
const Encoding SJIS{"shift_jis", "SHIFT_JIS", "", "\r\n"};

bool convert(const std::string& utf8, const Encoding& to, std::string& out) {
  static std::map<const char*, iconv_t> converters;
  auto found = converters.find(to.iconv);
  if (found == converters.end()) {
    const iconv_t cd = iconv_open(to.iconv, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) fail(std::string("iconv cannot write ") + to.iconv);
    found = converters.emplace(to.iconv, cd).first;
  }
  iconv(found->second, nullptr, nullptr, nullptr, nullptr);
  out.assign(utf8.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t in_left = utf8.size();
  char* put = out.data();
  std::size_t out_left = out.size();
  if (iconv(found->second, &in, &in_left, &put, &out_left) == static_cast<std::size_t>(-1)) return false;
  out.resize(out.size() - out_left);
  return true;
}

bool fits(const Text& t, const Encoding& e) {
  std::string ignored;
  return convert(encode(t), e, ignored);
}

// Shift_JIS converters disagree on some ASCII and symbol bytes; names planted
// there are ASCII or the full-width forms of letters and digits only.
bool name_fits(const Text& t, const Encoding& e) {
  if (&e == &SJIS) {
    for (const char32_t c : t) {
      if (c >= 0x80 && !(c >= 0xFF10 && c < 0xFF5B) && c != 0x3000) return false;
      if (c == '\\' || c == '~') return false;
    }
  }
  return fits(t, e);
}

// ---- prose ------------------------------------------------------------------

struct Language {
  bool spaced;  // words apart; Japanese runs its phrases together
  std::vector<Text> words;
  std::vector<Text> labels;  // on forms: two before a card, then two before a name
  std::vector<Text> header;  // an export's column titles
  std::vector<Text> titles;  // before a surname; Japanese puts its one after
};

std::vector<Text> texts(std::initializer_list<const char*> list) {
  std::vector<Text> out;
  for (const char* s : list) out.push_back(decode(s));
  return out;
}

const Language& english() {
  static const Language l{true,
      texts({"the", "and", "of", "to", "in", "for", "on", "with", "as", "by", "at", "from", "that", "this", "we",
             "you", "our", "your", "will", "have", "has", "been", "was", "were", "is", "are", "be", "it", "not",
             "please", "thank", "regarding", "account", "invoice", "payment", "refund", "order", "delivery",
             "shipment", "request", "reply", "message", "letter", "office", "team", "week", "month", "year",
             "today", "tomorrow", "yesterday", "morning", "afternoon", "meeting", "report", "balance", "transfer",
             "statement", "reference", "amount", "total", "due", "date", "address", "phone", "contact", "support",
             "service", "branch", "bank", "form", "copy", "attached", "enclosed", "received", "sent", "checked",
             "confirmed", "approved", "pending", "updated", "changed", "closed", "opened", "noted", "asked",
             "wrote", "called", "said", "again", "also", "still", "already", "soon", "later", "before", "after",
             "about", "because", "however", "therefore", "kindly", "sincerely", "regards", "best", "dear",
             "hello", "note", "question", "answer", "issue", "problem", "error", "correction", "review", "audit",
             "file", "list", "entry", "page", "section", "item", "detail", "summary", "quarter", "budget",
             "expense", "receipt", "travel", "hotel", "flight", "booking", "ticket", "claim", "policy",
             "contract", "renewal", "notice", "reminder", "overdue", "fee", "charge", "credit", "debit", "limit",
             "don’t", "it’s", "we’re", "customer’s", "can’t", "that’s"}),
      texts({"card:", "card number", "customer:", "name:"}),
      texts({"first name", "surname", "card number"}), texts({"Mr", "Mrs", "Ms", "Dr"})};
  return l;
}

const Language& german() {
  static const Language l{true,
      texts({"der", "die", "das", "und", "ist", "nicht", "mit", "für", "auf", "dem", "den", "ein", "eine",
             "wir", "Sie", "Ihre", "Ihr", "bitte", "danke", "Rechnung", "Zahlung", "Überweisung", "Konto",
             "Bestellung", "Lieferung", "Rückerstattung", "Kunde", "Kundin", "Anfrage", "Antwort", "Schreiben",
             "Brief", "Büro", "Woche", "Monat", "Jahr", "heute", "morgen", "gestern", "Besprechung", "Bericht",
             "Betrag", "Summe", "fällig", "Datum", "Anschrift", "Telefon", "Abteilung", "Filiale", "Formular",
             "Kopie", "Anlage", "erhalten", "gesendet", "geprüft", "bestätigt", "genehmigt", "offen",
             "geändert", "geschlossen", "noch", "schon", "bald", "später", "vor", "nach", "über", "weil",
             "jedoch", "deshalb", "freundlichen", "Grüßen", "sehr", "geehrte", "Hinweis", "Frage", "Fehler",
             "Korrektur", "Prüfung", "Akte", "Liste", "Tabelle", "Eintrag", "Seite", "Abschnitt", "Quartal",
             "Ausgaben", "Quittung", "Reise", "Flug", "Buchung", "Vertrag", "Verlängerung", "Mahnung",
             "Gebühr", "Gutschrift", "Lastschrift", "Straße", "Größe", "gemäß", "Änderung", "Übersicht",
             "zurück", "während", "natürlich", "außerdem", "müssen", "können", "würden", "Rückfrage"}),
      texts({"Karte:", "Kartennummer:", "Kunde:", "Name:"}),
      texts({"Vorname", "Nachname", "Kartennummer"}), texts({"Herr", "Frau", "Dr."})};
  return l;
}

const Language& french() {
  static const Language l{true,
      texts({"le", "la", "les", "et", "de", "des", "du", "un", "une", "nous", "vous", "votre", "vos", "est",
             "sont", "pas", "avec", "pour", "sur", "dans", "par", "merci", "facture", "paiement", "virement",
             "compte", "commande", "livraison", "remboursement", "client", "cliente", "demande", "réponse",
             "courrier", "lettre", "bureau", "semaine", "mois", "année", "aujourd’hui", "demain", "hier",
             "réunion", "rapport", "montant", "total", "échéance", "adresse", "téléphone", "service", "agence",
             "formulaire", "copie", "ci-joint", "reçu", "envoyé", "vérifié", "confirmé", "approuvé", "modifié",
             "fermé", "encore", "déjà", "bientôt", "plus", "tard", "avant", "après", "parce", "que", "cependant",
             "donc", "cordialement", "salutations", "distinguées", "Madame", "Monsieur", "remarque", "erreur",
             "contrôle", "dossier", "liste", "tableau", "trimestre", "dépenses", "voyage", "hôtel", "vol",
             "réservation", "contrat", "renouvellement", "rappel", "frais", "crédit", "débit", "plafond",
             "cœur", "œuvre", "sœur", "l’équipe", "d’accord", "été", "où", "très", "à", "ça", "reçue", "déçu",
             "être", "même", "grâce"}),
      texts({"carte :", "numéro de carte :", "client :", "titulaire :"}),
      texts({"prénom", "nom", "numéro de carte"}), texts({"M.", "Mme", "Monsieur", "Madame"})};
  return l;
}

const Language& czech() {
  static const Language l{true,
      texts({"a", "je", "se", "na", "v", "ve", "s", "z", "do", "o", "k", "že", "jsme", "jste", "Vaše", "váš",
             "prosím", "děkujeme", "faktura", "platba", "převod", "účet", "objednávka", "dodávka", "vrácení",
             "zákazník", "žádost", "odpověď", "dopis", "kancelář", "týden", "měsíc", "rok", "dnes", "zítra",
             "včera", "schůzka", "zpráva", "částka", "celkem", "splatnost", "datum", "adresa", "telefon",
             "oddělení", "pobočka", "formulář", "kopie", "příloha", "přijato", "odesláno", "zkontrolováno",
             "potvrzeno", "schváleno", "změněno", "uzavřeno", "ještě", "již", "brzy", "později", "před", "po",
             "protože", "však", "proto", "pozdravem", "vážený", "vážená", "paní", "pane", "poznámka", "otázka",
             "chyba", "oprava", "kontrola", "spis", "seznam", "tabulka", "stránka", "čtvrtletí", "výdaje",
             "cesta", "rezervace", "smlouva", "prodloužení", "upomínka", "poplatek", "úvěr", "děkuji",
             "srdečně", "řádně", "šek", "žlutý", "účetní", "úterý", "čtvrtek", "příští"}),
      texts({"karta:", "číslo karty:", "zákazník:", "jméno:"}),
      texts({"jméno", "příjmení", "číslo karty"}), texts({"pan", "paní", "Ing."})};
  return l;
}

// No phrase ends in a prolonged sound mark: it is a letter to the tokeniser
// and would join a card written right after it.
const Language& japanese() {
  static const Language l{false,
      texts({"お世話になっております", "いつも", "ご利用", "いただき", "ありがとうございます", "請求書",
             "お支払い", "振込", "口座", "注文", "配送", "返金", "お客様", "問い合わせ", "回答", "書類",
             "事務所", "今週", "来月", "今年", "本日", "明日", "昨日", "会議", "報告", "金額", "合計", "期限",
             "住所", "電話", "担当", "支店", "申込書", "写し", "添付", "受領", "送付", "確認", "承認", "変更",
             "完了", "まだ", "すでに", "近日中に", "後ほど", "以前", "以降", "ため", "しかし", "よろしく",
             "お願いいたします", "注意", "質問", "誤り", "訂正", "監査", "記録", "一覧", "項目", "詳細",
             "四半期", "経費", "領収書", "出張", "宿泊", "予約", "契約", "更新", "通知", "催促", "手数料",
             "残高", "上限", "について", "の", "は", "が", "を", "に", "で", "と", "です", "ます", "した"}),
      texts({"カード番号：", "会員番号：", "氏名：", "お名前："}),
      texts({"名", "姓", "カード番号"}), texts({"様"})};
  return l;
}

// ---- records ----------------------------------------------------------------

struct Record {
  Text first, surname;  // as stored
  std::string stored_card;
  std::string digits;
  std::size_t line;  // in the records file, from 1
};

const char* const GIVEN[] = {"Anne", "Jean-Luc", "Zoë", "Jürgen", "Lars", "José", "Antonín", "Siobhan", "Pieter",
                             "Iain", "Claire", "Lucía", "Björn", "François", "Agnieszka", "Søren", "Ngozi", "Mei",
                             "Hiroshi", "Fatima", "Dmitri", "Élodie", "Ólafur", "Maria", "Connor", "Ingrid",
                             "Yusuf", "Chloé", "Rafael", "Kasia", "Aoife", "Tomás", "Hannah", "Luca", "Emma",
                             "Noah", "Ava"};
const char* const SURNAMES[] = {"O'Neil", "Picard", "Brontë", "MÜLLER", "Åström", "Núñez", "Dvořák", "o'brien",
                                "van der Berg", "McDonald", "DUPONT", "García", "Ørsted", "Lefèvre",
                                "Wiśniewska", "Kierkegård", "Okonkwo", "Chen", "Tanaka", "El-Amin", "Ivanov",
                                "d'Arcy", "Jónsson", "da Silva", "MacLeod", "Bergström", "Öztürk", "Benoît",
                                "Gonçalves", "Nowak", "smith", "Smith-Jones", "Ní Bhriain", "Ó Súilleabháin",
                                "Schäfer", "Rossi", "SMITH"};

std::string strip_card(const std::string& card) {
  std::string digits;
  for (const char c : card) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return digits;
}

// Unique to the index: the multiplier shares one factor 5 with the modulus,
// so numbers repeat only 2 * 10^13 indexes later.
std::string card_digits(std::uint64_t index, bool fifteen, Sequence& random) {
  const std::uint64_t modulus = fifteen ? 100000000000000ull : 1000000000000000ull;
  const auto mixed = static_cast<std::uint64_t>(static_cast<unsigned __int128>(index + 1) * 6364136223846793005ull % modulus);
  char rest[17];
  std::snprintf(rest, sizeof rest, fifteen ? "%014llu" : "%015llu", static_cast<unsigned long long>(mixed));
  return std::string(1, fifteen ? '3' : random.chance(0.5) ? '4' : '5') + rest;
}

// In the groups card issuers print: 4-4-4-4, or 4-6-5 for fifteen digits.
std::vector<std::size_t> issuer_groups(const std::string& digits) {
  return digits.size() == 15 ? std::vector<std::size_t>{4, 6, 5} : std::vector<std::size_t>{4, 4, 4, 4};
}

std::string join_groups(const std::string& digits, const std::vector<std::size_t>& groups,
                        const std::vector<std::string>& separators) {
  std::string out;
  std::size_t at = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    if (g > 0) out += separators[(g - 1) % separators.size()];
    out += digits.substr(at, groups[g]);
    at += groups[g];
  }
  return out;
}

std::vector<Record> make_records(std::size_t count, Sequence& random) {
  std::vector<Record> records;
  for (std::size_t i = 0; i < count; ++i) {
    Record r;
    r.first = random.chance(0.02) ? Text() : decode(GIVEN[random.below(std::size(GIVEN))]);
    r.surname = decode(SURNAMES[random.below(std::size(SURNAMES))]);
    r.digits = card_digits(i, i % 4 == 3, random);
    const auto groups = issuer_groups(r.digits);
    switch (random.below(4)) {
      case 0: r.stored_card = join_groups(r.digits, groups, {" "}); break;
      case 1: r.stored_card = join_groups(r.digits, groups, {"-"}); break;
      case 2: r.stored_card = join_groups(r.digits, groups, {" ", "-", " "}); break;
      default: r.stored_card = r.digits;
    }
    r.line = i + 1;
    records.push_back(std::move(r));
  }
  return records;
}

std::vector<Record> read_records(const std::string& path) {
  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) fail("cannot read " + path);
  std::vector<Record> records;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, in)) {
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const auto a = line.find('\t');
    const auto b = a == std::string::npos ? a : line.find('\t', a + 1);
    if (b == std::string::npos) fail(path + ": line " + std::to_string(records.size() + 1) + " has not three fields");
    Record r{decode(line.substr(0, a)), decode(line.substr(a + 1, b - a - 1)), line.substr(b + 1), {}, records.size() + 1};
    r.digits = strip_card(r.stored_card);
    records.push_back(std::move(r));
  }
  std::fclose(in);
  if (records.empty()) fail(path + " holds no records");
  return records;
}

// Prose that spelled a whole name would plant a field by accident.
void check_vocabulary() {
  std::unordered_set<std::string> vocabulary;
  for (const Language* l : {&english(), &german(), &french(), &czech(), &japanese()}) {
    for (const auto* list : {&l->words, &l->labels, &l->header, &l->titles}) {
      for (const Text& w : *list) {
        for (const Text& t : word_tokens(w)) vocabulary.insert(encode(t));
      }
    }
  }
  auto check = [&](const char* name) {
    const auto tokens = word_tokens(decode(name));
    if (std::all_of(tokens.begin(), tokens.end(), [&](const Text& t) { return vocabulary.count(encode(t)); })) {
      fail(std::string("the prose could spell the name ") + name);
    }
  };
  for (const char* n : GIVEN) check(n);
  for (const char* n : SURNAMES) check(n);
}

// ---- documents --------------------------------------------------------------

struct Place {
  std::size_t line, column, token;  // line and column from 1, tokens from 0
  bool operator<(const Place& o) const { return token < o.token; }
};

// Lays units of text out in lines of 60 to 100 characters (Japanese: 30 to
// 45), keeping count of lines, characters and tokens. In bulk it writes every
// finished line to a file; otherwise it keeps them.
class Document {
 public:
  Document(Sequence& random, const Language& language, FILE* sink = nullptr)
      : m_random(random), m_language(language), m_sink(sink) {
    new_width();
  }

  // Puts a unit after the last one with `spaces` between them, where the
  // tokens would otherwise run together or the language separates words.
  Place put(const Text& unit, std::size_t spaces = 1, bool may_wrap = true) {
    std::size_t gap = 0;
    if (!m_line.empty() && !unit.empty()) {
      const bool joins = (class_of(m_line.back()) == LETTER || class_of(m_line.back()) == DIGIT) &&
                         (class_of(unit.front()) == LETTER || class_of(unit.front()) == DIGIT);
      gap = (m_language.spaced || joins) ? std::max<std::size_t>(spaces, joins ? 1 : 0) : 0;
    }
    if (may_wrap && !m_line.empty() && m_line.size() + gap + unit.size() > m_width) {
      newline();
      gap = 0;
    }
    m_line.append(gap, U' ');
    const Place place{m_line_number, m_line.size() + 1, m_tokens};
    m_line += unit;
    m_tokens += count_tokens(unit);
    return place;
  }

  void newline() {
    if (m_sink) {
      const std::string line = encode(m_line) + "\n";
      m_bytes += std::fwrite(line.data(), 1, line.size(), m_sink);
    } else {
      m_lines.push_back(m_line);
    }
    m_line.clear();
    ++m_line_number;
    new_width();
  }

  void paragraph() {
    if (!m_line.empty()) newline();
    newline();
  }

  std::size_t tokens() const { return m_tokens; }
  std::size_t bytes() const { return m_bytes; }
  bool line_empty() const { return m_line.empty(); }

  std::string utf8(const char* eol) {
    if (!m_line.empty()) newline();
    std::string out;
    for (const Text& line : m_lines) out += encode(line) + eol;
    return out;
  }

 private:
  void new_width() { m_width = m_language.spaced ? m_random.between(60, 100) : m_random.between(30, 45); }

  Sequence& m_random;
  const Language& m_language;
  FILE* m_sink;
  std::vector<Text> m_lines;
  Text m_line;
  std::size_t m_width = 80;
  std::size_t m_line_number = 1;
  std::size_t m_tokens = 0;
  std::size_t m_bytes = 0;
};

struct Truth {
  std::string file;
  Place place;
  std::string digits, kind, encoding, fields;
  Text surname, card;
};

struct Decoy {
  std::string file;
  Place place;
  std::string kind;
  Text written;
};

// Writes one document's prose, records and decoys.
class Writer {
 public:
  Writer(Sequence& random, const std::vector<Record>& records, const std::unordered_set<std::string>& cards,
         Document& doc, const Language& language, const Encoding& encoding, std::string file)
      : m_random(random), m_records(records), m_cards(cards), m_doc(doc), m_language(language),
        m_encoding(encoding), m_file(std::move(file)) {
    for (const Text& w : language.words) {
      if (fits(w, encoding)) m_words.push_back(w);
    }
    if (m_words.size() < 20) fail(std::string("too few words fit ") + encoding.name);
  }

  std::vector<Truth> truth;
  std::vector<Decoy> decoys;

  // Whole sentences up to at least `tokens` tokens, now and then a paragraph.
  void prose(std::size_t tokens, bool paragraphs = true) {
    const std::size_t end = m_doc.tokens() + tokens;
    while (m_doc.tokens() < end) {
      sentence();
      if (paragraphs && m_random.chance(0.15)) m_doc.paragraph();
    }
  }

  // A few loose words, at most `budget` tokens of them.
  void words(std::size_t budget) {
    const std::size_t want = m_random.between(0, budget);
    for (std::size_t used = 0;;) {
      const Text& w = m_random.pick(m_words);
      const std::size_t n = count_tokens(w);
      if (used + n > want) return;
      m_doc.put(w);
      used += n;
    }
  }

  // ---- planted records

  enum class Layout { INLINE, LINES, SPACED, FULL_WIDTH };

  void plant(Layout layout) {
    const Record& r = record([&](const Record& c) { return layout != Layout::FULL_WIDTH || ascii_letters(c.surname); });
    const char* names[] = {"inline", "lines", "spaced", "full-width"};
    const Planted p = plant_fields(r, layout, false);
    record_truth(r, std::min(p.surname, p.card), names[static_cast<int>(layout)], p);
  }

  // Two people of one surname written together, as families are. Each
  // record's place is its own surname and card, though the other's surname
  // spells its surname too and lies as near.
  void plant_family() {
    const Record& a = record([](const Record& c) { return !c.first.empty(); });
    const Text name = lower(a.surname);
    const Record* b = find_record([&](const Record& c) {
      return lower(c.surname) == name && !c.first.empty() && c.first != a.first;
    });
    if (!b) return plant(Layout::INLINE);
    const std::size_t start = m_doc.tokens();
    const Planted pa = plant_fields(a, Layout::INLINE, true);
    m_doc.put(m_random.pick(m_words));
    const Planted pb = plant_fields(*b, Layout::INLINE, true);
    if (m_doc.tokens() - start > NEAR) fail("a family spans " + std::to_string(m_doc.tokens() - start) + " tokens");
    record_truth(a, std::min(pa.surname, pa.card), "family", pa);
    record_truth(*b, std::min(pb.surname, pb.card), "family", pb);
  }

  // A person named by title and surname first, as letters do, then the
  // record: that first mention is the record's first key.
  void plant_mentioned() {
    const Record& r = record();
    const std::size_t start = m_doc.tokens();
    const Text& title = m_random.pick(m_language.titles);
    if (m_language.spaced) m_doc.put(title);
    const Place mention = m_doc.put(surname_variant(r.surname));
    if (!m_language.spaced) m_doc.put(title);
    words(3);
    const Planted p = plant_fields(r, Layout::INLINE, true);
    if (m_doc.tokens() - start > NEAR) fail("a mentioned record spans " + std::to_string(m_doc.tokens() - start) + " tokens");
    record_truth(r, std::min({mention, p.surname, p.card}), "surname mentioned before", p);
  }

  // ---- decoys

  enum class Trap { SURNAME, NAMES, CARD, NO_FIRST_NAME, DIGIT_OFF, TOO_FAR, OTHER_CARD, COUNT };

  void decoy(Trap trap) {
    switch (trap) {
      case Trap::SURNAME: {
        const Record& r = record();
        note("surname alone", put_surname(r));
        break;
      }
      case Trap::NAMES: {
        const Record& r = record([](const Record& c) { return !c.first.empty(); });
        const Place p = m_doc.put(r.first);
        words(3);
        put_surname(r);
        note("names without the card", p, r.first + U" " + r.surname);
        break;
      }
      case Trap::CARD: {
        const Record& r = record();
        note("card alone", put_card(r.digits));
        break;
      }
      case Trap::NO_FIRST_NAME: {
        const Record& r = record([](const Record& c) { return !c.first.empty(); });
        const Place p = put_surname(r).first;
        words(4);
        put_card(r.digits);
        note("surname and card without the first name", p, r.surname);
        break;
      }
      case Trap::DIGIT_OFF: {
        const Record& r = record();
        const Place p = near_fields(r.first, r, one_digit_off(r.digits));
        note("card one digit off", p, r.surname);
        break;
      }
      case Trap::TOO_FAR: {
        const Record& r = record();
        if (m_random.chance(0.5)) {
          const Place p = near_names(r);
          prose(FAR, false);
          put_card(r.digits);
          note("names, card too far after them", p, r.surname);
        } else {
          const Place p = put_card(r.digits).first;
          prose(FAR, false);
          near_names(r);
          note("card, names too far after it", p, r.surname);
        }
        break;
      }
      case Trap::OTHER_CARD: {
        const Record& a = record();
        const auto names = word_tokens(a.first + U" " + a.surname);
        const Record& b = record([&](const Record& c) {
          for (const Text& t : word_tokens(c.first + U" " + c.surname)) {
            if (std::find(names.begin(), names.end(), t) != names.end()) return false;
          }
          return true;
        });
        note("names of one record, card of another", near_fields(a.first, a, b.digits), a.surname);
        break;
      }
      case Trap::COUNT: break;
    }
  }

  // ---- export tables

  // A header and rows of distinct surnames (a surname shared by two rows
  // would put each row's record beside the other's key); now and then a row
  // whose card is one digit off.
  void table() {
    static const char* const separators[] = {";", "\t", ",", " | "};
    const Text separator = decode(separators[m_random.below(std::size(separators))]);
    static const int orders[][3] = {{0, 1, 2}, {1, 0, 2}, {2, 1, 0}};
    const int* order = orders[m_random.below(3)];
    if (!m_doc.line_empty()) m_doc.newline();
    row({m_language.header[order[0]], m_language.header[order[1]], m_language.header[order[2]]}, separator);
    std::vector<Text> surnames;
    const std::size_t rows = m_random.between(6, 12);
    for (std::size_t i = 0; i < rows; ++i) {
      const Record& r = record([&](const Record& c) {
        return std::find(surnames.begin(), surnames.end(), lower(c.surname)) == surnames.end();
      });
      surnames.push_back(lower(r.surname));
      const bool off = m_random.chance(0.15);
      const Text fields[3] = {r.first, surname_variant(r.surname), card_variant(off ? one_digit_off(r.digits) : r.digits)};
      const auto places = row({fields[order[0]], fields[order[1]], fields[order[2]]}, separator);
      const Place surname = places[std::find(order, order + 3, 1) - order];
      const Place card = places[std::find(order, order + 3, 2) - order];
      if (off) {
        note("table row, card one digit off", std::min(surname, card), fields[1]);
      } else {
        record_truth(r, std::min(surname, card), "table", {surname, card, fields[1], fields[2]});
      }
    }
    m_doc.paragraph();
  }

 private:
  static bool ascii_letters(const Text& t) {
    return std::all_of(t.begin(), t.end(), [](char32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ' '; });
  }

  bool usable(const Record& r) const {
    return !m_used.count(r.line) && name_fits(r.first, m_encoding) && name_fits(r.surname, m_encoding);
  }

  template <class Test>
  const Record* find_record(Test test) {
    const std::size_t start = m_random.below(m_records.size());
    const std::size_t tries = std::min<std::size_t>(m_records.size(), 100000);
    for (std::size_t i = 0; i < tries; ++i) {
      const Record& r = m_records[(start + i) % m_records.size()];
      if (usable(r) && test(r)) {
        m_used.insert(r.line);
        return &r;
      }
    }
    return nullptr;
  }

  // A record not yet used in this document whose names the encoding holds.
  template <class Test>
  const Record& record(Test test) {
    const Record* r = find_record(test);
    if (!r) fail(std::string("no record fits ") + m_file);
    return *r;
  }
  const Record& record() {
    return record([](const Record&) { return true; });
  }

  // The surname as stored, in capitals, in small letters or capitalised,
  // whichever the encoding holds.
  Text surname_variant(const Text& surname) {
    Text t;
    switch (m_random.below(5)) {
      case 0: t = upper(surname); break;
      case 1: t = lower(surname); break;
      case 2: t = title(surname); break;
      default: t = surname;
    }
    return name_fits(t, m_encoding) ? t : surname;
  }

  // The card in the issuer's groups with spaces or hyphens, in one piece, or
  // in groups of two to six digits with any mix of separators; compact, only
  // in the first two ways.
  Text card_variant(const std::string& digits, bool compact = false) {
    switch (m_random.below(compact ? 7 : 10)) {
      case 0:
      case 1:
      case 2: return decode(join_groups(digits, issuer_groups(digits), {" "}));
      case 3:
      case 4: return decode(join_groups(digits, issuer_groups(digits), {"-"}));
      case 5:
      case 6: return decode(digits);
      default: {
        std::vector<std::size_t> groups;
        for (std::size_t left = digits.size(); left > 0;) {
          const std::size_t g = std::min(left, m_random.between(2, 6));
          groups.push_back(g);
          left -= g;
        }
        static const std::vector<std::string> kinds = {" ", "-", "  ", " - ", "--"};
        std::vector<std::string> separators;
        for (std::size_t i = 1; i < groups.size(); ++i) separators.push_back(m_random.pick(kinds));
        return decode(join_groups(digits, groups, separators));
      }
    }
  }

  std::pair<Place, Text> put_surname(const Record& r, std::size_t spaces = 1) {
    const Text t = surname_variant(r.surname);
    return {m_doc.put(t, spaces), t};
  }

  std::pair<Place, Text> put_card(const std::string& digits, std::size_t spaces = 1) {
    if (m_random.chance(0.3)) m_doc.put(m_language.labels[m_random.below(2)]);
    const Text t = card_variant(digits);
    return {m_doc.put(t, spaces), t};
  }

  std::string one_digit_off(const std::string& digits) {
    for (;;) {
      std::string off = digits;
      const std::size_t at = m_random.below(off.size());
      off[at] = static_cast<char>('0' + (off[at] - '0' + 1 + m_random.below(9)) % 10);
      if (!m_cards.count(off)) return off;
    }
  }

  // First name and surname a few words apart; the first place.
  Place near_names(const Record& r) {
    if (r.first.empty()) return put_surname(r).first;
    const Place p = m_doc.put(r.first);
    words(2);
    put_surname(r);
    return p;
  }

  // Names and a card close together, in one of the usual orders; the first place.
  Place near_fields(const Text& first, const Record& r, const std::string& digits) {
    const std::size_t start = m_doc.tokens();
    Place p;
    if (m_random.chance(0.7)) {
      p = first.empty() ? put_surname(r).first : m_doc.put(first);
      words(3);
      if (!first.empty()) put_surname(r);
      words(4);
      put_card(digits);
    } else {
      p = put_card(digits).first;
      words(4);
      if (!first.empty()) m_doc.put(first);
      put_surname(r);
    }
    if (m_doc.tokens() - start > NEAR) fail("near fields span " + std::to_string(m_doc.tokens() - start) + " tokens");
    return p;
  }

  struct Planted {
    Place surname, card;
    Text surname_text, card_text;
  };

  // A record's fields close together; compact, in few tokens: without labels
  // and long card groupings.
  Planted plant_fields(const Record& r, Layout layout, bool compact) {
    const bool full = layout == Layout::FULL_WIDTH;
    Text first = full && ascii_letters(r.first) && m_random.chance(0.5) ? full_width(r.first) : r.first;
    Text surname = surname_variant(r.surname);
    Text card = card_variant(r.digits, compact);
    if (full) surname = full_width(surname), card = full_width(card);
    if (layout == Layout::SPACED) {
      for (Text* t : {&surname, &card}) {
        Text wide;
        for (const char32_t c : *t) wide += c == ' ' ? Text(m_random.between(2, 4), U' ') : Text(1, c);
        *t = wide;
      }
    }
    // 0 first name, 1 surname, 2 card, in the orders people write them.
    std::vector<int> order = {0, 1, 2};
    const std::size_t shape = m_random.below(20);
    if (shape < 4) order = {2, 0, 1};
    else if (shape < 7) order = {1, 0, 2};
    else if (shape < 10) order = {1, 2, 0};
    else if (shape < 11) order = {2, 1, 0};
    if (first.empty()) order.erase(std::find(order.begin(), order.end(), 0));

    const std::size_t start = m_doc.tokens();
    Place places[3] = {};
    for (std::size_t i = 0; i < order.size(); ++i) {
      const int field = order[i];
      std::size_t spaces = 1;
      if (i > 0) {
        if (layout == Layout::LINES) m_doc.newline();
        if (layout == Layout::SPACED) spaces = m_random.between(2, 5);
        if (layout != Layout::SPACED || m_random.chance(0.3)) words(layout == Layout::LINES || compact ? 2 : 4);
      }
      if (!compact && (layout == Layout::LINES || m_random.chance(0.2)) && (field == 2 || (field == 0 && i == 0))) {
        m_doc.put(m_language.labels[field == 2 ? m_random.below(2) : 2 + m_random.below(2)]);
      }
      const Text& t = field == 0 ? first : field == 1 ? surname : card;
      places[field] = m_doc.put(t, spaces);
    }
    if (m_doc.tokens() - start > NEAR) fail("a planted record spans " + std::to_string(m_doc.tokens() - start) + " tokens");
    return {places[1], places[2], surname, card};
  }

  std::vector<Place> row(const std::vector<Text>& cells, const Text& separator) {
    std::vector<Place> places;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (i > 0) m_doc.put(separator, 0, false);
      places.push_back(m_doc.put(cells[i], 0, false));
    }
    m_doc.newline();
    return places;
  }

  void record_truth(const Record& r, const Place& p, const char* kind, const Planted& written) {
    truth.push_back({m_file, p, r.digits, kind, m_encoding.name,
                     r.first.empty() ? "Surname,CardNum" : "FirstName,Surname,CardNum", written.surname_text,
                     written.card_text});
  }

  void note(const char* kind, const std::pair<Place, Text>& at) { note(kind, at.first, at.second); }
  void note(const char* kind, const Place& p, const Text& written) { decoys.push_back({m_file, p, kind, written}); }

  void sentence() {
    const std::size_t count = m_language.spaced ? m_random.between(5, 14) : m_random.between(4, 9);
    for (std::size_t i = 0; i < count; ++i) {
      Text w = m_random.pick(m_words);
      if (i == 0 && m_language.spaced) w[0] = static_cast<char32_t>(std::towupper(static_cast<wint_t>(w[0])));
      if (i + 1 == count) {
        w += m_language.spaced ? U"." : U"。";
      } else if (m_random.chance(0.08)) {
        w += m_language.spaced ? U"," : U"、";
      }
      m_doc.put(w);
      if (i + 1 < count && m_random.chance(0.03)) amount();
    }
  }

  void amount() {
    const std::string n = std::to_string(m_random.between(1, 9999));
    if (!m_language.spaced) {
      m_doc.put(decode(n + "円"));
    } else {
      m_doc.put(decode(n + "," + std::to_string(m_random.between(10, 99))));
      m_doc.put(U"€");
    }
  }

  Sequence& m_random;
  const std::vector<Record>& m_records;
  const std::unordered_set<std::string>& m_cards;
  Document& m_doc;
  const Language& m_language;
  const Encoding& m_encoding;
  std::string m_file;
  std::vector<Text> m_words;
  std::unordered_set<std::size_t> m_used;
};

// ---- eval -------------------------------------------------------------------

void write_file(const fs::path& path, const std::string& bytes) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
    fail("cannot write " + path.string());
  }
}

std::unordered_set<std::string> card_set(const std::vector<Record>& records) {
  std::unordered_set<std::string> cards;
  for (const Record& r : records) cards.insert(r.digits);
  return cards;
}

// One prose document: blocks of planted records and decoys far apart.
void prose_blocks(Writer& w, Sequence& random, bool japanese) {
  w.prose(random.between(40, 200));
  const std::size_t blocks = random.between(6, 10);
  for (std::size_t b = 0; b < blocks; ++b) {
    if (random.chance(0.55)) {
      const std::size_t shape = random.below(20);
      if (japanese && shape < 6) w.plant(Writer::Layout::FULL_WIDTH);
      else if (shape < 9) w.plant(Writer::Layout::INLINE);
      else if (shape < 13) w.plant(Writer::Layout::LINES);
      else if (shape < 16) w.plant(Writer::Layout::SPACED);
      else if (shape < 18) w.plant_mentioned();
      else w.plant_family();
    } else {
      w.decoy(static_cast<Writer::Trap>(random.below(static_cast<std::size_t>(Writer::Trap::COUNT))));
    }
    w.prose(random.between(APART, 3 * APART));
  }
}

void table_blocks(Writer& w, Sequence& random) {
  w.prose(random.between(20, 60));
  w.table();
  w.prose(random.between(APART, 2 * APART));
  if (random.chance(0.5)) {
    w.table();
    w.prose(random.between(20, 60));
  }
}

std::string tsv(const Text& t) {
  std::string s = encode(t);
  std::replace(s.begin(), s.end(), '\t', ' ');
  return s;
}

int eval(const fs::path& dir, std::uint64_t seed) {
  Sequence random(seed);
  const std::vector<Record> records = make_records(3000, random);
  const auto cards = card_set(records);
  fs::create_directories(dir / "docs");
  fs::create_directories(dir / "utf8");
  std::string out;
  for (const Record& r : records) out += encode(r.first) + "\t" + encode(r.surname) + "\t" + r.stored_card + "\n";
  write_file(dir / "records.tsv", out);

  struct Plan {
    const Encoding* encoding;
    int prose, tables;
    std::vector<const Language*> languages;
  };
  const std::vector<const Language*> all = {&english(), &german(), &french(), &czech(), &japanese()};
  const Plan plans[] = {{&UTF8, 12, 2, all},
                        {&UTF8_BOM, 4, 0, all},
                        {&UTF16LE, 7, 1, all},
                        {&CP1252, 8, 2, {&english(), &german(), &french()}},
                        {&LATIN9, 7, 1, {&german(), &french()}},
                        {&CP1250, 7, 1, {&czech()}},
                        {&SJIS, 7, 1, {&japanese()}}};
  std::string truth = "# file\tline\tcolumn\tcard\tkind\tencoding\tfields\tsurname as written\tcard as written\n";
  std::string decoys = "# file\tline\tcolumn\tkind\twritten\n";
  std::size_t number = 0, planted = 0, traps = 0;
  for (const Plan& plan : plans) {
    for (int i = 0; i < plan.prose + plan.tables; ++i) {
      const bool is_table = i >= plan.prose;
      const Language& language = *random.pick(plan.languages);
      char name[64];
      std::snprintf(name, sizeof name, "%02zu-%s%s%s.txt", ++number, plan.encoding->name,
                    plan.encoding == &UTF8_BOM ? "-bom" : "", is_table ? "-table" : "");
      Document doc(random, language);
      Writer w(random, records, cards, doc, language, *plan.encoding, std::string("docs/") + name);
      if (is_table) table_blocks(w, random);
      else prose_blocks(w, random, &language == &japanese());
      const std::string text = doc.utf8(plan.encoding->eol);
      std::string bytes;
      if (!convert(text, *plan.encoding, bytes)) fail(std::string(name) + " does not fit its encoding");
      write_file(dir / "docs" / name, plan.encoding->bom + bytes);
      write_file(dir / "utf8" / name, doc.utf8("\n"));
      for (const Truth& t : w.truth) {
        truth += t.file + "\t" + std::to_string(t.place.line) + "\t" + std::to_string(t.place.column) + "\t" +
                 t.digits + "\t" + t.kind + "\t" + t.encoding + "\t" + t.fields + "\t" + tsv(t.surname) + "\t" +
                 tsv(t.card) + "\n";
      }
      for (const Decoy& d : w.decoys) {
        decoys += d.file + "\t" + std::to_string(d.place.line) + "\t" + std::to_string(d.place.column) + "\t" +
                  d.kind + "\t" + tsv(d.written) + "\n";
      }
      planted += w.truth.size();
      traps += w.decoys.size();
    }
  }
  write_file(dir / "truth.tsv", truth);
  write_file(dir / "decoys.tsv", decoys);
  std::printf("%zu documents, %zu records, %zu planted, %zu decoys\n", number, records.size(), planted, traps);
  return 0;
}

// ---- bulk -------------------------------------------------------------------

int bulk(const std::string& records_path, const fs::path& dir, std::uint64_t megabytes, std::size_t files,
         std::uint64_t seed, std::size_t block_bytes) {
  const std::vector<Record> records = read_records(records_path);
  const auto cards = card_set(records);
  Sequence random(seed);
  fs::create_directories(dir);
  const std::vector<const Language*> languages = {&english(), &german(), &french()};
  // About 6.5 bytes a token in these languages.
  const std::size_t block_tokens = std::max<std::size_t>(block_bytes * 2 / 13, APART);
  const std::uint64_t per_file = megabytes * 1000000 / files;
  std::size_t planted = 0, decoys = 0;
  for (std::size_t f = 0; f < files; ++f) {
    char name[32];
    std::snprintf(name, sizeof name, "doc-%02zu.txt", f + 1);
    FILE* out = std::fopen((dir / name).c_str(), "wb");
    if (!out) fail("cannot write " + (dir / name).string());
    const Language& language = *languages[f % languages.size()];
    Document doc(random, language, out);
    Writer w(random, records, cards, doc, language, UTF8, name);
    while (doc.bytes() < per_file) {
      w.prose(random.between(block_tokens / 2, block_tokens * 3 / 2));
      if (random.chance(0.4)) {
        w.plant(static_cast<Writer::Layout>(random.below(3)));
      } else {
        w.decoy(static_cast<Writer::Trap>(random.below(static_cast<std::size_t>(Writer::Trap::COUNT))));
      }
      // Only counted: a file's worth would fill memory.
      planted += w.truth.size();
      decoys += w.decoys.size();
      w.truth.clear();
      w.decoys.clear();
    }
    doc.newline();
    if (std::fclose(out) != 0) fail("cannot write " + (dir / name).string());
  }
  write_file(dir / "summary", "planted " + std::to_string(planted) + "\ndecoys " + std::to_string(decoys) + "\n");
  std::printf("%zu files, %llu MB, %zu planted, %zu decoys\n", files, static_cast<unsigned long long>(megabytes),
              planted, decoys);
  return 0;
}

bool number(const char* text, std::uint64_t& value) {
  char* end = nullptr;
  value = std::strtoull(text, &end, 10);
  return *text >= '0' && *text <= '9' && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::setlocale(LC_ALL, "C.UTF-8")) fail("needs the C.UTF-8 locale for case mapping");
  check_vocabulary();
  const std::string mode = argc > 1 ? argv[1] : "";
  std::uint64_t seed = 2208, megabytes = 0, files = 0, block = 4096;
  if (mode == "eval" && (argc == 3 || (argc == 4 && number(argv[3], seed)))) return eval(argv[2], seed);
  if (mode == "bulk" && argc >= 6 && argc <= 8 && number(argv[4], megabytes) && number(argv[5], files) && files > 0 &&
      megabytes > 0 && (argc < 7 || number(argv[6], seed)) && (argc < 8 || (number(argv[7], block) && block > 0))) {
    return bulk(argv[2], argv[3], megabytes, files, seed, block);
  }
  std::fprintf(stderr,
               "usage: match_docs_gen eval DIR [seed]\n"
               "       match_docs_gen bulk RECORDS DIR MEGABYTES FILES [seed] [bytes-per-block]\n");
  return 2;
}
