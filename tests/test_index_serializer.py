import math
import struct

import cramjam
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import pyvelmora as pv

INT, DOUBLE, STRING, VINT, VDOUBLE, VSTRING, INT64, VINT64 = range(1, 9)
SETTERS = {INT: "set_int", DOUBLE: "set_double", STRING: "set_string", VINT: "set_int_32_vector",
           VDOUBLE: "set_double_vector", VSTRING: "set_string_vector", INT64: "set_int_64",
           VINT64: "set_int_64_vector"}
GETTERS = {k: v.replace("set_", "get_") for k, v in SETTERS.items()}
UNSCALE = [1.0, 0.1, 0.01, 0.001, 0.0001, 1e-05, 1e-06, 1e-07, 1e-08, 1e-09]


# ---- independent oracle: schema binaries and batches built with struct --------------------------

def s(b):
    return struct.pack(">I", len(b)) + b


def schema_binary(metas):
    """metas: {(ns, meta_id): [(type, precision), ...]}"""
    out = struct.pack(">I", len(metas))
    for (ns, mid), cols in sorted(metas.items()):
        out += struct.pack(">HIIH", ns, mid, mid, ns) + s(b"n%d.%d" % (ns, mid)) + s(b"")
        out += struct.pack(">IBI", 0, 0, 0) + s(b"") + struct.pack(">I", 1) + s(b"")
        out += struct.pack(">I", len(cols))
        for i, (typ, prec) in enumerate(cols):
            out += struct.pack(">I", i) + s(b"c%d" % i) + struct.pack(">BIiB", typ, prec, 0, 0)
    return bytes(cramjam.snappy.compress_raw(out))


def scale(v, prec):
    x = v * (10.0 ** prec if prec <= 9 else 1.0)
    if math.isnan(x):
        return 0
    if x >= 2.0 ** 63:
        return 2 ** 63 - 1
    if x <= -(2.0 ** 63):
        return -(2 ** 63)
    ax = abs(x)
    r = math.floor(ax)
    if ax - r >= 0.5:
        r += 1
    return r if x >= 0 else -r


def oracle_batch(ns, mid, cols, rows, aux=None):
    """rows: list of (time, gran, market, code, values) with None for empty slots;
    aux: optional per-row {bit: value}, the mask taken from the first row's non-zero bits."""
    n = len(rows)
    bits = sorted(b for b, v in (aux[0] if aux else {}).items() if v)
    mask = sum(1 << b for b in bits)
    out = struct.pack(">HIHQ", ns, mid, mask, n)
    out += b"".join(struct.pack(">Q", r[0]) for r in rows)
    out += b"".join(struct.pack(">i", r[1]) for r in rows)
    out += b"".join(s(r[2]) for r in rows) + b"".join(s(r[3]) for r in rows)
    for i in range(n):
        out += b"".join(struct.pack(">I", aux[i].get(b, 0)) for b in bits)
    presence = 0
    for f in range(len(cols)):
        for r, row in enumerate(rows):
            if row[4][f] is not None:
                presence |= 1 << (f * n + r)
    words = (n * len(cols) + 63) // 64
    out += struct.pack(">I", words)
    out += b"".join(struct.pack(">Q", (presence >> (64 * w)) & (2 ** 64 - 1)) for w in range(words))
    for f, (typ, prec) in enumerate(cols):
        for row in rows:
            v = row[4][f]
            if v is None or not 1 <= typ <= 8:
                continue
            out += {
                INT: lambda: struct.pack(">i", v),
                DOUBLE: lambda: struct.pack(">q", scale(v, prec)),
                STRING: lambda: s(v),
                VINT: lambda: struct.pack(">I", len(v)) + struct.pack("<%di" % len(v), *v),
                VDOUBLE: lambda: struct.pack(">I", len(v)) + struct.pack("<%dq" % len(v), *[scale(e, prec) for e in v]),
                VSTRING: lambda: struct.pack(">I", len(v)) + b"".join(s(e) for e in v),
                INT64: lambda: struct.pack(">q", v),
                VINT64: lambda: struct.pack(">I", len(v)) + struct.pack("<%dq" % len(v), *v),
            }[typ]()
    return out


