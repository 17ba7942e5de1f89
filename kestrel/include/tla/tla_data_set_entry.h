#ifndef TLA_DATA_SET_ENTRY_H
#define TLA_DATA_SET_ENTRY_H

// One record of a data set, loaded by its offset: the token CRCs of each
// field and, in a version-1 file, each field's text.

#include <cstdint>
#include <string>
#include <vector>

#include "tla/tla_export.h"
#include "krn/krn_types.h"
#include "tla/tla_data_set_format.h"

namespace krn {
class Krn_file_buffer;
class Krn_status;
}  // namespace krn

namespace tla {

class Tla_data_set_input;

// The order of the virtual operations is fixed: destructor, tokens, text,
// load.
class TLA_API Tla_data_set_entry_base {
 public:
  Tla_data_set_entry_base() = default;
  Tla_data_set_entry_base(const Tla_data_set_entry_base&) = delete;
  Tla_data_set_entry_base& operator=(const Tla_data_set_entry_base&) = delete;

  virtual ~Tla_data_set_entry_base();
  // The token CRCs and the formatter type of the first field named exactly
  // so; false when there is none or the record has not been loaded.
  virtual bool tokens(const krn::Wstring& field_name, std::vector<std::uint64_t>& crcs,
                      krn::GUID& formatter_type) const = 0;
  // The stored text of the field; only version-1 records keep one.
  virtual bool text(const krn::Wstring& field_name, krn::Wstring& text, krn::GUID& formatter_type) const = 0;
  virtual void load(krn::Krn_status& status) = 0;
};

// Borrows the connector's file and field descriptors: it must not outlive
// the connector that made it, nor the connector's close().
class TLA_API Tla_data_set_entry_file : public Tla_data_set_entry_base {
 public:
  // The record lies at record_offset inside the data area [data_start,
  // data_end); load() reads nothing outside it.
  Tla_data_set_entry_file(const krn::Krn_file_buffer& file, const Tla_schema& fields, std::uint16_t version,
                          std::uint64_t data_start, std::uint64_t data_end, krn::int64 record_offset);
  ~Tla_data_set_entry_file() override;

  bool tokens(const krn::Wstring& field_name, std::vector<std::uint64_t>& crcs,
              krn::GUID& formatter_type) const override;
  bool text(const krn::Wstring& field_name, krn::Wstring& text, krn::GUID& formatter_type) const override;
  // TLA_E_FILE_DAMAGED when the record does not lie wholly inside the data
  // area; TLA_E_RECORD_DAMAGED for a version-2 terminator other than 0x00;
  // TLA_E_RECORD_FIELD_COUNT for a version-1 record with the wrong number of
  // values.
  void load(krn::Krn_status& status) override;

  krn::int64 record_offset() const { return m_record_offset; }

 private:
  void load_tokens(Tla_data_set_input& input, krn::Krn_status& status);
  void load_text(Tla_data_set_input& input, krn::Krn_status& status);
  // The index of the first field named exactly so, or the field count.
  std::size_t field_index(const krn::Wstring& field_name) const;
  void report_damaged(const krn::Krn_status& cause, krn::Krn_status& status) const;

  const krn::Krn_file_buffer& m_file;
  const Tla_schema& m_fields;
  krn::int64 m_record_offset;
  std::uint64_t m_data_start;
  std::uint64_t m_data_end;
  std::vector<std::string> m_texts;
  std::vector<std::vector<std::uint64_t>> m_tokens;
  std::uint16_t m_version;
};

}  // namespace tla

#endif
