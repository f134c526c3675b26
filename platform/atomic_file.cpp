#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>

namespace qm::platform {
namespace {

// Closes a descriptor it owns; Release hands it back for an explicit close
// whose result matters.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.Release();
    }
    return *this;
  }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// Where the write really goes: the target of a symbolic link, so that a
// linked settings file stays linked.
std::string ResolveTarget(const std::string& path) {
  struct stat info{};
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) != nullptr) return resolved;
  return path;  // a dangling link is replaced by the file
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return directory + "." + name + "." + std::to_string(getpid()) + "-" +
         std::to_string(counter.fetch_add(1)) + "-" + std::to_string(ticks % 1000000) + ".tmp";
}

Status WriteAll(int fd, std::string_view contents, const std::string& path) {
  while (!contents.empty()) {
    const ssize_t written = ::write(fd, contents.data(), contents.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return Status::ErrorFromErrno("cannot write", path);
    }
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
  return Status::Ok();
}

}  // namespace

Status WriteFileAtomically(const std::string& path, std::string_view contents) {
  const std::string target = ResolveTarget(path);
  struct stat old_info{};
  const bool replacing = stat(target.c_str(), &old_info) == 0;
  if (replacing && !S_ISREG(old_info.st_mode)) {
    return Status::Error("cannot replace " + target + ": it is not a regular file");
  }

  std::string temporary;
  FileDescriptor fd(-1);
  for (int attempt = 0; attempt < 100 && !fd.valid(); ++attempt) {
    temporary = TemporaryNameFor(target);
    fd = FileDescriptor(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.valid() && errno != EEXIST) return Status::ErrorFromErrno("cannot create", temporary);
  }
  if (!fd.valid()) return Status::ErrorFromErrno("cannot create", temporary);

  const auto fail = [&](Status status) {
    ::unlink(temporary.c_str());
    return status;
  };
  if (replacing) {
    // Keep who may read the file (a shared settings file stays shared).
    if (::fchmod(fd.get(), old_info.st_mode & 07777) != 0) {
      return fail(Status::ErrorFromErrno("cannot set the permissions of", temporary));
    }
    [[maybe_unused]] const int ignored = ::fchown(fd.get(), old_info.st_uid, old_info.st_gid);
  }
  if (Status status = WriteAll(fd.get(), contents, temporary); !status) return fail(status);
  if (::fsync(fd.get()) != 0) return fail(Status::ErrorFromErrno("cannot flush", temporary));
  if (::close(fd.Release()) != 0) return fail(Status::ErrorFromErrno("cannot close", temporary));
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    return fail(Status::ErrorFromErrno("cannot rename the new file to", target));
  }
  // The rename is durable only once the folder is on disk too.
  FileDescriptor directory(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.valid()) ::fsync(directory.get());
  return Status::Ok();
}

Status ReadWholeFile(const std::string& path, std::string& contents, bool& exists) {
  contents.clear();
  exists = false;
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno == ENOENT) return Status::Ok();
    return Status::ErrorFromErrno("cannot open", path);
  }
  struct stat info{};
  if (::fstat(fd.get(), &info) != 0) return Status::ErrorFromErrno("cannot read", path);
  if (S_ISDIR(info.st_mode)) return Status::Error("cannot read " + path + ": it is a directory");
  exists = true;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Status::ErrorFromErrno("cannot read", path);
    }
    if (got == 0) break;
    contents.append(buffer, static_cast<std::size_t>(got));
  }
  return Status::Ok();
}

}  // namespace qm::platform
