#include "tkn/tkn_text_view.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "tkn_test_text.h"

namespace {

using krn::Wstring;
using namespace tkn;
using tkn_test::Test_text;
using tkn_test::text_of;
using tkn_test::thrown_message;
using It = Tkn_token_character_iterator;

Wstring walk(const Tkn_text_view& view, Tkn_text_form form) {
  Wstring units;
  for (It it = view.cbegin(form), end = view.cend(form); it != end; ++it) units += *it;
  return units;
}

TEST(TknTextView, FillingNumbersAndCountsTokens) {
  Tkn_text_view view(0, nullptr);
  Tkn_physical_token lead(TKN_TOKEN_WHITESPACE, u"", &view), word(TKN_TOKEN_WORD, u"a", &view), number(TKN_TOKEN_NUMBER, u"1", &view),
      punct(TKN_TOKEN_PUNCTUATION, u".", &view), symbol(TKN_TOKEN_SYMBOL, u"^", &view), word2(TKN_TOKEN_WORD, u"b", &view);
  view.start_content();
  EXPECT_EQ(view.cfront(), nullptr);
  for (Tkn_physical_token* t : {&lead, &word, &number, &punct, &symbol, &word2}) view.add_content(t);
  EXPECT_EQ(word.position(), 0u);
  view.end_content();
  view.end_content();  // counting twice must not count twice
  EXPECT_EQ(lead.position(), 1u);
  EXPECT_EQ(word2.position(), 6u);
  EXPECT_EQ(view.cfront(), &lead);
  EXPECT_EQ(view.cback(), &word2);
  EXPECT_EQ(word.next(), &number);
  EXPECT_EQ(view.word_token_count(), 2u);
  EXPECT_EQ(view.number_token_count(), 1u);
  EXPECT_EQ(view.punctuation_token_count(), 1u);
  EXPECT_EQ(view.symbol_token_count(), 1u);
  EXPECT_EQ(thrown_message([&] { view.add_content(nullptr); }), "token_p is nullptr");

  view.start_content();
  EXPECT_EQ(view.cfront(), nullptr);
  EXPECT_EQ(view.cback(), nullptr);
  EXPECT_EQ(view.word_token_count(), 0u);
}

TEST(TknTextView, DestroyedTokensLeaveTheChainEndsValid) {
  Tkn_text_view view(0, nullptr);
  auto a = std::make_unique<Tkn_physical_token>(TKN_TOKEN_WORD, u"a", &view);
  auto b = std::make_unique<Tkn_physical_token>(TKN_TOKEN_WORD, u"b", &view);
  auto c = std::make_unique<Tkn_physical_token>(TKN_TOKEN_WORD, u"c", &view);
  view.add_content(a.get());
  view.add_content(b.get());
  view.add_content(c.get());
  a.reset();
  c.reset();
  EXPECT_EQ(view.cfront(), b.get());
  EXPECT_EQ(view.cback(), b.get());
  EXPECT_EQ(b->previous(), nullptr);
  EXPECT_EQ(b->next(), nullptr);
}

TEST(TknTextView, InternsThroughTheGivenTableOrItsOwn) {
  Tkn_text_table table;
  Test_text one(u"shared words", &table);
  Test_text two(u"shared", &table);
  EXPECT_EQ(one[0].token_text(), two[0].token_text());
  EXPECT_EQ(one.view.text_table(), &table);
  EXPECT_EQ(table.size(), 3u);  // "shared", "words" and the trailer " "

  Test_text own(u"shared");
  EXPECT_NE(own.view.text_table(), &table);
  EXPECT_NE(own[0].token_text(), one[0].token_text());
  EXPECT_EQ(own[0].crc(TKN_FORM_SOURCE), one[0].crc(TKN_FORM_SOURCE));

  const Tkn_string_entry* entry = one[0].text_entry(TKN_FORM_SOURCE);
  EXPECT_EQ(one.view.lookup_text(entry->first), entry);
  EXPECT_EQ(one.view.lookup_text(entry->first, u"shared"), entry);
  EXPECT_EQ(one.view.lookup_text(entry->first, Wstring()), &Tkn_text::EMPTY_STRING);
  EXPECT_EQ(one.view.create_string(u"shared"), entry);
  EXPECT_EQ(one.view.insert_whitespace(Wstring()), &Tkn_text::EMPTY);
  EXPECT_EQ(one.view.empty_text(), &Tkn_text::EMPTY);
}

TEST(TknTextView, AssociationsAreStoredOnceAndPurgedByMask) {
  Test_text text(u"a b c");
  auto* low = new Tkn_virtual_token(0x1, &text.view, &text[0], &text[1]);
  auto* high = new Tkn_virtual_token(0x6, &text.view, &text[1], &text[2]);
  auto* other = new Tkn_virtual_token(0x8, &text.view, &text[1], &text[1]);
  for (Tkn_virtual_token* v : {low, high, other}) text.view.add_virtual_token(v);

  text.view.add_association(low, &text[0]);
  EXPECT_EQ(text[0].vtokens().size(), 1u);
  EXPECT_EQ(text[1].vtokens().size(), 3u);
  text.view.remove_association(high, &text[1]);
  EXPECT_EQ(text[1].vtokens().size(), 2u);
  text.view.add_association(high, &text[1]);

  EXPECT_EQ(thrown_message([&] { text.view.add_association(nullptr, &text[0]); }),
            "Tkn_text_view::add_association - vtoken_p is null");
  EXPECT_EQ(thrown_message([&] { text.view.add_association(low, nullptr); }), "Tkn_text_view::add_association - ptoken_p is null");
  EXPECT_EQ(thrown_message([&] { text.view.add_virtual_token(nullptr); }), "Tkn_text_view::add_virtual_token - vtoken_p is null");

  EXPECT_TRUE(text.view.register_view_processor(0x2));
  EXPECT_FALSE(text.view.register_view_processor(0x2));
  EXPECT_TRUE(text.view.register_view_processor(0x10));

  text.view.purge(0x3);  // low (0x1) and high (0x6) share bits with the mask
  std::vector<Tkn_virtual_token*> left(text.view.vbegin(), text.view.vend());
  EXPECT_EQ(left, std::vector<Tkn_virtual_token*>{other});
  EXPECT_EQ(text[1].vtokens(), std::vector<Tkn_virtual_token*>{other});
  EXPECT_TRUE(text[0].vtokens().empty());
  EXPECT_TRUE(text[2].vtokens().empty());
  // Identifier 0x2 went with the mask, 0x10 stayed.
  EXPECT_TRUE(text.view.register_view_processor(0x2));
  EXPECT_FALSE(text.view.register_view_processor(0x10));

  text.view.remove_associations(&text[1]);
  EXPECT_TRUE(text[1].vtokens().empty());
}

TEST(TknTokenCharacterIterator, WalksTextsAndTrailersBothWays) {
  Test_text text(u"  ab  cd e");
  EXPECT_EQ(walk(text.view, TKN_FORM_SOURCE), u"  ab  cd e");

  Wstring backwards;
  It it = text.view.cend(TKN_FORM_SOURCE);
  const It begin = text.view.cbegin(TKN_FORM_SOURCE);
  while (it != begin) backwards.insert(backwards.begin(), *--it);
  EXPECT_EQ(backwards, u"  ab  cd e");

  It post = begin;
  EXPECT_EQ(*post++, u' ');
  EXPECT_EQ(post.position(), 1u);
  It moved = post--;
  EXPECT_EQ(moved.position(), 1u);
  EXPECT_EQ(post, begin);
  EXPECT_EQ(begin.token(), &text[0]);
  EXPECT_EQ(begin.form(), TKN_FORM_SOURCE);
  EXPECT_NE(text.view.cbegin(TKN_FORM_LOWER), begin);
}

TEST(TknTokenCharacterIterator, RefusesToLeaveItsRange) {
  Tkn_text_view empty(0, nullptr);
  EXPECT_EQ(empty.cbegin(TKN_FORM_NORMALISED), empty.cend(TKN_FORM_NORMALISED));
  EXPECT_EQ(empty.cbegin(TKN_FORM_NORMALISED).token(), nullptr);

  Test_text text(u"ab c");
  It end = text.view.cend(TKN_FORM_NORMALISED);
  EXPECT_EQ(thrown_message([&] { ++end; }), "Tkn_token_character_iterator::operator++ - dinrementing beyond end()");
  EXPECT_EQ(thrown_message([&] { (void)*end; }), "Tkn_token_character_iterator::operator* - invalid iterator");
  It begin = text.view.cbegin(TKN_FORM_NORMALISED);
  EXPECT_EQ(thrown_message([&] { --begin; }), "Tkn_token_character_iterator::operator-- - decrementing beyond begin()");
  EXPECT_THROW(It(nullptr, TKN_FORM_SOURCE, true), std::invalid_argument);
  EXPECT_THROW(It(nullptr, 0, TKN_FORM_SOURCE), std::invalid_argument);
}

TEST(TknTokenCharacterIterator, StepsOverTokensWithoutUnits) {
  Tkn_text_view view(0, nullptr);
  Tkn_physical_token empty1(TKN_TOKEN_WORD, u"", &view), a(TKN_TOKEN_WORD, u"a", &view), empty2(TKN_TOKEN_WORD, u"", &view),
      b(TKN_TOKEN_WORD, u"b", &view), empty3(TKN_TOKEN_WORD, u"", &view);
  for (Tkn_physical_token* t : {&empty1, &a, &empty2, &b, &empty3}) view.add_content(t);
  view.end_content();
  EXPECT_EQ(walk(view, TKN_FORM_SOURCE), u"ab");
  It it = view.cend(TKN_FORM_SOURCE);
  EXPECT_EQ(*--it, u'b');
  EXPECT_EQ(*--it, u'a');
  EXPECT_THROW(--it, std::range_error);

  Tkn_text_view hollow(0, nullptr);
  Tkn_physical_token only1(TKN_TOKEN_WORD, u"", &hollow), only2(TKN_TOKEN_WORD, u"", &hollow);
  hollow.add_content(&only1);
  hollow.add_content(&only2);
  EXPECT_EQ(hollow.cbegin(TKN_FORM_SOURCE), hollow.cend(TKN_FORM_SOURCE));
}

TEST(TknContainerTextView, JoinsViewsWithTheSeparator) {
  Test_text first(u"a b");
  Test_text second(u"c");
  Tkn_container_text_view::wrapper_pool pool;
  {
    Tkn_container_text_view container(0, u"; ", nullptr, &pool);
    krn::Krn_status status;
    container.add_content(first.view, status);
    container.add_content(second.view, status);
    container.end_content();
    EXPECT_TRUE(status.ok());

    std::vector<Wstring> texts, trailers;
    for (Tkn_token* t = container.cfront(); t != nullptr; t = t->next()) {
      texts.push_back(text_of(*t, TKN_FORM_SOURCE));
      trailers.push_back(t->trailer_text(TKN_FORM_SOURCE));
    }
    EXPECT_EQ(texts, (std::vector<Wstring>{u"a", u"b", u"c"}));
    EXPECT_EQ(trailers, (std::vector<Wstring>{u" ", u"; ", u""}));
    EXPECT_EQ(container.cback()->position(), 3u);
    EXPECT_EQ(container.word_token_count(), 3u);
    EXPECT_EQ(walk(container, TKN_FORM_SOURCE), u"a b; c");
    // The joined views keep their own trailers.
    EXPECT_EQ(Wstring(first[1].trailer_text(TKN_FORM_SOURCE)), u"");
    EXPECT_EQ(pool.in_use(), 3u);

    auto* v = new Tkn_virtual_token(1, &container, container.cfront(), container.cback());
    container.add_virtual_token(v);
    EXPECT_EQ(text_of(*v, TKN_FORM_SOURCE), u"a b; c");
  }
  // The caller's pool has its slots back.
  EXPECT_EQ(pool.in_use(), 0u);
}

TEST(TknContainerTextView, RefusesWhatItCannotHold) {
  Test_text text(u"x y");
  Tkn_container_text_view container(0, Wstring(), nullptr, nullptr);
  Tkn_text_view& as_view = container;
  Tkn_physical_token stray(TKN_TOKEN_WORD, u"z", &container);
  EXPECT_EQ(thrown_message([&] { as_view.add_content(&stray); }),
            "This text view does not support the addition of tokens directly.");
  krn::Krn_status status;
  EXPECT_EQ(thrown_message([&] { container.add_content(container, status); }), "Adding the view itself as content is not supp.");

  // A status that already failed stops the joining.
  krn::Krn_status failed(krn::KRN_E_READ);
  container.add_content(text.view, failed);
  EXPECT_EQ(container.cfront(), nullptr);

  container.add_content(text.view, status);
  container.add_content(text.view, status);
  container.end_content();
  EXPECT_EQ(walk(container, TKN_FORM_SOURCE), u"x yx y");
}

class Recorder : public Tkn_view_processor {
 public:
  Recorder(unsigned id, std::vector<unsigned>* log) : m_id(id), m_log(log) {}
  unsigned identifier() const override { return m_id; }
  void process(Tkn_text_view& view) override {
    view.lock();
    m_log->push_back(m_id);
    view.unlock();
  }
  const char* name() const override { return "recorder"; }

