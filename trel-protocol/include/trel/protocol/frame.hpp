// The frame every body travels in: magic | total_len | 8-byte header | body,
// all big-endian, plus a splitter that cuts frames from a TCP byte stream.
#pragma once

#include <cstddef>
#include <algorithm>
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

// The header as a value object with the accessor surface callers use.
class NetHeader {
 public:
  uint8_t get_version() const noexcept { return h_.version; }
  void set_version(uint8_t v) noexcept { h_.version = v; }
  uint32_t get_seq() const noexcept { return h_.seq; }
  void set_seq(uint32_t v) noexcept { h_.seq = v; }
  uint8_t get_flag() const noexcept { return h_.flag; }
  void set_flag(uint8_t v) noexcept { h_.flag = v; }
  uint16_t get_cmd() const noexcept { return h_.cmd; }
  void set_cmd(uint16_t v) noexcept { h_.cmd = v; }
  const FrameHeader& header() const noexcept { return h_; }

  std::string encode() const;
  // len only says whether there is anything to read: 0 reads nothing and
  // returns 0; otherwise the first 8 bytes of buf are read (never past its
  // end) and 8 is returned. Errors: "NetHeader decode: header too short
  // (need 8 bytes)", header unchanged.
  uint64_t decode(std::string_view buf, uint64_t len);
  // As decode, with len = buf's size.
  uint64_t decode_string(std::string_view buf);
  NetHeader clone() const { return *this; }

 private:
  FrameHeader h_;
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

// Splits a byte stream into frames. Frames lying whole in the fed data are cut
// from it in place; only a frame that straddles two feeds is gathered in the
// buffer, and only with the bytes it still lacks. Each byte is thus copied at
// most once whatever the chunking, and a declared total_len never allocates by
// itself: the buffer only ever holds bytes actually fed.
//
// A malformed frame is not skipped: it and everything fed after it stay
// buffered and every later feed reports it again, since the stream cannot be
// resynchronised. Errors carry the prefix "RawFrameReader: ".
class RawFrameReader {
 public:
  // Calls on_frame(const FrameHeader&, std::string_view body) for every
  // complete frame now at the front of the stream, oldest first. The body view
  // is valid only during the call. A frame counts as consumed once on_frame
  // returns, so an exception from on_frame leaves that frame buffered.
  template <class OnFrame>
  void feed_each(std::string_view data, OnFrame&& on_frame) {
    size_t used = 0;  // bytes of data already cut into frames or buffered
    try {
      // Finish what earlier feeds left in the buffer, topping it up only with
      // the bytes its front frame still lacks.
      while (pending() > 0) {
        size_t lacking = front_lacking();
        if (lacking == 0) {
          std::string_view live = this->live();
          FrameView f = decode_checked(live.substr(0, next_frame_size(live)));
          on_frame(f.header, f.body);
          consume(kFramePrefixLen + kFrameHeaderLen + f.body.size());
          continue;
        }
        size_t take = std::min(lacking, data.size() - used);
        if (take == 0) return;
        append(data.substr(used, take));
        used += take;
      }
      // The buffer is empty: cut frames straight from the data.
      for (;;) {
        std::string_view rest = data.substr(used);
        size_t size = next_frame_size(rest);
        if (size == 0) break;
        FrameView f = decode_checked(rest.substr(0, size));
        on_frame(f.header, f.body);
        used += size;
      }
    } catch (...) {
      // The offending frame and all that follows it stay for the next feed.
      append(data.substr(used));
      throw;
    }
    append(data.substr(used));
  }
  std::vector<Frame> feed(std::string_view data);

  // Bytes buffered and not yet returned as frames.
  size_t pending() const noexcept { return buf_.size() - head_; }

 private:
  std::string_view live() const noexcept { return std::string_view(buf_).substr(head_); }
  void append(std::string_view data);
  // Bytes the buffered front frame still lacks (to read its size, then to be
  // whole); 0 when it is complete.
  size_t front_lacking() const;
  // Size of the complete frame at the front of bytes, or 0 when more are needed.
  static size_t next_frame_size(std::string_view bytes);
  static FrameView decode_checked(std::string_view frame);
  void consume(size_t n) noexcept;

  std::string buf_;
  size_t head_ = 0;  // bytes at the front of buf_ already returned
};

}  // namespace trel
