// Run configuration: every setting of one run, as the options of each part
// of the program (which gets only its own) and the choice of the network
// source. Filled once from the command line, completed from the network
// source (batch count and time, the learning-automata constants), then
// read-only during the batches.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "network/options.h"
#include "paths/options.h"
#include "plugin/identity.h"
#include "report/options.h"
#include "rwa/options.h"
#include "sim/options.h"

namespace lumtra {

struct Config {
  NetworkOptions network;
  PathOptions paths;
  MethodOptions methods;
  SimOptions sim;
  ReportOptions report;

  int network_source = -1;     // argument index of -nt, -2 for -i, -1 none
  std::string network_file;    // text after "-nt:" of the deciding -nt
  bool generator_given = false;
  std::string generator_file;  // text after "-g:"
  int32_t sink_node = -1;      // 0-based, -1 none

  // The arguments the scanner took as method options, in order, with the
  // code of the method each named ("-fff" names first fit).
  struct MethodArgument {
    std::string text;
    int16_t code;
  };
  std::vector<MethodArgument> method_arguments;

  // The plug-in of --plugin, once loaded.
  bool plugin_given = false;
  PluginIdentity plugin;

  bool interactive() const { return network_source == -2; }
  // The file a network drawn with -g is written to: the -nt file, or a
  // fixed name when the network would otherwise be typed in.
  std::string drawn_network_file() const { return interactive() ? "Temp_net__#1.txt" : network_file; }
};

}  // namespace lumtra
