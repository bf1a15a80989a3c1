#include "run/run.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "network/generator.h"
#include "network/lengths.h"
#include "network/reader.h"
#include "paths/build.h"
#include "report/json.h"
#include "report/observed.h"
#include "report/report.h"
#include "base/numbers.h"
#include "base/whole_file.h"
#include "run/batches.h"
#include "run/check.h"
#include "run/estimate_report.h"
#include "run/cli.h"
#include "run/summary.h"
#include "run/json_configuration.h"
#include "run/replay.h"
#include "run/run_record.h"
#include "base/memory_text.h"
#include "base/sha256.h"

namespace lumtra {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

const char* const kNodeCountPrompt = "\nEnter Number of Nodes in The Network: ";

Status read_node_count(TokenReader& in, uint32_t& n) {
  Status s = in.read_u32([] { return std::string("number of nodes"); }, n);
  if (s.ok() && n == 0) return Status::error(in.source(), "number of nodes", "'0': a network needs at least one node");
  return s;
}

// Simulated time is a double: when calls arrive closer together than the
// clock's resolution over a batch (about batch time / 2^52), the clock stops
// advancing and the batch would never end.
Status check_arrival_density(const Run& run, const std::string& source) {
  double total = 0.0;
  for (double r : run.net.arrival_rates) total += r;
  const double arrivals = total * (run.config.sim.warmup + run.config.sim.batch_time);
  constexpr double kClockSteps = 4503599627370496.0;  // 2^52
  if (!(arrivals > kClockSteps)) return Status::proceed();
  const double warmup = run.config.sim.warmup;
  const std::string after = warmup > 0.0 ? " and a warm-up of " + real_text(warmup) : std::string();
  char text[224];
  std::snprintf(text, sizeof text, "%g calls per time unit over a batch time of %g%s make about %g arrivals per batch",
                total, run.config.sim.batch_time, after.c_str(), arrivals);
  return Status::error(source, "arrival rates",
                       std::string(text) + ", more than the simulated clock can tell apart (2^52); " +
                           "lower the rates (-f, -c) or the batch time (-t)" +
                           (warmup > 0.0 ? " or the warm-up (--warmup)" : ""));
}

bool any_traffic(const Network& net) {
  for (double r : net.arrival_rates)
    if (r != 0.0) return true;
  return false;
}

Status check_traffic(const Run& run) {
  if (!any_traffic(run.net))
    return Status::error(run.source, "arrival rates", "no pair of nodes has traffic, so there is nothing to simulate");
  return check_arrival_density(run, run.source);
}

}  // namespace

