import struct

import cramjam
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import pyvelmora as pv

MAGIC = 0x75F4C465


def frame(cmd, seq, body, version=4, flag=0):
    """Reference frame built with struct, independent of the module."""
    return struct.pack(">IIBIBH", MAGIC, len(body) + 8, version, seq, flag, cmd) + body


def snappy(data):
    return bytes(cramjam.snappy.compress_raw(data))


def unsnappy(data):
    return bytes(cramjam.snappy.decompress_raw(data))


def raises_exactly(text, fn, *args):
    with pytest.raises(Exception) as info:
        fn(*args)
    assert type(info.value) is Exception
    assert str(info.value) == text


# ---- encode_raw_frame ----


def test_encode_raw_frame_documented_bytes():
    assert pv.encode_raw_frame(0x5006, 7, b"") == bytes.fromhex("75F4C465 00000008 04 00000007 00 5006")
    assert pv.encode_raw_frame(1, 2, b"ab", version=9, flag=3) == bytes.fromhex(
        "75F4C465 0000000A 09 00000002 03 0001 6162"
    )


@given(
    cmd=st.integers(0, 0xFFFF),
    seq=st.integers(0, 0xFFFFFFFF),
    body=st.binary(max_size=300),
    version=st.integers(0, 255),
    flag=st.integers(0, 255),
)
def test_encode_raw_frame_matches_struct(cmd, seq, body, version, flag):
    assert pv.encode_raw_frame(cmd, seq, body, version, flag) == frame(cmd, seq, body, version, flag)


@pytest.mark.parametrize(
    "kwargs, exc",
    [
        (dict(cmd=0x10000, seq=0, body=b""), OverflowError),
        (dict(cmd=-1, seq=0, body=b""), OverflowError),
        (dict(cmd=0, seq=1 << 32, body=b""), OverflowError),
        (dict(cmd=0, seq=0, body=b"", version=256), OverflowError),
        (dict(cmd=0, seq=0, body=b"", flag=-1), OverflowError),
        (dict(cmd=0, seq=0, body="text"), TypeError),
        (dict(cmd=0, seq=0, body=b"", version=None), TypeError),
        (dict(cmd=1.5, seq=0, body=b""), TypeError),
    ],
)
def test_encode_raw_frame_refuses_bad_arguments(kwargs, exc):
    with pytest.raises(exc):
        pv.encode_raw_frame(**kwargs)


# ---- NetHeader ----


def test_net_header_defaults_and_layout():
    h = pv.NetHeader()
    assert h.encode() == bytes(8)
    assert (h.get_version(), h.get_seq(), h.get_flag(), h.get_cmd()) == (0, 0, 0, 0)
    h.set_version(0xFE)
    h.set_seq(0xA1B2C3D4)
    h.set_flag(0x7F)
    h.set_cmd(0xFFEE)
    assert h.encode() == bytes.fromhex("FE A1B2C3D4 7F FFEE")
    assert h.encode_string() == h.encode()


def test_net_header_decode_and_clone():
    h = pv.NetHeader()
    # len only matters when it is 0; the first 8 bytes are read whatever it says.
    assert h.decode(bytes.fromhex("09 00000002 03 0001 FFFF"), 3) == 8
    assert (h.get_version(), h.get_seq(), h.get_flag(), h.get_cmd()) == (9, 2, 3, 1)
    c = h.clone()
    c.set_seq(77)
    assert h.get_seq() == 2 and c.get_seq() == 77 and c.get_cmd() == 1
    assert h.decode(bytes(8), 0) == 0
    assert h.decode_string(b"") == 0
    assert h.get_seq() == 2
    assert h.decode_string(bytes.fromhex("01 00000005 00 0002")) == 8
    assert (h.get_version(), h.get_seq(), h.get_flag(), h.get_cmd()) == (1, 5, 0, 2)


@pytest.mark.parametrize("n", range(1, 8))
def test_net_header_short_input_leaves_header_unchanged(n):
    h = pv.NetHeader()
    h.set_seq(42)
    raises_exactly("NetHeader decode: header too short (need 8 bytes)", h.decode, b"\x01" * n, n)
    raises_exactly("NetHeader decode: header too short (need 8 bytes)", h.decode_string, b"\x01" * n)
    assert h.encode() == bytes.fromhex("00 0000002A 00 0000")


@pytest.mark.parametrize(
    "setter, value", [("set_version", 256), ("set_flag", -1), ("set_cmd", 70000), ("set_seq", 1 << 32)]
)
def test_net_header_setters_check_width(setter, value):
    with pytest.raises(OverflowError):
        getattr(pv.NetHeader(), setter)(value)


# ---- RawFrameReader ----

STREAM_FRAMES = [
    (0x6001, 1, 4, 0, struct.pack("<i", 1)),
    (0x5006, 2, 4, 0, b""),
    (0x6773, 3, 9, 3, b"\x75" * 300),
    (0xFFFF, 0xFFFFFFFF, 255, 255, b"tail"),
]
STREAM = b"".join(frame(cmd, seq, body, v, f) for cmd, seq, v, f, body in STREAM_FRAMES)


