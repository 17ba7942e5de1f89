// A program of someone else's, built against the installed kestrel: it
// opens a data set with the reader and prints how many records hold a value
// in a key field.
//
//   find_record DATA_SET KEY VALUE

#include <cstdio>

#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "tla/tla_data_set_connector.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: find_record DATA_SET KEY VALUE\n");
    return 2;
  }
  krn::Wstring file, key;
  tla::Tla_search_value value;
  krn::krn_utf8_to_utf16(argv[1], file);
  krn::krn_utf8_to_utf16(argv[2], key);
  krn::krn_utf8_to_utf16(argv[3], value.text);
  tla::Tla_data_set_connector_file connector;
  krn::Krn_status status;
  connector.set_property("DataFileName", file, status);
  if (status.ok()) connector.open(status);
  if (status.ok()) connector.load(status, true);
  tla::Tla_entry_list found;
  if (status.ok()) connector.find(value, key, found, status);
  if (!status.ok()) {
    std::fprintf(stderr, "find_record: status 0x%08X\n", status.value());
    return 1;
  }
  std::printf("%zu\n", found.size());
  return 0;
}
