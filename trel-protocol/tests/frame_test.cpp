#include "trel/protocol/frame.hpp"

#include <gtest/gtest.h>

#include <functional>

#include "trel/testing.hpp"

using trel::Frame;
using trel::FrameError;
using trel::FrameHeader;
using trel::RawFrameReader;

namespace {

using trel::test_support::error_of;
using trel::test_support::unhex;

TEST(EncodeFrame, DocumentedBytes) {
  EXPECT_EQ(trel::encode_frame(FrameHeader{4, 7, 0, 0x5006}, ""),
            unhex("75 F4 C4 65 00 00 00 08 04 00 00 00 07 00 50 06"));
  EXPECT_EQ(trel::encode_frame(FrameHeader{9, 2, 3, 1}, "ab"),
            unhex("75 F4 C4 65 00 00 00 0A 09 00 00 00 02 03 00 01 61 62"));
  // Every field at its full width, in order.
  EXPECT_EQ(trel::encode_frame(FrameHeader{0xFE, 0xA1B2C3D4, 0x7F, 0xFFEE}, "z"),
            unhex("75 F4 C4 65 00 00 00 09 FE A1 B2 C3 D4 7F FF EE 7A"));
}

TEST(FrameHeaderCodec, EncodeDecode) {
  EXPECT_EQ(trel::encode_frame_header(FrameHeader{}), std::string(8, '\0'));
  FrameHeader h{9, 0x01020304, 0x80, 0xBEEF};
  EXPECT_EQ(trel::encode_frame_header(h), unhex("09 01 02 03 04 80 BE EF"));
  // Only the first 8 bytes count.
  EXPECT_EQ(trel::decode_frame_header(unhex("09 01 02 03 04 80 BE EF FF FF")), h);
  for (size_t n = 0; n < 8; ++n)
    EXPECT_EQ(error_of([&] { trel::decode_frame_header(std::string(n, '\x01')); }),
              "header too short (need 8 bytes)")
        << n;
}

struct BadFrame {
  const char* name;
  std::string input;
  std::string text;
  FrameError::Kind kind;
};

void PrintTo(const BadFrame& c, std::ostream* os) { *os << c.name; }

class DecodeFrameErrors : public ::testing::TestWithParam<BadFrame> {};

TEST_P(DecodeFrameErrors, ReportTheDocumentedText) {
  const auto& c = GetParam();
  try {
    trel::decode_frame(c.input);
    FAIL() << "no error";
  } catch (const FrameError& e) {
    EXPECT_EQ(std::string(e.what()), c.text);
    EXPECT_EQ(e.kind(), c.kind);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeFrameErrors,
    ::testing::Values(
        BadFrame{"Empty", "", "envelope too short (need 8 bytes)", FrameError::Kind::EnvelopeTooShort},
        BadFrame{"SevenBytes", unhex("75 F4 C4 65 00 00 00"), "envelope too short (need 8 bytes)",
                 FrameError::Kind::EnvelopeTooShort},
        BadFrame{"ZeroMagic", unhex("00 00 00 00 00 00 00 08"), "bad magic 0x00000000 (expected 0x75f4c465)",
                 FrameError::Kind::BadMagic},
        BadFrame{"ByteSwappedMagic", unhex("65 C4 F4 75 00 00 00 08 04 00 00 00 07 00 50 06"),
                 "bad magic 0x65c4f475 (expected 0x75f4c465)", FrameError::Kind::BadMagic},
        BadFrame{"TotalLenZero", unhex("75 F4 C4 65 00 00 00 00"),
                 "total_len 0 is smaller than header length (8)", FrameError::Kind::TotalLenTooSmall},
        BadFrame{"TotalLenSeven", unhex("75 F4 C4 65 00 00 00 07 01 02 03 04 05 06 07"),
                 "total_len 7 is smaller than header length (8)", FrameError::Kind::TotalLenTooSmall},
        BadFrame{"HeaderCut", unhex("75 F4 C4 65 00 00 00 08 04 00 00"),
                 "incomplete body: need 8 bytes, got 3", FrameError::Kind::IncompleteBody},
        BadFrame{"BodyCut", unhex("75 F4 C4 65 00 00 00 0A 09 00 00 00 02 03 00 01 61"),
                 "incomplete body: need 10 bytes, got 9", FrameError::Kind::IncompleteBody},
        BadFrame{"HugeTotalLen", unhex("75 F4 C4 65 FF FF FF FF 04 00 00 00 07 00 50 06"),
                 "incomplete body: need 4294967295 bytes, got 8", FrameError::Kind::IncompleteBody}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeFrame, ReadsHeaderAndBodyAndIgnoresTrailingBytes) {
  std::string bytes = unhex("75 F4 C4 65 00 00 00 0A 09 00 00 00 02 03 00 01 61 62 75 F4");
  Frame f = trel::decode_frame(bytes);
  EXPECT_EQ(f.header, (FrameHeader{9, 2, 3, 1}));
  EXPECT_EQ(f.body, "ab");
  trel::FrameView v = trel::decode_frame_view(bytes);
  EXPECT_EQ(v.body.data(), bytes.data() + 16);
}

TEST(DecodeFrame, RoundTripsBinaryBodies) {
  std::string body;
  for (int i = 0; i < 70000; ++i) body += static_cast<char>(i * 31 % 256);
  FrameHeader h{4, 0xFFFFFFFF, 0xFF, 0xFFFF};
  Frame f = trel::decode_frame(trel::encode_frame(h, body));
  EXPECT_EQ(f.header, h);
  EXPECT_EQ(f.body, body);
}

TEST(PeekFrameSize, NeedMoreBadMagicOrSize) {
  EXPECT_FALSE(trel::peek_frame_size(unhex("00 00 00 00 00 00 00")).has_value());
  EXPECT_EQ(error_of([] { trel::peek_frame_size(unhex("00 00 00 00 00 00 00 08")); }),
            "bad magic 0x00000000 (expected 0x75f4c465)");
  EXPECT_EQ(trel::peek_frame_size(unhex("75 F4 C4 65 00 00 00 0A")), 18u);
  // total_len + 8 does not wrap at 32 bits.
  EXPECT_EQ(trel::peek_frame_size(unhex("75 F4 C4 65 FF FF FF FF")), 4294967303ull);
  EXPECT_EQ(trel::peek_frame_size(unhex("75 F4 C4 65 00 00 00 03")), 11u);
}

// ---- stream splitting ----

std::string frame(uint16_t cmd, uint32_t seq, std::string_view body, uint8_t version = 4, uint8_t flag = 0) {
  return trel::encode_frame(FrameHeader{version, seq, flag, cmd}, body);
}

bool same(const std::vector<Frame>& a, const std::vector<Frame>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!(a[i].header == b[i].header) || a[i].body != b[i].body) return false;
  return true;
}

const std::vector<Frame> kStreamFrames = {
    {{4, 1, 0, 0x6001}, std::string("\x01\x00\x00\x00", 4)},
    {{4, 2, 0, 0x5006}, ""},
    {{9, 3, 3, 0x6773}, std::string(300, '\x75')},  // a body full of magic-like bytes
    {{0, 0xFFFFFFFF, 0xFF, 0xFFFF}, "tail"},
};

std::string stream_bytes() {
  std::string s;
  for (const auto& f : kStreamFrames) s += trel::encode_frame(f.header, f.body);
  return s;
}

TEST(RawFrameReader, SplitsAtEveryByteBoundary) {
  const std::string s = stream_bytes();
  for (size_t cut = 0; cut <= s.size(); ++cut) {
    RawFrameReader r;
    std::vector<Frame> got = r.feed(std::string_view(s).substr(0, cut));
    // Whole frames in the prefix come out now; the rest stays pending.
    size_t whole = 0, done = 0;
    while (whole < kStreamFrames.size() && done + 16 + kStreamFrames[whole].body.size() <= cut)
      done += 16 + kStreamFrames[whole++].body.size();
    EXPECT_EQ(got.size(), whole) << cut;
    EXPECT_EQ(r.pending(), cut - done) << cut;
    for (auto& f : r.feed(std::string_view(s).substr(cut))) got.push_back(std::move(f));
    ASSERT_TRUE(same(got, kStreamFrames)) << "cut at " << cut;
    EXPECT_EQ(r.pending(), 0u);
  }
}

TEST(RawFrameReader, SplitsAtEveryPairOfBoundaries) {
  const std::string s = stream_bytes().substr(0, 60);  // the first two frames and part of the third
  const std::vector<Frame> want(kStreamFrames.begin(), kStreamFrames.begin() + 2);
  for (size_t a = 0; a <= s.size(); ++a) {
    for (size_t b = a; b <= s.size(); ++b) {
      RawFrameReader r;
      std::vector<Frame> got;
      for (auto part : {std::string_view(s).substr(0, a), std::string_view(s).substr(a, b - a),
                        std::string_view(s).substr(b)})
        for (auto& f : r.feed(part)) got.push_back(std::move(f));
      ASSERT_TRUE(same(got, want)) << a << " " << b;
      EXPECT_EQ(r.pending(), 60u - 2 * 16 - 4) << a << " " << b;
    }
  }
}

TEST(RawFrameReader, ByteByByteAndManyFramesInOneFeed) {
  std::string s;
  std::vector<Frame> want;
  for (uint32_t i = 0; i < 2000; ++i) {
    Frame f{{4, i, 0, static_cast<uint16_t>(i)}, std::string(i % 37, static_cast<char>(i))};
    s += trel::encode_frame(f.header, f.body);
    want.push_back(std::move(f));
  }
  RawFrameReader one;
  EXPECT_TRUE(same(one.feed(s), want));
  EXPECT_EQ(one.pending(), 0u);

  RawFrameReader bytewise;
  std::vector<Frame> got;
  for (char c : s)
    for (auto& f : bytewise.feed(std::string_view(&c, 1))) got.push_back(std::move(f));
  EXPECT_TRUE(same(got, want));
  EXPECT_EQ(bytewise.pending(), 0u);
}

TEST(RawFrameReader, DocumentedPendingCounts) {
  std::string f20 = frame(0x6772, 5, "abcd");
  RawFrameReader r;
  EXPECT_TRUE(r.feed(std::string_view(f20).substr(0, 10)).empty());
  EXPECT_EQ(r.pending(), 10u);
  auto got = r.feed(std::string_view(f20).substr(10));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].header, (FrameHeader{4, 5, 0, 0x6772}));
  EXPECT_EQ(got[0].body, "abcd");
  EXPECT_EQ(r.pending(), 0u);

