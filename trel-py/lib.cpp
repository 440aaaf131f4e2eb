// Module initialisation and the StructValue row.
#include "registry.hpp"
#include "trel/protocol/struct_value.hpp"

namespace pyvelmora {

void register_struct_value(py::Module& m) {
  using SV = trel::StructValue;
  py::Class<SV>(m, "StructValue")
      .constructor()
      .accessors<&SV::get_meta_id, &SV::set_meta_id>("meta_id")
      .accessors<&SV::get_namespace, &SV::set_namespace>("namespace")
      .accessors<&SV::get_time_tag, &SV::set_time_tag>("time_tag")
      .accessors<&SV::get_granularity, &SV::set_granularity>("granularity")
      .accessors<&SV::get_market, &SV::set_market>("market")
      .accessors<&SV::get_stock_code, &SV::set_stock_code>("stock_code")
      .method<&SV::size>("size")
      .method<&SV::reset>("reset")
      .method<&SV::resize>("resize", "sz")
      .method<&SV::copy>("copy", "s")
      .method<&SV::is_empty>("is_empty", "pos")
      .method<&SV::get_int>("get_int", "pos")
      .method<&SV::set_int>("set_int", "pos, v")
      .method<&SV::get_double>("get_double", "pos")
      .method<&SV::set_double>("set_double", "pos, v")
      .method<&SV::get_string>("get_string", "pos")
      .method<&SV::set_string>("set_string", "pos, v")
      .method<&SV::get_int_64>("get_int_64", "pos")
      .method<&SV::set_int_64>("set_int_64", "pos, v")
      .method<&SV::get_int_32_vector>("get_int_32_vector", "pos")
      .method<&SV::set_int_32_vector>("set_int_32_vector", "pos, v")
      .method<&SV::get_double_vector>("get_double_vector", "pos")
      .method<&SV::set_double_vector>("set_double_vector", "pos, v")
      .method<&SV::get_string_vector>("get_string_vector", "pos")
      .method<&SV::set_string_vector>("set_string_vector", "pos, v")
      .method<&SV::get_int_64_vector>("get_int_64_vector", "pos")
      .method<&SV::set_int_64_vector>("set_int_64_vector", "pos, v")
      .finish();
}

namespace {

// The registration order: classes, functions and constants in the order the
// platform's callers know them. A later registration of a name wins.
void register_all(py::Module& m) {
  register_struct_value(m);
  register_row_constants(m);
  register_schema(m);
  register_commission(m);
  register_entrust_constants(m);
  register_sampler_functions(m);
  register_rounding_constants(m);
  register_market_status(m);
  register_market_state_constants(m);
  register_vornhelm_constants(m);
  register_market_meta(m);
  register_framing(m);
  register_framing_constants(m);
  register_alias_types(m);
  register_net_package(m);
  register_push_constants(m);
}

PyModuleDef module_def = {PyModuleDef_HEAD_INIT,
                          "pyvelmora",
                          "Codecs and utilities of the trading platform.",
                          -1,
                          nullptr,
                          nullptr,
                          nullptr,
                          nullptr,
                          nullptr};

}  // namespace
}  // namespace pyvelmora

extern "C" __attribute__((visibility("default"))) PyObject* PyInit_pyvelmora() {
  PyObject* module = PyModule_Create(&pyvelmora::module_def);
  if (!module) return nullptr;
  try {
    py::Module m(module);
    pyvelmora::register_all(m);
  } catch (...) {
    py::translate_exception();
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}
