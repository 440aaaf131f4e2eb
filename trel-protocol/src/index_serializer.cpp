#include "trel/protocol/index_serializer.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numeric>
#include <utility>

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

BatchError BatchError::field_count(uint64_t row_fields, uint64_t schema_fields, uint16_t ns,
                                   uint32_t meta_id) {
  return {Kind::FieldCount, "StructValue field count " + std::to_string(row_fields) +
                                " does not match schema field count " + std::to_string(schema_fields) +
                                " for (ns=" + std::to_string(ns) + ", meta_id=" + std::to_string(meta_id) +
                                ")"};
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

// round(x), halves away from zero, as i64 with saturation (NaN -> 0).
inline int64_t round_saturate(double x) noexcept {
  if (!(x > -9223372036854775808.0)) return std::isnan(x) ? 0 : INT64_MIN;
  if (x >= 9223372036854775808.0) return INT64_MAX;
  // Truncate, then step by the exact remainder; no libm call on the hot path.
  int64_t i = static_cast<int64_t>(x);
  const double rest = x - static_cast<double>(i);
  if (rest >= 0.5)
    ++i;
  else if (rest <= -0.5)
    --i;
  return i;
}

}  // namespace

int64_t scale_double(double v, uint32_t precision) noexcept {
  return round_saturate(v * scale_of(precision));
}

double unscale_double(int64_t raw, uint32_t precision) noexcept {
  return static_cast<double>(raw) * unscale_of(precision);
}

// ---------------------------------------------------------------- encoding

