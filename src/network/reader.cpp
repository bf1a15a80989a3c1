#include "network/reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/limits.h"
#include "base/numbers.h"

namespace lumtra {

namespace {

constexpr uint64_t kMaxSlotsPerLink = 4294967295u;  // free_slots is 32-bit

std::string quoted(uint64_t v) {
  std::string q(1, '\'');
  q += std::to_string(v);
  q += '\'';
  return q;
}
std::string shown(uint64_t node) { return std::to_string(node + 1); }
bool is_grooming_point_owner(int16_t type) { return type == kSingleHopGrooming || type == kPartialGrooming; }
const char* kind_word(int16_t type) { return type == kPartialGrooming ? "cores" : "ports"; }
const char* kind_singular(int16_t type) { return type == kPartialGrooming ? "core" : "port"; }

bool accept_probability(double p, const std::string& t, std::string& why) {
  if (p >= 0.0 && p <= 1.0) return true;
  why = "'" + t + "' is not a probability (0 to 1)";
  return false;
}

// Reads the network of one run, prompt by prompt.
class NetworkReader {
 public:
  NetworkReader(TokenReader& in, Console& prompts, const NetworkOptions& options, MemoryBudget& budget, Network& net)
      : net_(net), in_(in), out_(prompts), options_(options), budget_(budget) {}

  Status read(uint32_t node_count) {
    net_ = Network{};
    net_.node_count = node_count;
    if (Status s = check_network_size(budget_, node_count, 0, in_.source(), "number of nodes", quoted(node_count) + " nodes");
        !s.ok())
      return s;
    total_ = node_count;
    net_.nodes.resize(node_count);
    for (uint32_t k = 0; k < node_count; ++k)
      if (Status s = read_node(k); !s.ok()) return s;

    net_.total_nodes = static_cast<uint32_t>(total_);
    net_.capacity.assign(total_ * total_, 0);
    net_.arrival_rates.assign(total_ * total_, 0.0);
    reached = ReadStage::nodes;

    if (Status s = read_slot_values(); !s.ok()) return s;
    reached = ReadStage::slots;
    if (!options_.virtual_input)
      if (Status s = place_port_capacities(); !s.ok()) return s;
    if (Status s = read_capacity_rows(); !s.ok()) return s;
    net_.connect();
    reached = ReadStage::capacities;
    if (Status s = read_rates(); !s.ok()) return s;
    if (!options_.virtual_input) redistribute();
    reached = ReadStage::rates;
    return Status::proceed();
  }

  ReadStage reached = ReadStage::nothing;

 private:
  Status read_node(uint32_t k) {
    out_.text("\nNode ").u64(k + 1).text(" capabilities:\n");
    out_.text("Choose one of the following node types:\n 1. Non Grooming node\n");
    out_.text(" 2. Single-Hop Grooming node\n 3. Multi-Hop Full Grooming node\n");
    out_.text(" 4. Multi-Hop Partial Grooming node\n? ");
    int64_t type = 0;
    if (Status s = in_.read_int([k] { return "type of node " + shown(k); }, kNonGrooming,
                                kPartialGrooming, type);
        !s.ok())
      return s;
    const auto t = static_cast<int16_t>(type);
    const bool owner = is_grooming_point_owner(t);
    out_.text(owner ? "Does the W-Fabric of this node support wavelength conversions (y/n) ? "
                    : "Does this node support wavelength conversions (y/n) ? ");
    char answer = 0;
    if (Status s = in_.read_letter([k] { return "conversion answer of node " + shown(k); }, answer); !s.ok())
      return s;
    Node& node = net_.nodes[k];
    node.type = t;
    node.grooming = t == kFullGrooming;
    node.conversion = answer == 'y';
    if (!owner) return Status::proceed();

    const std::string kind = kind_word(t);
    out_.text(t == kSingleHopGrooming ? "How many grooming ports are attached to this node ? "
                                      : "How many grooming cores (G-Fabric) are attached to this node ? ");
    auto count_item = [k, &kind] { return "number of grooming " + kind + " of node " + shown(k); };
    uint32_t count = 0;
    if (Status s = in_.read_u32(count_item, count); !s.ok()) return s;
    const uint64_t grown = total_ + count;
    if (Status s = check_network_size(budget_, grown, 0, in_.source(), count_item(),
                                      quoted(count) + " grooming " + kind + " bring the network to " +
                                          std::to_string(grown) + " nodes, which");
        !s.ok())
      return s;

    Node entered = std::move(node);
    entered.virtual_count = count;
    if (!options_.virtual_input)
      if (Status s = read_port_values(k, entered); !s.ok()) return s;

    net_.nodes.resize(grown);
    out_.text("Virtual node(s):");
    entered.virtual_nodes.resize(count);
    for (uint32_t j = 0; j < count; ++j) {
      const auto v = static_cast<uint32_t>(total_ + j);
      entered.virtual_nodes[j] = v;
      Node& port = net_.nodes[v];
      port.conversion = true;
      port.grooming = true;
      out_.text(" ").u64(uint64_t(v) + 1);
    }
    out_.text(" are created and attached to node ").u64(k + 1).text("\n");
    net_.nodes[k] = std::move(entered);
    total_ = grown;
    return Status::proceed();
  }

