import struct

import cramjam
import pytest

import pyvelmora as pv


def s(b):
    return struct.pack(">I", len(b)) + b


def field_rec(pos, name, typ, prec=0, mult=0, sample=0):
    return struct.pack(">I", pos) + s(name) + struct.pack(">BIiB", typ, prec, mult, sample)


def meta_rec(key_ns, key_id, mid=None, ns=None, name=b"m", display=b"M", grans=None, flag=0, names=(),
             index_type=b"bar", revision=1, author=b"u", fields=()):
    mid = key_id if mid is None else mid
    ns = key_ns if ns is None else ns
    grans = grans or {}
    out = struct.pack(">HIIH", key_ns, key_id, mid, ns) + s(name) + s(display)
    out += struct.pack(">I", len(grans)) + b"".join(struct.pack(">II", g, c) for g, c in sorted(grans.items()))
    out += struct.pack(">BI", flag, len(names)) + b"".join(s(n) for n in sorted(names))
    out += s(index_type) + struct.pack(">I", revision) + s(author)
    out += struct.pack(">I", len(fields)) + b"".join(fields)
    return out


def plain(*records):
    return struct.pack(">I", len(records)) + b"".join(records)


def binary(*records):
    return bytes(cramjam.snappy.compress_raw(plain(*records)))


def unsnappy(b):
    return bytes(cramjam.snappy.decompress_raw(b))


RICH = meta_rec(1, 7, name=b"a.b", display=b"Disp", grans={86400: 1, 60: 240}, flag=3, names=[b"y", b"x"],
                index_type=b"tick", revision=4, author=b"uuid",
                fields=[field_rec(0, b"open", 2, 4, -2, 5), field_rec(1, b"odd", 9), field_rec(2, b"n", 0)])
OTHER = meta_rec(0, 9, name=b"c")


def test_load_exposes_every_member():
    sc = pv.IndexSchema()
    sc.load(binary(RICH, OTHER))
    metas = sc.metas()
    assert [(m.get_namespace(), m.get_id()) for m in metas] == [(0, 9), (1, 7)]
    m = metas[1]
    assert m.get_name() == b"a.b" and m.get_display_name() == b"Disp"
    assert m.get_granularities() == {60: 240, 86400: 1}
    assert m.get_index_type() == b"tick" and m.get_revision() == 4 and m.get_author_uuid() == b"uuid"
    f = m.get_fields()
    assert [x.get_name() for x in f] == [b"open", b"odd", b"n"]
    assert (f[0].get_pos(), f[0].get_type(), f[0].get_precision(), f[0].get_multiple(), f[0].get_sample_type()) == \
        (0, 2, 4, -2, 5)
    assert f[1].get_type() == 9 and f[2].get_type() == 0


def test_save_reproduces_the_plain_layout():
    sc = pv.IndexSchema()
    sc.load(binary(RICH, OTHER))
    # Written in key order, whatever the input order; odd type bytes come back unchanged.
    assert unsnappy(sc.save()) == plain(OTHER, RICH)


def test_empty_catalogue_and_empty_load():
    sc = pv.IndexSchema()
    assert unsnappy(sc.save()) == b"\x00\x00\x00\x00"
    sc.load(binary(OTHER))
    sc.load(b"")
    assert sc.metas() == [] and unsnappy(sc.save()) == b"\x00\x00\x00\x00"
    sc.load(sc.save())
    assert sc.metas() == []


@pytest.mark.parametrize("buf,msg", [
    (binary(OTHER)[:-1], None),  # a cut Snappy block
    (bytes(cramjam.snappy.compress_raw(plain(OTHER)[:5])), "schema load: codec: unexpected end of input: needed 1 more bytes"),
    (bytes(cramjam.snappy.compress_raw(plain(OTHER)[:-3])), "schema load: codec: unexpected end of input: needed 3 more bytes"),
    (binary(meta_rec(0, 1, name=b"\xff")), "schema load: codec: invalid utf-8 in string field"),
    (binary(meta_rec(0, 1, fields=[field_rec(0, b"\xc3", 1)])), "schema load: codec: invalid utf-8 in string field"),
])
def test_load_errors_keep_the_old_catalogue(buf, msg):
    sc = pv.IndexSchema()
    sc.load(binary(RICH))
    with pytest.raises(Exception) as ei:
        sc.load(buf)
    assert type(ei.value) is Exception
    if msg is None:
        assert str(ei.value).startswith("schema load: snappy: ")
    else:
        assert str(ei.value) == msg
    assert [m.get_name() for m in sc.metas()] == [b"a.b"]


def test_every_truncation_reports_a_shortfall():
    p = plain(RICH, OTHER)
    for cut in range(len(p)):
        with pytest.raises(Exception, match=r"^schema load: codec: unexpected end of input: needed \d+ more bytes$"):
            pv.IndexSchema().load(bytes(cramjam.snappy.compress_raw(p[:cut])))


def test_forged_counts_fail_without_allocating():
    forged = plain(meta_rec(0, 1))[:-4] + struct.pack(">I", 0xFFFFFFFF)
    with pytest.raises(Exception, match="^schema load: codec: unexpected end of input: needed 4 more bytes$"):
        pv.IndexSchema().load(bytes(cramjam.snappy.compress_raw(forged)))
    # A Snappy header declaring 4 GiB from a few bytes.
    with pytest.raises(Exception, match="^schema load: snappy: "):
        pv.IndexSchema().load(b"\xff\xff\xff\xff\x0f\x00")


def test_duplicate_key_later_record_wins():
    sc = pv.IndexSchema()
    sc.load(binary(meta_rec(0, 1, name=b"first"), meta_rec(0, 1, name=b"second")))
    assert [m.get_name() for m in sc.metas()] == [b"second"]


def test_argument_types():
    with pytest.raises(TypeError):
        pv.IndexSchema().load("text")
    for cls in ("Field", "IndexMeta", "PyIndexDataMap"):
        with pytest.raises(TypeError, match="^No constructor defined for " + cls + "$"):
            getattr(pv, cls)()


def test_index_data_map_counts_distinct_names():
    sc = pv.IndexSchema()
    sc.load(binary(meta_rec(0, 1, name=b"a", revision=3), meta_rec(0, 2, name=b"a", revision=5),
                   meta_rec(1, 1, name=b"b")))
    assert len(sc.index_data_map()) == 2
    assert len(pv.IndexSchema().index_data_map()) == 0


def test_serializer_schema_is_a_copy_and_failed_updates_keep_it():
    ser = pv.IndexSerializer()
    assert ser.schema().metas() == []
    ser.update_schema_from_binary(binary(RICH))
    view = ser.schema()
    ser.update_schema_from_binary(binary(OTHER))
    assert [m.get_name() for m in view.metas()] == [b"a.b"]
    assert [m.get_name() for m in ser.schema().metas()] == [b"c"]
    with pytest.raises(Exception, match="^update_schema_from_binary: codec: unexpected end of input: needed 2 more bytes$"):
        ser.update_schema_from_binary(bytes(cramjam.snappy.compress_raw(plain(OTHER)[:8])))
    with pytest.raises(Exception, match="^update_schema_from_binary: snappy: "):
        ser.update_schema_from_binary(b"\x05")
    assert [m.get_name() for m in ser.schema().metas()] == [b"c"]
