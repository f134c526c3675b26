#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/view/filter_test_env.h"
#include "view/find_filter.h"
#include "view/invoice_filter.h"

namespace qm::view {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FindInvoiceFilterTest : public ::testing::Test, protected test::FilterTestEnv {};

TEST_F(FindInvoiceFilterTest, FindSearchesTheDescriptorsAndTheDescription) {
  const RecordFilter find = MakeFindFilter("CALL");
  EXPECT_EQ(find.enabled, 1);
  EXPECT_EQ(find.RowsInUse(), 6);
  const int expected_fields[] = {kFieldActivity, kFieldSubproject, kFieldProject,
                                 kFieldClient,   kFieldPerson,     kFieldDescription};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(find.rows[i].field, expected_fields[i]);
    EXPECT_EQ(find.rows[i].comparison, kCompareContains);
    EXPECT_EQ(find.rows[i].target, "CALL");
    EXPECT_EQ(find.rows[i].link, i < 5 ? kLinkOr : kLinkEnd);
  }
  EXPECT_EQ(MakeFindFilter(std::string(50, 'x')).rows[0].target.size(), kMaxFindText);

  // "call" is record 2's activity and part of record 1's description.
  ASSERT_EQ(ApplyFindFilter(index_, "Call"), 0);
  EXPECT_THAT(TasksInOrder(), ElementsAre("design", "call"));
  EXPECT_EQ(LoadFilter(settings_), MakeFindFilter("Call"));
  ASSERT_EQ(ApplyFindFilter(index_, "JON"), 0);
  EXPECT_THAT(TasksInOrder(), ElementsAre("review", "visit"));
}

TEST_F(FindInvoiceFilterTest, EmptyTextIsRefusedAndAClearBoxOnlyDisables) {
  ASSERT_EQ(ApplyFindFilter(index_, "acme"), 0);
  EXPECT_EQ(ApplyFindFilter(index_, ""), kFindTextMissing);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(kFindTextMissing));
  EXPECT_EQ(TasksInOrder().size(), 3u);

  ASSERT_EQ(ApplyFindFilter(index_, "zeta", false), 0);
  EXPECT_EQ(TasksInOrder().size(), 5u);
  const RecordFilter kept = LoadFilter(settings_);
  EXPECT_EQ(kept.enabled, 0);
  EXPECT_EQ(kept.rows[0].target, "acme") << "the rows stay, only disabled";
}

TEST_F(FindInvoiceFilterTest, DefaultInvoiceFilterTakesTheClientsUnbilledBillableRecords) {
  const RecordFilter filter = MakeInvoiceFilter(dir_.path(), "Acme");
  EXPECT_EQ(filter.enabled, 1);
  EXPECT_EQ(filter.rows[0], (FilterRow{kFieldClient, kCompareEqual, "Acme", kLinkAnd}));
  EXPECT_EQ(filter.rows[1], (FilterRow{kFieldBillable, kCompareEqual, "Yes", kLinkAnd}));
  EXPECT_EQ(filter.rows[2], (FilterRow{kFieldInvoice, kCompareEqual, "Not Billed", kLinkEnd}));

  // Record 3 is not billable, record 4 is billed already.
  ASSERT_EQ(ApplyInvoiceFilter(index_, dir_.path(), "Acme"), 0);
  EXPECT_THAT(TasksInOrder(), ElementsAre("design"));
  EXPECT_EQ(LoadFilter(settings_), filter);
}

TEST_F(FindInvoiceFilterTest, EnvironmentFileReplacesTheDefaultWithTheClientInRowOne) {
  std::ofstream(dir_.File("INVOICE.env"))
      << "[Index]\nEnabled=1\nField0=1\nComparison0=2\nLink0=1\nTarget0=nobody\n"
         "Field1=9\nComparison1=5\nLink1=0\nTarget1=Not Billed\n";
  const RecordFilter filter = MakeInvoiceFilter(dir_.path(), "Acme");
  EXPECT_EQ(filter.RowsInUse(), 2);
  EXPECT_EQ(filter.rows[0].target, "Acme");
  EXPECT_EQ(filter.rows[1], (FilterRow{kFieldInvoice, kCompareNotEqual, "Not Billed", kLinkEnd}));
  ASSERT_EQ(ApplyInvoiceFilter(index_, dir_.path(), "Acme"), 0);
  EXPECT_THAT(TasksInOrder(), ElementsAre("build"));
}

TEST_F(FindInvoiceFilterTest, MenuListsTheFirstTwentyClientsOnce) {
  db::DescriptorCache cache;
  auto add = [&](std::string value, int kind) { cache.entries.push_back({std::move(value), kind, "", -1}); };
  add("Smith", kFieldPerson);
  add(" ", kFieldClient);
  add("Acme", kFieldClient);
  add("Acme", kFieldClient);
  add("B&Q", kFieldClient);
  for (int i = 0; i < 20; ++i) add("Client " + std::to_string(i + 10), kFieldClient);
  add("Design", kFieldProject);
  cache.first = {0, 1, 25, 26, 26, 26, 26};

  const std::vector<InvoiceFilterMenuEntry> menu = BuildInvoiceFilterMenu(cache);
  ASSERT_EQ(menu.size(), 19u) << "20 clients, one repeated";
  EXPECT_EQ(menu[0].command, 33000);
  EXPECT_EQ(menu[0].label, "Invoice Filter for &[Blank Client]");
  EXPECT_EQ(menu[0].client, "");
  EXPECT_EQ(menu[1].label, "Invoice Filter for &Acme");
  EXPECT_EQ(menu[1].command, 33001);
  EXPECT_EQ(menu[2].label, "Invoice Filter for &B&&Q");
  EXPECT_EQ(menu[2].client, "B&Q");
  EXPECT_EQ(menu[2].command, 33003);
  EXPECT_EQ(menu.back().label, "Invoice Filter for &Client 25");
  EXPECT_EQ(menu.back().command, 33019);

  EXPECT_THAT(BuildInvoiceFilterMenu(db::DescriptorCache{}), IsEmpty());
  EXPECT_EQ(BuildInvoiceFilterMenu(descriptors_.LoadedCache()).size(), 3u);
}

}  // namespace
}  // namespace qm::view
