#include "base/whole_file.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

#include "base/signal_guard.h"

namespace lumtra {

namespace {

std::string directory_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A name in the target's directory that no other run picks. It is short
// whatever the target's name, so that a target name near the system's limit
// can still be staged.
std::string temporary_name(const std::string& target) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::random_device device;
  uint64_t bits = (uint64_t(device()) << 32) ^ device() ^ uint64_t(getpid());
  std::string name = directory_of(target) + "/.partial-";
  for (int i = 0; i < 12; ++i, bits >>= 4) name.push_back(kHex[bits & 15]);
  return name;
}

bool write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The descriptor that `name` stands for when it names one of the process's
// open descriptors (/dev/stdout, /dev/fd/N, /proc/self/fd/N); -1 otherwise.
int descriptor_named(const std::string& name) {
  if (name == "/dev/stdin") return 0;
  if (name == "/dev/stdout") return 1;
  if (name == "/dev/stderr") return 2;
  std::string number;
  const std::string own = "/proc/" + std::to_string(getpid()) + "/fd/";
  for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                    std::string("/proc/thread-self/fd/"), own})
    if (name.rfind(prefix, 0) == 0) number = name.substr(prefix.size());
  if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoi(number);
}

// A stream connection to the listening Unix-domain socket at `path`; -1
// with errno set when there is none.
int connect_to(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

}  // namespace

std::string follow_links(const std::string& name, std::string& why) {
  std::string path = name;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    // A descriptor name is where the chain ends: the file behind it is not
    // this name's to replace.
    if (descriptor_named(path) >= 0 || lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::vector<char> text(size_t(st.st_size > 0 ? st.st_size : 4096) + 1);
    const ssize_t n = readlink(path.c_str(), text.data(), text.size());
    if (n <= 0) return path;
    const std::string link(text.data(), static_cast<size_t>(n));
    path = link[0] == '/' ? link : directory_of(path) + "/" + link;
  }
  why = "too many levels of symbolic links";
  return {};
}

WholeFile::~WholeFile() {
  if (file_ && owned_) std::fclose(file_);
}

Status WholeFile::failed(const std::string& action, int error) const {
  return Status::error(name_, what_, "cannot be " + action + ": " + std::strerror(error));
}

Status WholeFile::open_stream(std::FILE* stream, const std::string& name, const std::string& what) {
  name_ = name;
  what_ = what;
  direct_ = true;
  owned_ = false;
  file_ = stream;
  return Status::proceed();
}

Status WholeFile::open(const std::string& name, const std::string& what) {
  name_ = name;
  what_ = what;
  std::string why;
  target_ = follow_links(name, why);
  if (target_.empty()) return Status::error(name, what, "cannot be written: " + why);
  // A name for an open descriptor (or a link to one) is written through
  // that descriptor, never resolved to the file behind it: that file may be
  // shared with other output (standard output redirected with > or >>),
  // which must stay.
  if (const int named = descriptor_named(target_); named >= 0) {
    direct_ = true;
    const int flags = fcntl(named, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY) return failed("written", flags < 0 ? errno : EBADF);
    const int fd = fcntl(named, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) return failed("written", errno);
    file_ = fdopen(fd, (flags & O_APPEND) ? "a" : "w");
    if (!file_) {
      const int error = errno;
      ::close(fd);
      return failed("written", error);
    }
    setvbuf(file_, nullptr, _IONBF, 0);
    return Status::proceed();
  }
  struct stat st {};
  const bool exists = stat(target_.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return failed("written", EISDIR);
  int fd = -1;
  if (exists && !S_ISREG(st.st_mode)) {
    direct_ = true;
    fd = S_ISSOCK(st.st_mode) ? connect_to(target_) : ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return failed("written", errno);
    file_ = fdopen(fd, "w");
    // Unbuffered, so that a device that refuses writes (/dev/full) fails
    // with the first piece of content, not at the end.
    if (file_) setvbuf(file_, nullptr, _IONBF, 0);
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode_ = exists ? (st.st_mode & 07777) : (0666 & ~mask);
    const std::string directory = directory_of(target_);
    fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
      unnamed_in_place_ = true;
      file_ = fdopen(fd, "w+");
    } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
      // No unnamed files here: the content waits in a temporary file and is
      // copied beside the target at the end.
      if (access(directory.c_str(), W_OK | X_OK) != 0) return failed("written", errno);
      file_ = std::tmpfile();
      if (!file_) return failed("written", errno);
      return Status::proceed();
    } else {
      return failed("written", errno);
    }
  }
  if (!file_) {
    const int error = errno;
    ::close(fd);
    return failed("written", error);
  }
  return Status::proceed();
}

Status WholeFile::commit() {
  if (!file_) return failed("written", EBADF);
  if (std::fflush(file_) != 0 || std::ferror(file_)) return failed("written", errno ? errno : EIO);
  Status status;
  if (direct_) {
    // Nothing to put in place; a device such as /dev/full fails on close.
  } else if (fsync(fileno(file_)) != 0) {
    status = failed("written", errno);
  } else {
    status = unnamed_in_place_ ? link_into_place() : copy_into_place();
  }
  const int closed = owned_ ? std::fclose(file_) : 0;
  const int error = errno;
  file_ = nullptr;
  if (status.ok() && closed != 0) return failed("written", error);
  return status;
}

Status WholeFile::link_into_place() {
  SignalGuard guard;  // the named file exists only until the rename
  const std::string descriptor = "/proc/self/fd/" + std::to_string(fileno(file_));
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string temporary = temporary_name(target_);
    if (linkat(AT_FDCWD, descriptor.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      if (errno == EEXIST) continue;
      return copy_into_place();  // no /proc: copy instead
    }
    if (fchmod(fileno(file_), mode_) != 0 || std::rename(temporary.c_str(), target_.c_str()) != 0) {
      const int error = errno;
      unlink(temporary.c_str());
      return failed("replaced", error);
    }
    return Status::proceed();
  }
  return failed("written", EEXIST);
}

Status WholeFile::copy_into_place() {
  SignalGuard guard;
  std::string temporary = directory_of(target_) + "/.partial-XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return failed("written", errno);
  bool ok = fchmod(fd, mode_) == 0 && lseek(fileno(file_), 0, SEEK_SET) == 0;
  char buffer[1 << 16];
  ssize_t n = 0;
  while (ok && (n = ::read(fileno(file_), buffer, sizeof buffer)) > 0) ok = write_all(fd, buffer, size_t(n));
  ok = ok && n == 0 && fsync(fd) == 0;
  int error = errno;
  ok = ::close(fd) == 0 && ok;
  if (ok && std::rename(temporary.c_str(), target_.c_str()) == 0) return Status::proceed();
  if (error == 0) error = errno;
  unlink(temporary.c_str());
  return failed("written", error ? error : EIO);
}

}  // namespace lumtra