Status read_source(Run& run) {
  Config& cfg = run.config;

  // The file a drawn network goes to is checked before anything is read.
  WholeFile written;
  if (cfg.generator_given)
    if (Status s = written.open(cfg.drawn_network_file(), "generated network file"); !s.ok()) return s;

  // The input stream: standard input, the -nt file, or (after generation)
  // the drawn network text.
  OwnedFile file;
  std::FILE* input = run.in;
  run.source = "standard input";
  if (!cfg.generator_given && !cfg.interactive()) {
    file.reset(std::fopen(cfg.network_file.c_str(), "r"));
    if (!file) return Status::error(cfg.network_file, "network file", std::string("cannot be opened: ") + std::strerror(errno));
    input = file.get();
    run.source = cfg.network_file;
    // Only a regular file can be read again to repeat the run.
    struct stat st {};
    if (fstat(fileno(input), &st) == 0 && S_ISREG(st.st_mode))
      if (Status s = sha256_file(cfg.network_file, "network file", run.network_sha256); !s.ok()) return s;
  }
  const TokenReader::Input keyboard =
      cfg.interactive() && isatty(fileno(run.in)) ? TokenReader::Input::terminal : TokenReader::Input::standard_input;
  auto make_reader = [&](std::FILE* f, const std::string& name) {
    return f == run.in ? TokenReader(f, name, keyboard, run.err, &run.out)
                       : TokenReader(f, name, TokenReader::Input::file, run.err);
  };

  run.out.text(kNodeCountPrompt);
  uint32_t n = 0;
  {
    TokenReader first = make_reader(input, run.source);
    if (Status s = read_node_count(first, n); !s.ok()) return s;
  }

  // With -g the network is drawn into memory and read from there like a
  // file; the network file is written only once the reader has taken all of
  // it, so a parameter file that draws a network the reader refuses leaves
  // the -nt file as it was.
  std::string drawn;
  std::string out_name;
  if (cfg.generator_given) {
    const GeneratorOptions generator{cfg.generator_file, cfg.sink_node, cfg.network.virtual_input};
    GeneratorInput params;
    if (Status s = load_generator_input(generator, n, run.budget, params); !s.ok()) return s;
    out_name = cfg.drawn_network_file();
    MemoryText text;
    if (!text.stream()) return Status::error(out_name, "generated network file", "no memory for the drawn network");
    if (Status s = generate_network(generator, params, n, run.generator_stream, run.budget, text.stream(), out_name);
        !s.ok())
      return s;
    drawn = text.take();
    run.network_sha256 = sha256_hex(drawn);
    struct stat st {};
    if (stat(cfg.generator_file.c_str(), &st) == 0 && S_ISREG(st.st_mode))
      if (Status s = sha256_file(cfg.generator_file, "generator parameter file", run.generator_sha256); !s.ok())
        return s;
    file.reset(fmemopen(drawn.data(), drawn.size(), "r"));
    if (!file) return Status::error(out_name, "generated network file", "no memory for the drawn network");
    input = file.get();
    run.source = cfg.generator_file + " (the network drawn from it)";
    TokenReader again = make_reader(input, run.source);
    if (Status s = read_node_count(again, n); !s.ok()) return s;
  }

  TokenReader reader = make_reader(input, run.source);
  if (Status s = read_network(reader, run.out, cfg.network, run.budget, n, run.net, &run.reached); !s.ok()) return s;
  if (Status s = read_batch_values(reader, run.out, cfg.sim.batch_count, cfg.sim.batch_time); !s.ok()) return s;
  if (Status s = check_traffic(run); !s.ok()) return s;
  if (needs_la_constants(cfg.methods))
    if (Status s = read_la_constants(reader, run.out, cfg.methods.alpha, cfg.methods.epsilon); !s.ok()) return s;
  file.reset();  // everything the run needs from the input has been read
  if (!run.extras.lengths_path.empty())
    if (Status s = read_fibre_lengths(run.extras.lengths_path, run.net); !s.ok()) return s;
  if (cfg.generator_given) {
    std::fwrite(drawn.data(), 1, drawn.size(), written.stream());
    if (Status s = written.commit(); !s.ok()) return s;
  }
  return Status::proceed();
}

Status build_paths(Run& run, std::vector<std::pair<uint32_t, uint32_t>>& missing) {
  PathLimits limits;
  limits.max_bytes = run.budget.left();
  limits.progress = run.progress;
  if (Status s = build_path_table(run.net, run.config.paths, limits, run.paths, missing); !s.ok()) return s;
  return run.budget.admit(table_bytes(run.paths), "command line", "candidate paths", "the path table");
}

Status no_candidate_path(const Run& run, std::pair<uint32_t, uint32_t> pair) {
  return Status::error(run.source, "pair " + std::to_string(pair.first + 1) + "-" + std::to_string(pair.second + 1),
                       "no candidate path");
}

Status load_names(Run& run) {
  if (run.extras.names_path.empty()) return Status::proceed();
  return run.names.load(run.extras.names_path, run.net.node_count);
}

