#include "trel/protocol/market_meta.hpp"

#include <simdjson.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "trel/protocol/json_writer.hpp"

namespace trel {

namespace {

namespace dom = simdjson::dom;

// ---- Element conversions ---------------------------------------------------
// Each returns nullopt / the default when the element has the wrong JSON type
// or does not fit the target width.

std::optional<int32_t> as_i32(dom::element e) {
  int64_t v;
  if (e.get_int64().get(v)) return std::nullopt;
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(v);
}

int32_t i32_or_zero(dom::element e) { return as_i32(e).value_or(0); }

int64_t i64_or_zero(dom::element e) {
  int64_t v;
  return e.get_int64().get(v) ? 0 : v;
}

// Integers and floats alike: JSON has one number kind.
double double_or_zero(dom::element e) {
  double v;
  return e.get_double().get(v) ? 0.0 : v;
}

std::string string_or_empty(dom::element e) {
  std::string_view v;
  return e.get_string().get(v) ? std::string() : std::string(v);
}

// Last member named key: a key given twice takes its last value, as a JSON
// object read into a map would.
std::optional<dom::element> member(dom::object obj, std::string_view key) {
  std::optional<dom::element> found;
  for (auto m : obj)
    if (m.key == key) found = m.value;
  return found;
}

// Integral instants and days given as numbers of either kind; anything else is 0.
template <class T>
T optional_number(dom::object obj, std::string_view key) {
  auto e = member(obj, key);
  if (!e) return 0;
  if constexpr (std::is_signed_v<T>) {
    int64_t i;
    if (!e->get_int64().get(i))
      return i >= std::numeric_limits<T>::min() && i <= std::numeric_limits<T>::max() ? static_cast<T>(i) : 0;
  } else {
    uint64_t u;
    if (!e->get_uint64().get(u)) return u <= std::numeric_limits<T>::max() ? static_cast<T>(u) : 0;
  }
  double d;
  if (e->get_double().get(d)) return 0;
  // The bounds are powers of two (exact as doubles); NaN fails both tests.
  constexpr double lo = std::is_signed_v<T> ? static_cast<double>(std::numeric_limits<T>::min()) : 0.0;
  constexpr double hi = static_cast<double>(std::numeric_limits<T>::max()) + 1.0;
  return d >= lo && d < hi ? static_cast<T>(d) : 0;
}

// ---- Lenient readers of the JSON-text elements ------------------------------

// Parses nested JSON texts. The bundle's own document stays alive in another
// parser while these are read, so this one is separate and reused.
class TextParser {
 public:
  // The parsed element, or nullopt when the text is not valid JSON.
  std::optional<dom::element> parse(std::string_view text) {
    dom::element e;
    if (text.empty()) return std::nullopt;
    auto err = parser_.parse(text.data(), text.size()).get(e);
    if (err == simdjson::NUMBER_ERROR)
      if (auto wide = json::widen_integer_literals(text)) err = parser_.parse(*wide).get(e);
    if (err) return std::nullopt;
    return e;
  }

