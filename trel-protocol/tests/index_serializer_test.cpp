#include "trel/protocol/index_serializer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "trel/protocol/codec.hpp"
#include "trel/protocol/snappy.hpp"
#include "trel/testing.hpp"

using namespace trel;

namespace {

using trel::test_support::error_of;
using trel::test_support::hex;
using trel::test_support::unhex;

IndexMetaField column(uint8_t type, uint32_t precision = 0) {
  IndexMetaField f;
  f.type.wire = type;
  f.precision = precision;
  return f;
}

IndexSchemaCatalog catalog_of(
    std::initializer_list<std::pair<SchemaKey, std::vector<IndexMetaField>>> metas) {
  IndexSchemaCatalog cat;
  for (const auto& [key, fields] : metas) {
    IndexMeta m;
    m.ns = key.first;
    m.id = key.second;
    m.fields = fields;
    cat.metas[key] = m;
  }
  return cat;
}

StructValue row(uint16_t ns, int32_t meta_id, size_t fields, uint64_t time = 0) {
  StructValue sv;
  sv.ns = ns;
  sv.meta_id = meta_id;
  sv.time_tag = time;
  sv.fields.resize(fields);
  return sv;
}

const IndexSchemaCatalog kThree = catalog_of({{{0, 7}, {column(1), column(2, 2), column(3)}}});

TEST(SerializeBatch, OneFullRowByteExact) {
  StructValue sv = row(0, 7, 3, 1000);
  sv.granularity = 60;
  sv.market = "SH";
  sv.stock_code = "600000";
  sv.set_int(0, -1);
  sv.set_double(1, 1.5);
  sv.set_string(2, "ab");
  std::vector<StructValue> rows{sv};
  EXPECT_EQ(hex(serialize_batch(kThree, rows)),
            "00 00 00 00 00 07 00 00 00 00 00 00 00 00 00 01 "  // ns, meta, mask, N
            "00 00 00 00 00 00 03 E8 00 00 00 3C "              // time tag, granularity
            "00 00 00 02 53 48 00 00 00 06 36 30 30 30 30 30 "  // market, stock code
            "00 00 00 01 00 00 00 00 00 00 00 07 "              // one presence word, bits 0..2
            "FF FF FF FF 00 00 00 00 00 00 00 96 00 00 00 02 61 62");
}

TEST(SerializeBatch, PresenceIsFieldMajorAndValuesSkipEmptySlots) {
  auto cat = catalog_of({{{0, 1}, {column(1), column(1)}}});
  std::vector<StructValue> rows{row(0, 1, 2), row(0, 1, 2)};
  rows[0].set_int(0, 10);
  rows[0].set_int(1, 11);
  rows[1].set_int(1, 21);
  std::string b = serialize_batch(cat, rows);
  // header 16, times 16, grans 8, four empty strings 16 -> presence at 56
  EXPECT_EQ(hex(b.substr(56)), "00 00 00 01 00 00 00 00 00 00 00 0D 00 00 00 0A 00 00 00 0B 00 00 00 15");
}

TEST(SerializeBatch, FullBitmapSpansWords) {
  // 13 rows x 5 fields = 65 bits: one all-ones word and one word holding bit 0.
  auto cat = catalog_of({{{0, 1}, std::vector<IndexMetaField>(5, column(1))}});
  std::vector<StructValue> rows(13, row(0, 1, 5));
  for (auto& r : rows)
    for (size_t f = 0; f < 5; ++f) r.set_int(f, 1);
  std::string b = serialize_batch(cat, rows);
  size_t at = 16 + 13 * (8 + 4 + 4 + 4);
  EXPECT_EQ(hex(b.substr(at, 20)), "00 00 00 02 FF FF FF FF FF FF FF FF 00 00 00 00 00 00 00 01");
  auto back = deserialize_batch(cat, b);
  ASSERT_EQ(back.size(), 13u);
  EXPECT_EQ(back[12].get_int(4), 1);
}

TEST(SerializeBatch, VectorsHaveBigEndianCountsAndLittleEndianElements) {
  auto cat = catalog_of({{{0, 1}, {column(4), column(5, 1), column(8), column(6)}}});
  std::vector<StructValue> rows{row(0, 1, 4)};
  rows[0].set_int_32_vector(0, {1, 2});
  rows[0].set_double_vector(1, {0.5});
  rows[0].set_int_64_vector(2, {-2});
  rows[0].set_string_vector(3, {"x", ""});
  std::string b = serialize_batch(cat, rows);
  EXPECT_EQ(hex(b.substr(16 + 20 + 12)),
            "00 00 00 02 01 00 00 00 02 00 00 00 "
            "00 00 00 01 05 00 00 00 00 00 00 00 "
            "00 00 00 01 FE FF FF FF FF FF FF FF "
            "00 00 00 02 00 00 00 01 78 00 00 00 00");
}

TEST(SerializeBatch, TagMaskFollowsTheFirstRow) {
  auto cat = catalog_of({{{0, 1}, {}}});
  std::vector<StructValue> rows{row(0, 1, 0), row(0, 1, 0)};
  rows[0].aux[3] = 7;
  rows[0].aux[11] = 1;
  rows[1].aux[3] = 9;
  rows[1].aux[5] = 4;  // bit clear in the first row: dropped
  std::string b = serialize_batch(cat, rows);
  EXPECT_EQ(hex(b.substr(6, 2)), "08 08");
  EXPECT_EQ(hex(b.substr(16 + 40, 16 + 4)), "00 00 00 07 00 00 00 01 00 00 00 09 00 00 00 00 00 00 00 00");
  auto back = deserialize_batch(cat, b);
  EXPECT_EQ(back[1].aux[3], 9u);
  EXPECT_EQ(back[1].aux[5], 0u);
  EXPECT_EQ(back[0].aux[11], 1u);
}

struct ScaleCase {
  double value;
  uint32_t precision;
  int64_t raw;
};
class Scale : public testing::TestWithParam<ScaleCase> {};
TEST_P(Scale, RoundsHalfAwayAndSaturates) {
  EXPECT_EQ(scale_double(GetParam().value, GetParam().precision), GetParam().raw);
}
constexpr double kInf = std::numeric_limits<double>::infinity();
INSTANTIATE_TEST_SUITE_P(Cases, Scale,
                         testing::Values(ScaleCase{1.005, 2, 100}, ScaleCase{0.29, 2, 29},
                                         ScaleCase{2.5, 0, 3}, ScaleCase{-2.5, 0, -3}, ScaleCase{1.6, 12, 2},
                                         ScaleCase{1.23456789, 9, 1234567890}, ScaleCase{std::nan(""), 2, 0},
                                         ScaleCase{kInf, 0, INT64_MAX}, ScaleCase{-kInf, 3, INT64_MIN},
                                         ScaleCase{9223372036854775808.0, 0, INT64_MAX},
                                         ScaleCase{-9223372036854775808.0, 0, INT64_MIN},
                                         ScaleCase{1e18, 2, INT64_MAX}));

TEST(Unscale, MultipliesByTheNearestPowerOfTen) {
  EXPECT_EQ(unscale_double(3, 1), 0.30000000000000004);
  EXPECT_EQ(unscale_double(29, 2), 29 * 0.01);
  EXPECT_EQ(unscale_double(7, 12), 7.0);
  EXPECT_EQ(unscale_double(1, 9), 1e-09);
}

TEST(SerializeBatch, Errors) {
  std::vector<StructValue> none;
  EXPECT_EQ(error_of([&] { serialize_batch(kThree, none); }), "empty input batch");
  std::vector<StructValue> unknown{row(1, 5, 3)};
  EXPECT_EQ(error_of([&] { serialize_batch(kThree, unknown); }), "unknown schema: namespace=1 meta_id=5");
  std::vector<StructValue> short_row{row(0, 7, 3), row(0, 7, 2)};
  EXPECT_EQ(error_of([&] { serialize_batch(kThree, short_row); }),
            "StructValue field count 2 does not match schema field count 3 for (ns=0, meta_id=7)");
  // Every row's count is checked before any kind.
  std::vector<StructValue> both{row(0, 7, 3), row(0, 7, 4)};
  both[0].set_string(0, "x");
  EXPECT_EQ(error_of([&] { serialize_batch(kThree, both); }),
            "StructValue field count 4 does not match schema field count 3 for (ns=0, meta_id=7)");
  // The first mismatch in field-major order wins.
  std::vector<StructValue> kinds{row(0, 7, 3), row(0, 7, 3)};
  kinds[0].set_string(1, "x");
  kinds[1].set_int(0, 1);
  kinds[1].set_double(0, 1);
  EXPECT_EQ(error_of([&] { serialize_batch(kThree, kinds); }),
            "StructValue field 0 is Double but schema declares Int");
  std::vector<StructValue> int_for_double{row(0, 7, 3)};
  int_for_double[0].set_int(1, 1);
  EXPECT_EQ(error_of([&] { serialize_batch(kThree, int_for_double); }),
            "StructValue field 1 is Int but schema declares Double");
  EXPECT_EQ(field_type_name(FieldType{9}), "Other(9)");
  EXPECT_EQ(field_type_name(FieldType{0}), "Other(0)");
  EXPECT_EQ(field_type_name(FieldType{8}), "VInt64");
}

TEST(SerializeBatch, UnknownColumnTypeTakesAnyKindAndCarriesNothing) {
  auto cat = catalog_of({{{0, 1}, {column(9), column(1)}}});
  std::vector<StructValue> rows{row(0, 1, 2)};
  rows[0].set_string(0, "dropped");
  rows[0].set_int(1, 5);
  std::string b = serialize_batch(cat, rows);
  EXPECT_EQ(hex(b.substr(36)), "00 00 00 01 00 00 00 00 00 00 00 03 00 00 00 05");
  auto back = deserialize_batch(cat, b);
  EXPECT_TRUE(back[0].is_empty(0));
  EXPECT_EQ(back[0].get_int(1), 5);
}

TEST(Batch, RoundTripsEveryKindWithGaps) {
  auto cat = catalog_of({{{1, 0xFFFFFFF0},
                          {column(1), column(2, 0), column(3), column(4), column(5, 2), column(6), column(7),
                           column(8), column(2, 12)}}});
  std::vector<StructValue> rows;
  for (int i = 0; i < 5; ++i) {
    StructValue sv = row(1, -16, 9, 1700000000000ULL + i);
    sv.granularity = -i;
    sv.market = "SZ";
    sv.stock_code = std::string(static_cast<size_t>(i), 'c');
    if (i != 1) sv.set_int(0, i * 1000 - 7);
    if (i != 2) sv.set_double(1, i * 2.0 - 3);
    sv.set_string(2, "\xE4\xB8\xAD" + std::to_string(i));
    if (i % 2) sv.set_int_32_vector(3, {i, -i, INT32_MIN});
    sv.set_double_vector(4, {0.25 * i, -1.5});
    if (i != 3) sv.set_string_vector(5, {"a", std::to_string(i)});
    sv.set_int_64(6, INT64_MIN + i);
    sv.set_int_64_vector(7, {});
    sv.set_double(8, 12345.0 + i);
    rows.push_back(sv);
  }
  std::string b = serialize_batch(cat, rows);
  auto back = deserialize_batch(cat, b);
  ASSERT_EQ(back.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(back[i].ns, 1);
    EXPECT_EQ(back[i].meta_id, -16);
    EXPECT_EQ(back[i].time_tag, rows[i].time_tag);
    EXPECT_EQ(back[i].granularity, rows[i].granularity);
    EXPECT_EQ(back[i].stock_code, rows[i].stock_code);
    EXPECT_EQ(back[i].fields, rows[i].fields) << "row " << i;
  }
  EXPECT_EQ(serialize_batch(cat, back), b);
}

TEST(DeserializeBatch, Errors) {
  std::vector<StructValue> one{row(0, 7, 3)};
  one[0].set_int(0, 1);
  std::string b = serialize_batch(kThree, one);
  EXPECT_EQ(error_of([&] { deserialize_batch(IndexSchemaCatalog{}, b); }),
            "unknown schema: namespace=0 meta_id=7");

  std::string bad_words = b;
  bad_words[16 + 20 + 3] = 5;
  EXPECT_EQ(error_of([&] { deserialize_batch(kThree, bad_words); }),
            "codec: length prefix 5 exceeds remaining buffer (1 bytes)");

  std::string bad_utf8 = b;
  bad_utf8.replace(16 + 12, 4, unhex("00 00 00 02 FF FE"));
  EXPECT_EQ(error_of([&] { deserialize_batch(kThree, bad_utf8); }), "codec: invalid utf-8 in string field");

  // Truncation anywhere gives the plain shortfall, never a crash.
  EXPECT_EQ(error_of([&] { deserialize_batch(kThree, b.substr(0, b.size() - 1)); }),
            "codec: unexpected end of input: needed 1 more bytes");
  for (size_t cut = 0; cut < b.size(); ++cut) {
    std::string err = error_of([&] { deserialize_batch(kThree, b.substr(0, cut)); });
    EXPECT_EQ(err.rfind("codec: unexpected end of input: needed ", 0), 0u) << cut << ": " << err;
  }
}

TEST(DeserializeBatch, VectorCountBeyondInputFailsBeforeReadingElements) {
  auto cat = catalog_of({{{0, 1}, {column(4)}}});
  std::vector<StructValue> rows{row(0, 1, 1)};
  rows[0].set_int_32_vector(0, {1, 2, 3});
  std::string b = serialize_batch(cat, rows);
  EXPECT_EQ(error_of([&] { deserialize_batch(cat, b.substr(0, b.size() - 4)); }),
            "codec: unexpected end of input: needed 4 more bytes");
  b.replace(b.size() - 16, 4, unhex("7F FF FF FF"));
  EXPECT_EQ(error_of([&] { deserialize_batch(cat, b); }),
            "codec: unexpected end of input: needed 8589934576 more bytes");
}

struct ForgedCount {
  uint64_t rows;
  std::string body;
  std::string error;
};
class HugeRowCount : public testing::TestWithParam<ForgedCount> {};
TEST_P(HugeRowCount, IsRejectedWithTheSequentialShortfall) {
  Writer w;
  w.put_u16(0);
  w.put_u32(7);
  w.put_u16(0);
  w.put_u64(GetParam().rows);
  w.put_raw(unhex(GetParam().body));
  EXPECT_EQ(error_of([&] { deserialize_batch(kThree, w.bytes()); }), GetParam().error);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, HugeRowCount,
    testing::Values(
        ForgedCount{UINT64_MAX, "", "codec: unexpected end of input: needed 8 more bytes"},
        ForgedCount{1ULL << 62, "00 00 00 00 00 00 00 01 02 03",
                    "codec: unexpected end of input: needed 6 more bytes"},
        // Two rows whose fixed-width sections fit but whose strings do not.
        ForgedCount{2, "00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 02 00 00 00 01 00 00 00 02 00 00 00 00",
                    "codec: unexpected end of input: needed 4 more bytes"},
        ForgedCount{2, "00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 02 00 00 00 01 00 00 00 02 FF FF FF FF",
                    "codec: unexpected end of input: needed 4294967295 more bytes"}));

TEST(Blob, GroupsAscendAndRoundTrip) {
  auto cat = catalog_of({{{1, 5}, {column(1)}}, {{0, 9}, {column(7)}}});
  std::vector<StructValue> rows{row(1, 5, 1, 1), row(0, 9, 1, 2), row(1, 5, 1, 3)};
  rows[0].set_int(0, 1);
  rows[1].set_int_64(0, 2);
  rows[2].set_int(0, 3);
  std::string blob = compress(cat, rows);
  std::string plain = snappy::decompress(blob);
  std::vector<StructValue> g09{rows[1]};
  std::vector<StructValue> g15{rows[0], rows[2]};
  std::string b09 = serialize_batch(cat, g09), b15 = serialize_batch(cat, g15);
  Writer expect;
  expect.put_u32(2);
  expect.put_bytes(b09);
  expect.put_bytes(b15);
  EXPECT_EQ(plain, expect.bytes());
  auto back = decompress(cat, blob);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0].time_tag, 2u);
  EXPECT_EQ(back[1].time_tag, 1u);
  EXPECT_EQ(back[2].time_tag, 3u);
  EXPECT_EQ(back[2].get_int(0), 3);

  std::vector<const StructValue*> ptrs{&rows[0], &rows[1], &rows[2]};
  EXPECT_EQ(compress(cat, ptrs), blob);
}

