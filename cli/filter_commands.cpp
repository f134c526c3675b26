#include "cli/filter_commands.h"

#include <charconv>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/command_replies.h"
#include "cli/db_commands.h"
#include "cli/json_text.h"
#include "view/field_names.h"
#include "view/filter_dialog_model.h"
#include "view/find_filter.h"
#include "view/invoice_filter.h"
#include "view/record_filter.h"
#include "view/sort_dialog_model.h"
#include "view/sort_order.h"

namespace qm::cli {
namespace {

constexpr std::string_view kFilterSetUsage = "filter set ROW FIELD COMPARISON TARGET [LINK]";
constexpr std::string_view kSortSetUsage =
    "sort set FIELD... [--descending] [--subtotal-levels N]";

int Unknown(CommandContext& context, std::string_view what, std::string_view word) {
  context.err << "quillmk-cli: '" << word << "' is not a " << what << "\n";
  return kExitUsage;
}

std::optional<int> SmallNumber(std::string_view text) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The words of a command with "--" dropped.
std::vector<std::string> Words(const std::vector<std::string>& args) {
  std::vector<std::string> words;
  for (const std::string& arg : args) {
    if (arg != "--") words.push_back(arg);
  }
  return words;
}

int Finish(DbSession& session, int result) {
  const int closed = session.Close();
  return result == 0 && closed == 0 ? kExitOk : kExitFailed;
}

// --- filter show ----------------------------------------------------------------------

void PrintFilter(CommandContext& context, const view::RecordFilter& filter,
                 const std::vector<std::string>& field_names, const std::string& expression) {
  const int rows = filter.RowsInUse();
  auto field_name = [&](int code) {
    return code >= 0 && code < static_cast<int>(field_names.size()) ? field_names[code]
                                                                    : std::to_string(code);
  };
  auto comparison_name = [](int code) {
    const auto& names = view::ComparisonNames();
    return code >= 0 && code < static_cast<int>(names.size()) ? names[code] : std::string("=");
  };
  auto link_name = [](int code) {
    const auto& names = view::LinkNames();
    return code >= 0 && code < static_cast<int>(names.size()) ? names[code] : std::string("end");
  };
  if (context.options.json) {
    context.out << "{\"enabled\": " << (filter.enabled == 1 ? "true" : "false") << ", \"rows\": [";
    for (int i = 0; i < rows; ++i) {
      const view::FilterRow& row = filter.rows[i];
      context.out << (i == 0 ? "" : ", ") << "{\"row\": " << i + 1
                  << ", \"field\": " << JsonText(field_name(row.field))
                  << ", \"field_code\": " << row.field
                  << ", \"comparison\": " << JsonText(comparison_name(row.comparison))
                  << ", \"comparison_code\": " << row.comparison
                  << ", \"target\": " << JsonText(row.target)
                  << ", \"link\": " << JsonText(link_name(i + 1 == rows ? view::kLinkEnd : row.link))
                  << ", \"link_code\": " << row.link << "}";
    }
    context.out << "], \"expression\": " << JsonText(expression) << "}\n";
    return;
  }
  context.out << "Filter " << (filter.enabled == 1 ? "enabled" : "disabled") << "\n";
  for (int i = 0; i < rows; ++i) {
    const view::FilterRow& row = filter.rows[i];
    context.out << (i + 1 < 10 ? " " : "") << i + 1 << "  " << field_name(row.field) << "  "
                << comparison_name(row.comparison) << "  \"" << row.target << "\"  "
                << link_name(i + 1 == rows ? view::kLinkEnd : row.link) << "\n";
  }
}

int RunFilterShow(CommandContext& context) {
  bool expression_only = false;
  for (const std::string& word : Words(context.args)) {
    if (word != "--expression") return Usage(context, "filter show [--expression]");
    expression_only = true;
  }
  DbSession session(context);
  if (!session.Prepare() || session.Open() != 0) return kExitFailed;
  const view::RecordFilter filter = view::LoadFilter(session.user_settings());
  const std::string expression =
      view::BuildFilterExpression(filter, session.user_index().scope());
  if (expression_only && !context.options.json) {
    context.out << expression << "\n";
  } else {
    PrintFilter(context, filter, view::FilterFieldNames(session.settings().descriptor_names),
                expression);
  }
  return Finish(session, 0);
}

// --- filter set / clear / enable / disable ----------------------------------------------

int RunFilterSet(CommandContext& context) {
  const std::vector<std::string> words = Words(context.args);
  if (words.size() != 4 && words.size() != 5) return Usage(context, kFilterSetUsage);
  const std::optional<int> row_number = SmallNumber(words[0]);
  if (!row_number || *row_number < 1 || *row_number > view::kFilterRowCount) {
    context.err << "quillmk-cli: the filter row must be a number from 1 to "
                << view::kFilterRowCount << "\n";
    return kExitUsage;
  }
  const std::optional<int> comparison = view::CodeOfName(words[2], view::ComparisonNames());
  if (!comparison) return Unknown(context, "comparison", words[2]);
  std::optional<int> link;
  if (words.size() == 5) {
    link = view::CodeOfName(words[4], view::LinkNames());
    if (!link) return Unknown(context, "link", words[4]);
  }
  if (words[3].size() > view::kMaxFilterTarget) {
    context.err << "quillmk-cli: the compare-to text is longer than " << view::kMaxFilterTarget
                << " characters\n";
    return kExitUsage;
  }

  DbSession session(context);
  if (!session.Prepare() || session.Open() != 0) return kExitFailed;
  const std::optional<int> field =
      view::CodeOfName(words[1], view::FilterFieldNames(session.settings().descriptor_names));
  if (!field) {
    session.Close();
    return Unknown(context, "filter field", words[1]);
  }
  view::FilterDialogModel model(session.user_index(), &session.descriptors(),
                                session.settings().descriptor_names);
  model.Load();
  const int row = *row_number - 1;
  const int rows_in_use = model.filter().RowsInUse();
  if (row > rows_in_use) {
    session.Close();
    context.err << "quillmk-cli: the filter uses rows 1 to " << rows_in_use << "; set row "
                << rows_in_use + 1 << " before row " << row + 1 << "\n";
    return kExitUsage;
  }
  // A link leads to the next row, which must already be set: a row that
  // is left at its blank defaults would join the filter and fail its checks.
  if (link && *link != view::kLinkEnd && row + 1 >= rows_in_use && row + 1 < view::kFilterRowCount) {
    session.Close();
    context.err << "quillmk-cli: row " << row + 1 << " can link to row " << row + 2
                << " once that row is set; rows are joined by \"and\" as they are added\n";
    return kExitUsage;
  }
  // The rows before this one lead to it.
  for (int i = 0; i < row; ++i) {
    if (model.rows()[i].link == view::kLinkEnd) model.SetLink(i, view::kLinkAnd);
  }
  model.SetField(row, *field);
  model.SetComparison(row, *comparison);
  model.SetTarget(row, words[3]);
  if (link) {
    model.SetLink(row, *link);
  } else if (row == rows_in_use) {
    model.SetLink(row, view::kLinkEnd);
  }
  model.SetEnabled(true);
  const int result = model.Ok();
  if (result == 0) context.out << "Filter row " << row + 1 << " set\n";
  return Finish(session, result);
}

// Runs the dialog's OK after `change` has set the controls.
template <typename Change>
int RunFilterDialog(CommandContext& context, std::string_view usage, std::string_view done,
                    Change change) {
  if (!Words(context.args).empty()) return Usage(context, usage);
  DbSession session(context);
  if (!session.Prepare() || session.Open() != 0) return kExitFailed;
  view::FilterDialogModel model(session.user_index(), &session.descriptors(),
                                session.settings().descriptor_names);
  model.Load();
  change(model);
  const int result = model.Ok();
  if (result == 0) context.out << done << "\n";
  return Finish(session, result);
}

int RunFilterClear(CommandContext& context) {
  return RunFilterDialog(context, "filter clear", "Filter cleared",
                         [](view::FilterDialogModel& model) { model.Reset(); });
}

int RunFilterEnable(CommandContext& context) {
  return RunFilterDialog(context, "filter enable", "Filter enabled",
                         [](view::FilterDialogModel& model) { model.SetEnabled(true); });
}

int RunFilterDisable(CommandContext& context) {
  return RunFilterDialog(context, "filter disable", "Filter disabled",
                         [](view::FilterDialogModel& model) { model.SetEnabled(false); });
}

// --- find / filter invoice ------------------------------------------------------------

int RunFind(CommandContext& context) {
  const std::vector<std::string> words = Words(context.args);
  if (words.size() != 1) return Usage(context, "find TEXT");
  DbSession session(context);
  if (!session.Prepare() || session.Open() != 0) return kExitFailed;
  const int result = view::ApplyFindFilter(session.user_index(), words[0], true);
  if (result == 0) context.out << "Find filter applied\n";
  return Finish(session, result);
}

int RunFilterInvoice(CommandContext& context) {
  const std::vector<std::string> words = Words(context.args);
  if (words.size() != 1) return Usage(context, "filter invoice CLIENT");
  DbSession session(context);
  if (!session.Prepare() || session.Open() != 0) return kExitFailed;
  const int result =
      view::ApplyInvoiceFilter(session.user_index(), session.support_directory(), words[0]);
  if (result == 0) context.out << "Invoice filter applied for " << words[0] << "\n";
  return Finish(session, result);
}

// --- sort show / set ------------------------------------------------------------------

int RunSortShow(CommandContext& context) {
  bool expression_only = false;
  for (const std::string& word : Words(context.args)) {
    if (word != "--expression") return Usage(context, "sort show [--expression]");
    expression_only = true;
  }
  DbSession session(context);
  if (!session.Prepare() || session.Open() != 0) return kExitFailed;
  const view::SortOrder order = view::LoadSortOrder(session.user_settings());
  const std::string key = view::BuildSortKey(order);
  const int subtotal_levels =
      session.settings().general.Get(app::GeneralConfigKey::kNumSubtotalLevels);
  const std::vector<std::string> names = view::SortFieldNames(session.settings().descriptor_names);
  auto name = [&](int code) {
    return code >= 0 && code < static_cast<int>(names.size()) ? names[code]
                                                              : std::to_string(code);
  };
  if (expression_only && !context.options.json) {
    context.out << key << "\n";
  } else if (context.options.json) {
    context.out << "{\"levels\": [";
    for (int level = 0; level < view::kSortLevelCount; ++level) {
      context.out << (level == 0 ? "" : ", ") << "{\"field\": " << JsonText(name(order.fields[level]))
                  << ", \"field_code\": " << order.fields[level] << "}";
    }
    context.out << "], \"ascending\": " << (order.ascending != 0 ? "true" : "false")
                << ", \"subtotal_levels\": " << subtotal_levels
                << ", \"expression\": " << JsonText(key) << "}\n";
  } else {
    for (int level = 0; level < view::kSortLevelCount; ++level) {
      context.out << level + 1 << "  " << name(order.fields[level]) << "\n";
    }
    context.out << (order.ascending != 0 ? "Ascending" : "Descending") << "\n"
                << "Subtotal levels: " << subtotal_levels << "\n";
  }
  return Finish(session, 0);
}

int RunSortSet(CommandContext& context) {
  std::vector<std::string> fields;
  bool descending = false;
  std::optional<int> subtotal_levels;
  const std::vector<std::string>& args = context.args;
  bool literal = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!literal && args[i] == "--") {
      literal = true;
    } else if (!literal && args[i] == "--descending") {
      descending = true;
    } else if (!literal && args[i] == "--subtotal-levels") {
      if (i + 1 >= args.size()) return Usage(context, kSortSetUsage);
      subtotal_levels = SmallNumber(args[++i]);
      if (!subtotal_levels || *subtotal_levels < 1 || *subtotal_levels > 3) {
        context.err << "quillmk-cli: the subtotal levels must be 1, 2 or 3\n";
        return kExitUsage;
      }
    } else {
      fields.push_back(args[i]);
    }
  }
  if (fields.empty() || fields.size() > view::kSortLevelCount) {
    return Usage(context, kSortSetUsage);
  }
  DbSession session(context);
  if (!session.Prepare() || session.Open() != 0) return kExitFailed;
  view::SortDialogModel model(session.user_index(), session.settings(), session.user_settings());
  model.Load();
  for (int level = 0; level < view::kSortLevelCount; ++level) {
    int code = view::kSortNone;
    if (level < static_cast<int>(fields.size())) {
      const std::optional<int> found = view::CodeOfName(fields[level], model.list(level));
      if (!found) {
        session.Close();
        return Unknown(context, level == 0 ? "primary sort field" : "sort field", fields[level]);
      }
      code = *found;
    }
    model.SetLevel(level, code);
  }
  model.SetAscending(!descending);
  if (subtotal_levels) {
    model.SetSecondSubtotals(*subtotal_levels >= 2);
    model.SetThirdSubtotals(*subtotal_levels >= 3);
  }
  const int result = model.Ok();
  if (result == 0) context.out << "Sort order saved\n";
  return Finish(session, result);
}

}  // namespace

