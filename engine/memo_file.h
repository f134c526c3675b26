// MemoFile: the dBASE IV memo file (.dbt) that holds the texts of a table's
// memo fields.
//
// The file is a row of equal blocks. Block 0 is the header: bytes 0-3 the
// next free block, 8-15 the data file's base name, 20-21 the block size
// (512 in files we create; other writers also use multiples of 64, which
// are read as they are). A memo starts on a block boundary with the bytes
// FF FF 08 00 and a 4-byte length that counts these 8 bytes, followed by the
// text over as many blocks as it needs. The length alone tells where the
// text ends; whatever fills the rest of the last block is ignored.
//
// A changed memo is written back over its old blocks when it still fits in
// them, else into new blocks at the end of the file; the old ones are left
// for Pack to reclaim. New blocks are taken under a lock on the memo file
// so that two processes never take the same ones.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "engine/raw_file.h"

namespace qm::engine {

inline constexpr std::uint32_t kDefaultMemoBlockSize = 512;

class MemoFile {
 public:
  FileStatus Open(const std::string& path);
  // A new empty memo file with 512-byte blocks. `base_name` is recorded in
  // the header (its first 8 characters).
  FileStatus Create(const std::string& path, std::string_view base_name, bool overwrite);

  void Close() { file_.Close(); }
  bool is_open() const { return file_.is_open(); }
  const std::string& path() const { return file_.path(); }
  std::uint32_t block_size() const { return block_size_; }

  // The text of the memo starting at `block`; block 0 is the empty text.
  FileStatus Read(std::uint32_t block, std::string& text) const;

  // Stores `text`. `block` holds the memo's current block (0 for none) and
  // receives the block where the text now starts (0 for an empty text).
  FileStatus Write(const TableEngine& engine, std::string_view text, std::uint32_t& block);

  // Every write is followed by fdatasync when on.
  void set_flush_writes(bool on) { flush_writes_ = on; }

 private:
  // The number of blocks that the memo at `block` occupies (0 when there is
  // no valid memo there).
  std::uint32_t BlocksInUse(std::uint32_t block) const;
  std::uint32_t BlocksFor(std::size_t text_length) const;
  FileStatus WriteAt(std::uint32_t block, std::string_view text, std::uint32_t blocks);

  RawFile file_;
  std::uint32_t block_size_ = kDefaultMemoBlockSize;
  bool flush_writes_ = false;
};

}  // namespace qm::engine
