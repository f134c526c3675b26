// The table engine against SQLite on the work that the user index does:
// build the two user-index tags, append with both tags kept, seek exact
// keys, scan in tag order reading three fields.
//
// Each line runs once on our engine ("ours") and once on SQLite (one
// table with the same rows, partial expression indexes with the same keys
// and filters, appends in one transaction, synchronous writes off as our
// bulk appends do not flush either). After the runs a table prints our time
// over SQLite's for each line and whether our figure meets its target.
//
//   QM_BENCH_ROWS=1000000 quillmk-bench     (default 100,000 rows)
#include <sqlite3.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "bench/time_record_rows.h"
#include "core/time_record_table.h"
#include "engine/engine.h"
#include "engine/raw_file.h"
#include "engine/table.h"

namespace qm::bench {
namespace {

using engine::Table;
using engine::TableEngine;
using engine::TagSpec;

constexpr std::size_t kSeeksPerIteration = 20000;

void Die(const std::string& what) {
  std::fprintf(stderr, "quillmk-bench: %s\n", what.c_str());
  std::exit(1);
}

// --- Our engine -----------------------------------------------------------------

std::vector<engine::FieldSpec> TimeRecordFields() {
  std::vector<engine::FieldSpec> fields;
  for (const core::TableFieldSpec& f : core::kTimeRecordTableFields) {
    fields.push_back({std::string(f.name), f.type, f.width, f.decimals});
  }
  return fields;
}

std::vector<TagSpec> UserIndexTags() {
  return {{"USERTAG", "DTOS(START_DATE)+START_TIME",
           ".NOT.DELETED().AND.(UPPER(CLIENT)=\"ACME   \")", 0, engine::kAscending},
          {"DEFTAG", "DTOS(END_DATE ) + END_TIME", ".NOT. DELETED()", 0, engine::kAscending}};
}

void RemoveTableFiles(const std::string& base) {
  for (const char* extension : {".dbf", ".mdx", ".dbt"}) std::remove((base + extension).c_str());
}

// Appends every row under one append lock, as a bulk load does.
void AppendAllRows(Table& table) {
  std::vector<engine::Field> fields;
  for (int i = 1; i <= core::kTimeRecordFieldCount; ++i) fields.push_back(*table.FieldAt(i));
  if (table.LockAppend() != 0) Die("append lock refused");
  for (const TimeRecordRow& row : BenchRows()) {
    table.AppendStart();
    for (std::size_t f = 0; f < fields.size(); ++f) fields[f].AssignText(row.fields[f]);
    // The new record keeps the buffer's deletion mark: set it either way.
    if (row.deleted) {
      table.Delete();
    } else {
      table.Recall();
    }
    if (table.Append() != 0) Die("append failed");
  }
  if (table.Unlock() != 0) Die("unlock failed");
}

std::unique_ptr<Table> CreateTable(TableEngine& engine, const std::string& base,
                                   const std::vector<TagSpec>& tags) {
  RemoveTableFiles(base);
  std::unique_ptr<Table> table =
      Table::Create(engine, base + ".dbf", TimeRecordFields(), tags);
  if (!table) Die("cannot create " + base + ".dbf: error " + std::to_string(engine.error_code()));
  return table;
}

// The rows without an index (for building one), made once.
const std::string& PlainTable() {
  static const std::string path = [] {
    TableEngine engine;
    const std::string base = BenchFile("plain");
    std::unique_ptr<Table> table = CreateTable(engine, base, {});
    AppendAllRows(*table);
    table->Close();
    return base + ".dbf";
  }();
  return path;
}

// The rows with the two tags as their production index, made once.
const std::string& IndexedTable() {
  static const std::string path = [] {
    TableEngine engine;
    const std::string base = BenchFile("indexed");
    std::unique_ptr<Table> table = CreateTable(engine, base, UserIndexTags());
    AppendAllRows(*table);
    table->Close();
    return base + ".dbf";
  }();
  return path;
}

// Existing keys of DEFTAG (records that are not deleted), in random order.
const std::vector<std::string>& SeekKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> out;
    std::mt19937 random(7);
    const auto& rows = BenchRows();
    while (out.size() < kSeeksPerIteration) {
      const TimeRecordRow& row = rows[random() % rows.size()];
      if (!row.deleted) out.push_back(row.end_key);
    }
    return out;
  }();
  return keys;
}

