// UserIndex: the temporary index file through which this run sees the open
// time record database.
//
// The file lies beside the database, named after the signed-on person
// (SMITH.tmp, or SMITH.t01 ... SMITH.t98 while another run of the same
// person keeps the earlier names), and holds two tags: USERTAG, the user's
// sort order over the records that pass the filter and the person
// restriction, which is the order everything reads in, and DEFTAG, every
// record not deleted by end time. It exists only while the database is
// open and is built anew, never updated, whenever the filter or the sort
// order changes; other users' changes reach it through the support file's
// change counter (PollForIndexChanges, then ReindexUserIndex).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/settings.h"
#include "db/time_record_db.h"
#include "platform/user_interface.h"
#include "view/record_filter.h"
#include "view/sort_order.h"

namespace qm::view {

inline constexpr std::string_view kUserTagName = db::kUserTagName;

// Messages of the user index.
inline constexpr int kFilterTooLong = 306;
inline constexpr int kIndexNotCreated = 297;
inline constexpr int kIndexLockedRetry = 417;
inline constexpr int kIndexNotReindexed = 416;
inline constexpr int kNoIndexFileName = 272;

class UserIndex {
 public:
  // `settings` is the user's settings file (section "Index").
  UserIndex(db::TimeRecordDb& db, app::CSettings& settings, FilterScope scope);
  ~UserIndex();
  UserIndex(const UserIndex&) = delete;
  UserIndex& operator=(const UserIndex&) = delete;

  // Rebuilds the index file with `order` and `filter`, each loaded from
  // the settings when absent. 0, or 306 (shown; the previous index stays in
  // use) or 297 (shown; the table is left without a user index). A file in
  // use elsewhere asks 417 and tries another name while the answer is Yes.
  int ApplyFilterAndSort(std::optional<SortOrder> order, std::optional<RecordFilter> filter);
  // After a database was opened: notes the change counter and applies the
  // saved definitions.
  int RebuildFromSettings();
  // Closes and deletes the index file (before the database closes).
  void CloseUserIndex();
  // Rebuilds the open file's contents in place: 0, 272 (nothing open, not
  // shown) or 416 (shown).
  int ReindexUserIndex();
  // True when another user changed the database since the last look (the
  // new counter is noted).
  bool PollForIndexChanges();
  // Loads the filter, sets `enabled`, applies it and saves it when that
  // worked. The previous flag.
  int SetFilterEnabled(int enabled);
  // Whether record `number` is reachable in the user's order (not deleted,
  // passing the filter and the person restriction).
  bool IsInFilteredSet(engine::RecordNumber number);

  bool is_open() const { return open_; }
  const std::string& file_name() const { return file_name_; }
  const FilterScope& scope() const { return scope_; }
  app::CSettings& settings() { return *settings_; }
  db::TimeRecordDb& db() { return *db_; }

  // Where the wait cursor shows while the index is built; none by default.
  void set_user_interface(platform::UserInterface& ui) { ui_ = &ui; }

  // Called after every successful rebuild or reindex (the record list
  // clears its selection or re-selects, the summary forgets its figures).
  void set_changed_hook(std::function<void()> hook) { changed_hook_ = std::move(hook); }

 private:
  int BuildIndexFile(const std::vector<engine::TagSpec>& tags);
  void NotifyChanged();

  db::TimeRecordDb* db_;        // not owned
  app::CSettings* settings_;    // not owned
  platform::UserInterface* ui_ = nullptr;  // not owned
  FilterScope scope_;
  std::string file_name_;
  bool open_ = false;
  std::function<void()> changed_hook_;
};

}  // namespace qm::view
