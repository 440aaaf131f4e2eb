// Conversion traits: how each native type crosses between Python and C++.
// Conv<T>::from(PyObject*) -> T and Conv<T>::to(const T&) -> new reference.
// Errors set the Python error and throw error_already_set. A type without a
// value conversion is a bound class (instance of type_of<T>).
#pragma once

#include <concepts>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/instance.hpp"

namespace py {

template <class T, class = void>
struct Conv {
  static constexpr bool bound = true;
  static PyObject* to(const T& v) { return make_instance<T>(v); }
  static PyObject* to(T&& v) { return make_instance<T>(std::move(v)); }
};

template <class T>
concept ValueConvertible = !Conv<T>::bound;

template <class R>
PyObject* to_python(R&& r) {
  return Conv<std::remove_cvref_t<R>>::to(std::forward<R>(r));
}

template <class T>
T from_python(PyObject* o);

// Integers: anything with __index__; the interpreter's OverflowError past 64
// bits, our own text when the value misses a narrower width.
template <std::integral T>
requires(!std::same_as<T, bool>) struct Conv<T> {
  static constexpr bool bound = false;
  static T from(PyObject* o) {
    Object index = Object::steal(check(PyNumber_Index(o)));
    if constexpr (std::is_unsigned_v<T> && sizeof(T) == 8) {
      unsigned long long v = PyLong_AsUnsignedLongLong(index.get());
      if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw error_already_set{};
      return static_cast<T>(v);
    } else {
      // long is 64-bit here: its overflow text is the interpreter's own.
      static_assert(sizeof(long) == 8);
      long v = PyLong_AsLong(index.get());
      if (v == -1 && PyErr_Occurred()) throw error_already_set{};
      if constexpr (sizeof(T) < 8 || std::is_unsigned_v<T>) {
        if (v < static_cast<long>(std::numeric_limits<T>::min()) ||
            v > static_cast<long>(std::numeric_limits<T>::max()))
          raise(PyExc_OverflowError, "out of range integral type conversion attempted");
      }
      return static_cast<T>(v);
    }
  }
  static PyObject* to(T v) {
    if constexpr (std::is_unsigned_v<T>)
      return check(PyLong_FromUnsignedLongLong(v));
    else
      return check(PyLong_FromLongLong(v));
  }
};

template <>
struct Conv<bool> {
  static constexpr bool bound = false;
  static bool from(PyObject* o) {
    if (!PyBool_Check(o)) raise_cannot_convert(o, "PyBool");
    return o == Py_True;
  }
  static PyObject* to(bool v) { return PyBool_FromLong(v); }
};

template <>
struct Conv<double> {
  static constexpr bool bound = false;
  static double from(PyObject* o) {
    double v = PyFloat_AsDouble(o);
    if (v == -1.0 && PyErr_Occurred()) throw error_already_set{};
    return v;
  }
  static PyObject* to(double v) { return check(PyFloat_FromDouble(v)); }
};

// Text crosses as bytes only: str and bytearray are refused.
template <>
struct Conv<std::string> {
  static constexpr bool bound = false;
  static std::string from(PyObject* o) {
    if (!PyBytes_Check(o)) raise_cannot_convert(o, "PyBytes");
    char* p = nullptr;
    Py_ssize_t n = 0;
    if (PyBytes_AsStringAndSize(o, &p, &n) < 0) throw error_already_set{};
    return std::string(p, static_cast<size_t>(n));
  }
  static PyObject* to(const std::string& v) {
    return check(PyBytes_FromStringAndSize(v.data(), static_cast<Py_ssize_t>(v.size())));
  }
};

// A bytes argument read in place: the caller's object outlives the call.
template <>
struct Conv<std::string_view> {
  static constexpr bool bound = false;
  static std::string_view from(PyObject* o) {
    if (!PyBytes_Check(o)) raise_cannot_convert(o, "PyBytes");
    char* p = nullptr;
    Py_ssize_t n = 0;
    if (PyBytes_AsStringAndSize(o, &p, &n) < 0) throw error_already_set{};
    return std::string_view(p, static_cast<size_t>(n));
  }
  static PyObject* to(std::string_view v) {
    return check(PyBytes_FromStringAndSize(v.data(), static_cast<Py_ssize_t>(v.size())));
  }
};

template <>
struct Conv<Object> {
  static constexpr bool bound = false;
  static Object from(PyObject* o) { return Object::borrow(o); }
  static PyObject* to(const Object& v) {
    PyObject* p = v.get() ? v.get() : Py_None;
    Py_INCREF(p);
    return p;
  }
};

namespace detail {
// Calls f(item) for every element of a sequence (not a str).
template <class F>
void for_each_in_sequence(PyObject* o, F&& f) {
  if (PyUnicode_Check(o)) raise(PyExc_TypeError, "Can't extract `str` to `Vec`");
  if (PyList_Check(o)) {
    // Re-read the size each time: an element's __index__ may change the list.
    for (Py_ssize_t i = 0; i < PyList_Size(o); ++i) {
      Object item = Object::borrow(check(PyList_GetItem(o, i)));
      f(item.get());
    }
    return;
  }
  if (PyTuple_Check(o)) {
    for (Py_ssize_t i = 0, n = PyTuple_Size(o); i < n; ++i) f(PyTuple_GetItem(o, i));
    return;
  }
  if (!PySequence_Check(o)) raise_cannot_convert(o, "Sequence");
  Py_ssize_t n = PySequence_Size(o);
  if (n < 0) throw error_already_set{};
  for (Py_ssize_t i = 0; i < n; ++i) {
    Object item = Object::steal(check(PySequence_GetItem(o, i)));
    f(item.get());
  }
}

// A text inside a list may also come as a sequence of byte values.
inline std::string text_element(PyObject* o) {
  if (PyBytes_Check(o)) return Conv<std::string>::from(o);
  std::string out;
  for_each_in_sequence(o, [&](PyObject* b) { out.push_back(static_cast<char>(Conv<uint8_t>::from(b))); });
  return out;
}

template <class T>
T element(PyObject* o) {
  if constexpr (std::is_same_v<T, std::string>)
    return text_element(o);
  else
    return from_python<T>(o);
}
}  // namespace detail

template <class T>
struct Conv<std::vector<T>> {
  static constexpr bool bound = false;
  static std::vector<T> from(PyObject* o) {
    std::vector<T> out;
    if (PyList_Check(o) || PyTuple_Check(o)) out.reserve(static_cast<size_t>(PyObject_Length(o)));
    detail::for_each_in_sequence(o, [&](PyObject* item) { out.push_back(detail::element<T>(item)); });
    return out;
  }
  static PyObject* to(const std::vector<T>& v) { return build(v); }
  // Rows returned by value are moved into their Python objects, not copied.
  static PyObject* to(std::vector<T>&& v) { return build(std::move(v)); }

