#include "run/long_options.h"

namespace lumtra {

namespace {

// One long option: its name, and whether it takes ":VALUE".
struct LongOption {
  const char* name;
  bool takes_value;
  bool (*set)(LongOptions&, const std::string& value, std::string& why);
};

bool set_flag(bool& flag) { return flag = true; }

constexpr LongOption kLongOptions[] = {
    {"version", false, [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.version); }},
    {"help", false, [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.help); }},
    {"ci", false, [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.confidence); }},
    {"summary", false, [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.summary); }},
    {"strict", false, [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.strict); }},
    {"check", false, [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.check); }},
    {"json", true,
     [](LongOptions& o, const std::string& v, std::string& why) {
       if (v.empty()) {
         why = "a file name must follow --json:";
         return false;
       }
       o.json = true;
       o.json_path = v;
       return true;
     }},
};

std::string known_names() {
  std::string names;
  for (const LongOption& o : kLongOptions) {
    if (!names.empty()) names += ", ";
    names += std::string("--") + o.name + (o.takes_value ? ":VALUE" : "");
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
    if (option->takes_value != (colon != std::string::npos))
      return Status::error("command line", a,
                           option->takes_value ? "needs a value: --" + name + ":VALUE"
                                               : "takes no value: --" + name);
    std::string why;
    if (!option->set(out, colon == std::string::npos ? std::string() : a.substr(colon + 1), why))
      return Status::error("command line", a, why);
  }
  return Status::proceed();
}

}  // namespace lumtra
