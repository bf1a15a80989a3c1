// What reports say about the plug-in method of a run.
#pragma once

#include <string>

namespace lumtra {

struct PluginIdentity {
  std::string name;       // as the plug-in calls itself
  std::string version;
  std::string file;       // as given after --plugin: (a name for an in-process table)
  std::string sha256;     // of the file; empty for an in-process table
  std::string arguments;  // the text after the file name's colon
};

}  // namespace lumtra
