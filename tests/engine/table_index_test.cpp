// Tables with index files: tag order, seeks, upkeep on every change, unique
// modes, packing, and an index that a crash left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/raw_file.h"
#include "engine/table.h"
#include "engine/table_index.h"
#include "tests/support/test_paths.h"

namespace qm::engine {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Trim(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

const std::vector<FieldSpec> kFields = {
    {"NAME", 'C', 8, 0}, {"HOURS", 'N', 6, 1}, {"DAY", 'D', 8, 0}, {"CLIENT", 'C', 6, 0}};

class TableIndexTest : public ::testing::Test {
 protected:
  TableIndexTest() {
    engine_.SetErrorHook([this](int code, int, std::string_view a, std::string_view b,
                                std::string_view) {
      errors_.push_back(std::to_string(code) + " " + std::string(a) + " " + std::string(b));
    });
  }

  std::string Path() const { return dir_.File("work.dbf"); }

  std::unique_ptr<Table> Create(const std::vector<TagSpec>& tags) {
    std::unique_ptr<Table> table = Table::Create(engine_, Path(), kFields, tags);
    EXPECT_NE(table, nullptr);
    return table;
  }

  // Appends (name, hours, day "CCYYMMDD", client); the result of Append.
  static int Add(Table& table, const std::string& name, double hours = 0,
                 const std::string& day = "20240101", const std::string& client = "ACME") {
    EXPECT_EQ(table.AppendStart(), 0);
    table.Blank();
    table.FieldByName("NAME")->AssignText(name);
    table.FieldByName("HOURS")->AssignNumber(hours, 1);
    table.FieldByName("DAY")->AssignText(day);
    table.FieldByName("CLIENT")->AssignText(client);
    return table.Append();
  }

  static std::string Name(Table& table) { return Trim(table.FieldByName("NAME")->Text()); }

  // The names in the selected order, from Top to the end.
  static std::vector<std::string> Walk(Table& table) {
    std::vector<std::string> names;
    for (int r = table.Top(); r == 0; r = table.Skip(1)) names.push_back(Name(table));
    return names;
  }
  static std::vector<std::string> WalkBack(Table& table) {
    std::vector<std::string> names;
    for (int r = table.Bottom(); r == 0; r = table.Skip(-1)) names.push_back(Name(table));
    return names;
  }

  static void Select(Table& table, const std::string& tag) {
    std::optional<Tag> found = table.TagByName(tag);
    ASSERT_TRUE(found.has_value()) << tag;
    ASSERT_EQ(table.SelectTag(found), 0);
  }

  static void ExpectConsistent(Table& table) {
    for (const std::string& name : {std::string(), std::string()}) {
      IndexFile* index = table.FindIndexFile(name);
      ASSERT_NE(index, nullptr);
      FileStatus checked = index->Check(table);
      EXPECT_TRUE(checked.ok()) << checked.text;
    }
  }

  test::TempDir dir_;
  TableEngine engine_;
  std::vector<std::string> errors_;
};

const TagSpec kByName = {"BYNAME", "NAME", "", 0, kAscending};
const TagSpec kLive = {"LIVE", "UPPER(CLIENT)+NAME", ".NOT. DELETED()", 0, kAscending};

TEST_F(TableIndexTest, CreatedProductionIndexMarksTheHeaderAndOpensWithTheTable) {
  {
    std::unique_ptr<Table> table = Create({kByName, kLive});
    ASSERT_EQ(Add(*table, "b"), 0);
    ASSERT_EQ(Add(*table, "a"), 0);
  }
  const std::string bytes = ReadAll(Path());
  EXPECT_EQ(bytes[28], 1);
  EXPECT_EQ(bytes[32 + 31], 1) << "NAME alone is the key of BYNAME";
  EXPECT_EQ(bytes[32 + 32 + 31], 0);
  EXPECT_FALSE(ReadAll(dir_.File("work.mdx")).empty());

  std::unique_ptr<Table> table = Table::Open(engine_, Path());
  ASSERT_NE(table, nullptr);
  ASSERT_NE(table->FindIndexFile(""), nullptr);
  EXPECT_EQ(table->SelectedTag(), std::nullopt);
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"b", "a"}));
  Select(*table, "byname");
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"a", "b"}));
  ExpectConsistent(*table);
}