 private:
  dom::parser parser_;
};

PolicyMap policy_map_of(dom::element e) {
  PolicyMap out;
  dom::object obj;
  if (e.get_object().get(obj)) return out;
  for (auto m : obj) {
    dom::array sessions;
    if (m.value.get_array().get(sessions)) continue;
    std::vector<std::pair<int32_t, int32_t>> list;
    for (dom::element s : sessions) {
      dom::array pair;
      if (s.get_array().get(pair)) continue;
      auto it = pair.begin();
      if (it == pair.end()) continue;
      dom::element first = *it;
      if (++it == pair.end()) continue;
      dom::element second = *it;
      if (++it != pair.end()) continue;
      list.emplace_back(i32_or_zero(first), i32_or_zero(second));
    }
    std::sort(list.begin(), list.end());
    out[std::string(m.key)] = std::move(list);
  }
  return out;
}

PolicyMap policy_map_text(TextParser& tp, std::string_view text) {
  auto e = tp.parse(text);
  return e ? policy_map_of(*e) : PolicyMap{};
}

std::vector<std::string> string_list_text(TextParser& tp, std::string_view text) {
  std::vector<std::string> out;
  auto e = tp.parse(text);
  dom::array arr;
  if (!e || e->get_array().get(arr)) return out;
  for (dom::element x : arr) {
    std::string_view s;
    if (!x.get_string().get(s)) out.emplace_back(s);
  }
  return out;
}

std::vector<int32_t> int_list(dom::element e) {
  std::vector<int32_t> out;
  dom::array arr;
  if (e.get_array().get(arr)) return out;
  for (dom::element x : arr)
    if (auto v = as_i32(x)) out.push_back(*v);
  return out;
}

std::vector<int32_t> int_list_text(TextParser& tp, std::string_view text) {
  auto e = tp.parse(text);
  return e ? int_list(*e) : std::vector<int32_t>{};
}

ExtraDays extra_of(dom::element e) {
  ExtraDays out;
  dom::object obj;
  if (e.get_object().get(obj)) return out;
  if (auto days = member(obj, "days")) out.days = int_list(*days);
  return out;
}

MarginSpec margin_text(TextParser& tp, std::string_view text) {
  MarginSpec m;
  auto e = tp.parse(text);
  dom::object obj;
  if (!e || e->get_object().get(obj)) return m;
  for (auto kv : obj) {
    std::string_view k = kv.key;
    if (k == "long_rate")
      m.long_rate = double_or_zero(kv.value);
    else if (k == "long_type")
      m.long_type = i32_or_zero(kv.value);
    else if (k == "short_rate")
      m.short_rate = double_or_zero(kv.value);
    else if (k == "short_type")
      m.short_type = i32_or_zero(kv.value);
    else if (k == "algorithm")
      m.algorithm = i32_or_zero(kv.value);
  }
  return m;
}

CommissionSpec commission_text(TextParser& tp, std::string_view text) {
  CommissionSpec c;
  auto e = tp.parse(text);
  dom::object obj;
  if (!e || e->get_object().get(obj)) return c;
  struct Key {
    std::string_view name;
    int32_t CommissionSpec::*type;
    double CommissionSpec::*rate;
  };
  static constexpr Key keys[] = {
      {"open_type", &CommissionSpec::open_type, nullptr},
      {"open_rate", nullptr, &CommissionSpec::open_rate},
      {"open_rate_by_volume", nullptr, &CommissionSpec::open_rate_by_volume},
      {"open_rate_by_money", nullptr, &CommissionSpec::open_rate_by_money},
      {"close_type", &CommissionSpec::close_type, nullptr},
      {"close_rate", nullptr, &CommissionSpec::close_rate},
      {"close_rate_by_volume", nullptr, &CommissionSpec::close_rate_by_volume},
      {"close_rate_by_money", nullptr, &CommissionSpec::close_rate_by_money},
      {"today_close_type", &CommissionSpec::today_close_type, nullptr},
      {"today_close_rate", nullptr, &CommissionSpec::today_close_rate},
      {"today_close_rate_by_volume", nullptr, &CommissionSpec::today_close_rate_by_volume},
      {"today_close_rate_by_money", nullptr, &CommissionSpec::today_close_rate_by_money},
      {"order_type", &CommissionSpec::order_type, nullptr},
      {"order_rate", nullptr, &CommissionSpec::order_rate},
      {"order_rate_by_volume", nullptr, &CommissionSpec::order_rate_by_volume},
      {"order_rate_by_money", nullptr, &CommissionSpec::order_rate_by_money},
  };
  for (auto kv : obj) {
    for (const Key& k : keys) {
      if (kv.key != k.name) continue;
      if (k.type)
        c.*k.type = i32_or_zero(kv.value);
      else
        c.*k.rate = double_or_zero(kv.value);
      break;
    }
  }
  return c;
}

std::map<std::string, int32_t> revs_text(TextParser& tp, std::string_view text) {
  std::map<std::string, int32_t> out;
  auto e = tp.parse(text);
  dom::object obj;
  if (!e || e->get_object().get(obj)) return out;
  for (auto kv : obj)
    if (auto v = as_i32(kv.value)) out[std::string(kv.key)] = *v;
  return out;
}

// ---- Section reading ---------------------------------------------------------

// Reads one section object: the required scalars with their error texts, and
// parallel columns cut or padded to the instrument count.
class SectionReader {
 public:
  SectionReader(dom::element e, TextParser& tp) : tp_(tp) { is_object_ = !e.get_object().get(obj_); }

  TextParser& text_parser() { return tp_; }

  std::optional<dom::element> find(std::string_view key) const {
    return is_object_ ? member(obj_, key) : std::nullopt;
  }

  int32_t required_int(std::string_view key) const {
    auto e = find(key);
    std::optional<int32_t> v;
    if (e) v = as_i32(*e);
    if (!v) throw std::runtime_error("missing/!int field '" + std::string(key) + "'");
    return *v;
  }

