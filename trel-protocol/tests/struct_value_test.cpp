#include "trel/protocol/struct_value.hpp"

#include <gtest/gtest.h>

#include "trel/testing.hpp"

using trel::StructValue;

namespace {

using trel::test_support::error_of;

TEST(StructValue, PositionAndKindErrors) {
  StructValue sv;
  EXPECT_EQ(error_of([&] { sv.get_int(0); }), "Invalid field length 0 (pos 0)");
  sv.resize(3);
  EXPECT_TRUE(sv.is_empty(2));
  EXPECT_EQ(error_of([&] { sv.get_double(2); }), "field 2 is not double (is Empty)");
  sv.set_int(1, 7);
  EXPECT_EQ(error_of([&] { sv.get_int_64(1); }), "field 1 is not int64 (is Int)");
  EXPECT_EQ(error_of([&] { sv.set_int(3, 1); }), "Invalid field length 3 (pos 3)");
}

TEST(StructValue, TextSettersRejectInvalidUtf8AndKeepTheRow) {
  StructValue sv;
  sv.resize(1);
  sv.set_market("SH");
  EXPECT_EQ(error_of([&] { sv.set_market("\xff"); }),
            "invalid utf-8: invalid utf-8 sequence of 1 bytes from index 0");
  EXPECT_EQ(sv.get_market(), "SH");
  EXPECT_EQ(error_of([&] {
              sv.set_string_vector(0, {"ok", "\xc3"});
            }),
            "invalid utf-8: incomplete utf-8 byte sequence from index 0");
  EXPECT_TRUE(sv.is_empty(0));
}

TEST(StructValue, ResizeResetAndCopy) {
  StructValue sv;
  sv.resize(3);
  sv.set_int(0, 1);
  sv.set_string(1, "a");
  sv.set_double_vector(2, {1.5});
  sv.aux[4] = 9;
  sv.set_meta_id(5);
  sv.resize(5);
  EXPECT_EQ(sv.get_string(1), "a");
  EXPECT_TRUE(sv.is_empty(4));
  StructValue other;
  other.copy(sv);
  EXPECT_EQ(other.aux[4], 9u);
  EXPECT_EQ(other.get_double_vector(2), std::vector<double>{1.5});
  sv.resize(1);
  EXPECT_EQ(sv.size(), 1u);
  sv.reset();
  EXPECT_EQ(sv.size(), 0u);
  EXPECT_EQ(sv.get_meta_id(), 5);
}

}  // namespace
