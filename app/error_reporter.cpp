#include "app/error_reporter.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "app/message_format.h"
#include "app/messages.h"
#include "platform/clock.h"
#include "platform/profile.h"

namespace qm::app {
namespace {

ErrorReporter* g_installed_reporter = nullptr;


constexpr std::string_view kMissingTextCaption = "Error";
constexpr std::string_view kInternalErrorFallback =
    "Internal and out of memory errors have occurred.  Please write down the file name "
    "and line number displayed below and contact technical support.";
constexpr std::string_view kEngineErrorFallback =
    "Error #%d (%d) has occurred:\n\n%s\n%s\n%s\n\nThis error may have been caused by "
    "modifications to the database by other applications, by a system crash, or by disk "
    "problems.  To repair the database, choose File/Repair Database.";
constexpr std::string_view kEngineErrorNumberFallback = "  (Codebase Error Number: %d)";
constexpr std::string_view kUnloadableEngineMessage =
    "Error: Unable to load error message for error number %d";

// What arguments a translated engine message takes.
enum class EngineArguments { kNone, kFileName, kDescriptionAndFileName };

struct EngineTranslation {
  int code;
  int message;
  EngineArguments arguments;
};

constexpr EngineTranslation kEngineTranslations[] = {
    {-1, 372, EngineArguments::kNone},
    {-20, 277, EngineArguments::kFileName},
    {-50, 362, EngineArguments::kNone},
    {-61, 419, EngineArguments::kFileName},
    {-62, 419, EngineArguments::kFileName},
    {-69, 418, EngineArguments::kFileName},
    {-70, 363, EngineArguments::kNone},
    {-120, 294, EngineArguments::kNone},
    {-200, 114, EngineArguments::kFileName},
    {-210, 295, EngineArguments::kDescriptionAndFileName},
    {-220, 296, EngineArguments::kDescriptionAndFileName},
    {-330, 410, EngineArguments::kDescriptionAndFileName},
    {-920, 122, EngineArguments::kNone},
};

struct FatalCode {
  int code;
  int message;
};

constexpr FatalCode kFatalCodes[] = {
    {-1300, 443}, {-1310, 444}, {-1320, 445}, {-1330, 446}, {-1340, 447},
    {-1350, 448}, {-1360, 449}, {-1370, 450}, {-1380, 451}, {-1400, 452},
    {-1430, 453}, {-2100, 454}, {-2110, 455}, {-2120, 456},
};

const EngineTranslation* FindTranslation(int code) {
  for (const EngineTranslation& entry : kEngineTranslations) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

// The local wall-clock seconds of now, from the clock seam.
long long LocalNow() {
  const platform::Clock& clock = platform::CurrentClock();
  return clock.UtcNow() - clock.StandardOffsetWest() + (clock.DaylightNow() ? 3600 : 0);
}

// Marks a hook call as running for its duration, so that an engine error
// raised while one is being handled is dropped rather than nested.
class HandlingGuard {
 public:
  explicit HandlingGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~HandlingGuard() { flag_ = false; }
  HandlingGuard(const HandlingGuard&) = delete;
  HandlingGuard& operator=(const HandlingGuard&) = delete;

 private:
  bool& flag_;
};

}  // namespace

ProgramVersion CurrentProgramVersion() {
  return ProgramVersion{QM_VERSION_MAJOR, QM_VERSION_MINOR, QM_VERSION_PATCH, 0};
}

std::string VersionLogText(const ProgramVersion& version) {
  char text[96];
  std::snprintf(text, sizeof text, " Version %d.%-2.2d.%-2.2d.%-4.4d  ", version.major,
                version.minor, version.patch, version.build);
  return text;
}

std::string AsctimeText(long long local_seconds) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::time_t seconds = static_cast<std::time_t>(local_seconds);
  std::tm fields{};
  if (!gmtime_r(&seconds, &fields)) return "??? ??? ?? ??:??:?? ????";
  char text[64];
  std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[fields.tm_wday % 7],
                kMonths[fields.tm_mon % 12], fields.tm_mday, fields.tm_hour, fields.tm_min,
                fields.tm_sec, 1900 + fields.tm_year);
  return text;
}

