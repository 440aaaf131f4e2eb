// Commission: the per-instrument fee schedule.
#include "trel/protocol/commission.hpp"

#include "registry.hpp"

namespace pyvelmora {

void register_commission(py::Module& m) {
  using C = trel::Commission;
  py::Class<C>(m, "Commission")
      .constructor()
      .member_accessors<&C::open_rate_by_volume>("open_rate_by_volume")
      .member_accessors<&C::open_rate_by_money>("open_rate_by_money")
      .member_accessors<&C::close_rate_by_volume>("close_rate_by_volume")
      .member_accessors<&C::close_rate_by_money>("close_rate_by_money")
      .member_accessors<&C::today_close_rate_by_volume>("today_close_rate_by_volume")
      .member_accessors<&C::today_close_rate_by_money>("today_close_rate_by_money")
      .member_accessors<&C::order_rate_by_volume>("order_rate_by_volume")
      .member_accessors<&C::order_rate_by_money>("order_rate_by_money")
      .method<&C::calculate>("calculate", "volume, price, direction, open_close, is_today, multiplier")
      .method<&C::load>("load", "json")
      .finish();
}

}  // namespace pyvelmora
