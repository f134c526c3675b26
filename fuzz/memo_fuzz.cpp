// Fuzz target for reading a memo file (.dbt).
//
// Input: the bytes of the memo file. Every block that the file could hold
// is read as the start of a memo (up to a limit): a damaged header, length
// or block size must give an error or an empty text, never a crash or a
// text longer than the file. A text that read back is then written again
// at the end of the file and must read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "engine/memo_file.h"
#include "fuzz/scratch_file.h"

namespace {

using namespace qm::engine;

constexpr std::uint32_t kMaxBlocks = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static qm::fuzz::ScratchFolder folder;
  static TableEngine engine;
  const std::string path =
      folder.Write("FUZZ.dbt", std::string_view(reinterpret_cast<const char*>(data), size));
  MemoFile memo;
  if (!memo.Open(path).ok()) return 0;
  if (memo.block_size() == 0) std::abort();
  std::string longest;
  for (std::uint32_t block = 0; block < kMaxBlocks; ++block) {
    std::string text;
    if (!memo.Read(block, text).ok()) continue;
    if (text.size() > size) std::abort();  // a text is never longer than the file
    if (text.size() > longest.size()) longest = text;
  }
  if (longest.empty()) return 0;
  std::uint32_t written = 0;
  if (!memo.Write(engine, longest, written).ok()) return 0;
  std::string again;
  if (!memo.Read(written, again).ok() || again != longest) std::abort();
  return 0;
}
