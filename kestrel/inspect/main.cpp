// kestrel-inspect: shows what a data set file holds and whether it is sound,
// and looks records up by a key value the way any reader of the format does.
//
//   kestrel-inspect FILE [-k KEY -v VALUE]
//
// The file is sound when every record and every key index checks out, not
// only its header and checksum. Exit code 0 when the file is sound (and,
// with -v, some record matched), 1 when it is not (or nothing matched), 2
// for a wrong command line or a key the file has no index for.

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "krn/krn_file_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_stream.h"
#include "krn/krn_string.h"
#include "tla/tla_command_line.h"
#include "tla/tla_data_set_connector.h"
#include "tla/tla_data_set_entry.h"
#include "tla/tla_data_set_format.h"
#include "tla/tla_formatter.h"
#include "tla/tla_records.h"

namespace {

constexpr int EXIT_SOUND = 0;
constexpr int EXIT_UNSOUND = 1;
constexpr int EXIT_USAGE = 2;

struct Request {
  std::string file;
  std::string key;
  std::string value;
  bool lookup = false;
};

bool parse_arguments(int argc, char** argv, Request& request) {
  bool have_key = false;
  bool have_value = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if ((argument == "-k" || argument == "-v") && i + 1 < argc) {
      (argument == "-k" ? request.key : request.value) = argv[++i];
      (argument == "-k" ? have_key : have_value) = true;
    } else if (request.file.empty() && !argument.empty() && argument[0] != '-') {
      request.file = argument;
    } else {
      return false;
    }
  }
  request.lookup = have_key;
  return !request.file.empty() && have_key == have_value;
}

std::string utf8(const krn::Wstring& text) {
  std::string narrow;
  krn::krn_utf16_to_utf8(text, narrow);
  return narrow;
}

std::string formatter_name(const krn::GUID& type) {
  std::string name;
  tla::formatter_name_from_type(type, name);
  return name.empty() ? "(none)" : name;
}

// The header and descriptors as the bytes say, read apart from the reader,
// so that a file the reader refuses still shows what it claims to be.
void show_raw_header(const std::string& file_name) {
  krn::Wstring wide;
  krn::krn_utf8_to_utf16(file_name, wide);
  krn::Krn_status status;
  krn::Krn_file_buffer file(wide, krn::KRN_FILE_ACCESS_READ, status);
  if (!status.ok()) return;
  krn::Krn_buffered_istream input(file, false, status);
  const krn::int64 size = input.size(status);
  unsigned char header[tla::TLA_HEADER_SIZE] = {};
  if (!status.ok() || size < static_cast<krn::int64>(sizeof header) ||
      input.read(sizeof header, header, status) != sizeof header || !tla::tla_has_magic(header, sizeof header)) {
    std::printf("File: %s\nNot a data set file (no header).\n", file_name.c_str());
    return;
  }
  const tla::Tla_data_set_header fields = tla::tla_decode_header(header);
  std::printf("File: %s\n", file_name.c_str());
  std::printf("Version: %u\n", static_cast<unsigned>(fields.version));
  std::printf("Records: %" PRIu32 "\n", fields.record_count);
  std::printf("Key indexes: %u\n", static_cast<unsigned>(fields.key_count));
  std::printf("Index offset: %" PRIu64 "\n", fields.index_offset);

  tla::Tla_field_descriptor_parser parser;
  unsigned char byte = 0;
  while (parser.step() == tla::Tla_field_descriptor_parser::MORE && input.read(1, &byte, status) == 1) parser.feed(byte);
  std::printf("Fields:\n");
  for (const tla::Tla_field_descriptor& field : parser.schema()) {
    std::printf("  %s\t%s\n", utf8(field.name).c_str(), formatter_name(field.formatter_type).c_str());
  }
  if (parser.step() != tla::Tla_field_descriptor_parser::DONE) std::printf("  (the field list is damaged)\n");

  const std::uint64_t computed = tla::tla_data_set_checksum(file, size, status);
  if (!status.ok()) return;
  std::printf("Checksum: %016" PRIx64 " %s\n", fields.checksum,
              computed == fields.checksum ? "(holds)" : "(does NOT hold)");
  if (computed != fields.checksum) std::printf("Computed checksum: %016" PRIx64 "\n", computed);
}

