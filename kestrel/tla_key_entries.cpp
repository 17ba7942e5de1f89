#include "tla/tla_key_entries.h"

#include <algorithm>
#include <cctype>

#include "krn/krn_status.h"
#include "krn/krn_status_args.h"
#include "tla/tla_status_codes.h"

namespace tla {

namespace {

constexpr std::uint64_t ENTRY = sizeof(Tla_index_entry);
// Runs of a million entries sort in the cache's reach and are few enough to
// merge by a heap of a few levels.
constexpr std::size_t LARGEST_RUN = std::size_t{1} << 20;
constexpr std::size_t SMALLEST_RUN = 64;
// What the rest of a run takes (batches in flight, caches, the codec): the
// entries get the budget less this. A budget too small to leave it bounds
// the entries alone.
constexpr std::uint64_t REST_OF_RUN = std::uint64_t{64} << 20;
// The fewest entries a spilled run is read back at a time, and the most.
constexpr std::uint64_t SMALLEST_READ = 4;
constexpr std::uint64_t LARGEST_READ = std::uint64_t{1} << 16;

// Key hashes are spread evenly, so their top bits part entries into buckets
// of a few each, and a bucket is sorted in the cache.
constexpr int BUCKET_BITS = 16;

std::size_t bucket_of(const Tla_index_entry& entry) {
  return static_cast<std::size_t>(entry.hash >> (64 - BUCKET_BITS));
}

// Sorts from into to (both count long) by hash; entries of equal hash keep
// the order they had.
void sort_by_hash(const Tla_index_entry* from, Tla_index_entry* to, std::size_t count) {
  std::vector<std::size_t> next(std::size_t{1} << BUCKET_BITS, 0);
  for (std::size_t i = 0; i < count; ++i) ++next[bucket_of(from[i])];
  std::size_t total = 0;
  for (std::size_t& start : next) {
    const std::size_t size = start;
    start = total;
    total += size;
  }
  for (std::size_t i = 0; i < count; ++i) to[next[bucket_of(from[i])]++] = from[i];
  // next[b] is now where bucket b ends; a stable insertion sort in each.
  std::size_t begin = 0;
  for (const std::size_t end : next) {
    for (std::size_t i = begin + 1; i < end; ++i) {
      const Tla_index_entry entry = to[i];
      std::size_t j = i;
      for (; j > begin && to[j - 1].hash > entry.hash; --j) to[j] = to[j - 1];
      to[j] = entry;
    }
    begin = end;
  }
}

}  // namespace

bool tla_parse_memory(const std::string& text, std::uint64_t& bytes) {
  std::size_t digits = 0;
  std::uint64_t value = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) {
    if (value > (~std::uint64_t{0}) / 10 - 9) return false;
    value = value * 10 + static_cast<std::uint64_t>(text[digits] - '0');
    ++digits;
  }
  if (digits == 0 || value == 0) return false;
  int shift = 0;
  const std::string unit = text.substr(digits);
  if (unit == "K" || unit == "k") {
    shift = 10;
  } else if (unit == "M" || unit == "m") {
    shift = 20;
  } else if (unit == "G" || unit == "g") {
    shift = 30;
  } else if (unit == "T" || unit == "t") {
    shift = 40;
  } else if (!unit.empty()) {
    return false;
  }
  if (value > (~std::uint64_t{0} >> shift)) return false;
  bytes = value << shift;
  return true;
}

// ---- Space -------------------------------------------------------------------

