// Frame decode, stream splitting and packet decode on arbitrary bytes. Beyond
// "no crash", checks that a decoded frame re-encodes to the bytes it came from
// and that chunked feeding yields what one whole feed yields.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "trel/protocol/frame.hpp"
#include "trel/protocol/net_package.hpp"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

bool same(const std::vector<trel::Frame>& a, const std::vector<trel::Frame>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!(a[i].header == b[i].header) || a[i].body != b[i].body) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // First byte: chunk size for the splitter; the rest is the stream.
  size_t chunk = data[0] % 32 + 1;
  std::string_view in(reinterpret_cast<const char*>(data) + 1, size - 1);

  try {
    trel::FrameView f = trel::decode_frame_view(in);
    std::string again = trel::encode_frame(f.header, f.body);
    check(in.substr(0, again.size()) == again);
  } catch (const trel::FrameError&) {
  }

  trel::RawFrameReader whole;
  std::vector<trel::Frame> all;
  bool whole_failed = false;
  try {
    all = whole.feed(in);
  } catch (const trel::FrameError&) {
    whole_failed = true;
  }
  trel::RawFrameReader pieces;
  std::vector<trel::Frame> got;
  bool pieces_failed = false;
  for (size_t at = 0; at < in.size() && !pieces_failed; at += chunk) {
    try {
      for (auto& f : pieces.feed(in.substr(at, chunk))) got.push_back(std::move(f));
    } catch (const trel::FrameError&) {
      pieces_failed = true;
    }
  }
  check(whole_failed == pieces_failed);
  if (!whole_failed) {
    check(same(all, got));
    check(whole.pending() == pieces.pending());
  }

  trel::NetPackage p;
  try {
    uint64_t n = p.decode_raw(in);
    check(n <= in.size());
    // Version and flag are not kept, so only the size must match.
    if (n) check(p.encode_raw().size() == n);
  } catch (const trel::FrameError&) {
  }
  try {
    uint64_t n = p.decode_string(in);
    check(n == p.content().size());
    trel::NetPackage q;
    check(q.decode_string(p.encode_string()) == n && q.content() == p.content() && q.cmd() == p.cmd());
  } catch (const std::runtime_error&) {
  }
  trel::Keepalive k;
  try {
    k.decode(in);
    check(k.encode() == std::string(in.substr(0, 4)));
  } catch (const std::runtime_error&) {
  }
  return 0;
}
