// Raw frames: encode_raw_frame, the stream splitter, the frame header and the keep-alive body.
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "registry.hpp"
#include "trel/protocol/frame.hpp"
#include "trel/protocol/net_package.hpp"

namespace pyvelmora {
namespace {

using trel::Keepalive;
using trel::NetHeader;
using trel::RawFrameReader;

std::string encode_raw_frame(uint16_t cmd, uint32_t seq, std::string_view body, uint8_t version,
                             uint8_t flag) {
  try {
    return trel::encode_frame(trel::FrameHeader{version, seq, flag, cmd}, body);
  } catch (const trel::FrameError& e) {
    throw e.prefixed("encode_raw_frame: ");
  }
}

// One (cmd, seq, version, flag, body) tuple. The body bytes object is
// allocated at its final size and filled from the pieces, so a frame that
// straddled two feeds is copied once more only for its buffered front.
PyObject* frame_tuple(const trel::FrameHeader& h, trel::BodyPieces body) {
  py::Object bytes =
      py::Object::steal(py::check(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(body.size()))));
  char* out = PyBytes_AsString(bytes.get());
  if (!out) throw py::error_already_set{};
  if (!body.first.empty()) std::memcpy(out, body.first.data(), body.first.size());
  if (!body.second.empty()) std::memcpy(out + body.first.size(), body.second.data(), body.second.size());
  py::Object t = py::Object::steal(py::check(PyTuple_New(5)));
  // PyTuple_SetItem steals the item, so it must exist first.
  PyObject* items[5] = {PyLong_FromLong(h.cmd), PyLong_FromUnsignedLong(h.seq), PyLong_FromLong(h.version),
                        PyLong_FromLong(h.flag), bytes.release()};
  bool failed = false;
  for (Py_ssize_t i = 0; i < 5; ++i) {
    failed |= items[i] == nullptr;
    if (PyTuple_SetItem(t.get(), i, items[i]) < 0) failed = true;
  }
  if (failed) throw py::error_already_set{};
  return t.release();
}

// Tuples wait in a small array and go into a list of the right size at the
// end; frames already cut in this call are dropped if an error follows.
class Collected {
 public:
  Collected() = default;
  Collected(const Collected&) = delete;
  Collected& operator=(const Collected&) = delete;
  ~Collected() {
    for (size_t i = 0; i < size(); ++i) Py_DECREF(at(i));
  }
  void push(PyObject* o) {
    if (n_ < kInline)
      inline_[n_] = o;
    else {
      try {
        more_.push_back(o);
      } catch (...) {
        Py_DECREF(o);
        throw;
      }
    }
    ++n_;
  }
  py::Object take() {
    py::Object list = py::Object::steal(py::check(PyList_New(static_cast<Py_ssize_t>(n_))));
    size_t n = std::exchange(n_, 0);
    for (size_t i = 0; i < n; ++i)
      PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), i < kInline ? inline_[i] : more_[i - kInline]);
    more_.clear();
    return list;
  }

 private:
  static constexpr size_t kInline = 32;
  size_t size() const noexcept { return n_; }
  PyObject* at(size_t i) const noexcept { return i < kInline ? inline_[i] : more_[i - kInline]; }
  PyObject* inline_[kInline];
  std::vector<PyObject*> more_;
  size_t n_ = 0;
};

py::Object feed(RawFrameReader& self, std::string_view data) {
  Collected frames;
  self.feed_pieces(
      data, [&](const trel::FrameHeader& h, trel::BodyPieces body) { frames.push(frame_tuple(h, body)); });
  return frames.take();
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
