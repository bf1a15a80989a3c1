#include "run/check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "harness.h"

namespace lumtra {
namespace {

using test::run_lumtra;
using test::write_file;

TEST(Check, AGoodNetworkIsDescribedAndCanRun) {
  const std::string prefix = test::scratch_dir() + "/res";
  auto r = run_lumtra({"--check", "-of:" + prefix, "-nt:" + test::example("ring-6.txt")});
  EXPECT_EQ(r.status, 0) << r.err;
  // No Result file is written, and standard error says so.
  EXPECT_EQ(r.err, "lumtra: command line: -of:" + prefix + ": not used by --check, which simulates nothing\n");
  EXPECT_NE(r.out.find("Nodes: 6 (6 non grooming), no Virtual nodes\n"
                       "Fibres: 12 one-way fibres of 4 wavelengths, 48 wavelengths in all\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Capacities that differ between the two directions: none\n"), std::string::npos);
  EXPECT_NE(r.out.find("Offered load: 12 Erlangs"), std::string::npos);
  EXPECT_TRUE(r.out.ends_with("Pairs with traffic but no candidate path: none\nThe network can run.\n")) << r.out;
  EXPECT_EQ(r.out.find("Enter"), std::string::npos);  // no prompts
  EXPECT_FALSE(std::filesystem::exists(prefix + "_Blocking_Probability.csv"));
}

// One value missing from a capacity row shifts the rest of the file: the
// run itself would stop at pairs without paths far from the real mistake.
TEST(Check, AValueMissingFromACapacityRowShowsAsAnAsymmetry) {
  std::string net = test::read_file(test::example("ring-6.txt"));
  net.replace(net.find("4 0 4 0 0 0"), 11, "4 0 4 0 0");
  auto r = run_lumtra({"--check", "-nt:" + write_file("net.txt", net)});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Capacities that differ between the two directions: 7 pairs: 1-3 (0 and 4), 1-6 (4 and 0),"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Arrival rates that differ between the two directions: 5 pairs: 1-2 (0.4 and 0)"),
            std::string::npos);
}

TEST(Check, APairWithTrafficAndNoPathCannotRun) {
  // Node 3 has traffic to node 1 but no fibre leads out of it.
  const std::string file = write_file("net.txt", "3\n1 n\n1 n\n1 n\n1\n1\n1\n0 1 0\n1 0 1\n0 0 0\n"
                                                 "0 1 0\n1 0 0\n1 0 0\n2\n10\n");
  auto r = run_lumtra({"--check", "-nt:" + file});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Pairs with traffic but no candidate path: 1 pair: 3-1\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "lumtra: " + file + ": pair 3-1: no candidate path\n");
  // The run itself says so too, on standard error as well as in its stop line.
  r = run_lumtra({"-s:1", "-nt:" + file});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "lumtra: " + file + ": pair 3-1: no candidate path\n");
}

TEST(Summary, AShortBlockInsteadOfTheClassicOutput) {
  const std::string net = "-nt:" + test::example("ring-6.txt");
  auto classic = run_lumtra({"-la", "-s:3", "-b:3", "-t:50", net});
  auto summary = run_lumtra({"--summary", "-la", "-s:3", "-b:3", "-t:50", net});
  ASSERT_EQ(summary.status, 0) << summary.err;
  const std::string figures = classic.out.substr(classic.out.find("\nAverage Blocking Probability = "));
  // The figures, then why calls were blocked and where (Observed* tests).
  const std::string figures_part = summary.out.substr(0, summary.out.find("Blocked by cause: "));
  EXPECT_EQ(figures_part.substr(0, figures_part.rfind(" = ") + 3), "Network: " + net.substr(4) + " (6 nodes)\nRouting: fast learning automata (-la)\n" +
                             "Wavelength assignment: fast learning automata (-la)\nSeed: 3\nBatches: 3 of 50 time units" +
                             figures.substr(0, figures.find("\nSimulation Time")) +
                             "\nPooled Blocking Probability (total blocked / total arrived) = " +
                             figures.substr(figures.find("\nOverall Blocking Probability = ") + 32,
                                            figures.find("\nAverage of Averages") -
                                                figures.find("\nOverall Blocking Probability = ") - 32) +
                             "\nPooled Blocking Probability 95% Confidence Interval (score interval over the batch "
                             "totals) = ");

  auto with_ci = run_lumtra({"--summary", "--ci", "-la", "-s:3", "-b:3", "-t:50", net});
  EXPECT_NE(with_ci.out.find("\nAverage Blocking Probability 95% Confidence Half-Width = "), std::string::npos);
  EXPECT_EQ(summary.err, "");
  // Without -s the seed the clock gave goes to standard error.
  auto unseeded = run_lumtra({"--summary", "-b:1", "-t:5", net});
  const std::string seed = unseeded.out.substr(unseeded.out.find("Seed: ") + 6);
  EXPECT_EQ(unseeded.err, "lumtra: seed " + seed.substr(0, seed.find('\n')) + "\n");
}

