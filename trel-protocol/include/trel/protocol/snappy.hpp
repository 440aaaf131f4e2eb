// Raw Snappy block compression (no framing, no checksum).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace trel::snappy {

// Thrown with the library-level description; callers add "snappy: " or their own prefix.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string compress(std::string_view plain);
// Checks the block before allocating: the declared length must be one the
// input can actually produce, so a forged header cannot force a large buffer.
std::string decompress(std::string_view block);
// As decompress, into buf, which only ever grows (so a reused buffer is
// neither reallocated nor cleared again); the result is the first bytes of buf.
std::string_view decompress_into(std::string_view block, std::string& buf);

}  // namespace trel::snappy
