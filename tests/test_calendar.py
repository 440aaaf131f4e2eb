"""Market calendar functions: trade days, market status, sessions, breaks and bar bounds.

Expected instants are computed with datetime at a fixed UTC+8 offset. 2024-01-10 is a
Wednesday ("W"); the 9th is Tuesday, the 12th Friday, the 15th Monday.
"""
from datetime import datetime, timedelta, timezone

import pytest

import pyvelmora as pv

TZ = 8
DAY = {"trading_period": [[930, 1130], [1300, 1500]]}


def ms(d, hh=0, mm=0, ss=0, milli=0, month=1, year=2024, tz=TZ):
    dt = datetime(year, month, d, hh, mm, ss, tzinfo=timezone(timedelta(hours=tz)))
    return int(dt.timestamp()) * 1000 + milli


def utc_midnight(y, m, d):
    return int(datetime(y, m, d, tzinfo=timezone.utc).timestamp()) * 1000


def status(st):
    return (st.get_trade_day(), st.get_action_day(), st.get_market_open(), st.get_lattest_market_time(),
            st.get_begin(), st.get_end())


# ---------------------------------------------------------------------------
# Market status


@pytest.mark.parametrize("hh, mm, is_open, latest", [
    (8, 0, False, 0),
    (9, 30, True, ms(10, 9, 30)),
    (10, 0, True, ms(10, 10, 0)),
    (11, 30, False, ms(10, 11, 30)),  # session ends are exclusive
    (12, 0, False, ms(10, 11, 30)),
    (16, 0, False, ms(10, 15, 0)),
])
def test_status_floor_on_a_weekday(hh, mm, is_open, latest):
    st = pv.calculate_market_status(ms(10, hh, mm), TZ, DAY, [])
    assert status(st) == (20240110, 20240110, is_open, latest, ms(10, 9, 30), ms(10, 15, 0))


@pytest.mark.parametrize("hh, mm, latest", [
    (12, 14, ms(10, 11, 30)),
    (12, 15, ms(10, 11, 30)),  # the midpoint goes to the earlier end
    (12, 16, ms(10, 13, 0)),
    (8, 0, ms(10, 9, 30)),     # before the first session ROUND looks ahead
])
def test_status_round_in_the_break(hh, mm, latest):
    # include_weekend is the ROUND form; Wednesday is a weekday either way.
    st = pv.calculate_market_status_include_weekend(ms(10, hh, mm), TZ, DAY, [])
    assert st.get_lattest_market_time() == latest
    assert st.get_trade_day() == 20240110


def test_status_on_a_saturday():
    assert status(pv.calculate_market_status(ms(13, 10), TZ, DAY, [])) == (
        20240112, 20240113, False, ms(12, 15, 0), ms(12, 9, 30), ms(12, 15, 0))
    assert status(pv.calculate_market_status_include_weekend(ms(13, 10), TZ, DAY, [])) == (
        20240113, 20240113, True, ms(13, 10), ms(13, 9, 30), ms(13, 15, 0))
    # A Friday holiday makes the Saturday a holiday, weekend or not.
    st = pv.calculate_market_status_include_weekend(ms(13, 10), TZ, DAY, [20240112])
    assert (st.get_trade_day(), st.get_market_open()) == (20240111, False)


def test_status_night_session_starts_the_next_trade_day():
    night = {"trading_period": [[-300, 230], [900, 1500]]}
    assert status(pv.calculate_market_status(ms(10, 20, 59, 59), TZ, night, [])) == (
        20240110, 20240110, False, ms(10, 15), ms(9, 21), ms(10, 15))
    assert status(pv.calculate_market_status(ms(10, 22), TZ, night, [])) == (
        20240111, 20240110, True, ms(10, 22), ms(10, 21), ms(11, 15))


