#include "app/loaded_settings.h"

#include <fstream>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/error_reporter.h"
#include "app/settings.h"
#include "platform/profile.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::app {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class LoadedSettingsTest : public ::testing::Test {
 protected:
  LoadedSettingsTest() : reporter_(ui_, dir_.File("QUILLMK.INI")) {
    program_.Bind(dir_.File("QUILLMK.INI"));
    user_.Bind(dir_.File("ann.ini"));
  }
  LoadedSettings Load() { return LoadSettings(program_, user_, {dir_.path(), ""}); }

  test::TempDir dir_;
  test::ScriptedUserInterface ui_;
  ErrorReporter reporter_;
  CSettings program_;
  CSettings user_;
};

TEST_F(LoadedSettingsTest, DefaultsFromEmptyFiles) {
  LoadedSettings s = Load();
  EXPECT_EQ(s.current_file, dir_.File("untitled.dbf"));
  EXPECT_EQ(s.descriptor_names[5], "Hourly Rate");
  EXPECT_EQ(s.task_font.name, "Arial");
  EXPECT_EQ(s.task_font.height_in_twips, 160);
  EXPECT_EQ(s.report_title_font.name, "Times New Roman");
  EXPECT_EQ(s.report_title_font.height_in_twips, 360);
  EXPECT_EQ(s.report.title, "Time Report");
  EXPECT_EQ(s.layout.headings[2], "Project");
  EXPECT_EQ(s.layout.headings[7], "From");
  EXPECT_EQ(s.layout.widths.size(), 20u);
  EXPECT_EQ(s.layout.order.size(), 21u);
  core::DurationSettings d = DurationSettingsFrom(s);
  core::DurationSettings defaults;
  EXPECT_EQ(d.DurationFormat, defaults.DurationFormat);
  EXPECT_EQ(d.PauseHandling, defaults.PauseHandling);
  EXPECT_EQ(d.DailyGoal, defaults.DailyGoal);
  EXPECT_EQ(d.RoundBeforeMultiplying, defaults.RoundBeforeMultiplying);
}

TEST_F(LoadedSettingsTest, ReadsTheFilesAndCommandLineDatabase) {
  std::ofstream(dir_.File("QUILLMK.INI")) << "[Settings]\nDescriptorName2=Customer\nDescriptorName3=\n";
  std::ofstream(dir_.File("ann.ini"))
      << "[Settings]\nDurationFormat=12\nCurrentFile=/d/a.dbf\n[Layout]\nWidth=5,6,\n"
         "[GeneralConfig]\nMinimumDuration=900\nPauseHandling=0\n";
  LoadedSettings s = Load();
  EXPECT_EQ(s.descriptor_names[1], "Customer");
  EXPECT_EQ(s.descriptor_names[2], "Project");  // empty gives the built-in name
  EXPECT_EQ(s.layout.headings[1], "Customer");
  EXPECT_EQ(s.duration_format, 4);
  EXPECT_EQ(s.current_file, "/d/a.dbf");
  EXPECT_THAT(std::vector<int>(s.layout.widths.begin(), s.layout.widths.begin() + 3),
              ElementsAre(5, 6, 13));
  core::DurationSettings d = DurationSettingsFrom(s);
  EXPECT_EQ(d.MinimumDuration, 900);
  EXPECT_EQ(d.PauseHandling, 0);

  LoadedSettings named = LoadSettings(program_, user_, {dir_.path(), "/d/b.dbf"});
  EXPECT_EQ(named.current_file, "/d/b.dbf");
}

TEST_F(LoadedSettingsTest, SaveWritesChangedLayoutAndFontsOnly) {
  LoadedSettings s = Load();
  s.layout.headings[10] = "What";
  s.task_font.weight = 700;
  // A key edited in the file during the run survives, because this run
  // did not change it.
  ASSERT_TRUE(user_.WriteInt("Layout", "LinesPerTask", 5).ok());
  ASSERT_EQ(SaveSettings(program_, user_, s, "/d/time.dbf", 1, reporter_), 0);
  EXPECT_THAT(platform::ProfileKeys(user_.path(), "Layout"),
              ElementsAre("LinesPerTask", "Heading10"));
  EXPECT_THAT(platform::ProfileKeys(user_.path(), "TaskFont"), ElementsAre("Weight"));
  EXPECT_THAT(platform::ProfileKeys(user_.path(), "ReportTitleFont"), IsEmpty());
  EXPECT_EQ(platform::ProfileKeys(user_.path(), "GeneralConfig").size(), kGeneralConfigKeyCount);
  EXPECT_EQ(user_.GetInt("GeneralConfig", "PrintMode", 0), 1);
  EXPECT_EQ(program_.GetInt("Version Info", "Version", 0), 100);
  EXPECT_EQ(program_.GetString("Special", "LastUsedFile", ""), "/d/time.dbf");
  EXPECT_EQ(user_.GetString("Settings", "CurrentFile", ""), "/d/time.dbf");

  LoadedSettings again = Load();
  EXPECT_EQ(again.layout.headings[10], "What");
  EXPECT_EQ(again.layout.lines_per_task, 5);
  EXPECT_EQ(again.task_font.weight, 700);
  EXPECT_THAT(ui_.entries(), IsEmpty());
}

TEST_F(LoadedSettingsTest, AnUnwritableProgramFileStopsTheSaveWithMessage109) {
  const std::string junk("[Settings]\n\0\x01\x02", 14);
  std::ofstream(program_.path(), std::ios::binary) << junk;
  LoadedSettings s = Load();
  s.duration_format = 1;
  EXPECT_EQ(SaveSettings(program_, user_, s, "/d/time.dbf", 2, reporter_), 109);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(109));
  EXPECT_EQ(ReadFile(program_.path()), junk);
  EXPECT_FALSE(std::ifstream(user_.path()).good());
}

}  // namespace
}  // namespace qm::app
