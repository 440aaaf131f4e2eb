// Parameter lists parsed from their text ("cmd, seq, body, version=4, flag=0"):
// the names and defaults used to bind fast-call arguments, with the standard
// TypeError wording for missing, surplus, unknown and repeated arguments.
#pragma once

#include <string>
#include <vector>

#include "binding/object.hpp"

namespace py {

class Signature {
 public:
  // qualname: "StructValue.set_int" or "encode_raw_frame"; params: the text list.
  Signature(std::string qualname, const std::string& params);

  size_t size() const noexcept { return names_.size(); }
  const std::string& name(size_t i) const { return names_[i]; }
  const std::string& qualname() const noexcept { return qualname_; }
  // "name($self, a, b=4)\n--\n\n" or "name(a, b=4)\n--\n\n": what help() and inspect read.
  std::string doc(const std::string& short_name, bool method) const;

  // Fills out[0..size()) with borrowed references: passed values, else defaults.
  void bind(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) const;

 private:
  [[noreturn]] void raise_missing(PyObject** out) const;

  std::string qualname_;
  std::string params_text_;
  std::vector<std::string> names_;
  std::vector<Object> defaults_;  // empty Object: required
};

// Re-raises a TypeError set while converting argument `name` as
// "argument '<name>': <message>"; other errors pass unchanged.
[[noreturn]] void reraise_argument_error(const std::string& name);

}  // namespace py
