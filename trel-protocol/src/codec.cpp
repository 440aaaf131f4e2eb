#include "trel/protocol/codec.hpp"

#include <cstdio>

#include "trel/protocol/utf8.hpp"

namespace trel {

DecodeError DecodeError::unexpected_end(uint64_t needed) {
  return {Kind::UnexpectedEnd, "unexpected end of input: needed " + std::to_string(needed) + " more bytes"};
}

DecodeError DecodeError::length_overflow(uint64_t length, uint64_t limit) {
  return {Kind::LengthOverflow, "length prefix " + std::to_string(length) + " exceeds remaining buffer (" +
                                    std::to_string(limit) + " bytes)"};
}

DecodeError DecodeError::invalid_utf8() { return {Kind::InvalidUtf8, "invalid utf-8 in string field"}; }

DecodeError DecodeError::unknown_enum(uint64_t raw) {
  char hex[24];
  std::snprintf(hex, sizeof hex, "%llx", static_cast<unsigned long long>(raw));
  return {Kind::UnknownEnum, std::string("unknown enum value 0x") + hex};
}

DecodeError DecodeError::type_mismatch(uint64_t field_index, std::string_view schema_type) {
  return {Kind::TypeMismatch, "StructValue field type mismatch for field index " +
                                  std::to_string(field_index) + ": schema = " + std::string(schema_type)};
}

std::string_view Reader::get_string_view() {
  std::string_view v = get_bytes_view();
  if (!is_utf8(v)) throw DecodeError::invalid_utf8();
  return v;
}

std::vector<std::string> Reader::get_string_list() {
  return get_list<std::string>([](Reader& r) { return r.get_string(); });
}

}  // namespace trel
