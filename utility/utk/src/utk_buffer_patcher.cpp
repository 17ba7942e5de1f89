#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "krn/krn_status.h"
#include "utk/utk_patcher.h"

namespace utk {

namespace {

using Patch_ptr = std::unique_ptr<Utk_patch>;

bool is_insert_at_start(const Utk_patch& patch) {
  return patch.type() == Utk_patch::patch_insert && patch.offset() == 0;
}

// Whether a new patch belongs after an existing one. At one offset the order
// is extensions (the tail of the edit that ends there), then inserts, then
// edits and deletes in arrival order, which is the order compose writes them.
bool goes_after(const Utk_patch& existing, const Utk_patch& patch) {
  if (existing.offset() < patch.offset()) return true;
  if (existing.offset() != patch.offset()) return false;
  return patch.type() == Utk_patch::patch_edit || patch.type() == Utk_patch::patch_delete ||
         existing.type() == Utk_patch::patch_extend || existing.type() == patch.type();
}

// An edit's bytes stand for the input bytes of its range only when both are
// equally long. The patcher never makes any other edit, but a derived
// patcher may hand one to add_entry; comparing its bytes by offset would
// read past them.
bool is_aligned(const Utk_patch& edit) { return edit.patch_size() == edit.edit_size(); }

Patch_ptr merge_edits(const Utk_patch& a, const Utk_patch& b) {
  if (!is_aligned(a) || !is_aligned(b)) return nullptr;
  const int64 a_end = a.end_offset();
  const int64 b_end = b.end_offset();
  const uint64 overlap = static_cast<uint64>(std::min(a_end, b_end) - b.offset());
  const uint64 shift = static_cast<uint64>(b.offset() - a.offset());
  if (overlap > 0 && std::memcmp(a.data() + shift, b.data(), overlap) != 0) return nullptr;
  if (a_end >= b_end) return std::make_unique<Utk_patch>(a);
  if (a.offset() == b.offset()) return std::make_unique<Utk_patch>(b);

  const uint64 tail_start = static_cast<uint64>(a_end - b.offset());
  const uint64 tail_size = static_cast<uint64>(b_end - a_end);
  if (b.patch_size() < tail_start + tail_size)
    throw std::out_of_range("Source patch trying to access out of bond range");
  std::vector<unsigned char> data(a.data(), a.data() + a.patch_size());
  data.insert(data.end(), b.data() + tail_start, b.data() + tail_start + tail_size);
  return std::make_unique<Utk_patch>(Utk_patch::patch_edit, a.offset(), data.data(), data.size(),
                                     static_cast<uint64>(b_end - a.offset()));
}

// Two extensions can only meet at one offset: both add bytes there. Unless
// they add the same bytes, keeping either would silently drop the other's.
Patch_ptr merge_extensions(const Utk_patch& a, const Utk_patch& b) {
  if (a.patch_size() != b.patch_size()) return nullptr;
  if (a.patch_size() > 0 && std::memcmp(a.data(), b.data(), a.patch_size()) != 0) return nullptr;
  return std::make_unique<Utk_patch>(a);
}

// The patch that does the work of both a (placed earlier) and b, or null when
// they contradict each other.
Patch_ptr merge(const Utk_patch& a, const Utk_patch& b) {
  if (b.offset() < a.offset()) throw std::invalid_argument("Patch offsets are in wrong order");
  const int64 a_end = a.end_offset();
  const int64 b_end = b.end_offset();
  const uint64 union_size = static_cast<uint64>(std::max(a_end, b_end) - a.offset());
  const Utk_patch::Type at = a.type();
  const Utk_patch::Type bt = b.type();

  if (at == Utk_patch::patch_delete && bt == Utk_patch::patch_delete)
    return std::make_unique<Utk_patch>(Utk_patch::patch_delete, a.offset(), nullptr, 0, union_size);
  if (at == Utk_patch::patch_delete && bt == Utk_patch::patch_edit)
    return a_end >= b_end ? std::make_unique<Utk_patch>(a) : nullptr;
  if (at == Utk_patch::patch_edit && bt == Utk_patch::patch_delete)
    return a.offset() == b.offset() && b_end >= a_end ? std::make_unique<Utk_patch>(b) : nullptr;
  if (at == Utk_patch::patch_edit && bt == Utk_patch::patch_edit) return merge_edits(a, b);
  if (at == Utk_patch::patch_extend && bt == Utk_patch::patch_extend) return merge_extensions(a, b);
  return nullptr;
}

[[noreturn]] void transaction_error(const char* operation, bool in_progress) {
  throw std::invalid_argument(std::string(operation) + (in_progress ? " called when a current transaction is in progress"
                                                                    : " called when no current transaction is in progress"));
}

}  // namespace

Utk_buffer_patcher::Utk_buffer_patcher() = default;

Utk_buffer_patcher::Utk_buffer_patcher(const Utk_buffer_patcher& other)
    : m_pending(copy_table(other.m_pending.get())), m_committed(copy_table(other.m_committed.get())) {}

Utk_buffer_patcher::~Utk_buffer_patcher() = default;

Utk_buffer_patcher& Utk_buffer_patcher::operator=(const Utk_buffer_patcher& other) {
  if (this == &other) return *this;
  // Copy both before replacing either, so that a failed copy changes nothing.
  std::unique_ptr<Utk_patch_table> pending = copy_table(other.m_pending.get());
  std::unique_ptr<Utk_patch_table> committed = copy_table(other.m_committed.get());
  m_pending = std::move(pending);
  m_committed = std::move(committed);
  return *this;
}

std::unique_ptr<Utk_patch_table> Utk_buffer_patcher::copy_table(const Utk_patch_table* table) {
  if (!table) return nullptr;
  auto copy = std::make_unique<Utk_patch_table>();
  for (const Patch_ptr& patch : *table) copy->push_back(std::make_unique<Utk_patch>(*patch));
  return copy;
}

bool Utk_buffer_patcher::add_edit(int64 offset, uint64 edit_size, const unsigned char* data, uint64 data_size) {
  if (!m_pending) transaction_error("add_edit()", false);
  const uint64 common = std::min(edit_size, data_size);
  if (!add_entry(new Utk_patch(Utk_patch::patch_edit, offset, data, common, common))) return false;
  if (data_size > edit_size) {
    return add_entry(new Utk_patch(Utk_patch::patch_extend, offset + static_cast<int64>(edit_size), data + edit_size,
                                   data_size - edit_size, 0));
  }
  if (data_size < edit_size) {
    return add_entry(new Utk_patch(Utk_patch::patch_delete, offset + static_cast<int64>(data_size), nullptr, 0,
                                   edit_size - data_size));
  }
  return true;
}

bool Utk_buffer_patcher::add_edit(int64 offset, uint64 edit_size, const krn::Wstring& text) {
  return add_edit(offset, edit_size, reinterpret_cast<const unsigned char*>(text.data()), text.size() * sizeof(char16_t));
}

bool Utk_buffer_patcher::add_insert(int64 offset, const unsigned char* data, uint64 size) {
  if (!m_pending) transaction_error("add_insert()", false);
  return add_entry(new Utk_patch(Utk_patch::patch_insert, offset, data, size, 0));
}

bool Utk_buffer_patcher::add_insert(int64 offset, const krn::Wstring& text) {
  return add_insert(offset, reinterpret_cast<const unsigned char*>(text.data()), text.size() * sizeof(char16_t));
}

bool Utk_buffer_patcher::add_delete(int64 offset, uint64 size) {
  if (!m_pending) transaction_error("add_delete()", false);
  return add_entry(new Utk_patch(Utk_patch::patch_delete, offset, nullptr, 0, size));
}

bool Utk_buffer_patcher::add_entry(Utk_patch* patch) {
  Patch_ptr owned(patch);
  if (!m_pending) return false;
  return place(std::move(owned));
}

bool Utk_buffer_patcher::place(Patch_ptr patch) {
  Utk_patch_table& table = *m_pending;

  // Scan from the end, since edits mostly arrive in ascending order.
  auto position = table.begin();
  if (!is_insert_at_start(*patch)) {
    position = table.end();
    while (position != table.begin() && !goes_after(**std::prev(position), *patch)) --position;
  }

  // Merge with the neighbours without touching the table, so that a conflict
  // found halfway leaves it as it was.
  std::vector<Utk_patch_table::iterator> superseded;
  if (position != table.begin()) {
    auto before = std::prev(position);
    if ((*before)->overlapping(*patch)) {
      patch = merge(**before, *patch);
      if (!patch) return false;
      superseded.push_back(before);
    }
  }
  for (auto next = position; next != table.end() && patch->overlapping(**next); ++next) {
    patch = merge(*patch, **next);
    if (!patch) return false;
    superseded.push_back(next);
  }

  table.insert(superseded.empty() ? position : superseded.front(), std::move(patch));
  for (auto old : superseded) table.erase(old);
  return true;
}

void Utk_buffer_patcher::start() {
  if (m_pending) transaction_error("start()", true);
  m_pending = m_committed ? copy_table(m_committed.get()) : std::make_unique<Utk_patch_table>();
}

void Utk_buffer_patcher::commit_unsorted() {
  if (!m_pending) transaction_error("commit()", false);
  m_committed = std::move(m_pending);
}

void Utk_buffer_patcher::commit() {
  commit_unsorted();
  // list::sort is stable: patches at one offset keep the order compose needs.
  m_committed->sort([](const Patch_ptr& a, const Patch_ptr& b) { return a->offset() < b->offset(); });
}

void Utk_buffer_patcher::abort() {
  if (!m_pending) transaction_error("abort()", false);
  m_pending.reset();
}

void Utk_buffer_patcher::clear() {
  if (m_pending)
    m_pending.reset();
  else
    m_committed.reset();
}

const Utk_patch_table* Utk_buffer_patcher::patch_table() const {
  if (m_pending) transaction_error("patch_table()", true);
  return m_committed.get();
}

void Utk_buffer_patcher::compose(const krn::Krn_buffer& in, krn::Krn_buffer& out, krn::Krn_status& status) {
  compose_only(in, out, status);
  if (!status.is_error()) clear();
}

// The dummy patcher.

Utk_buffer_dummy_patcher::Utk_buffer_dummy_patcher() = default;

Utk_buffer_dummy_patcher::Utk_buffer_dummy_patcher(const Utk_buffer_dummy_patcher& other)
    : Utk_buffer_patcher(other), m_validator(other.m_validator) {}

Utk_buffer_dummy_patcher::~Utk_buffer_dummy_patcher() = default;

Utk_buffer_dummy_patcher& Utk_buffer_dummy_patcher::operator=(const Utk_buffer_patcher& other) {
  if (this == &other) return *this;
  // A plain patcher's tables are already validated; they stand in for the
  // validating member's state too.
  const auto* dummy = dynamic_cast<const Utk_buffer_dummy_patcher*>(&other);
  Utk_buffer_patcher validator(dummy ? dummy->m_validator : other);
  Utk_buffer_patcher::operator=(other);
  m_validator = validator;
  return *this;
}

Utk_buffer_dummy_patcher& Utk_buffer_dummy_patcher::operator=(const Utk_buffer_dummy_patcher& other) {
  return *this = static_cast<const Utk_buffer_patcher&>(other);
}

bool Utk_buffer_dummy_patcher::add_edit(int64 offset, uint64 edit_size, const unsigned char* data, uint64 data_size) {
  if (!pending_table()) transaction_error("add_edit()", false);
  return add_entry(new Utk_patch(Utk_patch::patch_edit, offset, data, data_size, edit_size));
}

bool Utk_buffer_dummy_patcher::add_entry(Utk_patch* patch) {
  Patch_ptr owned(patch);
  Utk_patch_table* log = pending_table();
  if (!log) return false;
  bool accepted = false;
  switch (owned->type()) {
    case Utk_patch::patch_insert:
      accepted = m_validator.add_insert(owned->offset(), owned->data(), owned->patch_size());
      break;
    case Utk_patch::patch_edit:
      accepted = m_validator.add_edit(owned->offset(), owned->edit_size(), owned->data(), owned->patch_size());
      break;
    case Utk_patch::patch_delete:
      accepted = m_validator.add_delete(owned->offset(), owned->edit_size());
      break;
    case Utk_patch::patch_extend:
      break;
  }
  if (accepted) log->push_back(std::move(owned));
  return accepted;
}

void Utk_buffer_dummy_patcher::start() {
  Utk_buffer_patcher::start();
  m_validator.start();
}

void Utk_buffer_dummy_patcher::commit() {
  // The log keeps arrival order.
  commit_unsorted();
  m_validator.commit();
}

void Utk_buffer_dummy_patcher::abort() {
  Utk_buffer_patcher::abort();
  m_validator.abort();
}

void Utk_buffer_dummy_patcher::clear() {
  Utk_buffer_patcher::clear();
  m_validator.clear();
}

void Utk_buffer_dummy_patcher::compose(const krn::Krn_buffer&, krn::Krn_buffer&, krn::Krn_status&) {
  if (pending_table()) transaction_error("compose()", true);
}

void Utk_buffer_dummy_patcher::compose_only(const krn::Krn_buffer&, krn::Krn_buffer&, krn::Krn_status&) const {
  if (in_transaction()) transaction_error("compose_only()", true);
}

}  // namespace utk
