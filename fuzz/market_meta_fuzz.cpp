// Untrusted JSON into the market-meta loader, the row conversion and the
// commission loader: each either succeeds or throws its documented error kind,
// and every text slot it produces is UTF-8.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "trel/protocol/commission.hpp"
#include "trel/protocol/market_meta.hpp"
#include "trel/protocol/utf8.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  static const trel::IndexDataMap names = [] {
    trel::IndexDataMap m;
    uint32_t id = 1;
    for (const char* s :
         {"g::Commodity", "g::Dividend", "g::Futures", "g::Holiday", "g::Market", "g::Security", "g::Stock"})
      m.entries[s] = {1, 0, id++};
    return m;
  }();
  try {
    for (const auto& meta : trel::load_market_meta_from_json_str(text))
      for (const auto& row : meta.to_sv(names))
        for (const auto& slot : row.fields) {
          if (const auto* s = std::get_if<std::string>(&slot); s && !trel::is_utf8(*s)) std::abort();
          if (const auto* v = std::get_if<std::vector<std::string>>(&slot))
            for (const auto& s : *v)
              if (!trel::is_utf8(s)) std::abort();
        }
  } catch (const std::runtime_error&) {
  }
  trel::Commission c;
  try {
    c.load(text);
  } catch (const std::runtime_error&) {
  }
  return 0;
}
