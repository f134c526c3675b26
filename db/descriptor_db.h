// DescriptorDb: the shared list of descriptor values (people, clients,
// projects, subprojects, activities, hourly rates) that every database and
// every user of an installation picks from.
//
// The list lives in its own table, descript.dbf, beside the support files.
// A row may be linked to a row of another kind (a project to its client);
// the entry lists then offer, for the linked kind, only the values that are
// unlinked or linked to the value chosen for the other kind.
//
// Its production index holds one tag, "DESCTAG", on kind, upper-cased value,
// upper-cased link and link kind, unique with refusal, so that the same
// descriptor cannot be stored twice and the rows read by kind. Writes take
// the engine's lock for one row, release it at once and flush, so that
// other users see a change on their next cache load.
//
// The cache holds every row in tag order; it is filled on demand and marked
// invalid by every change this program makes.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/db_table.h"
#include "engine/record_source.h"
#include "engine/table.h"

namespace qm::db {

inline constexpr int kDescriptorKinds = 6;
inline constexpr int kRateKind = 5;
inline constexpr int kNotLinked = -1;
inline constexpr std::size_t kDescriptorValueLength = 35;
// FindDescriptors collects at most this many rows.
inline constexpr std::size_t kMaxFoundDescriptors = 32;

inline constexpr std::string_view kDescriptorTagName = "DESCTAG";
inline constexpr std::string_view kDescriptorFileName = "descript.dbf";

// Results besides 0 and the engine's.
inline constexpr int kOutOfMemory = 122;
inline constexpr int kNothingChosen = 272;
inline constexpr int kDescriptorIndexInconsistent = 398;

// The table's fields and its tag, as the file stores them.
const std::vector<engine::FieldSpec>& DescriptorFields();
const engine::TagSpec& DescriptorTag();

// One row: values trimmed and cut to 35 characters; an empty value is held
// as a single blank, as the lists show it.
struct Descriptor {
  std::string value;
  int kind = 0;
  std::string linked_to;
  int link_kind = kNotLinked;

  bool linked() const { return link_kind != kNotLinked; }
};

// What the cache knows about all rows, in "DESCTAG" order.
struct DescriptorCache {
  std::vector<Descriptor> entries;
  // The entries of kind k are [first[k], first[k + 1]); first[6] = count.
  std::array<std::size_t, kDescriptorKinds + 1> first{};
  std::array<bool, kDescriptorKinds> kind_has_links{};
  bool any_link = false;
  std::filesystem::file_time_type file_time{};
  bool valid = false;

  std::size_t count() const { return entries.size(); }
};

// The six texts of a record's descriptors, as a dialog's boxes hold them.
using DescriptorTexts = std::array<std::string, kDescriptorKinds>;

// What the six combo boxes of a record dialog show: the values each offers
// and the text each box holds. A dialog binds to it; tests read it.
struct DescriptorLists {
  std::array<std::vector<std::string>, kDescriptorKinds> values;
  DescriptorTexts texts;
};

// Picks among several rows of one value. Receives one description per row
// (message 298 or the "Not Linked" form) and returns the positions chosen;
// none for Cancel.
using DescriptorChooser =
    std::function<std::vector<std::size_t>(const std::vector<std::string>& rows)>;

// The money text that a rate is stored as: read as an amount, written again
// without the currency symbol, at most 35 characters ("1,234.5" is stored
// as "1,234.50").
std::string NormalizeRateText(std::string_view text);

// The descriptor file's path: `configured` ("Settings"/"Descriptors File")
// when it is not empty, else descript.dbf in `support_directory`.
std::string DescriptorFilePath(const std::string& configured,
                               const std::string& support_directory);

class DescriptorDb : public engine::DbTable {
 public:
  DescriptorDb(engine::TableEngine& engine, engine::TableReporter& reporter);

