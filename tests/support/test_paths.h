// Where tests find files: the fixtures that other programs wrote, the
// programs under test, and fresh scratch folders.
#pragma once

#include <string>

namespace qm::test {

// ../shared/fixtures beside the checkout ($QM_FIXTURES_DIR overrides).
std::string FixturesDir();
// "" when `relative` is absent under FixturesDir(); tests then GTEST_SKIP.
std::string FixturePath(const std::string& relative);
// The folder with quillmk-cli and the other programs of this build.
std::string BinDir();

// A scratch folder, removed with everything in it when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace qm::test
