#include "run/json_configuration.h"


#include "methods/table.h"

namespace lumtra {

namespace {

// A limit, or null when there is none.
void limit(JsonWriter& j, bool unlimited, int64_t value) { unlimited ? j.null() : j.num(value); }
void text_or_null(JsonWriter& j, bool given, const std::string& text) { given ? j.str(text) : j.null(); }

std::string letters_of(int16_t code) { return option_letters(*method_row(code)); }

}  // namespace

void write_configuration(JsonWriter& j, const Config& c, const Network& net) {
  const MethodOptions& m = c.methods;
  const PathOptions& p = c.paths;
  const bool la_constants = needs_la_constants(m);
  j.open('{');
  j.key("routing_code").num(int64_t(m.routing_code));
  j.key("routing_method").str(letters_of(m.routing_code));
  j.key("routing_name").str(method_row(m.routing_code)->name);
  j.key("wa_code").num(int64_t(m.wa_code));
  j.key("wa_method").str(letters_of(m.wa_code));
  j.key("wa_name").str(method_row(m.wa_code)->name);
  j.key("method_arguments").open('[');
  for (const Config::MethodArgument& a : c.method_arguments) {
    j.open('{');
    j.key("argument").str(a.text);
    j.key("method").str(letters_of(a.code));
    j.close('}');
  }
  j.close(']');
  text_or_null(j.key("network_file"), !c.interactive(), c.network_file);
  text_or_null(j.key("generator_file"), c.generator_given, c.generator_file);
  j.key("nodes").num(uint64_t(net.node_count));
  j.key("total_nodes").num(uint64_t(net.total_nodes));
  j.key("batch_count").num(uint64_t(c.sim.batch_count));
  j.key("batch_time").num(c.sim.batch_time);
  j.key("departure_rate").num(c.sim.departure_rate);
  j.key("rate_factor").num(c.network.rate_factor);
  j.key("rate_cofactor").num(c.network.rate_cofactor);
  j.key("alpha");
  la_constants ? j.num(m.alpha) : j.null();
  j.key("epsilon");
  la_constants ? j.num(m.epsilon) : j.null();
  j.key("multi_wavelength").boolean(c.sim.multi_wavelength);
  j.key("all_paths").boolean(p.all_paths);
  limit(j.key("max_path_length"), p.max_path_length == kUnbounded, p.max_path_length);
  j.key("min_path_length").num(int64_t(p.min_path_length));
  limit(j.key("max_paths"), p.max_paths <= 0, p.max_paths);
  j.key("length_margin").num(int64_t(p.length_margin));
  j.key("path_order").num(int64_t(p.path_order));
  j.key("second_path_limit").num(int64_t(p.second_path_limit));
  limit(j.key("sort_mode"), p.sort_mode == kNoSort, p.sort_mode);
  j.key("priority_routing").boolean(p.priority_routing);
  j.key("single_la_list").boolean(m.single_la_list);
  limit(j.key("max_switchings"), p.max_switchings == kUnbounded, p.max_switchings);
  j.key("min_switchings").num(int64_t(p.min_switchings));
  j.key("virtual_input").boolean(c.network.virtual_input);
  j.key("virtual_output").boolean(c.sim.virtual_output);
  j.key("local_calls").boolean(c.report.local_calls);
  limit(j.key("max_attempts"), m.max_attempts == kNoLimit, m.max_attempts);
  limit(j.key("sink_node"), c.sink_node < 0, int64_t(c.sink_node) + 1);
  text_or_null(j.key("row_name"), c.report.row_name_given, c.report.row_name);
  j.key("plugin");
  if (c.plugin_given) {
    j.open('{');
    j.key("name").str(c.plugin.name);
    j.key("version").str(c.plugin.version);
    text_or_null(j.key("sha256"), !c.plugin.sha256.empty(), c.plugin.sha256);
    j.key("arguments").str(c.plugin.arguments);
    j.close('}');
  } else {
    j.null();
  }
  j.close('}');
}

}  // namespace lumtra
