#ifndef TLA_COMMAND_LINE_H
#define TLA_COMMAND_LINE_H

#include <string>

#include "tla/tla_export.h"

// The kestrel run: the options, the choice between a build and an upgrade,
// what the console shows and the exit code.

namespace krn {
class Krn_status;
}

namespace tla {

inline constexpr char TLA_PROGRAM_NAME[] = "kestrel";
inline constexpr char TLA_PROGRAM_VERSION[] = "22.08.00";
inline constexpr char TLA_OPTIONS[] = "k:s:i:o:hue:";

// Scans options the way the tool always has: "-" or "/" starts an option
// argument, options without an argument may be grouped ("-uh"), an option
// argument may be joined to its letter ("-kName") or follow it, the first
// argument that is not an option ends the scan, and so does "--" (or any
// argument whose second character is "-" or "/"), which is consumed.
class TLA_API Tla_option_scanner {
 public:
  static constexpr int END = -1;
  // An unknown letter, a missing option argument, or an argument that
  // starts with "?".
  static constexpr int INVALID = 0;

  // options: the letters, each followed by ":" when it takes an argument.
  Tla_option_scanner(int argc, const char* const* argv, const char* options);

  // The next option letter, END or INVALID.
  int next();
  // The argument of the option just returned; null for none.
  const char* argument() const { return m_argument; }
  // The index of the next argument to look at.
  int index() const { return m_index; }

 private:
  int m_argc;
  const char* const* m_argv;
  const char* m_options;
  int m_index = 1;
  const char* m_place = nullptr;
  const char* m_argument = nullptr;
};

// The usage text, on standard output.
TLA_API void print_usage();

// The status and its chain, one line each, on standard error, then a
// newline on standard output. Nothing when the message modules cannot be
// loaded.
TLA_API void print_status_messages(const krn::Krn_status& status);
// The same lines as one text, without the last line's end.
TLA_API std::string status_messages_text(const krn::Krn_status& status);

// The whole run; returns the exit code: 0 when a build or an upgrade
// succeeded (warnings included), -1 otherwise.
TLA_API int kestrel_main(int argc, const char* const* argv);

}  // namespace tla

#endif
