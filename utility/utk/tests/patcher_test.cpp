#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "krn/krn_buffer.h"
#include "krn/krn_heap_buffer.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_stream.h"
#include "utk/utk_patcher.h"

using namespace krn;
using namespace utk;

namespace {

const unsigned char* bytes(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

std::string read_all(const Krn_buffer& buffer) {
  Krn_status status;
  Krn_unbuffered_istream stream(buffer, false, status);
  std::string text;
  krn_stream_to_string(stream, text, status);
  EXPECT_FALSE(status.is_error());
  return text;
}

// The input with the committed edits applied, composed into a heap buffer.
std::string composed(Utk_buffer_patcher& patcher, const std::string& input, Krn_status& status, bool clear = false) {
  std::string source = input;
  Krn_string_buffer in(source, true);
  Krn_heap_buffer out;
  if (clear)
    patcher.compose(in, out, status);
  else
    patcher.compose_only(in, out, status);
  return read_all(out);
}

std::string composed(Utk_buffer_patcher& patcher, const std::string& input) {
  Krn_status status;
  std::string out = composed(patcher, input, status);
  EXPECT_FALSE(status.is_error()) << std::hex << status.value();
  return out;
}

bool insert(Utk_buffer_patcher& patcher, int64 offset, const std::string& text) {
  return patcher.add_insert(offset, bytes(text), text.size());
}

bool edit(Utk_buffer_patcher& patcher, int64 offset, uint64 size, const std::string& text) {
  return patcher.add_edit(offset, size, bytes(text), text.size());
}

std::vector<Utk_patch::Type> types(const Utk_buffer_patcher& patcher) {
  std::vector<Utk_patch::Type> result;
  if (const Utk_patch_table* table = patcher.patch_table())
    for (const auto& patch : *table) result.push_back(patch->type());
  return result;
}

const std::string INPUT = "0123456789";

}  // namespace

TEST(UtkPatch, RefusesUnknownTypesAndRangesOutsideThePositions) {
  EXPECT_THROW(Utk_patch(static_cast<Utk_patch::Type>(4), 0, nullptr, 0, 0), std::invalid_argument);
  EXPECT_THROW(Utk_patch(Utk_patch::patch_edit, -1, bytes("a"), 1, 1), std::invalid_argument);
  EXPECT_THROW(Utk_patch(Utk_patch::patch_delete, INT64_MAX - 1, nullptr, 0, 2), std::invalid_argument);
  Utk_patch last(Utk_patch::patch_delete, INT64_MAX - 1, nullptr, 0, 1);
  EXPECT_THROW(last.edit_size(2), std::invalid_argument);
  EXPECT_EQ(last.edit_size(), 1u);
  // Bytes promised but missing.
  EXPECT_THROW(Utk_patch(Utk_patch::patch_insert, 0, nullptr, 3, 0), std::invalid_argument);
}

TEST(UtkPatch, KeepsItsOwnCopyOfTheData) {
  std::string text = "abc";
  Utk_patch patch(Utk_patch::patch_edit, 2, bytes(text), 3, 3);
  text = "xyz";
  Utk_patch copy(patch);
  Utk_patch assigned(Utk_patch::patch_insert, 0, u"longer text", 0);
  assigned = patch;
  for (const Utk_patch* p : {&patch, &copy, &assigned}) {
    ASSERT_EQ(p->patch_size(), 3u);
    EXPECT_EQ(std::memcmp(p->data(), "abc", 3), 0);
    EXPECT_EQ(p->end_offset(), 5);
  }
  Utk_patch wide(Utk_patch::patch_insert, 0, u"ab", 0);
  EXPECT_EQ(wide.patch_size(), 4u);
  Utk_patch deleted(Utk_patch::patch_delete, 0, bytes("ignored"), 7, 3);
  EXPECT_EQ(deleted.patch_size(), 0u);
  EXPECT_EQ(deleted.data(), nullptr);
}

TEST(UtkBufferPatcher, InsertsAtOneOffsetKeepArrivalOrderExceptAtTheStart) {
  Utk_buffer_patcher patcher;
  patcher.start();
  EXPECT_TRUE(insert(patcher, 5, "x"));
  EXPECT_TRUE(insert(patcher, 5, "y"));
  EXPECT_TRUE(insert(patcher, 0, "x"));
  EXPECT_TRUE(insert(patcher, 0, "y"));
  EXPECT_TRUE(insert(patcher, 10, "!"));
  patcher.commit();
  EXPECT_EQ(composed(patcher, INPUT), "yx01234xy56789!");
}

TEST(UtkBufferPatcher, InsertsMeetEditsAtTheirEdgesButNotInside) {
  Utk_buffer_patcher patcher;
  patcher.start();
  ASSERT_TRUE(edit(patcher, 2, 3, "abc"));
  ASSERT_TRUE(patcher.add_delete(7, 2));
  EXPECT_TRUE(insert(patcher, 2, "<"));
  EXPECT_TRUE(insert(patcher, 5, ">"));
  EXPECT_TRUE(insert(patcher, 7, "["));
  EXPECT_TRUE(insert(patcher, 9, "]"));
  EXPECT_FALSE(insert(patcher, 3, "?"));
  EXPECT_FALSE(insert(patcher, 8, "?"));
  patcher.commit();
  EXPECT_EQ(composed(patcher, INPUT), "01<abc>56[]9");
}

TEST(UtkBufferPatcher, LongerOrShorterEditsComposeLikeAReplacement) {
  struct Case {
    uint64 size;
    std::string data;
    std::vector<Utk_patch::Type> parts;
    std::string expected;
  } cases[] = {
      {3, "abcdef", {Utk_patch::patch_edit, Utk_patch::patch_extend}, "01abcdef56789"},
      {3, "a", {Utk_patch::patch_edit, Utk_patch::patch_delete}, "01a56789"},
      {3, "", {Utk_patch::patch_delete}, "0156789"},
      {0, "ab", {Utk_patch::patch_extend, Utk_patch::patch_edit}, "01ab23456789"},
  };
  for (const Case& c : cases) {
    Utk_buffer_patcher patcher;
    patcher.start();
    EXPECT_TRUE(edit(patcher, 2, c.size, c.data));
    patcher.commit();
    EXPECT_EQ(types(patcher), c.parts) << c.data;
    EXPECT_EQ(composed(patcher, INPUT), c.expected) << c.data;
  }
}

TEST(UtkBufferPatcher, OverlappingEditsMergeWhenTheyAgree) {
  Utk_buffer_patcher patcher;
  patcher.start();
  ASSERT_TRUE(edit(patcher, 2, 4, "abcd"));
  EXPECT_TRUE(edit(patcher, 4, 4, "cdef"));   // agrees on "cd", reaches further
  EXPECT_TRUE(edit(patcher, 1, 3, "1ab"));    // starts earlier than all of it
  EXPECT_TRUE(edit(patcher, 3, 2, "bc"));     // lies inside
  EXPECT_FALSE(edit(patcher, 5, 2, "XY"));    // disagrees
  EXPECT_FALSE(edit(patcher, 7, 3, "Xgh"));   // disagrees on its first byte
  patcher.commit();
  EXPECT_EQ(types(patcher), std::vector<Utk_patch::Type>{Utk_patch::patch_edit});
  EXPECT_EQ(composed(patcher, INPUT), "01abcdef89");
}

TEST(UtkBufferPatcher, ARefusedSecondPartKeepsTheFirst) {
  Utk_buffer_patcher patcher;
  patcher.start();
  ASSERT_TRUE(insert(patcher, 4, "!"));
  // The edit of 2..3 is fine; its tail would delete 3..5, which holds the insert.
  EXPECT_FALSE(edit(patcher, 2, 3, "a"));
  patcher.commit();
  EXPECT_EQ(composed(patcher, INPUT), "01a3!456789");
}

TEST(UtkBufferPatcher, TailsAtOneOffsetMustAgree) {
  Utk_buffer_patcher patcher;
  patcher.start();
  ASSERT_TRUE(edit(patcher, 2, 2, "abXY"));
  EXPECT_TRUE(edit(patcher, 2, 2, "abXY"));   // the same edit again
  EXPECT_FALSE(edit(patcher, 2, 2, "abZ"));   // a different tail would be lost
  patcher.commit();
  EXPECT_EQ(composed(patcher, INPUT), "01abXY456789");
}

TEST(UtkBufferPatcher, AnInsertAfterADeletedNeighbourStaysBehindTheTail) {
  Utk_buffer_patcher patcher;
  patcher.start();
  ASSERT_TRUE(edit(patcher, 2, 2, "abcd"));     // tail "cd" at 4
  ASSERT_TRUE(patcher.add_delete(4, 2));
  ASSERT_TRUE(insert(patcher, 4, "!"));
  patcher.commit();
  EXPECT_EQ(composed(patcher, INPUT), "01abcd!6789");
}

TEST(UtkBufferPatcher, DeletesMergeSwallowOrTouch) {
  Utk_buffer_patcher patcher;
  patcher.start();
  ASSERT_TRUE(patcher.add_delete(1, 2));
  EXPECT_TRUE(patcher.add_delete(2, 2));   // overlaps: 1..4
  EXPECT_TRUE(patcher.add_delete(4, 1));   // touches: stays apart
  patcher.commit();
  EXPECT_EQ(types(patcher), (std::vector<Utk_patch::Type>{Utk_patch::patch_delete, Utk_patch::patch_delete}));
  EXPECT_EQ(composed(patcher, INPUT), "056789");

  Utk_buffer_patcher swallowing;
  swallowing.start();
  ASSERT_TRUE(edit(swallowing, 3, 2, "ab"));
  EXPECT_TRUE(swallowing.add_delete(3, 4));   // covers the edit
  EXPECT_TRUE(edit(swallowing, 4, 2, "xy"));  // lies inside the delete
  EXPECT_TRUE(swallowing.add_delete(6, 2));   // grows the delete
  swallowing.commit();
  EXPECT_EQ(types(swallowing), std::vector<Utk_patch::Type>{Utk_patch::patch_delete});
  EXPECT_EQ(composed(swallowing, INPUT), "01289");
}

TEST(UtkBufferPatcher, EditsAndDeletesThatOnlyPartlyOverlapConflict) {
  Utk_buffer_patcher patcher;
  patcher.start();
  ASSERT_TRUE(edit(patcher, 2, 4, "abcd"));
  EXPECT_FALSE(patcher.add_delete(4, 4));    // reaches past the edit
  EXPECT_FALSE(patcher.add_delete(2, 2));    // covers only its start
  EXPECT_FALSE(patcher.add_delete(0, 3));    // starts before it
  patcher.commit();
  EXPECT_EQ(composed(patcher, INPUT), "01abcd6789");
}

TEST(UtkBufferPatcher, TransactionsAccumulateAndAbortKeepsTheCommittedEdits) {
  Utk_buffer_patcher patcher;
  patcher.start();
  EXPECT_FALSE(patcher.pending());
  ASSERT_TRUE(edit(patcher, 0, 1, "a"));
  EXPECT_TRUE(patcher.pending());
  EXPECT_FALSE(patcher.committed());
  patcher.commit();
  EXPECT_TRUE(patcher.committed());

  patcher.start();
  EXPECT_FALSE(edit(patcher, 0, 1, "b"));   // conflicts with the committed edit
  EXPECT_TRUE(edit(patcher, 9, 1, "z"));
  patcher.abort();
  EXPECT_EQ(composed(patcher, INPUT), "a123456789");

  patcher.start();
  EXPECT_TRUE(edit(patcher, 9, 1, "z"));
  patcher.commit();
  EXPECT_EQ(composed(patcher, INPUT), "a12345678z");

  Utk_buffer_patcher empty;
  empty.start();
  empty.commit();
  EXPECT_FALSE(empty.committed());
  ASSERT_NE(empty.patch_table(), nullptr);
  EXPECT_EQ(composed(empty, INPUT), INPUT);
}

TEST(UtkBufferPatcher, ComposeClearsTheCommittedEditsOnlyOnSuccess) {
  Utk_buffer_patcher patcher;
  EXPECT_EQ(composed(patcher, INPUT), INPUT);  // nothing was ever committed
  patcher.start();
  ASSERT_TRUE(insert(patcher, 11, "!"));
  patcher.commit();
  Krn_status status;
  composed(patcher, INPUT, status, true);
  EXPECT_EQ(status, KRN_E_END_OF_DATA);
  EXPECT_TRUE(patcher.committed());

  patcher.clear();
  EXPECT_FALSE(patcher.committed());
  patcher.start();
  ASSERT_TRUE(insert(patcher, 10, "!"));
  patcher.commit();
  EXPECT_EQ(composed(patcher, INPUT, status, true), "0123456789!");
  EXPECT_FALSE(status.is_error());
  EXPECT_FALSE(patcher.committed());
  EXPECT_EQ(patcher.patch_table(), nullptr);
  EXPECT_EQ(composed(patcher, INPUT, status, true), INPUT);
}

TEST(UtkBufferPatcher, RangesBeyondTheInputFail) {
  for (auto add : {+[](Utk_buffer_patcher& p) { return edit(p, 11, 1, "x"); },
                   +[](Utk_buffer_patcher& p) { return p.add_delete(8, 3); },
                   +[](Utk_buffer_patcher& p) { return edit(p, 9, 2, "xy"); }}) {
    Utk_buffer_patcher patcher;
    patcher.start();
    ASSERT_TRUE(insert(patcher, 1, "a"));
    ASSERT_TRUE(add(patcher));
    patcher.commit();
    Krn_status status;
    const std::string out = composed(patcher, INPUT, status);
    EXPECT_EQ(status, KRN_E_END_OF_DATA);
    EXPECT_EQ(out.substr(0, 2), "0a");  // what came before is written
  }
}

TEST(UtkBufferPatcher, WrongCallOrderThrows) {
  Utk_buffer_patcher patcher;
  Krn_heap_buffer in;
  Krn_heap_buffer out;
  Krn_status status;
  EXPECT_THROW(patcher.commit(), std::invalid_argument);
  EXPECT_THROW(patcher.abort(), std::invalid_argument);
  EXPECT_THROW(insert(patcher, 0, "a"), std::invalid_argument);
  EXPECT_THROW(edit(patcher, 0, 1, "a"), std::invalid_argument);
  EXPECT_THROW(patcher.add_delete(0, 1), std::invalid_argument);
  patcher.start();
  EXPECT_THROW(patcher.start(), std::invalid_argument);
  EXPECT_THROW(patcher.patch_table(), std::invalid_argument);
  EXPECT_THROW(patcher.compose_only(in, out, status), std::invalid_argument);
  EXPECT_THROW(patcher.compose(in, out, status), std::invalid_argument);
  // clear() in a transaction drops the transaction with its edits.
  ASSERT_TRUE(insert(patcher, 0, "a"));
  patcher.clear();
  EXPECT_THROW(patcher.commit(), std::invalid_argument);
}

TEST(UtkBufferPatcher, CopiesAreDeepAndIndependent) {
  Utk_buffer_patcher patcher;
  patcher.start();
  ASSERT_TRUE(edit(patcher, 0, 1, "a"));
  patcher.commit();
  patcher.start();
  ASSERT_TRUE(edit(patcher, 1, 1, "b"));

  Utk_buffer_patcher copy(patcher);
  Utk_buffer_patcher assigned;
  assigned = patcher;
  patcher.abort();
  for (Utk_buffer_patcher* p : {&copy, &assigned}) {
    ASSERT_TRUE(p->pending());
    EXPECT_TRUE(edit(*p, 2, 1, "c"));
    p->commit();
    EXPECT_EQ(composed(*p, INPUT), "abc3456789");
  }
  EXPECT_EQ(composed(patcher, INPUT), "a123456789");
}

namespace {

// Hands add_entry an edit whose bytes do not line up with its range, as a
// derived patcher may.
class Raw_patcher : public Utk_buffer_patcher {
 public:
  bool add_raw(Utk_patch* patch) { return add_entry(patch); }
};

}  // namespace

TEST(UtkBufferPatcher, EditsWhoseBytesDoNotMatchTheirRangeAreNotCompared) {
  Raw_patcher patcher;
  EXPECT_FALSE(patcher.add_raw(new Utk_patch(Utk_patch::patch_insert, 0, bytes("a"), 1, 0)));  // no transaction
  patcher.start();
  ASSERT_TRUE(patcher.add_raw(new Utk_patch(Utk_patch::patch_edit, 2, bytes("x"), 1, 6)));
  EXPECT_FALSE(edit(patcher, 4, 2, "ab"));
  EXPECT_FALSE(edit(patcher, 0, 3, "01x"));
  patcher.commit();
  EXPECT_EQ(composed(patcher, INPUT), "01x89");
}

TEST(UtkBufferDummyPatcher, LogsAcceptedEditsInArrivalOrderAndComposesNothing) {
  Utk_buffer_dummy_patcher patcher;
  patcher.start();
  EXPECT_TRUE(edit(patcher, 5, 2, "abcd"));
  EXPECT_TRUE(insert(patcher, 1, "x"));
  EXPECT_TRUE(patcher.add_delete(0, 1));
  EXPECT_FALSE(edit(patcher, 6, 1, "Z"));   // conflicts: not logged
  EXPECT_TRUE(edit(patcher, 5, 1, "a"));    // merges in the validator, logged apart
  patcher.commit();

  const Utk_patch_table* log = patcher.patch_table();
  ASSERT_NE(log, nullptr);
  std::vector<std::pair<Utk_patch::Type, int64>> entries;
  for (const auto& patch : *log) entries.emplace_back(patch->type(), patch->offset());
  EXPECT_EQ(entries, (std::vector<std::pair<Utk_patch::Type, int64>>{
                         {Utk_patch::patch_edit, 5}, {Utk_patch::patch_insert, 1}, {Utk_patch::patch_delete, 0},
                         {Utk_patch::patch_edit, 5}}));
  EXPECT_EQ(log->front()->patch_size(), 4u);  // unsplit
  EXPECT_EQ(log->front()->edit_size(), 2u);

  std::string source = INPUT;
  Krn_string_buffer in(source, true);
  Krn_heap_buffer out;
  Krn_status status;
  patcher.compose(in, out, status);
  EXPECT_EQ(read_all(out), "");
  EXPECT_TRUE(patcher.committed());

  // The log survives copies; the validator does too, so conflicts still show.
  Utk_buffer_dummy_patcher copy(patcher);
  copy.start();
  EXPECT_FALSE(edit(copy, 5, 1, "Q"));
  copy.abort();
  Utk_buffer_dummy_patcher assigned;
  assigned = patcher;
  assigned.start();
  EXPECT_FALSE(insert(assigned, 6, "Q"));
  EXPECT_THROW(assigned.compose(in, out, status), std::invalid_argument);
  EXPECT_THROW(assigned.compose_only(in, out, status), std::invalid_argument);
  assigned.clear();
  EXPECT_THROW(assigned.abort(), std::invalid_argument);
}

TEST(UtkBufferDummyPatcher, RefusesExtensionsAndWorksOnlyInATransaction) {
  class Probe : public Utk_buffer_dummy_patcher {
   public:
    bool add_raw(Utk_patch* patch) { return add_entry(patch); }
  } patcher;
  EXPECT_FALSE(patcher.add_raw(new Utk_patch(Utk_patch::patch_insert, 0, bytes("a"), 1, 0)));
  EXPECT_THROW(edit(patcher, 0, 1, "a"), std::invalid_argument);
  patcher.start();
  EXPECT_FALSE(patcher.add_raw(new Utk_patch(Utk_patch::patch_extend, 0, bytes("a"), 1, 0)));
  EXPECT_FALSE(patcher.pending());
}

namespace {

std::string source_bytes(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + i % 26);
  return text;
}

}  // namespace

