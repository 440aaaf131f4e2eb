// The registration steps of the module, one per family of classes. Each is
// defined in its family's unit and called in order by PyInit_pyvelmora.
#pragma once

#include "binding/class.hpp"

namespace pyvelmora {

void register_struct_value(py::Module& m);       // lib.cpp
void register_schema(py::Module& m);             // schema.cpp: Field .. PyIndexDataMap
void register_commission(py::Module& m);         // commission.cpp
void register_sampler_functions(py::Module& m);  // market.cpp: bar and session functions
void register_market_status(py::Module& m);      // market.cpp: MarketStatus and its functions
void register_market_meta(py::Module& m);        // market_meta.cpp
void register_framing(py::Module& m);            // framing.cpp: raw frames, NetHeader, Keepalive
void register_net_package(py::Module& m);        // driver.cpp: NetPackage

// constants.cpp, one group per step of the order.
void register_row_constants(py::Module& m);
void register_entrust_constants(py::Module& m);
void register_rounding_constants(py::Module& m);
void register_market_state_constants(py::Module& m);
void register_vornhelm_constants(py::Module& m);
void register_framing_constants(py::Module& m);
void register_push_constants(py::Module& m);

// aliases.cpp: the container alias types and placeholders.
void register_alias_types(py::Module& m);

}  // namespace pyvelmora
