#ifndef TLA_DATA_SET_CONNECTOR_H
#define TLA_DATA_SET_CONNECTOR_H

// Reading a data set file: the connector checks the file and keeps, per key
// index, the first hash of every block of entries, so that a search reads
// one block (and at most its neighbours) instead of the whole index.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tla/tla_export.h"
#include "krn/krn_types.h"
#include "tla/tla_data_set_entry.h"
#include "tla/tla_data_set_format.h"

namespace krn {
class Krn_file_buffer;
class Krn_status;
}  // namespace krn

namespace tla {

class Tla_data_set_input;

// What find() looks for: the value's text and, for version-1 files only, its
// key hash computed by the caller (those files hash the text differently).
struct Tla_search_value {
  std::uint64_t key_hash = 0;
  krn::Wstring text;
};

// The records find() hands out; the caller owns them.
using Tla_entry_list = std::vector<std::unique_ptr<Tla_data_set_entry_base>>;

// The order of the virtual operations is fixed: destructor, schema, find,
// refresh, set_property, open, close, load, record_offsets, create_entry.
class TLA_API Tla_data_set_connector_base {
 public:
  Tla_data_set_connector_base() = default;
  Tla_data_set_connector_base(const Tla_data_set_connector_base&) = delete;
  Tla_data_set_connector_base& operator=(const Tla_data_set_connector_base&) = delete;

  virtual ~Tla_data_set_connector_base();
  virtual const Tla_schema* schema() const = 0;
  virtual void find(const Tla_search_value& value, const krn::Wstring& key_name, Tla_entry_list& results,
                    krn::Krn_status& status) = 0;
  // A hook for sources whose content changes under the reader.
  virtual void refresh() = 0;
  virtual void set_property(const std::string& name, const krn::Wstring& value, krn::Krn_status& status) = 0;
  virtual void open(krn::Krn_status& status) = 0;
  virtual void close() = 0;
  virtual void load(krn::Krn_status& status, bool accept_older) = 0;
  virtual std::vector<std::uint64_t>& record_offsets(krn::Krn_status& status) = 0;
  virtual void create_entry(std::unique_ptr<Tla_data_set_entry_base>& entry, krn::int64 record_offset,
                            krn::Krn_status& status) = 0;
};

// One block of a key index: its first entry's hash and that entry's offset
// in the file.
struct Tla_index_block {
  std::uint64_t first_hash = 0;
  std::uint64_t position = 0;
};

struct Tla_key_table {
  krn::Wstring name;
  std::vector<Tla_index_block> blocks;
  // Where the key's entries begin (after its name and padding).
  std::uint64_t entries_start = 0;
};

// Used by one thread at a time. Usage: set_property("DataFileName", name),
// open, load; then find, record_offsets and create_entry; close.
class TLA_API Tla_data_set_connector_file : public Tla_data_set_connector_base {
 public:
  Tla_data_set_connector_file();
  ~Tla_data_set_connector_file() override;

  const Tla_schema* schema() const override { return &m_fields; }
  // Appends the records whose key field holds the value's tokens. No key
  // index of that name gives no results. TLA_E_NO_SEARCH_TOKENS when the
  // value yields no tokens to search for; TLA_E_DATA_SET_NOT_OPEN before a
  // successful load. On any failure results are as they were.
  void find(const Tla_search_value& value, const krn::Wstring& key_name, Tla_entry_list& results,
            krn::Krn_status& status) override;
  void refresh() override;
  // Only "DataFileName" (any case) is known; other names are ignored.
  void set_property(const std::string& name, const krn::Wstring& value, krn::Krn_status& status) override;
  // Opens the named file for reading, shared with other readers only.
  // TLA_E_DATA_SET_NOT_OPEN on top of the file's failure.
  void open(krn::Krn_status& status) override;
  // Forgets the file name and everything loaded, and closes the file.
  void close() override;
  // Checks the header, the checksum and the layout of the key indexes, and
  // reads the block tables. Once loaded, further calls do nothing until
  // close(). Without accept_older a version other than the current one is
  // TLA_E_VERSION; with it, version-1 files are read too, and a version that
  // no writer ever made is TLA_E_FILE_DAMAGED.
  void load(krn::Krn_status& status, bool accept_older) override;
  // The record offsets of the first key index, in its order (no key index
  // gives none). The list is rebuilt on every call and stays valid until the
  // next call or close().
  std::vector<std::uint64_t>& record_offsets(krn::Krn_status& status) override;
  // Loads the record at the offset; on failure entry stays empty.
  void create_entry(std::unique_ptr<Tla_data_set_entry_base>& entry, krn::int64 record_offset,
                    krn::Krn_status& status) override;

  // Reads the whole file and checks what load() leaves to the readers of
  // single records: the field descriptors, every record and every key
  // index, so that a search can trust what it finds and an upgrade what it
  // copies. Loads the file first (older versions accepted) when that has
  // not been done. A failure of load() is passed on as it is; any other
  // problem is TLA_E_FILE_DAMAGED naming the file, over a status that says
  // what is wrong and at which offset. Needs open(); the file stays loaded.
  // Memory grows by 8 bytes per record and a bit per record and key index.
  void verify(krn::Krn_status& status);

  const krn::Wstring& data_file_name() const { return m_data_file_name; }
  std::uint16_t version() const { return m_version; }
  std::uint16_t key_count() const { return m_key_count; }
  std::uint32_t record_count() const { return m_record_count; }
  std::uint64_t data_start() const { return m_data_start; }
  std::uint64_t index_offset() const { return m_index_offset; }
  std::uint32_t block_size() const { return m_block_size; }
  // One per key index, in file order.
  const std::vector<Tla_key_table>& key_tables() const { return m_key_tables; }

 private:
  bool ready() const;
  void load_file(krn::Krn_status& status, bool accept_older);
  void load_key_tables(Tla_data_set_input& input, std::uint64_t file_size, krn::Krn_status& status);
  void forget_content();
  void report_damaged(const krn::Krn_status& cause, krn::Krn_status& status) const;
  // Reads count index entries from position into bytes (16 each).
  bool read_entries(Tla_data_set_input& input, std::uint64_t position, std::uint64_t count,
                    std::vector<unsigned char>& bytes, krn::Krn_status& status) const;
  // Scans the key's entries from entry number first on while their hash is
  // not above hash, collecting the records that hold the tokens.
  void scan_run(const Tla_key_table& table, std::uint64_t first, std::uint64_t hash, const krn::Wstring& key_name,
                const std::vector<std::uint64_t>& crcs, Tla_entry_list& found, krn::Krn_status& status);

  std::uint64_t m_index_offset = 0;
  std::uint64_t m_data_start = 0;
  std::uint16_t m_key_count = 0;
  std::uint32_t m_record_count = 0;
  Tla_schema m_fields;
  krn::Wstring m_data_file_name;
  std::uint16_t m_version = 0;
  std::uint64_t m_checksum = 0;
  bool m_opened = false;
  std::unique_ptr<krn::Krn_file_buffer> m_file;
  std::uint32_t m_block_size = 0;
  std::vector<Tla_key_table> m_key_tables;
  bool m_loaded = false;
  std::vector<std::uint64_t> m_record_offsets;
};

}  // namespace tla

#endif
