#ifndef ENR_DETECTOR_H
#define ENR_DETECTOR_H

// The encoding detector: the feature values of the start of a buffer go to a
// boosted ensemble of decision trees, whose charset label is then checked
// against the whole buffer (plain ASCII, HZ escapes, UTF-16 validity). An
// ISO-8859 label for text with bytes the part leaves undefined becomes the
// Windows sibling that defines them, and a short text taken for UTF-16
// without a sign of it (no byte order mark, no column of high halves, no
// common code units) that a double-byte encoding reads becomes that one.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "enr/enr_encoding.h"
#include "enr/enr_export.h"

namespace krn {
class Krn_buffer;
class Krn_critical;
class Krn_status;
}  // namespace krn

namespace utk {
class Utk_property_list;
}

namespace enr {

class Enr_adaboost;
class Enr_classifier;
class Enr_feature;
class Enr_input_text;

class ENR_API Enr_encoding_detector {
 public:
  enum Bom_type : std::uint8_t { BOM_NONE = 0, BOM_LITTLE_ENDIAN = 1, BOM_BIG_ENDIAN = 2 };

  // The process-wide detector, created on first use; null when it could not
  // be created.
  static Enr_encoding_detector* instance();

  Enr_encoding_detector(const Enr_encoding_detector&) = delete;
  Enr_encoding_detector& operator=(const Enr_encoding_detector&) = delete;

  // The virtual operations keep this order.
  virtual ~Enr_encoding_detector();

 protected:
  // The classifier's label for the buffer, before any correction.
  virtual void detect(const krn::Krn_buffer& buffer, std::string& label, krn::Krn_status& status);

 public:
  // ENR_UNKNOWN_ENCODING when nothing fits or the detection failed.
  virtual Enr_encoding detect(const krn::Krn_buffer& buffer, Bom_type& bom, krn::Krn_status& status);
  // Appends one new generator per feature family; the caller owns them.
  virtual void load_feature_generators(std::vector<Enr_feature*>& generators, krn::Krn_status& status);
  virtual void determine_feature_values(const Enr_input_text& text, const std::vector<Enr_feature*>& generators,
                                        std::uint16_t* values, krn::Krn_status& status);
  virtual std::string determine_charset(const std::uint16_t* values, krn::Krn_status& status);

  // Writes a line of feature names and a line of the buffer's feature values
  // (both tab-separated) to the named file, for looking at what the
  // classifier sees.
  void generate_features(const krn::Krn_buffer& buffer, krn::Krn_status& status, const std::string& file_name);

  bool parallel() const { return m_parallel; }

 protected:
  Enr_encoding_detector();

  void set_classifier(Enr_classifier* classifier);
  void set_feature_names(std::vector<std::string>& names) const;
  void write_all(const krn::Krn_buffer& buffer, std::string& text, krn::Krn_status& status);
  void write_feature_names(std::string& text) const;
  void write_feature_values(const std::uint16_t* values, std::string& text) const;

 private:
  // The trees' label with the two corrections above; values (ENR_FEATURE_COUNT
  // entries) receives the text's feature values.
  void classify_text(const Enr_input_text& text, std::string& label, std::uint16_t* values, krn::Krn_status& status);

  std::unique_ptr<Enr_classifier> m_classifier;
  bool m_parallel = false;

  static Enr_encoding_detector* m_instance;
  static krn::Krn_critical m_crit_sect;
};

// The corrections the detector applies to the classifier's answer, exposed
// for the tools that compare answers. Each returns true when it applied.
ENR_API bool enr_is_plain_ascii(const krn::Krn_buffer& buffer, krn::Krn_status& status);
ENR_API bool enr_has_hz_escape(const krn::Krn_buffer& buffer, krn::Krn_status& status);

// Detects and converts the buffer, trying the encoding of a string property
// "ItemCharset" first. When the encoding found differs from that property
// (or there was none), "ItemCharset" receives its name and
// "DetectedItemCharset" is set to true. The flags of the detection go to
// the three bools while the status is clean. The result is as
// Enr_detect_convert::detect_and_convert_text gives it.
ENR_API krn::Krn_buffer* enr_detect_and_convert_text_with_props(const krn::Krn_buffer* buffer,
                                                                utk::Utk_property_list& properties, bool& is_utf16,
                                                                bool& little_endian, bool& has_bom,
                                                                krn::Krn_status& status);

}  // namespace enr

#endif