def test_reader_documented_pending_counts():
    f = frame(0x6772, 5, b"abcdefgh")
    r = pv.RawFrameReader()
    assert r.feed(f[:10]) == []
    assert r.pending() == 10
    assert r.feed(f[10:]) == [(0x6772, 5, 4, 0, b"abcdefgh")]
    assert r.pending() == 0

    third = frame(3, 3, b"0123456789")
    r = pv.RawFrameReader()
    got = r.feed(frame(1, 1, b"x") + frame(2, 2, b"") + third[:13])
    assert got == [(1, 1, 4, 0, b"x"), (2, 2, 4, 0, b"")]
    assert r.pending() == 13


def test_reader_splits_at_every_byte_boundary():
    for cut in range(len(STREAM) + 1):
        r = pv.RawFrameReader()
        got = r.feed(STREAM[:cut])
        got += r.feed(STREAM[cut:])
        assert got == STREAM_FRAMES, cut
        assert r.pending() == 0


@settings(max_examples=200)
@given(
    frames=st.lists(
        st.tuples(
            st.integers(0, 0xFFFF),
            st.integers(0, 0xFFFFFFFF),
            st.integers(0, 255),
            st.integers(0, 255),
            st.binary(max_size=100),
        ),
        max_size=8,
    ),
    cuts=st.lists(st.integers(0, 1000), max_size=10),
)
def test_reader_any_chunking(frames, cuts):
    data = b"".join(frame(c, s, b, v, f) for c, s, v, f, b in frames)
    bounds = sorted({min(c, len(data)) for c in cuts} | {0, len(data)})
    r = pv.RawFrameReader()
    got = []
    for a, b in zip(bounds, bounds[1:]):
        got += r.feed(data[a:b])
    assert got == frames
    assert r.pending() == 0


@pytest.mark.parametrize(
    "data, text",
    [
        (bytes(7) + b"\x08", "RawFrameReader: bad magic 0x00000000 (expected 0x75f4c465)"),
        (frame(1, 1, b"a") + bytes.fromhex("DEADBEEF00000008"), "RawFrameReader: bad magic 0xdeadbeef (expected 0x75f4c465)"),
        (struct.pack(">II", MAGIC, 0), "RawFrameReader: total_len 0 is smaller than header length (8)"),
        (struct.pack(">II", MAGIC, 7) + bytes(7), "RawFrameReader: total_len 7 is smaller than header length (8)"),
    ],
)
def test_reader_errors_persist(data, text):
    r = pv.RawFrameReader()
    raises_exactly(text, r.feed, data)
    raises_exactly(text, r.feed, b"")
    raises_exactly(text, r.feed, frame(1, 1, b"good"))


def test_reader_frames_before_an_error_are_dropped_with_it():
    r = pv.RawFrameReader()
    bad = bytes.fromhex("DEADBEEF00000008")
    with pytest.raises(Exception):
        r.feed(frame(1, 1, b"a") + frame(2, 2, b"b") + bad)
    assert r.pending() == len(bad)


@pytest.mark.parametrize("n", range(8))
def test_reader_fewer_than_eight_bytes_never_raise(n):
    r = pv.RawFrameReader()
    assert r.feed(b"\xaa" * n) == []
    assert r.pending() == n


def test_reader_huge_declared_length_only_waits():
    r = pv.RawFrameReader()
    assert r.feed(struct.pack(">II", MAGIC, 0xFFFFFFFF)) == []
    assert r.feed(b"x" * 100) == []
    assert r.pending() == 108


@pytest.mark.parametrize("data", ["text", bytearray(b"\x75\xf4\xc4\x65"), None])
def test_reader_takes_bytes_only(data):
    with pytest.raises(TypeError, match="^argument 'data': '.*' object cannot be converted to 'PyBytes'$"):
        pv.RawFrameReader().feed(data)


# ---- NetPackage ----

FRAME_5006 = bytes.fromhex("75F4C465 00000008 04 00000007 00 5006")


def filled():
    p = pv.NetPackage()
    p.set_cmd(0x5021)
    p.set_seq(99)
    p.set_content(b"old body")
    p.set_length(1234)
    return p


def unchanged(p):
    return (p.get_cmd(), p.get_seq(), p.get_content(), p.get_length()) == (0x5021, 99, b"old body", 1234)


def test_net_package_documented_bytes_and_cramjam_oracle():
    p = pv.NetPackage()
    p.set_cmd(0x5006)
    p.set_seq(7)
    assert p.encode_raw() == FRAME_5006
    assert unsnappy(p.encode()) == FRAME_5006
    assert p.encode_string() == p.encode()


