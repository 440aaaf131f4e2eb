#include "trel/protocol/struct_value.hpp"

#include <stdexcept>

#include "trel/protocol/utf8.hpp"

namespace trel {

std::string_view slot_kind_name(SlotKind kind) noexcept {
  static constexpr std::string_view names[] = {"Empty",   "Int",     "Double", "String", "VInt",
                                               "VDouble", "VString", "Int64",  "VInt64"};
  auto i = static_cast<size_t>(kind);
  return i < std::size(names) ? names[i] : std::string_view("Unknown");
}

const Slot& StructValue::slot(uint64_t pos) const {
  if (pos >= fields.size())
    throw std::runtime_error("Invalid field length " + std::to_string(fields.size()) + " (pos " +
                             std::to_string(pos) + ")");
  return fields[pos];
}

Slot& StructValue::slot(uint64_t pos) {
  return const_cast<Slot&>(static_cast<const StructValue&>(*this).slot(pos));
}

void StructValue::throw_kind_mismatch(uint64_t pos, std::string_view word, SlotKind actual) {
  throw std::runtime_error("field " + std::to_string(pos) + " is not " + std::string(word) + " (is " +
                           std::string(slot_kind_name(actual)) + ")");
}

void StructValue::set_market(std::string v) {
  require_utf8(v);
  market = std::move(v);
}

void StructValue::set_stock_code(std::string v) {
  require_utf8(v);
  stock_code = std::move(v);
}

void StructValue::set_string(uint64_t pos, std::string v) {
  Slot& s = slot(pos);
  require_utf8(v);
  s = std::move(v);
}

void StructValue::set_string_vector(uint64_t pos, std::vector<std::string> v) {
  Slot& s = slot(pos);
  for (const auto& e : v) require_utf8(e);
  s = std::move(v);
}

}  // namespace trel
