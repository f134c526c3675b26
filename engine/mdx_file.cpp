#include "engine/mdx_file.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace qm::engine {

namespace {

// File header (page 0).
constexpr std::size_t kVersionOffset = 0;
constexpr std::size_t kCreatedOffset = 1;
constexpr std::size_t kBaseNameOffset = 4;
constexpr std::size_t kBaseNameLength = 16;
constexpr std::size_t kBlockPagesOffset = 20;
constexpr std::size_t kBlockBytesOffset = 22;
constexpr std::size_t kProductionOffset = 24;
constexpr std::size_t kSlotsOffset = 25;
constexpr std::size_t kSlotLengthOffset = 26;
constexpr std::size_t kTagsInUseOffset = 28;
constexpr std::size_t kPagesOffset = 32;
constexpr std::size_t kFirstFreeOffset = 36;
constexpr std::size_t kFreeBlocksOffset = 40;
constexpr std::size_t kUpdatedOffset = 44;
constexpr std::size_t kHeaderFieldsEnd = 48;
constexpr std::size_t kMarkerOffset = 529;  // 1 in every file seen
constexpr std::size_t kTagTableOffset = 544;
constexpr std::size_t kTagEntryLength = 32;
constexpr std::size_t kTagSlots = 48;
constexpr std::uint32_t kBlockPages = 2;
constexpr std::uint32_t kFirstTagPage = 4;  // pages 0-3 hold the header and table

// Tag table entry.
constexpr std::size_t kEntryNameOffset = 4;
constexpr std::size_t kEntryNameLength = 11;
constexpr std::size_t kEntryFormatOffset = 15;
constexpr std::size_t kEntryLeftOffset = 16;
constexpr std::size_t kEntryRightOffset = 17;
constexpr std::size_t kEntryParentOffset = 18;
constexpr std::size_t kEntryMarkOffset = 19;
constexpr std::size_t kEntryTypeOffset = 20;

// Tag header.
constexpr std::size_t kRootOffset = 0;
constexpr std::size_t kFormatOffset = 8;
constexpr std::size_t kKeyTypeOffset = 9;
constexpr std::size_t kKeyLengthOffset = 12;
constexpr std::size_t kKeysPerNodeOffset = 14;
constexpr std::size_t kItemLengthOffset = 18;
constexpr std::size_t kSerialOffset = 20;
constexpr std::size_t kUniqueOffset = 23;
constexpr std::size_t kKeyExpressionOffset = 24;
constexpr std::size_t kHasForOffset = 245;
constexpr std::size_t kHasKeysOffset = 246;
constexpr std::size_t kCounterOffset = 248;
constexpr std::size_t kForExpressionOffset = 762;
// The part of a tag header that tells whether its pages changed.
constexpr std::size_t kTokenLength = 256;

constexpr unsigned char kFormatBase = 0x10;
constexpr unsigned char kFormatDescending = 0x08;
constexpr unsigned char kFormatUnique = 0x40;

// Node.
constexpr std::size_t kItemsOffset = 8;
constexpr int kMaxDepth = 32;
constexpr int kMinKeysPerNode = 3;

// The cache grows with the file up to this many blocks (8 MB), so that the
// inner pages and most leaves of a large tag stay in memory.
constexpr std::size_t kMinCacheSlots = 64;
constexpr std::size_t kMaxCacheSlots = 8192;

std::uint32_t Get32(const char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
std::uint16_t Get16(const char* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
void Put32(char* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
void Put16(char* p, std::uint16_t v) { std::memcpy(p, &v, 2); }

std::uint16_t ItemLength(std::size_t key_length) {
  return static_cast<std::uint16_t>((key_length + 4 + 3) & ~std::size_t{3});
}
std::uint16_t KeysPerNode(std::uint16_t item_length) {
  return static_cast<std::uint16_t>((kMdxBlockSize - 12) / item_length);
}

std::uint64_t PageOffset(std::uint32_t page) {
  return static_cast<std::uint64_t>(page) * kMdxPageSize;
}

void PutToday(char* p) {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  p[0] = static_cast<char>(parts.tm_year);  // years since 1900
  p[1] = static_cast<char>(parts.tm_mon + 1);
  p[2] = static_cast<char>(parts.tm_mday);
}

std::string ReadText(const char* p, std::size_t max) {
  std::size_t n = 0;
  while (n < max && p[n] != '\0') ++n;
  return std::string(p, n);
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

FileStatus Invalid(const std::string& text) { return FileStatus::Error(kErrorParameter, text); }

FileStatus ValidateInfo(const MdxTagInfo& info) {
  if (info.name.empty() || info.name.size() > kMdxMaxTagName) {
    return Invalid("tag name \"" + info.name + "\" must have 1 to 10 characters");
  }
  std::size_t fixed = FixedKeyLength(info.key_type);
  if (fixed != 0 ? info.key_length != fixed
                 : (info.key_length == 0 || info.key_length > kMaxCharacterKeyLength)) {
    return Invalid("tag " + info.name + ": key length " + std::to_string(info.key_length) +
                   " does not suit its key type");
  }
  if (info.key_expression.empty() || info.key_expression.size() >= kMdxMaxExpression) {
    return Invalid("tag " + info.name + ": key expression must have 1 to 218 characters");
  }
  if (info.for_expression.size() >= kMdxBlockSize - kForExpressionOffset) {
    return Invalid("tag " + info.name + ": FOR expression too long");
  }
  return FileStatus::Ok();
}

void FillTagHeader(char* h, const MdxTagInfo& info, std::uint32_t root, bool has_keys,
                   unsigned char serial, std::uint32_t counter) {
  std::memset(h, 0, kMdxBlockSize);
  std::uint16_t il = ItemLength(info.key_length);
  Put32(h + kRootOffset, root);
  h[kFormatOffset] = static_cast<char>(kFormatBase | (info.descending ? kFormatDescending : 0) |
                                       (info.unique ? kFormatUnique : 0));
  h[kKeyTypeOffset] = static_cast<char>(info.key_type);
  Put16(h + kKeyLengthOffset, static_cast<std::uint16_t>(info.key_length));
  Put16(h + kKeysPerNodeOffset, KeysPerNode(il));
  Put16(h + kItemLengthOffset, il);
  h[kSerialOffset] = static_cast<char>(serial);
  h[kUniqueOffset] = static_cast<char>(info.unique ? kFormatUnique : 0);
  std::memcpy(h + kKeyExpressionOffset, info.key_expression.data(), info.key_expression.size());
  h[kHasForOffset] = info.for_expression.empty() ? 0 : 1;
  h[kHasKeysOffset] = has_keys ? 1 : 0;
  Put32(h + kCounterOffset, counter);
  std::memcpy(h + kForExpressionOffset, info.for_expression.data(), info.for_expression.size());
}

void FillTableEntry(char* e, std::uint32_t header_page, const MdxTagInfo& info) {
  std::memset(e, 0, kTagEntryLength);
  Put32(e, header_page);
  std::string name = UpperCase(info.name);
  std::memcpy(e + kEntryNameOffset, name.data(), std::min(name.size(), kEntryNameLength - 1));
  e[kEntryFormatOffset] = static_cast<char>(kFormatBase);
  e[kEntryMarkOffset] = 0x02;
  e[kEntryTypeOffset] = static_cast<char>(info.key_type);
}

// The name tree: the binary search tree that inserting the tags in table
// order gives, root at tag 1, links 1-based.
void LinkNameTree(char* head, std::size_t count) {
  auto entry = [head](std::size_t i) { return head + kTagTableOffset + kTagEntryLength * i; };
  for (std::size_t i = 0; i < count; ++i) {
    entry(i)[kEntryLeftOffset] = entry(i)[kEntryRightOffset] = entry(i)[kEntryParentOffset] = 0;
  }
  for (std::size_t i = 1; i < count; ++i) {
    std::size_t at = 0;
    while (true) {
      bool left = std::memcmp(entry(i) + kEntryNameOffset, entry(at) + kEntryNameOffset,
                              kEntryNameLength) < 0;
      char& link = entry(at)[left ? kEntryLeftOffset : kEntryRightOffset];
      if (link == 0) {
        link = static_cast<char>(i + 1);
        entry(i)[kEntryParentOffset] = static_cast<char>(at + 1);
        break;
      }
      at = static_cast<unsigned char>(link) - 1;
    }
  }
}

// Appends the blocks of one tag's tree, starting at `first_page`, to
// `image`; returns the root page. Leaves are filled evenly, then each
// interior level bottom-up.
std::uint32_t LayOutTree(const MdxTagContent& content, std::uint32_t first_page,
                         std::vector<char>& image) {
  const std::size_t kl = content.info.key_length;
  const std::uint16_t il = ItemLength(kl);
  const std::size_t kpn = KeysPerNode(il);
  const std::size_t n = content.records.size();
  std::uint32_t next_page = first_page;
  auto new_block = [&]() {
    std::size_t at = image.size();
    image.resize(at + kMdxBlockSize, '\0');
    std::uint32_t page = next_page;
    next_page += kBlockPages;
    return std::pair<char*, std::uint32_t>(image.data() + at, page);
  };
  struct Child {
    std::uint32_t page;
    std::size_t highest;  // entry index of its highest key
  };
  std::vector<Child> children;
  std::size_t leaves = std::max<std::size_t>(1, (n + kpn - 1) / kpn);
  std::size_t entry = 0;
  for (std::size_t leaf = 0; leaf < leaves; ++leaf) {
    std::size_t take = n / leaves + (leaf < n % leaves ? 1 : 0);
    auto [block, page] = new_block();
    Put32(block, static_cast<std::uint32_t>(take));
    for (std::size_t i = 0; i < take; ++i, ++entry) {
      char* item = block + kItemsOffset + i * il;
      Put32(item, content.records[entry]);
      std::memcpy(item + 4, content.keys.data() + entry * kl, kl);
    }
    children.push_back({page, entry == 0 ? 0 : entry - 1});
  }
  while (children.size() > 1) {
    std::size_t c = children.size();
    std::size_t nodes = (c + kpn) / (kpn + 1);
    std::vector<Child> parents;
    std::size_t at = 0;
    for (std::size_t node = 0; node < nodes; ++node) {
      std::size_t take = c / nodes + (node < c % nodes ? 1 : 0);
      auto [block, page] = new_block();
      Put32(block, static_cast<std::uint32_t>(take - 1));
      for (std::size_t i = 0; i + 1 < take; ++i) {
        char* item = block + kItemsOffset + i * il;
        Put32(item, children[at + i].page);
        std::memcpy(item + 4, content.keys.data() + children[at + i].highest * kl, kl);
      }
      Put32(block + kItemsOffset + (take - 1) * il, children[at + take - 1].page);
      parents.push_back({page, children[at + take - 1].highest});
      at += take;
    }
    children = std::move(parents);
  }
  return children.front().page;
}

struct TagImageState {
  unsigned char serial = 1;
  std::uint32_t counter = 1;
};

// A whole file: header, table, tag headers, then each tag's tree.
FileStatus BuildImage(std::string_view base_name, bool production, const char* created,
                      const std::vector<MdxTagContent>& tags,
                      const std::vector<TagImageState>& states, std::vector<char>* image) {
  if (tags.size() > kMdxMaxTags) return Invalid("an index file holds at most 47 tags");
  for (std::size_t i = 0; i < tags.size(); ++i) {
    FileStatus s = ValidateInfo(tags[i].info);
    if (!s.ok()) return s;
    const MdxTagContent& t = tags[i];
    if (t.keys.size() != t.records.size() * t.info.key_length) {
      return Invalid("tag " + t.info.name + ": keys and records disagree");
    }
    for (std::size_t k = 0; k < i; ++k) {
      if (UpperCase(tags[k].info.name) == UpperCase(t.info.name)) {
        return Invalid("tag name " + t.info.name + " used twice");
      }
    }
  }
  image->assign(PageOffset(kFirstTagPage + kBlockPages * tags.size()), '\0');
  char* head = image->data();
  head[kVersionOffset] = 2;
  if (created != nullptr) {
    std::memcpy(head + kCreatedOffset, created, 3);
  } else {
    PutToday(head + kCreatedOffset);
  }
  std::memcpy(head + kBaseNameOffset, base_name.data(),
              std::min(base_name.size(), kBaseNameLength - 1));
  Put16(head + kBlockPagesOffset, kBlockPages);
  Put16(head + kBlockBytesOffset, kMdxBlockSize);
  head[kProductionOffset] = production ? 1 : 0;
  head[kSlotsOffset] = static_cast<char>(kTagSlots);
  head[kSlotLengthOffset] = static_cast<char>(kTagEntryLength);
  Put16(head + kTagsInUseOffset, static_cast<std::uint16_t>(tags.size()));
  PutToday(head + kUpdatedOffset);
  head[kMarkerOffset] = 1;
  std::vector<std::uint32_t> roots;
  for (const MdxTagContent& t : tags) {
    std::uint32_t first = static_cast<std::uint32_t>(image->size() / kMdxPageSize);
    roots.push_back(LayOutTree(t, first, *image));
  }
  head = image->data();
  for (std::size_t i = 0; i < tags.size(); ++i) {
    std::uint32_t header_page = kFirstTagPage + kBlockPages * static_cast<std::uint32_t>(i);
    FillTableEntry(head + kTagTableOffset + kTagEntryLength * i, header_page, tags[i].info);
    TagImageState st = i < states.size() ? states[i] : TagImageState{};
    FillTagHeader(head + PageOffset(header_page), tags[i].info, roots[i],
                  !tags[i].records.empty(), st.serial, st.counter);
  }
  LinkNameTree(head, tags.size());
  Put32(head + kPagesOffset, static_cast<std::uint32_t>(image->size() / kMdxPageSize));
  return FileStatus::Ok();
}

FileStatus IoError(int code, const std::string& path, const platform::Status& status) {
  return FileStatus::Error(code, path + ": " + status.message());
}

}  // namespace

// --- Sorting ------------------------------------------------------------------

void SortTagEntries(const MdxTagInfo& info, std::vector<char>& keys,
                    std::vector<RecordNumber>& records) {
  const std::size_t kl = info.key_length;
  const std::size_t n = records.size();
  struct Entry {
    std::uint64_t prefix;
    std::uint32_t index;
  };
  std::vector<Entry> order(n);
  for (std::size_t i = 0; i < n; ++i) {
    const char* key = keys.data() + i * kl;
    std::uint64_t prefix = 0;
    switch (info.key_type) {
      case KeyType::kCharacter:
        for (std::size_t b = 0; b < 8; ++b) {
          prefix = (prefix << 8) | (b < kl ? static_cast<unsigned char>(key[b]) : 0u);
        }
        break;
      case KeyType::kNumeric:
      case KeyType::kDate: {
        double v = info.key_type == KeyType::kDate
                       ? DecodeDateKey(std::span<const char, kDateKeyLength>(key, kDateKeyLength))
                       : DecodeNumericKey(
                             std::span<const char, kNumericKeyLength>(key, kNumericKeyLength));
        if (std::isnan(v)) v = 0;
        std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
        prefix = (bits >> 63) ? ~bits : (bits | (std::uint64_t{1} << 63));
        break;
      }
    }
    order[i] = {info.descending ? ~prefix : prefix, static_cast<std::uint32_t>(i)};
  }
  const bool exact_prefix = info.key_type == KeyType::kDate ||
                            (info.key_type == KeyType::kCharacter && kl <= 8);
  const int direction = info.descending ? -1 : 1;
  std::sort(order.begin(), order.end(), [&](const Entry& a, const Entry& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    if (!exact_prefix) {
      int c = CompareKeys(info.key_type, std::string_view(keys.data() + a.index * kl, kl),
                          std::string_view(keys.data() + b.index * kl, kl));
      if (c != 0) return direction * c < 0;
    }
    return records[a.index] < records[b.index];
  });
  std::vector<char> sorted_keys;
  std::vector<RecordNumber> sorted_records;
  sorted_keys.reserve(keys.size());
  sorted_records.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::string_view key(keys.data() + order[i].index * kl, kl);
    if (info.unique && !sorted_records.empty() &&
        CompareKeys(info.key_type, key,
                    std::string_view(sorted_keys.data() + sorted_keys.size() - kl, kl)) == 0) {
      continue;
    }
    sorted_keys.insert(sorted_keys.end(), key.begin(), key.end());
    sorted_records.push_back(records[order[i].index]);
  }
  keys = std::move(sorted_keys);
  records = std::move(sorted_records);
}

// --- State ---------------------------------------------------------------------

struct MdxFile::TagState {
  MdxTagInfo info;
  std::uint32_t header_page = 0;
  std::uint32_t root = 0;
  std::uint16_t keys_per_node = 0;
  std::uint16_t item_length = 0;
  Block header{};
  std::uint64_t generation = 0;
  bool header_dirty = false;
  bool trusted = false;  // checked while exclusive
};

struct MdxFile::CacheSlot {
  std::uint32_t page = 0;
  bool dirty = false;  // changed within an update, not yet written
  Block data;
};

MdxFile::MdxFile(RawFile file) : file_(std::move(file)) {}
MdxFile::~MdxFile() {
  // Changes of an update that was never ended still reach the file.
  (void)FlushDirty();
  (void)FlushHeaders();
}

FileStatus MdxFile::Damaged(const TagState* tag, const std::string& what) const {
  std::string text = path() + ": ";
  if (tag != nullptr) text += "tag " + tag->info.name + ": ";
  return FileStatus::Error(kErrorIndex, text + what);
}

std::size_t MdxFile::tag_count() const { return tags_.size(); }
const MdxTagInfo& MdxFile::tag(std::size_t index) const { return tags_[index].info; }
std::uint64_t MdxFile::generation(std::size_t tag) const { return tags_[tag].generation; }

bool MdxFile::production() const { return head_[kProductionOffset] != 0; }

std::string MdxFile::base_name() const {
  return ReadText(head_.data() + kBaseNameOffset, kBaseNameLength);
}

std::optional<std::size_t> MdxFile::FindTag(std::string_view name) const {
  std::string wanted = UpperCase(name);
  for (std::size_t i = 0; i < tags_.size(); ++i) {
    if (UpperCase(tags_[i].info.name) == wanted) return i;
  }
  return std::nullopt;
}

// --- Opening and whole-file writes ----------------------------------------------

FileStatus MdxFile::Create(const std::string& path, std::string_view base_name, bool production,
                           const std::vector<MdxTagContent>& tags, bool overwrite) {
  if (!overwrite && FileExists(path)) {
    return FileStatus::Error(kErrorCreate, path + ": the file exists");
  }
  std::vector<char> image;
  FileStatus s = BuildImage(base_name, production, nullptr, tags, {}, &image);
  if (!s.ok()) return s;
  std::string temporary = path + ".tmp" + std::to_string(::getpid());
  {
    RawFile file;
    platform::Status st = file.Create(temporary, true);
    if (!st.ok()) return IoError(kErrorCreate, temporary, st);
    st = file.WriteAt(0, image);
    if (!st.ok()) {
      file.Close();
      std::remove(temporary.c_str());
      return IoError(kErrorWrite, temporary, st);
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return FileStatus::Error(kErrorRename, path + ": cannot rename the new index into place");
  }
  return FileStatus::Ok();
}

FileStatus MdxFile::Open(const std::string& path, std::unique_ptr<MdxFile>* out) {
  RawFile file;
  platform::Status st = file.Open(path, RawFile::Mode::kReadWriteOrReadOnly);
  if (!st.ok()) return FileStatusFromSystem(st, kErrorOpen);
  std::unique_ptr<MdxFile> mdx(new MdxFile(std::move(file)));
  FileStatus s = mdx->LoadHead();
  if (!s.ok()) return s;
  // Without a mapping the headers are read with pread, which is slower only.
  if (!mdx->map_.Attach(mdx->file_.fd()).ok()) mdx->map_.Reset();
  *out = std::move(mdx);
  return FileStatus::Ok();
}

FileStatus MdxFile::LoadHead() {
  platform::Status st = file_.ReadAt(0, head_);
  if (!st.ok()) return Damaged(nullptr, "too short for an index file");
  if (head_[kVersionOffset] != 2) return Damaged(nullptr, "not a dBASE IV index file");
  if (Get16(head_.data() + kBlockPagesOffset) != kBlockPages ||
      Get16(head_.data() + kBlockBytesOffset) != kMdxBlockSize) {
    return Damaged(nullptr, "block size other than 1024 bytes");
  }
  if (static_cast<unsigned char>(head_[kSlotLengthOffset]) != kTagEntryLength) {
    return Damaged(nullptr, "unexpected tag entry length");
  }
  pages_in_file_ = Get32(head_.data() + kPagesOffset);
  first_free_ = Get32(head_.data() + kFirstFreeOffset);
  free_blocks_ = Get32(head_.data() + kFreeBlocksOffset);
  if (FileStatus s = CheckPageCount(); !s.ok()) return s;
  return ParseTags();
}

FileStatus MdxFile::ParseTags() {
  std::size_t count = Get16(head_.data() + kTagsInUseOffset);
  if (count > kMdxMaxTags) return Damaged(nullptr, "more than 47 tags");
  std::uint64_t next_generation = 1;
  for (const TagState& t : tags_) next_generation = std::max(next_generation, t.generation + 1);
  std::vector<TagState> tags(count);
  for (std::size_t i = 0; i < count; ++i) {
    TagState& tag = tags[i];
    const char* entry = head_.data() + kTagTableOffset + kTagEntryLength * i;
    tag.info.name = ReadText(entry + kEntryNameOffset, kEntryNameLength);
    tag.header_page = Get32(entry);
    if (tag.header_page < kFirstTagPage || tag.header_page + kBlockPages > pages_in_file_) {
      return Damaged(nullptr, "tag " + tag.info.name + " has its header outside the file");
    }
    if (!file_.ReadAt(PageOffset(tag.header_page), tag.header).ok()) {
      return Damaged(nullptr, "tag " + tag.info.name + " has its header outside the file");
    }
    const char* h = tag.header.data();
    auto type = KeyTypeFromLetter(h[kKeyTypeOffset]);
    if (!type) return Damaged(&tag, "unknown key type");
    tag.info.key_type = *type;
    tag.info.key_length = Get16(h + kKeyLengthOffset);
    tag.keys_per_node = Get16(h + kKeysPerNodeOffset);
    tag.item_length = Get16(h + kItemLengthOffset);
    std::size_t fixed = FixedKeyLength(*type);
    bool length_ok = fixed != 0 ? tag.info.key_length == fixed
                                : tag.info.key_length >= 1 &&
                                      tag.info.key_length <= kMaxCharacterKeyLength;
    if (!length_ok || tag.item_length < tag.info.key_length + 4 ||
        tag.keys_per_node < kMinKeysPerNode ||
        kItemsOffset + std::size_t{tag.keys_per_node} * tag.item_length + 4 > kMdxBlockSize) {
      return Damaged(&tag, "impossible key length, item length or keys per node");
    }
    unsigned char format = static_cast<unsigned char>(h[kFormatOffset]);
    tag.info.descending = (format & kFormatDescending) != 0;
    tag.info.unique = (format & kFormatUnique) != 0 || h[kUniqueOffset] != 0;
    tag.info.key_expression = ReadText(h + kKeyExpressionOffset, kMdxMaxExpression);
    if (h[kHasForOffset] != 0) {
      tag.info.for_expression =
          ReadText(h + kForExpressionOffset, kMdxBlockSize - kForExpressionOffset);
    }
    tag.root = Get32(h + kRootOffset);
    tag.generation = next_generation++;
  }
  tags_ = std::move(tags);
  return FileStatus::Ok();
}

FileStatus MdxFile::Rewrite(const std::vector<MdxTagContent>& tags) {
  if (read_only()) return FileStatus::Error(kErrorWrite, path() + ": read-only");
  if (tags.size() != tags_.size()) return Invalid("rewrite must keep the tag list");
  FileStatus flushed = FlushDirty();
  if (!flushed.ok()) return flushed;
  std::vector<TagImageState> states;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    if (UpperCase(tags[i].info.name) != UpperCase(tags_[i].info.name)) {
      return Invalid("rewrite must keep the tag list");
    }
    // Fresh header bytes so that other processes see the change.
    if (!file_.ReadAt(PageOffset(tags_[i].header_page),
                      std::span<char>(tags_[i].header.data(), kTokenLength)).ok()) {
      return Damaged(&tags_[i], "cannot read the tag header");
    }
    states.push_back({static_cast<unsigned char>(tags_[i].header[kSerialOffset] + 1),
                      Get32(tags_[i].header.data() + kCounterOffset) + 1});
  }
  std::vector<char> image;
  std::string name = base_name();
  FileStatus s = BuildImage(name, production(), head_.data() + kCreatedOffset, tags, states, &image);
  if (!s.ok()) return s;
  platform::Status st = file_.WriteAt(0, image);
  if (st.ok()) st = file_.Truncate(image.size());
  if (!st.ok()) return IoError(kErrorWrite, path(), st);
  if (!map_.Refresh().ok()) map_.Reset();
  std::memcpy(head_.data(), image.data(), head_.size());
  pages_in_file_ = Get32(head_.data() + kPagesOffset);
  first_free_ = 0;
  free_blocks_ = 0;
  DropCache();
  s = ParseTags();
  if (s.ok()) SetExclusive(exclusive_);
  return s;
}

// --- Freshness ---------------------------------------------------------------------

void MdxFile::DropCache() {
  (void)FlushDirty();
  for (CacheSlot& slot : cache_) slot.page = 0;
  std::uint64_t next = 1;
  for (const TagState& t : tags_) next = std::max(next, t.generation + 1);
  for (TagState& t : tags_) t.generation = next++;
}

void MdxFile::SetExclusive(bool exclusive) {
  exclusive_ = exclusive;
  for (TagState& t : tags_) t.trusted = false;
  head_fresh_ = false;
}

FileStatus MdxFile::RefreshTag(std::size_t index) {
  TagState& tag = tags_[index];
  const bool held = exclusive_ || update_depth_ > 0;
  if (held && tag.trusted) return FileStatus::Ok();
  if (update_depth_ == 0) SizeCache();
  // Mostly nothing changed: compare in the mapping without a copy.
  if (TagHeaderUnchanged(index)) {
    tag.trusted = held;
    return FileStatus::Ok();
  }
  std::array<char, kTokenLength> now;
  if (!ReadMapped(PageOffset(tag.header_page), now)) {
    return Damaged(&tag, "cannot read the tag header");
  }
  if (std::memcmp(now.data(), tag.header.data(), kTokenLength) != 0) {
    const char* h = now.data();
    if (Get16(h + kKeyLengthOffset) != tag.info.key_length ||
        Get16(h + kItemLengthOffset) != tag.item_length ||
        Get16(h + kKeysPerNodeOffset) != tag.keys_per_node ||
        h[kKeyTypeOffset] != static_cast<char>(tag.info.key_type)) {
      return Damaged(&tag, "the tag was changed into another one by another program");
    }
    DropCache();
    std::memcpy(tag.header.data(), now.data(), kTokenLength);
    tag.root = Get32(h + kRootOffset);
  }
  tag.trusted = held;
  return FileStatus::Ok();
}

// Another process may rewrite the file shorter while it is mapped, and a
// mapped page past the end of a file raises SIGBUS. Every rewrite keeps the
// header pages and one tag header block per tag right after them, so only
// those are read through the mapping.
bool MdxFile::MappedRangeSafe(std::uint64_t offset, std::size_t size) const {
  return offset + size <= PageOffset(kFirstTagPage + kBlockPages * static_cast<std::uint32_t>(
                                                                      tags_.size()));
}

bool MdxFile::ReadMapped(std::uint64_t offset, std::span<char> bytes) const {
  if (MappedRangeSafe(offset, bytes.size())) {
    if (map_.Read(offset, bytes)) return true;
    if (map_.Refresh().ok() && map_.Read(offset, bytes)) return true;
  }
  return file_.ReadAt(offset, bytes).ok();
}

bool MdxFile::TagHeaderUnchanged(std::size_t index) const {
  const TagState& tag = tags_[index];
  const std::uint64_t offset = PageOffset(tag.header_page);
  if (MappedRangeSafe(offset, kTokenLength)) {
    if (const char* mapped = map_.View(offset, kTokenLength)) {
      return std::memcmp(mapped, tag.header.data(), kTokenLength) == 0;
    }
  }
  std::array<char, kTokenLength> now;
  return ReadMapped(offset, now) && std::memcmp(now.data(), tag.header.data(), kTokenLength) == 0;
}

void MdxFile::ForgetPages() {
  DropCache();
  for (TagState& t : tags_) t.trusted = false;
  head_fresh_ = false;
}

void MdxFile::SizeCache() {
  std::size_t wanted = std::bit_ceil(std::clamp<std::size_t>(pages_in_file_ / kBlockPages,
                                                             kMinCacheSlots, kMaxCacheSlots));
  if (wanted <= cache_.size()) return;
  // Within an update the changed blocks go to the file first; that is what
  // leaving the cache does to them anyway, and the update's lock is held.
  if (!FlushDirty().ok()) return;
  cache_.clear();
  cache_.resize(wanted);
}

MdxFile::CacheSlot& MdxFile::SlotFor(std::uint32_t page) {
  if (cache_.empty()) cache_.resize(kMinCacheSlots);
  return cache_[(page / kBlockPages) & (cache_.size() - 1)];
}

FileStatus MdxFile::WriteSlot(CacheSlot& slot) {
  platform::Status st = file_.WriteAt(PageOffset(slot.page), slot.data);
  if (!st.ok()) return IoError(kErrorWrite, path(), st);
  slot.dirty = false;
  return FileStatus::Ok();
}

FileStatus MdxFile::FlushDirty() {
  FileStatus result;
  std::sort(dirty_slots_.begin(), dirty_slots_.end());
  for (std::size_t index : dirty_slots_) {
    CacheSlot& slot = cache_[index];
    if (!slot.dirty) continue;  // written when it left the cache
    FileStatus s = WriteSlot(slot);
    if (!s.ok()) {
      slot.page = 0;  // lost: never serve what the file does not hold
      slot.dirty = false;
      if (result.ok()) result = s;
    }
  }
  dirty_slots_.clear();
  return result;
}

FileStatus MdxFile::ReadHeaderFields() {
  char fields[kHeaderFieldsEnd];
  if (!file_.ReadAt(0, fields).ok()) return Damaged(nullptr, "cannot read the file header");
  std::memcpy(head_.data(), fields, kHeaderFieldsEnd);
  pages_in_file_ = Get32(fields + kPagesOffset);
  first_free_ = Get32(fields + kFirstFreeOffset);
  free_blocks_ = Get32(fields + kFreeBlocksOffset);
  return CheckPageCount();
}

// Writers extend the file before they raise the header's page count, so a
// count beyond the file's end means damage. Trusting it would size the
// check's page map by it and place the next new block far past the end.
FileStatus MdxFile::CheckPageCount() {
  std::uint64_t length = 0;
  if (!file_.Length(length).ok()) return Damaged(nullptr, "cannot read the file length");
  const std::uint64_t pages = (length + kMdxPageSize - 1) / kMdxPageSize;
  if (pages_in_file_ > pages) return Damaged(nullptr, "page count beyond the end of the file");
  return FileStatus::Ok();
}

FileStatus MdxFile::PrepareChange(std::size_t tag) {
  if (read_only()) return FileStatus::Error(kErrorWrite, path() + ": the index file is read-only");
  FileStatus s = RefreshTag(tag);
  if (!s.ok()) return s;
  if (!head_fresh_) {
    s = ReadHeaderFields();
    if (!s.ok()) return s;
    head_fresh_ = true;
  }
  TagState& t = tags_[tag];
  if (!t.header_dirty) {
    t.header[kSerialOffset] = static_cast<char>(t.header[kSerialOffset] + 1);
    Put32(t.header.data() + kCounterOffset, Get32(t.header.data() + kCounterOffset) + 1);
    t.header_dirty = true;
  }
  std::uint64_t next = 1;
  for (const TagState& other : tags_) next = std::max(next, other.generation + 1);
  t.generation = next;
  return FileStatus::Ok();
}

FileStatus MdxFile::FinishChange() {
  if (update_depth_ > 0) return FileStatus::Ok();
  FileStatus s = FlushDirty();
  FileStatus h = FlushHeaders();
  if (!exclusive_) {
    head_fresh_ = false;
    for (TagState& t : tags_) t.trusted = false;
  }
  return s.ok() ? h : s;
}

void MdxFile::BeginUpdate() { ++update_depth_; }

FileStatus MdxFile::EndUpdate() {
  if (update_depth_ > 0) --update_depth_;
  return FinishChange();
}

FileStatus MdxFile::FlushHeaders() {
  FileStatus result;
  for (TagState& t : tags_) {
    if (!t.header_dirty) continue;
    t.header_dirty = false;
    Put32(t.header.data() + kRootOffset, t.root);
    platform::Status st = file_.WriteAt(PageOffset(t.header_page),
                                        std::span<const char>(t.header.data(), kTokenLength));
    if (!st.ok() && result.ok()) result = IoError(kErrorWrite, path(), st);
    head_dirty_ = true;  // the date of the last update
  }
  if (head_dirty_) {
    head_dirty_ = false;
    Put32(head_.data() + kPagesOffset, pages_in_file_);
    Put32(head_.data() + kFirstFreeOffset, first_free_);
    Put32(head_.data() + kFreeBlocksOffset, free_blocks_);
    PutToday(head_.data() + kUpdatedOffset);
    platform::Status st =
        file_.WriteAt(0, std::span<const char>(head_.data(), kHeaderFieldsEnd));
    if (!st.ok() && result.ok()) result = IoError(kErrorWrite, path(), st);
  }
  return result;
}

FileStatus MdxFile::Sync() {
  platform::Status st = file_.Sync();
  return st.ok() ? FileStatus::Ok() : IoError(kErrorWrite, path(), st);
}

// --- Pages -----------------------------------------------------------------------

FileStatus MdxFile::ReadNode(const TagState& tag, std::uint32_t page, const char** data) {
  if (page < kFirstTagPage || page + kBlockPages > pages_in_file_) {
    // The file may have grown under another process since the header was read.
    if (page >= kFirstTagPage && !exclusive_) {
      FileStatus s = ReadHeaderFields();
      if (!s.ok()) return s;
    }
    if (page < kFirstTagPage || page + kBlockPages > pages_in_file_) {
      return Damaged(&tag, "page " + std::to_string(page) + " lies outside the file");
    }
  }
  CacheSlot& slot = SlotFor(page);
  if (slot.page != page) {
    if (slot.dirty) {
      FileStatus s = WriteSlot(slot);
      if (!s.ok()) return s;
    }
    slot.page = 0;
    if (!file_.ReadAt(PageOffset(page), slot.data).ok()) {
      return Damaged(&tag, "page " + std::to_string(page) + " cannot be read");
    }
    slot.page = page;
  }
  std::uint32_t count = Get32(slot.data.data());
  if (count > tag.keys_per_node) {
    return Damaged(&tag, "page " + std::to_string(page) + " claims " + std::to_string(count) +
                             " keys, more than a node holds");
  }
  *data = slot.data.data();
  return FileStatus::Ok();
}

FileStatus MdxFile::WriteNode(std::uint32_t page, const char* data) {
  CacheSlot& slot = SlotFor(page);
  if (slot.page != page && slot.dirty) {
    FileStatus s = WriteSlot(slot);
    if (!s.ok()) return s;
  }
  slot.page = page;
  std::memcpy(slot.data.data(), data, kMdxBlockSize);
  if (!slot.dirty) {
    slot.dirty = true;
    dirty_slots_.push_back(static_cast<std::size_t>(&slot - cache_.data()));
  }
  // Within an update the block is written at its end (or when evicted).
  if (update_depth_ > 0) return FileStatus::Ok();
  FileStatus s = WriteSlot(slot);
  if (!s.ok()) slot.page = 0;
  return s;
}

FileStatus MdxFile::AllocateBlock(std::uint32_t* page) {
  head_dirty_ = true;
  if (first_free_ != 0) {
    std::uint32_t candidate = first_free_;
    if (candidate < kFirstTagPage || candidate + kBlockPages > pages_in_file_) {
      return Damaged(nullptr, "the free page list points outside the file");
    }
    // Through the cache: the block may have been freed within this update.
    const CacheSlot& slot = SlotFor(candidate);
    char link[8];
    if (slot.page == candidate) {
      std::memcpy(link, slot.data.data(), sizeof link);
    } else if (!file_.ReadAt(PageOffset(candidate), link).ok()) {
      return Damaged(nullptr, "the free page list cannot be read");
    }
    std::uint32_t next = Get32(link);
    if (next == candidate) return Damaged(nullptr, "the free page list loops");
    first_free_ = next;
    free_blocks_ = free_blocks_ > 0 ? free_blocks_ - 1 : 0;
    *page = candidate;
    return FileStatus::Ok();
  }
  // Grow; never below the real end of the file, whatever the header says.
  std::uint64_t length = 0;
  if (!file_.Length(length).ok()) return Damaged(nullptr, "cannot read the file length");
  std::uint64_t end_pages = (length + kMdxPageSize - 1) / kMdxPageSize;
  end_pages += end_pages % kBlockPages;
  *page = std::max<std::uint32_t>(pages_in_file_, static_cast<std::uint32_t>(end_pages));
  pages_in_file_ = *page + kBlockPages;
  // A long run of appends in one update grows the file far past the size
  // the cache was made for; a cache too small for the tree thrashes.
  if (pages_in_file_ / kBlockPages > 2 * cache_.size()) SizeCache();
  return FileStatus::Ok();
}

FileStatus MdxFile::FreeBlock(std::uint32_t page) {
  Block block{};
  Put32(block.data(), first_free_);
  Put32(block.data() + 4, kBlockPages);
  FileStatus s = WriteNode(page, block.data());
  if (!s.ok()) return s;
  first_free_ = page;
  ++free_blocks_;
  head_dirty_ = true;
  return FileStatus::Ok();
}

// --- Searching ---------------------------------------------------------------------

int MdxFile::CompareStored(const TagState& tag, std::string_view a, std::string_view b) const {
  return CompareKeys(tag.info.key_type, a, b);
}

int MdxFile::FindInNode(const TagState& tag, const char* node, int count, std::string_view key,
                        Bound bound) const {
  const int direction = tag.info.descending ? -1 : 1;
  const std::size_t il = tag.item_length;
  const std::size_t kl = tag.info.key_length;
  int low = 0;
  int high = count;
  while (low < high) {
    int mid = (low + high) / 2;
    std::string_view stored(node + kItemsOffset + mid * il + 4, kl);
    bool go_right;
    switch (bound) {
      case Bound::kLower:
        go_right = direction * CompareKeys(tag.info.key_type, stored, key) < 0;
        break;
      case Bound::kUpper:
        go_right = direction * CompareKeys(tag.info.key_type, stored, key) <= 0;
        break;
      case Bound::kLowerPrefix:
      default:
        go_right = direction * CompareSearchKey(tag.info.key_type, key, stored) > 0;
        break;
    }
    if (go_right) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low;
}

FileStatus MdxFile::Descend(const TagState& tag, std::string_view key, Bound bound,
                            std::vector<Level>* path, Block* leaf, std::uint32_t* leaf_page,
                            int* index) {
  path->clear();
  std::uint32_t page = tag.root;
  const std::size_t il = tag.item_length;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    const char* node;
    FileStatus s = ReadNode(tag, page, &node);
    if (!s.ok()) return s;
    int count = static_cast<int>(Get32(node));
    std::uint32_t last = Get32(node + kItemsOffset + count * il);
    int i = FindInNode(tag, node, count, key, bound);
    if (last == 0) {
      std::memcpy(leaf->data(), node, kMdxBlockSize);
      *leaf_page = page;
      *index = i;
      return FileStatus::Ok();
    }
    path->push_back({page, i, count});
    page = Get32(node + kItemsOffset + i * il);
  }
  return Damaged(&tag, "the tree is deeper than any real index");
}

FileStatus MdxFile::DescendEdge(const TagState& tag, bool last, std::vector<Level>* path,
                                Block* leaf, std::uint32_t* leaf_page, int* index) {
  path->clear();
  std::uint32_t page = tag.root;
  const std::size_t il = tag.item_length;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    const char* node;
    FileStatus s = ReadNode(tag, page, &node);
    if (!s.ok()) return s;
    int count = static_cast<int>(Get32(node));
    std::uint32_t tail = Get32(node + kItemsOffset + count * il);
    if (tail == 0) {
      std::memcpy(leaf->data(), node, kMdxBlockSize);
      *leaf_page = page;
      *index = last ? count - 1 : 0;
      return FileStatus::Ok();
    }
    int i = last ? count : 0;
    path->push_back({page, i, count});
    page = Get32(node + kItemsOffset + i * il);
  }
  return Damaged(&tag, "the tree is deeper than any real index");
}

FileStatus MdxFile::StepLeaf(const TagState& tag, bool forward, std::vector<Level>* path,
                             Block* leaf, std::uint32_t* leaf_page, bool* end) {
  const std::size_t il = tag.item_length;
  int level = static_cast<int>(path->size()) - 1;
  while (level >= 0 && (forward ? (*path)[level].index >= (*path)[level].count
                                : (*path)[level].index <= 0)) {
    --level;
  }
  if (level < 0) {
    *end = true;
    return FileStatus::Ok();
  }
  *end = false;
  path->resize(static_cast<std::size_t>(level) + 1);
  Level& turn = path->back();
  turn.index += forward ? 1 : -1;
  const char* node;
  FileStatus s = ReadNode(tag, turn.page, &node);
  if (!s.ok()) return s;
  if (static_cast<int>(Get32(node)) != turn.count) {
    return Damaged(&tag, "page " + std::to_string(turn.page) + " changed during a move");
  }
  std::uint32_t page = Get32(node + kItemsOffset + turn.index * il);
  while (static_cast<int>(path->size()) <= kMaxDepth) {
    s = ReadNode(tag, page, &node);
    if (!s.ok()) return s;
    int count = static_cast<int>(Get32(node));
    std::uint32_t tail = Get32(node + kItemsOffset + count * il);
    if (tail == 0) {
      std::memcpy(leaf->data(), node, kMdxBlockSize);
      *leaf_page = page;
      return FileStatus::Ok();
    }
    int i = forward ? 0 : count;
    path->push_back({page, i, count});
    page = Get32(node + kItemsOffset + i * il);
  }
  return Damaged(&tag, "the tree is deeper than any real index");
}

FileStatus MdxFile::Contains(std::size_t index, std::string_view key, bool* found,
                             RecordNumber* record) {
  *found = false;
  if (index >= tags_.size()) return Invalid("no such tag");
  FileStatus s = RefreshTag(index);
  if (!s.ok()) return s;
  TagState& tag = tags_[index];
  if (key.size() != tag.info.key_length) return Invalid("key of the wrong length");
  std::vector<Level> path;
  Block leaf;
  std::uint32_t page;
  int pos;
  s = Descend(tag, key, Bound::kLower, &path, &leaf, &page, &pos);
  for (int guard = 0; s.ok() && guard <= static_cast<int>(pages_in_file_); ++guard) {
    if (pos < static_cast<int>(Get32(leaf.data()))) {
      const char* item = leaf.data() + kItemsOffset + pos * tag.item_length;
      if (CompareStored(tag, std::string_view(item + 4, tag.info.key_length), key) == 0) {
        *found = true;
        if (record != nullptr) *record = Get32(item);
      }
      return FileStatus::Ok();
    }
    bool end;
    s = StepLeaf(tag, true, &path, &leaf, &page, &end);
    if (s.ok() && end) return s;
    pos = 0;
  }
  return s;
}

// --- Changing ----------------------------------------------------------------------

FileStatus MdxFile::Insert(std::size_t index, std::string_view key, RecordNumber record) {
  if (index >= tags_.size()) return Invalid("no such tag");
  TagState& tag = tags_[index];
  if (key.size() != tag.info.key_length) return Invalid("key of the wrong length");
  if (record == 0) return Invalid("record number 0");
  FileStatus s = PrepareChange(index);
  if (!s.ok()) return s;
  const std::size_t il = tag.item_length;
  const std::size_t kl = tag.info.key_length;
  const int capacity = tag.keys_per_node;
  std::vector<Level> path;
  Block node;
  std::uint32_t page;
  int pos;
  s = Descend(tag, key, Bound::kUpper, &path, &node, &page, &pos);
  if (!s.ok()) return s;

  Block item{};
  Put32(item.data(), record);
  std::memcpy(item.data() + 4, key.data(), kl);
  std::vector<char> items;
  int level = static_cast<int>(path.size());
  while (true) {
    const bool leaf = level == static_cast<int>(path.size());
    int count = static_cast<int>(Get32(node.data()));
    char* base = node.data() + kItemsOffset;
    if (count < capacity) {
      std::memmove(base + (pos + 1) * il, base + pos * il, (count - pos) * il + 4);
      std::memcpy(base + pos * il, item.data(), il);
      Put32(node.data(), static_cast<std::uint32_t>(count + 1));
      s = WriteNode(page, node.data());
      break;
    }
    // Split. Appending at the end leaves the left node full, which keeps
    // the nodes of a tag that grows at its end (dates, numbers) packed.
    std::uint32_t tail = Get32(base + count * il);
    int total = count + 1;
    items.resize(static_cast<std::size_t>(total) * il);
    std::memcpy(items.data(), base, pos * il);
    std::memcpy(items.data() + pos * il, item.data(), il);
    std::memcpy(items.data() + (pos + 1) * il, base + pos * il, (count - pos) * il);
    int left_count = pos == count ? count : total / 2;
    std::uint32_t left_page;
    s = AllocateBlock(&left_page);
    if (!s.ok()) return s;
    Block left{};
    Block right{};
    int right_count = total - left_count;
    if (leaf) {
      Put32(left.data(), static_cast<std::uint32_t>(left_count));
      std::memcpy(left.data() + kItemsOffset, items.data(), left_count * il);
    } else {
      Put32(left.data(), static_cast<std::uint32_t>(left_count - 1));
      std::memcpy(left.data() + kItemsOffset, items.data(), (left_count - 1) * il);
      Put32(left.data() + kItemsOffset + (left_count - 1) * il,
            Get32(items.data() + (left_count - 1) * il));
    }
    Put32(right.data(), static_cast<std::uint32_t>(right_count));
    std::memcpy(right.data() + kItemsOffset, items.data() + left_count * il, right_count * il);
    Put32(right.data() + kItemsOffset + right_count * il, tail);
    s = WriteNode(left_page, left.data());
    if (s.ok()) s = WriteNode(page, right.data());
    if (!s.ok()) return s;
    // The parent gains (left page, highest key of the left part).
    std::memset(item.data(), 0, il);
    Put32(item.data(), left_page);
    std::memcpy(item.data() + 4, items.data() + (left_count - 1) * il + 4, kl);
    if (level == 0) {
      std::uint32_t root_page;
      s = AllocateBlock(&root_page);
      if (!s.ok()) return s;
      Block root{};
      Put32(root.data(), 1);
      std::memcpy(root.data() + kItemsOffset, item.data(), il);
      Put32(root.data() + kItemsOffset + il, page);
      s = WriteNode(root_page, root.data());
      if (!s.ok()) return s;
      tag.root = root_page;
      break;
    }
    --level;
    page = path[level].page;
    pos = path[level].index;
    const char* data;
    s = ReadNode(tag, page, &data);
    if (!s.ok()) return s;
    std::memcpy(node.data(), data, kMdxBlockSize);
  }
  if (!s.ok()) return s;
  tag.header[kHasKeysOffset] = 1;
  return FinishChange();
}

FileStatus MdxFile::FixSeparators(TagState& tag, const std::vector<Level>& path, int level,
                                  std::string_view highest) {
  for (int l = level; l >= 0; --l) {
    const char* data;
    FileStatus s = ReadNode(tag, path[l].page, &data);
    if (!s.ok()) return s;
    int count = static_cast<int>(Get32(data));
    if (path[l].index < count) {
      Block node;
      std::memcpy(node.data(), data, kMdxBlockSize);
      std::memcpy(node.data() + kItemsOffset + path[l].index * tag.item_length + 4,
                  highest.data(), tag.info.key_length);
      return WriteNode(path[l].page, node.data());
    }
    // The child was the rightmost: this node's highest key changed too.
  }
  return FileStatus::Ok();
}

FileStatus MdxFile::RemoveChild(TagState& tag, std::vector<Level>& path, int level) {
  const std::size_t il = tag.item_length;
  const std::size_t kl = tag.info.key_length;
  const char* data;
  FileStatus s = ReadNode(tag, path[level].page, &data);
  if (!s.ok()) return s;
  Block node;
  std::memcpy(node.data(), data, kMdxBlockSize);
  char* base = node.data() + kItemsOffset;
  int count = static_cast<int>(Get32(node.data()));
  int child = path[level].index;
  std::string highest;  // set when this node's highest key changed
  if (child < count) {
    std::memmove(base + child * il, base + (child + 1) * il, (count - child - 1) * il + 4);
    --count;
    std::memset(base + count * il + 4, 0, il);
  } else {
    if (count == 0) {  // its only child is gone
      if (level == 0) {
        Block empty{};
        tag.header[kHasKeysOffset] = 0;
        return WriteNode(path[0].page, empty.data());
      }
      s = FreeBlock(path[level].page);
      if (!s.ok()) return s;
      return RemoveChild(tag, path, level - 1);
    }
    std::uint32_t new_tail = Get32(base + (count - 1) * il);
    highest.assign(base + (count - 1) * il + 4, kl);
    --count;
    std::memset(base + count * il, 0, 2 * il);
    Put32(base + count * il, new_tail);
  }
  Put32(node.data(), static_cast<std::uint32_t>(count));
  if (count == 0) {
    // One child left: it takes this node's place.
    std::uint32_t only = Get32(base);
    if (level == 0) {
      tag.root = only;
    } else {
      s = ReadNode(tag, path[level - 1].page, &data);
      if (!s.ok()) return s;
      Block parent;
      std::memcpy(parent.data(), data, kMdxBlockSize);
      Put32(parent.data() + kItemsOffset + path[level - 1].index * il, only);
      s = WriteNode(path[level - 1].page, parent.data());
      if (!s.ok()) return s;
    }
    s = FreeBlock(path[level].page);
  } else {
    s = WriteNode(path[level].page, node.data());
  }
  if (s.ok() && !highest.empty() && level > 0) s = FixSeparators(tag, path, level - 1, highest);
  return s;
}

FileStatus MdxFile::Remove(std::size_t index, std::string_view key, RecordNumber record,
                           bool* found) {
  *found = false;
  if (index >= tags_.size()) return Invalid("no such tag");
  TagState& tag = tags_[index];
  if (key.size() != tag.info.key_length) return Invalid("key of the wrong length");
  FileStatus s = PrepareChange(index);
  if (!s.ok()) return s;
  const std::size_t il = tag.item_length;
  const std::size_t kl = tag.info.key_length;
  std::vector<Level> path;
  Block node;
  std::uint32_t page;
  int pos;
  s = Descend(tag, key, Bound::kLower, &path, &node, &page, &pos);
  // Equal keys may be stored in any record order: look at all of them.
  while (s.ok()) {
    int count = static_cast<int>(Get32(node.data()));
    if (pos >= count) {
      bool end;
      s = StepLeaf(tag, true, &path, &node, &page, &end);
      if (!s.ok() || end) break;
      pos = 0;
      continue;
    }
    const char* item = node.data() + kItemsOffset + pos * il;
    if (CompareStored(tag, std::string_view(item + 4, kl), key) != 0) break;
    if (Get32(item) == record) {
      *found = true;
      break;
    }
    ++pos;
  }
  if (!s.ok()) return s;
  if (!*found) return FinishChange();

  char* base = node.data() + kItemsOffset;
  int count = static_cast<int>(Get32(node.data()));
  std::memmove(base + pos * il, base + (pos + 1) * il, (count - pos - 1) * il + 4);
  --count;
  std::memset(base + count * il + 4, 0, il);
  Put32(node.data(), static_cast<std::uint32_t>(count));
  if (count > 0 || path.empty()) {
    s = WriteNode(page, node.data());
    if (s.ok() && count > 0 && pos == count && !path.empty()) {
      s = FixSeparators(tag, path, static_cast<int>(path.size()) - 1,
                        std::string_view(base + (count - 1) * il + 4, kl));
    }
    if (count == 0) tag.header[kHasKeysOffset] = 0;
  } else {
    s = FreeBlock(page);
    if (s.ok()) s = RemoveChild(tag, path, static_cast<int>(path.size()) - 1);
  }
  if (!s.ok()) return s;
  return FinishChange();
}

// --- Tags ----------------------------------------------------------------------------

FileStatus MdxFile::AddTag(const MdxTagContent& content) {
  if (read_only()) return FileStatus::Error(kErrorWrite, path() + ": the index file is read-only");
  FileStatus s = ValidateInfo(content.info);
  if (!s.ok()) return s;
  if (content.keys.size() != content.records.size() * content.info.key_length) {
    return Invalid("tag " + content.info.name + ": keys and records disagree");
  }
  if (FindTag(content.info.name)) return Invalid("tag " + content.info.name + " exists");
  if (tags_.size() >= kMdxMaxTags) return Invalid("an index file holds at most 47 tags");
  s = FlushDirty();
  if (!s.ok()) return s;
  s = ReadHeaderFields();
  if (!s.ok()) return s;
  std::uint32_t header_page;
  s = AllocateBlock(&header_page);
  if (!s.ok()) return s;
  std::uint64_t length = 0;
  if (!file_.Length(length).ok()) return Damaged(nullptr, "cannot read the file length");
  std::uint32_t first = std::max<std::uint32_t>(
      pages_in_file_, static_cast<std::uint32_t>((length + kMdxBlockSize - 1) / kMdxBlockSize *
                                                 kBlockPages));
  std::vector<char> blocks;
  std::uint32_t root = LayOutTree(content, first, blocks);
  platform::Status st = file_.WriteAt(PageOffset(first), blocks);
  if (!st.ok()) return IoError(kErrorWrite, path(), st);
  pages_in_file_ = first + static_cast<std::uint32_t>(blocks.size() / kMdxPageSize);

  TagState tag;
  tag.info = content.info;
  tag.info.name = UpperCase(tag.info.name);
  tag.header_page = header_page;
  tag.root = root;
  tag.item_length = ItemLength(tag.info.key_length);
  tag.keys_per_node = KeysPerNode(tag.item_length);
  FillTagHeader(tag.header.data(), tag.info, root, !content.records.empty(), 1, 1);
  s = WriteNode(header_page, tag.header.data());
  if (!s.ok()) return s;
  std::size_t slot = tags_.size();
  FillTableEntry(head_.data() + kTagTableOffset + kTagEntryLength * slot, header_page, tag.info);
  Put16(head_.data() + kTagsInUseOffset, static_cast<std::uint16_t>(slot + 1));
  LinkNameTree(head_.data(), slot + 1);
  std::uint64_t next = 1;
  for (const TagState& t : tags_) next = std::max(next, t.generation + 1);
  tag.generation = next;
  tags_.push_back(std::move(tag));
  Put32(head_.data() + kPagesOffset, pages_in_file_);
  Put32(head_.data() + kFirstFreeOffset, first_free_);
  Put32(head_.data() + kFreeBlocksOffset, free_blocks_);
  PutToday(head_.data() + kUpdatedOffset);
  st = file_.WriteAt(0, head_);
  if (!st.ok()) return IoError(kErrorWrite, path(), st);
  head_dirty_ = false;
  if (!exclusive_) head_fresh_ = false;
  return FileStatus::Ok();
}

FileStatus MdxFile::CollectPages(const TagState& tag, std::uint32_t page, int depth,
                                 std::vector<std::uint32_t>* pages) {
  if (depth > kMaxDepth) return Damaged(&tag, "the tree is deeper than any real index");
  if (std::find(pages->begin(), pages->end(), page) != pages->end()) {
    return Damaged(&tag, "page " + std::to_string(page) + " is reached twice");
  }
  const char* data;
  FileStatus s = ReadNode(tag, page, &data);
  if (!s.ok()) return s;
  pages->push_back(page);
  Block node;
  std::memcpy(node.data(), data, kMdxBlockSize);
  int count = static_cast<int>(Get32(node.data()));
  if (Get32(node.data() + kItemsOffset + count * tag.item_length) == 0) return s;
  for (int i = 0; i <= count && s.ok(); ++i) {
    s = CollectPages(tag, Get32(node.data() + kItemsOffset + i * tag.item_length), depth + 1,
                     pages);
  }
  return s;
}

FileStatus MdxFile::RemoveTag(std::size_t index) {
  if (index >= tags_.size()) return Invalid("no such tag");
  FileStatus s = PrepareChange(index);
  if (!s.ok()) return s;
  TagState& tag = tags_[index];
  std::vector<std::uint32_t> pages;
  // A damaged tree is left where it lies rather than freeing pages that
  // may belong to another tag.
  if (CollectPages(tag, tag.root, 0, &pages).ok()) {
    for (std::uint32_t page : pages) {
      s = FreeBlock(page);
      if (!s.ok()) return s;
    }
  }
  s = FreeBlock(tag.header_page);
  if (!s.ok()) return s;
  char* table = head_.data() + kTagTableOffset;
  std::size_t count = tags_.size();
  std::memmove(table + kTagEntryLength * index, table + kTagEntryLength * (index + 1),
               kTagEntryLength * (count - index - 1));
  std::memset(table + kTagEntryLength * (count - 1), 0, kTagEntryLength);
  Put16(head_.data() + kTagsInUseOffset, static_cast<std::uint16_t>(count - 1));
  LinkNameTree(head_.data(), count - 1);
  tags_.erase(tags_.begin() + static_cast<std::ptrdiff_t>(index));
  Put32(head_.data() + kPagesOffset, pages_in_file_);
  Put32(head_.data() + kFirstFreeOffset, first_free_);
  Put32(head_.data() + kFreeBlocksOffset, free_blocks_);
  PutToday(head_.data() + kUpdatedOffset);
  platform::Status st = file_.WriteAt(0, head_);
  if (!st.ok()) return IoError(kErrorWrite, path(), st);
  head_dirty_ = false;
  return FinishChange();
}

// --- Checking ------------------------------------------------------------------------

FileStatus MdxFile::CheckNode(const TagState& tag, std::uint32_t page, int depth,
                              int* leaf_depth, std::vector<bool>* seen, std::string* last_key,
                              bool* have_last, std::string* highest) {
  const std::string where = "page " + std::to_string(page);
  if (depth > kMaxDepth) return Damaged(&tag, "the tree is deeper than any real index");
  const char* data;
  FileStatus s = ReadNode(tag, page, &data);
  if (!s.ok()) return s;
  if (seen->size() < pages_in_file_) seen->resize(pages_in_file_, false);
  if ((*seen)[page]) return Damaged(&tag, where + " is reached twice");
  (*seen)[page] = true;
  Block node;
  std::memcpy(node.data(), data, kMdxBlockSize);
  const std::size_t il = tag.item_length;
  const std::size_t kl = tag.info.key_length;
  const int direction = tag.info.descending ? -1 : 1;
  int count = static_cast<int>(Get32(node.data()));
  const char* base = node.data() + kItemsOffset;
  if (Get32(base + count * il) == 0) {
    if (*leaf_depth < 0) *leaf_depth = depth;
    if (*leaf_depth != depth) return Damaged(&tag, where + ": leaves at different depths");
    if (count == 0 && depth > 0) return Damaged(&tag, where + ": empty leaf below the root");
    for (int i = 0; i < count; ++i) {
      std::string_view key(base + i * il + 4, kl);
      if (Get32(base + i * il) == 0) {
        return Damaged(&tag, where + ": record number 0 in key " + std::to_string(i));
      }
      if (*have_last) {
        int c = direction * CompareKeys(tag.info.key_type, *last_key, key);
        if (c > 0 || (c == 0 && tag.info.unique)) {
          return Damaged(&tag, where + ": key " + std::to_string(i) + " out of order");
        }
      }
      last_key->assign(key);
      *have_last = true;
    }
    if (count > 0) highest->assign(base + (count - 1) * il + 4, kl);
    return FileStatus::Ok();
  }
  for (int i = 0; i <= count; ++i) {
    std::string child_highest;
    s = CheckNode(tag, Get32(base + i * il), depth + 1, leaf_depth, seen, last_key, have_last,
                  &child_highest);
    if (!s.ok()) return s;
    if (i < count &&
        CompareKeys(tag.info.key_type, std::string_view(base + i * il + 4, kl), child_highest) != 0) {
      return Damaged(&tag, where + ": key " + std::to_string(i) +
                               " is not the highest key of its child");
    }
    if (i == count) *highest = child_highest;
  }
  return FileStatus::Ok();
}

FileStatus MdxFile::Check(std::size_t index) {
  if (index >= tags_.size()) return Invalid("no such tag");
  FileStatus s = RefreshTag(index);
  if (!s.ok()) return s;
  int leaf_depth = -1;
  std::vector<bool> seen;
  std::string last_key, highest;
  bool have_last = false;
  return CheckNode(tags_[index], tags_[index].root, 0, &leaf_depth, &seen, &last_key, &have_last,
                   &highest);
}

FileStatus MdxFile::CheckAll() {
  for (std::size_t i = 0; i < tags_.size(); ++i) {
    FileStatus s = Check(i);
    if (!s.ok()) return s;
  }
  return FileStatus::Ok();
}

// --- Cursor ----------------------------------------------------------------------------

MdxCursor::MdxCursor(MdxFile& file, std::size_t tag) : file_(file), tag_(tag) {}

int MdxCursor::Fail(FileStatus status) {
  valid_ = false;
  status_ = std::move(status);
  return status_.code;
}

RecordNumber MdxCursor::record() const {
  if (!valid_) return 0;
  return Get32(leaf_.data() + kItemsOffset + index_ * file_.tags_[tag_].item_length);
}

RecordNumber MdxCursor::RecordAhead(int ahead) const {
  if (!valid_) return 0;
  const int at = index_ + ahead;
  if (at < 0 || at >= static_cast<int>(Get32(leaf_.data()))) return 0;
  return Get32(leaf_.data() + kItemsOffset + at * file_.tags_[tag_].item_length);
}

std::string_view MdxCursor::key() const {
  if (!valid_) return {};
  const auto& tag = file_.tags_[tag_];
  return std::string_view(leaf_.data() + kItemsOffset + index_ * tag.item_length + 4,
                          tag.info.key_length);
}

// Moves forward over empty leaves until the cursor stands on an entry.
int MdxCursor::SettleForward() {
  const auto& tag = file_.tags_[tag_];
  for (std::uint32_t guard = 0; guard <= file_.pages_in_file_; ++guard) {
    if (index_ >= 0 && index_ < static_cast<int>(Get32(leaf_.data()))) {
      valid_ = true;
      generation_ = file_.generation(tag_);
      return kSuccess;
    }
    bool end;
    FileStatus s = file_.StepLeaf(tag, true, &path_, &leaf_, &leaf_page_, &end);
    if (!s.ok()) return Fail(std::move(s));
    if (end) {
      valid_ = false;
      return kEndOfFile;
    }
    index_ = 0;
  }
  return Fail(file_.Damaged(&tag, "endless chain of empty leaves"));
}

int MdxCursor::Revalidate(bool* moved) {
  *moved = false;
  if (tag_ >= file_.tags_.size()) return Fail(Invalid("no such tag"));
  FileStatus s = file_.RefreshTag(tag_);
  if (!s.ok()) return Fail(std::move(s));
  if (!valid_ || generation_ == file_.generation(tag_)) return kSuccess;
  saved_key_.assign(key());
  saved_record_ = record();
  int result = SeekEntry(saved_key_, saved_record_);
  if (result < 0) return result;
  *moved = result != kSuccess;
  return kSuccess;
}

int MdxCursor::First() {
  bool moved;
  int r = Revalidate(&moved);
  if (r < 0) return r;
  FileStatus s = file_.DescendEdge(file_.tags_[tag_], false, &path_, &leaf_, &leaf_page_, &index_);
  if (!s.ok()) return Fail(std::move(s));
  return SettleForward();
}

int MdxCursor::Last() {
  bool moved;
  int r = Revalidate(&moved);
  if (r < 0) return r;
  const auto& tag = file_.tags_[tag_];
  FileStatus s = file_.DescendEdge(tag, true, &path_, &leaf_, &leaf_page_, &index_);
  if (!s.ok()) return Fail(std::move(s));
  for (std::uint32_t guard = 0; guard <= file_.pages_in_file_; ++guard) {
    if (index_ >= 0) {
      valid_ = true;
      generation_ = file_.generation(tag_);
      return kSuccess;
    }
    bool end;
    s = file_.StepLeaf(tag, false, &path_, &leaf_, &leaf_page_, &end);
    if (!s.ok()) return Fail(std::move(s));
    if (end) {
      valid_ = false;
      return kEndOfFile;  // an empty tag
    }
    index_ = static_cast<int>(Get32(leaf_.data())) - 1;
  }
  return Fail(file_.Damaged(&tag, "endless chain of empty leaves"));
}

int MdxCursor::Next() {
  if (!valid_) return kEndOfFile;
  bool moved;
  int r = Revalidate(&moved);
  if (r < 0) return r;
  if (!valid_) return kEndOfFile;
  if (!moved) ++index_;
  return SettleForward();
}

int MdxCursor::Previous() {
  if (!valid_) return kBeginningOfFile;
  bool moved;
  int r = Revalidate(&moved);
  if (r < 0) return r;
  if (!valid_) {
    // The entry and everything after it went away: the last one is before.
    r = Last();
    return r == kEndOfFile ? kBeginningOfFile : r;
  }
  const auto& tag = file_.tags_[tag_];
  --index_;
  for (std::uint32_t guard = 0; guard <= file_.pages_in_file_; ++guard) {
    if (index_ >= 0) {
      generation_ = file_.generation(tag_);
      return kSuccess;
    }
    bool end;
    FileStatus s = file_.StepLeaf(tag, false, &path_, &leaf_, &leaf_page_, &end);
    if (!s.ok()) return Fail(std::move(s));
    if (end) {
      valid_ = false;
      return kBeginningOfFile;
    }
    index_ = static_cast<int>(Get32(leaf_.data())) - 1;
  }
  return Fail(file_.Damaged(&tag, "endless chain of empty leaves"));
}

int MdxCursor::Seek(std::string_view key) {
  if (tag_ >= file_.tags_.size()) return Fail(Invalid("no such tag"));
  FileStatus s = file_.RefreshTag(tag_);
  if (!s.ok()) return Fail(std::move(s));
  const auto& tag = file_.tags_[tag_];
  if (tag.info.key_type != KeyType::kCharacter && key.size() != tag.info.key_length) {
    return Fail(Invalid("seek key of the wrong length"));
  }
  s = file_.Descend(tag, key, MdxFile::Bound::kLowerPrefix, &path_, &leaf_, &leaf_page_, &index_);
  if (!s.ok()) return Fail(std::move(s));
  int r = SettleForward();
  if (r != kSuccess) return r;
  return CompareSearchKey(tag.info.key_type, key, this->key()) == 0 ? kSuccess : kKeyNotFound;
}

int MdxCursor::SeekEntry(std::string_view key, RecordNumber record) {
  if (tag_ >= file_.tags_.size()) return Fail(Invalid("no such tag"));
  FileStatus s = file_.RefreshTag(tag_);
  if (!s.ok()) return Fail(std::move(s));
  const auto& tag = file_.tags_[tag_];
  if (key.size() != tag.info.key_length) return Fail(Invalid("key of the wrong length"));
  s = file_.Descend(tag, key, MdxFile::Bound::kLower, &path_, &leaf_, &leaf_page_, &index_);
  if (!s.ok()) return Fail(std::move(s));
  while (true) {
    int r = SettleForward();
    if (r != kSuccess) return r == kEndOfFile ? kKeyNotFound : r;
    if (CompareKeys(tag.info.key_type, this->key(), key) != 0) return kKeyNotFound;
    if (this->record() == record) return kSuccess;
    ++index_;
  }
}

double MdxCursor::Position() const {
  if (!valid_) return 1.0;
  double position = 0.0;
  double scale = 1.0;
  for (const MdxFile::Level& level : path_) {
    double children = level.count + 1.0;
    position += scale * level.index / children;
    scale /= children;
  }
  int count = static_cast<int>(Get32(leaf_.data()));
  if (count > 0) position += scale * index_ / count;
  return std::clamp(position, 0.0, 1.0);
}

int MdxCursor::SetPosition(double fraction) {
  bool moved;
  int r = Revalidate(&moved);
  if (r < 0) return r;
  const auto& tag = file_.tags_[tag_];
  fraction = std::clamp(fraction, 0.0, 1.0);
  path_.clear();
  std::uint32_t page = tag.root;
  const std::size_t il = tag.item_length;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    const char* node;
    FileStatus s = file_.ReadNode(tag, page, &node);
    if (!s.ok()) return Fail(std::move(s));
    int count = static_cast<int>(Get32(node));
    if (Get32(node + kItemsOffset + count * il) == 0) {
      std::memcpy(leaf_.data(), node, kMdxBlockSize);
      leaf_page_ = page;
      index_ = std::min(count - 1, static_cast<int>(fraction * count));
      if (index_ < 0) index_ = 0;
      return SettleForward();
    }
    int children = count + 1;
    int i = std::min(children - 1, static_cast<int>(fraction * children));
    fraction = fraction * children - i;
    path_.push_back({page, i, count});
    page = Get32(node + kItemsOffset + i * il);
  }
  return Fail(file_.Damaged(&tag, "the tree is deeper than any real index"));
}

}  // namespace qm::engine
