// Simulation benchmark: runs whole simulations of the bundled NSFNET example
// under several methods and prints calls per second, allocations per call in
// the steady state and peak memory. The program's own output goes to a
// scratch file so that printing does not dominate.
//
//   build/sim_bench [calls-in-millions] [method-args...]
//
// Calls per second are given per processor second (robust when other work
// shares the machine) and per wall-clock second.
// Allocations per call compare a run of N calls with one of 2N calls, so the
// one-off set-up allocations cancel out.
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "run/run.h"

namespace {
uint64_t g_allocations = 0;
}

// Counting replacements of the global allocation functions. GCC cannot see
// that these free() calls pair with the malloc() above.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

double cpu_seconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

struct Outcome {
  double seconds = 0;      // wall clock
  double cpu = 0;          // processor time of this single-threaded run
  uint64_t calls = 0;
  uint64_t allocations = 0;
};

uint64_t total_arrived(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return 0;
  std::string text;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  std::fclose(f);
  size_t at = text.rfind("Total Arrived = ");
  return at == std::string::npos ? 0 : std::strtoull(text.c_str() + at + 16, nullptr, 10);
}

// Runs lumtra with `args`, one batch long enough for about `calls` calls.
Outcome run_once(std::vector<std::string> args, double batch_time) {
  const std::string out_path = "/tmp/lumtra_sim_bench.out";
  std::FILE* out = std::fopen(out_path.c_str(), "w");
  std::FILE* in = std::fopen("/dev/null", "r");
  args.insert(args.begin(), "lumtra");
  args.push_back("-b:1");
  args.push_back("-t:" + std::to_string(batch_time));
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  uint64_t before = g_allocations;
  auto t0 = std::chrono::steady_clock::now();
  double c0 = cpu_seconds();
  lumtra::lumtra_main(static_cast<int>(argv.size()), argv.data(), in, out, stderr);
  double c1 = cpu_seconds();
  auto t1 = std::chrono::steady_clock::now();
  Outcome o;
  o.cpu = c1 - c0;
  o.allocations = g_allocations - before;
  std::fclose(out);
  std::fclose(in);
  o.seconds = std::chrono::duration<double>(t1 - t0).count();
  o.calls = total_arrived(out_path);
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  double millions = argc > 1 ? std::atof(argv[1]) : 2.0;
  std::vector<std::vector<std::string>> methods;
  if (argc > 2) {
    methods.emplace_back(argv + 2, argv + argc);
  } else {
    methods = {{"-ff"}, {"-lf"}, {"-r"}, {"-r", "-pr", "-sh"}, {"-ff", "-m"}};
  }
  const std::string net = std::string("-nt:") + LUMTRA_SOURCE_DIR + "/examples/nsfnet.txt";
  // The NSFNET example offers 182 pairs x 0.8 calls per time unit.
  const double calls_per_time = 182 * 0.8;
  std::printf("%-22s %12s %14s %14s %12s\n", "method", "calls", "calls/cpu-s", "calls/wall-s", "allocs/call");
  for (auto m : methods) {
    std::vector<std::string> args = m;
    args.push_back("-s:1");
    args.push_back(net);
    double t = millions * 1e6 / calls_per_time;
    Outcome a = run_once(args, t / 2);
    Outcome b = run_once(args, t);
    std::string name;
    for (auto& x : m) name += x + " ";
    double per_call = b.calls > a.calls ? double(b.allocations - a.allocations) / double(b.calls - a.calls) : 0;
    std::printf("%-22s %12llu %14.0f %14.0f %12.6f\n", name.c_str(), (unsigned long long)b.calls, b.calls / b.cpu,
                b.calls / b.seconds, per_call);
  }
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  std::printf("peak memory: %ld KiB\n", ru.ru_maxrss);
  return 0;
}
