#include "enr/enr_convert.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>

#include <iterator>
#include <limits>
#include <memory>
#include <vector>

#include "enr/enr_status_codes.h"
#include "enr_name_table.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "krn/krn_string.h"

namespace enr {

using krn::Krn_istream;
using krn::Krn_ostream;
using krn::Krn_status;
using krn::uint64;
using krn::Wstring;

namespace {

constexpr std::size_t BLOCK_BYTES = 16384;
constexpr std::size_t BLOCK_UNITS = BLOCK_BYTES / 2;
// Room for a block's output; ICU says when it needs more and is called again.
constexpr std::size_t OUTPUT_UNITS = BLOCK_BYTES + 64;
constexpr std::size_t OUTPUT_BYTES = 4 * BLOCK_BYTES;
constexpr uint64 NO_LIMIT = std::numeric_limits<uint64>::max();

// ---- Converters ----------------------------------------------------------

struct Converter_closer {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, Converter_closer>;

struct Noise {
  uint64 units = 0;
};

Noise& noise_of(const void* context) { return *static_cast<Noise*>(const_cast<void*>(context)); }

// Each bad sequence is substituted and conversion goes on; the count decides
// afterwards whether the text was worth converting.
void U_CALLCONV count_to_unicode(const void* context, UConverterToUnicodeArgs* args, const char* bytes,
                                 int32_t length, UConverterCallbackReason reason, UErrorCode* error) {
  if (reason == UCNV_UNASSIGNED || reason == UCNV_ILLEGAL || reason == UCNV_IRREGULAR) ++noise_of(context).units;
  UCNV_TO_U_CALLBACK_SUBSTITUTE(nullptr, args, bytes, length, reason, error);
}

void U_CALLCONV count_from_unicode(const void* context, UConverterFromUnicodeArgs* args, const UChar* units,
                                   int32_t length, UChar32 code_point, UConverterCallbackReason reason,
                                   UErrorCode* error) {
  if (reason == UCNV_UNASSIGNED || reason == UCNV_ILLEGAL || reason == UCNV_IRREGULAR) ++noise_of(context).units;
  UCNV_FROM_U_CALLBACK_SUBSTITUTE(nullptr, args, units, length, code_point, reason, error);
}

Converter open_converter(Enr_encoding encoding, Noise& noise, Krn_status& status) {
  const std::string name = detail::converter_name(encoding);
  if (name.empty()) {
    status.assign(ENR_E_UNKNOWN_ENCODING, krn::Krn_int_status_arg(encoding));
    return nullptr;
  }
  UErrorCode error = U_ZERO_ERROR;
  Converter converter(ucnv_open(name.c_str(), &error));
  if (U_FAILURE(error)) {
    // A built-in encoding that this ICU has no converter for.
    krn::krn_translate_icu_error(error, status);
    Wstring wide;
    krn::krn_utf8_to_utf16(name, wide);
    status.push(ENR_E_UNKNOWN_ENCODING, krn::Krn_wstring_status_arg(wide));
    return nullptr;
  }
  // An encoding that cannot write "?" keeps its own substitute. This also
  // drops the single-byte substitute U+001A that some converters (Shift_JIS,
  // EUC-JP) would write for a bad byte, a control the output inspection
  // would count as noise a second time.
  error = U_ZERO_ERROR;
  ucnv_setSubstString(converter.get(), u"?", 1, &error);
  error = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter.get(), count_to_unicode, &noise, nullptr, nullptr, &error);
  ucnv_setFromUCallBack(converter.get(), count_from_unicode, &noise, nullptr, nullptr, &error);
  if (U_FAILURE(error)) {
    krn::krn_translate_icu_error(error, status);
    return nullptr;
  }
  return converter;
}

// ---- Sources and sinks ---------------------------------------------------

class Byte_source {
 public:
  virtual ~Byte_source() = default;
  // 0 at the end; on failure 0 and an error status.
  virtual std::size_t read(char* data, std::size_t count, Krn_status& status) = 0;
  // The bytes still to come.
  virtual uint64 remaining(Krn_status& status) = 0;
};

// The end of the data is where the input stops, not a failure.
bool end_of_data(std::size_t got, Krn_status& status) {
  if (got == 0 && status.contains_value(krn::KRN_E_END_OF_DATA)) status.clear();
  return status.ok();
}

class Stream_source : public Byte_source {
 public:
  explicit Stream_source(Krn_istream& in) : m_in(in) {}