void AddFilterCommands(std::vector<Command>& commands) {
  commands.push_back({"filter show", "filter show [--expression]",
                      "Show the record filter (or its dBASE expression)",
                      "Lists the rows of the filter in use, or with --expression the condition\n"
                      "the user index selects records by. --json for a listing.",
                      RunFilterShow});
  commands.push_back({"filter set", std::string(kFilterSetUsage),
                      "Set one row of the record filter and enable it",
                      "FIELD, COMPARISON and LINK are names of the dialog's lists (client,\n"
                      "start date, billable, contains, >=, and, or, end) without regard to\n"
                      "case, or their codes. Rows are set in order; a new row is joined to the\n"
                      "ones before it by \"and\", and LINK changes how a row joins the next one\n"
                      "once that one is set. A row that fails the checks changes nothing.",
                      RunFilterSet});
  commands.push_back({"filter clear", "filter clear", "Reset the record filter and disable it",
                      "", RunFilterClear});
  commands.push_back({"filter enable", "filter enable", "Enable the saved record filter",
                      "The filter's rows are checked first.", RunFilterEnable});
  commands.push_back({"filter disable", "filter disable", "Disable the record filter", "",
                      RunFilterDisable});
  commands.push_back({"filter invoice", "filter invoice CLIENT",
                      "Filter the client's billable records not yet billed",
                      "Uses the filter of invoice.env in the support directory when there is\n"
                      "one, with the client as its first row's compare-to text.",
                      RunFilterInvoice});
  commands.push_back({"find", "find TEXT", "Filter the records that contain TEXT",
                      "Searches the descriptors and the description.", RunFind});
  commands.push_back({"sort show", "sort show [--expression]",
                      "Show the sort order (or its index key)", "", RunSortShow});
  commands.push_back({"sort set", std::string(kSortSetUsage),
                      "Set the sort order and the subtotal levels",
                      "FIELD is a name of the sort list (client, start date/time, (none) ...)\n"
                      "or its code; up to four levels.",
                      RunSortSet});
}

}  // namespace qm::cli
