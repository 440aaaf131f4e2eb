#include "trel/protocol/index_serializer.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numeric>

#include "trel/protocol/codec.hpp"
#include "trel/protocol/snappy.hpp"
#include "trel/protocol/utf8.hpp"

namespace trel {

// ---------------------------------------------------------------- errors

BatchError BatchError::codec(const std::exception& decode_error) {
  return {Kind::Codec, std::string("codec: ") + decode_error.what()};
}

BatchError BatchError::unknown_schema(uint16_t ns, uint32_t meta_id) {
  return {Kind::UnknownSchema,
          "unknown schema: namespace=" + std::to_string(ns) + " meta_id=" + std::to_string(meta_id)};
}

BatchError BatchError::field_count(uint64_t row_fields, uint64_t schema_fields, uint16_t ns, uint32_t meta_id) {
  return {Kind::FieldCount, "StructValue field count " + std::to_string(row_fields) +
                                " does not match schema field count " + std::to_string(schema_fields) +
                                " for (ns=" + std::to_string(ns) + ", meta_id=" + std::to_string(meta_id) + ")"};
}

BatchError BatchError::field_kind(uint64_t field, SlotKind slot, FieldType schema) {
  return {Kind::FieldKind, "StructValue field " + std::to_string(field) + " is " +
                               std::string(slot_kind_name(slot)) + " but schema declares " +
                               field_type_name(schema)};
}

BatchError BatchError::empty_batch() { return {Kind::EmptyBatch, "empty input batch"}; }

BatchError BatchError::snappy(const std::exception& library_error) {
  return {Kind::Snappy, std::string("snappy: ") + library_error.what()};
}

std::string field_type_name(FieldType type) {
  if (type.is_known()) return std::string(slot_kind_name(static_cast<SlotKind>(type.wire)));
  return "Other(" + std::to_string(type.wire) + ")";
}

// ---------------------------------------------------------------- scaling

namespace {

constexpr double kScale[10] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
// The doubles nearest to 10^-p: decoding multiplies by these, it does not divide.
constexpr double kUnscale[10] = {1.0, 0.1, 0.01, 0.001, 0.0001, 1e-05, 1e-06, 1e-07, 1e-08, 1e-09};

inline double scale_of(uint32_t p) noexcept { return p <= 9 ? kScale[p] : 1.0; }
inline double unscale_of(uint32_t p) noexcept { return p <= 9 ? kUnscale[p] : 1.0; }

inline int64_t saturate(double x) noexcept {
  if (std::isnan(x)) return 0;
  if (x >= 9223372036854775808.0) return INT64_MAX;
  if (x <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(x);
}

}  // namespace

int64_t scale_double(double v, uint32_t precision) noexcept { return saturate(std::round(v * scale_of(precision))); }

double unscale_double(int64_t raw, uint32_t precision) noexcept {
  return static_cast<double>(raw) * unscale_of(precision);
}

// ---------------------------------------------------------------- encoding

namespace {

constexpr bool kLittleHost = std::endian::native == std::endian::little;

// Output cursor over a string grown geometrically; the caller reserves the
// expected size up front so the hot loops rarely grow it.
class Out {
 public:
  explicit Out(std::string& s) : s_(s), pos_(s.size()) {}
  ~Out() { s_.resize(pos_); }
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;

  void ensure(size_t n) {
    if (s_.size() - pos_ < n) s_.resize(std::max(s_.size() * 2, pos_ + n));
  }
  char* at() noexcept { return s_.data() + pos_; }
  void skip(size_t n) noexcept { pos_ += n; }

  template <class T>
  void be_unchecked(T v) noexcept {
    if constexpr (sizeof(T) > 1 && kLittleHost) v = detail::byteswap(v);
    std::memcpy(at(), &v, sizeof v);
    pos_ += sizeof v;
  }
  template <class T>
  void be(T v) {
    ensure(sizeof v);
    be_unchecked(v);
  }
  template <class T>
  void le_unchecked(T v) noexcept {
    if constexpr (sizeof(T) > 1 && !kLittleHost) v = detail::byteswap(v);
    std::memcpy(at(), &v, sizeof v);
    pos_ += sizeof v;
  }
  void string(std::string_view s) {
    ensure(4 + s.size());
    be_unchecked(static_cast<uint32_t>(s.size()));
    std::memcpy(at(), s.data(), s.size());
    pos_ += s.size();
  }
  // u32 count, then the elements little-endian.
  template <class T>
  void le_vector(const std::vector<T>& v) {
    ensure(4 + v.size() * sizeof(T));
    be_unchecked(static_cast<uint32_t>(v.size()));
    if constexpr (kLittleHost) {
      if (!v.empty()) std::memcpy(at(), v.data(), v.size() * sizeof(T));
      pos_ += v.size() * sizeof(T);
    } else {
      for (T e : v) le_unchecked(e);
    }
  }

