// Progress of a long path enumeration: shown on a terminal's standard
// error, never anywhere else.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "paths/build.h"
#include "paths/testing.h"

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
  PathOptions every_path;
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
  for (std::FILE* err : {terminal, file}) {
    lumtra::Run run(nullptr, out, err);
    run.config.all_paths = true;
    run.net = complete_graph(8);
    bool no_path = false;
    ASSERT_TRUE(build_path_table(run, no_path).ok());
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
