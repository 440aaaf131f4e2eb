"""A tour of pyvelmora at work, on embedded defaults.

Builds a few market rows the way a data-push driver would and shows them.
"""
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


def main() -> None:
    tour_rows()
    tour_frames()


if __name__ == "__main__":
    main()
