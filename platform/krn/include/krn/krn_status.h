#ifndef KRN_STATUS_H
#define KRN_STATUS_H

// The outcome of an operation: a 32-bit value (severity, facility, code), up
// to eight typed arguments for the placeholders of the value's message text,
// and a chain of underlying statuses. Every operation takes one by reference
// as its last argument; ordinary failures never travel as exceptions.
//
// The callee clears: an operation clears the status it is handed on entry,
// so what the status holds on return is that operation's outcome alone, never
// something left from an earlier call. An operation of several steps checks
// the status after each and skips the rest once it holds an error (ok() is
// false), returning the error as it stands or with a status pushed on top
// that names the step that failed.
//
// The XML form of a status is in krn_status_xml.h.

#include <stdexcept>
#include <string>

#include "krn/krn_status_args.h"
#include "krn/krn_types.h"

namespace krn {

// Brings a value into the canonical layout: facility-0 values (operating-system
// error numbers) and platform result codes become errors as their bits say.
KRN_API unsigned krn_canonical_status_value(unsigned value);

class KRN_API Krn_status {
 public:
  static constexpr unsigned MAX_ARGS = 8;

  // The argument list: a count and eight owning slots, shared between copies
  // of a status and copied before it is changed while shared.
  class KRN_API Arg_list {
   public:
    Arg_list() = default;
    Arg_list(const Arg_list&) = delete;
    Arg_list& operator=(const Arg_list&) = delete;
    ~Arg_list();

    // Appends a clone; a ninth argument throws std::overflow_error.
    void add(const Krn_status_arg& arg);
    Arg_list* deep_copy() const;

   private:
    // The status manages the sharing and iterates over the slots.
    friend class Krn_status;

    unsigned m_count = 0;
    Krn_status_arg* m_args[MAX_ARGS] = {};
    unsigned m_refs = 1;
  };

  using const_iterator = Krn_status_arg* const*;

  Krn_status() = default;
  explicit Krn_status(unsigned value);
  Krn_status(unsigned value, const Krn_status_arg& a1, const Krn_status_arg& a2 = Krn_null_status_arg::NULL_ARGUMENT,
             const Krn_status_arg& a3 = Krn_null_status_arg::NULL_ARGUMENT, const Krn_status_arg& a4 = Krn_null_status_arg::NULL_ARGUMENT,
             const Krn_status_arg& a5 = Krn_null_status_arg::NULL_ARGUMENT, const Krn_status_arg& a6 = Krn_null_status_arg::NULL_ARGUMENT,
             const Krn_status_arg& a7 = Krn_null_status_arg::NULL_ARGUMENT, const Krn_status_arg& a8 = Krn_null_status_arg::NULL_ARGUMENT);
  Krn_status(const Krn_status& other);
  ~Krn_status();

  Krn_status& operator=(const Krn_status& other);
  // Sets the value and drops the arguments and the child.
  Krn_status& operator=(unsigned value);

  // Sets the value, drops the child and replaces the arguments by clones.
  void assign(unsigned value, const Krn_status_arg& a1, const Krn_status_arg& a2 = Krn_null_status_arg::NULL_ARGUMENT,
              const Krn_status_arg& a3 = Krn_null_status_arg::NULL_ARGUMENT, const Krn_status_arg& a4 = Krn_null_status_arg::NULL_ARGUMENT,
              const Krn_status_arg& a5 = Krn_null_status_arg::NULL_ARGUMENT, const Krn_status_arg& a6 = Krn_null_status_arg::NULL_ARGUMENT,
              const Krn_status_arg& a7 = Krn_null_status_arg::NULL_ARGUMENT, const Krn_status_arg& a8 = Krn_null_status_arg::NULL_ARGUMENT);