int lookup(tla::Tla_data_set_connector_file& connector, const Request& request) {
  tla::Tla_search_value value;
  krn::krn_utf8_to_utf16(request.value, value.text);
  krn::Wstring key;
  krn::krn_utf8_to_utf16(request.key, key);
  tla::Tla_entry_list results;
  krn::Krn_status status;
  connector.find(value, key, results, status);
  if (!status.ok()) {
    std::fflush(stdout);
    tla::print_status_messages(status);
    return EXIT_UNSOUND;
  }
  std::printf("Records whose %s matches \"%s\": %zu\n", request.key.c_str(), request.value.c_str(), results.size());
  for (const auto& entry : results) {
    const auto* record = dynamic_cast<const tla::Tla_data_set_entry_file*>(entry.get());
    std::printf("  record at offset %lld:", record ? static_cast<long long>(record->record_offset()) : -1LL);
    for (const tla::Tla_field_descriptor& field : *connector.schema()) {
      std::vector<std::uint64_t> crcs;
      krn::GUID type{};
      entry->tokens(field.name, crcs, type);
      std::printf(" %s=%zu", utf8(field.name).c_str(), crcs.size());
    }
    std::printf(" tokens\n");
  }
  return results.empty() ? EXIT_UNSOUND : EXIT_SOUND;
}

// A search under a key the file does not index would find nothing, which
// would read as "no record holds the value": the key is what is wrong.
bool has_key_index(const tla::Tla_data_set_connector_file& connector, const std::string& key) {
  krn::Wstring wide;
  krn::krn_utf8_to_utf16(key, wide);
  std::string names;
  for (const tla::Tla_key_table& table : connector.key_tables()) {
    if (table.name == wide) return true;
    names += names.empty() ? " \"" : ", \"";
    names += utf8(table.name) + "\"";
  }
  std::fflush(stdout);
  std::fprintf(stderr, "kestrel-inspect: the data set has no key index named \"%s\"; %s.\n", key.c_str(),
               names.empty() ? "it has no key index" : ("its key indexes are" + names).c_str());
  return false;
}

int inspect(const Request& request) {
  show_raw_header(request.file);

  tla::Tla_data_set_connector_file connector;
  krn::Krn_status status;
  krn::Wstring name;
  krn::krn_utf8_to_utf16(request.file, name);
  connector.set_property("DataFileName", name, status);
  connector.open(status);
  if (status.ok()) connector.verify(status);
  if (!status.ok()) {
    std::printf("Sound: no\n");
    std::fflush(stdout);
    tla::print_status_messages(status);
    return EXIT_UNSOUND;
  }
  std::printf("Key index names:\n");
  for (const tla::Tla_key_table& table : connector.key_tables()) std::printf("  %s\n", utf8(table.name).c_str());
  std::printf("Sound: yes\n");
  if (!request.lookup) return EXIT_SOUND;
  if (!has_key_index(connector, request.key)) return EXIT_USAGE;
  return lookup(connector, request);
}

}  // namespace

int main(int argc, char** argv) {
  Request request;
  if (!parse_arguments(argc, argv, request)) {
    std::fprintf(stderr, "Usage: kestrel-inspect FILE [-k KEY -v VALUE]");
    std::fputc('\n', stdout);
    return EXIT_USAGE;
  }
  // File names are bytes here; converted, one that is not UTF-8 would name
  // another file, and the report would be about that one.
  if (!tla::is_valid_utf8(request.file.data(), request.file.size())) {
    std::fprintf(stderr, "kestrel-inspect: the file name is not UTF-8.");
    std::fputc('\n', stdout);
    return EXIT_USAGE;
  }
  try {
    return inspect(request);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kestrel-inspect: %s", error.what());
    std::fputc('\n', stdout);
    return EXIT_UNSOUND;
  }
}
