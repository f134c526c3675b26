#include "db/temporary_index_name.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "app/error_reporter.h"
#include "engine/file_lock.h"
#include "engine/raw_file.h"
#include "platform/paths.h"

namespace qm::db {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kModule = "UserIndex";

// True when `path` does not exist or was a leftover that is now deleted.
bool ClaimName(const std::string& path) {
  const std::optional<std::string> existing = platform::FindFileIgnoringCase(path);
  if (!existing) return true;
  {
    engine::RawFile file;
    if (!file.Open(*existing, engine::RawFile::Mode::kReadWriteOrReadOnly).ok()) return false;
    if (engine::IsOpenElsewhere(file.fd())) return false;
  }
  std::error_code error;
  fs::remove(*existing, error);
  return !error && !fs::exists(*existing, error);
}

}  // namespace

std::string TemporaryIndexBase(std::string_view person) {
  std::string base;
  for (char c : person) {
    if (base.size() == 8) break;
    if (std::isalnum(static_cast<unsigned char>(c))) base.push_back(c);
  }
  return base.empty() ? "QUILLMK" : base;
}

std::string TemporaryIndexCandidate(const std::string& directory, std::string_view person,
                                    int number) {
  char extension[8];
  if (number == 0) {
    std::snprintf(extension, sizeof extension, ".tmp");
  } else {
    std::snprintf(extension, sizeof extension, ".t%02d", number);
  }
  return (fs::path(directory) / (TemporaryIndexBase(person) + extension)).string();
}

std::string ChooseTemporaryIndexName(const std::string& directory, std::string_view person) {
  for (int number = 0; number <= kLastTemporaryIndexNumber; ++number) {
    std::string candidate = TemporaryIndexCandidate(directory, person, number);
    if (ClaimName(candidate)) return candidate;
  }
  if (app::HasReporter()) app::Reporter().ReportInternalError(kModule, __LINE__);
  return TemporaryIndexCandidate(directory, person, kLastTemporaryIndexNumber);
}

}  // namespace qm::db
