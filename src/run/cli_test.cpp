#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"
#include "run/cli.h"
#include "run/run.h"

namespace lumtra::test {
namespace {

// Temporary streams that outlive the Run, whose console flushes into them
// when it is destroyed.
struct Streams {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ~Streams() {
    for (std::FILE* f : {in, out, err}) std::fclose(f);
  }
};

struct Scanned {
  Streams streams;
  Run run{streams.in, streams.out, streams.err};
  Status status;
  const Config& config() const { return run.config; }
};

// Scans "lumtra -i ARGS..." with the seed generator started from `clock`.
// An -nt among ARGS overrides the -i.
std::unique_ptr<Scanned> scan(const std::vector<std::string>& args, uint32_t clock = 0) {
  auto s = std::make_unique<Scanned>();
  s->run.args = {"lumtra", "-i"};
  s->run.args.insert(s->run.args.end(), args.begin(), args.end());
  s->run.seeder.seed(clock);
  s->status = parse_command_line(s->run);
  return s;
}

std::unique_ptr<Scanned> scan_and_check(const std::vector<std::string>& args) {
  auto s = scan(args);
  if (s->status.ok()) s->status = validate_and_normalise(s->run.config);
  return s;
}

// Every scanned setting in one line, to see that an argument changed nothing.
std::string settings(const Config& c) {
  std::ostringstream o;
  o << c.methods.routing_code << ' ' << c.methods.wa_code << ' ' << c.methods.alpha << ' ' << c.methods.epsilon << ' ' << c.sim.batch_count << ' '
    << c.sim.batch_time << ' ' << c.sim.departure_rate << ' ' << c.network.rate_factor << ' ' << c.network.rate_cofactor << ' '
    << c.sim.multi_wavelength << c.paths.all_paths << ' ' << c.paths.max_path_length << ' ' << c.paths.min_path_length << ' '
    << c.paths.max_paths << ' ' << c.paths.length_margin << ' ' << c.paths.path_order << ' ' << c.paths.second_path_limit << ' '
    << c.paths.sort_mode << ' ' << c.paths.priority_routing << c.methods.single_la_list << ' ' << c.paths.max_switchings << ' '
    << c.paths.min_switchings << ' ' << c.network.virtual_input << c.sim.virtual_output << c.report.local_calls << ' ' << c.methods.max_attempts
    << ' ' << c.network_source << c.network_file << ' ' << c.generator_given << c.generator_file << ' '
    << c.sink_node << ' ' << c.report.row_name_given << c.report.row_name << ' ' << (c.report.results.empty() ? "" : c.report.results.name(0));
  return o.str();
}

TEST(CommandLine, MethodOptionsNameRoutingThenAssignment) {
  struct Case {
    std::vector<std::string> args;
    int routing, wa;
  } cases[] = {
      {{}, 0, 0},           {{"-r", "-mu"}, 1, 6},          {{"-mu"}, 6, 6},
      {{"-lmu"}, 6, 7},     {{"-llu"}, 8, 9},               {{"-ff", "-ll"}, 0, 0},
      {{"-ll"}, 10, 0},     {{"-ll", "-r"}, 10, 1},         {{"-lu", "-ml"}, 8, 0},
      {{"-wlcr", "-ff"}, 12, 0}, {{"-ff", "-wlcr"}, 0, 0},  {{"-wmcr", "-lf"}, 13, 4},
      {{"-xla"}, 3, 3},     {{"-r", "-xla"}, 3, 3},         {{"-la", "-r", "-mu"}, 2, 6},
      {{"-LA", "-dLa"}, 2, 5}, {{"-Random", "-FF"}, 1, 0},
  };
  for (const Case& c : cases) {
    auto s = scan_and_check(c.args);
    ASSERT_TRUE(s->status.ok()) << ::testing::PrintToString(c.args);
    EXPECT_EQ(s->config().methods.routing_code, c.routing) << ::testing::PrintToString(c.args);
    EXPECT_EQ(s->config().methods.wa_code, c.wa) << ::testing::PrintToString(c.args);
  }
}

// Every ordered pair of method options: the routing and assignment codes
// after validation ("R/W"), or the check that refuses the pair (X: mixed
// RWA with -xla, W: -wlcr or -wmcr left to assign). Rows name the first
// option, columns the second, both in code order.
TEST(CommandLine, EveryOrderedPairOfMethodsGivesItsCodesOrItsRejection) {
  const char* const names[] = {"ff", "r", "la", "xla", "lf", "dla", "mu", "lmu", "lu", "llu", "ll", "ml", "wlcr", "wmcr"};
  const char* const expected[] = {
      "  0/0   0/1   0/2   3/3   0/4   0/5   0/6   0/7   0/8   0/9   0/0   0/0   0/0   0/0",  // -ff
      "  1/0   1/1   1/2   3/3   1/4   1/5   1/6   1/7   1/8   1/9   1/0   1/0   1/1   1/1",  // -r
      "  2/0   2/1   2/2   3/3   2/4   2/5   2/6   2/7   2/8   2/9   2/0   2/0   2/2   2/2",  // -la
      "    X     X     X   3/3     X     X     X     X     X     X     X     X   3/3   3/3",  // -xla
      "  4/0   4/1   4/2   3/3   4/4   4/5   4/6   4/7   4/8   4/9   4/0   4/0   4/4   4/4",  // -lf
      "  5/0   5/1   5/2   3/3   5/4   5/5   5/6   5/7   5/8   5/9   5/0   5/0   5/5   5/5",  // -dla
      "  6/0   6/1   6/2   3/3   6/4   6/5   6/6   6/7   6/8   6/9   6/0   6/0   6/6   6/6",  // -mu
      "  6/0   6/1   6/2   3/3   6/4   6/5   6/6   6/7   6/8   6/9   6/0   6/0   6/7   6/7",  // -lmu
      "  8/0   8/1   8/2   3/3   8/4   8/5   8/6   8/7   8/8   8/9   8/0   8/0   8/8   8/8",  // -lu
      "  8/0   8/1   8/2   3/3   8/4   8/5   8/6   8/7   8/8   8/9   8/0   8/0   8/9   8/9",  // -llu
      " 10/0  10/1  10/2   3/3  10/4  10/5  10/6  10/7  10/8  10/9  10/0  10/0  10/0  10/0",  // -ll
      " 11/0  11/1  11/2   3/3  11/4  11/5  11/6  11/7  11/8  11/9  11/0  11/0  11/0  11/0",  // -ml
      " 12/0  12/1  12/2   3/3  12/4  12/5  12/6  12/7  12/8  12/9  12/0  12/0     W     W",  // -wlcr
      " 13/0  13/1  13/2   3/3  13/4  13/5  13/6  13/7  13/8  13/9  13/0  13/0     W     W",  // -wmcr
  };
  for (size_t a = 0; a < 14; ++a) {
    std::istringstream row(expected[a]);
    for (size_t b = 0; b < 14; ++b) {
      std::string want;
      row >> want;
      std::string first = "-", second = "-";
      first += names[a];
      second += names[b];
      auto s = scan_and_check({first, second});
      std::string got = std::to_string(s->config().methods.routing_code);
      got.append("/").append(std::to_string(s->config().methods.wa_code));
      if (!s->status.ok()) got = std::string(1, s->status.message.find("Exaustive") != std::string::npos ? 'X' : 'W');
      EXPECT_EQ(got, want) << "-" << names[a] << " -" << names[b];
    }
  }
}

TEST(CommandLine, SortModeDependsOnTheOrderOfShAndSc) {
  EXPECT_EQ(scan({})->config().paths.sort_mode, -1);
  EXPECT_EQ(scan({"-sc", "-sh"})->config().paths.sort_mode, 4);
  EXPECT_EQ(scan({"-sh", "-sc"})->config().paths.sort_mode, 3);
  EXPECT_EQ(scan({"-sh", "-sh"})->config().paths.sort_mode, 1);
  EXPECT_EQ(scan({"-SC", "-Sc"})->config().paths.sort_mode, 2);
}

TEST(CommandLine, ValuesAreReadFromTheirFixedPosition) {
  auto s = scan({"-b:5", "-T:2.5", "-dr:2", "-f:3", "-c:0.5", "-MX:7", "-mn:2", "-mp:3", "-mc:1", "-n:4", "-e:2",
                 "-px:5", "-pn:1", "-at:9", "-al:0.5", "-ep:0.25", "-sn:3", "-m", "-a", "-pr", "-sla", "-vi", "-vo",
                 "-lo", "-or:row 1", "-g:params.txt"});
  ASSERT_TRUE(s->status.ok());
  const Config& c = s->config();
  EXPECT_EQ(settings(c), "-1 -1 0.5 0.25 5 2.5 2 3 0.5 11 7 2 3 1 4 2 -1 11 5 1 111 9 -2 1params.txt 2 1row 1 ");

  EXPECT_EQ(scan({"-b=5"})->config().sim.batch_count, 5u);  // the separator is not checked
  // The usage screen's -d:drate is the departure rate, exactly like -dr.
  EXPECT_EQ(scan({"-d:2"})->config().sim.departure_rate, 2.0);
  EXPECT_EQ(scan({"-D=0.5"})->config().sim.departure_rate, 0.5);
  EXPECT_EQ(scan({"-d:0"})->status.message, "lumtra: command line: -d:0: the departure rate must be greater than 0\n");
  // Too short to hold a value: the value is empty.
  auto nt = scan({"-nt"});
  EXPECT_EQ(nt->status.message,
            "lumtra: command line: -nt: the network file is missing; the form is -nt:FILE, with the file name right "
            "after the colon and no space\n");
  EXPECT_TRUE(scan({"-g"})->config().generator_given);
  EXPECT_TRUE(scan({"-or"})->config().report.row_name_given);
}

TEST(CommandLine, UnknownArgumentsChangeNothing) {
  const std::string defaults = settings(scan({})->config());
  for (std::string arg : {"-", "", "plain", "-h", "-q", "-z", "-[", "-d", "-dx:2", "-lm", "-xl", "-wl", "-o:x", "-p",
                          "-v"})
    EXPECT_EQ(settings(scan({arg})->config()), defaults) << arg;
}

TEST(CommandLine, NetworkSourceIsTheLaterOfNtAndI) {
  auto nt = scan({"-b:1", "-NT:net.txt"});
  EXPECT_EQ(nt->config().network_source, 3);
  EXPECT_EQ(nt->config().network_file, "net.txt");
  EXPECT_EQ(scan({"-nt:net.txt", "-I"})->config().network_source, -2);

  Scanned s;  // the program path is examined like any argument
  s.run.args = {"-la", "-i"};
  ASSERT_TRUE(parse_command_line(s.run).ok());
  EXPECT_EQ(s.run.config.methods.routing_code, 2);
}

TEST(CommandLine, SeedMakesStreamSeedsIndependentOfTheClock) {
  auto seeds = [](const std::vector<std::string>& args, uint32_t clock) {
    auto s = scan(args, clock);
    EXPECT_TRUE(s->status.ok());
    seed_streams(s->run);
    return std::pair(s->run.method_stream.state, s->run.generator_stream.state);
  };
  SeedGenerator g;
  g.seed(7);
  const uint32_t method = next_seed(g);
  const auto expected = std::pair(method, next_seed(g));
  EXPECT_EQ(seeds({"-s:7"}, 1), expected);
  EXPECT_EQ(seeds({"-s:7"}, 2), expected);
  EXPECT_EQ(seeds({"-s:1", "-S:7"}, 3), expected);  // the last one counts
  EXPECT_NE(seeds({}, 1), seeds({}, 2));
}

TEST(CommandLine, CombinationsAreCheckedInOrder) {
  const std::string sorting = "\nEither -sh or -sc or both has be used with -";
  std::pair<std::vector<std::string>, std::string> rejected[] = {
      {{"-xla", "-r"}, "\nMixed RWA can not be used when using Exaustive Learning Automata\n"},
      {{"-pr", "-n:2"}, "\n-pr Can not be used without -sh or -sc or both.\n"},
      {{"-sla", "-pr", "-sh", "-ff"}, "\n-sla Can not be used without using both -la (for routing) and -pr.\n"},
      {{"-ff", "-la", "-pr", "-sh", "-sla"}, "\n-sla Can not be used without using both -la (for routing) and -pr.\n"},
      {{"-n:0"}, sorting + "n\n"},
      {{"-n:-1"}, sorting + "n\n"},
      {{"-la", "-sla", "-sh"}, "\n-sla Can not be used without using both -la (for routing) and -pr.\n"},
      {{"-n:2"}, sorting + "n\n"},
      {{"-e:1"}, sorting + "e\n"},
      {{"-wmcr"}, "\n-wlcr and -wmcr are routing only algorithms. They can not be used for wavelength assignment. "
                  "You should specifiy an other wavelength assignment algorithm.\n"},
      {{"-pr", "-sh", "-a"}, "\n-pr Can not be used with -a. Priority groups are only built for the generated path "
                             "lists.\n"},
  };
  for (const auto& [args, message] : rejected) {
    auto s = scan_and_check(args);
    EXPECT_EQ(s->status.exit, Exit::usage);
    EXPECT_FALSE(s->status.to_stderr);
    EXPECT_EQ(s->status.message, message) << ::testing::PrintToString(args);
  }
  for (auto args : std::vector<std::vector<std::string>>{
           {"-la", "-pr", "-sh", "-sla"}, {"-la", "-ff", "-pr", "-sh", "-sla"}, {"-n:1"}, {"-e:0"},
           {"-pr", "-sc", "-n:3", "-e:2"}, {"-a", "-sh"}, {"-n:0", "-sh"}})
    EXPECT_TRUE(scan_and_check(args)->status.ok()) << ::testing::PrintToString(args);

  RunResult r = run_lumtra({"-xla", "-r", "-i"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, rejected[0].second);
}

TEST(CommandLine, ValuesOutOfRangeAreInputErrors) {
  const std::string int32 = " must be between -2147483648 and 2147483647";
  std::pair<std::string, std::string> bad[] = {
      {"-b:-1", "the batch count must not be negative"},
      {"-b:4294967296", "the batch count must be at most 4294967295"},
      {"-at:-5", "the attempt limit must not be negative"},
      {"-mx:2147483648", "the maximum path length" + int32},
      {"-mn:-2147483649", "the minimum path length" + int32},
      {"-n:-3000000000", "the path order" + int32},
      {"-px:2147483648", "the maximum number of G-Fabric switchings" + int32},
      {"-sn:-2147483648", "the sink node must be between -2147483647 and 2147483647"},
      {"-s:99999999999999999999", "the seed must be at most 4294967295"},
      {"-s:4294967297", "the seed must be at most 4294967295"},
      {"-s:-1", "the seed must not be negative"},
      {"-f:0", "the rate factor must be greater than 0"},
      {"-c:-2", "the rate cofactor must be greater than 0"},
      {"-dr:0", "the departure rate must be greater than 0"},
      {"-dr:1e999", "the departure rate must be a finite number"},
      {"-t:-1", "the batch time must not be negative"},
      {"-t:inf", "the batch time must be a finite number"},
      {"-al:nan", "alpha must be a finite number"},
      {"-ep:-INF", "epsilon must be a finite number"},
      // Values are converted whole, as in a network file.
      {"-b:2.5", "the batch count: '2.5' is not a whole number"},
      {"-b:5x", "the batch count: '5x' is not a whole number"},
      {"-t:1O00", "the batch time: '1O00' is not a number"},
      {"-s:abc", "the seed: 'abc' is not a whole number"},
      {"-f", "the rate factor is missing; the value follows the option letters and one separator, as in -f:VALUE"},
      {"-MX", "the maximum path length is missing; the value follows the option letters and one separator, as in "
              "-MX:VALUE"},
      {"-b5", "the batch count is missing; the value follows the option letters and one separator, as in -b:VALUE"},
  };
  for (const auto& [arg, problem] : bad) {
    auto s = scan({arg});
    EXPECT_EQ(s->status.exit, Exit::input_error) << arg;
    EXPECT_EQ(s->status.message, "lumtra: command line: " + arg + ": " + problem + "\n");
  }
  for (std::string arg : {"-b:4294967295", "-at:0", "-mx:2147483647", "-mn:-2147483648", "-sn:-2147483647",
                          "-t:0", "-al:5", "-ep:-3", "-s:0", "-s:4294967295", "-b:+7", "-t:1e3"})
    EXPECT_TRUE(scan({arg})->status.ok()) << arg;

  RunResult r = run_lumtra({"-i", "-b:-1"}, "3\n");  // stops before the network is read
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "lumtra: command line: -b:-1: the batch count must not be negative\n");
}

TEST(CommandLine, ResultFilesAreOpenedForAppendingWhenScanned) {
  const std::string prefix = scratch_dir() + "/run";
  write_file("run_Variance.csv", "kept\n");
  RunResult r = run_lumtra({"-of:" + prefix, "-?", "-xla", "-r"});  // nothing after -? is examined
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\nUsage: Lumtra [-ff|"), std::string::npos);
  for (const char* suffix : kResultSuffixes) {
    EXPECT_TRUE(std::filesystem::exists(prefix + suffix)) << suffix;
    EXPECT_EQ(read_file(prefix + suffix), std::string(suffix) == "_Variance.csv" ? "kept\n" : "");
  }

  auto s = scan({"-of:" + prefix, "-OF:" + prefix + "2"});
  ASSERT_TRUE(s->status.ok());
  ASSERT_EQ(s->config().report.results.size(), 5u);
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(s->config().report.results.name(i), prefix + "2" + kResultSuffixes[i]);

  r = run_lumtra({"-of:" + prefix, "-or:two\nlines", "-i"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "lumtra: command line: -or:two\\x0alines: a row name must stay on one line, and this one holds a "
                   "line break\n");

  r = run_lumtra({"-of:" + prefix + "/none/x", "-i"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "lumtra: " + prefix + "/none/x_Blocking_Probability.csv: result file: cannot be opened: " +
                       "No such file or directory\n");
}

const char* const kOptionHelp =
    "  -ff\t\tUse first fit RWA. This is the default method\n"
    "  -r\t\tUse random RWA\n"
    "  -la\t\tUse Fast Learning Automata RWA\n"
    "  -xla\t\tUse Exhaustive Learning Automata RWA\n"
    "  -dla\t\tUse Deterministic Learning Automata RWA\n"
    "  -mu\t\tUse Most Used Routing and Global channels Most Used WA\n"
    "  -lmu\t\tUse Most Used Routing and Local channels Most Used WA\n"
    "  -lu\t\tUse Least Used Routing and Global channels Least Used WA\n"
    "  -llu\t\tUse Least Used Routing and Local channels Least Used WA\n"
    "  -lf\t\tUse Last Fit RWA.\n"
    "  -ll\t\tUse Least Loaded Routing. When used for WA, first fit is used.\n"
    "\t\t-e:1 -sh -pr can be used also to let -ll behave exactly as\n"
    "\t\tLeast Loaded Routing is defined in most papers.\n"
    "  -ml\t\tUse Most Loaded Routing. When used for WA, first fit is used.\n"
    "  -wlcr\t\tUse Weighted Least Congestion Routing. Can not be used for WA.\n"
    "  -wmcr\t\tUse Weighted Most Congestion Routing. Can not be used for WA.\n"
    "  -al:value\tAlpha constant used for Learning Automata.\n"
    "  -ep:value\tEpsilon constant used for Learning Automata.\n"
    "  -s:seed\tRandomization Seed. If omited, system timer is used\n"
    "  -b:value\tNumber of batches. i.e, number of times the simulation is run.\n"
    "\t\tIf omited, It will be read from the network file specified by\n"
    "\t\t-nt or requested interactivly if -nt is also omited.\n"
    "  -t:time\tTotal time (in seconds) each batch should run.\n"
    "  -d:drate\tCommon departure rate. Default = 1\n"
    "  -m\t\tAllow multiple wavelengths to be reserved for a single\n"
    "\t\tcall.\n"
    "  -f:factor\tA factor that the arrival rates matrix will be multiplied by\n"
    "  -c:cofactor\tA cofactor that the arrival rates matrix will be devided by\n"
    "  -a\t\tForces the simulator to extract all possible paths\n"
    "  -mx:length\tSpecifies a maximum length for each path generated.\n"
    "  -mn:length\tSpecifies a minimum length for each path generated.\n"
    "  -mp:number\tSpecifies the maximum number of paths to be generated for\n"
    "\t\tfor each source to destination pair. If omited all required\n"
    "\t\tpaths are generated.\n"
    "  -mc:const\tAllowes paths that are n+const in length to be generated. Were\n"
    "\t\tn is the shortest paths length for each source to destination\n"
    "\t\tpair. Has priority over -n. Default is 0.\n"
    "  -n:order\tSpecifies the maximum n-th shortest and/or n-th least cost\n"
    "\t\tpaths to be generated according to -sh and -sc sorting. -mc has\n"
    "\t\tpriority over -n.\n"
    "  -e:value\tGenerate 2nd shortest paths if the shortest path is shorter\n"
    "\t\tthan or equal to the value given. Usefull when using -ll.\n"
    "  -sh\t\tSort paths by hop count in increasing order. If preceded by -sc\n"
    "\t\tpath cost will take priority in sorting.\n"
    "  -sc\t\tSort paths by cost in increasing order. If preceded by -sh path\n"
    "\t\thop count will take priority in sorting.\n"
    "  -pr\t\tUse priority routing. Were shortest and/or least cost paths are\n"
    "\t\tforced to be selected first before other longer and/or costier\n"
    "\t\tpaths. Either -sh or -sc or both has to be used.\n"
    "  -sla\t\tForces Single LA list for priority routing. By default, when LA\n"
    "\t\tpriority routing is used, seperate LA lists are created for\n"
    "\t\teach group of paths which have same priorities (length/cost).\n"
    "\t\tThis option suppresses this default behaviour and forces a\n"
    "\t\tsingle LA list for all routes.\n"
    "  -px:number\tSpecifies the maximum number of G-Fabric switchings allowed\n"
    "\t\tfor any path that contains partial grooming nodes\n"
    "  -pn:number\tSpecifies the minimum number of G-Fabric switchings allowed\n"
    "\t\tfor any path that contains partial grooming nodes. But\n"
    "\t\tNo G-Fabric Switchings (Switchings=0) is always applied.\n"
    "  -vi\t\tPrompt to enter capacities and arrival rates for virtual nodes\n"
    "  -vo\t\tShow blocking probabilities of virtual nodes\n"
    "  -lo\t\tInclude local calls in simulation results. i.e. when x=y\n"
    "  -of:prefix\tSpecifies a prefix name for output CSV file names. The\n"
    "\t\tresults are saved into those files.\n"
    "  -or:name\tSpecifies a row name to be writen into the output CSV files\n"
    "\t\tThis option is used with the -of option.\n"
    "  -i\t\tInteractive mode. The user is prompted for the network details.\n"
    "  -nt:file\tSpecifies a network topology/info file to read from. The file\n"
    "\t\twill be overwriten if -g option is used.\n"
    "  -g:file\tGenerate a network automatically using a parameter file.\n"
    "  -sn:node\tSpecifies a sink node. -g option should be used.\n"
    "  -at:number\tSpecifies the maximum number of attempts for a call before\n"
    "\t\tit is force blocked\n"
    "  -?\t\tShow this usage info with extended options view.\n"
    "\nNote: Mixed RWA is enabled. You can use different routing and WA methods by\n"
    "specifying two RWA methods. For example, If you enter -r -mu. The simulator\n"
    "will use Random routing and Most Used WA. The first method entered is always\n"
    "for routing, and the second is for WA\n";

std::string screen(const std::string& usage_line) {
  return "\nLumtra v1.0. Blocking probability simulator for wavelength-routed optical networks with traffic "
         "grooming.\n\nUsage: Lumtra " +
         usage_line + " [-?]\n\n" + kOptionHelp;
}

TEST(UsageScreen, ShortWithoutNetworkSourceExtendedOnQuestionMark) {
  const std::string short_screen = screen("[-options...] <-nt:netfile | -i>");
  for (auto args : std::vector<std::vector<std::string>>{{}, {"-b:5"}}) {
    RunResult r = run_lumtra(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, short_screen);
    EXPECT_EQ(r.err, "");
  }
  // The extended screen wins over any malformed argument before or after it.
  for (auto args : std::vector<std::vector<std::string>>{{"-c:0", "-?"}, {"-?", "--bogus"}, {"--help", "-s:x"}}) {
    RunResult r = run_lumtra(args);
    EXPECT_EQ(r.status, 0) << ::testing::PrintToString(args);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("  -?\t\tShow this usage info"), std::string::npos);
  }
  RunResult r = run_lumtra({"-i", "-?", "-b:-1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, screen("[-ff|-r|-la|-xla|-dla|-mu|-lmu|-lu|-llu|-lf|-ll|-ml|-wlcr|-wmcr] [-al:value] "
                          "[-ep:epsilon] [-s:seed] [-b:value] [-t:time] [-d:drate] [-m] [-a] [-mx:length] "
                          "[-mn:length] [-mp:number] [-mc:const] [-n:order] [-e:value] [-sh|-sc [-pr [-sla]]] "
                          "[-px:number] [-pn:number] [-vi] [-vo] [-lo] [-of:prefix] [-or:name] [-g:param_file] "
                          "[-sn:node] [-at:number] <-nt:netfile | -i>") +
                      long_options_help());
}

}  // namespace
}  // namespace lumtra::test
