// encsense-detect, run as people run it: one line per file, results on
// standard output and failures on standard error, and an exit code that says
// whether every file could be read.

#include <gtest/gtest.h>

#include <string>

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
  Result result = folder.run(DETECT, {"german.txt", "ascii.txt", "wide.txt"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "german.txt: utf-8\nascii.txt: us-ascii\nwide.txt: UTF-16\n");
}

TEST(EncsenseDetectTool, SaysWhyAFileCannotBeReadAndGoesOn) {
  Folder folder;
  folder.write("ascii.txt", "plain text\n");
  // Read as UTF-8 the last name would be that of a file that exists.
  folder.write("other\xEF\xBF\xBD.txt", "plain text\n");
  Result result = folder.run(DETECT, {"missing.txt", "ascii.txt", "other\xFF.txt"});
  EXPECT_EQ(result.exit_code, 1);
  // Results on standard output, reasons on standard error.
  EXPECT_EQ(result.out, "ascii.txt: us-ascii\n");
  EXPECT_EQ(result.err,
            "missing.txt: cannot read: The file \"missing.txt\" could not be opened. The file \"missing.txt\" does "
            "not exist.\n"
            "other\xFF.txt: cannot read: the file name is not UTF-8.\n");

  // Sent to one file, the two streams keep the order of the files.
  result = folder.shell(test_support::quote(DETECT) + " ascii.txt missing.txt ascii.txt 2>&1");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out,
            "ascii.txt: us-ascii\n"
            "missing.txt: cannot read: The file \"missing.txt\" could not be opened. The file \"missing.txt\" does "
            "not exist.\n"
            "ascii.txt: us-ascii\n");

  result = folder.run(DETECT, {});
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_EQ(result.err, "usage: encsense-detect FILE...\n");
}

}  // namespace
