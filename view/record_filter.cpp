#include "view/record_filter.h"

#include <cstdio>

#include "core/amount_text.h"
#include "core/calendar.h"
#include "core/date_text.h"
#include "core/intl_settings.h"
#include "platform/text_case.h"

namespace qm::view {
namespace {

constexpr std::string_view kIndexSection = "Index";
constexpr int kWriteFailed = 205;
// Text fields are stored blank-padded to this width.
constexpr std::size_t kTextFieldWidth = 35;

std::string RowKey(std::string_view name, int row) {
  return std::string(name) + std::to_string(row);
}

bool IsTextField(int field) {
  return (field >= kFieldPerson && field <= kFieldActivity) || field == kFieldDescription;
}

// The dBASE text literal of `text`. Double quotes are the rule; a text that
// holds one is delimited by one of the other two delimiters the engine
// reads, and a text that holds all three is joined from pieces, so that no
// typed text can end the literal early and break the whole expression.
std::string TextLiteral(std::string_view text) {
  if (text.find('"') == std::string_view::npos) return "\"" + std::string(text) + "\"";
  if (text.find('\'') == std::string_view::npos) return "'" + std::string(text) + "'";
  if (text.find(']') == std::string_view::npos) return "[" + std::string(text) + "]";
  std::string joined = "(";
  std::size_t begin = 0;
  while (true) {
    const std::size_t quote = text.find('"', begin);
    joined += "\"" + std::string(text.substr(begin, quote - begin)) + "\"";
    if (quote == std::string_view::npos) break;
    joined += "+'\"'+";
    begin = quote + 1;
  }
  return joined + ")";
}

// Digits with at most one point and an optional leading minus: what the
// expression reads as a number.
bool IsPlainNumber(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  bool digit = false;
  bool point = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digit;
}

// A number as typed, with the decimal symbol made a point. Typing that the
// expression would not read as a number (a currency symbol, thousands
// separators, nothing at all) is written as the amount it denotes instead.
std::string NumberLiteral(std::string_view target, bool replace_decimal) {
  std::string text(target);
  if (replace_decimal) {
    core::ReplaceAll(text, core::CurrentIntlSettings().decimal_separator, ".");
  }
  if (IsPlainNumber(text)) return text;
  char formatted[64];
  std::snprintf(formatted, sizeof formatted, "%.2f", core::AmountTextToNumber(target));
  return formatted;
}

std::string DateLiteral(std::string_view target) {
  const core::TimeStamp stamp = core::ParseDate(target);
  std::optional<core::DateFields> fields;
  if (stamp != core::kNoTime) fields = core::BreakDownStamp(stamp);
  if (!fields) return "\"00000000\"";
  char text[32];
  std::snprintf(text, sizeof text, "\"%04d%02d%02d\"", fields->year, fields->month, fields->day);
  return text;
}

std::string TimeLiteral(std::string_view target) {
  core::Seconds seconds = core::ParseTimeOfDay(target);
  if (seconds == core::kNoTime || seconds < 0) seconds = 0;
  char text[32];
  std::snprintf(text, sizeof text, "\"%-2.2d:%-2.2d:00\"", static_cast<int>(seconds / 3600 % 24),
                static_cast<int>(seconds % 3600 / 60));
  return text;
}

std::string_view Operand(int field) {
  static constexpr std::string_view kOperands[] = {
      "UPPER(PERSON)", "UPPER(CLIENT)",   "UPPER(PROJECT)", "UPPER(SUBPROJECT)",
      "UPPER(TASK)",   "RATE",            "DTOS(START_DATE)", "START_TIME",
      "EXPENSE",       "INVOICE",         "BILLABLE",       "UPPER(DESCSTART+DESCEND)"};
  return kOperands[field];
}

std::string_view Operator(int comparison) {
  static constexpr std::string_view kOperators[] = {">", "<", "=", ">=", "<=", "<>", "$"};
  return kOperators[comparison];
}

std::string Literal(int field, int comparison, const std::string& target) {
  if (IsTextField(field)) {
    std::string text = platform::Cp1252ToUpper(target);
    if (comparison == kCompareGreater) {
      if (text.size() < kTextFieldWidth) text.resize(kTextFieldWidth, ' ');
    } else if (comparison == kCompareEqual || comparison == kCompareLessOrEqual ||
               comparison == kCompareNotEqual) {
      text += "   ";
    }
    return TextLiteral(text);
  }
  switch (field) {
    case kFieldRate:
    case kFieldExpense:
      return NumberLiteral(target, true);
    case kFieldStartDate:
      return DateLiteral(target);
    case kFieldStartTime:
      return TimeLiteral(target);
    case kFieldInvoice:
      if (platform::EqualsIgnoringCase(target, "Not Billed")) return "0";
      return NumberLiteral(target, false);
    default:  // kFieldBillable
      return !target.empty() && (target[0] == 't' || target[0] == 'T' || target[0] == 'y' ||
                                 target[0] == 'Y')
                 ? ".T."
                 : ".F.";
  }
}

// One row's condition without its closing parenthesis.
std::string Condition(const FilterRow& row) {
  const int field = row.field >= 0 && row.field <= kFieldDescription ? row.field : kFieldPerson;
  const int comparison =
      row.comparison >= 0 && row.comparison <= kCompareContains ? row.comparison : kCompareEqual;
  const std::string literal = Literal(field, comparison, row.target);
  if (comparison == kCompareContains) return literal + "$" + std::string(Operand(field));
  return std::string(Operand(field)) + std::string(Operator(comparison)) + literal;
}

// The settings file trims the blanks around a value and takes the quotes
// off a quoted one; a target that would lose either is written quoted, so
// that it reads back as typed.
std::string StoredTarget(const std::string& target) {
  if (target.empty()) return target;
  const char first = target.front();
  const char last = target.back();
  const bool blank_edge = first == ' ' || first == '\t' || last == ' ' || last == '\t';
  const bool quoted = target.size() >= 2 && first == last && (first == '"' || first == '\'');
  return blank_edge || quoted ? "\"" + target + "\"" : target;
}

}  // namespace

int RecordFilter::RowsInUse() const {
  for (int i = 0; i < kFilterRowCount; ++i) {
    if (rows[i].link != kLinkAnd && rows[i].link != kLinkOr) return i + 1;
  }
  return kFilterRowCount;
}

RecordFilter LoadFilter(app::CSettings& settings) {
  RecordFilter filter;
  filter.enabled = settings.GetInt(kIndexSection, "Enabled", 0);
  for (int i = 0; i < kFilterRowCount; ++i) {
    FilterRow& row = filter.rows[i];
    int field = settings.GetInt(kIndexSection, RowKey("Field", i), kFieldStartDate);
    if (field < 0 || field > kFieldDescription) field = kFieldPerson;
    row.field = static_cast<std::int16_t>(field);
    row.comparison =
        static_cast<std::int16_t>(settings.GetInt(kIndexSection, RowKey("Comparison", i), 0));
    int link = settings.GetInt(kIndexSection, RowKey("Link", i), kLinkEnd);
    // A link the program never writes would join this row to the next with
    // no operator at all; it ends the filter instead.
    if (link != kLinkAnd && link != kLinkOr) link = kLinkEnd;
    row.link = static_cast<std::int16_t>(link);
    row.target = settings.GetString(kIndexSection, RowKey("Target", i), "", kMaxFilterTarget);
    if (row.link == kLinkEnd) break;
  }
  return filter;
}

int SaveFilter(app::CSettings& settings, const RecordFilter& filter) {
  (void)settings.WriteInt(kIndexSection, "Enabled", filter.enabled);
  const int rows = filter.RowsInUse();
  for (int i = 0; i < rows; ++i) {
    const FilterRow& row = filter.rows[i];
    if (!settings.WriteInt(kIndexSection, RowKey("Field", i), row.field).ok()) return kWriteFailed;
    (void)settings.WriteInt(kIndexSection, RowKey("Comparison", i), row.comparison);
    (void)settings.WriteInt(kIndexSection, RowKey("Link", i), row.link);
    (void)settings.WriteString(kIndexSection, RowKey("Target", i), StoredTarget(row.target));
  }
  return 0;
}

bool IsFilterEnabled(app::CSettings& settings) {
  return settings.GetInt(kIndexSection, "Enabled", 0) != 0;
}

std::string BuildFilterExpression(const RecordFilter& filter, const FilterScope& scope) {
  std::string expression = ".NOT.DELETED()";
  if (!scope.administrator) {
    FilterRow own;
    own.field = kFieldPerson;
    own.comparison = kCompareEqual;
    own.target = platform::Cp1252ToUpper(scope.person);
    expression += ".AND." + Condition(own);
  }
  if (filter.enabled != 1) return expression;
  const int rows = filter.RowsInUse();
  expression += ".AND.(" + std::string(static_cast<std::size_t>(rows - 1), '(');
  for (int i = 0; i < rows; ++i) {
    const FilterRow& row = filter.rows[i];
    expression += Condition(row) + ")";
    if (i + 1 < rows) expression += row.link == kLinkOr ? " .OR. " : " .AND. ";
  }
  return expression;
}

}  // namespace qm::view
