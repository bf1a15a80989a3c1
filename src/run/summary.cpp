#include "run/summary.h"


#include "methods/table.h"

namespace lumtra {

namespace {

void method_line(Console& out, const char* half, int16_t code) {
  const MethodRow* row = method_row(code);
  out.text(half).text(row->name).text(" (-").text(option_letters(*row)).text(")\n");
}

}  // namespace

void print_summary(Console& out, const Run& run, const FinalStats& stats, const PrecisionOutcome* precision) {
  const Config& c = run.config;
  out.text("Network: ");
  if (c.generator_given)
    out.text(c.drawn_network_file()).text(", drawn from ").text(c.generator_file);
  else
    out.text(c.interactive() ? "standard input" : c.network_file);
  out.text(" (").u64(run.net.node_count).text(" nodes)\n");
  const bool routes = c.plugin_given && run.plugin.routes();
  if (!routes) method_line(out, "Routing: ", c.methods.routing_code);
  if (!c.plugin_given) method_line(out, "Wavelength assignment: ", c.methods.wa_code);
  if (c.plugin_given) {
    out.text(routes ? "Routing and wavelength assignment: " : "Wavelength assignment: ");
    out.text("plug-in ").text(c.plugin.name).ch(' ').text(c.plugin.version).text(" (").text(c.plugin.file);
    if (!c.plugin.sha256.empty()) out.text(", sha256 ").text(c.plugin.sha256);
    out.text(")\n");
    if (!c.plugin.arguments.empty()) out.text("Plug-in arguments: ").text(c.plugin.arguments).ch('\n');
  }
  out.text("Seed: ").u64(run.seeder.last_seed).ch('\n');
  out.text("Batches: ").u64(run.totals.batches).text(" of ").real("%g", c.sim.batch_time).text(" time units");
  print_main_figures(out, stats);
  if (run.extras.confidence) print_interval(out, stats);
  if (precision) print_precision(out, *precision);
  out.ch('\n');
}

}  // namespace lumtra
