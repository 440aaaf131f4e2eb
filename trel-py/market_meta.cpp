// Market-meta bundles: the loader, MarketMeta with its row conversion, MarketInfo.
#include "trel/protocol/market_meta.hpp"

#include "registry.hpp"

namespace pyvelmora {

void register_market_meta(py::Module& m) {
  using MM = trel::MarketMeta;
  using MI = trel::MarketInfo;
  py::Class<MM>(m, "MarketMeta")
      .method<&MM::market_code>("market_code")
      .method<&MM::to_sv>("to_sv", "index_data_map")
      .finish();
  py::Class<MI>(m, "MarketInfo")
      .constructor()
      .method<&MI::get_market_code>("get_market_code")
      .method<&MI::get_name>("get_name")
      .method<&MI::get_trade_day>("get_trade_day")
      .finish();
  // The bundle (often megabytes) is read in place.
  m.function<&trel::load_market_meta_from_json_str>("load_market_meta_from_json_str", "json_bytes");
}

}  // namespace pyvelmora
