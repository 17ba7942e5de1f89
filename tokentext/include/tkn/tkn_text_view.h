#ifndef TKN_TEXT_VIEW_H
#define TKN_TEXT_VIEW_H

// A tokenised text: the physical tokens of one text in a doubly linked chain
// in text order, the virtual tokens made over them and the associations
// between the two kinds. The view interns texts through its text table (its
// own unless one is given) and does not own its physical tokens: whoever adds
// them allocates and frees them. A physical token must be destroyed while its
// view lives, or never (its storage simply released, as a pool does).
//
// The tool derives its view from Tkn_text_view across the library boundary,
// so the order of the virtual operations below is part of the binary
// interface: append, never insert or reorder.

#include <cstddef>
#include <list>
#include <set>
#include <vector>

#include <boost/unordered_map.hpp>

#include "krn/krn_critical.h"
#include "krn/krn_types.h"
#include "ptl/ptl_allocator.h"
#include "tkn/tkn_export.h"
#include "tkn/tkn_text.h"
#include "tkn/tkn_token.h"
#include "tkn/tkn_token_character_iterator.h"
#include "tkn/tkn_types.h"

namespace krn {
class Krn_status;
}

namespace tkn {

// An analysis run over a view, alone or in parallel with others.
class TKN_API Tkn_view_processor {
 public:
  virtual ~Tkn_view_processor();
  // The identifier a view registers the processor under.
  virtual unsigned identifier() const = 0;
  // Runs the analysis. Under parallel_for_each several processors run on one
  // view at once: those that change the view synchronise through lock().
  virtual void process(Tkn_text_view& view) = 0;
  // A short name for diagnostics.
  virtual const char* name() const = 0;
};

class TKN_API Tkn_text_view {
 public:
  using vtoken_list = std::list<Tkn_virtual_token*>;
  using processor_list = std::vector<Tkn_view_processor*>;
  using entry = Tkn_string_entry;

  // The redaction character until one is set: '*'.
  static constexpr unsigned DEFAULT_REDACTION_CHARACTER = 42;

  // A null table makes the view create (and later delete) one of its own.
  Tkn_text_view(Tkn_view_type type, Tkn_text_table* table);
  // Deletes the virtual tokens, then the own table.
  virtual ~Tkn_text_view();

  Tkn_text_view(const Tkn_text_view&) = delete;
  Tkn_text_view& operator=(const Tkn_text_view&) = delete;

  virtual Tkn_view_type type() const;
  // Forgets the chain (the tokens are not freed), deletes every virtual token
  // and zeroes the counters.
  virtual void start_content();
  // Appends the token to the chain. Null: std::invalid_argument.
  virtual void add_content(Tkn_physical_token* token);
  // Numbers the tokens 1, 2, 3... and counts them by type.
  virtual void end_content();
  virtual const Tkn_physical_token* cfront() const;
  virtual Tkn_physical_token* cfront();
  virtual const Tkn_physical_token* cback() const;
  virtual Tkn_physical_token* cback();
  // First unit of the first token (tokens without units are stepped over);
  // one past the last unit (text plus trailer) of the last token. Both the
  // empty iterator on an empty view.
  virtual Tkn_token_character_iterator cbegin(Tkn_text_form form) const;
  virtual Tkn_token_character_iterator cend(Tkn_text_form form) const;
  // A pair already present is not added again. Null: std::invalid_argument.
  virtual void add_association(Tkn_virtual_token* vtoken, Tkn_physical_token* ptoken);
  virtual void remove_association(Tkn_virtual_token* vtoken, Tkn_physical_token* ptoken);
  virtual void remove_associations(Tkn_physical_token* ptoken);
  virtual std::vector<Tkn_virtual_token*> find_associations(const Tkn_physical_token* ptoken) const;
  // Takes ownership. Null: std::invalid_argument.
  virtual void add_virtual_token(Tkn_virtual_token* vtoken);
  virtual vtoken_list::const_iterator vbegin() const;
  virtual vtoken_list::iterator vbegin();
  virtual vtoken_list::const_iterator vend() const;
  virtual vtoken_list::iterator vend();
  // Deletes the virtual tokens whose type shares a bit with mask, and forgets
  // the registered processor identifiers that do.
  virtual void purge(unsigned mask);
  virtual unsigned get_redaction_character() const;
  virtual void set_redaction_character(unsigned code_point);
  // As of the last end_content().
  virtual unsigned word_token_count() const;
  virtual unsigned number_token_count() const;
  virtual unsigned punctuation_token_count() const;
  virtual unsigned symbol_token_count() const;
  virtual const Tkn_text* insert_text(unsigned type, const krn::Wstring& text);
  virtual const Tkn_text* insert_whitespace(const krn::Wstring& text);
  virtual const Tkn_text* empty_text() const;
  virtual const entry* lookup_text(krn::uint64 key) const;
  virtual const entry* lookup_text(krn::uint64 key, const krn::Wstring& text) const;
  virtual const entry* create_string(const krn::Wstring& text);
  virtual void lock();
  virtual void unlock();

  void type(Tkn_view_type type) { m_type = type; }
  // True when the identifier was not registered yet.
  bool register_view_processor(unsigned id);
  // Runs each processor's process(*this), in list order.
  void for_each(const processor_list& processors);
  // The same calls through oneTBB, in ranges of ten processors, when the
  // machine reported SSE2 at construction; else one after another. The first
  // exception thrown by a processor passes to the caller. Null entries:
  // std::invalid_argument before anything runs (also for for_each).
  void parallel_for_each(const processor_list& processors);

  Tkn_text_table* text_table() const { return m_table; }

 private:
  friend class Tkn_physical_token;
  // Keeps the chain's ends valid when a token of it is destroyed.
  void forget_token(Tkn_physical_token* token) noexcept;

  using association_map = boost::unordered_multimap<const Tkn_physical_token*, Tkn_virtual_token*>;

  Tkn_view_type m_type;
  bool m_owns_table;
  Tkn_text_table* m_table;
  Tkn_physical_token* m_front;
  Tkn_physical_token* m_back;
  vtoken_list m_vtokens;
  association_map m_associations;
  krn::Krn_critical m_lock;
  unsigned m_redaction_character;
  unsigned m_words;
  unsigned m_numbers;
  unsigned m_punctuation;
  unsigned m_symbols;
  bool m_parallel;
  std::set<unsigned> m_processors;
};

// A view made of the tokens of other views, each wrapped in a token of this
// one; a separator is put between the views' texts as the trailer of the
// last token before each joined view.
class TKN_API Tkn_container_text_view : public Tkn_text_view {
 public:
  using wrapper_pool = ptl::Ptl_allocator<Tkn_wrapping_token, 1000, 15000>;

  // A null allocator makes the view create (and own) one when first needed.
  Tkn_container_text_view(Tkn_view_type type, const krn::Wstring& separator, Tkn_text_table* table,
                          wrapper_pool* allocator);
  ~Tkn_container_text_view() override;

 protected:
  // std::logic_error: tokens come only from other views.
  void add_content(Tkn_physical_token* token) override;

 public:
  // Appends a wrapping token for each of other's physical tokens. Does
  // nothing when status already holds an error. Adding the view itself:
  // std::logic_error. Pool exhausted: status 0xC2000001, then
  // std::logic_error.
  virtual void add_content(Tkn_text_view& other, krn::Krn_status& status);

 private:
  wrapper_pool* m_allocator;
  krn::Wstring m_separator;
  bool m_owns_allocator;
  bool m_has_separator;
};

}  // namespace tkn

#endif
