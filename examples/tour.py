"""A tour of pyvelmora at work, on embedded defaults.

Builds a few market rows the way a data-push driver would and shows them.
"""
import json
import struct

import pyvelmora as pv


def make_row(code: bytes, price: float, volume: int) -> pv.StructValue:
    row = pv.StructValue()
    row.set_namespace(pv.namespace_global)
    row.set_meta_id(7)
    row.set_market(b"SH")
    row.set_stock_code(code)
    row.set_time_tag(1_700_000_000_000)
    row.set_granularity(60)
    row.resize(3)
    row.set_double(0, price)
    row.set_int_64(1, volume)
    row.set_double_vector(2, [price * 0.99, price * 1.01])
    return row


def show(row: pv.StructValue) -> str:
    return (f"{row.get_market().decode()}.{row.get_stock_code().decode()} t={row.get_time_tag()} "
            f"close={row.get_double(0)} volume={row.get_int_64(1)} band={row.get_double_vector(2)}")


def tour_rows() -> None:
    print("== rows ==")
    for code, price, volume in [(b"600000", 7.31, 1_200_300), (b"600519", 1688.0, 25_000)]:
        print(show(make_row(code, price, volume)))


def tour_frames() -> None:
    print("== frames ==")
    frame = pv.encode_raw_frame(pv.cmd_at_fetch_by_code, 7, b"hello")
    print("raw frame:", frame.hex(" "))
    # A TCP stream arrives in arbitrary pieces; the reader hands back whole frames.
    stream = frame + pv.encode_raw_frame(pv.net_cmd_vorn_route_keepalive, 8, b"")
    reader = pv.RawFrameReader()
    for i in range(0, len(stream), 5):
        for cmd, seq, version, flag, body in reader.feed(stream[i:i + 5]):
            print(f"  frame cmd=0x{cmd:04x} seq={seq} version={version} flag={flag} body={body!r}")
    package = pv.NetPackage()
    package.set_cmd(pv.cmd_at_fetch_by_code)
    package.set_seq(9)
    package.set_content(b"body " * 20)
    packet = package.encode_string()
    echo = pv.NetPackage()
    echo.decode_string(packet)
    print(f"snappy packet: {len(packet)} bytes for a {len(package.encode_raw())}-byte frame; "
          f"decoded cmd=0x{echo.get_cmd():04x} seq={echo.get_seq()}")


def tour_calendar() -> None:
    print("== market calendar (UTC+8, night session from 21:00, a Friday holiday) ==")
    from datetime import datetime, timedelta, timezone
    tz = timezone(timedelta(hours=8))
    periods = {
        b"trading_period": [[-300, 230], [900, 1015], [1030, 1130], [1330, 1500]],
        b"after_weekend": [[900, 1015], [1030, 1130], [1330, 1500]],
        b"after_holiday": [[900, 1130], [1330, 1500]],
    }
    holidays = [20240112]
    for when in ["2024-01-10 10:20", "2024-01-10 21:30", "2024-01-11 15:30", "2024-01-13 10:00"]:
        now = int(datetime.strptime(when, "%Y-%m-%d %H:%M").replace(tzinfo=tz).timestamp() * 1000)
        st = pv.calculate_market_status(now, 8, periods, holidays)
        bar = pv.sampler_tm_bound(now, 8, periods, holidays, 300)
        print(f"  {when}: trade_day={st.get_trade_day()} open={st.get_market_open()} "
              f"5-min bar={[datetime.fromtimestamp(b / 1000, tz).strftime('%m-%d %H:%M') for b in bar]}")


def snappy_literal(data: bytes) -> bytes:
    """A raw Snappy block holding `data` as literals (valid, if not compressed)."""
    out, n = bytearray(), len(data)
    while True:  # uncompressed length as a varint
        out.append((n & 0x7F) | (0x80 if n > 0x7F else 0))
        n >>= 7
        if not n:
            break
    for i in range(0, len(data), 65536):
        chunk = data[i:i + 65536]
        out += bytes([61 << 2]) + struct.pack("<H", len(chunk) - 1) + chunk
    return bytes(out)


def text(s: str) -> bytes:
    return struct.pack(">I", len(s.encode())) + s.encode()


