#include "app/settings_catalog.h"

#include <cctype>
#include <climits>

#include "app/general_config.h"
#include "app/messages.h"
#include "app/settings.h"
#include "platform/paths.h"
#include "platform/text_case.h"

namespace qm::app {
namespace {

constexpr std::size_t kMaxPathLength = 255;
constexpr std::size_t kMaxUndocumentedLength = 255;

struct DefaultHeading {
  int width;
  std::string_view heading;  // empty: the descriptor name
};

// Column widths and headings of the record list, by column id.
constexpr std::array<DefaultHeading, 20> kColumns = {{
    {37, ""}, {37, ""}, {13, ""}, {37, ""}, {37, ""}, {20, ""},
    {10, "Date"}, {12, "From"}, {10, "Date"}, {12, "To"},
    {39, "Description"}, {12, "Edited?"}, {20, "Duration"}, {20, "Pause Duration"},
    {10, "Expense"}, {12, "Billable?"}, {10, "Invoice"}, {20, "Straight Duration"},
    {10, "Time Fee"}, {10, "Fee"},
}};

std::string TableText(int number, std::string_view fallback) {
  return std::string(MessageText(number).value_or(fallback));
}

class Catalogue {
 public:
  explicit Catalogue(SettingsFileKind file) : file_(file) {}

  Catalogue& Integer(std::string section, std::string key, int default_value,
                     std::string meaning, std::optional<int> minimum = std::nullopt,
                     std::optional<int> maximum = std::nullopt) {
    Add(std::move(section), std::move(key), SettingType::kInteger,
        std::to_string(default_value), 0, std::move(meaning));
    entries_.back().minimum = minimum;
    entries_.back().maximum = maximum;
    return *this;
  }
  Catalogue& Text(std::string section, std::string key, std::string default_value,
                  std::size_t max_length, std::string meaning) {
    return Add(std::move(section), std::move(key), SettingType::kText,
               std::move(default_value), max_length, std::move(meaning));
  }
  Catalogue& Path(std::string section, std::string key, std::string default_value,
                  std::string meaning) {
    return Add(std::move(section), std::move(key), SettingType::kPath,
               std::move(default_value), kMaxPathLength, std::move(meaning));
  }
  Catalogue& IntList(std::string section, std::string key, std::vector<int> default_value,
                     std::size_t count, std::string meaning) {
    return Add(std::move(section), std::move(key), SettingType::kIntList,
               IntListText(default_value), count, std::move(meaning));
  }
  void AppendTo(std::vector<SettingDefinition>& out) {
    for (SettingDefinition& entry : entries_) out.push_back(std::move(entry));
  }

 private:
  Catalogue& Add(std::string section, std::string key, SettingType type,
                 std::string default_value, std::size_t max_length, std::string meaning) {
    SettingDefinition entry;
    entry.file = file_;
    entry.section = std::move(section);
    entry.key = std::move(key);
    entry.type = type;
    entry.default_value = std::move(default_value);
    entry.max_length = max_length;
    entry.meaning = std::move(meaning);
    entries_.push_back(std::move(entry));
    return *this;
  }

