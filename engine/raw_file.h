// RawFile: one open file, read and written at explicit offsets.
//
// The data, memo and index files all sit on a RawFile; DbTable uses one
// directly to check and mend a data file's header before the table opens.
// The descriptor is closed when the object dies. Failures come back as a
// Status holding errno, which the table code turns into engine errors.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/status.h"

namespace qm::engine {

using platform::Status;

class RawFile {
 public:
  enum class Mode {
    kReadWrite,           // an existing file, for reading and writing
    kReadOnly,
    kReadWriteOrReadOnly  // read-only when writing is not permitted
  };

  RawFile() = default;
  ~RawFile();
  RawFile(RawFile&& other) noexcept;
  RawFile& operator=(RawFile&& other) noexcept;
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;

  Status Open(const std::string& path, Mode mode);
  // A new file; fails when it exists unless `overwrite` (then truncated).
  Status Create(const std::string& path, bool overwrite);
  void Close();

  bool is_open() const { return fd_ >= 0; }
  bool read_only() const { return read_only_; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

  // Reads exactly buffer.size() bytes; a short file is an error
  // (system_error 0, message "short read").
  Status ReadAt(std::uint64_t offset, std::span<char> buffer) const;
  // Reads up to buffer.size() bytes; `got` tells how many.
  Status ReadSomeAt(std::uint64_t offset, std::span<char> buffer, std::size_t& got) const;
  Status WriteAt(std::uint64_t offset, std::span<const char> data);
  Status Length(std::uint64_t& length) const;
  Status Truncate(std::uint64_t length);
  // Data to the disk (fdatasync).
  Status Sync();

 private:
  int fd_ = -1;
  bool read_only_ = false;
  std::string path_;
};

// True when `path` names an existing file.
bool FileExists(const std::string& path);

// The existing file in the folder of `path` whose name equals the last part
// of `path` without regard to case, or "" when there is none. Files copied
// from Windows keep whatever case they had; this is how companions are found.
std::string FindFileIgnoringCase(const std::string& path);

// `path` with its extension replaced by `extension` (given in lower case,
// with the dot), written in the case of the old extension: "A.DBF" + ".mdx"
// gives "A.MDX", "a.dbf" gives "a.mdx".
std::string CompanionPath(const std::string& path, const std::string& extension);

}  // namespace qm::engine
