// The observations of a whole run as reports show them: why calls were
// blocked (per reported pair and in total), the fibres most often found out
// of wavelengths, and the time-averaged load of every fibre, wavelength
// index and pair. Shown by --summary, written into the JSON document and,
// with --report:FILE.csv, as one tidy table.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/json_writer.h"
#include "base/status.h"
#include "base/whole_file.h"
#include "network/names.h"
#include "network/network.h"
#include "report/options.h"
#include "sim/observer.h"

namespace lumtra {

struct FibreView {
  uint32_t source = 0;  // nodes counted from 1
  uint32_t destination = 0;
  uint32_t wavelengths = 0;
  double busy_wavelengths = 0.0;  // time average
  double busy_slots = 0.0;
  uint64_t charged = 0;  // blocked calls that found its free set empty
};

struct PairView {
  uint32_t source = 0;
  uint32_t destination = 0;
  std::array<uint64_t, kCauseCount> causes{};
  uint64_t blocked = 0;
  double carried_erlangs = 0.0;
  double hop_erlangs = 0.0;  // carried Erlangs x hops: what the pair holds on the fibres
};

struct ObservedView {
  uint32_t slots_per_wavelength = 0;
  double counted_time = 0.0;  // over all batches
  std::array<uint64_t, kCauseCount> causes{};
  uint64_t blocked = 0;
  std::vector<FibreView> fibres;        // every fibre, in row order
  std::vector<uint32_t> busiest;        // indices into fibres, busiest first
  std::vector<uint32_t> most_charged;   // the fibres charged at all, most first
  std::vector<PairView> pairs;          // reported pairs with traffic, in row order
  std::vector<double> busy_fibres;      // per wavelength index, time average
};

// The observations summed over the batches, with pairs folded as the batch
// lines fold them: without -vo, the traffic of Virtual nodes counts for
// their own nodes.
ObservedView view_observations(const Observations& obs, const Network& net, bool virtual_output);

// --summary: the causes in one line, the five busiest fibres and the five
// most charged.
void print_observed(Console& out, const ObservedView& view, const NodeNames& names);
// The document's fields for the observations, at the detail asked for.
void write_observed_json(JsonWriter& j, const ObservedView& view, const NodeNames& names, JsonDetail detail);
// "node_names": the name of every real node in number order, null for a
// node without one; null without a names file.
void write_node_names(JsonWriter& j, const NodeNames& names, uint32_t node_count);
// The same fields for a run that simulated nothing (--estimate alone): the
// observations null, the node names as above.
void write_unobserved_json(JsonWriter& j, const NodeNames& names, uint32_t node_count);
// --report:FILE.csv, opened before the batches so that a file that cannot
// be written stops the run before it starts.
class ObservedTable {
 public:
  Status open(const std::string& path);
  Status write(const ObservedView& view, const NodeNames& names);

 private:
  std::string path_;
  WholeFile file_;
};

}  // namespace lumtra
