#include "network/generator.h"

#include "run/run.h"

namespace lumtra {

Status generate_network(Run& run, uint32_t, std::FILE*, const std::string&) {
  return Status::error("command line", "-g:" + run.config.generator_file,
                       "the network generator is not available yet in this build");
}

}  // namespace lumtra
