#include "trel/protocol/schema_catalog.hpp"

#include <algorithm>
#include <stdexcept>

#include "trel/protocol/codec.hpp"
#include "trel/protocol/snappy.hpp"

namespace trel {
namespace {

// Smallest encodings, used to bound reservations by the bytes actually present.
constexpr size_t kMinFieldRecord = 4 + 4 + 1 + 4 + 4 + 1;

IndexMetaField read_field(Reader& r) {
  IndexMetaField f;
  f.pos = r.get_u32();
  f.name = r.get_string();
  f.type.wire = r.get_u8();
  f.precision = r.get_u32();
  f.multiple = r.get_i32();
  f.sample_type = r.get_u8();
  return f;
}

IndexMeta read_meta(Reader& r) {
  IndexMeta m;
  m.id = r.get_u32();
  m.ns = r.get_u16();
  m.name = r.get_string();
  m.display_name = r.get_string();
  for (uint32_t n = r.get_u32(); n > 0; --n) {
    uint32_t granularity = r.get_u32();
    m.granularities[granularity] = r.get_u32();
  }
  m.flags = r.get_u8();
  for (uint32_t n = r.get_u32(); n > 0; --n) m.name_set.insert(r.get_string());
  m.index_type = r.get_string();
  m.revision = r.get_u32();
  m.author_uuid = r.get_string();
  uint32_t count = r.get_u32();
  m.fields.reserve(std::min<size_t>(count, r.remaining() / kMinFieldRecord));
  for (uint32_t i = 0; i < count; ++i) m.fields.push_back(read_field(r));
  return m;
}

void write_meta(Writer& w, const SchemaKey& key, const IndexMeta& m) {
  w.put_u16(key.first);
  w.put_u32(key.second);
  w.put_u32(m.id);
  w.put_u16(m.ns);
  w.put_string(m.name);
  w.put_string(m.display_name);
  w.put_u32(static_cast<uint32_t>(m.granularities.size()));
  for (const auto& [granularity, samples] : m.granularities) {
    w.put_u32(granularity);
    w.put_u32(samples);
  }
  w.put_u8(m.flags);
  w.put_list(m.name_set, [](Writer& out, const std::string& s) { out.put_string(s); });
  w.put_string(m.index_type);
  w.put_u32(m.revision);
  w.put_string(m.author_uuid);
  w.put_list(m.fields, [](Writer& out, const IndexMetaField& f) {
    out.put_u32(f.pos);
    out.put_string(f.name);
    out.put_u8(f.type.wire);
    out.put_u32(f.precision);
    out.put_i32(f.multiple);
    out.put_u8(f.sample_type);
  });
}

}  // namespace

IndexSchemaCatalog load_schema_binary(std::string_view buf) {
  IndexSchemaCatalog catalog;
  if (buf.empty()) return catalog;
  std::string plain;
  try {
    plain = snappy::decompress(buf);
  } catch (const snappy::Error& e) {
    throw std::runtime_error(std::string("snappy: ") + e.what());
  }
  try {
    Reader r(plain);
    for (uint32_t n = r.get_u32(); n > 0; --n) {
      uint16_t key_ns = r.get_u16();
      uint32_t key_id = r.get_u32();
      // A later record under the same key replaces the earlier one.
      catalog.metas.insert_or_assign(SchemaKey{key_ns, key_id}, read_meta(r));
    }
  } catch (const DecodeError& e) {
    throw std::runtime_error(std::string("codec: ") + e.what());
  }
  return catalog;
}

std::string save_schema_binary(const IndexSchemaCatalog& catalog) {
  Writer w;
  w.put_u32(static_cast<uint32_t>(catalog.metas.size()));
  for (const auto& [key, meta] : catalog.metas) write_meta(w, key, meta);
  try {
    return snappy::compress(w.bytes());
  } catch (const snappy::Error& e) {
    throw std::runtime_error(std::string("snappy: ") + e.what());
  }
}

IndexDataMap build_index_data_map(const IndexSchemaCatalog& catalog) {
  IndexDataMap out;
  // Key order walk: on equal revisions the meta later in key order wins.
  for (const auto& [key, meta] : catalog.metas) {
    auto [it, inserted] = out.entries.try_emplace(meta.name, meta.revision, meta.ns, meta.id);
    if (!inserted && meta.revision >= std::get<0>(it->second)) it->second = {meta.revision, meta.ns, meta.id};
  }
  return out;
}

}  // namespace trel