def test_market_status_object():
    st = pv.MarketStatus()
    assert status(st) == (0, 0, False, 0, 0, 0)
    st.set_begin(2**64 - 1)
    st.set_trade_day(-5)
    st.set_market_open(True)
    assert (st.get_begin(), st.get_trade_day(), st.get_market_open()) == (2**64 - 1, -5, True)
    with pytest.raises(OverflowError):
        st.set_end(-1)
    with pytest.raises(OverflowError):
        st.set_action_day(2**31)
    with pytest.raises(TypeError):
        st.set_market_open(1)
    with pytest.raises(TypeError):
        pv.MarketStatus(1)


# ---------------------------------------------------------------------------
# Session lists


def test_tradeday_sections():
    wed = [(ms(10, 9, 30), ms(10, 11, 30)), (ms(10, 13), ms(10, 15))]
    assert pv.tradeday_sections(20240110, TZ, DAY, []) == wed
    assert pv.tradeday_sections(20240113, TZ, DAY, []) == []
    assert pv.tradeday_sections(20240114, TZ, DAY, []) == []
    assert pv.tradeday_sections(20240110, TZ, DAY, [20240301, 20240110]) == []


@pytest.mark.parametrize("holidays, day, evening", [
    ([20240110], 20240111, 9),            # Wednesday holiday: Tuesday evening
    ([20240112], 20240115, 11),           # Friday holiday: Thursday evening, not Saturday
    ([20240115], 20240116, 12),           # Monday holiday: Friday evening
    ([20240111, 20240110], 20240112, 9),  # two holidays, listed out of order
])
def test_tradeday_sections_after_a_holiday_run(holidays, day, evening):
    periods = {"trading_period": [[930, 1500]], "after_holiday": [[-300, 230], [900, 1500]]}
    d = day % 100
    assert pv.tradeday_sections(day, TZ, periods, holidays) == [
        (ms(evening, 21), ms(evening + 1, 2, 30)), (ms(d, 9), ms(d, 15))]


def test_this_tradeday_sections_follows_ceil():
    thu = [(ms(11, 9, 30), ms(11, 11, 30)), (ms(11, 13), ms(11, 15))]
    assert pv.this_tradeday_sections(ms(10, 15), TZ, DAY, [], False)[0][0] == ms(10, 9, 30)
    assert pv.this_tradeday_sections(ms(10, 16), TZ, DAY, [], False) == thu
    assert pv.this_tradeday_sections(ms(12, 16), TZ, DAY, [], False)[0][0] == ms(15, 9, 30)
    assert pv.this_tradeday_sections(ms(12, 16), TZ, DAY, [], True)[0][0] == ms(13, 9, 30)


# ---------------------------------------------------------------------------
# Next break and resumption


@pytest.mark.parametrize("fn, now, expected", [
    (pv.next_market_break_time, ms(10, 10), ms(10, 11, 30)),
    (pv.next_market_break_time, ms(10, 11, 30), ms(10, 15)),
    (pv.next_market_break_time, ms(10, 11, 29, 59, 999), ms(10, 11, 30)),
    (pv.next_market_break_time, ms(10, 16), ms(11, 11, 30)),
    (pv.next_market_continue_time, ms(10, 12), ms(10, 13)),
    (pv.next_market_continue_time, ms(10, 13), ms(11, 9, 30)),
    (pv.next_market_continue_time, ms(10, 16), ms(11, 9, 30)),
    (pv.next_market_continue_time, ms(12, 16), ms(13, 9, 30)),  # weekends count here
    (pv.next_market_break_time, ms(13, 8), ms(13, 11, 30)),
])
def test_next_break_and_continue(fn, now, expected):
    assert fn(now, TZ, DAY, []) == expected


def test_next_continue_skips_holidays():
    assert pv.next_market_continue_time(ms(10, 16), TZ, DAY, [20240111, 20240112, 20240113]) == ms(14, 9, 30)


# ---------------------------------------------------------------------------
# Equivalent market time


