#include "engine/index_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

namespace qm::engine {

namespace {

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

FileStatus ExpressionFailure(const std::string& tag, const char* what, const std::string& text,
                             const ExpressionError& error) {
  return FileStatus::Error(kErrorExpression, "tag " + tag + ": " + what + " \"" + text +
                                                 "\": " + error.message);
}

// Compiles a tag's expressions. `info` gets the key type and length that
// the key expression yields.
FileStatus CompileTag(MdxTagInfo* info, const RecordLayout& layout, std::optional<Expression>* key,
                      std::optional<Expression>* filter) {
  CompileResult compiled_key = Expression::CompileKey(info->key_expression, layout);
  if (!compiled_key.ok()) {
    return ExpressionFailure(info->name, "key", info->key_expression, compiled_key.error());
  }
  Expression& k = compiled_key.expression();
  switch (k.result_type()) {
    case ExpressionType::kCharacter:
      info->key_type = KeyType::kCharacter;
      info->key_length = k.result_width();
      break;
    case ExpressionType::kNumeric:
      info->key_type = KeyType::kNumeric;
      info->key_length = kNumericKeyLength;
      break;
    case ExpressionType::kDate:
      info->key_type = KeyType::kDate;
      info->key_length = kDateKeyLength;
      break;
    case ExpressionType::kLogical:
      return FileStatus::Error(kErrorExpression,
                               "tag " + info->name + ": a logical key cannot be indexed");
  }
  key->emplace(std::move(k));
  if (!Trimmed(info->for_expression).empty()) {
    CompileResult compiled_filter = Expression::CompileFilter(info->for_expression, layout);
    if (!compiled_filter.ok()) {
      return ExpressionFailure(info->name, "filter", info->for_expression, compiled_filter.error());
    }
    filter->emplace(std::move(compiled_filter.expression()));
  }
  return FileStatus::Ok();
}

bool SameKey(const IndexTag& tag, std::string_view a, std::string_view b) {
  return CompareKeys(tag.key_type(), a, b) == 0;
}

}  // namespace

std::optional<double> JulianDayFromDtos(std::string_view text) {
  if (text.size() != 8) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  auto number = [&](std::size_t at, std::size_t n) {
    int v = 0;
    for (std::size_t i = at; i < at + n; ++i) v = v * 10 + (text[i] - '0');
    return v;
  };
  int y = number(0, 4);
  int m = number(4, 2);
  int d = number(6, 2);
  if (m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
  // Days from 1970-01-01 in the proleptic Gregorian calendar.
  y -= m <= 2 ? 1 : 0;
  int era = (y >= 0 ? y : y - 399) / 400;
  int yoe = y - era * 400;
  int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  long days = static_cast<long>(era) * 146097 + doe - 719468;
  return static_cast<double>(days + 2440588);
}

// --- IndexTag ---------------------------------------------------------------------

IndexTag::IndexTag(MdxTagInfo info, Expression key, std::optional<Expression> filter,
                   int unique_mode)
    : info_(std::move(info)),
      key_(std::move(key)),
      filter_(std::move(filter)),
      unique_mode_(info_.unique ? unique_mode : 0),
      old_key_(info_.key_length, ' '),
      new_key_(info_.key_length, ' ') {}

bool IndexTag::Accepts(std::span<const char> record) const {
  return !filter_ || filter_->EvaluateLogical(record);
}

void IndexTag::MakeKey(std::span<const char> record, std::span<char> out) const {
  switch (info_.key_type) {
    case KeyType::kCharacter:
      key_.EvaluateCharacter(record, out);
      break;
    case KeyType::kNumeric:
      EncodeNumericKey(key_.EvaluateNumber(record), out.first<kNumericKeyLength>());
      break;
    case KeyType::kDate:
      EncodeDateKey(key_.EvaluateDate(record), out.first<kDateKeyLength>());
      break;
  }
}

bool IndexTag::MakeSeekKey(std::string_view text, std::string* key) const {
  switch (info_.key_type) {
    case KeyType::kCharacter:
      key->assign(text.substr(0, info_.key_length));
      return true;
    case KeyType::kNumeric: {
      key->assign(kNumericKeyLength, '\0');
      return EncodeNumericKeyFromText(
          text, std::span<char, kNumericKeyLength>(key->data(), kNumericKeyLength));
    }
    case KeyType::kDate: {
      std::string_view trimmed = Trimmed(text);
      std::optional<double> day = trimmed.empty() ? std::optional<double>(0.0)
                                                  : JulianDayFromDtos(trimmed);
      if (!day) return false;
      key->assign(kDateKeyLength, '\0');
      EncodeDateKey(*day, std::span<char, kDateKeyLength>(key->data(), kDateKeyLength));
      return true;
    }
  }
  return false;
}

// --- IndexFile ------------------------------------------------------------------------

IndexFile::IndexFile(std::unique_ptr<MdxFile> file, RecordLayout layout, std::vector<IndexTag> tags)
    : file_(std::move(file)), layout_(std::move(layout)), tags_(std::move(tags)) {}

FileStatus IndexFile::Create(const std::string& path, const RecordLayout& layout,
                             const std::vector<TagSpec>& specs, const RecordSource& records,
                             std::unique_ptr<IndexFile>* out, const IndexFileOptions& options) {
  if (specs.empty()) return FileStatus::Error(kErrorParameter, path + ": no tags to create");
  std::vector<IndexTag> tags;
  for (const TagSpec& spec : specs) {
    MdxTagInfo info;
    info.name = UpperCase(Trimmed(spec.name));
    info.key_expression = std::string(Trimmed(spec.key));
    info.for_expression = std::string(Trimmed(spec.filter));
    info.unique = spec.unique != 0;
    info.descending = spec.descending != 0;
    if (info.name.empty() || info.name.size() > kMdxMaxTagName) {
      return FileStatus::Error(kErrorParameter,
                               "tag name \"" + spec.name + "\" must have 1 to 10 characters");
    }
    for (const IndexTag& other : tags) {
      if (other.name() == info.name) {
        return FileStatus::Error(kErrorParameter, "tag name " + info.name + " given twice");
      }
    }
    std::optional<Expression> key;
    std::optional<Expression> filter;
    FileStatus s = CompileTag(&info, layout, &key, &filter);
    if (!s.ok()) return s;
    int mode = spec.unique == kUniqueRefuse ? kUniqueRefuse : kUniqueKeep;
    tags.push_back(IndexTag(std::move(info), std::move(*key), std::move(filter), mode));
  }
  std::unique_ptr<IndexFile> index(new IndexFile(nullptr, layout, std::move(tags)));
  std::vector<MdxTagContent> contents;
  FileStatus s = index->BuildContents(records, &contents);
  if (!s.ok()) return s;
  s = MdxFile::Create(path, options.base_name, options.production, contents, options.overwrite);
  if (!s.ok()) return s;
  s = MdxFile::Open(path, &index->file_);
  if (!s.ok()) return s;
  *out = std::move(index);
  return FileStatus::Ok();
}

FileStatus IndexFile::Open(const std::string& path, const RecordLayout& layout,
                           std::unique_ptr<IndexFile>* out, const IndexFileOptions& options) {
  std::unique_ptr<MdxFile> file;
  FileStatus s = MdxFile::Open(path, &file);
  if (!s.ok()) return s;
  std::vector<IndexTag> tags;
  for (std::size_t i = 0; i < file->tag_count(); ++i) {
    const MdxTagInfo& stored = file->tag(i);
    MdxTagInfo compiled = stored;
    std::optional<Expression> key;
    std::optional<Expression> filter;
    s = CompileTag(&compiled, layout, &key, &filter);
    if (!s.ok()) return s;
    if (compiled.key_type != stored.key_type || compiled.key_length != stored.key_length) {
      return FileStatus::Error(
          kErrorIndex, path + ": tag " + stored.name + ": its key expression gives " +
                           std::string(1, static_cast<char>(compiled.key_type)) + " keys of " +
                           std::to_string(compiled.key_length) + " bytes, the tag holds " +
                           std::string(1, static_cast<char>(stored.key_type)) + " keys of " +
                           std::to_string(stored.key_length));
    }
    tags.push_back(IndexTag(stored, std::move(*key), std::move(filter), options.default_unique));
  }
  out->reset(new IndexFile(std::move(file), layout, std::move(tags)));
  return FileStatus::Ok();
}

FileStatus IndexFile::BuildContents(const RecordSource& records,
                                    std::vector<MdxTagContent>* contents) const {
  const RecordNumber count = records.RecordCount();
  contents->clear();
  for (const IndexTag& tag : tags_) {
    MdxTagContent content;
    content.info = tag.info();
    content.keys.reserve(static_cast<std::size_t>(count) * tag.key_length());
    content.records.reserve(count);
    contents->push_back(std::move(content));
  }
  std::vector<char> record(layout_.record_length());
  for (RecordNumber number = 1; number <= count; ++number) {
    if (!records.ReadRecord(number, record)) {
      return FileStatus::Error(kErrorRead,
                               "record " + std::to_string(number) + " cannot be read");
    }
    for (std::size_t t = 0; t < tags_.size(); ++t) {
      const IndexTag& tag = tags_[t];
      if (!tag.Accepts(record)) continue;
      MdxTagContent& content = (*contents)[t];
      std::size_t at = content.keys.size();
      content.keys.resize(at + tag.key_length());
      tag.MakeKey(record, std::span<char>(content.keys.data() + at, tag.key_length()));
      content.records.push_back(number);
    }
  }
  for (MdxTagContent& content : *contents) {
    SortTagEntries(content.info, content.keys, content.records);
  }
  return FileStatus::Ok();
}

FileStatus IndexFile::Reindex(const RecordSource& records) {
  std::vector<MdxTagContent> contents;
  FileStatus s = BuildContents(records, &contents);
  if (!s.ok()) return s;
  return file_->Rewrite(contents);
}

FileStatus IndexFile::OnAppend(RecordNumber number, std::span<const char> record) {
  // Every refusal is known before anything is written.
  for (std::size_t t = 0; t < tags_.size(); ++t) {
    const IndexTag& tag = tags_[t];
    tag.MakeKey(record, tag.new_key_);
    if (tag.unique_mode() != kUniqueRefuse || !tag.Accepts(record)) continue;
    bool found = false;
    FileStatus s = file_->Contains(t, tag.new_key_, &found);
    if (!s.ok()) return s;
    if (found) {
      return FileStatus::Error(kDuplicateKey, "tag " + tag.name() + ": duplicate key");
    }
  }
  file_->BeginUpdate();
  FileStatus result;
  for (std::size_t t = 0; t < tags_.size() && result.ok(); ++t) {
    const IndexTag& tag = tags_[t];
    if (!tag.Accepts(record)) continue;
    if (tag.unique()) {
      bool found = false;
      result = file_->Contains(t, tag.new_key_, &found);
      if (!result.ok() || found) continue;  // kUniqueKeep: the key stays out
    }
    result = file_->Insert(t, tag.new_key_, number);
  }
  FileStatus ended = file_->EndUpdate();
  return result.ok() ? ended : result;
}

FileStatus IndexFile::OnChange(RecordNumber number, std::span<const char> old_record,
                               std::span<const char> new_record) {
  std::vector<bool> was_in(tags_.size());
  std::vector<bool> goes_in(tags_.size());
  std::vector<bool> changed(tags_.size());
  for (std::size_t t = 0; t < tags_.size(); ++t) {
    const IndexTag& tag = tags_[t];
    tag.MakeKey(old_record, tag.old_key_);
    tag.MakeKey(new_record, tag.new_key_);
    was_in[t] = tag.Accepts(old_record);
    goes_in[t] = tag.Accepts(new_record);
    changed[t] = was_in[t] != goes_in[t] ||
                 (goes_in[t] && std::memcmp(tag.old_key_.data(), tag.new_key_.data(),
                                            tag.key_length()) != 0);
    if (!changed[t] || !goes_in[t] || tag.unique_mode() != kUniqueRefuse) continue;
    bool found = false;
    RecordNumber holder = 0;
    FileStatus s = file_->Contains(t, tag.new_key_, &found, &holder);
    if (!s.ok()) return s;
    if (found && holder != number) {
      return FileStatus::Error(kDuplicateKey, "tag " + tag.name() + ": duplicate key");
    }
  }
  file_->BeginUpdate();
  FileStatus result;
  for (std::size_t t = 0; t < tags_.size() && result.ok(); ++t) {
    if (!changed[t]) continue;
    const IndexTag& tag = tags_[t];
    if (was_in[t]) {
      // Absent when a unique tag had left the key out: nothing to remove.
      bool found = false;
      result = file_->Remove(t, tag.old_key_, number, &found);
      if (!result.ok()) break;
    }
    if (!goes_in[t]) continue;
    if (tag.unique()) {
      bool found = false;
      result = file_->Contains(t, tag.new_key_, &found);
      if (!result.ok() || found) continue;
    }
    result = file_->Insert(t, tag.new_key_, number);
  }
  FileStatus ended = file_->EndUpdate();
  return result.ok() ? ended : result;
}

FileStatus IndexFile::Check(const RecordSource& records) {
  FileStatus s = file_->CheckAll();
  if (!s.ok()) return s;
  std::vector<MdxTagContent> expected;
  s = BuildContents(records, &expected);
  if (!s.ok()) return s;
  for (std::size_t t = 0; t < tags_.size(); ++t) {
    const IndexTag& tag = tags_[t];
    const std::size_t kl = tag.key_length();
    const MdxTagContent& want = expected[t];
    auto fail = [&](const std::string& what) {
      return FileStatus::Error(kErrorIndex, path() + ": tag " + tag.name() + ": " + what);
    };
    // The stored entries, with equal keys put in record order (other
    // writers store them newest first).
    std::vector<std::pair<std::size_t, RecordNumber>> have;  // key offset, record
    std::string keys;
    MdxCursor cursor = Cursor(t);
    int r = cursor.First();
    for (; r == kSuccess; r = cursor.Next()) {
      have.emplace_back(keys.size(), cursor.record());
      keys.append(cursor.key());
    }
    if (r < 0) return cursor.status();
    std::size_t begin = 0;
    while (begin < have.size()) {
      std::size_t end = begin + 1;
      while (end < have.size() &&
             SameKey(tag, std::string_view(keys.data() + have[begin].first, kl),
                     std::string_view(keys.data() + have[end].first, kl))) {
        ++end;
      }
      std::sort(have.begin() + static_cast<std::ptrdiff_t>(begin),
                have.begin() + static_cast<std::ptrdiff_t>(end),
                [](const auto& a, const auto& b) { return a.second < b.second; });
      begin = end;
    }
    std::vector<char> record(layout_.record_length());
    std::string key(kl, ' ');
    for (std::size_t i = 0; i < std::max(have.size(), want.records.size()); ++i) {
      if (i >= have.size()) {
        return fail("record " + std::to_string(want.records[i]) + " is missing");
      }
      std::string_view stored(keys.data() + have[i].first, kl);
      RecordNumber number = have[i].second;
      if (i >= want.records.size()) {
        return fail("record " + std::to_string(number) + " should not be there");
      }
      std::string_view wanted(want.keys.data() + i * kl, kl);
      if (!SameKey(tag, stored, wanted)) {
        return fail("entry " + std::to_string(i + 1) + " (record " + std::to_string(number) +
                    ") has the wrong key");
      }
      if (number == want.records[i]) continue;
      // A unique tag may hold any record of the key once the first one
      // changed; the record must still have that key.
      if (!tag.unique() || number > records.RecordCount() ||
          !records.ReadRecord(number, record) || !tag.Accepts(record)) {
        return fail("record " + std::to_string(want.records[i]) + " is missing");
      }
      tag.MakeKey(record, key);
      if (!SameKey(tag, key, stored)) {
        return fail("record " + std::to_string(number) + " has the wrong key");
      }
    }
  }
  return FileStatus::Ok();
}

}  // namespace qm::engine