int FatalEngineMessage(int code) {
  for (const FatalCode& entry : kFatalCodes) {
    if (entry.code == code) return entry.message;
  }
  return 0;
}

ErrorReporter::ErrorReporter(platform::UserInterface& ui, std::string ini_path)
    : ui_(&ui), ini_path_(std::move(ini_path)), shutdown_([] { std::exit(1); }) {}

void ErrorReporter::Initialise(platform::UserInterface& ui, std::string ini_path) {
  ui_ = &ui;
  ini_path_ = std::move(ini_path);
}

std::optional<std::string> ErrorReporter::LoadText(int id) const {
  std::optional<std::string_view> text = MessageText(id);
  if (!text) return std::nullopt;
  return CutText(*text, kMaxLoadedTextLength);
}

std::string ErrorReporter::Caption(int caption_id) const {
  return LoadText(caption_id ? caption_id : kDefaultCaptionId)
      .value_or(std::string(kMissingTextCaption));
}

void ErrorReporter::Show(int number, std::string text, int caption_id,
                         platform::MessageIcon icon) {
  platform::Message message;
  message.number = number;
  message.text = std::move(text);
  message.caption = Caption(caption_id);
  message.icon = icon;
  ui_->Show(message);
}

int ErrorReporter::ShowText(std::string_view text, int caption_id) {
  Show(0, std::string(text), caption_id, platform::MessageIcon::kInformation);
  return 0;
}

// A number the table lacks is the program's own fault; the box says so and
// names it, rather than blaming the memory as the Windows program did.
static std::string MissingMessageText(int id) {
  return FormatMessageText(
      "Message %d is missing from the program's string table.  Please report this to "
      "technical support.",
      {static_cast<long long>(id)});
}

// Boxes show the whole table text and the whole formatted result: message
// 288 alone is longer than 255 characters, and a 255-character path in a
// message must not push its advice off the end.
static std::optional<std::string> WholeText(int id) {
  std::optional<std::string_view> text = MessageText(id);
  if (!text) return std::nullopt;
  return std::string(*text);
}

int ErrorReporter::ShowMessage(int id, int caption_id) {
  if (id == 0) return 0;
  std::optional<std::string> text = WholeText(id);
  Show(id, text ? *text : MissingMessageText(id), caption_id,
       platform::MessageIcon::kInformation);
  return id;
}

int ErrorReporter::ShowMessageWithText(int id, std::string_view text, int caption_id) {
  if (id == 0) return 0;
  std::optional<std::string> format = WholeText(id);
  std::string message = format ? FormatMessageText(*format, {text}) : MissingMessageText(id);
  Show(id, std::move(message), caption_id, platform::MessageIcon::kInformation);
  return id;
}

int ErrorReporter::ShowMessageWithArguments(int id,
                                            std::initializer_list<MessageArgument> arguments,
                                            int caption_id) {
  if (id == 0) return 0;
  std::optional<std::string> format = WholeText(id);
  std::string message = format ? FormatMessageText(*format, arguments) : MissingMessageText(id);
  Show(id, std::move(message), caption_id, platform::MessageIcon::kInformation);
  return id;
}

int ErrorReporter::ShowMessageWithNumber(int id, long long number, int caption_id) {
  if (id == 0) return 0;
  std::optional<std::string> format = WholeText(id);
  std::string message = format ? FormatMessageText(*format, {number}) : MissingMessageText(id);
  Show(id, std::move(message), caption_id, platform::MessageIcon::kInformation);
  return id;
}

std::string ErrorReporter::InternalErrorText(std::string_view source_file, int line,
                                             std::optional<long long> code) const {
  std::string text =
      WholeText(kInternalErrorMessage).value_or(std::string(kInternalErrorFallback));
  text += "\n\n(File: ";
  text += source_file;
  text += " Line: " + std::to_string(line);
  if (code) text += " Error Code: " + std::to_string(*code);
  text += ")";
  return text;
}