TEST(UtkPatcherReplaceInChunks, ReplacesTheRangeByTheWholeSource) {
  struct Case {
    std::size_t source;
    uint64 length;
  } cases[] = {
      {3000, 4}, {3000, 2}, {3000, 1}, {10, 100}, {1024, 1024}, {5000, 7000},
      // Far more range bytes than chunks of 1024: the chunks run out before
      // the range does.
      {1024 * 1100 + 1, 1100},
  };
  for (const Case& c : cases) {
    const std::string input = source_bytes(20) + std::string(c.length, '#') + "tail";
    std::string replacement = source_bytes(c.source);
    for (char& ch : replacement) ch = static_cast<char>(ch - 32);
    Krn_string_buffer source(replacement, true);

    Utk_buffer_patcher patcher;
    patcher.start();
    ASSERT_TRUE(insert(patcher, 20, "<"));
    EXPECT_TRUE(utk_patcher_replace_in_chunks(patcher, source, 20, c.length)) << c.source << " " << c.length;
    patcher.commit();
    const std::string out = composed(patcher, input);
    EXPECT_TRUE(out == source_bytes(20) + "<" + replacement + "tail") << c.source << " " << c.length;
  }
}

TEST(UtkPatcherReplaceInChunks, FailsOnEmptyInputsAndConflicts) {
  std::string empty;
  std::string text = "abc";
  Krn_string_buffer empty_source(empty, true);
  Krn_string_buffer source(text, true);
  Utk_buffer_patcher patcher;
  patcher.start();
  EXPECT_FALSE(utk_patcher_replace_in_chunks(patcher, empty_source, 0, 3));
  EXPECT_FALSE(utk_patcher_replace_in_chunks(patcher, source, 0, 0));
  EXPECT_FALSE(patcher.pending());
  ASSERT_TRUE(insert(patcher, 2, "!"));
  EXPECT_FALSE(utk_patcher_replace_in_chunks(patcher, source, 0, 5));
}

