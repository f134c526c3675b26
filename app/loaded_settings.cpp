#include "app/loaded_settings.h"

#include "app/error_reporter.h"
#include "app/settings.h"
#include "app/settings_catalog.h"
#include "platform/paths.h"

namespace qm::app {
namespace {

constexpr std::size_t kDescriptorNameLength = 30;
constexpr std::size_t kFontNameLength = 31;
constexpr std::size_t kHeadingLength = 35;
constexpr std::size_t kReportTitleLength = 128;

constexpr int kDefaultWidths[20] = {37, 37, 13, 37, 37, 20, 10, 12, 10, 12,
                                    39, 12, 20, 20, 10, 12, 10, 20, 10, 10};
constexpr const char* kBuiltInHeadings[20] = {
    "", "", "", "", "", "", "Date", "From", "Date", "To", "Description", "Edited?",
    "Duration", "Pause Duration", "Expense", "Billable?", "Invoice", "Straight Duration",
    "Time Fee", "Fee"};

struct FontKey {
  const char* key;
  int FontSettings::*field;
};
constexpr FontKey kFontKeys[] = {
    {"CharSet", &FontSettings::char_set},     {"PitchAndFamily", &FontSettings::pitch_and_family},
    {"Height", &FontSettings::height},        {"Escapement", &FontSettings::escapement},
    {"Weight", &FontSettings::weight},        {"Italic", &FontSettings::italic},
    {"Underline", &FontSettings::underline},  {"StrikeOut", &FontSettings::strike_out},
    {"HeightInTwips", &FontSettings::height_in_twips},
};

struct LayoutKey {
  const char* key;
  int LayoutSettings::*field;
};
constexpr LayoutKey kLayoutKeys[] = {
    {"MultiLine", &LayoutSettings::multi_line},
    {"LinesPerTask", &LayoutSettings::lines_per_task},
    {"DescripBoxWidth", &LayoutSettings::descrip_box_width},
    {"DescripBoxIndent", &LayoutSettings::descrip_box_indent},
    {"InchesBetweenColumns", &LayoutSettings::inches_between_columns},
    {"GroupHighlighting", &LayoutSettings::group_highlighting},
};

FontSettings LoadFont(CSettings& user, const char* section, FontSettings font) {
  font.name = user.GetString(section, "Name", font.name, kFontNameLength);
  for (const FontKey& entry : kFontKeys) {
    font.*entry.field = user.GetInt(section, entry.key, font.*entry.field);
  }
  return font;
}

void SaveChangedFont(CSettings& user, const char* section, const FontSettings& font,
                     const FontSettings& loaded) {
  if (font.name != loaded.name) (void)user.WriteString(section, "Name", font.name);
  for (const FontKey& entry : kFontKeys) {
    if (font.*entry.field != loaded.*entry.field) {
      (void)user.WriteInt(section, entry.key, font.*entry.field);
    }
  }
}

// A stored list shorter than the default keeps the defaults after it.
void LoadList(CSettings& user, const char* key, std::vector<int>& values) {
  std::vector<int> stored = user.GetIntList("Layout", key, values.size());
  for (std::size_t i = 0; i < stored.size(); ++i) values[i] = stored[i];
}

LayoutSettings LoadLayout(CSettings& user, LayoutSettings layout) {
  LoadList(user, "Width", layout.widths);
  LoadList(user, "Order", layout.order);
  for (std::size_t id = 0; id < layout.headings.size(); ++id) {
    layout.headings[id] = user.GetString("Layout", "Heading" + std::to_string(id),
                                         layout.headings[id], kHeadingLength);
  }
  for (const LayoutKey& entry : kLayoutKeys) {
    layout.*entry.field = user.GetInt("Layout", entry.key, layout.*entry.field);
  }
  return layout;
}

void SaveChangedLayout(CSettings& user, const LayoutSettings& layout,
                       const LayoutSettings& loaded) {
  if (layout.widths != loaded.widths) (void)user.WriteIntList("Layout", "Width", layout.widths);
  if (layout.order != loaded.order) (void)user.WriteIntList("Layout", "Order", layout.order);
  for (std::size_t id = 0; id < layout.headings.size(); ++id) {
    if (layout.headings[id] != loaded.headings[id]) {
      (void)user.WriteString("Layout", "Heading" + std::to_string(id), layout.headings[id]);
    }
  }
  for (const LayoutKey& entry : kLayoutKeys) {
    if (layout.*entry.field != loaded.*entry.field) {
      (void)user.WriteInt("Layout", entry.key, layout.*entry.field);
    }
  }
}

}  // namespace

LayoutSettings DefaultLayout(const std::array<std::string, 6>& descriptor_names) {
  LayoutSettings layout;
  layout.widths.assign(std::begin(kDefaultWidths), std::end(kDefaultWidths));
  layout.order = {6, 7, 9, 2, 10, 12};
  layout.order.resize(21, -1);
  for (std::size_t id = 0; id < layout.headings.size(); ++id) {
    layout.headings[id] = id < 6 ? descriptor_names[id] : kBuiltInHeadings[id];
  }
  return layout;
}

LoadedSettings LoadSettings(CSettings& program, CSettings& user, const LoadOptions& options) {
  LoadedSettings s;
  s.show_task_card = user.GetInt("Settings", "ShowTaskCard", 0);
  s.current_file =
      options.database_from_command_line.empty()
          ? user.GetString("Settings", "CurrentFile",
                           platform::JoinPath(options.program_directory, "untitled.dbf"))
          : options.database_from_command_line;
  s.duration_format = user.GetInt("Settings", "DurationFormat", 4);
  // A hand-edited format outside the eight the program knows would pick no
  // text form at all.
  if (s.duration_format < 0 || s.duration_format > 7) s.duration_format = 4;
  s.daily_goal = user.GetInt("Settings", "DailyGoal", 28800);

  const auto& default_names = DefaultDescriptorNames();
  for (std::size_t i = 0; i < s.descriptor_names.size(); ++i) {
    std::string name = program.GetString("Settings", "DescriptorName" + std::to_string(i + 1),
                                          "", kDescriptorNameLength);
    s.descriptor_names[i] = name.empty() ? std::string(default_names[i]) : name;
  }

  s.task_font = LoadFont(user, "TaskFont", FontSettings{.name = "Arial", .height_in_twips = 160});
  ReportSettings& report = s.report;
  report.display_print_time = user.GetInt("Report", "DisplayPrintTime", 1);
  report.display_summary = user.GetInt("Report", "DisplaySummary", 1);
  report.display_criteria = user.GetInt("Report", "DisplayCriteria", 1);
  report.border = user.GetInt("Report", "Border", 0);
  report.left_margin = user.GetInt("Report", "LeftMargin", 50);
  report.top_margin = user.GetInt("Report", "TopMargin", 50);
  report.right_margin = user.GetInt("Report", "RightMargin", 50);
  report.bottom_margin = user.GetInt("Report", "BottomMargin", 50);
  report.title = user.GetString("Report", "Title", "Time Report", kReportTitleLength);
  s.report_title_font = LoadFont(
      user, "ReportTitleFont", FontSettings{.name = "Times New Roman", .height_in_twips = 360});
  s.layout = LoadLayout(user, DefaultLayout(s.descriptor_names));
  s.reference = {s.show_task_card, s.task_font, s.report_title_font, s.layout};

  s.backup_file_name = user.GetString(
      "Settings", "BackupFileName",
      platform::JoinPath(options.program_directory, "backup/quillmk.tbk"));

  s.allow_run_time_changes = program.GetInt("Settings", "AllowRunTimeChanges", 1);
  s.pack_on_close = program.GetInt("Settings", "PackOnClose", 1);
  s.safe_mode = program.GetInt("Settings", "SafeMode", 0);
  s.single_user = program.GetInt("Settings", "SingleUser", 0);
  s.general.Load(user);
  return s;
}

int SaveSettings(CSettings& program, CSettings& user, LoadedSettings& s,
                 const std::string& open_database, int print_mode, ErrorReporter& reporter) {
  if (!program.WriteInt("Version Info", "Version", 100)) {
    return reporter.ShowMessageWithText(109, program.path());
  }
  // Past the version key a failed write loses one value, not the others.
  if (s.show_task_card != s.reference.show_task_card) {
    (void)user.WriteInt("Settings", "ShowTaskCard", s.show_task_card);
  }
  (void)user.WriteInt("Settings", "DurationFormat", s.duration_format);
  (void)user.WriteInt("Settings", "DailyGoal", s.daily_goal);
  (void)user.WriteInt("TipOfDay", "ShowAtStartup", program.GetInt("TipOfDay", "ShowAtStartup", 1));

  for (std::size_t i = 0; i < s.descriptor_names.size(); ++i) {
    (void)program.WriteString("Settings", "DescriptorName" + std::to_string(i + 1),
                              s.descriptor_names[i]);
  }

  SaveChangedFont(user, "TaskFont", s.task_font, s.reference.task_font);
  SaveChangedLayout(user, s.layout, s.reference.layout);
  const ReportSettings& report = s.report;
  (void)user.WriteInt("Report", "DisplayPrintTime", report.display_print_time);
  (void)user.WriteInt("Report", "DisplaySummary", report.display_summary);
  (void)user.WriteInt("Report", "DisplayCriteria", report.display_criteria);
  (void)user.WriteInt("Report", "Border", report.border);
  (void)user.WriteInt("Report", "LeftMargin", report.left_margin);
  (void)user.WriteInt("Report", "TopMargin", report.top_margin);
  (void)user.WriteInt("Report", "RightMargin", report.right_margin);
  (void)user.WriteInt("Report", "BottomMargin", report.bottom_margin);
  (void)user.WriteString("Report", "Title", report.title);
  SaveChangedFont(user, "ReportTitleFont", s.report_title_font, s.reference.report_title_font);

  (void)user.WriteString("Settings", "CurrentFile", open_database);
  (void)program.WriteString("Special", "LastUsedFile", open_database);
  (void)user.WriteString("Settings", "BackupFileName", s.backup_file_name);
  (void)program.WriteInt("Settings", "AllowRunTimeChanges", s.allow_run_time_changes);

  s.general.Set(GeneralConfigKey::kPrintMode, print_mode);
  (void)s.general.Save(user, false);
  (void)program.Flush();
  s.reference = {s.show_task_card, s.task_font, s.report_title_font, s.layout};
  return 0;
}

core::DurationSettings DurationSettingsFrom(const LoadedSettings& s) {
  core::DurationSettings d;
  d.MinimumDuration = s.general.Get(GeneralConfigKey::kMinimumDuration);
  d.DurationIncrement = s.general.Get(GeneralConfigKey::kDurationIncrement);
  d.RoundBeforeMultiplying = s.general.Get(GeneralConfigKey::kRoundBeforeMultiplying);
  d.DurationFormat = s.duration_format;
  d.PauseHandling = s.general.Get(GeneralConfigKey::kPauseHandling);
  d.DurationMode = s.general.Get(GeneralConfigKey::kDurationMode);
  d.DailyGoal = s.daily_goal;
  return d;
}

}  // namespace qm::app