  std::string third = frame(3, 3, "0123456789");
  RawFrameReader r2;
  EXPECT_EQ(r2.feed(frame(1, 1, "x") + frame(2, 2, "") + third.substr(0, 13)).size(), 2u);
  EXPECT_EQ(r2.pending(), 13u);
}

TEST(RawFrameReader, FewerThanEightBytesNeverRaise) {
  for (size_t n = 0; n < 8; ++n) {
    RawFrameReader r;
    EXPECT_TRUE(r.feed(std::string(n, '\xAA')).empty());
    EXPECT_EQ(r.pending(), n);
  }
}

TEST(RawFrameReader, HugeDeclaredLengthJustWaits) {
  RawFrameReader r;
  EXPECT_TRUE(r.feed(unhex("75 F4 C4 65 FF FF FF FF 04 00 00")).empty());
  EXPECT_TRUE(r.feed(std::string(1000, 'x')).empty());
  EXPECT_EQ(r.pending(), 1011u);
}

struct StreamError {
  const char* name;
  std::string input;
  std::string text;
};

void PrintTo(const StreamError& c, std::ostream* os) { *os << c.name; }

class RawFrameReaderErrors : public ::testing::TestWithParam<StreamError> {};

// The offending bytes stay at the front, so the error repeats on every later feed.
TEST_P(RawFrameReaderErrors, PersistAfterwards) {
  const auto& c = GetParam();
  RawFrameReader r;
  EXPECT_EQ(error_of([&] { r.feed(c.input); }), c.text);
  size_t pending = r.pending();
  EXPECT_EQ(error_of([&] { r.feed(""); }), c.text);
  EXPECT_EQ(error_of([&] { r.feed(frame(1, 1, "good")); }), c.text);
  EXPECT_EQ(r.pending(), pending + 20);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RawFrameReaderErrors,
    ::testing::Values(StreamError{"ZeroMagic", unhex("00 00 00 00 00 00 00 08"),
                                  "RawFrameReader: bad magic 0x00000000 (expected 0x75f4c465)"},
                      StreamError{"GarbageAfterFrame", frame(1, 1, "a") + unhex("DE AD BE EF 00 00 00 08"),
                                  "RawFrameReader: bad magic 0xdeadbeef (expected 0x75f4c465)"},
                      StreamError{"TotalLenZero", unhex("75 F4 C4 65 00 00 00 00"),
                                  "RawFrameReader: total_len 0 is smaller than header length (8)"},
                      StreamError{"TotalLenThree", unhex("75 F4 C4 65 00 00 00 03 01 02 03"),
                                  "RawFrameReader: total_len 3 is smaller than header length (8)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RawFrameReader, ErrorKeepsOnlyTheOffendingBytes) {
  // The good frame before the bad one is consumed (and lost with the error).
  RawFrameReader r;
  std::string bad = unhex("DE AD BE EF 00 00 00 08");
  EXPECT_THROW(r.feed(frame(1, 1, "a") + frame(2, 2, "b") + bad), FrameError);
  EXPECT_EQ(r.pending(), bad.size());
}

TEST(RawFrameReader, ShortBadLengthWaitsForItsDeclaredSize) {
  // total_len 5 declares a 13-byte frame: nothing is judged until 13 bytes are here.
  RawFrameReader r;
  EXPECT_TRUE(r.feed(unhex("75 F4 C4 65 00 00 00 05 01 02")).empty());
  EXPECT_EQ(error_of([&] { r.feed(unhex("03 04 05")); }),
            "RawFrameReader: total_len 5 is smaller than header length (8)");
}

TEST(RawFrameReader, CallbackFailureLeavesTheFrameBuffered) {
  const std::string s = frame(1, 1, "a") + frame(2, 2, "b") + frame(3, 3, "c");
  // Cut at 0 (all frames in place) and at 5 (the first frame straddles two feeds).
  for (size_t cut : {size_t{0}, size_t{5}}) {
    RawFrameReader r;
    EXPECT_TRUE(r.feed(std::string_view(s).substr(0, cut)).empty());
    std::vector<uint16_t> seen;
    EXPECT_THROW(r.feed_each(std::string_view(s).substr(cut),
                             [&](const FrameHeader& h, std::string_view) {
                               seen.push_back(h.cmd);
                               if (h.cmd == 2) throw std::runtime_error("stop");
                             }),
                 std::runtime_error);
    EXPECT_EQ(seen, (std::vector<uint16_t>{1, 2})) << cut;
    EXPECT_EQ(r.pending(), 34u) << cut;
    auto rest = r.feed("");
    ASSERT_EQ(rest.size(), 2u) << cut;
    EXPECT_EQ(rest[0].body, "b");
    EXPECT_EQ(rest[1].body, "c");
    EXPECT_EQ(r.pending(), 0u);
  }
}

TEST(RawFrameReader, LargeFrameInSmallChunksThenSmallFrames) {
  std::string big(3 << 20, 'q');
  std::string s = frame(7, 7, big) + frame(8, 8, "after");
  RawFrameReader r;
  std::vector<Frame> got;
  for (size_t at = 0; at < s.size(); at += 1500)
    for (auto& f : r.feed(std::string_view(s).substr(at, 1500))) got.push_back(std::move(f));
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].body, big);
  EXPECT_EQ(got[1].body, "after");
  EXPECT_EQ(r.pending(), 0u);
}

}  // namespace

