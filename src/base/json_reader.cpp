#include "base/json_reader.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "base/json_writer.h"

namespace lumtra {

namespace {

constexpr int kMaxDepth = 64;

class Parser {
 public:
  explicit Parser(const std::string& text) : s_(text) {}

  bool document(JsonValue& out, std::string& why) {
    bool ok = value(out, 0);
    space();
    if (ok && at_ != s_.size()) ok = fail("text after the document");
    if (!ok) {
      why = why_ + " at byte " + std::to_string(at_);
      return false;
    }
    return true;
  }

 private:
  bool fail(const char* problem) {
    if (why_.empty()) why_ = problem;
    return false;
  }
  void space() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\t' || s_[at_] == '\r')) ++at_;
  }
  bool word(const char* w) {
    const size_t n = std::strlen(w);
    if (s_.compare(at_, n, w) != 0) return fail("not a JSON value");
    at_ += n;
    return true;
  }

  bool value(JsonValue& v, int depth) {
    if (depth > kMaxDepth) return fail("nested too deeply");
    space();
    if (at_ >= s_.size()) return fail("the document ends early");
    const char c = s_[at_];
    if (c == '{') return object(v, depth);
    if (c == '[') return array(v, depth);
    if (c == '"') {
      v.kind = JsonValue::Kind::string;
      return string(v.text);
    }
    if (c == 't' || c == 'f') {
      v.kind = JsonValue::Kind::boolean;
      v.flag = c == 't';
      return word(v.flag ? "true" : "false");
    }
    if (c == 'n') return word("null");
    return number(v);
  }

  bool number(JsonValue& v) {
    const size_t start = at_;
    if (at_ < s_.size() && s_[at_] == '-') ++at_;
    const size_t digits = at_;
    while (at_ < s_.size() && std::strchr("0123456789.eE+-", s_[at_])) ++at_;
    if (at_ == digits || !std::isdigit(static_cast<unsigned char>(s_[digits]))) return fail("not a JSON value");
    v.kind = JsonValue::Kind::number;
    const std::string text = s_.substr(start, at_ - start);
    char* end = nullptr;
    v.number = std::strtod(text.c_str(), &end);
    if (*end != '\0') return fail("a malformed number");
    return true;
  }

  bool hex4(unsigned& out) {
    if (at_ + 4 > s_.size()) return fail("a malformed \\u escape");
    out = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = s_[at_++];
      const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                    : (c >= 'a' && c <= 'f')                     ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F')                     ? c - 'A' + 10
                                                                 : -1;
      if (d < 0) return fail("a malformed \\u escape");
      out = out * 16 + unsigned(d);
    }
    return true;
  }

  static void utf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
      out.push_back(char(cp));
    } else if (cp < 0x800) {
      out.push_back(char(0xc0 | (cp >> 6)));
      out.push_back(char(0x80 | (cp & 0x3f)));
    } else if (cp < 0x10000) {
      out.push_back(char(0xe0 | (cp >> 12)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3f)));
      out.push_back(char(0x80 | (cp & 0x3f)));
    } else {
      out.push_back(char(0xf0 | (cp >> 18)));
      out.push_back(char(0x80 | ((cp >> 12) & 0x3f)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3f)));
      out.push_back(char(0x80 | (cp & 0x3f)));
    }
  }

  bool string(std::string& out) {
    ++at_;  // the opening quote
    for (;;) {
      if (at_ >= s_.size()) return fail("a string does not end");
      const char c = s_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return fail("a control character in a string");
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (at_ >= s_.size()) return fail("a string does not end");
      const char e = s_[at_++];
      switch (e) {
        case '"': case '\\': case '/': out.push_back(e); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u': {
          unsigned cp = 0;
          if (!hex4(cp)) return false;
          if (cp >= 0xdc80 && cp <= 0xdcff) {
            out.push_back(char(cp & 0xff));  // a byte that was not UTF-8
          } else if (cp >= 0xd800 && cp <= 0xdbff) {
            unsigned low = 0;
            if (s_.compare(at_, 2, "\\u") != 0) return fail("an unpaired surrogate escape");
            at_ += 2;
            if (!hex4(low) || low < 0xdc00 || low > 0xdfff) return fail("an unpaired surrogate escape");
            utf8(out, 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00));
          } else if (cp >= 0xdc00 && cp <= 0xdfff) {
            return fail("an unpaired surrogate escape");
          } else {
            utf8(out, cp);
          }
          break;
        }
        default:
          return fail("an unknown escape in a string");
      }
    }
  }

  bool array(JsonValue& v, int depth) {
    v.kind = JsonValue::Kind::array;
    ++at_;
    space();
    if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
    for (;;) {
      v.items.emplace_back();
      if (!value(v.items.back(), depth + 1)) return false;
      space();
      if (at_ < s_.size() && s_[at_] == ',') {
        ++at_;
        continue;
      }
      if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
      return fail("',' or ']' expected");
    }
  }

  bool object(JsonValue& v, int depth) {
    v.kind = JsonValue::Kind::object;
    ++at_;
    space();
    if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
    for (;;) {
      space();
      if (at_ >= s_.size() || s_[at_] != '"') return fail("a field name expected");
      v.fields.emplace_back();
      if (!string(v.fields.back().name)) return false;
      space();
      if (at_ >= s_.size() || s_[at_] != ':') return fail("':' expected");
      ++at_;
      if (!value(v.fields.back().value, depth + 1)) return false;
      space();
      if (at_ < s_.size() && s_[at_] == ',') {
        ++at_;
        continue;
      }
      if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
      return fail("',' or '}' expected");
    }
  }

  const std::string& s_;
  size_t at_ = 0;
  std::string why_;
};

void write_value(JsonWriter& j, const JsonValue& v) {
  switch (v.kind) {
    case JsonValue::Kind::null: j.null(); break;
    case JsonValue::Kind::boolean: j.boolean(v.flag); break;
    case JsonValue::Kind::number: j.num(v.number); break;
    case JsonValue::Kind::string: j.str(v.text); break;
    case JsonValue::Kind::array:
      j.open('[');
      for (const JsonValue& item : v.items) write_value(j, item);
      j.close(']');
      break;
    case JsonValue::Kind::object:
      j.open('{');
      for (const auto& [name, item] : v.fields) {
        j.key(name.c_str());
        write_value(j, item);
      }
      j.close('}');
      break;
  }
}

}  // namespace

const JsonValue* JsonValue::get(const std::string& name) const {
  if (kind != Kind::object) return nullptr;
  for (const auto& [key, value] : fields)
    if (key == name) return &value;
  return nullptr;
}

const JsonValue* JsonValue::at(const std::string& path) const {
  const JsonValue* v = this;
  size_t start = 0;
  while (v) {
    const size_t dot = path.find('.', start);
    v = v->get(path.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) return v;
    start = dot + 1;
  }
  return nullptr;
}

bool parse_json(const std::string& text, JsonValue& out, std::string& why) {
  out = JsonValue();
  return Parser(text).document(out, why);
}

std::string json_text(const JsonValue& v, size_t limit) {
  JsonWriter j;
  write_value(j, v);
  if (j.text.size() > limit) j.text = j.text.substr(0, limit) + "...";
  return j.text;
}

}  // namespace lumtra