  // Clears the cache and the current texts, rebuilds an index that another
  // program left stale, opens (or creates) the table and selects "DESCTAG".
  // 0, 288 when the table could not be opened or created, or the report's
  // result for a missing field.
  int OpenDescriptorFile(const std::string& path);
  int CloseDescriptorFile();
  const std::string& DescriptorFilePath() const { return file_name(); }

  // Fills the cache from the table. 0, 122, or 398 when the table is not
  // open or the index yields more rows than the table holds.
  int LoadDescriptorCache();
  const DescriptorCache& cache() const { return cache_; }
  // The cache, loaded first when it is not valid. Empty after a failure.
  const DescriptorCache& LoadedCache();

  // Appends a row. A duplicate of an existing row is refused by the tag and
  // not stored; that is not an error. 0, the code of a failure, or
  // kErrorParameter for a kind outside 0-5 (nothing is written).
  int AddDescriptor(std::string_view value, int kind, bool linked, std::string_view linked_to,
                    int link_kind);
  // Rewrites the current row; a row that would duplicate another is
  // deleted instead.
  int RewriteDescriptor(std::string_view value, int kind, bool linked,
                        std::string_view linked_to, int link_kind);
  // The current row.
  int ReadCurrentDescriptor(Descriptor& descriptor);

  // The rows of `kind` whose value equals `value` without regard to case,
  // at most 32, in tag order. Returns their count.
  std::size_t FindDescriptors(int kind, std::string_view value,
                              std::vector<engine::RecordNumber>& record_numbers);
  // FindDescriptors, and with several rows lets `chooser` pick among them;
  // `kind_names` names the linked-to kinds in the row texts.
  std::vector<engine::RecordNumber> ChooseDescriptors(const DescriptorChooser& chooser,
                                                      const DescriptorTexts& kind_names,
                                                      int kind, std::string_view value);
  // How ChooseDescriptors describes one row.
  static std::string ChoiceText(const Descriptor& descriptor, const DescriptorTexts& kind_names);

  // Deletes row `record_number` and, recursively, every row linked to it.
  // Links are followed to kinds after the deleted row's own kind only.
  int DeleteDescriptorWithLinks(engine::RecordNumber record_number);
  // ChooseDescriptors, then DeleteDescriptorWithLinks for each row chosen;
  // 272 when nothing was chosen.
  int DeleteDescriptorByValue(const DescriptorChooser& chooser, const DescriptorTexts& kind_names,
                              int kind, std::string_view value);

  // Fills `lists` for kinds `from_kind` to `to_kind` from the cache (loaded
  // first when it is not valid). A kind's list offers its unlinked values
  // and those linked to the text of the linked-to kind. With `selection`
  // null the object's own current texts are used and the first value of an
  // empty kind becomes its text, so that the kinds after it are filtered by
  // it. With `reset_lists` off, values are added to what a list holds.
  // `only_linked_kinds` fills only kinds that have links.
  void FillDescriptorLists(DescriptorLists& lists, DescriptorTexts* selection, bool reset_lists,
                           int from_kind, int to_kind, bool only_linked_kinds);
  // Takes the texts of `lists` as the current texts, then fills.
  void RefreshDescriptorLists(DescriptorLists& lists, int from_kind, int to_kind);
  DescriptorTexts& current_texts() { return current_; }

 private:
  int AssignRow(std::string_view value, int kind, bool linked, std::string_view linked_to,
                int link_kind);
  int ReleaseAndFlush();
  void Invalidate() { cache_.valid = false; }
  bool LookUpFields();

  std::optional<engine::Field> descriptor_;
  std::optional<engine::Field> type_;
  std::optional<engine::Field> linked_to_;
  std::optional<engine::Field> link_type_;
  DescriptorCache cache_;
  DescriptorTexts current_;
};

// The key under which "DESCTAG" files a row of `kind` with `value` (and no
// more): a blank, the digit of the kind, the value upper-cased and padded.
std::string DescriptorSeekKey(int kind, std::string_view value);

}  // namespace qm::db
