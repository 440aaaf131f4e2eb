#include "binding/module.hpp"

#include <deque>
#include <stdexcept>

namespace py {

const char* intern(std::string text) {
  static std::deque<std::string> texts;
  return texts.emplace_back(std::move(text)).c_str();
}

void Module::check_arity(const Signature& sig, size_t native_arity) {
  if (sig.size() != native_arity)
    raise(PyExc_SystemError, sig.qualname() + ": parameter list names " + std::to_string(sig.size()) +
                                 " parameters but the native function takes " + std::to_string(native_arity));
}

Module& Module::constant(const char* name, long long value) {
  return object(name, check(PyLong_FromLongLong(value)));
}

Module& Module::object(const char* name, PyObject* value) {
  if (PyModule_AddObject(m_, name, value) < 0) {
    Py_DECREF(value);
    throw error_already_set{};
  }
  return *this;
}

void Module::add_function(const char* name, PyCFunction fn, const std::string& doc) {
  auto* defs = new PyMethodDef[2]{{name, fn, METH_FASTCALL | METH_KEYWORDS, intern(doc)},
                                  {nullptr, nullptr, 0, nullptr}};
  if (PyModule_AddFunctions(m_, defs) < 0) throw error_already_set{};
}

}  // namespace py
