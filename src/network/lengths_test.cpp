#include "network/lengths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"

namespace lumtra {
namespace {

using test::run_lumtra;
using test::write_file;

// A square 1-2-3-4 with the diagonal 1-3; node 2 converts. By hops 1 -> 3 is
// the diagonal (500 km); by length it is 1-2-3 (200 km), 1-4-3 is 250 km.
const char* const kSquare =
    "4\n1 n\n1 y\n1 n\n1 n\n1\n1\n1\n"
    "0 4 4 4\n4 0 4 0\n4 4 0 4\n4 0 4 0\n"
    "0 1 1 1\n1 0 1 1\n1 1 0 1\n1 1 1 0\n1\n10\n";
const char* const kSquareKm =
    "# square with a diagonal\n"
    "1 2 100\n2 1 100  # both directions\n2 3 100\n3 2 100\n3 4 100\n4 3 100\n"
    "1 4 150\n4 1 150\n\n1 3 500\n3 1 500\n";

std::vector<std::string> paths_of(const std::string& out, const std::string& pair) {
  std::vector<std::string> found;
  const std::string head = "\nPath From " + pair + ": ";
  for (size_t at = out.find(head); at != std::string::npos; at = out.find(head, at + 1)) {
    const size_t start = at + head.size();
    const size_t end = out.find('\n', out.find('\n', start) + 1);
    found.push_back(out.substr(start, end - start));
  }
  return found;
}

TEST(Lengths, PathsCostTheirLengthAndHopOptionsCountHops) {
  const std::string net = "-nt:" + write_file("square.txt", kSquare);
  const std::string km = "--lengths:" + write_file("square-km.txt", kSquareKm);
  auto plain = run_lumtra({"-s:1", net});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(paths_of(plain.out, "1 to 3"), std::vector<std::string>{"1-3\nCost: 1"});

  auto shortest = run_lumtra({"-s:1", km, net});
  ASSERT_EQ(shortest.status, 0) << shortest.err;
  EXPECT_EQ(paths_of(shortest.out, "1 to 3"), std::vector<std::string>{"1-2-3\nCost: 200 km"});
  EXPECT_EQ(paths_of(shortest.out, "2 to 4"), std::vector<std::string>{"2-3-4\nCost: 200 km"});

  // -mc in km widens the window to 600 km; -sc orders by length, -sh by hops.
  auto by_cost = run_lumtra({"-s:1", "-mc:400", "-sc", km, net});
  ASSERT_EQ(by_cost.status, 0) << by_cost.err;
  EXPECT_EQ(paths_of(by_cost.out, "1 to 3"),
            (std::vector<std::string>{"1-2-3\nCost: 200 km", "1-4-3\nCost: 250 km", "1-3\nCost: 500 km"}));
  auto by_hops = run_lumtra({"-s:1", "-mc:400", "-sh", "-mp:1", km, net});
  EXPECT_EQ(paths_of(by_hops.out, "1 to 3"), std::vector<std::string>{"1-3\nCost: 500 km"});
  // Metres are kept: 150.05 km each way round by node 4.
  std::string metres = kSquareKm;
  metres.replace(metres.find("1 4 150\n4 1 150"), 15, "1 4 150.05\n4 1 150.05");
  auto by_metres = run_lumtra({"-s:1", "-mc:400", "-sc", "--lengths:" + write_file("metres.txt", metres), net});
  EXPECT_EQ(paths_of(by_metres.out, "1 to 3"),
            (std::vector<std::string>{"1-2-3\nCost: 200 km", "1-4-3\nCost: 250.05 km", "1-3\nCost: 500 km"}));
  auto short_hops = run_lumtra({"-s:1", "-mc:400", "-sc", "-mx:1", km, net});
  EXPECT_EQ(paths_of(short_hops.out, "1 to 3"), std::vector<std::string>{"1-3\nCost: 500 km"});

  auto check = run_lumtra({"--check", km, net});
  ASSERT_EQ(check.status, 0) << check.err;
  EXPECT_NE(check.out.find("Capacities that differ between the two directions: none\nConverting nodes: 1 of 4: 2\n"),
            std::string::npos)
      << check.out;
  // least lengths 100, 200, 150, 100, 200, 100 each way: 1700 km over 12 pairs
  EXPECT_NE(check.out.find("Offered load: 12 Erlangs"), std::string::npos);
  EXPECT_NE(check.out.find("Shortest paths by fibre length: longest 200 km (1-3), mean 141.667 km over 12 pairs\n"
                           "Candidate paths: "),
            std::string::npos)
      << check.out;
}

TEST(Lengths, AFileThatDoesNotMatchTheNetworkIsRefused) {
  const std::string net = "-nt:" + write_file("square.txt", kSquare);
  const std::string good = kSquareKm;
  const struct {
    std::string file;
    std::string item_problem;
  } cases[] = {
      {good.substr(0, good.find("3 1 500")), "fibre 3-1: no length (every fibre between real nodes needs one)"},
      {good + "2 4 10\n", "line 13: the network has no fibre 2-4"},
      {good + "1 2 100\n", "line 13: a second length for fibre 1-2 (the first on line 2)"},
      {"1 2 0\n", "line 1: length '0' is not above 0 km"},
      {"1 2 far\n", "line 1: length 'far' is not a number"},
      {"1 5 10\n", "line 1: node '5' is out of range (1 to 4)"},
      {"1 2\n", "line 1: expected 'FROM TO KM', found 2 fields"},
  };
  for (const auto& c : cases) {
    const std::string path = write_file("bad-km.txt", c.file);
    auto r = run_lumtra({"-s:1", "--lengths:" + path, net});
    EXPECT_EQ(r.status, 1) << c.item_problem;
    EXPECT_EQ(r.err, "lumtra: " + path + ": " + c.item_problem + "\n");
  }
}

}  // namespace
}  // namespace lumtra
