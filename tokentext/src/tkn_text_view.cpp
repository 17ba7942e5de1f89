#include "tkn/tkn_text_view.h"

#include <stdexcept>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/partitioner.h>
#include <oneapi/tbb/task_group.h>

#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_system.h"

namespace tkn {
namespace {

// Processors are handed to oneTBB in ranges of this many.
constexpr std::size_t PROCESSOR_GRAIN = 10;

// Asked once per process: views are made for every field value, and the
// answer cannot change while the program runs.
bool parallel_capable() {
  static const bool capable = [] {
    krn::Krn_system* system = krn::Krn_system::instance();
    return system != nullptr && system->processor_has_capability(krn::KRN_CPU_SSE2);
  }();
  return capable;
}

std::size_t total_units(const Tkn_token* token, Tkn_text_form form) {
  return token->length(form) + token->trailer_length(form);
}

void check_processors(const Tkn_text_view::processor_list& processors, const char* message) {
  for (const Tkn_view_processor* processor : processors) {
    if (processor == nullptr) throw std::invalid_argument(message);
  }
}

}  // namespace

Tkn_view_processor::~Tkn_view_processor() = default;

// ---- Tkn_text_view ----------------------------------------------------------------

Tkn_text_view::Tkn_text_view(Tkn_view_type type, Tkn_text_table* table)
    : m_type(type),
      m_owns_table(false),
      m_table(table),
      m_front(nullptr),
      m_back(nullptr),
      m_lock(false),
      m_redaction_character(DEFAULT_REDACTION_CHARACTER),
      m_words(0),
      m_numbers(0),
      m_punctuation(0),
      m_symbols(0),
      m_parallel(parallel_capable()) {
  if (m_table == nullptr) {
    m_table = new Tkn_text_table();
    m_owns_table = true;
  }
}

Tkn_text_view::~Tkn_text_view() {
  Tkn_text_view::purge(0xFFFFFFFFu);
  if (m_owns_table) delete m_table;
}

Tkn_view_type Tkn_text_view::type() const { return m_type; }

void Tkn_text_view::start_content() {
  m_front = m_back = nullptr;
  purge(0xFFFFFFFFu);
  m_words = m_numbers = m_punctuation = m_symbols = 0;
}

void Tkn_text_view::add_content(Tkn_physical_token* token) {
  if (token == nullptr) throw std::invalid_argument("token_p is nullptr");
  if (m_back == nullptr) {
    m_front = m_back = token;
    return;
  }
  m_back->link(token);
  m_back = token;
}

void Tkn_text_view::end_content() {
  m_words = m_numbers = m_punctuation = m_symbols = 0;
  unsigned position = 0;
  for (Tkn_token* token = m_front; token != nullptr; token = token->next()) {
    static_cast<Tkn_physical_token*>(token)->position(++position);
    switch (token->type()) {
      case TKN_TOKEN_WORD:
        ++m_words;
        break;
      case TKN_TOKEN_NUMBER:
        ++m_numbers;
        break;
      case TKN_TOKEN_PUNCTUATION:
        ++m_punctuation;
        break;
      case TKN_TOKEN_SYMBOL:
        ++m_symbols;
        break;
      default:
        break;
    }
  }
}

const Tkn_physical_token* Tkn_text_view::cfront() const { return m_front; }

Tkn_physical_token* Tkn_text_view::cfront() { return m_front; }

const Tkn_physical_token* Tkn_text_view::cback() const { return m_back; }

Tkn_physical_token* Tkn_text_view::cback() { return m_back; }

Tkn_token_character_iterator Tkn_text_view::cbegin(Tkn_text_form form) const {
  if (m_front == nullptr) return Tkn_token_character_iterator(form);
  // Start where the first unit is, so that begin and end meet on a view
  // whose tokens hold no units at all.
  Tkn_token* token = m_front;
  while (token->next() != nullptr && total_units(token, form) == 0) token = token->next();
  return Tkn_token_character_iterator(token, form, true);
}

Tkn_token_character_iterator Tkn_text_view::cend(Tkn_text_form form) const {
  if (m_back == nullptr) return Tkn_token_character_iterator(form);
  return Tkn_token_character_iterator(m_back, form, false);
}

void Tkn_text_view::add_association(Tkn_virtual_token* vtoken, Tkn_physical_token* ptoken) {
  if (vtoken == nullptr) throw std::invalid_argument("Tkn_text_view::add_association - vtoken_p is null");
  if (ptoken == nullptr) throw std::invalid_argument("Tkn_text_view::add_association - ptoken_p is null");
  auto range = m_associations.equal_range(ptoken);
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second == vtoken) return;
  }
  m_associations.emplace(ptoken, vtoken);
}

