#include "krn/krn_messages.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <new>

#include "krn/krn_status_codes.h"
#include "krn/krn_string.h"
#include "krn/krn_system.h"
#include "port/port_module.h"

namespace krn {

// The layout of the table that a message module exports through
// krn_message_table: sorted by id.
struct Krn_messages::Entry {
  std::uint32_t id;
  const char16_t* text;
};

namespace {

using Table_function = const void* (*)(std::size_t*);

const char* const TABLE_SYMBOL = "krn_message_table";
// The separator between the lines of a status chain.
const char16_t* const LINE_BREAK = u"\n";

struct Inserts {
  Wstring text[Krn_status::MAX_ARGS];
};

Inserts make_inserts(const Krn_status& status) {
  Inserts inserts;
  unsigned i = 0;
  for (const Krn_status_arg* arg : status) arg->to_string(inserts.text[i++]);
  return inserts;
}

// Fills "%1".."%8" with the inserts; "%%" is a percent sign. Anything else
// after a percent sign is kept as it stands.
void expand(const char16_t* pattern, const Inserts& inserts, Wstring& text) {
  text.clear();
  for (const char16_t* p = pattern; *p; ++p) {
    if (*p == u'%' && p[1] >= u'1' && p[1] <= u'8') {
      text += inserts.text[p[1] - u'1'];
      ++p;
    } else if (*p == u'%' && p[1] == u'%') {
      text += u'%';
      ++p;
    } else {
      text += *p;
    }
  }
}

// The message modules are installed beside this library.
const std::string& module_folder() {
  static const std::string folder = krn_module_folder(&TABLE_SYMBOL);
  return folder;
}

const char* severity_word(const Krn_status& status) {
  if (status.is_error()) return "Error ";
  if (status.is_warning()) return "Warning ";
  if (status.is_information()) return "Information ";
  return "Success ";
}

}  // namespace

Krn_messages::Krn_messages(const Wstring& name, Krn_status& status) : m_name(name) {
  status.clear();
  std::string file;
  krn_utf16_to_utf8(name.c_str(), file);
  int error = 0;
  m_handle = port::load_module(file, module_folder(), error);
  auto table = reinterpret_cast<Table_function>(port::find_symbol(m_handle, TABLE_SYMBOL));
  if (m_handle && !table) {
    // A module that is not a message module is as good as a missing one.
    port::unload_module(m_handle);
    m_handle = nullptr;
  }
  if (!m_handle) {
    status = static_cast<unsigned>(error);
    status.push(KRN_E_MESSAGE_FILE_LOAD, Krn_wstring_status_arg(name));
    return;
  }
  m_table = static_cast<const Entry*>(table(&m_count));
}

Krn_messages::~Krn_messages() { port::unload_module(m_handle); }

bool Krn_messages::format_message(const Krn_status& status, Wstring& text) const {
  text.clear();
  const std::uint32_t id = status.value();
  const Entry* end = m_table + m_count;
  const Entry* entry = std::lower_bound(m_table, end, id, [](const Entry& e, std::uint32_t v) { return e.id < v; });
  if (entry == end || entry->id != id) return false;
  expand(entry->text, make_inserts(status), text);
  return true;
}

Krn_messages_list Krn_messages_list::m_global_messages;

Krn_messages_list::~Krn_messages_list() {
  for (Krn_messages* messages : m_messages) delete messages;
}

void Krn_messages_list::add(const Wstring& name, Krn_status& status) {
  status.clear();
  for (const Krn_messages* messages : m_messages) {
    if (krn_utf16_compare_nc(messages->name().c_str(), name.c_str()) == 0) {
      status.assign(KRN_W_MESSAGE_FILE_LOADED, Krn_wstring_status_arg(name));
      return;
    }
  }
  auto* messages = new (std::nothrow) Krn_messages(name, status);
  if (!messages) {
    status = KRN_E_NO_MEMORY;
    status.push(KRN_E_MESSAGE_FILE_LOAD, Krn_wstring_status_arg(name));
    return;
  }
  if (!status.ok()) {
    delete messages;
    return;
  }
  try {
    m_messages.push_back(messages);
  } catch (const std::bad_alloc&) {
    delete messages;
    status = KRN_E_NO_MEMORY;
    status.push(KRN_E_MESSAGE_FILE_LOAD, Krn_wstring_status_arg(name));
  }
}

void Krn_messages_list::add(const std::vector<Wstring>& names, Krn_status& status) {
  status.clear();
  for (const Wstring& name : names) {
    if (status.is_error()) return;
    add(name, status);
  }
}

void Krn_messages_list::remove(const Wstring& name) {
  auto found = std::find_if(m_messages.begin(), m_messages.end(), [&](const Krn_messages* messages) {
    return krn_utf16_compare_nc(messages->name().c_str(), name.c_str()) == 0;
  });
  if (found == m_messages.end()) return;
  delete *found;
  m_messages.erase(found);
}

bool Krn_messages_list::format_system(const Krn_status& status, Wstring& text) {
  text.clear();
  // Only operating-system error numbers have a system text here.
  const unsigned given = status.value();
  if (((given >> 16) & 0x0FFFu) != 0 || (given & 0xFFFFu) == 0) return false;
  const std::string system_text = port::error_text(static_cast<int>(given & 0xFFFFu));
  if (system_text.empty()) return false;
  krn_utf8_to_utf16(system_text.c_str(), text);
  return true;
}

void Krn_messages_list::format_message(const Krn_status& status, Wstring& text) const {
  for (const Krn_messages* messages : m_messages) {
    if (messages->format_message(status, text)) return;
  }
  if (format_system(status, text) && !text.empty()) return;

  char number[32];
  std::snprintf(number, sizeof number, "%#" PRIx32, static_cast<std::uint32_t>(status.value()));
  std::string fallback = std::string(severity_word(status)) + number;
  krn_stow(fallback, text);
  Wstring arg_text;
  for (const Krn_status_arg* arg : status) {
    arg->to_string(arg_text);
    text += u", ";
    text += arg_text;
  }
}

void Krn_messages_list::format_message_tree(const Krn_status& status, Wstring& text, unsigned depth) const {
  format_message(status, text);
  unsigned lines = 1;
  Wstring line;
  for (const Krn_status* child = status.child(); child; child = child->child()) {
    if (depth != 0 && lines >= depth) break;
    format_message(*child, line);
    text += LINE_BREAK;
    text += line;
    ++lines;
  }
}

namespace {
bool g_initialised = false;
}

bool Krn_status_lookup::initialise_message_list(const std::vector<std::string>& components) {
  if (g_initialised) return true;
  Krn_status status;
  for (const std::string& component : components) {
    if (status.is_error()) break;
    Wstring name;
    krn_stow(component + krn_status_file_suffix(), name);
    Krn_messages_list::m_global_messages.add(name, status);
  }
  g_initialised = true;
  return status.ok();
}

bool Krn_status_lookup::initialise_message_list() {
  return initialise_message_list({KRN_PLAT_STATUS_FILE_NAME, KRN_UTIL_STATUS_FILE_NAME,
                                  KRN_LARIN_STATUS_FILE_NAME, KRN_VEMO_STATUS_FILE_NAME,
                                  KRN_QUARN_STATUS_FILE_NAME, KRN_DUBRAK_STATUS_FILE_NAME});
}

void Krn_status_lookup::to_string(const Krn_status& status, Wstring& text) {
  if (!g_initialised) initialise_message_list();
  Krn_messages_list::m_global_messages.format_message_tree(status, text, 0);
  krn_trim(text);
}

}  // namespace krn
