// The schema family's native types, for binding units that take a compressor
// (an IndexSerializer) or read a PyIndexDataMap, and the row-list conversions
// shared by every unit that moves rows.
#pragma once

#include <span>
#include <vector>

#include "binding/convert.hpp"
#include "trel/protocol/index_serializer.hpp"
#include "trel/protocol/schema_catalog.hpp"
#include "trel/protocol/struct_value.hpp"

namespace pyvelmora {

// The catalogue every new IndexSchema / IndexSerializer starts with.
const trel::SharedCatalog& empty_catalog();

// Python IndexSchema: a view of one catalogue. Catalogues are immutable, so the
// copies handed out share it; load() replaces the pointer.
struct IndexSchemaState {
  trel::SharedCatalog catalog = empty_catalog();
};

// Python IndexSerializer: the "compressor" of the message classes.
struct IndexSerializerState {
  trel::SharedCatalog catalog = empty_catalog();
};

// Python PyIndexDataMap is trel::IndexDataMap itself. Row lists come in as
// py::Refs<trel::StructValue> (read in place) and go out as Rows.

// The catalogue of an IndexSerializer object (TypeError for anything else), for
// a `compressor` argument taken as py::Object.
trel::SharedCatalog catalog_of(PyObject* serializer);

// Decoded rows returned to Python: the decoder fills new StructValue objects in
// place, straight into the list that is handed back. Usable with
// trel::deserialize_batch_to and trel::decompress_to; return it from a bound
// function to hand Python the list.
class Rows final : public trel::RowSink {
 public:
  void begin(size_t n) override;
  trel::StructValue& next() override;
  // The list (a new reference); an empty list when nothing was decoded.
  PyObject* release();

 private:
  py::Object list_;
  size_t filled_ = 0;
};

// Rows to encode, read in place, for a function whose only argument this is and
// which runs no Python code before it returns. A list's or tuple's items are then
// kept alive by the container and cannot change, so they are neither held nor
// borrowed one by one; any other sequence may hand out new objects, which are held.
// Type and borrow errors are those of py::Refs<trel::StructValue>.
class RowBatch {
 public:
  std::span<const trel::StructValue* const> items() const noexcept { return items_; }

 private:
  friend struct py::Conv<RowBatch>;
  std::vector<const trel::StructValue*> items_;
  std::optional<py::Refs<trel::StructValue>> held_;
};

}  // namespace pyvelmora

namespace py {

template <>
struct Conv<pyvelmora::RowBatch> {
  static constexpr bool bound = false;
  static pyvelmora::RowBatch from(PyObject* o);
};

template <>
struct Conv<pyvelmora::Rows> {
  static constexpr bool bound = false;
  static PyObject* to(pyvelmora::Rows&& v);
};

}  // namespace py
