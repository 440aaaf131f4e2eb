"""Pure-Python peer of the row-batch codec (struct + cramjam), used by bench_codec.py.

A row is (time_tag, granularity, market, stock_code, values) with values a list of
per-field payloads, None for an empty slot. The schema of one batch is a list of
(type, precision) pairs. Auxiliary header values are not carried (mask 0).
"""
import math
import struct

import cramjam

INT, DOUBLE, STRING, VINT, VDOUBLE, VSTRING, INT64, VINT64 = range(1, 9)
I64_MAX = (1 << 63) - 1
I64_MIN = -(1 << 63)
_UNSCALE = [1.0, 0.1, 0.01, 0.001, 0.0001, 1e-05, 1e-06, 1e-07, 1e-08, 1e-09]


def _scale(v, s):
    x = v * s
    if x != x:
        return 0
    if x >= 9223372036854775808.0:
        return I64_MAX
    if x <= -9223372036854775808.0:
        return I64_MIN
    ax = abs(x)
    r = math.floor(ax)
    if ax - r >= 0.5:  # exact: a double minus its floor loses nothing
        r += 1
    return int(r) if x >= 0 else -int(r)


def encode_batch(ns, meta_id, schema, rows):
    n = len(rows)
    nf = len(schema)
    out = [struct.pack(">HIHQ", ns, meta_id & 0xFFFFFFFF, 0, n)]
    out.append(struct.pack(">%dQ" % n, *[r[0] for r in rows]))
    out.append(struct.pack(">%dI" % n, *[r[1] & 0xFFFFFFFF for r in rows]))
    for col in (2, 3):
        for r in rows:
            s = r[col]
            out.append(struct.pack(">I", len(s)))
            out.append(s)
    bits = n * nf
    words = (bits + 63) // 64
    ws = [0] * words
    b = 0
    for f in range(nf):
        for r in rows:
            if r[4][f] is not None:
                ws[b >> 6] |= 1 << (b & 63)
            b += 1
    out.append(struct.pack(">I", words))
    out.append(struct.pack(">%dQ" % words, *ws))
    pack_i32 = struct.Struct(">i").pack
    pack_i64 = struct.Struct(">q").pack
    pack_u32 = struct.Struct(">I").pack
    for f, (typ, prec) in enumerate(schema):
        s = 10.0 ** prec if prec <= 9 else 1.0
        for r in rows:
            v = r[4][f]
            if v is None:
                continue
            if typ == INT:
                out.append(pack_i32(v))
            elif typ == DOUBLE:
                out.append(pack_i64(_scale(v, s)))
            elif typ == STRING:
                out.append(pack_u32(len(v)))
                out.append(v)
            elif typ == VINT:
                out.append(pack_u32(len(v)) + struct.pack("<%di" % len(v), *v))
            elif typ == VDOUBLE:
                out.append(pack_u32(len(v)) + struct.pack("<%dq" % len(v), *[_scale(e, s) for e in v]))
            elif typ == VSTRING:
                out.append(pack_u32(len(v)))
                for e in v:
                    out.append(pack_u32(len(e)))
                    out.append(e)
            elif typ == INT64:
                out.append(pack_i64(v))
            elif typ == VINT64:
                out.append(pack_u32(len(v)) + struct.pack("<%dq" % len(v), *v))
    return b"".join(out)


def decode_batch(schemas, buf):
    """schemas: {(ns, meta_id): [(type, precision), ...]} -> (ns, meta_id, rows)."""
    mv = memoryview(buf)
    ns, meta_id, mask, n = struct.unpack_from(">HIHQ", mv, 0)
    schema = schemas[(ns, meta_id)]
    nf = len(schema)
    pos = 16
    times = struct.unpack_from(">%dQ" % n, mv, pos)
    pos += 8 * n
    grans = struct.unpack_from(">%di" % n, mv, pos)
    pos += 4 * n
    texts = []
    for _ in range(2 * n):
        (ln,) = struct.unpack_from(">I", mv, pos)
        pos += 4
        texts.append(bytes(mv[pos:pos + ln]))
        pos += ln
    k = bin(mask & 0xFFF).count("1")
    pos += 4 * k * n
    (words,) = struct.unpack_from(">I", mv, pos)
    pos += 4
    ws = struct.unpack_from(">%dQ" % words, mv, pos)
    pos += 8 * words
    values = [[None] * nf for _ in range(n)]
    u32 = struct.Struct(">I").unpack_from
    i32 = struct.Struct(">i").unpack_from
    i64 = struct.Struct(">q").unpack_from
    b = 0
    for f, (typ, prec) in enumerate(schema):
        m = _UNSCALE[prec] if prec <= 9 else 1.0
        for r in range(n):
            present = (ws[b >> 6] >> (b & 63)) & 1
            b += 1
            if not present:
                continue
            if typ == INT:
                v = i32(mv, pos)[0]
                pos += 4
            elif typ == DOUBLE:
                v = i64(mv, pos)[0] * m
                pos += 8
            elif typ == STRING:
                ln = u32(mv, pos)[0]
                v = bytes(mv[pos + 4:pos + 4 + ln])
                pos += 4 + ln
            elif typ in (VINT, VDOUBLE, VINT64):
                c = u32(mv, pos)[0]
                pos += 4
                if typ == VINT:
                    v = list(struct.unpack_from("<%di" % c, mv, pos))
                    pos += 4 * c
                else:
                    v = list(struct.unpack_from("<%dq" % c, mv, pos))
                    pos += 8 * c
                    if typ == VDOUBLE:
                        v = [e * m for e in v]
            elif typ == VSTRING:
                c = u32(mv, pos)[0]
                pos += 4
                v = []
                for _ in range(c):
                    ln = u32(mv, pos)[0]
                    v.append(bytes(mv[pos + 4:pos + 4 + ln]))
                    pos += 4 + ln
            elif typ == INT64:
                v = i64(mv, pos)[0]
                pos += 8
            else:
                continue
            values[r][f] = v
    rows = [(times[r], grans[r], texts[r], texts[n + r], values[r]) for r in range(n)]
    return ns, meta_id, rows


def compress(ns, meta_id, schema, rows):
    """One group: the blob of a single (namespace, meta id)."""
    batch = encode_batch(ns, meta_id, schema, rows)
    return cramjam.snappy.compress_raw(struct.pack(">II", 1, len(batch)) + batch)


def decompress(schemas, blob):
    plain = bytes(cramjam.snappy.decompress_raw(blob))
    (groups,) = struct.unpack_from(">I", plain, 0)
    pos = 4
    rows = []
    for _ in range(groups):
        (ln,) = struct.unpack_from(">I", plain, pos)
        pos += 4
        if ln:
            rows.extend(decode_batch(schemas, plain[pos:pos + ln])[2])
        pos += ln
    return rows
