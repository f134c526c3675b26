#include "view/sort_order.h"

#include <cstdio>

#include "view/record_filter.h"

namespace qm::view {
namespace {

constexpr std::string_view kIndexSection = "Index";
constexpr int kWriteFailed = 205;
constexpr int kMaxKeyLength = 100;
constexpr int kWidestDescriptor = 35;
constexpr int kNumberWidth = 12;

std::string LevelKey(int level) { return "SortField" + std::to_string(level); }

// The key term of one level and the width it adds to the key.
std::string Term(int field, int descriptor_width, int& width) {
  static constexpr const char* kDescriptorFields[] = {"PERSON", "CLIENT", "PROJECT",
                                                      "SUBPROJECT", "TASK"};
  char text[64];
  switch (field) {
    case kFieldRate:
    case kFieldExpense:
    case kFieldInvoice:
      std::snprintf(text, sizeof text, "STR(%s,%d,2)",
                    field == kFieldRate ? "RATE" : field == kFieldExpense ? "EXPENSE" : "INVOICE",
                    kNumberWidth);
      width = kNumberWidth;
      return text;
    case kFieldStartDate:
      width = 8;
      return "DTOS(START_DATE)";
    case kFieldStartTime:
      width = 16;
      return "DTOS(START_DATE)+START_TIME";
    case kFieldBillable:
      width = 1;
      return "IIF(BILLABLE,\"1\",\"0\")";
    default:
      std::snprintf(text, sizeof text, "UPPER(SUBSTR(%s,1,%d))", kDescriptorFields[field],
                    descriptor_width);
      width = descriptor_width;
      return text;
  }
}

}  // namespace

SortOrder LoadSortOrder(app::CSettings& settings) {
  SortOrder order;
  order.ascending = settings.GetInt(kIndexSection, "Ascending", 1);
  for (int level = 0; level < kSortLevelCount; ++level) {
    order.fields[level] = settings.GetInt(kIndexSection, LevelKey(level), order.fields[level]);
  }
  return order;
}

int SaveSortOrder(app::CSettings& settings, const SortOrder& order) {
  if (!settings.WriteInt(kIndexSection, "Ascending", order.ascending).ok()) return kWriteFailed;
  for (int level = 0; level < kSortLevelCount; ++level) {
    if (!settings.WriteInt(kIndexSection, LevelKey(level), order.fields[level]).ok()) {
      return kWriteFailed;
    }
  }
  return 0;
}

std::string BuildSortKey(const SortOrder& order) {
  for (int descriptor_width = kWidestDescriptor;; --descriptor_width) {
    std::string key;
    int length = 0;
    for (int level = 0; level < kSortLevelCount; ++level) {
      const int field = order.fields[level];
      // A code the lists never offer ends the key like "(None)" rather than
      // naming a field that is not there.
      if (field < 0 || field >= kSortNone) break;
      if (level > 0) key += " + ";
      int width = 0;
      key += Term(field, descriptor_width, width);
      length += width;
    }
    // Four levels of at most 35 each fit at a width of 25 or less, so the
    // loop ends long before the width reaches 1.
    // An order without a first level (only a hand-edited file has one)
    // would give the index no key at all; it sorts like the default order.
    if (key.empty()) return BuildSortKey(SortOrder{});
    if (length <= kMaxKeyLength || descriptor_width == 1) return key;
  }
}

}  // namespace qm::view
