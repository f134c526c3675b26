#include "app/security.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/error_reporter.h"
#include "platform/text_case.h"
#include "tests/support/scripted_ui.h"

namespace qm::app {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A support file in memory; writes can be made to fail.
class MemorySupportStore : public SupportStore {
 public:
  std::string GetSupportString(std::string_view section, std::string_view entry,
                               std::string_view default_value) override {
    auto found = entries.find(Key(section, entry));
    return found == entries.end() ? std::string(default_value) : found->second;
  }
  int GetSupportInt(std::string_view section, std::string_view entry, int value) override {
    auto found = entries.find(Key(section, entry));
    return found == entries.end() ? value : std::stoi(found->second);
  }
  int WriteSupportString(std::string_view section, std::string_view entry,
                         std::string_view value, bool) override {
    if (fail_writes) return 0;
    entries[Key(section, entry)] = std::string(value);
    return 1;
  }
  int WriteSupportInt(std::string_view section, std::string_view entry, int value,
                      bool flush) override {
    return WriteSupportString(section, entry, std::to_string(value), flush);
  }
  int DeleteSupportEntry(std::string_view section, std::string_view entry, bool) override {
    return entries.erase(Key(section, entry)) ? 0 : kSupportEntryNotFound;
  }
  int DeleteSupportSection(std::string_view, bool) override { return 0; }

  static std::pair<std::string, std::string> Key(std::string_view section,
                                                 std::string_view entry) {
    return {platform::Cp1252ToUpper(section), platform::Cp1252ToUpper(entry)};
  }
  std::string& Administrator() { return entries[Key(kPasswordSection, kAdministratorEntry)]; }

  std::map<std::pair<std::string, std::string>, std::string> entries;
  bool fail_writes = false;
};

// --- Scrambling ---------------------------------------------------------------

TEST(ScrambleTest, TwoLowerCaseLettersGiveTheStoredFormOfSeventeenCharacters) {
  char next = 'A';
  auto fixed_prefix = [&] { return next++; };
  const std::string scrambled = ScramblePassword("ab", fixed_prefix);
  const std::string shifted = {'A' + 5, 'B' + 6};
  EXPECT_EQ(scrambled, "ABCDEFGHIJKLMNO" + shifted);
  EXPECT_EQ(scrambled.substr(15), "FH");
}

TEST(ScrambleTest, RandomPrefixStaysWithinAToLowerZAndDiffersBetweenCalls) {
  const std::string first = ScramblePassword("secret");
  ASSERT_EQ(first.size(), 21u);
  for (char c : first.substr(0, 15)) {
    EXPECT_GE(c, 'A');
    EXPECT_LE(c, 'z');
  }
  bool differs = false;
  for (int i = 0; i < 5 && !differs; ++i) differs = ScramblePassword("secret") != first;
  EXPECT_TRUE(differs);
  EXPECT_EQ(first.substr(15), ScramblePassword("SECRET").substr(15));
}

TEST(ScrambleTest, UnscrambleGivesTheUpperCasedPasswordBack) {
  for (const std::string& password : std::vector<std::string>{
           "x", "Open Sesame 42", std::string(40, '}'), "!\"#$%&'()*+,-./"}) {
    EXPECT_EQ(UnscramblePassword(ScramblePassword(password)),
              platform::Cp1252ToUpper(password))
        << password;
  }
  EXPECT_EQ(UnscramblePassword("short"), "");
  EXPECT_EQ(UnscramblePassword(ScramblePassword("")), "");
}

TEST(ValidatePasswordTest, RulesApplyInOrder) {
  struct Case {
    std::string text;
    int expected;
  };
  for (const Case& c : {Case{"", kPasswordEmpty}, Case{" ", kPasswordEdgeSpace},
                        Case{" a~", kPasswordEdgeSpace}, Case{"a~b", kPasswordBadCharacter},
                        Case{"tab\there", kPasswordBadCharacter},
                        Case{"caf\xE9", kPasswordBadCharacter}, Case{"two words", 0},
                        Case{"x", 0}}) {
    EXPECT_EQ(ValidatePasswordText(c.text), c.expected) << c.text;
  }
}

// --- A protected database -------------------------------------------------------

class SecurityTest : public ::testing::Test {
 protected:
  DatabaseSecurity Security(SupportStore* store, std::string file = "/data/Work.tdb") {
    return DatabaseSecurity(std::move(file), store, "/data/Work.tsp", reporter_, ui_);
  }
  void Protect(std::string_view administrator) {
    store_.Administrator() = ScramblePassword(administrator);
  }
  void Unprotect() { store_.Administrator() = ScramblePassword(kNoPasswordMarker); }