def schema_binary() -> bytes:
    """A catalogue of one schema row: global::Tick (namespace 0, meta id 7) with three columns."""
    fields = [("close", pv.index_field_type_double, 2), ("volume", pv.index_field_type_int_64, 0),
              ("band", pv.index_field_type_vdouble, 3)]
    plain = struct.pack(">I", 1) + struct.pack(">HIIH", 0, 7, 7, 0) + text("global::Tick") + text("Tick")
    plain += struct.pack(">I", 1) + struct.pack(">II", 60, 240) + b"\x00" + struct.pack(">I", 0)
    plain += text("bar") + struct.pack(">I", 3) + text("author") + struct.pack(">I", len(fields))
    for pos, (name, kind, precision) in enumerate(fields):
        plain += struct.pack(">I", pos) + text(name) + struct.pack(">BIiB", kind, precision, 1, 0)
    return snappy_literal(plain)


def tour_codec() -> None:
    print("== schema catalogue and row batches ==")
    serializer = pv.IndexSerializer()
    serializer.update_schema_from_binary(schema_binary())
    for meta in serializer.schema().metas():
        cols = ", ".join(f"{f.get_name().decode()}:{f.get_type()}/p{f.get_precision()}" for f in meta.get_fields())
        print(f"  meta {meta.get_namespace()}:{meta.get_id()} {meta.get_name().decode()} [{cols}]")
    rows = [make_row(b"600000", 7.315, 1_200_300), make_row(b"600519", 1688.0, 25_000)]
    batch = serializer.serialize_batch(rows)
    back = serializer.deserialize_batch(batch)
    print(f"  {len(rows)} rows -> {len(batch)}-byte batch -> {len(back)} rows")
    for row in back:
        print("  " + show(row))


def tour_commission() -> None:
    print("== commission ==")
    fees = pv.Commission()
    fees.load(json.dumps({"open_rate_by_money": 0.0003, "close_rate_by_money": 0.0013,
                          "order_rate_by_volume": 0.0}).encode())
    for oc, name in [(pv.entrust_oc_open, "open"), (pv.entrust_oc_close, "close")]:
        fee = fees.calculate(1000, 7.31, pv.entrust_direction_buy, oc, False, 1.0)
        print(f"  {name} 1000 @ 7.31: fee {fee:.4f}")


def tour_market_meta() -> None:
    print("== market meta ==")
    bundle = {"markets": [{
        "market_info": {"rev": 3, "market_code": "XSHG", "trade_day": 20240105, "time_tag": 1704412800000,
                        "name": "Shanghai", "time_zone": 8, "currency": "CNY", "begin_day": 19901219,
                        "start_day": 20000101,
                        "trading_period": json.dumps({"trading_period": [[930, 1130], [1300, 1500]]}),
                        "revs": json.dumps({"securities": 2}), "extra": json.dumps({"days": []})},
        "securities": {"rev": 2, "market_code": "XSHG", "trade_day": 20240105, "time_tag": 1704412800000,
                       "code": ["600000", "600519"], "name": ["PF Bank", "Moutai"], "abbreviation": ["PF", "MT"],
                       "category": [1, 1], "state": [0, 0], "last_close": [7.31, 1688.0],
                       "dividend_ratio": [0.0, 0.0], "lists_at": [19991110, 20010827], "suspend": ["", ""]},
    }]}
    metas = pv.load_market_meta_from_json_str(json.dumps(bundle).encode())
    schema = pv.IndexSchema()
    plain = struct.pack(">I", 2)
    for mid, name in [(1, "global::Market"), (2, "global::Security")]:
        plain += struct.pack(">HIIH", 0, mid, mid, 0) + text(name) + text(name) + struct.pack(">I", 0) + b"\x00"
        plain += struct.pack(">I", 0) + text("meta") + struct.pack(">I", 1) + text("author") + struct.pack(">I", 0)
    schema.load(snappy_literal(plain))
    for row in metas[0].to_sv(schema.index_data_map()):
        print(f"  row meta_id={row.get_meta_id()} market={row.get_market()!r} code={row.get_stock_code()!r} "
              f"slots={row.size()}")
    print("  market info revs:", metas[0].to_sv(schema.index_data_map())[0].get_string(7).decode())


def main() -> None:
    tour_rows()
    tour_frames()
    tour_calendar()
    tour_codec()
    tour_commission()
    tour_market_meta()


if __name__ == "__main__":
    main()