 private:
  unsigned m_id;
  std::vector<unsigned>* m_log;
};

TEST(TknTextView, ForEachRunsProcessorsInOrder) {
  Test_text text(u"a");
  std::vector<unsigned> log;
  Recorder one(1, &log), two(2, &log), three(3, &log);
  text.view.for_each({&one, &two, &three});
  EXPECT_EQ(log, (std::vector<unsigned>{1, 2, 3}));
  text.view.parallel_for_each({});
  EXPECT_EQ(log.size(), 3u);
  EXPECT_EQ(thrown_message([&] { text.view.for_each({&one, nullptr}); }), "Tkn_text_view::for_each - processor is null");
  EXPECT_EQ(log.size(), 3u);
}

// Waits (a bounded time) until another thread has run a processor too, so
// that a single-threaded run shows as one thread instead of passing by luck.
class Thread_spotter : public Tkn_view_processor {
 public:
  Thread_spotter(std::set<std::thread::id>* seen, std::atomic<bool>* give_up) : m_seen(seen), m_give_up(give_up) {}
  unsigned identifier() const override { return 7; }
  void process(Tkn_text_view& view) override {
    view.lock();
    m_seen->insert(std::this_thread::get_id());
    view.unlock();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!m_give_up->load() && std::chrono::steady_clock::now() < deadline) {
      view.lock();
      const bool several = m_seen->size() > 1;
      view.unlock();
      if (several) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_give_up->store(true);
  }
  const char* name() const override { return "thread spotter"; }

