#include "run/batches.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <regex>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"

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

// Fixed outputs of the replication mode: the streams of batch b of seed S
// are its own, so neither a neighbouring seed nor a neighbouring batch gives
// the same figures. (Recorded from a run; any change of the streams, the
// warm-up or the pooling shows here.)
TEST(ParallelBatches, PinnedFiguresForTwoSeeds) {
  const std::string net = "-nt:" + test::example("nsfnet.txt");
  auto five = run_lumtra({"--summary", "--parallel:3", "-s:5", "-b:4", "-t:40", net});
  EXPECT_NE(five.out.find("Average Blocking Probability = 0.0381964\n"), std::string::npos) << five.out;
  EXPECT_NE(five.out.find("Pooled Blocking Probability (total blocked / total arrived) = 0.0382048\n"
                          "Pooled Blocking Probability 95% Confidence Interval (score interval over the batch totals) = "
                          "0.0344176 to 0.0424089\n"),
            std::string::npos)
      << five.out;
  const std::string json = test::scratch_dir() + "/six.json";
  auto six = run_lumtra({"--summary", "--parallel:2", "-s:6", "-b:4", "-t:40", "--json:" + json, net});
  EXPECT_NE(six.out.find("Pooled Blocking Probability (total blocked / total arrived) = 0.0324334\n"), std::string::npos)
      << six.out;
  // The document's half-width is half the interval it gives.
  const std::string doc = test::read_file(json);
  auto number_after = [&](const std::string& key, size_t from = 0) {
    return std::stod(doc.substr(doc.find(key, from) + key.size()));
  };
  const size_t interval = doc.find("\"pooled_interval_95\":");
  EXPECT_NEAR(number_after("\"pooled_half_width_95\":"),
              (number_after("\"high\":", interval) - number_after("\"low\":", interval)) / 2, 1e-12);
  // Random routing draws from the Method stream, which is the batch's own too.
  auto random = run_lumtra({"--summary", "--parallel:2", "-r", "-s:5", "-b:4", "-t:40", net});
  EXPECT_NE(random.out.find("Pooled Blocking Probability (total blocked / total arrived) = 0.0416702\n"),
            std::string::npos)
      << random.out;
}

// Thousands of batches far shorter than the time a lane takes to hand one
// over: no lane may wait for a slot that is never freed.
TEST(ParallelBatches, ManyShortBatchesOnFourThreadsFinish) {
  std::vector<std::string> args = {"--summary", "-s:1", "-b:5000", "-t:0.5", "--warmup:0",
                                   "-nt:" + test::example("nsfnet.txt")};
  args.insert(args.begin(), "--parallel:4");
  const test::RunResult four = test::run_binary(args, "", 0, 30);
  ASSERT_EQ(four.status, 0) << "status " << four.status << " (142: killed after 30 s)\n" << four.err;
  EXPECT_NE(four.out.find("Batches: 5000 of 0.5 time units\n"), std::string::npos) << four.out;
  args[0] = "--parallel:1";
  EXPECT_EQ(test::run_binary(args).out, four.out);
}

// The (arrived, blocked) totals of every batch in a JSON document.
std::vector<std::pair<double, double>> batch_totals(const std::string& json) {
  std::vector<std::pair<double, double>> out;
  const std::regex batch("\\{\"batch\":\\d+,\"arrived\":(\\d+),\"blocked\":(\\d+)");
  for (std::sregex_iterator it(json.begin(), json.end(), batch), end; it != end; ++it)
    out.emplace_back(std::stod((*it)[1]), std::stod((*it)[2]));
  return out;
}

// Student's t, 97.5 % quantile, for 3 .. 29 degrees of freedom (printed tables).
constexpr std::array<double, 27> kT975 = {3.182446, 2.776445, 2.570582, 2.446912, 2.364624, 2.306004, 2.262157,
                                          2.228139, 2.200985, 2.178813, 2.160369, 2.144787, 2.131450, 2.119905,
                                          2.109816, 2.100922, 2.093024, 2.085963, 2.079614, 2.073873, 2.068658,
                                          2.063899, 2.059539, 2.055529, 2.051831, 2.048407, 2.045230};

