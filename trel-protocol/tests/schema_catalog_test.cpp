#include "trel/protocol/schema_catalog.hpp"

#include <gtest/gtest.h>

#include "trel/protocol/codec.hpp"
#include "trel/protocol/snappy.hpp"
#include "trel/testing.hpp"

using namespace trel;

namespace {

using trel::test_support::error_of;

// One meta record in the plain layout, written field by field.
void put_meta(Writer& w, uint16_t key_ns, uint32_t key_id, uint32_t id, uint16_t ns, std::string_view name,
              uint32_t revision, uint8_t field_type = 2) {
  w.put_u16(key_ns);
  w.put_u32(key_id);
  w.put_u32(id);
  w.put_u16(ns);
  w.put_string(name);
  w.put_string("Display");
  w.put_u32(2);  // granularities, ascending
  w.put_u32(60);
  w.put_u32(240);
  w.put_u32(86400);
  w.put_u32(1);
  w.put_u8(0x5A);
  w.put_u32(2);  // name set, ascending
  w.put_string("a");
  w.put_string("b");
  w.put_string("bar");
  w.put_u32(revision);
  w.put_string("uuid-1");
  w.put_u32(2);  // fields
  w.put_u32(0);
  w.put_string("open");
  w.put_u8(field_type);
  w.put_u32(4);
  w.put_i32(-3);
  w.put_u8(7);
  w.put_u32(1);
  w.put_string("vol");
  w.put_u8(9);
  w.put_u32(0);
  w.put_i32(1);
  w.put_u8(0);
}

std::string two_meta_plain() {
  Writer w;
  w.put_u32(2);
  put_meta(w, 0, 3, 3, 0, "x.bar", 1);
  put_meta(w, 1, 2, 2, 1, "y.bar", 1);
  return w.take();
}

TEST(SchemaCatalog, LoadsEveryMember) {
  IndexSchemaCatalog cat = load_schema_binary(snappy::compress(two_meta_plain()));
  ASSERT_EQ(cat.metas.size(), 2u);
  const IndexMeta* m = cat.find(1, 2);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->name, "y.bar");
  EXPECT_EQ(m->display_name, "Display");
  EXPECT_EQ(m->granularities, (std::map<uint32_t, uint32_t>{{60, 240}, {86400, 1}}));
  EXPECT_EQ(m->flags, 0x5A);
  EXPECT_EQ(m->name_set, (std::set<std::string>{"a", "b"}));
  EXPECT_EQ(m->index_type, "bar");
  EXPECT_EQ(m->author_uuid, "uuid-1");
  ASSERT_EQ(m->fields.size(), 2u);
  EXPECT_EQ(m->fields[0].name, "open");
  EXPECT_EQ(m->fields[0].get_type(), 2);
  EXPECT_EQ(m->fields[0].precision, 4u);
  EXPECT_EQ(m->fields[0].multiple, -3);
  EXPECT_EQ(m->fields[0].sample_type, 7);
  EXPECT_EQ(m->fields[1].get_type(), 9);
  EXPECT_FALSE(m->fields[1].type.is_known());
}

TEST(SchemaCatalog, SaveWritesTheSamePlainLayoutInKeyOrder) {
  // Input written out of key order: the save lists (0,3) before (1,2) either way.
  std::string plain = two_meta_plain();
  std::string saved = save_schema_binary(load_schema_binary(snappy::compress(plain)));
  EXPECT_EQ(snappy::decompress(saved), plain);

  Writer reversed;
  reversed.put_u32(2);
  put_meta(reversed, 1, 2, 2, 1, "y.bar", 1);
  put_meta(reversed, 0, 3, 3, 0, "x.bar", 1);
  EXPECT_EQ(snappy::decompress(save_schema_binary(load_schema_binary(snappy::compress(reversed.bytes())))),
            plain);
}

