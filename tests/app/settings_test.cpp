#include "app/settings.h"

#include <climits>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/general_config.h"
#include "app/setting_values.h"
#include "app/settings_catalog.h"
#include "platform/profile.h"
#include "tests/support/test_paths.h"

namespace qm::app {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

TEST(UserFileStemTest, KeepsEightLettersAndDigitsInLowerCase) {
  struct Case {
    std::string_view name;
    std::string_view stem;
  };
  for (const Case& c : std::vector<Case>{{"Ann Smith", "annsmith"},
                                         {"Ann-Smith", "annsmith"},
                                         {"Christopher", "christop"},
                                         {"J.R.R. Tolkien 3rd", "jrrtolki"},
                                         {"R2 D2", "r2d2"},
                                         {"", ""},
                                         {"--- ---", ""},
                                         {"Jos\xe9 Ortega", "josorteg"}}) {
    EXPECT_EQ(UserFileStem(c.name), c.stem) << c.name;
  }
}

class UserSettingsFileTest : public ::testing::Test {
 protected:
  std::string Bound(std::string_view user) {
    CSettings settings;
    platform::Status status = settings.BindUser(dir_.path(), user);
    EXPECT_TRUE(status.ok()) << status.message();
    return settings.path();
  }

  test::TempDir dir_;
};

TEST_F(UserSettingsFileTest, NamesThatKeepTheSameLettersGetNumberedFiles) {
  EXPECT_EQ(Bound("Ann Smith"), dir_.File("annsmith.ini"));
  EXPECT_EQ(Bound("Ann-Smith"), dir_.File("annsmith.001"));
  EXPECT_EQ(Bound("AnnSmith"), dir_.File("annsmith.002"));
  // Each finds its own file again, in any order.
  EXPECT_EQ(Bound("Ann-Smith"), dir_.File("annsmith.001"));
  EXPECT_EQ(Bound("Ann Smith"), dir_.File("annsmith.ini"));
  EXPECT_EQ(Bound("AnnSmith"), dir_.File("annsmith.002"));
  EXPECT_EQ(platform::GetProfileString(dir_.File("annsmith.001"), "UserInfo", "UserName", ""),
            "Ann-Smith");
}

TEST_F(UserSettingsFileTest, TheClaimIsCaseSensitive) {
  EXPECT_EQ(Bound("ann smith"), dir_.File("annsmith.ini"));
  EXPECT_EQ(Bound("Ann Smith"), dir_.File("annsmith.001"));
}

TEST_F(UserSettingsFileTest, FindsAFileCopiedFromWindowsWhateverItsCase) {
  WriteFile(dir_.File("AnnLee.ini"), "[UserInfo]\r\nUserName=Ann Lee\r\n[Settings]\r\nDailyGoal=3600\r\n");
  CSettings settings;
  ASSERT_TRUE(settings.BindUser(dir_.path(), "Ann Lee").ok());
  EXPECT_EQ(settings.path(), dir_.File("AnnLee.ini"));
  EXPECT_EQ(settings.GetInt("Settings", "DailyGoal", 0), 3600);
  EXPECT_FALSE(Exists(dir_.File("annlee.ini")));
}

TEST_F(UserSettingsFileTest, AFullLengthUserNameFindsItsFileAgain) {
  const std::string name(kMaxUserNameLength, 'x');
  const std::string first = Bound(name);
  EXPECT_EQ(Bound(name), first);
  EXPECT_EQ(first, dir_.File("xxxxxxxx.ini"));
}

TEST_F(UserSettingsFileTest, RefusesOverlongNamesAndDamagedCandidates) {
  CSettings settings;
  EXPECT_FALSE(settings.BindUser(dir_.path(), std::string(kMaxUserNameLength + 1, 'x')).ok());
  EXPECT_FALSE(Exists(dir_.File("xxxxxxxx.ini")));

  const std::string junk = std::string("[UserInfo]\nUserName=\0\x01\x02junk", 26);
  WriteFile(dir_.File("annsmith.ini"), junk);
  platform::Status status = settings.BindUser(dir_.path(), "Ann Smith");
  EXPECT_FALSE(status.ok());
  EXPECT_THAT(status.message(), HasSubstr("annsmith.ini"));
  EXPECT_EQ(ReadFile(dir_.File("annsmith.ini")), junk);
  EXPECT_FALSE(Exists(dir_.File("annsmith.001")));
  EXPECT_FALSE(settings.bound_with_user());
}

TEST(IntListTest, WritesEachValueWithACommaAndReadsAtCommasAndBlanks) {
  test::TempDir dir;
  CSettings settings;
  settings.Bind(dir.File("user.ini"));
  ASSERT_TRUE(settings.WriteIntList("Layout", "Width", {37, 37, 13}).ok());
  EXPECT_EQ(platform::GetProfileString(dir.File("user.ini"), "Layout", "Width", ""),
            "37,37,13,");
  EXPECT_THAT(settings.GetIntList("Layout", "Width", 20), ElementsAre(37, 37, 13));
  EXPECT_THAT(settings.GetIntList("Layout", "Width", 2), ElementsAre(37, 37));
  EXPECT_TRUE(settings.GetIntList("Layout", "Missing", 20).empty());
  EXPECT_EQ(settings.current_section(), "Layout");

  EXPECT_THAT(ParseIntList("1, 2 ,,-3x 4\t5", 10), ElementsAre(1, 2, -3, 4, 5));
  EXPECT_THAT(ParseIntList("99999999999,-99999999999", 10), ElementsAre(INT_MAX, INT_MIN));
}

TEST(IntListTest, MoreThanEightyValuesAreNotWritten) {
  test::TempDir dir;
  CSettings settings;
  settings.Bind(dir.File("user.ini"));
  ASSERT_TRUE(settings.WriteIntList("Layout", "Order", std::vector<int>(80, 1)).ok());
  const std::string before = ReadFile(dir.File("user.ini"));
  EXPECT_FALSE(settings.WriteIntList("Layout", "Order", std::vector<int>(81, 2)).ok());
  EXPECT_EQ(ReadFile(dir.File("user.ini")), before);
}

TEST(GeneralConfigTest, LoadsDefaultsAndFileValues) {
  test::TempDir dir;
  WriteFile(dir.File("user.ini"), "[generalconfig]\nPauseHandling=0\nPollPeriod=30 seconds\n");
  CSettings settings;
  settings.Bind(dir.File("user.ini"));
  GeneralConfig config;
  config.Load(settings);
  EXPECT_EQ(config.Get(GeneralConfigKey::kPauseHandling), 0);
  EXPECT_EQ(config.Get(GeneralConfigKey::kPollPeriod), 30);
  EXPECT_EQ(config.Get(GeneralConfigKey::kIconType), 1);
  EXPECT_EQ(config.Get(GeneralConfigKey::kWindowTop), -1);
  EXPECT_EQ(config.Get(GeneralConfigKey::kPrintMode), 2);
  EXPECT_EQ(GeneralConfigTable().front().key, "IconType");
  EXPECT_EQ(GeneralConfigTable().back().key, "PrintMode");
  EXPECT_EQ(FindGeneralConfigKey("pollperiod"), GeneralConfigKey::kPollPeriod);
  EXPECT_EQ(FindGeneralConfigKey("Nope"), std::nullopt);
}

TEST(GeneralConfigTest, SavesOnlyChangedEntriesOrTheWholeSection) {
  test::TempDir dir;
  const std::string path = dir.File("user.ini");
  CSettings settings;
  settings.Bind(path);
  GeneralConfig config;
  config.Load(settings);
  config.Set(GeneralConfigKey::kDurationMode, 1);
  ASSERT_TRUE(config.Save(settings, true).ok());
  EXPECT_THAT(platform::ProfileKeys(path, "GeneralConfig"), ElementsAre("DurationMode"));
  EXPECT_EQ(config.LoadedValue(GeneralConfigKey::kDurationMode), 1);

  // A section deleted by hand comes back whole at the next exit.
  ASSERT_TRUE(settings.DeleteSection("GeneralConfig").ok());
  GeneralConfig fresh;
  fresh.Load(settings);
  EXPECT_EQ(fresh.Get(GeneralConfigKey::kDurationMode), 0);
  ASSERT_TRUE(fresh.Save(settings, false).ok());
  std::vector<std::string> keys = platform::ProfileKeys(path, "GeneralConfig");
  ASSERT_EQ(keys.size(), kGeneralConfigKeyCount);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(keys[i], GeneralConfigTable()[i].key);
  }
}

