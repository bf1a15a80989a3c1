// --estimate[:conversion][,simulate]: the reduced-load estimate of the
// run's blocking, with the model's name and what it assumes about the
// chosen methods. Alone it replaces the simulation (no batches run); with
// "simulate" it is printed beside the simulated figures with the relative
// gap, in the report, the summary and the JSON document.
#pragma once

#include <string>
#include <vector>

#include "base/console.h"
#include "base/json_writer.h"
#include "base/status.h"
#include "estimate/estimate.h"
#include "report/json.h"
#include "report/report.h"
#include "run/run.h"

namespace lumtra {

struct EstimateOutcome {
  Estimate estimate;
  const char* model_id = "";    // for scripts
  std::string model_name;       // for people
  std::vector<std::string> assumptions;
  // The model describes the run's methods as they are; false when it
  // stands for them by its nearest assumption.
  bool describes_method = true;
  // Per reported pair (M x M, row = source; Virtual nodes folded into their
  // nodes unless -vo): offered Erlangs and estimated blocking.
  uint32_t reported_nodes = 0;
  std::vector<double> pair_offered;
  std::vector<double> pair_blocking;
};

// Whether the estimate can be computed for the run's network and paths:
// without conversion, segments of at most kWidestEstimatedSegment
// wavelengths.
Status check_estimate(const Run& run);
// The estimate of a run whose network and path table are ready.
EstimateOutcome estimate_run(const Run& run);

// --estimate without "simulate": reads the network as a run would (without
// its prompts), builds the candidate paths and prints the estimate.
Status estimate_only(Run& run, JsonReport* document);

// One line on standard error when the fixed point did not settle.
void warn_if_unsettled(std::FILE* err, const EstimateOutcome& e);

// The block after the final report: the estimate beside the simulated
// overall blocking and pair averages, with the relative gaps.
void print_estimate_beside(Console& out, const EstimateOutcome& e, const FinalStats& stats);
// The --summary line.
void print_estimate_summary(Console& out, const EstimateOutcome& e, const FinalStats& stats);
// The value of the JSON document's "estimate" field; `simulated` is null
// when no simulation ran.
void write_estimate_json(JsonWriter& j, const EstimateOutcome& e, const FinalStats* simulated);

}  // namespace lumtra
