#include "network/generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "harness.h"
#include "run/run.h"

namespace lumtra {
namespace {

using test::read_file;
using test::write_file;

// The example parameter files, one item per line, editable by position.
std::vector<std::string> example_items(bool vi) {
  std::istringstream in(read_file(test::example(vi ? "generator-params-vi.txt" : "generator-params.txt")));
  std::vector<std::string> items;
  for (std::string line; std::getline(in, line);) items.push_back(line);
  return items;
}

std::string join(const std::vector<std::string>& items) {
  std::string s;
  for (const auto& i : items) s += i + "\n";
  return s;
}

// Constant items for one type value (no percentages): type, conversion,
// count, port items (not with -vi), then B+1 .. B+14 with symmetric
// capacities and rates.
std::vector<std::string> constant_items(const std::string& type, const std::string& conversion, bool vi) {
  std::vector<std::string> items = {type, conversion, "L 1 1"};
  if (!vi) items.insert(items.end(), {"L 3 3", "D 0.5 0.5", "D 0.25 0.25"});
  items.insert(items.end(), {"L 16 16", "L 1 1", "L 4 4", "C L 1 1", "C D 100 100", "L 0 0", "L 4 4", "C L 1 1",
                             "D 0.5 0.5", "D 2 2", "L 10 10", "D 1000 1000", "D 0.1 0.1", "D 0.01 0.01"});
  return items;
}

struct Generated {
  Status status;
  std::string text;
};

Generated generate(const std::string& params, uint32_t nodes, bool vi = false, int32_t sink = -1,
                   uint32_t seed = 12345) {
  const GeneratorOptions options{write_file("params.txt", params), sink, vi};
  Lehmer stream{seed};
  const MemoryBudget budget;
  Generated g;
  GeneratorInput input;
  g.status = load_generator_input(options, nodes, budget, input);
  if (!g.status.ok()) return g;
  std::string path = test::scratch_dir() + "/net.txt";
  std::FILE* out = std::fopen(path.c_str(), "w");
  g.status = generate_network(options, input, nodes, stream, budget, out, path);
  std::fclose(out);
  g.text = read_file(path);
  return g;
}

TEST(ParameterFile, LettersInEitherCaseFreeTextAndSilence) {
  std::FILE* f = std::tmpfile();
  std::fputs("c l 1 4 (* 5 + 7 *) = D 0.5 5e-1\nY 30 C C L1 2 L 3 3", f);
  std::rewind(f);
  ParameterList list = read_parameters(f);
  std::fclose(f);
  ASSERT_FALSE(list.broken) << list.broken_problem;
  ASSERT_EQ(list.items.size(), 5u);
  const int16_t kinds[] = {kIntegerItem, kRealItem, kYesNoItem, kIntegerItem, kIntegerItem};
  const bool silent[] = {true, false, false, true, false};  // two C letters: one silent item
  const double lower[] = {1, 0.5, 30, 1, 3}, upper[] = {4, 0.5, 0, 2, 3};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(list.items[i].kind, kinds[i]) << i;
    EXPECT_EQ(list.items[i].silent, silent[i]) << i;
    EXPECT_EQ(list.items[i].lower, lower[i]) << i;
    EXPECT_EQ(list.items[i].upper, upper[i]) << i;
  }
}

TEST(Draws, IntegerItemsCoverBothBoundsAndEveryDrawTakesOneNumber) {
  Lehmer stream{777};
  std::map<double, int> seen;
  for (int i = 0; i < 30000; ++i) {
    ++seen[draw_item({1, 3, kIntegerItem, true}, stream, nullptr, ' ')];
    draw_item({30, 0, kYesNoItem, true}, stream, nullptr, ' ');
  }
  ASSERT_EQ(seen.size(), 3u);
  for (auto [value, count] : seen) EXPECT_NEAR(count, 10000, 400) << value;
  Lehmer check{777};
  for (int i = 0; i < 60000; ++i) check.step();
  EXPECT_EQ(stream.state, check.state);
}

TEST(Draws, LastTypeTakesTheRemainderWithoutADrawOfItsOwn) {
  // Percentages 0, 0: type 3 every time, after r and two percentages.
  std::vector<ParameterItem> none = {{1, 3, kIntegerItem, true}, {0, 0, kIntegerItem, true}, {0, 0, kRealItem, true}};
  // 100 on the first value ends the walk after one percentage.
  std::vector<ParameterItem> first = {{5, 7, kIntegerItem, true}, {100, 100, kRealItem, true}, {0, 0, kRealItem, true}};
  Lehmer stream{4242}, check{4242};
  for (int i = 0; i < 100; ++i) ASSERT_EQ(draw_type(none, stream, nullptr, ' '), 3);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(draw_type(first, stream, nullptr, ' '), 5);
  for (int i = 0; i < 500; ++i) check.step();
  EXPECT_EQ(stream.state, check.state);
}

TEST(Generator, ExactLayoutWithAndWithoutVirtualInput) {
  Generated plain = generate(join(constant_items("L 1 1", "Y 0", false)), 2);
  EXPECT_EQ(plain.text, "2\n1 n \n1 n \n16\n1\n4\n0 4 \n4 0 \n\n0 0.5 \n0.5 0 \n10\n1000\n0.1\n0.01\n");
  Generated ports = generate(join(constant_items("L 2 2", "Y 100", false)), 2);
  EXPECT_EQ(ports.text, "2\n2 y 1 3 3 0.5 0.25 \n2 y 1 3 3 0.5 0.25 \n16\n1\n4\n0 4 \n4 0 \n\n0 0.5 \n0.5 0 \n"
                        "10\n1000\n0.1\n0.01\n");
  // With -vi the node line ends after the count, the matrices take in the
  // ports, and the sink column (node 2, rates not symmetric) has its own item.
  auto items = constant_items("L 4 4", "Y 100", true);
  items[10] = "C L 0 0";
  Generated vi = generate(join(items), 2, true, 1);
  EXPECT_EQ(vi.text, "2\n4 y 1 \n4 y 1 \n16\n1\n4\n0 4 4 4 \n4 0 4 4 \n4 4 0 4 \n4 4 4 0 \n\n"
                     "0 2 0.5 0.5 \n0.5 0 0.5 0.5 \n0.5 2 0 0.5 \n0.5 2 0.5 0 \n10\n1000\n0.1\n0.01\n");
}

TEST(Generator, OutgoingPortCapacitiesRedrawTheIncomingStreamNumbers) {
  std::vector<std::string> items = constant_items("L 2 2", "Y 50", false);
  items[2] = "L 3 3";        // three ports
  items[3] = "L 0 999999";   // port capacity
  items[6] = "L 0 999999";   // slots per wavelength: shows which number comes next
  Generated g = generate(join(items), 1);
  std::istringstream in(g.text);
  long n, type, count, capacity[6], slots;
  std::string conversion;
  double terminate, start;
  in >> n >> type >> conversion >> count;
  for (long& c : capacity) in >> c;
  in >> terminate >> start >> slots;
  EXPECT_EQ(std::vector<long>(capacity, capacity + 3), std::vector<long>(capacity + 3, capacity + 6));
  EXPECT_NE(capacity[0], capacity[1]);
  // r, conversion, count, 3 capacities twice over the same numbers,
  // terminate, start: the slot count takes the 9th number.
  Lehmer l{12345};
  for (int i = 1; i < 9; ++i) l.step();
  EXPECT_EQ(slots, static_cast<long>(1000000 * l.uniform()));
}

TEST(Generator, ExampleFilesReadBackThroughTheNetworkReader) {
  for (bool vi : {false, true}) {
    for (std::string sink : {"", "-sn:2"}) {
      std::string net = test::scratch_dir() + "/net.txt";
      std::vector<std::string> args = {"-s:9", "-b:1", "-t:10", "-nt:" + net,
                                       "-g:" + test::example(vi ? "generator-params-vi.txt" : "generator-params.txt")};
      if (vi) args.push_back("-vi");
      if (!sink.empty()) args.push_back(sink);
      test::PreparedRun p(args, "12\n");
      const Network& n = p.run->net;
      ASSERT_EQ(n.node_count, 12u) << p.status.message;
      std::string printed = p.printed();
      EXPECT_EQ(printed.find("Enter Number of Nodes"), printed.rfind("Enter Number of Nodes"));
      EXPECT_EQ(n.slots_per_wavelength, 16u);
      std::map<int16_t, int> types;
      for (uint32_t u = 0; u < n.node_count; ++u) ++types[n.nodes[u].type];
      EXPECT_GE(types.size(), 3u);
      EXPECT_GE(types.begin()->first, 1);
      EXPECT_LE(types.rbegin()->first, 4);
      for (uint32_t u = 0; u < n.total_nodes; ++u)
        for (uint32_t v = 0; v < n.total_nodes; ++v) {
          uint32_t c = n.capacity[n.at(u, v)];
          EXPECT_EQ(c, n.capacity[n.at(v, u)]);  // symmetric, port fibres too
          EXPECT_TRUE(c == 0 || (c >= 2 && c <= 8)) << c;
          double r = n.arrival_rates[n.at(u, v)];
          if (vi && u != v) {
            bool sink_range = r >= 2 && r <= 4;
            EXPECT_EQ(sink_range, v == 1 && !sink.empty()) << u << " " << v << " " << r;
          }
        }
    }
  }
}

TEST(Generator, InteractiveRunWritesTheTemporaryFileInTheWorkingDirectory) {
  auto here = std::filesystem::current_path();
  std::filesystem::current_path(test::scratch_dir());
  auto r = test::run_lumtra({"-s:4", "-b:1", "-t:10", "-i", "-g:" + test::example("generator-params.txt")}, "3\n");
  std::string written = read_file("Temp_net__#1.txt");
  std::filesystem::current_path(here);
  EXPECT_EQ(written.substr(0, 2), "3\n") << r.err;
  EXPECT_TRUE(written.ends_with("\n10\n1000\n0.1\n0.01\n")) << written;
}

TEST(GeneratorErrors, EachBadItemIsNamedByPositionAndRole) {
  struct Case {
    size_t position;
    std::string item;  // replaces the example item; "" removes it
    std::string message;
  };
  const std::vector<Case> cases = {
      {0, "D 1 4", "item 1 (node type): a real item where a whole number is due"},
      {0, "L 4 1", "item 1 (node type): lower bound 4 is above upper bound 1"},
      {2, "L 25 25", "item 3 (percentage of node type 2): must be silent"},
      {3, "C Y 20", "item 4 (percentage of node type 3): a yes/no item where a number is due"},
      {4, "L 0 1", "item 5 (wavelength conversion): an integer item where a yes/no letter is due"},
      {6, "D 2 4", "item 7 (port capacity): a real item where a whole number is due"},
      {7, "D inf 1", "item 8 (terminate probability): 'inf' is not a finite number"},
      {9, "L -1 16", "item 10 (slots per wavelength): bound -1 is negative"},
      {12, "L 1 1", "item 13 (capacity symmetry switch): must be silent"},
      {15, "L 4 5000000000", "item 16 (capacity with link): bound 5e+09 does not fit in 32 bits"},
      {18, "C D 2 4", "item 19 (arrival rate towards the sink node): is silent (C)"},
      {19, "D 10 10", "item 20 (batches): a real item where a whole number is due"},
      {22, "", "item 23 (epsilon): missing: the file ends after 22 items, and a node type item of 4 values "
               "needs 23 without -vi"},
      {22, "D 0.01 0.01 L 1 1", "item 24: not used: the items end with item 23 (epsilon)"},
      {22, "D 0.01 0.01 C", "item 24: a C letter with no item after it"},
  };
  for (const auto& c : cases) {
    auto items = example_items(false);
    if (c.item.empty())
      items.erase(items.begin() + c.position);
    else
      items[c.position] = c.item;
    Generated g = generate(join(items), 5);
    EXPECT_EQ(g.status.exit, Exit::input_error);
    EXPECT_EQ(g.status.message.find("lumtra: " + test::scratch_dir() + "/params.txt: " + c.message), 0u)
        << "got: " << g.status.message << "want: " << c.message;
  }
}

TEST(GeneratorErrors, WrongLayoutsAndEmptyFiles) {
  const std::vector<std::tuple<std::string, bool, std::string>> cases = {
      {"nothing here", false, "item 1 (node type): missing: the file holds no items"},
      {"a file that says yes", false, "item 1 (node type): 'e' cannot be read as a number"},
      {join(example_items(false)), true, "item 8 (minimum call slots): a real item where a whole number is due"},
      {join(example_items(true)), false, "item 10 (slots per wavelength): is silent (C)"},
      // A percentage for the last type value as well lands on the conversion.
      {"L 1 2 C L 50 50 C L 50 50 Y 50", false, "item 3 (wavelength conversion): an integer item where"},
  };
  for (const auto& [text, vi, message] : cases) {
    Generated g = generate(text, 5, vi);
    EXPECT_NE(g.status.message.find(message), std::string::npos) << "got: " << g.status.message << "want: " << message;
  }
}

TEST(GeneratorErrors, WholeRunsStopBeforeTouchingTheNetworkFile) {
  std::string net = write_file("net.txt", "keep me\n");
  std::string params = write_file("params.txt", "L 1 4 C L 25 25 D 1 2");
  auto r = test::run_lumtra({"-g:" + params, "-nt:" + net}, "4\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "lumtra: " + params + ": item 3 (percentage of node type 2): must be silent (put C before it), "
                                         "or its value would land in the network file\n");
  EXPECT_EQ(read_file(net), "keep me\n");

  r = test::run_lumtra({"-g:" + test::scratch_dir() + "/absent.txt", "-nt:" + net}, "4\n");
  EXPECT_EQ(r.err, "lumtra: " + test::scratch_dir() + "/absent.txt: parameter file: cannot be opened: "
                                                      "No such file or directory\n");
  r = test::run_lumtra({"-g:" + test::example("generator-params.txt"), "-sn:5", "-nt:" + net}, "4\n");
  EXPECT_EQ(r.err, "lumtra: command line: -sn:5: the network has only 4 nodes\n");
  EXPECT_EQ(read_file(net), "keep me\n");

  // Networks the run could not hold are refused before their matrices.
  Generated big = generate(join(example_items(false)), 70000);
  EXPECT_NE(big.status.message.find("number of nodes: '70000' nodes "), std::string::npos) << big.status.message;
  auto items = constant_items("L 2 2", "Y 0", false);
  items[2] = "L 70000 70000";
  big = generate(join(items), 1);
  EXPECT_NE(big.status.message.find("item 3 (ports or cores): the drawn ports and cores bring the network to 70001 "),
            std::string::npos) << big.status.message;

  // With -vi a sink among the ports and cores is judged once they are drawn.
  Generated g = generate(join(example_items(true)), 1, true, 100);
  EXPECT_NE(g.status.message.find("-sn:101: the drawn network has only "), std::string::npos) << g.status.message;
}

}  // namespace
}  // namespace lumtra
