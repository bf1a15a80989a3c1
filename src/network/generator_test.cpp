#include "network/generator.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "harness.h"
#include "network/parameters.h"
#include "run/run.h"

namespace lumtra {
namespace {

using test::write_file;

std::string slurp(std::FILE* f) {
  std::string s;
  std::rewind(f);
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  return s;
}

// One item per line: the example parameter files, editable by position.
std::vector<std::string> example_items(bool virtual_input) {
  std::istringstream in(
      test::read_file(test::example(virtual_input ? "generator-params-vi.txt" : "generator-params.txt")));
  std::vector<std::string> items;
  for (std::string line; std::getline(in, line);) items.push_back(line);
  return items;
}

std::string join(const std::vector<std::string>& items) {
  std::string s;
  for (const auto& i : items) s += i + "\n";
  return s;
}

// The constant items of a one-type network, for exact layouts: type item,
// then the node items (without -vi) and the tail of B+1 .. B+14.
std::vector<std::string> constant_items(const std::string& type, const std::string& conversion, bool vi) {
  std::vector<std::string> items = {type, conversion, "L 1 1"};
  if (!vi) items.insert(items.end(), {"L 3 3", "D 0.5 0.5", "D 0.25 0.25"});
  items.insert(items.end(), {"L 16 16", "L 1 1", "L 4 4", "C L 1 1", "C D 100 100", "L 0 0", "L 4 4",
                             "C L 1 1", "D 0.5 0.5", "D 2 2", "L 10 10", "D 1000 1000", "D 0.1 0.1",
                             "D 0.01 0.01"});
  return items;
}

struct Generated {
  Status status;
  std::string text;
  uint32_t seed = 0;
  uint32_t stream_after = 0;
};

Generated generate(const std::string& params, uint32_t nodes, bool vi = false, int32_t sink = -1,
                   uint32_t seed = 12345) {
  Run run(stdin, stdout, stderr);
  run.config.generator_given = true;
  run.config.generator_file = write_file("params.txt", params);
  run.config.virtual_input = vi;
  run.config.sink_node = sink;
  run.generator_stream.state = seed;
  Generated g;
  g.seed = seed;
  GeneratorInput input;
  g.status = load_generator_input(run.config, nodes, input);
  if (!g.status.ok()) return g;
  std::FILE* out = std::tmpfile();
  g.status = generate_network(run, input, nodes, out, "net.txt");
  g.text = slurp(out);
  std::fclose(out);
  g.stream_after = run.generator_stream.state;
  return g;
}

// A generated network file taken apart token by token, the way the reader
// will read it.
struct NetworkFile {
  struct NodeLine {
    long type = 0;
    std::string conversion;
    std::vector<long> incoming, outgoing;
    double terminate = -1, start = -1;
    long count = 0;
  };
  unsigned long n = 0;
  std::vector<NodeLine> nodes;
  long slots[3] = {};
  size_t m = 0;
  std::vector<std::vector<long>> capacity;
  std::vector<std::vector<double>> rate;
  std::vector<double> tail;
  bool complete = false;
};

NetworkFile parse(const std::string& text, bool vi) {
  std::istringstream in(text);
  NetworkFile f;
  in >> f.n;
  size_t extra = 0;
  for (unsigned long k = 0; k < f.n; ++k) {
    NetworkFile::NodeLine node;
    in >> node.type >> node.conversion;
    if (node.type == 2 || node.type == 4) {
      in >> node.count;
      extra += node.count;
      if (!vi) {
        node.incoming.resize(node.count);
        node.outgoing.resize(node.count);
        for (auto& c : node.incoming) in >> c;
        for (auto& c : node.outgoing) in >> c;
        in >> node.terminate >> node.start;
      }
    }
    f.nodes.push_back(node);
  }
  in >> f.slots[0] >> f.slots[1] >> f.slots[2];
  f.m = vi ? f.n + extra : f.n;
  f.capacity.assign(f.m, std::vector<long>(f.m));
  f.rate.assign(f.m, std::vector<double>(f.m));
  for (auto& row : f.capacity)
    for (auto& v : row) in >> v;
  for (auto& row : f.rate)
    for (auto& v : row) in >> v;
  f.tail.resize(4);
  for (auto& v : f.tail) in >> v;
  std::string rest;
  f.complete = !in.fail() && !(in >> rest);
  return f;
}

double nth_uniform(uint32_t seed, int n) {
  Lehmer l{seed};
  double u = 0;
  for (int i = 0; i < n; ++i) u = l.uniform();
  return u;
}

// ---------------------------------------------------------------- reading

TEST(ParameterFile, LettersInEitherCaseAndFreeTextBetweenItems) {
  std::FILE* f = std::tmpfile();
  std::fputs("c l 1 4 (* 5 + 7 *) = D 0.5 5e-1\nY 30 C C L1 2 L 3 3", f);
  std::rewind(f);
  ParameterList list = read_parameters(f);
  std::fclose(f);
  ASSERT_FALSE(list.broken) << list.broken_problem;
  ASSERT_EQ(list.items.size(), 5u);
  EXPECT_EQ(list.items[0].kind, kIntegerItem);
  EXPECT_TRUE(list.items[0].silent);
  EXPECT_EQ(list.items[0].upper, 4.0);
  EXPECT_EQ(list.items[1].kind, kRealItem);
  EXPECT_EQ(list.items[1].upper, 0.5);
  EXPECT_FALSE(list.items[1].silent);
  EXPECT_EQ(list.items[2].kind, kYesNoItem);
  EXPECT_EQ(list.items[2].lower, 30.0);
  // Two C letters make only the next item silent.
  EXPECT_TRUE(list.items[3].silent);
  EXPECT_EQ(list.items[3].lower, 1.0);
  EXPECT_EQ(list.items[3].upper, 2.0);
  EXPECT_FALSE(list.items[4].silent);
}

TEST(ParameterFile, UnreadableNumbersStopReadingAtTheirItem) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"L 1 4 L 1 x", "'x' cannot be read as a number"},
      {"L 1 4 D 2", "the file ends before the numbers of 'D' are complete"},
      {"L 1 4 d inf 3", "'inf' is not a finite number"},
      {"L 1 4 Y nan", "'nan' is not a finite number"},
  };
  for (const auto& [text, problem] : cases) {
    std::FILE* f = std::tmpfile();
    std::fputs(text.c_str(), f);
    std::rewind(f);
    ParameterList list = read_parameters(f);
    std::fclose(f);
    EXPECT_TRUE(list.broken) << text;
    EXPECT_EQ(list.broken_position, 1u) << text;
    EXPECT_EQ(list.broken_problem, problem) << text;
  }
}

