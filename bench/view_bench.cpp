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

void Fail(const std::string& what) {
  std::fprintf(stderr, "quillmk-bench: %s\n", what.c_str());
  std::exit(1);
}

view::RecordFilter ThreeRowFilter() {
  view::RecordFilter filter;
  filter.enabled = 1;
  filter.rows[0] = {view::kFieldClient, view::kCompareEqual, "ACME", view::kLinkOr};
  filter.rows[1] = {view::kFieldClient, view::kCompareEqual, "Initech", view::kLinkAnd};
  filter.rows[2] = {view::kFieldBillable, view::kCompareEqual, "Yes", view::kLinkEnd};
  return filter;
}

view::SortOrder ClientThenStart() {
  view::SortOrder order;
  order.fields = {view::kFieldClient, view::kFieldStartTime, view::kSortNone, view::kSortNone};
  order.ascending = 1;
  return order;
}

const std::string& SubtotalsDatabase() {
  static const std::string path = [] {
    const std::string file = BenchFile("subtotals.dbf");
    engine::TableEngine engine;
    std::unique_ptr<engine::Table> table =
        engine::Table::Create(engine, file, db::TimeRecordFieldSpecs(), {});
    if (!table) Fail("cannot create " + file);
    std::vector<engine::Field> fields;
    for (int i = 1; i <= core::kTimeRecordFieldCount; ++i) fields.push_back(*table->FieldAt(i));
    if (table->LockAppend() != 0) Fail("append lock refused");
    for (const TimeRecordRow& row : BenchRows()) {
      table->AppendStart();
      for (std::size_t f = 0; f < fields.size(); ++f) fields[f].AssignText(row.fields[f]);
      if (row.deleted) {
        table->Delete();
      } else {
        table->Recall();
      }
      if (table->Append() != 0) Fail("append failed");
    }
    if (table->Unlock() != 0 || table->Close() != 0) Fail("cannot close " + file);
    return file;
  }();
  return path;
}

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

struct SubtotalsRun {
  SubtotalsRun()
      : reporter(ui, ""),
        installed(reporter),
        support(engine, table_reporter),
        db(engine, table_reporter, support, Options()) {
    support.set_user_name("Ann Smith");
    settings.Bind(BenchFile("annsmith-subtotals.ini"));
    if (db.OpenTimeRecordDb(SubtotalsDatabase()) != 0) Fail("cannot open the database");
    subtotals.order = ClientThenStart();
    subtotals.num_subtotal_levels = 2;
    subtotals.names = {"Person", "Client", "Project", "Subproject", "Activity", "Hourly Rate"};
  }
  ~SubtotalsRun() {
    index.CloseUserIndex();
    db.CloseTimeRecordDb();
  }
  static db::TimeRecordDbOptions Options() {
    db::TimeRecordDbOptions options;
    options.single_user = true;
    options.pack_on_close = false;
    return options;
  }
  std::size_t Subtotals() {
    CountingSink sink;
    if (view::ComputeSubtotals(db, subtotals, sink) != 0) Fail("ComputeSubtotals failed");
    return sink.lines;
  }

  platform::SilentUserInterface ui;
  app::ErrorReporter reporter;
  app::ScopedReporter installed;
  engine::TableEngine engine;
  db::ErrorTableReporter table_reporter;
  db::SupportDb support;
  db::TimeRecordDb db;
  app::CSettings settings;
  view::UserIndex index{db, settings, view::FilterScope{true, "Ann Smith"}};
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
