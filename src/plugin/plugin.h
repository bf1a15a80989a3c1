// Plug-in methods: a routing-and-wavelength-assignment method from outside
// the program, behind the C interface of include/lumtra/plugin.h.
//
// LoadedPlugin: the table of callbacks, obtained either from a shared object
// (--plugin:FILE[:ARGS], dlopen) or from the embedding program (PluginHooks,
// by name), and the read-only facts of the run it is shown. Owned by the run;
// it must outlive every lane's instance.
//
// PluginLane: one instance of the plug-in in one simulation lane, installed
// as the lane's assignment half. Every answer is checked against the lane's
// link state before anything is taken; a wrong answer blocks the call,
// silences the instance and is reported by plugin_failure() at the end of
// the batch, which stops the run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "lumtra/plugin.h"
#include "network/network.h"
#include "paths/path_table.h"
#include "plugin/identity.h"
#include "rwa/options.h"
#include "rwa/rwa.h"

namespace lumtra {

// A callback table the embedding program made itself: `--plugin:NAME[:ARGS]`
// with this name uses it, and `user` reaches its create().
struct InProcessPlugin {
  std::string name;
  const lumtra_plugin* table = nullptr;
  void* user = nullptr;
};

struct PluginHooks {
  std::vector<InProcessPlugin> plugins;
};

class LoadedPlugin {
 public:
  LoadedPlugin() = default;
  ~LoadedPlugin();
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  // `value` follows --plugin: FILE or NAME, then optionally ":ARGS".
  // A name among `hooks` takes that table; anything else is a file to open.
  Status load(const std::string& value, const PluginHooks& hooks);
  // The facts of the run, once the network and the candidate paths are
  // known; `methods` gives the attempt limit. They take facts_bytes().
  void describe(const Network& net, const PathTable& table, const MethodOptions& methods);
  static uint64_t facts_bytes(const Network& net, const PathTable& table);

  bool loaded() const { return table_ != nullptr; }
  bool routes() const { return table_->role == LUMTRA_ROUTES_AND_ASSIGNS; }
  const lumtra_plugin& table() const { return *table_; }
  const lumtra_facts& facts() const { return facts_; }
  const PluginIdentity& identity() const { return identity_; }
  void* user() const { return user_; }
  // "plug-in NAME (FILE)", the source of its messages.
  std::string source() const;

 private:
  Status check_table(const std::string& where);

  void* library_ = nullptr;
  const lumtra_plugin* table_ = nullptr;
  void* user_ = nullptr;
  PluginIdentity identity_;
  std::vector<lumtra_fibre> fibres_;
  std::vector<lumtra_pair> pairs_;
  std::vector<lumtra_path> paths_;
  std::vector<lumtra_hop> hops_;
  lumtra_facts facts_{};
};

class PluginLane {
 public:
  PluginLane() = default;
  ~PluginLane() { close(); }
  PluginLane(const PluginLane&) = delete;
  PluginLane& operator=(const PluginLane&) = delete;

  // A new instance for this lane (the old one, if any, is destroyed).
  Status open(const LoadedPlugin& plugin);
  void close();
  bool active() const { return state_ != nullptr; }
  // The start of a batch.
  void reset();
  // The half that places calls through the instance.
  AssignmentHalf half();
  // The error of the first wrong answer of batch b, if there was one.
  Status failure(uint32_t b) const;

  // The call being placed, in the plug-in's terms; used by the half.
  bool assign(RwaContext& c, const RoutingHalf& routing, uint32_t s, uint32_t d, HopArray& hops, uint32_t& path,
              uint32_t slots);
  void release(RwaContext& c, const PlacedCall& call);

 private:
  enum class Answer { placed, path_fails, blocked, wrong };
  Answer ask(RwaContext& c, const lumtra_call& call, uint32_t list_first, HopArray& hops, uint32_t& path);
  Answer wrong(const RwaContext& c, const lumtra_call& call, std::string problem);
  void refresh(RwaContext& c);

  const LoadedPlugin* plugin_ = nullptr;
  void* state_ = nullptr;
  lumtra_lane view_{};
  std::vector<uint32_t> wavelengths_;  // the answer's, one per segment
  std::string call_;     // the call of the first wrong answer
  std::string problem_;  // and what was wrong
};

}  // namespace lumtra