// ---------------------------------------------------------------- drawing

TEST(DrawItem, ValuesCoverTheRangeAndUseOneStreamNumberEach) {
  Lehmer stream{777};
  std::FILE* out = std::tmpfile();
  std::map<long, int> whole;
  int yes = 0;
  const int draws = 30000;
  for (int i = 0; i < draws; ++i) {
    double v = draw_item({1, 3, kIntegerItem, true}, stream, out, ' ');
    ASSERT_EQ(v, std::trunc(v));
    ++whole[static_cast<long>(v)];
    double r = draw_item({2, 4, kRealItem, true}, stream, out, ' ');
    ASSERT_GE(r, 2.0);
    ASSERT_LT(r, 4.0);
    yes += draw_item({30, 0, kYesNoItem, true}, stream, out, ' ') == 1.0;
  }
  EXPECT_EQ(slurp(out), "");  // silent items write nothing, not even the separator
  std::fclose(out);
  ASSERT_EQ(whole.size(), 3u);
  for (auto [value, count] : whole) EXPECT_NEAR(count, draws / 3.0, 400) << value;
  EXPECT_NEAR(yes, draws * 0.3, 400);

  Lehmer check{777};
  for (int i = 0; i < 3 * draws; ++i) check.step();
  EXPECT_EQ(stream.state, check.state);
}

