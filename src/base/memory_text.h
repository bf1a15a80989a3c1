// MemoryText: text written through a FILE* into memory (open_memstream),
// for the drawn network read back before it is written, and for the Python
// module's standard output and error. Lives as long as its user needs the
// stream; take() closes it and hands back what was written.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace lumtra {

class MemoryText {
 public:
  MemoryText() : file_(open_memstream(&data_, &size_)) {}
  ~MemoryText() {
    if (file_) std::fclose(file_);
    std::free(data_);
  }
  MemoryText(const MemoryText&) = delete;
  MemoryText& operator=(const MemoryText&) = delete;
  // Null when no memory could be had for the stream.
  std::FILE* stream() const { return file_; }
  // Everything written so far; the stream is closed.
  std::string take() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    return data_ ? std::string(data_, size_) : std::string();
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

}  // namespace lumtra
