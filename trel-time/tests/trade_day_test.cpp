#include "trel/time/trade_day.hpp"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "trel/testing.hpp"

using namespace trel::time;

namespace {

using trel::test_support::error_of;

// Epoch seconds of a wall-clock time at a fixed offset, counted independently
// of the calendar's own local-time code.
int64_t at_offset(int64_t y, int m, int d, int hh, int mm, int ss, int offset_hours) {
  return days_from_civil(y, m, d) * 86400 + hh * 3600 + mm * 60 + ss - offset_hours * 3600;
}

MarketCalendar day_calendar(std::vector<int32_t> holidays = {}) {
  return MarketCalendar(8, std::move(holidays), {{"trading_period", {{930, 1130}, {1300, 1500}}}});
}

}  // namespace

// ---------------------------------------------------------------------------
// Civil dates against a day-by-day count with the leap-year rule.

TEST(Civil, MatchesDayByDayCountFrom1900To2100) {
  auto leap = [](int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
  const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int64_t day = -25567;  // 1900-01-01
  int weekday = 1;       // a Monday
  for (int64_t y = 1900; y <= 2100; ++y) {
    for (int m = 1; m <= 12; ++m) {
      const int len = lengths[m - 1] + (m == 2 && leap(y));
      for (int d = 1; d <= len; ++d, ++day, weekday = (weekday + 1) % 7) {
        ASSERT_EQ(days_from_civil(y, m, d), day) << y << "-" << m << "-" << d;
        const CivilDate c = civil_from_days(day);
        ASSERT_EQ(std::tie(c.year, c.month, c.day), std::make_tuple(y, m, d));
        ASSERT_EQ(weekday_from_days(day), weekday);
      }
    }
  }
}

TEST(Civil, OutOfRangeMonthsAndDaysCarryOver) {
  EXPECT_EQ(days_from_civil(2023, 13, 1), days_from_civil(2024, 1, 1));
  EXPECT_EQ(days_from_civil(2024, 0, 15), days_from_civil(2023, 12, 15));
  EXPECT_EQ(days_from_civil(2024, 3, 0), days_from_civil(2024, 2, 29));
  EXPECT_EQ(days_from_civil(2024, 1, -1), days_from_civil(2023, 12, 30));
  EXPECT_EQ(days_from_yyyymmdd(20240230), days_from_civil(2024, 3, 1));
}

// ---------------------------------------------------------------------------
// US Eastern time

TEST(Eastern, SwitchDaysFollowThe2007Rule) {
  EXPECT_EQ(dst_start_day(2006), days_from_civil(2006, 4, 2));
  EXPECT_EQ(dst_end_day(2006), days_from_civil(2006, 10, 29));
  EXPECT_EQ(dst_start_day(2007), days_from_civil(2007, 3, 11));
  EXPECT_EQ(dst_end_day(2007), days_from_civil(2007, 11, 4));
  EXPECT_EQ(dst_start_day(2021), days_from_civil(2021, 3, 14));
  EXPECT_EQ(dst_end_day(2021), days_from_civil(2021, 11, 7));
  EXPECT_EQ(dst_start_day(2004), days_from_civil(2004, 4, 4));  // April 1st was a Thursday
  EXPECT_EQ(dst_end_day(2004), days_from_civil(2004, 10, 31));  // October 31st itself a Sunday
}

struct LocalCase {
  int64_t y;
  int m, d, hh, mm;
  int offset;  // hours east of UTC that the local time reads at
};

class EasternLocalInstant : public testing::TestWithParam<LocalCase> {};

TEST_P(EasternLocalInstant, ConvertsWithTheRuleOffset) {
  const LocalCase c = GetParam();
  const MarketCalendar cal(-5, {}, {});
  EXPECT_EQ(cal.local_instant(c.y, c.m, c.d, c.hh, c.mm), at_offset(c.y, c.m, c.d, c.hh, c.mm, 0, c.offset));
}

INSTANTIATE_TEST_SUITE_P(
    Switches, EasternLocalInstant,
    testing::Values(LocalCase{2021, 3, 14, 1, 30, -5}, LocalCase{2021, 3, 14, 1, 59, -5},
                    LocalCase{2021, 3, 14, 2, 0, -4},  // the skipped hour reads as daylight time
                    LocalCase{2021, 3, 14, 2, 30, -4}, LocalCase{2021, 3, 14, 3, 0, -4},
                    LocalCase{2021, 3, 13, 23, 30, -5}, LocalCase{2021, 11, 7, 0, 30, -4},
                    LocalCase{2021, 11, 7, 0, 59, -4},
                    LocalCase{2021, 11, 7, 1, 30, -5},  // the repeated hour reads as standard time
                    LocalCase{2021, 11, 6, 23, 0, -4}, LocalCase{2021, 11, 8, 0, 0, -5},
                    LocalCase{2006, 4, 2, 1, 59, -5}, LocalCase{2006, 4, 2, 3, 0, -4},
                    LocalCase{2006, 3, 12, 12, 0, -5},  // the 2007 rule does not apply yet
                    LocalCase{2006, 10, 29, 0, 30, -4}, LocalCase{2006, 10, 29, 1, 30, -5},
                    LocalCase{2006, 11, 3, 12, 0, -5}, LocalCase{2021, 7, 1, 12, 0, -4},
                    LocalCase{2021, 1, 15, 12, 0, -5},
                    // hour and minute offsets past their ranges normalise before the rule applies
                    LocalCase{2021, 3, 15, -21, 0, -4}, LocalCase{2021, 3, 13, 26, 30, -4}));

TEST(Eastern, LocalDateTimeSwitchesAtTheUtcInstants) {
  const MarketCalendar cal(-5, {}, {});
  auto hm = [&](int64_t t) {
    const LocalDateTime l = cal.local_date_time(t);
    return std::make_tuple(l.year, l.month, l.day, l.hour, l.minute, l.second, l.weekday);
  };
  const int64_t spring = at_offset(2021, 3, 14, 7, 0, 0, 0);
  EXPECT_EQ(hm(spring - 1), std::make_tuple(int64_t{2021}, 3, 14, 1, 59, 59, 0));
  EXPECT_EQ(hm(spring), std::make_tuple(int64_t{2021}, 3, 14, 3, 0, 0, 0));
  const int64_t autumn = at_offset(2021, 11, 7, 6, 0, 0, 0);
  EXPECT_EQ(hm(autumn - 1), std::make_tuple(int64_t{2021}, 11, 7, 1, 59, 59, 0));
  EXPECT_EQ(hm(autumn), std::make_tuple(int64_t{2021}, 11, 7, 1, 0, 0, 0));
  // New Year's midnight is standard time on both sides.
  EXPECT_EQ(hm(at_offset(2022, 1, 1, 5, 0, 0, 0)), std::make_tuple(int64_t{2022}, 1, 1, 0, 0, 0, 6));
  EXPECT_EQ(cal.yyyymmdd(at_offset(2022, 1, 1, 4, 59, 59, 0)), 20211231);
}

TEST(Eastern, ShiftDaysKeepsTheWallClockAcrossSwitches) {
  const MarketCalendar cal(-5, {}, {});
  // Saturday 23:30 EST + 86400 s would be Monday 00:30 EDT.
  const int64_t sat = at_offset(2021, 3, 13, 23, 30, 0, -5);
  EXPECT_EQ(cal.yyyymmdd(sat + 86400), 20210315);
  EXPECT_EQ(cal.shift_days(sat, 1), at_offset(2021, 3, 14, 23, 30, 0, -4));
  EXPECT_EQ(cal.shift_days(sat, 2), at_offset(2021, 3, 15, 23, 30, 0, -4));
  // Sunday 23:30 EST - 2 days would be Saturday 00:30 EDT.
  const int64_t sun = at_offset(2021, 11, 7, 23, 30, 0, -5);
  EXPECT_EQ(cal.shift_days(sun, -2), at_offset(2021, 11, 5, 23, 30, 0, -4));
  EXPECT_EQ(cal.shift_days(sun, -1), at_offset(2021, 11, 6, 23, 30, 0, -4));
  // Fixed offsets step by exactly 86400 s.
  const MarketCalendar east8 = day_calendar();
  EXPECT_EQ(east8.shift_days(12345678, -3), 12345678 - 3 * 86400);
}

// ---------------------------------------------------------------------------
// Fixed offsets and session values

TEST(LocalTime, SessionValuesOutsideTheDay) {
  const MarketCalendar cal = day_calendar();
  EXPECT_EQ(cal.local_instant(20240110, -30), at_offset(2024, 1, 9, 23, 30, 0, 8));
  EXPECT_EQ(cal.local_instant(20240110, -300), at_offset(2024, 1, 9, 21, 0, 0, 8));
  EXPECT_EQ(cal.local_instant(20240110, 2630), at_offset(2024, 1, 11, 2, 30, 0, 8));
  EXPECT_EQ(cal.local_instant(20240110, 930), at_offset(2024, 1, 10, 9, 30, 0, 8));
  const MarketCalendar west(-9, {}, {});
  EXPECT_EQ(west.yyyymmdd(at_offset(2024, 1, 10, 8, 59, 59, 0)), 20240109);
  EXPECT_EQ(west.yyyymmdd(at_offset(2024, 1, 10, 9, 0, 0, 0)), 20240110);
}

TEST(LocalTime, DatesBeyondFourDigitYearsAreRefused) {
  EXPECT_EQ(error_of([] { checked_instant_ms(253402300800000ull); }),
            "MarketCalendar: instant 253402300800000 ms lies beyond the year 9999");
  EXPECT_NO_THROW(checked_instant_ms(253402300799999ull));
  const MarketCalendar far(100000000, {}, {});  // nonsense zone: the local year overflows YYYYMMDD
  EXPECT_EQ(error_of([&] { far.yyyymmdd(0); }),
            "MarketCalendar: local date in year 13377 is outside the years 1 to 9999");
}

// ---------------------------------------------------------------------------
// Day kinds and policies (2024-01-12 is a Friday)

TEST(DayKind, WeekendNextToAHolidayIsAHoliday) {
  MarketCalendar cal = day_calendar({20240112});
  const int64_t sat = at_offset(2024, 1, 13, 12, 0, 0, 8);
  const int64_t sun = at_offset(2024, 1, 14, 12, 0, 0, 8);
  EXPECT_EQ(cal.day_kind(sat, false), DayKind::Holiday);
  EXPECT_EQ(cal.day_kind(sun, false), DayKind::Holiday);
  EXPECT_EQ(cal.day_kind(sat, true), DayKind::Weekend);  // looks at Monday instead
  cal.set_ignore_weekend(true);
  EXPECT_EQ(cal.day_kind(sat, false), DayKind::Holiday);
  EXPECT_EQ(cal.day_kind(sat, true), DayKind::Trading);
  EXPECT_EQ(cal.day_kind(at_offset(2024, 1, 12, 12, 0, 0, 8), false), DayKind::Holiday);
}

TEST(DayKind, LookAheadSeesAMondayHoliday) {
  const MarketCalendar cal = day_calendar({20240115});
  EXPECT_EQ(cal.day_kind(at_offset(2024, 1, 13, 0, 0, 0, 8), true), DayKind::Holiday);
  EXPECT_EQ(cal.day_kind(at_offset(2024, 1, 14, 23, 59, 59, 8), true), DayKind::Holiday);
  EXPECT_EQ(cal.day_kind(at_offset(2024, 1, 14, 23, 59, 59, 8), false), DayKind::Weekend);
  EXPECT_EQ(cal.day_kind(at_offset(2024, 1, 16, 0, 0, 0, 8), true), DayKind::Trading);
}

TEST(DayKind, HolidayOrderDoesNotMatter) {
  const MarketCalendar cal = day_calendar({20241001, 20240110, 20240501, 20240110});
  EXPECT_EQ(cal.day_kind(at_offset(2024, 1, 10, 12, 0, 0, 8), false), DayKind::Holiday);
  EXPECT_EQ(cal.day_kind(at_offset(2024, 5, 1, 12, 0, 0, 8), false), DayKind::Holiday);
  EXPECT_EQ(cal.holidays(), (std::vector<int32_t>{20241001, 20240110, 20240501, 20240110}));
}

TEST(Policy, ChosenByThePreviousCalendarDay) {
  const MarketCalendar cal = day_calendar({20240112, 20240117});
  EXPECT_EQ(cal.policy_for(20240110), "trading_period");
  EXPECT_EQ(cal.policy_for(20240115), "after_holiday");  // Monday after a Friday holiday
  EXPECT_EQ(cal.policy_for(20240118), "after_holiday");
  EXPECT_EQ(cal.policy_for(20240122), "after_weekend");
  EXPECT_EQ(cal.policy_for(20240113), "after_holiday");  // Saturday: Friday is the holiday
  EXPECT_EQ(cal.policy_for(20240114), "after_holiday");  // Sunday: Saturday shares Friday's holiday
  EXPECT_EQ(cal.policy_for(20240121), "after_weekend");
}

TEST(Policy, SessionsFallBackToTradingPeriod) {
  MarketCalendar cal = day_calendar();
  cal.set_period("after_weekend", {{-300, 230}, {900, 1500}});
  EXPECT_EQ(cal.sessions_for("after_weekend").front(), (Session{-300, 230}));
  EXPECT_EQ(cal.sessions_for("after_holiday").front(), (Session{930, 1130}));
  cal.set_period("after_weekend", {{800, 900}});  // a later insertion replaces the list
  EXPECT_EQ(cal.sessions_for("after_weekend"), (SessionList{{800, 900}}));

  const MarketCalendar bare(8, {}, {{"after_weekend", {{900, 1000}}}});
  EXPECT_EQ(error_of([&] { bare.sessions_for("after_holiday"); }),
            "MarketCalendar must carry a \"trading_period\" policy");
  const MarketCalendar empty(8, {}, {{"trading_period", {}}});
  EXPECT_EQ(error_of([&] { empty.nonempty_sessions_for("after_weekend"); }),
            "MarketCalendar: policy \"trading_period\" has no sessions");
  EXPECT_EQ(error_of([&] { empty.resolve(at_offset(2024, 1, 10, 12, 0, 0, 8), Rounding::Floor); }),
            "MarketCalendar: policy \"trading_period\" has no sessions");
}

// ---------------------------------------------------------------------------
// Resolution. Wednesday 2024-01-10; the night calendar opens each trade day at
// 21:00 of the evening before.

struct ResolveCase {
  const char* name;
  bool night;
  int d, hh, mm, ss;  // local time in January 2024
  Rounding rounding;
  std::string_view policy;
  int32_t trade_day;
};

class Resolve : public testing::TestWithParam<ResolveCase> {};

TEST_P(Resolve, PicksTheTradeDay) {
  const ResolveCase c = GetParam();
  MarketCalendar cal = day_calendar();
  if (c.night) {
    cal.set_period("trading_period", {{-300, 230}, {900, 1130}, {1330, 1500}});
    cal.set_period("after_weekend", {{-300, 230}, {900, 1130}, {1330, 1500}});
  }
  const TradeDayResolution r = cal.resolve(at_offset(2024, 1, c.d, c.hh, c.mm, c.ss, 8), c.rounding);
  EXPECT_EQ(r.policy, c.policy);
  EXPECT_EQ(r.trade_day, c.trade_day);
  EXPECT_EQ(r.action_day, 20240100 + c.d);
}

constexpr auto F = Rounding::Floor;
constexpr auto C = Rounding::Ceil;
constexpr auto R = Rounding::Round;

INSTANTIATE_TEST_SUITE_P(
    Boundaries, Resolve,
    testing::Values(
        ResolveCase{"FloorBeforeOpen", false, 10, 8, 0, 0, F, "trading_period", 20240110},
        ResolveCase{"FloorAfterClose", false, 10, 23, 59, 59, F, "trading_period", 20240110},
        ResolveCase{"FloorNightNotBegun", true, 10, 20, 59, 59, F, "trading_period", 20240110},
        ResolveCase{"FloorNightBegun", true, 10, 21, 0, 0, F, "trading_period", 20240111},
        ResolveCase{"FloorNoMarginBeforeNight", true, 10, 20, 55, 0, F, "trading_period", 20240110},
        ResolveCase{"CeilAtClose", false, 10, 15, 0, 0, C, "trading_period", 20240110},
        ResolveCase{"CeilAfterClose", false, 10, 15, 0, 1, C, "trading_period", 20240111},
        ResolveCase{"CeilFridayAfterClose", false, 12, 15, 0, 1, C, "after_weekend", 20240115},
        ResolveCase{"RoundJustInsideMargin", false, 10, 15, 9, 59, R, "trading_period", 20240110},
        ResolveCase{"RoundPastMarginDayOpen", false, 10, 15, 10, 0, R, "trading_period", 20240110},
        ResolveCase{"RoundPastMarginNightNotDue", true, 10, 20, 49, 59, R, "trading_period", 20240110},
        ResolveCase{"RoundPastMarginNightDue", true, 10, 20, 50, 0, R, "trading_period", 20240111},
        ResolveCase{"SaturdayFloor", false, 13, 12, 0, 0, F, "trading_period", 20240112},
        ResolveCase{"SaturdayRound", false, 13, 12, 0, 0, R, "trading_period", 20240112},
        ResolveCase{"SaturdayCeil", false, 13, 12, 0, 0, C, "after_weekend", 20240115},
        ResolveCase{"SundayFloorBeforeMargin", true, 14, 20, 49, 59, F, "after_weekend", 20240112},
        ResolveCase{"SundayFloorInMargin", true, 14, 20, 50, 0, F, "after_weekend", 20240115},
        ResolveCase{"SundayRoundInMargin", true, 14, 20, 50, 0, R, "after_weekend", 20240115},
        ResolveCase{"SundayDayOnlyFloor", false, 14, 23, 59, 59, F, "after_weekend", 20240112}),
    [](const testing::TestParamInfo<ResolveCase>& i) { return std::string(i.param.name); });

TEST(Resolve, HolidayNextToWeekend) {
  // Friday 12th is a holiday: Thursday's close carries through to Monday.
  const MarketCalendar cal = day_calendar({20240112});
  const int64_t fri = at_offset(2024, 1, 12, 10, 0, 0, 8);
  const int64_t sun = at_offset(2024, 1, 14, 10, 0, 0, 8);
  EXPECT_EQ(cal.resolve(fri, F).trade_day, 20240111);
  EXPECT_EQ(cal.resolve(fri, C).trade_day, 20240115);
  EXPECT_EQ(cal.resolve(fri, C).policy, "after_holiday");
  EXPECT_EQ(cal.resolve(sun, R).trade_day, 20240111);
  EXPECT_EQ(cal.resolve(sun, R).policy, "after_holiday");  // the policy of the calendar date
  EXPECT_EQ(cal.resolve(at_offset(2024, 1, 11, 15, 0, 1, 8), C).trade_day, 20240115);
}

TEST(Resolve, EasternWalksVisitEveryDayAcrossTheSpringSwitch) {
  // Friday 2021-03-12 is a holiday. Sunday 14th 23:30 EDT looks back two days to
  // the Friday; a 2 x 86400 s step from there would land on Friday 22:30 EST (fine)
  // but forward from Saturday 23:30 EST it would land on Tuesday.
  MarketCalendar cal(-5, {20210312, 20210315}, {{"trading_period", {{930, 1600}}}});
  const int64_t sat = at_offset(2021, 3, 13, 23, 30, 0, -5);
  EXPECT_EQ(cal.day_kind(sat, true), DayKind::Holiday);  // Monday 15th, not Tuesday 16th
  const TradeDayResolution r = cal.resolve(sat, Rounding::Ceil);
  EXPECT_EQ(r.trade_day, 20210316);
  EXPECT_EQ(cal.resolve(sat, Rounding::Floor).trade_day, 20210311);
  // Autumn: Sunday 23:30 EST - 2 x 86400 s is Saturday 00:30 EDT, not Friday.
  MarketCalendar autumn(-5, {20211105}, {{"trading_period", {{930, 1600}}}});
  const int64_t sun = at_offset(2021, 11, 7, 23, 30, 0, -5);
  EXPECT_EQ(autumn.day_kind(sun, false), DayKind::Holiday);
  EXPECT_EQ(autumn.policy_for(20211108), "after_holiday");
}