void OursCreateIndex(benchmark::State& state) {
  TableEngine engine;
  engine.settings().auto_open = false;
  std::unique_ptr<Table> table = Table::Open(engine, PlainTable());
  if (!table) Die("cannot open the plain table");
  const std::string index_path = BenchFile("user.mdx");
  for (auto _ : state) {
    state.PauseTiming();
    if (engine::IndexFile* open = table->FindIndexFile(index_path)) table->CloseIndexFile(*open);
    std::remove(index_path.c_str());
    state.ResumeTiming();
    if (table->CreateIndexFile(index_path, UserIndexTags()) != 0) Die("index creation failed");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * BenchRows().size()));
}

void OursAppend(benchmark::State& state) {
  const std::string base = BenchFile("append");
  for (auto _ : state) {
    TableEngine engine;
    std::unique_ptr<Table> table = CreateTable(engine, base, UserIndexTags());
    AppendAllRows(*table);
    table->Close();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * BenchRows().size()));
}

std::unique_ptr<Table> OpenOnDefTag(TableEngine& engine) {
  std::unique_ptr<Table> table = Table::Open(engine, IndexedTable());
  if (!table) Die("cannot open the indexed table");
  std::optional<engine::Tag> tag = table->TagByName("DEFTAG");
  if (!tag || table->SelectTag(tag) != 0) Die("no DEFTAG");
  return table;
}

void OursSeek(benchmark::State& state) {
  TableEngine engine;
  std::unique_ptr<Table> table = OpenOnDefTag(engine);
  const auto& keys = SeekKeys();
  std::size_t missed = 0;
  for (auto _ : state) {
    for (const std::string& key : keys) missed += table->Seek(key) != engine::kSuccess;
  }
  if (missed) Die("seeks missed " + std::to_string(missed) + " keys");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * keys.size()));
}

void OursScan(benchmark::State& state) {
  TableEngine engine;
  std::unique_ptr<Table> table = OpenOnDefTag(engine);
  const auto& fields = table->layout().fields();
  const std::size_t person = fields[core::kFieldPerson].offset;
  const std::size_t client = fields[core::kFieldClient].offset;
  const std::size_t end_date = fields[core::kFieldEndDate].offset;
  std::size_t records = 0;
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (int moved = table->Top(); moved == engine::kSuccess; moved = table->Skip()) {
      const char* record = table->record().data();
      bytes += static_cast<unsigned char>(record[person]) +
               static_cast<unsigned char>(record[client]) +
               static_cast<unsigned char>(record[end_date + 7]);
      ++records;
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(records));
}

// --- SQLite ------------------------------------------------------------------------

class Database {
 public:
  explicit Database(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) Die("sqlite3_open " + path);
    Exec("PRAGMA synchronous=OFF");
  }
  ~Database() { sqlite3_close(db_); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      Die(sql + ": " + (error ? error : "?"));
    }
  }
  sqlite3_stmt* Prepare(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      Die(sql + ": " + sqlite3_errmsg(db_));
    }
    return statement;
  }

 private:
  sqlite3* db_ = nullptr;
};

constexpr char kCreateTable[] =
    "CREATE TABLE t(person TEXT, client TEXT, project TEXT, subproject TEXT, task TEXT, "
    "rate REAL, expense REAL, start_date TEXT, start_time TEXT, end_date TEXT, end_time TEXT, "
    "pause_dur INTEGER, billable INTEGER, edited INTEGER, invoice INTEGER, descstart TEXT, "
    "descend TEXT, deleted INTEGER)";
