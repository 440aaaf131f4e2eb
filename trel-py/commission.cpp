// Stub: this family's classes are registered here once they exist.
#include "registry.hpp"

namespace pyvelmora {

void register_commission(py::Module&) {}

}  // namespace pyvelmora
