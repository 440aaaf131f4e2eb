// Per-instrument fee schedule: eight rates and the fee of one fill.
#pragma once

#include <cstdint>
#include <string_view>

namespace trel {

inline constexpr uint8_t kEntrustOcOpen = 0x30;
inline constexpr uint8_t kEntrustOcClose = 0x31;
inline constexpr uint8_t kEntrustDirectionBuy = 0x30;
inline constexpr uint8_t kEntrustDirectionSell = 0x31;

class Commission {
 public:
  double open_rate_by_volume = 0.0;
  double open_rate_by_money = 0.0;
  double close_rate_by_volume = 0.0;
  double close_rate_by_money = 0.0;
  double today_close_rate_by_volume = 0.0;
  double today_close_rate_by_money = 0.0;
  double order_rate_by_volume = 0.0;
  double order_rate_by_money = 0.0;

  // Fee of one fill. turnover = (price * volume) * multiplier; the per-order
  // rates always apply, the side rates are chosen by open_close and is_today.
  // direction is accepted for the caller's symmetry and does not affect the fee.
  double calculate(double volume, double price, uint8_t direction, uint8_t open_close, bool is_today,
                   double multiplier) const noexcept;

  // Takes every rate whose key holds a JSON number in a top-level object; other
  // keys, non-number values and non-object documents leave the rates as they are.
  // Throws std::runtime_error "Commission.load: invalid JSON: <parser message>"
  // on malformed text, changing nothing.
  void load(std::string_view json);
};

}  // namespace trel
