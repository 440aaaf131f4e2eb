"""StructValue: slots, kinds, positions, texts and copies."""
import math

import pytest
from hypothesis import given, strategies as st

import pyvelmora as pv

I32 = st.integers(-2**31, 2**31 - 1)
I64 = st.integers(-2**63, 2**63 - 1)
TEXT = st.text().map(lambda s: s.encode())
SAMPLES = [7, 1.5, b"x", 2**40, [1], [0.5], [b"a"], [-(2**40)]]
SLOT_VALUES = [
    ("int", I32),
    ("double", st.floats(allow_nan=False)),
    ("string", TEXT),
    ("int_64", I64),
    ("int_32_vector", st.lists(I32)),
    ("double_vector", st.lists(st.floats(allow_nan=False))),
    ("string_vector", st.lists(TEXT)),
    ("int_64_vector", st.lists(I64)),
]
KIND_NAMES = ["Int", "Double", "String", "Int64", "VInt", "VDouble", "VString", "VInt64"]
GETTER_WORDS = ["int", "double", "string", "int64", "int32_vector", "double_vector", "string_vector", "int64_vector"]


def row(size):
    sv = pv.StructValue()
    sv.resize(size)
    return sv


@given(st.lists(st.sampled_from(range(len(SLOT_VALUES))), min_size=1, max_size=8).flatmap(
    lambda kinds: st.tuples(st.just(kinds), st.tuples(*[SLOT_VALUES[k][1] for k in kinds]))))
def test_every_slot_kind_round_trips_and_copies_deeply(case):
    kinds, values = case
    sv = row(len(kinds))
    for pos, (k, v) in enumerate(zip(kinds, values)):
        getattr(sv, "set_" + SLOT_VALUES[k][0])(pos, v)
    other = pv.StructValue()
    other.copy(sv)
    sv.reset()
    for pos, (k, v) in enumerate(zip(kinds, values)):
        assert getattr(other, "get_" + SLOT_VALUES[k][0])(pos) == v


@pytest.mark.parametrize("getter", range(8))
@pytest.mark.parametrize("setter", range(8))
def test_getters_refuse_other_kinds(getter, setter):
    sv = row(2)
    getattr(sv, "set_" + SLOT_VALUES[setter][0])(1, SAMPLES[setter])
    get = getattr(sv, "get_" + SLOT_VALUES[getter][0])
    if getter == setter:
        get(1)
    else:
        with pytest.raises(Exception) as info:
            get(1)
        assert str(info.value) == f"field 1 is not {GETTER_WORDS[getter]} (is {KIND_NAMES[setter]})"


@pytest.mark.parametrize("call", [
    lambda sv: sv.get_int(3), lambda sv: sv.set_int(3, 1), lambda sv: sv.is_empty(3),
    lambda sv: sv.set_string_vector(3, []), lambda sv: sv.get_double_vector(2**63),
])
def test_positions_are_checked_first(call):
    sv = row(3)
    with pytest.raises(Exception, match=r"^Invalid field length 3 \(pos \d+\)$"):
        call(sv)


def test_empty_row_and_resize():
    sv = pv.StructValue()
    assert sv.size() == 0
    with pytest.raises(Exception, match=r"^Invalid field length 0 \(pos 0\)$"):
        sv.get_int(0)
    sv.resize(3)
    assert sv.is_empty(2)
    with pytest.raises(Exception, match=r"^field 2 is not double \(is Empty\)$"):
        sv.get_double(2)
    for i in range(3):
        sv.set_int(i, i)
    sv.resize(5)
    assert [sv.get_int(i) for i in range(3)] == [0, 1, 2] and sv.is_empty(4)
    sv.resize(1)
    assert sv.size() == 1 and sv.get_int(0) == 0


def test_impossible_size_is_a_memory_error():
    sv = row(2)
    with pytest.raises(MemoryError):
        sv.resize(2**62)
    assert sv.size() == 2


def test_setter_replaces_kind():
    sv = row(2)
    sv.set_int(1, 7)
    with pytest.raises(Exception, match=r"^field 1 is not int64 \(is Int\)$"):
        sv.get_int_64(1)
    sv.set_string(1, b"x")
    assert sv.get_string(1) == b"x"


def test_reset_keeps_the_header():
    sv = row(2)
    sv.set_meta_id(-5)
    sv.set_namespace(65535)
    sv.set_time_tag(2**64 - 1)
    sv.set_granularity(60)
    sv.set_market(b"SH")
    sv.set_stock_code("600000".encode())
    sv.reset()
    assert sv.size() == 0
    assert (sv.get_meta_id(), sv.get_namespace(), sv.get_time_tag(), sv.get_granularity(), sv.get_market(),
            sv.get_stock_code()) == (-5, 65535, 2**64 - 1, 60, b"SH", b"600000")


@pytest.mark.parametrize("call,detail", [
    (lambda sv: sv.set_market(b"\xff"), "invalid utf-8 sequence of 1 bytes from index 0"),
    (lambda sv: sv.set_stock_code(b"ab\xe4\xb8"), "incomplete utf-8 byte sequence from index 2"),
    (lambda sv: sv.set_string(0, b"\xed\xa0\x80"), "invalid utf-8 sequence of 1 bytes from index 0"),
    (lambda sv: sv.set_string_vector(0, [b"ok", b"\xc3\x28"]), "invalid utf-8 sequence of 1 bytes from index 0"),
])
def test_invalid_utf8_is_refused_and_the_row_is_unchanged(call, detail):
    sv = row(1)
    with pytest.raises(Exception) as info:
        call(sv)
    assert type(info.value) is Exception and str(info.value) == "invalid utf-8: " + detail
    assert sv.get_market() == b"" and sv.is_empty(0)


def test_getters_return_copies():
    sv = row(1)
    sv.set_int_32_vector(0, [1, 2])
    got = sv.get_int_32_vector(0)
    got.append(3)
    assert sv.get_int_32_vector(0) == [1, 2]


def test_doubles_keep_their_bits():
    sv = row(2)
    sv.set_double(0, -0.0)
    sv.set_double(1, math.nan)
    assert math.copysign(1, sv.get_double(0)) == -1 and math.isnan(sv.get_double(1))
