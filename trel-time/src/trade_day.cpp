#include "trel/time/trade_day.hpp"

#include <algorithm>

namespace trel::time {

namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kRoundMargin = 600;  // ROUND and FLOOR switch days 10 minutes around a close/open
// Last representable instant: 9999-12-31 23:59:59.999 UTC.
constexpr int64_t kMaxInstantMs = (days_from_civil(10000, 1, 1) * kSecondsPerDay) * 1000 - 1;

int64_t first_sunday_on_or_after(int64_t day) noexcept { return day + (7 - weekday_from_days(day)) % 7; }

}  // namespace

int64_t dst_start_day(int64_t year) noexcept {
  // First Sunday of April until 2006, second Sunday of March from 2007.
  if (year < 2007) return first_sunday_on_or_after(days_from_civil(year, 4, 1));
  return first_sunday_on_or_after(days_from_civil(year, 3, 1)) + 7;
}

int64_t dst_end_day(int64_t year) noexcept {
  // Last Sunday of October until 2006, first Sunday of November from 2007.
  if (year < 2007) {
    const int64_t last = days_from_civil(year, 10, 31);
    return last - weekday_from_days(last);
  }
  return first_sunday_on_or_after(days_from_civil(year, 11, 1));
}

int64_t checked_instant_ms(uint64_t now_ms) {
  if (now_ms > static_cast<uint64_t>(kMaxInstantMs))
    throw CalendarError("MarketCalendar: instant " + std::to_string(now_ms) +
                        " ms lies beyond the year 9999");
  return static_cast<int64_t>(now_ms);
}

MarketCalendar::MarketCalendar(int32_t time_zone, std::vector<int32_t> holidays, PeriodMap periods)
    : holidays_(std::move(holidays)), periods_(std::move(periods)), time_zone_(time_zone) {
  sorted_holidays_ = holidays_;
  std::sort(sorted_holidays_.begin(), sorted_holidays_.end());
}

void MarketCalendar::set_period(std::string name, SessionList sessions) {
  periods_.insert_or_assign(std::move(name), std::move(sessions));
}

// ---------------------------------------------------------------------------
// Local time

LocalDateTime MarketCalendar::local_date_time(int64_t t) const {
  int64_t offset;
  if (time_zone_ == -5) {
    // US Eastern: the switch instants are fixed in UTC (07:00 in spring, 06:00 in
    // autumn, both 02:00 local); the year is read at standard time.
    const int64_t year = civil_from_days(floor_div(t - 5 * kHour, kSecondsPerDay)).year;
    const int64_t on = dst_start_day(year) * kSecondsPerDay + 7 * kHour;
    const int64_t off = dst_end_day(year) * kSecondsPerDay + 6 * kHour;
    offset = (t >= on && t < off) ? -4 * kHour : -5 * kHour;
  } else {
    offset = static_cast<int64_t>(time_zone_) * kHour;
  }
  const int64_t local = t + offset;
  const int64_t day = floor_div(local, kSecondsPerDay);
  const int64_t sod = local - day * kSecondsPerDay;
  const CivilDate c = civil_from_days(day);
  return {day,
          c.year,
          c.month,
          c.day,
          static_cast<int>(sod / kHour),
          static_cast<int>(sod % kHour / 60),
          static_cast<int>(sod % 60),
          weekday_from_days(day)};
}

namespace {

// Local seconds (local day number * 86400 + second of day) -> epoch seconds.
int64_t from_local_seconds(int64_t local, int32_t time_zone) noexcept {
  if (time_zone != -5) return local - static_cast<int64_t>(time_zone) * kHour;
  const int64_t h = floor_div(local, kSecondsPerDay);
  const int64_t sod = local - h * kSecondsPerDay;
  const int64_t year = civil_from_days(h).year;
  const int64_t r = dst_start_day(year);
  const int64_t e = dst_end_day(year);
  bool daylight;
  if (h > r && h < e)
    daylight = true;
  else if (h == r)
    daylight = sod >= 2 * kHour;  // the skipped hour 02:xx reads as daylight time
  else if (h == e)
    daylight = sod < 1 * kHour;  // the repeated hour 01:xx reads as standard time
  else
    daylight = false;
  return local + (daylight ? 4 : 5) * kHour;
}

}  // namespace

int64_t MarketCalendar::local_instant(int64_t y, int64_t m, int64_t d, int64_t hh, int64_t mm) const {
  return from_local_seconds(days_from_civil(y, m, d) * kSecondsPerDay + hh * kHour + mm * 60, time_zone_);
}

int64_t MarketCalendar::local_instant(int32_t ymd, int32_t hhmm) const {
  return local_instant(ymd / 10000, (ymd / 100) % 100, ymd % 100, hhmm / 100, hhmm % 100);
}

int32_t MarketCalendar::to_ymd(int64_t day_number) const {
  const CivilDate c = civil_from_days(day_number);
  if (c.year < 1 || c.year > 9999)
    throw CalendarError("MarketCalendar: local date in year " + std::to_string(c.year) +
                        " is outside the years 1 to 9999");
  return static_cast<int32_t>(yyyymmdd_wide(c));
}

int32_t MarketCalendar::yyyymmdd(int64_t t) const { return to_ymd(local_date_time(t).day_number); }

