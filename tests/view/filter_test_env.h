// A person's run on a small database, for the tests of the filter and sort
// dialogs, Find and the invoice filter: five records of two persons and
// three clients, a descriptor file, the person's settings file and a user
// index over them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/calendar.h"
#include "core/intl_settings.h"
#include "core/time_record.h"
#include "db/descriptor_db.h"
#include "db/support_db.h"
#include "db/time_record_db.h"
#include "tests/db/db_test_env.h"
#include "view/user_index.h"

namespace qm::view::test {

inline core::TimeRecord Record(std::string_view person, std::string_view client,
                               std::string_view task, int day, int billable, int invoice,
                               std::string_view description = {}) {
  core::TimeRecord record;
  core::ClearTimeRecord(record);
  record.descriptors[core::kPersonDescriptor].assign(person);
  record.descriptors[core::kClientDescriptor].assign(client);
  record.descriptors[core::kActivityDescriptor].assign(task);
  record.start = *core::StampFromFields({2024, 3, day, 9, 0, 0, 0});
  record.end = *core::StampFromFields({2024, 3, day, 10, 0, 0, 0});
  record.billable = billable;
  record.invoice = invoice;
  record.description.assign(description);
  return record;
}

class FilterTestEnv : public db::test::DbTestEnv {
 public:
  explicit FilterTestEnv(FilterScope scope = FilterScope{true, "Smith"}) : index_(db_, settings_, scope) {
    support_.set_user_name("Smith");
    settings_.Bind(dir_.File("Smith.ini"));
    EXPECT_EQ(db_.OpenTimeRecordDb(dir_.File("work.dbf")), 0);
    db_.RememberChangeCounter();
    Add(Record("Smith", "Acme", "design", 4, 1, 0, "first call"));  // 1
    Add(Record("Smith", "Zeta", "call", 5, 1, 0));                  // 2
    Add(Record("Jones", "Acme", "review", 6, 0, 0));                // 3
    Add(Record("Smith", "Acme", "build", 3, 1, 17));                // 4
    Add(Record("Jones", "Orbit", "visit", 7, 1, 0));                // 5
    EXPECT_EQ(descriptors_.OpenDescriptorFile(dir_.File("descript.dbf")), 0);
    for (const char* client : {"Acme", "Orbit", "Zeta"}) {
      EXPECT_EQ(descriptors_.AddDescriptor(client, kFieldClient, false, "", -1), 0);
    }
    EXPECT_EQ(descriptors_.AddDescriptor("Smith", kFieldPerson, false, "", -1), 0);
  }

  void Add(const core::TimeRecord& record) { EXPECT_EQ(db_.AddRecord(record, true), 0); }

  // The activities of the records the user index admits, in its order.
  std::vector<std::string> TasksInOrder() {
    std::vector<std::string> tasks;
    core::TimeRecord record;
    for (int status = db_.FirstRecord(record); status == 0; status = db_.NextRecord(record)) {
      tasks.emplace_back(record.descriptors[core::kActivityDescriptor].view());
    }
    return tasks;
  }

  core::ScopedIntlSettings intl_{core::IntlSettings{}};
  db::SupportDb support_{engine_, table_reporter_};
  db::TimeRecordDb db_{engine_, table_reporter_, support_, {}};
  db::DescriptorDb descriptors_{engine_, table_reporter_};
  app::CSettings settings_;
  UserIndex index_;
};

}  // namespace qm::view::test