TEST_F(TableIndexTest, WithoutAutoOpenTheIndexStaysClosed) {
  { Create({kByName}); }
  engine_.settings().auto_open = false;
  std::unique_ptr<Table> table = Table::Open(engine_, Path());
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->FindIndexFile(""), nullptr);
  engine_.settings().field_name_errors = false;
  EXPECT_EQ(table->TagByName("BYNAME"), std::nullopt);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(TableIndexTest, MissingOrDamagedProductionIndexFailsTheOpen) {
  { Create({kByName}); }
  {
    std::ofstream damage(dir_.File("work.mdx"), std::ios::binary | std::ios::trunc);
    damage << "not an index";
  }
  EXPECT_EQ(Table::Open(engine_, Path()), nullptr);
  EXPECT_EQ(engine_.error_code(), kErrorIndex);
  std::remove(dir_.File("work.mdx").c_str());
  engine_.ResetError();
  EXPECT_EQ(Table::Open(engine_, Path()), nullptr);
  EXPECT_EQ(engine_.error_code(), kErrorOpen);
  // And a table that cannot open leaves no lock behind.
  engine_.settings().auto_open = false;
  engine_.settings().access_mode = AccessMode::kExclusive;
  EXPECT_NE(Table::Open(engine_, Path()), nullptr);
}

TEST_F(TableIndexTest, ProductionIndexIsFoundWithoutRegardToCase) {
  { Create({kByName}); }
  ASSERT_EQ(std::rename(dir_.File("work.mdx").c_str(), dir_.File("WORK.MDX").c_str()), 0);
  std::unique_ptr<Table> table = Table::Open(engine_, Path());
  ASSERT_NE(table, nullptr);
  EXPECT_NE(table->TagByName("BYNAME"), std::nullopt);
}

TEST_F(TableIndexTest, MovesSkipsAndSeeksFollowTheSelectedTag) {
  std::unique_ptr<Table> table = Create({kByName});
  for (const char* name : {"delta", "alpha", "echo", "charlie", "bravo"}) ASSERT_EQ(Add(*table, name), 0);
  Select(*table, "BYNAME");

  EXPECT_EQ(WalkBack(*table), (std::vector<std::string>{"echo", "delta", "charlie", "bravo", "alpha"}));
  ASSERT_EQ(table->Top(), 0);
  EXPECT_EQ(table->Skip(-1), kBeginningOfFile);
  EXPECT_EQ(Name(*table), "alpha");
  EXPECT_EQ(table->Skip(3), 0);
  EXPECT_EQ(Name(*table), "delta");
  EXPECT_EQ(table->Skip(2), kEndOfFile);
  EXPECT_TRUE(table->IsEof());
  EXPECT_EQ(table->Skip(-2), 0) << "from the end of file back";
  EXPECT_EQ(Name(*table), "delta");

  struct SeekCase {
    const char* key;
    int result;
    const char* lands_on;  // "" for end of file
  };
  for (const SeekCase& c : std::vector<SeekCase>{{"charlie", 0, "charlie"},
                                                 {"ch", 0, "charlie"},
                                                 {"cz", kKeyNotFound, "delta"},
                                                 {"a", 0, "alpha"},
                                                 {"zulu", kEndOfFile, ""}}) {
    EXPECT_EQ(table->Seek(c.key), c.result) << c.key;
    EXPECT_EQ(table->IsEof() ? "" : Name(*table), c.lands_on) << c.key;
  }

  // Go ignores the tag; the next Skip goes on from that record's place.
  ASSERT_EQ(table->Go(3), 0);  // echo
  EXPECT_EQ(table->Skip(-1), 0);
  EXPECT_EQ(Name(*table), "delta");
  ASSERT_EQ(table->Go(2), 0);  // alpha
  EXPECT_EQ(table->Skip(1), 0);
  EXPECT_EQ(Name(*table), "bravo");

  EXPECT_NEAR(table->Position(), 0.25, 0.06) << "an estimate from the path through the tree";
  ASSERT_EQ(table->SetPosition(1.0), 0);
  EXPECT_EQ(Name(*table), "echo");
  ASSERT_EQ(table->SetPosition(0.0), 0);
  EXPECT_EQ(Name(*table), "alpha");

  ASSERT_EQ(table->SelectTag(std::nullopt), 0);
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"delta", "alpha", "echo", "charlie", "bravo"}));
  EXPECT_EQ(table->Seek("alpha"), kErrorNoTag);
}

