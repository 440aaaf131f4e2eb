"""Calls per second of calculate_market_status and sampler_tm_bound against a pure-Python peer
(bench/calendar_peer.py, datetime-based) on a realistic calendar: three policies with a night
session, 20 holidays. Both answer the same instants; the answers are compared first.

    PYTHONPATH=build-dev/trel-py python3 bench/bench_calendar.py
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import calendar_peer as peer  # noqa: E402
import pyvelmora as pv  # noqa: E402

TZ = 8
PERIODS = {
    b"trading_period": [[-300, 230], [900, 1015], [1030, 1130], [1330, 1500]],
    b"after_weekend": [[900, 1015], [1030, 1130], [1330, 1500]],
    b"after_holiday": [[900, 1130], [1330, 1500]],
}
HOLIDAYS = [20240101, 20240209, 20240212, 20240213, 20240214, 20240215, 20240216, 20240404, 20240405,
            20240501, 20240502, 20240503, 20240610, 20240916, 20240917, 20241001, 20241002, 20241003,
            20241004, 20241007]
START = 1704067200000  # 2024-01-01 00:00 UTC
INSTANTS = [START + i * 7_777_777 for i in range(4000)]  # about a year, every 2 h 10 min
GRANULARITY = 300


def native_status(t):
    st = pv.calculate_market_status(t, TZ, PERIODS, HOLIDAYS)
    return {"lattest_market_time": st.get_lattest_market_time(), "begin": st.get_begin(), "end": st.get_end(),
            "trade_day": st.get_trade_day(), "action_day": st.get_action_day(), "market_open": st.get_market_open()}


def check_agreement():
    for t in INSTANTS[::10]:
        assert native_status(t) == peer.calculate_market_status(t, TZ, PERIODS, HOLIDAYS), t
        assert pv.sampler_tm_bound(t, TZ, PERIODS, HOLIDAYS, GRANULARITY) == peer.sampler_tm_bound(
            t, TZ, PERIODS, HOLIDAYS, GRANULARITY), t


def rate(fn, instants, budget=2.0):
    """Calls per second, best of three runs over the instants (each run at most `budget` s)."""
    best = 0.0
    for _ in range(3):
        calls = 0
        begin = time.perf_counter()
        for t in instants:
            fn(t)
            calls += 1
            if calls % 256 == 0 and time.perf_counter() - begin > budget:
                break
        best = max(best, calls / (time.perf_counter() - begin))
    return best


def main():
    check_agreement()
    cases = [
        ("calculate_market_status",
         lambda t: pv.calculate_market_status(t, TZ, PERIODS, HOLIDAYS),
         lambda t: peer.calculate_market_status(t, TZ, PERIODS, HOLIDAYS)),
        ("sampler_tm_bound",
         lambda t: pv.sampler_tm_bound(t, TZ, PERIODS, HOLIDAYS, GRANULARITY),
         lambda t: peer.sampler_tm_bound(t, TZ, PERIODS, HOLIDAYS, GRANULARITY)),
    ]
    print(f"{'function':<26}{'pyvelmora/s':>14}{'python/s':>12}{'ratio':>9}")
    for name, native, python in cases:
        n = rate(native, INSTANTS)
        p = rate(python, INSTANTS)
        print(f"{name:<26}{n:>14,.0f}{p:>12,.0f}{n / p:>8.1f}x")


if __name__ == "__main__":
    main()
