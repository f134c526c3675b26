// UserInterface: the seam between the program's logic and the person.
//
// Logic never opens a window. Whatever the desktop program would show as a
// message box, a question, a text prompt, a progress window or a wait cursor
// goes through this interface, which each front end supplies: the desktop
// program with Qt, quillmk-cli on the terminal, tests with a scripted double
// (tests/support/scripted_ui.h).
//
// Texts are Windows-1252 bytes, as everywhere inside the program; a front
// end converts at its edge.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qm::platform {

enum class MessageIcon { kNone, kInformation, kExclamation, kStop, kQuestion };

enum class Button { kOk, kYes, kNo, kCancel };

// A message as the logic shows it. `number` is the string-table number the
// text came from (0 when the text was built some other way); front ends may
// print it, tests assert on it.
struct Message {
  int number = 0;
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::kNone;
};

struct TextPrompt {
  int number = 0;          // string-table number of the prompt, if any
  std::string prompt;
  std::string caption;
  std::string initial;     // text the box starts with
  bool masked = false;     // passwords
  std::size_t max_length = 255;
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // A message box with only an OK button.
  virtual void Show(const Message& message) = 0;
  // Yes/No; `default_button` is what a non-interactive front end answers.
  virtual Button AskYesNo(const Message& question, Button default_button) = 0;
  // Yes/No/Cancel.
  virtual Button AskYesNoCancel(const Message& question, Button default_button) = 0;
  // A line of text; nullopt when the person cancels.
  virtual std::optional<std::string> AskText(const TextPrompt& prompt) = 0;

  // A progress or status window for long work. While it is open the logic
  // calls Advance and stops the work when it returns false (Cancel pressed).
  virtual void BeginProgress(std::string_view title, long total) = 0;
  virtual bool AdvanceProgress(long done, std::string_view status) = 0;
  virtual void EndProgress() = 0;

  virtual void SetWaitCursor(bool on) = 0;
  // Lets the front end handle pending events during a long loop or while the
  // table engine waits for a lock (the repaint callback).
  virtual void ProcessPendingEvents() = 0;
};

// Answers every question with its default, shows nothing. For code that
// runs with no one to ask (the conduit, background polls).
class SilentUserInterface final : public UserInterface {
 public:
  void Show(const Message&) override {}
  Button AskYesNo(const Message&, Button d) override { return d; }
  Button AskYesNoCancel(const Message&, Button d) override { return d; }
  std::optional<std::string> AskText(const TextPrompt&) override { return std::nullopt; }
  void BeginProgress(std::string_view, long) override {}
  bool AdvanceProgress(long, std::string_view) override { return true; }
  void EndProgress() override {}
  void SetWaitCursor(bool) override {}
  void ProcessPendingEvents() override {}
};

}  // namespace qm::platform
