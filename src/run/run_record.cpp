#include "run/run_record.h"

#include "run/run.h"

namespace lumtra {

namespace {

void hash_or_null(JsonWriter& j, const std::string& hex) { hex.empty() ? j.null() : j.str(hex); }

}  // namespace

void write_run_record(JsonWriter& j, const Run& run) {
  const BuildInfo build = build_info();
  j.open('{');
  j.key("argv").open('[');
  for (const std::string& a : run.args) j.str(a);
  j.close(']');
  j.key("program_version").str(kVersion);
  j.key("build").open('{');
  j.key("compiler").str(build.compiler);
  j.key("flags").str(build.flags);
  j.key("git_commit");
  *build.git_commit ? j.str(build.git_commit) : j.null();
  j.close('}');
  j.key("mode").str(run.extras.parallel ? "replication" : "classic");
  j.key("threads_requested").num(uint64_t(run.threads_requested));
  j.key("threads_used").num(uint64_t(run.threads_used));
  j.key("stopping_rule").str(run.extras.precision > 0.0 ? "precision" : "batches");
  hash_or_null(j.key("network_sha256"), run.network_sha256);
  hash_or_null(j.key("generator_sha256"), run.generator_sha256);
  j.close('}');
}

}  // namespace lumtra
