// kestrel-match over the example's data set: documents in several encodings
// that hold its records written otherwise than the input wrote them are
// matched at the key's line and column; the decoys are not; -m and -w change
// the answers; bad data sets, files and command lines exit with 2.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "enr/enr_convert.h"
#include "enr/enr_encoding.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_connector.h"

namespace {

using cli_test::Folder;
using cli_test::Result;

constexpr int MATCHED = 0;
constexpr int NONE = 1;
constexpr int ERROR = 2;

std::string encoded(const std::string& utf8, const char* encoding) {
  krn::Wstring text;
  krn::krn_utf8_to_utf16(utf8, text);
  krn::Wstring name;
  krn::krn_utf8_to_utf16(encoding, name);
  krn::Krn_status status;
  std::string bytes;
  enr::enr_utf16_to_encoding(enr::enr_display_name(name, status), text, bytes, status);
  return bytes;
}

// Filler between fields that must be too far apart: n words.
std::string words(int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += (i % 12 == 11) ? "word\n" : "word ";
  return text;
}

class MatchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_folder = new Folder();
    const Result built = s_folder->kestrel({"-k", "Surname", "-k", "CardNum", "-s", cli_test::SCHEMA, "-i",
                                            KESTREL_SOURCE_DIR "/examples/customers.tsv", "-o", "customers.kds"});
    ASSERT_EQ(built.exit_code, 0) << built.err;
  }
  static void TearDownTestSuite() {
    delete s_folder;
    s_folder = nullptr;
  }

  static Result match(const std::vector<std::string>& arguments) {
    std::vector<std::string> all = {"-d", "customers.kds"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return s_folder->run(cli_test::MATCH, all);
  }

  // The offsets of the records whose card number is the one given, as the
  // data set's reader finds them.
  static std::vector<std::uint64_t> records_of(const std::string& card) {
    tla::Tla_data_set_connector_file reader;
    krn::Krn_status status;
    krn::Wstring name;
    krn::krn_utf8_to_utf16((*s_folder / "customers.kds").string(), name);
    reader.set_property("DataFileName", name, status);
    reader.open(status);
    reader.load(status, false);
    tla::Tla_search_value value;
    krn::krn_utf8_to_utf16(card, value.text);
    tla::Tla_entry_list found;
    reader.find(value, u"CardNum", found, status);
    std::vector<std::uint64_t> offsets;
    for (const auto& entry : found) {
      offsets.push_back(static_cast<std::uint64_t>(static_cast<const tla::Tla_data_set_entry_file&>(*entry).record_offset()));
    }
    std::sort(offsets.begin(), offsets.end());
    return offsets;
  }

  static Folder* s_folder;
};

Folder* MatchTest::s_folder = nullptr;

struct Expected {
  int line;
  int column;
  std::string card;  // names the record (every record of that card)
  std::string fields = "\"FirstName\",\"Surname\",\"CardNum\"";
  std::string key = "Surname";
};

struct Case {
  const char* what;
  std::string text;       // UTF-8
  const char* encoding;   // what the file is written in
  std::string mark;       // bytes before it
  std::vector<std::string> options;
  std::string reported;   // the encoding the matches name
  std::vector<Expected> matches;
};

