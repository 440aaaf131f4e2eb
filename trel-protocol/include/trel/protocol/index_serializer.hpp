// Schema-driven row-batch codec. A batch carries rows of one (namespace, meta id)
// column-wise against the catalogue; a blob is raw Snappy of length-prefixed batches.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "trel/protocol/schema_catalog.hpp"
#include "trel/protocol/struct_value.hpp"

namespace trel {

// The codec's one error kind. what() is the display text, without an operation prefix.
class BatchError : public std::runtime_error {
 public:
  enum class Kind { Codec, UnknownSchema, FieldCount, FieldKind, EmptyBatch, Snappy };

  static BatchError codec(const std::exception& decode_error);
  static BatchError unknown_schema(uint16_t ns, uint32_t meta_id);
  static BatchError field_count(uint64_t row_fields, uint64_t schema_fields, uint16_t ns, uint32_t meta_id);
  static BatchError field_kind(uint64_t field, SlotKind slot, FieldType schema);
  static BatchError empty_batch();
  static BatchError snappy(const std::exception& library_error);

  Kind kind() const noexcept { return kind_; }

 private:
  BatchError(Kind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
  Kind kind_;
};

// "Int", "Double", ... for the named column types, "Other(b)" for any other byte.
std::string field_type_name(FieldType type);

// Scaling of doubles carried as integers with `precision` decimal places.
int64_t scale_double(double v, uint32_t precision) noexcept;
double unscale_double(int64_t raw, uint32_t precision) noexcept;

// One uncompressed batch. All rows are written under the first row's (namespace,
// meta id); the other rows' own ids are not compared.
std::string serialize_batch(const IndexSchemaCatalog& catalog, std::span<const StructValue> rows);
std::string serialize_batch(const IndexSchemaCatalog& catalog, std::span<const StructValue* const> rows);
// Encodes into memory the caller provides: `alloc` is called once, after every
// check has passed, with the exact batch size, and returns where to write it.
using BatchAlloc = std::function<char*(size_t)>;
void serialize_batch_to(const IndexSchemaCatalog& catalog, std::span<const StructValue* const> rows,
                        const BatchAlloc& alloc);
// Appends the batch to `out`.
void serialize_batch_into(std::string& out, const IndexSchemaCatalog& catalog,
                          std::span<const StructValue* const> rows);

std::vector<StructValue> deserialize_batch(const IndexSchemaCatalog& catalog, std::string_view batch);

// Where decoded rows go. For each batch, begin(n) is called once after the whole
// batch has been checked, then next() n times; each row it returns (a new,
// default row) is filled in place.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void begin(size_t n) = 0;
  virtual StructValue& next() = 0;
};
void deserialize_batch_to(RowSink& sink, const IndexSchemaCatalog& catalog, std::string_view batch);
// Appends the decoded rows to `out`; on failure nothing is appended.
void deserialize_batch_into(std::vector<StructValue>& out, const IndexSchemaCatalog& catalog,
                            std::string_view batch);

// Rows of any mix of (namespace, meta id) -> compressed blob. Groups are written
// in ascending (namespace, meta id) order; rows keep their input order inside a group.
std::string compress(const IndexSchemaCatalog& catalog, std::span<const StructValue> rows);
std::string compress(const IndexSchemaCatalog& catalog, std::span<const StructValue* const> rows);
// Compressed blob -> rows. Zero bytes means no rows.
std::vector<StructValue> decompress(const IndexSchemaCatalog& catalog, std::string_view blob);
// As decompress, into a sink (once per group). On failure the sink may hold the
// rows of earlier groups; the caller discards them.
void decompress_to(RowSink& sink, const IndexSchemaCatalog& catalog, std::string_view blob);

}  // namespace trel
