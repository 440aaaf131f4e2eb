#include "trel/protocol/net_package.hpp"

#include <stdexcept>

#include "trel/protocol/codec.hpp"
#include "trel/protocol/frame.hpp"
#include "trel/protocol/snappy.hpp"

namespace trel {

namespace {

// A raw Snappy block records its uncompressed length as a varint32.
constexpr uint64_t kMaxSnappyInput = 0xFFFFFFFFull;

FrameError frame_error(const FrameError& e) { return e.prefixed("NetPackage frame: "); }

}  // namespace

std::string NetPackage::encode_raw() const {
  try {
    return encode_frame(FrameHeader{kVersion, seq_, kFlag, cmd_}, content_);
  } catch (const FrameError& e) {
    throw frame_error(e);
  }
}

std::string NetPackage::encode_string() const {
  std::string frame = encode_raw();
  if (frame.size() > kMaxSnappyInput)
    throw std::runtime_error("NetPackage snappy compress: input of " + std::to_string(frame.size()) +
                             " bytes exceeds the block limit (" + std::to_string(kMaxSnappyInput) + " bytes)");
  try {
    return snappy::compress(frame);
  } catch (const snappy::Error& e) {
    throw std::runtime_error(std::string("NetPackage snappy compress: ") + e.what());
  }
}

uint64_t NetPackage::decode_string(std::string_view buf) {
  if (buf.empty()) return 0;
  std::string plain;
  try {
    plain = snappy::decompress(buf);
  } catch (const snappy::Error& e) {
    throw std::runtime_error(std::string("NetPackage snappy decompress: ") + e.what());
  }
  FrameView f;
  try {
    f = decode_frame_view(plain);
  } catch (const FrameError& e) {
    throw frame_error(e);
  }
  content_.assign(f.body);
  cmd_ = f.header.cmd;
  seq_ = f.header.seq;
  length_ = static_cast<int64_t>(plain.size());
  return f.body.size();
}

uint64_t NetPackage::decode_raw(std::string_view buf) {
  FrameView f;
  uint64_t size;
  try {
    std::optional<uint64_t> peeked = peek_frame_size(buf);
    if (!peeked || *peeked > buf.size()) return 0;
    size = *peeked;
    f = decode_frame_view(buf.substr(0, size));
  } catch (const FrameError& e) {
    throw frame_error(e);
  }
  content_.assign(f.body);
  cmd_ = f.header.cmd;
  seq_ = f.header.seq;
  length_ = static_cast<int64_t>(size);
  return size;
}

std::string Keepalive::encode() const {
  Writer w(4);
  w.put_u32_le(static_cast<uint32_t>(utc_now_));
  return w.take();
}

void Keepalive::decode(std::string_view buf) {
  if (buf.size() < 4) throw std::runtime_error("Keepalive decode: buffer < 4 bytes");
  utc_now_ = static_cast<int32_t>(detail::load_le<uint32_t>(reinterpret_cast<const uint8_t*>(buf.data())));
}

}  // namespace trel