  // Port/core capacities and the two probabilities of an owner node (the
  // capacities are placed in the matrix once it exists).
  Status read_port_values(uint32_t k, Node& node) {
    const std::string kind = kind_word(node.type);
    const std::string one = kind_singular(node.type);
    const uint32_t count = node.virtual_count;
    out_.text("Enter INCOMING link capacities on fibers from node ").u64(k + 1);
    out_.text(" to the grooming ").text(kind).text(": \n");
    node.port_in_capacity.resize(count);
    for (uint32_t j = 0; j < count; ++j) {
      auto item = [&] { return "incoming capacity from node " + shown(k) + " to grooming " + one + " " + shown(j); };
      if (Status s = read_capacity(item, node.port_in_capacity[j]); !s.ok()) return s;
    }
    out_.text("Enter OUTGOING link capacities on fibers from the grooming ").text(kind);
    out_.text(" to node ").u64(k + 1).text("\n");
    node.port_out_capacity.resize(count);
    for (uint32_t j = 0; j < count; ++j) {
      auto item = [&] { return "outgoing capacity from grooming " + one + " " + shown(j) + " to node " + shown(k); };
      if (Status s = read_capacity(item, node.port_out_capacity[j]); !s.ok()) return s;
    }
    out_.text("Enter the probability that an incoming call will terminate at the grooming ").text(kind).text(": ");
    if (Status s = in_.read_real([k] { return "terminate probability of node " + shown(k); },
                                 node.end_at_grooming, accept_probability);
        !s.ok())
      return s;
    out_.text("Enter the probability that an outgoing call will start from the grooming ").text(kind).text(": ");
    return in_.read_real([k] { return "start probability of node " + shown(k); }, node.start_at_grooming,
                         accept_probability);
  }

  template <class Name>
  Status read_capacity(Name&& item, uint32_t& out) {
    int64_t c = 0;
    Status s = in_.read_int(item, 0, kMaxSlotsPerLink, c);
    out = static_cast<uint32_t>(c);
    return s;
  }

  Status read_slot_values() {
    Network& n = net_;
    out_.text("Enter Maximum Number of Time Slots in Each Wavelength: ");
    Status s = in_.read_u32([] { return std::string("slots per wavelength"); }, n.slots_per_wavelength,
                            [](uint32_t v, const std::string& t, std::string& why) {
                              if (v != 0) return true;
                              why = "'" + t + "': a wavelength needs at least one time slot";
                              return false;
                            });
    if (!s.ok()) return s;
    out_.text("Enter Minimum Number of Time Slots a call can consume: ");
    s = in_.read_u32([] { return std::string("minimum call slots"); }, n.min_call_slots);
    if (!s.ok()) return s;
    out_.text("Enter Maximum Number of Time Slots a call can consume: ");
    s = in_.read_u32([] { return std::string("maximum call slots"); }, n.max_call_slots,
                     [&n](uint32_t v, const std::string& t, std::string& why) {
                       if (v < n.min_call_slots) {
                         why = "'" + t + "' is less than the minimum call slots " + std::to_string(n.min_call_slots);
                         return false;
                       }
                       if (n.min_call_slots == 0 && v == UINT32_MAX) {
                         why = "'" + t + "' with a minimum of 0 gives 4294967296 call sizes, more than 4294967295";
                         return false;
                       }
                       return true;
                     });
    if (!s.ok()) return s;
    n.call_size_count = n.max_call_slots - n.min_call_slots + 1;
    return Status::proceed();
  }

