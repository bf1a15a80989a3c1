// The options of the final report: local calls among the reported pairs,
// and the Result files with their row name.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/append_files.h"

namespace lumtra {

// The five CSV Result files of -of, in their fixed order: the prefix
// followed by each suffix. They are opened (created) when the option is
// scanned and each receives one record at the end of the run.
inline constexpr std::array<const char*, 5> kResultSuffixes = {
    "_Blocking_Probability.csv", "_Max_Blocking_Probability.csv", "_Min_Blocking_Probability.csv",
    "_Variance.csv", "_Av_No_Attempts.csv"};

// How much of the run's observations the JSON document carries.
enum class JsonDetail : uint8_t {
  summary,  // totals only, and no per-pair counts in the batches
  pairs,    // and per-pair tables
  full,     // and per-fibre and per-wavelength tables
};

struct ReportOptions {
  bool local_calls = false;     // -lo
  bool row_name_given = false;  // -or
  std::string row_name;
  AppendFiles results;          // -of: the five Result files, in kResultSuffixes order
};

}  // namespace lumtra
