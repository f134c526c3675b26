// What the viewing benchmarks share: the benchmark rows as a time record
// database, one program run on it (single user, a user interface that shows
// nothing), and the filter and sort order that the figures are quoted for:
// ((client = ACME or client = Initech) and billable = Yes), about one record
// in six, sorted by client, then start date and time.
#pragma once

#include <string>

#include "app/error_reporter.h"
#include "app/settings.h"
#include "db/support_db.h"
#include "db/table_reporter.h"
#include "db/time_record_db.h"
#include "engine/engine.h"
#include "platform/user_interface.h"
#include "view/record_filter.h"
#include "view/sort_order.h"
#include "view/user_index.h"

namespace qm::bench {

// Ends the benchmark run with a message: figures of a failed setup mean
// nothing.
[[noreturn]] void Fail(const std::string& what);

view::RecordFilter ThreeRowFilter();
view::SortOrder ClientThenStart();

// The benchmark rows written once, in one bulk append, as `name` in the
// benchmark folder.
const std::string& ViewingDatabase();

struct ViewingRun {
  // `settings_name`: the person's settings file in the benchmark folder.
  explicit ViewingRun(const std::string& settings_name = "annsmith.ini");
  ~ViewingRun();
  ViewingRun(const ViewingRun&) = delete;
  ViewingRun& operator=(const ViewingRun&) = delete;

  platform::SilentUserInterface ui;
  app::ErrorReporter reporter;
  app::ScopedReporter installed;
  engine::TableEngine engine;
  db::ErrorTableReporter table_reporter;
  db::SupportDb support;
  db::TimeRecordDb db;
  app::CSettings settings;
  view::UserIndex index{db, settings, view::FilterScope{true, "Ann Smith"}};
};

}  // namespace qm::bench
