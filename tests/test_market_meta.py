import json
import math
import random
import struct
from decimal import Decimal

import cramjam
import pytest

import pyvelmora as pv

# Rows need a catalogue's name index, which comes from the schema classes.
needs_schema = pytest.mark.skipif(not hasattr(pv, "IndexSchema"), reason="schema classes not in this build")

SUFFIXES = ["Market", "Holiday", "Security", "Dividend", "Stock", "Commodity", "Futures"]


def _str(s):
    b = s.encode()
    return struct.pack(">I", len(b)) + b


def schema_binary(names):
    """Snappy-compressed catalogue whose metas carry the given (name, ns, id) triples."""
    plain = struct.pack(">I", len(names))
    for name, ns, mid in sorted(names, key=lambda t: (t[1], t[2])):
        plain += struct.pack(">HIIH", ns, mid, mid, ns) + _str(name) + _str(name)
        plain += struct.pack(">I", 0) + b"\x00" + struct.pack(">I", 0) + _str("index")
        plain += struct.pack(">I", 1) + _str("uuid") + struct.pack(">I", 0)
    return bytes(cramjam.snappy.compress_raw(plain))


def index_map(names):
    schema = pv.IndexSchema()
    schema.load(schema_binary(names))
    return schema.index_data_map()


def full_map(prefix="zen"):
    return index_map([(f"{prefix}::{s}", 1, 100 + i) for i, s in enumerate(SUFFIXES)] + [(f"{prefix}::Tick", 0, 1)])


def header(market_code="XSHG", rev=1, **kw):
    return {"rev": rev, "market_code": market_code, **kw}


MARKET_INFO = header(rev=9, trade_day=20240105, time_tag=1704412800000, name="Shanghai", time_zone=8,
                     currency="CNY", begin_day=19901219, start_day=20000101,
                     trading_period=json.dumps({"trading_period": [[1300, 1500], [930, 1130]]}),
                     revs=json.dumps({"b": -1, "a": 3}), extra=json.dumps({"days": [20240101]}))

SECURITIES = header(rev=2, trade_day=20240105, time_tag=77, code=["600000", "600001", "600002"],
                    name=["浦发", "B", "C"], abbreviation=["a", "b", "c"], category=[10, 11, -1], state=[3, 4, 1],
                    last_close=[10.5, "12", 7], dividend_ratio=[0.1, 0.2], lists_at=[19991110, 20000101, 1],
                    suspend=["", "S", ""])

STOCKS = header(rev=4, code=["600000"], name=["PF"], historical_names=[json.dumps(["Old", 'Q"uote'])],
                historical_name_days=[json.dumps([20000101, "x"])], list_day=[19991110],
                begin_shares=[2 ** 40], list_shares=[-2], list_price=[1e-7], unlimit_shares=[3], limit_shares=[4])


def bundle(*markets):
    return json.dumps({"markets": list(markets)}).encode()


def load(*markets):
    return pv.load_market_meta_from_json_str(bundle(*markets))


def test_market_codes_and_absent_sections():
    metas = load({"market_info": MARKET_INFO}, {"securities": SECURITIES}, {})
    assert [m.market_code() for m in metas] == [b"XSHG", b"", b""]
    assert pv.load_market_meta_from_json_str(b'{"markets":[]}') == []


def test_market_info_record():
    info = pv.MarketInfo()
    assert (info.get_market_code(), info.get_name(), info.get_trade_day()) == (b"", b"", 0)


@pytest.mark.parametrize("doc,message", [
    (b"{}", "load_market_meta_from_json_str: top-level 'markets' array missing"),
    (b'{"markets": 1}', "load_market_meta_from_json_str: top-level 'markets' array missing"),
    (b"{", "load_market_meta_from_json_str: bad JSON: The JSON document has an improper structure: "
           "missing or superfluous commas, braces, missing keys, etc."),
    (bundle({"securities": {"market_code": "X", "code": []}}), "missing/!int field 'rev'"),
    (bundle({"holidays": {"rev": 1, "market_code": ["X"], "days": []}}), "missing/!string field 'market_code'"),
    (bundle({"holidays": {"rev": 1, "market_code": "X"}}), "missing/!array field 'days'"),
    (bundle({}, {"stocks": {**STOCKS, "list_price": None}}), "missing/!array field 'list_price'"),
])
def test_load_errors(doc, message):
    with pytest.raises(Exception) as e:
        pv.load_market_meta_from_json_str(doc)
    assert type(e.value) is Exception and str(e.value) == message


