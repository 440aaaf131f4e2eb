#include "trel/protocol/commission.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using trel::Commission;

namespace {

// Rates that are distinct powers of two, so every sum below is exact and each
// side's contribution is identifiable.
Commission distinct_rates() {
  Commission c;
  c.open_rate_by_volume = 1;
  c.open_rate_by_money = 2;
  c.close_rate_by_volume = 4;
  c.close_rate_by_money = 8;
  c.today_close_rate_by_volume = 16;
  c.today_close_rate_by_money = 32;
  c.order_rate_by_volume = 64;
  c.order_rate_by_money = 128;
  return c;
}

struct SideCase {
  uint8_t open_close;
  bool is_today;
  double fee;  // volume 1, price 1, multiplier 1: order 192 + side pair
};

class CommissionSide : public ::testing::TestWithParam<SideCase> {};

TEST_P(CommissionSide, SelectsRatesByOpenCloseAndToday) {
  const Commission c = distinct_rates();
  for (uint8_t direction : {0x30, 0x31, 0x00, 0xFF})
    EXPECT_EQ(c.calculate(1, 1, direction, GetParam().open_close, GetParam().is_today, 1), GetParam().fee);
}

INSTANTIATE_TEST_SUITE_P(Sides, CommissionSide,
                         ::testing::Values(SideCase{0x30, false, 192 + 3}, SideCase{0x30, true, 192 + 3},
                                           SideCase{0x31, false, 192 + 12}, SideCase{0x31, true, 192 + 48},
                                           SideCase{0x32, true, 192 + 12}, SideCase{0x00, true, 192 + 12},
                                           SideCase{0x00, false, 192 + 12}));

TEST(Commission, WorkedExample) {
  Commission c;
  c.open_rate_by_volume = 1;
  c.open_rate_by_money = 0.0003;
  c.order_rate_by_volume = 0.5;
  c.order_rate_by_money = 0.0001;
  EXPECT_NEAR(c.calculate(10, 100, 0x30, 0x30, false, 1), 15.4, 1e-12);
  EXPECT_EQ(Commission().calculate(10, 100, 0x30, 0x30, false, 1), 0.0);
}

// (1 + 2^-30)^2 - (1 + 2^-30) is 2^-30 + 2^-60 exactly; a separate multiply
// would round the square first and lose the 2^-60 term.
TEST(Commission, AccumulatesWithFusedMultiplyAdd) {
  const double v = 1 + std::ldexp(1.0, -30);
  Commission c;
  c.order_rate_by_money = -1;  // f = -turnover = -v
  c.order_rate_by_volume = v;  // f = v*v - v
  EXPECT_EQ(c.calculate(v, 1, 0x30, 0x30, false, 1), std::ldexp(1.0, -30) + std::ldexp(1.0, -60));
}

TEST(Commission, TurnoverIsPriceTimesVolumeThenMultiplier) {
  Commission c;
  c.order_rate_by_money = 1;
  // (0.1 * 3) * 10 and 0.1 * (3 * 10) differ in the last bit.
  EXPECT_EQ(c.calculate(3, 0.1, 0, 0x30, false, 10), (0.1 * 3) * 10);
  EXPECT_NE((0.1 * 3) * 10, 0.1 * (3 * 10));
  // Negative inputs pass through unchanged.
  EXPECT_EQ(c.calculate(-2, 5, 0, 0x30, false, 1), -10.0);
}

std::string error_of(Commission& c, std::string_view json) {
  try {
    c.load(json);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "<no error>";
}

TEST(CommissionLoad, TakesOnlyNumbersOfTopLevelObject) {
  Commission c = distinct_rates();
  c.load(R"({"open_rate_by_volume": 2})");
  EXPECT_EQ(c.open_rate_by_volume, 2.0);
  EXPECT_EQ(c.open_rate_by_money, 2.0);
  EXPECT_EQ(c.order_rate_by_money, 128.0);

  for (const char* unchanged : {R"({"open_rate_by_volume": "3"})", "[1,2]",
                                R"({"close_rate_by_money": null})", R"({"close_rate_by_money": true})",
                                R"({"close_rate_by_money": [1]})", R"({"close_rate_by_money": {"v": 1}})",
                                R"({"x": {"open_rate_by_volume": 9}})", "7", R"("open_rate_by_volume")"}) {
    c.load(unchanged);
    EXPECT_EQ(c.open_rate_by_volume, 2.0) << unchanged;
    EXPECT_EQ(c.close_rate_by_money, 8.0) << unchanged;
  }

  c.load(R"({"order_rate_by_money": 5, "today_close_rate_by_money": -1.5e-3, "other": 1,)"
         R"( "close_rate_by_volume": 18446744073709551615, "order_rate_by_volume": -7})");
  EXPECT_EQ(c.order_rate_by_money, 5.0);
  EXPECT_EQ(c.today_close_rate_by_money, -1.5e-3);
  EXPECT_EQ(c.close_rate_by_volume, 18446744073709551615.0);
  EXPECT_EQ(c.order_rate_by_volume, -7.0);

  // A key given twice takes its last value.
  c.load(R"({"open_rate_by_money": 1, "open_rate_by_money": 3})");
  EXPECT_EQ(c.open_rate_by_money, 3.0);
}

TEST(CommissionLoad, MalformedTextRaisesAndChangesNothing) {
  const std::string prefix = "Commission.load: invalid JSON: ";
  Commission c = distinct_rates();
  EXPECT_EQ(error_of(c, "{"),
            prefix +
                "The JSON document has an improper structure: missing or superfluous commas, "
                "braces, missing keys, etc.");
  EXPECT_EQ(error_of(c, ""), prefix + "Empty: no JSON found");
  EXPECT_EQ(error_of(c, "{\"open_rate_by_volume\": 9, \"s\": \"\xff\"}"),
            prefix + "The input is not valid UTF-8");
  EXPECT_EQ(error_of(c, R"({"open_rate_by_volume": 9,})").rfind(prefix, 0), 0u);
  EXPECT_EQ(c.open_rate_by_volume, 1.0);
}

}  // namespace
