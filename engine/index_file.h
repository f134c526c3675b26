// IndexFile: an open .mdx index file bound to a table's record layout.
//
// Each tag's key and FOR filter are compiled expressions, so the index can
// compute a record's key itself: the table hands over record buffers
// (deletion byte first) and record numbers, and the index keeps every tag
// in step.
//
// Rules that the tags follow:
// - A tag holds a record only when its FOR filter (if any) is true for it.
//   A tag without a filter holds deleted records too.
// - A unique tag holds one entry per key: the first record that had it.
//   With kUniqueRefuse, adding or changing a record to a key that another
//   record holds in a unique tag is refused with kDuplicateKey (20) and
//   changes nothing in any tag. With kUniqueKeep the record is kept and
//   only its key is left out of that tag.
// - A descending tag lists keys from the highest down; equal keys stay in
//   record order.
//
// Building (Create, Reindex) computes every key, sorts them, and writes
// each tree bottom-up in one pass, which is far faster than adding the
// records one by one.
//
// What MdxFile says about caching holds here: in shared use every call
// sees other processes' changes; SetExclusive(true) trusts cached pages.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "engine/expression.h"
#include "engine/field_layout.h"
#include "engine/index_key.h"
#include "engine/mdx_file.h"
#include "engine/record_source.h"
#include "engine/tag_spec.h"

namespace qm::engine {

struct IndexFileOptions {
  // Written into a new file's header: the production flag and the base
  // name of the data file.
  bool production = false;
  std::string base_name;
  // Create: replace an existing file (the engine's safety setting off).
  bool overwrite = false;
  // Open: how unique tags treat a duplicate (kUniqueKeep or kUniqueRefuse);
  // the file itself only says that a tag is unique.
  int default_unique = kUniqueKeep;
};

// One tag of an open index file with its compiled expressions.
class IndexTag {
 public:
  const std::string& name() const { return info_.name; }
  const MdxTagInfo& info() const { return info_; }
  KeyType key_type() const { return info_.key_type; }
  std::size_t key_length() const { return info_.key_length; }
  bool descending() const { return info_.descending; }
  bool unique() const { return info_.unique; }
  // kUniqueRefuse or kUniqueKeep for a unique tag; 0 otherwise.
  int unique_mode() const { return unique_mode_; }
  const Expression& key_expression() const { return key_; }
  // nullptr when the tag has no FOR filter.
  const Expression* filter() const { return filter_ ? &*filter_ : nullptr; }

  // Whether the record belongs in the tag (its FOR filter).
  bool Accepts(std::span<const char> record) const;
  // Writes the record's key (key_length() bytes) to `out`.
  void MakeKey(std::span<const char> record, std::span<char> out) const;

  // The key to seek for a text that a user or a caller typed: character
  // tags take the text itself (a shorter text finds the first key that
  // begins with it), numeric tags a decimal number, date tags "CCYYMMDD".
  // False when the text does not suit the key type.
  bool MakeSeekKey(std::string_view text, std::string* key) const;

 private:
  friend class IndexFile;
  IndexTag(MdxTagInfo info, Expression key, std::optional<Expression> filter, int unique_mode);

  MdxTagInfo info_;
  Expression key_;
  std::optional<Expression> filter_;
  int unique_mode_ = 0;
  // Room for the keys of one record while it is added or changed.
  mutable std::string old_key_;
  mutable std::string new_key_;
};

class IndexFile {
 public:
  // Creates the file with `tags`, filled from every record of `records`,
  // and opens it. Key and filter errors come back as kErrorExpression
  // naming the tag; an existing file without `overwrite` as kErrorCreate.
  static FileStatus Create(const std::string& path, const RecordLayout& layout,
                           const std::vector<TagSpec>& tags, const RecordSource& records,
                           std::unique_ptr<IndexFile>* out,
                           const IndexFileOptions& options = {});

  // Opens an existing file and compiles its tags' expressions against
  // `layout`; a tag whose key does not compile, or compiles to another key
  // type or length than the file holds, is refused.
  static FileStatus Open(const std::string& path, const RecordLayout& layout,
                         std::unique_ptr<IndexFile>* out,
                         const IndexFileOptions& options = {});

  IndexFile(const IndexFile&) = delete;
  IndexFile& operator=(const IndexFile&) = delete;

  const std::string& path() const { return file_->path(); }
  std::size_t tag_count() const { return tags_.size(); }
  const IndexTag& tag(std::size_t index) const { return tags_[index]; }
  std::optional<std::size_t> FindTag(std::string_view name) const { return file_->FindTag(name); }

  // A cursor over one tag (see MdxCursor); it must not outlive this file.
  MdxCursor Cursor(std::size_t tag) { return MdxCursor(*file_, tag); }

  // Rebuilds every tag from the records.
  FileStatus Reindex(const RecordSource& records);

  // Keeps the tags in step with a new record. kDuplicateKey when a
  // kUniqueRefuse tag refuses it (nothing changed).
  FileStatus OnAppend(RecordNumber number, std::span<const char> record);
  // Keeps the tags in step with a changed record; only tags whose key or
  // filter result changed are touched. kDuplicateKey as for OnAppend.
  FileStatus OnChange(RecordNumber number, std::span<const char> old_record,
                      std::span<const char> new_record);

  // Checks every tag's tree (MdxFile::Check) and that it holds exactly the
  // records it should, with their current keys. The first disagreement
  // comes back as kErrorIndex with the tag and record named.
  FileStatus Check(const RecordSource& records);

  // Groups a run of appends and changes made under one lock: changed
  // pages are written once, at the outermost EndUpdate() (see MdxFile).
  void BeginUpdate() { file_->BeginUpdate(); }
  FileStatus EndUpdate() { return file_->EndUpdate(); }

  void SetExclusive(bool exclusive) { file_->SetExclusive(exclusive); }
  FileStatus Sync() { return file_->Sync(); }

  MdxFile& mdx() { return *file_; }

 private:
  IndexFile(std::unique_ptr<MdxFile> file, RecordLayout layout, std::vector<IndexTag> tags);

  FileStatus BuildContents(const RecordSource& records, std::vector<MdxTagContent>* contents) const;

  std::unique_ptr<MdxFile> file_;
  RecordLayout layout_;
  std::vector<IndexTag> tags_;
};

// The Julian day number of a "CCYYMMDD" date; nullopt when it is not one.
std::optional<double> JulianDayFromDtos(std::string_view text);

}  // namespace qm::engine
