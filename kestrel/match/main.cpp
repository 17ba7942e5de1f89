// kestrel-match: finds the records of a data set in documents, the way grep
// finds lines.
//
//   kestrel-match -d DATASET [-m FIELDS] [-w TOKENS] [-e NAME] [--json] FILE...
//
// Each document is read in its encoding (a byte order mark, else -e, else
// the detector's answer), matched by the library's matcher, and its matches
// printed in the order of the files given, one line each. The files are
// matched on all cores at once. Exit code 0 when something matched, 1 when
// nothing did, 2 on any error.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "enr/enr_convert.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"
#include "tla/tla_command_line.h"
#include "tla/tla_matcher.h"
#include "tla/tla_records.h"
#include "tla/tla_text_encoding.h"

namespace {

constexpr int EXIT_MATCHED = 0;
constexpr int EXIT_NONE = 1;
constexpr int EXIT_ERROR = 2;

constexpr const char* USAGE = "Usage: kestrel-match -d DATASET [-m FIELDS] [-w TOKENS] [-e NAME] [--json] FILE...";

// The detector reads this much of a document; so does every read.
constexpr std::size_t READ_BYTES = std::size_t{1} << 20;

struct Request {
  std::string data_set;
  tla::Tla_match_options options;
  std::string encoding_name;  // empty: the mark or the detector decides
  tla::Tla_input_encoding encoding;
  bool json = false;
  std::vector<std::string> files;
};

bool whole_number(const char* text, unsigned long limit, unsigned long& value) {
  if (*text < '0' || *text > '9') return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoul(text, &end, 10);
  return errno == 0 && *end == '\0' && value <= limit;
}

// A message about the command line on standard error; false, for returns.
bool refuse(const std::string& message) {
  std::fprintf(stderr, "kestrel-match: %s\n%s\n", message.c_str(), USAGE);
  return false;
}

bool parse_arguments(int argc, char** argv, Request& request) {
  bool options_end = false;
  bool have_fields = false;
  bool have_window = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (options_end || argument == "-" || argument.empty() || argument[0] != '-') {
      request.files.push_back(argument);
      continue;
    }
    if (argument == "--") {
      options_end = true;
    } else if (argument == "--json") {
      request.json = true;
    } else if (argument == "-d" || argument == "-m" || argument == "-w" || argument == "-e") {
      if (i + 1 == argc) return refuse("the option " + argument + " needs a value.");
      const char* value = argv[++i];
      unsigned long number = 0;
      if (argument == "-d") {
        if (!request.data_set.empty()) return refuse("the option -d is given twice.");
        request.data_set = value;
        if (request.data_set.empty()) return refuse("the data set name is empty.");
      } else if (argument == "-m") {
        if (have_fields || !whole_number(value, 65535, number) || number == 0) {
          return refuse("-m takes the number of fields a match needs, once: 1 or more.");
        }
        have_fields = true;
        request.options.fields = static_cast<unsigned>(number);
      } else if (argument == "-w") {
        if (have_window || !whole_number(value, tla::TLA_MAX_MATCH_WINDOW, number)) {
          return refuse("-w takes the number of tokens a field may lie from the key, once: 0 to " +
                        std::to_string(tla::TLA_MAX_MATCH_WINDOW) + ".");
        }
        have_window = true;
        request.options.window = static_cast<unsigned>(number);
      } else {
        if (!request.encoding_name.empty()) return refuse("the option -e is given twice.");
        request.encoding_name = value;
        if (request.encoding_name != "auto" && !tla::tla_named_encoding(value, request.encoding)) {
          return refuse("the encoding \"" + request.encoding_name +
                        "\" is not known; name one such as windows-1252, iso-8859-15, shift_jis or utf-16le.");
        }
        if (request.encoding_name == "auto") request.encoding_name.clear();
      }
    } else {
      return refuse("the option " + argument + " is not known.");
    }
  }
  if (request.data_set.empty()) return refuse("name the data set with -d.");
  if (request.files.empty()) return refuse("name the documents to search, or - for standard input.");
  if (std::count(request.files.begin(), request.files.end(), "-") > 1) {
    return refuse("standard input (-) can be read only once.");
  }
  return true;
}

// ---- JSON -------------------------------------------------------------------

// A JSON string; bytes that are not UTF-8 (a file name may hold them) are
// written as U+FFFD.
std::string json_string(const std::string& text) {
  std::string out = "\"";
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else if (byte < 0x80) {
      out += static_cast<char>(byte);
    } else {
      std::size_t length = 1;
      while (length < 4 && i + length < text.size() &&
             (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80) {
        ++length;
      }
      if (tla::is_valid_utf8(text.data() + i, length)) {
        out.append(text, i, length);
      } else {
        out += "\\ufffd";
        length = 1;
      }
      i += length;
      continue;
    }
    ++i;
  }
  return out + "\"";
}

