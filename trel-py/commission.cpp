// Commission: the per-instrument fee schedule.
#include "trel/protocol/commission.hpp"

#include "registry.hpp"

namespace pyvelmora {

void register_commission(py::Module& m) {
  using C = trel::Commission;
  py::Class<C>(m, "Commission")
      .constructor()
      .accessors<&C::get_open_rate_by_volume, &C::set_open_rate_by_volume>("open_rate_by_volume")
      .accessors<&C::get_open_rate_by_money, &C::set_open_rate_by_money>("open_rate_by_money")
      .accessors<&C::get_close_rate_by_volume, &C::set_close_rate_by_volume>("close_rate_by_volume")
      .accessors<&C::get_close_rate_by_money, &C::set_close_rate_by_money>("close_rate_by_money")
      .accessors<&C::get_today_close_rate_by_volume, &C::set_today_close_rate_by_volume>(
          "today_close_rate_by_volume")
      .accessors<&C::get_today_close_rate_by_money, &C::set_today_close_rate_by_money>(
          "today_close_rate_by_money")
      .accessors<&C::get_order_rate_by_volume, &C::set_order_rate_by_volume>("order_rate_by_volume")
      .accessors<&C::get_order_rate_by_money, &C::set_order_rate_by_money>("order_rate_by_money")
      .method<&C::calculate>("calculate", "volume, price, direction, open_close, is_today, multiplier")
      .method<&C::load>("load", "json")
      .finish();
}

}  // namespace pyvelmora