  SettingsFileKind file_;
  std::vector<SettingDefinition> entries_;
};

void AddFont(Catalogue& user, const std::string& section, std::string_view face,
             int height_in_twips, const std::string& what) {
  user.Text(section, "Name", std::string(face), 31, what + " face");
  for (std::string_view key : {"CharSet", "PitchAndFamily", "Height", "Escapement",
                               "Weight", "Italic", "Underline", "StrikeOut"}) {
    user.Integer(section, std::string(key), 0, what);
  }
  user.Integer(section, "HeightInTwips", height_in_twips, what + " height in twips");
}

void AddProgramSettings(const SettingsContext& context, std::vector<SettingDefinition>& out) {
  const std::string& program = context.program_directory;
  const std::string& support = context.support_directory;
  Catalogue file(SettingsFileKind::kProgram);
  file.Integer("Version Info", "Version", 100, "written at every normal exit");
  const auto& names = DefaultDescriptorNames();
  for (int i = 0; i < 6; ++i) {
    file.Text("Settings", "DescriptorName" + std::to_string(i + 1), std::string(names[i]),
              30, "the user's name of descriptor kind " + std::to_string(i + 1));
  }
  file.Integer("Settings", "AllowRunTimeChanges", 1,
               "descriptors may be added while entering records")
      .Integer("Settings", "PackOnClose", 1, "pack the database when the last user closes it")
      .Integer("Settings", "SafeMode", 0, "flush every write to disk")
      .Integer("Settings", "SingleUser", 0, "skip locks and the shared support entries")
      .Integer("Settings", "NumLockAttempts", 60, "tries of a refused lock", 0)
      .Integer("Settings", "LockDelay", 10, "hundredths of a second between lock tries", 0)
      .Path("Settings", "Descriptors File", platform::JoinPath(support, "descript.dbf"),
            "descriptor file")
      .Path("Special", "Support Directory", platform::JoinPath(program, "support"),
            "where user settings and shared files live")
      .Path("Special", "LastUsedFile", "", "last database used")
      .Path("Special", "Client File", platform::JoinPath(support, "clients.dbf"),
            "clients file")
      .Path("Special", "Invoice Path", platform::JoinPath(program, "invoices"),
            "where invoices are written")
      .Path("Special", "Template Directory", platform::JoinPath(program, "template"),
            "invoice templates")
      .Path("Special", "QuickenFile", platform::JoinPath(support, "invoices.qif"),
            "home accounting transfer file")
      .Path("Special", "QuickbooksFile", platform::JoinPath(support, "invoices.iif"),
            "business accounting transfer file")
      .Text("Special", "AccountsReceivable", TableText(396, "Accounts Receivable"), 255,
            "accounts receivable account name")
      .Text("Special", "ItemName", "", 255, "invoice item name")
      .Text("Special", "ItemDescription", TableText(397, "Work Tracked by Quillmark"), 255,
            "invoice item description")
      .Path("Special", "TourFile", platform::JoinPath(program, "tour.txt"), "guided tour")
      .Integer("TipOfDay", "ShowAtStartup", 1, "copied into the user file at exit")
      .Integer("InternalError", "Current", 0, "index of the last diagnostic entry", 0, 39);
  file.AppendTo(out);
}

void AddUserSettings(const SettingsContext& context, std::vector<SettingDefinition>& out) {
  const std::string& program = context.program_directory;
  Catalogue file(SettingsFileKind::kUser);
  file.Text("UserInfo", "UserName", "", kMaxUserNameLength, "owner of the file")
      .Integer("Settings", "ShowTaskCard", 0, "open the stopwatch at start-up")
      .Path("Settings", "CurrentFile", platform::JoinPath(program, "untitled.dbf"),
            "database opened at start-up")
      .Integer("Settings", "DurationFormat", 4, "duration format", 0, 7)
      .Integer("Settings", "DailyGoal", 28800, "seconds", 0)
      .Path("Settings", "BackupFileName", platform::JoinPath(program, "backup/quillmk.tbk"),
            "default target of the backup command")
      .Integer("TipOfDay", "ShowAtStartup", 1, "show the tip window at start-up")
      .Integer("GuidedTour", "ShowTourAtStartup", 1, "show the guided tour at start-up")
      .Path("Environment", "LastFile", "", "last environment file")
      .Integer("Index", "Enabled", 0, "filter enabled");
  for (int row = 0; row < 11; ++row) {
    const std::string n = std::to_string(row);
    file.Integer("Index", "Field" + n, 6, "filter row field code")
        .Integer("Index", "Comparison" + n, 0, "filter row comparison code")
        .Integer("Index", "Link" + n, 0, "filter row link code")
        .Text("Index", "Target" + n, "", 60, "filter row compare-to text");
  }
  file.Integer("Index", "Ascending", 1, "sort direction");
  const int sort_defaults[4] = {7, 11, 11, 11};
  for (int level = 0; level < 4; ++level) {
    file.Integer("Index", "SortField" + std::to_string(level), sort_defaults[level],
                 "sort level code");
  }
  std::vector<int> widths;
  for (const DefaultHeading& column : kColumns) widths.push_back(column.width);
  file.IntList("Layout", "Width", widths, 20, "column widths")
      .IntList("Layout", "Order", {6, 7, 9, 2, 10, 12, -1}, 21, "column order")
      .Integer("Layout", "MultiLine", 0, "description on a separate line")
      .Integer("Layout", "LinesPerTask", 3, "lines per record")
      .Integer("Layout", "DescripBoxWidth", 50, "characters")
      .Integer("Layout", "DescripBoxIndent", 14, "characters")
      .Integer("Layout", "InchesBetweenColumns", 10, "hundredths of an inch")
      .Integer("Layout", "GroupHighlighting", 0, "hanging indent of groups");
  for (std::size_t id = 0; id < kColumns.size(); ++id) {
    std::string heading = id < 6 ? context.descriptor_names[id]
                                 : std::string(kColumns[id].heading);
    file.Text("Layout", "Heading" + std::to_string(id), heading, 34, "column heading");
  }
  file.Integer("Report", "DisplayPrintTime", 1, "print the time")
      .Integer("Report", "DisplaySummary", 1, "print the summary")
      .Integer("Report", "DisplayCriteria", 1, "print the filter")
      .Integer("Report", "Border", 0, "page border")
      .Integer("Report", "LeftMargin", 50, "margin")
      .Integer("Report", "TopMargin", 50, "margin")
      .Integer("Report", "RightMargin", 50, "margin")
      .Integer("Report", "BottomMargin", 50, "margin")
      .Text("Report", "Title", "Time Report", 128, "report title");
  AddFont(file, "TaskFont", "Arial", 160, "record font");
  AddFont(file, "ReportTitleFont", "Times New Roman", 360, "report title font");
  for (const GeneralConfigDefinition& entry : GeneralConfigTable()) {
    std::optional<int> minimum, maximum;
    if (entry.key == "IconType") minimum = 0, maximum = 3;
    if (entry.key == "PauseHandling" || entry.key == "DescriptionHandling") {
      minimum = 0, maximum = 2;
    }
    if (entry.key == "NumSubtotalLevels") minimum = 0, maximum = 3;
    if (entry.key == "PollPeriod" || entry.key == "MinimumDuration" ||
        entry.key == "DurationIncrement" || entry.key == "DefaultTimeBetweenTasks") {
      minimum = 0;
    }
    file.Integer(std::string(kGeneralConfigSection), std::string(entry.key),
                 entry.default_value, "option switch", minimum, maximum);
  }
  file.AppendTo(out);
}

bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return true;
  }
  return false;
}

