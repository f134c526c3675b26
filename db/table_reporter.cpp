#include "db/table_reporter.h"

#include "app/error_reporter.h"

namespace qm::db {

void ErrorTableReporter::ShowMessage(int number, std::string_view file) {
  app::Reporter().ShowMessageWithText(number, file);
}

void ErrorTableReporter::ReportDatabaseError(std::string_view file, int fallback) {
  app::Reporter().ReportDatabaseError(file, fallback);
}

ErrorTableReporter& RunTableReporter() {
  static ErrorTableReporter reporter;
  return reporter;
}

}  // namespace qm::db
