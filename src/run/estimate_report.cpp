#include "run/estimate_report.h"

#include <cmath>
#include <ctime>

#include "methods/table.h"
#include "paths/build.h"
#include "report/json.h"
#include "report/observed.h"
#include "run/json_configuration.h"
#include "run/run_record.h"

namespace lumtra {

namespace {

std::string method_text(int16_t code) {
  const MethodRow* row = method_row(code);
  return row ? std::string(row->name) + " (-" + option_letters(*row) + ")" : std::string("?");
}

// How the run's routing tries its candidate paths, and whether the model
// describes it as it is.
PathOrder path_order(const Run& run, EstimateOutcome& e) {
  const int16_t routing = run.config.methods.routing_code;
  const bool groups = run.config.paths.priority_routing;
  const std::string name = method_text(routing);
  switch (routing) {
    case kFirstFit:
      e.assumptions.push_back("routing " + name + ": a pair tries its candidate paths in list order, each offered "
                                               "the calls the ones before it blocked");
      return PathOrder::listed;
    case kLastFit:
      e.assumptions.push_back("routing " + name + ": a pair tries its candidate paths from the last to the first, "
                                               "each offered the calls the ones before it blocked");
      return PathOrder::reversed;
    case kRandom:
      e.assumptions.push_back("routing " + name + (groups ? ": a pair tries the paths of each priority group in a "
                                                            "random order, group after group"
                                                          : ": a pair tries its candidate paths in a random order") +
                              ", each offered the calls the ones before it blocked");
      return groups ? PathOrder::random_by_group : PathOrder::random;
    default:
      e.describes_method = false;
      e.assumptions.push_back("routing " + name + " is not described by the model; nearest assumption: a pair "
                                                  "tries its candidate paths in a random order, each offered the "
                                                  "calls the ones before it blocked");
      return PathOrder::random;
  }
}

void note_traffic(const Run& run, EstimateOutcome& e) {
  const Network& net = run.net;
  bool partial = false;
  for (uint32_t s = 0; s < net.total_nodes && !partial; ++s) {
    if (!net.nodes[s].grooming || net.min_call_slots >= net.slots_per_wavelength) continue;
    for (uint32_t d = 0; d < net.total_nodes; ++d) partial = partial || net.arrival_rates[net.at(s, d)] != 0.0;
  }
  if (partial) {
    e.describes_method = false;
    e.assumptions.push_back("grooming with partial wavelengths is not described: calls from grooming nodes take " +
                            std::to_string(net.min_call_slots) + " to " + std::to_string(net.max_call_slots) +
                            " of the " + std::to_string(net.slots_per_wavelength) +
                            " slots of a wavelength; nearest assumption: every call holds a whole wavelength");
  }
  if (run.config.sim.multi_wavelength) {
    e.describes_method = false;
    e.assumptions.push_back("calls split over several wavelengths (-m) are not described; nearest assumption: "
                            "every call is placed whole");
  }
  if (run.config.methods.max_attempts != kNoLimit) {
    e.describes_method = false;
    e.assumptions.push_back("the limit of " + std::to_string(run.config.methods.max_attempts) +
                            " wavelength trials per call (-at) is not described; the model tries every path and "
                            "wavelength");
  }
}

// Folds the estimate's T x T pairs into the reported pairs, as the report
// counts the calls of Virtual nodes for their own nodes without -vo.
void fold_pairs(const Run& run, EstimateOutcome& e) {
  const Network& net = run.net;
  const bool all = run.config.sim.virtual_output;
  const uint32_t m = e.reported_nodes = all ? net.total_nodes : net.node_count;
  e.pair_offered.assign(size_t(m) * m, 0.0);
  e.pair_blocking.assign(size_t(m) * m, 0.0);
  for (uint32_t i = 0; i < m; ++i)
    for (uint32_t j = 0; j < m; ++j) {
      double offered = 0.0, blocked = 0.0;
      auto add = [&](uint32_t s, uint32_t d) {
        offered += e.estimate.pair_offered[net.at(s, d)];
        blocked += e.estimate.pair_offered[net.at(s, d)] * e.estimate.pair_blocking[net.at(s, d)];
      };
      auto add_to = [&](uint32_t s) {
        add(s, j);
        if (!all)
          for (uint32_t y : net.nodes[j].virtual_nodes) add(s, y);
      };
      add_to(i);
      if (!all)
        for (uint32_t x : net.nodes[i].virtual_nodes) add_to(x);
      e.pair_offered[size_t(i) * m + j] = offered;
      e.pair_blocking[size_t(i) * m + j] = offered > 0.0 ? blocked / offered : 0.0;
    }
}

std::string pair_name(uint32_t i, uint32_t j) { return std::to_string(i + 1) + "-" + std::to_string(j + 1); }

// (estimate - simulated) / simulated; false when the simulation blocked nothing.
bool relative_gap(double estimated, double simulated, double& gap) {
  if (!(simulated > 0.0)) return false;
  gap = (estimated - simulated) / simulated;
  return true;
}

void gap_text(Console& out, double estimated, double simulated) {
  double gap = 0.0;
  out.text("estimated ").real("%g", estimated).text(", simulated ").real("%g", simulated).text(", gap ");
  if (relative_gap(estimated, simulated, gap))
    out.real("%+.1f", 100.0 * gap).text(" %");
  else
    out.text(estimated > 0.0 ? "none (nothing simulated was blocked)" : "0");
}

void print_head(Console& out, const EstimateOutcome& e) {
  out.text("Model: ").text(e.model_name).ch('\n');
  out.text("Assumptions:\n");
  for (const std::string& a : e.assumptions) out.text("  - ").text(a).ch('\n');
  const Estimate& x = e.estimate;
  out.text("Fixed point: ").u64(x.iterations).text(x.iterations == 1 ? " iteration, " : " iterations, ");
  out.text(x.converged ? "settled" : "NOT settled").text(" (largest change of the last ").real("%g", x.change).text(")\n");
}

}  // namespace

Status check_estimate(const Run& run) {
  if (run.extras.estimate_conversion || converts_everywhere(run.paths)) return Status::proceed();
  uint32_t link = 0;
  const uint32_t widest = widest_segment(run.paths, link);
  if (widest <= kWidestEstimatedSegment) return Status::proceed();
  const uint32_t t = run.net.total_nodes;
  return Status::error(run.source, "fibre " + pair_name(link / t, link % t),
                       "a segment without conversion of " + std::to_string(widest) +
                           " wavelengths: --estimate computes random assignment without conversion for up to " +
                           std::to_string(kWidestEstimatedSegment) +
                           " wavelengths (--estimate:conversion takes every node as converting)");
}

EstimateOutcome estimate_run(const Run& run) {
  EstimateOutcome e;
  EstimateSettings settings;
  settings.force_conversion = run.extras.estimate_conversion;
  settings.independent_fibres = run.extras.estimate_independent;
  settings.departure_rate = run.config.sim.departure_rate;
  const bool everywhere = converts_everywhere(run.paths);
  if (settings.force_conversion || everywhere) {
    e.model_id = "erlang_fixed_point";
    e.model_name = "Erlang fixed point (every node converts)";
    e.assumptions.push_back("fibres block independently of each other");
    e.assumptions.push_back(everywhere ? "every node along the candidate paths converts wavelengths, so a call "
                                         "needs one free wavelength on each fibre"
                                       : "every node taken to convert wavelengths (--estimate:conversion), so a call "
                                         "needs one free wavelength on each fibre; the network itself does not "
                                         "convert everywhere");
    e.assumptions.push_back("a fibre of C wavelengths offered rho Erlangs blocks with Erlang's E(C, rho); rho is "
                            "thinned by the other fibres of each path");
  } else {
    e.model_id = "random_assignment_reduced_load";
    e.model_name = "reduced-load model of random wavelength assignment without conversion";
    e.assumptions.push_back("the number of free wavelengths of a fibre follows a birth-death chain, its free "
                            "wavelengths being a uniform random subset; the fibres' chains are independent, so "
                            "the wavelengths free on a whole segment follow hop by hop from hypergeometric "
                            "distributions");
    e.assumptions.push_back(settings.independent_fibres
                                ? "the free wavelengths of the fibres of a segment are independent of each other "
                                  "(--estimate:independent)"
                                : "two consecutive fibres of a segment are described together: calls that continue "
                                  "from one to the other hold the same wavelength on both, their number given the "
                                  "fibres' free counts and the joint distribution of these counts being those of a "
                                  "loss network of the two fibres scaled to each fibre's own distribution, the other "
                                  "calls' wavelengths uniform random subsets of the rest; longer segments are chained "
                                  "pair by pair (segments of up to 32 wavelengths whose consecutive fibres have as "
                                  "many wavelengths; others: the share of a fibre's busy wavelengths that continuing "
                                  "calls carry is taken as busy on both, none when the fibre before it is wider; "
                                  "segments wider than 32 are taken as independent)");
    e.assumptions.push_back("segments ending at converting nodes are independent");
    const int16_t wa = run.config.methods.wa_code;
    if (wa != kRandom) {
      e.describes_method = false;
      e.assumptions.push_back("wavelength assignment " + method_text(wa) +
                              " is not described by the model; nearest assumption: random assignment");
    }
  }
  settings.order = path_order(run, e);
  note_traffic(run, e);
  e.estimate = estimate_blocking(run.net, run.paths, settings);
  fold_pairs(run, e);
  return e;
}

void warn_if_unsettled(std::FILE* err, const EstimateOutcome& e) {
  if (e.estimate.converged) return;
  std::fprintf(err,
               "lumtra: --estimate: the fixed point did not settle in %u iterations (largest change %g); the figures "
               "are those of the last iteration\n",
               e.estimate.iterations, e.estimate.change);
  std::fflush(err);
}

Status estimate_only(Run& run, JsonReport* document) {
  const std::time_t start = std::time(nullptr);
  Console& out = run.out;
  out.set_muted(true);  // no prompts and no path printout
  Status status = read_source(run);
  std::vector<std::pair<uint32_t, uint32_t>> missing;
  if (status.ok()) status = build_paths(run, missing);
  out.set_muted(run.extras.quiet);
  if (!status.ok()) return status;
  if (!missing.empty()) return no_candidate_path(run, missing.front());
  if (Status s = check_estimate(run); !s.ok()) return s;

  const EstimateOutcome e = estimate_run(run);
  warn_if_unsettled(run.err, e);
  out.text("Blocking estimate: ").text(run.source).ch('\n');
  print_head(out, e);
  const Estimate& x = e.estimate;
  out.text("Offered load: ").real("%g", x.offered).text(" Erlangs\n");
  out.text("Estimated blocking: ").real("%g", x.blocking).text(" of the offered calls\n");
  out.text("\nPairs (source-destination, offered Erlangs, estimated blocking):\n");
  const uint32_t m = e.reported_nodes;
  for (uint32_t i = 0; i < m; ++i)
    for (uint32_t j = 0; j < m; ++j) {
      const size_t k = size_t(i) * m + j;
      if (e.pair_offered[k] > 0.0)
        out.text(pair_name(i, j)).ch(' ').real("%g", e.pair_offered[k]).ch(' ').real("%g", e.pair_blocking[k]).ch('\n');
    }
  out.text("\nFibres (from-to, wavelengths, offered Erlangs, carried Erlangs, chance that no wavelength is free):\n");
  for (const FibreEstimate& f : x.fibres) {
    out.text(pair_name(f.source, f.destination)).ch(' ').u64(f.wavelengths).ch(' ').real("%g", f.offered);
    out.ch(' ').real("%g", f.carried).ch(' ').real("%g", f.blocking).ch('\n');
  }

  if (document) {
    document->set_run_record([&run](JsonWriter& j) { write_run_record(j, run); });
    if (Status s = document->begin(kVersion, run.seeder.last_seed,
                                   [&run](JsonWriter& j) { write_configuration(j, run.config, run.net); });
        !s.ok())
      return s;
    document->set_estimate([&e](JsonWriter& j) { write_estimate_json(j, e, nullptr); });
    document->set_closing_fields(
        [&run](JsonWriter& j) { write_unobserved_json(j, run.names, run.net.node_count); });
    if (Status s = document->finish_without_simulation(std::time(nullptr) - start); !s.ok()) return s;
  }
  return Status::finished(Exit::ok);
}

void print_estimate_beside(Console& out, const EstimateOutcome& e, const FinalStats& stats) {
  out.text("\nBlocking estimate beside the simulation\n");
  print_head(out, e);
  out.text("Overall Blocking Probability: ");
  gap_text(out, e.estimate.blocking, stats.overall);
  out.ch('\n');
  const uint32_t m = e.reported_nodes;
  for (const PairAverage& p : stats.pair_averages) {
    const size_t k = size_t(p.source - 1) * m + (p.destination - 1);
    if (!(e.pair_offered[k] > 0.0)) continue;
    out.text("Av.bp[").u64(p.source).text("][").u64(p.destination).text("]: ");
    gap_text(out, e.pair_blocking[k], p.value);
    out.ch('\n');
  }
}

void print_estimate_summary(Console& out, const EstimateOutcome& e, const FinalStats& stats) {
  out.text("Estimate (").text(e.model_name).text(e.describes_method ? "" : ", nearest assumption").text("): ");
  gap_text(out, e.estimate.blocking, stats.overall);
  out.ch('\n');
}

void write_estimate_json(JsonWriter& j, const EstimateOutcome& e, const FinalStats* simulated) {
  const Estimate& x = e.estimate;
  double gap = 0.0;
  j.open('{');
  j.key("model").str(e.model_id);
  j.key("model_name").str(e.model_name);
  j.key("describes_method").boolean(e.describes_method);
  j.key("assumptions").open('[');
  for (const std::string& a : e.assumptions) j.str(a);
  j.close(']');
  j.key("converged").boolean(x.converged);
  j.key("iterations").num(uint64_t(x.iterations));
  j.key("largest_change").num(x.change);
  j.key("offered_erlangs").num(x.offered);
  j.key("blocking").num(x.blocking);
  j.key("simulated_blocking");
  simulated ? j.num(simulated->overall) : j.null();
  j.key("relative_gap");
  simulated && relative_gap(x.blocking, simulated->overall, gap) ? j.num(gap) : j.null();
  j.key("pairs").open('[');
  const uint32_t m = e.reported_nodes;
  std::vector<const PairAverage*> averages(size_t(m) * m, nullptr);
  if (simulated)
    for (const PairAverage& p : simulated->pair_averages)
      averages[size_t(p.source - 1) * m + (p.destination - 1)] = &p;
  for (uint32_t i = 0; i < m; ++i)
    for (uint32_t d = 0; d < m; ++d) {
      const size_t k = size_t(i) * m + d;
      if (!(e.pair_offered[k] > 0.0)) continue;
      j.open('{');
      j.key("source").num(uint64_t(i + 1));
      j.key("destination").num(uint64_t(d + 1));
      j.key("offered_erlangs").num(e.pair_offered[k]);
      j.key("blocking").num(e.pair_blocking[k]);
      j.key("simulated");
      averages[k] ? j.num(averages[k]->value) : j.null();
      j.key("relative_gap");
      averages[k] && relative_gap(e.pair_blocking[k], averages[k]->value, gap) ? j.num(gap) : j.null();
      j.close('}');
    }
  j.close(']');
  j.key("fibres").open('[');
  for (const FibreEstimate& f : x.fibres) {
    j.open('{');
    j.key("source").num(uint64_t(f.source + 1));
    j.key("destination").num(uint64_t(f.destination + 1));
    j.key("wavelengths").num(uint64_t(f.wavelengths));
    j.key("offered_erlangs").num(f.offered);
    j.key("carried_erlangs").num(f.carried);
    j.key("blocking").num(f.blocking);
    j.close('}');
  }
  j.close(']');
  j.close('}');
}

}  // namespace lumtra