namespace {

constexpr bool kLittleHost = std::endian::native == std::endian::little;

template <class T>
inline void store_be(char* p, T v) noexcept {
  if constexpr (sizeof(T) > 1 && kLittleHost) v = detail::byteswap(v);
  std::memcpy(p, &v, sizeof v);
}
template <class T>
inline void store_le(char* p, T v) noexcept {
  if constexpr (sizeof(T) > 1 && !kLittleHost) v = detail::byteswap(v);
  std::memcpy(p, &v, sizeof v);
}

// Grows `out` by the batch size and hands out the new tail.
BatchAlloc append_to(std::string& out) {
  return [&out](size_t n) {
    const size_t at = out.size();
    out.resize(at + n);
    return out.data() + at;
  };
}

inline size_t text_size(std::string_view s) noexcept { return 4 + s.size(); }

// Encoded size of a slot already known to hold the kind its column wants.
[[gnu::always_inline]] inline size_t value_size(size_t want, const Slot& s) noexcept {
  switch (want) {
    case 1:
      return 4;
    case 2:
    case 7:
      return 8;
    case 3:
      return text_size(*std::get_if<3>(&s));
    case 4:
      return 4 + std::get_if<4>(&s)->size() * 4;
    case 5:
      return 4 + std::get_if<5>(&s)->size() * 8;
    case 6: {
      size_t total = 4;
      for (const auto& e : *std::get_if<6>(&s)) total += text_size(e);
      return total;
    }
    case 8:
      return 4 + std::get_if<8>(&s)->size() * 8;
  }
  return 0;
}

inline void put_text(char*& p, std::string_view s) noexcept {
  store_be(p, static_cast<uint32_t>(s.size()));
  std::memcpy(p + 4, s.data(), s.size());
  p += 4 + s.size();
}

// u32 count, then the elements little-endian.
template <class T>
inline void put_le_vector(char*& p, const std::vector<T>& v) noexcept {
  store_be(p, static_cast<uint32_t>(v.size()));
  p += 4;
  if constexpr (kLittleHost) {
    if (!v.empty()) std::memcpy(p, v.data(), v.size() * sizeof(T));
  } else {
    for (size_t i = 0; i < v.size(); ++i) store_le(p + i * sizeof(T), v[i]);
  }
  p += v.size() * sizeof(T);
}

[[gnu::always_inline]] inline void put_value(char*& p, size_t want, const Slot& s, double scale) noexcept {
  switch (want) {
    case 1:
      store_be(p, static_cast<uint32_t>(*std::get_if<1>(&s))), p += 4;
      break;
    case 2:
      store_be(p, static_cast<uint64_t>(round_saturate(*std::get_if<2>(&s) * scale))), p += 8;
      break;
    case 3:
      put_text(p, *std::get_if<3>(&s));
      break;
    case 4:
      put_le_vector(p, *std::get_if<4>(&s));
      break;
    case 5: {
      const auto& v = *std::get_if<5>(&s);
      store_be(p, static_cast<uint32_t>(v.size()));
      p += 4;
      for (double d : v) store_le(p, static_cast<uint64_t>(round_saturate(d * scale))), p += 8;
      break;
    }
    case 6: {
      const auto& v = *std::get_if<6>(&s);
      store_be(p, static_cast<uint32_t>(v.size()));
      p += 4;
      for (const auto& e : v) put_text(p, e);
      break;
    }
    case 7:
      store_be(p, static_cast<uint64_t>(*std::get_if<7>(&s))), p += 8;
      break;
    case 8:
      put_le_vector(p, *std::get_if<8>(&s));
      break;
  }
}

// The wire is field-major but rows live apart in memory, so a first row-major
// pass checks every row and sizes every column, then the batch is written in
// one pass into memory of the exact size, with a cursor per column.
template <class RowAt>
void encode_batch(const IndexSchemaCatalog& catalog, size_t n, RowAt row, const BatchAlloc& alloc) {
  if (n == 0) throw BatchError::empty_batch();
  const StructValue& first = row(0);
  const uint16_t ns = first.ns;
  const auto meta_id = static_cast<uint32_t>(first.meta_id);
  const IndexMeta* meta = catalog.find(ns, meta_id);
  if (!meta) throw BatchError::unknown_schema(ns, meta_id);
  const size_t F = meta->fields.size();
  uint16_t mask = 0;
  for (size_t i = 0; i < kAuxCount; ++i)
    if (first.aux[i] != 0) mask = static_cast<uint16_t>(mask | (1u << i));
  const size_t k = static_cast<size_t>(std::popcount(mask));
  const uint64_t bits = static_cast<uint64_t>(n) * F;
  const uint64_t words = (bits + 63) / 64;

  std::vector<size_t> want(F);
  std::vector<size_t> width(F);  // of fixed-size values; 0 for the others
  std::vector<double> scale(F);
  for (size_t f = 0; f < F; ++f) {
    const IndexMetaField& field = meta->fields[f];
    want[f] = field.type.is_known() ? field.type.wire : 0;  // 0: takes any kind, writes nothing
    width[f] = want[f] == 1 ? 4 : want[f] == 2 || want[f] == 7 ? 8 : 0;
    scale[f] = scale_of(field.precision);
  }

  // Pass 1: check and size. Rows are far apart in memory, so each is visited
  // once here and once when writing.
  std::vector<size_t> column_bytes(F);
  size_t market_bytes = 0;
  size_t code_bytes = 0;
  bool all_present = true;
  bool kinds_match = true;
  for (size_t r = 0; r < n; ++r) {
    const StructValue& sv = row(r);
    // Counts are checked for every row before any kind is reported.
    if (sv.fields.size() != F) throw BatchError::field_count(sv.fields.size(), F, ns, meta_id);
    market_bytes += text_size(sv.market);
    code_bytes += text_size(sv.stock_code);
    const Slot* slots = sv.fields.data();
    for (size_t f = 0; f < F; ++f) {
      const size_t kind = slots[f].index();
      if (kind == 0) {
        all_present = false;
      } else if (kind == want[f]) {
        column_bytes[f] += width[f] ? width[f] : value_size(kind, slots[f]);
      } else if (want[f] != 0) {
        kinds_match = false;
      }
    }
  }
  if (!kinds_match) {
    // Report the first mismatch in field-major order.
    for (size_t f = 0; f < F; ++f)
      for (size_t r = 0; r < n; ++r) {
        const Slot& s = row(r).fields[f];
        if (s.index() != 0 && want[f] != 0 && s.index() != want[f])
          throw BatchError::field_kind(f, kind_of(s), meta->fields[f].type);
      }
  }

  // Section offsets, then one allocation of the exact size.
  const size_t times_at = 16;
  const size_t grans_at = times_at + 8 * n;
  const size_t markets_at = grans_at + 4 * n;
  const size_t codes_at = markets_at + market_bytes;
  const size_t aux_at = codes_at + code_bytes;
  const size_t words_at = aux_at + 4 * k * n;
  size_t values_at = words_at + 4 + 8 * words;
  std::vector<char*> column(F);
  char* const start = alloc(values_at + std::accumulate(column_bytes.begin(), column_bytes.end(), size_t{0}));
  for (size_t f = 0; f < F; ++f) {
    column[f] = start + values_at;
    values_at += column_bytes[f];
  }
  store_be(start, ns);
  store_be(start + 2, meta_id);
  store_be(start + 6, mask);
  store_be(start + 8, static_cast<uint64_t>(n));

  // Presence words precede the values: bit f*N + r, least significant first.
  char* presence = start + words_at + 4;
  store_be(start + words_at, static_cast<uint32_t>(words));
  std::vector<uint64_t> flags(all_present ? 0 : words);
  if (all_present) {
    for (uint64_t w = 0; w + 1 < words; ++w) store_be(presence + 8 * w, ~uint64_t{0});
    if (words)
      store_be(presence + 8 * (words - 1), bits % 64 ? (uint64_t{1} << (bits % 64)) - 1 : ~uint64_t{0});
  }

  // Pass 2: every section at its own cursor, row by row.
  char* markets = start + markets_at;
  char* codes = start + codes_at;
  char* aux = start + aux_at;
  for (size_t r = 0; r < n; ++r) {
    const StructValue& sv = row(r);
    store_be(start + times_at + 8 * r, sv.time_tag);
    store_be(start + grans_at + 4 * r, static_cast<uint32_t>(sv.granularity));
    put_text(markets, sv.market);
    put_text(codes, sv.stock_code);
    if (k != 0) {
      for (size_t b = 0; b < kAuxCount; ++b)
        if (mask & (1u << b)) store_be(aux, sv.aux[b]), aux += 4;
    }
    const Slot* slots = sv.fields.data();
    for (size_t f = 0; f < F; ++f) {
      const size_t kind = slots[f].index();
      if (kind == 0) continue;
      if (!all_present) {
        const uint64_t b = static_cast<uint64_t>(f) * n + r;
        flags[b / 64] |= uint64_t{1} << (b % 64);
      }
      if (want[f] != 0) put_value(column[f], want[f], slots[f], scale[f]);
    }
  }
  if (!all_present)
    for (uint64_t w = 0; w < words; ++w) store_be(presence + 8 * w, flags[w]);
}

// Rows grouped by (namespace, meta id) in ascending order, input order kept inside a group.
template <class RowAt>
std::string encode_blob(const IndexSchemaCatalog& catalog, size_t n, RowAt row) {
  if (n == 0) return snappy::compress(std::string(4, '\0'));
  auto key_of = [&](size_t i) {
    const StructValue& sv = row(i);
    return std::pair<uint16_t, int32_t>(sv.ns, sv.meta_id);
  };
  bool single = true;
  for (size_t i = 1; i < n && single; ++i) single = key_of(i) == key_of(0);
  std::vector<uint32_t> order;
  std::vector<size_t> starts{0};
  if (single) {
    starts.push_back(n);
  } else {
    order.resize(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return key_of(a) < key_of(b); });
    for (size_t i = 1; i < n; ++i)
      if (key_of(order[i]) != key_of(order[i - 1])) starts.push_back(i);
    starts.push_back(n);
  }
  const size_t groups = starts.size() - 1;
  std::string plain(4, '\0');
  store_be(plain.data(), static_cast<uint32_t>(groups));
  for (size_t g = 0; g < groups; ++g) {
    const size_t len_at = plain.size();
    plain.append(4, '\0');
    const size_t begin = starts[g];
    if (single)
      encode_batch(catalog, n, row, append_to(plain));
    else
      encode_batch(
          catalog, starts[g + 1] - begin,
          [&](size_t i) -> const StructValue& { return row(order[begin + i]); }, append_to(plain));
    store_be(plain.data() + len_at, static_cast<uint32_t>(plain.size() - len_at - 4));
  }
  return snappy::compress(plain);
}

}  // namespace

