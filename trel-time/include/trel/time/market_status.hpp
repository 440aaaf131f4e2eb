// What state a market is in at an instant: its trade day, whether a session is
// running, the latest market time and the trade day's open and close.
#pragma once

#include <cstdint>

#include "trel/time/trade_day.hpp"

namespace trel::time {

struct MarketStatusRecord {
  uint64_t lattest_market_time = 0;  // epoch ms
  uint64_t begin = 0;                // open of the trade day, epoch ms
  uint64_t end = 0;                  // close of the trade day, epoch ms
  int32_t trade_day = 0;
  int32_t action_day = 0;
  bool market_open = false;
};

// Status of `now_ms` on the trade day that `rounding` resolves it to. The
// calendar's ignore_weekend flag is used as set.
MarketStatusRecord market_status(const MarketCalendar& cal, int64_t now_ms, Rounding rounding);

// The two public forms: weekends closed with FLOOR, weekends open with ROUND.
MarketStatusRecord calculate_market_status(MarketCalendar& cal, uint64_t now_ms);
MarketStatusRecord calculate_market_status_include_weekend(MarketCalendar& cal, uint64_t now_ms);

}  // namespace trel::time
