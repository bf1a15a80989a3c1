// JsonValue: a JSON document read back (a document this program wrote, for
// --replay). Objects keep their fields in document order. Strings come
// back as the bytes they were written from: the \udcXX escapes of bytes that
// were not UTF-8 turn into those bytes again.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace lumtra {

struct JsonField;

struct JsonValue {
  enum class Kind { null, boolean, number, string, array, object };
  Kind kind = Kind::null;
  bool flag = false;
  double number = 0.0;
  std::string text;  // a string's bytes
  std::vector<JsonValue> items;
  std::vector<JsonField> fields;  // an object's, in document order

  // The field `name` of an object; null when there is none.
  const JsonValue* get(const std::string& name) const;
  // The field at a dotted path ("run.argv"); null when any step is missing.
  const JsonValue* at(const std::string& path) const;
  bool is_string() const { return kind == Kind::string; }
};

struct JsonField {
  std::string name;
  JsonValue value;
};

// Bytes a parsed document takes per byte of its text, at most (every value
// is a JsonValue of about 100 bytes; the shortest value takes 2 bytes).
inline constexpr size_t kJsonValueBytesPerByte = 64;

// Parses `text`; false with `why` (and the byte offset) when it is not one
// well-formed JSON value.
bool parse_json(const std::string& text, JsonValue& out, std::string& why);

// The value written back as compact JSON, for messages.
std::string json_text(const JsonValue& v, size_t limit = 80);

}  // namespace lumtra
