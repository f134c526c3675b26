#include "engine/file_map.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_paths.h"

namespace qm::engine {
namespace {

// A file written through its own descriptor, as another process would.
class FileMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writer_ = ::open(dir_.File("mapped").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
    reader_ = ::open(dir_.File("mapped").c_str(), O_RDONLY);
    ASSERT_GE(writer_, 0);
    ASSERT_GE(reader_, 0);
  }
  void TearDown() override {
    ::close(writer_);
    ::close(reader_);
  }
  void Write(off_t offset, const std::string& bytes) {
    ASSERT_EQ(::pwrite(writer_, bytes.data(), bytes.size(), offset),
              static_cast<ssize_t>(bytes.size()));
  }
  static std::string Read(const FileMap& map, std::uint64_t offset, std::size_t n) {
    std::string out(n, '?');
    return map.Read(offset, out) ? out : "<none>";
  }

  test::TempDir dir_;
  int writer_ = -1;
  int reader_ = -1;
};

TEST_F(FileMapTest, ChangesWithinTheSeenLengthShowAtOnce) {
  Write(0, "abcdef");
  FileMap map;
  ASSERT_TRUE(map.Attach(reader_).ok());
  EXPECT_EQ(Read(map, 1, 3), "bcd");
  Write(2, "XY");
  EXPECT_EQ(Read(map, 0, 6), "abXYef");
}

TEST_F(FileMapTest, BytesPastTheSeenLengthNeedARefresh) {
  FileMap map;
  ASSERT_TRUE(map.Attach(reader_).ok()) << "an empty file maps too";
  EXPECT_EQ(Read(map, 0, 1), "<none>");
  Write(0, "abcdef");
  EXPECT_EQ(Read(map, 4, 2), "<none>") << "the map never reads past the length it saw";
  ASSERT_TRUE(map.Refresh().ok());
  EXPECT_EQ(map.length(), 6u);
  EXPECT_EQ(Read(map, 4, 2), "ef");
  EXPECT_EQ(Read(map, 5, 2), "<none>");
  EXPECT_EQ(Read(map, 7, 0), "<none>");
  EXPECT_EQ(Read(map, 6, 0), "");
}

TEST_F(FileMapTest, GrowthPastTheReservedRangeIsMappedAnew) {
  Write(0, "head");
  FileMap map;
  ASSERT_TRUE(map.Attach(reader_).ok());
  // A sparse file far larger than the first reservation.
  const off_t far = off_t{300} << 20;
  Write(far, "tail");
  ASSERT_TRUE(map.Refresh().ok());
  EXPECT_EQ(Read(map, static_cast<std::uint64_t>(far), 4), "tail");
  EXPECT_EQ(Read(map, 0, 4), "head");
  FileMap moved = std::move(map);
  EXPECT_EQ(Read(moved, 0, 4), "head");
  EXPECT_EQ(Read(map, 0, 4), "<none>");  // NOLINT(bugprone-use-after-move): moved-from is empty
}

}  // namespace
}  // namespace qm::engine
