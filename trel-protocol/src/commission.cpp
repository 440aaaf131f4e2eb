#include "trel/protocol/commission.hpp"

#include <simdjson.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "trel/protocol/json_writer.hpp"

namespace trel {

double Commission::calculate(double volume, double price, uint8_t /*direction*/, uint8_t open_close,
                             bool is_today, double multiplier) const noexcept {
  const double turnover = (price * volume) * multiplier;
  double by_volume = close_rate_by_volume;
  double by_money = close_rate_by_money;
  if (open_close == kEntrustOcOpen) {
    by_volume = open_rate_by_volume;
    by_money = open_rate_by_money;
  } else if (open_close == kEntrustOcClose && is_today) {
    by_volume = today_close_rate_by_volume;
    by_money = today_close_rate_by_money;
  }
  // Each step is one correctly rounded a*b+c, in this order, so every consumer
  // of the schedule charges the same fee to the last bit.
  double f = std::fma(order_rate_by_money, turnover, 0.0);
  f = std::fma(order_rate_by_volume, volume, f);
  f = std::fma(by_volume, volume, f);
  f = std::fma(by_money, turnover, f);
  return f;
}

void Commission::load(std::string_view json) {
  simdjson::dom::parser parser;
  simdjson::dom::element doc;
  // An empty view may carry a null pointer, which the parser's copy must not see.
  auto err = parser.parse(json.empty() ? "" : json.data(), json.size()).get(doc);
  // Integers beyond 64 bits are valid JSON: read them again as doubles.
  if (err == simdjson::NUMBER_ERROR)
    if (auto wide = json::widen_integer_literals(json)) err = parser.parse(*wide).get(doc);
  if (err)
    throw std::runtime_error(std::string("Commission.load: invalid JSON: ") + simdjson::error_message(err));
  simdjson::dom::object obj;
  if (doc.get_object().get(obj)) return;

  struct Rate {
    std::string_view key;
    double Commission::*field;
  };
  static constexpr Rate rates[] = {
      {"open_rate_by_volume", &Commission::open_rate_by_volume},
      {"open_rate_by_money", &Commission::open_rate_by_money},
      {"close_rate_by_volume", &Commission::close_rate_by_volume},
      {"close_rate_by_money", &Commission::close_rate_by_money},
      {"today_close_rate_by_volume", &Commission::today_close_rate_by_volume},
      {"today_close_rate_by_money", &Commission::today_close_rate_by_money},
      {"order_rate_by_volume", &Commission::order_rate_by_volume},
      {"order_rate_by_money", &Commission::order_rate_by_money},
  };
  // A key given twice takes its last value, as a JSON object read into a map would.
  for (const auto& rate : rates) {
    simdjson::dom::element value;
    bool found = false;
    for (auto member : obj)
      if (member.key == rate.key) {
        value = member.value;
        found = true;
      }
    if (!found) continue;
    double d;
    if (!value.get_double().get(d)) this->*rate.field = d;
  }
}

}  // namespace trel
