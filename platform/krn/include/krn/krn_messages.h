#ifndef KRN_MESSAGES_H
#define KRN_MESSAGES_H

// Status texts: each component's messages live in a loadable message module
// (for example platres2208.so); an ordered list of modules turns a status
// into text, with its arguments in the "%1".."%8" placeholders.

#include <string>
#include <vector>

#include "krn/krn_status.h"

namespace krn {

// One loaded message module; unloaded when destroyed.
class KRN_API Krn_messages {
 public:
  Krn_messages(const Wstring& name, Krn_status& status);
  ~Krn_messages();
  Krn_messages(const Krn_messages&) = delete;
  Krn_messages& operator=(const Krn_messages&) = delete;

  const Wstring& name() const { return m_name; }
  // The text of the status's given value from this module, arguments filled
  // in; false when the module has no text for it.
  bool format_message(const Krn_status& status, Wstring& text) const;

 private:
  struct Entry;
  Wstring m_name;
  void* m_handle = nullptr;
  const Entry* m_table = nullptr;
  std::size_t m_count = 0;
};

class KRN_API Krn_messages_list {
 public:
  using const_iterator = std::vector<Krn_messages*>::const_iterator;

  Krn_messages_list() = default;
  ~Krn_messages_list();
  Krn_messages_list(const Krn_messages_list&) = delete;
  Krn_messages_list& operator=(const Krn_messages_list&) = delete;

  void add(const Wstring& name, Krn_status& status);
  // Adds the names in order, stopping at the first that fails.
  void add(const std::vector<Wstring>& names, Krn_status& status);
  void remove(const Wstring& name);

  const_iterator begin() const { return m_messages.begin(); }
  const_iterator end() const { return m_messages.end(); }

  void format_message(const Krn_status& status, Wstring& text) const;
  // The head and then each child on a line of its own; depth 0 is no limit.
  void format_message_tree(const Krn_status& status, Wstring& text, unsigned depth) const;

  // The list that Krn_status_lookup uses.
  static Krn_messages_list m_global_messages;

 private:
  // The operating system's own text for the value, if it has one.
  static bool format_system(const Krn_status& status, Wstring& text);

  std::vector<Krn_messages*> m_messages;
};

class KRN_API Krn_status_lookup {
 public:
  // Loads the message modules of the named components into the global list,
  // once per process; false when one of them could not be loaded.
  static bool initialise_message_list(const std::vector<std::string>& components);
  // The default components: plat, util, larin, vemo, quarn, dubrak.
  static bool initialise_message_list();
  static void to_string(const Krn_status& status, Wstring& text);
};

}  // namespace krn

#endif
