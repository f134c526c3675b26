// MdxFile: a dBASE IV multiple index file (.mdx), its tags and their
// B-trees, read and written page by page.
//
// Layout (all numbers little-endian; a page is 512 bytes, a block two
// pages; page numbers address everything):
//
//   page 0      file header: version 2, creation date, the data file's base
//               name, block size (2 pages, 1024 bytes), production flag,
//               48 tag slots of 32 bytes, tags in use, pages in the file,
//               the first free page and the number of free blocks, date of
//               the last update. Byte 529 is 1, as in every file seen.
//   544 + 32i   the tag table: header page, name, key type, and the links
//               (left, right, parent) of a binary search tree of the tags by
//               name whose root is tag 1. The tree is the one that inserting
//               the tags in table order gives; it is rebuilt whole whenever
//               a tag comes or goes.
//   tag header  one block per tag: root page, key format (0x10, plus 0x08
//               descending, 0x40 unique), key type and length, keys per
//               node, item length (key + 4, rounded up to 4), an update
//               serial, the unique flag, the key expression (from byte 24),
//               the FOR flag (245), the has-keys flag (246) and the FOR
//               expression (from byte 762).
//   node        one block: number of items n, then n items of
//               [record number (leaf) or child page (interior)][key]. The
//               four bytes after the last item are 0 in a leaf and the
//               rightmost child in an interior node, whose key i is the
//               highest key below child i. An empty tag is a root leaf with
//               n = 0.
//   free block  chained: bytes 0-3 the next free page (0 ends the chain),
//               bytes 4-7 the pages in the run (2).
//
// Files written by other programs are read as they are: equal keys may be
// stored in any record order, so removing an entry searches every equal
// key. Every number read from the file is checked before it is used; a
// damaged file gives kErrorIndex with a text, never a crash.
//
// Caching and other processes. Pages are read with pread into a small
// cache owned by this object. Another process may change the file between
// two calls, so every operation on a tag first reads (through a shared
// mapping of the file, at no system call) the first 256 bytes of the tag's
// header and compares the root, the update serial and a 32-bit
// change counter (bytes 248-251, unused by other writers) with what it saw
// last; any difference empties the whole cache. Every change this program
// makes to a tag raises both the serial and the counter, and other dBASE
// writers raise the serial, so a change is seen at the next call. While the
// caller guarantees that nobody else writes the file (an exclusive open, or
// a lock held for a run of calls: SetExclusive(true)), that check is
// skipped and cached pages are trusted. Changes assume the caller holds the
// lock that keeps other writers out; they re-read the file header first.
//
// Writes go straight to the file, except within an update: a run of
// changes grouped between BeginUpdate() and EndUpdate() keeps its changed
// blocks in the cache and writes them, the tag headers and the file header
// once, at the outermost EndUpdate(). The caller holds the lock that keeps
// other writers out for the whole update, so within it pages are trusted
// like in exclusive use; readers in other processes see the changes when
// the update ends.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "engine/file_map.h"
#include "engine/index_key.h"
#include "engine/raw_file.h"
#include "engine/record_source.h"

namespace qm::engine {

inline constexpr std::size_t kMdxPageSize = 512;
inline constexpr std::size_t kMdxBlockSize = 1024;
inline constexpr std::size_t kMdxMaxTags = 47;
inline constexpr std::size_t kMdxMaxTagName = 10;
inline constexpr std::size_t kMdxMaxExpression = 219;  // bytes 24-243 with the NUL

// What a tag is, as its header says.
struct MdxTagInfo {
  std::string name;            // upper case, at most 10 characters
  std::string key_expression;
  std::string for_expression;  // empty when the tag has none
  KeyType key_type = KeyType::kCharacter;
  std::size_t key_length = 0;
  bool descending = false;
  bool unique = false;
};

// A tag with all of its entries in tag order, for writing a file whole.
struct MdxTagContent {
  MdxTagInfo info;
  std::vector<char> keys;               // info.key_length bytes per entry
  std::vector<RecordNumber> records;    // one per entry
};

// Sorts entries into tag order: by key (reversed for a descending tag),
// equal keys by record number. For a unique tag only the first record of
// each key stays. `keys` holds key_length bytes per entry.
void SortTagEntries(const MdxTagInfo& info, std::vector<char>& keys,
                    std::vector<RecordNumber>& records);

class MdxFile {
 public:
  // Writes a new file with `tags` (bottom-up, each tag's leaves in order)
  // under a temporary name beside `path` and renames it into place, so that
  // a crash never leaves a half-written index. With `overwrite` false an
  // existing file is refused (kErrorCreate). The data is not forced to the
  // disk (a user index is rebuilt often); Sync() on the opened file does.
  static FileStatus Create(const std::string& path, std::string_view base_name,
                           bool production, const std::vector<MdxTagContent>& tags,
                           bool overwrite);

