#include "rwa/install.h"

#include <string>

#include "network/token_reader.h"
#include "run/run.h"

namespace lumtra {

Status install_methods(Run& run) {
  run.slots = Slots{};
  const Config& cfg = run.config;
  Status s;
  switch (cfg.routing_code) {
    case kFirstFit:
    case kRandom:
    case kLastFit:
      install_fit_routing(run);
      break;
    case kFastLA:
    case kExhaustiveLA:
    case kDeterministicLA:
      s = install_automata_routing(run);
      break;
    case kMostUsed:
    case kLeastUsed:
      s = install_usage_routing(run);
      break;
    default:  // least/most loaded, weighted least/most congestion
      s = install_load_routing(run);
      break;
  }
  if (!s.ok()) return s;
  switch (cfg.wa_code) {
    case kFirstFit:
    case kRandom:
    case kLastFit:
      install_fit_assign(run);
      break;
    case kFastLA:
    case kExhaustiveLA:
    case kDeterministicLA:
      s = install_automata_assign(run);
      break;
    default:  // most/least used, global or local channels
      s = install_usage_assign(run);
      break;
  }
  return s;
}

namespace {

// One learning-automata constant: asked for when not given on the command
// line; otherwise the file's value is read and discarded. `may_end` lets a
// file that holds neither constant end here.
Status read_constant(Run& run, TokenReader& in, const char* prompt, const char* name,
                     const char* option, double& value, bool may_end) {
  auto item = [name] { return std::string(name); };
  const bool given = value != kRealNotGiven;
  if (!given) {
    run.out.text(prompt);
    if (Status s = in.read_real(item, value); !s.ok()) return s;
  } else if (!in.is_standard_input()) {
    if (may_end && in.at_end()) return Status::proceed();
    double discarded;
    if (Status s = in.read_real(item, discarded); !s.ok()) return s;
  }
  if (!(value >= 0.0 && value <= 1.0)) {
    char shown[64];
    std::snprintf(shown, sizeof shown, "%g", value);
    return Status::error(given ? "command line" : in.source(), given ? option : name,
                         std::string("'") + shown + "' must lie between 0 and 1");
  }
  return Status::proceed();
}

}  // namespace

Status read_la_constants(Run& run, TokenReader& in) {
  Config& cfg = run.config;
  if (!cfg.needs_la_constants()) return Status::proceed();
  const bool both_given = cfg.alpha != kRealNotGiven && cfg.epsilon != kRealNotGiven;
  if (Status s = read_constant(run, in, "Enter 'a' (alpha) value for learning automata: ", "alpha", "-al",
                               cfg.alpha, both_given);
      !s.ok())
    return s;
  if (Status s = read_constant(run, in, "Enter 'e' (epsilon) value for learning automata: ", "epsilon", "-ep",
                               cfg.epsilon, both_given);
      !s.ok())
    return s;
  cfg.one_minus_alpha = 1.0 - cfg.alpha;
  cfg.one_minus_epsilon = 1.0 - cfg.epsilon;
  return Status::proceed();
}

Status prepare_methods(Run& run) {
  if (Status s = prepare_automata(run); !s.ok()) return s;
  if (Status s = prepare_usage(run); !s.ok()) return s;
  return prepare_load(run);
}

void reset_methods(Run& run) {
  reset_automata(run);
  if (run.config.routing_code == kExhaustiveLA) return;
  reset_usage(run);
  reset_load(run);
}

}  // namespace lumtra
