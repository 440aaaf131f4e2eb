"""Calendar properties on random calendars, and a minute-level sweep over two weeks checked
against a hand-written table of trade days and sessions."""
from datetime import date, datetime, timedelta, timezone

from hypothesis import given, settings, strategies as st

import pyvelmora as pv

# ---------------------------------------------------------------------------
# Two weeks at UTC+8: night sessions on the evening before each ordinary trade day, none on
# Mondays, a shorter list after a holiday; Friday 2024-03-08 is a holiday.

TZ8 = timezone(timedelta(hours=8))
SWEEP_PERIODS = {
    "trading_period": [[-300, 230], [900, 1015], [1030, 1130], [1330, 1500]],
    "after_weekend": [[900, 1015], [1030, 1130], [1330, 1500]],
    "after_holiday": [[900, 1130], [1330, 1500]],
}
# The same sessions as minutes from the trade day's midnight, written out by hand.
MINUTES = {
    "TP": [(-180, 150), (540, 615), (630, 690), (810, 900)],
    "AW": [(540, 615), (630, 690), (810, 900)],
    "AH": [(540, 690), (810, 900)],
}
TRADE_DAYS = [(date(2024, 2, 29), "TP"), (date(2024, 3, 1), "TP"), (date(2024, 3, 4), "AW"),
              (date(2024, 3, 5), "TP"), (date(2024, 3, 6), "TP"), (date(2024, 3, 7), "TP"),
              (date(2024, 3, 11), "AH"), (date(2024, 3, 12), "TP"), (date(2024, 3, 13), "TP"),
              (date(2024, 3, 14), "TP"), (date(2024, 3, 15), "TP"), (date(2024, 3, 18), "AW"),
              (date(2024, 3, 19), "TP")]
HOLIDAYS = [20240308]
TEN_MIN = 600_000


def to_ms(dt):
    return int(dt.timestamp()) * 1000


def day_spans(d, kind):
    midnight = datetime(d.year, d.month, d.day, tzinfo=TZ8)
    return [(to_ms(midnight + timedelta(minutes=b)), to_ms(midnight + timedelta(minutes=e))) for b, e in MINUTES[kind]]


SPANS = {d: day_spans(d, kind) for d, kind in TRADE_DAYS}
ALL_SPANS = sorted((b, e, d) for d, spans in SPANS.items() for b, e in spans)
DAYS = [d for d, _ in TRADE_DAYS]


def ymd(d):
    return d.year * 10000 + d.month * 100 + d.day


def local_date(t):
    return datetime.fromtimestamp(t / 1000, TZ8).date()


def neighbours(d):
    return max(x for x in DAYS if x < d), min(x for x in DAYS if x > d)


def floor_day(t):
    # The trade day holds until the next one's first session begins; on a day without trading
    # the previous one holds until 10 minutes before the next open.
    d = local_date(t)
    prev, nxt = neighbours(d)
    if d in SPANS:
        return nxt if t >= SPANS[nxt][0][0] else d
    return nxt if t >= SPANS[nxt][0][0] - TEN_MIN else prev


def ceil_day(t):
    # Strictly after the close, counted in whole seconds.
    d = local_date(t)
    return d if d in SPANS and t // 1000 * 1000 <= SPANS[d][-1][1] else neighbours(d)[1]


