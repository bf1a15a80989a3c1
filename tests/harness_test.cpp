#include <gtest/gtest.h>

#include "harness.h"

namespace lumtra::test {
namespace {

TEST(Harness, MissingNetworkFileIsAnErrorInProcessAndAsBinary) {
  for (auto run : {run_lumtra, run_binary}) {
    RunResult r = run({"-nt:" + scratch_dir() + "/absent.txt"}, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("absent.txt: network file: cannot be opened"), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace lumtra::test
