#include "run/long_options.h"

#include <cmath>
#include <algorithm>

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
    {"min-batches", Value::required,
     [](LongOptions& o, const std::string& v, std::string& why) {
       o.min_batches_given = true;
       return whole(v, 2, 4294967295, o.min_batches, why);
     }},
    {"warmup", Value::required,
     [](LongOptions& o, const std::string& v, std::string& why) {
       o.warmup_given = true;
       if (!parse_real(v, o.warmup, why)) return false;
       if (o.warmup >= 0.0 && std::isfinite(o.warmup)) return true;
       why = "'" + v + "' is not a time of 0 or more (time units of the network's rates)";
       return false;
     }},
    {"estimate", Value::optional,
     [](LongOptions& o, const std::string& v, std::string& why) {
       o.estimate = true;
       for (size_t start = 0; start < v.size();) {
         const size_t comma = std::min(v.find(',', start), v.size());
         const std::string word = v.substr(start, comma - start);
         if (word == "conversion") {
           o.estimate_conversion = true;
         } else if (word == "simulate") {
           o.estimate_simulate = true;
         } else if (word == "independent") {
           o.estimate_independent = true;
         } else {
           why = "'" + word + "' is not a choice of --estimate (simulate, conversion, independent, or several "
                 "separated by commas)";
           return false;
         }
         start = comma + 1;
       }
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
  if (out.estimate && !out.estimate_simulate) {
    const char* simulation_option = out.check         ? "--check"
                                    : out.parallel    ? "--parallel"
                                    : out.precision   ? "--precision"
                                    : out.confidence  ? "--ci"
                                                      : nullptr;
    if (simulation_option)
      return Status::error("command line", simulation_option,
                           "--estimate alone runs no simulation; to simulate beside the estimate use "
                           "--estimate:simulate");
  }
  if (out.max_batches_given && out.precision == 0.0)
    return Status::error("command line", "--max-batches", "needs --precision:R, the precision the batches are added for");
  if (out.min_batches_given && out.precision == 0.0)
    return Status::error("command line", "--min-batches", "needs --precision:R, the precision the batches are added for");
  return Status::proceed();
}

}  // namespace lumtra
