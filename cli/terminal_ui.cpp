#include "cli/terminal_ui.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <iostream>
#include <string>

#include "platform/codepage.h"

namespace qm::cli {
namespace {

using platform::Button;

volatile std::sig_atomic_t interrupted = 0;

extern "C" void NoteInterrupt(int) { interrupted = 1; }

std::string Numbered(int number, std::string_view text) {
  std::string line = number != 0 ? "Message " + std::to_string(number) + ": " : std::string();
  line += platform::Cp1252ToUtf8(text);
  return line;
}

const char* ButtonName(Button button) {
  switch (button) {
    case Button::kYes: return "Yes";
    case Button::kNo: return "No";
    case Button::kCancel: return "Cancel";
    case Button::kOk: return "OK";
  }
  return "";
}

std::string Lowered(std::string text) {
  std::string trimmed;
  for (const char c : text) {
    if (c != ' ' && c != '\t' && c != '\r') trimmed += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  return trimmed;
}

// Switches the terminal's echo off for a password and back on after.
class EchoOff {
 public:
  explicit EchoOff(int fd) : fd_(fd) {
    if (fd_ < 0 || tcgetattr(fd_, &saved_) != 0) {
      fd_ = -1;
      return;
    }
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    if (tcsetattr(fd_, TCSAFLUSH, &quiet) != 0) fd_ = -1;
  }
  ~EchoOff() {
    if (fd_ >= 0) tcsetattr(fd_, TCSAFLUSH, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  int fd_;
  termios saved_{};
};

}  // namespace

struct TerminalUserInterface::Progress {
  std::string title;
  long total = 0;
  std::chrono::steady_clock::time_point last_shown{};
  struct sigaction previous_interrupt{};
  bool shown = false;
};

TerminalUserInterface::TerminalUserInterface(std::optional<Button> forced_answer, Streams streams)
    : forced_answer_(forced_answer), streams_(streams) {}

TerminalUserInterface::~TerminalUserInterface() {
  if (progress_) EndProgress();
}

std::unique_ptr<TerminalUserInterface> TerminalUserInterface::ForThisProcess(
    const GlobalOptions& options) {
  std::optional<Button> forced;
  if (options.yes) forced = Button::kYes;
  if (options.no) forced = Button::kNo;
  const bool input_tty = isatty(STDIN_FILENO) == 1;
  return std::make_unique<TerminalUserInterface>(
      forced, Streams{std::cin, std::cerr, input_tty ? STDIN_FILENO : -1, input_tty,
                      isatty(STDERR_FILENO) == 1});
}

void TerminalUserInterface::Show(const platform::Message& message) {
  streams_.err << Numbered(message.number, message.text) << std::endl;
}

Button TerminalUserInterface::AskYesNo(const platform::Message& question, Button default_button) {
  return Ask(question, default_button, false);
}

Button TerminalUserInterface::AskYesNoCancel(const platform::Message& question,
                                             Button default_button) {
  return Ask(question, default_button, true);
}

Button TerminalUserInterface::Ask(const platform::Message& question, Button default_button,
                                  bool cancel_allowed) {
  std::ostream& err = streams_.err;
  const std::string text = Numbered(question.number, question.text);
  if (forced_answer_ || !streams_.input_is_terminal) {
    const Button answer = forced_answer_.value_or(default_button);
    err << text << " (answered " << ButtonName(answer)
        << (forced_answer_ ? "" : " by default: no terminal to ask") << ")" << std::endl;
    return answer;
  }
  const auto choice = [&](Button button, const char* letter) {
    return button == default_button ? std::string(1, static_cast<char>(letter[0] - 32))
                                    : std::string(letter);
  };
  const std::string choices = "[" + choice(Button::kYes, "y") + "/" + choice(Button::kNo, "n") +
                              (cancel_allowed ? "/" + choice(Button::kCancel, "c") : "") + "] ";
  for (;;) {
    err << text << " " << choices << std::flush;
    const std::optional<std::string> line = ReadLine(false);
    if (!line) {
      err << std::endl;
      return default_button;
    }
    const std::string answer = Lowered(*line);
    if (answer.empty()) return default_button;
    if (answer == "y" || answer == "yes") return Button::kYes;
    if (answer == "n" || answer == "no") return Button::kNo;
    if (cancel_allowed && (answer == "c" || answer == "cancel")) return Button::kCancel;
    err << "Please answer y or n" << (cancel_allowed ? " or c" : "") << "." << std::endl;
  }
}

std::optional<std::string> TerminalUserInterface::ReadLine(bool masked) {
  std::string line;
  bool got;
  if (masked) {
    EchoOff quiet(streams_.input_fd);
    got = static_cast<bool>(std::getline(streams_.in, line));
    if (streams_.input_is_terminal) streams_.err << std::endl;  // the Enter that was not echoed
  } else {
    got = static_cast<bool>(std::getline(streams_.in, line));
  }
  if (!got) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::optional<std::string> TerminalUserInterface::AskText(const platform::TextPrompt& prompt) {
  std::ostream& err = streams_.err;
  for (;;) {
    err << Numbered(prompt.number, prompt.prompt);
    if (!prompt.masked && !prompt.initial.empty()) {
      err << " [" << platform::Cp1252ToUtf8(prompt.initial) << "]";
    }
    err << " " << std::flush;
    const std::optional<std::string> line = ReadLine(prompt.masked);
    if (!line) {
      if (!prompt.masked) err << std::endl;
      return std::nullopt;
    }
    if (line->empty() && !prompt.initial.empty()) return prompt.initial;
    std::string text;
    const platform::Status converted = platform::Utf8ToCp1252(*line, text);
    if (converted) {
      // A text box takes no more than its limit.
      if (text.size() > prompt.max_length) text.resize(prompt.max_length);
      return text;
    }
    err << "quillmk-cli: " << converted.message() << std::endl;
    if (!streams_.input_is_terminal) return std::nullopt;
  }
}

void TerminalUserInterface::BeginProgress(std::string_view title, long total) {
  if (progress_) EndProgress();
  progress_ = std::make_unique<Progress>();
  progress_->title = platform::Cp1252ToUtf8(title);
  progress_->total = total;
  interrupted = 0;
  struct sigaction on_interrupt{};
  on_interrupt.sa_handler = NoteInterrupt;
  sigemptyset(&on_interrupt.sa_mask);
  sigaction(SIGINT, &on_interrupt, &progress_->previous_interrupt);
}

bool TerminalUserInterface::AdvanceProgress(long done, std::string_view status) {
  if (!progress_) return interrupted == 0;
  if (streams_.err_is_terminal) {
    // A few updates a second are enough for the eye and cost nothing.
    const auto now = std::chrono::steady_clock::now();
    if (!progress_->shown || now - progress_->last_shown >= std::chrono::milliseconds(100) ||
        done == progress_->total) {
      std::string line = progress_->title + ": " + std::to_string(done);
      if (progress_->total > 0) line += "/" + std::to_string(progress_->total);
      if (!status.empty()) line += " " + platform::Cp1252ToUtf8(status);
      if (line.size() > 79) line.resize(79);
      streams_.err << "\r" << line << "\x1B[K" << std::flush;
      progress_->last_shown = now;
      progress_->shown = true;
    }
  }
  return interrupted == 0;
}

void TerminalUserInterface::EndProgress() {
  if (!progress_) return;
  if (progress_->shown) streams_.err << "\r\x1B[K" << std::flush;
  sigaction(SIGINT, &progress_->previous_interrupt, nullptr);
  progress_.reset();
}

}  // namespace qm::cli