void serialize_batch_to(const IndexSchemaCatalog& catalog, std::span<const StructValue* const> rows,
                        const BatchAlloc& alloc) {
  encode_batch(
      catalog, rows.size(), [&](size_t i) -> const StructValue& { return *rows[i]; }, alloc);
}

void serialize_batch_into(std::string& out, const IndexSchemaCatalog& catalog,
                          std::span<const StructValue* const> rows) {
  serialize_batch_to(catalog, rows, append_to(out));
}

std::string serialize_batch(const IndexSchemaCatalog& catalog, std::span<const StructValue* const> rows) {
  std::string out;
  serialize_batch_into(out, catalog, rows);
  return out;
}

std::string serialize_batch(const IndexSchemaCatalog& catalog, std::span<const StructValue> rows) {
  std::string out;
  encode_batch(
      catalog, rows.size(), [&](size_t i) -> const StructValue& { return rows[i]; }, append_to(out));
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

// Sequential reads of `count` items of `width` bytes: when they cannot all fit,
// the shortfall is the one the first failing read would report.
inline void skip_fixed(Reader& r, uint64_t count, size_t width) {
  if (count > r.remaining() / width) throw DecodeError::unexpected_end(width - r.remaining() % width);
  r.advance(static_cast<size_t>(count * width));
}

inline bool all_ascii(const uint8_t* p, size_t len) noexcept {
  uint64_t any = 0;
  size_t i = 0;
  for (; i + 8 <= len; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    any |= w;
  }
  for (; i < len; ++i) any |= p[i];
  return (any & 0x8080808080808080ULL) == 0;
}

// Steps over one text. Present ASCII texts, the common case, are taken here; any
// other goes through the checked read, which reports the fault if there is one.
inline void skip_text(Reader& r) {
  const uint8_t* p = r.position();
  if (r.remaining() >= 4) {
    const uint32_t len = detail::load_be<uint32_t>(p);
    if (len <= r.remaining() - 4 && all_ascii(p + 4, len)) {
      r.advance(4 + size_t{len});
      return;
    }
  }
  r.get_string_view();
}

// Steps over one value of column type `type`, with every check a read would make.
inline void skip_value(Reader& r, uint8_t type) {
  switch (type) {
    case 1:
      r.need(4);
      r.advance(4);
      break;
    case 2:
    case 7:
      r.need(8);
      r.advance(8);
      break;
    case 3:
      skip_text(r);
      break;
    case 4:
    case 5:
    case 8: {
      // Little-endian runs: the whole run is checked before any element.
      const uint64_t bytes = uint64_t{r.get_u32()} * (type == 4 ? 4 : 8);
      r.need(bytes);
      r.advance(static_cast<size_t>(bytes));
      break;
    }
    case 6:
      for (uint32_t c = r.get_u32(); c > 0; --c) skip_text(r);
      break;
  }
}

inline bool bit_at(const uint8_t* words, uint64_t b) noexcept {
  return (detail::load_be<uint64_t>(words + (b / 64) * 8) >> (b % 64)) & 1;
}

// The batch is validated in wire order first (so errors are those of a plain
// sequential read, and nothing is allocated for a count the bytes cannot back),
// then rows are filled one at a time from a cursor per section.
void decode_batch(RowSink& sink, const IndexSchemaCatalog& catalog, std::string_view batch) {
  Reader r(batch);
  const uint16_t ns = r.get_u16();
  const uint32_t meta_id = r.get_u32();
  const uint16_t mask = static_cast<uint16_t>(r.get_u16() & 0x0FFF);  // bits 12..15 carry nothing
  const uint64_t n = r.get_u64();
  const IndexMeta* meta = catalog.find(ns, meta_id);
  if (!meta) throw BatchError::unknown_schema(ns, meta_id);
  const size_t F = meta->fields.size();

  const uint8_t* times = r.position();
  skip_fixed(r, n, 8);
  const uint8_t* grans = r.position();
  skip_fixed(r, n, 4);
  const uint8_t* texts = r.position();
  for (uint64_t i = 0; i < 2 * n; ++i) skip_text(r);
  const uint8_t* aux = r.position();
  const int k = std::popcount(mask);
  if (k) skip_fixed(r, n * static_cast<uint64_t>(k), 4);  // n fits: 20 bytes per row are behind us

  const uint32_t words = r.get_u32();
  const auto expected = static_cast<uint64_t>((static_cast<unsigned __int128>(n) * F + 63) / 64);
  if (words != expected) throw DecodeError::length_overflow(words, expected);
  r.need(uint64_t{words} * 8);
  const uint8_t* presence = r.position();
  r.advance(size_t{words} * 8);
  bool all_present = true;
  for (uint32_t w = 0; w < words && all_present; ++w) {
    const uint64_t full =
        (w + 1 < words || expected * 64 == n * F) ? ~uint64_t{0} : (uint64_t{1} << ((n * F) % 64)) - 1;
    all_present = detail::load_be<uint64_t>(presence + 8 * size_t{w}) == full;
  }

  std::vector<const uint8_t*> column(F);
  for (size_t f = 0; f < F; ++f) {
    column[f] = r.position();
    const FieldType type = meta->fields[f].type;
    if (!type.is_known()) continue;  // carries no data; its slots stay Empty
    const uint8_t w = type.wire;
    if (all_present && (w == 1 || w == 2 || w == 7)) {
      skip_fixed(r, n, w == 1 ? 4 : 8);
      continue;
    }
    const uint64_t bit0 = static_cast<uint64_t>(f) * n;
    for (uint64_t i = 0; i < n; ++i)
      if (all_present || bit_at(presence, bit0 + i)) skip_value(r, type.wire);
  }
  // Bytes after the last value are ignored.

  std::vector<double> unscale(F);
  std::vector<uint8_t> wire(F);
  for (size_t f = 0; f < F; ++f) {
    unscale[f] = unscale_of(meta->fields[f].precision);
    wire[f] = meta->fields[f].type.is_known() ? meta->fields[f].type.wire : 0;
  }
  sink.begin(static_cast<size_t>(n));
  const uint8_t* codes = texts;
  for (uint64_t i = 0; i < n; ++i) codes += 4 + detail::load_be<uint32_t>(codes);

  auto text_at = [](const uint8_t*& p) {
    const uint32_t len = detail::load_be<uint32_t>(p);
    std::string_view v(reinterpret_cast<const char*>(p + 4), len);
    p += 4 + len;
    return v;
  };
  // Little-endian element runs, converted as they are copied.
  auto le_run = [](const uint8_t*& p, auto& v, auto convert) {
    using E = typename std::remove_reference_t<decltype(v)>::value_type;
    const uint32_t count = detail::load_be<uint32_t>(p);
    p += 4;
    v.reserve(count);
    for (uint32_t e = 0; e < count; ++e) v.push_back(convert(p + size_t{e} * sizeof(E)));
    p += size_t{count} * sizeof(E);
  };
  for (uint64_t i = 0; i < n; ++i) {
    StructValue& sv = sink.next();
    sv.ns = ns;
    sv.meta_id = static_cast<int32_t>(meta_id);
    sv.time_tag = detail::load_be<uint64_t>(times + 8 * i);
    sv.granularity = detail::load_be<int32_t>(grans + 4 * i);
    sv.market.assign(text_at(texts));
    sv.stock_code.assign(text_at(codes));
    if (k) {
      for (size_t b = 0; b < kAuxCount; ++b)
        if (mask & (1u << b)) {
          sv.aux[b] = detail::load_be<uint32_t>(aux);
          aux += 4;
        }
    }
    // Slots are constructed in place, in order, with their final kind.
    std::vector<Slot>& slots = sv.fields;
    slots.clear();
    slots.reserve(F);
    // The slots are fresh memory written piecemeal below: claim all their cache
    // lines at once rather than stall on each in turn.
    const char* slot_bytes = reinterpret_cast<const char*>(slots.data());
    for (size_t at = 0; at < F * sizeof(Slot); at += 64) __builtin_prefetch(slot_bytes + at, 1);
    for (size_t f = 0; f < F; ++f) {
      if (wire[f] == 0 || (!all_present && !bit_at(presence, static_cast<uint64_t>(f) * n + i))) {
        slots.emplace_back();
        continue;
      }
      const uint8_t*& p = column[f];
      switch (wire[f]) {
        case 1:
          slots.emplace_back(std::in_place_index<1>, detail::load_be<int32_t>(p)), p += 4;
          break;
        case 2:
          slots.emplace_back(std::in_place_index<2>,
                             static_cast<double>(detail::load_be<int64_t>(p)) * unscale[f]);
          p += 8;
          break;
        case 3:
          slots.emplace_back(std::in_place_index<3>, text_at(p));
          break;
        case 4:
          le_run(p, std::get<4>(slots.emplace_back(std::in_place_index<4>)),
                 [](const uint8_t* q) { return detail::load_le<int32_t>(q); });
          break;
        case 5: {
          const double m = unscale[f];
          le_run(p, std::get<5>(slots.emplace_back(std::in_place_index<5>)),
                 [m](const uint8_t* q) { return static_cast<double>(detail::load_le<int64_t>(q)) * m; });
          break;
        }
        case 6: {
          const uint32_t count = detail::load_be<uint32_t>(p);
          p += 4;
          auto& v = std::get<6>(slots.emplace_back(std::in_place_index<6>));
          v.reserve(count);  // validated above: the strings are present
          for (uint32_t e = 0; e < count; ++e) v.emplace_back(text_at(p));
          break;
        }
        case 7:
          slots.emplace_back(std::in_place_index<7>, detail::load_be<int64_t>(p)), p += 8;
          break;
        case 8:
          le_run(p, std::get<8>(slots.emplace_back(std::in_place_index<8>)),
                 [](const uint8_t* q) { return detail::load_le<int64_t>(q); });
          break;
      }
    }
  }
}

}  // namespace

