// Output fingerprints: a digest of the whole output (elapsed time blanked)
// of short runs over many methods and options. Any change to the event
// order, the random streams, the methods or the report formats shows up
// here; a speed-up must leave every digest as it is. When behaviour changes
// on purpose, print the new digests with LUMTRA_PRINT_DIGESTS=1 and update
// the table.
#include <gtest/gtest.h>

#include <cstdlib>

#include "harness.h"

namespace lumtra {
namespace {

uint64_t fnv1a(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

struct Golden {
  const char* args;
  const char* network;
  uint64_t digest;
};

const Golden kGolden[] = {
#include "golden_digests.inc"
};

TEST(Golden, OutputOfEveryMethodIsUnchangedForAFixedSeed) {
  const bool print = std::getenv("LUMTRA_PRINT_DIGESTS") != nullptr;
  for (const Golden& g : kGolden) {
    std::vector<std::string> args;
    std::string all = g.args;
    for (size_t at = 0; at < all.size();) {
      size_t end = all.find(' ', at);
      if (end == std::string::npos) end = all.size();
      if (end > at) args.push_back(all.substr(at, end - at));
      at = end + 1;
    }
    args.push_back("-nt:" + test::example(g.network));
    auto r = test::run_lumtra(args);
    ASSERT_EQ(r.status, 0) << g.args << "\n" << r.err;
    const uint64_t d = fnv1a(test::without_elapsed(r.out));
    if (print) std::printf("    {\"%s\", \"%s\", 0x%016llxull},\n", g.args, g.network, (unsigned long long)d);
    else EXPECT_EQ(d, g.digest) << g.args << " on " << g.network;
  }
}

}  // namespace
}  // namespace lumtra
