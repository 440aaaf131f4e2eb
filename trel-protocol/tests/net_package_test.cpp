#include "trel/protocol/net_package.hpp"

#include <gtest/gtest.h>

#include <functional>

#include "trel/protocol/snappy.hpp"
#include "trel/testing.hpp"

using trel::Keepalive;
using trel::NetPackage;

namespace {

using trel::test_support::error_of;
using trel::test_support::unhex;

// A raw Snappy block of one literal, written by hand (uncompressed length
// varint, literal tag, bytes): independent of the compressor under test.
std::string literal_block(const std::string& plain) {
  EXPECT_LE(plain.size(), 60u);
  std::string out;
  out += static_cast<char>(plain.size());
  out += static_cast<char>((plain.size() - 1) << 2);
  return out + plain;
}

NetPackage filled() {
  NetPackage p;
  p.set_cmd(0x5021);
  p.set_seq(99);
  p.set_content("old body");
  p.set_length(1234);
  return p;
}

void expect_unchanged(const NetPackage& p) {
  EXPECT_EQ(p.cmd(), 0x5021);
  EXPECT_EQ(p.seq(), 99u);
  EXPECT_EQ(p.content(), "old body");
  EXPECT_EQ(p.length(), 1234);
}

const std::string kFrame5006 = unhex("75 F4 C4 65 00 00 00 08 04 00 00 00 07 00 50 06");

TEST(NetPackage, DocumentedBytes) {
  NetPackage p;
  p.set_cmd(0x5006);
  p.set_seq(7);
  EXPECT_EQ(p.encode_raw(), kFrame5006);
  EXPECT_EQ(trel::snappy::decompress(p.encode_string()), kFrame5006);
}

TEST(NetPackage, VersionAndFlagAreFixed) {
  NetPackage p;
  p.set_cmd(0x6772);
  p.set_seq(0x01020304);
  p.set_content("hi");
  EXPECT_EQ(p.encode_raw(), unhex("75 F4 C4 65 00 00 00 0A 04 01 02 03 04 00 67 72 68 69"));
}

TEST(NetPackage, CmdKeepsLow16Bits) {
  NetPackage p;
  p.set_cmd(-1);
  EXPECT_EQ(p.cmd(), 65535);
  p.set_cmd(0x15001);
  EXPECT_EQ(p.cmd(), 0x5001);
}

TEST(NetPackage, CompressedRoundTrip) {
  for (std::string content :
       {std::string(), std::string("x"), std::string(100000, 'r'), unhex("00 FF 75 F4 C4 65")}) {
    NetPackage a;
    a.set_cmd(0xFFFF);
    a.set_seq(0xFFFFFFFF);
    a.set_content(content);
    NetPackage b;
    EXPECT_EQ(b.decode_string(a.encode_string()), content.size());
    EXPECT_EQ(b.cmd(), 0xFFFF);
    EXPECT_EQ(b.seq(), 0xFFFFFFFFu);
    EXPECT_EQ(b.content(), content);
    EXPECT_EQ(b.length(), static_cast<int64_t>(content.size() + 16));
  }
}

TEST(NetPackage, DecodesAHandMadeBlockAndIgnoresTrailingPlainBytes) {
  NetPackage p;
  std::string plain = unhex("75 F4 C4 65 00 00 00 0A 09 00 00 00 02 03 00 01 61 62 EE EE EE");
  EXPECT_EQ(p.decode_string(literal_block(plain)), 2u);
  EXPECT_EQ(p.cmd(), 1);
  EXPECT_EQ(p.seq(), 2u);
  EXPECT_EQ(p.content(), "ab");
  // length counts every decompressed byte, the trailing ones included.
  EXPECT_EQ(p.length(), 21);
}

TEST(NetPackage, EmptyInputChangesNothing) {
  NetPackage p = filled();
  EXPECT_EQ(p.decode_string(""), 0u);
  expect_unchanged(p);
  EXPECT_EQ(p.decode_raw(""), 0u);
  expect_unchanged(p);
}

struct BadPacket {
  const char* name;
  std::string packet;
  std::string text;  // empty: only the prefix is fixed
  std::string prefix;
};

void PrintTo(const BadPacket& c, std::ostream* os) { *os << c.name; }

class DecodeStringErrors : public ::testing::TestWithParam<BadPacket> {};

TEST_P(DecodeStringErrors, LeaveThePackageUnchanged) {
  const auto& c = GetParam();
  NetPackage p = filled();
  std::string text = error_of([&] { p.decode_string(c.packet); });
  if (c.text.empty()) {
    EXPECT_EQ(text.rfind(c.prefix, 0), 0u) << text;
    EXPECT_GT(text.size(), c.prefix.size());
  } else {
    EXPECT_EQ(text, c.text);
  }
  expect_unchanged(p);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeStringErrors,
    ::testing::Values(
        // An uncompressed frame: 0x75 reads as a length header, the rest is no valid block.
        BadPacket{"UncompressedFrame", kFrame5006, "", "NetPackage snappy decompress: "},
        BadPacket{"TruncatedBlock", literal_block(kFrame5006).substr(0, 10), "",
                  "NetPackage snappy decompress: "},
        BadPacket{"ForgedLength", unhex("FF FF FF FF 0F 00"), "", "NetPackage snappy decompress: "},
        BadPacket{"ShortPlain", literal_block(unhex("75 F4 C4 65 00 00 00")),
                  "NetPackage frame: envelope too short (need 8 bytes)", ""},
        BadPacket{"ZeroMagic", literal_block(std::string(16, '\0')),
                  "NetPackage frame: bad magic 0x00000000 (expected 0x75f4c465)", ""},
        BadPacket{"TotalLenSmall", literal_block(unhex("75 F4 C4 65 00 00 00 07 04 00 00 00 07 00 50")),
                  "NetPackage frame: total_len 7 is smaller than header length (8)", ""},
        BadPacket{"BodyCut", literal_block(unhex("75 F4 C4 65 00 00 00 0C 04 00 00 00 07 00 50 06 61")),
                  "NetPackage frame: incomplete body: need 12 bytes, got 9", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NetPackage, DecodeRawWaitsForTheWholeFrame) {
  NetPackage src;
  src.set_cmd(0x6773);
  src.set_seq(11);
  src.set_content("wxyz");
  std::string f = src.encode_raw();
  ASSERT_EQ(f.size(), 20u);
  for (size_t n = 0; n < 20; ++n) {
    NetPackage p = filled();
    EXPECT_EQ(p.decode_raw(std::string_view(f).substr(0, n)), 0u) << n;
    expect_unchanged(p);
  }
  NetPackage p = filled();
  EXPECT_EQ(p.decode_raw(f + "12345"), 20u);
  EXPECT_EQ(p.cmd(), 0x6773);
  EXPECT_EQ(p.seq(), 11u);
  EXPECT_EQ(p.content(), "wxyz");
  EXPECT_EQ(p.length(), 20);
}

TEST(NetPackage, DecodeRawErrorsLeaveThePackageUnchanged) {
  struct Case {
    std::string in;
    std::string text;
  };
  for (const auto& c : {
           Case{unhex("00 00 00 00 00 00 00 08"),
                "NetPackage frame: bad magic 0x00000000 (expected 0x75f4c465)"},
           Case{unhex("12 34 56 78"), "<no error>"},  // fewer than 8 bytes: need more
           Case{unhex("75 F4 C4 65 00 00 00 02 AA BB"),
                "NetPackage frame: total_len 2 is smaller than header length (8)"},
       }) {
    NetPackage p = filled();
    EXPECT_EQ(error_of([&] { p.decode_raw(c.in); }), c.text);
    expect_unchanged(p);
  }
}

// A buffer reused across packets of falling and rising size: each packet must
// be exactly its own bytes, not a longer view over what the previous one left.
TEST(NetPackage, ReusedBuffersGiveExactPackets) {
  std::string encode_buf;
  std::string block_buf;
  NetPackage out;
  for (size_t n : {size_t{3000}, size_t{0}, size_t{17}, size_t{70000}, size_t{5}}) {
    NetPackage p;
    p.set_cmd(static_cast<int32_t>(n));
    p.set_seq(static_cast<uint32_t>(n * 3));
    std::string body(n, '\0');
    for (size_t i = 0; i < n; ++i) body[i] = static_cast<char>(i * 7 + i / 251);
    p.set_content(body);
    std::string packet(p.encode_string_into(encode_buf));
    EXPECT_EQ(packet, p.encode_string()) << n;
    EXPECT_EQ(trel::snappy::decompress_into(packet, block_buf), p.encode_raw()) << n;
    EXPECT_EQ(out.decode_string(packet), n);
    EXPECT_EQ(out.content(), body);
    EXPECT_EQ(out.cmd(), static_cast<uint16_t>(n));
    EXPECT_EQ(out.length(), static_cast<int64_t>(n + 16));
  }
}

TEST(Keepalive, LittleEndianBody) {
  Keepalive k;
  EXPECT_EQ(k.encode(), std::string(4, '\0'));
  k.set_utc_now(1);
  EXPECT_EQ(k.encode(), unhex("01 00 00 00"));
  k.set_utc_now(0x12345678);
  EXPECT_EQ(k.encode(), unhex("78 56 34 12"));
  k.decode(unhex("FF FF FF FF"));
  EXPECT_EQ(k.utc_now(), -1);
  k.decode(unhex("00 00 00 80 99 99"));
  EXPECT_EQ(k.utc_now(), INT32_MIN);
  for (size_t n = 0; n < 4; ++n) {
    EXPECT_EQ(error_of([&] { k.decode(std::string(n, '\x01')); }), "Keepalive decode: buffer < 4 bytes");
    EXPECT_EQ(k.utc_now(), INT32_MIN);
  }
}

}  // namespace
