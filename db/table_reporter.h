// ErrorTableReporter: the table layer's messages shown through the
// program's error reporter (the one installed for the run).
#pragma once

#include <string_view>

#include "engine/db_table.h"

namespace qm::db {

class ErrorTableReporter final : public engine::TableReporter {
 public:
  void ShowMessage(int number, std::string_view file) override;
  void ReportDatabaseError(std::string_view file, int fallback) override;
};

// The reporter every database object of the run shares.
ErrorTableReporter& RunTableReporter();

}  // namespace qm::db
