#include "trel/protocol/json_writer.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string_view>
#include <utility>

namespace json = trel::json;

namespace {

struct FloatCase {
  uint64_t bits;
  const char* text;
};

// Generated from Python repr(float) (shortest round-trip digits), laid out by exponent.
const FloatCase kFloatCases[] = {
    {0x27ae6b1ff4bdb52aULL, "1.5078178324808706e-117"},   // 1.5078178324808706e-117
    {0x1a23b247c9cf23f5ULL, "9.270852475799347e-183"},    // 9.270852475799347e-183
    {0xb37bc348ee6e708cULL, "-1.079803282305215e-60"},    // -1.079803282305215e-60
    {0x24919a8d2502f9caULL, "1.550052025079548e-132"},    // 1.550052025079548e-132
    {0x54296609a57d26a5ULL, "2.7125523817501033e97"},     // 2.7125523817501033e+97
    {0x4ca564d74f811c2cULL, "1.718934425132029e61"},      // 1.718934425132029e+61
    {0x065e28e21576139aULL, "5.3168086322738307e-278"},   // 5.3168086322738307e-278
    {0x9b73968414d2647fULL, "-1.9335330534762846e-176"},  // -1.9335330534762846e-176
    {0xceb11b9097af9811ULL, "-1.1807283382541866e71"},    // -1.1807283382541866e+71
    {0xf9b424d451a160e0ULL, "-1.7854134710944535e278"},   // -1.7854134710944535e+278
    {0xfd6ac13ea4397a6aULL, "-1.3669998648889374e296"},   // -1.3669998648889374e+296
    {0x897b5a9b25c74c20ULL, "-5.429296097292159e-263"},   // -5.429296097292159e-263
    {0xe057829c89692083ULL, "-1.2608810409027036e156"},   // -1.2608810409027036e+156
    {0x3a041f1fa2acd453ULL, "3.1746250055071414e-29"},    // 3.1746250055071414e-29
    {0xaa7956c802eaa72fULL, "-4.419272678866252e-104"},   // -4.419272678866252e-104
    {0x67a0279b33375bc2ULL, "1.4395490977953388e191"},    // 1.4395490977953388e+191
    {0x204bbf246fa1a19cULL, "4.138879355243468e-153"},    // 4.138879355243468e-153
    {0x343c5f9c35d1bf4bULL, "4.52015572234909e-57"},      // 4.52015572234909e-57
    {0x6088819c3d10c058ULL, "1.0514420252584505e157"},    // 1.0514420252584505e+157
    {0x9815a65add4674b9ULL, "-1.1863071650963017e-192"},  // -1.1863071650963017e-192
    {0x9ce5a178a44eb618ULL, "-1.791117056100401e-169"},   // -1.791117056100401e-169
    {0x79910cd7cd3a315fULL, "3.778023707609067e277"},     // 3.778023707609067e+277
    {0xfbad5b25a5e89027ULL, "-5.587575376049323e287"},    // -5.587575376049323e+287
    {0x43f6bc7b7cd0064cULL, "2.6213122247236043e19"},     // 2.6213122247236043e+19
    {0x20b5bf1d66b2f43cULL, "4.152143942844213e-151"},    // 4.152143942844213e-151
    {0xd10a688dfc945a70ULL, "-2.505019986000847e82"},     // -2.505019986000847e+82
    {0xcc2bb516a34e49c0ULL, "-8.696101111155759e58"},     // -8.696101111155759e+58
    {0xf9b2f089b8f8d5e1ULL, "-1.6786758684837288e278"},   // -1.6786758684837288e+278
    {0x9f2e3ed4478ef375ULL, "-1.721044138762109e-158"},   // -1.721044138762109e-158
    {0xa60e07d44a8199f2ULL, "-2.2181738497525476e-125"},  // -2.2181738497525476e-125
    {0xa7840a6540732ecfULL, "-2.483491023765121e-118"},   // -2.483491023765121e-118
    {0xa83ac7780ddc7528ULL, "-6.796399020242688e-115"},   // -6.796399020242688e-115
    {0xa252ff80d5c9a593ULL, "-2.434284416125168e-143"},   // -2.434284416125168e-143
    {0xee4121541818e847ULL, "-1.2384228876893045e223"},   // -1.2384228876893045e+223
    {0x9e9178d2cb6bb088ULL, "-1.9417983171528505e-161"},  // -1.9417983171528505e-161
    {0x1b8bf967f3aaa15cULL, "5.5226927137327155e-176"},   // 5.5226927137327155e-176
    {0x2b4d6d7e92ec259cULL, "4.20443805910752e-100"},     // 4.20443805910752e-100
    {0x07467bcc19d9d27fULL, "1.2987916074293248e-273"},   // 1.2987916074293248e-273
    {0x5c8de2b43848e7e8ULL, "6.951034904469904e137"},     // 6.951034904469904e+137
    {0xaa30b1df1f481b3eULL, "-1.819797351097004e-105"},   // -1.819797351097004e-105
    {0xb496033983d02e42ULL, "-2.2443577088259362e-55"},   // -2.2443577088259362e-55
    {0xddb06ce10300eb40ULL, "-2.002956355730214e143"},    // -2.002956355730214e+143
    {0x60e09f0abd7447ddULL, "4.564062819540588e158"},     // 4.564062819540588e+158
    {0xd8391032ac4d2b15ULL, "-9.875432462994618e116"},    // -9.875432462994618e+116
    {0xf16eae78d06d540dULL, "-2.497374162396788e238"},    // -2.497374162396788e+238
    {0x64654f40a353d1c1ULL, "4.216405590711553e175"},     // 4.216405590711553e+175
    {0x102ae1b9a807116aULL, "8.657464049699391e-231"},    // 8.657464049699391e-231
    {0xdced7f612943612eULL, "-4.3909080548227355e139"},   // -4.3909080548227355e+139
    {0xdd7dcaad151dc8b2ULL, "-2.2705617017464975e142"},   // -2.2705617017464975e+142
    {0xd917ac9ec26a48beULL, "-1.528323794326282e121"},    // -1.528323794326282e+121
    {0x830b3f0bd1bf002bULL, "-5.332628952772294e-294"},   // -5.332628952772294e-294
    {0xaa4bbd2eb3934778ULL, "-6.0473099186599806e-105"},  // -6.0473099186599806e-105
    {0x7f9f48f4c8fd64ceULL, "5.4922659162605364e306"},    // 5.4922659162605364e+306
    {0xa5dd98a3aaf578c2ULL, "-2.73261519157545e-126"},    // -2.73261519157545e-126
    {0x2e145139a6585a7dULL, "1.0213320245496161e-86"},    // 1.0213320245496161e-86
    {0x5217cd7d00ab9381ULL, "2.959407537248391e87"},      // 2.959407537248391e+87
    {0x52bb82da7ddd036bULL, "3.502574687736467e90"},      // 3.502574687736467e+90
    {0xdc51d9d861de3e40ULL, "-5.18990701078801e136"},     // -5.18990701078801e+136
    {0x9fd51321d4206b01ULL, "-2.4559774055593285e-155"},  // -2.4559774055593285e-155
    {0x16c56af6263565e7ULL, "5.596134029758142e-199"},    // 5.596134029758142e-199
    {0x3e112e0be826d695ULL, "1e-9"},                      // 1e-09
    {0xbe19c511dc3a41e0ULL, "-1.5000000000000002e-9"},    // -1.5000000000000002e-09
    {0x3e45798ee2308c3aULL, "1e-8"},                      // 1e-08
    {0xbe501b2b29a4692cULL, "-1.5000000000000002e-8"},    // -1.5000000000000002e-08
    {0x3e7ad7f29abcaf48ULL, "1e-7"},                      // 1e-07
    {0xbe8421f5f40d8376ULL, "-1.5e-7"},                   // -1.5e-07
    {0x3eb0c6f7a0b5ed8dULL, "1e-6"},                      // 1e-06
    {0xbeb92a737110e454ULL, "-1.5e-6"},                   // -1.5e-06
    {0x3ee4f8b588e368f1ULL, "0.00001"},                   // 1e-05
    {0xbeef75104d551d6aULL, "-0.000015000000000000002"},  // -1.5000000000000002e-05
    {0x3f1a36e2eb1c432dULL, "0.0001"},                    // 0.0001
    {0xbf23a92a30553262ULL, "-0.00015000000000000001"},   // -0.00015000000000000001
    {0x3f50624dd2f1a9fcULL, "0.001"},                     // 0.001
    {0xbf589374bc6a7efaULL, "-0.0015"},                   // -0.0015
    {0x3f847ae147ae147bULL, "0.01"},                      // 0.01
    {0xbf8eb851eb851eb8ULL, "-0.015"},                    // -0.015
    {0x3fb999999999999aULL, "0.1"},                       // 0.1
    {0xbfc3333333333334ULL, "-0.15000000000000002"},      // -0.15000000000000002
    {0x3ff0000000000000ULL, "1.0"},                       // 1.0
    {0xbff8000000000000ULL, "-1.5"},                      // -1.5
    {0x4024000000000000ULL, "10.0"},                      // 10.0
    {0xc02e000000000000ULL, "-15.0"},                     // -15.0
    {0x4059000000000000ULL, "100.0"},                     // 100.0
    {0xc062c00000000000ULL, "-150.0"},                    // -150.0
    {0x408f400000000000ULL, "1000.0"},                    // 1000.0
    {0xc097700000000000ULL, "-1500.0"},                   // -1500.0
    {0x40c3880000000000ULL, "10000.0"},                   // 10000.0
    {0xc0cd4c0000000000ULL, "-15000.0"},                  // -15000.0
    {0x40f86a0000000000ULL, "100000.0"},                  // 100000.0
    {0xc1024f8000000000ULL, "-150000.0"},                 // -150000.0
    {0x412e848000000000ULL, "1000000.0"},                 // 1000000.0
    {0xc136e36000000000ULL, "-1500000.0"},                // -1500000.0
    {0x416312d000000000ULL, "10000000.0"},                // 10000000.0
    {0xc16c9c3800000000ULL, "-15000000.0"},               // -15000000.0
    {0x4197d78400000000ULL, "100000000.0"},               // 100000000.0
    {0xc1a1e1a300000000ULL, "-150000000.0"},              // -150000000.0
    {0x41cdcd6500000000ULL, "1000000000.0"},              // 1000000000.0
    {0xc1d65a0bc0000000ULL, "-1500000000.0"},             // -1500000000.0
    {0x4202a05f20000000ULL, "10000000000.0"},             // 10000000000.0
    {0xc20bf08eb0000000ULL, "-15000000000.0"},            // -15000000000.0
    {0x42374876e8000000ULL, "100000000000.0"},            // 100000000000.0
    {0xc24176592e000000ULL, "-150000000000.0"},           // -150000000000.0
    {0x426d1a94a2000000ULL, "1000000000000.0"},           // 1000000000000.0
    {0xc275d3ef79800000ULL, "-1500000000000.0"},          // -1500000000000.0
    {0x42a2309ce5400000ULL, "10000000000000.0"},          // 10000000000000.0
    {0xc2ab48eb57e00000ULL, "-15000000000000.0"},         // -15000000000000.0
    {0x42d6bcc41e900000ULL, "100000000000000.0"},         // 100000000000000.0
    {0xc2e10d9316ec0000ULL, "-150000000000000.0"},        // -150000000000000.0
    {0x430c6bf526340000ULL, "1000000000000000.0"},        // 1000000000000000.0
    {0xc31550f7dca70000ULL, "-1500000000000000.0"},       // -1500000000000000.0
    {0x4341c37937e08000ULL, "1e16"},                      // 1e+16
    {0xc34aa535d3d0c000ULL, "-1.5e16"},                   // -1.5e+16
    {0x4376345785d8a000ULL, "1e17"},                      // 1e+17
    {0xc380a741a4627800ULL, "-1.5e17"},                   // -1.5e+17
    {0x43abc16d674ec800ULL, "1e18"},                      // 1e+18
    {0xc3b4d1120d7b1600ULL, "-1.5e18"},                   // -1.5e+18
    {0x43e158e460913d00ULL, "1e19"},                      // 1e+19
    {0xc3ea055690d9db80ULL, "-1.5e19"},                   // -1.5e+19
    {0x0000000000000001ULL, "5e-324"},                    // 5e-324
    {0x0010000000000000ULL, "2.2250738585072014e-308"},   // 2.2250738585072014e-308
    {0x7fefffffffffffffULL, "1.7976931348623157e308"},    // 1.7976931348623157e+308
    {0x4340000000000000ULL, "9007199254740992.0"},        // 9007199254740992.0
    {0x4341c37937e07fffULL, "9999999999999998.0"},        // 9999999999999998.0
    {0x43118b54f22aeb03ULL, "1234567890123456.8"},        // 1234567890123456.8
    {0x437b69b4ba630f35ULL, "1.2345678901234568e17"},     // 1.2345678901234568e+17
    {0x3fd3333333333334ULL, "0.30000000000000004"},       // 0.30000000000000004
    {0x3fd5555555555555ULL, "0.3333333333333333"},        // 0.3333333333333333
    {0x444b1ae4d6e2ef50ULL, "1e21"},                      // 1e+21
    {0x4480f0cf064dd592ULL, "1e22"},                      // 1e+22
    {0x4011666666666666ULL, "4.35"},                      // 4.35
    {0x4028ae147ae147aeULL, "12.34"},                     // 12.34
    {0xc052c00000000000ULL, "-75.0"},                     // -75.0
    {0x406533be76c8b439ULL, "169.617"},                   // 169.617
    {0x43d521913d2bfe4cULL, "6.090631363780227e18"},      // 6.090631363780227e+18
    {0xc08592a161e4f766ULL, "-690.3288"},                 // -690.3288
    {0xc45f1845ba433518ULL, "-2.294392300452463e21"},     // -2.294392300452463e+21
    {0xc08c8fc28f5c28f6ULL, "-913.97"},                   // -913.97
    {0x4231dd78b0f10000ULL, "76730118385.0"},             // 76730118385.0
    {0x407e21eb851eb852ULL, "482.12"},                    // 482.12
    {0x40f66b9000000000ULL, "91833.0"},                   // 91833.0
    {0x407a933214f0520dULL, "425.199727"},                // 425.199727
    {0x40f301d000000000ULL, "77853.0"},                   // 77853.0
    {0x408d991d5eb8472fULL, "947.13934082"},              // 947.13934082
    {0xc1c095696a800000ULL, "-556454613.0"},              // -556454613.0
    {0x407544c471b47842ULL, "340.29796"},                 // 340.29796
    {0xc024000000000000ULL, "-10.0"},                     // -10.0
    {0x407d532c471b4784ULL, "469.19831"},                 // 469.19831
    {0xc2b356cb0dc8aa00ULL, "-21263494793386.0"},         // -21263494793386.0
    {0xc059400000000000ULL, "-101.0"},                    // -101.0
    {0x4045800000000000ULL, "43.0"},                      // 43.0
    {0xc08cd26666666666ULL, "-922.3"},                    // -922.3
    {0xc195e89960000000ULL, "-91891288.0"},               // -91891288.0
    {0x40559b89eae566a2ULL, "86.43029282"},               // 86.43029282
    {0xc1be273a90000000ULL, "-505887376.0"},              // -505887376.0
    {0x407dfd6ba5a03819ULL, "479.838781"},                // 479.838781
    {0xc126696800000000ULL, "-734388.0"},                 // -734388.0
    {0x4070ccce98493781ULL, "268.8004382"},               // 268.8004382
    {0x4144f81680000000ULL, "2748461.0"},                 // 2748461.0
    {0x40863b24dd2f1aa0ULL, "711.393"},                   // 711.393
    {0xc39ff453948eefbeULL, "-5.756393017528769e17"},     // -5.756393017528769e+17
    {0x40240083126e978dULL, "10.001"},                    // 10.001
};

class FloatOracle : public ::testing::TestWithParam<FloatCase> {};

TEST_P(FloatOracle, MatchesShortestDigitsLaidOutByExponent) {
  const double v = std::bit_cast<double>(GetParam().bits);
  EXPECT_EQ(json::format_double(v), GetParam().text) << std::hexfloat << v;
}

INSTANTIATE_TEST_SUITE_P(PythonRepr, FloatOracle, ::testing::ValuesIn(kFloatCases));

TEST(JsonDouble, NamedCases) {
  const std::pair<double, const char*> cases[] = {
      {5.0, "5.0"},
      {0.1, "0.1"},
      {1e16, "1e16"},
      {1.5e-7, "1.5e-7"},
      {123456789012345680.0, "1.2345678901234568e17"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {1500.0, "1500.0"},
      {0.001234, "0.001234"},
      {0.00001, "0.00001"},
      {1e-6, "1e-6"},
      {1e15, "1000000000000000.0"},
      {1.2345e300, "1.2345e300"},
      {-12.34, "-12.34"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
      {std::numeric_limits<double>::infinity(), "null"},
      {-std::numeric_limits<double>::infinity(), "null"},
  };
  for (auto [v, text] : cases) EXPECT_EQ(json::format_double(v), text);
}

TEST(JsonDouble, NonFiniteAsZeroVariant) {
  std::string out;
  json::append_double_or_zero(out, std::nan(""));
  out += ',';
  json::append_double_or_zero(out, -INFINITY);
  out += ',';
  json::append_double_or_zero(out, -0.0);
  EXPECT_EQ(out, "0.0,0.0,-0.0");
}

// Random bit patterns cover every magnitude; each output must read back to the
// same double and no shorter digit string may do so.
TEST(JsonDouble, RandomRoundTripIsShortest) {
  std::mt19937_64 rng(0x5eed);
  for (int i = 0; i < 200000; ++i) {
    const double v = std::bit_cast<double>(rng());
    if (!std::isfinite(v) || v == 0.0) continue;
    const std::string s = json::format_double(v);
    double back = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), back);
    ASSERT_EQ(r.ec, std::errc()) << s;
    ASSERT_EQ(r.ptr, s.data() + s.size()) << s;
    ASSERT_EQ(std::bit_cast<uint64_t>(back), std::bit_cast<uint64_t>(v)) << s;

    // Significant digits of the output.
    std::string mant = s.substr(0, s.find('e'));
    std::string digits;
    for (char c : mant)
      if (c >= '0' && c <= '9') digits += c;
    digits.erase(0, digits.find_first_not_of('0'));
    if (auto last = digits.find_last_not_of('0'); last != std::string::npos) digits.erase(last + 1);
    const int n = static_cast<int>(digits.size());
    if (n > 1) {
      char shorter[64];
      auto w = std::to_chars(shorter, shorter + sizeof shorter, v, std::chars_format::scientific, n - 2);
      double again = 0;
      std::from_chars(shorter, w.ptr, again);
      ASSERT_NE(std::bit_cast<uint64_t>(again), std::bit_cast<uint64_t>(v))
          << s << " vs " << std::string(shorter, w.ptr);
    }
  }
}

TEST(JsonString, Escapes) {
  const std::pair<std::string, std::string> cases[] = {
      {std::string("a\tb\"c\x1f"), R"("a\tb\"c\u001f")"},
      {"/ \xc3\xa9 \x7f", "\"/ \xc3\xa9 \x7f\""},
      {"\\", R"("\\")"},
      {std::string("\b\f\n\r", 4), R"("\b\f\n\r")"},
      {std::string("\x00\x01\x0b\x1a", 4), R"("\u0000\u0001\u000b\u001a")"},
      {"", R"("")"},
      {"plain", R"("plain")"},
  };
  for (const auto& [in, want] : cases) {
    std::string out;
    json::append_string(out, in);
    EXPECT_EQ(out, want);
  }
}

TEST(JsonValue, CompactDocumentWithEveryKind) {
  json::Object o;
  o.set("n", nullptr);
  o.set("t", true);
  o.set("f", false);
  o.set("i", -42);
  o.set("u", std::numeric_limits<uint64_t>::max());
  o.set("i64min", std::numeric_limits<int64_t>::min());
  o.set("d", 2.5);
  o.set("nan", std::nan(""));
  o.set("s", "x\"y");
  o.set("ea", json::Array{});
  o.set("eo", json::Object{});
  o.set("a", json::Array{1, 2.0, "z", json::Array{nullptr}});
  EXPECT_EQ(json::Value(o).dump(),
            R"({"n":null,"t":true,"f":false,"i":-42,"u":18446744073709551615,"i64min":-9223372036854775808,)"
            R"("d":2.5,"nan":null,"s":"x\"y","ea":[],"eo":{},"a":[1,2.0,"z",[null]]})");
}

