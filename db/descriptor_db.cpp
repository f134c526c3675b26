#include "db/descriptor_db.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "app/message_format.h"
#include "app/messages.h"
#include "core/amount_text.h"
#include "platform/paths.h"
#include "platform/text_case.h"

namespace qm::db {
namespace {

using engine::kDuplicateKey;
using engine::kEndOfFile;
using engine::RecordNumber;

constexpr int kCannotCreate = 288;
constexpr int kChoiceLinked = 298;
constexpr int kChoiceNotLinked = 299;

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\0')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
  return text;
}

// A value as the file holds it: trimmed and cut to the field's width.
std::string StoredValue(std::string_view text) {
  std::string_view trimmed = TrimBlanks(text);
  return std::string(trimmed.substr(0, kDescriptorValueLength));
}

// A value as the cache and the lists hold it: an empty one is one blank.
std::string CachedValue(std::string_view field_text) {
  std::string value = StoredValue(field_text);
  return value.empty() ? std::string(" ") : value;
}

bool IsKind(int kind) { return kind >= 0 && kind < kDescriptorKinds; }

std::string MessageOrNumber(int number) {
  auto text = app::MessageText(number);
  return text ? std::string(*text) : std::to_string(number);
}

}  // namespace

const std::vector<engine::FieldSpec>& DescriptorFields() {
  static const std::vector<engine::FieldSpec> fields = {
      {"DESCRIPTOR", 'C', 35, 0},
      {"TYPE", 'N', 2, 0},
      {"LINKED_TO", 'C', 35, 0},
      {"LINKTOTYPE", 'N', 2, 0},
  };
  return fields;
}

const engine::TagSpec& DescriptorTag() {
  static const engine::TagSpec tag = {
      std::string(kDescriptorTagName),
      "STR(TYPE,2,0)+UPPER(DESCRIPTOR)+UPPER(LINKED_TO)+STR(LINKTOTYPE,2,0)",
      ".NOT. DELETED()", engine::kUniqueRefuse, engine::kAscending};
  return tag;
}

std::string NormalizeRateText(std::string_view text) {
  return core::FormatAmount(core::AmountTextToNumber(text), kDescriptorValueLength, false);
}

std::string DescriptorFilePath(const std::string& configured,
                               const std::string& support_directory) {
  if (!configured.empty()) return configured;
  return platform::JoinPath(support_directory, std::string(kDescriptorFileName));
}

std::string DescriptorSeekKey(int kind, std::string_view value) {
  std::string key = " ";
  key += static_cast<char>('0' + kind);
  std::string stored = StoredValue(value);
  stored.resize(kDescriptorValueLength, ' ');
  return key + platform::Cp1252ToUpper(stored);
}

DescriptorDb::DescriptorDb(engine::TableEngine& engine, engine::TableReporter& reporter)
    : DbTable(engine, reporter) {}

bool DescriptorDb::LookUpFields() {
  engine::Table& table = *this->table();
  descriptor_ = table.FieldByName("DESCRIPTOR");
  type_ = table.FieldByName("TYPE");
  linked_to_ = table.FieldByName("LINKED_TO");
  link_type_ = table.FieldByName("LINKTOTYPE");
  return descriptor_ && type_ && linked_to_ && link_type_;
}

int DescriptorDb::OpenDescriptorFile(const std::string& path) {
  cache_ = DescriptorCache{};
  current_ = DescriptorTexts{};
  // The tag refuses duplicates; the setting covers any tag rebuilt on open.
  int& default_unique = engine().settings().default_unique;
  const int saved_unique = default_unique;
  default_unique = engine::kUniqueRefuse;
  (void)ForceIndexRebuild(path);
  const int opened = OpenOrCreate(path, DescriptorFields(), {DescriptorTag()});
  default_unique = saved_unique;
  if (opened != 0 || !is_open()) return kCannotCreate;
  if (!LookUpFields()) {
    reporter().ReportDatabaseError(path, kCannotCreate);
    return kCannotCreate;
  }
  auto tag = table()->TagByName(kDescriptorTagName);
  if (!tag) {
    reporter().ReportDatabaseError(path, kCannotCreate);
    return kCannotCreate;
  }
  return Call([&] { return table()->SelectTag(tag); });
}

