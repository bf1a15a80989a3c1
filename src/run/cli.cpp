#include "run/cli.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "base/numbers.h"
#include "run/run.h"

namespace lumtra {

namespace {

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// One argument under examination. Option letters are matched
// case-insensitively; the value sits at a fixed position right after the
// letters and one separator character, whatever that character is, so
// -b:5 and -b=5 are the same. An argument too short to reach that position
// has an empty value.
class Arg {
 public:
  explicit Arg(const std::string& text) : text_(text) {}

  // True when the letters after the dash begin with `letters` (upper case).
  // The value then starts behind these letters and the separator.
  bool is(std::string_view letters) {
    if (text_.size() < 1 + letters.size()) return false;
    for (size_t i = 0; i < letters.size(); ++i)
      if (upper(text_[1 + i]) != letters[i]) return false;
    value_at_ = letters.size() + 2;
    return true;
  }
  std::string value() const { return value_at_ < text_.size() ? text_.substr(value_at_) : std::string(); }
  // How the option is written with a value, for messages: "-mx:VALUE".
  std::string form() const { return text_.substr(0, std::min(value_at_ - 1, text_.size())) + ":VALUE"; }
  const std::string& text() const { return text_; }

 private:
  const std::string& text_;
  size_t value_at_ = 3;  // one-letter options: "-b:5"
};

Status bad_value(const Arg& arg, const std::string& problem) {
  return Status::error("command line", arg.text(), problem);
}

// Why the value of `arg` is missing or cannot be converted, with the name
// of what it sets.
Status unreadable(const Arg& arg, const char* what, const std::string& why) {
  if (arg.value().empty())
    return bad_value(arg, std::string(what) + " is missing; the value follows the option letters and one " +
                              "separator, as in " + arg.form());
  return bad_value(arg, std::string(what) + ": " + why);
}

// The value as a whole number within lo .. hi. Like every value of a
// network file, it is converted as a whole token: "12abc", "2.5" and an
// empty value are refused, not read as 12, 2 or 0.
Status read_integer(const Arg& arg, const char* what, int64_t lo, int64_t hi, int64_t& out) {
  std::string why;
  int64_t v = 0;
  if (!parse_signed(arg.value(), v, why)) {
    if (why.find("out of range") == std::string::npos) return unreadable(arg, what, why);
    v = arg.value()[0] == '-' ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
  }
  if (v >= lo && v <= hi) {
    out = v;
    return Status::proceed();
  }
  if (lo == 0 && v < 0) return bad_value(arg, std::string(what) + " must not be negative");
  if (lo == 0) return bad_value(arg, std::string(what) + " must be at most " + std::to_string(hi));
  return bad_value(arg, std::string(what) + " must be between " + std::to_string(lo) + " and " + std::to_string(hi));
}

template <class Field>
Status set_integer(const Arg& arg, const char* what, Field& field) {
  int64_t v = 0;
  Status s = read_integer(arg, what, std::numeric_limits<Field>::min(), std::numeric_limits<Field>::max(), v);
  if (s.ok()) field = static_cast<Field>(v);
  return s;
}

enum class Real { finite, positive, not_negative };

// The value as a finite real number. Infinities and NaN are refused
// everywhere: they would turn every figure of the run into nonsense.
Status set_real(const Arg& arg, const char* what, Real rule, double& field) {
  std::string why;
  double v = 0.0;
  if (!parse_real(arg.value(), v, why)) {
    if (why.find("finite") != std::string::npos) return bad_value(arg, std::string(what) + " must be a finite number");
    return unreadable(arg, what, why);
  }
  if (rule == Real::positive && !(v > 0.0)) return bad_value(arg, std::string(what) + " must be greater than 0");
  if (rule == Real::not_negative && v < 0.0) return bad_value(arg, std::string(what) + " must not be negative");
  field = v;
  return Status::proceed();
}

// Node numbers are typed from 1 and kept from 0.
Status set_sink_node(const Arg& arg, int32_t& sink_node) {
  int64_t v = 0;
  Status s = read_integer(arg, "the sink node", int64_t{std::numeric_limits<int32_t>::min()} + 1,
                          std::numeric_limits<int32_t>::max(), v);
  if (s.ok()) sink_node = static_cast<int32_t>(v - 1);
  return s;
}

// -s: the seed generator restarts from the value at once, so that every
// stream seed drawn later depends on the seed only, not on the clock. Seeds
// are 32-bit: a larger number would silently repeat a smaller seed's run.
Status reseed(Run& run, const Arg& arg) {
  int64_t seed = 0;
  Status s = read_integer(arg, "the seed", 0, std::numeric_limits<uint32_t>::max(), seed);
  if (s.ok()) run.seeder.seed(static_cast<uint32_t>(seed));
  return s;
}

// Mixed RWA: the first method named is the routing method, any later one
// the wavelength-assignment method.
void choose_method(Config& c, int16_t code) {
  if (c.routing_code == -1)
    c.routing_code = code;
  else
    c.wa_code = code;
}

// Least and most loaded are routing methods; named second they mean first fit.
void choose_load_method(Config& c, int16_t code) {
  if (c.routing_code == -1)
    c.routing_code = code;
  else
    c.wa_code = kFirstFit;
}

// The congestion methods only route; named after another method they are
// ignored.
void choose_routing_only(Config& c, int16_t code) {
  if (c.routing_code == -1) c.routing_code = code;
}

// A new -of replaces the files of an earlier one. The files are opened (and
// created) now, so that a name that cannot be used stops the run before any
// simulation time is spent.
Status open_result_files(AppendFiles& results, const std::string& prefix) {
  results.close_all();
  for (const char* suffix : kResultSuffixes)
    if (Status s = results.add(prefix + suffix, "result file"); !s.ok()) return s;
  return Status::proceed();
}

// A row name becomes the first field of a CSV record, so it must stay on one
// line; commas and quotes are quoted when it is written.
Status set_row_name(Config& c, const Arg& arg) {
  const std::string name = arg.value();
  if (name.find_first_of("\r\n") != std::string::npos)
    return bad_value(arg, "a row name must stay on one line, and this one holds a line break");
  c.row_name_given = true;
  c.row_name = name;
  return Status::proceed();
}

// One argument: the second character picks the option family, whose
// options are tried in order; the first that matches takes effect.
// Anything that matches no option is ignored.
Status scan_argument(Run& run, size_t index) {
  const std::string& text = run.args[index];
  if (text.size() < 2 || text[0] != '-') return Status::proceed();
  Config& c = run.config;
  Arg a(text);
  switch (upper(text[1])) {
    case 'A':
      if (a.is("AT")) return set_integer(a, "the attempt limit", c.max_attempts);
      if (a.is("AL")) return set_real(a, "alpha", Real::finite, c.alpha);
      c.all_paths = true;
      break;
    case 'B':
      return set_integer(a, "the batch count", c.batch_count);
    case 'C':
      return set_real(a, "the rate cofactor", Real::positive, c.rate_cofactor);
    case 'D':
      if (a.is("DLA")) choose_method(c, kDeterministicLA);
      else if (a.is("DR")) return set_real(a, "the departure rate", Real::positive, c.departure_rate);
      break;
    case 'E':
      if (a.is("EP")) return set_real(a, "epsilon", Real::finite, c.epsilon);
      return set_integer(a, "the second-path limit", c.second_path_limit);
    case 'F':
      if (!a.is("FF")) return set_real(a, "the rate factor", Real::positive, c.rate_factor);
      choose_method(c, kFirstFit);
      break;
    case 'G':
      c.generator_given = true;
      c.generator_file = a.value();
      break;
    case 'I':
      c.network_source = -2;
      break;
    case 'L':
      if (a.is("LA")) choose_method(c, kFastLA);
      else if (a.is("LF")) choose_method(c, kLastFit);
      else if (a.is("LO")) c.local_calls = true;
      else if (a.is("LU")) choose_method(c, kLeastUsed);
      else if (a.is("LMU")) choose_method(c, kLocalMostUsed);
      else if (a.is("LLU")) choose_method(c, kLocalLeastUsed);
      else if (a.is("LL")) choose_load_method(c, kLeastLoaded);
      break;
    case 'M':
      if (a.is("MX")) return set_integer(a, "the maximum path length", c.max_path_length);
      if (a.is("MN")) return set_integer(a, "the minimum path length", c.min_path_length);
      if (a.is("MU")) choose_method(c, kMostUsed);
      else if (a.is("ML")) choose_load_method(c, kMostLoaded);
      else if (a.is("MC")) return set_integer(a, "the length margin", c.length_margin);
      else if (a.is("MP")) return set_integer(a, "the maximum number of paths", c.max_paths);
      else c.multi_wavelength = true;
      break;
    case 'N':
      if (!a.is("NT")) return set_integer(a, "the path order", c.path_order);
      c.network_source = static_cast<int>(index);
      c.network_file = a.value();
      break;
    case 'O':
      if (a.is("OF")) return open_result_files(c.results, a.value());
      if (a.is("OR")) return set_row_name(c, a);
      break;
    case 'P':
      if (a.is("PX")) return set_integer(a, "the maximum number of G-Fabric switchings", c.max_switchings);
      if (a.is("PN")) return set_integer(a, "the minimum number of G-Fabric switchings", c.min_switchings);
      if (a.is("PR")) c.priority_routing = true;
      break;
    case 'R':
      choose_method(c, kRandom);
      break;
    case 'S':
      // -sh and -sc combine: the one given first takes priority in sorting.
      if (a.is("SN")) return set_sink_node(a, c.sink_node);
      if (a.is("SH")) c.sort_mode = c.sort_mode == kSortCost ? kSortCostThenHops : kSortHops;
      else if (a.is("SC")) c.sort_mode = c.sort_mode == kSortHops ? kSortHopsThenCost : kSortCost;
      else if (a.is("SLA")) c.single_la_list = true;
      else return reseed(run, a);
      break;
    case 'T':
      return set_real(a, "the batch time", Real::not_negative, c.batch_time);
    case 'V':
      if (a.is("VI")) c.virtual_input = true;
      else if (a.is("VO")) c.virtual_output = true;
      break;
    case 'W':
      if (a.is("WLCR")) choose_routing_only(c, kWeightedLeastCongestion);
      else if (a.is("WMCR")) choose_routing_only(c, kWeightedMostCongestion);
      break;
    case 'X':
      // Exhaustive LA only works for routing and assignment together.
      if (a.is("XLA")) c.routing_code = c.wa_code = kExhaustiveLA;
      break;
    default:
      break;
  }
  return Status::proceed();
}

Status rejected(const char* message) { return Status::stdout_stop(Exit::usage, message); }

}  // namespace

bool asks_for_help(const std::string& arg) { return (arg.size() >= 2 && arg[0] == '-' && arg[1] == '?') || arg == "--help"; }

Status parse_command_line(Run& run) {
  // The extended usage screen wins over everything else on the line: the
  // options before it are scanned (so -of still creates its files), and
  // whatever is wrong with them is not reported.
  size_t help = 0;
  while (help < run.args.size() && !asks_for_help(run.args[help])) ++help;
  for (size_t i = 0; i < help; ++i) {
    Status s = scan_argument(run, i);
    if (!s.ok() && help == run.args.size()) return s;
  }
  if (help < run.args.size()) {
    show_usage(run.out, true);
    return Status::finished(Exit::ok);
  }
  if (run.config.network_source == -1) {
    show_usage(run.out, false);
    return Status::finished(Exit::usage);
  }
  return Status::proceed();
}

void seed_streams(Run& run) {
  run.method_stream.state = next_seed(run.seeder);
  run.generator_stream.state = next_seed(run.seeder);
}

Status validate_and_normalise(Config& c) {
  if ((c.routing_code == kExhaustiveLA || c.wa_code == kExhaustiveLA) && c.routing_code != c.wa_code)
    return rejected("\nMixed RWA can not be used when using Exaustive Learning Automata\n");
  if (c.routing_code == -1) c.routing_code = kFirstFit;
  if (c.wa_code == -1) c.wa_code = c.routing_code;
  if (c.wa_code == kLeastLoaded || c.wa_code == kMostLoaded) c.wa_code = kFirstFit;
  // The local-channel methods route like their global counterparts.
  if (c.routing_code == kLocalMostUsed) c.routing_code = kMostUsed;
  if (c.routing_code == kLocalLeastUsed) c.routing_code = kLeastUsed;

  const bool sorted = c.sort_mode != kNoSort;
  if (c.priority_routing && !sorted) return rejected("\n-pr Can not be used without -sh or -sc or both.\n");
  if (c.single_la_list && (!c.priority_routing || c.routing_code != kFastLA))
    return rejected("\n-sla Can not be used without using both -la (for routing) and -pr.\n");
  if (c.path_order != 1 && !sorted) return rejected("\nEither -sh or -sc or both has be used with -n\n");
  if (c.second_path_limit != 0 && !sorted) return rejected("\nEither -sh or -sc or both has be used with -e\n");
  if (c.wa_code == kWeightedLeastCongestion || c.wa_code == kWeightedMostCongestion)
    return rejected(
        "\n-wlcr and -wmcr are routing only algorithms. They can not be used for wavelength assignment. You "
        "should specifiy an other wavelength assignment algorithm.\n");
  if (c.priority_routing && c.all_paths)
    return rejected("\n-pr Can not be used with -a. Priority groups are only built for the generated path lists.\n");
  return Status::proceed();
}

}  // namespace lumtra
