// Fuzz target for opening an index file (.mdx) and walking its tags.
//
// A real index file is several kilobytes, more than a fuzz input should be,
// so the input describes one as changes to a sound file that this target
// builds at start-up (three tags over 80 records of a fixed layout, trees
// of two levels):
//
//   byte 0       how much of the file to keep: 0 all, else n/256 of it
//   then         patches of [offset: 2 bytes, little-endian][length: 1 byte]
//                [length bytes], written over the file in order
//
// The result is opened against the fixed layout, checked against the
// records, every tag walked both ways and sought, and, when the check
// passed, a record added and removed again. A damaged file must give an
// error, never a crash, a hang or a read outside a page.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/field_layout.h"
#include "engine/field_value.h"
#include "engine/index_file.h"
#include "engine/mdx_file.h"
#include "engine/record_source.h"
#include "engine/tag_spec.h"
#include "fuzz/scratch_file.h"

namespace {

using namespace qm::engine;

constexpr int kRecords = 80;
constexpr int kMaxSteps = 1000;

RecordLayout Layout() {
  return RecordLayout({{"NAME", FieldType::kCharacter, 10, 0, 0},
                       {"AMOUNT", FieldType::kNumeric, 8, 2, 0},
                       {"DAY", FieldType::kDate, 8, 0, 0}});
}

class Records : public RecordSource {
 public:
  explicit Records(const RecordLayout& layout) : length_(layout.record_length()) {
    for (int i = 1; i <= kRecords; ++i) Add(i);
  }
  RecordNumber RecordCount() const override { return static_cast<RecordNumber>(rows_.size() / length_); }
  bool ReadRecord(RecordNumber number, std::span<char> record) const override {
    if (number == 0 || number > RecordCount() || record.size() != length_) return false;
    std::copy_n(rows_.begin() + static_cast<long>((number - 1) * length_), length_, record.begin());
    return true;
  }
  std::span<const char> Row(RecordNumber number) const {
    return {rows_.data() + (number - 1) * length_, length_};
  }
  void Add(int i) {
    std::string row(length_, ' ');
    if (i % 9 == 0) row[0] = '*';
    const std::string name = "N" + std::to_string((i * 37) % 101);
    row.replace(1, name.size(), name);
    char amount[16];
    std::snprintf(amount, sizeof amount, "%8.2f", (i * 13 % 400) / 4.0 - 20);
    row.replace(11, 8, amount);
    std::array<char, 8> day;
    DateTextFromJulianDay(2460311 + i % 40, day);
    row.replace(19, 8, day.data(), 8);
    rows_.insert(rows_.end(), row.begin(), row.end());
  }
  void RemoveLast() { rows_.resize(rows_.size() - length_); }

 private:
  std::size_t length_;
  std::vector<char> rows_;
};

std::vector<TagSpec> Tags() {
  return {{"NAME", "UPPER(NAME)", "", kUniqueKeep, kAscending},
          {"AMOUNT", "AMOUNT", "", 0, kDescending},
          {"WHEN", "DTOS(DAY)+NAME", ".NOT. DELETED()", 0, kAscending}};
}

std::string ReadWhole(const std::string& path) {
  std::string bytes;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) std::abort();
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) bytes.append(buffer, got);
  std::fclose(in);
  return bytes;
}

struct Template {
  qm::fuzz::ScratchFolder folder;
  RecordLayout layout = Layout();
  Records records{layout};
  std::string bytes;

  Template() {
    std::unique_ptr<IndexFile> index;
    IndexFileOptions options;
    options.production = true;
    options.base_name = "FUZZ";
    options.overwrite = true;
    if (!IndexFile::Create(folder.File("TEMPLATE.mdx"), layout, Tags(), records, &index, options).ok()) {
      std::abort();
    }
    index.reset();
    bytes = ReadWhole(folder.File("TEMPLATE.mdx"));
  }
};

std::string Apply(const std::string& file, const std::uint8_t* data, std::size_t size) {
  std::string bytes = file;
  if (size == 0) return bytes;
  if (data[0] != 0) bytes.resize(bytes.size() * data[0] / 256);
  std::size_t i = 1;
  while (i + 3 <= size) {
    const std::size_t offset = data[i] | data[i + 1] << 8;
    const std::size_t length = std::min<std::size_t>(data[i + 2], size - i - 3);
    for (std::size_t k = 0; k < length && offset + k < bytes.size(); ++k) {
      bytes[offset + k] = static_cast<char>(data[i + 3 + k]);
    }
    i += 3 + length;
  }
  return bytes;
}

void Walk(IndexFile& index) {
  for (std::size_t t = 0; t < index.tag_count(); ++t) {
    MdxCursor cursor = index.Cursor(t);
    int steps = 0;
    for (int moved = cursor.First(); moved == kSuccess && steps < kMaxSteps; moved = cursor.Next()) {
      ++steps;
    }
    steps = 0;
    for (int moved = cursor.Last(); moved == kSuccess && steps < kMaxSteps; moved = cursor.Previous()) {
      ++steps;
    }
    std::string key;
    for (std::string_view text : {"N5", "12.5", "20240110", ""}) {
      if (index.tag(t).MakeSeekKey(text, &key)) (void)cursor.Seek(key);
    }
    (void)cursor.SetPosition(0.5);
    (void)cursor.Position();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Template* base = new Template;  // lives for the whole run
  const std::string bytes = Apply(base->bytes, data, size);
  const std::string path = base->folder.Write("FUZZ.mdx", bytes);

  // The bare file first: its trees, whatever the expressions say.
  std::unique_ptr<MdxFile> mdx;
  if (MdxFile::Open(path, &mdx).ok()) {
    (void)mdx->CheckAll();
    mdx.reset();
  }

  std::unique_ptr<IndexFile> index;
  if (!IndexFile::Open(path, base->layout, &index).ok()) return 0;
  index->SetExclusive(true);  // nobody else writes it: pages stay cached
  const bool sound = index->Check(base->records).ok();
  Walk(*index);
  if (sound) {
    // Changes to a file that passed the check must keep it passing.
    base->records.Add(kRecords + 1);
    const RecordNumber added = base->records.RecordCount();
    FileStatus status = index->OnAppend(added, base->records.Row(added));
    if (status.ok() && !index->Check(base->records).ok()) std::abort();
    base->records.RemoveLast();
  }
  return 0;
}