 private:
  std::set<std::thread::id>* m_seen;
  std::atomic<bool>* m_give_up;
};

class Thrower : public Tkn_view_processor {
 public:
  unsigned identifier() const override { return 9; }
  void process(Tkn_text_view&) override { throw std::runtime_error("processor failed"); }
  const char* name() const override { return "thrower"; }
};

// Not run under ThreadSanitizer (whose runs take the suites named "Threads"):
// the system's oneTBB is not instrumented, so every hand-over of a task
// between its workers is reported as a race inside oneTBB's own headers.
TEST(TknTextViewParallel, ParallelForEachRunsProcessorsOnSeveralThreads) {
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one processor";
  Test_text text(u"a b");
  std::set<std::thread::id> seen;
  std::atomic<bool> give_up{false};
  // Ranges of ten processors at a time: forty give oneTBB room to split.
  std::vector<Thread_spotter> spotters(40, Thread_spotter(&seen, &give_up));
  Tkn_text_view::processor_list list;
  for (Thread_spotter& s : spotters) list.push_back(&s);
  text.view.parallel_for_each(list);
  EXPECT_GT(seen.size(), 1u);

  std::vector<unsigned> log;
  std::vector<Recorder> recorders;
  for (unsigned i = 0; i < 25; ++i) recorders.emplace_back(i, &log);
  Tkn_text_view::processor_list all;
  for (Recorder& r : recorders) all.push_back(&r);
  text.view.parallel_for_each(all);
  std::multiset<unsigned> ran(log.begin(), log.end());
  EXPECT_EQ(ran.size(), 25u);
  EXPECT_EQ(std::set<unsigned>(log.begin(), log.end()).size(), 25u);

  Thrower thrower;
  all.push_back(&thrower);
  EXPECT_THROW(text.view.parallel_for_each(all), std::runtime_error);
}

}  // namespace
