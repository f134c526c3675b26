#include "db/temporary_index_name.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>

#include "engine/file_lock.h"
#include "engine/raw_file.h"
#include "tests/db/db_test_env.h"

namespace qm::db {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

// A file kept open the way the engine keeps its files open: with the shared
// "open" lock that tells other runs the file is in use.
struct HeldFile {
  explicit HeldFile(const std::string& path) {
    test::WriteBytes(path, "index");
    EXPECT_TRUE(file.Open(path, engine::RawFile::Mode::kReadWrite).ok());
    EXPECT_EQ(engine::ShareLock::Acquire(file.fd(), engine::AccessMode::kDenyNone, true, lock), 0);
  }
  engine::RawFile file;
  engine::ShareLock lock;
};

TEST(TemporaryIndexNameTest, BaseIsTheFirstEightLettersAndDigitsOfThePerson) {
  const struct {
    std::string person;
    std::string base;
  } cases[] = {
      {"Smith", "Smith"},
      {"Mary-Jo O'Neil", "MaryJoON"},
      {"J. R. R. Tolkien 1892", "JRRTolki"},
      {"Agent 007", "Agent007"},
      {"", "QUILLMK"},
      {"--- ---", "QUILLMK"},
  };
  for (const auto& c : cases) EXPECT_EQ(TemporaryIndexBase(c.person), c.base) << c.person;
}

TEST(TemporaryIndexNameTest, CandidatesRunFromTmpThroughT98) {
  EXPECT_EQ(TemporaryIndexCandidate("/data", "Smith", 0), "/data/Smith.tmp");
  EXPECT_EQ(TemporaryIndexCandidate("/data", "Smith", 1), "/data/Smith.t01");
  EXPECT_EQ(TemporaryIndexCandidate("/data", "Smith", 98), "/data/Smith.t98");
}

class ChooseNameTest : public ::testing::Test, protected test::DbTestEnv {
 protected:
  std::string Candidate(int number) const {
    return TemporaryIndexCandidate(dir_.path(), "Smith", number);
  }
};

TEST_F(ChooseNameTest, FreeNameIsTakenWithoutCreatingAnything) {
  EXPECT_EQ(ChooseTemporaryIndexName(dir_.path(), "Smith"), Candidate(0));
  EXPECT_FALSE(fs::exists(Candidate(0)));
  EXPECT_TRUE(ui_.Numbers().empty());
}

TEST_F(ChooseNameTest, LeftoverThatNobodyHoldsIsDeletedAndReused) {
  test::WriteBytes(Candidate(0), "left behind by a crashed run");
  EXPECT_EQ(ChooseTemporaryIndexName(dir_.path(), "Smith"), Candidate(0));
  EXPECT_FALSE(fs::exists(Candidate(0)));
}

TEST_F(ChooseNameTest, NamesHeldByOtherRunsAreSteppedOverAndKept) {
  HeldFile first(Candidate(0));
  EXPECT_EQ(ChooseTemporaryIndexName(dir_.path(), "Smith"), Candidate(1));
  HeldFile second(Candidate(1));
  test::WriteBytes(Candidate(2), "leftover");
  EXPECT_EQ(ChooseTemporaryIndexName(dir_.path(), "Smith"), Candidate(2));
  EXPECT_TRUE(fs::exists(Candidate(0)));
  EXPECT_TRUE(fs::exists(Candidate(1)));
  EXPECT_TRUE(ui_.Numbers().empty());
}

TEST_F(ChooseNameTest, NameIsMatchedWithoutRegardToCase) {
  // A run of "SMITH" holds the file that a run of "Smith" would name.
  HeldFile other(dir_.File("SMITH.TMP"));
  EXPECT_EQ(ChooseTemporaryIndexName(dir_.path(), "Smith"), Candidate(1));
  EXPECT_TRUE(fs::exists(dir_.File("SMITH.TMP")));
}

TEST_F(ChooseNameTest, AllNamesHeldReportsAnInternalErrorAndUsesT98) {
  std::deque<HeldFile> held;
  for (int number = 0; number <= kLastTemporaryIndexNumber; ++number) {
    held.emplace_back(Candidate(number));
  }
  EXPECT_EQ(ChooseTemporaryIndexName(dir_.path(), "Smith"), Candidate(98));
  EXPECT_THAT(ui_.Numbers(), ElementsAre(app::kInternalErrorMessage));
  EXPECT_THAT(ui_.Texts()[0], ::testing::HasSubstr("UserIndex"));
  for (int number = 0; number <= kLastTemporaryIndexNumber; ++number) {
    EXPECT_TRUE(fs::exists(Candidate(number))) << number;
  }
}

}  // namespace
}  // namespace qm::db
