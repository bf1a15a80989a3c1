// JsonWriter: builds a JSON document piece by piece into a text buffer that
// the caller empties into a file whenever it likes (so a long document need
// not be held whole). Keys and values are written in the order given; the
// writer only places the commas.
//
// Strings are always valid UTF-8 in the output: control characters, quotes
// and backslashes are escaped, and a byte that is not part of a well-formed
// UTF-8 sequence (a Latin-1 file name, say) is written as \udcXX, the
// "surrogateescape" convention by which Python's os.fsencode gets the
// original bytes back.
#pragma once

#include <cstdint>
#include <string>

namespace lumtra {

class JsonWriter {
 public:
  std::string text;

  void open(char bracket);   // '{' or '['
  void close(char bracket);  // '}' or ']'
  JsonWriter& key(const char* k);
  void str(const std::string& s);
  void num(double v);  // null when not finite
  void num(uint64_t v);
  void num(int64_t v);
  void boolean(bool v);
  void null();

 private:
  void comma();
  void string_value(const std::string& s);
  bool first_ = true;
};

// Length of the well-formed UTF-8 sequence starting at s[i], 0 when the
// bytes there are not one.
size_t utf8_sequence_length(const std::string& s, size_t i);

}  // namespace lumtra
