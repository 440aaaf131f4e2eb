// Proleptic Gregorian date arithmetic on day numbers (days since 1970-01-01),
// after H. Hinnant's days_from_civil / civil_from_days. Pure integer code: no
// C library time functions, no time zone database.
#pragma once

#include <cstdint>

namespace trel::time {

struct CivilDate {
  int64_t year;
  int month;  // 1..12
  int day;    // 1..31
};

constexpr int64_t floor_div(int64_t a, int64_t b) noexcept {
  int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

constexpr int64_t floor_mod(int64_t a, int64_t b) noexcept { return a - floor_div(a, b) * b; }

// Day number of y-m-d. Month and day may lie outside their usual ranges and are
// carried over like mktime does (month 13 is January of the next year, day 0 the
// last day of the previous month), so every YYYYMMDD integer maps somewhere.
constexpr int64_t days_from_civil(int64_t y, int64_t m, int64_t d) noexcept {
  y += floor_div(m - 1, 12);
  m = floor_mod(m - 1, 12) + 1;
  y -= m <= 2;
  const int64_t era = floor_div(y, 400);
  const int64_t yoe = y - era * 400;                            // [0, 399]
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5;  // day 1 of the month
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;    // [0, 146096]
  return era * 146097 + doe - 719468 + (d - 1);
}

constexpr CivilDate civil_from_days(int64_t z) noexcept {
  z += 719468;
  const int64_t era = floor_div(z, 146097);
  const int64_t doe = z - era * 146097;  // [0, 146096]
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = yoe + era * 400;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);  // [0, 365]
  const int64_t mp = (5 * doy + 2) / 153;                       // [0, 11]
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {y + (m <= 2), m, d};
}

// 0 = Sunday ... 6 = Saturday; day 0 (1970-01-01) was a Thursday.
constexpr int weekday_from_days(int64_t z) noexcept { return static_cast<int>(floor_mod(z + 4, 7)); }

// YYYYMMDD split by truncating division, as the trade-day integers are read.
constexpr int64_t days_from_yyyymmdd(int32_t ymd) noexcept {
  return days_from_civil(ymd / 10000, (ymd / 100) % 100, ymd % 100);
}

// Wide form: years beyond four digits do not fit the i32 trade-day integers.
constexpr int64_t yyyymmdd_wide(const CivilDate& c) noexcept {
  return c.year * 10000 + c.month * 100 + c.day;
}

inline constexpr int64_t kSecondsPerDay = 86400;

}  // namespace trel::time
