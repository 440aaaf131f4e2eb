// How a native value lives inside a Python object: a small header (borrow
// flag, optional __dict__) followed by the C++ value, and the per-type registry.
#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <utility>

#include "binding/object.hpp"

namespace py {

struct InstanceHeader {
  PyObject_HEAD
      // 0 free, > 0 shared borrows, -1 borrowed mutably.
      int borrow;
  PyObject* dict;
};

// The Python type a C++ class is bound to, set when its binding is finished.
template <class T>
inline PyTypeObject* type_of = nullptr;
template <class T>
inline const char* class_name_of = "?";

template <class T>
struct Layout {
  static constexpr size_t value_offset = (sizeof(InstanceHeader) + alignof(T) - 1) / alignof(T) * alignof(T);
  static constexpr size_t basic_size = value_offset + sizeof(T);

  static T& value(PyObject* o) noexcept {
    return *std::launder(reinterpret_cast<T*>(reinterpret_cast<char*>(o) + value_offset));
  }
  static InstanceHeader& header(PyObject* o) noexcept { return *reinterpret_cast<InstanceHeader*>(o); }
};

namespace detail {
// Returns an instance's memory through its type's allocator and drops the
// reference the instance held on its (heap) type.
inline void free_instance(PyObject* o) {
  PyTypeObject* type = Py_TYPE(o);
  auto free = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free(o);
  Py_DECREF(type);
}
}  // namespace detail

template <class T>
bool is_instance(PyObject* o) {
  return type_of<T> && PyObject_TypeCheck(o, type_of<T>);
}

// An instance of T's own type, freed by the object allocator, is its basic size
// from that allocator, uncleared: the header and the value are written in full by
// new_instance. Any other type (a collected one, a subtype of another size) goes
// the generic way.
template <class T>
PyObject* alloc_instance(PyTypeObject* type) {
  if (type != type_of<T> || (PyType_GetFlags(type) & Py_TPFLAGS_HAVE_GC) ||
      PyType_GetSlot(type, Py_tp_free) != reinterpret_cast<void*>(&PyObject_Free))
    return check(PyType_GenericAlloc(type, 0));
  void* mem = PyObject_Malloc(Layout<T>::basic_size);
  if (!mem) {
    PyErr_NoMemory();
    throw error_already_set{};
  }
  return PyObject_Init(static_cast<PyObject*>(mem), type);
}

// Allocates an instance of `type` (T's type or a subtype) holding T(args...).
template <class T, class... Args>
PyObject* new_instance(PyTypeObject* type, Args&&... args) {
  PyObject* o = alloc_instance<T>(type);
  auto& h = Layout<T>::header(o);
  h.borrow = 0;
  h.dict = nullptr;
  try {
    new (&Layout<T>::value(o)) T(std::forward<Args>(args)...);
  } catch (...) {
    // The value never existed: free the bare object without running T's destructor.
    if (PyType_IS_GC(type)) PyObject_GC_UnTrack(o);
    detail::free_instance(o);
    throw;
  }
  return o;
}

template <class T, class... Args>
PyObject* make_instance(Args&&... args) {
  if (!type_of<T>) raise(PyExc_RuntimeError, "native class used before its binding was registered");
  return new_instance<T>(type_of<T>, std::forward<Args>(args)...);
}

// Borrow guards: a mutating call takes the object exclusively, a reading call shares it.
class SharedBorrow {
 public:
  SharedBorrow() = default;
  explicit SharedBorrow(PyObject* o) { acquire(o); }
  void acquire(PyObject* o) {
    auto& h = *reinterpret_cast<InstanceHeader*>(o);
    if (h.borrow < 0) raise(PyExc_RuntimeError, "Already mutably borrowed");
    ++h.borrow;
    h_ = &h;
  }
  ~SharedBorrow() {
    if (h_) --h_->borrow;
  }
  SharedBorrow(const SharedBorrow&) = delete;
  SharedBorrow& operator=(const SharedBorrow&) = delete;

 private:
  InstanceHeader* h_ = nullptr;
};

class MutBorrow {
 public:
  MutBorrow() = default;
  explicit MutBorrow(PyObject* o) { acquire(o); }
  void acquire(PyObject* o) {
    auto& h = *reinterpret_cast<InstanceHeader*>(o);
    if (h.borrow != 0) raise(PyExc_RuntimeError, "Already borrowed");
    h.borrow = -1;
    h_ = &h;
  }
  ~MutBorrow() {
    if (h_) h_->borrow = 0;
  }
  MutBorrow(const MutBorrow&) = delete;
  MutBorrow& operator=(const MutBorrow&) = delete;

 private:
  InstanceHeader* h_ = nullptr;
};

}  // namespace py
