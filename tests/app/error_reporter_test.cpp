#include "app/error_reporter.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/message_format.h"
#include "app/messages.h"
#include "platform/clock.h"
#include "platform/profile.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::app {
namespace {

using platform::MessageIcon;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// 1993-06-30 21:49:08 on the local wall clock (UTC, no daylight).
constexpr std::int64_t kPinnedNow = 741476948;

TEST(MessageFormatTest, FillsConversionsSafely) {
  struct Case {
    std::string_view format;
    std::vector<MessageArgument> arguments;
    std::string_view expected;
  };
  for (const Case& c : std::vector<Case>{
           {"The file '%s' is bad.", {"a.dbf"}, "The file 'a.dbf' is bad."},
           {"Error #%d (%d) %s", {-210LL, 7LL, "FIELD"}, "Error #-210 (7) FIELD"},
           {"%s.%-3.3d", {"ann", 1LL}, "ann.001"},
           {"%ld records, 100%%", {12LL}, "12 records, 100%"},
           {"%u", {-1LL}, "4294967295"},
           {"%d and %s", {"text for a number"}, "text for a number and "},
           {"%s", {42LL}, "42"},
           {"%5s|%-5s|%.2s", {"ab", "cd", "efgh"}, "   ab|cd   |ef"},
           {"no argument %s left", {}, "no argument  left"},
           {"unknown %q kept, trailing %", {"x"}, "unknown %q kept, trailing %"},
           {"%99999999d", {5LL}, std::string_view()},  // width capped, no overflow
       }) {
    std::string out;
    switch (c.arguments.size()) {
      case 0: out = FormatMessageText(c.format, {}); break;
      case 1: out = FormatMessageText(c.format, {c.arguments[0]}); break;
      case 2: out = FormatMessageText(c.format, {c.arguments[0], c.arguments[1]}); break;
      default:
        out = FormatMessageText(c.format, {c.arguments[0], c.arguments[1], c.arguments[2]});
    }
    if (c.expected.data() == nullptr) {
      EXPECT_LE(out.size(), 1000u) << c.format;
    } else {
      EXPECT_EQ(out, c.expected) << c.format;
    }
  }
}

TEST(VersionAndTimeTest, LogFormats) {
  EXPECT_EQ(VersionLogText({3, 19, 6, 0}), " Version 3.19.06.0000  ");
  EXPECT_EQ(VersionLogText({1, 2, 3, 45}), " Version 1.02.03.0045  ");
  EXPECT_EQ(AsctimeText(kPinnedNow), "Wed Jun 30 21:49:08 1993");
  EXPECT_EQ(AsctimeText(0), "Thu Jan  1 00:00:00 1970");
}

class ErrorReporterTest : public ::testing::Test {
 protected:
  ErrorReporterTest() : clock_(kPinnedNow), pin_(clock_), reporter_(ui_, dir_.File("QUILLMK.INI")) {
    reporter_.SetFatalShutdown([this] { ++shutdowns_; });
    reporter_.SetUserName("Ann Smith");
  }

  std::string Log(std::string_view key) {
    return platform::GetProfileString(reporter_.ini_path(), kInternalErrorSection, key, "");
  }
  static std::string Suffix() {
    return VersionLogText(CurrentProgramVersion()) + " Time: Wed Jun 30 21:49:08 1993";
  }

