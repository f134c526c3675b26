#include "bench/viewing_run.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bench/time_record_rows.h"
#include "core/time_record_table.h"
#include "engine/table.h"

namespace qm::bench {
namespace {

db::TimeRecordDbOptions SingleUser() {
  db::TimeRecordDbOptions options;
  options.single_user = true;
  options.pack_on_close = false;
  return options;
}

}  // namespace

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

const std::string& ViewingDatabase() {
  static const std::string path = [] {
    const std::string file = BenchFile("viewing.dbf");
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

ViewingRun::ViewingRun(const std::string& settings_name)
    : reporter(ui, ""),
      installed(reporter),
      support(engine, table_reporter),
      db(engine, table_reporter, support, SingleUser()) {
  support.set_user_name("Ann Smith");
  settings.Bind(BenchFile(settings_name));
  if (db.OpenTimeRecordDb(ViewingDatabase()) != 0) Fail("cannot open the viewing database");
}

ViewingRun::~ViewingRun() {
  index.CloseUserIndex();
  db.CloseTimeRecordDb();
}

}  // namespace qm::bench