  // Opens an existing file, for writing when permitted. The tag list is
  // read once here.
  static FileStatus Open(const std::string& path, std::unique_ptr<MdxFile>* out);

  MdxFile(const MdxFile&) = delete;
  MdxFile& operator=(const MdxFile&) = delete;
  ~MdxFile();

  const std::string& path() const { return file_.path(); }
  bool read_only() const { return file_.read_only(); }
  bool production() const;
  std::string base_name() const;

  std::size_t tag_count() const;
  const MdxTagInfo& tag(std::size_t index) const;
  // The tag with `name` (without regard to case).
  std::optional<std::size_t> FindTag(std::string_view name) const;

  // Replaces the entries of every tag at once (same tags, same order), laid
  // out as Create does; the file is rewritten in place.
  FileStatus Rewrite(const std::vector<MdxTagContent>& tags);

  // Adds a tag with its entries (already in tag order) at the end of the
  // table; refuses a name in use and a 48th tag.
  FileStatus AddTag(const MdxTagContent& content);
  // Removes a tag and frees its pages.
  FileStatus RemoveTag(std::size_t tag);

  // Adds one entry; equal keys go after the ones present.
  FileStatus Insert(std::size_t tag, std::string_view key, RecordNumber record);
  // Removes the entry (key, record); `found` tells whether it was there.
  FileStatus Remove(std::size_t tag, std::string_view key, RecordNumber record,
                    bool* found);
  // Whether an entry with exactly `key` exists; `record` gets the first one.
  FileStatus Contains(std::size_t tag, std::string_view key, bool* found,
                      RecordNumber* record = nullptr);

  // Walks the whole tree of a tag: page numbers and key counts within
  // bounds, no page reached twice, every leaf at one depth, keys in tag
  // order, every interior key the highest key of its child, record numbers
  // not 0. The first fault comes back as kErrorIndex with its place.
  FileStatus Check(std::size_t tag);
  FileStatus CheckAll();

  // Groups changes: the file header and the changed tag headers are written
  // at the outermost EndUpdate().
  void BeginUpdate();
  FileStatus EndUpdate();

  // True while nobody else can write the file (see the header comment).
  void SetExclusive(bool exclusive);
  bool exclusive() const { return exclusive_; }

  // Makes every write so far durable.
  FileStatus Sync();

  // Reads bytes of the file through a shared mapping (see file_map.h), or
  // with pread when the mapping cannot serve them. False when neither can.
  bool ReadMapped(std::uint64_t offset, std::span<char> bytes) const;
  // True when the tag's header in the file is still the one that this
  // object last saw (no change by anyone since); costs no system call.
  bool TagHeaderUnchanged(std::size_t tag) const;
  // Forgets every cached page, e.g. after reading while another process
  // may have been halfway through a change.
  void ForgetPages();

  // Counts changes of a tag's pages seen by this object (its own writes and
  // other processes' detected ones). Cursors compare it to know when to
  // find their place again.
  std::uint64_t generation(std::size_t tag) const;

 private:
  friend class MdxCursor;
  struct TagState;
  struct CacheSlot;
  struct Level {
    std::uint32_t page = 0;
    int index = 0;     // the child taken (0..count; count is the rightmost)
    int count = 0;     // keys in the node
  };
  enum class Bound { kLower, kUpper, kLowerPrefix };
  using Block = std::array<char, kMdxBlockSize>;

  explicit MdxFile(RawFile file);

  FileStatus LoadHead();
  bool MappedRangeSafe(std::uint64_t offset, std::size_t size) const;
  FileStatus ParseTags();
  FileStatus ReadHeaderFields();
  FileStatus CheckPageCount();
  FileStatus RefreshTag(std::size_t tag);
  FileStatus PrepareChange(std::size_t tag);
  FileStatus FinishChange();
  FileStatus FlushHeaders();
  void DropCache();
  void SizeCache();
  CacheSlot& SlotFor(std::uint32_t page);
  FileStatus WriteSlot(CacheSlot& slot);
  FileStatus FlushDirty();

