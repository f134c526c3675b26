// ScriptedUserInterface: the UserInterface of tests.
//
// It records every message shown and every question asked, in order, with
// its string-table number, and answers questions from a queue the test
// fills beforehand. A question with no queued answer fails the test (with
// the question's number and text) instead of being guessed, and so does an
// answer left in the queue when the double dies: either means the code
// asked something other than what the test expected.
//
//   qm::test::ScriptedUserInterface ui;
//   ui.QueueAnswer(Button::kYes);            // for the next Yes/No question
//   RunTheOperation(ui);
//   EXPECT_THAT(ui.Numbers(), ElementsAre(400, 407));
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/user_interface.h"

namespace qm::test {

class ScriptedUserInterface final : public platform::UserInterface {
 public:
  enum class Kind { kShow, kYesNo, kYesNoCancel, kText };

  // One message or question, as the logic passed it.
  struct Entry {
    Kind kind;
    int number;
    std::string text;
    std::string caption;
    platform::MessageIcon icon;
  };

  struct ProgressCall {
    enum class What { kBegin, kAdvance, kEnd } what;
    std::string text;  // the title (kBegin) or the status (kAdvance)
    long value;        // the total (kBegin) or the count done (kAdvance)
  };

  ScriptedUserInterface() = default;
  ~ScriptedUserInterface() override;
  ScriptedUserInterface(const ScriptedUserInterface&) = delete;
  ScriptedUserInterface& operator=(const ScriptedUserInterface&) = delete;

  // The answer to the next Yes/No or Yes/No/Cancel question.
  void QueueAnswer(platform::Button button);
  // The answer to the next text prompt; nullopt is Cancel.
  void QueueText(std::optional<std::string> text);
  // Answers left in the queue are expected (and no longer fail the test).
  void AllowUnusedAnswers() { allow_unused_answers_ = true; }

  // The first `calls` calls of AdvanceProgress return true, every later one
  // false (Cancel pressed); 0 cancels at the first call.
  void CancelProgressAfter(int calls) { cancel_after_ = calls; }

  const std::vector<Entry>& entries() const { return entries_; }
  // The numbers of everything shown or asked, in order.
  std::vector<int> Numbers() const;
  // The texts of everything shown or asked, in order.
  std::vector<std::string> Texts() const;
  // Whether message `number` was shown or asked at all.
  bool Saw(int number) const;
  void Clear() { entries_.clear(); }

  const std::vector<ProgressCall>& progress() const { return progress_; }
  int advance_calls() const { return advance_calls_; }
  bool progress_open() const { return progress_open_; }
  bool wait_cursor() const { return wait_cursor_; }
  int pending_event_calls() const { return pending_event_calls_; }

  void Show(const platform::Message& message) override;
  platform::Button AskYesNo(const platform::Message& question,
                            platform::Button default_button) override;
  platform::Button AskYesNoCancel(const platform::Message& question,
                                  platform::Button default_button) override;
  std::optional<std::string> AskText(const platform::TextPrompt& prompt) override;
  void BeginProgress(std::string_view title, long total) override;
  bool AdvanceProgress(long done, std::string_view status) override;
  void EndProgress() override;
  void SetWaitCursor(bool on) override { wait_cursor_ = on; }
  void ProcessPendingEvents() override { ++pending_event_calls_; }

 private:
  using Answer = std::variant<platform::Button, std::optional<std::string>>;

  void Record(Kind kind, const platform::Message& message);
  platform::Button NextButton(const platform::Message& question, platform::Button default_button,
                              bool cancel_allowed);

  std::vector<Entry> entries_;
  std::deque<Answer> answers_;
  std::vector<ProgressCall> progress_;
  int advance_calls_ = 0;
  std::optional<int> cancel_after_;
  bool progress_open_ = false;
  bool wait_cursor_ = false;
  int pending_event_calls_ = 0;
  bool allow_unused_answers_ = false;
};

}  // namespace qm::test
