#include "report/observed.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace lumtra {

namespace {

constexpr size_t kBottlenecks = 10;  // fibres the JSON document names as most charged
constexpr size_t kShown = 5;         // fibres of each list in --summary

double share(double part, double whole) { return whole > 0.0 ? part / whole : 0.0; }

// The fibre's share of its capacity busy on average, in time slots (the
// same as in wavelengths where calls take whole wavelengths).
double load(const FibreView& f, uint32_t slots_per_wavelength) {
  return share(f.busy_slots, double(f.wavelengths) * slots_per_wavelength);
}

std::string fibre_label(const FibreView& f, const NodeNames& names) {
  return names.label(f.source) + " -> " + names.label(f.destination);
}

std::string percent(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %%", 100.0 * x);
  return text;
}

void node_fields(JsonWriter& j, const char* number_key, const char* name_key, uint32_t number,
                 const NodeNames& names) {
  j.key(number_key).num(uint64_t(number));
  const std::string& name = names.name(number);
  j.key(name_key);
  name.empty() ? j.null() : j.str(name);
}

void causes_object(JsonWriter& j, const std::array<uint64_t, kCauseCount>& causes) {
  j.open('{');
  for (size_t k = 0; k < kCauseCount; ++k) j.key(cause_key(k)).num(causes[k]);
  j.close('}');
}

void fibre_object(JsonWriter& j, const FibreView& f, const NodeNames& names, uint64_t blocked) {
  j.open('{');
  node_fields(j, "source", "source_name", f.source, names);
  node_fields(j, "destination", "destination_name", f.destination, names);
  j.key("wavelengths").num(uint64_t(f.wavelengths));
  j.key("mean_busy_wavelengths").num(f.busy_wavelengths);
  j.key("mean_busy_slots").num(f.busy_slots);
  j.key("charged").num(f.charged);
  j.key("charged_share").num(share(double(f.charged), double(blocked)));
  j.close('}');
}

}  // namespace

ObservedView view_observations(const Observations& obs, const Network& net, bool virtual_output) {
  ObservedView v;
  v.slots_per_wavelength = net.slots_per_wavelength;
  v.counted_time = obs.counted_time;
  const uint32_t t = net.total_nodes;
  const double time = obs.counted_time;
  for (uint32_t u = 0; u < t; ++u)
    for (uint32_t w = 0; w < t; ++w) {
      const size_t link = net.at(u, w);
      if (u == w || net.capacity[link] == 0) continue;
      v.fibres.push_back({u + 1, w + 1, net.capacity[link], share(obs.wavelength_time[link], time),
                          share(obs.slot_time[link], time), obs.charges[link]});
    }
  for (double x : obs.index_time) v.busy_fibres.push_back(share(x, time));

  // The reported node of every node: itself, or without -vo the real node
  // a Virtual node belongs to.
  const uint32_t m = virtual_output ? t : net.node_count;
  std::vector<uint32_t> owner(t);
  for (uint32_t x = 0; x < t; ++x) owner[x] = x;
  if (!virtual_output)
    for (uint32_t i = 0; i < net.node_count; ++i)
      for (uint32_t x : net.nodes[i].virtual_nodes) owner[x] = i;
  std::vector<PairView> pairs(size_t(m) * m);
  std::vector<double> rates(size_t(m) * m, 0.0), carried(size_t(m) * m, 0.0), hops(size_t(m) * m, 0.0);
  for (uint32_t x = 0; x < t; ++x)
    for (uint32_t y = 0; y < t; ++y) {
      const size_t raw = net.at(x, y), folded = size_t(owner[x]) * m + owner[y];
      for (size_t k = 0; k < kCauseCount; ++k) pairs[folded].causes[k] += obs.causes[raw][k];
      rates[folded] += net.arrival_rates[raw];
      carried[folded] += obs.carried_time[raw];
      hops[folded] += obs.hop_time[raw];
    }
  for (uint32_t i = 0; i < m; ++i)
    for (uint32_t j = 0; j < m; ++j) {
      const size_t k = size_t(i) * m + j;
      PairView& p = pairs[k];
      p.source = i + 1;
      p.destination = j + 1;
      for (uint64_t c : p.causes) p.blocked += c;
      p.carried_erlangs = share(carried[k], time);
      p.hop_erlangs = share(hops[k], time);
      if ((virtual_output && i == j) || (rates[k] == 0.0 && p.blocked == 0 && carried[k] == 0.0)) continue;
      for (size_t c = 0; c < kCauseCount; ++c) v.causes[c] += p.causes[c];
      v.blocked += p.blocked;
      v.pairs.push_back(p);
    }

  for (uint32_t k = 0; k < v.fibres.size(); ++k) {
    v.busiest.push_back(k);
    if (v.fibres[k].charged) v.most_charged.push_back(k);
  }
  const uint32_t spw = v.slots_per_wavelength;
  std::stable_sort(v.busiest.begin(), v.busiest.end(),
                   [&](uint32_t a, uint32_t b) { return load(v.fibres[a], spw) > load(v.fibres[b], spw); });
  std::stable_sort(v.most_charged.begin(), v.most_charged.end(),
                   [&](uint32_t a, uint32_t b) { return v.fibres[a].charged > v.fibres[b].charged; });
  return v;
}