  test::TempDir dir_;
  platform::FixedClock clock_;
  platform::ScopedClock pin_;
  test::ScriptedUserInterface ui_;
  ErrorReporter reporter_;
  int shutdowns_ = 0;
};

TEST_F(ErrorReporterTest, ShowsMessagesByNumber) {
  EXPECT_EQ(reporter_.ShowMessage(0), 0);
  EXPECT_THAT(ui_.entries(), IsEmpty());

  EXPECT_EQ(reporter_.ShowMessageWithText(277, "/data/time.dbf"), 277);
  EXPECT_EQ(reporter_.ShowMessageWithNumber(452, 9), 452);
  EXPECT_EQ(reporter_.ShowMessage(987654), 987654);
  ASSERT_EQ(ui_.entries().size(), 3u);
  const auto& filled = ui_.entries()[0];
  EXPECT_EQ(filled.caption, "Corvane Quillmark");
  EXPECT_EQ(filled.icon, MessageIcon::kInformation);
  EXPECT_THAT(filled.text, StartsWith("Unable to create or access the file '/data/time.dbf'."));
  EXPECT_EQ(ui_.entries()[1].text, *MessageText(452));
  EXPECT_THAT(ui_.entries()[2].text, HasSubstr("987654"));
}

TEST_F(ErrorReporterTest, LoadedTextsAreCutAt255ButBoxesShowTheWholeText) {
  // Message 288 is the one text of the table longer than 255 characters.
  const std::string_view whole = *MessageText(288);
  ASSERT_GT(whole.size(), kMaxLoadedTextLength);
  std::optional<std::string> loaded = reporter_.LoadText(288);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(*loaded, whole.substr(0, kMaxLoadedTextLength));
  EXPECT_EQ(reporter_.LoadText(-5), std::nullopt);

  const std::string long_path = "/" + std::string(254, 'p');
  reporter_.ShowMessageWithText(288, long_path);
  EXPECT_THAT(ui_.Texts().back(), HasSubstr(long_path));
  EXPECT_THAT(ui_.Texts().back(), EndsWith("are consistent."));
}

TEST_F(ErrorReporterTest, InternalErrorIsShownAndLogged) {
  EXPECT_EQ(reporter_.ReportInternalError("EDITTASK", 412), kInternalErrorMessage);
  EXPECT_EQ(reporter_.ReportInternalErrorCode("TRACKDB", 77, 0), 0);
  EXPECT_EQ(reporter_.ReportInternalErrorCode("TRACKDB", 77, -3), kInternalErrorMessage);
  ASSERT_THAT(ui_.Numbers(), ElementsAre(99, 99));
  EXPECT_THAT(ui_.Texts()[0], StartsWith("An Internal error has occurred."));
  EXPECT_THAT(ui_.Texts()[0], EndsWith("\n\n(File: EDITTASK Line: 412)"));
  EXPECT_THAT(ui_.Texts()[1], EndsWith("\n\n(File: TRACKDB Line: 77 Error Code: -3)"));

  EXPECT_EQ(Log("Current"), "2");
  EXPECT_EQ(Log("Error1"), "File: EDITTASK Line: 412 Error Code: 0" + Suffix());
  EXPECT_EQ(Log("Error2"), "File: TRACKDB Line: 77 Error Code: -3" + Suffix());
  EXPECT_EQ(Log("Error0"), "");
}

TEST_F(ErrorReporterTest, TheLogIsARingOfForty) {
  for (int i = 0; i < 41; ++i) reporter_.LogInternalError("entry " + std::to_string(i));
  EXPECT_EQ(Log("Current"), "1");
  EXPECT_EQ(Log("Error1"), "entry 40" + Suffix());
  EXPECT_EQ(Log("Error0"), "entry 39" + Suffix());
  EXPECT_EQ(Log("Error2"), "entry 1" + Suffix());
  EXPECT_EQ(Log("Error40"), "");
  EXPECT_THAT(ui_.entries(), IsEmpty());

  // A hand-edited index outside the ring is taken back into it.
  ASSERT_TRUE(platform::WriteProfileString(reporter_.ini_path(), kInternalErrorSection,
                                           "Current", "-7").ok());
  reporter_.LogInternalError("after edit");
  EXPECT_EQ(Log("Current"), "34");
}

TEST_F(ErrorReporterTest, NoLogWithoutAnIniAndNoRewriteOfADamagedOne) {
  ErrorReporter unbound(ui_, "");
  EXPECT_EQ(unbound.LogInternalError("x"), kInternalErrorMessage);

  const std::string junk("[InternalError]\nCurrent=\0\x02\xff", 28);
  std::ofstream(reporter_.ini_path(), std::ios::binary) << junk;
  EXPECT_EQ(reporter_.ReportInternalError("UserIndex", 5), kInternalErrorMessage);
  EXPECT_EQ(ReadFile(reporter_.ini_path()), junk);
}

TEST_F(ErrorReporterTest, DiagnosticsAreLoggedOnly) {
  EXPECT_EQ(reporter_.LogDiagnostic("SupportDatabase", 310, 0), 0);
  EXPECT_EQ(reporter_.LogDiagnostic("SupportDatabase", 310, 17), 17);
  EXPECT_THAT(ui_.entries(), IsEmpty());
  EXPECT_EQ(Log("Current"), "1");
  EXPECT_EQ(Log("Error1"),
            "Ann Smith's Diagnostic error number 17 (File SupportDatabase, Line 310)" + Suffix());
}

TEST_F(ErrorReporterTest, SeriousErrorIsShownOncePerRun) {
  reporter_.ShowSerious("swtask", 65536 + 12, "Stopwatch state 9");
  reporter_.ShowSerious("swtask", 13, "again");
  ASSERT_EQ(ui_.entries().size(), 1u);
  const auto& box = ui_.entries()[0];
  EXPECT_EQ(box.caption, "Serious Error...");
  EXPECT_EQ(box.icon, MessageIcon::kExclamation);
  EXPECT_EQ(box.text,
            "An unrecoverable error has occurred.\nStopwatch state 9\n(File: \"swtask\"  Line: "
            "12)\n\nPlease record this information and contact Corvane Software Technical "
            "support.");
}

TEST_F(ErrorReporterTest, ErrorsAndQuestionsUseTheirCaptions) {
  reporter_.ShowError(std::string(400, 'e'));
  ui_.QueueAnswer(platform::Button::kNo);
  EXPECT_EQ(reporter_.AskYesNo("Delete it?"), platform::Button::kNo);
  ui_.QueueAnswer(platform::Button::kCancel);
  EXPECT_EQ(reporter_.AskYesNoCancel("Save it?"), platform::Button::kCancel);
  ASSERT_EQ(ui_.entries().size(), 3u);
  EXPECT_EQ(ui_.entries()[0].caption, "Error...");
  EXPECT_EQ(ui_.entries()[0].text.size(), 400u);
  EXPECT_EQ(ui_.entries()[1].caption, "Information...");
  EXPECT_EQ(ui_.entries()[1].icon, MessageIcon::kQuestion);
}

TEST_F(ErrorReporterTest, DatabaseErrorWithoutEngineErrorShowsTheFallback) {
  EXPECT_EQ(reporter_.ReportDatabaseError("/d/time.dbf", 0), 0);
  EXPECT_EQ(reporter_.ReportDatabaseError("/d/time.dbf", 114), 114);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(114));
  EXPECT_THAT(ui_.Texts()[0], HasSubstr("'/d/time.dbf'"));
}