TEST_F(MatchTest, DocumentsInEveryEncodingAreMatchedAtTheKeysPlaceAndDecoysAreNot) {
  const std::string far = words(60);
  const std::vector<Case> cases = {
      {"other case, other grouping, extra spaces, neighbouring lines",
       "Hello,\nthe order of Jürgen MÜLLER (card 4181-9093-7865-7975) shipped.\nLars   Åström\n"
       "paid with 5323 1948 7574 9118 yesterday.\n",
       "UTF-8", "", {}, "utf-8", {{2, 21, "4181909378657975"}, {3, 8, "5323194875749118"}}},
      {"the card first, then the names", "Ref 4296 5724 9208 6828: Ava SMITH-JONES\n", "UTF-8", "", {}, "utf-8",
       {{1, 5, "4296572492086828", "\"FirstName\",\"Surname\",\"CardNum\"", "CardNum"}}},
      {"UTF-16 with its mark, a card in 4-6-5 groups",
       "Kunde: Pieter van der Berg\nKarte: 3426 846563 21223\n", "UTF-16LE", "\xFF\xFE", {}, "utf-16le",
       {{1, 15, "342684656321223"}}},
      {"windows-1252, found by the detector",
       "Sehr geehrte Damen und Herren,\ndie Bestellung von Claire Dupont – Kreditkarte 5078-6666-1760-3137 – "
       "wurde am Montag verschickt.\nMit freundlichen Grüßen, Ihre Buchhaltung für François\n",
       "windows-1252", "", {}, "windows-1252", {{2, 27, "5078666617603137"}}},
      {"Shift_JIS, found by the detector",
       "お客様各位\n先日ご注文いただいたHiroshi Tanaka様のカード番号は4729-9752-8820-0182です。\n"
       "ご確認のほどよろしくお願いいたします。\n",
       "Shift_JIS", "", {}, "shift_jis", {{2, 19, "4729975288200182"}}},
      {"full-width digits in groups", "田中様　Hiroshi Tanaka　カード：４７２９－９７５２ ８８２０－０１８２\n", "Shift_JIS", "",
       {"-e", "shift_jis"}, "shift_jis", {{1, 13, "4729975288200182"}}},
      {"a key named again near the same fields is one place, at the first",
       "Mr Picard, card 5318-6091-3909-9603, Jean-Luc Picard\n", "UTF-8", "", {}, "utf-8",
       {{1, 4, "5318609139099603"}}},
      {"two records of one surname together: the second at its own first key",
       "Emma SMITH 5304 3520 5617 4833, Noah 3014 126906 04431 smith\n", "UTF-8", "", {}, "utf-8",
       {{1, 6, "5304352056174833"},
        {1, 38, "301412690604431", "\"FirstName\",\"Surname\",\"CardNum\"", "CardNum"}}},
      {"a surname alone", "Mr Müller called about Chen and Nowak.\n", "UTF-8", "", {}, "utf-8", {}},
      {"names without the card", "Jürgen Müller and Mei Chen called.\n", "UTF-8", "", {}, "utf-8", {}},
      {"a card one digit off", "Anne O'Neil, card 4260 1815 9083 0167\n", "UTF-8", "", {}, "utf-8", {}},
      {"the fields of one record too far apart", "Iain McDonald\n" + far + "\ncard 4792-4402-6859-9528\n", "UTF-8",
       "", {}, "utf-8", {}},
      {"-w wide enough brings them together", "Iain McDonald\n" + far + "\ncard 4792-4402-6859-9528\n", "UTF-8", "",
       {"-w", "80"}, "utf-8", {{1, 6, "4792440268599528"}}},
      {"two records' fields side by side", "Claire DUPONT 5154-7280-3852-8084\n", "UTF-8", "", {}, "utf-8", {}},
      {"-m 2 takes the names without their card", "Claire DUPONT 5154-7280-3852-8084\n", "UTF-8", "", {"-m", "2"},
       "utf-8", {{1, 8, "5078666617603137", "\"FirstName\",\"Surname\""}}},
      {"-m 1 takes a key alone", "Call Dmitri about it.\nIVANOV\n", "UTF-8", "", {"-m", "1"}, "utf-8",
       {{2, 1, "379868282880729", "\"FirstName\",\"Surname\""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    s_folder->write("doc", c.mark + encoded(c.text, c.encoding));
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.end(), {"--json", "doc"});
    const Result result = match(arguments);
    std::string expected;
    for (const Expected& m : c.matches) {
      for (std::uint64_t record : records_of(m.card)) {
        expected += "{\"file\":\"doc\",\"line\":" + std::to_string(m.line) + ",\"column\":" + std::to_string(m.column) +
                    ",\"record\":" + std::to_string(record) + ",\"key\":\"" + m.key + "\",\"fields\":[" + m.fields +
                    "],\"encoding\":\"" + c.reported + "\"}\n";
      }
    }
    EXPECT_EQ(result.out, expected) << result.err;
    EXPECT_EQ(result.exit_code, c.matches.empty() ? NONE : MATCHED);
    EXPECT_EQ(result.err, "");
  }
}

TEST_F(MatchTest, FilesAreReportedInTheirOrderLikeGrepAndStandardInputIsRead) {
  s_folder->write("a.txt", "nothing here\n");
  s_folder->write("b.txt", "x\nLuca Rossi 4493 4072 2470 4558\n");
  s_folder->write("c.txt", "Noah smith, 3014-126906-04431\n");
  const std::string b = std::to_string(records_of("4493407224704558").at(0));
  const std::string c = std::to_string(records_of("301412690604431").at(0));
  const Result result = s_folder->shell(cli_test::quote(cli_test::MATCH) + " -d customers.kds a.txt b.txt - < c.txt");
  EXPECT_EQ(result.exit_code, MATCHED) << result.err;
  EXPECT_EQ(result.out, "b.txt:2:6: record at " + b + ": FirstName,Surname,CardNum\n-:1:6: record at " + c +
                            ": FirstName,Surname,CardNum\n");
}

TEST_F(MatchTest, FailuresExitWithTwoAndSayWhy) {
  s_folder->write("b.txt", "Luca Rossi 4493 4072 2470 4558\n");
  std::string damaged = s_folder->read("customers.kds");
  damaged[damaged.size() - 20] ^= 0x01;
  s_folder->write("damaged.kds", damaged);
  // Bytes of a linear congruential generator: no encoding reads them.
  std::string noise;
  for (std::uint32_t x = 12345, i = 0; i < 2000; ++i) {
    x = (x * 1103515245u + 12345u) & 0x7FFFFFFFu;
    noise += static_cast<char>((x >> 16) & 0xFF);
  }
  s_folder->write("noise.bin", noise + "\nLuca Rossi 4493 4072 2470 4558\n");
  struct Failure {
    const char* what;
    std::vector<std::string> arguments;
    std::string says;   // on standard error
    int exit_code;
    bool output;        // the good file's match is still printed
  };
  const std::vector<Failure> failures = {
      {"a damaged data set", {"-d", "damaged.kds", "b.txt"}, "damaged", ERROR, false},
      {"no data set", {"-d", "missing.kds", "b.txt"}, "missing.kds", ERROR, false},
      {"a document that cannot be read", {"-d", "customers.kds", "gone.txt", "b.txt"}, "gone.txt: No such file",
       ERROR, true},
      {"a folder for a document", {"-d", "customers.kds", ".", "b.txt"}, ".: ", ERROR, true},
      {"an unknown encoding", {"-d", "customers.kds", "-e", "klingon", "b.txt"}, "\"klingon\" is not known", ERROR,
       false},
      {"no -d", {"b.txt"}, "name the data set with -d", ERROR, false},
      {"no documents", {"-d", "customers.kds"}, "name the documents", ERROR, false},
      {"-m 0", {"-d", "customers.kds", "-m", "0", "b.txt"}, "-m takes", ERROR, false},
      {"-w beyond its limit", {"-d", "customers.kds", "-w", "100001", "b.txt"}, "-w takes", ERROR, false},
      {"-w twice", {"-d", "customers.kds", "-w", "5", "-w", "5", "b.txt"}, "-w takes", ERROR, false},
      {"standard input twice", {"-d", "customers.kds", "-", "-"}, "only once", ERROR, false},
      {"an unknown option", {"-d", "customers.kds", "-q", "b.txt"}, "-q is not known", ERROR, false},
      {"text nothing recognises is read as UTF-8, and said", {"-d", "customers.kds", "noise.bin"},
       "noise.bin: the encoding could not be recognised; read as UTF-8", MATCHED, false},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.what);
    const Result result = s_folder->run(cli_test::MATCH, f.arguments);
    EXPECT_EQ(result.exit_code, f.exit_code) << result.err;
    EXPECT_NE(result.err.find(f.says), std::string::npos) << result.err;
    EXPECT_EQ(result.out.find("b.txt:1:6: record at") != std::string::npos, f.output) << result.out;
  }
}

}  // namespace
