#include "run/check.h"

#include <cmath>
#include <string>
#include <vector>

#include "base/numbers.h"
#include "network/lengths.h"
#include "paths/enumerate.h"

namespace lumtra {

namespace {

constexpr size_t kShown = 10;  // pairs or nodes listed before "and N more"

// The first few items, each after `prefix`, and how many more there are;
// then the end of the line.
void first_items(Console& out, const std::vector<std::string>& items, const char* prefix) {
  for (size_t i = 0; i < items.size() && i < kShown; ++i) out.text(i ? ", " : "").text(prefix).text(items[i]);
  if (items.size() > kShown) out.text(", and ").u64(items.size() - kShown).text(" more");
  out.ch('\n');
}

// "none", or the count of pairs and the first few.
void list_line(Console& out, const char* title, const std::vector<std::string>& items) {
  out.text(title).text(": ");
  if (items.empty()) {
    out.text("none\n");
    return;
  }
  out.u64(items.size()).text(items.size() == 1 ? " pair: " : " pairs: ");
  first_items(out, items, "");
}

std::string pair_name(uint32_t u, uint32_t v) { return std::to_string(u + 1) + "-" + std::to_string(v + 1); }

void describe_nodes(Console& out, const Network& net) {
  static const char* const kTypes[] = {"non grooming", "single-hop grooming", "full grooming", "partial grooming"};
  uint64_t count[4] = {0, 0, 0, 0};
  for (uint32_t k = 0; k < net.node_count; ++k)
    if (net.nodes[k].type >= 1 && net.nodes[k].type <= 4) ++count[net.nodes[k].type - 1];
  out.text("Nodes: ").u64(net.node_count).text(" (");
  const char* separator = "";
  for (int t = 0; t < 4; ++t)
    if (count[t]) {
      out.text(separator).u64(count[t]).ch(' ').text(kTypes[t]);
      separator = ", ";
    }
  const uint32_t virtual_nodes = net.total_nodes - net.node_count;
  out.text("), ");
  if (virtual_nodes == 0)
    out.text("no Virtual nodes\n");
  else
    out.u64(virtual_nodes).text(" Virtual nodes for grooming ports and cores\n");
}

void describe_conversion(Console& out, const Network& net) {
  std::vector<std::string> converting;
  for (uint32_t k = 0; k < net.node_count; ++k)
    if (net.nodes[k].conversion) converting.push_back(std::to_string(k + 1));
  out.text("Converting nodes: ");
  if (converting.empty()) {
    out.text("none\n");
    return;
  }
  out.u64(converting.size()).text(" of ").u64(net.node_count).text(": ");
  first_items(out, converting, "");
}

// With fibre lengths: the longest and the mean least length between real
// nodes that reach each other.
void describe_lengths(Console& out, const Network& net) {
  const LengthDistances dist = length_distances(net);
  int64_t longest = -1, sum = 0;
  uint64_t pairs = 0;
  std::string longest_pair;
  for (uint32_t s = 0; s < net.node_count; ++s)
    for (uint32_t d = 0; d < net.node_count; ++d) {
      const int64_t m = dist(s, d);
      if (s == d || m == kNoRoute) continue;
      ++pairs;
      sum += m;
      if (m > longest) {
        longest = m;
        longest_pair = pair_name(s, d);
      }
    }
  out.text("Shortest paths by fibre length: ");
  if (pairs == 0) {
    out.text("none\n");
    return;
  }
  out.text("longest ").text(km_text(longest)).text(" km (").text(longest_pair).text("), mean ");
  out.text(km_text(std::llround(double(sum) / double(pairs)))).text(" km over ").u64(pairs).text(" pairs\n");
}

void describe_fibres(Console& out, const Network& net) {
  const uint32_t t = net.total_nodes;
  uint64_t fibres = 0, wavelengths = 0;
  uint32_t fewest = 0, most = 0;
  std::vector<std::string> uneven;
  for (uint32_t u = 0; u < t; ++u)
    for (uint32_t v = 0; v < t; ++v) {
      const uint32_t c = net.capacity[net.at(u, v)], back = net.capacity[net.at(v, u)];
      if (u < v && back != c)
        uneven.push_back(pair_name(u, v) + " (" + std::to_string(c) + " and " + std::to_string(back) + ")");
      if (u == v || c == 0) continue;
      fewest = fibres == 0 ? c : std::min(fewest, c);
      most = std::max(most, c);
      ++fibres;
      wavelengths += c;
    }
  out.text("Fibres: ").u64(fibres).text(" one-way fibres");
  if (fibres) {
    out.text(" of ").u64(fewest);
    if (fewest != most) out.text(" to ").u64(most);
  }
  out.text(" wavelengths, ").u64(wavelengths).text(" wavelengths in all\n");
  out.text("Time slots: ").u64(net.slots_per_wavelength).text(" per wavelength, calls of ").u64(net.min_call_slots);
  out.text(" to ").u64(net.max_call_slots).text(" slots\n");
  list_line(out, "Capacities that differ between the two directions", uneven);
}

// Arrival rates between real nodes, the traffic of every Virtual node
// counted for its own node, as the network file gives them (scaled).
double folded_rate(const Network& net, uint32_t i, uint32_t j) {
  double sum = 0.0;
  auto add_from = [&](uint32_t x) {
    sum += net.arrival_rates[net.at(x, j)];
    for (uint32_t y : net.nodes[j].virtual_nodes) sum += net.arrival_rates[net.at(x, y)];
  };
  add_from(i);
  for (uint32_t x : net.nodes[i].virtual_nodes) add_from(x);
  return sum;
}

void describe_traffic(Console& out, const Network& net, const SimOptions& sim) {
  const uint32_t n = net.node_count;
  std::vector<std::string> uneven, local;
  for (uint32_t i = 0; i < n; ++i) {
    const double self = folded_rate(net, i, i);
    if (self != 0.0) local.push_back(std::to_string(i + 1) + " (" + real_text(self) + ")");
    for (uint32_t j = i + 1; j < n; ++j) {
      const double there = folded_rate(net, i, j), back = folded_rate(net, j, i);
      if (there != back) uneven.push_back(pair_name(i, j) + " (" + real_text(there) + " and " + real_text(back) + ")");
    }
  }
  list_line(out, "Arrival rates that differ between the two directions", uneven);
  out.text("Arrival rates from a node to itself: ");
  if (local.empty())
    out.text("none\n");
  else
    first_items(out, local, "node ");
  double total = 0.0;
  for (double r : net.arrival_rates) total += r;
  out.text("Offered load: ").real("%g", total / sim.departure_rate).text(" Erlangs (").real("%g", total);
  out.text(" calls per time unit, mean holding time ").real("%g", 1.0 / sim.departure_rate).text(")\n");
  if (sim.batch_count) out.text("Batches: ").u64(sim.batch_count).text(" of ").real("%g", sim.batch_time).text(" time units\n");
}

}  // namespace

Status check_network(Run& run) {
  Console& out = run.out;
  out.set_muted(true);  // no prompts
  Status status = read_source(run);
  out.set_muted(false);
  out.text("Network check: ").text(run.source.empty() ? run.config.network_file : run.source).ch('\n');
  const Network& net = run.net;
  if (run.reached >= ReadStage::nodes) describe_nodes(out, net);
  if (run.reached >= ReadStage::capacities) describe_fibres(out, net);
  if (run.reached >= ReadStage::nodes) describe_conversion(out, net);
  if (run.reached >= ReadStage::rates) describe_traffic(out, net, run.config.sim);

  std::vector<std::pair<uint32_t, uint32_t>> missing;
  if (status.ok()) status = build_paths(run, missing);
  if (status.ok() && !net.link_metres.empty()) describe_lengths(out, net);
  if (status.ok()) {
    uint64_t pairs = 0;
    for (const PathList& l : run.paths.lists) pairs += l.count > 0;
    out.text("Candidate paths: ").u64(run.paths.paths.size()).text(" for ").u64(pairs).text(" node pairs\n");
    std::vector<std::string> names;
    for (const auto& [s, d] : missing) names.push_back(pair_name(s, d));
    list_line(out, "Pairs with traffic but no candidate path", names);
    if (!missing.empty()) status = no_candidate_path(run, missing.front());
  }
  if (status.ok()) {
    out.text("The network can run.\n");
    return Status::finished(Exit::ok);
  }
  out.text("The network cannot run: see the message on standard error.\n");
  return status;
}

}  // namespace lumtra
