#include "run/run.h"

#include <gtest/gtest.h>

#include <filesystem>

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

TEST(RunSequence, AFileNamedLikeTheKeyboardIsReadAsAFile) {
  // Its batch values are read and discarded because -b and -t are given, so
  // the learning-automata constants that follow them are found.
  write_file("standard input", "2\n1 n\n1 n\n1\n1\n1\n0 2\n2 0\n0 1\n1 0\n10\n1000\n0.1\n0.01\n");
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(test::scratch_dir());
  auto r = run_lumtra({"-la", "-s:1", "-b:1", "-t:5", "-nt:standard input"});
  std::filesystem::current_path(here);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("Enter 'a' (alpha)"), r.out.rfind("Enter 'a' (alpha)"));
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

namespace lumtra {
namespace {

// Two nodes, traffic one way; the file ends after the batch time unless
// `tail` adds the learning-automata constants.
std::string la_net(const std::string& tail = "") {
  return "2\n1 n\n1 n\n1\n1\n1\n0 2\n2 0\n0 1\n0 0\n2\n10\n" + tail;
}

TEST(LearningConstants, AreAskedForReadFromTheFileOrDiscardedThere) {
  auto asked = run_lumtra({"-ff", "-la", "-s:1", "-nt:" + test::write_file("a.txt", la_net("0.1 0.2\n"))});
  ASSERT_EQ(asked.status, 0) << asked.err;
  EXPECT_NE(asked.out.find("Enter Total Time of each batch: Enter 'a' (alpha) value for learning automata: "
                           "Enter 'e' (epsilon) value for learning automata: \nPath From"),
            std::string::npos);
  // Given on the command line, the file's values are read and discarded:
  // "x" is not a number, so the file is rejected even though -al is given.
  auto bad = run_lumtra({"-la", "-al:0.1", "-nt:" + test::write_file("b.txt", la_net("x 0.2\n"))});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find(": alpha: 'x' is not a number"), std::string::npos) << bad.err;
}

TEST(LearningConstants, AFileMayEndAfterTheBatchTimeOnlyWhenBothAreGiven) {
  std::string net = "-nt:" + test::write_file("n.txt", la_net());
  EXPECT_EQ(run_lumtra({"-la", "-al:0.1", "-ep:0.1", "-s:1", net}).status, 0);
  auto one = run_lumtra({"-la", "-al:0.1", net});
  EXPECT_EQ(one.status, 1);
  EXPECT_NE(one.err.find("alpha: the input ends before this value"), std::string::npos) << one.err;
  auto none = run_lumtra({"-xla", net});
  EXPECT_EQ(none.status, 1);
  // The deterministic automaton needs neither, and an unused -al is ignored.
  auto dla = run_lumtra({"-dla", "-al:7", "-s:1", net});
  EXPECT_EQ(dla.status, 0) << dla.err;
  EXPECT_EQ(dla.out.find("(alpha)"), std::string::npos);
}

TEST(LearningConstants, OutsideZeroToOneAreRefusedWhenAMethodUsesThem) {
  std::string net = "-nt:" + test::write_file("n.txt", la_net("1.5 0.1\n"));
  auto file = run_lumtra({"-la", net});
  EXPECT_EQ(file.status, 1);
  EXPECT_NE(file.err.find(": alpha: '1.5' must lie between 0 and 1"), std::string::npos) << file.err;
  auto cmd = run_lumtra({"-ff", "-la", "-ep:-0.5", "-nt:" + test::write_file("ok.txt", la_net("0.5 0.1\n"))});
  EXPECT_EQ(cmd.status, 1);
  EXPECT_NE(cmd.err.find("lumtra: command line: -ep: '-0.5' must lie between 0 and 1"), std::string::npos) << cmd.err;
}

}  // namespace
}  // namespace lumtra
