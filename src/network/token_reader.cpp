#include "network/token_reader.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace lumtra {

TokenReader::Got TokenReader::next_token(std::string& token) {
  token.clear();
  if (prompts_) prompts_->flush();
  int c;
  size_t gap = 0;
  errno = 0;
  do {
    c = std::getc(in_);
    if (c != EOF && std::isspace(c) && ++gap > kLongestGap && kind_ != Input::terminal) return Got::too_much_space;
  } while (c != EOF && std::isspace(c));
  while (c != EOF && !std::isspace(c)) {
    token.push_back(static_cast<char>(c));
    if (token.size() > kLongestToken) return Got::too_long;
    c = std::getc(in_);
  }
  // Leave the separator in the stream: after a refused answer the rest of
  // its line is skipped, and a line break taken here would make that skip
  // swallow the next line.
  if (c != EOF) std::ungetc(c, in_);
  return token.empty() ? Got::end : Got::token;
}

std::string TokenReader::problem(Got got, const std::string& start) const {
  if (got == Got::too_much_space) return "more than " + std::to_string(kLongestGap) + " characters of white space";
  std::string why(1, '\'');
  why.append(start, 0, 32).append("...' is too long for a value (more than ");
  return why.append(std::to_string(kLongestToken)).append(" characters)");
}

std::string TokenReader::read_error() const {
  return errno != 0 ? std::strerror(errno) : "read error";
}

void TokenReader::discard_line() {
  int c;
  do {
    c = std::getc(in_);
  } while (c != EOF && c != '\n');
}

bool TokenReader::at_end() {
  int c;
  do {
    c = std::getc(in_);
  } while (c != EOF && std::isspace(c));
  if (c == EOF) return true;
  std::ungetc(c, in_);
  return false;
}

}  // namespace lumtra
