#include "trel/protocol/utf8.hpp"

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace trel {
namespace {

int char_width(uint8_t b) {
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

bool is_continuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// Second-byte ranges that exclude overlong forms, surrogates and values past U+10FFFF.
bool valid_second(uint8_t first, uint8_t second) {
  switch (first) {
    case 0xE0:
      return second >= 0xA0 && second <= 0xBF;
    case 0xED:
      return second >= 0x80 && second <= 0x9F;
    case 0xF0:
      return second >= 0x90 && second <= 0xBF;
    case 0xF4:
      return second >= 0x80 && second <= 0x8F;
    default:
      return is_continuation(second);
  }
}

std::string invalid(size_t len, size_t at) {
  return "invalid utf-8 sequence of " + std::to_string(len) + " bytes from index " + std::to_string(at);
}
std::string incomplete(size_t at) {
  return "incomplete utf-8 byte sequence from index " + std::to_string(at);
}

}  // namespace

std::optional<std::string> utf8_error(std::string_view s) {
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    // ASCII runs are the common case: skip them eight bytes at a time.
    while (i + 8 <= n) {
      uint64_t word;
      std::memcpy(&word, p + i, 8);
      if (word & 0x8080808080808080ULL) break;
      i += 8;
    }
    if (i >= n) break;
    const uint8_t first = p[i];
    if (first < 0x80) {
      ++i;
      continue;
    }
    const int width = char_width(first);
    if (width == 0) return invalid(1, i);
    if (i + 1 >= n) return incomplete(i);
    if (!valid_second(first, p[i + 1])) return invalid(1, i);
    for (int k = 2; k < width; ++k) {
      if (i + k >= n) return incomplete(i);
      if (!is_continuation(p[i + k])) return invalid(static_cast<size_t>(k), i);
    }
    i += static_cast<size_t>(width);
  }
  return std::nullopt;
}

void require_utf8(std::string_view s) {
  if (auto err = utf8_error(s)) throw std::runtime_error("invalid utf-8: " + *err);
}

}  // namespace trel
