#include "run/estimate_report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "harness.h"

namespace lumtra {
namespace {

using test::run_lumtra;
using test::write_file;

// Two nodes, 3 wavelengths each way, 2 calls per time unit each way: every
// call takes one fibre, which blocks with Erlang's E(3, 2) = 4/19.
const char* kTwoNodes = "2\n1 n\n1 n\n1\n1\n1\n0 3\n3 0\n0 2\n2 0\n4\n2000\n";

double number_after(const std::string& text, const std::string& label) {
  const size_t at = text.find(label);
  return at == std::string::npos ? -1.0 : std::atof(text.c_str() + at + label.size());
}

TEST(EstimateReport, AloneItPrintsTheEstimateAndSimulatesNothing) {
  const std::string prefix = test::scratch_dir() + "/estimate-only";
  auto r = run_lumtra({"--estimate", "-of:" + prefix, "-nt:" + write_file("two.txt", kTwoNodes)});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Model: Erlang fixed point"), std::string::npos) << r.out;
  EXPECT_NEAR(number_after(r.out, "Estimated blocking: "), 4.0 / 19.0, 1e-6);
  EXPECT_NE(r.out.find("\n1-2 2 0.210526\n2-1 2 0.210526\n"), std::string::npos) << r.out;
  for (const char* absent : {"Enter", "Path From", "Batch", "Simulation"})
    EXPECT_EQ(r.out.find(absent), std::string::npos) << absent;
  EXPECT_FALSE(std::filesystem::exists(prefix + "_Blocking_Probability.csv"));
}

// One fibre is exactly an Erlang loss system, so the simulation must agree
// with the estimate within its noise: 4 batches of about 4000 calls a pair.
TEST(EstimateReport, BesideTheSimulationTheGapIsTheSimulatorsError) {
  auto r = run_lumtra({"--estimate:simulate", "--summary", "-s:7", "-nt:" + write_file("two.txt", kTwoNodes)});
  ASSERT_EQ(r.status, 0) << r.err;
  const double simulated = number_after(r.out, "Overall Blocking Probability = ");
  ASSERT_GT(simulated, 0.0) << r.out;
  EXPECT_NEAR(simulated, 4.0 / 19.0, 0.1 * 4.0 / 19.0);
  const double gap = number_after(r.out, "gap ");
  EXPECT_NEAR(gap, 100.0 * (4.0 / 19.0 - simulated) / simulated, 0.06) << r.out;
  EXPECT_NE(r.out.find("Estimate (Erlang fixed point (every node converts)): estimated 0.210526, simulated "),
            std::string::npos)
      << r.out;
}

TEST(EstimateReport, WrongChoicesAndSimulationOptionsWithoutSimulateAreRefused) {
  const std::string net = "-nt:" + write_file("two.txt", kTwoNodes);
  auto bad = run_lumtra({"--estimate:convert", net});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err.find("lumtra: command line: --estimate:convert: 'convert' is not a choice"), 0u) << bad.err;
  auto parallel = run_lumtra({"--estimate", "--parallel:2", net});
  EXPECT_EQ(parallel.status, 1);
  EXPECT_NE(parallel.err.find("--estimate:simulate"), std::string::npos) << parallel.err;
  EXPECT_EQ(parallel.out, "");
  // A two-hop segment of 80 wavelengths is past what the model without
  // conversion computes in reasonable time: refused, unless every node is
  // taken as converting.
  const std::string wide = "-nt:" + write_file("wide.txt",
                                               "3\n1 n\n1 n\n1 n\n1\n1\n1\n0 80 0\n80 0 80\n0 80 0\n"
                                               "0 1 1\n1 0 1\n1 1 0\n4\n100\n");
  auto refused = run_lumtra({"--estimate", wide});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find(": fibre 1-2: a segment without conversion of 80 wavelengths"), std::string::npos)
      << refused.err;
  EXPECT_EQ(run_lumtra({"--estimate:conversion", wide}).status, 0);
}

}  // namespace
}  // namespace lumtra
