#ifndef KRN_DATE_STATUS_ARGS_H
#define KRN_DATE_STATUS_ARGS_H

// Status arguments that carry a date, a time of day or a date-and-time.

#include "krn/krn_date.h"
#include "krn/krn_status_args.h"
#include "krn/krn_time.h"

namespace krn {

// Message text: the date by "%x". XML value: "%Y-%m-%d".
class KRN_API Krn_date_status_arg : public Krn_status_arg {
 public:
  static const GUID IDENTITY;
  explicit Krn_date_status_arg(const Krn_date& value) : m_value(value) {}

  void to_string(Wstring& text) const override;
  const GUID& identity() const override { return IDENTITY; }
  Krn_status_arg* clone(void* unused = nullptr) const override;
  bool operator==(const Krn_status_arg& other) const override;
  const char* xml_type() const override { return "date"; }
  void to_xml_value(Wstring& text) const override;

  const Krn_date& value() const { return m_value; }

 private:
  Krn_date m_value;
};

// Message text: the time by "%X". XML value: "%H-%M-%S", so the XML form
// keeps whole seconds only.
class KRN_API Krn_time_status_arg : public Krn_status_arg {
 public:
  static const GUID IDENTITY;
  explicit Krn_time_status_arg(const Krn_time& value) : m_value(value) {}

  void to_string(Wstring& text) const override;
  const GUID& identity() const override { return IDENTITY; }
  Krn_status_arg* clone(void* unused = nullptr) const override;
  bool operator==(const Krn_status_arg& other) const override;
  const char* xml_type() const override { return "time"; }
  void to_xml_value(Wstring& text) const override;

  const Krn_time& value() const { return m_value; }

 private:
  Krn_time m_value;
};

// Message text: "%c". XML value: the instant in UTC, "%Y-%m-%dT%H-%M-%SZ"
// (whole seconds). Equal when the instants are equal, whatever the zones.
class KRN_API Krn_date_and_time_status_arg : public Krn_status_arg {
 public:
  static const GUID IDENTITY;
  explicit Krn_date_and_time_status_arg(const Krn_date_and_time& value) : m_value(value) {}

  void to_string(Wstring& text) const override;
  const GUID& identity() const override { return IDENTITY; }
  Krn_status_arg* clone(void* unused = nullptr) const override;
  bool operator==(const Krn_status_arg& other) const override;
  const char* xml_type() const override { return "datetime"; }
  void to_xml_value(Wstring& text) const override;

  const Krn_date_and_time& value() const { return m_value; }

 private:
  Krn_date_and_time m_value;
};

}  // namespace krn

#endif
