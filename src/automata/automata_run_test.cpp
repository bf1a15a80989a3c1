// Whole runs of the automata: agreement with Erlang B on a single link, and
// every combination of an automaton with another half running to its end.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <regex>
#include <sstream>

#include "harness.h"

namespace lumtra {
namespace {

using test::run_lumtra;
using test::write_file;

// Two non-grooming nodes joined by a fibre of `w` wavelengths, traffic only
// from node 1 to node 2 at `load` Erlang (departure rate 1).
std::string single_link(int w, double load, int batches, double time) {
  std::ostringstream s;
  s << "2\n1 n\n1 n\n1\n1\n1\n0 " << w << "\n" << w << " 0\n0 " << load << "\n0 0\n" << batches << "\n" << time << "\n";
  return s.str();
}

// The per-batch lines of pair (1, 2).
std::vector<std::string> batch_lines(const std::string& out) {
  std::regex line(R"(\n(bp\[1\]\[2\] = [^\n]*))");
  std::vector<std::string> v;
  for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it) v.push_back((*it)[1]);
  return v;
}

// On one link a call is blocked exactly when every wavelength is busy,
// whatever order a method tries them in, as long as it tries them all: the
// batches must match first fit call for call (the traffic streams do not
// depend on the method), and Erlang B within the batch-mean error.
TEST(AutomataAgainstTheory, ASingleLinkBlocksAsErlangBWithOneServerPerWavelength) {
  const std::string net = "-nt:" + write_file("net.txt", single_link(4, 3.0, 20, 2000));
  auto first_fit = run_lumtra({"-ff", "-s:7", net});
  ASSERT_EQ(first_fit.status, 0) << first_fit.err;
  const std::vector<std::vector<std::string>> methods = {
      {"-la"}, {"-xla"}, {"-dla"}, {"-la", "-dla"}, {"-dla", "-la"}, {"-ff", "-la"}, {"-r", "-dla"}};
  for (const auto& m : methods) {
    std::vector<std::string> args = m;
    for (const char* a : {"-al:0.1", "-ep:0.1", "-s:7"}) args.push_back(a);
    args.push_back(net);
    auto r = run_lumtra(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string name = m[0] + (m.size() > 1 ? " " + m[1] : "");
    const std::vector<std::string> lines = batch_lines(r.out);
    EXPECT_EQ(lines, batch_lines(first_fit.out)) << name;
    ASSERT_EQ(lines.size(), 20u);
    double mean = 0, squares = 0;
    for (const std::string& l : lines) mean += std::stod(l.substr(l.find('=') + 1)) / 20;
    for (const std::string& l : lines) squares += std::pow(std::stod(l.substr(l.find('=') + 1)) - mean, 2);
    // 95 % half-width over 20 batches, t(0.975, 19) = 2.093024; allow two.
    const double half_width = 2.093024 * std::sqrt(squares / 19 / 20);
    // Erlang B(4, 3) = (81/24) / (1 + 3 + 9/2 + 27/6 + 81/24) = 3.375 / 16.375.
    EXPECT_NEAR(mean, 3.375 / 16.375, 2 * half_width + 1e-3) << name;
  }
}

TEST(AutomataRuns, EveryCombinationWithAnotherHalfRunsToItsEnd) {
  const std::string net = "-nt:" + test::example("nsfnet.txt");
  const std::vector<std::vector<std::string>> methods = {
      {"-la", "-pr", "-sh", "-mc:1"}, {"-la", "-pr", "-sh", "-sla", "-mc:1"}, {"-dla", "-pr", "-sh", "-mc:1"},
      {"-xla", "-mc:1"},          {"-ff", "-xla"},        {"-la", "-ff"},
      {"-lf", "-dla"},            {"-dla", "-r"},         {"-la", "-dla", "-m"},
      {"-ll", "-la"},             {"-wmcr", "-dla"},      {"-dla", "-ml"}};
  for (const auto& m : methods) {
    std::vector<std::string> args = m;
    for (const char* a : {"-al:0.1", "-ep:0.1", "-s:3", "-b:2", "-t:20"}) args.push_back(a);
    args.push_back(net);
    auto r = run_lumtra(args);
    EXPECT_EQ(r.status, 0) << m[0] << " " << m[1] << ": " << r.err;
    EXPECT_NE(r.out.find("Overall Blocking Probability = "), std::string::npos) << m[0] << " " << m[1];
  }
}

}  // namespace
}  // namespace lumtra