Status prepare_run(Run& run) {
  if (Status s = read_source(run); !s.ok()) return s;
  if (Status s = load_names(run); !s.ok()) return s;

  Lane& lane = run.lane;
  lane.pair_streams.resize(size_t(run.net.total_nodes) * run.net.total_nodes);
  seed_pair_streams(lane, [&run] { return next_seed(run.seeder); });
  lane.generator_stream = run.generator_stream;

  std::vector<std::pair<uint32_t, uint32_t>> missing;
  if (Status s = build_paths(run, missing); !s.ok()) return s;
  if (run.plugin.loaded()) {
    const uint64_t bytes = LoadedPlugin::facts_bytes(run.net, run.paths);
    if (Status s = run.budget.admit(bytes, "command line", "--plugin", "the plug-in's copy of the paths"); !s.ok())
      return s;
    run.plugin.describe(run.net, run.paths, run.config.methods);
  }
  print_missing_paths(run.out, missing);
  print_path_table(run.out, run.paths);
  run.out.flush();  // the path list is complete

  const SimInput in = run.sim_input();
  const uint64_t before_methods = run.budget.used();
  if (Status s = install_methods(lane.methods, in.methods, lane.links, run.method_stream, run.budget); !s.ok())
    return s;
  run.method_bytes = run.budget.used() - before_methods;
  if (!missing.empty()) {
    run.out.text(
        "Can not continue simulation. define BLOCK_IF_NOPATH directive in the program to deal will this case");
    return no_candidate_path(run, missing.front());
  }
  if (run.config.sim.observe)
    if (Status s = run.budget.admit(observation_bytes(run.net), "command line", "--json, --summary or --report",
                                    "the observations of the batches");
        !s.ok())
      return s;
  prepare_lane(lane, in, run.budget.left());
  lane.progress = run.progress;
  run.totals.average.assign(size_t(run.net.total_nodes) * run.net.total_nodes, 0.0);
  return Status::proceed();
}

Status start_run(Run& run) {
  bool help = false;
  for (const std::string& arg : run.args) help = help || asks_for_help(arg);
  Status status = scan_long_options(run.args, run.extras);
  if (!help) {
    if (!status.ok()) return status;
    if (run.extras.version) {
      run.out.text("Lumtra ").text(kVersion).ch('\n');
      return Status::finished(Exit::ok);
    }
  }
  status = parse_command_line(run);
  if (status.ok()) {
    seed_streams(run);
    status = validate_and_normalise(run.config);
    run.config.sim.observe = run.extras.observes();
  }
  if (status.ok()) apply_statistics_options(run.extras, run.config.sim);
  if (status.ok() && !run.extras.plugin.empty()) {
    status = run.plugin.load(run.extras.plugin, run.hooks);
    if (status.ok()) status = check_plugin_methods(run.plugin, run.config.methods);
    run.config.plugin_given = status.ok();
    run.config.plugin = run.plugin.identity();
  }
  return status;
}

void apply_statistics_options(const LongOptions& extras, SimOptions& sim) {
  const bool precision = extras.precision > 0.0;
  sim.replication = extras.parallel;
  // Every batch starts from an empty network: its first holding times are
  // biased low, more so the shorter the batch.
  const double default_warmup = extras.parallel || precision ? 10.0 / sim.departure_rate : 0.0;
  sim.warmup = extras.warmup_given ? extras.warmup : default_warmup;
  sim.min_batches = precision ? extras.min_batches : 0;
}

