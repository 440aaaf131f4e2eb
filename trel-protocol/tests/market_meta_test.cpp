#include "trel/protocol/market_meta.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using trel::IndexDataMap;
using trel::MarketMeta;
using trel::StructValue;

namespace {

std::string load_error(std::string_view json) {
  try {
    trel::load_market_meta_from_json_str(json);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "<no error>";
}

// One market with every section. Columns are deliberately ragged and mistyped
// in places to exercise the per-element defaults.
const char* kBundle = R"({"markets":[{
  "market_info": {"rev": 7, "market_code": "XSHG", "trade_day": 20240105, "time_tag": 1704412800000,
    "name": "Shanghai", "time_zone": 8, "currency": "CNY", "begin_day": 19901219, "start_day": 20000101,
    "trading_period": "{\"trading_period\":[[1300,1500],[930,1130]],\"after_holiday\":[[930,1130,1],[1,2]],\"x\":5}",
    "revs": "{\"b\":-1,\"a\":3,\"q\\\"\":2.5}",
    "extra": "{\"days\":[20240101,\"x\",20240102]}"},
  "holidays": {"rev": 1, "market_code": "XSHG", "days": [20240101, 20240210]},
  "securities": {"rev": 2, "market_code": "XSHG", "trade_day": 20240105, "time_tag": 5,
    "code": ["600000", "600001", "600002"], "name": ["A", "B", "C"], "abbreviation": ["a", "b"],
    "category": [10, 11, -1], "state": [3, 4, 0], "last_close": [10.5, "12", 7],
    "dividend_ratio": [0.1, 0.2, 0.3, 0.4], "lists_at": [19991110, 1.5, 5000000000], "suspend": ["", "S", null]},
  "dividends": {"rev": 3, "market_code": "XSHG", "code": ["600000"], "operation": [4],
    "bonus": [0.5], "interest": [1], "allotment": [], "allotment_price": [2.25], "bonus_share": [0]},
  "stocks": {"rev": 4, "market_code": "XSHG", "code": ["600000", "600001"], "name": ["PF", "BK"],
    "historical_names": ["[\"Old\",1,\"Tab\\t\"]", "not json"], "historical_name_days": ["[20000101,\"x\",20100101]", 5],
    "list_day": [19991110, 0], "begin_shares": [9223372036854775807, 18446744073709551615],
    "list_shares": [1, -2], "list_price": [10, 1e-7], "unlimit_shares": [3], "limit_shares": [4, 5]},
  "commodities": {"rev": 5, "market_code": "XSGE", "code": ["cu"], "name": ["Copper"],
    "historical_names": ["[]"], "historical_name_days": ["[]"],
    "trade_period": ["{\"trading_period\":[[2100,100],[900,1015]]}"], "uom": ["t"], "volume_multiplier": [5],
    "surge_limit": [0.08], "plunge_limit": [-0.08],
    "margin": ["{\"long_rate\":0.1,\"long_type\":1,\"short_rate\":1e-7,\"short_type\":2,\"algorithm\":3,\"junk\":1}"],
    "commission": ["{\"open_type\":1,\"open_rate\":9,\"open_rate_by_volume\":3,\"open_rate_by_money\":0.0003,\"order_rate_by_money\":-0.0}"],
    "settlement_day_ord": [15], "last_trade_day_ord": [14], "min_variation_unit": [10],
    "delivery_month_ord": ["1-12"], "extra": [{"days": [20240102]}]},
  "futures": {"rev": 6, "market_code": "XSGE", "time_tag": 9,
    "code": ["cu2402", "cu2403"], "name": ["Copper 2402", "Copper 2403"], "commodity": ["cu", "cu"],
    "trade_period": ["{}", "[1]"], "uom": ["t", "t"], "volume_multiplier": [5, 5],
    "max_market_order_vol": [1, 2], "min_market_order_vol": [3, 4], "max_limit_order_vol": [5, 6],
    "min_limit_order_vol": [7, 8], "margin": ["{}", 3], "commission": ["[]", "{\"close_rate_by_volume\":\"x\"}"],
    "price_tick": [10, 0.5], "expires_at": [20240215, 20240315], "start_delivery_date": [1, 2],
    "end_delivery_date": [3, 4], "real_contract_code": ["cu2402", "cu2403"], "extra": [{}, "x"]}
}, {"market_info": {"rev": 1, "market_code": "XNYS", "name": "NYSE", "time_zone": -5, "currency": "USD",
    "begin_day": 1, "start_day": 2, "trading_period": "[]", "revs": "{}"}}
]})";

