// Status: how a stage of the run ended. Errors travel as values from the
// place that finds them up to main, which prints them and picks the exit
// status; nothing in the program calls exit() or throws.
#pragma once

#include <string>
#include <utility>

namespace lumtra {

enum class Exit : int {
  ok = 0,          // normal end, and the extended usage screen
  input_error = 1, // bad input, unreadable or unwritable files, no path
  usage = 2,       // short usage screen, rejected option combination
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
    return {Exit::input_error, true, true,
            "lumtra: " + source + ": " + item + ": " + problem + "\n"};
  }
};

}  // namespace lumtra