@pytest.mark.parametrize("now, pattern, expected", [
    (ms(10, 8), pv.FLOOR, [ms(9, 9, 30), ms(9, 15), ms(9, 15)]),
    (ms(10, 8), pv.ROUND, [ms(10, 9, 30), ms(10, 9, 30), ms(10, 15)]),
    (ms(10, 8), pv.CEIL, [ms(10, 9, 30), ms(10, 9, 30), ms(10, 15)]),
    (ms(10, 10), pv.FLOOR, [ms(10, 9, 30), ms(10, 10), ms(10, 15)]),
    (ms(10, 10), pv.CEIL, [ms(10, 9, 30), ms(10, 10), ms(10, 15)]),
    (ms(10, 10), pv.ROUND, [ms(10, 9, 30), ms(10, 10), ms(10, 15)]),
    (ms(15, 8), pv.FLOOR, [ms(12, 9, 30), ms(12, 15), ms(12, 15)]),
    (ms(10, 16), pv.CEIL, [ms(11, 9, 30), ms(11, 9, 30), ms(11, 15)]),
    (ms(10, 16), pv.ROUND, [ms(10, 9, 30), ms(10, 15), ms(10, 15)]),
])
def test_equivalant_market_time(now, pattern, expected):
    assert pv.equivalant_market_time(now, TZ, DAY, [], False, pattern) == expected


@pytest.mark.parametrize("pattern", [3, -1, 2**31 - 1])
def test_equivalant_market_time_refuses_unknown_patterns(pattern):
    with pytest.raises(TypeError) as e:
        pv.equivalant_market_time(ms(10, 10), TZ, DAY, [], False, pattern)
    assert str(e.value) == f"pattern must be FLOOR(0)/CEIL(1)/ROUND(2), got {pattern}"


def test_pattern_is_checked_after_the_calendar_is_built():
    with pytest.raises(TypeError, match="^periods must be a mapping"):
        pv.equivalant_market_time(ms(10, 10), TZ, [], [], False, 7)


# ---------------------------------------------------------------------------
# Bar ends and begins


@pytest.mark.parametrize("now, granularity, expected", [
    (ms(10, 9, 32), 300, (ms(9, 15), ms(10, 9, 35))),
    (ms(10, 9, 35), 300, (ms(9, 15), ms(10, 9, 35))),
    (ms(10, 9, 35, 0, 1), 300, (ms(10, 9, 35), ms(10, 9, 40))),
    (ms(10, 9, 40), 300, (ms(10, 9, 35), ms(10, 9, 40))),
    (ms(10, 12), 300, (ms(10, 11, 30), ms(10, 13, 5))),
    (ms(15, 9, 31), 300, (ms(12, 15), ms(15, 9, 35))),
    (ms(10, 11, 29, 30), 420, (ms(10, 11, 29), ms(10, 11, 30))),  # the short last bar
    (ms(15, 10), 86400, (ms(12, 15), ms(15, 15))),
    (ms(10, 10), 604800, (ms(3, 15), ms(10, 15))),
])
def test_sampler_tm_bound(now, granularity, expected):
    assert pv.sampler_tm_bound(now, TZ, DAY, [], granularity) == expected


def test_sampler_tm_bound_day_bars():
    assert pv.sampler_tm_bound(ms(15, 10), TZ, DAY, [], 86400, False) == (
        utc_midnight(2024, 1, 12), utc_midnight(2024, 1, 15))
    assert pv.sampler_tm_bound(ms(15, 10), TZ, DAY, [20240112], 86400) == (ms(11, 15), ms(15, 15))
    assert pv.sampler_tm_bound(now=ms(15, 10), time_zone=TZ, periods=DAY, holidays=[], granularity=86400,
                               tm_as_of_eod=True) == (ms(12, 15), ms(15, 15))


@pytest.mark.parametrize("now, expected", [
    (ms(10, 10, 2), (ms(10, 10), ms(10, 10, 5))),
    (ms(10, 10, 5), (ms(10, 10), ms(10, 10, 5))),
    (ms(10, 11, 30), (ms(10, 11, 25), ms(10, 13))),
    (ms(10, 12), (ms(10, 11, 25), ms(10, 13))),
    (ms(10, 13), (ms(10, 11, 25), ms(10, 13))),
    (ms(10, 16), (ms(10, 14, 55), ms(11, 9, 30))),
    # before the first session: the previous trade day's last bar, then the open
    (ms(10, 8), (ms(9, 14, 55), ms(10, 9, 30))),
    (ms(15, 9, 30), (ms(12, 14, 55), ms(15, 9, 30))),
])
def test_sampler_tm_begin(now, expected):
    assert pv.sampler_tm_begin(now, TZ, DAY, [], 300) == expected