 private:
  std::string& s_;
  size_t pos_;
};

template <class RowAt>
void encode_batch(std::string& buf, const IndexSchemaCatalog& catalog, size_t n, RowAt row) {
  if (n == 0) throw BatchError::empty_batch();
  const StructValue& first = row(0);
  const uint16_t ns = first.ns;
  const auto meta_id = static_cast<uint32_t>(first.meta_id);
  const IndexMeta* meta = catalog.find(ns, meta_id);
  if (!meta) throw BatchError::unknown_schema(ns, meta_id);
  const size_t F = meta->fields.size();
  for (size_t i = 0; i < n; ++i)
    if (row(i).fields.size() != F) throw BatchError::field_count(row(i).fields.size(), F, ns, meta_id);

  uint16_t mask = 0;
  for (size_t i = 0; i < kAuxCount; ++i)
    if (first.aux[i] != 0) mask = static_cast<uint16_t>(mask | (1u << i));
  const size_t k = static_cast<size_t>(std::popcount(mask));

  Out out(buf);
  out.ensure((4 * k + 64) * n + 64);
  out.be_unchecked(ns);
  out.be_unchecked(meta_id);
  out.be_unchecked(mask);
  out.be_unchecked(static_cast<uint64_t>(n));
  for (size_t i = 0; i < n; ++i) out.be_unchecked(row(i).time_tag);
  for (size_t i = 0; i < n; ++i) out.be_unchecked(static_cast<uint32_t>(row(i).granularity));
  for (size_t i = 0; i < n; ++i) out.string(row(i).market);
  for (size_t i = 0; i < n; ++i) out.string(row(i).stock_code);
  if (k != 0) {
    out.ensure(4 * k * n);
    for (size_t i = 0; i < n; ++i) {
      const auto& aux = row(i).aux;
      for (size_t b = 0; b < kAuxCount; ++b)
        if (mask & (1u << b)) out.be_unchecked(aux[b]);
    }
  }

  // Presence words precede the values: bit f*N + r, least significant first.
  const uint64_t bits = static_cast<uint64_t>(n) * F;
  const uint64_t words = (bits + 63) / 64;
  bool all_present = true;
  for (size_t i = 0; i < n && all_present; ++i)
    for (const Slot& s : row(i).fields)
      if (s.index() == 0) {
        all_present = false;
        break;
      }
  out.be(static_cast<uint32_t>(words));
  out.ensure(words * 8);
  if (all_present) {
    for (uint64_t w = 0; w + 1 < words; ++w) out.be_unchecked(~uint64_t{0});
    if (words) out.be_unchecked(bits % 64 ? (uint64_t{1} << (bits % 64)) - 1 : ~uint64_t{0});
  } else {
    std::memset(out.at(), 0, words * 8);
    uint64_t word = 0;
    uint64_t b = 0;
    for (size_t f = 0; f < F; ++f)
      for (size_t r = 0; r < n; ++r, ++b) {
        if (row(r).fields[f].index() != 0) word |= uint64_t{1} << (b % 64);
        if (b % 64 == 63) {
          out.be_unchecked(word);
          word = 0;
        }
      }
    if (b % 64) out.be_unchecked(word);
  }

  // Values, field-major. A present slot must hold the kind its column declares;
  // a column of an unknown type takes any kind and writes nothing.
  for (size_t f = 0; f < F; ++f) {
    const IndexMetaField& field = meta->fields[f];
    if (!field.type.is_known()) continue;
    const size_t want = field.type.wire;
    const double scale = scale_of(field.precision);
    for (size_t r = 0; r < n; ++r) {
      const Slot& s = row(r).fields[f];
      if (s.index() == 0) continue;
      if (s.index() != want) throw BatchError::field_kind(f, kind_of(s), field.type);
      switch (want) {
        case 1: out.be(static_cast<uint32_t>(*std::get_if<1>(&s))); break;
        case 2: out.be(static_cast<uint64_t>(saturate(std::round(*std::get_if<2>(&s) * scale)))); break;
        case 3: out.string(*std::get_if<3>(&s)); break;
        case 4: out.le_vector(*std::get_if<4>(&s)); break;
        case 5: {
          const auto& v = *std::get_if<5>(&s);
          out.ensure(4 + v.size() * 8);
          out.be_unchecked(static_cast<uint32_t>(v.size()));
          for (double d : v) out.le_unchecked(static_cast<uint64_t>(saturate(std::round(d * scale))));
          break;
        }
        case 6: {
          const auto& v = *std::get_if<6>(&s);
          out.be(static_cast<uint32_t>(v.size()));
          for (const auto& e : v) out.string(e);
          break;
        }
        case 7: out.be(static_cast<uint64_t>(*std::get_if<7>(&s))); break;
        case 8: out.le_vector(*std::get_if<8>(&s)); break;
      }
    }
  }
}

// Rows grouped by (namespace, meta id) in ascending order, input order kept inside a group.
template <class RowAt>
std::string encode_blob(const IndexSchemaCatalog& catalog, size_t n, RowAt row) {
  auto key_of = [&](size_t i) {
    const StructValue& sv = row(i);
    return std::pair<uint16_t, int32_t>(sv.ns, sv.meta_id);
  };
  std::string plain;
  if (n == 0) return snappy::compress(std::string(4, '\0'));

  bool single = true;
  for (size_t i = 1; i < n && single; ++i) single = key_of(i) == key_of(0);
  std::vector<uint32_t> order;
  std::vector<size_t> starts{0};
  if (single) {
    starts.push_back(n);
  } else {
    order.resize(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return key_of(a) < key_of(b); });
    for (size_t i = 1; i < n; ++i)
      if (key_of(order[i]) != key_of(order[i - 1])) starts.push_back(i);
    starts.push_back(n);
  }
  const size_t groups = starts.size() - 1;
  Out(plain).be(static_cast<uint32_t>(groups));
  for (size_t g = 0; g < groups; ++g) {
    const size_t len_at = plain.size();
    Out(plain).be(uint32_t{0});
    const size_t begin = starts[g];
    if (single)
      encode_batch(plain, catalog, n, row);
    else
      encode_batch(plain, catalog, starts[g + 1] - begin, [&](size_t i) -> const StructValue& {
        return row(order[begin + i]);
      });
    auto len = static_cast<uint32_t>(plain.size() - len_at - 4);
    if constexpr (kLittleHost) len = detail::byteswap(len);
    std::memcpy(plain.data() + len_at, &len, 4);
  }
  return snappy::compress(plain);
}

}  // namespace

void serialize_batch_into(std::string& out, const IndexSchemaCatalog& catalog,
                          std::span<const StructValue* const> rows) {
  encode_batch(out, catalog, rows.size(), [&](size_t i) -> const StructValue& { return *rows[i]; });
}

std::string serialize_batch(const IndexSchemaCatalog& catalog, std::span<const StructValue* const> rows) {
  std::string out;
  serialize_batch_into(out, catalog, rows);
  return out;
}

std::string serialize_batch(const IndexSchemaCatalog& catalog, std::span<const StructValue> rows) {
  std::string out;
  encode_batch(out, catalog, rows.size(), [&](size_t i) -> const StructValue& { return rows[i]; });
  return out;
}

std::string compress(const IndexSchemaCatalog& catalog, std::span<const StructValue> rows) {
  return encode_blob(catalog, rows.size(), [&](size_t i) -> const StructValue& { return rows[i]; });
}

std::string compress(const IndexSchemaCatalog& catalog, std::span<const StructValue* const> rows) {
  return encode_blob(catalog, rows.size(), [&](size_t i) -> const StructValue& { return *rows[i]; });
}

// ---------------------------------------------------------------- decoding

namespace {

// Every row needs its time tag, granularity and two string prefixes before any value.
constexpr uint64_t kMinRowBytes = 8 + 4 + 4 + 4;

// A row count the remaining bytes cannot hold: replay the per-row reads without
// allocating, so the reported shortfall is the one a plain sequential read would hit.
[[noreturn]] void reject_short_batch(Reader r, uint64_t n, uint16_t mask) {
  for (uint64_t i = 0; i < n; ++i) r.get_u64();
  for (uint64_t i = 0; i < n; ++i) r.get_u32();
  for (uint64_t i = 0; i < n; ++i) r.get_string_view();
  for (uint64_t i = 0; i < n; ++i) r.get_string_view();
  const int k = std::popcount(static_cast<unsigned>(mask & 0x0FFF));
  for (uint64_t i = 0; i < n; ++i)
    for (int b = 0; b < k; ++b) r.get_u32();
  throw DecodeError::unexpected_end(1);  // unreachable: the sections above exceed the input
}

// Reads a u32 element count and checks that count * width bytes follow.
inline uint32_t vector_count(Reader& r, size_t width) {
  uint32_t count = r.get_u32();
  r.need(static_cast<uint64_t>(count) * width);
  return count;
}

void decode_batch(std::vector<StructValue>& out, const IndexSchemaCatalog& catalog, std::string_view batch) {
  Reader r(batch);
  const uint16_t ns = r.get_u16();
  const uint32_t meta_id = r.get_u32();
  const uint16_t mask = r.get_u16();
  const uint64_t n = r.get_u64();
  const IndexMeta* meta = catalog.find(ns, meta_id);
  if (!meta) throw BatchError::unknown_schema(ns, meta_id);
  if (n > r.remaining() / kMinRowBytes) reject_short_batch(r, n, mask);
  const size_t F = meta->fields.size();

  const size_t base = out.size();
  {
    StructValue proto;
    proto.ns = ns;
    proto.meta_id = static_cast<int32_t>(meta_id);
    proto.fields.resize(F);
    out.insert(out.end(), static_cast<size_t>(n), proto);
  }
  StructValue* rows = out.data() + base;

  // Bounded above: 20 bytes per row are present, so the fixed-width runs fit.
  for (uint64_t i = 0; i < n; ++i) rows[i].time_tag = r.get_u64();
  for (uint64_t i = 0; i < n; ++i) rows[i].granularity = r.get_i32();
  for (uint64_t i = 0; i < n; ++i) rows[i].market.assign(r.get_string_view());
  for (uint64_t i = 0; i < n; ++i) rows[i].stock_code.assign(r.get_string_view());
  if (mask & 0x0FFF) {
    for (uint64_t i = 0; i < n; ++i)
      for (size_t b = 0; b < kAuxCount; ++b)
        if (mask & (1u << b)) rows[i].aux[b] = r.get_u32();
  }

  const uint32_t words = r.get_u32();
  const auto expected = static_cast<uint64_t>((static_cast<unsigned __int128>(n) * F + 63) / 64);
  if (words != expected) throw DecodeError::length_overflow(words, expected);
  r.need(static_cast<uint64_t>(words) * 8);
  const uint8_t* presence = r.position();
  r.advance(static_cast<size_t>(words) * 8);
  auto present = [&](uint64_t b) { return (detail::load_be<uint64_t>(presence + (b / 64) * 8) >> (b % 64)) & 1; };

  for (size_t f = 0; f < F; ++f) {
    const IndexMetaField& field = meta->fields[f];
    if (!field.type.is_known()) continue;  // carries no data; the slot stays Empty
    const double m = unscale_of(field.precision);
    const uint64_t bit0 = static_cast<uint64_t>(f) * n;
    for (uint64_t i = 0; i < n; ++i) {
      if (!present(bit0 + i)) continue;
      Slot& s = rows[i].fields[f];
      switch (field.type.wire) {
        case 1: s.emplace<1>(r.get_i32()); break;
        case 2: s.emplace<2>(static_cast<double>(r.get_i64()) * m); break;
        case 3: s.emplace<3>(r.get_string_view()); break;
        case 4: s.emplace<4>(r.get_i32_vector_le()); break;
        case 5: {
          const uint32_t count = vector_count(r, 8);
          auto& v = s.emplace<5>(count);
          const uint8_t* p = r.position();
          for (uint32_t e = 0; e < count; ++e)
            v[e] = static_cast<double>(detail::load_le<int64_t>(p + size_t{e} * 8)) * m;
          r.advance(size_t{count} * 8);
          break;
        }
        case 6: {
          // Each element needs at least its 4-byte prefix, which bounds the reservation.
          const uint32_t count = r.get_u32();
          std::vector<std::string> v;
          v.reserve(std::min<size_t>(count, r.remaining() / 4));
          for (uint32_t e = 0; e < count; ++e) v.emplace_back(r.get_string_view());
          s.emplace<6>(std::move(v));
          break;
        }
        case 7: s.emplace<7>(r.get_i64()); break;
        case 8: s.emplace<8>(r.get_i64_vector_le()); break;
      }
    }
  }
}

}  // namespace

void deserialize_batch_into(std::vector<StructValue>& out, const IndexSchemaCatalog& catalog,
                            std::string_view batch) {
  try {
    decode_batch(out, catalog, batch);
  } catch (const DecodeError& e) {
    throw BatchError::codec(e);
  }
}

std::vector<StructValue> deserialize_batch(const IndexSchemaCatalog& catalog, std::string_view batch) {
  std::vector<StructValue> out;
  deserialize_batch_into(out, catalog, batch);
  return out;
}

std::vector<StructValue> decompress(const IndexSchemaCatalog& catalog, std::string_view blob) {
  std::vector<StructValue> out;
  if (blob.empty()) return out;
  std::string plain;
  try {
    plain = snappy::decompress(blob);
  } catch (const snappy::Error& e) {
    throw BatchError::snappy(e);
  }
  try {
    Reader r(plain);
    for (uint32_t groups = r.get_u32(); groups > 0; --groups) {
      const uint32_t len = r.get_u32();
      std::string_view batch = r.get_raw(len);
      if (!batch.empty()) decode_batch(out, catalog, batch);
    }
  } catch (const DecodeError& e) {
    throw BatchError::codec(e);
  }
  return out;
}

}  // namespace trel
