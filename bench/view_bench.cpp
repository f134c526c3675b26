// Subtotals over a filtered, sorted set as the record list shows them:
// ComputeSubtotals over the records of USERTAG after ApplyFilterAndSort
// with a three-row filter ((client = ACME or client = Initech) and
// billable = Yes) and a two-level sort (client, then start date and time),
// subtotalled on both levels, with the benchmark rows. "subtotals" is the
// walk and the lines alone; "filter_sort_and_subtotals" is what a person
// waits for after changing the filter: the rebuild and then the lines.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/error_reporter.h"
#include "app/settings.h"
#include "bench/time_record_rows.h"
#include "bench/viewing_run.h"
#include "core/time_record.h"
#include "db/support_db.h"
#include "db/table_reporter.h"
#include "db/time_record_db.h"
#include "engine/engine.h"
#include "engine/table.h"
#include "platform/user_interface.h"
#include "view/subtotals.h"
#include "view/user_index.h"

namespace qm::bench {
namespace {

// Lines counted, not kept: the dialog's list is not what is measured.
class CountingSink final : public view::SubtotalSink {
 public:
  bool AddLine(std::string_view line) override {
    characters += line.size();
    ++lines;
    return true;
  }
  std::size_t lines = 0;
  std::size_t characters = 0;
};

struct SubtotalsRun : ViewingRun {
  SubtotalsRun() : ViewingRun("annsmith-subtotals.ini") {
    subtotals.order = ClientThenStart();
    subtotals.num_subtotal_levels = 2;
    subtotals.names = {"Person", "Client", "Project", "Subproject", "Activity", "Hourly Rate"};
  }
  std::size_t Subtotals() {
    CountingSink sink;
    if (view::ComputeSubtotals(db, subtotals, sink) != 0) Fail("ComputeSubtotals failed");
    return sink.lines;
  }

  view::SubtotalSettings subtotals;
};

void Subtotals(benchmark::State& state) {
  SubtotalsRun run;
  if (run.index.ApplyFilterAndSort(ClientThenStart(), ThreeRowFilter()) != 0) {
    Fail("ApplyFilterAndSort failed");
  }
  std::size_t lines = 0;
  for (auto _ : state) lines = run.Subtotals();
  state.counters["records"] = static_cast<double>(run.db.CountRecords(true));
  state.counters["lines"] = static_cast<double>(lines);
}

void FilterSortAndSubtotals(benchmark::State& state) {
  SubtotalsRun run;
  std::size_t lines = 0;
  for (auto _ : state) {
    if (run.index.ApplyFilterAndSort(ClientThenStart(), ThreeRowFilter()) != 0) {
      Fail("ApplyFilterAndSort failed");
    }
    lines = run.Subtotals();
  }
  state.counters["records"] = static_cast<double>(run.db.CountRecords(true));
  state.counters["lines"] = static_cast<double>(lines);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * BenchRows().size()));
}

BENCHMARK(Subtotals)->Name("viewing/subtotals")->Unit(benchmark::kMillisecond);
BENCHMARK(FilterSortAndSubtotals)
    ->Name("viewing/filter_sort_and_subtotals")
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qm::bench
