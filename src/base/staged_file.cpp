#include "run/staged_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace lumtra {

StagedFile::~StagedFile() {
  if (file_) std::fclose(file_);
  if (!temporary_.empty()) std::remove(temporary_.c_str());
}

Status StagedFile::failed(const char* action) {
  return Status::error(name_, what_, std::string("cannot be ") + action + ": " + std::strerror(errno));
}

Status StagedFile::open(const std::string& name, const std::string& what) {
  name_ = name;
  what_ = what;
  std::vector<char> tmpl(name.begin(), name.end());
  const char suffix[] = ".partial-XXXXXX";
  tmpl.insert(tmpl.end(), suffix, suffix + sizeof suffix);
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) return failed("written");
  temporary_ = tmpl.data();
  struct stat st {};
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, stat(name.c_str(), &st) == 0 ? (st.st_mode & 07777) : (0666 & ~mask));
  file_ = fdopen(fd, "w");
  if (!file_) {
    close(fd);
    return failed("written");
  }
  return Status::proceed();
}

Status StagedFile::finish() {
  if (finished_) return Status::proceed();
  std::FILE* f = file_;
  file_ = nullptr;
  bool ok = std::fflush(f) == 0 && !std::ferror(f);
  ok = fsync(fileno(f)) == 0 && ok;
  const int saved = errno;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    if (errno == 0) errno = saved;
    return failed("written");
  }
  finished_ = true;
  return Status::proceed();
}

Status StagedFile::rename_into_place() {
  if (std::rename(temporary_.c_str(), name_.c_str()) != 0) return failed("replaced");
  temporary_.clear();
  return Status::proceed();
}

Status StagedFile::commit() {
  if (Status s = finish(); !s.ok()) return s;
  return rename_into_place();
}

}  // namespace lumtra
