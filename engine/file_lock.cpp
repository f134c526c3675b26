#include "engine/file_lock.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace qm::engine {

namespace {

// One byte of the lock region, as an open-file-description lock names it.
struct flock OneByte(std::uint64_t offset, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = 1;
  lock.l_pid = 0;  // required for open-file-description locks
  return lock;
}

// 0, or the errno of the failed call.
int LockCall(int fd, int command, struct flock& lock) {
  int result;
  do {
    result = ::fcntl(fd, command, &lock);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : errno;
}

int SetLock(int fd, std::uint64_t offset, short type) {
  struct flock lock = OneByte(offset, type);
  return LockCall(fd, F_OFD_SETLK, lock);
}

}  // namespace

ByteLock& ByteLock::operator=(ByteLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = other.fd_;
    offset_ = other.offset_;
    other.fd_ = -1;
  }
  return *this;
}

int ByteLock::TryAcquire(int fd, std::uint64_t offset, LockKind kind, ByteLock& out) {
  out.Release();
  const int error = SetLock(fd, offset, kind == LockKind::kExclusive ? F_WRLCK : F_RDLCK);
  if (error == EAGAIN || error == EACCES) return kLocked;
  if (error != 0) return kErrorLock;
  out.fd_ = fd;
  out.offset_ = offset;
  return 0;
}

int ByteLock::Acquire(const TableEngine& engine, int fd, std::uint64_t offset, LockKind kind,
                      ByteLock& out) {
  const EngineSettings& settings = engine.settings();
  const int attempts = settings.lock_attempts;
  const auto delay = std::chrono::milliseconds(10 * std::max(0, settings.lock_delay));
  for (int attempt = 1;; ++attempt) {
    const int result = TryAcquire(fd, offset, kind, out);
    if (result != kLocked) return result;
    if (attempts != kWaitForever && attempt >= std::max(1, attempts)) return kLocked;
    engine.Repaint();
    std::this_thread::sleep_for(delay);
  }
}

void ByteLock::Release() {
  if (fd_ < 0) return;
  SetLock(fd_, offset_, F_UNLCK);
  fd_ = -1;
}

int ShareLock::Acquire(int fd, AccessMode mode, bool writing, ShareLock& out) {
  out.Release();
  ShareLock locks;
  const LockKind open_kind = mode == AccessMode::kExclusive ? LockKind::kExclusive : LockKind::kShared;
  int result = ByteLock::TryAcquire(fd, kOpenLockByte, open_kind, locks.open_);
  if (result == 0 && mode != AccessMode::kExclusive && (writing || mode == AccessMode::kDenyWrite)) {
    const LockKind writer_kind =
        mode == AccessMode::kDenyWrite ? LockKind::kExclusive : LockKind::kShared;
    result = ByteLock::TryAcquire(fd, kWriterLockByte, writer_kind, locks.writer_);
  }
  if (result == kLocked) return kErrorAccess;
  if (result != 0) return result;
  out = std::move(locks);
  return 0;
}

void ShareLock::Release() {
  writer_.Release();
  open_.Release();
}

bool IsOpenElsewhere(int fd) {
  struct flock lock = OneByte(kOpenLockByte, F_WRLCK);
  return LockCall(fd, F_OFD_GETLK, lock) != 0 || lock.l_type != F_UNLCK;
}

}  // namespace qm::engine
