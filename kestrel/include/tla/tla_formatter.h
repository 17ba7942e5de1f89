#ifndef TLA_FORMATTER_H
#define TLA_FORMATTER_H

// Field formatters: they bring a value into the one shape in which values
// that should match produce the same token CRCs. The 16-byte identifier is
// how the schema, the record encoder and the data set reader name a
// formatter; the canonical name is what a data set file stores.

#include <string>

#include "tla/tla_export.h"
#include "krn/krn_types.h"

namespace tla {

// {6ED199E8-3FD4-407A-8858-32B9F7FD3FA6}: compatibility normalisation.
inline constexpr krn::GUID TLA_SIMPLE_FORMATTER_ID = {
    0x6ED199E8, 0x3FD4, 0x407A, {0x88, 0x58, 0x32, 0xB9, 0xF7, 0xFD, 0x3F, 0xA6}};
// {1505BA28-5AFA-4288-8BD6-217A28EF267F}: normalisation, then lower case.
inline constexpr krn::GUID TLA_SIMPLENC_FORMATTER_ID = {
    0x1505BA28, 0x5AFA, 0x4288, {0x8B, 0xD6, 0x21, 0x7A, 0x28, 0xEF, 0x26, 0x7F}};
// {84F1B08F-0A7F-410D-AACD-264411C1CA5F}: normalisation, then without spaces
// and hyphens, for card numbers written in groups.
inline constexpr krn::GUID TLA_CCNUM_FORMATTER_ID = {
    0x84F1B08F, 0x0A7F, 0x410D, {0xAA, 0xCD, 0x26, 0x44, 0x11, 0xC1, 0xCA, 0x5F}};
// All zeros: no formatter.
inline constexpr krn::GUID TLA_NO_FORMATTER_ID = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// Formatters hold no state. The order of the virtual operations is fixed:
// destructor, name, type_id, format.
class TLA_API Tla_formatter_base {
 public:
  virtual ~Tla_formatter_base() = default;
  // The canonical name (UTF-8), as a data set file stores it.
  virtual const std::string& name() const = 0;
  virtual krn::GUID type_id() const = 0;
  // Never fails: when normalisation fails the value is used as it is. With
  // raw the normalisation is left out, but the formatter's own step is not.
  // input and output may be the same string.
  virtual void format(const krn::Wstring& input, krn::Wstring& output, bool raw) const = 0;
};

class TLA_API Tla_simple_formatter : public Tla_formatter_base {
 public:
  const std::string& name() const override;
  krn::GUID type_id() const override { return TLA_SIMPLE_FORMATTER_ID; }
  void format(const krn::Wstring& input, krn::Wstring& output, bool raw) const override;
};

class TLA_API Tla_simplenc_formatter : public Tla_formatter_base {
 public:
  const std::string& name() const override;
  krn::GUID type_id() const override { return TLA_SIMPLENC_FORMATTER_ID; }
  void format(const krn::Wstring& input, krn::Wstring& output, bool raw) const override;
};

class TLA_API Tla_ccnum_formatter : public Tla_formatter_base {
 public:
  const std::string& name() const override;
  krn::GUID type_id() const override { return TLA_CCNUM_FORMATTER_ID; }
  void format(const krn::Wstring& input, krn::Wstring& output, bool raw) const override;
};

// The identifier of the formatter named (case ignored, whole name only), or
// TLA_NO_FORMATTER_ID.
TLA_API krn::GUID formatter_type_from_name(const std::string& name);

// A new formatter of the type, owned by the caller; null for any identifier
// that names none (all zeros included).
TLA_API Tla_formatter_base* create_formatter(const krn::GUID& type);

// The same formatter without the allocation, for callers that format a
// value at a time: formatters hold no state, so one object per type serves
// every caller. Null for any identifier that names none.
TLA_API const Tla_formatter_base* shared_formatter(const krn::GUID& type);

// The canonical name of the type, or the empty string.
TLA_API void formatter_name_from_type(const krn::GUID& type, std::string& name);

}  // namespace tla

#endif