def last_bar_begin(b, e, g):
    return b + ((e - b - 1) // g) * g


def begin_oracle(t, g):
    for i, (b, e, _) in enumerate(ALL_SPANS):
        if t <= e:
            break
    pb, pe, _ = ALL_SPANS[i - 1]
    nb = ALL_SPANS[i + 1][0]
    if t < b:
        return last_bar_begin(pb, pe, g), b
    if t == b:
        return last_bar_begin(pb, pe, g), t
    if t == e:
        return last_bar_begin(b, e, g), nb
    d = t - b
    if d % g == 0:
        return t - g, t
    curr = b + d - d % g
    return curr, (curr + g if curr + g < e else nb)


def bound_oracle(t, g):
    n = -(-t // 1000) * 1000
    for i, (b, e, _) in enumerate(ALL_SPANS):
        if n <= e:
            break
    prev_end = ALL_SPANS[i - 1][1]
    k = -(-(n - b) // g) if n > b else 0
    if k >= 2:
        return min(b + (k - 1) * g, e), min(b + k * g, e)
    return prev_end, min(b + g, e)


def sweep_instants():
    start = to_ms(datetime(2024, 3, 2, tzinfo=TZ8))
    end = to_ms(datetime(2024, 3, 18, tzinfo=TZ8))
    out = set(range(start, end, 5 * 60_000))
    for b, e, _ in ALL_SPANS:
        for edge in (b, e, b - TEN_MIN, e + TEN_MIN):
            out.update(edge + delta for delta in (-1001, -1000, -1, 0, 1, 999, 1000))
    return sorted(t for t in out if start <= t < end)


def test_sweep_two_weeks():
    instants = sweep_instants()
    assert len(instants) > 4000
    for t in instants:
        st = pv.calculate_market_status(t, 8, SWEEP_PERIODS, HOLIDAYS)
        owner = next((d for b, e, d in ALL_SPANS if b <= t < e), None)
        assert st.get_market_open() == (owner is not None), t
        assert st.get_trade_day() == ymd(owner or floor_day(t)), t
        assert st.get_action_day() == ymd(local_date(t)), t
        if owner is not None:
            assert st.get_lattest_market_time() == t
        ceil = ceil_day(t)
        assert pv.this_tradeday_sections(t, 8, SWEEP_PERIODS, HOLIDAYS, False) == SPANS[ceil], t
        for g in (300, 420):
            assert pv.sampler_tm_begin(t, 8, SWEEP_PERIODS, HOLIDAYS, g) == begin_oracle(t, g * 1000), (t, g)
            assert pv.sampler_tm_bound(t, 8, SWEEP_PERIODS, HOLIDAYS, g) == bound_oracle(t, g * 1000), (t, g)


def test_sweep_trade_day_sections():
    for d in (date(2024, 3, 2) + timedelta(days=i) for i in range(16)):
        expected = SPANS.get(d, [])
        assert pv.tradeday_sections(ymd(d), 8, SWEEP_PERIODS, HOLIDAYS) == expected, d


# ---------------------------------------------------------------------------
# Random calendars. Day sessions lie between 04:00 and 18:00, an optional night session
# between 19:00 the evening before and 03:00, so trade days never overlap and no session
# begins within 10 minutes of the previous day's close.


def hhmm(minutes):
    sign = -1 if minutes < 0 else 1
    h, m = divmod(abs(minutes), 60)
    return sign * (h * 100 + m)


@st.composite
def session_lists(draw, night_allowed=True):
    cuts = sorted(draw(st.sets(st.integers(240, 1080), min_size=2, max_size=8)))
    cuts = cuts[: len(cuts) - len(cuts) % 2]
    out = [[hhmm(cuts[i]), hhmm(cuts[i + 1])] for i in range(0, len(cuts), 2)]
    if night_allowed and draw(st.booleans()):
        out.insert(0, [hhmm(draw(st.integers(-300, -1))), hhmm(draw(st.integers(1, 180)))])
    return out


@st.composite
def calendars(draw):
    periods = {"trading_period": draw(session_lists())}
    if draw(st.booleans()):
        periods["after_weekend"] = draw(session_lists())
    if draw(st.booleans()):
        periods["after_holiday"] = draw(session_lists(night_allowed=False))
    tz = draw(st.sampled_from([-5, 0, 8, 9, -3, 5]))
    day0 = date(2003, 1, 1)
    now_day = day0 + timedelta(days=draw(st.integers(0, 28 * 365)))
    holidays = set()
    for _ in range(draw(st.integers(0, 6))):
        h = now_day + timedelta(days=draw(st.integers(-6, 6)))
        if h.weekday() < 5:
            holidays.add(ymd(h))
    midnight = datetime(now_day.year, now_day.month, now_day.day, tzinfo=timezone(timedelta(hours=tz)))
    now = to_ms(midnight) + draw(st.integers(-12 * 3600_000, 36 * 3600_000))
    return now, tz, periods, sorted(holidays)


@settings(max_examples=400)
@given(calendars())
def test_open_market_lies_in_its_sessions_and_patterns_agree(cal):
    now, tz, periods, holidays = cal
    st_ = pv.calculate_market_status(now, tz, periods, holidays)
    if not st_.get_market_open():
        return
    assert st_.get_lattest_market_time() == now
    assert st_.get_begin() <= now < st_.get_end()
    spans = pv.this_tradeday_sections(now, tz, periods, holidays, False)
    assert any(b <= now < e for b, e in spans)
    for pattern in (pv.FLOOR, pv.CEIL, pv.ROUND):
        assert pv.equivalant_market_time(now, tz, periods, holidays, False, pattern) == [
            st_.get_begin(), now, st_.get_end()]


@settings(max_examples=400)
@given(calendars(), st.sampled_from([60, 300, 420, 900, 3600]))
def test_bar_bounds_hold_now_inside_a_session(cal, granularity):
    now, tz, periods, holidays = cal
    if not pv.calculate_market_status(now, tz, periods, holidays).get_market_open():
        return
    g = granularity * 1000
    curr, nxt = pv.sampler_tm_begin(now, tz, periods, holidays, granularity)
    assert curr <= now <= nxt and curr < nxt
    assert now - curr <= g
    n = -(-now // 1000) * 1000
    prev_end, curr_end = pv.sampler_tm_bound(now, tz, periods, holidays, granularity)
    assert prev_end < n <= curr_end
    assert curr_end - n < g


@settings(max_examples=300)
@given(calendars())
def test_given_trade_day_matches_the_ceil_trade_day(cal):
    now, tz, periods, holidays = cal
    d = datetime.fromtimestamp(now / 1000, timezone.utc).date()
    if d.weekday() >= 5 or ymd(d) in holidays:
        assert pv.tradeday_sections(ymd(d), tz, periods, holidays) == []
        return
    spans = pv.tradeday_sections(ymd(d), tz, periods, holidays)
    prev = d - timedelta(days=3 if d.weekday() == 0 else 1)
    if ymd(prev) in holidays:
        return  # evening sessions after a holiday move back over it (tested on their own)
    assert pv.this_tradeday_sections(spans[0][0], tz, periods, holidays, False) == spans


# ---------------------------------------------------------------------------
# Arbitrary input: an answer or a plain Exception, never a crash or a hang.

i32 = st.integers(-2**31, 2**31 - 1)
wild_hhmm = st.one_of(st.integers(-3000, 5000), i32)


@settings(max_examples=300)
@given(now=st.one_of(st.integers(0, 2**64 - 1), st.integers(0, 4102444800000)),
       tz=st.one_of(st.integers(-24, 24), i32),
       periods=st.dictionaries(st.sampled_from(["trading_period", "after_weekend", "after_holiday", b"x"]),
                               st.lists(st.tuples(wild_hhmm, wild_hhmm), max_size=4), max_size=3),
       holidays=st.lists(st.one_of(st.integers(19700101, 21001231), i32), max_size=8),
       granularity=st.one_of(st.sampled_from([0, 1, 60, 86400, 604800, 2592000, 31536000]),
                             st.integers(0, 2**32 - 1)),
       tradeday=i32, flag=st.booleans(), pattern=st.integers(0, 2))
def test_arbitrary_input_answers_or_raises(now, tz, periods, holidays, granularity, tradeday, flag, pattern):
    calls = [
        lambda: pv.calculate_market_status(now, tz, periods, holidays),
        lambda: pv.calculate_market_status_include_weekend(now, tz, periods, holidays),
        lambda: pv.this_tradeday_sections(now, tz, periods, holidays, flag),
        lambda: pv.tradeday_sections(tradeday, tz, periods, holidays),
        lambda: pv.next_market_break_time(now, tz, periods, holidays),
        lambda: pv.next_market_continue_time(now, tz, periods, holidays),
        lambda: pv.equivalant_market_time(now, tz, periods, holidays, flag, pattern),
        lambda: pv.sampler_tm_bound(now, tz, periods, holidays, granularity, flag),
        lambda: pv.sampler_tm_begin(now, tz, periods, holidays, granularity, flag),
    ]
    for call in calls:
        try:
            call()
        except Exception as e:  # noqa: BLE001 -- the module's own failures are plain Exception
            assert type(e) is Exception, repr(e)
            assert str(e)
