#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <sys/time.h>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include "krn/krn_date.h"
#include "krn/krn_date_status_args.h"
#include "krn/krn_status.h"
#include "krn/krn_status_codes.h"
#include "krn/krn_status_xml.h"
#include "krn/krn_time.h"
#include "krn/krn_time_zone.h"

using namespace krn;

namespace {

template <class T>
Wstring format(const T& value, const char16_t* form) {
  Wstring text;
  value.to_string(form, text);
  return text;
}

// Runs f and returns the text of the exception of type E it throws, or
// nothing when it throws none.
template <class E, class F>
std::optional<std::string> thrown(F f) {
  try {
    f();
  } catch (const E& e) {
    return std::string(e.what());
  }
  return std::nullopt;
}

// Sets an environment variable for the lifetime of a scope.
class Scoped_env {
 public:
  Scoped_env(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    setenv(name, value, 1);
  }
  ~Scoped_env() {
    if (m_old) setenv(m_name, m_old->c_str(), 1);
    else unsetenv(m_name);
  }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

struct Ymd {
  int day, month, year;
  bool operator==(const Ymd&) const = default;
};

Ymd calendar(std::int32_t julian_day) {
  Ymd d{};
  Krn_date::calc_calendar_date(julian_day, d.day, d.month, d.year);
  return d;
}

}  // namespace

TEST(KrnDate, JulianDayAnchorsAndWeekdays) {
  const Krn_date y2k(1, 1, 2000);
  EXPECT_EQ(y2k.julian_day(), 2451545);
  EXPECT_EQ(y2k.weekday(), Krn_date::SATURDAY);
  EXPECT_EQ(Krn_date(1, 1, 1970).julian_day(), 2440588);
  EXPECT_EQ(Krn_date().julian_day(), 2440588);
  EXPECT_EQ(Krn_date(31, 12, 2000).day_of_year(), 366);
  EXPECT_EQ(Krn_date(1, 3, 2001).day_of_year(), 60);
  const Krn_date d(2451545 + 59);
  EXPECT_EQ((Ymd{d.day(), d.month(), d.year()}), (Ymd{29, 2, 2000}));
  EXPECT_EQ(Krn_date(1, 1, 2000) - Krn_date(31, 12, 1999), Krn_time_period(86400));
}

TEST(KrnDate, LeapYearsFollowTheGregorianRule) {
  EXPECT_FALSE(Krn_date::is_day_in_month(29, 2, 1900));
  EXPECT_TRUE(Krn_date::is_day_in_month(29, 2, 2000));
  EXPECT_TRUE(Krn_date::is_day_in_month(29, 2, 2024));
  EXPECT_EQ(Krn_date::days_in_year(1900), 365);
  EXPECT_EQ(Krn_date::days_in_year(2000), 366);
  EXPECT_EQ(Krn_date::days_in_month(2, 2100), 28);
  EXPECT_EQ(thrown<std::invalid_argument>([] { Krn_date(29, 2, 1900); }),
            "Krn_date::calc_julian_day - invalid day, month, year.");
  EXPECT_EQ(thrown<std::invalid_argument>([] { Krn_date::days_in_month(13, 2000); }), "Not a valid month.");
  EXPECT_EQ(thrown<std::invalid_argument>([] { Krn_date::days_in_month(0, 2000); }), "Not a valid month.");
}

TEST(KrnDate, YearZeroDoesNotExistAndOneBcPrecedesOneAd) {
  EXPECT_FALSE(Krn_date::is_year(0));
  EXPECT_FALSE(Krn_date::is_day_in_month(1, 1, 0));
  for (auto call : {+[] { Krn_date::days_in_month(1, 0); }, +[] { Krn_date::days_in_year(0); },
                    +[] { Krn_date::is_leap_year(0); }})
    EXPECT_EQ(thrown<std::invalid_argument>(call), "Year 0 never existed.");
  EXPECT_TRUE(thrown<std::invalid_argument>([] { Krn_date::calc_julian_day(1, 1, 0); }));

  Krn_date last_bc(31, 12, -1);
  EXPECT_TRUE(last_bc.is_bc());
  EXPECT_FALSE(last_bc.is_ad());
  ++last_bc;
  EXPECT_EQ(last_bc, Krn_date(1, 1, 1));
  EXPECT_TRUE(last_bc.is_ad()) << "1 January of year 1 is AD";
  EXPECT_FALSE(last_bc.is_bc());
  // 1 BC is year 0 of the Gregorian count, so it is a leap year.
  EXPECT_TRUE(Krn_date::is_leap_year(-1));
  EXPECT_FALSE(Krn_date::is_leap_year(-2));
  EXPECT_EQ(Krn_date(1, 3, -1) - Krn_date(28, 2, -1), Krn_time_period(2 * 86400));
}

// Every month start from the first to the last year: the day before it must
// be the last day of the previous month and the count must advance by that
// month's length, so leap rule and day arithmetic cannot drift apart.
TEST(KrnDate, EveryMonthBoundaryRoundTripsThroughTheCalendar) {
  std::int32_t previous_first = Krn_date::calc_julian_day(1, 1, Krn_date::MIN_YEAR);
  EXPECT_EQ(previous_first, Krn_date::MIN_JULIAN_DAY);
  int previous_month = 1, previous_year = Krn_date::MIN_YEAR;
  for (int year = Krn_date::MIN_YEAR; year <= Krn_date::MAX_YEAR; ++year) {
    if (year == 0) continue;
    for (int month = 1; month <= 12; ++month) {
      if (year == Krn_date::MIN_YEAR && month == 1) continue;
      const std::int32_t first = Krn_date::calc_julian_day(1, month, year);
      ASSERT_EQ(first - previous_first, Krn_date::days_in_month(previous_month, previous_year))
          << month << "/" << year;
      ASSERT_EQ(calendar(first), (Ymd{1, month, year}));
      ASSERT_EQ(calendar(first - 1),
                (Ymd{Krn_date::days_in_month(previous_month, previous_year), previous_month, previous_year}));
      previous_first = first;
      previous_month = month;
      previous_year = year;
    }
  }
  EXPECT_EQ(Krn_date::calc_julian_day(31, 12, Krn_date::MAX_YEAR), Krn_date::MAX_JULIAN_DAY);
  EXPECT_EQ(calendar(Krn_date::MAX_JULIAN_DAY), (Ymd{31, 12, 32766}));
  EXPECT_EQ(calendar(Krn_date::MIN_JULIAN_DAY), (Ymd{1, 1, -4713}));
}

TEST(KrnDate, JulianDayLimitsAreEnforced) {
  EXPECT_EQ(Krn_date::min_date().julian_day(), 38);
  EXPECT_EQ(Krn_date::max_date(), Krn_date(31, 12, 32766));
  for (auto call : {+[] { Krn_date(37); }, +[] { Krn_date(Krn_date::MAX_JULIAN_DAY + 1); },
                    +[] { Krn_date d = Krn_date::max_date(); ++d; }, +[] { Krn_date d = Krn_date::min_date(); d--; },
                    +[] { Krn_date::max_date() + Krn_time_period(86400); },
                    +[] { Krn_date::min_date() - Krn_time_period(9000000000000LL); },
                    +[] { int d, m, y; Krn_date::calc_calendar_date(37, d, m, y); }})
    EXPECT_EQ(thrown<std::invalid_argument>(call), "Invalid Julian day.");
  EXPECT_FALSE(Krn_date::is_day_in_month(1, 1, 32767));
  EXPECT_FALSE(Krn_date::is_day_in_month(31, 12, -4714));
}

TEST(KrnDate, InferYearAndWeekdayNavigation) {
  EXPECT_EQ(Krn_date::infer_year(0), 2000);
  EXPECT_EQ(Krn_date::infer_year(50), 2050);
  EXPECT_EQ(Krn_date::infer_year(51), 1951);
  EXPECT_EQ(Krn_date::infer_year(99), 1999);
  EXPECT_EQ(Krn_date::infer_year(100), 100);

  const Krn_date saturday(1, 1, 2000);
  EXPECT_EQ(saturday.next(Krn_date::SATURDAY), Krn_date(8, 1, 2000));
  EXPECT_EQ(saturday.next(Krn_date::SUNDAY), Krn_date(2, 1, 2000));
  EXPECT_EQ(saturday.previous(Krn_date::SATURDAY), Krn_date(25, 12, 1999));
  EXPECT_EQ(saturday.previous(Krn_date::FRIDAY), Krn_date(31, 12, 1999));
  EXPECT_TRUE(thrown<std::invalid_argument>([&] { saturday.next(8); }));

  EXPECT_EQ(Krn_date(KRN_FIRST, Krn_date::MONDAY, 1, 2000), Krn_date(3, 1, 2000));
  EXPECT_EQ(Krn_date(KRN_LAST, Krn_date::SUNDAY, 3, 2024), Krn_date(31, 3, 2024));
  EXPECT_EQ(Krn_date(KRN_LAST, Krn_date::FRIDAY, 2, 2015), Krn_date(27, 2, 2015));
  EXPECT_EQ(Krn_date(KRN_FOURTH, Krn_date::SATURDAY, 2, 2015), Krn_date(28, 2, 2015));
  EXPECT_TRUE(thrown<std::invalid_argument>([] { Krn_date(static_cast<Krn_ordinal>(6), 1, 1, 2000); }));
}

TEST(KrnDate, BrokenDownTimeCountsYearsAsTheCLibraryDoes) {
  std::tm tm{};
  Krn_date(15, 3, -44).to_tm(tm);
  EXPECT_EQ(tm.tm_year, -43 - 1900);
  EXPECT_EQ(Krn_date(tm), Krn_date(15, 3, -44));
  Krn_date(1, 3, 2000).to_tm(tm);
  EXPECT_EQ(tm.tm_mon, 2);
  EXPECT_EQ(tm.tm_yday, 60);
  EXPECT_EQ(tm.tm_wday, 3);
  tm.tm_mon = 12;
  EXPECT_TRUE(thrown<std::invalid_argument>([&] { Krn_date{tm}; }));
}

TEST(KrnDate, FormatTokens) {
  const Krn_date d(5, 1, 2000);
  EXPECT_EQ(format(d, u"%Y-%m-%d"), u"2000-01-05");
  EXPECT_EQ(format(d, u"%A %a %B %b %j %w %U %%"), u"Wednesday Wed January Jan 005 4 01 %");
  EXPECT_EQ(format(Krn_date(15, 3, -44), u"%Y"), u"-0044");
  EXPECT_EQ(format(Krn_date(1, 1, 12345), u"%Y"), u"12345");

  Wstring text = u"kept";
  for (const char16_t* bad : {u"%q", u"%Y%", u"%H"}) {
    EXPECT_EQ(thrown<std::invalid_argument>([&] { d.to_string(bad, text); }),
              "Krn_date::to_string - invalid format token.");
  }
  EXPECT_EQ(text, u"kept") << "a failed format appends nothing";
  EXPECT_TRUE(Krn_date::is_format_token(u'x'));
  EXPECT_FALSE(Krn_date::is_format_token(u'q'));
}

TEST(KrnDate, ShortDateFollowsTheUsersLocale) {
  const Krn_date d(5, 1, 2000);
  {
    Scoped_env env("LC_ALL", "C");
    EXPECT_EQ(format(d, u"%x"), u"01/05/2000");
  }
  {
    Scoped_env env("LC_ALL", "no_SUCH.locale");
    EXPECT_EQ(format(d, u"%x"), u"05/01/2000") << "an unreadable locale falls back to day/month/year";
  }
}

TEST(KrnTimePeriod, NormalisationAndSigns) {
  const Krn_time_period p = Krn_time_period(1) - Krn_time_period(0, 1);
  EXPECT_EQ(p.seconds(), 0);
  EXPECT_EQ(p.microseconds(), 999999);
  EXPECT_EQ(Krn_time_period(0, -1500000), Krn_time_period(-1, -500000));
  EXPECT_EQ(Krn_time_period(2, 2500000).seconds(), 4);
  const char* invalid = "Invalid time period given to Krn_time_period::assign()";
  EXPECT_EQ(thrown<std::invalid_argument>([] { Krn_time_period(1, -1); }), invalid);
  EXPECT_EQ(thrown<std::invalid_argument>([] { Krn_time_period(-1, 1); }), invalid);
  EXPECT_EQ(thrown<std::invalid_argument>([] { Krn_time_period(1, 0, -1, 0, 0); }), invalid);
  EXPECT_EQ(Krn_time_period(-1, -2, -3, -4, -5), -Krn_time_period(1, 2, 3, 4, 5));
  EXPECT_LT(Krn_time_period(-1, 0), Krn_time_period(0, -999999));
  EXPECT_LT(Krn_time_period::ZERO, Krn_time_period::NOON);
  EXPECT_EQ(Krn_time_period::NOON.hours(), 12);

  std::int32_t d, h, m, s, us;
  Krn_time_period(-1, -2, -3, -4, -5).value(d, h, m, s, us);
  EXPECT_EQ((std::vector<int>{d, h, m, s, us}), (std::vector<int>{-1, -2, -3, -4, -5}));
  EXPECT_EQ(thrown<std::overflow_error>([&] { Krn_time_period(86400LL * 0x80000000LL).value(d, h, m, s, us); }),
            "i64 too positive for i32");
  EXPECT_EQ(thrown<std::overflow_error>([&] { Krn_time_period(-86400LL * 0x80000001LL).value(d, h, m, s, us); }),
            "i64 too negative for i32");
}

TEST(KrnTimePeriod, ArithmeticIsExactAndGuarded) {
  const Krn_time_period p(-7, -300001);
  for (int n : {1, 2, 3, -4, 1000001}) EXPECT_EQ((p / n) * n + p % n, p) << n;
  EXPECT_EQ(p * -2, Krn_time_period(14, 600002));
  EXPECT_TRUE(thrown<std::invalid_argument>([&] { p / 0; }));
  EXPECT_TRUE(thrown<std::invalid_argument>([&] { p % 0; }));
  const Krn_time_period big(0x7FFFFFFFFFFFFFFFLL, 999999);
  EXPECT_TRUE(thrown<std::overflow_error>([&] { big + Krn_time_period(0, 1); }));
  EXPECT_TRUE(thrown<std::overflow_error>([&] { big * 2; }));
  EXPECT_EQ(-(-big), big);

  timeval tv{};
  Krn_time_period(-1, -500000).to_timeval(tv);
  EXPECT_EQ(tv.tv_sec, -2);
  EXPECT_EQ(tv.tv_usec, 500000);
  EXPECT_EQ(Krn_time_period(tv), Krn_time_period(-1, -500000));
}

TEST(KrnTimePeriod, FormatPrintsMagnitudesAndTheSignOnce) {
  EXPECT_EQ(format(Krn_time_period(-1, -2, -3, -4, -5), u"%-%D %H:%M:%S.%f"), u"-1 02:03:04.000005");
  EXPECT_EQ(format(Krn_time_period(18000), u"%-%H"), u"05");
  EXPECT_EQ(thrown<std::invalid_argument>([] { format(Krn_time_period(), u"%Y"); }),
            "Krn_time_period::to_string - invalid format token.");
}

TEST(KrnTime, WrapsAroundMidnight) {
  EXPECT_EQ(Krn_time(23, 0) + Krn_time_period(0, 2, 0, 0, 0), Krn_time(1, 0));
  EXPECT_EQ(Krn_time(0, 30) - Krn_time_period(3600), Krn_time(23, 30));
  EXPECT_EQ(Krn_time(0, 0) - Krn_time_period(0, 1), Krn_time::max_time());
  EXPECT_EQ(Krn_time(12, 0) + Krn_time_period(-10 * 86400 - 3600), Krn_time(11, 0));
  EXPECT_EQ(Krn_time(-1), Krn_time(23, 59, 59));
  EXPECT_EQ(Krn_time(86400 * 3 + 61), Krn_time(0, 1, 1));
  EXPECT_EQ(Krn_time(Krn_time_period(-1, -1)), Krn_time(23, 59, 58, 999999));
  EXPECT_EQ(Krn_time(1, 0) - Krn_time(23, 0), Krn_time_period(-22 * 3600));
  EXPECT_TRUE(Krn_time(11, 59, 59, 999999).is_am());
  EXPECT_TRUE(Krn_time(12, 0).is_pm());
}

TEST(KrnTime, InvalidFieldsAndFormat) {
  for (auto call : {+[] { Krn_time(24, 0); }, +[] { Krn_time(0, 60); }, +[] { Krn_time(0, 0, 60); },
                    +[] { Krn_time(0, 0, 0, 1000000); }, +[] { Krn_time(-1, 0); }})
    EXPECT_EQ(thrown<std::invalid_argument>(call), "Invalid argument to Krn_time::set()");

  const Krn_time t(13, 5, 9, 250);
  EXPECT_EQ(format(t, u"%H:%M:%S %I %p [%X] %%"), u"13:05:09 01 PM [13:05:09] %");
  EXPECT_EQ(thrown<std::invalid_argument>([&] { format(t, u"%d"); }), "Krn_time::to_string - invalid format token.");
  std::tm tm{};
  t.to_tm(tm);
  EXPECT_EQ(Krn_time(tm, 250), t);
}

TEST(KrnTimeZone, TableLookups) {
  const Krn_time_zone est = Krn_time_zone::find(u"est");
  EXPECT_EQ(est.identifier(), Krn_time_zone::EST);
  EXPECT_EQ(est.offset(), Krn_time_period(18000));
  EXPECT_EQ(Krn_time_zone::find(u"UTC"), Krn_time_zone::UTC);
  EXPECT_EQ(Krn_time_zone(), Krn_time_zone::UTC);
  EXPECT_EQ(Wstring(Krn_time_zone::UTC.name()), u"GMT");

  const Krn_time_zone unknown = Krn_time_zone::find(u"Mars");
  EXPECT_EQ(unknown.identifier(), Krn_time_zone::UNKNOWN);
  EXPECT_EQ(Wstring(unknown.name()), u"???");
  EXPECT_EQ(Krn_time_zone::find(Wstring(u"GMT\0X", 5)).identifier(), Krn_time_zone::UNKNOWN);

  EXPECT_EQ(Krn_time_zone::find(Krn_time_period(-3600), true).identifier(), Krn_time_zone::BST);
  EXPECT_EQ(Krn_time_zone::find(Krn_time_period(-3600), false).identifier(), Krn_time_zone::CET);
  EXPECT_EQ(Krn_time_zone::find(Krn_time_period(0), true).identifier(), Krn_time_zone::WDT);
  EXPECT_EQ(Krn_time_zone::find(Krn_time_period(-18000), true).identifier(), Krn_time_zone::ZP4S);
  EXPECT_EQ(Krn_time_zone::find(Krn_time_period(60), false).identifier(), Krn_time_zone::UNKNOWN);

  EXPECT_EQ(Krn_time_zone::partner(Krn_time_zone::EST), Krn_time_zone::EDT);
  EXPECT_EQ(Krn_time_zone::partner(Krn_time_zone::EDT), Krn_time_zone::EST);
  EXPECT_EQ(Krn_time_zone::partner(Krn_time_zone::IDLW), Krn_time_zone::UNKNOWN);
  EXPECT_TRUE(Krn_time_zone::find(Krn_time_zone::MEST).is_dst());
  EXPECT_FALSE(Krn_time_zone::valid_zone(Krn_time_zone::UNKNOWN));
  EXPECT_FALSE(Krn_time_zone::valid_zone(static_cast<Krn_time_zone::Identifiers>(62)));
  for (auto call : {+[] { Krn_time_zone::find(static_cast<Krn_time_zone::Identifiers>(62)); },
                    +[] { Krn_time_zone::partner(static_cast<Krn_time_zone::Identifiers>(99)); }})
    EXPECT_EQ(thrown<std::invalid_argument>(call), "Krn_time_zone::partner - invalid zone");
}

TEST(KrnTimeZone, LocalZoneComesFromTheSystemSetting) {
  {
    Scoped_env tz("TZ", "XYZ-5:30");
    EXPECT_EQ(Krn_time_zone::local(false).identifier(), Krn_time_zone::INST);
  }
  {
    Scoped_env tz("TZ", "XYZ-0:01");
    EXPECT_EQ(Krn_time_zone::local(false).identifier(), Krn_time_zone::UNKNOWN);
  }
  Scoped_env tz("TZ", "UTC0");
  const Krn_time_zone fresh = Krn_time_zone::local(false);
  EXPECT_EQ(fresh, Krn_time_zone::UTC);
  EXPECT_EQ(Krn_time_zone::local(true), fresh) << "the cache holds what the last query found";
}

TEST(KrnTimeZoneThreads, CachedLocalZoneIsSharedSafely) {
  Scoped_env tz("TZ", "EST5");
  const Krn_time_zone expected = Krn_time_zone::local(false);
  EXPECT_EQ(expected.identifier(), Krn_time_zone::EST);
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&, i] {
      for (int n = 0; n < 2000; ++n)
        if (!(Krn_time_zone::local(n % 100 != 0) == expected)) ++mismatches[i];
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

TEST(KrnDateAndTime, UtcConversionAndInstantComparison) {
  const Krn_time_zone est = Krn_time_zone::find(Krn_time_zone::EST);
  Krn_date_and_time t(Krn_date(31, 12, 1999), Krn_time(22, 30), est);
  const Krn_date_and_time copy = static_cast<const Krn_date_and_time&>(t).utc();
  EXPECT_EQ(t.zone(), est) << "the const form leaves the object alone";
  EXPECT_EQ(copy.date(), Krn_date(1, 1, 2000));
  EXPECT_EQ(copy.time(), Krn_time(3, 30));
  EXPECT_EQ(Wstring(copy.zone().name()), u"GMT");

  EXPECT_EQ(copy, t) << "the same instant";
  EXPECT_FALSE(copy.is_same_as(t));
  EXPECT_TRUE(copy.is_same_as(Krn_date_and_time(t).utc()));
  EXPECT_LT(t, copy + Krn_time_period(0, 1));
  EXPECT_EQ(copy + Krn_time_period(3600) - t, Krn_time_period(3600));
  t.utc();
  EXPECT_TRUE(t.is_same_as(copy));
}

TEST(KrnDateAndTime, PartsAndLimits) {
  Krn_date_and_time t(Krn_date(1, 1, 2000), Krn_time(12, 0), Krn_time_zone::UTC);
  EXPECT_EQ(t.period().seconds(), 2451545LL * 86400 + 43200);
  t.set_time(Krn_time(6, 0));
  t.set_date(Krn_date(2, 1, 2000));
  EXPECT_EQ(t, Krn_date_and_time(Krn_date(2, 1, 2000), Krn_time(6, 0)));
  t += Krn_time_period(0, 20, 0, 0, 0);
  EXPECT_EQ(t.date(), Krn_date(3, 1, 2000));
  EXPECT_EQ(t.time(), Krn_time(2, 0));

  const char* construction = "Krn_date_and_time::Krn_date_and_time() - time period is not a valid julian day.";
  const char* assignment = "Krn_date_and_time::operator=() - time period is not a valid julian day.";
  EXPECT_EQ(thrown<std::invalid_argument>([] { Krn_date_and_time(Krn_time_period(37 * 86400), Krn_time_zone()); }),
            construction);
  EXPECT_EQ(thrown<std::invalid_argument>([] { Krn_date_and_time(Krn_time_period(-1), Krn_time_zone()); }),
            construction);
  EXPECT_EQ(thrown<std::invalid_argument>([&] { t = Krn_time_period((Krn_date::MAX_JULIAN_DAY + 1LL) * 86400); }),
            assignment);
  EXPECT_EQ(thrown<std::invalid_argument>([] { Krn_date_and_time::max_date_and_time() + Krn_time_period(0, 1); }),
            assignment);

  const Krn_date_and_time low = Krn_date_and_time::min_date_and_time();
  const Krn_date_and_time high = Krn_date_and_time::max_date_and_time();
  EXPECT_EQ(low.date(), Krn_date::min_date());
  EXPECT_EQ(low.time(), Krn_time::min_time());
  EXPECT_EQ(high.date(), Krn_date::max_date());
  EXPECT_EQ(high.time(), Krn_time::max_time());
  EXPECT_EQ(low.zone(), Krn_time_zone::local(true));
}

TEST(KrnDateAndTime, FormatAndBrokenDownTime) {
  const Krn_date_and_time t(Krn_date(5, 1, 2000), Krn_time(7, 8, 9), Krn_time_zone::find(Krn_time_zone::EST));
  EXPECT_EQ(format(t, u"%Y-%m-%dT%H:%M:%S %z %o %w %p"), u"2000-01-05T07:08:09 EST +05 4 AM");
  EXPECT_EQ(format(Krn_date_and_time(t.period(), Krn_time_zone::find(Krn_time_zone::CET)), u"%o"), u"-01");
  EXPECT_EQ(format(Krn_date_and_time(t.period(), Krn_time_zone::find(u"nowhere")), u"[%z]"), u"[]");
  {
    Scoped_env env("LC_ALL", "C");
    EXPECT_EQ(format(t, u"%c"), u"07:08:09 01/05/2000");
  }
  EXPECT_EQ(thrown<std::invalid_argument>([&] { format(t, u"%q"); }),
            "Krn_date_and_time::to_string - invalid format token.");

  std::tm tm{};
  Krn_date_and_time(t.period(), Krn_time_zone::find(Krn_time_zone::EDT)).to_tm(tm);
  EXPECT_EQ(tm.tm_isdst, 1);
  EXPECT_EQ(Krn_date_and_time(tm, Krn_time_zone::find(Krn_time_zone::EST)).period(), t.period());
}

TEST(KrnDateAndTime, ClocksAgree) {
  // The three clocks are read one after the other; only a midnight between
  // them could part them, and then by exactly one day.
  const Krn_date_and_time now = Krn_date_and_time::now();
  const Krn_date today = Krn_date::today();
  EXPECT_LE(today - now.date(), Krn_time_period(86400));
  EXPECT_GE(today - now.date(), Krn_time_period::ZERO);
  EXPECT_EQ(now.zone(), Krn_time_zone::local(true));
  EXPECT_EQ(now.period().microseconds() % 1000, 0) << "the clock is read to the millisecond";
}

class KrnDateStatusArgs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { XERCES_CPP_NAMESPACE::XMLPlatformUtils::Initialize(); }
  static void TearDownTestSuite() { XERCES_CPP_NAMESPACE::XMLPlatformUtils::Terminate(); }

  void SetUp() override {
    auto* impl = XERCES_CPP_NAMESPACE::DOMImplementationRegistry::getDOMImplementation(u"Core");
    m_document = impl->createDocument(nullptr, u"Status", nullptr);
  }
  void TearDown() override { m_document->release(); }

  XERCES_CPP_NAMESPACE::DOMElement* root() { return m_document->getDocumentElement(); }

  Krn_status round_trip(const Krn_status& status) {
    krn_status_to_xml(status, root(), true);
    Krn_status back;
    krn_status_from_xml(back, root());
    return back;
  }

  std::optional<std::string> read_error(const char16_t* type, const char16_t* value) {
    auto* arg = m_document->createElement(u"Arg");
    arg->setAttribute(u"type", type);
    arg->setAttribute(u"value", value);
    root()->appendChild(arg);
    Krn_status status;
    auto error = thrown<std::runtime_error>([&] { krn_status_from_xml(status, root()); });
    root()->removeChild(arg)->release();
    return error;
  }

  XERCES_CPP_NAMESPACE::DOMDocument* m_document = nullptr;
};

TEST_F(KrnDateStatusArgs, TextsIdentitiesAndEquality) {
  Scoped_env env("LC_ALL", "C");
  const Krn_date_status_arg date(Krn_date(5, 1, 2000));
  const Krn_time_status_arg time(Krn_time(7, 8, 9, 10));
  const Krn_date_and_time_status_arg stamp(Krn_date_and_time(Krn_date(5, 1, 2000), Krn_time(7, 8, 9)));
  Wstring text;
  date.to_string(text);
  EXPECT_EQ(text, u"01/05/2000");
  time.to_string(text);
  EXPECT_EQ(text, u"07:08:09");
  stamp.to_string(text);
  EXPECT_EQ(text, u"07:08:09 01/05/2000");

  EXPECT_EQ(date.identity(), (GUID{0x1637FA71, 0xAB07, 0x11D2, {0x99, 0x25, 0x00, 0xA0, 0xC9, 0xB7, 0xDA, 0xA8}}));
  EXPECT_EQ(time.identity(), (GUID{0xE48B8170, 0xAAF0, 0x11D2, {0x99, 0x25, 0x00, 0xA0, 0xC9, 0xB7, 0xDA, 0xA8}}));
  EXPECT_EQ(stamp.identity(), (GUID{0x1637FA72, 0xAB07, 0x11D2, {0x99, 0x25, 0x00, 0xA0, 0xC9, 0xB7, 0xDA, 0xA8}}));

  Krn_status_arg* copy = time.clone();
  EXPECT_TRUE(copy->operator==(time));
  copy->destroy();
  EXPECT_FALSE(time.operator==(Krn_time_status_arg(Krn_time(7, 8, 9)))) << "microseconds count";
  EXPECT_FALSE(date.operator==(stamp));
  EXPECT_FALSE(date.operator==(Krn_int_status_arg(date.value().julian_day())));
}

TEST_F(KrnDateStatusArgs, XmlRoundTripBringsDateAndTimeToUtc) {
  const Krn_date_and_time est_time(Krn_date(31, 12, 1999), Krn_time(22, 30, 15), Krn_time_zone::find(u"EST"));
  Krn_status status(KRN_E_OPEN, Krn_date_status_arg(Krn_date(29, 2, 2000)), Krn_time_status_arg(Krn_time(23, 59, 59)),
                    Krn_date_and_time_status_arg(est_time), Krn_date_status_arg(Krn_date(15, 3, -44)),
                    Krn_date_status_arg(Krn_date(31, 12, 32766)));
  status.push(KRN_E_READ, Krn_date_status_arg(Krn_date::min_date()));

  const Krn_status back = round_trip(status);
  EXPECT_TRUE(back.compare(status, true, true));

  const auto* head_arg = root()->getFirstElementChild();
  EXPECT_EQ(Wstring(head_arg->getAttribute(u"value")), u"-4713-01-01");
  const auto* stamp_element =
      root()->getLastElementChild()->getFirstElementChild()->getNextElementSibling()->getNextElementSibling();
  EXPECT_EQ(Wstring(stamp_element->getAttribute(u"type")), u"datetime");
  EXPECT_EQ(Wstring(stamp_element->getAttribute(u"value")), u"2000-01-01T03-30-15Z");

  ASSERT_TRUE(back.has_child());
  const auto& stamp = dynamic_cast<const Krn_date_and_time_status_arg&>(*back.child()->begin()[2]);
  EXPECT_EQ(stamp.value().zone(), Krn_time_zone::UTC);
  EXPECT_TRUE(stamp.value().is_same_as(est_time.utc()));
}

TEST_F(KrnDateStatusArgs, MalformedValuesAreRejected) {
  EXPECT_FALSE(read_error(u"date", u" 2000-02-29"));
  EXPECT_FALSE(read_error(u"datetime", u"2000-01-01T03-30-15Zextra"));
  for (auto [type, value] : std::vector<std::pair<const char16_t*, const char16_t*>>{
           {u"date", u"2000-02-30"}, {u"date", u"0-01-01"}, {u"date", u"2000/01/01"}, {u"date", u""},
           {u"time", u"24-00-00"}, {u"time", u"12-00"}, {u"datetime", u"2000-01-01T03-30-15"},
           {u"datetime", u"2000-01-01 03-30-15Z"}, {u"datetime", u"2000-01-01T03-30-15z"}}) {
    std::string shown;
    for (const char16_t* p = value; *p; ++p) shown += static_cast<char>(*p);
    EXPECT_EQ(read_error(type, value), "Krn_status::from_xml() - Invalid XML format") << shown;
  }
}
