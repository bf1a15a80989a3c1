#include "base/numbers.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace lumtra {

namespace {

std::string quoted(const std::string& t) { return "'" + t + "'"; }

}  // namespace

bool parse_unsigned(const std::string& t, uint64_t& v, std::string& why) {
  size_t i = 0;
  if (i < t.size() && t[i] == '+') ++i;
  if (i < t.size() && t[i] == '-') {
    why = quoted(t) + " is negative";
    return false;
  }
  if (i == t.size()) {
    why = t.empty() ? "an empty value is not a number" : quoted(t) + " is not a whole number";
    return false;
  }
  v = 0;
  for (; i < t.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(t[i]))) {
      why = quoted(t) + " is not a whole number";
      return false;
    }
    unsigned d = t[i] - '0';
    if (v > (UINT64_MAX - d) / 10) {
      why = quoted(t) + " is out of range";
      return false;
    }
    v = v * 10 + d;
  }
  return true;
}

bool parse_signed(const std::string& t, int64_t& v, std::string& why) {
  if (t.empty()) {
    why = "an empty value is not a number";
    return false;
  }
  const bool negative = t[0] == '-';
  const std::string digits = (t[0] == '-' || t[0] == '+') ? t.substr(1) : t;
  uint64_t magnitude;
  const bool digits_only = !digits.empty() && digits[0] != '+' && digits[0] != '-';
  if (!digits_only || !parse_unsigned(digits, magnitude, why)) {
    const bool too_large = digits_only && why.find("out of range") != std::string::npos;
    why = quoted(t) + (too_large ? " is out of range" : " is not a whole number");
    return false;
  }
  if (magnitude > (negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX))) {
    why = quoted(t) + " is out of range";
    return false;
  }
  v = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

bool parse_real(const std::string& t, double& v, std::string& why) {
  if (t.empty()) {
    why = "an empty value is not a number";
    return false;
  }
  char* end = nullptr;
  errno = 0;
  v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || std::isspace(static_cast<unsigned char>(t[0]))) {
    why = quoted(t) + " is not a number";
    return false;
  }
  if (!std::isfinite(v)) {
    why = quoted(t) + " is not a finite number";
    return false;
  }
  return true;
}

bool parse_u32(const std::string& t, uint32_t& v, std::string& why) {
  uint64_t wide;
  if (!parse_unsigned(t, wide, why)) return false;
  if (wide > 4294967295u) {
    why = quoted(t) + " is out of range (at most 4294967295)";
    return false;
  }
  v = static_cast<uint32_t>(wide);
  return true;
}

bool parse_in_range(const std::string& t, int64_t lo, int64_t hi, int64_t& v, std::string& why) {
  int64_t parsed;
  if (!parse_signed(t, parsed, why)) {
    // A negative number beyond 64 bits is still negative.
    if (lo == 0 && !t.empty() && t[0] == '-') why = quoted(t) + " is negative";
    return false;
  }
  if (parsed < lo || parsed > hi) {
    why = lo == 0 && parsed < 0 ? quoted(t) + " is negative"
                                : quoted(t) + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")";
    return false;
  }
  v = parsed;
  return true;
}

std::string real_text(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

}  // namespace lumtra