TEST(JsonObject, RepeatedKeyReplacesInPlace) {
  json::Object o;
  o.set("a", 1);
  o.set("b", 2);
  o.set("a", 3);
  EXPECT_EQ(o.size(), 2u);
  EXPECT_EQ(json::Value(o).dump(), R"({"a":3,"b":2})");
}

// Past the size where lookups switch to an index, replacement and order still
// hold, also in copies.
TEST(JsonObject, LargeObjectKeepsOrderAndReplaces) {
  json::Object o;
  std::string want = "{";
  for (int i = 0; i < 40; ++i) {
    o.set("k" + std::to_string(i), i);
    want += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":" + (i == 3 || i == 30 ? "-1" : std::to_string(i));
  }
  want += "}";
  json::Object copy = o;
  for (json::Object* x : {&o, &copy}) {
    x->set("k3", -1);
    x->set("k30", -1);
    EXPECT_EQ(x->size(), 40u);
    ASSERT_NE(x->find("k30"), nullptr);
    EXPECT_EQ(x->find("k30")->as_int(), -1);
    EXPECT_EQ(x->find("k40"), nullptr);
    EXPECT_EQ(json::Value(*x).dump(), want);
  }
}

}  // namespace

TEST(JsonRead, WidensOnlyIntegersBeyond64Bits) {
  const std::pair<std::string_view, std::optional<std::string>> cases[] = {
      {R"([18446744073709551615,-9223372036854775808,0,-0,1.5e300])", std::nullopt},
      {R"([18446744073709551616])", R"([18446744073709551616.0])"},
      {R"({"a":-9223372036854775809})", R"({"a":-9223372036854775809.0})"},
      {R"(["123456789012345678901234","\"99999999999999999999",1e99999999999999999999])", std::nullopt},
      {R"([123456789012345678901234.5,100000000000000000000e-3,99999999999999999999])",
       R"([123456789012345678901234.5,100000000000000000000e-3,99999999999999999999.0])"},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(json::widen_integer_literals(in), want) << in;
}
