#include "base/append_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/signal_guard.h"

namespace lumtra {

namespace {

const char* kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// Another run holds the lock only while it writes a few lines; a lock held
// far longer belongs to something else, and waiting for ever would hang.
bool lock(int fd) {
  using namespace std::chrono;
  const auto give_up = steady_clock::now() + seconds(60);
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (steady_clock::now() > give_up) {
      errno = EWOULDBLOCK;
      return false;
    }
    std::this_thread::sleep_for(milliseconds(2));
  }
  return true;
}

}  // namespace

Status AppendFiles::failed(const File& f, const std::string& action, int error) const {
  return Status::error(f.name, f.what, "cannot be " + action + ": " + std::strerror(error));
}

Status AppendFiles::add(const std::string& name, const std::string& what) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  File f{fd, name, what};
  if (fd < 0) return failed(f, "opened", errno);
  files_.push_back(f);
  struct stat st {};
  if (fstat(fd, &st) != 0) return failed(f, "opened", errno);
  if (!S_ISREG(st.st_mode))
    return Status::error(name, what,
                         std::string("is ") + kind_of(st.st_mode) + "; records are only appended to regular files");
  // Two names for one file (a hard or symbolic link) would take its lock
  // twice and mix two kinds of record in it.
  for (size_t i = 0; i + 1 < files_.size(); ++i) {
    struct stat other {};
    if (fstat(files_[i].fd, &other) == 0 && other.st_dev == st.st_dev && other.st_ino == st.st_ino)
      return Status::error(name, what, "is the same file as " + files_[i].name + "; each record needs a file of its own");
  }
  return Status::proceed();
}

void AppendFiles::close_all() {
  for (const File& f : files_) ::close(f.fd);
  files_.clear();
}

Status AppendFiles::append(const std::vector<std::string>& records) {
  SignalGuard guard;
  std::vector<off_t> sizes;
  Status status;
  for (const File& f : files_) {
    if (!lock(f.fd)) {
      status = failed(f, "locked", errno);
      break;
    }
  }
  for (size_t i = 0; i < files_.size() && status.ok(); ++i) {
    const File& f = files_[i];
    struct stat st {};
    if (fstat(f.fd, &st) != 0) {
      status = failed(f, "written", errno);
      break;
    }
    sizes.push_back(st.st_size);
    const std::string& r = records[i];
    const ssize_t n = ::write(f.fd, r.data(), r.size());
    if (n != static_cast<ssize_t>(r.size())) status = failed(f, "written", n < 0 ? errno : ENOSPC);
  }
  if (!status.ok()) {
    // Take the record back from every file it reached, this one included.
    for (size_t i = 0; i < sizes.size(); ++i) (void)ftruncate(files_[i].fd, sizes[i]);
  }
  close_all();  // closing lets go of the locks
  return status;
}

}  // namespace lumtra
