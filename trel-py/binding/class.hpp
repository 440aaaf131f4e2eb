// Class<T> binds a C++ value type as a Python heap type. A binding reads like a
// table: one line per method, accessor pair or property; conversions follow
// from the C++ member types.
//
//   py::Class<trel::StructValue>(m, "StructValue")
//       .constructor()
//       .method<&trel::StructValue::size>("size")
//       .method<&trel::StructValue::set_int>("set_int", "pos, v")
//       .finish();
#pragma once

#include <string>
#include <vector>

#include "binding/module.hpp"

namespace py {

namespace detail {
PyTypeObject* create_type(Module& m, const std::string& name, size_t basic_size,
                          std::vector<PyType_Slot> slots, bool with_dict);
PyObject* no_constructor(PyTypeObject* type, PyObject* args, PyObject* kwargs);
// Refuses any argument to a no-argument constructor, in the standard wording.
bool check_no_arguments(PyTypeObject* type, PyObject* args, PyObject* kwargs);
int refuse_delete();

template <class C, class V>
V member_value_type(V C::*);
template <auto Member>
using MemberType = decltype(member_value_type(Member));
template <class C, class V>
C member_owner_type(V C::*);
template <auto Member>
using MemberOwner = decltype(member_owner_type(Member));

template <auto Member>
MemberType<Member> get_member(const MemberOwner<Member>& self) {
  return self.*Member;
}
template <auto Member>
void set_member(MemberOwner<Member>& self, MemberType<Member> v) {
  self.*Member = std::move(v);
}
}  // namespace detail

template <class T>
class Class {
  using L = Layout<T>;

 public:
  Class(Module& m, const char* name) : m_(m), name_(name) {}

  // A no-argument constructor yielding T{}.
  Class& constructor() {
    new_ = &construct;
    doc_ = name_ + "()\n--\n\n";
    return *this;
  }