  // Stores one fibre's wavelengths after checking that its time slots fit a
  // link's 32-bit count and that all channels so far fit the machine.
  template <class Name>
  Status store_capacity(uint32_t u, uint32_t v, uint32_t wavelengths, Name&& item) {
    const uint64_t slots = uint64_t(wavelengths) * net_.slots_per_wavelength;
    if (slots > kMaxSlotsPerLink)
      return Status::error(in_.source(), item(),
                           quoted(wavelengths) + " wavelengths of " + std::to_string(net_.slots_per_wavelength) +
                               " time slots make " + std::to_string(slots) + " slots on one fibre, more than " +
                               std::to_string(kMaxSlotsPerLink));
    const uint64_t before = net_.capacity[net_.at(u, v)];
    channels_ = channels_ - before + wavelengths;  // cannot wrap: each entry is below 2^32, pairs below 2^32
    if (!network_size_fits(budget_, total_, channels_))
      return check_network_size(budget_, total_, channels_, in_.source(), item(),
                                quoted(wavelengths) + " wavelengths bring the network to " +
                                    std::to_string(channels_) + " wavelength channels, which");
    net_.capacity[net_.at(u, v)] = wavelengths;
    return Status::proceed();
  }

  Status place_port_capacities() {
    for (uint32_t k = 0; k < net_.node_count; ++k) {
      Node& node = net_.nodes[k];
      const std::string one = kind_singular(node.type);
      for (uint32_t j = 0; j < node.virtual_count; ++j) {
        const uint32_t v = node.virtual_nodes[j];
        Status s = store_capacity(v, k, node.port_out_capacity[j], [&] {
          return "outgoing capacity from grooming " + one + " " + shown(j) + " to node " + shown(k);
        });
        if (!s.ok()) return s;
        s = store_capacity(k, v, node.port_in_capacity[j], [&] {
          return "incoming capacity from node " + shown(k) + " to grooming " + one + " " + shown(j);
        });
        if (!s.ok()) return s;
      }
      node.port_in_capacity = {};
      node.port_out_capacity = {};
    }
    return Status::proceed();
  }

  Status read_capacity_rows() {
    const auto t = static_cast<uint32_t>(total_);
    const uint32_t columns = options_.virtual_input ? t : net_.node_count;
    for (uint32_t u = 0; u < t; ++u) {
      out_.text("Enter all capacities on fiber links from node ").u64(uint64_t(u) + 1).text(" (Ex: 4 0 3 1): ");
      if (u >= columns) continue;  // a Virtual node row without -vi: nothing to read
      for (uint32_t v = 0; v < columns; ++v) {
        auto item = [u, v] { return "capacity from node " + shown(u) + " to node " + shown(v); };
        uint32_t c = 0;
        if (Status s = read_capacity(item, c); !s.ok()) return s;
        if (u == v) continue;  // typed but never a fibre
        if (Status s = store_capacity(u, v, c, item); !s.ok()) return s;
      }
    }
    return Status::proceed();
  }

  Status read_rates() {
    const uint32_t rows = options_.virtual_input ? net_.total_nodes : net_.node_count;
    const double scale = options_.rate_scale();
    for (uint32_t u = 0; u < rows; ++u) {
      out_.text("Enter Arrival rates from node ").u64(uint64_t(u) + 1).text(" to other nodes: ");
      for (uint32_t v = 0; v < rows; ++v) {
        auto accept = [&](double r, const std::string& t, std::string& why) {
          if (!(r >= 0.0)) {
            why = "'" + t + "' is negative";
            return false;
          }
          if (u != v && !std::isfinite(r * scale)) {
            why = "'" + t + "' times the rate scale " + real_text(scale) + " is not a finite number";
            return false;
          }
          return true;
        };
        double r = 0.0;
        Status s = in_.read_real([u, v] { return "arrival rate from node " + shown(u) + " to node " + shown(v); },
                                 r, accept);
        if (!s.ok()) return s;
        net_.arrival_rates[net_.at(u, v)] = u == v ? 0.0 : r * scale;
      }
    }
    return Status::proceed();
  }