void print_observed(Console& out, const ObservedView& v, const NodeNames& names) {
  out.text("Blocked by cause: ");
  for (size_t k = 0; k < kCauseCount; ++k) out.text(k ? ", " : "").u64(v.causes[k]).ch(' ').text(cause_text(k));
  out.text("\nBusiest fibres (time-averaged share of their slots in use):");
  for (size_t k = 0; k < v.busiest.size() && k < kShown; ++k) {
    const FibreView& f = v.fibres[v.busiest[k]];
    out.text("\n  ").text(fibre_label(f, names)).text(": ").text(percent(load(f, v.slots_per_wavelength)));
    out.text(", ").real("%.3g", f.busy_wavelengths).text(" of ").u64(f.wavelengths).text(" wavelengths busy");
  }
  out.text("\nFibres most often out of wavelengths (share of blocked calls):");
  if (v.most_charged.empty()) out.text(" none");
  for (size_t k = 0; k < v.most_charged.size() && k < kShown; ++k) {
    const FibreView& f = v.fibres[v.most_charged[k]];
    out.text("\n  ").text(fibre_label(f, names)).text(": ").text(percent(share(double(f.charged), double(v.blocked))));
    out.text(" (").u64(f.charged).text(" calls)");
  }
  out.ch('\n');
}

void write_observed_json(JsonWriter& j, const ObservedView& v, const NodeNames& names, JsonDetail detail) {
  j.key("blocking_causes");
  causes_object(j, v.causes);
  j.key("bottlenecks").open('[');
  for (size_t k = 0; k < v.most_charged.size() && k < kBottlenecks; ++k)
    fibre_object(j, v.fibres[v.most_charged[k]], names, v.blocked);
  j.close(']');
  j.key("utilisation").open('{');
  j.key("counted_time").num(v.counted_time);
  double wavelengths = 0.0, slots = 0.0, erlangs = 0.0, hop_erlangs = 0.0;
  for (const FibreView& f : v.fibres) {
    wavelengths += f.busy_wavelengths;
    slots += f.busy_slots;
  }
  for (const PairView& p : v.pairs) {
    erlangs += p.carried_erlangs;
    hop_erlangs += p.hop_erlangs;
  }
  j.key("mean_busy_wavelengths").num(wavelengths);
  j.key("mean_busy_slots").num(slots);
  j.key("carried_erlangs").num(erlangs);
  j.key("carried_hop_erlangs").num(hop_erlangs);
  if (detail == JsonDetail::full) {
    j.key("fibres").open('[');
    for (const FibreView& f : v.fibres) fibre_object(j, f, names, v.blocked);
    j.close(']');
    j.key("wavelengths").open('[');
    for (double x : v.busy_fibres) j.num(x);
    j.close(']');
  }
  j.close('}');
  if (detail == JsonDetail::summary) return;
  j.key("pair_observations").open('[');
  for (const PairView& p : v.pairs) {
    j.open('{');
    node_fields(j, "source", "source_name", p.source, names);
    node_fields(j, "destination", "destination_name", p.destination, names);
    j.key("blocked").num(p.blocked);
    j.key("causes");
    causes_object(j, p.causes);
    j.key("carried_erlangs").num(p.carried_erlangs);
    j.key("mean_hops");
    p.carried_erlangs > 0.0 ? j.num(p.hop_erlangs / p.carried_erlangs) : j.null();
    j.close('}');
  }
  j.close(']');
}

void write_node_names(JsonWriter& j, const NodeNames& names, uint32_t node_count) {
  j.key("node_names");
  if (names.empty()) return j.null();
  j.open('[');
  for (uint32_t k = 1; k <= node_count; ++k) {
    const std::string& name = names.name(k);
    name.empty() ? j.null() : j.str(name);
  }
  j.close(']');
}

void write_unobserved_json(JsonWriter& j, const NodeNames& names, uint32_t node_count) {
  for (const char* key : {"blocking_causes", "bottlenecks", "utilisation", "pair_observations"}) j.key(key).null();
  write_node_names(j, names, node_count);
}

Status ObservedTable::open(const std::string& path) {
  path_ = path;
  return file_.open(path, "report table");
}

Status ObservedTable::write(const ObservedView& v, const NodeNames& names) {
  std::FILE* f = file_.stream();
  // Names go in quotes, their quotes doubled, so that commas in them stay.
  auto quoted = [&](uint32_t node) {
    std::fputc('"', f);
    for (char c : names.name(node)) {
      if (c == '"') std::fputc('"', f);
      std::fputc(c, f);
    }
    std::fputc('"', f);
  };
  auto row = [&](const char* table, uint32_t s, uint32_t d, const char* measure, double value) {
    std::fprintf(f, "%s,%u,", table, s);
    quoted(s);
    std::fprintf(f, ",%u,", d);
    quoted(d);
    std::fprintf(f, ",%s,%.17g\n", measure, value);
  };
  std::fputs("table,source,source_name,destination,destination_name,measure,value\n", f);
  for (const FibreView& x : v.fibres) {
    row("fibre", x.source, x.destination, "wavelengths", x.wavelengths);
    row("fibre", x.source, x.destination, "mean_busy_wavelengths", x.busy_wavelengths);
    row("fibre", x.source, x.destination, "mean_busy_slots", x.busy_slots);
    row("fibre", x.source, x.destination, "charged", double(x.charged));
  }
  for (const PairView& p : v.pairs) {
    row("pair", p.source, p.destination, "blocked", double(p.blocked));
    for (size_t k = 0; k < kCauseCount; ++k) row("pair", p.source, p.destination, cause_key(k), double(p.causes[k]));
    row("pair", p.source, p.destination, "carried_erlangs", p.carried_erlangs);
    if (p.carried_erlangs > 0.0) row("pair", p.source, p.destination, "mean_hops", p.hop_erlangs / p.carried_erlangs);
  }
  if (std::ferror(f)) return Status::error(path_, "report table", std::string("cannot be written: ") + std::strerror(errno));
  return file_.commit();
}

}  // namespace lumtra
