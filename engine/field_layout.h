// The layout of a table's records: its fields, their types, widths and
// where each sits in the record buffer.
//
// A record buffer starts with the deletion byte (' ' or '*'), then every
// field's text in order, without separators. The data file reads this
// layout from its header; expressions compile against it; the index code
// never sees it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::engine {

enum class FieldType : char {
  kCharacter = 'C',
  kNumeric = 'N',
  kFloat = 'F',      // read like N
  kDate = 'D',
  kLogical = 'L',
  kMemo = 'M',
};

struct FieldDescriptor {
  std::string name;      // upper case, at most 10 characters
  FieldType type = FieldType::kCharacter;
  int width = 0;
  int decimals = 0;
  std::size_t offset = 0;  // in the record buffer; the deletion byte is at 0
};

class RecordLayout {
 public:
  RecordLayout() = default;
  // Lays the fields out one after the other behind the deletion byte.
  explicit RecordLayout(std::vector<FieldDescriptor> fields);

  const std::vector<FieldDescriptor>& fields() const { return fields_; }
  // Including the deletion byte.
  std::size_t record_length() const { return record_length_; }

  // Field index by name, without regard to case; nullopt when absent.
  std::optional<std::size_t> Find(std::string_view name) const;

 private:
  std::vector<FieldDescriptor> fields_;
  std::size_t record_length_ = 1;
};

}  // namespace qm::engine