TEST_F(TableIndexTest, NumericDateAndDescendingTags) {
  std::unique_ptr<Table> table =
      Create({{"HOURS", "HOURS", "", 0, kAscending},
              {"DAY", "DAY", "", 0, kDescending},
              {"DAYNAME", "DTOS(DAY)+NAME", "", 0, kDescending}});
  ASSERT_EQ(Add(*table, "a", 10.5, "20240301"), 0);
  ASSERT_EQ(Add(*table, "b", -2, "20231231"), 0);
  ASSERT_EQ(Add(*table, "c", 3, "20240301"), 0);
  ASSERT_EQ(Add(*table, "d", 100, "20240115"), 0);

  Select(*table, "HOURS");
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"b", "c", "a", "d"}));
  EXPECT_EQ(table->Seek("3"), 0);
  EXPECT_EQ(Name(*table), "c");
  EXPECT_EQ(table->Seek("4"), kKeyNotFound);
  EXPECT_EQ(Name(*table), "a");
  EXPECT_LT(table->Seek("four"), 0) << "text that is no number";

  Select(*table, "DAY");
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"a", "c", "d", "b"}));
  EXPECT_EQ(table->Seek("20240115"), 0);
  EXPECT_EQ(Name(*table), "d");

  Select(*table, "DAYNAME");
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"c", "a", "d", "b"}));
  EXPECT_EQ(WalkBack(*table), (std::vector<std::string>{"b", "d", "a", "c"}));
  ExpectConsistent(*table);
}

TEST_F(TableIndexTest, ChangesDeletionsAndRecallsKeepEveryTagInStep) {
  std::unique_ptr<Table> table = Create({kByName, kLive});
  for (const char* name : {"a", "b", "c", "d"}) ASSERT_EQ(Add(*table, name), 0);
  Select(*table, "LIVE");

  ASSERT_EQ(table->Go(2), 0);
  ASSERT_EQ(table->Delete(), 0);
  ASSERT_EQ(table->Go(4), 0);
  table->FieldByName("NAME")->AssignText("aa");
  ASSERT_EQ(table->Flush(), 0);
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"a", "aa", "c"}));
  Select(*table, "BYNAME");
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"a", "aa", "b", "c"})) << "no FOR filter";
  ExpectConsistent(*table);

  // From a record that the tag leaves out, Skip goes to its neighbours.
  Select(*table, "LIVE");
  ASSERT_EQ(table->Go(2), 0);  // "b", deleted
  EXPECT_EQ(table->Skip(1), 0);
  EXPECT_EQ(Name(*table), "c");
  ASSERT_EQ(table->Go(2), 0);
  EXPECT_EQ(table->Skip(-1), 0);
  EXPECT_EQ(Name(*table), "aa");

  ASSERT_EQ(table->Go(2), 0);
  ASSERT_EQ(table->Recall(), 0);
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"a", "aa", "b", "c"}));
  ExpectConsistent(*table);
}

