"""Row-batch codec benchmark: rows -> blob -> rows, 100 000 rows of 10 mixed fields.

Run from the repository root with the module importable:
    PYTHONPATH=build-dev/trel-py python3 bench/bench_codec.py

Measured in one run:
  (a) this module: serialize_batch + Snappy compress, Snappy decompress + deserialize_batch
  (b) the pure-Python codec of the same layout (bench/pycodec.py: struct + cramjam)
  (c) the floor: Snappy alone on the same bytes, a bare pass over the rows, and creating
      100 000 empty StructValue rows resized to 10 slots
"""
import os
import struct
import sys
import time

import cramjam

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pycodec  # noqa: E402
import pyvelmora as pv  # noqa: E402

N = 100_000
PY_N = N  # rows the pure-Python peer is timed on (once); rates are per row
REPEAT = 5

# (type, precision): ints, doubles with precision, strings, a vector
SCHEMA = [(1, 0), (7, 0), (2, 2), (2, 4), (2, 0), (3, 0), (3, 0), (5, 3), (4, 0), (1, 0)]
NS, META = 0, 42


def schema_binary():
    def s(b):
        return struct.pack(">I", len(b)) + b
    rec = struct.pack(">HIIH", NS, META, META, NS) + s(b"bench.bar") + s(b"")
    rec += struct.pack(">IBI", 0, 0, 0) + s(b"bar") + struct.pack(">I", 1) + s(b"")
    rec += struct.pack(">I", len(SCHEMA))
    for i, (t, p) in enumerate(SCHEMA):
        rec += struct.pack(">I", i) + s(b"f%d" % i) + struct.pack(">BIiB", t, p, 0, 0)
    return bytes(cramjam.snappy.compress_raw(struct.pack(">I", 1) + rec))


def py_rows(n):
    rows = []
    for i in range(n):
        vals = [i, i * 1_000_003, 10.0 + i * 0.01, 3.1415 + i * 1e-4, float(i * 7), b"SH%06d" % i,
                b"name-%d" % (i % 977), [0.125 * i, -1.5, 2.25], [i, i + 1], -i]
        rows.append((1_700_000_000_000 + i * 60_000, 60, b"SH", b"%06d" % (i % 5000), vals))
    return rows


SETTERS = ["set_int", "set_int_64", "set_double", "set_double", "set_double", "set_string", "set_string",
           "set_double_vector", "set_int_32_vector", "set_int"]


def to_struct_values(rows):
    out = []
    for tt, gr, mk, cd, vals in rows:
        sv = pv.StructValue()
        sv.set_namespace(NS)
        sv.set_meta_id(META)
        sv.set_time_tag(tt)
        sv.set_granularity(gr)
        sv.set_market(mk)
        sv.set_stock_code(cd)
        sv.resize(len(vals))
        for f, v in enumerate(vals):
            getattr(sv, SETTERS[f])(f, v)
        out.append(sv)
    return out


def best(fn, repeat=REPEAT):
    times = []
    result = None
    for _ in range(repeat):
        result = None  # free the previous result outside the timed region
        t0 = time.perf_counter()
        result = fn()
        times.append(time.perf_counter() - t0)
    return min(times), result


def main():
    ser = pv.IndexSerializer()
    ser.update_schema_from_binary(schema_binary())
    rows = py_rows(N)
    svs = to_struct_values(rows)
    schemas = {(NS, META): SCHEMA}

    # (a) the module
    # One batch, Snappy-compressed: the blob minus its 8-byte group header.
    def mod_encode():
        return bytes(cramjam.snappy.compress_raw(ser.serialize_batch(svs)))

    def mod_decode(blob):
        return ser.deserialize_batch(bytes(cramjam.snappy.decompress_raw(blob)))

    t_enc, blob = best(mod_encode)
    t_dec, back = best(lambda: mod_decode(blob))
    assert len(back) == N and back[123].get_string(5) == b"SH000123"

    # The pure-Python peer must produce the same bytes.
    py_blob_rows = rows[:PY_N]
    assert pycodec.encode_batch(NS, META, SCHEMA, py_blob_rows) == ser.serialize_batch(svs[:PY_N])
    t_py_enc, py_blob = best(
        lambda: bytes(cramjam.snappy.compress_raw(pycodec.encode_batch(NS, META, SCHEMA, py_blob_rows))), 2)
    t_py_dec, (_, _, py_back) = best(
        lambda: pycodec.decode_batch(schemas, bytes(cramjam.snappy.decompress_raw(py_blob))), 2)
    assert len(py_back) == PY_N

    # (c) the floor
    plain = ser.serialize_batch(svs)
    t_snappy_c, _ = best(lambda: bytes(cramjam.snappy.compress_raw(plain)))
    t_snappy_d, _ = best(lambda: bytes(cramjam.snappy.decompress_raw(blob)))

    def one_pass():
        for _ in svs:
            pass

    def empty_rows():
        out = []
        for _ in range(N):
            sv = pv.StructValue()
            sv.resize(10)
            out.append(sv)
        return out

    t_pass, _ = best(one_pass)
    t_rows, _ = best(empty_rows)
    # Where the module's time goes: the codec alone, without Snappy.
    t_ser, _ = best(lambda: ser.serialize_batch(svs))
    t_deser, _ = best(lambda: ser.deserialize_batch(plain))

    rate = lambda t, n=N: n / t  # noqa: E731
    print(f"rows: {N} x {len(SCHEMA)} fields, batch {len(plain)} bytes, blob {len(blob)} bytes")
    print(f"(a) module    encode {rate(t_enc):12,.0f} rows/s   decode {rate(t_dec):12,.0f} rows/s")
    print(f"(b) pure py   encode {rate(t_py_enc, PY_N):12,.0f} rows/s   decode {rate(t_py_dec, PY_N):12,.0f} rows/s"
          f"   (timed on {PY_N} rows)")
    print(f"(c) snappy    compress {t_snappy_c * 1e3:8.2f} ms   decompress {t_snappy_d * 1e3:8.2f} ms")
    print(f"    row pass {t_pass * 1e3:8.2f} ms   {N} empty StructValue rows x10 slots {t_rows * 1e3:8.2f} ms")
    print(f"    of (a): serialize_batch {t_ser * 1e3:8.2f} ms   deserialize_batch {t_deser * 1e3:8.2f} ms")
    enc_floor = t_snappy_c + t_pass
    dec_floor = t_snappy_d + t_rows
    print(f"encode: {rate(t_enc) / rate(t_py_enc, PY_N):6.1f}x the pure-Python peer (goal >= 30x);"
          f" {t_enc / enc_floor:5.2f}x the floor (goal <= 2x)")
    print(f"decode: {rate(t_dec) / rate(t_py_dec, PY_N):6.1f}x the pure-Python peer (goal >= 30x);"
          f" {t_dec / dec_floor:5.2f}x the floor (goal <= 2x)")


if __name__ == "__main__":
    main()