  std::size_t read(char* data, std::size_t count, Krn_status& status) override {
    const auto got = static_cast<std::size_t>(m_in.read(count, data, status));
    end_of_data(got, status);
    return got;
  }

  uint64 remaining(Krn_status& status) override {
    const krn::int64 size = m_in.size(status);
    if (!status.ok() || size <= m_in.tell()) return 0;
    return static_cast<uint64>(size - m_in.tell());
  }

 private:
  Krn_istream& m_in;
};

class String_source : public Byte_source {
 public:
  explicit String_source(const std::string& text) : m_text(text) {}

  std::size_t read(char* data, std::size_t count, Krn_status& status) override {
    status.clear();
    const std::size_t n = std::min(count, m_text.size() - m_position);
    m_text.copy(data, n, m_position);
    m_position += n;
    return n;
  }

  uint64 remaining(Krn_status& status) override {
    status.clear();
    return m_text.size() - m_position;
  }

 private:
  const std::string& m_text;
  std::size_t m_position = 0;
};

class Unit_sink {
 public:
  virtual ~Unit_sink() = default;
  virtual void write(const char16_t* units, std::size_t count, Krn_status& status) = 0;
};

class Stream_unit_sink : public Unit_sink {
 public:
  explicit Stream_unit_sink(Krn_ostream& out) : m_out(out) {}
  void write(const char16_t* units, std::size_t count, Krn_status& status) override {
    m_out.write(count * sizeof(char16_t), units, status);
  }

 private:
  Krn_ostream& m_out;
};

class String_unit_sink : public Unit_sink {
 public:
  explicit String_unit_sink(Wstring& out) : m_out(out) {}
  void write(const char16_t* units, std::size_t count, Krn_status& status) override {
    status.clear();
    m_out.append(units, count);
  }

 private:
  Wstring& m_out;
};

class Discarding_unit_sink : public Unit_sink {
 public:
  void write(const char16_t*, std::size_t, Krn_status& status) override { status.clear(); }
};

// UTF-16 units from bytes in host order; an odd last byte is remembered as a
// broken unit.
class Unit_source {
 public:
  virtual ~Unit_source() = default;
  virtual std::size_t read(char16_t* units, std::size_t count, Krn_status& status) = 0;
  virtual bool broken_tail() const { return false; }
};

class Stream_unit_source : public Unit_source {
 public:
  explicit Stream_unit_source(Krn_istream& in) : m_in(in) {}

  std::size_t read(char16_t* units, std::size_t count, Krn_status& status) override {
    auto* bytes = reinterpret_cast<char*>(units);
    std::size_t have = 0;
    if (m_carry) {
      bytes[0] = m_carried;
      have = 1;
      m_carry = false;
    }
    // Read until a whole unit is there or the data ends.
    while (have < 2) {
      const auto got = static_cast<std::size_t>(m_in.read(count * 2 - have, bytes + have, status));
      if (!end_of_data(got, status)) return 0;
      if (got == 0) {
        m_broken_tail = have == 1;
        return 0;
      }
      have += got;
    }
    if (have % 2 != 0) {
      m_carry = true;
      m_carried = bytes[have - 1];
    }
    return have / 2;
  }

  bool broken_tail() const override { return m_broken_tail; }

 private:
  Krn_istream& m_in;
  bool m_carry = false;
  char m_carried = 0;
  bool m_broken_tail = false;
};

class String_unit_source : public Unit_source {
 public:
  explicit String_unit_source(const Wstring& text) : m_text(text) {}

  std::size_t read(char16_t* units, std::size_t count, Krn_status& status) override {
    status.clear();
    const std::size_t n = std::min(count, m_text.size() - m_position);
    m_text.copy(units, n, m_position);
    m_position += n;
    return n;
  }

 private:
  const Wstring& m_text;
  std::size_t m_position = 0;
};

class Byte_sink {
 public:
  virtual ~Byte_sink() = default;
  virtual void write(const char* bytes, std::size_t count, Krn_status& status) = 0;
};

class Stream_byte_sink : public Byte_sink {
 public:
  explicit Stream_byte_sink(Krn_ostream& out) : m_out(out) {}
  void write(const char* bytes, std::size_t count, Krn_status& status) override { m_out.write(count, bytes, status); }

 private:
  Krn_ostream& m_out;
};

class String_byte_sink : public Byte_sink {
 public:
  explicit String_byte_sink(std::string& out) : m_out(out) {}
  void write(const char* bytes, std::size_t count, Krn_status& status) override {
    status.clear();
    m_out.append(bytes, count);
  }

