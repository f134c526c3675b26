// TerminalUserInterface: the UserInterface of quillmk-cli.
//
// Messages go to standard error as "Message NNN: text", so scripts and
// people see the number that the documentation lists. Questions take the
// answer that --yes or --no gives; without either, a person at a terminal
// is asked, and a run with no terminal takes the question's default. A text
// prompt reads one line (without echo for a password) and counts the end of
// input as Cancel. Progress shows on standard error when that is a
// terminal; Ctrl-C during a long operation cancels it the way the Cancel
// button of a progress window does, so the work stops at a clean point.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>

#include "cli/command.h"
#include "platform/user_interface.h"

namespace qm::cli {

class TerminalUserInterface final : public platform::UserInterface {
 public:
  struct Streams {
    std::istream& in;
    std::ostream& err;              // takes UTF-8
    int input_fd = -1;              // for switching echo off; -1 when not a terminal
    bool input_is_terminal = false;
    bool err_is_terminal = false;
  };

  // `forced_answer`: the answer to every question (from --yes / --no).
  TerminalUserInterface(std::optional<platform::Button> forced_answer, Streams streams);
  ~TerminalUserInterface() override;
  TerminalUserInterface(const TerminalUserInterface&) = delete;
  TerminalUserInterface& operator=(const TerminalUserInterface&) = delete;

  // The interface on this process's standard input and error.
  static std::unique_ptr<TerminalUserInterface> ForThisProcess(const GlobalOptions& options);

  void Show(const platform::Message& message) override;
  platform::Button AskYesNo(const platform::Message& question,
                            platform::Button default_button) override;
  platform::Button AskYesNoCancel(const platform::Message& question,
                                  platform::Button default_button) override;
  std::optional<std::string> AskText(const platform::TextPrompt& prompt) override;
  void BeginProgress(std::string_view title, long total) override;
  bool AdvanceProgress(long done, std::string_view status) override;
  void EndProgress() override;
  void SetWaitCursor(bool) override {}
  void ProcessPendingEvents() override {}

 private:
  platform::Button Ask(const platform::Message& question, platform::Button default_button,
                       bool cancel_allowed);
  std::optional<std::string> ReadLine(bool masked);

  std::optional<platform::Button> forced_answer_;
  Streams streams_;
  struct Progress;
  std::unique_ptr<Progress> progress_;
};

}  // namespace qm::cli
