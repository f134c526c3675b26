#include "engine/memo_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/file_lock.h"

namespace qm::engine {

namespace {

constexpr unsigned char kMemoSignature[4] = {0xFF, 0xFF, 0x08, 0x00};
constexpr std::size_t kMemoHeader = 8;
// A memo longer than this is taken for a damaged length.
constexpr std::uint64_t kLongestMemo = std::uint64_t{1} << 30;

std::uint32_t GetU32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void PutU32(char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

FileStatus MemoFile::Open(const std::string& path) {
  Status status = file_.Open(path, RawFile::Mode::kReadWriteOrReadOnly);
  if (!status.ok()) return FileStatusFromSystem(status, kErrorOpen);
  char header[22];
  status = file_.ReadAt(0, header);
  if (!status.ok()) {
    file_.Close();
    return FileStatus::Error(kErrorMemo, path + ": shorter than a memo header");
  }
  const auto* b = reinterpret_cast<const unsigned char*>(header);
  std::uint32_t size = static_cast<std::uint32_t>(b[20] | (b[21] << 8));
  // Files of the dBASE III kind leave the size out: they use 512.
  if (size == 0) size = kDefaultMemoBlockSize;
  if (size < 64 || size % 64 != 0) {
    file_.Close();
    return FileStatus::Error(kErrorMemo, path + ": block size " + std::to_string(size));
  }
  block_size_ = size;
  return FileStatus::Ok();
}

FileStatus MemoFile::Create(const std::string& path, std::string_view base_name, bool overwrite) {
  Status status = file_.Create(path, overwrite);
  if (!status.ok()) {
    if (status.system_error() == EEXIST) return FileStatus::Error(kErrorCreate, path + ": file exists");
    return FileStatusFromSystem(status, kErrorCreate);
  }
  block_size_ = kDefaultMemoBlockSize;
  std::vector<char> header(block_size_, '\0');
  PutU32(header.data(), 1);
  std::memcpy(header.data() + 8, base_name.data(), std::min<std::size_t>(8, base_name.size()));
  header[18] = 0x02;
  header[19] = 0x01;
  header[20] = static_cast<char>(block_size_ & 0xFF);
  header[21] = static_cast<char>(block_size_ >> 8);
  status = file_.WriteAt(0, header);
  if (status.ok() && flush_writes_) status = file_.Sync();
  if (!status.ok()) {
    file_.Close();
    return FileStatusFromSystem(status, kErrorWrite);
  }
  return FileStatus::Ok();
}

FileStatus MemoFile::Read(std::uint32_t block, std::string& text) const {
  text.clear();
  if (block == 0) return FileStatus::Ok();
  std::uint64_t file_length = 0;
  Status status = file_.Length(file_length);
  if (!status.ok()) return FileStatusFromSystem(status, kErrorRead);
  const std::uint64_t offset = static_cast<std::uint64_t>(block) * block_size_;
  auto damaged = [&](const char* why) {
    return FileStatus::Error(kErrorMemo, file_.path() + ": memo at block " +
                                             std::to_string(block) + ": " + why);
  };
  if (offset + kMemoHeader > file_length) return damaged("beyond the end of the file");

  char header[kMemoHeader];
  status = file_.ReadAt(offset, header);
  if (!status.ok()) return FileStatusFromSystem(status, kErrorRead);
  if (std::memcmp(header, kMemoSignature, 4) == 0) {
    const std::uint32_t length = GetU32(header + 4);
    if (length < kMemoHeader || length > kLongestMemo) return damaged("bad length");
    // A length that runs past the end of the file keeps what is there.
    const std::uint64_t available = file_length - offset - kMemoHeader;
    text.resize(std::min<std::uint64_t>(length - kMemoHeader, available));
    status = file_.ReadAt(offset + kMemoHeader, text);
    if (!status.ok()) return FileStatusFromSystem(status, kErrorRead);
    return FileStatus::Ok();
  }

  // A memo without the header, as dBASE III files hold them: the text runs
  // to the first 0x1A.
  std::string chunk(block_size_, '\0');
  for (std::uint64_t at = offset; at < file_length && text.size() < kLongestMemo;
       at += block_size_) {
    std::size_t got = 0;
    status = file_.ReadSomeAt(at, chunk, got);
    if (!status.ok()) return FileStatusFromSystem(status, kErrorRead);
    const std::size_t end = chunk.find('\x1A');
    if (end != std::string::npos && end < got) {
      text.append(chunk, 0, end);
      return FileStatus::Ok();
    }
    text.append(chunk, 0, got);
    if (got < chunk.size()) break;
  }
  return FileStatus::Ok();
}

std::uint32_t MemoFile::BlocksFor(std::size_t text_length) const {
  return static_cast<std::uint32_t>((text_length + kMemoHeader + block_size_ - 1) / block_size_);
}

std::uint32_t MemoFile::BlocksInUse(std::uint32_t block) const {
  char header[kMemoHeader];
  if (block == 0 ||
      !file_.ReadAt(static_cast<std::uint64_t>(block) * block_size_, header).ok() ||
      std::memcmp(header, kMemoSignature, 4) != 0)
    return 0;
  const std::uint32_t length = GetU32(header + 4);
  if (length < kMemoHeader || length > kLongestMemo) return 0;
  return static_cast<std::uint32_t>((length + block_size_ - 1) / block_size_);
}

FileStatus MemoFile::WriteAt(std::uint32_t block, std::string_view text, std::uint32_t blocks) {
  std::vector<char> bytes(static_cast<std::size_t>(blocks) * block_size_, '\0');
  std::memcpy(bytes.data(), kMemoSignature, 4);
  PutU32(bytes.data() + 4, static_cast<std::uint32_t>(text.size() + kMemoHeader));
  std::memcpy(bytes.data() + kMemoHeader, text.data(), text.size());
  Status status = file_.WriteAt(static_cast<std::uint64_t>(block) * block_size_, bytes);
  if (status.ok() && flush_writes_) status = file_.Sync();
  if (!status.ok()) return FileStatusFromSystem(status, kErrorWrite);
  return FileStatus::Ok();
}

FileStatus MemoFile::Write(const TableEngine& engine, std::string_view text,
                           std::uint32_t& block) {
  if (text.empty()) {
    block = 0;
    return FileStatus::Ok();
  }
  if (text.size() > kLongestMemo - kMemoHeader)
    return FileStatus::Error(kErrorFieldValue, file_.path() + ": memo text too long");
  const std::uint32_t needed = BlocksFor(text.size());
  if (block != 0 && needed <= BlocksInUse(block)) return WriteAt(block, text, needed);

  ByteLock allocation;
  const int locked = ByteLock::Acquire(engine, file_.fd(), kAppendLockByte, LockKind::kExclusive,
                                       allocation);
  if (locked == kLocked) return FileStatus::Error(kLocked, file_.path());
  if (locked != 0) return FileStatus::Error(kErrorLock, file_.path());

  char header[4];
  std::uint64_t length = 0;
  Status status = file_.ReadAt(0, header);
  if (status.ok()) status = file_.Length(length);
  if (!status.ok()) return FileStatusFromSystem(status, kErrorRead);
  // The header may name the head of a chain of freed blocks inside the
  // file; those are left alone and the text goes to the end.
  const std::uint64_t end_block = (length + block_size_ - 1) / block_size_;
  const std::uint64_t start = std::max<std::uint64_t>({GetU32(header), end_block, 1});
  if (start + needed > UINT32_MAX)
    return FileStatus::Error(kErrorCapacity, file_.path() + ": memo file full");
  const auto first = static_cast<std::uint32_t>(start);

  FileStatus written = WriteAt(first, text, needed);
  if (!written.ok()) return written;
  PutU32(header, first + needed);
  status = file_.WriteAt(0, header);
  if (status.ok() && flush_writes_) status = file_.Sync();
  if (!status.ok()) return FileStatusFromSystem(status, kErrorWrite);
  block = first;
  return FileStatus::Ok();
}

}  // namespace qm::engine
