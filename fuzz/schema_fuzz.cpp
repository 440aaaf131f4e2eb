// Schema binary load on arbitrary bytes (both as a Snappy block and as the plain
// layout wrapped in one): a catalogue or a runtime_error, and saved catalogues reload equal.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "trel/protocol/schema_catalog.hpp"
#include "trel/protocol/snappy.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view in(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    std::string block = (data[0] & 1) ? std::string(in) : trel::snappy::compress(in);
    trel::IndexSchemaCatalog cat = trel::load_schema_binary(block);
    std::string saved = trel::save_schema_binary(cat);
    trel::IndexSchemaCatalog again = trel::load_schema_binary(saved);
    if (trel::save_schema_binary(again) != saved) std::abort();
    (void)trel::build_index_data_map(again);
  } catch (const std::runtime_error&) {
  }
  return 0;
}
