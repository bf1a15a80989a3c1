// Runs every case of tests/hostile/MANIFEST through the built program and
// checks its exit status and message: bad input never crashes, hangs or
// produces figures, and says what is wrong where.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace lumtra::test {
namespace {

namespace fs = std::filesystem;

struct Case {
  int line = 0;
  std::string file, arguments, stdin_text, expected;
  int limit_mib = 0;
  int status = 0;
};

std::string trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t");
  const size_t b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

void replace_all(std::string& s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
}

std::vector<Case> read_manifest(const std::string& path) {
  std::ifstream in(path);
  std::vector<Case> cases;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (trim(line).empty() || trim(line)[0] == '#') continue;
    std::vector<std::string> fields;
    for (size_t from = 0;;) {
      const size_t bar = line.find(" | ", from);
      fields.push_back(trim(line.substr(from, bar == std::string::npos ? std::string::npos : bar - from)));
      if (bar == std::string::npos) break;
      from = bar + 3;
    }
    EXPECT_EQ(fields.size(), 6u) << path << ":" << number << ": six columns expected";
    if (fields.size() != 6) continue;
    Case c;
    c.line = number;
    c.file = fields[0];
    c.arguments = fields[1];
    c.stdin_text = fields[2] == "-" ? "" : fields[2];
    replace_all(c.stdin_text, "\\n", "\n");
    c.limit_mib = std::stoi(fields[3]);
    c.status = std::stoi(fields[4]);
    c.expected = fields[5];
    cases.push_back(c);
  }
  return cases;
}

TEST(HostileInputs, EveryCaseStopsWithItsMessage) {
  const std::string folder = std::string(LUMTRA_SOURCE_DIR) + "/tests/hostile";
  const std::vector<Case> cases = read_manifest(folder + "/MANIFEST");
  ASSERT_GE(cases.size(), 50u);
  for (const Case& c : cases) {
    SCOPED_TRACE("MANIFEST line " + std::to_string(c.line) + ": " + c.file + " " + c.arguments);
    if (c.limit_mib > 0 && kAddressSanitizer) continue;  // its shadow memory needs the whole address space
    const std::string file = folder + "/" + c.file;
    ASSERT_TRUE(fs::exists(file));
    const std::string dir = scratch_dir() + "/case" + std::to_string(c.line);
    fs::create_directories(dir);
    std::vector<std::string> args;
    std::istringstream words(c.arguments);
    for (std::string w; words >> w;) {
      replace_all(w, "{file}", file);
      replace_all(w, "{dir}", dir);
      args.push_back(w);
    }
    std::string expected = c.expected;
    replace_all(expected, "{file}", file);
    replace_all(expected, "{dir}", dir);

    RunResult r;
    if (c.stdin_text.rfind("<", 0) == 0) {  // standard input from a file such as /dev/zero
      Spawn how{c.stdin_text.substr(1), dir + "/stdout.txt", dir + "/stderr.txt", uint64_t(c.limit_mib), 60};
      int wstatus = 0;
      waitpid(start_binary(args, how), &wstatus, 0);
      r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
      r.out = read_file(how.stdout_path);
      r.err = read_file(how.stderr_path);
    } else {
      r = run_binary(args, c.stdin_text, c.limit_mib, 60);
    }
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out.find("Total Arrived"), std::string::npos) << "bad input must not produce figures";
    if (expected.rfind("out:", 0) == 0) {
      EXPECT_NE(r.out.find(expected.substr(4)), std::string::npos) << r.out.substr(r.out.size() > 300 ? r.out.size() - 300 : 0);
      continue;
    }
    EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
    // One line, in the program's own form.
    EXPECT_EQ(r.err.rfind("lumtra: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
}

}  // namespace
}  // namespace lumtra::test