TEST_F(TableIndexTest, UniqueRefuseLeavesTheTableUnchanged) {
  const TagSpec unique = {"NAME", "NAME", "", kUniqueRefuse, kAscending};
  std::unique_ptr<Table> table = Create({unique, kLive});
  ASSERT_EQ(Add(*table, "a"), 0);
  ASSERT_EQ(Add(*table, "b"), 0);
  const std::string dbf = ReadAll(Path());
  const std::string mdx = ReadAll(dir_.File("work.mdx"));

  EXPECT_EQ(Add(*table, "a"), kDuplicateKey);
  EXPECT_EQ(table->RecordCount(), 2u);
  EXPECT_EQ(ReadAll(Path()), dbf);
  EXPECT_EQ(ReadAll(dir_.File("work.mdx")), mdx);

  // A change to a key that another record holds is refused and dropped.
  ASSERT_EQ(table->Go(2), 0);
  table->FieldByName("NAME")->AssignText("a");
  EXPECT_EQ(table->Flush(), kDuplicateKey);
  EXPECT_EQ(Name(*table), "b");
  EXPECT_EQ(ReadAll(Path()), dbf);
  EXPECT_EQ(table->Skip(1), kEndOfFile) << "moving works again after the refusal";
  ExpectConsistent(*table);

  // A refusal that comes from a second index file undoes the first one's
  // entries as well.
  ASSERT_EQ(table->CreateIndexFile(dir_.File("other.mdx"),
                                   {{"CLIENT", "CLIENT", "", kUniqueRefuse, kAscending}}),
            0);
  EXPECT_EQ(Add(*table, "c", 0, "20240101", "ACME"), kDuplicateKey);
  EXPECT_EQ(table->RecordCount(), 2u);
  ExpectConsistent(*table);
  FileStatus other = table->FindIndexFile(dir_.File("other.mdx"))->Check(*table);
  EXPECT_TRUE(other.ok()) << other.text;
}

TEST_F(TableIndexTest, UniqueKeepStoresTheRecordAndLeavesTheKeyOut) {
  std::unique_ptr<Table> table = Create({{"NAME", "NAME", "", kUniqueKeep, kAscending}});
  ASSERT_EQ(Add(*table, "b", 1), 0);
  ASSERT_EQ(Add(*table, "a", 2), 0);
  ASSERT_EQ(Add(*table, "b", 3), 0);
  EXPECT_EQ(table->RecordCount(), 3u);
  Select(*table, "NAME");
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(table->Seek("b"), 0);
  EXPECT_EQ(table->RecordNumber(), 1u);
  ExpectConsistent(*table);
}

TEST_F(TableIndexTest, OpenedUniqueTagsFollowTheEngineSetting) {
  { Create({{"NAME", "NAME", "", kUniqueKeep, kAscending}}); }
  engine_.settings().default_unique = kUniqueRefuse;
  std::unique_ptr<Table> table = Table::Open(engine_, Path());
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(Add(*table, "x"), 0);
  EXPECT_EQ(Add(*table, "x"), kDuplicateKey);
}

TEST_F(TableIndexTest, PackRebuildsTheIndexes) {
  {
    std::unique_ptr<Table> table = Create({kByName, kLive});
    for (const char* name : {"e", "d", "c", "b", "a"}) ASSERT_EQ(Add(*table, name), 0);
    for (RecordNumber n : {1u, 3u}) {
      ASSERT_EQ(table->Go(n), 0);
      ASSERT_EQ(table->Delete(), 0);
    }
  }
  engine_.settings().access_mode = AccessMode::kExclusive;
  std::unique_ptr<Table> table = Table::Open(engine_, Path());
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->Pack(), 0);
  EXPECT_EQ(table->RecordCount(), 3u);
  Select(*table, "BYNAME");
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"a", "b", "d"}));
  ExpectConsistent(*table);
  ASSERT_EQ(Add(*table, "c"), 0);
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"a", "b", "c", "d"}));
  ExpectConsistent(*table);
}

TEST_F(TableIndexTest, SeparateIndexFilesOpenReindexAndClose) {
  std::unique_ptr<Table> table = Create({});
  for (const char* name : {"b", "c", "a"}) ASSERT_EQ(Add(*table, name), 0);
  const std::string user = dir_.File("USER.tmp");
  ASSERT_EQ(table->CreateIndexFile(user, {{"USERTAG", "NAME", ".NOT.DELETED()", 0, kDescending}}), 0);
  EXPECT_EQ(ReadAll(Path())[28], 0) << "a separate file is no production index";
  Select(*table, "USERTAG");
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"c", "b", "a"}));
  ASSERT_EQ(Add(*table, "d"), 0);
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"d", "c", "b", "a"}));

  IndexFile* index = table->FindIndexFile(user);
  ASSERT_NE(index, nullptr);
  EXPECT_EQ(table->CloseIndexFile(*index), 0);
  EXPECT_EQ(table->SelectedTag(), std::nullopt);
  EXPECT_EQ(table->FindIndexFile(user), nullptr);

  // Records added while the file was closed appear after a reindex.
  ASSERT_EQ(Add(*table, "e"), 0);
  ASSERT_EQ(table->OpenIndexFile(user), 0);
  index = table->FindIndexFile(user);
  ASSERT_NE(index, nullptr);
  EXPECT_FALSE(index->Check(*table).ok());
  ASSERT_EQ(table->ReindexFile(*index), 0);
  EXPECT_TRUE(index->Check(*table).ok());
  Select(*table, "USERTAG");
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"e", "d", "c", "b", "a"}));

  // Creating it again with safety on is refused; with safety off it is rebuilt.
  table->CloseIndexFile(*index);
  EXPECT_EQ(table->CreateIndexFile(user, {{"USERTAG", "NAME", "", 0, kAscending}}), kErrorCreate);
  engine_.settings().safety = false;
  EXPECT_EQ(table->CreateIndexFile(user, {{"USERTAG", "NAME", "", 0, kAscending}}), 0);
}

