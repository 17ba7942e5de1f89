#ifndef KRN_STATUS_ARGS_H
#define KRN_STATUS_ARGS_H

// Typed arguments of a status: each fills one "%n" placeholder of the status
// message text, and each has a name and value text in the XML form.

#include <string>

#include "krn/krn_types.h"

namespace krn {

class KRN_API Krn_status_arg {
 public:
  Krn_status_arg() = default;
  Krn_status_arg(const Krn_status_arg&) = default;
  Krn_status_arg& operator=(const Krn_status_arg&) = default;

  // The virtual operations keep this order: other libraries depend on it.
  virtual ~Krn_status_arg();
  virtual void destroy();
  virtual void to_string(Wstring& text) const = 0;
  virtual const GUID& identity() const = 0;
  virtual Krn_status_arg* clone(void* unused = nullptr) const = 0;
  virtual bool operator==(const Krn_status_arg& other) const = 0;
  // The type name and the value text of the XML form.
  virtual const char* xml_type() const = 0;
  virtual void to_xml_value(Wstring& text) const = 0;

 protected:
  // The other argument as the caller's own class, or null when its identity
  // differs: the first step of every equality test.
  template <class T>
  static const T* same_kind(const T& self, const Krn_status_arg& other) {
    if (!(other.identity() == self.identity())) return nullptr;
    return dynamic_cast<const T*>(&other);
  }
};

class KRN_API Krn_int_status_arg : public Krn_status_arg {
 public:
  static const GUID IDENTITY;
  explicit Krn_int_status_arg(int64 value, bool format = false) : m_value(value), m_format(format) {}

  void to_string(Wstring& text) const override;
  const GUID& identity() const override { return IDENTITY; }
  Krn_status_arg* clone(void* unused = nullptr) const override;
  bool operator==(const Krn_status_arg& other) const override;
  const char* xml_type() const override { return "int"; }
  void to_xml_value(Wstring& text) const override;

  int64 value() const { return m_value; }
  bool format() const { return m_format; }

 private:
  int64 m_value;
  bool m_format;
};

class KRN_API Krn_uint_status_arg : public Krn_status_arg {
 public:
  static const GUID IDENTITY;
  explicit Krn_uint_status_arg(uint64 value, bool format = false) : m_value(value), m_format(format) {}

  void to_string(Wstring& text) const override;
  const GUID& identity() const override { return IDENTITY; }
  Krn_status_arg* clone(void* unused = nullptr) const override;
  bool operator==(const Krn_status_arg& other) const override;
  const char* xml_type() const override { return "uint"; }
  void to_xml_value(Wstring& text) const override;

  uint64 value() const { return m_value; }
  bool format() const { return m_format; }

 private:
  uint64 m_value;
  bool m_format;
};

class KRN_API Krn_bool_status_arg : public Krn_status_arg {
 public:
  static const GUID IDENTITY;
  explicit Krn_bool_status_arg(bool value) : m_value(value) {}

  void to_string(Wstring& text) const override;
  const GUID& identity() const override { return IDENTITY; }
  Krn_status_arg* clone(void* unused = nullptr) const override;
  bool operator==(const Krn_status_arg& other) const override;
  const char* xml_type() const override { return "bool"; }
  void to_xml_value(Wstring& text) const override { to_string(text); }

  bool value() const { return m_value; }

 private:
  bool m_value;
};

class KRN_API Krn_wstring_status_arg : public Krn_status_arg {
 public:
  static const GUID IDENTITY;
  explicit Krn_wstring_status_arg(const Wstring& value) : m_value(value) {}
  explicit Krn_wstring_status_arg(const char16_t* value) : m_value(value ? value : u"") {}
  // A narrow string is widened byte by byte (Latin-1).
  explicit Krn_wstring_status_arg(const std::string& value);

  void to_string(Wstring& text) const override { text = m_value; }
  const GUID& identity() const override { return IDENTITY; }
  Krn_status_arg* clone(void* unused = nullptr) const override;
  bool operator==(const Krn_status_arg& other) const override;
  const char* xml_type() const override { return "string"; }
  void to_xml_value(Wstring& text) const override;

  const Wstring& value() const { return m_value; }

 private:
  Wstring m_value;
};

class KRN_API Krn_null_status_arg : public Krn_status_arg {
 public:
  static const GUID IDENTITY;
  // Passed as an optional argument, this instance means "no argument".
  static const Krn_null_status_arg NULL_ARGUMENT;

  void to_string(Wstring& text) const override { text.clear(); }
  const GUID& identity() const override { return IDENTITY; }
  Krn_status_arg* clone(void* unused = nullptr) const override;
  bool operator==(const Krn_status_arg& other) const override;
  const char* xml_type() const override { return "string"; }
  void to_xml_value(Wstring& text) const override { text.clear(); }
};

}  // namespace krn

#endif
