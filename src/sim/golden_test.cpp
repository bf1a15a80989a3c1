// Golden runs: the whole standard output (elapsed time blanked) of short
// runs over every method and option family, kept in tests/golden/. Any
// change to the event order, the random streams, the methods or the report
// formats shows up here, with the first line that differs; a speed-up must
// leave every file as it is. When the output changes on purpose,
// LUMTRA_UPDATE_GOLDEN=1 rewrites the files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace lumtra {
namespace {

struct Golden {
  std::string number, args, network;
};

std::vector<Golden> cases(const std::string& folder) {
  std::ifstream in(folder + "/CASES");
  std::vector<Golden> out;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const size_t a = line.find(" | "), b = line.find(" | ", a + 3);
    out.push_back({line.substr(0, a), line.substr(a + 3, b - a - 3), line.substr(b + 3)});
  }
  return out;
}

// "line N: expected ... / got ..." for the first line that differs.
std::string first_difference(const std::string& want, const std::string& got) {
  std::istringstream w(want), g(got);
  std::string lw, lg;
  for (size_t n = 1;; ++n) {
    const bool more_w = bool(std::getline(w, lw)), more_g = bool(std::getline(g, lg));
    if (!more_w && !more_g) return "same lines, different line ends";
    if (lw != lg || more_w != more_g)
      return "line " + std::to_string(n) + ":\n  expected: " + (more_w ? lw : "(end of output)") +
             "\n  got:      " + (more_g ? lg : "(end of output)");
  }
}

TEST(Golden, OutputOfEveryMethodIsUnchangedForAFixedSeed) {
  const std::string folder = std::string(LUMTRA_SOURCE_DIR) + "/tests/golden";
  const bool update = std::getenv("LUMTRA_UPDATE_GOLDEN") != nullptr;
  const std::vector<Golden> all = cases(folder);
  ASSERT_GE(all.size(), 29u);
  for (const Golden& g : all) {
    std::vector<std::string> args;
    std::istringstream words(g.args);
    for (std::string w; words >> w;) args.push_back(w);
    args.push_back("-nt:" + test::example(g.network));
    auto r = test::run_lumtra(args);
    ASSERT_EQ(r.status, 0) << g.args << "\n" << r.err;
    const std::string got = test::without_elapsed(r.out);
    const std::string file = folder + "/" + g.number + ".out";
    if (update) {
      std::ofstream(file, std::ios::binary) << got;
      continue;
    }
    const std::string want = test::read_file(file);
    EXPECT_TRUE(got == want) << "case " << g.number << ": " << g.args << " on " << g.network << ", "
                             << first_difference(want, got);
  }
}

}  // namespace
}  // namespace lumtra
