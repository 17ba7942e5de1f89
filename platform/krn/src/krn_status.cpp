#include "krn/krn_status.h"

#include <new>
#include <stdexcept>

namespace krn {

unsigned krn_canonical_status_value(unsigned value) {
  const unsigned facility = (value >> 16) & 0x0FFFu;
  const unsigned low = value & 0x0FFFFFFFu;
  if (facility >= 0x100) return value;
  if (facility == 0) return low == 0 ? 0 : low | 0xC0000000u;
  // A platform result code: bit 31 marks a failure.
  return (value & 0x80000000u) ? low | 0xC0000000u : low;
}

Krn_status::Arg_list Krn_status::m_static_args;

Krn_status::Arg_list::~Arg_list() {
  for (unsigned i = 0; i < m_count; ++i) m_args[i]->destroy();
}

void Krn_status::Arg_list::add(const Krn_status_arg& arg) {
  if (m_count >= MAX_ARGS) throw std::overflow_error("Krn_status::Arg_list::add - too many arguments.");
  m_args[m_count] = arg.clone();
  ++m_count;
}

Krn_status::Arg_list* Krn_status::Arg_list::deep_copy() const {
  auto* copy = new Arg_list;
  try {
    for (unsigned i = 0; i < m_count; ++i) copy->add(*m_args[i]);
  } catch (...) {
    delete copy;
    throw;
  }
  return copy;
}

Krn_status::Krn_status(unsigned value) { set_value(value); }

Krn_status::Krn_status(unsigned value, const Krn_status_arg& a1, const Krn_status_arg& a2,
                       const Krn_status_arg& a3, const Krn_status_arg& a4, const Krn_status_arg& a5,
                       const Krn_status_arg& a6, const Krn_status_arg& a7, const Krn_status_arg& a8) {
  assign(value, a1, a2, a3, a4, a5, a6, a7, a8);
}

Krn_status::Krn_status(const Krn_status& other)
    : m_value(other.m_value), m_given_value(other.m_given_value), m_args(other.m_args), m_child(other.m_child) {
  if (m_args) ++m_args->m_refs;
  if (m_child) ++m_child->refs;
}

Krn_status::~Krn_status() {
  release_args();
  release_child();
}

Krn_status& Krn_status::operator=(const Krn_status& other) {
  if (this == &other) return *this;
  // Take the new references first: other may be a node of our own chain.
  Arg_list* args = other.m_args;
  Child_node* child = other.m_child;
  if (args) ++args->m_refs;
  if (child) ++child->refs;
  const unsigned value = other.m_value;
  const unsigned given = other.m_given_value;
  release_args();
  release_child();
  m_value = value;
  m_given_value = given;
  m_args = args;
  m_child = child;
  return *this;
}

Krn_status& Krn_status::operator=(unsigned value) {
  release_args();
  release_child();
  set_value(value);
  return *this;
}

void Krn_status::set_value(unsigned value) {
  m_value = krn_canonical_status_value(value);
  m_given_value = value;
}

void Krn_status::release_args() {
  if (m_args && --m_args->m_refs == 0) delete m_args;
  m_args = nullptr;
}

void Krn_status::release_child() {
  // Walk the chain iteratively so that a long chain cannot exhaust the stack.
  Child_node* node = m_child;
  m_child = nullptr;
  while (node && --node->refs == 0) {
    Child_node* next = node->status.m_child;
    node->status.m_child = nullptr;
    delete node;
    node = next;
  }
}

Krn_status::Arg_list& Krn_status::own_list() {
  if (!m_args) {
    m_args = new Arg_list;
  } else if (m_args->m_refs > 1) {
    Arg_list* copy = m_args->deep_copy();
    --m_args->m_refs;
    m_args = copy;
  }
  return *m_args;
}

void Krn_status::set_args(const Krn_status_arg* const* args) {
  auto* list = new Arg_list;
  try {
    for (unsigned i = 0; i < MAX_ARGS; ++i) {
      if (args[i] != &Krn_null_status_arg::NULL_ARGUMENT) list->add(*args[i]);
    }
  } catch (...) {
    delete list;
    throw;
  }
  release_args();
  m_args = list;
}

void Krn_status::assign(unsigned value, const Krn_status_arg& a1, const Krn_status_arg& a2,
                        const Krn_status_arg& a3, const Krn_status_arg& a4, const Krn_status_arg& a5,
                        const Krn_status_arg& a6, const Krn_status_arg& a7, const Krn_status_arg& a8) {
  const Krn_status_arg* args[MAX_ARGS] = {&a1, &a2, &a3, &a4, &a5, &a6, &a7, &a8};
  set_args(args);
  release_child();
  set_value(value);
}

bool Krn_status::is_clear() const { return m_value == 0 && num_args() == 0 && !m_child; }

void Krn_status::push(unsigned value) {
  if (is_clear()) {
    *this = value;
    return;
  }
  auto* node = new Child_node;
  node->status.m_value = krn_canonical_status_value(m_given_value);
  node->status.m_given_value = m_given_value;
  node->status.m_args = m_args;
  node->status.m_child = m_child;
  m_args = nullptr;
  m_child = node;
  set_value(value);
}

void Krn_status::push(unsigned value, const Krn_status_arg& a1, const Krn_status_arg& a2,
                      const Krn_status_arg& a3, const Krn_status_arg& a4, const Krn_status_arg& a5,
                      const Krn_status_arg& a6, const Krn_status_arg& a7, const Krn_status_arg& a8) {
  if (is_clear()) {
    assign(value, a1, a2, a3, a4, a5, a6, a7, a8);
    return;
  }
  // Clone the new arguments before anything changes, so a failure leaves
  // this status as it was.
  Krn_status head;
  head.assign(value, a1, a2, a3, a4, a5, a6, a7, a8);
  push(value);
  release_args();
  m_args = head.m_args;
  head.m_args = nullptr;
}

void Krn_status::push(const Krn_status& other) {
  if (this == &other) {
    const Krn_status copy(other);
    push(copy);
    return;
  }
  if (is_clear()) {
    *this = other;
    return;
  }
  // Build the new head completely before touching this status.
  Krn_status head(other);
  head.release_child();
  Child_node** tail = &head.m_child;
  for (const Child_node* from = other.m_child; from; from = from->status.m_child) {
    auto* node = new Child_node;
    node->status.m_value = from->status.m_value;
    node->status.m_given_value = from->status.m_given_value;
    node->status.m_args = from->status.m_args;
    if (node->status.m_args) ++node->status.m_args->m_refs;
    *tail = node;
    tail = &node->status.m_child;
  }
  auto* saved = new Child_node;
  saved->status.m_value = m_value;
  saved->status.m_given_value = m_given_value;
  saved->status.m_args = m_args;
  saved->status.m_child = m_child;
  m_args = nullptr;
  m_child = nullptr;
  *tail = saved;

  m_value = head.m_value;
  m_given_value = head.m_given_value;
  m_args = head.m_args;
  m_child = head.m_child;
  head.m_args = nullptr;
  head.m_child = nullptr;
}

void Krn_status::pop() {
  if (!m_child) {
    clear();
    return;
  }
  const Krn_status child_copy(m_child->status);
  *this = child_copy;
}

void Krn_status::add_arg(const Krn_status_arg& arg) { own_list().add(arg); }

void Krn_status::clear() {
  release_args();
  release_child();
  m_value = 0;
  m_given_value = 0;
}

unsigned Krn_status::hresult() const {
  unsigned result = m_value & 0xFFFFu;
  if (is_error()) result |= 0x80000000u;
  if (((m_value >> 16) & 0x0FFFu) == 0xC00)
    result |= 0x07FF0000u;
  else
    result |= m_value & 0x07FF0000u;
  return result;
}

bool Krn_status::compare(const Krn_status& other, bool with_args, bool with_children) const {
  const Krn_status* a = this;
  const Krn_status* b = &other;
  while (true) {
    if (a->m_value != b->m_value) return false;
    if (with_args) {
      if (a->num_args() != b->num_args()) return false;
      for (unsigned i = 0; i < a->num_args(); ++i) {
        if (!(*a->begin()[i] == *b->begin()[i])) return false;
      }
    }
    if (!with_children) return true;
    if (!a->m_child || !b->m_child) return a->m_child == nullptr && b->m_child == nullptr;
    a = &a->m_child->status;
    b = &b->m_child->status;
  }
}

bool Krn_status::contains_value(unsigned value) const {
  const unsigned canonical = krn_canonical_status_value(value);
  for (const Krn_status* s = this; s; s = s->child()) {
    if (s->m_value == canonical) return true;
  }
  return false;
}

const char* const KRN_PLAT_STATUS_FILE_NAME = "plat";
const char* const KRN_UTIL_STATUS_FILE_NAME = "util";
const char* const KRN_LARIN_STATUS_FILE_NAME = "larin";
const char* const KRN_VEMO_STATUS_FILE_NAME = "vemo";
const char* const KRN_QUARN_STATUS_FILE_NAME = "quarn";
const char* const KRN_DUBRAK_STATUS_FILE_NAME = "dubrak";

const std::string& krn_status_file_suffix() {
  static const std::string suffix = std::string("res") + "2208" + ".so";
  return suffix;
}

}  // namespace krn
