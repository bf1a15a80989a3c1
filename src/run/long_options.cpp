#include "run/long_options.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/numbers.h"

namespace lumtra {

namespace {

enum class Value { none, required, optional };
enum class Group { output, statistics, speed, methods, network, checks };

// One long option: its name, whether it takes ":VALUE" and how the help
// names the value, its group and one line of help, and what it sets. This
// table is the only list of long options: the scanner, the help screen and
// (checked by a test) the manual page follow it.
struct LongOption {
  const char* name;
  Value value;
  const char* value_name;
  Group group;
  const char* help;
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

// A file name, which must not be empty.
bool named(const std::string& value, std::string& out, const char* missing, std::string& why) {
  if (value.empty()) {
    why = missing;
    return false;
  }
  out = value;
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
    {"version", Value::none, "", Group::checks, "print the program's name and version, and exit",
     [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.version); }},
    // Known here so that it is not an unknown option; the usage screen it
    // asks for is shown before the scan, like -?'s.
    {"help", Value::none, "", Group::checks, "this screen, like -?",
     [](LongOptions&, const std::string&, std::string&) { return true; }},
    {"ci", Value::none, "", Group::statistics, "print the 95 % confidence half-width of the average blocking",
     [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.confidence); }},
    {"summary", Value::none, "", Group::output, "a short block on standard output instead of the classic output",
     [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.summary); }},
    {"strict", Value::none, "", Group::checks, "refuse unknown options and junk after an option's letters",
     [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.strict); }},
    {"check", Value::none, "", Group::checks, "read and check the network and its paths, do not simulate",
     [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.check); }},
    {"parallel", Value::optional, "N", Group::speed, "every batch an independent replication, on N threads (0: one per processor)",
     [](LongOptions& o, const std::string& v, std::string& why) {
       o.parallel = true;
       return v.empty() || whole(v, 0, 65536, o.threads, why);
     }},
    {"precision", Value::required, "R", Group::statistics, "add batches until the 95 % half-width is R times the average",
     [](LongOptions& o, const std::string& v, std::string& why) {
       if (!parse_real(v, o.precision, why)) return false;
       if (o.precision > 0.0) return true;
       why = "'" + v + "' is not a positive share of the average (0.05 means 5 %)";
       return false;
     }},
    {"max-batches", Value::required, "M", Group::statistics, "the most batches --precision may run (default 1000)",
     [](LongOptions& o, const std::string& v, std::string& why) {
       o.max_batches_given = true;
       if (!whole(v, 1, 4294967295, o.max_batches, why)) return false;
       return true;
     }},
    {"plugin", Value::required, "FILE[:ARGS]", Group::methods, "wavelength assignment (or routing too) by a plug-in",
     [](LongOptions& o, const std::string& v, std::string& why) {
       if (v.empty() || v[0] == ':') {
         why = "a file name must follow --plugin:";
         return false;
       }
       o.plugin = v;
       return true;
     }},
    {"min-batches", Value::required, "K", Group::statistics, "with --precision: no check before batch K (default 20)",
     [](LongOptions& o, const std::string& v, std::string& why) {
       o.min_batches_given = true;
       return whole(v, 2, 4294967295, o.min_batches, why);
     }},
    {"warmup", Value::required, "T", Group::statistics, "time units of every batch simulated but not counted first",
     [](LongOptions& o, const std::string& v, std::string& why) {
       o.warmup_given = true;
       if (!parse_real(v, o.warmup, why)) return false;
       if (o.warmup >= 0.0 && std::isfinite(o.warmup)) return true;
       why = "'" + v + "' is not a time of 0 or more (time units of the network's rates)";
       return false;
     }},
    {"estimate", Value::optional, "CHOICES", Group::statistics,
     "reduced-load estimate of the blocking, alone or (simulate) beside the simulation",
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
    {"json", Value::required, "FILE", Group::output, "write the run as a JSON document to FILE (-: standard output)",
     [](LongOptions& o, const std::string& v, std::string& why) {
       return o.json = named(v, o.json_path, "a file name must follow --json: (- for standard output)", why);
     }},
    {"lengths", Value::required, "FILE", Group::network, "fibre lengths in km: a path costs its length",
     [](LongOptions& o, const std::string& v, std::string& why) {
       o.lengths_path = v;
       why = "a file name must follow --lengths:";
       return !v.empty();
     }},
    {"quiet", Value::none, "", Group::output, "nothing on standard output but a JSON document sent there",
     [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.quiet); }},
    {"replay", Value::required, "FILE", Group::checks, "run again the command recorded in the JSON document FILE",
     [](LongOptions& o, const std::string& v, std::string& why) {
       return named(v, o.replay_path, "the JSON document of the run must follow --replay:", why);
     }},
    {"verify", Value::none, "", Group::checks, "with --replay: exit 0 only when every figure is the recorded one",
     [](LongOptions& o, const std::string&, std::string&) { return set_flag(o.verify); }},
    {"report", Value::required, "FILE.csv", Group::output, "per-fibre and per-pair tables of causes and utilisation",
     [](LongOptions& o, const std::string& v, std::string& why) { return file_name(v, "report", o.report_path, why); }},
    {"json-detail", Value::required, "LEVEL", Group::output, "summary, pairs or full (default): how much the JSON holds",
     [](LongOptions& o, const std::string& v, std::string& why) {
       o.json_detail_given = true;
       for (JsonDetail d : {JsonDetail::summary, JsonDetail::pairs, JsonDetail::full})
         if (v == json_detail_name(d)) return o.json_detail = d, true;
       why = "'" + v + "' is not one of summary, pairs, full";
       return false;
     }},
    {"names", Value::required, "FILE", Group::network, "node names (number,name CSV) beside numbers in reports",
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
  if (out.verify && out.replay_path.empty())
    return Status::error("command line", "--verify", "needs --replay:FILE, the recorded run to compare with");
  if (out.json_detail_given && !out.json)
    return Status::error("command line", "--json-detail", "needs --json:FILE, the document it shapes");
  return Status::proceed();
}

std::string long_options_help() {
  static constexpr const char* kGroups[] = {"output", "statistics", "speed", "methods", "network", "checks"};
  std::string text = "\nLong options (man lumtra tells more):\n";
  for (int g = 0; g < static_cast<int>(std::size(kGroups)); ++g) {
    text += std::string(" ") + kGroups[g] + ":\n";
    for (const LongOption& o : kLongOptions) {
      if (static_cast<int>(o.group) != g) continue;
      std::string form = std::string("  --") + o.name;
      if (o.value == Value::required) form += std::string(":") + o.value_name;
      if (o.value == Value::optional) form += std::string("[:") + o.value_name + "]";
      form.resize(std::max<size_t>(form.size() + 2, 22), ' ');
      text += form + o.help + "\n";
    }
  }
  text +=
      "\nNotes: -t counts time units of the rates (mean holding time 1/drate), not seconds;\n"
      "-d:drate and -dr:drate set the same rate; an unknown option is ignored with a\n"
      "warning on standard error (refused with --strict).\n";
  return text;
}

std::vector<std::string> long_option_names() {
  std::vector<std::string> names;
  for (const LongOption& o : kLongOptions) names.push_back(o.name);
  return names;
}

bool is_long_option(const std::string& arg, const char* name) {
  const size_t n = std::strlen(name);
  return arg.rfind("--", 0) == 0 && arg.compare(2, n, name) == 0 && (arg.size() == n + 2 || arg[n + 2] == ':');
}

}  // namespace lumtra
