// The packet a body is sent in: a frame (version 4, flag 0), bare on the
// storage ring's TCP ports or raw-Snappy-compressed on the trade-manager
// WebSocket, and the keep-alive body.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace trel {

class NetPackage {
 public:
  static constexpr uint8_t kVersion = 4;
  static constexpr uint8_t kFlag = 0;

  uint16_t cmd() const noexcept { return cmd_; }
  // Keeps the low 16 bits, so -1 becomes 65535.
  void set_cmd(int32_t v) noexcept { cmd_ = static_cast<uint16_t>(v); }
  uint32_t seq() const noexcept { return seq_; }
  void set_seq(uint32_t v) noexcept { seq_ = v; }
  // Size of the last decoded frame. Held wider than its 32-bit setter so a
  // frame over 2 GiB is not reported as a negative size.
  int64_t length() const noexcept { return length_; }
  void set_length(int32_t v) noexcept { length_ = v; }
  const std::string& content() const noexcept { return content_; }
  void set_content(std::string v) noexcept { content_ = std::move(v); }

  // The frame, raw-Snappy-compressed. Errors: "NetPackage snappy compress: ...".
  std::string encode_string() const;
  // As encode_string, built in buf, which only ever grows (so a reused buffer
  // is neither reallocated nor cleared again); the packet is a view into buf.
  std::string_view encode_string_into(std::string& buf) const;
  // The bare frame.
  std::string encode_raw() const;

  // Parses a compressed packet and returns the body length; an empty buf
  // changes nothing and returns 0. Errors ("NetPackage snappy decompress: ...",
  // "NetPackage frame: ...") leave the package unchanged.
  uint64_t decode_string(std::string_view buf);
  // Parses one bare frame from the front of buf and returns its size, or 0
  // while buf does not hold a whole frame yet. Errors: "NetPackage frame: ...".
  uint64_t decode_raw(std::string_view buf);

 private:
  uint16_t cmd_ = 0;
  uint32_t seq_ = 0;
  int64_t length_ = 0;
  std::string content_;
};

// The keep-alive body: utc_now as 4 little-endian bytes, unlike every other body.
class Keepalive {
 public:
  int32_t utc_now() const noexcept { return utc_now_; }
  void set_utc_now(int32_t v) noexcept { utc_now_ = v; }

  std::string encode() const;
  // Reads the first 4 bytes; throws "Keepalive decode: buffer < 4 bytes" below that.
  void decode(std::string_view buf);

 private:
  int32_t utc_now_ = 0;
};

}  // namespace trel