int DescriptorDb::CloseDescriptorFile() {
  descriptor_.reset();
  type_.reset();
  linked_to_.reset();
  link_type_.reset();
  cache_ = DescriptorCache{};
  return is_open() ? CloseTable() : 0;
}

int DescriptorDb::LoadDescriptorCache() {
  cache_ = DescriptorCache{};
  if (!is_open()) return kDescriptorIndexInconsistent;
  engine::Table& table = *this->table();
  RecordNumber record_count = table.RecordCount();
  DescriptorCache loaded;
  try {
    loaded.entries.reserve(record_count);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
  int previous_kind = -1;
  int moved = Call([&] { return table.Top(); });
  while (moved == 0 && !table.IsEof()) {
    if (loaded.entries.size() >= record_count) {
      // Another user may have appended since the count was read; only an
      // index that yields more rows than the file now holds is wrong.
      record_count = table.RecordCount();
      if (loaded.entries.size() >= record_count) return kDescriptorIndexInconsistent;
    }
    const int kind = static_cast<int>(type_->Integer());
    // A row of a kind the program does not know would break the ranges of
    // the known kinds; the lists never offer it.
    if (IsKind(kind) && kind >= previous_kind) {
      for (int k = previous_kind + 1; k <= kind; ++k) loaded.first[k] = loaded.entries.size();
      previous_kind = kind;
      Descriptor entry;
      entry.kind = kind;
      entry.value = CachedValue(descriptor_->Text());
      entry.linked_to = CachedValue(linked_to_->Text());
      entry.link_kind = static_cast<int>(link_type_->Integer());
      if (entry.link_kind != kNotLinked) {
        loaded.any_link = true;
        loaded.kind_has_links[kind] = true;
      }
      loaded.entries.push_back(std::move(entry));
    }
    moved = Call([&] { return table.Skip(1); });
  }
  if (moved != 0 && moved != kEndOfFile) return moved;
  for (int k = previous_kind + 1; k <= kDescriptorKinds; ++k) {
    loaded.first[k] = loaded.entries.size();
  }
  std::error_code ignored;
  loaded.file_time = std::filesystem::last_write_time(file_name(), ignored);
  loaded.valid = true;
  cache_ = std::move(loaded);
  return 0;
}

const DescriptorCache& DescriptorDb::LoadedCache() {
  if (!cache_.valid) (void)LoadDescriptorCache();
  return cache_;
}

int DescriptorDb::AssignRow(std::string_view value, int kind, bool linked,
                            std::string_view linked_to, int link_kind) {
  std::string text = kind == kRateKind ? NormalizeRateText(value) : StoredValue(value);
  int result = descriptor_->AssignText(text);
  if (result == 0) result = type_->AssignInteger(kind);
  if (!linked) {
    if (result == 0) result = linked_to_->AssignText("");
    if (result == 0) result = link_type_->AssignInteger(kNotLinked);
  } else {
    std::string link =
        link_kind == kRateKind ? NormalizeRateText(linked_to) : StoredValue(linked_to);
    if (result == 0) result = linked_to_->AssignText(link);
    if (result == 0) result = link_type_->AssignInteger(link_kind);
  }
  return Checked(result);
}

int DescriptorDb::ReleaseAndFlush() {
  int result = Call([&] { return table()->Unlock(); });
  const int flushed = Call([&] { return table()->Flush(); });
  Invalidate();
  return result != 0 ? result : flushed;
}

int DescriptorDb::AddDescriptor(std::string_view value, int kind, bool linked,
                                std::string_view linked_to, int link_kind) {
  if (!is_open()) return kDescriptorIndexInconsistent;
  if (!IsKind(kind) || (linked && !IsKind(link_kind))) return engine::kErrorParameter;
  engine::Table& table = *this->table();
  int result = Call([&] { return table.AppendStart(); });
  if (result == 0) result = Call([&] { return table.Blank(); });
  if (result == 0) result = AssignRow(value, kind, linked, linked_to, link_kind);
  if (result == 0) {
    result = Call([&] { return table.Append(); });
    // The unique tag refused a copy of an existing descriptor: the list
    // already holds it, which is all the caller wanted.
    if (result == kDuplicateKey) result = 0;
  }
  const int released = ReleaseAndFlush();
  return result != 0 ? result : (released == kDuplicateKey ? 0 : released);
}

int DescriptorDb::RewriteDescriptor(std::string_view value, int kind, bool linked,
                                    std::string_view linked_to, int link_kind) {
  if (!is_open()) return kDescriptorIndexInconsistent;
  if (!IsKind(kind) || (linked && !IsKind(link_kind))) return engine::kErrorParameter;
  engine::Table& table = *this->table();
  const RecordNumber row = table.RecordNumber();
  int result = AssignRow(value, kind, linked, linked_to, link_kind);
  if (result != 0) return result;
  result = Call([&] { return table.Unlock(); });
  if (result == kDuplicateKey) {
    // The changed row now says what another row says: one of them goes.
    result = Call([&] { return table.Go(row); });
    if (result == 0) result = Call([&] { return table.Delete(); });
    const int released = Call([&] { return table.Unlock(); });
    if (result == 0) result = released;
  }
  const int flushed = Call([&] { return table.Flush(); });
  Invalidate();
  return result != 0 ? result : flushed;
}

int DescriptorDb::ReadCurrentDescriptor(Descriptor& descriptor) {
  if (!is_open() || table()->IsEof() || table()->RecordNumber() == 0) return kEndOfFile;
  descriptor.value = StoredValue(descriptor_->Text());
  descriptor.kind = static_cast<int>(type_->Integer());
  descriptor.linked_to = StoredValue(linked_to_->Text());
  descriptor.link_kind = static_cast<int>(link_type_->Integer());
  return 0;
}

std::size_t DescriptorDb::FindDescriptors(int kind, std::string_view value,
                                          std::vector<RecordNumber>& record_numbers) {
  record_numbers.clear();
  if (!is_open() || !IsKind(kind)) return 0;
  engine::Table& table = *this->table();
  const std::string wanted = StoredValue(value);
  int moved = Call([&] { return table.Seek(DescriptorSeekKey(kind, wanted)); });
  while ((moved == 0 || moved == engine::kKeyNotFound) && !table.IsEof() &&
         record_numbers.size() < kMaxFoundDescriptors) {
    if (type_->Integer() != kind) break;  // the order has left this kind
    if (platform::EqualsIgnoringCase(StoredValue(descriptor_->Text()), wanted)) {
      record_numbers.push_back(table.RecordNumber());
    }
    moved = Call([&] { return table.Skip(1); });
  }
  return record_numbers.size();
}

std::string DescriptorDb::ChoiceText(const Descriptor& descriptor,
                                     const DescriptorTexts& kind_names) {
  if (!descriptor.linked()) {
    return descriptor.value + " (" + MessageOrNumber(kChoiceNotLinked) + ")";
  }
  const std::string kind_name =
      IsKind(descriptor.link_kind) ? kind_names[descriptor.link_kind] : std::string();
  return app::FormatMessageText(MessageOrNumber(kChoiceLinked),
                                {descriptor.value, kind_name, descriptor.linked_to});
}

std::vector<RecordNumber> DescriptorDb::ChooseDescriptors(const DescriptorChooser& chooser,
                                                          const DescriptorTexts& kind_names,
                                                          int kind, std::string_view value) {
  std::vector<RecordNumber> found;
  if (FindDescriptors(kind, value, found) <= 1) return found;
  std::vector<std::string> rows;
  for (RecordNumber number : found) {
    Descriptor descriptor;
    if (Call([&] { return table()->Go(number); }) != 0 || ReadCurrentDescriptor(descriptor) != 0) {
      return {};
    }
    rows.push_back(ChoiceText(descriptor, kind_names));
  }
  std::vector<RecordNumber> chosen;
  if (!chooser) return chosen;
  for (std::size_t position : chooser(rows)) {
    if (position < found.size()) chosen.push_back(found[position]);
  }
  return chosen;
}

int DescriptorDb::DeleteDescriptorWithLinks(RecordNumber record_number) {
  if (!is_open()) return kDescriptorIndexInconsistent;
  engine::Table& table = *this->table();
  int result = Call([&] { return table.Go(record_number); });
  if (result != 0) return result;
  Descriptor deleted;
  if (ReadCurrentDescriptor(deleted) != 0) return kEndOfFile;
  if (!table.IsDeleted()) {
    result = Call([&] { return table.Delete(); });
    const int released = ReleaseAndFlush();
    if (result == 0) result = released;
    if (result != 0) return result;
  }

  // Rows are linked only to kinds before their own, so the linked rows lie
  // after this kind in the tag order. They are collected first and deleted
  // afterwards: a deleted row leaves the order, which would lose the walk.
  std::vector<RecordNumber> linked;
  std::string next_kind = " ";
  next_kind += static_cast<char>('0' + deleted.kind + 1);
  int moved = Call([&] { return table.Seek(next_kind); });
  while ((moved == 0 || moved == engine::kKeyNotFound) && !table.IsEof()) {
    if (link_type_->Integer() == deleted.kind &&
        platform::EqualsIgnoringCase(StoredValue(linked_to_->Text()), deleted.value)) {
      linked.push_back(table.RecordNumber());
    }
    moved = Call([&] { return table.Skip(1); });
  }
  if (moved < 0) return moved;
  for (RecordNumber number : linked) {
    result = DeleteDescriptorWithLinks(number);
    if (result != 0) return result;
  }
  return 0;
}

int DescriptorDb::DeleteDescriptorByValue(const DescriptorChooser& chooser,
                                          const DescriptorTexts& kind_names, int kind,
                                          std::string_view value) {
  std::vector<RecordNumber> chosen = ChooseDescriptors(chooser, kind_names, kind, value);
  if (chosen.empty()) return kNothingChosen;
  for (RecordNumber number : chosen) {
    const int result = DeleteDescriptorWithLinks(number);
    if (result != 0) return result;
  }
  return 0;
}

void DescriptorDb::FillDescriptorLists(DescriptorLists& lists, DescriptorTexts* selection,
                                       bool reset_lists, int from_kind, int to_kind,
                                       bool only_linked_kinds) {
  const DescriptorCache& cache = LoadedCache();
  const bool own_texts = selection == nullptr;
  DescriptorTexts& texts = own_texts ? current_ : *selection;
  from_kind = std::max(from_kind, 0);
  to_kind = std::min(to_kind, kDescriptorKinds - 1);
  auto contains = [](const std::vector<std::string>& list, std::string_view text) {
    return std::any_of(list.begin(), list.end(), [&](const std::string& item) {
      return platform::EqualsIgnoringCase(TrimBlanks(item), TrimBlanks(text));
    });
  };
  for (int kind = from_kind; kind <= to_kind; ++kind) {
    if (only_linked_kinds && !cache.kind_has_links[kind]) continue;
    std::vector<std::string>& list = lists.values[kind];
    if (reset_lists) list.clear();
    if (cache.valid) {
      for (std::size_t i = cache.first[kind]; i < cache.first[kind + 1]; ++i) {
        const Descriptor& entry = cache.entries[i];
        const bool offered =
            !entry.linked() ||
            (IsKind(entry.link_kind) &&
             platform::EqualsIgnoringCase(TrimBlanks(entry.linked_to),
                                          TrimBlanks(texts[entry.link_kind])));
        if (!offered) continue;
        if (std::find(list.begin(), list.end(), entry.value) == list.end()) {
          list.push_back(entry.value);
        }
        if (own_texts && TrimBlanks(texts[kind]).empty()) texts[kind] = entry.value;
      }
    }
    // A text that the list cannot offer, with nothing to offer instead, is
    // dropped so that the kinds after it are not filtered by it.
    if (!contains(list, texts[kind]) && list.empty()) texts[kind].clear();
  }
  for (int kind = from_kind; kind <= to_kind; ++kind) lists.texts[kind] = texts[kind];
}

void DescriptorDb::RefreshDescriptorLists(DescriptorLists& lists, int from_kind, int to_kind) {
  current_ = lists.texts;
  FillDescriptorLists(lists, nullptr, true, from_kind, to_kind, false);
}

}  // namespace qm::db
