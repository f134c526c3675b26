#include "view/field_names.h"

#include <charconv>

#include "platform/text_case.h"

namespace qm::view {
namespace {

std::vector<std::string> FieldNames(const DescriptorNames& descriptor_names,
                                    std::string_view start_time, std::string_view last) {
  std::vector<std::string> names(descriptor_names.begin(), descriptor_names.end());
  for (std::string_view name :
       {std::string_view("Start Date"), start_time, std::string_view("Expense"),
        std::string_view("Invoice"), std::string_view("Billable?"), last}) {
    names.emplace_back(name);
  }
  return names;
}

std::string_view WithoutQuestionMark(std::string_view text) {
  if (!text.empty() && text.back() == '?') text.remove_suffix(1);
  return text;
}

}  // namespace

std::vector<std::string> FilterFieldNames(const DescriptorNames& descriptor_names) {
  return FieldNames(descriptor_names, "Start Time", "Description");
}

std::vector<std::string> SortFieldNames(const DescriptorNames& descriptor_names) {
  return FieldNames(descriptor_names, "Start Date/Time", "(None)");
}

const std::vector<std::string>& ComparisonNames() {
  static const std::vector<std::string> names = {">", "<", "=", ">=", "<=", "<>", "contains"};
  return names;
}

const std::vector<std::string>& LinkNames() {
  static const std::vector<std::string> names = {"end", "and", "or"};
  return names;
}

std::optional<int> CodeOfName(std::string_view word, const std::vector<std::string>& names) {
  for (std::size_t code = 0; code < names.size(); ++code) {
    if (platform::EqualsIgnoringCase(word, names[code]) ||
        platform::EqualsIgnoringCase(WithoutQuestionMark(word), WithoutQuestionMark(names[code]))) {
      return static_cast<int>(code);
    }
  }
  int code = -1;
  auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), code);
  if (error == std::errc() && end == word.data() + word.size() && code >= 0 &&
      static_cast<std::size_t>(code) < names.size()) {
    return code;
  }
  return std::nullopt;
}

}  // namespace qm::view
