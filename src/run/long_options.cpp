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

// A file name after "--OPTION:".
bool file_name(const std::string& v, const char* option, std::string& out, std::string& why) {
  if (v.empty()) {
    why = std::string("a file name must follow --") + option + ":";
    return false;
  }
  out = v;
  return true;
}

const char* json_detail_name(JsonDetail d) {
  return d == JsonDetail::summary ? "summary" : d == JsonDetail::pairs ? "pairs" : "full";
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
    {"report", Value::required,
     [](LongOptions& o, const std::string& v, std::string& why) { return file_name(v, "report", o.report_path, why); }},
    {"json-detail", Value::required,
     [](LongOptions& o, const std::string& v, std::string& why) {
       o.json_detail_given = true;
       for (JsonDetail d : {JsonDetail::summary, JsonDetail::pairs, JsonDetail::full})
         if (v == json_detail_name(d)) return o.json_detail = d, true;
       why = "'" + v + "' is not one of summary, pairs, full";
       return false;
     }},
    {"names", Value::required,
     [](LongOptions& o, const std::string& v, std::string& why) { return file_name(v, "names", o.names_path, why); }},
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
  if (out.json_detail_given && !out.json)
    return Status::error("command line", "--json-detail", "needs --json:FILE, the document it shapes");
  return Status::proceed();
}

}  // namespace lumtra
