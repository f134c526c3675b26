#include "db/table_reporter.h"

#include <iostream>

#include "app/error_reporter.h"

namespace qm::db {

// Without an installed reporter (a tool or test working on the files
// directly) a message is written to stderr, so that it is never lost.
void ErrorTableReporter::ShowMessage(int number, std::string_view file) {
  if (!app::HasReporter()) {
    std::cerr << "quillmk: message " << number << " (" << file << ")\n";
    return;
  }
  app::Reporter().ShowMessageWithText(number, file);
}

void ErrorTableReporter::ReportDatabaseError(std::string_view file, int fallback) {
  if (!app::HasReporter()) {
    std::cerr << "quillmk: database error, message " << fallback << " (" << file << ")\n";
    return;
  }
  app::Reporter().ReportDatabaseError(file, fallback);
}

ErrorTableReporter& RunTableReporter() {
  static ErrorTableReporter reporter;
  return reporter;
}

}  // namespace qm::db