TEST(DrawItem, WrittenFormats) {
  Lehmer stream{99};
  std::FILE* out = std::tmpfile();
  draw_item({7, 7, kIntegerItem, false}, stream, out, ' ');
  draw_item({0.25, 0.25, kRealItem, false}, stream, out, '\n');
  draw_item({1e7, 1e7, kRealItem, false}, stream, out, ' ');
  draw_item({100, 0, kYesNoItem, false}, stream, out, ' ');
  draw_item({0, 0, kYesNoItem, false}, stream, out, ' ');
  draw_item({1, 1, 9, false}, stream, out, '|');  // unknown kind: separator only
  EXPECT_EQ(slurp(out), "7 0.25\n1e+07 y n |");
  std::fclose(out);
}

TEST(DrawType, LastTypeTakesTheRemainderWithoutADrawOfItsOwn) {
  std::FILE* out = std::tmpfile();
  // Percentages 0, 0: every r lies above them, so type 3; r and two
  // percentages are drawn.
  std::vector<ParameterItem> none = {{1, 3, kIntegerItem, false}, {0, 0, kIntegerItem, true},
                                     {0, 0, kIntegerItem, true}, {50, 0, kYesNoItem, false}};
  Lehmer stream{4242};
  for (int i = 0; i < 100; ++i) ASSERT_EQ(draw_type(none, stream, out, ' '), 3);
  Lehmer check{4242};
  for (int i = 0; i < 300; ++i) check.step();
  EXPECT_EQ(stream.state, check.state);

  // The first value at 100 percent ends the walk after one percentage.
  std::vector<ParameterItem> first = {{5, 7, kIntegerItem, false}, {100, 100, kRealItem, true},
                                      {0, 0, kIntegerItem, true}};
  stream.state = 4242;
  for (int i = 0; i < 100; ++i) ASSERT_EQ(draw_type(first, stream, out, ' '), 5);
  check.state = 4242;
  for (int i = 0; i < 200; ++i) check.step();
  EXPECT_EQ(stream.state, check.state);
  std::string written = slurp(out);
  EXPECT_EQ(written.substr(0, 8), "3 3 3 3 ");
  EXPECT_EQ(written.substr(written.size() - 4), "5 5 ");
  std::fclose(out);
}

TEST(DrawType, SharesFollowThePercentages) {
  std::vector<ParameterItem> items = {{1, 4, kIntegerItem, true}, {10, 10, kIntegerItem, true},
                                      {20, 20, kIntegerItem, true}, {30, 30, kIntegerItem, true}};
  Lehmer stream{31337};
  std::map<int64_t, int> seen;
  for (int i = 0; i < 40000; ++i) ++seen[draw_type(items, stream, nullptr, ' ')];
  EXPECT_NEAR(seen[1], 4000, 300);
  EXPECT_NEAR(seen[2], 8000, 400);
  EXPECT_NEAR(seen[3], 12000, 450);
  EXPECT_NEAR(seen[4], 16000, 450);  // the remainder: 40 percent
}

// ---------------------------------------------------------------- layout

TEST(Generator, ExactLayoutOfConstantNetworks) {
  Generated plain = generate(join(constant_items("L 1 1", "Y 0", false)), 2);
  ASSERT_TRUE(plain.status.ok()) << plain.status.message;
  EXPECT_EQ(plain.text,
            "2\n1 n \n1 n \n16\n1\n4\n0 4 \n4 0 \n\n0 0.5 \n0.5 0 \n10\n1000\n0.1\n0.01\n");

  Generated ports = generate(join(constant_items("L 2 2", "Y 100", false)), 2);
  ASSERT_TRUE(ports.status.ok()) << ports.status.message;
  EXPECT_EQ(ports.text,
            "2\n2 y 1 3 3 0.5 0.25 \n2 y 1 3 3 0.5 0.25 \n16\n1\n4\n0 4 \n4 0 \n\n0 0.5 \n0.5 0 \n"
            "10\n1000\n0.1\n0.01\n");

  // With -vi a node line ends after the count and the matrices take in the
  // ports: 2 nodes with one port each make 4 rows.
  Generated vi = generate(join(constant_items("L 4 4", "Y 100", true)), 2, true);
  ASSERT_TRUE(vi.status.ok()) << vi.status.message;
  EXPECT_EQ(vi.text,
            "2\n4 y 1 \n4 y 1 \n16\n1\n4\n0 4 4 4 \n4 0 4 4 \n4 4 0 4 \n4 4 4 0 \n\n"
            "0 0.5 0.5 0.5 \n0.5 0 0.5 0.5 \n0.5 0.5 0 0.5 \n0.5 0.5 0.5 0 \n10\n1000\n0.1\n0.01\n");
}

