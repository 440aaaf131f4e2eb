// Compact JSON text, byte for byte predictable: no whitespace, members in
// insertion order, shortest round-trip doubles with a fixed layout, non-finite
// doubles as null, and only the escapes a JSON reader needs.
//
// Two layers: append_* functions that write one scalar onto a string (for
// renderers that stream a known shape), and a small document model (Value,
// Array, Object) for renderers that build a document and dump it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace trel::json {

// ---- Scalar writers ------------------------------------------------------

void append_int(std::string& out, int64_t v);
void append_uint(std::string& out, uint64_t v);
// Shortest round-trip digits laid out by decimal exponent (5.0, 0.001, 1e16,
// 1.5e-7, -0.0); NaN and infinities are written as null.
void append_double(std::string& out, double v);
// As append_double, but a NaN or infinity is written as 0.0 (for texts whose
// readers expect a number in every position).
void append_double_or_zero(std::string& out, double v);
// The string between double quotes with ", \ and controls below U+0020
// escaped; every other byte is copied unchanged.
void append_string(std::string& out, std::string_view s);
inline void append_bool(std::string& out, bool v) { out += v ? "true" : "false"; }
inline void append_null(std::string& out) { out += "null"; }

// The text append_double would write, as a string.
std::string format_double(double v);

// ---- Reading ---------------------------------------------------------------

// The parser refuses integer literals outside [-2^63, 2^64 - 1] although they
// are valid JSON. This gives the text with each such literal turned into a
// float literal (".0" appended), so it reads as the nearest double; nullopt
// when the text holds none. Text inside strings is left alone.
std::optional<std::string> widen_integer_literals(std::string_view json);

// ---- Document model ------------------------------------------------------

class Value;
class Object;
using Array = std::vector<Value>;

// An object keeps its members in insertion order. Setting a key it already
// holds replaces that member's value in place: the member keeps its first
// position and the object does not grow.
class Object {
 public:
  using Member = std::pair<std::string, Value>;

  Object() = default;
  Object(const Object& other);
  Object(Object&&) noexcept = default;
  Object& operator=(const Object& other);
  Object& operator=(Object&&) noexcept = default;
  ~Object();

  // Inserts or replaces; returns the member's value.
  Value& set(std::string key, Value v);
  const Value* find(std::string_view key) const;
  Value* find(std::string_view key);
  bool contains(std::string_view key) const { return find(key) != nullptr; }

  size_t size() const noexcept;
  bool empty() const noexcept;
  void reserve(size_t n);
  std::vector<Member>::const_iterator begin() const noexcept;
  std::vector<Member>::const_iterator end() const noexcept;

 private:
  // Small objects are searched linearly; past this size a key index is kept
  // so building a large object stays linear in its member count.
  static constexpr size_t kIndexThreshold = 16;
  ptrdiff_t index_of(std::string_view key) const;

  std::vector<Member> members_;
  // Heterogeneous lookup by string_view.
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
  };
  std::unique_ptr<std::unordered_map<std::string, size_t, Hash, std::equal_to<>>> index_;
};

class Value {
 public:
  enum class Type : uint8_t { Null, Bool, Int, UInt, Double, String, Array, Object };

  Value() noexcept : v_(nullptr) {}
  Value(std::nullptr_t) noexcept : v_(nullptr) {}
  Value(bool b) noexcept : v_(b) {}
  // Every integer type lands on one of the two 64-bit alternatives, so the
  // unsigned range is kept in full instead of wrapping negative.
  template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
  Value(T i) noexcept {
    if constexpr (std::is_signed_v<T>)
      v_ = static_cast<int64_t>(i);
    else
      v_ = static_cast<uint64_t>(i);
  }
  Value(double d) noexcept : v_(d) {}
  Value(float d) noexcept : v_(static_cast<double>(d)) {}
  Value(std::string s) noexcept : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(Array a) noexcept : v_(std::move(a)) {}
  Value(Object o) noexcept : v_(std::move(o)) {}

  Type type() const noexcept { return static_cast<Type>(v_.index()); }
  bool is_null() const noexcept { return type() == Type::Null; }

  // Typed access; throws std::bad_variant_access on the wrong type.
  bool as_bool() const { return std::get<bool>(v_); }
  int64_t as_int() const { return std::get<int64_t>(v_); }
  uint64_t as_uint() const { return std::get<uint64_t>(v_); }
  double as_double() const { return std::get<double>(v_); }
  const std::string& as_string() const { return std::get<std::string>(v_); }
  const Array& as_array() const { return std::get<Array>(v_); }
  Array& as_array() { return std::get<Array>(v_); }
  const Object& as_object() const { return std::get<Object>(v_); }
  Object& as_object() { return std::get<Object>(v_); }

  // Compact text of this value.
  std::string dump() const;
  void dump_to(std::string& out) const;

 private:
  std::variant<std::nullptr_t, bool, int64_t, uint64_t, double, std::string, Array, Object> v_;
};

// Defined here, where Value is complete.
inline size_t Object::size() const noexcept { return members_.size(); }
inline bool Object::empty() const noexcept { return members_.empty(); }
inline void Object::reserve(size_t n) { members_.reserve(n); }
inline std::vector<Object::Member>::const_iterator Object::begin() const noexcept { return members_.begin(); }
inline std::vector<Object::Member>::const_iterator Object::end() const noexcept { return members_.end(); }

}  // namespace trel::json
