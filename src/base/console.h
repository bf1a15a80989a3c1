// Console: the buffered writer through which every line of standard output
// goes. Integers are formatted with std::to_chars (the same digits "%lu" and
// "%ld" give); reals go through the C formatting functions so that "%g"-style
// output is exactly what the C library prints. Lives as long as the run.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace lumtra {

class Console {
 public:
  explicit Console(std::FILE* out) : out_(out) { buf_.reserve(kFlushAt + 256); }
  ~Console() { flush(); }
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  Console& text(std::string_view s) {
    buf_.append(s);
    maybe_flush();
    return *this;
  }
  Console& ch(char c) {
    buf_.push_back(c);
    maybe_flush();
    return *this;
  }
  Console& u64(uint64_t v) { return integer(v); }
  Console& i64(int64_t v) { return integer(v); }
  // One real number in a printf conversion such as "%g" or "%-5g".
  Console& real(const char* conversion, double v) {
    char tmp[64];
    int n = std::snprintf(tmp, sizeof tmp, conversion, v);
    if (n > 0) buf_.append(tmp, static_cast<size_t>(n) < sizeof tmp ? n : sizeof tmp - 1);
    maybe_flush();
    return *this;
  }
  // Writes everything buffered; returns false when the stream reported an error.
  bool flush() {
    if (!buf_.empty()) {
      std::fwrite(buf_.data(), 1, buf_.size(), out_);
      buf_.clear();
    }
    return std::fflush(out_) == 0 && !std::ferror(out_);
  }
  std::FILE* stream() const { return out_; }

 private:
  static constexpr size_t kFlushAt = 1 << 16;
  template <class T>
  Console& integer(T v) {
    char tmp[24];
    auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
    buf_.append(tmp, r.ptr);
    maybe_flush();
    return *this;
  }
  void maybe_flush() {
    if (buf_.size() >= kFlushAt) {
      std::fwrite(buf_.data(), 1, buf_.size(), out_);
      buf_.clear();
    }
  }
  std::FILE* out_;
  std::string buf_;
};

}  // namespace lumtra
