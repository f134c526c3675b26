// Rows for the benchmarks: realistic time records of the seventeen-field
// table, made deterministically, and the folder and row count of a run.
//
// The row count is $QM_BENCH_ROWS (default 100,000). Files go to a fresh
// folder under $TMPDIR (default /tmp), which is removed at exit; on a
// machine with enough memory the files stay in the page cache.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "core/time_record_table.h"

namespace qm::bench {

// One record: every field's text exactly as the data file holds it,
// blank-padded to its width (RATE and EXPENSE with two decimals, dates
// CCYYMMDD, logicals "T"/"F").
struct TimeRecordRow {
  std::array<std::string, core::kTimeRecordFieldCount> fields;
  bool deleted = false;
  // The two user-index keys of the record: DTOS(START_DATE)+START_TIME and
  // DTOS(END_DATE)+END_TIME.
  std::string start_key;
  std::string end_key;
};

// The rows of a run, made once.
const std::vector<TimeRecordRow>& BenchRows();
std::size_t BenchRowCount();

// The run's scratch folder ("" until first asked for).
const std::string& BenchFolder();
std::string BenchFile(const std::string& name);

// The value that USERTAG's filter selects in CLIENT (blank-padded to 7 as
// the filter compares it).
inline constexpr char kFilteredClient[] = "ACME";

}  // namespace qm::bench
