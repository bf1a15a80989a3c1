#include "run/long_options.h"

namespace lumtra {

Status scan_long_options(const std::vector<std::string>& args, LongOptions& out) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) continue;
    if (a == "--version") {
      out.version = true;
    } else if (a == "--ci") {
      out.confidence = true;
    } else if (a.rfind("--json:", 0) == 0) {
      out.json = true;
      out.json_path = a.substr(7);
      if (out.json_path.empty()) return Status::error("command line", a, "a file name must follow --json:");
    } else {
      return Status::error("command line", a, "unknown option (the long options are --json:FILE, --ci and --version)");
    }
  }
  return Status::proceed();
}

}  // namespace lumtra
