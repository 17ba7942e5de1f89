// encsense-detect FILE...: prints, per file, the name of the encoding the
// detector finds (the registry's name, in lower case), or "unknown" when it
// finds none, on standard output; "-" reads standard input. Why a file
// could not be read goes to standard error, so that the output holds results
// only. Exits with 0 when every file was recognised, 1 when some were
// "unknown", 2 when a file could not be read or without files.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>

#include "enr/enr_detect_convert.h"
#include "enr/enr_encoding.h"
#include "krn/krn_buffer.h"
#include "krn/krn_file.h"
#include "krn/krn_file_buffer.h"
#include "krn/krn_messages.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"

namespace {

// The status's messages on one line; its value when the message modules
// cannot be loaded.
std::string status_text(const krn::Krn_status& status) {
  if (!krn::Krn_status_lookup::initialise_message_list({krn::KRN_PLAT_STATUS_FILE_NAME, krn::KRN_UTIL_STATUS_FILE_NAME})) {
    char hex[24];
    std::snprintf(hex, sizeof hex, "error 0x%08X", status.value());
    return hex;
  }
  krn::Wstring wide;
  krn::Krn_status_lookup::to_string(status, wide);
  std::string text;
  krn::krn_utf16_to_utf8(wide, text);
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

// File names are bytes here. One that does not survive the trip through
// UTF-16 unchanged would name another file.
bool usable_file_name(const std::string& name, krn::Wstring& wide) {
  krn::krn_utf8_to_utf16(name, wide);
  std::string back;
  krn::krn_utf16_to_utf8(wide, back);
  return back == name;
}

// One line on standard error. Results written so far go out first, so that
// the two streams sent to one file keep the order of the files.
void report_failure(const char* file, const char* what, const std::string& why) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s: %s\n", file, what, why.c_str());
}

// Standard input read to its end.
std::string read_standard_input() {
  std::cin >> std::noskipws;
  return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: encsense-detect FILE... (\"-\" reads standard input)\n");
    return 2;
  }
  bool failed = false;
  bool unknown = false;
  enr::Enr_detect_convert detector;
  std::string standard_input;
  bool standard_input_read = false;
  for (int i = 1; i < argc; ++i) {
    krn::Krn_status status;
    std::unique_ptr<krn::Krn_buffer> buffer;
    if (std::string(argv[i]) == "-") {
      // Read once: a second "-" sees what the first one saw.
      if (!standard_input_read) standard_input = read_standard_input();
      standard_input_read = true;
      buffer = std::make_unique<krn::Krn_string_buffer>(standard_input, true);
    } else {
      krn::Wstring name;
      if (!usable_file_name(argv[i], name)) {
        report_failure(argv[i], "cannot read", "the file name is not UTF-8.");
        failed = true;
        continue;
      }
      buffer = std::make_unique<krn::Krn_file_buffer>(name, krn::KRN_FILE_OPEN_EXISTING, krn::KRN_FILE_ACCESS_READ, 0,
                                                      krn::KRN_FILE_SHARE_READ, status);
      if (!status.ok()) {
        report_failure(argv[i], "cannot read", status_text(status));
        failed = true;
        continue;
      }
    }
    unsigned char flags = 0;
    const enr::Enr_encoding encoding = detector.detect_character_encoding(buffer.get(), flags, status);
    if (!status.ok()) {
      report_failure(argv[i], "detection failed", status_text(status));
      failed = true;
      continue;
    }
    std::string display = "unknown";
    if (encoding != enr::ENR_UNKNOWN_ENCODING) {
      krn::Wstring wide;
      enr::enr_display_name(encoding, wide, status);
      if (status.ok()) krn::krn_utf16_to_utf8(wide, display);
      std::transform(display.begin(), display.end(), display.begin(), [](unsigned char c) { return std::tolower(c); });
    }
    unknown = unknown || display == "unknown";
    std::printf("%s: %s\n", argv[i], display.c_str());
  }
  return failed ? 2 : unknown ? 1 : 0;
}
