// Big-endian byte-array primitives shared by every body codec: an append-only
// writer and a bounded reader whose failures are one error kind with five cases.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace trel {

// The decode error kind. what() is the display text of the case.
class DecodeError : public std::runtime_error {
 public:
  enum class Kind { UnexpectedEnd, LengthOverflow, InvalidUtf8, UnknownEnum, TypeMismatch };

  static DecodeError unexpected_end(uint64_t needed);
  static DecodeError length_overflow(uint64_t length, uint64_t limit);
  static DecodeError invalid_utf8();
  static DecodeError unknown_enum(uint64_t raw);
  static DecodeError type_mismatch(uint64_t field_index, std::string_view schema_type);

  Kind kind() const noexcept { return kind_; }

 private:
  DecodeError(Kind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
  Kind kind_;
};

namespace detail {
template <class T>
constexpr T byteswap(T v) noexcept {
  if constexpr (sizeof(T) == 1)
    return v;
  else if constexpr (sizeof(T) == 2)
    return static_cast<T>(__builtin_bswap16(static_cast<uint16_t>(v)));
  else if constexpr (sizeof(T) == 4)
    return static_cast<T>(__builtin_bswap32(static_cast<uint32_t>(v)));
  else
    return static_cast<T>(__builtin_bswap64(static_cast<uint64_t>(v)));
}
template <class T>
inline T load_be(const uint8_t* p) noexcept {
  T v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (sizeof(T) > 1 && std::endian::native == std::endian::little) v = detail::byteswap(v);
  return v;
}
template <class T>
inline T load_le(const uint8_t* p) noexcept {
  T v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (sizeof(T) > 1 && std::endian::native == std::endian::big) v = detail::byteswap(v);
  return v;
}
}  // namespace detail

// Append-only writer. Signed values are written as their two's-complement pattern.
class Writer {
 public:
  Writer() = default;
  explicit Writer(size_t reserve) { buf_.reserve(reserve); }

  void put_u8(uint8_t v) { buf_.push_back(static_cast<char>(v)); }
  void put_u16(uint16_t v) { put_be(v); }
  void put_u32(uint32_t v) { put_be(v); }
  void put_u64(uint64_t v) { put_be(v); }
  void put_i8(int8_t v) { put_u8(static_cast<uint8_t>(v)); }
  void put_i16(int16_t v) { put_be(static_cast<uint16_t>(v)); }
  void put_i32(int32_t v) { put_be(static_cast<uint32_t>(v)); }
  void put_i64(int64_t v) { put_be(static_cast<uint64_t>(v)); }
  void put_f64(double v) { put_be(std::bit_cast<uint64_t>(v)); }
  void put_u32_le(uint32_t v) { put_le(v); }
  void put_u64_le(uint64_t v) { put_le(v); }
  // u32 byte count, then the bytes.
  void put_bytes(std::string_view s) {
    put_u32(static_cast<uint32_t>(s.size()));
    put_raw(s);
  }
  void put_string(std::string_view s) { put_bytes(s); }
  void put_raw(std::string_view s) { buf_.append(s.data(), s.size()); }
  void put_raw(const void* p, size_t n) { buf_.append(static_cast<const char*>(p), n); }
  // u32 count, then each element through the caller's writer.
  template <class Container, class F>
  void put_list(const Container& items, F&& write_one) {
    put_u32(static_cast<uint32_t>(items.size()));
    for (const auto& item : items) write_one(*this, item);
  }

  size_t size() const noexcept { return buf_.size(); }
  void reserve(size_t n) { buf_.reserve(n); }
  const std::string& bytes() const noexcept { return buf_; }
  std::string take() noexcept { return std::move(buf_); }
  // Overwrite a big-endian u32 written earlier (for back-patched lengths).
  void patch_u32(size_t at, uint32_t v) {
    if constexpr (std::endian::native == std::endian::little) v = detail::byteswap(v);
    std::memcpy(buf_.data() + at, &v, sizeof v);
  }

