// What the command line says about reading a network: virtual-node input
// and the scale applied to every arrival rate as it is read.
#pragma once

namespace lumtra {

struct NetworkOptions {
  bool virtual_input = false;   // -vi: port and core values are in the matrices
  double rate_factor = 1.0;     // -f
  double rate_cofactor = 1.0;   // -c

  double rate_scale() const { return rate_factor / rate_cofactor; }
};

}  // namespace lumtra