  // A method: a member function, or a free function taking the receiver first.
  // Binding one function under two names needs a distinct Tag for the second.
  template <auto F, int Tag = 0>
  Class& method(const char* name, const char* params = "") {
    auto* sig = new Signature(name_ + "." + name, params);
    Module::check_arity(*sig, arity<F, true>());
    signature_of<F, Tag> = sig;
    methods_.push_back(
        {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&trampoline<F, true, Tag>)),
         METH_FASTCALL | METH_KEYWORDS, intern(sig->doc(name, true))});
    return *this;
  }

  // get_<field>() and set_<field>(v).
  template <auto Get, auto Set>
  Class& accessors(const std::string& field) {
    method<Get>(intern("get_" + field));
    return method<Set>(intern("set_" + field), "v");
  }

  // get_<field>() and set_<field>(v) straight over a public data member.
  template <auto Member>
  Class& member_accessors(const std::string& field) {
    return accessors<&detail::get_member<Member>, &detail::set_member<Member>>(field);
  }

  // A read/write property over a data member; deleting it is refused.
  template <auto Member>
  Class& property(const char* name) {
    getset_.push_back({name, &get_member<Member>, &set_member<Member>, nullptr, nullptr});
    return *this;
  }

  // Hooks: bool eq(const T&, const T&), uint64_t hash(const T&), std::string repr(const T&).
  template <auto Eq>
  Class& eq() {
    slots_.push_back({Py_tp_richcompare, reinterpret_cast<void*>(&richcompare<Eq>)});
    return *this;
  }
  template <auto Hash>
  Class& hash() {
    slots_.push_back({Py_tp_hash, reinterpret_cast<void*>(&hash_of<Hash>)});
    return *this;
  }
  template <auto Repr>
  Class& repr() {
    slots_.push_back({Py_tp_repr, reinterpret_cast<void*>(&repr_of<Repr>)});
    return *this;
  }
  // len(obj): uint64_t len(const T&).
  template <auto Len>
  Class& len() {
    slots_.push_back({Py_mp_length, reinterpret_cast<void*>(&length_of<Len>)});
    return *this;
  }
  // Instances get a __dict__ for attributes set from Python.
  Class& dict() {
    with_dict_ = true;
    return *this;
  }

  // Creates the type and adds it to the module.
  PyTypeObject* finish() {
    methods_.push_back({nullptr, nullptr, 0, nullptr});
    if (with_dict_)
      getset_.push_back({"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr});
    getset_.push_back({nullptr, nullptr, nullptr, nullptr, nullptr});
    slots_.push_back({Py_tp_new, reinterpret_cast<void*>(new_)});
    slots_.push_back({Py_tp_dealloc, reinterpret_cast<void*>(&dealloc)});
    slots_.push_back({Py_tp_methods, new PyMethodDef[methods_.size()]});
    std::copy(methods_.begin(), methods_.end(), static_cast<PyMethodDef*>(slots_.back().pfunc));
    slots_.push_back({Py_tp_getset, new PyGetSetDef[getset_.size()]});
    std::copy(getset_.begin(), getset_.end(), static_cast<PyGetSetDef*>(slots_.back().pfunc));
    if (!doc_.empty()) slots_.push_back({Py_tp_doc, const_cast<char*>(intern(doc_))});
    class_name_of<T> = intern(name_);
    type_of<T> = detail::create_type(m_, name_, L::basic_size, std::move(slots_), with_dict_);
    return type_of<T>;
  }

 private:
  static PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    if (!detail::check_no_arguments(type, args, kwargs)) return nullptr;
    try {
      return new_instance<T>(type);
    } catch (...) {
      translate_exception();
      return nullptr;
    }
  }

  static void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    if (PyType_IS_GC(type)) PyObject_GC_UnTrack(self);
    L::value(self).~T();
    Py_CLEAR(L::header(self).dict);
    detail::free_instance(self);
  }

  template <auto Member>
  static PyObject* get_member(PyObject* self, void*) {
    try {
      SharedBorrow borrow(self);
      return to_python(L::value(self).*Member);
    } catch (...) {
      translate_exception();
      return nullptr;
    }
  }
  template <auto Member>
  static int set_member(PyObject* self, PyObject* value, void*) {
    if (!value) return detail::refuse_delete();
    using V = std::remove_cvref_t<decltype(std::declval<T&>().*Member)>;
    try {
      V converted = from_python<V>(value);
      MutBorrow borrow(self);
      L::value(self).*Member = std::move(converted);
      return 0;
    } catch (...) {
      translate_exception();
      return -1;
    }
  }

  template <auto Eq>
  static PyObject* richcompare(PyObject* a, PyObject* b, int op) {
    if ((op != Py_EQ && op != Py_NE) || !is_instance<T>(b)) Py_RETURN_NOTIMPLEMENTED;
    try {
      SharedBorrow ba(a), bb(b);
      bool equal = Eq(L::value(a), L::value(b));
      return PyBool_FromLong(equal == (op == Py_EQ));
    } catch (...) {
      translate_exception();
      return nullptr;
    }
  }
  template <auto Hash>
  static Py_hash_t hash_of(PyObject* self) {
    try {
      SharedBorrow borrow(self);
      auto h = static_cast<Py_hash_t>(Hash(L::value(self)));
      return h == -1 ? -2 : h;
    } catch (...) {
      translate_exception();
      return -1;
    }
  }
  template <auto Len>
  static Py_ssize_t length_of(PyObject* self) {
    try {
      SharedBorrow borrow(self);
      return static_cast<Py_ssize_t>(Len(L::value(self)));
    } catch (...) {
      translate_exception();
      return -1;
    }
  }
  template <auto Repr>
  static PyObject* repr_of(PyObject* self) {
    try {
      SharedBorrow borrow(self);
      std::string text = Repr(L::value(self));
      return check(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
    } catch (...) {
      translate_exception();
      return nullptr;
    }
  }

  Module& m_;
  std::string name_;
  std::string doc_;
  newfunc new_ = &detail::no_constructor;
  bool with_dict_ = false;
  std::vector<PyMethodDef> methods_;
  std::vector<PyGetSetDef> getset_;
  std::vector<PyType_Slot> slots_;
};

}  // namespace py
