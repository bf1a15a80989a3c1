#include "run/batches.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"
#include "report/confidence.h"

namespace lumtra {
namespace {

using test::run_lumtra;
using test::without_elapsed;

// The per-batch blocking written to a JSON document, in batch order.
std::vector<double> batch_blocking(const std::string& json) {
  std::vector<double> out;
  const std::string key = "\"blocking\":";
  for (size_t at = json.find(key); at != std::string::npos; at = json.find(key, at + 1))
    out.push_back(std::stod(json.substr(at + key.size())));
  return out;
}

TEST(ParallelBatches, EveryThreadCountPrintsTheSameBytes) {
  const std::string dir = test::scratch_dir();
  for (const auto& [net, extra] : {std::pair<std::string, std::string>{"nsfnet.txt", "-ff"}, {"all-node-types.txt", "-m"}}) {
    std::string first;
    for (const char* threads : {"--parallel:1", "--parallel:2", "--parallel:4"}) {
      const std::string prefix = dir + "/" + net + threads;
      auto r = run_lumtra({threads, extra, "-la", "-al:0.1", "-ep:0.1", "-s:5", "-b:6", "-t:40", "--ci",
                           "--json:" + prefix + ".json", "-of:" + prefix, "-nt:" + test::example(net)});
      ASSERT_EQ(r.status, 0) << r.err;
      std::string json = test::read_file(prefix + ".json");
      json.erase(json.find("\"run\""));  // the command line and threads differ
      const std::string all = without_elapsed(r.out) + json + test::read_file(prefix + "_Variance.csv");
      if (first.empty()) first = all;
      EXPECT_EQ(all, first) << net << " " << threads;
    }
  }
  // A batch does not depend on the batches that ran before or beside it.
  const std::string net = "-nt:" + test::example("nsfnet.txt");
  auto three = run_lumtra({"--parallel:2", "-s:5", "-b:3", "-t:40", net});
  auto five = run_lumtra({"--parallel:2", "-s:5", "-b:5", "-t:40", net});
  const std::string cut = "\nBatch 4:";
  EXPECT_EQ(five.out.substr(0, five.out.find(cut)), three.out.substr(0, three.out.find("\n\nAverage Blocking Rates")));
}

// The rule is checked after each batch: the run stops at the first batch
// whose half-width, computed here from the batches' blocking, is at most
// the target share of their mean.
TEST(Precision, StopsAtTheFirstBatchThatMeetsTheTarget) {
  const std::string json = test::scratch_dir() + "/run.json";
  for (const char* mode : {"--parallel:2", "--ci"}) {
    auto r = run_lumtra({mode, "--precision:0.08", "-s:2", "-b:3", "-t:40", "--json:" + json,
                         "-nt:" + test::example("nsfnet.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<double> bp = batch_blocking(test::read_file(json));
    ASSERT_GE(bp.size(), 3u);
    for (size_t n = 3; n <= bp.size(); ++n) {
      RunningStats s;
      for (size_t k = 0; k < n; ++k) s.add(bp[k]);
      const double h = student_t_quantile(0.975, double(n - 1)) * s.sd() / std::sqrt(double(n));
      EXPECT_EQ(h <= 0.08 * s.mean, n == bp.size()) << mode << " after " << n << " batches";
    }
    EXPECT_NE(r.out.find("% of the Average Blocking Probability after " + std::to_string(bp.size()) +
                         " batches, target 8% met\nSimulation Time"),
              std::string::npos)
        << r.out.substr(r.out.size() - 300);
  }
}

TEST(Precision, NoBlockingAndTheBatchLimitEndTheRunWithAWarning) {
  const std::string net = "-nt:" + test::example("nsfnet.txt");
  auto quiet = run_lumtra({"--precision:0.05", "-f:0.01", "-s:1", "-b:2", "-t:10", net});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out.find("\nBatch 3:"), std::string::npos);
  EXPECT_NE(quiet.out.find("\nPrecision: no call was blocked in 2 batches"), std::string::npos);
  EXPECT_NE(quiet.err.find("no call was blocked in 2 batches"), std::string::npos) << quiet.err;

  auto capped = run_lumtra({"--precision:0.001", "--max-batches:4", "-s:1", "-b:2", "-t:20", net});
  EXPECT_EQ(capped.status, 0);
  EXPECT_NE(capped.out.find("\nBatch 4:"), std::string::npos);
  EXPECT_EQ(capped.out.find("\nBatch 5:"), std::string::npos);
  EXPECT_NE(capped.out.find("after 4 batches, target 0.1% not met within 4 batches\n"), std::string::npos);
  EXPECT_EQ(capped.err, "lumtra: --precision: the target of 0.1 % was not met within 4 batches; raise "
                        "--max-batches or lengthen the batches (-t)\n");
  EXPECT_EQ(run_lumtra({"--max-batches:4", net}).status, 1);  // only with --precision
}

// Each lane holds its own copy of the method state: when the memory left
// holds fewer than asked for, fewer threads run, with the same output.
TEST(ParallelBatches, FewerLanesWhenMemoryIsShortAndTheSameOutput) {
  if (test::kAddressSanitizer) GTEST_SKIP() << "no address-space limit under a sanitizer";
  // A ring of six converting nodes with 32 wavelengths: the exhaustive
  // automaton's lists take about 20 MiB per lane.
  std::string net = "6\n";
  for (int k = 0; k < 6; ++k) net += "1 y\n";
  net += "1\n1\n1\n";
  for (int u = 0; u < 6; ++u, net += "\n")
    for (int v = 0; v < 6; ++v) net += (v == (u + 1) % 6 || u == (v + 1) % 6) ? "32 " : "0 ";
  for (int u = 0; u < 6; ++u, net += "\n")
    for (int v = 0; v < 6; ++v) net += u == v ? "0 " : "0.4 ";
  const std::string file = test::write_file("ring32.txt", net + "10\n1000\n");
  const std::vector<std::string> args = {"-xla", "-al:0.1", "-ep:0.1", "-s:1", "-b:6", "-t:2", "-nt:" + file};
  std::vector<std::string> eight = args, one = args;
  eight.insert(eight.begin(), "--parallel:8");
  one.insert(one.begin(), "--parallel:1");
  const test::RunResult limited = test::run_binary(eight, "", 100, 60);
  const test::RunResult alone = test::run_binary(one);
  ASSERT_EQ(limited.status, 0) << limited.err;
  EXPECT_NE(limited.err.find("lumtra: --parallel: the memory left holds "), std::string::npos) << limited.err;
  EXPECT_EQ(without_elapsed(limited.out), without_elapsed(alone.out));
}

// Independent replications on one link of four wavelengths: the batch means
// agree with Erlang's loss formula.
TEST(ParallelBatches, OneLinkAgreesWithErlangB) {
  const std::string net = test::write_file("net.txt", test::single_link({.rate = 3.0, .batches = 20, .time = 500}));
  const std::string json = test::scratch_dir() + "/run.json";
  auto r = run_lumtra({"--parallel:2", "-s:9", "--json:" + json, "-nt:" + net});
  ASSERT_EQ(r.status, 0) << r.err;
  RunningStats s;
  for (double bp : batch_blocking(test::read_file(json))) s.add(bp);
  ASSERT_EQ(s.n, 20u);
  EXPECT_NEAR(s.mean, test::erlang_b(4, 3.0), 4 * s.sd() / std::sqrt(20.0));
}

// With standard error on a terminal, the batches done so far are shown there
// between the batches' lines and the line is cleared at the end; standard
// output gets the same bytes as without a terminal.
TEST(ParallelBatches, ProgressOnATerminalOnly) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string terminal = ptsname(master);
  const int held = open(terminal.c_str(), O_RDWR | O_NOCTTY);  // keeps the terminal up after the run
  ASSERT_GE(held, 0);
  const std::vector<std::string> args = {"--parallel:2", "-s:1", "-b:3", "-t:20", "-nt:" + test::example("nsfnet.txt")};
  test::Spawn how;
  how.stdout_path = test::scratch_dir() + "/out.txt";
  how.stderr_path = terminal;
  int status = 0;
  waitpid(test::start_binary(args, how), &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  fcntl(master, F_SETFL, O_NONBLOCK);
  std::string shown;
  char buf[4096];
  for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) shown.append(buf, size_t(n));
  close(held);
  close(master);
  EXPECT_NE(shown.find("\rbatches: 2 of 3 done on 2 threads"), std::string::npos) << shown;
  EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K") << shown;
  EXPECT_EQ(without_elapsed(test::read_file(how.stdout_path)), without_elapsed(test::run_binary(args).out));
}

}  // namespace
}  // namespace lumtra
