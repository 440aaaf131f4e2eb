// The schema catalogue classes and the IndexSerializer batch codec.
#include "schema.hpp"

#include <memory>

#include "registry.hpp"

namespace pyvelmora {

const trel::SharedCatalog& empty_catalog() {
  static const trel::SharedCatalog empty = std::make_shared<const trel::IndexSchemaCatalog>();
  return empty;
}

trel::SharedCatalog catalog_of(PyObject* serializer) {
  if (!py::is_instance<IndexSerializerState>(serializer))
    py::raise_cannot_convert(serializer, "IndexSerializer");
  py::SharedBorrow borrow(serializer);
  return py::Layout<IndexSerializerState>::value(serializer).catalog;
}

void Rows::begin(size_t n) {
  // The row count was checked against the input, so the list is bounded by it.
  py::Object list = py::Object::steal(py::check(PyList_New(static_cast<Py_ssize_t>(filled_ + n))));
  // A later batch of a blob: carry the rows decoded so far over.
  for (size_t i = 0; i < filled_; ++i) {
    PyObject* row = PyList_GetItem(list_.get(), static_cast<Py_ssize_t>(i));
    Py_INCREF(row);
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), row);
  }
  list_ = std::move(list);
}

trel::StructValue& Rows::next() {
  PyObject* row = py::make_instance<trel::StructValue>();
  PyList_SetItem(list_.get(), static_cast<Py_ssize_t>(filled_++), row);  // steals row
  return py::Layout<trel::StructValue>::value(row);
}

PyObject* Rows::release() {
  if (!list_.get()) return py::check(PyList_New(0));
  return list_.release();
}

namespace {

void schema_load(IndexSchemaState& self, std::string_view buf) {
  self.catalog = py::with_error_prefix("schema load: ", [&] {
    return std::make_shared<const trel::IndexSchemaCatalog>(trel::load_schema_binary(buf));
  });
}

std::string schema_save(const IndexSchemaState& self) {
  return py::with_error_prefix("schema save: ", [&] { return trel::save_schema_binary(*self.catalog); });
}

std::vector<trel::IndexMeta> schema_metas(const IndexSchemaState& self) {
  std::vector<trel::IndexMeta> out;
  out.reserve(self.catalog->metas.size());
  for (const auto& [key, meta] : self.catalog->metas) out.push_back(meta);
  return out;
}

trel::IndexDataMap schema_index_data_map(const IndexSchemaState& self) {
  return trel::build_index_data_map(*self.catalog);
}

void update_schema_from_binary(IndexSerializerState& self, std::string_view buf) {
  self.catalog = py::with_error_prefix("update_schema_from_binary: ", [&] {
    return std::make_shared<const trel::IndexSchemaCatalog>(trel::load_schema_binary(buf));
  });
}

IndexSchemaState serializer_schema(const IndexSerializerState& self) { return {self.catalog}; }

// The batch is written straight into the bytes object handed back.
py::Object serialize_batch(const IndexSerializerState& self, const RowBatch& batch) {
  py::Object out;
  py::with_error_prefix("serialize_batch: ", [&] {
    trel::serialize_batch_to(*self.catalog, batch.items(), [&](size_t n) {
      out = py::Object::steal(py::check(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(n))));
      return PyBytes_AsString(out.get());
    });
  });
  return out;
}

Rows deserialize_batch(const IndexSerializerState& self, std::string_view buf) {
  Rows out;
  py::with_error_prefix("deserialize_batch: ", [&] { trel::deserialize_batch_to(out, *self.catalog, buf); });
  return out;
}

uint64_t data_map_len(const trel::IndexDataMap& self) { return self.size(); }

}  // namespace

void register_schema(py::Module& m) {
  using F = trel::IndexMetaField;
  py::Class<F>(m, "Field")
      .method<&F::get_pos>("get_pos")
      .method<&F::get_name>("get_name")
      .method<&F::get_type>("get_type")
      .method<&F::get_precision>("get_precision")
      .method<&F::get_multiple>("get_multiple")
      .method<&F::get_sample_type>("get_sample_type")
      .finish();

  using M = trel::IndexMeta;
  py::Class<M>(m, "IndexMeta")
      .method<&M::get_id>("get_id")
      .method<&M::get_namespace>("get_namespace")
      .method<&M::get_name>("get_name")
      .method<&M::get_display_name>("get_display_name")
      .method<&M::get_granularities>("get_granularities")
      .method<&M::get_index_type>("get_index_type")
      .method<&M::get_revision>("get_revision")
      .method<&M::get_author_uuid>("get_author_uuid")
      .method<&M::get_fields>("get_fields")
      .finish();

  py::Class<IndexSchemaState>(m, "IndexSchema")
      .constructor()
      .method<&schema_load>("load", "buf")
      .method<&schema_save>("save")
      .method<&schema_metas>("metas")
      .method<&schema_index_data_map>("index_data_map")
      .finish();

  py::Class<IndexSerializerState>(m, "IndexSerializer")
      .constructor()
      .method<&update_schema_from_binary>("update_schema_from_binary", "buf")
      .method<&serializer_schema>("schema")
      .method<&serialize_batch>("serialize_batch", "batch")
      .method<&deserialize_batch>("deserialize_batch", "buf")
      .finish();

  py::Class<trel::IndexDataMap>(m, "PyIndexDataMap").len<&data_map_len>().finish();
}

}  // namespace pyvelmora

namespace py {

PyObject* Conv<pyvelmora::Rows>::to(pyvelmora::Rows&& v) { return v.release(); }

pyvelmora::RowBatch Conv<pyvelmora::RowBatch>::from(PyObject* o) {
  using SV = trel::StructValue;
  pyvelmora::RowBatch batch;
  const bool list = PyList_Check(o);
  if (!list && !PyTuple_Check(o)) {
    auto& held = batch.held_.emplace(Conv<Refs<SV>>::from(o));
    batch.items_.assign(held.items().begin(), held.items().end());
    return batch;
  }
  const Py_ssize_t n = list ? PyList_Size(o) : PyTuple_Size(o);
  batch.items_.reserve(static_cast<size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* item = list ? PyList_GetItem(o, i) : PyTuple_GetItem(o, i);
    if (!is_instance<SV>(item)) raise_cannot_convert(item, class_name_of<SV>);
    if (Layout<SV>::header(item).borrow < 0) raise(PyExc_RuntimeError, "Already mutably borrowed");
    batch.items_.push_back(&Layout<SV>::value(item));
  }
  return batch;
}

}  // namespace py
