#include "krn/krn_exception.h"

#include <cstdio>

namespace krn {

namespace {

struct Known_code {
  unsigned code;
  const char* sentence;
};

const unsigned ACCESS_VIOLATION = 0xC0000005;

const Known_code KNOWN_CODES[] = {
    {ACCESS_VIOLATION, "The thread tried to read from or write to a virtual address for which it does not have access.\r\n"},
    {0x80000002, "The thread tried to read or write data that is misaligned.\r\n"},
    {0x80000003, "A breakpoint was encountered.\r\n"},
    {0x80000004, "A single instruction has been executed under the trace trap.\r\n"},
    {0xC000008C, "The thread tried to access an array element that is out of bounds.\r\n"},
    {0xC000008D, "An operand of a floating-point operation is denormal.\r\n"},
    {0xC000008E, "The thread tried to divide a floating-point value by a floating-point divisor of zero.\r\n"},
    {0xC000008F, "The result of a floating-point operation cannot be represented exactly.\r\n"},
    {0xC0000090, "An invalid floating-point operation was attempted.\r\n"},
    {0xC0000091, "The exponent of a floating-point operation is greater than the largest allowed.\r\n"},
    {0xC0000092, "The floating-point stack overflowed or underflowed.\r\n"},
    {0xC0000093, "The exponent of a floating-point operation is less than the smallest allowed.\r\n"},
    {0xC0000094, "The thread tried to divide an integer value by an integer divisor of zero.\r\n"},
    {0xC0000095, "The result of an integer operation overflowed.\r\n"},
    {0xC0000096, "The thread tried to execute an instruction that is not allowed in the current mode.\r\n"},
    {0xC0000025, "The thread tried to continue after a non-continuable exception.\r\n"},
};

std::string format(const char* pattern, unsigned long value) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, pattern, value);
  return buffer;
}

std::string describe_one(const Krn_exception_record& record) {
  std::string text;
  const Known_code* known = nullptr;
  for (const Known_code& k : KNOWN_CODES) {
    if (k.code == record.code) known = &k;
  }
  if (known) {
    text = known->sentence;
    if (record.code == ACCESS_VIOLATION && record.num_parameters >= 2)
      text += format("The memory address accessed is 0x%08lx.\r\n", record.parameters[1]);
  } else {
    text = "An unknown Microsoft structured exception has occurred.\r\n";
    text += format("Exception code is 0x%08lx.\r\n", record.code);
  }
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "Error occured at address 0x%p.\r\n", record.address);
  text += buffer;
  return text;
}

}  // namespace

std::string Krn_system_exception::describe(const Krn_exception_record& record) {
  std::string text = describe_one(record);
  // A bounded walk: a damaged record must not hang the reporter.
  unsigned depth = 0;
  for (const Krn_exception_record* r = record.previous; r && depth < 64; r = r->previous, ++depth) {
    text += "\r\nPrevious exception...\r\n";
    text += describe_one(*r);
  }
  return text;
}

Krn_system_exception::Krn_system_exception(const Krn_exception_record& record)
    : std::runtime_error(describe(record)), m_code(record.code) {}

bool Krn_rpc_exception::is_rpc_code(unsigned code) {
  static const unsigned singles[] = {0, 5, 14, 87, 122, 164, 1130, 1730, 1791, 1806, 1826, 1898, 1900};
  static const unsigned ranges[][2] = {{1700, 1728}, {1732, 1737}, {1739, 1749}, {1754, 1762},
                                       {1764, 1771}, {1817, 1820}, {1822, 1824}};
  for (unsigned s : singles) {
    if (code == s) return true;
  }
  for (const auto& r : ranges) {
    if (code >= r[0] && code <= r[1]) return true;
  }
  return false;
}

void krn_exception_translator(unsigned code, const Krn_exception_record* record) {
  Krn_exception_record local;
  local.code = code;
  const Krn_exception_record& r = record ? *record : local;
  if (Krn_rpc_exception::is_rpc_code(code)) throw Krn_rpc_exception(r);
  throw Krn_system_exception(r);
}

Krn_exception_translator_function krn_install_exception_translator() { return nullptr; }

}  // namespace krn
