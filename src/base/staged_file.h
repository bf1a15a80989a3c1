// StagedFile: a file that replaces another in one step. It is written under
// a temporary name in the same directory and renamed over the final name
// only when complete, so a run that fails, is interrupted or is killed
// leaves the earlier file whole. Without commit() the temporary file is
// removed.
#pragma once

#include <cstdio>
#include <string>

#include "run/status.h"

namespace lumtra {

class StagedFile {
 public:
  StagedFile() = default;
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Starts the temporary file for `name`; `what` names the file in messages
  // (e.g. "result file"). The final file keeps the mode of an existing one.
  Status open(const std::string& name, const std::string& what);
  std::FILE* stream() const { return file_; }
  // Writes everything out to the disk and renames the file over its name.
  Status commit();
  // Only the data, flushed and closed, without the rename: a set of staged
  // files is made durable first and renamed together afterwards.
  Status finish();
  Status rename_into_place();

 private:
  Status failed(const char* action);
  std::FILE* file_ = nullptr;
  std::string name_, temporary_, what_;
  bool finished_ = false;
};

}  // namespace lumtra
