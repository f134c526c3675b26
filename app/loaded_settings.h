// The settings a run holds in memory from start-up to a normal exit.
//
// LoadSettings reads them once both settings files are bound; SaveSettings
// writes them back when the program ends normally (an abnormal end saves
// nothing). A copy of the layout, the fonts and "ShowTaskCard" as loaded is
// kept, so that the save writes only what the person changed and a value
// edited by hand in the file meanwhile survives.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/general_config.h"
#include "core/duration_settings.h"

namespace qm::app {

class CSettings;
class ErrorReporter;

// A logical font as the settings store it.
struct FontSettings {
  std::string name;  // face, up to 31 characters
  int char_set = 0;
  int pitch_and_family = 0;
  int height = 0;
  int escapement = 0;
  int weight = 0;
  int italic = 0;
  int underline = 0;
  int strike_out = 0;
  int height_in_twips = 0;
  bool operator==(const FontSettings&) const = default;
};

// Section "Report" of the user settings file.
struct ReportSettings {
  int display_print_time = 1;
  int display_summary = 1;
  int display_criteria = 1;
  int border = 0;
  int left_margin = 50;
  int top_margin = 50;
  int right_margin = 50;
  int bottom_margin = 50;
  std::string title = "Time Report";  // up to 128 characters
};

// Section "Layout" of the user settings file: the record list's columns.
struct LayoutSettings {
  std::vector<int> widths;  // 20, by column id
  std::vector<int> order;   // 21: column ids left to right, ended by -1
  std::array<std::string, 20> headings;
  int multi_line = 0;
  int lines_per_task = 3;
  int descrip_box_width = 50;
  int descrip_box_indent = 14;
  int inches_between_columns = 10;
  int group_highlighting = 0;
  bool operator==(const LayoutSettings&) const = default;
};

struct LoadedSettings {
  // User file, section "Settings".
  int show_task_card = 0;
  std::string current_file;
  int duration_format = 4;
  int daily_goal = 28800;
  std::string backup_file_name;
  // Program file, section "Settings".
  std::array<std::string, 6> descriptor_names;
  int allow_run_time_changes = 1;
  int pack_on_close = 1;
  int safe_mode = 0;
  int single_user = 0;
  // User file.
  FontSettings task_font;
  FontSettings report_title_font;
  ReportSettings report;
  LayoutSettings layout;
  GeneralConfig general;

  // As loaded: what a save compares against.
  struct Reference {
    int show_task_card = 0;
    FontSettings task_font;
    FontSettings report_title_font;
    LayoutSettings layout;
  } reference;
};

struct LoadOptions {
  std::string program_directory;
  // A database named on the command line replaces "CurrentFile".
  std::string database_from_command_line;
};

// The built-in layout: default widths, order and headings (columns 0 to 5
// are headed by the descriptor names).
LayoutSettings DefaultLayout(const std::array<std::string, 6>& descriptor_names);

// Reads everything from the two bound files (defaults where a file has
// nothing) and keeps the reference copy.
LoadedSettings LoadSettings(CSettings& program, CSettings& user, const LoadOptions& options);

// The exit sequence. When the version key of the program file cannot be
// written, shows message 109 and saves nothing else. `open_database` is the
// database open at exit; `print_mode` the printing layer's last mode.
// Returns 0 or 109. Afterwards the reference copy is the saved state.
int SaveSettings(CSettings& program, CSettings& user, LoadedSettings& settings,
                 const std::string& open_database, int print_mode, ErrorReporter& reporter);

// The values the time arithmetic follows, from the loaded settings.
core::DurationSettings DurationSettingsFrom(const LoadedSettings& settings);

}  // namespace qm::app
