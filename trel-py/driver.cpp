// NetPackage: a body in a frame, Snappy-wrapped for the WebSocket or bare for TCP.
#include <string>
#include <string_view>

#include "registry.hpp"
#include "trel/protocol/net_package.hpp"

namespace pyvelmora {
namespace {

using trel::NetPackage;

// Packets are built in a per-thread buffer and copied once, into the bytes
// object; a rare huge packet does not keep its memory.
py::Object encode_string(const NetPackage& p) {
  thread_local std::string buf;
  struct Trim {
    ~Trim() {
      if (buf.capacity() > (size_t{1} << 20)) std::string().swap(buf);
    }
  } trim;
  std::string_view packet = p.encode_string_into(buf);
  return py::Object::steal(
      py::check(PyBytes_FromStringAndSize(packet.data(), static_cast<Py_ssize_t>(packet.size()))));
}

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
      .method<&encode_string>("encode_string")
      .method<&encode_string, 1>("encode")
      .method<&NetPackage::decode_string>("decode_string", "buf")
      .method<&decode>("decode", "buf, _len")
      .method<&NetPackage::encode_raw>("encode_raw")
      .method<&NetPackage::decode_raw>("decode_raw", "buf")
      .finish();
}

}  // namespace pyvelmora
