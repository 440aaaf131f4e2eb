// NetPackage: a body in a frame, Snappy-wrapped for the WebSocket or bare for TCP.
#include <string_view>

#include "registry.hpp"
#include "trel/protocol/net_package.hpp"

namespace pyvelmora {
namespace {

using trel::NetPackage;

// The length argument is converted for the callers that pass one and otherwise unused.
uint64_t decode(NetPackage& p, std::string_view buf, uint64_t) { return p.decode_string(buf); }

}  // namespace

void register_net_package(py::Module& m) {
  py::Class<NetPackage>(m, "NetPackage")
      .constructor()
      .accessors<&NetPackage::cmd, &NetPackage::set_cmd>("cmd")
      .accessors<&NetPackage::seq, &NetPackage::set_seq>("seq")
      .accessors<&NetPackage::length, &NetPackage::set_length>("length")
      .accessors<&NetPackage::content, &NetPackage::set_content>("content")
      .method<&NetPackage::encode_string>("encode_string")
      .method<&NetPackage::encode_string, 1>("encode")
      .method<&NetPackage::decode_string>("decode_string", "buf")
      .method<&decode>("decode", "buf, _len")
      .method<&NetPackage::encode_raw>("encode_raw")
      .method<&NetPackage::decode_raw>("decode_raw", "buf")
      .finish();
}

}  // namespace pyvelmora
