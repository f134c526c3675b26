#include "platform/paths.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/text_case.h"

namespace qm::platform {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

std::string HomeDirectory() {
  std::string home = Environment("HOME");
  if (!home.empty()) return home;
  const passwd* entry = getpwuid(getuid());
  if (entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
  return "/";
}

// An XDG base directory: the variable when it holds an absolute path (the
// XDG rules ignore relative ones), else the fallback below the home folder.
std::string XdgDirectory(const char* variable, const char* below_home) {
  std::string value = Environment(variable);
  if (!value.empty() && value.front() == '/') return value;
  return JoinPath(HomeDirectory(), below_home);
}

bool IsDirectory(const std::string& path) {
  struct stat info{};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::string& path) {
  struct stat info{};
  return lstat(path.c_str(), &info) == 0;
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

std::string ProgramDirectory() {
  const std::string home = Environment("QUILLMK_HOME");
  if (!home.empty()) return home;
  return JoinPath(XdgDirectory("XDG_DATA_HOME", ".local/share"), "quillmark");
}

std::string WinIniPath() {
  const std::string home = Environment("QUILLMK_HOME");
  if (!home.empty()) {
    if (auto own = FindFileIgnoringCase(JoinPath(home, "win.ini"))) return *own;
  }
  return JoinPath(JoinPath(XdgDirectory("XDG_CONFIG_HOME", ".config"), "quillmark"), "win.ini");
}

Status EnsureDirectory(const std::string& path) {
  if (path.empty()) return Status::Error("no directory name given");
  if (IsDirectory(path)) return Status::Ok();
  const std::size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    Status parent = EnsureDirectory(path.substr(0, slash));
    if (!parent) return parent;
  }
  if (mkdir(path.c_str(), 0777) != 0 && !(errno == EEXIST && IsDirectory(path))) {
    return Status::ErrorFromErrno("cannot create the directory", path);
  }
  return Status::Ok();
}

std::string JoinPath(std::string_view directory, std::string_view name) {
  if (directory.empty()) return std::string(name);
  std::string joined(directory);
  if (!name.empty() && name.front() == '/') name.remove_prefix(1);
  if (joined.back() != '/') joined += '/';
  joined += name;
  return joined;
}

std::optional<std::string> FindFileIgnoringCase(const std::string& path) {
  if (path.empty()) return std::nullopt;
  if (Exists(path)) return path;
  const std::size_t slash = path.find_last_of('/');
  const std::string directory =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return std::nullopt;

  std::unique_ptr<DIR, DirCloser> dir(opendir(directory.c_str()));
  if (!dir) return std::nullopt;
  // The first match in directory order; two spellings that differ only in
  // case cannot both have come from Windows, so any of them will do.
  while (const dirent* entry = readdir(dir.get())) {
    if (EqualsIgnoringAsciiCase(entry->d_name, name)) {
      return slash == std::string::npos ? std::string(entry->d_name)
                                        : JoinPath(directory, entry->d_name);
    }
  }
  return std::nullopt;
}

}  // namespace qm::platform
