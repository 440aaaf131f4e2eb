// Helpers shared by the C++ tests: exact error texts and readable bytes.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace trel::test_support {

// The what() of the exception f throws, or "<no error>".
template <class F>
std::string error_of(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "<no error>";
}

// "75 F4 C4 65" style: upper-case pairs separated by spaces.
inline std::string hex(std::string_view s) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// The inverse of hex(): hex digits in pairs, anything else ignored.
inline std::string unhex(std::string_view text) {
  std::string out;
  int high = -1;
  for (char c : text) {
    int v = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                   : -1;
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out += static_cast<char>(high << 4 | v);
      high = -1;
    }
  }
  return out;
}

}  // namespace trel::test_support
