// UTF-8 validation with the error descriptions callers see after "invalid utf-8: ".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trel {

// Empty when s is valid UTF-8; otherwise the description of the first fault,
// e.g. "invalid utf-8 sequence of 1 bytes from index 0" or
// "incomplete utf-8 byte sequence from index 3".
std::optional<std::string> utf8_error(std::string_view s);

inline bool is_utf8(std::string_view s) { return !utf8_error(s).has_value(); }

// Throws std::runtime_error("invalid utf-8: " + description) when s is not UTF-8.
void require_utf8(std::string_view s);

}  // namespace trel
