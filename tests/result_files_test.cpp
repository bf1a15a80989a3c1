// Result files and generated network files under failure: a run that stops
// early, fails or is interrupted leaves every earlier file whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "run/staged_file.h"

namespace lumtra::test {
namespace {

namespace fs = std::filesystem;

const std::array<const char*, 5> kSuffixes = {"_Blocking_Probability.csv", "_Max_Blocking_Probability.csv",
                                              "_Min_Blocking_Probability.csv", "_Variance.csv",
                                              "_Av_No_Attempts.csv"};

// Five result files with known contents from "earlier runs".
std::string earlier_results(const std::string& name) {
  std::string prefix = scratch_dir() + "/" + name;
  for (const char* s : kSuffixes) write_file(name + s, std::string("earlier") + s + ", 0.25");
  return prefix;
}

void expect_untouched(const std::string& prefix) {
  const std::string name = fs::path(prefix).filename().string();
  for (const char* s : kSuffixes) EXPECT_EQ(read_file(prefix + s), std::string("earlier") + s + ", 0.25") << s;
  for (const auto& entry : fs::directory_iterator(fs::path(prefix).parent_path()))
    EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << entry.path();
}

TEST(ResultFiles, AnInterruptedRunLeavesEarlierResultsWhole) {
  for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
    SCOPED_TRACE(sig);
    const std::string prefix = earlier_results("killed" + std::to_string(sig));
    // Far more simulated time than the delay lets it finish.
    pid_t pid = start_binary({"-s:1", "-b:1000", "-t:1000000", "-of:" + prefix, "-or:row",
                              "-nt:" + example("nsfnet.txt")});
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, sig);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it was interrupted";
    expect_untouched(prefix);
  }
}

TEST(ResultFiles, RunsThatStopEarlyLeaveThemWhole) {
  const std::string prefix = earlier_results("stopped");
  // Unreadable network: stops while reading.
  RunResult r = run_lumtra({"-of:" + prefix, "-nt:" + write_file("bad.txt", "3\n1 n\n7 n\n")});
  EXPECT_EQ(r.status, 1);
  expect_untouched(prefix);
  // A pair with traffic and no path: the orderly stop before the batches.
  r = run_lumtra({"-of:" + prefix, "-nt:" + write_file("split.txt", "2\n1 n\n1 n\n1\n1\n1\n0 0\n0 0\n0 1\n0 0\n1\n1\n")});
  EXPECT_NE(r.out.find("Can not continue simulation"), std::string::npos);
  expect_untouched(prefix);
}

TEST(ResultFiles, ACompleteRunAppendsOneValueToEachAndKeepsTheMode) {
  const std::string prefix = earlier_results("complete");
  chmod((prefix + kSuffixes[0]).c_str(), 0640);
  RunResult r = run_lumtra({"-s:1", "-b:2", "-t:50", "-of:" + prefix, "-or:next", "-nt:" + example("three-node.txt")});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* s : kSuffixes) {
    const std::string text = read_file(prefix + s);
    EXPECT_EQ(text.rfind(std::string("earlier") + s + ", 0.25\nnext, ", 0), 0u) << text;
    EXPECT_EQ(text.find('\n', text.find("next")), std::string::npos) << text;
  }
  struct stat st {};
  ASSERT_EQ(stat((prefix + kSuffixes[0]).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  for (const auto& entry : fs::directory_iterator(scratch_dir()))
    EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << entry.path();
}

TEST(StagedFile, OnlyACommitReplacesTheFile) {
  const std::string name = write_file("target.txt", "old");
  {
    StagedFile f;
    ASSERT_TRUE(f.open(name, "test file").ok());
    std::fputs("new but abandoned", f.stream());
  }
  EXPECT_EQ(read_file(name), "old");
  {
    StagedFile f;
    ASSERT_TRUE(f.open(name, "test file").ok());
    std::fputs("new", f.stream());
    EXPECT_EQ(read_file(name), "old");
    ASSERT_TRUE(f.commit().ok());
  }
  EXPECT_EQ(read_file(name), "new");
  for (const auto& entry : fs::directory_iterator(scratch_dir()))
    EXPECT_EQ(entry.path().filename().string(), "target.txt");
  StagedFile nowhere;
  Status s = nowhere.open(scratch_dir() + "/missing/dir/x.txt", "test file");
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message.find("x.txt: test file: cannot be written"), std::string::npos) << s.message;
}

}  // namespace
}  // namespace lumtra::test