 private:
  std::string& m_out;
};

class Discarding_byte_sink : public Byte_sink {
 public:
  void write(const char*, std::size_t, Krn_status& status) override { status.clear(); }
};

// ---- To UTF-16 -------------------------------------------------------------

struct To_utf16_options {
  bool limited = false;  // a noise tolerance applies
  std::int16_t noise = 0;
  bool inspect = false;
  bool allow_nul = false;
  bool limit_at_end = false;  // against the bytes consumed, once all are
};

// noise percent of size, rounded up: q = noise * size * 2 / 100, made even,
// halved.
uint64 noise_limit(std::int16_t noise, uint64 size) {
  const auto percent = static_cast<unsigned __int128>(noise < 0 ? 0 : noise);
  unsigned __int128 q = percent * size * 2 / 100;
  q += q & 1;
  return static_cast<uint64>(q / 2);
}

// Windows text read as Latin-1 brings its curly quotes as C1 controls; the
// other controls (line and page breaks aside) do not belong in text.
uint64 inspect_output(char16_t* units, std::size_t count, bool allow_nul) {
  uint64 noise = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char16_t unit = units[i];
    if (unit == 0x91) {
      units[i] = 0x2018;
    } else if (unit == 0x92) {
      units[i] = 0x2019;
    } else if (u_isISOControl(unit) && !(unit >= 9 && unit <= 13) && !(unit == 0 && allow_nul)) {
      ++noise;
    }
  }
  return noise;
}

bool latin1_to_utf16(Byte_source& in, Unit_sink& out, Krn_status& status) {
  std::vector<char> block(BLOCK_BYTES);
  std::vector<char16_t> units(BLOCK_BYTES);
  for (;;) {
    const std::size_t got = in.read(block.data(), block.size(), status);
    if (!status.ok()) return false;
    if (got == 0) return true;
    for (std::size_t i = 0; i < got; ++i) units[i] = static_cast<unsigned char>(block[i]);
    out.write(units.data(), got, status);
    if (!status.ok()) return false;
  }
}

bool convert_to_utf16(Enr_encoding encoding, Byte_source& in, Unit_sink& out, const To_utf16_options& options,
                      Krn_status& status) {
  status.clear();
  if (!options.limited && encoding == ENR_ISO_8859_1) return latin1_to_utf16(in, out, status);

  uint64 limit = NO_LIMIT;
  if (options.limited && !options.limit_at_end) {
    const uint64 size = in.remaining(status);
    if (!status.ok()) return false;
    limit = noise_limit(options.noise, size);
  }
  Noise noise;
  const Converter converter = open_converter(encoding, noise, status);
  if (!converter) return false;

  std::vector<char> block(BLOCK_BYTES);
  std::vector<char16_t> units(OUTPUT_UNITS);
  uint64 consumed = 0;
  bool flush = false;
  while (!flush) {
    const std::size_t got = in.read(block.data(), block.size(), status);
    if (!status.ok()) return false;
    flush = got == 0;
    consumed += got;
    const char* source = block.data();
    const char* const source_end = source + got;
    bool more = true;
    while (more) {
      const char* const source_before = source;
      char16_t* target = units.data();
      UErrorCode error = U_ZERO_ERROR;
      ucnv_toUnicode(converter.get(), &target, units.data() + units.size(), &source, source_end, nullptr, flush,
                     &error);
      const auto produced = static_cast<std::size_t>(target - units.data());
      more = false;
      if (error == U_BUFFER_OVERFLOW_ERROR) {
        more = true;
      } else if (error == U_ILLEGAL_ESCAPE_SEQUENCE && (source != source_before || produced > 0)) {
        ++noise.units;
        more = source != source_end;
      } else if (U_FAILURE(error)) {
        krn::krn_translate_icu_error(error, status);
        return false;
      }
      if (options.inspect) noise.units += inspect_output(units.data(), produced, options.allow_nul);
      if (noise.units > limit) {
        status.assign(ENR_E_NOISE_LIMIT, krn::Krn_int_status_arg(options.noise));
        return false;
      }
      if (produced > 0) {
        out.write(units.data(), produced, status);
        if (!status.ok()) return false;
      }
    }
  }
  if (options.limited && options.limit_at_end && noise.units > noise_limit(options.noise, consumed)) {
    status.assign(ENR_E_NOISE_LIMIT, krn::Krn_int_status_arg(options.noise));
    return false;
  }
  return true;
}

To_utf16_options limited(std::int16_t noise, bool inspect, bool allow_nul) {
  To_utf16_options options;
  options.limited = true;
  options.noise = noise;
  options.inspect = inspect;
  options.allow_nul = allow_nul;
  options.limit_at_end = !inspect;
  return options;
}

// ---- From UTF-16 -----------------------------------------------------------

// The units that did not convert (each substituted), or the status's error.
bool convert_from_utf16(Enr_encoding encoding, Unit_source& in, Byte_sink& out, uint64& failures,
                        Krn_status& status) {
  status.clear();
  failures = 0;
  Noise noise;
  const Converter converter = open_converter(encoding, noise, status);
  if (!converter) return false;

  std::vector<char16_t> block(BLOCK_UNITS);
  std::vector<char> bytes(OUTPUT_BYTES);
  bool flush = false;
  while (!flush) {
    const std::size_t got = in.read(block.data(), block.size(), status);
    if (!status.ok()) return false;
    flush = got == 0;
    const char16_t* source = block.data();
    const char16_t* const source_end = source + got;
    bool more = true;
    while (more) {
      char* target = bytes.data();
      UErrorCode error = U_ZERO_ERROR;
      ucnv_fromUnicode(converter.get(), &target, bytes.data() + bytes.size(), &source, source_end, nullptr, flush,
                       &error);
      more = error == U_BUFFER_OVERFLOW_ERROR;
      if (U_FAILURE(error) && !more) {
        krn::krn_translate_icu_error(error, status);
        return false;
      }
      const auto produced = static_cast<std::size_t>(target - bytes.data());
      if (produced > 0) {
        out.write(bytes.data(), produced, status);
        if (!status.ok()) return false;
      }
    }
  }
  failures = noise.units + (in.broken_tail() ? 1 : 0);
  return true;
}

std::uint16_t in_encoding(Enr_encoding encoding, Unit_source& in, Krn_status& status) {
  Discarding_byte_sink out;
  uint64 failures = 0;
  const bool converted = convert_from_utf16(encoding, in, out, failures, status);
  return converted && failures == 0 ? 0 : 100;
}

}  // namespace

