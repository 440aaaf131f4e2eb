// Batch decode and blob decompress on arbitrary bytes: must either return rows or
// throw BatchError, never crash or over-allocate. Decoded rows must re-encode.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "trel/protocol/index_serializer.hpp"

namespace {

const trel::IndexSchemaCatalog& catalog() {
  static const trel::IndexSchemaCatalog cat = [] {
    trel::IndexSchemaCatalog c;
    trel::IndexMeta all;
    all.ns = 0;
    all.id = 1;
    for (uint8_t t = 0; t <= 9; ++t) {
      trel::IndexMetaField f;
      f.type.wire = t;
      f.precision = t;  // a spread of scalings, including the unscaled p > 9
      all.fields.push_back(f);
    }
    c.metas[{0, 1}] = all;
    trel::IndexMeta none;
    none.ns = 1;
    none.id = 2;
    c.metas[{1, 2}] = none;
    trel::IndexMeta ints;
    ints.ns = 0;
    ints.id = 3;
    ints.fields.resize(3);
    for (auto& f : ints.fields) f.type.wire = 1;
    c.metas[{0, 3}] = ints;
    return c;
  }();
  return cat;
}

void check_reencodes(const std::vector<trel::StructValue>& rows) {
  if (rows.empty()) return;
  std::string blob = trel::compress(catalog(), rows);
  if (trel::decompress(catalog(), blob).size() != rows.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view in(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    if (data[0] & 1)
      check_reencodes(trel::decompress(catalog(), in));
    else
      check_reencodes(trel::deserialize_batch(catalog(), in));
  } catch (const trel::BatchError&) {
  }
  return 0;
}
