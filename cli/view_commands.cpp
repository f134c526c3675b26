#include "cli/view_commands.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/error_reporter.h"
#include "app/loaded_settings.h"
#include "cli/command_replies.h"
#include "cli/db_commands.h"
#include "cli/json_text.h"
#include "cli/listing_text.h"
#include "core/date_text.h"
#include "platform/text_case.h"
#include "view/cell_text.h"
#include "view/column_dialog_models.h"
#include "view/column_layout.h"
#include "view/columns.h"
#include "view/record_filter.h"
#include "view/record_list_model.h"
#include "view/sort_order.h"
#include "view/subtotals.h"
#include "view/summary.h"

namespace qm::cli {
namespace {

constexpr std::string_view kListUsage = "list [--columns ID,...] [--format table|csv|json]";
constexpr std::string_view kSummaryUsage = "summary [--json]";
constexpr std::string_view kSubtotalsUsage = "subtotals [--json]";
constexpr std::string_view kColumnsShowUsage = "columns show [--json]";
constexpr std::string_view kColumnsSetUsage = "columns set ID,...";
constexpr std::string_view kColumnsHeadingUsage = "columns heading ID TEXT";
constexpr std::string_view kColumnsWidthUsage = "columns width ID N";
constexpr int kMaxColumnWidth = 255;

int Refuse(CommandContext& context, std::string_view why) {
  context.err << "quillmk-cli: " << why << "\n";
  return kExitUsage;
}

std::optional<int> ParseInt(std::string_view text) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A column by its id or its name (without regard to case).
std::optional<int> ColumnOf(std::string_view text, const view::DescriptorNames& names) {
  if (std::optional<int> id = ParseInt(text)) {
    if (view::IsColumnId(*id)) return id;
    return std::nullopt;
  }
  for (int id = 0; id < view::kColumnCount; ++id) {
    if (platform::EqualsIgnoringCase(view::ColumnName(id, names), text)) return id;
  }
  return std::nullopt;
}

// "2,Start Date,12": ids or names, each at most once. Sets `bad` to the
// part that is none.
std::optional<std::vector<int>> ColumnList(std::string_view text,
                                           const view::DescriptorNames& names, std::string& bad) {
  std::vector<int> ids;
  std::size_t begin = 0;
  while (begin <= text.size()) {
    std::size_t end = text.find(',', begin);
    if (end == std::string_view::npos) end = text.size();
    std::string_view part = text.substr(begin, end - begin);
    while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
    while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
    if (!part.empty() || end < text.size()) {
      std::optional<int> id = ColumnOf(part, names);
      if (!id || std::find(ids.begin(), ids.end(), *id) != ids.end()) {
        bad = std::string(part);
        return std::nullopt;
      }
      ids.push_back(*id);
    }
    begin = end + 1;
  }
  return ids;
}

std::string Padded(std::string text, int width) {
  const std::size_t size = static_cast<std::size_t>(std::max(0, width));
  text.resize(size, ' ');
  return text;
}

// A session opened on the database, closed when the command is done.
// Opens the run; false after the failure was reported and the run closed.
bool OpenSession(DbSession& session) {
  if (session.Prepare() && session.Open() == 0) return true;
  session.Close();
  return false;
}

int Finish(DbSession& session, int result) {
  const int closed = session.Close();
  return result == 0 && closed == 0 ? kExitOk : kExitFailed;
}


bool TakeJsonFlag(CommandContext& context) {
  bool json = context.options.json;
  for (const std::string& arg : context.args) {
    if (arg != "--json") return false;
    json = true;
  }
  context.options.json = json;
  return true;
}

// --- list ---------------------------------------------------------------------------

int RunList(CommandContext& context) {
  std::string format = context.options.json ? "json" : "table";
  std::optional<std::string> columns_text;
  const std::vector<std::string>& args = context.args;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--format" && i + 1 < args.size()) {
      format = args[++i];
    } else if (args[i] == "--columns" && i + 1 < args.size()) {
      columns_text = args[++i];
    } else {
      return Usage(context, kListUsage);
    }
  }
  if (format != "table" && format != "csv" && format != "json") return Usage(context, kListUsage);

