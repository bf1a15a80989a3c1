#include "sim/engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>

#include "harness.h"
#include "run/run.h"

namespace lumtra {
namespace {

using test::erlang_b;
using test::PreparedRun;
using test::run_lumtra;
using test::single_link;
using test::SingleLink;
using test::write_file;

// Mean and standard error of the per-batch blocking of pair (1, 2).
void batch_estimate(const std::string& out, double& mean, double& se) {
  std::regex line(R"(bp\[1\]\[2\] = ([0-9.e-]+))");
  std::vector<double> v;
  for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it)
    v.push_back(std::stod((*it)[1]));
  ASSERT_GE(v.size(), 2u);
  mean = 0;
  for (double x : v) mean += x;
  mean /= v.size();
  double ss = 0;
  for (double x : v) ss += (x - mean) * (x - mean);
  se = std::sqrt(ss / (v.size() - 1) / v.size());
}

TEST(EngineAgainstTheory, OneLinkOfNonGroomingNodesIsErlangBWithOneServerPerWavelength) {
  for (auto method : {"-ff", "-lf", "-r"}) {
    const SingleLink link{.slots = 4, .max_slots = 4, .rate = 3.0, .batches = 20, .time = 2000};
    auto r = run_lumtra({method, "-s:3", "-nt:" + write_file("net.txt", single_link(link))});
    ASSERT_EQ(r.status, 0) << r.err;
    double mean, se;
    batch_estimate(r.out, mean, se);
    EXPECT_NEAR(mean, erlang_b(4, 3.0), 4 * se + 1e-3) << method;
  }
}

TEST(EngineAgainstTheory, FullGroomingNodesShareEverySlotOfEveryWavelength) {
  const SingleLink link{.type = 3, .wavelengths = 2, .slots = 4, .rate = 6.0, .batches = 20, .time = 2000};
  auto r = run_lumtra({"-s:5", "-nt:" + write_file("net.txt", single_link(link))});
  ASSERT_EQ(r.status, 0) << r.err;
  double mean, se;
  batch_estimate(r.out, mean, se);
  EXPECT_NEAR(mean, erlang_b(8, 6.0), 4 * se + 1e-3);
}

TEST(Engine, SameSeedGivesIdenticalOutputAndAnotherSeedDoesNot) {
  std::string net = "-nt:" + test::example("nsfnet.txt");
  auto a = run_lumtra({"-r", "-s:11", "-b:2", "-t:50", net});
  auto b = run_lumtra({"-r", "-s:11", "-b:2", "-t:50", net});
  auto c = run_lumtra({"-r", "-s:12", "-b:2", "-t:50", net});
  ASSERT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(test::without_elapsed(a.out), test::without_elapsed(b.out));
  EXPECT_NE(test::without_elapsed(a.out), test::without_elapsed(c.out));
}

// Every call blocked (-at:0), so the pair stream yields only inter-arrival
// times: the batch counts every arrival before its end plus the first one
// at or after it.
TEST(Engine, BatchEndsRightAfterTheFirstArrivalAtOrAfterItsEnd) {
  PreparedRun p({"-at:0", "-b:1", "-t:10", "-nt:" + write_file("net.txt", single_link({.wavelengths = 1, .rate = 2.0}))});
  ASSERT_TRUE(p.status.ok()) << p.status.message;
  Lehmer copy = p.lane().pair_streams[p.run->net.at(0, 1)];
  uint64_t expected = 0;
  for (double t = 0; t < 10; ++expected) t += -std::log(1.0 - copy.uniform()) / 2.0;
  BatchRecord record;
  ASSERT_TRUE(run_batch(p.lane(), p.input(), 1, record).ok());
  EXPECT_EQ(record.arrived, expected);
  EXPECT_EQ(record.blocked, expected);
}

// Two full-grooming nodes, two wavelengths of five slots; `used` slots are
// taken on each wavelength first.
struct SplitFixture {
  PreparedRun p;
  explicit SplitFixture(std::vector<uint32_t> used)
      : p({"-m", "-nt:" + write_file("net.txt", single_link({.type = 3, .wavelengths = 2, .slots = 5,
                                                               .max_slots = 5}))}) {
    EXPECT_TRUE(p.status.ok()) << p.status.message;
    p.start_batch();
    for (uint32_t w = 0; w < used.size(); ++w)
      if (used[w]) p.take(0, 1, w, used[w]);
  }
  const uint32_t* channels() { return p.lane().links.channels_of(p.lane().links.link(0, 1)); }
  bool place(uint32_t demand) { return place_call(p.lane(), p.input(), 0, 1, demand); }
};

TEST(Engine, AMultiWavelengthCallSplitsOverWavelengthsAndDepartsAsOne) {
  SplitFixture f({1, 4});  // room for 4 on wavelength 0 and 1 on wavelength 1
  ASSERT_TRUE(f.place(5));
  EXPECT_EQ(f.channels()[0], 0u);
  EXPECT_EQ(f.channels()[1], 0u);
  EventList& events = f.p.lane().events;
  ASSERT_EQ(events.size(), 2u);
  uint32_t a = events.pop(), b = events.pop();
  EXPECT_EQ(events[a].kind, kDeparture);
  EXPECT_EQ(events[a].time, events[b].time);
  EXPECT_GT(events[a].time, 0.0);
  EXPECT_EQ(events[a].slots + events[b].slots, 5u);
}

TEST(Engine, ABlockedMultiWavelengthCallGivesBackThePartsItPlaced) {
  SplitFixture f({4, 5});  // room for only 1 slot
  EXPECT_FALSE(f.place(2));
  EXPECT_EQ(f.channels()[0], 1u);
  EXPECT_EQ(f.channels()[1], 0u);
  EXPECT_TRUE(f.p.lane().events.empty());
}

TEST(Reports, PrintTheBatchLinesAndFinalStatisticsInTheirFormats) {
  auto r = run_lumtra({"-s:2", "-b:2", "-nt:" + write_file("net.txt", single_link({.wavelengths = 1, .batches = 3, .time = 20}))});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\nSimulation Started....\nBatch 1:\n\nbp\\[1\\]\\[2\\] = [0-9.e-]+ *\t "
                                                  "Arrived: [0-9]+\tBlocked: [0-9]+\n-{46}\nBatch 2:\n")))
      << r.out;
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex("\n\nAverage Blocking Rates:\n\nAv.bp\\[1\\]\\[2\\] = [0-9.e-]+\nAv.bp\\[2\\]\\[1\\] = 0\n"
                        "\nTotal Blocked = [0-9]+\nTotal Arrived = [0-9]+\nAverage Blocking Probability = [0-9.e-]+"
                        "\nOverall Blocking Probability = [0-9.e-]+\nAverage of Averages Blocking Probability = "
                        "[0-9.e-]+\nMaximum Blocking Probability is Av.bp\\[1\\]\\[2\\] = [0-9.e-]+"
                        "\nMinimum Blocking Probability is Av.bp\\[2\\]\\[1\\] = 0\nVariance = [0-9.e-]+"
                        "\nAverage Number of attempts = [0-9.e-]+\nSimulation Time: [0-9]+ sec\n$")))
      << r.out;
}

