// The market calendar: local time in the market's zone, day kinds, session
// policies and the resolution of an instant to its trade day.
//
// A calendar is a per-call value: built from the caller's description, asked a
// few questions and dropped. Instants are epoch seconds unless a name says ms.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "trel/time/civil.hpp"

namespace trel::time {

enum class DayKind : int32_t { Trading = 0, Weekend = 1, Holiday = 2 };
enum class Rounding : int32_t { Floor = 0, Ceil = 1, Round = 2 };

// Session bounds as hours * 100 + minutes from the trade day's local midnight;
// negative values lie on the evening before, 2400 and more on the next day.
using Session = std::pair<int32_t, int32_t>;
using SessionList = std::vector<Session>;
using PeriodMap = std::map<std::string, SessionList, std::less<>>;

// (begin, end) of one session; seconds or ms as the function says.
using Span = std::pair<int64_t, int64_t>;
using SpanList = std::vector<Span>;

inline constexpr std::string_view kTradingPeriod = "trading_period";
inline constexpr std::string_view kAfterWeekend = "after_weekend";
inline constexpr std::string_view kAfterHoliday = "after_holiday";

struct LocalDateTime {
  int64_t day_number;  // days since 1970-01-01 of the local date
  int64_t year;
  int month, day, hour, minute, second;
  int weekday;  // 0 = Sunday ... 6 = Saturday
};

struct TradeDayResolution {
  std::string_view policy;  // one of the three policy names above
  int32_t trade_day;
  int32_t action_day;
};

// Calendar failures carry their text in what(); the binding raises them as Exception.
class CalendarError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class MarketCalendar {
 public:
  MarketCalendar() = default;
  MarketCalendar(int32_t time_zone, std::vector<int32_t> holidays, PeriodMap periods);

  int32_t time_zone() const noexcept { return time_zone_; }
  const std::vector<int32_t>& holidays() const noexcept { return holidays_; }
  const PeriodMap& periods() const noexcept { return periods_; }
  bool ignore_weekend() const noexcept { return ignore_weekend_; }
  void set_ignore_weekend(bool v) noexcept { ignore_weekend_ = v; }
  // Inserts or replaces the session list of a policy.
  void set_period(std::string name, SessionList sessions);

  // --- local time ---------------------------------------------------------
  LocalDateTime local_date_time(int64_t t) const;
  // Local y-m-d plus an hour and minute offset (either may be negative or
  // exceed its usual range) -> epoch seconds.
  int64_t local_instant(int64_t y, int64_t m, int64_t d, int64_t hh, int64_t mm) const;
  // Midnight of trade day `ymd` plus a session value hhmm.
  int64_t local_instant(int32_t ymd, int32_t hhmm) const;
  int32_t yyyymmdd(int64_t t) const;
  // The same local wall-clock time `days` calendar days away. Under daylight
  // saving a plain +-86400 s step can land on the day after next (or on the
  // same day), so walks over calendar days go through this.
  int64_t shift_days(int64_t t, int64_t days) const;

  // --- day classification -------------------------------------------------
  bool is_holiday(int64_t ymd) const noexcept;
  DayKind day_kind(int64_t t, bool look_ahead) const;
  DayKind day_kind_of_day(int64_t day_number, bool look_ahead) const;
  // The first trading day strictly after / before a local day (day numbers).
  int64_t next_trading_day(int64_t day_number, bool look_ahead) const;
  int64_t prev_trading_day(int64_t day_number, bool look_ahead) const;

  // --- policies and sessions ----------------------------------------------
  std::string_view policy_for(int32_t trade_day) const;
  std::string_view policy_for_day(int64_t day_number) const;
  // The list under `policy`, else under "trading_period"; throws when neither exists.
  const SessionList& sessions_for(std::string_view policy) const;
  // Same, but an empty list is an error too (its first or last session is needed).
  const SessionList& nonempty_sessions_for(std::string_view policy) const;

  // --- resolution -----------------------------------------------------------
  TradeDayResolution resolve(int64_t t, Rounding rounding) const;
  // Sessions of the CEIL trade day of t, in seconds, in list order.
  SpanList trade_day_spans(int64_t t) const;
  // Sessions of a given trade day under its own policy, in seconds.
  SpanList spans_of(int32_t trade_day, std::string_view policy) const;

 private:
  int32_t to_ymd(int64_t day_number) const;

  std::vector<int32_t> holidays_;         // as the caller gave them
  std::vector<int32_t> sorted_holidays_;  // lookup copy: membership must not depend on order
  PeriodMap periods_;
  int32_t time_zone_ = 0;
  bool ignore_weekend_ = false;
};

// Start and end day numbers of US Eastern daylight time in `year`.
int64_t dst_start_day(int64_t year) noexcept;
int64_t dst_end_day(int64_t year) noexcept;

// Seconds from epoch ms (floor), for internal instants that may precede 1970.
constexpr int64_t ms_to_s(int64_t ms) noexcept { return floor_div(ms, 1000); }

// Checks an epoch-ms instant from the caller and returns it signed.
int64_t checked_instant_ms(uint64_t now_ms);

}  // namespace trel::time
