#include "cli/security_commands.h"

#include "cli/descriptor_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/security.h"
#include "db/support_db.h"
#include "engine/engine.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::cli {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class QuietReporter : public engine::TableReporter {
 public:
  void ShowMessage(int, std::string_view) override {}
  void ReportDatabaseError(std::string_view, int) override {}
};

struct Outcome {
  int status;
  std::string out;
  std::vector<int> numbers;
};

class SecurityCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { MakeDatabase(database_); }

  // An empty stand-in for the table and a support file with protection off.
  void MakeDatabase(const std::string& path) {
    std::ofstream(path) << "";
    engine::TableEngine engine;
    QuietReporter reporter;
    db::SupportDb support(engine, reporter);
    ASSERT_EQ(support.OpenSupport(db::SupportFileName(path)), 0);
    ASSERT_EQ(support.WriteSupportString(app::kPasswordSection, app::kAdministratorEntry,
                                         app::ScramblePassword(app::kNoPasswordMarker), true),
              1);
    ASSERT_EQ(support.CloseSupport(), 0);
  }

  Outcome Run(int (*run)(CommandContext&), std::vector<std::string> args,
              std::string password = "", std::vector<std::optional<std::string>> typed = {},
              std::string user = "Ann", std::string database = "") {
    test::ScriptedUserInterface ui;
    for (auto& text : typed) ui.QueueText(text);
    std::ostringstream out;
    std::ostringstream err;
    GlobalOptions options;
    options.home = home_.path();
    options.db = database.empty() ? database_ : database;
    options.user = user;
    options.password = password;
    CommandContext context{options, std::move(args), ui, out, err};
    const int status = run(context);
    return {status, out.str(), ui.Numbers()};
  }
  std::string Status() { return Run(RunSecurityStatus, {}).out; }

  test::TempDir home_;
  std::string database_ = home_.File("work.dbf");
};

TEST_F(SecurityCommandsTest, OnAndOffFollowTheAdministratorPassword) {
  EXPECT_EQ(Status(), "Passwords not required\n");
  Outcome on = Run(RunSecurityOn, {"boss"});
  EXPECT_EQ(on.status, kExitOk);
  EXPECT_THAT(on.out, HasSubstr("is: boss\n"));
  EXPECT_THAT(on.numbers, ElementsAre(app::kSecurityTurnedOn));
  EXPECT_EQ(Status(), "Passwords Required\n");

  Outcome refused = Run(RunSecurityOff, {}, "guess", {"again", "BOSSY"});
  EXPECT_EQ(refused.status, kExitFailed);
  // --password answers the first prompt.
  EXPECT_THAT(refused.numbers, ElementsAre(1237, 1235, 1237, 1235, 242));
  EXPECT_EQ(Status(), "Passwords Required\n");

  Outcome off = Run(RunSecurityOff, {}, "BOSS");
  EXPECT_EQ(off.status, kExitOk);
  EXPECT_THAT(off.numbers, ElementsAre(app::kSecurityTurnedOff));
  EXPECT_EQ(Status(), "Passwords not required\n");
}

TEST_F(SecurityCommandsTest, UntitledDatabaseAndBadPasswordsAreRefused) {
  const std::string untitled = home_.File("Untitled.dbf");
  MakeDatabase(untitled);
  Outcome on = Run(RunSecurityOn, {"boss"}, "", {}, "Ann", untitled);
  EXPECT_EQ(on.status, kExitFailed);
  EXPECT_THAT(on.numbers, ElementsAre(371));

  EXPECT_THAT(Run(RunSecurityOn, {"a~b"}).numbers, ElementsAre(248));
  EXPECT_THAT(Run(RunSecurityOn, {}, "", {std::nullopt}).numbers, ElementsAre(0, 127));
  EXPECT_EQ(Status(), "Passwords not required\n");
}

TEST_F(SecurityCommandsTest, PersonPasswordsAreAssignedAndChangedByTheirOwner) {
  ASSERT_EQ(Run(RunSecurityOn, {"boss"}).status, kExitOk);
  EXPECT_EQ(Run(RunSecurityAssign, {"Bob ", "bobpw"}, "boss").status, kExitOk);
  // Bob changes his own password with his old one; not the administrator's.
  EXPECT_EQ(Run(RunSecurityPassword, {"newbob", "--mine"}, "bobpw", {}, "Bob").status, kExitOk);
  Outcome not_admin = Run(RunSecurityPassword, {"mine"}, "newbob", {"newbob", "newbob"}, "Bob");
  EXPECT_EQ(not_admin.status, kExitFailed);
  EXPECT_EQ(not_admin.numbers.back(), 242);
  EXPECT_EQ(Run(RunSecurityAssign, {"Carl", "x"}, "newbob", {"x", "y"}, "Bob").status,
            kExitFailed);
}

TEST_F(SecurityCommandsTest, EditingDescriptorsOfAProtectedDatabaseNeedsTheAdministrator) {
  ASSERT_EQ(Run(RunSecurityOn, {"boss"}).status, kExitOk);
  Outcome refused = Run(RunDescriptorsAdd, {"client", "Acme"}, "guess", {"more", "last"});
  EXPECT_EQ(refused.status, kExitFailed);
  EXPECT_EQ(refused.numbers.back(), 242);
  EXPECT_EQ(Run(RunDescriptorsList, {}).out, "");
  EXPECT_EQ(Run(RunDescriptorsAdd, {"client", "Acme"}, "boss").status, kExitOk);
  EXPECT_EQ(Run(RunDescriptorsList, {}).out, "Client\tAcme\n");
}

TEST_F(SecurityCommandsTest, MissingSupportFileIsReportedNotCreated) {
  const std::string bare = home_.File("bare.dbf");
  std::ofstream(bare) << "";
  Outcome status = Run(RunSecurityStatus, {}, "", {}, "Ann", bare);
  EXPECT_EQ(status.status, kExitFailed);
  EXPECT_THAT(status.out, HasSubstr("'" + db::SupportFileName(bare) + "' was not found"));
  EXPECT_THAT(Run(RunSecurityOn, {"boss"}, "", {}, "Ann", bare).numbers, ElementsAre(361));
  EXPECT_FALSE(std::filesystem::exists(db::SupportFileName(bare)));
}

}  // namespace
}  // namespace qm::cli
