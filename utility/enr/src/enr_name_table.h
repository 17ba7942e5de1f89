#ifndef ENR_NAME_TABLE_H
#define ENR_NAME_TABLE_H

// The process-wide table from normalised names to encodings, and the display
// names of the encodings ICU adds to the built-in ones.

#include <map>
#include <shared_mutex>
#include <string>
#include <vector>

#include "enr/enr_encoding.h"

namespace enr::detail {

class Name_table {
 public:
  enum Add_result { ADDED, ALREADY_THERE, TAKEN };

  static Name_table& instance();

  // Drops everything and registers the built-in encodings, then every
  // converter ICU offers with its aliases and standard names.
  void rebuild();

  // ENR_UNKNOWN_ENCODING when the name is not registered.
  Enr_encoding lookup(const krn::Wstring& name) const;
  // False for a value that names no encoding.
  bool display_name(Enr_encoding encoding, krn::Wstring& name) const;
  void display_names(std::vector<krn::Wstring>& names) const;
  void aliases(Enr_encoding encoding, std::vector<krn::Wstring>& names) const;
  // TAKEN when the name is registered for another encoding.
  Add_result add(const krn::Wstring& name, Enr_encoding encoding);

 private:
  struct Entry {
    Enr_encoding encoding;
    krn::Wstring spelling;
  };

  bool known(Enr_encoding encoding) const;
  // Unlocked: the callers hold the lock.
  Add_result add_locked(const krn::Wstring& name, Enr_encoding encoding);

  mutable std::shared_mutex m_lock;
  std::map<krn::Wstring, Entry> m_names;
  // The display names of the values -1, -2, ...
  std::vector<krn::Wstring> m_added;
};

// The ICU converter name for an encoding; empty for a value that names none.
std::string converter_name(Enr_encoding encoding);

}  // namespace enr::detail

#endif