// The rule is checked after each batch from --min-batches on: the run stops
// at the first batch whose pooled interval, recomputed here from the batch
// totals as the manual gives it, is at most the target share of the pooled
// blocking.
TEST(Precision, StopsAtTheFirstBatchFromTheMinimumThatMeetsTheTarget) {
  const std::string json = test::scratch_dir() + "/run.json";
  for (const char* mode : {"--parallel:2", "--ci"}) {
    auto r = run_lumtra({mode, "--precision:0.15", "--min-batches:4", "-s:2", "-b:3", "-t:40", "--json:" + json,
                         "-nt:" + test::example("nsfnet.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto totals = batch_totals(test::read_file(json));
    ASSERT_GE(totals.size(), 4u);
    for (size_t n = 4; n <= totals.size(); ++n) {
      double a = 0, c = 0;
      for (size_t k = 0; k < n; ++k) a += totals[k].first, c += totals[k].second;
      ASSERT_LE(n - 4, kT975.size() - 1) << "more batches than the table covers";
      const double r_hat = c / a, t = kT975[n - 4];
      double squares = 0;
      for (size_t k = 0; k < n; ++k) squares += std::pow(totals[k].second - r_hat * totals[k].first, 2);
      const double phi = std::max(1 - r_hat, squares / (double(n - 1) * r_hat * a / double(n)));
      const double q = t * t * phi, root = std::sqrt(q * (4 * c + q));
      const double half = root / (2 * a);  // the roots lie (2C + q -+ root) / 2A
      EXPECT_EQ(half <= 0.15 * r_hat, n == totals.size()) << mode << " after " << n << " batches";
    }
    EXPECT_NE(r.out.find("% of the Pooled Blocking Probability after " + std::to_string(totals.size()) +
                         " batches, target 15% met\nSimulation Time"),
              std::string::npos)
        << r.out.substr(r.out.size() - 300);
  }
  // By default no check comes before batch 20, however wide the target.
  auto r = run_lumtra({"--parallel:2", "--precision:0.9", "-s:2", "-b:3", "-t:40", "--json:" + json,
                       "-nt:" + test::example("nsfnet.txt")});
  EXPECT_EQ(batch_totals(test::read_file(json)).size(), 20u);
}

// Nothing blocked: no interval of 0 +- 0 but the upper bound over the calls
// counted, and --precision runs on to --max-batches.
TEST(Precision, NothingBlockedGivesAnUpperBoundAndRunsToTheLimit) {
  const std::string net = "-nt:" + test::example("nsfnet.txt");
  const std::string json = test::scratch_dir() + "/run.json";
  auto quiet = run_lumtra({"--precision:0.05", "--max-batches:30", "--ci", "-f:0.001", "-s:1", "-b:2", "-t:10",
                           "--json:" + json, net});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_NE(quiet.out.find("\nBatch 30:"), std::string::npos);
  EXPECT_EQ(quiet.out.find("\nBatch 31:"), std::string::npos);
  EXPECT_EQ(quiet.out.find("Half-Width = 0\n"), std::string::npos);
  const auto totals = batch_totals(test::read_file(json));
  double arrived = 0;
  for (const auto& t : totals) arrived += t.first;
  ASSERT_GT(arrived, 0);
  char bound[64];
  std::snprintf(bound, sizeof bound, "%g", 1 - std::pow(0.05, 1 / arrived));
  EXPECT_NE(quiet.out.find("Average Blocking Probability 95% Confidence Half-Width: none, no call was blocked\n"
                           "Pooled Blocking Probability (total blocked / total arrived) = 0\n"
                           "Pooled Blocking Probability 95% Upper Bound (no call blocked of " +
                           std::to_string(int64_t(arrived)) + ") = " + bound + "\n"),
            std::string::npos)
      << quiet.out.substr(quiet.out.size() - 600);
  EXPECT_NE(quiet.out.find("\nPrecision: no call was blocked in 30 batches, so the blocking is below the 95% upper "
                           "bound " + std::string(bound)),
            std::string::npos);
  EXPECT_NE(quiet.err.find("no call was blocked in 30 batches"), std::string::npos) << quiet.err;

  auto capped = run_lumtra({"--precision:0.001", "--max-batches:4", "--min-batches:2", "-s:1", "-b:2", "-t:20",
                            "--json:" + json, net});
  EXPECT_NE(test::read_file(json).find("\"met\":false,\"resolvable\":true"), std::string::npos);
  EXPECT_EQ(capped.status, 0);
  EXPECT_NE(capped.out.find("\nBatch 4:"), std::string::npos);
  EXPECT_EQ(capped.out.find("\nBatch 5:"), std::string::npos);
  EXPECT_NE(capped.out.find("after 4 batches, target 0.1% not met within 4 batches\n"), std::string::npos);
  EXPECT_EQ(capped.err, "lumtra: --precision: the target of 0.1 % was not met within 4 batches; raise "
                        "--max-batches or lengthen the batches (-t)\n");
  // The batches asked for with -b all run, even beyond --max-batches.
  auto beyond = run_lumtra({"--precision:0.001", "--max-batches:4", "-s:1", "-b:6", "-t:20", net});
  EXPECT_NE(beyond.out.find("\nBatch 6:"), std::string::npos);
  EXPECT_EQ(beyond.out.find("\nBatch 7:"), std::string::npos);
  EXPECT_NE(beyond.err.find("not met within 6 batches"), std::string::npos) << beyond.err;
  // and the target is first checked after the last of them, however early
  // --min-batches says.
  auto early = run_lumtra({"--precision:0.9", "--min-batches:2", "-s:1", "-b:6", "-t:20", net});
  EXPECT_NE(early.out.find("Pooled Blocking Probability after 6 batches, target 90% met\n"), std::string::npos)
      << early.out.substr(early.out.size() - 300);
  EXPECT_EQ(run_lumtra({"--max-batches:4", net}).status, 1);  // only with --precision
  EXPECT_EQ(run_lumtra({"--min-batches:4", net}).err,
            "lumtra: command line: --min-batches: needs --precision:R, the precision the batches are added for\n");
  EXPECT_EQ(run_lumtra({"--precision:0.1", "--min-batches:1", net}).status, 1);
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
  const std::vector<double> bp = batch_blocking(test::read_file(json));
  ASSERT_EQ(bp.size(), 20u);
  double mean = 0, squares = 0;
  for (double x : bp) mean += x / 20;
  for (double x : bp) squares += (x - mean) * (x - mean);
  // B(4, 3) = (81/24) / (1 + 3 + 9/2 + 27/6 + 81/24) = 3.375 / 16.375.
  EXPECT_NEAR(mean, 3.375 / 16.375, 4 * std::sqrt(squares / 19 / 20));
}

// Every batch starts from an empty link: short batches count too little
// blocking unless their start is left out. One link of 8 wavelengths at 4
// Erlangs, batches of 2 mean holding times.
TEST(Warmup, ShortBatchesGiveErlangBOnlyWithTheWarmup) {
  const std::string net = test::write_file("net.txt", test::single_link({.wavelengths = 8, .rate = 4.0, .batches = 400, .time = 2}));
  const double exact = test::erlang_b(8, 4.0);  // 0.0304201
  EXPECT_NEAR(exact, 0.0304201, 1e-7);
  auto interval = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"--parallel:2", "--ci", "-s:4", "-nt:" + net};
    args.insert(args.end(), extra.begin(), extra.end());
    auto r = run_lumtra(args);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string key = "(score interval over the batch totals) = ";
    const size_t at = r.out.find(key) + key.size();
    const double low = std::stod(r.out.substr(at));
    return std::pair(low, std::stod(r.out.substr(r.out.find(" to ", at) + 4)));
  };
  const auto warmed = interval({});
  EXPECT_LE(warmed.first, exact);
  EXPECT_GE(warmed.second, exact);
  EXPECT_LT(interval({"--warmup:0"}).second, exact);  // wholly below the truth
}

// Paired traffic: two methods run with the same seed in the replication
// mode see the same calls, batch by batch and pair by pair, even when one
// draws from the Method stream and the calls have sizes.
TEST(ParallelBatches, TwoMethodsWithTheSameSeedSeeTheSameArrivals) {
  const std::string dir = test::scratch_dir();
  for (const char* net : {"nsfnet.txt", "all-node-types.txt"}) {
    std::string first;
    for (const char* method : {"-ff", "-r", "-la"}) {
      const std::string json = dir + "/" + net + method + ".json";
      auto r = run_lumtra({"--parallel:2", method, "-al:0.1", "-ep:0.1", "-m", "-s:7", "-b:4", "-t:30",
                           "--json:" + json, "-nt:" + test::example(net)});
      ASSERT_EQ(r.status, 0) << r.err;
      const std::string doc = test::read_file(json);
      std::string arrivals;
      const std::regex pair("\"source\":(\\d+),\"destination\":(\\d+),\"arrived\":(\\d+)");
      for (std::sregex_iterator it(doc.begin(), doc.find("\"pair_averages\"") + doc.begin(), pair), end; it != end;
           ++it)
        arrivals += it->str() + "\n";
      ASSERT_GT(arrivals.size(), 100u);
      if (first.empty()) first = arrivals;
      EXPECT_EQ(arrivals, first) << net << " " << method;
    }
  }
}

// The deterministic automaton's learned order carries over between classic
// batches: an interval over them is too narrow, and the run says so.
TEST(ParallelBatches, TheCarriedOverAutomatonIsWarnedAboutOutsideTheReplicationMode) {
  const std::string net = "-nt:" + test::example("ring-6.txt");
  const std::string warning = "lumtra: -dla: the deterministic automaton carries its learned order from batch to "
                              "batch, so its batches are not independent and the confidence interval is too narrow; "
                              "use --parallel for independent batches\n";
  EXPECT_EQ(run_lumtra({"-dla", "--ci", "-s:1", "-b:2", "-t:10", net}).err, warning);
  EXPECT_EQ(run_lumtra({"-dla", "--parallel", "--ci", "-s:1", "-b:2", "-t:10", net}).err, "");
  EXPECT_EQ(run_lumtra({"-dla", "-s:1", "-b:2", "-t:10", net}).err, "");
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
