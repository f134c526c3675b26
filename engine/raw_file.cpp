#include "engine/raw_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <memory>

namespace qm::engine {

RawFile::~RawFile() { Close(); }

RawFile::RawFile(RawFile&& other) noexcept
    : fd_(other.fd_), read_only_(other.read_only_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

RawFile& RawFile::operator=(RawFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    read_only_ = other.read_only_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

Status RawFile::Open(const std::string& path, Mode mode) {
  Close();
  int flags = (mode == Mode::kReadOnly) ? O_RDONLY : O_RDWR;
  int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  bool read_only = (mode == Mode::kReadOnly);
  if (fd < 0 && mode == Mode::kReadWriteOrReadOnly && (errno == EACCES || errno == EROFS)) {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    read_only = true;
  }
  if (fd < 0) return Status::ErrorFromErrno("open", path);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Status::Error("open " + path + ": not a regular file", EISDIR);
  }
  fd_ = fd;
  read_only_ = read_only;
  path_ = path;
  return Status::Ok();
}

Status RawFile::Create(const std::string& path, bool overwrite) {
  Close();
  int flags = O_RDWR | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return Status::ErrorFromErrno("create", path);
  fd_ = fd;
  read_only_ = false;
  path_ = path;
  return Status::Ok();
}

void RawFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Status RawFile::ReadAt(std::uint64_t offset, std::span<char> buffer) const {
  std::size_t got = 0;
  Status status = ReadSomeAt(offset, buffer, got);
  if (!status.ok()) return status;
  if (got != buffer.size()) return Status::Error("read " + path_ + ": short read");
  return Status::Ok();
}

Status RawFile::ReadSomeAt(std::uint64_t offset, std::span<char> buffer,
                           std::size_t& got) const {
  got = 0;
  while (got < buffer.size()) {
    ssize_t n = ::pread(fd_, buffer.data() + got, buffer.size() - got,
                        static_cast<off_t>(offset + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::ErrorFromErrno("read", path_);
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return Status::Ok();
}

Status RawFile::WriteAt(std::uint64_t offset, std::span<const char> data) {
  if (read_only_) return Status::Error("write " + path_ + ": opened read-only", EACCES);
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done,
                         static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::ErrorFromErrno("write", path_);
    }
    done += static_cast<std::size_t>(n);
  }
  return Status::Ok();
}

Status RawFile::Length(std::uint64_t& length) const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return Status::ErrorFromErrno("stat", path_);
  length = static_cast<std::uint64_t>(st.st_size);
  return Status::Ok();
}

Status RawFile::Truncate(std::uint64_t length) {
  if (::ftruncate(fd_, static_cast<off_t>(length)) != 0)
    return Status::ErrorFromErrno("truncate", path_);
  return Status::Ok();
}

Status RawFile::Sync() {
  if (::fdatasync(fd_) != 0) return Status::ErrorFromErrno("sync", path_);
  return Status::Ok();
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

std::string FindFileIgnoringCase(const std::string& path) {
  if (FileExists(path)) return path;
  const std::size_t slash = path.rfind('/');
  const std::string folder = (slash == std::string::npos) ? "." : path.substr(0, slash);
  const std::string name = (slash == std::string::npos) ? path : path.substr(slash + 1);
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.empty() ? "/" : folder.c_str()));
  if (!dir) return "";
  while (const dirent* entry = ::readdir(dir.get())) {
    if (SameIgnoringCase(entry->d_name, name)) {
      std::string found = (slash == std::string::npos) ? std::string(entry->d_name)
                                                       : folder + "/" + entry->d_name;
      if (FileExists(found)) return found;
    }
  }
  return "";
}

std::string CompanionPath(const std::string& path, const std::string& extension) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  const bool has_extension = dot != std::string::npos &&
                             (slash == std::string::npos || dot > slash);
  const std::string base = has_extension ? path.substr(0, dot) : path;
  bool upper = false;
  if (has_extension) {
    for (std::size_t i = dot + 1; i < path.size(); ++i) {
      if (std::isalpha(static_cast<unsigned char>(path[i]))) {
        upper = std::isupper(static_cast<unsigned char>(path[i])) != 0;
        break;
      }
    }
  }
  std::string result = base;
  for (char c : extension) {
    result += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
  }
  return result;
}

}  // namespace qm::engine
