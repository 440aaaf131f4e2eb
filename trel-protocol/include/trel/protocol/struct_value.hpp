// StructValue: one market row. A fixed header that says what the row is, twelve
// auxiliary header numbers carried by the batch codec, and typed field slots.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace trel {

// Slot kinds; the numbers are the wire type bytes of the schema columns.
enum class SlotKind : uint8_t { Empty = 0, Int, Double, String, VInt, VDouble, VString, Int64, VInt64 };

// Alternative index == SlotKind number, so slot.index() is the kind.
using Slot = std::variant<std::monostate, int32_t, double, std::string, std::vector<int32_t>,
                          std::vector<double>, std::vector<std::string>, int64_t, std::vector<int64_t>>;

inline SlotKind kind_of(const Slot& s) noexcept { return static_cast<SlotKind>(s.index()); }
// "Empty", "Int", "Double", "String", "VInt", "VDouble", "VString", "Int64", "VInt64".
std::string_view slot_kind_name(SlotKind kind) noexcept;

inline constexpr size_t kAuxCount = 12;

class StructValue {
 public:
  // Header, public for the codecs' hot paths. Texts are UTF-8: the setters check it.
  std::string market;
  std::string stock_code;
  uint64_t time_tag = 0;
  int32_t meta_id = 0;
  int32_t granularity = 0;
  uint16_t ns = 0;
  std::array<uint32_t, kAuxCount> aux{};
  std::vector<Slot> fields;

  int32_t get_meta_id() const noexcept { return meta_id; }
  void set_meta_id(int32_t v) noexcept { meta_id = v; }
  uint16_t get_namespace() const noexcept { return ns; }
  void set_namespace(uint16_t v) noexcept { ns = v; }
  uint64_t get_time_tag() const noexcept { return time_tag; }
  void set_time_tag(uint64_t v) noexcept { time_tag = v; }
  int32_t get_granularity() const noexcept { return granularity; }
  void set_granularity(int32_t v) noexcept { granularity = v; }
  std::string get_market() const { return market; }
  void set_market(std::string v);
  std::string get_stock_code() const { return stock_code; }
  void set_stock_code(std::string v);

  uint64_t size() const noexcept { return fields.size(); }
  void reset() noexcept { fields.clear(); }
  void resize(uint64_t sz) { fields.resize(sz); }
  void copy(const StructValue& s) { *this = s; }
  bool is_empty(uint64_t pos) const { return slot(pos).index() == 0; }

  int32_t get_int(uint64_t pos) const { return typed<int32_t>(pos, "int"); }
  double get_double(uint64_t pos) const { return typed<double>(pos, "double"); }
  std::string get_string(uint64_t pos) const { return typed<std::string>(pos, "string"); }
  int64_t get_int_64(uint64_t pos) const { return typed<int64_t>(pos, "int64"); }
  std::vector<int32_t> get_int_32_vector(uint64_t pos) const {
    return typed<std::vector<int32_t>>(pos, "int32_vector");
  }
  std::vector<double> get_double_vector(uint64_t pos) const {
    return typed<std::vector<double>>(pos, "double_vector");
  }
  std::vector<std::string> get_string_vector(uint64_t pos) const {
    return typed<std::vector<std::string>>(pos, "string_vector");
  }
  std::vector<int64_t> get_int_64_vector(uint64_t pos) const {
    return typed<std::vector<int64_t>>(pos, "int64_vector");
  }

  void set_int(uint64_t pos, int32_t v) { slot(pos) = v; }
  void set_double(uint64_t pos, double v) { slot(pos) = v; }
  void set_string(uint64_t pos, std::string v);
  void set_int_64(uint64_t pos, int64_t v) { slot(pos) = v; }
  void set_int_32_vector(uint64_t pos, std::vector<int32_t> v) { slot(pos) = std::move(v); }
  void set_double_vector(uint64_t pos, std::vector<double> v) { slot(pos) = std::move(v); }
  void set_string_vector(uint64_t pos, std::vector<std::string> v);
  void set_int_64_vector(uint64_t pos, std::vector<int64_t> v) { slot(pos) = std::move(v); }

  // Checked slot access: "Invalid field length {size} (pos {pos})" when out of range.
  const Slot& slot(uint64_t pos) const;
  Slot& slot(uint64_t pos);

 private:
  template <class T>
  const T& typed(uint64_t pos, std::string_view word) const {
    const Slot& s = slot(pos);
    if (const T* v = std::get_if<T>(&s)) return *v;
    throw_kind_mismatch(pos, word, kind_of(s));
  }
  [[noreturn]] static void throw_kind_mismatch(uint64_t pos, std::string_view word, SlotKind actual);
};

}  // namespace trel