TEST_F(ErrorReporterTest, EngineErrorsAreLoggedAndTranslatedByCode) {
  struct Case {
    int code;
    int message;
    std::string_view expected_part;
  };
  for (const Case& c : std::vector<Case>{
           {-1, 372, "Please choose File/Repair Databases."},
           {-20, 277, "Unable to create or access the file '/d/time.dbf'."},
           {-61, 419, "The file '/d/time.dbf' could not be opened"},
           {-210, 295, "The field name 'RATE' was not found in the database file '/d/time.dbf'."},
           {-330, 410, "called 'RATE' was not found when opening '/d/time.dbf'."},
           {-920, 122, "There is insufficient memory"},
           {-999, 286, "Error #-999 (42) has occurred:\n\nRATE\nx\ny\n\n"},
       }) {
    ui_.Clear();
    reporter_.BeginDatabaseOperation();
    EngineErrorHook(c.code, 42, "RATE", "x", "y");  // nothing installed: stderr only
    EXPECT_FALSE(reporter_.engine_error().pending);
    reporter_.OnEngineError(c.code, 42, "RATE", "x", "y");
    EXPECT_THAT(ui_.entries(), IsEmpty()) << c.code;  // a non-fatal code is only logged
    EXPECT_EQ(reporter_.ReportDatabaseError("/d/time.dbf", 114), c.message) << c.code;
    ASSERT_EQ(ui_.entries().size(), 1u);
    EXPECT_EQ(ui_.entries()[0].number, c.message);
    EXPECT_THAT(ui_.entries()[0].text, HasSubstr(c.expected_part)) << c.code;
  }
  EXPECT_EQ(Log("Error1"), "Ann Smith's Codebase Error -1 (42), RATE x y" + Suffix());
  EXPECT_EQ(shutdowns_, 0);
}