namespace {

TEST(NetHeader, DecodeReadsEightBytesWhateverLenSays) {
  trel::NetHeader h;
  h.set_seq(42);
  EXPECT_EQ(h.decode("\x09\x00\x00\x00\x02\x03\x00\x01", 0), 0u);
  EXPECT_EQ(h.get_seq(), 42u);
  EXPECT_EQ(h.decode_string(""), 0u);
  EXPECT_EQ(h.decode(unhex("09 00 00 00 02 03 00 01 FF"), 1), 8u);
  EXPECT_EQ(h.header(), (FrameHeader{9, 2, 3, 1}));
  for (size_t n = 0; n < 8; ++n) {
    std::string shortbuf(n, '\x05');
    // A non-zero len larger than the buffer never reads past it.
    EXPECT_EQ(error_of([&] { h.decode(shortbuf, 100); }),
              "NetHeader decode: header too short (need 8 bytes)");
    if (n) {
      EXPECT_EQ(error_of([&] { h.decode_string(shortbuf); }),
                "NetHeader decode: header too short (need 8 bytes)");
    }
    EXPECT_EQ(h.header(), (FrameHeader{9, 2, 3, 1}));
  }
  EXPECT_EQ(h.clone().encode(), unhex("09 00 00 00 02 03 00 01"));
}

}  // namespace