IndexDataMap map_of(std::initializer_list<std::pair<std::string, uint32_t>> names) {
  IndexDataMap m;
  for (const auto& [name, id] : names) m.entries[name] = {1, uint16_t(id % 3), id};
  return m;
}

IndexDataMap full_map() {
  return map_of({{"zen::Tick", 1},
                 {"zen::Market", 10},
                 {"zen::Holiday", 11},
                 {"zen::Security", 12},
                 {"zen::Dividend", 13},
                 {"zen::Stock", 14},
                 {"zen::Commodity", 15},
                 {"zen::Futures", 16}});
}

using Strings = std::vector<std::string>;
using Ints = std::vector<int32_t>;
using Doubles = std::vector<double>;
using Longs = std::vector<int64_t>;

TEST(MarketMetaLoad, ModelFromBundle) {
  auto metas = trel::load_market_meta_from_json_str(kBundle);
  ASSERT_EQ(metas.size(), 2u);
  const MarketMeta& m = metas[0];
  EXPECT_EQ(m.market_code(), "XSHG");
  ASSERT_TRUE(m.market_info && m.holidays && m.securities && m.dividends && m.stocks && m.commodities &&
              m.futures);
  EXPECT_EQ(m.market_info->get_trade_day(), 20240105);
  EXPECT_EQ(m.market_info->time_tag, 1704412800000u);
  EXPECT_EQ(m.market_info->time_zone, 8);

  const auto& s = *m.securities;
  EXPECT_EQ(s.abbreviation, (Strings{"a", "b", ""}));
  EXPECT_EQ(s.category, (Ints{10, 0, 0}));
  EXPECT_EQ(s.state, (Ints{3, 0, 0}));
  EXPECT_EQ(s.last_close, (Doubles{10.5, 0.0, 7.0}));
  EXPECT_EQ(s.dividend_ratio, (Doubles{0.1, 0.2, 0.3}));
  EXPECT_EQ(s.lists_at, (Ints{19991110, 0, 0}));
  EXPECT_EQ(s.suspend, (Strings{"", "S", ""}));
  EXPECT_EQ(m.dividends->operation, Ints{0});
  EXPECT_EQ(m.dividends->allotment, Doubles{0.0});
  EXPECT_EQ(m.stocks->begin_shares, (Longs{9223372036854775807, 0}));
  EXPECT_EQ(m.stocks->unlimit_shares, (Longs{3, 0}));
  EXPECT_EQ(m.holidays->trade_day, 0);
  EXPECT_EQ(m.holidays->time_tag, 0u);

  const MarketMeta& ny = metas[1];
  EXPECT_EQ(ny.market_code(), "XNYS");
  EXPECT_FALSE(ny.holidays || ny.securities || ny.dividends || ny.stocks || ny.commodities || ny.futures);
  EXPECT_TRUE(ny.market_info->trading_period.empty());
}

TEST(MarketMetaLoad, PolicyTextIsLenientAndSorted) {
  auto p =
      trel::parse_policy_map(R"({"b":[[1500,1600],[900,1000],[900,950],[1],"x",[2.5,"y"]],"a":3,"c":[]})");
  EXPECT_EQ(trel::render_policy_map(p), R"({"b":[[0,0],[900,950],[900,1000],[1500,1600]],"c":[]})");
  for (const char* empty : {"", "[]", "{", "5", "null"})
    EXPECT_TRUE(trel::parse_policy_map(empty).empty()) << empty;
}

