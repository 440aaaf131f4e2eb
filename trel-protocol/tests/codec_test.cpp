#include "trel/protocol/codec.hpp"

#include <gtest/gtest.h>

#include "trel/protocol/snappy.hpp"
#include "trel/protocol/utf8.hpp"
#include "trel/testing.hpp"

using trel::DecodeError;
using trel::Reader;
using trel::Writer;

namespace {

using trel::test_support::error_of;
using trel::test_support::hex;

TEST(Writer, FixedWidthItemsAreBigEndian) {
  Writer w;
  w.put_f64(1.0);
  w.put_i32(-1);
  w.put_i16(-2);
  w.put_u64(0x0102030405060708ULL);
  EXPECT_EQ(hex(w.bytes()), "3F F0 00 00 00 00 00 00 FF FF FF FF FF FE 01 02 03 04 05 06 07 08");
}

TEST(Writer, EmptyListAndEmptyStringAreFourZeroBytes) {
  Writer w;
  w.put_string("");
  w.put_list(std::vector<int>{}, [](Writer& out, int v) { out.put_i32(v); });
  EXPECT_EQ(hex(w.bytes()), "00 00 00 00 00 00 00 00");
}

TEST(Writer, LittleEndianAndPatch) {
  Writer w;
  w.put_u32(0);
  w.put_u32_le(0x01020304);
  w.put_u64_le(1);
  w.patch_u32(0, 0xAABBCCDD);
  EXPECT_EQ(hex(w.bytes()), "AA BB CC DD 04 03 02 01 01 00 00 00 00 00 00 00");
}

TEST(Reader, RoundTripsEveryItem) {
  Writer w;
  w.put_u8(200);
  w.put_i16(-300);
  w.put_u32(4000000000u);
  w.put_i64(-5);
  w.put_f64(-2.5);
  w.put_string("héllo");
  w.put_list(std::vector<int32_t>{1, -2}, [](Writer& out, int32_t v) { out.put_i32(v); });
  Reader r(w.bytes());
  EXPECT_EQ(r.get_u8(), 200);
  EXPECT_EQ(r.get_i16(), -300);
  EXPECT_EQ(r.get_u32(), 4000000000u);
  EXPECT_EQ(r.get_i64(), -5);
  EXPECT_EQ(r.get_f64(), -2.5);
  EXPECT_EQ(r.get_string(), "héllo");
  EXPECT_EQ(r.get_i32_list(), (std::vector<int32_t>{1, -2}));
  EXPECT_EQ(r.remaining(), 0u);
}

struct ErrorCase {
  std::string input;
  std::function<void(Reader&)> read;
  std::string text;
};

class ReaderErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ReaderErrors, ReportTheDocumentedText) {
  const auto& c = GetParam();
  Reader r(c.input);
  EXPECT_EQ(error_of([&] { c.read(r); }), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderErrors,
    ::testing::Values(
        ErrorCase{std::string(3, '\0'), [](Reader& r) { r.get_u32(); },
                  "unexpected end of input: needed 1 more bytes"},
        ErrorCase{std::string("\0\0\0\x0a"
                              "abcd",
                              8),
                  [](Reader& r) { r.get_string(); }, "unexpected end of input: needed 6 more bytes"},
        ErrorCase{std::string("\0\0\0\x02\xff\xfe", 6), [](Reader& r) { r.get_string(); },
                  "invalid utf-8 in string field"},
        ErrorCase{std::string("\0\0\0\x03"
                              "\0\0\0\x01\0\0\0\x02",
                              12),
                  [](Reader& r) { r.get_i32_list(); }, "unexpected end of input: needed 4 more bytes"},
        ErrorCase{std::string("\0\0\0\x03"
                              "\x01\0\0\0\x02\0\0\0",
                              12),
                  [](Reader& r) { r.get_i32_vector_le(); }, "unexpected end of input: needed 4 more bytes"},
        ErrorCase{std::string("\xff\xff\xff\xff", 4), [](Reader& r) { r.get_string_list(); },
                  "unexpected end of input: needed 4 more bytes"}));

TEST(Reader, LittleEndianVectorIsCheckedBeforeAnyElement) {
  std::string in(
      "\0\0\0\x02"
      "\x01\0\0\0\x02\0\0\0",
      12);
  Reader r(in);
  EXPECT_EQ(r.get_i32_vector_le(), (std::vector<int32_t>{1, 2}));
}

TEST(DecodeErrorTexts, AllFiveCases) {
  EXPECT_STREQ(DecodeError::length_overflow(7, 3).what(),
               "length prefix 7 exceeds remaining buffer (3 bytes)");
  EXPECT_STREQ(DecodeError::unknown_enum(0xAB).what(), "unknown enum value 0xab");
  EXPECT_STREQ(DecodeError::type_mismatch(2, "Double").what(),
               "StructValue field type mismatch for field index 2: schema = Double");
  EXPECT_EQ(DecodeError::invalid_utf8().kind(), DecodeError::Kind::InvalidUtf8);
}

TEST(Utf8, DescribesTheFirstFault) {
  EXPECT_EQ(trel::utf8_error("\xff"), "invalid utf-8 sequence of 1 bytes from index 0");
  EXPECT_EQ(trel::utf8_error("abc\xe2\x82"), "incomplete utf-8 byte sequence from index 3");
  EXPECT_EQ(trel::utf8_error("ab\xe2\x82x"), "invalid utf-8 sequence of 2 bytes from index 2");
  EXPECT_EQ(trel::utf8_error("\xed\xa0\x80"), "invalid utf-8 sequence of 1 bytes from index 0");
  EXPECT_FALSE(trel::utf8_error("plain ascii text, long enough for words \xf0\x9f\x98\x80"));
}

TEST(Snappy, RoundTripAndRefusesForgedLength) {
  std::string plain(1000, 'x');
  EXPECT_EQ(trel::snappy::decompress(trel::snappy::compress(plain)), plain);
  // Declares 2^28 bytes from a 5-byte block.
  std::string forged("\x80\x80\x80\x80\x01", 5);
  EXPECT_THROW(trel::snappy::decompress(forged), trel::snappy::Error);
  EXPECT_THROW(trel::snappy::decompress(std::string("\x05\x00", 2)), trel::snappy::Error);
}

}  // namespace
