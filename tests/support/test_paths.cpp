#include "tests/support/test_paths.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace qm::test {
namespace {

std::string FromEnvironment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

}  // namespace

std::string FixturesDir() { return FromEnvironment("QM_FIXTURES_DIR", QM_FIXTURES_DIR_DEFAULT); }

std::string FixturePath(const std::string& relative) {
  const std::string path = FixturesDir() + "/" + relative;
  return std::filesystem::exists(path) ? path : std::string();
}

std::string BinDir() { return FromEnvironment("QM_BIN_DIR", QM_BIN_DIR_DEFAULT); }

TempDir::TempDir() {
  std::string pattern = std::filesystem::temp_directory_path().string() + "/qm-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace qm::test
