#include "trel/time/sampler.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <tuple>

#include "trel/testing.hpp"
#include "trel/time/market_status.hpp"

using namespace trel::time;

namespace {

using trel::test_support::error_of;

// Epoch ms of a wall-clock time at UTC+8 in January 2024, counted independently
// of the calendar (2024-01-10 is a Wednesday).
int64_t jan(int d, int hh, int mm, int ss = 0, int ms = 0) {
  return ((days_from_civil(2024, 1, d) * 86400 + hh * 3600 + mm * 60 + ss) - 8 * 3600) * 1000 + ms;
}
uint64_t ujan(int d, int hh, int mm, int ss = 0, int ms = 0) {
  return static_cast<uint64_t>(jan(d, hh, mm, ss, ms));
}
int64_t utc_midnight(int y, int m, int d) { return days_from_civil(y, m, d) * 86'400'000; }
// Wall clock at a fixed offset, seconds -> ms.
int64_t at_offset_ms(int y, int m, int d, int hh, int mm, int offset) {
  return (days_from_civil(y, m, d) * 86400 + hh * 3600 + mm * 60 - offset * 3600) * 1000;
}

MarketCalendar day_calendar(std::vector<int32_t> holidays = {}) {
  return MarketCalendar(8, std::move(holidays), {{"trading_period", {{930, 1130}, {1300, 1500}}}});
}

using Pair = std::pair<int64_t, int64_t>;

}  // namespace

// ---------------------------------------------------------------------------
// Market status

struct StatusCase {
  int d, hh, mm;
  Rounding rounding;
  bool open;
  int64_t latest;  // ms, 0 for none
};

class Status : public testing::TestWithParam<StatusCase> {};

