#ifndef CLI_TEST_SUPPORT_H
#define CLI_TEST_SUPPORT_H

// The kestrel programs, run in a fresh folder, and the inputs the command
// line tests share.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_in_folder.h"

namespace cli_test {

namespace fs = std::filesystem;

inline const std::string KESTREL = KESTREL_BINARY_DIR "/bin/kestrel";
inline const std::string INSPECT = KESTREL_BINARY_DIR "/bin/kestrel-inspect";
inline const std::string MATCH = KESTREL_BINARY_DIR "/bin/kestrel-match";

using test_support::quote;
using test_support::read_file;
using test_support::Result;
using test_support::write_file;

// A fresh folder whose runs know where kestrel is.
class Folder : public test_support::Folder {
 public:
  Folder() : test_support::Folder("kestrel-cli-") {}
  Result kestrel(const std::vector<std::string>& arguments, int seconds = 120) const {
    return run(KESTREL, arguments, seconds);
  }
};

// What kestrel writes on standard output for its usage.
inline std::string usage_text() {
  return "\n"
         "kestrel 22.08.00\n"
         "\n"
         "Usage:\n"
         "\n"
         "\tkestrel -k <key_name>  (-k <key_name>)* -s <schema> [-e <encoding>] -i <input_file> -o <output_file>\n"
         "\tkestrel -u -i <input_file> -o <output_file>\n"
         "\tkestrel -h\n"
         "\n"
         "Where:\n"
         "\n"
         "\t<key_name>\tis the field name of one of the key field. This must be specified in <schema>\n"
         "\n"
         "\t<schema>\tis a semi-colon separated list of comma separated pairs. Where the first value\n"
         "\t\t\tin the pair is the field name in the schema and the second is the formatter type name\n"
         "\t\t\tto be used to format that field. E.g:\n"
         "\t\t\tFirstName,Simple;Surname,SimpleNC; CardNum,CCNUMBER\n"
         "\n"
         "\t\t\tNOTE: The order the fields are specified in the <schema> MUST match the order they are\n"
         "\t\t\tin the input file. There are no column headers in the input file. The only way it can\n"
         "\t\t\tidentify the fields in the input is from their order in the specified <schema>.\n"
         "\n"
         "\t<input_file>\tis the relative filename of the input file\n"
         "\n"
         "\t<encoding>\tis the encoding of the input file, such as windows-1252, iso-8859-15 or\n"
         "\t\t\tutf-16, or auto to have it recognised (and printed). Without -e the input is\n"
         "\t\t\tUTF-8, or UTF-16 or UTF-32 when it starts with their byte order mark.\n"
         "\n"
         "\t<output_file>\tis the relative filename of the output file. If the output file already\n"
         "\t\t\texists kestrel will fail\n"
         "\n"
         "\t-u  means upgrade the file to the latest version.\n"
         "\n"
         "\t-h  means just display usage message.\n"
         "\n";
}

// The shell reports exit code -1 as 255.
inline constexpr int FAILED = 255;

inline const std::string SCHEMA = "FirstName,Simple;Surname,SimpleNC;CardNum,CCNUMBER";

// A few sound records of the schema above.
inline std::string sample_records() {
  return "Anne\tO'Neil\t4111 1111-1111 1111\n"
         "Jean-Luc\tPicard\t5500 0000 0000 0004\n"
         "Zoë\tBrontë\t3400-000000-00009\n";
}

}  // namespace cli_test

#endif
