// encsense-detect, run as people run it: one line per file, results on
// standard output and failures on standard error, and an exit code that says
// whether every file was read and recognised.

#include <gtest/gtest.h>

#include <string>

#include "enr/enr_convert.h"
#include "enr/enr_encoding.h"
#include "krn/krn_status.h"
#include "run_in_folder.h"

namespace {

using test_support::Folder;
using test_support::Result;

const std::string DETECT = KESTREL_BINARY_DIR "/bin/encsense-detect";

TEST(EncsenseDetectTool, NamesTheEncodingOfEachFile) {
  Folder folder;
  folder.write("german.txt", "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln, sch\xC3\xB6ne Stra\xC3\x9F" "e und B\xC3\xA4ume.\n");
  folder.write("ascii.txt", "plain text\n");
  folder.write("wide.txt", std::string("\xFF\xFEh\0i\0", 6));
  // Thai, which ICU's converter calls "windows-874-2000"; the registry's
  // name is printed.
  const std::u16string thai =
      u"\u0e40\u0e21\u0e37\u0e48\u0e2d\u0e27\u0e32\u0e19\u0e19\u0e35\u0e49\u0e40\u0e23\u0e32\u0e44\u0e1b"
      u"\u0e40\u0e17\u0e35\u0e48\u0e22\u0e27\u0e15\u0e25\u0e32\u0e14\u0e19\u0e49\u0e33\u0e41\u0e15\u0e48"
      u"\u0e40\u0e0a\u0e49\u0e32 \u0e21\u0e35\u0e40\u0e23\u0e37\u0e2d\u0e02\u0e32\u0e22\u0e1c\u0e25\u0e44"
      u"\u0e21\u0e49\u0e41\u0e25\u0e30\u0e2d\u0e32\u0e2b\u0e32\u0e23\u0e21\u0e32\u0e01\u0e21\u0e32\u0e22\n";
  krn::Krn_status status;
  std::string thai_bytes;
  ASSERT_TRUE(enr::enr_utf16_to_encoding(enr::enr_display_name(krn::Wstring(u"windows-874"), status), thai + thai,
                                         thai_bytes, status));
  folder.write("thai.txt", thai_bytes);
  // Quotes, dashes and the euro sign of windows-1252, read from standard input.
  folder.write("french.txt", "\xAB L\x92\xE9t\xE9 \xE0 Montr\xE9" "al \xBB \x97 c\x92" "est court, mais les caf\xE9s "
                             "sont pleins\x85 15 \x80.\n");
  Result result = folder.shell(test_support::quote(DETECT) + " german.txt ascii.txt wide.txt thai.txt - < french.txt");
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out,
            "german.txt: utf-8\nascii.txt: us-ascii\nwide.txt: utf-16\nthai.txt: windows-874\n-: windows-1252\n");

  // Bytes of no text are "unknown", which the exit code says.
  std::string noise;
  for (unsigned i = 0; i < 512; ++i) noise += static_cast<char>((i * 7919u + (i >> 3) * 104729u) % 251u);
  folder.write("noise.bin", noise);
  result = folder.run(DETECT, {"ascii.txt", "noise.bin"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "ascii.txt: us-ascii\nnoise.bin: unknown\n");
}

TEST(EncsenseDetectTool, SaysWhyAFileCannotBeReadAndGoesOn) {
  Folder folder;
  folder.write("ascii.txt", "plain text\n");
  // Read as UTF-8 the last name would be that of a file that exists.
  folder.write("other\xEF\xBF\xBD.txt", "plain text\n");
  Result result = folder.run(DETECT, {"missing.txt", "ascii.txt", "other\xFF.txt"});
  EXPECT_EQ(result.exit_code, 2);
  // Results on standard output, reasons on standard error.
  EXPECT_EQ(result.out, "ascii.txt: us-ascii\n");
  EXPECT_EQ(result.err,
            "missing.txt: cannot read: The file \"missing.txt\" could not be opened. The file \"missing.txt\" does "
            "not exist.\n"
            "other\xFF.txt: cannot read: the file name is not UTF-8.\n");

  // Sent to one file, the two streams keep the order of the files.
  result = folder.shell(test_support::quote(DETECT) + " ascii.txt missing.txt ascii.txt 2>&1");
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_EQ(result.out,
            "ascii.txt: us-ascii\n"
            "missing.txt: cannot read: The file \"missing.txt\" could not be opened. The file \"missing.txt\" does "
            "not exist.\n"
            "ascii.txt: us-ascii\n");

  result = folder.run(DETECT, {});
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_EQ(result.err, "usage: encsense-detect FILE... (\"-\" reads standard input)\n");
}

}  // namespace
