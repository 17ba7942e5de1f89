// Inputs in other encodings: each gives, byte for byte, the data set that the
// same records give in UTF-8; a sequence the encoding cannot read fails the
// build naming its line, and leaves nothing behind.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "enr/enr_convert.h"
#include "enr/enr_encoding.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"

namespace {

using cli_test::FAILED;
using cli_test::Folder;
using cli_test::Result;
using cli_test::SCHEMA;

enr::Enr_encoding encoding_named(const char* name) {
  krn::Wstring wide;
  krn::krn_utf8_to_utf16(name, wide);
  krn::Krn_status status;
  return enr::enr_display_name(wide, status);
}

// The text in the encoding; false when a character of it has no place there.
bool encode(const std::string& utf8, const char* encoding, std::string& bytes) {
  krn::Wstring text, back;
  krn::krn_utf8_to_utf16(utf8, text);
  krn::Krn_status status;
  if (!enr::enr_utf16_to_encoding(encoding_named(encoding), text, bytes, status)) return false;
  return enr::enr_encoding_to_utf16(encoding_named(encoding), bytes, back, status) && back == text;
}

std::vector<std::string> example_lines() {
  std::istringstream example(cli_test::read_file(KESTREL_SOURCE_DIR "/examples/customers.tsv"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(example, line);) lines.push_back(line + "\n");
  return lines;
}

Result build(const Folder& folder, const std::string& input, const std::vector<std::string>& options,
             const std::string& output) {
  std::vector<std::string> arguments = {"-k", "Surname", "-k", "CardNum", "-s", SCHEMA};
  arguments.insert(arguments.end(), options.begin(), options.end());
  arguments.insert(arguments.end(), {"-i", input, "-o", output});
  return folder.kestrel(arguments);
}

TEST(CliInputEncoding, EveryEncodingGivesTheDataSetOfTheSameRecordsInUtf8) {
  struct Case {
    const char* encoding;  // what the input is written in
    std::string mark;      // written before it
    std::vector<std::string> options;
    std::string printed;  // on standard output
    int copies = 1;       // of the records
  };
  // A line with the quotes and the euro sign that only windows-1252 has.
  const std::string windows_line = "Zoë\tO’Connor – €\t4111 1111 1111 1111\n";
  const Case cases[] = {
      {"UTF-16LE", std::string("\xFF\xFE", 2), {}, ""},
      {"UTF-16BE", std::string("\xFE\xFF", 2), {}, ""},
      {"UTF-32LE", std::string("\xFF\xFE\0\0", 4), {}, ""},
      {"UTF-32BE", std::string("\0\0\xFE\xFF", 4), {}, ""},
      {"UTF-16BE", "", {"-e", "utf-16be"}, ""},
      {"windows-1252", "", {"-e", "windows-1252"}, ""},
      {"ISO-8859-15", "", {"-e", "ISO-8859-15"}, ""},
      {"windows-1252", "", {"-e", "auto"}, "Input encoding: windows-1252\n"},
      {"UTF-16LE", std::string("\xFF\xFE", 2), {"-e", "auto"}, "Input encoding: utf-16le\n"},
      {"UTF-8", "", {"-e", "auto"}, "Input encoding: utf-8\n"},
  };
  std::vector<std::string> lines = example_lines();
  lines.push_back(windows_line);
  // Two values of 9000 characters beyond U+FFFF, their starts of another
  // parity: the converter's pieces of 16384 units end inside a pair in one.
  std::string faces;
  for (int i = 0; i < 9000; ++i) faces += "😀";
  lines.push_back("Emoji\t" + faces + "\t5500 0000 0000 0004\n");
  lines.push_back("Emojis\t" + faces + "\t5500 0000 0000 0004\n");
  // Names alone, from twenty languages, say little of their code page: the
  // detector finds windows-1252 by the notes of a Western export.
  std::vector<std::string> noted = lines;
  for (const char* note : {"François\tLefèvre – client fidèle depuis l’été 1998, préfère être appelé le matin\t"
                           "5500 0000 0000 0004\n",
                           "Jürgen\tMüller – „Stammkunde“ seit Jahren, zahlt pünktlich und grüßt freundlich\t"
                           "4111 1111 1111 1111\n",
                           "Lucía\tGarcía – la señora prefiere que la llamen por la mañana, después de las diez\t"
                           "3400-000000-00009\n"}) {
    noted.push_back(note);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.encoding) + (c.options.empty() ? "" : " " + c.options.back()));
    Folder folder;
    std::string utf8, encoded = c.mark;
    const bool western_auto = c.printed == "Input encoding: windows-1252\n";
    for (int copy = 0; copy < c.copies; ++copy) {
      for (const std::string& line : western_auto ? noted : lines) {
        std::string bytes;
        if (!encode(line, c.encoding, bytes)) continue;
        utf8 += line;
        encoded += bytes;
      }
    }
    ASSERT_GT(utf8.size(), 500u);
    folder.write("utf8.tsv", utf8);
    folder.write("in.tsv", encoded);
    const Result reference = build(folder, "utf8.tsv", {}, "utf8.kds");
    ASSERT_EQ(reference.exit_code, 0) << reference.err;
    const Result result = build(folder, "in.tsv", c.options, "in.kds");
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, c.printed + reference.out);
    EXPECT_TRUE(folder.read("in.kds") == folder.read("utf8.kds"));
  }
}

