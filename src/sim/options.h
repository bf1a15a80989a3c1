// The options of the simulation: batches, departure rate, split calls and
// whether Virtual nodes are reported as nodes of their own.
#pragma once

#include <cstdint>

namespace lumtra {

struct SimOptions {
  uint32_t batch_count = 0;      // -b; 0: not given, read from the network source
  double batch_time = 0.0;       // -t; 0: not given
  double departure_rate = 1.0;   // -dr
  bool multi_wavelength = false; // -m
  bool virtual_output = false;   // -vo
  // --warmup:T: every batch first runs T time units whose calls are placed
  // and held but not counted; batch_time is the counted time after it.
  double warmup = 0.0;
  bool replication = false;      // --parallel: every batch a replication of its own
  uint32_t min_batches = 0;      // --precision: batches before the first check
  // Why calls block and how busy the fibres are, for the reports that
  // show it (--json, --summary, --report).
  bool observe = false;
};

}  // namespace lumtra