TEST(MarketMetaLoad, TopLevelErrors) {
  EXPECT_TRUE(trel::load_market_meta_from_json_str(R"({"markets":[]})").empty());
  const std::string missing = "load_market_meta_from_json_str: top-level 'markets' array missing";
  for (const char* doc : {"{}", "[]", R"({"markets":{}})", R"({"Markets":[]})", "3"})
    EXPECT_EQ(load_error(doc), missing) << doc;
  EXPECT_EQ(
      load_error("{"),
      "load_market_meta_from_json_str: bad JSON: The JSON document has an improper structure: missing or "
      "superfluous commas, braces, missing keys, etc.");
  EXPECT_EQ(load_error(""), "load_market_meta_from_json_str: bad JSON: Empty: no JSON found");
  // Non-object markets hold no sections.
  auto metas = trel::load_market_meta_from_json_str(R"({"markets":[1, {}]})");
  ASSERT_EQ(metas.size(), 2u);
  EXPECT_EQ(metas[0].market_code(), "");
  EXPECT_FALSE(metas[1].market_info);
}

struct FieldError {
  const char* section;
  const char* json;
  const char* message;
};

class MarketMetaFieldErrors : public ::testing::TestWithParam<FieldError> {};

TEST_P(MarketMetaFieldErrors, NamesTheKey) {
  std::string doc = std::string(R"({"markets":[{")") + GetParam().section + "\":" + GetParam().json + "}]}";
  EXPECT_EQ(load_error(doc), GetParam().message) << doc;
}

INSTANTIATE_TEST_SUITE_P(
    Sections, MarketMetaFieldErrors,
    ::testing::Values(
        FieldError{"securities", R"({"market_code":"X","code":[]})", "missing/!int field 'rev'"},
        FieldError{"securities", R"({"rev":1.0,"market_code":"X"})", "missing/!int field 'rev'"},
        FieldError{"securities", R"({"rev":4294967296,"market_code":"X"})", "missing/!int field 'rev'"},
        FieldError{"holidays", R"({"rev":1,"market_code":5,"days":[]})",
                   "missing/!string field 'market_code'"},
        FieldError{"holidays", R"({"rev":1,"market_code":"X"})", "missing/!array field 'days'"},
        FieldError{"holidays", "[]", "missing/!int field 'rev'"},
        FieldError{
            "securities",
            R"({"rev":1,"market_code":"X","code":[],"name":[],"abbreviation":[],"category":[],"state":{}})",
            "missing/!array field 'state'"},
        FieldError{"futures", R"({"rev":1,"market_code":"X","code":["a"],"name":[]})",
                   "missing/!array field 'commodity'"},
        FieldError{"market_info",
                   R"({"rev":1,"market_code":"X","name":"N","time_zone":"8","currency":"C","begin_day":1,)"
                   R"("start_day":1,"trading_period":"{}","revs":"{}"})",
                   "missing/!int field 'time_zone'"},
        FieldError{"market_info",
                   R"({"rev":1,"market_code":"X","name":"N","time_zone":8,"currency":"C","begin_day":1,)"
                   R"("start_day":1,"trading_period":"{}"})",
                   "missing/!string field 'revs'"}));

