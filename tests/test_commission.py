from fractions import Fraction

import pytest
from hypothesis import given, settings, strategies as st

import pyvelmora as pv

RATES = [
    "open_rate_by_volume",
    "open_rate_by_money",
    "close_rate_by_volume",
    "close_rate_by_money",
    "today_close_rate_by_volume",
    "today_close_rate_by_money",
    "order_rate_by_volume",
    "order_rate_by_money",
]


def schedule(**rates):
    c = pv.Commission()
    for name, v in rates.items():
        getattr(c, "set_" + name)(v)
    return c


def fma(a, b, c):
    # Exact rational arithmetic, rounded once: an oracle for a fused multiply-add.
    return float(Fraction(a) * Fraction(b) + Fraction(c))


def fee_oracle(rates, volume, price, open_close, is_today, multiplier):
    turnover = (price * volume) * multiplier
    if open_close == 0x30:
        side = "open"
    elif open_close == 0x31 and is_today:
        side = "today_close"
    else:
        side = "close"
    f = fma(rates["order_rate_by_money"], turnover, 0.0)
    f = fma(rates["order_rate_by_volume"], volume, f)
    f = fma(rates[side + "_rate_by_volume"], volume, f)
    return fma(rates[side + "_rate_by_money"], turnover, f)


def test_fresh_schedule_charges_nothing():
    c = pv.Commission()
    assert [getattr(c, "get_" + r)() for r in RATES] == [0.0] * 8
    assert c.calculate(10.0, 100.0, 0x30, 0x30, False, 1.0) == 0.0


def test_worked_example():
    c = schedule(open_rate_by_volume=1, open_rate_by_money=0.0003, order_rate_by_volume=0.5,
                 order_rate_by_money=0.0001)
    assert c.calculate(10, 100, pv.entrust_direction_buy, pv.entrust_oc_open, False, 1) == pytest.approx(15.4)
    assert isinstance(c.get_open_rate_by_volume(), float)


finite = st.floats(allow_nan=False, allow_infinity=False, min_value=-1e12, max_value=1e12)


@settings(max_examples=300, deadline=None)
@given(st.lists(finite, min_size=8, max_size=8), finite, finite, st.sampled_from([0x30, 0x31, 0x32]),
       st.booleans(), finite)
def test_fee_matches_fused_oracle(rates, volume, price, open_close, is_today, multiplier):
    named = dict(zip(RATES, rates))
    c = schedule(**named)
    got = c.calculate(volume, price, 0x31, open_close, is_today, multiplier)
    want = fee_oracle(named, volume, price, open_close, is_today, multiplier)
    assert got == want or (got != got and want != want)


def test_fused_accumulation_keeps_the_low_bits():
    v = 1 + 2.0 ** -30
    c = schedule(order_rate_by_money=-1.0, order_rate_by_volume=v)
    assert c.calculate(v, 1.0, 0, 0x30, False, 1.0) == 2.0 ** -30 + 2.0 ** -60


def test_load_takes_numbers_only():
    c = schedule(open_rate_by_money=4.0)
    c.load(b'{"open_rate_by_volume": 2}')
    assert c.get_open_rate_by_volume() == 2.0 and c.get_open_rate_by_money() == 4.0
    for doc in [b'{"open_rate_by_volume": "3"}', b"[1,2]", b'{"open_rate_by_volume": null}', b"5",
                b'{"open_rate_by_volume": false}', b'{"a": {"open_rate_by_volume": 3}}']:
        c.load(doc)
        assert c.get_open_rate_by_volume() == 2.0, doc
    c.load(b'{"order_rate_by_money": 5, "close_rate_by_money": 2.5e-4, "zzz": 1}')
    assert c.get_order_rate_by_money() == 5.0 and type(c.get_order_rate_by_money()) is float
    assert c.get_close_rate_by_money() == 2.5e-4


def test_load_integers_beyond_64_bits_are_numbers():
    # Valid JSON, read as the nearest double like any other number.
    c = schedule(open_rate_by_money=4.0)
    c.load(b'{"open_rate_by_volume": 18446744073709551616, "open_rate_by_money": -9223372036854775809,'
           b' "x": "123456789012345678901234", "order_rate_by_money": 18446744073709551615}')
    assert c.get_open_rate_by_volume() == 2.0 ** 64
    assert c.get_open_rate_by_money() == -(2.0 ** 63)
    assert c.get_order_rate_by_money() == 2.0 ** 64
    with pytest.raises(Exception, match="^Commission.load: invalid JSON: "):
        c.load(b'{"open_rate_by_volume": 1e400}')
    assert c.get_open_rate_by_volume() == 2.0 ** 64


@pytest.mark.parametrize("doc,detail", [
    (b"{", "The JSON document has an improper structure: missing or superfluous commas, braces, missing keys, etc."),
    (b"", "Empty: no JSON found"),
    (b'{"open_rate_by_volume": 7,}', None),
    (b'{"open_rate_by_volume": 7, "x": "\xff"}', "The input is not valid UTF-8"),
])
def test_load_malformed_raises_and_keeps_schedule(doc, detail):
    c = schedule(open_rate_by_volume=1.0)
    with pytest.raises(Exception) as e:
        c.load(doc)
    assert type(e.value) is Exception
    msg = str(e.value)
    assert msg.startswith("Commission.load: invalid JSON: ")
    if detail:
        assert msg == "Commission.load: invalid JSON: " + detail
    assert c.get_open_rate_by_volume() == 1.0


def test_argument_conversion():
    c = pv.Commission()
    c.set_order_rate_by_volume(3)
    assert c.get_order_rate_by_volume() == 3.0
    with pytest.raises(TypeError):
        c.load('{"open_rate_by_volume": 2}')
    with pytest.raises(TypeError):
        c.set_open_rate_by_money("1")
    with pytest.raises(TypeError):
        c.calculate("1", 1.0, 0x30, 0x30, False, 1.0)
    for bad in (256, -1):
        with pytest.raises(OverflowError):
            c.calculate(1.0, 1.0, bad, 0x30, False, 1.0)
        with pytest.raises(OverflowError):
            c.calculate(1.0, 1.0, 0x30, bad, False, 1.0)