bool HasSurroundingBlanks(std::string_view text) {
  return !text.empty() && (text.front() == ' ' || text.back() == ' ');
}

std::optional<std::string> CheckInteger(const SettingDefinition& definition,
                                        std::string_view value) {
  std::size_t pos = 0;
  if (pos < value.size() && (value[pos] == '-' || value[pos] == '+')) ++pos;
  if (pos == value.size()) {
    return "The value '" + std::string(value) + "' of " + definition.key +
           " is not a whole number.";
  }
  long long number = 0;
  for (std::size_t i = pos; i < value.size(); ++i) {
    if (value[i] < '0' || value[i] > '9') {
      return "The value '" + std::string(value) + "' of " + definition.key +
             " is not a whole number.";
    }
    number = number * 10 + (value[i] - '0');
    if (number > static_cast<long long>(INT_MAX) + 1) break;
  }
  if (value[0] == '-') number = -number;
  if (number > INT_MAX || number < INT_MIN) {
    return "The value " + std::string(value) + " of " + definition.key + " is too large.";
  }
  int n = static_cast<int>(number);
  if ((definition.minimum && n < *definition.minimum) ||
      (definition.maximum && n > *definition.maximum)) {
    std::string range = definition.maximum
                            ? std::to_string(*definition.minimum) + " to " +
                                  std::to_string(*definition.maximum)
                            : std::to_string(*definition.minimum) + " or more";
    return "The value " + std::string(value) + " of " + definition.key +
           " is out of range; it must be " + range + ".";
  }
  return std::nullopt;
}