TEST(MarketMetaRows, EverySectionInEmissionOrder) {
  auto metas = trel::load_market_meta_from_json_str(kBundle);
  auto rows = metas[0].to_sv(full_map());
  ASSERT_EQ(rows.size(), 7u);
  const uint32_t ids[] = {10, 11, 12, 13, 14, 15, 16};
  const size_t sizes[] = {9, 3, 11, 9, 12, 18, 20};
  const char* codes[] = {"XSHG", "XSHG", "XSHG", "XSHG", "XSHG", "XSGE", "XSGE"};
  const uint64_t tags[] = {1704412800000, 0, 5, 0, 0, 0, 9};
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(rows[i].get_meta_id(), int32_t(ids[i]));
    EXPECT_EQ(rows[i].get_namespace(), ids[i] % 3);
    EXPECT_EQ(rows[i].size(), sizes[i]);
    EXPECT_EQ(rows[i].get_market(), "ZENTHE");
    EXPECT_EQ(rows[i].get_stock_code(), codes[i]);
    EXPECT_EQ(rows[i].get_time_tag(), tags[i]);
    EXPECT_EQ(rows[i].get_granularity(), 0);
  }

  const StructValue& mk = rows[0];
  EXPECT_EQ(mk.get_int(0), 20240105);
  EXPECT_EQ(mk.get_string(1), "Shanghai");
  EXPECT_EQ(mk.get_int(2), 8);
  EXPECT_EQ(mk.get_string(3), "CNY");
  EXPECT_EQ(mk.get_string(4), R"({"after_holiday":[[1,2]],"trading_period":[[930,1130],[1300,1500]]})");
  EXPECT_EQ(mk.get_int(5), 20000101);
  EXPECT_EQ(mk.get_int(6), 19901219);
  EXPECT_EQ(mk.get_string(7), R"({"a":3,"b":-1})");
  EXPECT_EQ(mk.get_string(8), R"({"days":[20240101,20240102]})");

  const StructValue& hol = rows[1];
  EXPECT_EQ(hol.get_int(0), 1);
  EXPECT_EQ(hol.get_int(1), 0);
  EXPECT_EQ(hol.get_int_32_vector(2), (Ints{20240101, 20240210}));

  const StructValue& sec = rows[2];
  EXPECT_EQ(sec.get_int(0), 2);
  EXPECT_EQ(sec.get_int(1), 20240105);
  EXPECT_EQ(sec.get_string_vector(2), (Strings{"600000", "600001", "600002"}));
  EXPECT_EQ(sec.get_int_32_vector(5), (Ints{10, 0, 0}));
  EXPECT_EQ(sec.get_double_vector(7), (Doubles{10.5, 0.0, 7.0}));
  EXPECT_EQ(sec.get_string_vector(10), (Strings{"", "S", ""}));

  const StructValue& div = rows[3];
  EXPECT_EQ(div.get_int_32_vector(3), Ints{0});
  EXPECT_EQ(div.get_double_vector(5), Doubles{1.0});
  EXPECT_EQ(div.get_double_vector(8), Doubles{0.0});

  const StructValue& st = rows[4];
  EXPECT_EQ(st.get_string_vector(4), (Strings{R"(["Old","Tab\t"])", "[]"}));
  EXPECT_EQ(st.get_string_vector(5), (Strings{"[20000101,20100101]", "[]"}));
  EXPECT_EQ(st.get_int_32_vector(6), (Ints{19991110, 0}));
  EXPECT_EQ(st.get_int_64_vector(7), (Longs{9223372036854775807, 0}));
  EXPECT_EQ(st.get_int_64_vector(8), (Longs{1, -2}));
  EXPECT_EQ(st.get_double_vector(9), (Doubles{10.0, 1e-7}));
  EXPECT_EQ(st.get_int_64_vector(11), (Longs{4, 5}));

  const StructValue& co = rows[5];
  EXPECT_EQ(co.get_string_vector(6), Strings{R"({"trading_period":[[900,1015],[2100,100]]})"});
  EXPECT_EQ(co.get_string_vector(7), Strings{"t"});
  EXPECT_EQ(co.get_int_32_vector(8), Ints{5});
  EXPECT_EQ(co.get_double_vector(10), Doubles{-0.08});
  EXPECT_EQ(co.get_string_vector(11),
            Strings{R"({"long_rate":0.1,"long_type":1,"short_rate":1e-7,"short_type":2,"algorithm":3})"});
  EXPECT_EQ(
      co.get_string_vector(12),
      Strings{R"({"open_rate_by_volume":3.0,"open_rate_by_money":0.0003,"close_rate_by_volume":0.0,)"
              R"("close_rate_by_money":0.0,"today_close_rate_by_volume":0.0,"today_close_rate_by_money":0.0,)"
              R"("order_rate_by_volume":0.0,"order_rate_by_money":-0.0})"});
  EXPECT_EQ(co.get_int_32_vector(14), Ints{14});
  EXPECT_EQ(co.get_double_vector(15), Doubles{10.0});
  EXPECT_EQ(co.get_string_vector(16), Strings{"1-12"});
  EXPECT_EQ(co.get_string_vector(17), Strings{R"({"days":[20240102]})"});

  const StructValue& fu = rows[6];
  EXPECT_EQ(fu.get_string_vector(4), (Strings{"cu", "cu"}));
  EXPECT_EQ(fu.get_string_vector(5), (Strings{"{}", "{}"}));
  EXPECT_EQ(fu.get_int_32_vector(11), (Ints{7, 8}));
  const std::string zero_margin =
      R"({"long_rate":0.0,"long_type":0,"short_rate":0.0,"short_type":0,"algorithm":0})";
  EXPECT_EQ(fu.get_string_vector(12), (Strings{zero_margin, zero_margin}));
  EXPECT_EQ(fu.get_string_vector(13)[1], fu.get_string_vector(13)[0]);
  EXPECT_EQ(fu.get_double_vector(14), (Doubles{10.0, 0.5}));
  EXPECT_EQ(fu.get_int_32_vector(17), (Ints{3, 4}));
  EXPECT_EQ(fu.get_string_vector(18), (Strings{"cu2402", "cu2403"}));
  EXPECT_EQ(fu.get_string_vector(19), (Strings{R"({"days":[]})", R"({"days":[]})"}));
}

