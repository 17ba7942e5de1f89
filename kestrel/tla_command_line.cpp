#include "tla/tla_command_line.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "enr/enr_encoding.h"
#include "krn/krn_buffer.h"
#include "krn/krn_file.h"
#include "krn/krn_file_buffer.h"
#include "krn/krn_messages.h"
#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "krn/krn_string.h"
#include "krn/krn_system.h"
#include "tla/tla_data_set_format.h"
#include "tla/tla_data_set_tokens.h"
#include "tla/tla_records.h"
#include "tla/tla_schema.h"
#include "tla/tla_status_codes.h"
#include "tla/tla_text_encoding.h"
#include "tla/tla_upgrade.h"
#include "tla/tla_writer.h"

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
    "\tkestrel -k <key_name>  (-k <key_name>)* -s <schema> [-e <encoding>] -i <input_file> -o <output_file>",
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
    "\t<encoding>\tis the encoding of the input file, such as windows-1252, iso-8859-15 or",
    "\t\t\tutf-16, or auto to have it recognised (and printed). Without -e the input is",
    "\t\t\tUTF-8, or UTF-16 or UTF-32 when it starts with their byte order mark.",
    "",
    "\t<output_file>\tis the relative filename of the output file. If the output file already",
    "\t\t\texists kestrel will fail",
    "",
    "\t-u  means upgrade the file to the latest version.",
    "",
    "\t-h  means just display usage message.",
    "",
};

