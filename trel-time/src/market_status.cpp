#include "trel/time/market_status.hpp"

namespace trel::time {

namespace {

uint64_t unsigned_ms(int64_t ms) {
  // Only a session placed before 1970-01-01 gets here negative.
  if (ms < 0) throw CalendarError("market_status: session bound " + std::to_string(ms) + " ms precedes 1970");
  return static_cast<uint64_t>(ms);
}

}  // namespace

MarketStatusRecord market_status(const MarketCalendar& cal, int64_t now_ms, Rounding rounding) {
  const TradeDayResolution r = cal.resolve(ms_to_s(now_ms), rounding);
  const SessionList& sessions = cal.nonempty_sessions_for(r.policy);

  MarketStatusRecord out;
  out.trade_day = r.trade_day;
  out.action_day = r.action_day;
  out.begin = unsigned_ms(cal.local_instant(r.trade_day, sessions.front().first) * 1000);
  out.end = unsigned_ms(cal.local_instant(r.trade_day, sessions.back().second) * 1000);

  int64_t last_end = 0;  // end of the session just passed; 0 before the first
  int64_t latest = -1;
  for (size_t i = 0; i < sessions.size() && latest < 0; ++i) {
    const int64_t begin_ms = cal.local_instant(r.trade_day, sessions[i].first) * 1000;
    const int64_t end_ms = cal.local_instant(r.trade_day, sessions[i].second) * 1000;
    if (now_ms >= end_ms) {
      last_end = end_ms;
      continue;
    }
    if (now_ms >= begin_ms) {
      out.market_open = true;
      latest = now_ms;
      break;
    }
    // The session is still ahead: `latest` is the nearer market time by the pattern.
    switch (rounding) {
      case Rounding::Floor:
        latest = last_end;
        break;
      case Rounding::Ceil:
        latest = begin_ms;
        break;
      case Rounding::Round:
        if (i == 0)
          latest = begin_ms;
        else
          latest = (2 * now_ms <= last_end + begin_ms) ? last_end : begin_ms;  // midpoint goes back
        break;
    }
  }
  out.lattest_market_time = unsigned_ms(latest < 0 ? last_end : latest);
  return out;
}

MarketStatusRecord calculate_market_status(MarketCalendar& cal, uint64_t now_ms) {
  cal.set_ignore_weekend(false);
  return market_status(cal, checked_instant_ms(now_ms), Rounding::Floor);
}

MarketStatusRecord calculate_market_status_include_weekend(MarketCalendar& cal, uint64_t now_ms) {
  cal.set_ignore_weekend(true);
  return market_status(cal, checked_instant_ms(now_ms), Rounding::Round);
}

}  // namespace trel::time