TEST(SettingCheckTest, RefusesValuesThatDoNotFitTheirKey) {
  SettingsContext context{"/home/q", "/home/q/support"};
  std::vector<SettingDefinition> catalogue = DocumentedSettings(context);
  struct Case {
    SettingsFileKind file;
    std::string section, key, value;
    bool accepted;
  };
  const auto P = SettingsFileKind::kProgram;
  const auto U = SettingsFileKind::kUser;
  for (const Case& c : std::vector<Case>{
           {P, "Settings", "DescriptorName1", std::string(30, 'a'), true},
           {P, "Settings", "DescriptorName1", std::string(31, 'a'), false},
           {U, "Settings", "DurationFormat", "7", true},
           {U, "Settings", "DurationFormat", "8", false},
           {U, "Settings", "DurationFormat", "-1", false},
           {U, "Settings", "DailyGoal", "8 hours", false},
           {U, "Settings", "DailyGoal", "99999999999", false},
           {U, "generalconfig", "windowtop", "-1", true},
           {U, "GeneralConfig", "PauseHandling", "3", false},
           {U, "Report", "Title", std::string(128, 't'), true},
           {U, "Report", "Title", std::string(129, 't'), false},
           {U, "Layout", "Width", "37, 37 13,", true},
           {U, "Layout", "Width", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,", false},
           {U, "Layout", "Order", "6,7,x,", false},
           {P, "Special", "Support Directory", std::string(256, 'd'), false},
           {U, "Settings", "CurrentFile", "/data/a.dbf\n[Evil]", false},
           {U, "Invoice", "AnyKey", std::string(255, 'v'), true},
           {U, "Invoice", "AnyKey", std::string(256, 'v'), false},
       }) {
    const SettingDefinition* definition = FindSetting(catalogue, c.file, c.section, c.key);
    EXPECT_EQ(!CheckSettingValue(definition, c.section, c.key, c.value).has_value(), c.accepted)
        << c.section << "/" << c.key << " = " << c.value.substr(0, 40);
  }
  for (auto [section, key] : std::vector<std::pair<std::string, std::string>>{
           {"", "Key"}, {"Sec]tion", "Key"}, {"Section", "K=ey"}, {"Section", ";Key"},
           {"Section", ""}, {" Section", "Key"}, {"Section", "Key\n"}}) {
    EXPECT_TRUE(CheckSettingName(section, key).has_value()) << section << "/" << key;
  }
}

class WriteSettingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    catalogue_ = DocumentedSettings(SettingsContext{dir_.path(), dir_.File("support")});
    settings_.Bind(dir_.File("user.ini"));
  }
  platform::Status Write(std::string_view section, std::string_view key, std::string_view value) {
    return WriteSetting(settings_, catalogue_, SettingsFileKind::kUser, section, key, value);
  }

  test::TempDir dir_;
  std::vector<SettingDefinition> catalogue_;
  CSettings settings_;
};

