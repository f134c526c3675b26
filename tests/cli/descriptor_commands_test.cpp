#include "cli/descriptor_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/user_interface.h"
#include "tests/cli/cli_test_env.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::cli {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class DescriptorCommandsTest : public CommandTest {
 protected:
  // The descriptor commands need neither a person nor a database.
  DescriptorCommandsTest() {
    user_.clear();
    db_.clear();
  }

  std::string List(std::vector<std::string> args = {}) {
    CommandOutcome listed = Run(RunDescriptorsList, std::move(args));
    EXPECT_EQ(listed.status, kExitOk) << listed.err;
    return listed.out;
  }
  void Add(std::vector<std::string> args) {
    CommandOutcome added = Run(RunDescriptorsAdd, std::move(args));
    ASSERT_EQ(added.status, kExitOk) << added.err;
  }
};

TEST_F(DescriptorCommandsTest, AddedDescriptorsAreListedByKindWithTheirLinks) {
  Add({"client", "Acme"});
  Add({"project", "Design", "--link-to", "1", "Acme"});
  Add({"5", "1234.5"});
  Add({"Client", "acme"});  // the same client again: kept once
  EXPECT_EQ(List(), "Client\tAcme\nProject\tDesign\tClient\tAcme\nHourly Rate\t1,234.50\n");
  EXPECT_EQ(List({"project"}), "Project\tDesign\tClient\tAcme\n");
  options_.json = true;
  EXPECT_EQ(Run(RunDescriptorsList, {"client"}).out,
            "[\n  {\"kind\": 1, \"kind_name\": \"Client\", \"value\": \"Acme\"}\n]\n");
}

TEST_F(DescriptorCommandsTest, KindsGoByTheInstallationsOwnNames) {
  std::ofstream(home_.File("QUILLMK.INI")) << "[Settings]\r\nDescriptorName2=Customer\r\n";
  Add({"customer", "Acme"});
  EXPECT_EQ(List({"CUSTOMER"}), "Customer\tAcme\n");
  EXPECT_EQ(List({"client"}), "Customer\tAcme\n");
}

TEST_F(DescriptorCommandsTest, BadArgumentsAreUsageErrors) {
  struct Case {
    int (*run)(CommandContext&);
    std::vector<std::string> args;
  };
  for (const Case& c : std::vector<Case>{{RunDescriptorsAdd, {"boss", "Ann"}},
                                         {RunDescriptorsAdd, {"client"}},
                                         {RunDescriptorsAdd, {"2", "X", "--link-to", "2", "Y"}},
                                         {RunDescriptorsAdd, {"2", "X", "--link-to", "1"}},
                                         {RunDescriptorsAdd, {"client", "  "}},
                                         {RunDescriptorsList, {"6"}},
                                         {RunDescriptorsDelete, {"client"}}}) {
    EXPECT_EQ(Run(c.run, c.args).status, kExitUsage) << ::testing::PrintToString(c.args);
  }
  EXPECT_THAT(Run(RunDescriptorsAdd, {"rate", "lots"}).numbers, ElementsAre(171));
  EXPECT_EQ(List(), "");
}

TEST_F(DescriptorCommandsTest, DeleteWarnsAndTakesTheLinkedDescriptorsAlong) {
  Add({"client", "Acme"});
  Add({"client", "Bolt"});
  Add({"project", "Design", "--link-to", "client", "Acme"});
  Add({"rate", "40", "--link-to", "client", "Bolt"});

  CommandOutcome refused =
      Run(RunDescriptorsDelete, {"client", "acme"}, {platform::Button::kNo});
  EXPECT_EQ(refused.status, kExitFailed);
  EXPECT_THAT(refused.numbers, ElementsAre(1194, 127));
  EXPECT_THAT(List({"client"}), HasSubstr("Acme"));

  CommandOutcome deleted =
      Run(RunDescriptorsDelete, {"client", "acme"}, {platform::Button::kYes});
  EXPECT_EQ(deleted.status, kExitOk) << deleted.err;
  EXPECT_EQ(List(), "Client\tBolt\nHourly Rate\t40.00\tClient\tBolt\n");

  EXPECT_THAT(Run(RunDescriptorsDelete, {"client", "Nobody"}).numbers, ElementsAre(183));
}

TEST_F(DescriptorCommandsTest, DeleteAmongEqualValuesTakesTheRowsNamed) {
  Add({"project", "Design", "--link-to", "client", "Acme"});
  Add({"project", "Design", "--link-to", "client", "Bolt"});
  CommandOutcome bad = Run(RunDescriptorsDelete, {"project", "Design", "--which", "3"},
                           {platform::Button::kYes});
  EXPECT_EQ(bad.status, kExitUsage);
  CommandOutcome deleted = Run(RunDescriptorsDelete, {"project", "Design", "--which", "2"},
                               {platform::Button::kYes});
  EXPECT_EQ(deleted.status, kExitOk) << deleted.err;
  EXPECT_EQ(List(), "Project\tDesign\tClient\tAcme\n");
}

TEST_F(DescriptorCommandsTest, ClientsSetChangesOnlyTheFieldsGiven) {
  CommandOutcome set = Run(RunClientsSet, {"Acme", "--contact", "Ann", "--category", "Sales"});
  ASSERT_EQ(set.status, kExitOk) << set.err;
  ASSERT_EQ(Run(RunClientsSet, {"Acme", "--city", "Springfield"}).status, kExitOk);
  ASSERT_EQ(Run(RunClientsSet, {"Bolt"}).status, kExitOk);

  CommandOutcome shown = Run(RunClientsShow, {"Acme"});
  EXPECT_THAT(shown.out, HasSubstr("CONTACT: Ann\n"));
  EXPECT_THAT(shown.out, HasSubstr("CITY: Springfield\n"));
  EXPECT_THAT(shown.out, HasSubstr("CATEGORY: Sales\n"));
  EXPECT_EQ(Run(RunClientsList, {}).out, "Acme\nBolt\n");
  options_.json = true;
  EXPECT_EQ(Run(RunClientsList, {}).out, "[\"Acme\", \"Bolt\"]\n");
  options_.json = false;

  EXPECT_THAT(Run(RunClientsShow, {"acme"}).numbers, ElementsAre(183));
  EXPECT_EQ(Run(RunClientsSet, {"Acme", "--fax", "1"}).status, kExitUsage);
}

}  // namespace
}  // namespace qm::cli
