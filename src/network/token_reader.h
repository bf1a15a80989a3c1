// TokenReader: reads the values of a network source (the -nt file, standard
// input, or a generated file) one whitespace-separated token at a time and
// converts each whole token, so that a token the conversion cannot take is
// reported instead of being half read. Every read names its item; the name is
// built only when a message needs it. With a terminal on standard input a
// bad answer is asked again; otherwise it stops the run with
// "lumtra: SOURCE: ITEM: PROBLEM". Lives for the network-reading stages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/console.h"
#include "base/numbers.h"
#include "base/status.h"

namespace lumtra {

class TokenReader {
 public:
  // Where the values come from. Only the source itself decides: a file named
  // "standard input" is still a file.
  enum class Input {
    file,            // a network file, generated text
    standard_input,  // standard input that is not a terminal
    terminal,        // a person at the keyboard: a bad answer is asked again
  };

  // `source` names the input in messages (a file name or "standard input").
  // On a terminal the complaint about a bad answer goes to `err`.
  // `prompts`, when given, is flushed before every read so that a person
  // sees the question first.
  TokenReader(std::FILE* in, std::string source, Input kind, std::FILE* err, Console* prompts = nullptr)
      : in_(in), source_(std::move(source)), kind_(kind), err_(err), prompts_(prompts) {}

  const std::string& source() const { return source_; }
  bool is_standard_input() const { return kind_ != Input::file; }

  // A whole number for an unsigned 32-bit field ("%lu").
  template <class Name>
  Status read_u32(Name&& item, uint32_t& out) {
    return read_with(item, [&](const std::string& t, std::string& why) { return parse_u32(t, out, why); });
  }
  // A signed whole number ("%hd", "%ld") that must lie in lo .. hi.
  template <class Name>
  Status read_int(Name&& item, int64_t lo, int64_t hi, int64_t& out) {
    return read_with(item, [&](const std::string& t, std::string& why) { return parse_in_range(t, lo, hi, out, why); });
  }
  // A finite real number ("%lg").
  template <class Name>
  Status read_real(Name&& item, double& out) {
    return read_real(item, out, [](double, const std::string&, std::string&) { return true; });
  }
  // The same, for a field with its own rule: `accept(value, token, why)`
  // returns false with a reason to refuse the value (asked again like an
  // unreadable answer).
  template <class Name, class Accept>
  Status read_real(Name&& item, double& out, Accept&& accept) {
    return read_with(item, [&](const std::string& t, std::string& why) {
      double v;
      if (!parse_real(t, v, why) || !accept(v, t, why)) return false;
      out = v;
      return true;
    });
  }
  // An unsigned 32-bit value with its own rule, as above.
  template <class Name, class Accept>
  Status read_u32(Name&& item, uint32_t& out, Accept&& accept) {
    uint32_t v = 0;
    return read_with(item, [&](const std::string& t, std::string& why) {
      if (!parse_u32(t, v, why) || !accept(v, t, why)) return false;
      out = v;
      return true;
    });
  }
  // A one-character answer (" %c"); a whole word such as "yes" is refused.
  template <class Name>
  Status read_letter(Name&& item, char& out) {
    return read_with(item, [&](const std::string& t, std::string& why) {
      if (t.size() != 1) {
        why = "'" + t + "' is not a single letter (answer y or n)";
        return false;
      }
      out = t[0];
      return true;
    });
  }
  // True when only white space is left.
  bool at_end();

 private:
  enum class Got { token, end, too_long, too_much_space };
  // Takes the next token. Reading stops as soon as a token passes
  // kLongestToken characters, so an endless source such as /dev/zero is
  // refused instead of read for ever; so is a run of white space longer than
  // kLongestGap in a file or a pipe.
  Got next_token(std::string& token);
  static constexpr size_t kLongestToken = 64;
  static constexpr size_t kLongestGap = size_t(1) << 24;
  void discard_line();
  // Why the last read from the input failed.
  std::string read_error() const;
  // Why `got` (not a token) cannot be a value.
  std::string problem(Got got, const std::string& start) const;

  template <class Name, class Convert>
  Status read_with(Name& item, Convert&& convert) {
    std::string token, why;
    for (;;) {
      const Got got = next_token(token);
      if (got == Got::end) {
        if (std::ferror(in_)) return Status::error(source_, item(), std::string("cannot be read: ") + read_error());
        return Status::error(source_, item(), "the input ends before this value");
      }
      if (got != Got::token)
        why = problem(got, token);
      else if (convert(token, why))
        return Status::proceed();
      if (kind_ != Input::terminal) return Status::error(source_, item(), why);
      std::fprintf(err_, "lumtra: %s: %s: %s; type it again (the rest of the line is ignored)\n",
                   printable(source_).c_str(), printable(item()).c_str(), printable(why).c_str());
      discard_line();
    }
  }

  std::FILE* in_;
  std::string source_;
  Input kind_;
  std::FILE* err_;
  Console* prompts_;
};

}  // namespace lumtra
