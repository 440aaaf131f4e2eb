#include "trel/protocol/frame.hpp"

#include <cstdio>

#include "trel/protocol/codec.hpp"

namespace trel {

namespace {

std::string hex8(uint32_t v) {
  char out[16];
  std::snprintf(out, sizeof out, "%08x", v);
  return out;
}

void put_header(Writer& w, const FrameHeader& h) {
  w.put_u8(h.version);
  w.put_u32(h.seq);
  w.put_u8(h.flag);
  w.put_u16(h.cmd);
}

// An emptied buffer keeps its capacity for the next frames, unless one huge
// frame left it oversized.
constexpr size_t kKeepCapacity = size_t{1} << 20;

}  // namespace

FrameError FrameError::envelope_too_short() {
  return {Kind::EnvelopeTooShort, "envelope too short (need 8 bytes)"};
}

FrameError FrameError::bad_magic(uint32_t found) {
  return {Kind::BadMagic, "bad magic 0x" + hex8(found) + " (expected 0x" + hex8(kNetworkMagic) + ")"};
}

FrameError FrameError::total_len_too_small(uint32_t total_len) {
  return {Kind::TotalLenTooSmall, "total_len " + std::to_string(total_len) +
                                      " is smaller than header length (" + std::to_string(kFrameHeaderLen) +
                                      ")"};
}

FrameError FrameError::incomplete_body(uint32_t total_len, uint64_t got) {
  return {Kind::IncompleteBody,
          "incomplete body: need " + std::to_string(total_len) + " bytes, got " + std::to_string(got)};
}

FrameError FrameError::header_too_short() {
  return {Kind::HeaderTooShort, "header too short (need 8 bytes)"};
}

FrameError FrameError::body_too_large(uint64_t size) {
  return {Kind::BodyTooLarge, "body of " + std::to_string(size) + " bytes exceeds the frame limit (" +
                                  std::to_string(kMaxFrameBody) + " bytes)"};
}

FrameError FrameError::prefixed(std::string_view prefix) const {
  return {kind_, std::string(prefix) + what()};
}

std::string encode_frame_header(const FrameHeader& h) {
  Writer w(kFrameHeaderLen);
  put_header(w, h);
  return w.take();
}

FrameHeader decode_frame_header(std::string_view buf) {
  if (buf.size() < kFrameHeaderLen) throw FrameError::header_too_short();
  Reader r(buf);
  FrameHeader h;
  h.version = r.get_u8();
  h.seq = r.get_u32();
  h.flag = r.get_u8();
  h.cmd = r.get_u16();
  return h;
}

std::string NetHeader::encode() const { return encode_frame_header(h_); }

uint64_t NetHeader::decode(std::string_view buf, uint64_t len) {
  if (len == 0) return 0;
  try {
    h_ = decode_frame_header(buf);
  } catch (const FrameError& e) {
    throw e.prefixed("NetHeader decode: ");
  }
  return kFrameHeaderLen;
}

uint64_t NetHeader::decode_string(std::string_view buf) { return decode(buf, buf.size()); }

std::string encode_frame(const FrameHeader& h, std::string_view body) {
  if (body.size() > kMaxFrameBody) throw FrameError::body_too_large(body.size());
  Writer w(kFramePrefixLen + kFrameHeaderLen + body.size());
  w.put_u32(kNetworkMagic);
  w.put_u32(static_cast<uint32_t>(body.size() + kFrameHeaderLen));
  put_header(w, h);
  w.put_raw(body);
  return w.take();
}

std::optional<uint64_t> peek_frame_size(std::string_view buf) {
  if (buf.size() < kFramePrefixLen) return std::nullopt;
  const auto* p = reinterpret_cast<const uint8_t*>(buf.data());
  uint32_t magic = detail::load_be<uint32_t>(p);
  if (magic != kNetworkMagic) throw FrameError::bad_magic(magic);
  return uint64_t{detail::load_be<uint32_t>(p + 4)} + kFramePrefixLen;
}

FrameView decode_frame_view(std::string_view buf) {
  if (buf.size() < kFramePrefixLen) throw FrameError::envelope_too_short();
  const auto* p = reinterpret_cast<const uint8_t*>(buf.data());
  uint32_t magic = detail::load_be<uint32_t>(p);
  if (magic != kNetworkMagic) throw FrameError::bad_magic(magic);
  uint32_t total_len = detail::load_be<uint32_t>(p + 4);
  if (total_len < kFrameHeaderLen) throw FrameError::total_len_too_small(total_len);
  size_t after_prefix = buf.size() - kFramePrefixLen;
  if (after_prefix < total_len) throw FrameError::incomplete_body(total_len, after_prefix);
  FrameView f;
  f.header = decode_frame_header(buf.substr(kFramePrefixLen, kFrameHeaderLen));
  f.body = buf.substr(kFramePrefixLen + kFrameHeaderLen, total_len - kFrameHeaderLen);
  return f;
}

Frame decode_frame(std::string_view buf) {
  FrameView v = decode_frame_view(buf);
  return {v.header, std::string(v.body)};
}

std::vector<Frame> RawFrameReader::feed(std::string_view data) {
  std::vector<Frame> out;
  feed_pieces(data, [&out](const FrameHeader& h, BodyPieces body) {
    std::string joined;
    joined.reserve(body.size());
    joined.append(body.first).append(body.second);
    out.push_back({h, std::move(joined)});
  });
  return out;
}

void RawFrameReader::append(std::string_view data) {
  if (data.empty()) return;
  // Compact only when the consumed prefix is at least as long as what is left:
  // each byte moved is paid for by a byte already returned, so the total work
  // stays linear in the bytes fed.
  if (head_ > 0 && head_ >= buf_.size() - head_) {
    buf_.erase(0, head_);
    head_ = 0;
  }
  buf_.append(data);
}

void RawFrameReader::fail_magic(uint32_t magic) {
  throw FrameError::bad_magic(magic).prefixed("RawFrameReader: ");
}

void RawFrameReader::fail_total_len(uint32_t total_len) {
  throw FrameError::total_len_too_small(total_len).prefixed("RawFrameReader: ");
}

void RawFrameReader::consume(size_t n) noexcept {
  head_ += n;
  if (head_ == buf_.size()) {
    head_ = 0;
    if (buf_.capacity() > kKeepCapacity)
      std::string().swap(buf_);
    else
      buf_.clear();
  }
}

}  // namespace trel
