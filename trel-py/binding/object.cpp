#include "binding/object.hpp"

#include <new>
#include <stdexcept>

namespace py {

void raise(PyObject* type, std::string_view message) {
  PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
  if (text) {
    PyErr_SetObject(type, text);
    Py_DECREF(text);
  }
  throw error_already_set{};
}

std::string to_utf8(PyObject* o) {
  Object s = Object::steal(PyObject_Str(o));
  if (!s) {
    PyErr_Clear();
    return "<unprintable>";
  }
  Py_ssize_t n = 0;
  const char* p = PyUnicode_AsUTF8AndSize(s.get(), &n);
  if (!p) {
    PyErr_Clear();
    return "<unprintable>";
  }
  return std::string(p, static_cast<size_t>(n));
}

std::string type_name(PyObject* o) {
  Object name = Object::steal(PyType_GetName(Py_TYPE(o)));
  if (!name) {
    PyErr_Clear();
    return "?";
  }
  return to_utf8(name.get());
}

void raise_cannot_convert(PyObject* o, std::string_view target) {
  // Appended piecewise: GCC 12 at -O3 misreads "lit" + std::string&& as an overlapping memcpy (-Wrestrict).
  std::string text = "'";
  text += type_name(o);
  text += "' object cannot be converted to '";
  text += target;
  text += "'";
  raise(PyExc_TypeError, text);
}

void translate_exception() noexcept {
  try {
    throw;
  } catch (const error_already_set&) {
  } catch (const type_error& e) {
    try {
      raise(PyExc_TypeError, e.what());
    } catch (const error_already_set&) {
    }
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::length_error&) {
    // A container asked to grow past what it can ever hold.
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    try {
      raise(PyExc_Exception, e.what());
    } catch (const error_already_set&) {
    }
  } catch (...) {
    PyErr_SetString(PyExc_Exception, "unknown native error");
  }
}

}  // namespace py
