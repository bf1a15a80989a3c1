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

#include "run/console.h"
#include "run/status.h"

namespace lumtra {

class TokenReader {
 public:
  // `source` names the input in messages (a file name or "standard input").
  // `reask`: ask again after a bad answer (interactive entry on a terminal);
  // the complaint then goes to `err`. `prompts`, when given, is flushed
  // before every read so that a person sees the question first.
  TokenReader(std::FILE* in, std::string source, bool reask, std::FILE* err,
              Console* prompts = nullptr)
      : in_(in), source_(std::move(source)), reask_(reask), err_(err), prompts_(prompts) {}

  const std::string& source() const { return source_; }
  bool is_standard_input() const { return source_ == "standard input"; }

  // A whole number for an unsigned 32-bit field ("%lu").
  template <class Name>
  Status read_u32(Name&& item, uint32_t& out) {
    return read_with(item, [&](const std::string& t, std::string& why) {
      return read_u32_token(t, out, why);
    });
  }
  // A signed whole number ("%hd", "%ld") that must lie in lo .. hi.
  template <class Name>
  Status read_int(Name&& item, int64_t lo, int64_t hi, int64_t& out) {
    return read_with(item, [&](const std::string& t, std::string& why) {
      int64_t v;
      if (!parse_signed(t, v, why)) return false;
      if (v < lo || v > hi) {
        why = range_problem(t, lo, hi);
        return false;
      }
      out = v;
      return true;
    });
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
      if (!read_u32_token(t, v, why) || !accept(v, t, why)) return false;
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

  // Conversions of one token, shared with the other readers of the program.
  static bool parse_unsigned(const std::string& t, uint64_t& v, std::string& why);
  static bool parse_signed(const std::string& t, int64_t& v, std::string& why);
  static bool parse_real(const std::string& t, double& v, std::string& why);
  static std::string range_problem(const std::string& t, int64_t lo, int64_t hi);
  static bool read_u32_token(const std::string& t, uint32_t& v, std::string& why);

 private:
  // Takes the next token; false at end of input.
  bool next_token(std::string& token);
  void discard_line();

  template <class Name, class Convert>
  Status read_with(Name& item, Convert&& convert) {
    std::string token, why;
    for (;;) {
      if (!next_token(token)) return Status::error(source_, item(), "the input ends before this value");
      if (convert(token, why)) return Status::proceed();
      if (!reask_) return Status::error(source_, item(), why);
      std::fprintf(err_, "lumtra: %s: %s: %s; type it again (the rest of the line is ignored)\n",
                   source_.c_str(), item().c_str(), why.c_str());
      discard_line();
    }
  }

  std::FILE* in_;
  std::string source_;
  bool reask_;
  std::FILE* err_;
  Console* prompts_;
};

}  // namespace lumtra