TEST(SchemaCatalog, EmptyInputsAndEmptyCatalogue) {
  EXPECT_TRUE(load_schema_binary("").metas.empty());
  std::string saved = save_schema_binary(IndexSchemaCatalog{});
  EXPECT_EQ(snappy::decompress(saved), std::string(4, '\0'));
  EXPECT_TRUE(load_schema_binary(saved).metas.empty());
}

TEST(SchemaCatalog, LaterDuplicateKeyReplacesEarlier) {
  Writer w;
  w.put_u32(2);
  put_meta(w, 0, 1, 1, 0, "first", 1);
  put_meta(w, 0, 1, 1, 0, "second", 1);
  IndexSchemaCatalog cat = load_schema_binary(snappy::compress(w.bytes()));
  ASSERT_EQ(cat.metas.size(), 1u);
  EXPECT_EQ(cat.find(0, 1)->name, "second");
}

TEST(SchemaCatalog, KeyAndOwnIdsAreKeptApart) {
  Writer w;
  w.put_u32(1);
  put_meta(w, 4, 40, 41, 5, "m", 1);
  IndexSchemaCatalog cat = load_schema_binary(snappy::compress(w.bytes()));
  ASSERT_NE(cat.find(4, 40), nullptr);
  EXPECT_EQ(cat.find(4, 40)->id, 41u);
  EXPECT_EQ(cat.find(4, 40)->ns, 5);
}

TEST(SchemaCatalog, EveryTruncationFailsWithTheShortfall) {
  std::string plain = two_meta_plain();
  for (size_t cut = 0; cut < plain.size(); ++cut) {
    std::string err = error_of([&] { load_schema_binary(snappy::compress(plain.substr(0, cut))); });
    EXPECT_EQ(err.rfind("codec: unexpected end of input: needed ", 0), 0u) << cut << ": " << err;
  }
  EXPECT_EQ(error_of([&] { load_schema_binary(snappy::compress(plain.substr(0, 5))); }),
            "codec: unexpected end of input: needed 1 more bytes");
}

TEST(SchemaCatalog, LoadErrors) {
  EXPECT_EQ(error_of([] { load_schema_binary("\xff\xff\xff\xff\xff"); }).rfind("snappy: ", 0), 0u);
  Writer w;
  w.put_u32(1);
  put_meta(w, 0, 1, 1, 0, "\xff\xfe", 1);
  EXPECT_EQ(error_of([&] { load_schema_binary(snappy::compress(w.bytes())); }),
            "codec: invalid utf-8 in string field");
  // A huge field count must fail on the shortfall, not on an allocation.
  Writer big;
  big.put_u32(1);
  put_meta(big, 0, 1, 1, 0, "m", 1);
  std::string plain = big.take();
  plain.resize(plain.size() - 4 - 22 - 21);  // drop the field count and both field records
  Writer tail;
  tail.put_u32(0xFFFFFFFF);
  std::string forged = plain + tail.bytes();
  EXPECT_EQ(error_of([&] { load_schema_binary(snappy::compress(forged)); }),
            "codec: unexpected end of input: needed 4 more bytes");
}

TEST(IndexDataMap, HighestRevisionWinsAndTiesGoToTheLaterKey) {
  Writer w;
  w.put_u32(5);
  put_meta(w, 0, 1, 1, 0, "a", 5);
  put_meta(w, 0, 2, 2, 0, "a", 3);
  put_meta(w, 0, 7, 7, 0, "b", 4);
  put_meta(w, 1, 1, 1, 1, "b", 4);
  put_meta(w, 1, 9, 9, 1, "c", 0);
  IndexDataMap map = build_index_data_map(load_schema_binary(snappy::compress(w.bytes())));
  EXPECT_EQ(map.size(), 3u);
  EXPECT_EQ(map.entries.at("a"), std::make_tuple(5u, uint16_t{0}, 1u));
  EXPECT_EQ(map.entries.at("b"), std::make_tuple(4u, uint16_t{1}, 1u));
  EXPECT_EQ(map.entries.at("c"), std::make_tuple(0u, uint16_t{1}, 9u));
}

}  // namespace
