// Container alias types: subclasses of list, dict, set and object that callers
// written against a container-typed surface construct and fill. Their methods
// are plain Python functions compiled once and shared by every alias.
#include "registry.hpp"

namespace pyvelmora {
namespace {

struct AliasMethods {
  py::Object push_back, size, empty, insert;
};

// Compiles `source` (a lambda expression) in the namespace of __main__.
py::Object compile_lambda(PyObject* globals, const char* source) {
  py::Object code = py::Object::steal(py::check(Py_CompileString(source, "<pyvelmora>", Py_eval_input)));
  return py::Object::steal(py::check(PyEval_EvalCode(code.get(), globals, globals)));
}

AliasMethods compile_methods() {
  PyObject* main = py::check(PyImport_AddModule("__main__"));  // borrowed
  PyObject* globals = py::check(PyModule_GetDict(main));       // borrowed
  if (!PyDict_GetItemString(globals, "__builtins__")) {
    if (PyDict_SetItemString(globals, "__builtins__", PyEval_GetBuiltins()) < 0)
      throw py::error_already_set{};
  }
  return {compile_lambda(globals, "lambda self, x: self.append(x)"),
          compile_lambda(globals, "lambda self: len(self)"),
          compile_lambda(globals, "lambda self: len(self) == 0"),
          compile_lambda(globals, "lambda self, x: self.add(x)")};
}

// type(name, (base,), methods), added to the module under `name`.
void add_alias(py::Module& m, const char* name, PyObject* base,
               std::initializer_list<std::pair<const char*, PyObject*>> methods) {
  py::Object dict = py::Object::steal(py::check(PyDict_New()));
  py::Object module_name = py::Object::steal(py::check(PyUnicode_FromString("pyvelmora")));
  if (PyDict_SetItemString(dict.get(), "__module__", module_name.get()) < 0) throw py::error_already_set{};
  for (const auto& [method, fn] : methods)
    if (PyDict_SetItemString(dict.get(), method, fn) < 0) throw py::error_already_set{};
  py::Object type = py::Object::steal(py::check(
      PyObject_CallFunction(reinterpret_cast<PyObject*>(&PyType_Type), "s(O)O", name, base, dict.get())));
  m.object(name, type.release());
}

}  // namespace

void register_alias_types(py::Module& m) {
  const AliasMethods f = compile_methods();
  PyObject* list = reinterpret_cast<PyObject*>(&PyList_Type);
  PyObject* dict = reinterpret_cast<PyObject*>(&PyDict_Type);
  PyObject* set = reinterpret_cast<PyObject*>(&PySet_Type);
  PyObject* object = reinterpret_cast<PyObject*>(&PyBaseObject_Type);

  for (const char* name : {"StructValueVector", "IndexMetaVector", "FieldVector", "Int32Vector",
                           "Int64Vector", "Uint32Vector", "DoubleVector", "StringVector", "Int32PairVector",
                           "SecuritySelectorVector", "UniverseOutExportDefVector",
                           "UniverseOutSubAccountVector", "StructValueKeyValueVector", "MarketMetaVector"})
    add_alias(m, name, list,
              {{"push_back", f.push_back.get()}, {"size", f.size.get()}, {"empty", f.empty.get()}});
  for (const char* name :
       {"Int32PairVectorMap", "StringToStringVector", "StringToSetOfStringMap", "StringToSetOfUint32Map",
        "UniverseInMap", "UniverseOutMap", "UniverseOutExportMap", "ImportsMap", "Int32StringMap",
        "Uint32ToByteArrayMap", "StructValueKeyToSetOfUint32Map", "StructValueKeyToSetOfStructValueKeyMap",
        "MarketCategoryMap", "MarketSecurityMap"})
    add_alias(m, name, dict, {{"size", f.size.get()}, {"empty", f.empty.get()}});
  for (const char* name : {"Uint32Set", "StringSet"})
    add_alias(m, name, set, {{"insert", f.insert.get()}, {"size", f.size.get()}, {"empty", f.empty.get()}});
  // PXPushStartRes stands in until the message class of that name replaces it.
  for (const char* name : {"TCError", "TCLog", "TCReady", "ATBaseResponse", "ATCalFormulaRes",
                           "ATCalFormulaRTRes", "ATRegFormulaRes", "ATSubscribeOrderRes", "ATSubscribeRes",
                           "ATSubscribeSVRes", "PXCoverUpReq", "PXPushStartRes"})
    add_alias(m, name, object, {});
}

}  // namespace pyvelmora
