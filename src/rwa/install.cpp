#include "rwa/install.h"

#include "run/run.h"

namespace lumtra {

Status install_methods(Run&) { return Status::proceed(); }
Status read_la_constants(Run&, TokenReader&) { return Status::proceed(); }
Status prepare_methods(Run&) { return Status::proceed(); }
void reset_methods(Run&) {}

}  // namespace lumtra