namespace {

// A plain model of what the patcher should produce: disjoint replaced ranges
// and the inserts at each offset.
struct Model {
  struct Range {
    int64 end;
    std::string data;
    bool is_delete;
  };
  std::map<int64, Range> ranges;
  std::map<int64, std::vector<std::string>> inserts;

  // An edit with fewer new bytes than it replaces is an edit and a delete
  // that meet where the new bytes end; an insert may go there.
  static int64 split(int64 start, const Range& range) {
    const int64 length = static_cast<int64>(range.data.size());
    return !range.is_delete && length < range.end - start ? start + length : start;
  }
  // Whether offset lies strictly inside a range, where no insert may go.
  bool inside(int64 offset) const {
    auto next = ranges.upper_bound(offset);
    if (next == ranges.begin()) return false;
    auto before = std::prev(next);
    return before->first < offset && offset < before->second.end && offset != split(before->first, before->second);
  }
  bool free(int64 start, int64 end) const {
    auto next = ranges.lower_bound(start);
    if (next != ranges.end() && next->first < end) return false;
    if (next != ranges.begin() && std::prev(next)->second.end > start) return false;
    auto insert = inserts.upper_bound(start);
    return insert == inserts.end() || insert->first >= end;
  }
  bool inserts_in(int64 start, int64 end) const {
    auto insert = inserts.lower_bound(start);
    return insert != inserts.end() && insert->first < end;
  }

