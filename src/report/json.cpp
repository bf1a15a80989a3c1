#include "report/json.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "run/long_options.h"
#include "run/run.h"

namespace lumtra {

namespace {

const char* const kMethodNames[] = {"ff", "r", "la", "xla", "lf", "dla", "mu",
                                    "lmu", "lu", "llu", "ll", "ml", "wlcr", "wmcr"};

// A minimal writer for one JSON document; keys and values in order.
class JsonWriter {
 public:
  std::string text;

  void open(char c) {
    comma();
    text.push_back(c);
    first_ = true;
  }
  void close(char c) {
    text.push_back(c);
    first_ = false;
  }
  JsonWriter& key(const char* k) {
    comma();
    string_value(k);
    text.push_back(':');
    first_ = true;
    return *this;
  }
  void str(const std::string& s) {
    comma();
    string_value(s);
  }
  void num(double v) {
    comma();
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    text += buf;
  }
  void num(uint64_t v) {
    comma();
    text += std::to_string(v);
  }
  void num(int64_t v) {
    comma();
    text += std::to_string(v);
  }
  void boolean(bool v) {
    comma();
    text += v ? "true" : "false";
  }
  void null() {
    comma();
    text += "null";
  }

 private:
  void comma() {
    if (!first_) text.push_back(',');
    first_ = false;
  }
  void string_value(const std::string& s) {
    text.push_back('"');
    for (unsigned char c : s) {
      if (c == '"' || c == '\\') {
        text.push_back('\\');
        text.push_back(static_cast<char>(c));
      } else if (c < 0x20) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        text += buf;
      } else {
        text.push_back(static_cast<char>(c));
      }
    }
    text.push_back('"');
  }
  bool first_ = true;
};

void pair_value(JsonWriter& j, const PairAverage& p) {
  j.open('{');
  j.key("source").num(uint64_t(p.source));
  j.key("destination").num(uint64_t(p.destination));
  j.key("value").num(p.value);
  j.close('}');
}

void configuration(JsonWriter& j, const Run& run) {
  const Config& c = run.config;
  j.open('{');
  j.key("routing_code").num(int64_t(c.routing_code));
  j.key("routing_method").str(kMethodNames[c.routing_code]);
  j.key("wa_code").num(int64_t(c.wa_code));
  j.key("wa_method").str(kMethodNames[c.wa_code]);
  j.key("network_file").str(c.interactive() ? "" : c.network_file);
  j.key("generator_file").str(c.generator_given ? c.generator_file : "");
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
  j.key("max_path_length").num(int64_t(c.max_path_length));
  j.key("min_path_length").num(int64_t(c.min_path_length));
  j.key("max_paths").num(int64_t(c.max_paths));
  j.key("length_margin").num(int64_t(c.length_margin));
  j.key("path_order").num(int64_t(c.path_order));
  j.key("second_path_limit").num(int64_t(c.second_path_limit));
  j.key("sort_mode").num(int64_t(c.sort_mode));
  j.key("priority_routing").boolean(c.priority_routing);
  j.key("single_la_list").boolean(c.single_la_list);
  j.key("max_switchings").num(int64_t(c.max_switchings));
  j.key("min_switchings").num(int64_t(c.min_switchings));
  j.key("virtual_input").boolean(c.virtual_input);
  j.key("virtual_output").boolean(c.virtual_output);
  j.key("local_calls").boolean(c.local_calls);
  j.key("max_attempts").num(uint64_t(c.max_attempts));
  j.key("sink_node").num(int64_t(c.sink_node) + (c.sink_node >= 0 ? 1 : 0));
  j.key("row_name").str(c.row_name_given ? c.row_name : "");
  j.close('}');
}

}  // namespace

Status write_json(const Run& run, const FinalStats& st, int64_t elapsed_seconds) {
  JsonWriter j;
  j.open('{');
  j.key("program").str("Lumtra");
  j.key("version").str(kVersion);
  j.key("seed").num(uint64_t(run.seeder.last_seed));
  j.key("configuration");
  configuration(j, run);
  j.key("batches").open('[');
  uint64_t number = 0;
  for (const BatchRecord& b : run.sim.records) {
    j.open('{');
    j.key("batch").num(++number);
    j.key("arrived").num(b.arrived);
    j.key("blocked").num(b.blocked);
    j.key("blocking");
    b.arrived ? j.num(double(b.blocked) / double(b.arrived)) : j.null();
    j.key("pairs").open('[');
    for (const PairCount& p : b.pairs) {
      j.open('{');
      j.key("source").num(uint64_t(p.source));
      j.key("destination").num(uint64_t(p.destination));
      j.key("arrived").num(p.arrived);
      j.key("blocked").num(p.blocked);
      j.close('}');
    }
    j.close(']');
    j.close('}');
  }
  j.close(']');
  j.key("pair_averages").open('[');
  for (const PairAverage& p : st.pair_averages) pair_value(j, p);
  j.close(']');
  j.key("statistics").open('{');
  j.key("total_blocked").num(st.total_blocked);
  j.key("total_arrived").num(st.total_arrived);
  j.key("average_blocking_probability").num(st.average);
  j.key("overall_blocking_probability").num(st.overall);
  j.key("average_of_averages_blocking_probability").num(st.average_of_averages);
  j.key("maximum_blocking_probability");
  pair_value(j, st.maximum);
  j.key("minimum_blocking_probability");
  pair_value(j, st.minimum);
  j.key("variance").num(st.variance);
  j.key("average_number_of_attempts").num(st.attempts);
  j.key("confidence_half_width_95");
  st.has_interval ? j.num(st.half_width) : j.null();
  j.close('}');
  j.key("elapsed_seconds").num(elapsed_seconds);
  j.close('}');
  j.text.push_back('\n');

  const std::string& path = run.extras.json_path;
  const std::string temporary = path + ".partial";
  std::FILE* f = std::fopen(temporary.c_str(), "w");
  if (!f) return Status::error(path, "JSON document", std::string("cannot be created: ") + std::strerror(errno));
  bool ok = std::fwrite(j.text.data(), 1, j.text.size(), f) == j.text.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return Status::error(path, "JSON document", std::string("cannot be written: ") + std::strerror(errno));
  }
  return Status::proceed();
}

}  // namespace lumtra