TEST_F(WriteSettingTest, ChangesOnlyItsLineAndFindsSectionsWithoutRegardToCase) {
  const std::string before =
      "; kept as written\r\n[Settings]\r\n  DurationFormat =  2 ; old\r\nDailyGoal=3600\r\n"
      "\r\n[GeneralConfig]\r\nIconType=0\r\n[Other]\r\nodd   spacing = x\r\n";
  WriteFile(settings_.path(), before);
  ASSERT_TRUE(Write("generalconfig", "pollperiod", "+7").ok());
  ASSERT_TRUE(Write("SETTINGS", "DailyGoal", "7200").ok());
  EXPECT_EQ(ReadFile(settings_.path()),
            "; kept as written\r\n[Settings]\r\n  DurationFormat =  2 ; old\r\nDailyGoal=7200\r\n"
            "\r\n[GeneralConfig]\r\nIconType=0\r\nPollPeriod=7\r\n[Other]\r\nodd   spacing = x\r\n");
  std::optional<SettingValue> value =
      ReadSetting(settings_, catalogue_, SettingsFileKind::kUser, "GeneralConfig", "PollPeriod");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->value, "7");
  EXPECT_TRUE(value->from_file);
}

TEST_F(WriteSettingTest, BadInputChangesNothing) {
  const std::string before = "[Report]\nTitle=Mine\n";
  WriteFile(settings_.path(), before);
  EXPECT_FALSE(Write("Report", "Title", std::string(129, 'x')).ok());
  EXPECT_FALSE(Write("Settings", "DurationFormat", "nine").ok());
  EXPECT_FALSE(Write("Sec]", "Key", "1").ok());
  EXPECT_EQ(ReadFile(settings_.path()), before);

  const std::string junk("[Report]\nTitle=\0\xff\xfe\x01", 20);
  WriteFile(settings_.path(), junk);
  platform::Status status = Write("Report", "Title", "New");
  EXPECT_FALSE(status.ok());
  EXPECT_THAT(status.message(), HasSubstr("Nothing was changed"));
  EXPECT_EQ(ReadFile(settings_.path()), junk);
}

TEST_F(WriteSettingTest, ListsDefaultsFileValuesAndUndocumentedKeys) {
  WriteFile(settings_.path(), "[Settings]\nDailyGoal=60\nMyOwnKey=yes\n");
  std::vector<SettingValue> listing =
      ListSettings(settings_, catalogue_, SettingsFileKind::kUser, "settings");
  ASSERT_FALSE(listing.empty());
  auto find = [&](std::string_view key) -> const SettingValue* {
    for (const SettingValue& value : listing) {
      if (value.key == key) return &value;
    }
    return nullptr;
  };
  ASSERT_TRUE(find("DailyGoal") && find("DurationFormat") && find("MyOwnKey"));
  EXPECT_EQ(find("DailyGoal")->value, "60");
  EXPECT_TRUE(find("DailyGoal")->from_file);
  EXPECT_EQ(find("DurationFormat")->value, "4");
  EXPECT_FALSE(find("DurationFormat")->from_file);
  EXPECT_EQ(find("MyOwnKey")->definition, nullptr);
  EXPECT_EQ(listing.back().key, "MyOwnKey");
  for (const SettingValue& value : listing) EXPECT_EQ(value.section, "Settings");
}

}  // namespace
}  // namespace qm::app
