// The frame every body travels in: magic | total_len | 8-byte header | body,
// all big-endian, plus a splitter that cuts frames from a TCP byte stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace trel {

inline constexpr uint32_t kNetworkMagic = 0x75F4C465;
// magic + total_len
inline constexpr size_t kFramePrefixLen = 8;
// version u8, seq u32, flag u8, cmd u16
inline constexpr size_t kFrameHeaderLen = 8;
// total_len is a u32 that also counts the header.
inline constexpr uint64_t kMaxFrameBody = 0xFFFFFFFFull - kFrameHeaderLen;

struct FrameHeader {
  uint8_t version = 0;
  uint32_t seq = 0;
  uint8_t flag = 0;
  uint16_t cmd = 0;
  bool operator==(const FrameHeader&) const = default;
};

// A malformed frame. what() is the bare detail ("bad magic 0x... (expected
// 0x75f4c465)"); each caller adds the prefix that names its operation.
class FrameError : public std::runtime_error {
 public:
  enum class Kind { EnvelopeTooShort, BadMagic, TotalLenTooSmall, IncompleteBody, HeaderTooShort, BodyTooLarge };

  static FrameError envelope_too_short();
  static FrameError bad_magic(uint32_t found);
  static FrameError total_len_too_small(uint32_t total_len);
  static FrameError incomplete_body(uint32_t total_len, uint64_t got);
  static FrameError header_too_short();
  static FrameError body_too_large(uint64_t size);

  Kind kind() const noexcept { return kind_; }
  // The same error with its text behind an operation prefix.
  FrameError prefixed(std::string_view prefix) const;

 private:
  FrameError(Kind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
  Kind kind_;
};

// A decoded frame whose body still points into the decoder's input.
struct FrameView {
  FrameHeader header;
  std::string_view body;
};

struct Frame {
  FrameHeader header;
  std::string body;
};

// The 8 header bytes alone.
std::string encode_frame_header(const FrameHeader& h);
// Throws FrameError "header too short (need 8 bytes)" below 8 bytes; reads the first 8.
FrameHeader decode_frame_header(std::string_view buf);

// The whole frame; the output is sized once. Throws FrameError when the body
// is too long for the u32 total_len rather than writing a wrapped length.
std::string encode_frame(const FrameHeader& h, std::string_view body);

// Size of the frame at the front of buf (total_len + 8, up to 2^32 + 7), or
// nullopt while fewer than 8 bytes are present. Throws FrameError on a bad magic.
std::optional<uint64_t> peek_frame_size(std::string_view buf);

// One frame from the start of buf; bytes after it are not looked at.
FrameView decode_frame_view(std::string_view buf);
Frame decode_frame(std::string_view buf);

// Splits a byte stream into frames. Consumed bytes are skipped with an offset
// and compacted away only once they outweigh the live remainder, so feeding
// stays linear however the stream is chunked. A declared total_len never
// allocates by itself: the buffer only ever holds bytes actually fed.
//
// A malformed frame is not skipped: it stays at the front and every later feed
// reports it again, since the stream cannot be resynchronised. Errors carry the
// prefix "RawFrameReader: ".
class RawFrameReader {
 public:
  // Appends data, then calls on_frame(const FrameHeader&, std::string_view body)
  // for every complete frame at the front, oldest first. The body view is valid
  // only during the call. A frame counts as consumed once on_frame returns, so
  // an exception from on_frame leaves that frame buffered.
  template <class OnFrame>
  void feed_each(std::string_view data, OnFrame&& on_frame) {
    append(data);
    for (;;) {
      std::string_view live = this->live();
      size_t size = next_frame_size(live);
      if (size == 0) return;
      FrameView f = decode_checked(live.substr(0, size));
      on_frame(f.header, f.body);
      consume(size);
    }
  }
  std::vector<Frame> feed(std::string_view data);

  // Bytes buffered and not yet returned as frames.
  size_t pending() const noexcept { return buf_.size() - head_; }

 private:
  std::string_view live() const noexcept { return std::string_view(buf_).substr(head_); }
  void append(std::string_view data);
  // Size of the complete frame at the front of live, or 0 when more bytes are needed.
  static size_t next_frame_size(std::string_view live);
  static FrameView decode_checked(std::string_view frame);
  void consume(size_t n) noexcept;

  std::string buf_;
  size_t head_ = 0;  // bytes at the front of buf_ already returned
};

}  // namespace trel
