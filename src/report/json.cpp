#include "report/json.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "run/long_options.h"
#include "run/run.h"
#include "sim/engine.h"

namespace lumtra {

namespace {

const char* const kMethodNames[] = {"ff", "r", "la", "xla", "lf", "dla", "mu",
                                    "lmu", "lu", "llu", "ll", "ml", "wlcr", "wmcr"};

void pair_value(JsonWriter& j, const PairAverage& p) {
  if (!p.exists()) return j.null();
  j.open('{');
  j.key("source").num(uint64_t(p.source));
  j.key("destination").num(uint64_t(p.destination));
  j.key("value").num(p.value);
  j.close('}');
}

// A limit, or null when there is none.
void limit(JsonWriter& j, bool unlimited, int64_t value) { unlimited ? j.null() : j.num(value); }
void text_or_null(JsonWriter& j, bool given, const std::string& text) { given ? j.str(text) : j.null(); }

void configuration(JsonWriter& j, const Run& run) {
  const Config& c = run.config;
  j.open('{');
  j.key("routing_code").num(int64_t(c.routing_code));
  j.key("routing_method").str(kMethodNames[c.routing_code]);
  j.key("wa_code").num(int64_t(c.wa_code));
  j.key("wa_method").str(kMethodNames[c.wa_code]);
  text_or_null(j.key("network_file"), !c.interactive(), c.network_file);
  text_or_null(j.key("generator_file"), c.generator_given, c.generator_file);
  j.key("nodes").num(uint64_t(run.net.node_count));
  j.key("total_nodes").num(uint64_t(run.net.total_nodes));
  j.key("batch_count").num(uint64_t(c.batch_count));
  j.key("batch_time").num(c.batch_time);
  j.key("departure_rate").num(c.departure_rate);
  j.key("rate_factor").num(c.rate_factor);
  j.key("rate_cofactor").num(c.rate_cofactor);
  j.key("alpha");
  c.needs_la_constants() ? j.num(c.alpha) : j.null();
  j.key("epsilon");
  c.needs_la_constants() ? j.num(c.epsilon) : j.null();
  j.key("multi_wavelength").boolean(c.multi_wavelength);
  j.key("all_paths").boolean(c.all_paths);
  limit(j.key("max_path_length"), c.max_path_length == kUnbounded, c.max_path_length);
  j.key("min_path_length").num(int64_t(c.min_path_length));
  limit(j.key("max_paths"), c.max_paths <= 0, c.max_paths);
  j.key("length_margin").num(int64_t(c.length_margin));
  j.key("path_order").num(int64_t(c.path_order));
  j.key("second_path_limit").num(int64_t(c.second_path_limit));
  j.key("sort_mode");
  c.sort_mode == kNoSort ? j.null() : j.num(int64_t(c.sort_mode));
  j.key("priority_routing").boolean(c.priority_routing);
  j.key("single_la_list").boolean(c.single_la_list);
  limit(j.key("max_switchings"), c.max_switchings == kUnbounded, c.max_switchings);
  j.key("min_switchings").num(int64_t(c.min_switchings));
  j.key("virtual_input").boolean(c.virtual_input);
  j.key("virtual_output").boolean(c.virtual_output);
  j.key("local_calls").boolean(c.local_calls);
  limit(j.key("max_attempts"), c.max_attempts == kNoLimit, c.max_attempts);
  limit(j.key("sink_node"), c.sink_node < 0, int64_t(c.sink_node) + 1);
  text_or_null(j.key("row_name"), c.row_name_given, c.row_name);
  j.close('}');
}

}  // namespace

Status JsonReport::open(const Run& run, const std::string& path) {
  path_ = path;
  if (Status s = file_.open(path, "JSON document"); !s.ok()) return s;
  j_.open('{');
  j_.key("schema").num(int64_t(kJsonSchema));
  j_.key("program").str("Lumtra");
  j_.key("version").str(kVersion);
  j_.key("seed").num(uint64_t(run.seeder.last_seed));
  j_.key("configuration");
  configuration(j_, run);
  j_.key("batches").open('[');
  return write_out();
}

Status JsonReport::write_out() {
  if (std::fwrite(j_.text.data(), 1, j_.text.size(), file_.stream()) != j_.text.size())
    return Status::error(path_, "JSON document", std::string("cannot be written: ") + std::strerror(errno));
  j_.text.clear();
  return Status::proceed();
}

Status JsonReport::add_batch(uint32_t batch, const BatchRecord& b) {
  j_.open('{');
  j_.key("batch").num(uint64_t(batch));
  j_.key("arrived").num(b.arrived);
  j_.key("blocked").num(b.blocked);
  j_.key("blocking");
  b.arrived ? j_.num(double(b.blocked) / double(b.arrived)) : j_.null();
  j_.key("pairs").open('[');
  for (const PairCount& p : b.pairs) {
    j_.open('{');
    j_.key("source").num(uint64_t(p.source));
    j_.key("destination").num(uint64_t(p.destination));
    j_.key("arrived").num(p.arrived);
    j_.key("blocked").num(p.blocked);
    j_.close('}');
  }
  j_.close(']');
  j_.close('}');
  return write_out();
}

Status JsonReport::finish(const FinalStats& st, int64_t elapsed_seconds) {
  j_.close(']');
  j_.key("pair_averages").open('[');
  for (const PairAverage& p : st.pair_averages) pair_value(j_, p);
  j_.close(']');
  j_.key("statistics").open('{');
  j_.key("total_blocked").num(st.total_blocked);
  j_.key("total_arrived").num(st.total_arrived);
  j_.key("average_blocking_probability").num(st.average);
  j_.key("overall_blocking_probability").num(st.overall);
  j_.key("average_of_averages_blocking_probability").num(st.average_of_averages);
  j_.key("maximum_blocking_probability");
  pair_value(j_, st.maximum);
  j_.key("minimum_blocking_probability");
  pair_value(j_, st.minimum);
  j_.key("variance").num(st.variance);
  j_.key("average_number_of_attempts").num(st.attempts);
  j_.key("confidence_half_width_95");
  st.has_interval ? j_.num(st.half_width) : j_.null();
  j_.close('}');
  j_.key("elapsed_seconds").num(elapsed_seconds);
  j_.close('}');
  j_.text.push_back('\n');
  if (Status s = write_out(); !s.ok()) return s;
  return file_.commit();
}

}  // namespace lumtra
