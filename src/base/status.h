// Status: how a stage of the run ended. Errors travel as values from the
// place that finds them up to main, which prints them and picks the exit
// status; nothing in the program calls exit() or throws.
#pragma once

#include <string>
#include <utility>

namespace lumtra {

// Text from input files and the command line made safe for a message:
// control characters are shown as \xNN, so that they can neither hide
// parts of the line nor drive the terminal, and text longer than `limit`
// characters is cut short with "...".
inline std::string printable(const std::string& text, size_t limit = 200) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : text) {
    if (out.size() >= limit) {
      out.append(3, '.');
      break;
    }
    if (c < 0x20 || c == 0x7f) {
      out.push_back('\\');
      out.push_back('x');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

enum class Exit : int {
  ok = 0,          // normal end, and the extended usage screen
  input_error = 1, // bad input, unreadable or unwritable files, no path
  usage = 2,       // short usage screen, rejected option combination
  differs = 3,     // --verify: the replayed figures are not the recorded ones
};

struct Status {
  Exit exit = Exit::ok;
  bool stop = false;       // true: the run ends here
  bool to_stderr = false;  // where `message` goes
  std::string message;     // printed verbatim

  bool ok() const { return !stop; }

  static Status proceed() { return {}; }
  // An orderly stop whose message (if any) has already been printed.
  static Status finished(Exit code) { return {code, true, false, {}}; }
  // A stop with a message on standard output, such as the combination checks.
  static Status stdout_stop(Exit code, std::string text) {
    return {code, true, false, std::move(text)};
  }
  // An input error: one line "lumtra: SOURCE: ITEM: PROBLEM" on standard error.
  static Status error(const std::string& source, const std::string& item,
                      const std::string& problem) {
    std::string line = "lumtra: ";
    line.append(printable(source)).append(": ").append(printable(item)).append(": ");
    line.append(printable(problem, 1000)).push_back('\n');
    return {Exit::input_error, true, true, std::move(line)};
  }
};

}  // namespace lumtra
