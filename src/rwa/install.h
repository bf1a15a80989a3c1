// Installation of the methods: fills the Method slots from the routing and
// WA codes (the one place that knows which operation serves which code),
// reads the learning-automata constants, runs the per-method preparations
// after the path table is built and the per-batch resets.
#pragma once

#include "base/status.h"

namespace lumtra {

struct Run;
class TokenReader;

Status install_methods(Run& run);
// Alpha and epsilon when a method needs them: prompted when not given on the
// command line, otherwise read and discarded when the input is a file.
Status read_la_constants(Run& run, TokenReader& in);
Status prepare_methods(Run& run);
void reset_methods(Run& run);

}  // namespace lumtra
