// Market-meta bundles: the static description of each market (calendar
// settings, holidays, securities, dividends, stocks, commodities, futures),
// loaded from one columnar JSON document and turned into market rows.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "trel/protocol/schema_catalog.hpp"
#include "trel/protocol/struct_value.hpp"

namespace trel {

// Session-policy name -> sessions as (startHHMM, endHHMM), sorted ascending.
using PolicyMap = std::map<std::string, std::vector<std::pair<int32_t, int32_t>>>;

struct MarginSpec {
  double long_rate = 0.0;
  int32_t long_type = 0;
  double short_rate = 0.0;
  int32_t short_type = 0;
  int32_t algorithm = 0;
};

struct CommissionSpec {
  int32_t open_type = 0;
  double open_rate = 0.0;
  double open_rate_by_volume = 0.0;
  double open_rate_by_money = 0.0;
  int32_t close_type = 0;
  double close_rate = 0.0;
  double close_rate_by_volume = 0.0;
  double close_rate_by_money = 0.0;
  int32_t today_close_type = 0;
  double today_close_rate = 0.0;
  double today_close_rate_by_volume = 0.0;
  double today_close_rate_by_money = 0.0;
  int32_t order_type = 0;
  double order_rate = 0.0;
  double order_rate_by_volume = 0.0;
  double order_rate_by_money = 0.0;
};

// The {"days":[...]} object carried by markets, commodities and futures.
struct ExtraDays {
  std::vector<int32_t> days;
};

// Scalar keys every section starts with.
struct SectionHeader {
  int32_t rev = 0;
  std::string market_code;
  int32_t trade_day = 0;
  uint64_t time_tag = 0;
};

struct MarketInfo : SectionHeader {
  std::string name;
  int32_t time_zone = 0;
  std::string currency;
  int32_t begin_day = 0;
  int32_t start_day = 0;
  PolicyMap trading_period;
  std::map<std::string, int32_t> revs;
  ExtraDays extra;

  std::string get_market_code() const { return market_code; }
  std::string get_name() const { return name; }
  int32_t get_trade_day() const noexcept { return trade_day; }
};

struct HolidaySection : SectionHeader {
  std::vector<int32_t> days;
};

struct SecuritySection : SectionHeader {
  std::vector<std::string> code, name, abbreviation;
  std::vector<int32_t> category, state;
  std::vector<double> last_close, dividend_ratio;
  std::vector<int32_t> lists_at;
  std::vector<std::string> suspend;
};

struct DividendSection : SectionHeader {
  std::vector<std::string> code;
  std::vector<int32_t> operation;
  std::vector<double> bonus, interest, allotment, allotment_price, bonus_share;
};

struct StockSection : SectionHeader {
  std::vector<std::string> code, name;
  std::vector<std::vector<std::string>> historical_names;
  std::vector<std::vector<int32_t>> historical_name_days;
  std::vector<int32_t> list_day;
  std::vector<int64_t> begin_shares, list_shares;
  std::vector<double> list_price;
  std::vector<int64_t> unlimit_shares, limit_shares;
};

struct CommoditySection : SectionHeader {
  std::vector<std::string> code, name;
  std::vector<std::vector<std::string>> historical_names;
  std::vector<std::vector<int32_t>> historical_name_days;
  std::vector<PolicyMap> trade_period;
  std::vector<std::string> uom;
  std::vector<int32_t> volume_multiplier;
  std::vector<double> surge_limit, plunge_limit;
  std::vector<MarginSpec> margin;
  std::vector<CommissionSpec> commission;
  std::vector<int32_t> settlement_day_ord, last_trade_day_ord;
  std::vector<double> min_variation_unit;
  std::vector<std::string> delivery_month_ord;
  std::vector<ExtraDays> extra;
};

struct FuturesSection : SectionHeader {
  std::vector<std::string> code, name, commodity;
  std::vector<PolicyMap> trade_period;
  std::vector<std::string> uom;
  std::vector<int32_t> volume_multiplier, max_market_order_vol, min_market_order_vol, max_limit_order_vol,
      min_limit_order_vol;
  std::vector<MarginSpec> margin;
  std::vector<CommissionSpec> commission;
  std::vector<double> price_tick;
  std::vector<int32_t> expires_at, start_delivery_date, end_delivery_date;
  std::vector<std::string> real_contract_code;
  std::vector<ExtraDays> extra;
};

// One market of a bundle; a section absent from the JSON stays absent.
class MarketMeta {
 public:
  std::optional<MarketInfo> market_info;
  std::optional<HolidaySection> holidays;
  std::optional<SecuritySection> securities;
  std::optional<DividendSection> dividends;
  std::optional<StockSection> stocks;
  std::optional<CommoditySection> commodities;
  std::optional<FuturesSection> futures;

  // market_info's code, empty without market_info.
  std::string market_code() const { return market_info ? market_info->market_code : std::string(); }

  // One columnar row per present section whose qualified name the map holds,
  // in the order Market, Holiday, Security, Dividend, Stock, Commodity, Futures.
  std::vector<StructValue> to_sv(const IndexDataMap& index_data_map) const;
};

// Parses a bundle ({"markets":[...]}); one MarketMeta per market, in order.
// Throws std::runtime_error with the loader's texts; nothing partial is returned.
std::vector<MarketMeta> load_market_meta_from_json_str(std::string_view json);

// Renderings of the JSON-text slots (compact, floats by the JSON writer's
// rules, non-finite doubles as 0.0).
std::string render_policy_map(const PolicyMap& m);
std::string render_revs(const std::map<std::string, int32_t>& revs);
std::string render_margin(const MarginSpec& m);
std::string render_commission(const CommissionSpec& c);
std::string render_extra(const ExtraDays& e);
std::string render_string_list(const std::vector<std::string>& v);
std::string render_int_list(const std::vector<int32_t>& v);

// Lenient readers of the JSON-text elements: malformed text gives the empty value.
PolicyMap parse_policy_map(std::string_view text);

}  // namespace trel
