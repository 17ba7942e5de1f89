// encsense-detect FILE...: prints, per file, the name of the encoding the
// detector finds, "unknown" when it finds none, or why the file could not
// be read. Exits with 1 when any file could not be read.

#include <cstdio>
#include <string>

#include "enr/enr_detect_convert.h"
#include "enr/enr_encoding.h"
#include "krn/krn_file.h"
#include "krn/krn_file_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"

namespace {

std::string status_text(const krn::Krn_status& status) {
  std::string text = "error 0x";
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", status.value());
  return text + hex;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: encsense-detect FILE...\n");
    return 2;
  }
  int exit_code = 0;
  enr::Enr_detect_convert detector;
  for (int i = 1; i < argc; ++i) {
    krn::Wstring name;
    krn::krn_utf8_to_utf16(argv[i], name);
    krn::Krn_status status;
    krn::Krn_file_buffer file(name, krn::KRN_FILE_OPEN_EXISTING, krn::KRN_FILE_ACCESS_READ, 0,
                              krn::KRN_FILE_SHARE_READ, status);
    if (!status.ok()) {
      std::printf("%s: cannot read (%s)\n", argv[i], status_text(status).c_str());
      exit_code = 1;
      continue;
    }
    unsigned char flags = 0;
    const enr::Enr_encoding encoding = detector.detect_character_encoding(&file, flags, status);
    if (!status.ok()) {
      std::printf("%s: detection failed (%s)\n", argv[i], status_text(status).c_str());
      exit_code = 1;
      continue;
    }
    std::string display = "unknown";
    if (encoding != enr::ENR_UNKNOWN_ENCODING) {
      krn::Wstring wide;
      enr::enr_display_name(encoding, wide, status);
      if (status.ok()) krn::krn_utf16_to_utf8(wide, display);
    }
    std::printf("%s: %s\n", argv[i], display.c_str());
  }
  return exit_code;
}
