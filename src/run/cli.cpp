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
#include <vector>

#include "base/numbers.h"
#include "methods/table.h"
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
  std::string value() const {
    valued_ = true;
    return value_at_ < text_.size() ? text_.substr(value_at_) : std::string();
  }
  // Whether the argument is the option's letters exactly, followed by ':' or
  // '=' and the value when the option takes one (what --strict accepts).
  bool exact() const {
    const size_t letters_end = value_at_ - 1;
    if (!valued_) return text_.size() == letters_end;
    return text_.size() > letters_end && (text_[letters_end] == ':' || text_[letters_end] == '=');
  }
  // How the option is written with a value, for messages: "-mx:VALUE".
  std::string form() const { return text_.substr(0, std::min(value_at_ - 1, text_.size())) + ":VALUE"; }
  const std::string& text() const { return text_; }

 private:
  const std::string& text_;
  size_t value_at_ = 3;  // one-letter options: "-b:5"
  mutable bool valued_ = false;
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
  if (s.ok()) {
    run.seeder.seed(static_cast<uint32_t>(seed));
    run.seeder.given = true;
  }
  return s;
}

// A method option, as the method table says the scanner takes it. Mixed
// RWA: the first method named is the routing method, a later one the
// wavelength-assignment method.
void choose_method(MethodOptions& m, const MethodRow& row) {
  switch (row.scan) {
    case ScanRule::next_half:
      (m.routing_code == -1 ? m.routing_code : m.wa_code) = row.code;
      break;
    case ScanRule::routing_only:  // named after another method it is ignored
      if (m.routing_code == -1) m.routing_code = row.code;
      break;
    case ScanRule::both_halves:
      m.routing_code = m.wa_code = row.code;
      break;
  }
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
  c.report.row_name_given = true;
  c.report.row_name = name;
  return Status::proceed();
}

// The network file of -nt, which must name one.
Status set_network_file(Config& c, const Arg& arg, size_t index) {
  if (arg.value().empty())
    return bad_value(arg, "the network file is missing; the form is -nt:FILE, with the file name right after the "
                          "colon and no space");
  c.network_source = static_cast<int>(index);
  c.network_file = arg.value();
  return Status::proceed();
}

bool same_letters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

Status scan_option(Run& run, size_t index, Arg& a, bool& known);

// One argument: a method option by the method table, otherwise the second
// character picks the option family, whose options are tried in order; the
// first that matches takes effect. `known` is cleared for an argument that
// matches no option (it is ignored); `exact` for one that was taken as an
// option although more follows its letters (-m5, -shortest).
Status scan_argument(Run& run, size_t index, bool& known, bool& exact) {
  known = true;
  exact = true;
  const std::string& text = run.args[index];
  if (text.rfind("--", 0) == 0) return Status::proceed();  // a long option
  if (text.size() < 2 || text[0] != '-') {
    known = index == 0;  // the program path
    return Status::proceed();
  }
  Config& c = run.config;
  if (const MethodRow* row = method_row_for_option(text.substr(1))) {
    choose_method(c.methods, *row);
    c.method_arguments.push_back({text, row->code});
    exact = same_letters(text.substr(1), option_letters(*row));
    return Status::proceed();
  }
  Arg a(text);
  Status s = scan_option(run, index, a, known);
  exact = a.exact();
  return s;
}

