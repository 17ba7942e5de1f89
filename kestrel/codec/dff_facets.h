#ifndef DFF_FACETS_H
#define DFF_FACETS_H

// The two facets a text codec offers: the text facet hands out token views
// of the content, the annotation facet adds whole lines before or after it.
// Virtual operations keep their declared order (see dfc_format_codec.h).

#include <cstddef>

#include "codec/dfc_format_codec.h"
#include "krn/krn_types.h"

namespace tkn {
class Tkn_text_view;
}

namespace dff {

// {7BA02554-A55F-42FC-AAB9-6AEF8955BD71}
inline constexpr krn::GUID DFF_TEXT_FACET_ID = {0x7BA02554, 0xA55F, 0x42FC,
                                                {0xAA, 0xB9, 0x6A, 0xEF, 0x89, 0x55, 0xBD, 0x71}};
// {A3FA5F0C-542C-4641-9ED1-8E6AE24A2EF4}
inline constexpr krn::GUID DFF_ANNOTATION_FACET_ID = {0xA3FA5F0C, 0x542C, 0x4641,
                                                      {0x9E, 0xD1, 0x8E, 0x6A, 0xE2, 0x4A, 0x2E, 0xF4}};

// Cookie value telling that no further view follows.
inline constexpr unsigned DFF_NO_MORE_VIEWS = 0xFFFFFFFFu;

class Dff_text_facet : public dfc::Dfc_format_facet {
 public:
  const krn::GUID* facet_identifier() const override;
  ~Dff_text_facet() override;

  // The view with that index, starting with index 0 and cookie 0; the cookie
  // comes back as the one to pass for the next view. The facet keeps the
  // view: it lives until the content is attached again or the codec goes.
  virtual tkn::Tkn_text_view* view(unsigned index, unsigned& cookie) = 0;
};

class Dff_annotation_facet : public dfc::Dfc_format_facet {
 public:
  const krn::GUID* facet_identifier() const override;
  ~Dff_annotation_facet() override;

  // Record the lines of text for insertion before or after the content;
  // true when they were recorded.
  virtual bool insert_content_front(const krn::Wstring& text) = 0;
  virtual bool insert_content_back(const krn::Wstring& text) = 0;
  virtual bool insert_content_front(const krn::Char16* data, std::size_t byte_length) = 0;
  virtual bool insert_content_back(const krn::Char16* data, std::size_t byte_length) = 0;
};

}  // namespace dff

#endif