  // Makes the current status the child of a new head holding the value.
  void push(unsigned value);
  void push(unsigned value, const Krn_status_arg& a1, const Krn_status_arg& a2 = Krn_null_status_arg::NULL_ARGUMENT,
            const Krn_status_arg& a3 = Krn_null_status_arg::NULL_ARGUMENT, const Krn_status_arg& a4 = Krn_null_status_arg::NULL_ARGUMENT,
            const Krn_status_arg& a5 = Krn_null_status_arg::NULL_ARGUMENT, const Krn_status_arg& a6 = Krn_null_status_arg::NULL_ARGUMENT,
            const Krn_status_arg& a7 = Krn_null_status_arg::NULL_ARGUMENT, const Krn_status_arg& a8 = Krn_null_status_arg::NULL_ARGUMENT);
  // Puts a whole status (with its chain) on top of this one.
  void push(const Krn_status& other);
  // Replaces this status by its child; clears it when there is none.
  void pop();

  void add_arg(const Krn_status_arg& arg);
  void clear();

  bool ok() const { return (m_value >> 30) < 3; }
  bool is_success() const { return m_value < 0x40000000u; }
  bool is_information() const { return (m_value >> 30) == 1; }
  bool is_warning() const { return (m_value >> 30) == 2; }
  bool is_error() const { return (m_value >> 30) == 3; }
  bool is_clear() const;

  // The value as it was given: the message number.
  unsigned value() const { return m_given_value; }
  // The canonical value, which every test looks at.
  unsigned canonical_value() const { return m_value; }
  unsigned facility() const { return m_value & 0x0FFF0000u; }
  unsigned hresult() const;

  unsigned num_args() const { return list().m_count; }
  const_iterator begin() const { return list().m_args; }
  const_iterator end() const { return list().m_args + list().m_count; }

  bool has_child() const { return m_child != nullptr; }
  const Krn_status* child() const;

  bool operator==(const Krn_status& other) const { return m_value == other.m_value; }
  bool operator==(unsigned value) const { return m_value == krn_canonical_status_value(value); }

  bool compare(const Krn_status& other, bool with_args, bool with_children) const;
  bool contains_value(unsigned value) const;

 private:
  // Restores stored values exactly as they were written, which the public
  // interface (canonicalising every value it is given) cannot.
  friend class Krn_status_xml_reader;

  struct Child_node;

  static Arg_list m_static_args;

  const Arg_list& list() const { return m_args ? *m_args : m_static_args; }
  // The list, made private to this status before a change.
  Arg_list& own_list();
  void set_args(const Krn_status_arg* const* args);
  void release_args();
  void release_child();
  void set_value(unsigned value);

  unsigned m_value = 0;
  unsigned m_given_value = 0;
  Arg_list* m_args = nullptr;
  Child_node* m_child = nullptr;
};

// A child status, shared between copies of the status that points to it.
struct Krn_status::Child_node {
  Krn_status status;
  unsigned refs = 1;
};

inline const Krn_status* Krn_status::child() const { return m_child ? &m_child->status : nullptr; }

// The status file name constants: a component name plus the message file
// suffix gives the name of the component's message module.
KRN_API extern const char* const KRN_PLAT_STATUS_FILE_NAME;
KRN_API extern const char* const KRN_UTIL_STATUS_FILE_NAME;
KRN_API extern const char* const KRN_LARIN_STATUS_FILE_NAME;
KRN_API extern const char* const KRN_VEMO_STATUS_FILE_NAME;
KRN_API extern const char* const KRN_QUARN_STATUS_FILE_NAME;
KRN_API extern const char* const KRN_DUBRAK_STATUS_FILE_NAME;
// "res" + the release number + the loadable module extension.
KRN_API const std::string& krn_status_file_suffix();

// Thrown by the synchronisation classes when an operating-system call fails;
// the text is "::" and the call's name.
class KRN_API Krn_sys_call_fail : public std::runtime_error {
 public:
  explicit Krn_sys_call_fail(const std::string& call) : std::runtime_error("::" + call) {}
};

}  // namespace krn

#endif
