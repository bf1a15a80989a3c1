#include "run/long_options.h"

#include "base/numbers.h"

namespace lumtra {

namespace {

enum class Value { none, required, optional };

// One long option: its name, whether it takes ":VALUE", and what it sets.
struct LongOption {
  const char* name;
  Value value;
  bool (*set)(LongOptions&, const std::string& value, std::string& why);
};

bool set_flag(bool& flag) { return flag = true; }

// A whole number within lo .. hi.
bool whole(const std::string& text, int64_t lo, int64_t hi, uint32_t& out, std::string& why) {
  int64_t v = 0;
  if (!parse_in_range(text, lo, hi, v, why)) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

constexpr LongOption kLongOptions[] = {
    {"version", Value::none, [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.version); }},
    // Known here so that it is not an unknown option; the usage screen it
    // asks for is shown before the scan, like -?'s.
    {"help", Value::none, [](LongOptions&, const std::string&, std::string&) { return true; }},
    {"ci", Value::none, [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.confidence); }},
    {"summary", Value::none, [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.summary); }},
    {"strict", Value::none, [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.strict); }},
    {"check", Value::none, [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.check); }},
    {"parallel", Value::optional,
     [](LongOptions& o, const std::string& v, std::string& why) {
       o.parallel = true;
       return v.empty() || whole(v, 0, 65536, o.threads, why);
     }},
    {"precision", Value::required,
     [](LongOptions& o, const std::string& v, std::string& why) {
       if (!parse_real(v, o.precision, why)) return false;
       if (o.precision > 0.0) return true;
       why = "'" + v + "' is not a positive share of the average (0.05 means 5 %)";
       return false;
     }},
    {"max-batches", Value::required,
     [](LongOptions& o, const std::string& v, std::string& why) {
       o.max_batches_given = true;
       if (!whole(v, 1, 4294967295, o.max_batches, why)) return false;
       return true;
     }},
    {"plugin", Value::required,
     [](LongOptions& o, const std::string& v, std::string& why) {
       if (v.empty() || v[0] == ':') {
         why = "a file name must follow --plugin:";
         return false;
       }
       o.plugin = v;
       return true;
     }},
    {"json", Value::required,
     [](LongOptions& o, const std::string& v, std::string& why) {
       if (v.empty()) {
         why = "a file name must follow --json:";
         return false;
       }
       o.json = true;
       o.json_path = v;
       return true;
     }},
    {"lengths", Value::required,
     [](LongOptions& o, const std::string& v, std::string& why) {
       o.lengths_path = v;
       why = "a file name must follow --lengths:";
       return !v.empty();
     }},
};

std::string known_names() {
  std::string names;
  for (const LongOption& o : kLongOptions) {
    if (!names.empty()) names += ", ";
    names += std::string("--") + o.name + (o.value == Value::required ? ":VALUE" : o.value == Value::optional ? "[:VALUE]" : "");
  }
  return names;
}

}  // namespace

Status scan_long_options(const std::vector<std::string>& args, LongOptions& out) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) continue;
    const size_t colon = a.find(':');
    const std::string name = a.substr(2, colon == std::string::npos ? std::string::npos : colon - 2);
    const LongOption* option = nullptr;
    for (const LongOption& o : kLongOptions)
      if (name == o.name) option = &o;
    if (!option) return Status::error("command line", a, "unknown option (the long options are " + known_names() + ")");
    const bool has_value = colon != std::string::npos;
    if (option->value == Value::required && !has_value)
      return Status::error("command line", a, "needs a value: --" + name + ":VALUE");
    if (option->value == Value::none && has_value) return Status::error("command line", a, "takes no value: --" + name);
    std::string why;
    if (!option->set(out, has_value ? a.substr(colon + 1) : std::string(), why))
      return Status::error("command line", a, why);
  }
  if (out.max_batches_given && out.precision == 0.0)
    return Status::error("command line", "--max-batches", "needs --precision:R, the precision the batches are added for");
  return Status::proceed();
}

}  // namespace lumtra
