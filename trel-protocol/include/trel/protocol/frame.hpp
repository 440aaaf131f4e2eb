// The frame every body travels in: magic | total_len | 8-byte header | body,
// all big-endian, plus a splitter that cuts frames from a TCP byte stream.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "trel/protocol/codec.hpp"

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
  enum class Kind {
    EnvelopeTooShort,
    BadMagic,
    TotalLenTooSmall,
    IncompleteBody,
    HeaderTooShort,
    BodyTooLarge
  };

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

// The body of a frame cut by RawFrameReader::feed_pieces. A frame that began
// in an earlier feed has its front in the reader's buffer and its end in the
// new data (second non-empty); any other frame lies whole in first.
struct BodyPieces {
  std::string_view first;
  std::string_view second;
  size_t size() const noexcept { return first.size() + second.size(); }
};

// Splits a byte stream into frames. Frames lying whole in the fed data are cut
// from it in place; a frame that straddles two feeds is handed out as the part
// buffered so far plus the rest still in the data, so the caller copies each
// body straight to where it wants it. Only the unfinished tail of a feed is
// buffered, and a declared total_len never allocates by itself: the buffer
// only ever holds bytes actually fed.
//
// A malformed frame is not skipped: it and everything fed after it stay
// buffered and every later feed reports it again, since the stream cannot be
// resynchronised. Errors carry the prefix "RawFrameReader: ".
class RawFrameReader {
 public:
  // Calls on_frame(const FrameHeader&, BodyPieces body) for every complete
  // frame now at the front of the stream, oldest first. The pieces are valid
  // only during the call. A frame counts as consumed once on_frame returns, so
  // an exception from on_frame leaves that frame buffered.
  template <class OnFrame>
  void feed_pieces(std::string_view data, OnFrame&& on_frame) {
    size_t used = 0;  // bytes of data already cut into frames or buffered
    try {
      // Finish what earlier feeds left in the buffer.
      while (pending() > 0) {
        if (pending() < kFramePrefixLen) {
          size_t take = std::min(kFramePrefixLen - pending(), data.size());
          append(data.substr(used, take));
          used += take;
          if (pending() < kFramePrefixLen) return;
        }
        std::string_view held = live();
        const auto* p = reinterpret_cast<const uint8_t*>(held.data());
        uint64_t size = checked_frame_size(p);
        if (size <= held.size()) {
          check_total_len(size);
          // Left whole in the buffer by an earlier error in on_frame.
          on_frame(header_at(p + kFramePrefixLen),
                   BodyPieces{held.substr(kFrameHeaderLen + kFramePrefixLen,
                                          size - kFramePrefixLen - kFrameHeaderLen),
                              {}});
          consume(static_cast<size_t>(size));
          continue;
        }
        if (size - held.size() > data.size() - used) {
          append(data.substr(used));
          return;
        }
        // The frame straddles: its front is buffered, the rest is in data.
        check_total_len(size);
        size_t from_data = static_cast<size_t>(size - held.size());
        std::string_view tail = data.substr(used, from_data);
        uint8_t head[kFramePrefixLen + kFrameHeaderLen];
        size_t head_held = std::min(held.size(), sizeof head);
        std::memcpy(head, held.data(), head_held);
        std::memcpy(head + head_held, tail.data(), sizeof head - head_held);
        on_frame(header_at(head + kFramePrefixLen),
                 BodyPieces{held.substr(head_held), tail.substr(sizeof head - head_held)});
        used += from_data;
        consume(held.size());
      }
      // The buffer is empty: cut frames straight from the data.
      for (;;) {
        std::string_view rest = data.substr(used);
        if (rest.size() < kFramePrefixLen) break;
        const auto* p = reinterpret_cast<const uint8_t*>(rest.data());
        uint64_t size = checked_frame_size(p);
        if (size > rest.size()) break;
        check_total_len(size);
        on_frame(header_at(p + kFramePrefixLen),
                 BodyPieces{
                     rest.substr(kFramePrefixLen + kFrameHeaderLen, size - kFramePrefixLen - kFrameHeaderLen),
                     {}});
        used += static_cast<size_t>(size);
      }
    } catch (...) {
      // The offending frame and all that follows it stay for the next feed.
      append(data.substr(used));
      throw;
    }
    append(data.substr(used));
  }

  // As feed_pieces, with each body in one piece: on_frame(const FrameHeader&,
  // std::string_view body). A straddling body is joined in a scratch string.
  template <class OnFrame>
  void feed_each(std::string_view data, OnFrame&& on_frame) {
    std::string joined;
    feed_pieces(data, [&](const FrameHeader& h, BodyPieces body) {
      if (body.second.empty()) return on_frame(h, body.first);
      joined.assign(body.first);
      joined.append(body.second);
      return on_frame(h, std::string_view(joined));
    });
  }
  std::vector<Frame> feed(std::string_view data);

  // Bytes buffered and not yet returned as frames.
  size_t pending() const noexcept { return buf_.size() - head_; }

 private:
  std::string_view live() const noexcept { return std::string_view(buf_).substr(head_); }
  void append(std::string_view data);
  // Size of the frame whose 8-byte prefix is at p (total_len + 8, up to
  // 2^32 + 7). Throws FrameError on a bad magic.
  static uint64_t checked_frame_size(const uint8_t* p) {
    uint32_t magic = detail::load_be<uint32_t>(p);
    if (magic != kNetworkMagic) [[unlikely]]
      fail_magic(magic);
    return uint64_t{detail::load_be<uint32_t>(p + 4)} + kFramePrefixLen;
  }
  static void check_total_len(uint64_t size) {
    if (size < kFramePrefixLen + kFrameHeaderLen) [[unlikely]]
      fail_total_len(static_cast<uint32_t>(size - kFramePrefixLen));
  }
  static FrameHeader header_at(const uint8_t* p) noexcept {
    return {p[0], detail::load_be<uint32_t>(p + 1), p[5], detail::load_be<uint16_t>(p + 6)};
  }
  [[noreturn]] static void fail_magic(uint32_t magic);
  [[noreturn]] static void fail_total_len(uint32_t total_len);
  void consume(size_t n) noexcept;

  std::string buf_;
  size_t head_ = 0;  // bytes at the front of buf_ already returned
};

}  // namespace trel
