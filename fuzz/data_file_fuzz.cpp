// Fuzz target for opening a data file (.dbf) and reading its records.
//
// Input: the bytes of the data file. It is opened twice: as a bare data
// file whose records and fields are decoded by type, and as a table (with
// an empty memo file beside it) that is walked record by record through
// the field handles, memo texts included. A damaged file must give an
// error, never a crash or a read outside the record.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/data_file.h"
#include "engine/engine.h"
#include "engine/field_value.h"
#include "engine/table.h"
#include "fuzz/scratch_file.h"

namespace {

using namespace qm::engine;

// Walks no further than this, so that a header claiming millions of
// records costs no more than a small file.
constexpr RecordNumber kMaxRecords = 64;

// An empty memo file with 512-byte blocks: next free block 1.
std::string EmptyMemoFile() {
  std::string header(512, '\0');
  header[0] = 1;
  header[20] = 0x00;
  header[21] = 0x02;
  return header;
}

void DecodeFields(const RecordLayout& layout, std::span<const char> record) {
  for (const FieldDescriptor& field : layout.fields()) {
    if (field.offset + static_cast<std::size_t>(field.width) > record.size()) std::abort();
    const std::string_view text(record.data() + field.offset, static_cast<std::size_t>(field.width));
    switch (field.type) {
      case FieldType::kNumeric:
      case FieldType::kFloat: (void)ParseNumber(text); break;
      case FieldType::kDate: (void)JulianDayFromDateText(text); break;
      case FieldType::kLogical: (void)LogicalIsTrue(text.empty() ? ' ' : text[0]); break;
      case FieldType::kMemo: (void)ParseBlockNumber(text); break;
      case FieldType::kCharacter: break;
    }
  }
}

void ReadAsDataFile(const std::string& path) {
  DataFile data;
  if (!data.Open(path).ok()) return;
  RecordNumber count = 0;
  if (!data.ReadRecordCount(count).ok()) return;
  std::vector<char> record(data.layout().record_length());
  if (record.size() != data.header().record_length) std::abort();
  for (RecordNumber n = 1; n <= count && n <= kMaxRecords; ++n) {
    if (!data.ReadRecord(n, record).ok()) return;
    DecodeFields(data.layout(), record);
  }
}

void WalkAsTable(const std::string& path) {
  TableEngine engine;
  engine.settings().auto_open = false;
  engine.settings().lock_attempts = 1;
  std::unique_ptr<Table> table = Table::Open(engine, path);
  if (!table) return;
  RecordNumber walked = 0;
  for (int moved = table->Top(); moved == kSuccess && walked < kMaxRecords;
       moved = table->Skip(), ++walked) {
    for (int i = 1;; ++i) {
      std::optional<Field> field = table->FieldAt(i);
      if (!field) break;
      if (field->Text().size() != static_cast<std::size_t>(field->width())) std::abort();
      switch (field->type()) {
        case FieldType::kNumeric:
        case FieldType::kFloat: (void)field->Number(); break;
        case FieldType::kDate: (void)field->JulianDay(); break;
        case FieldType::kLogical: (void)field->IsTrue(); break;
        case FieldType::kMemo: (void)field->MemoText(); break;
        case FieldType::kCharacter: break;
      }
    }
  }
  (void)table->Bottom();
  (void)table->Skip(-3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static qm::fuzz::ScratchFolder folder;
  static const std::string memo = folder.Write("FUZZ.dbt", EmptyMemoFile());
  (void)memo;
  const std::string path =
      folder.Write("FUZZ.dbf", std::string_view(reinterpret_cast<const char*>(data), size));
  ReadAsDataFile(path);
  WalkAsTable(path);
  return 0;
}
