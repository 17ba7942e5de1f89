#ifndef TLA_MATCHER_H
#define TLA_MATCHER_H

// Finding the records of a data set in free text: mails, exports, logs.
//
// The text is cut into tokens. For each key index, runs of tokens are
// formatted and hashed the way the writer formats and hashes a stored key
// value, and looked up in the index; a record found so is reported when its
// key tokens are those of the run and enough of its other fields occur close
// by, each as its whole token sequence under its own formatter.
//
// A card-number field (its formatter drops spaces and hyphens) is looked for
// also where the text writes it in groups: a run may join to its first token
// the groups of digits that follow it, separated by spaces or hyphens only.
// Words joined by spaces are not put together that way.
//
// The matcher reads the data set once; after that it holds the key indexes
// in memory and changes no more, so any number of sessions may match texts
// on several threads at once.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tla/tla_export.h"
#include "krn/krn_types.h"
#include "tla/tla_data_set_format.h"

namespace krn {
class Krn_status;
}

namespace tla {

struct Tla_match_options {
  // How many fields must occur, the key included; 0 for every field that
  // holds tokens in the record. A number above a record's fields with
  // tokens asks for all of them.
  unsigned fields = 0;
  // How far, in tokens of the text, a field may lie from the key: its whole
  // occurrence between `window` tokens before the key's first token and
  // `window` tokens after its last.
  unsigned window = 50;
};

// The largest window a matcher takes: the text a session keeps grows with it.
inline constexpr unsigned TLA_MAX_MATCH_WINDOW = 100000;

struct Tla_match {
  std::uint64_t record_offset = 0;
  // The key index (in file order) whose occurrence placed the match: the
  // first in the text, when several keys of the record occur there.
  std::size_t key = 0;
  // Where that occurrence's first token starts: line and column from 1, the
  // column in characters, and the byte in the UTF-8 text from 0.
  std::uint64_t line = 0;
  std::uint64_t column = 0;
  std::uint64_t byte_offset = 0;
  // The schema positions of the fields found, in schema order.
  std::vector<std::size_t> fields;
};

class Tla_match_index;

class TLA_API Tla_matcher {
 public:
  Tla_matcher();
  ~Tla_matcher();
  Tla_matcher(const Tla_matcher&) = delete;
  Tla_matcher& operator=(const Tla_matcher&) = delete;

  // Reads the data set: its header and checksum, every record (for the
  // token counts of each field) and every key index. A damaged file is
  // TLA_E_FILE_DAMAGED naming it, over what is wrong; a version-1 file is
  // TLA_E_VERSION (upgrade it first). A window above TLA_MAX_MATCH_WINDOW
  // is taken as that. Opening again forgets the file opened before.
  void open(const krn::Wstring& file_name, const Tla_match_options& options, krn::Krn_status& status);
  bool is_open() const;

  const Tla_schema& schema() const;
  // The key index names, in file order.
  const std::vector<krn::Wstring>& key_names() const;
  const Tla_match_options& options() const;

  // Matches one whole text (UTF-8; bad sequences read as U+FFFD), appending
  // the matches in the order of their places. May be called from several
  // threads at once. The status reports a record the file fails to give.
  void match(const std::string& text, std::vector<Tla_match>& matches, krn::Krn_status& status) const;

 private:
  friend class Tla_match_session;
  std::unique_ptr<Tla_match_index> m_index;
};

// One text read in pieces of any size, so that a text of any length is
// matched in bounded memory. One thread at a time; the matcher must outlive
// it.
class TLA_API Tla_match_session {
 public:
  explicit Tla_match_session(const Tla_matcher& matcher);
  ~Tla_match_session();
  Tla_match_session(const Tla_match_session&) = delete;
  Tla_match_session& operator=(const Tla_match_session&) = delete;

  // Appends the next piece of the text (UTF-8; a character may be split
  // between pieces). Matches whose places lie well before the end of what
  // was given are appended to matches.
  void feed(const char* utf8, std::size_t size, std::vector<Tla_match>& matches, krn::Krn_status& status);
  // Ends the text and appends the remaining matches. The session may then
  // take a new text.
  void finish(std::vector<Tla_match>& matches, krn::Krn_status& status);
  // Drops the text given since the last finish, unmatched: after a failure
  // to read it, so that the session may take a new text.
  void reset();

 private:
  class State;
  std::unique_ptr<State> m_state;
};

}  // namespace tla

#endif
