// The JSON document of a run (--json:FILE), written as the run goes: the
// head (schema, version, seed, configuration) before the first batch, each
// batch's per-pair counts as the batch ends, the final statistics last. The
// destination is opened before the first batch, so a path that cannot be
// written stops the run before any time is spent or any Result row is
// added; the file replaces FILE only when complete. The fields are listed in
// docs/json.md.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>

#include "base/json_writer.h"
#include "base/status.h"
#include "base/whole_file.h"
#include "report/report.h"

namespace lumtra {

struct BatchRecord;

// Version of the document's layout; raised whenever a field changes meaning
// or disappears (new fields may appear without it).
inline constexpr int kJsonSchema = 2;

class JsonReport {
 public:
  // Opens the destination `path` ("-": `standard_output`) without writing
  // anything, so that every output of a run is checked before any is
  // written.
  Status open(const std::string& path, std::FILE* standard_output);
  // Keeps the whole document in `copy` as well; without open(), only there.
  void keep_copy(std::string* copy) { copy_ = copy; }
  // Writes the head; `configuration` writes the value of the
  // "configuration" field.
  Status begin(const char* version, uint64_t seed, const std::function<void(JsonWriter&)>& configuration);
  // What finish() writes as the "run" field.
  void set_run_record(std::function<void(JsonWriter&)> record) { run_record_ = std::move(record); }
  Status add_batch(uint32_t batch, const BatchRecord& record);
  Status finish(const FinalStats& stats, int64_t elapsed_seconds, const PrecisionOutcome* precision);
  // The value of the "estimate" field (--estimate); null without one.
  void set_estimate(std::function<void(JsonWriter&)> estimate) { estimate_ = std::move(estimate); }
  // The end of a document of a run that simulated nothing (--estimate
  // alone): no batches, no pair averages, statistics null.
  Status finish_without_simulation(int64_t elapsed_seconds);
  // Without per-pair counts in the batches (--json-detail:summary).
  void omit_batch_pairs() { batch_pairs_ = false; }
  // Fields that finish() writes after the statistics.
  void set_closing_fields(std::function<void(JsonWriter&)> fields) { closing_fields_ = std::move(fields); }

 private:
  Status write_out();
  Status end_document(int64_t elapsed_seconds);
  WholeFile file_;
  bool opened_ = false;
  std::string* copy_ = nullptr;
  std::function<void(JsonWriter&)> run_record_;
  JsonWriter j_;
  std::string path_;
  std::function<void(JsonWriter&)> estimate_;
  bool batch_pairs_ = true;
  std::function<void(JsonWriter&)> closing_fields_;
};

}  // namespace lumtra