 private:
  template <class V>
  static PyObject* build(V&& v) {
    Object list = Object::steal(check(PyList_New(static_cast<Py_ssize_t>(v.size()))));
    for (size_t i = 0; i < v.size(); ++i) {
      PyObject* item;
      if constexpr (std::is_rvalue_reference_v<V&&>)
        item = to_python(std::move(v[i]));
      else
        item = to_python(v[i]);
      PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
  }
};

// A sequence of bound-class instances read in place: no copies. Each element is
// held (strong reference and shared borrow) until the call returns.
template <class T>
class Refs {
 public:
  Refs() = default;
  Refs(Refs&& o) noexcept : items_(std::move(o.items_)), owners_(std::move(o.owners_)) {}
  Refs(const Refs&) = delete;
  ~Refs() {
    for (PyObject* o : owners_) {
      --Layout<T>::header(o).borrow;
      Py_DECREF(o);
    }
  }
  const std::vector<const T*>& items() const noexcept { return items_; }
  size_t size() const noexcept { return items_.size(); }
  const T& operator[](size_t i) const { return *items_[i]; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  void add(PyObject* o) {
    if (!is_instance<T>(o)) raise_cannot_convert(o, class_name_of<T>);
    auto& h = Layout<T>::header(o);
    if (h.borrow < 0) raise(PyExc_RuntimeError, "Already mutably borrowed");
    items_.push_back(&Layout<T>::value(o));
    try {
      owners_.push_back(o);
    } catch (...) {
      items_.pop_back();
      throw;
    }
    ++h.borrow;
    Py_INCREF(o);
  }
  void reserve(size_t n) {
    items_.reserve(n);
    owners_.reserve(n);
  }

 private:
  std::vector<const T*> items_;
  std::vector<PyObject*> owners_;
};

template <class T>
struct Conv<Refs<T>> {
  static constexpr bool bound = false;
  static Refs<T> from(PyObject* o) {
    Refs<T> refs;
    if (PyList_Check(o) || PyTuple_Check(o)) refs.reserve(static_cast<size_t>(PyObject_Length(o)));
    detail::for_each_in_sequence(o, [&](PyObject* item) { refs.add(item); });
    return refs;
  }
};

template <class K, class V, class C>
struct Conv<std::map<K, V, C>> {
  static constexpr bool bound = false;
  static std::map<K, V, C> from(PyObject* o) {
    if (!PyDict_Check(o)) raise_cannot_convert(o, "PyDict");
    std::map<K, V, C> out;
    PyObject *key, *value;
    Py_ssize_t pos = 0;
    while (PyDict_Next(o, &pos, &key, &value))
      out.insert_or_assign(detail::element<K>(key), detail::element<V>(value));
    return out;
  }
  static PyObject* to(const std::map<K, V, C>& m) {
    Object dict = Object::steal(check(PyDict_New()));
    for (const auto& [k, v] : m) {
      Object key = Object::steal(to_python(k));
      Object value = Object::steal(to_python(v));
      if (PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) throw error_already_set{};
    }
    return dict.release();
  }
};

template <class T, class C>
struct Conv<std::set<T, C>> {
  static constexpr bool bound = false;
  static std::set<T, C> from(PyObject* o) {
    if (!PyAnySet_Check(o)) raise_cannot_convert(o, "PySet");
    std::set<T, C> out;
    Object it = Object::steal(check(PyObject_GetIter(o)));
    while (PyObject* item = PyIter_Next(it.get())) {
      Object owned = Object::steal(item);
      out.insert(detail::element<T>(item));
    }
    if (PyErr_Occurred()) throw error_already_set{};
    return out;
  }
  static PyObject* to(const std::set<T, C>& s) {
    Object set = Object::steal(check(PySet_New(nullptr)));
    for (const auto& v : s) {
      Object item = Object::steal(to_python(v));
      if (PySet_Add(set.get(), item.get()) < 0) throw error_already_set{};
    }
    return set.release();
  }
};

template <class... Ts>
struct Conv<std::tuple<Ts...>> {
  static constexpr bool bound = false;
  static std::tuple<Ts...> from(PyObject* o) {
    if (!PyTuple_Check(o)) raise_cannot_convert(o, "PyTuple");
    // A tuple of the wrong length is a conversion failure like any other: TypeError.
    if (PyTuple_Size(o) != sizeof...(Ts))
      raise(PyExc_TypeError, "expected tuple of length " + std::to_string(sizeof...(Ts)) +
                                 ", but got tuple of length " + std::to_string(PyTuple_Size(o)));
    return [&]<size_t... I>(std::index_sequence<I...>) {
      return std::tuple<Ts...>{detail::element<Ts>(PyTuple_GetItem(o, I))...};
    }
    (std::index_sequence_for<Ts...>{});
  }
  static PyObject* to(const std::tuple<Ts...>& t) {
    Object tuple = Object::steal(check(PyTuple_New(sizeof...(Ts))));
    [&]<size_t... I>(std::index_sequence<I...>) {
      (PyTuple_SetItem(tuple.get(), I, to_python(std::get<I>(t))), ...);
    }
    (std::index_sequence_for<Ts...>{});
    return tuple.release();
  }
};

template <class A, class B>
struct Conv<std::pair<A, B>> {
  static constexpr bool bound = false;
  static std::pair<A, B> from(PyObject* o) {
    auto [a, b] = Conv<std::tuple<A, B>>::from(o);
    return {std::move(a), std::move(b)};
  }
  static PyObject* to(const std::pair<A, B>& p) {
    return Conv<std::tuple<A, B>>::to(std::tuple<A, B>(p.first, p.second));
  }
};

// None <-> empty.
template <class T>
struct Conv<std::optional<T>> {
  static constexpr bool bound = false;
  static std::optional<T> from(PyObject* o) {
    if (o == Py_None) return std::nullopt;
    return detail::element<T>(o);
  }
  static PyObject* to(const std::optional<T>& v) {
    if (!v) Py_RETURN_NONE;
    return to_python(*v);
  }
};

// A bound class taken by value is copied out of the Python object.
template <class T>
T from_python(PyObject* o) {
  if constexpr (Conv<T>::bound) {
    if (!is_instance<T>(o)) raise_cannot_convert(o, class_name_of<T>);
    SharedBorrow borrow(o);
    return Layout<T>::value(o);
  } else {
    return Conv<T>::from(o);
  }
}

}  // namespace py
