// Console: the buffered writer through which every line of standard output
// goes. Integers are formatted with std::to_chars (the same digits "%lu" and
// "%ld" give); reals go through the C formatting functions so that "%g"-style
// output is exactly what the C library prints. Lives as long as the run.
//
// Output is written when the buffer fills and whenever the run calls
// flush() (after the path list and after every batch), so a run that is
// stopped leaves what it finished; on a terminal every line is written as
// soon as it is complete. A failed write is remembered and reported by the
// next flush().
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

  // Writes every complete line at once (standard output is a terminal).
  void set_line_buffered(bool on) { line_buffered_ = on; }
  // While muted everything written is dropped (the classic output of a run
  // that reports in a shorter form).
  void set_muted(bool on) { muted_ = on; }

  Console& text(std::string_view s) {
    if (muted_) return *this;
    buf_.append(s);
    if (line_buffered_ && s.find('\n') != std::string_view::npos) flush();
    maybe_flush();
    return *this;
  }
  Console& ch(char c) {
    if (muted_) return *this;
    buf_.push_back(c);
    if (line_buffered_ && c == '\n') flush();
    maybe_flush();
    return *this;
  }
  Console& u64(uint64_t v) { return integer(v); }
  Console& i64(int64_t v) { return integer(v); }
  // One real number in a printf conversion such as "%g" or "%-5g".
  Console& real(const char* conversion, double v) {
    if (muted_) return *this;
    char tmp[64];
    int n = std::snprintf(tmp, sizeof tmp, conversion, v);
    if (n > 0) buf_.append(tmp, static_cast<size_t>(n) < sizeof tmp ? n : sizeof tmp - 1);
    maybe_flush();
    return *this;
  }
  // Writes everything buffered; false when this or an earlier write failed.
  bool flush() {
    write_out();
    if (std::fflush(out_) != 0 || std::ferror(out_)) failed_ = true;
    return !failed_;
  }
  std::FILE* stream() const { return out_; }
  // Sends what follows to `out` instead (standard error when standard
  // output carries a JSON document).
  void set_stream(std::FILE* out) {
    flush();
    out_ = out;
  }

 private:
  static constexpr size_t kFlushAt = 1 << 16;
  template <class T>
  Console& integer(T v) {
    if (muted_) return *this;
    char tmp[24];
    auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
    buf_.append(tmp, r.ptr);
    maybe_flush();
    return *this;
  }
  void maybe_flush() {
    if (buf_.size() >= kFlushAt) write_out();
  }
  void write_out() {
    if (buf_.empty()) return;
    if (std::fwrite(buf_.data(), 1, buf_.size(), out_) != buf_.size()) failed_ = true;
    buf_.clear();
  }
  std::FILE* out_;
  std::string buf_;
  bool line_buffered_ = false;
  bool muted_ = false;
  bool failed_ = false;
};

}  // namespace lumtra