Tla_entry_space::Tla_entry_space(std::uint64_t budget, std::size_t keys, const krn::Wstring& folder)
    : m_budget(budget), m_folder(folder) {
  const std::uint64_t entries = budget >= 2 * REST_OF_RUN ? budget - REST_OF_RUN : budget;
  // Three quarters while records come: each key fills a run and one more is
  // the sorting's scratch space, and sorted runs are kept in what those
  // leave. A quarter for reading spilled runs back while the kept ones wait:
  // a read window of a run needs far less than the run.
  const std::uint64_t coming = entries - entries / 4;
  const std::uint64_t run = coming / 2 / ENTRY / (keys + 1);
  m_run_size = static_cast<std::size_t>(std::clamp<std::uint64_t>(run, SMALLEST_RUN, LARGEST_RUN));
  const std::uint64_t filling = (keys + 1) * m_run_size * ENTRY;
  m_keep_limit = coming > filling ? coming - filling : 0;
  m_merge_bytes = entries - coming;
}

Tla_entry_space::~Tla_entry_space() = default;

bool Tla_entry_space::keep(std::uint64_t bytes) {
  // The runs being filled count against the same limit.
  if (m_kept + bytes > m_keep_limit) return false;
  m_kept += bytes;
  return true;
}

std::uint64_t Tla_entry_space::spill(const Tla_index_entry* entries, std::size_t count, krn::Krn_status& status) {
  status.clear();
  if (!m_file.is_open()) {
    m_file.create_unnamed(m_folder, true, status);
    if (!status.ok()) {
      status.push(TLA_E_SPILL_FILE, krn::Krn_wstring_status_arg(m_folder.empty() ? krn::Wstring(u".") : m_folder));
      return 0;
    }
  }
  const std::uint64_t position = m_end;
  m_file.seek(static_cast<krn::int64>(position), status);
  if (status.ok()) m_file.write(entries, count * ENTRY, status);
  m_end += count * ENTRY;
  return position;
}

void Tla_entry_space::load(std::uint64_t position, Tla_index_entry* entries, std::size_t count,
                           krn::Krn_status& status) {
  m_file.seek(static_cast<krn::int64>(position), status);
  if (!status.ok()) return;
  if (m_file.read(entries, count * ENTRY, status) != count * ENTRY && status.ok()) status = TLA_E_SPILL_FILE;
}

// ---- One key's entries ----------------------------------------------------------

// A sorted run: in memory, or in the spill file and read back a window at a
// time.
struct Tla_key_entries::Run {
  std::unique_ptr<Tla_index_entry[]> entries;  // the run, or its read window
  std::size_t size = 0;                        // entries in the run
  std::uint64_t spilled_at = 0;
  bool spilled = false;
  // While merging: the window [at, end) and what is left in the file.
  std::size_t at = 0;
  std::size_t end = 0;
  std::size_t read = 0;
  std::size_t window = 0;
};

// The heads of the runs, the smallest on top; among equal entries the run
// that came first, so that equal hashes stay in offset order.
struct Tla_key_entries::Merge {
  struct Head {
    Tla_index_entry entry;
    std::size_t run;
  };
  static bool before(const Head& a, const Head& b) {
    if (a.entry.hash != b.entry.hash) return a.entry.hash < b.entry.hash;
    if (a.entry.offset != b.entry.offset) return a.entry.offset < b.entry.offset;
    return a.run < b.run;
  }
  // A binary heap, smallest first. The run whose head was taken usually
  // has the next head too, so the new head replaces the top and sinks: one
  // pass down instead of a removal and an insertion.
  std::vector<Head> heads;

  void sink(std::size_t at) {
    const Head moving = heads[at];
    for (;;) {
      std::size_t child = 2 * at + 1;
      if (child >= heads.size()) break;
      if (child + 1 < heads.size() && before(heads[child + 1], heads[child])) ++child;
      if (!before(heads[child], moving)) break;
      heads[at] = heads[child];
      at = child;
    }
    heads[at] = moving;
  }
  void build() {
    for (std::size_t i = heads.size() / 2; i-- > 0;) sink(i);
  }
  void replace_top(const Head& head) {
    heads[0] = head;
    sink(0);
  }
  void pop_top() {
    heads[0] = heads.back();
    heads.pop_back();
    if (!heads.empty()) sink(0);
  }
};