// The tool's own messages: the text on standard error, ended there too so
// that a logged standard error reads line by line, and the line end that
// the console has always had on standard output.
void write_message(const char* text) {
  std::fputs(text, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// The message, what the status says about it (when anything), the usage.
int report_with_usage(const char* message, const krn::Krn_status* reason = nullptr) {
  write_message(message);
  if (reason != nullptr && !reason->is_clear()) print_status_messages(*reason);
  print_usage();
  return -1;
}

}  // namespace

void print_usage() {
  std::printf("\n%s %s\n", TLA_PROGRAM_NAME, TLA_PROGRAM_VERSION);
  for (const char* line : USAGE) std::printf("%s\n", line);
  std::fflush(stdout);
}

std::string status_messages_text(const krn::Krn_status& status) {
  std::string narrow;
  if (krn::Krn_status_lookup::initialise_message_list({krn::KRN_PLAT_STATUS_FILE_NAME, krn::KRN_UTIL_STATUS_FILE_NAME})) {
    krn::Wstring text;
    krn::Krn_status_lookup::to_string(status, text);
    krn::krn_utf16_to_utf8(text, narrow);
  } else {
    // Without the texts the values still say what happened to whoever looks
    // them up; silence would say nothing.
    narrow = "The message files (" + std::string(krn::KRN_PLAT_STATUS_FILE_NAME) + krn::krn_status_file_suffix() +
             ", " + krn::KRN_UTIL_STATUS_FILE_NAME + krn::krn_status_file_suffix() +
             ") were not found beside the libraries; the status values are:";
    for (const krn::Krn_status* link = &status; link != nullptr; link = link->child()) {
      char value[16];
      std::snprintf(value, sizeof value, "0x%08X", link->value());
      narrow += "\n";
      narrow += value;
    }
  }
  return narrow;
}

void print_status_messages(const krn::Krn_status& status) {
  std::string narrow = status_messages_text(status);
  narrow += '\n';
  std::fwrite(narrow.data(), 1, narrow.size(), stderr);
  std::fflush(stderr);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// ---- The run -----------------------------------------------------------------

namespace {

// What the command line asks for. Scanning it touches no file: the files are
// opened only once everything that can be checked without them holds.
struct Options {
  std::vector<krn::Wstring> key_names;
  Tla_schema schema;
  std::vector<krn::GUID> formatter_types;
  krn::Wstring input_name;
  krn::Wstring output_name;
  std::string encoding_name;  // -e; "auto" has the detector find it
  bool have_input = false;
  bool have_output = false;
  bool have_encoding = false;
  bool upgrade = false;
};

// The encoding -e names, checked before any file is opened; "auto" is left
// for choose_encoding.
void resolve_encoding(const Options& options, Tla_input_encoding& encoding, krn::Krn_status& status) {
  status.clear();
  if (!options.have_encoding || options.encoding_name == "auto") return;
  if (tla_named_encoding(options.encoding_name, encoding)) return;
  krn::Wstring name;
  krn::krn_utf8_to_utf16(options.encoding_name, name);
  status.assign(TLA_E_UNKNOWN_ENCODING, krn::Krn_wstring_status_arg(name));
}

// The folder a file name lies in, "" for the current one.
krn::Wstring folder_of(const krn::Wstring& name) {
  const std::size_t slash = name.rfind(u'/');
  if (slash == krn::Wstring::npos) return krn::Wstring();
  return slash == 0 ? krn::Wstring(u"/") : name.substr(0, slash);
}

// A file name as the run keeps it. File names are bytes here; converted,
// one that is not UTF-8 would come out with U+FFFD for its bad bytes and so
// name another file.
bool take_file_name(const char* argument, krn::Wstring& name, bool& have, char option, krn::Krn_status& status) {
  if (have) {
    const char16_t letter[] = {u'-', static_cast<char16_t>(option), 0};
    status.assign(TLA_E_OPTION_REPEATED, krn::Krn_wstring_status_arg(letter));
    return false;
  }
  if (!is_valid_utf8(argument, std::strlen(argument))) {
    status = TLA_E_NAME_NOT_UTF8;
    return false;
  }
  krn::krn_utf8_to_utf16(argument, name);
  have = true;
  return true;
}

// The memory the build may take: KESTREL_MEMORY (such as 64M or 2G), or the
// default.
void memory_budget(std::uint64_t& bytes, krn::Krn_status& status) {
  status.clear();
  const char* setting = std::getenv("KESTREL_MEMORY");
  if (setting == nullptr || *setting == '\0') return;
  if (tla_parse_memory(setting, bytes)) return;
  krn::Wstring text;
  krn::krn_utf8_to_utf16(setting, text);
  status.assign(TLA_E_MEMORY_SETTING, krn::Krn_wstring_status_arg(text));
}

// The output file: written without a name in the output's folder and given
// the name only once it is whole, so that a run that fails, or is stopped,
// leaves nothing at that name and never touches what was there.
class Output {
 public:
  // Refuses a name that holds anything already, a link or a folder
  // included, then makes the nameless file.
  bool create(const krn::Wstring& name, krn::Krn_status& status) {
    m_name = name;
    status.clear();
    if (name.empty()) {
      status.assign(krn::KRN_E_EMPTY_FILE_NAME, krn::Krn_wstring_status_arg(name));
      return false;
    }
    const krn::Krn_file::Name_kind kind = krn::Krn_file::name_kind(name);
    if (kind == krn::Krn_file::Name_kind::folder || name.back() == u'/') {
      status.assign(TLA_E_OUTPUT_IS_FOLDER, krn::Krn_wstring_status_arg(name));
    } else if (kind != krn::Krn_file::Name_kind::free && kind != krn::Krn_file::Name_kind::unknown) {
      status.assign(TLA_E_OUTPUT_EXISTS, krn::Krn_wstring_status_arg(name));
    } else {
      m_file.create_unnamed(folder_of(name), false, status);
      if (status.ok()) m_buffer.attach(m_file, status);
    }
    return status.ok();
  }

  // Gives the whole file its name; a name taken meanwhile (another run)
  // is not replaced.
  void publish(krn::Krn_status& status) {
    m_file.link(m_name, status);
    if (status.ok()) return;
    if (krn::Krn_file::name_kind(m_name) != krn::Krn_file::Name_kind::free)
      status.push(TLA_E_OUTPUT_EXISTS, krn::Krn_wstring_status_arg(m_name));
  }

  krn::Krn_buffer& buffer() { return m_buffer; }

 private:
  krn::Wstring m_name;
  krn::Krn_file m_file;
  krn::Krn_file_buffer m_buffer;
};

// One line on a terminal, rewritten in place, for a build that takes more
// than a moment: records read, how much of the input, the speed and the time
// left. Nothing at all when standard error is not a terminal, so that what
// scripts and logs see never changes; the line is gone before any message.
class Console_progress : public Tla_read_progress {
 public:
  explicit Console_progress(krn::int64 input_size)
      : m_input_size(static_cast<double>(input_size)),
        m_shown(krn::krn_error_stream_is_terminal()),
        m_start(std::chrono::steady_clock::now()) {}
  ~Console_progress() override {
    if (m_drawn) {
      std::fputs("\r\033[K", stderr);
      std::fflush(stderr);
    }
  }
  Console_progress(const Console_progress&) = delete;
  Console_progress& operator=(const Console_progress&) = delete;

  bool shown() const { return m_shown; }

  void update(std::uint64_t records, std::uint64_t bytes_read) override {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    if (seconds < 1.0 || now - m_last < std::chrono::milliseconds(200)) return;
    m_last = now;
    const double done = m_input_size > 0 ? static_cast<double>(bytes_read) / m_input_size : 1.0;
    const double rate = static_cast<double>(bytes_read) / seconds / 1e6;
    const double left = done > 0 ? seconds * (1.0 - done) / done : 0.0;
    std::fprintf(stderr, "\r\033[K%llu records, %.0f%% of the input, %.0f MB/s, %.0f s left",
                 static_cast<unsigned long long>(records), done * 100.0, rate, left);
    std::fflush(stderr);
    m_drawn = true;
  }

 private:
  double m_input_size;
  bool m_shown;
  bool m_drawn = false;
  std::chrono::steady_clock::time_point m_start;
  std::chrono::steady_clock::time_point m_last{};
};

class Run {
 public:
  int main(int argc, const char* const* argv);

 private:
  // False when the options end the run; exit_code says how.
  bool scan_options(int argc, const char* const* argv);
  int build();
  int upgrade();
  bool open_input();
  bool choose_encoding(Tla_input_encoding& encoding);
  bool create_output();
  int finish(const char* heading);

  Options m_options;
  krn::Krn_file m_input;
  Output m_output;
  krn::Krn_status m_status;
};

int Run::main(int argc, const char* const* argv) {
  if (argc < 2) {
    print_usage();
    return -1;
  }
  if (!scan_options(argc, argv)) return -1;

  const Options& options = m_options;
  if (options.upgrade && options.have_input && options.have_output && options.key_names.empty() &&
      options.schema.empty() && !options.have_encoding)
    return upgrade();
  if (options.key_names.empty() || options.schema.empty() || !options.have_input || !options.have_output)
    return report_with_usage("Invalid number of arguments.");
  return build();
}

bool Run::scan_options(int argc, const char* const* argv) {
  Tla_option_scanner scanner(argc, argv, TLA_OPTIONS);
  krn::Krn_status reason;
  for (int option = scanner.next(); option != Tla_option_scanner::END; option = scanner.next()) {
    const char* argument = scanner.argument();
    switch (option) {
      case 'k': {
        krn::Wstring name;
        krn::krn_utf8_to_utf16(argument, name);
        m_options.key_names.push_back(name);
        break;
      }
      case 's':
        if (!m_options.schema.empty()) {
          report_with_usage("Multiple schemas detected.");
          return false;
        }
        if (!parse_schema(argument, m_options.schema, m_options.formatter_types, reason)) {
          report_with_usage("Invalid schema format, see usage.", &reason);
          return false;
        }
        break;
      case 'i':
        if (!take_file_name(argument, m_options.input_name, m_options.have_input, 'i', reason)) {
          report_with_usage("Input Filename Invalid.", &reason);
          return false;
        }
        break;
      case 'o':
        if (!take_file_name(argument, m_options.output_name, m_options.have_output, 'o', reason)) {
          report_with_usage("Output Filename Invalid.", &reason);
          return false;
        }
        break;
      case 'h':
        std::fputc('\n', stdout);
        print_usage();
        return false;
      case 'u':
        m_options.upgrade = true;
        break;
      case 'e':
        if (m_options.have_encoding) {
          reason.assign(TLA_E_OPTION_REPEATED, krn::Krn_wstring_status_arg(krn::Wstring(u"-e")));
          report_with_usage("Commmand line invalid.", &reason);
          return false;
        }
        m_options.encoding_name = argument;
        m_options.have_encoding = true;
        break;
      default:
        report_with_usage("Commmand line invalid.");
        return false;
    }
  }
  return true;
}

bool Run::open_input() {
  // Shared with readers only: no one writes the input while it is read.
  m_input.open(m_options.input_name, krn::KRN_FILE_OPEN_EXISTING, krn::KRN_FILE_ACCESS_READ,
               krn::KRN_FILE_FLAG_SEQUENTIAL_SCAN, krn::KRN_FILE_SHARE_READ, m_status);
  if (m_status.ok()) return true;
  report_with_usage("Input Filename Invalid.", &m_status);
  return false;
}

// Where -e names no encoding, the input's start says: a byte order mark of
// UTF-16 or UTF-32 (skipped here), else UTF-8; for -e auto the detector
// reads the first mebibyte, and what it finds is printed. The input is left
// where its text starts.
bool Run::choose_encoding(Tla_input_encoding& encoding) {
  const bool detect = m_options.have_encoding && m_options.encoding_name == "auto";
  if (m_options.have_encoding && !detect) return true;
  std::string start(detect ? std::size_t{1} << 20 : 4, '\0');
  const std::size_t got = m_input.read(start.data(), start.size(), m_status);
  if (m_status == krn::KRN_E_END_OF_DATA) m_status.clear();
  if (!m_status.ok()) return false;
  start.resize(got);
  std::size_t text_start = 0;
  if (!detect) {
    // A UTF-8 mark stays: the reader drops it, as it always has.
    Tla_input_encoding marked;
    if (tla_byte_order_mark(start.data(), start.size(), marked, text_start) && marked.encoding != enr::ENR_UTF_8) {
      encoding = marked;
    } else {
      text_start = 0;
    }
  } else {
    if (!tla_detect_encoding(start.data(), start.size(), encoding, text_start, m_status)) {
      if (m_status.ok()) m_status.assign(TLA_E_ENCODING_NOT_FOUND, krn::Krn_wstring_status_arg(m_options.input_name));
      return false;
    }
    std::printf("Input encoding: %s\n", tla_encoding_label(encoding).c_str());
    std::fflush(stdout);
  }
  m_input.seek(static_cast<std::int64_t>(text_start), m_status);
  return m_status.ok();
}

bool Run::create_output() {
  if (m_output.create(m_options.output_name, m_status)) return true;
  report_with_usage("Output Filename Invalid.", &m_status);
  return false;
}

int Run::build() {
  // Everything the command line alone can tell is checked before a file is
  // opened: a key typed wrong costs nothing, whatever the input's size.
  std::vector<std::uint64_t> key_positions;
  check_field_names(m_options.schema, m_status);
  if (m_status.ok()) resolve_keys(m_options.schema, m_options.key_names, key_positions, m_status);
  std::uint64_t memory = TLA_DEFAULT_MEMORY;
  if (m_status.ok()) memory_budget(memory, m_status);
  Tla_input_encoding encoding;
  if (m_status.ok()) resolve_encoding(m_options, encoding, m_status);
  if (!m_status.ok()) return finish("Failed to generate file.");
  if (!open_input()) return -1;
  if (!choose_encoding(encoding)) return finish("Failed to generate file.");
  if (!create_output()) return -1;

  Tla_read_outcome outcome = Tla_read_outcome::FAILED;
  try {
    Tla_data_set_writer writer(m_output.buffer(), m_options.key_names, m_options.schema, key_positions, memory,
                               folder_of(m_options.output_name));
    writer.begin(m_status);
    if (m_status.ok()) {
      Console_progress progress(m_input.length());
      outcome = read_records(m_input, m_options.input_name, encoding, m_options.schema, key_positions, writer,
                             progress.shown() ? &progress : nullptr, m_status);
    }
    if (outcome == Tla_read_outcome::DONE && writer.record_count() == 0) {
      m_status.assign(TLA_E_NO_RECORDS, krn::Krn_wstring_status_arg(m_options.input_name));
    }
    if (outcome == Tla_read_outcome::DONE && m_status.ok()) writer.finish(m_status);
  } catch (const std::exception& error) {
    tla_report_exception(error, m_status);
    outcome = Tla_read_outcome::FAILED;
  }
  if (outcome == Tla_read_outcome::BAD_LINE_END) return report_with_usage("Invalid line ending in input file.", &m_status);
  if (outcome == Tla_read_outcome::FIELD_COUNT) return report_with_usage("Field count does not match the schema.", &m_status);
  return finish("Failed to generate file.");
}

int Run::upgrade() {
  if (!open_input() || !create_output()) return -1;
  // The upgrade reads the file through the data set reader, by its name.
  m_input.close();
  try {
    std::string input_name;
    krn::krn_utf16_to_utf8(m_options.input_name, input_name);
    upgrade_data_set(input_name, m_output.buffer(), m_status);
  } catch (const std::exception& error) {
    tla_report_exception(error, m_status);
  }
  return finish(nullptr);
}

// Names the output once it is whole, or reports why there is none. heading
// comes before the messages of a failure; an upgrade has none.
int Run::finish(const char* heading) {
  if (m_status.ok()) {
    krn::Krn_status published;
    m_output.publish(published);
    if (published.ok()) {
      if (m_status.is_warning() && heading != nullptr) {
        write_message("Warnings:");
        print_status_messages(m_status);
      }
      return 0;
    }
    m_status = published;
  }
  if (heading != nullptr) write_message(heading);
  print_status_messages(m_status);
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
