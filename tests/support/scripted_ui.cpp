#include "tests/support/scripted_ui.h"

#include <gtest/gtest.h>

namespace qm::test {

using platform::Button;

ScriptedUserInterface::~ScriptedUserInterface() {
  if (!answers_.empty() && !allow_unused_answers_) {
    ADD_FAILURE() << answers_.size() << " queued answer(s) were never asked for";
  }
  if (progress_open_) ADD_FAILURE() << "a progress window was left open";
}

void ScriptedUserInterface::QueueAnswer(Button button) { answers_.emplace_back(button); }

void ScriptedUserInterface::QueueText(std::optional<std::string> text) {
  answers_.emplace_back(std::move(text));
}

std::vector<int> ScriptedUserInterface::Numbers() const {
  std::vector<int> numbers;
  for (const Entry& entry : entries_) numbers.push_back(entry.number);
  return numbers;
}

std::vector<std::string> ScriptedUserInterface::Texts() const {
  std::vector<std::string> texts;
  for (const Entry& entry : entries_) texts.push_back(entry.text);
  return texts;
}

bool ScriptedUserInterface::Saw(int number) const {
  for (const Entry& entry : entries_) {
    if (entry.number == number) return true;
  }
  return false;
}

void ScriptedUserInterface::Record(Kind kind, const platform::Message& message) {
  entries_.push_back({kind, message.number, message.text, message.caption, message.icon});
}

void ScriptedUserInterface::Show(const platform::Message& message) {
  Record(Kind::kShow, message);
}

Button ScriptedUserInterface::NextButton(const platform::Message& question, Button default_button,
                                         bool cancel_allowed) {
  if (answers_.empty()) {
    ADD_FAILURE() << "unexpected question " << question.number << ": \"" << question.text
                  << "\" (no answer queued)";
    return default_button;
  }
  Answer answer = std::move(answers_.front());
  answers_.pop_front();
  const Button* button = std::get_if<Button>(&answer);
  if (button == nullptr) {
    ADD_FAILURE() << "question " << question.number << ": \"" << question.text
                  << "\" asks for a button, but the next queued answer is a text";
    return default_button;
  }
  if (*button == Button::kOk || (*button == Button::kCancel && !cancel_allowed)) {
    ADD_FAILURE() << "question " << question.number << ": \"" << question.text
                  << "\" has no such button as the one queued";
    return default_button;
  }
  return *button;
}

Button ScriptedUserInterface::AskYesNo(const platform::Message& question, Button default_button) {
  Record(Kind::kYesNo, question);
  return NextButton(question, default_button, false);
}

Button ScriptedUserInterface::AskYesNoCancel(const platform::Message& question,
                                             Button default_button) {
  Record(Kind::kYesNoCancel, question);
  return NextButton(question, default_button, true);
}

std::optional<std::string> ScriptedUserInterface::AskText(const platform::TextPrompt& prompt) {
  entries_.push_back({Kind::kText, prompt.number, prompt.prompt, prompt.caption,
                      platform::MessageIcon::kNone});
  if (answers_.empty()) {
    ADD_FAILURE() << "unexpected text prompt " << prompt.number << ": \"" << prompt.prompt
                  << "\" (no text queued)";
    return std::nullopt;
  }
  Answer answer = std::move(answers_.front());
  answers_.pop_front();
  auto* text = std::get_if<std::optional<std::string>>(&answer);
  if (text == nullptr) {
    ADD_FAILURE() << "text prompt " << prompt.number << ": \"" << prompt.prompt
                  << "\" asks for a text, but the next queued answer is a button";
    return std::nullopt;
  }
  return std::move(*text);
}

void ScriptedUserInterface::BeginProgress(std::string_view title, long total) {
  if (progress_open_) ADD_FAILURE() << "a progress window opened while another is open";
  progress_open_ = true;
  progress_.push_back({ProgressCall::What::kBegin, std::string(title), total});
}

bool ScriptedUserInterface::AdvanceProgress(long done, std::string_view status) {
  if (!progress_open_) ADD_FAILURE() << "progress advanced with no progress window open";
  progress_.push_back({ProgressCall::What::kAdvance, std::string(status), done});
  ++advance_calls_;
  return !cancel_after_ || advance_calls_ <= *cancel_after_;
}

void ScriptedUserInterface::EndProgress() {
  progress_open_ = false;
  progress_.push_back({ProgressCall::What::kEnd, std::string(), 0});
}

}  // namespace qm::test
