// Stub: this family's classes are registered here once they exist.
#include "registry.hpp"

namespace pyvelmora {

void register_sampler_functions(py::Module&) {}

void register_market_status(py::Module&) {}

}  // namespace pyvelmora
