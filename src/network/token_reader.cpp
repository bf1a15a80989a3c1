#include "network/token_reader.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace lumtra {

bool TokenReader::next_token(std::string& token) {
  token.clear();
  if (prompts_) prompts_->flush();
  int c;
  do {
    c = std::getc(in_);
  } while (c != EOF && std::isspace(c));
  while (c != EOF && !std::isspace(c)) {
    token.push_back(static_cast<char>(c));
    c = std::getc(in_);
  }
  // Leave the separator in the stream: after a refused answer the rest of
  // its line is skipped, and a line break taken here would make that skip
  // swallow the next line.
  if (c != EOF) std::ungetc(c, in_);
  return !token.empty();
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

bool TokenReader::parse_unsigned(const std::string& t, uint64_t& v, std::string& why) {
  size_t i = 0;
  if (i < t.size() && t[i] == '+') ++i;
  if (i < t.size() && t[i] == '-') {
    why = "'" + t + "' is negative";
    return false;
  }
  if (i == t.size()) {
    why = "'" + t + "' is not a whole number";
    return false;
  }
  v = 0;
  for (; i < t.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(t[i]))) {
      why = "'" + t + "' is not a whole number";
      return false;
    }
    unsigned d = t[i] - '0';
    if (v > (UINT64_MAX - d) / 10) {
      why = "'" + t + "' is out of range";
      return false;
    }
    v = v * 10 + d;
  }
  return true;
}

bool TokenReader::parse_signed(const std::string& t, int64_t& v, std::string& why) {
  bool negative = !t.empty() && t[0] == '-';
  std::string digits = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? t.substr(1) : t;
  uint64_t magnitude;
  if (digits.empty() || digits[0] == '+' || digits[0] == '-' ||
      !parse_unsigned(digits, magnitude, why)) {
    why = "'" + t + "' is not a whole number";
    return false;
  }
  if (magnitude > (negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX))) {
    why = "'" + t + "' is out of range";
    return false;
  }
  v = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

bool TokenReader::parse_real(const std::string& t, double& v, std::string& why) {
  if (t.empty()) {
    why = "an empty value is not a number";
    return false;
  }
  char* end = nullptr;
  errno = 0;
  v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size()) {
    why = "'" + t + "' is not a number";
    return false;
  }
  if (!std::isfinite(v)) {
    why = "'" + t + "' is not a finite number";
    return false;
  }
  return true;
}

bool TokenReader::read_u32_token(const std::string& t, uint32_t& v, std::string& why) {
  uint64_t wide;
  if (!parse_unsigned(t, wide, why)) return false;
  if (wide > 4294967295u) {
    why = "'" + t + "' is out of range (at most 4294967295)";
    return false;
  }
  v = static_cast<uint32_t>(wide);
  return true;
}

std::string TokenReader::range_problem(const std::string& t, int64_t lo, int64_t hi) {
  if (lo == 0 && std::strtoll(t.c_str(), nullptr, 10) < 0) return "'" + t + "' is negative";
  return "'" + t + "' is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")";
}

}  // namespace lumtra