void Tkn_text_view::remove_association(Tkn_virtual_token* vtoken, Tkn_physical_token* ptoken) {
  auto range = m_associations.equal_range(ptoken);
  for (auto it = range.first; it != range.second;) {
    it = it->second == vtoken ? m_associations.erase(it) : std::next(it);
  }
}

void Tkn_text_view::remove_associations(Tkn_physical_token* ptoken) {
  if (!m_associations.empty()) m_associations.erase(ptoken);
}

std::vector<Tkn_virtual_token*> Tkn_text_view::find_associations(const Tkn_physical_token* ptoken) const {
  std::vector<Tkn_virtual_token*> found;
  auto range = m_associations.equal_range(ptoken);
  for (auto it = range.first; it != range.second; ++it) found.push_back(it->second);
  return found;
}

void Tkn_text_view::add_virtual_token(Tkn_virtual_token* vtoken) {
  if (vtoken == nullptr) throw std::invalid_argument("Tkn_text_view::add_virtual_token - vtoken_p is null");
  m_vtokens.push_back(vtoken);
}

Tkn_text_view::vtoken_list::const_iterator Tkn_text_view::vbegin() const { return m_vtokens.begin(); }

Tkn_text_view::vtoken_list::iterator Tkn_text_view::vbegin() { return m_vtokens.begin(); }

Tkn_text_view::vtoken_list::const_iterator Tkn_text_view::vend() const { return m_vtokens.end(); }

Tkn_text_view::vtoken_list::iterator Tkn_text_view::vend() { return m_vtokens.end(); }

void Tkn_text_view::purge(unsigned mask) {
  for (auto it = m_vtokens.begin(); it != m_vtokens.end();) {
    if (((*it)->type() & mask) == 0) {
      ++it;
      continue;
    }
    Tkn_virtual_token* doomed = *it;
    it = m_vtokens.erase(it);
    delete doomed;
  }
  for (auto it = m_processors.begin(); it != m_processors.end();) {
    it = (*it & mask) != 0 ? m_processors.erase(it) : std::next(it);
  }
}

unsigned Tkn_text_view::get_redaction_character() const { return m_redaction_character; }

void Tkn_text_view::set_redaction_character(unsigned code_point) { m_redaction_character = code_point; }

unsigned Tkn_text_view::word_token_count() const { return m_words; }

unsigned Tkn_text_view::number_token_count() const { return m_numbers; }

unsigned Tkn_text_view::punctuation_token_count() const { return m_punctuation; }

unsigned Tkn_text_view::symbol_token_count() const { return m_symbols; }

const Tkn_text* Tkn_text_view::insert_text(unsigned type, const krn::Wstring& text) { return m_table->insert_text(type, text); }

const Tkn_text* Tkn_text_view::insert_whitespace(const krn::Wstring& text) { return m_table->insert_whitespace(text); }

const Tkn_text* Tkn_text_view::empty_text() const { return &Tkn_text::EMPTY; }

const Tkn_string_entry* Tkn_text_view::lookup_text(krn::uint64 key) const { return m_table->lookup_text(key); }

const Tkn_string_entry* Tkn_text_view::lookup_text(krn::uint64 key, const krn::Wstring& text) const {
  return m_table->lookup_text(key, text);
}

