#include "view/user_index.h"

#include <filesystem>

#include "app/error_reporter.h"
#include "db/temporary_index_name.h"
#include "engine/engine.h"
#include "engine/tag_spec.h"

namespace qm::view {
namespace {

constexpr std::string_view kModule = "UserIndex";
// The longest filter expression an index is built with.
constexpr std::size_t kLongestFilterExpression = 255;

// The wait cursor for the length of one index build.
class ScopedWaitCursor {
 public:
  explicit ScopedWaitCursor(platform::UserInterface* ui) : ui_(ui) {
    if (ui_ != nullptr) ui_->SetWaitCursor(true);
  }
  ~ScopedWaitCursor() {
    if (ui_ != nullptr) ui_->SetWaitCursor(false);
  }
  ScopedWaitCursor(const ScopedWaitCursor&) = delete;
  ScopedWaitCursor& operator=(const ScopedWaitCursor&) = delete;

 private:
  platform::UserInterface* ui_;  // not owned
};

// Whatever the engine answers when another open holds the file.
bool IsLockConflict(int result) {
  return result == engine::kErrorLock || result == engine::kLocked ||
         result == engine::kErrorAccess;
}

std::vector<engine::TagSpec> IndexTags(const std::string& sort_key,
                                       const std::string& filter_expression, bool descending) {
  return {
      {std::string(kUserTagName), sort_key, filter_expression, 0,
       descending ? engine::kDescending : engine::kAscending},
      {std::string(db::kEndTimeTagName), std::string(db::kEndTimeKey),
       std::string(db::kNotDeletedFilter), 0, engine::kAscending},
  };
}

}  // namespace

UserIndex::UserIndex(db::TimeRecordDb& db, app::CSettings& settings, FilterScope scope)
    : db_(&db), settings_(&settings), scope_(std::move(scope)) {}

UserIndex::~UserIndex() = default;

int UserIndex::ApplyFilterAndSort(std::optional<SortOrder> order,
                                  std::optional<RecordFilter> filter) {
  if (!order) order = LoadSortOrder(*settings_);
  if (!filter) filter = LoadFilter(*settings_);
  const std::string filter_expression = BuildFilterExpression(*filter, scope_);
  const std::string sort_key = BuildSortKey(*order);
  if (filter_expression.size() > kLongestFilterExpression) {
    app::Reporter().ShowMessage(kFilterTooLong);
    return kFilterTooLong;
  }
  if (!db_->IsOpen()) {
    app::Reporter().ReportInternalError(kModule, __LINE__);
    return kIndexNotCreated;
  }
  return BuildIndexFile(IndexTags(sort_key, filter_expression, order->ascending == 0));
}

int UserIndex::BuildIndexFile(const std::vector<engine::TagSpec>& tags) {
  // The old file goes first, so that the name choice finds this run's own
  // name free again instead of stepping past it.
  CloseUserIndex();
  const std::string directory =
      std::filesystem::path(db_->database_file()).parent_path().string();
  app::ErrorReporter& reporter = app::Reporter();
  while (true) {
    file_name_ = db::ChooseTemporaryIndexName(directory, db_->support().user_name());
    int result = 0;
    {
      ScopedWaitCursor wait(ui_);
      reporter.BeginDatabaseOperation();
      result = db_->CreateTemporaryIndex(file_name_, tags);
    }
    if (result == 0) {
      open_ = true;
      NotifyChanged();
      return 0;
    }
    if (!IsLockConflict(result)) break;
    const std::string question = reporter.LoadText(kIndexLockedRetry).value_or("");
    if (reporter.AskYesNo(kIndexLockedRetry, question) != platform::Button::kYes) break;
  }
  reporter.ShowMessageWithText(kIndexNotCreated, file_name_);
  return kIndexNotCreated;
}

int UserIndex::RebuildFromSettings() {
  db_->RememberChangeCounter();
  return ApplyFilterAndSort(std::nullopt, std::nullopt);
}

void UserIndex::CloseUserIndex() {
  // The database's own end-time index (made when it opened) is closed and
  // deleted too: this run keeps one temporary file at a time.
  db_->CloseTemporaryIndex();
  open_ = false;
}

int UserIndex::ReindexUserIndex() {
  if (file_name_.empty() || !open_) return kNoIndexFileName;
  int result = 0;
  {
    ScopedWaitCursor wait(ui_);
    app::Reporter().BeginDatabaseOperation();
    result = db_->ReindexTemporaryIndex();
  }
  if (result != 0) {
    app::Reporter().ShowMessageWithText(kIndexNotReindexed, file_name_);
    return kIndexNotReindexed;
  }
  NotifyChanged();
  return 0;
}

bool UserIndex::PollForIndexChanges() { return db_->PollForChange() == 1; }

int UserIndex::SetFilterEnabled(int enabled) {
  RecordFilter filter = LoadFilter(*settings_);
  const int previous = filter.enabled;
  filter.enabled = enabled;
  if (ApplyFilterAndSort(std::nullopt, filter) == 0) SaveFilter(*settings_, filter);
  return previous;
}

bool UserIndex::IsInFilteredSet(engine::RecordNumber number) {
  return open_ && db_->IsInUserTag(number);
}

void UserIndex::NotifyChanged() {
  if (changed_hook_) changed_hook_();
}

}  // namespace qm::view