bool enr_encoding_to_utf16(Enr_encoding encoding, Krn_istream& in, Krn_ostream& out, Krn_status& status) {
  Stream_source source(in);
  Stream_unit_sink sink(out);
  return convert_to_utf16(encoding, source, sink, To_utf16_options{}, status);
}

bool enr_encoding_to_utf16(Enr_encoding encoding, Krn_istream& in, Krn_ostream& out, std::int16_t noise,
                           Krn_status& status) {
  return enr_encoding_to_utf16(encoding, in, out, noise, false, false, status);
}

bool enr_encoding_to_utf16(Enr_encoding encoding, Krn_istream& in, Krn_ostream& out, std::int16_t noise,
                           bool allow_nul, Krn_status& status) {
  return enr_encoding_to_utf16(encoding, in, out, noise, false, allow_nul, status);
}

bool enr_encoding_to_utf16(Enr_encoding encoding, Krn_istream& in, Krn_ostream& out, std::int16_t noise,
                           bool raw_output, bool allow_nul, Krn_status& status) {
  Stream_source source(in);
  Stream_unit_sink sink(out);
  return convert_to_utf16(encoding, source, sink, limited(noise, !raw_output, allow_nul), status);
}

bool enr_encoding_to_utf16(Enr_encoding encoding, const std::string& in, Wstring& out, Krn_status& status) {
  out.clear();
  String_source source(in);
  String_unit_sink sink(out);
  if (convert_to_utf16(encoding, source, sink, To_utf16_options{}, status)) return true;
  out.clear();
  return false;
}

bool enr_encoding_to_utf16(Enr_encoding encoding, const std::string& in, Wstring& out, std::int16_t noise,
                           Krn_status& status) {
  out.clear();
  String_source source(in);
  String_unit_sink sink(out);
  if (convert_to_utf16(encoding, source, sink, limited(noise, true, false), status)) return true;
  out.clear();
  return false;
}

bool enr_utf16_to_encoding(Enr_encoding encoding, Krn_istream& in, Krn_ostream& out, Krn_status& status) {
  Stream_unit_source source(in);
  Stream_byte_sink sink(out);
  uint64 failures = 0;
  return convert_from_utf16(encoding, source, sink, failures, status);
}

