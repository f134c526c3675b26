// The user index as the program builds it when the filter or the sort
// order changes: UserIndex::ApplyFilterAndSort over the benchmark rows
// with a three-row filter, ((client = ACME or client = Initech) and
// billable = Yes), about one record in six, and a two-level sort, client
// then start date and time. One iteration is the whole rebuild: the old
// file closed and deleted, the name chosen, both tags built from every
// record.
//
// Besides the whole, two lines split the time: "tags_only" builds the same
// two tags through the engine alone (the rest of the rebuild is the
// difference), "walk" reads the filtered set in its order through the
// time record database, as the record list and the subtotals do.
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
#include "view/user_index.h"

namespace qm::bench {
namespace {

void ApplyFilterAndSort(benchmark::State& state) {
  ViewingRun run;
  const view::RecordFilter filter = ThreeRowFilter();
  const view::SortOrder order = ClientThenStart();
  for (auto _ : state) {
    if (run.index.ApplyFilterAndSort(order, filter) != 0) Fail("ApplyFilterAndSort failed");
  }
  state.counters["records"] = static_cast<double>(run.db.CountRecords(true));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * BenchRows().size()));
}

void TagsOnly(benchmark::State& state) {
  ViewingRun run;
  const std::vector<engine::TagSpec> tags = {
      {"USERTAG", view::BuildSortKey(ClientThenStart()),
       view::BuildFilterExpression(ThreeRowFilter(), run.index.scope()), 0, engine::kAscending},
      {"DEFTAG", std::string(db::kEndTimeKey), std::string(db::kNotDeletedFilter), 0,
       engine::kAscending}};
  const std::string file = BenchFile("tags_only.mdx");
  engine::Table& table = *run.db.table();
  for (auto _ : state) {
    state.PauseTiming();
    if (engine::IndexFile* open = table.FindIndexFile(file)) table.CloseIndexFile(*open);
    std::remove(file.c_str());
    state.ResumeTiming();
    if (table.CreateIndexFile(file, tags) != 0) Fail("index creation failed");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * BenchRows().size()));
}

void WalkFilteredSet(benchmark::State& state) {
  ViewingRun run;
  if (run.index.ApplyFilterAndSort(ClientThenStart(), ThreeRowFilter()) != 0) {
    Fail("ApplyFilterAndSort failed");
  }
  core::TimeRecord record;
  long records = 0;
  for (auto _ : state) {
    double hours = 0;
    for (int status = run.db.FirstRecord(record); status == 0;
         status = run.db.NextRecord(record)) {
      hours += record.end - record.start;
      ++records;
    }
    benchmark::DoNotOptimize(hours);
  }
  state.SetItemsProcessed(records);
}

BENCHMARK(ApplyFilterAndSort)->Name("viewing/apply_filter_and_sort")->Unit(benchmark::kMillisecond);
BENCHMARK(TagsOnly)->Name("viewing/tags_only")->Unit(benchmark::kMillisecond);
BENCHMARK(WalkFilteredSet)->Name("viewing/walk")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qm::bench
