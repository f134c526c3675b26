#include "view/user_index.h"

namespace qm::view {

UserIndex::UserIndex(db::TimeRecordDb& db, app::CSettings& settings, FilterScope scope)
    : db_(&db), settings_(&settings), scope_(std::move(scope)) {}

UserIndex::~UserIndex() = default;

int UserIndex::ApplyFilterAndSort(std::optional<SortOrder>, std::optional<RecordFilter>) {
  return 0;
}

int UserIndex::RebuildFromSettings() {
  db_->RememberChangeCounter();
  return ApplyFilterAndSort(std::nullopt, std::nullopt);
}

void UserIndex::CloseUserIndex() { open_ = false; }

int UserIndex::ReindexUserIndex() { return 0; }

bool UserIndex::PollForIndexChanges() { return db_->PollForChange() == 1; }

int UserIndex::SetFilterEnabled(int enabled) { return enabled; }

bool UserIndex::IsInFilteredSet(engine::RecordNumber) { return true; }

}  // namespace qm::view