// A grooming network with ports and cores, mean holding time 0.5 (-dr:2).
// By hand: fibres 6 x 4 between the real nodes, 2 x 2 to and from node 1's
// port, 4 x 1 to and from node 3's two cores; the traffic of the port
// counts for node 1, so only 1-2 differs (1 and 0.5); 3.5 calls per time
// unit held 0.5 on average offer 1.75 Erlangs; the default warm-up is ten
// mean holding times.
const char* const kGroomingNetwork =
    "3\n2 y 1 2 2 0.5 0.5\n3 n\n4 n 2 1 1 1 1 0 0\n4\n1\n2\n"
    "0 4 4\n4 0 4\n4 4 0\n0 1 0.5\n0.5 0 0.5\n0.5 0.5 0\n3\n20\n";

TEST(Check, AGroomingNetworkWithAnotherDepartureRate) {
  const std::string file = write_file("groom.txt", kGroomingNetwork);
  auto r = run_lumtra({"--check", "-dr:2", "-nt:" + file});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find("Candidate paths")),
            "Network check: " + file +
                "\nNodes: 3 (1 single-hop grooming, 1 full grooming, 1 partial grooming), 3 Virtual nodes for grooming "
                "ports and cores\n"
                "Fibres: 12 one-way fibres of 1 to 4 wavelengths, 32 wavelengths in all\n"
                "Time slots: 4 per wavelength, calls of 1 to 2 slots\n"
                "Capacities that differ between the two directions: none\n"
                "Converting nodes: 1 of 3: 1\n"
                "Arrival rates that differ between the two directions: 1 pair: 1-2 (1 and 0.5)\n"
                "Arrival rates from a node to itself: none\n"
                "Offered load: 1.75 Erlangs (3.5 calls per time unit, mean holding time 0.5)\n"
                "Batches: 3 of 20 time units\n");
}

// Lists show ten items and then how many more there are.
TEST(Check, ListsShowTenItemsAndCountTheRest) {
  for (int n : {10, 11}) {
    std::string net = std::to_string(n) + "\n";
    for (int k = 0; k < n; ++k) net += "1 y\n";
    net += "1\n1\n1\n";
    for (int u = 0; u < n; ++u, net += "\n")
      for (int v = 0; v < n; ++v) net += (v == (u + 1) % n || u == (v + 1) % n) ? "2 " : "0 ";
    for (int u = 0; u < n; ++u, net += "\n")
      for (int v = 0; v < n; ++v) net += v == (u + 1) % n ? "0.1 " : "0 ";
    auto r = run_lumtra({"--check", "-nt:" + write_file("ring.txt", net + "1\n10\n")});
    const std::string ten = "1, 2, 3, 4, 5, 6, 7, 8, 9, 10";
    EXPECT_NE(r.out.find("\nConverting nodes: " + std::to_string(n) + " of " + std::to_string(n) + ": " + ten +
                         (n == 10 ? "\n" : ", and 1 more\n")),
              std::string::npos)
        << r.out;
  }
}

// The summary counts the batches that ran: --precision adds some to the
// three the file plans.
TEST(Summary, TheBatchesThatRanOnAGroomingNetwork) {
  const std::string file = write_file("groom.txt", kGroomingNetwork);
  const std::string json = test::scratch_dir() + "/run.json";
  auto r = run_lumtra({"--summary", "-dr:2", "-s:3", "--precision:0.9", "--min-batches:4", "--json:" + json,
                       "-nt:" + file});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string doc = test::read_file(json);
  size_t ran = 0;
  for (size_t at = doc.find("{\"batch\":"); at != std::string::npos; at = doc.find("{\"batch\":", at + 1)) ++ran;
  EXPECT_GT(ran, 4u);
  EXPECT_NE(r.out.find("Seed: 3\nBatches: " + std::to_string(ran) +
                       " of 20 time units, each after a warm-up of 5 not counted\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("after " + std::to_string(ran) + " batches, target 90% met\n"), std::string::npos) << r.out;
}

TEST(UnknownOptions, AreWarnedAboutAndRefusedUnderStrict) {
  const std::string net = "-nt:" + test::example("ring-6.txt");
  auto warned = run_lumtra({"-wlrc", "-s:1", "-b:1", "-t:5", net});
  EXPECT_EQ(warned.status, 0);
  EXPECT_EQ(warned.err, "lumtra: command line: -wlrc: unknown option, ignored\n");
  auto plain = run_lumtra({"-s:1", "-b:1", "-t:5", net});
  EXPECT_EQ(test::without_elapsed(warned.out), test::without_elapsed(plain.out));
  auto refused = run_lumtra({"--strict", "-wlrc", "-s:1", net});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err, "lumtra: command line: -wlrc: unknown option (refused under --strict)\n");
}

}  // namespace
}  // namespace lumtra