Status scan_option(Run& run, size_t index, Arg& a, bool& known) {
  const std::string& text = a.text();
  Config& c = run.config;
  switch (upper(text[1])) {
    case 'A':
      if (a.is("AT")) return set_integer(a, "the attempt limit", c.methods.max_attempts);
      if (a.is("AL")) return set_real(a, "alpha", Real::finite, c.methods.alpha);
      c.paths.all_paths = true;
      break;
    case 'B':
      return set_integer(a, "the batch count", c.sim.batch_count);
    case 'C':
      return set_real(a, "the rate cofactor", Real::positive, c.network.rate_cofactor);
    case 'D':
      if (a.is("DR")) return set_real(a, "the departure rate", Real::positive, c.sim.departure_rate);
      // -d:x, the form the usage screen shows, sets the same rate; -d
      // followed by any other letter is not an option.
      if (text.size() >= 3 && !std::isalpha(static_cast<unsigned char>(text[2])))
        return set_real(a, "the departure rate", Real::positive, c.sim.departure_rate);
      known = false;
      break;
    case 'E':
      if (a.is("EP")) return set_real(a, "epsilon", Real::finite, c.methods.epsilon);
      return set_integer(a, "the second-path limit", c.paths.second_path_limit);
    case 'F':
      return set_real(a, "the rate factor", Real::positive, c.network.rate_factor);
    case 'G':
      c.generator_given = true;
      c.generator_file = a.value();
      break;
    case 'I':
      c.network_source = -2;
      break;
    case 'L':
      if (a.is("LO")) c.report.local_calls = true;
      else known = false;
      break;
    case 'M':
      if (a.is("MX")) return set_integer(a, "the maximum path length", c.paths.max_path_length);
      if (a.is("MN")) return set_integer(a, "the minimum path length", c.paths.min_path_length);
      if (a.is("MC")) return set_integer(a, "the length margin", c.paths.length_margin);
      if (a.is("MP")) return set_integer(a, "the maximum number of paths", c.paths.max_paths);
      c.sim.multi_wavelength = true;
      break;
    case 'N':
      if (!a.is("NT")) return set_integer(a, "the path order", c.paths.path_order);
      return set_network_file(c, a, index);
    case 'O':
      if (a.is("OF"))
        return run.extras.check || (run.extras.estimate && !run.extras.estimate_simulate)
                   ? Status::proceed()
                   : open_result_files(c.report.results, a.value());
      if (a.is("OR")) return set_row_name(c, a);
      known = false;
      break;
    case 'P':
      if (a.is("PX")) return set_integer(a, "the maximum number of G-Fabric switchings", c.paths.max_switchings);
      if (a.is("PN")) return set_integer(a, "the minimum number of G-Fabric switchings", c.paths.min_switchings);
      if (a.is("PR")) c.paths.priority_routing = true;
      else known = false;
      break;
    case 'S':
      // -sh and -sc combine: the one given first takes priority in sorting.
      if (a.is("SN")) return set_sink_node(a, c.sink_node);
      if (a.is("SH")) c.paths.sort_mode = c.paths.sort_mode == kSortCost ? kSortCostThenHops : kSortHops;
      else if (a.is("SC")) c.paths.sort_mode = c.paths.sort_mode == kSortHops ? kSortHopsThenCost : kSortCost;
      else if (a.is("SLA")) c.methods.single_la_list = true;
      else return reseed(run, a);
      break;
    case 'T':
      return set_real(a, "the batch time", Real::not_negative, c.sim.batch_time);
    case 'V':
      if (a.is("VI")) c.network.virtual_input = true;
      else if (a.is("VO")) c.sim.virtual_output = true;
      else known = false;
      break;
    default:
      known = false;
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
  const bool helping = help < run.args.size();
  std::vector<std::string> unknown;
  std::string inexact;  // the first option with more after its letters
  for (size_t i = 0; i < help; ++i) {
    bool known = true, exact = true;
    Status s = scan_argument(run, i, known, exact);
    if (!s.ok() && !helping) return s;
    if (!known) unknown.push_back(run.args[i]);
    if (known && !exact && inexact.empty()) inexact = run.args[i];
  }
  if (helping) {
    show_usage(run.out, true);
    run.out.text(long_options_help());
    return Status::finished(Exit::ok);
  }
  // Unknown options are ignored, as they always were, but never silently:
  // a misspelled method would otherwise run as first fit.
  for (const std::string& arg : unknown) {
    if (run.extras.strict) {
      Status refused = Status::error("command line", arg, "unknown option (refused under --strict)");
      refused.exit = Exit::usage;
      return refused;
    }
    std::fputs(Status::error("command line", arg, "unknown option, ignored").message.c_str(), run.err);
  }
  if (run.extras.strict && !inexact.empty()) {
    Status refused = Status::error("command line", inexact,
                                   "more follows the option's letters than its value form allows (refused under "
                                   "--strict)");
    refused.exit = Exit::usage;
    return refused;
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
  MethodOptions& m = c.methods;
  const MethodRow* routing = method_row(m.routing_code);
  const MethodRow* assignment = method_row(m.wa_code);
  const auto both_halves = [](const MethodRow* r) { return r && r->scan == ScanRule::both_halves; };
  if ((both_halves(routing) || both_halves(assignment)) && m.routing_code != m.wa_code)
    return rejected("\nMixed RWA can not be used when using Exaustive Learning Automata\n");
  if (m.routing_code == -1) m.routing_code = kFirstFit;
  if (m.wa_code == -1) m.wa_code = m.routing_code;
  routing = method_row(m.routing_code);
  assignment = method_row(m.wa_code);
  // -ll and -ml assign by first fit; the local-channel methods route like
  // their global counterparts.
  if (assignment->assign_as >= 0) m.wa_code = assignment->assign_as;
  m.routing_code = routing->route_as;
  routing = method_row(m.routing_code);

  const bool sorted = c.paths.sort_mode != kNoSort;
  if (c.paths.priority_routing && !sorted) return rejected("\n-pr Can not be used without -sh or -sc or both.\n");
  if (m.single_la_list && (!c.paths.priority_routing || !routing->single_list))
    return rejected("\n-sla Can not be used without using both -la (for routing) and -pr.\n");
  if (c.paths.path_order != 1 && !sorted) return rejected("\nEither -sh or -sc or both has be used with -n\n");
  if (c.paths.second_path_limit != 0 && !sorted) return rejected("\nEither -sh or -sc or both has be used with -e\n");
  if (assignment->assign_as < 0)
    return rejected(
        "\n-wlcr and -wmcr are routing only algorithms. They can not be used for wavelength assignment. You "
        "should specifiy an other wavelength assignment algorithm.\n");
  if (c.paths.priority_routing && c.paths.all_paths)
    return rejected("\n-pr Can not be used with -a. Priority groups are only built for the generated path lists.\n");
  return Status::proceed();
}

}  // namespace lumtra