TEST_P(Status, OnAnOrdinaryWednesday) {
  const StatusCase c = GetParam();
  const MarketCalendar cal = day_calendar();
  const MarketStatusRecord st = market_status(cal, jan(c.d, c.hh, c.mm), c.rounding);
  EXPECT_EQ(st.market_open, c.open);
  EXPECT_EQ(st.lattest_market_time, static_cast<uint64_t>(c.latest));
  EXPECT_EQ(st.trade_day, 20240110);
  EXPECT_EQ(st.action_day, 20240110);
  EXPECT_EQ(st.begin, ujan(10, 9, 30));
  EXPECT_EQ(st.end, ujan(10, 15, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, Status,
    testing::Values(StatusCase{10, 8, 0, Rounding::Floor, false, 0},
                    StatusCase{10, 9, 30, Rounding::Floor, true, jan(10, 9, 30)},
                    StatusCase{10, 10, 0, Rounding::Floor, true, jan(10, 10, 0)},
                    StatusCase{10, 11, 30, Rounding::Floor, false, jan(10, 11, 30)},  // end is exclusive
                    StatusCase{10, 12, 0, Rounding::Floor, false, jan(10, 11, 30)},
                    StatusCase{10, 16, 0, Rounding::Floor, false, jan(10, 15, 0)},
                    StatusCase{10, 8, 0, Rounding::Round, false, jan(10, 9, 30)},
                    StatusCase{10, 12, 14, Rounding::Round, false, jan(10, 11, 30)},
                    StatusCase{10, 12, 15, Rounding::Round, false, jan(10, 11, 30)},  // midpoint goes back
                    StatusCase{10, 12, 16, Rounding::Round, false, jan(10, 13, 0)},
                    StatusCase{10, 8, 0, Rounding::Ceil, false, jan(10, 9, 30)},
                    StatusCase{10, 12, 0, Rounding::Ceil, false, jan(10, 13, 0)},
                    StatusCase{10, 15, 0, Rounding::Ceil, false, jan(10, 15, 0)}));

TEST(Status, WeekendHandlingOfTheTwoForms) {
  MarketCalendar cal = day_calendar();
  const MarketStatusRecord floor = calculate_market_status(cal, ujan(13, 10, 0));
  EXPECT_EQ(std::make_tuple(floor.trade_day, floor.action_day, floor.market_open, floor.lattest_market_time),
            std::make_tuple(20240112, 20240113, false, ujan(12, 15, 0)));
  const MarketStatusRecord weekend = calculate_market_status_include_weekend(cal, ujan(13, 10, 0));
  EXPECT_EQ(std::make_tuple(weekend.trade_day, weekend.market_open, weekend.begin),
            std::make_tuple(20240113, true, ujan(13, 9, 30)));
  // A Friday holiday makes the Saturday a holiday too.
  MarketCalendar holiday = day_calendar({20240112});
  const MarketStatusRecord h = calculate_market_status_include_weekend(holiday, ujan(13, 10, 0));
  EXPECT_EQ(std::make_tuple(h.trade_day, h.market_open), std::make_tuple(20240111, false));
}

TEST(Status, NightSessionBelongsToTheNextTradeDay) {
  MarketCalendar cal(8, {}, {{"trading_period", {{-300, 230}, {900, 1500}}}});
  const MarketStatusRecord before = calculate_market_status(cal, ujan(10, 20, 59, 59));
  EXPECT_EQ(std::make_tuple(before.trade_day, before.market_open), std::make_tuple(20240110, false));
  const MarketStatusRecord st = calculate_market_status(cal, ujan(10, 22, 0));
  EXPECT_EQ(
      std::make_tuple(st.trade_day, st.action_day, st.market_open, st.lattest_market_time, st.begin, st.end),
      std::make_tuple(20240111, 20240110, true, ujan(10, 22, 0), ujan(10, 21, 0), ujan(11, 15, 0)));
}

TEST(Status, EmptySessionListIsAnError) {
  MarketCalendar cal(8, {}, {{"trading_period", {{930, 1500}}}, {"after_weekend", {}}});
  EXPECT_EQ(error_of([&] { calculate_market_status(cal, ujan(15, 10, 0)); }),
            "MarketCalendar: policy \"after_weekend\" has no sessions");
}

// ---------------------------------------------------------------------------
// Session lists

TEST(Sections, OfAGivenTradeDay) {
  const MarketCalendar cal = day_calendar({20240111});
  EXPECT_EQ(tradeday_sections(cal, 20240110),
            (SpanList{{jan(10, 9, 30), jan(10, 11, 30)}, {jan(10, 13, 0), jan(10, 15, 0)}}));
  EXPECT_TRUE(tradeday_sections(cal, 20240113).empty());
  EXPECT_TRUE(tradeday_sections(cal, 20240114).empty());
  EXPECT_TRUE(tradeday_sections(cal, 20240111).empty());
}

TEST(Sections, EveningSessionAfterAHolidayRun) {
  // The evening session of the first day after holidays falls on the evening of
  // the last weekday before them; day sessions stay on the trade day.
  const SessionList after_holiday{{-300, 230}, {900, 1500}};
  auto sections = [&](std::vector<int32_t> holidays, int32_t day) {
    const MarketCalendar cal(8, std::move(holidays),
                             {{"trading_period", {{930, 1500}}}, {"after_holiday", after_holiday}});
    return tradeday_sections(cal, day);
  };
  // Wednesday holiday: Thursday's evening session is Tuesday evening.
  EXPECT_EQ(sections({20240110}, 20240111),
            (SpanList{{jan(9, 21, 0), jan(10, 2, 30)}, {jan(11, 9, 0), jan(11, 15, 0)}}));
  // Friday holiday: Monday's evening session is Thursday evening, not Saturday's.
  EXPECT_EQ(sections({20240112}, 20240115),
            (SpanList{{jan(11, 21, 0), jan(12, 2, 30)}, {jan(15, 9, 0), jan(15, 15, 0)}}));
  // Monday holiday: Tuesday's evening session is Friday evening.
  EXPECT_EQ(sections({20240115}, 20240116),
            (SpanList{{jan(12, 21, 0), jan(13, 2, 30)}, {jan(16, 9, 0), jan(16, 15, 0)}}));
  // Two holidays in any order.
  EXPECT_EQ(sections({20240111, 20240110}, 20240112).front(), (Span{jan(9, 21, 0), jan(10, 2, 30)}));
}

TEST(Sections, MondayAfterAWeekendUsesItsOwnPolicy) {
  const MarketCalendar cal(
      8, {}, {{"trading_period", {{930, 1500}}}, {"after_weekend", {{-300, 230}, {900, 1500}}}});
  EXPECT_EQ(tradeday_sections(cal, 20240115).front(), (Span{jan(14, 21, 0), jan(15, 2, 30)}));
  EXPECT_EQ(tradeday_sections(cal, 20240116), (SpanList{{jan(16, 9, 30), jan(16, 15, 0)}}));
}

TEST(Sections, EasternMondayLooksBackToTheFridayAcrossTheSpringSwitch) {
  // Monday 2021-03-15 00:00 EDT minus 3 x 86400 s is Thursday 23:00 EST.
  const MarketCalendar cal(-5, {20210312},
                           {{"trading_period", {{930, 1600}}}, {"after_holiday", {{1000, 1600}}}});
  EXPECT_EQ(tradeday_sections(cal, 20210315),
            (SpanList{{at_offset_ms(2021, 3, 15, 10, 0, -4), at_offset_ms(2021, 3, 15, 16, 0, -4)}}));
}

TEST(Sections, ThisTradeDayFollowsCeil) {
  const MarketCalendar cal = day_calendar();
  const SpanList wed{{jan(10, 9, 30), jan(10, 11, 30)}, {jan(10, 13, 0), jan(10, 15, 0)}};
  const SpanList thu{{jan(11, 9, 30), jan(11, 11, 30)}, {jan(11, 13, 0), jan(11, 15, 0)}};
  EXPECT_EQ(this_tradeday_sections(cal, ujan(10, 15, 0)), wed);
  EXPECT_EQ(this_tradeday_sections(cal, ujan(10, 15, 0, 1)), thu);
  EXPECT_EQ(this_tradeday_sections(cal, ujan(10, 16, 0)), thu);
}

// ---------------------------------------------------------------------------
// Next break and resumption

TEST(NextBreak, AndContinue) {
  MarketCalendar cal = day_calendar();
  EXPECT_EQ(next_market_break_time(cal, ujan(10, 10, 0)), jan(10, 11, 30));
  EXPECT_EQ(next_market_break_time(cal, ujan(10, 11, 30)), jan(10, 15, 0));
  EXPECT_EQ(next_market_break_time(cal, ujan(10, 11, 29, 59, 999)), jan(10, 11, 30));
  EXPECT_EQ(next_market_break_time(cal, ujan(10, 16, 0)), jan(11, 11, 30));
  EXPECT_EQ(next_market_continue_time(cal, ujan(10, 12, 0)), jan(10, 13, 0));
  EXPECT_EQ(next_market_continue_time(cal, ujan(10, 13, 0)), jan(11, 9, 30));
  EXPECT_EQ(next_market_continue_time(cal, ujan(10, 16, 0)), jan(11, 9, 30));
  // Weekends count as trading days here.
  EXPECT_EQ(next_market_continue_time(cal, ujan(12, 16, 0)), jan(13, 9, 30));
  EXPECT_EQ(next_market_break_time(cal, ujan(13, 8, 0)), jan(13, 11, 30));
  EXPECT_TRUE(cal.ignore_weekend());
}

TEST(NextBreak, SkipsHolidaysAndReportsEmptyLists) {
  MarketCalendar cal(8, {20240111, 20240112, 20240113, 20240114}, {{"trading_period", {{930, 1500}}}});
  EXPECT_EQ(next_market_continue_time(cal, ujan(10, 16, 0)), jan(15, 9, 30));
  EXPECT_EQ(next_market_break_time(cal, ujan(10, 16, 0)), jan(15, 15, 0));
  // The day after the holidays has an empty list: reported, never skipped silently.
  cal.set_period("after_holiday", {});
  EXPECT_EQ(error_of([&] { next_market_continue_time(cal, ujan(10, 16, 0)); }),
            "MarketCalendar: policy \"after_holiday\" has no sessions");
  MarketCalendar none(8, {}, {{"trading_period", {}}});
  EXPECT_EQ(error_of([&] { next_market_break_time(none, ujan(10, 16, 0)); }),
            "MarketCalendar: policy \"trading_period\" has no sessions");
}

TEST(NextBreak, EasternWalkVisitsTheSwitchDay) {
  // Sessions 23:00-24:00. From Saturday 23:45 EST the next resumption is Sunday
  // 23:00 EDT; a plain +86400 s step would land on Monday and skip it.
  MarketCalendar cal(-5, {}, {{"trading_period", {{2300, 2400}}}});
  const uint64_t sat = static_cast<uint64_t>(at_offset_ms(2021, 3, 13, 23, 45, -5));
  EXPECT_EQ(next_market_continue_time(cal, sat), at_offset_ms(2021, 3, 14, 23, 0, -4));
  EXPECT_EQ(next_market_break_time(cal, sat), at_offset_ms(2021, 3, 14, 0, 0, -5));
}

// ---------------------------------------------------------------------------
// Equivalent market time

TEST(Equivalent, ClampsIntoTheTradeDay) {
  MarketCalendar cal = day_calendar();
  using A = std::array<int64_t, 3>;
  EXPECT_EQ(equivalant_market_time(cal, ujan(10, 8, 0), Rounding::Floor),
            (A{jan(9, 9, 30), jan(9, 15, 0), jan(9, 15, 0)}));
  EXPECT_EQ(equivalant_market_time(cal, ujan(10, 8, 0), Rounding::Round),
            (A{jan(10, 9, 30), jan(10, 9, 30), jan(10, 15, 0)}));
  EXPECT_EQ(equivalant_market_time(cal, ujan(10, 8, 0), Rounding::Ceil),
            (A{jan(10, 9, 30), jan(10, 9, 30), jan(10, 15, 0)}));
  for (Rounding r : {Rounding::Floor, Rounding::Ceil, Rounding::Round})
    EXPECT_EQ(equivalant_market_time(cal, ujan(10, 10, 0), r),
              (A{jan(10, 9, 30), jan(10, 10, 0), jan(10, 15, 0)}));
  // Monday before the open under FLOOR: the Friday before the weekend.
  EXPECT_EQ(equivalant_market_time(cal, ujan(15, 8, 0), Rounding::Floor),
            (A{jan(12, 9, 30), jan(12, 15, 0), jan(12, 15, 0)}));
  EXPECT_EQ(equivalant_market_time(cal, ujan(10, 16, 0), Rounding::Ceil),
            (A{jan(11, 9, 30), jan(11, 9, 30), jan(11, 15, 0)}));
  EXPECT_EQ(equivalant_market_time(cal, ujan(10, 16, 0), Rounding::Round),
            (A{jan(10, 9, 30), jan(10, 15, 0), jan(10, 15, 0)}));
}

// ---------------------------------------------------------------------------
// Bar ends

struct BoundCase {
  int d, hh, mm, ss, ms;
  uint32_t granularity;
  Pair expected;
};

class Bound : public testing::TestWithParam<BoundCase> {};

TEST_P(Bound, IntradayBars) {
  const BoundCase c = GetParam();
  MarketCalendar cal = day_calendar();
  EXPECT_EQ(sampler_tm_bound(cal, ujan(c.d, c.hh, c.mm, c.ss, c.ms), c.granularity), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    FiveMinutes, Bound,
    testing::Values(BoundCase{10, 9, 30, 0, 0, 300, {jan(9, 15, 0), jan(10, 9, 35)}},
                    BoundCase{10, 9, 32, 0, 0, 300, {jan(9, 15, 0), jan(10, 9, 35)}},
                    BoundCase{10, 9, 35, 0, 0, 300, {jan(9, 15, 0), jan(10, 9, 35)}},
                    BoundCase{10, 9, 35, 0, 1, 300, {jan(10, 9, 35), jan(10, 9, 40)}},
                    BoundCase{10, 9, 40, 0, 0, 300, {jan(10, 9, 35), jan(10, 9, 40)}},
                    BoundCase{10, 11, 30, 0, 0, 300, {jan(10, 11, 25), jan(10, 11, 30)}},
                    BoundCase{10, 12, 0, 0, 0, 300, {jan(10, 11, 30), jan(10, 13, 5)}},
                    BoundCase{10, 13, 0, 0, 0, 300, {jan(10, 11, 30), jan(10, 13, 5)}},
                    BoundCase{10, 16, 0, 0, 0, 300, {jan(10, 15, 0), jan(11, 9, 35)}},
                    BoundCase{8, 8, 0, 0, 0, 300, {jan(5, 15, 0), jan(8, 9, 35)}},  // Monday: Friday's close
                    BoundCase{13, 12, 0, 0, 0, 300, {jan(12, 15, 0), jan(15, 9, 35)}},
                    // 7-minute bars on a 120-minute span: the last one is short
                    BoundCase{10, 11, 29, 30, 0, 420, {jan(10, 11, 29), jan(10, 11, 30)}},
                    BoundCase{10, 11, 29, 0, 0, 420, {jan(10, 11, 22), jan(10, 11, 29)}},
                    BoundCase{10, 11, 30, 0, 0, 420, {jan(10, 11, 29), jan(10, 11, 30)}}));

TEST(Bound, DayBarsEndAtTheClose) {
  MarketCalendar cal = day_calendar();
  EXPECT_EQ(sampler_tm_bound(cal, ujan(15, 10, 0), 86400), (Pair{jan(12, 15, 0), jan(15, 15, 0)}));
  EXPECT_EQ(sampler_tm_bound(cal, ujan(15, 10, 0), 86400, false),
            (Pair{utc_midnight(2024, 1, 12), utc_midnight(2024, 1, 15)}));
  EXPECT_EQ(sampler_tm_bound(cal, ujan(10, 16, 0), 86400), (Pair{jan(10, 15, 0), jan(11, 15, 0)}));
  // A week is stepped as seven days from the trade date.
  EXPECT_EQ(sampler_tm_bound(cal, ujan(10, 10, 0), 604800), (Pair{jan(3, 15, 0), jan(10, 15, 0)}));
  // Widths are whole days: 1.5 days is one day.
  EXPECT_EQ(sampler_tm_bound(cal, ujan(10, 10, 0), 129600), (Pair{jan(9, 15, 0), jan(10, 15, 0)}));
  MarketCalendar holiday = day_calendar({20240112});
  EXPECT_EQ(sampler_tm_bound(holiday, ujan(15, 10, 0), 86400), (Pair{jan(11, 15, 0), jan(15, 15, 0)}));
}

TEST(Bound, ZeroGranularityIsAnError) {
  MarketCalendar cal = day_calendar();
  EXPECT_EQ(error_of([&] { sampler_tm_bound(cal, ujan(10, 10, 0), 0); }),
            "sampler_tm_bound: granularity must be positive");
  EXPECT_EQ(error_of([&] { sampler_tm_begin(cal, ujan(10, 10, 0), 0); }),
            "sampler_tm_begin: granularity must be positive");
}

// ---------------------------------------------------------------------------
// Bar begins

class Begin : public testing::TestWithParam<BoundCase> {};

TEST_P(Begin, IntradayBars) {
  const BoundCase c = GetParam();
  MarketCalendar cal = day_calendar();
  EXPECT_EQ(sampler_tm_begin(cal, ujan(c.d, c.hh, c.mm, c.ss, c.ms), c.granularity), c.expected);
}

INSTANTIATE_TEST_SUITE_P(FiveMinutes, Begin,
                         testing::Values(BoundCase{10, 10, 2, 0, 0, 300, {jan(10, 10, 0), jan(10, 10, 5)}},
                                         BoundCase{10, 10, 5, 0, 0, 300, {jan(10, 10, 0), jan(10, 10, 5)}},
                                         BoundCase{10, 11, 30, 0, 0, 300, {jan(10, 11, 25), jan(10, 13, 0)}},
                                         BoundCase{10, 12, 0, 0, 0, 300, {jan(10, 11, 25), jan(10, 13, 0)}},
                                         BoundCase{10, 13, 0, 0, 0, 300, {jan(10, 11, 25), jan(10, 13, 0)}},
                                         BoundCase{10, 14, 57, 0, 0, 300, {jan(10, 14, 55), jan(11, 9, 30)}},
                                         BoundCase{10, 15, 0, 0, 0, 300, {jan(10, 14, 55), jan(11, 9, 30)}},
                                         BoundCase{10, 16, 0, 0, 0, 300, {jan(10, 14, 55), jan(11, 9, 30)}},
                                         // before the first session: the previous trade day's last bar
                                         BoundCase{10, 8, 0, 0, 0, 300, {jan(9, 14, 55), jan(10, 9, 30)}},
                                         BoundCase{10, 9, 30, 0, 0, 300, {jan(9, 14, 55), jan(10, 9, 30)}},
                                         // a Monday looks back past the weekend, never at itself
                                         BoundCase{15, 9, 30, 0, 0, 300, {jan(12, 14, 55), jan(15, 9, 30)}},
                                         BoundCase{15, 8, 0, 0, 0, 300, {jan(12, 14, 55), jan(15, 9, 30)}},
                                         BoundCase{13, 12, 0, 0, 0, 300, {jan(12, 14, 55), jan(15, 9, 30)}},
                                         // 7-minute bars: the short last bar begins at 11:29
                                         BoundCase{10, 11, 30, 0, 0, 420, {jan(10, 11, 29), jan(10, 13, 0)}},
                                         BoundCase{
                                             10, 11, 29, 30, 0, 420, {jan(10, 11, 29), jan(10, 13, 0)}}));

TEST(Begin, CalendarAlignedDayBars) {
  MarketCalendar cal = day_calendar();
  const uint64_t now = ujan(10, 10, 0);
  EXPECT_EQ(sampler_tm_begin(cal, now, 86400, false),
            (Pair{utc_midnight(2024, 1, 9), utc_midnight(2024, 1, 10)}));
  EXPECT_EQ(sampler_tm_begin(cal, now, 604800, false),
            (Pair{utc_midnight(2024, 1, 1), utc_midnight(2024, 1, 8)}));
  EXPECT_EQ(sampler_tm_begin(cal, now, 2592000, false),
            (Pair{utc_midnight(2023, 12, 1), utc_midnight(2024, 1, 1)}));
  EXPECT_EQ(sampler_tm_begin(cal, now, 31536000, false),
            (Pair{utc_midnight(2023, 1, 1), utc_midnight(2024, 1, 1)}));
  EXPECT_EQ(sampler_tm_begin(cal, now, 172800, false), (Pair{0, 0}));
  EXPECT_EQ(sampler_tm_begin(cal, now, 172800, true), (Pair{0, 0}));
  // Monday: the day bar before began on Friday.
  EXPECT_EQ(sampler_tm_begin(cal, ujan(15, 10, 0), 86400, false),
            (Pair{utc_midnight(2024, 1, 12), utc_midnight(2024, 1, 15)}));
}

TEST(Begin, EndOfDayShiftDoesNotMoveWithNow) {
  MarketCalendar cal = day_calendar();
  const Pair expected{jan(9, 15, 0), jan(10, 15, 0)};
  EXPECT_EQ(sampler_tm_begin(cal, ujan(10, 9, 31), 86400), expected);
  EXPECT_EQ(sampler_tm_begin(cal, ujan(10, 14, 59), 86400), expected);
  EXPECT_EQ(sampler_tm_begin(cal, ujan(10, 10, 0), 604800), (Pair{jan(1, 15, 0), jan(8, 15, 0)}));
}

// ---------------------------------------------------------------------------
// Arbitrary calendars and instants: an answer or a CalendarError, never anything
// else (run under the sanitizer preset this also catches overflow).

TEST(Robustness, ArbitraryInputAnswersOrThrowsCalendarError) {
  std::mt19937_64 rng(20240110);
  auto pick = [&](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng); };
  auto wild32 = [&]() -> int32_t {
    return static_cast<int32_t>(pick(0, 3) == 0 ? pick(INT32_MIN, INT32_MAX) : pick(-3000, 5000));
  };
  const char* names[] = {"trading_period", "after_weekend", "after_holiday"};
  for (int round = 0; round < 3000; ++round) {
    PeriodMap periods;
    for (const char* name : names) {
      if (pick(0, 3) == 0) continue;
      SessionList list;
      for (int64_t i = pick(0, 4); i > 0; --i) list.emplace_back(wild32(), wild32());
      periods[name] = list;
    }
    std::vector<int32_t> holidays;
    for (int64_t i = pick(0, 8); i > 0; --i)
      holidays.push_back(pick(0, 1) ? static_cast<int32_t>(pick(19700101, 21001231)) : wild32());
    const int32_t tz = pick(0, 4) == 0 ? wild32() : static_cast<int32_t>(pick(-12, 14));
    MarketCalendar cal(tz, holidays, periods);
    const uint64_t now =
        pick(0, 3) == 0 ? static_cast<uint64_t>(rng()) : static_cast<uint64_t>(pick(0, 4102444800000));
    const uint32_t granularity =
        static_cast<uint32_t>(pick(0, 2) == 0 ? pick(0, UINT32_MAX) : pick(0, 90000));
    const bool flag = pick(0, 1) == 1;
    const std::function<void()> calls[] = {
        [&] { calculate_market_status(cal, now); },
        [&] { calculate_market_status_include_weekend(cal, now); },
        [&] { this_tradeday_sections(cal, now); },
        [&] { tradeday_sections(cal, wild32()); },
        [&] { next_market_break_time(cal, now); },
        [&] { next_market_continue_time(cal, now); },
        [&] { equivalant_market_time(cal, now, static_cast<Rounding>(pick(0, 2))); },
        [&] { sampler_tm_bound(cal, now, granularity, flag); },
        [&] { sampler_tm_begin(cal, now, granularity, flag); },
    };
    for (const auto& call : calls) {
      try {
        call();
      } catch (const CalendarError&) {
      }
    }
  }
}
