#include "trel/protocol/net_package.hpp"

#include <snappy.h>

#include <cstring>
#include <stdexcept>

#include "trel/protocol/codec.hpp"
#include "trel/protocol/frame.hpp"
#include "trel/protocol/snappy.hpp"

namespace trel {

namespace {

// A raw Snappy block records its uncompressed length as a varint32.
constexpr uint64_t kMaxSnappyInput = 0xFFFFFFFFull;

// Scratch memory kept between calls; a buffer grown past this is released.
constexpr size_t kKeepScratch = size_t{1} << 20;

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
  std::string buf;
  return std::string(encode_string_into(buf));
}

std::string_view NetPackage::encode_string_into(std::string& buf) const {
  const uint64_t frame_size = kFramePrefixLen + kFrameHeaderLen + uint64_t{content_.size()};
  if (content_.size() > kMaxFrameBody) throw frame_error(FrameError::body_too_large(content_.size()));
  if (frame_size > kMaxSnappyInput)
    throw std::runtime_error("NetPackage snappy compress: input of " + std::to_string(frame_size) +
                             " bytes exceeds the block limit (" + std::to_string(kMaxSnappyInput) +
                             " bytes)");
  // The frame is written at the front of buf and compressed to just behind it.
  const size_t plain = static_cast<size_t>(frame_size);
  const size_t need = plain + ::snappy::MaxCompressedLength(plain);
  if (buf.size() < need) buf.resize(need);
  auto* out = reinterpret_cast<uint8_t*>(buf.data());
  auto put_be = [](uint8_t* p, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, v >>= 8) p[i] = static_cast<uint8_t>(v);
  };
  put_be(out, kNetworkMagic, 4);
  put_be(out + 4, content_.size() + kFrameHeaderLen, 4);
  out[8] = kVersion;
  put_be(out + 9, seq_, 4);
  out[13] = kFlag;
  put_be(out + 14, cmd_, 2);
  if (!content_.empty())
    std::memcpy(out + kFramePrefixLen + kFrameHeaderLen, content_.data(), content_.size());
  size_t packed = 0;
  ::snappy::RawCompress(buf.data(), plain, buf.data() + plain, &packed);
  return std::string_view(buf).substr(plain, packed);
}

uint64_t NetPackage::decode_string(std::string_view buf) {
  if (buf.empty()) return 0;
  // Reused per thread so a stream of packets does not allocate and clear a
  // buffer for each; a rare huge packet does not keep its memory.
  thread_local std::string scratch;
  struct Trim {
    ~Trim() {
      if (scratch.capacity() > kKeepScratch) std::string().swap(scratch);
    }
  } trim;
  std::string_view plain;
  try {
    plain = snappy::decompress_into(buf, scratch);
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
