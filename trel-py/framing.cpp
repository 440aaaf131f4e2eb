// Raw frames: encode_raw_frame, the stream splitter, the frame header and the keep-alive body.
#include <string>
#include <string_view>
#include <type_traits>

#include "registry.hpp"
#include "trel/protocol/frame.hpp"
#include "trel/protocol/net_package.hpp"

namespace pyvelmora {
namespace {

// A bytes argument read in place: the caller's object outlives the call, so
// stream chunks and packets are not copied on the way in.
struct BytesView {
  std::string_view v;
};

}  // namespace
}  // namespace pyvelmora

template <>
struct py::Conv<pyvelmora::BytesView> {
  static constexpr bool bound = false;
  static pyvelmora::BytesView from(PyObject* o) {
    if (!PyBytes_Check(o)) raise_cannot_convert(o, "PyBytes");
    char* p = nullptr;
    Py_ssize_t n = 0;
    if (PyBytes_AsStringAndSize(o, &p, &n) < 0) throw error_already_set{};
    return {std::string_view(p, static_cast<size_t>(n))};
  }
};

namespace pyvelmora {
namespace {

using trel::Keepalive;
using trel::NetHeader;
using trel::RawFrameReader;

std::string encode_raw_frame(uint16_t cmd, uint32_t seq, BytesView body, uint8_t version, uint8_t flag) {
  try {
    return trel::encode_frame(trel::FrameHeader{version, seq, flag, cmd}, body.v);
  } catch (const trel::FrameError& e) {
    throw e.prefixed("encode_raw_frame: ");
  }
}

void set_item(PyObject* tuple, Py_ssize_t i, PyObject* item) {
  // PyTuple_SetItem steals the item, so it must exist first.
  if (PyTuple_SetItem(tuple, i, py::check(item)) < 0) throw py::error_already_set{};
}

// Tuples are built straight from the buffered bytes: each body is copied once,
// into its bytes object. Frames already cut in this call are dropped with the
// list if an error follows.
// A member function taking std::string_view, exposed with bytes read in place.
// Tag tells apart two Python names bound to one member (encode / encode_string).
template <class P>
using FromPython = std::conditional_t<std::is_same_v<P, std::string_view>, BytesView, P>;
template <class P>
P to_native(P v) {
  return v;
}
std::string_view to_native(BytesView b) { return b.v; }

template <auto F, int Tag = 0>
struct InPlace;
template <class R, class C, class... A, R (C::*F)(A...), int Tag>
struct InPlace<F, Tag> {
  static R call(C& self, FromPython<A>... a) { return (self.*F)(to_native(a)...); }
};
template <class R, class C, class... A, R (C::*F)(A...) const, int Tag>
struct InPlace<F, Tag> {
  static R call(const C& self, FromPython<A>... a) { return (self.*F)(to_native(a)...); }
};
template <auto F, int Tag = 0>
constexpr auto in_place = &InPlace<F, Tag>::call;

py::Object feed(RawFrameReader& self, BytesView data) {
  py::Object frames = py::Object::steal(py::check(PyList_New(0)));
  self.feed_each(data.v, [&](const trel::FrameHeader& h, std::string_view body) {
    py::Object t = py::Object::steal(py::check(PyTuple_New(5)));
    set_item(t.get(), 0, PyLong_FromLong(h.cmd));
    set_item(t.get(), 1, PyLong_FromUnsignedLong(h.seq));
    set_item(t.get(), 2, PyLong_FromLong(h.version));
    set_item(t.get(), 3, PyLong_FromLong(h.flag));
    set_item(t.get(), 4, PyBytes_FromStringAndSize(body.data(), static_cast<Py_ssize_t>(body.size())));
    if (PyList_Append(frames.get(), t.get()) < 0) throw py::error_already_set{};
  });
  return frames;
}

}  // namespace

void register_framing(py::Module& m) {
  m.function<&encode_raw_frame>("encode_raw_frame", "cmd, seq, body, version=4, flag=0");

  py::Class<RawFrameReader>(m, "RawFrameReader")
      .constructor()
      .method<&feed>("feed", "data")
      .method<&RawFrameReader::pending>("pending")
      .finish();

  py::Class<NetHeader>(m, "NetHeader")
      .constructor()
      .accessors<&NetHeader::get_version, &NetHeader::set_version>("version")
      .accessors<&NetHeader::get_seq, &NetHeader::set_seq>("seq")
      .accessors<&NetHeader::get_flag, &NetHeader::set_flag>("flag")
      .accessors<&NetHeader::get_cmd, &NetHeader::set_cmd>("cmd")
      .method<&NetHeader::encode>("encode")
      .method<in_place<&NetHeader::encode, 1>>("encode_string")
      .method<in_place<&NetHeader::decode>>("decode", "buf, len")
      .method<in_place<&NetHeader::decode_string>>("decode_string", "buf")
      .method<&NetHeader::clone>("clone")
      .finish();

  py::Class<Keepalive>(m, "Keepalive")
      .constructor()
      .accessors<&Keepalive::utc_now, &Keepalive::set_utc_now>("utc_now")
      .method<&Keepalive::encode>("encode")
      .method<in_place<&Keepalive::decode>>("decode", "buf")
      .finish();
}

}  // namespace pyvelmora
