// The placement skeleton and the routing halves, driven directly on
// prepared runs: the fit rule, the free-wavelength window, the attempt
// limit, and what every routing half offers when every path fails.
#include "rwa/placement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness.h"

namespace lumtra {
namespace {

using test::PreparedRun;
using test::single_link;
using test::write_file;

PreparedRun prepared(const std::vector<std::string>& options, const std::string& net) {
  std::vector<std::string> args = options;
  args.push_back("-nt:" + write_file("net.txt", net));
  return PreparedRun(args);
}

TEST(Placement, FirstFitSkipsTheFullWavelengthsBelowTheWindowWithoutAttempts) {
  PreparedRun p({"-nt:" + write_file("net.txt", single_link({}))});
  ASSERT_TRUE(p.status.ok()) << p.status.message;
  p.start_batch();
  for (uint32_t w : {0u, 1u}) p.take(0, 1, w, 1);
  EXPECT_EQ(p.lane().links.link(0, 1).low, 2u);
  EXPECT_EQ(p.assign(0, 1, 1), HopArray{2});
  EXPECT_EQ(p.lane().methods.rwa.context.total_attempts, 1u);
}

TEST(Placement, APartlyUsedWavelengthFitsOnlyBetweenTwoGroomingNodes) {
  // Node 1 grooms, node 2 does not: the hop cannot share a wavelength.
  PreparedRun p({"-nt:" + write_file("net.txt", "2\n3 n\n1 n\n4\n1\n1\n0 2\n2 0\n0 1\n0 0\n1\n10\n")});
  ASSERT_TRUE(p.status.ok()) << p.status.message;
  p.start_batch();
  p.take(0, 1, 0, 1);
  EXPECT_EQ(p.assign(0, 1, 1), HopArray{1});
  // Between two grooming nodes the rest of wavelength 0 serves.
  PreparedRun both({"-nt:" + write_file("net.txt", "2\n3 n\n3 n\n4\n1\n1\n0 2\n2 0\n0 1\n0 0\n1\n10\n")});
  ASSERT_TRUE(both.status.ok()) << both.status.message;
  both.start_batch();
  both.take(0, 1, 0, 1);
  EXPECT_EQ(both.assign(0, 1, 3), HopArray{0});
  EXPECT_EQ(both.assign(0, 1, 4), HopArray{1});
}

TEST(Placement, LastFitStartsFromTheTop) {
  PreparedRun lf({"-lf", "-nt:" + write_file("net.txt", single_link({}))});
  ASSERT_TRUE(lf.status.ok()) << lf.status.message;
  lf.start_batch();
  EXPECT_EQ(lf.assign(0, 1, 1), HopArray{3});
}

// Wavelengths 0..2 carry one slot each, so a whole-wavelength call needs
// four trials to reach wavelength 3.
TEST(Placement, TheAttemptLimitBlocksACallThatWouldFitLater) {
  for (uint32_t limit : {2u, 4u}) {
    PreparedRun p({"-at:" + std::to_string(limit), "-nt:" + write_file("net.txt", single_link({.slots = 2}))});
    ASSERT_TRUE(p.status.ok()) << p.status.message;
    p.start_batch();
    for (uint32_t w : {0u, 1u, 2u}) p.take(0, 1, w, 1);
    const HopArray hops = p.assign(0, 1, 2);
    EXPECT_EQ(hops, limit == 4 ? HopArray{3} : HopArray{});
    EXPECT_EQ(p.lane().methods.rwa.context.total_attempts, limit);
  }
}

// What the routing half offers for one request of (s, d) when every path
// fails: the candidates in the order offered.
std::vector<int32_t> offered(PreparedRun& p, uint32_t s, uint32_t d) {
  Rwa& rwa = p.lane().methods.rwa;
  std::vector<int32_t> got;
  for (int32_t c = rwa.routing.first(rwa.context, rwa.routing.state, s, d); c != -1 && got.size() < 1000;
       c = rwa.routing.next(rwa.context, rwa.routing.state))
    got.push_back(c);
  return got;
}

// The priority group of path k of the pair's list.
uint32_t group_of(const PathTable& t, uint32_t s, uint32_t d, int32_t k) {
  const PathList& l = t.list(s, d);
  const uint32_t* b = t.group_boundaries(l);
  uint32_t g = 0;
  while (g + 1 < t.group_count(l) && uint32_t(k) >= b[g + 1]) ++g;
  return g;
}

// Every routing half, under a first-fit assignment (so that candidates are
// indices into the pair's Path list), on NSFNET with the paths one hop
// longer than the shortest as a second priority group: every path of every
// group is offered exactly once, groups in order (last fit walks the whole
// list backwards, groups or not).
TEST(RoutingHalves, OfferEveryPathOfEveryGroupOnceWhenAllFail) {
  const std::string net = test::read_file(test::example("nsfnet.txt"));
  const std::vector<std::vector<std::string>> routings = {
      {"-ff"}, {"-lf"}, {"-r"}, {"-la"}, {"-la", "-sla"}, {"-dla"}, {"-mu"}, {"-lu"},
      {"-ll"}, {"-ml"}, {"-wlcr"}, {"-wmcr"}};
  for (const auto& routing : routings) {
    for (bool groups : {false, true}) {
      if (!groups && routing.size() > 1) continue;  // -sla needs -pr
      std::vector<std::string> args = {routing[0], "-ff", "-mc:1", "-sh", "-al:0.1", "-ep:0.1", "-s:3"};
      if (groups) args.push_back("-pr");
      if (routing.size() > 1) args.push_back(routing[1]);
      SCOPED_TRACE(::testing::PrintToString(args));
      PreparedRun p = prepared(args, net);
      ASSERT_TRUE(p.status.ok()) << p.status.message;
      p.start_batch();
      const PathTable& t = p.run->paths;
      for (uint32_t s = 0; s < t.total_nodes; ++s) {
        for (uint32_t d = 0; d < t.total_nodes; ++d) {
          const uint32_t count = t.list(s, d).count;
          if (count == 0) continue;
          std::vector<int32_t> got = offered(p, s, d);
          if (groups && routing[0] != "-lf") {  // last fit walks the list backwards
            for (size_t i = 1; i < got.size(); ++i) {
              ASSERT_LE(group_of(t, s, d, got[i - 1]), group_of(t, s, d, got[i])) << s << "-" << d;
            }
          }
          std::vector<int32_t> list_order(count);
          for (uint32_t k = 0; k < count; ++k) list_order[k] = int32_t(k);
          if (routing[0] == "-ff") {
            ASSERT_EQ(got, list_order) << s << "-" << d;
          }
          if (routing[0] == "-lf") {
            ASSERT_EQ(got, std::vector<int32_t>(list_order.rbegin(), list_order.rend()));
          }
          std::sort(got.begin(), got.end());
          ASSERT_EQ(got, list_order) << s << "-" << d;
        }
      }
    }
  }
}

}  // namespace
}  // namespace lumtra
