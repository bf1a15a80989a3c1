// Command line: scanning the options into the Run configuration, the usage
// screens, the Result files, the checks of option combinations and the
// seeding of the Method and Generator streams.
#pragma once

#include <string>

#include "base/console.h"
#include "base/status.h"

namespace lumtra {

struct Run;
struct Config;

// Scans run.args into run.config: options, method codes, sort mode, -s
// reseeding of run.seeder, the Result files. Ends with the extended usage
// screen on -? (Exit::ok), the short one when no network source is given
// (Exit::usage), or an error for a Result file that cannot be opened or a
// value out of range (Exit::input_error).
Status parse_command_line(Run& run);
// -? (of any spelling) and --help ask for the extended usage screen.
bool asks_for_help(const std::string& arg);
void show_usage(Console& out, bool extended);
// The Method stream, then the Generator stream, from run.seeder.
void seed_streams(Run& run);
// The combination checks in their order, and the normalisation of the codes.
Status validate_and_normalise(Config& config);

}  // namespace lumtra
