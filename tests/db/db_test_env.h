// The surroundings every database test needs: a scratch folder, a scripted
// user interface behind an installed error reporter, and a table engine
// whose errors reach that reporter.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

#include "app/error_reporter.h"
#include "db/table_reporter.h"
#include "engine/engine.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::db::test {

class DbTestEnv {
 public:
  DbTestEnv() : reporter_(ui_, dir_.File("quillmk.ini")), installed_(reporter_) {
    reporter_.SetUserName("Alice");
    engine_.SetErrorHook(app::EngineErrorHook);
    engine_.settings().lock_attempts = 3;
    engine_.settings().lock_delay = 1;
  }

  qm::test::TempDir dir_;
  qm::test::ScriptedUserInterface ui_;
  app::ErrorReporter reporter_;
  app::ScopedReporter installed_;
  engine::TableEngine engine_;
  ErrorTableReporter table_reporter_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace qm::db::test
