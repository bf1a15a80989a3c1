// The files a run writes, under sharing, links, special files and
// interruption: Result files only ever grow by whole records, whole files
// replace their targets only when complete, standard output keeps every
// finished batch.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/whole_file.h"
#include "harness.h"
#include "run/config.h"

namespace lumtra::test {
namespace {

namespace fs = std::filesystem;

// Five result files with known contents from "earlier runs".
std::string earlier_results(const std::string& name) {
  std::string prefix = scratch_dir() + "/" + name;
  for (const char* s : kResultSuffixes) write_file(name + s, std::string("earlier") + s + ", 0.25");
  return prefix;
}

// No temporary file is left in `dir`.
void expect_nothing_beside(const std::string& dir) {
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << entry.path();
}

void expect_untouched(const std::string& prefix) {
  for (const char* s : kResultSuffixes) EXPECT_EQ(read_file(prefix + s), std::string("earlier") + s + ", 0.25") << s;
  expect_nothing_beside(fs::path(prefix).parent_path().string());
}

int wait_for(pid_t pid) {
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
  return status;
}

// Polls `path` until it holds `count` copies of `text` (or ten seconds pass).
bool wait_for_text(const std::string& path, const std::string& text, size_t count) {
  for (int i = 0; i < 1000; ++i) {
    const std::string got = fs::exists(path) ? read_file(path) : "";
    size_t n = 0;
    for (size_t at = got.find(text); at != std::string::npos; at = got.find(text, at + 1)) ++n;
    if (n >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

const std::string kBatchEnd = "\n----------------------------------------------";

TEST(ResultFiles, RunsAtOnceSharingAPrefixLeaveEveryRecordInOneOrder) {
  const std::string prefix = scratch_dir() + "/shared";
  std::vector<pid_t> runs;
  for (int k = 0; k < 16; ++k)
    runs.push_back(start_binary({"-s:" + std::to_string(k + 1), "-b:1", "-t:2", "-of:" + prefix,
                                 "-or:run" + std::to_string(k), "-nt:" + example("nsfnet.txt")}));
  for (pid_t pid : runs) EXPECT_EQ(wait_for(pid), 0);
  std::string first_order;
  for (const char* s : kResultSuffixes) {
    std::string order;
    const std::string text = read_file(prefix + s);
    for (size_t at = text.find("\nrun"); at != std::string::npos; at = text.find("\nrun", at + 1))
      order += text.substr(at + 1, text.find(',', at) - at - 1) + " ";
    EXPECT_EQ(std::count(order.begin(), order.end(), ' '), 16) << s << ":\n" << text;
    if (first_order.empty()) first_order = order;
    EXPECT_EQ(order, first_order) << s;
  }
}

TEST(ResultFiles, LinksAreWrittenThroughAndSpecialFilesRefused) {
  const std::string dir = scratch_dir();
  const std::string prefix = earlier_results("linked");
  // The first file is a symbolic link, the second a hard link.
  fs::rename(prefix + kResultSuffixes[0], dir + "/target.csv");
  fs::create_symlink("target.csv", prefix + kResultSuffixes[0]);
  fs::rename(prefix + kResultSuffixes[1], dir + "/other.csv");
  fs::create_hard_link(dir + "/other.csv", prefix + kResultSuffixes[1]);
  RunResult r = run_lumtra({"-s:1", "-b:1", "-t:5", "-of:" + prefix, "-or:a,\"b\"", "-nt:" + example("ring-6.txt")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(prefix + kResultSuffixes[0]));
  EXPECT_EQ(read_file(dir + "/target.csv").rfind(std::string("earlier") + kResultSuffixes[0] + ", 0.25\n\"a,\"\"b\"\"\", ", 0), 0u)
      << read_file(dir + "/target.csv");
  EXPECT_EQ(read_file(dir + "/other.csv"), read_file(prefix + kResultSuffixes[1]));
  EXPECT_NE(read_file(dir + "/other.csv").find("\n\"a,\"\"b\"\"\", "), std::string::npos);

  // A Result name that leads to an endless sink is refused before anything runs.
  const std::string sink = dir + "/sink";
  fs::create_symlink("/dev/full", sink + kResultSuffixes[2]);
  r = run_lumtra({"-of:" + sink, "-nt:" + example("ring-6.txt")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "lumtra: " + sink + kResultSuffixes[2] +
                       ": result file: is a character device; records are only appended to regular files\n");
  EXPECT_EQ(r.out, "");
}

TEST(ResultFiles, AnInterruptedRunLeavesEarlierResultsWholeAndItsFinishedBatches) {
  for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
    SCOPED_TRACE(sig);
    const std::string prefix = earlier_results("killed" + std::to_string(sig));
    Spawn how;
    how.stdout_path = prefix + ".out";
    pid_t pid = start_binary({"-s:1", "-b:100000", "-t:50", "-of:" + prefix, "-or:row", "--json:" + prefix + ".json",
                              "-nt:" + example("nsfnet.txt")},
                             how);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(wait_for_text(how.stdout_path, kBatchEnd, 2));
    kill(pid, sig);
    ASSERT_TRUE(WIFSIGNALED(wait_for(pid))) << "the run ended before it was interrupted";
    expect_untouched(prefix);
    EXPECT_FALSE(fs::exists(prefix + ".json"));
    // Standard output holds the path list and every batch it finished.
    const std::string out = read_file(how.stdout_path);
    EXPECT_NE(out.find("Enter Number of Nodes"), std::string::npos);
    EXPECT_EQ(out.rfind(kBatchEnd), out.size() - kBatchEnd.size());
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
  // A JSON destination that cannot be written stops the run before the batches.
  r = run_lumtra({"-of:" + prefix, "--json:" + scratch_dir() + "/none/run.json", "-nt:" + example("ring-6.txt")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("none/run.json: JSON document: cannot be written"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("Simulation Started"), std::string::npos);
  expect_untouched(prefix);
}

TEST(ResultFiles, ACompleteRunAppendsOneRecordToEach) {
  const std::string prefix = earlier_results("complete");
  RunResult r = run_lumtra({"-s:1", "-b:2", "-t:50", "-of:" + prefix, "-or:next", "-nt:" + example("three-node.txt")});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* s : kResultSuffixes) {
    const std::string text = read_file(prefix + s);
    EXPECT_EQ(text.rfind(std::string("earlier") + s + ", 0.25\nnext, ", 0), 0u) << text;
    EXPECT_EQ(text.find('\n', text.find("next")), std::string::npos) << text;
  }
}

// A write that fails part-way through the five records: the file-size
// limit lets the last file take only the first bytes of its record, after
// four whole records have gone to the others. Every file is taken back.
TEST(ResultFiles, AWriteThatFailsTakesTheRecordBackFromEveryFile) {
  const std::string prefix = earlier_results("limited");
  constexpr uint64_t kLimit = 100000;
  const std::string last = prefix + kResultSuffixes[4];
  write_file(fs::path(last).filename().string(), std::string(kLimit - 5, 'x'));
  Spawn how;
  how.stderr_path = prefix + ".err";
  how.file_size_limit = kLimit;
  const pid_t pid = start_binary({"-s:1", "-b:1", "-t:5", "-of:" + prefix, "-or:row", "-nt:" + example("ring-6.txt")}, how);
  const int status = wait_for(pid);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(read_file(how.stderr_path).rfind("lumtra: " + last + ": result file: cannot be written: ", 0), 0u)
      << read_file(how.stderr_path);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(read_file(prefix + kResultSuffixes[i]), std::string("earlier") + kResultSuffixes[i] + ", 0.25") << i;
  EXPECT_EQ(read_file(last), std::string(kLimit - 5, 'x'));
}

// A run holds every file's lock before it writes any record and until it
// has written all five: while the test holds the last file's lock the run
// has the first one locked and has written nothing; once let go, it adds
// one record to each.
TEST(ResultFiles, NoRecordIsWrittenUntilEveryLockIsHeld) {
  const std::string prefix = earlier_results("locked");
  const int held = ::open((prefix + kResultSuffixes[4]).c_str(), O_RDWR);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const pid_t pid = start_binary({"-s:1", "-b:1", "-t:5", "-of:" + prefix, "-or:row", "-nt:" + example("ring-6.txt")});
  const int first = ::open((prefix + kResultSuffixes[0]).c_str(), O_RDONLY);
  bool run_holds_first = false;
  for (int i = 0; i < 1000 && !run_holds_first; ++i) {
    if (flock(first, LOCK_EX | LOCK_NB) == 0) {
      flock(first, LOCK_UN);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } else {
      run_holds_first = true;
    }
  }
  EXPECT_TRUE(run_holds_first) << "the run let go of the first file's lock while the last was held";
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (const char* s : kResultSuffixes) EXPECT_EQ(read_file(prefix + s), std::string("earlier") + s + ", 0.25") << s;
  flock(held, LOCK_UN);
  ::close(held);
  ::close(first);
  EXPECT_EQ(wait_for(pid), 0);
  for (const char* s : kResultSuffixes) {
    const std::string text = read_file(prefix + s);
    EXPECT_EQ(text.rfind(std::string("earlier") + s + ", 0.25\nrow, ", 0), 0u) << text;
    EXPECT_EQ(text.find('\n', text.find("row")), std::string::npos) << text;
  }
}

TEST(WholeFile, ReplacesOnlyWhenCommittedThroughLinksAndKeepsTheMode) {
  const std::string dir = scratch_dir();
  const std::string target = write_file("target.txt", "old");
  chmod(target.c_str(), 0640);
  fs::create_symlink("target.txt", dir + "/link.txt");
  {
    WholeFile f;
    ASSERT_TRUE(f.open(dir + "/link.txt", "test file").ok());
    std::fputs("new but abandoned", f.stream());
  }
  EXPECT_EQ(read_file(target), "old");
  {
    WholeFile f;
    ASSERT_TRUE(f.open(dir + "/link.txt", "test file").ok());
    std::fputs("new", f.stream());
    EXPECT_EQ(read_file(target), "old");
    ASSERT_TRUE(f.commit().ok());
  }
  EXPECT_TRUE(fs::is_symlink(dir + "/link.txt"));
  EXPECT_EQ(read_file(target), "new");
  struct stat st {};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  expect_nothing_beside(dir);

  WholeFile nowhere;
  Status s = nowhere.open(dir + "/missing/dir/x.txt", "test file");
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message.find("x.txt: test file: cannot be written"), std::string::npos) << s.message;
  // A device is written straight into, and its failure is reported.
  WholeFile full;
  ASSERT_TRUE(full.open("/dev/full", "test file").ok());
  std::fputs("lost", full.stream());
  s = full.commit();
  EXPECT_NE(s.message.find("/dev/full: test file: cannot be written: No space left on device"), std::string::npos)
      << s.message;
}

TEST(WholeFile, AJsonDocumentGoesIntoAFifo) {
  const std::string fifo = scratch_dir() + "/run.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = read_file(fifo); });
  RunResult r = run_lumtra({"-s:1", "-b:1", "-t:5", "--json:" + fifo, "-nt:" + example("ring-6.txt")});
  reader.join();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(received.rfind("{\"schema\":2,", 0), 0u) << received.substr(0, 80);
  EXPECT_EQ(received.back(), '\n');
  struct stat st {};
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(GeneratedNetwork, ADrawnNetworkTheReaderRefusesLeavesTheFileAsItWas) {
  // Negative rate bounds pass the parameter check, but no network file may
  // hold a negative rate.
  const std::string params = write_file("params.txt",
                                        "L 1 1 Y 0 L 1 1 L 1 1 D 0.5 0.5 D 0.5 0.5 L 1 1 L 1 1 L 1 1 C L 1 1 "
                                        "C D 100 100 L 0 0 L 2 2 C L 0 0 D -2 -1 D 1 1 L 2 2 D 10 10 D 0.1 0.1 "
                                        "D 0.01 0.01");
  const std::string net = write_file("net.txt", "kept");
  RunResult r = run_lumtra({"-s:1", "-g:" + params, "-nt:" + net}, "3\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(params + " (the network drawn from it): arrival rate from node 1 to node 2: "), std::string::npos)
      << r.err;
  EXPECT_EQ(read_file(net), "kept");
  expect_nothing_beside(scratch_dir());
}

}  // namespace
}  // namespace lumtra::test
