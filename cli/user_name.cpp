#include "cli/user_name.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/codepage.h"

namespace qm::cli {

std::optional<std::string> RunUserName(const CommandContext& context) {
  if (!context.options.user.empty()) return context.options.user;
  std::string from_environment;
  if (const char* named = std::getenv("QUILLMK_USER"); named && *named) {
    from_environment = named;
  } else if (const passwd* entry = getpwuid(geteuid()); entry && entry->pw_name) {
    from_environment = entry->pw_name;
  } else if (const char* login = std::getenv("LOGNAME"); login && *login) {
    from_environment = login;
  }
  std::string cp1252;
  if (!platform::Utf8ToCp1252(from_environment, cp1252)) return std::nullopt;
  return cp1252;
}

}  // namespace qm::cli