TEST_F(TableIndexTest, CreatingTheProductionIndexAgainAddsTags) {
  std::unique_ptr<Table> table = Create({kByName});
  for (const char* name : {"b", "a"}) ASSERT_EQ(Add(*table, name, 0, "20240101", name), 0);
  ASSERT_EQ(table->CreateIndexFile("", {{"CLIENT", "CLIENT", "", 0, kDescending}}), 0);
  table.reset();
  table = Table::Open(engine_, Path());
  ASSERT_NE(table, nullptr);
  EXPECT_NE(table->TagByName("BYNAME"), std::nullopt);
  Select(*table, "CLIENT");
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"b", "a"}));
  const std::string bytes = ReadAll(Path());
  EXPECT_EQ(bytes[32 + 31], 1);
  EXPECT_EQ(bytes[32 + 3 * 32 + 31], 1) << "CLIENT is the key of a tag now";
}

TEST_F(TableIndexTest, BadTagsAreRefusedAndNothingIsLeftBehind) {
  EXPECT_EQ(Table::Create(engine_, Path(), kFields, {{"BAD", "NOSUCHFIELD", "", 0, 0}}), nullptr);
  EXPECT_EQ(engine_.error_code(), kErrorExpression);
  EXPECT_FALSE(FileExists(Path()));
  EXPECT_FALSE(FileExists(dir_.File("work.mdx")));

  std::unique_ptr<Table> table = Create({kByName});
  engine_.settings().field_name_errors = true;
  EXPECT_EQ(table->TagByName("NOPE"), std::nullopt);
  EXPECT_EQ(engine_.error_code(), kErrorTagName);
}

TEST_F(TableIndexTest, AppendsUnderLockAppendReachTheIndexAtUnlock) {
  std::unique_ptr<Table> table = Create({kByName, kLive});
  ASSERT_EQ(table->LockAppend(), 0);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(Add(*table, "n" + std::to_string(1000 - i)), 0);
  Select(*table, "BYNAME");
  EXPECT_EQ(table->Seek("n701"), 0) << "this table sees its own grouped writes";
  ASSERT_EQ(table->Unlock(), 0);
  EXPECT_EQ(Walk(*table).size(), 300u);
  ExpectConsistent(*table);
  const std::string mdx = ReadAll(dir_.File("work.mdx"));
  EXPECT_EQ(mdx[kUnfinishedWriteMarkOffset], 0);
}

// A run long enough that the index outgrows the page cache it started with,
// in random key order so that changed blocks leave the cache mid-run.
TEST_F(TableIndexTest, LongGroupedRunsInRandomOrderKeepTheIndexWhole) {
  std::unique_ptr<Table> table = Create({kByName, kLive});
  ASSERT_EQ(table->LockAppend(), 0);
  std::uint32_t state = 12345;
  std::vector<std::string> names;
  for (int i = 0; i < 6000; ++i) {
    state = state * 1103515245u + 12345u;
    names.push_back("k" + std::to_string(state % 10000000));
    ASSERT_EQ(Add(*table, names.back(), 0, "20240101", i % 3 ? "ACME" : "OTHER"), 0);
  }
  ASSERT_EQ(table->Unlock(), 0);
  ExpectConsistent(*table);
  Select(*table, "BYNAME");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(Walk(*table), names);
}