  DbSession session(context);
  if (!OpenSession(session)) return kExitFailed;
  const view::DescriptorNames& names = session.settings().descriptor_names;
  const view::ColumnLayout& layout = session.settings().layout;
  std::vector<int> columns;
  if (columns_text) {
    std::string bad;
    std::optional<std::vector<int>> ids = ColumnList(*columns_text, names, bad);
    if (!ids) {
      session.Close();
      return Refuse(context, "'" + bad + "' is no column (or is named twice)");
    }
    columns = *ids;
  } else if (format == "table") {
    columns = view::DisplayedColumns(layout);
  } else {
    for (int id = 0; id < view::kColumnCount; ++id) columns.push_back(id);
  }
  const core::DurationSettings durations = app::DurationSettingsFrom(session.settings());
  // CSV and JSON carry the whole description; the list shows a cell.
  auto cell = [&](int id, const core::TimeRecord& record) {
    if (format != "table" && id == view::kColumnDescription) {
      return std::string(record.description.view());
    }
    return view::CellText(id, record, durations);
  };
  auto width = [&](int id) { return layout.widths[static_cast<std::size_t>(id)]; };

  if (format == "table") {
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      std::string heading = layout.headings[static_cast<std::size_t>(columns[i])];
      line += (i ? "  " : "") + Padded(heading.substr(0, static_cast<std::size_t>(std::max(0, width(columns[i])))), width(columns[i]));
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    context.out << line << "\n";
  } else if (format == "csv") {
    context.out << "recno";
    for (int id : columns) context.out << "," << CsvField(view::ColumnName(id, names));
    context.out << "\n";
  } else {
    context.out << "[";
  }

  db::TimeRecordDb& db = session.db();
  core::TimeRecord record;
  std::string above;  // the first column of the row above
  bool first = true;
  int status = db.FirstRecord(record);
  for (; status == 0; status = db.NextRecord(record)) {
    const engine::RecordNumber number = db.CurrentRecordNumber();
    if (format == "table") {
      std::string line;
      for (std::size_t i = 0; i < columns.size(); ++i) {
        std::string text = cell(columns[i], record);
        if (i == 0) {
          const bool repeats = !first && view::RepeatsGroupAbove(text, above);
          above = text;
          if (layout.group_highlighting && repeats) text.clear();
        }
        const int w = width(columns[i]);
        line += (i ? "  " : "") + Padded(text.substr(0, static_cast<std::size_t>(std::max(0, w))), w);
      }
      while (!line.empty() && line.back() == ' ') line.pop_back();
      context.out << line << "\n";
    } else if (format == "csv") {
      context.out << number;
      for (int id : columns) context.out << "," << CsvField(cell(id, record));
      context.out << "\n";
    } else {
      context.out << (first ? "\n" : ",\n") << "  {\"recno\": " << number;
      for (int id : columns) {
        context.out << ", " << JsonText(view::ColumnName(id, names)) << ": "
                    << JsonText(cell(id, record));
      }
      context.out << "}";
    }
    first = false;
  }
  if (format == "json") context.out << (first ? "]\n" : "\n]\n");
  return Finish(session, status == db::kNoSuchRecord ? 0 : status);
}

// --- summary ------------------------------------------------------------------------

int RunSummary(CommandContext& context) {
  if (!TakeJsonFlag(context)) return Usage(context, kSummaryUsage);
  DbSession session(context);
  if (!OpenSession(session)) return kExitFailed;
  // Other users' changes since the database was opened count too.
  session.PollForChanges();
  view::SummaryContext summary_context;
  summary_context.filter_enabled = view::IsFilterEnabled(session.user_settings());
  summary_context.administrator = session.is_administrator();
  summary_context.person = session.user_name();
  summary_context.durations = app::DurationSettingsFrom(session.settings());
  view::Summary summary;
  const int result = view::ComputeSummary(session.db(), summary_context, context.ui, summary);
  if (result == 0) {
    const std::vector<view::SummaryLine> lines = view::SummaryLines(summary);
    if (context.options.json) {
      const core::GroupTotals& t = summary.totals;
      char money[160];
      std::snprintf(money, sizeof money,
                    "\"average_rate\": %.6f, \"time_fee\": %.2f, \"expense\": %.2f, "
                    "\"total_fee\": %.2f",
                    summary.average_rate, summary.time_fee, t.expense, summary.total_fee);
      context.out << "{\"count\": " << t.count
                  << ", \"filter_enabled\": " << (summary_context.filter_enabled ? "true" : "false")
                  << ", \"seconds\": " << t.seconds << ", " << money << ", \"earliest_start\": "
                  << (t.count ? JsonText(core::FormatDateTime(t.earliestStart, false)) : "null")
                  << ", \"latest_end\": "
                  << (t.count ? JsonText(core::FormatDateTime(t.latestEnd, false)) : "null")
                  << ", \"lines\": [";
      for (std::size_t i = 0; i < lines.size(); ++i) {
        context.out << (i ? ", " : "") << "[" << JsonText(lines[i].label) << ", "
                    << JsonText(lines[i].value) << "]";
      }
      context.out << "]}\n";
    } else {
      for (const view::SummaryLine& line : lines) {
        context.out << line.label << "\t" << line.value << "\n";
      }
    }
  }
  return Finish(session, result);
}