// ---- One document -------------------------------------------------------------

struct Outcome {
  std::string output;    // the match lines
  std::string messages;  // notes and errors, for standard error
  bool matched = false;
  bool failed = false;
};

class Document {
 public:
  // The session and the buffer are the worker's, for all its documents:
  // made afresh for each, their memory would scatter over the heap.
  Document(const Request& request, const tla::Tla_matcher& matcher, tla::Tla_match_session& session,
           std::string& bytes, const std::string& name)
      : m_request(request), m_matcher(matcher), m_session(session), m_bytes(bytes), m_name(name) {}

  Outcome run() {
    try {
      search();
    } catch (const std::exception& error) {
      fail(error.what());
    }
    // A document that failed part way leaves its text in the session.
    m_session.reset();
    return std::move(m_outcome);
  }

 private:
  void fail(const std::string& message) {
    m_outcome.messages += "kestrel-match: " + label() + ": " + message + "\n";
    m_outcome.failed = true;
  }

  std::string label() const { return m_name == "-" ? std::string("standard input") : m_name; }

  void search() {
    std::FILE* file = m_name == "-" ? stdin : std::fopen(m_name.c_str(), "rb");
    if (file == nullptr) return fail(std::strerror(errno));
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, file == stdin ? [](std::FILE*) { return 0; }
                                                                                     : &std::fclose);
    std::string& bytes = m_bytes;
    bytes.resize(READ_BYTES);
    std::size_t got = read(file, bytes);
    if (m_outcome.failed) return;
    bytes.resize(got);
    std::size_t skip = 0;
    if (!choose_encoding(bytes, skip)) return;

    // UTF-8 goes to the session as it is: it reads bad sequences as U+FFFD
    // itself.
    krn::Krn_status status;
    std::unique_ptr<enr::Enr_utf8_decoder> decoder;
    if (m_encoding.encoding != enr::ENR_UTF_8) {
      decoder = std::make_unique<enr::Enr_utf8_decoder>(m_encoding.encoding, true, status);
      if (!status.ok()) return report(status);
    }
    tla::Tla_match_session& session = m_session;
    std::string text;
    std::vector<tla::Tla_match> matches;
    bool last = got < READ_BYTES;
    for (;;) {
      if (decoder) {
        text.clear();
        decoder->decode(bytes.data() + skip, bytes.size() - skip, last, text);
        session.feed(text.data(), text.size(), matches, status);
      } else {
        session.feed(bytes.data() + skip, bytes.size() - skip, matches, status);
      }
      skip = 0;
      if (!status.ok()) return report(status);
      print(matches);
      if (last) break;
      bytes.resize(READ_BYTES);
      got = read(file, bytes);
      if (m_outcome.failed) return;
      bytes.resize(got);
      last = got < READ_BYTES;
    }
    session.finish(matches, status);
    if (!status.ok()) return report(status);
    print(matches);
  }

  // Fills bytes from the file until it is full or the file ends.
  std::size_t read(std::FILE* file, std::string& bytes) {
    std::size_t got = 0;
    while (got < bytes.size()) {
      const std::size_t now = std::fread(bytes.data() + got, 1, bytes.size() - got, file);
      got += now;
      if (now == 0) break;
    }
    if (std::ferror(file)) fail(std::strerror(errno != 0 ? errno : EIO));
    return got;
  }

  bool choose_encoding(const std::string& start, std::size_t& skip) {
    if (tla::tla_byte_order_mark(start.data(), start.size(), m_encoding, skip)) return true;
    if (!m_request.encoding_name.empty()) {
      m_encoding = m_request.encoding;
      return true;
    }
    krn::Krn_status status;
    if (tla::tla_detect_encoding(start.data(), start.size(), m_encoding, skip, status)) return true;
    if (!status.ok()) {
      report(status);
      return false;
    }
    // Most text that nothing recognises is UTF-8 with a few bad bytes, or
    // binary; either way the readable parts are worth searching.
    tla::tla_named_encoding("UTF-8", m_encoding);
    m_outcome.messages += "kestrel-match: " + label() +
                          ": the encoding could not be recognised; read as UTF-8 (name it with -e).\n";
    return true;
  }

  void report(const krn::Krn_status& status) {
    m_outcome.messages += "kestrel-match: " + label() + ": " + tla::status_messages_text(status) + "\n";
    m_outcome.failed = true;
  }

  void print(std::vector<tla::Tla_match>& matches) {
    for (const tla::Tla_match& match : matches) {
      m_outcome.matched = true;
      std::string names;
      for (std::size_t field : match.fields) {
        std::string name;
        krn::krn_utf16_to_utf8(m_matcher.schema()[field].name, name);
        if (m_request.json) {
          names += (names.empty() ? "" : ",") + json_string(name);
        } else {
          names += (names.empty() ? "" : ",") + name;
        }
      }
      if (!m_request.json) {
        m_outcome.output += m_name + ":" + std::to_string(match.line) + ":" + std::to_string(match.column) +
                            ": record at " + std::to_string(match.record_offset) + ": " + names + "\n";
        continue;
      }
      std::string key;
      krn::krn_utf16_to_utf8(m_matcher.key_names()[match.key], key);
      m_outcome.output += "{\"file\":" + json_string(m_name) + ",\"line\":" + std::to_string(match.line) +
                          ",\"column\":" + std::to_string(match.column) +
                          ",\"record\":" + std::to_string(match.record_offset) + ",\"key\":" + json_string(key) +
                          ",\"fields\":[" + names + "],\"encoding\":" +
                          json_string(tla::tla_encoding_label(m_encoding)) + "}\n";
    }
    matches.clear();
  }

  const Request& m_request;
  const tla::Tla_matcher& m_matcher;
  tla::Tla_match_session& m_session;
  std::string& m_bytes;
  const std::string m_name;
  tla::Tla_input_encoding m_encoding;
  Outcome m_outcome;
};

