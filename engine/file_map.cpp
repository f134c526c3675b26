#include "engine/file_map.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace qm::engine {

using platform::Status;

namespace {

// Address space is cheap: reserve ahead so that a growing file is remapped
// rarely.
constexpr std::uint64_t kMinimumReserve = std::uint64_t{64} << 20;

std::uint64_t ReserveFor(std::uint64_t length) {
  const std::uint64_t wanted = length < kMinimumReserve ? kMinimumReserve : 2 * length;
  const std::uint64_t page = 4096;
  return (wanted + page - 1) / page * page;
}

}  // namespace

FileMap::~FileMap() { Reset(); }

FileMap::FileMap(FileMap&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      base_(std::exchange(other.base_, nullptr)),
      reserved_(std::exchange(other.reserved_, 0)),
      length_(std::exchange(other.length_, 0)) {}

FileMap& FileMap::operator=(FileMap&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = std::exchange(other.fd_, -1);
    base_ = std::exchange(other.base_, nullptr);
    reserved_ = std::exchange(other.reserved_, 0);
    length_ = std::exchange(other.length_, 0);
  }
  return *this;
}

Status FileMap::Attach(int fd) {
  Reset();
  fd_ = fd;
  return Refresh();
}

void FileMap::Reset() {
  if (base_ != nullptr) ::munmap(base_, reserved_);
  base_ = nullptr;
  reserved_ = 0;
  length_ = 0;
  fd_ = -1;
}

Status FileMap::Refresh() {
  if (fd_ < 0) return Status::Error("map: no file", EBADF);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return Status::ErrorFromErrno("fstat", "mapped file");
  const auto length = static_cast<std::uint64_t>(st.st_size);
  if (length > reserved_) {
    const std::uint64_t reserve = ReserveFor(length);
    void* mapped = ::mmap(nullptr, reserve, PROT_READ, MAP_SHARED, fd_, 0);
    if (mapped == MAP_FAILED) {
      length_ = 0;
      return Status::ErrorFromErrno("mmap", "mapped file");
    }
    if (base_ != nullptr) ::munmap(base_, reserved_);
    base_ = static_cast<char*>(mapped);
    reserved_ = reserve;
  }
  length_ = length;
  return Status::Ok();
}

const char* FileMap::View(std::uint64_t offset, std::size_t size) const {
  if (base_ == nullptr || offset > length_ || size > length_ - offset) return nullptr;
  return base_ + offset;
}

bool FileMap::Read(std::uint64_t offset, std::span<char> out) const {
  const char* bytes = View(offset, out.size());
  if (bytes == nullptr) return false;
  if (!out.empty()) std::memcpy(out.data(), bytes, out.size());
  return true;
}

void FileMap::Prefetch(std::uint64_t offset, std::size_t size) const {
  if (base_ == nullptr || offset > length_ || size > length_ - offset) return;
  constexpr std::size_t kCacheLine = 64;
  for (std::size_t at = 0; at < size; at += kCacheLine) __builtin_prefetch(base_ + offset + at);
  __builtin_prefetch(base_ + offset + size - 1);
}

}  // namespace qm::engine