TEST(Generator, ExampleFilesReadBackToTheirRanges) {
  for (bool vi : {false, true}) {
    Generated g = generate(join(example_items(vi)), 12, vi, 2, 2024);
    ASSERT_TRUE(g.status.ok()) << g.status.message;
    NetworkFile f = parse(g.text, vi);
    ASSERT_TRUE(f.complete) << g.text;
    EXPECT_EQ(f.n, 12u);
    std::map<long, int> types;
    for (const auto& node : f.nodes) {
      ++types[node.type];
      EXPECT_TRUE(node.conversion == "y" || node.conversion == "n");
      if (node.type == 2 || node.type == 4) {
        EXPECT_GE(node.count, 1);
        EXPECT_LE(node.count, 2);
      }
      for (long c : node.incoming) EXPECT_TRUE(c >= 2 && c <= 4) << c;
      EXPECT_EQ(node.incoming, node.outgoing);
      if (!vi && (node.type == 2 || node.type == 4)) {
        EXPECT_TRUE(node.terminate >= 0.2 && node.terminate <= 0.5);
        EXPECT_TRUE(node.start >= 0.2 && node.start <= 0.5);
      }
    }
    EXPECT_GE(types.size(), 2u);
    for (auto [type, count] : types) EXPECT_TRUE(type >= 1 && type <= 4) << type;
    EXPECT_EQ(f.slots[0], 16);
    EXPECT_EQ(f.slots[1], 1);
    EXPECT_EQ(f.slots[2], 16);
    // Symmetric capacities (C L 1 1), rates not (C L 0 0).
    bool rates_symmetric = true;
    for (size_t i = 0; i < f.m; ++i)
      for (size_t j = 0; j < f.m; ++j) {
        EXPECT_EQ(f.capacity[i][j], f.capacity[j][i]);
        long c = f.capacity[i][j];
        EXPECT_TRUE(c == 0 || (c >= 4 && c <= 8)) << c;
        if (i == j) {
          EXPECT_EQ(c, 0);
          EXPECT_EQ(f.rate[i][j], 0.0);
          continue;
        }
        rates_symmetric = rates_symmetric && f.rate[i][j] == f.rate[j][i];
        if (j == 2)
          EXPECT_TRUE(f.rate[i][j] >= 2 && f.rate[i][j] <= 4) << f.rate[i][j];
        else
          EXPECT_TRUE(f.rate[i][j] >= 0.5 && f.rate[i][j] <= 1.5) << f.rate[i][j];
      }
    EXPECT_FALSE(rates_symmetric);
    EXPECT_EQ(f.tail, (std::vector<double>{10, 1000, 0.1, 0.01}));
  }
}

TEST(Generator, SymmetricRatesMirrorEveryDrawnRate) {
  auto items = example_items(false);
  items[16] = "C L 1 1";  // rate symmetry switch
  items[12] = "C L 0 0";  // capacities not symmetric
  items[13] = "C D 50 50";
  Generated g = generate(join(items), 9, false, -1, 55);
  ASSERT_TRUE(g.status.ok()) << g.status.message;
  NetworkFile f = parse(g.text, false);
  ASSERT_TRUE(f.complete);
  bool capacities_symmetric = true;
  int links = 0;
  for (size_t i = 0; i < f.m; ++i)
    for (size_t j = 0; j < f.m; ++j) {
      EXPECT_EQ(f.rate[i][j], f.rate[j][i]);
      capacities_symmetric = capacities_symmetric && f.capacity[i][j] == f.capacity[j][i];
      links += f.capacity[i][j] != 0;
    }
  EXPECT_FALSE(capacities_symmetric);
  EXPECT_GT(links, 72 / 4);  // about half of the 72 pairs have a link
  EXPECT_LT(links, 72 * 3 / 4);
}

