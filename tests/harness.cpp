#include "harness.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <cctype>
#include <sstream>

#include "run/run.h"

namespace lumtra::test {

namespace fs = std::filesystem;

namespace {

std::string slurp(std::FILE* f) {
  std::string s;
  std::rewind(f);
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  return s;
}

// The scratch root lives on the heap for the whole process, so that the
// clean-up at exit never sees a destroyed string.
const std::string* g_root = nullptr;

void remove_root() {
  std::error_code ec;
  if (g_root) fs::remove_all(*g_root, ec);
}

const std::string& root_dir() {
  static const std::string* root = [] {
    std::string tmpl = (fs::temp_directory_path() / "lumtra-test-XXXXXX").string();
    char* made = mkdtemp(tmpl.data());
    auto* dir = new std::string(made ? made : "/tmp/lumtra-test");
    g_root = dir;
    std::atexit(remove_root);
    return dir;
  }();
  return *root;
}

}  // namespace

std::string scratch_dir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
  fs::path dir = fs::path(root_dir()) / name;
  fs::create_directories(dir);
  return dir.string();
}

std::string write_file(const std::string& name, const std::string& content) {
  std::string path = (fs::path(scratch_dir()) / name).string();
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::string example(const std::string& name) { return std::string(LUMTRA_SOURCE_DIR) + "/examples/" + name; }

std::string without_elapsed(const std::string& out) {
  const std::string key = "Simulation Time: ";
  std::string result;
  size_t from = 0;
  for (size_t at = out.find(key); at != std::string::npos; at = out.find(key, from)) {
    size_t end = at + key.size();
    while (end < out.size() && std::isdigit(static_cast<unsigned char>(out[end]))) ++end;
    result.append(out, from, at + key.size() - from);
    result.push_back('X');
    from = end;
  }
  result.append(out, from, std::string::npos);
  return result;
}

RunResult run_lumtra(const std::vector<std::string>& args, const std::string& stdin_text, const PluginHooks& hooks) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  std::fwrite(stdin_text.data(), 1, stdin_text.size(), in);
  std::rewind(in);
  std::vector<std::string> storage{"lumtra"};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  RunResult r;
  r.status = lumtra_main(static_cast<int>(storage.size()), argv.data(), in, out, err, hooks);
  std::fflush(out);
  std::fflush(err);
  r.out = slurp(out);
  r.err = slurp(err);
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);
  return r;
}

PreparedRun::PreparedRun(const std::vector<std::string>& args, const std::string& stdin_text) {
  in = std::tmpfile();
  out = std::tmpfile();
  err = std::tmpfile();
  std::fwrite(stdin_text.data(), 1, stdin_text.size(), in);
  std::rewind(in);
  run = std::make_unique<Run>(in, out, err);
  run->args = {"lumtra"};
  run->args.insert(run->args.end(), args.begin(), args.end());
  run->seeder.seed(1);
  status = start_run(*run);
  if (status.ok()) status = prepare_run(*run);
}

PreparedRun::~PreparedRun() {
  run.reset();
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);
}

std::string PreparedRun::printed() {
  run->out.flush();
  std::string s = slurp(out);
  std::fseek(out, 0, SEEK_END);
  return s;
}

void PreparedRun::start_batch() {
  lane().links.reset();
  reset_methods(lane().methods, run->method_setup());
  lane().events.clear();
}

void PreparedRun::take(uint32_t u, uint32_t v, uint32_t w, uint32_t slots) {
  lane().links.take(static_cast<uint32_t>(run->net.at(u, v)), w, slots);
}

void PreparedRun::give(uint32_t u, uint32_t v, uint32_t w, uint32_t slots) {
  lane().links.give(static_cast<uint32_t>(run->net.at(u, v)), w, slots);
}

HopArray PreparedRun::assign(uint32_t s, uint32_t d, uint32_t slots, uint32_t* path) {
  HopArray hops;
  uint32_t p = ~0u;
  if (!lane().methods.rwa.assign(s, d, hops, p, slots)) return {};
  if (path) *path = p - run->paths.list(s, d).first;
  return hops;
}

std::string single_link(const SingleLink& l) {
  std::ostringstream s;
  s << "2\n" << l.type << " n\n" << l.type << " n\n" << l.slots << "\n" << l.min_slots << "\n" << l.max_slots << "\n"
    << "0 " << l.wavelengths << "\n" << l.wavelengths << " 0\n"
    << "0 " << l.rate << "\n0 0\n" << l.batches << "\n" << l.time << "\n";
  return s.str();
}

double erlang_b(int servers, double load) {
  double b = 1.0;
  for (int n = 1; n <= servers; ++n) b = load * b / (n + load * b);
  return b;
}

pid_t start_binary(const std::vector<std::string>& args, const Spawn& how) {
  pid_t pid = fork();
  if (pid == 0) {
    if (how.memory_limit_mib > 0) {
      rlimit r{};
      r.rlim_cur = r.rlim_max = rlim_t(how.memory_limit_mib) << 20;
      setrlimit(RLIMIT_AS, &r);
    }
    if (how.alarm_seconds > 0) alarm(how.alarm_seconds);
    if (how.file_size_limit > 0) {
      rlimit r{};
      r.rlim_cur = r.rlim_max = how.file_size_limit;
      setrlimit(RLIMIT_FSIZE, &r);
      signal(SIGXFSZ, SIG_IGN);
    }
    if (!std::freopen(how.stdin_path.c_str(), "r", stdin) || !std::freopen(how.stdout_path.c_str(), "w", stdout) ||
        !std::freopen(how.stderr_path.c_str(), "w", stderr))
      _exit(127);
    std::vector<std::string> storage{LUMTRA_BINARY};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    execv(LUMTRA_BINARY, argv.data());
    _exit(127);
  }
  return pid;
}

RunResult run_binary(const std::vector<std::string>& args, const std::string& stdin_text, uint64_t memory_limit_mib,
                     unsigned alarm_seconds) {
  std::string dir = scratch_dir();
  Spawn how{dir + "/stdin.txt", dir + "/stdout.txt", dir + "/stderr.txt", memory_limit_mib, alarm_seconds};
  std::ofstream(how.stdin_path, std::ios::binary) << stdin_text;
  int wstatus = 0;
  waitpid(start_binary(args, how), &wstatus, 0);
  RunResult r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  r.out = read_file(how.stdout_path);
  r.err = read_file(how.stderr_path);
  return r;
}

}  // namespace lumtra::test