// --- subtotals ----------------------------------------------------------------------

int RunSubtotals(CommandContext& context) {
  if (!TakeJsonFlag(context)) return Usage(context, kSubtotalsUsage);
  DbSession session(context);
  if (!OpenSession(session)) return kExitFailed;
  // Other users' changes since the database was opened count too.
  session.PollForChanges();
  view::SubtotalSettings settings;
  settings.order = view::LoadSortOrder(session.user_settings());
  settings.num_subtotal_levels =
      session.settings().general.Get(app::GeneralConfigKey::kNumSubtotalLevels);
  settings.durations = app::DurationSettingsFrom(session.settings());
  settings.names = session.settings().descriptor_names;
  view::SubtotalLines lines;
  const int result = view::ComputeSubtotals(session.db(), settings, lines);
  // What the list holds is shown even when it filled up.
  const std::string heading = view::SubtotalHeading(settings);
  if (context.options.json) {
    context.out << "{\"levels\": "
                << view::SubtotalLevelCount(settings.order, settings.num_subtotal_levels)
                << ", \"heading\": " << JsonText(heading) << ", \"lines\": [";
    for (std::size_t i = 0; i < lines.lines().size(); ++i) {
      context.out << (i ? ",\n  " : "\n  ") << JsonText(lines.lines()[i]);
    }
    context.out << (lines.lines().empty() ? "]}\n" : "\n]}\n");
  } else {
    context.out << heading << "\n";
    for (const std::string& line : lines.lines()) context.out << line << "\n";
  }
  return Finish(session, result);
}

// --- columns ------------------------------------------------------------------------

// The layout commands need the person's settings, not the database.
int RunColumnsShow(CommandContext& context) {
  if (!TakeJsonFlag(context)) return Usage(context, kColumnsShowUsage);
  DbSession session(context);
  if (!session.Prepare()) return kExitFailed;
  const view::DescriptorNames& names = session.settings().descriptor_names;
  const view::ColumnLayout& layout = session.settings().layout;
  const std::vector<int> shown = view::DisplayedColumns(layout);
  auto position = [&](int id) {
    auto at = std::find(shown.begin(), shown.end(), id);
    return at == shown.end() ? 0 : static_cast<int>(at - shown.begin()) + 1;
  };
  if (context.options.json) {
    context.out << "{\"order\": [";
    for (std::size_t i = 0; i < shown.size(); ++i) context.out << (i ? ", " : "") << shown[i];
    context.out << "], \"columns\": [";
    for (int id = 0; id < view::kColumnCount; ++id) {
      context.out << (id ? ",\n  " : "\n  ") << "{\"id\": " << id
                  << ", \"name\": " << JsonText(view::ColumnName(id, names))
                  << ", \"heading\": " << JsonText(layout.headings[static_cast<std::size_t>(id)])
                  << ", \"width\": " << layout.widths[static_cast<std::size_t>(id)]
                  << ", \"position\": " << position(id) << "}";
    }
    context.out << "\n], \"multi_line\": " << layout.multi_line
                << ", \"lines_per_task\": " << layout.lines_per_task
                << ", \"descrip_box_width\": " << layout.descrip_box_width
                << ", \"descrip_box_indent\": " << layout.descrip_box_indent
                << ", \"inches_between_columns\": " << layout.inches_between_columns
                << ", \"group_highlighting\": " << layout.group_highlighting << "}\n";
  } else {
    context.out << "id\tposition\twidth\tname\theading\n";
    for (int id = 0; id < view::kColumnCount; ++id) {
      const int at = position(id);
      context.out << id << "\t" << (at ? std::to_string(at) : "-") << "\t"
                  << layout.widths[static_cast<std::size_t>(id)] << "\t"
                  << view::ColumnName(id, names) << "\t"
                  << layout.headings[static_cast<std::size_t>(id)] << "\n";
    }
    context.out << "MultiLine=" << layout.multi_line << " LinesPerTask=" << layout.lines_per_task
                << " DescripBoxWidth=" << layout.descrip_box_width
                << " DescripBoxIndent=" << layout.descrip_box_indent
                << " InchesBetweenColumns=" << layout.inches_between_columns
                << " GroupHighlighting=" << layout.group_highlighting << "\n";
  }
  return session.Close() == 0 ? kExitOk : kExitFailed;
}