// ---- All documents ------------------------------------------------------------

// Matches the files on all cores and prints each file's outcome in the
// order given, as soon as it and those before it are done.
int search_all(const Request& request, const tla::Tla_matcher& matcher) {
  const std::size_t count = request.files.size();
  std::vector<Outcome> outcomes(count);
  std::vector<bool> done(count, false);
  std::mutex lock;
  std::condition_variable finished;
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    tla::Tla_match_session session(matcher);
    std::string bytes;
    for (std::size_t i = next++; i < count; i = next++) {
      Outcome outcome = Document(request, matcher, session, bytes, request.files[i]).run();
      const std::lock_guard<std::mutex> guard(lock);
      outcomes[i] = std::move(outcome);
      done[i] = true;
      finished.notify_all();
    }
  };
  const std::size_t threads = std::min<std::size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::thread> workers;
  for (std::size_t t = 0; t < threads; ++t) workers.emplace_back(work);
  bool matched = false;
  bool failed = false;
  for (std::size_t i = 0; i < count; ++i) {
    Outcome outcome;
    {
      std::unique_lock<std::mutex> guard(lock);
      finished.wait(guard, [&] { return done[i]; });
      outcome = std::move(outcomes[i]);
    }
    std::fwrite(outcome.output.data(), 1, outcome.output.size(), stdout);
    std::fflush(stdout);
    std::fwrite(outcome.messages.data(), 1, outcome.messages.size(), stderr);
    matched = matched || outcome.matched;
    failed = failed || outcome.failed;
  }
  for (std::thread& worker : workers) worker.join();
  return failed ? EXIT_ERROR : (matched ? EXIT_MATCHED : EXIT_NONE);
}

int run(const Request& request) {
  tla::Tla_matcher matcher;
  krn::Wstring name;
  krn::krn_utf8_to_utf16(request.data_set, name);
  krn::Krn_status status;
  matcher.open(name, request.options, status);
  if (!status.ok()) {
    std::fprintf(stderr, "kestrel-match: %s\n", tla::status_messages_text(status).c_str());
    return EXIT_ERROR;
  }
  if (matcher.key_names().empty()) {
    std::fprintf(stderr, "kestrel-match: the data set \"%s\" has no key index: nothing can be found with it.\n",
                 request.data_set.c_str());
    return EXIT_ERROR;
  }
  return search_all(request, matcher);
}

}  // namespace

int main(int argc, char** argv) {
  Request request;
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    std::printf("%s\n", USAGE);
    return EXIT_MATCHED;
  }
  if (!parse_arguments(argc, argv, request)) return EXIT_ERROR;
  // File names are bytes here; converted, one that is not UTF-8 would name
  // another file.
  if (!tla::is_valid_utf8(request.data_set.data(), request.data_set.size())) {
    std::fprintf(stderr, "kestrel-match: the data set's file name is not UTF-8.\n");
    return EXIT_ERROR;
  }
  try {
    return run(request);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kestrel-match: %s\n", error.what());
    return EXIT_ERROR;
  }
}