TEST(Generator, NoSinkNeverDrawsTheSinkItem) {
  auto items = example_items(false);
  items[18] = "D 1000 1000";  // the sink rate would stand out
  Generated g = generate(join(items), 6);
  ASSERT_TRUE(g.status.ok()) << g.status.message;
  EXPECT_EQ(g.text.find("1000 "), std::string::npos);
}

TEST(Generator, OutgoingPortCapacitiesRepeatTheIncomingOnesFromTheSameStreamNumbers) {
  // One node of type 2 with three ports; the slot count after the node line
  // shows which stream number it took.
  std::vector<std::string> items = constant_items("L 2 2", "Y 50", false);
  items[2] = "L 3 3";
  items[3] = "L 0 1000000";
  items[6] = "L 1 1000000";
  Generated g = generate(join(items), 1);
  ASSERT_TRUE(g.status.ok()) << g.status.message;
  NetworkFile f = parse(g.text, false);
  ASSERT_TRUE(f.complete);
  ASSERT_EQ(f.nodes[0].incoming.size(), 3u);
  EXPECT_EQ(f.nodes[0].incoming, f.nodes[0].outgoing);
  EXPECT_NE(f.nodes[0].incoming[0], f.nodes[0].incoming[1]);
  // Numbers: r, conversion, count, 3 incoming, (restored) 3 outgoing
  // again, terminate, start: the slot count is the 9th number.
  long expected = static_cast<long>(std::trunc(1000000.0 * nth_uniform(g.seed, 9) + 1));
  EXPECT_EQ(f.slots[0], expected);
}

// ---------------------------------------------------------------- errors

TEST(GeneratorErrors, EachBadItemIsNamedByPositionAndRole) {
  struct Case {
    size_t position;
    std::string item;  // replaces the example item; "" removes it
    std::string message;
  };
  const std::vector<Case> cases = {
      {0, "D 1 4", "item 1 (node type): a real item where a whole number is due"},
      {0, "Y 50", "item 1 (node type): a yes/no item where a whole number is due"},
      {0, "L 4 1", "item 1 (node type): lower bound 4 is above upper bound 1"},
      {0, "C L 1 4", "item 1 (node type): is silent (C)"},
      {2, "L 25 25", "item 3 (percentage of node type 2): must be silent"},
      {3, "C Y 20", "item 4 (percentage of node type 3): a yes/no item where a number is due"},
      {4, "C Y 50", "item 5 (wavelength conversion): is silent (C)"},
      {4, "L 0 1", "item 5 (wavelength conversion): an integer item where a yes/no letter is due"},
      {5, "D 1 2", "item 6 (ports or cores): a real item where a whole number is due"},
      {6, "D 2 4", "item 7 (port capacity): a real item where a whole number is due"},
      {6, "L 2 x", "item 7 (port capacity): 'x' cannot be read as a number"},
      {7, "Y 20", "item 8 (terminate probability): a yes/no item where a number is due"},
      {8, "D 0.5 0.2", "item 9 (start probability): lower bound 0.5 is above upper bound 0.2"},
      {9, "L -1 16", "item 10 (slots per wavelength): bound -1 is negative"},
      {12, "L 1 1", "item 13 (capacity symmetry switch): must be silent"},
      {13, "D 40 40", "item 14 (link percentage): must be silent"},
      {15, "L 4 5000000000", "item 16 (capacity with link): bound 5e+09 does not fit in 32 bits"},
      {16, "L 0 0", "item 17 (rate symmetry switch): must be silent"},
      {18, "C D 2 4", "item 19 (arrival rate towards the sink node): is silent (C)"},
      {19, "D 10 10", "item 20 (batches): a real item where a whole number is due"},
      {22, "", "item 23 (epsilon): missing: the file ends after 22 items, and a node type item of 4 "
               "values needs 23 without -vi"},
  };
  for (const auto& c : cases) {
    auto items = example_items(false);
    if (c.item.empty())
      items.erase(items.begin() + c.position);
    else
      items[c.position] = c.item;
    Generated g = generate(join(items), 5);
    ASSERT_FALSE(g.status.ok()) << c.message;
    EXPECT_EQ(g.status.exit, Exit::input_error);
    EXPECT_NE(g.status.message.find(": " + c.message), std::string::npos)
        << "got: " << g.status.message << "want: " << c.message;
    EXPECT_EQ(g.status.message.find("lumtra: " + test::scratch_dir() + "/params.txt: item "), 0u)
        << g.status.message;
  }
}

