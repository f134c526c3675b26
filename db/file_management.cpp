#include "db/file_management.h"

#include <filesystem>

#include "app/error_reporter.h"
#include "app/message_format.h"

namespace qm::db {
namespace {

namespace fs = std::filesystem;

std::string WithExtension(const std::string& file, const char* extension) {
  fs::path path(file);
  path.replace_extension(extension);
  return path.string();
}

}  // namespace

std::vector<std::string> CompanionFiles(const std::string& database_file) {
  return {database_file, SupportFileName(database_file), WithExtension(database_file, ".mdx"),
          WithExtension(database_file, ".dbt")};
}

int NameIsFree(const std::string& database_file) {
  std::error_code error;
  for (const std::string& name : CompanionFiles(database_file)) {
    if (fs::exists(name, error)) return 0;
  }
  return 1;
}

int DeleteDatabaseFiles(const std::string& database_file) {
  std::error_code error;
  for (const std::string& name : {database_file, SupportFileName(database_file)}) {
    if (fs::exists(name, error) && !fs::remove(name, error)) {
      if (app::HasReporter()) app::Reporter().ShowMessage(kCannotAccessFiles);
      return kCannotAccessFiles;
    }
  }
  return 0;
}

int CopyDatabaseFiles(TimeRecordDb& db, const std::string& new_file) {
  if (!NameIsFree(new_file)) return kNameTaken;
  const std::string old_support = db.support_file();
  const std::string new_support = SupportFileName(new_file);
  const std::string scratch_support = new_support + ".cpy";
  std::error_code error;
  db.support().FlushSupport();
  fs::copy_file(old_support, scratch_support, fs::copy_options::overwrite_existing, error);
  if (!error) fs::rename(scratch_support, new_support, error);
  if (error) {
    fs::remove(scratch_support, error);
    if (app::HasReporter()) {
      app::Reporter().ShowText(app::FormatMessageText(
          app::Reporter().LoadText(kCopyFailed).value_or(""), {old_support, new_support}));
    }
    return kCopyFailed;
  }
  if (int result = db.CopyDatabaseTo(new_file); result != 0) {
    fs::remove(new_support, error);
    return result;
  }
  return 0;
}

}  // namespace qm::db