namespace {

// Batch means that follow each other closely make the interval too narrow:
// the batches are not the independent replications it assumes.
void warn_if_correlated(std::FILE* err, const FinalStats& stats, const RunTotals& totals) {
  if (!stats.has_lag1) return;
  const double bound = 2.0 / std::sqrt(double(totals.batch_stats.n));
  if (!(stats.lag1 > bound)) return;
  std::fprintf(err,
               "lumtra: --ci: the batches are correlated (lag-1 autocorrelation %g, more than 2/sqrt(%llu) = %g), so "
               "the confidence interval is too narrow; use --parallel for independent batches, or longer batches "
               "(-t)\n",
               stats.lag1, static_cast<unsigned long long>(totals.batch_stats.n), bound);
}

// The deterministic automaton's learned order carries over from batch to
// batch in the classic mode, so its batches are not replications and any
// interval over them comes out too narrow.
void warn_if_carried_over(std::FILE* err, const Run& run) {
  const MethodOptions& m = run.config.methods;
  const LongOptions& x = run.extras;
  if (x.parallel || !(x.confidence || x.precision > 0.0 || x.json)) return;
  if (m.routing_code != kDeterministicLA && m.wa_code != kDeterministicLA) return;
  std::fputs("lumtra: -dla: the deterministic automaton carries its learned order from batch to batch, so its "
             "batches are not independent and the confidence interval is too narrow; use --parallel for "
             "independent batches\n",
             err);
}

ReportShape report_shape(const Run& run) {
  return {run.config.sim.virtual_output ? run.net.total_nodes : run.net.node_count, run.net.total_nodes,
          run.config.report.local_calls};
}

}  // namespace

namespace {

// --check simulates nothing: the options that only shape a simulation are
// named on standard error rather than dropped silently.
void tell_unused_by_check(const Run& run) {
  for (size_t i = 1; i < run.args.size(); ++i) {
    const std::string& a = run.args[i];
    bool unused = a.size() >= 3 && a[0] == '-' && std::toupper(static_cast<unsigned char>(a[1])) == 'O' &&
                  std::toupper(static_cast<unsigned char>(a[2])) == 'F';
    for (const char* name : {"json", "parallel", "precision", "max-batches", "ci", "summary", "quiet"})
      unused = unused || is_long_option(a, name);
    if (unused)
      std::fputs(Status::error("command line", a, "not used by --check, which simulates nothing").message.c_str(),
                 run.err);
  }
}

}  // namespace

int lumtra_main(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err) {
  return lumtra_main(argc, argv, in, out, err, PluginHooks{});
}

