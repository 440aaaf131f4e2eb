// The module being initialised: functions, integer constants and objects are
// added in the order the registration steps run.
#pragma once

#include <string>

#include "binding/callable.hpp"

namespace py {

// Keeps a text alive for the life of the process (method tables point into it).
const char* intern(std::string text);

class Module {
 public:
  explicit Module(PyObject* module) : m_(module) {}
  PyObject* get() const noexcept { return m_; }

  // Registers F as a module function taking `params` (e.g. "now, time_zone, periods").
  template <auto F>
  Module& function(const char* name, const char* params = "") {
    static_assert(!std::is_member_function_pointer_v<decltype(F)>, "module functions are free functions");
    auto* sig = new Signature(name, params);
    check_arity(*sig, arity<F, false>());
    signature_of<F> = sig;
    add_function(name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&trampoline<F, false>)),
                 sig->doc(name, false));
    return *this;
  }

  Module& constant(const char* name, long long value);
  // Adds a new reference under `name` (stolen).
  Module& object(const char* name, PyObject* value);

  static void check_arity(const Signature& sig, size_t native_arity);

 private:
  void add_function(const char* name, PyCFunction fn, const std::string& doc);
  PyObject* m_;
};

}  // namespace py
