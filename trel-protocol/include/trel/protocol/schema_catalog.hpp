// The schema catalogue: every kind of market row the platform knows, keyed by
// (namespace, meta id), and its Snappy-compressed binary form.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace trel {

// Column type as its wire byte: 1..8 are the named types (equal to the slot
// kinds); any other byte is an "other" type that carries no data and is kept as is.
struct FieldType {
  uint8_t wire = 0;
  bool is_known() const noexcept { return wire >= 1 && wire <= 8; }
};

struct IndexMetaField {
  uint32_t pos = 0;
  std::string name;
  FieldType type;
  uint32_t precision = 0;
  int32_t multiple = 0;
  uint8_t sample_type = 0;

  uint32_t get_pos() const noexcept { return pos; }
  std::string get_name() const { return name; }
  uint8_t get_type() const noexcept { return type.wire; }
  uint32_t get_precision() const noexcept { return precision; }
  int32_t get_multiple() const noexcept { return multiple; }
  uint8_t get_sample_type() const noexcept { return sample_type; }
};

struct IndexMeta {
  uint32_t id = 0;
  uint16_t ns = 0;
  std::string name;
  std::string display_name;
  std::map<uint32_t, uint32_t> granularities;  // granularity -> sample count
  uint8_t flags = 0;                           // carried through unchanged
  std::set<std::string> name_set;              // carried through unchanged
  std::string index_type;
  uint32_t revision = 0;
  std::string author_uuid;
  std::vector<IndexMetaField> fields;

  uint32_t get_id() const noexcept { return id; }
  uint16_t get_namespace() const noexcept { return ns; }
  std::string get_name() const { return name; }
  std::string get_display_name() const { return display_name; }
  std::map<uint32_t, uint32_t> get_granularities() const { return granularities; }
  std::string get_index_type() const { return index_type; }
  uint32_t get_revision() const noexcept { return revision; }
  std::string get_author_uuid() const { return author_uuid; }
  std::vector<IndexMetaField> get_fields() const { return fields; }
};

using SchemaKey = std::pair<uint16_t, uint32_t>;  // (namespace, meta id)

struct IndexSchemaCatalog {
  std::map<SchemaKey, IndexMeta> metas;

  const IndexMeta* find(uint16_t ns, uint32_t meta_id) const {
    auto it = metas.find({ns, meta_id});
    return it == metas.end() ? nullptr : &it->second;
  }
};

// Catalogues are immutable once built and shared between an IndexSerializer and
// the message objects that took it; an update replaces the pointer as a whole.
using SharedCatalog = std::shared_ptr<const IndexSchemaCatalog>;

// Qualified name -> (revision, namespace, meta id) of the highest-revision meta
// of that name, ordered by name.
struct IndexDataMap {
  std::map<std::string, std::tuple<uint32_t, uint16_t, uint32_t>> entries;
  uint64_t size() const noexcept { return entries.size(); }
};

// Parses a schema binary. Empty input gives an empty catalogue. Errors are
// std::runtime_error texts: "snappy: ..." or "codec: ...".
IndexSchemaCatalog load_schema_binary(std::string_view buf);
// The Snappy-compressed schema binary of the catalogue.
std::string save_schema_binary(const IndexSchemaCatalog& catalog);
IndexDataMap build_index_data_map(const IndexSchemaCatalog& catalog);

}  // namespace trel
