#include "bench/time_record_rows.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

namespace qm::bench {
namespace {

constexpr const char* kPersons[] = {"Ann Smith", "Bob Jones", "Carla Diaz", "Dev Patel",
                                    "Eve Martin", "Frank Li"};
constexpr const char* kClients[] = {"ACME", "Globex Corporation", "Initech", "Umbrella Ltd",
                                    "Hooli", "Stark Industries", "Wayne Enterprises",
                                    "Tyrell Corp", "Cyberdyne Systems", "Soylent Inc"};
constexpr const char* kProjects[] = {"Website relaunch", "Annual audit", "Data migration",
                                     "Support contract", "Mobile app", "Training",
                                     "Network upgrade", "Tax return"};
constexpr const char* kSubprojects[] = {"", "Phase 1", "Phase 2", "Design", "Testing",
                                        "Rollout"};
constexpr const char* kTasks[] = {"Meeting", "Programming", "Travel", "Research",
                                  "Documentation", "Phone call", "Review"};
constexpr const char* kRates[] = {"85.00", "95.00", "120.00", "65.50", "150.00"};
constexpr const char* kPhrases[] = {
    "Call with the client about the open points of the last review",
    "Fixed the import of the address list and checked the totals",
    "Prepared the slides for the steering committee",
    "Travel to the site, inspection of the server room",
    "Went through the change requests and estimated the effort",
    "Wrote the test plan for the second phase",
    "Reviewed invoices from September and corrected two entries",
    "Workshop with the accounting team on the new chart of accounts"};

std::string Padded(std::string text, int width) {
  text.resize(static_cast<std::size_t>(width), ' ');
  return text;
}

std::string RightAligned(const std::string& text, int width) {
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

std::string DateText(int day_number) {
  // Day 0 is 2021-01-04; a civil date from a day count (proleptic Gregorian).
  const std::int64_t z = 18631 + day_number + 719468;  // days since 1970 + shift
  const std::int64_t era = z / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2));
  char text[40];
  std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
  return text;
}

std::string TimeText(int minute_of_day) {
  char text[40];
  std::snprintf(text, sizeof text, "%02d:%02d:00", minute_of_day / 60, minute_of_day % 60);
  return text;
}

std::vector<TimeRecordRow> MakeRows(std::size_t count) {
  using namespace core;
  std::mt19937 random(20240515);
  auto pick = [&random](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  std::vector<TimeRecordRow> rows(count);
  for (std::size_t i = 0; i < count; ++i) {
    TimeRecordRow& row = rows[i];
    auto set = [&row](int field, const std::string& text) {
      row.fields[static_cast<std::size_t>(field)] =
          Padded(text, kTimeRecordTableFields[static_cast<std::size_t>(field)].width);
    };
    // About four records a day and person, spread over the years.
    const int day = static_cast<int>(i / 12) + static_cast<int>(pick(3));
    const int start = 7 * 60 + static_cast<int>(pick(11 * 60));
    const int length = 5 + static_cast<int>(pick(240));
    const int end = start + length;
    set(kFieldPerson, kPersons[pick(std::size(kPersons))]);
    set(kFieldClient, kClients[pick(std::size(kClients))]);
    set(kFieldProject, kProjects[pick(std::size(kProjects))]);
    set(kFieldSubproject, kSubprojects[pick(std::size(kSubprojects))]);
    set(kFieldTask, kTasks[pick(std::size(kTasks))]);
    row.fields[kFieldRate] = RightAligned(kRates[pick(std::size(kRates))], 11);
    row.fields[kFieldExpense] =
        RightAligned(pick(5) == 0 ? std::to_string(pick(200)) + ".50" : "0.00", 11);
    set(kFieldStartDate, DateText(day));
    set(kFieldStartTime, TimeText(start % (24 * 60)));
    set(kFieldEndDate, DateText(day + end / (24 * 60)));
    set(kFieldEndTime, TimeText(end % (24 * 60)));
    row.fields[kFieldPauseDuration] = RightAligned(pick(4) == 0 ? "900" : "0", 7);
    set(kFieldBillable, pick(5) ? "T" : "F");
    set(kFieldEdited, pick(10) ? "F" : "T");
    row.fields[kFieldInvoice] = RightAligned(pick(3) ? "0" : std::to_string(1000 + i / 500), 9);
    std::string description = kPhrases[pick(std::size(kPhrases))];
    if (pick(2)) description += "; " + std::string(kPhrases[pick(std::size(kPhrases))]);
    set(kFieldDescriptionStart, description);
    set(kFieldDescriptionEnd, "");
    row.deleted = pick(50) == 0;
    row.start_key = row.fields[kFieldStartDate] + row.fields[kFieldStartTime];
    row.end_key = row.fields[kFieldEndDate] + row.fields[kFieldEndTime];
  }
  return rows;
}

class Folder {
 public:
  Folder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/qm-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    path_ = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

std::size_t BenchRowCount() {
  static const std::size_t count = [] {
    const char* text = std::getenv("QM_BENCH_ROWS");
    const long long value = text ? std::atoll(text) : 0;
    return value > 0 ? static_cast<std::size_t>(value) : std::size_t{100000};
  }();
  return count;
}

const std::vector<TimeRecordRow>& BenchRows() {
  static const std::vector<TimeRecordRow> rows = MakeRows(BenchRowCount());
  return rows;
}

const std::string& BenchFolder() {
  static const Folder folder;
  return folder.path();
}

std::string BenchFile(const std::string& name) { return BenchFolder() + "/" + name; }

}  // namespace qm::bench
