#include "cli/terminal_ui.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

namespace qm::cli {
namespace {

using platform::Button;
using ::testing::HasSubstr;

platform::Message Numbered(int number, std::string text) {
  platform::Message message;
  message.number = number;
  message.text = std::move(text);
  return message;
}

platform::TextPrompt Prompt(std::string text, bool masked = false, std::string initial = "") {
  platform::TextPrompt prompt;
  prompt.number = 1236;
  prompt.prompt = std::move(text);
  prompt.masked = masked;
  prompt.initial = std::move(initial);
  return prompt;
}

// A terminal whose keyboard is `typed`; "interactive" as if stdin were a tty.
class TerminalFixture : public ::testing::Test {
 protected:
  TerminalUserInterface Make(std::optional<Button> forced, bool interactive,
                             bool progress_terminal = false) {
    return TerminalUserInterface(forced, {in_, err_, -1, interactive, progress_terminal});
  }

  std::istringstream in_;
  std::ostringstream err_;
};

TEST_F(TerminalFixture, MessagesGoOutNumberedInUtf8) {
  auto ui = Make(std::nullopt, false);
  ui.Show(Numbered(354, "Rebuilding the index of caf\xE9"));
  ui.Show(Numbered(0, "Plain"));
  EXPECT_EQ(err_.str(), "Message 354: Rebuilding the index of caf\xC3\xA9\nPlain\n");
}

TEST_F(TerminalFixture, FlagsAnswerQuestions) {
  auto yes = Make(Button::kYes, true);
  EXPECT_EQ(yes.AskYesNo(Numbered(400, "Convert?"), Button::kNo), Button::kYes);
  EXPECT_EQ(yes.AskYesNoCancel(Numbered(174, "Save?"), Button::kCancel), Button::kYes);
  auto no = Make(Button::kNo, true);
  EXPECT_EQ(no.AskYesNo(Numbered(400, "Convert?"), Button::kYes), Button::kNo);
  EXPECT_THAT(err_.str(), HasSubstr("Message 400: Convert? (answered No)"));
}

TEST_F(TerminalFixture, WithoutTerminalTheDefaultAnswers) {
  in_.str("y\n");  // not read: no one is at a terminal
  auto ui = Make(std::nullopt, false);
  EXPECT_EQ(ui.AskYesNo(Numbered(1194, "Delete?"), Button::kNo), Button::kNo);
  EXPECT_THAT(err_.str(), HasSubstr("Message 1194: Delete? (answered No by default"));
}

TEST_F(TerminalFixture, PersonAnswersAtTheTerminal) {
  in_.str("maybe\nYES\n\nc\nn\n");
  auto ui = Make(std::nullopt, true);
  EXPECT_EQ(ui.AskYesNo(Numbered(400, "Convert?"), Button::kNo), Button::kYes);
  EXPECT_THAT(err_.str(), HasSubstr("Message 400: Convert? [y/N] "));
  EXPECT_THAT(err_.str(), HasSubstr("Please answer y or n."));
  EXPECT_EQ(ui.AskYesNo(Numbered(401, "Sure?"), Button::kYes), Button::kYes);  // Enter
  EXPECT_EQ(ui.AskYesNoCancel(Numbered(174, "Save?"), Button::kYes), Button::kCancel);
  EXPECT_EQ(ui.AskYesNoCancel(Numbered(174, "Save?"), Button::kYes), Button::kNo);
  EXPECT_EQ(ui.AskYesNo(Numbered(402, "End of input?"), Button::kNo), Button::kNo);
}

TEST_F(TerminalFixture, TextPromptReadsALine) {
  in_.str("Jos\xC3\xA9\n\nway too long\n");
  auto ui = Make(std::nullopt, false);
  EXPECT_EQ(ui.AskText(Prompt("Name:")), "Jos\xE9");
  EXPECT_EQ(ui.AskText(Prompt("Name:", false, "Ann")), "Ann");  // Enter keeps the text
  platform::TextPrompt short_box = Prompt("Code:");
  short_box.max_length = 3;
  EXPECT_EQ(ui.AskText(short_box), "way");
  EXPECT_EQ(ui.AskText(Prompt("Password:", true)), std::nullopt);  // end of input is Cancel
  EXPECT_THAT(err_.str(), HasSubstr("Message 1236: Name: [Ann] "));
}

TEST_F(TerminalFixture, TextThatWindows1252CannotHoldIsRefused) {
  in_.str("\xE2\x82\xB9\n");
  auto ui = Make(std::nullopt, false);
  EXPECT_EQ(ui.AskText(Prompt("Rate:")), std::nullopt);
  EXPECT_THAT(err_.str(), HasSubstr("U+20B9"));
}

TEST_F(TerminalFixture, ProgressIsQuietWithoutTerminal) {
  auto ui = Make(std::nullopt, false, false);
  ui.BeginProgress("Reindexing", 3);
  EXPECT_TRUE(ui.AdvanceProgress(1, "record 1"));
  ui.EndProgress();
  EXPECT_EQ(err_.str(), "");
}

TEST_F(TerminalFixture, ProgressShowsOnTerminal) {
  auto ui = Make(std::nullopt, false, true);
  ui.BeginProgress("Reindexing", 3);
  EXPECT_TRUE(ui.AdvanceProgress(3, "done"));
  ui.EndProgress();
  EXPECT_THAT(err_.str(), HasSubstr("Reindexing: 3/3 done"));
}

TEST_F(TerminalFixture, InterruptCancelsTheWorkInProgress) {
  auto ui = Make(std::nullopt, false);
  ui.BeginProgress("Importing", 100);
  EXPECT_TRUE(ui.AdvanceProgress(1, ""));
  std::raise(SIGINT);
  EXPECT_FALSE(ui.AdvanceProgress(2, ""));
  ui.EndProgress();
  // The next operation starts afresh.
  ui.BeginProgress("Exporting", 1);
  EXPECT_TRUE(ui.AdvanceProgress(1, ""));
  ui.EndProgress();
}

}  // namespace
}  // namespace qm::cli
