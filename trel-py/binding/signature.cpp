#include "binding/signature.hpp"

#include <stdexcept>

namespace py {
namespace {

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  size_t e = s.find_last_not_of(" \t");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// Default values are literals: integers, True, False, None.
Object parse_default(const std::string& text) {
  if (text == "True") return Object::borrow(Py_True);
  if (text == "False") return Object::borrow(Py_False);
  if (text == "None") return Object::borrow(Py_None);
  PyObject* v = PyLong_FromString(text.c_str(), nullptr, 10);
  if (!v) throw std::logic_error("unsupported default literal: " + text);
  return Object::steal(v);
}

std::string quoted_list(const std::vector<std::string>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
    out += "'" + names[i] + "'";
  }
  return out;
}

}  // namespace

Signature::Signature(std::string qualname, const std::string& params)
    : qualname_(std::move(qualname)), params_text_(trim(params)) {
  size_t start = 0;
  while (start <= params_text_.size() && !params_text_.empty()) {
    size_t comma = params_text_.find(',', start);
    std::string item =
        trim(params_text_.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    size_t eq = item.find('=');
    names_.push_back(trim(item.substr(0, eq)));
    defaults_.push_back(eq == std::string::npos ? Object() : parse_default(trim(item.substr(eq + 1))));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
}

std::string Signature::doc(const std::string& short_name, bool method) const {
  std::string params = method ? (params_text_.empty() ? "$self" : "$self, " + params_text_) : params_text_;
  return short_name + "(" + params + ")\n--\n\n";
}

void Signature::bind(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) const {
  const size_t n = names_.size();
  if (static_cast<size_t>(nargs) > n) {
    std::string msg = qualname_ + "() takes " + std::to_string(n) + " positional argument" +
                      (n == 1 ? "" : "s") + " but " + std::to_string(nargs) +
                      (nargs == 1 ? " was" : " were") + " given";
    raise(PyExc_TypeError, msg);
  }
  for (size_t i = 0; i < n; ++i) out[i] = i < static_cast<size_t>(nargs) ? args[i] : nullptr;
  if (kwnames) {
    Py_ssize_t nkw = PyTuple_Size(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
      PyObject* key = PyTuple_GetItem(kwnames, k);
      size_t i = 0;
      while (i < n && PyUnicode_CompareWithASCIIString(key, names_[i].c_str()) != 0) ++i;
      if (i == n)
        raise(PyExc_TypeError, qualname_ + "() got an unexpected keyword argument '" + to_utf8(key) + "'");
      if (out[i])
        raise(PyExc_TypeError, qualname_ + "() got multiple values for argument '" + names_[i] + "'");
      out[i] = args[nargs + k];
    }
  }
  bool missing = false;
  for (size_t i = 0; i < n; ++i) {
    if (!out[i]) {
      if (defaults_[i])
        out[i] = defaults_[i].get();
      else
        missing = true;
    }
  }
  if (missing) raise_missing(out);
}

void Signature::raise_missing(PyObject** out) const {
  std::vector<std::string> missing;
  for (size_t i = 0; i < names_.size(); ++i)
    if (!out[i]) missing.push_back(names_[i]);
  raise(PyExc_TypeError, qualname_ + "() missing " + std::to_string(missing.size()) +
                             " required positional argument" + (missing.size() == 1 ? "" : "s") + ": " +
                             quoted_list(missing));
}

void reraise_argument_error(const std::string& name) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) throw error_already_set{};
  PyObject *type, *value, *trace;
  PyErr_Fetch(&type, &value, &trace);
  PyErr_NormalizeException(&type, &value, &trace);
  std::string message = value ? to_utf8(value) : std::string();
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(trace);
  raise(PyExc_TypeError, "argument '" + name + "': " + message);
}

}  // namespace py
