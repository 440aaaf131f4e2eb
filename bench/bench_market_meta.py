"""Market-meta bundle: load and convert to rows, against json.loads of the same text.

Usage: PYTHONPATH=build-dev/trel-py python3 bench/bench_market_meta.py [repeats]
"""
import json
import random
import struct
import sys
import time

import cramjam

import pyvelmora as pv

SUFFIXES = ["Market", "Holiday", "Security", "Dividend", "Stock", "Commodity", "Futures"]


def _str(s):
    b = s.encode()
    return struct.pack(">I", len(b)) + b


def schema_binary(names):
    plain = struct.pack(">I", len(names))
    for i, name in enumerate(names):
        plain += struct.pack(">HIIH", 0, i + 1, i + 1, 0) + _str(name) + _str(name)
        plain += struct.pack(">I", 0) + b"\x00" + struct.pack(">I", 0) + _str("meta")
        plain += struct.pack(">I", 1) + _str("") + struct.pack(">I", 0)
    return bytes(cramjam.snappy.compress_raw(plain))


def make_bundle(n_sec=5000, n_stock=5000, n_fut=500, seed=7):
    rng = random.Random(seed)
    hdr = {"rev": 3, "market_code": "XSHG", "trade_day": 20240105, "time_tag": 1704412800000}
    period = json.dumps({"trading_period": [[930, 1130], [1300, 1500]]})
    codes = [f"{600000 + i}" for i in range(max(n_sec, n_stock))]
    price = lambda: round(rng.uniform(1, 500), 2)
    sec = {**hdr, "code": codes[:n_sec], "name": [f"证券{i}" for i in range(n_sec)],
           "abbreviation": [f"ZQ{i}" for i in range(n_sec)], "category": [rng.randint(0, 10) for _ in range(n_sec)],
           "state": [rng.randint(0, 3) for _ in range(n_sec)], "last_close": [price() for _ in range(n_sec)],
           "dividend_ratio": [rng.random() for _ in range(n_sec)], "lists_at": [19900101 + i for i in range(n_sec)],
           "suspend": ["" for _ in range(n_sec)]}
    stock = {**hdr, "code": codes[:n_stock], "name": [f"股票{i}" for i in range(n_stock)],
             "historical_names": [json.dumps([f"旧{i}", f"Old {i}"]) for i in range(n_stock)],
             "historical_name_days": [json.dumps([20000101, 20100101 + i]) for i in range(n_stock)],
             "list_day": [19900101 + i for i in range(n_stock)],
             "begin_shares": [rng.randint(1, 10 ** 10) for _ in range(n_stock)],
             "list_shares": [rng.randint(1, 10 ** 10) for _ in range(n_stock)],
             "list_price": [price() for _ in range(n_stock)],
             "unlimit_shares": [rng.randint(1, 10 ** 10) for _ in range(n_stock)],
             "limit_shares": [rng.randint(0, 10 ** 9) for _ in range(n_stock)]}
    margin = lambda: json.dumps({"long_rate": rng.choice([0.08, 0.1, 0.12]), "long_type": 1,
                                 "short_rate": rng.choice([0.08, 0.1, 0.12]), "short_type": 1, "algorithm": 0})
    comm = lambda: json.dumps({"open_type": 1, "open_rate": 0.0001, "open_rate_by_volume": 3.0,
                               "open_rate_by_money": 0.0001, "close_type": 1, "close_rate": 0.0001,
                               "close_rate_by_volume": 3.0, "close_rate_by_money": 0.0001,
                               "today_close_type": 1, "today_close_rate": 0.0, "today_close_rate_by_volume": 0.0,
                               "today_close_rate_by_money": 0.0, "order_type": 0, "order_rate": 0.0,
                               "order_rate_by_volume": 0.0, "order_rate_by_money": 0.0})
    fut = {**hdr, "code": [f"cu{2400 + i}" for i in range(n_fut)], "name": [f"铜{i}" for i in range(n_fut)],
           "commodity": ["cu"] * n_fut, "trade_period": [json.dumps({"trading_period": [[2100, 2500], [900, 1015]]})] * n_fut,
           "uom": ["t"] * n_fut, "volume_multiplier": [5] * n_fut, "max_market_order_vol": [100] * n_fut,
           "min_market_order_vol": [1] * n_fut, "max_limit_order_vol": [500] * n_fut,
           "min_limit_order_vol": [1] * n_fut, "margin": [margin() for _ in range(n_fut)],
           "commission": [comm() for _ in range(n_fut)], "price_tick": [10.0] * n_fut,
           "expires_at": [20240115 + i for i in range(n_fut)], "start_delivery_date": [20240116] * n_fut,
           "end_delivery_date": [20240120] * n_fut, "real_contract_code": [f"cu{2400 + i}" for i in range(n_fut)],
           "extra": [{"days": [20240101]}] * n_fut}
    info = {**hdr, "name": "Shanghai", "time_zone": 8, "currency": "CNY", "begin_day": 19901219,
            "start_day": 19901219, "trading_period": period, "revs": json.dumps({"security": 3, "stock": 4})}
    holidays = {**hdr, "days": [20240101, 20240210, 20240211, 20240212]}
    market = {"market_info": info, "holidays": holidays, "securities": sec, "stocks": stock, "futures": fut}
    return json.dumps({"markets": [market]}, ensure_ascii=False).encode()


def best_of(repeats, fn):
    best = float("inf")
    for _ in range(repeats):
        t = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - t)
    return best


def main():
    repeats = int(sys.argv[1]) if len(sys.argv) > 1 else 15
    text = make_bundle()
    table = [("json.loads (text -> Python objects)", best_of(repeats, lambda: json.loads(text))),
             ("load_market_meta_from_json_str", best_of(repeats, lambda: pv.load_market_meta_from_json_str(text)))]
    if hasattr(pv, "IndexSchema"):
        schema = pv.IndexSchema()
        schema.load(schema_binary([f"global::{s}" for s in SUFFIXES]))
        idx = schema.index_data_map()

        def load_and_convert():
            return [m.to_sv(idx) for m in pv.load_market_meta_from_json_str(text)]

        rows = load_and_convert()[0]
        assert [r.size() for r in rows] == [9, 3, 11, 12, 20], [r.size() for r in rows]
        table.append(("load_market_meta_from_json_str + to_sv", best_of(repeats, load_and_convert)))
    else:
        print("(no schema classes in this build: rows are not measured)")

    t_json = table[0][1]
    print(f"bundle: {len(text) / 1e6:.2f} MB (5000 securities, 5000 stocks, 500 futures), best of {repeats}")
    print(f"{'operation':<44}{'ms':>9}{'vs json.loads':>15}")
    for name, t in table:
        print(f"{name:<44}{t * 1e3:9.2f}{t / t_json:14.2f}x")


if __name__ == "__main__":
    main()
