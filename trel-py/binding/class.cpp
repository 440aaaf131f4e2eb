#include "binding/class.hpp"

#include <structmember.h>

namespace py::detail {
namespace {

int traverse_dict(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(reinterpret_cast<InstanceHeader*>(self)->dict);
  Py_VISIT(Py_TYPE(self));  // heap types are referenced by their instances
  return 0;
}

int clear_dict(PyObject* self) {
  Py_CLEAR(reinterpret_cast<InstanceHeader*>(self)->dict);
  return 0;
}

}  // namespace

PyTypeObject* create_type(Module& m, const std::string& name, size_t basic_size,
                          std::vector<PyType_Slot> slots, bool with_dict) {
  unsigned flags = Py_TPFLAGS_DEFAULT;
  if (with_dict) {
    auto* members =
        new PyMemberDef[2]{{"__dictoffset__", T_PYSSIZET,
                            static_cast<Py_ssize_t>(offsetof(InstanceHeader, dict)), READONLY, nullptr},
                           {nullptr, 0, 0, 0, nullptr}};
    slots.push_back({Py_tp_members, members});
    // A __dict__ can hold the object itself: the collector must see it.
    flags |= Py_TPFLAGS_HAVE_GC;
    slots.push_back({Py_tp_traverse, reinterpret_cast<void*>(&traverse_dict)});
    slots.push_back({Py_tp_clear, reinterpret_cast<void*>(&clear_dict)});
  }
  slots.push_back({0, nullptr});
  auto* owned_slots = new PyType_Slot[slots.size()];
  std::copy(slots.begin(), slots.end(), owned_slots);
  auto* spec =
      new PyType_Spec{intern("pyvelmora." + name), static_cast<int>(basic_size), 0, flags, owned_slots};
  PyObject* type = check(PyType_FromModuleAndSpec(m.get(), spec, nullptr));
  Py_INCREF(type);  // one reference for the registry, one for the module
  m.object(name.c_str(), type);
  return reinterpret_cast<PyTypeObject*>(type);
}

PyObject* no_constructor(PyTypeObject* type, PyObject*, PyObject*) {
  Object name = Object::steal(PyType_GetName(type));
  if (name) PyErr_Format(PyExc_TypeError, "No constructor defined for %U", name.get());
  return nullptr;
}

bool check_no_arguments(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  Py_ssize_t nargs = args ? PyTuple_Size(args) : 0;
  if (nargs > 0) {
    Object name = Object::steal(PyType_GetName(type));
    PyErr_Format(PyExc_TypeError, "%U() takes 0 positional arguments but %zd %s given", name.get(), nargs,
                 nargs == 1 ? "was" : "were");
    return false;
  }
  if (kwargs && PyDict_Size(kwargs) > 0) {
    PyObject *key, *value;
    Py_ssize_t pos = 0;
    PyDict_Next(kwargs, &pos, &key, &value);
    Object name = Object::steal(PyType_GetName(type));
    PyErr_Format(PyExc_TypeError, "%U() got an unexpected keyword argument '%U'", name.get(), key);
    return false;
  }
  return true;
}

int refuse_delete() {
  PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
  return -1;
}

}  // namespace py::detail
