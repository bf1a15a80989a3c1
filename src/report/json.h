// The JSON document of a run (--json:FILE), written as the run goes: the
// head (schema, version, seed, configuration) before the first batch, each
// batch's per-pair counts as the batch ends, the final statistics last. The
// destination is opened before the first batch, so a path that cannot be
// written stops the run before any time is spent or any Result row is
// added; the file replaces FILE only when complete. The fields are listed in
// docs/json.md.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/json_writer.h"
#include "base/status.h"
#include "base/whole_file.h"
#include "report/report.h"

namespace lumtra {

struct BatchRecord;

// Version of the document's layout; raised whenever a field changes meaning
// or disappears (new fields may appear without it).
inline constexpr int kJsonSchema = 1;

class JsonReport {
 public:
  // Opens `path` and writes the head; `configuration` writes the value of
  // the "configuration" field.
  Status open(const std::string& path, const char* version, uint64_t seed,
              const std::function<void(JsonWriter&)>& configuration);
  Status add_batch(uint32_t batch, const BatchRecord& record);
  Status finish(const FinalStats& stats, int64_t elapsed_seconds, const PrecisionOutcome* precision);
  // Without per-pair counts in the batches (--json-detail:summary).
  void omit_batch_pairs() { batch_pairs_ = false; }
  // Fields that finish() writes after the statistics.
  void set_closing_fields(std::function<void(JsonWriter&)> fields) { closing_fields_ = std::move(fields); }

 private:
  Status write_out();
  WholeFile file_;
  JsonWriter j_;
  std::string path_;
  bool batch_pairs_ = true;
  std::function<void(JsonWriter&)> closing_fields_;
};

}  // namespace lumtra