  std::string apply(const std::string& input) const {
    std::string out;
    int64 position = 0;
    const int64 size = static_cast<int64>(input.size());
    while (position <= size) {
      if (auto found = inserts.find(position); found != inserts.end()) {
        if (position == 0)
          for (auto it = found->second.rbegin(); it != found->second.rend(); ++it) out += *it;
        else
          for (const std::string& text : found->second) out += text;
      }
      if (auto range = ranges.find(position); range != ranges.end()) {
        out += range->second.data;
        const int64 middle = split(position, range->second);
        if (middle != position)
          if (auto found = inserts.find(middle); found != inserts.end())
            for (const std::string& text : found->second) out += text;
        position = range->second.end;
        continue;
      }
      if (position < size) out += input[static_cast<std::size_t>(position)];
      ++position;
    }
    return out;
  }
};

}  // namespace

TEST(UtkBufferPatcher, RandomEditsComposeLikeAPlainModel) {
  std::mt19937 random(20240305);
  const int64 size = 40000;
  std::string input(static_cast<std::size_t>(size), '\0');
  for (char& c : input) c = static_cast<char>('0' + random() % 10);
  auto number = [&](int64 low, int64 high) { return std::uniform_int_distribution<int64>(low, high)(random); };
  auto text = [&](int64 length) {
    std::string t(static_cast<std::size_t>(length), '\0');
    for (char& c : t) c = static_cast<char>('a' + random() % 26);
    return t;
  };

  Utk_buffer_patcher patcher;
  Model model;
  int accepted = 0;
  for (int transaction = 0; transaction < 60; ++transaction) {
    patcher.start();
    Model before = model;
    for (int step = 0; step < 80; ++step) {
      const int64 kind = number(0, 9);
      if (kind <= 2) {  // insert
        const int64 at = number(0, size);
        const std::string t = text(number(1, 4));
        const bool allowed = !model.inside(at);
        ASSERT_EQ(insert(patcher, at, t), allowed) << at;
        if (allowed) model.inserts[at].push_back(t);
      } else if (kind <= 6) {  // a fresh edit or delete
        const int64 at = number(0, size - 1);
        const int64 end = std::min(size, at + number(1, 12));
        if (!model.free(at, end)) continue;
        const bool is_delete = kind == 6;
        const std::string t = is_delete ? "" : text(number(0, 2 * (end - at)));
        ASSERT_TRUE(is_delete ? patcher.add_delete(at, static_cast<uint64>(end - at)) : edit(patcher, at, end - at, t));
        model.ranges[at] = {end, t, is_delete};
      } else if (!model.ranges.empty()) {  // an edit or delete over an existing range
        auto range = model.ranges.lower_bound(number(0, size));
        if (range == model.ranges.end()) range = model.ranges.begin();
        const int64 start = range->first;
        Model::Range& r = range->second;
        const bool aligned = !r.is_delete && static_cast<int64>(r.data.size()) == r.end - start;
        if (r.is_delete) {
          // A delete inside, or one that reaches on into free bytes.
          const int64 from = number(start, r.end - 1);
          const int64 to = number(from + 1, std::min(size, r.end + 5));
          const bool grows = to > r.end;
          // Whether a delete that meets other edits merges with them depends
          // on what they are; only growth into untouched bytes is tried.
          if (grows && !(model.free(r.end, to) && !model.inserts_in(r.end, to))) continue;
          if (kind == 9 && !grows) {
            ASSERT_TRUE(edit(patcher, from, to - from, text(to - from)));  // absorbed
          } else {
            ASSERT_TRUE(patcher.add_delete(from, static_cast<uint64>(to - from)));
            if (grows) r.end = to;
          }
        } else if (aligned) {
          // Part of the edit again, in agreement, perhaps reaching on; or the
          // same place with other bytes, which must be refused.
          const int64 from = number(start, r.end - 1);
          const int64 to = number(from + 1, std::min(size, r.end + 5));
          std::string t = r.data.substr(static_cast<std::size_t>(from - start),
                                        static_cast<std::size_t>(std::min(to, r.end) - from));
          const bool grows = to > r.end;
          const std::string more = grows ? text(to - r.end) : "";
          if (kind == 9) {
            t[0] = static_cast<char>(t[0] == 'A' ? 'B' : 'A');
            ASSERT_FALSE(edit(patcher, from, static_cast<uint64>(std::min(to, r.end) - from), t));
          } else {
            if (grows && !(model.free(r.end, to) && !model.inserts_in(r.end, to))) continue;
            ASSERT_TRUE(edit(patcher, from, to - from, t + more));
            if (grows) {
              r.data += more;
              r.end = to;
            }
          }
        } else {
          // The same edit once more.
          ASSERT_TRUE(edit(patcher, start, r.end - start, r.data));
        }
      }
      ++accepted;
    }
    if (transaction % 7 == 3) {
      patcher.abort();
      model = before;
    } else {
      patcher.commit();
    }
    ASSERT_EQ(composed(patcher, input), model.apply(input)) << "after transaction " << transaction;
  }
  EXPECT_GT(accepted, 3000);
}
