#include "app/security.h"

#include <random>

#include "app/error_reporter.h"
#include "app/message_format.h"
#include "app/messages.h"
#include "platform/text_case.h"

namespace qm::app {
namespace {

constexpr int kShiftBase = 5;

std::string Text(int number) {
  auto text = MessageText(number);
  return text ? std::string(*text) : std::string();
}

bool IsAdministratorEntry(std::string_view name) {
  return platform::EqualsIgnoringCase(name, kAdministratorEntry);
}

// The file name without its folder.
std::string_view BaseName(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

char RandomPrefixCharacter() {
  static thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<int> code('A', 'z');
  return static_cast<char>(code(generator));
}

std::string ScramblePassword(std::string_view password, const PrefixSource& prefix) {
  std::string scrambled;
  scrambled.reserve(kScramblePrefixLength + password.size());
  for (std::size_t i = 0; i < kScramblePrefixLength; ++i) scrambled += prefix();
  const std::string upper = platform::Cp1252ToUpper(password);
  for (std::size_t i = 0; i < upper.size(); ++i) {
    const auto code = static_cast<unsigned char>(upper[i]);
    scrambled += static_cast<char>((code + i + kShiftBase) % 256);
  }
  return scrambled;
}

std::string UnscramblePassword(std::string_view scrambled) {
  if (scrambled.size() <= kScramblePrefixLength) return {};
  std::string_view body = scrambled.substr(kScramblePrefixLength);
  std::string password;
  password.reserve(body.size());
  for (std::size_t i = 0; i < body.size(); ++i) {
    const auto code = static_cast<unsigned char>(body[i]);
    password += static_cast<char>((code + 256 - (i + kShiftBase) % 256) % 256);
  }
  return password;
}

int ValidatePasswordText(std::string_view text) {
  if (text.empty()) return kPasswordEmpty;
  if (text.front() == ' ' || text.back() == ' ') return kPasswordEdgeSpace;
  for (char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || code > 0x7E || c == '~') return kPasswordBadCharacter;
  }
  return 0;
}

int RequiredLevel(SecuredOperation operation) {
  return operation == SecuredOperation::kChangeOwnPassword ? kValidPerson : kValidAdministrator;
}

DatabaseSecurity::DatabaseSecurity(std::string time_record_file, SupportStore* store,
                                   std::string support_file_name, ErrorReporter& reporter,
                                   platform::UserInterface& ui)
    : time_record_file_(std::move(time_record_file)),
      store_(store),
      support_file_name_(std::move(support_file_name)),
      reporter_(&reporter),
      ui_(&ui) {}

bool DatabaseSecurity::IsUntitled(std::string_view time_record_file) {
  return platform::Cp1252ToUpper(time_record_file).find("UNTITLED") != std::string::npos;
}

int DatabaseSecurity::Show(int number) { return reporter_->ShowMessage(number); }

int DatabaseSecurity::ShowWithText(int number, std::string_view text) {
  return reporter_->ShowMessageWithText(number, text);
}

int DatabaseSecurity::GetSecurityStatus() {
  if (cached_status_) return *cached_status_;
  if (store_ == nullptr) return kSupportFileMissing;
  // A value no scrambling produces tells an absent entry from a stored one.
  constexpr std::string_view kAbsent = "\x01";
  const std::string stored = store_->GetSupportString(kPasswordSection, kAdministratorEntry, kAbsent);
  if (stored == kAbsent) return kPasswordInfoMissing;
  const int status = platform::EqualsIgnoringCase(UnscramblePassword(stored), kNoPasswordMarker)
                         ? kPasswordsNotRequired
                         : kPasswordsRequired;
  cached_status_ = status;
  return status;
}

int DatabaseSecurity::CheckPassword(std::string_view user_name, std::string_view typed) {
  const int status = GetSecurityStatus();
  if (status == kPasswordsNotRequired) return kValidAdministrator;
  if (status != kPasswordsRequired) return kInvalidPassword;
  const std::string administrator =
      UnscramblePassword(store_->GetSupportString(kPasswordSection, kAdministratorEntry, ""));
  if (platform::EqualsIgnoringCase(typed, administrator)) return kValidAdministrator;
  // The administrator entry is nobody's personal password.
  if (IsAdministratorEntry(user_name)) return kInvalidPassword;
  const std::string person =
      UnscramblePassword(store_->GetSupportString(kPasswordSection, user_name, ""));
  if (platform::EqualsIgnoringCase(typed, person)) return kValidPerson;
  return kInvalidPassword;
}

int DatabaseSecurity::Store(std::string_view entry, std::string_view password) {
  if (store_ == nullptr) return kSupportWriteFailed;
  const std::string scrambled = ScramblePassword(password, prefix_);
  if (store_->WriteSupportString(kPasswordSection, entry, scrambled, true) != 1) {
    return kSupportWriteFailed;
  }
  cached_status_.reset();
  return 0;
}

int DatabaseSecurity::SetAdministratorPassword(std::string_view password) {
  if (const int invalid = ValidatePasswordText(password); invalid != 0) return invalid;
  return Store(kAdministratorEntry, password);
}

int DatabaseSecurity::SetPersonPassword(std::string_view person, std::string_view password) {
  if (person.empty() || person.size() > kMaxPersonNameLength || IsAdministratorEntry(person)) {
    return kPersonPasswordNotFound;
  }
  if (const int invalid = ValidatePasswordText(password); invalid != 0) return invalid;
  return Store(person, password);
}

int DatabaseSecurity::TurnSecurityOff() { return Store(kAdministratorEntry, kNoPasswordMarker); }

int DatabaseSecurity::GetPersonPassword(std::string_view person, std::string& password) {
  password.clear();
  if (store_ == nullptr || IsAdministratorEntry(person)) return kPersonPasswordNotFound;
  const std::string stored = store_->GetSupportString(kPasswordSection, person, "");
  if (stored.empty()) return kPersonPasswordNotFound;
  password = UnscramblePassword(stored).substr(0, kMaxPasswordLength);
  return 0;
}

int DatabaseSecurity::PromptThreeTimes(int prompt_number, std::string_view user_name,
                                       int required_level) {
  platform::TextPrompt prompt;
  prompt.number = prompt_number;
  prompt.prompt = prompt_number == kSignOnPrompt
                      ? FormatMessageText(Text(prompt_number),
                                          {platform::Cp1252ToLower(BaseName(time_record_file_))})
                      : Text(prompt_number);
  prompt.caption = reporter_->LoadText(kDefaultCaptionId).value_or("");
  prompt.masked = true;
  prompt.max_length = kMaxPasswordLength;
  constexpr int kAttempts = 3;
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    std::optional<std::string> typed = ui_->AskText(prompt);
    if (!typed) return kOperationCanceled;
    const int level = CheckPassword(user_name, *typed);
    const bool enough = level == kValidAdministrator ||
                        (level == kValidPerson && required_level == kValidPerson);
    if (enough) return level;
    if (attempt < kAttempts) Show(kPasswordTryAgain);
  }
  Show(kAccessRefused);
  return kInvalidPassword;
}

int DatabaseSecurity::SignOn(std::string_view user_name) {
  cached_status_.reset();
  int level = kInvalidPassword;
  switch (GetSecurityStatus()) {
    case kPasswordsNotRequired:
      level = kValidAdministrator;
      break;
    case kPasswordInfoMissing:
      Show(kPasswordInfoMissing);
      break;
    case kSupportFileMissing:
      ShowWithText(kSupportFileMissing, support_file_name_);
      break;
    default:
      level = PromptThreeTimes(kSignOnPrompt, user_name, kValidPerson);
      break;
  }
  if (level == kValidAdministrator || level == kValidPerson) access_level_ = level;
  return level;
}

int DatabaseSecurity::RequireAccess(SecuredOperation operation, std::string_view user_name) {
  switch (GetSecurityStatus()) {
    case kPasswordsNotRequired:
      return 0;
    case kPasswordInfoMissing:
      return Show(kPasswordInfoMissing), kPasswordInfoMissing;
    case kSupportFileMissing:
      return ShowWithText(kSupportFileMissing, support_file_name_), kSupportFileMissing;
    default:
      break;
  }
  const int required = RequiredLevel(operation);
  const int prompt = required == kValidPerson ? kPersonPrompt : kAdministratorPrompt;
  const int level = PromptThreeTimes(prompt, user_name, required);
  if (level == kOperationCanceled) return kOperationCanceled;
  return level == kValidAdministrator || level == kValidPerson ? 0 : kAccessRefused;
}

int DatabaseSecurity::TurnSecurityOn(std::string_view password, std::string_view user_name) {
  if (IsUntitled(time_record_file_)) return Show(kUntitledCannotBeProtected), kUntitledCannotBeProtected;
  const int status = GetSecurityStatus();
  if (status == kPasswordsRequired) {
    // Protection on already: this replaces the administrator password.
    if (const int refused = RequireAccess(SecuredOperation::kChangeAdministratorPassword, user_name);
        refused != 0) {
      return refused;
    }
  } else if (status != kPasswordsNotRequired) {
    return RequireAccess(SecuredOperation::kChangeAdministratorPassword, user_name);
  }
  if (const int invalid = ValidatePasswordText(password); invalid != 0) {
    return Show(invalid), invalid;
  }
  if (const int stored = SetAdministratorPassword(password); stored != 0) return stored;
  Show(kSecurityTurnedOn);
  return 0;
}

}  // namespace qm::app
