// The method table: one row per routing-and-wavelength-assignment method,
// the single place that knows its code, option letters, name, help line,
// how the option scanner takes it, what it does as the routing and as the
// assignment half, and how its family prepares and resets its state. The
// option scanner, the combination checks, the usage screen, the JSON names
// and the installation all read it; adding a method is one row here plus
// its own folder.
//
// MethodSet: the methods of one simulation lane, that is the state of every
// family and the installed halves over it. Lives as long as its lane.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "automata/automata.h"
#include "base/memory.h"
#include "base/status.h"
#include "load/load.h"
#include "network/network.h"
#include "paths/options.h"
#include "paths/path_table.h"
#include "plugin/plugin.h"
#include "rwa/fit.h"
#include "rwa/options.h"
#include "rwa/rwa.h"
#include "usage/usage.h"

namespace lumtra {

struct MethodRow;

// The state of every method family in one lane, and the installed halves.
struct MethodSet {
  FitState fit;
  AutomataState automata;
  UsageState usage;
  LoadState load;
  PluginLane plugin;  // the plug-in's instance in this lane, if there is one
  Rwa rwa;
};

// What installing, preparing and resetting the methods read.
struct MethodSetup {
  const MethodOptions& methods;
  const PathOptions& paths;
  const Network& net;
  const PathTable& table;
  const LoadedPlugin* plugin = nullptr;  // --plugin: takes the assignment half's place
};

// How the option scanner takes a method option.
enum class ScanRule : uint8_t {
  next_half,     // the first method named routes, a later one assigns
  routing_only,  // routes when named first; named later it is ignored
  both_halves,   // routes and assigns at once, whatever was named before
};

struct MethodRow {
  int16_t code;
  const char* letters;  // after the dash, upper case; matched as a prefix
  const char* name;     // for people, e.g. in --summary
  ScanRule scan;
  // The code whose routing half serves this method when it routes (-lmu
  // routes like -mu), and whose assignment half serves it when it assigns
  // (-ll assigns by first fit); -1: it cannot assign.
  int16_t route_as;
  int16_t assign_as;
  bool la_constants_routing;     // routing by it needs alpha and epsilon
  bool la_constants_assignment;  // so does assigning by it
  bool single_list;              // -sla applies to its priority routing
  const char* help;              // its lines on the usage screen
  RoutingHalf (*routing)(MethodSet&, const MethodSetup&);
  AssignmentHalf (*assignment)(MethodSet&, const MethodSetup&);
  // The family's preparation after the path table and its reset at every
  // batch start; each runs once per lane even when both halves share it.
  Status (*prepare)(MethodSet&, const MethodSetup&, MemoryBudget&);
  void (*reset)(MethodSet&, const MethodSetup&);
};

// Every row, in the order of the usage screen.
std::span<const MethodRow> method_rows();
// The row of a method code; null for a code no row has.
const MethodRow* method_row(int16_t code);
// The row's option as typed after the dash, in lower case ("ff", "wlcr").
std::string option_letters(const MethodRow& row);
// The row whose letters begin `option` (the text after the dash, any case),
// the longest such letters winning; null when none does.
const MethodRow* method_row_for_option(const std::string& option);

// Alpha and epsilon are needed by the two codes chosen.
bool needs_la_constants(const MethodOptions& methods);

// Points the lane's context at the shared network and paths and its own
// link state, binds the halves of the two (validated) codes, and prepares
// their families' state, taking its memory from the budget.
Status install_methods(MethodSet& set, const MethodSetup& setup, const LinkState& links, Lehmer method_stream,
                       MemoryBudget& budget);
// The same for another lane whose family state is a copy of `prepared`
// (a set installed by install_methods): nothing is built again but the
// plug-in's own instance.
Status install_copy(MethodSet& set, const MethodSet& prepared, const MethodSetup& setup, const LinkState& links);
// The family state of `from` into `to`, the halves left as they are: a
// lane that starts every batch from the state its methods had before the
// first one.
void copy_method_state(MethodSet& to, const MethodSet& from);
// Start of every batch.
void reset_methods(MethodSet& set, const MethodSetup& setup);

// The plug-in of a run with the method options: it cannot stand in for the
// exhaustive automaton, which routes inside its assignment, and a plug-in
// that routes needs the default routing. The assignment code becomes first
// fit's, whose place the plug-in takes, so that every routing half offers
// it list positions.
Status check_plugin_methods(const LoadedPlugin& plugin, MethodOptions& methods);

}  // namespace lumtra
