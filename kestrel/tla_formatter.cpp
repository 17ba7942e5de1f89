#include "tla/tla_formatter.h"

#include <algorithm>

#include "krn/krn_status.h"
#include "krn/krn_string.h"

namespace tla {

namespace {

// Function-local, so that a formatter used during another file's static
// initialisation still finds its name.
const std::string& simple_name() {
  static const std::string name = "Simple";
  return name;
}
const std::string& simplenc_name() {
  static const std::string name = "SimpleNC";
  return name;
}
const std::string& ccnum_name() {
  static const std::string name = "CCNUMBER";
  return name;
}

void copy_unless_same(const krn::Wstring& input, krn::Wstring& output) {
  if (&input != &output) output = input;
}

// NFKC, so that compatibility variants (full-width letters, ligatures,
// no-break spaces) of a value match its plain spelling. A value the
// normalisation cannot change skips the library call.
void normalise(const krn::Wstring& input, krn::Wstring& output, bool raw) {
  if (raw || !krn::krn_can_normalize(input)) {
    copy_unless_same(input, output);
    return;
  }
  // A separate result: a failed normalisation empties its output, and the
  // input must survive that even when it is the output.
  krn::Krn_status status;
  krn::Wstring normalised;
  krn::krn_normalize(input, normalised, status);
  if (status.is_error()) {
    copy_unless_same(input, output);
    return;
  }
  output.swap(normalised);
}

}  // namespace

const std::string& Tla_simple_formatter::name() const { return simple_name(); }

void Tla_simple_formatter::format(const krn::Wstring& input, krn::Wstring& output, bool raw) const {
  normalise(input, output, raw);
}

const std::string& Tla_simplenc_formatter::name() const { return simplenc_name(); }

void Tla_simplenc_formatter::format(const krn::Wstring& input, krn::Wstring& output, bool raw) const {
  normalise(input, output, raw);
  krn::krn_lower(output);
}

const std::string& Tla_ccnum_formatter::name() const { return ccnum_name(); }

void Tla_ccnum_formatter::format(const krn::Wstring& input, krn::Wstring& output, bool raw) const {
  normalise(input, output, raw);
  // Only the two group separators people type; the number itself is not
  // checked, so anything else a value holds still has to match exactly.
  std::erase_if(output, [](krn::Char16 unit) { return unit == u' ' || unit == u'-'; });
}

namespace {

struct Formatter_entry {
  const std::string& (*name)();
  krn::GUID type;
};

// Lookup order matters: the first match wins.
const Formatter_entry FORMATTERS[] = {
    {simple_name, TLA_SIMPLE_FORMATTER_ID},
    {simplenc_name, TLA_SIMPLENC_FORMATTER_ID},
    {ccnum_name, TLA_CCNUM_FORMATTER_ID},
};

}  // namespace

krn::GUID formatter_type_from_name(const std::string& name) {
  for (const Formatter_entry& entry : FORMATTERS) {
    const std::string& candidate = entry.name();
    // The comparison stops at a NUL; the length check keeps "Simple " or
    // "Simple\0x" from matching.
    if (candidate.size() == name.size() && krn::krn_utf8_compare_nc(name.c_str(), candidate.c_str()) == 0)
      return entry.type;
  }
  return TLA_NO_FORMATTER_ID;
}

Tla_formatter_base* create_formatter(const krn::GUID& type) {
  if (type == TLA_SIMPLE_FORMATTER_ID) return new Tla_simple_formatter;
  if (type == TLA_SIMPLENC_FORMATTER_ID) return new Tla_simplenc_formatter;
  if (type == TLA_CCNUM_FORMATTER_ID) return new Tla_ccnum_formatter;
  return nullptr;
}

const Tla_formatter_base* shared_formatter(const krn::GUID& type) {
  static const Tla_simple_formatter simple;
  static const Tla_simplenc_formatter simplenc;
  static const Tla_ccnum_formatter ccnum;
  if (type == TLA_SIMPLE_FORMATTER_ID) return &simple;
  if (type == TLA_SIMPLENC_FORMATTER_ID) return &simplenc;
  if (type == TLA_CCNUM_FORMATTER_ID) return &ccnum;
  return nullptr;
}

void formatter_name_from_type(const krn::GUID& type, std::string& name) {
  for (const Formatter_entry& entry : FORMATTERS) {
    if (entry.type == type) {
      name = entry.name();
      return;
    }
  }
  name.clear();
}

}  // namespace tla