// A writer that died between the index and the data leaves the mark set;
// the next open checks the index and refuses it only when it disagrees.
TEST_F(TableIndexTest, UnfinishedWriteMarkMakesTheOpenCheckTheIndex) {
  {
    std::unique_ptr<Table> table = Create({kByName});
    ASSERT_EQ(Add(*table, "a"), 0);
  }
  auto set_mark = [&] {
    RawFile mdx;
    ASSERT_TRUE(mdx.Open(dir_.File("work.mdx"), RawFile::Mode::kReadWrite).ok());
    const char one = 1;
    ASSERT_TRUE(mdx.WriteAt(kUnfinishedWriteMarkOffset, std::span<const char>(&one, 1)).ok());
  };
  set_mark();
  {
    std::unique_ptr<Table> table = Table::Open(engine_, Path());
    ASSERT_NE(table, nullptr) << "index and data agree";
  }
  EXPECT_EQ(ReadAll(dir_.File("work.mdx"))[kUnfinishedWriteMarkOffset], 0);

  // A record that reached the data but not the index.
  {
    engine_.settings().auto_open = false;
    std::unique_ptr<Table> table = Table::Open(engine_, Path());
    ASSERT_EQ(Add(*table, "b"), 0);
    engine_.settings().auto_open = true;
  }
  set_mark();
  EXPECT_EQ(Table::Open(engine_, Path()), nullptr);
  EXPECT_EQ(engine_.error_code(), kErrorIndex);
}

// Readers move without the read lock while the mark says that no writer is
// in the middle of a change, and check afterwards that none came in.
TEST_F(TableIndexTest, UnlockedReadsNoticeEveryWriterThatCameIn) {
  std::unique_ptr<Table> writer = Create({kByName});
  ASSERT_EQ(Add(*writer, "b"), 0);
  std::unique_ptr<TableIndex> reader;
  ASSERT_TRUE(TableIndex::Open(dir_.File("work.mdx"), writer->layout(), AccessMode::kDenyNone,
                               kUniqueKeep, &reader)
                  .ok());
  MdxCursor cursor(reader->file().mdx(), 0);
  auto read = [&] {
    EXPECT_TRUE(reader->BeginUnlockedRead());
    EXPECT_EQ(cursor.First(), 0);
  };

  read();
  EXPECT_TRUE(reader->EndUnlockedRead(0)) << "nobody wrote";

  read();
  ASSERT_EQ(Add(*writer, "a"), 0);
  EXPECT_FALSE(reader->EndUnlockedRead(0)) << "a whole change came in between";

  read();
  ASSERT_EQ(writer->LockAppend(), 0);
  ASSERT_EQ(Add(*writer, "c"), 0);  // grouped: the pages wait for Unlock
  EXPECT_FALSE(reader->EndUnlockedRead(0)) << "a writer is in the middle of a change";
  EXPECT_FALSE(reader->BeginUnlockedRead());
  ASSERT_EQ(writer->Unlock(), 0);

  read();
  EXPECT_TRUE(reader->EndUnlockedRead(0));
  EXPECT_EQ(cursor.Next(), 0);
  EXPECT_EQ(cursor.Next(), 0);
  EXPECT_EQ(cursor.Next(), kEndOfFile) << "a, b, c";
}

// A mark that a dead writer left makes moves take the lock, never fail.
TEST_F(TableIndexTest, MovesReadUnderTheLockWhileTheMarkIsSet) {
  std::unique_ptr<Table> table = Create({kByName});
  for (const char* name : {"c", "a", "b"}) ASSERT_EQ(Add(*table, name), 0);
  Select(*table, "BYNAME");
  RawFile mdx;
  ASSERT_TRUE(mdx.Open(dir_.File("work.mdx"), RawFile::Mode::kReadWrite).ok());
  const char one = 1;
  ASSERT_TRUE(mdx.WriteAt(kUnfinishedWriteMarkOffset, std::span<const char>(&one, 1)).ok());
  EXPECT_EQ(Walk(*table), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(WalkBack(*table), (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(table->Seek("b"), 0);
  EXPECT_EQ(Name(*table), "b");
  EXPECT_TRUE(errors_.empty()) << testing::PrintToString(errors_);
}

}  // namespace
}  // namespace qm::engine
