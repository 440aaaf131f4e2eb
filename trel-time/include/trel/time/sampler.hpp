// Session spans of a trade day, the next break and resumption, the position of
// an instant inside its trade day, and the bounds of the time bar holding it.
// Every instant here is epoch ms. Each function fixes the calendar's
// ignore_weekend flag where its contract does.
#pragma once

#include <array>
#include <cstdint>
#include <utility>

#include "trel/time/trade_day.hpp"

namespace trel::time {

// Spans of the CEIL trade day of now (ignore_weekend as set by the caller).
SpanList this_tradeday_sections(const MarketCalendar& cal, uint64_t now_ms);
// Spans of a given trade day; Saturdays and Sundays are never trade days here and
// the holiday list may be in any order.
SpanList tradeday_sections(const MarketCalendar& cal, int32_t tradeday);

int64_t next_market_break_time(MarketCalendar& cal, uint64_t now_ms);
int64_t next_market_continue_time(MarketCalendar& cal, uint64_t now_ms);

// [open, now clamped into the trade day, close] (ignore_weekend as set by the caller).
std::array<int64_t, 3> equivalant_market_time(const MarketCalendar& cal, uint64_t now_ms, Rounding pattern);

// (end of the previous bar, end of the current bar).
std::pair<int64_t, int64_t> sampler_tm_bound(MarketCalendar& cal, uint64_t now_ms, uint32_t granularity,
                                             bool tm_as_of_eod = true);
// (begin of the current bar, begin of the next bar).
std::pair<int64_t, int64_t> sampler_tm_begin(MarketCalendar& cal, uint64_t now_ms, uint32_t granularity,
                                             bool tm_as_of_eod = true);

}  // namespace trel::time
