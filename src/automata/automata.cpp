#include "automata/automata.h"

#include "run/run.h"

namespace lumtra {

namespace {
Status not_available() {
  return Status::error("command line", "method", "this method is not available yet in this build");
}
}  // namespace

Status install_automata_routing(Run&) { return not_available(); }
Status install_automata_assign(Run&) { return not_available(); }
Status prepare_automata(Run&) { return Status::proceed(); }
void reset_automata(Run&) {}

}  // namespace lumtra
