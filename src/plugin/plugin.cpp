#include "plugin/plugin.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "base/sha256.h"
#include "rwa/placement.h"

namespace lumtra {

// The plug-in reads the lane's links in place.
static_assert(sizeof(lumtra_link_state) == sizeof(Link));
static_assert(offsetof(lumtra_link_state, wavelengths) == offsetof(Link, capacity));
static_assert(offsetof(lumtra_link_state, low) == offsetof(Link, low));
static_assert(offsetof(lumtra_link_state, high_end) == offsetof(Link, high_end));
static_assert(offsetof(lumtra_link_state, free_slots) == offsetof(Link, free_slots));
static_assert(offsetof(lumtra_link_state, slots_offset) == offsetof(Link, channels));
static_assert(offsetof(lumtra_link_state, mask_offset) == offsetof(Link, free_mask));

namespace {

std::string node_text(uint32_t v) { return std::to_string(v + 1); }

std::string time_text(double t) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", t);
  return text;
}

}  // namespace

// ---- LoadedPlugin ----------------------------------------------------------

LoadedPlugin::~LoadedPlugin() {
  if (library_) dlclose(library_);
}

std::string LoadedPlugin::source() const {
  return "plug-in " + identity_.name + " (" + identity_.file + ")";
}

Status LoadedPlugin::check_table(const std::string& where) {
  const lumtra_plugin& t = *table_;
  if (t.api_version != LUMTRA_PLUGIN_API_VERSION)
    return Status::error(where, "plug-in",
                         "built for plug-in interface version " + std::to_string(t.api_version) +
                             ", but this program has version " + std::to_string(LUMTRA_PLUGIN_API_VERSION) +
                             "; rebuild it against this program's lumtra/plugin.h");
  const char* missing = !t.create ? "create" : !t.destroy ? "destroy" : !t.assign ? "assign" : nullptr;
  if (missing) return Status::error(where, "plug-in", std::string("its table has no ") + missing + " callback");
  if (t.role != LUMTRA_ASSIGNS && t.role != LUMTRA_ROUTES_AND_ASSIGNS)
    return Status::error(where, "plug-in",
                         "role " + std::to_string(t.role) + " is neither LUMTRA_ASSIGNS nor LUMTRA_ROUTES_AND_ASSIGNS");
  identity_.name = t.name ? t.name : "";
  identity_.version = t.version ? t.version : "";
  return Status::proceed();
}

Status LoadedPlugin::load(const std::string& value, const PluginHooks& hooks) {
  const size_t colon = value.find(':');
  const std::string file = value.substr(0, colon);
  identity_.file = file;
  identity_.arguments = colon == std::string::npos ? std::string() : value.substr(colon + 1);
  if (file.empty()) return Status::error("command line", "--plugin:" + value, "a file name must follow --plugin:");
  for (const InProcessPlugin& h : hooks.plugins) {
    if (h.name != file) continue;
    if (!h.table) return Status::error(file, "in-process plug-in", "the embedding program gave no table");
    table_ = h.table;
    user_ = h.user;
    return check_table(file);
  }
  struct stat st {};
  if (stat(file.c_str(), &st) != 0)
    return Status::error(file, "plug-in", std::string("cannot be opened: ") + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return Status::error(file, "plug-in", "is not a file");
  if (Status s = sha256_file(file, "plug-in", identity_.sha256); !s.ok()) return s;
  // A name without a slash would be looked up on the library path.
  const std::string path = file.find('/') == std::string::npos ? "./" + file : file;
  library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library_) {
    const char* why = dlerror();
    return Status::error(file, "plug-in", std::string("not a shared object that can be loaded: ") + (why ? why : "?"));
  }
  void* entry = dlsym(library_, LUMTRA_PLUGIN_ENTRY_NAME);
  if (!entry)
    return Status::error(file, "plug-in",
                         "has no entry point " LUMTRA_PLUGIN_ENTRY_NAME
                         " (export: const lumtra_plugin *" LUMTRA_PLUGIN_ENTRY_NAME "(void))");
  table_ = reinterpret_cast<lumtra_plugin_entry_fn>(entry)();
  if (!table_) return Status::error(file, "plug-in", LUMTRA_PLUGIN_ENTRY_NAME " returned no table");
  return check_table(file);
}

uint64_t LoadedPlugin::facts_bytes(const Network& net, const PathTable& table) {
  const uint64_t pairs = uint64_t(net.total_nodes) * net.total_nodes;
  return pairs * (sizeof(lumtra_fibre) + sizeof(uint32_t) + sizeof(lumtra_pair)) +
         table.paths.size() * sizeof(lumtra_path) + table.hop_data.size() * sizeof(lumtra_hop);
}