def test_integers_beyond_64_bits_are_out_of_range_not_bad_json():
    big = 2 ** 64
    stocks = {**STOCKS, "begin_shares": [big], "list_price": [-(2 ** 63) - 1], "name": ["123456789012345678901234"]}
    (m,) = load({"stocks": stocks, "holidays": header(days=[big, 20240101], time_tag=big)})
    with pytest.raises(Exception) as e:
        load({"holidays": header(rev=big, days=[])})
    assert type(e.value) is Exception and str(e.value) == "missing/!int field 'rev'"
    if hasattr(pv, "IndexSchema"):
        hol, st = m.to_sv(full_map())
        assert hol.get_int_32_vector(2) == [0, 20240101] and hol.get_time_tag() == 0
        assert st.get_int_64_vector(7) == [0]
        assert st.get_double_vector(9) == [-(2.0 ** 63)]
        assert st.get_string_vector(3) == [b"123456789012345678901234"]


def test_load_requires_bytes():
    with pytest.raises(TypeError):
        pv.load_market_meta_from_json_str('{"markets":[]}')


@needs_schema
def test_rows_in_emission_order_with_headers():
    m = load({"stocks": STOCKS, "securities": SECURITIES, "market_info": MARKET_INFO})[0]
    rows = m.to_sv(full_map())
    assert [(r.get_meta_id(), r.size()) for r in rows] == [(100, 9), (102, 11), (104, 12)]
    for r in rows:
        assert (r.get_market(), r.get_stock_code(), r.get_namespace(), r.get_granularity()) == (b"ZENTHE", b"XSHG", 1, 0)
    assert [r.get_time_tag() for r in rows] == [1704412800000, 77, 0]

    mk = rows[0]
    assert [mk.get_int(0), mk.get_string(1), mk.get_int(2), mk.get_string(3), mk.get_int(5), mk.get_int(6)] == \
        [20240105, b"Shanghai", 8, b"CNY", 20000101, 19901219]
    assert mk.get_string(4) == b'{"trading_period":[[930,1130],[1300,1500]]}'
    assert mk.get_string(7) == b'{"a":3,"b":-1}'
    assert mk.get_string(8) == b'{"days":[20240101]}'

    sec = rows[1]
    assert (sec.get_int(0), sec.get_int(1)) == (2, 20240105)
    assert sec.get_string_vector(3) == ["浦发".encode(), b"B", b"C"]
    assert sec.get_int_32_vector(5) == [10, 0, 0]
    assert sec.get_int_32_vector(6) == [3, 0, 1]
    assert sec.get_double_vector(7) == [10.5, 0.0, 7.0]
    assert sec.get_double_vector(8) == [0.1, 0.2, 0.0]

    st = rows[2]
    assert st.get_string_vector(4) == [b'["Old","Q\\"uote"]']
    assert st.get_string_vector(5) == [b"[20000101]"]
    assert st.get_int_64_vector(7) == [2 ** 40]
    assert st.get_int_64_vector(8) == [-2]
    assert st.get_double_vector(9) == [1e-7]


@needs_schema
def test_prefix_comes_from_first_name():
    m = load({"stocks": STOCKS, "securities": SECURITIES, "market_info": MARKET_INFO})[0]
    only = m.to_sv(index_map([("abc::Tick", 0, 1), ("abc::Stock", 0, 5), ("zen::Security", 0, 6)]))
    assert [(r.get_meta_id(), r.size()) for r in only] == [(5, 12)]
    assert m.to_sv(index_map([])) == []


def test_to_sv_requires_index_map_and_meta_has_no_constructor():
    m = load({"market_info": MARKET_INFO})[0]
    for bad in ({}, None, b"zen::Market"):
        with pytest.raises(TypeError):
            m.to_sv(bad)
    with pytest.raises(TypeError, match="No constructor defined for MarketMeta"):
        pv.MarketMeta()


