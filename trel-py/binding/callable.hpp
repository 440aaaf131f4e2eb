// Fast-call trampolines generated from a C++ function's type: arguments are
// bound by name, converted in order (TypeErrors prefixed with the argument
// name), then the receiver and object arguments are borrowed, then the call runs.
#pragma once

#include <tuple>
#include <type_traits>
#include <utility>

#include "binding/convert.hpp"
#include "binding/signature.hpp"

namespace py {

template <class... Ts>
struct TypeList {};

// Receiver (void for free functions), result and parameters of a callable.
template <class F>
struct FnTraits;
template <class R, class... A>
struct FnTraits<R (*)(A...)> {
  using Receiver = void;
  using Result = R;
  using Params = TypeList<A...>;
};
template <class R, class... A>
struct FnTraits<R (*)(A...) noexcept> : FnTraits<R (*)(A...)> {};
template <class R, class C, class... A>
struct FnTraits<R (C::*)(A...)> {
  using Receiver = C&;
  using Result = R;
  using Params = TypeList<A...>;
};
template <class R, class C, class... A>
struct FnTraits<R (C::*)(A...) noexcept> : FnTraits<R (C::*)(A...)> {};
template <class R, class C, class... A>
struct FnTraits<R (C::*)(A...) const> {
  using Receiver = const C&;
  using Result = R;
  using Params = TypeList<A...>;
};
template <class R, class C, class... A>
struct FnTraits<R (C::*)(A...) const noexcept> : FnTraits<R (C::*)(A...) const> {};

// A free function used as a method takes its receiver first.
template <class F>
struct MethodTraits : FnTraits<F> {};
template <class R, class Self, class... A>
struct MethodTraits<R (*)(Self, A...)> {
  using Receiver = Self;
  using Result = R;
  using Params = TypeList<A...>;
};
template <class R, class Self, class... A>
struct MethodTraits<R (*)(Self, A...) noexcept> : MethodTraits<R (*)(Self, A...)> {};

template <class P>
inline constexpr bool is_mutable_ref =
    std::is_lvalue_reference_v<P> && !std::is_const_v<std::remove_reference_t<P>>;

// Holds one converted argument until the call.
template <class P>
class Arg {
  using T = std::remove_cvref_t<P>;

 public:
  void convert(PyObject* o) {
    if constexpr (Conv<T>::bound) {
      if (!is_instance<T>(o)) raise_cannot_convert(o, class_name_of<T>);
      obj_ = o;
    } else {
      value_.emplace(Conv<T>::from(o));
    }
  }
  // Object arguments are borrowed after the receiver.
  void borrow() {
    if constexpr (Conv<T>::bound) {
      if constexpr (is_mutable_ref<P>)
        mut_.acquire(obj_);
      else
        shared_.acquire(obj_);
    }
  }
  decltype(auto) get() {
    if constexpr (Conv<T>::bound)
      return static_cast<P>(Layout<T>::value(obj_));
    else if constexpr (std::is_lvalue_reference_v<P>)
      return static_cast<P>(*value_);
    else
      return std::move(*value_);
  }

 private:
  std::optional<T> value_;
  PyObject* obj_ = nullptr;
  SharedBorrow shared_;
  MutBorrow mut_;
};

// The receiver's borrow: exclusive for mutating methods.
template <class Receiver>
class Self {
  using C = std::remove_cvref_t<Receiver>;

 public:
  explicit Self(PyObject* o) : o_(o) {
    if constexpr (is_mutable_ref<Receiver>)
      mut_.acquire(o);
    else
      shared_.acquire(o);
  }
  Receiver get() { return Layout<C>::value(o_); }

 private:
  PyObject* o_;
  SharedBorrow shared_;
  MutBorrow mut_;
};

// Tag tells apart two Python names bound to one C++ function.
template <auto F, int Tag = 0>
inline const Signature* signature_of = nullptr;

namespace detail {

template <class R, class Call>
PyObject* call_and_convert(Call&& call) {
  if constexpr (std::is_void_v<R>) {
    call();
    Py_RETURN_NONE;
  } else {
    return to_python(call());
  }
}

template <class Receiver, class Result, auto F, int Tag, class... A>
PyObject* invoke(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, TypeList<A...>) {
  const Signature& sig = *signature_of<F, Tag>;
  PyObject* slots[sizeof...(A) + 1];
  sig.bind(args, nargs, kwnames, slots);
  std::tuple<Arg<A>...> held;
  [&]<size_t... I>(std::index_sequence<I...>) {
    [[maybe_unused]] auto convert_one = [&](auto& arg, size_t i) {
      try {
        arg.convert(slots[i]);
      } catch (const error_already_set&) {
        reraise_argument_error(sig.name(i));
      }
    };
    (convert_one(std::get<I>(held), I), ...);
  }
  (std::index_sequence_for<A...>{});
  if constexpr (std::is_void_v<Receiver>) {
    (void)self;
    std::apply([](auto&... a) { (a.borrow(), ...); }, held);
    return call_and_convert<Result>(
        [&]() -> Result { return std::apply([](auto&... a) -> Result { return F(a.get()...); }, held); });
  } else {
    Self<Receiver> receiver(self);
    std::apply([](auto&... a) { (a.borrow(), ...); }, held);
    return call_and_convert<Result>([&]() -> Result {
      return std::apply(
          [&](auto&... a) -> Result {
            if constexpr (std::is_member_function_pointer_v<decltype(F)>)
              return (receiver.get().*F)(a.get()...);
            else
              return F(receiver.get(), a.get()...);
          },
          held);
    });
  }
}

}  // namespace detail

// METH_FASTCALL | METH_KEYWORDS entry point for a module function (Method = false)
// or a method (Method = true).
template <auto F, bool Method, int Tag = 0>
PyObject* trampoline(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  using Traits = std::conditional_t<Method, MethodTraits<decltype(F)>, FnTraits<decltype(F)>>;
  try {
    return detail::invoke<typename Traits::Receiver, typename Traits::Result, F, Tag>(
        self, args, nargs, kwnames, typename Traits::Params{});
  } catch (...) {
    translate_exception();
    return nullptr;
  }
}

template <auto F, bool Method>
constexpr size_t arity() {
  using Traits = std::conditional_t<Method, MethodTraits<decltype(F)>, FnTraits<decltype(F)>>;
  return []<class... A>(TypeList<A...>) { return sizeof...(A); }(typename Traits::Params{});
}

}  // namespace py