int64_t MarketCalendar::shift_days(int64_t t, int64_t days) const {
  const LocalDateTime l = local_date_time(t);
  const int64_t local = (l.day_number + days) * kSecondsPerDay + l.hour * kHour + l.minute * 60 + l.second;
  return from_local_seconds(local, time_zone_);
}

// ---------------------------------------------------------------------------
// Day kinds

bool MarketCalendar::is_holiday(int64_t ymd) const noexcept {
  if (ymd < INT32_MIN || ymd > INT32_MAX) return false;
  return std::binary_search(sorted_holidays_.begin(), sorted_holidays_.end(), static_cast<int32_t>(ymd));
}

DayKind MarketCalendar::day_kind(int64_t t, bool look_ahead) const {
  return day_kind_of_day(local_date_time(t).day_number, look_ahead);
}

DayKind MarketCalendar::day_kind_of_day(int64_t day, bool look_ahead) const {
  if (is_holiday(to_ymd(day))) return DayKind::Holiday;
  const int w = weekday_from_days(day);
  if (w >= 1 && w <= 5) return DayKind::Trading;
  // A weekend next to a holiday belongs to that holiday: the Friday before, or
  // with look_ahead the Monday after.
  const int64_t neighbour = look_ahead ? day + (w == 6 ? 2 : 1) : day - (w == 6 ? 1 : 2);
  if (is_holiday(to_ymd(neighbour))) return DayKind::Holiday;
  return ignore_weekend_ ? DayKind::Trading : DayKind::Weekend;
}

int64_t MarketCalendar::next_trading_day(int64_t day, bool look_ahead) const {
  // Ends within a few days per listed holiday; past year 9999 to_ymd throws.
  do ++day;
  while (day_kind_of_day(day, look_ahead) != DayKind::Trading);
  return day;
}

int64_t MarketCalendar::prev_trading_day(int64_t day, bool look_ahead) const {
  do --day;
  while (day_kind_of_day(day, look_ahead) != DayKind::Trading);
  return day;
}

// ---------------------------------------------------------------------------
// Policies and sessions

std::string_view MarketCalendar::policy_for_day(int64_t day) const {
  switch (day_kind_of_day(day - 1, false)) {
    case DayKind::Trading:
      return kTradingPeriod;
    case DayKind::Weekend:
      return kAfterWeekend;
    case DayKind::Holiday:
      break;
  }
  return kAfterHoliday;
}

std::string_view MarketCalendar::policy_for(int32_t trade_day) const {
  return policy_for_day(days_from_yyyymmdd(trade_day));
}

const SessionList& MarketCalendar::sessions_for(std::string_view policy) const {
  auto it = periods_.find(policy);
  if (it == periods_.end()) it = periods_.find(kTradingPeriod);
  if (it == periods_.end()) throw CalendarError("MarketCalendar must carry a \"trading_period\" policy");
  return it->second;
}

const SessionList& MarketCalendar::nonempty_sessions_for(std::string_view policy) const {
  const SessionList& list = sessions_for(policy);
  if (list.empty()) {
    const std::string_view used = periods_.count(policy) ? policy : kTradingPeriod;
    throw CalendarError("MarketCalendar: policy \"" + std::string(used) + "\" has no sessions");
  }
  return list;
}

SpanList MarketCalendar::spans_of(int32_t trade_day, std::string_view policy) const {
  const SessionList& sessions = sessions_for(policy);
  SpanList out;
  out.reserve(sessions.size());
  for (const auto& [s, e] : sessions)
    out.emplace_back(local_instant(trade_day, s), local_instant(trade_day, e));
  return out;
}

// ---------------------------------------------------------------------------
// Resolution

TradeDayResolution MarketCalendar::resolve(int64_t t, Rounding rounding) const {
  const bool ceil = rounding == Rounding::Ceil;
  const int64_t today_day = local_date_time(t).day_number;
  const int32_t today = to_ymd(today_day);
  const std::string_view p = policy_for_day(today_day);
  int32_t held;  // the trade day kept when the next one is not due yet

  if (day_kind_of_day(today_day, ceil) != DayKind::Trading) {
    held = to_ymd(prev_trading_day(today_day, false));
  } else {
    const int64_t close = local_instant(today, nonempty_sessions_for(p).back().second);
    if (rounding == Rounding::Round && t >= close + kRoundMargin) {
      held = today;
    } else if (rounding == Rounding::Floor) {
      // FLOOR keeps today until the next trading day's first session has begun.
      const int32_t next = to_ymd(next_trading_day(today_day, false));
      const std::string_view next_policy = policy_for(next);
      const int64_t next_open = local_instant(next, nonempty_sessions_for(next_policy).front().first);
      if (t >= next_open) return {next_policy, next, today};
      return {p, today, today};
    } else if (ceil && t > close) {
      held = today;
    } else {
      return {p, today, today};
    }
  }

  const int32_t next = to_ymd(next_trading_day(today_day, ceil));
  const std::string_view next_policy = policy_for(next);
  // The next open is read for CEIL too: a next trade day without sessions is an error either way.
  const int64_t next_open = local_instant(next, nonempty_sessions_for(next_policy).front().first);
  if (ceil || t >= next_open - kRoundMargin) return {next_policy, next, today};
  return {p, held, today};
}

SpanList MarketCalendar::trade_day_spans(int64_t t) const {
  const TradeDayResolution r = resolve(t, Rounding::Ceil);
  return spans_of(r.trade_day, r.policy);
}

}  // namespace trel::time
