#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "utk/utk_patcher.h"

namespace utk {

namespace {

Utk_patch::Type checked_type(Utk_patch::Type type) {
  switch (type) {
    case Utk_patch::patch_insert:
    case Utk_patch::patch_edit:
    case Utk_patch::patch_delete:
    case Utk_patch::patch_extend:
      return type;
  }
  throw std::invalid_argument("Unrecognised patch type");
}

// Offsets are signed, so a range past the largest position would make every
// later end-offset computation overflow.
void check_range(const char* operation, int64 offset, uint64 size) {
  if (offset < 0) throw std::invalid_argument(std::string(operation) + " - negative offset");
  if (size > static_cast<uint64>(INT64_MAX - offset))
    throw std::invalid_argument(std::string(operation) + " - range ends beyond the largest position");
}

}  // namespace

Utk_patch::Utk_patch(Type type, int64 offset, const krn::Wstring& data, uint64 edit_size)
    : Utk_patch(type, offset, reinterpret_cast<const unsigned char*>(data.data()), data.size() * sizeof(char16_t),
                edit_size) {}

Utk_patch::Utk_patch(Type type, int64 offset, const unsigned char* data, uint64 data_size, uint64 edit_size)
    : m_type(checked_type(type)), m_offset(offset), m_edit_size(edit_size) {
  check_range("Utk_patch::Utk_patch()", offset, edit_size);
  if (m_type != patch_delete) copy_patch(data, data_size);
}

Utk_patch::Utk_patch(const Utk_patch& other)
    : m_type(other.m_type), m_offset(other.m_offset), m_edit_size(other.m_edit_size) {
  copy_patch(other.m_patch_p, other.m_patch_size);
}

Utk_patch& Utk_patch::operator=(const Utk_patch& other) {
  if (this == &other) return *this;
  m_type = other.m_type;
  m_offset = other.m_offset;
  m_edit_size = other.m_edit_size;
  copy_patch(other.m_patch_p, other.m_patch_size);
  return *this;
}

Utk_patch::~Utk_patch() { delete[] m_patch_p; }

void Utk_patch::edit_size(uint64 size) {
  check_range("Utk_patch::edit_size()", m_offset, size);
  m_edit_size = size;
}

void Utk_patch::copy_patch(const unsigned char* data, uint64 size) {
  // No bytes is a valid patch (an empty insert, a delete's copy); only a
  // missing source for bytes that were promised is a caller's mistake.
  if (size == 0) {
    m_patch_size = 0;
    return;
  }
  if (!data) throw std::invalid_argument("m_patch_p is un-initialised");
  if (size > m_capacity) {
    unsigned char* block = new unsigned char[size]();
    delete[] m_patch_p;
    m_patch_p = block;
    m_capacity = size;
  }
  std::memcpy(m_patch_p, data, size);
  m_patch_size = size;
}

bool Utk_patch::overlapping(const Utk_patch& other) const {
  if (other.m_offset == m_offset) {
    // Insertions only add bytes, so at one offset they clash with nothing;
    // an edit's tail and an edit or delete starting there are simply
    // adjacent. (Merging a tail with a delete would turn it into an edit,
    // and a later insert at that offset would then land inside the tail.)
    const bool this_insert = m_type == patch_insert && m_edit_size == 0;
    const bool other_insert = other.m_type == patch_insert && other.m_edit_size == 0;
    if (this_insert || other_insert) return false;
    const bool this_tail = m_type == patch_extend && m_edit_size == 0;
    const bool other_tail = other.m_type == patch_extend && other.m_edit_size == 0;
    const bool this_removes = m_type == patch_edit || m_type == patch_delete;
    const bool other_removes = other.m_type == patch_edit || other.m_type == patch_delete;
    if ((this_tail && other_removes) || (this_removes && other_tail)) return false;
    return true;
  }
  if (other.m_offset < m_offset) return false;
  return other.m_offset < end_offset();
}

}  // namespace utk
