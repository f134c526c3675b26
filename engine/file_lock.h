// Byte-range locks on shared files: record locks, the append lock, and the
// share modes in which a file is open.
//
// The locks are POSIX open-file-description locks (fcntl F_OFD_SETLK): they
// belong to one open file, not to the process, so two tables of one process
// exclude each other just as two processes do, and network file systems
// carry them between machines. They never block: a refused lock is retried
// `lockAttempts` times, `lockDelay` hundredths of a second apart, running the
// engine's repaint callback between attempts, and then gives result 50.
//
// All lock bytes lie in a region far beyond the data (from 1 TiB on; dBASE
// files cannot exceed 4 GiB), so that a lock never stops another program
// from reading the bytes it covers:
//
//   region + 0          "open":   every opener holds a shared lock; an
//                                 exclusive opener holds it exclusively
//   region + 1          "writer": every opener that may write holds a
//                                 shared lock; a deny-write opener holds it
//                                 exclusively
//   region + 2          the append lock (for a memo file: the lock around
//                                 allocating blocks)
//   region + 16 + n     the lock of record n
//
// Every held lock is an object; its destructor releases it, so no path out
// of an operation leaves a lock behind.
#pragma once

#include <cstdint>

#include "engine/engine.h"
#include "engine/record_source.h"

namespace qm::engine {

inline constexpr std::uint64_t kLockRegion = std::uint64_t{1} << 40;
inline constexpr std::uint64_t kOpenLockByte = kLockRegion + 0;
inline constexpr std::uint64_t kWriterLockByte = kLockRegion + 1;
inline constexpr std::uint64_t kAppendLockByte = kLockRegion + 2;
inline constexpr std::uint64_t kRecordLockBase = kLockRegion + 16;

inline std::uint64_t RecordLockByte(RecordNumber number) { return kRecordLockBase + number; }

enum class LockKind { kShared, kExclusive };

// One granted lock on one byte of one open file; released when destroyed.
class ByteLock {
 public:
  ByteLock() = default;
  ~ByteLock() { Release(); }
  ByteLock(ByteLock&& other) noexcept : fd_(other.fd_), offset_(other.offset_) { other.fd_ = -1; }
  ByteLock& operator=(ByteLock&& other) noexcept;
  ByteLock(const ByteLock&) = delete;
  ByteLock& operator=(const ByteLock&) = delete;

  // One attempt. Returns 0 when granted, kLocked when another open file
  // holds a conflicting lock, or kErrorLock when the system refuses locking.
  static int TryAcquire(int fd, std::uint64_t offset, LockKind kind, ByteLock& out);

  // Attempts per the engine's lockAttempts and lockDelay, repainting while
  // it waits. Returns 0, kLocked, or kErrorLock (not reported: the caller
  // knows the file).
  static int Acquire(const TableEngine& engine, int fd, std::uint64_t offset, LockKind kind,
                     ByteLock& out);

  bool held() const { return fd_ >= 0; }
  std::uint64_t offset() const { return offset_; }
  void Release();

 private:
  int fd_ = -1;
  std::uint64_t offset_ = 0;
};

// The locks that announce in which share mode a file is open. Held for as
// long as the file is open.
class ShareLock {
 public:
  // Takes the locks for `mode` at once (an open is never retried). Returns 0,
  // or kErrorAccess when another open of the file forbids this one, or
  // kErrorLock. `writing` is false for a file opened read-only.
  static int Acquire(int fd, AccessMode mode, bool writing, ShareLock& out);

  void Release();

 private:
  ByteLock open_;
  ByteLock writer_;
};

// Whether an open of the file other than `fd` itself holds the "open"
// byte, that is whether another table or program has the file open now.
// Only looks; takes nothing. A system that refuses the question counts as
// "open elsewhere", so that nobody deletes a file that may be in use.
bool IsOpenElsewhere(int fd);

}  // namespace qm::engine
