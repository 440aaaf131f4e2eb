"""The calendar's market status and bar ends in pure Python with datetime: the benchmark's peer.

Same rules as the module's calendar for fixed-offset zones: trade-day resolution under FLOOR,
CEIL and ROUND, market status, and intraday bar ends.
"""
from datetime import date, datetime, timedelta, timezone

FLOOR, CEIL, ROUND = 0, 1, 2
TEN_MIN = 600


class Calendar:
    def __init__(self, tz_hours, periods, holidays, ignore_weekend=False):
        self.tz = timezone(timedelta(hours=tz_hours))
        self.periods = {(k.decode() if isinstance(k, bytes) else k): [tuple(p) for p in v] for k, v in periods.items()}
        self.holidays = set(holidays)
        self.ignore_weekend = ignore_weekend

    # --- dates -------------------------------------------------------------
    def local_date(self, t):
        return datetime.fromtimestamp(t, self.tz).date()

    @staticmethod
    def ymd(d):
        return d.year * 10000 + d.month * 100 + d.day

    @staticmethod
    def from_ymd(v):
        return date(v // 10000, v // 100 % 100, v % 100)

    def at(self, d, hhmm):
        h = int(hhmm / 100)
        m = hhmm - h * 100
        midnight = datetime(d.year, d.month, d.day, tzinfo=self.tz)
        return int((midnight + timedelta(hours=h, minutes=m)).timestamp())

    # --- day kinds and policies ---------------------------------------------
    def day_kind(self, d, look_ahead):
        if self.ymd(d) in self.holidays:
            return 2
        w = d.weekday()  # Monday = 0
        if w < 5:
            return 0
        if look_ahead:
            nb = d + timedelta(days=2 if w == 5 else 1)
        else:
            nb = d - timedelta(days=1 if w == 5 else 2)
        if self.ymd(nb) in self.holidays:
            return 2
        return 0 if self.ignore_weekend else 1

    def policy_for(self, d):
        return ("trading_period", "after_weekend", "after_holiday")[self.day_kind(d - timedelta(days=1), False)]

    def sessions(self, policy):
        s = self.periods.get(policy)
        if s is None:
            s = self.periods.get("trading_period")
        if s is None:
            raise Exception('MarketCalendar must carry a "trading_period" policy')
        return s

    def next_trading(self, d, look_ahead):
        d += timedelta(days=1)
        while self.day_kind(d, look_ahead) != 0:
            d += timedelta(days=1)
        return d

    def prev_trading(self, d):
        d -= timedelta(days=1)
        while self.day_kind(d, False) != 0:
            d -= timedelta(days=1)
        return d

    # --- resolution ------------------------------------------------------------
    def resolve(self, t, rounding):
        ceil = rounding == CEIL
        today = self.local_date(t)
        p = self.policy_for(today)
        if self.day_kind(today, ceil) != 0:
            held = self.prev_trading(today)
        else:
            close = self.at(today, self.sessions(p)[-1][1])
            if rounding == ROUND and t >= close + TEN_MIN:
                held = today
            elif rounding == FLOOR:
                n = self.next_trading(today, False)
                np_ = self.policy_for(n)
                if t >= self.at(n, self.sessions(np_)[0][0]):
                    return np_, n, today
                return p, today, today
            elif ceil and t > close:
                held = today
            else:
                return p, today, today
        n = self.next_trading(today, ceil)
        np_ = self.policy_for(n)
        if ceil or t >= self.at(n, self.sessions(np_)[0][0]) - TEN_MIN:
            return np_, n, today
        return p, held, today

    def market_status(self, now_ms, rounding):
        policy, day, action = self.resolve(now_ms // 1000, rounding)
        s = self.sessions(policy)
        bounds = [(self.at(day, a) * 1000, self.at(day, b) * 1000) for a, b in s]
        last_end, latest, is_open = 0, None, False
        for i, (b, e) in enumerate(bounds):
            if now_ms >= e:
                last_end = e
                continue
            if now_ms >= b:
                is_open, latest = True, now_ms
            elif rounding == FLOOR:
                latest = last_end
            elif rounding == CEIL or i == 0:
                latest = b
            else:
                latest = last_end if 2 * now_ms <= last_end + b else b
            break
        if latest is None:
            latest = last_end
        return {"lattest_market_time": latest, "begin": bounds[0][0], "end": bounds[-1][1],
                "trade_day": self.ymd(day), "action_day": self.ymd(action), "market_open": is_open}

    def spans(self, t):
        policy, day, _ = self.resolve(t, CEIL)
        return day, [(self.at(day, a) * 1000, self.at(day, b) * 1000) for a, b in self.sessions(policy)]

    def sampler_tm_bound(self, now_ms, granularity):
        n = -(-now_ms // 1000) * 1000
        st = self.market_status(n, CEIL)
        _, spans = self.spans(st["lattest_market_time"] // 1000)
        i = sum(1 for _, e in spans if e < n)
        b, e = spans[i]
        g = granularity * 1000
        k = int((n - b) / g)
        rem = (n - b) - k * g
        if k >= 1 and rem != 0:
            return min(b + k * g, e), min(b + (k + 1) * g, e)
        if k >= 2 and rem == 0:
            return min(b + (k - 1) * g, e), min(b + k * g, e)
        curr = min(b + g, e)
        if i > 0:
            return spans[i - 1][1], curr
        x = n // 1000
        while True:
            x -= 86400
            day, prev = self.spans(x)
            if self.ymd(day) != st["trade_day"]:
                return prev[-1][1], curr


def calculate_market_status(now, time_zone, periods, holidays):
    return Calendar(time_zone, periods, holidays).market_status(now, FLOOR)


def sampler_tm_bound(now, time_zone, periods, holidays, granularity):
    return Calendar(time_zone, periods, holidays).sampler_tm_bound(now, granularity)