def expected_decoded(typ, prec, v):
    m = UNSCALE[prec] if prec <= 9 else 1.0
    if typ == DOUBLE:
        return float(scale(v, prec)) * m
    if typ == VDOUBLE:
        return [float(scale(e, prec)) * m for e in v]
    return v


def make_row(ns, mid, cols, row):
    sv = pv.StructValue()
    sv.set_namespace(ns)
    sv.set_meta_id(mid - (1 << 32) if mid >= 1 << 31 else mid)
    sv.set_time_tag(row[0])
    sv.set_granularity(row[1])
    sv.set_market(row[2])
    sv.set_stock_code(row[3])
    sv.resize(len(cols))
    for f, v in enumerate(row[4]):
        if v is not None:
            typ = cols[f][0]
            getattr(sv, SETTERS[typ if 1 <= typ <= 8 else INT])(f, v)
    return sv


def serializer(metas):
    ser = pv.IndexSerializer()
    ser.update_schema_from_binary(schema_binary(metas))
    return ser


# ---- byte-exact batches ----------------------------------------------------------------------------

ALL = [(INT, 0), (DOUBLE, 2), (STRING, 0), (VINT, 0), (VDOUBLE, 3), (VSTRING, 0), (INT64, 0), (VINT64, 0)]
ALL_ROWS = [
    (1700000000123, 60, b"SH", b"600000",
     [-5, 1.005, b"\xe4\xb8\xad", [1, 2], [0.5, -0.0015], [b"a", b""], -(2 ** 63), [2 ** 63 - 1, -1]]),
    (0, -1, b"", b"x", [None, 0.29, None, [], None, [], None, None]),
    (2 ** 64 - 1, 2 ** 31 - 1, b"SZ", b"", [2 ** 31 - 1, None, b"", None, [1e300], None, 7, []]),
]


@pytest.mark.parametrize("cols,rows", [
    (ALL, ALL_ROWS),
    (ALL, ALL_ROWS[:1]),
    ([(INT, 0)] * 5, [(i, 0, b"", b"", [i] * 5) for i in range(13)]),  # 65 bits, full bitmap over two words
    ([(INT, 0), (INT, 0)], [(0, 0, b"", b"", [10, 11]), (0, 0, b"", b"", [None, 21])]),
    ([], [(5, 5, b"m", b"c", [])]),
])
def test_serialize_matches_the_oracle(cols, rows):
    ser = serializer({(1, 77): cols})
    svs = [make_row(1, 77, cols, r) for r in rows]
    assert ser.serialize_batch(svs) == oracle_batch(1, 77, cols, rows)


class RowSequence:
    """A sequence that is neither a list nor a tuple and makes its items on demand."""

    def __init__(self, rows):
        self.rows = rows

    def __len__(self):
        return len(self.rows)

    def __getitem__(self, i):
        return self.rows[i]


@pytest.mark.parametrize("wrap", [list, tuple, RowSequence])
def test_any_row_sequence_encodes_alike(wrap):
    ser = serializer({(1, 77): ALL})
    svs = [make_row(1, 77, ALL, r) for r in ALL_ROWS]
    assert ser.serialize_batch(wrap(svs)) == oracle_batch(1, 77, ALL, ALL_ROWS)
    with pytest.raises(TypeError, match="^argument 'batch': 'int' object cannot be converted to 'StructValue'$"):
        ser.serialize_batch(wrap(svs + [1]))


