#include "report/json.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "sim/engine.h"

namespace lumtra {

namespace {

void pair_value(JsonWriter& j, const PairAverage& p) {
  if (!p.exists()) return j.null();
  j.open('{');
  j.key("source").num(uint64_t(p.source));
  j.key("destination").num(uint64_t(p.destination));
  j.key("value").num(p.value);
  j.close('}');
}

}  // namespace

Status JsonReport::open(const std::string& path, std::FILE* standard_output) {
  path_ = path == "-" ? "standard output" : path;
  Status s = path == "-" ? file_.open_stream(standard_output, path_, "JSON document") : file_.open(path, "JSON document");
  opened_ = s.ok();
  return s;
}

Status JsonReport::begin(const char* version, uint64_t seed, const std::function<void(JsonWriter&)>& configuration) {
  j_.open('{');
  j_.key("schema").num(int64_t(kJsonSchema));
  j_.key("program").str("Lumtra");
  j_.key("version").str(version);
  j_.key("seed").num(seed);
  j_.key("configuration");
  configuration(j_);
  j_.key("batches").open('[');
  return write_out();
}

Status JsonReport::write_out() {
  if (copy_) copy_->append(j_.text);
  if (opened_ && std::fwrite(j_.text.data(), 1, j_.text.size(), file_.stream()) != j_.text.size())
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
  if (!batch_pairs_) {
    j_.close('}');
    return write_out();
  }
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

Status JsonReport::finish(const FinalStats& st, int64_t elapsed_seconds, const PrecisionOutcome* precision) {
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
  j_.key("lag1_autocorrelation");
  st.has_lag1 ? j_.num(st.lag1) : j_.null();
  j_.key("average_interval_estimator").str("batch means: Student t over the batches' blocked / arrived");
  j_.key("pooled_blocking_probability").num(st.overall);
  j_.key("pooled_interval_95");
  if (st.has_pooled_interval) {
    j_.open('{');
    j_.key("low").num(st.pooled_low);
    j_.key("high").num(st.pooled_high);
    j_.close('}');
  } else {
    j_.null();
  }
  j_.key("pooled_half_width_95");
  st.has_pooled_interval ? j_.num(0.5 * (st.pooled_high - st.pooled_low)) : j_.null();
  j_.key("pooled_interval_estimator")
      .str("score interval of the ratio total blocked / total arrived over the batch totals, over-dispersion "
           "from the delta-method residuals, Student t");
  j_.key("upper_bound_95");
  st.nothing_blocked ? j_.num(st.upper_bound) : j_.null();
  j_.key("precision");
  if (precision) {
    j_.open('{');
    j_.key("target").num(precision->target);
    j_.key("relative_half_width");
    precision->has_relative ? j_.num(precision->relative) : j_.null();
    j_.key("met").boolean(precision->met);
    j_.key("resolvable").boolean(precision->resolvable);
    j_.key("batches").num(uint64_t(precision->batches));
    j_.key("max_batches").num(uint64_t(precision->max_batches));
    j_.close('}');
  } else {
    j_.null();
  }
  j_.close('}');
  return end_document(elapsed_seconds);
}

Status JsonReport::finish_without_simulation(int64_t elapsed_seconds) {
  j_.close(']');
  j_.key("pair_averages").open('[');
  j_.close(']');
  j_.key("statistics").null();
  return end_document(elapsed_seconds);
}

Status JsonReport::end_document(int64_t elapsed_seconds) {
  j_.key("estimate");
  estimate_ ? estimate_(j_) : j_.null();
  if (run_record_) {
    j_.key("run");
    run_record_(j_);
  }
  j_.key("elapsed_seconds").num(elapsed_seconds);
  if (closing_fields_) closing_fields_(j_);
  j_.close('}');
  j_.text.push_back('\n');
  if (Status s = write_out(); !s.ok()) return s;
  return opened_ ? file_.commit() : Status::proceed();
}

}  // namespace lumtra
