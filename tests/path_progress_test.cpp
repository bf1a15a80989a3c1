// Progress of a long path enumeration: shown on a terminal's standard
// error, never anywhere else.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "paths/build.h"
#include "paths/testing.h"
#include "run/run.h"
#include "harness.h"

namespace lumtra::test {
namespace {

std::string contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string s;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  return s;
}

TEST(PathProgress, ReportsFoundPathsAndClearsTheLineAtTheEnd) {
  std::FILE* progress = std::tmpfile();
  PathLimits limits;
  limits.progress = progress;
  limits.progress_ms = 0;
  TableOptions every_path;
  every_path.all_paths = true;
  Built b = build_paths(complete_graph(8), every_path, limits);
  ASSERT_TRUE(b.status.ok()) << b.status.message;
  const std::string shown = contents(progress);
  EXPECT_EQ(shown.rfind("\rcandidate paths: ", 0), 0u) << shown;
  EXPECT_NE(shown.find(" found so far, 65536 search steps (source node "), std::string::npos) << shown;
  EXPECT_NE(shown.find(" of 8)"), std::string::npos);
  ASSERT_GE(shown.size(), 4u);
  EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K");
  // A quick build says nothing.
  std::FILE* quiet = std::tmpfile();
  limits.progress = quiet;
  ASSERT_TRUE(build_paths(complete_graph(4), every_path, limits).status.ok());
  EXPECT_EQ(contents(quiet), "");
  std::fclose(progress);
  std::fclose(quiet);
}

// The run decides: a terminal on standard error gets the reports, a file
// or pipe gets nothing.
TEST(PathProgress, OnlyATerminalIsTold) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  std::FILE* terminal = std::fopen(ptsname(master), "w");
  ASSERT_NE(terminal, nullptr);
  std::FILE* file = std::tmpfile();
  std::FILE* out = std::tmpfile();
  // Every path of a complete graph of eight nodes.
  std::string net = "8\n";
  for (int k = 0; k < 8; ++k) net += "1 n\n";
  net += "1\n1\n1\n";
  for (int m = 0; m < 2; ++m)
    for (int u = 0; u < 8; ++u) {
      for (int v = 0; v < 8; ++v) net += u == v || (m == 1 && (u != 0 || v != 1)) ? "0 " : "1 ";
      net += "\n";
    }
  const std::string path = write_file("complete-8.txt", net + "1\n1\n");
  for (std::FILE* err : {terminal, file}) {
    std::vector<std::string> storage = {"lumtra", "-a", "-s:1", "-nt:" + path};
    std::vector<char*> argv;
    for (auto& a : storage) argv.push_back(a.data());
    ASSERT_EQ(lumtra_main(int(argv.size()), argv.data(), nullptr, out, err), 0);
  }
  std::fflush(terminal);
  fcntl(master, F_SETFL, O_NONBLOCK);
  std::string told;
  char buf[4096];
  ssize_t n;
  while ((n = read(master, buf, sizeof buf)) > 0) told.append(buf, size_t(n));
  EXPECT_NE(told.find("candidate paths: "), std::string::npos) << told;
  EXPECT_EQ(contents(file), "");
  std::fclose(terminal);
  std::fclose(file);
  std::fclose(out);
  close(master);
}

}  // namespace
}  // namespace lumtra::test