def test_documented_bytes():
    ser = serializer({(0, 1): [(INT, 0), (INT, 0)], (0, 2): [(VINT, 0)], (0, 3): [(INT, 0)] * 3})
    two = [make_row(0, 1, [(INT, 0)] * 2, (0, 0, b"", b"", v)) for v in ([10, 11], [None, 21])]
    assert ser.serialize_batch(two)[56:] == bytes.fromhex("00000001 000000000000000d 0000000a 0000000b 00000015")
    one = ser.serialize_batch([make_row(0, 2, [(VINT, 0)], (0, 0, b"", b"", [[1, 2]]))])
    assert one[-12:] == bytes.fromhex("00000002 01000000 02000000")
    full = ser.serialize_batch([make_row(0, 3, [(INT, 0)] * 3, (0, 0, b"", b"", [1, 2, 3]))])
    assert full[36:48] == bytes.fromhex("00000001 0000000000000007")


@pytest.mark.parametrize("value,prec,raw", [
    (1.005, 2, 100), (0.29, 2, 29), (2.5, 0, 3), (-2.5, 0, -3), (1.6, 12, 2), (123.456, 10, 123),
    (float("nan"), 3, 0), (float("inf"), 0, 2 ** 63 - 1), (float("-inf"), 5, -(2 ** 63)),
    (1e17, 2, 2 ** 63 - 1), (-1e17, 2, -(2 ** 63)), (9.2e18, 0, 9200000000000000000),
])
def test_double_scaling(value, prec, raw):
    ser = serializer({(0, 1): [(DOUBLE, prec), (VDOUBLE, prec)]})
    b = ser.serialize_batch([make_row(0, 1, [(DOUBLE, prec), (VDOUBLE, prec)], (0, 0, b"", b"", [value, [value]]))])
    assert b[-20:] == struct.pack(">qI", raw, 1) + struct.pack("<q", raw)


@pytest.mark.parametrize("raw,prec,value", [
    (3, 1, 0.30000000000000004), (29, 2, 0.29), (100, 2, 1.0), (7, 12, 7.0), (1, 9, 1e-09), (-3, 1, -0.30000000000000004),
])
def test_double_unscaling_multiplies(raw, prec, value):
    ser = serializer({(0, 1): [(DOUBLE, prec), (VDOUBLE, prec)]})
    b = oracle_batch(0, 1, [(INT64, 0), (VINT64, 0)], [(0, 0, b"", b"", [raw, [raw, raw]])])
    (sv,) = ser.deserialize_batch(b)
    assert sv.get_double(0) == value and sv.get_double_vector(1) == [value, value]
    assert repr(sv.get_double(0)) == repr(value)


def test_auxiliary_values_follow_the_first_row_mask():
    cols = [(INT, 0)]
    ser = serializer({(0, 1): cols})
    rows = [(1, 2, b"a", b"b", [1]), (3, 4, b"c", b"d", [None])]
    aux = [{3: 7, 11: 1}, {3: 9, 5: 4}]
    wire = oracle_batch(0, 1, cols, rows, aux)
    assert wire[6:8] == b"\x08\x08"
    got = ser.deserialize_batch(wire)
    # Re-encoding carries the auxiliary values it decoded.
    assert ser.serialize_batch(got) == wire
    # A mask bit set only on a later row is dropped with that row's value.
    later = oracle_batch(0, 1, cols, list(reversed(rows)), [{}, {3: 7}])
    assert ser.serialize_batch(ser.deserialize_batch(later)) == oracle_batch(0, 1, cols, list(reversed(rows)))
    # Mask bits above 11 are ignored.
    hi = bytearray(oracle_batch(0, 1, cols, rows[:1]))
    hi[6] |= 0xF0
    assert ser.serialize_batch(ser.deserialize_batch(bytes(hi))) == oracle_batch(0, 1, cols, rows[:1])


