#include "usage/usage.h"

#include "run/run.h"

namespace lumtra {

namespace {
Status not_available() {
  return Status::error("command line", "method", "this method is not available yet in this build");
}
}  // namespace

Status install_usage_routing(Run&) { return not_available(); }
Status install_usage_assign(Run&) { return not_available(); }
Status prepare_usage(Run&) { return Status::proceed(); }
void reset_usage(Run&) {}

}  // namespace lumtra