  test::ScriptedUserInterface ui_;
  ErrorReporter reporter_{ui_, ""};
  MemorySupportStore store_;
};

TEST_F(SecurityTest, StatusFollowsTheAdministratorEntry) {
  EXPECT_EQ(Security(nullptr).GetSecurityStatus(), kSupportFileMissing);
  EXPECT_EQ(Security(&store_).GetSecurityStatus(), kPasswordInfoMissing);
  Unprotect();
  EXPECT_EQ(Security(&store_).GetSecurityStatus(), kPasswordsNotRequired);
  Protect("pw");
  EXPECT_EQ(Security(&store_).GetSecurityStatus(), kPasswordsRequired);
}

TEST_F(SecurityTest, PasswordsCompareWithoutCaseAndAPersonWithoutOneHasTheEmptyOne) {
  Protect("Admin Pass");
  store_.entries[MemorySupportStore::Key(kPasswordSection, "Ann")] = ScramblePassword("annpw");
  DatabaseSecurity security = Security(&store_);
  struct Case {
    const char* user;
    const char* typed;
    int expected;
  };
  for (const Case& c : {Case{"Ann", "aDMIN pASS", kValidAdministrator},
                        Case{"Ann", "ANNPW", kValidPerson}, Case{"Ann", "", kInvalidPassword},
                        Case{"Bob", "", kValidPerson}, Case{"Bob", "annpw", kInvalidPassword},
                        Case{"Index~Lock", "", kInvalidPassword}}) {
    EXPECT_EQ(security.CheckPassword(c.user, c.typed), c.expected) << c.user << "/" << c.typed;
  }
}

TEST_F(SecurityTest, WithProtectionOffOrTheEntryMissingNothingIsAskedOfThePassword) {
  Unprotect();
  EXPECT_EQ(Security(&store_).CheckPassword("Ann", "anything at all"), kValidAdministrator);
  store_.entries.clear();
  // A missing entry is tampering, not protection off.
  EXPECT_EQ(Security(&store_).CheckPassword("Ann", ""), kInvalidPassword);
}

TEST_F(SecurityTest, SettingPasswordsStoresThemScrambledAndKeepsTheOldOnFailure) {
  Unprotect();
  DatabaseSecurity security = Security(&store_);
  ASSERT_EQ(security.GetSecurityStatus(), kPasswordsNotRequired);
  ASSERT_EQ(security.SetAdministratorPassword("boss"), 0);
  EXPECT_EQ(security.GetSecurityStatus(), kPasswordsRequired);
  EXPECT_EQ(UnscramblePassword(store_.Administrator()), "BOSS");

  ASSERT_EQ(security.SetPersonPassword("Ann", "mine"), 0);
  std::string password;
  EXPECT_EQ(security.GetPersonPassword("Ann", password), 0);
  EXPECT_EQ(password, "MINE");
  EXPECT_EQ(security.GetPersonPassword("Bob", password), kPersonPasswordNotFound);
  EXPECT_EQ(password, "");

  store_.fail_writes = true;
  EXPECT_EQ(security.SetAdministratorPassword("other"), kSupportWriteFailed);
  EXPECT_EQ(security.TurnSecurityOff(), kSupportWriteFailed);
  EXPECT_EQ(security.CheckPassword("Ann", "boss"), kValidAdministrator);
  EXPECT_EQ(security.SetPersonPassword("Ann", "bad~"), kPasswordBadCharacter);
  EXPECT_EQ(security.SetPersonPassword("Index~Lock", "x"), kPersonPasswordNotFound);

  store_.fail_writes = false;
  ASSERT_EQ(security.TurnSecurityOff(), 0);
  EXPECT_EQ(security.GetSecurityStatus(), kPasswordsNotRequired);
}

TEST_F(SecurityTest, SignOnGivesThreeAttempts) {
  Protect("boss");
  DatabaseSecurity security = Security(&store_);
  for (const char* wrong : {"one", "two", "three"}) ui_.QueueText(wrong);
  EXPECT_EQ(security.SignOn("Ann"), kInvalidPassword);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(kSignOnPrompt, kPasswordTryAgain, kSignOnPrompt,
                                         kPasswordTryAgain, kSignOnPrompt, kAccessRefused));
  EXPECT_NE(ui_.entries().front().text.find("'work.tdb'"), std::string::npos)
      << ui_.entries().front().text;
}