@pytest.mark.parametrize("granularity, eod, expected", [
    (86400, False, (utc_midnight(2024, 1, 9), utc_midnight(2024, 1, 10))),
    (86400, True, (ms(9, 15), ms(10, 15))),
    (604800, False, (utc_midnight(2024, 1, 1), utc_midnight(2024, 1, 8))),
    (2419200, False, (utc_midnight(2023, 12, 1), utc_midnight(2024, 1, 1))),
    (2678400, False, (utc_midnight(2023, 12, 1), utc_midnight(2024, 1, 1))),
    (31622400, False, (utc_midnight(2023, 1, 1), utc_midnight(2024, 1, 1))),
    (172800, True, (0, 0)),
])
def test_sampler_tm_begin_day_bars(granularity, eod, expected):
    for hh, mm in [(9, 31), (14, 59)]:  # the bounds do not move with now inside the bar
        assert pv.sampler_tm_begin(ms(10, hh, mm), TZ, DAY, [], granularity, eod) == expected


# ---------------------------------------------------------------------------
# Argument shapes and failures


NOW = ms(10, 10)


@pytest.mark.parametrize("periods, message", [
    ([("trading_period", [[930, 1500]])], "periods must be a mapping (pv.Int32PairVectorMap)"),
    (None, "periods must be a mapping (pv.Int32PairVectorMap)"),
    ({1: [[930, 1500]]}, "periods map key must be bytes (the oracle's std::string surface) or str"),
    ({("trading_period",): [[930, 1500]]},
     "periods map key must be bytes (the oracle's std::string surface) or str"),
    ({"trading_period": [[930, 1500, 1600]]}, "each period section must be a 2-element [startHHMM, endHHMM]"),
    ({"trading_period": [[930]]}, "each period section must be a 2-element [startHHMM, endHHMM]"),
    ({"trading_period": [[]]}, "each period section must be a 2-element [startHHMM, endHHMM]"),
    ({"trading_period": ["ab"]}, "Can't extract `str` to `Vec`"),
    ({"trading_period": [[930, "x"]]}, "'str' object cannot be interpreted as an integer"),
    ({"trading_period": 5}, "'int' object is not iterable"),
])
def test_periods_shape_errors(periods, message):
    with pytest.raises(TypeError) as e:
        pv.calculate_market_status(NOW, TZ, periods, [])
    assert str(e.value) == message


def test_periods_keys_and_values():
    # bytes and str keys; a later key with the same text replaces the earlier list.
    periods = {b"trading_period": [[100, 200]], "trading_period": [[930, 1500]]}
    assert pv.tradeday_sections(20240110, TZ, periods, []) == [(ms(10, 9, 30), ms(10, 15))]
    # Values may be any iterable of pairs: tuples, generators.
    gen = {"trading_period": ((a, b) for a, b in [(930, 1130), (1300, 1500)])}
    assert pv.tradeday_sections(20240110, TZ, gen, []) == pv.tradeday_sections(20240110, TZ, DAY, [])
    # Invalid UTF-8 in a bytes key is replaced, so the key is simply unknown.
    odd = {b"trading_period": [[930, 1500]], b"after_weekend\xff": [[100, 200]]}
    assert pv.tradeday_sections(20240115, TZ, odd, []) == [(ms(15, 9, 30), ms(15, 15))]
    assert pv.tradeday_sections(20240110, TZ, pv.Int32PairVectorMap(DAY), []) == pv.tradeday_sections(
        20240110, TZ, DAY, [])