def shortest_layout(x):
    """Float text from Python's shortest round-trip digits (repr), laid out by decimal exponent."""
    if not math.isfinite(x):
        return "0.0"
    if x == 0:
        return "-0.0" if math.copysign(1, x) < 0 else "0.0"
    sign, digits, exp = Decimal(repr(x)).as_tuple()
    ds = "".join(map(str, digits)).rstrip("0")
    k = exp + len(digits) - len(ds)
    n = len(ds)
    p = n + k
    s = "-" if sign else ""
    if k >= 0 and p <= 16:
        return s + ds + "0" * k + ".0"
    if 0 < p <= 16:
        return s + ds[:p] + "." + ds[p:]
    if -5 < p <= 0:
        return s + "0." + "0" * -p + ds
    return s + ds[0] + ("." + ds[1:] if n > 1 else "") + "e" + str(p - 1)


def random_doubles(rng, count):
    out = [0.0, -0.0, 5.0, 0.1, 1e16, 1.5e-7, 123456789012345680.0, 1e15, 1e-5, 1e-6, 5e-324,
           1.7976931348623157e308, 9999999999999998.0, 12.34, 0.001234]
    while len(out) < count:
        kind = rng.random()
        if kind < 0.5:
            x = struct.unpack("<d", struct.pack("<Q", rng.getrandbits(64)))[0]
        elif kind < 0.8:
            x = rng.uniform(-1, 1) * 10.0 ** rng.randint(-30, 30)
        else:
            x = round(rng.uniform(-1e6, 1e6), rng.randint(0, 9))
        if math.isfinite(x):
            out.append(x)
    return out


@needs_schema
def test_rendered_doubles_match_shortest_repr_oracle():
    rng = random.Random(424242)
    values = random_doubles(rng, 6000)
    n = len(values) // 2
    futures = header(market_code="XSGE")
    cols = {
        "code": [f"c{i}" for i in range(n)], "name": [""] * n, "commodity": [""] * n,
        "trade_period": ["{}"] * n, "uom": [""] * n, "volume_multiplier": [1] * n,
        "max_market_order_vol": [0] * n, "min_market_order_vol": [0] * n, "max_limit_order_vol": [0] * n,
        "min_limit_order_vol": [0] * n,
        "margin": [json.dumps({"long_rate": values[2 * i], "long_type": i, "short_rate": values[2 * i + 1],
                               "short_type": -i, "algorithm": 2}) for i in range(n)],
        "commission": [json.dumps({"open_rate_by_volume": values[i], "order_rate_by_money": values[-1 - i],
                                   "open_type": 1}) for i in range(n)],
        "price_tick": values[:n], "expires_at": [0] * n, "start_delivery_date": [0] * n,
        "end_delivery_date": [0] * n, "real_contract_code": [""] * n, "extra": [{"days": [i]} for i in range(n)],
    }
    # repr() texts go into the bundle, so the loader reads back exactly these doubles.
    rows = load({"futures": {**futures, **cols}})[0].to_sv(full_map())
    assert len(rows) == 1
    fu = rows[0]
    assert fu.get_double_vector(14) == values[:n]
    margins = fu.get_string_vector(12)
    commissions = fu.get_string_vector(13)
    for i in range(n):
        want = (f'{{"long_rate":{shortest_layout(values[2 * i])},"long_type":{i},'
                f'"short_rate":{shortest_layout(values[2 * i + 1])},"short_type":{-i},"algorithm":2}}')
        assert margins[i] == want.encode(), (values[2 * i], values[2 * i + 1])
        z = "0.0"
        want = (f'{{"open_rate_by_volume":{shortest_layout(values[i])},"open_rate_by_money":{z},'
                f'"close_rate_by_volume":{z},"close_rate_by_money":{z},"today_close_rate_by_volume":{z},'
                f'"today_close_rate_by_money":{z},"order_rate_by_volume":{z},'
                f'"order_rate_by_money":{shortest_layout(values[-1 - i])}}}')
        assert commissions[i] == want.encode()
    assert fu.get_string_vector(19)[:2] == [b'{"days":[0]}', b'{"days":[1]}']


def test_oracle_layout_examples():
    # The oracle itself on the documented examples.
    assert [shortest_layout(x) for x in (1.0, 0.0003, 1e-7, -0.0, 1e16, 123456789012345680.0, 0.00001)] == \
        ["1.0", "0.0003", "1e-7", "-0.0", "1e16", "1.2345678901234568e17", "0.00001"]