TEST(MarketMetaRows, PrefixAndMissingNames) {
  auto metas = trel::load_market_meta_from_json_str(kBundle);
  const MarketMeta& m = metas[0];
  EXPECT_TRUE(m.to_sv(IndexDataMap{}).empty());
  // The first name (smallest) gives the prefix; names under other prefixes are not used.
  auto only_stock = m.to_sv(map_of({{"aaa::Tick", 1}, {"aaa::Stock", 7}, {"zen::Security", 12}}));
  ASSERT_EQ(only_stock.size(), 1u);
  EXPECT_EQ(only_stock[0].size(), 12u);
  EXPECT_EQ(only_stock[0].get_meta_id(), 7);
  // A first name without "::" is the prefix as a whole.
  auto plain = m.to_sv(map_of({{"Plain", 1}, {"Plain::Holiday", 4}}));
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_EQ(plain[0].get_meta_id(), 4);
  // A market with only market_info gives only the Market row.
  auto ny = metas[1].to_sv(full_map());
  ASSERT_EQ(ny.size(), 1u);
  EXPECT_EQ(ny[0].get_string(4), "{}");
  EXPECT_EQ(ny[0].get_string(7), "{}");
  EXPECT_EQ(ny[0].get_string(8), R"({"days":[]})");
}

TEST(MarketMetaRows, TextRenderings) {
  EXPECT_EQ(trel::render_revs({{"a", 3}, {"b", -1}}), R"({"a":3,"b":-1})");
  EXPECT_EQ(trel::render_revs({{"q\"\x01", 2}}), R"({"q\"\u0001":2})");
  EXPECT_EQ(trel::render_string_list({"A", "B"}), R"(["A","B"])");
  EXPECT_EQ(trel::render_int_list({-1, 2}), "[-1,2]");
  trel::MarginSpec nonfinite{std::numeric_limits<double>::quiet_NaN(), 1, -INFINITY, 2, 3};
  EXPECT_EQ(trel::render_margin(nonfinite),
            R"({"long_rate":0.0,"long_type":1,"short_rate":0.0,"short_type":2,"algorithm":3})");
}

}  // namespace