  FileStatus ReadNode(const TagState& tag, std::uint32_t page, const char** data);
  FileStatus WriteNode(std::uint32_t page, const char* data);
  FileStatus AllocateBlock(std::uint32_t* page);
  FileStatus FreeBlock(std::uint32_t page);

  int CompareStored(const TagState& tag, std::string_view a, std::string_view b) const;
  int FindInNode(const TagState& tag, const char* node, int count, std::string_view key,
                 Bound bound) const;
  FileStatus Descend(const TagState& tag, std::string_view key, Bound bound,
                     std::vector<Level>* path, Block* leaf, std::uint32_t* leaf_page,
                     int* index);
  FileStatus DescendEdge(const TagState& tag, bool last, std::vector<Level>* path,
                         Block* leaf, std::uint32_t* leaf_page, int* index);
  // Moves to the next (or previous) leaf along `path`; *end when none.
  FileStatus StepLeaf(const TagState& tag, bool forward, std::vector<Level>* path,
                      Block* leaf, std::uint32_t* leaf_page, bool* end);
  FileStatus FixSeparators(TagState& tag, const std::vector<Level>& path, int level,
                           std::string_view highest);
  FileStatus RemoveChild(TagState& tag, std::vector<Level>& path, int level);
  FileStatus CheckNode(const TagState& tag, std::uint32_t page, int depth, int* leaf_depth,
                       std::vector<bool>* seen, std::string* last_key, bool* have_last,
                       std::string* highest);
  FileStatus CollectPages(const TagState& tag, std::uint32_t page, int depth,
                          std::vector<std::uint32_t>* pages);
  FileStatus Damaged(const TagState* tag, const std::string& what) const;

  RawFile file_;
  mutable FileMap map_;  // of file_, for the tag headers read before every call
  std::array<char, 4 * kMdxPageSize> head_{};  // pages 0-3: header and tag table
  std::uint32_t pages_in_file_ = 0;
  std::uint32_t first_free_ = 0;
  std::uint32_t free_blocks_ = 0;
  std::vector<TagState> tags_;
  std::vector<CacheSlot> cache_;
  std::vector<std::size_t> dirty_slots_;  // indexes into cache_, maybe already written
  bool exclusive_ = false;
  bool head_fresh_ = false;   // header fields read within this update
  bool head_dirty_ = false;
  int update_depth_ = 0;
};

// A position in one tag of an open MdxFile. Each call first makes sure the
// pages it uses are current; after a change of the tag (by anyone) the
// cursor finds its entry again by key and record number, or the next entry
// when its own was removed.
//
// Moves return 0, kEndOfFile (3) past the last entry, kBeginningOfFile (4)
// before the first, or a negative engine error (then status() says why).
class MdxCursor {
 public:
  MdxCursor(MdxFile& file, std::size_t tag);

  int First();
  int Last();
  int Next();
  int Previous();
  // The first entry whose key is >= `key` in tag order: 0 when its key
  // equals `key` (for character tags: begins with it), kKeyNotFound (2)
  // when it is greater, kEndOfFile (3) when there is none.
  int Seek(std::string_view key);
  // The entry (key, record) itself: 0, or kKeyNotFound when absent (the
  // cursor then stands on the next entry, if any).
  int SeekEntry(std::string_view key, RecordNumber record);

  bool valid() const { return valid_; }
  RecordNumber record() const;
  std::string_view key() const;
  // The record of the entry `ahead` places on (back when negative) in the
  // leaf in hand, or 0 when that entry lies in another leaf. A hint for
  // reading ahead, not a position: nothing is checked against the file.
  RecordNumber RecordAhead(int ahead) const;
  std::size_t tag() const { return tag_; }

  // The relative position of the current entry in the tag, 0.0 to 1.0,
  // estimated from the path through the tree.
  double Position() const;
  // Moves to the entry at about `fraction` of the tag.
  int SetPosition(double fraction);

  const FileStatus& status() const { return status_; }

 private:
  int Fail(FileStatus status);
  int Revalidate(bool* moved);
  int SettleForward();

  MdxFile& file_;
  std::size_t tag_;
  std::vector<MdxFile::Level> path_;
  MdxFile::Block leaf_{};
  std::uint32_t leaf_page_ = 0;
  int index_ = 0;
  bool valid_ = false;
  std::uint64_t generation_ = 0;
  std::string saved_key_;
  RecordNumber saved_record_ = 0;
  FileStatus status_;
};

}  // namespace qm::engine