  std::string_view required_string(std::string_view key) const {
    auto e = find(key);
    std::string_view v;
    if (!e || e->get_string().get(v))
      throw std::runtime_error("missing/!string field '" + std::string(key) + "'");
    return v;
  }

  dom::array required_array(std::string_view key) const {
    auto e = find(key);
    dom::array v;
    if (!e || e->get_array().get(v))
      throw std::runtime_error("missing/!array field '" + std::string(key) + "'");
    return v;
  }

  template <class T>
  T optional_number(std::string_view key) const {
    return is_object_ ? trel::optional_number<T>(obj_, key) : T{0};
  }

  void header(SectionHeader& h) const {
    h.rev = required_int("rev");
    h.market_code = std::string(required_string("market_code"));
    h.trade_day = optional_number<int32_t>("trade_day");
    h.time_tag = optional_number<uint64_t>("time_tag");
  }

  // The instrument count is the length of this column.
  void count_by(std::string_view key) {
    count_ = 0;
    for ([[maybe_unused]] dom::element e : required_array(key)) ++count_;
  }

  // Column converted element by element for positions [0, count); missing
  // positions take the kind's default, elements past count are ignored.
  template <class T, class F>
  void column(std::string_view key, std::vector<T>& out, F&& convert) const {
    dom::array arr = required_array(key);
    out.clear();
    out.reserve(count_);
    for (dom::element e : arr) {
      if (out.size() == count_) break;
      out.push_back(convert(e));
    }
    out.resize(count_);
  }

  void strings(std::string_view key, std::vector<std::string>& out) const {
    column(key, out, string_or_empty);
  }
  void ints(std::string_view key, std::vector<int32_t>& out) const { column(key, out, i32_or_zero); }
  void longs(std::string_view key, std::vector<int64_t>& out) const { column(key, out, i64_or_zero); }
  void doubles(std::string_view key, std::vector<double>& out) const { column(key, out, double_or_zero); }
  // Enumerations keep [0, max]; anything else becomes 0.
  void enums(std::string_view key, std::vector<int32_t>& out, int32_t max) const {
    column(key, out, [max](dom::element e) {
      int32_t v = i32_or_zero(e);
      return v >= 0 && v <= max ? v : 0;
    });
  }
  // Elements that are strings holding JSON text, parsed by read(text).
  template <class T, class F>
  void texts(std::string_view key, std::vector<T>& out, F&& read) const {
    column(key, out, [&](dom::element e) {
      std::string_view s;
      return read(tp_, e.get_string().get(s) ? std::string_view() : s);
    });
  }
  void extras(std::string_view key, std::vector<ExtraDays>& out) const { column(key, out, extra_of); }

