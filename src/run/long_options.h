// Long options: the additions to the classic command line. They start with
// two dashes, which the classic option scanner ignores, so every classic
// command line keeps its meaning.
//   --version      print the version and exit
//   --json:FILE    write one JSON document describing the run to FILE
//   --ci           print the 95 % confidence half-width of the average blocking
#pragma once

#include <string>
#include <vector>

#include "base/status.h"

namespace lumtra {

inline constexpr const char* kVersion = "1.0";

struct LongOptions {
  bool version = false;
  bool confidence = false;
  bool json = false;
  std::string json_path;
};

// Reads every argument that starts with "--"; an unknown one is an error.
Status scan_long_options(const std::vector<std::string>& args, LongOptions& out);

}  // namespace lumtra