int lumtra_main(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err, const PluginHooks& hooks) {
  auto run = std::make_unique<Run>(in, out, err);
  run->hooks = hooks;
  run->args.assign(argv, argv + argc);
  run->seeder.seed(static_cast<uint32_t>(std::time(nullptr)));
  run->out.set_line_buffered(isatty(fileno(out)));

  Replay replay;
  bool help = false;
  for (const std::string& arg : run->args) help = help || asks_for_help(arg);
  Status status = help ? Status::proceed() : prepare_replay(run->args, replay);
  if (status.ok()) status = start_run(*run);
  const LongOptions& extras = run->extras;
  // With the JSON document on standard output, the classic output goes to
  // standard error (or nowhere with --quiet), so that standard output holds
  // the document alone.
  const bool quiet = !extras.check && extras.quiet;
  const bool json_on_stdout = !extras.check && extras.json && extras.json_path == "-";
  if (status.ok() && json_on_stdout) {
    run->out.set_stream(err);
    run->out.set_line_buffered(isatty(fileno(err)));
  }
  // So that any run can be repeated: the seed the clock gave, once it has
  // drawn something (a network with -g, or traffic).
  auto tell_seed = [&run, err] {
    if (run->seeder.given) return;
    std::fprintf(err, "lumtra: seed %u\n", run->seeder.last_seed);
    std::fflush(err);
  };
  if (status.ok() && extras.check) {
    tell_unused_by_check(*run);
    if (run->config.generator_given) tell_seed();
    status = check_network(*run);
  } else if (status.ok() && extras.estimate && !extras.estimate_simulate) {
    if (run->config.generator_given) tell_seed();
    // The document's destination is opened before anything is read.
    JsonReport json;
    if (extras.json) status = json.open(extras.json_path, out);
    if (status.ok()) status = estimate_only(*run, extras.json ? &json : nullptr);
  } else if (status.ok()) {
    run->out.set_muted(extras.summary || quiet);
    // Every output is checked before anything is written: the Result files
    // were opened by the scan, the JSON destination now, the file of a drawn
    // network before the network is drawn.
    JsonReport json;
    std::string replayed;
    if (extras.json) status = json.open(extras.json_path, out);
    if (replay.verify) json.keep_copy(&replayed);
    JsonReport* document = extras.json || replay.verify ? &json : nullptr;
    if (extras.json_detail == JsonDetail::summary) json.omit_batch_pairs();
    ObservedTable table;
    if (status.ok() && !extras.report_path.empty()) status = table.open(extras.report_path);
    if (status.ok()) status = prepare_run(*run);
    if (status.ok() && document) {
      json.set_run_record([&run](JsonWriter& j) { write_run_record(j, *run); });
      status = json.begin(kVersion, run->seeder.last_seed,
                          [&run](JsonWriter& j) { write_configuration(j, run->config, run->net); });
    }
    std::unique_ptr<EstimateOutcome> estimate;
    if (status.ok() && extras.estimate) status = check_estimate(*run);
    if (status.ok() && extras.estimate) {
      estimate = std::make_unique<EstimateOutcome>(estimate_run(*run));
      warn_if_unsettled(err, *estimate);
    }
    PrecisionOutcome precision;
    if (status.ok()) {
      tell_seed();
      warn_if_carried_over(err, *run);
      run->start_time = std::time(nullptr);
      run->out.text("\nSimulation Started....");
      status = run_batches(*run, document, precision);
    }
    ObservedView observed;
    if (status.ok() && run->config.sim.observe) {
      observed = view_observations(run->observed, run->net, run->config.sim.virtual_output);
      json.set_closing_fields([&](JsonWriter& j) {
        write_observed_json(j, observed, run->names, extras.json_detail);
        write_node_names(j, run->names, run->net.node_count);
      });
    }
    if (status.ok()) {
      FinalStats stats = compute_statistics(run->totals, report_shape(*run));
      stats.warmup = run->config.sim.warmup;
      const PrecisionOutcome* asked = extras.precision > 0.0 ? &precision : nullptr;
      if (estimate && document)
        json.set_estimate([&estimate, &stats](JsonWriter& j) { write_estimate_json(j, *estimate, &stats); });
      status = report_statistics(run->out, stats, run->config.report, extras.confidence, run->start_time, document,
                                 asked);
      if (estimate && status.ok()) print_estimate_beside(run->out, *estimate, stats);
      if (extras.confidence) warn_if_correlated(err, stats, run->totals);
      run->out.set_muted(quiet);
      if (extras.summary && status.ok()) {
        print_summary(run->out, *run, stats, asked);
        print_observed(run->out, observed, run->names);
      }
      if (extras.summary && status.ok() && estimate) print_estimate_summary(run->out, *estimate, stats);
      if (status.ok() && !extras.report_path.empty()) status = table.write(observed, run->names);
    }
    run->out.set_muted(quiet);
    if (status.ok() && replay.verify) {
      status = verify_replay(replay, replayed);
      if (status.ok()) {
        std::fprintf(err, "lumtra: %s: the replay gave every recorded figure\n", printable(replay.path).c_str());
        std::fflush(err);
      }
    }
  }

  const bool message_to_stderr = status.to_stderr || quiet || json_on_stdout;
  if (!status.message.empty() && !message_to_stderr) run->out.text(status.message);
  bool written = run->out.flush();
  if (!status.message.empty() && message_to_stderr) {
    std::fputs(status.message.c_str(), err);
    std::fflush(err);
  }
  if (!written) {
    std::fputs("lumtra: standard output: write failed\n", err);
    return static_cast<int>(Exit::input_error);
  }
  return static_cast<int>(status.exit);
}

}  // namespace lumtra
