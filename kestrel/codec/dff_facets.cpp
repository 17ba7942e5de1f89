#include "codec/dff_facets.h"

namespace dff {

const krn::GUID* Dff_text_facet::facet_identifier() const { return &DFF_TEXT_FACET_ID; }

Dff_text_facet::~Dff_text_facet() = default;

const krn::GUID* Dff_annotation_facet::facet_identifier() const { return &DFF_ANNOTATION_FACET_ID; }

Dff_annotation_facet::~Dff_annotation_facet() = default;

}  // namespace dff