Tla_key_entries::Tla_key_entries(Tla_entry_space& space) : m_space(space) {}

Tla_key_entries::~Tla_key_entries() {
  for (const auto& run : m_runs) {
    if (!run->spilled) m_space.release(run->size * ENTRY);
  }
}

void Tla_key_entries::add(std::uint64_t hash, std::uint64_t offset, krn::Krn_status& status) {
  if (!m_filling) m_filling = std::make_unique_for_overwrite<Tla_index_entry[]>(m_space.run_size());
  m_filling[m_filled++] = Tla_index_entry{hash, offset};
  ++m_size;
  if (m_filled == m_space.run_size()) finish_run(status);
}

void Tla_key_entries::finish_run(krn::Krn_status& status) {
  status.clear();
  if (m_filled == 0) return;
  if (!m_scratch) m_scratch = std::make_unique_for_overwrite<Tla_index_entry[]>(m_space.run_size());
  sort_by_hash(m_filling.get(), m_scratch.get(), m_filled);
  auto run = std::make_unique<Run>();
  run->size = m_filled;
  m_filled = 0;
  if (m_space.keep(run->size * ENTRY)) {
    run->entries = std::move(m_scratch);
  } else {
    run->spilled = true;
    run->spilled_at = m_space.spill(m_scratch.get(), run->size, status);
  }
  m_runs.push_back(std::move(run));
}

void Tla_key_entries::close(krn::Krn_status& status) {
  finish_run(status);
  m_filling.reset();
  m_scratch.reset();
  if (!status.ok()) return;
  std::size_t spilled = 0;
  for (const auto& run : m_runs) spilled += run->spilled ? 1 : 0;
  std::uint64_t window = LARGEST_READ;
  if (spilled > 0) {
    window = std::min<std::uint64_t>(LARGEST_READ, m_space.merge_bytes() / ENTRY / spilled);
    if (window < SMALLEST_READ) {
      status.assign(TLA_E_MEMORY_TOO_SMALL, krn::Krn_uint_status_arg(m_space.budget()),
                    krn::Krn_uint_status_arg(spilled), krn::Krn_uint_status_arg(spilled * SMALLEST_READ * ENTRY * 2));
      return;
    }
  }
  m_merge = std::make_unique<Merge>();
  for (std::size_t r = 0; r < m_runs.size(); ++r) {
    Run& run = *m_runs[r];
    if (run.spilled) {
      run.window = static_cast<std::size_t>(std::min<std::uint64_t>(window, run.size));
      run.entries = std::make_unique_for_overwrite<Tla_index_entry[]>(run.window);
    } else {
      run.end = run.size;
    }
    Tla_index_entry first{};
    if (run.size > 0 && next_of(r, first, status)) m_merge->heads.push_back({first, r});
    if (!status.ok()) return;
  }
  m_merge->build();
}

bool Tla_key_entries::next_of(std::size_t index, Tla_index_entry& entry, krn::Krn_status& status) {
  Run& run = *m_runs[index];
  if (run.at == run.end) {
    if (!run.spilled || run.read == run.size) return false;
    const std::size_t count = std::min(run.window, run.size - run.read);
    m_space.load(run.spilled_at + run.read * ENTRY, run.entries.get(), count, status);
    if (!status.ok()) return false;
    run.read += count;
    run.at = 0;
    run.end = count;
  }
  entry = run.entries[run.at++];
  return true;
}

bool Tla_key_entries::next(Tla_index_entry& entry, krn::Krn_status& status) {
  if (!m_merge || m_merge->heads.empty()) return false;
  const Merge::Head head = m_merge->heads.front();
  entry = head.entry;
  Tla_index_entry following{};
  if (next_of(head.run, following, status)) {
    m_merge->replace_top({following, head.run});
  } else {
    m_merge->pop_top();
  }
  return status.ok();
}

}  // namespace tla
