// Plug-ins end to end: the shipped first-fit plug-in against -ff, the
// checks of every answer, the loading errors, and the choices of Max-Sum
// and RCL on a network small enough to work them out by hand.
#include "plugin/plugin.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include "harness.h"

namespace lumtra {
namespace {

using test::RunResult;
using test::run_binary;
using test::run_lumtra;

std::string plugin(const std::string& name) { return std::string(LUMTRA_PLUGIN_DIR) + "/" + name + ".so"; }

TEST(FirstFitPlugin, PrintsWhatDashFfPrintsForEverySeedNetworkAndMode) {
  for (const char* net : {"nsfnet.txt", "all-node-types.txt", "three-node.txt"})
    for (const char* seed : {"-s:1", "-s:7"})
      for (const std::vector<std::string>& mode : std::vector<std::vector<std::string>>{
               {}, {"--parallel:3"}, {"-m", "-at:6", "-f:2"}}) {
        std::vector<std::string> args{seed, "-b:3", "-t:40", "-nt:" + test::example(net)};
        args.insert(args.end(), mode.begin(), mode.end());
        const RunResult ff = run_binary(args);
        SCOPED_TRACE(std::string(net) + " " + seed + " " + (mode.empty() ? "" : mode[0]));
        // With all shortest paths as candidates, the k shortest for a k
        // as large as any list are the list itself: KSP-FF is -ff as well.
        for (const std::string& p : {plugin("first_fit"), plugin("ksp_ff") + ":1000"}) {
          std::vector<std::string> with = args;
          with.push_back("--plugin:" + p);
          const RunResult r = run_binary(with);
          ASSERT_EQ(r.status, 0) << r.err;
          EXPECT_EQ(test::without_elapsed(r.out), test::without_elapsed(ff.out)) << p;
        }
      }
}

// ---- Answers the engine must refuse ------------------------------------------

// Answers whatever it was set to; create hands back the user pointer, so a
// run only works when the embedding program's pointer arrives.
struct Scripted {
  uint32_t path = 0;
  uint32_t segments = 1;
  uint32_t wavelength = 0;
  bool blocks_when_taken = false;  // looks at the live state first
};

lumtra_plugin scripted_table(uint32_t role) {
  lumtra_plugin t{};
  t.api_version = LUMTRA_PLUGIN_API_VERSION;
  t.role = role;
  t.name = "scripted";
  t.version = "0";
  t.create = [](const lumtra_facts*, const char*, void* user, char*, size_t) { return user; };
  t.destroy = [](void*) {};
  t.assign = [](void* state, const lumtra_lane* lane, const lumtra_call* call, lumtra_answer* a) {
    const Scripted& s = *static_cast<const Scripted*>(state);
    const lumtra_path* p = lumtra_pair_path(lane->facts, call->source, call->destination, 0);
    if (s.blocks_when_taken && lumtra_free_slots(lane, lane->facts->hops[p->first_hop].link, s.wavelength) == 0)
      return int(LUMTRA_BLOCKED);
    a->path = s.path;
    a->segments = s.segments;
    a->attempts = 1;
    for (uint32_t k = 0; k < s.segments && k < 1; ++k) a->wavelengths[k] = s.wavelength;
    return int(LUMTRA_PLACED);
  };
  return t;
}

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

TEST(PluginAnswers, AWrongAnswerStopsTheRunNamingThePluginTheCallAndTheFault) {
  const std::string net = test::write_file("link.txt", test::single_link({.wavelengths = 4, .rate = 3.0}));
  struct Case {
    uint32_t role;
    Scripted answer;
    std::string fault;
  };
  const Case cases[] = {
      {LUMTRA_ASSIGNS, {0, 1, 0},
       "wavelength 0 of segment 0 does not fit hop 1-2 of path 0 (0 of 1 slots free there, the call needs 1)"},
      {LUMTRA_ASSIGNS, {0, 1, 4}, "wavelength 4 of segment 0 does not fit hop 1-2 of path 0 (its segment has wavelengths 0 .. 3)"},
      {LUMTRA_ROUTES_AND_ASSIGNS, {2, 1, 1}, "answered path 2, which is not a candidate (the pair has 1)"},
      {LUMTRA_ROUTES_AND_ASSIGNS, {1, 1, 1}, "answered path 1, which is not a candidate (the pair has 1)"},
      {LUMTRA_ASSIGNS, {1, 1, 1}, "answered path 1, but was offered path 0"},
      {LUMTRA_ASSIGNS, {0, 2, 1}, "answered 2 wavelengths, but path 0 has 1 segments"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    Scripted answer = c.answer;
    const lumtra_plugin table = scripted_table(c.role);
    PluginHooks hooks;
    hooks.plugins.push_back({"scripted", &table, &answer});
    const std::string dir = test::scratch_dir() + "/" + std::to_string(&c - cases);
    const RunResult r = run_lumtra(
        {"-s:1", "-nt:" + net, "--plugin:scripted", "-of:" + dir + "-", "--json:" + dir + "-run.json"}, "", hooks);
    EXPECT_EQ(r.status, 1);
    const std::string head = "lumtra: plug-in scripted (scripted): batch 1, call from node 1 to node 2 at time ";
    ASSERT_EQ(r.err.rfind(head, 0), 0u) << r.err;
    EXPECT_NE(r.err.find(" (1 slot): " + c.fault + "\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_EQ(r.out.find("Average Blocking"), std::string::npos);
    // Nothing of the run reached a Result file, and no JSON document exists.
    for (const std::string& name : files_in(test::scratch_dir())) {
      if (name.rfind(std::to_string(&c - cases) + "-", 0) == 0) {
        EXPECT_EQ(test::read_file(test::scratch_dir() + "/" + name), "") << name;
      }
    }
  }
}

TEST(PluginAnswers, AnEmbeddedTableThatAnswersRightRunsLikeAFile) {
  // Wavelength 0 on a link of one wavelength when it is free, else
  // blocked: first fit, through a table and a pointer the embedding
  // program made.
  const std::string net = test::write_file("one.txt", test::single_link({.wavelengths = 1, .rate = 0.5}));
  Scripted answer;
  answer.blocks_when_taken = true;
  const lumtra_plugin table = scripted_table(LUMTRA_ASSIGNS);
  PluginHooks hooks;
  hooks.plugins.push_back({"mine", &table, &answer});
  const RunResult p = run_lumtra({"-s:3", "-b:2", "-t:50", "-nt:" + net, "--plugin:mine"}, "", hooks);
  const RunResult ff = run_lumtra({"-s:3", "-b:2", "-t:50", "-nt:" + net});
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(test::without_elapsed(p.out), test::without_elapsed(ff.out));
  // Its blocks found the wavelength taken; a table that refuses every call
  // on the free link is the cause of every block.
  auto causes = [&](const lumtra_plugin& t) {
    PluginHooks h;
    h.plugins.push_back({"mine", &t, &answer});
    const std::string out = run_lumtra({"--summary", "-s:3", "-b:1", "-t:50", "-nt:" + net, "--plugin:mine"}, "", h).out;
    const size_t at = out.find("Blocked by cause: ");
    return out.substr(at, out.find('\n', at) - at);
  };
  EXPECT_NE(causes(table).find(" 0 refused by a plug-in"), std::string::npos) << causes(table);
  lumtra_plugin refusing = table;
  refusing.assign = [](void*, const lumtra_lane*, const lumtra_call*, lumtra_answer*) { return int(LUMTRA_BLOCKED); };
  EXPECT_EQ(causes(refusing).rfind("Blocked by cause: 0 ", 0), 0u) << causes(refusing);
  EXPECT_EQ(causes(refusing).find(" 0 refused by a plug-in"), std::string::npos) << causes(refusing);
}

TEST(PluginAnswers, DrawsFromTheMethodStreamGiveTheSameRunOnAnyNumberOfThreads) {
  // A random wavelength among those free on every hop of the offered path
  // (the ring converts nowhere, so a path is one segment).
  lumtra_plugin table = scripted_table(LUMTRA_ASSIGNS);
  table.assign = [](void*, const lumtra_lane* lane, const lumtra_call* call, lumtra_answer* a) {
    const lumtra_path* p = lumtra_pair_path(lane->facts, call->source, call->destination, uint32_t(call->candidate));
    uint64_t free = (uint64_t(1) << lane->facts->hops[p->first_hop].bound) - 1;
    for (uint32_t j = 0; j < p->hops; ++j) free &= lumtra_free_mask(lane, lane->facts->hops[p->first_hop + j].link)[0];
    if (free == 0) return int(LUMTRA_PATH_FAILS);
    uint32_t k = uint32_t(lumtra_uniform(lane) * __builtin_popcountll(free));
    uint64_t m = free;
    while (k--) m &= m - 1;
    a->path = uint32_t(call->candidate);
    a->segments = 1;
    a->attempts = 1;
    a->wavelengths[0] = uint32_t(__builtin_ctzll(m));
    return int(LUMTRA_PLACED);
  };
  Scripted unused;
  PluginHooks hooks;
  hooks.plugins.push_back({"random", &table, &unused});
  std::vector<std::string> outputs;
  for (const char* threads : {"--parallel:1", "--parallel:3"}) {
    const RunResult r = run_lumtra(
        {"-s:5", "-b:6", "-t:30", "-f:2", "-nt:" + test::example("ring-6.txt"), threads, "--plugin:random"}, "", hooks);
    ASSERT_EQ(r.status, 0) << r.err;
    outputs.push_back(test::without_elapsed(r.out));
  }
  EXPECT_EQ(outputs[0], outputs[1]);
}

// ---- Loading -------------------------------------------------------------------

TEST(PluginLoading, EachErrorIsOneLineAndExitStatusOne) {
  const std::string net = test::example("ring-6.txt");
  const std::string text = test::write_file("text.so", "not a shared object\n");
  lumtra_plugin old = scripted_table(LUMTRA_ASSIGNS);
  old.api_version = LUMTRA_PLUGIN_API_VERSION + 1;
  PluginHooks hooks;
  hooks.plugins.push_back({"old", &old, nullptr});
  const std::string v = std::to_string(LUMTRA_PLUGIN_API_VERSION);
  const std::string v1 = std::to_string(LUMTRA_PLUGIN_API_VERSION + 1);
  const std::pair<std::string, std::string> cases[] = {
      {"/nonexistent/x.so", "lumtra: /nonexistent/x.so: plug-in: cannot be opened: No such file or directory\n"},
      {text, "lumtra: " + text + ": plug-in: not a shared object that can be loaded: "},
      {plugin("not_a_plugin"),
       "lumtra: " + plugin("not_a_plugin") +
           ": plug-in: has no entry point lumtra_plugin_entry (export: const lumtra_plugin *lumtra_plugin_entry(void))\n"},
      {"old", "lumtra: old: plug-in: built for plug-in interface version " + v1 + ", but this program has version " + v +
                  "; rebuild it against this program's lumtra/plugin.h\n"},
      {plugin("max_sum") + ":most",
       "lumtra: plug-in max-sum (" + plugin("max_sum") +
           "): arguments 'most': unknown argument 'most' (known: all, rates; separate them with commas)\n"},
      {plugin("ksp_ff") + ":0", "lumtra: plug-in ksp-ff (" + plugin("ksp_ff") +
                                     "): arguments '0': '0' is not a number of paths k from 1 to 1000\n"},
  };
  for (const auto& [value, message] : cases) {
    const RunResult r = run_lumtra({"-s:1", "-nt:" + net, "--plugin:" + value}, "", hooks);
    EXPECT_EQ(r.status, 1) << value;
    EXPECT_EQ(r.err.substr(0, message.size()), message) << value;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
  // A plug-in that routes cannot follow another routing method, and none
  // can stand in for the exhaustive automaton's assignment.
  EXPECT_EQ(run_lumtra({"-ll", "-nt:" + net, "--plugin:" + plugin("ksp_ff")}).err,
            "lumtra: command line: --plugin: plug-in ksp-ff (" + plugin("ksp_ff") +
                ") chooses the paths itself, so the routing method -ll cannot be used with it\n");
  EXPECT_EQ(run_lumtra({"-xla", "-nt:" + net, "--plugin:" + plugin("first_fit")}).status, 1);
}

// ---- Max-Sum and RCL by hand ----------------------------------------------------

// A star: node 1 hangs on hub 2, which also reaches 3, 4 and 5; four
// wavelengths per fibre, no conversion, traffic between every pair. Calls
// from 1 to 2 use fibre 1-2, which the first paths of the pairs 1-2, 1-3,
// 1-4 and 1-5 (r, P, Q and S) all cross.
const char* const kStar =
    "5\n1 n\n1 n\n1 n\n1 n\n1 n\n1\n1\n1\n"
    "0 4 0 0 0\n4 0 4 4 4\n0 4 0 0 0\n0 4 0 0 0\n0 4 0 0 0\n"
    "0 .1 .1 .1 .1\n.1 0 .1 .1 .1\n.1 .1 0 .1 .1\n.1 .1 .1 0 .1\n.1 .1 .1 .1 0\n1\n10\n";

// The wavelength given to a call from node 1 to node 2 after `busy` (fibre
// from, fibre to, wavelength; nodes from 1) were taken.
uint32_t choice(const std::string& method, const std::vector<std::array<uint32_t, 3>>& busy) {
  const std::string net = test::write_file("star.txt", kStar);
  test::PreparedRun run({"-s:1", "-nt:" + net, method});
  EXPECT_TRUE(run.status.ok()) << run.status.message;
  run.start_batch();
  for (const auto& [u, v, w] : busy) run.take(u - 1, v - 1, w, 1);
  const HopArray hops = run.assign(0, 1, 1);
  EXPECT_EQ(hops.size(), 1u);
  return hops.empty() ? 99 : hops[0];
}

TEST(CapacityLossPlugins, ChooseTheWavelengthsWorkedOutByHand) {
  const std::string max_sum = "--plugin:" + plugin("max_sum"), rcl = "--plugin:" + plugin("rcl");
  // Wavelength 0 is free on fibres 2-4 and 2-5 only, wavelengths 1 to 3 on
  // 2-3 only. Taking 0 costs r, Q and S one each (Max-Sum 3), taking 1
  // costs r and P (2): Max-Sum and RCL (1/4 + 1/1 + 1/1 against
  // 1/4 + 1/3) both take 1, first fit takes 0.
  const std::vector<std::array<uint32_t, 3>> spread{{2, 3, 0}, {2, 4, 1}, {2, 4, 2}, {2, 4, 3},
                                                     {2, 5, 1}, {2, 5, 2}, {2, 5, 3}};
  EXPECT_EQ(choice("-ff", spread), 0u);
  EXPECT_EQ(choice(max_sum, spread), 1u);
  EXPECT_EQ(choice(rcl, spread), 1u);
  // Wavelength 0 is P's only one (C = 1); 1 to 3 are free on 2-4 and 2-5
  // (C = 3 for Q and S). Max-Sum counts 2 against 3 and takes 0; RCL
  // weighs 1/4 + 1/1 against 1/4 + 1/3 + 1/3 and takes 1.
  const std::vector<std::array<uint32_t, 3>> scarce{{2, 3, 1}, {2, 3, 2}, {2, 3, 3}, {2, 4, 0}, {2, 5, 0}};
  EXPECT_EQ(choice(max_sum, scarce), 0u);
  EXPECT_EQ(choice(rcl, scarce), 1u);
}

}  // namespace
}  // namespace lumtra
