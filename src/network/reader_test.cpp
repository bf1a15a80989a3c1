#include "network/reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "harness.h"
#include "base/memory.h"
#include "run/run.h"

namespace lumtra {
namespace {

using test::example;
using test::read_file;
using test::run_lumtra;

std::string contents(std::FILE* f) {
  std::string s;
  std::rewind(f);
  for (int c; (c = std::getc(f)) != EOF;) s.push_back(static_cast<char>(c));
  return s;
}

// One reading of a network source straight through the reader, on a Run
// whose configuration the test sets as the option scanner would.
struct Session {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  std::unique_ptr<Run> run = std::make_unique<Run>(in, out, err);

  explicit Session(const std::string& input, std::function<void(Config&)> options = {}) {
    std::fputs(input.c_str(), in);
    std::rewind(in);
    run->config.methods.wa_code = 0;
    if (options) options(run->config);
  }
  ~Session() {
    run.reset();
    for (std::FILE* f : {in, out, err}) std::fclose(f);
  }
  // Reads N, the network and the batch values, as the run does.
  Status read(TokenReader::Input kind = TokenReader::Input::file) {
    TokenReader reader(in, kind == TokenReader::Input::file ? "net.txt" : "standard input", kind, err);
    uint32_t n = 0;
    Status s = reader.read_u32([] { return std::string("number of nodes"); }, n);
    if (s.ok()) s = read_network(reader, run->out, run->config.network, run->budget, n, run->net);
    if (s.ok()) s = read_batch_values(reader, run->out, run->config.sim.batch_count, run->config.sim.batch_time);
    run->out.flush();
    return s;
  }
  const Network& net() const { return run->net; }
  std::string printed() { return contents(out); }
};

const char* const kTypes =
    "Choose one of the following node types:\n 1. Non Grooming node\n 2. Single-Hop Grooming node\n"
    " 3. Multi-Hop Full Grooming node\n 4. Multi-Hop Partial Grooming node\n? ";
const char* const kConverts = "Does this node support wavelength conversions (y/n) ? ";

std::string capacity_prompts(int rows) {
  std::string s;
  for (int u = 1; u <= rows; ++u)
    s += "Enter all capacities on fiber links from node " + std::to_string(u) + " (Ex: 4 0 3 1): ";
  return s;
}
std::string rate_prompts(int rows) {
  std::string s;
  for (int u = 1; u <= rows; ++u) s += "Enter Arrival rates from node " + std::to_string(u) + " to other nodes: ";
  return s;
}

TEST(NetworkReader, ExampleBuildsTheNetworkWithItsPortAndPrintsEveryPrompt) {
  Session s(read_file(example("three-node.txt")));
  ASSERT_TRUE(s.read().ok());
  const Network& net = s.net();
  ASSERT_EQ(net.node_count, 3u);
  ASSERT_EQ(net.total_nodes, 4u);
  EXPECT_EQ(net.nodes[1].virtual_nodes, std::vector<uint32_t>{3});
  EXPECT_TRUE(net.nodes[1].conversion && !net.nodes[1].grooming && net.nodes[1].port_in_capacity.empty());
  EXPECT_TRUE(!net.nodes[0].conversion && net.nodes[2].grooming && !net.nodes[2].conversion);
  EXPECT_TRUE(net.nodes[3].is_virtual() && net.nodes[3].conversion && net.nodes[3].grooming);
  EXPECT_EQ(net.capacity, (std::vector<uint32_t>{0, 4, 0, 0, 4, 0, 4, 2, 0, 4, 0, 0, 0, 2, 0, 0}));
  EXPECT_EQ(net.arrival_rates, (std::vector<double>{0, .5, .5, .5, .5, 0, .5, 0, .5, .5, 0, .5, .5, 0, .5, 0}));
  EXPECT_EQ(net.slots_per_wavelength, 8u);
  EXPECT_EQ(net.call_size_count, 4u);
  EXPECT_EQ(s.run->config.sim.batch_count, 10u);
  EXPECT_EQ(s.run->config.sim.batch_time, 1000.0);

  const std::string node = "capabilities:\n" + std::string(kTypes);
  EXPECT_EQ(s.printed(),
            "\nNode 1 " + node + kConverts + "\nNode 2 " + node +
                "Does the W-Fabric of this node support wavelength conversions (y/n) ? "
                "How many grooming ports are attached to this node ? "
                "Enter INCOMING link capacities on fibers from node 2 to the grooming ports: \n"
                "Enter OUTGOING link capacities on fibers from the grooming ports to node 2\n"
                "Enter the probability that an incoming call will terminate at the grooming ports: "
                "Enter the probability that an outgoing call will start from the grooming ports: "
                "Virtual node(s): 4 are created and attached to node 2\n"
                "\nNode 3 " + node + kConverts +
                "Enter Maximum Number of Time Slots in Each Wavelength: "
                "Enter Minimum Number of Time Slots a call can consume: "
                "Enter Maximum Number of Time Slots a call can consume: " +
                capacity_prompts(4) + rate_prompts(3) + "Enter Number of Batches: Enter Total Time of each batch: ");
}

TEST(NetworkReader, VirtualInputFileGivesTheSameNetwork) {
  Session plain(read_file(example("three-node.txt")));
  Session vi(read_file(example("three-node-vi.txt")), [](Config& c) { c.network.virtual_input = true; });
  ASSERT_TRUE(plain.read().ok());
  ASSERT_TRUE(vi.read().ok());
  EXPECT_EQ(vi.net().total_nodes, 4u);
  EXPECT_EQ(vi.net().capacity, plain.net().capacity);
  EXPECT_EQ(vi.net().arrival_rates, plain.net().arrival_rates);
  const std::string out = vi.printed();
  EXPECT_EQ(out.find("INCOMING"), std::string::npos);
  EXPECT_EQ(out.find("probability"), std::string::npos);
  EXPECT_NE(out.find("attached to this node ? Virtual node(s): 4 are created and attached to node 2\n"),
            std::string::npos);
  EXPECT_NE(out.find(capacity_prompts(4) + rate_prompts(4) + "Enter Number"), std::string::npos);
}

TEST(NetworkReader, VirtualNodesNumberAfterEveryNodeSoFarAndRatesRedistribute) {
  // Node 1: two ports (4, 5), half the arriving traffic ends there and all
  // its own traffic starts there; node 2: none; node 3: one core (6), half
  // of each direction. Rates scaled by 3 / 2.
  Session s("3  2 n 2  1 1 1 1  0.5 1   1 Y   4 n 1  2 2 0.5 0.5   8 1 1\n"
            "5 4 0  4 0 4  0 4 0   0 2 2  1 0 1  1 1 0   1 1\n",
            [](Config& c) { c.network.rate_factor = 3, c.network.rate_cofactor = 2, c.methods.wa_code = kLeastUsed; });
  ASSERT_TRUE(s.read().ok());
  const Network& net = s.net();
  ASSERT_EQ(net.total_nodes, 6u);
  EXPECT_FALSE(net.nodes[1].conversion);
  EXPECT_EQ(net.nodes[2].type, kPartialGrooming);
  EXPECT_EQ(net.nodes[2].virtual_nodes, std::vector<uint32_t>{5});
  EXPECT_EQ(net.capacity[net.at(0, 0)], 0u);  // diagonal 5 ignored
  EXPECT_EQ(net.capacity[net.at(2, 5)], 2u);
  EXPECT_EQ(net.capacity[net.at(5, 2)], 2u);
  auto rate = [&](uint32_t u, uint32_t v) { return net.arrival_rates[net.at(u, v)]; };
  EXPECT_EQ(rate(0, 1), 0.0);  // start probability 1: everything moves to the ports
  EXPECT_EQ(rate(3, 1), 1.5);    // 2 x 1.5 split over two ports
  EXPECT_EQ(rate(4, 2), 0.75);   // 3 split over two ports, then half ends at the core
  EXPECT_EQ(rate(4, 5), 0.75);
  EXPECT_EQ(rate(1, 2), 0.75);
  EXPECT_EQ(rate(1, 5), 0.75);
  EXPECT_EQ(rate(1, 0), 0.75);
  EXPECT_EQ(rate(1, 3), 0.375);
  EXPECT_EQ(rate(5, 0), 0.375);  // moved to the core, then split again at node 1
  EXPECT_EQ(rate(5, 3), 0.1875);
  EXPECT_NE(s.printed().find("Virtual node(s): 4 5 are created and attached to node 1\n"), std::string::npos);
  EXPECT_NE(s.printed().find("Virtual node(s): 6 are created and attached to node 3\n"), std::string::npos);
  EXPECT_NE(s.printed().find("cores (G-Fabric) are attached to this node ? Enter INCOMING link capacities on fibers "
                             "from node 3 to the grooming cores: \n"),
            std::string::npos);
}

TEST(NetworkReader, NodeWithoutPortsStillReadsItsProbabilities) {
  Session s("2  2 y 0 0.5 0.5  1 n  1 1 1  0 1 1 0  0 1 1 0  1 1\n");
  ASSERT_TRUE(s.read().ok());
  EXPECT_EQ(s.net().total_nodes, 2u);
  EXPECT_NE(s.printed().find("to node 1\nEnter the probability that an incoming call will terminate at the grooming "
                             "ports: Enter the probability that an outgoing call will start from the grooming "
                             "ports: Virtual node(s): are created and attached to node 1\n"),
            std::string::npos);
}

TEST(BatchValues, CommandLineValuesOverrideAndFileValuesAreConsumed) {
  const std::string net = "2 1 n 1 n 1 1 1 0 1 1 0 0 1 1 0 ";
  auto given = [](Config& c) { c.sim.batch_count = 5, c.sim.batch_time = 50.0; };
  Session count_given(net + "10 1000 7", [](Config& c) { c.sim.batch_count = 5; });
  ASSERT_TRUE(count_given.read().ok());
  EXPECT_EQ(count_given.run->config.sim.batch_count, 5u);
  EXPECT_EQ(count_given.run->config.sim.batch_time, 1000.0);
  EXPECT_EQ(count_given.printed().find("Batches"), std::string::npos);
  EXPECT_NE(count_given.printed().find("Enter Total Time of each batch: "), std::string::npos);

  Session time_given(net + "10 1000", [](Config& c) { c.sim.batch_time = 50.0; });
  ASSERT_TRUE(time_given.read().ok());
  EXPECT_EQ(time_given.run->config.sim.batch_count, 10u);
  EXPECT_EQ(time_given.run->config.sim.batch_time, 50.0);

  Session keyboard(net + "77", given);  // nothing is read from standard input
  ASSERT_TRUE(keyboard.read(TokenReader::Input::standard_input).ok());
  TokenReader rest(keyboard.in, "standard input", TokenReader::Input::standard_input, keyboard.err);
  EXPECT_FALSE(rest.at_end());

  Session bad(net + "x 1000", given);  // a discarded value must still be a number
  EXPECT_EQ(bad.read().message, "lumtra: net.txt: number of batches: 'x' is not a whole number\n");
  Session short_file(net + "10", given);
  EXPECT_EQ(short_file.read().message, "lumtra: net.txt: batch time: the input ends before this value\n");
}

TEST(NetworkReader, KeyboardAnswersAreAskedAgainUntilUsable) {
  Session s("2\n2 yes\ny -1\n1\n5 0\n1.5\n0.5 0\n1 n\n3\n2\n1\n2\n-4\n0 1\n1 0\n0 1 1 0\n1 1\n");
  ASSERT_TRUE(s.read(TokenReader::Input::terminal).ok());
  EXPECT_TRUE(s.net().nodes[0].conversion);
  EXPECT_EQ(s.net().capacity[s.net().at(0, 2)], 5u);
  EXPECT_EQ(s.net().nodes[0].end_at_grooming, 0.5);
  EXPECT_EQ(s.net().call_size_count, 1u);
  EXPECT_NE(contents(s.err).find("lumtra: standard input: maximum call slots: '1' is less than the minimum call "
                                 "slots 2; type it again"),
            std::string::npos);
}

// Every problem of a network file, as the whole program reports it.
TEST(NetworkReader, BadInputStopsWithSourceItemAndValue) {
  const std::string two = "2 1 n 1 n ";
  const std::string head = "3 1 n 2 y 1 2 2 0.5 0.5 3 n ";
  const std::string rows = "0 4 0 4 0 4 0 4 0 ";
  const struct {
    std::string input, message;
  } cases[] = {
      {"3 1 n 2 y", "number of grooming ports of node 2: the input ends before this value"},
      {"3 x", "type of node 1: 'x' is not a whole number"},
      {"3 5 n", "type of node 1: '5' is out of range (1 to 4)"},
      {"3 1 yes", "conversion answer of node 1: 'yes' is not a single letter (answer y or n)"},
      {"3 1 n 2 y -1", "number of grooming ports of node 2: '-1' is negative"},
      {"3 1 n 2 y 4294967296", "number of grooming ports of node 2: '4294967296' is out of range (at most 4294967295)"},
      {"3 1 n 4 y 1 -2", "incoming capacity from node 2 to grooming core 1: '-2' is negative"},
      {"3 1 n 4 y 1 2 2.5", "outgoing capacity from grooming core 1 to node 2: '2.5' is not a whole number"},
      {"3 1 n 2 y 1 2 2 1.5", "terminate probability of node 2: '1.5' is not a probability (0 to 1)"},
      {"3 1 n 2 y 1 2 2 nan", "terminate probability of node 2: 'nan' is not a finite number"},
      {"3 1 n 2 y 1 2 2 0.5 -0.1", "start probability of node 2: '-0.1' is not a probability (0 to 1)"},
      {head + "0", "slots per wavelength: '0': a wavelength needs at least one time slot"},
      {head + "8 5 4", "maximum call slots: '4' is less than the minimum call slots 5"},
      {head + "8 0 4294967295", "maximum call slots: '4294967295' with a minimum of 0 gives 4294967296 call sizes, more than 4294967295"},
      {head + "8 1 4 0 4 0 4 0 4 0 -4", "capacity from node 3 to node 2: '-4' is negative"},
      {head + "8 1 4 0 4294967296", "capacity from node 1 to node 2: '4294967296' is out of range (0 to 4294967295)"},
      {head + "8 1 4 0 600000000", "capacity from node 1 to node 2: '600000000' wavelengths of 8 time slots make 4800000000 slots on one fibre, more than 4294967295"},
      {"3 1 n 2 y 1 600000000 2 0.5 0.5 3 n 8 1 4", "incoming capacity from node 2 to grooming port 1: '600000000' wavelengths of 8 time slots make 4800000000 slots on one fibre, more than 4294967295"},
      {head + "8 1 4 " + rows + "0 -1", "arrival rate from node 1 to node 2: '-1' is negative"},
      {head + "8 1 4 " + rows + "0 1e999", "arrival rate from node 1 to node 2: '1e999' is not a finite number"},
      {head + "8 1 4 " + rows + "0 1 0.5 1 0 one", "arrival rate from node 2 to node 3: 'one' is not a number"},
      {two + "1 1 1 0 1 1 0 0 1 1 0 0", "number of batches: '0': at least one batch is needed"},
      {two + "1 1 1 0 1 1 0 0 1 1 0 3 -5", "batch time: '-5' is not a positive time"},
      {two + "1 1 1 0 1 1 0 0 1 1 0 3", "batch time: the input ends before this value"},
      {"4000000000", "number of nodes: '4000000000' nodes would"},
      {"3 2 n 70000", "number of grooming ports of node 1: '70000' grooming ports bring the network to 70003 nodes, which would"},
  };
  for (const auto& c : cases) {
    const std::string file = test::write_file("net.txt", c.input);
    test::RunResult r = run_lumtra({"-nt:" + file}, "");
    EXPECT_EQ(r.status, 1) << c.input;
    EXPECT_EQ(r.err.rfind("lumtra: " + file + ": " + c.message, 0), 0u) << c.input << "\n" << r.err;
  }
}

TEST(NetworkReader, RateScaleOverflowIsRefused) {
  Session s("2 1 n 1 n 1 1 1 0 1 1 0 1e10 1e10 1 0 1 1", [](Config& c) { c.network.rate_factor = 1e300; });
  EXPECT_EQ(s.read().message,  // the diagonal is not stored, so it passes
            "lumtra: net.txt: arrival rate from node 1 to node 2: '1e10' times the rate scale 1e+300 is not a "
            "finite number\n");
}

TEST(NetworkReader, KeyboardEntryPromptsLikeTheFileAndStopsAtEndOfInput) {
  const std::string text = read_file(example("three-node.txt"));
  const std::string end = "Enter Total Time of each batch: ";
  test::RunResult file = run_lumtra({"-nt:" + example("three-node.txt")});
  test::RunResult keys = run_lumtra({"-i"}, text);
  ASSERT_NE(file.out.find(end), std::string::npos) << file.err;
  EXPECT_EQ(keys.out.substr(0, keys.out.find(end)), file.out.substr(0, file.out.find(end)));

  test::RunResult cut = run_lumtra({"-i"}, "3\n1 n\n");
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.err, "lumtra: standard input: type of node 2: the input ends before this value\n");
}

TEST(MemoryBudget, RefusesWhatTheBudgetOrTheLinkNumbersCannotHold) {
  MemoryBudget budget(uint64_t(1) << 30);
  EXPECT_TRUE(check_network_size(budget, 1000, 0, "f", "n", "'1000' nodes").ok());
  EXPECT_EQ(check_network_size(budget, 10000, 0, "f", "n", "'10000' nodes").message,
            "lumtra: f: n: '10000' nodes would take 9.3 GiB, more than the 1.0 GiB this run may use\n");
  ASSERT_TRUE(budget.admit(budget.total() / 2, "f", "n", "half").ok());
  EXPECT_EQ(check_network_size(budget, 3000, 0, "f", "n", "'3000' nodes").message,
            "lumtra: f: n: '3000' nodes would take 0.8 GiB, more than the 0.5 GiB left of the 1.0 GiB this run may "
            "use\n");
  MemoryBudget unknown(0);
  EXPECT_TRUE(check_network_size(unknown, 65535, 0, "f", "n", "w").ok());
  EXPECT_EQ(check_network_size(unknown, 65536, 0, "f", "n", "'65536' nodes").message,
            "lumtra: f: n: '65536' nodes would give 65536 x 65536 node pairs, more than the 4294967295 that link "
            "numbers can address\n");
  EXPECT_EQ(network_bytes(uint64_t(1) << 32, 0), UINT64_MAX);
}

TEST(MemoryBudget, TooManyWavelengthsAreRefusedBeforeAllocation) {
  // Six fibres of 2^32 - 1 wavelengths: 96 GiB of channels.
  const uint64_t physical = physical_memory_bytes();
  if (physical == 0 || physical > 64 * (uint64_t(1) << 30)) GTEST_SKIP() << "this machine could hold them";
  const std::string file3 = test::write_file(
      "net3.txt", "3 1 n 1 n 1 n 1 1 1 0 4294967295 4294967295 4294967295 0 4294967295 4294967295 4294967295 0");
  test::RunResult r = run_lumtra({"-nt:" + file3});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("wavelength channels, which would take"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace lumtra
