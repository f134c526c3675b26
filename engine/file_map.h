// FileMap: a read-only shared mapping of a file that may grow while it is
// mapped, for reads that cost no system call.
//
// The mapping shows the page cache itself, so a write by any process on
// this machine is visible through it at once, as a pread would see it.
// The map remembers the file length it last saw; bytes beyond it are never
// read through the map (touching a mapped page past the end of the file
// would raise SIGBUS). Refresh() looks at the length again and maps more
// when the file has grown past the reserved address range.
//
// The file must not shrink while it is mapped. The data files mapped here
// are only ever cut short by a pack, which needs the only open of the file.
#pragma once

#include <cstdint>
#include <span>

#include "platform/status.h"

namespace qm::engine {

class FileMap {
 public:
  FileMap() = default;
  ~FileMap();
  FileMap(FileMap&& other) noexcept;
  FileMap& operator=(FileMap&& other) noexcept;
  FileMap(const FileMap&) = delete;
  FileMap& operator=(const FileMap&) = delete;

  // Starts mapping the open file `fd` (not owned; it must outlive the map).
  platform::Status Attach(int fd);
  void Reset();

  // Reads the file length again and extends the mapping to cover it.
  platform::Status Refresh();

  // The file length seen by the last Attach or Refresh.
  std::uint64_t length() const { return length_; }

  // Copies out.size() bytes from `offset`; false (and nothing copied) when
  // they are not all within length().
  bool Read(std::uint64_t offset, std::span<char> out) const;
  // The mapped bytes themselves, valid until the next Refresh or Reset;
  // nullptr when they are not all within length().
  const char* View(std::uint64_t offset, std::size_t size) const;
  // A hint that `size` bytes from `offset` will be read soon.
  void Prefetch(std::uint64_t offset, std::size_t size) const;

 private:
  int fd_ = -1;
  char* base_ = nullptr;
  std::uint64_t reserved_ = 0;  // bytes of address space mapped
  std::uint64_t length_ = 0;    // bytes known to lie within the file
};

}  // namespace qm::engine
