#include "run/cli.h"

#include "run/run.h"

namespace lumtra {

// Placeholder until the option scanner lands: only -nt and -i are known.
Status parse_command_line(Run& run) {
  for (size_t i = 1; i < run.args.size(); ++i) {
    const std::string& a = run.args[i];
    if (a.rfind("-nt:", 0) == 0) {
      run.config.network_source = static_cast<int>(i);
      run.config.network_file = a.substr(4);
    } else if (a == "-i") {
      run.config.network_source = -2;
    }
  }
  if (run.config.network_source == -1) return Status::stdout_stop(Exit::usage, "usage\n");
  return Status::proceed();
}

void show_usage(Console&, bool) {}
void seed_streams(Run& run) {
  run.method_stream.state = next_seed(run.seeder);
  run.generator_stream.state = next_seed(run.seeder);
}
Status validate_and_normalise(Config& c) {
  if (c.routing_code == -1) c.routing_code = 0;
  if (c.wa_code == -1) c.wa_code = c.routing_code;
  return Status::proceed();
}

}  // namespace lumtra
