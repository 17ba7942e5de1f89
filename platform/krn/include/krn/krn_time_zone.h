#ifndef KRN_TIME_ZONE_H
#define KRN_TIME_ZONE_H

// Named time zones from a fixed table. A zone is a reference to one table
// entry, so copying and comparing zones is cheap.

#include <cstdint>

#include "krn/krn_time.h"
#include "krn/krn_types.h"

namespace krn {

class KRN_API Krn_time_zone {
 public:
  // Standard-time zones are 1 to 37; a daylight-saving zone is its standard
  // partner plus 50. UNKNOWN is the entry that stands for a zone not found.
  enum Identifiers : std::int32_t {
    UNKNOWN = 0,
    GMT = 1, WAT = 2, MAST = 3, ESAST = 4, AST = 5, EST = 6, CST = 7, MST = 8, PST = 9, YST = 10,
    AHST = 11, NT = 12, IDLW = 13, CET = 14, EET = 15, RST = 16, ZP4 = 17, ZP5 = 18, ZP6 = 19,
    WAST = 20, CCT = 21, ZP8 = 22, EAST = 23, CPST = 24, NZST = 25, NST = 26, IST = 27, KST = 28,
    INST = 29, CAST = 30, MMT = 31, NPT = 32, TOT = 33, MART = 34, NFT = 35, CHAST = 36, VST = 37,
    BST = 51, WDT = 52, MADT = 53, ESADT = 54, ADT = 55, EDT = 56, CDT = 57, MDT = 58, PDT = 59,
    YDT = 60, HDT = 61, MEST = 64, EEDT = 65, RDT = 66, ZP4S = 67, ZP5S = 68, ZP6S = 69, WADT = 70,
    CCDT = 71, ZP8S = 72, EADT = 73, NZDT = 75, NDT = 76, IDT = 77, CADT = 80, TDT = 83, CHADT = 86,
  };

  struct Zone_info {
    Identifiers identifier;
    Char16 name[12];
    // Seconds added to local time to obtain UTC: positive west of Greenwich.
    std::int32_t offset;
  };

  // The first table entry, GMT.
  static const Krn_time_zone UTC;

  // UTC.
  Krn_time_zone();

  // Case-insensitive; "UTC" gives GMT. An unknown name gives the UNKNOWN zone.
  static Krn_time_zone find(const Wstring& name);
  // Throws std::invalid_argument for an identifier that valid_zone rejects.
  static Krn_time_zone find(Identifiers identifier);
  // The first entry with that offset among the daylight-saving zones when
  // dst is set, else among the others; UNKNOWN when there is none.
  static Krn_time_zone find(const Krn_time_period& offset, bool dst);

  // The zone the system is in now. With use_cache, a zone found less than a
  // minute ago is reused, since asking the system means reading its zone data.
  static Krn_time_zone local(bool use_cache = true);

  Identifiers identifier() const { return m_info->identifier; }
  const Char16* name() const { return m_info->name; }
  Krn_time_period offset() const { return Krn_time_period(m_info->offset); }
  bool is_dst() const { return m_info->identifier > 50; }
  bool is_std() const { return !is_dst(); }

  // The daylight-saving partner of a standard zone and the other way round;
  // UNKNOWN when the table has none. Throws for an invalid identifier.
  static Identifiers partner(Identifiers identifier);
  // True for every identifier of the table except UNKNOWN.
  static bool valid_zone(Identifiers identifier);

  bool operator==(const Krn_time_zone& other) const { return m_info == other.m_info; }

 private:
  explicit constexpr Krn_time_zone(const Zone_info* info) : m_info(info) {}
  static const Zone_info* entry(Identifiers identifier);

  const Zone_info* m_info;
};

}  // namespace krn

#endif
