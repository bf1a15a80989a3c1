#include "run/run.h"

#include <gtest/gtest.h>

#include "harness.h"

namespace lumtra {
namespace {

using test::run_lumtra;
using test::write_file;

// Node 3 has traffic to node 1 but no fibre leads out of it.
const char* kNoPathNet =
    "3\n1 n\n1 n\n1 n\n1\n1\n1\n"
    "0 1 0\n1 0 1\n0 0 0\n"
    "0 1 0\n1 0 0\n1 0 0\n"
    "2\n10\n";

TEST(RunSequence, APairWithTrafficAndNoPathStopsBeforeTheBatchesAndWritesNoResults) {
  std::string prefix = test::scratch_dir() + "/res";
  auto r = run_lumtra({"-s:1", "-of:" + prefix, "-nt:" + write_file("net.txt", kNoPathNet)});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Warning: There are no paths from 3 to 1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nPath From 1 to 2: 1-2\nCost: 1\n"), std::string::npos);
  EXPECT_TRUE(r.out.ends_with(
      "Can not continue simulation. define BLOCK_IF_NOPATH directive in the program to deal will this case"));
  EXPECT_EQ(r.out.find("Simulation Started"), std::string::npos);
  EXPECT_EQ(test::read_file(prefix + "_Blocking_Probability.csv"), "");
}

TEST(RunSequence, ANetworkWithoutTrafficStopsAfterTheBatchValues) {
  std::string net = "2\n1 n\n1 n\n1\n1\n1\n0 1\n1 0\n0 0\n0 0\n2\n10\n";
  auto r = run_lumtra({"-nt:" + write_file("net.txt", net)});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no pair of nodes has traffic"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("Path From"), std::string::npos);
}

TEST(RunSequence, CommandLineBatchValuesOverrideTheFileWhoseValuesAreConsumed) {
  // The file holds 10 batches of 1000; -b:3 -t:5 run three short batches.
  auto r = run_lumtra({"-s:1", "-b:3", "-t:5", "-nt:" + test::example("three-node.txt")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\nBatch 3:\n"), std::string::npos);
  EXPECT_EQ(r.out.find("\nBatch 4:\n"), std::string::npos);
  EXPECT_EQ(r.out.find("Enter Number of Batches"), std::string::npos);
}

TEST(RunSequence, InteractiveEntryWithBatchValuesOnTheCommandLineEndsAfterTheRates) {
  std::string answers = "2\n1 n\n1 n\n1\n1\n1\n0 2\n2 0\n0 1\n1 0\n";
  auto r = run_lumtra({"-i", "-s:2", "-b:1", "-t:10"}, answers);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Enter Arrival rates from node 2 to other nodes: \nPath From 1 to 2: 1-2"), std::string::npos)
      << r.out.substr(0, 2000);
}

TEST(RunSequence, GivenTheSameSeedTwoInteractiveAndFileRunsAgree) {
  std::string net = test::read_file(test::example("three-node.txt"));
  auto file = run_lumtra({"-s:5", "-b:2", "-t:50", "-nt:" + write_file("net.txt", net)});
  auto typed = run_lumtra({"-i", "-s:5", "-b:2", "-t:50"}, net);
  ASSERT_EQ(file.status, 0) << file.err;
  ASSERT_EQ(typed.status, 0) << typed.err;
  EXPECT_EQ(test::without_elapsed(file.out), test::without_elapsed(typed.out));
}

}  // namespace
}  // namespace lumtra
