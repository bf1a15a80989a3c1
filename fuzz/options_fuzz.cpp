// Fuzz target: the option scanner. The input is split at line breaks and
// NUL bytes into arguments, which go through the scan, the stream seeds and
// the combination checks. Result-file prefixes are redirected into the
// scratch directory, so that -of never creates files elsewhere, and a
// --plugin names a file that does not exist there, so that no shared object
// is ever loaded.
#include <cctype>

#include "fuzz_support.h"

namespace {

bool is_result_option(const std::string& a) {
  return a.size() >= 3 && a[0] == '-' && std::toupper(static_cast<unsigned char>(a[1])) == 'O' &&
         std::toupper(static_cast<unsigned char>(a[2])) == 'F';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args;
  std::string current;
  for (size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == '\n' || data[i] == '\0') {
      if (is_result_option(current)) current = current.substr(0, 4) + lumtra::fuzz::scratch() + "/r";
      if (current.rfind("--plugin:", 0) == 0) current = "--plugin:" + lumtra::fuzz::scratch() + "/none.so";
      args.push_back(current);
      current.clear();
      if (args.size() > 64) break;
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  lumtra::fuzz::Streams streams("");
  auto run = std::make_unique<lumtra::Run>(streams.in, streams.out, streams.err);
  run->args = {"lumtra"};
  run->args.insert(run->args.end(), args.begin(), args.end());
  run->seeder.seed(1);
  lumtra::Status s = lumtra::start_run(*run);
  lumtra::fuzz::check_stop(s);
  // An accepted command line has a method pair the run can install.
  if (s.ok()) {
    const lumtra::MethodOptions& m = run->config.methods;
    const lumtra::MethodRow* routing = lumtra::method_row(m.routing_code);
    const lumtra::MethodRow* assignment = lumtra::method_row(m.wa_code);
    if (!routing || !assignment || !assignment->assignment ||
        ((m.routing_code == lumtra::kExhaustiveLA) != (m.wa_code == lumtra::kExhaustiveLA)))
      std::abort();
  }
  return 0;
}