const Tkn_string_entry* Tkn_text_view::create_string(const krn::Wstring& text) { return m_table->create_string(text); }

void Tkn_text_view::lock() { m_lock.lock(); }

void Tkn_text_view::unlock() { m_lock.unlock(); }

bool Tkn_text_view::register_view_processor(unsigned id) { return m_processors.insert(id).second; }

void Tkn_text_view::for_each(const processor_list& processors) {
  check_processors(processors, "Tkn_text_view::for_each - processor is null");
  for (Tkn_view_processor* processor : processors) processor->process(*this);
}

void Tkn_text_view::parallel_for_each(const processor_list& processors) {
  check_processors(processors, "Tkn_text_view::parallel_for_each - processor is null");
  if (!m_parallel || processors.empty()) {
    for_each(processors);
    return;
  }
  // A context of its own, so that a failing processor cancels only this
  // run and not work the caller has in flight elsewhere.
  tbb::task_group_context context;
  tbb::parallel_for(
      tbb::blocked_range<std::size_t>(0, processors.size(), PROCESSOR_GRAIN),
      [this, &processors](const tbb::blocked_range<std::size_t>& range) {
        for (std::size_t i = range.begin(); i != range.end(); ++i) processors[i]->process(*this);
      },
      tbb::auto_partitioner(), context);
}

void Tkn_text_view::forget_token(Tkn_physical_token* token) noexcept {
  if (token == m_front) m_front = static_cast<Tkn_physical_token*>(token->next());
  if (token == m_back) m_back = static_cast<Tkn_physical_token*>(token->previous());
}

// ---- Tkn_container_text_view ------------------------------------------------------

Tkn_container_text_view::Tkn_container_text_view(Tkn_view_type type, const krn::Wstring& separator, Tkn_text_table* table,
                                                 wrapper_pool* allocator)
    : Tkn_text_view(type, table),
      m_allocator(allocator),
      m_separator(separator),
      m_owns_allocator(allocator == nullptr),
      m_has_separator(!separator.empty()) {}

Tkn_container_text_view::~Tkn_container_text_view() {
  // Virtual tokens walk the wrapping tokens as they go, so they go first.
  Tkn_text_view::purge(0xFFFFFFFFu);
  if (m_owns_allocator) {
    // The wrapping tokens own nothing: releasing the pool is enough.
    Tkn_text_view::start_content();
    delete m_allocator;
    return;
  }
  if (m_allocator == nullptr) return;
  // A pool given by the caller gets its slots back for reuse.
  for (Tkn_physical_token* token = Tkn_text_view::cfront(); token != nullptr;) {
    auto* next = static_cast<Tkn_physical_token*>(token->next());
    m_allocator->destroy(static_cast<Tkn_wrapping_token*>(token));
    token = next;
  }
}

void Tkn_container_text_view::add_content(Tkn_physical_token*) {
  throw std::logic_error("This text view does not support the addition of tokens directly.");
}

void Tkn_container_text_view::add_content(Tkn_text_view& other, krn::Krn_status& status) {
  if (&other == this) throw std::logic_error("Adding the view itself as content is not supp.");
  if (m_allocator == nullptr) {
    m_allocator = new wrapper_pool();
    m_owns_allocator = true;
  }
  if (!status.ok()) return;
  Tkn_physical_token* last = cback();
  if (m_has_separator && last != nullptr) last->trailer_text(m_separator);
  for (Tkn_token* token = other.cfront(); token != nullptr && status.ok(); token = token->next()) {
    Tkn_wrapping_token* wrapper = m_allocator->construct(*static_cast<Tkn_physical_token*>(token), *this);
    if (wrapper == nullptr) {
      status = krn::KRN_E_NO_MEMORY;
      throw std::logic_error("Wrapper token allocator limit exceeded.");
    }
    Tkn_text_view::add_content(wrapper);
  }
}

}  // namespace tkn