@pytest.mark.parametrize("call, error, message", [
    (lambda: pv.calculate_market_status(-1, TZ, DAY, []), OverflowError, None),
    (lambda: pv.calculate_market_status(2**64, TZ, DAY, []), OverflowError, None),
    (lambda: pv.calculate_market_status(NOW, 2**31, DAY, []), OverflowError, None),
    (lambda: pv.calculate_market_status(NOW, TZ, DAY, [2**31]), OverflowError, None),
    (lambda: pv.calculate_market_status(NOW, TZ, DAY, ["x"]), TypeError,
     "argument 'holidays': 'str' object cannot be interpreted as an integer"),
    (lambda: pv.calculate_market_status(NOW, TZ, DAY, "x"), TypeError,
     "argument 'holidays': Can't extract `str` to `Vec`"),
    (lambda: pv.sampler_tm_bound(NOW, TZ, DAY, [], -1), OverflowError, None),
    (lambda: pv.sampler_tm_bound(NOW, TZ, DAY, [], 2**32), OverflowError, None),
    (lambda: pv.sampler_tm_bound(NOW, TZ, DAY, [], 300, 1), TypeError,
     "argument 'tm_as_of_eod': 'int' object cannot be converted to 'PyBool'"),
    (lambda: pv.this_tradeday_sections(NOW, TZ, DAY, [], None), TypeError,
     "argument 'ignore_weekend': 'NoneType' object cannot be converted to 'PyBool'"),
    (lambda: pv.tradeday_sections(NOW, TZ, DAY, []), OverflowError, None),
    # scalars are converted before the calendar is built
    (lambda: pv.sampler_tm_bound(NOW, TZ, [], [], -1), OverflowError, None),
    (lambda: pv.calculate_market_status(NOW, TZ, {"after_weekend": [[900, 1000]]}, []), Exception,
     'MarketCalendar must carry a "trading_period" policy'),
    (lambda: pv.calculate_market_status(NOW, TZ, {"trading_period": []}, []), Exception,
     'MarketCalendar: policy "trading_period" has no sessions'),
    (lambda: pv.sampler_tm_bound(NOW, TZ, DAY, [], 0), Exception, "sampler_tm_bound: granularity must be positive"),
    (lambda: pv.sampler_tm_begin(NOW, TZ, DAY, [], 0), Exception, "sampler_tm_begin: granularity must be positive"),
    (lambda: pv.calculate_market_status(2**63, TZ, DAY, []), Exception,
     "MarketCalendar: instant 9223372036854775808 ms lies beyond the year 9999"),
])
def test_failures(call, error, message):
    with pytest.raises(error) as e:
        call()
    if error is Exception:
        assert type(e.value) is Exception
    if message is not None:
        assert str(e.value) == message


@pytest.mark.parametrize("now", [ms(13, 10), ms(12, 16)])
def test_ceil_needs_the_next_open_even_when_it_moves_on(now):
    # Saturday, and Friday after the close: CEIL moves to Monday, whose list has no first session.
    periods = dict(DAY, after_weekend=[])
    with pytest.raises(Exception) as e:
        pv.this_tradeday_sections(now, TZ, periods, [], False)
    assert str(e.value) == 'MarketCalendar: policy "after_weekend" has no sessions'


@pytest.mark.parametrize("fn", [pv.sampler_tm_bound, pv.sampler_tm_begin])
def test_calendar_errors_come_before_a_zero_granularity(fn):
    with pytest.raises(Exception) as e:
        fn(NOW, TZ, {"after_weekend": [[930, 1500]]}, [], 0)
    assert str(e.value) == 'MarketCalendar must carry a "trading_period" policy'


def test_keyword_arguments_and_signatures():
    assert pv.sampler_tm_begin.__text_signature__ == "(now, time_zone, periods, holidays, granularity, tm_as_of_eod=True)"
    assert pv.equivalant_market_time.__text_signature__ == "(now, time_zone, periods, holidays, ignore_weekend, pattern)"
    assert pv.tradeday_sections(tradeday=20240110, time_zone=TZ, periods=DAY, holidays=()) == pv.tradeday_sections(
        20240110, TZ, DAY, [])
    with pytest.raises(TypeError, match="unexpected keyword argument"):
        pv.next_market_break_time(NOW, TZ, DAY, [], granularity=5)
    with pytest.raises(TypeError):
        pv.next_market_break_time(NOW, TZ, DAY)
