// Raw frames: encode_raw_frame, the stream splitter, the frame header and the keep-alive body.
#include <string>
#include <string_view>

#include "registry.hpp"
#include "trel/protocol/frame.hpp"
#include "trel/protocol/net_package.hpp"

namespace pyvelmora {
namespace {

using trel::Keepalive;
using trel::NetHeader;
using trel::RawFrameReader;

std::string encode_raw_frame(uint16_t cmd, uint32_t seq, std::string_view body, uint8_t version, uint8_t flag) {
  try {
    return trel::encode_frame(trel::FrameHeader{version, seq, flag, cmd}, body);
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
py::Object feed(RawFrameReader& self, std::string_view data) {
  py::Object frames = py::Object::steal(py::check(PyList_New(0)));
  self.feed_each(data, [&](const trel::FrameHeader& h, std::string_view body) {
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
      .method<&NetHeader::encode, 1>("encode_string")
      .method<&NetHeader::decode>("decode", "buf, len")
      .method<&NetHeader::decode_string>("decode_string", "buf")
      .method<&NetHeader::clone>("clone")
      .finish();

  py::Class<Keepalive>(m, "Keepalive")
      .constructor()
      .accessors<&Keepalive::utc_now, &Keepalive::set_utc_now>("utc_now")
      .method<&Keepalive::encode>("encode")
      .method<&Keepalive::decode>("decode", "buf")
      .finish();
}

}  // namespace pyvelmora