@pytest.mark.parametrize("body", [b"", b"x", bytes(range(256)) * 300, b"\x75\xf4\xc4\x65"])
def test_net_package_round_trip_both_ways_with_cramjam(body):
    a = pv.NetPackage()
    a.set_cmd(0xFFFF)
    a.set_seq(0xFFFFFFFF)
    a.set_content(body)
    assert unsnappy(a.encode_string()) == frame(0xFFFF, 0xFFFFFFFF, body)
    for packet in (a.encode_string(), snappy(frame(0xFFFF, 0xFFFFFFFF, body, 9, 3))):
        b = pv.NetPackage()
        assert b.decode_string(packet) == len(body)
        assert (b.get_cmd(), b.get_seq(), b.get_content(), b.get_length()) == (0xFFFF, 0xFFFFFFFF, body, len(body) + 16)


def test_net_package_decode_ignores_len_and_trailing_bytes():
    p = pv.NetPackage()
    assert p.decode(snappy(frame(1, 2, b"ab") + b"\xee" * 5), 123456) == 2
    assert (p.get_cmd(), p.get_seq(), p.get_content(), p.get_length()) == (1, 2, b"ab", 23)
    with pytest.raises(OverflowError):
        p.decode(b"", -1)


def test_net_package_empty_input_changes_nothing():
    p = filled()
    assert p.decode_string(b"") == 0
    assert p.decode(b"", 5) == 0
    assert p.decode_raw(b"") == 0
    assert unchanged(p)


@pytest.mark.parametrize(
    "packet, text",
    [
        (snappy(frame(0x5006, 7, b"")[:7]), "NetPackage frame: envelope too short (need 8 bytes)"),
        (snappy(bytes(16)), "NetPackage frame: bad magic 0x00000000 (expected 0x75f4c465)"),
        (snappy(struct.pack(">II", MAGIC, 7) + bytes(7)), "NetPackage frame: total_len 7 is smaller than header length (8)"),
        (snappy(frame(1, 1, b"abcd")[:-3]), "NetPackage frame: incomplete body: need 12 bytes, got 9"),
    ],
)
def test_net_package_frame_errors(packet, text):
    p = filled()
    raises_exactly(text, p.decode_string, packet)
    assert unchanged(p)


@pytest.mark.parametrize(
    "packet", [FRAME_5006, snappy(frame(1, 1, b"x" * 100))[:-5], b"\xff\xff\xff\xff\x0f\x00", b"\x00\x01"]
)
def test_net_package_snappy_errors(packet):
    p = filled()
    with pytest.raises(Exception) as info:
        p.decode_string(packet)
    assert type(info.value) is Exception
    assert str(info.value).startswith("NetPackage snappy decompress: ")
    assert len(str(info.value)) > len("NetPackage snappy decompress: ")
    assert unchanged(p)


def test_net_package_decode_raw():
    f = frame(0x6773, 11, b"wxyz")
    assert len(f) == 20
    p = filled()
    assert p.decode_raw(f[:12]) == 0
    assert unchanged(p)
    assert p.decode_raw(f + b"12345") == 20
    assert (p.get_cmd(), p.get_seq(), p.get_content(), p.get_length()) == (0x6773, 11, b"wxyz", 20)


@pytest.mark.parametrize(
    "data, text",
    [
        (bytes(7) + b"\x08", "NetPackage frame: bad magic 0x00000000 (expected 0x75f4c465)"),
        (struct.pack(">II", MAGIC, 2) + b"ab", "NetPackage frame: total_len 2 is smaller than header length (8)"),
    ],
)
def test_net_package_decode_raw_errors(data, text):
    p = filled()
    raises_exactly(text, p.decode_raw, data)
    assert unchanged(p)


def test_net_package_accessors():
    p = pv.NetPackage()
    assert (p.get_cmd(), p.get_seq(), p.get_content(), p.get_length()) == (0, 0, b"", 0)
    p.set_cmd(-1)
    assert p.get_cmd() == 65535
    p.set_cmd(0x15001)
    assert p.get_cmd() == 0x5001
    for setter, value in [("set_seq", -1), ("set_seq", 1 << 32), ("set_length", 1 << 31), ("set_cmd", 1 << 31)]:
        with pytest.raises(OverflowError):
            getattr(p, setter)(value)
    p.set_length(-5)
    assert p.get_length() == -5
    with pytest.raises(TypeError):
        p.set_content("text")


# ---- Keepalive ----


def test_keepalive():
    k = pv.Keepalive()
    assert k.get_utc_now() == 0
    k.set_utc_now(1)
    assert k.encode() == bytes.fromhex("01000000")
    k.set_utc_now(-2_000_000_000)
    assert k.encode() == struct.pack("<i", -2_000_000_000)
    assert k.decode(bytes.fromhex("FFFFFFFF")) is None
    assert k.get_utc_now() == -1
    k.decode(struct.pack("<i", 1_700_000_000) + b"extra")
    assert k.get_utc_now() == 1_700_000_000
    for n in range(4):
        raises_exactly("Keepalive decode: buffer < 4 bytes", k.decode, b"\x01" * n)
        assert k.get_utc_now() == 1_700_000_000
    with pytest.raises(OverflowError):
        k.set_utc_now(1 << 31)
