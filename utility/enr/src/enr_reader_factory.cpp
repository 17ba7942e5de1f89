#include <new>

#include "enr/enr_reader.h"
#include "krn/krn_status.h"
#include "krn/krn_string.h"

namespace enr {

using krn::Krn_status;
using krn::Wstring;

namespace {

// The encodings that have readers of their own, looked up once: their
// values may be ICU's.
struct Own_readers {
  Enr_encoding utf16;
  Enr_encoding utf16le;
  Enr_encoding utf8;
  Enr_encoding utf32;
  Enr_encoding ascii;
  Enr_encoding latin1;
};

Enr_encoding lookup(const char16_t* name) {
  Krn_status status;
  return enr_display_name(Wstring(name), status);
}

const Own_readers& own_readers() {
  static const Own_readers readers{lookup(u"UTF-16"), lookup(u"UTF-16le"), lookup(u"UTF-8"),
                                   lookup(u"UTF-32"), lookup(u"us-ascii"), lookup(u"iso-8859-1")};
  return readers;
}

Enr_reader_base* new_reader(Enr_encoding encoding) {
  const Own_readers& own = own_readers();
  if (encoding == own.utf16 || encoding == own.utf16le) return new Enr_utf16_reader(false);
  if (encoding == own.utf8) return new Enr_utf8_reader;
  if (encoding == own.utf32) return new Enr_utf32_reader;
  if (encoding == own.ascii) return new Enr_ascii_reader;
  if (encoding == own.latin1) return new Enr_latin1_reader;
  return new Enr_icu_reader(encoding);
}

Enr_reader_base* new_reader_or_null(Enr_encoding encoding) {
  try {
    return new_reader(encoding);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

Enr_reader_base* Enr_reader_factory::create_reader(const Wstring& name) {
  Enr_encoding encoding = own_readers().utf16;
  if (krn::krn_utf16_compare_nc(name.c_str(), u"UNICODE") != 0) {
    Krn_status status;
    encoding = enr_display_name(name, status);
    if (!status.ok() || encoding == ENR_UNKNOWN_ENCODING) return nullptr;
  }
  return new_reader_or_null(encoding);
}

Enr_reader_base* Enr_reader_factory::create_reader(const Enr_encoding& encoding) {
  Krn_status status;
  enr_display_name(encoding, status);
  if (!status.ok()) return nullptr;
  return new_reader_or_null(encoding);
}

}  // namespace enr
