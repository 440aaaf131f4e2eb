// Market-meta bundles: the loader, MarketMeta with its row conversion, MarketInfo.
#include "registry.hpp"
#include "trel/protocol/market_meta.hpp"

namespace pyvelmora {
namespace {

// A bundle is often megabytes: read the bytes object in place rather than copy it.
struct BytesView {
  std::string_view bytes;
};

}  // namespace
}  // namespace pyvelmora

template <>
struct py::Conv<pyvelmora::BytesView> {
  static constexpr bool bound = false;
  // Valid while the argument object lives, i.e. for the call.
  static pyvelmora::BytesView from(PyObject* o) {
    if (!PyBytes_Check(o)) raise_cannot_convert(o, "PyBytes");
    char* p = nullptr;
    Py_ssize_t n = 0;
    if (PyBytes_AsStringAndSize(o, &p, &n) < 0) throw error_already_set{};
    return {std::string_view(p, static_cast<size_t>(n))};
  }
  static PyObject* to(const pyvelmora::BytesView& v) { return Conv<std::string>::to(std::string(v.bytes)); }
};

namespace pyvelmora {
namespace {

std::vector<trel::MarketMeta> load_bundle(BytesView json_bytes) {
  return trel::load_market_meta_from_json_str(json_bytes.bytes);
}

}  // namespace

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
  m.function<&load_bundle>("load_market_meta_from_json_str", "json_bytes");
}

}  // namespace pyvelmora
