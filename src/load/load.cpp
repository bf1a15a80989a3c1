#include "load/load.h"

#include "run/run.h"

namespace lumtra {

namespace {
Status not_available() {
  return Status::error("command line", "method", "this method is not available yet in this build");
}
}  // namespace

Status install_load_routing(Run&) { return not_available(); }
Status prepare_load(Run&) { return Status::proceed(); }
void reset_load(Run&) {}

}  // namespace lumtra