int ErrorReporter::ReportInternalError(std::string_view source_file, int line,
                                       int caption_id) {
  Show(kInternalErrorMessage, InternalErrorText(source_file, line, std::nullopt), caption_id,
       platform::MessageIcon::kInformation);
  LogInternalError("File: " + std::string(source_file) + " Line: " + std::to_string(line) +
                   " Error Code: 0");
  return kInternalErrorMessage;
}

int ErrorReporter::ReportInternalErrorCode(std::string_view source_file, int line,
                                           long long code, int caption_id) {
  if (code == 0) return 0;
  Show(kInternalErrorMessage, InternalErrorText(source_file, line, code), caption_id,
       platform::MessageIcon::kInformation);
  LogInternalError("File: " + std::string(source_file) + " Line: " + std::to_string(line) +
                   " Error Code: " + std::to_string(code));
  return kInternalErrorMessage;
}

int ErrorReporter::LogInternalError(std::string_view text) {
  if (ini_path_.empty()) return kInternalErrorMessage;
  int current = platform::GetProfileInt(ini_path_, kInternalErrorSection, "Current", 0);
  // A hand-edited index outside the ring is brought back into it.
  int index = ((current % kDiagnosticRingSize) + kDiagnosticRingSize + 1) % kDiagnosticRingSize;
  std::string line(text);
  line += VersionLogText(CurrentProgramVersion());
  line += " Time: ";
  line += AsctimeText(LocalNow());
  // A log that cannot be written must not turn one failure into two.
  (void)platform::WriteProfileInt(ini_path_, kInternalErrorSection, "Current", index);
  (void)platform::WriteProfileString(ini_path_, kInternalErrorSection,
                                     "Error" + std::to_string(index), line);
  return kInternalErrorMessage;
}

int ErrorReporter::LogDiagnostic(std::string_view source_file, int line, int number) {
  if (number == 0) return 0;
  LogInternalError(FormatMessageText("%s's Diagnostic error number %d (File %s, Line %d)",
                                     {user_name_, static_cast<long long>(number),
                                      source_file, static_cast<long long>(line)}));
  return number;
}

int ErrorReporter::ShowSerious(std::string_view source_file, int line,
                               std::string_view text) {
  if (serious_shown_) return 0;
  serious_shown_ = true;
  std::string message = "An unrecoverable error has occurred.\n";
  message += text;
  message += FormatMessageText("\n(File: \"%s\"  Line: %d)",
                               {source_file, static_cast<long long>(
                                                 static_cast<unsigned int>(line) % 65536u)});
  message += "\n\nPlease record this information and contact Corvane Software Technical support.";
  platform::Message box;
  box.text = std::move(message);
  box.caption = "Serious Error...";
  box.icon = platform::MessageIcon::kExclamation;
  ui_->Show(box);
  return 0;
}

NumberedText ErrorReporter::PendingEngineErrorText() const {
  if (!engine_error_.pending) return {};
  const EngineError& error = engine_error_;
  int message = 0;
  if (const EngineTranslation* translation = FindTranslation(error.code)) {
    message = translation->message;
  } else {
    message = FatalEngineMessage(error.code);
  }
  if (message != 0) {
    std::optional<std::string> format = WholeText(message);
    std::string text =
        format ? FormatMessageText(*format, {error.descriptions[0], error.descriptions[1],
                                             error.descriptions[2]})
               : FormatMessageText(kUnloadableEngineMessage, {static_cast<long long>(message)});
    text += FormatMessageText(WholeText(kEngineErrorNumberSuffix)
                                  .value_or(std::string(kEngineErrorNumberFallback)),
                              {static_cast<long long>(error.code)});
    return {message, std::move(text)};
  }
  std::string format(MessageText(kEngineErrorMessage).value_or(kEngineErrorFallback));
  return {kEngineErrorMessage,
          FormatMessageText(format, {static_cast<long long>(error.code),
                                     static_cast<long long>(error.where),
                                     error.descriptions[0], error.descriptions[1],
                                     error.descriptions[2]})};
}

void ErrorReporter::ShutDownAfterFatal(int code) {
  int message = FatalEngineMessage(code);
  std::optional<std::string> text = WholeText(message);
  Show(message, text ? *text : MissingMessageText(message), 0, platform::MessageIcon::kStop);
  shutdown_();
}

