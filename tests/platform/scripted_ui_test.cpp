#include "tests/support/scripted_ui.h"

#include <gmock/gmock.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace qm::test {
namespace {

using platform::Button;
using platform::Message;
using ::testing::ElementsAre;

Message Numbered(int number, const char* text) {
  Message message;
  message.number = number;
  message.text = text;
  return message;
}

TEST(ScriptedUserInterfaceTest, RecordsMessagesAndReplaysAnswers) {
  ScriptedUserInterface ui;
  ui.QueueAnswer(Button::kNo);
  ui.QueueText("secret");
  ui.QueueAnswer(Button::kCancel);
  ui.Show(Numbered(354, "Rebuilding"));
  EXPECT_EQ(ui.AskYesNo(Numbered(400, "Convert?"), Button::kYes), Button::kNo);
  platform::TextPrompt prompt;
  prompt.number = 1237;
  prompt.prompt = "Password:";
  EXPECT_EQ(ui.AskText(prompt), "secret");
  EXPECT_EQ(ui.AskYesNoCancel(Numbered(174, "Save?"), Button::kYes), Button::kCancel);
  EXPECT_THAT(ui.Numbers(), ElementsAre(354, 400, 1237, 174));
  EXPECT_TRUE(ui.Saw(400));
  EXPECT_FALSE(ui.Saw(401));
}

TEST(ScriptedUserInterfaceTest, UnexpectedQuestionFailsTheTest) {
  EXPECT_NONFATAL_FAILURE(
      {
        ScriptedUserInterface ui;
        ui.AskYesNo(Numbered(412, "Locked by Ann"), Button::kNo);
      },
      "unexpected question 412: \"Locked by Ann\"");
  EXPECT_NONFATAL_FAILURE(
      {
        ScriptedUserInterface ui;
        ui.QueueText("x");
        ui.AskYesNo(Numbered(7, "Sure?"), Button::kNo);
      },
      "next queued answer is a text");
  EXPECT_NONFATAL_FAILURE(
      {
        ScriptedUserInterface ui;
        ui.QueueAnswer(Button::kCancel);
        ui.AskYesNo(Numbered(7, "Sure?"), Button::kNo);
      },
      "no such button");
}

TEST(ScriptedUserInterfaceTest, UnusedAnswerFailsTheTest) {
  EXPECT_NONFATAL_FAILURE(
      {
        ScriptedUserInterface ui;
        ui.QueueAnswer(Button::kYes);
      },
      "never asked for");
}

TEST(ScriptedUserInterfaceTest, ProgressCancelsAfterTheGivenCalls) {
  ScriptedUserInterface ui;
  ui.CancelProgressAfter(2);
  ui.BeginProgress("Reindexing", 10);
  EXPECT_TRUE(ui.AdvanceProgress(1, "a"));
  EXPECT_TRUE(ui.AdvanceProgress(2, "b"));
  EXPECT_FALSE(ui.AdvanceProgress(3, "c"));
  ui.EndProgress();
  EXPECT_EQ(ui.advance_calls(), 3);
  ASSERT_EQ(ui.progress().size(), 5u);
  EXPECT_EQ(ui.progress()[0].text, "Reindexing");
  EXPECT_EQ(ui.progress()[0].value, 10);
  EXPECT_FALSE(ui.progress_open());
}

}  // namespace
}  // namespace qm::test
