#include "base/json_writer.h"

#include <cmath>
#include <cstdio>

namespace lumtra {

size_t utf8_sequence_length(const std::string& s, size_t i) {
  const auto byte = [&](size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
  const unsigned lead = byte(i);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return length;
}

void JsonWriter::comma() {
  if (!first_) text.push_back(',');
  first_ = false;
}

void JsonWriter::open(char bracket) {
  comma();
  text.push_back(bracket);
  first_ = true;
}

void JsonWriter::close(char bracket) {
  text.push_back(bracket);
  first_ = false;
}

JsonWriter& JsonWriter::key(const char* k) {
  comma();
  string_value(k);
  text.push_back(':');
  first_ = true;
  return *this;
}

void JsonWriter::str(const std::string& s) {
  comma();
  string_value(s);
}

void JsonWriter::num(double v) {
  if (!std::isfinite(v)) return null();
  comma();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  text += buf;
}

void JsonWriter::num(uint64_t v) {
  comma();
  text += std::to_string(v);
}

void JsonWriter::num(int64_t v) {
  comma();
  text += std::to_string(v);
}

void JsonWriter::boolean(bool v) {
  comma();
  text += v ? "true" : "false";
}

void JsonWriter::null() {
  comma();
  text += "null";
}

void JsonWriter::string_value(const std::string& s) {
  text.push_back('"');
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    char escape[8];
    if (c == '"' || c == '\\') {
      text.push_back('\\');
      text.push_back(static_cast<char>(c));
    } else if (c < 0x20) {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      text += escape;
    } else if (const size_t n = utf8_sequence_length(s, i); n > 0) {
      text.append(s, i, n);
      i += n;
      continue;
    } else {
      std::snprintf(escape, sizeof escape, "\\udc%02x", c);
      text += escape;
    }
    ++i;
  }
  text.push_back('"');
}

}  // namespace lumtra
