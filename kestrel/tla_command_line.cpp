#include "tla_command_line.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "krn/krn_file_buffer.h"
#include "krn/krn_messages.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "krn/krn_string.h"
#include "tla_data_set_format.h"
#include "tla_data_set_tokens.h"
#include "tla_records.h"
#include "tla_schema.h"
#include "tla_status_codes.h"
#include "tla_upgrade.h"
#include "tla_writer.h"

namespace tla {

// ---- Option scanner ----------------------------------------------------------

Tla_option_scanner::Tla_option_scanner(int argc, const char* const* argv, const char* options)
    : m_argc(argc), m_argv(argv), m_options(options) {}

int Tla_option_scanner::next() {
  m_argument = nullptr;
  if (m_place == nullptr || *m_place == '\0') {
    m_place = nullptr;
    if (m_index >= m_argc) return END;
    const char* argument = m_argv[m_index];
    if (argument == nullptr) return END;
    if (argument[0] == '?') return INVALID;
    if (argument[0] != '-' && argument[0] != '/') return END;
    if (argument[1] == '-' || argument[1] == '/') {
      ++m_index;
      return END;
    }
    m_place = argument + 1;
  }
  const char letter = *m_place++;
  if (letter == '\0') {
    // "-" or "/" on its own.
    ++m_index;
    m_place = nullptr;
    return END;
  }
  const char* known = letter == ':' ? nullptr : std::strchr(m_options, letter);
  if (known == nullptr) return INVALID;
  if (known[1] == ':') {
    if (*m_place != '\0') {
      m_argument = m_place;
      ++m_index;
    } else if (m_index + 1 < m_argc && m_argv[m_index + 1] != nullptr) {
      m_argument = m_argv[m_index + 1];
      m_index += 2;
    } else {
      return INVALID;
    }
    m_place = nullptr;
  } else if (*m_place == '\0') {
    ++m_index;
    m_place = nullptr;
  }
  return static_cast<unsigned char>(letter);
}

// ---- Console -----------------------------------------------------------------

namespace {

const char* const USAGE[] = {
    "",
    "Usage:",
    "",
    "\tkestrel -k <key_name>  (-k <key_name>)* -s <schema> -i <input_file> -o <output_file>",
    "\tkestrel -u -i <input_file> -o <output_file>",
    "\tkestrel -h",
    "",
    "Where:",
    "",
    "\t<key_name>\tis the field name of one of the key field. This must be specified in <schema>",
    "",
    "\t<schema>\tis a semi-colon separated list of comma separated pairs. Where the first value",
    "\t\t\tin the pair is the field name in the schema and the second is the formatter type name",
    "\t\t\tto be used to format that field. E.g:",
    "\t\t\tFirstName,Simple;Surname,SimpleNC; CardNum,CCNUMBER",
    "",
    "\t\t\tNOTE: The order the fields are specified in the <schema> MUST match the order they are",
    "\t\t\tin the input file. There are no column headers in the input file. The only way it can",
    "\t\t\tidentify the fields in the input is from their order in the specified <schema>.",
    "",
    "\t<input_file>\tis the relative filename of the input file",
    "",
    "\t<output_file>\tis the relative filename of the output file. If the output file already",
    "\t\t\texists kestrel will fail",
    "",
    "\t-u  means upgrade the file to the latest version.",
    "",
    "\t-h  means just display usage message.",
    "",
};

// The tool's own messages: the text on standard error without a line end,
// the line end on standard output.
void write_message(const char* text) {
  std::fputs(text, stderr);
  std::fflush(stderr);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int report_with_usage(const char* message) {
  write_message(message);
  print_usage();
  return -1;
}

}  // namespace

void print_usage() {
  std::printf("\n%s %s\n", TLA_PROGRAM_NAME, TLA_PROGRAM_VERSION);
  for (const char* line : USAGE) std::printf("%s\n", line);
  std::fflush(stdout);
}

void print_status_messages(const krn::Krn_status& status) {
  if (!krn::Krn_status_lookup::initialise_message_list({krn::KRN_PLAT_STATUS_FILE_NAME, krn::KRN_UTIL_STATUS_FILE_NAME}))
    return;
  krn::Wstring text;
  krn::Krn_status_lookup::to_string(status, text);
  std::string narrow;
  krn::krn_utf16_to_utf8(text, narrow);
  std::fwrite(narrow.data(), 1, narrow.size(), stderr);
  std::fflush(stderr);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// ---- The run -----------------------------------------------------------------

namespace {

class Run {
 public:
  int main(int argc, const char* const* argv);

 private:
  // The exit code when the options end the run, else nothing more to say.
  bool scan_options(int argc, const char* const* argv, int& exit_code);
  bool open_input(const char* name);
  bool open_output(const char* name);
  int build();
  int upgrade();
  Tla_read_outcome encode_input(krn::Krn_file_buffer& intermediate, std::uint64_t& records);
  int fail(const char* heading, krn::Krn_file_buffer* intermediate);

  std::vector<krn::Wstring> m_key_names;
  Tla_schema m_schema;
  std::vector<krn::GUID> m_formatter_types;
  std::string m_input_name;
  std::string m_output_name;
  krn::Krn_file_buffer m_input;
  krn::Krn_file_buffer m_output;
  bool m_have_input = false;
  bool m_have_output = false;
  bool m_upgrade = false;
  krn::Krn_status m_status;
};

int Run::main(int argc, const char* const* argv) {
  if (argc < 2) {
    print_usage();
    return -1;
  }
  int exit_code = -1;
  if (!scan_options(argc, argv, exit_code)) return exit_code;

  if (m_upgrade && m_have_input && m_have_output && m_key_names.empty() && m_schema.empty()) return upgrade();
  if (m_key_names.empty() || m_schema.empty() || !m_have_input || !m_have_output)
    return report_with_usage("Invalid number of arguments.");
  return build();
}

bool Run::scan_options(int argc, const char* const* argv, int& exit_code) {
  exit_code = -1;
  Tla_option_scanner scanner(argc, argv, TLA_OPTIONS);
  for (int option = scanner.next(); option != Tla_option_scanner::END; option = scanner.next()) {
    const char* argument = scanner.argument();
    switch (option) {
      case 'k': {
        krn::Wstring name;
        krn::krn_utf8_to_utf16(argument, name);
        m_key_names.push_back(name);
        break;
      }
      case 's':
        if (!m_schema.empty()) {
          report_with_usage("Multiple schemas detected.");
          return false;
        }
        if (!parse_schema(argument, m_schema, m_formatter_types)) {
          report_with_usage("Invalid schema format, see usage.");
          return false;
        }
        break;
      case 'i':
        if (!open_input(argument)) {
          report_with_usage("Input Filename Invalid.");
          return false;
        }
        break;
      case 'o':
        if (!open_output(argument)) {
          report_with_usage("Output Filename Invalid.");
          return false;
        }
        break;
      case 'h':
        std::fputc('\n', stdout);
        print_usage();
        return false;
      case 'u':
        m_upgrade = true;
        break;
      default:
        report_with_usage("Commmand line invalid.");
        return false;
    }
  }
  return true;
}

// File names are bytes here. One that is not UTF-8 would come out of the
// conversion with U+FFFD for its bad bytes and so name another file, which
// the output would then overwrite or delete.
bool usable_file_name(const char* name) { return is_valid_utf8(name, std::strlen(name)); }

bool Run::open_input(const char* name) {
  if (!usable_file_name(name)) return false;
  m_input_name = name;
  krn::Wstring wide;
  krn::krn_utf8_to_utf16(m_input_name, wide);
  // Shared with readers only: no one writes the input while it is read,
  // and naming it as the output too fails at the output's open.
  m_input.open(wide, krn::KRN_FILE_ACCESS_READ, m_status);
  if (m_status.is_error()) return false;
  m_have_input = true;
  return true;
}

bool Run::open_output(const char* name) {
  if (!usable_file_name(name)) return false;
  m_output_name = name;
  krn::Wstring wide;
  krn::krn_utf8_to_utf16(m_output_name, wide);
  m_output.open(wide, krn::KRN_FILE_OPEN_ALWAYS, krn::KRN_FILE_ACCESS_READ_WRITE, 0, krn::KRN_FILE_SHARE_NONE,
                m_status);
  if (!m_status.ok()) return false;
  m_have_output = true;
  return true;
}

Tla_read_outcome Run::encode_input(krn::Krn_file_buffer& intermediate, std::uint64_t& records) {
  records = 0;
  std::vector<std::uint64_t> key_positions;
  find_key_positions(m_schema, m_key_names, key_positions);
  krn::Krn_buffered_istream input(m_input, false, m_status, krn::KRN_EOL_CRLF);
  if (m_status.is_error()) return Tla_read_outcome::FAILED;
  create_intermediate_file(intermediate, m_status);
  if (m_status.is_error()) return Tla_read_outcome::FAILED;
  krn::Krn_ostream out(intermediate, m_status, krn::KRN_EOL_CRLF);
  if (m_status.is_error()) return Tla_read_outcome::FAILED;
  Tla_block_writer writer(out);
  const Tla_read_outcome outcome = read_records(input, writer, m_schema, key_positions, records, m_status);
  if (outcome != Tla_read_outcome::DONE) return outcome;
  writer.flush(m_status);
  return m_status.is_error() ? Tla_read_outcome::FAILED : outcome;
}

int Run::build() {
  krn::Krn_file_buffer intermediate;
  Tla_read_outcome outcome = Tla_read_outcome::FAILED;
  try {
    std::uint64_t records = 0;
    outcome = encode_input(intermediate, records);
    if (outcome == Tla_read_outcome::DONE && records == 0) {
      krn::Wstring name;
      krn::krn_utf8_to_utf16(m_input_name, name);
      m_status.assign(TLA_E_NO_RECORDS, krn::Krn_wstring_status_arg(name));
    }
    if (outcome == Tla_read_outcome::DONE && m_status.ok()) {
      build_data_set(m_key_names, m_schema, intermediate, m_output, m_status);
    }
  } catch (const std::exception& error) {
    tla_report_exception(error, m_status);
    outcome = Tla_read_outcome::FAILED;
  }

  if (outcome == Tla_read_outcome::BAD_LINE_END) {
    report_with_usage("Invalid line ending in input file.");
    return -1;
  }
  if (outcome == Tla_read_outcome::FIELD_COUNT) {
    report_with_usage("Field count does not match the schema.");
    return -1;
  }
  if (!m_status.ok()) return fail("Failed to generate file.", &intermediate);
  if (m_status.is_warning()) {
    write_message("Warnings:");
    print_status_messages(m_status);
  }
  return 0;
}

int Run::upgrade() {
  m_input.close();
  try {
    upgrade_data_set(m_input_name, m_output, m_status);
  } catch (const std::exception& error) {
    tla_report_exception(error, m_status);
  }
  if (!m_status.ok()) return fail(nullptr, nullptr);
  return 0;
}

int Run::fail(const char* heading, krn::Krn_file_buffer* intermediate) {
  if (heading != nullptr) write_message(heading);
  print_status_messages(m_status);
  // The name goes while the file is still held: once it is closed another
  // run may open a file of that name, which must not be the one removed.
  krn::Wstring name;
  krn::krn_utf8_to_utf16(m_output_name, name);
  krn::Krn_status removed;
  krn::Krn_file::remove(name, removed);
  if (intermediate != nullptr) intermediate->close();
  m_output.close();
  return -1;
}

}  // namespace

int kestrel_main(int argc, const char* const* argv) {
  // The build and the upgrade report their own exceptions; what is left is
  // running out of memory while the options are read.
  try {
    Run run;
    return run.main(argc, argv);
  } catch (const std::exception& error) {
    krn::Krn_status status;
    tla_report_exception(error, status);
    print_status_messages(status);
    return -1;
  }
}

}  // namespace tla
