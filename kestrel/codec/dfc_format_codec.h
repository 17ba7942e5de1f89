#ifndef DFC_FORMAT_CODEC_H
#define DFC_FORMAT_CODEC_H

// The facet framework of the tool's format codecs. A codec is attached to
// content of one format held in a buffer and offers what it can do with that
// content through facets, each named by a GUID: a caller asks for the facet it
// needs and gets null when the codec has none, or was told not to offer it.
// Edits a codec records are grouped in transactions and composed into a new
// buffer on request.
//
// The virtual operations keep the order in which they are declared here:
// codecs derived elsewhere depend on it.

#include <cstring>
#include <set>

#include "krn/krn_types.h"

namespace krn {
class Krn_buffer;
class Krn_status;
}  // namespace krn

namespace dfc {

// GUIDs ordered byte by byte as they are stored (first three groups
// little-endian), which on this host is their order in memory.
struct Dfc_guid_less {
  bool operator()(const krn::GUID& a, const krn::GUID& b) const {
    static_assert(sizeof(krn::GUID) == 16, "a GUID is stored as 16 bytes without padding");
    return std::memcmp(&a, &b, sizeof(krn::GUID)) < 0;
  }
};

// The facets a codec is asked to offer.
using Dfc_facet_set = std::set<krn::GUID, Dfc_guid_less>;

class Dfc_format_facet {
 public:
  Dfc_format_facet() = default;
  Dfc_format_facet(const Dfc_format_facet&) = delete;
  Dfc_format_facet& operator=(const Dfc_format_facet&) = delete;

  // Never null; the GUID lives as long as the program.
  virtual const krn::GUID* facet_identifier() const = 0;
  virtual ~Dfc_format_facet();
};

class Dfc_format_codec {
 public:
  // Not editable: edits must be asked for.
  Dfc_format_codec() = default;
  Dfc_format_codec(const Dfc_format_codec&) = delete;
  Dfc_format_codec& operator=(const Dfc_format_codec&) = delete;

  virtual ~Dfc_format_codec();
  // The facet part of the codec for the GUID, or null.
  virtual Dfc_format_facet* query_facet(const krn::GUID& facet) = 0;
  // Borrows the content; it must outlive the attachment. Reports through
  // status and never throws.
  virtual void attach(krn::Krn_buffer* content, krn::Krn_status& status) = 0;
  virtual void set_editable(bool editable);
  virtual bool editable() const;
  // Stored for codecs that want it; this framework never consults it.
  virtual void set_secondary_flag(bool flag);
  virtual bool secondary_flag() const;
  // Transactions over the recorded edits. Here there are no edits: these do
  // nothing and report no transaction and nothing committed.
  virtual void start();
  virtual void commit();
  virtual void abort();
  virtual bool in_transaction() const;
  virtual bool committed() const;
  // Whether the format has a name of its own, and that name. No codec of
  // this tool has one: false and the empty text.
  virtual bool has_format_name() const;
  virtual krn::Wstring format_name() const;
  // The content with the committed edits applied, in a buffer the caller
  // owns; null when there is nothing to compose or composing failed.
  virtual krn::Krn_buffer* compose(krn::Krn_status& status);
  // Walks further facets; cookie 0xFFFFFFFF and null mean there are none.
  virtual Dfc_format_facet* next_facet(unsigned& cookie);

 private:
  bool m_editable = false;
  bool m_secondary_flag = false;
};

}  // namespace dfc

#endif
