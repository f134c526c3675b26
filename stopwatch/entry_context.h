// EntryContext: what entering time needs of the open program run, handed
// in by the front end (the run itself lives above this folder).
#pragma once

#include <functional>
#include <string>

#include "app/loaded_settings.h"
#include "app/settings.h"
#include "db/descriptor_db.h"
#include "db/support_db.h"
#include "db/time_record_db.h"

namespace qm::stopwatch {

struct EntryContext {
  db::TimeRecordDb& db;          // open, reading in the user's order
  db::SupportDb& support;        // the database's support file, open
  db::DescriptorDb& descriptors; // open
  app::LoadedSettings& settings; // the person's settings (GeneralConfig, names)
  app::CSettings& user_settings; // the person's settings file
  app::CSettings& program_settings;
  std::string user_name;         // the signed-on person
  bool administrator = true;     // access level 240; else the person's own records only
  std::string support_directory; // where "Memorize.txt" lives
  // Called after records were added or changed (the list redraws, the
  // summary forgets its figures).
  std::function<void()> records_changed;
};

}  // namespace qm::stopwatch