def test_unknown_column_type_carries_nothing():
    cols = [(9, 0), (INT, 0)]
    ser = serializer({(0, 1): cols})
    b = ser.serialize_batch([make_row(0, 1, cols, (0, 0, b"", b"", [5, 6]))])
    assert b[36:] == bytes.fromhex("00000001 0000000000000003 00000006")
    (sv,) = ser.deserialize_batch(b)
    assert sv.is_empty(0) and sv.get_int(1) == 6


# ---- errors ------------------------------------------------------------------------------------------

def test_serialize_errors():
    cols = [(INT, 0), (DOUBLE, 2)]
    ser = serializer({(0, 1): cols})
    with pytest.raises(Exception, match=r"^serialize_batch: empty input batch$"):
        ser.serialize_batch([])
    with pytest.raises(Exception, match=r"^serialize_batch: unknown schema: namespace=1 meta_id=5$"):
        ser.serialize_batch([make_row(1, 5, [], (0, 0, b"", b"", []))])
    short = make_row(0, 1, cols, (0, 0, b"", b"", [1, 2.0]))
    short.resize(1)
    with pytest.raises(Exception) as ei:
        ser.serialize_batch([make_row(0, 1, cols, (0, 0, b"", b"", [1, 2.0])), short])
    assert type(ei.value) is Exception
    assert str(ei.value) == ("serialize_batch: StructValue field count 1 does not match schema field count 2 "
                             "for (ns=0, meta_id=1)")
    bad = make_row(0, 1, cols, (0, 0, b"", b"", [None, None]))
    bad.set_int(1, 3)
    with pytest.raises(Exception, match=r"^serialize_batch: StructValue field 1 is Int but schema declares Double$"):
        ser.serialize_batch([bad])
    with pytest.raises(TypeError):
        ser.serialize_batch([1])
    with pytest.raises(Exception, match=r"^serialize_batch: unknown schema: namespace=0 meta_id=1$"):
        pv.IndexSerializer().serialize_batch([short])


def test_deserialize_errors():
    cols = [(INT, 0), (VINT, 0)]
    ser = serializer({(0, 1): cols})
    good = oracle_batch(0, 1, cols, [(1, 2, b"m", b"c", [4, [1, 2, 3]])])
    with pytest.raises(Exception, match=r"^deserialize_batch: unknown schema: namespace=0 meta_id=1$"):
        pv.IndexSerializer().deserialize_batch(good)
    with pytest.raises(Exception, match=r"^deserialize_batch: codec: unexpected end of input: needed 4 more bytes$"):
        ser.deserialize_batch(good[:-4])
    words_at = 16 + 8 + 4 + 5 + 5
    wrong = good[:words_at] + struct.pack(">I", 3) + good[words_at + 4:]
    with pytest.raises(Exception,
                       match=r"^deserialize_batch: codec: length prefix 3 exceeds remaining buffer \(1 bytes\)$"):
        ser.deserialize_batch(wrong)
    bad_text = good.replace(b"\x00\x00\x00\x01m", b"\x00\x00\x00\x01\xff")
    with pytest.raises(Exception, match=r"^deserialize_batch: codec: invalid utf-8 in string field$"):
        ser.deserialize_batch(bad_text)
    huge = struct.pack(">HIHQ", 0, 1, 0, 2 ** 64 - 1) + b"\x00" * 20
    with pytest.raises(Exception, match=r"^deserialize_batch: codec: unexpected end of input: needed 4 more bytes$"):
        ser.deserialize_batch(huge)
    with pytest.raises(TypeError):
        ser.deserialize_batch("text")


def test_every_truncation_fails_cleanly():
    ser = serializer({(1, 77): ALL})
    wire = oracle_batch(1, 77, ALL, ALL_ROWS)
    for cut in range(len(wire)):
        with pytest.raises(Exception, match=r"^deserialize_batch: codec: unexpected end of input: needed \d+ more bytes$"):
            ser.deserialize_batch(wire[:cut])
    assert len(ser.deserialize_batch(wire + b"trailing")) == 3