TEST_F(ErrorReporterTest, PendingEngineErrorText) {
  EXPECT_EQ(reporter_.PendingEngineErrorText().number, 0);
  EXPECT_THAT(reporter_.PendingEngineErrorText().text, IsEmpty());

  reporter_.OnEngineError(-200, 3, "/d/t.dbf", "", "");
  NumberedText known = reporter_.PendingEngineErrorText();
  EXPECT_EQ(known.number, 114);
  EXPECT_THAT(known.text, EndsWith("corrupted.  (Codebase Error Number: -200)"));

  reporter_.OnEngineError(-4711, 9, "a", "", "c");
  NumberedText other = reporter_.PendingEngineErrorText();
  EXPECT_EQ(other.number, 286);
  EXPECT_THAT(other.text, StartsWith("Error #-4711 (9) has occurred:\n\na\n\nc\n\n"));
  EXPECT_THAT(other.text, EndsWith("choose File/Repair Database."));

  reporter_.BeginDatabaseOperation();
  EXPECT_EQ(reporter_.PendingEngineErrorText().number, 0);
}

TEST_F(ErrorReporterTest, FatalEngineCodeShowsItsMessageAndShutsDownOnce) {
  // An engine error raised while the first one is handled (by the shutdown
  // itself) is dropped, not nested.
  reporter_.SetFatalShutdown([this] {
    ++shutdowns_;
    reporter_.OnEngineError(-1310, 1, "", "", "");
  });
  ScopedReporter installed(reporter_);
  EngineErrorHook(-1400, 5, "/d/time.dbf", "", "");
  EXPECT_EQ(shutdowns_, 1);
  ASSERT_THAT(ui_.Numbers(), ElementsAre(452));
  EXPECT_EQ(ui_.entries()[0].icon, MessageIcon::kStop);
  EXPECT_EQ(ui_.Texts()[0], *MessageText(452));
  EXPECT_EQ(reporter_.engine_error().code, -1400);
  EXPECT_EQ(Log("Current"), "1");

  // Once the hook is done, the next engine error is handled again.
  EngineErrorHook(-2120, 5, "", "", "");
  EXPECT_EQ(shutdowns_, 2);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(452, 456));
  EXPECT_EQ(FatalEngineMessage(-1300), 443);
  EXPECT_EQ(FatalEngineMessage(-1430), 453);
  EXPECT_EQ(FatalEngineMessage(-1), 0);
}

TEST_F(ErrorReporterTest, FatalEngineCodeEndsTheRealProcessWithStatusOne) {
  std::fflush(nullptr);
  pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    platform::SilentUserInterface silent;
    ErrorReporter reporter(silent, dir_.File("child.ini"));  // default shutdown
    ScopedReporter installed(reporter);
    EngineErrorHook(-1400, 0, "", "", "");
    _exit(0);  // not reached when the fatal path works
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_THAT(platform::GetProfileString(dir_.File("child.ini"), kInternalErrorSection,
                                         "Error1", ""),
              StartsWith("'s Codebase Error -1400 (0),"));
}

}  // namespace
}  // namespace qm::app
