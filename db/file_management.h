// File management of whole time record databases: whether a name is free,
// saving a copy under a new name (and renaming as a copy followed by the
// deletion of the old files), deleting a database with its support file.
//
// A copy never leaves a half-written database behind: every new file is
// written under a scratch name beside its final one and renamed into place
// only when complete. The support file goes first, the records last, so
// the new database exists only once both are whole.
#pragma once

#include <string>

#include "db/time_record_db.h"

namespace qm::db {

inline constexpr int kCannotAccessFiles = 158;  // a database file cannot be deleted
inline constexpr int kNameTaken = 334;

// The files that belong to database N.dbf: N.dbf, N.SPT, N.mdx, N.dbt.
std::vector<std::string> CompanionFiles(const std::string& database_file);
// 1 when none of the companion names exists, else 0.
int NameIsFree(const std::string& database_file);
// Deletes N.dbf and N.SPT; 0, or 158 after message 158.
int DeleteDatabaseFiles(const std::string& database_file);

// Copies the open database (its support file, then its records without the
// deleted ones) to `new_file`, whose companion names must be free. 0, 334
// when they are not (nothing shown), or 336 after message 336; on failure
// nothing of the new name is left.
int CopyDatabaseFiles(TimeRecordDb& db, const std::string& new_file);

}  // namespace qm::db
