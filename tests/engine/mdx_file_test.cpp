#include "engine/mdx_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_paths.h"

namespace qm::engine {
namespace {

using Entry = std::pair<std::string, RecordNumber>;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::unique_ptr<MdxFile> OpenOrDie(const std::string& path) {
  std::unique_ptr<MdxFile> file;
  FileStatus s = MdxFile::Open(path, &file);
  EXPECT_TRUE(s.ok()) << s.text;
  return file;
}

std::vector<Entry> ListTag(MdxFile& file, std::size_t tag) {
  std::vector<Entry> out;
  MdxCursor cursor(file, tag);
  for (int r = cursor.First(); r == 0; r = cursor.Next()) {
    out.emplace_back(std::string(cursor.key()), cursor.record());
  }
  EXPECT_TRUE(cursor.status().ok()) << cursor.status().text;
  return out;
}

std::vector<RecordNumber> Records(const std::vector<Entry>& entries) {
  std::vector<RecordNumber> out;
  for (const Entry& e : entries) out.push_back(e.second);
  return out;
}

std::string NumericKeyBytes(double value) {
  std::string key(kNumericKeyLength, '\0');
  EncodeNumericKey(value, std::span<char, kNumericKeyLength>(key.data(), kNumericKeyLength));
  return key;
}

std::string Fixture(const std::string& name) {
  return qm::test::FixturePath("dbase/step7/" + name);
}

#define REQUIRE_FIXTURE(path)                                              \
  if ((path).empty()) GTEST_SKIP() << "fixtures of dbase/step7 are absent"

// --- Files written by other programs ---------------------------------------

TEST(MdxFixtureTest, EveryTagOfEveryFilePassesCheck) {
  for (const char* name : {"BAUSTEIN.MDX", "HATTRME1.MDX", "HRELATI1.MDX", "S7CONTAI.MDX",
                           "SYMLIST.MDX", "XR000001.MDX"}) {
    std::string path = Fixture(name);
    REQUIRE_FIXTURE(path);
    auto file = OpenOrDie(path);
    ASSERT_TRUE(file) << name;
    EXPECT_GT(file->tag_count(), 0u) << name;
    FileStatus s = file->CheckAll();
    EXPECT_TRUE(s.ok()) << name << ": " << s.text;
  }
}

TEST(MdxFixtureTest, TagHeadersAreRead) {
  std::string path = Fixture("XR000001.MDX");
  REQUIRE_FIXTURE(path);
  auto file = OpenOrDie(path);
  ASSERT_EQ(file->tag_count(), 4u);
  EXPECT_TRUE(file->production());
  EXPECT_EQ(file->base_name(), "XR000001");
  const MdxTagInfo& id = file->tag(0);
  EXPECT_EQ(id.name, "TAG_ID");
  EXPECT_EQ(id.key_type, KeyType::kNumeric);
  EXPECT_EQ(id.key_length, 12u);
  EXPECT_TRUE(id.unique);
  EXPECT_FALSE(id.descending);
  EXPECT_EQ(id.key_expression, "ID");
  EXPECT_EQ(id.for_expression, ".NOT. DELETED()");
  const MdxTagInfo& used = file->tag(1);
  EXPECT_EQ(used.key_expression, "OPTYPE + OPACCESS + DBNB + BYTEADR + BITADR");
  EXPECT_EQ(used.key_length, 15u);
  EXPECT_FALSE(used.unique);
  EXPECT_EQ(file->FindTag("tag_blktnu"), std::optional<std::size_t>(3));
  EXPECT_EQ(file->FindTag("NOPE"), std::nullopt);
}

TEST(MdxFixtureTest, TagsListTheirRecordsInStoredOrder) {
  struct Case {
    const char* file;
    const char* tag;
    std::vector<RecordNumber> records;
  };
  const std::vector<Case> cases = {
      // Eleven equal keys stored newest first.
      {"HRELATI1.MDX", "REL1_TAG", {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
      {"HRELATI1.MDX", "REL2_TAG", {3, 4, 2, 8, 1, 6, 5, 7, 11, 9, 10}},
      {"XR000001.MDX", "TAG_ID", {4, 3, 2, 1, 6, 5}},
      {"XR000001.MDX", "TAG_BLKTNU", {4, 3, 2, 1, 6, 5}},
      {"SYMLIST.MDX", "__USKZ", {4, 3, 2, 1}},
      {"SYMLIST.MDX", "__OPHIST", {}},  // FOR .FALSE.
      {"S7CONTAI.MDX", "ID_TAG", {}},
      {"S7CONTAI.MDX", "NAME_TAG", {}},
      {"S7CONTAI.MDX", "PATH_TAG", {}},
      {"BAUSTEIN.MDX", "ID_TAG", {1, 2}},
  };
  for (const Case& c : cases) {
    std::string path = Fixture(c.file);
    REQUIRE_FIXTURE(path);
    auto file = OpenOrDie(path);
    auto tag = file->FindTag(c.tag);
    ASSERT_TRUE(tag) << c.tag;
    EXPECT_EQ(Records(ListTag(*file, *tag)), c.records) << c.file << " " << c.tag;
  }
}

TEST(MdxFixtureTest, NumericKeysDecodeAndSeek) {
  std::string path = Fixture("XR000001.MDX");
  REQUIRE_FIXTURE(path);
  auto file = OpenOrDie(path);
  std::vector<double> values;
  for (const Entry& e : ListTag(*file, 0)) {
    values.push_back(DecodeNumericKey(
        std::span<const char, kNumericKeyLength>(e.first.data(), kNumericKeyLength)));
  }
  EXPECT_EQ(values, (std::vector<double>{1, 2, 3, 4, 5, 6}));
  MdxCursor cursor(*file, 0);
  EXPECT_EQ(cursor.Seek(NumericKeyBytes(5)), kSuccess);
  EXPECT_EQ(cursor.record(), 6u);
  EXPECT_EQ(cursor.Seek(NumericKeyBytes(4.5)), kKeyNotFound);
  EXPECT_EQ(cursor.record(), 6u);
  EXPECT_EQ(cursor.Seek(NumericKeyBytes(7)), kEndOfFile);
}

TEST(MdxFixtureTest, EmptyTagsHaveNoFirstOrLast) {
  std::string path = Fixture("S7CONTAI.MDX");
  REQUIRE_FIXTURE(path);
  auto file = OpenOrDie(path);
  MdxCursor cursor(*file, 1);
  EXPECT_EQ(cursor.First(), kEndOfFile);
  EXPECT_EQ(cursor.Last(), kEndOfFile);
  EXPECT_EQ(cursor.Seek("A"), kEndOfFile);
  EXPECT_FALSE(cursor.valid());
}

TEST(MdxFixtureTest, RemovingOneOfManyEqualKeysFindsTheRightRecord) {
  std::string source = Fixture("HRELATI1.MDX");
  REQUIRE_FIXTURE(source);
  qm::test::TempDir dir;
  std::string path = dir.File("HRELATI1.MDX");
  WriteAll(path, ReadAll(source));
  auto file = OpenOrDie(path);
  std::string key = "          1";
  bool found = false;
  ASSERT_TRUE(file->Remove(0, key, 6, &found).ok());
  EXPECT_TRUE(found);
  ASSERT_TRUE(file->Remove(0, key, 42, &found).ok());
  EXPECT_FALSE(found);
  ASSERT_TRUE(file->Insert(0, key, 12).ok());
  EXPECT_EQ(Records(ListTag(*file, 0)),
            (std::vector<RecordNumber>{11, 10, 9, 8, 7, 5, 4, 3, 2, 1, 12}));
  EXPECT_TRUE(file->CheckAll().ok());
}

TEST(MdxFixtureTest, NameTreeIsTheOneOtherWritersBuild) {
  std::string source = Fixture("SYMLIST.MDX");
  REQUIRE_FIXTURE(source);
  auto original = OpenOrDie(source);
  std::vector<MdxTagContent> tags;
  for (std::size_t i = 0; i < original->tag_count(); ++i) {
    tags.push_back({original->tag(i), {}, {}});
  }
  qm::test::TempDir dir;
  std::string path = dir.File("SYMLIST.MDX");
  ASSERT_TRUE(MdxFile::Create(path, "SYMLIST", true, tags, false).ok());
  std::string ours = ReadAll(path);
  std::string theirs = ReadAll(source);
  for (std::size_t i = 0; i < tags.size(); ++i) {
    std::size_t entry = 544 + 32 * i;
    EXPECT_EQ(ours.substr(entry + 4, 17), theirs.substr(entry + 4, 17)) << "tag " << i + 1;
  }
  // Removing a tag keeps the tree a search tree of the remaining names.
  auto file = OpenOrDie(path);
  ASSERT_TRUE(file->RemoveTag(0).ok());  // the root, __ID
  std::string after = ReadAll(path);
  // __USKZ is the new root; every other name sorts before it, each
  // before the one above it.
  const int expected_links[4][3] = {{2, 0, 0}, {3, 0, 1}, {4, 0, 2}, {0, 0, 3}};
  for (int i = 0; i < 4; ++i) {
    for (int link = 0; link < 3; ++link) {
      EXPECT_EQ(after[544 + 32 * i + 16 + link], expected_links[i][link]) << i << " " << link;
    }
  }
  EXPECT_EQ(file->tag_count(), 4u);
  EXPECT_EQ(OpenOrDie(path)->tag(0).name, "__USKZ");
}

// --- Files written here ---------------------------------------------------------

MdxTagInfo CharacterTag(std::string name, std::size_t length, bool descending = false,
                        bool unique = false) {
  MdxTagInfo info;
  info.name = std::move(name);
  info.key_expression = "NAME";
  info.key_type = KeyType::kCharacter;
  info.key_length = length;
  info.descending = descending;
  info.unique = unique;
  return info;
}

std::string Key(int value, std::size_t length = 10) {
  std::string text = std::to_string(value);
  text.insert(0, length > text.size() ? length - text.size() : 0, '0');
  return text.substr(0, length);
}

// What a tag must list: sorted by key in tag order, equal keys by record.
std::vector<Entry> Expected(std::vector<Entry> entries, bool descending) {
  std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
    if (a.first != b.first) return descending ? a.first > b.first : a.first < b.first;
    return a.second < b.second;
  });
  return entries;
}

class MdxTreeTest : public ::testing::Test {
 protected:
  std::unique_ptr<MdxFile> CreateWith(std::vector<MdxTagInfo> infos) {
    std::vector<MdxTagContent> tags;
    for (auto& info : infos) tags.push_back({info, {}, {}});
    path_ = dir_.File("T.mdx");
    FileStatus s = MdxFile::Create(path_, "T", false, tags, true);
    EXPECT_TRUE(s.ok()) << s.text;
    return OpenOrDie(path_);
  }
  qm::test::TempDir dir_;
  std::string path_;
};

TEST_F(MdxTreeTest, RandomInsertsAndRemovesKeepOrderAndStructure) {
  for (bool descending : {false, true}) {
    auto file = CreateWith({CharacterTag("K", 10, descending)});
    std::mt19937 random(descending ? 7 : 3);
    std::vector<Entry> present;
    for (RecordNumber r = 1; r <= 3000; ++r) {
      std::string key = Key(static_cast<int>(random() % 700));  // many duplicates
      ASSERT_TRUE(file->Insert(0, key, r).ok());
      present.emplace_back(key, r);
    }
    FileStatus s = file->Check(0);
    ASSERT_TRUE(s.ok()) << s.text;
    // Equal keys inserted in record order list in record order.
    EXPECT_EQ(ListTag(*file, 0), Expected(present, descending));

    std::shuffle(present.begin(), present.end(), random);
    std::vector<Entry> removed(present.begin(), present.begin() + 2000);
    present.erase(present.begin(), present.begin() + 2000);
    for (const Entry& e : removed) {
      bool found = false;
      ASSERT_TRUE(file->Remove(0, e.first, e.second, &found).ok());
      ASSERT_TRUE(found) << e.first << " " << e.second;
    }
    s = file->Check(0);
    ASSERT_TRUE(s.ok()) << s.text;
    EXPECT_EQ(ListTag(*file, 0), Expected(present, descending));
  }
}

TEST_F(MdxTreeTest, FreedPagesAreReusedBeforeTheFileGrows) {
  auto file = CreateWith({CharacterTag("K", 40)});
  for (RecordNumber r = 1; r <= 2000; ++r) ASSERT_TRUE(file->Insert(0, Key(r, 40), r).ok());
  auto size_full = std::filesystem::file_size(path_);
  for (RecordNumber r = 1; r <= 2000; ++r) {
    bool found;
    ASSERT_TRUE(file->Remove(0, Key(r, 40), r, &found).ok());
    ASSERT_TRUE(found);
  }
  EXPECT_TRUE(ListTag(*file, 0).empty());
  ASSERT_TRUE(file->Check(0).ok());
  std::string head = ReadAll(path_);
  std::uint32_t first_free;
  std::memcpy(&first_free, head.data() + 36, 4);
  EXPECT_NE(first_free, 0u);
  for (RecordNumber r = 1; r <= 2000; ++r) ASSERT_TRUE(file->Insert(0, Key(r, 40), r).ok());
  EXPECT_EQ(std::filesystem::file_size(path_), size_full);
  EXPECT_EQ(ListTag(*file, 0).size(), 2000u);
  EXPECT_TRUE(file->Check(0).ok());
}

TEST_F(MdxTreeTest, AnUpdateWritesItsPagesWhenItEnds) {
  auto file = CreateWith({CharacterTag("K", 40), CharacterTag("D", 10, true)});
  const auto empty_size = std::filesystem::file_size(path_);
  file->BeginUpdate();
  // Many more pages than the cache holds: changed pages are written when
  // they leave it, and freed pages are found again through it.
  for (RecordNumber r = 1; r <= 3000; ++r) {
    ASSERT_TRUE(file->Insert(0, Key(r, 40), r).ok());
    ASSERT_TRUE(file->Insert(1, Key(r % 97), r).ok());
  }
  for (RecordNumber r = 1; r <= 3000; r += 2) {
    bool found;
    ASSERT_TRUE(file->Remove(0, Key(r, 40), r, &found).ok());
    ASSERT_TRUE(found);
  }
  for (RecordNumber r = 1; r <= 3000; r += 2) ASSERT_TRUE(file->Insert(0, Key(r, 40), r).ok());
  EXPECT_EQ(ListTag(*file, 0).size(), 3000u);  // visible to this object at once
  EXPECT_EQ(std::filesystem::file_size(path_) >= empty_size, true);
  ASSERT_TRUE(file->EndUpdate().ok());

  auto other = OpenOrDie(path_);
  FileStatus s = other->CheckAll();
  ASSERT_TRUE(s.ok()) << s.text;
  EXPECT_EQ(ListTag(*other, 0).size(), 3000u);
  EXPECT_EQ(ListTag(*other, 1).size(), 3000u);
  EXPECT_EQ(ListTag(*other, 1).front().first, Key(96));
}

TEST_F(MdxTreeTest, BulkBuiltTreeSeeksAndMovesBothWays) {
  MdxTagContent content{CharacterTag("K", 10), {}, {}};
  std::vector<Entry> entries;
  for (RecordNumber r = 1; r <= 20000; ++r) {
    std::string key = Key(static_cast<int>(r / 2) * 2);  // even keys, each twice
    content.keys.insert(content.keys.end(), key.begin(), key.end());
    content.records.push_back(r);
    entries.emplace_back(key, r);
  }
  SortTagEntries(content.info, content.keys, content.records);
  path_ = dir_.File("B.mdx");
  ASSERT_TRUE(MdxFile::Create(path_, "B", true, {content}, false).ok());
  EXPECT_EQ(MdxFile::Create(path_, "B", true, {content}, false).code, kErrorCreate);
  auto file = OpenOrDie(path_);
  FileStatus s = file->Check(0);
  ASSERT_TRUE(s.ok()) << s.text;
  EXPECT_EQ(ListTag(*file, 0), Expected(entries, false));

  MdxCursor cursor(*file, 0);
  struct SeekCase {
    std::string key;
    int result;
    RecordNumber record;
  };
  const std::vector<SeekCase> seeks = {
      {Key(0), kSuccess, 1},         {Key(1), kKeyNotFound, 2},
      {Key(4242), kSuccess, 4242},   {Key(4243), kKeyNotFound, 4244},
      {Key(20000), kSuccess, 20000}, {Key(20001), kEndOfFile, 0},
      {"00000123", kSuccess, 12300},  // a partial key finds the first that begins so
  };
  for (const SeekCase& c : seeks) {
    EXPECT_EQ(cursor.Seek(c.key), c.result) << c.key;
    if (c.result != kEndOfFile) {
      EXPECT_EQ(cursor.record(), c.record) << c.key;
    }
  }
  // Walk back from the end across every leaf.
  ASSERT_EQ(cursor.Last(), kSuccess);
  EXPECT_EQ(cursor.record(), 20000u);
  int steps = 1;
  while (cursor.Previous() == kSuccess) ++steps;
  EXPECT_EQ(steps, 20000);
  EXPECT_EQ(cursor.Previous(), kBeginningOfFile);

  ASSERT_EQ(cursor.SetPosition(0.5), kSuccess);
  EXPECT_NEAR(cursor.Position(), 0.5, 0.02);
  EXPECT_NEAR(static_cast<double>(cursor.record()), 10000, 400);
}

TEST_F(MdxTreeTest, SortKeepsFirstRecordOfEachKeyInUniqueTags) {
  MdxTagInfo info = CharacterTag("U", 3, false, true);
  std::vector<char> keys;
  std::vector<RecordNumber> records;
  for (auto [key, r] : std::vector<std::pair<std::string, RecordNumber>>{
           {"BBB", 1}, {"AAA", 2}, {"BBB", 3}, {"AAA", 4}, {"CCC", 5}}) {
    keys.insert(keys.end(), key.begin(), key.end());
    records.push_back(r);
  }
  SortTagEntries(info, keys, records);
  EXPECT_EQ(std::string(keys.begin(), keys.end()), "AAABBBCCC");
  EXPECT_EQ(records, (std::vector<RecordNumber>{2, 1, 5}));

  info.unique = false;
  info.key_type = KeyType::kNumeric;
  info.key_length = kNumericKeyLength;
  info.descending = true;
  keys.clear();
  records.clear();
  for (double v : {1.0, -2.0, 10.0, 0.5}) {
    std::string key = NumericKeyBytes(v);
    keys.insert(keys.end(), key.begin(), key.end());
    records.push_back(static_cast<RecordNumber>(records.size() + 1));
  }
  SortTagEntries(info, keys, records);
  EXPECT_EQ(records, (std::vector<RecordNumber>{3, 1, 4, 2}));
}

TEST_F(MdxTreeTest, NumericDescendingTagOrdersByValue) {
  MdxTagInfo info;
  info.name = "AMOUNT";
  info.key_expression = "AMOUNT";
  info.key_type = KeyType::kNumeric;
  info.key_length = kNumericKeyLength;
  info.descending = true;
  auto file = CreateWith({info});
  const std::vector<double> values = {5, -1, 100, 0, 2.5, 99.99, -1000};
  for (std::size_t i = 0; i < values.size(); ++i) {
    ASSERT_TRUE(file->Insert(0, NumericKeyBytes(values[i]), static_cast<RecordNumber>(i + 1)).ok());
  }
  EXPECT_EQ(Records(ListTag(*file, 0)), (std::vector<RecordNumber>{3, 6, 1, 5, 4, 2, 7}));
  MdxCursor cursor(*file, 0);
  EXPECT_EQ(cursor.Seek(NumericKeyBytes(50)), kKeyNotFound);  // next in tag order: 5
  EXPECT_EQ(cursor.record(), 1u);
  EXPECT_TRUE(file->Check(0).ok());
}

TEST_F(MdxTreeTest, AddedTagsAppearAndTheFileReopens) {
  auto file = CreateWith({CharacterTag("FIRST", 5)});
  ASSERT_TRUE(file->Insert(0, "AAAAA", 1).ok());
  MdxTagContent second{CharacterTag("SECOND", 2), {'Z', 'Z', 'A', 'A'}, {1, 2}};
  SortTagEntries(second.info, second.keys, second.records);
  ASSERT_TRUE(file->AddTag(second).ok());
  EXPECT_FALSE(file->AddTag(second).ok());  // the name is taken
  auto reopened = OpenOrDie(path_);
  ASSERT_EQ(reopened->tag_count(), 2u);
  EXPECT_EQ(Records(ListTag(*reopened, 1)), (std::vector<RecordNumber>{2, 1}));
  EXPECT_EQ(Records(ListTag(*reopened, 0)), (std::vector<RecordNumber>{1}));
  EXPECT_TRUE(reopened->CheckAll().ok());
}

TEST_F(MdxTreeTest, CursorFindsItsPlaceAfterChanges) {
  auto file = CreateWith({CharacterTag("K", 10)});
  for (RecordNumber r = 1; r <= 500; ++r) ASSERT_TRUE(file->Insert(0, Key(r), r).ok());
  MdxCursor cursor(*file, 0);
  ASSERT_EQ(cursor.Seek(Key(250)), kSuccess);
  bool found;
  ASSERT_TRUE(file->Remove(0, Key(250), 250, &found).ok());
  ASSERT_TRUE(file->Insert(0, Key(1), 501).ok());
  EXPECT_EQ(cursor.Next(), kSuccess);  // its own entry went: the next one
  EXPECT_EQ(cursor.record(), 251u);
  EXPECT_EQ(cursor.Previous(), kSuccess);
  EXPECT_EQ(cursor.record(), 249u);
}

TEST_F(MdxTreeTest, ChangesByAnotherProcessAreSeenAtTheNextCall) {
  auto file = CreateWith({CharacterTag("K", 10)});
  for (RecordNumber r = 1; r <= 300; ++r) ASSERT_TRUE(file->Insert(0, Key(r * 2), r).ok());
  MdxCursor cursor(*file, 0);
  ASSERT_EQ(cursor.Seek(Key(101)), kKeyNotFound);  // pages now cached
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::unique_ptr<MdxFile> other;
    bool ok = MdxFile::Open(path_, &other).ok();
    for (RecordNumber r = 1; ok && r <= 300; ++r) ok = other->Insert(0, Key(r * 2 + 1), 1000 + r).ok();
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(cursor.Seek(Key(101)), kSuccess);
  EXPECT_EQ(cursor.record(), 1050u);
  EXPECT_EQ(ListTag(*file, 0).size(), 600u);
  EXPECT_TRUE(file->Check(0).ok());
}

TEST_F(MdxTreeTest, DamagedPagesGiveErrorsNotCrashes) {
  auto file = CreateWith({CharacterTag("K", 10)});
  for (RecordNumber r = 1; r <= 1000; ++r) ASSERT_TRUE(file->Insert(0, Key(r), r).ok());
  file.reset();
  const std::string good = ReadAll(path_);
  std::uint32_t header_page, root;
  std::memcpy(&header_page, good.data() + 544, 4);
  std::memcpy(&root, good.data() + header_page * 512, 4);
  ASSERT_NE(root, 0u);

  struct Damage {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
  };
  const std::vector<Damage> damages = {
      {"key count beyond a node", root * 512, 0xFFFF},
      {"child page beyond the file", root * 512 + 8, 0x7FFFFFF0},
      {"child page inside the header", root * 512 + 8, 1},
      {"root page beyond the file", header_page * 512, 0x10000},
      {"child pointing at its parent", root * 512 + 8, root},
  };
  for (const Damage& d : damages) {
    std::string bytes = good;
    std::memcpy(bytes.data() + d.offset, &d.value, 4);
    WriteAll(path_, bytes);
    auto damaged = OpenOrDie(path_);
    ASSERT_TRUE(damaged) << d.what;
    FileStatus s = damaged->Check(0);
    EXPECT_EQ(s.code, kErrorIndex) << d.what << ": " << s.text;
    MdxCursor cursor(*damaged, 0);
    int first = cursor.First();
    int moves = 0;
    while (first == kSuccess && cursor.Next() == kSuccess && moves < 5000) ++moves;
    EXPECT_LT(moves, 5000) << d.what;
    EXPECT_LE(cursor.Seek(Key(500)), kEndOfFile) << d.what;
    bool found;
    (void)damaged->Remove(0, Key(500), 500, &found);
    (void)damaged->Insert(0, Key(500), 1001);
  }
  // A truncated or foreign file is refused when opening.
  WriteAll(path_, good.substr(0, 100));
  std::unique_ptr<MdxFile> none;
  EXPECT_EQ(MdxFile::Open(path_, &none).code, kErrorIndex);
  std::string wrong = good;
  wrong[0] = 3;
  WriteAll(path_, wrong);
  EXPECT_EQ(MdxFile::Open(path_, &none).code, kErrorIndex);
  // A page count beyond the end of the file would size checks by it and
  // place the next new block far past the end.
  std::string overcounted = good;
  const std::uint32_t pages = 0x40000000;
  std::memcpy(overcounted.data() + 32, &pages, 4);
  WriteAll(path_, overcounted);
  EXPECT_EQ(MdxFile::Open(path_, &none).code, kErrorIndex);
}

}  // namespace
}  // namespace qm::engine
