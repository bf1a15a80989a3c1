// The "run" object of the JSON document: what is needed to repeat the run
// and to tell whether a repetition can give the same figures (the whole
// command line, the program and its build, the mode and threads, the hashes
// of the files the run read).
#pragma once

#include "base/json_writer.h"

namespace lumtra {

struct Run;

// How the program was built, as CMake configured it.
struct BuildInfo {
  const char* compiler;
  const char* flags;
  const char* git_commit;  // empty when not known
};
BuildInfo build_info();

void write_run_record(JsonWriter& j, const Run& run);

}  // namespace lumtra