TEST(Blob, EmptyAndZeroLengthGroups) {
  std::vector<StructValue> none;
  EXPECT_EQ(snappy::decompress(compress(kThree, none)), std::string(4, '\0'));
  EXPECT_TRUE(decompress(kThree, "").empty());
  Writer w;
  w.put_u32(2);
  w.put_u32(0);
  w.put_u32(0);
  w.put_raw("trailing");
  EXPECT_TRUE(decompress(kThree, snappy::compress(w.bytes())).empty());
}

TEST(Blob, Errors) {
  EXPECT_EQ(error_of([] { decompress(IndexSchemaCatalog{}, "\xff\xff\xff\xff\xff"); }).rfind("snappy: ", 0),
            0u);
  Writer w;
  w.put_u32(1);
  w.put_u32(100);
  w.put_raw("0123456789");
  EXPECT_EQ(error_of([&] { decompress(kThree, snappy::compress(w.bytes())); }),
            "codec: unexpected end of input: needed 90 more bytes");
  // A failing later group discards the rows of earlier groups.
  std::vector<StructValue> one{row(0, 7, 3)};
  Writer two;
  two.put_u32(2);
  two.put_bytes(serialize_batch(kThree, one));
  two.put_bytes(std::string(16, '\x01'));
  EXPECT_EQ(error_of([&] { decompress(kThree, snappy::compress(two.bytes())); }),
            "unknown schema: namespace=257 meta_id=16843009");
  // A row that fails to encode leaves nothing behind.
  std::vector<StructValue> mixed{row(0, 7, 3), row(1, 1, 0)};
  EXPECT_EQ(error_of([&] { compress(kThree, mixed); }), "unknown schema: namespace=1 meta_id=1");
}

}  // namespace
