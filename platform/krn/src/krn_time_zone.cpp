#include <atomic>
#include <chrono>
#include <iterator>
#include <stdexcept>

#include "krn/krn_string.h"
#include "krn/krn_time_zone.h"
#include "port/port_time.h"

namespace krn {

namespace {

using Zone = Krn_time_zone;

// Lookups by offset take the first match, so the order is part of the
// behaviour: BST, not WDT, is the daylight zone one hour east.
constexpr Zone::Zone_info ZONES[] = {
    {Zone::GMT, u"GMT", 0},         {Zone::WAT, u"WAT", 3600},       {Zone::MAST, u"MAST", 7200},
    {Zone::ESAST, u"ESAST", 10800}, {Zone::AST, u"AST", 14400},      {Zone::EST, u"EST", 18000},
    {Zone::CST, u"CST", 21600},     {Zone::MST, u"MST", 25200},      {Zone::PST, u"PST", 28800},
    {Zone::YST, u"YST", 27000},     {Zone::AHST, u"AHST", 36000},    {Zone::NT, u"NT", 39600},
    {Zone::IDLW, u"IDLW", 43200},   {Zone::CET, u"CET", -3600},      {Zone::EET, u"EET", -7200},
    {Zone::RST, u"RST", -10800},    {Zone::ZP4, u"ZP4", -14400},     {Zone::ZP5, u"ZP5", -18000},
    {Zone::ZP6, u"ZP6", -21600},    {Zone::WAST, u"WAST", -25200},   {Zone::CCT, u"CCT", -28800},
    {Zone::ZP8, u"ZP8", -32400},    {Zone::EAST, u"EAST", -36000},   {Zone::CPST, u"CPST", -39600},
    {Zone::NZST, u"NZST", -43200},  {Zone::NST, u"NST", 12600},      {Zone::IST, u"IST", -12600},
    {Zone::KST, u"KST", -16200},    {Zone::INST, u"INST", -19800},   {Zone::CAST, u"CAST", -34200},
    {Zone::MMT, u"MMT", -23400},    {Zone::NPT, u"NPT", -20700},     {Zone::TOT, u"TOT", -46800},
    {Zone::MART, u"MART", 34200},   {Zone::NFT, u"NFT", -41400},     {Zone::CHAST, u"CHAST", -45900},
    {Zone::VST, u"VST", 16200},     {Zone::BST, u"BST", -3600},      {Zone::ADT, u"ADT", 10800},
    {Zone::EDT, u"EDT", 14400},     {Zone::CDT, u"CDT", 18000},      {Zone::MDT, u"MDT", 21600},
    {Zone::PDT, u"PDT", 25200},     {Zone::YDT, u"YDT", 28800},      {Zone::HDT, u"HDT", 32400},
    {Zone::MEST, u"MEST", -7200},   {Zone::WADT, u"WADT", -28800},   {Zone::EADT, u"EADT", -39600},
    {Zone::NZDT, u"NZDT", -46800},  {Zone::NDT, u"NDT", 9000},       {Zone::ESADT, u"ESADT", 7200},
    {Zone::MADT, u"MADT", 3600},    {Zone::WDT, u"WDT", 0},          {Zone::EEDT, u"EEDT", -10800},
    {Zone::RDT, u"RDT", -14400},    {Zone::ZP4S, u"ZP4S", -18000},   {Zone::ZP5S, u"ZP5S", -21600},
    {Zone::ZP6S, u"ZP6S", -25200},  {Zone::IDT, u"IDT", -16200},     {Zone::CCDT, u"CCDT", -32400},
    {Zone::ZP8S, u"ZP8S", -36000},  {Zone::CADT, u"CADT", -37800},   {Zone::TDT, u"TDT", -50400},
    {Zone::CHADT, u"CHADT", -49500},
    {Zone::UNKNOWN, u"???", 0},
};

constexpr const Zone::Zone_info* UNKNOWN_ENTRY = &ZONES[std::size(ZONES) - 1];

// The cached local zone. A spin latch is enough: it is held for a few loads
// and stores, never while the system is asked.
std::atomic_flag g_latch = ATOMIC_FLAG_INIT;
const Zone::Zone_info* g_cached_zone = nullptr;
std::chrono::steady_clock::time_point g_cached_at;

class Spin_latch_guard {
 public:
  Spin_latch_guard() {
    while (g_latch.test_and_set(std::memory_order_acquire)) g_latch.wait(true, std::memory_order_relaxed);
  }
  ~Spin_latch_guard() {
    g_latch.clear(std::memory_order_release);
    g_latch.notify_one();
  }
  Spin_latch_guard(const Spin_latch_guard&) = delete;
  Spin_latch_guard& operator=(const Spin_latch_guard&) = delete;
};

constexpr std::chrono::seconds CACHE_LIFETIME(60);

}  // namespace

const Krn_time_zone Krn_time_zone::UTC(&ZONES[0]);

Krn_time_zone::Krn_time_zone() : m_info(&ZONES[0]) {}

const Krn_time_zone::Zone_info* Krn_time_zone::entry(Identifiers identifier) {
  for (const Zone_info& info : ZONES)
    if (info.identifier == identifier && identifier != UNKNOWN) return &info;
  return nullptr;
}

bool Krn_time_zone::valid_zone(Identifiers identifier) { return entry(identifier) != nullptr; }

Krn_time_zone Krn_time_zone::find(Identifiers identifier) {
  const Zone_info* info = entry(identifier);
  if (!info) throw std::invalid_argument("Krn_time_zone::partner - invalid zone");
  return Krn_time_zone(info);
}

Krn_time_zone Krn_time_zone::find(const Wstring& name) {
  // A name with an embedded zero would otherwise match on its first part.
  if (name.find(u'\0') != Wstring::npos) return Krn_time_zone(UNKNOWN_ENTRY);
  if (krn_utf16_compare_nc(name.c_str(), u"UTC") == 0) return UTC;
  for (const Zone_info& info : ZONES)
    if (info.identifier != UNKNOWN && krn_utf16_compare_nc(name.c_str(), info.name) == 0) return Krn_time_zone(&info);
  return Krn_time_zone(UNKNOWN_ENTRY);
}

Krn_time_zone Krn_time_zone::find(const Krn_time_period& offset, bool dst) {
  for (const Zone_info& info : ZONES) {
    if (info.identifier == UNKNOWN) continue;
    const bool daylight = info.identifier > 50;
    if (daylight == dst && Krn_time_period(info.offset) == offset) return Krn_time_zone(&info);
  }
  return Krn_time_zone(UNKNOWN_ENTRY);
}

Krn_time_zone::Identifiers Krn_time_zone::partner(Identifiers identifier) {
  const Krn_time_zone zone = find(identifier);
  const auto other = static_cast<Identifiers>(zone.is_dst() ? identifier - 50 : identifier + 50);
  return valid_zone(other) ? other : UNKNOWN;
}

Krn_time_zone Krn_time_zone::local(bool use_cache) {
  const auto now = std::chrono::steady_clock::now();
  if (use_cache) {
    Spin_latch_guard guard;
    if (g_cached_zone && now - g_cached_at < CACHE_LIFETIME) return Krn_time_zone(g_cached_zone);
  }
  int64 offset = 0;
  bool dst = false;
  port::local_zone(offset, dst);
  const Krn_time_zone zone = find(Krn_time_period(offset), dst);
  Spin_latch_guard guard;
  g_cached_zone = zone.m_info;
  g_cached_at = now;
  return zone;
}

}  // namespace krn
