// The schema family's native types, for binding units that take a compressor
// (an IndexSerializer) or read a PyIndexDataMap, and the row-list conversions
// shared by every unit that moves rows.
#pragma once

#include <span>
#include <string_view>
#include <utility>
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

// Python PyIndexDataMap is trel::IndexDataMap itself.

// The catalogue of an IndexSerializer object (TypeError for anything else), for
// a `compressor` argument taken as py::Object.
trel::SharedCatalog catalog_of(PyObject* serializer);

// A Python sequence of StructValue objects, viewed in place (no copies). Each
// row stays referenced and shared-borrowed while the value lives.
class RowRefs {
 public:
  RowRefs() = default;
  explicit RowRefs(PyObject* sequence);
  RowRefs(RowRefs&& o) noexcept : rows_(std::move(o.rows_)), objects_(std::move(o.objects_)) {}
  RowRefs& operator=(RowRefs&&) = delete;
  RowRefs(const RowRefs&) = delete;
  ~RowRefs() { release(); }

  std::span<const trel::StructValue* const> rows() const noexcept { return rows_; }

 private:
  void release() noexcept;
  std::vector<const trel::StructValue*> rows_;
  std::vector<PyObject*> objects_;
};

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

// A bytes argument viewed in place (the object is kept referenced).
class BytesView {
 public:
  explicit BytesView(PyObject* bytes);
  std::string_view view() const noexcept { return view_; }

 private:
  py::Object owner_;
  std::string_view view_;
};

}  // namespace pyvelmora

namespace py {

template <>
struct Conv<pyvelmora::RowRefs> {
  static constexpr bool bound = false;
  static pyvelmora::RowRefs from(PyObject* o) { return pyvelmora::RowRefs(o); }
};

template <>
struct Conv<pyvelmora::Rows> {
  static constexpr bool bound = false;
  static PyObject* to(pyvelmora::Rows&& v);
};

template <>
struct Conv<pyvelmora::BytesView> {
  static constexpr bool bound = false;
  static pyvelmora::BytesView from(PyObject* o) { return pyvelmora::BytesView(o); }
};

}  // namespace py
