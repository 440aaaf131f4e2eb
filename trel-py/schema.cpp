// The schema catalogue classes and the IndexSerializer batch codec.
#include "schema.hpp"

#include <memory>
#include <new>
#include <stdexcept>

#include "registry.hpp"

namespace pyvelmora {

const trel::SharedCatalog& empty_catalog() {
  static const trel::SharedCatalog empty = std::make_shared<const trel::IndexSchemaCatalog>();
  return empty;
}

trel::SharedCatalog catalog_of(PyObject* serializer) {
  if (!py::is_instance<IndexSerializerState>(serializer)) py::raise_cannot_convert(serializer, "IndexSerializer");
  py::SharedBorrow borrow(serializer);
  return py::Layout<IndexSerializerState>::value(serializer).catalog;
}

RowRefs::RowRefs(PyObject* sequence) {
  if (PyList_Check(sequence) || PyTuple_Check(sequence)) {
    const auto n = static_cast<size_t>(PyObject_Length(sequence));
    rows_.reserve(n);
    objects_.reserve(n);
  }
  try {
    py::detail::for_each_in_sequence(sequence, [&](PyObject* item) {
      if (!py::is_instance<trel::StructValue>(item))
        py::raise_cannot_convert(item, py::class_name_of<trel::StructValue>);
      auto& header = py::Layout<trel::StructValue>::header(item);
      if (header.borrow < 0) py::raise(PyExc_RuntimeError, "Already mutably borrowed");
      Py_INCREF(item);
      ++header.borrow;
      objects_.push_back(item);
      rows_.push_back(&py::Layout<trel::StructValue>::value(item));
    });
  } catch (...) {
    release();
    throw;
  }
}

void RowRefs::release() noexcept {
  for (PyObject* o : objects_) {
    --py::Layout<trel::StructValue>::header(o).borrow;
    Py_DECREF(o);
  }
  objects_.clear();
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

BytesView::BytesView(PyObject* bytes) {
  if (!PyBytes_Check(bytes)) py::raise_cannot_convert(bytes, "PyBytes");
  char* p = nullptr;
  Py_ssize_t n = 0;
  if (PyBytes_AsStringAndSize(bytes, &p, &n) < 0) throw py::error_already_set{};
  owner_ = py::Object::borrow(bytes);
  view_ = std::string_view(p, static_cast<size_t>(n));
}

namespace {

// Core errors gain the operation's prefix; Python errors pass through untouched.
template <class F>
decltype(auto) prefixed(const char* prefix, F&& f) {
  try {
    return f();
  } catch (const py::type_error&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string(prefix) + e.what());
  }
}

void schema_load(IndexSchemaState& self, BytesView buf) {
  self.catalog = prefixed("schema load: ", [&] {
    return std::make_shared<const trel::IndexSchemaCatalog>(trel::load_schema_binary(buf.view()));
  });
}

std::string schema_save(const IndexSchemaState& self) {
  return prefixed("schema save: ", [&] { return trel::save_schema_binary(*self.catalog); });
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

void update_schema_from_binary(IndexSerializerState& self, BytesView buf) {
  self.catalog = prefixed("update_schema_from_binary: ", [&] {
    return std::make_shared<const trel::IndexSchemaCatalog>(trel::load_schema_binary(buf.view()));
  });
}

IndexSchemaState serializer_schema(const IndexSerializerState& self) { return {self.catalog}; }

// The batch is written straight into the bytes object handed back.
py::Object serialize_batch(const IndexSerializerState& self, const RowRefs& batch) {
  py::Object out;
  prefixed("serialize_batch: ", [&] {
    trel::serialize_batch_to(*self.catalog, batch.rows(), [&](size_t n) {
      out = py::Object::steal(py::check(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(n))));
      return PyBytes_AsString(out.get());
    });
  });
  return out;
}

Rows deserialize_batch(const IndexSerializerState& self, BytesView buf) {
  Rows out;
  prefixed("deserialize_batch: ", [&] { trel::deserialize_batch_to(out, *self.catalog, buf.view()); });
  return out;
}

uint64_t data_map_len(const trel::IndexDataMap& self) { return self.size(); }

// Dunder methods in a type's method table do not fill its slots; setting the
// attribute again on the finished heap type does.
void install_slot_method(PyTypeObject* type, const char* name) {
  auto* t = reinterpret_cast<PyObject*>(type);
  py::Object method = py::Object::steal(py::check(PyObject_GetAttrString(t, name)));
  if (PyObject_SetAttrString(t, name, method.get()) < 0) throw py::error_already_set{};
}

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

  PyTypeObject* data_map = py::Class<trel::IndexDataMap>(m, "PyIndexDataMap")
                               .method<&data_map_len>("__len__")
                               .finish();
  install_slot_method(data_map, "__len__");
}

}  // namespace pyvelmora

namespace py {

PyObject* Conv<pyvelmora::Rows>::to(pyvelmora::Rows&& v) { return v.release(); }

}  // namespace py