  // Without -vi the Virtual nodes take their share of the traffic: first the
  // calls that start at a node's ports/cores, then (over every node, so the
  // moved traffic is split again) the calls that terminate there.
  void redistribute() {
    std::vector<double>& rate = net_.arrival_rates;
    const uint32_t n = net_.node_count;
    const uint32_t t = net_.total_nodes;
    for (uint32_t u = 0; u < n; ++u) {
      const Node& owner = net_.nodes[u];
      if (owner.virtual_count == 0) continue;
      for (uint32_t v = 0; v < n; ++v) {
        double& r = rate[net_.at(u, v)];
        const double share = r * owner.start_at_grooming / owner.virtual_count;
        for (uint32_t x : owner.virtual_nodes) rate[net_.at(x, v)] = share;
        r -= r * owner.start_at_grooming;
      }
    }
    for (uint32_t u = 0; u < t; ++u) {
      for (uint32_t v = 0; v < n; ++v) {
        const Node& owner = net_.nodes[v];
        if (owner.virtual_count == 0) continue;
        double& r = rate[net_.at(u, v)];
        const double share = r * owner.end_at_grooming / owner.virtual_count;
        for (uint32_t y : owner.virtual_nodes) rate[net_.at(u, y)] = share;
        r -= r * owner.end_at_grooming;
      }
    }
  }

  Network& net_;
  TokenReader& in_;
  Console& out_;
  const NetworkOptions& options_;
  MemoryBudget& budget_;
  uint64_t total_ = 0;     // T so far
 public:
  uint64_t channels() const { return channels_; }

 private:
  uint64_t channels_ = 0;  // wavelength channels of every fibre so far
};

}  // namespace

Status read_network(TokenReader& in, Console& prompts, const NetworkOptions& options, MemoryBudget& budget,
                    uint32_t node_count, Network& net, ReadStage* reached) {
  NetworkReader reader(in, prompts, options, budget, net);
  Status s = reader.read(node_count);
  if (reached) *reached = reader.reached;
  if (!s.ok()) return s;
  return budget.admit(network_bytes(net.total_nodes, reader.channels()), in.source(),
                      "network", "the network's tables");
}

Status read_batch_values(TokenReader& in, Console& prompts, uint32_t& batch_count, double& batch_time) {
  auto batches = [] { return std::string("number of batches"); };
  if (batch_count == 0) {
    prompts.text("Enter Number of Batches: ");
    Status s = in.read_u32(batches, batch_count, [](uint32_t v, const std::string& t, std::string& why) {
      if (v != 0) return true;
      why = "'" + t + "': at least one batch is needed";
      return false;
    });
    if (!s.ok()) return s;
  } else if (!in.is_standard_input()) {
    uint32_t ignored = 0;
    if (Status s = in.read_u32(batches, ignored); !s.ok()) return s;
  }

  auto time = [] { return std::string("batch time"); };
  if (batch_time == 0.0) {
    prompts.text("Enter Total Time of each batch: ");
    return in.read_real(time, batch_time, [](double v, const std::string& t, std::string& why) {
      if (v > 0.0) return true;
      why = "'" + t + "' is not a positive time";
      return false;
    });
  }
  if (!in.is_standard_input()) {
    double ignored = 0.0;
    return in.read_real(time, ignored);
  }
  return Status::proceed();
}

namespace {

// One learning-automata constant: asked for when not given on the command
// line; otherwise the file's value is read and discarded. `may_end` lets a
// file that holds neither constant end here.
Status read_constant(TokenReader& in, Console& prompts, const char* prompt, const char* name, const char* option,
                     double& value, bool may_end) {
  auto item = [name] { return std::string(name); };
  const bool given = value != kRealNotGiven;
  if (!given) {
    prompts.text(prompt);
    if (Status s = in.read_real(item, value); !s.ok()) return s;
  } else if (!in.is_standard_input()) {
    if (may_end && in.at_end()) return Status::proceed();
    double discarded;
    if (Status s = in.read_real(item, discarded); !s.ok()) return s;
  }
  if (!(value >= 0.0 && value <= 1.0)) {
    std::string problem(1, '\'');
    problem.append(real_text(value)).append("' must lie between 0 and 1");
    return Status::error(given ? "command line" : in.source(), given ? option : name, problem);
  }
  return Status::proceed();
}

}  // namespace

Status read_la_constants(TokenReader& in, Console& prompts, double& alpha, double& epsilon) {
  const bool both_given = alpha != kRealNotGiven && epsilon != kRealNotGiven;
  if (Status s = read_constant(in, prompts, "Enter 'a' (alpha) value for learning automata: ", "alpha", "-al", alpha,
                               both_given);
      !s.ok())
    return s;
  return read_constant(in, prompts, "Enter 'e' (epsilon) value for learning automata: ", "epsilon", "-ep", epsilon,
                       both_given);
}

}  // namespace lumtra