void ErrorReporter::OnEngineError(int code, int where, std::string_view text1,
                                  std::string_view text2, std::string_view text3) {
  if (handling_engine_error_) return;
  HandlingGuard guard(handling_engine_error_);
  engine_error_.pending = true;
  engine_error_.code = code;
  engine_error_.where = where;
  engine_error_.descriptions = {std::string(text1), std::string(text2), std::string(text3)};
  LogInternalError(FormatMessageText(
      "%s's Codebase Error %d (%d), %s %s %s",
      {user_name_, static_cast<long long>(code), static_cast<long long>(where), text1, text2,
       text3}));
  if (FatalEngineMessage(code) != 0) ShutDownAfterFatal(code);
}

int ErrorReporter::ReportDatabaseError(std::string_view file_name, int fallback_id) {
  if (!engine_error_.pending) {
    if (fallback_id == 0) return 0;
    return ShowMessageWithText(fallback_id, file_name);
  }
  const EngineError& error = engine_error_;
  if (int fatal = FatalEngineMessage(error.code)) {
    ShutDownAfterFatal(error.code);
    return fatal;
  }
  const EngineTranslation* translation = FindTranslation(error.code);
  if (!translation) {
    NumberedText pending = PendingEngineErrorText();
    Show(pending.number, std::move(pending.text), 0, platform::MessageIcon::kInformation);
    return pending.number;
  }
  std::optional<std::string> format = WholeText(translation->message);
  std::string text;
  if (!format) {
    text = FormatMessageText(kUnloadableEngineMessage,
                             {static_cast<long long>(translation->message)});
  } else if (translation->arguments == EngineArguments::kFileName) {
    text = FormatMessageText(*format, {file_name});
  } else if (translation->arguments == EngineArguments::kDescriptionAndFileName) {
    text = FormatMessageText(*format, {error.descriptions[0], file_name});
  } else {
    text = *format;
  }
  Show(translation->message, std::move(text), 0, platform::MessageIcon::kInformation);
  return translation->message;
}

int ErrorReporter::ShowError(std::string_view text) {
  platform::Message box;
  box.text = std::string(text);
  box.caption = "Error...";
  box.icon = platform::MessageIcon::kExclamation;
  ui_->Show(box);
  return 0;
}

platform::Button ErrorReporter::AskYesNo(std::string_view question,
                                         platform::Button default_button) {
  return AskYesNo(0, question, default_button);
}

platform::Button ErrorReporter::AskYesNo(int number, std::string_view question,
                                         platform::Button default_button) {
  platform::Message box;
  box.number = number;
  box.text = std::string(question);
  box.caption = "Information...";
  box.icon = platform::MessageIcon::kQuestion;
  return ui_->AskYesNo(box, default_button);
}

platform::Button ErrorReporter::AskYesNoCancel(std::string_view question,
                                               platform::Button default_button) {
  platform::Message box;
  box.text = std::string(question);
  box.caption = "Information...";
  box.icon = platform::MessageIcon::kQuestion;
  return ui_->AskYesNoCancel(box, default_button);
}

ScopedReporter::ScopedReporter(ErrorReporter& reporter) : previous_(g_installed_reporter) {
  g_installed_reporter = &reporter;
}

ScopedReporter::~ScopedReporter() { g_installed_reporter = previous_; }

bool HasReporter() { return g_installed_reporter != nullptr; }

ErrorReporter& Reporter() {
  if (!g_installed_reporter) {
    std::fputs("quillmark: a message was reported before the run installed its error "
               "reporter\n",
               stderr);
    std::abort();
  }
  return *g_installed_reporter;
}

void EngineErrorHook(int code, int where, std::string_view text1, std::string_view text2,
                     std::string_view text3) {
  if (g_installed_reporter) {
    g_installed_reporter->OnEngineError(code, where, text1, text2, text3);
    return;
  }
  std::string line = FormatMessageText("Codebase Error %d (%d), %s %s %s\n",
                                       {static_cast<long long>(code),
                                        static_cast<long long>(where), text1, text2, text3});
  std::fputs(line.c_str(), stderr);
}

}  // namespace qm::app
