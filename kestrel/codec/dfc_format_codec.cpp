#include "codec/dfc_format_codec.h"

#include "krn/krn_status.h"

namespace dfc {

Dfc_format_facet::~Dfc_format_facet() = default;

Dfc_format_codec::~Dfc_format_codec() = default;

void Dfc_format_codec::set_editable(bool editable) { m_editable = editable; }

bool Dfc_format_codec::editable() const { return m_editable; }

void Dfc_format_codec::set_secondary_flag(bool flag) { m_secondary_flag = flag; }

bool Dfc_format_codec::secondary_flag() const { return m_secondary_flag; }

void Dfc_format_codec::start() {}

void Dfc_format_codec::commit() {}

void Dfc_format_codec::abort() {}

bool Dfc_format_codec::in_transaction() const { return false; }

bool Dfc_format_codec::committed() const { return false; }

bool Dfc_format_codec::has_format_name() const { return false; }

krn::Wstring Dfc_format_codec::format_name() const { return krn::Wstring(); }

krn::Krn_buffer* Dfc_format_codec::compose(krn::Krn_status& status) {
  status.clear();
  return nullptr;
}

Dfc_format_facet* Dfc_format_codec::next_facet(unsigned& cookie) {
  cookie = 0xFFFFFFFFu;
  return nullptr;
}

}  // namespace dfc
