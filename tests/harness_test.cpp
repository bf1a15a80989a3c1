#include <gtest/gtest.h>

#include "harness.h"

namespace lumtra::test {
namespace {

TEST(Harness, MissingNetworkFileIsAnErrorInProcessAndAsBinary) {
  const std::vector<std::string> args{"-nt:" + scratch_dir() + "/absent.txt"};
  for (const RunResult& r : {run_lumtra(args), run_binary(args)}) {
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("absent.txt: network file: cannot be opened"), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace lumtra::test