void LoadedPlugin::describe(const Network& net, const PathTable& table, const MethodOptions& methods) {
  const uint32_t t = net.total_nodes;
  std::vector<uint32_t> fibre_of(size_t(t) * t, 0);
  fibres_.clear();
  for (uint32_t u = 0; u < t; ++u)
    for (uint32_t v = 0; v < t; ++v)
      if (const uint32_t w = net.capacity[net.at(u, v)]; w != 0) {
        fibre_of[net.at(u, v)] = static_cast<uint32_t>(fibres_.size());
        fibres_.push_back({u, v, w, static_cast<uint32_t>(net.at(u, v))});
      }
  pairs_.resize(table.lists.size());
  for (size_t k = 0; k < table.lists.size(); ++k) pairs_[k] = {table.lists[k].first, table.lists[k].count};
  paths_.resize(table.paths.size());
  hops_.resize(table.hop_data.size());
  uint32_t longest = 0;
  for (size_t k = 0; k < table.paths.size(); ++k) {
    const Path& p = table.paths[k];
    const Hop* h = table.path_hops(p);
    uint32_t segments = 0;
    for (uint32_t j = 0; j < p.hops; ++j) {
      segments += h[j].ends_segment;
      hops_[p.hop_info + j] = {fibre_of[h[j].link], h[j].link, h[j].bound, h[j].ends_segment, h[j].groomed, 0};
    }
    paths_[k] = {p.hop_info, p.hops, segments, p.nodes, p.cost};
    longest = std::max(longest, p.hops);
  }
  facts_ = {};
  facts_.nodes = t;
  facts_.real_nodes = net.node_count;
  facts_.fibre_count = static_cast<uint32_t>(fibres_.size());
  facts_.slots_per_wavelength = net.slots_per_wavelength;
  facts_.max_attempts = methods.max_attempts;
  facts_.path_count = static_cast<uint32_t>(paths_.size());
  facts_.longest_path = longest;
  facts_.fibres = fibres_.data();
  facts_.arrival_rates = net.arrival_rates.data();
  facts_.pairs = pairs_.data();
  facts_.paths = paths_.data();
  facts_.hops = hops_.data();
  facts_.path_nodes = table.nodes.data();
}

// ---- PluginLane --------------------------------------------------------------

Status PluginLane::open(const LoadedPlugin& plugin) {
  close();
  plugin_ = &plugin;
  wavelengths_.assign(std::max(1u, plugin.facts().longest_path), 0);
  char error[512] = "";
  const PluginIdentity& id = plugin.identity();
  state_ = plugin.table().create(&plugin.facts(), id.arguments.c_str(), plugin.user(), error, sizeof error);
  error[sizeof error - 1] = '\0';
  if (!state_)
    return Status::error(plugin.source(), "arguments '" + id.arguments + "'",
                         error[0] ? error : "the plug-in could not start and gave no reason");
  return Status::proceed();
}

void PluginLane::close() {
  if (state_) plugin_->table().destroy(state_);
  state_ = nullptr;
}

void PluginLane::reset() {
  if (plugin_->table().reset) plugin_->table().reset(state_);
}

AssignmentHalf PluginLane::half() {
  AssignmentHalf h;
  h.state = this;
  h.assign = [](RwaContext& c, const RoutingHalf& r, void* s, uint32_t a, uint32_t b, HopArray& hops, uint32_t& path,
                uint32_t slots) { return static_cast<PluginLane*>(s)->assign(c, r, a, b, hops, path, slots); };
  if (plugin_->table().release)
    h.release = [](RwaContext& c, void* s, const PlacedCall& call) { static_cast<PluginLane*>(s)->release(c, call); };
  return h;
}

Status PluginLane::failure(uint32_t b) const {
  if (problem_.empty()) return Status::proceed();
  return Status::error(plugin_->source(), "batch " + std::to_string(b) + ", " + call_, problem_);
}

void PluginLane::refresh(RwaContext& c) {
  view_.facts = &plugin_->facts();
  view_.links = reinterpret_cast<const lumtra_link_state*>(c.links->links.data());
  view_.free_words = c.links->free_words.data();
  view_.free_slots = c.links->channels.data();
  view_.now = c.clock ? *c.clock : 0.0;
  view_.draw = [](void* stream) { return static_cast<Lehmer*>(stream)->uniform(); };
  view_.engine = &c.stream;
}

PluginLane::Answer PluginLane::wrong(const RwaContext& c, const lumtra_call& call, std::string problem) {
  call_ = "call from node " + node_text(call.source) + " to node " + node_text(call.destination) + " at time " +
          time_text(c.clock ? *c.clock : 0.0) + " (" + std::to_string(call.slots) + (call.slots == 1 ? " slot)" : " slots)");
  problem_ = std::move(problem);
  return Answer::wrong;
}

