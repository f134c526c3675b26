#include "platform/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/support/test_paths.h"

namespace qm::platform {
namespace {

// Sets an environment variable for one test and restores it after.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(PathsTest, ProgramDirectoryFollowsTheEnvironment) {
  ScopedEnvironment home("HOME", "/home/ann");
  {
    ScopedEnvironment quillmk("QUILLMK_HOME", "/srv/quillmark");
    EXPECT_EQ(ProgramDirectory(), "/srv/quillmark");
  }
  ScopedEnvironment quillmk("QUILLMK_HOME", nullptr);
  {
    ScopedEnvironment data("XDG_DATA_HOME", "/data");
    EXPECT_EQ(ProgramDirectory(), "/data/quillmark");
  }
  {
    ScopedEnvironment relative("XDG_DATA_HOME", "relative/data");  // ignored
    EXPECT_EQ(ProgramDirectory(), "/home/ann/.local/share/quillmark");
  }
  ScopedEnvironment data("XDG_DATA_HOME", nullptr);
  EXPECT_EQ(ProgramDirectory(), "/home/ann/.local/share/quillmark");
}

TEST(PathsTest, WinIniComesFromTheConfigFolderOrTheHome) {
  test::TempDir dir;
  ScopedEnvironment home("HOME", "/home/ann");
  ScopedEnvironment config("XDG_CONFIG_HOME", nullptr);
  ScopedEnvironment quillmk("QUILLMK_HOME", dir.path().c_str());
  EXPECT_EQ(WinIniPath(), "/home/ann/.config/quillmark/win.ini");
  {
    ScopedEnvironment xdg("XDG_CONFIG_HOME", "/etc/xdg-ann");
    EXPECT_EQ(WinIniPath(), "/etc/xdg-ann/quillmark/win.ini");
  }
  { std::ofstream(dir.File("WIN.INI")) << "[intl]\n"; }
  EXPECT_EQ(WinIniPath(), dir.File("WIN.INI"));
}

TEST(PathsTest, JoinPathNeverDoublesASlash) {
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a/", "/b"), "/a/b");
  EXPECT_EQ(JoinPath("", "b"), "b");
  EXPECT_EQ(JoinPath("/", "b"), "/b");
}

TEST(PathsTest, EnsureDirectoryCreatesParents) {
  test::TempDir dir;
  const std::string deep = dir.File("a/b/c");
  ASSERT_TRUE(EnsureDirectory(deep).ok());
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  EXPECT_TRUE(EnsureDirectory(deep).ok());  // already there

  { std::ofstream(dir.File("file")) << "x"; }
  const Status status = EnsureDirectory(dir.File("file/sub"));
  EXPECT_FALSE(status.ok());
  EXPECT_FALSE(status.message().empty());
}

TEST(PathsTest, FindsFilesWithoutRegardToCase) {
  test::TempDir dir;
  { std::ofstream(dir.File("TIME.DBF")) << "x"; }
  { std::ofstream(dir.File("time.mdx")) << "x"; }
  { std::ofstream(dir.File("Exact.spt")) << "x"; }
  { std::ofstream(dir.File("exact.SPT")) << "x"; }

  EXPECT_EQ(FindFileIgnoringCase(dir.File("time.dbf")), dir.File("TIME.DBF"));
  EXPECT_EQ(FindFileIgnoringCase(dir.File("TIME.MDX")), dir.File("time.mdx"));
  EXPECT_EQ(FindFileIgnoringCase(dir.File("exact.SPT")), dir.File("exact.SPT"));  // exact wins
  EXPECT_EQ(FindFileIgnoringCase(dir.File("Exact.spt")), dir.File("Exact.spt"));
  EXPECT_EQ(FindFileIgnoringCase(dir.File("time.dbt")), std::nullopt);
  EXPECT_EQ(FindFileIgnoringCase(dir.File("missing/time.dbf")), std::nullopt);
  EXPECT_EQ(FindFileIgnoringCase(""), std::nullopt);
  // Only the last component is matched loosely.
  EXPECT_EQ(FindFileIgnoringCase(dir.path() + "X/time.dbf"), std::nullopt);
}

}  // namespace
}  // namespace qm::platform
