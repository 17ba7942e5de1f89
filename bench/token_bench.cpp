// What the tool does once per field value: a view with its own text table,
// a token pool, the value tokenised into physical tokens, the form-0 CRCs
// read, everything destroyed. The tool needs at least a million values a
// second from this.

#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>

#include "ptl/ptl_allocator.h"
#include "tkn/tkn_text_view.h"
#include "tkn/tkn_token.h"
#include "tkn/tkn_tokeniser.h"
#include "tkn/tkn_types.h"

namespace {

using krn::Wstring;
using Token_pool = ptl::Ptl_allocator<tkn::Tkn_physical_token, 1000, 15000>;

unsigned read_code_point(const Wstring& text, size_t& pos) {
  const unsigned unit = text[pos++];
  if (unit >= 0xD800 && unit <= 0xDBFF && pos < text.size() && text[pos] >= 0xDC00 && text[pos] <= 0xDFFF)
    return 0x10000 + ((unit - 0xD800) << 10) + (text[pos++] - 0xDC00);
  return unit;
}

// The caller's side of the tokeniser, as the codec does it: the pool is
// made on the first token, and tokens are never destroyed one by one (the
// pool's memory goes with it).
class Value_tokens {
 public:
  explicit Value_tokens(const Wstring& text) : m_view(0, nullptr) { tokenise(text); }

  krn::uint64 crc_sum() const {
    krn::uint64 sum = 0;
    for (const tkn::Tkn_token* t = m_view.cfront(); t != nullptr; t = t->next()) sum += t->crc(tkn::TKN_FORM_SOURCE);
    return sum;
  }

 private:
  void add(unsigned type, const Wstring& text) {
    if (!m_pool) m_pool = std::make_unique<Token_pool>();
    tkn::Tkn_physical_token* token = m_pool->construct(type, text, &m_view);
    if (token == nullptr) throw std::runtime_error("token pool exhausted");
    m_view.add_content(token);
  }

  void trailer(const Wstring& whitespace) {
    if (m_view.cback() == nullptr) add(tkn::TKN_TOKEN_WHITESPACE, Wstring());
    m_view.cback()->trailer_text(whitespace);
  }

  void tokenise(const Wstring& text) {
    tkn::Tkn_tokeniser tokeniser;
    Wstring buffer, saved_buffer;
    unsigned type = tkn::TKN_TOKEN_WHITESPACE, saved_type = type;
    size_t pos = 0, saved_pos = 0;
    bool checkpointed = false;
    tkn::Tkn_parse_operation op;

    auto rollback = [&] {
      if (!checkpointed) throw std::logic_error("rollback without a checkpoint");
      buffer = saved_buffer;
      type = saved_type;
      pos = saved_pos;
      checkpointed = false;
    };

    m_view.start_content();
    for (;;) {
      if (pos == text.size()) {
        tokeniser.breakpoint(buffer, type, op);
        if (op == tkn::TKN_PARSE_ROLLBACK) {
          rollback();
          continue;
        }
        if (op == tkn::TKN_PARSE_EMIT_TOKEN) add(type, buffer);
        if (op == tkn::TKN_PARSE_EMIT_TRAILER) trailer(buffer);
        break;
      }
      const size_t here = pos;
      tokeniser.process(read_code_point(text, pos), buffer, type, op);
      switch (op) {
        case tkn::TKN_PARSE_START:
          checkpointed = false;
          break;
        case tkn::TKN_PARSE_CHECKPOINT:
          saved_buffer = buffer;
          saved_type = type;
          saved_pos = pos = here;
          checkpointed = true;
          break;
        case tkn::TKN_PARSE_ROLLBACK:
          rollback();
          break;
        case tkn::TKN_PARSE_EMIT_TOKEN:
          add(type, buffer);
          pos = here;
          checkpointed = false;
          break;
        case tkn::TKN_PARSE_EMIT_TRAILER:
          trailer(buffer);
          pos = here;
          checkpointed = false;
          break;
        default:
          break;
      }
    }
    m_view.end_content();
  }

  // The pool outlives the view: the view's destructor must not find its
  // tokens' memory gone.
  std::unique_ptr<Token_pool> m_pool;
  tkn::Tkn_text_view m_view;
};

void tokenise_values(benchmark::State& state, const Wstring& value) {
  for (auto _ : state) {
    Value_tokens tokens(value);
    benchmark::DoNotOptimize(tokens.crc_sum());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_tokenise_name(benchmark::State& state) { tokenise_values(state, u"O'Connor"); }
void BM_tokenise_card_number(benchmark::State& state) { tokenise_values(state, u"4111 1111 1111 1111"); }

BENCHMARK(BM_tokenise_name);
BENCHMARK(BM_tokenise_card_number);

}  // namespace

BENCHMARK_MAIN();
