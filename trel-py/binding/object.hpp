// Owned references, the "a Python error is set" signal and error helpers.
#pragma once

#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "binding/python.hpp"

namespace py {

// Thrown when a Python error indicator is already set; the trampoline returns NULL.
struct error_already_set {};

// Core-side shape errors that must surface as TypeError rather than Exception.
class type_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An owned (strong) reference.
class Object {
 public:
  Object() = default;
  static Object steal(PyObject* p) { return Object(p); }
  static Object borrow(PyObject* p) {
    Py_XINCREF(p);
    return Object(p);
  }
  Object(const Object& o) : p_(o.p_) { Py_XINCREF(p_); }
  Object(Object&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Object& operator=(Object o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~Object() { Py_XDECREF(p_); }

  PyObject* get() const noexcept { return p_; }
  PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  explicit Object(PyObject* p) : p_(p) {}
  PyObject* p_ = nullptr;
};

// Throws error_already_set when p is NULL (the callee set the error).
inline PyObject* check(PyObject* p) {
  if (!p) throw error_already_set{};
  return p;
}

// Sets `type` with a UTF-8 message (undecodable bytes replaced) and throws.
[[noreturn]] void raise(PyObject* type, std::string_view message);
// The object's type name, as Python prints it ("str", "int", "StructValue").
std::string type_name(PyObject* o);
// TypeError "'<type>' object cannot be converted to '<target>'".
[[noreturn]] void raise_cannot_convert(PyObject* o, std::string_view target);
// Turns the active C++ exception into the Python error indicator.
void translate_exception() noexcept;
// str(o) as UTF-8.
std::string to_utf8(PyObject* o);

// Runs f; a core error (any std::exception but TypeError and MemoryError) is
// raised again with `prefix` in front of its text. Python errors pass untouched.
template <class F>
decltype(auto) with_error_prefix(std::string_view prefix, F&& f) {
  try {
    return f();
  } catch (const type_error&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::length_error&) {
    throw;
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string(prefix) + e.what());
  }
}

}  // namespace py