namespace {

class VectorSink final : public RowSink {
 public:
  explicit VectorSink(std::vector<StructValue>& out) : out_(out) {}
  void begin(size_t n) override { out_.reserve(out_.size() + n); }
  StructValue& next() override { return out_.emplace_back(); }

 private:
  std::vector<StructValue>& out_;
};

}  // namespace

void deserialize_batch_to(RowSink& sink, const IndexSchemaCatalog& catalog, std::string_view batch) {
  try {
    decode_batch(sink, catalog, batch);
  } catch (const DecodeError& e) {
    throw BatchError::codec(e);
  }
}

void deserialize_batch_into(std::vector<StructValue>& out, const IndexSchemaCatalog& catalog,
                            std::string_view batch) {
  VectorSink sink(out);
  deserialize_batch_to(sink, catalog, batch);
}

std::vector<StructValue> deserialize_batch(const IndexSchemaCatalog& catalog, std::string_view batch) {
  std::vector<StructValue> out;
  deserialize_batch_into(out, catalog, batch);
  return out;
}

void decompress_to(RowSink& sink, const IndexSchemaCatalog& catalog, std::string_view blob) {
  if (blob.empty()) return;
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
      if (!batch.empty()) decode_batch(sink, catalog, batch);
    }
  } catch (const DecodeError& e) {
    throw BatchError::codec(e);
  }
}

std::vector<StructValue> decompress(const IndexSchemaCatalog& catalog, std::string_view blob) {
  std::vector<StructValue> out;
  VectorSink sink(out);
  decompress_to(sink, catalog, blob);
  return out;
}

}  // namespace trel
