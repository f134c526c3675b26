#include "engine/engine.h"

#include <algorithm>
#include <cerrno>

#include "engine/table.h"

namespace qm::engine {

FileStatus FileStatusFromSystem(const platform::Status& status, int fallback) {
  switch (status.system_error()) {
    case ENOENT:
    case ENOTDIR:
      return FileStatus::Error(kErrorOpen, status.message());
    case EACCES:
    case EPERM:
    case EROFS:
      return FileStatus::Error(kErrorPermission, status.message());
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return FileStatus::Error(kErrorWrite, status.message());
    case ENOMEM:
      return FileStatus::Error(kErrorMemory, status.message());
    default:
      return FileStatus::Error(fallback, status.message());
  }
}

TableEngine::~TableEngine() { CloseAllTables(); }

int TableEngine::Report(int code, int where, std::string_view text1, std::string_view text2,
                        std::string_view text3) {
  error_code_ = code;
  if (code < 0 && error_hook_) error_hook_(code, where, text1, text2, text3);
  return code;
}

void TableEngine::Repaint() const {
  if (repaint_) repaint_();
}

void TableEngine::CloseAllTables() {
  // Closing unregisters, so work on a copy.
  const std::vector<Table*> tables = open_tables_;
  for (Table* table : tables) table->Close();
  open_tables_.clear();
}

Table* TableEngine::FindAlias(std::string_view alias) const {
  for (Table* table : open_tables_) {
    if (table->Alias() == alias) return table;
  }
  return nullptr;
}

void TableEngine::Register(Table* table) {
  if (std::find(open_tables_.begin(), open_tables_.end(), table) == open_tables_.end())
    open_tables_.push_back(table);
}

void TableEngine::Unregister(Table* table) {
  open_tables_.erase(std::remove(open_tables_.begin(), open_tables_.end(), table),
                     open_tables_.end());
}

}  // namespace qm::engine
