// Blocking-estimate benchmark: the time of the estimate alone (the fixed
// point and its figures, after the network was read and the candidate
// paths built), in processor and wall-clock milliseconds, best of several
// repetitions, on NSFNET and on the 100-node mesh of 16 wavelengths.
//
//   build/estimate_bench [--repeat N] [method and path options...]
//
// The options are passed on as a run would take them (-r, -f:1.2, ...).
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "run/estimate_report.h"
#include "run/run.h"

namespace {

double cpu_seconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

int bench(const std::string& name, const std::string& file, const std::vector<std::string>& options, int repeat) {
  std::FILE* sink = std::fopen("/dev/null", "w");
  lumtra::Run run(stdin, sink, stderr);
  run.args = {"lumtra", "--estimate", "-nt:" + file};
  run.args.insert(run.args.end(), options.begin(), options.end());
  lumtra::Status s = lumtra::start_run(run);
  run.out.set_muted(true);
  if (s.ok()) s = lumtra::read_source(run);
  std::vector<std::pair<uint32_t, uint32_t>> missing;
  if (s.ok()) s = lumtra::build_paths(run, missing);
  if (!s.ok() || !missing.empty()) {
    std::fprintf(stderr, "%s: cannot prepare: %s\n", name.c_str(), s.message.c_str());
    return 1;
  }
  double best_cpu = 1e9, best_wall = 1e9;
  lumtra::EstimateOutcome e;
  for (int k = 0; k < repeat; ++k) {
    const double c0 = cpu_seconds();
    const auto w0 = std::chrono::steady_clock::now();
    e = lumtra::estimate_run(run);
    best_cpu = std::min(best_cpu, cpu_seconds() - c0);
    best_wall = std::min(best_wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count());
  }
  std::printf("| %s | %zu | %zu | %u | %s | %.4g | %.2f | %.2f |\n", name.c_str(), run.paths.paths.size(),
              e.estimate.fibres.size(), e.estimate.iterations, e.estimate.converged ? "yes" : "no",
              e.estimate.blocking, 1000.0 * best_cpu, 1000.0 * best_wall);
  std::fclose(sink);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 5;
  std::vector<std::string> options;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--repeat" && i + 1 < argc)
      repeat = std::max(1, std::atoi(argv[++i]));
    else
      options.push_back(a);
  }
  std::printf("| network | paths | fibres | iterations | settled | estimated blocking | processor ms | wall ms |\n");
  std::printf("|---|---:|---:|---:|---|---:|---:|---:|\n");
  const std::string root = LUMTRA_SOURCE_DIR;
  int failed = bench("NSFNET (14 nodes, 16 wavelengths)", root + "/examples/nsfnet.txt", options, repeat);
  failed |= bench("mesh 100 (100 nodes, 16 wavelengths)", root + "/bench/mesh-100.txt", options, repeat);
  return failed;
}
