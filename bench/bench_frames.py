"""Frame splitting and packet throughput against pure-Python peers measured in the same run.

    PYTHONPATH=build-dev/trel-py python3 bench/bench_frames.py

1. A 64 MiB stream of 1 KiB frames fed in 1500-byte chunks: pyvelmora.RawFrameReader
   against PySplitter (struct + bytearray, below).
2. NetPackage encode_string / decode_string of 1 KiB bodies against struct + cramjam
   (Snappy in Rust), when cramjam is installed.
"""

import struct
import sys
import time

import pyvelmora as pv

MAGIC = 0x75F4C465
PREFIX = struct.Struct(">II")
HEADER = struct.Struct(">BIBH")
FRAME_HEAD = struct.Struct(">IIBIBH")

STREAM_BYTES = 64 << 20
FRAME_BYTES = 1024
CHUNK = 1500


class PySplitter:
    """The natural pure-Python splitter: a bytearray buffer, struct to read the prefix."""

    def __init__(self):
        self.buf = bytearray()

    def feed(self, data):
        buf = self.buf
        buf += data
        out = []
        pos = 0
        end_of_data = len(buf)
        while end_of_data - pos >= 8:
            magic, total_len = PREFIX.unpack_from(buf, pos)
            if magic != MAGIC:
                raise Exception("PySplitter: bad magic 0x%08x (expected 0x75f4c465)" % magic)
            end = pos + 8 + total_len
            if end > end_of_data:
                break
            version, seq, flag, cmd = HEADER.unpack_from(buf, pos + 8)
            out.append((cmd, seq, version, flag, bytes(buf[pos + 16 : end])))
            pos = end
        if pos:
            del buf[:pos]  # bytearray drops a prefix without moving the rest
        return out

    def pending(self):
        return len(self.buf)


def make_stream():
    body = bytes(range(256)) * 4
    body = body[: FRAME_BYTES - 16]
    frames = [FRAME_HEAD.pack(MAGIC, len(body) + 8, 4, i, 0, i & 0xFFFF) + body for i in range(STREAM_BYTES // FRAME_BYTES)]
    data = b"".join(frames)
    return [data[i : i + CHUNK] for i in range(0, len(data), CHUNK)], len(frames)


def split(reader, chunks):
    """Seconds to feed every chunk; the loop does nothing else, so it weighs the same on both sides."""
    feed = reader.feed
    start = time.perf_counter()
    for c in chunks:
        feed(c)
    return time.perf_counter() - start


def count_frames(reader, chunks):
    return sum(len(reader.feed(c)) for c in chunks), reader.pending()


def best_of(n, fn):
    return min(fn() for _ in range(n))


def main():
    chunks, nframes = make_stream()
    mb = STREAM_BYTES / 1e6
    print("stream: %d MiB, %d frames of %d bytes, %d-byte chunks" % (STREAM_BYTES >> 20, nframes, FRAME_BYTES, CHUNK))

    assert count_frames(pv.RawFrameReader(), chunks) == (nframes, 0)
    assert count_frames(PySplitter(), chunks) == (nframes, 0)
    # Interleaved rounds, best of each: the machine is shared.
    native_times, python_times = [], []
    for _ in range(3):
        native_times.append(split(pv.RawFrameReader(), chunks))
        python_times.append(split(PySplitter(), chunks))
    native, python = min(native_times), min(python_times)

    print()
    print("%-34s %10s %12s" % ("splitter", "MB/s", "frames/s"))
    print("%-34s %10.0f %12.0f" % ("pyvelmora.RawFrameReader", mb / native, nframes / native))
    print("%-34s %10.0f %12.0f" % ("PySplitter (struct + bytearray)", mb / python, nframes / python))
    print("ratio RawFrameReader / PySplitter: %.1fx (goal >= 10x)" % (python / native))

    body = bytes(range(256)) * 4
    rounds = 50000
    pkg = pv.NetPackage()
    pkg.set_cmd(0x5006)
    pkg.set_seq(7)
    pkg.set_content(body)
    packet = pkg.encode_string()
    out = pv.NetPackage()

    def native_encode():
        start = time.perf_counter()
        for _ in range(rounds):
            pkg.encode_string()
        return time.perf_counter() - start

    def native_decode():
        start = time.perf_counter()
        for _ in range(rounds):
            out.decode_string(packet)
        return time.perf_counter() - start

    rows = [("NetPackage.encode_string", best_of(3, native_encode)), ("NetPackage.decode_string", best_of(3, native_decode))]
    peers = {}
    try:
        import cramjam

        compress, decompress = cramjam.snappy.compress_raw, cramjam.snappy.decompress_raw

        def peer_encode():
            start = time.perf_counter()
            for _ in range(rounds):
                bytes(compress(FRAME_HEAD.pack(MAGIC, len(body) + 8, 4, 7, 0, 0x5006) + body))
            return time.perf_counter() - start

        def peer_decode():
            start = time.perf_counter()
            for _ in range(rounds):
                plain = bytes(decompress(packet))
                magic, total_len, version, seq, flag, cmd = FRAME_HEAD.unpack_from(plain)
                if magic != MAGIC:
                    raise Exception("bad magic")
                plain[16 : 8 + total_len]
            return time.perf_counter() - start

        peers = {"NetPackage.encode_string": best_of(3, peer_encode), "NetPackage.decode_string": best_of(3, peer_decode)}
    except ImportError:
        pass

    print()
    print("1 KiB bodies, %d rounds" % rounds)
    print("%-34s %12s %16s %8s" % ("operation", "ops/s", "peer ops/s", "ratio"))
    for name, t in rows:
        if name in peers:
            print("%-34s %12.0f %16.0f %7.1fx" % (name, rounds / t, rounds / peers[name], peers[name] / t))
        else:
            print("%-34s %12.0f %16s %8s" % (name, rounds / t, "-", "-"))
    if peers:
        print("peer: struct + cramjam.snappy (raw block)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
