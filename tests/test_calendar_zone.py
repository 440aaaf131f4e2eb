"""Time zone -5 against the tz database's America/New_York around every switch, 2003-2030."""
from datetime import date, datetime, timedelta, timezone
from zoneinfo import ZoneInfo

import pytest

import pyvelmora as pv

NY = ZoneInfo("America/New_York")
UTC = timezone.utc
DAY = {"trading_period": [[930, 1130], [1300, 1500]]}


def switch_sundays(year):
    """The days whose noon offset differs from the previous noon's, found by the tz database."""
    out = []
    d = date(year, 1, 1)
    prev = datetime(year - 1, 12, 31, 12, tzinfo=NY).utcoffset()
    while d.year == year:
        off = datetime(d.year, d.month, d.day, 12, tzinfo=NY).utcoffset()
        if off != prev:
            out.append(d)
        prev = off
        d += timedelta(days=1)
    assert len(out) == 2 and all(s.weekday() == 6 for s in out)
    return out


SWITCHES = [s for y in range(2003, 2031) for s in switch_sundays(y)]


def local_ms(d, hh=0, mm=0, fold=1):
    # fold=1: a skipped wall time reads with the offset after the switch, a repeated one as its
    # second occurrence -- the calendar's reading of both.
    return int(datetime(d.year, d.month, d.day, hh, mm, fold=fold, tzinfo=NY).timestamp()) * 1000


def ymd(d):
    return d.year * 10000 + d.month * 100 + d.day


def test_switch_days_follow_both_rules():
    assert switch_sundays(2006) == [date(2006, 4, 2), date(2006, 10, 29)]
    assert switch_sundays(2007) == [date(2007, 3, 11), date(2007, 11, 4)]


@pytest.mark.parametrize("sunday", SWITCHES, ids=str)
def test_local_date_of_instants(sunday):
    # Every 10 minutes for two days either side, plus one second either side of every UTC hour.
    start = int(datetime(sunday.year, sunday.month, sunday.day, tzinfo=UTC).timestamp()) - 2 * 86400
    instants = list(range(start, start + 5 * 86400, 600))
    instants += [h + s for h in range(start, start + 5 * 86400, 3600) for s in (-1, 0, 1)]
    for t in instants:
        expected = ymd(datetime.fromtimestamp(t, NY).date())
        got = pv.calculate_market_status(t * 1000, -5, DAY, []).get_action_day()
        assert got == expected, datetime.fromtimestamp(t, UTC)


@pytest.mark.parametrize("sunday", SWITCHES, ids=str)
def test_session_times_on_and_around_the_switch(sunday):
    for d in (sunday - timedelta(days=1), sunday, sunday + timedelta(days=1)):
        midnight = int(datetime(d.year, d.month, d.day, tzinfo=NY).timestamp()) * 1000
        for minutes in range(0, 24 * 60, 15):
            hhmm = minutes // 60 * 100 + minutes % 60
            periods = {"trading_period": [[hhmm, 2400]]}
            spans = pv.this_tradeday_sections(midnight, -5, periods, [], True)
            hh, mm = divmod(minutes, 60)
            assert spans[0][0] == local_ms(d, hh, mm), (d, hhmm)
            next_day = d + timedelta(days=1)
            assert spans[0][1] == local_ms(next_day), d


@pytest.mark.parametrize("sunday", SWITCHES, ids=str)
def test_session_values_outside_the_day(sunday):
    monday = sunday + timedelta(days=1)
    midnight = local_ms(monday)
    periods = {"trading_period": [[-30, 2630]]}  # 23:30 the evening before to 02:30 the day after
    spans = pv.this_tradeday_sections(midnight, -5, periods, [], True)
    assert spans == [(local_ms(sunday, 23, 30), local_ms(monday + timedelta(days=1), 2, 30))]


@pytest.mark.parametrize("sunday", SWITCHES, ids=str)
def test_monday_after_a_friday_holiday(sunday):
    friday, monday = sunday - timedelta(days=2), sunday + timedelta(days=1)
    periods = {"trading_period": [[930, 1600]], "after_holiday": [[1000, 1600]]}
    assert pv.tradeday_sections(ymd(monday), -5, periods, [ymd(friday)]) == [
        (local_ms(monday, 10), local_ms(monday, 16))]
    # Sunday evening still belongs to Thursday, the last trade day; its sessions are read
    # under the policy of the Sunday's own date.
    st = pv.calculate_market_status(local_ms(sunday, 23, 45), -5, periods, [ymd(friday)])
    assert (st.get_trade_day(), st.get_begin()) == (ymd(friday - timedelta(days=1)),
                                                    local_ms(friday - timedelta(days=1), 10))
    assert pv.sampler_tm_bound(local_ms(monday, 10, 2), -5, periods, [ymd(friday)], 300) == (
        local_ms(friday - timedelta(days=1), 16), local_ms(monday, 10, 5))


@pytest.mark.parametrize("sunday", SWITCHES, ids=str)
def test_walks_visit_the_switch_day(sunday):
    # Sessions 23:00-24:00 every day: from Saturday 23:45 the next resumption is on the Sunday.
    saturday = sunday - timedelta(days=1)
    periods = {"trading_period": [[2300, 2400]]}
    now = local_ms(saturday, 23, 45)
    assert pv.next_market_continue_time(now, -5, periods, []) == local_ms(sunday, 23)
    assert pv.next_market_break_time(now, -5, periods, []) == local_ms(sunday)
