// Replay: a run repeated from the JSON document it wrote (--replay:FILE),
// and the comparison of the new figures with the recorded ones (--verify).
#pragma once

#include <string>
#include <vector>

#include "base/json_reader.h"
#include "base/status.h"

namespace lumtra {

struct Replay {
  std::string path;    // the recorded document
  JsonValue recorded;  // kept for --verify
  bool verify = false;
};

// When `args` hold --replay:FILE, reads FILE and replaces `args` by the
// recorded command line: without its --json document and Result files (-of),
// with the recorded seed, and with the output options given beside
// --replay (--json, --quiet, --summary, --ci, --verify). Refuses a document
// without a command line, one from another program version, and one whose
// network file (or -g parameter file) is not the file the run read.
// `replay.path` stays empty without --replay.
Status prepare_replay(std::vector<std::string>& args, Replay& replay);

// Compares the replay's document with the recorded one, field by field in
// document order, leaving out what does not depend on the figures (the
// elapsed time and the run record); fields only the replay writes are new
// in this build and are not compared. Ok when all are equal; otherwise an
// error naming the first field that differs, exit status 3.
Status verify_replay(const Replay& replay, const std::string& replayed);

}  // namespace lumtra