constexpr char kCreateIndexes[] =
    "CREATE INDEX usertag ON t(start_date || start_time) "
    "WHERE deleted = 0 AND upper(client) = 'ACME';"
    "CREATE INDEX deftag ON t(end_date || end_time) WHERE deleted = 0";

std::string_view Trimmed(const std::string& text) {
  std::string_view view(text);
  while (!view.empty() && view.back() == ' ') view.remove_suffix(1);
  while (!view.empty() && view.front() == ' ') view.remove_prefix(1);
  return view;
}

void InsertAllRows(Database& db) {
  db.Exec("BEGIN");
  sqlite3_stmt* insert =
      db.Prepare("INSERT INTO t VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, "
                 "?14, ?15, ?16, ?17, ?18)");
  for (const TimeRecordRow& row : BenchRows()) {
    for (int f = 0; f < core::kTimeRecordFieldCount; ++f) {
      const std::string_view text = Trimmed(row.fields[static_cast<std::size_t>(f)]);
      switch (core::kTimeRecordTableFields[static_cast<std::size_t>(f)].type) {
        case 'N': sqlite3_bind_double(insert, f + 1, std::strtod(std::string(text).c_str(), nullptr)); break;
        case 'L': sqlite3_bind_int(insert, f + 1, text == "T"); break;
        default:
          sqlite3_bind_text(insert, f + 1, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
      }
    }
    sqlite3_bind_int(insert, 18, row.deleted);
    if (sqlite3_step(insert) != SQLITE_DONE) Die("insert failed");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  db.Exec("COMMIT");
}

std::string FreshDatabase(const std::string& name, bool with_indexes) {
  const std::string path = BenchFile(name);
  std::remove(path.c_str());
  Database db(path);
  db.Exec(kCreateTable);
  if (with_indexes) db.Exec(kCreateIndexes);
  InsertAllRows(db);
  return path;
}

const std::string& PlainDatabase() {
  static const std::string path = FreshDatabase("plain.sqlite", false);
  return path;
}

const std::string& IndexedDatabase() {
  static const std::string path = FreshDatabase("indexed.sqlite", true);
  return path;
}

void SqliteCreateIndex(benchmark::State& state) {
  Database db(PlainDatabase());
  for (auto _ : state) {
    state.PauseTiming();
    db.Exec("DROP INDEX IF EXISTS usertag; DROP INDEX IF EXISTS deftag");
    state.ResumeTiming();
    db.Exec(kCreateIndexes);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * BenchRows().size()));
}

void SqliteAppend(benchmark::State& state) {
  for (auto _ : state) FreshDatabase("append.sqlite", true);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * BenchRows().size()));
}

void SqliteSeek(benchmark::State& state) {
  Database db(IndexedDatabase());
  sqlite3_stmt* seek =
      db.Prepare("SELECT rowid FROM t WHERE end_date || end_time = ?1 AND deleted = 0");
  const auto& keys = SeekKeys();
  std::size_t missed = 0;
  for (auto _ : state) {
    for (const std::string& key : keys) {
      sqlite3_bind_text(seek, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
      missed += sqlite3_step(seek) != SQLITE_ROW;
      sqlite3_reset(seek);
    }
  }
  sqlite3_finalize(seek);
  if (missed) Die("sqlite seeks missed " + std::to_string(missed) + " keys");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * keys.size()));
}

void SqliteScan(benchmark::State& state) {
  Database db(IndexedDatabase());
  sqlite3_stmt* scan = db.Prepare(
      "SELECT person, client, end_date FROM t WHERE deleted = 0 ORDER BY end_date || end_time");
  std::size_t records = 0;
  for (auto _ : state) {
    std::size_t bytes = 0;
    while (sqlite3_step(scan) == SQLITE_ROW) {
      for (int column = 0; column < 3; ++column) {
        const unsigned char* text = sqlite3_column_text(scan, column);
        bytes += text ? text[0] : 0;
      }
      ++records;
    }
    sqlite3_reset(scan);
    benchmark::DoNotOptimize(bytes);
  }
  sqlite3_finalize(scan);
  state.SetItemsProcessed(static_cast<std::int64_t>(records));
}

