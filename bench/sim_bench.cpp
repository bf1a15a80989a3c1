// Simulation benchmark: runs whole simulations under every method on the
// bundled networks and prints calls per second, allocations per call in the
// steady state and peak memory. The program's own output goes to a scratch
// file so that printing does not dominate.
//
//   build/sim_bench [--net nsfnet|mesh40|all] [--calls MILLIONS] [method-args...]
//
// Without method arguments every method code and a few mixed pairs are run.
// Each method runs in its own child process, so that its peak memory is its
// own. Calls per second are given per processor second (robust when other
// work shares the machine) and per wall-clock second. Allocations per call
// compare a run of N calls with one of 2N calls, so one-off set-up cancels.
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sstream>
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
  double wall = 0;
  double cpu = 0;
  uint64_t calls = 0;
  uint64_t allocations = 0;
  int status = 0;
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

// One run of lumtra with `args` and one batch of `batch_time`.
Outcome run_once(std::vector<std::string> args, double batch_time) {
  const std::string out_path = "/tmp/lumtra_sim_bench." + std::to_string(getpid()) + ".out";
  std::FILE* out = std::fopen(out_path.c_str(), "w");
  std::FILE* in = std::fopen("/dev/null", "r");
  args.insert(args.begin(), "lumtra");
  args.push_back("-b:1");
  char t[64];
  std::snprintf(t, sizeof t, "-t:%.6f", batch_time);
  args.push_back(t);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  const uint64_t before = g_allocations;
  const auto t0 = std::chrono::steady_clock::now();
  const double c0 = cpu_seconds();
  Outcome o;
  o.status = lumtra::lumtra_main(static_cast<int>(argv.size()), argv.data(), in, out, stderr);
  o.cpu = cpu_seconds() - c0;
  o.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  o.allocations = g_allocations - before;
  std::fclose(out);
  std::fclose(in);
  o.calls = total_arrived(out_path);
  std::remove(out_path.c_str());
  return o;
}

struct Network {
  const char* name;
  std::string path;
};

// Runs one method in a child process and prints its row.
void bench_method(const Network& net, const std::vector<std::string>& method, double millions) {
  int fds[2];
  if (pipe(fds) != 0) return;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    std::vector<std::string> args = method;
    for (const char* extra : {"-al:0.1", "-ep:0.1", "-s:1"}) args.push_back(extra);
    args.push_back("-nt:" + net.path);
    // Offered calls per time unit, from a short calibration run.
    Outcome probe = run_once(args, 20);
    double per_time = probe.calls / 20.0;
    std::string line;
    if (probe.status != 0 || per_time <= 0) {
      line = "failed (exit status " + std::to_string(probe.status) + ")";
    } else {
      const double t = millions * 1e6 / per_time;
      Outcome a = run_once(args, t / 2);
      Outcome b = run_once(args, t);
      struct rusage ru;
      getrusage(RUSAGE_SELF, &ru);
      const double per_call =
          b.calls > a.calls ? double(b.allocations - a.allocations) / double(b.calls - a.calls) : 0;
      char buf[256];
      std::snprintf(buf, sizeof buf, "%12llu %14.0f %14.0f %12.6f %10ld", (unsigned long long)b.calls,
                    b.calls / b.cpu, b.calls / b.wall, per_call, ru.ru_maxrss);
      line = buf;
    }
    ssize_t written = write(fds[1], line.data(), line.size());
    (void)written;
    _exit(0);
  }
  close(fds[1]);
  std::string line;
  char buf[512];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) line.append(buf, n);
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  std::string name;
  for (auto& x : method) name += (name.empty() ? "" : " ") + x;
  std::printf("%-8s %-18s %s\n", net.name, name.c_str(), line.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  double millions = 2.0;
  std::string which = "all";
  std::vector<std::string> method_args;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--calls") && i + 1 < argc) {
      millions = std::atof(argv[++i]);
    } else if (!std::strcmp(argv[i], "--net") && i + 1 < argc) {
      which = argv[++i];
    } else {
      method_args.push_back(argv[i]);
    }
  }
  std::vector<std::vector<std::string>> methods;
  if (!method_args.empty()) {
    methods.push_back(method_args);
  } else {
    for (const char* m : {"-ff", "-r", "-la", "-xla", "-lf", "-dla", "-mu", "-lmu", "-lu", "-llu", "-ll", "-ml",
                          "-wlcr -ff", "-wmcr -ff", "-r -mu", "-ff -la", "-la -dla", "-ff -m", "-r -pr -sh",
                          "-la -pr -sh", "-ll -e:1 -sh -pr"}) {
      std::istringstream words(m);
      std::vector<std::string> v;
      for (std::string w; words >> w;) v.push_back(w);
      methods.push_back(v);
    }
  }
  const std::string src = LUMTRA_SOURCE_DIR;
  std::vector<Network> nets;
  if (which == "nsfnet" || which == "all") nets.push_back({"nsfnet", src + "/examples/nsfnet.txt"});
  if (which == "mesh40" || which == "all") nets.push_back({"mesh40", src + "/bench/mesh-40.txt"});
  std::printf("%-8s %-18s %12s %14s %14s %12s %10s\n", "network", "method", "calls", "calls/cpu-s", "calls/wall-s",
              "allocs/call", "peak KiB");
  for (const Network& net : nets)
    for (const auto& m : methods) bench_method(net, m, millions);
  return 0;
}