TEST_F(SecurityTest, SignOnAcceptsALaterAttemptAndKeepsTheLevel) {
  Protect("boss");
  DatabaseSecurity security = Security(&store_);
  ui_.QueueText("wrong");
  ui_.QueueText("");  // Ann has no password of her own
  EXPECT_EQ(security.SignOn("Ann"), kValidPerson);
  EXPECT_EQ(security.access_level(), kValidPerson);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(kSignOnPrompt, kPasswordTryAgain, kSignOnPrompt));

  ui_.Clear();
  ui_.QueueText(std::nullopt);
  EXPECT_EQ(security.SignOn("Ann"), kOperationCanceled);
}

TEST_F(SecurityTest, SignOnWithoutPromptWhenOffOrBroken) {
  Unprotect();
  EXPECT_EQ(Security(&store_).SignOn("Ann"), kValidAdministrator);
  EXPECT_THAT(ui_.Numbers(), IsEmpty());
  store_.entries.clear();
  EXPECT_EQ(Security(&store_).SignOn("Ann"), kInvalidPassword);
  EXPECT_EQ(Security(nullptr).SignOn("Ann"), kInvalidPassword);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(kPasswordInfoMissing, kSupportFileMissing));
  EXPECT_NE(ui_.Texts().back().find("/data/Work.tsp"), std::string::npos);
}

TEST_F(SecurityTest, OperationsAskForTheirLevel) {
  Protect("boss");
  store_.entries[MemorySupportStore::Key(kPasswordSection, "Ann")] = ScramblePassword("annpw");
  DatabaseSecurity security = Security(&store_);

  ui_.QueueText("annpw");
  EXPECT_EQ(security.RequireAccess(SecuredOperation::kChangeOwnPassword, "Ann"), 0);
  ui_.QueueText("boss");
  EXPECT_EQ(security.RequireAccess(SecuredOperation::kRepairDatabases, "Ann"), 0);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(kPersonPrompt, kAdministratorPrompt));

  ui_.Clear();
  for (int i = 0; i < 3; ++i) ui_.QueueText("annpw");  // not enough, three times
  EXPECT_EQ(security.RequireAccess(SecuredOperation::kTurnSecurityOff, "Ann"), kAccessRefused);
  EXPECT_EQ(ui_.Numbers().back(), kAccessRefused);

  Unprotect();
  security.ClearCachedStatus();
  EXPECT_EQ(security.RequireAccess(SecuredOperation::kAssignPersonPasswords, "Ann"), 0);
}

TEST_F(SecurityTest, UntitledDatabasesCannotBeProtected) {
  Unprotect();
  for (const char* path : {"/data/untitled.tdb", "/data/UNTITLED/work.tdb", "/x/UnTitled2.tdb"}) {
    ui_.Clear();
    DatabaseSecurity security = Security(&store_, path);
    EXPECT_EQ(security.TurnSecurityOn("boss", "Ann"), kUntitledCannotBeProtected) << path;
    EXPECT_THAT(ui_.Numbers(), ElementsAre(kUntitledCannotBeProtected));
    EXPECT_EQ(security.GetSecurityStatus(), kPasswordsNotRequired);
  }
}

TEST_F(SecurityTest, TurningOnValidatesStoresAndSaysSo) {
  Unprotect();
  DatabaseSecurity security = Security(&store_);
  EXPECT_EQ(security.TurnSecurityOn(" boss", "Ann"), kPasswordEdgeSpace);
  EXPECT_EQ(security.GetSecurityStatus(), kPasswordsNotRequired);
  EXPECT_EQ(security.TurnSecurityOn("boss", "Ann"), 0);
  EXPECT_EQ(security.GetSecurityStatus(), kPasswordsRequired);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(kPasswordEdgeSpace, kSecurityTurnedOn));

  // On again: only with the current administrator password.
  ui_.Clear();
  for (int i = 0; i < 3; ++i) ui_.QueueText("guess");
  EXPECT_EQ(security.TurnSecurityOn("mine", "Ann"), kAccessRefused);
  EXPECT_EQ(security.CheckPassword("Ann", "boss"), kValidAdministrator);
}

}  // namespace
}  // namespace qm::app
