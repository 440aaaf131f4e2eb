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


def main() -> None:
    tour_rows()
    tour_frames()
    tour_calendar()


if __name__ == "__main__":
    main()