TEST(GeneratorErrors, WholeFileProblems) {
  auto plain = example_items(false);
  auto vi = example_items(true);
  struct Case {
    std::string text;
    bool vi;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"", false, "item 1 (node type): missing: the file holds no items"},
      {"nothing here", false, "item 1 (node type): missing: the file holds no items"},
      {"a file that says yes", false, "item 1 (node type): 'e' cannot be read as a number"},
      {join(plain) + "L 1 1\n", false, "item 24: not used: the items end with item 23 (epsilon)"},
      {join(plain) + "C", false, "item 24: a C letter with no item after it"},
      // A file for the other -vi setting fails where the layouts part.
      {join(plain), true, "item 8 (minimum call slots): a real item where a whole number is due"},
      {join(vi), false, "item 10 (slots per wavelength): is silent (C)"},
      // A layout with a percentage for the last type as well pushes a silent
      // item onto the conversion.
      {"L 1 2 C L 50 50 C L 50 50 Y 50", false, "item 3 (wavelength conversion): an integer item where a yes/no letter is due"},
  };
  for (const auto& c : cases) {
    Generated g = generate(c.text, 5, c.vi);
    ASSERT_FALSE(g.status.ok()) << c.message;
    EXPECT_NE(g.status.message.find(c.message), std::string::npos)
        << "got: " << g.status.message << "want: " << c.message;
  }
}

TEST(GeneratorErrors, ParameterFileNodeCountAndSink) {
  lumtra::Run run(stdin, stdout, stderr);
  GeneratorInput input;
  run.config.generator_file = test::scratch_dir() + "/absent.txt";
  Status s = load_generator_input(run.config, 3, input);
  EXPECT_EQ(s.message, "lumtra: " + run.config.generator_file +
                           ": parameter file: cannot be opened: No such file or directory\n");

  run.config.generator_file = write_file("params.txt", join(example_items(false)));
  EXPECT_NE(load_generator_input(run.config, 0, input).message.find("number of nodes: '0'"), std::string::npos);
  run.config.sink_node = 3;
  EXPECT_EQ(load_generator_input(run.config, 3, input).message,
            "lumtra: command line: -sn:4: the network has only 3 nodes\n");
  EXPECT_TRUE(load_generator_input(run.config, 4, input).ok());

  // With -vi the sink may be a port or core; it is judged once they are drawn.
  Generated g = generate(join(example_items(true)), 1, true, 100);
  EXPECT_NE(g.status.message.find("-sn:101: the drawn network has only "), std::string::npos)
      << g.status.message;
  auto items = constant_items("L 2 2", "Y 0", true);
  items[10] = "C L 0 0";  // rates not symmetric
  Generated ok = generate(join(items), 1, true, 1);
  EXPECT_TRUE(ok.status.ok()) << ok.status.message;
  EXPECT_NE(ok.text.find("\n0 2 \n0.5 0 \n"), std::string::npos) << ok.text;
}

}  // namespace
}  // namespace lumtra