// --- The comparison table ------------------------------------------------------------

struct Line {
  const char* name;
  const char* target;  // what our engine should reach
  double limit;        // seconds per iteration (create) or items per second
  bool rate;
};

constexpr Line kLines[] = {
    {"create_index", "<= 0.15 s", 0.15, false},
    {"append", ">= 150,000/s", 150000, true},
    {"seek", ">= 500,000/s", 500000, true},
    {"scan", ">= 1,500,000/s", 1500000, true},
};

// Collects each run's real and CPU seconds per iteration and the items
// (rows, seeks) of one iteration. Other processes on the machine stretch
// the real time; the CPU time is this process's own.
class ComparingReporter : public benchmark::ConsoleReporter {
 public:
  struct Figures {
    double real = 0;  // seconds per iteration
    double cpu = 0;
    double items = 0;  // per iteration
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      Figures figures;
      const double iterations = static_cast<double>(run.iterations);
      figures.real = run.real_accumulated_time / iterations;
      figures.cpu = run.cpu_accumulated_time / iterations;
      auto items = run.counters.find("items_per_second");
      if (items != run.counters.end()) figures.items = items->second * figures.cpu;
      figures_[run.benchmark_name()] = figures;
    }
  }

  void PrintComparison() const {
    std::printf("\n%zu rows; times per run of the line in ms (real / CPU); rates per second of "
                "real time (CPU time)\n", BenchRowCount());
    std::printf("%-13s %19s %19s %12s %23s  %s\n", "line", "ours ms", "sqlite ms",
                "ours/sqlite", "ours rate", "target (real time)");
    for (const Line& line : kLines) {
      auto ours = figures_.find(std::string(line.name) + "/ours");
      auto sqlite = figures_.find(std::string(line.name) + "/sqlite");
      if (ours == figures_.end() || sqlite == figures_.end()) continue;
      const Figures& a = ours->second;
      const Figures& b = sqlite->second;
      const double rate = a.items / a.real;
      const double cpu_rate = a.items / a.cpu;
      const bool met = line.rate ? rate >= line.limit : a.real <= line.limit;
      const bool met_cpu = line.rate ? cpu_rate >= line.limit : a.cpu <= line.limit;
      std::printf("%-13s %9.1f / %7.1f %9.1f / %7.1f %6.2f/%5.2f %11.0f (%9.0f)  %s %s\n",
                  line.name, a.real * 1000, a.cpu * 1000, b.real * 1000, b.cpu * 1000,
                  a.real / b.real, a.cpu / b.cpu, rate, cpu_rate, line.target,
                  met ? "met" : met_cpu ? "met in CPU time only" : "MISSED");
    }
  }

 private:
  std::map<std::string, Figures> figures_;
};

void Register() {
  struct Entry {
    const char* name;
    void (*run)(benchmark::State&);
  };
  const Entry entries[] = {
      {"create_index/ours", OursCreateIndex}, {"create_index/sqlite", SqliteCreateIndex},
      {"append/ours", OursAppend},            {"append/sqlite", SqliteAppend},
      {"seek/ours", OursSeek},                {"seek/sqlite", SqliteSeek},
      {"scan/ours", OursScan},                {"scan/sqlite", SqliteScan},
  };
  for (const Entry& entry : entries) {
    benchmark::RegisterBenchmark(entry.name, entry.run)->Unit(benchmark::kMillisecond);
  }
}

}  // namespace
}  // namespace qm::bench

int main(int argc, char** argv) {
  qm::bench::Register();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // The rows and the tables that the lines read are made before any timing.
  qm::bench::BenchRows();
  qm::bench::ComparingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintComparison();
  benchmark::Shutdown();
  return 0;
}
