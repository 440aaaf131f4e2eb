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


def main() -> None:
    print("== rows ==")
    for code, price, volume in [(b"600000", 7.31, 1_200_300), (b"600519", 1688.0, 25_000)]:
        print(show(make_row(code, price, volume)))


if __name__ == "__main__":
    main()