 private:
  dom::object obj_;
  bool is_object_ = false;
  size_t count_ = 0;
  TextParser& tp_;
};

MarketInfo read_market_info(SectionReader& r) {
  MarketInfo m;
  r.header(m);
  m.name = std::string(r.required_string("name"));
  m.time_zone = r.required_int("time_zone");
  m.currency = std::string(r.required_string("currency"));
  m.begin_day = r.required_int("begin_day");
  m.start_day = r.required_int("start_day");
  m.trading_period = policy_map_text(r.text_parser(), r.required_string("trading_period"));
  m.revs = revs_text(r.text_parser(), r.required_string("revs"));
  std::string_view extra;
  if (auto e = r.find("extra"); e && !e->get_string().get(extra)) {
    if (auto doc = r.text_parser().parse(extra)) m.extra = extra_of(*doc);
  }
  return m;
}

HolidaySection read_holidays(SectionReader& r) {
  HolidaySection s;
  r.header(s);
  r.count_by("days");
  r.ints("days", s.days);
  return s;
}

SecuritySection read_securities(SectionReader& r) {
  SecuritySection s;
  r.header(s);
  r.count_by("code");
  r.strings("code", s.code);
  r.strings("name", s.name);
  r.strings("abbreviation", s.abbreviation);
  r.enums("category", s.category, 10);
  r.enums("state", s.state, 3);
  r.doubles("last_close", s.last_close);
  r.doubles("dividend_ratio", s.dividend_ratio);
  r.ints("lists_at", s.lists_at);
  r.strings("suspend", s.suspend);
  return s;
}

DividendSection read_dividends(SectionReader& r) {
  DividendSection s;
  r.header(s);
  r.count_by("code");
  r.strings("code", s.code);
  r.enums("operation", s.operation, 3);
  r.doubles("bonus", s.bonus);
  r.doubles("interest", s.interest);
  r.doubles("allotment", s.allotment);
  r.doubles("allotment_price", s.allotment_price);
  r.doubles("bonus_share", s.bonus_share);
  return s;
}

StockSection read_stocks(SectionReader& r) {
  StockSection s;
  r.header(s);
  r.count_by("code");
  r.strings("code", s.code);
  r.strings("name", s.name);
  r.texts("historical_names", s.historical_names, string_list_text);
  r.texts("historical_name_days", s.historical_name_days, int_list_text);
  r.ints("list_day", s.list_day);
  r.longs("begin_shares", s.begin_shares);
  r.longs("list_shares", s.list_shares);
  r.doubles("list_price", s.list_price);
  r.longs("unlimit_shares", s.unlimit_shares);
  r.longs("limit_shares", s.limit_shares);
  return s;
}

CommoditySection read_commodities(SectionReader& r) {
  CommoditySection s;
  r.header(s);
  r.count_by("code");
  r.strings("code", s.code);
  r.strings("name", s.name);
  r.texts("historical_names", s.historical_names, string_list_text);
  r.texts("historical_name_days", s.historical_name_days, int_list_text);
  r.texts("trade_period", s.trade_period, policy_map_text);
  r.strings("uom", s.uom);
  r.ints("volume_multiplier", s.volume_multiplier);
  r.doubles("surge_limit", s.surge_limit);
  r.doubles("plunge_limit", s.plunge_limit);
  r.texts("margin", s.margin, margin_text);
  r.texts("commission", s.commission, commission_text);
  r.ints("settlement_day_ord", s.settlement_day_ord);
  r.ints("last_trade_day_ord", s.last_trade_day_ord);
  r.doubles("min_variation_unit", s.min_variation_unit);
  r.strings("delivery_month_ord", s.delivery_month_ord);
  r.extras("extra", s.extra);
  return s;
}

FuturesSection read_futures(SectionReader& r) {
  FuturesSection s;
  r.header(s);
  r.count_by("code");
  r.strings("code", s.code);
  r.strings("name", s.name);
  r.strings("commodity", s.commodity);
  r.texts("trade_period", s.trade_period, policy_map_text);
  r.strings("uom", s.uom);
  r.ints("volume_multiplier", s.volume_multiplier);
  r.ints("max_market_order_vol", s.max_market_order_vol);
  r.ints("min_market_order_vol", s.min_market_order_vol);
  r.ints("max_limit_order_vol", s.max_limit_order_vol);
  r.ints("min_limit_order_vol", s.min_limit_order_vol);
  r.texts("margin", s.margin, margin_text);
  r.texts("commission", s.commission, commission_text);
  r.doubles("price_tick", s.price_tick);
  r.ints("expires_at", s.expires_at);
  r.ints("start_delivery_date", s.start_delivery_date);
  r.ints("end_delivery_date", s.end_delivery_date);
  r.strings("real_contract_code", s.real_contract_code);
  r.extras("extra", s.extra);
  return s;
}

template <class Section, class Read>
void read_section(dom::object market, std::string_view key, TextParser& tp, std::optional<Section>& out,
                  Read&& read) {
  auto e = member(market, key);
  if (!e) return;
  SectionReader r(*e, tp);
  out = read(r);
}

}  // namespace

std::vector<MarketMeta> load_market_meta_from_json_str(std::string_view json) {
  static constexpr std::string_view ctx = "load_market_meta_from_json_str: ";
  dom::parser parser;
  dom::element doc;
  // An empty view may carry a null pointer, which the parser's copy must not see.
  auto err = parser.parse(json.empty() ? "" : json.data(), json.size()).get(doc);
  // Integers beyond 64 bits are valid JSON: read them again as doubles, which
  // the integer columns then take as out of range.
  if (err == simdjson::NUMBER_ERROR)
    if (auto wide = json::widen_integer_literals(json)) err = parser.parse(*wide).get(doc);
  if (err) throw std::runtime_error(std::string(ctx) + "bad JSON: " + simdjson::error_message(err));
  dom::object top;
  std::optional<dom::element> markets_e;
  dom::array markets;
  if (!doc.get_object().get(top)) markets_e = member(top, "markets");
  if (!markets_e || markets_e->get_array().get(markets))
    throw std::runtime_error(std::string(ctx) + "top-level 'markets' array missing");

  TextParser tp;
  std::vector<MarketMeta> out;
  for (dom::element m : markets) {
    MarketMeta meta;
    dom::object market;
    // A market that is not an object holds no sections.
    if (!m.get_object().get(market)) {
      read_section(market, "market_info", tp, meta.market_info, read_market_info);
      read_section(market, "holidays", tp, meta.holidays, read_holidays);
      read_section(market, "securities", tp, meta.securities, read_securities);
      read_section(market, "dividends", tp, meta.dividends, read_dividends);
      read_section(market, "stocks", tp, meta.stocks, read_stocks);
      read_section(market, "commodities", tp, meta.commodities, read_commodities);
      read_section(market, "futures", tp, meta.futures, read_futures);
    }
    out.push_back(std::move(meta));
  }
  return out;
}

PolicyMap parse_policy_map(std::string_view text) {
  TextParser tp;
  return policy_map_text(tp, text);
}

// ---- Renderings ---------------------------------------------------------------

std::string render_policy_map(const PolicyMap& m) {
  std::string out = "{";
  bool first = true;
  for (const auto& [name, sessions] : m) {
    if (!first) out += ',';
    first = false;
    json::append_string(out, name);
    out += ":[";
    for (size_t i = 0; i < sessions.size(); ++i) {
      if (i) out += ',';
      out += '[';
      json::append_int(out, sessions[i].first);
      out += ',';
      json::append_int(out, sessions[i].second);
      out += ']';
    }
    out += ']';
  }
  out += '}';
  return out;
}

std::string render_revs(const std::map<std::string, int32_t>& revs) {
  std::string out = "{";
  bool first = true;
  for (const auto& [k, v] : revs) {
    if (!first) out += ',';
    first = false;
    json::append_string(out, k);
    out += ':';
    json::append_int(out, v);
  }
  out += '}';
  return out;
}

namespace {
void key(std::string& out, std::string_view k) {
  json::append_string(out, k);
  out += ':';
}
}  // namespace

std::string render_margin(const MarginSpec& m) {
  std::string out = "{";
  key(out, "long_rate");
  json::append_double_or_zero(out, m.long_rate);
  out += ',';
  key(out, "long_type");
  json::append_int(out, m.long_type);
  out += ',';
  key(out, "short_rate");
  json::append_double_or_zero(out, m.short_rate);
  out += ',';
  key(out, "short_type");
  json::append_int(out, m.short_type);
  out += ',';
  key(out, "algorithm");
  json::append_int(out, m.algorithm);
  out += '}';
  return out;
}

std::string render_commission(const CommissionSpec& c) {
  const std::pair<std::string_view, double> rates[] = {
      {"open_rate_by_volume", c.open_rate_by_volume},
      {"open_rate_by_money", c.open_rate_by_money},
      {"close_rate_by_volume", c.close_rate_by_volume},
      {"close_rate_by_money", c.close_rate_by_money},
      {"today_close_rate_by_volume", c.today_close_rate_by_volume},
      {"today_close_rate_by_money", c.today_close_rate_by_money},
      {"order_rate_by_volume", c.order_rate_by_volume},
      {"order_rate_by_money", c.order_rate_by_money},
  };
  std::string out = "{";
  for (size_t i = 0; i < std::size(rates); ++i) {
    if (i) out += ',';
    key(out, rates[i].first);
    json::append_double_or_zero(out, rates[i].second);
  }
  out += '}';
  return out;
}

std::string render_int_list(const std::vector<int32_t>& v) {
  std::string out = "[";
  for (size_t i = 0; i < v.size(); ++i) {
    if (i) out += ',';
    json::append_int(out, v[i]);
  }
  out += ']';
  return out;
}

std::string render_extra(const ExtraDays& e) { return "{\"days\":" + render_int_list(e.days) + "}"; }

std::string render_string_list(const std::vector<std::string>& v) {
  std::string out = "[";
  for (size_t i = 0; i < v.size(); ++i) {
    if (i) out += ',';
    json::append_string(out, v[i]);
  }
  out += ']';
  return out;
}

// ---- Rows ---------------------------------------------------------------------

namespace {

template <class T, class F>
std::vector<std::string> render_each(const std::vector<T>& items, F&& render) {
  std::vector<std::string> out;
  out.reserve(items.size());
  for (const T& x : items) out.push_back(render(x));
  return out;
}

// Fills slots in order; the row was sized to the section's slot count.
struct RowFiller {
  StructValue& row;
  size_t next = 0;
  template <class T>
  RowFiller& operator<<(T&& v) {
    row.fields[next++] = Slot(std::forward<T>(v));
    return *this;
  }
};

}  // namespace

std::vector<StructValue> MarketMeta::to_sv(const IndexDataMap& index_data_map) const {
  // Every name of one catalogue shares the namespace prefix of its first name.
  std::string ns = "global";
  if (!index_data_map.entries.empty()) {
    const std::string& first = index_data_map.entries.begin()->first;
    ns = first.substr(0, first.find("::"));
  }

  std::vector<StructValue> rows;
  auto start = [&](const SectionHeader& h, std::string_view suffix, size_t slots) -> StructValue* {
    auto it = index_data_map.entries.find(ns + "::" + std::string(suffix));
    if (it == index_data_map.entries.end()) return nullptr;
    StructValue& sv = rows.emplace_back();
    sv.market = "ZENTHE";
    sv.stock_code = h.market_code;
    sv.time_tag = h.time_tag;
    sv.ns = std::get<1>(it->second);
    sv.meta_id = static_cast<int32_t>(std::get<2>(it->second));
    sv.granularity = 0;
    sv.resize(slots);
    return &sv;
  };

  if (market_info) {
    const MarketInfo& m = *market_info;
    if (StructValue* sv = start(m, "Market", 9))
      RowFiller{*sv} << m.trade_day << m.name << m.time_zone << m.currency
                     << render_policy_map(m.trading_period) << m.start_day << m.begin_day
                     << render_revs(m.revs) << render_extra(m.extra);
  }
  if (holidays) {
    const HolidaySection& s = *holidays;
    if (StructValue* sv = start(s, "Holiday", 3)) RowFiller{*sv} << s.rev << s.trade_day << s.days;
  }
  if (securities) {
    const SecuritySection& s = *securities;
    if (StructValue* sv = start(s, "Security", 11))
      RowFiller{*sv} << s.rev << s.trade_day << s.code << s.name << s.abbreviation << s.category << s.state
                     << s.last_close << s.dividend_ratio << s.lists_at << s.suspend;
  }
  if (dividends) {
    const DividendSection& s = *dividends;
    if (StructValue* sv = start(s, "Dividend", 9))
      RowFiller{*sv} << s.rev << s.trade_day << s.code << s.operation << s.bonus << s.interest << s.allotment
                     << s.allotment_price << s.bonus_share;
  }
  if (stocks) {
    const StockSection& s = *stocks;
    if (StructValue* sv = start(s, "Stock", 12))
      RowFiller{*sv} << s.rev << s.trade_day << s.code << s.name
                     << render_each(s.historical_names, render_string_list)
                     << render_each(s.historical_name_days, render_int_list) << s.list_day << s.begin_shares
                     << s.list_shares << s.list_price << s.unlimit_shares << s.limit_shares;
  }
  if (commodities) {
    const CommoditySection& s = *commodities;
    if (StructValue* sv = start(s, "Commodity", 18))
      RowFiller{*sv} << s.rev << s.trade_day << s.code << s.name
                     << render_each(s.historical_names, render_string_list)
                     << render_each(s.historical_name_days, render_int_list)
                     << render_each(s.trade_period, render_policy_map) << s.uom << s.volume_multiplier
                     << s.surge_limit << s.plunge_limit << render_each(s.margin, render_margin)
                     << render_each(s.commission, render_commission) << s.settlement_day_ord
                     << s.last_trade_day_ord << s.min_variation_unit << s.delivery_month_ord
                     << render_each(s.extra, render_extra);
  }
  if (futures) {
    const FuturesSection& s = *futures;
    if (StructValue* sv = start(s, "Futures", 20))
      RowFiller{*sv} << s.rev << s.trade_day << s.code << s.name << s.commodity
                     << render_each(s.trade_period, render_policy_map) << s.uom << s.volume_multiplier
                     << s.max_market_order_vol << s.min_market_order_vol << s.max_limit_order_vol
                     << s.min_limit_order_vol << render_each(s.margin, render_margin)
                     << render_each(s.commission, render_commission) << s.price_tick << s.expires_at
                     << s.start_delivery_date << s.end_delivery_date << s.real_contract_code
                     << render_each(s.extra, render_extra);
  }
  return rows;
}

}  // namespace trel