PluginLane::Answer PluginLane::ask(RwaContext& c, const lumtra_call& call, uint32_t list_first, HopArray& hops,
                                   uint32_t& path) {
  lumtra_answer answer{0, 0, 0, 0, wavelengths_.data()};
  const int outcome = plugin_->table().assign(state_, &view_, &call, &answer);
  if (answer.attempts > call.attempts_left)
    return wrong(c, call,
                 "counted " + std::to_string(answer.attempts) + " attempts, but only " +
                     std::to_string(call.attempts_left) + " were left under -at");
  c.count_attempts(answer.attempts);
  if (outcome == LUMTRA_BLOCKED) {
    c.refusal = Refusal::plugin;
    return Answer::blocked;
  }
  if (outcome == LUMTRA_PATH_FAILS) {
    if (!plugin_->routes()) return Answer::path_fails;
    return wrong(c, call, "answered 'path fails', which only a plug-in that leaves the routing to Lumtra may");
  }
  if (outcome != LUMTRA_PLACED)
    return wrong(c, call,
                 "returned " + std::to_string(outcome) + ", which is no outcome (0 placed, 1 path fails, 2 blocked)");
  const uint32_t count = c.paths->list(call.source, call.destination).count;
  if (call.candidate >= 0 && answer.path != uint32_t(call.candidate))
    return wrong(c, call,
                 "answered path " + std::to_string(answer.path) + ", but was offered path " +
                     std::to_string(call.candidate));
  if (answer.path >= count)
    return wrong(c, call,
                 "answered path " + std::to_string(answer.path) + ", which is not a candidate (the pair has " +
                     std::to_string(count) + ")");
  const Path& p = c.paths->paths[list_first + answer.path];
  const Hop* h = c.paths->path_hops(p);
  const uint32_t segments = plugin_->facts().paths[list_first + answer.path].segments;
  if (answer.segments != segments)
    return wrong(c, call,
                 "answered " + std::to_string(answer.segments) + " wavelengths, but path " +
                     std::to_string(answer.path) + " has " + std::to_string(segments) + " segments");
  hops.resize(p.hops);
  const uint32_t t = c.paths->total_nodes;
  for (uint32_t j = 0, seg = 0; j < p.hops; seg += h[j].ends_segment, ++j) {
    const uint32_t w = wavelengths_[seg];
    if (w >= h[j].bound || !fits_hop(*c.links, h[j], w, call.slots)) {
      const uint32_t link = h[j].link;
      std::string why = "wavelength " + std::to_string(w) + " of segment " + std::to_string(seg) + " does not fit hop " +
                        node_text(link / t) + "-" + node_text(link % t) + " of path " + std::to_string(answer.path);
      if (w >= h[j].bound) {
        why += " (its segment has wavelengths 0 .. " + std::to_string(h[j].bound - 1) + ")";
      } else {
        const uint32_t free = c.links->channels[c.links->links[link].channels + w];
        why += " (" + std::to_string(free) + " of " + std::to_string(c.links->slots_per_wavelength) +
               " slots free there, the call needs " + std::to_string(call.slots);
        if (free >= call.slots) why += ", but another call is on it and the hop's ends do not both groom";
        why += ")";
      }
      hops.clear();
      return wrong(c, call, std::move(why));
    }
    hops[j] = w;
  }
  path = list_first + answer.path;
  return Answer::placed;
}

bool PluginLane::assign(RwaContext& c, const RoutingHalf& routing, uint32_t s, uint32_t d, HopArray& hops,
                        uint32_t& path, uint32_t slots) {
  c.attempts = 0;
  if (!problem_.empty()) return false;
  refresh(c);
  const uint32_t list_first = c.paths->list(s, d).first;
  lumtra_call call{s, d, slots, -1, c.attempts_left(), 0};
  if (plugin_->routes()) {
    if (ask(c, call, list_first, hops, path) == Answer::placed) return true;
    hops.clear();
    return false;
  }
  for (int32_t candidate = routing.first(c, routing.state, s, d); candidate != -1;
       candidate = routing.next(c, routing.state)) {
    call.candidate = static_cast<int32_t>(c.list_path(candidate) - list_first);
    call.attempts_left = c.attempts_left();
    const Answer a = ask(c, call, list_first, hops, path);
    if (a == Answer::placed) {
      routing.commit(c, routing.state, slots);
      return true;
    }
    if (a != Answer::path_fails) break;
  }
  hops.clear();
  return false;
}

void PluginLane::release(RwaContext& c, const PlacedCall& call) {
  refresh(c);
  const lumtra_departure d{call.source, call.destination, call.path - c.paths->list(call.source, call.destination).first,
                           call.slots, call.wavelengths};
  plugin_->table().release(state_, &view_, &d);
}

}  // namespace lumtra
