#include "run/run.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <unistd.h>

#include "network/generator.h"
#include "network/reader.h"
#include "paths/build.h"
#include "report/report.h"
#include "run/cli.h"
#include "rwa/install.h"

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

bool any_traffic(const Network& net) {
  for (double r : net.arrival_rates)
    if (r != 0.0) return true;
  return false;
}

}  // namespace

Status prepare_run(Run& run) {
  Config& cfg = run.config;

  // The input stream: standard input, the -nt file, or (after generation)
  // the generated file.
  OwnedFile file;
  std::FILE* input = run.in;
  std::string source = "standard input";
  if (!cfg.generator_given && !cfg.interactive()) {
    file.reset(std::fopen(cfg.network_file.c_str(), "r"));
    if (!file) return Status::error(cfg.network_file, "network file", std::string("cannot be opened: ") + std::strerror(errno));
    input = file.get();
    source = cfg.network_file;
  }
  const bool terminal = cfg.interactive() && isatty(fileno(run.in));
  auto make_reader = [&](std::FILE* f, const std::string& name) {
    return TokenReader(f, name, terminal && f == run.in, run.err, f == run.in ? &run.out : nullptr);
  };

  run.out.text(kNodeCountPrompt);
  uint32_t n = 0;
  {
    TokenReader first = make_reader(input, source);
    if (Status s = read_node_count(first, n); !s.ok()) return s;
  }

  if (cfg.generator_given) {
    // The parameter file is checked before the output file is touched.
    GeneratorInput params;
    if (Status s = load_generator_input(cfg, n, params); !s.ok()) return s;
    std::string out_name = cfg.interactive() ? "Temp_net__#1.txt" : cfg.network_file;
    OwnedFile written(std::fopen(out_name.c_str(), "w"));
    if (!written) return Status::error(out_name, "generated network file", std::string("cannot be created: ") + std::strerror(errno));
    if (Status s = generate_network(run, params, n, written.get(), out_name); !s.ok()) return s;
    std::FILE* raw = written.release();
    bool failed = std::ferror(raw) != 0;
    if (std::fclose(raw) != 0 || failed)
      return Status::error(out_name, "generated network file", "cannot be written");
    file.reset(std::fopen(out_name.c_str(), "r"));
    if (!file) return Status::error(out_name, "generated network file", std::string("cannot be opened: ") + std::strerror(errno));
    input = file.get();
    source = out_name;
    TokenReader again = make_reader(input, source);
    if (Status s = read_node_count(again, n); !s.ok()) return s;
  }

  TokenReader reader = make_reader(input, source);
  if (Status s = read_network(run, reader, n); !s.ok()) return s;
  if (Status s = read_batch_values(run, reader); !s.ok()) return s;
  if (!any_traffic(run.net))
    return Status::error(source, "arrival rates", "no pair of nodes has traffic, so there is nothing to simulate");
  if (Status s = install_methods(run); !s.ok()) return s;
  if (Status s = read_la_constants(run, reader); !s.ok()) return s;
  file.reset();  // everything the run needs from the input has been read

  seed_pair_streams(run);

  bool no_path = false;
  if (Status s = build_path_table(run, no_path); !s.ok()) return s;
  if (Status s = prepare_methods(run); !s.ok()) return s;
  if (no_path) {
    run.out.text(
        "Can not continue simulation. define BLOCK_IF_NOPATH directive in the program to deal will this case");
    return Status::finished(Exit::input_error);
  }
  return Status::proceed();
}

Status start_run(Run& run) {
  Status status = scan_long_options(run.args, run.extras);
  if (!status.ok()) return status;
  if (run.extras.version) {
    run.out.text("Lumtra ").text(kVersion).ch('\n');
    return Status::finished(Exit::ok);
  }
  status = parse_command_line(run);
  if (status.ok()) {
    seed_streams(run);
    status = validate_and_normalise(run.config);
  }
  return status;
}

int lumtra_main(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err) {
  auto run = std::make_unique<Run>(in, out, err);
  run->args.assign(argv, argv + argc);
  run->seeder.seed(static_cast<uint32_t>(std::time(nullptr)));

  Status status = start_run(*run);
  if (status.ok()) status = prepare_run(*run);
  if (status.ok()) {
    run->start_time = std::time(nullptr);
    run->out.text("\nSimulation Started....");
    run_batches(*run);
    status = report_statistics(*run);
  }

  if (!status.message.empty() && !status.to_stderr) run->out.text(status.message);
  bool written = run->out.flush();
  if (!status.message.empty() && status.to_stderr) {
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
