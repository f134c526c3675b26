// Password protection of a time record database.
//
// A database may carry an administrator password and one password per
// person, all kept scrambled in its support file (section "Index Position
// Blocks"), so that they travel with the database and hold for every user
// of it. The administrator entry "Index~Lock" holds either the scrambled
// administrator password or the scrambled no-password marker; a database
// without that entry is treated as tampered with, never as unprotected.
//
// The scrambled form is read by every copy of the program and must not
// change: 15 random characters from 'A' to 'z', then each character of the
// upper-cased password at position i shifted by i + 5. It hides passwords
// from a casual look at the file; it is no encryption (see
// docs/security.md).
//
// Access levels and protection states are message numbers, as the rest of
// the program carries them.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/support_store.h"
#include "platform/user_interface.h"

namespace qm::app {

class ErrorReporter;

// Access levels.
inline constexpr int kValidAdministrator = 240;
inline constexpr int kValidPerson = 241;
inline constexpr int kInvalidPassword = 275;
inline constexpr int kOperationCanceled = 127;

// Protection states.
inline constexpr int kPasswordsRequired = 274;
inline constexpr int kPasswordsNotRequired = 276;
inline constexpr int kPasswordInfoMissing = 246;
inline constexpr int kSupportFileMissing = 361;

// Messages of the operations.
inline constexpr int kAccessRefused = 242;
inline constexpr int kPasswordTryAgain = 1237;
inline constexpr int kSignOnPrompt = 1236;
inline constexpr int kAdministratorPrompt = 1235;
inline constexpr int kPersonPrompt = 1234;
inline constexpr int kUntitledCannotBeProtected = 371;
inline constexpr int kSecurityTurnedOn = 1230;
inline constexpr int kSecurityTurnedOff = 247;
inline constexpr int kSupportWriteFailed = 109;
inline constexpr int kPersonPasswordNotFound = 183;
inline constexpr int kPasswordEmpty = 250;
inline constexpr int kPasswordEdgeSpace = 249;
inline constexpr int kPasswordBadCharacter = 248;

inline constexpr std::string_view kPasswordSection = "Index Position Blocks";
inline constexpr std::string_view kAdministratorEntry = "Index~Lock";
inline constexpr std::string_view kNoPasswordMarker = "MARBLEOTTERKITE";
inline constexpr std::size_t kScramblePrefixLength = 15;
inline constexpr std::size_t kMaxPasswordLength = 40;
inline constexpr std::size_t kMaxPersonNameLength = 35;

// Draws one character of the random prefix; must return a code from 65 to
// 122. The default draws uniformly from a generator seeded by the system.
using PrefixSource = std::function<char()>;
char RandomPrefixCharacter();

std::string ScramblePassword(std::string_view password,
                             const PrefixSource& prefix = RandomPrefixCharacter);
// The password of a scrambled text ("" for a text of 15 characters or
// fewer).
std::string UnscramblePassword(std::string_view scrambled);

// 0 when `text` may be a new password, else the message that says why not:
// 250 empty, 249 a blank at either end, 248 a character that is not
// printable ASCII, or "~". Only printable ASCII is taken: every such
// character still scrambles to a storable byte.
int ValidatePasswordText(std::string_view text);

// What an operation requires of the person who starts it.
enum class SecuredOperation {
  kTurnSecurityOff,
  kChangeAdministratorPassword,
  kChangeOwnPassword,
  kAssignPersonPasswords,
  kRepairDatabases,
  kEditDescriptors,
};
// kValidAdministrator, or kValidPerson for operations a person may do.
int RequiredLevel(SecuredOperation operation);

// The protection of one open database.
class DatabaseSecurity {
 public:
  // `store` is the support file of `time_record_file`, nullptr when that
  // file does not exist; `support_file_name` names it in message 361.
  // Messages go through `reporter`, password prompts through `ui`.
  DatabaseSecurity(std::string time_record_file, SupportStore* store,
                   std::string support_file_name, ErrorReporter& reporter,
                   platform::UserInterface& ui);

  // 274, 276, 246 or 361. 274 and 276 are kept until the protection
  // changes or ClearCachedStatus.
  int GetSecurityStatus();
  void ClearCachedStatus() { cached_status_.reset(); }

  // 240 when protection is off or `typed` is the administrator password,
  // 241 when it is `user_name`'s password, else 275. Case is ignored. A
  // person with no stored password has the empty password.
  int CheckPassword(std::string_view user_name, std::string_view typed);

  // 0, 109 when the support file could not be written (the old entry
  // stays), or the ValidatePasswordText message for a bad password.
  int SetAdministratorPassword(std::string_view password);
  int SetPersonPassword(std::string_view person, std::string_view password);
  // Stores the no-password marker as the administrator entry: 0 or 109.
  int TurnSecurityOff();
  // 0 with the person's password, or 183 with "" when none is stored.
  int GetPersonPassword(std::string_view person, std::string& password);

  // The prompt when the database is opened: 240, 241, 275 or 127. Three
  // attempts; 1237 after the first two rejections, 242 after the third.
  // The level obtained becomes access_level().
  int SignOn(std::string_view user_name);
  // Asks for a password when `operation` needs more than protection off
  // gives. 0 when it may go on, else the message that refused it (242,
  // 246, 361) or 127 for a cancelled prompt.
  int RequireAccess(SecuredOperation operation, std::string_view user_name);

  // Turns protection on with `password` as the administrator password.
  // 371 for a database whose path contains "untitled" in any case; the
  // validation message for a bad password; 109; or 0 after 1230. When
  // protection is on already, administrator access is asked for first.
  int TurnSecurityOn(std::string_view password, std::string_view user_name);

  // The level of the person signed on; administrator until SignOn says
  // otherwise.
  int access_level() const { return access_level_; }
  void set_access_level(int level) { access_level_ = level; }

  // The source of the random prefix of scrambled passwords.
  void set_prefix_source(PrefixSource prefix) { prefix_ = std::move(prefix); }

  // Whether the path names the untitled database.
  static bool IsUntitled(std::string_view time_record_file);

 private:
  // Up to three prompts with message `prompt_number`: the level of the
  // accepted password, 275 after three rejections (242 shown), or 127.
  int PromptThreeTimes(int prompt_number, std::string_view user_name, int required_level);
  int Store(std::string_view entry, std::string_view password);
  int Show(int number);
  int ShowWithText(int number, std::string_view text);

  std::string time_record_file_;
  SupportStore* store_;  // not owned; nullptr when the support file is missing
  std::string support_file_name_;
  ErrorReporter* reporter_;       // not owned
  platform::UserInterface* ui_;   // not owned
  std::optional<int> cached_status_;
  int access_level_ = kValidAdministrator;
  PrefixSource prefix_ = RandomPrefixCharacter;
};

}  // namespace qm::app
