// ScratchFile: a file in a private temporary folder that a fuzz target
// rewrites with each input, since the engine opens files by path.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace qm::fuzz {

class ScratchFolder {
 public:
  ScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/qm-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~ScratchFolder() {
    for (const std::string& file : written_) ::unlink(file.c_str());
    ::rmdir(path_.c_str());
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Writes `bytes` as the file `name` in the folder (replacing it) and
  // returns its path.
  std::string Write(const std::string& name, std::string_view bytes) {
    const std::string file = path_ + "/" + name;
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) std::abort();
    std::fclose(out);
    Remember(file);
    return file;
  }
  void Remove(const std::string& name) { ::unlink((path_ + "/" + name).c_str()); }
  std::string File(const std::string& name) {
    Remember(path_ + "/" + name);
    return path_ + "/" + name;
  }

 private:
  void Remember(const std::string& file) {
    for (const std::string& known : written_) {
      if (known == file) return;
    }
    written_.push_back(file);
  }

  std::string path_;
  std::vector<std::string> written_;
};

}  // namespace qm::fuzz
