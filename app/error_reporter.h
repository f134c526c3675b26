// ErrorReporter: every message the program shows, and the diagnostic log of
// internal and engine errors in the program settings file.
//
// Messages are identified by their string-table numbers. Every operation
// returns the number of the message it showed (0 when it showed nothing),
// so that a caller can return it as its own result. Boxes go through the
// UserInterface seam; the front end decides how they look.
//
// One reporter serves a run. The run installs it (ScopedReporter) and the
// rest of the program reaches it through Reporter(); the table engine
// reaches it through EngineErrorHook.
#pragma once

#include <array>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "app/message_format.h"
#include "platform/user_interface.h"

namespace qm::app {

// Caption of every box that names none: "Corvane Quillmark".
inline constexpr int kDefaultCaptionId = 1115;
inline constexpr int kInternalErrorMessage = 99;
inline constexpr int kEngineErrorMessage = 286;
inline constexpr int kEngineErrorNumberSuffix = 460;
// String-table texts are cut at this length when loaded.
inline constexpr std::size_t kMaxLoadedTextLength = 255;
// Entries of the diagnostic ring in section "InternalError".
inline constexpr int kDiagnosticRingSize = 40;
inline constexpr std::string_view kInternalErrorSection = "InternalError";

// The engine error that the last failed table operation left behind.
struct EngineError {
  bool pending = false;
  int code = 0;
  int where = 0;  // the second number the engine gives with the code
  std::array<std::string, 3> descriptions;
};

// A message ready to show: its string-table number (0 for none) and text.
struct NumberedText {
  int number = 0;
  std::string text;
};

// The program version as the diagnostic log prints it, from the build.
struct ProgramVersion {
  int major = 0;
  int minor = 0;
  int patch = 0;
  int build = 0;
};
ProgramVersion CurrentProgramVersion();

// " Version 3.19.06.0000  " for version 3.19.6.0.
std::string VersionLogText(const ProgramVersion& version);
// The 24-character asctime form of a local time stamp (seconds since 1970
// on the local wall clock): "Wed Jun 30 21:49:08 1993".
std::string AsctimeText(long long local_seconds);

class ErrorReporter {
 public:
  // `ini_path` is the program settings file that receives the diagnostic
  // log; empty for none.
  ErrorReporter(platform::UserInterface& ui, std::string ini_path);

  // Start-up and the fatal shutdown re-initialise the reporter.
  void Initialise(platform::UserInterface& ui, std::string ini_path);
  const std::string& ini_path() const { return ini_path_; }

  // The person named in log lines.
  void SetUserName(std::string user_name) { user_name_ = std::move(user_name); }

  // How the program ends after a fatal engine error, once the message has
  // been shown. The default ends the process with exit status 1; the run
  // installs one that first saves what a normal exit saves, tests one that
  // records the call.
  void SetFatalShutdown(std::function<void()> shutdown) { shutdown_ = std::move(shutdown); }

  // The string-table text `id`, cut at 255 characters; nullopt when the
  // table has none. The Show operations below use the whole text.
  std::optional<std::string> LoadText(int id) const;

  // A text in a box with an information icon and an OK button, under the
  // caption `caption_id` (0: the default caption). Returns 0.
  int ShowText(std::string_view text, int caption_id = 0);
  int ShowMessage(int id, int caption_id = 0);
  // Message `id` with its one "%s" filled.
  int ShowMessageWithText(int id, std::string_view text, int caption_id = 0);
  // Message `id` with its one "%d", "%ld" or "%u" filled.
  int ShowMessageWithNumber(int id, long long number, int caption_id = 0);
  // The text of `id` with every "%s" / "%d" filled in order, shown under
  // its number.
  int ShowMessageWithArguments(int id, std::initializer_list<MessageArgument> arguments,
                               int caption_id = 0);

  // Message 99 with the module and line of a failed consistency check,
  // logged with error code 0. Returns 99.
  int ReportInternalError(std::string_view source_file, int line, int caption_id = 0);
  // As ReportInternalError with an error code; a code of 0 does nothing
  // and returns 0.
  int ReportInternalErrorCode(std::string_view source_file, int line, long long code,
                              int caption_id = 0);
  // Appends one line to the diagnostic ring. Returns 99.
  int LogInternalError(std::string_view text);
  // Logs "<user>'s Diagnostic error number N (File F, Line L)" for a
  // non-zero number, shows nothing; returns the number.
  int LogDiagnostic(std::string_view source_file, int line, int number);
  // The last-resort report of a state that must not occur; acts once per
  // run. `text` is already formatted. Returns 0.
  int ShowSerious(std::string_view source_file, int line, std::string_view text);

  // The report after a failed table operation: the engine error that is
  // pending (translated by its code), else `fallback_id` with the file
  // name, else nothing. A fatal engine code ends the program first.
  int ReportDatabaseError(std::string_view file_name, int fallback_id);
  // The pending engine error as a message (empty and 0 when none).
  NumberedText PendingEngineErrorText() const;
  const EngineError& engine_error() const { return engine_error_; }
  // A new database operation begins: the previous engine error is done.
  void BeginDatabaseOperation() { engine_error_.pending = false; }

  // What the table engine's error hook does with an engine error.
  void OnEngineError(int code, int where, std::string_view text1, std::string_view text2,
                     std::string_view text3);

  // `text` under the caption "Error..." with an exclamation icon. Returns 0.
  int ShowError(std::string_view text);
  // A question under the caption "Information..."; returns the button.
  platform::Button AskYesNo(std::string_view question,
                            platform::Button default_button = platform::Button::kYes);
  // The same for a question that is message `number` (already formatted in
  // `question`), so that front ends and tests see which one it is.
  platform::Button AskYesNo(int number, std::string_view question,
                            platform::Button default_button = platform::Button::kYes);
  platform::Button AskYesNoCancel(std::string_view question,
                                  platform::Button default_button = platform::Button::kYes);

 private:
  void Show(int number, std::string text, int caption_id, platform::MessageIcon icon);
  std::string Caption(int caption_id) const;
  std::string InternalErrorText(std::string_view source_file, int line,
                                std::optional<long long> code) const;
  void ShutDownAfterFatal(int code);

  platform::UserInterface* ui_;
  std::string ini_path_;
  std::string user_name_;
  std::function<void()> shutdown_;
  EngineError engine_error_;
  bool handling_engine_error_ = false;
  bool serious_shown_ = false;
};

// The message of a fatal engine code (443 to 456), or 0 when the code is
// not fatal.
int FatalEngineMessage(int code);

// The reporter of the run. Installing one while another is installed
// stacks it; the previous one returns when the newer one goes.
class ScopedReporter {
 public:
  explicit ScopedReporter(ErrorReporter& reporter);
  ~ScopedReporter();
  ScopedReporter(const ScopedReporter&) = delete;
  ScopedReporter& operator=(const ScopedReporter&) = delete;

 private:
  ErrorReporter* previous_;
};

bool HasReporter();
// The installed reporter. Calling it with none installed is a programming
// error and aborts with a message naming the caller's mistake.
ErrorReporter& Reporter();

// The function the table engine's error hook is pointed at. Without an
// installed reporter the error is written to stderr, so that it is never
// lost.
void EngineErrorHook(int code, int where, std::string_view text1, std::string_view text2,
                     std::string_view text3);

}  // namespace qm::app
