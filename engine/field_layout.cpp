#include "engine/field_layout.h"

#include <cctype>

namespace qm::engine {

RecordLayout::RecordLayout(std::vector<FieldDescriptor> fields)
    : fields_(std::move(fields)) {
  std::size_t offset = 1;
  for (FieldDescriptor& field : fields_) {
    field.offset = offset;
    offset += static_cast<std::size_t>(field.width);
  }
  record_length_ = offset;
}

std::optional<std::size_t> RecordLayout::Find(std::string_view name) const {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const std::string& candidate = fields_[i].name;
    if (candidate.size() != name.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < name.size() && same; ++k) {
      same = std::toupper(static_cast<unsigned char>(candidate[k])) ==
             std::toupper(static_cast<unsigned char>(name[k]));
    }
    if (same) return i;
  }
  return std::nullopt;
}

}  // namespace qm::engine