 private:
  template <class T>
  void put_be(T v) {
    if constexpr (std::endian::native == std::endian::little) v = detail::byteswap(v);
    buf_.append(reinterpret_cast<const char*>(&v), sizeof v);
  }
  template <class T>
  void put_le(T v) {
    if constexpr (std::endian::native == std::endian::big) v = detail::byteswap(v);
    buf_.append(reinterpret_cast<const char*>(&v), sizeof v);
  }
  std::string buf_;
};

// Bounded cursor over an immutable byte slice. Every read consumes exactly its
// item or throws DecodeError; a failed read consumes nothing the caller can use.
class Reader {
 public:
  Reader(const void* data, size_t size) noexcept : p_(static_cast<const uint8_t*>(data)), n_(size) {}
  explicit Reader(std::string_view s) noexcept : Reader(s.data(), s.size()) {}

  size_t remaining() const noexcept { return n_; }
  const uint8_t* position() const noexcept { return p_; }

  uint8_t get_u8() { return fixed<uint8_t>(); }
  uint16_t get_u16() { return fixed<uint16_t>(); }
  uint32_t get_u32() { return fixed<uint32_t>(); }
  uint64_t get_u64() { return fixed<uint64_t>(); }
  int8_t get_i8() { return static_cast<int8_t>(get_u8()); }
  int16_t get_i16() { return static_cast<int16_t>(get_u16()); }
  int32_t get_i32() { return static_cast<int32_t>(get_u32()); }
  int64_t get_i64() { return static_cast<int64_t>(get_u64()); }
  double get_f64() { return std::bit_cast<double>(get_u64()); }

  // n raw bytes, viewed in place.
  std::string_view get_raw(size_t n) {
    need(n);
    std::string_view v(reinterpret_cast<const char*>(p_), n);
    advance(n);
    return v;
  }
  // u32 count, then that many bytes, viewed in place (no UTF-8 check).
  std::string_view get_bytes_view() { return get_raw(get_u32()); }
  std::string get_bytes() { return std::string(get_bytes_view()); }
  // As get_bytes, but the bytes must be UTF-8.
  std::string_view get_string_view();
  std::string get_string() { return std::string(get_string_view()); }

  std::vector<uint32_t> get_u32_list() { return get_be_list<uint32_t>(); }
  std::vector<int32_t> get_i32_list() { return get_be_list<int32_t>(); }
  std::vector<std::string> get_string_list();
  // Row-batch vectors: big-endian count, little-endian elements. The whole
  // element run is checked before any element is read.
  std::vector<int32_t> get_i32_vector_le() { return get_le_list<int32_t>(); }
  std::vector<int64_t> get_i64_vector_le() { return get_le_list<int64_t>(); }

  // u32 count, then each element through read_one(reader). Reserves at most
  // min(count, remaining bytes) so a corrupt count cannot force a large allocation.
  template <class T, class F>
  std::vector<T> get_list(F&& read_one) {
    uint32_t count = get_u32();
    std::vector<T> out;
    out.reserve(std::min<size_t>(count, n_));
    for (uint32_t i = 0; i < count; ++i) out.push_back(read_one(*this));
    return out;
  }

  void need(size_t w) const {
    if (n_ < w) throw DecodeError::unexpected_end(w - n_);
  }
  void advance(size_t w) noexcept {
    p_ += w;
    n_ -= w;
  }

 private:
  template <class T>
  T fixed() {
    need(sizeof(T));
    T v = detail::load_be<T>(p_);
    advance(sizeof(T));
    return v;
  }
  template <class T>
  std::vector<T> get_be_list() {
    return get_list<T>([](Reader& r) { return static_cast<T>(r.fixed<std::make_unsigned_t<T>>()); });
  }
  template <class T>
  std::vector<T> get_le_list() {
    uint64_t count = get_u32();
    uint64_t bytes = count * sizeof(T);
    if (n_ < bytes) throw DecodeError::unexpected_end(bytes - n_);
    std::vector<T> out(count);
    for (uint64_t i = 0; i < count; ++i) out[i] = detail::load_le<T>(p_ + i * sizeof(T));
    advance(bytes);
    return out;
  }

  const uint8_t* p_;
  size_t n_;
};

}  // namespace trel