// Applies `edit` to the person's layout and writes what changed at once.
template <typename Edit>
int ChangeLayout(CommandContext& context, std::string_view usage, Edit edit) {
  DbSession session(context);
  if (!session.Prepare()) return kExitFailed;
  app::LoadedSettings& settings = session.settings();
  view::ColumnLayout changed = settings.layout;
  std::string problem;
  if (!edit(changed, settings.descriptor_names, problem)) {
    session.Close();
    if (problem.empty()) return Usage(context, usage);
    return Refuse(context, problem);
  }
  int result = view::SaveColumnLayout(session.user_settings(), changed, &settings.layout);
  if (result != 0) {
    app::Reporter().ShowMessage(result);
  } else {
    settings.layout = changed;
    settings.reference.layout = changed;
  }
  const int closed = session.Close();
  return result == 0 && closed == 0 ? kExitOk : kExitFailed;
}

int RunColumnsSet(CommandContext& context) {
  if (context.args.size() != 1) return Usage(context, kColumnsSetUsage);
  const std::string text = context.args[0];
  return ChangeLayout(context, kColumnsSetUsage,
                      [&](view::ColumnLayout& layout, const view::DescriptorNames& names,
                          std::string& problem) {
                        std::optional<std::vector<int>> ids = ColumnList(text, names, problem);
                        if (!ids) {
                          problem = "'" + problem + "' is no column (or is named twice)";
                          return false;
                        }
                        if (!view::SetDisplayedColumns(layout, *ids)) return false;
                        // As the Column Layout sheet's OK: the description
                        // appears once, so its separate line gives way.
                        if (layout.multi_line &&
                            view::IsDisplayed(layout, view::kColumnDescription)) {
                          app::Reporter().ShowMessage(view::kDescriptionShownTwice);
                          layout.multi_line = 0;
                        }
                        return true;
                      });
}

int RunColumnsHeading(CommandContext& context) {
  if (context.args.size() != 2) return Usage(context, kColumnsHeadingUsage);
  const std::string column = context.args[0];
  const std::string heading = context.args[1];
  return ChangeLayout(context, kColumnsHeadingUsage,
                      [&](view::ColumnLayout& layout, const view::DescriptorNames& names,
                          std::string& problem) {
                        std::optional<int> id = ColumnOf(column, names);
                        if (!id) {
                          problem = "'" + column + "' is no column";
                          return false;
                        }
                        if (heading.size() > view::kMaxHeadingLength) {
                          problem = "a heading holds at most 35 characters";
                          return false;
                        }
                        layout.headings[static_cast<std::size_t>(*id)] = heading;
                        return true;
                      });
}

int RunColumnsWidth(CommandContext& context) {
  if (context.args.size() != 2) return Usage(context, kColumnsWidthUsage);
  const std::string column = context.args[0];
  const std::optional<int> width = ParseInt(context.args[1]);
  return ChangeLayout(context, kColumnsWidthUsage,
                      [&](view::ColumnLayout& layout, const view::DescriptorNames& names,
                          std::string& problem) {
                        std::optional<int> id = ColumnOf(column, names);
                        if (!id) {
                          problem = "'" + column + "' is no column";
                          return false;
                        }
                        if (!width || *width < 1 || *width > kMaxColumnWidth) {
                          problem = "a width is a number of characters from 1 to 255";
                          return false;
                        }
                        layout.widths[static_cast<std::size_t>(*id)] = *width;
                        return true;
                      });
}

}  // namespace

void AddViewCommands(std::vector<Command>& commands) {
  commands.push_back({"list", std::string(kListUsage),
                      "the time records as the record list shows them",
                      "Walks the records that pass the filter, in the sort order.  The table\n"
                      "has the person's columns, headings and widths (and group highlighting);\n"
                      "CSV and JSON give every column unless --columns names them (by id or\n"
                      "name).",
                      RunList});
  commands.push_back({"summary", std::string(kSummaryUsage),
                      "totals of the records the list shows",
                      "The Record Summary: count, durations, average rate, fees and range.",
                      RunSummary});
  commands.push_back({"subtotals", std::string(kSubtotalsUsage),
                      "totals per group of the sort order",
                      "One group per sort level, up to NumSubtotalLevels levels.", RunSubtotals});
  commands.push_back({"columns show", std::string(kColumnsShowUsage),
                      "the record list's columns: order, widths, headings", "", RunColumnsShow});
  commands.push_back({"columns set", std::string(kColumnsSetUsage),
                      "choose the displayed columns, left to right",
                      "Columns by id (0-19) or by name.  Written to the person's settings file.",
                      RunColumnsSet});
  commands.push_back({"columns heading", std::string(kColumnsHeadingUsage),
                      "change a column's heading (up to 35 characters)", "", RunColumnsHeading});
  commands.push_back({"columns width", std::string(kColumnsWidthUsage),
                      "change a column's width in characters", "", RunColumnsWidth});
}

}  // namespace qm::cli
