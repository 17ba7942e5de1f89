#ifndef KRN_EXCEPTION_H
#define KRN_EXCEPTION_H

// Exceptions built from the record of a processor or runtime exception.
// Linux has no structured exceptions: nothing produces such a record by
// itself, the translator's installation does nothing, and these classes are
// kept for callers that build records of their own.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "krn/krn_export.h"

namespace krn {

// The record of one exception, with the one it interrupted, if any.
struct Krn_exception_record {
  unsigned code = 0;
  unsigned flags = 0;
  const Krn_exception_record* previous = nullptr;
  const void* address = nullptr;
  unsigned num_parameters = 0;
  std::uintptr_t parameters[15] = {};
};

class KRN_API Krn_system_exception : public std::runtime_error {
 public:
  Krn_system_exception() : std::runtime_error(""), m_code(0) {}
  explicit Krn_system_exception(const Krn_exception_record& record);
  unsigned code() const { return m_code; }

  // The description of a record and of the records it interrupted.
  static std::string describe(const Krn_exception_record& record);

 private:
  unsigned m_code;
};

// An exception whose code is one the remote-call runtime raises.
class KRN_API Krn_rpc_exception : public Krn_system_exception {
 public:
  explicit Krn_rpc_exception(const Krn_exception_record& record) : Krn_system_exception(record) {}
  static bool is_rpc_code(unsigned code);
};

using Krn_exception_translator_function = void (*)(unsigned, const Krn_exception_record*);

// Throws the exception that fits the record: Krn_rpc_exception for the
// remote-call codes, Krn_system_exception for all others.
[[noreturn]] KRN_API void krn_exception_translator(unsigned code, const Krn_exception_record* record);
// Installs the translator and returns the previous one; does nothing here.
KRN_API Krn_exception_translator_function krn_install_exception_translator();

}  // namespace krn

#endif
