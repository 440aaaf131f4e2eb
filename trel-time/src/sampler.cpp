#include "trel/time/sampler.hpp"

#include <algorithm>

#include "trel/time/market_status.hpp"

namespace trel::time {

namespace {

constexpr int64_t kDayMs = kSecondsPerDay * 1000;
constexpr uint32_t kWeek = 7 * 86400;

// Walks over calendar days give up after this many days past the listed
// holidays: only a calendar without sessions gets that far.
int64_t walk_limit(const MarketCalendar& cal) { return 3660 + static_cast<int64_t>(cal.holidays().size()); }

SpanList to_ms(SpanList spans) {
  for (auto& [b, e] : spans) {
    b *= 1000;
    e *= 1000;
  }
  return spans;
}

// Local midnight of a day number, epoch seconds.
int64_t local_midnight(const MarketCalendar& cal, int64_t day) {
  return cal.local_instant(1970, 1, 1 + day, 0, 0);
}

int64_t utc_midnight_ms(int32_t ymd) { return days_from_yyyymmdd(ymd) * kDayMs; }

struct TradeDaySpans {
  int32_t trade_day;
  SpanList spans;  // ms
};

// The spans (ms) of the CEIL trade day of t.
TradeDaySpans ceil_spans(const MarketCalendar& cal, int64_t t) {
  const TradeDayResolution r = cal.resolve(t, Rounding::Ceil);
  return {r.trade_day, to_ms(cal.spans_of(r.trade_day, r.policy))};
}

// The trade day before (direction -1) or after (+1) `from`: walks calendar days
// from `anchor` (seconds) at the same wall-clock time and takes the first CEIL
// trade day that differs. A trade day without sessions is an error.
TradeDaySpans adjacent_trade_day(const MarketCalendar& cal, int64_t anchor, int32_t from, int direction,
                                 const char* who) {
  const int64_t limit = walk_limit(cal);
  for (int64_t k = 1; k <= limit; ++k) {
    TradeDaySpans next = ceil_spans(cal, cal.shift_days(anchor, direction * k));
    if (next.trade_day == from) continue;
    if (next.spans.empty())
      throw CalendarError(std::string(who) + ": trade day " + std::to_string(next.trade_day) +
                          " has no sessions");
    return next;
  }
  throw CalendarError(std::string(who) + ": no other trade day within " + std::to_string(limit) + " days");
}

void require_granularity(uint32_t granularity, const char* who) {
  if (granularity == 0) throw CalendarError(std::string(who) + ": granularity must be positive");
}

}  // namespace

// ---------------------------------------------------------------------------
// Session lists

SpanList this_tradeday_sections(const MarketCalendar& cal, uint64_t now_ms) {
  return to_ms(cal.trade_day_spans(ms_to_s(checked_instant_ms(now_ms))));
}

SpanList tradeday_sections(const MarketCalendar& cal, int32_t tradeday) {
  const int64_t day = days_from_yyyymmdd(tradeday);
  const int w = weekday_from_days(day);
  if (cal.is_holiday(tradeday) || w == 0 || w == 6) return {};
  // The day the policy depends on: the Friday for a Monday, else the day before.
  const int64_t prev_day = w == 1 ? day - 3 : day - 1;
  const bool after_holiday = cal.is_holiday(yyyymmdd_wide(civil_from_days(prev_day)));
  const std::string_view policy = after_holiday ? kAfterHoliday : w == 1 ? kAfterWeekend : kTradingPeriod;
  const SessionList& sessions = cal.sessions_for(policy);

  const int64_t base = local_midnight(cal, day) * 1000;
  // After a holiday run an evening session belongs to the evening of the last
  // weekday before the run, not to the holiday evening: its base midnight moves
  // back over holidays and the weekend days between them.
  int64_t evening_base = base;
  if (after_holiday && !sessions.empty() && sessions.front().first < 0) {
    int64_t d = day;
    auto off_day = [&](int64_t x) {
      const int wx = weekday_from_days(x);
      return wx == 0 || wx == 6 || cal.is_holiday(yyyymmdd_wide(civil_from_days(x)));
    };
    const int64_t limit = walk_limit(cal);
    for (int64_t k = 0; k < limit && off_day(d - 1); ++k) --d;
    evening_base = local_midnight(cal, d) * 1000;
  }

  // Fixed offsets from the base midnight: trade days are weekdays, so no
  // daylight-saving switch falls between a base and its sessions.
  auto at = [](int64_t b, int32_t hhmm) {
    return b + static_cast<int64_t>(hhmm / 100) * 3'600'000 + static_cast<int64_t>(hhmm % 100) * 60'000;
  };
  SpanList out;
  out.reserve(sessions.size());
  for (const auto& [s, e] : sessions) {
    const int64_t b = s < 0 ? evening_base : base;
    out.emplace_back(at(b, s), at(b, e));
  }
  return out;
}

// ---------------------------------------------------------------------------
// Next break and resumption

namespace {

template <class Pick>
int64_t first_after(MarketCalendar& cal, uint64_t now_ms, Pick pick, const char* who) {
  cal.set_ignore_weekend(true);
  const int64_t t = ms_to_s(checked_instant_ms(now_ms));
  const int64_t limit = walk_limit(cal);
  for (int64_t k = 0; k <= limit; ++k) {
    const int64_t x = k == 0 ? t : cal.shift_days(t, k);
    for (const Span& span : cal.trade_day_spans(x)) {
      const int64_t v = pick(span);
      if (v > t) return v * 1000;
    }
  }
  throw CalendarError(std::string(who) + ": no session within " + std::to_string(limit) + " days");
}

}  // namespace

int64_t next_market_break_time(MarketCalendar& cal, uint64_t now_ms) {
  return first_after(
      cal, now_ms, [](const Span& s) { return s.second; }, "next_market_break_time");
}

int64_t next_market_continue_time(MarketCalendar& cal, uint64_t now_ms) {
  return first_after(
      cal, now_ms, [](const Span& s) { return s.first; }, "next_market_continue_time");
}

// ---------------------------------------------------------------------------
// Equivalent market time

namespace {

struct Equivalent {
  int64_t open, middle, close;
};

Equivalent equivalent(const MarketCalendar& cal, int64_t now_ms, Rounding pattern, int depth) {
  // Each step back or forward lands on a session bound of another day; the few
  // policies bound the chain, the guard keeps a malformed calendar from looping.
  if (depth > 64) throw CalendarError("equivalant_market_time: no settled trade day");
  const TradeDayResolution r = cal.resolve(ms_to_s(now_ms), pattern);
  const SessionList& sessions = cal.nonempty_sessions_for(r.policy);
  int64_t open = cal.local_instant(r.trade_day, sessions.front().first) * 1000;
  int64_t close = cal.local_instant(r.trade_day, sessions.back().second) * 1000;
  int64_t c = now_ms;
  if (pattern == Rounding::Floor && now_ms < open) {
    // Before the open: the previous trading day's close.
    int64_t x = ms_to_s(open);
    do x = cal.shift_days(x, -1);
    while (cal.day_kind(x, false) != DayKind::Trading);
    const Equivalent e = equivalent(cal, x * 1000, Rounding::Floor, depth + 1);
    open = e.open;
    close = e.close;
    c = e.close;
  } else if (pattern == Rounding::Ceil && now_ms > close) {
    // After the close: the next trading day's open.
    int64_t x = ms_to_s(now_ms);
    do x = cal.shift_days(x, 1);
    while (cal.day_kind(x, false) != DayKind::Trading);
    const Equivalent e = equivalent(cal, x * 1000, Rounding::Floor, depth + 1);
    open = e.open;
    close = e.close;
    c = e.open;
  }
  return {open, std::min(close, std::max(c, open)), close};
}

}  // namespace

std::array<int64_t, 3> equivalant_market_time(const MarketCalendar& cal, uint64_t now_ms, Rounding pattern) {
  const Equivalent e = equivalent(cal, checked_instant_ms(now_ms), pattern, 0);
  return {e.open, e.middle, e.close};
}

// ---------------------------------------------------------------------------
// Bar bounds

std::pair<int64_t, int64_t> sampler_tm_bound(MarketCalendar& cal, uint64_t now_ms, uint32_t granularity,
                                             bool tm_as_of_eod) {
  cal.set_ignore_weekend(false);
  const int64_t now = checked_instant_ms(now_ms);
  const int64_t n = (now + 999) / 1000 * 1000;  // bars are half-open on the left: round up

  if (granularity < 86400) {
    const MarketStatusRecord st = market_status(cal, n, Rounding::Ceil);
    const TradeDaySpans day = ceil_spans(cal, ms_to_s(static_cast<int64_t>(st.lattest_market_time)));
    const SpanList& spans = day.spans;
    const size_t i = static_cast<size_t>(
        std::count_if(spans.begin(), spans.end(), [&](const Span& s) { return s.second < n; }));
    if (i >= spans.size())
      throw CalendarError("sampler_tm_bound: instant " + std::to_string(now) +
                          " ms lies after the last session of trade day " + std::to_string(day.trade_day));
    // Checked once the span is known: calendar errors come first.
    require_granularity(granularity, "sampler_tm_bound");
    const auto [b, e] = spans[i];
    const int64_t g = static_cast<int64_t>(granularity) * 1000;
    const int64_t k = (n - b) / g;  // truncates toward zero; negative inside the break before the span
    const bool on_boundary = (n - b) % g == 0;
    if (k >= 1 && !on_boundary) return {std::min(b + k * g, e), std::min(b + (k + 1) * g, e)};
    if (k >= 2 && on_boundary) return {std::min(b + (k - 1) * g, e), std::min(b + k * g, e)};
    // Inside the span's first bar or the break before it: the previous bar ended
    // with the previous session.
    const int64_t curr = std::min(b + g, e);
    if (i > 0) return {spans[i - 1].second, curr};
    const TradeDaySpans prev = adjacent_trade_day(cal, ms_to_s(n), st.trade_day, -1, "sampler_tm_bound");
    return {prev.spans.back().second, curr};
  }

  // Day or longer: whole days, ends at the trade date's midnight counted in UTC.
  const int64_t step = static_cast<int64_t>(granularity - granularity % 86400) * 1000;
  const MarketStatusRecord st = market_status(cal, n, Rounding::Ceil);
  const int64_t m = utc_midnight_ms(st.trade_day);
  int64_t p = m - step;
  for (;;) {
    const int64_t pd = floor_div(p, kDayMs);
    const int w = weekday_from_days(pd);
    if (w != 0 && w != 6 && !cal.is_holiday(yyyymmdd_wide(civil_from_days(pd)))) break;
    p -= step;
  }
  int64_t prev = p;
  int64_t curr = m;
  if (tm_as_of_eod) {
    const int64_t close_offset = (static_cast<int64_t>(st.end) / 1000) * 1000 - m;
    prev += close_offset;
    curr += close_offset;
  }
  return {prev, curr};
}

std::pair<int64_t, int64_t> sampler_tm_begin(MarketCalendar& cal, uint64_t now_ms, uint32_t granularity,
                                             bool tm_as_of_eod) {
  cal.set_ignore_weekend(false);
  const int64_t now = checked_instant_ms(now_ms);

  if (granularity < 86400) {
    const int64_t g = static_cast<int64_t>(granularity) * 1000;
    const MarketStatusRecord st = market_status(cal, now, Rounding::Floor);
    // Before the first session of the FLOOR trade day there is no latest market
    // time yet (0); that trade day's own open anchors the spans instead.
    const int64_t anchor = st.lattest_market_time != 0 ? static_cast<int64_t>(st.lattest_market_time)
                                                       : static_cast<int64_t>(st.begin);
    const TradeDaySpans day = ceil_spans(cal, ms_to_s(anchor));
    const SpanList& s = day.spans;
    const size_t len = s.size();
    if (len == 0)
      throw CalendarError("sampler_tm_begin: trade day " + std::to_string(day.trade_day) +
                          " has no sessions");
    // Checked once the spans are known: calendar errors come first.
    require_granularity(granularity, "sampler_tm_begin");
    const size_t i =
        static_cast<size_t>(std::count_if(s.begin(), s.end(), [&](const Span& x) { return x.second < now; }));

    // Begin of the last, possibly short, bar of a span.
    auto last_bar_begin = [g](const Span& x) {
      const int64_t len_ms = x.second - x.first;
      const int64_t bars = len_ms / g;
      return x.first + g * (len_ms % g == 0 ? bars - 1 : bars);
    };
    const int64_t day_open = ms_to_s(s.front().first);
    auto next_begin = [&](size_t j) {
      if (j + 1 < len) return s[j + 1].first;
      return adjacent_trade_day(cal, day_open, day.trade_day, +1, "sampler_tm_begin").spans.front().first;
    };
    auto prev_last_bar = [&](size_t j) {
      if (j > 0) return last_bar_begin(s[j - 1]);
      return last_bar_begin(
          adjacent_trade_day(cal, day_open, day.trade_day, -1, "sampler_tm_begin").spans.back());
    };

    if (i == len) return {prev_last_bar(len), next_begin(len)};
    const auto [b, e] = s[i];
    if (now == b) return {prev_last_bar(i), now};
    if (now == e) return {last_bar_begin(s[i]), next_begin(i)};
    if (now < b) return {prev_last_bar(i), b};
    const int64_t d = now - b;
    if (d % g == 0) return {now - g, now};
    const int64_t curr = b + d - d % g;
    return {curr, curr + g < e ? curr + g : next_begin(i)};
  }

  // Day or longer: UTC midnights of calendar-aligned periods.
  const MarketStatusRecord st = market_status(cal, now, Rounding::Ceil);
  const int64_t t_day = days_from_yyyymmdd(st.trade_day);
  int64_t curr = 0;
  int64_t next = 0;
  if (granularity == 86400) {
    const int64_t yesterday = cal.shift_days(ms_to_s(now), -1) * 1000 + floor_mod(now, 1000);
    curr = utc_midnight_ms(market_status(cal, yesterday, Rounding::Round).trade_day);
    next = t_day * kDayMs;
  } else if (granularity == kWeek) {
    const int64_t monday = t_day - (weekday_from_days(t_day) + 6) % 7;
    next = monday * kDayMs;
    curr = (monday - 7) * kDayMs;
  } else if (granularity >= 28u * 86400 && granularity <= 31u * 86400) {
    const CivilDate c = civil_from_days(t_day);
    next = days_from_civil(c.year, c.month, 1) * kDayMs;
    curr = days_from_civil(c.year, c.month - 1, 1) * kDayMs;
  } else if (granularity >= 365u * 86400 && granularity <= 366u * 86400) {
    const CivilDate c = civil_from_days(t_day);
    next = days_from_civil(c.year, 1, 1) * kDayMs;
    curr = days_from_civil(c.year - 1, 1, 1) * kDayMs;
  } else {
    return {0, 0};  // no calendar period of this width
  }
  if (tm_as_of_eod) {
    // Bars end at the close: shift by the close measured from the trade date's
    // midnight, as the bar ends do, so the bounds do not move with now.
    const int64_t close_offset = (static_cast<int64_t>(st.end) / 1000) * 1000 - t_day * kDayMs;
    curr += close_offset;
    next += close_offset;
  }
  return {curr, next};
}

}  // namespace trel::time