def test_corruption_never_crashes():
    ser = serializer({(1, 77): ALL})
    wire = oracle_batch(1, 77, ALL, ALL_ROWS)
    for i in range(len(wire)):
        for x in (0x01, 0x80, 0xFF):
            b = bytearray(wire)
            b[i] ^= x
            try:
                ser.deserialize_batch(bytes(b))
            except Exception as e:  # noqa: BLE001 - any clear error is fine, a crash is not
                assert type(e) is Exception and str(e).startswith("deserialize_batch: ")


# ---- property: random schemas and conforming rows -------------------------------------------------

i32 = st.integers(-(2 ** 31), 2 ** 31 - 1)
i64 = st.integers(-(2 ** 63), 2 ** 63 - 1)
text = st.text(max_size=6).map(lambda t: t.encode())
dbl = st.floats(allow_nan=True, allow_infinity=True)
VALUE = {INT: i32, DOUBLE: dbl, STRING: text, VINT: st.lists(i32, max_size=4), VDOUBLE: st.lists(dbl, max_size=4),
         VSTRING: st.lists(text, max_size=3), INT64: i64, VINT64: st.lists(i64, max_size=4)}


@st.composite
def batches(draw):
    cols = draw(st.lists(st.tuples(st.integers(0, 10), st.integers(0, 14)), max_size=8))
    n = draw(st.integers(1, 9))
    rows = []
    for _ in range(n):
        vals = [draw(st.none() | VALUE[t]) if 1 <= t <= 8 else draw(st.none() | i32) for t, _ in cols]
        rows.append((draw(st.integers(0, 2 ** 64 - 1)), draw(i32), draw(text), draw(text), vals))
    return draw(st.integers(0, 2 ** 16 - 1)), draw(st.integers(0, 2 ** 32 - 1)), cols, rows


@settings(max_examples=150, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(batches())
def test_round_trip_matches_the_oracle(batch):
    ns, mid, cols, rows = batch
    ser = serializer({(ns, mid): cols})
    wire = ser.serialize_batch([make_row(ns, mid, cols, r) for r in rows])
    assert wire == oracle_batch(ns, mid, cols, rows)
    back = ser.deserialize_batch(wire)
    assert len(back) == len(rows)
    for sv, (tt, gr, mk, cd, vals) in zip(back, rows):
        assert (sv.get_namespace(), sv.get_meta_id() & 0xFFFFFFFF) == (ns, mid)
        assert (sv.get_time_tag(), sv.get_granularity(), sv.get_market(), sv.get_stock_code()) == (tt, gr, mk, cd)
        assert sv.size() == len(cols)
        for f, ((typ, prec), v) in enumerate(zip(cols, vals)):
            if v is None or not 1 <= typ <= 8:
                assert sv.is_empty(f)
            else:
                assert getattr(sv, GETTERS[typ])(f) == expected_decoded(typ, prec, v)


def test_rows_are_released_after_each_call():
    cols = [(INT, 0)]
    ser = serializer({(0, 1): cols})
    good = make_row(0, 1, cols, (0, 0, b"", b"", [1]))
    bad = make_row(0, 1, cols, (0, 0, b"", b"", [None]))
    bad.set_double(0, 1.0)
    with pytest.raises(Exception, match="is Double but schema declares Int"):
        ser.serialize_batch([good, bad])
    with pytest.raises(TypeError, match="^argument 'batch': "):
        ser.serialize_batch([good, "not a row"])
    # Neither failure leaves a row borrowed: both can still be changed.
    good.set_int(0, 2)
    bad.set_int(0, 3)
    wire = oracle_batch(0, 1, cols, [(0, 0, b"", b"", [2]), (0, 0, b"", b"", [3]), (0, 0, b"", b"", [2])])
    # Any sequence of rows is accepted, the same row more than once included.
    assert ser.serialize_batch((good, bad, good)) == wire
    assert ser.serialize_batch([good, bad, good]) == wire