TEST(Reports, ResultFilesGrowByOneValuePerRunWithAndWithoutRowNames) {
  std::string dir = test::scratch_dir();
  std::string net = "-nt:" + write_file("net.txt", single_link({.wavelengths = 1, .batches = 2, .time = 20}));
  for (auto row : {"-or:runA", "-or:runB"}) ASSERT_EQ(run_lumtra({"-s:1", "-of:" + dir + "/named", row, net}).status, 0);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(run_lumtra({"-s:1", "-of:" + dir + "/plain", net}).status, 0);
  std::string named = test::read_file(dir + "/named_Variance.csv");
  std::string plain = test::read_file(dir + "/plain_Av_No_Attempts.csv");
  EXPECT_TRUE(std::regex_match(named, std::regex("\nrunA, [0-9.e-]+\nrunB, [0-9.e-]+"))) << named;
  EXPECT_TRUE(std::regex_match(plain, std::regex(", [0-9.e-]+, [0-9.e-]+"))) << plain;
  for (auto suffix : {"_Blocking_Probability.csv", "_Max_Blocking_Probability.csv", "_Min_Blocking_Probability.csv"})
    EXPECT_TRUE(std::regex_match(test::read_file(dir + "/named" + suffix),
                                 std::regex("\nrunA, [0-9.e-]+\nrunB, [0-9.e-]+")));
}

TEST(Reports, NoStatisticIsEverNanOrASentinel) {
  // One real node whose port carries all its traffic: one reported node, so
  // no included pair and divisors that are not positive. The extremes are
  // missing, not zero, in the report and in the Result files.
  const std::string prefix = test::scratch_dir() + "/one";
  auto r = run_lumtra({"-vi", "-s:1", "-of:" + prefix,
                       "-nt:" + write_file("net.txt", "1\n2 n 1\n1\n1\n1\n0 1\n1 0\n0 1\n1 0\n1\n5\n")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("nan"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("inf"), std::string::npos);
  EXPECT_EQ(r.out.find("2147483647"), std::string::npos);
  EXPECT_NE(r.out.find("\nMaximum Blocking Probability is Av.bp[-][-] = none"
                       "\nMinimum Blocking Probability is Av.bp[-][-] = none\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(test::read_file(prefix + "_Max_Blocking_Probability.csv"), ", ");
  EXPECT_EQ(test::read_file(prefix + "_Min_Blocking_Probability.csv"), ", ");
}

}  // namespace
}  // namespace lumtra