bool enr_utf16_to_encoding(Enr_encoding encoding, const Wstring& in, std::string& out, Krn_status& status) {
  out.clear();
  String_unit_source source(in);
  String_byte_sink sink(out);
  uint64 failures = 0;
  if (convert_from_utf16(encoding, source, sink, failures, status)) return true;
  out.clear();
  return false;
}

bool enr_encoding_is_valid(Enr_encoding encoding, Krn_istream& in, std::int16_t noise, Krn_status& status) {
  Stream_source source(in);
  Discarding_unit_sink sink;
  return convert_to_utf16(encoding, source, sink, limited(noise, true, false), status);
}

bool enr_encoding_is_valid(Enr_encoding encoding, const std::string& in, std::int16_t noise, Krn_status& status) {
  String_source source(in);
  Discarding_unit_sink sink;
  return convert_to_utf16(encoding, source, sink, limited(noise, true, false), status);
}

std::uint16_t enr_utf16_is_in_encoding(Enr_encoding encoding, const Wstring& text, Krn_status& status) {
  String_unit_source source(text);
  return in_encoding(encoding, source, status);
}

std::uint16_t enr_utf16_is_in_encoding(Enr_encoding encoding, Krn_istream& text, Krn_status& status) {
  Stream_unit_source source(text);
  return in_encoding(encoding, source, status);
}

// Failures are counted per character, so a text of characters outside the
// Basic Multilingual Plane (two units, one failure each) counts as well.
bool enr_utf16_is_not_in_encoding(Enr_encoding encoding, const Wstring& text, Krn_status& status) {
  String_unit_source source(text);
  Discarding_byte_sink out;
  uint64 failures = 0;
  if (!convert_from_utf16(encoding, source, out, failures, status)) return false;
  // A lone surrogate counts as one character, as it fails as one.
  return failures == static_cast<uint64>(u_countChar32(text.data(), static_cast<int32_t>(text.size())));
}

namespace {

// U+FFFD whatever the converter's own substitute: single-byte converters
// would write U+001A, a control that reads as a separator.
void U_CALLCONV replace_to_unicode(const void* context, UConverterToUnicodeArgs* args, const char*, int32_t,
                                   UConverterCallbackReason reason, UErrorCode* error) {
  if (reason != UCNV_UNASSIGNED && reason != UCNV_ILLEGAL && reason != UCNV_IRREGULAR) return;
  ++*static_cast<std::uint64_t*>(const_cast<void*>(context));
  *error = U_ZERO_ERROR;
  const UChar replacement = 0xFFFD;
  ucnv_cbToUWriteUChars(args, &replacement, 1, 0, error);
}

}  // namespace

Enr_utf8_decoder::Enr_utf8_decoder(Enr_encoding encoding, krn::Krn_status& status)
    : Enr_utf8_decoder(encoding, false, status) {}

Enr_utf8_decoder::Enr_utf8_decoder(Enr_encoding encoding, bool substitute, krn::Krn_status& status) {
  status.clear();
  Noise unused;
  Converter converter = open_converter(encoding, unused, status);
  if (!status.ok()) return;
  UErrorCode error = U_ZERO_ERROR;
  if (substitute) {
    ucnv_setToUCallBack(converter.get(), replace_to_unicode, &m_substituted, nullptr, nullptr, &error);
  } else {
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  }
  if (U_FAILURE(error)) {
    krn::krn_translate_icu_error(error, status);
    return;
  }
  m_converter = converter.release();
}

Enr_utf8_decoder::~Enr_utf8_decoder() {
  if (m_converter != nullptr) ucnv_close(static_cast<UConverter*>(m_converter));
}

bool Enr_utf8_decoder::decode(const char* bytes, std::size_t size, bool last, std::string& out) {
  if (m_converter == nullptr || m_failed) return false;
  auto* converter = static_cast<UConverter*>(m_converter);
  const char* source = bytes;
  const char* const limit = bytes + size;
  UChar units[16384];
  for (;;) {
    UChar* target = units;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &target, units + std::size(units), &source, limit, nullptr, last, &error);
    // A pair may straddle two calls: its lead waits for the trail.
    Wstring text;
    if (m_lead != 0) text += m_lead;
    text.append(units, target);
    m_lead = 0;
    if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) {
      m_lead = text.back();
      text.pop_back();
    }
    std::string utf8;
    krn::krn_utf16_to_utf8(text, utf8);
    out += utf8;
    if (error == U_BUFFER_OVERFLOW_ERROR) continue;
    if (U_FAILURE(error)) {
      m_failed = true;
      return false;
    }
    return true;
  }
}

}  // namespace enr
