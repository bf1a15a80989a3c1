// Node names: the map from node numbers (from 1, as every report shows
// them) to names that tools/lumtra-net writes beside a network file, so that
// reports can name the nodes. A CSV file: an optional header "number,name",
// then one node per line; a name may be quoted ("a, b" or "say ""x""").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"

namespace lumtra {

class NodeNames {
 public:
  // Reads `path`; every number must be a real node of a network of
  // `node_count` nodes and appear once. An error names the line.
  Status load(const std::string& path, uint32_t node_count);
  // The name of node `number` (from 1); empty when it has none.
  const std::string& name(uint32_t number) const;
  // "3 (Boston)", or "3" for a node without a name.
  std::string label(uint32_t number) const;
  bool empty() const { return names_.empty(); }

 private:
  std::vector<std::string> names_;  // index = number - 1
};

}  // namespace lumtra