std::optional<std::string> CheckIntList(const SettingDefinition& definition,
                                        std::string_view value) {
  std::size_t count = 0;
  std::size_t pos = 0;
  SettingDefinition element = definition;
  element.minimum.reset();
  element.maximum.reset();
  while (pos < value.size()) {
    std::size_t end = value.find_first_of(", ", pos);
    if (end == std::string_view::npos) end = value.size();
    if (end > pos) {
      if (auto problem = CheckInteger(element, value.substr(pos, end - pos))) return problem;
      ++count;
    }
    pos = end + 1;
  }
  if (count > definition.max_length) {
    return definition.key + " holds at most " + std::to_string(definition.max_length) +
           " values; " + std::to_string(count) + " were given.";
  }
  return std::nullopt;
}

}  // namespace

const std::array<std::string_view, 6>& DefaultDescriptorNames() {
  static constexpr std::array<std::string_view, 6> kNames = {
      "Person", "Client", "Project", "Subproject", "Activity", "Hourly Rate"};
  return kNames;
}

std::vector<SettingDefinition> DocumentedSettings(const SettingsContext& context) {
  std::vector<SettingDefinition> catalogue;
  AddProgramSettings(context, catalogue);
  AddUserSettings(context, catalogue);
  return catalogue;
}

const SettingDefinition* FindSetting(const std::vector<SettingDefinition>& catalogue,
                                     SettingsFileKind file, std::string_view section,
                                     std::string_view key) {
  for (const SettingDefinition& entry : catalogue) {
    if (entry.file == file && platform::EqualsIgnoringCase(entry.section, section) &&
        platform::EqualsIgnoringCase(entry.key, key)) {
      return &entry;
    }
  }
  return nullptr;
}

std::optional<std::string> CheckSettingName(std::string_view section, std::string_view key) {
  if (section.empty() || HasControlCharacter(section) || HasSurroundingBlanks(section) ||
      section.find(']') != std::string_view::npos) {
    return "'" + std::string(section) +
           "' cannot be a section name: it must be one line of text without \"]\" "
           "or surrounding blanks.";
  }
  if (key.empty() || HasControlCharacter(key) || HasSurroundingBlanks(key) ||
      key.find('=') != std::string_view::npos || key.front() == ';' || key.front() == '[') {
    return "'" + std::string(key) +
           "' cannot be a key name: it must be one line of text without \"=\", "
           "surrounding blanks or a leading \";\" or \"[\".";
  }
  return std::nullopt;
}

std::optional<std::string> CheckSettingValue(const SettingDefinition* definition,
                                             std::string_view section,
                                             std::string_view key,
                                             std::string_view value) {
  if (HasControlCharacter(value)) {
    return "The value of " + std::string(section) + "/" + std::string(key) +
           " must be one line of text without control characters.";
  }
  if (!definition) {
    if (value.size() > kMaxUndocumentedLength) {
      return "The value of " + std::string(section) + "/" + std::string(key) + " is " +
             std::to_string(value.size()) + " characters long; at most " +
             std::to_string(kMaxUndocumentedLength) + " are allowed.";
    }
    return std::nullopt;
  }
  switch (definition->type) {
    case SettingType::kInteger:
      return CheckInteger(*definition, value);
    case SettingType::kIntList:
      return CheckIntList(*definition, value);
    case SettingType::kText:
    case SettingType::kPath:
      if (value.size() > definition->max_length) {
        return "The value of " + definition->section + "/" + definition->key + " is " +
               std::to_string(value.size()) + " characters long; at most " +
               std::to_string(definition->max_length) + " are allowed.";
      }
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace qm::app
