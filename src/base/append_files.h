// AppendFiles: a set of files that many runs add to, one record per run and
// file (the CSV Result files). Nothing in them is ever truncated, copied or
// replaced:
//   - each file is opened (and created) once, for appending, and must be a
//     regular file; symbolic and hard links are written through;
//   - append() takes an advisory lock (flock) on every file, in the order
//     the files were added, then writes each file's record with one write(),
//     then lets go. Runs that share the files therefore leave every record
//     in every file, in the same order in all of them;
//   - a run stopped by a signal (other than SIGKILL) leaves either all its
//     records or none; a write that fails is taken back from every file, so
//     what the files held before stays as it was.
// Lives from the command-line scan to the end of the run.
#pragma once

#include <string>
#include <vector>

#include "base/status.h"

namespace lumtra {

class AppendFiles {
 public:
  AppendFiles() = default;
  ~AppendFiles() { close_all(); }
  AppendFiles(const AppendFiles&) = delete;
  AppendFiles& operator=(const AppendFiles&) = delete;

  // Opens `name` for appending; `what` names it in messages ("result file").
  Status add(const std::string& name, const std::string& what);
  void close_all();
  bool empty() const { return files_.empty(); }
  size_t size() const { return files_.size(); }
  const std::string& name(size_t i) const { return files_[i].name; }

  // Adds records[i] to file i, all or nothing, and closes the files.
  Status append(const std::vector<std::string>& records);

 private:
  struct File {
    int fd;
    std::string name;
    std::string what;
  };
  Status failed(const File& f, const std::string& action, int error) const;
  std::vector<File> files_;
};

}  // namespace lumtra