TEST(CliInputEncoding, RefusesWhatTheEncodingCannotReadNamingTheLine) {
  struct Case {
    std::string input;
    std::vector<std::string> options;
    std::string reason;  // after "Failed to generate file."
  };
  const std::string line = "Anne\tO'Neil\t4111 1111-1111 1111\n";
  std::string long_input;
  for (int i = 0; i < 70000; ++i) long_input += line;  // over two batches
  const Case cases[] = {
      // "Zoë" in UTF-8 is no ASCII.
      {line + line + "Zo\xC3\xAB\tBront\xC3\xAB\t3400-000000-00009\n", {"-e", "us-ascii"},
       "Line 3 of the input file \"in.tsv\" holds a sequence of bytes that us-ascii cannot read; name the input's "
       "encoding with -e."},
      {long_input + "Zo\xEB\tX\t4111 1111 1111 1111\n", {"-e", "us-ascii"},
       "Line 70001 of the input file \"in.tsv\" holds a sequence of bytes that us-ascii cannot read; name the "
       "input's encoding with -e."},
      // UTF-16 cut inside its last unit.
      {std::string("\xFF\xFE" "A\0\tB\0\t4\0", 10) + "\x31", {},
       "Line 1 of the input file \"in.tsv\" holds a sequence of bytes that utf-16le cannot read; name the input's "
       "encoding with -e."},
      {line, {"-e", "klingon-8"},
       "The encoding \"klingon-8\" is not known; name one such as windows-1252, iso-8859-15 or utf-16, or auto."},
      {std::string("\x01\x02\x03\xFE\xFD\xFC\x80\x81\x00\x00\x00\x07", 12), {"-e", "auto"},
       "The encoding of the input file \"in.tsv\" could not be recognised; name it with -e."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    Folder folder;
    folder.write("in.tsv", c.input);
    const Result result = build(folder, "in.tsv", c.options, "out.kds");
    EXPECT_EQ(result.exit_code, FAILED);
    EXPECT_EQ(result.err, "Failed to generate file.\n" + c.reason + "\n");
    EXPECT_FALSE(folder.exists("out.kds"));
  }

  // -e is given once, and not to an upgrade.
  Folder folder;
  folder.write("in.tsv", line);
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"-e", "utf-8", "-e", "utf-8"}, std::vector<std::string>{"-u", "-e", "utf-8"}}) {
    std::vector<std::string> arguments = options;
    arguments.insert(arguments.end(), {"-i", "in.tsv", "-o", "out.kds"});
    const Result result = folder.kestrel(arguments);
    EXPECT_EQ(result.exit_code, FAILED);
    EXPECT_FALSE(folder.exists("out.kds"));
  }
}

}  // namespace
